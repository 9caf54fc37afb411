// The ANTEX reader: the labelled lines it reads, the tables it fills (patterns by role, constellation,
// frequency and antenna, grid and validity, the PRN -> vehicle mapping), every stop, files cut
// anywhere, and the start-up step with its log lines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "auxfiles/antex.hpp"
#include "frame/config.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;
using namespace quelmar::testing_support;

namespace {

// A private directory for one test: the files it writes, a log and a standard-output file.
class Scratch : public TempDir {
  public:
    Scratch() { EXPECT_TRUE(out.open(path("stdout.txt"))); }
    std::string log_text() { return captured.text(); }
    std::string out_text() {
        out.flush();
        return read("stdout.txt");
    }
    CapturedLog captured{path() / "test.log"};
    frame::Log& log = captured.log;
    frame::TextSink out;
};

std::string fmt(const char* f, auto... v) {
    char buf[512];
    std::snprintf(buf, sizeof buf, f, v...);
    return buf;
}

// One labelled line: the content in columns 1-60, the label in 61-80.
std::string L(const std::string& content, const std::string& label) {
    std::string s = content;
    s.resize(60, ' ');
    s += label;
    s.resize(80, ' ');
    return s + "\n";
}

std::string header(const std::string& version = "1.4", char sys = 'M', char pcvtype = 'A') {
    return L(fmt("%8s%12s%c", version.c_str(), "", sys), "ANTEX VERSION / SYST") +
           L(fmt("%c%19s%-20s", pcvtype, "", ""), "PCV TYPE / REFANT") + L("", "COMMENT") +
           L("", "END OF HEADER");
}

struct Validity {
    int y, mo, d, h, mi;
    double sec;
    double mjd() const { return mjd_of(y, mo, d) + (h + mi / 60.0 + sec / 3600.0) / 24.0; }
};

// An antenna block. Its values are functions of `id` and of the indices, so that every stored value
// can be checked and a misaligned read shows.
struct Antenna {
    int id = 1;
    std::string type;
    std::string sn = "";
    std::string svn = "";
    double dazi = 0.0;
    double zen1 = 0.0, zen2 = 14.0, dzen = 1.0;
    std::vector<std::string> freqs = {"G01", "G02"};
    std::optional<Validity> from, until;
    bool with_end = true;
};

int nzen_of(const Antenna& a) {
    return static_cast<int>(std::lround((a.zen2 - a.zen1) / a.dzen)) + 1;
}
int nazi_of(const Antenna& a) {
    return a.dazi > 0 ? static_cast<int>(std::lround(360.0 / a.dazi)) + 1 : 0;
}
double neu_value(int id, int f, int c) {
    return id * 100.0 + f * 10.0 + c + 0.25 * c;
}
double noazi_value(int id, int f, int z) {
    return (id * 7 + f * 3 + z * 11) / 100.0 - 2.0;
}
double azi_value(int id, int f, int r, int z) {
    return (id * 5 + f * 13 + r * 3 + z * 17) / 100.0 - 4.0;
}

std::string block(const Antenna& a) {
    std::string s = L("", "START OF ANTENNA");
    s += L(fmt("%-20s%-20s%-10s%-10s", a.type.c_str(), a.sn.c_str(), a.svn.c_str(), ""), "TYPE / SERIAL NO");
    s += L(fmt("%-20s%-20s%6d    %-10s", "ROBOT", "Geo++ GmbH", 3, "19-FEB-07"), "METH / BY / # / DATE");
    s += L(fmt("  %6.1f", a.dazi), "DAZI");
    s += L(fmt("  %6.1f%6.1f%6.1f", a.zen1, a.zen2, a.dzen), "ZEN1 / ZEN2 / DZEN");
    s += L(fmt("%6d", static_cast<int>(a.freqs.size())), "# OF FREQUENCIES");
    if (a.from) {
        const Validity& v = *a.from;
        s += L(fmt("%6d%6d%6d%6d%6d%13.7f", v.y, v.mo, v.d, v.h, v.mi, v.sec), "VALID FROM");
    }
    if (a.until) {
        const Validity& v = *a.until;
        s += L(fmt("%6d%6d%6d%6d%6d%13.7f", v.y, v.mo, v.d, v.h, v.mi, v.sec), "VALID UNTIL");
    }
    s += L("IGS05_1627", "SINEX CODE");
    const int nz = nzen_of(a), na = nazi_of(a);
    for (std::size_t fi = 0; fi < a.freqs.size(); ++fi) {
        const int f = static_cast<int>(fi) + 1;
        s += L("   " + a.freqs[fi], "START OF FREQUENCY");
        s += L(fmt("%10.2f%10.2f%10.2f", neu_value(a.id, f, 1), neu_value(a.id, f, 2), neu_value(a.id, f, 3)),
               "NORTH / EAST / UP");
        s += "   NOAZI";
        for (int z = 1; z <= nz; ++z) s += fmt("%8.2f", noazi_value(a.id, f, z));
        s += "\n";
        for (int r = 1; r <= na; ++r) {
            s += fmt("%8.1f", (r - 1) * a.dazi);
            for (int z = 1; z <= nz; ++z) s += fmt("%8.2f", azi_value(a.id, f, r, z));
            s += "\n";
        }
        s += L("   " + a.freqs[fi], "END OF FREQUENCY");
    }
    if (a.with_end) s += L("", "END OF ANTENNA");
    return s;
}

std::string padded(std::string s) {
    s.resize(20, ' ');
    return s;
}

// The file of the well-formed tests: two GPS satellite antennas for PRN 1, a GLONASS one, a receiver
// antenna with azimuth rows, one without, a Galileo satellite antenna, and a receiver antenna with a
// BeiDou frequency block between its GPS ones.
std::vector<Antenna> sample_antennas() {
    std::vector<Antenna> v;
    Antenna a;
    a.id = 1;
    a.type = "BLOCK IIA";
    a.sn = "G01";
    a.svn = "G032";
    a.from = Validity{1992, 11, 22, 0, 0, 0.0};
    a.until = Validity{2008, 10, 16, 23, 59, 59.9999999};
    v.push_back(a);
    a = Antenna{};
    a.id = 2;
    a.type = "BLOCK IIR-M";
    a.sn = "G01";
    a.svn = "G049";
    a.from = Validity{2009, 3, 24, 0, 0, 0.0};
    v.push_back(a);
    a = Antenna{};
    a.id = 3;
    a.type = "GLONASS-M";
    a.sn = "R07";
    a.svn = "R712";
    a.freqs = {"R01", "R02"};
    a.from = Validity{2006, 12, 25, 0, 0, 0.0};
    v.push_back(a);
    a = Antenna{};
    a.id = 4;
    a.type = "AOAD/M_T        NONE";
    a.dazi = 5.0;
    a.zen1 = 0.0;
    a.zen2 = 90.0;
    a.dzen = 5.0;
    v.push_back(a);
    a = Antenna{};
    a.id = 5;
    a.type = "TRM29659.00     NONE";
    a.zen2 = 80.0;
    a.dzen = 5.0;
    v.push_back(a);
    a = Antenna{};
    a.id = 6;
    a.type = "GALILEO-1";
    a.sn = "E11";
    a.svn = "E101";
    a.freqs = {"E01", "E05"};
    v.push_back(a);
    a = Antenna{};
    a.id = 7;
    a.type = "LEIAR25.R3      LEIT";
    a.dazi = 10.0;
    a.zen2 = 90.0;
    a.dzen = 10.0;
    a.freqs = {"G01", "C01", "G02"};
    v.push_back(a);
    return v;
}

std::string sample_file() {
    std::string s = header();
    for (const Antenna& a : sample_antennas()) s += block(a);
    return s;
}

// Checks the stored pattern of frequency block `fi` (0-based) of antenna `a` at its address.
void expect_pattern(const AntexTables& t, const Antenna& a, int fi, int iantrole, int iconst, int ifreq,
                    int isa) {
    SCOPED_TRACE("antenna " + std::to_string(a.id) + " block " + std::to_string(fi));
    const int f = fi + 1;
    ASSERT_TRUE(t.atx_read_pco_neu(iantrole, iconst, ifreq, isa));
    for (int c = 1; c <= 3; ++c)
        EXPECT_NEAR(t.atx_pco_neu(iantrole, iconst, ifreq, isa, c), neu_value(a.id, f, c), 1e-9);
    const int nz = nzen_of(a), na = nazi_of(a);
    for (int z = 1; z <= nz; ++z)
        EXPECT_NEAR(t.atx_pcv_noazi(iantrole, iconst, ifreq, isa, z), noazi_value(a.id, f, z), 1e-9);
    for (int z = nz + 1; z <= maxzen; ++z) EXPECT_EQ(t.atx_pcv_noazi(iantrole, iconst, ifreq, isa, z), 0.0);
    const AntexPattern* p = t.pattern(iantrole, iconst, ifreq, isa);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<int>(p->pcv_azi.size()), na);
    for (int r = 1; r <= na; ++r) {
        EXPECT_NEAR(t.atx_azi(iantrole, iconst, ifreq, isa, r), (r - 1) * a.dazi, 1e-9);
        for (int z = 1; z <= nz; ++z)
            EXPECT_NEAR(t.atx_pcv_azi(iantrole, iconst, ifreq, isa, z, r), azi_value(a.id, f, r, z), 1e-9);
    }
    EXPECT_EQ(t.atx_pcv_azi(iantrole, iconst, ifreq, isa, 1, na + 1), 0.0);
}

