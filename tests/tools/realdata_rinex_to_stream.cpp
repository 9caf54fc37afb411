// The converter on real stations: BELL and EBRE of 2002-01-30 with the day's broadcast file; ACOR, MADR,
// SCOA and SFER of 2008-05-27 with the GOT00 ocean-loading file; ESBC of 2020-06-25 (RINEX 3 multi-GNSS
// with L5, as a GPS stream and as a Galileo stream). Every line it writes is fed through the program's own
// message handlers, which must read all of them; OB1 values read back are compared with the RINEX values,
// OT2 values with the numbers of the BLQ text.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../../tools/lib/rinex.hpp"
#include "frame/run.hpp"
#include "frame/stop.hpp"
#include "support/test_support.hpp"
#include "textio/format.hpp"

namespace fs = std::filesystem;
using namespace quelmar;
namespace rnx = quelmar::tools::rinex;

namespace {

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto p = text.find(from);
    EXPECT_NE(p, std::string::npos) << from;
    if (p != std::string::npos) text.replace(p, from.size(), to);
    return text;
}

// Runs the converter with `args` (file names quoted by the caller) into dir/stream.txt; the lines and
// the time taken.
std::vector<std::string> convert(const testing_support::TempDir& dir, const std::string& args,
                                 double& seconds, std::string& err) {
    const std::string cmd = "'" + std::string(QUELMAR_TOOLS_DIR) + "/rinex_to_stream' " + args + " > '" +
                            (dir.path() / "stream.txt").string() + "' 2> '" +
                            (dir.path() / "err.txt").string() + "'";
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system(cmd.c_str());
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    err = testing_support::read_file(dir.path() / "err.txt");
    EXPECT_EQ(rc, 0) << err;
    return testing_support::lines_of(testing_support::read_file(dir.path() / "stream.txt"));
}

// A file name quoted for the shell, after a blank.
std::string q(const fs::path& p) {
    std::string s = " '";
    s += p.string();
    s += '\'';
    return s;
}

long count_code(const std::vector<std::string>& lines, const char* code) {
    long n = 0;
    for (const auto& l : lines) n += l.rfind(code, 0) == 0;
    return n;
}

// Every line of `lines` through the program's dispatch in a run started in `dir` with the example files;
// the count of reading and rejection error lines in its log (-1 when the run stopped). An antenna type
// missing from the example phase-centre table ("rejected ANT" after "no matching antenna type") is not
// counted: that is the table, not the line. A damaged copy of the first EPH (or else OT2) line goes first:
// its error line shows that reading errors do reach the log. The days of the stream get empty
// reference-satellite files, and the solar flux is fixed, so that the run does not depend on daily files
// the example does not have.
long errors_when_read(const testing_support::TempDir& dir, const std::vector<std::string>& lines) {
    for (const auto& e : fs::directory_iterator(fs::path(QUELMAR_SOURCE_DIR) / "examples")) {
        const std::string name = e.path().filename().string();
        if (name != "messages.txt" && name != "run.sh" && name != "README.md" &&
            !fs::exists(dir.path() / name))
            fs::copy_file(e.path(), dir.path() / name);
    }
    std::string cfg = testing_support::read_file(dir.path() / "quelmar_v2.2.0.nml");
    cfg = replaced(cfg, "silent_log = .false.", "silent_log = .true.");
    cfg = replaced(cfg, "antexusage     = .true.", "antexusage     = .false.");
    cfg = replaced(cfg, "external_sflux_if_positive = -1.0", "external_sflux_if_positive = 150.0");
    dir.write("quelmar_v2.2.0.nml", cfg);
    std::set<std::string> days;
    for (const auto& l : lines)
        if (l.rfind("OB1 ", 0) == 0 && l.size() > 16) {
            std::string d = l.substr(7, 8); // "yy mm dd", blank-padded
            for (char& c : d)
                if (c == ' ') c = '0';
            days.insert("refsat." + d.substr(0, 2) + "-" + d.substr(3, 2) + "-" + d.substr(6, 2));
        }
    for (const auto& d : days)
        if (!fs::exists(dir.path() / d)) dir.write(d, "");

    std::string damaged;
    for (const char* code : {"EPH ", "OT2 "})
        for (const auto& l : lines)
            if (damaged.empty() && l.rfind(code, 0) == 0) damaged = l;
    if (damaged.size() < 100) {
        ADD_FAILURE() << "no EPH or OT2 line";
        return -1;
    }
    damaged[90] = 'x';

    const fs::path old = fs::current_path();
    fs::current_path(dir.path());
    std::string log_name;
    {
        frame::Run run;
        char prog[] = "quelmar";
        char* argv[] = {prog, nullptr};
        frame::startup(run, 1, argv);
        if (!run.out.open("out.txt")) {
            fs::current_path(old);
            ADD_FAILURE() << "cannot open out.txt";
            return -1;
        }
        log_name = run.log.name();
        frame::dispatch(run, damaged);
        for (const auto& l : lines) {
            try {
                frame::dispatch(run, l);
            } catch (const frame::Stop& s) {
                fs::current_path(old);
                ADD_FAILURE() << "the run stopped (" << s.message() << ") on: " << l;
                return -1;
            }
        }
        run.out.flush();
        run.log.flush();
    }
    fs::current_path(old);
    long errors = -1; // the reading error of the damaged line
    std::string first;
    for (const auto& l : testing_support::lines_of(testing_support::read_file(dir.path() / log_name)))
        if (l.find("ERROR: reading") != std::string::npos ||
            l.find("ERROR: rejected OBS") != std::string::npos) {
            if (++errors == 1) first = l;
        }
    if (errors != 0) ADD_FAILURE() << "first error after the damaged line: " << first;
    return errors;
}

