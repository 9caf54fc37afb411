// GPS week and UTC of an epoch, the transmit epoch, the vehicle behind a PRN, and the precise-orbit
// interpolation against a Lagrange polynomial evaluated here in long double over the window the rule
// prescribes (the calendar, leap seconds and sidereal time are compared with ERFA in models/).
#include <gtest/gtest.h>
#include <quadmath.h>

#include <cmath>

#include "auxfiles/constellation_status.hpp"
#include "orbits/precise.hpp"
#include "orbits/timescales.hpp"
#include "orbits/transmit.hpp"
#include "support/support.hpp"

using namespace quelmar;
using namespace quelmar::orbits;
using namespace quelmar::test;

namespace {
constexpr double c_light = 299792458.0, pi = 3.14159265358979323846;
}

// Week, day and second of week count continuously from 1980-01-06 (no 1024-week rollover); UTC is GPS
// time minus GPS-UTC, taken from an LEA message or, at the first epoch without one, from the table
// with a warning in the log.
TEST(TimeScales, GpsWeekAndUtc) {
    struct Case {
        long mjd;
        double sod;
        int week, day;
        double sow;
    } cases[] = {
        {44244, 0, 0, 0, 0},                                    // start of GPS time
        {44250, 86399.5, 0, 6, 6 * 86400 + 86399.5},            // last second of week 0
        {mjd_of(1999, 8, 22), 1, 1024, 0, 1},                   // first rollover of the broadcast week
        {mjd_of(2010, 7, 1), 43200, 1590, 4, 4 * 86400 + 43200}, // a Thursday
        {mjd_of(2019, 4, 7), 0.125, 2048, 0, 0.125},
    };
    frame::Constants k;
    for (const Case& c : cases) {
        CapturedLog cap;
        const float128 t = float128(c.mjd) + float128(c.sod) / 86400;
        int leapsec = 17, week = -1, day = -1, ierr = -1;
        bool lea = true;
        double sow = -1, gmst = 0;
        float128 ut = 0;
        tdjmgps_2_tdjmut(t, leapsec, lea, week, day, sow, ut, gmst, ierr, k, cap.log);
        EXPECT_EQ(week, c.week) << c.mjd;
        EXPECT_EQ(day, c.day) << c.mjd;
        EXPECT_NEAR(sow, c.sow, 1e-9) << c.mjd;
        EXPECT_TRUE(fabsq((t - ut) * 86400 - 17) < 1e-20Q) << c.mjd << ": UTC is 17 s behind";
        EXPECT_EQ(cap.text(), "");
    }
    // 2010: GPS-UTC is 15 s (TAI-UTC 34 s since 2009-01-01, minus the 19 s of GPS time).
    CapturedLog cap;
    cap.log.silent = true; // a warning is written all the same
    int leapsec = 0, week = 0, day = 0, ierr = 0;
    bool lea = false;
    double sow = 0, gmst = 0;
    float128 ut = 0;
    const float128 t = float128(mjd_of(2010, 7, 1)) + 0.5Q;
    tdjmgps_2_tdjmut(t, leapsec, lea, week, day, sow, ut, gmst, ierr, k, cap.log);
    EXPECT_TRUE(lea);
    EXPECT_EQ(leapsec, 15);
    EXPECT_TRUE(ut == t - 15.0Q / 86400);
    EXPECT_EQ(cap.text(), " WARNING: leap second computed internally\n         (non available external LEA msg.)\n"
                          "  tdjm,leapsec=  15\n flag is_lea_read  set to .TRUE.\n");
}

// The code measures reception time minus the satellite clock's reading at transmission; a satellite
// clock ahead by dt means the signal left dt earlier: t_tx = t_rx - P/c - dt. The clock polynomial is
// evaluated at reception, then once more at the transmit epoch that gives.
TEST(TransmitTime, PseudorangeAndSatelliteClock) {
    const float128 tobs = 55378.5Q;
    const double pr = 22.0e6, a0 = 1.0e-4, a1 = 1.0e-3; // an exaggerated drift makes the passes visible
    const double tau = pr / c_light;
    const double clk = a0 - a1 * (tau + a0); // at reception a0; at the first transmit estimate this
    float128 ttx = 0;
    double tsec = 0, satclk = 0;
    int ierr = -1;
    transmit_time1(pr, tobs, a0, a1, 0.0, tobs, 43200.0, ttx, tsec, satclk, ierr, frame::Constants{});
    EXPECT_EQ(ierr, 0);
    EXPECT_NEAR(satclk, clk, 1e-15);
    EXPECT_NEAR(tsec, 43200.0 - tau - clk, 1e-9);
    EXPECT_NEAR(static_cast<double>((tobs - ttx) * 86400), tau + clk, 1e-9);
}

