// Positional-astronomy routines: see astro.hpp for the conventions.
#include "models/astro.hpp"

#include <cmath>
#include <numbers>

#include "orbits/timescales.hpp"

namespace quelmar::models {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double twopi = 2.0 * pi;
constexpr double deg2rad = pi / 180.0;
constexpr double arcsec2rad = pi / 648000.0;
constexpr double timesec2rad = pi / 43200.0;
constexpr double seconds_per_day = 86400.0;

Vec3 pos_of(const PV6& pv) {
    return {pv[0], pv[1], pv[2]};
}
Vec3 vel_of(const PV6& pv) {
    return {pv[3], pv[4], pv[5]};
}
void set_pv(PV6& pv, const Vec3& p, const Vec3& v) {
    for (int i = 0; i < 3; ++i) {
        pv[static_cast<std::size_t>(i)] = p[static_cast<std::size_t>(i)];
        pv[static_cast<std::size_t>(i + 3)] = v[static_cast<std::size_t>(i)];
    }
}

// Velocity of a position function by a central difference over +-h days, in AU/s.
template <class F>
Vec3 central_difference(F&& position, double date, double h) {
    const Vec3 p1 = position(date + h);
    const Vec3 p0 = position(date - h);
    const double scale = 1.0 / (2.0 * h * seconds_per_day);
    return {(p1[0] - p0[0]) * scale, (p1[1] - p0[1]) * scale, (p1[2] - p0[2]) * scale};
}

// One rotation of the reference frame about axis 0 (X), 1 (Y) or 2 (Z).
Mat3 axis_rotation(int axis, double angle) {
    const double s = std::sin(angle), c = std::cos(angle);
    Mat3 m{};
    switch (axis) {
    case 0:
        m = {{{1, 0, 0}, {0, c, s}, {0, -s, c}}};
        break;
    case 1:
        m = {{{c, 0, -s}, {0, 1, 0}, {s, 0, c}}};
        break;
    default:
        m = {{{c, s, 0}, {-s, c, 0}, {0, 0, 1}}};
        break;
    }
    return m;
}

// ---------------------------------------------------------------------------------------------
// IAU 1980 nutation series (Seidelmann 1982, Explanatory Supplement 1992 Table 3.222.1): multiples
// of the arguments l, l', F, D, Omega; longitude coefficient and its rate, obliquity coefficient
// and its rate, in units of 0.1 mas and 0.1 mas per Julian century.
struct NutationTerm {
    int nl, nlp, nf, nd, nom;
    double sp, spt, ce, cet;
};
constexpr NutationTerm nutation_1980[] = {
    {0, 0, 0, 0, 1, -171996.0, -174.2, 92025.0, 8.9},
    {0, 0, 0, 0, 2, 2062.0, 0.2, -895.0, 0.5},
    {-2, 0, 2, 0, 1, 46.0, 0.0, -24.0, 0.0},
    {2, 0, -2, 0, 0, 11.0, 0.0, 0.0, 0.0},
    {-2, 0, 2, 0, 2, -3.0, 0.0, 1.0, 0.0},
    {1, -1, 0, -1, 0, -3.0, 0.0, 0.0, 0.0},
    {0, -2, 2, -2, 1, -2.0, 0.0, 1.0, 0.0},
    {2, 0, -2, 0, 1, 1.0, 0.0, 0.0, 0.0},
    {0, 0, 2, -2, 2, -13187.0, -1.6, 5736.0, -3.1},
    {0, 1, 0, 0, 0, 1426.0, -3.4, 54.0, -0.1},
    {0, 1, 2, -2, 2, -517.0, 1.2, 224.0, -0.6},
    {0, -1, 2, -2, 2, 217.0, -0.5, -95.0, 0.3},
    {0, 0, 2, -2, 1, 129.0, 0.1, -70.0, 0.0},
    {2, 0, 0, -2, 0, 48.0, 0.0, 1.0, 0.0},
    {0, 0, 2, -2, 0, -22.0, 0.0, 0.0, 0.0},
    {0, 2, 0, 0, 0, 17.0, -0.1, 0.0, 0.0},
    {0, 1, 0, 0, 1, -15.0, 0.0, 9.0, 0.0},
    {0, 2, 2, -2, 2, -16.0, 0.1, 7.0, 0.0},
    {0, -1, 0, 0, 1, -12.0, 0.0, 6.0, 0.0},
    {-2, 0, 0, 2, 1, -6.0, 0.0, 3.0, 0.0},
    {0, -1, 2, -2, 1, -5.0, 0.0, 3.0, 0.0},
    {2, 0, 0, -2, 1, 4.0, 0.0, -2.0, 0.0},
    {0, 1, 2, -2, 1, 4.0, 0.0, -2.0, 0.0},
    {1, 0, 0, -1, 0, -4.0, 0.0, 0.0, 0.0},
    {2, 1, 0, -2, 0, 1.0, 0.0, 0.0, 0.0},
    {0, 0, -2, 2, 1, 1.0, 0.0, 0.0, 0.0},
    {0, 1, -2, 2, 0, -1.0, 0.0, 0.0, 0.0},
    {0, 1, 0, 0, 2, 1.0, 0.0, 0.0, 0.0},
    {-1, 0, 0, 1, 1, 1.0, 0.0, 0.0, 0.0},
    {0, 1, 2, -2, 0, -1.0, 0.0, 0.0, 0.0},
    {0, 0, 2, 0, 2, -2274.0, -0.2, 977.0, -0.5},
    {1, 0, 0, 0, 0, 712.0, 0.1, -7.0, 0.0},
    {0, 0, 2, 0, 1, -386.0, -0.4, 200.0, 0.0},
    {1, 0, 2, 0, 2, -301.0, 0.0, 129.0, -0.1},
    {1, 0, 0, -2, 0, -158.0, 0.0, -1.0, 0.0},
    {-1, 0, 2, 0, 2, 123.0, 0.0, -53.0, 0.0},
    {0, 0, 0, 2, 0, 63.0, 0.0, -2.0, 0.0},
    {1, 0, 0, 0, 1, 63.0, 0.1, -33.0, 0.0},
    {-1, 0, 0, 0, 1, -58.0, -0.1, 32.0, 0.0},
    {-1, 0, 2, 2, 2, -59.0, 0.0, 26.0, 0.0},
    {1, 0, 2, 0, 1, -51.0, 0.0, 27.0, 0.0},
    {0, 0, 2, 2, 2, -38.0, 0.0, 16.0, 0.0},
    {2, 0, 0, 0, 0, 29.0, 0.0, -1.0, 0.0},
    {1, 0, 2, -2, 2, 29.0, 0.0, -12.0, 0.0},
    {2, 0, 2, 0, 2, -31.0, 0.0, 13.0, 0.0},
    {0, 0, 2, 0, 0, 26.0, 0.0, -1.0, 0.0},
    {-1, 0, 2, 0, 1, 21.0, 0.0, -10.0, 0.0},
    {-1, 0, 0, 2, 1, 16.0, 0.0, -8.0, 0.0},
    {1, 0, 0, -2, 1, -13.0, 0.0, 7.0, 0.0},
    {-1, 0, 2, 2, 1, -10.0, 0.0, 5.0, 0.0},
    {1, 1, 0, -2, 0, -7.0, 0.0, 0.0, 0.0},
    {0, 1, 2, 0, 2, 7.0, 0.0, -3.0, 0.0},
    {0, -1, 2, 0, 2, -7.0, 0.0, 3.0, 0.0},
    {1, 0, 2, 2, 2, -8.0, 0.0, 3.0, 0.0},
    {1, 0, 0, 2, 0, 6.0, 0.0, 0.0, 0.0},
    {2, 0, 2, -2, 2, 6.0, 0.0, -3.0, 0.0},
    {0, 0, 0, 2, 1, -6.0, 0.0, 3.0, 0.0},
    {0, 0, 2, 2, 1, -7.0, 0.0, 3.0, 0.0},
    {1, 0, 2, -2, 1, 6.0, 0.0, -3.0, 0.0},
    {0, 0, 0, -2, 1, -5.0, 0.0, 3.0, 0.0},
    {1, -1, 0, 0, 0, 5.0, 0.0, 0.0, 0.0},
    {2, 0, 2, 0, 1, -5.0, 0.0, 3.0, 0.0},
    {0, 1, 0, -2, 0, -4.0, 0.0, 0.0, 0.0},
    {1, 0, -2, 0, 0, 4.0, 0.0, 0.0, 0.0},
    {0, 0, 0, 1, 0, -4.0, 0.0, 0.0, 0.0},
    {1, 1, 0, 0, 0, -3.0, 0.0, 0.0, 0.0},
    {1, 0, 2, 0, 0, 3.0, 0.0, 0.0, 0.0},
    {1, -1, 2, 0, 2, -3.0, 0.0, 1.0, 0.0},
    {-1, -1, 2, 2, 2, -3.0, 0.0, 1.0, 0.0},
    {-2, 0, 0, 0, 1, -2.0, 0.0, 1.0, 0.0},
    {3, 0, 2, 0, 2, -3.0, 0.0, 1.0, 0.0},
    {0, -1, 2, 2, 2, -3.0, 0.0, 1.0, 0.0},
    {1, 1, 2, 0, 2, 2.0, 0.0, -1.0, 0.0},
    {-1, 0, 2, -2, 1, -2.0, 0.0, 1.0, 0.0},
    {2, 0, 0, 0, 1, 2.0, 0.0, -1.0, 0.0},
    {1, 0, 0, 0, 2, -2.0, 0.0, 1.0, 0.0},
    {3, 0, 0, 0, 0, 2.0, 0.0, 0.0, 0.0},
    {0, 0, 2, 1, 2, 2.0, 0.0, -1.0, 0.0},
    {-1, 0, 0, 0, 2, 1.0, 0.0, -1.0, 0.0},
    {1, 0, 0, -4, 0, -1.0, 0.0, 0.0, 0.0},
    {-2, 0, 2, 2, 2, 1.0, 0.0, -1.0, 0.0},
    {-1, 0, 2, 4, 2, -2.0, 0.0, 1.0, 0.0},
    {2, 0, 0, -4, 0, -1.0, 0.0, 0.0, 0.0},
    {1, 1, 2, -2, 2, 1.0, 0.0, -1.0, 0.0},
    {1, 0, 2, 2, 1, -1.0, 0.0, 1.0, 0.0},
    {-2, 0, 2, 4, 2, -1.0, 0.0, 1.0, 0.0},
    {-1, 0, 4, 0, 2, 1.0, 0.0, 0.0, 0.0},
    {1, -1, 0, -2, 0, 1.0, 0.0, 0.0, 0.0},
    {2, 0, 2, -2, 1, 1.0, 0.0, -1.0, 0.0},
    {2, 0, 2, 2, 2, -1.0, 0.0, 0.0, 0.0},
    {1, 0, 0, 2, 1, -1.0, 0.0, 0.0, 0.0},
    {0, 0, 4, -2, 2, 1.0, 0.0, 0.0, 0.0},
    {3, 0, 2, -2, 2, 1.0, 0.0, 0.0, 0.0},
    {1, 0, 2, -2, 0, -1.0, 0.0, 0.0, 0.0},
    {0, 1, 2, 0, 1, 1.0, 0.0, 0.0, 0.0},
    {-1, -1, 0, 2, 1, 1.0, 0.0, 0.0, 0.0},
    {0, 0, -2, 0, 1, -1.0, 0.0, 0.0, 0.0},
    {0, 0, 2, -1, 2, -1.0, 0.0, 0.0, 0.0},
    {0, 1, 0, 2, 0, -1.0, 0.0, 0.0, 0.0},
    {1, 0, -2, -2, 0, -1.0, 0.0, 0.0, 0.0},
    {0, -1, 2, 0, 1, -1.0, 0.0, 0.0, 0.0},
    {1, 1, 0, -2, 1, -1.0, 0.0, 0.0, 0.0},
    {1, 0, -2, 2, 0, -1.0, 0.0, 0.0, 0.0},
    {2, 0, 0, 2, 0, 1.0, 0.0, 0.0, 0.0},
    {0, 0, 2, 4, 2, -1.0, 0.0, 0.0, 0.0},
    {0, 1, 0, 1, 0, 1.0, 0.0, 0.0, 0.0},
};

// ---------------------------------------------------------------------------------------------
// Lunar theory of Meeus (l'Astronomie, June 1984, p. 348): series in longitude, latitude (sine
// terms) and horizontal parallax (cosine terms), coefficients in degrees, with the multiples of the
// Sun's mean anomaly M, the Moon's mean anomaly M', the elongation D, the argument of latitude F,
// and the power n of the eccentricity factor E.
struct LunarTerm {
    double coeff;
    int m, mp, d, f, n;
};
constexpr LunarTerm moon_longitude[] = {
    {6.28875, 0, 1, 0, 0, 0},   {1.274018, 0, -1, 2, 0, 0}, {.658309, 0, 0, 2, 0, 0},
    {.213616, 0, 2, 0, 0, 0},   {-.185596, 1, 0, 0, 0, 1},  {-.114336, 0, 0, 0, 2, 0},
    {.058793, 0, -2, 2, 0, 0},  {.057212, -1, -1, 2, 0, 1}, {.05332, 0, 1, 2, 0, 0},
    {.045874, -1, 0, 2, 0, 1},  {.041024, -1, 1, 0, 0, 1},  {-.034718, 0, 0, 1, 0, 0},
    {-.030465, 1, 1, 0, 0, 1},  {.015326, 0, 0, 2, -2, 0},  {-.012528, 0, 1, 0, 2, 0},
    {-.01098, 0, -1, 0, 2, 0},  {.010674, 0, -1, 4, 0, 0},  {.010034, 0, 3, 0, 0, 0},
    {.008548, 0, -2, 4, 0, 0},  {-.00791, 1, -1, 2, 0, 1},  {-.006783, 1, 0, 2, 0, 1},
    {.005162, 0, 1, -1, 0, 0},  {.005, 1, 0, 1, 0, 1},      {.004049, -1, 1, 2, 0, 1},
    {.003996, 0, 2, 2, 0, 0},   {.003862, 0, 0, 4, 0, 0},   {.003665, 0, -3, 2, 0, 0},
    {.002695, -1, 2, 0, 0, 1},  {.002602, 0, 1, -2, -2, 0}, {.002396, -1, -2, 2, 0, 1},
    {-.002349, 0, 1, 1, 0, 0},  {.002249, -2, 0, 2, 0, 2},  {-.002125, 1, 2, 0, 0, 1},
    {-.002079, 2, 0, 0, 0, 2},  {.002059, -2, -1, 2, 0, 2}, {-.001773, 0, 1, 2, -2, 0},
    {-.001595, 0, 0, 2, 2, 0},  {.00122, -1, -1, 4, 0, 1},  {-.00111, 0, 2, 0, 2, 0},
    {8.92e-4, 0, 1, -3, 0, 0},  {-8.11e-4, 1, 1, 2, 0, 1},  {7.61e-4, -1, -2, 4, 0, 1},
    {7.17e-4, -2, 1, 0, 0, 2},  {7.04e-4, -2, 1, -2, 0, 2}, {6.93e-4, 1, -2, 2, 0, 1},
    {5.98e-4, -1, 0, 2, -2, 1}, {5.5e-4, 0, 1, 4, 0, 0},    {5.38e-4, 0, 4, 0, 0, 0},
    {5.21e-4, -1, 0, 4, 0, 1},  {4.86e-4, 0, 2, -1, 0, 0},
};
constexpr LunarTerm moon_latitude[] = {
    {5.128189, 0, 0, 0, 1, 0},  {.280606, 0, 1, 0, 1, 0},    {.277693, 0, 1, 0, -1, 0},
    {.173238, 0, 0, 2, -1, 0},  {.055413, 0, -1, 2, 1, 0},   {.046272, 0, -1, 2, -1, 0},
    {.032573, 0, 0, 2, 1, 0},   {.017198, 0, 2, 0, 1, 0},    {.009267, 0, 1, 2, -1, 0},
    {.008823, 0, 2, 0, -1, 0},  {.008247, -1, 0, 2, -1, 1},  {.004323, 0, -2, 2, -1, 0},
    {.0042, 0, 1, 2, 1, 0},     {.003372, -1, 0, -2, 1, 1},  {.002472, -1, -1, 2, 1, 1},
    {.002222, -1, 0, 2, 1, 1},  {.002072, -1, -1, 2, -1, 1}, {.001877, -1, 1, 0, 1, 1},
    {.001828, 0, -1, 4, -1, 0}, {-.001803, 1, 0, 0, 1, 1},   {-.00175, 0, 0, 0, 3, 0},
    {.00157, -1, 1, 0, -1, 1},  {-.001487, 0, 0, 1, 1, 0},   {-.001481, 1, 1, 0, 1, 1},
    {.001417, -1, -1, 0, 1, 1}, {.00135, -1, 0, 0, 1, 1},    {.00133, 0, 0, -1, 1, 0},
    {.001106, 0, 3, 0, 1, 0},   {.00102, 0, 0, 4, -1, 0},    {8.33e-4, 0, -1, 4, 1, 0},
    {7.81e-4, 0, 1, 0, -3, 0},  {6.7e-4, 0, -2, 4, 1, 0},    {6.06e-4, 0, 0, 2, -3, 0},
    {5.97e-4, 0, 2, 2, -1, 0},  {4.92e-4, -1, 1, 2, -1, 1},  {4.5e-4, 0, 2, -2, -1, 0},
    {4.39e-4, 0, 3, 0, -1, 0},  {4.23e-4, 0, 2, 2, 1, 0},    {4.22e-4, 0, -3, 2, -1, 0},
    {-3.67e-4, 1, -1, 2, 1, 1}, {-3.53e-4, 1, 0, 2, 1, 1},   {3.31e-4, 0, 0, 4, 1, 0},
    {3.17e-4, -1, 1, 2, 1, 1},  {3.06e-4, -2, 0, 2, -1, 2},  {-2.83e-4, 0, 1, 0, 3, 0},
};
constexpr LunarTerm moon_parallax[] = {
    {.950724, 0, 0, 0, 0, 0},  {.051818, 0, 1, 0, 0, 0},   {.009531, 0, -1, 2, 0, 0},
    {.007843, 0, 0, 2, 0, 0},  {.002824, 0, 2, 0, 0, 0},   {8.57e-4, 0, 1, 2, 0, 0},
    {5.33e-4, -1, 0, 2, 0, 1}, {4.01e-4, -1, -1, 2, 0, 1}, {3.2e-4, -1, 1, 0, 0, 1},
    {-2.71e-4, 0, 0, 1, 0, 0}, {-2.64e-4, 1, 1, 0, 0, 1},  {-1.98e-4, 0, -1, 0, 2, 0},
    {1.73e-4, 0, 3, 0, 0, 0},  {1.67e-4, 0, -1, 4, 0, 0},  {-1.11e-4, 1, 0, 0, 0, 1},
    {1.03e-4, 0, -2, 4, 0, 0}, {-8.4e-5, 0, 2, -2, 0, 0},  {-8.3e-5, 1, 0, 2, 0, 1},
    {7.9e-5, 0, 2, 2, 0, 0},   {7.2e-5, 0, 0, 4, 0, 0},    {6.4e-5, -1, 1, 2, 0, 1},
    {-6.3e-5, 1, -1, 2, 0, 1}, {4.1e-5, 1, 0, 1, 0, 1},    {3.5e-5, -1, 2, 0, 0, 1},
    {-3.3e-5, 0, 3, -2, 0, 0}, {-3e-5, 0, 1, 1, 0, 0},     {-2.9e-5, 0, 0, -2, 2, 0},
    {-2.9e-5, 1, 2, 0, 0, 1},  {2.6e-5, -2, 0, 2, 0, 2},   {-2.3e-5, 0, 1, -2, 2, 0},
    {1.9e-5, -1, -1, 4, 0, 1},
};

// Geocentric Moon position (AU), mean equator and equinox of date, from the Meeus 1984 theory.
Vec3 moon_position(double date) {
    // Julian centuries since J1900 (the theory's origin).
    const double t = (date - 15019.5) / 36525.0;
    auto poly = [t](double c0, double c1, double c2, double c3) {
        return std::fmod(c0 + (c1 + (c2 + c3 * t) * t) * t, 360.0);
    };
    // Fundamental arguments (degrees).
    double lp = poly(270.434164, 481267.8831, -0.001133, 0.0000019);     // Moon's mean longitude
    double m = poly(358.475833, 35999.0498, -0.000150, -0.0000033);      // Sun's mean anomaly
    double mp = poly(296.104608, 477198.8491, 0.009192, 0.0000144);      // Moon's mean anomaly
    double d = poly(350.737486, 445267.1142, -0.001436, 0.0000019);      // mean elongation
    double f = poly(11.250889, 483202.0251, -0.003211, -0.0000003);      // argument of latitude
    const double om = poly(259.183275, -1934.1420, 0.002078, 0.0000022); // ascending node

    // Periodic (long-period and node) variations of the arguments.
    const double sin_a = std::sin(deg2rad * (51.2 + 20.2 * t));
    const double wb = 0.003964 * std::sin(deg2rad * (346.560 + (132.870 - 0.0091731 * t) * t));
    const double sin_om = std::sin(deg2rad * om);
    const double om2 = om + 275.05 - 2.30 * t;
    lp += 0.000233 * sin_a + wb + 0.001964 * sin_om;
    m += -0.001778 * sin_a;
    mp += 0.000817 * sin_a + wb + 0.002541 * sin_om;
    d += 0.002011 * sin_a + wb + 0.001964 * sin_om;
    f += wb - 0.024691 * sin_om - 0.004328 * std::sin(deg2rad * om2);

    // Eccentricity factor of the Earth's orbit.
    const double e = 1.0 + (-0.002495 - 0.00000752 * t) * t;
    const double e_pow[3] = {1.0, e, e * e};

    auto argument = [&](const LunarTerm& term) {
        return deg2rad * (term.m * m + term.mp * mp + term.d * d + term.f * f);
    };
    double sum_l = 0.0, sum_b = 0.0, sum_p = 0.0;
    for (const LunarTerm& term : moon_longitude)
        sum_l += term.coeff * e_pow[term.n] * std::sin(argument(term));
    for (const LunarTerm& term : moon_latitude)
        sum_b += term.coeff * e_pow[term.n] * std::sin(argument(term));
    for (const LunarTerm& term : moon_parallax)
        sum_p += term.coeff * e_pow[term.n] * std::cos(argument(term));

    const double lon = deg2rad * (lp + sum_l);
    const double lat =
        deg2rad * sum_b * (1.0 - 0.0004664 * std::cos(deg2rad * om) - 0.0000754 * std::cos(deg2rad * om2));
    const double parallax = deg2rad * sum_p;

    // Distance from the horizontal parallax, for an equatorial radius of 6378.137 km.
    const double dist = (6378.137 / au_km) / std::sin(parallax);
    const Vec3 ecl = {dist * std::cos(lat) * std::cos(lon), dist * std::cos(lat) * std::sin(lon),
                      dist * std::sin(lat)};

    // Ecliptic of date to the mean equator of date (IAU 1976 obliquity), then the small rotation in
    // right ascension (Fricke's equinox correction) that places the result on the FK5 equinox.
    const double t2000 = (date - 51544.5) / 36525.0;
    const double eps = arcsec2rad * (84381.448 + (-46.8150 + (-0.00059 + 0.001813 * t2000) * t2000) * t2000);
    const double eqcor = timesec2rad * (0.035 + 0.00085 * (sla_epj(date) - 1949.9997904423));
    const double ce = std::cos(eps), se = std::sin(eps);
    const Vec3 eq = {ecl[0], ecl[1] * ce - ecl[2] * se, ecl[1] * se + ecl[2] * ce};
    return {eq[0] - eqcor * eq[1], eq[1] + eqcor * eq[0], eq[2]};
}

// ---------------------------------------------------------------------------------------------
// Planetary theory of Simon et al. (1994, A&A 282, 663): mean elements (polynomials of degree 2 in
// Julian millennia from J2000) and the periodic terms of the semi-major axis and mean longitude,
// for Mercury, Venus, the Earth-Moon barycentre, Mars, Jupiter, Saturn, Uranus and Neptune.
struct PlanetElements {
    double inverse_mass;   // Sun / planet
    double a[3];           // semi-major axis, AU
    double lambda[3];      // mean longitude: degrees, then arcsec per millennium (powers)
    double e[3];           // eccentricity
    double peri[3];        // longitude of perihelion: degrees, arcsec
    double inc[3];         // inclination: degrees, arcsec
    double node[3];        // longitude of the ascending node: degrees, arcsec
    int kp[9];             // semi-major axis terms: frequencies ...
    double ca[9], sa[9];   // ... and cosine/sine amplitudes, 1e-7 AU (the ninth times t)
    int kq[10];            // mean longitude terms: frequencies ...
    double cl[10], sl[10]; // ... and amplitudes, 1e-7 rad (the ninth and tenth times t)
};
constexpr PlanetElements simon1994[8] = {
    {6023600.0,
     {0.3870983098, 0.0, 0.0},
     {252.25090552, 5381016286.88982, -1.92789},
     {0.2056317526, 0.0002040653, -28349e-10},
     {77.45611904, 5719.11590, -4.83016},
     {7.00498625, -214.25629, 0.28977},
     {48.33089304, -4515.21727, -31.79892},
     {69613, 75645, 88306, 59899, 15746, 71087, 142173, 3086, 0},
     {4, -13, 11, -9, -9, -3, -1, 4, 0},
     {-29, -1, 9, 6, -6, 5, 4, 0, 0},
     {3086, 15746, 69613, 59899, 75645, 88306, 12661, 2658, 0, 0},
     {21, -95, -157, 41, -5, 42, 23, 30, 0, 0},
     {-342, 136, -23, 62, 66, -52, -33, 17, 0, 0}},
    {408523.5,
     {0.7233298200, 0.0, 0.0},
     {181.97980085, 2106641364.33548, 0.59381},
     {0.0067719164, -0.0004776521, 98127e-10},
     {131.56370300, 175.48640, -498.48184},
     {3.39466189, -30.84437, -11.67836},
     {76.67992019, -10008.48154, -51.32614},
     {21863, 32794, 26934, 10931, 26250, 43725, 53867, 28939, 0},
     {-156, 59, -42, 6, 19, -20, -10, -12, 0},
     {-48, -125, -26, -37, 18, -13, -20, -2, 0},
     {21863, 32794, 10931, 73, 4387, 26934, 1473, 2157, 0, 0},
     {-160, -313, -235, 60, -74, -76, -27, 34, 0, 0},
     {524, -149, -35, 117, 151, 122, -71, -62, 0, 0}},
    {328900.5,
     {1.0000010178, 0.0, 0.0},
     {100.46645683, 1295977422.83429, -2.04411},
     {0.0167086342, -0.0004203654, -0.0000126734},
     {102.93734808, 11612.35290, 53.27577},
     {0.0, 469.97289, -3.35053},
     {174.87317577, -8679.27034, 15.34191},
     {16002, 21863, 32004, 10931, 14529, 16368, 15318, 32794, 0},
     {64, -152, 62, -8, 32, -41, 19, -11, 0},
     {-150, -46, 68, 54, 14, 24, -28, 22, 0},
     {10, 16002, 21863, 10931, 1473, 32004, 4387, 73, 0, 0},
     {-325, -322, -79, 232, -52, 97, 55, -41, 0, 0},
     {-105, -137, 258, 35, -116, -88, -112, -80, 0, 0}},
    {3098710.0,
     {1.5236793419, 3e-10, 0.0},
     {355.43299958, 689050774.93988, 0.94264},
     {0.0934006477, 0.0009048438, -80641e-10},
     {336.06023395, 15980.45908, -62.32800},
     {1.84972648, -293.31722, -8.11830},
     {49.55809321, -10620.90088, -230.57416},
     {6345, 7818, 15636, 7077, 8184, 14163, 1107, 4872, 0},
     {124, 621, -145, 208, 54, -57, 30, 15, 0},
     {-621, 532, -694, -20, 192, -94, 71, -73, 0},
     {10, 6345, 7818, 1107, 15636, 7077, 8184, 532, 10, 0},
     {2268, -979, 802, 602, -668, -33, 345, 201, -55, 0},
     {854, -205, -936, -240, 140, -341, -97, -232, 536, 0}},
    {1047.355,
     {5.2026032092, 19132e-10, -39e-10},
     {34.35151874, 109256603.77991, -30.60378},
     {0.0484979255, 0.0016322542, -0.0000471366},
     {14.33120687, 7758.75163, 259.95938},
     {1.30326698, -71.55890, 11.95297},
     {100.46440702, 6362.03561, 326.52178},
     {1760, 1454, 1167, 880, 287, 2640, 19, 2047, 1454},
     {-23437, -2634, 6601, 6259, -1507, -1821, 2620, -2115, -1489},
     {-14614, -19828, -5869, 1881, -4372, -2255, 782, 930, 913},
     {19, 1760, 1454, 287, 1167, 880, 574, 2640, 19, 1454},
     {7610, -4997, -7689, -5841, -2617, 1115, -748, -607, 6074, 354},
     {-56980, 8016, 1012, 1448, -3024, -3710, 318, 503, 3767, 577}},
    {3498.5,
     {9.5549091915, -0.0000213896, 444e-10},
     {50.07744430, 43996098.55732, 75.61614},
     {0.0555481426, -0.0034664062, -0.0000643639},
     {93.05723748, 20395.49439, 190.25952},
     {2.48887878, 91.85195, -17.66225},
     {113.66550252, -9240.19942, -66.23743},
     {574, 0, 880, 287, 19, 1760, 1167, 306, 574},
     {62911, -119919, 79336, 17814, -24241, 12068, 8306, -4893, 8902},
     {139737, 0, 24667, 51123, -5102, 7429, -4095, -1976, -9566},
     {19, 574, 287, 306, 1760, 12, 31, 38, 19, 574},
     {-18549, 30125, 20012, -730, 824, 23, 1289, -352, -14767, -2062},
     {138606, -13478, -4964, 1441, -1319, -1482, 427, 1236, -9167, -1918}},
    {22869.0,
     {19.2184460618, -3716e-10, 979e-10},
     {314.05500511, 15424811.93933, -1.75083},
     {0.0463812221, -0.0002729293, 0.0000078913},
     {173.00529106, 3215.56238, -34.09288},
     {0.77319689, -60.72723, 1.25759},
     {74.00595701, 2669.15033, 145.93964},
     {204, 0, 177, 1265, 4, 385, 200, 208, 204},
     {389061, -262125, -44088, 8387, -22976, -2093, -615, -9720, 6633},
     {-138081, 0, 37205, -49039, -41901, -33872, -27037, -12474, 18797},
     {4, 204, 177, 8, 31, 200, 1265, 102, 4, 204},
     {-135245, -14594, 4197, -4030, -5630, -2898, 2540, -306, 2939, 1986},
     {71234, -41116, 5334, -4935, -1848, 66, 434, -1748, 3780, -701}},
    {19314.0,
     {30.1103868694, -16635e-10, 686e-10},
     {304.34866548, 7865503.20744, 0.21103},
     {0.0094557470, 0.0000603263, 0.0},
     {48.12027554, 1050.71912, 27.39717},
     {1.76995259, 8.12333, 0.08135},
     {131.78405702, -221.94322, -0.78728},
     {0, 102, 106, 4, 98, 1367, 487, 204, 0},
     {-412235, -157046, -31430, 37817, -9740, -13, -7449, 9644, 0},
     {0, 28492, 133236, 69654, 52322, -49577, -26430, -3593, 0},
     {4, 102, 106, 8, 98, 1367, 487, 204, 4, 102},
     {89948, 2103, 8963, 2695, 3682, 1648, 866, -154, -1963, -283},
     {-47645, 11647, 2166, 3194, 679, 0, -244, -419, -2531, 48}},
};

// Pluto: the series of Meeus ("Astronomical Algorithms", 1991, chapter 37, table 37.A, after Chapront &
// Francou's fit to DE200, valid 1885-2099): multiples of the mean longitudes of Jupiter, Saturn and Pluto,
// then the sine and cosine coefficients of longitude and latitude (1e-6 deg) and radius (1e-7 AU).
struct PlutoTerm {
    int j, s, p;
    double lon_a, lon_b, lat_a, lat_b, rad_a, rad_b;
};
constexpr PlutoTerm pluto_terms[] = {
    {0, 0, 1, -19799805, 19850055, -5452852, -14974862, 66865439, 68951812},
    {0, 0, 2, 897144, -4954829, 3527812, 1672790, -11827535, -332538},
    {0, 0, 3, 611149, 1211027, -1050748, 327647, 1593179, -1438890},
    {0, 0, 4, -341243, -189585, 178690, -292153, -18444, 483220},
    {0, 0, 5, 129287, -34992, 18650, 100340, -65977, -85431},
    {0, 0, 6, -38164, 30893, -30697, -25823, 31174, -6032},
    {0, 1, -1, 20442, -9987, 4878, 11248, -5794, 22161},
    {0, 1, 0, -4063, -5071, 226, -64, 4601, 4032},
    {0, 1, 1, -6016, -3336, 2030, -836, -1729, 234},
    {0, 1, 2, -3956, 3039, 69, -604, -415, 702},
    {0, 1, 3, -667, 3572, -247, -567, 239, 723},
    {0, 2, -2, 1276, 501, -57, 1, 67, -67},
    {0, 2, -1, 1152, -917, -122, 175, 1034, -451},
    {0, 2, 0, 630, -1277, -49, -164, -129, 504},
    {1, -1, 0, 2571, -459, -197, 199, 480, -231},
    {1, -1, 1, 899, -1449, -25, 217, 2, -441},
    {1, 0, -3, -1016, 1043, 589, -248, -3359, 265},
    {1, 0, -2, -2343, -1012, -269, 711, 7856, -7832},
    {1, 0, -1, 7042, 788, 185, 193, 36, 45763},
    {1, 0, 0, 1199, -338, 315, 807, 8663, 8547},
    {1, 0, 1, 418, -67, -130, -43, -809, -769},
    {1, 0, 2, 120, -274, 5, 3, 263, -144},
    {1, 0, 3, -60, -159, 2, 17, -126, 32},
    {1, 0, 4, -82, -29, 2, 5, -35, -16},
    {1, 1, -3, -36, -20, 2, 3, -19, -4},
    {1, 1, -2, -40, 7, 3, 1, -15, 8},
    {1, 1, -1, -14, 22, 2, -1, -4, 12},
    {1, 1, 0, 4, 13, 1, -1, 5, 6},
    {1, 1, 1, 5, 2, 0, -1, 3, 1},
    {1, 1, 3, -1, 0, 0, 0, 6, -2},
    {2, 0, -6, 2, 0, 0, -2, 2, 2},
    {2, 0, -5, -4, 5, 2, 2, -2, -2},
    {2, 0, -4, 4, -7, -7, 0, 14, 13},
    {2, 0, -3, 14, 24, 10, -8, -63, 13},
    {2, 0, -2, -49, -34, -3, 20, 136, -236},
    {2, 0, -1, 163, -48, 6, 5, 273, 1065},
    {2, 0, 0, 9, 24, 14, 17, 251, 149},
    {2, 0, 1, -4, 1, -2, 0, -25, -9},
    {2, 0, 2, -3, 1, 0, 0, 9, -2},
    {2, 0, 3, 1, 3, 0, 0, -8, 7},
    {3, 0, -2, -3, -1, 0, 1, 2, -10},
    {3, 0, -1, 5, -3, 0, 0, 19, 35},
    {3, 0, 0, 0, 0, 1, 0, 10, 2},
};

// Heliocentric ecliptic (J2000) position of Pluto from the Meeus series.
Vec3 pluto_position(double date) {
    const double t = (date - 51544.5) / 36525.0; // Julian centuries since J2000
    const double jup = 34.35 + 3034.9057 * t, sat = 50.08 + 1222.1138 * t, plu = 238.96 + 144.9600 * t;
    double sum_lon = 0.0, sum_lat = 0.0, sum_rad = 0.0;
    for (const PlutoTerm& term : pluto_terms) {
        const double arg = deg2rad * (term.j * jup + term.s * sat + term.p * plu);
        const double sa = std::sin(arg), ca = std::cos(arg);
        sum_lon += term.lon_a * sa + term.lon_b * ca;
        sum_lat += term.lat_a * sa + term.lat_b * ca;
        sum_rad += term.rad_a * sa + term.rad_b * ca;
    }
    const double lon = deg2rad * (238.958116 + 144.96 * t + sum_lon * 1e-6);
    const double lat = deg2rad * (-3.908239 + sum_lat * 1e-6);
    const double r = 40.7241346 + sum_rad * 1e-7;
    return {r * std::cos(lat) * std::cos(lon), r * std::cos(lat) * std::sin(lon), r * std::sin(lat)};
}

// Heliocentric ecliptic (J2000) position of a planet from its mean elements; `converged` is false
// when Kepler's equation did not settle.
Vec3 planet_position(const PlanetElements& p, double date, bool& converged) {
    const double t = (date - 51544.5) / 365250.0; // Julian millennia since J2000
    auto quadratic = [t](const double c[3]) { return c[0] + (c[1] + c[2] * t) * t; };
    // Angles: degrees at J2000 plus arcseconds per millennium (and per millennium squared).
    auto angle = [t](const double c[3]) { return arcsec2rad * (3600.0 * c[0] + (c[1] + c[2] * t) * t); };

    double a = quadratic(p.a);
    double lambda = angle(p.lambda);
    const double e = quadratic(p.e);
    const double peri = angle(p.peri);
    const double inc = angle(p.inc);
    const double node = angle(p.node);

    // Periodic terms: frequencies are multiples of 0.35953620 rad per millennium.
    const double mu = 0.35953620 * t;
    for (int k = 0; k < 9; ++k) {
        const double arg = p.kp[k] * mu;
        const double term = (p.ca[k] * std::cos(arg) + p.sa[k] * std::sin(arg)) * 1e-7;
        a += (k < 8) ? term : term * t;
    }
    for (int k = 0; k < 10; ++k) {
        const double arg = p.kq[k] * mu;
        const double term = (p.cl[k] * std::cos(arg) + p.sl[k] * std::sin(arg)) * 1e-7;
        lambda += (k < 8) ? term : term * t;
    }

    // Kepler's equation by Newton iteration from the mean anomaly.
    const double mean_anomaly = std::remainder(lambda - peri, twopi);
    double ecc_anomaly = mean_anomaly + e * std::sin(mean_anomaly);
    converged = false;
    for (int it = 0; it < 20; ++it) {
        const double step =
            (mean_anomaly - ecc_anomaly + e * std::sin(ecc_anomaly)) / (1.0 - e * std::cos(ecc_anomaly));
        ecc_anomaly += step;
        if (std::fabs(step) <= 1e-12) {
            converged = true;
            break;
        }
    }
    const double true_anomaly = 2.0 * std::atan2(std::sqrt(1.0 + e) * std::sin(0.5 * ecc_anomaly),
                                                 std::sqrt(1.0 - e) * std::cos(0.5 * ecc_anomaly));
    const double r = a * (1.0 - e * std::cos(ecc_anomaly));

    // Orbit plane to the ecliptic: argument of latitude u, node, inclination.
    const double u = true_anomaly + peri - node;
    const double cu = std::cos(u), su = std::sin(u), cn = std::cos(node), sn = std::sin(node);
    const double ci = std::cos(inc), si = std::sin(inc);
    return {r * (cn * cu - sn * su * ci), r * (sn * cu + cn * su * ci), r * su * si};
}

} // namespace

