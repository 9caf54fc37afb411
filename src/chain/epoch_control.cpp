#include "chain/epoch_control.hpp"

#include "frame/run.hpp"
#include "frame/stop.hpp"
#include "textio/format.hpp"
#include "textio/listwrite.hpp"

namespace quelmar::chain {

namespace {

using messages::Observation;

// The rejection line of an observation: a label with a status, then its date and second of day.
void rejection_line(frame::Log& log, const char* label, std::int32_t status, const char* at,
                    const Observation& ob) {
    static const textio::Format fmt("(a,i2,2a,3i3,i6)");
    log.formatted(fmt, label, status, at, "iyy,imo,ida,itsecdayobs=", ob.iyy, ob.imo, ob.ida, ob.itsecdayobs);
}

// Step 1: the solar flux of the observation's day.
void solar_flux(frame::Run& run, EpochState& e) {
    const Observation& ob = run.obs.ob;
    if (!run.cfg.model_apriori_iono) {
        e.sflux1 = e.ssn1 = -99.9;
    } else if (run.cfg.external_sflux_if_positive > 0.001) {
        e.sflux1 = run.cfg.external_sflux_if_positive;
    } else {
        // The year bounds are those of the table; the day is always inside it for a real date, and is
        // checked only so that no other value can address outside the table.
        if (!(ob.iyearobs > 1961 && ob.iyearobs <= 2020) ||
            !auxfiles::SolarFluxTable::contains(ob.iyearobs, ob.idoyobs)) {
            run.log.list("ERROR: epoch out of range of sfluxfile");
            throw frame::Stop("ERROR: epoch out of range of sfluxfile");
        }
        e.sflux1 = run.aux.sflux.sflux(ob.iyearobs, ob.idoyobs);
        e.ssn1 = run.aux.sflux.ssn(ob.iyearobs, ob.idoyobs);
    }
    if (run.cfg.trace) {
        run.out.list();
        run.out.list("TRACE_ sflux1,ssn1= ", e.sflux1, e.ssn1);
        run.out.list();
    }
}

// Step 5: a real-time rover must have a recent position of its own.
void check_rover_rt_position(frame::Run& run, EpochState& e) {
    const Observation& ob = run.obs.ob;
    frame::RunState& st = run.st;
    ++st.konobs_epoch_rover_rt;
    e.dtdjmxyz = static_cast<double>(ob.tdjmobs - st.tdjmxyz_reclst(ob.irec));
    if (!st.is_xyz_read(ob.irec) || e.dtdjmxyz * e.dtdjmxyz >= run.cfg.dtdjmxyz_max2) {
        run.log.list("ERROR: Non exist. or too old pseud. coord. estimate");
        run.log.list("rec,irec,tdjmobs,tdjmxyz_reclst(irec),dtdjmxyz=", ob.rec, ob.irec, ob.tdjmobs,
                     st.tdjmxyz_reclst(ob.irec), e.dtdjmxyz);
        run.log.list("is_xyz_read(irec)=", st.is_xyz_read(ob.irec));
        throw frame::Stop("ERROR: Non exist. or too old pseud. coord. estimate");
    }
}

// Step 6: the reference periods of the new day.
void load_reference_satellites(frame::Run& run, EpochState& e) {
    const Observation& ob = run.obs.ob;
    e.file_refsat = refsat_file_name(ob.iyy, ob.imo, ob.ida);
    std::string why;
    switch (read_refsat_file(e.file_refsat, e.refsat_periods, why)) {
    case dayfile_status::ok:
        break;
    case dayfile_status::cannot_open:
        run.log.list("ERROR opening file_refsat = ", e.file_refsat);
        throw frame::Stop("ERROR opening file_refsat");
    case dayfile_status::too_many:
        // The table holds a day in quarters of an hour; a longer list is not a list of this kind.
        run.log.list("ERROR reading file_refsat = ", e.file_refsat);
        run.log.list(" ", why);
        throw frame::Stop("ERROR reading file_refsat: " + why);
    default:
        run.log.list("ERROR reading file_refsat = ", e.file_refsat);
        run.log.list(" ", why);
        throw frame::Stop("ERROR reading file_refsat");
    }
    const RefsatPeriods& p = e.refsat_periods;
    run.log.list();
    run.log.list(" READ reference satellites=");
    for (int n = 1; n <= p.nper_refsat; ++n)
        run.log.list(n, p.itsec0_refsat(n), p.itsec1_refsat(n), p.iprn_refsat(n));
    run.log.list();
}

// Step 9: the fixed double-difference records of the new day. A day without the file has none.
void load_ddf_records(frame::Run& run, EpochState& e) {
    const Observation& ob = run.obs.ob;
    e.file_ddf = ddf_file_name(ob.iyy, ob.imo, ob.ida);
    run.out.list(e.file_ddf);
    std::string why;
    switch (read_ddf_file(e.file_ddf, e.ddf, &run.out, why)) {
    case dayfile_status::ok:
        break;
    case dayfile_status::cannot_open:
        run.log.list("WARNING: error opening file_ddf= ", e.file_ddf);
        e.ddf.clear();
        break;
    case dayfile_status::too_many:
        run.log.list("ERROR reading file_ddf= ", e.file_ddf);
        run.log.list(" ", why);
        throw frame::Stop("ERROR reading file_ddf: " + why);
    default:
        run.log.list("ERROR reading file_ddf= ", e.file_ddf);
        run.log.list(" ", why);
        throw frame::Stop("ERROR reading file_ddf");
    }
    e.nddf = static_cast<std::int32_t>(e.ddf.size());
    run.log.list("nddf= ", e.nddf);
    run.log.list();
    run.log.list(" READ DD amb. fixed (DDF records): ");
    for (std::int32_t i = 1; i <= e.nddf; ++i)
        run.log.line(textio::list_line("iddf = ", i) + ddf_values(e.ddf[static_cast<std::size_t>(i - 1)]));
}

// Step 10: the fixed double differences of this observation's satellite and receiver, if any.
void match_ddf(frame::Run& run, EpochState& e) {
    const Observation& ob = run.obs.ob;
    e.is_there_ddf = false;
    const DdfRecord* d = find_ddf(e.ddf, ob.tsecdayobs, ob.iprn, ob.rec);
    if (d == nullptr) return;
    e.is_there_ddf = true;
    e.idbw(1) = d->idbw11, e.idbw(2) = d->idbw01, e.idbw(3) = d->idbw10, e.idbw(4) = d->idbw00;
    e.ddbw_fixed = d->ddbw_fixed_ddf;
    e.idbc(1) = d->idbc11, e.idbc(2) = d->idbc01, e.idbc(3) = d->idbc10, e.idbc(4) = d->idbc00;
    e.ddbc_fixed = d->ddbc_fixed_ddf;
    e.idbi(1) = d->idbi11, e.idbi(2) = d->idbi01, e.idbi(3) = d->idbi10, e.idbi(4) = d->idbi00;
    e.ddbi_fixed = d->ddbi_fixed_ddf;
    run.log.list("idBw= ", e.idbw.flat());
    run.log.list("ddBw_fixed= ", e.ddbw_fixed);
    run.log.list("idBc= ", e.idbc.flat());
    run.log.list("ddBc_fixed= ", e.ddbc_fixed);
    run.log.list("idBi= ", e.idbi.flat());
    run.log.list("ddBi_fixed= ", e.ddbi_fixed);
}

// Step 12: the receiver's position when it comes from its orbit file, and the layer height.
void receiver_position(frame::Run& run, EpochState& e) {
    const Observation& ob = run.obs.ob;
    frame::Log& log = run.log;
    if (!ob.rover_sp3) {
        run.k.hionokm1 = run.cfg.hionokm;
        if (!log.silent) log.list("NO es un ROVER_SP3..");
        return;
    }
    run.k.hionokm1 = run.cfg.hionokm_rover_sp3;
    if (!log.silent) {
        log.list();
        log.list(" Computing ROVER_LIKE position from given SP3 file");
    }
    run.st.is_xyz_read(ob.irec) = false;
    orbits::PreciseFix fix;
    e.ierrps3c = orbits::posat_s3e_rover(ob.tdjmobs, ob.irover_sp3_leo_id, run.cfg, run.rs3, fix, run.polint,
                                         run.k, run.out, log);
    e.update_rover_sp3 = fix.update_orbits;
    if (e.ierrps3c != 0) {
        // is_xyz_read stays false: the chain's completeness gate rejects the observation.
        log.list("WARNING: Error in posat_s3c for ROVER_SP3");
        rejection_line(log, "WARNING: ierrps3c= ", e.ierrps3c, " Rejected OB1 at ", ob);
        log.list();
        return;
    }
    if (e.update_rover_sp3) {
        log.list("WARNING: Error in lack of positions for ROVER_SP3");
        log.list(" Rejected OB1 at: ", "iyy,imo,ida,itsecdayobs=", ob.iyy, ob.imo, ob.ida, ob.itsecdayobs);
        log.list();
        return;
    }
    for (int iz = 1; iz <= 3; ++iz) run.sta.recxyz0_(iz, ob.irec) = fix.ctx[static_cast<std::size_t>(iz - 1)];
    e.vrover_sp3 = fix.v;
    run.st.is_xyz_read(ob.irec) = true;
    if (!log.silent) {
        for (int iz = 1; iz <= 3; ++iz)
            log.list("ROVER_SP3: iz,irec,recxyz0_(iz,irec)=", iz, ob.irec, run.sta.recxyz0_(iz, ob.irec));
        log.list();
    }
}

} // namespace

void epoch_control(frame::Run& run) {
    EpochState& e = run.epoch;
    frame::RunState& st = run.st;
    const Observation& ob = run.obs.ob;
    frame::Log& log = run.log;

    // Distance to the previous observation; the first observation is its own predecessor.
    if (st.konobs == 0) e.tdjmobs0 = ob.tdjmobs;
    e.dtsec = static_cast<double>((ob.tdjmobs - e.tdjmobs0) * 86400);
    bool representable = true;
    // A distance beyond the 32-bit range (only between epochs decades apart) gives INT32_MIN: still a
    // new epoch.
    e.idtsec = messages::nint_seconds(e.dtsec, representable);
    e.iddoy = ob.idoyobs - st.idoyobs0;
    e.new_epoch = e.idtsec != 0 || st.konobs == 0;
    e.new_day =
        e.new_epoch && (st.konobs == 0 || ob.iyy != st.iyy0 || ob.imo != st.imo0 || ob.ida != st.ida0);

    // 1. Solar flux.
    solar_flux(run, e);

    // 2. Troposphere files: read whenever the day of year changes, here, so that a day whose first
    //    observation is rejected later in the chain has them all the same. Model 4 then takes the
    //    coefficients of the observation's site around its time of day.
    const frame::Config& cfg = run.cfg;
    if (cfg.model_apriori_tropo && cfg.itropo_model >= 2 && cfg.itropo_model <= 4) {
        if (e.iddoy != 0) auxfiles::load_troposphere_day(cfg.itropo_model, ob.iyearobs, ob.idoyobs, run.tropo, log);
        if (cfg.itropo_model == 4 && run.tropo.sites_loaded)
            auxfiles::select_site_coefficients(run.tropo, ob.rec, ob.tsecdayobs, log);
    }

    // 3. New epoch.
    if (e.new_epoch) {
        if (!log.silent) log.list("NEW EPOCH: Looking for pseudorange solutions");
        st.konobs_epoch_rover_rt = 0;
    }

    // 4. Arc snapshot, on the downdating grid of the preceding message.
    if (e.idtsec != 0 && run.cfg.idtsec_pre > 0 && run.obs.itsecdayobs9_preceding % run.cfg.idtsec_pre == 0 &&
        st.konobs > 0)
        st.narch0 = st.narch;

    // 5. Real-time rover position age. A line whose pair addresses no table (a refused PRN, or no
    //    receiver yet) names no receiver whose position could be checked.
    if (ob.rover_rt && ob.pair_in_range()) check_rover_rt_position(run, e);

    // 6.-7. Reference satellites.
    if (e.new_day) load_reference_satellites(run, e);
    if (e.new_epoch) {
        find_refsat(e.refsat_periods, ob.itsecdayobs, e.refsat, e.iper_refsat);
        log.list("refsat,iper_refsat,idtsec,itsecdayobs= ", e.refsat, e.iper_refsat, e.idtsec,
                 ob.itsecdayobs);
    }

    // 8. Is this the reference satellite?
    st.isrefsat = ob.iprn == e.refsat;
    if (!log.silent) log.list("iprn,refsat,isrefsat= ", ob.iprn, e.refsat, st.isrefsat);

    // 9.-10. Fixed double differences.
    if (e.new_day) load_ddf_records(run, e);
    if (st.irefrec > 0) match_ddf(run, e);

    // 11. Epoch memory.
    e.tdjmobs0 = ob.tdjmobs;
    st.idoyobs0 = ob.idoyobs;
    st.iyy0 = ob.iyy;
    st.imo0 = ob.imo;
    st.ida0 = ob.ida;

    // 12.-13. Receiver position and layer height of an accepted line, or its rejection.
    if (ob.ierr == 0 && ob.pair_in_range()) {
        receiver_position(run, e);
    } else if (!log.silent) {
        log.list();
        rejection_line(log, "WARNING: ierrro= ", ob.ierr, " Rejected OB1 at ", ob);
        log.list();
    }
    e.hionokm1 = run.k.hionokm1;

    // 14. The height in use.
    if (!log.silent) log.list("hionokm1= ", e.hionokm1);
}

} // namespace quelmar::chain
