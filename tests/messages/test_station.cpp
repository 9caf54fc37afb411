// Station metadata messages: each reader on well-formed lines and on their malformed twins, the
// handlers' flags, echo lines, rejection lines and stops, the antenna-type matching passes, the
// exclusion lists, and the copy of well-read lines to standard output.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "auxfiles/pcv.hpp"
#include "frame/log.hpp"
#include "frame/state.hpp"
#include "frame/stop.hpp"
#include "messages/registry.hpp"
#include "messages/station.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::messages;
using namespace quelmar::testing_support;

namespace {

using float128 = __float128;

// ---- Building message lines (independently of the readers' formats) -------------------------------

// Columns 1-27 of a layout-S line: code, four blanks, yy mo dd hh mi (i2 after a blank), sec (f5.1), blank.
std::string hdr(const char* code, int yy = 15, int mo = 7, int dd = 1, int hh = 12, int mi = 0,
                double sec = 0.0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%-3s    %02d %02d %02d %02d %02d%5.1f ", code, yy, mo, dd, hh, mi, sec);
    return buf;
}

std::string f14(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%14.4f", v);
    return buf;
}

std::string i6(int v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%6d", v);
    return buf;
}

std::string e12(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%12.4E", v);
    return buf;
}

std::string pad(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

std::string xyz_line(const std::string& rec, double x, double y, double z) {
    return hdr("XYZ") + rec + " " + f14(x) + f14(y) + f14(z);
}
std::string ant_line(const std::string& rec, const std::string& num, const std::string& type) {
    return hdr("ANT") + rec + " " + pad(num, 20) + pad(type, 20);
}
std::string and_line(const std::string& rec, double h, double e, double n) {
    return hdr("AND") + rec + " " + f14(h) + f14(e) + f14(n);
}
// The 66 values v(n) = n * 1e-3 for amplitudes (n = 1..33) and n for phases (n = 34..66).
double ot2_value(int n) {
    return n <= 33 ? n * 1e-3 : n * 1.0;
}
std::string ot2_line(const std::string& rec, int nvalues = 66) {
    std::string s = hdr("OT2") + rec;
    for (int n = 1; n <= nvalues; ++n) (s += ' ') += e12(ot2_value(n));
    return s;
}
std::string wlf_line(const std::string& rec, const std::vector<int>& f) {
    std::string s = hdr("WLF") + rec + " ";
    for (int v : f) s += i6(v);
    return s;
}
std::string lea_line(int leapsec) {
    return hdr("LEA") + i6(leapsec);
}
std::string list_line_of(const char* code, int count, const std::vector<std::string>& names) {
    // The first name follows the count directly (columns 34-37), the others after one blank each.
    std::string s = hdr(code) + i6(count);
    for (std::size_t i = 0; i < names.size(); ++i) s += (i == 0 ? "" : " ") + names[i];
    return s;
}

// Replaces the character at column `col` (from 1).
std::string with_char(std::string s, std::size_t col, char c) {
    if (s.size() < col) s.resize(col, ' ');
    s[col - 1] = c;
    return s;
}

// MJD 57204 is 2015-07-01; the default header time is 12:00:00.
constexpr double tdjm_default = 57204.5;

// n blanks; the expected log lines below count the leading blank of a list-directed line in them.
std::string blanks(int n) {
    return std::string(static_cast<std::size_t>(n), ' ');
}

// ---- The state one station message reads and fills --------------------------------------------------

class Station : public ::testing::Test {
  protected:
    Station() {
        EXPECT_TRUE(out.open(dir.path("stdout.txt")));
        cap.log.silent = true;
        // A small phase-centre table; the order matters to the matching passes.
        const char* types[] = {
            "TRM29659.00     NONE", // 1
            "TRM29659.00     SCIS", // 2
            "ASH701945C_M    NONE", // 3
            "LEIAR25.R3      LEIT", // 4
            "JAV_RINGANT_G3T     ", // 5: blank radome in the table
            "ASH701945C_M    SNOW", // 6: never reached through the second pass
        };
        for (int a = 1; a <= 6; ++a) {
            auxfiles::PcvAntenna ant;
            ant.ant_type = types[a - 1];
            for (int c = 0; c < 3; ++c) ant.offset[0][static_cast<std::size_t>(c)] = a * 10.0 + c + 0.5;
            for (int k = 0; k < auxfiles::pcv_nelev; ++k)
                ant.elev[0][static_cast<std::size_t>(k)] = a + 0.25 * k;
            pcv.antennas.push_back(ant);
        }
        pcv.nant = 6;
    }

    std::string stdout_text() {
        out.flush();
        return dir.read("stdout.txt");
    }
    std::vector<std::string> log_lines() { return cap.lines(); }

    // Handlers by code, with the state of this fixture.
    int run(const std::string& code, const std::string& line) {
        if (code == "XYZ") return handle_xyz(line, sta, reg, st, irec, cap.log, out);
        if (code == "ANT") return handle_ant(line, pcv, sta, reg, st, irec, cap.log, out);
        if (code == "AND") return handle_and(line, sta, reg, st, irec, cap.log, out);
        if (code == "OT2") return handle_ot2(line, sta, reg, st, irec, cap.log, out);
        if (code == "WLF") return handle_wlf(line, sta, reg, st, irec, cap.log, out);
        if (code == "LEA") return handle_lea(line, sta, st, cap.log, out);
        if (code == "EXG") return handle_exg(line, sta, reg, cap.log, out);
        if (code == "EXI") return handle_exi(line, sta, reg, cap.log, out);
        ADD_FAILURE() << "no handler for " << code;
        return -1;
    }

    // The stop of a handler, or "" when it returned.
    std::string stop_of(const std::string& code, const std::string& line) {
        try {
            run(code, line);
        } catch (const frame::Stop& s) {
            return s.has_message() ? s.message() : "(silent stop)";
        }
        return "";
    }

    TempDir dir;
    CapturedLog cap{dir.path() / "test.log"};
    frame::TextSink out;
    StationTables sta;
    StationRegistry reg;
    frame::RunState st;
    std::int32_t irec = 0;
    auxfiles::PcvTable pcv;
};

// Every read flag of every receiver, to see that a rejected line changes none.
std::vector<bool> flags_of(const frame::RunState& st) {
    std::vector<bool> v;
    for (int i = 1; i <= maxrec; ++i) {
        v.push_back(st.is_xyz_read(i));
        v.push_back(st.is_ant_read(i));
        v.push_back(st.is_and_read(i));
        v.push_back(st.is_otl_read(i));
        v.push_back(st.is_wlf_read(i));
    }
    v.push_back(st.is_lea_read);
    return v;
}

} // namespace

// ---- Well-formed lines: what each message sets ------------------------------------------------------

TEST_F(Station, XyzStoresPositionTimeTagAndFlagOfItsSlot) {
    EXPECT_EQ(run("XYZ", xyz_line("BELL", 4775849.6, 116814.1, 4213018.8)), 0);
    const std::string ebre = hdr("XYZ", 15, 7, 1, 23, 59, 59.9) + "EBRE " + f14(-1.25) + f14(0.0) + f14(1e9);
    EXPECT_EQ(run("XYZ", ebre), 0);
    EXPECT_EQ(irec, 2);
    EXPECT_EQ(reg.nrec, 2);
    EXPECT_EQ(sta.recxyz0_(1, 1), 4775849.6);
    EXPECT_EQ(sta.recxyz0_(2, 1), 116814.1);
    EXPECT_EQ(sta.recxyz0_(3, 1), 4213018.8);
    EXPECT_EQ(sta.recxyz0_(1, 2), -1.25);
    EXPECT_EQ(sta.recxyz0_(3, 2), 1e9);
    // 23:59:59.9 stays on its day; the tag is the double sum, widened.
    const double t2 = 57204 + (23 + 59 / 60.0 + 59.9 / 3600.0) / 24.0;
    EXPECT_TRUE(sta.tdjmxyz == float128(t2));
    EXPECT_TRUE(st.tdjmxyz_reclst(1) == float128(tdjm_default));
    EXPECT_TRUE(st.tdjmxyz_reclst(2) == float128(t2));
    EXPECT_TRUE(st.tdjmxyz_reclst(3) == float128(-99999.9)); // untouched slots keep their start value
    EXPECT_TRUE(st.is_xyz_read(1) && st.is_xyz_read(2) && !st.is_xyz_read(3));
    // A later position of a known receiver reuses its slot.
    EXPECT_EQ(run("XYZ", xyz_line("BELL", 1.0, 2.0, 3.0)), 0);
    EXPECT_EQ(irec, 1);
    EXPECT_EQ(reg.nrec, 2);
    EXPECT_EQ(sta.recxyz0_(2, 1), 2.0);
    EXPECT_EQ(log_lines(), std::vector<std::string>{}); // silent log: no echo
}

TEST_F(Station, EchoLinesOfEachMessageWhenTheLogIsNotSilent) {
    cap.log.silent = false;
    run("XYZ", xyz_line("BELL", 4775849.6, 116814.1, 4213018.8));
    run("ANT", ant_line("BELL", "12345", "TRM29659.00     SCIS"));
    run("AND", and_line("BELL", 0.0825, -0.001, 0.5));
    run("WLF", wlf_line("BELL", {1, 1, 2}));
    run("LEA", lea_line(17));
    std::string zeros15, zeros19;
    for (int i = 0; i < 15; ++i) zeros15 += " 0.0";
    std::string wlf54 = " 1 1 2";
    for (int i = 0; i < 51; ++i) wlf54 += " 0";
    const std::vector<std::string> expected = {
        "  READ approx. rec. XYZ: recxyz0= 4775849.6 116814.1 4213018.8" + zeros15,
        blanks(23) + ":irec,nrec,reclst= 1 1 BELL",
        blanks(23) + ":tdjmxyz,ierrxyz= 57204.5 0",
        "  READ ANtenna Type (ANT): irec= 1",
        blanks(23) + ":tdjmant,ierrant= 57204.5 0",
        "     Recognized antenna type: ant_type_= TRM29659.00     SCIS",
        blanks(25) + "L1 :phase_center_offset_= 20.5 21.5 22.5",
        blanks(25) +
            "L1 :phase_center_elev_= 2.0 2.25 2.5 2.75 3.0 3.25 3.5 3.75 4.0 4.25 4.5 4.75 5.0 5.25 5.5 "
            "5.75 6.0 6.25 6.5",
        "  READ ANtenna Delta (AND): irec,ant_delta_HEN= 1 0.0825 -0.001 0.5",
        blanks(23) + ":tdjmand,ierrand= 57204.5 0",
        "  READ WaveLength Factors: irec,nrec,reclst= 1 1 BELL" + blanks(25), // five blank names
        blanks(25) + ": iwlf=" + wlf54,
        blanks(25) + ": tdjmwlf,ierr= 57204.5 0",
        // "(a,i6,f18.10,i2)"
        " READ LEAp second: leapsec,tdjmlea,ierr=    17  57204.5000000000 0",
    };
    EXPECT_EQ(log_lines(), expected);
}

TEST_F(Station, Ot2StoresComponentsAndConstituentsInMessageOrderAndEchoesInTableOrder) {
    ASSERT_EQ(run("OT2", ot2_line("BELL")), 0);
    EXPECT_TRUE(st.is_otl_read(1));
    EXPECT_TRUE(sta.tdjmotl == float128(tdjm_default));
    // Amplitudes: component 1 constituents 1..11, then components 2 and 3; then the phases.
    for (int k = 1; k <= 3; ++k)
        for (int j = 1; j <= 11; ++j) {
            const int n = (k - 1) * 11 + j;
            EXPECT_DOUBLE_EQ(sta.tamp_otl(1, k, j), ot2_value(n)) << k << "," << j;
            EXPECT_DOUBLE_EQ(sta.tph_otl(1, k, j), ot2_value(33 + n)) << k << "," << j;
        }
    // A second receiver does not disturb the first.
    ASSERT_EQ(run("OT2", ot2_line("EBRE", 3)), 0); // the rest read as zero
    EXPECT_DOUBLE_EQ(sta.tamp_otl(2, 1, 3), 0.003);
    EXPECT_EQ(sta.tamp_otl(2, 1, 4), 0.0);
    EXPECT_EQ(sta.tph_otl(2, 3, 11), 0.0);
    EXPECT_DOUBLE_EQ(sta.tph_otl(1, 3, 11), 66.0);

    // The echo walks the receiver's section with the component fastest: (1,1) (2,1) (3,1) (1,2) ...
    cap.log.silent = false;
    ASSERT_EQ(run("OT2", ot2_line("BELL")), 0);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(
        lines[0].starts_with("  READ Ocean Tidal Load. (OT2): irec,tamp_otl,tph_otl= 1 0.001 0.012 0.023 "
                             "0.002 0.013 0.024 0.003 "))
        << lines[0];
    EXPECT_NE(lines[0].find(" 0.011 0.022 0.033 34.0 45.0 56.0 35.0"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].size() - 15), " 44.0 55.0 66.0");
    EXPECT_EQ(lines[1], blanks(23) + ":tdjmotl,ierrotl= 57204.5 0");
}

