// The design-matrix rows of an observation: for every processed combination (k, j) the unknowns it
// depends on, each as an identifier shared by every row that holds the same unknown, a partial
// derivative and an a priori value; the receiver kind, the a priori sigma of a row and the process
// noise of the receiver coordinates that travel with the rows.
#include <cmath>

#include "frame/run.hpp"
#include "orbits/timescales.hpp"
#include "measurement/measurement.hpp"

namespace quelmar::measurement {

namespace {

// Combination sets: geometric rows, geometry-free (ionospheric) rows, and the ambiguity-only rows
// (wide-lane minus narrow-lane and the extra-wide-lane differences, phase only).
bool geometric(int j) {
    return j == 1 || j == 2 || j == 3 || j == 5 || j == 7 || j == 8 || j == 10 || j == 12 || j == 13;
}
bool ionospheric(int j) { return j == 4 || j == 9; }

// The rows an observation of nobs observables has: the two-frequency set 1..6, or the first
// frequency and the three-frequency set 7..15.
bool row_of(int nobs, int j) { return (nobs == 4 && j <= 6) || (nobs == 6 && (j == 1 || j >= 7)); }

// Appends one unknown to row (k, j).
void append(Rows& r, int k, int j, std::int32_t id, double partial, double apriori) {
    std::int32_t& n = r.nunk_pobs_geo(k, j);
    ++n;
    r.id_pobs(k, j, n) = id;
    r.a_pobs(k, j, n) = partial;
    r.xref_pobs(k, j, n) = apriori;
}

// A fixed double difference replaces the row's own ambiguity by three ambiguities of the double
// difference (the two of this receiver-satellite pair's partners enter with +1, the other with -1).
void append_double_difference(Rows& r, int k, int j, const Array1<std::int32_t, 4>& idb) {
    append(r, k, j, idb(2), 1.0, 0.0);
    append(r, k, j, idb(3), 1.0, 0.0);
    append(r, k, j, idb(4), -1.0, 0.0);
}

// Whether a geometric or ambiguity-only row carries the receiver DCB, and the satellite DCB. The
// biases sit on the code rows that see them, and on the wide-lane-minus-narrow-lane phase row (or,
// with the alternative ambiguity definition, on the single phase rows instead).
bool carries_receiver_dcb(int nobs, int k, int j, bool alt) {
    const int a = nobs == 4 ? 2 : 7, w = nobs == 4 ? 5 : 10, lw = nobs == 4 ? 6 : 11;
    if (k == 1) return j == 1 || j == a || j == w;
    return alt ? (j == 1 || j == a || j == w) : j == lw;
}
bool carries_satellite_dcb(int k, int j, bool alt) {
    if (k == 1) return j == 1 || j == 2 || j == 5 || j == 10;
    return alt ? (j == 1 || j == 2 || j == 5 || j == 10) : (j == 6 || j == 11);
}

// Partial of a DCB in row (k, j): its ionospheric factor, but on the phase rows that difference
// phase and code the factor of the code row, with the sign of the code's term.
double dcb_partial(const frame::SignalTables& sig, int k, int j) {
    if (k == 2 && j == 6) return -sig.xion_li_2_lx(1, 5);
    if (k == 2 && j == 11) return -sig.xion_li_2_lx(1, 10);
    return sig.xion_li_2_lx(k, j);
}

} // namespace

int jacobian_and_process_noise_geo_lc_v8(frame::Run& run) {
    const frame::Config& cfg = run.cfg;
    const chain::ChainState& c = run.chain;
    const messages::Observation& ob = run.obs.ob;
    const chain::EpochState& e = run.epoch;
    MeasurementState& m = run.meas;
    Rows& r = m.rows;
    const int nobs = ob.nobs, irec = ob.irec, iprn = ob.iprn;
    const bool isrefrec = ob.isrefrec;
    const bool is_refrec_slot = irec == run.st.irefrec;
    const double cl = run.k.c;

    m.ierrivl = 0;
    m.ray.nilluc = 0;
    int koniono = 0;
    // UT hour of the reception, from the fraction of the 128-bit UT date.
    const __float128 tdjmutrt = c.satpos.tdjmutrt;
    const double xut = orbits::hours_of_day(tdjmutrt);

    // The broadcast group delay on P1, and the same expressed on the geometry-free combination.
    const bool eph_read = iprn >= 1 && iprn <= maxsat && run.st.is_eph_read(iprn);
    m.tgd_m_p1 = eph_read && nobs != 6 && cfg.model_apriori_tgds ? cl * run.eph.tgd_(iprn) : 0.0;
    m.xion_dcb14 = (run.k.f1f1 / run.k.f2f2 - 1.0) * m.tgd_m_p1;
    if (cfg.trace2) {
        run.out.list();
        run.out.list(" estimate_sat_dcbs=", cfg.estimate_sat_dcbs);
        run.out.list("iprn,is_eph_read(iprn)= ", iprn, eph_read);
        run.out.list(" model_apriori_tgds=", cfg.model_apriori_tgds);
        run.out.list(" c=", cl);
        run.out.list();
    }

    const models::Vec3& u = c.satpos.geometry.dctxnorm0;
    const bool coordinates = (cfg.estimating_xyz_rec_static && !isrefrec) || ob.rover_like || ob.rover_rt ||
                             ob.rover_sp3;
    const bool clock = !isrefrec || ob.rover_like || ob.rover_rt || ob.rover_sp3;
    const bool ddf = cfg.perform_ddf_if_available && e.is_there_ddf;
    const bool alt = cfg.alt_amb_def;
    const std::int32_t id_rec_dcb = 500000 + irec, id_sat_dcb = 500000 + 1000 * iprn;

    for (int k = 1; k <= 2; ++k) {
        for (int j = 1; j <= 15; ++j) {
            if (!cfg.process(k, j) || !row_of(nobs, j)) continue;
            const bool ambiguity_only = !geometric(j) && !ionospheric(j);
            if (ambiguity_only && k == 1) continue;
            for (int l = 1; l <= maxunk_pobs_geo; ++l) {
                r.a_pobs(k, j, l) = 0.0;
                r.xref_pobs(k, j, l) = -99.9;
            }
            r.nunk_pobs_geo(k, j) = 0;
            const std::int32_t id_ambiguity = irec + 100000 * j + 1000 * iprn;

            if (ionospheric(j)) {
                ++koniono;
                if (k == 1) {
                    // The reference receiver's DCB is the datum of the receiver DCBs.
                    if (!is_refrec_slot) append(r, k, j, id_rec_dcb, 1.0, 0.0);
                } else {
                    if (j == 4 && ddf)
                        append_double_difference(r, k, j, e.idbi);
                    else
                        append(r, k, j, id_ambiguity, 1.0, 0.0);
                    if (alt && !is_refrec_slot) append(r, k, j, id_rec_dcb, 1.0, 0.0);
                }
                if (cfg.estimate_sat_dcbs && (k == 1 || alt))
                    append(r, k, j, id_sat_dcb, run.sig.xion_li_2_lx(k, j), m.xion_dcb14);

                // Voxels: the ray is traced once per observation, at its first ionospheric row.
                if (run.modus_operandi_rover || ob.rover_rt || !cfg.estimate_iono_model) {
                    m.ray.nilluc = 0;
                } else if (koniono == 1) {
                    iono::AprioriSetting s;
                    s.model_apriori_iono = cfg.model_apriori_iono;
                    s.apriori_iono_model_name = cfg.apriori_iono_model_name;
                    s.iyearobs = ob.iyearobs;
                    s.idoyobs = ob.idoyobs;
                    s.imo = ob.imo;
                    s.xut = xut;
                    s.sflux1 = e.sflux1;
                    s.ssn1 = e.ssn1;
                    s.nequick = run.nequick.get();
                    m.ierrivl = iono::ray_2_iono_voxel_lengths_v30(run.aux.voxels, cfg, c.rrec, c.rarec, c.xlatrec,
                                                                    c.rsat, c.rasat, c.xlatsat, run.st.konobs,
                                                                    c.satpos.gmstrt, s, m.ray, run.out, run.log);
                }
                if (m.ierrivl == 0) {
                    m.stec0_ray_tracing = 0.0;
                    m.xlength_ray_tracing = 0.0;
                    const auto& g = run.aux.voxels;
                    for (int ii = 1; ii <= m.ray.nilluc; ++ii) {
                        const double partial = m.ray.xlsr(ii) * 0.001;
                        append(r, k, j, g.idxc(m.ray.illuc(ii)), partial, m.ray.xnecell(ii) * 1.05058 / 1e11);
                        m.stec0_ray_tracing +=
                            partial * (m.ray.stecsr(ii) / (m.ray.xlsr(ii) * 1000.0)) * 1.05058 / 1e11;
                        m.xlength_ray_tracing += m.ray.xlsr(ii);
                    }
                } else {
                    run.log.list("Warning: Error modelling iono. delay, ierrivl=", m.ierrivl);
                    run.log.list("Observation excluded from iono modelling");
                    r.nunk_pobs_geo(k, j) = 0;
                }
                continue;
            }

            if (geometric(j)) {
                if (coordinates) {
                    append(r, k, j, 100000 + irec, -u[0], c.recxyz[0]);
                    append(r, k, j, 200000 + irec, -u[1], c.recxyz[1]);
                    append(r, k, j, 300000 + irec, -u[2], c.recxyz[2]);
                }
                // The reference receiver's clock is the clock datum.
                if (clock) append(r, k, j, 400000 + irec, 1.0, 0.0);
                if (cfg.estimate_zwd) append(r, k, j, 700000 + irec, m.tropo.xmapping_wet, m.tropo.zenith_dry + m.tropo.zenith_wet0);
                if (cfg.estimate_sat_clocks) append(r, k, j, 400000 + 1000 * iprn, -1.0, cl * m.satclockerror_adopted);
                if (k == 2) {
                    if (j == 3 && ddf)
                        append_double_difference(r, k, j, e.idbc);
                    else
                        append(r, k, j, id_ambiguity, 1.0, 0.0);
                }
            } else { // ambiguity-only phase row
                if (j == 6 && ddf)
                    append_double_difference(r, k, j, e.idbw);
                else
                    append(r, k, j, id_ambiguity, 1.0, 0.0);
            }

            // Biases: the receiver DCB (the reference receiver's only when the satellite DCBs are not
            // estimated: with them, it is the datum) and the satellite DCB.
            if ((!is_refrec_slot || !cfg.estimate_sat_dcbs) && carries_receiver_dcb(nobs, k, j, alt))
                append(r, k, j, id_rec_dcb, dcb_partial(run.sig, k, j), 0.0);
            if (cfg.estimate_sat_dcbs && carries_satellite_dcb(k, j, alt))
                append(r, k, j, id_sat_dcb, dcb_partial(run.sig, k, j), m.xion_dcb14);
        }
    }
    return 0;
}

int kind_of_receiver(frame::Run& run) {
    messages::Observation& ob = run.obs.ob;
    if (ob.isrefrec) return 0;
    if (ob.estimate_xyz) return 1;
    if (ob.rover_like) return 2;
    if (ob.rover_sp3) return 3;
    if (ob.rec_fixing_amb) return 4;
    if (ob.rover_rt) return 5;
    run.log.list("WARNING: unsupported kind_rec for ", ob.rec);
    run.out.list("WARNING: unsupported kind_rec for ", ob.rec);
    run.log.list("isrefrec=", ob.isrefrec);
    run.log.list("estimate_xyz=", ob.estimate_xyz);
    run.log.list("rover_like=", ob.rover_like);
    run.log.list("rover_sp3=", ob.rover_sp3);
    run.log.list("rec_fixing_amb=", ob.rec_fixing_amb);
    run.log.list("rover_rt=", ob.rover_rt);
    run.log.list("WARNING: assuming estimate_xyz for ", ob.rec);
    run.out.list("WARNING: assuming estimate_xyz for ", ob.rec);
    ob.estimate_xyz = true;
    return 1;
}

double sigma_pre1(const frame::Run& run, int k, int j) {
    const frame::Config& cfg = run.cfg;
    const chain::SatellitePosition& p = run.chain.satpos;
    const models::Vec3& u = p.geometry.dctxnorm0;
    // The rover factor of the configuration is not applied: every row is weighted by its elevation
    // law alone (see docs/decisions.md).
    constexpr double xfactor_sigma_pre = 1.0;
    double s = cfg.sigma_apriori_prefit_gps0(k, j) *
               std::exp(-p.geometry.eele0 / cfg.elevation_scale_for_sigma_apriori_degrees(k, j)) * xfactor_sigma_pre;
    if (j != 4 && j != 6) {
        // The precise orbit's formal errors of the satellite position (on the line of sight) and clock.
        double xyz2 = 0.0;
        for (int i = 0; i < 3; ++i) xyz2 += (u[i] * p.sctx[i]) * (u[i] * p.sctx[i]);
        const double clock = run.k.c * p.ssatclockerror;
        s = std::sqrt(s * s + xyz2 + clock * clock);
    }
    return s;
}

void receiver_process_noise(const frame::Run& run, double& xinitial_sigma2_xyz_rec_m2, double& sigma2_dxyz_m2_per_hour) {
    const frame::Config& cfg = run.cfg;
    const messages::Observation& ob = run.obs.ob;
    if (ob.rover_like || ob.rover_rt) {
        xinitial_sigma2_xyz_rec_m2 = cfg.xinitial_sigma2_xyz_rec_m2_rover_like;
        sigma2_dxyz_m2_per_hour = cfg.s2_dxyz_m2_per_hour_rover_like;
    } else if (ob.rover_sp3) {
        xinitial_sigma2_xyz_rec_m2 = cfg.xinitial_sigma2_xyz_rec_m2_rover_sp3;
        sigma2_dxyz_m2_per_hour = cfg.s2_dxyz_m2_per_hour_rover_sp3;
    } else if (!ob.isrefrec) {
        xinitial_sigma2_xyz_rec_m2 = cfg.xinitial_sigma2_xyz_rec_m2_static;
        sigma2_dxyz_m2_per_hour = cfg.s2_dxyz_m2_per_hour_static;
    } else {
        xinitial_sigma2_xyz_rec_m2 = 0.01;
        sigma2_dxyz_m2_per_hour = 0.0;
    }
}

} // namespace quelmar::measurement
