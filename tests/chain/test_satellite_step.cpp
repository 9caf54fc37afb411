// The satellite-position step: two light-time passes, broadcast and precise orbits, range rate, the
// ORBIT record and the failure statuses.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "auxfiles/precise_orbits.hpp"
#include "frame/config.hpp"
#include "messages/ephemeris.hpp"
#include "orbits/broadcast.hpp"
#include "chain/satellite_step.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::orbits;
using namespace quelmar::chain;
using quelmar::testing_support::CapturedLog;

namespace {

constexpr double pi = 3.141592653589793;
constexpr double c_light = 299792458.0;
constexpr double we = 7.2921151467e-5;
constexpr int prn = 1;
constexpr int irec = 2;

// PRN 1 of 2010-07-01 (toe 345600 s of week 1590, that is MJD 55378.0).
messages::EphemerisTable real_record() {
    messages::EphemerisTable eph;
    eph.crs_(prn) = -0.897500000000e+02;
    eph.deltan_(prn) = 0.468055210664e-08;
    eph.xm0_(prn) = -0.307674634178e+01;
    eph.cuc_(prn) = -0.476092100143e-05;
    eph.e_(prn) = 0.483528291807e-02;
    eph.cus_(prn) = 0.545941293240e-05;
    eph.sqrta_(prn) = 0.515480139732e+04;
    eph.toe_(prn) = 0.345600000000e+06;
    eph.cic_(prn) = 0.558793544769e-08;
    eph.omega_upper_(prn) = 0.292603518708e+01;
    eph.cis_(prn) = -0.931322574615e-07;
    eph.xi0_(prn) = 0.965451250348e+00;
    eph.crc_(prn) = 0.278437500000e+03;
    eph.omega_lower_(prn) = 0.884778937154e+00;
    eph.omega_upper_dot_(prn) = -0.813998192006e-08;
    eph.xidot_(prn) = -0.171792870148e-09;
    eph.gpsweektoe_(prn) = 1590;
    return eph;
}

// A receiver that sees the satellite at that time (the satellite is over the southern Atlantic; a
// station in southern Africa).
Array2<double, 3, maxrec> receivers() {
    Array2<double, 3, maxrec> r;
    r.fill(0.0);
    r(1, irec) = 5084625.0;
    r(2, irec) = 2670366.0;
    r(3, irec) = -2768494.0;
    return r;
}

std::array<double, 3> kepler(const messages::EphemerisTable& eph, double t, double trec) {
    std::array<double, 3> ctx{}, v{};
    double dtrel = 0;
    CapturedLog out;
    EXPECT_TRUE(posat4(t, trec, eph.omega_upper_(prn) / pi, eph.xi0_(prn) / pi, eph.omega_lower_(prn) / pi,
                       eph.sqrta_(prn), eph.e_(prn), eph.xm0_(prn) / pi, 345600,
                       eph.omega_upper_dot_(prn) / pi, eph.xidot_(prn) / pi, eph.deltan_(prn) / pi,
                       eph.cic_(prn), eph.cis_(prn), eph.cuc_(prn), eph.cus_(prn), eph.crc_(prn),
                       eph.crs_(prn), ctx, dtrel, v, out.log));
    return ctx;
}

double dist(const std::array<double, 3>& a, const Array2<double, 3, maxrec>& r) {
    return std::sqrt(std::pow(a[0] - r(1, irec), 2) + std::pow(a[1] - r(2, irec), 2) +
                     std::pow(a[2] - r(3, irec), 2));
}

struct Step {
    frame::Config cfg;
    frame::Constants constants;
    bool is_lea_read = false;
    int leapsec = 0;
    messages::EphemerisTable eph = real_record();
    Array2<double, 3, maxrec> rec = receivers();
    models::AntennaPhaseTable phases;
    auxfiles::PreciseOrbitTable s3c;
    PolintWork work;
    SatellitePosition res;
    CapturedLog out, log;

