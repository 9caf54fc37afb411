// The screening report on every observation file of the shared real data (seven station-days: BELL and
// EBRE 2002-01-30, ACOR MADR SCOA SFER 2008-05-27, ESBC 2020-06-25 with L5 on part of the satellites):
// the false alarms on clean data stay below a bound, and every slip of one cycle or more injected on L1
// alone or on L2 alone into the clean data is flagged at its epoch.
//
// Measured (Release build, the whole run well under a second of CPU): 189 497 observations, 188 257 of
// them clean, 671 flagged without gap or loss-of-lock indicator (0.36 %; per station-day 0.06 % SFER to
// 1.28 % ACOR, whose geometry-free differences are noisier than the others'); with slips injected at the
// middle of 4382 clean 40-epoch pieces, 4382/4382 flagged for 1 cycle on L1 and on L2; simultaneous
// one-cycle L1/L2 slips 199/4382 (168 of them by the three-frequency tests of ESBC). The bounds below
// leave about a factor two on the measured rates.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace fs = std::filesystem;
using quelmar::testing_support::lines_of;
using quelmar::testing_support::TempDir;

namespace {

constexpr double max_false_alarm_rate_total = 0.008; // measured 0.0041
constexpr double max_false_alarm_rate_day = 0.025;   // measured at most 0.0128 (ACOR)
constexpr double max_later_flag_rate = 0.01;         // flags after a caught slip; measured 0.0016
constexpr long min_injected_per_kind = 3000;         // measured 4382 at the middle of the pieces

std::vector<std::string> data_files() {
#ifdef QUELMAR_SHARED_DATA
    const fs::path d = fs::path(QUELMAR_SHARED_DATA) / "rinex";
    return {(d / "2002-030/bell0300.02o").string(),
            (d / "2002-030/ebre0300.02o").string(),
            (d / "2008-148/acor1480.08o").string(),
            (d / "2008-148/madr1480.08o").string(),
            (d / "2008-148/scoa1480.08o").string(),
            (d / "2008-148/sfer1480.08o").string(),
            (d / "2020-177/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz").string()};
#else
    return {};
#endif
}

// The cells of a table row "| a | b | ... |", trimmed.
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

long number(const std::string& s) {
    return std::strtol(s.c_str(), nullptr, 10);
}

struct Report {
    int status = -1;
    std::string out, err;
};

Report run_report(const std::string& options, const std::vector<std::string>& files) {
    TempDir dir;
    std::string cmd = "'" + std::string(QUELMAR_TOOLS_DIR) + "/screening_report' " + options;
    for (const auto& f : files) cmd += " '" + f + "'";
    cmd += " > '" + dir.path("out") + "' 2> '" + dir.path("err") + "'";
    Report r;
    const int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = dir.read("out");
    r.err = dir.read("err");
    return r;
}

TEST(ScreeningReportRealData, FalseAlarmsAndInjectedSlipsOnAllStationDays) {
    const auto files = data_files();
    if (files.empty()) GTEST_SKIP() << "QUELMAR_SHARED_DATA is not set: real data not available";
    for (const auto& f : files)
        if (!fs::exists(f)) GTEST_SKIP() << "real data file not available: " << f;

    struct Run {
        const char* options;
        bool print;
    };
    // The middle of each clean piece, then random epochs in them (another sample of the same data).
    const Run runs[] = {{"--inject L1:1,L2:1,L1:2,L2:5,L1L2:1", true},
                        {"--at random --seed 7 --inject L1:1,L2:1", false}};
    for (const Run& run : runs) {
        SCOPED_TRACE(run.options);
        const Report r = run_report(run.options, files);
        ASSERT_EQ(r.status, 0) << r.err;
        if (run.print) std::printf("%s\n", r.out.c_str());

        int station_days = 0;
        bool in_injection_table = false;
        int kinds_checked = 0;
        for (const std::string& line : lines_of(r.out)) {
            if (line.rfind("Injected slips", 0) == 0) in_injection_table = true;
            if (line.rfind("| ", 0) != 0) continue;
            const auto c = cells(line);
            if (!in_injection_table && c.size() == 15 && c[0] != "station-day") {
                const long clean = number(c[12]), false_alarms = number(c[13]);
                ASSERT_GT(clean, 0) << line;
                const double rate = static_cast<double>(false_alarms) / static_cast<double>(clean);
                if (c[0].rfind("total", 0) == 0) {
                    EXPECT_EQ(c[0], "total (7 station-days)");
                    EXPECT_LT(rate, max_false_alarm_rate_total) << line;
                } else {
                    ++station_days;
                    EXPECT_GT(number(c[3]), 20000) << line; // observations of a full 30 s day
                    EXPECT_LT(rate, max_false_alarm_rate_day) << line;
                }
            }
            if (in_injection_table && c.size() == 11 && c[0] != "slip") {
                const long injected = number(c[2]), flagged = number(c[3]);
                const bool one_carrier = c[0].rfind("L1 ", 0) == 0 || c[0].rfind("L2 ", 0) == 0;
                if (one_carrier) {
                    EXPECT_EQ(flagged, injected) << "every single-carrier slip flagged: " << line;
                }
                if (c[1] == "total") {
                    ++kinds_checked;
                    EXPECT_GE(injected, min_injected_per_kind) << line;
                    const std::string& later = c[10]; // "n of m"
                    const long after = number(later), checked = number(later.substr(later.find("of") + 2));
                    ASSERT_GT(checked, 0) << line;
                    if (one_carrier) {
                        EXPECT_LT(static_cast<double>(after) / static_cast<double>(checked),
                                  max_later_flag_rate)
                            << line;
                    }
                } else {
                    EXPECT_GT(injected, 100) << "every station-day takes part: " << line;
                }
            }
        }
        EXPECT_EQ(station_days, 7);
        EXPECT_EQ(kinds_checked, run.print ? 5 : 2);
    }
}

} // namespace
