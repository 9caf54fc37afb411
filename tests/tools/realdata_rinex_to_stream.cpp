// The converter on a real station pair: BELL and EBRE of 2002-01-30 with the day's broadcast file. Every
// line it writes is fed through the program's own message handlers, which must read all of them, and
// values read back are compared with the RINEX values.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

namespace {

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto p = text.find(from);
    EXPECT_NE(p, std::string::npos) << from;
    if (p != std::string::npos) text.replace(p, from.size(), to);
    return text;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// Every line of `lines` through the program's dispatch in a run started in `dir` with the example files;
// the count of reading and rejection error lines in its log (-1 when the run stopped). An antenna type
// missing from the example phase-centre table ("rejected ANT" after "no matching antenna type") is not
// counted: that is the table, not the line.
long errors_when_read(const testing_support::TempDir& dir, const std::vector<std::string>& lines) {
    for (const auto& e : fs::directory_iterator(fs::path(QUELMAR_SOURCE_DIR) / "examples")) {
        const std::string name = e.path().filename().string();
        if (name != "messages.txt" && name != "run.sh" && name != "README.md")
            fs::copy_file(e.path(), dir.path() / name);
    }
    std::string cfg = testing_support::read_file(dir.path() / "quelmar_v2.2.0.nml");
    cfg = replaced(cfg, "silent_log = .false.", "silent_log = .true.");
    cfg = replaced(cfg, "antexusage     = .true.", "antexusage     = .false.");
    dir.write("quelmar_v2.2.0.nml", cfg);
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
        // A damaged copy of the first EPH line first: its error line shows that reading errors do reach the
        // log.
        std::string damaged;
        for (const auto& l : lines)
            if (damaged.empty() && l.rfind("EPH ", 0) == 0) damaged = l;
        if (damaged.size() < 100) {
            fs::current_path(old);
            ADD_FAILURE() << "no EPH line";
            return -1;
        }
        damaged[90] = 'x';
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
    for (const auto& l : lines_of(testing_support::read_file(dir.path() / log_name)))
        if (l.find("ERROR: reading") != std::string::npos ||
            l.find("ERROR: rejected OBS") != std::string::npos) {
            if (++errors == 1) first = l;
        }
    if (errors != 0) ADD_FAILURE() << "first error after the damaged line: " << first;
    return errors;
}

} // namespace

