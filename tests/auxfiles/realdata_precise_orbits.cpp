// Real IGS and MGEX orbit products through the converter and the S3C reader: every GPS position and
// clock of the SP3 files must come out of the table with the digits of the file. The SP3 text is parsed
// here on its own, by columns, independently of the converter.
#include <gtest/gtest.h>
#include <quadmath.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "auxfiles/precise_orbits.hpp"
#include "frame/log.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
namespace fs = std::filesystem;
using float128 = __float128;
using namespace quelmar::testing_support;

namespace {

// A number of the SP3 text as an integer count of its last digit ("-19529.716780" -> -19529716780).
long long last_digit_units(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != '.') digits.push_back(c);
    return std::stoll(digits);
}

struct Sp3Record {
    int prn;
    std::string x, y, z, clk; // the column texts
};

struct Sp3Epoch {
    long mjd;
    int h, mi;
    double sec;
    std::vector<Sp3Record> records;
    long long key() const { return mjd * 86400LL + h * 3600 + mi * 60 + static_cast<long long>(sec); }
};

// GPS position records of an SP3 text, by epoch (columns of the SP3 a/c/d layout).
std::vector<Sp3Epoch> parse_sp3(const std::string& text) {
    std::vector<Sp3Epoch> epochs;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l.rfind("* ", 0) == 0) {
            epochs.push_back(
                {mjd_of(std::stoi(l.substr(3, 4)), std::stoi(l.substr(8, 2)), std::stoi(l.substr(11, 2))),
                 std::stoi(l.substr(14, 2)),
                 std::stoi(l.substr(17, 2)),
                 std::stod(l.substr(20, 11)),
                 {}});
        } else if (l.size() >= 46 && l[0] == 'P' && (l[1] == 'G' || l[1] == ' ')) {
            Sp3Record r{std::stoi(l.substr(2, 2)), l.substr(4, 14), l.substr(18, 14), l.substr(32, 14),
                        l.size() >= 60 ? l.substr(46, 14) : std::string("999999.999999")};
            // Absent positions (0.000000) are not converted.
            if (std::stod(r.x) != 0 && std::stod(r.y) != 0 && std::stod(r.z) != 0)
                epochs.back().records.push_back(r);
        }
    }
    return epochs;
}

struct Set {
    const char* name;
    std::vector<const char*> files; // under orbits/
    int epochs;
    int first[5], last[5]; // y m d h mi
};

class PreciseOrbitProducts : public ::testing::TestWithParam<Set> {
  protected:
    TempDir dir_;
};

