// The observation chain on real days, checked against a geometry written here from the published
// definitions and never from the program's code:
//   - broadcast: BELL and EBRE of 2002-01-30 with the day's navigation file (08-11 h);
//   - precise: ACOR, MADR, SCOA and SFER of 2008-05-27 with three days of IGS final SP3 orbits (12-14 h).
// The cases are built with the converters and run with the ORBIT and UNDIF_DAT records on. For every
// observation that reaches the orbit step, the test recomputes from the RINEX, navigation and SP3 files
// themselves: the transmit epoch (code over c and the broadcast clock), the satellite position and clock
// there (Kepler propagation of the IS-GPS-200 user equations; a degree-9 Lagrange polynomial over the
// same ten SP3 records the program uses, in long double), the Earth's rotation over the travel time, and
// elevation, azimuth and distance on the WGS 84 ellipsoid. The records carry 0.01 mm positions and
// picosecond clocks, so a wrong epoch, record window or rotation shows at once. Observables and their
// indicators are compared with the RINEX columns read here. Two references are first checked against
// each other on the one day with both products (2010-07-01).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>
#include <sstream>

#include "support/support.hpp"

// The measurement records of the day (realdata_model.cpp).
void check_model_records(const std::vector<std::string>& out, bool precise, const std::string& day);

