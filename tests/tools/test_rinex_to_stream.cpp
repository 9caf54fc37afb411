// The converter on tiny hand-made RINEX 2 files: exact lines out, and clear failures on bad input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace testing_support = quelmar::testing_support;

namespace {

std::string hl(std::string content, const std::string& label) {
    content.resize(60, ' ');
    return content + label + "\n";
}

// Header of a GPS observation file of receiver "test" with the types L1 L2 C1 P1 P2 and no leap seconds.
std::string obs_header() {
    return hl("     2.10           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE") +
           hl("test", "MARKER NAME") +
           hl("4711                TRIMBLE 4000SSI     7.29", "REC # / TYPE / VERS") +
           hl("123                 TRM22020.00+GP", "ANT # / TYPE") +
           hl("  4775849.6200   116814.1000  4213018.7100", "APPROX POSITION XYZ") +
           hl("        0.0540        0.1000       -0.2000", "ANTENNA: DELTA H/E/N") +
           hl("     1     2", "WAVELENGTH FACT L1/2") +
           hl("     5    L1    L2    C1    P1    P2", "# / TYPES OF OBSERV") + hl("", "END OF HEADER");
}

// Two epochs 30 s apart: G07 complete, G01 without P1 (C1 is used), G04 without P2 (skipped).
std::string obs_body() {
    return " 02  1 30  0  0  0.0000000  0  3G07G01G04\n"
           " -13284821.249 8 -10192060.755 4  21372448.483    21372448.000    21372454.252  \n"
           " -11284821.249    -10192060.755    21372448.483                    21372454.252  \n"
           " -13284821.249   -10192060.755    21372448.483    21372448.100                   \n"
           " 02  1 30  0  0 30.0000000  0  2G01G07\n"
           " -11234125.853    -10142557.858    21382095.501                    21382101.407  \n"
           " -13234125.853 1 -10152557.858    21382095.501    21382095.000    21382101.407  \n";
}

std::string nav_record(int prn, int hour) {
    char first[128];
    std::snprintf(first, sizeof first,
                  "%2d 02  1 30 %2d  0  0.0 0.213539693505D-03 0.159161572810D-11 0.000000000000D+00\n", prn,
                  hour);
    return std::string(first) +
           "    0.101000000000D+03-0.142406250000D+03 0.437161066656D-08-0.313042791004D+01\n"
           "   -0.744871795178D-05 0.531352218241D-02 0.339187681675D-05 0.515369856644D+04\n"
           "    0.259200000000D+06-0.186264514923D-08-0.673800683646D+00 0.484287738800D-07\n"
           "    0.967630470173D+00 0.317500000000D+03-0.171545830500D+01-0.822212819893D-08\n"
           "   -0.432518016112D-09 0.100000000000D+01 0.115100000000D+04 0.000000000000D+00\n"
           "    0.400000000000D+01 0.000000000000D+00-0.325962901115D-08 0.357000000000D+03\n"
           "    0.253038000000D+06\n";
}

std::string nav_file() {
    return hl("     2.10           N: GPS NAV DATA", "RINEX VERSION / TYPE") + hl("", "END OF HEADER") +
           nav_record(7, 4) + nav_record(3, 2);
}

struct Result {
    int status = -1;
    std::string out, err;
};

Result convert(const testing_support::TempDir& dir, const std::string& args) {
    const std::string cmd = "cd '" + dir.path().string() + "' && '" + std::string(QUELMAR_TOOLS_DIR) +
                            "/rinex_to_stream' " + args + " > out.txt 2> err.txt";
    const int rc = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = testing_support::read_file(dir.path() / "out.txt");
    r.err = testing_support::read_file(dir.path() / "err.txt");
    return r;
}

} // namespace

