// Real data: the constellation status file derived from the IGS05 ANTEX file, checked against two
// independent GPS constellation tables and against the satellites of IGS orbit files; and the solar
// flux table filled from a public space-weather file.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "auxfiles/constellation_status.hpp"
#include "auxfiles/solar_flux.hpp"
#include "frame/log.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;
namespace fs = std::filesystem;
using namespace quelmar::testing_support;

namespace {

const fs::path shared = QUELMAR_SHARED_DATA;

// Year and day of year (YYYYDDD) to MJD.
int mjd_yyyyddd(int v) {
    return mjd_of(v / 1000, 1, 1) + v % 1000 - 1;
}

class RealDataConstellation : public ScratchFixture {
  protected:
    static bool need(const fs::path& p) {
        if (fs::exists(p)) return true;
        std::cout << "[  SKIPPED ] shared data file not available: " << p << "\n";
        return false;
    }
    // Runs the converter; returns the path of the status file written.
    std::string convert(const fs::path& atx, const std::string& options, const std::string& out) {
        const std::string target = dir_.path(out);
        const std::string cmd = std::string("'") + QUELMAR_TOOLS_DIR + "/antex_to_gcs' " + options + " '" +
                                atx.string() + "' '" + target + "' 2> '" + dir_.path("stderr") + "'";
        const int st = std::system(cmd.c_str());
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << cmd;
        return target;
    }
    ConstellationStatus load(const std::string& file) {
        ConstellationStatus t;
        int ierr = -1;
        read_gcs(file, t, ierr, log_);
        EXPECT_EQ(ierr, 0) << file;
        return t;
    }
};

// The GPS satellite antennas of an ANTEX file, counted by plain text matching.
struct AtxCount {
    int entries = 0;
    std::set<int> svns;
    std::map<int, int> per_prn;
};

AtxCount count_atx(const fs::path& p) {
    AtxCount c;
    std::ifstream in(p);
    for (std::string l; std::getline(in, l);) {
        if (l.size() < 76 || l.compare(60, 16, "TYPE / SERIAL NO") != 0 || l.compare(0, 5, "BLOCK") != 0)
            continue;
        ++c.entries;
        c.per_prn[std::stoi(l.substr(21, 2))]++;
        c.svns.insert(std::stoi(l.substr(41, 3)));
    }
    return c;
}

// One GPS line of the multi-GNSS satellite table: PRN, SVN, first and last MJD (last -1 when open),
// block type text.
struct SatParam {
    int prn, svn, mjd0, mjd1;
    std::string block;
};

std::vector<SatParam> read_sat_parameters(const fs::path& p) {
    std::vector<SatParam> v;
    std::ifstream in(p);
    for (std::string l; std::getline(in, l);) {
        char sys = 0, sys2 = 0;
        int prn = 0, svn = 0, d0 = 0, s0 = 0, d1 = 0, s1 = 0;
        if (std::sscanf(l.c_str(), " %c%2d %c%3d %7d:%5d %7d:%5d", &sys, &prn, &sys2, &svn, &d0, &s0, &d1,
                        &s1) != 8 ||
            sys != 'G')
            continue;
        const auto b = l.find("BLOCK ");
        std::string block = b == std::string::npos ? "" : l.substr(b);
        block.erase(block.find_last_not_of(' ') + 1);
        v.push_back({prn, svn, mjd_yyyyddd(d0), d1 == 0 ? -1 : mjd_yyyyddd(d1), block});
    }
    return v;
}

// The records of a status file, parsed independently of the reader.
struct Rec {
    int prn, y0, m0, d0, y1, m1, d1, block, svn;
};

std::vector<Rec> parse_records(const std::string& file) {
    std::vector<Rec> v;
    std::ifstream in(file);
    Rec r{};
    while (in >> r.prn >> r.y0 >> r.m0 >> r.d0 >> r.y1 >> r.m1 >> r.d1 >> r.block >> r.svn) v.push_back(r);
    return v;
}

// The GPS PRNs listed in the header of an SP3 file.
std::vector<int> sp3_prns(const fs::path& p) {
    std::vector<int> v;
    std::ifstream in(p);
    int line = 0;
    for (std::string l; std::getline(in, l) && ++line < 10;) {
        if (l.size() < 60 || l[0] != '+' || l[1] != ' ') continue;
        for (int k = 0; k < 17; ++k) {
            const std::string f = l.substr(static_cast<std::size_t>(9 + 3 * k), 3);
            if (f[0] != ' ' && f[0] != 'G') continue;
            const int prn = std::atoi(f.c_str() + 1);
            if (prn > 0) v.push_back(prn);
        }
    }
    return v;
}

// The first listed vehicle whose period contains the day (the rule the transmit-time lookup applies).
int vehicle_on(const ConstellationStatus& t, int prn, int day) {
    for (const SvCandidate& c : t.candidates(prn))
        if (c.idjm0 <= day && day <= c.idjm1) return c.isv;
    return 0;
}

const char* block_name(int code) {
    static const char* names[] = {
        "", "BLOCK I", "BLOCK II", "BLOCK IIA", "BLOCK IIR-A", "BLOCK IIR-B", "BLOCK IIR-M", "BLOCK IIF"};
    return code >= 1 && code <= 7 ? names[code] : "?";
}

TEST_F(RealDataConstellation, Igs05AntexGivesTheIndependentCounts) {
    const fs::path atx = shared / "antenna" / "igs05.atx";
    if (!need(atx)) GTEST_SKIP() << "missing " << atx;
    const AtxCount c = count_atx(atx);
    EXPECT_EQ(c.entries, 55);

    const std::string all = convert(atx, "--keep-all", "all.lst");
    const ConstellationStatus ta = load(all);
    EXPECT_EQ(static_cast<int>(parse_records(all).size()), c.entries);
    int listed = 0;
    for (int p = 1; p <= maxsat; ++p) {
        listed += ta.ksv_prn(p);
        EXPECT_EQ(ta.ksv_prn(p), c.per_prn.count(p) ? c.per_prn.at(p) : 0) << "PRN " << p;
    }
    EXPECT_EQ(listed, c.entries);
    EXPECT_EQ(ta.isvmax, *c.svns.rbegin());

    // The default file keeps one record per vehicle.
    const std::string one = convert(atx, "", "one.lst");
    const ConstellationStatus t1 = load(one);
    int used = 0, listed1 = 0;
    for (int s = 1; s <= maxsv; ++s) used += t1.idjm0_sv(s) != 0;
    for (int p = 1; p <= maxsat; ++p) listed1 += t1.ksv_prn(p);
    EXPECT_EQ(used, static_cast<int>(c.svns.size()));
    EXPECT_EQ(listed1, static_cast<int>(c.svns.size()));
    std::cout << "igs05.atx: " << c.entries << " GPS satellite antennas, " << c.svns.size() << " vehicles, "
              << "largest SVN " << ta.isvmax << "\n";
}

TEST_F(RealDataConstellation, AssignmentsAgreeWithTheSatelliteTables) {
    const fs::path atx = shared / "antenna" / "igs05.atx";
    const fs::path sp = shared / "constellation" / "sat_parameters";
    const fs::path prn_gps = shared / "constellation" / "PRN_GPS";
    if (!need(atx) || !need(sp) || !need(prn_gps)) GTEST_SKIP() << "missing shared data";
    const std::vector<SatParam> params = read_sat_parameters(sp);
    ASSERT_GT(params.size(), 100u);
    const std::vector<Rec> recs = parse_records(convert(atx, "--keep-all", "all.lst"));
    ASSERT_EQ(recs.size(), 55u);

    int same_start = 0, same_end = 0, closed = 0;
    std::string end_differences;
    for (const Rec& r : recs) {
        SCOPED_TRACE("PRN " + std::to_string(r.prn) + " SVN " + std::to_string(r.svn));
        const SatParam* match = nullptr;
        for (const auto& p : params)
            if (p.prn == r.prn && p.svn == r.svn && p.mjd0 == mjd_of(r.y0, r.m0, r.d0)) match = &p;
        ASSERT_NE(match, nullptr) << "no such assignment in sat_parameters";
        ++same_start;
        EXPECT_EQ(match->block, block_name(r.block));
        if (r.y1 != 2062) {
            ++closed;
            const int diff = match->mjd1 - mjd_of(r.y1, r.m1, r.d1);
            same_end += diff == 0;
            // The two sources disagree by one day on SVN 10 (PRN 12) in 1996; nowhere by more.
            EXPECT_LE(std::abs(diff), 1);
            if (diff != 0)
                end_differences += " SVN " + std::to_string(r.svn) + " PRN " + std::to_string(r.prn) +
                                   " by " + std::to_string(diff) + " day;";
        }
    }
    EXPECT_GE(same_end, closed - 1);

    // The older table of launches names the same vehicle for each PRN, with coarser block names.
    std::ifstream in(prn_gps);
    std::set<std::pair<int, int>> pairs;
    std::map<int, std::string> svn_block;
    for (std::string l; std::getline(in, l);) {
        std::istringstream s(l);
        std::string launch, deact, block;
        int svn = 0, prn = 0;
        if (s >> launch >> deact >> svn >> prn >> block && prn >= 1 && prn <= 32) {
            pairs.insert({prn, svn});
            svn_block[svn] = block;
        }
    }
    const char* coarse[] = {"", "I", "II", "IIA", "IIR", "IIR", "IIR", "IIF"};
    int in_prn_gps = 0;
    for (const Rec& r : recs) {
        if (!pairs.count({r.prn, r.svn})) continue;
        ++in_prn_gps;
        EXPECT_EQ(svn_block[r.svn], coarse[r.block]) << "SVN " << r.svn;
    }
    // PRN_GPS ends in 2009: SVN 62 (2010) and SVN 35 as PRN 25 (2010) are not in it, and it starts
    // SVN 32 as PRN 32 before PRN 01.
    EXPECT_GE(in_prn_gps, 50);
    std::cout << "sat_parameters: " << same_start << " of " << recs.size()
              << " assignments found with the same "
              << "start day and block, " << same_end << " of " << closed
              << " closed periods end on the same day"
              << (end_differences.empty() ? "" : " (differs:" + end_differences + ")") << "; "
              << "PRN_GPS lists " << in_prn_gps << " of the PRN/SVN pairs\n";
}

TEST_F(RealDataConstellation, EverySatelliteOfTheOrbitFilesHasItsVehicle) {
    const fs::path atx = shared / "antenna" / "igs05.atx";
    const fs::path sp = shared / "constellation" / "sat_parameters";
    if (!need(atx) || !need(sp)) GTEST_SKIP() << "missing shared data";
    const std::vector<SatParam> params = read_sat_parameters(sp);
    const struct {
        const char* sp3;
        const char* date;
        int y, m, d;
    } days[] = {
        {"orbits/2005-224/igs13355.sp3", "2005-08-12", 2005, 8, 12},
        {"orbits/2008-148/igs14812.sp3", "2008-05-27", 2008, 5, 27},
        {"orbits/2010-182/igs15904.sp3", "2010-07-01", 2010, 7, 1},
    };
    for (const auto& day : days) {
        const fs::path sp3 = shared / day.sp3;
        if (!need(sp3)) continue;
        SCOPED_TRACE(day.date);
        const int d = mjd_of(day.y, day.m, day.d);
        const std::vector<int> prns = sp3_prns(sp3);
        ASSERT_GE(prns.size(), 29u);
        const ConstellationStatus dated = load(convert(atx, std::string("--date ") + day.date, "dated.lst"));
        const ConstellationStatus latest = load(convert(atx, "", "latest.lst"));
        int unresolved_latest = 0;
        for (int prn : prns) {
            int expected = 0;
            for (const auto& p : params)
                if (p.prn == prn && p.mjd0 <= d && (p.mjd1 < 0 || d <= p.mjd1)) expected = p.svn;
            EXPECT_EQ(vehicle_on(dated, prn, d), expected) << "PRN " << prn;
            const int v = vehicle_on(latest, prn, d);
            if (v == 0) {
                ++unresolved_latest;
            } else {
                EXPECT_EQ(v, expected) << "PRN " << prn; // never a wrong vehicle
            }
        }
        std::cout << day.date << ": " << prns.size() << " PRNs in " << sp3.filename().string()
                  << ", all resolved with --date; without it " << unresolved_latest << " unresolved\n";
    }
}

// The space-weather file's observed days, as records of the flux file: year, day of year, sunspot
// number, observed 10.7 cm flux. Returns the number of records written.
int convert_space_weather(const fs::path& in_path, const fs::path& out_path) {
    std::ifstream in(in_path);
    std::ofstream out(out_path);
    bool observed = false;
    int n = 0;
    for (std::string l; std::getline(in, l);) {
        if (l.rfind("BEGIN OBSERVED", 0) == 0) observed = true;
        if (l.rfind("END OBSERVED", 0) == 0) break;
        if (!observed) continue;
        std::istringstream s(l);
        std::vector<std::string> tok;
        for (std::string t; s >> t;) tok.push_back(t);
        if (tok.size() != 33) continue;
        const int y = std::stoi(tok[0]), m = std::stoi(tok[1]), d = std::stoi(tok[2]);
        if (y < iyearmin_sflux || y > iyearmax_sflux) continue;
        const int doy = mjd_of(y, m, d) - mjd_of(y, 1, 1) + 1;
        out << y << ' ' << doy << ' ' << tok[25] << ' ' << tok[30] << '\n';
        ++n;
    }
    return n;
}

TEST_F(RealDataConstellation, SolarFluxFromTheSpaceWeatherFile) {
    const fs::path sw = shared / "iono" / "solar" / "SpaceWeather-All-v1.2_snapshot_20200224.txt";
    if (!need(sw)) GTEST_SKIP() << "missing " << sw;
    const int n = convert_space_weather(sw, dir_.path("sflux.txt"));
    // Observed days from 1962-01-01 to 2020-02-22, without gaps.
    EXPECT_EQ(n, mjd_of(2020, 2, 22) - mjd_of(1962, 1, 1) + 1);
    SolarFluxTable t;
    int ierr = -1;
    read_sfluxfile_v2(dir_.path("sflux.txt"), t, ierr, log_);
    EXPECT_EQ(ierr, 0);
    int days = 0;
    for (int y = iyearmin_sflux; y <= iyearmax_sflux; ++y)
        for (int d = 1; d <= ndoy_sflux; ++d) days += t.sflux(y, d) != -999.0;
    EXPECT_EQ(days, n);
    EXPECT_EQ(t.ssn(1962, 1), 29.0);
    EXPECT_EQ(t.sflux(1962, 1), 91.2);
    EXPECT_EQ(t.ssn(2008, 148), 0.0);
    EXPECT_EQ(t.sflux(2008, 148), 67.9);
    EXPECT_EQ(t.sflux(2020, 53), 72.6); // 2020-02-22, the last observed day
    EXPECT_EQ(t.sflux(2020, 54), -999.0);
    EXPECT_EQ(t.sflux(2019, 366), -999.0); // no day 366 in 2019
    std::cout << "space weather: " << n << " daily records 1962-01-01..2020-02-22 loaded\n";
}

} // namespace