TEST_F(Station, WlfStoresNineFactorsAndMissingTrailingOnesAreZero) {
    ASSERT_EQ(run("WLF", wlf_line("BELL", {1, 2, 3, 4, 5, 6, 7, 8, 9})), 0);
    ASSERT_EQ(run("WLF", wlf_line("EBRE", {-1, 2})), 0);
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(sta.iwlf(i, 1), i);
    EXPECT_EQ(sta.iwlf(1, 2), -1);
    EXPECT_EQ(sta.iwlf(2, 2), 2);
    for (int i = 3; i <= 9; ++i) EXPECT_EQ(sta.iwlf(i, 2), 0);
    // A shorter message later replaces all nine of the receiver's factors.
    ASSERT_EQ(run("WLF", wlf_line("BELL", {2})), 0);
    EXPECT_EQ(sta.iwlf(1, 1), 2);
    EXPECT_EQ(sta.iwlf(9, 1), 0);
    EXPECT_TRUE(st.is_wlf_read(1) && st.is_wlf_read(2));
    EXPECT_TRUE(sta.tdjmwlf == float128(tdjm_default));
}

TEST_F(Station, AndAndLeaStoreTheirValues) {
    ASSERT_EQ(run("AND", and_line("MADR", 1.5, -0.25, 0.125)), 0);
    EXPECT_EQ(sta.ant_delta_hen(1, 1), 1.5);
    EXPECT_EQ(sta.ant_delta_hen(1, 2), -0.25);
    EXPECT_EQ(sta.ant_delta_hen(1, 3), 0.125);
    EXPECT_TRUE(st.is_and_read(1));
    ASSERT_EQ(run("LEA", hdr("LEA", 17, 1, 1, 0, 0, 0.0) + i6(18)), 0);
    EXPECT_EQ(sta.leapsec, 18);
    EXPECT_TRUE(sta.tdjmlea == float128(57754.0));
    EXPECT_TRUE(st.is_lea_read);
    EXPECT_EQ(reg.nrec, 1); // LEA names no receiver
}

