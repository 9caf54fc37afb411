// The RINEX readers of the tools (tools/lib/rinex.hpp) on small observation and navigation texts written
// by the tests: continuation lines, event records, blank values, indicators, exponents, short lines, and
// each error with the file and line it names.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../../tools/lib/rinex.hpp"
#include "support/test_support.hpp"

using namespace quelmar::tools::rinex;
using quelmar::testing_support::TempDir;

namespace {

// A header line: contents padded to 60 columns, then the label.
std::string hl(std::string content, const std::string& label) {
    content.resize(60, ' ');
    return content + label;
}

// One observation field of 16 columns: value (F14.3, blank when `v` is empty), LLI and strength.
std::string ov(const char* v, char lli = ' ', char ssi = ' ') {
    char buf[32];
    if (*v == '\0')
        std::snprintf(buf, sizeof buf, "%14s", "");
    else
        std::snprintf(buf, sizeof buf, "%14.3f", std::atof(v));
    return std::string(buf) + lli + ssi;
}

std::vector<std::string> v2_header(const std::vector<std::string>& types_lines) {
    std::vector<std::string> h = {
        hl("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE"),
        hl("abcd", "MARKER NAME"),
        hl("4711                TRIMBLE NETRS       1.1", "REC # / TYPE / VERS"),
        hl("SN123               LEIAT504        LEIS", "ANT # / TYPE"),
        hl("  4775849.6200   116814.1000  4213018.7100", "APPROX POSITION XYZ"),
        hl("        0.0540        0.1000       -0.2000", "ANTENNA: DELTA H/E/N"),
        hl("     1     1", "WAVELENGTH FACT L1/2"),
        hl("     2     0     2   G05   G12", "WAVELENGTH FACT L1/2"),
        hl("    14", "LEAP SECONDS"),
        hl("    30.000", "INTERVAL"),
        hl("  2008     5    27     0     0    0.0000000     GPS", "TIME OF FIRST OBS"),
    };
    h.insert(h.end(), types_lines.begin(), types_lines.end());
    h.push_back(hl("", "END OF HEADER"));
    return h;
}

// Ten types: nine on the first line, one on the continuation line.
const std::vector<std::string> v2_types = {
    hl("    10    L1    L2    C1    P1    P2    D1    D2    S1    S2", "# / TYPES OF OBSERV"),
    hl("          C2", "# / TYPES OF OBSERV"),
};

// The two data lines of one satellite with ten types: the first full, the second holding 5 values of
// which some blank.
std::vector<std::string> v2_sat_lines(double base) {
    char b[32];
    std::snprintf(b, sizeof b, "%.3f", base);
    return {ov(b, '1', '7') + ov("-12.5", ' ', '6') + ov("20000000.125") + ov("") +
                ov("20000001.5", ' ', '8'),
            ov("100.25") + ov("") + ov("45") + ov("") + ov("20000002")};
}

std::string v2_epoch(int minute, int flag, const std::vector<std::string>& sats, const char* clock = "") {
    char b[40];
    std::snprintf(b, sizeof b, " 08  5 27  0 %2d  0.0000000  %d%3zu", minute, flag, sats.size());
    std::string s = b;
    std::string more;
    for (std::size_t i = 0; i < sats.size(); ++i) {
        if (i == 12) {
            more = std::string(32, ' ');
        }
        (i < 12 ? s : more) += sats[i];
    }
    if (*clock != '\0') {
        s.resize(68, ' ');
        s += clock;
    }
    return more.empty() ? s : s + "\n" + more;
}

TEST(RinexObs, Version2HeaderAndEpochsWithContinuations) {
    TempDir dir;
    std::vector<std::string> lines = v2_header(v2_types);
    std::vector<std::string> sats;
    for (int i = 1; i <= 14; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "%c%2d", i == 3 ? ' ' : 'G', i); // a blank letter is GPS
        sats.push_back(id);
    }
    lines.push_back(v2_epoch(0, 0, sats, "-0.000123456"));
    for (int i = 1; i <= 14; ++i)
        for (const auto& l : v2_sat_lines(1000.0 * i)) lines.push_back(l);
    // An event with two header lines inside the data, then a new-site event with no record.
    lines.push_back(std::string(28, ' ') + "4  2");
    lines.push_back(hl("a comment", "COMMENT"));
    lines.push_back(hl("  2.0   3.0  4.0", "ANTENNA: DELTA H/E/N"));
    lines.push_back("                            3  0");
    // A power failure epoch, then the cycle-slip records of the first epoch.
    lines.push_back(v2_epoch(1, 1, {"G07"}));
    for (const auto& l : v2_sat_lines(7.0)) lines.push_back(l);
    lines.push_back(v2_epoch(0, 6, {"G02"}));
    for (const auto& l : v2_sat_lines(2.0)) lines.push_back(l);
    lines.push_back(v2_epoch(2, 0, {"G08"}));
    lines.push_back(v2_sat_lines(8.0)[0]);
    lines.push_back("");
    const std::string path = dir.write_lines("a.08o", lines);

