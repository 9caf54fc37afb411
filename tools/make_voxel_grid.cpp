// make_voxel_grid: writes the voxel-centres file of the tomographic ionospheric grid.
//
//   make_voxel_grid [-o FILE] (--ra RA0 RA1 | --lon LON0 LON1 --gmst DEG) --dec DEC0 DEC1
//                   --shell HMIN HMAX LAYERS --res DRA DDEC
//
// The grid is regular: columns of DRA degrees of right ascension from RA0 to RA1, rows of DDEC degrees
// of declination from DEC0 to DEC1, and LAYERS equal layers from HMIN to HMAX km above the 6371 km
// sphere. Each voxel's centre is at the middle of its column, row and layer. One line per centre, in
// the layout the program reads: height (km), right ascension and declination (degrees), the indices i
// (column, from 1 at RA0), j (row, from 1 at DEC0), k (layer, from 1 at the bottom), and the two further
// values, written as 0.0. Centres are numbered in file order, i fastest, then j, then k.
//
// The grid lives in the right-ascension frame: a ray point's right ascension is its longitude plus the
// Greenwich sidereal angle, so a grid fixed in right ascension turns westward over the Earth by about
// 15 degrees an hour. A grid meant to serve a whole day must cover all 360 degrees (--ra 0 360) in a
// band of declination; a grid over part of the circle covers a region of longitudes only for a while.
// --lon LON0 LON1 --gmst DEG places the columns over those longitudes at the moment the Greenwich
// sidereal angle is DEG (RA = longitude + DEG); rays far from that moment are rejected as too far from
// the centres, or fall to the columns at the edge of the grid.
//
// The program's limits are refused: at most 150 centres, 140 columns, 91 rows and 4 layers. Status: 0
// written, 1 the file cannot be written, 2 usage errors and grids the program cannot hold.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "auxfiles/voxel_centers.hpp"

