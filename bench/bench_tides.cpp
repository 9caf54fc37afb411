// Cost of one call of each tide model, as the model step makes it when nothing is reused: the adopted
// solid tide, the simpler one beside it (with its own Sun and Moon), and the ocean loading synthesis of
// one epoch (141 harmonics from the eleven constituents). BELL on 2002-01-30, epochs through the day.
#include <benchmark/benchmark.h>

#include "models/ocean_loading.hpp"
#include "models/solid_tide.hpp"
#include "models/sun_moon.hpp"

using namespace quelmar;

namespace {
const models::Vec3 bell{4775849.62, 116814.10, 4213018.71};
}

static void BM_SolidTide(benchmark::State& state) {
    double xs, ys, zs, xm, ym, zm;
    models::sub_sun_moon(2002, 30, 0.25, xs, ys, zs, xm, ym, zm);
    const models::Vec3 sun{xs * 1000, ys * 1000, zs * 1000}, moon{xm * 1000, ym * 1000, zm * 1000};
    long n = 0;
    for (auto _ : state) {
        models::Vec3 d{};
        models::tide(bell, 2002, 1, 30, static_cast<double>(n++ % 2880) * 30 / 3600.0, sun, moon, d);
        benchmark::DoNotOptimize(d);
    }
}
BENCHMARK(BM_SolidTide);

static void BM_EarthTide1(benchmark::State& state) {
    long n = 0;
    for (auto _ : state) {
        models::Vec3 d{};
        models::earth_tide1(bell, 2002, 30, static_cast<double>(n++ % 2880) * 30, d);
        benchmark::DoNotOptimize(d);
    }
}
BENCHMARK(BM_EarthTide1);

static void BM_OceanLoading(benchmark::State& state) {
    models::OtlTable amp{}, lag{};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 11; ++j) amp[k][j] = 0.001f * static_cast<float>(j + 1) / (k + 1), lag[k][j] = 30.0f * j;
    long n = 0;
    for (auto _ : state) {
        std::array<double, 3> denu{};
        const int sod = static_cast<int>(n++ % 2880) * 30;
        models::ocean_tide_loading1(2002, 30, sod / 3600, sod / 60 % 60, sod % 60, amp, lag, denu);
        benchmark::DoNotOptimize(denu);
    }
}
BENCHMARK(BM_OceanLoading);

BENCHMARK_MAIN();
