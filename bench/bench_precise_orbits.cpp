// Precise-orbit tables: the start-up load through the real loader, and the slot lookups of the
// interpolator.
//
//   bench_precise_orbits --load S3CFILE INTERVAL [ROVERFILE ROVER_INTERVAL STATIONFILE]
//       loads the files as the start-up does and prints the load time and the peak resident memory of
//       the process (run it once per case: the peak is per process);
//   bench_precise_orbits [Google Benchmark options]
//       times the lookups of a ten-record interpolation window in a one-day table at 30 s.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "auxfiles/precise_orbits.hpp"
#include "frame/config.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"

using namespace quelmar;

namespace {

std::string padded(const std::string& s) {
    std::string p = s;
    p.resize(132, ' ');
    return p;
}

long peak_rss_kib() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

int load(int argc, char** argv) {
    if (argc != 4 && argc != 7) {
        std::fprintf(stderr, "usage: %s --load S3CFILE INTERVAL [ROVERFILE ROVER_INTERVAL STATIONFILE]\n",
                     argv[0]);
        return 1;
    }
    frame::Config cfg;
    cfg.precise_instead_of_eph_orbits = true;
    cfg.interpolated_precise_satclocks_instead_of_broadcast = true;
    cfg.s3cfile = padded(argv[2]);
    cfg.iexpected_dtsec_sp3cfiles = std::stoi(argv[3]);
    cfg.dtsec2tol_s3c = 1;
    if (argc == 7) {
        cfg.rover_sp3file = padded(argv[4]);
        cfg.iexpected_dtsec_rover_sp3file = std::stoi(argv[5]);
        cfg.sta2roversp3file = padded(argv[6]);
        cfg.dtsec2tol_rs3 = 0.01;
    }
    frame::Log log;
    log.open_named("bench_precise_orbits.log");
    log.silent = true;
    const long rss0 = peak_rss_kib();
    auxfiles::PreciseOrbitTable sat, rover;
    auxfiles::RoverStationList stations;
    bool required = false;
    const auto t0 = std::chrono::steady_clock::now();
    try {
        auxfiles::load_precise_orbits(cfg, sat, rover, stations, required, -9999, log);
    } catch (const frame::Stop& s) {
        std::fprintf(stderr, "stopped: %s\n", s.message().c_str());
        return 1;
    }
    const auto t1 = std::chrono::steady_clock::now();
    const double sec = std::chrono::duration<double>(t1 - t0).count();
    const std::size_t records = sat.size() + rover.size();
    std::printf(
        "load: %zu satellite records (%d epochs) + %zu rover records (%d epochs) in %.3f s = %.0f records/s; "
        "peak RSS %ld KiB (%ld KiB before the load), table storage %.1f MiB\n",
        sat.size(), sat.nepochs3c, rover.size(), rover.nepochs3c, sec, records / sec, peak_rss_kib(), rss0,
        records * sizeof(auxfiles::S3cSlot) / 1048576.0);
    return 0;
}

// One day at 30 s of 32 satellites, built in memory.
const auxfiles::PreciseOrbitTable& day_at_30s() {
    static const auxfiles::PreciseOrbitTable t = [] {
        auxfiles::PreciseOrbitTable t;
        std::array<__float128, auxfiles::ncomp_s3c> c{};
        for (int slot = 1; slot <= 86400; slot += 30)
            for (int prn = 1; prn <= 32; ++prn) {
                c[0] = prn * 1000.0 + slot;
                t.store(prn, slot, c, true);
            }
        return t;
    }();
    return t;
}

// The interpolator's access: is each of the ten window slots valid, and its components.
void BM_WindowLookup(benchmark::State& state) {
    const auto& t = day_at_30s();
    int anchor = 4 * 30 + 1;
    for (auto _ : state) {
        __float128 sum = 0;
        for (int k = -4; k <= 5; ++k) {
            const auxfiles::S3cSlot* s = t.find(7, anchor + 30 * k);
            if (s != nullptr && s->valid) sum += s->c[0];
        }
        benchmark::DoNotOptimize(sum);
        anchor += 30;
        if (anchor > 86400 - 5 * 30) anchor = 4 * 30 + 1;
    }
}
BENCHMARK(BM_WindowLookup);

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--load") == 0) return load(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
