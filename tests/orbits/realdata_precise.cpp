// Interpolation of real IGS final orbits and clocks: three days (2008-05-26 .. 28) converted with
// sp3_to_s3c and loaded with read_s3e. Over every satellite and epoch of the middle day:
//  - interpolating at a record's own epoch gives back the record exactly (bit for bit in 64-bit);
//  - leaving a record out and interpolating at its epoch from the ten nearest other records predicts its
//    position within centimetres and its clock within a few tenths of a nanosecond.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "auxfiles/precise_orbits.hpp"
#include "frame/constants.hpp"
#include "frame/log.hpp"
#include "orbits/precise.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::orbits;
using namespace quelmar::testing_support;
namespace fs = std::filesystem;

namespace {

constexpr int interval = 900;
constexpr int first_slot_middle_day = 86401; // 2008-05-27 0h
constexpr int last_slot_middle_day = 86401 + 86400 - interval;

class RealPrecise : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path data = fs::path(QUELMAR_SHARED_DATA) / "orbits" / "2008-148";
        std::string args;
        for (const char* f : {"igs14811.sp3", "igs14812.sp3", "igs14813.sp3"}) {
            const fs::path p = data / f;
            if (!fs::exists(p)) GTEST_SKIP() << "real data not available: " << p;
            args += " '" + p.string() + "'";
        }
        const std::string s3c = dir_.path("igs_2008_146_148.s3c");
        const std::string cmd =
            "'" + std::string(QUELMAR_TOOLS_DIR) + "/sp3_to_s3c' -q -o '" + s3c + "'" + args;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        ASSERT_TRUE(log_.open_named(dir_.path("test.log")));
        ASSERT_TRUE(out_.open(dir_.path("out.txt")));
        ASSERT_EQ(auxfiles::read_s3e(s3c, interval, table_, 1e-4, true, true, log_), 0);
        ASSERT_EQ(table_.nepochs3c, 288);
    }
    TempDir dir_;
    frame::Log log_;
    frame::TextSink out_;
    frame::Constants k_;
    PolintWork work_;
    auxfiles::PreciseOrbitTable table_;
};

TEST_F(RealPrecise, InterpolationAtRecordEpochsGivesBackTheRecords) {
    long n = 0, exact_pos = 0, exact_clk = 0, other_status = 0;
    double max_dpos = 0, max_dclk = 0;
    for (int prn = 1; prn <= quelmar::maxsat; ++prn) {
        for (int slot = first_slot_middle_day; slot <= last_slot_middle_day; slot += interval) {
            const auxfiles::S3cSlot* r = table_.find(prn, slot);
            if (r == nullptr || !r->valid) continue;
            PreciseFix fix;
            const int st = posat_s3e(r->component(5), 0, prn, interval, table_, true, table_.tdjms3c_0, fix,
                                     work_, idegree_polint_s3c, 1e-4, k_, out_, log_);
            if (st != 0) {
                ++other_status; // a window holding a record without clock
                continue;
            }
            ++n;
            bool same = true;
            for (int i = 0; i < 3; ++i) {
                const double rec = static_cast<double>(r->c[static_cast<std::size_t>(i)]);
                max_dpos = std::max(max_dpos, std::abs(fix.ctx[static_cast<std::size_t>(i)] - rec));
                same = same && fix.ctx[static_cast<std::size_t>(i)] == rec;
            }
            exact_pos += same;
            const double clk = static_cast<double>(r->c[3]);
            max_dclk = std::max(max_dclk, std::abs(fix.satclockerror - clk));
            exact_clk += fix.satclockerror == clk;
        }
    }
    std::printf("[ realdata ] on the records: %ld interpolations (%ld windows with a record without clock), "
                "positions identical in %ld, max |d| %.3g m; clocks identical in %ld, max |d| %.3g s\n",
                n, other_status, exact_pos, max_dpos, exact_clk, max_dclk);
    EXPECT_GT(n, 2500);
    // At a record's epoch the binary128 interpolation, rounded to 64-bit, is the record itself: every
    // position and clock comes back bit for bit.
    EXPECT_EQ(exact_pos, n);
    EXPECT_EQ(exact_clk, n);
    EXPECT_EQ(max_dpos, 0.0);
    EXPECT_EQ(max_dclk, 0.0);
}

