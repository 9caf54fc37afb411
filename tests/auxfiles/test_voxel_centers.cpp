// Voxel centres of the ionospheric grid and the spherical-to-Cartesian conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "auxfiles/voxel_centers.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;
namespace fs = std::filesystem;
using namespace quelmar::testing_support;

namespace {

TEST(Rradec2xyz, AxesAndKnownPoints) {
    const double s = std::sqrt(0.5);
    const struct {
        double r, ra, dec, x, y, z;
    } cases[] = {
        {1, 0, 0, 1, 0, 0},
        {2, 90, 0, 0, 2, 0},
        {2, 180, 0, -2, 0, 0},
        {2, 270, 0, 0, -2, 0},
        {3, 123.4, 90, 0, 0, 3},
        {3, 10, -90, 0, 0, -3},
        {2, 45, 0, 2 * s, 2 * s, 0},
        {2, 0, 45, 2 * s, 0, 2 * s},
        {4, 45, 45, 2, 2, 4 * s},
        {6871, -30, 30, 6871 * 0.75, -6871 * std::sqrt(3.0) / 4, 6871 * 0.5},
        {5, 390, 0, 5 * std::cos(30 * M_PI / 180), 2.5, 0}, // angles need not be reduced
    };
    for (const auto& c : cases) {
        double x = 9, y = 9, z = 9;
        rradec2xyz(c.r, c.ra, c.dec, x, y, z);
        const double tol = 1e-12 * c.r;
        EXPECT_NEAR(x, c.x, tol) << c.r << " " << c.ra << " " << c.dec;
        EXPECT_NEAR(y, c.y, tol) << c.r << " " << c.ra << " " << c.dec;
        EXPECT_NEAR(z, c.z, tol) << c.r << " " << c.ra << " " << c.dec;
        EXPECT_NEAR(std::hypot(x, y, z), c.r, tol); // the radius is kept
    }
}

class VoxelCenters : public ScratchFixture {
  protected:
    std::string put(const std::string& text) const { return config_name(dir_.write("centers.txt", text)); }
    static std::string record(int i, int j, int k) {
        return "300.0 10.0 20.0 " + std::to_string(i) + " " + std::to_string(j) + " " + std::to_string(k) +
               " 1e11 2e10\n";
    }
};

TEST_F(VoxelCenters, FillsTheCentreTablesAndTheCellMap) {
    VoxelGrid g;
    int ierr = -1;
    read_iono_voxel_centers(put("150.0 0.0 -30.0 1 1 1 1.5e11 3.0e10\n"
                                "250, 90, 0, 2, 1, 2, 0, 0\n"
                                "350 180 30\n 1 2 3\n 7 8\n" // one record over several lines
                                "450 270.5 60 3 2 4 -1 -2  trailing words\n"),
                            100.0, 500.0, g, ierr, log_);
    EXPECT_EQ(ierr, 0);
    ASSERT_EQ(g.ncenp, 4);
    const struct {
        double h, ra, dec;
        int i, j, k;
        double xne, sne;
    } expect[] = {{150, 0, -30, 1, 1, 1, 1.5e11, 3e10},
                  {250, 90, 0, 2, 1, 2, 0, 0},
                  {350, 180, 30, 1, 2, 3, 7, 8},
                  {450, 270.5, 60, 3, 2, 4, -1, -2}};
    for (int n = 1; n <= 4; ++n) {
        const auto& e = expect[n - 1];
        SCOPED_TRACE("centre " + std::to_string(n));
        EXPECT_EQ(g.hc(n), e.h);
        EXPECT_EQ(g.rac(n), e.ra);
        EXPECT_EQ(g.decc(n), e.dec);
        EXPECT_EQ(g.ic(n), e.i);
        EXPECT_EQ(g.jc(n), e.j);
        EXPECT_EQ(g.kc(n), e.k);
        EXPECT_EQ(g.xnep(n), e.xne);
        EXPECT_EQ(g.snep(n), e.sne);
        EXPECT_EQ(g.nc2ijk(n, 1), e.i);
        EXPECT_EQ(g.nc2ijk(n, 2), e.j);
        EXPECT_EQ(g.nc2ijk(n, 3), e.k);
        EXPECT_EQ(g.ijk2nc(e.i, e.j, e.k), n);
        EXPECT_EQ(g.idxc(n), -100000 - n);
        // Position on the sphere of radius rekm + height.
        const double r = 6371.0 + e.h, d2r = M_PI / 180;
        EXPECT_NEAR(g.xc(n, 1), r * std::cos(e.dec * d2r) * std::cos(e.ra * d2r), 1e-9);
        EXPECT_NEAR(g.xc(n, 2), r * std::cos(e.dec * d2r) * std::sin(e.ra * d2r), 1e-9);
        EXPECT_NEAR(g.xc(n, 3), r * std::sin(e.dec * d2r), 1e-9);
    }
    EXPECT_EQ(g.ijkmax(1), 3);
    EXPECT_EQ(g.ijkmax(2), 2);
    EXPECT_EQ(g.ijkmax(3), 4);
    EXPECT_EQ(g.xlayer_width, 100.0); // (500 - 100) / 4
    // Every other cell, inside the indices read and beyond them, keeps -99.
    int empty = 0;
    for (int k = 1; k <= maxk; ++k)
        for (int j = 1; j <= maxj; ++j)
            for (int i = 1; i <= maxi; ++i) empty += g.ijk2nc(i, j, k) == -99;
    EXPECT_EQ(empty, maxi * maxj * maxk - 4);
    EXPECT_EQ(g.ijk2nc(2, 2, 2), -99);
    EXPECT_TRUE(captured_.lines().empty());
}

TEST_F(VoxelCenters, LayerWidthFollowsTheLargestK) {
    const struct {
        std::vector<int> ks;
        double hmin, hmax, width;
    } cases[] = {
        {{1, 2, 3, 4}, 100, 500, 100},
        {{4, 1}, 60, 1260, 300},
        {{1}, 50, 450, 400},
        {{2, 2, 1}, 100, 400, 150},
    };
    for (const auto& c : cases) {
        std::string text;
        int i = 0;
        for (int k : c.ks) text += record(++i, 1, k);
        VoxelGrid g;
        int ierr = -1;
        read_iono_voxel_centers(put(text), c.hmin, c.hmax, g, ierr, log_);
        EXPECT_EQ(g.xlayer_width, c.width) << text;
    }
}

TEST_F(VoxelCenters, ReadingAgainStartsFromAnEmptyMap) {
    VoxelGrid g;
    int ierr = -1;
    read_iono_voxel_centers(put(record(5, 6, 3) + record(7, 8, 4)), 0, 400, g, ierr, log_);
    EXPECT_EQ(g.ijk2nc(7, 8, 4), 2);
    read_iono_voxel_centers(put(record(1, 1, 1)), 0, 400, g, ierr, log_);
    EXPECT_EQ(g.ncenp, 1);
    EXPECT_EQ(g.ijk2nc(5, 6, 3), -99);
    EXPECT_EQ(g.ijk2nc(7, 8, 4), -99);
    EXPECT_EQ(g.ijkmax(1), 1);
    EXPECT_EQ(g.ijkmax(3), 1);
    EXPECT_EQ(g.xlayer_width, 400.0);
}

TEST_F(VoxelCenters, ASecondCentreInACellTakesTheCell) {
    VoxelGrid g;
    int ierr = -1;
    read_iono_voxel_centers(put(record(2, 2, 2) + record(2, 2, 2)), 0, 400, g, ierr, log_);
    EXPECT_EQ(g.ncenp, 2);
    EXPECT_EQ(g.ijk2nc(2, 2, 2), 2);
    EXPECT_EQ(g.nc2ijk(1, 1), 2); // the first centre still knows its cell
}

TEST_F(VoxelCenters, TheLargestGridFits) {
    std::string text;
    for (int n = 1; n <= maxcen; ++n) text += record(n <= maxi ? n : maxi, (n % maxj) + 1, (n % maxk) + 1);
    VoxelGrid g;
    int ierr = -1;
    read_iono_voxel_centers(put(text), 0, 400, g, ierr, log_);
    EXPECT_EQ(g.ncenp, maxcen);
    EXPECT_EQ(g.ijkmax(1), maxi);
    EXPECT_EQ(g.ijkmax(2), maxj);
    EXPECT_EQ(g.ijkmax(3), maxk);
    EXPECT_EQ(g.idxc(maxcen), -100000 - maxcen);
}

TEST_F(VoxelCenters, LimitsAndFailuresStopTheRun) {
    std::string full;
    for (int n = 1; n <= maxcen; ++n) full += record(1 + n % 10, 1 + n / 10, 1);
    const struct {
        std::string text;
        bool file;
        int status;
        std::string stop;
        std::vector<std::string> lines;
    } cases[] = {
        {"", false, 1, "ERROR: opening centersfile file ", {" ERROR: opening centersfile file "}},
        {record(1, 1, 1) + "300 10 x 1 1 1 0 0\n",
         true,
         2,
         "ERROR: reading input centersfile file",
         {" ERROR: reading input centersfile file"}},
        {"300 10 20 1.5 1 1 0 0\n",
         true,
         2,
         "ERROR: reading input centersfile file",
         {" ERROR: reading input centersfile file"}},
        {full + record(1, 1, 2), true, 0, "ERROR: increase maxcen", {" ERROR: increase maxcen"}},
        {record(1, 1, 1) + record(141, 1, 1), true, 0, "ERROR: increase maxi", {" ERROR: increase maxi"}},
        {record(1, 92, 1), true, 0, "ERROR: increase maxj", {" ERROR: increase maxj"}},
        {record(1, 1, 5), true, 0, "ERROR: increase maxk", {" ERROR: increase maxk"}},
        {record(1, 1, 1) + record(0, 1, 1),
         true,
         0,
         "ERROR: voxel centre grid index below 1 in centersfile file",
         {" ERROR: voxel centre grid index below 1 in centersfile file", " n,ic,jc,kc= 2 0 1 1"}},
        {record(3, -1, 1),
         true,
         0,
         "ERROR: voxel centre grid index below 1 in centersfile file",
         {" ERROR: voxel centre grid index below 1 in centersfile file", " n,ic,jc,kc= 1 3 -1 1"}},
        {record(3, 1, 0),
         true,
         0,
         "ERROR: voxel centre grid index below 1 in centersfile file",
         {" ERROR: voxel centre grid index below 1 in centersfile file", " n,ic,jc,kc= 1 3 1 0"}},
        {"",
         true,
         0,
         "ERROR: no voxel centres in centersfile file",
         {" ERROR: no voxel centres in centersfile file"}},
        {"\n\n",
         true,
         0,
         "ERROR: no voxel centres in centersfile file",
         {" ERROR: no voxel centres in centersfile file"}},
    };
    for (const auto& c : cases) {
        log_.restart();
        fs::remove(dir_.path("centers.txt"));
        const std::string f = c.file ? put(c.text) : dir_.path("centers.txt");
        VoxelGrid g;
        int ierr = -1;
        SCOPED_TRACE(c.stop + " / " + c.text.substr(0, 60));
        try {
            read_iono_voxel_centers(f, 100, 500, g, ierr, log_);
            ADD_FAILURE() << "no stop";
        } catch (const frame::Stop& s) {
            EXPECT_EQ(s.message(), c.stop);
        }
        EXPECT_EQ(ierr, c.status);
        EXPECT_EQ(captured_.lines(), c.lines);
    }
}

} // namespace
