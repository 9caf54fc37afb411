// Prefit residuals of an observation: the observed combinations placed in the row table, the a priori
// dispersive terms the non-dispersive range leaves out (ionosphere and broadcast group delay, carrier
// wind-up, satellite phase centre, fixed double differences), and observed minus modelled per row.
#include <cmath>

#include "frame/run.hpp"
#include "measurement/measurement.hpp"

namespace quelmar::measurement {

int prefit_residuals_v5(frame::Run& run) {
    const frame::Config& cfg = run.cfg;
    const frame::Constants& kc = run.k;
    const chain::Combinations& o = run.chain.comb;
    const chain::EpochState& e = run.epoch;
    MeasurementState& m = run.meas;
    auto& gps_obs = m.gps_obs;
    auto& present = m.presentcomb;
    auto& prefit = m.prefit_gps;
    auto& xion_dcb = run.st.xion_dcb;
    auto& windup_m = run.st.windup_m;
    const int nobs = run.obs.ob.nobs;
    const double c = kc.c, f1 = kc.f1, f2 = kc.f2, f5 = kc.f5, f7 = kc.f7;

    gps_obs.fill(0.0);
    xion_dcb.fill(0.0);
    present.fill(false);

    // Observed values of the rows. With six observables the f1/f7 values take rows 7 to 10.
    gps_obs(1, 1) = o.p1;
    gps_obs(2, 1) = o.xl1;
    present(1, 1) = present(2, 1) = true;
    const double code[4] = {o.p2, o.pc, o.pi1, o.pw}, phase[4] = {o.xl2, o.xlc, o.xli, o.xlw};
    const int first = nobs == 4 ? 2 : 7;
    for (int i = 0; i < 4; ++i) {
        gps_obs(1, first + i) = code[i];
        gps_obs(2, first + i) = phase[i];
    }
    if (nobs == 4) {
        for (int j = 2; j <= 5; ++j) present(1, j) = present(2, j) = true;
        present(2, 6) = true;
    } else {
        gps_obs(1, 12) = o.p3;
        gps_obs(1, 13) = o.pew;
        gps_obs(2, 12) = o.xl3;
        gps_obs(2, 13) = o.xlew;
        for (int j = 7; j <= 13; ++j) present(1, j) = present(2, j) = j != 11;
    }
    if (cfg.trace2) run.out.list("TRACE: adopted tgd_m_P1=", m.tgd_m_p1);

    // Ionospheric and group-delay terms. x is the a priori ionospheric phase advance on L1 from the
    // geometry-free delay stec0 (1.54573 = 1 / (f1^2/f2^2 - 1)); the group delay T sits on the codes,
    // or with the alternative ambiguity definition on the phases.
    const double t = m.tgd_m_p1;
    const double x = nobs == 4 ? -1.54573 * m.stec0 : 0.0;
    if (nobs == 4) {
        const double g = kc.f1f1 / kc.f2f2;
        xion_dcb(2, 1) = x;
        xion_dcb(1, 1) = t - x;
        if (cfg.alt_amb_def) xion_dcb(2, 1) -= t;
        xion_dcb(2, 2) = g * x;
        xion_dcb(1, 2) = g * (t - x);
        if (cfg.alt_amb_def) xion_dcb(2, 2) -= g * t;
        xion_dcb(1, 3) = xion_dcb(2, 3) = 0.0;
        xion_dcb(2, 4) = m.stec0;
        xion_dcb(1, 4) = t / 1.54573 + m.stec0;
        if (cfg.alt_amb_def) xion_dcb(2, 4) += t / 1.54573;
        xion_dcb(2, 5) = (f1 * xion_dcb(2, 1) - f2 * xion_dcb(2, 2)) / (f1 - f2);
        xion_dcb(1, 5) = (f2 * xion_dcb(1, 2) + f1 * xion_dcb(1, 1)) / (f1 + f2);
        if (cfg.alt_amb_def) xion_dcb(2, 5) += f1 * t / f2;
        xion_dcb(1, 6) = 0.0;
        xion_dcb(2, 6) = cfg.alt_amb_def ? 0.0 : -f1 * t / f2;
    }

    // Carrier wind-up in metres per phase row (cycles times the row's wavelength).
    const double w = m.windup / (2.0 * kc.pi);
    for (int j = 1; j <= 15; ++j) windup_m(1, j) = windup_m(2, j) = 0.0;
    windup_m(2, 1) = c * w / f1;
    if (nobs == 4) {
        windup_m(2, 2) = c * w / f2;
        windup_m(2, 3) = c * w * (f1 - f2) / (kc.f1f1 - kc.f2f2);
        windup_m(2, 4) = (1.0 / f1 - 1.0 / f2) * c * w;
    } else {
        windup_m(2, 7) = c * w / f7;
        windup_m(2, 8) = c * w * (f1 - f7) / (kc.f1f1 - kc.f7f7);
        windup_m(2, 9) = (1.0 / f1 - 1.0 / f7) * c * w;
        windup_m(2, 12) = c * w / f5;
    }

    // Residuals: observed minus modelled.
    const bool precise = cfg.precise_instead_of_eph_orbits;
    for (int k = 1; k <= 2; ++k) {
        for (int j = 1; j <= 15; ++j) {
            switch (j) {
            case 1: case 2: case 3: case 5: case 7: case 8: case 10: case 12: case 13:
                prefit(k, j) = gps_obs(k, j) - (xion_dcb(k, j) + m.dist1 + windup_m(k, j));
                if (precise) prefit(k, j) -= m.satphacen;
                break;
            case 4: case 9:
                prefit(k, j) = gps_obs(k, j) - (windup_m(k, j) + xion_dcb(k, j));
                break;
            default:
                if (k == 1) break; // code rows of the phase-minus-code families never exist
                if (j == 6) prefit(2, 6) = (gps_obs(2, 5) - gps_obs(1, 5)) - xion_dcb(2, 6);
                if (j == 11)
                    prefit(2, 11) = (gps_obs(2, 10) - gps_obs(1, 10)) - (xion_dcb(2, 10) - xion_dcb(1, 10));
                if (j == 14)
                    prefit(2, 14) = (gps_obs(2, 13) - gps_obs(1, 13)) - (xion_dcb(2, 13) - xion_dcb(1, 13));
                if (j == 15)
                    prefit(2, 15) = (gps_obs(2, 13) - gps_obs(2, 10)) - (xion_dcb(2, 13) - xion_dcb(2, 10));
                break;
            }
        }
    }
    // Rows outside the observation's frequency set.
    for (int k = 1; k <= 2; ++k) {
        if (nobs == 4)
            for (int j = 7; j <= 15; ++j) prefit(k, j) = 0.0;
        else
            for (int j = 2; j <= 6; ++j) prefit(k, j) = 0.0;
    }
    // A fixed double difference takes the known ambiguity out of its phase rows.
    if (cfg.perform_ddf_if_available && e.is_there_ddf) {
        prefit(2, 6) -= e.ddbw_fixed;
        prefit(2, 3) -= e.ddbc_fixed;
        prefit(2, 4) -= e.ddbi_fixed;
    }
    return 0;
}

} // namespace quelmar::measurement