TEST_F(RealPrecise, LeaveOneOutPredictsPositionsAndClocks) {
    long n = 0, skipped = 0;
    double s2pos = 0, s2clk = 0, max_pos = 0, max_clk = 0;
    int worst_prn = 0, worst_slot = 0, worst_clk_prn = 0, worst_clk_slot = 0;
    std::vector<double> clk_errors;
    for (int prn = 1; prn <= quelmar::maxsat; ++prn) {
        for (int slot = first_slot_middle_day; slot <= last_slot_middle_day; slot += interval) {
            const auxfiles::S3cSlot* r = table_.find(prn, slot);
            if (r == nullptr) continue;
            // The ten nearest other records: five before and five after.
            std::array<const auxfiles::S3cSlot*, 10> win{};
            bool ok = r->valid;
            int k = 0;
            for (int j = -5; j <= 5 && ok; ++j) {
                if (j == 0) continue;
                win[static_cast<std::size_t>(k)] = table_.find(prn, slot + j * interval);
                ok = win[static_cast<std::size_t>(k)] != nullptr && win[static_cast<std::size_t>(k)]->valid;
                ++k;
            }
            if (!ok) {
                ++skipped;
                continue;
            }
            for (int i = 1; i <= 10; ++i) work_.xa(i) = win[static_cast<std::size_t>(i - 1)]->component(5);
            std::array<double, 4> err{};
            for (int comp = 1; comp <= 4; ++comp) {
                for (int i = 1; i <= 10; ++i)
                    work_.ya(i) = win[static_cast<std::size_t>(i - 1)]->component(comp);
                float128 y = 0, dy = 0;
                qpolint(work_.xa, work_.ya, 10, r->component(5), y, dy, out_, log_);
                err[static_cast<std::size_t>(comp - 1)] = static_cast<double>(y - r->component(comp));
            }
            const double dpos = std::sqrt(err[0] * err[0] + err[1] * err[1] + err[2] * err[2]);
            const double dclk = std::abs(err[3]);
            ++n;
            s2pos += dpos * dpos;
            s2clk += dclk * dclk;
            if (dpos > max_pos) {
                max_pos = dpos;
                worst_prn = prn;
                worst_slot = slot;
            }
            if (dclk > max_clk) {
                max_clk = dclk;
                worst_clk_prn = prn;
                worst_clk_slot = slot;
            }
            clk_errors.push_back(dclk);
        }
    }
    ASSERT_GT(n, 2500);
    const double rms_pos = std::sqrt(s2pos / static_cast<double>(n));
    const double rms_clk = std::sqrt(s2clk / static_cast<double>(n));
    std::sort(clk_errors.begin(), clk_errors.end());
    const double p95_clk = clk_errors[clk_errors.size() * 95 / 100];
    std::printf("[ realdata ] leave-one-out over %ld records (%ld skipped: a record without clock nearby): "
                "3D position RMS %.4f m, max %.4f m (G%02d slot %d); clock RMS %.3f ns, 95%% below %.3f ns, "
                "max %.3f ns (G%02d slot %d)\n",
                n, skipped, rms_pos, max_pos, worst_prn, worst_slot, rms_clk * 1e9, p95_clk * 1e9,
                max_clk * 1e9, worst_clk_prn, worst_clk_slot);
    EXPECT_LT(rms_pos, 0.02);
    EXPECT_LT(max_pos, 0.10);
    // Satellite clocks are smooth to a few tenths of a nanosecond over the 2.5 h of a window; the worst
    // case is a noisier clock.
    EXPECT_LT(rms_clk, 0.5e-9);
    EXPECT_LT(p95_clk, 1e-9);
    EXPECT_LT(max_clk, 3e-9);
}

} // namespace
