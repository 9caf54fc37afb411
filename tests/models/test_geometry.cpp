// Ray geometry beyond what ERFA gives: the single-layer pierce point and mapping factor, the sign of the
// carrier-phase wind-up and the receiver antenna correction, each against a construction or a value
// worked out by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "auxfiles/pcv.hpp"
#include "frame/constants.hpp"
#include "models/geometry.hpp"
#include "support/support.hpp"

using namespace quelmar;
using namespace quelmar::models;

namespace {

constexpr double deg = 3.14159265358979323846 / 180;

RayGeometry ray(const Vec3& rec, const Vec3& sat, const Vec3& sun, double gmst = 0) {
    frame::Constants k;
    k.hionokm1 = 450;
    Array2<double, 3, maxrec> recxyz0_;
    for (int c = 1; c <= 3; ++c) recxyz0_(c, 1) = rec[static_cast<std::size_t>(c - 1)];
    AntennaPhaseTable ap;
    RayGeometry g;
    frame::Log log;
    EXPECT_EQ(ray_coordinates_and_windup_and_satphacen1_v2(sat, 1, recxyz0_, sun, ap, 5, 2, gmst, false, k, g, log),
              0);
    return g;
}

} // namespace

// The pierce point is where the ray meets the sphere of radius re + 450 km, found here by solving
// |rec + s d|^2 = (re + h)^2 for s; the mapping factor is 1/cos of the ray's zenith angle there.
TEST(Geometry, IonosphericPiercePointAndMappingFactor) {
    const double re = 6371000, rion = re + 450e3;
    const Vec3 rec{re * std::cos(40 * deg), 0, re * std::sin(40 * deg)};
    const Vec3 up = unit(rec), north{-std::sin(40 * deg), 0, std::cos(40 * deg)}, east{0, 1, 0};
    for (const double ele : {90.0, 89.9, 60.0, 30.0, 10.0, 2.0}) {
        for (const double azi : {0.0, 135.0}) {
            const Vec3 h = veclin(north, east, std::cos(azi * deg), std::sin(azi * deg));
            const Vec3 d = veclin(up, h, std::sin(ele * deg), std::cos(ele * deg));
            const RayGeometry g = ray(rec, veclin(rec, d, 1, 2.2e7), {1.5e11, 0, 0}, 100.0);
            const double b = scapro(rec, d), s = -b + std::sqrt(b * b - scapro(rec, rec) + rion * rion);
            const Vec3 p = veclin(rec, d, 1, s);
            EXPECT_NEAR(g.xmapping_iono, rion / scapro(p, d), 1e-9) << ele;
            EXPECT_NEAR(g.xlation, std::asin(p[2] / rion) / deg, 1e-9) << ele << " " << azi;
            EXPECT_NEAR(g.xlonion, std::atan2(p[1], p[0]) / deg, 1e-9) << ele << " " << azi;
            EXPECT_NEAR(g.xraion, std::fmod(100.0 + std::atan2(p[1], p[0]) / deg + 360, 360), 1e-9);
            EXPECT_NEAR(g.sele0, ele, 1e-9);
        }
    }
}

// Wind-up = satellite antenna angle - receiver antenna angle. Satellite at (R, 0, 0) with the Sun along
// +y: its body axes are x = +y, y = -z, z = -x, and the direction to a receiver at (xr, yr, zr) lies at
// atan2(-zr, yr) in its x-y plane. For a receiver at 5 S, 5 W (yr = -553.8 km, zr = -552.2 km) that is
// 135.08 deg; the satellite is seen to the north-east (east 2314.9 km, north 2302.4 km), so the receiver
// angle atan2(-east, -north) is -134.84 deg: the wind-up is 269.92 deg = 4.7111 rad.
TEST(Geometry, WindUpIsSatelliteMinusReceiverAngle) {
    const double a = 6378137.0, e2 = 1 - std::pow(6356752.314 / a, 2), s5 = std::sin(5 * deg), c5 = std::cos(5 * deg);
    const double n = a / std::sqrt(1 - e2 * s5 * s5);
    const Vec3 rec{n * c5 * c5, -n * c5 * s5, -n * (1 - e2) * s5};
    const RayGeometry g = ray(rec, {26.56e6, 0, 0}, {0, 1.5e11, 0});
    EXPECT_NEAR(g.windup, 4.7111, 2e-4);
}

// Receiver antenna correction of L1 and L2 on a ray at elevation 52 deg towards north: offsets (north,
// east, up) plus the eccentricity (up 0.1 m) projected on (east, north, up) = (0, cos 52, sin 52), plus
// the variation interpolated at zenith angle 38 deg, 3/5 of the way from the 35 to the 40 deg node.
// L1 (nodes i^2 mm): 1 * 0.615661 + 160 * 0.788011 + 64 + (81 - 64) * 0.6 = 200.8974 mm;
// L2 (nodes -i mm):  3 * 0.615661 + 140 * 0.788011 - 8 - (9 - 8) * 0.6 = 103.5685 mm.
TEST(Geometry, ReceiverAntennaCorrection) {
    auxfiles::PcvTable pcv;
    pcv.nant = 1;
    pcv.antennas.resize(1);
    pcv.antennas[0].offset = {{{1, 2, 60}, {3, -4, 40}}};
    for (int i = 1; i <= auxfiles::pcv_nelev; ++i) {
        pcv.antennas[0].elev[0][static_cast<std::size_t>(i - 1)] = i * i;
        pcv.antennas[0].elev[1][static_cast<std::size_t>(i - 1)] = -i;
    }
    Array1<std::int32_t, maxrec> iant;
    iant.fill(0);
    iant(3) = 1;
    Array2<double, maxrec, 3> hen;
    hen.fill(0);
    hen(3, 1) = 0.1;
    Array1<double, maxfre> corr;
    receiver_antenna_correction(4, false, 3, {0, std::cos(52 * deg), std::sin(52 * deg)}, 52.0, iant, hen, pcv, corr);
    EXPECT_NEAR(corr(1), 200.8974, 1e-4);
    EXPECT_NEAR(corr(2), 103.5685, 1e-4);
    EXPECT_EQ(corr(3), 0.0);
}
