// The troposphere models against values computed independently from the publications
// (tests/models/tropo_reference.py: Niell's table, VMF1, Saastamoinen, Askne-Nordius), the grid
// reader's free-form fallback, and the coefficient selection of the downloaded grids and site files
// on small tables whose answers are worked out here by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <tuple>

#include "auxfiles/tropo_files.hpp"
#include "frame/stop.hpp"
#include "support/support.hpp"

namespace {

using namespace quelmar;
using namespace quelmar::test;
constexpr double deg = 57.29577951308232;

TEST(Troposphere, ModelsAgreeWithTheIndependentReference) {
    std::istringstream in(read_file(fs::path(QUELMAR_SOURCE_DIR) / "tests/models/data/tropo_reference.txt"));
    std::string line;
    int cases = 0;
    auto near = [&](double got, double want) { EXPECT_NEAR(got, want, 2e-14 * std::fabs(want)) << line; };
    while (std::getline(in, line)) {
        std::istringstream l(line);
        std::string kind;
        l >> kind;
        if (kind == "N") { // latitude, height, elevation, day -> dry and wet mapping, dry zenith delay
            double lat, h, ele, doy, md, mw, zd;
            l >> lat >> h >> ele >> doy >> md >> mw >> zd;
            models::TroposphereTerms t;
            EXPECT_EQ(models::tropospheric_correction1(lat, h, ele, static_cast<int>(doy), 0.25, t), 0);
            near(t.xmapping_dry, md), near(t.xmapping_wet, mw), near(t.zenith_dry, zd);
            near(t.slant_trop, md * zd + mw * 0.25);
        } else if (kind == "V") { // latitude, height, elevation, MJD, ah, aw -> VMF1 with and without height
            double lat, h, ele, mjd, ah, aw, mh_ht, mw, mh;
            l >> lat >> h >> ele >> mjd >> ah >> aw >> mh_ht >> mw >> mh;
            double gh, gw;
            models::vmf1_ht(ah, aw, mjd, lat / deg, h, M_PI / 2 - ele / deg, gh, gw);
            near(gh, mh_ht), near(gw, mw);
            models::vmf1(ah, aw, mjd, lat / deg, M_PI / 2 - ele / deg, gh, gw);
            near(gh, mh), near(gw, mw);
        } else if (kind == "S") {
            double p, lat, h, z;
            l >> p >> lat >> h >> z;
            near(models::saasthyd(p, lat / deg, h), z);
        } else if (kind == "A") {
            double e, tm, la, z;
            l >> e >> tm >> la >> z;
            near(models::asknewet(e, tm, la), z);
        } else {
            continue;
        }
        ++cases;
    }
    EXPECT_GE(cases, 45);
}

// A GPT2w grid of 90-degree cells (2 x 4 points): plain lines, and the same values in forms only a
// free-form read takes (commas, a point split over two lines, a D exponent, words after the values).
TEST(Troposphere, GridReaderTakesEveryFreeFormLayout) {
    auto point = [](int n) {
        std::string s = " 45 " + std::to_string(45 + 90 * (n % 4)) + " " + std::to_string(100000 + n);
        for (int v = 4; v <= 44; ++v) s += " " + std::to_string(v) + "." + std::to_string(n);
        return s;
    };
    std::string plain = "% header\n", free = "% header\n";
    for (int n = 0; n < 8; ++n) {
        plain += point(n) + "\n";
        std::string p = point(n);
        if (n == 2) p.replace(p.find(' ', 10), 1, ",");
        if (n == 3) p.replace(p.find(" 20.3"), 1, "\n");
        if (n == 5) p.replace(p.find("4.5 5.5"), 7, "4.5,5.5");
        if (n == 6) p.replace(p.find("7.6"), 3, "0.76D1");
        free += p + " trailing words\n";
    }
    TempDir dir;
    CapturedLog log;
    models::Gpt2wGrid a, b;
    a.step = b.step = 90, a.nlat = b.nlat = 2, a.nlon = b.nlon = 4;
    auxfiles::read_tuv_tropo_grid(dir.write("plain", plain), a, log.log);
    auxfiles::read_tuv_tropo_grid(dir.write("free", free), b, log.log);
    ASSERT_EQ(a.points.size(), 8u);
    for (std::size_t n = 0; n < 8; ++n) {
        const models::Gpt2wPoint &x = a.points[n], &y = b.points[n];
        EXPECT_EQ(x.p, y.p) << n;
        EXPECT_EQ(x.tm, y.tm) << n;
        EXPECT_EQ(x.q, y.q) << n;
        EXPECT_EQ(x.hs, y.hs) << n;
    }

    // Every unreadable grid stops with the file named and the reason given.
    struct Bad {
        std::string text, reason;
    } bad[] = {{"% header\n" + point(0) + "\n", "grid point 2 of 8: the file ends before it"},
               {plain.substr(0, plain.size() - 6) + "nan x\n", "grid point 8 of 8: "},
               {"% header\n" + point(0) + " \n" + point(1).replace(5, 4, "4x5") + "\n", "grid point 2 of 8: "},
               {"", "the file is empty"}};
    for (const Bad& c : bad) {
        CapturedLog l;
        models::Gpt2wGrid g;
        g.step = 90, g.nlat = 2, g.nlon = 4;
        try {
            auxfiles::read_tuv_tropo_grid(dir.write("bad", c.text), g, l.log);
            ADD_FAILURE() << c.reason;
        } catch (const frame::Stop& s) {
            EXPECT_EQ(s.message(), "ERROR reading vfile");
            EXPECT_NE(l.text().find("ERROR reading vfile =  " + dir.path("bad") + "\n " + c.reason), std::string::npos)
                << l.text();
        }
    }
    try {
        CapturedLog l;
        auxfiles::read_tuv_tropo_grid(dir.path("absent"), a, l.log);
        ADD_FAILURE();
    } catch (const frame::Stop& s) {
        EXPECT_EQ(s.message(), "ERROR opening vfile");
    }
}

// A 3 x 3 VMF1 grid (42, 40, 38 N; 0, 2.5, 5 E) whose coefficients are linear in latitude, longitude
// and epoch, so that the bilinear and the time interpolation give the plane back exactly; the
// receiver sits off the cell centre, so a weight given to the wrong corner shows.
TEST(Troposphere, GridCoefficientsInSpaceAndTime) {
    models::VmfGrid g;
    g.latf = 38, g.lat0 = 42, g.lon0 = 0, g.lonf = 5, g.delta_lat = 2, g.delta_lon = 2.5, g.nrow = 3, g.ncol = 3;
    g.ah.assign(45, 0), g.aw.assign(45, 0);
    auto ah = [](double lat, double lon, double k) { return 0.001 + 1e-4 * k + 2e-6 * lat + 4e-7 * lon; };
    auto aw = [](double lat, double lon, double k) { return 0.0005 - 1e-5 * k + 3e-6 * lat - 1e-6 * lon; };
    for (int k = 1; k <= 5; ++k)
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) {
                const double lat = 42 - 2 * (i - 1), lon = 2.5 * (j - 1);
                g.ah_at(j, i, k) = ah(lat, lon, k), g.aw_at(j, i, k) = aw(lat, lon, k);
            }
    CapturedLog log;
    struct Case {
        double lat, lon, sec; // sec: seconds of day
        double k;             // epoch index, fractional between the 6-hour epochs
    } cases[] = {{40.5, 0.5, 0, 1},          {41.7, 3.1, 9 * 3600, 2.5},  {38.2, 4.9, 86399, 4.0 + 86399.0 / 21600 - 3},
                 {40.0, 2.5, 6 * 3600, 2}, {42.0, 0.0, 18 * 3600, 4}, {38.0, 1.0, 12 * 3600 + 1800, 3 + 1800.0 / 21600}};
    for (const Case& c : cases) {
        double e[4], a[2];
        ASSERT_TRUE(models::spatial_interpolation(g, c.lat, c.lon, c.sec, e[0], e[1], e[2], e[3], log.log));
        models::temporal_interpolation(c.sec, e[0], e[1], e[2], e[3], a[0], a[1]);
        EXPECT_NEAR(a[0], ah(c.lat, c.lon, c.k), 1e-17) << c.lat << " " << c.lon << " " << c.sec;
        EXPECT_NEAR(a[1], aw(c.lat, c.lon, c.k), 1e-17) << c.lat << " " << c.lon << " " << c.sec;
    }
    // On a node at an epoch: that node's value of that epoch, to the bit.
    double e[4], a[2];
    models::spatial_interpolation(g, 40.0, 2.5, 6 * 3600, e[0], e[1], e[2], e[3], log.log);
    models::temporal_interpolation(6 * 3600, e[0], e[1], e[2], e[3], a[0], a[1]);
    EXPECT_EQ(a[0], g.ah_at(2, 2, 2));
    EXPECT_EQ(a[1], g.aw_at(2, 2, 2));
    // A closed global grid of two meridians (0 and 180 degrees): east of the last one the cell closes
    // on the first, at 360 degrees. At 270 degrees, halfway: the mean of the two columns.
    models::VmfGrid c;
    c.latf = -90, c.lat0 = 90, c.lon0 = 0, c.lonf = 360, c.delta_lat = 90, c.delta_lon = 180, c.nrow = 3, c.ncol = 2;
    c.ah.assign(30, 0.001), c.aw.assign(30, 0.0005);
    for (int k = 1; k <= 5; ++k)
        for (int i = 1; i <= 3; ++i) c.ah_at(2, i, k) = 0.003, c.aw_at(2, i, k) = 0.0007;
    ASSERT_TRUE(models::spatial_interpolation(c, -30.0, 270.0, 0, e[0], e[1], e[2], e[3], log.log));
    EXPECT_NEAR(e[0], 0.002, 1e-18);
    EXPECT_NEAR(e[3], 0.0006, 1e-18);
    EXPECT_NE(log.text().find(" i greater than 144  i,j= 2 2\n"), std::string::npos) << log.text();
    // Outside the grid: no coefficients, the reason in the log.
    EXPECT_FALSE(models::spatial_interpolation(g, 43.0, 1.0, 0, e[0], e[1], e[2], e[3], log.log));
    EXPECT_FALSE(models::spatial_interpolation(g, 37.0, 1.0, 0, e[0], e[1], e[2], e[3], log.log));
    EXPECT_NE(log.text().find("ERROR: receiver outside the VMF1 grid  i,j= 1 1\n"), std::string::npos)
        << log.text();
}

