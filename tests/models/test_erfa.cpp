// Time scales, Sun and Moon, geodetic coordinates and look angles against ERFA (Debian's python3-erfa),
// an implementation that shares no code or series with ours: erfa_reference.py beside this file is run
// once per test on a sweep of cases. Without the module the tests skip with a message saying so.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <iomanip>

#include "frame/constants.hpp"
#include "models/geometry.hpp"
#include "models/sun_moon.hpp"
#include "orbits/timescales.hpp"
#include "support/support.hpp"

using namespace quelmar;
using namespace quelmar::test;

namespace {

constexpr double pi = 3.14159265358979323846, deg = pi / 180, arcsec = pi / 648000;

// An input line of the reference script: its kind letter and the values, doubles to all their digits.
template <class... T>
std::string row(char kind, T... v) {
    std::ostringstream s;
    s << kind << std::setprecision(17);
    ((s << ' ' << v), ...);
    return s.str();
}

// ERFA's values for the input lines, one row per line; `why` is empty or tells why there are none.
struct Erfa {
    std::string why;
    std::vector<std::vector<double>> rows;
};
Erfa erfa(const std::vector<std::string>& in) {
    TempDir dir;
    std::string text;
    for (const auto& l : in) text += l + "\n";
    dir.write("in.txt", text);
    Erfa r;
    r.why = run_python_reference(dir, fs::path(QUELMAR_SOURCE_DIR) / "tests/models/erfa_reference.py", "in.txt",
                                 "out.txt");
    for (const auto& l : lines_of(dir.read("out.txt"))) {
        std::istringstream s(l);
        r.rows.emplace_back();
        for (double v; s >> v;) r.rows.back().push_back(v);
    }
    if (r.why.empty() && r.rows.size() != in.size()) r.why = "short output";
    return r;
}
#define ERFA_OR_SKIP(ref)                                                                                    \
    if ((ref).why.rfind("SKIP", 0) == 0) GTEST_SKIP() << (ref).why;                                          \
    ASSERT_EQ((ref).why, "")

double angle_between(const models::Vec3& a, const models::Vec3& b) {
    return std::atan2(models::norm(models::vecpro(a, b)), models::scapro(a, b));
}

} // namespace

// Calendar (both routines, exact), TAI-UTC (1960-2008: our table ends with 2006), sidereal time (the
// same IAU 1982 expression evaluated in another order: rounding only) and GPS-UTC from the leap-second
// table with its two-pass lookup (1980-2016, daily and second by second around every leap second).
TEST(Erfa, TimeScales) {
    std::vector<std::string> in;
    struct Ymd {
        int y, m, d;
    };
    std::vector<Ymd> cal;
    using namespace std::chrono;
    for (sys_days sd = sys_days{year{1900} / 1 / 1}; sd <= sys_days{year{2100} / 12 / 31}; sd += days{1}) {
        const year_month_day ymd{sd};
        cal.push_back({int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day()))});
    }
    for (const Ymd& c : cal) in.push_back(row('C', c.y, c.m, c.d));
    const std::size_t n_dat = cal.size();
    for (auto k = std::size_t(mjd_of(1960, 1, 1) - mjd_of(1900, 1, 1)); k < 109 * 365; k += 3) // 1960 .. 2008
        in.push_back(row('D', cal[k].y, cal[k].m, cal[k].d, (k % 7) / 7.0));
    const std::size_t n_gmst = in.size();
    Rng rng(1982);
    for (int k = 0; k < 5000; ++k) in.push_back(row('G', 15020.0 + 73050.0 * rng.unit()));
    const std::size_t n_gps = in.size();
    std::vector<double> gps;
    for (long d = 44244; d <= mjd_of(2016, 12, 31); ++d) gps.push_back(d + (d * 7919 % 86400 + 0.5) / 86400.0);
    for (const Ymd& s : {Ymd{1981, 7, 1}, {1985, 7, 1}, {1988, 1, 1}, {1990, 1, 1}, {1992, 7, 1}, {1996, 1, 1},
                         {1999, 1, 1}, {2006, 1, 1}, {2009, 1, 1}, {2012, 7, 1}, {2015, 7, 1}})
        for (int k = -30; k <= 30; ++k) gps.push_back(mjd_of(s.y, s.m, s.d) + (k + 0.5) / 86400.0);
    for (double t : gps) in.push_back(row('L', t));

    const Erfa ref = erfa(in);
    ERFA_OR_SKIP(ref);
    int bad = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::vector<double>& r = ref.rows[i];
        std::istringstream s(in[i].substr(2));
        bool ok = false;
        if (i < n_dat) { // C
            const Ymd& c = cal[i];
            double djm0 = 0, djm = 0, djm2 = 0;
            int j = 9, j2 = 9;
            orbits::iau_cal2jd(c.y, c.m, c.d, djm0, djm, j);
            orbits::sla_cldj(c.y, c.m, c.d, djm2, j2);
            ok = j == 0 && j2 == 0 && djm0 == r[0] && djm == r[1] && djm2 == r[1];
        } else if (i < n_gmst) { // D
            int y = 0, m = 0, d = 0, j = 9;
            double fd = 0, dt = -1;
            s >> y >> m >> d >> fd;
            orbits::iau_dat(y, m, d, fd, dt, j);
            ok = j == 0 && std::fabs(dt - r[0]) < 1e-9;
        } else if (i < n_gps) { // G
            double ut1 = 0;
            s >> ut1;
            ok = std::fabs(std::remainder(orbits::sla_gmst(ut1) - r[0], 2 * pi)) < 1e-12;
        } else { // L
            int leapsec = -99;
            orbits::tdjm2lsec_v2(orbits::float128(gps[i - n_gps]), leapsec);
            ok = leapsec == r[0];
        }
        if (!ok && ++bad <= 10) ADD_FAILURE() << in[i] << ": ERFA " << row(' ', r[0]);
    }
    EXPECT_EQ(bad, 0);
}

