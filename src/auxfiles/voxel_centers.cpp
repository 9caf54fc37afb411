#include "auxfiles/voxel_centers.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "frame/files.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "textio/listread.hpp"

namespace quelmar::auxfiles {

namespace {

constexpr double pi = 3.141592653589793;
constexpr double d2r = pi / 180.0;

[[noreturn]] void stop_with(const char* text, frame::Log& log) {
    log.list(text);
    throw frame::Stop(text);
}

} // namespace

void rradec2xyz(double r, double ra, double dec, double& x, double& y, double& z) {
    const double cdec = std::cos(dec * d2r);
    x = r * cdec * std::cos(ra * d2r);
    y = r * cdec * std::sin(ra * d2r);
    z = r * std::sin(dec * d2r);
}

void xyz2rradec(double x, double y, double z, double& r, double& ra, double& dec) {
    r = std::sqrt(x * x + y * y + z * z);
    if (r == 0.0) {
        ra = dec = 0.0;
        return;
    }
    dec = std::asin(std::clamp(z / r, -1.0, 1.0)) / d2r; // rounding may leave |z/r| just above 1
    ra = std::atan2(y, x) / d2r;
    if (ra < 0.0) ra += 360.0;
}

VoxelGrid::VoxelGrid() : ijk2nc_(static_cast<std::size_t>(maxi) * maxj * maxk, no_centre) {
    hc.fill(0.0);
    rac.fill(0.0);
    decc.fill(0.0);
    xnep.fill(0.0);
    snep.fill(0.0);
    ic.fill(0);
    jc.fill(0);
    kc.fill(0);
    idxc.fill(0);
    xc.fill(0.0);
    nc2ijk.fill(0);
    ijkmax.fill(0);
}

void VoxelGrid::clear_cells() {
    ijk2nc_.assign(ijk2nc_.size(), no_centre);
}

void read_iono_voxel_centers(const std::string& centersfile, double hmin, double hmax, VoxelGrid& grid,
                             int& ierrrvc, frame::Log& log) {
    ierrrvc = 0;
    grid.ijkmax.fill(0);
    grid.clear_cells();
    std::ifstream in;
    if (!frame::open_existing_file(centersfile, in)) {
        ierrrvc = 1;
        stop_with("ERROR: opening centersfile file ", log);
    }
    textio::ListReader r(in);
    int n = 0;
    for (;;) {
        double h = 0.0, ra = 0.0, dec = 0.0, xne = 0.0, sne = 0.0;
        int i = 0, j = 0, k = 0;
        const textio::ReadStatus st = r.read_numbers(h, ra, dec, i, j, k, xne, sne);
        if (st.iostat == textio::IoStat::end_of_file) break;
        if (!st.ok()) {
            ierrrvc = 2;
            stop_with("ERROR: reading input centersfile file", log);
        }
        // The limits are tested before anything of the record is stored.
        ++n;
        if (n > maxcen) stop_with("ERROR: increase maxcen", log);
        if (i > maxi) stop_with("ERROR: increase maxi", log);
        if (j > maxj) stop_with("ERROR: increase maxj", log);
        if (k > maxk) stop_with("ERROR: increase maxk", log);
        if (i < 1 || j < 1 || k < 1) {
            // A grid index starts at 1: such a centre has no cell, and the grid would be inconsistent.
            const char* text = "ERROR: voxel centre grid index below 1 in centersfile file";
            log.list(text);
            log.list("n,ic,jc,kc=", n, i, j, k);
            throw frame::Stop(text);
        }
        grid.hc(n) = h;
        grid.rac(n) = ra;
        grid.decc(n) = dec;
        grid.ic(n) = i;
        grid.jc(n) = j;
        grid.kc(n) = k;
        grid.xnep(n) = xne;
        grid.snep(n) = sne;
        grid.ijkmax(1) = std::max(grid.ijkmax(1), i);
        grid.ijkmax(2) = std::max(grid.ijkmax(2), j);
        grid.ijkmax(3) = std::max(grid.ijkmax(3), k);
        grid.ijk2nc(i, j, k) = n;
        grid.nc2ijk(n, 1) = i;
        grid.nc2ijk(n, 2) = j;
        grid.nc2ijk(n, 3) = k;
        rradec2xyz(h + rekm, ra, dec, grid.xc(n, 1), grid.xc(n, 2), grid.xc(n, 3));
        grid.idxc(n) = -100000 - n;
    }
    grid.ncenp = n;
    // Without any centre there is no layer to divide the shell into, and every ray would later be
    // rejected one observation at a time: the configuration is unusable, so say so now.
    if (n == 0) stop_with("ERROR: no voxel centres in centersfile file", log);
    grid.xlayer_width = (hmax - hmin) / static_cast<double>(grid.ijkmax(3));
}

} // namespace quelmar::auxfiles