    ObsReader r;
    r.open(path);
    const ObsHeader& h = r.header();
    EXPECT_EQ(h.marker, "ABCD");
    EXPECT_EQ(h.receiver_type, "TRIMBLE NETRS");
    EXPECT_EQ(h.antenna_serial, "SN123");
    EXPECT_EQ(h.antenna_type, "LEIAT504        LEIS");
    EXPECT_EQ(h.antenna_model, "LEIAT504");
    EXPECT_EQ(h.radome, "LEIS");
    EXPECT_DOUBLE_EQ(h.approx_xyz[1], 116814.1);
    EXPECT_DOUBLE_EQ(h.delta_hen[2], -0.2);
    EXPECT_EQ(h.wavelength_factor[0], 1);
    ASSERT_EQ(h.wavelength_sats.count("G12"), 1u);
    EXPECT_EQ(h.wavelength_sats.at("G12")[0], 2);
    EXPECT_EQ(h.wavelength_sats.at("G12")[1], 0);
    EXPECT_TRUE(h.has_leap_seconds);
    EXPECT_EQ(h.leap_seconds, 14);
    EXPECT_EQ(h.interval, 30.0);
    EXPECT_EQ(h.time_system, "GPS");
    ASSERT_NE(h.types_for('G'), nullptr);
    ASSERT_EQ(h.types_for('G')->size(), 10u);
    EXPECT_EQ(h.types_for('G')->at(9), "C2");

    ObsEpoch e;
    ASSERT_TRUE(r.next(e));
    EXPECT_EQ(e.flag, 0);
    EXPECT_EQ(e.time.year, 2008);
    EXPECT_TRUE(e.has_clock);
    EXPECT_DOUBLE_EQ(e.clock_offset, -0.000123456);
    ASSERT_EQ(e.sats.size(), 14u);
    EXPECT_EQ(e.sats[2].system, 'G');
    EXPECT_EQ(e.sats[2].prn, 3);
    EXPECT_EQ(e.sats[13].prn, 14); // from the continuation of the satellite list
    const auto& v = e.sats[13].values;
    ASSERT_EQ(v.size(), 10u);
    EXPECT_DOUBLE_EQ(v[0].value, 14000.0);
    EXPECT_EQ(v[0].lli, 1);
    EXPECT_EQ(v[0].ssi, 7);
    EXPECT_DOUBLE_EQ(v[1].value, -12.5);
    EXPECT_EQ(v[1].lli, 0);
    EXPECT_EQ(v[1].ssi, 6);
    EXPECT_FALSE(v[3].present);
    EXPECT_TRUE(v[4].present);
    EXPECT_EQ(v[4].ssi, 8);
    EXPECT_DOUBLE_EQ(v[5].value, 100.25); // continuation line of the values
    EXPECT_FALSE(v[6].present);
    EXPECT_DOUBLE_EQ(v[9].value, 20000002.0);

    ASSERT_TRUE(r.next(e)); // the events were passed over
    EXPECT_EQ(e.flag, 1);
    EXPECT_EQ(e.time.minute, 1);
    EXPECT_FALSE(e.has_clock);
    ASSERT_TRUE(r.next(e)); // cycle-slip records: returned as such, not subject to the time order
    EXPECT_EQ(e.flag, 6);
    EXPECT_EQ(e.sats.at(0).prn, 2);
    ASSERT_TRUE(r.next(e)); // an empty continuation line: its values are blank
    EXPECT_EQ(e.time.minute, 2);
    EXPECT_FALSE(e.sats.at(0).values[5].present);
    EXPECT_FALSE(r.next(e));
}

