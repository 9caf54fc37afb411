// The slant content of a ray against a fine quadrature of the same density along the same ray, the
// sampling seen on a vertical ray, the window, and the stops.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "frame/stop.hpp"
#include "iono/stec_apriori.hpp"
#include "support/support.hpp"

namespace {

using namespace quelmar;

// A Chapman layer: 1e12 electrons/m^3 at 350 km, scale height 60 km.
double chapman(double h) {
    const double z = (h - 350.0) / 60.0;
    return 1e12 * std::exp(1.0 - z - std::exp(-z));
}

TEST(StecApriori, ContentAgainstAFineQuadratureOfTheSameRay) {
    // A receiver on the sphere and a satellite at 20200 km seen at about 30 degrees of elevation.
    const models::Vec3 rec{6371000.0, 0, 0}, sat{6371000.0 + 11000e3, 17500e3, 6000e3};
    auto density = [](double h, double, double) { return chapman(h); };
    // Trapezoids of 1 m along the ray within the window.
    models::Vec3 v{sat[0] - rec[0], sat[1] - rec[1], sat[2] - rec[2]};
    const double dist = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) / 1000;
    double fine = 0;
    for (double s = 0.0005; s < dist; s += 0.001) {
        const double x = 6371 + v[0] / 1000 / dist * s, y = v[1] / 1000 / dist * s, z = v[2] / 1000 / dist * s;
        const double h = std::sqrt(x * x + y * y + z * z) - 6371;
        if (h > 60 && h < 2000) fine += chapman(h) * 1.0; // 0.001 km = 1 m
    }
    fine *= 1.05058e-17;
    test::CapturedLog log;
    struct Case {
        double bottom, top, tolerance; // steps (km) and the relative sampling error allowed
    } cases[] = {{1, 1, 1e-9}, {5, 20, 1e-5}, {10, 50, 2e-5}}; // measured: 2e-11, 1.3e-6, 3.2e-6
    for (const Case& c : cases) {
        const double stec = iono::stec_apriori({'n', 150, 60, 2000, 1000, c.bottom, c.top}, rec, sat, density, log.log);
        std::printf("[ figures  ] steps %.0f/%.0f km: %.4f m against %.4f m, relative %.1e\n", c.bottom, c.top, stec,
                    fine, stec / fine - 1);
        EXPECT_NEAR(stec / fine, 1.0, c.tolerance) << c.bottom << "/" << c.top;
    }
}

TEST(StecApriori, SamplingWindowAndStops) {
    // A vertical ray: the height of a sample is its distance from the receiver.
    const models::Vec3 rec{0, 0, 6371000.0}, sat{0, 0, 6371000.0 + 1000e3};
    std::vector<double> heights;
    auto record = [&](double h, double, double) { heights.push_back(h); return 1.0; };
    test::CapturedLog log;
    iono::stec_apriori({'n', 150, 0, 1e9, 500, 10, 10}, rec, sat, record, log.log);
    ASSERT_EQ(heights.size(), 100u);
    for (std::size_t n = 0; n < heights.size(); ++n) EXPECT_NEAR(heights[n], 5.0 + 10.0 * n, 1e-6) << n;
    // Below the window, and above it: nothing.
    EXPECT_EQ(iono::stec_apriori({'n', 150, 1200, 2000, 500, 10, 10}, rec, sat, record, log.log), 0.0);
    EXPECT_EQ(iono::stec_apriori({'n', -99.9, 1200, 2000, 500, 10, 10}, rec, sat, record, log.log), 0.0);
    // Bottom-side steps up to the separating height (a sample on it included), top-side steps above it.
    heights.clear();
    iono::stec_apriori({'n', 150, 0, 1e9, 95, 10, 50}, rec, sat, record, log.log);
    ASSERT_GE(heights.size(), 13u);
    EXPECT_NEAR(heights[9], 95.0, 1e-6);
    EXPECT_NEAR(heights[10], 105.0, 1e-6);
    EXPECT_NEAR(heights[11], 155.0, 1e-6);
    // The stops: a flux NeQuick cannot use, a model name that does not exist.
    struct Stop {
        iono::StecSampling s;
        const char* message;
    } stops[] = {{{'n', 0.001, 0, 2000, 500, 10, 10}, "Non valid value of Solar Flux"},
                 {{'x', 150, 0, 2000, 500, 10, 10}, "ERROR: unknown value of apriori_iono_model_name"}};
    for (const Stop& st : stops) {
        test::CapturedLog l;
        try {
            iono::stec_apriori(st.s, rec, sat, record, l.log);
            ADD_FAILURE() << st.message;
        } catch (const frame::Stop& e) {
            EXPECT_EQ(e.message(), st.message);
            EXPECT_NE(l.text().find(st.message), std::string::npos) << l.text();
        }
    }
}

} // namespace
