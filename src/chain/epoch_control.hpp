// Epoch control: the per-observation and per-epoch bookkeeping that runs for every OB1 observation
// before the processing chain: solar flux of the day, new epoch and new day, arc snapshot, real-time
// rover age check, reference satellites and double-difference fixed ambiguities of the day, epoch
// memory, rover positions from the rover orbit file and the single-layer height in use.
#pragma once

namespace quelmar::frame {
struct Run;
}

namespace quelmar::chain {

// What the epoch control keeps from one observation to the next, and what it hands to the chain.
struct EpochState {};

// Runs the epoch control for the observation just read (run.obs.ob).
void epoch_control(frame::Run& run);

} // namespace quelmar::chain