void expect_info(const AntexTables& t, const Antenna& a, int iantrole, int iconst, int isa) {
    SCOPED_TRACE("info of antenna " + std::to_string(a.id));
    ASSERT_NE(t.pc_info(iantrole, iconst, isa), nullptr);
    EXPECT_EQ(t.atx_pc__info(iantrole, iconst, isa, 1), a.zen1);
    EXPECT_EQ(t.atx_pc__info(iantrole, iconst, isa, 2), a.zen2);
    EXPECT_EQ(t.atx_pc__info(iantrole, iconst, isa, 3), a.dzen);
    EXPECT_EQ(t.atx_pc__info(iantrole, iconst, isa, 4), a.dazi);
    EXPECT_NEAR(t.atx_pc__info(iantrole, iconst, isa, 5), a.from ? a.from->mjd() : 11111.0, 1e-9);
    EXPECT_NEAR(t.atx_pc__info(iantrole, iconst, isa, 6), a.until ? a.until->mjd() : 99999.0, 1e-9);
    EXPECT_EQ(t.iatx_pc__info(iantrole, iconst, isa, 1), static_cast<int>(std::lround(10 * a.dazi)));
    EXPECT_EQ(t.iatx_pc__info(iantrole, iconst, isa, 2), nazi_of(a));
}

// Reads a file expected to stop the run; returns the stop (or nothing, with a failure, if it loads).
std::optional<frame::Stop> read_stopping(Scratch& s, const std::string& text, AntexTables& t) {
    try {
        read_antex_v2b(s.write("t.atx", text), t, s.log, s.out);
    } catch (const frame::Stop& stop) {
        return stop;
    }
    ADD_FAILURE() << "the file loaded";
    return std::nullopt;
}

} // namespace

