// Ray geometry, wind-up and phase centres: hand-computed geometry at the poles, on the equator and at
// the zenith, the single-layer pierce point, the satellite block table, the receiver antenna
// correction and its zenith-angle interpolation, the low-orbit attitude, and the continuity of the
// unwrapped wind-up over passes whose angles cross +-pi.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "auxfiles/pcv.hpp"
#include "models/geometry.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::models;
using quelmar::testing_support::CapturedLog;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kD2r = kPi / 180.0;

frame::Constants test_constants() {
    frame::Constants c;
    c.hionokm1 = 450.0;
    return c;
}

// Geodetic to Cartesian on WGS84 (the closed forward formula, independent of the inverse iteration).
Vec3 geodetic_to_xyz(double lat_deg, double lon_deg, double h) {
    const double a = 6378137.0, b = 6356752.314;
    const double e2 = (a * a - b * b) / (a * a);
    const double phi = lat_deg * kD2r, lam = lon_deg * kD2r;
    const double n = a / std::sqrt(1.0 - e2 * std::sin(phi) * std::sin(phi));
    return {(n + h) * std::cos(phi) * std::cos(lam), (n + h) * std::cos(phi) * std::sin(lam),
            (n * (1.0 - e2) + h) * std::sin(phi)};
}

// Local unit vectors east, north, up at a geodetic latitude/longitude, written out by hand.
struct Enu {
    Vec3 e, n, u;
};
Enu enu_axes(double lat_deg, double lon_deg) {
    const double p = lat_deg * kD2r, l = lon_deg * kD2r;
    return {{-std::sin(l), std::cos(l), 0.0},
            {-std::sin(p) * std::cos(l), -std::sin(p) * std::sin(l), std::cos(p)},
            {std::cos(p) * std::cos(l), std::cos(p) * std::sin(l), std::sin(p)}};
}

Array2<double, 3, maxrec> receivers_with(int irec, const Vec3& r) {
    Array2<double, 3, maxrec> t;
    t.fill(0.0);
    for (int i = 1; i <= 3; ++i) t(i, irec) = r[static_cast<std::size_t>(i - 1)];
    return t;
}

// One call of the ray-geometry entry for receiver slot 1.
RayGeometry ray(const Vec3& rec, const Vec3& sat, AntennaPhaseTable& ap, frame::Log& log, int iprn = 7,
                int iblock = 2, double gmst = 0.0, const Vec3& sun = {0.0, 1.5e11, 0.0}) {
    RayGeometry g;
    const frame::Constants c = test_constants();
    EXPECT_EQ(ray_coordinates_and_windup_and_satphacen1_v2(sat, 1, receivers_with(1, rec), sun, ap, iprn,
                                                           iblock, gmst, false, c, g, log),
              0);
    return g;
}

// ---------------------------------------------------------------------------------------------------
// Elevation, azimuth and receiver coordinates at the poles and on the equator.

struct PlaceCase {
    const char* name;
    double lat, lon, h;   // receiver, geodetic
    double az, el;        // direction of the satellite, degrees
    double slon, slat;    // expected spherical longitude/latitude of the receiver
    double elat_expected; // expected ellipsoidal latitude
};