// The Sun and Moon that the satellite step uses (topocentric apparent direction, Earth-fixed with the
// mean sidereal angle) and those of the tide routine (geocentric, Earth-fixed, from a year and day).
// Our theories are approximate and leave out the equation of the equinoxes and TT-UTC by design; the
// bounds are a little above the worst differences measured over 1980-2040 (Sun 25"/1200 km and 27"/
// 7700 km, Moon 74"/58 km and 51"/40 km), far below what a wrong term or angle makes.
TEST(Erfa, SunAndMoon) {
    Rng rng(19800101);
    std::vector<std::string> in;
    std::vector<models::Vec3> rec;
    for (int k = 0; k < 400; ++k) {
        const double t = mjd_of(1980, 1, 1) + k * 55.6 + rng.unit();
        const double lon = rng.uniform(-pi, pi), lat = rng.uniform(-1.4, 1.4), r = 6371000 + 3000 * rng.unit();
        rec.push_back({r * std::cos(lat) * std::cos(lon), r * std::cos(lat) * std::sin(lon), r * std::sin(lat)});
        in.push_back(row('P', t, rec.back()[0], rec.back()[1], rec.back()[2]));
        in.push_back(row('S', 1980 + k * 61 / 400, 1 + k * 37 % 365, rng.unit()));
    }
    const Erfa ref = erfa(in);
    ERFA_OR_SKIP(ref);
    const frame::Constants k;
    frame::Log log;
    double worst[2][2][2] = {}; // [P/S][Sun/Moon][angle "/distance km]
    for (std::size_t i = 0; i < in.size(); i += 2) {
        const std::vector<double>& p = ref.rows[i];
        const std::vector<double>& s = ref.rows[i + 1];
        Array2<double, 3, maxrec> recxyz0_;
        for (int c = 1; c <= 3; ++c) recxyz0_(c, 2) = rec[i / 2][static_cast<std::size_t>(c - 1)];
        const double utc = std::stod(in[i].substr(2));
        const double gmst = orbits::sla_gmst(utc) / deg;
        for (int b = 0; b < 2; ++b) {
            double ra = 0, xlon = 0, dec = 0, dist = 0;
            models::Vec3 ctx{};
            int ierr = 9;
            models::solar_system_object_position_v2(b == 0 ? 0 : 3, orbits::float128(utc), 2, maxrec, recxyz0_,
                                                    gmst, ra, xlon, dec, dist, ctx, ierr, k, log);
            ASSERT_EQ(ierr, 0);
            const double* r = p.data() + 4 * b;
            const double a = angle_between(models::vecsub(ctx, rec[i / 2]), {r[0], r[1], r[2]}) / arcsec;
            worst[0][b][0] = std::max(worst[0][b][0], a);
            worst[0][b][1] = std::max(worst[0][b][1], std::fabs(dist - r[3]) / 1000);
        }
        std::istringstream ss(in[i + 1].substr(2));
        int year = 0, doy = 0;
        double frac = 0;
        ss >> year >> doy >> frac;
        models::Vec3 sun{}, moon{};
        models::sub_sun_moon(year, doy, frac, sun[0], sun[1], sun[2], moon[0], moon[1], moon[2]);
        for (int b = 0; b < 2; ++b) {
            const models::Vec3& ours = b == 0 ? sun : moon;
            const models::Vec3 theirs{s[3 * b], s[3 * b + 1], s[3 * b + 2]};
            worst[1][b][0] = std::max(worst[1][b][0], angle_between(ours, theirs) / arcsec);
            worst[1][b][1] = std::max(worst[1][b][1], std::fabs(models::norm(ours) - models::norm(theirs)));
        }
    }
    const double bound[2][2][2] = {{{30, 2000}, {90, 75}}, {{40, 20000}, {70, 60}}};
    for (int w = 0; w < 2; ++w)
        for (int b = 0; b < 2; ++b)
            for (int q = 0; q < 2; ++q)
                EXPECT_LT(worst[w][b][q], bound[w][b][q])
                    << (w ? "sub_sun_moon " : "seen from the receiver ") << (b ? "Moon " : "Sun ")
                    << (q ? "distance (km)" : "direction (arcsec)");
}

