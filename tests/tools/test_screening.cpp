// The upstream cycle-slip screening on synthetic observations: a smooth geometry and ionosphere with
// realistic noise (carrier 2 mm, code 0.2 m), from a fixed seed, into which slips and gaps are injected.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "../../tools/lib/screening.hpp"
#include "support/test_support.hpp"

using namespace quelmar::tools::screening;
using quelmar::testing_support::Rng;

namespace {

constexpr double f1 = 1575.42e6, f2 = 1227.60e6, f5 = 1176.45e6;
constexpr double c = speed_of_light;

double gauss(Rng& rng) {
    // Box-Muller from two uniforms in (0, 1].
    const double u1 = 1.0 - rng.unit(), u2 = rng.unit();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
}

// A satellite pass: range and slant ionosphere (on L1, metres) varying smoothly with time, constant
// ambiguities, white noise. Slips are added by the tests to the returned cycles.
struct Pass {
    bool three = false;
    double sigma_phase = 0.002, sigma_code = 0.2;
    double iono_scale = 1.0;
    std::uint64_t seed = 1;

    Observation at(double t, Rng& rng) const {
        const double rho = 2.2e7 + 600.0 * t - 0.02 * t * t / 2.0 + 1500.0 * std::sin(t / 4000.0);
        const double i1 = iono_scale * (4.0 + 3.0 * std::sin(t / 3500.0) + 0.0002 * t);
        auto iono = [&](double f) { return i1 * (f1 * f1) / (f * f); };
        auto phase = [&](double f, double n) {
            return (rho - iono(f) + n * c / f + sigma_phase * gauss(rng)) / (c / f);
        };
        auto code = [&](double f) { return rho + iono(f) + sigma_code * gauss(rng); };
        Observation o;
        o.t = t;
        o.f1 = f1;
        o.f2 = f2;
        o.l1 = phase(f1, 1234567.0);
        o.l2 = phase(f2, -7654321.0);
        o.p1 = code(f1);
        o.p2 = code(f2);
        if (three) {
            o.f3 = f5;
            o.l3 = phase(f5, 424242.0);
            o.p3 = code(f5);
        }
        return o;
    }
};

struct Flags {
    int any = 0, dt = 0, d2li = 0, dbw = 0, dbew = 0, dlew_w = 0;
    void add(const ScreeningResult& r) {
        any += r.cycleslip_;
        dt += r.cycleslip_dt;
        d2li += r.cycleslip_d2li;
        dbw += r.cycleslip_dbw;
        dbew += r.cycleslip_dbew;
        dlew_w += r.cycleslip_dlew_w;
    }
};

TEST(Screening, CleanArcsAreNeverFlagged) {
    struct Case {
        const char* name;
        bool three;
        double step, iono_scale, sigma_code;
        std::uint64_t seed;
    };
    const Case cases[] = {
        {"30 s, two frequencies", false, 30.0, 1.0, 0.2, 11},
        {"30 s, three frequencies", true, 30.0, 1.0, 0.2, 12},
        {"30 s, strong ionosphere drift", false, 30.0, 5.0, 0.2, 13},
        {"1 s, two frequencies", false, 1.0, 1.0, 0.2, 14},
        {"30 s, noisier code 0.25 m", true, 30.0, 1.0, 0.25, 15},
    };
    for (const auto& cs : cases) {
        SCOPED_TRACE(cs.name);
        Pass pass;
        pass.three = cs.three;
        pass.iono_scale = cs.iono_scale;
        pass.sigma_code = cs.sigma_code;
        Rng rng(cs.seed);
        PairState st;
        Flags fl;
        for (int k = 0; k < 2000; ++k) {
            const auto r = screen_observation(st, pass.at(1000.0 + k * cs.step, rng), ScreeningOptions{});
            fl.add(r);
            ASSERT_EQ(r.narch1, 1) << "epoch " << k << " d2li " << r.d2li << " dbw " << r.dbw << " dbew "
                                   << r.dbew << " dlew_w " << r.dlew_w;
        }
        EXPECT_EQ(fl.any, 0);
    }
}

// A one-cycle slip on the given carriers from epoch 150 of a 30 s pass on (code noise 0.1 m): which
// tests see it, and the jumps they measure, which follow from the wavelengths of the combinations.
TEST(Screening, OneCycleSlipsAreSeenByTheExpectedTests) {
    const double lw = c / (f1 - f2), lew = c / (f2 - f5);
    struct Case {
        const char* name;
        bool three;
        double n1, n2, n3;
        bool d2li, dbw, dbew, dlew_w;
    };
    const Case cases[] = {
        {"L1", false, 1, 0, 0, true, true, false, false},
        {"L2", false, 0, 1, 0, true, true, false, false},
        {"-1 on L1", false, -1, 0, 0, true, true, false, false},
        // One wide-lane cycle with only 0.029 m in xli: the wide-lane test's own case.
        {"4 on L1, 3 on L2", false, 4, 3, 0, false, true, false, false},
        // 0.054 m in xli, below the 30 s threshold; nothing in the wide lane: not seen on two frequencies.
        {"L1 and L2", false, 1, 1, 0, false, false, false, false},
        {"L1, three frequencies", true, 1, 0, 0, true, true, false, true},
        {"L2, three frequencies", true, 0, 1, 0, true, true, true, true},
        {"L5, three frequencies", true, 0, 0, 1, false, false, true, true},
        {"L1 and L2, three frequencies", true, 1, 1, 0, false, false, true, true},
        // The same slip on all three carriers leaves every wide lane unchanged.
        {"L1, L2 and L5", true, 1, 1, 1, false, false, false, false},
    };
    constexpr int slip_at = 150;
    for (const auto& cs : cases) {
        SCOPED_TRACE(cs.name);
        Pass pass;
        pass.three = cs.three;
        pass.sigma_code = 0.1;
        Rng rng(77);
        PairState st;
        const bool seen = cs.d2li || cs.dbw || cs.dbew || cs.dlew_w;
        for (int k = 0; k < 400; ++k) {
            auto o = pass.at(3600.0 + 30.0 * k, rng);
            if (k >= slip_at) {
                o.l1 += cs.n1;
                o.l2 += cs.n2;
                o.l3 += cs.n3;
            }
            const auto r = screen_observation(st, o, ScreeningOptions{});
            if (k != slip_at) {
                ASSERT_FALSE(r.cycleslip_) << "epoch " << k;
                ASSERT_EQ(r.narch1, k < slip_at || !seen ? 1 : 2) << "epoch " << k;
                continue;
            }
            EXPECT_EQ(r.cycleslip_, seen);
            EXPECT_EQ(r.narch1, seen ? 2 : 1);
            EXPECT_FALSE(r.cycleslip_dt);
            EXPECT_EQ(r.cycleslip_d2li, cs.d2li) << r.d2li;
            EXPECT_EQ(r.cycleslip_dbw, cs.dbw) << r.dbw;
            EXPECT_EQ(r.cycleslip_dbew, cs.dbew) << r.dbew;
            EXPECT_EQ(r.cycleslip_dlew_w, cs.dlew_w) << r.dlew_w;
            EXPECT_NEAR(r.d2li, cs.n1 * c / f1 - cs.n2 * c / f2, 0.02);
            EXPECT_NEAR(r.dbw, (cs.n1 - cs.n2) * lw, 0.3);
            if (cs.three) {
                EXPECT_NEAR(r.dbew, (cs.n2 - cs.n3) * lew, 0.6);
                EXPECT_NEAR(r.dlew_w, (cs.n2 - cs.n3) * lew - (cs.n1 - cs.n2) * lw, 0.2);
            }
            if (seen) {
                EXPECT_DOUBLE_EQ(r.xli_lir, 0.0); // the slipped epoch starts the new arc
            }
        }
    }
}

// A simultaneous L1/L2 slip (0.054 m in xli, nothing in bw) on two frequencies: the defaults, tuned
// against the ionospheric second differences of real 30 s data near solar maximum (up to 0.07 m), let
// it pass; a tighter second-difference threshold, usable under a quiet ionosphere, catches it.
TEST(Screening, SimultaneousSlipNeedsATightSecondDifference) {
    ScreeningOptions tight;
    tight.d2li_max_0 = 0.02;
    tight.d2li_max_per_s = 0.0005; // 0.035 m at 30 s
    struct Case {
        const char* name;
        ScreeningOptions opt;
        bool seen;
    };
    for (const auto& cs : {Case{"defaults", ScreeningOptions{}, false}, Case{"tight", tight, true}}) {
        SCOPED_TRACE(cs.name);
        Pass pass;
        Rng rng(5);
        PairState st;
        int flags = 0;
        ScreeningResult at_slip;
        for (int k = 0; k < 300; ++k) {
            auto o = pass.at(500.0 + 30.0 * k, rng);
            if (k >= 150) {
                o.l1 += 1;
                o.l2 += 1;
            }
            const auto r = screen_observation(st, o, cs.opt);
            flags += r.cycleslip_;
            if (k == 150) at_slip = r;
        }
        EXPECT_EQ(at_slip.cycleslip_d2li, cs.seen) << at_slip.d2li;
        EXPECT_FALSE(at_slip.cycleslip_dbw);
        EXPECT_EQ(flags, cs.seen ? 1 : 0);
    }
}

// On a noisy arc (code 1.5 m, bw scattered by about 1 m, as at low elevation) a slip restarts the arc
// with the scatter learnt so far: the new arc's first epochs, whose mean is still poor, are not flagged
// on noise. Twenty L1 slips, 60 epochs apart, give exactly twenty flags.
TEST(Screening, SlipOnANoisyArcKeepsItsScatter) {
    Pass pass;
    pass.sigma_code = 1.5;
    Rng rng(31);
    PairState st;
    int flags = 0, by_d2li = 0;
    double n1 = 0;
    for (int k = 0; k < 1260; ++k) {
        if (k >= 60 && k % 60 == 0) n1 += 1;
        auto o = pass.at(30.0 * k, rng);
        o.l1 += n1;
        const auto r = screen_observation(st, o, ScreeningOptions{});
        flags += r.cycleslip_;
        by_d2li += r.cycleslip_d2li;
        if (k >= 60) {
            ASSERT_EQ(r.cycleslip_, k % 60 == 0) << "epoch " << k << " dbw " << r.dbw;
        }
    }
    EXPECT_EQ(flags, 20);
    EXPECT_EQ(by_d2li, 20);
}

TEST(Screening, FirstObservationAndDataGaps) {
    Pass pass;
    Rng rng(3);
    PairState st;
    const ScreeningOptions opt;
    struct Step {
        double t;
        int narch;
        bool dt_slip;
        double dtsec;
    };
    // 30 s steps, a 120 s gap (kept: three missed epochs), a gap just above the limit, a repeated epoch
    // and a step back in time (both new arcs).
    const Step steps[] = {
        {0, 1, false, 0},     {30, 1, false, 30},  {60, 1, false, 30},  {90, 1, false, 30},
        {210, 1, false, 120}, {240, 1, false, 30}, {361, 2, true, 121}, {391, 2, false, 30},
        {421, 2, false, 30},  {481, 2, false, 60}, {511, 2, false, 30}, {511, 3, true, 0},
        {541, 3, false, 30},  {480, 4, true, -61}, {510, 4, false, 30}, {540, 4, false, 30},
    };
    int k = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(k++);
        const auto r = screen_observation(st, pass.at(s.t, rng), opt);
        EXPECT_EQ(r.narch1, s.narch);
        EXPECT_EQ(r.cycleslip_dt, s.dt_slip);
        EXPECT_EQ(r.cycleslip_, s.dt_slip);
        EXPECT_DOUBLE_EQ(r.dtsec_ob1, s.dtsec);
        EXPECT_FALSE(r.cycleslip_d2li || r.cycleslip_dbw) << r.d2li << " " << r.dbw;
    }
}

