#include "models/troposphere.hpp"

#include <cmath>

#include "frame/log.hpp"

namespace quelmar::models {

namespace {

constexpr double deg_per_rad = 57.29577951308232;

// Niell (1996), "Global mapping functions for the atmosphere delay at radio wavelengths", J. Geophys.
// Res. 101(B2), 3227-3246, table 3: coefficients at |latitude| 15, 30, 45, 60, 75 degrees.
constexpr std::array<double, 5> niell_dry_avg_a{1.2769934e-3, 1.2683230e-3, 1.2465397e-3, 1.2196049e-3,
                                                1.2045996e-3};
constexpr std::array<double, 5> niell_dry_avg_b{2.9153695e-3, 2.9152299e-3, 2.9288445e-3, 2.9022565e-3,
                                                2.9024912e-3};
constexpr std::array<double, 5> niell_dry_avg_c{62.610505e-3, 62.837393e-3, 63.721774e-3, 63.824265e-3,
                                                64.258455e-3};
constexpr std::array<double, 5> niell_dry_amp_a{0.0, 1.2709626e-5, 2.6523662e-5, 3.4000452e-5, 4.1202191e-5};
constexpr std::array<double, 5> niell_dry_amp_b{0.0, 2.1414979e-5, 3.0160779e-5, 7.2562722e-5, 11.723375e-5};
constexpr std::array<double, 5> niell_dry_amp_c{0.0, 9.0128400e-5, 4.3497037e-5, 84.795348e-5, 170.37206e-5};
constexpr std::array<double, 5> niell_wet_a{5.8021897e-4, 5.6794847e-4, 5.8118019e-4, 5.9727542e-4,
                                            6.1641693e-4};
constexpr std::array<double, 5> niell_wet_b{1.4275268e-3, 1.5138625e-3, 1.4572752e-3, 1.5007428e-3,
                                            1.7599082e-3};
constexpr std::array<double, 5> niell_wet_c{4.3472961e-2, 4.6729510e-2, 4.3908931e-2, 4.4626982e-2,
                                            5.4736038e-2};

// Height correction of the hydrostatic mapping function (Niell 1996), per km above the sea.
constexpr double niell_ht_a = 2.53e-5, niell_ht_b = 5.49e-3, niell_ht_c = 1.14e-3;

// The published VMF1 routines (Boehm, Werl and Schuh 2006, corrected coefficients) state their
// coefficients as single-precision constants and their pi to eleven decimals; the mapping factors
// follow them to the last bit.
constexpr double vmf1_pi = 3.14159265359;
constexpr double f32(float x) { return static_cast<double>(x); }

// The published GPT2w routine states pi to ten decimals.
constexpr double gpt2w_pi = 3.1415926535;

double hydrostatic_c_vmf1(double dmjd, double dlat) {
    // Day of year counted from 28 January as in Niell (1996); the southern hemisphere is half a year
    // out of phase.
    const double doy = dmjd - 44239.0 + 1 - 28;
    const bool south = dlat < 0.0;
    const double phh = south ? vmf1_pi : 0.0;
    const double c11h = south ? f32(0.007f) : f32(0.005f);
    const double c10h = south ? f32(0.002f) : f32(0.001f);
    return f32(0.062f) + ((std::cos(doy / 365.25 * 2.0 * vmf1_pi + phh) + 1.0) * c11h / 2.0 + c10h) *
                             (1.0 - std::cos(dlat));
}

} // namespace

double xm_of_sine(double sine, double a, double b, double c) {
    const double topcon = 1.0 + a / (1.0 + b / (1.0 + c));
    return topcon / (sine + a / (sine + b / (sine + c)));
}

double xm(double elv, double a, double b, double c) { return xm_of_sine(std::sin(elv), a, b, c); }

double xinterp(double xlat_abs, const std::array<double, 5>& v) {
    if (xlat_abs <= 15.0) return v[0];
    if (xlat_abs >= 75.0) return v[4];
    const int i = static_cast<int>(xlat_abs / 15.0); // 1..4: node i lies at 15 i degrees
    return v[i - 1] + (v[i] - v[i - 1]) * (xlat_abs - 15.0 * i) / 15.0;
}

void trop_niell(std::int32_t doy, double xlat, double h, double elv, double& xm_hydr, double& xm_wet,
                double& ddry) {
    // No hemisphere distinction: the seasonal phase of the dry coefficients is that of the north.
    const double lat = std::fabs(xlat);
    const double season = std::cos(2.0 * M_PI * (doy - 28.0) / 365.25);
    const double a = xinterp(lat, niell_dry_avg_a) - xinterp(lat, niell_dry_amp_a) * season;
    const double b = xinterp(lat, niell_dry_avg_b) - xinterp(lat, niell_dry_amp_b) * season;
    const double c = xinterp(lat, niell_dry_avg_c) - xinterp(lat, niell_dry_amp_c) * season;
    const double sine = std::sin(elv);
    xm_hydr = xm_of_sine(sine, a, b, c) +
              h * (1.0 / sine - xm_of_sine(sine, niell_ht_a, niell_ht_b, niell_ht_c)) / 1000.0;
    xm_wet = xm_of_sine(sine, xinterp(lat, niell_wet_a), xinterp(lat, niell_wet_b), xinterp(lat, niell_wet_c));
    ddry = 2.29951 * std::exp(-0.000116 * h);
}

int tropospheric_correction1(double elatrec0, double ehrec0, double eele0, std::int32_t idoyobs,
                             double zenith_wet0, TroposphereTerms& t) {
    trop_niell(idoyobs, elatrec0, ehrec0, eele0 / deg_per_rad, t.xmapping_dry, t.xmapping_wet, t.zenith_dry);
    t.zenith_wet0 = zenith_wet0;
    t.slant_dry = t.xmapping_dry * t.zenith_dry;
    t.slant_wet = t.xmapping_wet * t.zenith_wet0;
    t.slant_trop = t.slant_dry + t.slant_wet;
    return 0;
}

Gpt2wSite gpt2_1w_no_read(const Gpt2wGrid& grid, double dmjd, double dlat, double dlon, double hell,
                          bool time_variation) {
    constexpr double gm = 9.80665;     // mean gravity, m/s^2
    constexpr double dmtr = 28.965e-3; // molar mass of dry air, kg/mol
    constexpr double rg = 8.3143;      // universal gas constant, J/K/mol
    constexpr double pi = gpt2w_pi;

    // Seasonal terms from 1 January 2000, 12 h.
    double cosfy = 0, coshy = 0, sinfy = 0, sinhy = 0;
    if (time_variation) {
        const double dmjd1 = dmjd - 51544.5;
        cosfy = std::cos(dmjd1 / 365.25 * 2.0 * pi);
        coshy = std::cos(dmjd1 / 365.25 * 4.0 * pi);
        sinfy = std::sin(dmjd1 / 365.25 * 2.0 * pi);
        sinhy = std::sin(dmjd1 / 365.25 * 4.0 * pi);
    }
    auto at_epoch = [&](const std::array<double, 5>& v) {
        return v[0] + v[1] * cosfy + v[2] * sinfy + v[3] * coshy + v[4] * sinhy;
    };

    // The meteorology of one grid point reduced to the station height: the temperature with the lapse
    // rate, the pressure with the barometric formula of the virtual temperature, the water-vapour
    // pressure with its decrease factor (Askne and Nordius 1987, eq. 14).
    struct Corner {
        double p, t, dt, e, ah, aw, la, tm, undu;
    };
    auto corner = [&](int index) {
        const Gpt2wPoint& g = grid.points[static_cast<std::size_t>(index - 1)];
        Corner c{};
        c.undu = g.u;
        const double redh = (hell - g.u) - g.hs;
        const double t0 = at_epoch(g.t);
        const double p0 = at_epoch(g.p);
        const double q = at_epoch(g.q);
        c.dt = at_epoch(g.dt);
        c.t = t0 + c.dt * redh - 273.15;
        const double tv = t0 * (1 + 0.6077 * q);
        c.p = (p0 * std::exp(-(gm * dmtr / (rg * tv)) * redh)) / 100.0;
        c.ah = at_epoch(g.ah);
        c.aw = at_epoch(g.aw);
        c.la = at_epoch(g.la);
        c.tm = at_epoch(g.tm);
        const double e0 = q * p0 / (0.622 + 0.378 * q) / 100.0;
        c.e = e0 * std::pow(100.0 * c.p / p0, c.la + 1.0);
        return c;
    };

    // Longitude east 0..360 and polar distance, in degrees; the cell centres lie half a step off the
    // multiples of the step.
    const double step = grid.step;
    const double plon = (dlon < 0.0 ? dlon + 2.0 * pi : dlon) * 180.0 / pi;
    const double ppod = (-dlat + pi / 2.0) * 180.0 / pi;
    int ipod = static_cast<int>(std::floor((ppod + step) / step));
    int ilon = static_cast<int>(std::floor((plon + step) / step));
    const double diffpod = (ppod - (ipod * step - step / 2)) / step;
    const double difflon = (plon - (ilon * step - step / 2)) / step;
    if (ipod == grid.nlat + 1) ipod = grid.nlat; // the south pole itself
    if (ilon == grid.nlon + 1) ilon = 1;
    if (ilon == 0) ilon = grid.nlon;
    auto line = [&](int ip, int il) { return (ip - 1) * grid.nlon + il; };

    Gpt2wSite s;
    // Within half a step of a pole the nearest point serves; elsewhere the four around the station.
    if (!(ppod > step / 2 && ppod < 180.0 - step / 2)) {
        const Corner c = corner(line(ipod, ilon));
        s = {c.p, c.t, c.dt * 1000.0, c.tm, c.e, c.ah, c.aw, c.la, c.undu};
        return s;
    }
    const int ipod1 = ipod + (diffpod >= 0.0 ? 1 : -1);
    int ilon1 = ilon + (difflon >= 0.0 ? 1 : -1);
    if (ilon1 == grid.nlon + 1) ilon1 = 1;
    if (ilon1 == 0) ilon1 = grid.nlon;
    // Corners: the nearest point, the next along its meridian, the next along its parallel, diagonal.
    const Corner c[4] = {corner(line(ipod, ilon)), corner(line(ipod1, ilon)), corner(line(ipod, ilon1)),
                         corner(line(ipod1, ilon1))};
    const double dnpod1 = std::fabs(diffpod), dnpod2 = 1.0 - dnpod1;
    const double dnlon1 = std::fabs(difflon), dnlon2 = 1.0 - dnlon1;
    auto bilinear = [&](double Corner::*f) {
        const double r1 = dnpod2 * (c[0].*f) + dnpod1 * (c[1].*f);
        const double r2 = dnpod2 * (c[2].*f) + dnpod1 * (c[3].*f);
        return dnlon2 * r1 + dnlon1 * r2;
    };
    s.p = bilinear(&Corner::p);
    s.t = bilinear(&Corner::t);
    s.dt = bilinear(&Corner::dt) * 1000.0;
    s.e = bilinear(&Corner::e);
    s.ah = bilinear(&Corner::ah);
    s.aw = bilinear(&Corner::aw);
    s.undu = bilinear(&Corner::undu);
    s.la = bilinear(&Corner::la);
    s.tm = bilinear(&Corner::tm);
    return s;
}

double saasthyd(double p, double dlat, double hell) {
    const double f = 1.0 - 0.00266 * std::cos(2.0 * dlat) - 0.00000028 * hell;
    return 0.0022768 * p / f;
}

double asknewet(double e, double tm, double la) {
    constexpr double k1 = 77.604, k2 = 64.79, k3 = 377600.0; // K/hPa, K/hPa, K^2/hPa
    constexpr double k2p = k2 - k1 * 18.0152 / 28.9644;        // water vapour and dry air molar masses
    constexpr double gm = 9.80665, dmtr = 28.965e-3, r = 8.3143;
    const double rd = r / dmtr; // specific gas constant of dry air
    return 1.0e-6 * (k2p + k3 / tm) * rd / (la + 1) / gm * e;
}

void vmf1(double ah, double aw, double dmjd, double dlat, double zd, double& vmf1h, double& vmf1w) {
    const double sine = std::sin(vmf1_pi / 2.0 - zd);
    vmf1h = xm_of_sine(sine, ah, f32(0.0029f), hydrostatic_c_vmf1(dmjd, dlat));
    vmf1w = xm_of_sine(sine, aw, f32(0.00146f), f32(0.04391f));
}

void vmf1_ht(double ah, double aw, double dmjd, double dlat, double ht, double zd, double& vmf1h,
             double& vmf1w) {
    vmf1(ah, aw, dmjd, dlat, zd, vmf1h, vmf1w);
    // The grid coefficients hold at the sea: the hydrostatic function grows with the height as Niell's.
    const double sine = std::sin(vmf1_pi / 2.0 - zd);
    const double ht_corr_coef = 1.0 / sine - xm_of_sine(sine, f32(2.53e-5f), f32(5.49e-3f), f32(1.14e-3f));
    vmf1h = vmf1h + ht_corr_coef * (ht / 1000.0);
}

int tropospheric_correction2(std::int32_t itropo_model, double elatrec0, double slonrec0, double ehrec0,
                             double eele0, double tdjmobs_dbl, std::int32_t idoyobs, double ah_6hs,
                             double aw_6hs, const Gpt2wGrid& grid, TroposphereTerms& t, frame::Log& log) {
    const bool talk = !log.silent;
    if (talk) log.list("IN tropospheric_correction2", itropo_model, elatrec0, slonrec0, ehrec0, eele0, tdjmobs_dbl,
                       idoyobs);
    const double dlat = elatrec0 / deg_per_rad;
    const double dlon = slonrec0 / deg_per_rad;
    const double zd = M_PI / 2.0 - eele0 / deg_per_rad;

    const Gpt2wSite g = gpt2_1w_no_read(grid, tdjmobs_dbl, dlat, dlon, ehrec0, true);
    t.zenith_dry = saasthyd(g.p, dlat, ehrec0);
    t.zenith_wet0 = asknewet(g.e, g.tm, g.la);
    if (talk) log.list("P, T, WVP, DTm, lambda: ", g.p, g.t, g.e, g.tm, g.la);
    if (itropo_model == 2) {
        if (talk) log.list("itropo_model = 2 => Vienna + GPT2w model parameters");
        vmf1_ht(g.ah, g.aw, tdjmobs_dbl, dlat, ehrec0, zd, t.xmapping_dry, t.xmapping_wet);
    } else if (itropo_model == 3) {
        if (talk) {
            log.list(" itropo_model = 3 =>Vienna + downloaded param");
            log.list("Vienna Coef. (downloaded from tuvien)=", ah_6hs, aw_6hs);
        }
        vmf1_ht(ah_6hs, aw_6hs, tdjmobs_dbl, dlat, ehrec0, zd, t.xmapping_dry, t.xmapping_wet);
    } else {
        if (talk) {
            log.list(" itropo_model = 4 =>Vienna + downl. param IGS site");
            log.list("Vienna Coef. IGS(downl. from tuvien)=", ah_6hs, aw_6hs);
        }
        vmf1(ah_6hs, aw_6hs, tdjmobs_dbl, dlat, zd, t.xmapping_dry, t.xmapping_wet);
    }
    t.slant_dry = t.xmapping_dry * t.zenith_dry;
    t.slant_wet = t.xmapping_wet * t.zenith_wet0;
    t.slant_trop = t.slant_dry + t.slant_wet;
    if (talk) log.list("slant_trop", t.slant_trop);
    return 0;
}

bool spatial_interpolation(const VmfGrid& g, double elatd, double elond, double tsecdayobs,
                           double& ah_6hs_epoch, double& aw_6hs_epoch, double& ah_6hs_fe, double& aw_6hs_fe,
                           frame::Log& log) {
    int i = static_cast<int>((elatd - g.lat0) / (-g.delta_lat)) + 1;
    const int j = static_cast<int>((elond - g.lon0) / g.delta_lon) + 1;
    // A receiver on the last row takes the cell above it, where it lies on the cell's edge.
    if (i == g.nrow && elatd == g.lat0 - (g.nrow - 1) * g.delta_lat) i = g.nrow - 1;
    if (elond < g.lon0 || j < 1) {
        log.list("i menor que cero:  i,j=", i, j);
        return false;
    }
    if (elatd > g.lat0 || i < 1 || i >= g.nrow || j > g.ncol) {
        log.list("ERROR: receiver outside the VMF1 grid  i,j=", i, j);
        return false;
    }
    int j1 = j + 1;
    if (j == g.ncol) {
        log.list("i greater than 144  i,j=", i, j);
        j1 = 1;
    }
    // Corner coordinates; the column after the last one lies one spacing east of it.
    const double lat_i = g.lat0 - (i - 1) * g.delta_lat, lat_i1 = g.lat0 - i * g.delta_lat;
    const double lon_j = g.lon0 + (j - 1) * g.delta_lon, lon_j1 = g.lon0 + j * g.delta_lon;
    const double area = g.delta_lat * g.delta_lon;
    // Each corner weighs with the rectangle between the receiver and the opposite corner.
    const double w_j_i = std::fabs((lat_i1 - elatd) * (lon_j1 - elond)) / area;
    const double w_j1_i = std::fabs((lat_i1 - elatd) * (elond - lon_j)) / area;
    const double w_j_i1 = std::fabs((elatd - lat_i) * (lon_j1 - elond)) / area;
    const double w_j1_i1 = std::fabs((elatd - lat_i) * (elond - lon_j)) / area;
    const int k = static_cast<int>(4.0 * tsecdayobs / 86400.0) + 1;
    auto at = [&](int kk, bool hydrostatic) {
        auto v = [&](int jj, int ii) { return hydrostatic ? g.ah_at(jj, ii, kk) : g.aw_at(jj, ii, kk); };
        return v(j, i) * w_j_i + v(j1, i) * w_j1_i + v(j, i + 1) * w_j_i1 + v(j1, i + 1) * w_j1_i1;
    };
    ah_6hs_epoch = at(k, true);
    aw_6hs_epoch = at(k, false);
    ah_6hs_fe = at(k + 1, true);
    aw_6hs_fe = at(k + 1, false);
    return true;
}

void temporal_interpolation(double tsecdayobs, double ah_6hs_epoch, double aw_6hs_epoch, double ah_6hs_fe,
                            double aw_6hs_fe, double& ah_6hs, double& aw_6hs) {
    const double f = tsecdayobs / 86400.0;
    const int k = static_cast<int>(4.0 * f) + 1;
    const double t0 = (k - 1) / 4.0, t1 = k / 4.0;
    ah_6hs = (ah_6hs_epoch * (t1 - f) + ah_6hs_fe * (f - t0)) / 0.25;
    aw_6hs = (aw_6hs_epoch * (t1 - f) + aw_6hs_fe * (f - t0)) / 0.25;
}

} // namespace quelmar::models
