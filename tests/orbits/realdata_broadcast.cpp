// The broadcast orbit and clock against precise products of the same day (2010-07-01, 2020-06-25).
//
// Every GPS satellite at every 15-min epoch of the SP3 file: the broadcast record with the nearest toe
// is evaluated with posat4 at the epoch (travel time 0, so the Earth-fixed position at the epoch) and
// compared with the precise position; the broadcast clock polynomial is compared with the precise
// clocks after removing, per epoch, the offset common to all satellites (the two clock products refer
// to different time scales). The navigation file is parsed here, by columns, independently of the
// program's message readers.
//
// The broadcast orbit refers to the antenna phase centre, the precise orbit to the centre of mass: the
// difference lies along the nadir axis, i.e. almost radially, and differs per satellite block. It is
// not corrected here; the mean radial difference of each satellite is reported beside the 3D figures
// and the 3D RMS after removing it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "orbits/broadcast.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
namespace fs = std::filesystem;
using quelmar::testing_support::CapturedLog;
using quelmar::testing_support::mjd_of;

namespace {

constexpr double pi = 3.141592653589793;

// One GPS navigation record of a RINEX 2 file.
struct NavRecord {
    int prn = 0;
    double toc_gps = 0; // seconds since the start of GPS time
    double a0 = 0, a1 = 0, a2 = 0;
    double crs = 0, dn = 0, m0 = 0, cuc = 0, e = 0, cus = 0, sqrta = 0, toe = 0, cic = 0, omega0 = 0, cis = 0,
           i0 = 0, crc = 0, w = 0, omegadot = 0, idot = 0, week = 0, health = 0;
    double toe_gps() const { return week * 604800.0 + toe; }
};

// A D19.12 field; blanks read as 0, anything unreadable as NaN.
double field(const std::string& line, std::size_t col0, std::size_t width = 19) {
    if (col0 >= line.size()) return 0.0;
    std::string s = line.substr(col0, width);
    std::replace(s.begin(), s.end(), 'D', 'E');
    std::replace(s.begin(), s.end(), 'd', 'e');
    if (s.find_first_not_of(' ') == std::string::npos) return 0.0;
    try {
        return std::stod(s);
    } catch (...) {
        return std::nan("");
    }
}

double gps_seconds(int y, int m, int d, int hh, int mi, double ss) {
    return static_cast<double>(mjd_of(y, m, d) - 44244) * 86400.0 + hh * 3600.0 + mi * 60.0 + ss;
}

// The GPS records of a RINEX 2 (GPS only) or RINEX 3 (mixed) navigation text. RINEX 3 records of other
// systems are skipped (GLONASS and SBAS records have 4 lines, the others 8).
std::vector<NavRecord> parse_nav(std::istream& in) {
    std::vector<NavRecord> out;
    std::string line;
    bool rinex3 = false;
    while (std::getline(in, line)) {
        if (line.find("RINEX VERSION / TYPE") != std::string::npos)
            rinex3 = line.substr(0, 9).find('3') != std::string::npos;
        if (line.find("END OF HEADER") != std::string::npos) break;
    }
    const std::size_t c0 = rinex3 ? 4 : 3; // first column of the broadcast-orbit fields
    std::array<std::string, 8> l;
    while (std::getline(in, l[0])) {
        if (l[0].size() < 23) break;
        const char sys = rinex3 ? l[0][0] : 'G';
        const int nlines = (sys == 'R' || sys == 'S') ? 4 : 8;
        bool complete = true;
        for (int k = 1; k < nlines; ++k) complete = complete && static_cast<bool>(std::getline(in, l[k]));
        if (!complete) break;
        if (sys != 'G') continue;
        NavRecord r;
        r.prn = std::stoi(l[0].substr(rinex3 ? 1 : 0, 2));
        if (rinex3) {
            r.toc_gps = gps_seconds(std::stoi(l[0].substr(4, 4)), std::stoi(l[0].substr(9, 2)),
                                    std::stoi(l[0].substr(12, 2)), std::stoi(l[0].substr(15, 2)),
                                    std::stoi(l[0].substr(18, 2)), std::stod(l[0].substr(21, 2)));
        } else {
            const int yy = std::stoi(l[0].substr(3, 2));
            r.toc_gps = gps_seconds(yy < 80 ? 2000 + yy : 1900 + yy, std::stoi(l[0].substr(6, 2)),
                                    std::stoi(l[0].substr(9, 2)), std::stoi(l[0].substr(12, 2)),
                                    std::stoi(l[0].substr(15, 2)), std::stod(l[0].substr(17, 5)));
        }
        const std::size_t a0col = rinex3 ? 23 : 22;
        r.a0 = field(l[0], a0col);
        r.a1 = field(l[0], a0col + 19);
        r.a2 = field(l[0], a0col + 38);
        auto f = [&l, c0](int line_no, int k) { return field(l[line_no], c0 + 19 * k); };
        r.crs = f(1, 1), r.dn = f(1, 2), r.m0 = f(1, 3);
        r.cuc = f(2, 0), r.e = f(2, 1), r.cus = f(2, 2), r.sqrta = f(2, 3);
        r.toe = f(3, 0), r.cic = f(3, 1), r.omega0 = f(3, 2), r.cis = f(3, 3);
        r.i0 = f(4, 0), r.crc = f(4, 1), r.w = f(4, 2), r.omegadot = f(4, 3);
        r.idot = f(5, 0), r.week = f(5, 2);
        r.health = f(6, 1);
        out.push_back(r);
    }
    return out;
}

// The text of a file, decompressed with gzip when its name ends in ".gz"; empty when unavailable.
std::string text_of(const fs::path& p) {
    if (p.extension() != ".gz") return testing_support::read_file(p);
    std::string text;
    if (FILE* f = popen(("gzip -dc '" + p.string() + "' 2>/dev/null").c_str(), "r")) {
        char buf[65536];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
        pclose(f);
    }
    return text;
}

std::vector<NavRecord> read_nav(const fs::path& p) {
    std::istringstream in(text_of(p));
    return parse_nav(in);
}

struct Sp3Sat {
    std::array<double, 3> xyz{}; // m
    double clk = 0;              // s; NaN when missing
};
struct Sp3Epoch {
    double t = 0; // GPS seconds
    std::map<int, Sp3Sat> sat;
};

std::vector<Sp3Epoch> read_sp3_gps(const fs::path& p) {
    std::istringstream in(text_of(p));
    std::vector<Sp3Epoch> out;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("* ", 0) == 0 && line.size() >= 31) {
            Sp3Epoch e;
            e.t = gps_seconds(std::stoi(line.substr(3, 4)), std::stoi(line.substr(8, 2)),
                              std::stoi(line.substr(11, 2)), std::stoi(line.substr(14, 2)),
                              std::stoi(line.substr(17, 2)), std::stod(line.substr(20, 11)));
            out.push_back(e);
        } else if (line.rfind("PG", 0) == 0 && line.size() >= 60 && !out.empty()) {
            Sp3Sat s;
            for (int k = 0; k < 3; ++k) s.xyz[k] = std::stod(line.substr(4 + 14 * k, 14)) * 1000.0;
            const double clk = std::stod(line.substr(46, 14));
            s.clk = clk > 999999.0 ? std::nan("") : clk * 1e-6;
            if (s.xyz[0] == 0.0 && s.xyz[1] == 0.0 && s.xyz[2] == 0.0) continue; // no position
            out.back().sat[std::stoi(line.substr(2, 2))] = s;
        }
    }
    return out;
}