// A version 3 file: two systems, a type list with a continuation line, an event, cycle-slip records.
std::vector<std::string> v3_lines() {
    return {
        hl("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE"),
        hl("esbc00dnk", "MARKER NAME"),
        hl("1                   SEPT POLARX5", "REC # / TYPE / VERS"),
        hl("CR52                ASH701945E_M", "ANT # / TYPE"),
        hl("  3582105.2910   532589.7313  5232754.8054", "APPROX POSITION XYZ"),
        hl("        0.2160        0.0000        0.0000", "ANTENNA: DELTA H/E/N"),
        hl("G   15 C1C C1W C2L C2W C5Q D1C D2L D2W D5Q L1C L2L L2W L5Q", "SYS / # / OBS TYPES"),
        hl("       S1C S1W", "SYS / # / OBS TYPES"),
        hl("E    2 C1C L1C", "SYS / # / OBS TYPES"),
        hl("", "END OF HEADER"),
        "> 2020 06 25 00 00  0.0000000  0  2      0.000000000012",
        "G05" + ov("22000000.5", ' ', '7') + ov("") + ov("3", '2', '1'),
        "E11" + ov("23000000.25") + ov("-5", '1', '9'),
        "> 2020 06 25 00 00 30.0000000  2  1",
        hl("moving", "COMMENT"),
        "> 2020 06 25 00 00 00.0000000  6  1",
        "E11" + ov("1") + ov("2"),
        "> 2020 06 25 00 01  0.0000000  0  1",
        "G07" + ov("1") + ov("2") + ov("3") + ov("4") + ov("5") + ov("6") + ov("7") + ov("8") + ov("9") +
            ov("10") + ov("11") + ov("12") + ov("13") + ov("14") + ov("15", '4', '5'),
    };
}

TEST(RinexObs, Version3EpochsSystemsEventsAndSlips) {
    TempDir dir;
    const std::vector<std::string> lines = v3_lines();
    ObsReader r;
    r.open(dir.write_lines("b.rnx", lines));
    EXPECT_EQ(r.header().marker, "ESBC");
    EXPECT_EQ(r.header().radome, "NONE");
    ASSERT_NE(r.header().types_for('G'), nullptr);
    EXPECT_EQ(r.header().types_for('G')->size(), 15u);
    EXPECT_EQ(r.header().types_for('G')->back(), "S1W");
    EXPECT_EQ(r.header().types_for('R'), nullptr);

    ObsEpoch e;
    ASSERT_TRUE(r.next(e));
    EXPECT_DOUBLE_EQ(e.clock_offset, 0.000000000012);
    ASSERT_EQ(e.sats.size(), 2u);
    EXPECT_EQ(e.sats[0].values.size(), 15u);
    EXPECT_DOUBLE_EQ(e.sats[0].values[0].value, 22000000.5);
    EXPECT_FALSE(e.sats[0].values[1].present);
    EXPECT_EQ(e.sats[0].values[2].lli, 2);
    EXPECT_FALSE(e.sats[0].values[14].present); // past the end of the line
    EXPECT_EQ(e.sats[1].system, 'E');
    EXPECT_EQ(e.sats[1].values.size(), 2u);
    EXPECT_EQ(e.sats[1].values[1].ssi, 9);
    ASSERT_TRUE(r.next(e));
    EXPECT_EQ(e.flag, 6);
    ASSERT_TRUE(r.next(e));
    EXPECT_EQ(e.time.minute, 1);
    EXPECT_DOUBLE_EQ(e.sats[0].values[14].value, 15.0);
    EXPECT_EQ(e.sats[0].values[14].lli, 4);
    EXPECT_FALSE(r.next(e));
}