// The RINEX types each OB1 code is taken from, by preference (RINEX 2 files name them directly).
const std::map<char, std::map<std::string, std::vector<std::string>>> rinex3_codes = {
    {'G',
     {{"L1", {"L1C", "L1W", "L1P", "L1X"}},
      {"L2", {"L2W", "L2P", "L2L", "L2X", "L2S"}},
      {"L5", {"L5Q", "L5X", "L5I"}},
      {"P1", {"C1W", "C1P"}},
      {"C1", {"C1C", "C1X"}},
      {"P2", {"C2W", "C2P", "C2L", "C2X", "C2S"}},
      {"C5", {"C5Q", "C5X", "C5I"}}}},
    {'E',
     {{"L1", {"L1C", "L1X", "L1B"}},
      {"C1", {"C1C", "C1X", "C1B"}},
      {"L7", {"L7Q", "L7X", "L7I"}},
      {"C7", {"C7Q", "C7X", "C7I"}},
      {"L5", {"L5Q", "L5X", "L5I"}},
      {"C5", {"C5Q", "C5X", "C5I"}}}},
};

// Every OB1 line of receiver `rec` at the first epoch of `obs` read back with the reading layout of its
// count of observables and compared with the RINEX values (1 mm, the indicators exactly); the number of
// lines checked.
int check_first_epoch(const std::vector<std::string>& lines, const fs::path& obs, const std::string& rec,
                      char system, const testing_support::TempDir& dir) {
    // The test programs are built without zlib: a compressed file is expanded with gzip first.
    fs::path plain = obs;
    if (obs.extension() == ".gz") {
        plain = dir.path() / obs.stem();
        const std::string cmd = "gzip -dc" + q(obs) + " >" + q(plain);
        if (std::system(cmd.c_str()) != 0) {
            ADD_FAILURE() << "cannot expand " << obs;
            return 0;
        }
    }
    rnx::ObsReader r;
    r.open(plain.string());
    rnx::ObsEpoch e;
    if (!r.next(e)) {
        ADD_FAILURE() << obs << ": no epoch";
        return 0;
    }
    const auto& types = *r.header().types_for(system);
    const bool v3 = r.header().version >= 3;
    const textio::Format f4(
        "(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,04(4x,a2),4(f14.3,i1,i1))");
    const textio::Format f6(
        "(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,06(4x,a2),6(f14.3,i1,i1))");
    int checked = 0;
    for (const auto& l : lines) {
        if (l.rfind("OB1 ", 0) != 0 || l.substr(33, 4) != rec) continue;
        int prn = 0, yy = 0, mo = 0, da = 0, ho = 0, mi = 0, flag = 0, nobs = 0;
        double sec = 0, clk = 0;
        std::string name(4, ' '), sys(1, ' ');
        std::vector<std::string> codes(6, std::string(2, ' '));
        double v[6] = {};
        int lli[6] = {}, ssi[6] = {};
        nobs = l.substr(53, 6) == "     6" ? 6 : 4;
        const bool ok = nobs == 6 ? f6.read(l, prn, yy, mo, da, ho, mi, sec, name, sys, flag, clk, nobs,
                                            codes[0], codes[1], codes[2], codes[3], codes[4], codes[5], v[0],
                                            lli[0], ssi[0], v[1], lli[1], ssi[1], v[2], lli[2], ssi[2], v[3],
                                            lli[3], ssi[3], v[4], lli[4], ssi[4], v[5], lli[5], ssi[5])
                                        .ok()
                                  : f4.read(l, prn, yy, mo, da, ho, mi, sec, name, sys, flag, clk, nobs,
                                            codes[0], codes[1], codes[2], codes[3], v[0], lli[0], ssi[0],
                                            v[1], lli[1], ssi[1], v[2], lli[2], ssi[2], v[3], lli[3], ssi[3])
                                        .ok();
        EXPECT_TRUE(ok) << l;
        if (std::fabs(ho * 3600 + mi * 60 + sec - e.time.sod) > 1e-6 || da != e.time.day) break; // past it
        EXPECT_EQ(yy, e.time.year % 100);
        EXPECT_EQ(mo, e.time.month);
        EXPECT_EQ(sys[0], system);
        const rnx::SatObs* sat = nullptr;
        for (const auto& s : e.sats)
            if (s.system == system && s.prn == prn) sat = &s;
        if (sat == nullptr) {
            ADD_FAILURE() << "no such satellite in the RINEX epoch: " << l;
            continue;
        }
        for (int k = 0; k < nobs; ++k) {
            std::vector<std::string> cand =
                v3 ? rinex3_codes.at(system).at(codes[static_cast<std::size_t>(k)])
                   : std::vector<std::string>{codes[static_cast<std::size_t>(k)]};
            const rnx::ObsValue* rv = nullptr;
            for (const auto& c : cand)
                for (std::size_t i = 0; i < types.size() && rv == nullptr; ++i)
                    if (types[i] == c && sat->values[i].present) rv = &sat->values[i];
            if (rv == nullptr) {
                ADD_FAILURE() << codes[static_cast<std::size_t>(k)] << " not in the RINEX epoch: " << l;
                continue;
            }
            EXPECT_NEAR(v[k], rv->value, 0.0005) << codes[static_cast<std::size_t>(k)] << ": " << l;
            EXPECT_EQ(lli[k], rv->lli % 10) << codes[static_cast<std::size_t>(k)] << ": " << l;
            EXPECT_EQ(ssi[k], rv->ssi % 10) << codes[static_cast<std::size_t>(k)] << ": " << l;
        }
        ++checked;
    }
    return checked;
}

