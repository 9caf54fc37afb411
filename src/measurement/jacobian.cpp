// The design-matrix rows of an observation (to be written).
#include "frame/run.hpp"
#include "measurement/measurement.hpp"

namespace quelmar::measurement {

int jacobian_and_process_noise_geo_lc_v8(frame::Run& run) {
    run.meas.rows.nunk_pobs_geo.fill(0);
    return 0;
}

} // namespace quelmar::measurement
