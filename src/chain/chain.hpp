// The observation processing chain: one OB1 observation from the validity check to the hand-over to
// the a priori model.
#pragma once

namespace quelmar::frame {
struct Run;
}

namespace quelmar::chain {

// The working values of the observation in processing, overwritten by each OB1 line.
struct ChainState {};

// Runs the chain for the observation just read and passed through the epoch control.
void process_observation(frame::Run& run);

} // namespace quelmar::chain
