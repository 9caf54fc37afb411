// Helpers of the observation chain: the run-time OB2 format, spherical coordinates and right
// ascensions, the step-profile table.
#include <gtest/gtest.h>

#include <cmath>

#include <memory>

#include "auxfiles/voxel_centers.hpp"
#include "chain/chain.hpp"
#include "frame/run.hpp"
#include "frame/stop.hpp"
#include "support/test_support.hpp"
#include "textio/format.hpp"

namespace {

using namespace quelmar;

TEST(ChainOb2Format, BuiltTextOfFourObservables) {
    const std::string quoted = "(a,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,04(4x,a2),4(f14.3,i1,i1)"
                               ",1x,i5,1x,l1,1x,e15.7,1x,l1,1x,"
                               "e15.7,1x,l1,f11.4,1x,e15.7,1x,l1,2(1x,f7.3),f14.3,2(1x,e15.7))";
    const std::string t = chain::ob2_format_text(4);
    ASSERT_EQ(t.size(), 299u);
    EXPECT_EQ(t.substr(0, quoted.size()), quoted);
    EXPECT_EQ(t.find_first_not_of(' ', quoted.size()), std::string::npos);
    // The count enters twice: two digits in the code group, one in the value group.
    const std::string six = chain::ob2_format_text(6);
    EXPECT_NE(six.find("i6,06(4x,a2),6(f14.3,i1,i1)"), std::string::npos);
}

TEST(ChainOb2Format, RecordLayout) {
    std::string text = chain::ob2_format_text(4);
    text.erase(text.find_last_not_of(' ') + 1);
    const textio::Format f(text);
    const std::string rec =
        f.write("OB2 ", 7, 2, 1, 30, 0, 0, 30.0, "BELL", "G", 0, 0.0, 4, "L1", "L2", "C1", "P2", 8313863.354,
                0, 5, 5566499.270, 4, 5, 24111321.349, 0, 0, 24111332.823, 4, 0, 12, true, 30.0, false,
                -0.0123, true, 1.5, 0.25, false, 14.655, 226.469, 24032560.749, 99.99, 2.0);
    EXPECT_EQ(rec,
              "OB2  7  2  1 30  0  0 30.0000000 BELL G 0 0.000000000     4    L1    L2    C1    P2"
              "   8313863.35405   5566499.27045  24111321.34900  24111332.82340    12 T   0.3000000E+02 F"
              "  -0.1230000E-01 T     1.5000   0.2500000E+00 F  14.655 226.469  24032560.749"
              "   0.9999000E+02   0.2000000E+01");
}

TEST(ChainGeometry, SphericalCoordinatesInvertTheGridConversion) {
    struct {
        double r, ra, dec;
    } cases[] = {{6371.0, 0.0, 0.0},     {6821.0, 45.0, 30.0},     {26560.0, 135.0, -10.0},
                 {20200.0, 225.5, 55.0}, {6371.0, 359.999, -89.5}, {6871.0, 270.0, 0.25},
                 {4775849.62, 1.4, 41.5}};
    for (const auto& c : cases) {
        double x, y, z, r, ra, dec;
        auxfiles::rradec2xyz(c.r, c.ra, c.dec, x, y, z);
        auxfiles::xyz2rradec(x, y, z, r, ra, dec);
        EXPECT_NEAR(r, c.r, 1e-9 * c.r);
        EXPECT_NEAR(ra, c.ra, 1e-9);
        EXPECT_NEAR(dec, c.dec, 1e-9);
    }
    // Axes and poles: quadrants of atan2 brought into 0..360; the origin has no direction.
    struct {
        double x, y, z, ra, dec;
    } axes[] = {{1, 0, 0, 0, 0},  {0, 1, 0, 90, 0},   {-1, 0, 0, 180, 0},     {0, -1, 0, 270, 0},
                {0, 0, 2, 0, 90}, {0, 0, -3, 0, -90}, {1, -1e-300, 0, 360, 0}};
    for (const auto& a : axes) {
        double r, ra, dec;
        auxfiles::xyz2rradec(a.x, a.y, a.z, r, ra, dec);
        EXPECT_NEAR(ra, a.ra, 1e-12) << a.x << " " << a.y << " " << a.z;
        EXPECT_NEAR(dec, a.dec, 1e-12);
    }
    double r = 1, ra = 1, dec = 1;
    auxfiles::xyz2rradec(0, 0, 0, r, ra, dec);
    EXPECT_EQ(r, 0.0);
    EXPECT_EQ(ra, 0.0);
    EXPECT_EQ(dec, 0.0);
}

TEST(ChainGeometry, RightAscensionIsReducedInto0To360) {
    struct {
        double xlon, gmst, ra;
    } cases[] = {{10.0, 20.0, 30.0},  {350.0, 20.0, 10.0},  {359.5, 359.5, 359.0}, {0.0, 0.0, 0.0},
                 {180.0, 180.0, 0.0}, {-30.0, 10.0, 340.0}, {-400.0, 0.0, 320.0},  {720.25, 0.0, 0.25}};
    for (const auto& c : cases) EXPECT_NEAR(chain::right_ascension(c.xlon, c.gmst), c.ra, 1e-12) << c.xlon;
}

// A run in memory with one receiver (no metadata yet) and a dual-frequency observation of PRN 1 at
// 2002-01-30 0h; the log and standard output go to files of a scratch directory.
class ChainRun : public ::testing::Test {
  protected:
    void SetUp() override {
        run_ = std::make_unique<frame::Run>();
        frame::Run& r = *run_;
        ASSERT_TRUE(r.log.open_named(dir_.path("chain.log")));
        ASSERT_TRUE(r.out.open(dir_.path("out.txt")));
        r.k.f1 = 1575.42e6;
        r.k.f2 = 1227.60e6;
        r.reg.nrec = 1;
        r.reg.reclst(1) = "BELL";
        auto& ob = r.obs.ob;
        ob.irec = 1;
        ob.iprn = 1;
        ob.nobs = 4;
        ob.iyy = 2, ob.imo = 1, ob.ida = 30;
        ob.rec = "BELL";
        ob.tdjmobs = 52304;
        const char* codes[] = {"L1", "L2", "C1", "P2"};
        const double values[] = {-13284821.249, -10192060.755, 21372448.483, 21372454.252};
        for (int k = 1; k <= 4; ++k) {
            ob.kobs_(k) = codes[k - 1];
            ob.xdata_(k) = values[k - 1];
        }
        r.obs.icarrier_l_(1, 1) = 1;
        r.obs.icarrier_l_(2, 1) = 2;
        r.obs.icode_c_(1, 1) = 3;
        r.obs.icode_p_(2, 1) = 4;
        // Precise orbits in memory end a quarter of an hour after the observation; the alert span is
        // an hour; the orbit file has gone.
        r.s3c.tdjms3c_1 = 52304 + 0.25Q / 24;
        r.cfg.dtdjm_alert_orbits = 1.0Q / 24;
        r.cfg.s3cfile = testing_support::config_name(dir_.path("gone.s3c"));
        r.cfg.iexpected_dtsec_sp3cfiles = 900;
    }
    std::string log() {
        run_->log.flush();
        return dir_.read("chain.log");
    }
    testing_support::TempDir dir_;
    std::unique_ptr<frame::Run> run_;
};

TEST_F(ChainRun, OrbitRefreshFailureStopsTheRunAfterMarkingThePair) {
    frame::Run& r = *run_;
    r.cfg.precise_instead_of_eph_orbits = true;
    try {
        chain::process_observation(r);
        FAIL() << "no stop";
    } catch (const frame::Stop& s) {
        EXPECT_EQ(s.message(), "ERROR: reading orbits, ierrs3c.ne.0");
    }
    EXPECT_EQ(r.st.konobs, 1);
    EXPECT_TRUE(r.st.is_obs_read(1, 1));
    EXPECT_TRUE(r.chain.update_orbits2);
    const auto lines = testing_support::lines_of(log());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), " ERROR: reading orbits, ierrs3c= 3");
    EXPECT_EQ(lines[lines.size() - 2],
              "AFTER calling read_s3e: tdjms3c_0,tdjms3c_1,tdjmobs=      0.000000 52304.010417 52304.000000");
}

