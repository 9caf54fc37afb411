#include "models/ocean_loading.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "orbits/timescales.hpp"

namespace quelmar::models {

namespace {

constexpr double kPi = 3.1415926535897932384626433;
constexpr double kDegToRad = 0.01745329252; // the rounded value of the published routine

// A harmonic of the tide-generating potential: Doodson multipliers of (tau, s, h, p, N', ps) and the
// Cartwright-Tayler-Edden equilibrium amplitude (signed; the sign is that of the potential term).
struct Harmonic {
    std::array<std::int8_t, 6> d;
    float amp;
};

// The 141 harmonics (51 semidiurnal, 59 diurnal, 31 long-period) with amplitudes to five decimals, as
// published by D. C. Agnew with HARDISP (IERS Conventions software, 2005 version) and SPOTL (hartid).
constexpr Harmonic kHarmonics[] = {
    {{2, 0, 0, 0, 0, 0}, 0.63221f},   {{2, 2, -2, 0, 0, 0}, 0.29411f},  {{2, -1, 0, 1, 0, 0}, 0.12105f},
    {{2, 2, 0, 0, 0, 0}, 0.07991f},   {{2, 2, 0, 0, 1, 0}, 0.02382f},   {{2, 0, 0, 0, -1, 0}, -0.02359f},
    {{2, -1, 2, -1, 0, 0}, 0.02299f}, {{2, -2, 2, 0, 0, 0}, 0.01933f},  {{2, 1, 0, -1, 0, 0}, -0.01787f},
    {{2, 2, -3, 0, 0, 1}, 0.01719f},  {{2, -2, 0, 2, 0, 0}, 0.01602f},  {{2, -3, 2, 1, 0, 0}, 0.00467f},
    {{2, 1, -2, 1, 0, 0}, -0.00466f}, {{2, -1, 0, 1, -1, 0}, -0.00452f}, {{2, 3, 0, -1, 0, 0}, 0.00447f},
    {{2, 1, 0, 1, 0, 0}, 0.00447f},   {{2, 2, 0, 0, 2, 0}, 0.00259f},   {{2, 2, -1, 0, 0, -1}, -0.00246f},
    {{2, 0, -1, 0, 0, 1}, -0.00217f}, {{2, 1, 0, 1, 1, 0}, 0.00197f},   {{2, 3, 0, -1, 1, 0}, 0.00195f},
    {{2, 0, 1, 0, 0, -1}, 0.00191f},  {{2, 0, -2, 2, 0, 0}, -0.00190f}, {{2, -3, 0, 3, 0, 0}, 0.00180f},
    {{2, -2, 3, 0, 0, -1}, 0.00130f}, {{2, 4, 0, 0, 0, 0}, 0.00117f},   {{2, -1, 1, 1, 0, -1}, 0.00113f},
    {{2, -1, 3, -1, 0, -1}, 0.00106f}, {{2, 2, 0, 0, -1, 0}, -0.00102f}, {{2, -1, -1, 1, 0, 1}, -0.00102f},
    {{2, 4, 0, 0, 1, 0}, 0.00101f},   {{2, -3, 4, -1, 0, 0}, 0.00090f}, {{2, -1, 2, -1, -1, 0}, -0.00086f},
    {{2, 3, -2, 1, 0, 0}, 0.00085f},  {{2, 1, 2, -1, 0, 0}, 0.00085f},  {{2, -4, 2, 2, 0, 0}, 0.00077f},
    {{2, 4, -2, 0, 0, 0}, 0.00074f},  {{2, 0, 2, 0, 0, 0}, 0.00074f},   {{2, -2, 2, 0, -1, 0}, -0.00072f},
    {{2, 2, -4, 0, 0, 2}, 0.00070f},  {{2, 2, -2, 0, -1, 0}, 0.00066f}, {{2, 1, 0, -1, -1, 0}, 0.00065f},
    {{2, -1, 1, 0, 0, 0}, -0.00065f}, {{2, 2, -1, 0, 0, 1}, 0.00063f},  {{2, 2, 1, 0, 0, -1}, 0.00063f},
    {{2, -2, 0, 2, -1, 0}, -0.00060f}, {{2, -2, 4, -2, 0, 0}, 0.00059f}, {{2, 2, 2, 0, 0, 0}, 0.00054f},
    {{2, -4, 4, 0, 0, 0}, 0.00048f},  {{2, -1, 0, -1, -2, 0}, -0.00046f}, {{2, 1, 2, -1, 1, 0}, 0.00041f},
    // diurnal
    {{1, 1, 0, 0, 0, 0}, 0.36864f},   {{1, -1, 0, 0, 0, 0}, -0.26223f}, {{1, 1, -2, 0, 0, 0}, -0.12200f},
    {{1, -2, 0, 1, 0, 0}, -0.05021f}, {{1, 1, 0, 0, 1, 0}, 0.05003f},   {{1, -1, 0, 0, -1, 0}, -0.04947f},
    {{1, 2, 0, -1, 0, 0}, 0.02062f},  {{1, 0, 0, 1, 0, 0}, 0.02061f},   {{1, 3, 0, 0, 0, 0}, 0.01128f},
    {{1, -2, 2, -1, 0, 0}, -0.00953f}, {{1, -2, 0, 1, -1, 0}, -0.00947f}, {{1, -3, 2, 0, 0, 0}, -0.00801f},
    {{1, 0, 0, -1, 0, 0}, 0.00741f},  {{1, 1, 0, 0, -1, 0}, -0.00730f}, {{1, 3, 0, 0, 1, 0}, 0.00723f},
    {{1, 1, -3, 0, 0, 1}, -0.00713f}, {{1, -3, 0, 2, 0, 0}, -0.00664f}, {{1, 1, 2, 0, 0, 0}, 0.00525f},
    {{1, 0, 0, 1, 1, 0}, 0.00414f},   {{1, 2, 0, -1, 1, 0}, 0.00409f},  {{1, 0, 2, -1, 0, 0}, 0.00394f},
    {{1, 2, -2, 1, 0, 0}, 0.00394f},  {{1, 3, -2, 0, 0, 0}, 0.00342f},  {{1, -1, 2, 0, 0, 0}, 0.00342f},
    {{1, 1, 1, 0, 0, -1}, 0.00289f},  {{1, 1, -1, 0, 0, 1}, 0.00288f},  {{1, 4, 0, -1, 0, 0}, 0.00216f},
    {{1, -4, 2, 1, 0, 0}, -0.00194f}, {{1, 0, -2, 1, 0, 0}, 0.00193f},  {{1, -2, 2, -1, -1, 0}, -0.00180f},
    {{1, 3, 0, -2, 0, 0}, 0.00169f},  {{1, -1, 0, 2, 0, 0}, 0.00169f},  {{1, -1, 0, 0, -2, 0}, 0.00152f},
    {{1, 3, 0, 0, 2, 0}, 0.00151f},   {{1, -3, 2, 0, -1, 0}, -0.00151f}, {{1, 4, 0, -1, 1, 0}, 0.00138f},
    {{1, 0, 0, -1, -1, 0}, 0.00137f}, {{1, 1, -2, 0, -1, 0}, 0.00137f}, {{1, -3, 0, 2, -1, 0}, -0.00125f},
    {{1, 1, 0, 0, 2, 0}, -0.00107f},  {{1, 1, -1, 0, 0, -1}, 0.00102f}, {{1, -1, -1, 0, 0, 1}, 0.00090f},
    {{1, 0, 2, -1, 1, 0}, 0.00087f},  {{1, -1, 1, 0, 0, -1}, -0.00079f}, {{1, -1, -2, 2, 0, 0}, 0.00079f},
    {{1, 2, -2, 1, 1, 0}, 0.00078f},  {{1, -4, 0, 3, 0, 0}, -0.00075f}, {{1, -1, 2, 0, 1, 0}, -0.00075f},
    {{1, 3, -2, 0, 1, 0}, 0.00067f},  {{1, 2, 0, -1, -1, 0}, -0.00060f}, {{1, 0, 0, 1, -1, 0}, -0.00060f},
    {{1, -2, 2, 1, 0, 0}, 0.00054f},  {{1, 4, -2, -1, 0, 0}, 0.00054f}, {{1, -3, 3, 0, 0, -1}, -0.00054f},
    {{1, -2, 1, 1, 0, -1}, -0.00047f}, {{1, -2, 3, -1, 0, -1}, -0.00044f}, {{1, 0, -2, 1, -1, 0}, 0.00044f},
    {{1, -2, -1, 1, 0, 1}, 0.00042f}, {{1, 4, -2, 1, 0, 0}, 0.00041f},
    // long-period
    {{0, 2, 0, 0, 0, 0}, -0.06661f},  {{0, 1, 0, -1, 0, 0}, -0.03518f}, {{0, 0, 2, 0, 0, 0}, -0.03099f},
    {{0, 0, 0, 0, 1, 0}, 0.02793f},   {{0, 2, 0, 0, 1, 0}, -0.02762f},  {{0, 3, 0, -1, 0, 0}, -0.01275f},
    {{0, 1, -2, 1, 0, 0}, -0.00673f}, {{0, 2, -2, 0, 0, 0}, -0.00584f}, {{0, 3, 0, -1, 1, 0}, -0.00529f},
    {{0, 0, 1, 0, 0, -1}, -0.00492f}, {{0, 2, 0, -2, 0, 0}, -0.00288f}, {{0, 2, 0, 0, 2, 0}, -0.00258f},
    {{0, 3, -2, 1, 0, 0}, -0.00242f}, {{0, 1, 0, -1, -1, 0}, 0.00231f}, {{0, 1, 0, -1, 1, 0}, 0.00228f},
    {{0, 4, -2, 0, 0, 0}, -0.00204f}, {{0, 1, 0, 1, 0, 0}, 0.00188f},   {{0, 0, 3, 0, 0, -1}, -0.00181f},
    {{0, 4, 0, -2, 0, 0}, -0.00169f}, {{0, 3, -2, 1, 1, 0}, -0.00100f}, {{0, 3, -2, -1, 0, 0}, -0.00093f},
    {{0, 4, -2, 0, 1, 0}, -0.00084f}, {{0, 0, 2, 0, 1, 0}, 0.00077f},   {{0, 1, 0, 1, 1, 0}, 0.00077f},
    {{0, 4, 0, -2, 1, 0}, -0.00070f}, {{0, 3, 0, -1, 2, 0}, -0.00050f}, {{0, 5, -2, -1, 0, 0}, -0.00049f},
    {{0, 1, 2, -1, 0, 0}, 0.00049f},  {{0, 1, -2, 1, -1, 0}, 0.00048f}, {{0, 1, -2, 1, 1, 0}, 0.00044f},
    {{0, 2, -2, 0, -1, 0}, -0.00042f},
};
constexpr int kNumHarmonics = sizeof(kHarmonics) / sizeof(kHarmonics[0]);
static_assert(kNumHarmonics == 141);

// Doodson numbers of the BLQ constituents, in BLQ order.
constexpr std::array<std::array<std::int8_t, 6>, 11> kBlqDoodson = {{
    {2, 0, 0, 0, 0, 0}, {2, 2, -2, 0, 0, 0}, {2, -1, 0, 1, 0, 0}, {2, 2, 0, 0, 0, 0},
    {1, 1, 0, 0, 0, 0}, {1, -1, 0, 0, 0, 0}, {1, 1, -2, 0, 0, 0}, {1, -2, 0, 1, 0, 0},
    {0, 2, 0, 0, 0, 0}, {0, 1, 0, -1, 0, 0}, {0, 0, 2, 0, 0, 0},
}};

int days_in_year(int y) { return orbits::is_gregorian_leap(y) ? 366 : 365; }

// Julian day number of the Gregorian calendar date (the day starting at noon).
long julian_day_number(int y, int m, int d) {
    const long a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

// UTC epoch in calendar fields, normalised so that second < 60 and the day lies within its year.
struct Epoch {
    int year, doy, hour, minute, second;
};

Epoch normalise(int y, int doy, int h, int mi, int s) {
    mi += s / 60, s %= 60;
    h += mi / 60, mi %= 60;
    doy += h / 24, h %= 24;
    while (doy > days_in_year(y)) doy -= days_in_year(y), ++y;
    return {y, doy, h, mi, s};
}

// Doodson's astronomical arguments (degrees) at the epoch and their rates (cycles per day), from the
// IERS expressions of the Delaunay arguments in Julian centuries of ephemeris time since J2000.
struct DoodsonArguments {
    std::array<double, 6> arg, rate;

    explicit DoodsonArguments(const Epoch& e) {
        // The published routine divides the seconds by 84600 (not 86400) for the fraction of the day; kept so
        // that the synthesis agrees with it (at most 1.25 s of argument within a minute, below 0.01 mm).
        const double dayfr = e.hour / 24.0 + e.minute / 1440.0 + e.second / 84600.0;
        const double year = e.year + (e.doy + dayfr) / days_in_year(e.year);
        const double jd = julian_day_number(e.year, 1, 1) + (e.doy - 1) - 0.5 + dayfr;
        const double t = (jd - 2451545.0 + etutc(year) / 86400.0) / 36525.0;
        auto poly = [t](double a0, double a1, double a2, double a3, double a4) {
            return a0 + t * (a1 + t * (a2 + t * (a3 + t * a4)));
        };
        const double l = poly(134.9634025100, 477198.8675605000, 0.0088553333, 0.0000143431, -0.0000000680);
        const double lp = poly(357.5291091806, 35999.0502911389, -0.0001536667, 0.0000000378, -0.0000000032);
        const double f = poly(93.2720906200, 483202.0174577222, -0.0035420000, -0.0000002881, 0.0000000012);
        const double d = poly(297.8501954694, 445267.1114469445, -0.0017696111, 0.0000018314, -0.0000000088);
        const double om = poly(125.0445550100, -1934.1362619722, 0.0020756111, 0.0000021394, -0.0000000165);
        // s = F + Omega (Moon), h = s - D (Sun), p = s - l (lunar perigee), N' = -Omega, ps = h - l' (solar
        // perigee), tau = lunar time = solar time + 180 deg - (s - h).
        const double s = f + om;
        arg = {360.0 * dayfr - d, s, s - d, s - l, -om, s - d - lp};
        const double fl = 0.0362916471 + 0.0000000013 * t, flp = 0.0027377786;
        const double ff = 0.0367481951 - 0.0000000005 * t, fd = 0.0338631920 - 0.0000000003 * t;
        const double fom = -0.0001470938 + 0.0000000003 * t;
        const double fs = ff + fom;
        rate = {1.0 - fd, fs, fs - fd, fs - fl, -fom, fs - fd - flp};
    }

    // Frequency (cycles/day) and phase (degrees, 0..360) of the harmonic with Doodson numbers n.
    void of(const std::array<std::int8_t, 6>& n, double& freq, double& phase) const {
        freq = 0, phase = 0;
        for (int i = 0; i < 6; ++i) freq += n[i] * rate[i], phase += n[i] * arg[i];
        phase = std::fmod(phase, 360.0);
        if (phase < 0) phase += 360.0;
    }
};

// Cubic spline through (x[i], u[i]), x increasing: returns the second derivatives. The end
// slopes are those of the parabola through the first (last) three points; with three points or fewer the
// curvature is zero everywhere (the evaluation then follows straight lines between the points).
std::vector<float> spline_curvatures(std::span<const float> x, std::span<const float> u) {
    const int n = static_cast<int>(x.size());
    std::vector<float> s(n, 0.0f), a(n, 0.0f);
    if (n <= 3) return s;
    auto end_slope = [](float u1, float x1, float u2, float x2) {
        return (u1 / (x1 * x1) - u2 / (x2 * x2)) / (1.0f / x1 - 1.0f / x2);
    };
    const float q1 = end_slope(u[1] - u[0], x[1] - x[0], u[2] - u[0], x[2] - x[0]);
    const float qn = end_slope(u[n - 2] - u[n - 1], x[n - 2] - x[n - 1], u[n - 3] - u[n - 1], x[n - 3] - x[n - 1]);
    // Right-hand side of the tridiagonal system, then forward elimination and back substitution.
    s[0] = 6.0f * ((u[1] - u[0]) / (x[1] - x[0]) - q1);
    for (int i = 1; i < n - 1; ++i)
        s[i] = (u[i - 1] / (x[i] - x[i - 1]) - u[i] * (1.0f / (x[i] - x[i - 1]) + 1.0f / (x[i + 1] - x[i])) +
                u[i + 1] / (x[i + 1] - x[i])) * 6.0f;
    s[n - 1] = 6.0f * (qn + (u[n - 2] - u[n - 1]) / (x[n - 1] - x[n - 2]));
    a[0] = 2.0f * (x[1] - x[0]);
    a[1] = 1.5f * (x[1] - x[0]) + 2.0f * (x[2] - x[1]);
    s[1] -= 0.5f * s[0];
    for (int i = 2; i < n - 1; ++i) {
        const float c = (x[i] - x[i - 1]) / a[i - 1];
        a[i] = 2.0f * (x[i + 1] - x[i - 1]) - c * (x[i] - x[i - 1]);
        s[i] -= c * s[i - 1];
    }
    const float c = (x[n - 1] - x[n - 2]) / a[n - 2];
    a[n - 1] = (2.0f - c) * (x[n - 1] - x[n - 2]);
    s[n - 1] -= c * s[n - 2];
    s[n - 1] /= a[n - 1];
    for (int i = n - 2; i >= 0; --i) s[i] = (s[i] - (x[i + 1] - x[i]) * s[i + 1]) / a[i];
    return s;
}

// The spline at y; outside the sampled range the nearest end value holds.
float spline_value(float y, std::span<const float> x, std::span<const float> u, std::span<const float> s) {
    const int n = static_cast<int>(x.size());
    if (y <= x[0]) return u[0];
    if (y >= x[n - 1]) return u[n - 1];
    int k = 1;
    while (!(x[k - 1] < y && x[k] >= y)) ++k;
    const float dy = x[k] - y, dy1 = y - x[k - 1], dk = x[k] - x[k - 1];
    const float deli = static_cast<float>(1.0 / (6.0 * dk));
    const float f1 = (s[k - 1] * dy * dy * dy + s[k] * dy1 * dy1 * dy1) * deli;
    const float f2 = dy1 * (u[k] / dk - static_cast<float>(s[k] * dk / 6.0));
    const float f3 = dy * (u[k - 1] / dk - static_cast<float>(s[k - 1] * dk / 6.0));
    return f1 + f2 + f3;
}

// Amplitudes (m), frequencies (cycles/day) and phases (degrees) of the harmonics for one component, from
// the given constituents' amplitudes and phase leads, by spline interpolation of the admittance within
// each band (long-period, diurnal, semidiurnal).
struct Synthesis {
    std::vector<float> amp;
    std::vector<double> freq, phase;
};

Synthesis interpolate_admittance(const std::array<float, 11>& ampin, const std::array<float, 11>& lead,
                                 const DoodsonArguments& args) {
    constexpr float dtr = 0.01745329252f;
    struct Node {
        float f, re, im;
    };
    std::vector<Node> nodes;
    for (int c = 0; c < 11; ++c)
        for (const Harmonic& h : kHarmonics)
            if (h.d == kBlqDoodson[c]) {
                double fr, ph;
                args.of(h.d, fr, ph);
                const float scale = std::fabs(h.amp);
                nodes.push_back({static_cast<float>(fr), ampin[c] * std::cos(dtr * lead[c]) / scale,
                                 ampin[c] * std::sin(dtr * lead[c]) / scale});
                break;
            }
    std::stable_sort(nodes.begin(), nodes.end(), [](const Node& a, const Node& b) { return a.f < b.f; });

    // Per band (species 0, 1, 2): the frequencies, real and imaginary admittances and their curvatures.
    struct Band {
        std::vector<float> f, re, im, sre, sim;
    };
    std::array<Band, 3> band;
    for (const Node& nd : nodes) {
        const int species = nd.f < 0.5f ? 0 : nd.f < 1.5f ? 1 : 2;
        band[species].f.push_back(nd.f), band[species].re.push_back(nd.re), band[species].im.push_back(nd.im);
    }
    for (Band& b : band) b.sre = spline_curvatures(b.f, b.re), b.sim = spline_curvatures(b.f, b.im);

    Synthesis out;
    for (const Harmonic& h : kHarmonics) {
        const int species = h.d[0];
        const Band& b = band[species];
        if (species == 0 && b.f.empty()) continue; // no long-period constituent given
        double fr, ph;
        args.of(h.d, fr, ph);
        // Equilibrium phase of the potential term: the long-period terms are negative cosines, the diurnal
        // ones sines in the Cartwright-Tayler convention.
        if (species == 0) ph += 180.0;
        if (species == 1) ph += 90.0;
        const float sf = static_cast<float>(fr);
        const float re = spline_value(sf, b.f, b.re, b.sre), im = spline_value(sf, b.f, b.im, b.sim);
        ph += std::atan2(im, re) / dtr;
        if (ph > 180.0) ph -= 360.0;
        out.amp.push_back(h.amp * std::sqrt(re * re + im * im));
        out.freq.push_back(fr);
        out.phase.push_back(ph);
    }
    return out;
}

// Sum of a * cos(phase + n * omega) over the harmonics for samples n = 0 .. x.size()-1, by the Chebyshev
// recursion c(n+1) = 2 cos(omega) c(n) - c(n-1) per harmonic (phases in radians, omega in rad/sample).
void sum_harmonics(std::span<float> x, const std::vector<float>& amp, const std::vector<double>& phase,
                   const std::vector<float>& omega) {
    const std::size_t nh = amp.size();
    std::vector<double> cur(nh), prev(nh), twocos(nh);
    for (std::size_t j = 0; j < nh; ++j) {
        const float hc = static_cast<float>(amp[j] * std::cos(phase[j]));
        const float hs = static_cast<float>(-amp[j] * std::sin(phase[j]));
        cur[j] = hc;
        prev[j] = hc * std::cos(omega[j]) - hs * std::sin(omega[j]); // the value one sample before
        twocos[j] = 2.0 * std::cos(static_cast<double>(omega[j]));
    }
    for (float& xi : x) {
        float acc = 0.0f;
        for (std::size_t j = 0; j < nh; ++j) {
            acc = static_cast<float>(acc + cur[j]);
            const double next = twocos[j] * cur[j] - prev[j];
            prev[j] = cur[j], cur[j] = next;
        }
        xi = acc;
    }
}

} // namespace

double etutc(double year) {
    // ET - UT, 1820 to 1961 at yearly steps (Explanatory Supplement to the Astronomical Ephemeris).
    static constexpr float d[142] = {
        5.15f,  4.64f,  5.36f,  3.49f,  3.27f,  2.45f,  4.03f,  1.76f,  3.30f,  1.00f,  2.42f,  0.94f,  2.31f,
        2.27f,  -0.22f, 0.03f,  -0.05f, -0.06f, -0.57f, 0.03f,  -0.47f, 0.98f,  -0.86f, 2.45f,  0.22f,  0.37f,
        2.79f,  1.20f,  3.52f,  1.17f,  2.67f,  3.06f,  2.66f,  2.97f,  3.28f,  3.31f,  3.33f,  3.23f,  3.60f,
        3.52f,  4.27f,  2.68f,  2.75f,  2.67f,  1.94f,  1.39f,  1.66f,  0.88f,  0.33f,  -0.17f, -1.88f, -3.43f,
        -4.05f, -5.77f, -7.06f, -7.36f, -7.67f, -7.64f, -7.93f, -7.82f, -8.35f, -7.91f, -8.03f, -9.14f, -8.18f,
        -7.88f, -7.62f, -7.17f, -8.14f, -7.59f, -7.17f, -7.94f, -8.23f, -7.88f, -7.68f, -6.94f, -6.89f, -7.11f,
        -5.87f, -5.04f, -3.90f, -2.87f, -0.58f, 0.71f,  1.80f,  3.08f,  4.63f,  5.86f,  7.21f,  8.58f,  10.50f,
        12.10f, 12.49f, 14.41f, 15.59f, 15.81f, 17.52f, 19.01f, 18.39f, 19.55f, 20.36f, 21.01f, 21.81f, 21.76f,
        22.35f, 22.68f, 22.94f, 22.93f, 22.69f, 22.94f, 23.20f, 23.31f, 23.63f, 23.47f, 23.68f, 23.62f, 23.53f,
        23.59f, 23.99f, 23.80f, 24.20f, 24.99f, 24.97f, 25.72f, 26.21f, 26.37f, 26.89f, 27.68f, 28.13f, 28.94f,
        29.42f, 29.66f, 30.29f, 30.96f, 31.09f, 31.59f, 32.06f, 31.82f, 32.69f, 33.05f, 33.16f, 33.59f};
    // 1961.5 to 1972.0 at unequal steps (years since 1900, seconds), same source.
    static constexpr float tx[39] = {61.5f,   62.0f,   62.5f,   63.0f,   63.5f,   64.0f,   64.5f,   65.0f,
                                     65.5f,   66.0f,   66.5f,   67.0f,   67.5f,   68.0f,   68.25f,  68.5f,
                                     68.75f,  69.0f,   69.25f,  69.5f,   69.75f,  70.0f,   70.25f,  70.5f,
                                     70.75f,  71.0f,   71.085f, 71.162f, 71.247f, 71.329f, 71.414f, 71.496f,
                                     71.581f, 71.666f, 71.748f, 71.833f, 71.915f, 71.999f, 72.0f};
    static constexpr float ty[39] = {33.59f,  34.032f, 34.235f, 34.441f, 34.644f, 34.95f,  35.286f, 35.725f,
                                     36.16f,  36.498f, 36.968f, 37.444f, 37.913f, 38.39f,  38.526f, 38.76f,
                                     39.0f,   39.238f, 39.472f, 39.707f, 39.946f, 40.185f, 40.42f,  40.654f,
                                     40.892f, 41.131f, 41.211f, 41.284f, 41.364f, 41.442f, 41.522f, 41.600f,
                                     41.680f, 41.761f, 41.838f, 41.919f, 41.996f, 42.184f, 42.184f};
    // Leap seconds after 1972 (each +1 s), as far as the table of the routine goes.
    static constexpr double steps[23] = {1972.5, 1973.0, 1974.0, 1975.0, 1976.0, 1977.0, 1978.0, 1979.0,
                                         1980.0, 1981.5, 1982.5, 1983.5, 1985.5, 1988.0, 1990.0, 1991.0,
                                         1992.5, 1993.5, 1994.5, 1996.0, 1997.5, 1999.0, 2006.0};
    if (year < 1700.0) return 0.0;
    if (year < 1785.0) return (year - 1750.0) / 5.0;
    if (year < 1820.5) return 6.0;
    if (year < 1961.5) {
        const int n = static_cast<int>(year - 1819.5); // 1-based index of the year below
        const double frac = year - (1819.5 + n);
        return (d[n] - d[n - 1]) * frac + d[n - 1];
    }
    if (year < 1972.0) {
        const double yy = year - 1900.0;
        for (int i = 1; i < 39; ++i) {
            if (yy == tx[i]) return ty[i];
            if (yy < tx[i]) return ty[i - 1] + (ty[i] - ty[i - 1]) * ((yy - tx[i - 1]) / (tx[i] - tx[i - 1]));
        }
    }
    double delta = 42.184;
    for (double st : steps)
        if (year >= st) delta += 1.0;
    return delta;
}

void shardisp(int iyear, int idoy, int ihr, int imin, int isec, int num, double samp, const OtlTable& tamp,
              const OtlTable& tph, std::span<float> dz, std::span<float> ds, std::span<float> dw) {
    const DoodsonArguments args(normalise(iyear, idoy, ihr, imin, isec));
    std::array<Synthesis, 3> comp; // vertical, west, south
    for (int k = 0; k < 3; ++k) {
        std::array<float, 11> lead;
        for (int j = 0; j < 11; ++j) lead[j] = -tph[k][j]; // lags to leads
        comp[k] = interpolate_admittance(tamp[k], lead, args);
        for (double& p : comp[k].phase) p *= kDegToRad;
    }
    // Phase step per sample (radians); the frequencies are the same for the three components.
    std::vector<float> omega(comp[0].freq.size());
    for (std::size_t i = 0; i < omega.size(); ++i)
        omega[i] = static_cast<float>(samp * kPi * comp[0].freq[i] / 43200.0);

    // Blocks of at most 600 samples; each block restarts the recursion from freshly computed phases so that
    // its rounding errors do not accumulate over long series.
    constexpr int block = 600;
    for (int start = 0; start < num; start += block) {
        const int np = std::min(block, num - start);
        sum_harmonics(dz.subspan(start, np), comp[0].amp, comp[0].phase, omega);
        sum_harmonics(ds.subspan(start, np), comp[2].amp, comp[2].phase, omega);
        sum_harmonics(dw.subspan(start, np), comp[1].amp, comp[1].phase, omega);
        for (Synthesis& c : comp)
            for (std::size_t i = 0; i < c.phase.size(); ++i)
                c.phase[i] = std::fmod(c.phase[i] + np * static_cast<double>(omega[i]), 2.0 * kPi);
    }
}

void ocean_tide_loading1(int iyearobs, int idoyobs, int ihoobs, int imiobs, double secobs, const OtlTable& tamp,
                         const OtlTable& tph, std::array<double, 3>& denu) {
    const int iseobs = static_cast<int>(std::lround(secobs)); // 59.6 s -> 60 s, the next minute
    float dz = 0, ds = 0, dw = 0;
    shardisp(iyearobs, idoyobs, ihoobs, imiobs, iseobs, 1, 1.0, tamp, tph, {&dz, 1}, {&ds, 1}, {&dw, 1});
    denu = {-static_cast<double>(dw), -static_cast<double>(ds), static_cast<double>(dz)};
}

} // namespace quelmar::models
