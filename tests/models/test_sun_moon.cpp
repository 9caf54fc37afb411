// Unit tests of the astronomical routines and of the Sun/Moon entry points: angle wrapping, epoch
// conversions, rotation conventions, and published or independently computed test values (Meeus,
// "Astronomical Algorithms" examples; ERFA's pmat76 and plan94, evaluated once and quoted here).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "frame/constants.hpp"
#include "frame/stop.hpp"
#include "models/astro.hpp"
#include "models/sun_moon.hpp"
#include "orbits/timescales.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::models;
using namespace quelmar::testing_support;

namespace {

constexpr double pi = std::numbers::pi;
constexpr double as2rad = pi / 648000.0;
constexpr double deg = pi / 180.0;

TEST(Astro, JulianEpochAndTtMinusUt) {
    EXPECT_DOUBLE_EQ(sla_epj(51544.5), 2000.0);
    EXPECT_DOUBLE_EQ(sla_epj(51544.5 + 365.25 * 40.0), 2040.0);
    EXPECT_DOUBLE_EQ(sla_epj(15019.81352), 2000.0 + (15019.81352 - 51544.5) / 365.25);
    // Values of the parabolas, and continuity where the pieces meet.
    EXPECT_NEAR(sla_dt(2000.0), 5.156 + 13.3066 * 1.81 * 1.81, 1e-12);
    EXPECT_NEAR(sla_dt(1800.0), 5.156 + 13.3066 * 0.19 * 0.19, 1e-12);
    EXPECT_NEAR(sla_dt(1500.0), 25.5 * 9.0, 1e-12);
    EXPECT_NEAR(sla_dt(500.0), 1360.0 + (320.0 - 13.0 * 44.3) * -13.0, 1e-9);
    for (double b : {1708.185161980887, 979.0258204760233})
        EXPECT_NEAR(sla_dt(b - 1e-9), sla_dt(b + 1e-9), 1e-3) << b;
}

TEST(Astro, AngleWrappingAndSpherical) {
    struct Case {
        double in, out;
    } cases[] = {
        {0.0, 0.0}, {-0.1, 2 * pi - 0.1}, {7.0, 7.0 - 2 * pi}, {-4 * pi - 1.0, 2 * pi - 1.0}, {2 * pi, 0.0}};
    for (const auto& c : cases) EXPECT_NEAR(sla_dranrm(c.in), c.out, 1e-12) << c.in;
    for (double a : {-1e3, -7.5, -1e-300, 3.0, 1e6}) {
        const double w = sla_dranrm(a);
        EXPECT_GE(w, 0.0) << a;
        EXPECT_LT(w, 2 * pi) << a;
    }
    double a = 9, b = 9;
    sla_dcc2s({0, 0, 0}, a, b);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(b, 0.0);
    sla_dcc2s({0, 0, 5}, a, b);
    EXPECT_EQ(a, 0.0);
    EXPECT_NEAR(b, pi / 2, 1e-15);
    sla_dcc2s({0, -2, 0}, a, b);
    EXPECT_NEAR(a, -pi / 2, 1e-15);
    EXPECT_NEAR(sla_dranrm(a), 1.5 * pi, 1e-15);
    sla_dcc2s({-1, 0, -1}, a, b);
    EXPECT_NEAR(a, pi, 1e-15);
    EXPECT_NEAR(b, -pi / 4, 1e-15);
}

TEST(Astro, RotationsTurnTheFrame) {
    // A frame rotation by +theta about z makes the x axis appear at -theta.
    Mat3 r{};
    sla_deuler("Z", 0.3, 0, 0, r);
    Vec3 v{};
    sla_dmxv(r, {1, 0, 0}, v);
    EXPECT_NEAR(v[0], std::cos(0.3), 1e-15);
    EXPECT_NEAR(v[1], -std::sin(0.3), 1e-15);
    // Successive rotations: "XZ" equals Z(theta) x X(phi); lower case axes and a stop character.
    Mat3 rx{}, rz{}, prod{}, both{}, lower{};
    sla_deuler("X", 0.2, 0, 0, rx);
    sla_deuler("Z", 0.7, 0, 0, rz);
    sla_dmxm(rz, rx, prod);
    sla_deuler("XZ", 0.2, 0.7, 0.0, both);
    sla_deuler("xz.y", 0.2, 0.7, 1.0, lower);
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) {
            EXPECT_NEAR(both[i][j], prod[i][j], 1e-15);
            EXPECT_NEAR(lower[i][j], prod[i][j], 1e-15);
        }
}

