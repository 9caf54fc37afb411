// The combinations of observables on synthetic signals built from a known range, first- and second-
// order ionospheric terms and carrier ambiguities: each combination must remove what it is meant to
// remove and keep what it is meant to keep. The signals go through the validity check first, so the
// selection and the three-frequency factors are those the chain forms. Then the cycle-slip laws against
// thresholds worked by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "auxfiles/pcv.hpp"
#include "chain/combinations.hpp"
#include "chain/validity.hpp"
#include "frame/config.hpp"
#include "frame/constants.hpp"
#include "frame/state.hpp"
#include "messages/observation.hpp"
#include "messages/station.hpp"
#include "support/support.hpp"

using namespace quelmar;
using namespace quelmar::chain;

namespace {

constexpr double c = 299792458.0, f0 = 10.23e6;

// Code (m) and carrier (cycles) on frequency f: range rho, first-order term q/f^2 (delay on the code,
// advance on the carrier), second-order term s/f^3 on the code and -s/(2 f^3) on the carrier, and an
// integer ambiguity n.
struct Sky {
    double rho = 21456789.123, q = 2.0e19, s = 0;
    double code(double f) const { return rho + q / (f * f) + s / (f * f * f); }
    double carrier(double f, int n) const { return (rho - q / (f * f) - s / (2 * f * f * f)) * f / c + n; }
};

struct Combined {
    ObservableSelection sel;
    Combinations comb;
};

// One observation of receiver 1 with the observables `codes` (record order) through the check and the
// combinations.
Combined combine(const char* ksat, const std::vector<std::string>& codes, const std::vector<double>& x) {
    frame::Constants k;
    k.f1 = 154 * f0, k.f2 = 120 * f0, k.f5 = 115 * f0, k.f7 = 118 * f0;
    messages::ObservationState obs;
    messages::StationTables sta;
    Array1<double, max_type_obs> xdata;
    xdata.fill(0);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const int pos = static_cast<int>(i) + 1, band = codes[i][1] - '0';
        (codes[i][0] == 'P' ? obs.icode_p_ : codes[i][0] == 'C' ? obs.icode_c_ : obs.icarrier_l_)(band, 1) = pos;
        xdata(pos) = x[i];
    }
    Combined r;
    frame::Log log;
    const auto nobs = static_cast<std::int32_t>(codes.size());
    check_obs_v3(nobs, ksat, xdata, obs, 1, 1, sta, k, r.sel, log);
    EXPECT_TRUE(r.sel.is_obs_useful);
    auxfiles::PcvTable pcv;
    combination_of_observables_v4(nobs, r.sel, 45.0, {0, 0, 1}, 1, sta, pcv, false, 0.0, c, r.comb);
    return r;
}

} // namespace

TEST(Combinations, DualFrequencyRemoveAndKeepWhatTheyShould) {
    const double f1 = 154 * f0, f2 = 120 * f0, i1 = 2.0e19 / (f1 * f1);
    const Sky sky;
    const Combined r = combine("G", {"P1", "L1", "P2", "L2"},
                               {sky.code(f1), sky.carrier(f1, 5), sky.code(f2), sky.carrier(f2, -3)});
    const Combinations& k = r.comb;
    EXPECT_NEAR(k.pc, sky.rho, 1e-6);                                    // ionosphere-free
    EXPECT_NEAR(k.xlc - k.pc, c * (5 * f1 + 3 * f2) / (f1 * f1 - f2 * f2), 1e-6); // ... up to its ambiguity
    EXPECT_NEAR(k.pi1, i1 * (f1 * f1 / (f2 * f2) - 1), 1e-6);            // geometry-free: the ionosphere
    EXPECT_NEAR(k.xli, k.pi1 + 5 * c / f1 + 3 * c / f2, 1e-6);  // the same, plus the ambiguities
    EXPECT_NEAR(k.pw, sky.rho + i1 * f1 / f2, 1e-6);                     // narrow-lane code ...
    EXPECT_NEAR(k.xlw - k.pw, 8 * c / (f1 - f2), 1e-6);                  // ... minus wide-lane: 8 wide lanes
    EXPECT_EQ(k.xi2_p, -99.0);
}

// E1, E5b, E5a: the extra-wide lane on the second and third carriers; and the second-order term, which
// is the part of the ionosphere-free combination that is not range (carriers without ambiguities, as
// the term is formed from geometry-free differences that keep them).
TEST(Combinations, ThreeFrequencies) {
    const double f1 = 1575.42e6, f2 = 1207.14e6, f3 = 1176.45e6;
    for (const double s : {0.0, 7.8e25}) { // 7.8e25 m Hz^3: 2 cm on E1
        Sky sky;
        sky.s = s;
        const int n2 = s == 0 ? 4 : 0, n3 = s == 0 ? -2 : 0;
        const Combined r = combine("E", {"C1", "L1", "C7", "L7", "C5", "L5"},
                                   {sky.code(f1), sky.carrier(f1, 0), sky.code(f2), sky.carrier(f2, n2), sky.code(f3),
                                    sky.carrier(f3, n3)});
        const Combinations& k = r.comb;
        EXPECT_EQ(r.sel.obs_label, "galileo");
        EXPECT_NEAR(k.xi2_p, k.pc - sky.rho, 1e-6) << s;
        if (s == 0) {
            EXPECT_NEAR(k.pc, sky.rho, 1e-6);
            EXPECT_NEAR(k.xlew - k.pew, 6 * c / (f2 - f3), 1e-6);
        } else {
            EXPECT_NEAR(k.xi2_l, k.xlc - sky.rho, 1e-6);
            EXPECT_GT(std::fabs(k.xi2_p), 5e-3);
        }
    }
}