TEST(ReadAntex, WellFormedFileFillsEveryTable) {
    Scratch s;
    AntexTables t;
    ASSERT_EQ(read_antex_v2b(s.write("t.atx", sample_file()), t, s.log, s.out), 0);
    const std::vector<Antenna> a = sample_antennas();
    EXPECT_EQ(s.log_text(), "");

    // GPS satellites: role 1, constellation 1, antenna = vehicle number.
    expect_pattern(t, a[0], 0, 1, 1, 1, 32);
    expect_pattern(t, a[0], 1, 1, 1, 2, 32);
    expect_pattern(t, a[1], 0, 1, 1, 1, 49);
    expect_info(t, a[0], 1, 1, 32);
    expect_info(t, a[1], 1, 1, 49);
    // GLONASS satellite: constellation 2 from its R blocks.
    expect_pattern(t, a[2], 0, 1, 2, 1, 712);
    expect_pattern(t, a[2], 1, 1, 2, 2, 712);
    expect_info(t, a[2], 1, 2, 712);

    // Receiver antennas, numbered in file order; the Galileo satellite antenna is one of them.
    ASSERT_EQ(t.iatx_nant(), 4);
    EXPECT_EQ(t.atx_ant_type_(1), "AOAD/M_T        NONE");
    EXPECT_EQ(t.atx_ant_type_(2), "TRM29659.00     NONE");
    EXPECT_EQ(t.atx_ant_type_(3), padded("GALILEO-1"));
    EXPECT_EQ(t.atx_ant_type_(4), "LEIAR25.R3      LEIT");
    EXPECT_EQ(t.atx_ant_type_(5), padded(""));
    EXPECT_EQ(t.receiver_antenna_index("TRM29659.00     NONE"), 2);
    EXPECT_EQ(t.receiver_antenna_index("GALILEO-1"), 3);
    EXPECT_EQ(t.receiver_antenna_index("TRM29659.00     SCIS"), 0);
    // DAZI 5 with 0/90/5: 73 azimuth rows of 19 values.
    expect_pattern(t, a[3], 0, 2, 1, 1, 1);
    expect_pattern(t, a[3], 1, 2, 1, 2, 1);
    EXPECT_EQ(t.iatx_pc__info(2, 1, 1, 2), 73);
    EXPECT_EQ(t.atx_azi(2, 1, 1, 1, 73), 360.0);
    EXPECT_NEAR(t.atx_pcv_azi(2, 1, 2, 1, 19, 73), azi_value(4, 2, 73, 19), 1e-9);
    expect_info(t, a[3], 2, 1, 1);
    // DAZI 0: the NOAZI row only.
    expect_pattern(t, a[4], 0, 2, 1, 1, 2);
    EXPECT_EQ(t.atx_azi(2, 1, 1, 2, 1), 0.0);
    expect_info(t, a[4], 2, 1, 2);
    // Galileo: role 2, constellation 3, frequencies 1 and 5.
    expect_pattern(t, a[5], 0, 2, 3, 1, 3);
    expect_pattern(t, a[5], 1, 2, 3, 5, 3);
    expect_info(t, a[5], 2, 3, 3);
    EXPECT_EQ(t.iatx_ksv(3, 11), 0);
    // The BeiDou block is read past: the GPS blocks around it are intact, nothing else is stored, and
    // the grid is kept under the last block the tables hold.
    expect_pattern(t, a[6], 0, 2, 1, 1, 4);
    expect_pattern(t, a[6], 2, 2, 1, 2, 4);
    expect_info(t, a[6], 2, 1, 4);
    EXPECT_EQ(t.pattern_count(), 14u);

    // Nothing at addresses the file did not fill.
    EXPECT_FALSE(t.atx_read_pco_neu(1, 1, 5, 32));
    EXPECT_FALSE(t.atx_read_pco_neu(2, 2, 1, 1));
    EXPECT_EQ(t.pc_info(2, 2, 1), nullptr);
    EXPECT_EQ(t.atx_pco_neu(1, 1, 1, 33, 3), 0.0);
    // Indices outside the tables read as nothing, never out of bounds.
    EXPECT_EQ(t.pattern(0, 1, 1, 1), nullptr);
    EXPECT_EQ(t.pattern(3, 1, 1, 1), nullptr);
    EXPECT_EQ(t.pattern(1, 4, 1, 1), nullptr);
    EXPECT_EQ(t.pattern(1, 1, 10, 32), nullptr);
    EXPECT_EQ(t.pattern(1, 1, 1, 901), nullptr);
    EXPECT_EQ(t.atx_pcv_noazi(1, 1, 1, 32, 52), 0.0);
    EXPECT_EQ(t.atx_pc__info(1, 1, 32, 7), 0.0);
    EXPECT_EQ(t.iatx_ksv(0, 1), 0);
    EXPECT_EQ(t.iatx_ksv(1, 40), 0);
}

TEST(ReadAntex, TwoVehiclesForOnePrnInFileOrder) {
    Scratch s;
    AntexTables t;
    ASSERT_EQ(read_antex_v2b(s.write("t.atx", sample_file()), t, s.log, s.out), 0);
    ASSERT_EQ(t.iatx_ksv(1, 1), 2);
    EXPECT_EQ(t.iatx_prn2svblock(1, 1, 1, 1), 32);
    EXPECT_EQ(t.iatx_prn2svblock(1, 1, 1, 2), 3); // BLOCK IIA
    EXPECT_EQ(t.iatx_prn2svblock(1, 1, 2, 1), 49);
    EXPECT_EQ(t.iatx_prn2svblock(1, 1, 2, 2), 6); // BLOCK IIR-M
    // 1992-11-22 0h .. 2008-10-16 23:59:59.9999999, then 2009-03-24 0h with the default end.
    EXPECT_EQ(t.atx_tdjm(1, 1, 1, 1), 48948.0);
    EXPECT_NEAR(t.atx_tdjm(1, 1, 1, 2), 54755.0 + (23 + 59 / 60.0 + 59.9999999 / 3600.0) / 24.0, 1e-12);
    // In double precision the last tenth of a microsecond of the day is midnight of the next.
    EXPECT_EQ(t.atx_tdjm(1, 1, 1, 2), 54756.0);
    EXPECT_EQ(t.atx_tdjm(1, 1, 2, 1), 54914.0);
    EXPECT_EQ(t.atx_tdjm(1, 1, 2, 2), 99999.0);
    EXPECT_EQ(t.iatx_prn2svblock(1, 1, 3, 1), 0);
    // GLONASS PRN 7.
    ASSERT_EQ(t.iatx_ksv(2, 7), 1);
    EXPECT_EQ(t.iatx_prn2svblock(2, 7, 1, 1), 712);
    EXPECT_EQ(t.iatx_prn2svblock(2, 7, 1, 2), 12); // GLONASS-M
    EXPECT_EQ(t.atx_tdjm(2, 7, 1, 1), mjd_of(2006, 12, 25));
    // Validity of the receiver antennas: the defaults, reset after each antenna.
    EXPECT_EQ(t.atx_pc__info(2, 1, 1, 5), 11111.0);
    int total = 0;
    for (int c = 1; c <= maxconst; ++c)
        for (int p = 1; p <= maxprn; ++p) total += t.iatx_ksv(c, p);
    EXPECT_EQ(total, 3);
}