// Site files of two days, AAAA and BBBB, with the coefficients numbered by site and 6-hour epoch.
TEST(Troposphere, SiteCoefficientsOfTheQuarterDay) {
    auxfiles::TropoTables t;
    for (const char* s : {"AAAA", "BBBB"})
        for (int q = 0; q < 4; ++q) {
            t.sites.rec_vmfg.push_back(s);
            t.sites.ah_vmfg_igs_site.push_back((s[0] == 'A' ? 1.0 : 2.0) + q);
            t.sites.aw_vmfg_igs_site.push_back((s[0] == 'A' ? 10.0 : 20.0) + q);
        }
    t.sites_fd = t.sites;
    for (double& x : t.sites_fd.ah_vmfg_igs_site) x += 0.5; // the next day's 0 h of AAAA: 1.5
    struct Case {
        const char* rec;
        double sec, ah0, aw0, ah1, aw1;
    } cases[] = {{"AAAA", 0, 1, 10, 2, 11},          {"AAAA", 21599, 1, 10, 2, 11},
                 {"AAAA", 21600, 2, 11, 3, 12},      {"BBBB", 43200, 4, 22, 5, 23},
                 {"BBBB", 64800, 5, 23, 2.5, 20},    {"AAAA", 86399, 4, 13, 1.5, 10},
                 {"ZZZZ", 3600, 4, 13, 1.5, 10}}; // an absent site keeps the last coefficients
    CapturedLog log;
    for (const Case& c : cases) {
        auxfiles::select_site_coefficients(t, c.rec, c.sec, log.log);
        EXPECT_EQ(t.ah_6hs_epoch, c.ah0) << c.rec << " " << c.sec;
        EXPECT_EQ(t.aw_6hs_epoch, c.aw0) << c.rec << " " << c.sec;
        EXPECT_EQ(t.ah_6hs_fe, c.ah1) << c.rec << " " << c.sec;
        EXPECT_EQ(t.aw_6hs_fe, c.aw1) << c.rec << " " << c.sec;
    }
    EXPECT_EQ(log.text().find("WARNING: files"), std::string::npos);
    EXPECT_NE(log.text().find("WARNING: site ZZZZ not in the VMF1 site file"), std::string::npos);
    // Tomorrow's file with a third site: the 18-24 h pair is still taken at the same place, with a warning.
    for (int q = 0; q < 4; ++q) {
        t.sites_fd.rec_vmfg.push_back("CCCC");
        t.sites_fd.ah_vmfg_igs_site.push_back(9), t.sites_fd.aw_vmfg_igs_site.push_back(9);
    }
    auxfiles::select_site_coefficients(t, "BBBB", 70000, log.log);
    EXPECT_EQ(t.ah_6hs_fe, 2.5);
    EXPECT_NE(log.text().find("WARNING: files from TUV contain different sites  8 12\n"), std::string::npos)
        << log.text();
}

} // namespace

