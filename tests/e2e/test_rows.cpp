// The unknowns of the PR6 rows for every receiver role and the switches that shape the rows, end to
// end: the example's first epoch, the rows of PRN 13 read back from standard output, each unknown
// named from its identifier by the numbering of the unknowns (receiver coordinates 100000 + irec ...,
// satellite clock 400000 + 1000 prn, ambiguity irec + 100000 j + 1000 prn; anything else by its number
// and the sign of its partial, as the double-difference blocks are).
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "support/records.hpp"
#include "support/support.hpp"

namespace {

using namespace quelmar::test;

std::string unknown_name(int id, double partial, int irec, int prn, int j) {
    const std::map<int, std::string> names = {
        {100000 + irec, "X"},          {200000 + irec, "Y"},           {300000 + irec, "Z"},
        {400000 + irec, "clk"},        {500000 + irec, "rdcb"},        {700000 + irec, "zwd"},
        {400000 + 1000 * prn, "sclk"}, {500000 + 1000 * prn, "sdcb"},  {irec + 100000 * j + 1000 * prn, "amb"}};
    const auto it = names.find(id);
    if (it == names.end()) return std::to_string(id) + (partial > 0 ? "+" : "-");
    // A DCB's partial is the factor of the geometry-free delay on the row: f2^2/(f1^2-f2^2) = 1.5457 on
    // P1, f1^2/(f1^2-f2^2) = 2.5457 on P2, f1 f2/(f1^2-f2^2) = 1.9837 on the narrow-lane code.
    char dcb[32];
    std::snprintf(dcb, sizeof dcb, "%s%+.4f", it->second.c_str(), partial);
    return it->second.find("dcb") != std::string::npos ? dcb : it->second;
}

struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> config; // replacements in the example configuration
    std::vector<std::pair<std::string, std::string>> files;  // role lists and daily files
    const char* rec;
    int kind_rec;
    double sigma2_initial, sigma2_per_hour;
    std::map<std::string, std::string> rows; // "k,j" -> unknowns in order
};

const std::string all_rows = "process(1,1) = .true., process(1,2) = .true., process(1,5) = .true., process(2,1) = "
                             ".true., process(2,2) = .true., process(2,5) = .true., process(2,6) = .true.,";
const std::string xyz = "X Y Z clk zwd sclk";

const std::vector<Case> cases = {
    {"reference", {}, {}, "BELL", 0, 0.01, 0,
     {{"1,3", "zwd sclk"}, {"2,3", "zwd sclk amb"}, {"1,4", "sdcb+1.0000"}, {"2,4", "amb"}}},
    {"static_estimated", {}, {}, "EBRE", 1, 100, 0,
     {{"1,3", xyz}, {"2,3", xyz + " amb"}, {"1,4", "rdcb+1.0000 sdcb+1.0000"}, {"2,4", "amb"}}},
    {"static_not_estimated", {{"estimating_xyz_rec_static = .true.", "estimating_xyz_rec_static = .false."}}, {},
     "EBRE", 1, 100, 0, {{"1,3", "clk zwd sclk"}, {"2,3", "clk zwd sclk amb"}}},
    {"rover_like", {}, {{"sta2estpos.txt", ""}, {"sta2roverlike.txt", "EBRE\n"}}, "EBRE", 2, 100, 3600,
     {{"1,3", xyz}, {"2,4", "amb"}}},
    {"real_time_rover", {{"estimating_xyz_rec_static = .true.", "estimating_xyz_rec_static = .false."}},
     {{"sta2estpos.txt", ""}, {"sta2roverrt.txt", "EBRE\n"}}, "EBRE", 5, 100, 3600, {{"1,3", xyz}}},
    {"receiver_without_role", {}, {{"sta2estpos.txt", ""}}, "EBRE", 1, 100, 0, {{"1,3", xyz}}},
    {"no_satellite_unknowns_nor_zwd",
     {{"estimate_sat_dcbs = .true.", "estimate_sat_dcbs = .false."},
      {"estimate_zwd = .true.", "estimate_zwd = .false."},
      {"estimate_sat_clocks = .true.", "estimate_sat_clocks = .false."}},
     {}, "BELL", 0, 0.01, 0, {{"1,3", ""}, {"2,3", "amb"}, {"1,4", ""}, {"2,4", "amb"}}},
    {"all_two_frequency_rows", {{"process(1,3) = .true.,", all_rows + " process(1,3) = .true.,"}}, {}, "EBRE", 1, 100, 0,
     {{"1,1", xyz + " rdcb+1.5457 sdcb+1.5457"}, {"1,2", xyz + " rdcb+2.5457 sdcb+2.5457"},
      {"1,5", xyz + " rdcb+1.9837 sdcb+1.9837"}, {"2,1", xyz + " amb"}, {"2,2", xyz + " amb"}, {"2,5", xyz + " amb"},
      {"2,6", "amb rdcb-1.9837 sdcb-1.9837"}, {"1,4", "rdcb+1.0000 sdcb+1.0000"}, {"2,4", "amb"}}},
    {"alternative_ambiguities",
     {{"process(1,3) = .true.,", all_rows + " process(1,3) = .true.,"}, {"alt_amb_def = .false.", "alt_amb_def = .true."}},
     {}, "EBRE", 1, 100, 0,
     {{"1,1", xyz + " rdcb+1.5457 sdcb+1.5457"}, {"2,1", xyz + " amb rdcb-1.5457 sdcb-1.5457"}, {"2,2", xyz + " amb rdcb-2.5457 sdcb-2.5457"},
      {"2,5", xyz + " amb rdcb+1.9837 sdcb+1.9837"}, {"2,6", "amb"}, {"1,4", "rdcb+1.0000 sdcb+1.0000"}, {"2,4", "amb rdcb+1.0000 sdcb+1.0000"}, {"1,3", xyz}}},
    {"fixed_double_differences",
     {{"process(1,3) = .true.,", all_rows + " process(1,3) = .true.,"},
      {"perform_ddf_if_available = .false.", "perform_ddf_if_available = .true."}},
     {{"ddf.02-01-30.sum", "0.0 90.0 13 'EBRE' 1 2 3 4 7 'BELL' 101 102 103 104 100.5 111 112 113 114 100.25 121 "
                           "122 123 124 100.75 5\n"}},
     "EBRE", 1, 100, 0,
     {{"2,3", xyz + " 112+ 113+ 114-"}, {"2,4", "122+ 123+ 124-"}, {"2,6", "102+ 103+ 104- rdcb-1.9837 sdcb-1.9837"},
      {"2,1", xyz + " amb"}, {"1,3", xyz}}},
};

