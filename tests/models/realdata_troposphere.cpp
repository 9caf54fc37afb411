// GPT2w against the worked examples published with the model (Vienna, 2 August 2012, with and without
// the seasonal terms, on the 5-degree grid), and the 1-degree grid of the shared data, which was derived
// from the 5-degree one by interpolation, against the 5-degree grid over the globe.
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

TEST(TroposphereRealData, DerivedOneDegreeGridFollowsTheFiveDegreeGrid) {
    QUELMAR_NEED_DATA("tropo/gpt2_5w.grd", "tropo/gpt2_1wA.grd");
    const models::Gpt2wGrid g5 = read_grid("tropo/gpt2_5w.grd", 5), g1 = read_grid("tropo/gpt2_1wA.grd", 1);
    ASSERT_EQ(g1.points.size(), 64800u);
    // Places on both hemispheres, across the date line and Greenwich, near a pole, on high ground.
    const double places[][3] = {{48.20, 16.37, 156},  {-33.9, 18.4, 30},    {64.1, -21.9, 50},   {-77.8, 166.7, 40},
                                {0.5, -179.7, 10},    {40.82, 0.49, 108},   {41.6, 1.4, 853},    {-16.5, -68.1, 3600},
                                {89.6, 45.0, 0},      {35.7, 139.7, 40},    {-45.0, 359.9, 0}};
    double worst_p = 0, worst_zwd = 0, worst_ah = 0;
    for (const auto& pl : places)
        for (double mjd : {52304.0, 54613.5, 59025.25}) {
            const double lat = pl[0] * M_PI / 180, lon = pl[1] * M_PI / 180;
            const auto a = models::gpt2_1w_no_read(g1, mjd, lat, lon, pl[2], true);
            const auto b = models::gpt2_1w_no_read(g5, mjd, lat, lon, pl[2], true);
            worst_p = std::max(worst_p, std::fabs(a.p - b.p));
            worst_zwd = std::max(worst_zwd, std::fabs(models::asknewet(a.e, a.tm, a.la) - models::asknewet(b.e, b.tm, b.la)));
            worst_ah = std::max(worst_ah, std::fabs(a.ah - b.ah));
        }
    std::printf("[ figures  ] GPT2w 1-degree (derived) against 5-degree grid: max |diff| pressure %.2f hPa, wet zenith "
                "delay %.4f m, ah %.2e\n", worst_p, worst_zwd, worst_ah);
    // Interpolating twice moves values within a 5-degree cell: by hPa where the orography is steep.
    EXPECT_LT(worst_p, 12.0);
    EXPECT_LT(worst_zwd, 0.01);
    EXPECT_LT(worst_ah, 1e-6);
}

} // namespace
