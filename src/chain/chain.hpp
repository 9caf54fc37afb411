// The observation processing chain: one OB1 observation from the validity check to the hand-over to
// the a priori model.
//
// The chain runs a fixed sequence of steps on the observation that the OB1 reader and the epoch
// control have just prepared (run.obs.ob):
//    1 start (working receiver position, observation count)   10 elevation mask (spherical elevation)
//    2 the pair is marked as observed                          11 UNDIF_DAT record (log)
//    3 validity check                                          12 low-orbit rover antenna offset
//    4 precise-orbit refresh near the end of the table         13 cycle-slip laws
//    5 completeness gate                                       14 OB2 record (standard output)
//    6 satellite clock reference                               15 combinations
//    7 transmit time                                           16 right ascensions
//    8 space vehicle behind the PRN                            17 a priori ionosphere, hand-over
//    9 satellite position, clock and ray geometry
// A step that refuses the observation writes its lines and ends the pass; the loop reads the next
// line. The refresh of step 4 and the transmit time of step 7 stop the run when they fail.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "chain/combinations.hpp"
#include "chain/validity.hpp"
#include "models/vectors.hpp"
#include "chain/satellite_step.hpp"
#include "textio/format.hpp"

#ifdef QUELMAR_STEP_PROFILE
#include <chrono>
#endif

namespace quelmar::frame {
struct Run;
}

namespace quelmar::chain {

using float128 = __float128;

// Number of steps of the chain, and the profile's last entry: the measurement model and records of an
// accepted observation (run after the chain by the driver).
constexpr int nchain_steps = 18;

// Names of the steps, as the step profile prints them (index 0 is step 1).
inline constexpr std::array<const char*, nchain_steps> chain_step_names = {
    "1 start",          "2 pair observed",
    "3 validity check", "4 orbit refresh",
    "5 completeness",   "6 clock reference",
    "7 transmit time",  "8 vehicle identity",
    "9 satellite pos.", "10 elevation mask",
    "11 UNDIF_DAT",     "12 low-orbit rover",
    "13 cycle slips",   "14 OB2",
    "15 combinations",  "16 right ascension",
    "17 hand-over",     "18 model, records"};

// Wall time and number of passes per step, filled only in builds with the step profile.
struct StepProfile {
    std::array<double, nchain_steps> seconds{};
    std::array<long long, nchain_steps> calls{};
};

// The working values of the observation in processing, overwritten by each OB1 line. Later model
// steps read them; `accepted` tells whether the observation reached the hand-over.
struct ChainState {
    bool accepted = false; // the current observation passed every step of the chain

    // Step 1: the pair in processing and the working receiver position (m, Earth-fixed).
    std::int32_t irecinput = 0, iprninput = 0;
    models::Vec3 recxyz{};

    // Step 3: the selected observables and the filter membership.
    ObservableSelection sel;

    // Step 4: the observation neared the end of the precise orbits in memory.
    bool update_orbits2 = false;

    // Step 6: broadcast clock polynomial of the satellite (or the zero clock at tdjmobs).
    float128 tdjmtoc1 = 0;
    double clockbias1 = 0, clockdrift1 = 0, clockdriftrate1 = 0;

    // Step 7: transmit epoch (MJD, GPS time), its second of day and the broadcast clock offset (s).
    float128 tdjmobstt = 0;
    double tsecdaytt = 0;
    double satclockerror0 = 0;

    // Step 8: space vehicle and block behind the PRN.
    std::int32_t isv = 0, iblock = 0;

    // Step 9: satellite position and clock, Sun and Moon, ray geometry and wind-up.
    SatellitePosition satpos;

    // Step 12: low-orbit rover: antenna offset on the line of sight (m) and wind-up (rad).
    double xleo_cm2pc_to_add_to_mrange = 0;
    double angle_rec_rover_sp3_leo = 0;
    double windup_rover_sp3_leo = 0;

    // Step 13: slip flags, thresholds and the arc number used downstream.
    SlipLaws slip;

    // Step 15: the combinations of observables.
    Combinations comb;

    // Step 16: geocentric distance (m), longitude and latitude (deg) of receiver and satellite, and
    // their right ascensions (deg, 0..360).
    double rrec = 0, xlonrec = 0, xlatrec = 0, rarec = 0;
    double rsat = 0, xlonsat = 0, xlatsat = 0, rasat = 0;

    // Step 17: a priori slant electron content as a geometry-free delay (m).
    double stec0_apriori_iono_rt_par = 0;

    // The OB2 record format, built once at the first OB2 record.
    std::optional<textio::Format> ob2_format;

#ifdef QUELMAR_STEP_PROFILE
    StepProfile profile;
#endif
};

// Runs the chain for the observation just read and passed through the epoch control.
void process_observation(frame::Run& run);

// The text of the run-time format of the OB2 record for nobs observables, blank-padded to its
// 299-character buffer.
std::string ob2_format_text(std::int32_t nobs);

// Right ascension (deg, 0..360) of a point of Earth-fixed longitude xlon (deg) when the Greenwich
// sidereal angle is gmst (deg).
double right_ascension(double xlon, double gmst);

// The profile table: one line per step ("step, calls, seconds, share"), then the time outside the
// chain (the loop's wall time loop_seconds minus the chain's) and the total.
std::string step_profile_table(const StepProfile& p, double loop_seconds);

} // namespace quelmar::chain