TEST_P(PreciseOrbitProducts, ConvertedFileHoldsEverySP3ValueToTheLastDigit) {
    const Set& set = GetParam();
    const fs::path data = fs::path(QUELMAR_SHARED_DATA) / "orbits";
    std::string args;
    std::vector<Sp3Epoch> expected; // joined: a later file takes over from its first epoch on
    for (const char* f : set.files) {
        const fs::path p = data / f;
        if (!fs::exists(p)) GTEST_SKIP() << "real data not available: " << p;
        args += " '" + p.string() + "'";
        std::string text;
        if (p.extension() == ".gz") {
            const fs::path plain = dir_.path() / "plain.sp3";
            if (std::system(
                    ("gzip -dc '" + p.string() + "' > '" + plain.string() + "' 2>/dev/null").c_str()) != 0)
                GTEST_SKIP() << "gzip is not available to read " << p << " independently";
            text = read_file(plain);
        } else {
            text = read_file(p);
        }
        auto epochs = parse_sp3(text);
        ASSERT_FALSE(epochs.empty()) << p;
        while (!expected.empty() && expected.back().key() >= epochs.front().key()) expected.pop_back();
        expected.insert(expected.end(), epochs.begin(), epochs.end());
    }
    const fs::path out = dir_.path() / (std::string(set.name) + ".s3c");
    const std::string cmd =
        "'" + std::string(QUELMAR_TOOLS_DIR) + "/sp3_to_s3c' -q -o '" + out.string() + "'" + args;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;

    frame::Log log;
    ASSERT_TRUE(log.open_named(dir_.path("load.log")));
    auxfiles::PreciseOrbitTable t;
    ASSERT_EQ(auxfiles::read_s3e(out.string(), 900, t, 1.0, true, true, log), 0);

    EXPECT_EQ(t.nepochs3c, set.epochs);
    EXPECT_EQ(static_cast<int>(expected.size()), set.epochs);
    auto epoch_of = [](const int* e) {
        return float128(mjd_of(e[0], e[1], e[2]) + (e[3] + e[4] / 60.0) / 24.0);
    };
    EXPECT_TRUE(t.tdjms3c_0 == epoch_of(set.first));
    EXPECT_TRUE(t.tdjms3c_1 == epoch_of(set.last));

    const long long key0 = expected.front().key();
    std::size_t n = 0, missing_clocks = 0, invalid = 0;
    for (const auto& e : expected) {
        const int slot = static_cast<int>(e.key() - key0) + 1;
        for (const auto& r : e.records) {
            const auxfiles::S3cSlot* s = t.find(r.prn, slot);
            ASSERT_NE(s, nullptr) << set.name << " G" << r.prn << " slot " << slot;
            ++n;
            const std::string texts[4] = {r.x, r.y, r.z, r.clk};
            for (int i = 0; i < 3; ++i) {
                EXPECT_TRUE(s->c[i] == strtoflt128(texts[i].c_str(), nullptr) * 1000) << texts[i];
                // Metres back to the file's micro-kilometres (mm) digits.
                EXPECT_EQ(static_cast<long long>(llroundq(s->c[i] * 1000)), last_digit_units(texts[i]))
                    << texts[i];
            }
            EXPECT_TRUE(s->c[3] == strtoflt128(r.clk.c_str(), nullptr) * 1e-6Q) << r.clk;
            EXPECT_EQ(static_cast<long long>(llroundq(s->c[3] * 1e12Q)), last_digit_units(r.clk)) << r.clk;
            const bool no_clock = r.clk.find("999999.999999") != std::string::npos;
            missing_clocks += no_clock;
            invalid += !s->valid;
            EXPECT_EQ(s->valid, !no_clock);
            EXPECT_TRUE(s->c[4] == float128(e.mjd + (e.h + e.mi / 60.0 + e.sec / 3600.0) / 24.0));
        }
    }
    EXPECT_EQ(t.size(), n);
    EXPECT_EQ(invalid, missing_clocks);
    std::printf("[ realdata ] %s: %zu records, %d epochs, %zu without clock\n", set.name, n, t.nepochs3c,
                missing_clocks);
}

INSTANTIATE_TEST_SUITE_P(
    Products, PreciseOrbitProducts,
    ::testing::Values(Set{"igs_2008_148_three_days",
                          {"2008-148/igs14811.sp3", "2008-148/igs14812.sp3", "2008-148/igs14813.sp3"},
                          288,
                          {2008, 5, 26, 0, 0},
                          {2008, 5, 28, 23, 45}},
                      Set{"igs_2010_182_two_days",
                          {"2010-182/igs15904.sp3", "2010-182/igs15905.sp3"},
                          192,
                          {2010, 7, 1, 0, 0},
                          {2010, 7, 2, 23, 45}},
                      Set{"igs_2005_224_sp3a",
                          {"2005-224/igs13354.sp3", "2005-224/igs13355.sp3", "2005-224/igs13356.sp3"},
                          288,
                          {2005, 8, 11, 0, 0},
                          {2005, 8, 13, 23, 45}},
                      Set{"grg_2020_177_gzip_gps",
                          {"2020-177/GRG0MGXFIN_20201760000_01D_15M_ORB.SP3.gz",
                           "2020-177/GRG0MGXFIN_20201770000_01D_15M_ORB.SP3.gz"},
                          192,
                          {2020, 6, 24, 0, 0},
                          {2020, 6, 25, 23, 45}}),
    [](const ::testing::TestParamInfo<Set>& i) { return std::string(i.param.name); });

} // namespace