TEST_F(Station, ShortLinesAndMissingTrailingFieldsReadAsBlanks) {
    // Z missing: zero.
    std::string xyz = xyz_line("BELL", 1.0, 2.0, 3.0);
    xyz.resize(60);
    EXPECT_EQ(run("XYZ", xyz), 0);
    EXPECT_EQ(sta.recxyz0_(2, 1), 2.0);
    EXPECT_EQ(sta.recxyz0_(3, 1), 0.0);
    // North and east missing.
    std::string and_ = and_line("BELL", 1.0, 2.0, 3.0);
    and_.resize(46);
    EXPECT_EQ(run("AND", and_), 0);
    EXPECT_EQ(sta.ant_delta_hen(1, 1), 1.0);
    EXPECT_EQ(sta.ant_delta_hen(1, 2), 0.0);
    // A header alone: the receiver name is four blanks and is registered as one.
    EXPECT_EQ(run("XYZ", hdr("XYZ")), 0);
    EXPECT_EQ(irec, 2);
    EXPECT_EQ(reg.reclst(2), "    ");
    // A header cut inside the seconds: the missing columns are blanks, so the field is "3    ", a
    // number without a point whose last digit is the one decimal of f5.1: 0.3 s.
    std::string lea = hdr("LEA").substr(0, 22);
    lea[21] = '3';
    EXPECT_EQ(run("LEA", lea), 0);
    EXPECT_EQ(sta.leapsec, 0);
    EXPECT_TRUE(sta.tdjmlea == float128(57204 + (12 + 0.3 / 3600.0) / 24.0));
    // A blank receiver name in the middle of a full line is a name as good as any other.
    EXPECT_EQ(run("ANT", ant_line("    ", "1", "TRM29659.00     NONE")), 0);
    EXPECT_EQ(irec, 2);
    EXPECT_EQ(sta.iant_(2), 1);
}

