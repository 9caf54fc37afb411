// GPT2w against the worked examples published with the model (Vienna, 2 August 2012, with and without
// the seasonal terms, on the 5-degree grid). The 1-degree grid of the shared data (derived from the
// 5-degree one) serves the real days of tests/chain.
#include <gtest/gtest.h>

#include <cmath>

#include "auxfiles/tropo_files.hpp"
#include "support/support.hpp"

namespace {

using namespace quelmar;
using namespace quelmar::test;

models::Gpt2wGrid read_grid(const std::string& rel, double step) {
    models::Gpt2wGrid g;
    g.step = step, g.nlat = static_cast<int>(180 / step), g.nlon = static_cast<int>(360 / step);
    CapturedLog log;
    auxfiles::read_tuv_tropo_grid(shared_data(rel).string(), g, log.log);
    return g;
}

TEST(TroposphereRealData, Gpt2wPublishedExamples) {
    QUELMAR_NEED_DATA("tropo/gpt2_5w.grd");
    const models::Gpt2wGrid g = read_grid("tropo/gpt2_5w.grd", 5);
    // Printed digits of the examples: p, T, dT, Tm, e, ah, aw, la, undu.
    const double want[2][9] = {{1002.56, 22.12, -6.53, 281.11, 16.72, 0.0012647, 0.0005726, 2.6964, 44.06},
                               {1003.49, 11.95, -5.47, 273.00, 10.23, 0.0012395, 0.0005560, 2.6649, 44.06}};
    const double half_unit[9] = {0.005, 0.005, 0.005, 0.005, 0.005, 5e-8, 5e-8, 5e-5, 0.005};
    for (int it = 0; it < 2; ++it) {
        const auto s = models::gpt2_1w_no_read(g, 56141.0, 48.20 * M_PI / 180, 16.37 * M_PI / 180, 156.0, it == 0);
        const double got[9] = {s.p, s.t, s.dt, s.tm, s.e, s.ah, s.aw, s.la, s.undu};
        for (int v = 0; v < 9; ++v) EXPECT_NEAR(got[v], want[it][v], half_unit[v]) << "example " << it + 1 << " value " << v;
    }
}

} // namespace
