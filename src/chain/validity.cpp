#include "chain/validity.hpp"

#include <cmath>

#include "frame/constants.hpp"
#include "frame/log.hpp"
#include "messages/observation.hpp"
#include "messages/station.hpp"

namespace quelmar::chain {

namespace {

// Smallest pseudorange taken as a measured value; below it the receiver delivered an empty field.
constexpr double min_pseudorange = 0.01;
// Largest plausible code geometry-free difference (m): beyond it one of the two codes is corrupt.
constexpr double max_code_pi = 1000.0;

// True when irec appears among the first nrec entries of an exclusion list (scanned from its start).
bool listed(const messages::SlotList& ireclst, std::int32_t nrec, std::int32_t irec) {
    const std::int32_t n = nrec < 0 ? 0 : (nrec > maxrec ? maxrec : nrec);
    for (std::int32_t i = 1; i <= n; ++i)
        if (ireclst(i) == irec) return true;
    return false;
}

// The value at a record position; a position outside the value table reads as 0, so that a damaged
// band table can never address memory beyond it.
double value_at(const Array1<double, max_type_obs>& xdata_, std::int32_t i) {
    return i >= 1 && i <= max_type_obs ? xdata_(i) : 0.0;
}

// An empty pseudorange field: logs the warning `text` and the value after `label`, and refuses the
// observation. Returns true when the value is empty.
bool zero_pseudorange(double value, const char* text, const char* label, ObservableSelection& sel,
                      frame::Log& log) {
    if (std::fabs(value) >= min_pseudorange) return false;
    sel.is_obs_useful = false;
    log.list(text);
    log.list(label, value);
    return true;
}

} // namespace

void check_obs_v3(std::int32_t nobs, std::string_view ksat, const Array1<double, max_type_obs>& xdata_,
                  const messages::ObservationState& obs, std::int32_t irec, std::int32_t nrec,
                  const messages::StationTables& sta, const frame::Constants& k, ObservableSelection& sel,
                  frame::Log& log) {
    sel = ObservableSelection{};

    if (nobs != 4 && nobs != 6) {
        sel.is_obs_useful = false;
        log.list("WARNING: nobs!=4 (no-GPS) & nobs!=6 (no-GAL) obs exc.");
        return;
    }
    if (ksat != "G" && ksat != " " && ksat != "E") {
        sel.is_obs_useful = false;
        log.list("WARNING: non-GPS nor Galileo observation excluded");
        return;
    }

    // Band tables of the receiver; a slot outside the tables has none.
    const bool slot = irec >= 1 && irec <= maxrec;
    auto code_p = [&](int band) { return slot ? obs.icode_p_(band, irec) : 0; };
    auto code_c = [&](int band) { return slot ? obs.icode_c_(band, irec) : 0; };
    auto carrier = [&](int band) { return slot ? obs.icarrier_l_(band, irec) : 0; };

    // First frequency: the precise code when the receiver has it, else the other code.
    if (code_p(1) != 0) {
        sel.ico1 = code_p(1);
    } else {
        sel.ico1 = code_c(1);
        sel.use_p_instead_of_c_code = false;
        if (sel.ico1 == 0) {
            log.list("WARNING: No pseudorange available at L1");
            sel.is_obs_useful = false;
        }
    }
    sel.ica_l1 = carrier(1);
    if (sel.ica_l1 == 0) {
        log.list("WARNING: No carrier phase available at L1");
        sel.is_obs_useful = false;
    }

    // Second and third frequency. At L2 only the precise code is accepted.
    if (nobs == 4) {
        if (code_p(2) == 0 || carrier(2) == 0) {
            log.list("WARNING: No pseudorange/phase available at L2");
            sel.is_obs_useful = false;
        } else {
            sel.ico2 = code_p(2);
            sel.ica_l2 = carrier(2);
            sel.obs_label = "GPS";
        }
    } else if (code_c(7) != 0 && code_c(5) != 0 && carrier(7) != 0 && carrier(5) != 0) {
        // Complete E5b and E5a data: the Galileo set, whatever the constellation letter says.
        sel.ico7 = code_c(7);
        sel.ico5 = code_c(5);
        sel.ica_l7 = carrier(7);
        sel.ica_l5 = carrier(5);
        sel.obs_label = "galileo";
    } else if (code_p(2) != 0 && code_c(5) != 0 && carrier(2) != 0 && carrier(5) != 0) {
        sel.ico2 = code_p(2);
        sel.ico5 = code_c(5);
        sel.ica_l2 = carrier(2);
        sel.ica_l5 = carrier(5);
        sel.obs_label = "next_gps";
    } else {
        log.list("WARNING: nobs = 6 and NO L1, L5 && (L7 or L2) data");
        log.list(" Observation declared not useful");
        sel.is_obs_useful = false;
    }

    if (sel.is_obs_useful) {
        sel.pseudorange1 = value_at(xdata_, sel.ico1);
        sel.carrier1 = value_at(xdata_, sel.ica_l1);
        sel.f1ef = k.f1;
        if (nobs == 4) {
            sel.pseudorange2 = value_at(xdata_, sel.ico2);
            sel.carrier2 = value_at(xdata_, sel.ica_l2);
            sel.f2ef = k.f2;
            sel.pseudorange3 = 0.0;
            sel.carrier3 = 0.0;
            sel.f3ef = -99.0;
            sel.alpha13 = sel.alpha23 = sel.beta13 = sel.beta23 = -99.0;
        } else {
            if (sel.obs_label == "galileo") {
                sel.pseudorange2 = value_at(xdata_, sel.ico7);
                sel.carrier2 = value_at(xdata_, sel.ica_l7);
                sel.f2ef = k.f7;
            } else {
                sel.pseudorange2 = value_at(xdata_, sel.ico2);
                sel.carrier2 = value_at(xdata_, sel.ica_l2);
                sel.f2ef = k.f2;
            }
            sel.pseudorange3 = value_at(xdata_, sel.ico5);
            sel.carrier3 = value_at(xdata_, sel.ica_l5);
            sel.f3ef = k.f5;
            // Factors of the first- and second-order ionospheric terms (1/f^2, 1/f^3) against the third
            // frequency, from which the combinations separate the second-order term.
            const double f1 = sel.f1ef, f2 = sel.f2ef, f3 = sel.f3ef;
            sel.alpha13 = 1.0 / (f1 * f1) - 1.0 / (f3 * f3);
            sel.alpha23 = 1.0 / (f2 * f2) - 1.0 / (f3 * f3);
            sel.beta13 = 1.0 / (f1 * f1 * f1) - 1.0 / (f3 * f3 * f3);
            sel.beta23 = 1.0 / (f2 * f2 * f2) - 1.0 / (f3 * f3 * f3);
        }

        // Plausibility: empty code fields and codes too far apart end the check at once.
        if (zero_pseudorange(sel.pseudorange1, " Zero value of pseudorange1. Obs. to be skipped",
                             "               pseudorange1=", sel, log))
            return;
        if (zero_pseudorange(sel.pseudorange2, " Zero value of pseudorange2. Obs. to be skipped",
                             "               pseudorange2=", sel, log))
            return;
        if (nobs == 6 && zero_pseudorange(sel.pseudorange3, " Zero value of pseudorange3. Obs. to be skipped",
                                          "               pseudorange3=", sel, log))
            return;
        const double pi_code = sel.pseudorange2 - sel.pseudorange1;
        if (std::fabs(pi_code) > max_code_pi) {
            sel.is_obs_useful = false;
            log.list(" Unrealistic high value of PI: Obs. to be skipped");
            log.list("               pseudorange1=", sel.pseudorange1);
            log.list("               pseudorange2=", sel.pseudorange2);
            log.list("               PI          =", pi_code);
            return;
        }
    }

    sel.to_update_geodetic_filter = !listed(sta.ireclst_exg, nrec, irec);
    sel.to_update_iono_filter = !listed(sta.ireclst_exi, nrec, irec);
}

} // namespace quelmar::chain
