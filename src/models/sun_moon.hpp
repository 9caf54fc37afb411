// Directions, distances and Earth-fixed positions of the Sun, the Moon and the planets.
//
// solar_system_object_position_v2 serves the satellite-position step (Sun for the attitude and
// wind-up, Moon for the tides): the topocentric apparent place of one object seen from a receiver,
// turned into the Earth-fixed frame with Greenwich mean sidereal time. sub_sun_moon gives the
// geocentric Earth-fixed Sun and Moon of a day of year for the auxiliary tide routine.
#pragma once

#include "frame/constants.hpp"
#include "frame/limits.hpp"
#include "frame/log.hpp"
#include "models/astro.hpp"
#include "models/vectors.hpp"
#include "util/array.hpp"

namespace quelmar::models {

using float128 = __float128;

// Object codes ip: 0 Sun, 1 Mercury, 2 Venus, 3 Moon, 4 Mars, 5 Jupiter, 6 Saturn, 7 Uranus,
// 8 Neptune, 9 Pluto.
//
//   tdjm            epoch, MJD (binary128, UTC; used in 64-bit as the date of the theories)
//   irec, maxrec    receiver slot and the size of the receiver table
//   recxyz0_        receiver coordinates (m); the observer is put at their geocentric longitude and
//                   latitude at zero height
//   gmst            Greenwich mean sidereal time (degrees)
//   rasun, decsun   topocentric apparent right ascension and declination (degrees)
//   xlonsun         Earth-fixed longitude of the direction, rasun - gmst in [0, 360) (degrees)
//   distsun_meters  topocentric distance (m)
//   ctxsun          object position in the Earth-fixed frame (m): receiver + distance x direction
//   ierrsp          0; -1 for an object code outside 0..9, which also logs two error lines and stops
//                   the run (frame::Stop); -2 for irec outside 1..maxrec (outputs untouched)
void solar_system_object_position_v2(int ip, float128 tdjm, int irec, int maxrec,
                                     const Array2<double, 3, quelmar::maxrec>& recxyz0_, double gmst,
                                     double& rasun, double& xlonsun, double& decsun, double& distsun_meters,
                                     Vec3& ctxsun, int& ierrsp, const frame::Constants& constants,
                                     frame::Log& log);
// The same with the date-only part of the theories given (mod = moon_of_date of the 64-bit epoch, which
// it carries): the Sun and the Moon of one epoch share it, with the bits of separate calls.
void solar_system_object_position_v2(int ip, const MoonOfDate& mod, int irec, int maxrec,
                                     const Array2<double, 3, quelmar::maxrec>& recxyz0_, double gmst,
                                     double& rasun, double& xlonsun, double& decsun, double& distsun_meters,
                                     Vec3& ctxsun, int& ierrsp, const frame::Constants& constants,
                                     frame::Log& log);

// Greenwich mean sidereal time (hours, [0, 24)) at UT `ut` hours of a year and day of year, from
// the IAU 1982 expression with the Julian date of a calendar without century correction.
void yyddut2sid(int iyear, int idoy, double ut, double& sidtim);

// Rotates an equatorial vector of date into the Earth-fixed frame by the sidereal time of
// yyddut2sid (no nutation or polar motion): x' = cos s x + sin s y, y' = -sin s x + cos s y, z' = z.
void sub_eq2wgs_yydd(int iyear, int idoy, double ut, double& x, double& y, double& z);

// Geocentric Earth-fixed Sun (xs, ys, zs) and Moon (xm, ym, zm), kilometres, at a four-digit year,
// day of year and fraction of day (UT), from the approximate Earth theory (sla_earth) and the Meeus
// lunar theory (sla_dmoon).
void sub_sun_moon(int iyear, int idoy, double fracday, double& xs, double& ys, double& zs, double& xm,
                  double& ym, double& zm);

} // namespace quelmar::models
