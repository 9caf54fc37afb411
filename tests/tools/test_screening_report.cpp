// The screening report on a hand-made RINEX file whose slips, gap and loss-of-lock indicator are known:
// the counts of the report, what counts as clean and as a false alarm, and the injection of slips at
// chosen epochs.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_support.hpp"
#include "tools/tool_run.hpp"

using quelmar::testing_support::expect_tool_failures;
using quelmar::testing_support::lines_of;
using quelmar::testing_support::run_tool;
using quelmar::testing_support::TempDir;
using quelmar::testing_support::ToolFailure;
using quelmar::testing_support::ToolRun;

namespace {

constexpr double c_light = 299792458.0, f1 = 1575.42e6, f2 = 1227.60e6;

std::string hl(std::string content, const std::string& label) {
    content.resize(60, ' ');
    return content + label + "\n";
}

struct SatEpoch {
    int prn;
    double l1_extra = 0; // cycles added to L1 (a slip from this epoch on is given at every later epoch)
    int lli = 0;         // LLI digit of L1
};

// 60 epochs at 30 s of two satellites with smooth ranges (no ionosphere, no noise): G01 with a 5-cycle
// L1 slip at epoch 30 marked by the receiver; G02 with an unmarked 10-cycle L1 slip at epoch 20 and
// missing at epochs 40-44.
std::string rinex_file() {
    std::string s = hl("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE") +
                    hl("TEST", "MARKER NAME") +
                    hl("123                 TRM29659.00     NONE", "ANT # / TYPE") +
                    hl("  4775849.6200   116814.1000  4213018.7100", "APPROX POSITION XYZ") +
                    hl("        0.0540        0.1000       -0.2000", "ANTENNA: DELTA H/E/N") +
                    hl("     4    L1    L2    C1    P2", "# / TYPES OF OBSERV") +
                    hl("    30.000", "INTERVAL") + hl("", "END OF HEADER");
    for (int k = 0; k < 60; ++k) {
        std::vector<SatEpoch> sats;
        sats.push_back({1, k >= 30 ? 5.0 : 0.0, k == 30 ? 1 : 0});
        if (k < 40 || k > 44) sats.push_back({2, k >= 20 ? 10.0 : 0.0, 0});
        const int sec = 30 * k;
        char buf[128];
        std::snprintf(buf, sizeof buf, " 02  1 30 %2d %2d %10.7f  0%3zu", sec / 3600, (sec / 60) % 60,
                      static_cast<double>(sec % 60), sats.size());
        std::string line = buf;
        for (const auto& x : sats) {
            std::snprintf(buf, sizeof buf, "G%02d", x.prn);
            line += buf;
        }
        s += line + "\n";
        for (const auto& x : sats) {
            const double rho = 2.0e7 + 600.0 * x.prn * sec + 0.05 * sec * sec;
            std::snprintf(buf, sizeof buf, "%14.3f%1d %14.3f  %14.3f  %14.3f  \n",
                          rho * f1 / c_light + x.l1_extra, x.lli, rho * f2 / c_light, rho + 1.0, rho + 1.0);
            s += buf;
        }
    }
    return s;
}

std::vector<std::string> cells(const std::string& row) {
    std::vector<std::string> out;
    std::size_t start = 1;
    for (;;) {
        const std::size_t bar = row.find('|', start);
        if (bar == std::string::npos) return out;
        std::string c = row.substr(start, bar - start);
        const std::size_t a = c.find_first_not_of(' '), b = c.find_last_not_of(' ');
        out.push_back(a == std::string::npos ? "" : c.substr(a, b - a + 1));
        start = bar + 1;
    }
}

class ScreeningReport : public ::testing::Test {
  protected:
    ToolRun run(const std::string& args) const { return run_tool(dir_, "screening_report", args); }
    // The row of the table whose first cell starts with `key`.
    static std::vector<std::string> row(const std::string& out, const std::string& key) {
        for (const std::string& l : lines_of(out))
            if (l.rfind("| " + key, 0) == 0) return cells(l);
        return {};
    }
    TempDir dir_;
};

TEST_F(ScreeningReport, CountsOfAStationDayWithKnownSlips) {
    dir_.write("test0300.02o", rinex_file());
    const ToolRun r = run("test0300.02o");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto c = row(r.out, "TEST 2002-01-30");
    ASSERT_EQ(c.size(), 15u) << r.out;
    // epochs, satellites, observations, 3-frequency observations
    EXPECT_EQ(c[1], "60");
    EXPECT_EQ(c[2], "2");
    EXPECT_EQ(c[3], "115");
    EXPECT_EQ(c[4], "0");
    // arcs: G01 two (start, marked slip), G02 three (start, unmarked slip, gap)
    EXPECT_EQ(c[5], "5");
    // flags: gap 1; d2li and dbw each see both slips; no three-frequency tests; one LLI
    EXPECT_EQ(c[6], "1");
    EXPECT_EQ(c[7], "2");
    EXPECT_EQ(c[8], "2");
    EXPECT_EQ(c[9], "0");
    EXPECT_EQ(c[10], "0");
    EXPECT_EQ(c[11], "1");
    // clean: all but the two first observations, the LLI epoch and the epoch after the gap; the
    // unmarked slip is the one false alarm
    EXPECT_EQ(c[12], "111");
    EXPECT_EQ(c[13], "1");
    EXPECT_EQ(c[14], "0.901 %");
    const auto t = row(r.out, "total (1 station-days)");
    ASSERT_EQ(t.size(), 15u) << r.out;
    EXPECT_EQ(t[13], "1");
    EXPECT_EQ(r.out.find("Injected"), std::string::npos) << "no injection table without --inject";
}

TEST_F(ScreeningReport, InjectedSlipsAtChosenEpochs) {
    dir_.write("test0300.02o", rinex_file());
    // Pieces of 16 epochs: each satellite has one piece (epochs 0-15) before its own slip; second 300
    // is epoch 10 of it, with the three epochs before it unflagged.
    const ToolRun r = run("--stretch 16 --at 300 --inject L1:1,L2:2,L1L2:1 test0300.02o");
    ASSERT_EQ(r.status, 0) << r.err;
    struct Case {
        const char* slip;
        const char* flagged;
        const char* d2li;
        const char* dbw;
    };
    // Noise-free data: the geometry-free second difference is exactly the slip (0.19 m per L1 cycle,
    // -0.24 m per L2 cycle, -0.05 m for both), so L1 and L2 are caught and L1L2 is not. After ten epochs
    // with the prior scatter of 0.5 m the wide-lane threshold is 1.57 m: one wide-lane cycle (0.86 m)
    // stays below it, two (1.72 m) do not.
    const Case cases[] = {
        {"L1 1 cy", "2", "2", "0"}, {"L2 2 cy", "2", "2", "2"}, {"L1L2 1 cy", "0", "0", "0"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.slip);
        std::vector<std::string> c;
        for (const std::string& l : lines_of(r.out))
            if (l.rfind(std::string("| ") + k.slip + " | total", 0) == 0) c = cells(l);
        ASSERT_EQ(c.size(), 11u) << r.out;
        EXPECT_EQ(c[2], "2");
        EXPECT_EQ(c[3], k.flagged);
        EXPECT_EQ(c[5], k.d2li);
        EXPECT_EQ(c[6], k.dbw);
        EXPECT_EQ(c[9], std::to_string(2 - std::stoi(k.flagged)));
        EXPECT_EQ(c[10], "0 of 10") << "five epochs after each slip, none flagged";
    }
    // A second of day that is not an eligible epoch injects nothing.
    const ToolRun none = run("--stretch 16 --at 60 --inject L1:1 test0300.02o");
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_NE(none.out.find("| L1 1 cy | total | 0 | 0 |"), std::string::npos) << none.out;
}

TEST_F(ScreeningReport, UsageAndFileErrors) {
    dir_.write("test0300.02o", rinex_file());
    dir_.write("cut.02o", rinex_file().substr(0, 300));
    const ToolFailure cases[] = {
        {"no file", "", 2, "no observation file"},
        {"unknown slip kind", "--inject L5:1 test0300.02o", 2, "unknown kind"},
        {"fractional cycles", "--inject L1:0.5 test0300.02o", 2, "bad item"},
        {"bad second of day", "--at 90000 test0300.02o", 2, "bad second of day"},
        {"stretch too short", "--stretch 8 test0300.02o", 2, "--stretch"},
        {"missing file", "nothere.02o", 1, "nothere.02o"},
        {"file cut inside the header", "cut.02o", 1, "cut.02o"},
    };
    expect_tool_failures(dir_, "screening_report", cases);
}

} // namespace
