#include "chain/chain.hpp"

#include "frame/run.hpp"

namespace quelmar::chain {

void process_observation(frame::Run& run) {
    (void)run;
}

} // namespace quelmar::chain
