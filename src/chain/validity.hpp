// The validity check of one OB1 observation: is it usable, and which of its observables are the
// pseudoranges and carrier phases of the two (GPS L1/L2) or three (GPS L1/L2/L5, Galileo E1/E5b/E5a)
// frequencies that the combinations work on. It also tells whether the receiver takes part in the
// geodetic and in the ionospheric filter (the EXG and EXI exclusion lists).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/limits.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
class Log;
struct Constants;
} // namespace quelmar::frame

namespace quelmar::messages {
struct ObservationState;
struct StationTables;
} // namespace quelmar::messages

namespace quelmar::chain {

// What the check selects. Every call starts from these values.
struct ObservableSelection {
    bool is_obs_useful = true;
    bool use_p_instead_of_c_code = true; // false when the L1 pseudorange comes from the other code
    // Positions (1..nobs) in the record of the pseudoranges and carrier phases used; 0 when unused.
    std::int32_t ico1 = 0, ico2 = 0, ico7 = 0, ico5 = 0;
    std::int32_t ica_l1 = 0, ica_l2 = 0, ica_l7 = 0, ica_l5 = 0;
    // Values of the first, second and third frequency: metres and cycles.
    double pseudorange1 = 0, pseudorange2 = 0, pseudorange3 = 0;
    double carrier1 = 0, carrier2 = 0, carrier3 = 0;
    double f1ef = -99.9, f2ef = -99.9, f3ef = -99.9; // frequencies of the three slots, Hz
    bool to_update_geodetic_filter = true;           // receiver not in the EXG list
    bool to_update_iono_filter = true;               // receiver not in the EXI list
    // Ionospheric combination factors of three-frequency data (1/f^2 and 1/f^3 differences against
    // the third frequency); -99.0 for dual-frequency data.
    double alpha13 = -99.0, alpha23 = -99.0, beta13 = -99.0, beta23 = -99.0;
    std::int32_t ierrcho = 0;           // always 0: unusable data is told by is_obs_useful
    std::string obs_label = "________"; // "GPS", "galileo" or "next_gps" once a set is chosen
};

// Checks the observation with nobs observables xdata_(1..nobs) of constellation ksat ("G", " " or
// "E") received by irec, using the receiver's band tables icode_p_, icode_c_, icarrier_l_ of `obs`,
// the exclusion lists ireclst_exg / ireclst_exi (first nrec entries) of `sta` and the carrier
// frequencies f1, f2, f5, f7 of `k`. Every reason to refuse the observation is a warning in the log
// (one line each) and is_obs_useful = false; the check never stops the run. A receiver slot outside
// 1..maxrec has no band tables: its observation is refused as having no pseudorange or phase.
void check_obs_v3(std::int32_t nobs, std::string_view ksat, const Array1<double, max_type_obs>& xdata_,
                  const messages::ObservationState& obs, std::int32_t irec, std::int32_t nrec,
                  const messages::StationTables& sta, const frame::Constants& k, ObservableSelection& sel,
                  frame::Log& log);

} // namespace quelmar::chain
