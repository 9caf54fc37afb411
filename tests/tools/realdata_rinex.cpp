// The RINEX readers of the tools on the public observation and navigation files of ../shared/data:
// every epoch and record is read, counts are compared with counts taken from the text by other means
// (grep/awk on the files), a few values with the text itself, and the reading speed is printed.
//
// The test programs are built without zlib, so the compressed files (.rnx.gz) are first expanded with
// gzip into a scratch directory; the tools read them compressed. The Hatanaka-compressed
// ESBC...crx.gz is not read by these readers and is not tested.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../../tools/lib/rinex.hpp"
#include "support/test_support.hpp"

using namespace quelmar::tools::rinex;
using quelmar::testing_support::TempDir;

namespace {

std::string data(const std::string& rel) {
    return std::string(QUELMAR_SHARED_DATA) + "/" + rel;
}

// The plain path of `rel`: as is, or expanded into `dir` when it ends in .gz. Empty when unavailable.
std::string plain(const std::string& rel, const TempDir& dir) {
    const std::string p = data(rel);
    if (!std::filesystem::exists(p)) return {};
    if (p.size() < 3 || p.substr(p.size() - 3) != ".gz") return p;
    const std::string out = dir.path("expanded.txt");
    if (std::system(("gzip -dc '" + p + "' > '" + out + "' 2>/dev/null").c_str()) != 0) return {};
    return out;
}

struct ObsCase {
    const char* rel;
    const char* marker;
    const char* radome;
    std::size_t ntypes; // of system G
    long epochs;        // counted on the text: epoch lines after the header
    long sats;          // sum of the satellite counts of the epoch lines
};

// Counts from `awk` over the epoch lines of each file (and `grep -c '^>'` for version 3).
const ObsCase obs_cases[] = {
    {"rinex/2002-030/bell0300.02o", "BELL", "NONE", 5, 2880, 23241},
    {"rinex/2002-030/ebre0300.02o", "EBRE", "NONE", 5, 2873, 22633},
    {"rinex/2008-148/acor1480.08o", "ACOR", "LEIS", 6, 2880, 29382},
    {"rinex/2008-148/madr1480.08o", "MADR", "NONE", 7, 2880, 26064},
    {"rinex/2008-148/scoa1480.08o", "SCOA", "NONE", 9, 2880, 27234},
    {"rinex/2008-148/sfer1480.08o", "SFER", "NONE", 7, 2878, 30739},
    {"rinex/2020-177/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", "ESBC", "SCIS", 18, 2880, 130799},
};

TEST(RinexRealData, EveryObservationFile) {
    double seconds = 0;
    int files = 0;
    for (const ObsCase& c : obs_cases) {
        SCOPED_TRACE(c.rel);
        TempDir dir;
        const std::string p = plain(c.rel, dir);
        if (p.empty()) {
            std::printf("[  SKIPPED ] %s is absent (or gzip is unavailable)\n", data(c.rel).c_str());
            continue;
        }
        const auto t0 = std::chrono::steady_clock::now();
        ObsReader r;
        long epochs = 0, sats = 0;
        ObsEpoch e;
        ObsEpoch first;
        try {
            r.open(p);
            while (r.next(e)) {
                if (epochs == 0) first = e;
                ++epochs;
                sats += static_cast<long>(e.sats.size());
                EXPECT_EQ(e.flag, 0);
            }
        } catch (const Error& err) {
            ADD_FAILURE() << err.what();
            continue;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++files;
        EXPECT_EQ(r.header().marker, c.marker);
        EXPECT_EQ(r.header().radome, c.radome);
        ASSERT_NE(r.header().types_for('G'), nullptr);
        EXPECT_EQ(r.header().types_for('G')->size(), c.ntypes);
        EXPECT_EQ(epochs, c.epochs);
        EXPECT_EQ(sats, c.sats);
        EXPECT_EQ(r.header().interval, 30.0);
        ASSERT_FALSE(first.sats.empty());
        EXPECT_EQ(first.time.hour, 0);
        EXPECT_EQ(first.time.minute, 0);
    }
    if (files == 0) GTEST_SKIP() << "no observation file of " << QUELMAR_SHARED_DATA << "/rinex is present";
    std::printf("RINEX observation reading: %d station-days in %.3f s, %.1f station-days per second\n", files,
                seconds, files / seconds);
}

// Values of the first epochs checked against the text of the files.
TEST(RinexRealData, ObservationValuesMatchTheText) {
    TempDir dir;
    const std::string bell = plain("rinex/2002-030/bell0300.02o", dir);
    if (bell.empty()) GTEST_SKIP() << "bell0300.02o is absent from " << QUELMAR_SHARED_DATA;
    ObsReader r;
    r.open(bell);
    EXPECT_EQ(r.header().receiver_type, "TRIMBLE 4000SSI");
    EXPECT_EQ(r.header().antenna_model, "TRM29659.00");
    EXPECT_EQ(r.header().antenna_serial, "0220080346");
    EXPECT_DOUBLE_EQ(r.header().approx_xyz[0], 4775849.62);
    EXPECT_DOUBLE_EQ(r.header().delta_hen[0], 0.054);
    EXPECT_EQ(r.header().wavelength_factor[1], 1);
    // " 02  1 30  0  0  0.0000000  0  7 07 04 27 20 01 24 13"
    // "  24111321.349     8313863.354 5   5566499.27045  24111332.8234"
    ObsEpoch e;
    ASSERT_TRUE(r.next(e));
    ASSERT_EQ(e.sats.size(), 7u);
    EXPECT_EQ(e.time.year, 2002);
    EXPECT_EQ(e.sats[0].system, 'G');
    EXPECT_EQ(e.sats[0].prn, 7);
    EXPECT_EQ(e.sats[6].prn, 13);
    const auto& v = e.sats[0].values;
    EXPECT_DOUBLE_EQ(v[0].value, 24111321.349);
    EXPECT_DOUBLE_EQ(v[1].value, 8313863.354);
    EXPECT_EQ(v[1].ssi, 5);
    EXPECT_DOUBLE_EQ(v[2].value, 5566499.270);
    EXPECT_EQ(v[2].lli, 4);
    EXPECT_EQ(v[2].ssi, 5);
    EXPECT_EQ(v[3].lli, 4); // the line ends after the indicator: no strength
    EXPECT_EQ(v[3].ssi, 0);
    EXPECT_FALSE(v[4].present); // no P1

    const std::string esbc = plain("rinex/2020-177/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", dir);
    if (esbc.empty()) GTEST_SKIP() << "the ESBC observation file is absent";
    ObsReader r3;
    r3.open(esbc);
    EXPECT_EQ(r3.header().antenna_model, "ASH701945E_M");
    ASSERT_NE(r3.header().types_for('E'), nullptr);
    EXPECT_EQ(r3.header().types_for('E')->size(), 20u);
    EXPECT_EQ(r3.header().types_for('E')->back(), "S8Q");
    // "C05  40715949.461 5                  40715946.882 6        -2.196 5 ..."
    ASSERT_TRUE(r3.next(e));
    ASSERT_EQ(e.sats.size(), 43u);
    EXPECT_EQ(e.sats[0].system, 'C');
    EXPECT_EQ(e.sats[0].prn, 5);
    EXPECT_DOUBLE_EQ(e.sats[0].values[0].value, 40715949.461);
    EXPECT_EQ(e.sats[0].values[0].ssi, 5);
    EXPECT_FALSE(e.sats[0].values[1].present);
    EXPECT_DOUBLE_EQ(e.sats[0].values[2].value, 40715946.882);
    EXPECT_DOUBLE_EQ(e.sats[0].values[3].value, -2.196);
}

struct NavCase {
    const char* rel;
    long records; // counted on the text: first lines of GPS records
};

const NavCase nav_cases[] = {
    {"rinex/2002-030/brdc0300.02n", 369},
    {"orbits/2010-182/brdc1820.10n", 421},
    {"rinex/2020-177/ESBC00DNK_R_20201770000_01D_MN.rnx.gz", 257},
    {"rinex/2020-177/MOJN00DNK_R_20201770000_01D_MN.rnx.gz", 240},
};

TEST(RinexRealData, EveryNavigationFile) {
    int files = 0;
    for (const NavCase& c : nav_cases) {
        SCOPED_TRACE(c.rel);
        TempDir dir;
        const std::string p = plain(c.rel, dir);
        if (p.empty()) {
            std::printf("[  SKIPPED ] %s is absent (or gzip is unavailable)\n", data(c.rel).c_str());
            continue;
        }
        ++files;
        NavReader r;
        GpsNavRecord g;
        long n = 0;
        try {
            r.open(p);
            while (r.next(g)) {
                ++n;
                EXPECT_TRUE(g.prn >= 1 && g.prn <= 32) << g.prn;
                EXPECT_NEAR(g.orbit[1][3], 5153.7, 5.0) << "sqrt(A) of PRN " << g.prn; // GPS orbit radius
            }
        } catch (const Error& err) {
            ADD_FAILURE() << err.what();
            continue;
        }
        EXPECT_EQ(n, c.records);
    }
    if (files == 0) GTEST_SKIP() << "no navigation file of " << QUELMAR_SHARED_DATA << " is present";
}

TEST(RinexRealData, NavigationValuesMatchTheText) {
    TempDir dir;
    const std::string p = plain("rinex/2002-030/brdc0300.02n", dir);
    if (p.empty()) GTEST_SKIP() << "brdc0300.02n is absent from " << QUELMAR_SHARED_DATA;
    NavReader r;
    r.open(p);
    EXPECT_EQ(r.header().leap_seconds, 13);
    // " 1 02  1 30  0  0  0.0 0.213539693505D-03 0.159161572810D-11 0.000000000000D+00"
    // "    0.101000000000D+03-0.142406250000D+03 0.437161066656D-08-0.313042791004D+01"
    // "    0.253038000000D+06 0.000000000000D+00 0.000000000000D+00 0.000000000000D+00"
    GpsNavRecord g;
    ASSERT_TRUE(r.next(g));
    EXPECT_EQ(g.prn, 1);
    EXPECT_EQ(g.toc.year, 2002);
    EXPECT_DOUBLE_EQ(g.clock[0], 0.213539693505e-03);
    EXPECT_DOUBLE_EQ(g.orbit[0][0], 101.0);
    EXPECT_DOUBLE_EQ(g.orbit[0][3], -0.313042791004e+01);
    EXPECT_DOUBLE_EQ(g.orbit[6][0], 253038.0);

    const std::string p3 = plain("rinex/2020-177/ESBC00DNK_R_20201770000_01D_MN.rnx.gz", dir);
    if (p3.empty()) GTEST_SKIP() << "the ESBC navigation file is absent";
    NavReader r3;
    r3.open(p3);
    EXPECT_EQ(r3.header().leap_seconds, 18);
    // "G01 2020 06 25 04 00 00 1.604342833161e-05 ..." ending "     3.561060000000e+05 4.000000000000e+00"
    ASSERT_TRUE(r3.next(g));
    EXPECT_EQ(g.prn, 1);
    EXPECT_EQ(g.toc.hour, 4);
    EXPECT_DOUBLE_EQ(g.clock[0], 1.604342833161e-05);
    EXPECT_DOUBLE_EQ(g.orbit[6][0], 356106.0);
    EXPECT_DOUBLE_EQ(g.orbit[6][1], 4.0);
    EXPECT_FALSE(g.present[6][2]);
    EXPECT_FALSE(g.present[6][3]);
}

} // namespace
