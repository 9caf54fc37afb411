// Scaffolding of the real-data checks of the observation chain: real cases built from public RINEX, SP3
// and ANTEX files with the converters, the program run on them, its OB2 / UNDIF_DAT / TRACE output read
// back, and an independent geometry (geodetic coordinates, broadcast Kepler orbits from the published
// GPS interface equations, Lagrange interpolation of SP3 positions) to compare with.
//
// Nothing here calls the program's own orbit or geometry code: the comparisons must be able to catch a
// fault in it.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "../../tools/lib/rinex.hpp"
#include "support/test_support.hpp"
#include "textio/format.hpp"

namespace quelmar::chain_realdata {

namespace fs = std::filesystem;
using testing_support::lines_of;
using testing_support::read_file;

// Physical constants of the GPS interface document (IS-GPS-200) and WGS 84.
constexpr double c_light = 299792458.0;     // m/s
constexpr double mu_gps = 3.986005e14;      // m^3/s^2, GPS value of GM
constexpr double omega_e = 7.2921151467e-5; // rad/s, Earth rotation rate
constexpr double f_rel = -4.442807633e-10;  // s/m^(1/2), relativistic clock constant
constexpr double f1_gps = 1575.42e6, f2_gps = 1227.60e6;
constexpr double wgs84_a = 6378137.0, wgs84_f = 1.0 / 298.257223563;
constexpr double pi = 3.14159265358979323846;
constexpr double deg = pi / 180.0;
constexpr double gps_epoch_mjd = 44244.0; // 1980-01-06

using Vec3 = std::array<double, 3>;

inline double dot(const Vec3& a, const Vec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline double norm(const Vec3& a) {
    return std::sqrt(dot(a, a));
}
inline Vec3 sub(const Vec3& a, const Vec3& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

// GPS seconds since 1980-01-06 of an MJD day and a second of day.
inline double gps_seconds(double mjd, double sod) {
    return (mjd - gps_epoch_mjd) * 86400.0 + sod;
}

// ---------------------------------------------------------------------------------------------------
// Geometry on the WGS 84 ellipsoid.

struct Geodetic {
    double lat = 0, lon = 0, h = 0; // radians, radians, metres
};

// Geodetic coordinates by fixed-point iteration on the latitude (converges to far below a millimetre in
// a few steps away from the poles, which is where our stations are).
inline Geodetic geodetic_of(const Vec3& x) {
    const double e2 = wgs84_f * (2 - wgs84_f);
    const double p = std::hypot(x[0], x[1]);
    Geodetic g;
    g.lon = std::atan2(x[1], x[0]);
    g.lat = std::atan2(x[2], p * (1 - e2));
    for (int i = 0; i < 10; ++i) {
        const double s = std::sin(g.lat);
        const double n = wgs84_a / std::sqrt(1 - e2 * s * s);
        g.h = p / std::cos(g.lat) - n;
        g.lat = std::atan2(x[2], p * (1 - e2 * n / (n + g.h)));
    }
    return g;
}

struct Look {
    double ele = 0, azi = 0; // degrees; azimuth in [0, 360)
    double sph_ele = 0;      // elevation above the plane normal to the geocentric radius, degrees
    double dist = 0;         // m
};

// Elevation and azimuth of `sat` seen from `rec` (both Earth-fixed, metres): on the ellipsoid normal, and
// on the geocentric radius (the spherical elevation).
inline Look look_angles(const Vec3& rec, const Vec3& sat) {
    const Geodetic g = geodetic_of(rec);
    const Vec3 d = sub(sat, rec);
    const double r = norm(d);
    const double sl = std::sin(g.lat), cl = std::cos(g.lat), so = std::sin(g.lon), co = std::cos(g.lon);
    const double e = -so * d[0] + co * d[1];
    const double n = -sl * co * d[0] - sl * so * d[1] + cl * d[2];
    const double u = cl * co * d[0] + cl * so * d[1] + sl * d[2];
    Look l;
    l.dist = r;
    l.ele = std::asin(u / r) / deg;
    l.azi = std::atan2(e, n) / deg;
    if (l.azi < 0) l.azi += 360.0;
    l.sph_ele = std::asin(dot(d, rec) / (r * norm(rec))) / deg;
    return l;
}

// A position given in the Earth-fixed frame of the transmit epoch, seen in the frame of the reception
// epoch `tau` seconds later: the frame has turned by omega_e * tau about the z axis.
inline Vec3 earth_rotated(const Vec3& x, double tau) {
    const double a = omega_e * tau, c = std::cos(a), s = std::sin(a);
    return {c * x[0] + s * x[1], -s * x[0] + c * x[1], x[2]};
}

// Zenith delay of a standard atmosphere (hydrostatic from the pressure at the station height, with the
// usual latitude and height factors, plus 0.1 m wet) mapped with a simple 1/sin-like function. Good to a
// few decimetres above 10 degrees: enough to take the troposphere out of a spread of metres.
inline double troposphere_m(const Geodetic& g, double ele_deg) {
    const double p = 1013.25 * std::pow(1 - 2.2557e-5 * g.h, 5.2568);
    const double zhd = 0.0022768 * p / (1 - 0.00266 * std::cos(2 * g.lat) - 0.00028 * g.h / 1000);
    const double s = std::sin(ele_deg * deg);
    return (zhd + 0.1) * 1.001 / std::sqrt(0.002001 + s * s);
}

// ---------------------------------------------------------------------------------------------------
// Broadcast orbits: Kepler propagation with the harmonic corrections, as the GPS interface document
// defines it for the user (IS-GPS-200, table 20-IV), and the clock polynomial with its relativistic term.

struct BroadcastState {
    Vec3 pos{};       // Earth-fixed at the transmit epoch, m
    double clock = 0; // satellite clock offset for the ionosphere-free combination, s
    double tgd = 0;   // group delay of L1, s
};

class BroadcastOrbits {
  public:
    // Reads every GPS record of a navigation file; false with a reason when it cannot be read.
    bool load(const std::string& path, std::string& why) {
        try {
            tools::rinex::NavReader r;
            r.open(path);
            tools::rinex::GpsNavRecord g;
            while (r.next(g))
                if (g.prn >= 1 && g.prn <= 35) recs_[g.prn].push_back(g);
        } catch (const std::exception& e) {
            why = e.what();
            return false;
        }
        for (auto& [prn, v] : recs_)
            std::stable_sort(v.begin(), v.end(), [](const auto& a, const auto& b) {
                return gps_seconds(a.toc.mjd, a.toc.sod) < gps_seconds(b.toc.mjd, b.toc.sod);
            });
        return true;
    }

    // The record in force at GPS time `t` (s since 1980): the latest whose time of clock minus two hours
    // is not after `t`, which is the record the message stream has delivered by then.
    const tools::rinex::GpsNavRecord* record_at(int prn, double t) const {
        const auto it = recs_.find(prn);
        if (it == recs_.end()) return nullptr;
        const tools::rinex::GpsNavRecord* best = nullptr;
        for (const auto& g : it->second)
            if (gps_seconds(g.toc.mjd, g.toc.sod) - 7200.0 <= t + 1e-6) best = &g;
        return best;
    }

    // Satellite state from record `g` at GPS time `t`.
    static BroadcastState state(const tools::rinex::GpsNavRecord& g, double t) {
        const auto& o = g.orbit;
        const double crs = o[0][1], dn = o[0][2], m0 = o[0][3];
        const double cuc = o[1][0], ecc = o[1][1], cus = o[1][2], sqrt_a = o[1][3];
        const double toe = o[2][0], cic = o[2][1], omega0 = o[2][2], cis = o[2][3];
        const double i0 = o[3][0], crc = o[3][1], argp = o[3][2], omega_dot = o[3][3];
        const double idot = o[4][0];
        const double tgd = o[5][2];
        const double a = sqrt_a * sqrt_a;
        const double sow = std::fmod(t, 604800.0);
        double tk = sow - toe;
        if (tk > 302400) tk -= 604800;
        if (tk < -302400) tk += 604800;
        const double n = std::sqrt(mu_gps / (a * a * a)) + dn;
        const double mk = m0 + n * tk;
        double ek = mk;
        for (int i = 0; i < 30; ++i) {
            const double step = (ek - ecc * std::sin(ek) - mk) / (1 - ecc * std::cos(ek));
            ek -= step;
            if (std::fabs(step) < 1e-15) break;
        }
        const double nu = std::atan2(std::sqrt(1 - ecc * ecc) * std::sin(ek), std::cos(ek) - ecc);
        const double phi = nu + argp;
        const double s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
        const double u = phi + cus * s2 + cuc * c2;
        const double r = a * (1 - ecc * std::cos(ek)) + crs * s2 + crc * c2;
        const double inc = i0 + cis * s2 + cic * c2 + idot * tk;
        const double xp = r * std::cos(u), yp = r * std::sin(u);
        const double om = omega0 + (omega_dot - omega_e) * tk - omega_e * toe;
        BroadcastState st;
        st.pos = {xp * std::cos(om) - yp * std::cos(inc) * std::sin(om),
                  xp * std::sin(om) + yp * std::cos(inc) * std::cos(om), yp * std::sin(inc)};
        double dt = t - gps_seconds(g.toc.mjd, g.toc.sod);
        st.clock = g.clock[0] + g.clock[1] * dt + g.clock[2] * dt * dt + f_rel * ecc * sqrt_a * std::sin(ek);
        st.tgd = tgd;
        return st;
    }

  private:
    std::map<int, std::vector<tools::rinex::GpsNavRecord>> recs_;
};

// ---------------------------------------------------------------------------------------------------
// Precise orbits: SP3 positions interpolated with an 11-point Lagrange polynomial centred on the
// observation epoch; the clock linearly between its two neighbouring records (satellite clocks are not
// smooth enough for a high-degree polynomial) plus the periodic relativistic term -2 r.v / c^2, which
// SP3 clocks leave to the user.

struct PreciseState {
    Vec3 pos{};       // Earth-fixed at the transmit epoch, m
    double clock = 0; // s, with the relativistic term
    bool ok = false;
};

class PreciseOrbits {
  public:
    // Reads the P records of GPS satellites of the SP3 files (positions km, clocks microseconds).
    bool load(const std::vector<std::string>& paths, std::string& why) {
        for (const auto& p : paths) {
            std::ifstream in(p);
            if (!in) {
                why = "cannot open " + p;
                return false;
            }
            double t = 0;
            bool have_epoch = false;
            for (std::string l; std::getline(in, l);) {
                if (l.rfind("* ", 0) == 0) {
                    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
                    double s = 0;
                    if (std::sscanf(l.c_str() + 1, "%d %d %d %d %d %lf", &y, &mo, &d, &h, &mi, &s) != 6) {
                        why = "bad epoch line in " + p;
                        return false;
                    }
                    t = gps_seconds(static_cast<double>(testing_support::mjd_of(y, mo, d)),
                                    h * 3600.0 + mi * 60.0 + s);
                    have_epoch = true;
                } else if (have_epoch && l.size() > 4 && l[0] == 'P' && (l[1] == 'G' || l[1] == ' ')) {
                    const int prn = std::atoi(l.substr(2, 2).c_str());
                    double x = 0, y = 0, z = 0, clk = 0;
                    if (std::sscanf(l.c_str() + 4, "%lf %lf %lf %lf", &x, &y, &z, &clk) < 3) continue;
                    if (prn < 1 || prn > 35 || (x == 0 && y == 0 && z == 0)) continue;
                    auto& v = recs_[prn];
                    // A later file takes over from its first epoch (the files overlap by one record).
                    while (!v.empty() && v.back().t >= t - 1e-3) v.pop_back();
                    v.push_back({t, {x * 1000, y * 1000, z * 1000}, clk, clk < 999999.0});
                }
            }
        }
        return !recs_.empty();
    }

    // Position (without relativistic clock term) at GPS time t; nullopt outside the records.
    std::optional<Vec3> position(int prn, double t) const {
        const auto it = recs_.find(prn);
        if (it == recs_.end()) return std::nullopt;
        const auto& v = it->second;
        const auto up =
            std::lower_bound(v.begin(), v.end(), t, [](const Rec& r, double x) { return r.t < x; });
        long centre = static_cast<long>(up - v.begin());
        if (centre > 0 && (up == v.end() || t - v[centre - 1].t < v[centre].t - t)) --centre;
        constexpr long half = 5;
        const long i0 = centre - half, i1 = centre + half;
        if (i0 < 0 || i1 >= static_cast<long>(v.size())) return std::nullopt;
        // The window must be evenly spaced (no missing record inside it).
        const double step = v[i0 + 1].t - v[i0].t;
        if (std::fabs((v[i1].t - v[i0].t) - 2 * half * step) > 1e-3) return std::nullopt;
        Vec3 out{};
        for (long i = i0; i <= i1; ++i) {
            double w = 1;
            for (long j = i0; j <= i1; ++j)
                if (j != i) w *= (t - v[j].t) / (v[i].t - v[j].t);
            for (int k = 0; k < 3; ++k) out[k] += w * v[i].pos[k];
        }
        return out;
    }

    PreciseState state(int prn, double t) const {
        PreciseState s;
        const auto p = position(prn, t);
        const auto pm = position(prn, t - 1), pp = position(prn, t + 1);
        if (!p || !pm || !pp) return s;
        const auto& v = recs_.at(prn);
        const auto up =
            std::lower_bound(v.begin(), v.end(), t, [](const Rec& r, double x) { return r.t < x; });
        if (up == v.begin() || up == v.end()) return s;
        const Rec& b = *up;
        const Rec& a = *(up - 1);
        if (!a.clock_ok || !b.clock_ok) return s;
        const double clk_us = a.clk + (b.clk - a.clk) * (t - a.t) / (b.t - a.t);
        const Vec3 vel{((*pp)[0] - (*pm)[0]) / 2, ((*pp)[1] - (*pm)[1]) / 2, ((*pp)[2] - (*pm)[2]) / 2};
        s.pos = *p;
        s.clock = clk_us * 1e-6 - 2 * dot(*p, vel) / (c_light * c_light);
        s.ok = true;
        return s;
    }

  private:
    struct Rec {
        double t;
        Vec3 pos;
        double clk;
        bool clock_ok;
    };
    std::map<int, std::vector<Rec>> recs_;
};

// ---------------------------------------------------------------------------------------------------
// Program output.

// One OB2 record, read with its own layout.
struct Ob2 {
    int iprn = 0, iyy = 0, imo = 0, ida = 0, iho = 0, imi = 0;
    double sec = 0;
    std::string rec = std::string(4, ' ');
    std::string ksat = std::string(1, ' ');
    int iepochflag = 0, nobs = 0;
    double recclock = 0;
    std::array<std::string, 4> kobs{std::string(2, ' '), std::string(2, ' '), std::string(2, ' '),
                                    std::string(2, ' ')};
    std::array<double, 4> xdata{};
    std::array<int, 4> ias{}, isn{};
    int narch2 = 0;
    bool cycleslip2 = false, cycleslip_dt = false, cycleslip2_d2li = false, cycleslip2_dbw = false;
    double dtsec_ob1 = 0, d2li = 0, xli_lir = 0, dbw = 0, eele0 = 0, eazi0 = 0, dist0 = 0, d2li_max = 0,
           dbw_max = 0;

    double sod() const { return iho * 3600.0 + imi * 60.0 + sec; }
    // The value of an observable code, or nullopt.
    std::optional<double> value(const std::string& code) const {
        for (int k = 0; k < 4; ++k)
            if (kobs[k] == code) return xdata[k];
        return std::nullopt;
    }
};

// Reads OB2 records with their own layout (the format compiled once per reader).
class Ob2Reader {
  public:
    bool read(const std::string& line, Ob2& r) const {
        std::string code(4, ' ');
        const auto st = f_.read(line, code, r.iprn, r.iyy, r.imo, r.ida, r.iho, r.imi, r.sec, r.rec, r.ksat,
                                r.iepochflag, r.recclock, r.nobs, r.kobs[0], r.kobs[1], r.kobs[2], r.kobs[3],
                                r.xdata[0], r.ias[0], r.isn[0], r.xdata[1], r.ias[1], r.isn[1], r.xdata[2],
                                r.ias[2], r.isn[2], r.xdata[3], r.ias[3], r.isn[3], r.narch2, r.cycleslip2,
                                r.dtsec_ob1, r.cycleslip_dt, r.d2li, r.cycleslip2_d2li, r.xli_lir, r.dbw,
                                r.cycleslip2_dbw, r.eele0, r.eazi0, r.dist0, r.d2li_max, r.dbw_max);
        return st.ok() && code == "OB2 ";
    }

  private:
    textio::Format f_{
        "(a,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,04(4x,a2),4(f14.3,i1,i1),1x,i5,1x,"
        "l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1,2(1x,f7.3),f14.3,2(1x,e15.7))"};
};

// One UNDIF_DAT record of the log.
struct UndifDat {
    std::string rec;
    double tdjmobs = 0;
    int iprn = 0;
    double eele0 = 0, eazi0 = 0, dist0 = 0;
    Vec3 recxyz{}, satxyz{};
};

inline bool read_undif_dat(const std::string& line, UndifDat& u) {
    std::istringstream in(line);
    std::string code;
    int zero = -1;
    in >> code >> u.rec >> zero >> u.tdjmobs >> u.iprn >> u.eele0 >> u.eazi0 >> u.dist0 >> u.recxyz[0] >>
        u.recxyz[1] >> u.recxyz[2] >> u.satxyz[0] >> u.satxyz[1] >> u.satxyz[2];
    return !in.fail() && code == "UNDIF_DAT" && zero == 0;
}

// The numbers after `label` on a list-directed line (empty when the label is absent).
inline std::vector<double> numbers_after(const std::string& line, const std::string& label) {
    std::vector<double> v;
    const auto p = line.find(label);
    if (p == std::string::npos) return v;
    std::istringstream in(line.substr(p + label.size()));
    for (std::string tok; in >> tok;) {
        char* end = nullptr;
        const double x = std::strtod(tok.c_str(), &end);
        if (end == tok.c_str() || *end != '\0') break;
        v.push_back(x);
    }
    return v;
}

// ---------------------------------------------------------------------------------------------------
// Running things.

struct Shell {
    int status = -1;
    std::string err;
};

// Runs a command line with standard error into a file; returns the exit status and that text.
inline Shell run_command(const std::string& cmd, const fs::path& errfile) {
    Shell r;
    const int rc = std::system((cmd + " 2> '" + errfile.string() + "'").c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.err = read_file(errfile);
    return r;
}

inline std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

// Keeps of a message stream what a run over [sod0, sod1) seconds of the day needs: every line up to the
// first observation at or after sod1, less the observations before sod0. Station and ephemeris messages
// before the span are kept: the run needs them.
inline std::string stream_span(const std::string& stream, double sod0, double sod1) {
    std::string out;
    std::istringstream in(stream);
    for (std::string l; std::getline(in, l);) {
        if (l.rfind("OB1 ", 0) == 0 && l.size() > 33) {
            const double sod = std::atoi(l.substr(16, 2).c_str()) * 3600.0 +
                               std::atoi(l.substr(19, 2).c_str()) * 60.0 +
                               std::atof(l.substr(21, 11).c_str());
            if (sod >= sod1) break;
            if (sod < sod0) continue;
        }
        (out += l) += '\n';
    }
    return out;
}

// The example configuration with the changes of a case.
inline std::string edited_config(std::string cfg,
                                 const std::vector<std::pair<std::string, std::string>>& edits) {
    for (const auto& [from, to] : edits) {
        const auto p = cfg.find(from);
        EXPECT_NE(p, std::string::npos) << "not in the example configuration: " << from;
        if (p != std::string::npos) cfg.replace(p, from.size(), to);
    }
    return cfg;
}

struct RunOutput {
    int status = -1;
    std::string out, err, log;
    double seconds = 0;
};

// ---------------------------------------------------------------------------------------------------
// Statistics for the printed figures.

struct Stats {
    std::vector<double> v;
    void add(double x) { v.push_back(x); }
    std::size_t n() const { return v.size(); }
    double max_abs() const {
        double m = 0;
        for (double x : v) m = std::max(m, std::fabs(x));
        return m;
    }
    double rms() const {
        if (v.empty()) return 0;
        double s = 0;
        for (double x : v) s += x * x;
        return std::sqrt(s / static_cast<double>(v.size()));
    }
    double mean() const {
        if (v.empty()) return 0;
        double s = 0;
        for (double x : v) s += x;
        return s / static_cast<double>(v.size());
    }
    double min() const { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
    double max() const { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }
    // Quantile q in [0, 1] of |x|.
    double abs_quantile(double q) const {
        if (v.empty()) return 0;
        std::vector<double> a;
        a.reserve(v.size());
        for (double x : v) a.push_back(std::fabs(x));
        std::sort(a.begin(), a.end());
        return a[std::min(a.size() - 1, static_cast<std::size_t>(q * static_cast<double>(a.size())))];
    }
};

inline double median_of(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

} // namespace quelmar::chain_realdata