TEST(ReadAntex, BlockCodesOfEverySatelliteType) {
    struct Case {
        const char* type;
        const char* sn;
        int iconst;
        int iblock;
    };
    const Case cases[] = {
        {"BLOCK I", "G04", 1, 1},     {"BLOCK II", "G04", 1, 2},          {"BLOCK IIA", "G04", 1, 3},
        {"BLOCK IIR-A", "G04", 1, 4}, {"BLOCK IIR-B", "G04", 1, 5},       {"BLOCK IIR-M", "G04", 1, 6},
        {"BLOCK IIF", "G04", 1, 7},   {"GLONASS", "R04", 2, 11},          {"GLONASS-M", "R04", 2, 12},
        {"GLONASS-K1", "R04", 2, 13}, {"BLOCK IIA   extra", "G04", 1, 3}, // only 11 characters count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Scratch s;
        Antenna a;
        a.type = c.type;
        a.sn = c.sn;
        a.svn = std::string(1, c.sn[0]) + "061";
        a.freqs = {c.iconst == 1 ? "G01" : "R01"};
        AntexTables t;
        ASSERT_EQ(read_antex_v2b(s.write("t.atx", header() + block(a)), t, s.log, s.out), 0);
        ASSERT_EQ(t.iatx_ksv(c.iconst, 4), 1);
        EXPECT_EQ(t.iatx_prn2svblock(c.iconst, 4, 1, 1), 61);
        EXPECT_EQ(t.iatx_prn2svblock(c.iconst, 4, 1, 2), c.iblock);
        EXPECT_EQ(t.iatx_nant(), 0);
        expect_pattern(t, a, 0, 1, c.iconst, 1, 61);
    }
}

TEST(ReadAntex, LimitsThatStillLoad) {
    // The largest values of each limit are accepted.
    Scratch s;
    std::string text = header("1.4");
    Antenna a;
    a.type = "BLOCK IIA";
    a.sn = "G39";
    a.svn = "G900";
    a.freqs = {"G09"};
    a.zen1 = 0.0;
    a.zen2 = 100.0;
    a.dzen = 2.0; // 51 nodes
    text += block(a);
    for (int k = 2; k <= 20; ++k) { // 20 antennas for one PRN
        Antenna b;
        b.id = k;
        b.type = "BLOCK IIR-A";
        b.sn = "G39";
        b.svn = "G0" + std::to_string(10 + k);
        b.freqs = {"G01"};
        text += block(b);
    }
    AntexTables t;
    ASSERT_EQ(read_antex_v2b(s.write("t.atx", text), t, s.log, s.out), 0);
    expect_pattern(t, a, 0, 1, 1, 9, 900);
    EXPECT_EQ(t.iatx_ksv(1, 39), 20);
    EXPECT_EQ(t.iatx_prn2svblock(1, 39, 20, 1), 30);
}

TEST(ReadAntex, NineHundredReceiverAntennasLoadAndOneMoreStops) {
    std::string text = header();
    std::string one;
    for (int k = 1; k <= 900; ++k) {
        one = L("", "START OF ANTENNA") + L(fmt("RCV%-13d NONE", k), "TYPE / SERIAL NO") +
              L("", "END OF ANTENNA");
        text += one;
    }
    {
        Scratch s;
        AntexTables t;
        ASSERT_EQ(read_antex_v2b(s.write("t.atx", text), t, s.log, s.out), 0);
        EXPECT_EQ(t.iatx_nant(), 900);
        EXPECT_EQ(t.atx_ant_type_(900), "RCV900           NON");
    }
    Scratch s;
    AntexTables t;
    const auto stop = read_stopping(s, text + one, t);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->message(), "ERROR: kant.gt.maxant");
    EXPECT_EQ(s.log_text(), " ERROR: kant.gt.maxant\n");
}

