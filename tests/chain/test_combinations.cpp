// The cycle-slip laws (thresholds, strict comparisons, arc numbering, warning and trace lines) and the
// combinations of observables (checked against signals built from a geometric range and an
// ionospheric delay, where each combination has a known value).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "auxfiles/pcv.hpp"
#include "chain/combinations.hpp"
#include "chain/validity.hpp"
#include "frame/config.hpp"
#include "frame/constants.hpp"
#include "frame/log.hpp"
#include "frame/state.hpp"
#include "messages/observation.hpp"
#include "messages/station.hpp"
#include "support/test_support.hpp"

namespace quelmar::chain {
namespace {

using testing_support::CapturedLog;
using testing_support::lines_of;
using testing_support::TempDir;

constexpr double c_light = 299792458.0;
constexpr double f0 = 10.23e6;
constexpr double fl1 = 154 * f0, fl2 = 120 * f0, fl5 = 115 * f0, fl7 = 118 * f0;

// ---------------------------------------------------------------------------------------------------
// Cycle-slip laws.

class SlipLaw : public ::testing::Test {
  protected:
    SlipLaw() {
        EXPECT_TRUE(out_.open(dir_.path("out.txt")));
        cfg_.new_cycle_slip_checking = true;
        cfg_.d2li_max_0 = 0.125;
        cfg_.d2li_max_exp_amp_m_per_sec = 0.5;
        cfg_.d2li_max_exp_ct_m_per_sec = 0.25;
        cfg_.d2li_max_exp_scale_deg = 10.0;
        cfg_.dbw_max_exp_amp_m = 0.75;
        cfg_.dbw_max_exp_ct_m = 0.25;
        cfg_.dbw_max_exp_scale_deg = 15.0;
        ob_.iyy = 2;
        ob_.imo = 1;
        ob_.ida = 30;
        ob_.iho = 0;
        ob_.imi = 5;
        ob_.sec = 0.0;
        ob_.rec = "EBRE";
        st_.narch(3, 31) = 17;
    }
    SlipLaws run(double eele0 = 12.5, std::int32_t irec = 3, std::int32_t iprn = 31) {
        SlipLaws r;
        cycle_slip_laws(cfg_, ob_, irec, iprn, eele0, st_, r, cap_.log, out_);
        return r;
    }
    std::vector<std::string> out_lines() {
        out_.flush();
        return lines_of(dir_.read("out.txt"));
    }