TEST(Astro, PrecessionIau1976) {
    Mat3 r{};
    sla_prec(2000.0, 2000.0, r);
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(r[i][j], i == j ? 1.0 : 0.0, 1e-15);
    // ERFA pmat76 at MJD 62502.0 (TT), from J2000.
    const Mat3 erfa = {{{9.9997324542132182e-01, -6.7090660386909086e-03, -2.9149398685419429e-03},
                        {6.7090660372211373e-03, 9.9997749391537860e-01, -9.7788970647396267e-06},
                        {2.9149398719247885e-03, -9.7778886381078735e-06, 9.9999575150594311e-01}}};
    sla_prec(2000.0, sla_epj(62502.0), r);
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(r[i][j], erfa[i][j], 1e-14) << i << j;
    // There and back from a non-J2000 epoch.
    Mat3 fwd{}, back{}, prod{};
    sla_prec(1950.0, 2035.0, fwd);
    sla_prec(2035.0, 1950.0, back);
    sla_dmxm(back, fwd, prod);
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(prod[i][j], i == j ? 1.0 : 0.0, 1e-12);
}

TEST(Astro, NutationIau1980) {
    // Meeus, Astronomical Algorithms, example 22.a: 1987 April 10, 0h TD.
    double dpsi = 0, deps = 0, eps0 = 0;
    sla_nutc(46895.0, dpsi, deps, eps0);
    EXPECT_NEAR(dpsi / as2rad, -3.788, 0.01);
    EXPECT_NEAR(deps / as2rad, 9.443, 0.01);
    EXPECT_NEAR(eps0 / as2rad, 23 * 3600.0 + 26 * 60.0 + 27.407, 0.001);
    // ERFA nut80 and obl80 at the same epoch.
    EXPECT_NEAR(dpsi, -1.8363890684754518e-05, 1e-15);
    EXPECT_NEAR(deps, 4.577836400510259e-05, 1e-15);
    EXPECT_NEAR(eps0, 0.40912169604580345, 1e-15);
    // The nutation matrix is a rotation close to the identity.
    Mat3 n{};
    sla_nut(46895.0, n);
    Vec3 v{};
    sla_dmxv(n, {1, 0, 0}, v);
    EXPECT_NEAR(v[1], dpsi * std::cos(eps0), 1e-9);
    EXPECT_NEAR(v[2], dpsi * std::sin(eps0), 1e-9);
}

TEST(Astro, ObserverOnTheIau1976Ellipsoid) {
    constexpr double au_m = 1.49597870e11;
    double r = 0, z = 0;
    sla_geoc(0.0, 0.0, r, z);
    EXPECT_NEAR(r * au_m, 6378140.0, 1e-6);
    EXPECT_EQ(z, 0.0);
    sla_geoc(pi / 2, 100.0, r, z);
    EXPECT_NEAR(r * au_m, 0.0, 1e-6);
    EXPECT_NEAR(z * au_m, 6378140.0 * (1.0 - 1.0 / 298.257) + 100.0, 1e-6);
    PV6 pv{};
    sla_pvobs(0.0, 0.0, pi / 2, pv);
    EXPECT_NEAR(pv[0] * au_m, 0.0, 1e-6);
    EXPECT_NEAR(pv[1] * au_m, 6378140.0, 1e-6);
    EXPECT_NEAR(pv[3] * au_m, -6378140.0 * 7.292115855306589e-5, 1e-9); // eastward, about 465 m/s
}

