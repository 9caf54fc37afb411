// Cycle-slip screening of one receiver-satellite pair, run before the observations are written as OB1
// lines: arc numbering, data-gap detection and the jump tests whose quantities the OB1 line carries.
//
// All combinations are in metres (carrier phases in cycles times c/f), with the same definitions the
// processing stage uses downstream:
//   geometry-free phase   xli  = L1 - L2
//   wide-lane phase       xlw  = (f1 L1 - f2 L2) / (f1 - f2)
//   narrow-lane code      pw   = (f1 P1 + f2 P2) / (f1 + f2)
//   extra-wide-lane phase xlew = (f2 L2 - f3 L3) / (f2 - f3)
//   its narrow-lane code  pew  = (f3 P3 + f2 P2) / (f3 + f2)
// and the Melbourne-Wuebbena combinations bw = xlw - pw, bew = xlew - pew, free of geometry, clocks,
// troposphere and first-order ionosphere, constant along an arc except for code noise and multipath.
//
// Tests, each on a continuous arc:
//   data gap     the time since the previous observation of the pair exceeds max_gap_s (or does not
//                increase): the new observation starts a new arc;
//   d2li         deviation of xli from its linear extrapolation from the two previous epochs (the second
//                difference for equal steps); a slip if |d2li| > d2li_max_0 + d2li_max_per_s * dt;
//   dbw          bw minus the running mean of bw over the arc so far; a slip if |dbw| exceeds
//                jump_k_sigma times the scatter of bw in the arc, and at least dbw_max_m (see below);
//   dbew         (three frequencies) the same for bew, floor dbew_max_m;
//   dlew_w       (three frequencies) the change of xlew - xlw since the previous epoch (a phase-only,
//                geometry-free quantity); a slip if |dlew_w| > dlew_w_max_m.
// Any slip closes the arc: the observation is the first of the next arc (narch1 + 1), its own values
// become the references (running means, start of xli_lir). The first observation of a pair opens arc 1
// with dtsec_ob1 = 0 and no flag; the tests start with the second (jumps) and third (d2li) epochs of an
// arc. An unusable observation (non-finite value, frequencies not decreasing) is flagged, tests nothing
// and closes the arc.
//
// What each test sees of a one-cycle slip (GPS L1/L2/L5):
//   L1 only:  xli +0.190 m, bw +0.862 m (one wide-lane cycle), lew-lw -0.862 m, bew 0
//   L2 only:  xli -0.244 m, bw -0.862 m, bew +5.861 m, lew-lw +6.723 m
//   L1 and L2 together: xli -0.054 m, bw 0; with a third frequency untouched bew and lew-lw +5.861 m.
//   So on two frequencies a simultaneous slip is seen only by d2li, and only when its threshold is set
//   below 0.054 m (not with the defaults at 30 s); the wide lane's own case is a slip with a small
//   geometry-free signature, such as 4 cycles on L1 and 3 on L2 (xli 0.029 m, bw one cycle).
#pragma once

#include <cmath>

