// Batched Neville interpolation: for random windows (irregular, unordered, nearly coincident abscissae,
// points on nodes, halfway between nodes and far outside) every value and error estimate has the bits of
// one qpolint call per ordinate set; coincident abscissae and bad point counts give the same lines and
// stop; posat_s3e gives the bits of one qpolint call per component and epoch, also when it reuses the
// values of its previous call, and never reuses them when any input changed.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "auxfiles/precise_orbits.hpp"
#include "frame/constants.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "orbits/precise.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::orbits;
using namespace quelmar::testing_support;
using auxfiles::PreciseOrbitTable;

namespace {

constexpr long mjd0 = 54612; // 2008-05-26
const float128 t0 = mjd0;

// The bits of a binary128 value, as a string that a failing comparison prints readably.
std::string bits(float128 v) {
    std::array<unsigned char, sizeof v> b{};
    std::memcpy(b.data(), &v, sizeof v);
    static const char* hex = "0123456789abcdef";
    std::string s;
    for (auto it = b.rbegin(); it != b.rend(); ++it) {
        s += hex[*it >> 4];
        s += hex[*it & 15];
    }
    return s;
}
std::uint64_t bits(double v) {
    std::uint64_t u = 0;
    std::memcpy(&u, &v, sizeof v);
    return u;
}

// A day fraction drawn log-uniformly in [lo, hi].
float128 log_uniform(Rng& rng, double lo, double hi) {
    return float128(lo * std::pow(hi / lo, rng.unit()));
}

// Random abscissae around an MJD: spacings from just above the coincidence limit (1e-8 d) to a
// quarter of a day, sometimes regular like a table's records, sometimes shuffled.
PolintArray random_abscissae(Rng& rng, int n) {
    PolintArray xa;
    const bool regular = rng.chance(0.3);
    const float128 step = float128(900.0 / 86400);
    float128 x = t0 + float128(rng.unit());
    for (int i = 1; i <= n; ++i) {
        xa(i) = x;
        if (regular) {
            x += step;
        } else if (rng.chance(0.15)) {
            // Nearly coincident: the closest pair qpolint still accepts, and a little more.
            x += float128(1e-8) * (1 + float128(rng.unit()) * 1e-6Q) + 1e-20Q;
        } else {
            x += log_uniform(rng, 1e-7, 0.25);
        }
    }
    if (rng.chance(0.5)) {
        for (int i = n; i > 1; --i) {
            const int j = static_cast<int>(rng.range(1, i));
            std::swap(xa(i), xa(j));
        }
    }
    return xa;
}

// Ordinates of very different scales (positions, clocks, formal errors), sometimes smooth, sometimes
// not, sometimes with zeros and equal values.
PolintArray random_ordinates(Rng& rng, const PolintArray& xa, int n) {
    PolintArray ya;
    const double scale = std::pow(10.0, static_cast<double>(rng.range(-12, 8)));
    const int kind = static_cast<int>(rng.range(0, 2));
    for (int i = 1; i <= n; ++i) {
        const float128 u = (xa(i) - t0) * 24;
        switch (kind) {
        case 0:
            ya(i) = float128(scale) * sinq(u * 3 + 0.7Q);
            break;
        case 1:
            ya(i) = float128(scale * (rng.unit() * 2 - 1));
            break;
        default:
            ya(i) = rng.chance(0.4) ? 0 : float128(scale);
            break;
        }
    }
    return ya;
}

// Evaluation points: inside, on a node, halfway between two nodes (a tie for the nearest point),
// beside a node by less than the coincidence limit, and far outside.
float128 random_point(Rng& rng, const PolintArray& xa, int n) {
    const int i = static_cast<int>(rng.range(1, n));
    const int j = static_cast<int>(rng.range(1, n));
    switch (rng.range(0, 4)) {
    case 0:
        return xa(i);
    case 1:
        return (xa(i) + xa(j)) / 2;
    case 2:
        return xa(i) + float128(rng.unit() - 0.5) * 1e-9Q;
    case 3:
        return xa(i) + float128(rng.unit() * 2 - 1) * 30;
    default:
        return xa(i) + float128(rng.unit() * 2 - 1) * (xa(j) - xa(i) + 0.01Q);
    }
}

// A standard output and a log in the scratch directory, readable back.
struct Sinks {
    Sinks(const TempDir& dir, const std::string& name) : log_(dir.path() / (name + ".log")), dir_(dir) {
        EXPECT_TRUE(out.open(dir.path(name + ".out")));
        out_name_ = name + ".out";
    }
    std::string out_text() {
        out.flush();
        return dir_.read(out_name_);
    }
    std::string log_text() { return log_.text(); }
    frame::TextSink out;

