// The tools run as a user runs them, on small hand-written inputs in tests/tools/data whose expected
// outputs (the *.stream, *.s3c files and the lines below) were checked value by value against the
// inputs: every OB1 value and indicator pair is the RINEX field it comes from, every EPH value the
// navigation field in file order, OT2 the BLQ rows in file order. Then one table of failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "auxfiles/constellation_status.hpp"
#include "auxfiles/role_lists.hpp"
#include "support/support.hpp"

namespace {

using namespace quelmar;
using namespace quelmar::test;

const fs::path data_dir = fs::path(QUELMAR_SOURCE_DIR) / "tests" / "tools" / "data";
std::string data(const std::string& name) {
    return read_file(data_dir / name);
}
std::string in_data(const std::string& name) {
    return shq(data_dir / name);
}

// gps.02o: RINEX 2.10 of receiver "test", 30 s epochs of 2002-01-30 from 00:00:00. G07 has P1 (so P1 is
// written), G01 only C1, G04 no P2 (left out). A flag-6 record restarts G01's arc at 00:01:00, when
// G07's L1 has one cycle more: d2li = c/f1 = 0.1902937 m > 0.04 + 0.0013 * 30 (flagged),
// dbw = c/(f1 - f2) = 0.8619184 m, under the arc-start threshold 5 * sqrt(1.25/6 * 1.5) = 2.8 m.
// GPS-UTC of 2002 is 13 s. gps.02n: EPH 3 (toc 02:00:30) is due at 00:00:30, EPH 7 (toc 04:00, short
// last line read as zeros) after the last epoch. ot.blq: 0.0k0jj m, +-(100k + jj) deg for row k, column jj.
TEST(RinexToStream, Rinex2NavigationAndLoadingGiveTheExactStream) {
    TempDir dir;
    const Ran r = tool(dir, "rinex_to_stream",
                       "--nav " + in_data("gps.02n") + " --blq " + in_data("ot.blq") + " " + in_data("gps.02o"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, data("gps.stream"));
}

// mixed.16o: RINEX 3.04 in GLONASS time (UTC) across the leap second at the end of 2016: GPS-UTC 17 s,
// then 18 s, so epochs 30 s apart in UTC are 31 s apart in GPS time (23:59:47, 00:00:18). GPS: G05 has
// every code, and the precise ones win (C1W before C1C, C2W/L2W before C2L/L2L, L5Q/C5Q): six
// observables, then four when L5 goes, which starts a new arc; G10 has only C1C, C2L, L2L. Galileo:
// E11 gives L1C L7Q L5Q C1C C7Q C5Q; E36 does not fit the program's 35 slots.
TEST(RinexToStream, Rinex3CodesGpsGalileoAndUtcEpochs) {
    TempDir dir;
    Ran r = tool(dir, "rinex_to_stream", in_data("mixed.16o"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, data("mixed_g.stream"));
    r = tool(dir, "rinex_to_stream", "--system E " + in_data("mixed.16o"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, data("mixed_e.stream"));
    EXPECT_NE(r.err.find("satellites left out, numbers above 35: 36"), std::string::npos) << r.err;
}

// orb.sp3: formal errors are base^n mm or ps times 1e-6 (km, us): 1.25^10 = 9.3132257461547852 mm,
// 1.25^9 = 7.4505805969238281 mm, 1.025^100 = 11.8137163510621851 ps; flags E P M P give 2 + 1 for the
// clock and 2 + 1 for the orbit. G02's clock is the bad-clock marker, then blank (absent, the same
// marker). R01 is not GPS.
TEST(Sp3ToS3c, RecordsFlagsFormalErrorsAndAbsentClocks) {
    TempDir dir;
    const Ran r = tool(dir, "sp3_to_s3c", in_data("orb.sp3"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, data("orb.s3c"));
    EXPECT_EQ(r.err, "sp3_to_s3c: 4 records of 2 objects at 2 epochs, 2020-06-25 00:00:00 to 2020-06-25 "
                     "00:15:00 (interval 900 s, span 900 s), 2 without clock (999999.999999) -> standard output\n");
}

// sat.atx: block codes IIR-M 6, IIR-B 5, IIA 3, IIF 7; a validity ending at 0h ends the day before; an
// open one ends 2062-12-31; SVN 37 moved from PRN 7 to PRN 1 keeps one PRN (the latest entry, or the one
// valid on --date). The program's status reader takes the file back.
TEST(AntexToGcs, BlocksPeriodsMovedVehicleAndTheProgramReadsIt) {
    TempDir dir;
    Ran r = tool(dir, "antex_to_gcs", in_data("sat.atx") + " gcs.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string rows = "  5  2009  8 17  2062 12 31    6   50\n 22  2003 12 21  2019 12 31    5   47\n"
                             "%s 25  2010  5 28  2062 12 31    7   62\n";
    EXPECT_EQ(dir.read("gcs.txt"), replaced(rows, "%s", "  1  2008 10 23  2009  1  6    3   37\n"));
    EXPECT_NE(r.err.find("SVN 37 as PRN 07 (1993-05-13..2008-01-14, line 17) dropped"), std::string::npos);
    r = tool(dir, "antex_to_gcs", "--date 2002-01-30 " + in_data("sat.atx"));
    EXPECT_EQ(r.out, replaced(rows, "%s", "  7  1993  5 13  2008  1 14    3   37\n"));

    CapturedLog cl;
    auxfiles::ConstellationStatus t;
    int ierr = -1;
    auxfiles::read_gcs(dir.path("gcs.txt"), t, ierr, cl.log);
    EXPECT_EQ(ierr, 0) << cl.text();
    EXPECT_EQ(t.iblock_sv(47), 5);
    EXPECT_EQ(t.iblock_sv(50), 6);
    EXPECT_EQ(t.idjm1_sv(47), mjd_of(2019, 12, 31));
    EXPECT_EQ(t.idjm1_sv(62), mjd_of(2062, 12, 31));
    EXPECT_EQ(t.idjm0_sv(37), mjd_of(2008, 10, 23));
}

// Roles as the program's start-up readers see them: no reference receiver is an empty file (status -1,
// "none"), the station of the RINEX file estimated, two trajectory rovers in station order, the offsets
// of one low-orbit rover in the order along, cross, radial.
TEST(MakeRoleLists, FilesAsTheProgramReadsThem) {
    TempDir dir;
    const Ran r = tool(dir, "make_role_lists",
                       "--no-ref --station l07b --station l12a --rover-sp3 l12a,l07b --leo l07b,0.25,-1e-3,-0.5 " +
                           in_data("gps.02o"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("  sta2roversp3file  = 'sta2roversp3.txt'   ! l07b l12a\n"), std::string::npos) << r.out;
    EXPECT_EQ(dir.read("sta2refrec.txt"), "");
    EXPECT_EQ(dir.read("sta2estpos.txt"), "TEST\n");
    EXPECT_EQ(dir.read("sta2roversp3.txt"), "l07b\nl12a\n");
    EXPECT_EQ(dir.read("leocm2pc.txt"), "l07b 0.250000 -0.001000 -0.500000\n");

    CapturedLog cl;
    std::string ref;
    int ierr = 0;
    auxfiles::read_reference_rec(ref, dir.path("sta2refrec.txt"), ierr, cl.log);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(ref, "    ");
    const std::vector<std::string> names{"l07b", "l12a"};
    auxfiles::StationNames leo;
    auxfiles::LeoOffsets off;
    int n = 0;
    auxfiles::read_leocm2pc(dir.path("leocm2pc.txt"), names, 2, leo, n, off, ierr, cl.log);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(leo(1), "l07b");
    EXPECT_EQ(off(1, 1), 0.25);
    EXPECT_EQ(off(1, 2), -0.001);
    EXPECT_EQ(off(1, 3), -0.5);
}

// Periods of 900 s. BELL (the first receiver) sees G03 and G05 twice each in the first period (a tie:
// the lower PRN), G05 again at 899.6 s, which the program rounds to 900 s (second period), and G07 at
// 86399.7 s, rounded to 86400 s but kept in the last period, which ends at 86400. EBRE's observations
// count for no period; its day alone gets an empty file.
TEST(MakeRefsat, TiesRoundedSecondsAndTheLastPeriod) {
    TempDir dir;
    dir.write("s.txt", "OB1  3  2  1 30  0  0  0.0000000 BELL G\nOB1  5  2  1 30  0  0  0.0000000 BELL G\n"
                       "OB1 20  2  1 30  0  0  0.0000000 EBRE G\nOB1 20  2  1 30  0  0 30.0000000 EBRE G\n"
                       "EPH  3 02  1 30  2  0  0.0\nOB1 20  2  1 30  0  1  0.0000000 EBRE G\n"
                       "OB1  3  2  1 30  0  5  0.0000000 BELL G\nOB1  5  2  1 30  0  5  0.0000000 BELL G\n"
                       "OB1  5  2  1 30  0 14 59.6000000 BELL G\nOB1  7  2  1 30 23 59 59.7000000 BELL G\n"
                       "OB1  9  2  1 31  0  0  0.0000000 EBRE G\n");
    const Ran r = tool(dir, "make_refsat", "--period 900 s.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("refsat.02-01-30"), "0 900 3\n900 1800 5\n85500 86400 7\n");
    EXPECT_TRUE(dir.has("refsat.02-01-31"));
    EXPECT_EQ(dir.read("refsat.02-01-31"), "");
}

// Bad command lines and damaged inputs: the exit status and the message on standard error (file and
// line for a damaged file). Damaged copies are made from the good inputs.
TEST(ToolFailures, StatusAndMessage) {
    TempDir dir;
    const std::string gps = data("gps.02o"), blq = data("ot.blq"), sp3 = data("orb.sp3");
    dir.write("cut.02o", gps.substr(0, gps.find(" -12000000.125"))); // ends inside the first epoch
    dir.write("gps.02o", gps);
    dir.write("q2.02o", replaced(gps, "P1    P2", "P1    Q2"));
    dir.write("nomarker.02o", replaced(gps, "MARKER NAME", "COMMENT"));
    dir.write("order.02o", replaced(gps, " 02  1 30  0  1  0.0000000", " 02  1 30  0  0 15.0000000"));
    dir.write("bdt.16o", replaced(data("mixed.16o"), "GLO", "BDT"));
    dir.write("neg.blq", replaced(blq, " .02010", " -.02010"));
    dir.write("big.blq", replaced(blq, "  301.0", "  361.0"));
    dir.write("ten.blq", replaced(blq, " .02020", ""));
    dir.write("utc.sp3", replaced(sp3, " GPS ccc", " UTC ccc"));
    dir.write("bad.sp3", replaced(sp3, "PG02  10100.000000", "PG02  10100.0x0000"));
    const std::string two = " gps.02o " + in_data("mixed.16o");
    const struct {
        const char* tool;
        std::string args;
        int status;
        std::string message;
    } cases[] = {
        {"rinex_to_stream", "", 2, "usage: rinex_to_stream [--nav FILE]..."},
        {"rinex_to_stream", "--system R gps.02o", 2, "--system takes G (GPS) or E (Galileo), not R"},
        {"rinex_to_stream", "a b c d e f g", 2, "7 observation files: the program takes at most 6"},
        {"rinex_to_stream", "gps.02o gps.02o", 1, "gps.02o: marker TEST already given by gps.02o"},
        {"rinex_to_stream", "nothere.02o", 1, "nothere.02o:0: cannot open"},
        {"rinex_to_stream", "cut.02o", 1, "cut.02o:12: file truncated: end of file inside the observations"},
        {"rinex_to_stream", "q2.02o", 1, "q2.02o:8: unknown observation type \"Q2\""},
        {"rinex_to_stream", "nomarker.02o", 1, "nomarker.02o:9: missing header record \"MARKER NAME\""},
        {"rinex_to_stream", "order.02o", 1, "order.02o:19: epoch out of order: not later than the epoch of line 14"},
        {"rinex_to_stream", "bdt.16o", 1, "bdt.16o:8: time system BDT not supported"},
        {"rinex_to_stream", "--blq neg.blq gps.02o", 1, "neg.blq:4: station test: west amplitudes: value out of range"},
        {"rinex_to_stream", "--blq big.blq gps.02o", 1, "big.blq:8: station test: south phases: value out of range"},
        {"rinex_to_stream", "--blq ten.blq gps.02o", 1, "ten.blq:4: station test: west amplitudes: 10 values"},
        {"sp3_to_s3c", "", 1, "sp3_to_s3c: no SP3 file given"},
        {"sp3_to_s3c", "-s gps " + in_data("orb.sp3"), 1, "constellation must be one upper-case letter"},
        {"sp3_to_s3c", "gps.02o", 2, "error: gps.02o: not an SP3 file"},
        {"sp3_to_s3c", "utc.sp3", 2, "error: utc.sp3: time system UTC, not GPS"},
        {"sp3_to_s3c", "bad.sp3", 2, "error: bad.sp3:12: cannot read the position record"},
        {"sp3_to_s3c", "utc.sp3 --any-time-system utc.sp3", 4, "give the files in time order"},
        {"sp3_to_s3c", "-s C " + in_data("orb.sp3"), 4, "error: no position record of constellation C"},
        {"antex_to_gcs", "", 2, "antex_to_gcs: expected an ANTEX file and optionally an output file"},
        {"antex_to_gcs", "--date 2008-02-30 gps.02o", 2, "antex_to_gcs: not a date YYYY-MM-DD: 2008-02-30"},
        {"antex_to_gcs", "gps.02o", 1, "antex_to_gcs: gps.02o: not an ANTEX file"},
        {"make_role_lists", "", 2, "usage: make_role_lists"},
        {"make_role_lists", "--rover-like MADR" + two, 2, "--rover-like: station MADR is not among the stations"},
        {"make_role_lists", "--estimate ESBC --rover-rt ESBC" + two, 2, "station ESBC given two roles"},
        {"make_role_lists", "--rover-like TEST" + two, 2, "station TEST given two roles: --ref and --rover-like"},
        {"make_role_lists", "--station A1 --station A2 --station A3 --station A4 --station A5" + two, 2,
         "7 stations: a run holds at most 6"},
        {"make_role_lists", "--station ROVR --rover-sp3 ROVR" + two, 2, "station ROVR carries no object number"},
        {"make_role_lists", "--leo ESBC,1,2,3" + two, 2, "--leo: station ESBC is not a trajectory-file rover"},
        {"make_role_lists", "nothere.02o", 1, "nothere.02o:0: cannot open"},
        {"make_refsat", "--period 899 gps.02o", 2, "--period 899: the day must fall into 1 to 96 periods"},
        {"make_refsat", "--ref XXXX " + in_data("gps.stream"), 1, "the reference receiver XXXX has no observation"},
        {"make_refsat", "gps.02o", 1, "make_refsat: no OB1 line in the stream"},
        {"screening_report", "", 2, "screening_report: no observation file"},
        {"screening_report", "--inject L3:1 gps.02o", 2, "--inject: unknown kind \"L3\""},
        {"screening_report", "q2.02o", 1, "q2.02o:8: unknown observation type \"Q2\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tool) + " " + c.args);
        const Ran r = tool(dir, c.tool, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

} // namespace
