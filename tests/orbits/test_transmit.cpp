// Transmit epoch and the vehicle behind a PRN.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <cmath>
#include <string>
#include <vector>

#include "auxfiles/constellation_status.hpp"
#include "frame/constants.hpp"
#include "messages/ephemeris.hpp"
#include "orbits/transmit.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::orbits;
using quelmar::testing_support::CapturedLog;

namespace {

constexpr double c_light = 299792458.0;

double seconds(float128 days) {
    return static_cast<double>(days * 86400);
}

struct TransmitResult {
    float128 tdjmobstt = 0;
    double tsecdaytt = 0, satclockerror = 0;
    int ierrtt = -1;
};

TransmitResult run_transmit(double pr, const ClockCoefficients& k, float128 tdjmobs, double tsecdayobs) {
    TransmitResult r;
    frame::Constants constants;
    transmit_time1(pr, k.tdjmtoc, k.clockbias, k.clockdrift, k.clockdriftrate, tdjmobs, tsecdayobs,
                   r.tdjmobstt, r.tsecdaytt, r.satclockerror, r.ierrtt, constants);
    return r;
}

// The clock is evaluated twice: at reception, then at the transmit epoch of the first pass. With an
// exaggerated drift the second value, a third pass and the fixed point all differ measurably, so only
// exactly two passes reproduce the hand-computed value.
TEST(TransmitTime, TwoFixedPassesOfTheClockPolynomial) {
    const float128 tobs = 55378.5Q;
    const double pr = 22.0e6; // m
    const double a0 = 1.0e-4, a1 = 1.0e-3;
    ClockCoefficients k{tobs, a0, a1, 0.0};
    const auto r = run_transmit(pr, k, tobs, 43200.0);

    const double tau = pr / c_light;
    const double clk1 = a0;                     // at reception, dt = 0
    const double clk2 = a0 - a1 * (tau + clk1); // at the first transmit estimate
    const double clk3 = a0 - a1 * (tau + clk2); // what a third pass would give
    EXPECT_EQ(r.ierrtt, 0);
    EXPECT_NEAR(r.satclockerror, clk2, 1e-15);
    EXPECT_GT(std::fabs(r.satclockerror - clk3), 1e-10);
    EXPECT_NEAR(r.tsecdaytt, 43200.0 - tau - clk2, 1e-9);
    EXPECT_NEAR(seconds(tobs - r.tdjmobstt), tau + clk2, 1e-9);
}

// Each coefficient of the polynomial a0 + a1 dt + a2 dt^2 at its place, with toc one hour before the
// reception; the transmit epoch keeps binary128 resolution (a 64-bit MJD resolves only ~1 us).
TEST(TransmitTime, ClockPolynomialTerms) {
    const float128 tobs = 58000.25Q;
    const float128 toc = tobs - 3600.0Q / 86400;
    const double pr = 20.0e6;
    const double tau = pr / c_light;
    struct Case {
        double a0, a1, a2;
    };
    for (const Case& cs :
         std::vector<Case>{{2.5e-4, 0, 0}, {0, 1.0e-11, 0}, {0, 0, 1.0e-15}, {-3e-5, 2e-12, 4e-18}}) {
        const auto r = run_transmit(pr, {toc, cs.a0, cs.a1, cs.a2}, tobs, 21600.0);
        const double dt1 = 3600.0;
        const double clk1 = cs.a0 + cs.a1 * dt1 + cs.a2 * dt1 * dt1;
        const double dt2 = 3600.0 - tau - clk1;
        const double clk2 = cs.a0 + cs.a1 * dt2 + cs.a2 * dt2 * dt2;
        EXPECT_NEAR(r.satclockerror, clk2, 1e-16 + 1e-12 * std::fabs(clk2))
            << cs.a0 << " " << cs.a1 << " " << cs.a2;
        // A nanosecond-level check of the epoch needs binary128: a 64-bit MJD is too coarse.
        EXPECT_NEAR(seconds(tobs - r.tdjmobstt), tau + clk2, 1e-10);
    }
}

// No usable ephemeris: a zero clock, the transmit epoch is reception minus pseudorange / c.
TEST(TransmitTime, ClockCoefficientChoice) {
    messages::EphemerisTable eph;
    const int iprn = 7;
    eph.tdjmtoc_(iprn) = 55378.0Q;
    eph.clockbias_(iprn) = 1.5e-4;
    eph.clockdrift_(iprn) = -2e-12;
    eph.clockdriftrate_(iprn) = 1e-19;
    const float128 tobs = 55378.125Q;

    struct Case {
        bool is_eph_read;
        int ierrre;
        int iprn;
        bool broadcast_used;
    };
    for (const Case& cs : std::vector<Case>{{true, 0, iprn, true},
                                            {false, 0, iprn, false},
                                            {true, 1, iprn, false},
                                            {true, 2, iprn, false},
                                            {true, 0, 0, false},
                                            {true, 0, 36, false}}) {
        eph.ierrre = cs.ierrre;
        const auto k = choose_clock_coefficients(cs.is_eph_read, eph, cs.iprn, tobs);
        if (cs.broadcast_used) {
            EXPECT_TRUE(k.tdjmtoc == eph.tdjmtoc_(iprn));
            EXPECT_EQ(k.clockbias, 1.5e-4);
            EXPECT_EQ(k.clockdrift, -2e-12);
            EXPECT_EQ(k.clockdriftrate, 1e-19);
        } else {
            EXPECT_TRUE(k.tdjmtoc == tobs) << cs.is_eph_read << cs.ierrre << cs.iprn;
            EXPECT_EQ(k.clockbias, 0.0);
            EXPECT_EQ(k.clockdrift, 0.0);
            EXPECT_EQ(k.clockdriftrate, 0.0);
            const double pr = 23456789.0;
            const auto r = run_transmit(pr, k, tobs, 10800.0);
            EXPECT_EQ(r.satclockerror, 0.0);
            EXPECT_NEAR(seconds(tobs - r.tdjmobstt), pr / c_light, 1e-12);
            EXPECT_DOUBLE_EQ(r.tsecdaytt, 10800.0 - pr / c_light);
        }
    }
}

// A table of vehicles: PRN 5 has vehicle 35 (block 2) up to day 55000 and vehicle 50 (block 4) from
// day 55001; PRN 9 lists vehicle 40 (days 54000..56000) before vehicle 41 (54500..57000), which
// overlap; PRN 12 lists the unused slot 60 before vehicle 61; PRN 20 has no vehicle at all.
auxfiles::ConstellationStatus sample_table() {
    auxfiles::ConstellationStatus g;
    auto add = [&g](int prn, int isv, int d0, int d1, int block) {
        g.idjm0_sv(isv) = d0;
        g.idjm1_sv(isv) = d1;
        g.iprn_sv(isv) = prn;
        g.iblock_sv(isv) = block;
        g.iprn2sv(prn, ++g.ksv_prn(prn)) = isv;
        if (isv > g.isvmax) g.isvmax = isv;
    };
    add(5, 35, 50000, 55000, 2);
    add(5, 50, 55001, 60000, 4);
    add(9, 40, 54000, 56000, 3);
    add(9, 41, 54500, 57000, 5);
    add(12, 60, 0, 0, 0);
    add(12, 61, 50000, 60000, 6);
    return g;
}

TEST(VehicleLookup, OutcomesAndLogLines) {
    const auto g = sample_table();
    const std::vector<std::string> found_none = {" ERROR: NO SV found for the given PRN and transmit time"};
    struct Case {
        int iprn;
        float128 tdjm;
        int ierr, isv, iblock;
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        {5, 55000.9999Q, 0, 35, 2, {}}, // end day inclusive
        {5, 55001.0Q, 0, 50, 4, {}},    // next vehicle from its first day
        {5, 50000.0Q, 0, 35, 2, {}},    // first day inclusive
        {5, 60000.5Q, 0, 50, 4, {}},    // last day of the last vehicle
        {9, 55000.5Q, 0, 40, 3, {}},    // overlap: the earlier record wins
        {9, 56500.5Q, 0, 41, 5, {}},    // only the second covers the day
        {12,
         55000.5Q,
         1,
         60,
         0,
         {" ERROR: No SV found compatible with previous routine", " ERROR:   ...  iprn =  12"}},
        {5, 49999.99Q, 2, 0, 0, {found_none[0], "        iprn=  5"}},
        {5, 60001.0Q, 2, 0, 0, {found_none[0], "        iprn=  5"}},
        {20, 55000.5Q, 2, 0, 0, {found_none[0], "        iprn=  20"}},
        {0, 55000.5Q, 2, 0, 0, {found_none[0], "        iprn=  0"}},
        {36, 55000.5Q, 2, 0, 0, {found_none[0], "        iprn=  36"}},
        {5, nanq(""), 2, 0, 0, {found_none[0], "        iprn=  5"}},
        {5, 1.0e30Q, 2, 0, 0, {found_none[0], "        iprn=  5"}},
    };
    for (const auto& cs : cases) {
        CapturedLog cap;
        cap.log.silent = true; // errors are written regardless
        int iblock = -7, isv = -7, ierr = -7;
        prn_and_transmit_time_2_sat_block_id1(cs.iprn, cs.tdjm, g, iblock, isv, ierr, cap.log);
        const double day = static_cast<double>(cs.tdjm);
        EXPECT_EQ(ierr, cs.ierr) << cs.iprn << " " << day;
        EXPECT_EQ(isv, cs.isv) << cs.iprn << " " << day;
        EXPECT_EQ(iblock, cs.iblock) << cs.iprn << " " << day;
        EXPECT_EQ(cap.lines(), cs.log) << cs.iprn << " " << day;
    }
}

// A transmit epoch just before midnight belongs to that day even when the signal is received after
// midnight: the lookup uses the transmit epoch, so the vehicle of the earlier day is found.
TEST(VehicleLookup, TransmitBeforeMidnightReceivedAfter) {
    const auto g = sample_table();
    const float128 tobs = 55001.0Q + 0.05Q / 86400; // 00:00:00.05 on day 55001
    const double pr = 0.075 * c_light;              // 75 ms travel: sent at 23:59:59.975 on day 55000
    const auto r = run_transmit(pr, {tobs, 0, 0, 0}, tobs, 0.05);
    EXPECT_LT(r.tdjmobstt, 55001.0Q);
    EXPECT_NEAR(r.tsecdaytt, -0.025, 1e-12);
    CapturedLog cap;
    int iblock = 0, isv = 0, ierr = -1;
    prn_and_transmit_time_2_sat_block_id1(5, r.tdjmobstt, g, iblock, isv, ierr, cap.log);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(isv, 35);
    EXPECT_EQ(iblock, 2);
    prn_and_transmit_time_2_sat_block_id1(5, tobs, g, iblock, isv, ierr, cap.log);
    EXPECT_EQ(isv, 50); // the reception day would have given the other vehicle
}

// The lookup through a table loaded from a file, as at start-up: several vehicles over a PRN's life.
TEST(VehicleLookup, TableFromFile) {
    testing_support::TempDir dir;
    const std::string path = dir.write("gcs.lst", " 1  89 11 26  10 05 07  2 32\n"
                                                  " 1  10 05 08  30 12 31  7 63\n"
                                                  " 3  96 03 28  14 08 19  2 33\n");
    CapturedLog cap;
    auxfiles::ConstellationStatus g;
    int ierrgcs = -1;
    auxfiles::read_gcs(path, g, ierrgcs, cap.log);
    ASSERT_EQ(ierrgcs, 0);
    struct Case {
        int iprn, y, m, d, isv, iblock, ierr;
    };
    for (const Case& cs : std::vector<Case>{{1, 2010, 5, 7, 32, 2, 0},
                                            {1, 2010, 5, 8, 63, 7, 0},
                                            {1, 2010, 7, 1, 63, 7, 0},
                                            {3, 2010, 7, 1, 33, 2, 0},
                                            {3, 2014, 8, 20, 0, 0, 2}}) {
        int iblock = -1, isv = -1, ierr = -1;
        const float128 t = testing_support::mjd_of(cs.y, cs.m, cs.d) + 0.5Q;
        prn_and_transmit_time_2_sat_block_id1(cs.iprn, t, g, iblock, isv, ierr, cap.log);
        EXPECT_EQ(ierr, cs.ierr) << cs.iprn << " " << cs.y << "-" << cs.m << "-" << cs.d;
        EXPECT_EQ(isv, cs.isv) << cs.iprn << " " << cs.y << "-" << cs.m << "-" << cs.d;
        EXPECT_EQ(iblock, cs.iblock) << cs.iprn << " " << cs.y << "-" << cs.m << "-" << cs.d;
    }
}

} // namespace