TEST_F(ChainRun, WithoutPreciseOrbitsNothingIsRefreshed) {
    frame::Run& r = *run_;
    chain::process_observation(r); // the receiver has no metadata: refused at the gate
    chain::process_observation(r);
    EXPECT_EQ(r.st.konobs, 2);
    EXPECT_FALSE(r.chain.update_orbits2);
    EXPECT_FALSE(r.chain.accepted);
    const std::string text = log();
    EXPECT_EQ(text.find("read_s3e"), std::string::npos);
    EXPECT_NE(text.find(" irec,is_xyz_read(irec)= 1 F"), std::string::npos);
    EXPECT_EQ(r.chain.sel.pseudorange1, 21372448.483); // C1: no P code at L1
    EXPECT_FALSE(r.chain.sel.use_p_instead_of_c_code);
}

TEST(ChainProfile, TableHasOneLinePerStepAndTheRest) {
    chain::StepProfile p;
    p.calls[0] = 4;
    p.seconds[0] = 0.25;
    p.calls[8] = 2;
    p.seconds[8] = 0.5;
    const auto lines = testing_support::lines_of(chain::step_profile_table(p, 1.0));
    ASSERT_EQ(lines.size(), 1u + chain::nchain_steps + 2u);
    EXPECT_EQ(lines[0], "step, calls, seconds, share");
    EXPECT_EQ(lines[1], "1 start, 4, 0.250000, 25.00%");
    EXPECT_EQ(lines[9], "9 satellite pos., 2, 0.500000, 50.00%");
    EXPECT_EQ(lines[18],
              "outside the chain (reader, epoch control, other messages, I/O), -, 0.250000, 25.00%");
    EXPECT_EQ(lines[19], "total, -, 1.000000, 100.00%");
}

} // namespace
