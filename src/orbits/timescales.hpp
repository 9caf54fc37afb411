// Time scales and the calendar.
//
// Every epoch of the system is a modified Julian date (MJD = JD - 2400000.5) held as a day count, the
// `tdjm` convention. Observation, transmission, broadcast-clock and precise-orbit epochs are binary128
// values in GPS time; universal time is GPS time minus the integer GPS-UTC offset `leapsec`, which an
// LEA message normally supplies and which otherwise comes from the built-in leap-second table below.
//
// The routines follow one convention: inputs by value, outputs (and statuses) by reference, 0 meaning
// success. Arithmetic on binary128 epochs stays in binary128; the conversions to 64-bit happen only
// where a routine says so.
#pragma once

#include "frame/constants.hpp"
#include "frame/log.hpp"

namespace quelmar::orbits {

using float128 = __float128;

// Gregorian leap year: divisible by 4, centuries only when divisible by 400.
bool is_gregorian_leap(std::int64_t iy);

// The hours of the day of a (positive) MJD: its fractional part times 24, formed in binary128.
double hours_of_day(float128 tdjm);

// MJD of the start of GPS time, 1980-01-06 0h (a Sunday): week 0, day 0.
constexpr int mjd_gps_week0 = 44244;

// GPS week and seconds of week, the UTC epoch and the Greenwich mean sidereal angle of a GPS epoch.
//
//   tdjm               GPS epoch (MJD, binary128)
//   leapsec            GPS-UTC in whole seconds; filled from the built-in table when is_lea_read is false
//   is_lea_read        true once leapsec is known; set here the first time the table is used, and that
//                      first use writes a four-line warning to the log (written regardless of silent)
//   ngpsweek           continuous week count since MJD 44244 (no modulo 1024)
//   idays_of_gpsweek   day within the week, 0 (Sunday) .. 6
//   tsecgps_in_week    seconds since the start of the week
//   tdjmut             UTC epoch = tdjm - leapsec/86400 (binary128)
//   gmst               Greenwich mean sidereal time in degrees (UT1 taken equal to UTC)
//   ierrgps2ut         always 0
void tdjmgps_2_tdjmut(float128 tdjm, int& leapsec, bool& is_lea_read, int& ngpsweek, int& idays_of_gpsweek,
                      double& tsecgps_in_week, float128& tdjmut, double& gmst, int& ierrgps2ut,
                      const frame::Constants& constants, frame::Log& log);

// GPS-UTC in whole seconds for a GPS epoch, from the built-in table. The table is indexed by UTC, so
// the lookup is made twice: once at the GPS epoch to get an approximate offset, then again at the UTC
// epoch that offset implies. An epoch within a leap second of a step is thereby classified by its UTC.
void tdjm2lsec_v2(float128 tdjm, int& leapsec);

// -(TAI-UTC) in seconds for a UTC Julian date: 0 before 1972-07-01, -11 from then on, down to -36
// from 2015-07-01, with no later step.
void leapsecs_v2(double xjd, double& xleapsec);

// Gregorian calendar date to the two-part Julian date of its 0h: djm0 = 2400000.5, djm = the MJD.
// Status j: 0 ok, -1 year before -4799, -2 month outside 1..12 (djm0, djm untouched in both cases),
// -3 day outside the month (the date is still converted).
void iau_cal2jd(int iy, int im, int id, double& djm0, double& djm, int& j);

// TAI-UTC in seconds at a UTC date and fraction of day fd. Status j: 0 ok; +1 with deltat 0 for a year
// before 1960; +1 with the value for a year after 2010 (the table may be out of date); -1..-3 from the
// calendar conversion, and -4 for fd outside [0, 1), both with deltat 0. The table's last entry is
// 2006-01-01 (33 s): later dates get 33 s.
void iau_dat(int iy, int im, int id, double fd, double& deltat, int& j);

// Gregorian calendar date to the MJD of its 0h. Status j: 0 ok, 1 year before -4699 and 2 month outside
// 1..12 (djm untouched in both cases), 3 day outside the month (the MJD is still computed, so that
// 2001-02-29 gives the MJD of 2001-03-01).
void sla_cldj(int iy, int im, int id, double& djm, int& j);

// Four-digit year, day of year (1 = 1 January) and fraction of day to MJD. Valid for 1901 to 2099: the
// Julian-day formula used has no century correction.
void yydoy2mjd(int iy, int idoy, double fr, double& xmjd);

// Greenwich mean sidereal time (IAU 1982 expression) in radians, in [0, 2*pi), for UT1 as an MJD.
double sla_gmst(double ut1);

} // namespace quelmar::orbits
