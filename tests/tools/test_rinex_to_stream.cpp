// The converter on tiny hand-made RINEX files: exact lines out; the lines read back by the program's own
// OB1 and OT2 readers (observable codes it recognises, values in the fields it reads them from); and
// clear failures on bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame/log.hpp"
#include "frame/state.hpp"
#include "messages/observation.hpp"
#include "messages/registry.hpp"
#include "messages/station.hpp"
#include "support/test_support.hpp"

namespace testing_support = quelmar::testing_support;
namespace messages = quelmar::messages;
namespace frame = quelmar::frame;

namespace {

std::string hl(std::string content, const std::string& label) {
    content.resize(60, ' ');
    return content + label + "\n";
}

// Header of a GPS observation file of receiver "test" with the types L1 L2 C1 P1 P2 and no leap seconds;
// `drop` leaves out the record of that label, `extra` comes before END OF HEADER.
std::string obs_header(const std::string& types = "     5    L1    L2    C1    P1    P2",
                       const std::string& drop = "", const std::string& extra = "",
                       const std::string& version = "     2.10           OBSERVATION DATA    G (GPS)") {
    const std::vector<std::pair<std::string, std::string>> records = {
        {version, "RINEX VERSION / TYPE"},
        {"test", "MARKER NAME"},
        {"4711                TRIMBLE 4000SSI     7.29", "REC # / TYPE / VERS"},
        {"123                 TRM22020.00+GP", "ANT # / TYPE"},
        {"  4775849.6200   116814.1000  4213018.7100", "APPROX POSITION XYZ"},
        {"        0.0540        0.1000       -0.2000", "ANTENNA: DELTA H/E/N"},
        {"     1     2", "WAVELENGTH FACT L1/2"},
        {types, "# / TYPES OF OBSERV"}};
    std::string h;
    for (const auto& [content, label] : records)
        if (label != drop) h += hl(content, label);
    return h + extra + hl("", "END OF HEADER");
}

// One observation field of 16 columns: F14.3 value (blank for NaN), LLI and signal strength digits.
std::string ov(double v, int lli = 0, int ssi = 0) {
    char b[40];
    if (std::isnan(v))
        std::snprintf(b, sizeof b, "%16s", "");
    else
        std::snprintf(b, sizeof b, "%14.3f%c%c", v, lli ? '0' + lli : ' ', ssi ? '0' + ssi : ' ');
    return b;
}

// The program's own readers of OB1 and OT2 lines, with the state they fill.
struct ProgramReaders {
    testing_support::TempDir dir;
    testing_support::CapturedLog cap{dir.path() / "test.log"};
    frame::TextSink out;
    messages::StationRegistry reg;
    frame::RunState st;
    messages::ObservationState obs;
    messages::StationTables sta;
    int grid = 30; // the downdating interval, s

