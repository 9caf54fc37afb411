#include "models/geometry.hpp"

#include <algorithm>
#include <cmath>

#include "auxfiles/pcv.hpp"
#include "frame/log.hpp"

namespace quelmar::models {

namespace {

constexpr double pi_ = 3.141592653589793;
constexpr double r2d_ = 180.0 / pi_;

// Satellite antenna offsets (x, y, z, m) in the body frame by block; only blocks 1..4 are used.
constexpr std::array<Vec3, nblock_pc_table> sat_pc_offset_table = {{
    {0.0, 0.0, 0.0},
    {0.279, 0.0, 1.023},
    {0.279, 0.0, 1.023},
    {0.0, 0.0, 0.0},
    {0.0, 0.0, 0.0},
    {0.0, 0.0, 0.0},
    {0.0, 0.0, 0.0},
    {0.0, 0.0, 0.0},
    {0.0, 0.0, 0.0},
}};

} // namespace

void sesf2eli(double x, double y, double z, double& he, double& xlone, double& xlate) {
    const double a = wgs84_a, b = wgs84_b;
    const double e2 = (a * a - b * b) / (a * a);
    const double lon = std::atan2(y, x);
    const double p = std::sqrt(x * x + y * y);
    double lat;
    if (p == 0.0) {
        // On the polar axis the iteration divides by zero; the answer is exact there.
        lat = z > 0.0 ? pi_ / 2 : (z < 0.0 ? -pi_ / 2 : 0.0);
        he = z != 0.0 ? std::fabs(z) - b : -a;
    } else {
        lat = std::atan(z / p / std::sqrt(1.0 - e2));
        double h = 0.0;
        for (int iter = 0; iter < 100; ++iter) {
            const double ca = a * std::cos(lat), sb = b * std::sin(lat);
            const double n = a * a / std::sqrt(ca * ca + sb * sb);
            h = p / std::cos(lat) - n;
            const double lat1 = std::atan((z / p) / (1.0 - e2 * n / (n + h)));
            const double d = std::fabs(lat1 - lat);
            lat = lat1;
            if (!(d > 1e-14)) break;
        }
        he = h; // from the latitude before the last step, which differs by at most 1e-14 rad
        // Within about 0.6 degrees of a pole p / cos(lat) amplifies the last latitude step and the
        // rounding of cos(lat) (by r / p): 1 mm from the axis that is metres of height. There the
        // height is taken along the normal, p cos(lat) + z sin(lat) - a sqrt(1 - e2 sin^2(lat)),
        // which is insensitive to the latitude to first order.
        if (std::fabs(std::cos(lat)) < 1e-2) {
            const double sl = std::sin(lat);
            he = p * std::cos(lat) + z * sl - a * std::sqrt(1.0 - e2 * sl * sl);
        }
    }
    xlone = std::fmod(lon * r2d_ + 360.0, 360.0);
    xlate = lat * r2d_;
}

Vec3 sat_pc_offset(int iblock) {
    if (iblock < 1 || iblock > nblock_pc_table) return {0.0, 0.0, 0.0};
    return sat_pc_offset_table[static_cast<std::size_t>(iblock - 1)];
}

int satphacen_correction(const Vec3& dctx, const Vec3& x_gps, const Vec3& y_gps, const Vec3& z_gps,
                         int iblock, double& satphacen, frame::Log& log) {
    if (iblock < 1 || iblock > nblock_pc_offset) {
        log.list("ERROR: Block Id. out of range, iblock=", iblock);
        satphacen = 0.0;
        return 1;
    }
    const Vec3 off = sat_pc_offset(iblock);
    const Vec3 satphacenv = vecadd(veclin(x_gps, y_gps, off[0], off[1]), veccoe(z_gps, off[2]));
    satphacen = scapro(dctx, satphacenv);
    return 0;
}

SatelliteAxes nominal_yaw_axes(const Vec3& ctx, const Vec3& ctxsun) {
    SatelliteAxes ax;
    ax.z_gps = veccoe(unit(ctx), -1.0);
    const Vec3 gps2sun = unit(vecsub(ctxsun, ctx));
    ax.y_gps = unit(vecpro(gps2sun, ctx));
    ax.x_gps = vecpro(ax.y_gps, ax.z_gps);
    return ax;
}

void unwrap_angle(double& stored, double angle) {
    if (!std::isfinite(angle)) return;
    const double d = angle - stored;
    stored += std::atan2(std::sin(d), std::cos(d));
}

void permanent_receiver_windup_and_satphacen_v2(const Vec3& dctx_enu, const Vec3& dctx, const Vec3& ctx,
                                                const Vec3& ctxsun, int irec, int iprn, int iblock,
                                                AntennaPhaseTable& antenna_phase_, bool rover_sp3_leo,
                                                double& windup, double& satphacen, frame::Log& log) {
    const SatelliteAxes ax = nominal_yaw_axes(ctx, ctxsun);

    // Receiver antenna: the direction from the satellite seen in the horizontal plane (east, north).
    const double angle_rec = rover_sp3_leo ? 0.0 : std::atan2(-dctx_enu[0], -dctx_enu[1]);
    // Satellite antenna: the direction to the receiver projected on the body x-y plane.
    const Vec3 rhon = veccoe(dctx, -1.0);
    const Vec3 wgps = veclin(rhon, ax.z_gps, 1.0, -scapro(rhon, ax.z_gps));
    const double angle_gps = std::atan2(scapro(wgps, ax.y_gps), scapro(wgps, ax.x_gps));

    if (!rover_sp3_leo) unwrap_angle(antenna_phase_(irec, iprn, 1), angle_rec);
    unwrap_angle(antenna_phase_(irec, iprn, 2), angle_gps);
    windup = rover_sp3_leo ? 0.0 : antenna_phase_(irec, iprn, 2) - antenna_phase_(irec, iprn, 1);

    satphacen_correction(dctx, ax.x_gps, ax.y_gps, ax.z_gps, iblock, satphacen, log);
}

void possatrec2eleazi_sph_eli_dist_windup1_v2(const Vec3& ctxrec, const Vec3& ctx, const Vec3& ctxsun,
                                              int irec, int iprn, int iblock, double gmst, bool rover_sp3_leo,
                                              AntennaPhaseTable& antenna_phase_,
                                              const frame::Constants& constants, RayGeometry& g,
                                              frame::Log& log) {
    const double r2d = 180.0 / constants.pi;

    // Distance and spherical elevation.
    Vec3 dctx = vecsub(ctx, ctxrec);
    const double dist = norm(dctx);
    const double rrec = norm(ctxrec);
    const double pescn = scapro(ctxrec, dctx) / dist; // receiver radius vector projected on the ray
    // A satellite on the local vertical gives a ratio a rounding above 1: its elevation is 90 degrees,
    // not the NaN of asin.
    const double sele_rad = std::asin(std::clamp(pescn / rrec, -1.0, 1.0));
    g.dist0 = dist;
    g.sele0 = sele_rad * r2d;

    // Spherical receiver coordinates.
    g.slonrec0 = std::atan2(ctxrec[1], ctxrec[0]) * r2d;
    if (g.slonrec0 < 0.0) g.slonrec0 += 360.0;
    g.slatrec0 = std::asin(ctxrec[2] / rrec) * r2d;
    g.shrec0 = rrec - constants.re;

    // Ellipsoidal receiver coordinates.
    sesf2eli(ctxrec[0], ctxrec[1], ctxrec[2], g.ehrec0, g.elonrec0, g.elatrec0);

    // Local east, north, up frame at the ellipsoidal latitude and longitude.
    const double phi = g.elatrec0 / r2d, lam = g.elonrec0 / r2d;
    Vec3 dctx_enu = mpro(rot1(constants.pi / 2 - phi), mpro(rot3(constants.pi / 2 + lam), dctx));
    g.eazi0 = std::atan2(dctx_enu[0], dctx_enu[1]) * r2d;
    if (g.eazi0 < 0.0) g.eazi0 += 360.0;
    g.eele0 = std::asin(std::clamp(dctx_enu[2] / dist, -1.0, 1.0)) * r2d;

    // Single ionospheric layer: mapping factor at the spherical elevation and the pierce point.
    const double rion = 1000.0 * constants.hionokm1 + constants.re;
    const double q = rrec * std::cos(sele_rad) / rion;
    g.xmapping_iono = 1.0 / std::sqrt(1.0 - q * q);
    const double xlambda = std::sqrt(rion * rion + pescn * pescn - rrec * rrec) - pescn;
    const Vec3 ctxion = vecadd(ctxrec, veccoe(dctx, xlambda / dist));
    g.xlation = std::asin(ctxion[2] / rion) * r2d;
    g.xlonion = std::atan2(ctxion[1], ctxion[0]) * r2d;
    g.xraion = std::fmod(gmst + g.xlonion, 360.0);
    if (g.xraion < 0.0) g.xraion += 360.0;

    veccoe1(dctx, 1.0 / dist);
    veccoe1(dctx_enu, 1.0 / dist);
    g.dctxnorm0 = dctx;
    g.dctx_enunorm = dctx_enu;

    permanent_receiver_windup_and_satphacen_v2(dctx_enu, dctx, ctx, ctxsun, irec, iprn, iblock,
                                               antenna_phase_, rover_sp3_leo, g.windup, g.satphacen, log);
}

int ray_coordinates_and_windup_and_satphacen1_v2(const Vec3& satxyz, int irec,
                                                 const Array2<double, 3, maxrec>& recxyz0_,
                                                 const Vec3& ctxsun, AntennaPhaseTable& antenna_phase_,
                                                 int iprn, int iblock, double gmst, bool rover_sp3_leo,
                                                 const frame::Constants& constants, RayGeometry& g,
                                                 frame::Log& log) {
    if (!AntennaPhaseTable::valid_pair(irec, iprn)) return 1;
    const Vec3 ctxrec = {recxyz0_(1, irec), recxyz0_(2, irec), recxyz0_(3, irec)};
    possatrec2eleazi_sph_eli_dist_windup1_v2(ctxrec, satxyz, ctxsun, irec, iprn, iblock, gmst, rover_sp3_leo,
                                             antenna_phase_, constants, g, log);
    return 0;
}

double receiver_pcv_elevation(const auxfiles::PcvTable& pcv, int k, int iant, double eele0) {
    double z = 90.0 - eele0;
    if (!(z >= 0.0)) z = 0.0; // NaN included: no direction, no variation beyond the zenith node
    if (z > 90.0) z = 90.0;
    const int i = static_cast<int>(z / 5.0); // truncation; 18 at z = 90
    const double v1 = pcv.phase_center_elev_(k, i + 1, iant);
    const double v2 = pcv.phase_center_elev_(k, std::min(i + 2, 19), iant);
    return v1 + (v2 - v1) * (z - 5.0 * i) / 5.0;
}

void receiver_antenna_correction(int nobs, bool rover_sp3_leo, int irec, const Vec3& dctx_enunorm,
                                 double eele0, const Array1<std::int32_t, maxrec>& iant_,
                                 const Array2<double, maxrec, 3>& ant_delta_hen,
                                 const auxfiles::PcvTable& pcv, Array1<double, maxfre>& phase_center_corr) {
    phase_center_corr.fill(0.0);
    if (nobs != 4 || rover_sp3_leo || irec < 1 || irec > maxrec) return;
    const int iant = iant_(irec);
    for (int k = 1; k <= 2; ++k) {
        const Vec3 pco_enu = {1000.0 * ant_delta_hen(irec, 2) + pcv.phase_center_offset_(k, 2, iant),
                              1000.0 * ant_delta_hen(irec, 3) + pcv.phase_center_offset_(k, 1, iant),
                              1000.0 * ant_delta_hen(irec, 1) + pcv.phase_center_offset_(k, 3, iant)};
        phase_center_corr(k) = scapro(dctx_enunorm, pco_enu) + receiver_pcv_elevation(pcv, k, iant, eele0);
    }
}

int leo_center_of_mass_to_phase_center_and_windup(const Vec3& recxyz, const Vec3& vrover_sp3,
                                                  const Vec3& dctxnorm0, int irec_rover_sp3_leo,
                                                  const Array2<double, maxrec, 3>& xleocm2pc_offset_,
                                                  double& xleo_cm2pc_to_add_to_mrange,
                                                  double& angle_rec_rover_sp3_leo,
                                                  AntennaPhaseTable& antenna_phase_, int irec, int iprn,
                                                  double& windup_rover_sp3_leo) {
    if (irec_rover_sp3_leo < 1 || irec_rover_sp3_leo > maxrec || !AntennaPhaseTable::valid_pair(irec, iprn))
        return 1;
    const Vec3 omega = {0.0, 0.0, leo_earth_rotation};
    const Vec3 v_eci = vecsub(vrover_sp3, vecpro(omega, recxyz));
    const Vec3 zaxis = veccoe(unit(recxyz), -1.0);
    const Vec3 yaxis = unit(vecpro(zaxis, v_eci));
    const Vec3 xaxis = vecpro(yaxis, zaxis);
    const int i = irec_rover_sp3_leo;
    const Vec3 c2p = vecadd(veclin(xaxis, yaxis, xleocm2pc_offset_(i, 1), xleocm2pc_offset_(i, 2)),
                            veccoe(zaxis, xleocm2pc_offset_(i, 3)));
    xleo_cm2pc_to_add_to_mrange = scapro(c2p, dctxnorm0);
    angle_rec_rover_sp3_leo = std::atan2(-scapro(dctxnorm0, yaxis), -scapro(dctxnorm0, xaxis));
    unwrap_angle(antenna_phase_(irec, iprn, 1), angle_rec_rover_sp3_leo);
    windup_rover_sp3_leo = antenna_phase_(irec, iprn, 2) - antenna_phase_(irec, iprn, 1);
    return 0;
}

} // namespace quelmar::models
