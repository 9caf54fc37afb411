// The GPS constellation status table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "auxfiles/constellation_status.hpp"
#include "frame/config.hpp"
#include "frame/log.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;
using namespace quelmar::testing_support;

namespace {

class ConstellationStatusTable : public ScratchFixture {
  protected:
    std::string put(const std::string& text) const { return config_name(dir_.write("gcs.lst", text)); }
    static int listed(const ConstellationStatus& t) {
        int n = 0;
        for (int p = 1; p <= maxsat; ++p) n += t.ksv_prn(p);
        return n;
    }
};

// MJDs of 0h, computed independently (days since 1858-11-17).
constexpr int mjd_1992_11_22 = 48948, mjd_2008_10_16 = 54755, mjd_2008_10_23 = 54762, mjd_2009_01_06 = 54837,
              mjd_2062_12_31 = 74554, mjd_1963_01_01 = 38030, mjd_2000_02_29 = 51603;

TEST_F(ConstellationStatusTable, LoadsSlotsAndPrnLists) {
    ConstellationStatus t;
    int ierr = -1;
    read_gcs(put("  1  1992 11 22  2008 10 16    3   32\n"
                 "  1,2008,10,23,2009,1,6,3,37\n"
                 "  7  63 1 1  62 12 31  6  48\n" // two-digit years: 1963 and 2062
                 " 32  2000 2 29  2062 12 31  3  23  trailing text\n"
                 " 12  2092 2 29  2100 12 31  9  10\n" // only the last two digits count: 1992 and 2000
                 "  5\n 1992 11 22\n 2008 10 16\n 3 35\n"),
             t, ierr, log_);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(t.isvmax, 48);
    const struct {
        int isv, d0, d1, prn, block;
    } slots[] = {
        {32, mjd_1992_11_22, mjd_2008_10_16, 1, 3}, {37, mjd_2008_10_23, mjd_2009_01_06, 1, 3},
        {48, mjd_1963_01_01, mjd_2062_12_31, 7, 6}, {23, mjd_2000_02_29, mjd_2062_12_31, 32, 3},
        {35, mjd_1992_11_22, mjd_2008_10_16, 5, 3},
    };
    for (const auto& s : slots) {
        EXPECT_EQ(t.idjm0_sv(s.isv), s.d0) << s.isv;
        EXPECT_EQ(t.idjm1_sv(s.isv), s.d1) << s.isv;
        EXPECT_EQ(t.iprn_sv(s.isv), s.prn) << s.isv;
        EXPECT_EQ(t.iblock_sv(s.isv), s.block) << s.isv;
    }
    // 2092-02-29 is read as 1992-02-29 (1992 is a leap year), 2100-12-31 as 2000-12-31.
    EXPECT_EQ(t.idjm0_sv(10), 48681);
    EXPECT_EQ(t.idjm1_sv(10), 51909);
    EXPECT_EQ(t.iblock_sv(10), 9); // block codes are stored as given
    EXPECT_EQ(t.ksv_prn(1), 2);
    EXPECT_EQ(t.iprn2sv(1, 1), 32);
    EXPECT_EQ(t.iprn2sv(1, 2), 37);
    EXPECT_EQ(t.ksv_prn(7), 1);
    EXPECT_EQ(listed(t), 6);
    EXPECT_EQ(t.idjm0_sv(1), 0); // an unused slot stays empty
    EXPECT_TRUE(captured_.lines().empty());
}

TEST_F(ConstellationStatusTable, ALaterRecordForASlotReplacesItAndIsListedAgain) {
    ConstellationStatus t;
    int ierr = -1;
    read_gcs(put("7 1993 5 13 2008 1 14 3 37\n"
                 "1 2008 10 23 2009 1 6 4 37\n"),
             t, ierr, log_);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(t.iprn_sv(37), 1);
    EXPECT_EQ(t.iblock_sv(37), 4);
    EXPECT_EQ(t.idjm0_sv(37), mjd_2008_10_23);
    EXPECT_EQ(t.ksv_prn(7), 1);
    EXPECT_EQ(t.iprn2sv(7, 1), 37);
    EXPECT_EQ(t.ksv_prn(1), 1);
    EXPECT_EQ(t.iprn2sv(1, 1), 37);
    // The PRN 7 entry now shows the slot's current period.
    const SvCandidates c = t.candidates(7);
    ASSERT_EQ(c.n, 1);
    EXPECT_EQ(c.entry[0].idjm0, mjd_2008_10_23);
}

TEST_F(ConstellationStatusTable, EmptyFileAndFailures) {
    ConstellationStatus t;
    int ierr = -1;
    read_gcs(put(""), t, ierr, log_);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(t.isvmax, -99);
    EXPECT_EQ(listed(t), 0);

    read_gcs(dir_.path("none.lst"), t, ierr, log_);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(captured_.lines().back(), " ERROR: opening gpsconsstatus.lst ");

    // A bad record ends the reading; the records before it stay.
    read_gcs(put("1 1992 11 22 2008 10 16 3 32\n1 2008 10 23 2009 1 6 3 x\n2 1989 6 10 2004 5 12 2 13\n"), t,
             ierr, log_);
    EXPECT_EQ(ierr, 2);
    EXPECT_EQ(captured_.lines().back(), " ERROR: reading gpsconsstatus.lst ");
    EXPECT_EQ(t.isvmax, 32);
    EXPECT_EQ(listed(t), 1);
    EXPECT_EQ(t.idjm0_sv(13), 0);

    // A header line is not a record.
    read_gcs(put("PRN Y0 M0 D0 Y1 M1 D1 BLOCK SVN\n1 1992 11 22 2008 10 16 3 32\n"), t, ierr, log_);
    EXPECT_EQ(ierr, 2);
    EXPECT_EQ(listed(t), 0);

    // A record cut short by the end of the file is not a record.
    read_gcs(put("1 1992 11 22 2008 10 16 3 32\n2 1989 6 10\n"), t, ierr, log_);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(listed(t), 1);
    EXPECT_EQ(captured_.lines().size(), 3u);
}

TEST_F(ConstellationStatusTable, RecordsOutsideTheTableAreSkippedWithAWarning) {
    const struct {
        const char* record;
        const char* line;
    } cases[] = {
        {"0 1992 11 22 2008 10 16 3 32",
         " WARNING: gpsconsstatus.lst record skipped (iprn outside 1..35): 0 1992 11 22 "
         "2008 10 16 3 32"},
        {"36 1992 11 22 2008 10 16 3 32",
         " WARNING: gpsconsstatus.lst record skipped (iprn outside 1..35): 36 1992 11 "
         "22 2008 10 16 3 32"},
        {"3 1992 11 22 2008 10 16 3 0",
         " WARNING: gpsconsstatus.lst record skipped (isv outside 1..99): 3 1992 11 22 "
         "2008 10 16 3 0"},
        {"3 1992 11 22 2008 10 16 3 100",
         " WARNING: gpsconsstatus.lst record skipped (isv outside 1..99): 3 1992 11 "
         "22 2008 10 16 3 100"},
        {"3 1992 13 22 2008 10 16 3 30",
         " WARNING: gpsconsstatus.lst record skipped (invalid date): 3 1992 13 22 2008 "
         "10 16 3 30"},
        {"3 1992 11 22 2009 2 29 3 30",
         " WARNING: gpsconsstatus.lst record skipped (invalid date): 3 1992 11 22 2009 "
         "2 29 3 30"},
        {"3 1992 11 0 2008 10 16 3 30",
         " WARNING: gpsconsstatus.lst record skipped (invalid date): 3 1992 11 0 2008 "
         "10 16 3 30"},
        {"3 -1992 11 22 2008 10 16 3 30",
         " WARNING: gpsconsstatus.lst record skipped (invalid date): 3 -1992 11 22 "
         "2008 10 16 3 30"},
    };
    for (const auto& c : cases) {
        ConstellationStatus t;
        int ierr = -1;
        read_gcs(
            put(std::string("1 1992 11 22 2008 10 16 3 32\n") + c.record + "\n2 1989 6 10 2004 5 12 2 13\n"),
            t, ierr, log_);
        SCOPED_TRACE(c.record);
        EXPECT_EQ(ierr, 3);
        EXPECT_EQ(captured_.lines().back(), c.line);
        EXPECT_EQ(listed(t), 2); // the records around it are loaded
        EXPECT_EQ(t.isvmax, 32);
        EXPECT_EQ(t.idjm0_sv(30), 0); // and nothing of it
        EXPECT_EQ(t.ksv_prn(3), 0);
    }
}

TEST_F(ConstellationStatusTable, MalformedFilesGiveAStatus) {
    std::string binary;
    for (int i = 0; i < 4000; ++i) binary.push_back(static_cast<char>((i * 7919 + 13) % 256));
    const std::string inputs[] = {
        binary,
        std::string(100000, '1') + "\n",
        "-1 -1 -1 -1 -1 -1 -1 -1 -1\n",
        "2147483647 2147483647 12 31 2147483647 12 31 2147483647 2147483647\n",
        "35 -2147483648 1 1 1990 1 1 3 99\n",
        "9*1\n9*35\n9*99\n,,,,,,,,,\n/\n",
    };
    for (const std::string& text : inputs) {
        ConstellationStatus t;
        int ierr = -1;
        read_gcs(put(text), t, ierr, log_);
        EXPECT_TRUE(ierr == 0 || ierr == 2 || ierr == 3) << ierr;
        EXPECT_LE(t.isvmax, maxsv);
        for (int p = 1; p <= maxsat; ++p) EXPECT_LE(t.ksv_prn(p), maxnsv_per_prn);
    }
}

TEST_F(ConstellationStatusTable, TwentyVehiclesPerPrnAtMost) {
    std::string text;
    for (int k = 1; k <= 21; ++k) text += "9 1990 1 1 1990 1 1 3 " + std::to_string(k) + "\n";
    ConstellationStatus t;
    int ierr = -1;
    read_gcs(put(text), t, ierr, log_);
    EXPECT_EQ(ierr, 3);
    EXPECT_EQ(t.ksv_prn(9), 20);
    EXPECT_EQ(t.iprn2sv(9, 20), 20);
    EXPECT_EQ(t.idjm0_sv(21), 0);
    EXPECT_EQ(t.isvmax, 20);
    EXPECT_EQ(captured_.lines(),
              (std::vector<std::string>{" WARNING: gpsconsstatus.lst record skipped (more than 20 "
                                        "vehicles for the PRN): 9 1990 1 1 1990 1 1 3 21"}));
}

TEST_F(ConstellationStatusTable, CandidatesListAPrnsVehiclesInFileOrder) {
    ConstellationStatus t;
    int ierr = -1;
    read_gcs(put("25 1992 2 23 2010 2 8 3 25\n"
                 "25 2010 2 9 2010 5 27 3 35\n"
                 "25 2010 5 28 2062 12 31 7 62\n"
                 "5 1993 8 30 2009 6 8 3 50\n"),
             t, ierr, log_);
    const SvCandidates c = t.candidates(25);
    ASSERT_EQ(c.n, 3);
    const int isv[] = {25, 35, 62};
    const int block[] = {3, 3, 7};
    int k = 0;
    for (const SvCandidate& e : c) {
        EXPECT_EQ(e.isv, isv[k]);
        EXPECT_EQ(e.iblock, block[k]);
        EXPECT_EQ(e.idjm0, t.idjm0_sv(e.isv));
        EXPECT_EQ(e.idjm1, t.idjm1_sv(e.isv));
        ++k;
    }
    EXPECT_EQ(c.entry[1].idjm0 - c.entry[0].idjm1, 1); // consecutive periods
    EXPECT_EQ(t.candidates(1).n, 0);
    EXPECT_EQ(t.candidates(0).n, 0);
    EXPECT_EQ(t.candidates(36).n, 0);
    EXPECT_EQ(t.candidates(-7).n, 0);
}

TEST_F(ConstellationStatusTable, StartUpListsTheTableUnlessSilent) {
    frame::Config cfg;
    cfg.gpscstatusfile =
        put("3 1996 3 28 2062 12 31 3 3\n1 1992 11 22 2008 10 16 3 2\n1 2008 10 23 2009 1 6 3 3\n");
    ConstellationStatus t;
    load_constellation_status(cfg, t, log_);
    EXPECT_EQ(captured_.lines(), (std::vector<std::string>{
                                     " GPS Constellation Status: ",
                                     " i,idjm0_sv(i),idjm1_sv(i)= 1 0 0",
                                     " i,iprn_sv(i),iblock_sv(i)= 1 0 0",
                                     " i,idjm0_sv(i),idjm1_sv(i)= 2 48948 54755",
                                     " i,iprn_sv(i),iblock_sv(i)= 2 1 3",
                                     " i,idjm0_sv(i),idjm1_sv(i)= 3 54762 54837",
                                     " i,iprn_sv(i),iblock_sv(i)= 3 1 3",
                                     " j,k,iprn2sv(j,k)= 1 1 2",
                                     " j,k,iprn2sv(j,k)= 1 2 3",
                                     " j,k,iprn2sv(j,k)= 3 1 3",
                                 }));

    log_.restart();
    log_.silent = true;
    cfg.gpscstatusfile = put("3 1996 3 28 2062 12 31 3 3\n40 1996 3 28 2062 12 31 3 3\n");
    load_constellation_status(cfg, t, log_);
    EXPECT_EQ(captured_.lines(),
              (std::vector<std::string>{" WARNING: gpsconsstatus.lst record skipped (iprn outside "
                                        "1..35): 40 1996 3 28 2062 12 31 3 3"}));

    // An unreadable file leaves the table empty and lists nothing but the title.
    log_.restart();
    log_.silent = false;
    cfg.gpscstatusfile = std::string(132, ' ');
    load_constellation_status(cfg, t, log_);
    EXPECT_EQ(captured_.lines(), (std::vector<std::string>{" ERROR: opening gpsconsstatus.lst ",
                                                           " GPS Constellation Status: "}));
    EXPECT_EQ(t.isvmax, -99);
}

} // namespace
