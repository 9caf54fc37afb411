// The SP3 to S3C converter, run as a user runs it, on small SP3 texts written by the tests; its output
// is read back with the program's own S3C reader.
#include <gtest/gtest.h>
#include <quadmath.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "auxfiles/precise_orbits.hpp"
#include "frame/log.hpp"
#include "support/test_support.hpp"
#include "textio/listread.hpp"
#include "tools/tool_run.hpp"

using namespace quelmar;
using quelmar::testing_support::TempDir;
using testing_support::run_tool;
using testing_support::ToolRun;
using float128 = __float128;

namespace {

float128 q(const std::string& text) {
    return strtoflt128(text.c_str(), nullptr);
}

// An SP3 position line: letter, number, X Y Z clock texts and (versions c, d) the accuracy exponents
// and the four flags, in the columns of the format.
std::string pline(char letter, int number, double x, double y, double z, double clk, const char* sdev = "",
                  const char* flags = "") {
    char buf[128];
    std::snprintf(buf, sizeof buf, "P%c%2d%14.6f%14.6f%14.6f%14.6f", letter, number, x, y, z, clk);
    std::string s = buf;
    if (*sdev != '\0' || *flags != '\0') {
        std::string tail = sdev;
        tail.resize(13, ' '); // columns 62-74; the flags start in column 75
        s += " " + tail + flags;
    }
    return s;
}

std::string epoch_line(int y, int mo, int d, int h, int mi, double sec = 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "*  %4d %2d %2d %2d %2d %11.8f", y, mo, d, h, mi, sec);
    return buf;
}

// A header of the given version; `time_system` and the bases only appear in versions c and d.
std::vector<std::string>
header(char version, int y, int mo, int d, const char* time_system = "GPS",
       const char* bases = "%f  1.2500000  1.025000000  0.00000000000  0.000000000000000") {
    char l1[96];
    std::snprintf(l1, sizeof l1, "#%cP%4d %2d %2d  0  0  0.00000000       2 ORBIT IGS05 HLM  IGS", version, y,
                  mo, d);
    std::vector<std::string> h = {l1, "## 1481 172800.00000000   900.00000000 54613 0.0000000000000",
                                  "+    3   G02G05R03  0  0  0  0  0  0  0  0  0  0  0  0  0  0",
                                  "++         2  3  2  0  0  0  0  0  0  0  0  0  0  0  0  0  0"};
    if (version == 'a') {
        h.push_back("%c cc cc ccc ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc");
        h.push_back("%f  0.0000000  0.000000000  0.00000000000  0.000000000000000");
    } else {
        h.push_back(std::string("%c G  cc ") + time_system +
                    " ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc");
        h.push_back("%c cc cc ccc ccc cccc cccc cccc cccc ccccc ccccc ccccc ccccc");
        h.push_back(bases);
        h.push_back("%f  0.0000000  0.000000000  0.00000000000  0.000000000000000");
    }
    h.push_back("%i    0    0    0    0      0      0      0      0         0");
    h.push_back("/* a comment line");
    if (version == 'd')
        h.push_back("/* SP3-d allows more comment lines than four, and longer ones, like this one here");
    return h;
}

class Sp3ToS3c : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return dir_.path(name); }
    // Writes the lines to the file `name` in the working directory; returns the name.
    std::string put(const std::string& name, const std::vector<std::string>& lines) const {
        dir_.write_lines(name, lines);
        return name;
    }
    ToolRun run(const std::string& args) const { return run_tool(dir_, "sp3_to_s3c", args); }

    // The records of an S3C text, read list-directed as the program reads them.
    struct Rec {
        std::string label = std::string(3, ' ');
        int iprn = 0, iyy = 0, imo = 0, ida = 0, iho = 0, imi = 0, orbflag = 0, iflag2 = 0;
        double sec = 0;
        float128 x = 0, y = 0, z = 0, dt = 0, ex = 0, ey = 0, ez = 0, edt = 0;
    };
    static std::vector<Rec> records(const std::string& text) {
        textio::ListReader r(text);
        std::vector<Rec> v;
        for (;;) {
            Rec c;
            const auto st = r.read(c.label, c.iprn, c.iyy, c.imo, c.ida, c.iho, c.imi, c.sec, c.x, c.y, c.z,
                                   c.dt, c.orbflag, c.iflag2, c.ex, c.ey, c.ez, c.edt);
            if (!st.ok()) {
                EXPECT_EQ(st.iostat, textio::IoStat::end_of_file) << st.message;
                break;
            }
            v.push_back(c);
        }
        return v;
    }

    TempDir dir_;
};