// A GPS navigation record of version 2 with D exponents and a short last line.
std::vector<std::string> v2_nav(int prn, const char* last = "    0.253038000000D+06 0.400000000000D+01") {
    char first[96];
    std::snprintf(first, sizeof first, "%2d 02  1 30  2  0  0.0 0.213539693505D-03-0.159161572810D-11 0.0",
                  prn);
    return {first,
            "    0.101000000000D+03-0.142406250000D+03 0.437161066656D-08-0.313042791004D+01",
            "   -0.744871795178D-05 0.531352218241D-02 0.339187681675D-05 0.515369856644D+04",
            "    0.259200000000D+06-0.186264514923D-08-0.673800683646D+00 0.484287738800D-07",
            "    0.967630470173D+00 0.317500000000D+03-0.171545830500D+01-0.822212819893D-08",
            "   -0.432518016112D-09 0.100000000000D+01 0.115100000000D+04 0.000000000000D+00",
            "    0.400000000000D+01 0.000000000000D+00-0.325962901115D-08 0.357000000000D+03",
            last};
}

TEST(RinexNav, Version2DExponentsAndShortLastLine) {
    TempDir dir;
    std::vector<std::string> lines = {hl("     2              NAVIGATION DATA", "RINEX VERSION / TYPE"),
                                      hl("    13", "LEAP SECONDS"), hl("", "END OF HEADER")};
    for (int prn : {1, 12})
        for (const auto& l : v2_nav(prn)) lines.push_back(l);
    NavReader r;
    r.open(dir.write_lines("n.02n", lines));
    EXPECT_EQ(r.header().leap_seconds, 13);
    GpsNavRecord g;
    ASSERT_TRUE(r.next(g));
    EXPECT_EQ(g.prn, 1);
    EXPECT_EQ(g.toc.year, 2002);
    EXPECT_EQ(g.toc.hour, 2);
    EXPECT_DOUBLE_EQ(g.clock[0], 0.213539693505e-03);
    EXPECT_DOUBLE_EQ(g.clock[1], -0.159161572810e-11);
    EXPECT_EQ(g.clock[2], 0.0);
    EXPECT_DOUBLE_EQ(g.orbit[0][1], -142.40625);
    EXPECT_DOUBLE_EQ(g.orbit[1][3], 0.515369856644e+04);
    EXPECT_DOUBLE_EQ(g.orbit[5][3], 357.0);
    EXPECT_DOUBLE_EQ(g.orbit[6][1], 4.0);
    EXPECT_TRUE(g.present[6][1]);
    EXPECT_FALSE(g.present[6][2]);
    EXPECT_FALSE(g.present[6][3]);
    ASSERT_TRUE(r.next(g));
    EXPECT_EQ(g.prn, 12);
    EXPECT_EQ(g.line, 12);
    EXPECT_FALSE(r.next(g));
}

TEST(RinexNav, Version3MixedPassesOverOtherSystems) {
    TempDir dir;
    std::vector<std::string> lines = {
        hl("     3.04           N: GNSS NAV DATA    M: MIXED", "RINEX VERSION / TYPE"),
        hl("GPSA   4.6566e-09  1.4901e-08 -5.9605e-08 -1.1921E-07", "IONOSPHERIC CORR"),
        hl("", "END OF HEADER"),
        "R05 2020 06 25 00 15 00 1.0e-05 0.0 0.0",
        "     1.0e+00 2.0e+00 3.0e+00 4.0e+00",
        "     1.0e+00 2.0e+00 3.0e+00 4.0e+00",
        "     1.0e+00 2.0e+00 3.0e+00 4.0e+00",
        "G01 2020 06 25 04 00 00 1.604342833161e-05 7.048583938740e-12 0.000000000000e+00",
        "     5.800000000000e+01-3.968750000000e+01 4.304822170265e-09 6.342094507864e-01",
        "    -2.177432179451e-06 1.000394229777e-02 1.937150955200e-06 5.153707128525e+03",
        "     3.600000000000e+05-1.508742570877e-07 2.572838528869e+00 1.359730958939e-07",
        "     9.806518601091e-01 3.539687500000e+02 7.941703015008e-01-8.384634967987e-09",
        "    -5.714523747137e-11 1.000000000000e+00 2.111000000000e+03 0.000000000000e+00",
        "     2.000000000000e+00 0.000000000000e+00 5.122274160385e-09 5.800000000000e+01",
        "     3.561060000000e+05 4.000000000000e+00",
        "S23 2020 06 25 00 15 00 1.0e-05 0.0 0.0",
        "     1.0e+00 2.0e+00 3.0e+00 4.0e+00",
    };
    NavReader r;
    r.open(dir.write_lines("m.rnx", lines));
    GpsNavRecord g;
    ASSERT_TRUE(r.next(g));
    EXPECT_EQ(g.prn, 1);
    EXPECT_EQ(g.line, 8);
    EXPECT_EQ(g.toc.hour, 4);
    EXPECT_DOUBLE_EQ(g.orbit[0][1], -39.6875);
    EXPECT_DOUBLE_EQ(g.orbit[6][1], 4.0);
    EXPECT_FALSE(g.present[6][2]);
    EXPECT_FALSE(r.next(g));
}

