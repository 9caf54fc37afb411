// The tools on the public real data: every converted line goes through the program, which must read
// all of them; OB1 values and indicators are compared with the RINEX columns read here with a reader of
// our own, OT2 with the BLQ rows (also in the program's log echo, in storage order), S3C records with the
// SP3 lines; slips injected into real data are flagged by the upstream screening.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "auxfiles/precise_orbits.hpp"
#include "support/support.hpp"

namespace {

using namespace quelmar::test;

std::string trim(const std::string& s) {
    const auto a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}
std::string col(const std::string& l, std::size_t from, std::size_t n) {
    return from < l.size() ? l.substr(from, n) : "";
}
int num(const std::string& s) {
    return std::atoi(s.c_str());
}
// The key of a satellite at an epoch, from the calendar fields as written.
std::string key(int y, int mo, int d, int h, int mi, double s, char sys, int prn) {
    char b[64];
    std::snprintf(b, sizeof b, "%02d%02d%02d%02d%02d%010.7f%c%02d", y % 100, mo, d, h, mi, s, sys, prn);
    return b;
}

// A plain-text copy of `p` (gzip expanded), the test programs being built without zlib.
fs::path plain(const TempDir& dir, const fs::path& p) {
    if (p.extension() != ".gz") return p;
    const fs::path out = dir.path() / p.stem();
    EXPECT_EQ(shell(dir, "(gzip -dc " + shq(p) + " > " + shq(out) + ")").status, 0);
    return out;
}

// Calls f(key, fields) for every satellite of every observation epoch (flags 0 and 1) of a RINEX 2 or 3
// observation file; fields holds the 16-column value fields in header order. Read from the column
// layout of the RINEX documents, without the tools' reader.
template <class F>
void each_observation(const fs::path& path, std::map<char, std::vector<std::string>>& types, F f) {
    std::ifstream in(path);
    std::string l, sys_of_list;
    std::getline(in, l);
    const bool v3 = std::atof(col(l, 0, 9).c_str()) >= 3;
    while (std::getline(in, l) && col(l, 60, 13) != "END OF HEADER") {
        const std::string label = trim(col(l, 60, 20));
        if (label == "# / TYPES OF OBSERV")
            for (int k = 0; k < 9; ++k)
                if (!trim(col(l, 6 + 6 * k, 6)).empty()) types['G'].push_back(trim(col(l, 6 + 6 * k, 6)));
        if (label == "SYS / # / OBS TYPES") {
            if (l[0] != ' ') sys_of_list = l.substr(0, 1);
            for (int k = 0; k < 13; ++k)
                if (!trim(col(l, 7 + 4 * k, 3)).empty()) types[sys_of_list[0]].push_back(col(l, 7 + 4 * k, 3));
        }
    }
    if (!v3) types['E'] = types['G'];
    while (std::getline(in, l)) {
        const int flag = num(col(l, v3 ? 31 : 28, 1)), n = num(col(l, v3 ? 32 : 29, 3));
        const int y = num(col(l, v3 ? 2 : 1, v3 ? 4 : 2)), off = v3 ? 3 : 0;
        const double s = std::atof(col(l, 15 + off, 11).c_str());
        const bool event = flag > 1 && flag < 6; // followed by n special records
        std::vector<std::string> sats;
        for (int i = 0; !v3 && !event && i < n; ++i) {
            if (i > 0 && i % 12 == 0) std::getline(in, l);
            sats.push_back(col(l, 32 + 3 * (i % 12), 3));
        }
        const std::string head = l;
        for (int i = 0; i < n && std::getline(in, l); ++i) {
            if (event) continue;
            std::string sat = v3 ? l.substr(0, 3) : sats[static_cast<std::size_t>(i)], fields = v3 ? col(l, 3, 9999) : "";
            if (sat[0] == ' ') sat[0] = 'G';
            const std::size_t nt = types[sat[0]].size();
            for (std::size_t k = 0; !v3 && k < nt; k += 5) {
                if (k > 0) std::getline(in, l);
                l.resize(80, ' ');
                fields += l;
            }
            if (flag > 1) continue;
            fields.resize(16 * nt, ' ');
            std::vector<std::string> v;
            for (std::size_t k = 0; k < nt; ++k) v.push_back(fields.substr(16 * k, 16));
            f(key(y, num(col(head, 4 + off, 2)), num(col(head, 7 + off, 2)), num(col(head, 10 + off, 2)),
                  num(col(head, 13 + off, 2)), s, sat[0], num(sat.substr(1))),
              v);
        }
    }
}

// The RINEX codes each OB1 observable of a RINEX 3 file comes from, by preference (docs/tools.md).
const std::map<std::string, std::vector<std::string>> codes_v3[2] = {
    {{"L1", {"L1C", "L1W", "L1P", "L1X"}}, {"L2", {"L2W", "L2P", "L2L", "L2X", "L2S"}}, {"L5", {"L5Q", "L5X", "L5I"}},
     {"P1", {"C1W", "C1P"}}, {"C1", {"C1C", "C1X"}}, {"P2", {"C2W", "C2P", "C2L", "C2X", "C2S"}},
     {"C5", {"C5Q", "C5X", "C5I"}}},
    {{"L1", {"L1C", "L1X", "L1B"}}, {"C1", {"C1C", "C1X", "C1B"}}, {"L7", {"L7Q", "L7X", "L7I"}},
     {"C7", {"C7Q", "C7X", "C7I"}}, {"L5", {"L5Q", "L5X", "L5I"}}, {"C5", {"C5Q", "C5X", "C5I"}}}};

// Every OB1 line of receiver `rec` against the RINEX file: the value (to the 1 mm of both layouts) and
// the loss-of-lock and strength digits (blank = 0) of the first present RINEX code of each observable.
void check_ob1(const TempDir& dir, const std::vector<std::string>& stream, const fs::path& rinex,
               const std::string& rec, bool v3) {
    std::map<std::string, std::string> ob1; // key -> line
    for (const auto& l : stream)
        if (l.rfind("OB1 ", 0) == 0 && l.substr(33, 4) == rec)
            ob1[key(num(l.substr(7, 2)), num(l.substr(10, 2)), num(l.substr(13, 2)), num(l.substr(16, 2)),
                    num(l.substr(19, 2)), std::atof(l.substr(21, 11).c_str()), l[38], num(l.substr(4, 2)))] = l;
    EXPECT_GT(ob1.size(), 1000u) << rec;
    long bad = 0;
    std::string first;
    std::map<char, std::vector<std::string>> types;
    each_observation(plain(dir, rinex), types, [&](const std::string& k, const std::vector<std::string>& v) {
        const auto it = ob1.find(k);
        if (it == ob1.end()) return;
        const std::string& l = it->second;
        const int n = num(l.substr(53, 6));
        for (int i = 0; i < n; ++i) {
            const std::string code = l.substr(63 + 6 * i, 2), got = l.substr(59 + 6 * n + 16 * i, 16);
            const std::vector<std::string> cands = v3 ? codes_v3[l[38] == 'E'].at(code) : std::vector{code};
            std::string want;
            for (const auto& c : cands)
                for (std::size_t t = 0; want.empty() && t < types[l[38]].size(); ++t)
                    if (types[l[38]][t] == c && !trim(v[t].substr(0, 14)).empty()) want = v[t];
            auto digit = [](char c) { return c == ' ' ? '0' : c; };
            if (want.empty() || std::fabs(std::atof(want.c_str()) - std::atof(got.c_str())) > 6e-4 ||
                digit(want[14]) != got[14] || digit(want[15]) != got[15])
                if (bad++ == 0) first = code + " RINEX \"" + want + "\" in " + l;
        }
        ob1.erase(it);
    });
    EXPECT_EQ(ob1.size(), 0u) << rec << ": OB1 lines without their RINEX epoch, e.g. " << ob1.begin()->second;
    EXPECT_EQ(bad, 0) << rec << ": first: " << first;
}

// The six BLQ rows of `name` read from the text: amplitudes up west south, phases up west south.
std::vector<double> blq_rows(const fs::path& p, const std::string& name) {
    std::ifstream in(p);
    std::vector<double> v;
    bool found = false;
    for (std::string l; v.size() < 66 && std::getline(in, l);) {
        std::istringstream w(l);
        std::string first;
        if (!(w >> first) || first.rfind("$$", 0) == 0) continue;
        if (!found) {
            found = first == name;
            continue;
        }
        v.push_back(std::atof(first.c_str()));
        for (double x; w >> x;) v.push_back(x);
    }
    return v;
}

// The program run on `stream` with the example files, the log's silence as asked, a fixed solar flux and
// empty reference-satellite files for the days of the stream.
Workdir::Result run_program(Workdir& w, const std::string& stream, bool silent) {
    std::string cfg = Workdir::example("quelmar_v2.2.0.nml");
    if (silent) cfg = replaced(cfg, "silent_log = .false.", "silent_log = .true.");
    cfg = replaced(cfg, "external_sflux_if_positive = -1.0", "external_sflux_if_positive = 150.0");
    w.put_example(cfg);
    for (const auto& l : lines_of(stream))
        if (l.rfind("OB1 ", 0) == 0) {
            char f[32];
            std::snprintf(f, sizeof f, "refsat.%02d-%02d-%02d", num(l.substr(7, 2)), num(l.substr(10, 2)), num(l.substr(13, 2)));
            if (!w.has(f)) w.write(f, "");
        }
    return w.run(stream);
}

// Lines of the log that report a message the program could not read or had to reject.
std::vector<std::string> reading_errors(const std::string& log) {
    std::vector<std::string> v;
    for (const auto& l : lines_of(log))
        if ((l.find("ERROR: reading") != std::string::npos || l.find("conversion") != std::string::npos ||
             l.find("rejected") != std::string::npos) && l.find("ANT") == std::string::npos)
            v.push_back(l);
    return v;
}

} // namespace

