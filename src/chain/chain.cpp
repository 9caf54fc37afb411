#include "chain/chain.hpp"

#include <cmath>
#include <cstdio>

#include "auxfiles/voxel_centers.hpp"
#include "frame/run.hpp"
#include "orbits/timescales.hpp"
#include "frame/stop.hpp"
#include "iono/stec_apriori.hpp"
#include "models/geometry.hpp"
#include "orbits/transmit.hpp"

namespace quelmar::chain {

namespace {

// Attributes the wall time of the chain to its steps: step(k) closes the step in progress and opens
// step k; the destructor closes the last one, whichever way the pass ends. Without the profile it is
// empty and every call vanishes.
#ifdef QUELMAR_STEP_PROFILE
class StepClock {
  public:
    explicit StepClock(ChainState& c) : p_(c.profile) {}
    ~StepClock() { close(); }
    StepClock(const StepClock&) = delete;
    StepClock& operator=(const StepClock&) = delete;
    void step(int k) {
        close();
        k_ = k;
        ++p_.calls[static_cast<std::size_t>(k - 1)];
        t0_ = std::chrono::steady_clock::now();
    }

  private:
    void close() {
        if (k_ == 0) return;
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0_;
        p_.seconds[static_cast<std::size_t>(k_ - 1)] += d.count();
        k_ = 0;
    }
    StepProfile& p_;
    int k_ = 0;
    std::chrono::steady_clock::time_point t0_{};
};
#else
class StepClock {
  public:
    explicit StepClock(ChainState&) {}
    void step(int) {}
};
#endif

// Table lookups that answer false for a slot outside the table: the gate reports the flags of a pair
// that may not address the tables.
bool flag_of(const Array1<bool, maxsat>& t, int i) {
    return i >= 1 && i <= maxsat && t(i);
}
bool rec_flag_of(const Array1<bool, maxrec>& t, int i) {
    return i >= 1 && i <= maxrec && t(i);
}

// The three lines of a deselection (steps 8, 9 and 10): standard output first, then the log, so that
// a reader of the record stream sees why an observation has no records.
template <class... A>
void deselection_lines(frame::Run& run, const char* warning, const char* label, const A&... values) {
    const messages::Observation& ob = run.obs.ob;
    for (frame::TextSink* sink :
         {static_cast<frame::TextSink*>(&run.out), static_cast<frame::TextSink*>(&run.log)}) {
        sink->list(warning);
        sink->list(label, ob.tdjmobs, ob.irec, ob.rec, ob.iprn, values...);
        sink->list("tsecdayobs= ", ob.tsecdayobs);
    }
}

// The three log lines of a model step that fails; the observation is then dropped.
void model_step_failed(frame::Log& log, const char* at, const char* status_label, int status) {
    log.list(at);
    log.list(status_label, status);
    log.list("       (observation skipped)");
}

// Step 5: the data the model needs are all there.
bool data_complete(const frame::Run& run, bool in_range, int irec, int iprn) {
    const auto& st = run.st;
    const auto& ob = run.obs.ob;
    return in_range && st.is_obs_read(irec, iprn) &&
           (run.cfg.precise_instead_of_eph_orbits || st.is_eph_read(iprn)) && st.is_xyz_read(irec) &&
           ob.ierr == 0 && run.chain.sel.ierrcho == 0 && st.is_ant_read(irec) && st.is_and_read(irec) &&
           st.is_wlf_read(irec);
}

// Step 5, refused: the warning and the diagnostic lines (which only show the pair's flags when it
// addresses the tables).
void incomplete_data_lines(frame::Run& run, bool in_range, int irec, int iprn) {
    static const textio::Format epoch_format("(a,6i3,f6.3,a)");
    const auto& st = run.st;
    const auto& ob = run.obs.ob;
    frame::Log& log = run.log;
    log.list("WARNING: rejec. OBS: lack of EPH or OBS or XYZ data");
    log.formatted(epoch_format, "iprn,iyy,imo,ida,iho,imi,sec,rec= ", iprn, ob.iyy, ob.imo, ob.ida, ob.iho,
                  ob.imi, ob.sec, ob.rec);
    log.list("iprn,is_eph_read(iprn)=", iprn, flag_of(st.is_eph_read, iprn));
    log.list("irec,iprn,is_obs_read(irec,iprn)=", irec, iprn, in_range && st.is_obs_read(irec, iprn));
    log.list("irec,is_xyz_read(irec)=", irec, rec_flag_of(st.is_xyz_read, irec));
    log.list("ierrre,ierrro,ierrcho=", run.eph.ierrre, ob.ierr, run.chain.sel.ierrcho);
    log.list("irec,is_ant_read(irec)=", irec, rec_flag_of(st.is_ant_read, irec));
}

// Step 10 with trace2: the geometry of the ray.
void trace_geometry(frame::Run& run, int irec, int iprn) {
    const auto& ob = run.obs.ob;
    const auto& c = run.chain;
    const auto& p = c.satpos;
    const auto& g = p.geometry;
    frame::TextSink& out = run.out;
    out.list("TRACE: SATELLITE_POS... tsec,irec,iprn=", ob.tsecdayobs, irec, iprn);
    out.list("TRACE: satclockerror0,satclockerror=", c.satclockerror0, p.satclockerror);
    out.list("TRACE: ctxsun=", p.ctxsun);
    out.list("TRACE: satellite_position_from_navigation_message= ", c.tdjmobstt, iprn, p.kdist);
    out.list("TRACE: satxyz=", p.satxyz);
    out.list("TRACE: recxyz0_=", c.recxyz);
    out.list("TRACE: dtrel_m=", p.dtrel_m);
    out.list("TRACE: ray_coordinates: ", p.gmst, p.gmstrt);
    out.list("TRACE: slonrec0,slatrec0,shrec0=", g.slonrec0, g.slatrec0, g.shrec0);
    out.list("TRACE: elatrec0,ehrec0=", g.elatrec0, g.ehrec0);
    out.list("TRACE: sele0,eele0,eazi0,dist0=", g.sele0, g.eele0, g.eazi0, g.dist0);
    out.list("TRACE: dctxnorm0,dctx_enunorm=", g.dctxnorm0, g.dctx_enunorm);
    out.list("TRACE: satphacen=", g.satphacen);
    out.list("TRACE: irec,iprn=", irec, iprn);
    out.list("TRACE: antenna_phase_(irec,iprn,1)=", run.antenna_phase_(irec, iprn, 1));
    out.list("TRACE: antenna_phase_(irec,iprn,2)=", run.antenna_phase_(irec, iprn, 2));
    out.list("TRACE: ap: ", g.windup);
}

// Step 11: the UNDIF_DAT record in the log.
void write_undif_dat(frame::Run& run, int irec, int iprn) {
    static const textio::Format undif_format("(2(a,1x),i1,1x,f13.7,(1x,i2),2(1x,f7.3),f14.3,6(f15.3))");
    const auto& ob = run.obs.ob;
    const auto& p = run.chain.satpos;
    const auto& x0 = run.sta.recxyz0_;
    run.log.formatted(undif_format, "UNDIF_DAT ", ob.rec, 0, ob.tdjmobs, iprn, p.geometry.eele0,
                      p.geometry.eazi0, p.geometry.dist0, x0(1, irec), x0(2, irec), x0(3, irec), p.satxyz[0],
                      p.satxyz[1], p.satxyz[2]);
}

// Step 14: the OB2 record on standard output (four observables only).
void write_ob2(frame::Run& run) {
    auto& c = run.chain;
    const auto& ob = run.obs.ob;
    if (!c.ob2_format) {
        std::string text = ob2_format_text(ob.nobs);
        text.erase(text.find_last_not_of(' ') + 1);
        c.ob2_format.emplace(text);
    }
    const auto& g = c.satpos.geometry;
    const auto& s = c.slip;
    run.out.formatted(*c.ob2_format, "OB2 ", ob.iprn, ob.iyy, ob.imo, ob.ida, ob.iho, ob.imi, ob.sec, ob.rec,
                      ob.ksat, ob.iepochflag, ob.recclock, ob.nobs, ob.kobs_(1), ob.kobs_(2), ob.kobs_(3),
                      ob.kobs_(4), ob.xdata_(1), ob.ias_(1), ob.isn_(1), ob.xdata_(2), ob.ias_(2), ob.isn_(2),
                      ob.xdata_(3), ob.ias_(3), ob.isn_(3), ob.xdata_(4), ob.ias_(4), ob.isn_(4), s.narch2,
                      s.cycleslip2, ob.dtsec_ob1, ob.cycleslip_dt, ob.d2li, s.cycleslip2_d2li, ob.xli_lir,
                      ob.dbw, s.cycleslip2_dbw, g.eele0, g.eazi0, g.dist0, s.d2li_max, s.dbw_max);
}

// Step 17: the a priori slant electron content of the ray, expressed as the delay of the
// geometry-free phase combination (m), integrated along the ray from the empirical electron-density
// model (NeQuick for "n", with the month and the solar flux of the epoch control and the UT of
// transmission). The status is always 0; the model's stops end the run.
int apriori_slant_electron_content(frame::Run& run, double& stec0) {
    const frame::Config& cfg = run.cfg;
    const ChainState& c = run.chain;
    const auto& ob = run.obs.ob;
    frame::Log& log = run.log;
    // UT of transmission: the hour for IRI is UT + 25 (its convention for universal time), for NeQuick UT.
    const float128 t = c.satpos.tdjmut;
    const double xut = orbits::hours_of_day(t) + 25.0;
    const double xut0 = xut - 25.0;
    if (!log.silent) log.list("tdjmuttt,xut=", t, xut);
    const iono::StecSampling s{cfg.apriori_iono_model_name.empty() ? ' ' : cfg.apriori_iono_model_name[0],
                               run.epoch.sflux1,
                               cfg.hmin_apriori_iono,
                               cfg.hmax_apriori_iono,
                               cfg.htopbottom_apriori_iono,
                               cfg.dsr_bottomside_apriori_iono,
                               cfg.dsr_topside_apriori_iono};
    const double flux = run.epoch.sflux1;
    const int month = ob.imo;
    stec0 = iono::stec_apriori(
        s, c.recxyz, c.satpos.satxyz,
        [&](double h, double lat, double lon) {
            if (!run.nequick) throw frame::Stop("ERROR: unsupported apriori_iono_model_name");
            return iono::nequick(*run.nequick, h, lat, lon, month, flux, xut0, log);
        },
        log);
    return 0;
}

} // namespace

std::string ob2_format_text(std::int32_t nobs) {
    static const textio::Format build("(a,i2.2,a,i1,3a)");
    std::string text =
        build.write("(a,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,", nobs, "(4x,a2),", nobs,
                    "(f14.3,i1,i1),1x,i5,1x,l1,1x", ",e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1,",
                    "2(1x,f7.3),f14.3,2(1x,e15.7))");
    // The internal write fills a 299-character buffer: shorter texts are padded, longer ones cut.
    text.resize(299, ' ');
    return text;
}

double right_ascension(double xlon, double gmst) {
    double ra = std::fmod(xlon + gmst, 360.0);
    if (ra < 0.0) ra += 360.0;
    return ra;
}

void process_observation(frame::Run& run) {
    ChainState& c = run.chain;
    messages::Observation& ob = run.obs.ob;
    frame::RunState& st = run.st;
    const frame::Config& cfg = run.cfg;
    StepClock clock(c);
    c.accepted = false;

    // 1. Start. The pair is fixed here for the whole pass.
    clock.step(1);
    const bool in_range = ob.pair_in_range();
    c.irecinput = ob.irec;
    c.iprninput = ob.iprn;
    const int irec = c.irecinput;
    const int iprn = c.iprninput;
    if (ob.irec >= 1 && ob.irec <= maxrec)
        c.recxyz = {run.sta.recxyz0_(1, irec), run.sta.recxyz0_(2, irec), run.sta.recxyz0_(3, irec)};
    ++st.konobs;
    if (cfg.trace) {
        run.out.list("TRACE   ======  tsec,irec,iprn=", ob.tsecdayobs, irec, iprn, st.ksel);
        run.out.list("TRACE: READ_OBS tsec,irec,iprn=", ob.tsecdayobs, irec, iprn, st.ksel);
    }

    // A pair outside the tables (a PRN out of range, or no receiver registered yet) cannot be marked,
    // checked or refreshed for: it goes straight to the gate, which refuses it with its usual lines.
    c.sel = ObservableSelection();
    c.update_orbits2 = false;
    if (in_range) {
        // 2. The pair has been observed (this stays so whatever happens to the observation).
        clock.step(2);
        st.is_obs_read(irec, iprn) = true;

        // 3. Validity check.
        clock.step(3);
        check_obs_v3(ob.nobs, ob.ksat, ob.xdata_, run.obs, irec, run.reg.nrec, run.sta, run.k, c.sel,
                     run.log);
        st.is_obs_useful = c.sel.is_obs_useful;
        st.to_update_geodetic_filter = c.sel.to_update_geodetic_filter;
        st.to_update_iono_filter = c.sel.to_update_iono_filter;
        st.use_p_instead_of_c_code = c.sel.use_p_instead_of_c_code;
        if (cfg.trace2) {
            run.out.list("TRACE: CHECK_OBS tsec,irec,iprn=", ob.tsecdayobs, irec, iprn);
            run.out.list("carrier1,carrier2,carrier3=", c.sel.carrier1, c.sel.carrier2, c.sel.carrier3);
            run.out.list("pseudorange1,pseudorange2,pseudorange3=", c.sel.pseudorange1, c.sel.pseudorange2,
                         c.sel.pseudorange3);
            run.out.list("f1ef,f2ef,f3ef=", c.sel.f1ef, c.sel.f2ef, c.sel.f3ef);
        }
        if (!c.sel.is_obs_useful) {
            run.log.list("WARNING rejected OBS: lack of useful 2 or 3 freq data");
            return;
        }

        // 4. Precise-orbit refresh when the observation nears the end of the orbits in memory. The end
        //    of the table exists only when precise orbits are in use; without them there is nothing to
        //    refresh.
        clock.step(4);
        c.update_orbits2 =
            cfg.precise_instead_of_eph_orbits && ob.tdjmobs >= run.s3c.tdjms3c_1 - cfg.dtdjm_alert_orbits;
        if (c.update_orbits2) {
            // The refresh serves the satellite step, which needs the clocks: a rover trajectory file
            // read at start-up (clocks not needed) must not leave marked clocks valid in the new table.
            run.required_sp3_clocks = true;
            auxfiles::refresh_precise_orbits(cfg, run.s3c, run.required_sp3_clocks, ob.tdjmobs, run.log);
        }
    }

    // 5. Completeness gate.
    clock.step(5);
    if (!data_complete(run, in_range, irec, iprn)) {
        incomplete_data_lines(run, in_range, irec, iprn);
        return;
    }
    ob.irec = c.irecinput;
    ob.iprn = c.iprninput;
    if (cfg.trace2) {
        run.out.list("TRACE: iyyobs,imoobs,idaobs,ihoobs,imiobs,secobs=", ob.iyyobs, ob.imoobs, ob.idaobs,
                     ob.ihoobs, ob.imiobs, ob.secobs);
        for (int irec1 = 1; irec1 <= run.reg.nrec; ++irec1)
            run.out.list("TRACE: irec,reclst(irec1)=", irec1, run.reg.reclst(irec1));
    }

    // 6. Satellite clock reference: the broadcast polynomial, or a zero clock at the epoch.
    clock.step(6);
    const orbits::ClockCoefficients cc =
        orbits::choose_clock_coefficients(st.is_eph_read(iprn), run.eph, iprn, ob.tdjmobs);
    c.tdjmtoc1 = cc.tdjmtoc;
    c.clockbias1 = cc.clockbias;
    c.clockdrift1 = cc.clockdrift;
    c.clockdriftrate1 = cc.clockdriftrate;

    // 7. Transmit time.
    clock.step(7);
    int ierrtt = 0;
    orbits::transmit_time1(c.sel.pseudorange1, c.tdjmtoc1, c.clockbias1, c.clockdrift1, c.clockdriftrate1,
                           ob.tdjmobs, ob.tsecdayobs, c.tdjmobstt, c.tsecdaytt, c.satclockerror0, ierrtt,
                           run.k);
    if (ierrtt != 0) {
        run.log.list("ERROR: in transmit_time1");
        run.log.list("       Program ABORTED                        ");
        throw frame::Stop("ERROR: in transmit_time1");
    }
    if (cfg.trace2) {
        run.out.list("TRACE: TRANSMIT_TIME1 tsec,irec,iprn,", ob.tsecdayobs, irec, iprn);
        run.out.list("TRACE:            tdjmobstt,tsecdaytt,satclockerror0=", c.tdjmobstt, c.tsecdaytt,
                     c.satclockerror0);
    }

    // 8. The space vehicle behind the PRN at the transmit time.
    clock.step(8);
    int ierrptt2b1 = 0;
    orbits::prn_and_transmit_time_2_sat_block_id1(iprn, c.tdjmobstt, run.gcs, c.iblock, c.isv, ierrptt2b1,
                                                  run.log);
    if (ierrptt2b1 != 0) {
        deselection_lines(run, "WARNING: deselecting OBS: non valid SV for PRN", "tdjmobs,irec,rec,iprn= ");
        return;
    }
    if (cfg.trace2) {
        run.out.list("TRACE: PRN_AND_TRANSMIT... tsec,irec,iprn=", ob.tsecdayobs, irec, iprn);
        run.out.list("TRACE: iblock,isv=", c.iblock, c.isv);
    }

    // 9. Satellite position and clock, Sun and Moon, ray geometry and wind-up. Precise satellite
    //    positions always need their clocks.
    clock.step(9);
    if (cfg.precise_instead_of_eph_orbits) run.required_sp3_clocks = true;
    const int ierrsatpos1 = satellite_position_and_clock_from_navigation_msg_v5b(
        st.is_eph_read(iprn), cfg, st.is_lea_read, run.sta.leapsec, iprn, run.eph, c.tdjmobstt, ob.tdjmobs,
        irec, run.sta.recxyz0_, run.antenna_phase_, c.iblock, c.satclockerror0, run.s3c, run.polint,
        ob.rover_sp3_leo, c.satpos, run.k, run.out, run.log);
    if (ierrsatpos1 != 0) {
        deselection_lines(run, "WARNING: deselecting OBS due to orbit problems", "tdjmobs,irec,rec,iprn= ");
        return;
    }
    const models::RayGeometry& g = c.satpos.geometry;

    // 10. Elevation mask, on the spherical elevation; everything after it uses the ellipsoidal one.
    clock.step(10);
    if (!(g.sele0 >= cfg.elemask)) { // an elevation that is not a number is not above the mask
        deselection_lines(run, "WARNING: deselecting OBS due to ele < elemask",
                          "tdjmobs,irec,rec,iprn,ele= ", g.sele0, cfg.elemask);
        return;
    }
    if (cfg.trace2) trace_geometry(run, irec, iprn);

    // 11. UNDIF_DAT record.
    clock.step(11);
    if (cfg.write_undif_dat) write_undif_dat(run, irec, iprn);

    // 12. Low-orbit rover: centre of mass to antenna phase centre on the line of sight, and its wind-up.
    clock.step(12);
    c.xleo_cm2pc_to_add_to_mrange = 0.0;
    c.angle_rec_rover_sp3_leo = 0.0;
    c.windup_rover_sp3_leo = 0.0;
    if (ob.rover_sp3_leo) {
        const int ierrlcm2pc = models::leo_center_of_mass_to_phase_center_and_windup(
            c.recxyz, run.epoch.vrover_sp3, g.dctxnorm0, ob.irec_rover_sp3_leo, run.aux.xleocm2pc_offset_,
            c.xleo_cm2pc_to_add_to_mrange, c.angle_rec_rover_sp3_leo, run.antenna_phase_, irec, iprn,
            c.windup_rover_sp3_leo);
        if (ierrlcm2pc != 0) {
            model_step_failed(run.log, "ERROR: at LEO CENTER OF MASS TO PHASE CENTER",
                              "       ierrlcm2pc= ", ierrlcm2pc);
            return;
        }
    }

    // 13. Cycle-slip laws.
    clock.step(13);
    cycle_slip_laws(cfg, ob, irec, iprn, g.eele0, st, c.slip, run.log, run.out);

    // 14. OB2 record.
    clock.step(14);
    if (cfg.write_ob2 && ob.nobs == 4) write_ob2(run);

    // 15. Combinations, with the receiver antenna correction.
    clock.step(15);
    combination_of_observables_v4(ob.nobs, c.sel, g.eele0, g.dctx_enunorm, irec, run.sta, run.pcv,
                                  ob.rover_sp3_leo, c.xleo_cm2pc_to_add_to_mrange, run.k.c, c.comb);
    if (cfg.trace2) {
        const Combinations& m = c.comb;
        run.out.list("TRACE: GPS_COMB... tsec,irec,iprn=", ob.tsecdayobs, irec, iprn);
        run.out.list("TRACE: p1,xl1=", m.p1, m.xl1);
        run.out.list("TRACE: p2,xl2=", m.p2, m.xl2);
        run.out.list("TRACE: pc,xlc=", m.pc, m.xlc);
        run.out.list("TRACE: pi1,xli=", m.pi1, m.xli);
        run.out.list("TRACE: pw,xlw=", m.pw, m.xlw);
        run.out.list("TRACE: p3,xl3=", m.p3, m.xl3);
        run.out.list("TRACE: pew,xlew=", m.pew, m.xlew);
    }

    // 16. Right ascensions of receiver and satellite at the reception epoch.
    clock.step(16);
    const auto& x0 = run.sta.recxyz0_;
    auxfiles::xyz2rradec(x0(1, irec), x0(2, irec), x0(3, irec), c.rrec, c.xlonrec, c.xlatrec);
    auxfiles::xyz2rradec(c.satpos.satxyz[0], c.satpos.satxyz[1], c.satpos.satxyz[2], c.rsat, c.xlonsat,
                         c.xlatsat);
    c.rarec = right_ascension(c.xlonrec, c.satpos.gmstrt);
    c.rasat = right_ascension(c.xlonsat, c.satpos.gmstrt);

    // 17. A priori ionosphere, then the hand-over to the model steps.
    clock.step(17);
    c.stec0_apriori_iono_rt_par = 0.0;
    if (cfg.model_apriori_iono && cfg.stec_from_apriori_iono_rt) {
        const int ierrsi1 = apriori_slant_electron_content(run, c.stec0_apriori_iono_rt_par);
        if (ierrsi1 != 0) {
            model_step_failed(run.log, "ERROR: at APRIORI IONOSPHERIC DELAY", "       ierrsi1= ", ierrsi1);
            return;
        }
    }
    c.accepted = true;
}

std::string step_profile_table(const StepProfile& p, double loop_seconds) {
    double chain = 0.0;
    for (double s : p.seconds) chain += s;
    const double total = loop_seconds > 0.0 ? loop_seconds : chain;
    auto share = [total](double s) { return total > 0.0 ? 100.0 * s / total : 0.0; };
    std::string t = "step, calls, seconds, share\n";
    char buf[160];
    for (int k = 0; k < nchain_steps; ++k) {
        const auto i = static_cast<std::size_t>(k);
        std::snprintf(buf, sizeof buf, "%s, %lld, %.6f, %.2f%%\n", chain_step_names[i], p.calls[i],
                      p.seconds[i], share(p.seconds[i]));
        t += buf;
    }
    const double outside = total - chain > 0.0 ? total - chain : 0.0;
    std::snprintf(buf, sizeof buf,
                  "outside the chain (reader, epoch control, other messages, I/O), -, %.6f, %.2f%%\n",
                  outside, share(outside));
    t += buf;
    std::snprintf(buf, sizeof buf, "total, -, %.6f, 100.00%%\n", total);
    t += buf;
    return t;
}

} // namespace quelmar::chain
