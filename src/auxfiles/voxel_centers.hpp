// The centres of the voxels of the tomographic ionospheric grid, and the conversion from spherical to
// Cartesian coordinates that the grid and the ray tracing share.
//
// The centres file holds one record per voxel in free (list-directed) form: height above the sphere
// (km), right ascension and declination (degrees), the grid indices i (right ascension), j
// (declination) and k (height layer), and two further values stored as read. Grid indices start at 1.
#pragma once

#include <cassert>
#include <cstddef>
#include <string>
#include <vector>

#include "util/array.hpp"

namespace quelmar::frame {
class Log;
}

namespace quelmar::auxfiles {

constexpr int maxcen = 150; // voxel centres
constexpr int maxi = 140;   // grid index i (right ascension)
constexpr int maxj = 91;    // grid index j (declination)
constexpr int maxk = 4;     // grid index k (height layer)

// Radius of the sphere above which the grid heights are counted, km.
constexpr double rekm = 6371.0;

// Cell value of ijk2nc for a grid cell without a centre.
constexpr int no_centre = -99;

// Spherical (radius, right ascension and declination in degrees) to Cartesian coordinates:
// x = r cos(dec) cos(ra), y = r cos(dec) sin(ra), z = r sin(dec), in the unit of r.
void rradec2xyz(double r, double ra, double dec, double& x, double& y, double& z);

// The inverse: Cartesian coordinates to the distance r from the origin (unit of x, y, z), right
// ascension (or longitude) ra in 0..360 and declination (or latitude) dec in -90..90, degrees. The
// origin itself gives r = ra = dec = 0.
void xyz2rradec(double x, double y, double z, double& r, double& ra, double& dec);

struct VoxelGrid {
    VoxelGrid();

    int ncenp = 0;                        // centres read; 0 when the ionospheric model is not estimated
    Array1<double, maxcen> hc, rac, decc; // height (km), right ascension, declination (degrees)
    Array1<int, maxcen> ic, jc, kc;       // grid indices of each centre
    Array1<double, maxcen> xnep, snep;    // stored as read
    Array2<double, maxcen, 3> xc;         // Cartesian position of each centre, km
    Array1<int, maxcen> idxc;             // -100000 - n for centre n: the voxel's unknown
    Array2<int, maxcen, 3> nc2ijk;        // grid indices of each centre
    Array1<int, 3> ijkmax;                // largest i, j and k read
    double xlayer_width = 0.0;            // (hmax - hmin) / ijkmax(3), km

    // Centre number of a grid cell (1-based indices within maxi x maxj x maxk), no_centre if none.
    int& ijk2nc(int i, int j, int k) { return ijk2nc_[cell(i, j, k)]; }
    int ijk2nc(int i, int j, int k) const { return ijk2nc_[cell(i, j, k)]; }
    static bool in_grid(int i, int j, int k) {
        return i >= 1 && i <= maxi && j >= 1 && j <= maxj && k >= 1 && k <= maxk;
    }
    // Every cell back to no_centre.
    void clear_cells();

  private:
    // Column order, as the other tables: i fastest.
    static std::size_t cell(int i, int j, int k) {
        assert(in_grid(i, j, k));
        return static_cast<std::size_t>((i - 1) + maxi * ((j - 1) + maxj * (k - 1)));
    }
    std::vector<int> ijk2nc_;
};

// Reads the voxel centres: fills the per-centre tables, the cell map, ijkmax and the layer width
// (hmax - hmin) / ijkmax(3) from the ray-tracing configuration. Status ierrrvc: 0 ok. Every failure
// logs its message and stops the run (frame::Stop) with it:
//   "ERROR: opening centersfile file "      the file cannot be opened (status 1)
//   "ERROR: reading input centersfile file"  a record cannot be read (status 2)
//   "ERROR: increase maxcen" / "maxi" / "maxj" / "maxk"   a record beyond the table limits; tested
//                                            before the record is stored, so nothing is written out
//                                            of the tables
//   "ERROR: voxel centre grid index below 1 in centersfile file"   an index i, j or k below 1
//   "ERROR: no voxel centres in centersfile file"                 a file without any record
void read_iono_voxel_centers(const std::string& centersfile, double hmin, double hmax, VoxelGrid& grid,
                             int& ierrrvc, frame::Log& log);

} // namespace quelmar::auxfiles