// The test quantities at the start of an arc: none on the first epoch, the jump tests from the second,
// the second difference from the third; xli_lir is measured from the arc's first epoch.
TEST(Screening, ArcStartAndReference) {
    Pass pass;
    pass.three = true;
    pass.sigma_code = 0.0;
    pass.sigma_phase = 0.0;
    Rng rng(9);
    PairState st;
    std::vector<Observation> obs;
    for (int k = 0; k < 8; ++k) obs.push_back(pass.at(100.0 + 30.0 * k, rng));
    obs[5].t += 400.0; // a gap: epochs 5.. form arc 2
    obs[6].t += 400.0;
    obs[7].t += 400.0;
    std::vector<ScreeningResult> r;
    for (const auto& o : obs) r.push_back(screen_observation(st, o, ScreeningOptions{}));

    auto xli = [](const Observation& o) { return o.l1 * c / o.f1 - o.l2 * c / o.f2; };
    for (int k : {0, 5}) {
        EXPECT_EQ(r[k].d2li, 0.0);
        EXPECT_EQ(r[k].dbw, 0.0);
        EXPECT_EQ(r[k].dbew, 0.0);
        EXPECT_EQ(r[k].dlew_w, 0.0);
        EXPECT_EQ(r[k].xli_lir, 0.0);
        EXPECT_EQ(r[k + 1].d2li, 0.0); // noiseless: the jump test on the second epoch sees rounding only
        EXPECT_LT(std::fabs(r[k + 1].dbw), 1e-6);
        EXPECT_NE(r[k + 2].d2li, 0.0);
    }
    EXPECT_EQ(r[4].narch1, 1);
    EXPECT_EQ(r[5].narch1, 2);
    EXPECT_NEAR(r[3].xli_lir, xli(obs[3]) - xli(obs[0]), 1e-6);
    EXPECT_NEAR(r[7].xli_lir, xli(obs[7]) - xli(obs[5]), 1e-6);
    // The smooth ionosphere leaves a second difference far below a millimetre.
    EXPECT_LT(std::fabs(r[3].d2li), 1e-3);
}