    int run(bool is_eph_read, float128 tdjmobstt, float128 tdjmobs, double satclockerror0, int irec1 = irec) {
        return satellite_position_and_clock_from_navigation_msg_v5b(
            is_eph_read, cfg, is_lea_read, leapsec, prn, eph, tdjmobstt, tdjmobs, irec1, rec, phases, 1,
            satclockerror0, s3c, work, false, res, constants, out.log, log.log);
    }
};

// 10 min after toe, 70 ms of travel: the second pass is the first-pass position rotated by the Earth's
// rotation over the first pass's range / c; broadcast mode gives v = 0, rhodot = 0 and the clock
// supplied by the transmit-time step. The ORBIT record has the layout of its format.
TEST(SatellitePosition, BroadcastTwoPasses) {
    Step s;
    s.cfg.write_orbit = true;
    const float128 tdjmobs = 55378.0Q + 600.0Q / 86400;
    const float128 tdjmobstt = tdjmobs - 0.07Q / 86400;
    ASSERT_EQ(s.run(true, tdjmobstt, tdjmobs, 1.25e-4), 0);
    EXPECT_EQ(s.res.kdist, 2);
    EXPECT_TRUE(s.is_lea_read);
    EXPECT_EQ(s.leapsec, 15);

    const double t = 345600.0 + 600.0 - 0.07;
    const auto p0 = kepler(s.eph, t, t);
    const double tau = dist(p0, s.rec) / c_light;
    const double a = we * tau;
    const std::array<double, 3> want{std::cos(a) * p0[0] + std::sin(a) * p0[1],
                                     -std::sin(a) * p0[0] + std::cos(a) * p0[1], p0[2]};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(s.res.satxyz[k], want[k], 1e-5) << k;
    EXPECT_GT(std::hypot(s.res.satxyz[0] - p0[0], s.res.satxyz[1] - p0[1]), 5.0); // the rotation is metres
    EXPECT_NEAR(s.res.geometry.dist0, dist(s.res.satxyz, s.rec), 1e-6);
    EXPECT_GT(s.res.geometry.eele0, 10.0);
    EXPECT_EQ(s.res.satclockerror, 1.25e-4);
    EXPECT_EQ(s.res.v, (models::Vec3{0, 0, 0}));
    EXPECT_EQ(s.res.rhodot, 0.0);
    EXPECT_TRUE(s.res.tdjmutrt == tdjmobs - 15.0Q / 86400);
    EXPECT_TRUE(s.res.tdjmut == tdjmobstt - 15.0Q / 86400);
    EXPECT_GT(s.res.distsun, 1.4e11);
    EXPECT_GT(s.res.distmoon, 3.0e8);

    char want_line[200];
    std::snprintf(want_line, sizeof want_line, "%12.6f %4d%3d%3d%16.5f%16.5f%16.5f%16.12f F ORBIT",
                  static_cast<double>(tdjmobstt), irec, prn, 2, s.res.satxyz[0], s.res.satxyz[1],
                  s.res.satxyz[2], 1.25e-4);
    EXPECT_EQ(s.out.lines(), std::vector<std::string>{want_line});
}

// Without the switch no record; the leap-second warning is written once per run.
TEST(SatellitePosition, NoOrbitRecordWhenSwitchedOff) {
    Step s;
    const float128 tdjmobs = 55378.25Q;
    ASSERT_EQ(s.run(true, tdjmobs - 0.08Q / 86400, tdjmobs, 0.0), 0);
    ASSERT_EQ(s.run(true, tdjmobs - 0.08Q / 86400, tdjmobs, 0.0), 0);
    EXPECT_EQ(s.out.text(), "");
    int warnings = 0;
    for (const auto& l : s.log.lines())
        warnings += l.find("leap second computed internally") != std::string::npos;
    EXPECT_EQ(warnings, 1);
}

TEST(SatellitePosition, FailureStatuses) {
    {
        Step s; // no ephemeris
        s.is_lea_read = true;
        s.leapsec = 15;
        s.cfg.write_orbit = true;
        EXPECT_EQ(s.run(false, 55378.1Q, 55378.1Q, 0.0), -99);
        EXPECT_EQ(s.log.lines(), std::vector<std::string>{" WARNING: NO EPH available for satellite  1"});
        EXPECT_EQ(s.out.text(), "");
    }
    {
        Step s; // Kepler's equation does not converge
        s.is_lea_read = true;
        s.leapsec = 15;
        s.cfg.write_orbit = true;
        s.eph.e_(prn) = 0.9999999;
        s.eph.xm0_(prn) = 1e-9;
        s.eph.deltan_(prn) = -19964981.843217388 / std::pow(s.eph.sqrta_(prn), 3); // n = 0: M stays tiny
        EXPECT_EQ(s.run(true, 55378.0Q, 55378.0Q, 0.0), 2);
        EXPECT_EQ(s.out.lines(),
                  (std::vector<std::string>{"         ERROR SOLVING THE KEPLER'EQUATION     ",
                                            "  ! ! ! SATELLITE POSITION CALCULATION FAILED ! ! ! "}));
    }
    {
        Step s; // not a receiver slot
        EXPECT_EQ(s.run(true, 55378.1Q, 55378.1Q, 0.0, 0), 3);
        EXPECT_EQ(s.run(true, 55378.1Q, 55378.1Q, 0.0, maxrec + 1), 3);
        EXPECT_EQ(s.out.text(), "");
    }
    {
        Step s; // precise orbits requested, empty table
        s.cfg.precise_instead_of_eph_orbits = true;
        s.cfg.iexpected_dtsec_sp3cfiles = 900;
        s.cfg.dtsec2tol_s3c = 0.01;
        EXPECT_EQ(s.run(true, 55378.1Q, 55378.1Q, 0.0), 1);
    }
}

// Precise mode on a table sampled every 900 s from the broadcast orbit: the interpolated position
// matches the orbit, the velocity is the orbit's, and the range rate is the derivative of the range.
TEST(SatellitePosition, PreciseTableFromBroadcastOrbit) {
    Step s;
    s.cfg.precise_instead_of_eph_orbits = true;
    s.cfg.write_orbit = true;
    s.cfg.iexpected_dtsec_sp3cfiles = 900;
    s.cfg.dtsec2tol_s3c = 0.01;
    const float128 t0 = 55378.0Q - 3.0Q / 24; // three hours before toe
    s.s3c.tdjms3c_0 = t0;
    for (int k = 0; k <= 24; ++k) {
        const double t = 345600.0 - 10800.0 + 900.0 * k;
        const auto p = kepler(s.eph, t, t);
        const std::array<float128, auxfiles::ncomp_s3c> c{p[0], p[1], p[2], 2.0e-4, t0 + 900.0Q * k / 86400,
                                                          0.01, 0.01, 0.01, 1e-10};
        ASSERT_TRUE(s.s3c.store(prn, 900 * k + 1, c, true));
    }
    s.s3c.nepochs3c = 25;
    const float128 tdjmobs = 55378.0Q + 600.0Q / 86400;
    const float128 tdjmobstt = tdjmobs - 0.07Q / 86400;
    ASSERT_EQ(s.run(true, tdjmobstt, tdjmobs, 9.9), 0);
    EXPECT_EQ(s.res.kdist, 2);
    const double t = 345600.0 + 600.0 - 0.07;
    const auto p0 = kepler(s.eph, t, t);
    const double tau = dist(p0, s.rec) / c_light;
    const auto want = kepler(s.eph, t, t + tau); // the same rotation by the Earth over tau
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(s.res.satxyz[k], want[k], 1e-3) << k;
    EXPECT_NEAR(s.res.satclockerror, 2.0e-4, 1e-15);
    const auto pp = kepler(s.eph, t + 1, t + 1), pm = kepler(s.eph, t - 1, t - 1);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(s.res.v[k], (pp[k] - pm[k]) / 2, 1e-3) << k;
    const double rangerate = (dist(pp, s.rec) - dist(pm, s.rec)) / 2;
    EXPECT_GT(std::fabs(rangerate), 10.0);
    EXPECT_NEAR(s.res.rhodot, rangerate, 0.01);
    const auto lines = s.out.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 8), " T ORBIT");
}

} // namespace
