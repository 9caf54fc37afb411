// Prefit residuals of an observation (to be written).
#include "frame/run.hpp"
#include "measurement/measurement.hpp"

namespace quelmar::measurement {

int prefit_residuals_v5(frame::Run& run) {
    run.meas.presentcomb.fill(false);
    return 0;
}

} // namespace quelmar::measurement
