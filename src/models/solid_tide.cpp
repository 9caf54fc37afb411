// Solid earth tide displacement of a station: see solid_tide.hpp.
//
// Local frame used throughout: phi and lambda are the geocentric latitude and longitude of the
// station; a displacement (dr radial, dn north, de east) is turned into the Earth-fixed frame by
//   x = dr cos(lam) cos(phi) - de sin(lam) - dn sin(phi) cos(lam)
//   y = dr sin(lam) cos(phi) + de cos(lam) - dn sin(phi) sin(lam)
//   z = dr sin(phi)                       + dn cos(phi)
// The expressions keep the grouping of the published model so that the results agree with it to the
// last bits, which is why some products are written out term by term.
#include "models/solid_tide.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

#include "models/sun_moon.hpp"
#include "orbits/timescales.hpp"

namespace quelmar::models {

namespace {

// Nominal (frequency-independent) Love and Shida numbers: degree 2 before its latitude dependence is
// applied, and degree 3.
constexpr double h20 = 0.6078, l20 = 0.0847, h3 = 0.292, l3 = 0.015;

// Ratios GM_sun/GM_earth and GM_moon/GM_earth, and the Earth's equatorial radius (m), as adopted for
// this model (IERS Conventions 2003 values).
constexpr double mass_ratio_sun = 332945.943062;
constexpr double mass_ratio_moon = 0.012300034;
constexpr double re = 6378136.55;

constexpr double deg2rad = 6.283185307179586476925287 / 360.0;

// Earth-fixed vector of a local (radial, north, east) displacement, see the file comment.
struct LocalFrame {
    double sinphi, cosphi, sinla, cosla;
};

LocalFrame local_frame(const Vec3& xsta) {
    const double rsta = norm8(xsta);
    LocalFrame f{};
    f.sinphi = xsta[2] / rsta;
    f.cosphi = std::sqrt(xsta[0] * xsta[0] + xsta[1] * xsta[1]) / rsta;
    f.sinla = xsta[1] / f.cosphi / rsta;
    f.cosla = xsta[0] / f.cosphi / rsta;
    return f;
}

void add_local(const LocalFrame& f, double dr, double dn, double de, Vec3& x) {
    x[0] = x[0] + dr * f.cosla * f.cosphi - de * f.sinla - dn * f.sinphi * f.cosla;
    x[1] = x[1] + dr * f.sinla * f.cosphi + de * f.cosla - dn * f.sinphi * f.sinla;
    x[2] = x[2] + dr * f.sinphi + dn * f.cosphi;
}

// Mean astronomical arguments (degrees) for t Julian centuries of TT since J2000.0: the Moon's mean
// longitude s (with the general precession in longitude added, as the tidal arguments need the
// longitude from the moving equinox), the Sun's mean longitude h, the longitude of the lunar perigee
// p, N' = minus the longitude of the Moon's ascending node, and the longitude of the solar perigee ps.
// tau, the lunar time, is the sidereal angle at hour fhr less the Moon's mean longitude; it is formed
// before the precession is added to s. All are reduced to (-360, 360) as the published model does.
struct TideArguments {
    double tau = 0, s = 0, h = 0, p = 0, zns = 0, ps = 0;
};

TideArguments tide_arguments(double fhr, double t) {
    TideArguments a;
    a.s = 218.31664563 + (481267.88194 + (-0.0014663889 + (0.00000185139) * t) * t) * t;
    a.tau = fhr * 15.0 + 280.4606184 + (36000.7700536 + (0.00038793 + (-0.0000000258) * t) * t) * t + (-a.s);
    const double pr = (1.396971278 + (0.000308889 + (0.000000021 + (0.000000007) * t) * t) * t) * t;
    a.s = a.s + pr;
    a.h = 280.46645 + (36000.7697489 + (0.00030322222 + (0.000000020 + (-0.00000000654) * t) * t) * t) * t;
    a.p =
        83.35324312 + (4069.01363525 + (-0.01032172222 + (-0.0000124991 + (0.00000005263) * t) * t) * t) * t;
    a.zns = 234.95544499 +
            (1934.13626197 + (-0.00207561111 + (-0.00000213944 + (0.00000001650) * t) * t) * t) * t;
    a.ps = 282.93734098 +
           (1.71945766667 + (0.00045688889 + (-0.00000001778 + (-0.00000000334) * t) * t) * t) * t;
    a.s = std::fmod(a.s, 360.0);
    a.tau = std::fmod(a.tau, 360.0);
    a.h = std::fmod(a.h, 360.0);
    a.p = std::fmod(a.p, 360.0);
    a.zns = std::fmod(a.zns, 360.0);
    a.ps = std::fmod(a.ps, 360.0);
    return a;
}

// One tidal constituent of step 2: multipliers of (s, h, p, N', ps) in its argument and four
// amplitudes in millimetres.
struct Constituent {
    double ms, mh, mp, mn, mps;
    double a1, a2, a3, a4;
};

// Diurnal band, IERS Conventions (2003, 2010) Table 7.5a: argument tau + (multipliers) and the
// corrections Delta R (in phase, out of phase) and Delta T (in phase, out of phase), mm. The last two
// rows (3s and 3s + N') have amplitudes below the table's 0.005 mm and contribute nothing.
// clang-format off
constexpr std::array<Constituent, 31> diurnal_table{{
    {-3,  0,  2,  0,  0,  -0.01,   0.00,   0.00,   0.00},
    {-3,  2,  0,  0,  0,  -0.01,   0.00,   0.00,   0.00},
    {-2,  0,  1, -1,  0,  -0.02,   0.00,   0.00,   0.00},
    {-2,  0,  1,  0,  0,  -0.08,   0.00,  -0.01,   0.01},
    {-2,  2, -1,  0,  0,  -0.02,   0.00,   0.00,   0.00},
    {-1,  0,  0, -1,  0,  -0.10,   0.00,   0.00,   0.00},
    {-1,  0,  0,  0,  0,  -0.51,   0.00,  -0.02,   0.03},
    {-1,  2,  0,  0,  0,   0.01,   0.00,   0.00,   0.00},
    { 0, -2,  1,  0,  0,   0.01,   0.00,   0.00,   0.00},
    { 0,  0, -1,  0,  0,   0.02,   0.00,   0.00,   0.00},
    { 0,  0,  1,  0,  0,   0.06,   0.00,   0.00,   0.00},
    { 0,  0,  1,  1,  0,   0.01,   0.00,   0.00,   0.00},
    { 0,  2, -1,  0,  0,   0.01,   0.00,   0.00,   0.00},
    { 1, -3,  0,  0,  1,  -0.06,   0.00,   0.00,   0.00},
    { 1, -2,  0, -1,  0,   0.01,   0.00,   0.00,   0.00},
    { 1, -2,  0,  0,  0,  -1.23,  -0.07,   0.06,   0.01},
    { 1, -1,  0,  0, -1,   0.02,   0.00,   0.00,   0.00},
    { 1, -1,  0,  0,  1,   0.04,   0.00,   0.00,   0.00},
    { 1,  0,  0, -1,  0,  -0.22,   0.01,   0.01,   0.00},
    { 1,  0,  0,  0,  0,  12.00,  -0.80,  -0.67,  -0.03},
    { 1,  0,  0,  1,  0,   1.73,  -0.12,  -0.10,   0.00},
    { 1,  0,  0,  2,  0,  -0.04,   0.00,   0.00,   0.00},
    { 1,  1,  0,  0, -1,  -0.50,  -0.01,   0.03,   0.00},
    { 1,  1,  0,  0,  1,   0.01,   0.00,   0.00,   0.00},
    { 0,  1,  0,  1, -1,  -0.01,   0.00,   0.00,   0.00},
    { 1,  2, -2,  0,  0,  -0.01,   0.00,   0.00,   0.00},
    { 1,  2,  0,  0,  0,  -0.11,   0.01,   0.01,   0.00},
    { 2, -2,  1,  0,  0,  -0.01,   0.00,   0.00,   0.00},
    { 2,  0, -1,  0,  0,  -0.02,   0.00,   0.00,   0.00},
    { 3,  0,  0,  0,  0,   0.00,   0.00,   0.00,   0.00},
    { 3,  0,  0,  1,  0,   0.00,   0.00,   0.00,   0.00},
}};
// clang-format on

// Long-period band, IERS Conventions (2003, 2010) Table 7.5b: multipliers and, in this order,
// Delta R in phase, Delta T in phase, Delta R out of phase, Delta T out of phase, mm.
// clang-format off
constexpr std::array<Constituent, 5> long_period_table{{
    { 0,  0,  0,  1,  0,   0.47,   0.23,   0.16,   0.07},
    { 0,  2,  0,  0,  0,  -0.20,  -0.12,  -0.11,  -0.05},
    { 1,  0, -1,  0,  0,  -0.11,  -0.08,  -0.09,  -0.04},
    { 2,  0,  0,  0,  0,  -0.13,  -0.11,  -0.15,  -0.07},
    { 2,  0,  0,  1,  0,  -0.05,  -0.05,  -0.06,  -0.03},
}};
// clang-format on

// Argument (degrees) of a constituent, accumulated onto start (tau in the diurnal band, 0 for the
// long-period band) in the order of the published sums.
double argument(double start, const Constituent& c, const TideArguments& a) {
    return start + c.ms * a.s + c.mh * a.h + c.mp * a.p + c.mn * a.zns + c.mps * a.ps;
}

// (xb1^2 - xb2^2, 2 xb1 xb2) of a body: the sectorial (order-2) part of its direction.
struct Sectorial {
    double d, m;
};
Sectorial sectorial(const Vec3& xb) {
    return {xb[0] * xb[0] - xb[1] * xb[1], 2.0 * xb[0] * xb[1]};
}

// Radial, north and east parts of a correction (m).
struct Local {
    double dr = 0, dn = 0, de = 0;
};

// A step-1 correction is the sum of its Sun and Moon parts, each given by `body` from the body's
// position, distance and degree-2 factor.
template <class Body>
Local sun_plus_moon(Body body, const Vec3& xsun, const Vec3& xmon, double fac2sun, double fac2mon) {
    const Local s = body(xsun, norm8(xsun), fac2sun), m = body(xmon, norm8(xmon), fac2mon);
    return {s.dr + m.dr, s.dn + m.dn, s.de + m.de};
}

} // namespace

void sprod(const Vec3& x, const Vec3& y, double& scal, double& r1, double& r2) {
    r1 = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    r2 = std::sqrt(y[0] * y[0] + y[1] * y[1] + y[2] * y[2]);
    scal = x[0] * y[0] + x[1] * y[1] + x[2] * y[2];
}

double norm8(const Vec3& a) {
    return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
}

void zero_vec8(Vec3& a) {
    a = {0.0, 0.0, 0.0};
}

// Anelasticity makes the diurnal response lag the potential: the imaginary parts
// h^(0)I = -0.0025, l^(0)I = -0.0007 act on the tesseral (order-1) potential, whose shape is
// z_b (x_b sin lam - y_b cos lam) for the quadrature part.
void st1idiu(const Vec3& xsta, const Vec3& xsun, const Vec3& xmon, double fac2sun, double fac2mon,
             Vec3& xcorsta) {
    constexpr double dhi = -0.0025, dli = -0.0007;
    const LocalFrame f = local_frame(xsta);
    const double cos2phi = f.cosphi * f.cosphi - f.sinphi * f.sinphi;
    auto body = [&](const Vec3& xb, double rb, double fac2) {
        const double q = xb[0] * f.sinla - xb[1] * f.cosla;
        const double c = xb[0] * f.cosla + xb[1] * f.sinla;
        return Local{-3.0 * dhi * f.sinphi * f.cosphi * fac2 * xb[2] * q / (rb * rb),
                     -3.0 * dli * cos2phi * fac2 * xb[2] * q / (rb * rb),
                     -3.0 * dli * f.sinphi * fac2 * xb[2] * c / (rb * rb)};
    };
    const Local d = sun_plus_moon(body, xsun, xmon, fac2sun, fac2mon);
    zero_vec8(xcorsta);
    add_local(f, d.dr, d.dn, d.de, xcorsta);
}

// The same lag in the semi-diurnal band, h^(2)I = -0.0022, l^(2)I = -0.0007, acting on the sectorial
// potential ((x_b^2 - y_b^2), 2 x_b y_b) turned by twice the station longitude.
void st1isem(const Vec3& xsta, const Vec3& xsun, const Vec3& xmon, double fac2sun, double fac2mon,
             Vec3& xcorsta) {
    constexpr double dhi = -0.0022, dli = -0.0007;
    const LocalFrame f = local_frame(xsta);
    const double costwola = f.cosla * f.cosla - f.sinla * f.sinla;
    const double sintwola = 2.0 * f.cosla * f.sinla;
    auto body = [&](const Vec3& xb, double rb, double fac2) {
        const Sectorial g = sectorial(xb);
        const double q = g.d * sintwola - g.m * costwola;
        const double c = g.d * costwola + g.m * sintwola;
        return Local{-3.0 / 4.0 * dhi * (f.cosphi * f.cosphi) * fac2 * q / (rb * rb),
                     3.0 / 2.0 * dli * f.sinphi * f.cosphi * fac2 * q / (rb * rb),
                     -3.0 / 2.0 * dli * f.cosphi * fac2 * c / (rb * rb)};
    };
    const Local d = sun_plus_moon(body, xsun, xmon, fac2sun, fac2mon);
    zero_vec8(xcorsta);
    add_local(f, d.dr, d.dn, d.de, xcorsta);
}

// Transverse displacement from the latitude dependence of the Shida number, l(1) = 0.0012 in the
// diurnal and 0.0024 in the semi-diurnal band (horizontal only: no radial part).
void st1l1(const Vec3& xsta, const Vec3& xsun, const Vec3& xmon, double fac2sun, double fac2mon,
           Vec3& xcorsta) {
    constexpr double l1d = 0.0012, l1sd = 0.0024;
    const LocalFrame f = local_frame(xsta);
    const double sin2 = f.sinphi * f.sinphi, cos2phi = f.cosphi * f.cosphi - f.sinphi * f.sinphi;

    zero_vec8(xcorsta);

    // Diurnal band: the tesseral potential.
    {
        auto body = [&](const Vec3& xb, double rb, double fac2) {
            return Local{0.0, -l1d * sin2 * fac2 * xb[2] * (xb[0] * f.cosla + xb[1] * f.sinla) / (rb * rb),
                         l1d * f.sinphi * cos2phi * fac2 * xb[2] * (xb[0] * f.sinla - xb[1] * f.cosla) / (rb * rb)};
        };
        const Local d = sun_plus_moon(body, xsun, xmon, fac2sun, fac2mon);
        add_local(f, 0.0, 3.0 * d.dn, 3.0 * d.de, xcorsta);
    }

    // Semi-diurnal band: the sectorial potential.
    {
        const double costwola = f.cosla * f.cosla - f.sinla * f.sinla;
        const double sintwola = 2.0 * f.cosla * f.sinla;
        auto body = [&](const Vec3& xb, double rb, double fac2) {
            const Sectorial g = sectorial(xb);
            return Local{0.0, -l1sd / 2.0 * f.sinphi * f.cosphi * fac2 * (g.d * costwola + g.m * sintwola) / (rb * rb),
                         -l1sd / 2.0 * sin2 * f.cosphi * fac2 * (g.d * sintwola - g.m * costwola) / (rb * rb)};
        };
        const Local d = sun_plus_moon(body, xsun, xmon, fac2sun, fac2mon);
        add_local(f, 0.0, 3.0 * d.dn, 3.0 * d.de, xcorsta);
    }
}

// Frequency dependence of h2, l2 across the diurnal band (the free core nutation resonance near
// K1), summed over the constituents of the table. Each has the tesseral pattern: radial
// 2 sin(phi) cos(phi), north cos(2 phi), east sin(phi), phased by (argument + longitude).
void step2diu(const Vec3& xsta, double fhr, double t, Vec3& xcorsta) {
    const TideArguments a = tide_arguments(fhr, t);
    const LocalFrame f = local_frame(xsta);
    const double zla = std::atan2(xsta[1], xsta[0]);
    const double cos2phi = f.cosphi * f.cosphi - f.sinphi * f.sinphi;

    zero_vec8(xcorsta);
    for (const Constituent& c : diurnal_table) {
        const double thetaf = argument(a.tau, c, a) * deg2rad;
        const double sn = std::sin(thetaf + zla), cs = std::cos(thetaf + zla);
        const double dr = c.a1 * 2.0 * f.sinphi * f.cosphi * sn + c.a2 * 2.0 * f.sinphi * f.cosphi * cs;
        const double dn = c.a3 * cos2phi * sn + c.a4 * cos2phi * cs;
        const double de = c.a3 * f.sinphi * cs - c.a4 * f.sinphi * sn;
        add_local(f, dr, dn, de, xcorsta);
    }
    for (double& x : xcorsta) x = x / 1000.0;
}

// Frequency dependence in the long-period band (zonal pattern: radial (3 sin^2(phi) - 1)/2, north
// 2 sin(phi) cos(phi), no east component).
void step2lon(const Vec3& xsta, double t, Vec3& xcorsta) {
    const TideArguments a = tide_arguments(0.0, t);
    const LocalFrame f = local_frame(xsta);
    const double p2 = 3.0 * (f.sinphi * f.sinphi) - 1.0; // twice P2(sin phi)
    const double tess = f.cosphi * f.sinphi * 2.0;

    zero_vec8(xcorsta);
    for (const Constituent& c : long_period_table) {
        const double thetaf = argument(0.0, c, a) * deg2rad;
        const double dr = c.a1 * p2 / 2.0 * std::cos(thetaf) + c.a3 * p2 / 2.0 * std::sin(thetaf);
        const double dn = c.a2 * tess * std::cos(thetaf) + c.a4 * tess * std::sin(thetaf);
        add_local(f, dr, dn, 0.0, xcorsta);
    }
    for (double& x : xcorsta) x = x / 1000.0;
}

void tide(const Vec3& xsta, int iyr, int imonth, int iday, double fhr, const Vec3& xsun, const Vec3& xmon,
          Vec3& dxtide) {
    // Cosines of the zenith angles of the Sun and the Moon at the station.
    double scs = 0, scm = 0, rsta = 0, rsun = 0, rmon = 0;
    sprod(xsta, xsun, scs, rsta, rsun);
    sprod(xsta, xmon, scm, rsta, rmon);
    const double scsun = scs / rsta / rsun;
    const double scmon = scm / rsta / rmon;

    // h2 and l2 vary slightly with latitude, through P2(sin phi) = 1 - 3/2 cos^2 phi; the two
    // coefficients are single-precision values in the adopted model and are kept so.
    const double cosphi = std::sqrt(xsta[0] * xsta[0] + xsta[1] * xsta[1]) / rsta;
    const double p2lat = 1.0 - 3.0 / 2.0 * (cosphi * cosphi);
    const double h2 = h20 - static_cast<double>(0.0006f) * p2lat;
    const double l2 = l20 + static_cast<double>(0.0002f) * p2lat;

    // Radial (p) and along-the-body (x) factors of the degree-2 and degree-3 displacement: with
    // c = cos(zenith angle of the body), the displacement is
    //   fac * ( x * body_unit + p * station_unit ),
    // which puts h_n P_n(c) in the radial and l_n dP_n/dc on the horizontal.
    const double p2sun = 3.0 * (h2 / 2.0 - l2) * (scsun * scsun) - h2 / 2.0;
    const double p2mon = 3.0 * (h2 / 2.0 - l2) * (scmon * scmon) - h2 / 2.0;
    const double p3sun =
        5.0 / 2.0 * (h3 - 3.0 * l3) * (scsun * scsun * scsun) + 3.0 / 2.0 * (l3 - h3) * scsun;
    const double p3mon =
        5.0 / 2.0 * (h3 - 3.0 * l3) * (scmon * scmon * scmon) + 3.0 / 2.0 * (l3 - h3) * scmon;
    const double x2sun = 3.0 * l2 * scsun;
    const double x2mon = 3.0 * l2 * scmon;
    const double x3sun = 3.0 * l3 / 2.0 * (5.0 * (scsun * scsun) - 1.0);
    const double x3mon = 3.0 * l3 / 2.0 * (5.0 * (scmon * scmon) - 1.0);

    // Scale of the degree-n tide: (GM_body/GM_earth) R_e (R_e/r_body)^(n+1).
    const double qsun = re / rsun, qmon = re / rmon;
    const double fac2sun = mass_ratio_sun * re * (qsun * qsun * qsun);
    const double fac2mon = mass_ratio_moon * re * (qmon * qmon * qmon);
    const double fac3sun = fac2sun * (re / rsun);
    const double fac3mon = fac2mon * (re / rmon);

    // Step 1, in phase.
    for (std::size_t i = 0; i < 3; ++i) {
        dxtide[i] = fac2sun * (x2sun * xsun[i] / rsun + p2sun * xsta[i] / rsta) +
                    fac2mon * (x2mon * xmon[i] / rmon + p2mon * xsta[i] / rsta) +
                    fac3sun * (x3sun * xsun[i] / rsun + p3sun * xsta[i] / rsta) +
                    fac3mon * (x3mon * xmon[i] / rmon + p3mon * xsta[i] / rsta);
    }

    // Step 1, out-of-phase and latitude-dependence corrections.
    Vec3 xcorsta{};
    zero_vec8(xcorsta);
    st1idiu(xsta, xsun, xmon, fac2sun, fac2mon, xcorsta);
    for (std::size_t i = 0; i < 3; ++i) dxtide[i] = dxtide[i] + xcorsta[i];
    st1isem(xsta, xsun, xmon, fac2sun, fac2mon, xcorsta);
    for (std::size_t i = 0; i < 3; ++i) dxtide[i] = dxtide[i] + xcorsta[i];
    st1l1(xsta, xsun, xmon, fac2sun, fac2mon, xcorsta);
    for (std::size_t i = 0; i < 3; ++i) dxtide[i] = dxtide[i] + xcorsta[i];

    // The step-2 arguments run on TT: Julian centuries since J2000.0 of the UTC epoch, then
    // TT - UTC = (TAI - UTC) + 32.184 s. The date's 0h comes from the calendar routine; a bad date
    // status is not acted on here (the epoch comes from an accepted observation).
    double djm0 = 0, djm = 0;
    int j = 0;
    orbits::iau_cal2jd(iyr, imonth, iday, djm0, djm, j);
    const double fhrd = fhr / 24.0;
    double t = ((djm0 - 2451545.0) + djm + fhrd) / 36525.0;
    double dtt = 0;
    orbits::iau_dat(iyr, imonth, iday, fhrd, dtt, j);
    dtt = dtt + 32.184;
    t = t + dtt / (3600.0 * 24.0 * 36525.0);

    // Step 2, frequency-dependent corrections.
    step2diu(xsta, fhr, t, xcorsta);
    for (std::size_t i = 0; i < 3; ++i) dxtide[i] = dxtide[i] + xcorsta[i];
    step2lon(xsta, t, xcorsta);
    for (std::size_t i = 0; i < 3; ++i) dxtide[i] = dxtide[i] + xcorsta[i];

    // The permanent tide is deliberately left in (no step 3).
}

int earth_tide1(const Vec3& recxyz, int iyearobs, int idoyobs, double tsecdayobs, Vec3& dx) {
    constexpr double h2 = 0.6078, l2 = 0.0847;

    // sub_sun_moon works in kilometres.
    Vec3 xsun{}, xmon{};
    sub_sun_moon(iyearobs, idoyobs, tsecdayobs / 86400.0, xsun[0], xsun[1], xsun[2], xmon[0], xmon[1],
                 xmon[2]);
    veccoe1(xsun, 1000.0);
    veccoe1(xmon, 1000.0);

    const Vec3 up = unit(recxyz);
    dx = {0.0, 0.0, 0.0};
    for (const auto& [xb, mass_ratio] : {std::pair{xsun, mass_ratio_sun}, std::pair{xmon, mass_ratio_moon}}) {
        // Degree-2 tide of one body: radial h2 P2(c), horizontal 3 l2 c along the body's direction
        // projected on the horizon, scaled by (GM_b/GM_e) R_e (R_e/r_b)^3.
        Vec3 toward{};
        const double rb = normvec(xb, toward);
        const double c = scapro(up, toward);
        const double q = re / rb;
        const double fac2 = mass_ratio * re * q * q * q;
        const double radial = h2 * (1.5 * c * c - 0.5) - 3.0 * l2 * c * c;
        dx = vecadd(dx, veclin(toward, up, fac2 * 3.0 * l2 * c, fac2 * radial));
    }
    return 0;
}

} // namespace quelmar::models