// ---- Malformed twins --------------------------------------------------------------------------------

struct BadLine {
    const char* what;
    std::string code;
    std::string line;
    std::vector<std::string> log; // after the well-formed set-up lines
};

TEST_F(Station, UnreadableRecordsAreRejectedWithoutTouchingAnything) {
    const std::string ot2_bad = with_char(ot2_line("BELL"), 33 + 13 * 40 + 5, 'x');
    const std::vector<BadLine> cases = {
        {"letter in ANT year",
         "ANT",
         with_char(ant_line("BELL", "1", "TRM29659.00     SCIS"), 9, 'A'),
         {" ERROR: reading ANT input record", " ERROR, rejected ANT: reading error"}},
        {"letter in ANT seconds",
         "ANT",
         with_char(ant_line("NEW1", "1", "TRM29659.00     SCIS"), 24, 'S'),
         {" ERROR: reading ANT input record", " ERROR, rejected ANT: reading error"}},
        {"letter in AND east",
         "AND",
         with_char(and_line("BELL", 1, 2, 3), 58, 'O'),
         {" ERROR: reading AND input record", " ERROR, rejected AND: reading error"}},
        {"letter in AND month",
         "AND",
         with_char(and_line("NEW1", 1, 2, 3), 12, 'l'),
         {" ERROR: reading AND input record", " ERROR, rejected AND: reading error"}},
        {"letter in the 41st OT2 value",
         "OT2",
         ot2_bad,
         {" ERROR: reading OTL input record", " ERROR, rejected OT2: reading error"}},
        {"letter in the last WLF factor",
         "WLF",
         with_char(wlf_line("NEW1", {1, 1, 1, 1, 1, 1, 1, 1, 1}), 86, 'I'),
         {" ERROR: reading WLF input record", " ERROR, rejected WLF: reading error"}},
        {"two points in a WLF factor",
         "WLF",
         hdr("WLF") + "BELL " + "   1.1",
         {" ERROR: reading WLF input record", " ERROR, rejected WLF: reading error"}},
        {"letter in LEA value",
         "LEA",
         hdr("LEA") + "    1S",
         {" ERROR: reading LEA input record", " ERROR, rejected LEA: reading error"}},
        {"letter in LEA minute",
         "LEA",
         with_char(lea_line(18), 21, 'X'),
         {" ERROR: reading LEA input record", " ERROR, rejected LEA: reading error"}},
        {"letter in EXG count", "EXG", hdr("EXG") + "     Z BELL", {" ERROR: reading EXG input record"}},
        {"letter in EXI day",
         "EXI",
         with_char(list_line_of("EXI", 1, {"NEW1"}), 15, 'D'),
         {" ERROR: reading EXI input record"}},
        {"EXG count above the table",
         "EXG",
         list_line_of("EXG", 7, {"BELL", "EBRE", "A", "B", "C", "D", "E"}),
         {" ERROR: reading EXG input record"}},
        {"EXI negative count", "EXI", list_line_of("EXI", -1, {}), {" ERROR: reading EXI input record"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Two receivers with everything set, and one leap second.
        StationTables fresh;
        sta = fresh;
        reg = StationRegistry();
        st = frame::RunState();
        for (const char* r : {"BELL", "EBRE"}) {
            ASSERT_EQ(run("XYZ", xyz_line(r, 1, 2, 3)), 0);
            ASSERT_EQ(run("ANT", ant_line(r, "9", "TRM29659.00     SCIS")), 0);
            ASSERT_EQ(run("AND", and_line(r, 0.1, 0.2, 0.3)), 0);
            ASSERT_EQ(run("OT2", ot2_line(r)), 0);
            ASSERT_EQ(run("WLF", wlf_line(r, {1, 1})), 0);
        }
        ASSERT_EQ(run("LEA", lea_line(17)), 0);
        ASSERT_EQ(run("EXG", list_line_of("EXG", 1, {"EBRE"})), 0);
        ASSERT_EQ(run("EXI", list_line_of("EXI", 2, {"EBRE", "BELL"})), 0);
        irec = 2;
        const auto flags = flags_of(st);
        const auto log_before = log_lines();
        const auto out_before = stdout_text();
        const auto xyz = sta.recxyz0_.flat();
        const std::vector<double> xyz_before(xyz.begin(), xyz.end());

        EXPECT_EQ(run(c.code, c.line), 1);

        auto log_after = log_lines();
        ASSERT_GE(log_after.size(), log_before.size());
        log_after.erase(log_after.begin(), log_after.begin() + static_cast<long>(log_before.size()));
        EXPECT_EQ(log_after, c.log);
        EXPECT_EQ(stdout_text(), out_before); // no copy of a rejected line
        auto expected_flags = flags;
        if (c.code == "LEA") expected_flags.back() = false; // the one flag a rejection clears
        EXPECT_EQ(flags_of(st), expected_flags);
        EXPECT_EQ(reg.nrec, 2);
        EXPECT_EQ(irec, 2);
        EXPECT_EQ(std::vector<double>(xyz.begin(), xyz.end()), xyz_before);
        EXPECT_EQ(sta.iant_(1), 2);
        EXPECT_EQ(sta.ant_delta_hen(1, 2), 0.2);
        EXPECT_DOUBLE_EQ(sta.tamp_otl(1, 2, 8), ot2_value(19));
        EXPECT_EQ(sta.iwlf(2, 1), 1);
        EXPECT_EQ(sta.leapsec, 17);
        // A failed list leaves the previous one whole.
        EXPECT_EQ(sta.nrec_exg, 1);
        EXPECT_EQ(sta.reclst_exg(1), "EBRE");
        EXPECT_EQ(sta.ireclst_exg(1), 2);
        EXPECT_EQ(sta.nrec_exi, 2);
        EXPECT_EQ(sta.reclst_exi(2), "BELL");
        EXPECT_EQ(sta.ireclst_exi(2), 1);
    }
}

TEST_F(Station, UnreadableXyzStopsTheRunAfterSixLogLines) {
    ASSERT_EQ(run("XYZ", xyz_line("BELL", 4775849.6, 116814.1, 4213018.8)), 0);
    ASSERT_EQ(run("AND", and_line("EBRE", 0, 0, 0)), 0); // the current receiver is now EBRE
    const std::string bad = with_char(xyz_line("MADR", 1, 2, 3), 40, 'Q') + "   ";
    EXPECT_EQ(stop_of("XYZ", bad), "ERROR, rejected XYZ: reading error");
    std::string zeros15;
    for (int i = 0; i < 15; ++i) zeros15 += " 0.0";
    const std::vector<std::string> expected = {
        " ERROR: reading XYZ input record", " ERROR, rejected XYZ: reading error",
        " ierrxyz,tdjmxyz= 1 57204.5",      " line1=  " + bad.substr(0, bad.size() - 3),
        " irec,nrec,maxrec= 2 2 6",         " recxyz0_= 4775849.6 116814.1 4213018.8" + zeros15,
        " reclst= BELL EBRE" + blanks(20), // four blank names
    };
    EXPECT_EQ(log_lines(), expected); // written although the log is silent
    EXPECT_EQ(reg.nrec, 2);           // MADR was never registered
    EXPECT_FALSE(st.is_xyz_read(2));
    EXPECT_EQ(stdout_text(),
              xyz_line("BELL", 4775849.6, 116814.1, 4213018.8) + "\n" + and_line("EBRE", 0, 0, 0) + "\n");
}

TEST_F(Station, AHeaderDateTheCalendarRejectsStopsTheRun) {
    for (const char* code : {"XYZ", "AND", "LEA", "EXG"}) {
        SCOPED_TRACE(code);
        std::string line = std::string(code) == "XYZ"   ? xyz_line("BELL", 1, 2, 3)
                           : std::string(code) == "AND" ? and_line("BELL", 1, 2, 3)
                           : std::string(code) == "LEA" ? lea_line(18)
                                                        : list_line_of("EXG", 1, {"BELL"});
        line[10] = '1';
        line[11] = '3'; // month 13
        EXPECT_EQ(stop_of(code, line), "(silent stop)");
        const auto lines = log_lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], " ERROR: in cldj");
        EXPECT_EQ(lines.back(), " iyear,mm,idd,djobs,j= 2015 13 1 0.0 2");
    }
}