// Ecliptic longitude, latitude (mean equinox of date) of an equatorial vector of date.
void to_ecliptic(const Vec3& p, double date, double& lon, double& lat) {
    double dpsi = 0, deps = 0, eps0 = 0;
    sla_nutc(date, dpsi, deps, eps0);
    const Vec3 e = {p[0], p[1] * std::cos(eps0) + p[2] * std::sin(eps0),
                    -p[1] * std::sin(eps0) + p[2] * std::cos(eps0)};
    sla_dcc2s(e, lon, lat);
    lon = sla_dranrm(lon);
}

TEST(Astro, MoonAgainstPublishedExample) {
    // Meeus, Astronomical Algorithms, example 47.a: 1992 April 12, 0h TD: geocentric longitude
    // 133.162655 deg (mean equinox of date, without nutation), latitude -3.229126 deg, 368409.7 km.
    PV6 pv{};
    sla_dmoon(48724.0, pv);
    double lon = 0, lat = 0;
    to_ecliptic({pv[0], pv[1], pv[2]}, 48724.0, lon, lat);
    EXPECT_NEAR(lon / deg, 133.162655, 20.0 / 3600.0);
    EXPECT_NEAR(lat / deg, -3.229126, 10.0 / 3600.0);
    EXPECT_NEAR(std::sqrt(pv[0] * pv[0] + pv[1] * pv[1] + pv[2] * pv[2]) * au_km, 368409.7, 30.0);
    // The velocity is the rate of the position: about 1 km/s.
    PV6 later{}, earlier{};
    sla_dmoon(48724.0 + 600.0 / 86400.0, later);
    sla_dmoon(48724.0 - 600.0 / 86400.0, earlier);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR((later[i] - earlier[i]) / 1200.0, pv[i + 3], 1e-14);
    const double speed = std::sqrt(pv[3] * pv[3] + pv[4] * pv[4] + pv[5] * pv[5]) * au_km;
    EXPECT_GT(speed, 0.9);
    EXPECT_LT(speed, 1.1);
}

TEST(Astro, EarthAgainstPublishedSun) {
    // Meeus, Astronomical Algorithms, example 25.a: 1992 October 13.0 TD, the Sun's geometric
    // longitude 199.90988 deg (mean equinox of date), radius vector 0.99766 AU.
    PV6 pv{};
    sla_earth(1992, 287, 0.0, pv);
    double lon = 0, lat = 0;
    to_ecliptic({-pv[0], -pv[1], -pv[2]}, 48908.0, lon, lat);
    EXPECT_NEAR(lon / deg, 199.90988, 40.0 / 3600.0);
    EXPECT_NEAR(std::sqrt(pv[0] * pv[0] + pv[1] * pv[1] + pv[2] * pv[2]), 0.99766, 2e-4);
    EXPECT_NEAR(std::sqrt(pv[3] * pv[3] + pv[4] * pv[4] + pv[5] * pv[5]) * au_km, 29.9, 0.6); // km/s
    // Day counting across a leap year's end: 31 December of a leap year is day 366, next to 1 January.
    PV6 a{}, b{};
    sla_earth(2000, 366, 0.999999, a);
    sla_earth(2001, 1, 0.0, b);
    EXPECT_NEAR(a[0], b[0], 1e-6);
    EXPECT_NEAR(a[1], b[1], 1e-6);
}

