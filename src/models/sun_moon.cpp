// Sun, Moon and planet positions: see sun_moon.hpp.
#include "models/sun_moon.hpp"

#include <cmath>

#include "frame/stop.hpp"
#include "models/astro.hpp"
#include "orbits/timescales.hpp"

namespace quelmar::models {

void solar_system_object_position_v2(int ip, float128 tdjm, int irec, int maxrec,
                                     const Array2<double, 3, quelmar::maxrec>& recxyz0_, double gmst,
                                     double& rasun, double& xlonsun, double& decsun, double& distsun_meters,
                                     Vec3& ctxsun, int& ierrsp, const frame::Constants& constants,
                                     frame::Log& log) {
    solar_system_object_position_v2(ip, moon_of_date(static_cast<double>(tdjm)), irec, maxrec, recxyz0_, gmst,
                                    rasun, xlonsun, decsun, distsun_meters, ctxsun, ierrsp, constants, log);
}

void solar_system_object_position_v2(int ip, const MoonOfDate& mod, int irec, int maxrec,
                                     const Array2<double, 3, quelmar::maxrec>& recxyz0_, double gmst,
                                     double& rasun, double& xlonsun, double& decsun, double& distsun_meters,
                                     Vec3& ctxsun, int& ierrsp, const frame::Constants& constants,
                                     frame::Log& log) {
    (void)maxrec; // the table's size is fixed by its type
    if (ip < 0 || ip > 9) {
        ierrsp = -1;
        log.list("ERROR: Solar System Object code ouf of range");
        log.list(" ip = ", ip, " beyond [0,9] allowed interval");
        throw frame::Stop("ERROR: Solar System Object code ouf of range");
    }
    if (irec < 1 || irec > quelmar::maxrec) {
        // Not a receiver slot: nothing to compute from (the chain only passes registered slots).
        ierrsp = -2;
        return;
    }
    ierrsp = 0;
    const double d2r = constants.pi / 180.0;

    // The receiver's geocentric longitude and latitude stand for the observer's geodetic ones.
    const Vec3 rec = {recxyz0_(1, irec), recxyz0_(2, irec), recxyz0_(3, irec)};
    const double rnorm = std::sqrt(scapro(rec, rec));
    const double xlon = std::atan2(rec[1], rec[0]);
    const double xlat = (rnorm > 0.0) ? std::asin(rec[2] / rnorm) : 0.0;

    double ra = 0, dec = 0, diam = 0, r = 0;
    PV6 v{};
    sla_rdplan_plus(mod, ip, xlon, xlat, ra, dec, diam, v, r);

    rasun = ra / d2r;
    decsun = dec / d2r;
    xlonsun = std::fmod(rasun - gmst, 360.0);
    if (xlonsun < 0.0) xlonsun += 360.0;
    distsun_meters = r * 149597870.0 * 1000.0;

    // The topocentric direction turned to the Earth-fixed frame by the mean sidereal angle, placed at
    // the receiver.
    const double lam = xlonsun * d2r;
    ctxsun = {rec[0] + distsun_meters * std::cos(dec) * std::cos(lam),
              rec[1] + distsun_meters * std::cos(dec) * std::sin(lam),
              rec[2] + distsun_meters * std::sin(dec)};
}

void yyddut2sid(int iyear, int idoy, double ut, double& sidtim) {
    const double jd = std::floor(365.25 * (iyear - 1)) + 428.0 + idoy + ut / 24.0 + 1720981.5;
    const double t = (jd - 2451545.0) / 36525.0;
    double s = (24110.54841 + 8640184.812866 * t + 0.093104 * t * t - 6.2e-6 * t * t * t) / 3600.0 + ut;
    s = std::fmod(s, 24.0);
    if (s < 0.0) s += 24.0;
    sidtim = s;
}

void sub_eq2wgs_yydd(int iyear, int idoy, double ut, double& x, double& y, double& z) {
    constexpr double pi = 3.141592653589793;
    double sidtim = 0;
    yyddut2sid(iyear, idoy, ut, sidtim);
    const double theta = sidtim * pi / 12.0;
    const double c = std::cos(theta), s = std::sin(theta);
    const double x0 = x, y0 = y;
    x = c * x0 + s * y0;
    y = -s * x0 + c * y0;
    (void)z; // the rotation is about the pole
}

void sub_sun_moon(int iyear, int idoy, double fracday, double& xs, double& ys, double& zs, double& xm,
                  double& ym, double& zm) {
    const double ut = 24.0 * fracday;

    // The Sun is the negated heliocentric Earth.
    PV6 earth{};
    sla_earth(iyear, idoy, fracday, earth);
    xs = -earth[0] * au_km;
    ys = -earth[1] * au_km;
    zs = -earth[2] * au_km;
    sub_eq2wgs_yydd(iyear, idoy, ut, xs, ys, zs);

    double xmjd = 0;
    orbits::yydoy2mjd(iyear, idoy, fracday, xmjd);
    PV6 moon{};
    sla_dmoon(xmjd, moon);
    xm = moon[0] * au_km;
    ym = moon[1] * au_km;
    zm = moon[2] * au_km;
    sub_eq2wgs_yydd(iyear, idoy, ut, xm, ym, zm);
}

} // namespace quelmar::models