double sla_epj(double date) {
    return 2000.0 + (date - 51544.5) / 365.25;
}

double sla_dt(double epoch) {
    const double t = (epoch - 1800.0) / 100.0; // centuries since 1800
    if (epoch >= 1708.185161980887) return 5.156 + 13.3066 * (t - 0.19) * (t - 0.19);
    if (epoch >= 979.0258204760233) return 25.5 * t * t;
    return 1360.0 + (320.0 + 44.3 * t) * t;
}

double sla_dranrm(double angle) {
    double w = std::fmod(angle, twopi);
    if (w < 0.0) w += twopi;
    return (w < twopi) ? w : 0.0; // a tiny negative angle must not come back as 2 pi
}

void sla_dcc2s(const Vec3& v, double& a, double& b) {
    const double r = std::hypot(v[0], v[1]);
    a = (r != 0.0) ? std::atan2(v[1], v[0]) : 0.0;
    b = (v[2] != 0.0) ? std::atan2(v[2], r) : 0.0;
}

void sla_dmxm(const Mat3& a, const Mat3& b, Mat3& c) {
    Mat3 w{};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j)
            w[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    c = w;
}

void sla_dmxv(const Mat3& dm, const Vec3& va, Vec3& vb) {
    Vec3 w{};
    for (std::size_t i = 0; i < 3; ++i) w[i] = dm[i][0] * va[0] + dm[i][1] * va[1] + dm[i][2] * va[2];
    vb = w;
}

