// Robustness of the message handlers: well over 100,000 randomly damaged lines of every message type
// go through the dispatcher of a started run. Each line must either be applied (a station or ephemeris
// line is then copied to standard output) or be rejected with an error line in the log, or stop the
// run with one of the stop messages the messages have; nothing may crash or read out of bounds (the
// sanitizer build runs this test too), and the run's tables must stay consistent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "frame/run.hpp"
#include "frame/stop.hpp"
#include "support/test_support.hpp"
#include "textio/format.hpp"

using namespace quelmar;
namespace fs = std::filesystem;
using testing_support::Rng;

namespace {

// Lines of every type, well formed, as the upstream stage writes them.
std::vector<std::string> template_lines() {
    std::vector<std::string> lines;
    for (const auto& l : testing_support::lines_of(
             testing_support::read_file(fs::path(QUELMAR_SOURCE_DIR) / "examples" / "messages.txt")))
        lines.push_back(l);
    using textio::Format;
    std::vector<double> otl(66);
    for (int i = 0; i < 66; ++i) otl[static_cast<std::size_t>(i)] = i < 33 ? 0.001 * (i + 1) : -3.0 * i;
    lines.push_back(
        Format("(a,5(1x,i2),f5.1,1x,a,66(1x,e12.4))").write("OT2   ", 2, 1, 30, 0, 0, 0.0, "BELL", otl));
    const Format list("(a,5(1x,i2),f5.1,1x,i6,6(1x,a))");
    lines.push_back(list.write("EXG   ", 2, 1, 30, 0, 0, 0.0, 1, "EBRE"));
    lines.push_back(list.write("EXI   ", 2, 1, 30, 0, 0, 0.0, 2, "BELL", "EBRE"));
    lines.push_back("KLO     2  1 30  0  0  0.0");
    lines.push_back("DUT     2  1 30  0  0  0.0");
    lines.push_back(
        Format("(a,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,f13.6,1x,i3,f8.3,3f12.6,1x,f8.4,2(1x,f9.5),1x,e11.3,"
               "1x,i1,i3,3(1x,f10.5,1x,e10.3))")
            .write("CDS ", 5, 2, 1, 30, 0, 0, 0.0, "BELL", 52304.0, 1, 45.0, 10.0, 40.0, 100.0, 12.5, 0.5,
                   0.1, 1.5e-3, 2, 3, 1.0, 0.1, -2.0, 0.2, 3.0, 0.3));
    return lines;
}

// One to four damages: characters replaced by digits, letters, blanks or bytes, deleted, inserted,
// the line cut, a block repeated.
std::string mutate(std::string s, Rng& g) {
    static const std::string alphabet = "0123456789 +-.EDedTFtfABCxyz*/,'\"!&\t";
    const int n = static_cast<int>(g.range(1, 4));
    for (int k = 0; k < n; ++k) {
        const std::size_t len = s.size();
        const std::size_t at =
            len ? static_cast<std::size_t>(g.range(0, static_cast<std::int64_t>(len) - 1)) : 0;
        switch (g.range(0, 6)) {
        case 0:
        case 1:
            if (len) s[at] = alphabet[static_cast<std::size_t>(g.range(0, alphabet.size() - 1))];
            break;
        case 2:
            if (len) s[at] = static_cast<char>(g.range(0, 255));
            break;
        case 3:
            if (len) s.erase(at, static_cast<std::size_t>(g.range(1, 5)));
            break;
        case 4:
            s.insert(at, 1, alphabet[static_cast<std::size_t>(g.range(0, alphabet.size() - 1))]);
            break;
        case 5:
            s.resize(at);
            break;
        case 6:
            if (len) s.insert(at, s.substr(at, static_cast<std::size_t>(g.range(1, 20))));
            break;
        }
    }
    if (s.size() >= 4 && g.chance(0.9)) s.replace(0, 4, s.substr(0, 4)); // the code mostly survives
    return s;
}

// The messages that a line of the stream may legitimately stop the run with.
const std::set<std::string> stop_messages = {
    "ERROR, rejected XYZ: reading error",
    "ERROR: please increase maxrec accordingly",
    "ERROR: reading CDS message",
    "ERROR: nobs.ne.4 .and. nobs.ne.6 [UNSUPPORTED]",
    "ERROR @ readob1: n_kind_rec.ne.1",
    "ERROR @ read_s3c: reading irover_sp3_leo_id",
    "ERROR: input conversion error in the OB1 header",
    "ERROR: in cldj",
    // The epoch control and the chain: a damaged date may name a day without a reference-satellite
    // file, a year outside the flux table, or an epoch the transmit-time iteration cannot handle.
    "ERROR opening file_refsat",
    "ERROR: epoch out of range of sfluxfile",
    "ERROR: in transmit_time1",
    "ERROR: reading orbits, ierrs3c.ne.0",
};

std::uintmax_t size_of(const std::string& name) {
    std::error_code ec;
    const auto n = fs::file_size(name, ec);
    return ec ? 0 : n;
}

// What a file holds past `from`.
std::string tail_of(const std::string& name, std::uintmax_t from) {
    std::ifstream in(name, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The message state of a run back to its start, as after a stop and a new run; the configuration
// and the auxiliary tables stay as start-up left them.
void reset_messages(frame::Run& run) {
    run.st = frame::RunState();
    run.reg = messages::StationRegistry();
    run.irec = 0;
    run.sta = messages::StationTables();
    run.eph = messages::EphemerisTable();
    run.cds = messages::CorrectionTable();
    run.obs = messages::ObservationState();
}

void check_consistent(const frame::Run& run) {
    ASSERT_GE(run.reg.nrec, 0);
    ASSERT_LE(run.reg.nrec, maxrec);
    for (int i = 1; i <= maxrec; ++i) {
        ASSERT_EQ(run.reg.reclst(i).size(), 4u);
        if (i > run.reg.nrec) {
            // No flag is set for a slot that no message has registered.
            ASSERT_FALSE(run.st.is_xyz_read(i) || run.st.is_ant_read(i) || run.st.is_and_read(i) ||
                         run.st.is_otl_read(i) || run.st.is_wlf_read(i))
                << "slot " << i;
        }
    }
}

TEST(DispatchFuzz, DamagedLinesAreAppliedOrRejectedNeverCrash) {
    testing_support::TempDir dir;
    for (const auto& e : fs::directory_iterator(fs::path(QUELMAR_SOURCE_DIR) / "examples")) {
        const std::string name = e.path().filename().string();
        if (name != "messages.txt" && name != "run.sh" && name != "README.md")
            fs::copy_file(e.path(), dir.path() / name);
    }
    std::string cfg = testing_support::read_file(dir.path() / "quelmar_v2.2.0.nml");
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"silent_log = .false.", "silent_log = .true."},
          {"antexusage     = .true.", "antexusage     = .false."}}) {
        const auto p = cfg.find(from);
        ASSERT_NE(p, std::string::npos) << from;
        cfg.replace(p, from.size(), to);
    }
    dir.write("quelmar_v2.2.0.nml", cfg);
    // Every day of the templates' year has a reference-satellite file, so that damaged dates still
    // reach the processing chain instead of stopping at the epoch control.
    for (int m = 1; m <= 12; ++m)
        for (int d = 1; d <= 31; ++d) {
            char name[32];
            std::snprintf(name, sizeof name, "refsat.02-%02d-%02d", m, d);
            dir.write(name, "0 86400 1\n");
        }
    // Back to the starting directory however the test ends: the scratch directory is removed after it.
    struct CwdGuard {
        fs::path old = fs::current_path();
        ~CwdGuard() { fs::current_path(old); }
    } guard;
    fs::current_path(dir.path());

