#include "orbits/transmit.hpp"

#include <quadmath.h>

namespace quelmar::orbits {

ClockCoefficients choose_clock_coefficients(bool is_eph_read, const messages::EphemerisTable& eph, int iprn,
                                            float128 tdjmobs) {
    ClockCoefficients k;
    if (is_eph_read && eph.ierrre == 0 && iprn >= 1 && iprn <= maxsat) {
        k.tdjmtoc = eph.tdjmtoc_(iprn);
        k.clockbias = eph.clockbias_(iprn);
        k.clockdrift = eph.clockdrift_(iprn);
        k.clockdriftrate = eph.clockdriftrate_(iprn);
    } else {
        k.tdjmtoc = tdjmobs;
    }
    return k;
}

void transmit_time1(double pseudorange1, float128 tdjmtoc, double clockbias, double clockdrift,
                    double clockdriftrate, float128 tdjmobs, double tsecdayobs, float128& tdjmobstt,
                    double& tsecdaytt, double& satclockerror, int& ierrtt,
                    const frame::Constants& constants) {
    const double c = constants.c;
    float128 t = tdjmobs;
    for (int pass = 1; pass <= 2; ++pass) {
        const double dt = static_cast<double>((t - tdjmtoc) * 86400);
        satclockerror = clockbias + clockdrift * dt + clockdriftrate * dt * dt;
        const double correction_days = (pseudorange1 / c + satclockerror) / 86400.0;
        tdjmobstt = tdjmobs - static_cast<float128>(correction_days);
        tsecdaytt = tsecdayobs - pseudorange1 / c - satclockerror;
        t = tdjmobstt;
    }
    ierrtt = 0;
}

void prn_and_transmit_time_2_sat_block_id1(int iprn, float128 tdjmobstt,
                                           const auxfiles::ConstellationStatus& gcs, int& iblock, int& isv,
                                           int& ierrptt2b, frame::Log& log) {
    ierrptt2b = 0;
    // A day count outside any table date (or not a number) matches no vehicle; converting it to an
    // integer would not be defined.
    const bool usable_epoch = !isnanq(tdjmobstt) && tdjmobstt > -1.0e9Q && tdjmobstt < 1.0e9Q;
    if (usable_epoch) {
        const int idjm = static_cast<int>(tdjmobstt); // truncation toward zero
        for (const auto& cand : gcs.candidates(iprn)) {
            isv = cand.isv;
            if (cand.idjm0 == 0 || cand.idjm1 == 0) {
                iblock = 0;
                log.list("ERROR: No SV found compatible with previous routine");
                log.list("ERROR:   ...  iprn = ", iprn);
                ierrptt2b = 1;
                return;
            }
            if (cand.idjm0 <= idjm && idjm <= cand.idjm1) {
                iblock = cand.iblock;
                return;
            }
        }
    }
    iblock = 0;
    isv = 0;
    log.list("ERROR: NO SV found for the given PRN and transmit time");
    log.list("       iprn= ", iprn);
    ierrptt2b = 2;
}

} // namespace quelmar::orbits