// ---- Copy to standard output ------------------------------------------------------------------------

TEST_F(Station, WellReadLinesAreCopiedWithoutTrailingBlanksInInputOrder) {
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"XYZ", xyz_line("BELL", 1, 2, 3) + "      "},
        {"KLO", hdr("KLO") + "BELL anything"},
        {"ANT", ant_line("BELL", "SN 1", "TRM29659.00")},       // type blank-padded: trailing blanks dropped
        {"AND", with_char(and_line("BELL", 1, 2, 3), 50, 'x')}, // rejected
        {"AND", and_line("BELL", 1, 2, 3) + " trailing words are not read"},
        {"OT2", ot2_line("BELL")},
        {"DUT", hdr("DUT") + "1.0"},
        {"WLF", wlf_line("BELL", {1, 1, 1, 1, 1, 1, 1, 1, 1}) + "\t "},
        {"LEA", lea_line(18)},
        {"EXG", list_line_of("EXG", 1, {"BELL"})},
        {"EXI", list_line_of("EXI", 0, {})},
        {"XYZ", xyz_line("EBRE", 1, 2, 3) + std::string(1200, ' ') + "beyond column 1000"},
    };
    std::string expected;
    for (const auto& [code, line] : lines) {
        if (code == "KLO") {
            handle_klo(cap.log);
            continue;
        }
        if (code == "DUT") {
            handle_dut(cap.log);
            continue;
        }
        const int ierr = run(code, line);
        if (ierr != 0) continue;
        std::string copy = line;
        copy.erase(copy.find_last_not_of(' ') + 1);
        expected += copy + "\n";
    }
    EXPECT_EQ(stdout_text(), expected);
    EXPECT_NE(expected.find("\t\n"), std::string::npos); // only blanks are trailing blanks
    EXPECT_NE(expected.find("beyond column 1000\n"), std::string::npos);
}