void sla_deuler(std::string_view order, double phi, double theta, double psi, Mat3& rmat) {
    Mat3 result = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    const double angles[3] = {phi, theta, psi};
    for (std::size_t n = 0; n < order.size() && n < 3; ++n) {
        int axis = -1;
        switch (order[n]) {
        case 'X':
        case 'x':
        case '1':
            axis = 0;
            break;
        case 'Y':
        case 'y':
        case '2':
            axis = 1;
            break;
        case 'Z':
        case 'z':
        case '3':
            axis = 2;
            break;
        default:
            break;
        }
        if (axis < 0) break;
        // Each new rotation acts on the frame already rotated: it multiplies from the left.
        sla_dmxm(axis_rotation(axis, angles[n]), result, result);
    }
    rmat = result;
}

void sla_prec(double ep0, double ep1, Mat3& rmatp) {
    // Lieske et al. (1977): zeta, z and theta as polynomials in the interval t from ep0 and in the
    // offset t0 of ep0 from J2000, both in Julian centuries.
    const double t0 = (ep0 - 2000.0) / 100.0;
    const double t = (ep1 - ep0) / 100.0;
    const double tas2r = t * arcsec2rad;
    const double w = 2306.2181 + (1.39656 - 0.000139 * t0) * t0;
    const double zeta = (w + ((0.30188 - 0.000344 * t0) + 0.017998 * t) * t) * tas2r;
    const double z = (w + ((1.09468 + 0.000066 * t0) + 0.018203 * t) * t) * tas2r;
    const double theta =
        ((2004.3109 + (-0.85330 - 0.000217 * t0) * t0) + ((-0.42665 - 0.000217 * t0) - 0.041833 * t) * t) *
        tas2r;
    sla_deuler("ZYZ", -zeta, theta, -z, rmatp);
}