TEST(Astro, PlanetsSimon1994) {
    struct Case {
        double date;
        int np;
        Vec3 p, v; // AU, AU/day (ERFA plan94)
    } cases[] = {
        {55000.25,
         5,
         {3.6905427227407084, -3.14518480707151, -1.4379823563639431},
         {0.00507218270208198, 0.0054391126591164, 0.00220802064082274}},
        {47000.0,
         3,
         {0.51977272190029, -0.8008388519228692, -0.3472315750946498},
         {0.0145016898384213, 0.00801690734515125, 0.0034760634811352}},
    };
    // Positions agree to rounding. Our velocity is the rate of the theory's position, which includes
    // the secular and periodic terms; ERFA's is the two-body velocity of the mean orbit, a few 1e-4 of
    // the speed away (at most 1 mas in a light-time correction).
    for (const auto& c : cases) {
        PV6 pv{};
        int j = 9;
        sla_planet(c.date, c.np, pv, j);
        EXPECT_EQ(j, 0);
        const double speed = std::sqrt(scapro(c.v, c.v));
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(pv[i], c.p[i], 1e-11) << c.np << " " << i;
            EXPECT_NEAR(pv[i + 3] * 86400.0, c.v[i], 5e-4 * speed) << c.np << " " << i;
        }
    }
    PV6 pv{};
    int j = 9;
    for (int np : {0, 10, -1}) {
        sla_planet(51544.5, np, pv, j);
        EXPECT_EQ(j, -1) << np;
        EXPECT_EQ(pv[0], 0.0);
    }
    sla_planet(51544.5 + 1.5 * 365250.0, 4, pv, j);
    EXPECT_EQ(j, 1);
}

TEST(Astro, PlutoAgainstPublishedExample) {
    // Meeus, Astronomical Algorithms, example 37.a: 1992 October 13.0 TD, heliocentric (ecliptic and
    // equinox J2000) longitude 232.74071 deg, latitude 14.58782 deg, radius vector 29.711111 AU.
    PV6 pv{};
    int j = 9;
    sla_planet(48908.0, 9, pv, j);
    EXPECT_EQ(j, 0);
    const double eps = 84381.448 * as2rad;
    const Vec3 e = {pv[0], pv[1] * std::cos(eps) + pv[2] * std::sin(eps),
                    -pv[1] * std::sin(eps) + pv[2] * std::cos(eps)};
    double lon = 0, lat = 0;
    sla_dcc2s(e, lon, lat);
    EXPECT_NEAR(sla_dranrm(lon) / deg, 232.74071, 1e-4);
    EXPECT_NEAR(lat / deg, 14.58782, 1e-4);
    EXPECT_NEAR(std::sqrt(scapro(e, e)), 29.711111, 1e-5);
    const double speed = std::sqrt(pv[3] * pv[3] + pv[4] * pv[4] + pv[5] * pv[5]) * au_km;
    EXPECT_NEAR(speed, 6.1, 0.3); // km/s near perihelion
    sla_planet(mjd_of(1880, 1, 1), 9, pv, j);
    EXPECT_EQ(j, 1);
}

TEST(Astro, RdplanGeometryOfTheSunAndMoon) {
    double ra = 0, dec = 0, diam = 0, r = 0;
    PV6 v{};
    // Over a year: distances and diameters of the Sun and Moon within their known ranges, right
    // ascension wrapped into [0, 2 pi), declination within the obliquity for the Sun.
    for (int k = 0; k < 73; ++k) {
        const double date = 60000.0 + 5.0 * k + 0.1;
        sla_rdplan_plus(date, 0, 0.3, 0.7, ra, dec, diam, v, r);
        EXPECT_GT(r, 0.983);
        EXPECT_LT(r, 1.0168);
        EXPECT_GE(ra, 0.0);
        EXPECT_LT(ra, 2 * pi);
        EXPECT_LE(std::fabs(dec), 23.45 * deg);
        EXPECT_NEAR(diam / deg, 0.533, 0.01);
        sla_rdplan_plus(date, 3, 0.3, 0.7, ra, dec, diam, v, r);
        EXPECT_GT(r * au_km, 350000.0);
        EXPECT_LT(r * au_km, 410000.0);
        EXPECT_NEAR(diam / deg, 0.52, 0.05);
    }
    // Codes outside 0..9 are the Sun.
    double ra0 = 0, dec0 = 0;
    sla_rdplan_plus(60000.3, 0, 1.0, -0.5, ra0, dec0, diam, v, r);
    for (int np : {-1, 10, 99}) {
        sla_rdplan_plus(60000.3, np, 1.0, -0.5, ra, dec, diam, v, r);
        EXPECT_EQ(ra, ra0);
        EXPECT_EQ(dec, dec0);
    }
    // A planet: Jupiter is 4 to 6.5 AU away.
    sla_rdplan_plus(60000.3, 5, 1.0, -0.5, ra, dec, diam, v, r);
    EXPECT_GT(r, 3.9);
    EXPECT_LT(r, 6.5);
}