    TempDir dir_;
    frame::TextSink out_;
    CapturedLog cap_;
    frame::Config cfg_;
    messages::Observation ob_;
    frame::RunState st_;
};

TEST_F(SlipLaw, OffPassesTheMessageThrough) {
    cfg_.new_cycle_slip_checking = false;
    cfg_.trace2 = true;
    struct F {
        bool slip, d2li, dbw;
    };
    for (const F f : {F{true, false, true}, F{false, true, false}, F{false, false, false}}) {
        ob_.cycleslip_ = f.slip;
        ob_.cycleslip_d2li = f.d2li;
        ob_.cycleslip_dbw = f.dbw;
        ob_.d2li = 1.0e6; // far beyond any threshold: the laws are not applied
        ob_.dbw = -1.0e6;
        const SlipLaws r = run();
        EXPECT_EQ(r.cycleslip2, f.slip);
        EXPECT_EQ(r.cycleslip2_d2li, f.d2li);
        EXPECT_EQ(r.cycleslip2_dbw, f.dbw);
        EXPECT_EQ(r.d2li_max, 99.99);
        EXPECT_EQ(r.dbw_max, 99.99);
        EXPECT_EQ(r.narch2, 17);
    }
    EXPECT_EQ(st_.idnarch(3, 31), 0);
    EXPECT_TRUE(cap_.lines().empty());
    EXPECT_TRUE(out_lines().empty());
}

TEST_F(SlipLaw, ThresholdsAtElevationsAndTimeSteps) {
    struct T {
        double eele0, dt, d2li_max, dbw_max;
    };
    const std::vector<T> cases = {
        {0.0, 2.0, 0.125 + 2.0 * (0.5 + 0.25), 0.75 + 0.25}, // horizon: the full amplitude
        {0.0, 0.0, 0.125, 1.0},                              // zero step: d2li_max_0 alone
        {10.0, 30.0, 0.125 + 30.0 * (0.5 / M_E + 0.25), 0.75 * std::exp(-10.0 / 15.0) + 0.25},
        {90.0, 1.0, 0.125 + 1.0 * (0.5 * std::exp(-9.0) + 0.25), 0.75 * std::exp(-6.0) + 0.25},
        {45.0, 3600.0, 0.125 + 3600.0 * (0.5 * std::exp(-4.5) + 0.25), 0.75 * std::exp(-3.0) + 0.25},
    };
    for (const T& t : cases) {
        ob_.dtsec_ob1 = t.dt;
        const SlipLaws r = run(t.eele0);
        EXPECT_NEAR(r.d2li_max, t.d2li_max, 1e-12 * t.d2li_max) << t.eele0 << " " << t.dt;
        EXPECT_NEAR(r.dbw_max, t.dbw_max, 1e-12) << t.eele0;
        EXPECT_FALSE(r.cycleslip2);
    }
    EXPECT_EQ(st_.idnarch(3, 31), 0);
}

TEST_F(SlipLaw, StrictComparisons) {
    // At the horizon with a 2 s step the thresholds are exact binary values: 1.625 m and 1.0 m.
    ob_.dtsec_ob1 = 2.0;
    struct S {
        double d2li, dbw;
        bool slip_d2li, slip_dbw;
    };
    const std::vector<S> cases = {
        {1.625, 1.0, false, false},
        {-1.625, -1.0, false, false},
        {std::nextafter(1.625, 2.0), 0.0, true, false},
        {-std::nextafter(1.625, 2.0), 0.0, true, false},
        {0.0, std::nextafter(1.0, 2.0), false, true},
        {0.0, -std::nextafter(1.0, 2.0), false, true},
        {5.0, 5.0, true, true},
    };
    int expected_arcs = 0;
    for (const S& s : cases) {
        ob_.d2li = s.d2li;
        ob_.dbw = s.dbw;
        const SlipLaws r = run(0.0);
        ASSERT_EQ(r.d2li_max, 1.625);
        ASSERT_EQ(r.dbw_max, 1.0);
        EXPECT_EQ(r.cycleslip2_d2li, s.slip_d2li) << s.d2li;
        EXPECT_EQ(r.cycleslip2_dbw, s.slip_dbw) << s.dbw;
        EXPECT_EQ(r.cycleslip2, s.slip_d2li || s.slip_dbw);
        if (r.cycleslip2) ++expected_arcs;
        EXPECT_EQ(st_.idnarch(3, 31), expected_arcs);
        EXPECT_EQ(r.narch2, 17 + expected_arcs);
    }
    // The message's own values are untouched.
    EXPECT_FALSE(ob_.cycleslip_d2li);
    EXPECT_FALSE(ob_.cycleslip_dbw);
    EXPECT_EQ(st_.narch(3, 31), 17);
}

TEST_F(SlipLaw, MessageSlipAloneOpensANewArc) {
    ob_.cycleslip_ = true;
    SlipLaws r = run(40.0);
    EXPECT_TRUE(r.cycleslip2);
    EXPECT_FALSE(r.cycleslip2_d2li);
    EXPECT_FALSE(r.cycleslip2_dbw);
    EXPECT_EQ(r.narch2, 18);
    EXPECT_TRUE(cap_.lines().empty()); // no law fired: nothing to warn about

    // The count never goes back, and other pairs are not affected.
    ob_.cycleslip_ = false;
    r = run(40.0);
    EXPECT_FALSE(r.cycleslip2);
    EXPECT_EQ(r.narch2, 18);
    st_.narch(3, 31) = 20; // the message starts a new upstream arc
    ob_.cycleslip_ = true;
    r = run(40.0);
    EXPECT_EQ(r.narch2, 22);
    r = run(40.0, 3, 30);
    EXPECT_EQ(r.narch2, 2); // narch starts at 1, plus this slip
    EXPECT_EQ(st_.idnarch(3, 30), 1);
    EXPECT_EQ(st_.idnarch(3, 31), 2);
}

TEST_F(SlipLaw, WarningLines) {
    // dBw law alone; threshold 0.75 exp(-12.5/15) + 0.25.
    ob_.dbw = -2.5;
    run(12.5);
    // d2Li law alone with the 0.11 m threshold of a 30 s step.
    cfg_.d2li_max_0 = 0.05;
    cfg_.d2li_max_exp_amp_m_per_sec = 0.0;
    cfg_.d2li_max_exp_ct_m_per_sec = 0.002;
    ob_.dtsec_ob1 = 30.0;
    ob_.dbw = 0.0;
    ob_.d2li = 0.5;
    run(12.5);
    // Expected bytes written by gfortran with the same format and values.
    const std::vector<std::string> expected = {
        " WARNING: cycle slip detected from dBw/elev law:",
        "iyy,imo,ida,iho,imi,sec,irec,rec,iprn,eele0,dBw,dBw_max,cycleslip_old=  2  1 30  0  5  0.0   3 EBRE "
        "31  "
        "12.500000     -0.250E+01      0.576E+00 F",
        " WARNING: cycle slip detected from dd2Li/elev law:",
        "iyy,imo,ida,iho,imi,sec,irec,rec,iprn,eele0,d2Li,d2Li_max,cycleslip_old=  2  1 30  0  5  0.0   3 "
        "EBRE 31  "
        "12.500000      0.500E+00      0.110E+00 F",
    };
    EXPECT_EQ(cap_.lines(), expected);
    EXPECT_TRUE(out_lines().empty()); // no trace without trace2
}

TEST_F(SlipLaw, Trace2Lines) {
    cfg_.trace2 = true;
    cfg_.d2li_max_0 = 0.05;
    cfg_.d2li_max_exp_amp_m_per_sec = 0.0;
    cfg_.d2li_max_exp_ct_m_per_sec = 0.002;
    cfg_.d2li_max_exp_scale_deg = 15.0;
    ob_.dtsec_ob1 = 30.0;
    ob_.cycleslip_dt = true;
    ob_.rec = "BELL";
    ob_.tdjmobs = __float128(52304) + __float128(300) / 86400;
    run(12.5, 3, 7);
    // The two formatted lines are the bytes gfortran writes with the same formats and values; the blank
    // lines around the first are empty list-directed records.
    const std::vector<std::string> expected = {
        " ",
        "d2Li_max:  52304.0034722 BELL  7  12.50000   0.11000   0.00200   0.00000  15.00000     30.000 T",
        " ",
        "dBw_max:   12.50000   0.57595   0.25000   0.75000  15.00000",
    };
    EXPECT_EQ(out_lines(), expected);
}

TEST_F(SlipLaw, PairOutsideTheTables) {
    ob_.cycleslip_ = true;
    for (auto [irec, iprn] : {std::pair{0, 5}, std::pair{7, 5}, std::pair{1, 0}, std::pair{1, 36}}) {
        const SlipLaws r = run(30.0, irec, iprn);
        EXPECT_TRUE(r.cycleslip2);
        EXPECT_EQ(r.narch2, 0);
    }
    cfg_.new_cycle_slip_checking = false;
    EXPECT_EQ(run(30.0, 0, 0).narch2, 0);
}

// ---------------------------------------------------------------------------------------------------
// Combinations.

// Signals of one satellite: geometric range rho (m), first-order ionospheric coefficient q (delay q/f^2
// m on the code, advance on the phase) and second-order coefficients s (phase, -s/f^3) and r (code,
// +r/f^3).
struct Signal {
    double rho, q = 0, s = 0, r = 0;
    double code(double f) const { return rho + q / (f * f) + r / (f * f * f); }
    double phase_m(double f) const { return rho - q / (f * f) - s / (f * f * f); }
    double cycles(double f) const { return phase_m(f) * f / c_light; }
};

ObservableSelection dual(const Signal& g) {
    ObservableSelection sel;
    sel.f1ef = fl1;
    sel.f2ef = fl2;
    sel.f3ef = -99.0;
    sel.pseudorange1 = g.code(fl1);
    sel.pseudorange2 = g.code(fl2);
    sel.carrier1 = g.cycles(fl1);
    sel.carrier2 = g.cycles(fl2);
    return sel;
}

class Combination : public ::testing::Test {
  protected:
    Combinations run(std::int32_t nobs, const ObservableSelection& sel, bool leo = false, double xleo = 0.0,
                     double eele0 = 90.0, models::Vec3 enu = {0.0, 0.0, 1.0}) {
        Combinations comb;
        comb.pc = 12345.0; // values of a previous call must not survive
        combination_of_observables_v4(nobs, sel, eele0, enu, 2, sta_, pcv_, leo, xleo, c_light, comb);
        return comb;
    }
    messages::StationTables sta_;
    auxfiles::PcvTable pcv_;
};

TEST_F(Combination, DualFrequencyAgainstRangeAndIonosphere) {
    const double rho = 22345678.9;
    for (double q : {0.0, 4.0e18, 4.0e19}) { // up to ~16 m of L1 delay
        SCOPED_TRACE(q);
        const Signal g{rho, q};
        const Combinations cb = run(4, dual(g));
        const double tol = 2e-8 * rho;
        EXPECT_NEAR(cb.pc, rho, tol); // ionosphere-free removes the first-order term
        EXPECT_NEAR(cb.xlc, rho, tol);
        // Geometry-free, both positive with a positive delay: code L2 - L1, carrier L1 - L2.
        const double iono = q * (1.0 / (fl2 * fl2) - 1.0 / (fl1 * fl1));
        EXPECT_NEAR(cb.pi1, iono, 1e-6);
        EXPECT_NEAR(cb.xli, iono, 1e-6);
        // Narrow-lane code and wide-lane carrier both see rho + q/(f1 f2).
        EXPECT_NEAR(cb.pw, rho + q / (fl1 * fl2), tol);
        EXPECT_NEAR(cb.xlw, rho + q / (fl1 * fl2), tol);
        EXPECT_NEAR(cb.pw - cb.xlw, 0.0, 1e-5);
        EXPECT_EQ(cb.p1, g.code(fl1));
        EXPECT_EQ(cb.p2, g.code(fl2));
        EXPECT_NEAR(cb.xl1, g.phase_m(fl1), 1e-7);
        // Nothing of a third frequency.
        EXPECT_EQ(cb.p3, 0.0);
        EXPECT_EQ(cb.xl3, 0.0);
        EXPECT_EQ(cb.pew, 0.0);
        EXPECT_EQ(cb.xlew, 0.0);
        EXPECT_EQ(cb.xi2_l, -99.0);
        EXPECT_EQ(cb.xi2_p, -99.0);
        EXPECT_EQ(cb.ierrgco, 0);
    }
    // Signs: a larger L2 code and a larger L1 phase give positive geometry-free values.
    ObservableSelection sel = dual(Signal{rho});
    sel.pseudorange2 += 3.0;
    sel.carrier1 += 1.0;
    const Combinations cb = run(4, sel);
    EXPECT_NEAR(cb.pi1, 3.0, 1e-7);
    EXPECT_NEAR(cb.xli, c_light / fl1, 1e-7);
}

TEST_F(Combination, GalileoThreeFrequencies) {
    // Selection by the validity check: E1, E5b, E5a.
    const Signal g{23456789.0, 2.0e19, 0.0, 0.0};
    messages::ObservationState obs;
    obs.icode_c_(1, 2) = 1;
    obs.icarrier_l_(1, 2) = 2;
    obs.icode_c_(7, 2) = 3;
    obs.icarrier_l_(7, 2) = 4;
    obs.icode_c_(5, 2) = 5;
    obs.icarrier_l_(5, 2) = 6;
    Array1<double, max_type_obs> x;
    x.fill(0.0);
    x(1) = g.code(fl1);
    x(2) = g.cycles(fl1);
    x(3) = g.code(fl7);
    x(4) = g.cycles(fl7);
    x(5) = g.code(fl5);
    x(6) = g.cycles(fl5);
    frame::Constants k;
    k.f1 = fl1;
    k.f2 = fl2;
    k.f5 = fl5;
    k.f7 = fl7;
    CapturedLog cap;
    ObservableSelection sel;
    check_obs_v3(6, "E", x, obs, 2, 2, sta_, k, sel, cap.log);
    ASSERT_TRUE(sel.is_obs_useful);
    ASSERT_EQ(sel.obs_label, "galileo");

    // The antenna would add a correction to dual-frequency data; three frequencies get none.
    sta_.ant_delta_hen(2, 1) = 0.5;
    const Combinations cb = run(6, sel);
    for (int kf = 1; kf <= maxfre; ++kf) EXPECT_EQ(cb.phase_center_corr(kf), 0.0);
    const double tol = 2e-8 * g.rho;
    EXPECT_NEAR(cb.pc, g.rho, tol); // E1/E5b ionosphere-free
    EXPECT_NEAR(cb.xlc, g.rho, tol);
    EXPECT_NEAR(cb.pw, g.rho + g.q / (fl1 * fl7), tol); // E1/E5b lanes
    EXPECT_NEAR(cb.xlw, g.rho + g.q / (fl1 * fl7), tol);
    EXPECT_NEAR(cb.pew, g.rho + g.q / (fl7 * fl5), tol); // E5b/E5a lanes
    EXPECT_NEAR(cb.xlew, g.rho + g.q / (fl7 * fl5), 1e-5);
    EXPECT_NEAR(cb.pi1, g.q * (1.0 / (fl7 * fl7) - 1.0 / (fl1 * fl1)), 1e-6);
    EXPECT_EQ(cb.p3, g.code(fl5));
    EXPECT_NEAR(cb.xl3, g.phase_m(fl5), 1e-7);
    // Without a second-order term the estimates vanish (to the rounding of ranges of 2e7 m).
    EXPECT_NEAR(cb.xi2_l, 0.0, 1e-3);
    EXPECT_NEAR(cb.xi2_p, 0.0, 1e-3);
}

TEST_F(Combination, SecondOrderTermRecovered) {
    // Second-order terms of a few centimetres on E1, with a large first-order term alongside.
    const double s = 0.03 * fl1 * fl1 * fl1, r = 0.06 * fl1 * fl1 * fl1;
    const Signal g{23456789.0, 2.0e19, s, r};
    ObservableSelection sel;
    sel.f1ef = fl1;
    sel.f2ef = fl7;
    sel.f3ef = fl5;
    sel.pseudorange1 = g.code(fl1);
    sel.pseudorange2 = g.code(fl7);
    sel.pseudorange3 = g.code(fl5);
    sel.carrier1 = g.cycles(fl1);
    sel.carrier2 = g.cycles(fl7);
    sel.carrier3 = g.cycles(fl5);
    auto inv2 = [](double f) { return 1.0 / (f * f); };
    auto inv3 = [](double f) { return 1.0 / (f * f * f); };
    sel.alpha13 = inv2(fl1) - inv2(fl5);
    sel.alpha23 = inv2(fl7) - inv2(fl5);
    sel.beta13 = inv3(fl1) - inv3(fl5);
    sel.beta23 = inv3(fl7) - inv3(fl5);
    const Combinations cb = run(6, sel);
    // The estimate is the coefficient scaled by 1/(f1 f2 (f1 + f2)): + for the phase advance, - for the
    // code delay.
    const double scale = fl1 * fl7 * (fl1 + fl7);
    EXPECT_NEAR(cb.xi2_l, s / scale, 0.02 * std::fabs(s / scale));
    EXPECT_NEAR(cb.xi2_p, -r / scale, 0.02 * std::fabs(r / scale));

    // Factors of -99 (nearest integer) mean no three-frequency factors: no estimate.
    for (double a : {-99.0, -99.4, -98.6}) {
        ObservableSelection t = sel;
        t.alpha13 = t.alpha23 = a;
        const Combinations cb2 = run(6, t);
        EXPECT_EQ(cb2.xi2_l, -99.0) << a;
        EXPECT_EQ(cb2.xi2_p, -99.0) << a;
    }
    ObservableSelection t = sel;
    t.alpha13 = -99.0; // only one of the two: an estimate is formed
    EXPECT_NE(run(6, t).xi2_l, -99.0);
}

TEST_F(Combination, ReceiverAntennaOffsetAndEccentricity) {
    // One antenna with offsets (north, east, up) and no elevation pattern.
    auxfiles::PcvAntenna a;
    a.offset = {{{1.0, 2.0, 60.0}, {-1.0, 0.5, 55.0}}};
    pcv_.antennas.push_back(a);
    pcv_.nant = 1;
    sta_.iant_(2) = 1;
    sta_.ant_delta_hen(2, 1) = 0.1;   // height
    sta_.ant_delta_hen(2, 2) = 0.02;  // east
    sta_.ant_delta_hen(2, 3) = -0.03; // north
    const Signal g{21000000.0, 1.0e19};
    const models::Vec3 enu = {0.6, 0.0, 0.8};
    const double eele0 = std::asin(0.8) * 180.0 / M_PI;

    const Combinations cb = run(4, dual(g), false, 0.0, eele0, enu);
    const double pco1[3] = {20.0 + 2.0, -30.0 + 1.0, 100.0 + 60.0};
    const double pco2[3] = {20.0 + 0.5, -30.0 - 1.0, 100.0 + 55.0};
    for (int i = 1; i <= 3; ++i) {
        EXPECT_DOUBLE_EQ(cb.pco_enu(i, 1), pco1[i - 1]) << i;
        EXPECT_DOUBLE_EQ(cb.pco_enu(i, 2), pco2[i - 1]) << i;
    }
    const double corr1 = 0.6 * 22.0 + 0.8 * 160.0; // mm
    const double corr2 = 0.6 * 20.5 + 0.8 * 155.0;
    EXPECT_NEAR(cb.phase_center_corr(1), corr1, 1e-9);
    EXPECT_NEAR(cb.phase_center_corr(2), corr2, 1e-9);
    EXPECT_EQ(cb.phase_center_corr(3), 0.0);
    // The correction goes to code and carrier of its frequency alike.
    EXPECT_NEAR(cb.p1 - g.code(fl1), corr1 / 1000.0, 1e-8);
    EXPECT_NEAR(cb.xl1 - g.phase_m(fl1), corr1 / 1000.0, 1e-7);
    EXPECT_NEAR(cb.p2 - g.code(fl2), corr2 / 1000.0, 1e-8);
    EXPECT_NEAR(cb.xl2 - g.phase_m(fl2), corr2 / 1000.0, 1e-7);
    // ... and so to the ionosphere-free range with the ionosphere-free weights.
    const double d = fl1 * fl1 - fl2 * fl2;
    EXPECT_NEAR(cb.pc - g.rho, (fl1 * fl1 * corr1 - fl2 * fl2 * corr2) / d / 1000.0, 1e-6);

    // A low-orbit rover gets no antenna correction and no offset.
    const Combinations leo = run(4, dual(g), true, 0.0, eele0, enu);
    EXPECT_EQ(leo.phase_center_corr(1), 0.0);
    EXPECT_EQ(leo.pco_enu(3, 1), 0.0);
    EXPECT_EQ(leo.p1, g.code(fl1));
}

TEST_F(Combination, LowOrbitRoverReduction) {
    sta_.ant_delta_hen(2, 1) = 0.25; // ignored for a low-orbit rover
    const Signal g{7000000.0, 3.0e18};
    const Combinations plain = run(4, dual(g));
    const Combinations leo = run(4, dual(g), true, 0.35);
    EXPECT_NEAR(leo.pc, g.rho - 0.35, 1e-6);
    EXPECT_NEAR(leo.xlc, g.rho - 0.35, 1e-6);
    // Only the ionosphere-free values move.
    EXPECT_EQ(leo.p1, g.code(fl1));
    EXPECT_EQ(leo.pi1, g.code(fl2) - g.code(fl1));
    EXPECT_NEAR(leo.pw, plain.pw - 0.25, 1e-6); // the plain run had the 0.25 m antenna height
    // Not applied to three-frequency data.
    ObservableSelection sel = dual(g);
    sel.f3ef = fl5;
    sel.pseudorange3 = g.code(fl5);
    sel.carrier3 = g.cycles(fl5);
    const Combinations six = run(6, sel, true, 0.35);
    EXPECT_NEAR(six.pc, g.rho, 1e-6);
}

} // namespace
} // namespace quelmar::chain
