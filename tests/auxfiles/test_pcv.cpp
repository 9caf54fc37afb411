// The phase-centre table reader: the seven-line antenna blocks after 11 header lines, its statuses,
// the 899-antenna limit and files that end or break anywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "auxfiles/pcv.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;
namespace fs = std::filesystem;
using namespace quelmar::testing_support;

namespace {

// A private directory for the files of one test, and a log file in it.
class Scratch : public TempDir {
  public:
    std::string log_text() { return captured.text(); }
    CapturedLog captured{path() / "test.log"};
    frame::Log& log = captured.log;
};

std::string header() {
    std::string h;
    for (int i = 1; i <= 11; ++i) h += "header line " + std::to_string(i) + "\n";
    return h;
}

// The values of antenna a (from 1): independent of the reader, so that a misaligned read shows.
double offset_value(int a, int f, int c) {
    return a * 10.0 + f * 3.0 + c + 0.1 * c;
}
double elev_value(int a, int f, int node) {
    return (a % 50) + f * 0.5 - node * 0.1;
}

std::string fixed(double v, int w, int d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%*.*f", w, d, v);
    return buf;
}

std::string type_name(int a) {
    std::string t = "ANT" + std::to_string(a);
    t.resize(16, ' ');
    return t + (a % 2 ? "NONE" : "SCIS");
}

std::string antenna_block(int a) {
    std::string s = type_name(a) + " description of antenna " + std::to_string(a) + "   NGS (  3) 05/04/15\n";
    for (int f = 1; f <= 2; ++f) {
        for (int c = 1; c <= 3; ++c) s += fixed(offset_value(a, f, c), 10, 1);
        s += "\n";
        for (int n = 1; n <= 19; ++n) {
            s += fixed(elev_value(a, f, n), 6, 1);
            if (n == 10 || n == 19) s += "\n";
        }
    }
    return s;
}

std::string table(int nant) {
    std::string s = header();
    for (int a = 1; a <= nant; ++a) s += antenna_block(a);
    return s;
}

// Replaces line `n` (from 1) of a text.
std::string replace_line(const std::string& text, int n, const std::string& line) {
    std::istringstream in(text);
    std::string out, l;
    for (int i = 1; std::getline(in, l); ++i) out += (i == n ? line : l) + "\n";
    return out;
}

// The first `n` lines of a text.
std::string first_lines(const std::string& text, int n) {
    std::size_t pos = 0;
    for (int i = 0; i < n && pos != std::string::npos; ++i) {
        pos = text.find('\n', pos);
        if (pos != std::string::npos) ++pos;
    }
    return pos == std::string::npos ? text : text.substr(0, pos);
}

void expect_antenna(const PcvTable& t, int iant, int a) {
    SCOPED_TRACE("antenna " + std::to_string(iant));
    EXPECT_EQ(t.ant_type_(iant), type_name(a));
    for (int f = 1; f <= 2; ++f) {
        for (int c = 1; c <= 3; ++c)
            EXPECT_NEAR(t.phase_center_offset_(f, c, iant), offset_value(a, f, c), 1e-9);
        for (int n = 1; n <= 19; ++n)
            EXPECT_NEAR(t.phase_center_elev_(f, n, iant), elev_value(a, f, n), 1e-9);
    }
}

} // namespace

TEST(ReadPcv, WellFormedTableInFileOrder) {
    Scratch s;
    const std::string name = s.write("t.pcv", table(3));
    PcvTable t;
    EXPECT_EQ(read_pcv(config_name(name), t, s.log), 0);
    ASSERT_EQ(t.nant, 3);
    for (int a = 1; a <= 3; ++a) expect_antenna(t, a, a);
    EXPECT_EQ(s.log_text(), "");
}

