// The output records of a modelled observation, one line each on standard output: TI-CLASSIC4 (the
// observation with its ionospheric geometry), MODEL (every model term and residual), WUS and WUI (the
// line of sight and the residuals of the reference and rover-like receivers), I2I (the raw
// observables with the geometry) and one PR6 row per processed combination: the filter's input.
#include <cmath>
#include <map>

#include "frame/run.hpp"
#include "measurement/measurement.hpp"

namespace quelmar::measurement {

namespace {

using textio::Format;
using textio::OutItem;

const Format& ticlassic4_format() {
    static const Format f("(i2,i4,f16.12,1x,a,i3,f11.6,2(f14.7,2f14.8),e23.15,1x,a,      i6,2e23.15,2f14.3,1x,l1,"
                          "4(1x,e15.7),1x,f12.2,3f10.4,f15.5,i7,     2f15.5,2f8.2,6(f15.3),f15.8,"
                          "                                      f8.1,e18.10,6f9.3,3e16.8)");
    return f;
}

const Format& model_format() {
    static const Format f("(2i4,f9.2,1x,f8.3,1x,f13.6,i4,1x,a,i3,4(1x,f14.4),               2(f11.4,1x),"
                          "5(f8.4,1x),e20.12,1x,2(f9.5,1x),                      8(e20.12,1x),2(f9.5,1x),"
                          "i4,a,1x,f10.5,1x,f13.5,                   1x,f7.4)");
    return f;
}

// The PR6 format of a row of n unknowns, built as the row is written: its fixed pieces around a group
// of n triples whose repeat count is written with five zero-filled digits. A row without unknowns has
// no group at all (a repeat count of zero is not a valid format; see docs/decisions.md).
std::string pr6_format_text(int n) {
    static const Format build("(4a,i5.5,a)");
    std::string text = build.write("(a,i2,1X,I2.2,4(1X,I2),F11.7,",
                                   "1X,a,i4,i3,i3,6f14.3,2e11.3,f9.3,2(f9.3,f13.3),3f9.3,", "f8.1,e18.10,6f9.3,",
                                   "2i3,1x,e23.15,e15.7,1x,l1,2i6,", n, "(i8,2e23.15),i5,i3,2(1x,l1),2i5,1x,a)");
    if (n == 0) text.replace(text.find("00000(i8,2e23.15),"), 18, "");
    return text;
}

const Format& pr6_format(int n) {
    static std::map<int, Format> cache;
    auto it = cache.find(n);
    if (it == cache.end()) it = cache.emplace(n, Format(pr6_format_text(n))).first;
    return it->second;
}

// The WUI format, joined from its two pieces.
const Format& wui_format() {
    static const Format f(Format("(2a)").write("(a,i2,1X,i3,1x,f12.9,1x,a,1x,i2",
                                               ",f10.6,2(1x,f13.7,1x,f14.9,1x,f13.9),1x,i6,1x,11e23.15)"));
    return f;
}

// Nearest integer, halves away from zero, as the records round seconds.
std::int32_t nint(double x) { return static_cast<std::int32_t>(std::lround(x)); }

} // namespace

void write_ticlassic4(frame::Run& run) {
    const auto& ob = run.obs.ob;
    const auto& c = run.chain;
    const auto& p = c.satpos;
    const auto& g = p.geometry;
    const auto& m = run.meas;
    const auto& x0 = run.sta.recxyz0_;
    run.out.formatted(ticlassic4_format(), ob.iyyobs, ob.idoyobs, ob.tsecdayobs / 3600.0, ob.rec, ob.iprn, g.sele0,
                      c.rrec / 1000.0, c.rarec, c.xlatrec, c.rsat / 1000.0, c.rasat, c.xlatsat, c.comb.xli,
                      "TI-CLASSIC4", c.slip.narch2, c.sel.carrier1, c.sel.carrier2, c.sel.pseudorange1,
                      c.sel.pseudorange2, c.slip.cycleslip2, ob.d2li, c.slip.d2li_max, ob.dbw, c.slip.dbw_max,
                      ob.dtsec_ob1, m.stec0, m.stec0_ray_tracing, c.stec0_apriori_iono_rt_par,
                      m.xlength_ray_tracing, m.ray.nilluc, m.ray.xlen_line_of_sight, m.ray.xlen_all_sectors,
                      run.epoch.sflux1, run.epoch.ssn1, x0(1, ob.irec), x0(2, ob.irec), x0(3, ob.irec),
                      p.satxyz[0], p.satxyz[1], p.satxyz[2], ob.tdjmobs, run.cfg.hionokm, g.xmapping_iono,
                      g.xraion, g.xlation, g.xlonion, p.rasun, p.decsun, p.xlonsun, c.comb.pi1, c.comb.xi2_l,
                      c.comb.xi2_p);
}

void write_model(frame::Run& run) {
    const auto& ob = run.obs.ob;
    const auto& c = run.chain;
    const auto& p = c.satpos;
    const auto& m = run.meas;
    const auto& pr = m.prefit_gps;
    const auto& xd = run.st.xion_dcb;
    const auto& wm = run.st.windup_m;
    const double cl = run.k.c;
    run.out.formatted(model_format(), ob.iyearobs, ob.idoyobs, ob.tsecdayobs, p.geometry.eele0, ob.tdjmobs, ob.irec,
                      ob.rec, ob.iprn, c.comb.pc, m.dist1, p.geometry.dist0, cl * m.satclockerror_adopted, m.dtrel_m,
                      m.tropo.slant_trop, m.earth_tide, m.ocean_tide_loading, m.satphacen, xd(1, 4), wm(1, 3), c.comb.xlc,
                      xd(2, 4), wm(2, 3), pr(1, 3), pr(2, 3), pr(1, 4), pr(2, 4), c.comb.pc, c.comb.xlc, c.comb.pi1,
                      c.comb.xli, c.comb.phase_center_corr(1) / 1000.0, c.comb.phase_center_corr(2) / 1000.0, c.isv,
                      " MODEL", p.rhodot * pr(1, 3) / cl, p.rhodot, m.rgrav_m);
}

void write_wus(frame::Run& run) {
    const auto& ob = run.obs.ob;
    const auto& u = run.chain.satpos.geometry.dctxnorm0;
    static const Format f("(2a,i6,1x,a,i4,3e23.15)");
    // One second before the observation's (rounded) second of day.
    const std::int32_t second = ob.iho * 3600 + ob.imi * 60 + nint(ob.sec) - 1;
    run.out.formatted(f, "WUS ", "SAT_COEF", second, ob.rec, ob.iprn, -u[0], -u[1], -u[2]);
}

void write_i2i(frame::Run& run) {
    const auto& ob = run.obs.ob;
    const auto& c = run.chain;
    const auto& p = c.satpos;
    const auto& g = p.geometry;
    const auto& o = run.meas.gps_obs;
    static const Format f("(a,i2,1X,I2.2,4(1X,I2),F11.7,1X,a,i4,i3,6f14.3,f9.3,    2(f9.3,f13.3),3f9.3,f8.1,"
                          "e18.10,6f9.3,i5,i4,i6,4(2i3,e23.15))");
    run.out.formatted(f, "I2I ", ob.iprn, ob.iyy, ob.imo, ob.ida, ob.iho, ob.imi, ob.sec, ob.rec, ob.irec, ob.nobs,
                      c.recxyz[0], c.recxyz[1], c.recxyz[2], p.satxyz[0], p.satxyz[1], p.satxyz[2], g.slonrec0,
                      g.slatrec0, g.shrec0, g.elatrec0, g.ehrec0, g.sele0, g.eele0, g.eazi0, run.cfg.hionokm,
                      g.xmapping_iono, g.xraion, g.xlation, g.xlonion, p.rasun, p.decsun, p.xlonsun, ob.iyearobs,
                      ob.idoyobs, c.slip.narch2, 2, 1, o(2, 1), 2, 2, o(2, 2), 1, 1, o(1, 1), 1, 2, o(1, 2));
}

void write_pr6_rows(frame::Run& run) {
    messages::Observation& ob = run.obs.ob;
    const auto& c = run.chain;
    const auto& p = c.satpos;
    const auto& g = p.geometry;
    MeasurementState& m = run.meas;
    const frame::Config& cfg = run.cfg;
    std::vector<OutItem> items;
    for (int k = 1; k <= 2; ++k) {
        for (int j = 1; j <= 15; ++j) {
            if (!cfg.process(k, j) || !m.presentcomb(k, j)) continue;
            // Cycle-slip flag and arc of the row: code rows have none; a phase row takes the pair's,
            // and a change of the pair's arc counter since it was last used forces a slip.
            bool cycleslip1 = false;
            std::int32_t narch11 = 0;
            if (k == 2) {
                narch11 = c.slip.narch2;
                cycleslip1 = c.slip.cycleslip2;
                const std::int32_t narch = run.st.narch(ob.irec, ob.iprn), narch0 = run.st.narch0(ob.irec, ob.iprn);
                if (narch != narch0) {
                    run.log.list("WARNING: changing cycleslip1 from ", cycleslip1, " to .TRUE. state");
                    static const Format f("(a,i3,1x,a,i6,1x,l1,2i6)");
                    run.log.formatted(f, "iprn9,rec,itsecdayobs9,cycleslip1(before),narch(irec,iprn),narch0(irec,iprn)= ",
                                      run.obs.iprn9, ob.rec, run.obs.itsecdayobs9, cycleslip1, narch, narch0);
                    cycleslip1 = true;
                }
            }
            m.kind_rec = kind_of_receiver(run);
            m.kind_sat = run.st.isrefsat ? 0 : 1;
            const double sigma = sigma_pre1(run, k, j);
            const bool is_there_ddf1 = k == 2 && (j == 3 || j == 4 || j == 6) && run.epoch.is_there_ddf;
            receiver_process_noise(run, m.xinitial_sigma2_xyz_rec_m2, m.sigma2_dxyz_m2_per_hour);

            const int n = m.rows.nunk_pobs_geo(k, j);
            items.clear();
            for (const OutItem& it :
                 {OutItem("PR6 "), OutItem(ob.iprn), OutItem(ob.iyy), OutItem(ob.imo), OutItem(ob.ida), OutItem(ob.iho),
                  OutItem(ob.imi), OutItem(ob.sec), OutItem(ob.rec), OutItem(ob.irec), OutItem(m.kind_rec),
                  OutItem(ob.nobs), OutItem(c.recxyz[0]), OutItem(c.recxyz[1]), OutItem(c.recxyz[2]),
                  OutItem(p.satxyz[0]), OutItem(p.satxyz[1]), OutItem(p.satxyz[2]),
                  OutItem(m.xinitial_sigma2_xyz_rec_m2), OutItem(m.sigma2_dxyz_m2_per_hour), OutItem(g.slonrec0),
                  OutItem(g.slatrec0), OutItem(g.shrec0), OutItem(g.elatrec0), OutItem(g.ehrec0), OutItem(g.sele0),
                  OutItem(g.eele0), OutItem(g.eazi0), OutItem(run.cfg.hionokm), OutItem(g.xmapping_iono),
                  OutItem(g.xraion), OutItem(g.xlation), OutItem(g.xlonion), OutItem(p.rasun), OutItem(p.decsun),
                  OutItem(p.xlonsun), OutItem(k), OutItem(j), OutItem(m.prefit_gps(k, j)), OutItem(sigma),
                  OutItem(cycleslip1), OutItem(narch11), OutItem(n)})
                items.push_back(it);
            for (int l = 1; l <= n; ++l) {
                items.emplace_back(m.rows.id_pobs(k, j, l));
                items.emplace_back(m.rows.a_pobs(k, j, l));
                items.emplace_back(m.rows.xref_pobs(k, j, l));
            }
            for (const OutItem& it : {OutItem(c.isv), OutItem(m.kind_sat), OutItem(cfg.perform_ddf_if_available),
                                      OutItem(is_there_ddf1), OutItem(run.epoch.refsat), OutItem(run.st.irefrec),
                                      OutItem(run.aux.refrec)})
                items.push_back(it);
            run.out.formatted(pr6_format(n), items);
        }
    }
}

void write_wui(frame::Run& run) {
    const auto& ob = run.obs.ob;
    const auto& c = run.chain;
    const auto& g = c.satpos.geometry;
    const auto& pr = run.meas.prefit_gps;
    const double thours1 = (ob.iho * 3600 + ob.imi * 60 + ob.sec) / 3600.0;
    const double prefit_p1 = pr(1, 3) + run.sig.xion_li_2_lx(1, 1) * pr(1, 4);
    run.out.formatted(wui_format(), "WUI ", ob.iyy, ob.idoyobs, thours1, ob.rec, ob.iprn, g.sele0, c.rrec / 1000.0,
                      c.xlonrec, c.xlatrec, c.rsat / 1000.0, c.xlonsat, c.xlatsat, c.slip.narch2, c.comb.xli,
                      prefit_p1, pr(2, 3), pr(2, 6), 0.0, 0.0, 1.0, run.meas.tropo.xmapping_wet, -g.dctxnorm0[0],
                      -g.dctxnorm0[1], -g.dctxnorm0[2]);
}

} // namespace quelmar::measurement