// The vehicle behind a PRN on the day of the transmit epoch: both ends of a period belong to it.
TEST(TransmitTime, VehicleOfAPrnOnTheTransmitDay) {
    TempDir dir;
    const std::string file = dir.write("gcs.lst", " 1  89 11 26  10 05 07  2 32\n"
                                                  " 1  10 05 08  30 12 31  7 63\n"
                                                  " 3  96 03 28  14 08 19  2 33\n");
    CapturedLog cap;
    auxfiles::ConstellationStatus gcs;
    int ierr = -1;
    auxfiles::read_gcs(file, gcs, ierr, cap.log);
    ASSERT_EQ(ierr, 0);
    struct Case {
        int prn;
        float128 t;
        int isv, iblock, ierr;
    } cases[] = {
        {1, mjd_of(1989, 11, 26) + 0.0Q, 32, 2, 0},          {1, mjd_of(2010, 5, 7) + 0.99999Q, 32, 2, 0},
        {1, mjd_of(2010, 5, 8) + 0.0Q, 63, 7, 0},            {3, mjd_of(2014, 8, 19) + 0.5Q, 33, 2, 0},
        {3, mjd_of(2014, 8, 20) + 0.0Q, 0, 0, 2},            {3, mjd_of(1996, 3, 28) - 1e-9Q, 0, 0, 2},
        {2, mjd_of(2010, 1, 1) + 0.0Q, 0, 0, 2},
    };
    for (const Case& c : cases) {
        int iblock = -1, isv = -1;
        prn_and_transmit_time_2_sat_block_id1(c.prn, c.t, gcs, iblock, isv, ierr, cap.log);
        EXPECT_EQ(ierr, c.ierr) << c.prn << " " << static_cast<double>(c.t);
        EXPECT_EQ(isv, c.isv) << c.prn << " " << static_cast<double>(c.t);
        EXPECT_EQ(iblock, c.iblock) << c.prn << " " << static_cast<double>(c.t);
    }
}

namespace {

// A day of 15-min records of PRN 7 on a circular 12-h orbit, with a quadratic clock and a pseudo-random
// centimetre on every value so that a wrong window or anchor shows far above the rounding.
class PreciseOrbit : public ::testing::Test {
  protected:
    static constexpr long mjd0 = 54612;
    static constexpr int dt = 900, nrec = 97, prn = 7;
    static constexpr long double r = 26.56e6L, n = 2 * 3.14159265358979323846L / 43082, incl = 0.96L;
    static std::array<long double, 4> orbit(long double s) { // x, y, z (m), clock (s) at s seconds
        const long double u = 0.3L + n * s;
        return {r * cosl(u), r * sinl(u) * cosl(incl), r * sinl(u) * sinl(incl), 1.5e-4L + 2e-11L * s};
    }
    PreciseOrbit() {
        table.tdjms3c_0 = mjd0;
        Rng rng(prn);
        for (int k = 0; k < nrec; ++k) {
            const auto o = orbit(k * dt);
            std::array<float128, auxfiles::ncomp_s3c> c{};
            for (int i = 0; i < 4; ++i) c[i] = float128(o[i] + (i < 3 ? 0.01L : 1e-12L) * (rng.unit() - 0.5));
            c[4] = float128(static_cast<double>(mjd0) + k * dt / 86400.0); // as the reader forms it
            for (int i = 5; i < 9; ++i) c[i] = 0.01Q * i;
            EXPECT_TRUE(table.store(prn, k * dt + 1, c, true));
            ++table.nepochs3c;
        }
    }
    // Degree-9 Lagrange polynomial through records a-4 .. a+5, a = the record at or before the epoch
    // rounded to the second, evaluated at s seconds after the first record.
    std::array<long double, 4> lagrange(long double s) const {
        const long a = static_cast<long>(std::floor(std::round(s) / dt));
        std::array<long double, 4> y{};
        for (long i = a - 4; i <= a + 5; ++i) {
            long double l = 1;
            for (long j = a - 4; j <= a + 5; ++j)
                if (j != i) l *= (s - node(j)) / (node(i) - node(j));
            for (int c = 0; c < 4; ++c) y[c] += l * static_cast<long double>(table.value(prn, int(i * dt + 1), c + 1));
        }
        return y;
    }
    long double node(long k) const {
        return static_cast<long double>((table.value(prn, int(k * dt + 1), 5) - float128(mjd0)) * 86400);
    }
    int posat(long double s, double travel, PreciseFix& fix) {
        PolintWork work;
        return posat_s3e(float128(mjd0) + float128(s) / 86400, travel, prn, dt, table, true, float128(mjd0), fix,
                         work, idegree_polint_s3c, 1e-4, frame::Constants{}, out.log, cap.log);
    }
    auxfiles::PreciseOrbitTable table;
    CapturedLog out, cap;
};

} // namespace

