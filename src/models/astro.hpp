// Positional-astronomy routines behind the Sun, Moon and planet positions.
//
// Each routine is one published method, written from its published description: approximate
// planetary and lunar theories, the IAU 1976 precession, the IAU 1980 nutation, the observer's
// geocentric position, an approximate TT-UT and the Julian-epoch conversion. Angles are radians,
// positions astronomical units (AU), velocities AU per second, dates modified Julian dates
// (MJD = JD - 2400000.5) unless a routine says otherwise. Outputs are returned by reference.
//
// Greenwich mean sidereal time is the IAU 1982 expression of orbits::sla_gmst, reused here.
#pragma once

#include <array>
#include <string_view>

#include "models/vectors.hpp"

namespace quelmar::models {

// Position and velocity: x, y, z (AU) then xdot, ydot, zdot (AU/s).
using PV6 = std::array<double, 6>;

// Astronomical unit in kilometres, as used by the planetary routines.
constexpr double au_km = 149597870.0;

// Julian epoch of an MJD: 2000 + (MJD - 51544.5) / 365.25.
double sla_epj(double date);

// Approximate ET - UT (equivalently TT - UT) in seconds for a Julian epoch, from the piecewise
// parabolas of Stephenson & Morrison (1984) before 1708 and McCarthy & Babcock (1986) after.
double sla_dt(double epoch);

// Angle reduced to [0, 2 pi).
double sla_dranrm(double angle);

// Cartesian to spherical: longitude a = atan2(y, x) and latitude b (0 for a null vector).
void sla_dcc2s(const Vec3& v, double& a, double& b);

// Matrix product c = a b (c may be a or b).
void sla_dmxm(const Mat3& a, const Mat3& b, Mat3& c);

// Matrix times vector: vb = dm va (vb may be va).
void sla_dmxv(const Mat3& dm, const Vec3& va, Vec3& vb);

// Rotation matrix of up to three successive rotations about the axes named in order ("X", "Y", "Z",
// e.g. "ZYZ"), by the angles phi, theta, psi. Each rotation turns the reference frame (not the
// vector) anticlockwise as seen looking towards the origin from the positive axis. Characters other
// than X/Y/Z (either case) end the sequence.
void sla_deuler(std::string_view order, double phi, double theta, double psi, Mat3& rmat);

// IAU 1976 precession matrix (Lieske et al. 1977) from the mean equator and equinox of Julian epoch
// ep0 to that of ep1: v(ep1) = rmatp v(ep0).
void sla_prec(double ep0, double ep1, Mat3& rmatp);

// IAU 1980 nutation (Wahr's 106-term series, Seidelmann 1982) at a TDB/TT MJD: nutation in longitude
// dpsi and in obliquity deps, and the IAU 1980 mean obliquity eps0 (all radians).
void sla_nutc(double date, double& dpsi, double& deps, double& eps0);

// Nutation matrix, mean to true equator and equinox of date, from sla_nutc.
void sla_nut(double date, Mat3& rmatn);

// Precession-nutation matrix from the mean place at Julian epoch `epoch` to the true place at the
// MJD `date`: nutation(date) x precession(epoch -> epoch of date).
void sla_prenut(double epoch, double date, Mat3& rmatpn);

// Geocentric coordinates of a point at geodetic latitude p (radians) and height h (metres) on the
// IAU 1976 ellipsoid: r = distance from the rotation axis, z = distance from the equator (AU).
void sla_geoc(double p, double h, double& r, double& z);

// Observer's geocentric position and velocity (AU, AU/s) in the true equatorial frame of date, for
// geodetic latitude p, height h (m) and local sidereal time stl (radians).
void sla_pvobs(double p, double h, double stl, PV6& pv);

// Approximate geocentric Moon position and velocity, mean equator and equinox of date (FK5), from
// the lunar theory published by Meeus (l'Astronomie, June 1984, p. 348). date: TDB/TT MJD.
void sla_dmoon(double date, PV6& pv);

// Approximate heliocentric Earth position and velocity, mean equator and equinox of date, for a year,
// day of year (1 = 1 January) and fraction of day (TDB), from a mean-orbit solar theory with the
// Earth-Moon barycentre offset (about 1e-4 AU accuracy).
void sla_earth(int iy, int id, double fd, PV6& pv);

// Heliocentric position and velocity of a planet, mean equator and equinox of J2000: np 1 Mercury,
// 2 Venus, 3 Earth-Moon barycentre, 4 Mars, 5 Jupiter, 6 Saturn, 7 Uranus, 8 Neptune from the mean
// elements and periodic terms of Simon et al. (1994, A&A 282, 663); 9 Pluto from the series of Meeus
// (Astronomical Algorithms, chapter 37). Status jstat: 0 ok; 1 remote date, still computed (more than a
// millennium from J2000, or outside 1885-2099 for Pluto); 2 Kepler's equation did not converge;
// -1 planet number outside 1..9 (pv zero).
void sla_planet(double date, int np, PV6& pv, int& jstat);

// Topocentric apparent right ascension and declination, equatorial angular diameter (radians), the
// topocentric position-velocity (AU, AU/s; light-time corrected position) and distance (AU) of the
// Sun (np 0), a planet (1, 2, 4..9) or the Moon (3), for an observer at east longitude elong and
// geodetic latitude phi (radians, zero height). date: MJD in a dynamical time scale. A code outside
// 0..9 is taken as the Sun.
void sla_rdplan_plus(double date, int np, double elong, double phi, double& ra, double& dec, double& diam,
                     PV6& v, double& r);

// The part of sla_rdplan_plus that depends on the date alone and that every object needs: the
// geocentric Moon (mean of date) and the nutation matrix. Computed once, it serves the Sun and the Moon
// of the same date with the same bits as two separate calls.
struct MoonOfDate {
    double date = 0;
    PV6 moon{};
    Mat3 rnut{};
};
MoonOfDate moon_of_date(double date);
// sla_rdplan_plus with the date-only part already computed (mod.date is the date).
void sla_rdplan_plus(const MoonOfDate& mod, int np, double elong, double phi, double& ra, double& dec,
                     double& diam, PV6& v, double& r);

} // namespace quelmar::models
