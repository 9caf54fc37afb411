// Satellite position from the GPS broadcast ephemeris (the Kepler model of the navigation-message
// definition, IS-GPS-200), with the Earth rotation during the signal travel time folded in.
#pragma once

#include <array>

#include "frame/log.hpp"

namespace quelmar::orbits {

// Constants of the broadcast orbit computation, fixed by the navigation-message definition and
// independent of the run's constants block.
namespace broadcast {
constexpr double sqrt_gm = 19964981.843217388; // sqrt(3.986005e14 m^3/s^2)
constexpr double omega_e = 7.2921151467e-5;    // Earth rotation rate, rad/s
constexpr double c = 299792458.0;              // speed of light, m/s
constexpr double pi = 3.141592653589793;
constexpr int max_kepler_iterations = 1001; // iterations allowed before the computation fails
constexpr double kepler_rel_tol = 1e-12;    // |E(k+1) - E(k)| <= tol * |E(k+1)|
} // namespace broadcast

// Eccentric anomaly E from the mean anomaly M by fixed-point iteration E <- M + e sin E, starting at
// E = M, until two successive values agree to a relative 1e-12. Returns false when 1001 iterations did
// not converge (E then holds the last iterate). `iterations` receives the number of iterations made.
// The converged E is brought into [0, 2*pi) by adding or subtracting 2*pi once.
bool kepler_eccentric_anomaly(double m, double e, double& ecc_anomaly, int& iterations);

// Earth-fixed satellite position from one broadcast ephemeris.
//
//   t, trec     seconds since the start of the ephemeris week at transmission and at reception (not
//               reduced to one week: t beyond 604800 s propagates into the following week)
//   omec        longitude of the ascending node at the weekly epoch     (semicircles)
//   incc        inclination at toe                                      (semicircles)
//   omesmc      argument of perigee                                     (semicircles)
//   sqrta       square root of the semi-major axis                      (m^1/2)
//   ecc         eccentricity
//   m0c         mean anomaly at toe                                     (semicircles)
//   toe         reference time of the ephemeris, whole seconds of week
//   omedoc      rate of the node                                        (semicircles/s)
//   incdoc      rate of the inclination                                 (semicircles/s)
//   dnc         mean-motion difference                                  (semicircles/s)
//   cic .. crs  harmonic corrections (rad for cic, cis, cuc, cus; m for crc, crs)
// Outputs: ctx (m) in the Earth-fixed frame of the reception time trec (the node longitude subtracts
// the Earth rotation up to trec, which accounts for the rotation during the travel time trec - t);
// dtrel_m = -2 sqrt(GM A) e sin E / c, the relativistic clock correction in metres; v = 0 (the
// broadcast path gives no velocity).
//
// When Kepler's equation does not converge, writes "        ERROR SOLVING THE KEPLER'EQUATION     " and
// " ! ! ! SATELLITE POSITION CALCULATION FAILED ! ! ! " (list-directed) to `out`, leaves ctx, dtrel_m
// and v untouched and returns false; otherwise returns true.
bool posat4(double t, double trec, double omec, double incc, double omesmc, double sqrta, double ecc,
            double m0c, int toe, double omedoc, double incdoc, double dnc, double cic, double cis, double cuc,
            double cus, double crc, double crs, std::array<double, 3>& ctx, double& dtrel_m,
            std::array<double, 3>& v, frame::TextSink& out);

} // namespace quelmar::orbits