// BELL and EBRE of 2002-01-30 with the day's broadcast file: every OB1 value against the RINEX columns,
// one EPH line per navigation record, and the whole stream read by the program.
TEST(ToolsRealData, BellEbre2002StreamIsTheRinexAndTheProgramReadsIt) {
    QUELMAR_NEED_DATA("rinex/2002-030/bell0300.02o", "rinex/2002-030/ebre0300.02o", "rinex/2002-030/brdc0300.02n");
    const fs::path day = shared_data("rinex/2002-030");
    Workdir w;
    const Ran r = tool(w, "rinex_to_stream", "--nav " + shq(day / "brdc0300.02n") + " " + shq(day / "bell0300.02o") +
                                                 " " + shq(day / "ebre0300.02o"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = lines_of(r.out);
    check_ob1(w, lines, day / "bell0300.02o", "BELL", false);
    check_ob1(w, lines, day / "ebre0300.02o", "EBRE", false);
    const std::string nav = read_file(day / "brdc0300.02n");
    long eph = 0;
    for (const auto& l : lines) eph += l.rfind("EPH ", 0) == 0;
    EXPECT_EQ(eph, static_cast<long>(lines_of(nav.substr(nav.find("END OF HEADER"))).size() - 1) / 8);
    // A damaged copy of the first EPH line goes first: its errors, and only they, must be in the log.
    const std::size_t p = r.out.find("EPH ");
    const auto run = run_program(w, replaced(r.out.substr(p, r.out.find('\n', p) + 1 - p), "D", "x") + r.out, true);
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> errors = reading_errors(run.log);
    ASSERT_FALSE(errors.empty());
    for (const auto& l : errors) EXPECT_NE(l.find("EPH"), std::string::npos) << l;
}

// ACOR, MADR, SCOA, SFER of 2008-05-27 with the GOT00 loading file: OB1 against RINEX; each OT2 line holds
// the station's BLQ rows in file order, and the program's echo of its tables (for each constituent the
// three components, amplitudes then phases) puts each BLQ number in its place.
TEST(ToolsRealData, FourStations2008LoadingInItsPlace) {
    QUELMAR_NEED_DATA("rinex/2008-148/acor1480.08o", "rinex/2008-148/madr1480.08o", "rinex/2008-148/scoa1480.08o",
                      "rinex/2008-148/sfer1480.08o", "otl/OCEAN-GOT00.dat");
    const fs::path day = shared_data("rinex/2008-148"), blq = shared_data("otl/OCEAN-GOT00.dat");
    const std::vector<std::string> names = {"ACOR", "MADR", "SCOA", "SFER"}, files = {"acor", "madr", "scoa", "sfer"};
    std::string args = "--blq " + shq(blq);
    for (const auto& f : files) args += " " + shq(day / (f + "1480.08o"));
    Workdir w;
    const Ran r = tool(w, "rinex_to_stream", args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto run = run_program(w, r.out, false); // all of the day, its tables echoed in the log
    EXPECT_EQ(reading_errors(run.log), std::vector<std::string>{});
    std::vector<std::string> echo, ot2;
    for (const auto& l : lines_of(run.log))
        if (l.find("READ Ocean Tidal Load. (OT2): irec,tamp_otl,tph_otl=") != std::string::npos)
            echo.push_back(l.substr(l.find('=') + 1));
    for (const auto& l : lines_of(r.out))
        if (l.rfind("OT2 ", 0) == 0) ot2.push_back(l);
    ASSERT_EQ(echo.size(), 4u);
    ASSERT_EQ(ot2.size(), 4u);
    for (std::size_t s = 0; s < 4; ++s) {
        SCOPED_TRACE(names[s]);
        const std::vector<double> want = blq_rows(blq, names[s]);
        ASSERT_EQ(want.size(), 66u);
        ASSERT_EQ(ot2[s].substr(27, 4), names[s]);
        std::istringstream e(echo[s]);
        double x = 0;
        e >> x; // irec
        for (std::size_t i = 0; i < 66 && e >> x; ++i) {
            const std::size_t t = i / 33, j = i % 33 / 3, k = i % 3; // echo: table, constituent, component
            EXPECT_DOUBLE_EQ(std::atof(ot2[s].substr(31 + 13 * i, 13).c_str()), want[i]) << i;
            EXPECT_NEAR(x, want[33 * t + 11 * k + j], 1e-9) << "echo item " << i;
        }
        check_ob1(w, lines_of(r.out), day / (files[s] + "1480.08o"), names[s], false);
    }
}

// ESBC of 2020-06-25, RINEX 3.05 with L5 and Galileo, gzip (and its navigation file for GPS): both streams
// against the RINEX columns by the documented code preferences, and read by the program.
TEST(ToolsRealData, Esbc2020Rinex3GpsAndGalileo) {
    QUELMAR_NEED_DATA("rinex/2020-177/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz", "rinex/2020-177/ESBC00DNK_R_20201770000_01D_MN.rnx.gz");
    const fs::path obs = shared_data("rinex/2020-177/ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz");
    for (const std::string system : {"G", "E"}) {
        SCOPED_TRACE(system);
        Workdir w;
        const std::string nav = system == "G" ? "--nav " + shq(shared_data("rinex/2020-177/ESBC00DNK_R_20201770000_01D_MN.rnx.gz")) : "";
        const Ran r = tool(w, "rinex_to_stream", nav + " --system " + system + " " + shq(obs));
        ASSERT_EQ(r.status, 0) << r.err;
        check_ob1(w, lines_of(r.out), obs, "ESBC", true);
        EXPECT_EQ(reading_errors(run_program(w, r.out, true).log), std::vector<std::string>{});
    }
}

// Three days of IGS final orbits of 2008 joined into one S3C file: each record holds the position and
// clock of its SP3 line and the formal errors base^n * 1e-6 (km, us) of its exponents; the program's
// precise-orbit reader takes the file.
TEST(ToolsRealData, Sp3ThreeDaysRecordByRecord) {
    QUELMAR_NEED_DATA("orbits/2008-148/igs14811.sp3", "orbits/2008-148/igs14812.sp3", "orbits/2008-148/igs14813.sp3");
    TempDir dir;
    std::string args = "-q -o o.s3c";
    std::map<std::string, std::string> sp3; // key -> P line
    long double base[2] = {0, 0};
    for (const char* f : {"igs14811.sp3", "igs14812.sp3", "igs14813.sp3"}) {
        args += " " + shq(shared_data("orbits/2008-148") / f);
        std::string e;
        for (const auto& l : lines_of(read_file(shared_data("orbits/2008-148") / f))) {
            if (l.rfind("%f", 0) == 0 && base[0] == 0) base[0] = std::stold(l.substr(3, 10)), base[1] = std::stold(l.substr(14, 12));
            if (l[0] == '*') e = l;
            if (l.rfind("PG", 0) == 0 && std::atof(l.substr(4, 14).c_str()) != 0)
                sp3[key(num(e.substr(3, 4)), num(e.substr(8, 2)), num(e.substr(11, 2)), num(e.substr(14, 2)),
                        num(e.substr(17, 2)), std::atof(e.substr(20, 11).c_str()), 'G', num(l.substr(2, 2)))] = l;
        }
    }
    ASSERT_EQ(tool(dir, "sp3_to_s3c", args).status, 0);
    const std::vector<std::string> s3c = lines_of(dir.read("o.s3c"));
    EXPECT_EQ(s3c.size(), sp3.size());
    long bad = 0;
    for (const auto& l : s3c) {
        const auto it = sp3.find(key(num(l.substr(7, 2)), num(l.substr(9, 3)), num(l.substr(12, 3)), num(l.substr(15, 3)),
                                     num(l.substr(18, 3)), std::atof(l.substr(21, 12).c_str()), 'G', num(l.substr(3, 3))));
        ASSERT_NE(it, sp3.end()) << l;
        const std::string& p = it->second;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::string n = trim(col(p, i < 3 ? 61 + 3 * i : 70, i < 3 ? 2 : 3));
            const long double err = n.empty() ? 0 : std::pow(base[i / 3], std::stoi(n)) * 1e-6L;
            bad += std::fabs(std::atof(l.substr(33 + 16 * i, 16).c_str()) - std::atof(p.substr(4 + 14 * i, 14).c_str())) > 5e-7 ||
                   std::fabs(std::stold(l.substr(103 + 23 * i, 23)) - err) > 1e-14L * err;
        }
    }
    EXPECT_EQ(bad, 0);
    CapturedLog cl;
    quelmar::auxfiles::PreciseOrbitTable t;
    EXPECT_EQ(quelmar::auxfiles::read_s3e(dir.path("o.s3c"), 900, t, 1e-4, false, false, cl.log), 0) << cl.text();
}

// One-cycle slips injected into the clean data of BELL (2002-01-30, near solar maximum) on L1 or L2 are
// all flagged at their epoch and leave the new arc quiet; the clean data raise under 0.5 % alarms.
TEST(ToolsRealData, ScreeningFlagsInjectedSlipsOfBell2002) {
    QUELMAR_NEED_DATA("rinex/2002-030/bell0300.02o");
    TempDir dir;
    const Ran r = tool(dir, "screening_report", "--inject L1:1,L2:1 " + shq(shared_data("rinex/2002-030/bell0300.02o")));
    ASSERT_EQ(r.status, 0) << r.err;
    auto row = [&](const std::string& start) { // the numbers of a table row
        std::vector<long> v;
        for (const auto& l : lines_of(r.out))
            if (l.rfind(start, 0) == 0)
                for (std::size_t a = 0, b; (b = l.find('|', a + 1)) != std::string::npos; a = b) v.push_back(std::atol(l.c_str() + a + 1));
        return v;
    };
    const std::vector<long> day = row("| total ");
    ASSERT_EQ(day.size(), 15u);
    EXPECT_GT(day[12], 20000); // clean observations
    EXPECT_LT(day[13] * 200, day[12]) << "false alarms";
    for (const char* kind : {"| L1 1 cy | total", "| L2 1 cy | total"}) {
        const std::vector<long> k = row(kind);
        ASSERT_EQ(k.size(), 11u) << kind;
        EXPECT_GT(k[2], 400) << kind;
        EXPECT_EQ(k[3], k[2]) << kind << ": flagged of injected";
        EXPECT_LT(k[10] * 20, k[2]) << kind << ": later flags";
    }
}
