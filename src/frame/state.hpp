// Run-wide state that the message handlers and the processing chain share, with the initial values
// it has when the loop starts.
#pragma once

#include <cstdint>
#include <string>

#include "frame/limits.hpp"
#include "util/array.hpp"

namespace quelmar::frame {

struct RunState {
    RunState() { reset(); }

    // Read flags: set when a message of that kind has been applied for the receiver (or satellite),
    // cleared when the last one was rejected.
    Array1<bool, maxsat> is_eph_read;
    Array2<bool, maxrec, maxsat> is_obs_read;
    Array1<bool, maxrec> is_xyz_read, is_ant_read, is_and_read, is_otl_read, is_wlf_read;
    bool is_lea_read = false;

    Array2<double, nkind_obs, ncomb_obs> xion_dcb, windup_m;
    bool is_obs_useful = true;
    bool to_update_geodetic_filter = true;
    bool to_update_iono_filter = true;
    bool use_p_instead_of_c_code = false;
    std::int32_t konobs = 0, konobs_epoch_rover_rt = 0, ksel = 0;

    // Time tag of the last position of each receiver.
    Array1<__float128, maxrec> tdjmxyz_reclst;

    // Slot of the reference receiver once it is registered (its name comes from the role lists).
    std::int32_t irefrec = -99;

    // Arc bookkeeping per receiver and satellite.
    Array2<std::int32_t, maxrec, maxsat> narch, narch0, idnarch;

    bool isrefsat = false;
    std::int32_t iyy0 = -99, imo0 = -99, ida0 = -99;
    std::int32_t idoyobs0 = -999; // day of year of the previous observation epoch

    void reset() {
        is_eph_read.fill(false);
        is_obs_read.fill(false);
        is_xyz_read.fill(false);
        is_ant_read.fill(false);
        is_and_read.fill(false);
        is_otl_read.fill(false);
        is_wlf_read.fill(false);
        is_lea_read = false;
        xion_dcb.fill(0);
        windup_m.fill(0);
        tdjmxyz_reclst.fill(-99999.9);
        narch.fill(1);
        narch0.fill(-99);
        idnarch.fill(0);
    }
};

} // namespace quelmar::frame
