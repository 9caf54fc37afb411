// The cycle-slip laws and the combinations of observables of one observation.
//
// The laws turn the slip indicators of the OB1 message and elevation-dependent thresholds into the
// slip flags and the arc number used downstream. The combinations turn the selected pseudoranges and
// carrier phases (corrected for the receiver antenna) into range-like values in metres: single
// frequency, ionosphere-free, geometry-free, wide/narrow-lane, extra-wide-lane, and for three
// frequencies the second-order ionospheric term.
#pragma once

#include <cstdint>

#include "frame/limits.hpp"
#include "models/vectors.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
class Log;
class TextSink;
struct Config;
struct RunState;
} // namespace quelmar::frame

namespace quelmar::messages {
struct Observation;
struct StationTables;
} // namespace quelmar::messages

namespace quelmar::auxfiles {
class PcvTable;
}

namespace quelmar::chain {

struct ObservableSelection;

// Outcome of the cycle-slip laws.
struct SlipLaws {
    double d2li_max = 99.99, dbw_max = 99.99; // thresholds (m); 99.99 when the laws are off
    bool cycleslip2_d2li = false, cycleslip2_dbw = false, cycleslip2 = false;
    std::int32_t narch2 = 0; // arc number used downstream
};

// The cycle-slip laws for the observation `ob` of the pair (irec, iprn) at ellipsoidal elevation
// eele0 (deg).
//   - Without cfg.new_cycle_slip_checking the message's flags pass through, both thresholds are 99.99
//     and narch2 = st.narch(irec, iprn).
//   - With it, d2li_max = d2li_max_0 + dtsec_ob1 * (amp * exp(-eele0/scale) + ct) and
//     dbw_max = amp * exp(-eele0/scale) + ct; |d2li| > d2li_max and |dbw| > dbw_max (strictly) are
//     slips, each logged with a two-line warning; any slip (the message's own flag included) adds 1
//     to st.idnarch(irec, iprn), and narch2 = narch + idnarch. With cfg.trace2 the thresholds are
//     traced on `out`.
// narch and the message's flags are never changed. A pair outside the tables gives narch2 = 0 and
// counts nothing.
void cycle_slip_laws(const frame::Config& cfg, const messages::Observation& ob, std::int32_t irec,
                     std::int32_t iprn, double eele0, frame::RunState& st, SlipLaws& r, frame::Log& log,
                     frame::TextSink& out);

// The combinations of one observation, metres unless stated.
struct Combinations {
    double p1 = 0, p2 = 0, p3 = 0;       // codes
    double xl1 = 0, xl2 = 0, xl3 = 0;    // carriers
    double pc = 0, xlc = 0;              // ionosphere-free
    double pi1 = 0, xli = 0;             // geometry-free: p2 - p1 and xl1 - xl2
    double pw = 0, xlw = 0;              // narrow-lane code, wide-lane carrier (frequencies 1, 2)
    double pew = 0, xlew = 0;            // the same on frequencies 2, 3
    double xi2_p = -99.0, xi2_l = -99.0; // second-order ionospheric term; -99 without three frequencies
    Array2<double, 3, 2> pco_enu;        // receiver antenna offset east, north, up (mm), frequencies 1, 2
    Array1<double, maxfre> phase_center_corr; // receiver antenna correction per frequency (mm)
    std::int32_t ierrgco = 0;                 // always 0

    Combinations() {
        pco_enu.fill(0.0);
        phase_center_corr.fill(0.0);
    }
};

// Forms the combinations from the selection of the validity check. The receiver antenna correction
// (offset of iant_(irec) from `pcv`, eccentricity ant_delta_hen of `sta`, elevation-dependent
// variation at eele0, projected on dctx_enunorm) is added to the code and carrier of frequencies 1
// and 2 of dual-frequency data of a receiver that is not a low-orbit rover; a low-orbit rover has its
// ionosphere-free values reduced by xleo_cm2pc_to_add_to_mrange (m) instead. c is the speed of light
// (m/s) that turns cycles into metres.
void combination_of_observables_v4(std::int32_t nobs, const ObservableSelection& sel, double eele0,
                                   const models::Vec3& dctx_enunorm, std::int32_t irec,
                                   const messages::StationTables& sta, const auxfiles::PcvTable& pcv,
                                   bool rover_sp3_leo, double xleo_cm2pc_to_add_to_mrange, double c,
                                   Combinations& comb);

} // namespace quelmar::chain
