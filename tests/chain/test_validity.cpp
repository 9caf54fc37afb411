// The validity check: which observables become the pseudoranges and carriers of the two or three
// frequencies, the warnings that refuse an observation, and the filter membership of the receiver.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chain/validity.hpp"
#include "frame/constants.hpp"
#include "messages/observation.hpp"
#include "messages/station.hpp"
#include "support/test_support.hpp"

namespace quelmar::chain {
namespace {

using testing_support::CapturedLog;

constexpr double f0 = 10.23e6;

frame::Constants carriers() {
    frame::Constants k;
    k.f1 = 154 * f0;
    k.f2 = 120 * f0;
    k.f5 = 115 * f0;
    k.f7 = 118 * f0;
    return k;
}

// A record: observable codes in record order ("P1", "C1", "L1", ...) and their values.
struct Record {
    std::vector<std::string> codes;
    std::vector<double> values;
};

// Band tables of receiver irec as the OB1 reader leaves them for these codes, and the values.
void load(const Record& r, std::int32_t irec, messages::ObservationState& obs,
          Array1<double, max_type_obs>& x) {
    x.fill(0.0);
    for (int band = 1; band <= maxfre; ++band) {
        obs.icode_p_(band, irec) = 0;
        obs.icode_c_(band, irec) = 0;
        obs.icarrier_l_(band, irec) = 0;
    }
    for (std::size_t i = 0; i < r.codes.size(); ++i) {
        const int pos = static_cast<int>(i) + 1;
        const int band = r.codes[i][1] - '0';
        switch (r.codes[i][0]) {
        case 'P':
            obs.icode_p_(band, irec) = pos;
            break;
        case 'C':
            obs.icode_c_(band, irec) = pos;
            break;
        case 'L':
            obs.icarrier_l_(band, irec) = pos;
            break;
        }
        x(pos) = r.values[i];
    }
}

struct Case {
    const char* name;
    std::int32_t nobs;
    const char* ksat;
    Record rec;
    bool useful;
    bool use_p;
    const char* label;
    std::vector<double> pr;       // expected pseudorange1..3 (only checked when useful)
    std::vector<double> cr;       // expected carrier1..3
    std::vector<std::string> log; // expected log lines, exactly
};

class ValidityCheck : public ::testing::Test {
  protected:
    ObservableSelection run(const Case& c, std::int32_t irec = 1, std::int32_t nrec = 1) {
        load(c.rec, irec, obs_, x_);
        ObservableSelection sel;
        sel.pseudorange1 = 777.0; // a previous call's values must not survive
        sel.obs_label = "junk";
        check_obs_v3(c.nobs, c.ksat, x_, obs_, irec, nrec, sta_, k_, sel, cap_.log);
        return sel;
    }
    messages::ObservationState obs_;
    messages::StationTables sta_;
    frame::Constants k_ = carriers();
    Array1<double, max_type_obs> x_;
    CapturedLog cap_;
};

const Record gps_p{{"P1", "L1", "L2", "P2"}, {21000001.5, 110000.25, 86000.5, 21000004.0}};

TEST_F(ValidityCheck, SelectionRules) {
    const Record c1{{"C1", "L1", "L2", "P2"}, {21000002.0, 1.0, 2.0, 21000003.0}};
    const Record c1p1{{"C1", "P1", "L1", "L2", "P2"}, {21000002.0, 21000001.0, 1.0, 2.0, 21000003.0}};
    const Record gal{{"C1", "L1", "C7", "L7", "C5", "L5"},
                     {23000001.0, 11.0, 23000002.0, 12.0, 23000003.0, 13.0}};
    const Record ngps{{"L5", "C5", "P2", "L2", "L1", "P1"},
                      {13.0, 21000003.0, 21000002.0, 12.0, 11.0, 21000001.0}};
    const std::string l1_code = " WARNING: No pseudorange available at L1";
    const std::string l1_phase = " WARNING: No carrier phase available at L1";
    const std::string l2 = " WARNING: No pseudorange/phase available at L2";
    const std::vector<std::string> no_set = {" WARNING: nobs = 6 and NO L1, L5 && (L7 or L2) data",
                                             "  Observation declared not useful"};
    const std::string letter = " WARNING: non-GPS nor Galileo observation excluded";
    const std::vector<double> gps_pr = {21000001.5, 21000004.0, 0}, gps_cr = {110000.25, 86000.5, 0};
    // clang-format off
    const std::vector<Case> cases = {
        {"gps P1", 4, "G", gps_p, true, true, "GPS", gps_pr, gps_cr, {}},
        {"blank letter", 4, " ", gps_p, true, true, "GPS", gps_pr, gps_cr, {}},
        {"only C1 at L1", 4, "G", c1, true, false, "GPS", {21000002.0, 21000003.0, 0}, {1.0, 2.0, 0}, {}},
        {"P1 wins over C1", 4, "G", c1p1, true, true, "GPS", {21000001.0, 21000003.0, 0}, {1.0, 2.0, 0}, {}},
        {"no precise code at L2: the other code is never taken there", 4, "G",
         {{"C1", "L1", "L2", "C2"}, {21000002.0, 1.0, 2.0, 21000003.0}},
         false, false, "________", {}, {}, {l2}},
        {"no L2 carrier", 4, "G", {{"P1", "L1", "P2", "C5"}, {21000002.0, 1.0, 21000003.0, 5.0}},
         false, true, "________", {}, {}, {l2}},
        {"no code at L1", 4, "G", {{"L1", "L2", "P2", "C5"}, {1.0, 2.0, 21000003.0, 5.0}},
         false, false, "GPS", {}, {}, {l1_code}},
        {"no carrier at L1", 4, "G", {{"P1", "C1", "L2", "P2"}, {1.0, 2.0, 3.0, 4.0}},
         false, true, "GPS", {}, {}, {l1_phase}},
        {"nothing at L1 nor L2: every warning in order", 4, "G",
         {{"C2", "C5", "L5", "L7"}, {1.0, 2.0, 3.0, 4.0}},
         false, false, "________", {}, {}, {l1_code, l1_phase, l2}},
        {"galileo", 6, "E", gal, true, false, "galileo",
         {23000001.0, 23000002.0, 23000003.0}, {11.0, 12.0, 13.0}, {}},
        {"galileo set wins even for G", 6, "G", gal, true, false, "galileo",
         {23000001.0, 23000002.0, 23000003.0}, {11.0, 12.0, 13.0}, {}},
        {"next gps", 6, "G", ngps, true, true, "next_gps",
         {21000001.0, 21000002.0, 21000003.0}, {11.0, 12.0, 13.0}, {}},
        {"six observables without a third-frequency set", 6, "G",
         {{"P1", "L1", "C2", "L2", "C5", "L5"}, {21000001.0, 11.0, 21000002.0, 12.0, 21000003.0, 13.0}},
         false, true, "________", {}, {}, no_set},
        {"E5b code missing, no L2 either", 6, "E",
         {{"C1", "L1", "P7", "L7", "C5", "L5"}, {23000001.0, 11.0, 23000002.0, 12.0, 23000003.0, 13.0}},
         false, false, "________", {}, {}, no_set},
        {"five observables", 5, "G", gps_p, false, true, "________", {}, {},
         {" WARNING: nobs!=4 (no-GPS) & nobs!=6 (no-GAL) obs exc."}},
        {"GLONASS", 4, "R", gps_p, false, true, "________", {}, {}, {letter}},
        {"lower-case letter", 4, "g", gps_p, false, true, "________", {}, {}, {letter}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = cap_.lines().size();
        const ObservableSelection sel = run(c);
        const std::vector<std::string> all = cap_.lines();
        const std::vector<std::string> added(all.begin() + static_cast<long>(before), all.end());
        EXPECT_EQ(added, c.log);
        EXPECT_EQ(sel.is_obs_useful, c.useful);
        EXPECT_EQ(sel.use_p_instead_of_c_code, c.use_p);
        EXPECT_EQ(sel.ierrcho, 0);
        // The label is set by the choice of the set, whether or not another rule refused the observation.
        EXPECT_EQ(sel.obs_label, std::string(c.label));
        if (c.useful) {
            EXPECT_EQ(sel.pseudorange1, c.pr[0]);
            EXPECT_EQ(sel.pseudorange2, c.pr[1]);
            EXPECT_EQ(sel.pseudorange3, c.pr[2]);
            EXPECT_EQ(sel.carrier1, c.cr[0]);
            EXPECT_EQ(sel.carrier2, c.cr[1]);
            EXPECT_EQ(sel.carrier3, c.cr[2]);
            EXPECT_EQ(sel.f1ef, k_.f1);
        } else {
            // Values are taken only from a useful observation; the frequencies keep their unset value.
            EXPECT_EQ(sel.pseudorange1, 0.0);
            EXPECT_EQ(sel.carrier2, 0.0);
            EXPECT_EQ(sel.f1ef, -99.9);
            EXPECT_EQ(sel.f2ef, -99.9);
            EXPECT_EQ(sel.f3ef, -99.9);
        }
    }
}

TEST_F(ValidityCheck, FrequenciesAndFactorsOfEachSet) {
    // Dual frequency: L1/L2, no third slot, no factors.
    ObservableSelection sel = run({"", 4, "G", gps_p, true, true, "", {}, {}, {}});
    EXPECT_EQ(sel.f2ef, 120 * f0);
    EXPECT_EQ(sel.f3ef, -99.0);
    for (double a : {sel.alpha13, sel.alpha23, sel.beta13, sel.beta23}) EXPECT_EQ(a, -99.0);

    // Galileo: E1, E5b (band 7), E5a (band 5).
    const Record gal{{"C1", "L1", "C7", "L7", "C5", "L5"},
                     {23000001.0, 11.0, 23000002.0, 12.0, 23000003.0, 13.0}};
    sel = run({"", 6, "E", gal, true, false, "", {}, {}, {}});
    EXPECT_DOUBLE_EQ(sel.f1ef, 1575.42e6);
    EXPECT_DOUBLE_EQ(sel.f2ef, 1207.14e6);
    EXPECT_DOUBLE_EQ(sel.f3ef, 1176.45e6);
    // The factors are the differences of 1/f^2 and 1/f^3 against E5a: all negative (E5a is the lowest
    // carrier), the E5b ones much smaller because E5b and E5a are close.
    EXPECT_NEAR(sel.alpha13 / (1.0 / (1575.42e6 * 1575.42e6) - 1.0 / (1176.45e6 * 1176.45e6)), 1.0, 1e-14);
    EXPECT_NEAR(sel.beta23 /
                    (1.0 / (1207.14e6 * 1207.14e6 * 1207.14e6) - 1.0 / (1176.45e6 * 1176.45e6 * 1176.45e6)),
                1.0, 1e-12);
    EXPECT_LT(sel.alpha13, sel.alpha23);
    EXPECT_LT(sel.alpha23, 0.0);
    EXPECT_LT(sel.beta13, sel.beta23);
    EXPECT_LT(sel.beta23, 0.0);

    // Next GPS: L1, L2, L5.
    const Record ngps{{"P1", "L1", "P2", "L2", "C5", "L5"},
                      {21000001.0, 11.0, 21000002.0, 12.0, 21000003.0, 13.0}};
    sel = run({"", 6, "G", ngps, true, true, "", {}, {}, {}});
    EXPECT_EQ(sel.f2ef, 120 * f0);
    EXPECT_EQ(sel.f3ef, 115 * f0);
    EXPECT_EQ(sel.ico2, 3);
    EXPECT_EQ(sel.ico5, 5);
    EXPECT_EQ(sel.ica_l5, 6);
    EXPECT_EQ(sel.ico7, 0);
}

TEST_F(ValidityCheck, Plausibility) {
    struct P {
        const char* name;
        std::int32_t nobs;
        double pr1, pr2, pr3;
        bool useful;
        std::vector<std::string> log;
    };
    const std::string z1 = "  Zero value of pseudorange1. Obs. to be skipped";
    const std::string z2 = "  Zero value of pseudorange2. Obs. to be skipped";
    const std::string z3 = "  Zero value of pseudorange3. Obs. to be skipped";
    const std::string pi = "  Unrealistic high value of PI: Obs. to be skipped";
    const std::string v = "                "; // the indentation of the value lines
    // clang-format off
    const std::vector<P> cases = {
        {"ordinary", 4, 2.1e7, 2.1e7 + 3.0, 0, true, {}},
        {"0.01 exactly passes", 4, 0.01, 0.02, 0, true, {}},
        {"negative 0.01 passes", 4, -0.01, 0.02, 0, true, {}},
        {"zero pseudorange1", 4, 0.0, 5.0, 0, false, {z1, v + "pseudorange1= 0.0"}},
        {"tiny negative pseudorange1", 4, -0.005, 5.0, 0, false, {z1, v + "pseudorange1= -0.005"}},
        {"zero pseudorange2", 4, 5.0, 0.0, 0, false, {z2, v + "pseudorange2= 0.0"}},
        {"both zero: only the first is told", 4, 0.0, 0.0, 0, false, {z1, v + "pseudorange1= 0.0"}},
        {"zero pseudorange3", 6, 5.0, 6.0, 0.0, false, {z3, v + "pseudorange3= 0.0"}},
        {"three frequencies", 6, 5.0, 6.0, 7.0, true, {}},
        {"PI of exactly 1000 m passes", 4, 2.0e7, 2.0e7 + 1000.0, 0, true, {}},
        {"PI of exactly -1000 m passes", 4, 2.0e7 + 1000.0, 2.0e7, 0, true, {}},
        {"PI above 1000 m", 4, 1234.5, 2235.0, 0, false,
         {pi, v + "pseudorange1= 1234.5", v + "pseudorange2= 2235.0", v + "PI          = 1000.5"}},
        {"PI below -1000 m", 4, 2235.0, 1234.5, 0, false,
         {pi, v + "pseudorange1= 2235.0", v + "pseudorange2= 1234.5", v + "PI          = -1000.5"}},
    };
    // clang-format on
    for (const P& p : cases) {
        SCOPED_TRACE(p.name);
        Record r = p.nobs == 4
                       ? Record{{"P1", "L1", "P2", "L2"}, {p.pr1, 1.0, p.pr2, 2.0}}
                       : Record{{"P1", "L1", "P2", "L2", "C5", "L5"}, {p.pr1, 1.0, p.pr2, 2.0, p.pr3, 3.0}};
        // The receiver is in both exclusion lists: a plausibility failure returns before the
        // membership is decided, so the flags keep their reset value.
        sta_.ireclst_exg(1) = 1;
        sta_.ireclst_exi(1) = 1;
        const std::size_t before = cap_.lines().size();
        const ObservableSelection sel = run({"", p.nobs, "G", r, true, true, "", {}, {}, {}});
        const std::vector<std::string> all = cap_.lines();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()), p.log);
        EXPECT_EQ(sel.is_obs_useful, p.useful);
        EXPECT_EQ(sel.to_update_geodetic_filter, !p.useful);
        EXPECT_EQ(sel.to_update_iono_filter, !p.useful);
        EXPECT_EQ(sel.pseudorange1, p.pr1); // the values stay as selected
    }
}

TEST_F(ValidityCheck, ExclusionLists) {
    struct X {
        const char* name;
        std::int32_t irec, nrec;
        std::vector<std::int32_t> exg, exi; // entries 1.. of the lists
        bool geodetic, iono;
    };
    const std::vector<X> cases = {
        {"no lists", 2, 3, {}, {}, true, true},
        {"geodetic only", 2, 3, {3, 2}, {1}, false, true},
        {"ionospheric only", 2, 3, {1}, {2}, true, false},
        {"both lists", 2, 3, {2}, {3, 1, 2}, false, false},
        {"beyond the registry's count the lists are not scanned",
         2,
         3,
         {1, 3, 4, 2},
         {0, 0, 0, 0, 0, 2},
         true,
         true},
        {"last scanned entry", 4, 4, {1, 2, 3, 4}, {}, false, true},
        {"negative count scans nothing", 1, -5, {1}, {1}, true, true},
        {"count above the table", 6, 99, {0, 0, 0, 0, 0, 6}, {}, false, true},
    };
    for (const X& c : cases) {
        SCOPED_TRACE(c.name);
        sta_.ireclst_exg.fill(0);
        sta_.ireclst_exi.fill(0);
        for (std::size_t i = 0; i < c.exg.size(); ++i) sta_.ireclst_exg(static_cast<int>(i) + 1) = c.exg[i];
        for (std::size_t i = 0; i < c.exi.size(); ++i) sta_.ireclst_exi(static_cast<int>(i) + 1) = c.exi[i];
        ObservableSelection sel = run({"", 4, "G", gps_p, true, true, "", {}, {}, {}}, c.irec, c.nrec);
        EXPECT_TRUE(sel.is_obs_useful);
        EXPECT_EQ(sel.to_update_geodetic_filter, c.geodetic);
        EXPECT_EQ(sel.to_update_iono_filter, c.iono);
        // A refused selection reaches the membership too.
        const Record no_l2{{"P1", "L1", "C2", "L2"}, {2.1e7, 1.0, 2.1e7, 2.0}};
        sel = run({"", 4, "G", no_l2, false, true, "", {}, {}, {}}, c.irec, c.nrec);
        EXPECT_FALSE(sel.is_obs_useful);
        EXPECT_EQ(sel.to_update_geodetic_filter, c.geodetic);
        EXPECT_EQ(sel.to_update_iono_filter, c.iono);
    }
}

TEST_F(ValidityCheck, ReceiverSlotOutsideTheTables) {
    for (std::int32_t irec : {0, -3, maxrec + 1}) {
        Array1<double, max_type_obs> x;
        x.fill(1.0e7);
        ObservableSelection sel;
        const std::size_t before = cap_.lines().size();
        check_obs_v3(4, "G", x, obs_, irec, 1, sta_, k_, sel, cap_.log);
        EXPECT_FALSE(sel.is_obs_useful) << irec;
        EXPECT_EQ(cap_.lines().size() - before, 3U) << irec;
    }
}

} // namespace
} // namespace quelmar::chain