namespace {

using namespace quelmar;

int usage() {
    std::fprintf(stderr, "usage: make_voxel_grid [-o FILE] (--ra RA0 RA1 | --lon LON0 LON1 --gmst DEG) "
                         "--dec DEC0 DEC1 --shell HMIN HMAX LAYERS --res DRA DDEC\n");
    return 2;
}

int refuse(const std::string& why) {
    std::fprintf(stderr, "make_voxel_grid: %s\n", why.c_str());
    return 2;
}

bool parse_double(const char* s, double& v) {
    try {
        std::size_t used = 0;
        const std::string t = s;
        v = std::stod(t, &used);
        return used == t.size() && std::isfinite(v);
    } catch (const std::exception&) {
        return false;
    }
}

// How many steps of `step` fill `from..to`, when that is a whole number (to 1e-9 of a step); 0 if not.
// Absurdly many steps count as 1e9, which every limit refuses.
long whole_steps(double from, double to, double step) {
    const double q = (to - from) / step;
    if (q > 1e9) return 1000000000L;
    const double n = std::round(q);
    return std::fabs(q - n) <= 1e-9 * std::max(1.0, n) && n >= 1 ? static_cast<long>(n) : 0;
}

std::string str(double x) {
    std::ostringstream s;
    s << x;
    return s.str();
}

int run(int argc, char** argv) {
    std::string out_name;
    double ra[2] = {0, 0}, lon[2] = {0, 0}, dec[2] = {0, 0}, shell[3] = {0, 0, 0}, res[2] = {0, 0}, gmst = 0;
    bool has_ra = false, has_lon = false, has_gmst = false, has_dec = false, has_shell = false,
         has_res = false;
    // Each option and the values it takes.
    const auto take = [&](int& i, int n, double* into, bool& flag) {
        if (i + n >= argc) return false;
        for (int m = 0; m < n; ++m)
            if (!parse_double(argv[i + 1 + m], into[m])) return false;
        i += n;
        flag = true;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        bool ok = true;
        if (a == "-o" && i + 1 < argc) {
            out_name = argv[++i];
        } else if (a == "--ra") {
            ok = take(i, 2, ra, has_ra);
        } else if (a == "--lon") {
            ok = take(i, 2, lon, has_lon);
        } else if (a == "--gmst") {
            ok = take(i, 1, &gmst, has_gmst);
        } else if (a == "--dec") {
            ok = take(i, 2, dec, has_dec);
        } else if (a == "--shell") {
            ok = take(i, 3, shell, has_shell);
        } else if (a == "--res") {
            ok = take(i, 2, res, has_res);
        } else {
            return usage();
        }
        if (!ok)
            return refuse(a + " wants " +
                          (a == "--shell"  ? "three numbers"
                           : a == "--gmst" ? "a number"
                                           : "two numbers"));
    }
    if (has_ra == has_lon || has_lon != has_gmst || !has_dec || !has_shell || !has_res) return usage();
    if (has_lon) {
        ra[0] = lon[0] + gmst;
        ra[1] = lon[1] + gmst;
    }
    const double dra = res[0], ddec = res[1], hmin = shell[0], hmax = shell[1];
    if (!(dra > 0) || !(ddec > 0)) return refuse("the resolution (--res) must be positive in both angles");
    if (!(ra[1] > ra[0]) || ra[1] - ra[0] > 360.0 + 1e-9)
        return refuse("the right-ascension range must run upwards over at most 360 degrees (RA1 > RA0)");
    if (!(dec[1] > dec[0]) || dec[0] < -90.0 || dec[1] > 90.0)
        return refuse("the declination range must run upwards within -90..90 degrees (DEC1 > DEC0)");
    if (!(hmin >= 0) || !(hmax > hmin)) return refuse("the shell must have 0 <= HMIN < HMAX km");
    if (shell[2] != std::floor(shell[2]) || shell[2] < 1)
        return refuse("LAYERS must be a whole number, 1 or more");
    const long ni = whole_steps(ra[0], ra[1], dra);
    const long nj = whole_steps(dec[0], dec[1], ddec);
    if (ni == 0)
        return refuse("the right-ascension range " + str(ra[1] - ra[0]) + " is not a whole number of " +
                      str(dra) + "-degree columns");
    if (nj == 0)
        return refuse("the declination range " + str(dec[1] - dec[0]) + " is not a whole number of " +
                      str(ddec) + "-degree rows");
    const double nk_d = shell[2];
    if (ni > auxfiles::maxi)
        return refuse(std::to_string(ni) + " columns in right ascension: the program holds at most " +
                      std::to_string(auxfiles::maxi) + " (maxi)");
    if (nj > auxfiles::maxj)
        return refuse(std::to_string(nj) + " rows in declination: the program holds at most " +
                      std::to_string(auxfiles::maxj) + " (maxj)");
    if (nk_d > auxfiles::maxk)
        return refuse(str(nk_d) + " layers: the program holds at most " + std::to_string(auxfiles::maxk) +
                      " (maxk)");
    const long nk = static_cast<long>(nk_d);
    if (ni * nj * nk > auxfiles::maxcen)
        return refuse(std::to_string(ni) + " x " + std::to_string(nj) + " x " + std::to_string(nk) + " = " +
                      std::to_string(ni * nj * nk) + " centres: the program holds at most " +
                      std::to_string(auxfiles::maxcen) +
                      " (maxcen); coarsen the resolution or narrow the region");

    std::ostringstream text;
    const double dh = (hmax - hmin) / static_cast<double>(nk);
    for (long k = 1; k <= nk; ++k)
        for (long j = 1; j <= nj; ++j)
            for (long i = 1; i <= ni; ++i) {
                double r = std::fmod(ra[0] + (static_cast<double>(i) - 0.5) * dra, 360.0);
                if (r < 0) r += 360.0;
                const double d = dec[0] + (static_cast<double>(j) - 0.5) * ddec;
                const double h = hmin + (static_cast<double>(k) - 0.5) * dh;
                char line[160];
                std::snprintf(line, sizeof line, "%10.4f %11.6f %11.6f %4ld %3ld %2ld  0.0  0.0\n", h, r, d,
                              i, j, k);
                text << line;
            }
    if (out_name.empty()) {
        std::cout << text.str();
        std::cout.flush();
    } else {
        std::ofstream out(out_name, std::ios::binary | std::ios::trunc);
        out << text.str();
        out.close();
        if (!out) {
            std::fprintf(stderr, "make_voxel_grid: cannot write %s\n", out_name.c_str());
            return 1;
        }
    }
    std::fprintf(
        stderr,
        "make_voxel_grid: %ld centres (%ld x %ld x %ld); set hmin = %g and hmax = %g in group ray_tracing\n",
        ni * nj * nk, ni, nj, nk, hmin, hmax);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_voxel_grid: %s\n", e.what());
        return 1;
    }
}