// At record epochs and half a second either side of them (the anchor moves with the rounding to the
// nearest second), inside intervals and near both ends of the table where the window still fits.
TEST_F(PreciseOrbit, AgreesWithLagrangeOverTheWindowOfTheRule) {
    const double travel = 0.075, a = 7.2921151467e-5 * travel; // the Earth turns by a during the travel
    for (const long double s : {9000.0L, 9000.4L, 8999.6L, 8999.4L, 9449.51L, 9450.49L, 9022.125L, 9000.0L + 1e-7L,
                                 9000.0L - 1e-7L, 3600.0L, 82799.0L}) {
        SCOPED_TRACE(static_cast<double>(s));
        PreciseFix fix;
        ASSERT_EQ(posat(s, travel, fix), 0);
        const auto y = lagrange(s);
        // In the frame of the reception epoch the satellite's longitude is smaller by a.
        const long double x = y[0] * cosl(a) + y[1] * sinl(a), yy = -y[0] * sinl(a) + y[1] * cosl(a);
        EXPECT_NEAR(fix.ctx[0], static_cast<double>(x), 1e-6);
        EXPECT_NEAR(fix.ctx[1], static_cast<double>(yy), 1e-6);
        EXPECT_NEAR(fix.ctx[2], static_cast<double>(y[2]), 1e-6);
        EXPECT_NEAR(fix.satclockerror, static_cast<double>(y[3]), 1e-15);
        EXPECT_DOUBLE_EQ(fix.sctx[1], 0.06);
        // Velocity in the Earth-fixed frame of the epoch: the orbit's, to the centimetre noise.
        const long double u = 0.3L + n * s;
        const std::array<double, 3> v = {double(-r * n * sinl(u)), double(r * n * cosl(u) * cosl(incl)),
                                         double(r * n * cosl(u) * sinl(incl))};
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(fix.v[i], v[i], 1e-3) << i;
        // Relativistic clock correction -2 r.v / c: zero on a circular orbit, up to the noise.
        EXPECT_NEAR(fix.dtrel_m, 0.0, 1e-3);
        EXPECT_FALSE(fix.update_orbits);
    }
}

// A window running outside the table's slots asks for newer orbits (1), one reaching past the records
// read finds an empty record (2), an anchor outside the table or on an empty slot is unusable (3). The
// anchor is the whole number of intervals toward zero: up to an interval before the first record it is
// still the first record.
TEST_F(PreciseOrbit, StatusesAtTheEdges) {
    struct Case {
        long double s;
        int status;
    } cases[] = {{3599.0L, 1}, {-0.4L, 1}, {-899.0L, 1}, {82800.0L, 2}, {87300.0L, 3}, {-1000.0L, 3}};
    for (const Case& c : cases) {
        PreciseFix fix;
        EXPECT_EQ(posat(c.s, 0.0, fix), c.status) << static_cast<double>(c.s);
        if (c.status == 1) {
            EXPECT_TRUE(fix.update_orbits);
            EXPECT_EQ(fix.ctx[0], -999.9);
        }
    }
}

// The interpolation's fast path (80-bit evaluation with a certified bound, binary128 when the bound does
// not settle the rounding) against qpolint rounded to 64-bit: 20 000 random epochs of the table, every
// component, bit for bit; then ordinates built to sit on a 64-bit rounding midpoint, exactly or 2^-100
// above it, which only binary128 can round (they must take the slow path and still agree).
TEST_F(PreciseOrbit, FastPathGivesTheBitsOfBinary128) {
    Rng rng(2024);
    const int n = idegree_polint_s3c + 1;
    int fast = 0, slow = 0;
    auto check = [&](const PolintArray& xa, const std::vector<PolintArray>& ya, float128 x) {
        std::vector<double> y(ya.size());
        slow += qpolint_batch_double(xa, ya, n, x, y, out.log, cap.log);
        fast += static_cast<int>(ya.size());
        for (std::size_t s = 0; s < ya.size(); ++s) {
            float128 yq = 0, dy = 0;
            qpolint(xa, ya[s], n, x, yq, dy, out.log, cap.log);
            ASSERT_EQ(y[s], static_cast<double>(yq)) << "set " << s << " at x " << static_cast<double>(x);
        }
    };
    for (int k = 0; k < 20000; ++k) {
        const long a = rng.range(4, nrec - 7);
        const float128 x = float128(mjd0) + (float128(a * dt) + float128(rng.unit() * dt)) / 86400;
        PolintArray xa;
        std::vector<PolintArray> ya(9);
        for (int i = 1; i <= n; ++i) {
            xa(i) = table.value(prn, int((a - 5 + i) * dt + 1), 5);
            for (int c = 0; c < 9; ++c) ya[c](i) = table.value(prn, int((a - 5 + i) * dt + 1), c == 4 ? 1 : c + 1);
        }
        check(xa, ya, x);
    }
    fast -= slow;
    // The fast path serves most sets (about 91 % of the varying ones; the constant 0.08 of the formal
    // errors lies too near a midpoint for its bound and always falls back).
    EXPECT_GT(fast, slow);
    EXPECT_GT(slow, 0);
    // A constant set on a midpoint (1 + 2^-53 lies halfway between 1 and its successor), and just above.
    PolintArray xa;
    std::vector<PolintArray> ya(2);
    for (int i = 1; i <= n; ++i) {
        xa(i) = float128(mjd0) + float128(i * dt) / 86400;
        ya[0](i) = 1 + 0x1p-53Q;
        ya[1](i) = 1 + 0x1p-53Q + 0x1p-100Q;
    }
    const int slow_before = slow;
    check(xa, ya, float128(mjd0) + float128(4.3 * dt) / 86400);
    EXPECT_EQ(slow - slow_before, 2);
}