  private:
    CapturedLog log_;
    const TempDir& dir_;
    std::string out_name_;

  public:
    frame::Log& log = log_.log;
};

class PolintBatch : public ScratchFixture {
  protected:
    Sinks a_{dir_, "a"};
    Sinks b_{dir_, "b"};
};

TEST_F(PolintBatch, RandomWindowsGiveTheBitsOfOneCallPerSet) {
    Rng rng(20080527);
    constexpr int nset = 8;
    int compared = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        const int n = static_cast<int>(rng.range(1, maxpolint));
        const PolintArray xa = random_abscissae(rng, n);
        std::array<PolintArray, nset> ya;
        for (auto& s : ya) s = random_ordinates(rng, xa, n);
        const float128 x = random_point(rng, xa, n);

        std::array<float128, nset> y{}, dy{};
        qpolint_batch(xa, ya, n, x, y, dy, a_.out, a_.log);
        PolintPlan plan;
        ASSERT_TRUE(plan_polint(xa, n, x, plan));
        for (std::size_t s = 0; s < nset; ++s) {
            float128 y1 = 0, dy1 = 0;
            qpolint(xa, ya[s], n, x, y1, dy1, b_.out, b_.log);
            ASSERT_EQ(bits(y[s]), bits(y1)) << "trial " << trial << " n=" << n << " set " << s;
            ASSERT_EQ(bits(dy[s]), bits(dy1)) << "trial " << trial << " n=" << n << " set " << s;
            float128 y2 = 0, dy2 = 0;
            qpolint_planned(plan, ya[s], y2, dy2);
            ASSERT_EQ(bits(y2), bits(y1)) << "trial " << trial;
            ASSERT_EQ(bits(dy2), bits(dy1)) << "trial " << trial;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 4000 * nset);
    EXPECT_TRUE(a_.out_text().empty());
    EXPECT_TRUE(a_.log_text().empty());
}

TEST_F(PolintBatch, SpecialValuesPropagateAsInOneCall) {
    // Infinite and not-a-number ordinates and points follow the same operations.
    PolintArray xa, ya, yb;
    for (int i = 1; i <= 6; ++i) {
        xa(i) = t0 + float128(i) / 96;
        ya(i) = i;
        yb(i) = -i;
    }
    ya(3) = __builtin_infq();
    yb(4) = nanq("");
    for (float128 x : {xa(2), t0 + 0.03Q, nanq(""), __builtin_infq()}) {
        const std::array<PolintArray, 2> sets{ya, yb};
        std::array<float128, 2> y{}, dy{};
        qpolint_batch(xa, sets, 6, x, y, dy, a_.out, a_.log);
        for (std::size_t s = 0; s < 2; ++s) {
            float128 y1 = 0, dy1 = 0;
            qpolint(xa, sets[s], 6, x, y1, dy1, b_.out, b_.log);
            EXPECT_EQ(bits(y[s]), bits(y1)) << s;
            EXPECT_EQ(bits(dy[s]), bits(dy1)) << s;
        }
    }
}

// Coincident abscissae: the batch writes exactly the lines of qpolint for its first set and stops with
// the same message; the pair that meets first may be adjacent or several columns apart.
struct CoincidentCase {
    int n;
    int i, j;   // xa(j) is moved next to xa(i)
    double gap; // days
};
class PolintBatchCoincident : public PolintBatch, public ::testing::WithParamInterface<CoincidentCase> {};

TEST_P(PolintBatchCoincident, SameLinesAndStopAsOneCall) {
    const CoincidentCase& c = GetParam();
    PolintArray xa;
    std::array<PolintArray, 3> ya;
    for (int i = 1; i <= c.n; ++i) {
        xa(i) = t0 + float128(i) / 96;
        for (std::size_t s = 0; s < ya.size(); ++s) ya[s](i) = float128(i * i) + float128(s) * 1000;
    }
    xa(c.j) = xa(c.i) + float128(c.gap);
    const float128 x = t0 + 0.0123Q;
    auto stop_of = [&](auto&& call) {
        try {
            call();
        } catch (const frame::Stop& s) {
            return s.message();
        }
        return std::string("no stop");
    };
    float128 y1 = 0, dy1 = 0;
    const std::string one = stop_of([&] { qpolint(xa, ya[0], c.n, x, y1, dy1, a_.out, a_.log); });
    std::array<float128, 3> y{}, dy{};
    const std::string batch = stop_of([&] { qpolint_batch(xa, ya, c.n, x, y, dy, b_.out, b_.log); });
    EXPECT_EQ(one, "failure in polint");
    EXPECT_EQ(batch, one);
    EXPECT_FALSE(a_.out_text().empty());
    EXPECT_EQ(b_.out_text(), a_.out_text());
    EXPECT_EQ(b_.log_text(), a_.log_text());
    PolintPlan plan;
    EXPECT_FALSE(plan_polint(xa, c.n, x, plan));
}

INSTANTIATE_TEST_SUITE_P(Pairs, PolintBatchCoincident,
                         ::testing::Values(CoincidentCase{10, 3, 4, 0.0}, CoincidentCase{10, 3, 4, 0.99e-8},
                                           CoincidentCase{10, 4, 3, -0.5e-8}, CoincidentCase{10, 1, 10, 0.0},
                                           CoincidentCase{10, 2, 7, 0.3e-8}, CoincidentCase{2, 1, 2, 0.0},
                                           CoincidentCase{6, 6, 1, 1e-9}));

TEST_F(PolintBatch, PointCountOutsideOneToTenStopsLikeOneCall) {
    PolintArray xa;
    const std::array<PolintArray, 2> ya{};
    for (int n : {0, -3, maxpolint + 1}) {
        float128 y1 = 0, dy1 = 0;
        std::array<float128, 2> y{}, dy{};
        EXPECT_THROW(qpolint(xa, ya[0], n, 0, y1, dy1, a_.out, a_.log), frame::Stop) << n;
        EXPECT_THROW(qpolint_batch(xa, ya, n, 0, y, dy, b_.out, b_.log), frame::Stop) << n;
        PolintPlan plan;
        EXPECT_FALSE(plan_polint(xa, n, 0, plan)) << n;
        // A plan that was refused is never used by mistake: it gives not-a-number.
        qpolint_planned(plan, ya[0], y[0], dy[0]);
        EXPECT_TRUE(isnanq(y[0]) && isnanq(dy[0])) << n;
    }
    EXPECT_EQ(b_.out_text(), a_.out_text());
    EXPECT_EQ(b_.log_text(), a_.log_text());
}

TEST_F(PolintBatch, NoSetsDoNothingEvenOnABadWindow) {
    PolintArray xa; // all abscissae equal
    float128 y = 0, dy = 0;
    EXPECT_NO_THROW(qpolint_batch(xa, {}, 5, 0, {&y, 1}, {&dy, 1}, a_.out, a_.log));
    EXPECT_TRUE(a_.out_text().empty());
    EXPECT_TRUE(a_.log_text().empty());
}

// ---------------------------------------------------------------------------------------------------
// posat_s3e

using Components = std::array<float128, auxfiles::ncomp_s3c>;

// One qpolint call per component and epoch: position at t, t - 1 s and t + 1 s, the other components
// at t, then the rotation, velocity and relativistic term.
PreciseFix one_call_per_component(float128 tdjm, double tau, int iprn, const PreciseOrbitTable& table,
                                  const frame::Constants& k, frame::TextSink& out, frame::Log& log) {
    std::array<double, 5> xyzdt{};
    std::int64_t iepoch = 0;
    EXPECT_EQ(
        tdjmprn2xyzdt_s3c_v4(tdjm, table.tdjms3c_0, 900, iprn, table, xyzdt, iepoch, 1e-4, true, out, log),
        0);
    PolintArray xa;
    for (int i = 1; i <= maxpolint; ++i)
        xa(i) = table.find(iprn, static_cast<int>(iepoch - 4 * 900 + (i - 1) * 900))->component(5);
    const std::array<float128, 3> t{tdjm, tdjm - 1.0Q / 86400, tdjm + 1.0Q / 86400};
    std::array<std::array<double, 9>, 3> p{};
    for (int comp = 1; comp <= 9; ++comp) {
        if (comp == 5) continue;
        PolintArray ya;
        for (int i = 1; i <= maxpolint; ++i)
            ya(i) = table.find(iprn, static_cast<int>(iepoch - 4 * 900 + (i - 1) * 900))->component(comp);
        for (std::size_t j = 0; j < (comp <= 3 ? 3u : 1u); ++j) {
            float128 y = 0, dy = 0;
            qpolint(xa, ya, maxpolint, t[j], y, dy, out, log);
            p[j][static_cast<std::size_t>(comp - 1)] = static_cast<double>(y);
        }
    }
    PreciseFix f;
    const double a = 7.2921151467e-5 * tau;
    f.ctx = {std::cos(a) * p[0][0] + std::sin(a) * p[0][1], -std::sin(a) * p[0][0] + std::cos(a) * p[0][1],
             p[0][2]};
    f.satclockerror = p[0][3];
    f.sctx = {p[0][5], p[0][6], p[0][7]};
    f.ssatclockerror = p[0][8];
    for (std::size_t i = 0; i < 3; ++i) f.v[i] = (p[2][i] - p[1][i]) / 2;
    f.dtrel_m = -2 * (p[0][0] * f.v[0] + p[0][1] * f.v[1] + p[0][2] * f.v[2]) / k.c;
    return f;
}

void expect_same_bits(const PreciseFix& a, const PreciseFix& b, const std::string& what) {
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(bits(a.ctx[i]), bits(b.ctx[i])) << what << " ctx " << i;
        EXPECT_EQ(bits(a.sctx[i]), bits(b.sctx[i])) << what << " sctx " << i;
        EXPECT_EQ(bits(a.v[i]), bits(b.v[i])) << what << " v " << i;
    }
    EXPECT_EQ(bits(a.satclockerror), bits(b.satclockerror)) << what;
    EXPECT_EQ(bits(a.ssatclockerror), bits(b.ssatclockerror)) << what;
    EXPECT_EQ(bits(a.dtrel_m), bits(b.dtrel_m)) << what;
}

