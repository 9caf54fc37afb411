// Tropospheric delay of a ray: a hydrostatic ("dry") and a wet zenith delay, each mapped to the
// elevation of the ray by a mapping function.
//
//   model 1  Niell (1996) mapping functions; dry zenith delay of a standard atmosphere at the height,
//            wet zenith delay as configured.
//   model 2  GPT2w meteorology at the station (pressure, water-vapour pressure, mean temperature and
//            decrease factor of the water vapour) into the Saastamoinen hydrostatic and Askne-Nordius
//            wet zenith delays; VMF1 mapping with GPT2w's coefficients and the height correction.
//   model 3  as 2, VMF1 with the coefficients of the downloaded global grids, height correction.
//   model 4  as 2, VMF1 with the coefficients of the station from the downloaded site files, no
//            height correction (they hold for the station itself).
//
// Units: metres, degrees at the interfaces unless a name says radians; mapping factors are pure numbers.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace quelmar::frame {
class Log;
}

namespace quelmar::models {

// What the troposphere of one ray leaves for the range and the zenith-wet-delay unknown.
struct TroposphereTerms {
    double zenith_dry = 0, zenith_wet0 = 0;
    double xmapping_dry = -9.99, xmapping_wet = -9.99;
    double slant_dry = 0, slant_wet = 0, slant_trop = 0;
};

// Marini's continued fraction normalised at the zenith, the form shared by the Niell and Vienna mapping
// functions: (1 + a/(1 + b/(1 + c))) / (sine + a/(sine + b/(sine + c))), sine = sine of the elevation.
double xm_of_sine(double sine, double a, double b, double c);
// The same at the elevation elv (radians).
double xm(double elv, double a, double b, double c);

// Linear interpolation of a Niell coefficient tabulated at |latitude| 15, 30, 45, 60, 75 degrees; the end
// values hold beyond the end nodes.
double xinterp(double xlat_abs, const std::array<double, 5>& v);

// Niell mapping functions at day of year doy, latitude xlat (degrees, either hemisphere), height h (m)
// and elevation elv (radians); ddry is the zenith dry delay of the height (m).
void trop_niell(std::int32_t doy, double xlat, double h, double elv, double& xm_hydr, double& xm_wet,
                double& ddry);

// Model 1: ellipsoidal latitude and elevation in degrees, height in m; the wet zenith delay is the
// configured one. Returns the status ierrtro1 (always 0).
int tropospheric_correction1(double elatrec0, double ehrec0, double eele0, std::int32_t idoyobs,
                             double zenith_wet0, TroposphereTerms& t);

// The GPT2w grid: per grid point the mean, annual (cosine, sine) and semi-annual (cosine, sine) terms of
// pressure (Pa), temperature (K), specific humidity (kg/kg), temperature lapse rate (K/m), the VMF1
// coefficients ah and aw at zero height, the water-vapour decrease factor and the weighted mean
// temperature (K), with the geoid undulation and the orography height (m). Points run from the north
// by rows of constant latitude, each row eastwards from Greenwich, at cell centres of `step` degrees.
struct Gpt2wPoint {
    std::array<double, 5> p, t, q, dt, ah, aw, la, tm;
    double u, hs;
};
struct Gpt2wGrid {
    double step = 1.0; // degrees
    int nlat = 180, nlon = 360;
    std::vector<Gpt2wPoint> points; // nlat * nlon once read, empty before
    bool loaded() const { return !points.empty(); }
};

// GPT2w at one station (latitude, longitude in radians, ellipsoidal height in m) at the MJD dmjd,
// with the seasonal terms (time_variation) or their means only.
struct Gpt2wSite {
    double p = 0;    // pressure, hPa
    double t = 0;    // temperature, degrees Celsius
    double dt = 0;   // temperature lapse rate, K/km
    double tm = 0;   // weighted mean temperature of the water vapour, K
    double e = 0;    // water-vapour pressure, hPa
    double ah = 0, aw = 0;
    double la = 0;   // water-vapour decrease factor
    double undu = 0; // geoid undulation, m
};
Gpt2wSite gpt2_1w_no_read(const Gpt2wGrid& grid, double dmjd, double dlat, double dlon, double hell,
                          bool time_variation);

// Saastamoinen hydrostatic zenith delay (m) of pressure p (hPa) at latitude dlat (rad), height hell (m).
double saasthyd(double p, double dlat, double hell);
// Askne-Nordius wet zenith delay (m) of water-vapour pressure e (hPa), mean temperature tm (K) and
// decrease factor la.
double asknewet(double e, double tm, double la);
// VMF1 at the MJD dmjd, latitude dlat (rad) and zenith distance zd (rad), with (vmf1_ht, height ht in m)
// and without (vmf1) the height correction of the hydrostatic function.
void vmf1_ht(double ah, double aw, double dmjd, double dlat, double ht, double zd, double& vmf1h,
             double& vmf1w);
void vmf1(double ah, double aw, double dmjd, double dlat, double zd, double& vmf1h, double& vmf1w);

// Models 2 to 4 for one ray. ah_6hs, aw_6hs are the interpolated downloaded coefficients (models 3
// and 4). Writes its lines to the log unless it is silent. Returns the status ierrtro2 (0).
int tropospheric_correction2(std::int32_t itropo_model, double elatrec0, double slonrec0, double ehrec0,
                             double eele0, double tdjmobs_dbl, std::int32_t idoyobs, double ah_6hs,
                             double aw_6hs, const Gpt2wGrid& grid, TroposphereTerms& t, frame::Log& log);

// A downloaded VMF1 grid: ah, aw at (column j, row i, epoch k) for the five 6-hour epochs of a day,
// rows from lat0 by -delta_lat, columns from lon0 by delta_lon (degrees).
struct VmfGrid {
    double latf = 0, lat0 = 0, lon0 = 0, lonf = 0, delta_lat = 0, delta_lon = 0;
    int nrow = 0, ncol = 0;
    std::vector<double> ah, aw; // [((k-1)*nrow + (i-1))*ncol + (j-1)]
    double& ah_at(int j, int i, int k) { return ah[(static_cast<std::size_t>(k - 1) * nrow + (i - 1)) * ncol + (j - 1)]; }
    double& aw_at(int j, int i, int k) { return aw[(static_cast<std::size_t>(k - 1) * nrow + (i - 1)) * ncol + (j - 1)]; }
    double ah_at(int j, int i, int k) const { return ah[(static_cast<std::size_t>(k - 1) * nrow + (i - 1)) * ncol + (j - 1)]; }
    double aw_at(int j, int i, int k) const { return aw[(static_cast<std::size_t>(k - 1) * nrow + (i - 1)) * ncol + (j - 1)]; }
    bool loaded() const { return nrow > 0; }
};

// Model 3: the coefficients of the grid epoch at or before the time of day and of the following epoch,
// each bilinear in the cell around the receiver (latitude elatd, longitude elond 0..360 in degrees).
// Returns false (with a log line) when the receiver lies outside the grid.
bool spatial_interpolation(const VmfGrid& g, double elatd, double elond, double tsecdayobs,
                           double& ah_6hs_epoch, double& aw_6hs_epoch, double& ah_6hs_fe, double& aw_6hs_fe,
                           frame::Log& log);

// Models 3 and 4: linear in time between the two bracketing 6-hour epochs.
void temporal_interpolation(double tsecdayobs, double ah_6hs_epoch, double aw_6hs_epoch, double ah_6hs_fe,
                            double aw_6hs_fe, double& ah_6hs, double& aw_6hs);

} // namespace quelmar::models