// Ellipsoidal latitude, longitude and height of receivers from 10 km underground to low orbit, and the
// elevation and azimuth of GPS-like satellites (some below the horizon) in the local frame of ERFA's
// geodetic position. Our b = 6356752.314 m differs from WGS84's by 0.25 mm, which bounds the tolerances.
TEST(Erfa, GeodeticCoordinatesAndLookAngles) {
    Rng rng(20261205);
    std::vector<std::string> in;
    std::vector<std::pair<models::Vec3, models::Vec3>> cases;
    for (int k = 0; k < 3000; ++k) {
        const double z = rng.uniform(-1, 1), a = rng.uniform(0, 2 * pi), s = std::sqrt(1 - z * z);
        const double r = 6.35e6 + (k % 10 == 0 ? 1.1e6 : 0.05e6) * rng.unit();
        const models::Vec3 rec{r * s * std::cos(a), r * s * std::sin(a), r * z};
        const double z2 = rng.uniform(-0.3, 1), a2 = rng.uniform(0, 2 * pi), s2 = std::sqrt(1 - z2 * z2);
        const models::Vec3 up = models::unit(rec), east = models::unit(models::vecpro({0, 0, 1}, up)),
                           north = models::vecpro(up, east);
        const models::Vec3 dir = models::vecadd(models::veclin(east, north, s2 * std::cos(a2), s2 * std::sin(a2)),
                                                models::veccoe(up, z2));
        cases.push_back({rec, models::veclin(rec, dir, 1.0, 2.0e7 + 6.0e6 * rng.unit())});
        in.push_back(row('E', rec[0], rec[1], rec[2], cases.back().second[0], cases.back().second[1],
                         cases.back().second[2]));
    }
    const Erfa ref = erfa(in);
    ERFA_OR_SKIP(ref);
    frame::Constants k;
    k.hionokm1 = 450;
    frame::Log log;
    int bad = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::vector<double>& r = ref.rows[i];
        const auto& [rec, sat] = cases[i];
        double h = 0, lon = 0, lat = 0;
        models::sesf2eli(rec[0], rec[1], rec[2], h, lon, lat);
        Array2<double, 3, maxrec> recxyz0_;
        for (int c = 1; c <= 3; ++c) recxyz0_(c, 1) = rec[static_cast<std::size_t>(c - 1)];
        models::AntennaPhaseTable ap;
        models::RayGeometry g;
        ASSERT_EQ(models::ray_coordinates_and_windup_and_satphacen1_v2(sat, 1, recxyz0_, {1.4e11, 2e10, 0}, ap, 11,
                                                                       1, 0.0, false, k, g, log),
                  0);
        const bool ok = std::fabs(lat - r[1]) < 1e-8 && std::fabs(std::remainder(lon - r[0], 360.0)) < 1e-9 &&
                        std::fabs(h - r[2]) < 1e-3 && std::fabs(g.eele0 - r[3]) < 1e-8 &&
                        std::fabs(std::remainder(g.eazi0 - r[4], 360.0)) * std::cos(r[3] * deg) < 1e-8 &&
                        g.eazi0 >= 0 && g.eazi0 < 360 && g.elatrec0 == lat && g.ehrec0 == h;
        if (!ok && ++bad <= 10)
            ADD_FAILURE() << in[i] << "\n ours lon lat h el az" << row(' ', lon, lat, h, g.eele0, g.eazi0);
    }
    EXPECT_EQ(bad, 0);
}