void sla_nutc(double date, double& dpsi, double& deps, double& eps0) {
    const double t = (date - 51544.5) / 36525.0; // Julian centuries since J2000
    // Fundamental arguments of the IAU 1980 theory: arcseconds plus whole revolutions per century.
    auto fundamental = [t](double c0, double c1, double c2, double c3, double revolutions) {
        return std::remainder(arcsec2rad * (c0 + (c1 + (c2 + c3 * t) * t) * t) +
                                  twopi * std::fmod(revolutions * t, 1.0),
                              twopi);
    };
    const double el = fundamental(485866.733, 715922.633, 31.310, 0.064, 1325.0);
    const double elp = fundamental(1287099.804, 1292581.224, -0.577, -0.012, 99.0);
    const double f = fundamental(335778.877, 295263.137, -13.257, 0.011, 1342.0);
    const double d = fundamental(1072261.307, 1105601.328, -6.891, 0.019, 1236.0);
    const double om = fundamental(450160.280, -482890.539, 7.455, 0.008, -5.0);

    // Summed from the smallest terms up.
    double dp = 0.0, de = 0.0;
    for (auto it = std::rbegin(nutation_1980); it != std::rend(nutation_1980); ++it) {
        const double arg = it->nl * el + it->nlp * elp + it->nf * f + it->nd * d + it->nom * om;
        dp += (it->sp + it->spt * t) * std::sin(arg);
        de += (it->ce + it->cet * t) * std::cos(arg);
    }
    dpsi = dp * arcsec2rad * 1e-4;
    deps = de * arcsec2rad * 1e-4;
    // IAU 1980 mean obliquity of date.
    eps0 = arcsec2rad * (84381.448 + (-46.8150 + (-0.00059 + 0.001813 * t) * t) * t);
}