TEST(ReadAntex, EveryViolationStopsWithItsMessage) {
    struct Case {
        const char* what;
        std::function<std::string()> text;
        const char* stop;
        const char* log; // the whole log
    };
    auto sat = [](const char* type, const char* sn, const char* svn,
                  std::vector<std::string> freqs = {"G01"}) {
        Antenna a;
        a.type = type;
        a.sn = sn;
        a.svn = svn;
        a.freqs = std::move(freqs);
        return a;
    };
    auto with = [](Antenna a, auto change) {
        change(a);
        return header() + block(a);
    };
    const Antenna gps = sat("BLOCK IIA", "G01", "G032");
    const std::vector<Case> cases = {
        {"version 1.41", [] { return header("1.41"); }, "ERROR: unsupported ANTEX format version (>=1.4)",
         " ERROR: unsupported ANTEX format version (>1.4)\n"},
        {"version 2.0", [] { return header("2.0"); }, "ERROR: unsupported ANTEX format version (>=1.4)",
         " ERROR: unsupported ANTEX format version (>1.4)\n"},
        {"system letter X", [] { return header("1.4", 'X'); },
         "ERROR: unsuppor. ANTEX sat. sys. (!= ,G,R,E,C,J,S,M)",
         " ERROR: unsupport. ANTEX sat. sys. (!= ,G,R,E,C,J,S,M)\n"},
        {"relative PCV", [] { return header("1.4", 'M', 'R'); },
         "ERROR: Non Absolute type of PCV in ANTEX file", " ERROR: Non Absolute type of PCV in ANTEX file\n"},
        {"BLOCK IIIA", [&] { return header() + block(sat("BLOCK IIIA", "G04", "G074")); },
         "ERROR: Unsupported GPS block", " ERROR: Unsupported GPS block: BLOCK IIIA          \n"},
        {"GLONASS-K2", [&] { return header() + block(sat("GLONASS-K2", "R04", "R805", {"R01"})); },
         "ERROR: Unsupported GLONASS block", " ERROR: Unsupported GLONASS block: GLONASS-K2          \n"},
        {"PRN 40", [&] { return header() + block(sat("BLOCK IIA", "G40", "G032")); }, "ERROR: iprn.gt.maxprn",
         " ERROR: iprn.gt.maxprn\n"},
        {"PRN 0", [&] { return header() + block(sat("BLOCK IIA", "G00", "G032")); }, "ERROR: iprn.lt.1",
         " ERROR: iprn.lt.1\n"},
        {"21 antennas for one PRN",
         [&] {
             std::string t = header();
             for (int k = 0; k < 21; ++k) t += block(gps);
             return t;
         },
         "ERROR: ksv(iconst,iprn).gt.maxksv_per_prn", " ERROR: ksv(iconst,iprn).gt.maxksv_per_prn\n"},
        {"DAZI 4.9: 74 rows", [&] { return with(gps, [](Antenna& a) { a.dazi = 4.9; }); },
         "ERROR: n_azi.gt.maxazi", " ERROR: n_azi.gt.maxazi\n"},
        {"52 zenith nodes",
         [&] {
             return with(gps, [](Antenna& a) {
                 a.zen2 = 102.0;
                 a.dzen = 2.0;
             });
         },
         "ERROR: nzen.gt.maxzen", " ERROR: nzen.gt.maxzen\n"},
        {"zenith step 0", [&] { return with(gps, [](Antenna& a) { a.dzen = 0.0; }); },
         "ERROR: nzen.gt.maxzen", " ERROR: nzen.gt.maxzen\n"},
        {"zenith step 0 over an empty range",
         [&] {
             return with(gps, [](Antenna& a) {
                 a.zen2 = 0.0;
                 a.dzen = 0.0;
             });
         },
         "ERROR: nzen.lt.1", " ERROR: nzen.lt.1\n"},
        {"reversed zenith range",
         [&] {
             return with(gps, [](Antenna& a) {
                 a.zen1 = 14.0;
                 a.zen2 = 0.0;
             });
         },
         "ERROR: nzen.lt.1", " ERROR: nzen.lt.1\n"},
        {"10 frequencies",
         [&] { return with(gps, [](Antenna& a) { a.freqs = std::vector<std::string>(10, "G01"); }); },
         "ERROR: nfreq.gt.maxfreq", " ERROR: nfreq.gt.maxfreq\n"},
        {"frequency system I", [&] { return header() + block(sat("BLOCK IIA", "G01", "G032", {"I05"})); },
         "ERROR: unknown kconst", " ERROR: unknown kconst=  I\n"},
        {"frequency system blank", [&] { return header() + block(sat("BLOCK IIA", "G01", "G032", {" 01"})); },
         "ERROR: unknown kconst", " ERROR: unknown kconst=   \n"},
        {"frequency 10", [&] { return header() + block(sat("BLOCK IIA", "G01", "G032", {"G10"})); },
         "ERROR: ifreq.gt.maxfreq", " ERROR: ifreq.gt.maxfreq\n"},
        {"frequency 0", [&] { return header() + block(sat("BLOCK IIA", "G01", "G032", {"G00"})); },
         "ERROR: ifreq.lt.1", " ERROR: ifreq.lt.1\n"},
        {"frequency 10 of a skipped system",
         [&] { return header() + block(sat("BLOCK IIA", "G01", "G032", {"C10"})); },
         "ERROR: ifreq.gt.maxfreq", " ERROR: ifreq.gt.maxfreq\n"},
        {"vehicle 901", [&] { return header() + block(sat("BLOCK IIA", "G01", "G901")); },
         "ERROR: isa.gt.maxant", " ERROR: isa.gt.maxant\n"},
        {"no vehicle number", [&] { return header() + block(sat("BLOCK IIA", "G01", "")); },
         "ERROR: isa.lt.1", " ERROR: isa.lt.1\n"},
        {"offsets before any frequency block",
         [] {
             return header() + L("", "START OF ANTENNA") + L("TRM29659.00     NONE", "TYPE / SERIAL NO") +
                    L("     0.0  14.0   1.0", "ZEN1 / ZEN2 / DZEN") +
                    L("      1.00      2.00      3.00", "NORTH / EAST / UP");
         },
         "ERROR: NORTH / EAST / UP outside an antenna frequency block",
         " ERROR: NORTH / EAST / UP outside an antenna frequency block\n"},
        {"offsets before any antenna",
         [] { return header() + L("   G01", "START OF FREQUENCY") + L("      1.00", "NORTH / EAST / UP"); },
         "ERROR: NORTH / EAST / UP outside an antenna frequency block",
         " ERROR: NORTH / EAST / UP outside an antenna frequency block\n"},
        {"offsets before the zenith grid",
         [] {
             return header() + L("", "START OF ANTENNA") + L("TRM29659.00     NONE", "TYPE / SERIAL NO") +
                    L("   G01", "START OF FREQUENCY") +
                    L("      1.00      2.00      3.00", "NORTH / EAST / UP");
         },
         "ERROR: NORTH / EAST / UP before ZEN1 / ZEN2 / DZEN",
         " ERROR: NORTH / EAST / UP before ZEN1 / ZEN2 / DZEN\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scratch s;
        AntexTables t;
        const auto stop = read_stopping(s, c.text(), t);
        if (!stop) continue;
        EXPECT_EQ(stop->message(), c.stop);
        EXPECT_TRUE(stop->has_message());
        EXPECT_EQ(s.log_text(), c.log);
    }
}

TEST(ReadAntex, MalformedFieldsStopAsReadingErrors) {
    // A field that does not convert, in each labelled line that holds numbers and in the rows.
    const std::string good = header() + block(sample_antennas()[3]);
    auto replace_first = [&good](const std::string& from, const std::string& to) {
        const auto pos = good.find(from);
        EXPECT_NE(pos, std::string::npos) << from;
        std::string t = good;
        return t.replace(pos, from.size(), to);
    };
    struct Case {
        const char* what;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"version", replace_first("     1.4", "     1.x")},
        {"calibration count", replace_first("     3    19-FEB-07", "    3x    19-FEB-07")},
        {"valid from",
         header() +
             block(sample_antennas()[0]).replace(block(sample_antennas()[0]).find("  1992"), 6, "  19x2")},
        {"dazi", replace_first("     5.0", "     5.q")},
        {"zenith grid", replace_first("   0.0  90.0   5.0", "   0.0  9O.0   5.0")},
        {"frequency count", replace_first("     2      ", "    x2      ")},
        {"frequency number", replace_first("   G01", "   G0x")},
        {"offset", replace_first("    411.25", "    4I1.25")},
        {"NOAZI row", replace_first("   NOAZI   -1.58", "   NOAZI   -1.5x")},
        {"azimuth of a row", replace_first("\n    10.0", "\n    1x.0")},
        {"value of a row", replace_first("\n    10.0   -3.41", "\n    10.0   -3.4x")},
        {"PRN of a satellite",
         header() + block(sample_antennas()[0]).replace(60 * 0 + 80 + 1 + 20, 3, "Gx1")},
        {"vehicle of a satellite", header() + block(sample_antennas()[0]).replace(81 + 40, 4, "G0x2")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(c.text, good);
        Scratch s;
        AntexTables t;
        const auto stop = read_stopping(s, c.text, t);
        if (!stop) continue;
        EXPECT_EQ(stop->message(), "ERROR reading ANTEX file");
        EXPECT_EQ(s.log_text(), " ERROR reading ANTEX file: antexfile=  " + s.path("t.atx") + "\n");
    }
}

TEST(ReadAntex, MissingFileAndBadDate) {
    {
        Scratch s;
        AntexTables t;
        std::string name = s.path("absent.atx");
        name.resize(132, ' ');
        try {
            read_antex_v2b(name, t, s.log, s.out);
            FAIL() << "no stop";
        } catch (const frame::Stop& stop) {
            EXPECT_EQ(stop.message(), "ERROR opening ANTEX file");
        }
        EXPECT_EQ(s.log_text(), " ERROR opening ANTEX file: antexfile=  " + s.path("absent.atx") + "\n");
    }
    {
        // A date the calendar rejects stops as a message header with such a date does.
        Scratch s;
        Antenna a = sample_antennas()[0];
        a.from = Validity{2008, 13, 1, 0, 0, 0.0};
        AntexTables t;
        const auto stop = read_stopping(s, header() + block(a), t);
        ASSERT_TRUE(stop);
        EXPECT_FALSE(stop->has_message());
        EXPECT_EQ(s.log_text().rfind(" ERROR: in cldj\n", 0), 0u);
    }
}

TEST(ReadAntex, VersionBoundaryAndAcceptedSystems) {
    for (const char* v : {"1.4", "1.3", "1.0", "1.40"}) {
        for (char sys : {' ', 'G', 'R', 'E', 'C', 'J', 'S', 'M'}) {
            SCOPED_TRACE(std::string(v) + " [" + sys + "]");
            Scratch s;
            AntexTables t;
            EXPECT_EQ(read_antex_v2b(s.write("t.atx", header(v, sys)), t, s.log, s.out), 0);
        }
    }
}

TEST(ReadAntex, SameVehicleTwiceOverwritesValueByValue) {
    // Vehicle 32 first with 15 nodes, then under another PRN with 11: nodes 1-11 are the second
    // antenna's, 12-15 stay from the first, as in the full tables.
    Antenna a = sample_antennas()[0];
    Antenna b = a;
    b.id = 9;
    b.sn = "G32";
    b.zen2 = 10.0;
    Scratch s;
    AntexTables t;
    ASSERT_EQ(read_antex_v2b(s.write("t.atx", header() + block(a) + block(b)), t, s.log, s.out), 0);
    for (int z = 1; z <= 11; ++z) EXPECT_NEAR(t.atx_pcv_noazi(1, 1, 1, 32, z), noazi_value(9, 1, z), 1e-9);
    for (int z = 12; z <= 15; ++z) EXPECT_NEAR(t.atx_pcv_noazi(1, 1, 1, 32, z), noazi_value(1, 1, z), 1e-9);
    EXPECT_EQ(t.atx_pc__info(1, 1, 32, 2), 10.0);
    EXPECT_EQ(t.iatx_ksv(1, 1), 1);
    EXPECT_EQ(t.iatx_ksv(1, 32), 1);
}

TEST(ReadAntex, EveryTruncationEndsCleanly) {
    // The end of the file ends the reading wherever it comes: inside the header, inside an antenna,
    // inside the rows, inside a line. What was read stays.
    const std::string good = sample_file();
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i <= good.size(); i += 211) cuts.push_back(i);
    for (std::size_t i = 0, n = 0; i < good.size(); ++i)
        if (good[i] == '\n' && n++ % 3 == 0) cuts.push_back(i + 1);
    Scratch each;
    frame::TextSink discard; // not opened: the echo goes nowhere
    for (std::size_t cut : cuts) {
        AntexTables t;
        int status = -1;
        ASSERT_NO_THROW(status =
                            read_antex_v2b(each.write("t.atx", good.substr(0, cut)), t, each.log, discard))
            << cut;
        ASSERT_EQ(status, 0);
        ASSERT_LE(t.iatx_nant(), 4);
    }
    // Cut inside the azimuth rows of the receiver antenna: the rows read before the cut are there.
    const auto pos = good.find("\n   180.0");
    ASSERT_NE(pos, std::string::npos);
    Scratch s;
    AntexTables t;
    ASSERT_EQ(read_antex_v2b(s.write("t.atx", good.substr(0, pos + 1)), t, s.log, s.out), 0);
    EXPECT_NEAR(t.atx_pcv_azi(2, 1, 1, 1, 19, 36), azi_value(4, 1, 36, 19), 1e-9);
    EXPECT_EQ(t.atx_pcv_azi(2, 1, 1, 1, 19, 37), 0.0);
    EXPECT_EQ(t.pc_info(2, 1, 1), nullptr);
}