// Unusable observations never crash the screening; they close the arc, and the next good one starts a
// new arc.
TEST(Screening, UnusableObservationsCloseTheArc) {
    Pass pass;
    Rng rng(21);
    PairState st;
    const ScreeningOptions opt;
    EXPECT_FALSE(screen_observation(st, pass.at(0, rng), opt).cycleslip_);
    EXPECT_FALSE(screen_observation(st, pass.at(30, rng), opt).cycleslip_);
    struct Bad {
        const char* name;
        void (*spoil)(Observation&);
    };
    const Bad bad[] = {
        {"NaN phase", [](Observation& o) { o.l1 = std::nan(""); }},
        {"infinite code", [](Observation& o) { o.p2 = INFINITY; }},
        {"zero frequency", [](Observation& o) { o.f2 = 0; }},
        {"frequencies in the wrong order", [](Observation& o) { std::swap(o.f1, o.f2); }},
        {"NaN time", [](Observation& o) { o.t = std::nan(""); }},
    };
    double t = 60;
    int arc = 1;
    for (const auto& b : bad) {
        SCOPED_TRACE(b.name);
        auto o = pass.at(t, rng);
        b.spoil(o);
        const auto r = screen_observation(st, o, opt);
        EXPECT_FALSE(r.usable);
        EXPECT_TRUE(r.cycleslip_);
        EXPECT_EQ(r.narch1, arc);
        t += 30;
        const auto next = screen_observation(st, pass.at(t, rng), opt);
        EXPECT_TRUE(next.usable);
        EXPECT_TRUE(next.cycleslip_);
        EXPECT_EQ(next.narch1, ++arc);
        t += 30;
        EXPECT_FALSE(screen_observation(st, pass.at(t, rng), opt).cycleslip_);
        t += 30;
    }
    // Before any good observation nothing is open: no slip, arc 0.
    PairState fresh;
    auto o = pass.at(0, rng);
    o.l2 = std::nan("");
    const auto r = screen_observation(fresh, o, opt);
    EXPECT_FALSE(r.cycleslip_);
    EXPECT_EQ(r.narch1, 0);
    EXPECT_EQ(screen_observation(fresh, pass.at(30, rng), opt).narch1, 1);
}

} // namespace