void sla_nut(double date, Mat3& rmatn) {
    double dpsi = 0, deps = 0, eps0 = 0;
    sla_nutc(date, dpsi, deps, eps0);
    // Mean equator of date -> ecliptic -> shifted by dpsi -> true equator.
    sla_deuler("XZX", eps0, -dpsi, -(eps0 + deps), rmatn);
}

void sla_prenut(double epoch, double date, Mat3& rmatpn) {
    Mat3 rmatp{}, rmatn{};
    sla_prec(epoch, sla_epj(date), rmatp);
    sla_nut(date, rmatn);
    sla_dmxm(rmatn, rmatp, rmatpn);
}

void sla_geoc(double p, double h, double& r, double& z) {
    // IAU 1976 ellipsoid: a = 6378140 m, 1/f = 298.257; AU = 1.49597870e11 m.
    constexpr double a0 = 6378140.0;
    constexpr double f = 1.0 / 298.257;
    constexpr double b = (1.0 - f) * (1.0 - f);
    constexpr double au = 1.49597870e11;
    const double sp = std::sin(p), cp = std::cos(p);
    const double c = 1.0 / std::sqrt(cp * cp + b * sp * sp);
    const double s = b * c;
    r = (a0 * c + h) * cp / au;
    z = (a0 * s + h) * sp / au;
}