TEST(ReadAntex, LayoutVariants) {
    // CRLF line ends, labels without trailing blanks and lines longer than 5000 characters.
    std::string crlf;
    for (char c : sample_file()) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::string unpadded;
    std::istringstream in(sample_file());
    for (std::string l; std::getline(in, l);) {
        l.erase(l.find_last_not_of(' ') + 1);
        unpadded += l + "\n";
    }
    const std::string long_comment = header() + std::string(6000, 'x') + "\n" + block(sample_antennas()[3]);
    for (const std::string& text : {crlf, unpadded}) {
        Scratch s;
        AntexTables t;
        ASSERT_EQ(read_antex_v2b(s.write("t.atx", text), t, s.log, s.out), 0);
        const std::vector<Antenna> a = sample_antennas();
        expect_pattern(t, a[0], 1, 1, 1, 2, 32);
        expect_pattern(t, a[3], 1, 2, 1, 2, 1);
        expect_pattern(t, a[6], 2, 2, 1, 2, 4);
        EXPECT_EQ(t.atx_tdjm(1, 1, 2, 1), 54914.0);
    }
    Scratch s;
    AntexTables t;
    ASSERT_EQ(read_antex_v2b(s.write("t.atx", long_comment), t, s.log, s.out), 0);
    EXPECT_EQ(t.iatx_nant(), 1);
    EXPECT_NE(s.out_text().find("\n 5000 "), std::string::npos); // the line is seen cut at 5000
}

