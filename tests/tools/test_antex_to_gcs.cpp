// The converter from ANTEX satellite antenna entries to the constellation status file.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "../../tools/lib/antex_gcs.hpp"
#include "auxfiles/constellation_status.hpp"
#include "frame/log.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::tools;
using quelmar::testing_support::TempDir;

namespace {

std::string padded(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

// One ANTEX record: 60 columns of content and the label.
std::string rec(const std::string& content, const std::string& label) {
    return padded(content, 60) + padded(label, 20) + "\n";
}

std::string valid(int y, int m, int d, int h, int mi, double s) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%6d%6d%6d%6d%6d%13.7f", y, m, d, h, mi, s);
    return buf;
}

struct Ant {
    std::string type, prn, svn;
    std::string from, until; // empty: no such record
};

std::string antenna(const Ant& a) {
    std::string s = rec("", "START OF ANTENNA");
    s += rec(padded(a.type, 20) + padded(a.prn, 20) + padded(a.svn, 10) + "1999-001A", "TYPE / SERIAL NO");
    s += rec("                    CODE/GFZ                 0    30-MAR-09", "METH / BY / # / DATE");
    s += rec("     0.0", "DAZI");
    s += rec("     0.0  14.0   1.0", "ZEN1 / ZEN2 / DZEN");
    if (!a.from.empty()) s += rec(a.from, "VALID FROM");
    if (!a.until.empty()) s += rec(a.until, "VALID UNTIL");
    s += rec("   G01", "START OF FREQUENCY");
    s += rec("      0.00      0.00    700.00", "NORTH / EAST / UP");
    s += "   NOAZI   10.70   10.10    8.00\n";
    s += rec("   G01", "END OF FREQUENCY");
    s += rec("", "END OF ANTENNA");
    return s;
}

std::string header() {
    return rec("     1.4            M", "ANTEX VERSION / SYST") + rec("A", "PCV TYPE / REFANT") +
           rec("", "END OF HEADER");
}

// A small ANTEX file with usable, ignored and unusable entries.
std::string sample_antex() {
    std::string s = header();
    s += antenna(
        {"BLOCK IIA", "G01", "G032", valid(1992, 11, 22, 0, 0, 0), valid(2008, 10, 16, 23, 59, 59.9999999)});
    s += antenna({"BLOCK IIR-M", "G01", "G049", valid(2009, 3, 24, 0, 0, 0), ""});
    s += antenna({"GLONASS-M", "R01", "R730", valid(2006, 12, 25, 0, 0, 0), ""});
    s += antenna({"AOAD/M_T        NONE", "", "", "", ""});
    s += antenna({"BLOCK IIIA", "G04", "G074", valid(2019, 1, 9, 0, 0, 0), ""});
    s += antenna({"BLOCK IIF", "G25", "G062", valid(2010, 5, 28, 12, 0, 0), valid(2011, 1, 1, 0, 0, 0)});
    s += antenna({"BLOCK IIA", "G36", "G037", valid(2000, 1, 1, 0, 0, 0), ""});
    s += antenna({"BLOCK IIA", "G07", "G100", valid(2000, 1, 1, 0, 0, 0), ""});
    s += antenna({"BLOCK IIA", "E07", "G037", valid(2000, 1, 1, 0, 0, 0), ""});
    s += antenna({"BLOCK II", "G02", "G013", "", valid(2004, 5, 12, 23, 59, 59.9999999)});
    s += antenna({"BLOCK II", "G03", "G014", valid(2004, 5, 12, 0, 0, 0), valid(2003, 1, 1, 0, 0, 0)});
    s += antenna(
        {"BLOCK I", "G03", "G011", valid(1985, 10, 9, 0, 0, 0), valid(1994, 4, 17, 23, 59, 59.9999999)});
    s += antenna({"BLOCK IIR-A", "G11", "G046", "  1999    1x", ""});
    return s;
}

TEST(AntexScan, TakesGpsSatelliteEntriesAndExplainsTheRest) {
    std::istringstream in(sample_antex());
    const AntexScan scan = scan_antex(in);
    EXPECT_EQ(scan.error, "");
    EXPECT_EQ(scan.gps_antennas, 11);
    EXPECT_EQ(scan.other_satellites, 1); // the GLONASS antenna; the receiver antenna is not a satellite
    const struct {
        int prn, svn, block;
        Date from, until;
        bool open;
    } expect[] = {
        {1, 32, 3, {1992, 11, 22}, {2008, 10, 16}, false},
        {1, 49, 6, {2009, 3, 24}, {2062, 12, 31}, true},
        {25, 62, 7, {2010, 5, 28}, {2010, 12, 31}, false}, // valid until 0h: the day before is the last
        {3, 11, 1, {1985, 10, 9}, {1994, 4, 17}, false},
    };
    ASSERT_EQ(scan.entries.size(), std::size(expect));
    for (std::size_t i = 0; i < scan.entries.size(); ++i) {
        const auto& e = scan.entries[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(e.prn, expect[i].prn);
        EXPECT_EQ(e.svn, expect[i].svn);
        EXPECT_EQ(e.iblock, expect[i].block);
        EXPECT_EQ(e.from, expect[i].from);
        EXPECT_EQ(e.until, expect[i].until);
        EXPECT_EQ(e.open_end, expect[i].open);
    }
    const std::vector<std::string> reasons = {"block type not in the block table",
                                              "PRN code is not G01..G35",
                                              "vehicle code is not G001..G099",
                                              "PRN code is not G01..G35",
                                              "no VALID FROM",
                                              "validity ends before it starts",
                                              "unreadable VALID FROM / VALID UNTIL"};
    ASSERT_EQ(scan.notes.size(), reasons.size());
    for (std::size_t i = 0; i < reasons.size(); ++i)
        EXPECT_NE(scan.notes[i].find(reasons[i]), std::string::npos) << scan.notes[i];
    EXPECT_NE(scan.notes[0].find("\"BLOCK IIIA\" G04 G074"), std::string::npos) << scan.notes[0];
}

TEST(AntexScan, CrLfLinesTruncatedFilesAndNonAntex) {
    std::string text = sample_antex();
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    std::istringstream a(crlf);
    EXPECT_EQ(scan_antex(a).entries.size(), 4u);

    // A file cut inside an entry loses that entry only.
    std::istringstream b(header() + antenna({"BLOCK IIA", "G01", "G032", valid(1992, 11, 22, 0, 0, 0), ""}) +
                         rec("", "START OF ANTENNA") +
                         rec(padded("BLOCK IIA", 20) + padded("G02", 20) + "G013", "TYPE / SERIAL NO"));
    const AntexScan sb = scan_antex(b);
    EXPECT_EQ(sb.entries.size(), 1u);
    ASSERT_EQ(sb.notes.size(), 1u);
    EXPECT_NE(sb.notes[0].find("file ends inside an antenna entry"), std::string::npos);

    std::istringstream c("1 1992 11 22 2008 10 16 3 32\n");
    EXPECT_EQ(scan_antex(c).error, "not an ANTEX file (no ANTEX VERSION / SYST record)");
    std::istringstream d("");
    EXPECT_FALSE(scan_antex(d).error.empty());
}

GpsAntennaEntry entry(int prn, int svn, int block, Date from, std::optional<Date> until, long line) {
    GpsAntennaEntry e;
    e.prn = prn;
    e.svn = svn;
    e.iblock = block;
    e.from = from;
    e.open_end = !until;
    e.until = until ? *until : last_expressible_day;
    e.line = line;
    return e;
}

// PRN 01 and PRN 07 around SVN 37's move in 2008 (as in the IGS05 ANTEX file).
std::vector<GpsAntennaEntry> moved_vehicle() {
    return {entry(1, 32, 3, {1992, 11, 22}, Date{2008, 10, 16}, 10),
            entry(1, 37, 3, {2008, 10, 23}, Date{2009, 1, 6}, 20), entry(1, 49, 6, {2009, 3, 24}, {}, 30),
            entry(7, 37, 3, {1993, 5, 13}, Date{2008, 1, 14}, 40), entry(7, 48, 6, {2008, 3, 15}, {}, 50)};
}

std::vector<std::pair<int, int>> prn_svn(const Selection& s) {
    std::vector<std::pair<int, int>> v;
    for (const auto& r : s.records) v.emplace_back(r.iprn, r.isv);
    return v;
}

TEST(SelectRecords, AMovedVehicleKeepsOnePrn) {
    const auto entries = moved_vehicle();
    using V = std::vector<std::pair<int, int>>;
    const struct {
        std::optional<Date> at;
        bool keep_all;
        V records;
        int dropped;
    } cases[] = {
        {{}, false, V{{1, 32}, {1, 37}, {1, 49}, {7, 48}}, 1},                // the latest assignment
        {Date{2002, 1, 30}, false, V{{1, 32}, {1, 49}, {7, 37}, {7, 48}}, 1}, // the one valid that day
        {Date{2008, 12, 1}, false, V{{1, 32}, {1, 37}, {1, 49}, {7, 48}}, 1},
        {Date{2008, 2, 1}, false, V{{1, 32}, {1, 37}, {1, 49}, {7, 48}}, 1}, // no entry that day: the latest
        {{}, true, V{{1, 32}, {1, 37}, {1, 49}, {7, 37}, {7, 48}}, 0},
    };
    for (const auto& c : cases) {
        const Selection s = select_records(entries, c.at, c.keep_all);
        SCOPED_TRACE(c.at ? date_text(*c.at) : std::string("no date"));
        EXPECT_EQ(prn_svn(s), c.records);
        EXPECT_EQ(s.dropped, c.dropped);
        EXPECT_EQ(s.merged, 0);
        EXPECT_EQ(s.notes.size(), static_cast<std::size_t>(c.dropped));
    }
    const Selection s = select_records(entries, {}, false);
    EXPECT_EQ(s.notes[0],
              "SVN 37 as PRN 07 (1993-05-13..2008-01-14, line 40) dropped: the vehicle is kept as PRN 01");
}

TEST(SelectRecords, AVehicleBackOnItsPrnIsMergedAfterTheGap) {
    const std::vector<GpsAntennaEntry> entries = {
        entry(1, 49, 6, {2009, 3, 24}, Date{2011, 5, 6}, 10),
        entry(1, 35, 3, {2011, 6, 2}, Date{2011, 7, 12}, 20),
        entry(1, 63, 7, {2011, 7, 16}, Date{2024, 4, 11}, 30),
        entry(1, 49, 6, {2024, 4, 22}, {}, 40),
    };
    const Selection s = select_records(entries, {}, false);
    ASSERT_EQ(s.records.size(), 3u);
    EXPECT_EQ(s.merged, 1);
    EXPECT_EQ(s.dropped, 0);
    const GcsRecord& m = s.records[2]; // placed where its last entry stands
    EXPECT_EQ(m.isv, 49);
    EXPECT_EQ(m.d0, (Date{2009, 3, 24}));
    EXPECT_EQ(m.d1, last_expressible_day);
    EXPECT_TRUE(m.open_end);
    EXPECT_EQ(s.notes[0],
              "SVN 49 as PRN 01 (2009-03-24..2011-05-06, line 10) merged into the record of line 40");

    // Walking the PRN's vehicles in file order, first covering period first, still names the right
    // vehicle on every day.
    auto first_covering = [&](Date day) {
        for (const auto& r : s.records)
            if (mjd_of(r.d0) <= mjd_of(day) && mjd_of(day) <= mjd_of(r.d1)) return r.isv;
        return 0;
    };
    EXPECT_EQ(first_covering({2010, 1, 1}), 49);
    EXPECT_EQ(first_covering({2011, 7, 1}), 35);
    EXPECT_EQ(first_covering({2015, 1, 1}), 63);
    EXPECT_EQ(first_covering({2024, 5, 1}), 49);
}

TEST(GcsLine, FixedColumnsThatReadFreely) {
    GcsRecord r;
    r.iprn = 1;
    r.d0 = {1992, 11, 22};
    r.d1 = {2008, 10, 16};
    r.iblock = 3;
    r.isv = 32;
    EXPECT_EQ(gcs_line(r), "  1  1992 11 22  2008 10 16    3   32");
    r.iprn = 32;
    r.d0 = {2006, 1, 2};
    r.d1 = last_expressible_day;
    r.iblock = 7;
    r.isv = 99;
    EXPECT_EQ(gcs_line(r), " 32  2006  1  2  2062 12 31    7   99");
}

TEST(AntexToGcsDates, PreviousDayAndParsing) {
    EXPECT_EQ(previous_day({2011, 1, 1}), (Date{2010, 12, 31}));
    EXPECT_EQ(previous_day({2008, 3, 1}), (Date{2008, 2, 29}));
    EXPECT_EQ(previous_day({2009, 3, 1}), (Date{2009, 2, 28}));
    EXPECT_EQ(previous_day({2000, 3, 1}), (Date{2000, 2, 29}));
    EXPECT_EQ(previous_day({1900, 3, 1}), (Date{1900, 2, 28}));
    EXPECT_EQ(previous_day({2009, 5, 1}), (Date{2009, 4, 30}));
    EXPECT_EQ(parse_date("2008-05-27"), (Date{2008, 5, 27}));
    EXPECT_FALSE(parse_date("2008-02-30"));
    EXPECT_FALSE(parse_date("2008-05"));
    EXPECT_FALSE(parse_date("2008-05-27x"));
    EXPECT_FALSE(parse_date("yesterday"));
    EXPECT_EQ(mjd_of({2008, 5, 27}), 54613);
}

// The built tool, run as a user runs it.
class AntexToGcsTool : public ::testing::Test {
  protected:
    int run(const std::string& args) {
        const std::string cmd = std::string("'") + QUELMAR_TOOLS_DIR + "/antex_to_gcs' " + args + " > '" +
                                dir_.path("stdout") + "' 2> '" + dir_.path("stderr") + "'";
        const int st = std::system(cmd.c_str());
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    std::string file(const std::string& name) const { return dir_.read(name); }
    std::string path(const std::string& name) const { return "'" + (dir_.path() / name).string() + "'"; }
    void put(const std::string& name, const std::string& text) const { dir_.write(name, text); }
    TempDir dir_;
};

TEST_F(AntexToGcsTool, WritesAFileThatTheStatusReaderLoads) {
    put("in.atx", sample_antex());
    ASSERT_EQ(run(path("in.atx") + " " + path("gcs.lst")), 0) << file("stderr");
    EXPECT_EQ(file("gcs.lst"), "  1  1992 11 22  2008 10 16    3   32\n"
                               "  1  2009  3 24  2062 12 31    6   49\n"
                               " 25  2010  5 28  2010 12 31    7   62\n"
                               "  3  1985 10  9  1994  4 17    1   11\n");
    EXPECT_EQ(file("stdout"), "");
    const std::string err = file("stderr");
    EXPECT_NE(err.find("antex_to_gcs: note: line "), std::string::npos) << err;
    EXPECT_NE(
        err.find(
            "antex_to_gcs: 11 GPS satellite antennas, 4 records written (7 skipped, 0 merged, 0 dropped); "
            "1 antennas of other satellite systems ignored\n"),
        std::string::npos)
        << err;

    frame::Log log;
    ASSERT_TRUE(log.open_named(dir_.path("log")));
    auxfiles::ConstellationStatus t;
    int ierr = -1;
    auxfiles::read_gcs(dir_.path("gcs.lst"), t, ierr, log);
    log.close();
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(t.isvmax, 62);
    EXPECT_EQ(t.ksv_prn(1), 2);
    EXPECT_EQ(t.idjm0_sv(32), 48948);
    EXPECT_EQ(t.idjm1_sv(32), 54755);
    EXPECT_EQ(t.iblock_sv(49), 6);
    EXPECT_EQ(t.idjm1_sv(49), 74554);
    EXPECT_EQ(file("log"), "");
}

TEST_F(AntexToGcsTool, StandardOutputOptionsAndErrors) {
    put("in.atx", sample_antex());
    EXPECT_EQ(run(path("in.atx")), 0);
    EXPECT_EQ(file("stdout").substr(0, 38), "  1  1992 11 22  2008 10 16    3   32\n");

    // The moved vehicle of the selection tests, as ANTEX entries.
    std::string moved = header();
    moved += antenna(
        {"BLOCK IIA", "G01", "G037", valid(2008, 10, 23, 0, 0, 0), valid(2009, 1, 6, 23, 59, 59.9999999)});
    moved += antenna(
        {"BLOCK IIA", "G07", "G037", valid(1993, 5, 13, 0, 0, 0), valid(2008, 1, 14, 23, 59, 59.9999999)});
    put("moved.atx", moved);
    EXPECT_EQ(run(path("moved.atx")), 0);
    EXPECT_EQ(file("stdout"), "  1  2008 10 23  2009  1  6    3   37\n");
    EXPECT_NE(file("stderr").find("dropped: the vehicle is kept as PRN 01"), std::string::npos);
    EXPECT_EQ(run("--date 2002-01-30 " + path("moved.atx")), 0);
    EXPECT_EQ(file("stdout"), "  7  1993  5 13  2008  1 14    3   37\n");
    EXPECT_EQ(run(path("moved.atx") + " --keep-all"), 0);
    EXPECT_EQ(file("stdout"),
              "  1  2008 10 23  2009  1  6    3   37\n  7  1993  5 13  2008  1 14    3   37\n");

    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(file("stdout").rfind(
                  "usage: antex_to_gcs [--date YYYY-MM-DD] [--keep-all] ANTEX_FILE [OUTPUT_FILE]", 0),
              0u);

    const struct {
        std::string args;
        int status;
        std::string message; // a line of standard error
    } errors[] = {
        {"", 2, "antex_to_gcs: expected an ANTEX file and optionally an output file"},
        {path("in.atx") + " a b", 2, "antex_to_gcs: expected an ANTEX file and optionally an output file"},
        {"--date", 2, "antex_to_gcs: --date needs a date YYYY-MM-DD"},
        {"--date 2008-13-01 " + path("in.atx"), 2, "antex_to_gcs: not a date YYYY-MM-DD: 2008-13-01"},
        {"--frobnicate " + path("in.atx"), 2, "antex_to_gcs: unknown option --frobnicate"},
        {path("missing.atx"), 1, "antex_to_gcs: cannot open ANTEX file: " + dir_.path("missing.atx")},
        {path("in.atx") + " " + path("no/such/dir/out"), 1,
         "antex_to_gcs: cannot write output file: " + dir_.path("no/such/dir/out")},
    };
    for (const auto& e : errors) {
        EXPECT_EQ(run(e.args), e.status) << e.args;
        const std::string err = file("stderr");
        EXPECT_NE(err.find(e.message + "\n"), std::string::npos) << e.args << "\n" << err;
        if (e.status == 2) {
            EXPECT_NE(err.find("usage: antex_to_gcs"), std::string::npos);
        }
    }
    put("not.atx", "1 1992 11 22 2008 10 16 3 32\n");
    EXPECT_EQ(run(path("not.atx")), 1);
    EXPECT_EQ(file("stderr"), "antex_to_gcs: " + dir_.path("not.atx") +
                                  ": not an ANTEX file (no ANTEX VERSION / SYST record)\n");
}

} // namespace