TEST(RinexToStreamRealData, EveryLineReadsAndValuesMatchTheRinexFiles) {
    const fs::path day = fs::path(QUELMAR_SHARED_DATA) / "rinex" / "2002-030";
    const fs::path bell = day / "bell0300.02o", ebre = day / "ebre0300.02o", nav = day / "brdc0300.02n";
    if (!fs::exists(bell) || !fs::exists(ebre) || !fs::exists(nav))
        GTEST_SKIP() << "the 2002-030 BELL/EBRE/broadcast files are absent from " << QUELMAR_SHARED_DATA;

    testing_support::TempDir dir;
    const std::string cmd = "'" + std::string(QUELMAR_TOOLS_DIR) + "/rinex_to_stream' --nav '" +
                            nav.string() + "' '" + bell.string() + "' '" + ebre.string() + "' > '" +
                            (dir.path() / "stream.txt").string() + "' 2> '" +
                            (dir.path() / "err.txt").string() + "'";
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(std::system(cmd.c_str()), 0) << testing_support::read_file(dir.path() / "err.txt");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const std::vector<std::string> lines = lines_of(testing_support::read_file(dir.path() / "stream.txt"));
    long ob1 = 0, eph = 0;
    for (const auto& l : lines) {
        ob1 += l.rfind("OB1 ", 0) == 0;
        eph += l.rfind("EPH ", 0) == 0;
    }
    std::printf("[ figures  ] %zu lines (%ld OB1, %ld EPH) written in %.2f s\n", lines.size(), ob1, eph,
                seconds);
    ASSERT_GT(ob1, 40000);
    ASSERT_GT(eph, 300);
    ASSERT_EQ(lines.at(0).substr(0, 31), "XYZ     2  1 30  0  0  0.0 BELL");

    // First BELL observation of PRN 1, read back with the reading layout, against the RINEX values.
    {
        tools::rinex::ObsReader r;
        r.open(bell.string());
        tools::rinex::ObsEpoch e;
        ASSERT_TRUE(r.next(e));
        const auto& types = *r.header().types_for('G');
        const tools::rinex::SatObs* prn1 = nullptr;
        for (const auto& s : e.sats)
            if (s.system == 'G' && s.prn == 1) prn1 = &s;
        ASSERT_NE(prn1, nullptr);
        std::string line;
        for (const auto& l : lines)
            if (l.rfind("OB1  1 ", 0) == 0 && l.substr(33, 4) == "BELL") {
                line = l;
                break;
            }
        ASSERT_FALSE(line.empty());
        const textio::Format f("(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,04(4x,a2),"
                               "4(f14.3,i1,i1),1x,i5,1x,l1)");
        int prn = 0, yy = 0, mo = 0, da = 0, ho = 0, mi = 0, flag = 0, nobs = 0, arc = 0;
        double sec = 0, clk = 0;
        std::string rec(4, ' '), sys(1, ' ');
        std::vector<std::string> codes(4, std::string(2, ' '));
        double v[4] = {};
        int lli[4] = {}, ssi[4] = {};
        bool slip = false;
        ASSERT_TRUE(f.read(line, prn, yy, mo, da, ho, mi, sec, rec, sys, flag, clk, nobs, codes[0], codes[1],
                           codes[2], codes[3], v[0], lli[0], ssi[0], v[1], lli[1], ssi[1], v[2], lli[2],
                           ssi[2], v[3], lli[3], ssi[3], arc, slip)
                        .ok());
        EXPECT_EQ(prn, 1);
        EXPECT_EQ(yy, e.time.year % 100);
        EXPECT_EQ(mo, e.time.month);
        EXPECT_EQ(da, e.time.day);
        EXPECT_EQ(ho * 3600 + mi * 60 + sec, e.time.hour * 3600 + e.time.minute * 60 + e.time.sec);
        EXPECT_EQ(nobs, 4);
        EXPECT_EQ(arc, 1);
        for (int k = 0; k < 4; ++k) {
            int idx = -1;
            for (std::size_t i = 0; i < types.size(); ++i)
                if (types[i] == codes[k]) idx = static_cast<int>(i);
            ASSERT_GE(idx, 0) << codes[k];
            const auto& rv = prn1->values[static_cast<std::size_t>(idx)];
            EXPECT_NEAR(v[k], rv.value, 0.0005) << codes[k];
            EXPECT_EQ(lli[k], rv.lli % 10) << codes[k];
            EXPECT_EQ(ssi[k], rv.ssi % 10) << codes[k];
        }
    }

    const long errors = errors_when_read(dir, lines);
    EXPECT_EQ(errors, 0);
    std::printf("[ figures  ] reading errors: %ld\n", errors);
}

TEST(RinexToStreamRealData, Rinex3MultiGnssFileGivesGpsObservations) {
    const fs::path day = fs::path(QUELMAR_SHARED_DATA) / "rinex" / "2020-177";
    const fs::path obs = day / "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz";
    const fs::path nav = day / "ESBC00DNK_R_20201770000_01D_MN.rnx.gz";
    if (!fs::exists(obs) || !fs::exists(nav))
        GTEST_SKIP() << "the ESBC 2020-177 files are absent from " << QUELMAR_SHARED_DATA;
    testing_support::TempDir dir;
    const std::string cmd = "'" + std::string(QUELMAR_TOOLS_DIR) + "/rinex_to_stream' --nav '" +
                            nav.string() + "' '" + obs.string() + "' > '" +
                            (dir.path() / "stream.txt").string() + "' 2> '" +
                            (dir.path() / "err.txt").string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << testing_support::read_file(dir.path() / "err.txt");
    const std::vector<std::string> lines = lines_of(testing_support::read_file(dir.path() / "stream.txt"));
    long ob1 = 0;
    for (const auto& l : lines) ob1 += l.rfind("OB1 ", 0) == 0;
    std::printf("[ figures  ] ESBC: %zu lines, %ld OB1\n", lines.size(), ob1);
    ASSERT_GT(ob1, 20000);
    EXPECT_EQ(lines.at(1).substr(0, 72),
              "ANT    20  6 25  0  0  0.0 ESBC CR5200327016        ASH701945E_M    SCIS");
    EXPECT_EQ(lines.at(4), "LEA    20  6 25  0  0  0.0     18");
    EXPECT_EQ(errors_when_read(dir, lines), 0);
}