namespace {

using namespace quelmar::test;
using Vec3 = std::array<double, 3>;

constexpr double c_light = 299792458.0, mu_gps = 3.986005e14, omega_e = 7.2921151467e-5;
constexpr double wgs84_a = 6378137.0, wgs84_f = 1.0 / 298.257223563;
constexpr double pi = 3.14159265358979323846, deg = pi / 180.0;
constexpr double elemask = 10.0; // of the example configuration

double dot(const Vec3& a, const Vec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vec3 sub(const Vec3& a, const Vec3& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
double norm(const Vec3& a) {
    return std::sqrt(dot(a, a));
}
// GPS seconds since 1980-01-06 of a date and a second of day, in long double: a double would round
// them to 0.1 microsecond, half a millimetre of satellite motion.
using Time = long double;
Time gps_seconds(int y, int m, int d, double sod) {
    return static_cast<Time>(mjd_of(y, m, d) - 44244) * 86400 + sod;
}
double sod_of(int h, int m, double s) {
    return h * 3600.0 + m * 60.0 + s;
}

// A position in the Earth-fixed frame of one epoch, seen in the frame `tau` seconds later.
Vec3 rotated(const Vec3& x, double tau) {
    const double a = omega_e * tau, c = std::cos(a), s = std::sin(a);
    return {c * x[0] + s * x[1], -s * x[0] + c * x[1], x[2]};
}

struct Look {
    double ele = 0, azi = 0, sph_ele = 0, dist = 0; // degrees; metres
};

// Ellipsoidal elevation and azimuth (geodetic latitude by iteration), and the spherical elevation.
Look look(const Vec3& rec, const Vec3& sat) {
    const double e2 = wgs84_f * (2 - wgs84_f), p = std::hypot(rec[0], rec[1]);
    const double lon = std::atan2(rec[1], rec[0]);
    double lat = std::atan2(rec[2], p * (1 - e2));
    for (int i = 0; i < 10; ++i) {
        const double n = wgs84_a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
        lat = std::atan2(rec[2], p * (1 - e2 * n / (n + p / std::cos(lat) - n)));
    }
    const Vec3 d = sub(sat, rec);
    const double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
    const double e = -so * d[0] + co * d[1];
    const double n = -sl * co * d[0] - sl * so * d[1] + cl * d[2];
    const double u = cl * co * d[0] + cl * so * d[1] + sl * d[2];
    Look l;
    l.dist = norm(d);
    l.ele = std::asin(u / l.dist) / deg;
    l.azi = std::atan2(e, n) / deg;
    if (l.azi < 0) l.azi += 360;
    l.sph_ele = std::asin(dot(d, rec) / (l.dist * norm(rec))) / deg;
    return l;
}

// ---- broadcast orbits from the values of EPH lines, in the order of the RINEX navigation record -----

struct Eph {
    Time t_toc = 0;          // GPS seconds of the clock epoch
    std::array<double, 29> v{}; // af0 af1 af2, IODE crs dn M0, cuc e cus sqrtA, toe cic OMEGA0 cis, ...
};

// Satellite position (Earth-fixed at `t`) and clock polynomial at GPS time `t`.
std::pair<Vec3, double> kepler(const Eph& g, Time t) {
    const auto& v = g.v;
    const double crs = v[4], dn = v[5], m0 = v[6], cuc = v[7], ecc = v[8], cus = v[9], a = v[10] * v[10];
    const double toe = v[11], cic = v[12], om0 = v[13], cis = v[14], i0 = v[15], crc = v[16], w = v[17];
    const double omdot = v[18], idot = v[19];
    double tk = static_cast<double>(std::fmod(t, 604800.0L) - toe);
    if (tk > 302400) tk -= 604800;
    if (tk < -302400) tk += 604800;
    const double mk = m0 + (std::sqrt(mu_gps / (a * a * a)) + dn) * tk;
    double ek = mk;
    for (int i = 0; i < 50; ++i) ek = mk + ecc * std::sin(ek);
    const double phi = std::atan2(std::sqrt(1 - ecc * ecc) * std::sin(ek), std::cos(ek) - ecc) + w;
    const double s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
    const double u = phi + cus * s2 + cuc * c2, r = a * (1 - ecc * std::cos(ek)) + crs * s2 + crc * c2;
    const double inc = i0 + cis * s2 + cic * c2 + idot * tk;
    const double om = om0 + (omdot - omega_e) * tk - omega_e * toe;
    const double xp = r * std::cos(u), yp = r * std::sin(u);
    const Vec3 x{xp * std::cos(om) - yp * std::cos(inc) * std::sin(om),
                 xp * std::sin(om) + yp * std::cos(inc) * std::cos(om), yp * std::sin(inc)};
    const double dt = static_cast<double>(t - g.t_toc);
    return {x, v[0] + v[1] * dt + v[2] * dt * dt};
}

// ---- precise orbits: SP3 records, degree-9 Lagrange over the program's window ------------------------

class Sp3 {
  public:
    void load(const std::vector<fs::path>& files) {
        for (const auto& f : files) {
            Time t = 0;
            for (const std::string& l : lines_of(read_file(f))) {
                if (l.rfind("* ", 0) == 0) {
                    int y, mo, d, h, mi;
                    double s;
                    std::sscanf(l.c_str() + 1, "%d %d %d %d %d %lf", &y, &mo, &d, &h, &mi, &s);
                    // As the program's records hold an epoch: MJD + (h + m/60 + s/3600)/24 in double.
                    const double mjd = static_cast<double>(mjd_of(y, mo, d)) + (h + mi / 60.0 + s / 3600.0) / 24.0;
                    t = (static_cast<Time>(mjd) - 44244) * 86400;
                    if (t0_ == 0) t0_ = t;
                } else if (l.size() > 60 && l[0] == 'P' && l[1] == 'G') {
                    auto& v = rec_[std::atoi(l.substr(2, 2).c_str())];
                    if (!v.empty() && v.back().t >= t - 1e-3) continue; // overlap of consecutive files
                    v.push_back({t,
                                 {std::atof(l.substr(4, 14).c_str()) * 1e3, std::atof(l.substr(18, 14).c_str()) * 1e3,
                                  std::atof(l.substr(32, 14).c_str()) * 1e3},
                                 std::atof(l.substr(46, 14).c_str()) * 1e-6});
                }
            }
        }
    }
    // Position (Earth-fixed at t) and clock at GPS time t: the anchor is the record at or before t
    // (whole seconds), the window four intervals before it and five after.
    std::optional<std::pair<Vec3, double>> at(int prn, Time t) const {
        const auto it = rec_.find(prn);
        if (it == rec_.end()) return std::nullopt;
        const auto& v = it->second;
        const long k = static_cast<long>(std::floor((t - t0_ + 0.5L) / 900));
        std::array<const R*, 10> w{};
        for (long j = 0; j < 10; ++j) {
            const Time tj = t0_ + 900.0L * (k - 4 + j);
            const auto r = std::find_if(v.begin(), v.end(), [&](const R& x) { return std::fabs(x.t - tj) < 1e-3L; });
            if (r == v.end() || r->clk > 0.9) return std::nullopt;
            w[j] = &*r;
        }
        long double x[3] = {0, 0, 0}, clk = 0;
        for (int i = 0; i < 10; ++i) {
            long double l = 1;
            for (int j = 0; j < 10; ++j)
                if (j != i) l *= (t - w[j]->t) / (w[i]->t - w[j]->t);
            for (int c = 0; c < 3; ++c) x[c] += l * w[i]->x[c];
            clk += l * w[i]->clk;
        }
        return std::pair<Vec3, double>{{static_cast<double>(x[0]), static_cast<double>(x[1]),
                                        static_cast<double>(x[2])},
                                       static_cast<double>(clk)};
    }

  private:
    struct R {
        Time t;
        Vec3 x;
        double clk;
    };
    std::map<int, std::vector<R>> rec_;
    Time t0_ = 0;
};

// ---- RINEX 2 observations read column by column -----------------------------------------------------

struct RinexObs {
    Vec3 approx{};
    std::vector<std::string> types;
    // (nearest whole second of day, PRN) -> per type: value, loss-of-lock digit, strength digit
    std::map<std::pair<long, int>, std::vector<std::tuple<double, int, int>>> obs;
};

RinexObs read_rinex2(const fs::path& file) {
    RinexObs r;
    const auto lines = lines_of(read_file(file));
    std::size_t i = 0;
    for (; i < lines.size() && lines[i].find("END OF HEADER") == std::string::npos; ++i) {
        const std::string& l = lines[i];
        if (l.find("APPROX POSITION XYZ") != std::string::npos)
            std::sscanf(l.c_str(), "%lf %lf %lf", &r.approx[0], &r.approx[1], &r.approx[2]);
        if (l.find("# / TYPES OF OBSERV") != std::string::npos)
            for (int k = 0; k < 9 && 10 + 6 * k < 60; ++k) {
                const std::string t = l.substr(10 + 6 * static_cast<std::size_t>(k), 2);
                if (t != "  ") r.types.push_back(t);
            }
    }
    auto digit = [](const std::string& l, std::size_t c) { return c < l.size() && std::isdigit(l[c]) ? l[c] - '0' : 0; };
    for (++i; i < lines.size();) {
        const std::string& e = lines[i++];
        const int flag = std::atoi(e.substr(28, 1).c_str()), n = std::atoi(e.substr(29, 3).c_str());
        if (flag > 1) {
            i += static_cast<std::size_t>(n);
            continue;
        }
        const long sec = std::lround(sod_of(std::atoi(e.substr(10, 2).c_str()), std::atoi(e.substr(13, 2).c_str()),
                                            std::atof(e.substr(15, 11).c_str())));
        std::vector<std::string> sats;
        for (int k = 0; k < n; ++k) {
            const std::string& l = k < 12 ? e : lines[i + static_cast<std::size_t>(k / 12 - 1)];
            sats.push_back(l.substr(32 + 3 * static_cast<std::size_t>(k % 12), 3));
        }
        i += static_cast<std::size_t>((n - 1) / 12);
        const std::size_t per = (r.types.size() + 4) / 5;
        for (const auto& s : sats) {
            std::vector<std::tuple<double, int, int>> vals;
            for (std::size_t k = 0; k < r.types.size(); ++k) {
                const std::string& l = lines[i + k / 5];
                const std::size_t c = 16 * (k % 5);
                const std::string f = c < l.size() ? l.substr(c, 14) : "";
                vals.emplace_back(f.find_first_not_of(' ') == std::string::npos ? 0.0 : std::atof(f.c_str()),
                                  digit(l, c + 14), digit(l, c + 15));
            }
            i += per;
            if (s[0] == 'G' || s[0] == ' ') r.obs[{sec, std::atoi(s.substr(1).c_str())}] = vals;
        }
    }
    return r;
}

// ---- the case --------------------------------------------------------------------------------------

struct Day {
    int y, m, d;
    std::vector<std::string> stations; // RINEX file names in the day folder
    std::string folder;
    bool precise;
    double sod0, sod1;
    int itropo_model; // the troposphere of the run: Niell (1) or GPT2w with VMF1 (2)
};

struct Figures {
    long orbit = 0, accepted = 0, masked = 0, values = 0;
    double pos = 0, clk = 0, ele = 0, azi = 0, dist = 0, sph = 0;
};

void run_day(const Day& day) {
    TempDir dir;
    const fs::path rinex = shared_data("rinex/" + day.folder), orbits = shared_data("orbits/" + day.folder);
    std::string obs_args;
    std::map<std::string, RinexObs> rnx;
    for (const auto& s : day.stations) {
        obs_args += " " + shq(rinex / s);
        std::string name = s.substr(0, 4);
        for (char& c : name) c = static_cast<char>(std::toupper(c));
        rnx[name] = read_rinex2(rinex / s);
    }
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", day.y, day.m, day.d);
    std::vector<fs::path> sp3;
    Ran r;
    if (day.precise) {
        for (const char* f : {"igs14811.sp3", "igs14812.sp3", "igs14813.sp3"}) sp3.push_back(orbits / f);
        r = tool(dir, "sp3_to_s3c", "-q -o orbits.s3c " + shq(sp3[0]) + " " + shq(sp3[1]) + " " + shq(sp3[2]));
        ASSERT_EQ(r.status, 0) << r.err;
    }
    // The stream carries the ocean loading coefficients of the stations (OT2), and the run models both
    // tides.
    const std::string nav = (day.precise ? "" : " --nav " + shq(rinex / "brdc0300.02n")) + " --blq " +
                            shq(shared_data("otl/OCEAN-GOT00.dat"));
    r = tool(dir, "rinex_to_stream", nav + obs_args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string full = r.out;
    r = tool(dir, "antex_to_gcs", std::string("--date ") + date + " " + shq(shared_data("antenna/igs05_1480.atx")) + " gcs.txt");
    ASSERT_EQ(r.status, 0) << r.err;

    // The stream of the span: everything up to its end, less the observations before it.
    std::string stream;
    for (const auto& l : lines_of(full)) {
        if (l.rfind("OB1 ", 0) == 0) {
            const double sod = sod_of(std::atoi(l.substr(16, 2).c_str()), std::atoi(l.substr(19, 2).c_str()),
                                      std::atof(l.substr(21, 11).c_str()));
            if (sod >= day.sod1) break;
            if (sod < day.sod0) continue;
        }
        (stream += l) += '\n';
    }
    std::string cfg = Workdir::example("quelmar_v2.2.0.nml");
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"silent_log = .false.", "silent_log = .true."},
             {"igspcvfile     = 'antennas.pcv'", "igspcvfile     = '" + shared_data("antenna/ngs_abs.pcv").string() + "'"},
             {"gpscstatusfile = 'gps_constellation.txt'", "gpscstatusfile = 'gcs.txt'"},
             {"write_orbit = .false.", "write_orbit = .true."},
             {"write_undif_dat = .false.", "write_undif_dat = .true."},
             {"write_i2i = .false.", "write_i2i = .true."}})
        cfg = replaced(cfg, from, to);
    if (!day.precise) {
        // The broadcast day also traces every ray through a voxel grid round the globe over the stations'
        // latitudes, 100 to 700 km: the voxel unknowns join the geometry-free rows.
        r = tool(dir, "make_voxel_grid", "-o voxel_centers.txt --ra 0 360 --dec 25 55 --shell 100 700 2 --res 10 15");
        ASSERT_EQ(r.status, 0) << r.err;
        for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
                 {"estimate_iono_model = .false.", "estimate_iono_model = .true."},
                 {"dmin_ray2centers = 1.0, dmin_rec2centers = 1.0", "dmin_ray2centers = 1500.0, dmin_rec2centers = 3000.0"},
                 {"hmin = 60.0, hmax = 1000.0", "hmin = 100.0, hmax = 700.0"}})
            cfg = replaced(cfg, from, to);
    }
    cfg = replaced(cfg, "model_apriori_tropo = .false.", "model_apriori_tropo = .true.");
    cfg = replaced(cfg, "model_apriori_earth_tide = .false.", "model_apriori_earth_tide = .true.");
    // The a priori ionosphere: NeQuick with the day's solar flux (observed F10.7 and sunspot number).
    cfg = replaced(cfg, "model_apriori_iono = .false.", "model_apriori_iono = .true.");
    cfg = replaced(cfg, "apriori_iono_model_name = 'N'", "apriori_iono_model_name = 'n'");
    cfg = replaced(cfg, "basedir_auxdata_apriori_iono = 'iono_data'",
                   "basedir_auxdata_apriori_iono = '" + shared_data("iono/nequick-itu").string() + "'");
    cfg = replaced(cfg, "stec_from_apriori_iono_rt = .false.", "stec_from_apriori_iono_rt = .true.");
    dir.write("solar_flux.txt", day.y == 2002 ? "2002 30 119.0 248.8\n" : "2008 148 0.0 69.7\n");
    cfg = replaced(cfg, "model_apriori_ocean_tide_loading = .false.", "model_apriori_ocean_tide_loading = .true.");
    cfg = replaced(cfg, "itropo_model = 1 ", "itropo_model = " + std::to_string(day.itropo_model) + " ");
    if (day.itropo_model == 2) fs::create_symlink(shared_data("tropo/gpt2_1wA.grd"), dir.path() / "gpt2_1wA.grd");
    if (day.precise) cfg = replaced(cfg, "precise_instead_of_eph_orbits = .false.", "precise_instead_of_eph_orbits = .true.");
    if (day.precise)
        cfg = replaced(cfg, "interpolated_precise_satclocks_instead_of_broadcast = .false.",
                       "interpolated_precise_satclocks_instead_of_broadcast = .true.");
    // The run happens in `dir` itself, beside the converted files.
    for (const auto& e : fs::directory_iterator(fs::path(QUELMAR_SOURCE_DIR) / "examples"))
        if (e.path().extension() == ".txt" && e.path().filename() != "messages.txt" && e.path().filename() != "README.md")
            fs::copy_file(e.path(), dir.path() / e.path().filename(), fs::copy_options::overwrite_existing);
    dir.write("quelmar_v2.2.0.nml", cfg);
    char refsat[32];
    std::snprintf(refsat, sizeof refsat, "refsat.%02d-%02d-%02d", day.y % 100, day.m, day.d);
    dir.write(refsat, "0 86400 13\n");
    dir.write("stdin.txt", stream);
    if (day.precise) { // the 2008 network: MADR the reference, the others with estimated coordinates
        dir.write("sta2refrec.txt", "MADR\n");
        dir.write("sta2estpos.txt", "ACOR\nSCOA\nSFER\n");
    }
    r = shell(dir, shq(QUELMAR_BINARY) + " < stdin.txt");
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.err, "") << "the run stopped";
    const std::vector<std::string> log = lines_of(dir.read("quelmar_v2.2.0.log"));

    // What the program saw: registry order, the EPH line in force, each observation's code.
    std::vector<std::string> reclst;
    std::map<int, Eph> eph;
    // (irec, prn, whole second of day) -> code, ephemeris in force, reception epoch
    struct Seen {
        double code;
        Eph eph;
        Time t_rx;
    };
    std::map<std::tuple<int, int, long>, Seen> code_at;
    for (const auto& l : lines_of(stream)) {
        const std::string code = l.substr(0, 4);
        if (code == "XYZ " && std::find(reclst.begin(), reclst.end(), l.substr(27, 4)) == reclst.end())
            reclst.push_back(l.substr(27, 4));
        if (code == "EPH ") {
            Eph g;
            std::istringstream in(l.substr(4, 22));
            int prn, y, mo, d, h, mi;
            double s;
            in >> prn >> y >> mo >> d >> h >> mi >> s;
            g.t_toc = gps_seconds(2000 + y, mo, d, sod_of(h, mi, s));
            std::string rest = l.substr(26);
            for (char& c : rest) c = c == 'D' ? 'E' : c;
            for (std::size_t k = 0; k < 29; ++k) g.v[k] = std::atof(rest.substr(3 * (k >= 3 ? (k - 3) / 4 + 1 : 0) + 19 * k, 19).c_str());
            eph[prn] = g;
        }
        if (code == "OB1 ") {
            const int prn = std::atoi(l.substr(4, 2).c_str());
            const std::string rec = l.substr(33, 4);
            const double sodx = sod_of(std::atoi(l.substr(16, 2).c_str()), std::atoi(l.substr(19, 2).c_str()),
                                       std::atof(l.substr(21, 11).c_str()));
            const long sod = std::lround(sodx);
            const auto& t = rnx.at(rec);
            const auto o = t.obs.find({sod, prn});
            if (o == t.obs.end()) continue;
            double code1 = 0;
            for (const char* ty : {"P1", "C1"})
                for (std::size_t k = 0; k < t.types.size() && code1 == 0; ++k)
                    if (t.types[k] == ty) code1 = std::get<0>(o->second[k]);
            const int irec = static_cast<int>(std::find(reclst.begin(), reclst.end(), rec) - reclst.begin()) + 1;
            // The epoch as the message defines it: MJD plus the second of day over 86400, in double.
            const double mjd = static_cast<double>(mjd_of(day.y, day.m, day.d));
            const Time t_rx = (static_cast<Time>(mjd + sodx / 86400.0) - 44244) * 86400;
            code_at[{irec, prn, sod}] = {code1, eph.count(prn) ? eph[prn] : Eph{}, t_rx};
        }
    }

    // ORBIT records, one per observation that reaches the orbit step (the position of the second
    // light-time pass); UNDIF_DAT in the log after those above the mask.
    Figures f;
    std::vector<std::pair<std::string, Look>> undif_expected; // station ("?" near the mask) -> geometry
    std::map<std::pair<long, int>, double> sph_of;              // for the mask
    const auto out = lines_of(r.out);
    for (const std::string& p1 : out) {
        if (p1.size() != 95 || p1.substr(89) != " ORBIT") continue;
        ++f.orbit;
        const double tdjm = std::atof(p1.substr(0, 12).c_str());
        const int irec = std::atoi(p1.substr(13, 4).c_str()), prn = std::atoi(p1.substr(17, 3).c_str());
        EXPECT_EQ(p1.substr(20, 3), "  2");
        EXPECT_EQ(p1[88], day.precise ? 'T' : 'F');
        // Transmission precedes reception by ~0.075 s, across midnight too.
        const long sod = std::lround((tdjm - static_cast<double>(mjd_of(day.y, day.m, day.d))) * 86400.0 + 0.075);
        const auto c = code_at.find({irec, prn, sod});
        ASSERT_NE(c, code_at.end()) << p1;
        const double code = c->second.code;
        const Time t_rx = c->second.t_rx;
        // Transmit epoch: reception less code over c and less the broadcast clock, evaluated first at the
        // reception epoch, then at the transmit epoch so found (no clock with precise orbits: no EPH).
        Time t_tx = day.precise ? t_rx - code / c_light : t_rx;
        Vec3 x{};
        double clk = 0;
        if (day.precise) {
            static Sp3 s;
            static bool loaded = false;
            if (!loaded) s.load(sp3), loaded = true;
            const auto v = s.at(prn, t_tx);
            if (!v) continue;
            std::tie(x, clk) = *v;
        } else {
            for (int pass = 0; pass < 2; ++pass) clk = kepler(c->second.eph, t_tx).second, t_tx = t_rx - code / c_light - clk;
            x = kepler(c->second.eph, t_tx).first;
        }
        auto vec = [](const std::string& l) {
            return Vec3{std::atof(l.substr(23, 16).c_str()), std::atof(l.substr(39, 16).c_str()),
                        std::atof(l.substr(55, 16).c_str())};
        };
        f.clk = std::max(f.clk, std::fabs(std::atof(p1.substr(71, 16).c_str()) - clk));
        const Vec3 rec = rnx.at(reclst.at(static_cast<std::size_t>(irec - 1))).approx;
        const Vec3 x2 = rotated(x, norm(sub(x, rec)) / c_light);
        f.pos = std::max(f.pos, norm(sub(vec(p1), x2)));
        const Look lk = look(rec, x2);
        sph_of[{static_cast<long>(irec) * 100000 + sod, prn}] = lk.sph_ele;
        if (lk.sph_ele > elemask + 0.01) undif_expected.push_back({reclst[static_cast<std::size_t>(irec - 1)], lk});
        if (std::fabs(lk.sph_ele - elemask) < 0.01) undif_expected.push_back({"?", lk}); // either way
    }
    // UNDIF_DAT records in the same order; the "?" ones may be missing.
    std::size_t k = 0;
    for (const auto& l : log) {
        if (l.rfind("UNDIF_DAT ", 0) != 0) continue;
        ++f.accepted;
        std::istringstream in(l.substr(10));
        std::string rec;
        int zero, prn;
        double tdjm, ele, azi, dist;
        Vec3 rx;
        in >> rec >> zero >> tdjm >> prn >> ele >> azi >> dist >> rx[0] >> rx[1] >> rx[2];
        while (k < undif_expected.size() && undif_expected[k].first == "?" &&
               std::fabs(undif_expected[k].second.dist - dist) > 1)
            ++k;
        ASSERT_LT(k, undif_expected.size()) << "an accepted observation below the mask: " << l;
        const Look& x = undif_expected[k++].second;
        EXPECT_LT(norm(sub(rx, rnx.at(rec).approx)), 0.001) << l;
        f.ele = std::max(f.ele, std::fabs(ele - x.ele));
        f.azi = std::max(f.azi, std::fabs(std::remainder(azi - x.azi, 360.0)) * std::cos(x.ele * deg));
        f.dist = std::max(f.dist, std::fabs(dist - x.dist));
    }
    for (; k < undif_expected.size(); ++k)
        EXPECT_EQ(undif_expected[k].first, "?") << "an observation above the mask without UNDIF_DAT";

    // Deselected by the mask: the spherical elevation printed is the independent one.
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto p = out[i].find("tdjmobs,irec,rec,iprn,ele=");
        if (p == std::string::npos) continue;
        std::istringstream in(out[i].substr(p + 26));
        double tdjm, ele;
        int irec, prn;
        std::string rec;
        in >> tdjm >> irec >> rec >> prn >> ele;
        const long sod = std::lround((tdjm - std::floor(tdjm)) * 86400.0);
        const auto s = sph_of.find({static_cast<long>(irec) * 100000 + sod, prn});
        if (s == sph_of.end()) continue;
        ++f.masked;
        f.sph = std::max(f.sph, std::fabs(ele - s->second));
    }

    // OB2 observables and indicators are the RINEX columns.
    for (const auto& l : out) {
        if (l.rfind("OB2 ", 0) != 0) continue;
        const std::string rec = l.substr(33, 4);
        const long sec = std::lround(sod_of(std::atoi(l.substr(16, 2).c_str()), std::atoi(l.substr(19, 2).c_str()),
                                            std::atof(l.substr(21, 11).c_str())));
        const auto& t = rnx.at(rec);
        const auto& vals = t.obs.at({sec, std::atoi(l.substr(4, 2).c_str())});
        for (std::size_t j = 0; j < 4; ++j) {
            const std::string ty = l.substr(63 + 6 * j, 2);
            const std::size_t col = 83 + 16 * j;
            const auto it = std::find(t.types.begin(), t.types.end(), ty);
            ASSERT_NE(it, t.types.end()) << l;
            const auto& [v, lli, ssi] = vals[static_cast<std::size_t>(it - t.types.begin())];
            EXPECT_NEAR(std::atof(l.substr(col, 14).c_str()), v, 0.0006) << l;
            EXPECT_EQ(l.substr(col + 14, 2), std::to_string(lli) + std::to_string(ssi)) << ty << ": " << l;
            ++f.values;
        }
    }
    std::printf("[ figures  ] %s: %ld orbit passes, %ld accepted, %ld masked, %ld values; max |diff|: position "
                "%.2e m, clock %.1e s, elevation %.4f, azimuth %.4f deg, distance %.4f m, "
                "spherical elevation %.1e deg\n",
                day.folder.c_str(), f.orbit, f.accepted, f.masked, f.values, f.pos, f.clk, f.ele, f.azi,
                f.dist, f.sph);
    EXPECT_GT(f.orbit, 2000);
    EXPECT_GT(f.masked, 10);
    // The records' rounding (0.01 mm, 1e-12 s, 0.001 degree, 1 mm) and double against binary128 arithmetic.
    EXPECT_LT(f.pos, 1e-4);
    EXPECT_LT(f.clk, 1e-11);
    EXPECT_LT(f.ele, 0.00051);
    EXPECT_LT(f.azi, 0.00051);
    EXPECT_LT(f.dist, 0.0006);
    EXPECT_LT(f.sph, 1e-6);
    check_model_records(out, day.precise, day.folder);
}

TEST(ChainRealData, BroadcastBellEbre2002) {
    QUELMAR_NEED_DATA("rinex/2002-030/bell0300.02o", "rinex/2002-030/ebre0300.02o", "rinex/2002-030/brdc0300.02n",
                      "antenna/igs05_1480.atx", "antenna/ngs_abs.pcv", "otl/OCEAN-GOT00.dat",
                      "iono/nequick-itu/ccir11.asc");
    run_day({2002, 1, 30, {"bell0300.02o", "ebre0300.02o"}, "2002-030", false, 0, 86400, 1});
}

TEST(ChainRealData, PreciseFourStations2008) {
    QUELMAR_NEED_DATA("rinex/2008-148/acor1480.08o", "orbits/2008-148/igs14811.sp3", "orbits/2008-148/igs14813.sp3",
                      "antenna/igs05_1480.atx", "antenna/ngs_abs.pcv", "tropo/gpt2_1wA.grd", "otl/OCEAN-GOT00.dat",
                      "iono/nequick-itu/ccir15.asc");
    run_day({2008, 5, 27, {"acor1480.08o", "madr1480.08o", "scoa1480.08o", "sfer1480.08o"}, "2008-148", true,
             0, 86400, 2});
}

} // namespace
