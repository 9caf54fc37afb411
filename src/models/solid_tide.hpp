// Displacement of a station by the solid earth tide raised by the Sun and the Moon.
//
// `tide` is the adopted model: the station displacement of the IERS Conventions (Mathews, Dehant and
// Gipson 1997), built in two steps. Step 1 takes the degree-2 and degree-3 tide-generating potential
// of each body with frequency-independent Love and Shida numbers (h2 and l2 with their small
// latitude dependence), then adds the out-of-phase parts of the diurnal and semi-diurnal bands caused
// by mantle anelasticity and the latitude-dependent l(1) terms. Step 2 adds the frequency dependence
// of the Love numbers in the diurnal band (free core nutation resonance) and in the long-period band,
// each a sum over tidal constituents with Doodson-style arguments. The permanent (zero-frequency) tide
// is kept in the result, so the displaced position is the "conventional tide-free" one.
//
// `earth_tide1` is a simpler degree-2 model fed by the approximate Sun and Moon of sub_sun_moon.
//
// Units: metres, Earth-fixed Cartesian; angles in degrees inside the step-2 arguments.
#pragma once

#include "models/vectors.hpp"

namespace quelmar::models {

// Station displacement (m) at station xsta for the Sun xsun and the Moon xmon (all Earth-fixed,
// geocentric, m) at hour fhr (0 <= fhr < 24, UTC) of the day iyr-imonth-iday.
void tide(const Vec3& xsta, int iyr, int imonth, int iday, double fhr, const Vec3& xsun, const Vec3& xmon,
          Vec3& dxtide);

// Degree-2 displacement with the nominal h2 = 0.6078, l2 = 0.0847 at receiver recxyz (m), the Sun and
// the Moon taken from sub_sun_moon for the year, day of year and seconds of day of the observation.
// Kept beside `tide` as an independent cross-check of the adopted model (they differ by the degree-3,
// anelastic and frequency-dependent terms, at most about two centimetres); its result is not used in
// the range. Returns 0.
int earth_tide1(const Vec3& recxyz, int iyearobs, int idoyobs, double tsecdayobs, Vec3& dx);

// --- The pieces of `tide`, exposed for their own checks. ----------------------------------------------

// Scalar product x . y and the lengths r1 = |x|, r2 = |y|.
void sprod(const Vec3& x, const Vec3& y, double& scal, double& r1, double& r2);
double norm8(const Vec3& a);
void zero_vec8(Vec3& a);

// Step-1 corrections, each returned in xcorsta (m). fac2sun and fac2mon are the degree-2 scale factors
// GM_body/GM_earth * R_e * (R_e/r_body)^3 of the main routine.
//   st1idiu  out-of-phase part of h2, l2 in the diurnal band
//   st1isem  out-of-phase part of h2, l2 in the semi-diurnal band
//   st1l1    the latitude-dependent Shida term l(1), diurnal and semi-diurnal
void st1idiu(const Vec3& xsta, const Vec3& xsun, const Vec3& xmon, double fac2sun, double fac2mon,
             Vec3& xcorsta);
void st1isem(const Vec3& xsta, const Vec3& xsun, const Vec3& xmon, double fac2sun, double fac2mon,
             Vec3& xcorsta);
void st1l1(const Vec3& xsta, const Vec3& xsun, const Vec3& xmon, double fac2sun, double fac2mon,
           Vec3& xcorsta);

// Step-2 corrections (m) for hour fhr (UTC) and t, Julian centuries of TT since J2000.0:
// the diurnal band (in- and out-of-phase) and the long-period band.
void step2diu(const Vec3& xsta, double fhr, double t, Vec3& xcorsta);
void step2lon(const Vec3& xsta, double t, Vec3& xcorsta);

} // namespace quelmar::models