TEST(RayGeometry, ElevationAzimuthAtPolesAndEquator) {
    const std::vector<PlaceCase> cases = {
        {"north pole", 90.0, 0.0, 120.0, 90.0, 45.0, 0.0, 90.0, 90.0},
        {"north pole, az 200", 90.0, 0.0, 0.0, 200.0, 10.0, 0.0, 90.0, 90.0},
        {"south pole", -90.0, 0.0, 50.0, 30.0, 60.0, 0.0, -90.0, -90.0},
        {"equator lon 0", 0.0, 0.0, 0.0, 0.0, 30.0, 0.0, 0.0, 0.0},
        {"equator lon 90", 0.0, 90.0, 10.0, 270.0, 5.0, 90.0, 0.0, 0.0},
        {"equator lon -90", 0.0, -90.0, 0.0, 135.0, 80.0, 270.0, 0.0, 0.0},
        {"equator lon 180", 0.0, 180.0, 0.0, 359.0, 1.0, 180.0, 0.0, 0.0},
    };
    CapturedLog cl;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Vec3 rec = geodetic_to_xyz(c.lat, c.lon, c.h);
        // At the poles place the receiver exactly on the axis.
        if (std::fabs(c.lat) == 90.0) rec = {0.0, 0.0, c.lat > 0 ? 6356752.314 + c.h : -(6356752.314 + c.h)};
        const double lon_for_axes = std::fabs(c.lat) == 90.0 ? 0.0 : c.lon;
        const Enu ax = enu_axes(c.lat, lon_for_axes);
        const double range = 2.2e7;
        const double ce = std::cos(c.el * kD2r), se = std::sin(c.el * kD2r);
        const double sa = std::sin(c.az * kD2r), ca = std::cos(c.az * kD2r);
        Vec3 sat = rec;
        for (std::size_t i = 0; i < 3; ++i)
            sat[i] += range * (ce * sa * ax.e[i] + ce * ca * ax.n[i] + se * ax.u[i]);

        AntennaPhaseTable ap;
        const RayGeometry g = ray(rec, sat, ap, cl.log);
        EXPECT_NEAR(g.eele0, c.el, 1e-9);
        EXPECT_NEAR(std::remainder(g.eazi0 - c.az, 360.0), 0.0, 1e-9);
        EXPECT_GE(g.eazi0, 0.0);
        EXPECT_LT(g.eazi0, 360.0);
        EXPECT_NEAR(g.dist0, range, 1e-6);
        EXPECT_NEAR(g.elatrec0, c.elat_expected, 1e-12);
        EXPECT_NEAR(g.ehrec0, c.h, 1e-6);
        EXPECT_NEAR(g.slonrec0, c.slon, 1e-12);
        EXPECT_NEAR(g.slatrec0, c.slat, 1e-12);
        EXPECT_NEAR(g.shrec0, norm(rec) - 6371000.0, 1e-9);
        // The unit vectors: Earth-fixed and local describe the same direction.
        EXPECT_NEAR(norm(g.dctxnorm0), 1.0, 1e-15);
        EXPECT_NEAR(g.dctx_enunorm[0], ce * sa, 1e-12);
        EXPECT_NEAR(g.dctx_enunorm[1], ce * ca, 1e-12);
        EXPECT_NEAR(g.dctx_enunorm[2], se, 1e-12);
    }
}