// The OT2 line of `rec` read back against the six rows of the station in the BLQ text, found here by a
// plain scan of the text: the first block whose name line is `rec`.
void check_ot2(const std::vector<std::string>& lines, const std::string& rec, const fs::path& blq) {
    std::vector<double> want;
    {
        std::ifstream in(blq);
        std::string l;
        bool found = false;
        while (std::getline(in, l) && want.size() < 66) {
            if (!l.empty() && l.back() == '\r') l.pop_back();
            if (l.rfind("$$", 0) == 0) continue;
            std::istringstream w(l);
            if (!found) {
                std::string name;
                found = (w >> name) && name == rec;
                continue;
            }
            for (double x; w >> x;) want.push_back(x);
        }
    }
    ASSERT_EQ(want.size(), 66u) << rec << " in " << blq;
    std::string line;
    for (const auto& l : lines)
        if (l.rfind("OT2 ", 0) == 0 && l.substr(27, 4) == rec) line = l;
    ASSERT_FALSE(line.empty()) << "no OT2 line for " << rec;
    const textio::Format f("(6x,5(1x,i2),f5.1,1x,a,66(1x,e12.4))");
    int yy = 0, mo = 0, da = 0, ho = 0, mi = 0;
    double sec = 0;
    std::string name(4, ' ');
    std::vector<double> got(66);
    ASSERT_TRUE(f.read(line, yy, mo, da, ho, mi, sec, name, got).ok()) << line;
    for (std::size_t i = 0; i < 66; ++i)
        EXPECT_NEAR(got[i], want[i], 1e-9 + 1e-9 * std::fabs(want[i])) << rec << " " << i;
}

} // namespace