std::vector<std::string> two_epochs_c(char version) {
    auto f = header(version, 2008, 5, 27);
    f.push_back(epoch_line(2008, 5, 27, 0, 0));
    f.push_back(pline('G', 2, -19529.716780, 12949.045714, 12000.801638, 205.248949, "10  7  6 122"));
    f.push_back(pline('G', 5, 14323.804541, 21220.957185, -7609.796688, 999999.999999, " 8  8 11    "));
    f.push_back(pline('R', 3, 10867.136661, -22776.781543, 7427.913338, 233.673872, " 9  6  7 130"));
    f.push_back("EP     5     4     7     222 1234567 -1234567 1234567 1234567 -1234567 1234567");
    f.push_back(epoch_line(2008, 5, 27, 0, 15));
    f.push_back(pline('G', 2, -19000.000001, 13000.5, 12500.25, 205.3, "10  7  6 122", "EP  MP"));
    f.push_back(pline(' ', 5, 14000.0, 21000.0, -7000.0, -0.000001, "", ""));
    f.push_back("EOF");
    return f;
}

TEST_F(Sp3ToS3c, SP3cAndSP3dRecordsAreWrittenInTheDocumentedLayout) {
    for (char version : {'c', 'd'}) {
        const ToolRun r = run(put("in.sp3", two_epochs_c(version)));
        ASSERT_EQ(r.status, 0) << r.err;
        const auto lines = [&] {
            std::vector<std::string> v;
            std::istringstream in(r.out);
            for (std::string l; std::getline(in, l);) v.push_back(l);
            return v;
        }();
        ASSERT_EQ(lines.size(), 4u) << r.out; // R03 is not GPS
        EXPECT_EQ(lines[0],
                  "S3C  2 08  5 27  0  0  0.00000000   -19529.716780    12949.045714    12000.801638      "
                  "205.248949  0  0  0.931322574615479E-05  0.476837158203125E-05  "
                  "0.381469726562500E-05  0.203381561691130E-04");
        EXPECT_EQ(lines[1],
                  "S3C  5 08  5 27  0  0  0.00000000    14323.804541    21220.957185    -7609.796688   "
                  "999999.999999  0  0  0.596046447753906E-05  0.596046447753906E-05  "
                  "0.116415321826935E-04  0.000000000000000E+00");
        const auto recs = records(r.out);
        ASSERT_EQ(recs.size(), 4u);
        // Second epoch: flags E (clock event) P (clock predicted), M (manoeuvre) P (orbit predicted).
        EXPECT_EQ(recs[2].imi, 15);
        EXPECT_EQ(recs[2].orbflag, 3);
        EXPECT_EQ(recs[2].iflag2, 3);
        EXPECT_TRUE(recs[2].x == q("-19000.000001"));
        EXPECT_TRUE(recs[2].y == q("13000.5"));
        // A blank letter is GPS; blank exponents give zero errors.
        EXPECT_EQ(recs[3].iprn, 5);
        EXPECT_TRUE(recs[3].dt == q("-0.000001"));
        EXPECT_TRUE(recs[3].ex == 0 && recs[3].edt == 0);
        // The clock error: 1.025^122 ps in microseconds.
        EXPECT_LT(fabsq(recs[0].edt / (powq(q("1.025"), 122) * q("1e-6")) - 1), q("1e-14"));
        EXPECT_NE(
            r.err.find("4 records of 2 objects at 2 epochs, 2008-05-27 00:00:00 to 2008-05-27 00:15:00 "
                       "(interval 900 s, span 900 s), 1 without clock (999999.999999) -> standard output"),
            std::string::npos)
            << r.err;
    }
}

TEST_F(Sp3ToS3c, SP3aFileAndOptions) {
    auto f = header('a', 2005, 8, 12);
    f.push_back(epoch_line(2005, 8, 12, 23, 45));
    f.push_back("P  1  15202.734861   1913.732043 -21514.720553      2.747556");
    f.push_back("P 12 -21564.807909  10266.659247 -11746.805348    -27.138828");
    f.push_back("EOF");
    put("a.sp3", f);
    struct Case {
        const char* args;
        int status;
        int records;
        const char* err; // text expected on standard error
    } cases[] = {
        {"a.sp3", 0, 2, "2 records of 2 objects at 1 epochs"},
        {"-q a.sp3", 0, 2, ""},
        {"-o out.s3c a.sp3", 0, 0, "-> out.s3c"},
        {"--system R a.sp3", 4, 0, "no position record of constellation R"},
        {"-s GPS a.sp3", 1, 0, "constellation must be one upper-case letter"},
        {"-s", 1, 0, "needs a constellation letter"},
        {"--frobnicate a.sp3", 1, 0, "unknown option --frobnicate"},
        {"", 1, 0, "no SP3 file given"},
        {"-o", 1, 0, "needs a file name"},
        {"absent.sp3", 2, 0, "cannot open absent.sp3"},
        {"-o nodir/out.s3c a.sp3", 3, 0, "cannot write nodir/out.s3c"},
    };
    for (const auto& c : cases) {
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_EQ(static_cast<int>(records(r.out).size()), c.records) << c.args;
        if (*c.err == '\0')
            EXPECT_EQ(r.err, "") << c.args;
        else
            EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
    }
    const auto recs = records(dir_.read("out.s3c"));
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[1].iprn, 12);
    EXPECT_EQ(recs[1].iyy, 5);
    EXPECT_EQ(recs[1].iho, 23);
    EXPECT_TRUE(recs[1].dt == q("-27.138828"));
    EXPECT_TRUE(recs[0].ex == 0 && recs[0].edt == 0);

    const ToolRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: sp3_to_s3c"), std::string::npos);
}

