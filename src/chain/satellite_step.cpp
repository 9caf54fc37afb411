#include "chain/satellite_step.hpp"

#include <cmath>

#include "models/sun_moon.hpp"
#include "orbits/broadcast.hpp"
#include "orbits/timescales.hpp"

namespace quelmar::chain {

using namespace orbits;

namespace {

// Truncation toward zero; a value no integer can hold (not a number, or beyond +-2e9) gives 0 rather
// than an undefined conversion. Such a record gives a meaningless orbit, never a crash.
int truncated(double x) {
    return std::fabs(x) < 2.0e9 ? static_cast<int>(x) : 0;
}

} // namespace

int satellite_position_and_clock_from_navigation_msg_v5b(
    bool is_eph_read1, const frame::Config& cfg, bool& is_lea_read, int& leapsec, int iprn,
    const messages::EphemerisTable& eph, float128 tdjmobstt, float128 tdjmobs, int irec,
    const Array2<double, 3, maxrec>& recxyz0_, models::AntennaPhaseTable& antenna_phase_, int iblock,
    double satclockerror0, const auxfiles::PreciseOrbitTable& s3c, PolintWork& work, bool rover_sp3_leo,
    SatellitePosition& res, const frame::Constants& constants, frame::TextSink& out, frame::Log& log) {
    int ierrsatpos = 0;
    if (irec < 1 || irec > maxrec) return 3; // the Sun, Moon and geometry need the receiver

    // Reception epoch: UTC and sidereal angle only. Transmit epoch: also the GPS week and seconds that
    // place it in the ephemeris week.
    int ngpsweek = 0, idays_of_gpsweek = 0, ierrgps2ut = 0;
    double tsecgps_in_week = 0;
    tdjmgps_2_tdjmut(tdjmobs, leapsec, is_lea_read, ngpsweek, idays_of_gpsweek, tsecgps_in_week, res.tdjmutrt,
                     res.gmstrt, ierrgps2ut, constants, log);
    tdjmgps_2_tdjmut(tdjmobstt, leapsec, is_lea_read, ngpsweek, idays_of_gpsweek, tsecgps_in_week, res.tdjmut,
                     res.gmst, ierrgps2ut, constants, log);

    const bool precise = cfg.precise_instead_of_eph_orbits;
    const models::Vec3 rec{recxyz0_(1, irec), recxyz0_(2, irec), recxyz0_(3, irec)};
    double distance = 0;
    res.kdist = 0;
    res.update_orbits = false;
    do {
        ++res.kdist;
        const double travel_time_sec = distance / constants.c;
        std::array<double, 3> ctx{};
        if (precise) {
            PreciseFix fix;
            const int ierrps3c = posat_s3e_satellite(tdjmobstt, travel_time_sec, iprn, cfg, s3c, fix, work,
                                                     constants, out, log);
            res.update_orbits = fix.update_orbits;
            if (ierrps3c != 0 || fix.update_orbits) return 1;
            ctx = fix.ctx;
            res.satclockerror = fix.satclockerror;
            res.sctx = fix.sctx;
            res.ssatclockerror = fix.ssatclockerror;
            res.dtrel_m = fix.dtrel_m;
            res.v = fix.v;
        } else {
            if (!is_eph_read1 || iprn < 1 || iprn > maxsat) {
                log.list("WARNING: NO EPH available for satellite ", iprn);
                return -99;
            }
            const double pi = constants.pi;
            const int toe = truncated(eph.toe_(iprn));
            const int wn = truncated(eph.gpsweektoe_(iprn));
            const double t = static_cast<double>(ngpsweek - wn) * 86400.0 * 7.0 + tsecgps_in_week;
            const double trec = t + travel_time_sec;
            if (!posat4(t, trec, eph.omega_upper_(iprn) / pi, eph.xi0_(iprn) / pi,
                        eph.omega_lower_(iprn) / pi, eph.sqrta_(iprn), eph.e_(iprn), eph.xm0_(iprn) / pi, toe,
                        eph.omega_upper_dot_(iprn) / pi, eph.xidot_(iprn) / pi, eph.deltan_(iprn) / pi,
                        eph.cic_(iprn), eph.cis_(iprn), eph.cuc_(iprn), eph.cus_(iprn), eph.crc_(iprn),
                        eph.crs_(iprn), ctx, res.dtrel_m, res.v, out))
                return 2;
            res.satclockerror = satclockerror0;
        }
        res.satxyz = ctx;

        // The Sun and the Moon depend on the transmit epoch and the receiver only, the same in both
        // light-time passes: computed in the first, kept for the second. They share the date-only part
        // of the theories (the Moon of date and the nutation).
        if (res.kdist == 1) {
            int ierrsp = 0;
            const models::MoonOfDate mod = models::moon_of_date(static_cast<double>(res.tdjmut));
            models::solar_system_object_position_v2(0, mod, irec, maxrec, recxyz0_, res.gmst, res.rasun,
                                                    res.xlonsun, res.decsun, res.distsun, res.ctxsun, ierrsp,
                                                    constants, log);
            models::solar_system_object_position_v2(3, mod, irec, maxrec, recxyz0_, res.gmst, res.ramoon,
                                                    res.xlonmoon, res.decmoon, res.distmoon, res.ctxmoon, ierrsp,
                                                    constants, log);
        }

        const int ierrrc = models::ray_coordinates_and_windup_and_satphacen1_v2(
            res.satxyz, irec, recxyz0_, res.ctxsun, antenna_phase_, iprn, iblock, res.gmstrt, rover_sp3_leo,
            constants, res.geometry, log);
        distance = res.geometry.dist0;
        if (ierrrc != 0) ierrsatpos += 10;
    } while (res.kdist == 1);

    const models::Vec3 d{res.satxyz[0] - rec[0], res.satxyz[1] - rec[1], res.satxyz[2] - rec[2]};
    const double dn = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    res.rhodot = dn > 0 ? (res.v[0] * d[0] + res.v[1] * d[1] + res.v[2] * d[2]) / dn : 0.0;

    if (cfg.write_orbit) {
        static const textio::Format orbit_format("(f12.6,1x,i4,2i3,3f16.5,f16.12,1x,l1,a)");
        out.formatted(orbit_format, tdjmobstt, irec, iprn, res.kdist, res.satxyz[0], res.satxyz[1],
                      res.satxyz[2], res.satclockerror, precise, std::string(" ORBIT"));
    }
    return ierrsatpos;
}

} // namespace quelmar::chain
