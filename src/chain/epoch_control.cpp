#include "chain/epoch_control.hpp"

#include "frame/run.hpp"

namespace quelmar::chain {

void epoch_control(frame::Run& run) {
    (void)run;
}

} // namespace quelmar::chain