TEST(RayGeometry, SatelliteAtZenith) {
    CapturedLog cl;
    for (const double lat : {-89.0, -45.0, 0.0, 33.3, 60.0, 89.9}) {
        SCOPED_TRACE(lat);
        const Vec3 rec = geodetic_to_xyz(lat, 250.0, 300.0);
        const Vec3 sat = veclin(rec, enu_axes(lat, 250.0).u, 1.0, 2.02e7);
        AntennaPhaseTable ap;
        const RayGeometry g = ray(rec, sat, ap, cl.log);
        EXPECT_NEAR(g.eele0, 90.0, 1e-5); // asin near 1 loses half the digits
        EXPECT_NEAR(g.dctx_enunorm[2], 1.0, 1e-15);
        EXPECT_NEAR(g.elatrec0, lat, 1e-11);
        // The spherical elevation differs from the ellipsoidal one by the deflection of the normal.
        if (std::fabs(lat) > 1.0 && std::fabs(lat) < 89.0) {
            EXPECT_LT(g.sele0, 90.0 - 0.01);
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// Single ionospheric layer.

TEST(RayGeometry, PiercePointAndMappingFactorByHand) {
    const double re = 6371000.0, rion = re + 450e3;
    const Vec3 rec = {re, 0.0, 0.0}; // spherical radius re on the equator at longitude 0
    CapturedLog cl;
    struct Case {
        double elev, gmst;
    };
    for (const Case c : {Case{90.0, 12.5}, Case{30.0, -30.0}, Case{10.0, 355.0}, Case{60.0, 725.0}}) {
        SCOPED_TRACE(c.elev);
        // Direction in the x-z plane: up is +x, towards the pole is +z.
        const Vec3 dir = {std::sin(c.elev * kD2r), 0.0, std::cos(c.elev * kD2r)};
        AntennaPhaseTable ap;
        const RayGeometry g = ray(rec, veclin(rec, dir, 1.0, 2.0e7), ap, cl.log, 7, 2, c.gmst);
        EXPECT_NEAR(g.sele0, c.elev, 1e-6); // asin near 1 at the zenith
        const double q = re * std::cos(c.elev * kD2r) / rion;
        EXPECT_NEAR(g.xmapping_iono, 1.0 / std::sqrt(1.0 - q * q), 1e-12);
        // Triangle centre-receiver-pierce point: the angle at the centre.
        const double psi = 90.0 - c.elev - std::asin(q) / kD2r;
        EXPECT_NEAR(g.xlation, psi, 1e-9);
        EXPECT_NEAR(g.xlonion, 0.0, 1e-9);
        double ra = std::fmod(c.gmst, 360.0);
        if (ra < 0) ra += 360.0;
        EXPECT_NEAR(std::remainder(g.xraion - ra, 360.0), 0.0, 1e-9);
        EXPECT_GE(g.xraion, 0.0);
        EXPECT_LT(g.xraion, 360.0);
    }
}

// ---------------------------------------------------------------------------------------------------
// Satellite phase centre by block.

TEST(SatellitePhaseCentre, BlocksInsideAndOutsideTheTable) {
    const Vec3 x = {1, 0, 0}, y = {0, 1, 0}, z = {0, 0, 1};
    const Vec3 dctx = unit(Vec3{1.0, 2.0, -2.0}); // (1, 2, -2) / 3
    struct Case {
        int iblock;
        int status;
        double expected;
    };
    const double b23 = (0.279 * 1.0 - 1.023 * 2.0) / 3.0;
    const std::vector<Case> cases = {{1, 0, 0.0}, {2, 0, b23}, {3, 0, b23},  {4, 0, 0.0},  {5, 1, 0.0},
                                     {9, 1, 0.0}, {0, 1, 0.0}, {-3, 1, 0.0}, {10, 1, 0.0}, {11, 1, 0.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.iblock);
        CapturedLog cl;
        double satphacen = 123.0; // a previous observation's value must not survive
        EXPECT_EQ(satphacen_correction(dctx, x, y, z, c.iblock, satphacen, cl.log), c.status);
        EXPECT_NEAR(satphacen, c.expected, 1e-15);
        const std::string text = cl.text();
        if (c.status == 0) {
            EXPECT_EQ(text, "");
        } else {
            EXPECT_NE(text.find("ERROR: Block Id. out of range, iblock="), std::string::npos) << text;
            EXPECT_NE(text.find(std::to_string(c.iblock)), std::string::npos) << text;
        }
    }
}

TEST(SatellitePhaseCentre, NominalYawAxesInTheFullCall) {
    // Satellite on the x axis, Sun along +y: z points to the Earth (-x), y = sun x position (-z),
    // x = y x z (+y, towards the Sun's side). Receiver under the satellite: the offset seen along the
    // line of sight is minus the z component.
    CapturedLog cl;
    const Vec3 sat = {26.56e6, 0.0, 0.0}, rec = {6378137.0, 0.0, 0.0};
    const SatelliteAxes ax = nominal_yaw_axes(sat, {0.0, 1.5e11, 0.0});
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(ax.z_gps[i], (Vec3{-1, 0, 0})[i], 1e-15);
        EXPECT_NEAR(ax.y_gps[i], (Vec3{0, 0, -1})[i], 1e-15);
        EXPECT_NEAR(ax.x_gps[i], (Vec3{0, 1, 0})[i], 1e-15);
    }
    for (int iblock : {2, 3}) {
        AntennaPhaseTable ap;
        EXPECT_NEAR(ray(rec, sat, ap, cl.log, 3, iblock).satphacen, -1.023, 1e-12);
    }
    for (int iblock : {1, 4, 7}) {
        AntennaPhaseTable ap;
        EXPECT_EQ(ray(rec, sat, ap, cl.log, 3, iblock).satphacen, 0.0);
    }
    // An off-nadir receiver towards +y sees the x offset too.
    const Vec3 rec2 = {6.0e6, 2.0e6, 0.0};
    AntennaPhaseTable ap;
    const RayGeometry g = ray(rec2, sat, ap, cl.log, 3, 2);
    const Vec3 d = unit(vecsub(sat, rec2));
    EXPECT_NEAR(g.satphacen, 0.279 * d[1] - 1.023 * d[0], 1e-12);
}

// ---------------------------------------------------------------------------------------------------
// Wind-up.

TEST(WindUp, UnwrapBringsTheDifferenceIntoHalfTurn) {
    struct Case {
        double stored, angle, expected;
    };
    const double tp = 2 * kPi;
    const std::vector<Case> cases = {
        {0.0, 0.5, 0.5},
        {3.0, -3.0, 3.0 + (tp - 6.0)},        // across +pi
        {-3.0, 3.0, -3.0 - (tp - 6.0)},       // across -pi
        {10 * tp + 0.1, -0.1, 10 * tp - 0.1}, // many turns kept
        {-7 * tp + 3.1, -3.1, -7 * tp + 3.1 + (tp - 6.2)},
        {0.0, kPi, kPi},
    };
    for (const auto& c : cases) {
        double s = c.stored;
        unwrap_angle(s, c.angle);
        EXPECT_NEAR(s, c.expected, 1e-12) << c.stored << " " << c.angle;
    }
    double s = 1.25;
    unwrap_angle(s, std::nan(""));
    EXPECT_EQ(s, 1.25);
}

// A straight track north of the receiver, from east to west: the direction to the satellite crosses
// north, where the receiver angle atan2(-east, -north) jumps from -pi to +pi. The unwrapped angle must
// go on smoothly below -pi, and the other pairs must not move.
TEST(WindUp, ContinuousAcrossPiOverAFullPassWithPerPairMemory) {
    CapturedLog cl;
    const double lat = 40.0, lon = 15.0;
    const Vec3 rec = geodetic_to_xyz(lat, lon, 200.0);
    const Enu ax = enu_axes(lat, lon);
    const Vec3 sun = {1.4e11, -3.0e10, 2.0e10};
    AntennaPhaseTable ap;
    ap(2, 9, 1) = 0.75; // another receiver, same satellite
    ap(1, 8, 2) = -4.0; // same receiver, another satellite
    const double north = 3.0e6, up = 2.0e7, e_max = 4.0e7;
    const int nstep = 4000;
    double prev_windup = 0, prev_rec = 0, prev_sat = 0;
    double first_rec = 0;
    for (int k = 0; k <= nstep; ++k) {
        const double east = e_max - 2.0 * e_max * k / nstep;
        Vec3 sat = rec;
        for (std::size_t i = 0; i < 3; ++i) sat[i] += east * ax.e[i] + north * ax.n[i] + up * ax.u[i];
        const RayGeometry g = ray(rec, sat, ap, cl.log, 9, 2, 0.0, sun);
        const double a_rec = ap(1, 9, 1), a_sat = ap(1, 9, 2);
        // The stored angles are the instantaneous angles up to whole turns.
        const double inst_rec = std::atan2(-g.dctx_enunorm[0], -g.dctx_enunorm[1]);
        EXPECT_NEAR(std::remainder(a_rec - inst_rec, 2 * kPi), 0.0, 1e-9);
        EXPECT_DOUBLE_EQ(g.windup, a_sat - a_rec);
        if (k == 0) {
            first_rec = a_rec;
            EXPECT_NEAR(a_rec, inst_rec, 1e-12); // first observation starts from the stored zero
        } else {
            ASSERT_LT(std::fabs(a_rec - prev_rec), 0.1) << k;
            ASSERT_LT(std::fabs(a_sat - prev_sat), 0.1) << k;
            ASSERT_LT(std::fabs(g.windup - prev_windup), 0.2) << k;
        }
        prev_windup = g.windup;
        prev_rec = a_rec;
        prev_sat = a_sat;
    }
    // From about -pi/2 (satellite far east) through -pi (north) to about -3pi/2 (far west).
    const double expect_first = std::atan2(-e_max, -north);
    const double expect_last = std::atan2(e_max, -north) - 2 * kPi;
    EXPECT_NEAR(first_rec, expect_first, 1e-9);
    EXPECT_NEAR(prev_rec, expect_last, 1e-9);
    EXPECT_LT(prev_rec, -kPi);
    EXPECT_EQ(ap(2, 9, 1), 0.75);
    EXPECT_EQ(ap(1, 8, 2), -4.0);
    EXPECT_NE(ap(1, 9, 1), 0.0);
    EXPECT_EQ(ap(2, 9, 2), 0.0);

    // The memory is kept: the same pass flown back returns to the start without a turn.
    for (int k = nstep; k >= 0; --k) {
        const double east = e_max - 2.0 * e_max * k / nstep;
        Vec3 sat = rec;
        for (std::size_t i = 0; i < 3; ++i) sat[i] += east * ax.e[i] + north * ax.n[i] + up * ax.u[i];
        ray(rec, sat, ap, cl.log, 9, 2, 0.0, sun);
    }
    EXPECT_NEAR(ap(1, 9, 1), expect_first, 1e-9);
}

// Repeated overhead passes of a circular orbit: over whole revolutions each stored angle changes by
// whole turns only, and never jumps by more than a small step.
TEST(WindUp, CircularOrbitRevolutionsAreWholeTurns) {
    CapturedLog cl;
    const Vec3 rec = geodetic_to_xyz(2.0, 0.0, 0.0);
    const double r = 26.56e6, incl = 55.0 * kD2r;
    AntennaPhaseTable ap;
    const Vec3 sun = {-1.0e11, 1.0e11, 0.3e11};
    const int nrev = 3, nper = 3000;
    double prev[2] = {0, 0};
    double start[2] = {0, 0};
    for (int k = 0; k <= nrev * nper; ++k) {
        const double u = 2 * kPi * k / nper;
        const Vec3 sat = {r * std::cos(u), r * std::sin(u) * std::cos(incl),
                          r * std::sin(u) * std::sin(incl)};
        ray(rec, sat, ap, cl.log, 30, 3, 0.0, sun);
        for (int j = 0; j < 2; ++j) {
            const double a = ap(1, 30, j + 1);
            if (k == 0)
                start[j] = a;
            else
                ASSERT_LT(std::fabs(a - prev[j]), 0.5) << k << " " << j;
            prev[j] = a;
        }
    }
    for (int j = 0; j < 2; ++j) EXPECT_NEAR(std::remainder(prev[j] - start[j], 2 * kPi), 0.0, 1e-9) << j;
}

TEST(WindUp, InvalidSlotsComputeNothing) {
    CapturedLog cl;
    AntennaPhaseTable ap;
    RayGeometry g;
    const frame::Constants c = test_constants();
    const auto recs = receivers_with(1, {6.4e6, 0, 0});
    for (const auto& [irec, iprn] : std::vector<std::pair<int, int>>{{0, 1}, {7, 1}, {1, 0}, {1, 36}})
        EXPECT_EQ(ray_coordinates_and_windup_and_satphacen1_v2({2.6e7, 0, 0}, irec, recs, {0, 1.5e11, 0}, ap,
                                                               iprn, 2, 0.0, false, c, g, cl.log),
                  1);
}

TEST(WindUp, LowOrbitReceiverAngleIsLeftToItsOwnStep) {
    CapturedLog cl;
    AntennaPhaseTable ap;
    ap(4, 12, 1) = 2.0; // set by the low-orbit step of an earlier epoch
    RayGeometry g;
    const frame::Constants c = test_constants();
    const auto recs = receivers_with(4, {7.0e6, 0, 0});
    ASSERT_EQ(ray_coordinates_and_windup_and_satphacen1_v2({2.0e7, 1.0e7, 5.0e6}, 4, recs, {0, 1.5e11, 0}, ap,
                                                           12, 2, 0.0, true, c, g, cl.log),
              0);
    EXPECT_EQ(g.windup, 0.0);
    EXPECT_EQ(ap(4, 12, 1), 2.0);
    EXPECT_NE(ap(4, 12, 2), 0.0);
}

TEST(LowOrbit, CentreOfMassToAntennaAndWindUpByHand) {
    // Receiver on the x axis moving along +y: radial -x... z axis = -x, y axis = z x v = -z,
    // x axis = y x z = +y (along track).
    const Vec3 recxyz = {7.0e6, 0.0, 0.0}, v = {0.0, 7500.0, 0.0};
    Array2<double, maxrec, 3> off;
    off.fill(0.0);
    off(2, 1) = 0.1;
    off(2, 2) = 0.2;
    off(2, 3) = 0.3;
    const Vec3 d = unit(Vec3{1.0, 1.0, 1.0});
    AntennaPhaseTable ap;
    ap(3, 5, 2) = 0.4;
    double add = 0, angle = 0, windup = 0;
    EXPECT_EQ(
        leo_center_of_mass_to_phase_center_and_windup(recxyz, v, d, 2, off, add, angle, ap, 3, 5, windup), 0);
    // c2p = 0.1 (0,1,0) + 0.2 (0,0,-1) + 0.3 (-1,0,0)
    EXPECT_NEAR(add, (-0.3 + 0.1 - 0.2) / std::sqrt(3.0), 1e-15);
    EXPECT_NEAR(angle, 0.75 * kPi, 1e-15); // atan2(-d.y_axis, -d.x_axis) = atan2(1, -1)
    EXPECT_NEAR(ap(3, 5, 1), 0.75 * kPi, 1e-15);
    EXPECT_NEAR(windup, 0.4 - 0.75 * kPi, 1e-15);
    // Next epoch across +-pi: the angle goes on past pi.
    const Vec3 d2 = unit(Vec3{1.0, 0.05, -1.0}); // x axis component -0.05/..., y axis component +1
    leo_center_of_mass_to_phase_center_and_windup(recxyz, v, d2, 2, off, add, angle, ap, 3, 5, windup);
    EXPECT_LT(angle, 0.0);
    EXPECT_GT(ap(3, 5, 1), kPi);
    // A slow Earth-fixed velocity: the Earth's rotation (omega x r = 510 m/s along +y) is taken off and
    // turns the along-track axis round: x axis -y, y axis +z.
    AntennaPhaseTable ap2;
    EXPECT_EQ(leo_center_of_mass_to_phase_center_and_windup(recxyz, {0.0, 400.0, 0.0}, d, 2, off, add, angle,
                                                            ap2, 3, 5, windup),
              0);
    EXPECT_NEAR(add, (-0.3 - 0.1 + 0.2) / std::sqrt(3.0), 1e-15);
    EXPECT_NEAR(angle, std::atan2(-1.0, 1.0), 1e-15);
    EXPECT_EQ(
        leo_center_of_mass_to_phase_center_and_windup(recxyz, v, d, 7, off, add, angle, ap, 3, 5, windup), 1);
    EXPECT_EQ(
        leo_center_of_mass_to_phase_center_and_windup(recxyz, v, d, 0, off, add, angle, ap, 3, 5, windup), 1);
}

// ---------------------------------------------------------------------------------------------------
// Receiver antenna correction.

auxfiles::PcvTable one_antenna() {
    auxfiles::PcvTable pcv;
    auxfiles::PcvAntenna a;
    a.offset = {{{1.0, 2.0, 60.0}, {-1.0, 0.5, 55.0}}};
    for (int n = 0; n < 19; ++n) {
        a.elev[0][static_cast<std::size_t>(n)] = 0.1 * n * n;    // L1: a curve, so that interpolation shows
        a.elev[1][static_cast<std::size_t>(n)] = -2.0 + 0.5 * n; // L2: a line
    }
    pcv.antennas.push_back(a);
    pcv.nant = 1;
    return pcv;
}

TEST(ReceiverAntenna, ZenithAngleInterpolation) {
    const auxfiles::PcvTable pcv = one_antenna();
    struct Case {
        double eele, l1, l2;
    };
    const std::vector<Case> cases = {
        {90.0, 0.0, -2.0},                                                   // zenith: node 1
        {0.0, 0.1 * 18 * 18, -2.0 + 9.0},                                    // horizon: node 19 alone
        {-3.0, 0.1 * 18 * 18, -2.0 + 9.0},                                   // below the horizon: node 19
        {42.5, 0.1 * 81 + (0.1 * 100 - 0.1 * 81) * 0.5, -2.0 + 0.5 * 9.5},   // z = 47.5
        {85.0, 0.1, -1.5},                                                   // z = 5, a node
        {1.0, 0.1 * 289 + (0.1 * 324 - 0.1 * 289) * 0.8, -2.0 + 0.5 * 17.8}, // z = 89
        {std::nan(""), 0.0, -2.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.eele);
        EXPECT_NEAR(receiver_pcv_elevation(pcv, 1, 1, c.eele), c.l1, 1e-12);
        EXPECT_NEAR(receiver_pcv_elevation(pcv, 2, 1, c.eele), c.l2, 1e-12);
        EXPECT_EQ(receiver_pcv_elevation(pcv, 3, 1, c.eele), 0.0);
        EXPECT_EQ(receiver_pcv_elevation(pcv, 1, -999, c.eele), 0.0);
    }
}

TEST(ReceiverAntenna, OffsetEccentricityAndVariationByHand) {
    const auxfiles::PcvTable pcv = one_antenna();
    Array1<std::int32_t, maxrec> iant;
    iant.fill(0);
    iant(3) = 1;
    iant(4) = -999; // no matching antenna type
    Array2<double, maxrec, 3> hen;
    hen.fill(0.0);
    for (int irec : {3, 4}) {
        hen(irec, 1) = 0.1;  // height
        hen(irec, 2) = 0.02; // east
        hen(irec, 3) = 0.03; // north
    }
    const Vec3 d = {1.0 / 3, 2.0 / 3, 2.0 / 3};
    const double eele = std::asin(2.0 / 3) / kD2r; // z = 48.19 deg: between nodes 10 and 11
    const double t = (90.0 - eele - 45.0) / 5.0;
    Array1<double, maxfre> corr;

    receiver_antenna_correction(4, false, 3, d, eele, iant, hen, pcv, corr);
    // L1: east 20+2, north 30+1, up 100+60 mm; L2: east 20+0.5, north 30-1, up 100+55 mm.
    EXPECT_NEAR(corr(1), (22.0 + 2 * 31.0 + 2 * 160.0) / 3 + 8.1 + (10.0 - 8.1) * t, 1e-11);
    EXPECT_NEAR(corr(2), (20.5 + 2 * 29.0 + 2 * 155.0) / 3 + (-2.0 + 0.5 * (9 + t)), 1e-11);
    for (int k = 3; k <= maxfre; ++k) EXPECT_EQ(corr(k), 0.0);

    receiver_antenna_correction(4, false, 4, d, eele, iant, hen, pcv, corr);
    EXPECT_NEAR(corr(1), (20.0 + 2 * 30.0 + 2 * 100.0) / 3, 1e-11);
    EXPECT_NEAR(corr(2), (20.0 + 2 * 30.0 + 2 * 100.0) / 3, 1e-11);

    // Three-frequency data, a low-orbit rover, or an invalid slot: no correction at all.
    corr.fill(5.0);
    receiver_antenna_correction(6, false, 3, d, eele, iant, hen, pcv, corr);
    for (int k = 1; k <= maxfre; ++k) EXPECT_EQ(corr(k), 0.0);
    corr.fill(5.0);
    receiver_antenna_correction(4, true, 3, d, eele, iant, hen, pcv, corr);
    for (int k = 1; k <= maxfre; ++k) EXPECT_EQ(corr(k), 0.0);
    receiver_antenna_correction(4, false, 0, d, eele, iant, hen, pcv, corr);
    for (int k = 1; k <= maxfre; ++k) EXPECT_EQ(corr(k), 0.0);
}

TEST(GeometryVectors, RotationsAndProducts) {
    // rot3(a) then rot1(b) with a = pi/2 + lon, b = pi/2 - lat gives the east, north, up rows.
    const double lat = 37.0, lon = -122.0;
    const Mat3 m = mpro(rot1(kPi / 2 - lat * kD2r), rot3(kPi / 2 + lon * kD2r));
    const Enu ax = enu_axes(lat, lon);
    for (std::size_t j = 0; j < 3; ++j) {
        EXPECT_NEAR(m[0][j], ax.e[j], 1e-15);
        EXPECT_NEAR(m[1][j], ax.n[j], 1e-15);
        EXPECT_NEAR(m[2][j], ax.u[j], 1e-15);
    }
    const Vec3 a = {1, 2, 3}, b = {-4, 0.5, 2};
    const Vec3 c = vecpro(a, b);
    EXPECT_DOUBLE_EQ(scapro(c, a), 0.0);
    EXPECT_DOUBLE_EQ(scapro(c, b), 0.0);
    EXPECT_DOUBLE_EQ(c[0], 2.5);
    EXPECT_DOUBLE_EQ(c[1], -14.0);
    EXPECT_DOUBLE_EQ(c[2], 8.5);
    Vec3 u = {3, 4, 12};
    Vec3 un;
    EXPECT_DOUBLE_EQ(normvec(u, un), 13.0);
    normvec1(u);
    EXPECT_EQ(u, un);
}

} // namespace
