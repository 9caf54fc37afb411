// NeQuick against tests/iono/nequick_reference.py, a second evaluation of the model written separately
// from its published description, on the coefficient files of the shared data: heights 100-2000 km, all
// latitudes, every third month, low to saturated solar flux, through the day.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "iono/nequick.hpp"
#include "support/support.hpp"

namespace {

using namespace quelmar;
using namespace quelmar::test;

TEST(NeQuickRealData, DensitiesAgainstTheIndependentEvaluation) {
    QUELMAR_NEED_DATA("iono/nequick-itu/ccir11.asc", "iono/nequick-itu/diplats.asc");
    const std::string dir = shared_data("iono/nequick-itu").string();
    iono::NeQuick model(dir);
    std::ostringstream cases;
    cases.precision(17);
    std::vector<double> ours;
    std::vector<std::string> what;
    int n = 0;
    for (int month : {1, 4, 7, 10})
        for (double flux : {68.0, 150.0, 193.0, 260.0})
            for (double lat : {-80.0, -45.0, -12.5, 0.0, 7.5, 33.3, 60.0, 84.0})
                for (double h : {100.0, 180.0, 300.0, 550.0, 1000.0, 2000.0}) {
                    const double lon = std::fmod(37.0 * n, 360.0) - 180.0, ut = std::fmod(5.5 * n, 24.0);
                    ++n;
                    cases << h << ' ' << lat << ' ' << lon << ' ' << month << ' ' << flux << ' ' << ut << '\n';
                    ours.push_back(model.density(h, lat, lon, month, flux, ut));
                    what.push_back(cases.str().substr(cases.str().rfind('\n', cases.str().size() - 2) + 1));
                }
    TempDir tmp;
    tmp.write("cases", cases.str());
    const Ran r = shell(tmp, "python3 " + shq(fs::path(QUELMAR_SOURCE_DIR) / "tests/iono/nequick_reference.py") +
                                 " " + shq(dir) + " cases");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream ref(r.out);
    double worst = 0;
    std::string worst_case;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        double x = 0;
        ASSERT_TRUE(ref >> x) << "reference output ends at case " << i;
        const double rel = std::fabs(ours[i] / x - 1.0);
        if (rel > worst) worst = rel, worst_case = what[i];
    }
    std::printf("[ figures  ] NeQuick, %zu densities (100-2000 km, 8 latitudes, 4 months, flux 68-260): worst "
                "relative difference from the independent evaluation %.1e at %s", ours.size(), worst,
                worst_case.c_str());
    EXPECT_LT(worst, 1e-12);
}

} // namespace