TEST(ReadAntex, DiagnosticEchoOnStandardOutput) {
    Scratch s;
    AntexTables t;
    Antenna a = sample_antennas()[0];
    a.freqs = {"G01"};
    ASSERT_EQ(read_antex_v2b(s.write("t.atx", header() + block(a)), t, s.log, s.out), 0);
    const std::string out = s.out_text();
    // Every line: its trimmed length (i5), a blank and its label (columns 61-80).
    EXPECT_EQ(out.rfind("   80 ANTEX VERSION / SYST\n antex_fv,antex_ss=\n 1.4 M\n", 0), 0u);
    EXPECT_NE(out.find("\n   67 COMMENT             \n"), std::string::npos);
    EXPECT_NE(out.find("\n   76 TYPE / SERIAL NO    \n ant_type,ant_sn,ant_svn,ant_cospar=\n"),
              std::string::npos);
    EXPECT_NE(out.find("\n xnorth,east,up=\n 111.25 112.5 113.75\n"), std::string::npos);
    EXPECT_NE(out.find("\n AFTER: iantrole,iconst,ifreq,isa,izen,pcv_noazi=\n 1 1 1 32 1 -1.79\n"),
              std::string::npos);
    EXPECT_NE(out.find("\n 1 1 1 32 15 -0.25\n"), std::string::npos);
    // Rows are echoed through their values, not as lines.
    EXPECT_EQ(out.find("NOAZI"), std::string::npos);
}

TEST(LoadAntennaCalibrations, LogLinesOfBothFiles) {
    Scratch s;
    // A one-antenna phase-centre table.
    std::string pcv;
    for (int i = 0; i < 11; ++i) pcv += "header\n";
    pcv += "AOAD/M_T        NONE description\n"
           "       0.6      -0.5      59.2\n"
           "   0.0   0.1   0.2   0.3   0.4   0.5   0.6   0.7   0.8   0.9\n"
           "   1.0   1.1   1.2   1.3   1.4   1.5   1.6   1.7   1.8\n"
           "       1.6      -1.5      69.2\n"
           "   0.0  -0.1  -0.2  -0.3  -0.4  -0.5  -0.6  -0.7  -0.8  -0.9\n"
           "  -1.0  -1.1  -1.2  -1.3  -1.4  -1.5  -1.6  -1.7  -1.8\n";
    frame::Config cfg;
    cfg.igspcvfile = s.write("t.pcv", pcv);
    cfg.igspcvfile.resize(132, ' ');
    cfg.antexfile = s.write("t.atx", sample_file());
    cfg.antexfile.resize(132, ' ');
    cfg.antexusage = true;
    PcvTable p;
    AntexTables t;
    load_antenna_calibrations(cfg, p, t, s.log, s.out);
    EXPECT_EQ(p.nant, 1);
    EXPECT_EQ(t.iatx_nant(), 4);
    const std::string log = s.log_text();
    const std::string pcv_lines =
        " \n"
        "  READ Phase Center values /mm: nant= 1\n"
        "  L1: iant,ant_type,ph_c_offset= 1 AOAD/M_T        NONE 0.6 -0.5 59.2\n"
        "    : ph_c_elev= 0.0 0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1.0 1.1 1.2 1.3 1.4 "
        "1.5 1.6 1.7 1.8\n"
        "  L2: iant,ant_type,ph_c_offset= 1 AOAD/M_T        NONE 1.6 -1.5 69.2\n"
        "    : ph_c_elev= 0.0 -0.1 -0.2 -0.3 -0.4 -0.5 -0.6 -0.7 -0.8 -0.9 -1.0 -1.1 "
        "-1.2 -1.3 -1.4 -1.5 -1.6 -1.7 -1.8\n"
        " \n";
    ASSERT_EQ(log.rfind(pcv_lines, 0), 0u) << log.substr(0, 600);
    const std::string antex_head = " \n"
                                   "  READ ANTEX PC values /mm: iatx_nant= 4\n"
                                   " ierrrantex= 0\n"
                                   " iconst,iprn,iatx_ksv(iconst,iprn)= 1 1 2\n"
                                   " 1 32 3\n"
                                   " 2 49 6\n"
                                   " iconst,iprn,iatx_ksv(iconst,iprn)= 1 2 0\n";
    EXPECT_EQ(log.find(antex_head), pcv_lines.size());
    EXPECT_NE(log.find("\n iconst,iprn,iatx_ksv(iconst,iprn)= 2 7 1\n 1 712 12\n"), std::string::npos);
    EXPECT_NE(
        log.find(
            "\n iconst,iprn,iatx_ksv(iconst,iprn)= 3 39 0\n iant,ant_type_(iant)= 1 AOAD/M_T        NONE\n"),
        std::string::npos);
    EXPECT_NE(log.find("\n iant,ant_type_(iant)= 3 GALILEO-1           \n"), std::string::npos);
    // 3 x 39 PRN lines and 3 entry lines.
    std::size_t n = 0;
    for (std::size_t pos = 0; (pos = log.find("iatx_ksv(iconst,iprn)=", pos)) != std::string::npos; ++pos)
        ++n;
    EXPECT_EQ(n, 117u);
    // Offsets: roles 1-2, constellations 1-2 only (the Galileo entries are not listed), in loop order.
    const std::string pco = " iantrole,iconst,ifre,isa,i,atx_pco_neu= ";
    const auto first = log.find(pco);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.find(pco + "1 1 1 32 1 111.25\n"), first);
    std::size_t npco = 0;
    for (std::size_t pos = 0; (pos = log.find(pco, pos)) != std::string::npos; ++pos) ++npco;
    // GPS satellites 32 (2 freq), 49 (2), GLONASS 712 (2), receivers 1 (2), 2 (2), 4 (2): 12 x 3.
    EXPECT_EQ(npco, 36u);
    EXPECT_EQ(log.find(pco + "2 3 "), std::string::npos);
    EXPECT_NE(log.find(pco + "2 1 2 4 3 733.75\n"), std::string::npos);
    // The log ends with the last offset line.
    EXPECT_EQ(log.substr(log.size() - 1), "\n");
}

