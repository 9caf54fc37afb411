// The reference-satellite file writer on small message streams written by the tests: which satellite
// each period gets, which days get a file, and the files read back free-format as the program reads
// them (start second, end second, PRN).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_support.hpp"
#include "textio/format.hpp"
#include "textio/listread.hpp"
#include "tools/tool_run.hpp"

using namespace quelmar;
using quelmar::testing_support::TempDir;
using testing_support::expect_tool_failures;
using testing_support::run_tool;
using testing_support::ToolFailure;
using testing_support::ToolRun;

namespace {

// An OB1 line in the converter's layout; only the epoch, PRN and receiver matter to the tool.
std::string ob1(int prn, int yy, int mo, int da, double tsec, const std::string& rec) {
    static const textio::Format f(
        "(a,i2,1x,i2,4(1x,i2),f11.7,1x,a,1x,a1,1x,i1,f12.9,i6,4(4x,a2),4(f14.3,i1,i1),"
        "1x,i5,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1)");
    const int ho = static_cast<int>(tsec / 3600);
    const int mi = static_cast<int>((tsec - ho * 3600) / 60);
    const double sec = tsec - ho * 3600 - mi * 60;
    return f.write(std::string("OB1 "), prn, yy, mo, da, ho, mi, sec, rec, std::string("G"), 0, 0.0, 4,
                   std::string("L1"), std::string("L2"), std::string("C1"), std::string("P2"), 1e7, 0, 0, 1e7,
                   0, 0, 2e7, 0, 0, 2e7, 0, 0, 1, false, 30.0, false, 0.0, false, 0.0, 0.0, false);
}

struct Period {
    int t0, t1, prn;
    bool operator==(const Period&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Period& p) {
    return o << "(" << p.t0 << " " << p.t1 << " " << p.prn << ")";
}

// A reference-satellite file read as the program reads it: three integers per record until the end.
std::vector<Period> periods(const std::string& text) {
    textio::ListReader r(text);
    std::vector<Period> v;
    for (;;) {
        Period p{};
        const auto st = r.read(p.t0, p.t1, p.prn);
        if (!st.ok()) {
            EXPECT_EQ(st.iostat, textio::IoStat::end_of_file) << st.message;
            return v;
        }
        v.push_back(p);
    }
}

class MakeRefsat : public ::testing::Test {
  protected:
    ToolRun run(const std::string& args, const std::string& input = "") const {
        return run_tool(dir_, "make_refsat", args, input);
    }
    TempDir dir_;
};

// Two receivers over two days and a bit: BELL (the reference, first OB1 line) and EBRE.
std::vector<std::string> two_day_stream() {
    std::vector<std::string> s = {"XYZ   2  1 30  0  0  0.0 BELL  4775849.6200  116814.1000  4213018.7100"};
    for (int k = 0; k < 120; ++k) { // 00:00 - 01:00 at 30 s
        const double t = 30.0 * k;
        s.push_back(ob1(7, 2, 1, 30, t, "BELL"));
        s.push_back(ob1(2, 2, 1, 30, t, "EBRE")); // more epochs than any BELL satellite: not counted
        s.push_back(ob1(2, 2, 1, 30, t, "EBRE"));
        s.push_back(ob1(5, 2, 1, 30, t, "BELL")); // ties with 7: the lower PRN wins
        if (k % 2 == 0) s.push_back(ob1(3, 2, 1, 30, t, "BELL"));
        s.push_back("EPH  7  2  1 30  2  0  0.0"); // other lines are passed over
    }
    // 01:00 - 02:00: EBRE only; BELL's 59:59.9996 tag rounds to 3600, the second of the next period.
    s.push_back(ob1(11, 2, 1, 30, 3599.9996, "BELL"));
    for (int k = 0; k < 10; ++k) s.push_back(ob1(4, 2, 1, 30, 3630.0 + 30 * k, "EBRE"));
    // 02:00 - 03:00: repeated lines of one epoch count once.
    for (int k = 0; k < 10; ++k)
        for (int rep = 0; rep < 3; ++rep) s.push_back(ob1(9, 2, 1, 30, 7200.0 + 30 * k, "BELL"));
    for (int k = 0; k < 11; ++k) s.push_back(ob1(12, 2, 1, 30, 7200.0 + 30 * k, "BELL"));
    // The last second of the day goes to the last period; the next day, then a day of EBRE only.
    s.push_back(ob1(30, 2, 1, 30, 86399.6, "BELL"));
    s.push_back(ob1(31, 2, 1, 31, 0.0, "BELL"));
    s.push_back(ob1(31, 2, 2, 1, 0.0, "EBRE"));
    return s;
}

TEST_F(MakeRefsat, PeriodsDaysAndTies) {
    dir_.write_lines("stream.txt", two_day_stream());
    const ToolRun r = run("stream.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("reference receiver BELL (first OB1 line)"), std::string::npos) << r.err;
    EXPECT_EQ(periods(dir_.read("refsat.02-01-30")),
              (std::vector<Period>{{0, 3600, 5}, {3600, 7200, 11}, {7200, 10800, 12}, {82800, 86400, 30}}));
    EXPECT_EQ(periods(dir_.read("refsat.02-01-31")), (std::vector<Period>{{0, 3600, 31}}));
    // A day the reference receiver did not observe still gets its (empty) file: the program needs one.
    EXPECT_TRUE(std::filesystem::exists(dir_.path("refsat.02-02-01")));
    EXPECT_EQ(dir_.read("refsat.02-02-01"), "");
    EXPECT_NE(r.out.find("refsat.02-01-30: 4 period(s)"), std::string::npos) << r.out;
}

TEST_F(MakeRefsat, OptionsChooseReceiverPeriodAndPlace) {
    dir_.write_lines("stream.txt", two_day_stream());
    struct Case {
        const char* what;
        std::string args;
        bool from_stdin;
        const char* file;
        std::vector<Period> expect;
    };
    const Case cases[] = {
        {"other receiver",
         "--ref EBRE stream.txt",
         false,
         "refsat.02-01-30",
         {{0, 3600, 2}, {3600, 7200, 4}}},
        {"reference from the run's list",
         "--ref-file ref.txt stream.txt",
         false,
         "refsat.02-01-30",
         {{0, 3600, 2}, {3600, 7200, 4}}},
        {"standard input and an output directory",
         "-o out --period 1800 -",
         true,
         "out/refsat.02-01-30",
         {{0, 1800, 5}, {1800, 3600, 5}, {3600, 5400, 11}, {7200, 9000, 12}, {84600, 86400, 30}}},
        {"smallest period: 96 a day", "--period 900 stream.txt", false, "refsat.02-01-31", {{0, 900, 31}}},
        {"a period that does not divide the day: the last one is cut at 86400",
         "--period 50000 stream.txt",
         false,
         "refsat.02-01-30",
         {{0, 50000, 5}, {50000, 86400, 30}}},
    };
    dir_.write("ref.txt", "EBRE\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun r = run(c.args, c.from_stdin ? "stream.txt" : "");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(periods(dir_.read(c.file)), c.expect);
    }
}

TEST_F(MakeRefsat, BadInputGivesStatusesNotCrashes) {
    std::vector<std::string> s = two_day_stream();
    std::string bad = ob1(7, 2, 1, 30, 60.0, "BELL");
    bad[14] = 'x'; // a letter in the day (columns 14-15)
    s.insert(s.begin() + 2, bad);
    s.insert(s.begin() + 3, ob1(36, 2, 1, 30, 60.0, "BELL")); // PRN beyond 35
    s.insert(s.begin() + 4, "OB1 ");                          // cut short: reads as zeros, month 0
    dir_.write_lines("bad.txt", s);
    const ToolRun r = run("bad.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("3 OB1 line(s)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("first: line 3"), std::string::npos) << r.err;
    EXPECT_EQ(periods(dir_.read("refsat.02-01-30")).front(), (Period{0, 3600, 5}));

    dir_.write_lines("none.txt", {"XYZ   2  1 30  0  0  0.0 BELL", "nothing"});
    dir_.write("empty.txt", "");
    const ToolFailure cases[] = {
        {"no OB1 line", "none.txt", 1, "no OB1 line"},
        {"reference receiver absent", "--ref MADR bad.txt", 1, "MADR has no observation"},
        {"missing stream", "nothere.txt", 1, "cannot open nothere.txt"},
        {"missing reference list", "--ref-file nothere.txt bad.txt", 1, "cannot open nothere.txt"},
        {"empty reference list", "--ref-file empty.txt bad.txt", 1, "no reference receiver name"},
        {"period too short for the table", "--period 899 bad.txt", 2, "1 to 96 periods"},
        {"period not a number", "--period 1h bad.txt", 2, "whole seconds"},
        {"unknown option", "--refx BELL bad.txt", 2, "usage"},
        {"two streams", "bad.txt none.txt", 2, "usage"},
    };
    expect_tool_failures(dir_, "make_refsat", cases);
}

} // namespace
