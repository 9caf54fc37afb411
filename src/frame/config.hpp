// The run's settings, read from the namelist file "quelmar_v2.2.0.nml" at start-up.
//
// Nine groups, read in a fixed order from one stream. Every key of a group must be given (a missing
// key stops the run with the group's message): there are no defaults, so a value that was never
// set cannot slip into a model unnoticed. A 2x15 array may be given with fewer than 30 values; its
// other elements are then false or zero.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "frame/limits.hpp"
#include "util/array.hpp"

namespace quelmar::frame {

class Log;

using Table2x15 = Array2<double, nkind_obs, ncomb_obs>;
using Flags2x15 = Array2<bool, nkind_obs, ncomb_obs>;

struct Config {
    // general
    bool silent_log = false;
    bool trace = false;
    bool trace2 = false;
    std::int32_t konepoch_max_octave = 0;
    double xinfinity = 0;

    // updating: time spans and tolerances
    std::int32_t idtsec_pre = 0;
    std::int32_t iexpected_dtsec_sp3cfiles = 0;
    std::int32_t iexpected_dtsec_rover_sp3file = 0;
    double dtsec2tol_s3c = 0;
    double dtsec2tol_rs3 = 0;
    double dtsec_xyzmax = 0;
    __float128 dtdjm_alert_orbits = 0;

    // names: files, each a 132-character text padded with blanks
    std::string igspcvfile = std::string(132, ' ');
    std::string gpscstatusfile = std::string(132, ' ');
    std::string antexfile = std::string(132, ' ');
    bool antexusage = false;
    std::string s3cfile = std::string(132, ' ');
    std::string rover_sp3file = std::string(132, ' ');
    std::string sta2refrecfile = std::string(132, ' ');
    std::string sta2estposfile = std::string(132, ' ');
    std::string sta2roversp3file = std::string(132, ' ');
    std::string sta2roverlikefile = std::string(132, ' ');
    std::string sta2roverrtfile = std::string(132, ' ');
    std::string sta2fixingambfile = std::string(132, ' ');
    std::string centersfile = std::string(132, ' ');
    std::string leocm2pcfile = std::string(132, ' ');
    std::string otlfile = std::string(132, ' ');
    std::string sfluxfile = std::string(132, ' ');

    // cycle_slip_checking
    bool new_cycle_slip_checking = false;
    double d2li_max_0 = 0;
    double d2li_max_exp_ct_m_per_sec = 0;
    double d2li_max_exp_amp_m_per_sec = 0;
    double d2li_max_exp_scale_deg = 0;
    double dbw_max_exp_ct_m = 0;
    double dbw_max_exp_amp_m = 0;
    double dbw_max_exp_scale_deg = 0;

    // model
    Flags2x15 process;
    Table2x15 sigma_apriori_prefit_gps0;
    Table2x15 elevation_scale_for_sigma_apriori_degrees;
    Table2x15 xfactor_rovers_sigma_apriori_prefit;
    double elemask = 0;
    bool model_apriori_tropo = false;
    bool model_apriori_iono = false;
    bool model_apriori_earth_tide = false;
    bool model_apriori_ocean_tide_loading = false;
    bool model_apriori_satclocks = false;
    bool model_apriori_relativistic_clock = false;
    bool model_apriori_gravitational_delay = false;
    bool model_apriori_tgds = false;
    bool model_apriori_windup = false;
    bool model_apriori_satellite_phase_center = false;
    bool estimate_sat_dcbs = false;
    bool estimate_zwd = false;
    bool estimate_sat_clocks = false;
    bool estimate_iono_model = false;
    bool precise_instead_of_eph_orbits = false;
    bool interpolated_precise_satclocks_instead_of_broadcast = false;
    double zenith_wet0 = 0;
    bool estimating_xyz_rec_static = false;
    double xinitial_sigma2_xyz_rec_m2_static = 0;
    double xinitial_sigma2_xyz_rec_m2_rover_like = 0;
    double xinitial_sigma2_xyz_rec_m2_rover_sp3 = 0;
    double s2_dxyz_m2_per_hour_static = 0;
    double s2_dxyz_m2_per_hour_rover_like = 0;
    double s2_dxyz_m2_per_hour_rover_sp3 = 0;
    bool constraint_bc_bi_bw = false;
    double sigma_constraint_bc_bi_bw_meters = 0;
    std::int32_t kona_min_constraint_bc_bi_bw = 0;
    bool alt_amb_def = false;
    bool perform_ddf_if_available = false;

    // model_apriori_iono_delay
    std::string apriori_iono_model_name = std::string(1, ' ');
    std::string basedir_auxdata_apriori_iono = std::string(500, ' ');
    double external_sflux_if_positive = 0;
    bool stec_from_apriori_iono_rt = false;
    std::int32_t istep_iri = 0;
    double hmin_apriori_iono = 0;
    double hmax_apriori_iono = 0;
    double dh_apriori_iono = 0;
    double htopbottom_apriori_iono = 0;
    double dsr_bottomside_apriori_iono = 0;
    double dsr_topside_apriori_iono = 0;
    bool use_actual_vs_fictitious_date_apriori_iono = false;
    std::int32_t iyear_fictitious_date_apriori_iono = 0;
    std::int32_t idoy_fictitious_date_apriori_iono = 0;

    // model_tropo_delay
    std::int32_t itropo_model = 0;

    // ray_tracing
    double dray0 = 0;
    std::array<std::int32_t, 3> isearch_radius{};
    double dmin_ray2centers = 0;
    double dmin_rec2centers = 0;
    bool weighted_iono_ray_tracing = false;
    double hwiono_r = 0;
    double hwiono_ra = 0;
    double hwiono_lat = 0;
    double hmin = 0;
    double hmax = 0;
    double hionokm = 0;
    double hionokm_rover_sp3 = 0;

    // writing_outputs
    bool write_model = false;
    bool write_orbit = false;
    bool write_ob2 = false;
    bool write_ticlassic = false;
    bool write_wu = false;
    bool write_undif_dat = false;
    bool write_i2i = false;

    // Derived at start-up from dtsec_xyzmax: the largest age of a real-time rover position in days,
    // and its square.
    double dtdjmxyz_max = 0;
    double dtdjmxyz_max2 = 0;
};

// The configuration file's name and the log names of the two modes.
inline constexpr const char* config_file_name = "quelmar_v2.2.0.nml";

// Reads the nine groups from the configuration file, echoing each to the log unless silent_log,
// and checks itropo_model. Stops the run (frame::Stop) on every error, with the group's message.
// `arg1` and `rover` are echoed after the first group.
void read_configuration(Config& cfg, Log& log, const std::string& arg1, bool rover);

// Trailing blanks removed: the name a fixed-length text stands for.
std::string trimmed(const std::string& s);

} // namespace quelmar::frame