class PolintBatchPosat : public PolintBatch {
  protected:
    // Objects 3 and 4: records every 900 s over a day, a rough orbit with noise in every component,
    // epochs as the reader computes them (64-bit, widened).
    PolintBatchPosat() {
        t_.tdjms3c_0 = t0;
        Rng rng(148);
        for (int iobj : {3, 4}) {
            for (long s = 0; s <= 86400; s += 900) {
                const double th = 0.3 + iobj + 1.4584e-4 * static_cast<double>(s);
                Components c{};
                c[0] = float128(26560e3 * std::cos(th) + rng.unit());
                c[1] = float128(21760e3 * std::sin(th) + rng.unit());
                c[2] = float128(15234e3 * std::sin(th) + rng.unit());
                c[3] = float128(1.5e-4 + 1e-9 * rng.unit());
                c[4] = float128(static_cast<double>(mjd0) + static_cast<double>(s) / 86400.0);
                for (std::size_t i = 5; i < 9; ++i) c[i] = float128(0.01 * rng.unit());
                EXPECT_TRUE(t_.store(iobj, static_cast<int>(s + 1), c, true));
                ++t_.nepochs3c;
            }
        }
        t_.tdjms3c_1 = t0 + 1;
    }
    int call(PolintWork& work, float128 tdjm, double tau, int iprn, PreciseFix& fix) {
        return posat_s3e(tdjm, tau, iprn, 900, t_, true, t0, fix, work, idegree_polint_s3c, 1e-4, k_, a_.out,
                         a_.log);
    }
    PreciseOrbitTable t_;
    frame::Constants k_;
};