// Which observables become the two frequencies, what refuses an observation (one warning each) and
// the exclusion lists that keep a receiver out of the geodetic or the ionospheric filter.
TEST(Validity, SelectionRefusalsAndExclusionLists) {
    struct Case {
        const char* ksat;
        std::vector<std::string> codes;
        bool useful;
        std::string log;
    } cases[] = {
        {"G", {"C1", "L1", "P2", "L2"}, true, ""},
        {"G", {"P1", "L1", "C2", "L2"}, false, " WARNING: No pseudorange/phase available at L2\n"},
        {"G", {"P1", "C1", "P2", "L2"}, false, " WARNING: No carrier phase available at L1\n"},
        {"R", {"P1", "L1", "P2", "L2"}, false, " WARNING: non-GPS nor Galileo observation excluded\n"},
        {"G", {"P1", "L1", "P2", "L2", "C5"}, false, " WARNING: nobs!=4 (no-GPS) & nobs!=6 (no-GAL) obs exc.\n"},
    };
    frame::Constants k;
    k.f1 = 154 * f0, k.f2 = 120 * f0;
    for (const Case& cs : cases) {
        messages::ObservationState obs;
        messages::StationTables sta;
        sta.ireclst_exg(1) = 4; // receiver 2 is in neither list, 3 in the ionospheric, 4 in the geodetic
        sta.ireclst_exi(2) = 3;
        Array1<double, max_type_obs> x;
        x.fill(2.1e7);
        for (std::int32_t irec = 2; irec <= 4; ++irec) {
            for (std::size_t i = 0; i < cs.codes.size(); ++i) {
                const int pos = static_cast<int>(i) + 1, band = cs.codes[i][1] - '0';
                (cs.codes[i][0] == 'P' ? obs.icode_p_ : cs.codes[i][0] == 'C' ? obs.icode_c_ : obs.icarrier_l_)(
                    band, irec) = pos;
            }
            quelmar::test::CapturedLog cap;
            ObservableSelection sel;
            check_obs_v3(static_cast<std::int32_t>(cs.codes.size()), cs.ksat, x, obs, irec, 4, sta, k, sel, cap.log);
            EXPECT_EQ(sel.is_obs_useful, cs.useful) << cs.codes[1] << irec;
            EXPECT_EQ(cap.text(), cs.log);
            if (cs.useful) {
                EXPECT_FALSE(sel.use_p_instead_of_c_code);
                EXPECT_EQ(sel.to_update_geodetic_filter, irec != 4) << irec;
                EXPECT_EQ(sel.to_update_iono_filter, irec != 3) << irec;
            }
        }
    }
}

// Thresholds at elevation 30 deg after a 30 s step, with d2li_max_0 0.125 m, amplitude 0.5 m/s, constant
// 0.25 m/s, scale 10 deg; and for the wide lane amplitude 0.75 m, constant 0.25 m, scale 15 deg:
//   d2li_max = 0.125 + 30 (0.5 exp(-3) + 0.25) = 0.125 + 30 * 0.2748935 = 8.371806 m,
//   dbw_max  = 0.75 exp(-2) + 0.25 = 0.351501 m.
// A jump above a threshold is a slip, and every slip opens a new arc: the arc number is the message's
// plus the slips found so far for the pair.
TEST(SlipLaws, ThresholdsWorkedByHandAndArcNumbers) {
    frame::Config cfg;
    cfg.new_cycle_slip_checking = true;
    cfg.d2li_max_0 = 0.125, cfg.d2li_max_exp_amp_m_per_sec = 0.5, cfg.d2li_max_exp_ct_m_per_sec = 0.25;
    cfg.d2li_max_exp_scale_deg = 10, cfg.dbw_max_exp_amp_m = 0.75, cfg.dbw_max_exp_ct_m = 0.25;
    cfg.dbw_max_exp_scale_deg = 15;
    messages::Observation ob;
    ob.dtsec_ob1 = 30;
    frame::RunState st;
    st.narch(2, 9) = 17;
    quelmar::test::CapturedLog cap;
    frame::TextSink out;
    struct Case {
        double d2li, dbw;
        bool message_slip, d2li_slip, dbw_slip;
        int narch2;
    } cases[] = {{8.37, -0.35, false, false, false, 17}, {-8.38, 0.0, false, true, false, 18},
                 {0.0, 0.352, false, false, true, 19},   {0.0, 0.0, true, false, false, 20},
                 {0.0, 0.0, false, false, false, 20}};
    for (const Case& cs : cases) {
        ob.d2li = cs.d2li, ob.dbw = cs.dbw, ob.cycleslip_ = cs.message_slip;
        SlipLaws r;
        cycle_slip_laws(cfg, ob, 2, 9, 30.0, st, r, cap.log, out);
        EXPECT_NEAR(r.d2li_max, 8.371806, 1e-6);
        EXPECT_NEAR(r.dbw_max, 0.351501, 1e-6);
        EXPECT_EQ(r.cycleslip2_d2li, cs.d2li_slip) << cs.d2li;
        EXPECT_EQ(r.cycleslip2_dbw, cs.dbw_slip) << cs.dbw;
        EXPECT_EQ(r.cycleslip2, cs.message_slip || cs.d2li_slip || cs.dbw_slip);
        EXPECT_EQ(r.narch2, cs.narch2);
    }
    EXPECT_EQ(st.narch(2, 9), 17);
}
