#include "iono/nequick.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <span>
#include <string_view>

#include "textio/format.hpp"
#include "textio/listread.hpp"

namespace quelmar::iono {

namespace {

constexpr double deg = std::numbers::pi / 180.0;

// Layout of a monthly coefficient file: the foF2 map, 13 diurnal Fourier coefficients (mean, then sine
// and cosine of 6 harmonics) for each of 76 geographic functions, at R12 = 0 and at R12 = 100; then the
// M(3000)F2 map, 9 coefficients (4 harmonics) for each of 49 functions, at the same two levels.
constexpr int f2_time = 13, f2_geo = 76, m3_time = 9, m3_geo = 49;
constexpr int f2_size = f2_time * f2_geo, m3_size = m3_time * m3_geo;
constexpr int map_values = 2 * f2_size + 2 * m3_size; // 2858

// Highest power of sin(modip) for each longitude order m = 0, 1, ... of the geographic functions
// (ITU-R P.1239 / CCIR Report 340): foF2 up to order 8, M(3000)F2 up to order 6.
constexpr std::array<int, 9> f2_powers{11, 11, 8, 4, 1, 0, 0, 0, 0};
constexpr std::array<int, 7> m3_powers{6, 7, 5, 2, 1, 0, 0};

// exp with its argument held to +-80: the smooth switches below take exponentials of large arguments
// and must neither overflow nor turn exactly into 0/1.
double limited_exp(double x) {
    return std::exp(std::clamp(x, -80.0, 80.0));
}

// A smooth switch between two expressions: f1 where x >> 0, f2 where x << 0, the steepness alpha
// setting how quickly it changes over near x = 0. The model uses it for every limit and case
// distinction, so that densities stay continuous in place and time.
double join(double f1, double f2, double alpha, double x) {
    const double e = limited_exp(alpha * x);
    return (f1 * e + f2) / (e + 1.0);
}

// Peak density (1e11 m^-3) of a layer of critical frequency f (MHz): N = f^2 / 80.6 in these units.
double density_of_frequency(double f_mhz) {
    return 0.124 * f_mhz * f_mhz;
}

// An Epstein layer of peak amplitude `amp` (4 times its peak density), peak height hm and thickness b,
// at height h.
double epstein(double amp, double hm, double b, double h) {
    const double e = limited_exp((h - hm) / b);
    return amp * e / ((1.0 + e) * (1.0 + e));
}

// Cubic through four equally spaced values at -1, 0, 1, 2, taken at t (0 <= t <= 1).
double cubic4(const double* z, double t) {
    const double a = t + 1.0, b = t, c = t - 1.0, d = t - 2.0;
    return -z[0] * b * c * d / 6.0 + z[1] * a * c * d / 2.0 - z[2] * a * b * d / 2.0 + z[3] * a * b * c / 6.0;
}

// One CCIR map at a place and time. `lo` and `hi` are the coefficients at R12 = 0 and R12 = 100,
// interpolated linearly in R12 (and extrapolated up to the saturation at R12 = 150). First the diurnal
// series gives, for each geographic function, its coefficient at this Universal Time; the map is then
// the sum over the geographic functions: sin^n(modip) for the zonal terms, and
// sin^n(modip) cos^m(lat) {cos, sin}(m lon) for the longitude orders m >= 1.
// The coefficients of a CCIR map at one time and activity level: each spatial coefficient is linear in
// R12 between the sets for R12 = 0 (lo) and 100 (hi) and a Fourier series in the hour angle of the mean
// Sun. They depend on the month, the flux and the time only, so the points of a ray or a voxel grid at
// one epoch share them.
void ccir_time_coefficients(const double* lo, const double* hi, double r12, int ntime, int ngeo, double ut,
                            std::vector<double>& c) {
    const double w = r12 / 100.0;
    const int harmonics = (ntime - 1) / 2;
    const double t = (15.0 * ut - 180.0) * deg; // the hour angle of the mean Sun at Greenwich
    std::array<double, 7> sn{}, cs{};
    for (int k = 1; k <= harmonics; ++k) {
        sn[k] = std::sin(k * t);
        cs[k] = std::cos(k * t);
    }
    c.resize(static_cast<std::size_t>(ngeo));
    for (int g = 0; g < ngeo; ++g) {
        const double* a = lo + g * ntime;
        const double* b = hi + g * ntime;
        double v = a[0] * (1.0 - w) + b[0] * w;
        for (int k = 1; k <= harmonics; ++k)
            v += (a[2 * k - 1] * (1.0 - w) + b[2 * k - 1] * w) * sn[k] + (a[2 * k] * (1.0 - w) + b[2 * k] * w) * cs[k];
        c[static_cast<std::size_t>(g)] = v;
    }
}

// The map at a place: the time coefficients over powers of sin(modified dip), times cos^m(latitude) and
// the cosine and sine of m times the longitude.
// The terms of the map basis at one place: powers of sin(modip), cos(latitude), and the cosine and
// sine of each multiple of the longitude. The foF2 and M(3000)F2 maps of a place share them.
struct CcirBasis {
    std::array<double, 13> sinpow{};
    double clat = 0;
    std::array<double, 9> cl{}, sl{}; // m = 1..8
};

CcirBasis ccir_basis(double modip_deg, double lat_deg, double lon_deg) {
    CcirBasis b;
    b.sinpow[0] = 1.0;
    const double s = std::sin(modip_deg * deg);
    for (std::size_t n = 1; n < b.sinpow.size(); ++n) b.sinpow[n] = b.sinpow[n - 1] * s;
    b.clat = std::cos(lat_deg * deg);
    for (std::size_t m = 1; m < b.cl.size(); ++m) {
        b.cl[m] = std::cos(m * lon_deg * deg);
        b.sl[m] = std::sin(m * lon_deg * deg);
    }
    return b;
}

double ccir_map(const std::vector<double>& coefficients, std::span<const int> powers, const CcirBasis& b) {
    auto coefficient = [&](int g) { return coefficients[static_cast<std::size_t>(g)]; };
    int g = 0;
    double sum = 0.0;
    for (int n = 0; n <= powers[0]; ++n) sum += coefficient(g++) * b.sinpow[n];
    double clat_m = 1.0;
    for (std::size_t m = 1; m < powers.size(); ++m) {
        clat_m *= b.clat;
        for (int n = 0; n <= powers[m]; ++n) {
            const double f = b.sinpow[n] * clat_m;
            sum += coefficient(g++) * f * b.cl[m];
            sum += coefficient(g++) * f * b.sl[m];
        }
    }
    return sum;
}

// The files of the package carry upper-case names (they were made on a case-blind system); copies of it
// are often unpacked with lower-case names. The upper-case name is tried first, the lower-case one next.
std::string open_either(const std::string& dir, const std::string& upper, const std::string& lower,
                        std::ifstream& in) {
    for (const auto* name : {&upper, &lower}) {
        const std::string path = dir + "/" + *name;
        in.open(path);
        if (in) return path;
        in.clear();
    }
    throw NeQuickError("NeQuick: cannot open " + dir + "/" + upper + " (nor " + dir + "/" + lower + ")");
}

// Successive lines of a stream, for a formatted read that runs over many records.
class LineSource : public textio::RecordSource {
  public:
    explicit LineSource(std::istream& in) : in_(in) {}
    bool next(std::string_view& record) override {
        if (!std::getline(in_, line_)) return false;
        ++count_;
        record = line_;
        return true;
    }
    long count() const { return count_; }