TEST(RinexToStreamRealData, EveryLineReadsAndValuesMatchTheRinexFiles) {
    const fs::path day = fs::path(QUELMAR_SHARED_DATA) / "rinex" / "2002-030";
    const fs::path bell = day / "bell0300.02o", ebre = day / "ebre0300.02o", nav = day / "brdc0300.02n";
    if (!fs::exists(bell) || !fs::exists(ebre) || !fs::exists(nav))
        GTEST_SKIP() << "the 2002-030 BELL/EBRE/broadcast files are absent from " << QUELMAR_SHARED_DATA;

    testing_support::TempDir dir;
    double seconds = 0;
    std::string err;
    const std::vector<std::string> lines =
        convert(dir, std::string("--nav") + q(nav) + q(bell) + q(ebre), seconds, err);
    const long ob1 = count_code(lines, "OB1 "), eph = count_code(lines, "EPH ");
    std::printf("[ figures  ] %zu lines (%ld OB1, %ld EPH) written in %.2f s\n", lines.size(), ob1, eph,
                seconds);
    ASSERT_GT(ob1, 40000);
    ASSERT_GT(eph, 300);
    ASSERT_EQ(lines.at(0).substr(0, 31), "XYZ     2  1 30  0  0  0.0 BELL");
    EXPECT_GT(check_first_epoch(lines, bell, "BELL", 'G', dir), 5);
    EXPECT_GT(check_first_epoch(lines, ebre, "EBRE", 'G', dir), 5);

    const long errors = errors_when_read(dir, lines);
    EXPECT_EQ(errors, 0);
    std::printf("[ figures  ] reading errors: %ld\n", errors);
}

TEST(RinexToStreamRealData, FourStationsWithOceanLoading) {
    const fs::path day = fs::path(QUELMAR_SHARED_DATA) / "rinex" / "2008-148";
    const fs::path blq = fs::path(QUELMAR_SHARED_DATA) / "otl" / "OCEAN-GOT00.dat";
    const std::vector<std::pair<std::string, std::string>> stations = {{"ACOR", "acor1480.08o"},
                                                                       {"MADR", "madr1480.08o"},
                                                                       {"SCOA", "scoa1480.08o"},
                                                                       {"SFER", "sfer1480.08o"}};
    std::string args = std::string("--blq") + q(blq);
    for (const auto& [name, file] : stations) {
        if (!fs::exists(day / file) || !fs::exists(blq))
            GTEST_SKIP() << "the 2008-148 files or OCEAN-GOT00.dat are absent from " << QUELMAR_SHARED_DATA;
        args += q(day / file);
    }
    testing_support::TempDir dir;
    double seconds = 0;
    std::string err;
    const std::vector<std::string> lines = convert(dir, args, seconds, err);
    EXPECT_EQ(err, ""); // every station in the BLQ file, no note
    const long ob1 = count_code(lines, "OB1 ");
    std::printf("[ figures  ] 2008-148: %zu lines (%ld OB1, %ld OT2) written in %.2f s\n", lines.size(), ob1,
                count_code(lines, "OT2 "), seconds);
    EXPECT_EQ(count_code(lines, "OT2 "), 4);
    EXPECT_EQ(count_code(lines, "EPH "), 0);
    EXPECT_EQ(count_code(lines, "LEA "), 1);
    ASSERT_GT(ob1, 80000);
    for (const auto& [name, file] : stations) {
        check_ot2(lines, name, blq);
        EXPECT_GT(check_first_epoch(lines, day / file, name, 'G', dir), 4) << name;
    }
    const long errors = errors_when_read(dir, lines);
    EXPECT_EQ(errors, 0);
    std::printf("[ figures  ] 2008-148 reading errors: %ld\n", errors);
}

