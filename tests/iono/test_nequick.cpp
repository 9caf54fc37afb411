// NeQuick electron density on the shared coefficient files: peaks in the ranges the ionosphere has, the
// shape of the profile (true maximum at hmF2, falling topside, smooth joins), the day/night and
// solar-cycle behaviour, the modified dip against an independent grid, the flux saturation, continuity,
// and the errors for missing or malformed files.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

#include "iono/nequick.hpp"
#include "support/support.hpp"

using namespace quelmar::iono;
using namespace quelmar::test;

namespace {
const std::string dir = shared_data("iono/nequick-itu").string();
struct Case {
    const char* where;
    double lat, lon;
    int month;
    double flux, ut;
};
// Mid-latitude, equatorial anomaly crest, magnetic equator, southern winter, high latitude; low and high
// activity; day and night.
const Case cases[] = {
    {"Rome noon, March, low", 41.9, 12.5, 3, 70, 11.2},
    {"Rome midnight, March, high", 41.9, 12.5, 3, 180, 23.2},
    {"Taiwan 14 LT, Oct, mid", 23.5, 121.0, 10, 140, 6.0},
    {"Peru noon, Jan, mid", -12.0, -77.0, 1, 120, 17.0},
    {"Hobart 4 LT, July, low", -42.9, 147.3, 7, 75, 18.2},
    {"Tromso noon, June, mid", 69.6, 19.0, 6, 130, 10.7},
    {"South Pole, Dec, high", -90.0, 0.0, 12, 200, 3.0},
    {"Pacific 2 LT, Sept, low", 0.0, -150.0, 9, 68, 12.0},
};
} // namespace

TEST(NeQuick, ProfilesHavePlausiblePeaksAndShape) {
    QUELMAR_NEED_DATA("iono/nequick-itu/ccir11.asc");
    NeQuick nq(dir);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const NeQuickAnchors a = nq.anchors(c.lat, c.lon, c.month, c.flux, c.ut);
        const double nmax = a.nmax * 1e11;
        // 1e11 .. 3e12 ordinarily; the dark polar night falls lower, and the crest of the equatorial
        // anomaly at an equinox afternoon reaches foF2 16 MHz (3.3e12) at moderate activity.
        EXPECT_TRUE(nmax > 1e10 && nmax < 3.5e12) << nmax;
        EXPECT_TRUE(a.hmF2 > 200 && a.hmF2 < 450) << a.hmF2;
        EXPECT_NEAR(nmax / (0.124e11 * a.foF2 * a.foF2), 1.0, 1e-6); // the peak density is that of foF2
        EXPECT_TRUE(a.m3000 > 2 && a.m3000 < 4) << a.m3000;
        EXPECT_TRUE(a.foE >= 0.7 && a.foE < 4.5) << a.foE;
        EXPECT_TRUE(a.foF1 < 1.0 || a.hmF1 > a.hmE); // by day; at night F1 is a vanishing ledge
        EXPECT_LT(a.hmF1, a.hmF2);
        auto ne = [&](double h) { return nq.density(h, c.lat, c.lon, c.month, c.flux, c.ut); };
        EXPECT_DOUBLE_EQ(ne(a.hmF2), nmax);
        double prev = nmax;
        for (double h = a.hmF2 + 1; h < 20000; h *= 1.02) { // topside: strictly falling
            ASSERT_LT(ne(h), prev) << h;
            prev = ne(h);
        }
        EXPECT_LT(ne(1000), 0.3 * nmax);
        for (double h = 60; h < a.hmF2; h += 0.5) ASSERT_TRUE(ne(h) > 0 && ne(h) < nmax) << h; // bottomside
        // Continuous where the formulation changes: at 100 km and at the peak.
        for (double h : {100.0, a.hmF2}) EXPECT_NEAR(ne(h - 1e-6) / ne(h + 1e-6), 1.0, 1e-6) << h;
    }
}