  private:
    std::istream& in_;
    std::string line_;
    long count_ = 0;
};

// The solar declination (sine, cosine) at mid-month, day of year 30.5 month - 15, from the mean anomaly
// and the ecliptic longitude of the Sun (a low-precision almanac formula, good to a fraction of a degree).
// The day count advances with Universal Time, so at 0 h UT it steps by one day (at most 0.4 deg of
// declination): the model is defined so, and the densities step by a few 1e-5 there.
void solar_declination(int month, double ut, double& sdec, double& cdec) {
    const double doy = 30.5 * month - 15.0;
    const double t = doy + (18.0 - ut) / 24.0;
    const double m = (0.9856 * t - 3.289) * deg;
    const double l = m + (1.916 * std::sin(m) + 0.020 * std::sin(2.0 * m) + 282.634) * deg;
    sdec = 0.39782 * std::sin(l);
    cdec = std::sqrt(1.0 - sdec * sdec);
}

} // namespace

NeQuick::NeQuick(std::string dir) : dir_(std::move(dir)) {
    std::ifstream in;
    const std::string path = open_either(dir_, "DIPLATS.ASC", "diplats.asc", in);
    // One list-directed record set per latitude row (-90 .. 90 by 5 deg), 37 longitudes each
    // (-180 .. 180 by 10 deg): dip latitudes of the 1977 field expansion, consistent with the CCIR maps.
    textio::ListReader r(in);
    std::vector<double> row(37);
    for (int i = 0; i < 37; ++i) {
        const auto st = r.read_numbers(row);
        if (!st.ok())
            throw NeQuickError("NeQuick: " + path + ": record " + std::to_string(r.record_number()) + ": " +
                               (st.message.empty() ? "end of file before 37 rows of 37 values" : st.message));
        for (int j = 0; j < 37; ++j) {
            if (std::abs(row[j]) > 90.0)
                throw NeQuickError("NeQuick: " + path + ": dip latitude out of range in row " +
                                   std::to_string(i + 1));
            diplat_[i * 37 + j] = row[j];
        }
    }
}

const std::vector<double>& NeQuick::month_maps(int month) {
    if (const auto it = maps_.find(month); it != maps_.end()) return it->second;
    const std::string nn = std::to_string(month + 10);
    std::ifstream in;
    const std::string path = open_either(dir_, "CCIR" + nn + ".ASC", "ccir" + nn + ".asc", in);
    std::vector<double> v(map_values);
    std::vector<textio::InItem> items(v.begin(), v.end());
    static const textio::Format fmt("(4E16.8)");
    LineSource src(in);
    const auto st = textio::require_finite(fmt.read_items(src, items), items);
    if (!st.ok())
        throw NeQuickError("NeQuick: " + path + ": record " + std::to_string(src.count()) + ": " +
                           (st.iostat == textio::IoStat::end_of_file
                                ? "end of file before the " + std::to_string(map_values) + " coefficients"
                                : st.message));
    return maps_.emplace(month, std::move(v)).first->second;
}

double NeQuick::r12_of_flux(double flux) {
    const double f = std::min(flux, flux_saturation);
    return std::sqrt(167273.0 + (f - 63.7) * 1123.6) - 408.99;
}

double NeQuick::dip(double lat_deg, double lon_deg) const {
    // Dip latitude by bicubic interpolation in the grid; beyond a pole the grid continues over it, on
    // the meridian 180 deg away.
    auto node = [&](int i, int j) {
        if (i < 0) {
            i = -i;
            j += 18;
        } else if (i > 36) {
            i = 72 - i;
            j += 18;
        }
        j = ((j % 36) + 36) % 36;
        return diplat_[i * 37 + j];
    };
    const double x = (lat_deg + 90.0) / 5.0;
    const int i0 = std::clamp(static_cast<int>(std::floor(x)), 0, 35);
    const double lon = lon_deg - 360.0 * std::floor((lon_deg + 180.0) / 360.0); // -180 .. 180
    const double y = (lon + 180.0) / 10.0;
    const int j0 = std::min(static_cast<int>(std::floor(y)), 35);
    std::array<double, 4> along{}, col{};
    for (int k = 0; k < 4; ++k) {
        for (int l = 0; l < 4; ++l) col[l] = node(i0 - 1 + l, j0 - 1 + k);
        along[k] = cubic4(col.data(), x - i0);
    }
    const double diplat = cubic4(along.data(), y - j0);
    // The dip from the dipole relation tan I = 2 tan(dip latitude).
    return std::atan2(2.0 * std::sin(diplat * deg), std::cos(diplat * deg)) / deg;
}

double NeQuick::modip(double lat_deg, double lon_deg) const {
    return modip_of_dip(dip(lat_deg, lon_deg), lat_deg);
}

double NeQuick::modip_of_dip(double dip_deg, double lat_deg) {
    // The modified dip (Rawer) follows the dip near the magnetic equator and bends towards the
    // geographic latitude away from it: tan(modip) = I / sqrt(cos lat), I in radians.
    return std::atan2(dip_deg * deg, std::sqrt(std::abs(std::cos(lat_deg * deg)))) / deg;
}

const NeQuickAnchors& NeQuick::anchors(double lat_deg, double lon_deg, int month, double flux, double ut) {
    if (month < 1 || month > 12)
        throw NeQuickError("NeQuick: month " + std::to_string(month) + " outside 1..12");
    if (!std::isfinite(flux) || flux < 0.0 || !std::isfinite(ut) || !std::isfinite(lat_deg) ||
        !std::isfinite(lon_deg))
        throw NeQuickError("NeQuick: flux, time or place not a finite value in range");
    const Key key{lat_deg, lon_deg, flux, ut, month};
    if (key == last_key_ && last_.nmax > 0) return last_;
    const auto& maps = month_maps(month);

    NeQuickAnchors a;
    a.flux = std::min(flux, flux_saturation);
    a.r12 = r12_of_flux(a.flux);
    ut = std::fmod(ut, 24.0);
    if (ut < 0) ut += 24.0;

    a.dip = dip(lat_deg, lon_deg);
    a.modip = modip_of_dip(a.dip, lat_deg);

    // Solar zenith angle at local time.
    double lt = std::fmod(ut + lon_deg / 15.0, 24.0);
    if (lt < 0) lt += 24.0;
    double sdec = 0, cdec = 0;
    solar_declination(month, ut, sdec, cdec);
    const double cchi = std::sin(lat_deg * deg) * sdec +
                        std::cos(lat_deg * deg) * cdec * std::cos(std::numbers::pi * (12.0 - lt) / 12.0);
    a.chi = std::atan2(std::sqrt(std::max(0.0, 1.0 - cchi * cchi)), cchi) / deg;

    // F2 layer: the CCIR maps.
    if (!(tc_.valid && tc_.month == month && tc_.r12 == a.r12 && tc_.ut == ut)) {
        const double* m3 = maps.data() + 2 * f2_size;
        ccir_time_coefficients(maps.data(), maps.data() + f2_size, a.r12, f2_time, f2_geo, ut, tc_.f2);
        ccir_time_coefficients(m3, m3 + m3_size, a.r12, m3_time, m3_geo, ut, tc_.m3);
        tc_.valid = true, tc_.month = month, tc_.r12 = a.r12, tc_.ut = ut;
    }
    const CcirBasis basis = ccir_basis(a.modip, lat_deg, lon_deg);
    a.foF2 = ccir_map(tc_.f2, f2_powers, basis);
    a.m3000 = ccir_map(tc_.m3, m3_powers, basis);
    if (!(a.foF2 > 0.0) || !(a.m3000 > 1.0))
        throw NeQuickError("NeQuick: the CCIR maps of month " + std::to_string(month) + " give foF2 " +
                           std::to_string(a.foF2) + " MHz, M(3000)F2 " + std::to_string(a.m3000));

    // E layer (Titheridge's form, as adapted by Leitinger): foE^4 grows with the flux and with
    // cos(chi)^1.2, a little higher in local winter; the zenith angle is replaced by an effective one that
    // stays below 90 deg after sunset, and a night-time floor of 0.7 MHz is added in quadrature.
    double season = (month <= 2 || month >= 11) ? -1.0 : (month >= 5 && month <= 8) ? 1.0 : 0.0;
    season *= std::tanh(0.15 * lat_deg);       // sign of the hemisphere, smooth across the equator
    constexpr double chi0 = 86.23292796211615; // zenith angle of the day/night switch (deg)
    const double chi_eff = join(90.0 - 0.24 * limited_exp(20.0 - 0.20 * a.chi), a.chi, 12.0, a.chi - chi0);
    const double sfac = (1.112 - 0.019 * season) * std::sqrt(std::sqrt(a.flux));
    const double fa = sfac * std::pow(std::cos(chi_eff * deg), 0.3);
    a.foE = std::sqrt(fa * fa + 0.49);
    // F1 layer: 1.4 foE by day, switched off smoothly as the Sun sets.
    a.foF1 = join(1.4 * a.foE, 0.0, 12.0, chi0 - a.chi);

    a.nmF2 = density_of_frequency(a.foF2);
    a.nmF1 = density_of_frequency(a.foF1);
    if (a.foF1 <= 0.0 && a.foE > 2.0) a.nmF1 = density_of_frequency(a.foE + 0.5); // no F1, strong E
    a.nmE = density_of_frequency(a.foE);

    // Peak heights. hmF2 from the propagation factor M(3000)F2 (Bradley-Dudeney form with the correction
    // dM for the retardation in the E layer, which depends on foF2/foE held above 1.75).
    a.hmE = 120.0;
    a.hmF1 = 108.8 + 14.0 * a.nmF1 + 0.71 * join(a.dip, -a.dip, 12.0, a.dip); // 0.71 |dip|, smoothed
    {
        const double m = a.m3000, m2 = m * m;
        const double mf = m * std::sqrt((0.0196 * m2 + 1.0) / (1.2967 * m2 - 1.0));
        const double ratio = join(a.foF2 / a.foE, 1.75, 20.0, a.foF2 / a.foE - 1.75);
        const double dm = 0.253 / (ratio - 1.215) - 0.012;
        a.hmF2 = 1490.0 * mf / (m + dm) - 176.0;
    }

    // Bottomside thickness of F2 from the gradient at the base of the peak (Mosert de Gonzalez and
    // Radicella): dN/dh (1e9 m^-3/km) = exp(-3.467 + 0.857 ln foF2^2 + 2.02 ln M(3000)F2).
    const double dndh =
        0.01 * std::exp(-3.467 + 0.857 * std::log(a.foF2 * a.foF2) + 2.02 * std::log(a.m3000));
    a.b2bot = 0.385 * a.nmF2 / dndh;

    // Amplitudes: each layer's peak density less what the layers above contribute there, held positive.
    a.amp[0] = 4.0 * a.nmF2;
    double a1 = 4.0 * (a.nmF1 - epstein(a.amp[0], a.hmF2, a.b2bot, a.hmF1));
    a1 = join(a1, 0.05, 60.0, a1 - 0.005);
    a.amp[1] = a1;
    // F1 top thickness: the F1 layer must have fallen to a tenth of its peak by hmF2 (at most), and be no
    // thicker than B2bot + 50 km.
    double ratio = a.nmF1 <= 0.001 ? 0.0 : a1 / (0.1 * a.nmF1);
    ratio = join(ratio, 1.5, 20.0, ratio - 1.5);
    const double b1 = (a.hmF2 - a.hmF1) / std::log(ratio);
    a.b1top = join(a.b2bot + 50.0, b1, 20.0, b1 - a.b2bot - 50.0);
    a.b1bot = 0.7 * a.b1top;
    double a2 =
        4.0 * (a.nmE - epstein(a1, a.hmF1, a.b1bot, a.hmE) - epstein(a.amp[0], a.hmF2, a.b2bot, a.hmE));
    a2 = join(a2, 0.005, 60.0, a2 - 0.005);
    a.amp[2] = a2;
    a.betop = std::max(0.5 * a.b1top, 7.0);
    a.bebot = 5.0;

    // Topside thickness: a multiple k of B2bot, empirical by season (April-September against the rest of
    // the year), held to 2 .. 8, then scaled by a correction polynomial in the thickness itself.
    double k = (month > 3 && month < 10) ? 6.705 - 0.014 * a.r12 - 0.008 * a.hmF2
                                         : -7.77 + 0.097 * std::pow(a.hmF2 / a.b2bot, 2) + 0.153 * a.nmF2;
    k = join(k, 2.0, 1.0, k - 2.0);
    k = join(8.0, k, 1.0, k - 8.0);
    const double h = k * a.b2bot;
    const double xv = (h - 150.0) / 100.0;
    a.h0top = h / ((0.041163 * xv - 0.183981) * xv + 1.424472);

    // Anchors for the density: the bottomside at the peak, and at 100 km the value and log-slope from
    // which the profile decays below.
    a.nmax = 0;
    a.nmax = profile_density(a, a.hmF2) / 1e11;
    {
        const std::array<double, 3> hm{a.hmF2, a.hmF1, a.hmE};
        const std::array<double, 3> b{a.b2bot, 100.0 > a.hmF1 ? a.b1top : a.b1bot,
                                      100.0 > a.hmE ? a.betop : a.bebot};
        const double fade = std::exp(10.0 / (1.0 + 2.0 * std::abs(100.0 - a.hmF2)));
        double sum = 0, dsum = 0;
        for (int l = 0; l < 3; ++l) {
            double x = (100.0 - hm[l]) / b[l];
            if (l > 0) x *= fade;
            if (std::abs(x) > 25.0) continue;
            const double e = std::exp(x);
            const double s = a.amp[l] * e / ((1.0 + e) * (1.0 + e));
            sum += s;
            dsum += s * (1.0 - e) / (1.0 + e) / b[l];
        }
        a.n100 = sum;
        a.slope100 = sum > 0 ? 1.0 - 10.0 * dsum / sum : 1.0;
    }

    last_key_ = key;
    last_ = a;
    return last_;
}

double NeQuick::profile_density(const NeQuickAnchors& a, double h) {
    if (h > a.hmF2 && a.nmax > 0) {
        // Topside: an Epstein layer whose thickness grows with height, from H0 at the peak towards
        // H0 (1 + r) far above (g = 0.125 the growth rate, r = 100 its limit).
        constexpr double g = 0.125, r = 100.0;
        const double dh = h - a.hmF2;
        const double z = dh / (a.h0top * (1.0 + r * g * dh / (r * a.h0top + g * dh)));
        const double e = limited_exp(z);
        const double shape = e > 1e11 ? 4.0 / e : 4.0 * e / ((1.0 + e) * (1.0 + e));
        return a.nmax * shape * 1e11;
    }
    if (h < 100.0 && a.nmax > 0) {
        // Below 100 km: a Chapman-like decay with 10 km scale height, continuous in value and slope.
        const double z = (h - 100.0) / 10.0;
        return a.n100 * limited_exp(1.0 - a.slope100 * z - limited_exp(-z)) * 1e11;
    }
    // Bottomside: three Epstein layers peaking at hmF2, hmF1, hmE, each with its bottom thickness below
    // its peak and its top thickness above. Near the F2 peak the F1 and E layers are faded out (their
    // argument is stretched by exp(10 / (1 + 2 |h - hmF2|))), so that the profile has its true maximum at
    // hmF2 with the F2 peak density.
    const std::array<double, 3> hm{a.hmF2, a.hmF1, a.hmE};
    const std::array<double, 3> b{a.b2bot, h > a.hmF1 ? a.b1top : a.b1bot, h > a.hmE ? a.betop : a.bebot};
    const double fade = std::exp(10.0 / (1.0 + 2.0 * std::abs(h - a.hmF2)));
    double sum = 0;
    for (int l = 0; l < 3; ++l) {
        double x = (h - hm[l]) / b[l];
        if (l > 0) x *= fade;
        if (std::abs(x) > 25.0) continue;
        const double e = std::exp(x);
        sum += a.amp[l] * e / ((1.0 + e) * (1.0 + e));
    }
    return sum * 1e11;
}

double NeQuick::density(double h_km, double lat_deg, double lon_deg, int month, double flux,
                        double ut_hours) {
    return profile_density(anchors(lat_deg, lon_deg, month, flux, ut_hours), h_km);
}

} // namespace quelmar::iono