// The record of the PRN whose toe is nearest to t (the earlier one on a tie); null when none lies
// within the 4-hour fit interval of a broadcast record (|t - toe| <= 2 h). Station files have gaps of
// several hours, and an ephemeris used that far beyond its fit interval is off by hundreds of metres.
const NavRecord* nearest_toe(const std::vector<NavRecord>& nav, int prn, double t) {
    const NavRecord* best = nullptr;
    for (const auto& r : nav)
        if (r.prn == prn && (!best || std::fabs(r.toe_gps() - t) < std::fabs(best->toe_gps() - t))) best = &r;
    return best && std::fabs(best->toe_gps() - t) <= 7200.0 ? best : nullptr;
}

bool broadcast_position(const NavRecord& r, double t_gps, std::array<double, 3>& ctx, frame::TextSink& out) {
    const double t = t_gps - std::trunc(r.week) * 604800.0; // seconds since the start of the ephemeris week
    double dtrel = 0;
    std::array<double, 3> v{};
    return orbits::posat4(t, t, r.omega0 / pi, r.i0 / pi, r.w / pi, r.sqrta, r.e, r.m0 / pi,
                          static_cast<int>(r.toe), r.omegadot / pi, r.idot / pi, r.dn / pi, r.cic, r.cis,
                          r.cuc, r.cus, r.crc, r.crs, ctx, dtrel, v, out);
}

double broadcast_clock(const NavRecord& r, double t_gps) {
    const double dt = t_gps - r.toc_gps;
    return r.a0 + r.a1 * dt + r.a2 * dt * dt;
}

struct Stats {
    int n = 0;
    double sum2 = 0, max = 0, sum = 0, sum2b = 0;
    void add(double x) {
        ++n;
        sum += x;
        sum2 += x * x;
        max = std::max(max, std::fabs(x));
    }
    double rms() const { return n ? std::sqrt(sum2 / n) : 0.0; }
    double mean() const { return n ? sum / n : 0.0; }
};

fs::path orbits_dir(const char* day) {
    return fs::path(QUELMAR_SHARED_DATA) / "orbits" / day;
}

