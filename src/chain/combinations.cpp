#include "chain/combinations.hpp"

#include <cmath>

#include "auxfiles/pcv.hpp"
#include "chain/validity.hpp"
#include "frame/config.hpp"
#include "frame/log.hpp"
#include "frame/state.hpp"
#include "messages/observation.hpp"
#include "messages/station.hpp"
#include "models/geometry.hpp"
#include "textio/format.hpp"

namespace quelmar::chain {

namespace {

// Threshold value of the laws when they are off: larger than any plausible jump.
constexpr double threshold_off = 99.99;

// The second line of a slip warning: date, receiver, satellite, elevation, the jump, its threshold and
// the message's own slip flag, after a label in three pieces.
void slip_line(frame::Log& log, const char* piece2, const char* piece3, const messages::Observation& ob,
               std::int32_t irec, std::int32_t iprn, double eele0, double jump, double jump_max) {
    static const textio::Format f("(3a,5i3,f5.1,i4,1x,a,i3,f11.6,2e15.3,1x,l1)");
    log.formatted(f, "iyy,imo,ida,iho,imi", piece2, piece3, ob.iyy, ob.imo, ob.ida, ob.iho, ob.imi, ob.sec,
                  irec, ob.rec, iprn, eele0, jump, jump_max, ob.cycleslip_);
}

} // namespace

void cycle_slip_laws(const frame::Config& cfg, const messages::Observation& ob, std::int32_t irec,
                     std::int32_t iprn, double eele0, frame::RunState& st, SlipLaws& r, frame::Log& log,
                     frame::TextSink& out) {
    const bool pair = irec >= 1 && irec <= maxrec && iprn >= 1 && iprn <= maxsat;

    if (!cfg.new_cycle_slip_checking) {
        r.cycleslip2 = ob.cycleslip_;
        r.cycleslip2_d2li = ob.cycleslip_d2li;
        r.cycleslip2_dbw = ob.cycleslip_dbw;
        r.d2li_max = r.dbw_max = threshold_off;
        r.narch2 = pair ? st.narch(irec, iprn) : 0;
        return;
    }

    // Second difference of the geometry-free phase: the allowed jump grows with the time step, faster
    // at low elevation where the ionosphere changes quickly.
    r.d2li_max = cfg.d2li_max_0 + ob.dtsec_ob1 * (cfg.d2li_max_exp_amp_m_per_sec *
                                                      std::exp(-eele0 / cfg.d2li_max_exp_scale_deg) +
                                                  cfg.d2li_max_exp_ct_m_per_sec);
    if (cfg.trace2) {
        static const textio::Format f("(a,1x,f13.7,1x,a,i3,5f10.5,1x,f10.3,1x,l1)");
        out.list();
        out.formatted(f, "d2Li_max: ", ob.tdjmobs, ob.rec, iprn, eele0, r.d2li_max,
                      cfg.d2li_max_exp_ct_m_per_sec, cfg.d2li_max_exp_amp_m_per_sec,
                      cfg.d2li_max_exp_scale_deg, ob.dtsec_ob1, ob.cycleslip_dt);
        out.list();
    }
    r.cycleslip2_d2li = std::fabs(ob.d2li) > r.d2li_max;
    if (r.cycleslip2_d2li) {
        log.list("WARNING: cycle slip detected from dd2Li/elev law:");
        slip_line(log, ",sec,irec,rec,iprn,eele0,d2Li,", "d2Li_max,cycleslip_old=", ob, irec, iprn, eele0,
                  ob.d2li, r.d2li_max);
    }

    // Wide-lane jump: the allowed jump depends on the elevation only (code noise).
    r.dbw_max = cfg.dbw_max_exp_amp_m * std::exp(-eele0 / cfg.dbw_max_exp_scale_deg) + cfg.dbw_max_exp_ct_m;
    if (cfg.trace2) {
        static const textio::Format f("(a,5f10.5)");
        out.formatted(f, "dBw_max: ", eele0, r.dbw_max, cfg.dbw_max_exp_ct_m, cfg.dbw_max_exp_amp_m,
                      cfg.dbw_max_exp_scale_deg);
    }
    r.cycleslip2_dbw = std::fabs(ob.dbw) > r.dbw_max;
    if (r.cycleslip2_dbw) {
        log.list("WARNING: cycle slip detected from dBw/elev law:");
        slip_line(log, ",sec,irec,rec,iprn,eele0,dBw,", "dBw_max,cycleslip_old=", ob, irec, iprn, eele0,
                  ob.dbw, r.dbw_max);
    }

    // Every slip, the message's own included, opens a new arc: the count of slips found for the pair
    // is added to the message's arc number.
    r.cycleslip2 = ob.cycleslip_ || r.cycleslip2_dbw || r.cycleslip2_d2li;
    if (!pair) {
        r.narch2 = 0;
        return;
    }
    if (r.cycleslip2) st.idnarch(irec, iprn) += 1;
    r.narch2 = st.narch(irec, iprn) + st.idnarch(irec, iprn);
}

void combination_of_observables_v4(std::int32_t nobs, const ObservableSelection& sel, double eele0,
                                   const models::Vec3& dctx_enunorm, std::int32_t irec,
                                   const messages::StationTables& sta, const auxfiles::PcvTable& pcv,
                                   bool rover_sp3_leo, double xleo_cm2pc_to_add_to_mrange, double c,
                                   Combinations& comb) {
    comb = Combinations{};

    // Receiver antenna: offset, eccentricity and elevation-dependent variation (dual frequency only).
    models::receiver_antenna_correction(nobs, rover_sp3_leo, irec, dctx_enunorm, eele0, sta.iant_,
                                        sta.ant_delta_hen, pcv, comb.phase_center_corr);
    if (nobs == 4 && !rover_sp3_leo && irec >= 1 && irec <= maxrec) {
        // The offset that the correction projects, kept for the records: east, north, up (mm).
        const std::int32_t iant = sta.iant_(irec);
        for (int kf = 1; kf <= 2; ++kf) {
            comb.pco_enu(1, kf) = 1000.0 * sta.ant_delta_hen(irec, 2) + pcv.phase_center_offset_(kf, 2, iant);
            comb.pco_enu(2, kf) = 1000.0 * sta.ant_delta_hen(irec, 3) + pcv.phase_center_offset_(kf, 1, iant);
            comb.pco_enu(3, kf) = 1000.0 * sta.ant_delta_hen(irec, 1) + pcv.phase_center_offset_(kf, 3, iant);
        }
    }

    const double f1 = sel.f1ef, f2 = sel.f2ef, f3 = sel.f3ef;
    const Array1<double, maxfre>& pcc = comb.phase_center_corr;

    // Single frequency, carriers turned from cycles into metres.
    comb.xl1 = pcc(1) / 1000.0 + sel.carrier1 * c / f1;
    comb.p1 = pcc(1) / 1000.0 + sel.pseudorange1;
    comb.xl2 = pcc(2) / 1000.0 + sel.carrier2 * c / f2;
    comb.p2 = pcc(2) / 1000.0 + sel.pseudorange2;

    // Ionosphere-free.
    const double f1f1 = f1 * f1, f2f2 = f2 * f2;
    comb.pc = (f1f1 * comb.p1 - f2f2 * comb.p2) / (f1f1 - f2f2);
    comb.xlc = (f1f1 * comb.xl1 - f2f2 * comb.xl2) / (f1f1 - f2f2);

    // Geometry-free, both with the sign of the ionospheric delay (code delayed, phase advanced).
    comb.pi1 = comb.p2 - comb.p1;
    comb.xli = comb.xl1 - comb.xl2;

    // Narrow-lane code and wide-lane carrier: the pair used by the wide-lane ambiguity.
    comb.pw = (f1 * comb.p1 + f2 * comb.p2) / (f1 + f2);
    comb.xlw = (f1 * comb.xl1 - f2 * comb.xl2) / (f1 - f2);

    // A low-orbit rover's ranges are referred to its centre of mass.
    if (nobs == 4 && rover_sp3_leo) {
        comb.pc -= xleo_cm2pc_to_add_to_mrange;
        comb.xlc -= xleo_cm2pc_to_add_to_mrange;
    }

    if (nobs == 6) {
        comb.xl3 = pcc(3) / 1000.0 + c * sel.carrier3 / f3;
        comb.p3 = pcc(3) / 1000.0 + sel.pseudorange3;
        comb.xlew = (f2 * comb.xl2 - f3 * comb.xl3) / (f2 - f3);
        comb.pew = (f3 * comb.p3 + f2 * comb.p2) / (f3 + f2);
        if (std::round(sel.alpha13) == -99.0 && std::round(sel.alpha23) == -99.0) {
            comb.xi2_l = comb.xi2_p = -99.0;
        } else {
            // Second-order term from the two geometry-free differences against the third frequency:
            // each difference is alpha * I1 + beta * I2; eliminating I1 leaves I2.
            comb.xi2_l = -(((comb.xl1 - comb.xl3) / sel.alpha13 - (comb.xl2 - comb.xl3) / sel.alpha23) /
                           (sel.beta13 / sel.alpha13 - sel.beta23 / sel.alpha23)) /
                         f1 / f2 / (f1 + f2);
            comb.xi2_p = -(((comb.p1 - comb.p3) / sel.alpha13 - (comb.p2 - comb.p3) / sel.alpha23) /
                           (sel.beta13 / sel.alpha13 - sel.beta23 / sel.alpha23)) /
                         f1 / f2 / (f1 + f2);
        }
    } else {
        comb.xl3 = comb.p3 = comb.xlew = comb.pew = 0.0;
        comb.xi2_l = comb.xi2_p = -99.0;
    }
    comb.ierrgco = 0;
}

} // namespace quelmar::chain
