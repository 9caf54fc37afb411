// Geometry of one receiver-satellite ray at one epoch: receiver coordinates (spherical and on the
// WGS84 ellipsoid), distance, elevation and azimuth, line-of-sight unit vectors in the Earth-fixed and
// local east-north-up frames, the single-layer ionospheric pierce point and mapping factor, the
// satellite's nominal yaw attitude, the carrier-phase wind-up with its per-pair memory and the
// satellite antenna phase-centre offset. Also the receiver antenna correction that the combinations
// apply, and the centre-of-mass to antenna correction and wind-up of a low-orbit receiver.
//
// Units: positions in metres (Earth-fixed Cartesian), angles returned in degrees unless a name says
// radians, antenna tables in millimetres.
#pragma once

#include <array>
#include <cassert>
#include <cstdint>

#include "frame/constants.hpp"
#include "frame/limits.hpp"
#include "models/vectors.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
class Log;
}
namespace quelmar::auxfiles {
class PcvTable;
}

namespace quelmar::models {

// WGS84 ellipsoid of the ellipsoidal receiver coordinates.
constexpr double wgs84_a = 6378137.0;   // semi-major axis, m
constexpr double wgs84_b = 6356752.314; // semi-minor axis, m
// Earth rotation rate used for the inertial velocity of a low-orbit receiver, rad/s.
constexpr double leo_earth_rotation = 7.2921151467e-05;
// Satellite blocks with a phase-centre offset in the table (1..nblock_pc_offset accepted).
constexpr int nblock_pc_offset = 4;
constexpr int nblock_pc_table = 9;

// The unwrapped antenna orientation angles of every receiver-satellite pair, radians:
// (irec, iprn, 1) receiver antenna, (irec, iprn, 2) satellite antenna. Zero at start-up and never
// reset: the run owns one table for its whole life (a new arc or a cycle slip does not clear it).
class AntennaPhaseTable {
  public:
    AntennaPhaseTable() { a_.fill(0.0); }
    double& operator()(int irec, int iprn, int k) { return a_[index(irec, iprn, k)]; }
    double operator()(int irec, int iprn, int k) const { return a_[index(irec, iprn, k)]; }
    static bool valid_pair(int irec, int iprn) {
        return irec >= 1 && irec <= maxrec && iprn >= 1 && iprn <= maxsat;
    }
    void fill(double v) { a_.fill(v); }