// A satellite is taken as healthy when none of its records of the day has a health flag set.
bool healthy(const std::vector<NavRecord>& nav, int prn) {
    for (const auto& r : nav)
        if (r.prn == prn && r.health != 0.0) return false;
    return true;
}

struct Limits {
    double rms_m, max_m;           // per healthy satellite, 3D position
    double clk_rms_ns, clk_max_ns; // per healthy satellite, clock after the common offset
    double clk_all_rms_ns;         // all healthy satellites together
};

// Position differences per satellite; prints the table and checks the healthy satellites.
void compare_orbits(const std::vector<NavRecord>& nav, const std::vector<Sp3Epoch>& sp3, const char* what,
                    const Limits& lim) {
    CapturedLog out;
    std::map<int, Stats> d3, radial;
    std::map<int, std::vector<std::pair<std::array<double, 3>, std::array<double, 3>>>> pairs; // diff, radial
    for (const auto& ep : sp3) {
        for (const auto& [prn, s] : ep.sat) {
            const NavRecord* r = nearest_toe(nav, prn, ep.t);
            if (!r) continue;
            std::array<double, 3> p{};
            ASSERT_TRUE(broadcast_position(*r, ep.t, p, out.log)) << prn;
            std::array<double, 3> d{}, u{};
            const double rn = std::sqrt(s.xyz[0] * s.xyz[0] + s.xyz[1] * s.xyz[1] + s.xyz[2] * s.xyz[2]);
            for (int k = 0; k < 3; ++k) d[k] = p[k] - s.xyz[k], u[k] = s.xyz[k] / rn;
            d3[prn].add(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
            radial[prn].add(d[0] * u[0] + d[1] * u[1] + d[2] * u[2]);
            pairs[prn].push_back({d, u});
        }
    }
    std::printf(
        "%s\nPRN  epochs  3D RMS (m)  3D max (m)  mean radial (m)  3D RMS less mean radial (m)  health\n",
        what);
    Stats all;
    for (const auto& [prn, st] : d3) {
        const double mr = radial[prn].mean();
        Stats rest;
        for (const auto& [d, u] : pairs[prn]) {
            double q = 0;
            for (int k = 0; k < 3; ++k) q += (d[k] - mr * u[k]) * (d[k] - mr * u[k]);
            rest.add(std::sqrt(q));
        }
        const bool ok = healthy(nav, prn);
        std::printf("G%02d  %6d  %10.3f  %10.3f  %15.3f  %27.3f  %s\n", prn, st.n, st.rms(), st.max, mr,
                    rest.rms(), ok ? "healthy" : "UNHEALTHY");
        if (!ok) continue;
        EXPECT_LT(st.rms(), lim.rms_m) << what << " G" << prn;
        EXPECT_LT(st.max, lim.max_m) << what << " G" << prn;
        for (const auto& [d, u] : pairs[prn]) all.add(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
    }
    std::printf("%s, all healthy satellites: %d positions, 3D RMS %.3f m, max %.3f m\n", what, all.n,
                all.rms(), all.max);
    EXPECT_GE(d3.size(), 28u) << what;
    EXPECT_EQ(out.text(), "") << what;
}

struct ClockEpoch {
    double t;
    std::map<int, double> clk; // s
};

std::vector<ClockEpoch> sp3_clocks(const std::vector<Sp3Epoch>& sp3) {
    std::vector<ClockEpoch> v;
    for (const auto& ep : sp3) {
        ClockEpoch c{ep.t, {}};
        for (const auto& [prn, s] : ep.sat)
            if (!std::isnan(s.clk)) c.clk[prn] = s.clk;
        v.push_back(c);
    }
    return v;
}

// The GPS satellite clocks (AS records) of a RINEX clock file.
std::vector<ClockEpoch> read_clk_gps(const fs::path& p) {
    std::vector<ClockEpoch> v;
    std::istringstream in(text_of(p));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("AS G", 0) != 0 || line.size() < 59) continue;
        const double t = gps_seconds(std::stoi(line.substr(8, 4)), std::stoi(line.substr(13, 2)),
                                     std::stoi(line.substr(16, 2)), std::stoi(line.substr(19, 2)),
                                     std::stoi(line.substr(22, 2)), std::stod(line.substr(24, 10)));
        if (v.empty() || v.back().t != t) v.push_back({t, {}});
        v.back().clk[std::stoi(line.substr(4, 2))] = std::stod(line.substr(40, 19));
    }
    return v;
}

