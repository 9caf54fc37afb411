// A day of tidal displacements at the stations of the shared data (positions from their RINEX headers,
// ocean loading coefficients from otl/OCEAN-GOT00.dat) against tests/models/tides_reference.py, code
// written separately from the published descriptions: the solid tide with the same Sun and Moon, the
// loading synthesised there with the 342 harmonics of the later tables and here with 141.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "../../tools/lib/blq.hpp"
#include "models/ocean_loading.hpp"
#include "models/solid_tide.hpp"
#include "models/sun_moon.hpp"
#include "support/support.hpp"

namespace {

using namespace quelmar;
using namespace quelmar::test;

struct Station {
    std::string name, rinex;
    int year, month, day, doy;
};

models::Vec3 header_position(const fs::path& rinex) {
    std::ifstream in(rinex);
    models::Vec3 x{};
    for (std::string l; std::getline(in, l);)
        if (l.find("APPROX POSITION XYZ") != std::string::npos) {
            std::istringstream(l.substr(0, 60)) >> x[0] >> x[1] >> x[2];
            break;
        }
    return x;
}

TEST(TidesRealData, ADayAtEachStationAgainstTheIndependentCode) {
    QUELMAR_NEED_DATA("rinex/2008-148/acor1480.08o", "rinex/2002-030/bell0300.02o", "otl/OCEAN-GOT00.dat");
    const Station stations[] = {{"ACOR", "rinex/2008-148/acor1480.08o", 2008, 5, 27, 148},
                                {"MADR", "rinex/2008-148/madr1480.08o", 2008, 5, 27, 148},
                                {"SCOA", "rinex/2008-148/scoa1480.08o", 2008, 5, 27, 148},
                                {"SFER", "rinex/2008-148/sfer1480.08o", 2008, 5, 27, 148},
                                {"BELL", "rinex/2002-030/bell0300.02o", 2002, 1, 30, 30},
                                {"EBRE", "rinex/2002-030/ebre0300.02o", 2002, 1, 30, 30}};
    const auto blq = tools::blq::read_file(shared_data("otl/OCEAN-GOT00.dat").string());
    std::ostringstream cases;
    cases.precision(17);
    std::vector<models::Vec3> ours_tide, ours_load;
    for (const Station& s : stations) {
        const models::Vec3 x = header_position(shared_data(s.rinex));
        const tools::blq::Station* b = tools::blq::find(blq, s.name);
        ASSERT_NE(b, nullptr) << s.name;
        models::OtlTable amp{}, lag{};
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 11; ++j)
                amp[k][j] = static_cast<float>(b->amplitude[k][j]), lag[k][j] = static_cast<float>(b->phase[k][j]);
        // Every 20 minutes and 7 seconds through the day, the last second 59 of its minute.
        for (int n = 0; n < 72; ++n) {
            const int sod = n * 1207, hr = sod / 3600, mi = sod / 60 % 60, se = sod % 60;
            double xs, ys, zs, xm, ym, zm;
            models::sub_sun_moon(s.year, s.doy, sod / 86400.0, xs, ys, zs, xm, ym, zm);
            const models::Vec3 sun{xs * 1000, ys * 1000, zs * 1000}, moon{xm * 1000, ym * 1000, zm * 1000};
            models::Vec3 dx{};
            models::tide(x, s.year, s.month, s.day, sod / 3600.0, sun, moon, dx);
            ours_tide.push_back(dx);
            cases << "T " << x[0] << ' ' << x[1] << ' ' << x[2] << ' ' << s.year << ' ' << s.month << ' ' << s.day
                  << ' ' << sod / 3600.0 << ' ' << sun[0] << ' ' << sun[1] << ' ' << sun[2] << ' ' << moon[0] << ' '
                  << moon[1] << ' ' << moon[2] << '\n';
            std::array<double, 3> denu{};
            models::ocean_tide_loading1(s.year, s.doy, hr, mi, se, amp, lag, denu);
            ours_load.push_back({denu[2], -denu[0], -denu[1]}); // up, west, south
            cases << "L " << s.year << ' ' << s.doy << ' ' << hr << ' ' << mi << ' ' << se;
            for (const auto* t : {&amp, &lag})
                for (int k = 0; k < 3; ++k)
                    for (int j = 0; j < 11; ++j) cases << ' ' << static_cast<double>((*t)[k][j]);
            cases << '\n';
        }
    }
    TempDir dir;
    dir.write("cases", cases.str());
    const Ran r = shell(dir, "python3 " + shq(fs::path(QUELMAR_SOURCE_DIR) / "tests/models/tides_reference.py") +
                                 " cases");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream ref(r.out);
    double worst_tide = 0, worst_load = 0, largest_load = 0;
    for (std::size_t n = 0; n < ours_tide.size(); ++n) {
        models::Vec3 t{}, l{};
        ref >> t[0] >> t[1] >> t[2] >> l[0] >> l[1] >> l[2];
        ASSERT_TRUE(ref) << "reference output ends at case " << n;
        for (int i = 0; i < 3; ++i) {
            worst_tide = std::max(worst_tide, std::fabs(t[i] - ours_tide[n][i]));
            worst_load = std::max(worst_load, std::fabs(l[i] - ours_load[n][i]));
            largest_load = std::max(largest_load, std::fabs(l[i]));
        }
    }
    std::printf("[ figures  ] %zu epochs at 6 stations: solid tide max |diff| %.1e m; ocean loading max |diff| %.1e m "
                "(largest component %.4f m)\n", ours_tide.size(), worst_tide, worst_load, largest_load);
    EXPECT_LT(worst_tide, 1e-6);
    EXPECT_LT(worst_load, 1e-4);
    EXPECT_GT(largest_load, 0.005); // ACOR on the Atlantic coast: centimetres
}

} // namespace