TEST_F(Station, KloAndDutWarnEvenWhenSilentAndAreNotCopied) {
    for (bool silent : {true, false}) {
        cap.log.silent = silent;
        handle_klo(cap.log);
        handle_dut(cap.log);
    }
    const std::vector<std::string> w = {" WARNING: message KLO NOT CONSIDERED for now",
                                        " WARNING: message DUT NOT CONSIDERED for now"};
    EXPECT_EQ(log_lines(), (std::vector<std::string>{w[0], w[1], w[0], w[1]}));
    EXPECT_EQ(stdout_text(), "");
    EXPECT_EQ(reg.nrec, 0);
}

// ---- The registry through the messages --------------------------------------------------------------

TEST_F(Station, TheSeventhReceiverFromAnyMessageStopsTheRun) {
    const std::vector<std::pair<std::string, std::string>> seventh = {
        {"XYZ", xyz_line("SEVN", 1, 2, 3)},
        {"ANT", ant_line("SEVN", "1", "TRM29659.00     NONE")},
        {"AND", and_line("SEVN", 1, 2, 3)},
        {"OT2", ot2_line("SEVN")},
        {"WLF", wlf_line("SEVN", {1})},
        {"EXG", list_line_of("EXG", 2, {"REC1", "SEVN"})},
        {"EXI", list_line_of("EXI", 6, {"REC1", "REC2", "REC3", "REC4", "REC5", "SEVN"})},
        {"EXG", list_line_of("EXG", 1, {"sevn"})}, // names are case sensitive
    };
    for (const auto& [code, line] : seventh) {
        SCOPED_TRACE(line);
        reg = StationRegistry();
        // Six receivers from six different message types.
        ASSERT_EQ(run("XYZ", xyz_line("REC1", 1, 2, 3)), 0);
        ASSERT_EQ(run("ANT", ant_line("REC2", "1", "TRM29659.00     NONE")), 0);
        ASSERT_EQ(run("AND", and_line("REC3", 1, 2, 3)), 0);
        ASSERT_EQ(run("OT2", ot2_line("REC4")), 0);
        ASSERT_EQ(run("WLF", wlf_line("REC5", {1})), 0);
        ASSERT_EQ(run("EXI", list_line_of("EXI", 2, {"REC5", "REC6"})), 0);
        ASSERT_EQ(reg.nrec, 6);
        const auto n_before = log_lines().size();
        EXPECT_EQ(stop_of(code, line), "ERROR: please increase maxrec accordingly");
        const auto lines = log_lines();
        ASSERT_EQ(lines.size(), n_before + 2);
        EXPECT_EQ(lines[n_before], " ERROR: nrec=  7  > maxrec= 6");
        EXPECT_EQ(lines[n_before + 1], " ERROR: please increase maxrec accordingly");
        EXPECT_EQ(reg.nrec, 6);
    }
}

