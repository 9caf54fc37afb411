// The path of one receiver-to-satellite ray through the tomographic ionospheric grid: the voxels it
// crosses (in the order of crossing), the length of the ray inside each, and with an a priori
// ionosphere the a priori electron content of the ray inside each voxel and the density at its centre.
//
// Geometry in kilometres, in the right-ascension frame of the grid (the Earth-fixed frame turned by the
// Greenwich sidereal angle). The ray is followed inside the shell between hmin and hmax above the
// sphere of radius rekm, in equal steps of about dray0 km; the voxel of a step point is the nearest
// centre. A ray that passes the shell below hmin crosses it in two sectors, stepped one after the other.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "auxfiles/voxel_centers.hpp"
#include "frame/config.hpp"
#include "models/vectors.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
class Log;
class TextSink;
} // namespace quelmar::frame

namespace quelmar::iono {

constexpr int maxillu = 21; // voxels a ray may cross

// What the ray tracing gives.
struct RayVoxels {
    std::int32_t nilluc = 0;                // voxels crossed
    Array1<std::int32_t, maxillu> illuc{};  // centre number of each, in the order of crossing
    Array1<double, maxillu> xlsr{};         // length of the ray inside each (km)
    Array1<double, maxillu> stecsr{};       // a priori electron content inside each (electrons/m^2)
    Array1<double, maxillu> xnecell{};      // a priori density at each centre (electrons/m^3)
    double xlen_line_of_sight = 0;          // receiver-satellite distance (km)
    double xlen_all_sectors = 0;            // length of the ray inside the shell (km)
    models::Vec3 xr{}, xt{};                // receiver and satellite positions (km)
};

class NeQuick;

// The epoch and setting of the a priori densities, passed through to the empirical models.
struct AprioriSetting {
    NeQuick* nequick = nullptr; // the model of apriori_iono_model_name "n", when the run has it
    bool model_apriori_iono = false;
    std::string apriori_iono_model_name;
    std::int32_t iyearobs = 0, idoyobs = 0, imo = 0;
    double xut = 0;            // UT hour of the day
    double sflux1 = 0, ssn1 = 0;
};

// The a priori electron density (electrons/m^3) at a height above the sphere (km), latitude and
// longitude (degrees) for the epoch and model of `s`. The one place where the ray tracing meets the
// empirical ionosphere models; a model name that is not available stops the run with its message.
double apriori_density(const AprioriSetting& s, double height_km, double lat, double lon, frame::Log& log);

// Search limits of the grid indices around (i0, j0, k0) with half-widths iradius: j and k clamped to
// 1..ijkmax, i not clamped (the caller wraps it), and the whole circle in i when 2 iradius(1) + 1
// exceeds ijkmax(1).
void ijklimits3(int i0, int j0, int k0, const std::array<std::int32_t, 3>& iradius, const Array1<int, 3>& ijkmax,
                int& imin, int& imax, int& jmin, int& jmax, int& kmin, int& kmax);

// Traces the ray from the receiver (geocentric distance rrec in m, right ascension rarec and
// latitude xlatrec in degrees) to the satellite (rsat, rasat, xlatsat) through the grid. Returns
// ierrivl: 0, or 1 (the ray passes too far from the centres), 2 (it does not reach the shell), 3 (the
// shell lies behind the receiver), each with its log lines. kon numbers the observation in messages;
// gmstrt (degrees) turns right ascensions into longitudes for the a priori densities. A grid without a
// centre where one is needed ("ERROR: nnc.eq.0", "ERROR: inc1.eq.0", both also on `out`), more than
// maxillu voxels, a dray0 that would take over a million steps, or an unusable a priori model stop the run.
int ray_2_iono_voxel_lengths_v30(const auxfiles::VoxelGrid& grid, const frame::Config& cfg, double rrec,
                                 double rarec, double xlatrec, double rsat, double rasat, double xlatsat,
                                 std::int32_t kon, double gmstrt, const AprioriSetting& apriori, RayVoxels& ray,
                                 frame::TextSink& out, frame::Log& log);

} // namespace quelmar::iono
