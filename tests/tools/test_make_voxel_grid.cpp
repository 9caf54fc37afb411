// make_voxel_grid as a user runs it: the file it writes is read back by the program's reader into the
// grid that was asked for, and grids beyond the program's limits or nonsense arguments are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "auxfiles/voxel_centers.hpp"
#include "support/support.hpp"

namespace {

using namespace quelmar;
using namespace quelmar::test;

// Read back with the program's own reader: every centre where its indices put it, cells and centres
// agreeing both ways.
TEST(MakeVoxelGrid, WrittenGridReadsBackAsAsked) {
    struct Case {
        std::string args;
        int ni, nj, nk;
        double ra0, dra, dec0, ddec, hmin, hmax;
    } cases[] = {
        // Longitudes -30..30 under a sidereal angle of 350: RA 320..380, columns across RA 0/360.
        {"--lon -30 30 --gmst 350 --dec 30 60 --shell 150 450 2 --res 7.5 5", 8, 6, 2, 320, 7.5, 30, 5, 150, 450},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const Ran r = tool(dir, "make_voxel_grid", "-o grid.txt " + c.args);
        ASSERT_EQ(r.status, 0) << c.args << "\n" << r.err;
        auxfiles::VoxelGrid g;
        int ierr = -1;
        CapturedLog cap;
        auxfiles::read_iono_voxel_centers(dir.path("grid.txt"), c.hmin, c.hmax, g, ierr, cap.log);
        ASSERT_EQ(ierr, 0) << c.args;
        ASSERT_EQ(g.ncenp, c.ni * c.nj * c.nk) << c.args;
        EXPECT_EQ(g.ijkmax(1), c.ni);
        EXPECT_EQ(g.ijkmax(2), c.nj);
        EXPECT_EQ(g.ijkmax(3), c.nk);
        EXPECT_DOUBLE_EQ(g.xlayer_width, (c.hmax - c.hmin) / c.nk);
        for (int n = 1; n <= g.ncenp; ++n) {
            const int i = g.nc2ijk(n, 1), j = g.nc2ijk(n, 2), k = g.nc2ijk(n, 3);
            ASSERT_EQ(g.ijk2nc(i, j, k), n) << c.args;
            EXPECT_NEAR(g.rac(n), std::fmod(c.ra0 + (i - 0.5) * c.dra, 360.0), 1e-6)
                << c.args << " centre " << n;
            EXPECT_NEAR(g.decc(n), c.dec0 + (j - 0.5) * c.ddec, 1e-6) << c.args << " centre " << n;
            EXPECT_NEAR(g.hc(n), c.hmin + (k - 0.5) * g.xlayer_width, 1e-4) << c.args << " centre " << n;
        }
    }
}

TEST(MakeVoxelGrid, RefusesWhatTheProgramCannotHold) {
    const std::string ok_dec = " --dec -15 15 --shell 100 500 4";
    struct Case {
        std::string args, message;
    } cases[] = {
        {"--ra 0 360" + ok_dec + " --res 20 10",
         "18 x 3 x 4 = 216 centres: the program holds at most 150 (maxcen)"},
        {"--ra 0 360 --dec -5 5 --shell 100 500 1 --res 2 10",
         "180 columns in right ascension: the program holds at most 140 (maxi)"},
        {"--ra 0 1 --dec -90 90 --shell 100 500 1 --res 1 1",
         "180 rows in declination: the program holds at most 91 (maxj)"},
        {"--ra 0 360 --dec -15 15 --shell 100 500 5 --res 30 10",
         "5 layers: the program holds at most 4 (maxk)"},
        {"--ra 0 360" + ok_dec + " --res 7 10", "is not a whole number of 7-degree columns"},
        {"--ra 0 360 --dec -15 15 --shell 500 100 4 --res 30 10", "the shell must have 0 <= HMIN < HMAX km"},
        {"--ra 0 360" + ok_dec, "usage: make_voxel_grid"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const Ran r = tool(dir, "make_voxel_grid", "-o grid.txt " + c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_FALSE(dir.has("grid.txt")) << c.args;
    }
}

} // namespace