TEST(ReadPcv, LookupsOutsideTheTableReadZeroAndBlank) {
    Scratch s;
    PcvTable t;
    ASSERT_EQ(read_pcv(s.write("t.pcv", table(1)), t, s.log), 0);
    // Frequencies 3..9 are never given by the file.
    for (int f = 3; f <= 9; ++f) {
        EXPECT_EQ(t.phase_center_offset_(f, 3, 1), 0.0);
        EXPECT_EQ(t.phase_center_elev_(f, 1, 1), 0.0);
    }
    EXPECT_EQ(t.phase_center_offset_(0, 1, 1), 0.0);
    EXPECT_EQ(t.phase_center_offset_(1, 4, 1), 0.0);
    EXPECT_EQ(t.phase_center_elev_(1, 20, 1), 0.0);
    EXPECT_EQ(t.phase_center_elev_(1, 1, 2), 0.0);
    EXPECT_EQ(t.ant_type_(0), std::string(20, ' '));
    EXPECT_EQ(t.ant_type_(900), std::string(20, ' '));
}

TEST(ReadPcv, LayoutVariantsReadAsTheFormatsSay) {
    struct Case {
        const char* what;
        std::string text;
    };
    const std::string good = table(2);
    std::string crlf;
    for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::vector<Case> cases = {
        {"CRLF line ends", crlf},
        {"no newline after the last line", good.substr(0, good.size() - 1)},
        {"a long description", replace_line(good, 12, type_name(1) + std::string(200, 'x'))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        PcvTable t;
        EXPECT_EQ(read_pcv(s.write("t.pcv", c.text), t, s.log), 0);
        ASSERT_EQ(t.nant, 2);
        expect_antenna(t, 1, 1);
        expect_antenna(t, 2, 2);
    }
}

TEST(ReadPcv, ShortLinesReadTheirMissingFieldsAsZero) {
    Scratch s;
    // Antenna 1: the name line holds only the model, the L1 offset line only the north value and the
    // second L1 pattern line is empty.
    std::string text = replace_line(table(1), 12, "SHORT");
    text = replace_line(text, 13, fixed(1.5, 10, 1));
    text = replace_line(text, 15, "");
    PcvTable t;
    ASSERT_EQ(read_pcv(s.write("t.pcv", text), t, s.log), 0);
    ASSERT_EQ(t.nant, 1);
    EXPECT_EQ(t.ant_type_(1), "SHORT               ");
    EXPECT_EQ(t.phase_center_offset_(1, 1, 1), 1.5);
    EXPECT_EQ(t.phase_center_offset_(1, 2, 1), 0.0);
    EXPECT_EQ(t.phase_center_offset_(1, 3, 1), 0.0);
    EXPECT_NEAR(t.phase_center_elev_(1, 10, 1), elev_value(1, 1, 10), 1e-9);
    for (int n = 11; n <= 19; ++n) EXPECT_EQ(t.phase_center_elev_(1, n, 1), 0.0);
    EXPECT_NEAR(t.phase_center_elev_(2, 19, 1), elev_value(1, 2, 19), 1e-9);
}

TEST(ReadPcv, StatusesAndTheirLogLines) {
    struct Case {
        const char* what;
        std::string text; // empty: no file at all
        int status;
        int nant;
        const char* log;
    };
    const std::string good = table(3);
    // Lines of antenna k (from 1): name at 12 + 7(k-1), then L1 offset, L1 1-10, L1 11-19, L2 ...
    auto line_of = [](int k, int i) { return 12 + 7 * (k - 1) + i; };
    const std::string reading = " ERROR: reading input igspcvfile\n";
    const std::vector<Case> cases = {
        {"letter in the L1 offset of antenna 2",
         replace_line(good, line_of(2, 1), "       1.0       x.0       2.0"), 2, 1, reading.c_str()},
        {"letter in the last L2 pattern line of antenna 1",
         replace_line(good, line_of(1, 6), "   0.0   0.0   0.0   0.0   0.0   0.0   0.0   0.0   0.O"), 2, 0,
         reading.c_str()},
        {"two points in an elevation value of antenna 3", replace_line(good, line_of(3, 2), "  1.2.3"), 2, 2,
         reading.c_str()},
        {"file ends inside antenna 2", first_lines(good, line_of(2, 3)), 2, 1, reading.c_str()},
        {"a blank line after the last antenna", good + "\n", 2, 3, reading.c_str()},
        {"file ends after the header", header(), 0, 0, ""},
        {"file ends inside the header", first_lines(good, 5), 0, 0, ""},
        {"empty file", std::string(), 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        PcvTable t;
        EXPECT_EQ(read_pcv(s.write("t.pcv", c.text), t, s.log), c.status);
        EXPECT_EQ(t.nant, c.nant);
        EXPECT_EQ(s.log_text(), c.log);
        for (int a = 1; a <= c.nant; ++a) expect_antenna(t, a, a);
    }
}

TEST(ReadPcv, MissingFileAndDirectory) {
    Scratch s;
    PcvTable t;
    t.nant = 7; // a previous content is dropped
    EXPECT_EQ(read_pcv(config_name(s.path("absent.pcv")), t, s.log), 1);
    EXPECT_EQ(t.nant, 0);
    EXPECT_EQ(s.log_text(), " ERROR: opening igspcvfile file:  " + s.path("absent.pcv") + "\n");

    Scratch d;
    fs::create_directories(d.path("adir"));
    EXPECT_EQ(read_pcv(d.path("adir"), t, d.log), 2);
    EXPECT_EQ(t.nant, 0);
    EXPECT_EQ(d.log_text(), " ERROR: reading input igspcvfile\n");
}

TEST(ReadPcv, HoldsAtMost899Antennas) {
    {
        Scratch s;
        PcvTable t;
        ASSERT_EQ(read_pcv(s.write("t.pcv", table(899)), t, s.log), 0);
        EXPECT_EQ(t.nant, 899);
        expect_antenna(t, 1, 1);
        expect_antenna(t, 899, 899);
    }
    for (int n : {900, 901}) {
        SCOPED_TRACE(n);
        Scratch s;
        PcvTable t;
        try {
            read_pcv(s.write("t.pcv", table(n)), t, s.log);
            FAIL() << "no stop";
        } catch (const frame::Stop& stop) {
            EXPECT_EQ(stop.message(), "ERROR: kant.gt.maxant");
        }
        EXPECT_EQ(t.nant, 899);
        EXPECT_EQ(s.log_text(), " ERROR: kant.gt.maxant\n");
    }
}

TEST(ReadPcv, EveryTruncationEndsCleanly) {
    // Cutting the file anywhere (inside a line too) never crashes: the antennas complete before the
    // cut are kept, and an antenna cut short is a reading error.
    const std::string good = table(2);
    Scratch s;
    for (std::size_t cut = 0; cut <= good.size(); cut += 5) {
        PcvTable t;
        const std::string text = good.substr(0, cut);
        const int status = read_pcv(s.write("t.pcv", text), t, s.log);
        ASSERT_TRUE(status == 0 || status == 2) << cut;
        ASSERT_LE(t.nant, 2);
        // Lines started after the header: complete antennas are those whose 7 lines are all there.
        const long lines =
            std::count(text.begin(), text.end(), '\n') + (text.empty() || text.back() == '\n' ? 0 : 1);
        const long body = std::max(0L, lines - 11);
        ASSERT_EQ(t.nant, std::min(2L, body / 7)) << cut;
        ASSERT_EQ(status, body % 7 == 0 ? 0 : 2) << cut;
    }
}

TEST(ReadPcv, CorruptedFilesNeverCrash) {
    const std::string good = table(3);
    const std::string alphabet = " 0123456789.-+eEdDInfNaX\n";
    std::mt19937 rng(20240611);
    Scratch s;
    int statuses[3] = {0, 0, 0};
    for (int iter = 0; iter < 300; ++iter) {
        std::string text = good;
        const int changes = 1 + static_cast<int>(rng() % 6);
        for (int c = 0; c < changes; ++c) text[rng() % text.size()] = alphabet[rng() % alphabet.size()];
        PcvTable t;
        const int status = read_pcv(s.write("t.pcv", text), t, s.log);
        ASSERT_TRUE(status == 0 || status == 2);
        ASSERT_TRUE(t.nant >= 0 && t.nant <= 3);
        ++statuses[status];
    }
    EXPECT_GT(statuses[0], 0);
    EXPECT_GT(statuses[2], 0);
}