// Broadcast minus precise clock per satellite after removing, per epoch, the mean difference over the
// healthy satellites (the offset between the two clock scales).
void compare_clocks(const std::vector<NavRecord>& nav, const std::vector<ClockEpoch>& eps, const char* what,
                    const Limits& lim) {
    std::map<int, Stats> per;
    Stats all;
    for (const auto& ep : eps) {
        std::map<int, double> diff;
        double sum = 0;
        for (const auto& [prn, c] : ep.clk) {
            const NavRecord* r = nearest_toe(nav, prn, ep.t);
            if (!r || !healthy(nav, prn)) continue;
            diff[prn] = broadcast_clock(*r, ep.t) - c;
            sum += diff[prn];
        }
        if (diff.size() < 4) continue;
        const double offset = sum / static_cast<double>(diff.size());
        for (const auto& [prn, d] : diff) {
            per[prn].add((d - offset) * 1e9);
            all.add((d - offset) * 1e9);
        }
    }
    std::printf("clocks, %s\nPRN  epochs  RMS (ns)  max (ns)\n", what);
    for (const auto& [prn, st] : per) {
        std::printf("G%02d  %6d  %8.3f  %8.3f\n", prn, st.n, st.rms(), st.max);
        EXPECT_LT(st.rms(), lim.clk_rms_ns) << what << " G" << prn;
        EXPECT_LT(st.max, lim.clk_max_ns) << what << " G" << prn;
    }
    std::printf("clocks, %s, all healthy satellites: %d values, RMS %.3f ns, max %.3f ns\n", what, all.n,
                all.rms(), all.max);
    EXPECT_GT(all.n, 0) << what;
    EXPECT_LT(all.rms(), lim.clk_all_rms_ns) << what;
}

// 2010-07-01: the IGS daily broadcast file against the IGS final orbit and clocks. PRN 01 (unhealthy
// all day) also carries one record (toe 367200 s, health 0) whose orbit is not that of the satellite:
// its five epochs are thousands of kilometres off, so it only appears in the table.
TEST(BroadcastVsPrecise, Day2010_182) {
    const fs::path navp = orbits_dir("2010-182") / "brdc1820.10n",
                   sp3p = orbits_dir("2010-182") / "igs15904.sp3",
                   clkp = orbits_dir("2010-182") / "igs15904.clk";
    for (const auto& p : {navp, sp3p})
        if (!fs::exists(p)) GTEST_SKIP() << "real data not available: " << p;
    const auto nav = read_nav(navp);
    const auto sp3 = read_sp3_gps(sp3p);
    ASSERT_GT(nav.size(), 300u);
    ASSERT_EQ(sp3.size(), 96u);
    const Limits lim{5.0, 15.0, 15.0, 40.0, 8.0};
    compare_orbits(nav, sp3, "2010-182 broadcast vs igs15904.sp3", lim);
    compare_clocks(nav, sp3_clocks(sp3), "2010-182 vs igs15904.sp3 (15 min)", lim);
    if (fs::exists(clkp)) // the copy at hand covers the first hour, every 5 min
        compare_clocks(nav, read_clk_gps(clkp), "2010-182 vs igs15904.clk (5 min)", lim);
    else
        std::printf("clock file not available: %s\n", clkp.c_str());
}

// 2020-06-25: the GPS records of two station navigation files (ESBC, MOJN) against the GRG MGEX final
// orbit and 30 s clocks.
TEST(BroadcastVsPrecise, Day2020_177) {
    const fs::path rnx = fs::path(QUELMAR_SHARED_DATA) / "rinex" / "2020-177";
    const std::vector<fs::path> navs = {rnx / "ESBC00DNK_R_20201770000_01D_MN.rnx.gz",
                                        rnx / "MOJN00DNK_R_20201770000_01D_MN.rnx.gz"};
    const fs::path sp3p = orbits_dir("2020-177") / "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3.gz",
                   clkp = orbits_dir("2020-177") / "GRG0MGXFIN_20201770000_01D_30S_CLK.CLK.gz";
    std::vector<NavRecord> nav;
    for (const auto& p : navs) {
        if (!fs::exists(p)) GTEST_SKIP() << "real data not available: " << p;
        const auto more = read_nav(p);
        nav.insert(nav.end(), more.begin(), more.end());
    }
    if (!fs::exists(sp3p)) GTEST_SKIP() << "real data not available: " << sp3p;
    const auto sp3 = read_sp3_gps(sp3p);
    if (sp3.empty()) GTEST_SKIP() << "gzip is not available to read " << sp3p;
    ASSERT_GT(nav.size(), 200u);
    ASSERT_EQ(sp3.size(), 96u);
    const Limits lim{5.0, 15.0, 15.0, 40.0, 8.0};
    compare_orbits(nav, sp3, "2020-177 station broadcast vs GRG MGEX SP3", lim);
    compare_clocks(nav, sp3_clocks(sp3), "2020-177 vs GRG SP3 (15 min)", lim);
    if (fs::exists(clkp)) compare_clocks(nav, read_clk_gps(clkp), "2020-177 vs GRG CLK (30 s)", lim);
}

} // namespace
