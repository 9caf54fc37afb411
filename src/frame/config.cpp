#include <algorithm>
#include "frame/config.hpp"

#include <fstream>
#include <span>

#include "frame/files.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "textio/namelist.hpp"

namespace quelmar::frame {

using textio::NamelistGroup;

std::string trimmed(const std::string& s) {
    const auto end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

namespace {

template <class T, int N1, int N2>
void add2(NamelistGroup& g, const char* key, Array2<T, N1, N2>& a) {
    g.add(key, a.flat(), {N1, N2});
}

// The keys of each group, bound to the fields they set.
NamelistGroup group_general(Config& c) {
    NamelistGroup g("general");
    g.add("silent_log", c.silent_log)
        .add("trace", c.trace)
        .add("trace2", c.trace2)
        .add("konepoch_max_octave", c.konepoch_max_octave)
        .add("xinfinity", c.xinfinity);
    return g;
}

NamelistGroup group_updating(Config& c) {
    NamelistGroup g("updating");
    g.add("idtsec_pre", c.idtsec_pre)
        .add("iexpected_dtsec_sp3cfiles", c.iexpected_dtsec_sp3cfiles)
        .add("iexpected_dtsec_rover_sp3file", c.iexpected_dtsec_rover_sp3file)
        .add("dtsec2tol_s3c", c.dtsec2tol_s3c)
        .add("dtsec2tol_rs3", c.dtsec2tol_rs3)
        .add("dtsec_xyzmax", c.dtsec_xyzmax)
        .add("dtdjm_alert_orbits", c.dtdjm_alert_orbits);
    return g;
}

NamelistGroup group_names(Config& c) {
    NamelistGroup g("names");
    g.add("igspcvfile", c.igspcvfile)
        .add("gpscstatusfile", c.gpscstatusfile)
        .add("antexfile", c.antexfile)
        .add("antexusage", c.antexusage)
        .add("s3cfile", c.s3cfile)
        .add("rover_sp3file", c.rover_sp3file)
        .add("sta2refrecfile", c.sta2refrecfile)
        .add("sta2estposfile", c.sta2estposfile)
        .add("sta2roversp3file", c.sta2roversp3file)
        .add("sta2roverlikefile", c.sta2roverlikefile)
        .add("sta2roverrtfile", c.sta2roverrtfile)
        .add("sta2fixingambfile", c.sta2fixingambfile)
        .add("centersfile", c.centersfile)
        .add("leocm2pcfile", c.leocm2pcfile)
        .add("otlfile", c.otlfile)
        .add("sfluxfile", c.sfluxfile);
    return g;
}

NamelistGroup group_cycle_slip_checking(Config& c) {
    NamelistGroup g("cycle_slip_checking");
    g.add("new_cycle_slip_checking", c.new_cycle_slip_checking)
        .add("d2li_max_0", c.d2li_max_0)
        .add("d2li_max_exp_ct_m_per_sec", c.d2li_max_exp_ct_m_per_sec)
        .add("d2li_max_exp_amp_m_per_sec", c.d2li_max_exp_amp_m_per_sec)
        .add("d2li_max_exp_scale_deg", c.d2li_max_exp_scale_deg)
        .add("dbw_max_exp_ct_m", c.dbw_max_exp_ct_m)
        .add("dbw_max_exp_amp_m", c.dbw_max_exp_amp_m)
        .add("dbw_max_exp_scale_deg", c.dbw_max_exp_scale_deg);
    return g;
}

NamelistGroup group_model(Config& c) {
    NamelistGroup g("model");
    add2(g, "process", c.process);
    add2(g, "sigma_apriori_prefit_gps0", c.sigma_apriori_prefit_gps0);
    add2(g, "elevation_scale_for_sigma_apriori_degrees", c.elevation_scale_for_sigma_apriori_degrees);
    add2(g, "xfactor_rovers_sigma_apriori_prefit", c.xfactor_rovers_sigma_apriori_prefit);
    g.add("elemask", c.elemask)
        .add("model_apriori_tropo", c.model_apriori_tropo)
        .add("model_apriori_iono", c.model_apriori_iono)
        .add("model_apriori_earth_tide", c.model_apriori_earth_tide)
        .add("model_apriori_ocean_tide_loading", c.model_apriori_ocean_tide_loading)
        .add("model_apriori_satclocks", c.model_apriori_satclocks)
        .add("model_apriori_relativistic_clock", c.model_apriori_relativistic_clock)
        .add("model_apriori_gravitational_delay", c.model_apriori_gravitational_delay)
        .add("model_apriori_tgds", c.model_apriori_tgds)
        .add("model_apriori_windup", c.model_apriori_windup)
        .add("model_apriori_satellite_phase_center", c.model_apriori_satellite_phase_center)
        .add("estimate_sat_dcbs", c.estimate_sat_dcbs)
        .add("estimate_zwd", c.estimate_zwd)
        .add("estimate_sat_clocks", c.estimate_sat_clocks)
        .add("estimate_iono_model", c.estimate_iono_model)
        .add("precise_instead_of_eph_orbits", c.precise_instead_of_eph_orbits)
        .add("interpolated_precise_satclocks_instead_of_broadcast",
             c.interpolated_precise_satclocks_instead_of_broadcast)
        .add("zenith_wet0", c.zenith_wet0)
        .add("estimating_xyz_rec_static", c.estimating_xyz_rec_static)
        .add("xinitial_sigma2_xyz_rec_m2_static", c.xinitial_sigma2_xyz_rec_m2_static)
        .add("xinitial_sigma2_xyz_rec_m2_rover_like", c.xinitial_sigma2_xyz_rec_m2_rover_like)
        .add("xinitial_sigma2_xyz_rec_m2_rover_sp3", c.xinitial_sigma2_xyz_rec_m2_rover_sp3)
        .add("s2_dxyz_m2_per_hour_static", c.s2_dxyz_m2_per_hour_static)
        .add("s2_dxyz_m2_per_hour_rover_like", c.s2_dxyz_m2_per_hour_rover_like)
        .add("s2_dxyz_m2_per_hour_rover_sp3", c.s2_dxyz_m2_per_hour_rover_sp3)
        .add("constraint_bc_bi_bw", c.constraint_bc_bi_bw)
        .add("sigma_constraint_bc_bi_bw_meters", c.sigma_constraint_bc_bi_bw_meters)
        .add("kona_min_constraint_bc_bi_bw", c.kona_min_constraint_bc_bi_bw)
        .add("alt_amb_def", c.alt_amb_def)
        .add("perform_ddf_if_available", c.perform_ddf_if_available);
    return g;
}

NamelistGroup group_model_apriori_iono_delay(Config& c) {
    NamelistGroup g("model_apriori_iono_delay");
    g.add("apriori_iono_model_name", c.apriori_iono_model_name)
        .add("basedir_auxdata_apriori_iono", c.basedir_auxdata_apriori_iono)
        .add("external_sflux_if_positive", c.external_sflux_if_positive)
        .add("stec_from_apriori_iono_rt", c.stec_from_apriori_iono_rt)
        .add("istep_iri", c.istep_iri)
        .add("hmin_apriori_iono", c.hmin_apriori_iono)
        .add("hmax_apriori_iono", c.hmax_apriori_iono)
        .add("dh_apriori_iono", c.dh_apriori_iono)
        .add("htopbottom_apriori_iono", c.htopbottom_apriori_iono)
        .add("dsr_bottomside_apriori_iono", c.dsr_bottomside_apriori_iono)
        .add("dsr_topside_apriori_iono", c.dsr_topside_apriori_iono)
        .add("use_actual_vs_fictitious_date_apriori_iono", c.use_actual_vs_fictitious_date_apriori_iono)
        .add("iyear_fictitious_date_apriori_iono", c.iyear_fictitious_date_apriori_iono)
        .add("idoy_fictitious_date_apriori_iono", c.idoy_fictitious_date_apriori_iono);
    return g;
}

NamelistGroup group_model_tropo_delay(Config& c) {
    NamelistGroup g("model_tropo_delay");
    g.add("itropo_model", c.itropo_model);
    return g;
}

NamelistGroup group_ray_tracing(Config& c) {
    NamelistGroup g("ray_tracing");
    g.add("dray0", c.dray0)
        .add("isearch_radius", std::span<std::int32_t>(c.isearch_radius), {3})
        .add("dmin_ray2centers", c.dmin_ray2centers)
        .add("dmin_rec2centers", c.dmin_rec2centers)
        .add("weighted_iono_ray_tracing", c.weighted_iono_ray_tracing)
        .add("hwiono_r", c.hwiono_r)
        .add("hwiono_ra", c.hwiono_ra)
        .add("hwiono_lat", c.hwiono_lat)
        .add("hmin", c.hmin)
        .add("hmax", c.hmax)
        .add("hionokm", c.hionokm)
        .add("hionokm_rover_sp3", c.hionokm_rover_sp3);
    return g;
}

NamelistGroup group_writing_outputs(Config& c) {
    NamelistGroup g("writing_outputs");
    g.add("write_model", c.write_model)
        .add("write_orbit", c.write_orbit)
        .add("write_ob2", c.write_ob2)
        .add("write_ticlassic", c.write_ticlassic)
        .add("write_wu", c.write_wu)
        .add("write_undif_dat", c.write_undif_dat)
        .add("write_i2i", c.write_i2i);
    return g;
}

// ---------------------------------------------------------------------------------------------------
// Echo blocks: a header line, then one list-directed line per key (a few keys share a line).

void echo_general(const Config& c, Log& log) {
    log.list("======= general         =======");
    log.list("silent_log=", c.silent_log);
    log.list("trace=", c.trace);
    log.list("trace2=", c.trace2);
    log.list("konepoch_max_octave=", c.konepoch_max_octave);
    log.list("xinfinity=", c.xinfinity);
}

void echo_updating(const Config& c, Log& log) {
    log.list("======= updating        =======");
    log.list(" idtsec_pre=", c.idtsec_pre);
    log.list("iexpected_dtsec_sp3cfiles=", c.iexpected_dtsec_sp3cfiles);
    log.list("iexpected_dtsec_rover_sp3file=", c.iexpected_dtsec_rover_sp3file);
    log.list("dtsec2tol_s3c=", c.dtsec2tol_s3c);
    log.list("dtsec2tol_rs3=", c.dtsec2tol_rs3);
    log.list("dtsec_xyzmax=", c.dtsec_xyzmax);
    log.list("dtdjm_alert_orbits=", c.dtdjm_alert_orbits);
}

void echo_names(const Config& c, Log& log) {
    log.list("======= names           =======");
    log.list("igspcvfile=", trimmed(c.igspcvfile));
    log.list("gpscstatusfile=", trimmed(c.gpscstatusfile));
    log.list("antexfile=", trimmed(c.antexfile));
    log.list("antexusage=", c.antexusage);
    log.list("s3cfile=", trimmed(c.s3cfile));
    log.list("rover_sp3file=", trimmed(c.rover_sp3file));
    log.list("sta2refrecfile=", trimmed(c.sta2refrecfile));
    log.list("sta2estposfile=", trimmed(c.sta2estposfile));
    log.list("sta2roversp3file=", trimmed(c.sta2roversp3file));
    log.list("sta2roverlikefile=", trimmed(c.sta2roverlikefile));
    log.list("sta2roverrtfile=", trimmed(c.sta2roverrtfile));
    log.list("sta2fixingambfile=", trimmed(c.sta2fixingambfile));
    log.list("centersfile=", trimmed(c.centersfile));
    log.list("leocm2pcfile=", trimmed(c.leocm2pcfile));
    log.list("otlfile=", trimmed(c.otlfile));
    log.list("sfluxfile=", trimmed(c.sfluxfile));
}

void echo_cycle_slip_checking(const Config& c, Log& log) {
    log.list("======= cycle_slip_checking =======");
    log.list("new_cycle_slip_checking=", c.new_cycle_slip_checking);
    log.list("d2Li_max_0=", c.d2li_max_0);
    log.list("d2Li_max_exp_ct_m_per_sec=", c.d2li_max_exp_ct_m_per_sec);
    log.list("d2Li_max_exp_amp_m_per_sec=", c.d2li_max_exp_amp_m_per_sec);
    log.list("d2Li_max_exp_scale_deg=", c.d2li_max_exp_scale_deg);
    log.list("dBw_max_exp_ct_m=", c.dbw_max_exp_ct_m);
    log.list("dBw_max_exp_amp_m=", c.dbw_max_exp_amp_m);
    log.list("dBw_max_exp_scale_deg=", c.dbw_max_exp_scale_deg);
}

void echo_model(const Config& c, Log& log) {
    log.list("======= model           =======");
    log.list("process=", c.process.flat());
    log.list("sigma_apriori_prefit_gps0=", c.sigma_apriori_prefit_gps0.flat());
    log.list("elevation_scale_for_sigma_apriori_degrees=",
             c.elevation_scale_for_sigma_apriori_degrees.flat());
    log.list("xfactor_rovers_sigma_apriori_prefit=", c.xfactor_rovers_sigma_apriori_prefit.flat());
    log.list("elemask=", c.elemask);
    log.list("model_apriori_tropo=", c.model_apriori_tropo);
    log.list("model_apriori_iono=", c.model_apriori_iono);
    log.list("model_apriori_earth_tide=", c.model_apriori_earth_tide);
    log.list("model_apriori_ocean_tide_loading=", c.model_apriori_ocean_tide_loading);
    log.list("model_apriori_satclocks=", c.model_apriori_satclocks);
    log.list("model_apriori_relativistic_clock=", c.model_apriori_relativistic_clock);
    log.list("model_apriori_gravitational_delay=", c.model_apriori_gravitational_delay);
    log.list("model_apriori_tgds=", c.model_apriori_tgds);
    log.list("model_apriori_windup=", c.model_apriori_windup);
    log.list("model_apriori_satellite_phase_center=", c.model_apriori_satellite_phase_center);
    log.list("estimate_sat_dcbs=", c.estimate_sat_dcbs);
    log.list("estimate_zwd=", c.estimate_zwd);
    log.list("estimate_sat_clocks=", c.estimate_sat_clocks);
    log.list("estimate_iono_model=", c.estimate_iono_model);
    log.list("precise_instead_of_eph_orbits=", c.precise_instead_of_eph_orbits);
    log.list("interpolated_precise_satclocks_instead_of_broadcast=",
             c.interpolated_precise_satclocks_instead_of_broadcast);
    log.list("zenith_wet0=", c.zenith_wet0);
    log.list("estimating_xyz_rec_static=", c.estimating_xyz_rec_static);
    log.list("xinitial_sigma2_xyz_rec_m2_static=", c.xinitial_sigma2_xyz_rec_m2_static);
    log.list("xinitial_sigma2_xyz_rec_m2_rover_like=", c.xinitial_sigma2_xyz_rec_m2_rover_like);
    log.list("xinitial_sigma2_xyz_rec_m2_rover_sp3=", c.xinitial_sigma2_xyz_rec_m2_rover_sp3);
    log.list("s2_dXYZ_m2_per_hour_static=", c.s2_dxyz_m2_per_hour_static);
    log.list("s2_dXYZ_m2_per_hour_rover_like=", c.s2_dxyz_m2_per_hour_rover_like);
    log.list("s2_dXYZ_m2_per_hour_rover_sp3=", c.s2_dxyz_m2_per_hour_rover_sp3);
    log.list("constraint_bc_bi_bw=", c.constraint_bc_bi_bw);
    log.list("sigma_constraint_bc_bi_bw_meters=", c.sigma_constraint_bc_bi_bw_meters);
    log.list("kona_min_constraint_bc_bi_bw=", c.kona_min_constraint_bc_bi_bw);
    log.list("alt_amb_def=", c.alt_amb_def);
    log.list("perform_ddf_if_available=", c.perform_ddf_if_available);
}

void echo_model_apriori_iono_delay(const Config& c, Log& log) {
    // The model's name selects the empirical model and is not echoed.
    log.list("======= model_apriori_iono_delay =======");
    log.list("basedir_auxdata_apriori_iono=", trimmed(c.basedir_auxdata_apriori_iono));
    log.list("external_sflux_if_positive=", c.external_sflux_if_positive);
    log.list("stec_from_apriori_iono_rt=", c.stec_from_apriori_iono_rt);
    log.list("istep_iri=", c.istep_iri);
    log.list("hmin_apriori_iono,hmax_apriori_iono=", c.hmin_apriori_iono, c.hmax_apriori_iono);
    log.list("dh_apriori_iono=", c.dh_apriori_iono);
    log.list("htopbottom_apriori_iono=", c.htopbottom_apriori_iono);
    log.list("dsr_bottomside_apriori_iono=", c.dsr_bottomside_apriori_iono);
    log.list("dsr_topside_apriori_iono=", c.dsr_topside_apriori_iono);
    log.list("use_actual_vs_fictitious_date_apriori_iono=", c.use_actual_vs_fictitious_date_apriori_iono);
    log.list("iyear_fictitious_date_apriori_iono=", c.iyear_fictitious_date_apriori_iono);
    log.list("idoy_fictitious_date_apriori_iono=", c.idoy_fictitious_date_apriori_iono);
}

void echo_model_tropo_delay(const Config& c, Log& log) {
    log.list("======= model_tropo_delay =======");
    log.list("itropo_model=", c.itropo_model);
}

void echo_ray_tracing(const Config& c, Log& log) {
    log.list("======= ray_tracing     =======");
    log.list("dray0,isearch_radius=", c.dray0, c.isearch_radius);
    log.list("dmin_ray2centers,dmin_rec2centers=", c.dmin_ray2centers, c.dmin_rec2centers);
    log.list("weighted_iono_ray_tracing=", c.weighted_iono_ray_tracing);
    log.list("hwiono_r,hwiono_ra,hwiono_lat=", c.hwiono_r, c.hwiono_ra, c.hwiono_lat);
    log.list("hmin,hmax=", c.hmin, c.hmax);
    log.list("hionokm=", c.hionokm);
    log.list("hionokm_rover_sp3=", c.hionokm_rover_sp3);
}

void echo_writing_outputs(const Config& c, Log& log) {
    log.list("======= writing_outputs =======");
    log.list("write_MODEL=", c.write_model);
    log.list("write_ORBIT=", c.write_orbit);
    log.list("write_OB2=", c.write_ob2);
    log.list("write_TICLASSIC=", c.write_ticlassic);
    log.list("write_WU=", c.write_wu);
    log.list("write_UNDIF_DAT=", c.write_undif_dat);
    log.list("write_I2I=", c.write_i2i);
}

struct GroupSpec {
    NamelistGroup (*bind)(Config&);
    void (*echo)(const Config&, Log&);
    const char* stop_message;
};

} // namespace

void read_configuration(Config& cfg, Log& log, const std::string& arg1, bool rover) {
    std::ifstream in;
    if (!open_existing_file(config_file_name, in)) throw Stop("ERROR: opening quelmar_v2.2.0.nml file");
    textio::NamelistReader reader(in);

    const GroupSpec groups[] = {
        {group_general, echo_general, "ERROR reading general: quelmar_v2.2.0.nml"},
        {group_updating, echo_updating, "ERROR read. updating: quelmar_v2.2.0.nml"},
        {group_names, echo_names, "ERROR reading names: quelmar_v2.2.0.nml"},
        {group_cycle_slip_checking, echo_cycle_slip_checking,
         "ERROR reading cycle_slip_checking in quelmar*2.2.0.nml"},
        {group_model, echo_model, "ERROR reading model: quelmar_v2.2.0.nml"},
        {group_model_apriori_iono_delay, echo_model_apriori_iono_delay,
         "ERROR reading model_apriori_iono: quelmar*2.2.0.nml"},
        // The troposphere group shares the message of the group before it.
        {group_model_tropo_delay, echo_model_tropo_delay,
         "ERROR reading model_apriori_iono: quelmar*2.2.0.nml"},
        {group_ray_tracing, echo_ray_tracing, "ERROR reading ray_tracing: quelmar*2.2.0.nml"},
        {group_writing_outputs, echo_writing_outputs, "ERROR reading writing_outputs: quelmar*2.2.0.nml"},
    };

    bool first = true;
    for (const GroupSpec& group : groups) {
        NamelistGroup g = group.bind(cfg);
        const textio::ReadStatus st = reader.read(g);
        if (st.iostat == textio::IoStat::end_of_file) {
            // A group that is missing, or out of order, is not found before the end of the file.
            const std::string msg = "ERROR: namelist group &" + g.name() +
                                    " not found in quelmar_v2.2.0.nml" +
                                    " (missing, or placed before a group that precedes it)";
            log.list(msg);
            throw Stop(msg);
        }
        if (!st.ok()) {
            log.list("ERROR: in namelist group &" + g.name() + ": " + st.message);
            throw Stop(group.stop_message);
        }
        auto refuse = [&](const std::vector<std::string>& which, const char* why) {
            if (which.empty()) return;
            std::string keys;
            for (const auto& k : which) keys += " " + k;
            log.list("ERROR: in namelist group &" + g.name() + ": " + why + keys);
            throw Stop(group.stop_message);
        };
        refuse(g.missing_keys(), "key(s) not given:");
        // A model never runs on a value that is not a number.
        refuse(g.nonfinite_keys(), "key(s) not a finite number:");
        if (group.bind == group_cycle_slip_checking && cfg.new_cycle_slip_checking) {
            // The slip laws divide the elevation by their scales: zero (of either sign) or a negative
            // scale turns the threshold into infinity or NaN, and the test could never fire.
            std::vector<std::string> bad;
            if (!(cfg.d2li_max_exp_scale_deg > 0)) bad.push_back("d2li_max_exp_scale_deg");
            if (!(cfg.dbw_max_exp_scale_deg > 0)) bad.push_back("dbw_max_exp_scale_deg");
            refuse(bad, "scale(s) must be positive:");
        }
        if (group.bind == group_ray_tracing && cfg.estimate_iono_model) {
            // The ray is walked in steps of dray0 inside the shell from hmin to hmax, and the weighted
            // mode divides by its half-widths: values that would make the walk endless, empty or the
            // weights not numbers are refused before any observation is traced.
            std::vector<std::string> bad;
            if (!(cfg.dray0 > 0)) bad.push_back("dray0");
            if (!(cfg.hmax > cfg.hmin)) bad.push_back("hmin,hmax");
            if (*std::min_element(cfg.isearch_radius.begin(), cfg.isearch_radius.end()) < 0)
                bad.push_back("isearch_radius");
            if (cfg.weighted_iono_ray_tracing) {
                if (!(cfg.hwiono_r > 0)) bad.push_back("hwiono_r");
                if (!(cfg.hwiono_ra > 0)) bad.push_back("hwiono_ra");
                if (!(cfg.hwiono_lat > 0)) bad.push_back("hwiono_lat");
            }
            refuse(bad, "value(s) the ray tracing cannot use (dray0 and the half-widths must be positive, hmax above hmin, search radii not negative):");
        }
        if (first) {
            // Once silent_log is known: the mode, then the echo blocks.
            log.silent = cfg.silent_log;
            if (!log.silent) {
                log.list("arg1=", arg1);
                log.list("modus_operandi_rover=", rover);
                log.list("======= Namelist inputs =======");
            }
            first = false;
        }
        if (!log.silent) group.echo(cfg, log);
        if (group.bind == group_model_tropo_delay) {
            // Checked whether or not the log is silent; 2 is accepted too although the message
            // does not name it.
            const int m = cfg.itropo_model;
            if (m < 1 || m > 4) {
                log.list("ERROR: itropo_model = ", m, " .ne. ( 1 or                     3 or 4)");
                throw Stop("ERROR: itropo_model .ne. ( 1 or 3 or 4)");
            }
        }
    }
    if (!log.silent) log.list("===============================");
}

} // namespace quelmar::frame