// Each error names the file and the line.
struct ErrorCase {
    const char* name;
    std::vector<std::string> lines;
    bool nav;
    long line;          // expected line in the message
    const char* reason; // expected part of the message
};

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(RinexErrors, NameTheFileAndTheLine) {
    const auto h = v2_header(v2_types); // 14 lines
    const auto sat = v2_sat_lines(5.0);
    auto no_marker = h;
    no_marker.erase(no_marker.begin() + 1);
    auto bad_type = v2_header({hl("     2    L1    Q1", "# / TYPES OF OBSERV")});
    auto short_types = v2_header(
        {hl("    10    L1    L2    C1    P1    P2    D1    D2    S1    S2", "# / TYPES OF OBSERV")});
    auto nav = v2_nav(3);
    const ErrorCase cases[] = {
        {"truncated epoch", joined(h, {v2_epoch(0, 0, {"G05", "G06"}), sat[0], sat[1], sat[0]}), false, 18,
         "file truncated"},
        {"truncated header", {h[0], h[1], h[2]}, false, 3, "file truncated"},
        {"missing marker name", no_marker, false, 13, "missing header record \"MARKER NAME\""},
        {"missing types", v2_header({}), false, 12, "missing header record \"# / TYPES OF OBSERV\""},
        {"types list cut short", short_types, false, 13, "observation types missing"},
        {"unknown type", bad_type, false, 12, "unknown observation type \"Q1\""},
        {"epochs out of order",
         joined(h, {v2_epoch(2, 0, {"G05"}), sat[0], sat[1], v2_epoch(1, 0, {"G05"}), sat[0], sat[1]}), false,
         18, "epoch out of order: not later than the epoch of line 15"},
        {"same epoch twice",
         joined(h, {v2_epoch(2, 0, {"G05"}), sat[0], sat[1], v2_epoch(2, 0, {"G05"}), sat[0], sat[1]}), false,
         18, "epoch out of order"},
        {"letter in a value", joined(h, {v2_epoch(0, 0, {"G05"}), "  2000x000.125", sat[1]}), false, 16,
         "cannot read the observation"},
        {"bad indicator", joined(h, {v2_epoch(0, 0, {"G05"}), "  20000000.125x", sat[1]}), false, 16,
         "loss-of-lock"},
        {"system without types",
         {hl("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE"), hl("X", "MARKER NAME"),
          hl("", "ANT # / TYPE"), hl("", "APPROX POSITION XYZ"), hl("", "ANTENNA: DELTA H/E/N"),
          hl("G    1 C1C", "SYS / # / OBS TYPES"), hl("", "END OF HEADER"),
          "> 2020 06 25 00 00  0.0000000  0  1", "R05  1.0"},
         false,
         9,
         "no observation types for system R"},
        {"not a header", {"garbage"}, false, 1, "missing header record \"RINEX VERSION / TYPE\""},
        {"nav truncated",
         joined({hl("     2              NAVIGATION DATA", "RINEX VERSION / TYPE"), hl("", "END OF HEADER")},
                {nav[0], nav[1], nav[2], nav[3]}),
         true, 6, "file truncated: end of file inside the record of line 3"},
        {"nav bad exponent",
         joined({hl("     2              NAVIGATION DATA", "RINEX VERSION / TYPE"), hl("", "END OF HEADER")},
                {nav[0], nav[1], "    0.1Q+03", nav[3], nav[4], nav[5], nav[6], nav[7]}),
         true, 5, "cannot read the broadcast orbit value"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.write_lines("e.txt", c.lines);
        std::string msg;
        try {
            if (c.nav) {
                NavReader r;
                r.open(path);
                GpsNavRecord g;
                while (r.next(g)) {
                }
            } else {
                ObsReader r;
                r.open(path);
                ObsEpoch e;
                while (r.next(e)) {
                }
            }
        } catch (const Error& err) {
            msg = err.what();
            EXPECT_EQ(err.line(), c.line);
        }
        EXPECT_NE(msg.find(path + ":" + std::to_string(c.line) + ": "), std::string::npos) << msg;
        EXPECT_NE(msg.find(c.reason), std::string::npos) << msg;
    }
}

TEST(RinexErrors, MissingFileAndGzipWithoutZlib) {
    TempDir dir;
    ObsReader r;
    try {
        r.open(dir.path("absent.rnx"));
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot open"), std::string::npos) << e.what();
    }
#ifndef QUELMAR_HAVE_ZLIB
    // These tests are built without zlib: a compressed file is refused with a clear message.
    dir.write_lines("c.rnx", {hl("     2.11           OBSERVATION DATA    G", "RINEX VERSION / TYPE")});
    if (std::system(("gzip -f '" + dir.path("c.rnx") + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "gzip is not available";
    try {
        r.open(dir.path("c.rnx.gz"));
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("gzip-compressed"), std::string::npos) << e.what();
    }
#endif
}

// Damaged files (cut anywhere, bytes replaced) give an Error or read to the end, never anything else.
TEST(RinexErrors, DamagedFilesNeverCrash) {
    std::vector<std::string> v2 = v2_header(v2_types);
    v2.push_back(v2_epoch(0, 0, {"G05", "G06"}, "-0.000123456"));
    for (int k = 0; k < 2; ++k)
        for (const auto& l : v2_sat_lines(5.0 + k)) v2.push_back(l);
    std::vector<std::string> nav = {hl("     2              NAVIGATION DATA", "RINEX VERSION / TYPE"),
                                    hl("", "END OF HEADER")};
    for (const auto& l : v2_nav(4)) nav.push_back(l);
    const std::vector<std::string> texts[] = {v2, v3_lines(), nav};
    quelmar::testing_support::Rng rng(20260101);
    TempDir dir;
    int errors = 0, runs = 0;
    for (int which = 0; which < 3; ++which) {
        std::string text;
        for (const auto& l : texts[which]) (text += l) += '\n';
        for (int trial = 0; trial < 300; ++trial) {
            std::string t = text;
            if (trial % 2 == 0) {
                t.resize(static_cast<std::size_t>(rng.range(0, static_cast<std::int64_t>(t.size()))));
            } else {
                const char junk[] = " \n9-.DEx>G";
                for (int m = 0; m < 3; ++m)
                    t[static_cast<std::size_t>(rng.range(0, static_cast<std::int64_t>(t.size()) - 1))] =
                        junk[rng.range(0, 10)];
            }
            const std::string path = dir.write("d.txt", t);
            ++runs;
            try {
                if (which == 2) {
                    NavReader r;
                    r.open(path);
                    GpsNavRecord g;
                    while (r.next(g)) {
                    }
                } else {
                    ObsReader r;
                    r.open(path);
                    ObsEpoch e;
                    while (r.next(e)) {
                    }
                }
            } catch (const Error& e) {
                ++errors;
                EXPECT_EQ(std::string(e.what()).rfind(path + ":", 0), 0u) << e.what();
            }
        }
    }
    EXPECT_GT(errors, runs / 3); // most damage is noticed
}

} // namespace

TEST(RinexTime, CalendarOfMjdAgreesWithTheCalendarRoutine) {
    // Every day from 1980 to 2040 through MJD and back.
    for (int mjd = 44239; mjd <= 66154; ++mjd) {
        int y = 0, m = 0, d = 0;
        calendar_of_mjd(mjd, y, m, d);
        double djm = 0;
        int j = 0;
        quelmar::orbits::sla_cldj(y, m, d, djm, j);
        ASSERT_EQ(j, 0) << mjd;
        ASSERT_EQ(static_cast<int>(djm), mjd) << y << "-" << m << "-" << d;
    }
}

TEST(RinexTime, AddSecondsCarriesOverEveryCalendarField) {
    struct Case {
        int y, mo, d, h, mi;
        double s;
        int add;
        int ey, emo, ed, eh, emi;
        double es;
    };
    const Case cases[] = {
        {2016, 12, 31, 23, 59, 50.0, 18, 2017, 1, 1, 0, 0, 8.0}, // a UTC epoch to GPS time, new year
        {2000, 2, 28, 23, 59, 59.5, 1, 2000, 2, 29, 0, 0, 0.5},  // leap day, fraction kept
        {2100, 2, 28, 23, 59, 59.25, 1, 2100, 3, 1, 0, 0, 0.25}, // no leap day in 2100
        {2002, 3, 1, 0, 0, 5.0, -10, 2002, 2, 28, 23, 59, 55.0}, // backwards over a month
        {2008, 5, 27, 12, 30, 0.0000001, 14, 2008, 5, 27, 12, 30, 14.0000001},
        {2015, 6, 30, 23, 59, 60.0, 17, 2015, 7, 1, 0, 0, 17.0}, // a leap second's own label
    };
    for (const Case& c : cases) {
        Time t;
        t.year = c.y;
        t.month = c.mo;
        t.day = c.d;
        t.hour = c.h;
        t.minute = c.mi;
        t.sec = c.s;
        ASSERT_TRUE(detail::make_time(t)) << c.y << " " << c.mo;
        const Time r = add_seconds(t, c.add);
        EXPECT_EQ(r.year, c.ey);
        EXPECT_EQ(r.month, c.emo);
        EXPECT_EQ(r.day, c.ed);
        EXPECT_EQ(r.hour, c.eh);
        EXPECT_EQ(r.minute, c.emi);
        EXPECT_DOUBLE_EQ(r.sec, c.es);
        Time e = r;
        ASSERT_TRUE(detail::make_time(e));
        EXPECT_EQ(r.mjd, e.mjd);
        EXPECT_DOUBLE_EQ(r.sod, e.sod);
        EXPECT_DOUBLE_EQ(r.seconds_after(t), c.add);
    }
}

TEST(RinexTime, TimeSystemFromTheHeaderOrTheFileSystem) {
    struct Case {
        const char* version_line;
        const char* first_obs; // empty: no TIME OF FIRST OBS record
        const char* expected;
        long line;
    };
    const Case cases[] = {
        {"     2.11           OBSERVATION DATA    M (MIXED)",
         "  2008     5    27     0     0    0.0000000     GLO", "GLO", 7},
        {"     2.11           OBSERVATION DATA    R (GLONASS)", "  2008     5    27     0     0    0.0000000",
         "GLO", 7},
        {"     2.11           OBSERVATION DATA    R (GLONASS)", "", "GLO", 0},
        {"     3.04           OBSERVATION DATA    E (GALILEO)", "", "GAL", 0},
        {"     3.04           OBSERVATION DATA    C (BEIDOU)", "", "BDT", 0},
        {"     2.11           OBSERVATION DATA    G (GPS)", "", "GPS", 0},
        {"     3.04           OBSERVATION DATA    M (MIXED)",
         "  2020     6    25     0     0    0.0000000     BDT", "BDT", 7},
    };
    for (const Case& c : cases) {
        const bool v3 = c.version_line[5] == '3';
        std::string text = hl(c.version_line, "RINEX VERSION / TYPE") + "\n" + hl("abcd", "MARKER NAME") +
                           "\n" + hl("SN123               LEIAT504        LEIS", "ANT # / TYPE") + "\n" +
                           hl("  4775849.6200   116814.1000  4213018.7100", "APPROX POSITION XYZ") + "\n" +
                           hl("        0.0540        0.1000       -0.2000", "ANTENNA: DELTA H/E/N") + "\n" +
                           (v3 ? hl("G    2 C1C L1C", "SYS / # / OBS TYPES")
                               : hl("     2    L1    C1", "# / TYPES OF OBSERV")) +
                           "\n";
        if (*c.first_obs != '\0') text += hl(c.first_obs, "TIME OF FIRST OBS") + "\n";
        text += hl("", "END OF HEADER") + "\n";
        TempDir dir;
        ObsReader r;
        r.open(dir.write("t.obs", text));
        EXPECT_EQ(r.header().time_system, c.expected) << c.version_line << " / " << c.first_obs;
        EXPECT_EQ(r.header().time_system_line, c.line) << c.version_line << " / " << c.first_obs;
    }
}