TEST_F(PolintBatchPosat, RandomEpochsGiveTheBitsOfOneCallPerComponent) {
    Rng rng(27);
    PolintWork work;
    for (int trial = 0; trial < 300; ++trial) {
        const int iprn = static_cast<int>(rng.range(3, 4));
        // Inside the part of the day where the whole window exists, sometimes exactly on a record.
        float128 tdjm = t0 + float128(0.05 + 0.85 * rng.unit());
        if (rng.chance(0.2)) tdjm = t0 + float128(900 * rng.range(5, 85)) / 86400;
        // Two light-time passes, as the satellite position step makes them: the second one reuses the
        // interpolated values of the first.
        for (double tau : {0.0, 0.067 + 0.01 * rng.unit()}) {
            PreciseFix fix;
            ASSERT_EQ(call(work, tdjm, tau, iprn, fix), 0);
            expect_same_bits(fix, one_call_per_component(tdjm, tau, iprn, t_, k_, b_.out, b_.log),
                             "trial " + std::to_string(trial));
        }
    }
    EXPECT_TRUE(a_.out_text().empty());
}

// The values of the previous call are reused only when every input bit is the same: the same epoch
// for another object, a changed record in the window (as after reloading the table), or an epoch one
// bit away all recompute.
TEST_F(PolintBatchPosat, PreviousValuesAreNeverReusedForOtherInputs) {
    const float128 tdjm = t0 + 0.4321Q;
    PolintWork work;
    PreciseFix first, again;
    ASSERT_EQ(call(work, tdjm, 0.07, 3, first), 0);
    ASSERT_EQ(call(work, tdjm, 0.07, 3, again), 0);
    expect_same_bits(again, first, "same inputs");

    PreciseFix other;
    ASSERT_EQ(call(work, tdjm, 0.07, 4, other), 0);
    expect_same_bits(other, one_call_per_component(tdjm, 0.07, 4, t_, k_, b_.out, b_.log), "object 4");
    EXPECT_NE(bits(other.ctx[0]), bits(first.ctx[0]));

    // Back to object 3, with one component of one window record changed in its last bits.
    for (int comp : {1, 4, 9}) {
        ASSERT_EQ(call(work, tdjm, 0.07, 3, first), 0);
        const int slot = static_cast<int>(truncq((tdjm - t0) * 96)) * 900 + 1 + 900;
        Components c = t_.find(3, slot)->c;
        const Components saved = c;
        c[static_cast<std::size_t>(comp - 1)] *= 1 + 1e-30Q;
        c[static_cast<std::size_t>(comp - 1)] += 1e-6Q;
        ASSERT_TRUE(t_.store(3, slot, c, true));
        PreciseFix changed;
        ASSERT_EQ(call(work, tdjm, 0.07, 3, changed), 0);
        expect_same_bits(changed, one_call_per_component(tdjm, 0.07, 3, t_, k_, b_.out, b_.log),
                         "component " + std::to_string(comp));
        const double before = comp == 1   ? first.ctx[0]
                              : comp == 4 ? first.satclockerror
                                          : first.ssatclockerror;
        const double after = comp == 1   ? changed.ctx[0]
                             : comp == 4 ? changed.satclockerror
                                         : changed.ssatclockerror;
        EXPECT_NE(before, after) << "component " << comp;
        ASSERT_TRUE(t_.store(3, slot, saved, true));
    }

    // An epoch one unit in the last place later.
    ASSERT_EQ(call(work, tdjm, 0.07, 3, first), 0);
    const float128 next = nextafterq(tdjm, 1e6Q);
    PreciseFix moved;
    ASSERT_EQ(call(work, next, 0.07, 3, moved), 0);
    expect_same_bits(moved, one_call_per_component(next, 0.07, 3, t_, k_, b_.out, b_.log), "next epoch");
    EXPECT_EQ(bits(work.memo.tdjm), bits(next));
    EXPECT_TRUE(a_.out_text().empty());
}

