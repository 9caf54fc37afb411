// The model steps of an accepted observation, the non-dispersive range, and the hand-over to the rows,
// residuals and records.
#include <cmath>
#include <cstdlib>

#include "frame/run.hpp"
#include "frame/stop.hpp"
#include "measurement/measurement.hpp"
#include "models/ocean_loading.hpp"
#include "models/solid_tide.hpp"
#include "models/troposphere.hpp"

namespace quelmar::measurement {

namespace {

// Reuse of a tide or loading displacement whose inputs repeat to the bit (off only to measure its gain).
#ifdef QUELMAR_NO_TIDE_MEMO
constexpr bool tide_memo = false;
#else
constexpr bool tide_memo = true;
#endif

// The three log lines of a model step that fails; the observation is then dropped.
bool step_failed(frame::Log& log, const char* at, const char* status_label, int status) {
    log.list(at);
    log.list(status_label, status);
    log.list("       (observation skipped)");
    return false;
}

// The terms of the troposphere, the solid earth tide and the ocean loading. Each model has its own
// switch; this is the one place where the models are called. Each returns the status of its model.
int troposphere(frame::Run& run, MeasurementState& m) {
    const frame::Config& cfg = run.cfg;
    models::TroposphereTerms& t = m.tropo;
    t = models::TroposphereTerms{}; // switched off: mapping factors -9.99, delays 0
    int status = 0;
    if (cfg.model_apriori_tropo) {
        const auto& ob = run.obs.ob;
        const models::RayGeometry& g = run.chain.satpos.geometry;
        if (cfg.itropo_model == 1) {
            status = models::tropospheric_correction1(g.elatrec0, g.ehrec0, g.eele0, ob.idoyobs, cfg.zenith_wet0, t);
        } else {
            auxfiles::TropoTables& tt = run.tropo;
            double ah_6hs = 0, aw_6hs = 0;
            if (cfg.itropo_model == 3 &&
                !models::spatial_interpolation(tt.vmf, g.elatrec0, g.slonrec0, ob.tsecdayobs, tt.ah_6hs_epoch,
                                               tt.aw_6hs_epoch, tt.ah_6hs_fe, tt.aw_6hs_fe, run.log))
                status = 1; // the receiver lies outside the downloaded grid
            if (status == 0) {
                if (cfg.itropo_model >= 3)
                    models::temporal_interpolation(ob.tsecdayobs, tt.ah_6hs_epoch, tt.aw_6hs_epoch, tt.ah_6hs_fe,
                                                   tt.aw_6hs_fe, ah_6hs, aw_6hs);
                status = models::tropospheric_correction2(cfg.itropo_model, g.elatrec0, g.slonrec0, g.ehrec0, g.eele0,
                                                          static_cast<double>(ob.tdjmobs), ob.idoyobs, ah_6hs, aw_6hs,
                                                          tt.gpt2w, t, run.log);
            }
        }
    }
    return status;
}
int solid_earth_tide(frame::Run& run, MeasurementState& m) {
    m.earth_tide = m.earth_tide_old = 0.0;
    m.dxtide = {0.0, 0.0, 0.0};
    if (!run.cfg.model_apriori_earth_tide) return 0;
    const auto& ob = run.obs.ob;
    const chain::ChainState& c = run.chain;
    const models::RayGeometry& g = c.satpos.geometry;
    // The simpler model beside the adopted one: its projection is kept, not used. Its Sun and Moon are
    // those of the reception epoch, so the satellites of an epoch share it: it is reused when the
    // receiver and the epoch are the same to the bit. (The adopted tide is not: its Sun and Moon come
    // with each satellite's light time.)
    EarthTide1Memo& memo = m.earth_tide1_memo;
    if (!(tide_memo && memo.valid && memo.recxyz == c.recxyz && memo.iyear == ob.iyearobs &&
          memo.idoy == ob.idoyobs && memo.tsecdayobs == ob.tsecdayobs)) {
        memo = {true, c.recxyz, ob.iyearobs, ob.idoyobs, ob.tsecdayobs, {}, 0};
        memo.ierret1 = models::earth_tide1(c.recxyz, ob.iyearobs, ob.idoyobs, ob.tsecdayobs, memo.dx);
    }
    m.earth_tide_old = memo.dx[0] * g.dctxnorm0[0] + memo.dx[1] * g.dctxnorm0[1] + memo.dx[2] * g.dctxnorm0[2];
    if (memo.ierret1 != 0) return memo.ierret1;
    models::tide(c.recxyz, ob.iyearobs, ob.imoobs, ob.idaobs, ob.tsecdayobs / 3600.0, c.satpos.ctxsun,
                 c.satpos.ctxmoon, m.dxtide);
    m.earth_tide = g.dctxnorm0[0] * m.dxtide[0] + g.dctxnorm0[1] * m.dxtide[1] + g.dctxnorm0[2] * m.dxtide[2];
    return 0;
}
int ocean_tide_loading(frame::Run& run, MeasurementState& m) {
    m.ocean_tide_loading = 0.0;
    m.denu_ocean_tide_loading = {0.0, 0.0, 0.0};
    if (!run.cfg.model_apriori_ocean_tide_loading) return 0;
    const auto& ob = run.obs.ob;
    const int irec = ob.irec;
    // A receiver without its OT2 message has no coefficients: no loading, and the user is told once.
    if (!run.st.is_otl_read(irec)) {
        if (!m.otl_missing_warned[static_cast<std::size_t>(irec - 1)]) {
            m.otl_missing_warned[static_cast<std::size_t>(irec - 1)] = true;
            run.log.list("WARNING: no OT2 message for receiver " + ob.rec + ": its ocean tide loading is 0");
        }
        return 0;
    }
    // The coefficients of the OT2 message enter the synthesis as 32-bit values.
    models::OtlTable tamp{}, tph{};
    for (int k = 1; k <= 3; ++k)
        for (int j = 1; j <= 11; ++j) {
            tamp[k - 1][j - 1] = static_cast<float>(run.sta.tamp_otl(irec, k, j));
            tph[k - 1][j - 1] = static_cast<float>(run.sta.tph_otl(irec, k, j));
        }
    // One synthesis per receiver and whole second: the satellites of an epoch share it.
    LoadingMemo& memo = m.loading_memo[static_cast<std::size_t>(irec - 1)];
    if (!(tide_memo && memo.valid && memo.iyear == ob.iyearobs && memo.idoy == ob.idoyobs && memo.ihr == ob.ihoobs &&
          memo.imin == ob.imiobs && memo.iseobs == std::lround(ob.secobs) && memo.tamp == tamp && memo.tph == tph)) {
        memo = {true, ob.iyearobs, ob.idoyobs, ob.ihoobs, ob.imiobs, std::lround(ob.secobs), tamp, tph, {}};
        models::ocean_tide_loading1(ob.iyearobs, ob.idoyobs, ob.ihoobs, ob.imiobs, ob.secobs, tamp, tph, memo.denu);
    }
    m.denu_ocean_tide_loading = memo.denu;
    const models::Vec3& e = run.chain.satpos.geometry.dctx_enunorm;
    m.ocean_tide_loading = e[0] * memo.denu[0] + e[1] * memo.denu[1] + e[2] * memo.denu[2];
    return 0;
}

} // namespace

double gravitational_delay(double rrec, double rsat, double dist0) {
    constexpr double two_gm_over_c2 = 0.008870057373360007; // m: 2 GM / c^2 of the Earth
    return two_gm_over_c2 * std::log((rsat + rrec + dist0) / (rsat + rrec - dist0));
}

double nondispersive_apriori_pseudorange1(double dist0, double satclockerror, double dtrel_m, double rgrav_m,
                                          double slant_trop, double earth_tide, double ocean_tide_loading,
                                          double c) {
    return dist0 - c * satclockerror - dtrel_m + rgrav_m + slant_trop - earth_tide - ocean_tide_loading;
}

bool model_observation(frame::Run& run) {
    const frame::Config& cfg = run.cfg;
    const chain::ChainState& c = run.chain;
    const models::RayGeometry& g = c.satpos.geometry;
    MeasurementState& m = run.meas;
    frame::Log& log = run.log;
    frame::TextSink& out = run.out;

    // 2. An observation the validity check kept out of the geodetic filter cannot be modelled for it.
    if (!run.st.to_update_geodetic_filter) {
        log.list("ERROR: obs. discarded for updating geodetic filter");
        throw frame::Stop("ERROR: obs. discarded for updating geodetic filter");
    }
    if (const int ierrtro = troposphere(run, m); ierrtro != 0) {
        const bool model1 = cfg.itropo_model == 1;
        return step_failed(log, model1 ? "ERROR: at tropospheric_correction1" : "ERROR: at tropospheric_correction2",
                           model1 ? "       ierrtro1= " : "       ierrtro2= ", ierrtro);
    }
    if (cfg.trace2) {
        const models::TroposphereTerms& t = m.tropo;
        out.list("TRACE: zenith_dry,zenith_wet0,xmapping_dry,xmapping_wet=", t.zenith_dry, t.zenith_wet0,
                 t.xmapping_dry, t.xmapping_wet);
        out.list("TRACE: slant_dry,slant_wet,slant_trop=", t.slant_dry, t.slant_wet, t.slant_trop);
    }

    // 3.-4. Solid earth tide and ocean loading on the line of sight.
    if (const int ierret1 = solid_earth_tide(run, m); ierret1 != 0)
        return step_failed(log, "ERROR: at earth_tide1", "       ierret1= ", ierret1);
    if (ocean_tide_loading(run, m) != 0)
        return step_failed(log, "ERROR: at ocean_tide_loading1", "       ierrotl1= ", 1);
    if (cfg.trace2) out.list("TRACE: earth_tide,ocean_tide_loading=", m.earth_tide, m.ocean_tide_loading);

    // 5.-7. Satellite clock, relativistic clock, gravitational delay.
    m.satclockerror_adopted = !cfg.model_apriori_satclocks ? 0.0
                              : cfg.interpolated_precise_satclocks_instead_of_broadcast ? c.satpos.satclockerror
                                                                                        : c.satclockerror0;
    m.dtrel_m = cfg.model_apriori_relativistic_clock ? c.satpos.dtrel_m : 0.0;
    m.rgrav_m = cfg.model_apriori_gravitational_delay ? gravitational_delay(c.rrec, c.rsat, g.dist0) : 0.0;
    if (cfg.trace2) {
        out.list("TRACE: satclockerror_adopted=", m.satclockerror_adopted);
        out.list("TRACE: adopted dtrel_m=", m.dtrel_m);
        out.list("TRACE: adopted rgrav_m=", m.rgrav_m);
    }

    // 8. The non-dispersive range.
    m.dist1 = nondispersive_apriori_pseudorange1(g.dist0, m.satclockerror_adopted, m.dtrel_m, m.rgrav_m,
                                                 m.tropo.slant_trop, m.earth_tide, m.ocean_tide_loading, run.k.c);
    if (cfg.trace2) out.list("TRACE: dist1=", m.dist1);

    // 9.-10. Wind-up and satellite phase centre as adopted.
    m.windup = !cfg.model_apriori_windup ? 0.0 : run.obs.ob.rover_sp3_leo ? c.windup_rover_sp3_leo : g.windup;
    m.satphacen = cfg.model_apriori_satellite_phase_center ? g.satphacen : 0.0;
    if (cfg.trace2) {
        out.list("TRACE: adopted windup=", m.windup);
        out.list("TRACE: adopted satphacen=", m.satphacen);
    }

    // 11. Satellite DCBs are not well defined for three-frequency Galileo data.
    if (cfg.estimate_sat_dcbs && run.obs.ob.nobs == 6) log.list("WARNING: Sat.DCB es. NOT well supported in Galileo");

    // 12. Rows, the adopted a priori ionosphere, residuals and records.
    if (const int ierrjapnglc = jacobian_and_process_noise_geo_lc_v8(run); ierrjapnglc != 0)
        return step_failed(log, "ERROR: at jacobian_and_process_noise_geo_Lc1", "       ierrjapnglc1= ",
                           ierrjapnglc);
    m.stec0 = !cfg.model_apriori_iono          ? 0.0
              : !cfg.stec_from_apriori_iono_rt ? m.stec0_ray_tracing
                                               : c.stec0_apriori_iono_rt_par;
    if (cfg.write_ticlassic && (run.obs.ob.nobs == 4 || run.obs.ob.nobs == 6)) write_ticlassic4(run);
    if (const int ierropr = prefit_residuals_v5(run); ierropr != 0)
        return step_failed(log, "ERROR: at gps_observables_prefit_residuals1", "       ierropr1= ", ierropr);
    if (cfg.write_model && run.obs.ob.nobs == 4) write_model(run);
    if (cfg.write_wu) write_wus(run);
    if (run.obs.ob.nobs == 4 && cfg.write_i2i) write_i2i(run);
    write_pr6_rows(run);
    if (cfg.write_wu && (run.obs.ob.isrefrec || run.obs.ob.rover_like)) write_wui(run);
    return true;
}

} // namespace quelmar::measurement