  private:
    static std::size_t index(int irec, int iprn, int k) {
        assert(valid_pair(irec, iprn) && (k == 1 || k == 2));
        return static_cast<std::size_t>((irec - 1) + maxrec * (iprn - 1) + maxrec * maxsat * (k - 1));
    }
    std::array<double, static_cast<std::size_t>(maxrec* maxsat * 2)> a_{};
};

// What the ray-geometry step hands back to the satellite-position step and, through it, to the chain.
struct RayGeometry {
    double slonrec0 = 0, slatrec0 = 0,
           shrec0 = 0;               // spherical longitude 0..360, latitude (deg), height over re (m)
    double elatrec0 = 0, ehrec0 = 0; // ellipsoidal latitude (deg) and height (m)
    double elonrec0 = 0;             // ellipsoidal longitude 0..360 (deg), used internally
    double sele0 = 0;                // spherical elevation (deg)
    double eele0 = 0, eazi0 = 0;     // ellipsoidal elevation and azimuth 0..360 (deg)
    double dist0 = 0;                // receiver-satellite distance (m)
    Vec3 dctxnorm0{};                // receiver-to-satellite unit vector, Earth-fixed
    Vec3 dctx_enunorm{};             // the same in east, north, up
    double windup = 0;               // satellite minus receiver antenna angle (rad)
    double satphacen = 0;            // satellite phase-centre offset on the line of sight (m)
    double xmapping_iono = 0;        // single-layer mapping factor
    double xlonion = 0, xlation = 0, xraion = 0; // pierce point longitude, latitude, right ascension (deg)
};

// Cartesian (m) to ellipsoidal height (m), longitude 0..360 and latitude (deg) on WGS84. The latitude
// is iterated until two successive values differ by at most 1e-14 rad (at most 100 iterations). On the
// polar axis (x = y = 0) the latitude is +-90 and the height |z| - b; at the centre, latitude 0 and
// height -a.
void sesf2eli(double x, double y, double z, double& he, double& xlone, double& xlate);

// The satellite antenna offset of block iblock (1..9) in the body frame (x, y, z), m.
Vec3 sat_pc_offset(int iblock);

// The satellite phase-centre offset projected on the receiver-to-satellite unit vector dctx, for the
// body axes x_gps, y_gps, z_gps. Returns 0 and sets satphacen; a block outside 1..4 returns 1, logs
// "ERROR: Block Id. out of range, iblock=" with the block and sets satphacen to 0.
int satphacen_correction(const Vec3& dctx, const Vec3& x_gps, const Vec3& y_gps, const Vec3& z_gps,
                         int iblock, double& satphacen, frame::Log& log);

// Nominal yaw-steering axes of a satellite at ctx with the Sun at ctxsun (both Earth-fixed, m):
// z towards the Earth's centre, y along sun-direction x position, x completing the frame.
struct SatelliteAxes {
    Vec3 x_gps{}, y_gps{}, z_gps{};
};
SatelliteAxes nominal_yaw_axes(const Vec3& ctx, const Vec3& ctxsun);

// Brings `stored` (an unwrapped angle, rad) to `angle` by the difference reduced to (-pi, pi], so that
// the stored angle follows the rotation without jumps of 2 pi. A non-finite angle leaves it unchanged.
void unwrap_angle(double& stored, double angle);

// Satellite attitude, wind-up and satellite phase centre for the unit vectors dctx (Earth-fixed) and
// dctx_enu, satellite ctx and Sun ctxsun. Updates antenna_phase_(irec, iprn, 1..2); for a low-orbit
// rover the receiver angle is left alone and windup is 0.
void permanent_receiver_windup_and_satphacen_v2(const Vec3& dctx_enu, const Vec3& dctx, const Vec3& ctx,
                                                const Vec3& ctxsun, int irec, int iprn, int iblock,
                                                AntennaPhaseTable& antenna_phase_, bool rover_sp3_leo,
                                                double& windup, double& satphacen, frame::Log& log);

// The ray geometry proper for receiver ctxrec and satellite ctx, then the wind-up and phase centre.
void possatrec2eleazi_sph_eli_dist_windup1_v2(const Vec3& ctxrec, const Vec3& ctx, const Vec3& ctxsun,
                                              int irec, int iprn, int iblock, double gmst, bool rover_sp3_leo,
                                              AntennaPhaseTable& antenna_phase_,
                                              const frame::Constants& constants, RayGeometry& g,
                                              frame::Log& log);

// The entry called by the satellite-position step: receiver recxyz0_(1..3, irec), satellite satxyz,
// Sun ctxsun, sidereal angle gmst (deg). Returns ierrrc: 0, or 1 when irec or iprn is not a table slot
// (then nothing is computed and the wind-up memory is untouched).
int ray_coordinates_and_windup_and_satphacen1_v2(const Vec3& satxyz, int irec,
                                                 const Array2<double, 3, maxrec>& recxyz0_,
                                                 const Vec3& ctxsun, AntennaPhaseTable& antenna_phase_,
                                                 int iprn, int iblock, double gmst, bool rover_sp3_leo,
                                                 const frame::Constants& constants, RayGeometry& g,
                                                 frame::Log& log);

// The receiver antenna correction of frequencies k = 1, 2 in millimetres (index 1..maxfre; all other
// slots 0): offset and eccentricity projected on dctx_enunorm plus the elevation-dependent variation
// interpolated linearly on the 5-degree zenith-angle nodes at z = 90 - eele0. Zero for every
// frequency unless nobs is 4 and the receiver is not a low-orbit rover. Zenith angles outside 0..90
// (a ray below the horizon) use the nearest end node. The combinations add phase_center_corr(k)/1000
// metres to the code and carrier observables of frequency k.
void receiver_antenna_correction(int nobs, bool rover_sp3_leo, int irec, const Vec3& dctx_enunorm,
                                 double eele0, const Array1<std::int32_t, maxrec>& iant_,
                                 const Array2<double, maxrec, 3>& ant_delta_hen,
                                 const auxfiles::PcvTable& pcv, Array1<double, maxfre>& phase_center_corr);

// The elevation-dependent variation alone (mm) of frequency k of antenna iant at elevation eele0 (deg).
double receiver_pcv_elevation(const auxfiles::PcvTable& pcv, int k, int iant, double eele0);

// Centre of mass to antenna of a low-orbit rover at recxyz with Earth-fixed velocity vrover_sp3 (m/s):
// the offset xleocm2pc_offset_(irec_rover_sp3_leo, along, cross, radial) projected on dctxnorm0
// (xleo_cm2pc_to_add_to_mrange, m), the receiver antenna angle in the orbit frame, its unwrapping in
// antenna_phase_(irec, iprn, 1) and windup_rover_sp3_leo. Returns ierrlcm2pc: 0, or 1 when an index
// is not a table slot (nothing computed).
int leo_center_of_mass_to_phase_center_and_windup(const Vec3& recxyz, const Vec3& vrover_sp3,
                                                  const Vec3& dctxnorm0, int irec_rover_sp3_leo,
                                                  const Array2<double, maxrec, 3>& xleocm2pc_offset_,
                                                  double& xleo_cm2pc_to_add_to_mrange,
                                                  double& angle_rec_rover_sp3_leo,
                                                  AntennaPhaseTable& antenna_phase_, int irec, int iprn,
                                                  double& windup_rover_sp3_leo);

} // namespace quelmar::models