TEST(SunMoon, SiderealTimeOfDayOfYear) {
    // At J2000.0 (2000, day 1, 12h UT) the expression gives 18.697374558 h.
    double s = 0;
    yyddut2sid(2000, 1, 12.0, s);
    EXPECT_NEAR(s, 18.697374558, 1e-8);
    // Always in [0, 24), and consistent with the IAU 1982 routine of the time scales.
    for (int y : {1901, 1980, 2024, 2099})
        for (double ut : {0.0, 5.5, 23.99}) {
            yyddut2sid(y, 100, ut, s);
            EXPECT_GE(s, 0.0);
            EXPECT_LT(s, 24.0);
            double mjd = 0;
            orbits::yydoy2mjd(y, 100, ut / 24.0, mjd);
            EXPECT_NEAR(s * pi / 12.0, orbits::sla_gmst(mjd), 1e-8) << y << " " << ut;
        }
    // The rotation keeps z and lengths, and turns the Greenwich meridian of date onto x.
    double x = 3.0, y = 4.0, z = 5.0;
    sub_eq2wgs_yydd(2020, 50, 6.0, x, y, z);
    EXPECT_NEAR(x * x + y * y, 25.0, 1e-12);
    EXPECT_EQ(z, 5.0);
    yyddut2sid(2020, 50, 6.0, s);
    x = std::cos(s * pi / 12.0), y = std::sin(s * pi / 12.0), z = 0.0;
    sub_eq2wgs_yydd(2020, 50, 6.0, x, y, z);
    EXPECT_NEAR(x, 1.0, 1e-12);
    EXPECT_NEAR(y, 0.0, 1e-12);
}

TEST(SunMoon, SubSunMoonDistancesAndMoonEpoch) {
    for (int doy = 1; doy <= 365; doy += 13) {
        double xs = 0, ys = 0, zs = 0, xm = 0, ym = 0, zm = 0;
        sub_sun_moon(2015, doy, 0.3, xs, ys, zs, xm, ym, zm);
        const double ds = std::sqrt(xs * xs + ys * ys + zs * zs), dm = std::sqrt(xm * xm + ym * ym + zm * zm);
        EXPECT_GT(ds, 1.47e8);
        EXPECT_LT(ds, 1.522e8);
        EXPECT_GT(dm, 3.5e5);
        EXPECT_LT(dm, 4.1e5);
        EXPECT_LE(std::fabs(zs / ds), std::sin(23.45 * deg));
        // The Moon is the mean-of-date Meeus Moon at the MJD of the day, turned by the sidereal time.
        double mjd = 0;
        orbits::yydoy2mjd(2015, doy, 0.3, mjd);
        PV6 pv{};
        sla_dmoon(mjd, pv);
        EXPECT_NEAR(zm, pv[2] * au_km, 1e-6);
        EXPECT_NEAR(std::hypot(xm, ym), std::hypot(pv[0], pv[1]) * au_km, 1e-6);
    }
}

class SunMoonEntry : public ::testing::Test {
  protected:
    frame::Constants constants;
    CapturedLog captured;
    Array2<double, 3, maxrec> recxyz0_;
    double rasun = 0, xlonsun = 0, decsun = 0, dist = 0;
    Vec3 ctx{};
    int ierr = 9;

    void call(int ip, double mjd, int irec, double gmst) {
        solar_system_object_position_v2(ip, static_cast<float128>(mjd), irec, maxrec, recxyz0_, gmst, rasun,
                                        xlonsun, decsun, dist, ctx, ierr, constants, captured.log);
    }
};