void sla_pvobs(double p, double h, double stl, PV6& pv) {
    constexpr double sidereal_rate = 7.292115855306589e-5; // rad/s, mean sidereal rotation
    double r = 0, z = 0;
    sla_geoc(p, h, r, z);
    const double s = std::sin(stl), c = std::cos(stl);
    const double v = sidereal_rate * r;
    pv = {r * c, r * s, z, -v * s, v * c, 0.0};
}

void sla_dmoon(double date, PV6& pv) {
    // Velocity by differentiating the theory over +-1 minute.
    set_pv(pv, moon_position(date), central_difference(moon_position, date, 1.0 / 1440.0));
}

void sla_earth(int iy, int id, double fd, PV6& pv) {
    constexpr double speed = 1.9913e-7; // mean orbital speed of the Earth, AU/s
    constexpr double remb = 3.12e-5;    // mean Earth - barycentre distance, AU
    constexpr double semb = 8.31e-11;   // mean Earth - barycentre speed, AU/s

    // Years since 1900 and fraction of year in a four-year Julian cycle (the day count is aligned on
    // the Gregorian calendar between 1900 March 1 and 2100 February 28).
    const int iy4 = ((iy % 4) + 4) % 4;
    const int leap_shift = (iy4 == 0) ? 1 : 0;
    const double yf = (4.0 * (id - leap_shift) - iy4 - 2 + 4.0 * fd) / 1461.0;
    const double t = (iy - 1900) + yf;

    const double elm = std::fmod(4.881628 + twopi * yf + 0.00013420 * t, twopi); // Sun's mean longitude
    const double gam = 4.908230 + 3.0005e-4 * t;                                 // longitude of perigee
    const double em = elm - gam;                                                 // mean anomaly
    const double eps0 = 0.40931975 - 2.27e-6 * t;                                // mean obliquity
    const double e = 0.016751 - 4.2e-7 * t;                                      // eccentricity
    const double esq = e * e;
    const double v = em + 2.0 * e * std::sin(em) + 1.25 * esq * std::sin(2.0 * em); // true anomaly
    const double elt = v + gam;                                                     // true longitude
    const double r = (1.0 - esq) / (1.0 + e * std::cos(v));                         // radius vector
    const double elmm = std::fmod(4.72 + 83.9971 * t, twopi);                       // Moon's mean longitude

    // The Earth is opposite the Sun, displaced from the barycentre towards the anti-Moon; as
    // published, the barycentre offset is applied in the equator only (not in z).
    const double ce = std::cos(eps0), se = std::sin(eps0);
    const double sl = std::sin(elt), cl = std::cos(elt), sm = std::sin(elmm), cm = std::cos(elmm);
    const double yecl = -r * sl;
    const double vyecl = -speed * (cl + e * std::cos(gam));
    pv = {-r * cl - remb * cm,
          (yecl - remb * sm) * ce,
          yecl * se,
          speed * (sl + e * std::sin(gam)) + semb * sm,
          (vyecl - semb * cm) * ce,
          vyecl * se};
}

