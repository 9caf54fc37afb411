// The epoch at which a signal left the satellite, and the space vehicle that transmitted the PRN on
// that day.
//
// For every observation the processing chain first chooses the broadcast clock coefficients of the
// satellite (choose_clock_coefficients), then derives the transmit epoch from the reception epoch and
// the first-frequency pseudorange (transmit_time1), then looks up the vehicle and its block type in the
// GPS constellation status table (prn_and_transmit_time_2_sat_block_id1). The broadcast clock offset
// returned here is the one the satellite-position step uses.
#pragma once

#include <cstdint>

#include "auxfiles/constellation_status.hpp"
#include "frame/constants.hpp"
#include "frame/log.hpp"
#include "messages/ephemeris.hpp"

namespace quelmar::orbits {

using float128 = __float128;

// The broadcast clock polynomial of one satellite: reference epoch (MJD, GPS time) and the bias (s),
// drift (s/s) and drift rate (s/s^2).
struct ClockCoefficients {
    float128 tdjmtoc = 0;
    double clockbias = 0.0;
    double clockdrift = 0.0;
    double clockdriftrate = 0.0;
};

// The clock coefficients used for an observation of `iprn` at `tdjmobs`: the satellite's broadcast
// polynomial when it has an ephemeris (is_eph_read) and the most recently read EPH line was stored
// (eph.ierrre == 0); otherwise a zero clock (reference epoch tdjmobs, all three coefficients 0).
// A PRN outside 1..maxsat also gets the zero clock.
ClockCoefficients choose_clock_coefficients(bool is_eph_read, const messages::EphemerisTable& eph, int iprn,
                                            float128 tdjmobs);

// Transmit epoch from the reception epoch, in two fixed passes (no convergence test): the clock
// polynomial is first evaluated at the reception epoch, then again at the transmit epoch that first
// estimate gives, and
//   tdjmobstt = tdjmobs - (pseudorange1/c + satclockerror)/86400
//   tsecdaytt = tsecdayobs - pseudorange1/c - satclockerror.
// The clock offset is a0 + a1*dt + a2*dt^2 with dt = (t - tdjmtoc)*86400 s (formed in binary128,
// rounded to 64-bit); it excludes the relativistic term and any group delay. The correction to the
// epoch is formed in 64-bit and subtracted in binary128. c is constants.c. ierrtt is always 0.
void transmit_time1(double pseudorange1, float128 tdjmtoc, double clockbias, double clockdrift,
                    double clockdriftrate, float128 tdjmobs, double tsecdayobs, float128& tdjmobstt,
                    double& tsecdaytt, double& satclockerror, int& ierrtt, const frame::Constants& constants);

// The space vehicle behind `iprn` on the day of the transmit epoch (its integer MJD): the vehicles
// listed for the PRN are tried in file order and the first whose interval [idjm0, idjm1] (both days
// inclusive) contains the day wins. Status ierrptt2b:
//   0  found: isv and iblock are those of the vehicle;
//   1  a listed slot is unused (zero first or last day) before a match is found: logs
//      "ERROR: No SV found compatible with previous routine" and "ERROR:   ...  iprn = " with the PRN;
//      isv is that slot, iblock 0;
//   2  no listed vehicle covers the day (also a PRN outside 1..maxsat, or an epoch that is not a
//      finite day count): logs "ERROR: NO SV found for the given PRN and transmit time" and
//      "       iprn= " with the PRN; isv and iblock 0.
// The log lines are errors and are written even when the log is silent.
void prn_and_transmit_time_2_sat_block_id1(int iprn, float128 tdjmobstt,
                                           const auxfiles::ConstellationStatus& gcs, int& iblock, int& isv,
                                           int& ierrptt2b, frame::Log& log);

} // namespace quelmar::orbits