TEST(LoadAntennaCalibrations, SilentLogAndNoAntex) {
    Scratch s;
    frame::Config cfg;
    cfg.igspcvfile = s.path("absent.pcv");
    cfg.antexusage = false;
    cfg.antexfile = s.path("absent.atx"); // not opened
    s.log.silent = true;
    PcvTable p;
    AntexTables t;
    load_antenna_calibrations(cfg, p, t, s.log, s.out);
    EXPECT_EQ(p.nant, 0);
    EXPECT_EQ(s.log_text(), " ERROR: opening igspcvfile file:  " + s.path("absent.pcv") +
                                "\n \n WARNING: Not used ANTEX file (antex_usage=  F )\n");
    EXPECT_EQ(s.out_text(), "");

    Scratch v;
    PcvTable p2;
    load_antenna_calibrations(cfg, p2, t, v.log, v.out);
    EXPECT_EQ(v.log_text(),
              " ERROR: opening igspcvfile file:  " + s.path("absent.pcv") +
                  "\n \n  READ Phase Center values /mm: nant= 0\n \n WARNING: Not used ANTEX file "
                  "(antex_usage=  F )\n");
}

TEST(ReadAntex, CorruptedFilesNeverCrash) {
    // Characters of a well-formed file replaced at random (digits, signs, exponents, the words Inf and
    // NaN, system letters, line ends): every outcome is a load or a stop with a message, never a crash
    // or a read outside the tables (the sanitizer build runs this too).
    const std::string good = sample_file();
    const std::string alphabet = " 0123456789.-+eEdDInfNaGRECJSMX\n";
    std::mt19937 rng(20240611);
    Scratch s;
    frame::TextSink sink;
    ASSERT_TRUE(sink.open("/dev/null"));
    int loads = 0, stops = 0;
    for (int iter = 0; iter < 250; ++iter) {
        std::string text = good;
        const int changes = 1 + static_cast<int>(rng() % 6);
        for (int c = 0; c < changes; ++c) text[rng() % text.size()] = alphabet[rng() % alphabet.size()];
        AntexTables t;
        try {
            EXPECT_EQ(read_antex_v2b(s.write("t.atx", text), t, s.log, sink), 0);
            ++loads;
        } catch (const frame::Stop&) {
            ++stops;
        }
    }
    EXPECT_GT(loads, 0);
    EXPECT_GT(stops, 0);
}

TEST(ReadAntex, AccuracyBlocksDoNotReplaceTheCalibration) {
    // START OF FREQ RMS ... END OF FREQ RMS repeats the layout of a frequency block with the
    // accuracies; its offset line and rows are read past.
    Antenna a = sample_antennas()[3]; // DAZI 5, 19 nodes, G01 and G02
    std::string text = block(a);
    std::string rms;
    for (const char* f : {"G01", "G02"}) {
        rms += L(std::string("   ") + f, "START OF FREQ RMS");
        rms += L("      0.50      0.50      0.90", "NORTH / EAST / UP");
        rms += "   NOAZI" + std::string(19 * 8, ' ').replace(0, 8, "    0.30") + "\n";
        for (int r = 0; r < 73; ++r) rms += fmt("%8.1f", r * 5.0) + fmt("%8.2f", 0.3) + "\n";
        rms += L(std::string("   ") + f, "END OF FREQ RMS");
    }
    text.insert(text.find(L("", "END OF ANTENNA")), rms);
    Scratch s;
    AntexTables t;
    ASSERT_EQ(read_antex_v2b(s.write("t.atx", header() + text), t, s.log, s.out), 0);
    expect_pattern(t, a, 0, 2, 1, 1, 1);
    expect_pattern(t, a, 1, 2, 1, 2, 1);
    EXPECT_EQ(t.pattern_count(), 2u);
    expect_info(t, a, 2, 1, 1);
}