void sla_planet(double date, int np, PV6& pv, int& jstat) {
    pv.fill(0.0);
    if (np < 1 || np > 9) {
        jstat = -1;
        return;
    }
    auto ecliptic_to_equator = [](const Vec3& v) {
        // Mean obliquity of J2000 (IAU 1976).
        const double eps = arcsec2rad * 84381.448;
        const double ce = std::cos(eps), se = std::sin(eps);
        return Vec3{v[0], v[1] * ce - v[2] * se, v[1] * se + v[2] * ce};
    };
    if (np == 9) {
        auto position = [&](double d) { return ecliptic_to_equator(pluto_position(d)); };
        set_pv(pv, position(date), central_difference(position, date, 0.1));
        // The series is fitted to 1885-2099.
        const double epoch = sla_epj(date);
        jstat = (epoch < 1885.0 || epoch > 2099.0) ? 1 : 0;
        return;
    }
    const PlanetElements& p = simon1994[np - 1];
    bool ok = true;
    auto position = [&](double d) {
        bool c = true;
        Vec3 x = ecliptic_to_equator(planet_position(p, d, c));
        ok = ok && c;
        return x;
    };
    const Vec3 pos = position(date);
    const Vec3 vel = central_difference(position, date, 0.01);
    set_pv(pv, pos, vel);
    jstat = !ok ? 2 : (std::fabs((date - 51544.5) / 365250.0) > 1.0 ? 1 : 0);
}