TEST_F(SunMoonEntry, LongitudeIsRightAscensionMinusSiderealTimeWrapped) {
    recxyz0_(1, 1) = 6378137.0; // on the equator at longitude 0
    call(0, 59000.4, 1, 0.0);
    ASSERT_EQ(ierr, 0);
    const double ra = rasun;
    EXPECT_NEAR(xlonsun, ra, 1e-12);
    // Sidereal angle equal to the right ascension: longitude 0 and the Sun in the x-z plane.
    call(0, 59000.4, 1, ra);
    EXPECT_EQ(xlonsun, 0.0);
    EXPECT_NEAR(ctx[1], 0.0, 1e-3);
    EXPECT_GT(ctx[0], 0.0);
    // rasun - gmst = 10 - 350 -> 20; 350 - 10 -> 340 (shifted by the actual right ascension).
    call(0, 59000.4, 1, ra - 10.0 + 350.0);
    EXPECT_NEAR(xlonsun, 20.0, 1e-9);
    call(0, 59000.4, 1, ra - 350.0 + 10.0);
    EXPECT_NEAR(xlonsun, 340.0, 1e-9);
    EXPECT_GE(xlonsun, 0.0);
    // The position lies at the distance along the direction from the receiver.
    const Vec3 d = vecsub(ctx, {recxyz0_(1, 1), recxyz0_(2, 1), recxyz0_(3, 1)});
    EXPECT_NEAR(std::sqrt(scapro(d, d)), dist, 1e-3 * dist * 1e-6);
    EXPECT_NEAR(std::asin(d[2] / dist) / deg, decsun, 1e-9);
}

TEST_F(SunMoonEntry, DistancesOfSunAndMoonOverAYear) {
    recxyz0_(1, 3) = 4000000.0, recxyz0_(2, 3) = -1000000.0, recxyz0_(3, 3) = 4800000.0;
    for (int k = 0; k < 60; ++k) {
        const double mjd = 58849.0 + 6.1 * k + 0.01 * k;
        const double gmst = orbits::sla_gmst(mjd) * 180.0 / constants.pi;
        call(0, mjd, 3, gmst);
        // Perihelion 1.471e11 m, aphelion 1.521e11 m, give or take the receiver's 6400 km.
        EXPECT_GT(dist, 1.4705e11);
        EXPECT_LT(dist, 1.5212e11);
        EXPECT_GE(xlonsun, 0.0);
        EXPECT_LT(xlonsun, 360.0);
        call(3, mjd, 3, gmst);
        EXPECT_GT(dist, 3.50e8); // perigee 356000 km, apogee 407000 km, +- 6400 km
        EXPECT_LT(dist, 4.14e8);
    }
    EXPECT_EQ(captured.text(), "");
}

TEST_F(SunMoonEntry, ObjectCodeOutOfRangeStopsTheRun) {
    recxyz0_(1, 1) = 6378137.0;
    for (int ip : {-1, 10}) {
        ierr = 0;
        try {
            call(ip, 59000.0, 1, 0.0);
            ADD_FAILURE() << "no stop for ip " << ip;
        } catch (const frame::Stop& s) {
            EXPECT_EQ(std::string(s.what()), "ERROR: Solar System Object code ouf of range");
        }
        EXPECT_EQ(ierr, -1);
    }
    // A receiver slot outside the table is refused without reading it.
    for (int irec : {0, maxrec + 1}) {
        rasun = 123.0;
        call(0, 59000.0, irec, 0.0);
        EXPECT_EQ(ierr, -2);
        EXPECT_EQ(rasun, 123.0);
    }
    const std::string log = captured.text();
    EXPECT_NE(log.find("ERROR: Solar System Object code ouf of range"), std::string::npos) << log;
    EXPECT_NE(log.find("ip = "), std::string::npos) << log;
    EXPECT_NE(log.find("beyond [0,9] allowed interval"), std::string::npos) << log;
}

} // namespace