TEST_F(Sp3ToS3c, ErrorsAndTimeSystemsAndOtherConstellations) {
    auto f = two_epochs_c('c');
    put("c.sp3", f);
    auto utc = header('c', 2008, 5, 27, "UTC");
    utc.push_back(epoch_line(2008, 5, 27, 0, 0));
    utc.push_back(pline('G', 2, 1, 2, 3, 4));
    put("utc.sp3", utc);
    auto bad = two_epochs_c('c');
    bad[bad.size() - 3] = "PG02 -19000.00x001 13000.500000";
    put("bad.sp3", bad);
    put("text.sp3", {"this is not an orbit file"});
    std::ofstream(path("old.sp3.Z"), std::ios::binary) << "\x1f\x9d\x90#cP2008";
    auto stray = two_epochs_c('c');
    stray.insert(stray.begin() + 16, "XG02 what is this");
    put("stray.sp3", stray);
    auto backwards = two_epochs_c('c');
    backwards[backwards.size() - 4] = epoch_line(2008, 5, 26, 23, 45);
    put("back.sp3", backwards);

    struct Case {
        const char* args;
        int status;
        int records;
        const char* err;
    } cases[] = {
        {"--zero-errors c.sp3", 0, 4, ""},
        {"utc.sp3", 2, 0, "time system UTC, not GPS"},
        {"--any-time-system utc.sp3", 0, 1,
         "warning: utc.sp3: time system UTC written as if it were GPS time"},
        {"bad.sp3", 2, 0, "bad.sp3:17: cannot read the position record"},
        {"text.sp3", 2, 0, "not an SP3 file"},
        {"old.sp3.Z", 2, 0, "compressed with compress (.Z)"},
        {"stray.sp3", 2, 0, "stray.sp3:17: unexpected line \"XG02 what is this\""},
        {"back.sp3", 2, 0, "back.sp3:16: epoch not later than the previous one"},
        {"-s R c.sp3", 0, 1, "constellation R: satellite R01..R35 is written as object 1..35"},
    };
    for (const auto& c : cases) {
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        const auto recs = records(r.out);
        EXPECT_EQ(static_cast<int>(recs.size()), c.records) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
        const std::string args = c.args;
        if (args.rfind("--zero", 0) == 0) {
            for (const auto& rec : recs)
                EXPECT_TRUE(rec.ex == 0 && rec.ey == 0 && rec.ez == 0 && rec.edt == 0);
        }
        if (args.rfind("-s R", 0) == 0) {
            EXPECT_EQ(recs.at(0).iprn, 3);
        }
    }
}

TEST_F(Sp3ToS3c, AbsentPositionsBlankClocksAndNumbersBeyondTheTable) {
    auto f = header('d', 2020, 6, 25);
    f.push_back(epoch_line(2020, 6, 25, 0, 0));
    f.push_back(pline('G', 2, 0.0, 0.0, 0.0, 999999.999999));
    f.push_back(pline('G', 3, 1.0, 0.0, 3.0, 1.0));
    f.push_back(pline('G', 4, 11.0, 12.0, 13.0, 1.0).substr(0, 46)); // no clock field
    f.push_back(pline('E', 36, 11.0, 12.0, 13.0, 1.0));
    f.push_back(pline('E', 1, 11.0, 12.0, 13.0, 1.0));
    put("d.sp3", f);
    ToolRun r = run("d.sp3");
    ASSERT_EQ(r.status, 0) << r.err;
    auto recs = records(r.out);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].iprn, 4);
    EXPECT_TRUE(recs[0].dt == q("999999.999999"));
    EXPECT_NE(r.err.find("d.sp3:13: G02 at 2020-06-25 00:00:00: absent position (0.000000), record skipped"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("d.sp3:14: G03"), std::string::npos);

    r = run("--system E d.sp3");
    ASSERT_EQ(r.status, 0) << r.err;
    recs = records(r.out);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].iprn, 1);
    EXPECT_NE(r.err.find("skipped: E36"), std::string::npos) << r.err;
}

