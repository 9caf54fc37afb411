// The design-matrix rows of an observation (to be written).
#include "frame/run.hpp"
#include "measurement/measurement.hpp"

namespace quelmar::measurement {

int jacobian_and_process_noise_geo_lc_v8(frame::Run& run) {
    run.meas.rows.nunk_pobs_geo.fill(0);
    return 0;
}

int kind_of_receiver(frame::Run&) {
    return 1;
}

double sigma_pre1(const frame::Run&, int, int) {
    return 0.0;
}

void receiver_process_noise(const frame::Run&, double& xinitial_sigma2_xyz_rec_m2, double& sigma2_dxyz_m2_per_hour) {
    xinitial_sigma2_xyz_rec_m2 = sigma2_dxyz_m2_per_hour = 0.0;
}

} // namespace quelmar::measurement