TEST_F(Station, TheSameNameInDifferentMessagesUsesOneSlot) {
    ASSERT_EQ(run("XYZ", xyz_line("BELL", 1, 2, 3)), 0);
    ASSERT_EQ(run("EXG", list_line_of("EXG", 1, {"EBRE"})), 0); // an unknown name takes a slot
    ASSERT_EQ(run("ANT", ant_line("EBRE", "1", "TRM29659.00     NONE")), 0);
    EXPECT_EQ(irec, 2);
    ASSERT_EQ(run("WLF", wlf_line("BELL", {1})), 0);
    EXPECT_EQ(irec, 1);
    ASSERT_EQ(run("AND", and_line("BEL ", 1, 2, 3)), 0); // trailing blank: another name
    EXPECT_EQ(irec, 3);
    EXPECT_EQ(reg.nrec, 3);
    EXPECT_TRUE(st.is_xyz_read(1) && st.is_wlf_read(1) && st.is_ant_read(2) && st.is_and_read(3));
    EXPECT_FALSE(st.is_ant_read(1) || st.is_xyz_read(2) || st.is_and_read(1));
}

// ---- Antenna type matching --------------------------------------------------------------------------

TEST_F(Station, AntennaTypeMatchingInTwoPasses) {
    const struct {
        const char* what;
        const char* type;
        int iant; // -999: no match
        bool warned;
    } cases[] = {
        {"exact type, found before the NONE entry of the model", "TRM29659.00     SCIS", 2, false},
        {"exact type with radome NONE", "TRM29659.00     NONE", 1, false},
        {"blank radome matches the NONE entry in the first pass", "TRM29659.00         ", 1, false},
        {"unknown radome falls back to the model's NONE entry", "ASH701945C_M    DOME", 3, true},
        {"radome SNOW present in the table: first pass, no warning", "ASH701945C_M    SNOW", 6, false},
        {"blank radome in message and table: equal types", "JAV_RINGANT_G3T     ", 5, false},
        {"NONE against a blank table radome: second pass", "JAV_RINGANT_G3T NONE", 5, true},
        {"model known only with another radome", "LEIAR25.R3      NONE", -999, false},
        {"model known only with another radome, blank", "LEIAR25.R3          ", -999, false},
        {"model not in the table", "NOV702GG        NONE", -999, false},
        {"case counts", "trm29659.00     SCIS", -999, false},
        {"blank type", "                    ", -999, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CapturedLog log(dir.path() / "ant.log");
        log.log.silent = true;
        st.is_ant_read(1) = true; // set by an earlier message
        const std::string line = ant_line("BELL", "4711 A", c.type);
        const int ierr = handle_ant(line, pcv, sta, reg, st, irec, log.log, out);
        EXPECT_EQ(ierr, c.iant > 0 ? 0 : 2);
        EXPECT_EQ(irec, 1);
        EXPECT_EQ(sta.iant_(1), c.iant);
        EXPECT_EQ(st.is_ant_read(1), c.iant > 0);
        EXPECT_TRUE(sta.tdjmant == float128(tdjm_default));
        const std::string type20 = pad(c.type, 20);
        const std::vector<std::string> tail = {
            blanks(19) + "antenna type:  " + type20,
            blanks(16) + "(antenna number:  4711 A" + blanks(14) + "  )",
        };
        std::vector<std::string> expected;
        if (c.warned) {
            expected = {" WARNING: No radome matching is finally required", blanks(19) + "receiver:  BELL"};
            expected.insert(expected.end(), tail.begin(), tail.end());
        } else if (c.iant < 0) {
            expected = {" ERROR, no matching antenna type for receiver: BELL"};
            expected.insert(expected.end(), tail.begin(), tail.end());
            expected.push_back(" ERROR, rejected ANT: reading error");
        }
        EXPECT_EQ(log.lines(), expected);
    }
    // Matched or not, every one of those lines was read and so went on to standard output.
    EXPECT_EQ(lines_of(stdout_text()).size(), std::size(cases));
}

TEST_F(Station, AnEmptyAntennaTableMatchesNothing) {
    auxfiles::PcvTable empty;
    EXPECT_EQ(
        handle_ant(ant_line("BELL", "1", "TRM29659.00     NONE"), empty, sta, reg, st, irec, cap.log, out),
        2);
    EXPECT_EQ(sta.iant_(1), -999);
    EXPECT_FALSE(st.is_ant_read(1));
    // Entries kept past nant (a table whose reading broke off) are not candidates.
    auxfiles::PcvTable partial = pcv;
    partial.nant = 0;
    EXPECT_EQ(
        handle_ant(ant_line("BELL", "1", "TRM29659.00     NONE"), partial, sta, reg, st, irec, cap.log, out),
        2);
}

// ---- Leap seconds -----------------------------------------------------------------------------------

TEST_F(Station, LeaSetsAndARejectedOneClearsTheFlagButKeepsTheValue) {
    ASSERT_EQ(run("LEA", lea_line(-5)), 0);
    EXPECT_EQ(sta.leapsec, -5);
    EXPECT_TRUE(st.is_lea_read);
    EXPECT_EQ(run("LEA", hdr("LEA") + "  18.0"), 1);
    EXPECT_FALSE(st.is_lea_read);
    EXPECT_EQ(sta.leapsec, -5);
    ASSERT_EQ(run("LEA", hdr("LEA", 16, 12, 31, 23, 59, 59.0) + i6(18)), 0);
    EXPECT_EQ(sta.leapsec, 18);
    EXPECT_TRUE(st.is_lea_read);
    EXPECT_TRUE(sta.tdjmlea == float128(57753 + (23 + 59 / 60.0 + 59.0 / 3600.0) / 24.0));
}

// ---- Exclusion lists --------------------------------------------------------------------------------

TEST_F(Station, ExclusionListsRegisterTheirNamesAndEcho) {
    cap.log.silent = false;
    ASSERT_EQ(run("XYZ", xyz_line("BELL", 1, 2, 3)), 0);
    ASSERT_EQ(run("EXG", list_line_of("EXG", 2, {"EBRE", "BELL"})), 0);
    EXPECT_EQ(sta.nrec_exg, 2);
    EXPECT_EQ(sta.reclst_exg(1), "EBRE");
    EXPECT_EQ(sta.reclst_exg(2), "BELL");
    EXPECT_EQ(sta.ireclst_exg(1), 2);
    EXPECT_EQ(sta.ireclst_exg(2), 1);
    EXPECT_EQ(reg.nrec, 2);
    EXPECT_TRUE(sta.tdjmexg == float128(tdjm_default));
    EXPECT_EQ(sta.nrec_exi, 0); // the other list is untouched
    ASSERT_EQ(run("EXI", list_line_of("EXI", 1, {"MADR"})), 0);
    EXPECT_EQ(sta.ireclst_exi(1), 3);
    EXPECT_EQ(run("EXI", hdr("EXI") + "    1x MADR"), 1);

    const std::string cont = blanks(32) + ": ";
    const std::vector<std::string> expected = {
        "  READ approx. rec. XYZ: recxyz0= 1.0 2.0 3.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 "
        "0.0 0.0",
        blanks(23) + ":irec,nrec,reclst= 1 1 BELL",
        blanks(23) + ":tdjmxyz,ierrxyz= 57204.5 0",
        "  READ EXcluded stat. in Geodesy: ireclst_exg= 2 1 0 0 0 0",
        cont + "nrec_exg,nrec= 2 2",
        cont + "reclst= BELL EBRE" + blanks(20),
        cont + "tdjmexg,ierrexg= 57204.5 0",
        "  READ EXcluded stat. in Ionosphere: ireclst_exi= 3 0 0 0 0 0",
        cont + "nrec_exi,nrec= 1 3",
        cont + "reclst= BELL EBRE MADR" + blanks(15),
        cont + "tdjmexi,ierrexi= 57204.5 0",
        // A rejected list: the reader's line, then the same echo of the unchanged list.
        " ERROR: reading EXI input record",
        "  READ EXcluded stat. in Ionosphere: ireclst_exi= 3 0 0 0 0 0",
        cont + "nrec_exi,nrec= 1 3",
        cont + "reclst= BELL EBRE MADR" + blanks(15),
        cont + "tdjmexi,ierrexi= 57204.5 1",
    };
    EXPECT_EQ(log_lines(), expected);
}

TEST_F(Station, ExclusionListCountsAndShortLines) {
    // Six names fill the table.
    ASSERT_EQ(run("EXG", list_line_of("EXG", 6, {"A001", "A002", "A003", "A004", "A005", "A006"})), 0);
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(sta.ireclst_exg(i), i);
    // A shorter list replaces the first entries only; the count says how many belong to it.
    ASSERT_EQ(run("EXG", list_line_of("EXG", 2, {"A006", "A005"})), 0);
    EXPECT_EQ(sta.nrec_exg, 2);
    EXPECT_EQ(sta.ireclst_exg(1), 6);
    EXPECT_EQ(sta.ireclst_exg(2), 5);
    EXPECT_EQ(sta.ireclst_exg(3), 3);
    EXPECT_EQ(sta.reclst_exg(3), "A003");
    // An empty list.
    ASSERT_EQ(run("EXG", list_line_of("EXG", 0, {})), 0);
    EXPECT_EQ(sta.nrec_exg, 0);
    EXPECT_EQ(sta.ireclst_exg(1), 6);
    // Names beyond the count are not read.
    reg = StationRegistry();
    ASSERT_EQ(run("EXI", list_line_of("EXI", 1, {"B001", "B002"})), 0);
    EXPECT_EQ(reg.nrec, 1);
    // A count larger than the names on the line reads blank names, which are registered like others.
    ASSERT_EQ(run("EXI", list_line_of("EXI", 3, {"B001"})), 0);
    EXPECT_EQ(sta.nrec_exi, 3);
    EXPECT_EQ(sta.reclst_exi(2), "    ");
    EXPECT_EQ(sta.ireclst_exi(2), 2);
    EXPECT_EQ(sta.ireclst_exi(3), 2);
    EXPECT_EQ(reg.nrec, 2);
    // A count field cut short and a blank count read as what is there.
    ASSERT_EQ(run("EXI", hdr("EXI")), 0);
    EXPECT_EQ(sta.nrec_exi, 0);
    // The first name starts right after the count field: one written a column late (after a blank,
    // as the later names are) is read shifted.
    ASSERT_EQ(run("EXI", hdr("EXI") + i6(1) + " B001"), 0);
    EXPECT_EQ(sta.reclst_exi(1), " B00");
}
