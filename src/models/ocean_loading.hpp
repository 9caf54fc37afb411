// Ocean tide loading: the displacement of a site by the load of the ocean tides, synthesised from the
// eleven main constituents of the site's BLQ coefficients (M2, S2, N2, K2, K1, O1, P1, Q1, Mf, Mm, Ssa).
//
// The minor tides are not given; their response is inferred from the main ones. The admittance of each
// given constituent (its displacement divided by the equilibrium amplitude of the tide-generating
// potential) is smooth in frequency within a tidal band, so its in-phase and quadrature parts are
// interpolated by cubic splines, band by band, to 141 harmonics of the tidal potential (Agnew's HARDISP
// scheme). Each harmonic then contributes amplitude * cos(astronomical argument + admittance phase).
//
// Units: metres, degrees (phases as lags in the BLQ tables), seconds of UTC.
#pragma once

#include <array>
#include <span>

namespace quelmar::models {

// Per component (0 vertical up, 1 horizontal west, 2 horizontal south) and constituent in BLQ order.
using OtlTable = std::array<std::array<float, 11>, 3>;

// ET - UTC in seconds at a decimal year: the historical table of the almanac before 1972, then
// 42.184 s plus the leap seconds of the table (the last one at 2006.0; later ones are not in it).
double etutc(double year);

// Synthesises num epochs, samp seconds apart, starting at the UTC epoch given by year, day of year,
// hour, minute and second (sec = 60 is the start of the next minute; carries run through to the year).
// tamp/tph: amplitudes (m) and phase lags (deg). Writes vertical, south and west displacements (m) to
// the first num elements of dz, ds and dw.
void shardisp(int iyear, int idoy, int ihr, int imin, int isec, int num, double samp, const OtlTable& tamp,
              const OtlTable& tph, std::span<float> dz, std::span<float> ds, std::span<float> dw);

// The displacement at one observation epoch, the seconds rounded to the nearest whole second:
// denu = east, north, up = (-west, -south, vertical).
void ocean_tide_loading1(int iyearobs, int idoyobs, int ihoobs, int imiobs, double secobs, const OtlTable& tamp,
                         const OtlTable& tph, std::array<double, 3>& denu);

} // namespace quelmar::models