// Test names and failure messages name the case.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Rows : public ::testing::TestWithParam<Case> {};

TEST_P(Rows, UnknownsOfTheRole) {
    const Case& c = GetParam();
    Workdir w;
    std::string cfg = Workdir::example("quelmar_v2.2.0.nml");
    for (const auto& [from, to] : c.config) cfg = replaced(cfg, from, to);
    w.put_example(cfg);
    for (const auto& [name, text] : c.files) w.write(name, text);
    // The first epoch (a real-time rover needs a position of the epoch, and the example has one at 0 s).
    std::string in;
    for (const std::string& l : lines_of(Workdir::example("messages.txt")))
        if (l.rfind("OB1", 0) != 0 || l.compare(21, 11, "  0.0000000") == 0 && l.compare(16, 5, " 0  0") == 0)
            (in += l) += '\n';
    const auto r = w.run(in);
    ASSERT_EQ(r.err, "");
    std::map<std::string, std::string> got;
    for (const std::string& l : lines_of(r.out)) {
        if (l.rfind("PR6 13", 0) != 0 || l.compare(33, 4, c.rec) != 0 || l.compare(21, 11, "  0.0000000") != 0) continue;
        const Record p = read_pr6(l);
        const int irec = p[9].i, k = p[36].i, j = p[37].i, n = p[42].i;
        EXPECT_EQ(p[10].i, c.kind_rec) << l;
        EXPECT_EQ(p[18].x, c.sigma2_initial) << l;
        EXPECT_EQ(p[19].x, c.sigma2_per_hour) << l;
        // The double-difference switches: the row's own flag only on the phase rows 3, 4 and 6.
        EXPECT_EQ(p[46 + 3 * static_cast<std::size_t>(n)].l, c.name == std::string("fixed_double_differences") &&
                                                                 k == 2 && (j == 3 || j == 4 || j == 6))
            << l;
        // A priori sigma: the example's sigma of the row times exp(-elevation / 20 degrees) (broadcast
        // orbits: no formal orbit errors to add).
        const std::map<std::string, double> sigma0 = {{"1,3", 3.0}, {"2,3", 0.03}, {"1,4", 0.5}, {"2,4", 0.005}};
        const auto s0 = sigma0.find(std::to_string(k) + "," + std::to_string(j));
        if (s0 != sigma0.end()) EXPECT_NEAR(p[39].x / (s0->second * std::exp(-p[26].x / 20.0)), 1.0, 1e-4) << l;
        std::string names;
        for (int u = 0; u < n; ++u) {
            const auto b = 43 + 3 * static_cast<std::size_t>(u);
            names += (names.empty() ? "" : " ") + unknown_name(p[b].i, p[b + 1].x, irec, 13, j);
        }
        got[std::to_string(k) + "," + std::to_string(j)] = names;
    }
    for (const auto& [row, want] : c.rows) {
        ASSERT_TRUE(got.count(row)) << "no PR6 row " << row;
        EXPECT_EQ(got[row], want) << "row " << row;
    }
    // WUI: the reference receiver's and the rover-like receivers' records only.
    const bool wui = c.kind_rec == 0 || c.kind_rec == 2;
    EXPECT_EQ(r.out.find(std::string("0.000000000 ") + c.rec) != std::string::npos, wui);
    if (c.name == std::string("receiver_without_role")) {
        EXPECT_TRUE(has_line(r.out, " WARNING: unsupported kind_rec for  EBRE"));
        EXPECT_TRUE(has_line(r.log, " WARNING: assuming estimate_xyz for  EBRE"));
    }
}

INSTANTIATE_TEST_SUITE_P(E2E, Rows, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

} // namespace