TEST(RinexToStreamRealData, Rinex3MultiGnssWithL5AndGalileo) {
    const fs::path day = fs::path(QUELMAR_SHARED_DATA) / "rinex" / "2020-177";
    const fs::path obs = day / "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz";
    const fs::path nav = day / "ESBC00DNK_R_20201770000_01D_MN.rnx.gz";
    if (!fs::exists(obs) || !fs::exists(nav))
        GTEST_SKIP() << "the ESBC 2020-177 files are absent from " << QUELMAR_SHARED_DATA;
    {
        SCOPED_TRACE("GPS stream");
        testing_support::TempDir dir;
        double seconds = 0;
        std::string err;
        const std::vector<std::string> lines =
            convert(dir, std::string("--nav") + q(nav) + q(obs), seconds, err);
        long six = 0;
        for (const auto& l : lines) six += l.rfind("OB1 ", 0) == 0 && l.substr(53, 6) == "     6";
        const long ob1 = count_code(lines, "OB1 ");
        std::printf("[ figures  ] ESBC GPS: %zu lines, %ld OB1 (%ld with 6 observables) in %.2f s\n",
                    lines.size(), ob1, six, seconds);
        ASSERT_GT(ob1, 20000);
        EXPECT_GT(six, 10000);
        EXPECT_EQ(lines.at(1).substr(0, 72),
                  "ANT    20  6 25  0  0  0.0 ESBC CR5200327016        ASH701945E_M    SCIS");
        EXPECT_EQ(lines.at(3),
                  "WLF    20  6 25  0  0  0.0 ESBC      1     1     0     0     1     0     0     0     0");
        EXPECT_EQ(lines.at(4), "LEA    20  6 25  0  0  0.0     18");
        EXPECT_GT(check_first_epoch(lines, obs, "ESBC", 'G', dir), 5);
        EXPECT_EQ(errors_when_read(dir, lines), 0);
    }
    {
        SCOPED_TRACE("Galileo stream");
        testing_support::TempDir dir;
        double seconds = 0;
        std::string err;
        const std::vector<std::string> lines = convert(dir, std::string("--system E") + q(obs), seconds, err);
        const long ob1 = count_code(lines, "OB1 ");
        std::printf("[ figures  ] ESBC Galileo: %zu lines, %ld OB1 in %.2f s\n", lines.size(), ob1, seconds);
        ASSERT_GT(ob1, 15000);
        EXPECT_EQ(count_code(lines, "EPH "), 0);
        for (const auto& l : lines)
            if (l.rfind("OB1 ", 0) == 0) {
                ASSERT_EQ(l.substr(38, 1), "E") << l;
                ASSERT_EQ(l.substr(53, 6), "     6") << l;
            }
        EXPECT_GT(check_first_epoch(lines, obs, "ESBC", 'E', dir), 5);
        // The program has no Galileo broadcast orbits: the stream is read, the observations wait for
        // precise orbits. A damaged copy needs an EPH or OT2 line, which this stream has not: borrow one.
        std::vector<std::string> with_ot2 = lines;
        // (Blank fields read as zero.)
        with_ot2.insert(with_ot2.begin() + 3, "OT2    20  6 25  0  0  0.0 ESBC" + std::string(66 * 13, ' '));
        EXPECT_EQ(errors_when_read(dir, with_ot2), 0);
    }
}