TEST(RinexToStream, SmallFilesGiveTheExactStream) {
    testing_support::TempDir dir;
    dir.write("a.02o", obs_header() + obs_body());
    dir.write("a.02n", nav_file());
    const Result r = convert(dir, "--nav a.02n a.02o");
    ASSERT_EQ(r.status, 0) << r.err;
    // The headers and the LEA line (GPS-UTC of 2002 from the table, the header has none) before the
    // first observation; the EPH of toc 02:00 is due at 00:00; G04 (no P2) is left out; G01 has C1,
    // G07 P1; the EPH of toc 04:00 comes after the last epoch.
    const std::vector<std::string> expected = {
        "XYZ     2  1 30  0  0  0.0 TEST   4775849.6200   116814.1000  4213018.7100",
        "ANT     2  1 30  0  0  0.0 TEST 123                 TRM22020.00+GP  NONE",
        "AND     2  1 30  0  0  0.0 TEST         0.0540        0.1000       -0.2000",
        "WLF     2  1 30  0  0  0.0 TEST      1     2     0     0     0     0     0     0     0",
        "LEA     2  1 30  0  0  0.0     13",
        "EPH  3 02  1 30  2  0  0.0 0.213539693505D-03 0.159161572810D-11 0.000000000000D+00    0.1"
        "01000000000D+03-0.142406250000D+03 0.437161066656D-08-0.313042791004D+01   -0.744871795178"
        "D-05 0.531352218241D-02 0.339187681675D-05 0.515369856644D+04    0.259200000000D+06-0.1862"
        "64514923D-08-0.673800683646D+00 0.484287738800D-07    0.967630470173D+00 0.317500000000D+0"
        "3-0.171545830500D+01-0.822212819893D-08   -0.432518016112D-09 0.100000000000D+01 0.1151000"
        "00000D+04 0.000000000000D+00    0.400000000000D+01 0.000000000000D+00-0.325962901115D-08 0"
        ".357000000000D+03    0.253038000000D+06 0.000000000000D+00 0.000000000000D+00 0.0000000000"
        "00D+00",
        "OB1  1  2  1 30  0  0  0.0000000 TEST G 0 0.000000000     4    L1    L2    C1    P2 -11284"
        "821.24900 -10192060.75050  21372448.48030  21372454.25020     1 T   0.0000000E+00 F   0.00"
        "00000E+00 F     0.0000   0.0000000E+00 F",
        "OB1  7  2  1 30  0  0  0.0000000 TEST G 0 0.000000000     4    L1    L2    P1    P2 -13284"
        "821.24908 -10192060.75504  21372448.00000  21372454.25200     1 T   0.0000000E+00 F   0.00"
        "00000E+00 F     0.0000   0.0000000E+00 F",
        "OB1  1  2  1 30  0  0 30.0000000 TEST G 0 0.000000000     4    L1    L2    C1    P2 -11234"
        "125.85300 -10142557.85080  21382095.50010  21382101.40070     2 T   0.3000000E+02 F   0.00"
        "00000E+00 F     0.0000  -0.8619243E+04 T",
        "OB1  7  2  1 30  0  0 30.0000000 TEST G 0 0.000000000     4    L1    L2    P1    P2 -13234"
        "125.85301 -10152557.85800  21382095.00000  21382101.40700     1 F   0.3000000E+02 F   0.00"
        "00000E+00 F     0.0022  -0.4704953E-01 F",
        "EPH  7 02  1 30  4  0  0.0 0.213539693505D-03 0.159161572810D-11 0.000000000000D+00    0.1"
        "01000000000D+03-0.142406250000D+03 0.437161066656D-08-0.313042791004D+01   -0.744871795178"
        "D-05 0.531352218241D-02 0.339187681675D-05 0.515369856644D+04    0.259200000000D+06-0.1862"
        "64514923D-08-0.673800683646D+00 0.484287738800D-07    0.967630470173D+00 0.317500000000D+0"
        "3-0.171545830500D+01-0.822212819893D-08   -0.432518016112D-09 0.100000000000D+01 0.1151000"
        "00000D+04 0.000000000000D+00    0.400000000000D+01 0.000000000000D+00-0.325962901115D-08 0"
        ".357000000000D+03    0.253038000000D+06 0.000000000000D+00 0.000000000000D+00 0.0000000000"
        "00D+00"};
    std::string want;
    for (const auto& l : expected) want += l + "\n";
    EXPECT_EQ(r.out, want);
}

TEST(RinexToStream, BadInputFailsWithFileAndLine) {
    struct Case {
        const char* what;
        std::string obs;
        const char* args;
        int status;
        const char* message;
    };
    const std::string bad_epoch = obs_header() + " 02 13 30  0  0  0.0000000  0  1G07\n";
    const std::string bad_value = obs_header() + " 02  1 30  0  0  0.0000000  0  1G07\n 1x3.5\n";
    const Case cases[] = {
        {"no observation file", "", "", 2, "usage: rinex_to_stream"},
        {"missing file", "", "nothere.02o", 1, "nothere.02o"},
        {"--nav without a name", obs_header(), "a.02o --nav", 2, "--nav needs a file name"},
        {"unknown option", obs_header(), "-x a.02o", 2, "unknown option -x"},
        {"month 13", bad_epoch, "a.02o", 1, "a.02o:10:"},
        {"letter in a value", bad_value, "a.02o", 1, "a.02o:11:"},
        {"navigation file missing", obs_header(), "--nav none.02n a.02o", 1, "none.02n"},
    };
    for (const Case& c : cases) {
        testing_support::TempDir dir;
        if (!c.obs.empty()) dir.write("a.02o", c.obs);
        const Result r = convert(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
    }
}