// Coincident abscissae inside the window stop the run with the lines of the first component's call,
// whichever of the three epochs meets them, and leave nothing to reuse.
TEST_F(PolintBatchPosat, CoincidentWindowStopsWithTheLinesOfOneCall) {
    const float128 tdjm = t0 + 0.5Q;
    // The record 2700 s after the anchor carries the epoch of the one before it.
    Components c = t_.find(3, 43201 + 2700)->c;
    c[4] = t_.find(3, 43201 + 1800)->c[4];
    ASSERT_TRUE(t_.store(3, 43201 + 2700, c, true));
    PolintWork work;
    PreciseFix fix;
    ASSERT_EQ(call(work, tdjm, 0, 4, fix), 0);
    ASSERT_TRUE(work.memo.valid);
    std::string msg;
    try {
        call(work, tdjm, 0, 3, fix);
    } catch (const frame::Stop& s) {
        msg = s.message();
    }
    EXPECT_EQ(msg, "failure in polint");
    EXPECT_FALSE(work.memo.valid);
    PolintArray xa, ya;
    for (int i = 1; i <= maxpolint; ++i) {
        xa(i) = t_.find(3, 43201 + (i - 5) * 900)->component(5);
        ya(i) = t_.find(3, 43201 + (i - 5) * 900)->component(1);
    }
    float128 y = 0, dy = 0;
    EXPECT_THROW(qpolint(xa, ya, maxpolint, tdjm, y, dy, b_.out, b_.log), frame::Stop);
    EXPECT_EQ(a_.out_text(), b_.out_text());
    EXPECT_EQ(a_.log_text(), b_.log_text());
}

} // namespace
