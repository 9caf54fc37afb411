// The antenna calibration readers on public IGS/NGS files: counts and every stored value compared with
// an independent whitespace-token reading of the same files, spot values copied from the file text,
// and what happens with the file variants the program does not read.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <tuple>
#include <vector>

#include "auxfiles/antex.hpp"
#include "auxfiles/pcv.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;
namespace fs = std::filesystem;
using quelmar::testing_support::CapturedLog;

namespace {

fs::path antenna_dir() {
#ifdef QUELMAR_SHARED_DATA
    return fs::path(QUELMAR_SHARED_DATA) / "antenna";
#else
    return {};
#endif
}

// The path of a data file, or empty when it is not there (the test then skips).
std::string data_file(const std::string& name) {
    const fs::path p = antenna_dir() / name;
    return fs::exists(p) ? p.string() : std::string();
}

#define REQUIRE_DATA(var, name)                                                                              \
    const std::string var = data_file(name);                                                                 \
    if (var.empty()) GTEST_SKIP() << "real data file not available: " << (antenna_dir() / name).string()

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> v;
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        v.push_back(l);
    }
    return v;
}

std::vector<std::string> tokens(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> v;
    for (std::string t; in >> t;) v.push_back(t);
    return v;
}

std::string label_of(const std::string& line) {
    if (line.size() <= 60) return "";
    std::string l = line.substr(60, 20);
    l.erase(l.find_last_not_of(' ') + 1);
    return l;
}

// What a whitespace-token reading of an ANTEX file finds: the antennas by class, the satellite
// entries, and every pattern (the last one written at an address wins, as in the tables).
struct AtxScan {
    int gps_sat = 0, glonass_sat = 0, receivers = 0;
    std::map<std::pair<int, int>, std::vector<std::pair<int, int>>>
        prn_entries; // (iconst, iprn) -> (sv, ksv)
    struct Pattern {
        std::vector<double> neu, noazi, azi;
        std::vector<std::vector<double>> rows;
    };
    std::map<std::tuple<int, int, int, int>, Pattern> patterns;
    std::vector<std::string> receiver_types;
};

AtxScan scan_antex(const std::string& path) {
    const std::vector<std::string> ls = lines_of(path);
    AtxScan s;
    int role = 0, sv = 0, nazi = 0, iconst = 0, ifreq = 0;
    for (std::size_t i = 0; i < ls.size(); ++i) {
        const std::string lab = label_of(ls[i]);
        const std::vector<std::string> tok = tokens(ls[i].substr(0, 60));
        if (lab == "TYPE / SERIAL NO") {
            const std::string type = ls[i].substr(0, 20);
            if (type.rfind("BLOCK", 0) == 0 || type.rfind("GLONASS", 0) == 0) {
                role = 1;
                const int c = type[0] == 'B' ? 1 : 2;
                (c == 1 ? s.gps_sat : s.glonass_sat)++;
                sv = std::stoi(ls[i].substr(41, 3));
                auto& e = s.prn_entries[{c, std::stoi(ls[i].substr(21, 2))}];
                e.push_back({sv, static_cast<int>(e.size()) + 1});
            } else {
                role = 2;
                ++s.receivers;
                s.receiver_types.push_back(type);
                sv = s.receivers;
            }
        } else if (lab == "DAZI") {
            const double d = std::stod(tok.at(0));
            nazi = d > 0 ? static_cast<int>(360.0 / d + 0.5) + 1 : 0;
        } else if (lab == "START OF FREQUENCY") {
            iconst = std::string("GRE").find(tok.at(0)[0]) + 1;
            ifreq = std::stoi(tok.at(0).substr(1));
        } else if (lab == "NORTH / EAST / UP") {
            AtxScan::Pattern p;
            for (const auto& t : tok) p.neu.push_back(std::stod(t));
            const std::vector<std::string> noazi = tokens(ls.at(++i));
            EXPECT_EQ(noazi.at(0), "NOAZI") << path << ":" << i + 1;
            for (std::size_t k = 1; k < noazi.size(); ++k) p.noazi.push_back(std::stod(noazi[k]));
            for (int r = 0; r < nazi; ++r) {
                const std::vector<std::string> row = tokens(ls.at(++i));
                p.azi.push_back(std::stod(row.at(0)));
                p.rows.emplace_back();
                for (std::size_t k = 1; k < row.size(); ++k) p.rows.back().push_back(std::stod(row[k]));
            }
            s.patterns[{role, iconst, ifreq, sv}] = p;
        }
    }
    return s;
}