namespace {

// The day's five VMF1 grid files, each read in the working directory: every defect stops the run with
// the file named and the line and reason given.
TEST(Troposphere, GridFilesThatCannotBeReadStop) {
    const std::string header = "! Range/resolution:   40 42 0 2.5 2 2.5\n";
    const std::string points = " 42 0 1e-3 5e-4 2.3 .1\n 42 2.5 1e-3 5e-4 2.3 .1\n 40 0 1e-3 5e-4 2.3 .1\n"
                               " 40 2.5 1e-3 5e-4 2.3 .1\n";
    struct Bad {
        std::string first, second, log; // the files of 0 h and 6 h (6 h as 0 h when empty)
    } bad[] = {{points, "", "VMFG_200814800\n line 1: a grid value before the range/resolution comment"},
               {"! comment only\n", "", "VMFG_200814800\n no range/resolution comment"},
               {header + points + " 44 0 1e-3 5e-4 2.3 .1\n", "", "VMFG_200814800\n line 6: the point lies outside the grid"},
               {header + points.substr(0, points.size() - 26), "", "VMFG_200814800\n 1 of the 4 grid points have no line"},
               {header + points, "! Range/resolution:   40 42 0 5.0 2 2.5\n" + points,
                "VMFG_200814806\n line 1: the grid differs from that of the day's first file"},
               {"! Range/resolution:   40 42 0 2.5 2\n" + points, "",
                "VMFG_200814800\n line 1: the range/resolution comment needs six numbers in columns 23-41"},
               {header + " 42 0 1e-3 5e-4 2.3\n" + points, "",
                "VMFG_200814800\n line 2: latitude, longitude, ah, aw and the two zenith delays expected"}};
    const fs::path here = fs::current_path();
    for (const Bad& c : bad) {
        TempDir dir;
        fs::current_path(dir.path());
        for (const char* h : {"00", "06", "12", "18", "24"})
            dir.write(std::string("VMFG_2008148") + h, std::string(h) == "06" && !c.second.empty() ? c.second : c.first);
        CapturedLog log;
        models::VmfGrid g;
        try {
            auxfiles::read_tuv_tropo_files(2008, 148, g, log.log);
            ADD_FAILURE() << c.log;
        } catch (const frame::Stop& s) {
            EXPECT_EQ(s.message(), "ERROR reading vfile");
            EXPECT_NE(log.text().find("ERROR reading vfile =  " + c.log + "\n"), std::string::npos) << log.text();
        }
        fs::current_path(here);
    }
}

// The site file of the next day: the day after the last of a year is the first of the next year.
TEST(Troposphere, SiteFilesOfTheNextDayAcrossTheYear) {
    const fs::path here = fs::current_path();
    for (const auto& [year, doy, next] : {std::tuple{2002, 365, "2003001.vmf1"}, std::tuple{2004, 365, "2004366.vmf1"},
                                          std::tuple{2004, 366, "2005001.vmf1"}, std::tuple{2004, 59, "2004060.vmf1"}}) {
        TempDir dir;
        fs::current_path(dir.path());
        const std::string line = "ABCD 52304.00 0.00121 0.00051 2.30 0.10 270.0 1000.0 10.0 8.0 800.0\n";
        dir.write(auxfiles::vmf_site_file_name(year, doy), line);
        dir.write(next, line);
        auxfiles::TropoTables t;
        t.gpt2w.points.resize(1); // the GPT2w grid is read once per run: here it counts as read
        CapturedLog log;
        EXPECT_NO_THROW(auxfiles::load_troposphere_day(4, year, doy, t, log.log)) << next;
        EXPECT_EQ(t.sites_fd.kon(), 1) << next;
        fs::current_path(here);
    }
}

} // namespace
