// Cost of the troposphere: reading the GPT2w 1-degree grid (the start-up cost of models 2 to 4, once per
// run), and per observation each model as the model step calls it, over a day of elevations and
// epochs at BELL (41.6 N, 1.4 E, 853 m). The grid is that of the shared data folder
// (../shared/data/tropo/gpt2_1wA.grd, 18.7 MB), or when that folder is absent a synthetic grid of the same
// size and layout written to the temporary folder.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "auxfiles/tropo_files.hpp"
#include "frame/log.hpp"

using namespace quelmar;

namespace {

std::string grid_file() {
    const std::string shared = std::string(QUELMAR_SOURCE_DIR) + "/../shared/data/tropo/gpt2_1wA.grd";
    if (std::filesystem::exists(shared)) return shared;
    const std::string tmp = (std::filesystem::temp_directory_path() / "quelmar-bench-gpt2_1wA.grd").string();
    std::ofstream f(tmp);
    f << "% synthetic GPT2w grid\n";
    for (int i = 0; i < 180; ++i)
        for (int j = 0; j < 360; ++j)
            f << "  " << 89.5 - i << "  " << j + 0.5
              << " 101423    21  408 -219 -123 259.2 -13.2 -6.1  2.6  0.3  1.64 -1.62 -0.67  0.51  0.35   1.5   7.1  3.0"
                 " -0.8  1.7   19.38    -0.00 1.1879 -0.0345 -0.0129  0.0054  0.0035  0.5794  0.0084  0.0081 -0.0004"
                 "  0.0050 1.6627 -0.8100 -0.3028  0.0924 -0.1833 255.1  -9.6 -4.3  2.3  1.2 \n";
    return tmp;
}

frame::Log& quiet_log() {
    static frame::Log log;
    if (!log.is_open()) log.open_named("/dev/null");
    log.silent = true;
    return log;
}

const models::Gpt2wGrid& grid() {
    static models::Gpt2wGrid g;
    if (!g.loaded()) auxfiles::read_tuv_tropo_grid(grid_file(), g, quiet_log());
    return g;
}

// The n-th observation of the day: seven satellites every 30 s, elevations from 10 to 90 degrees.
struct Obs {
    double sec, ele, mjd;
};
Obs obs(long n) {
    const double sec = static_cast<double>((n / 7) * 30 % 86400);
    return {sec, 10.0 + static_cast<double>((n * 37) % 80), 52304.0 + sec / 86400.0};
}

} // namespace

static void BM_ReadGpt2wGrid(benchmark::State& state) {
    const std::string f = grid_file();
    for (auto _ : state) {
        models::Gpt2wGrid g;
        auxfiles::read_tuv_tropo_grid(f, g, quiet_log());
        benchmark::DoNotOptimize(g.points.data());
    }
    state.counters["MB_text"] = static_cast<double>(std::filesystem::file_size(f)) / 1e6;
    state.counters["MB_table"] = static_cast<double>(64800 * sizeof(models::Gpt2wPoint)) / 1e6;
}
BENCHMARK(BM_ReadGpt2wGrid)->Unit(benchmark::kMillisecond);

static void BM_Model1Niell(benchmark::State& state) {
    long n = 0;
    for (auto _ : state) {
        const Obs o = obs(n++);
        models::TroposphereTerms t;
        models::tropospheric_correction1(41.5996, 853.4, o.ele, 30, 0.1, t);
        benchmark::DoNotOptimize(t.slant_trop);
    }
}
BENCHMARK(BM_Model1Niell);

// Models 2 to 4: GPT2w at the station, the zenith delays and VMF1 with the model's coefficients (model 3
// with its bilinear and time interpolation on a global 2.5 x 2 degree grid of five epochs).
static void BM_Model(benchmark::State& state) {
    const int model = static_cast<int>(state.range(0));
    const models::Gpt2wGrid& g = grid();
    models::VmfGrid v;
    v.latf = -90, v.lat0 = 90, v.lon0 = 0, v.lonf = 357.5, v.delta_lat = 2, v.delta_lon = 2.5, v.nrow = 91, v.ncol = 144;
    v.ah.assign(5 * 91 * 144, 0.00123), v.aw.assign(5 * 91 * 144, 0.00054);
    frame::Log& log = quiet_log();
    long n = 0;
    for (auto _ : state) {
        const Obs o = obs(n++);
        double e[4] = {0.00121, 0.00051, 0.00122, 0.00052}, ah = 0, aw = 0;
        if (model == 3) models::spatial_interpolation(v, 41.5996, 1.4011, o.sec, e[0], e[1], e[2], e[3], log);
        if (model >= 3) models::temporal_interpolation(o.sec, e[0], e[1], e[2], e[3], ah, aw);
        models::TroposphereTerms t;
        models::tropospheric_correction2(model, 41.5996, 1.4011, 853.4, o.ele, o.mjd, 30, ah, aw, g, t, log);
        benchmark::DoNotOptimize(t.slant_trop);
    }
}
BENCHMARK(BM_Model)->Arg(2)->Arg(3)->Arg(4);

BENCHMARK_MAIN();