// Three files: the second overlaps the first by one epoch and takes it over.
TEST_F(Sp3ToS3c, FilesAreJoinedInTimeOrder) {
    auto day = [&](int d, int first_minute, int n, double x) {
        auto f = header('c', 2008, 5, d);
        for (int k = 0; k < n; ++k) {
            const int m = first_minute + 15 * k;
            f.push_back(epoch_line(2008, 5, d, m / 60, m % 60));
            f.push_back(pline('G', 7, x + k, 2.0, 3.0, 4.0));
        }
        f.push_back("EOF");
        return f;
    };
    put("d1.sp3", day(26, 22 * 60 + 30, 6, 1000)); // 22:30 .. 23:45
    auto d2 = day(26, 23 * 60 + 30, 2, 2000);      // 23:30, 23:45, then 00:00 of the next day
    d2.pop_back();
    d2.push_back(epoch_line(2008, 5, 27, 0, 0));
    d2.push_back(pline('G', 7, 2002.0, 2.0, 3.0, 4.0));
    d2.push_back("EOF");
    put("d2.sp3", d2);
    put("d3.sp3", day(27, 15, 2, 3000)); // 00:15, 00:30

    ToolRun r = run("-o joined.s3c d1.sp3 d2.sp3 d3.sp3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.err.find("d2.sp3 starts at 2008-05-26 23:30:00: 2 epoch(s) of the earlier file(s) from that epoch "
                   "on are replaced by it"),
        std::string::npos)
        << r.err;
    const auto recs = records(dir_.read("joined.s3c"));
    std::vector<std::string> got;
    for (const auto& c : recs) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%02d:%02d %lld", c.iho, c.imi, static_cast<long long>(c.x));
        got.push_back(buf);
    }
    EXPECT_EQ(got,
              (std::vector<std::string>{"22:30 1000", "22:45 1001", "23:00 1002", "23:15 1003", "23:30 2000",
                                        "23:45 2001", "00:00 2002", "00:15 3000", "00:30 3001"}));

    // The joined file loads with one epoch per record and a span of 2 h.
    frame::Log log;
    ASSERT_TRUE(log.open_named(path("load.log")));
    auxfiles::PreciseOrbitTable t;
    EXPECT_EQ(auxfiles::read_s3e(path("joined.s3c"), 900, t, 1.0, true, true, log), 0);
    EXPECT_EQ(t.nepochs3c, 9);
    EXPECT_TRUE(t.valid(7, 7201));
    EXPECT_TRUE(t.value(7, 7201, 1) == 3001000);

    // Out of order, or a span beyond the table.
    r = run("d3.sp3 d1.sp3");
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("give the files in time order"), std::string::npos) << r.err;
    auto far = header('c', 2008, 6, 8);
    far.push_back(epoch_line(2008, 6, 8, 0, 0));
    far.push_back(pline('G', 7, 1, 2, 3, 4));
    put("far.sp3", far);
    r = run("d1.sp3 far.sp3");
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("more than the 950399 s (11 days)"), std::string::npos) << r.err;
    auto y2063 = header('c', 2063, 1, 1);
    y2063.push_back(epoch_line(2063, 1, 1, 0, 0));
    y2063.push_back(pline('G', 7, 1, 2, 3, 4));
    put("y2063.sp3", y2063);
    r = run("y2063.sp3");
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("cannot be written with a two-digit year"), std::string::npos) << r.err;
}

TEST_F(Sp3ToS3c, GzipInputReadsAsThePlainFile) {
    put("g.sp3", two_epochs_c('d'));
    if (std::system(("cd '" + dir_.path().string() + "' && gzip -c g.sp3 > g.sp3.gz 2>/dev/null").c_str()) !=
        0)
        GTEST_SKIP() << "gzip is not available to write the compressed input";
    const ToolRun plain = run("g.sp3");
    const ToolRun gz = run("g.sp3.gz");
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(gz.status, 0) << gz.err;
    EXPECT_EQ(gz.out, plain.out);
    EXPECT_FALSE(gz.out.empty());
    // A damaged compressed stream is an input error.
    const std::string z = dir_.read("g.sp3.gz");
    std::ofstream(path("cut.sp3.gz"), std::ios::binary) << z.substr(0, z.size() / 2);
    const ToolRun cut = run("cut.sp3.gz");
    EXPECT_EQ(cut.status, 2) << cut.err;
}

} // namespace
