// NeQuick: the electron density of the ionosphere at a point, for a month, a solar activity level and a
// Universal Time, in the version prepared for the ITU-R (Radicella & Leitinger 2001; Leitinger et al.
// 2005; Recommendation ITU-R P.531).
//
// The model is a "profiler": it anchors the height profile on the peaks of the E layer (fixed at
// 120 km), the F1 layer and the F2 layer, whose critical frequencies and heights come from maps:
//   - foF2 and M(3000)F2 from the CCIR coefficient maps (ITU-R P.1239), an expansion in modified dip
//     latitude, geographic latitude and longitude whose coefficients follow a diurnal Fourier series;
//   - foE from the solar zenith angle with a seasonal term, foF1 = 1.4 foE by day and none at night;
//   - hmF2 from M(3000)F2 with the correction for the E-layer ratio foF2/foE.
// Below the F2 peak the profile is the sum of three Epstein layers with different bottom and top
// thicknesses (five semi-Epstein layers); above it the topside of an Epstein layer whose thickness grows
// slowly with height, a simple stand-in for diffusive equilibrium.
//
// Input files, read once and kept: the monthly coefficient files (CCIRnn.ASC, nn = month + 10) and the
// dip-latitude grid (DIPLATS.ASC) of the ITU-R package, in a directory given at construction.
#pragma once

#include <array>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace quelmar::iono {

// A missing or malformed input file (the message names it), or an input outside the model's domain.
struct NeQuickError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The anchors of one vertical profile: what the maps give at a place and time, and the Epstein-layer
// parameters derived from them. Densities in 1e11 m^-3, heights and thicknesses in km.
struct NeQuickAnchors {
    double modip = 0, dip = 0, chi = 0; // modified dip latitude, magnetic dip, solar zenith angle (deg)
    double r12 = 0, flux = 0;           // effective (saturated) sunspot number and 10.7 cm flux
    double foE = 0, foF1 = 0, foF2 = 0, m3000 = 0; // MHz, M(3000)F2 dimensionless
    double nmE = 0, nmF1 = 0, nmF2 = 0;
    double hmE = 0, hmF1 = 0, hmF2 = 0;
    double b2bot = 0, b1top = 0, b1bot = 0, betop = 0, bebot = 0; // semi-Epstein thicknesses
    double h0top = 0;                                             // topside thickness at the F2 peak
    std::array<double, 3> amp{};   // Epstein amplitudes of the F2, F1 and E layers
    double nmax = 0;               // the profile at hmF2 (1e11 m^-3)
    double n100 = 0, slope100 = 0; // at 100 km: density, and the factor of the decay below
};

class NeQuick {
  public:
    // Above this 10.7 cm flux (R12 = 150) the CCIR maps are not extrapolated further: the flux is
    // saturated at this value for every part of the model (ITU-R P.1239).
    static constexpr double flux_saturation = 193.0;

    // Reads the dip-latitude grid of `dir` now; the monthly coefficient files when first needed.
    // Throws NeQuickError naming the file when it is missing or malformed.
    explicit NeQuick(std::string dir);

    // Electron density (m^-3) at height h_km above the Earth's surface, geographic latitude and
    // longitude (degrees, east positive), month 1..12, 10.7 cm solar flux (flux units; the monthly
    // mean), Universal Time (hours).
    double density(double h_km, double lat_deg, double lon_deg, int month, double flux, double ut_hours);

    // The profile anchors at a place and time (kept for the next call with the same arguments).
    const NeQuickAnchors& anchors(double lat_deg, double lon_deg, int month, double flux, double ut_hours);

    // Electron density (m^-3) of an already computed profile.
    static double profile_density(const NeQuickAnchors& a, double h_km);

    // Sunspot number R12 of a 10.7 cm flux through the fixed relation F = 63.7 + 0.728 R + 8.9e-4 R^2,
    // after the flux saturation.
    static double r12_of_flux(double flux);

    // Modified dip latitude (deg) of a place, from the dip-latitude grid.
    double modip(double lat_deg, double lon_deg) const;
    // The modified dip (degrees) of a place of dip dip_deg and latitude lat_deg.
    static double modip_of_dip(double dip_deg, double lat_deg);
    // Magnetic dip (deg) of a place, from the dip latitude of the grid.
    double dip(double lat_deg, double lon_deg) const;

  private:
    const std::vector<double>& month_maps(int month);

    std::string dir_;
    std::array<double, 37 * 37> diplat_{};    // 5 deg in latitude (-90..90) x 10 deg in longitude (-180..180)
    std::map<int, std::vector<double>> maps_; // month -> the 2858 coefficients of its file

    // The last profile asked for, kept for rays and height profiles that stay at one place.
    struct Key {
        double lat, lon, flux, ut;
        int month;
        bool operator==(const Key&) const = default;
    };
    Key last_key_{0, 0, 0, 0, 0};
    NeQuickAnchors last_{};
    // The CCIR map coefficients of the last month, activity level and time: shared by every place.
    struct TimeCoefficients {
        bool valid = false;
        int month = 0;
        double r12 = 0, ut = 0;
        std::vector<double> f2, m3;
    } tc_;
};

} // namespace quelmar::iono