struct Loaded {
    AntexTables t;
    double seconds = 0;
};

void load_antex(const std::string& path, Loaded& l, frame::Log& log) {
    frame::TextSink out; // the diagnostic echo is not kept here
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(read_antex_v2b(path, l.t, log, out), 0);
    l.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void compare_with_scan(const AntexTables& t, const AtxScan& s) {
    EXPECT_EQ(t.iatx_nant(), s.receivers);
    for (int k = 1; k <= s.receivers; ++k)
        ASSERT_EQ(t.atx_ant_type_(k), s.receiver_types[static_cast<std::size_t>(k - 1)]) << k;
    std::size_t entries = 0;
    for (const auto& [key, list] : s.prn_entries) {
        ASSERT_EQ(t.iatx_ksv(key.first, key.second), static_cast<int>(list.size()));
        for (const auto& [sv, k] : list) EXPECT_EQ(t.iatx_prn2svblock(key.first, key.second, k, 1), sv);
        entries += list.size();
    }
    std::size_t held = 0;
    for (int c = 1; c <= maxconst; ++c)
        for (int p = 1; p <= maxprn; ++p) held += static_cast<std::size_t>(t.iatx_ksv(c, p));
    EXPECT_EQ(held, entries);
    EXPECT_EQ(static_cast<int>(entries), s.gps_sat + s.glonass_sat);

    EXPECT_EQ(t.pattern_count(), s.patterns.size());
    std::size_t values = 0;
    for (const auto& [key, p] : s.patterns) {
        const auto [role, iconst, ifreq, isa] = key;
        SCOPED_TRACE(::testing::Message() << role << " " << iconst << " " << ifreq << " " << isa);
        ASSERT_TRUE(t.atx_read_pco_neu(role, iconst, ifreq, isa));
        for (int c = 1; c <= 3; ++c) ASSERT_EQ(t.atx_pco_neu(role, iconst, ifreq, isa, c), p.neu[c - 1]);
        for (std::size_t z = 0; z < p.noazi.size(); ++z)
            ASSERT_EQ(t.atx_pcv_noazi(role, iconst, ifreq, isa, static_cast<int>(z + 1)), p.noazi[z]);
        for (std::size_t r = 0; r < p.rows.size(); ++r) {
            ASSERT_EQ(t.atx_azi(role, iconst, ifreq, isa, static_cast<int>(r + 1)), p.azi[r]);
            for (std::size_t z = 0; z < p.rows[r].size(); ++z)
                ASSERT_EQ(
                    t.atx_pcv_azi(role, iconst, ifreq, isa, static_cast<int>(z + 1), static_cast<int>(r + 1)),
                    p.rows[r][z]);
            values += p.rows[r].size();
        }
        values += p.noazi.size();
    }
    std::cout << "    patterns " << s.patterns.size() << ", values compared " << values << "\n";
}

long max_rss_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

TEST(RealAntex, Igs05WeekOf2011) {
    REQUIRE_DATA(path, "igs05.atx");
    CapturedLog sl;
    const long rss0 = max_rss_kb();
    Loaded l;
    load_antex(path, l, sl.log);
    std::cout << "    igs05.atx: loaded in " << l.seconds << " s; peak RSS of the test process "
              << max_rss_kb() << " kB (before: " << rss0 << " kB)\n";
    EXPECT_EQ(sl.text(), "");
    const AtxScan s = scan_antex(path);
    EXPECT_EQ(s.gps_sat, 55);
    EXPECT_EQ(s.glonass_sat, 52);
    EXPECT_EQ(s.receivers, 216);
    compare_with_scan(l.t, s);

    // BLOCK IIA G01 G032, 1992-11-22 .. 2008-10-16 23:59:59.9999999, G01 offset 279.00 0.00 2201.00.
    EXPECT_EQ(l.t.iatx_prn2svblock(1, 1, 1, 1), 32);
    EXPECT_EQ(l.t.iatx_prn2svblock(1, 1, 1, 2), 3);
    EXPECT_EQ(l.t.atx_tdjm(1, 1, 1, 1), 48948.0);
    EXPECT_EQ(l.t.atx_tdjm(1, 1, 1, 2), 54756.0); // the last 0.1 microsecond rounds to midnight
    EXPECT_EQ(l.t.atx_pco_neu(1, 1, 1, 32, 1), 279.0);
    EXPECT_EQ(l.t.atx_pco_neu(1, 1, 1, 32, 3), 2201.0);
    EXPECT_EQ(l.t.atx_pc__info(1, 1, 32, 2), 14.0);
    // TRM29659.00 NONE: DAZI 5, 0/90/5; G01 offset -0.06 -0.91 91.95, NOAZI node 5 -3.37, row 5.0 node 4
    // -2.01.
    const int kant = l.t.receiver_antenna_index("TRM29659.00     NONE");
    ASSERT_GT(kant, 0);
    EXPECT_EQ(l.t.atx_pco_neu(2, 1, 1, kant, 2), -0.91);
    EXPECT_EQ(l.t.atx_pcv_noazi(2, 1, 1, kant, 5), -3.37);
    EXPECT_EQ(l.t.atx_azi(2, 1, 1, kant, 2), 5.0);
    EXPECT_EQ(l.t.atx_pcv_azi(2, 1, 1, kant, 4, 2), -2.01);
    EXPECT_EQ(l.t.iatx_pc__info(2, 1, kant, 2), 73);
    EXPECT_EQ(l.t.iatx_pc__info(2, 1, kant, 1), 50);
    EXPECT_EQ(l.t.atx_pc__info(2, 1, kant, 5), 11111.0);
}

TEST(RealAntex, Igs05OfWeek1480) {
    REQUIRE_DATA(path, "igs05_1480.atx");
    CapturedLog sl;
    Loaded l;
    load_antex(path, l, sl.log);
    std::cout << "    igs05_1480.atx: loaded in " << l.seconds << " s\n";
    const AtxScan s = scan_antex(path);
    EXPECT_EQ(s.gps_sat, 50);
    EXPECT_EQ(s.glonass_sat, 28);
    EXPECT_EQ(s.receivers, 183);
    compare_with_scan(l.t, s);
    // PRN G01 / G032 without VALID UNTIL; GLONASS-M R06 / R701 from 2003-12-10, R01 offset -545.00 0.00
    // 2194.70, NOAZI node 1 2.70.
    EXPECT_EQ(l.t.atx_tdjm(1, 1, 1, 2), 99999.0);
    EXPECT_EQ(l.t.iatx_prn2svblock(2, 6, 1, 1), 701);
    EXPECT_EQ(l.t.iatx_prn2svblock(2, 6, 1, 2), 12);
    EXPECT_EQ(l.t.atx_tdjm(2, 6, 1, 1), 52983.0);
    EXPECT_EQ(l.t.atx_pco_neu(1, 2, 1, 701, 1), -545.0);
    EXPECT_EQ(l.t.atx_pco_neu(1, 2, 1, 701, 3), 2194.7);
    EXPECT_EQ(l.t.atx_pcv_noazi(1, 2, 1, 701, 1), 2.7);
}

TEST(RealAntex, FilesOutsideTheReadSubsetStop) {
    struct Case {
        const char* file;
        const char* stop;
    };
    // The relative-calibration file is refused; the IGS14/IGS20 subsets hold IRNSS frequency blocks
    // (system letter I), which no table holds and which are not among the letters read past.
    const Case cases[] = {
        {"igs_01.atx", "ERROR: Non Absolute type of PCV in ANTEX file"},
        {"igs14-small.atx", "ERROR: unknown kconst"},
        {"igs20-small.atx", "ERROR: unknown kconst"},
    };
    for (const Case& c : cases) {
        const std::string path = data_file(c.file);
        if (path.empty()) {
            std::cout << "    skipped, not available: " << c.file << "\n";
            continue;
        }
        SCOPED_TRACE(c.file);
        CapturedLog sl;
        AntexTables t;
        frame::TextSink out;
        try {
            read_antex_v2b(path, t, sl.log, out);
            ADD_FAILURE() << "loaded";
        } catch (const frame::Stop& stop) {
            EXPECT_EQ(stop.message(), c.stop);
        }
    }
}

namespace {

// Every antenna block of a phase-centre table, read as whitespace tokens.
struct PcvScan {
    std::vector<std::string> names;
    std::vector<std::vector<double>> values; // 44 values per antenna, in file order
};

PcvScan scan_pcv(const std::string& path) {
    const std::vector<std::string> ls = lines_of(path);
    PcvScan s;
    for (std::size_t i = 11; i < ls.size(); ++i) {
        // A name line holds letters; the value lines only digits, signs and points.
        if (ls[i].find_first_not_of(" +-.0123456789") == std::string::npos) {
            for (const auto& t : tokens(ls[i])) s.values.back().push_back(std::stod(t));
        } else {
            std::string n = ls[i].substr(0, 20);
            n.resize(20, ' ');
            s.names.push_back(n);
            s.values.emplace_back();
        }
    }
    return s;
}

void compare_pcv(const PcvTable& t, const PcvScan& s) {
    ASSERT_EQ(t.nant, static_cast<int>(s.names.size()));
    for (int a = 1; a <= t.nant; ++a) {
        const std::vector<double>& v = s.values[static_cast<std::size_t>(a - 1)];
        ASSERT_EQ(v.size(), 44u) << a;
        EXPECT_EQ(t.ant_type_(a), s.names[static_cast<std::size_t>(a - 1)]);
        for (int f = 1; f <= 2; ++f) {
            const std::size_t base = static_cast<std::size_t>(f - 1) * 22;
            for (int c = 1; c <= 3; ++c) ASSERT_EQ(t.phase_center_offset_(f, c, a), v[base + c - 1]) << a;
            for (int n = 1; n <= 19; ++n) ASSERT_EQ(t.phase_center_elev_(f, n, a), v[base + 2 + n]) << a;
        }
    }
}

} // namespace

TEST(RealPcv, NgsAbsoluteTable) {
    REQUIRE_DATA(path, "ngs_abs.pcv");
    CapturedLog sl;
    PcvTable t;
    EXPECT_EQ(read_pcv(path, t, sl.log), 0);
    EXPECT_EQ(sl.text(), "");
    const PcvScan s = scan_pcv(path);
    EXPECT_EQ(s.names.size(), 229u);
    compare_pcv(t, s);
    // AERAT2775_150 NONE: L1 offset 0.7 0.4 64.5; L2 node 11 -0.7.
    EXPECT_EQ(t.ant_type_(2), "AERAT2775_150   NONE");
    EXPECT_EQ(t.phase_center_offset_(1, 3, 2), 64.5);
    EXPECT_EQ(t.phase_center_elev_(2, 11, 2), -0.7);
    // The last antenna: L2 offset "-0.1 +0.4 +163.1".
    EXPECT_EQ(t.phase_center_offset_(2, 1, 229), -0.1);
    EXPECT_EQ(t.phase_center_offset_(2, 3, 229), 163.1);
}

TEST(RealPcv, OldIgsLayoutLoadsWithVendorNames) {
    // The old IGS layout: its eleventh line is empty, so the seven-line blocks line up and every
    // antenna loads; but the name field holds a vendor name in columns 1-15 and the start of the model,
    // so the 20-character types are not IGS antenna names and no ANT message will match them.
    REQUIRE_DATA(path, "igs_01.pcv");
    CapturedLog sl;
    PcvTable t;
    EXPECT_EQ(read_pcv(path, t, sl.log), 0);
    const PcvScan s = scan_pcv(path);
    EXPECT_EQ(s.names.size(), 94u);
    compare_pcv(t, s);
    EXPECT_EQ(t.ant_type_(1), "TURBOROGUE     DORNE");
    EXPECT_EQ(t.ant_type_(2), "TURBOROGUE     AOAD/");
    EXPECT_EQ(t.phase_center_offset_(1, 3, 1), 110.0);
    EXPECT_EQ(t.phase_center_offset_(2, 3, 1), 128.0);
    // The last antenna: L2 offset "-.8 -.2 94.6".
    EXPECT_EQ(t.phase_center_offset_(2, 1, 94), -0.8);
    EXPECT_EQ(t.phase_center_offset_(2, 3, 94), 94.6);
    for (int a = 1; a <= t.nant; ++a) EXPECT_NE(t.ant_type_(a), "AOAD/M_T        NONE");
}