    const std::vector<std::string> templates = template_lines();
    Rng g(20261205);
    long lines = 0, applied = 0, rejected = 0, stops = 0;
    for (const char* mode : {"", "rover"}) {
        frame::Run run;
        char prog[] = "quelmar";
        char arg[8] = {};
        std::snprintf(arg, sizeof arg, "%s", mode);
        char* argv[] = {prog, arg, nullptr};
        frame::startup(run, *mode ? 2 : 1, argv);
        ASSERT_TRUE(run.out.open("out.txt"));
        const std::string log_name = run.log.name();
        for (int i = 0; i < 55000; ++i, ++lines) {
            const std::string& t = templates[static_cast<std::size_t>(g.range(0, templates.size() - 1))];
            const std::string line = g.chance(0.05) ? t : mutate(t, g);
            run.out.flush();
            run.log.flush();
            const auto out0 = size_of("out.txt");
            const auto log0 = size_of(log_name);
            try {
                frame::dispatch(run, line);
            } catch (const frame::Stop& s) {
                ++stops;
                if (s.has_message()) {
                    ASSERT_TRUE(stop_messages.count(s.message()))
                        << "stop \"" << s.message() << "\" on: " << line;
                }
                reset_messages(run);
                continue;
            }
            run.out.flush();
            run.log.flush();
            const std::string out = tail_of("out.txt", out0);
            const std::string log = tail_of(log_name, log0);
            const std::string code = line.substr(0, 4);
            const bool copied = !out.empty();
            const bool error = log.find("ERROR") != std::string::npos;
            static const std::set<std::string> copied_codes = {"XYZ ", "ANT ", "AND ", "OT2 ", "WLF ",
                                                               "LEA ", "EPH ", "EXG ", "EXI "};
            if (copied_codes.count(code)) {
                // Applied and copied, or rejected with an error line (an ANT line whose antenna type
                // is unknown is both: copied, and its receiver's flag cleared with the error).
                ASSERT_TRUE(copied || error) << "neither applied nor rejected: " << line;
                if (code != "ANT ") {
                    ASSERT_FALSE(copied && error) << "copied and rejected: " << line;
                }
                if (copied) {
                    // The copy is the line without its trailing blanks.
                    const std::string expected = line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
                    ASSERT_EQ(out.substr(0, 20), expected.substr(0, 20)) << line;
                }
                copied ? ++applied : ++rejected;
            }
            check_consistent(run);
        }
    }
    std::printf("dispatch fuzz: %ld lines, %ld station/ephemeris lines applied, %ld rejected, %ld stops\n",
                lines, applied, rejected, stops);
    EXPECT_GE(lines, 100000);
    EXPECT_GT(applied, 1000);
    EXPECT_GT(rejected, 1000);
}

} // namespace