    // read_ob1_v4b on `line` (30 s grid); its status.
    int ob1(const std::string& line) {
        return messages::read_ob1_v4b(line, obs, reg, st, messages::RoleLists{}, grid, cap.log, out);
    }
    int ot2(const std::string& line, std::int32_t& irec) {
        return messages::read_ot2(line, irec, reg, sta.tamp_otl, sta.tph_otl, sta.tdjmotl, cap.log, out);
    }
};

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

// A BLQ block for `name`: amplitude of component k (0 up, 1 west, 2 south), constituent j is
// 0.001 (k + 1) + 0.0001 j + `base` m; its phase lag (-1 for west) (100 + 10 k + j + 0.5) degrees.
double blq_amp(int k, int j, double base) {
    return 0.001 * (k + 1) + 0.0001 * j + base;
}
double blq_phase(int k, int j) {
    return (k == 1 ? -1 : 1) * (100.0 + 10 * k + j + 0.5);
}
std::string blq_block(const std::string& name, double base = 0.0) {
    std::string s = "  ";
    s += name;
    s += "\n$$ ";
    s += name;
    s += ",  RADI TANG  lon/lat:  1.0  41.0\n";
    char b[32];
    for (int k = 0; k < 3; ++k) {
        for (int j = 0; j < 11; ++j) {
            std::snprintf(b, sizeof b, "%.5f", blq_amp(k, j, base));
            s += ' ';
            s += b + 1; // without the leading zero, as BLQ files write them: " .00100"
        }
        s += "\n";
    }
    for (int k = 0; k < 3; ++k) {
        for (int j = 0; j < 11; ++j) {
            std::snprintf(b, sizeof b, " %6.1f", blq_phase(k, j));
            s += b;
        }
        s += "\n";
    }
    return s + "$$\n";
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

TEST(RinexToStream, OceanLoadingFromBlqAsTheProgramReadsIt) {
    testing_support::TempDir dir;
    dir.write("a.02o", obs_header() + obs_body());
    // The first file lacks the station, the second has it (in lower case), the third has other values:
    // the second one's are written.
    dir.write("1.blq", "$$ header\n$$ END HEADER\n" + blq_block("MADR"));
    dir.write("2.blq", blq_block("EBRE", 0.5) + blq_block("test"));
    dir.write("3.blq", blq_block("TEST", 0.2));
    const Result r = convert(dir, "--blq 1.blq --blq 2.blq --blq 3.blq a.02o");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = testing_support::lines_of(r.out);
    ASSERT_GE(lines.size(), 6u);
    // With the receiver's metadata, in the order of the program's table of codes.
    EXPECT_EQ(lines[0].substr(0, 4), "XYZ ");
    EXPECT_EQ(lines[1].substr(0, 4), "ANT ");
    EXPECT_EQ(lines[2].substr(0, 4), "AND ");
    EXPECT_EQ(lines[4].substr(0, 4), "WLF ");
    EXPECT_EQ(lines[5].substr(0, 4), "LEA ");
    const std::string& ot2 = lines[3];
    ASSERT_EQ(ot2.size(), 31u + 66u * 13u);
    EXPECT_EQ(ot2.substr(0, 57), "OT2     2  1 30  0  0  0.0 TEST   0.1000E-02   0.1100E-02");
    EXPECT_EQ(ot2.substr(31 + 33 * 13, 13), "   0.1005E+03"); // the first phase: up, M2

    ProgramReaders p;
    std::int32_t irec = 0;
    ASSERT_EQ(p.ot2(ot2, irec), 0);
    EXPECT_EQ(p.reg.reclst(irec), "TEST");
    for (int k = 1; k <= 3; ++k)
        for (int j = 1; j <= 11; ++j) {
            EXPECT_NEAR(p.sta.tamp_otl(irec, k, j), blq_amp(k - 1, j - 1, 0.0), 1e-9) << k << " " << j;
            EXPECT_NEAR(p.sta.tph_otl(irec, k, j), blq_phase(k - 1, j - 1), 1e-9) << k << " " << j;
        }
}

constexpr double l1_wavelength = 299792458.0 / 1575.42e6, f2_f1 = 1227.60 / 1575.42,
                 f5_f1 = 1176.45 / 1575.42;

// RINEX 2.11 with L5 (C5 L5), three epochs 30 s apart: G08 has all six types (unless `gap_in_l5`, at the
// second epoch), G05 never has L5.
std::string l5_file(bool gap_in_l5) {
    const std::string h = obs_header("     6    L1    L2    L5    C1    P2    C5", "", "",
                                     "     2.11           OBSERVATION DATA    G (GPS)");
    auto sat = [](double d, bool with_l5) {
        const double nan = std::nan("");
        // A range change of d L1 cycles, the same on every signal.
        const double m = d * l1_wavelength;
        return ov(131301866.321 + d, 0, 6) + ov(102313154.462 + d * f2_f1, 0, 5) +
               ov(with_l5 ? 98050086.086 + d * f5_f1 : nan, 0, 4) + ov(24985913.625 + m, 0, 5) +
               ov(24985917.497 + m, 0, 5) + "\n" + ov(24985909.884 + m, 1, 4) + "\n";
    };
    std::string body;
    for (int k = 0; k < 3; ++k) {
        char e[64];
        std::snprintf(e, sizeof e, " 20  6 25  0  0 %2d.0000000  0  2G08G05\n", 30 * k % 60 + 0);
        if (k == 2) std::snprintf(e, sizeof e, " 20  6 25  0  1  0.0000000  0  2G08G05\n");
        body += e + sat(100.0 * k, !(gap_in_l5 && k == 1)) + sat(50.0 * k, false);
    }
    return h + body;
}

TEST(RinexToStream, SixObservablesForGpsWithL5AsTheProgramSelectsThem) {
    struct Case {
        const char* what;
        bool gap;
        const char* args;
        bool l5_slot;          // the WLF line has a factor for band 5
        std::vector<int> nobs; // per OB1 line, in order (G05, G08 at each epoch)
    };
    const Case cases[] = {
        {"L5 on G08", false, "a.20o", true, {4, 6, 4, 6, 4, 6}},
        {"--no-l5", false, "--no-l5 a.20o", false, {4, 4, 4, 4, 4, 4}},
        {"L5 missing at the second epoch", true, "a.20o", true, {4, 6, 4, 4, 4, 6}},
    };
    for (const Case& c : cases) {
        testing_support::TempDir dir;
        dir.write("a.20o", l5_file(c.gap));
        const Result r = convert(dir, c.args);
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        std::vector<std::string> ob1;
        for (const auto& l : testing_support::lines_of(r.out)) {
            if (l.rfind("WLF ", 0) == 0) {
                EXPECT_EQ(l.substr(32), c.l5_slot ? "     1     2     0     0     1     0     0     0     0"
                                                  : "     1     2     0     0     0     0     0     0     0")
                    << c.what;
            }
            if (l.rfind("OB1 ", 0) == 0) ob1.push_back(l);
        }
        ASSERT_EQ(ob1.size(), c.nobs.size()) << c.what;
        ProgramReaders p;
        for (std::size_t i = 0; i < ob1.size(); ++i) {
            SCOPED_TRACE(std::string(c.what) + ": " + ob1[i]);
            ASSERT_EQ(p.ob1(ob1[i]), 0);
            const auto& ob = p.obs.ob;
            const int irec = ob.irec;
            ASSERT_EQ(ob.nobs, c.nobs[i]);
            EXPECT_EQ(ob.ksat, "G");
            EXPECT_EQ(ob.iprn, i % 2 == 0 ? 5 : 8);
            // The codes of the program's dual-frequency or "next_gps" selection: L1 carrier and C code,
            // L2 carrier and P code, and for six observables the L5 carrier and C code; no E5b code, which
            // would turn the selection to Galileo.
            EXPECT_GT(p.obs.icarrier_l_(1, irec), 0);
            EXPECT_GT(p.obs.icode_c_(1, irec), 0);
            EXPECT_GT(p.obs.icarrier_l_(2, irec), 0);
            EXPECT_GT(p.obs.icode_p_(2, irec), 0);
            EXPECT_EQ(p.obs.icode_c_(7, irec), 0);
            EXPECT_EQ(p.obs.icode_c_(5, irec) > 0, ob.nobs == 6);
            EXPECT_EQ(p.obs.icarrier_l_(5, irec) > 0, ob.nobs == 6);
            if (ob.nobs == 6) {
                EXPECT_NEAR(ob.xdata_(p.obs.icarrier_l_(5, irec)), 98050086.086 + 100.0 * (i / 2) * f5_f1,
                            5e-4);
                EXPECT_NEAR(ob.xdata_(p.obs.icode_c_(5, irec)),
                            24985909.884 + 100.0 * (i / 2) * l1_wavelength, 5e-4);
                EXPECT_EQ(ob.ias_(p.obs.icode_c_(5, irec)), 1);
                EXPECT_EQ(ob.isn_(p.obs.icode_c_(5, irec)), 4);
            }
            // Arcs: a satellite whose third frequency comes or goes starts a new arc.
            const bool expect_new_arc = i < 2 || (c.gap && (i == 3 || i == 5));
            EXPECT_EQ(ob.cycleslip_, expect_new_arc);
            EXPECT_EQ(ob.narch1, c.gap && ob.iprn == 8 ? static_cast<int>(i / 2) + 1 : 1);
        }
    }
}

TEST(RinexToStream, GalileoStreamFromRinex3) {
    testing_support::TempDir dir;
    const std::string h =
        hl("     3.04           OBSERVATION DATA    M (MIXED)", "RINEX VERSION / TYPE") +
        hl("gal1", "MARKER NAME") + hl("SN1                 LEIAR25.R4      LEIT", "ANT # / TYPE") +
        hl("  4775849.6200   116814.1000  4213018.7100", "APPROX POSITION XYZ") +
        hl("        0.0540        0.1000       -0.2000", "ANTENNA: DELTA H/E/N") +
        hl("G    4 C1C L1C C2W L2W", "SYS / # / OBS TYPES") +
        hl("E    6 C1C L1C C5Q L5Q C7Q L7Q", "SYS / # / OBS TYPES") + hl("", "END OF HEADER");
    const double nan = std::nan("");
    auto e = [&](int prn, double c7) {
        char b[8];
        std::snprintf(b, sizeof b, "E%02d", prn);
        return b + ov(27616185.992, 0, 6) + ov(145124050.106, 0, 6) + ov(27616184.819, 0, 5) +
               ov(108371872.760, 0, 5) + ov(c7, 0, 6) + ov(111198966.557, 0, 6) + "\n";
    };
    const std::string body = "> 2020 06 25 00 00  0.0000000  0  4\n" + std::string("G05") + ov(2e7) +
                             ov(1e8) + ov(2e7) + ov(8e7) + "\n" + e(11, 27616184.997) + e(12, nan) +
                             e(36, 27616184.997);
    dir.write("g.rnx", h + body);
    dir.write("a.02n", nav_file());
    const Result r = convert(dir, "--system E --nav a.02n g.rnx");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("not used for a Galileo stream"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("g.rnx: satellites left out, numbers above 35: 36"), std::string::npos) << r.err;
    const std::vector<std::string> lines = testing_support::lines_of(r.out);
    // No EPH lines (no Galileo broadcast message in the stream); E12 lacks its E5b code.
    ASSERT_EQ(lines.size(), 6u) << r.out;
    EXPECT_EQ(lines[3],
              "WLF    20  6 25  0  0  0.0 GAL1      1     0     0     0     1     0     1     0     0");
    EXPECT_EQ(
        lines[5].rfind("OB1 11 20  6 25  0  0  0.0000000 GAL1 E 0 0.000000000     6    L1    L7    L5    C1"
                       "    C7    C5 145124050.10606",
                       0),
        0u)
        << lines[5];
    ProgramReaders p;
    ASSERT_EQ(p.ob1(lines[5]), 0);
    const int irec = p.obs.ob.irec;
    EXPECT_EQ(p.obs.ob.ksat, "E");
    // The codes of the program's "galileo" selection: E1 C code and carrier, E5b and E5a C codes and
    // carriers.
    EXPECT_GT(p.obs.icode_c_(1, irec), 0);
    EXPECT_EQ(p.obs.icode_p_(1, irec), 0);
    EXPECT_NEAR(p.obs.ob.xdata_(p.obs.icode_c_(7, irec)), 27616184.997, 5e-4);
    EXPECT_NEAR(p.obs.ob.xdata_(p.obs.icarrier_l_(7, irec)), 111198966.557, 5e-4);
    EXPECT_NEAR(p.obs.ob.xdata_(p.obs.icode_c_(5, irec)), 27616184.819, 5e-4);
    EXPECT_NEAR(p.obs.ob.xdata_(p.obs.icarrier_l_(5, irec)), 108371872.760, 5e-4);
}

// GPS observations in a file kept in UTC (GLONASS time): epochs across the end of 2016, when GPS - UTC went
// from 17 to 18 s. With `slip_record`, a cycle-slip record (flag 6) for G07 follows the second epoch.
std::string utc_file(bool slip_record) {
    const std::string h =
        obs_header("     5    L1    L2    C1    P1    P2", "",
                   hl("  2016    12    31    23    59   30.0000000     GLO", "TIME OF FIRST OBS"),
                   "     2.11           OBSERVATION DATA    M (MIXED)");
    const std::string g07 =
        " -13284821.249 8 -10192060.755 4  21372448.483    21372448.000    21372454.252  \n";
    std::string s =
        h + " 16 12 31 23 59 30.0000000  0  1G07\n" + g07 + " 16 12 31 23 59 59.0000000  0  1G07\n" + g07;
    if (slip_record) s += " 16 12 31 23 59 59.0000000  6  1G07\n       1.000           0.000\n";
    return s + " 17  1  1  0  0 29.0000000  0  1G07\n" + g07;
}

TEST(RinexToStream, UtcEpochsInGpsTimeAndCycleSlipRecords) {
    for (const bool slip_record : {false, true}) {
        SCOPED_TRACE(slip_record ? "with the cycle-slip record" : "without it");
        testing_support::TempDir dir;
        dir.write("a.16o", utc_file(slip_record));
        const Result r = convert(dir, "a.16o");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> lines = testing_support::lines_of(r.out);
        ASSERT_EQ(lines.size(), 8u) << r.out;
        EXPECT_EQ(lines[0].substr(0, 31), "XYZ    16 12 31 23 59 47.0 TEST");
        EXPECT_EQ(lines[4], "LEA    16 12 31 23 59 47.0     17");
        EXPECT_EQ(lines[5].substr(0, 32), "OB1  7 16 12 31 23 59 47.0000000");
        EXPECT_EQ(lines[6].substr(0, 32), "OB1  7 17  1  1  0  0 16.0000000");
        EXPECT_EQ(lines[7].substr(0, 32), "OB1  7 17  1  1  0  0 47.0000000");
        ProgramReaders p;
        p.grid = 1; // the shifted epochs are off a 30 s grid
        ASSERT_EQ(p.ob1(lines[6]), 0);
        ASSERT_EQ(p.ob1(lines[7]), 0);
        // The gap of the last epoch is 31 s (a leap second inside it); the slip record starts a new arc.
        EXPECT_NEAR(p.obs.ob.dtsec_ob1, 31.0, 1e-9);
        EXPECT_EQ(p.obs.ob.cycleslip_, slip_record);
        EXPECT_EQ(p.obs.ob.narch1, slip_record ? 2 : 1);
    }
}

TEST(RinexToStream, BadInputFailsWithFileAndLine) {
    struct Case {
        const char* what;
        std::string obs;
        std::string blq;
        const char* args;
        int status;
        const char* message;
    };
    const std::string bad_epoch = obs_header() + " 02 13 30  0  0  0.0000000  0  1G07\n";
    const std::string bad_value = obs_header() + " 02  1 30  0  0  0.0000000  0  1G07\n 1x3.5\n";
    const std::string g07 =
        " -13284821.249 8 -10192060.755 4  21372448.483    21372448.000    21372454.252  \n";
    const std::string truncated = obs_header() + " 02  1 30  0  0  0.0000000  0  2G07G01\n" + g07;
    const std::string twice = obs_header() + " 02  1 30  0  0  0.0000000  0  1G07\n" + g07 +
                              " 02  1 30  0  0  0.0000000  0  1G07\n" + g07;
    const std::string bdt =
        obs_header("     5    L1    L2    C1    P1    P2", "",
                   hl("  2002     1    30     0     0    0.0000000     BDT", "TIME OF FIRST OBS")) +
        obs_body();
    const std::string own_factors = obs_header("     5    L1    L2    C1    P1    P2", "",
                                               hl("     2     2     2   G05   G12", "WAVELENGTH FACT L1/2")) +
                                    obs_body();
    const std::string seven = "a.02o a.02o a.02o a.02o a.02o a.02o a.02o";
    const Case cases[] = {
        {"no observation file", "", "", "", 2, "usage: rinex_to_stream"},
        {"missing file", "", "", "nothere.02o", 1, "nothere.02o"},
        {"--nav without a name", obs_header(), "", "a.02o --nav", 2, "--nav needs a file name"},
        {"--blq without a name", obs_header(), "", "a.02o --blq", 2, "--blq needs a file name"},
        {"unknown option", obs_header(), "", "-x a.02o", 2, "unknown option -x"},
        {"unknown system", obs_header(), "", "--system R a.02o", 2,
         "--system takes G (GPS) or E (Galileo), not R"},
        {"seven receivers", obs_header(), "", seven.c_str(), 2,
         "7 observation files: the program takes at most 6 receivers"},
        {"month 13", bad_epoch, "", "a.02o", 1, "a.02o:10: cannot read the epoch record"},
        {"letter in a value", bad_value, "", "a.02o", 1, "a.02o:11: cannot read the observation"},
        {"truncated epoch", truncated, "", "a.02o", 1, "a.02o:11: file truncated"},
        {"unknown observation type", obs_header("     5    L1    L2    C1    Q1    P2") + obs_body(), "",
         "a.02o", 1, "a.02o:8: unknown observation type \"Q1\""},
        {"missing header record",
         obs_header("     5    L1    L2    C1    P1    P2", "ANT # / TYPE") + obs_body(), "", "a.02o", 1,
         "a.02o:8: missing header record \"ANT # / TYPE\""},
        {"epochs out of order", twice, "", "a.02o", 1,
         "a.02o:12: epoch out of order: not later than the epoch of line 10"},
        {"time system BeiDou", bdt, "", "a.02o", 1, "a.02o:9: time system BDT not supported"},
        {"navigation file missing", obs_header(), "", "--nav none.02n a.02o", 1, "none.02n"},
        {"BLQ file missing", obs_header(), "", "--blq none.blq a.02o", 1, "rinex_to_stream: none.blq:0: "},
        {"damaged BLQ", obs_header() + obs_body(), "  TEST\n .1 .1\n", "--blq b.blq a.02o", 1,
         "rinex_to_stream: b.blq:2: station TEST: up amplitudes: 2 values instead of 11"},
        // Notes: the conversion goes on.
        {"BLQ without the station", obs_header() + obs_body(), blq_block("MADR"), "--blq b.blq a.02o", 0,
         "note: no ocean-loading coefficients for TEST in the --blq files: no OT2 line"},
        {"own wavelength factors", own_factors, "", "a.02o", 0,
         "satellites with their own wavelength factors: G05 G12"},
    };
    for (const Case& c : cases) {
        testing_support::TempDir dir;
        if (!c.obs.empty()) dir.write("a.02o", c.obs);
        if (!c.blq.empty()) dir.write("b.blq", c.blq);
        const Result r = convert(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
        if (c.status == 1) {
            EXPECT_EQ(r.err.rfind("rinex_to_stream: ", 0), 0u) << c.what << ": " << r.err;
        }
    }
}