MoonOfDate moon_of_date(double date) {
    MoonOfDate mod;
    mod.date = date;
    sla_dmoon(date, mod.moon);
    sla_nut(date, mod.rnut);
    return mod;
}

void sla_rdplan_plus(double date, int np, double elong, double phi, double& ra, double& dec, double& diam,
                     PV6& v, double& r) {
    sla_rdplan_plus(moon_of_date(date), np, elong, phi, ra, dec, diam, v, r);
}

void sla_rdplan_plus(const MoonOfDate& mod, int np, double elong, double phi, double& ra, double& dec,
                     double& diam, PV6& v, double& r) {
    const double date = mod.date;
    // Equatorial radii (km) of the Sun, Mercury, Venus, Moon, Mars, Jupiter, Saturn, Uranus, Neptune, Pluto.
    constexpr double radius_km[10] = {696000.0, 2439.7,  6051.9,  1738.0,  3397.0,
                                      71492.0,  60268.0, 25559.0, 24764.0, 1151.0};
    constexpr double light_time_per_au = 499.004782;      // s
    constexpr double moon_earth_mass_ratio = 0.012150581; // Moon / (Earth + Moon)

    const int ip = (np >= 0 && np <= 9) ? np : 0;

    // Local mean sidereal time: universal time from the dynamical date through the approximate
    // TT-UT, plus the observer's longitude.
    const double stl = orbits::sla_gmst(date - sla_dt(sla_epj(date)) / 86400.0) + elong;

    // Geocentric Moon, mean of date, nutated to the true equator and equinox of date.
    const PV6& moon = mod.moon;
    const Mat3& rnut = mod.rnut;
    Vec3 moon_p{}, moon_v{};
    sla_dmxv(rnut, pos_of(moon), moon_p);
    sla_dmxv(rnut, vel_of(moon), moon_v);

    Vec3 p{}, vel{};
    if (ip == 3) {
        p = moon_p;
        vel = moon_v;
    } else {
        // Heliocentric barycentre and planet (J2000) to the true equator and equinox of date.
        // Precession from J2000 to date, then the nutation of date already at hand (sla_prenut's product).
        Mat3 rpn{}, rprec{};
        sla_prec(2000.0, sla_epj(date), rprec);
        sla_dmxm(rnut, rprec, rpn);
        int jstat = 0;
        PV6 emb{};
        sla_planet(date, 3, emb, jstat);
        Vec3 emb_p{}, emb_v{};
        sla_dmxv(rpn, pos_of(emb), emb_p);
        sla_dmxv(rpn, vel_of(emb), emb_v);
        // The Earth from the barycentre.
        const Vec3 earth_p = vecsub(emb_p, veccoe(moon_p, moon_earth_mass_ratio));
        const Vec3 earth_v = vecsub(emb_v, veccoe(moon_v, moon_earth_mass_ratio));
        if (ip == 0) {
            p = veccoe(earth_p, -1.0);
            vel = veccoe(earth_v, -1.0);
        } else {
            PV6 planet{};
            sla_planet(date, ip, planet, jstat);
            Vec3 pl_p{}, pl_v{};
            sla_dmxv(rpn, pos_of(planet), pl_p);
            sla_dmxv(rpn, vel_of(planet), pl_v);
            p = vecsub(pl_p, earth_p);
            vel = vecsub(pl_v, earth_v);
        }
    }

    // Topocentric: subtract the observer (zero height).
    PV6 obs{};
    sla_pvobs(phi, 0.0, stl, obs);
    p = vecsub(p, pos_of(obs));
    vel = vecsub(vel, vel_of(obs));

    // Light time: the object as it was when the light left it.
    r = std::sqrt(scapro(p, p));
    const double tl = light_time_per_au * r;
    p = vecsub(p, veccoe(vel, tl));

    sla_dcc2s(p, ra, dec);
    ra = sla_dranrm(ra);
    diam = 2.0 * std::asin(radius_km[ip] / (au_km * r));
    set_pv(v, p, vel);
}

} // namespace quelmar::models
