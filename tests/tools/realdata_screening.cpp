// The upstream cycle-slip screening on real 30 s dual-frequency data (station BELL, 2002-01-30, a
// Trimble 4000SSI): the flags it raises on the first hours as recorded, then one-cycle slips injected on
// clean stretches, each of which must be flagged at its epoch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../../tools/lib/screening.hpp"

using namespace quelmar::tools::screening;
namespace fs = std::filesystem;

namespace {

constexpr double f1 = 1575.42e6, f2 = 1227.60e6;

struct Sample {
    double t;              // s of day
    double l1, l2, p1, p2; // cycles, m
    bool lli = false;      // loss-of-lock bit on L1 or L2
};

// A number of a fixed-column field, 0 when blank or unreadable (RINEX 2 leaves missing values blank).
double field(const std::string& line, std::size_t col, std::size_t width) {
    if (col >= line.size()) return 0.0;
    const std::string s = line.substr(col, width);
    if (s.find_first_not_of(' ') == std::string::npos) return 0.0;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    return end == s.c_str() ? 0.0 : v;
}

// The GPS observations of the first `hours` of a RINEX 2 observation file, per PRN: only what the
// screening needs (L1, L2, P1 or else C1, P2), epochs with flags 0 or 1.
std::map<int, std::vector<Sample>> read_rinex2(const fs::path& path, double hours) {
    std::map<int, std::vector<Sample>> out;
    std::ifstream in(path);
    std::string line;
    std::vector<std::string> types;
    while (std::getline(in, line)) {
        if (line.size() > 60 && line.compare(60, 19, "# / TYPES OF OBSERV") == 0) {
            for (int i = 0; i < 9; ++i) {
                const std::size_t col = 10 + 6 * i;
                if (col + 2 > line.size()) break;
                const std::string t = line.substr(col, 2);
                if (t != "  ") types.push_back(t);
            }
        }
        if (line.find("END OF HEADER") != std::string::npos) break;
    }
    auto index = [&](const char* t) {
        for (std::size_t i = 0; i < types.size(); ++i)
            if (types[i] == t) return static_cast<int>(i);
        return -1;
    };
    const int il1 = index("L1"), il2 = index("L2"), ip1 = index("P1"), ic1 = index("C1"), ip2 = index("P2");
    if (il1 < 0 || il2 < 0 || ip2 < 0 || (ip1 < 0 && ic1 < 0)) return out;
    const std::size_t lines_per_sat = (types.size() + 4) / 5;
    while (std::getline(in, line)) {
        if (line.size() < 32) continue;
        const int flag = static_cast<int>(field(line, 28, 1));
        const int nsat = static_cast<int>(field(line, 29, 3));
        if (flag > 1) { // event records: nsat header-like lines follow
            for (int i = 0; i < nsat && std::getline(in, line);) ++i;
            continue;
        }
        const double t = field(line, 10, 3) * 3600 + field(line, 13, 3) * 60 + field(line, 15, 11);
        if (t >= hours * 3600) break;
        std::vector<std::string> sats;
        std::string cur = line;
        for (int i = 0; i < nsat; ++i) {
            if (i > 0 && i % 12 == 0 && !std::getline(in, cur)) return out;
            const std::size_t col = 32 + 3 * (i % 12);
            sats.push_back(col + 3 <= cur.size() ? cur.substr(col, 3) : "   ");
        }
        for (const auto& sat : sats) {
            std::string rec;
            for (std::size_t k = 0; k < lines_per_sat; ++k) {
                if (!std::getline(in, cur)) return out;
                cur.resize(80, ' ');
                rec += cur;
            }
            if (sat[0] != 'G' && sat[0] != ' ') continue;
            const int prn = static_cast<int>(field(sat, 1, 2));
            auto value = [&](int i) { return i < 0 ? 0.0 : field(rec, 80 * (i / 5) + 16 * (i % 5), 14); };
            auto lli = [&](int i) {
                const char ch = rec[80 * (i / 5) + 16 * (i % 5) + 14];
                return ch >= '0' && ch <= '7' && ((ch - '0') & 1) != 0;
            };
            Sample s{t, value(il1), value(il2), value(ip1), value(ip2), lli(il1) || lli(il2)};
            if (s.p1 == 0.0) s.p1 = value(ic1);
            if (s.l1 == 0.0 || s.l2 == 0.0 || s.p1 == 0.0 || s.p2 == 0.0) continue;
            out[prn].push_back(s);
        }
    }
    return out;
}

Observation obs_of(const Sample& s) {
    Observation o;
    o.t = s.t;
    o.l1 = s.l1;
    o.l2 = s.l2;
    o.p1 = s.p1;
    o.p2 = s.p2;
    o.f1 = f1;
    o.f2 = f2;
    return o;
}

// Screens one satellite's samples; with reset_at_lli a receiver loss-of-lock flag starts a new arc.
std::vector<ScreeningResult> screen(const std::vector<Sample>& v, const ScreeningOptions& opt = {},
                                    bool reset_at_lli = false) {
    PairState st;
    std::vector<ScreeningResult> r;
    for (const auto& s : v) {
        if (reset_at_lli && s.lli) st = PairState{};
        r.push_back(screen_observation(st, obs_of(s), opt));
    }
    return r;
}

// The q-quantile of the magnitudes in v (v is reordered).
double quantile(std::vector<double>& v, double q) {
    if (v.empty()) return 0.0;
    const auto k = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
    return v[k];
}

fs::path rinex_file() {
#ifdef QUELMAR_SHARED_DATA
    return fs::path(QUELMAR_SHARED_DATA) / "rinex" / "2002-030" / "bell0300.02o";
#else
    return {};
#endif
}

TEST(ScreeningRealData, Bell2002FlagsAndInjectedSlips) {
    const fs::path file = rinex_file();
    if (file.empty() || !fs::exists(file)) GTEST_SKIP() << "real data file not available: " << file.string();
    const auto data = read_rinex2(file, 4.0);
    ASSERT_GE(data.size(), 8u);

    // 0. The spread of the test quantities on the recorded data, with the jump tests switched off (only
    // gaps and the receiver's loss-of-lock flags split the arcs).
    {
        ScreeningOptions off;
        off.d2li_max_0 = off.dbw_max_m = 1e9;
        std::vector<double> d2li, dbw;
        for (const auto& [prn, v] : data) {
            const auto r = screen(v, off, true);
            for (std::size_t k = 0; k < v.size(); ++k) {
                if (v[k].lli || r[k].cycleslip_) continue;
                if (r[k].d2li != 0.0) d2li.push_back(std::fabs(r[k].d2li));
                if (r[k].dbw != 0.0) dbw.push_back(std::fabs(r[k].dbw));
            }
        }
        std::printf(
            "|d2li| m: median %.4f, 99%% %.4f, 99.9%% %.4f, max %.4f; |dbw| m: median %.3f, 99%% %.3f, "
            "99.9%% %.3f, max %.3f\n",
            quantile(d2li, 0.5), quantile(d2li, 0.99), quantile(d2li, 0.999), quantile(d2li, 1.0),
            quantile(dbw, 0.5), quantile(dbw, 0.99), quantile(dbw, 0.999), quantile(dbw, 1.0));
    }

    // 1. The data as recorded.
    int nobs = 0, n_dt = 0, n_d2li = 0, n_dbw = 0, n_lli = 0, unexplained = 0;
    for (const auto& [prn, v] : data) {
        const auto r = screen(v);
        for (std::size_t k = 0; k < v.size(); ++k) {
            ++nobs;
            n_dt += r[k].cycleslip_dt;
            n_d2li += r[k].cycleslip_d2li;
            n_dbw += r[k].cycleslip_dbw;
            n_lli += v[k].lli;
            if ((r[k].cycleslip_d2li || r[k].cycleslip_dbw) && !r[k].cycleslip_dt && !v[k].lli) {
                ++unexplained;
                std::printf("  flag without gap or loss of lock: G%02d t=%7.0f d2li=%8.4f dbw=%7.3f\n", prn,
                            v[k].t, r[k].d2li, r[k].dbw);
            }
        }
    }
    std::printf("BELL 2002-030, 0-4 h: %zu satellites, %d observations; flags: gap %d, d2li %d, dbw %d; "
                "receiver loss-of-lock flags %d; d2li/dbw flags with neither gap nor loss of lock %d\n",
                data.size(), nobs, n_dt, n_d2li, n_dbw, n_lli, unexplained);
    // Measured: 8 of 3736 (each may also be a real slip the receiver did not mark).
    EXPECT_LE(unexplained, nobs / 300);

    // 2. One-cycle slips injected in the middle of 40-epoch stretches without any flag.
    struct Kind {
        const char* name;
        double n1, n2;
        bool must_flag;
    };
    const Kind kinds[] = {
        {"L1", 1, 0, true}, {"L2", 0, 1, true}, {"L1 and L2", 1, 1, false}, {"4/3 cycles", 4, 3, false}};
    for (const auto& kind : kinds) {
        int injected = 0, flagged = 0, by_d2li = 0, by_dbw = 0, extra_flags = 0, late = 0;
        for (const auto& [prn, v] : data) {
            const auto clean = screen(v);
            std::size_t run = 0;
            for (std::size_t k = 0; k < v.size(); ++k) {
                run = clean[k].cycleslip_ ? 0 : run + 1;
                if (run < 40) continue;
                run = 0;
                const std::size_t at = k - 20;
                auto w = v;
                for (std::size_t j = at; j < w.size(); ++j) {
                    w[j].l1 += kind.n1;
                    w[j].l2 += kind.n2;
                }
                const auto r = screen(w);
                ++injected;
                flagged += r[at].cycleslip_;
                by_d2li += r[at].cycleslip_d2li;
                by_dbw += r[at].cycleslip_dbw;
                if (kind.must_flag) {
                    EXPECT_TRUE(r[at].cycleslip_) << kind.name << " G" << prn << " t=" << w[at].t;
                }
                // After a flagged slip the rest of the clean stretch, now the start of a new arc, stays
                // unflagged; an unflagged one may still be caught a few epochs later (counted apart).
                int after = 0;
                for (std::size_t j = at + 1; j <= k; ++j) after += r[j].cycleslip_;
                (r[at].cycleslip_ ? extra_flags : late) += after;
            }
        }
        std::printf("injected %-10s slips: %d, flagged %d (d2li %d, dbw %d); flags after a flagged slip %d; "
                    "late flags of missed ones %d\n",
                    kind.name, injected, flagged, by_d2li, by_dbw, extra_flags, late);
        EXPECT_GE(injected, 20);
        EXPECT_EQ(extra_flags, 0);
    }
}

} // namespace
