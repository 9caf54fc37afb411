// Epoch control: the per-observation and per-epoch bookkeeping that runs for every OB1 observation
// before the processing chain: solar flux of the day, new epoch and new day, arc snapshot, real-time
// rover age check, reference satellites and double-difference fixed ambiguities of the day, epoch
// memory, rover positions from the rover orbit file and the single-layer height in use.
//
// It runs for every OB1 line, also for a line the reader refused: the epoch memory follows every line,
// and the chain rejects the observation at its gate afterwards. Values of the run that other parts
// share (the date of the previous observation idoyobs0, iyy0, imo0, ida0, the observation counters
// konobs and konobs_epoch_rover_rt, the arc tables narch/narch0, isrefsat, the position flags and the
// reference receiver irefrec) stay in frame::RunState; what only the epoch control keeps, or hands to
// the chain, is in EpochState.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "chain/day_files.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
struct Run;
}

namespace quelmar::chain {

// What the epoch control keeps from one observation to the next, and what it hands to the chain.
struct EpochState {
    // Epoch memory: the time tag of the previous observation, and this observation's distance to it.
    __float128 tdjmobs0 = 0;
    double dtsec = 0;             // seconds since the previous observation (128-bit difference, rounded)
    std::int32_t idtsec = 0;      // dtsec to the nearest second
    std::int32_t iddoy = 0;       // day of year minus that of the previous observation
    bool new_epoch = false;       // this observation opens an epoch (idtsec != 0, or the first one)
    bool new_day = false;         // ... and a date: the daily files were read for it

    // Solar flux and sunspot number of the observation's day for the a priori ionosphere; -99.9 when
    // that model is off.
    double sflux1 = -99.9, ssn1 = -99.9;

    // Reference satellites of the day and the one of the current epoch (-99: none).
    RefsatPeriods refsat_periods;
    std::int32_t refsat = -99;
    std::int32_t iper_refsat = 0; // period that gave refsat (nper_refsat + 1 when none did)
    std::string file_refsat;      // name of the day's file

    // Fixed double-difference records of the day, and what the current observation takes from them.
    std::vector<DdfRecord> ddf;
    std::int32_t nddf = 0;
    std::string file_ddf;
    bool is_there_ddf = false;
    Array1<std::int32_t, 4> idbw, idbc, idbi; // ambiguity identifiers 11, 01, 10, 00
    double ddbw_fixed = 0, ddbc_fixed = 0, ddbi_fixed = 0;

    // Height of the single ionospheric layer in use (km): that of static receivers, or of receivers
    // with an orbit file. The run's constants block carries the same value for the ray geometry.
    double hionokm1 = 0;

    // Receiver with an orbit file: velocity at the observation (m/s), the interpolation status and
    // whether a further orbit file would have been needed.
    std::array<double, 3> vrover_sp3{};
    std::int32_t ierrps3c = 0;
    bool update_rover_sp3 = false;

    // Real-time rover: age of the receiver's last position (days).
    double dtdjmxyz = 0;

    EpochState() {
        idbw.fill(0);
        idbc.fill(0);
        idbi.fill(0);
    }
};

// Runs the epoch control for the observation just read (run.obs.ob). Stops the run (frame::Stop) on a
// year outside the solar-flux table, a missing or stale real-time rover position, a reference
// satellite file that cannot be opened or read, and a DDF file that cannot be read. Daily files are
// opened by name in the working directory.
void epoch_control(frame::Run& run);

} // namespace quelmar::chain