namespace quelmar::tools::screening {

constexpr double speed_of_light = 299792458.0; // m/s

// Thresholds. The defaults are chosen for geodetic receivers at 30 s sampling, and checked on real
// 30 s data of early 2002 (solar maximum, code under anti-spoofing):
// - max_gap_s 120: up to three missed epochs keep the arc; beyond, the extrapolation of the ionosphere
//   over the gap would need a second-difference threshold above a one-cycle L1 jump (0.19 m);
// - d2li 0.04 m + 0.0013 m/s (0.079 m at 30 s): the carrier noise (a few mm) gives a second difference
//   noise below 1 cm, but the ionosphere near solar maximum bends xli by up to 0.07 m between 30 s
//   epochs (99.9 % of the real data). One-cycle L1 (0.19 m) and L2 (0.24 m) slips stay far above it; a
//   simultaneous L1/L2 slip (0.054 m) does not (lower both values to catch it under a quiet ionosphere);
// - dbw: bw carries the code noise (times about 0.7) and its multipath, from 0.1 m to metres depending
//   on receiver and elevation. The threshold is jump_k_sigma (5) times the scatter of bw in the arc,
//   estimated with a prior of 0.5 m weighing as 5 observations (so an arc start, where the mean is
//   still poor, is not flagged on noise), and at least 0.6 m (0.7 wide-lane cycle of 0.862 m). A
//   one-cycle wide-lane jump is caught when the scatter is about 0.12 m or less;
// - dbew: the same with a floor of 2.5 m (0.43 extra-wide-lane cycle of 5.86 m for L2/L5);
// - dlew_w 0.6 m: the carrier noise of xlew - xlw is about 25 times that of one carrier (0.1 m for
//   3 mm), with a long tail on real receivers (ESBC 2020, GPS L1/L2/L5: 99 % at 0.56 m), and a
//   one-cycle L1 slip changes it by 0.862 m.
struct ScreeningOptions {
    double max_gap_s = 120.0;
    double d2li_max_0 = 0.04;       // m
    double d2li_max_per_s = 0.0013; // m/s
    double dbw_max_m = 0.6;         // floor of the wide-lane threshold
    double dbew_max_m = 2.5;        // floor of the extra-wide-lane threshold
    double jump_k_sigma = 5.0;      // the jump thresholds are at least this many scatters of the arc
    double jump_sigma0_m = 0.5;     // prior scatter of bw and bew at an arc start, m
    double jump_prior_weight = 5.0; // weight of that prior, in observations
    double dlew_w_max_m = 0.6;
};

// One observation of a pair. Three frequencies when f3 > 0 (then l3 and p3 are used).
struct Observation {
    double t = 0.0;                // epoch, s (any continuous time scale)
    double l1 = 0, l2 = 0, l3 = 0; // carrier phases, cycles
    double p1 = 0, p2 = 0, p3 = 0; // pseudoranges, m
    double f1 = 0, f2 = 0, f3 = 0; // carrier frequencies, Hz
};

// The OB1 screening fields of one observation. The test quantities are 0 when the test could not be
// made (first epochs of an arc, two frequencies for the three-frequency tests).
struct ScreeningResult {
    int narch1 = 0;          // arc number of the pair, from 1
    bool cycleslip_ = false; // any of the slip flags below
    double dtsec_ob1 = 0.0;  // s since the previous observation of the pair; 0 for the first one
    bool cycleslip_dt = false;
    double d2li = 0.0; // m
    bool cycleslip_d2li = false;
    double xli_lir = 0.0; // xli minus its value at the start of the arc, m
    double dbw = 0.0;     // m
    bool cycleslip_dbw = false;
    double dbew = 0.0; // m
    bool cycleslip_dbew = false;
    double dlew_w = 0.0; // m
    bool cycleslip_dlew_w = false;
    bool usable = true; // false: non-finite values or unusable frequencies; the arc is closed
};

// State of one receiver-satellite pair.
struct PairState {
    int narch = 0;          // current arc number, 0 before the first observation
    bool have_prev = false; // a previous observation exists (time reference for gaps)
    double t_prev = 0.0;
    int n_arc = 0;                        // observations in the current arc
    double t_1 = 0.0, xli_1 = 0.0;        // previous epoch of the arc
    double t_2 = 0.0, xli_2 = 0.0;        // the one before
    double xli_ref = 0.0;                 // xli at the arc start
    double bw_mean = 0.0, bew_mean = 0.0; // running means of the arc
    double bw_m2 = 0.0, bew_m2 = 0.0;     // sums of squared deviations from them
    double bw_var0 = 0.0, bew_var0 = 0.0; // prior variances of the arc
    double lew_w_1 = 0.0;                 // xlew - xlw at the previous epoch
};

// Closes the current arc of the pair: its next observation starts a new arc and carries the slip flag
// (used when the data themselves report a slip the tests cannot see, or when the set of frequencies of
// the pair changes and the running means no longer describe the same combination).
inline void force_new_arc(PairState& s) {
    s.n_arc = 0;
}

namespace detail {

inline bool finite_all(const Observation& o, bool three) {
    bool ok = std::isfinite(o.t) && std::isfinite(o.l1) && std::isfinite(o.l2) && std::isfinite(o.p1) &&
              std::isfinite(o.p2) && std::isfinite(o.f1) && std::isfinite(o.f2);
    if (three) ok = ok && std::isfinite(o.l3) && std::isfinite(o.p3) && std::isfinite(o.f3);
    return ok;
}

// The variance of a Melbourne-Wuebbena combination after n observations of the arc with the sum of
// squared deviations m2, with the prior variance var0 weighing as opt.jump_prior_weight observations.
inline double jump_variance(int n, double m2, double var0, const ScreeningOptions& opt) {
    const double w = opt.jump_prior_weight;
    return (m2 + w * var0) / (n - 1 + w);
}

// Its jump threshold: k times the scatter of a new value about the mean, never below the floor.
inline double jump_threshold(double floor, int n, double m2, double var0, const ScreeningOptions& opt) {
    const double var = jump_variance(n, m2, var0, opt);
    const double t = opt.jump_k_sigma * std::sqrt(var * (1.0 + 1.0 / n));
    return t > floor ? t : floor;
}

// Welford's update of a running mean and sum of squared deviations with the n-th value.
inline void accumulate(double& mean, double& m2, int n, double x) {
    const double d = x - mean;
    mean += d / n;
    m2 += d * (x - mean);
}

} // namespace detail

// Screens one observation of the pair and updates its state. Observations must come in time order; a
// time that does not increase is handled as a gap.
inline ScreeningResult screen_observation(PairState& s, const Observation& o, const ScreeningOptions& opt) {
    ScreeningResult r;
    const bool three = o.f3 > 0.0;
    const bool freq_ok = o.f1 > o.f2 && o.f2 > 0.0 && (!three || o.f2 > o.f3);
    if (!freq_ok || !detail::finite_all(o, three)) {
        // Nothing can be tested: close the arc so the next good observation starts a fresh one.
        r.usable = false;
        r.cycleslip_ = s.narch > 0;
        r.narch1 = s.narch;
        s.n_arc = 0;
        return r;
    }

    const double c = speed_of_light;
    const double xl1 = o.l1 * c / o.f1, xl2 = o.l2 * c / o.f2;
    const double xli = xl1 - xl2;
    const double xlw = (o.f1 * xl1 - o.f2 * xl2) / (o.f1 - o.f2);
    const double pw = (o.f1 * o.p1 + o.f2 * o.p2) / (o.f1 + o.f2);
    const double bw = xlw - pw;
    double xlew = 0.0, bew = 0.0;
    if (three) {
        const double xl3 = o.l3 * c / o.f3;
        xlew = (o.f2 * xl2 - o.f3 * xl3) / (o.f2 - o.f3);
        bew = xlew - (o.f3 * o.p3 + o.f2 * o.p2) / (o.f3 + o.f2);
    }
    const double lew_w = xlew - xlw;

    if (s.have_prev) {
        r.dtsec_ob1 = o.t - s.t_prev;
        r.cycleslip_dt = !(r.dtsec_ob1 > 0.0) || r.dtsec_ob1 > opt.max_gap_s;
    }
    const bool first = !s.have_prev;
    s.have_prev = true;
    s.t_prev = o.t;

    const bool continuing = !first && !r.cycleslip_dt && s.n_arc > 0;
    if (continuing) {
        if (s.n_arc >= 2) {
            const double step1 = s.t_1 - s.t_2;
            r.d2li = (xli - s.xli_1) - (s.xli_1 - s.xli_2) * (r.dtsec_ob1 / step1);
            r.cycleslip_d2li = std::fabs(r.d2li) > opt.d2li_max_0 + opt.d2li_max_per_s * r.dtsec_ob1;
        }
        r.dbw = bw - s.bw_mean;
        r.cycleslip_dbw =
            std::fabs(r.dbw) > detail::jump_threshold(opt.dbw_max_m, s.n_arc, s.bw_m2, s.bw_var0, opt);
        if (three) {
            r.dbew = bew - s.bew_mean;
            r.cycleslip_dbew = std::fabs(r.dbew) >
                               detail::jump_threshold(opt.dbew_max_m, s.n_arc, s.bew_m2, s.bew_var0, opt);
            r.dlew_w = lew_w - s.lew_w_1;
            r.cycleslip_dlew_w = std::fabs(r.dlew_w) > opt.dlew_w_max_m;
        }
    }
    const bool slip = r.cycleslip_dt || r.cycleslip_d2li || r.cycleslip_dbw || r.cycleslip_dbew ||
                      r.cycleslip_dlew_w || (!first && s.n_arc == 0);
    r.cycleslip_ = slip;

    if (first || slip) {
        // A new arc starts with this observation.
        // After a slip inside continuous data the scatter of the closing arc (a property of the receiver
        // and the elevation, which a slip does not change) is the prior of the new one; otherwise the
        // configured prior.
        const double var0 = opt.jump_sigma0_m * opt.jump_sigma0_m;
        if (continuing) {
            s.bw_var0 = std::fmax(var0, detail::jump_variance(s.n_arc, s.bw_m2, s.bw_var0, opt));
            s.bew_var0 = std::fmax(var0, detail::jump_variance(s.n_arc, s.bew_m2, s.bew_var0, opt));
        } else {
            s.bw_var0 = s.bew_var0 = var0;
        }
        s.narch += 1;
        s.n_arc = 1;
        s.xli_ref = xli;
        s.bw_mean = bw;
        s.bew_mean = bew;
        s.bw_m2 = s.bew_m2 = 0.0;
    } else {
        s.n_arc += 1;
        detail::accumulate(s.bw_mean, s.bw_m2, s.n_arc, bw);
        detail::accumulate(s.bew_mean, s.bew_m2, s.n_arc, bew);
    }
    s.t_2 = s.t_1;
    s.xli_2 = s.xli_1;
    s.t_1 = o.t;
    s.xli_1 = xli;
    s.lew_w_1 = lew_w;
    r.narch1 = s.narch;
    r.xli_lir = xli - s.xli_ref;
    return r;
}

} // namespace quelmar::tools::screening