TEST(NeQuick, DayNightSolarCycleAndGrid) {
    QUELMAR_NEED_DATA("iono/nequick-itu/ccir11.asc", "iono/nequick-itu/modip.asc");
    NeQuick nq(dir);
    // Rome, equinox: foF2 several MHz higher at noon than before dawn and at high activity than at low;
    // foE at midnight is the 0.7 MHz floor, by day it follows the Sun; F1 only by day.
    EXPECT_NEAR(nq.anchors(41.9, 12.5, 3, 150, 23.2).foE, 0.7, 0.02);
    const auto noon = nq.anchors(41.9, 12.5, 3, 150, 11.2), dawn = nq.anchors(41.9, 12.5, 3, 150, 3.2);
    const auto low = nq.anchors(41.9, 12.5, 3, 70, 11.2);
    EXPECT_TRUE(noon.foF2 > dawn.foF2 + 2 && noon.foF2 > low.foF2 + 2);
    EXPECT_TRUE(dawn.foE < 0.9 && noon.foE > 2.5 && dawn.foF1 < 1e-6);
    EXPECT_NEAR(noon.foF1, 1.4 * noon.foE, 1e-3);
    EXPECT_NEAR(noon.chi, 41.9 + 2.0, 3.0); // near equinox the noon zenith angle is about the latitude
    // Modified dip against the independent 1 x 2 deg grid made from the same field model (modip.asc,
    // 181 x 181 after a title line; it differs from our bicubic 5 x 10 deg interpolation by < 0.2 deg):
    // checks the grid layout, the interpolation, the dip and the modip.
    std::istringstream grid(read_file(shared_data("iono/nequick-itu/modip.asc")));
    std::string title;
    std::getline(grid, title);
    double worst = 0, sum = 0, ref = 0;
    int n = 0;
    for (int i = 0; i <= 180; ++i)
        for (int j = 0; j <= 180 && grid >> ref; ++j, ++n) {
            const double d = std::abs(nq.modip(i - 90.0, 2.0 * j - 180) - ref);
            worst = std::max(worst, d);
            sum += d;
        }
    EXPECT_EQ(n, 181 * 181);
    EXPECT_LT(worst, 0.25);
    EXPECT_LT(sum / n, 0.01);
    // Continuous across the date line; at midnight UT only the day of the mid-month solar declination
    // steps (by one day), a relative jump of a few 1e-5.
    const double w = nq.density(300, -30, 179.9999, 5, 120, 8),
                 e = nq.density(300, -30, -180.0001, 5, 120, 8);
    EXPECT_NEAR(w / e, 1.0, 1e-5);
    const double t0 = nq.density(300, 20, 60, 8, 120, 23.99999),
                 t1 = nq.density(300, 20, 60, 8, 120, 24.00001);
    EXPECT_NEAR(t0 / t1, 1.0, 1e-4);
    EXPECT_DOUBLE_EQ(nq.density(300, 20, 60, 8, 120, 0.5), nq.density(300, 20, 420, 8, 120, 24.5));
}

TEST(NeQuick, FluxSaturatesAt193) {
    QUELMAR_NEED_DATA("iono/nequick-itu/ccir11.asc");
    NeQuick nq(dir);
    EXPECT_NEAR(NeQuick::r12_of_flux(193), 150.0, 0.2);
    EXPECT_NEAR(NeQuick::r12_of_flux(63.7 + 0.728 * 50 + 8.9e-4 * 2500), 50.0, 1e-3);
    EXPECT_DOUBLE_EQ(NeQuick::r12_of_flux(300), NeQuick::r12_of_flux(193));
    for (double h : {90.0, 150.0, 250.0, 350.0, 800.0}) {
        const double sat = nq.density(h, 30, -100, 11, 193, 18);
        EXPECT_DOUBLE_EQ(nq.density(h, 30, -100, 11, 260, 18), sat) << h;
        EXPECT_LT(nq.density(h, 30, -100, 11, 170, 18), sat) << h;
    }
}

TEST(NeQuick, MissingOrMalformedFilesAreNamed) {
    QUELMAR_NEED_DATA("iono/nequick-itu/ccir11.asc", "iono/nequick-itu/diplats.asc");
    TempDir t;
    auto message_of = [](auto&& f) -> std::string {
        try {
            f();
        } catch (const NeQuickError& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_NE(message_of([&] { NeQuick(t.path().string()); }).find("DIPLATS.ASC"), std::string::npos);
    // The upper-case name is found first, the lower-case one otherwise.
    std::filesystem::copy_file(shared_data("iono/nequick-itu/diplats.asc"), t.path("DIPLATS.ASC"));
    NeQuick nq(t.path().string());
    std::string m = message_of([&] { nq.density(300, 0, 0, 2, 100, 12); });
    EXPECT_TRUE(m.find("CCIR12.ASC") != m.npos && m.find("ccir12.asc") != m.npos) << m;
    const std::string text = read_file(shared_data("iono/nequick-itu/ccir11.asc"));
    t.write("ccir11.asc", text.substr(0, text.size() / 2));
    m = message_of([&] { nq.density(300, 0, 0, 1, 100, 12); });
    EXPECT_TRUE(m.find("ccir11.asc: record") != m.npos && m.find("end of file") != m.npos) << m;
    t.write("CCIR13.ASC", replaced(text, "0.52396593E+01", "0.5239x593E+01"));
    m = message_of([&] { nq.density(300, 0, 0, 3, 100, 12); });
    EXPECT_NE(m.find("CCIR13.ASC: record 1"), std::string::npos) << m;
    t.write("ccir14.asc", text);
    EXPECT_GT(nq.density(300, 0, 0, 4, 100, 12), 1e10);
    EXPECT_NE(message_of([&] { nq.density(300, 0, 0, 13, 100, 12); }).find("month 13"), std::string::npos);
}
