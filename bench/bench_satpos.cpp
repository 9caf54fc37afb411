// Cost per observation of the orbit and geometry steps: transmit time, vehicle lookup, satellite
// position and clock from the broadcast ephemeris (two light-time passes, each with Sun, Moon and the
// ray geometry with wind-up and phase centres). The ephemerides, constellation list and receiver are
// those of the embedded example (2002-01-30, BELL); the epochs run through the day at 30 s for the
// seven satellites, as a stream of observations would.
#include <benchmark/benchmark.h>

#include <string>

#include "auxfiles/constellation_status.hpp"
#include "auxfiles/precise_orbits.hpp"
#include "frame/config.hpp"
#include "frame/constants.hpp"
#include "frame/log.hpp"
#include "frame/state.hpp"
#include "messages/ephemeris.hpp"
#include "models/geometry.hpp"
#include "orbits/precise.hpp"
#include "orbits/transmit.hpp"
#include "chain/satellite_step.hpp"
#include "support/read_lines.hpp"

using namespace quelmar;

static void BM_OrbitAndGeometryPerObservation(benchmark::State& state) {
    frame::Log log;
    log.open_named("/dev/null");
    frame::TextSink out;
    out.open("/dev/null");
    frame::RunState st;
    messages::EphemerisTable eph;
    for (const auto& l :
         bench_support::lines_of_file(std::string(QUELMAR_SOURCE_DIR) + "/examples/messages.txt"))
        if (l.rfind("EPH ", 0) == 0) messages::handle_eph(l, eph, st, log, out);
    auxfiles::ConstellationStatus gcs;
    int ierr = 0;
    auxfiles::read_gcs(std::string(QUELMAR_SOURCE_DIR) + "/examples/gps_constellation.txt", gcs, ierr, log);
    frame::Config cfg;
    frame::Constants k;
    k.hionokm1 = 450.0;
    Array2<double, 3, maxrec> recxyz0_;
    recxyz0_(1, 1) = 4775849.62;
    recxyz0_(2, 1) = 116814.10;
    recxyz0_(3, 1) = 4213018.71;
    models::AntennaPhaseTable antenna_phase_{};
    auxfiles::PreciseOrbitTable s3c;
    orbits::PolintWork work;
    int leapsec = 13;
    bool is_lea_read = true;
    const int prns[] = {1, 4, 7, 13, 20, 24, 27};
    long n = 0;
    for (auto _ : state) {
        const int iprn = prns[n % 7];
        const double tsecdayobs = static_cast<double>((n / 7) * 30 % 86400);
        const orbits::float128 tdjmobs = 52304 + orbits::float128(tsecdayobs / 86400.0);
        const auto cc = orbits::choose_clock_coefficients(true, eph, iprn, tdjmobs);
        orbits::float128 tdjmobstt = 0;
        double tsecdaytt = 0, satclockerror0 = 0;
        int ierrtt = 0, iblock = 0, isv = 0, ierrptt = 0;
        orbits::transmit_time1(2.2e7, cc.tdjmtoc, cc.clockbias, cc.clockdrift, cc.clockdriftrate, tdjmobs,
                               tsecdayobs, tdjmobstt, tsecdaytt, satclockerror0, ierrtt, k);
        orbits::prn_and_transmit_time_2_sat_block_id1(iprn, tdjmobstt, gcs, iblock, isv, ierrptt, log);
        chain::SatellitePosition res;
        const int ierr2 = chain::satellite_position_and_clock_from_navigation_msg_v5b(
            true, cfg, is_lea_read, leapsec, iprn, eph, tdjmobstt, tdjmobs, 1, recxyz0_, antenna_phase_,
            iblock, satclockerror0, s3c, work, false, res, k, out, log);
        benchmark::DoNotOptimize(res);
        benchmark::DoNotOptimize(ierr2);
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["obs/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OrbitAndGeometryPerObservation);

BENCHMARK_MAIN();
