// EPH and CDS lines: the column layouts, what a well-read line stores, copies and logs, what a
// malformed line leaves untouched, which PRNs and counts are refused, and when the run stops.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame/log.hpp"
#include "frame/state.hpp"
#include "frame/stop.hpp"
#include "messages/ephemeris.hpp"
#include "messages/registry.hpp"
#include "support/test_support.hpp"
#include "textio/format.hpp"

using namespace quelmar;
using namespace quelmar::messages;
using quelmar::testing_support::CapturedLog;
using quelmar::testing_support::mjd_of;
using quelmar::testing_support::TempDir;

namespace {

// ---------------------------------------------------------------------------------------------------
// EPH lines

// One broadcast record: PRN, toc and the 29 values in the order of the navigation message.
struct Broadcast {
    int prn;
    int yy, mo, da, ho, mi;
    double sec;
    std::array<double, 29> v;
};

// The first two records of the broadcast file of 30 January 2002 (IGS brdc0300.02n), PRNs 1 and 2,
// laid out as in the file: clock line, then broadcast orbits 1..7.
// clang-format off
const Broadcast brdc_prn1 = {1, 2, 1, 30, 0, 0, 0.0, {
    0.213539693505e-03,  0.159161572810e-11,  0.0,
    101.0,              -142.40625,           0.437161066656e-08, -3.13042791004,
   -0.744871795178e-05,  0.531352218241e-02,  0.339187681675e-05,  5153.69856644,
    259200.0,           -0.186264514923e-08, -0.673800683646,      0.484287738800e-07,
    0.967630470173,      317.5,              -1.71545830500,      -0.822212819893e-08,
   -0.432518016112e-09,  1.0,                 1151.0,              0.0,
    4.0,                 0.0,                -0.325962901115e-08,  357.0,
    253038.0,            0.0}};
const Broadcast brdc_prn2 = {2, 2, 1, 30, 0, 0, 0.0, {
   -0.144470948726e-03, -0.591171556152e-11,  0.0,
    227.0,               35.1875,             0.566309303341e-08,  1.32852524616,
    0.176019966602e-05,  0.221486826195e-01,  0.749714672566e-05,  5151.97815514,
    259200.0,           -0.499188899994e-06,  1.31723448538,      -0.670552253723e-07,
    0.932245774864,      221.9375,           -1.97825072647,      -0.882965350480e-08,
    0.697886212619e-09,  1.0,                 1151.0,              0.0,
    2.8,                 0.0,                -0.186264514923e-08,  483.0,
    252000.0,            0.0}};
// clang-format on

// The slot table of each value, in record order: the layout the tests hold the reader to.
using Slots = Array1<double, maxsat>;
// clang-format off
const Slots EphemerisTable::*const fields[29] = {
    &EphemerisTable::clockbias_, &EphemerisTable::clockdrift_, &EphemerisTable::clockdriftrate_,
    &EphemerisTable::xiode_, &EphemerisTable::crs_, &EphemerisTable::deltan_, &EphemerisTable::xm0_,
    &EphemerisTable::cuc_, &EphemerisTable::e_, &EphemerisTable::cus_, &EphemerisTable::sqrta_,
    &EphemerisTable::toe_, &EphemerisTable::cic_, &EphemerisTable::omega_upper_, &EphemerisTable::cis_,
    &EphemerisTable::xi0_, &EphemerisTable::crc_, &EphemerisTable::omega_lower_,
    &EphemerisTable::omega_upper_dot_,
    &EphemerisTable::xidot_, &EphemerisTable::codes_on_l2_, &EphemerisTable::gpsweektoe_,
    &EphemerisTable::xl2pdataflag_,
    &EphemerisTable::svaccuracy_, &EphemerisTable::svhealth_, &EphemerisTable::tgd_, &EphemerisTable::xiodc_,
    &EphemerisTable::trans_time_mess_, &EphemerisTable::xfit_interval_};
// clang-format on

// The EPH line of a record in the documented layout; `nvalues` 31 adds the two spare fields of
// orbit 7 (written as zero, never read).
std::string eph_line(const Broadcast& b, int nvalues = 29) {
    static const textio::Format f("(a,i2,1X,I2.2,4(1X,I2),F5.1,3D19.12,7(3x,4d19.12))");
    std::vector<double> v(b.v.begin(), b.v.end());
    v.resize(static_cast<std::size_t>(nvalues), 0.0);
    return f.write("EPH ", b.prn, b.yy, b.mo, b.da, b.ho, b.mi, b.sec, v);
}

// Line edits for the malformed twins. Columns are numbered from 1.
std::string with_at(std::string s, int column, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) s.at(static_cast<std::size_t>(column - 1) + i) = text[i];
    return s;
}
std::string cut_after(const std::string& s, int column) {
    return s.substr(0, static_cast<std::size_t>(column));
}
std::string exponents_e(std::string s) {
    for (std::size_t i = 4; i < s.size(); ++i)
        if (s[i] == 'D') s[i] = 'E';
    return s;
}

// Compares every slot of two tables bit for bit.
bool same_tables(const EphemerisTable& a, const EphemerisTable& b) {
    auto same = [](auto sa, auto sb) { return std::memcmp(sa.data(), sb.data(), sa.size_bytes()) == 0; };
    for (const auto f : fields)
        if (!same((a.*f).flat(), (b.*f).flat())) return false;
    return same(a.iyytoc_.flat(), b.iyytoc_.flat()) && same(a.imotoc_.flat(), b.imotoc_.flat()) &&
           same(a.idaytoc_.flat(), b.idaytoc_.flat()) && same(a.ihotoc_.flat(), b.ihotoc_.flat()) &&
           same(a.imitoc_.flat(), b.imitoc_.flat()) && same(a.sectoc_.flat(), b.sectoc_.flat()) &&
           same(a.tsecdaytoc_.flat(), b.tsecdaytoc_.flat()) && same(a.tdjmtoc_.flat(), b.tdjmtoc_.flat()) &&
           same(a.iodec_.flat(), b.iodec_.flat());
}

// A standard-output stream written to a scratch file.
struct CapturedOut {
    TempDir dir;
    frame::TextSink out;
    CapturedOut() { EXPECT_TRUE(out.open(dir.path("stdout.txt"))); }
    std::string text() {
        out.flush();
        return dir.read("stdout.txt");
    }
};

// The PRN's slots hold the record `b`, and the values derived from its toc and issue of data.
void expect_slot_holds(const EphemerisTable& eph, int prn, const Broadcast& b, const std::string& what) {
    EXPECT_EQ(eph.iyytoc_(prn), b.yy) << what;
    EXPECT_EQ(eph.imotoc_(prn), b.mo) << what;
    EXPECT_EQ(eph.idaytoc_(prn), b.da) << what;
    EXPECT_EQ(eph.ihotoc_(prn), b.ho) << what;
    EXPECT_EQ(eph.imitoc_(prn), b.mi) << what;
    EXPECT_EQ(eph.sectoc_(prn), b.sec) << what;
    for (int k = 0; k < 29; ++k)
        EXPECT_EQ((eph.*fields[k])(prn), b.v[static_cast<std::size_t>(k)]) << what << " value " << k + 1;
    const double tsec = b.ho * 3600.0 + b.mi * 60.0 + b.sec;
    EXPECT_EQ(eph.tsecdaytoc_(prn), tsec) << what;
    // The MJD of the toc: exactly a double, within a rounding of the day count of the true value.
    const float128 t = eph.tdjmtoc_(prn);
    EXPECT_EQ(float128(static_cast<double>(t)), t) << what;
    const long mjd = mjd_of(2000 + b.yy, b.mo, b.da);
    EXPECT_NEAR(static_cast<double>(t - mjd), tsec / 86400.0, 1.5e-11) << what;
    EXPECT_EQ(eph.iodec_(prn), std::lround(b.v[3] * 10000) + std::lround(b.v[26])) << what;
}

Broadcast with_fit_interval(Broadcast b, double fit) {
    b.v[28] = fit;
    return b;
}
Broadcast with_prn(Broadcast b, int prn) {
    b.prn = prn;
    return b;
}
// Values from orbit `first` (1-based, 1..7) on read as zero.
Broadcast zero_from_orbit(Broadcast b, int first) {
    for (std::size_t k = static_cast<std::size_t>(3 + 4 * (first - 1)); k < b.v.size(); ++k) b.v[k] = 0.0;
    return b;
}

} // namespace

// The documented layout is the RINEX 2 navigation record with "EPH " in front and its eight lines
// joined: the record as it stands in the broadcast file, typed in, against the line the tests build.
TEST(EphLayout, IsTheNavigationRecordOnOneLine) {
    const std::string rinex =
        std::string(" 1 02  1 30  0  0  0.0 0.213539693505D-03 0.159161572810D-11 0.000000000000D+00") +
        "    0.101000000000D+03-0.142406250000D+03 0.437161066656D-08-0.313042791004D+01" +
        "   -0.744871795178D-05 0.531352218241D-02 0.339187681675D-05 0.515369856644D+04" +
        "    0.259200000000D+06-0.186264514923D-08-0.673800683646D+00 0.484287738800D-07" +
        "    0.967630470173D+00 0.317500000000D+03-0.171545830500D+01-0.822212819893D-08" +
        "   -0.432518016112D-09 0.100000000000D+01 0.115100000000D+04 0.000000000000D+00" +
        "    0.400000000000D+01 0.000000000000D+00-0.325962901115D-08 0.357000000000D+03" +
        "    0.253038000000D+06 0.000000000000D+00 0.000000000000D+00 0.000000000000D+00";
    EXPECT_EQ(eph_line(brdc_prn1, 31), "EPH " + rinex);
    EXPECT_EQ(eph_line(brdc_prn1).size(), 598u); // the fit interval ends in column 598

    CapturedLog cap;
    CapturedOut out;
    EphemerisTable eph;
    frame::RunState st;
    handle_eph("EPH " + rinex, eph, st, cap.log, out.out);
    EXPECT_EQ(eph.ierrre, 0);
    expect_slot_holds(eph, 1, brdc_prn1, "typed record");
    EXPECT_EQ(eph.iodec_(1), 1010357);
    EXPECT_EQ(eph.tdjmtoc_(1), float128(52304)); // 2002-01-30 0h
}

TEST(EphRead, WellFormedLinesAreStoredCopiedAndFlagged) {
    const std::string base = eph_line(brdc_prn1);
    const std::string longer = base + std::string(402, ' ') + "x" + std::string(50, 'y'); // past column 1000
    const Broadcast late = {7, 2, 1, 30, 23, 59, 59.9, brdc_prn2.v};
    const struct {
        const char* name;
        std::string line;
        Broadcast stored;
        std::string copy; // the copy expected on standard output
    } cases[] = {
        {"D exponents", base, brdc_prn1, base},
        {"E exponents", exponents_e(base), brdc_prn1, exponents_e(base)},
        {"second record", eph_line(brdc_prn2), brdc_prn2, eph_line(brdc_prn2)},
        {"PRN 35", eph_line(with_prn(brdc_prn2, 35)), with_prn(brdc_prn2, 35),
         eph_line(with_prn(brdc_prn2, 35))},
        {"toc 23:59:59.9", eph_line(late), late, eph_line(late)},
        {"orbit 7 with the transmission time only", cut_after(base, 579), with_fit_interval(brdc_prn1, 0.0),
         cut_after(base, 579)},
        {"short line: orbits 4..7 missing", cut_after(base, 320), zero_from_orbit(brdc_prn1, 4),
         cut_after(base, 320)},
        {"spare orbit-7 fields present", eph_line(brdc_prn1, 31), brdc_prn1, eph_line(brdc_prn1, 31)},
        {"trailing blanks", base + "      ", brdc_prn1, base},
        {"anything past column 1000 is not read", longer, brdc_prn1, longer},
    };
    for (const auto& c : cases) {
        CapturedLog cap;
        cap.log.silent = true;
        CapturedOut out;
        EphemerisTable eph;
        frame::RunState st;
        handle_eph(c.line, eph, st, cap.log, out.out);
        EXPECT_EQ(eph.ierrre, 0) << c.name;
        expect_slot_holds(eph, c.stored.prn, c.stored, c.name);
        for (int p = 1; p <= maxsat; ++p)
            EXPECT_EQ(st.is_eph_read(p), p == c.stored.prn) << c.name << " " << p;
        EXPECT_EQ(out.text(), c.copy + "\n") << c.name;
        EXPECT_EQ(cap.text(), "") << c.name; // silent: nothing to say about a good record
    }
}

TEST(EphRead, MalformedLinesAreRejectedAndLeaveEverythingAsItWas) {
    // Each twin carries the values of PRN 2's record: had anything been stored, it would show.
    const std::string twin = eph_line(with_prn(brdc_prn2, 1));
    const std::string reading = " ERROR: reading EPH input record\n ERROR, rejected EPH: reading error\n";
    auto prn_refused = [](const char* prn) {
        return std::string(" ERROR: EPH PRN outside 1..35: iprn= ") + prn +
               "\n ERROR, rejected EPH: PRN outside 1..35\n";
    };
    const struct {
        const char* name;
        std::string line;
        int ierr;
        std::string log;
    } cases[] = {
        {"letter in the PRN", with_at(twin, 6, "x"), 1, reading},
        {"letter in the year", with_at(twin, 9, "o"), 1, reading},
        {"letter in the minute", with_at(twin, 20, "O"), 1, reading},
        {"letter in the seconds", with_at(twin, 24, "s"), 1, reading},
        {"letter in the clock bias", with_at(twin, 30, "x"), 1, reading},
        {"letter in orbit 5", with_at(twin, 410, "l"), 1, reading},
        {"letter in the fit interval", with_at(twin, 590, "I"), 1, reading},
        {"PRN 0", with_at(twin, 5, " 0"), 2, prn_refused("0")},
        {"PRN 36", with_at(twin, 5, "36"), 2, prn_refused("36")},
        {"PRN 99", with_at(twin, 5, "99"), 2, prn_refused("99")},
        {"PRN -1", with_at(twin, 5, "-1"), 2, prn_refused("-1")},
        {"blank PRN", with_at(twin, 5, "  "), 2, prn_refused("0")},
        {"PRN 36 and a letter: a reading error first", with_at(with_at(twin, 5, "36"), 100, "x"), 1, reading},
        {"code line only", "EPH ", 2, prn_refused("0")},
    };
    for (const auto& c : cases) {
        CapturedLog cap;
        CapturedOut out;
        EphemerisTable eph;
        frame::RunState st;
        cap.log.silent = true;
        handle_eph(eph_line(brdc_prn1), eph, st, cap.log, out.out); // PRN 1 holds a record
        const EphemerisTable before = eph;
        const std::string copied = out.text();

        handle_eph(c.line, eph, st, cap.log, out.out);
        EXPECT_EQ(eph.ierrre, c.ierr) << c.name;
        EXPECT_TRUE(same_tables(eph, before)) << c.name;
        for (int p = 1; p <= maxsat; ++p) EXPECT_EQ(st.is_eph_read(p), p == 1) << c.name << " " << p;
        EXPECT_EQ(out.text(), copied) << c.name << ": a rejected line is not copied";
        EXPECT_EQ(cap.text(), c.log) << c.name; // written even with a silent log
    }

    // An exponent cut after its letter ("D+" then blanks) has no digits: a reading error.
    CapturedLog cap;
    CapturedOut out;
    EphemerisTable eph;
    frame::RunState st;
    handle_eph(cut_after(twin, 596), eph, st, cap.log, out.out);
    EXPECT_EQ(eph.ierrre, 1);
    EXPECT_FALSE(st.is_eph_read(1));
    EXPECT_EQ(out.text(), "");
}

TEST(EphRead, TheLaterRecordOfAPrnWinsWhateverItsTocOrIssue) {
    // The first record is two hours later and has the higher issue; the second still replaces it.
    Broadcast newer = with_prn(brdc_prn1, 5);
    newer.ho = 2;
    Broadcast older = with_prn(brdc_prn2, 5);
    older.v[3] = 77.0;  // IODE
    older.v[26] = 77.0; // IODC
    CapturedLog cap;
    cap.log.silent = true;
    CapturedOut out;
    EphemerisTable eph;
    frame::RunState st;
    handle_eph(eph_line(newer), eph, st, cap.log, out.out);
    expect_slot_holds(eph, 5, newer, "first");
    EXPECT_EQ(eph.iodec_(5), 1010357);
    handle_eph(eph_line(older), eph, st, cap.log, out.out);
    expect_slot_holds(eph, 5, older, "second");
    EXPECT_EQ(eph.iodec_(5), 770077);
    EXPECT_TRUE(eph.tdjmtoc_(5) < float128(52304.01));
    // Another PRN leaves slot 5 alone.
    handle_eph(eph_line(brdc_prn2), eph, st, cap.log, out.out);
    expect_slot_holds(eph, 5, older, "after PRN 2");
    expect_slot_holds(eph, 2, brdc_prn2, "PRN 2");
    EXPECT_EQ(out.text(), eph_line(newer) + "\n" + eph_line(older) + "\n" + eph_line(brdc_prn2) + "\n");
}

TEST(EphRead, IssueOfDataCombination) {
    const struct {
        double xiode, xiodc;
        std::int32_t iodec;
    } cases[] = {
        {101.0, 357.0, 1010357},
        {0.0, 0.0, 0},
        {255.0, 1023.0, 2551023},
        {2.5, 2.5, 25003},
        {0.0, -2.5, -3},
        {0.0, 0.5, 1}, // halves away from zero
        {1.0e300, 0.0, 2147483647},
        {-1.0e300, -1.0e300, -2147483647 - 1}, // nonsense: clamped, no overflow
    };
    for (const auto& c : cases) {
        Broadcast b = brdc_prn1;
        b.v[3] = c.xiode;
        b.v[26] = c.xiodc;
        CapturedLog cap;
        cap.log.silent = true;
        CapturedOut out;
        EphemerisTable eph;
        frame::RunState st;
        handle_eph(eph_line(b), eph, st, cap.log, out.out);
        ASSERT_EQ(eph.ierrre, 0) << c.xiode;
        EXPECT_EQ(eph.iodec_(1), c.iodec) << c.xiode << " " << c.xiodc;
    }
}

TEST(EphEcho, BlockOfAStoredRecordUnlessSilent) {
    CapturedLog cap;
    CapturedOut out;
    EphemerisTable eph;
    frame::RunState st;
    handle_eph(eph_line(brdc_prn1), eph, st, cap.log, out.out);
    const std::vector<std::string> expected = {
        " ",
        "  READ EPHemeris info: ",
        " iprn,iyytoc,imotoc,idaytoc= 1 2 1 30",
        " ihotoc,imitoc,sectoc= 0 0 0.0",
        " clockbias,clockdrift,clockdriftrate= 0.000213539693505 1.5916157281E-12 0.0",
        " xiode,crs,deltan,xm0= 101.0 -142.40625 4.37161066656E-09 -3.13042791004",
        " cuc,e,cus,sqrta= -7.44871795178E-06 0.00531352218241 3.39187681675E-06 5153.69856644",
        " toe,cic,omega_upper,cis= 259200.0 -1.86264514923E-09 -0.673800683646 4.842877388E-08",
        " xi0,crc,omega_lower,omega_upper_dot= 0.967630470173 317.5 -1.715458305 -8.22212819893E-09",
        " xidot,codes_on_l2,gpsweektoe,xl2pdataflag= -4.32518016112E-10 1.0 1151.0 0.0",
        " svaccuracy,svhealth,tgd,xiodc= 4.0 0.0 -3.25962901115E-09 357.0",
        " trans_time_mess,xfit_interval= 253038.0 0.0",
        " tdjmtoc_,ierrre= 52304.0 0",
        " ",
    };
    EXPECT_EQ(cap.lines(), expected);

    // Silent: a stored record says nothing; a rejected one still says why.
    CapturedLog quiet;
    quiet.log.silent = true;
    handle_eph(eph_line(brdc_prn2), eph, st, quiet.log, out.out);
    handle_eph(with_at(eph_line(brdc_prn2), 30, "x"), eph, st, quiet.log, out.out);
    EXPECT_EQ(quiet.text(), " ERROR: reading EPH input record\n ERROR, rejected EPH: reading error\n");
    EXPECT_TRUE(st.is_eph_read(2));
}

TEST(EphRead, TocDateTheCalendarRejectsStopsTheRunAfterTheCopy) {
    Broadcast b = brdc_prn1;
    b.mo = 13;
    CapturedLog cap;
    cap.log.silent = true;
    CapturedOut out;
    EphemerisTable eph;
    frame::RunState st;
    try {
        handle_eph(eph_line(b), eph, st, cap.log, out.out);
        ADD_FAILURE() << "a toc in month 13 was accepted";
    } catch (const frame::Stop& s) {
        EXPECT_FALSE(s.has_message());
    }
    EXPECT_EQ(cap.text(), " ERROR: in cldj\n iyear,mm,idd,djobs,j= 2002 13 30 0.0 2\n");
    EXPECT_EQ(out.text(), eph_line(b) + "\n");
    EXPECT_FALSE(st.is_eph_read(1));
}

// ---------------------------------------------------------------------------------------------------
// CDS lines

namespace {

struct Correction {
    int prn;
    std::string rec;
    double tdjm;
    int konprn;
    double sele0, xlon, xlat, ra, stec, sstec, rms, chi2;
    int idegree;
    int nunk;                  // the count written in columns 143-145
    std::vector<double> pairs; // value, sigma, value, sigma ... (may hold more than the count)
};

std::string cds_line(const Correction& c) {
    static const textio::Format f("(a,i2,1X,I2.2,4(1X,I2),F11.7,1X,a,1x,f13.6,1x,i3,f8.3,3f12.6,1x,f8.4,"
                                  "2(1x,f9.5),1x,e11.3,1x,i1,i3,8(1x,f10.5,1x,e10.3))");
    return f.write("CDS ", c.prn, 2, 1, 30, 12, 30, 15.0, c.rec, c.tdjm, c.konprn, c.sele0, c.xlon, c.xlat,
                   c.ra, c.stec, c.sstec, c.rms, c.chi2, c.idegree, c.nunk, c.pairs);
}

const std::vector<double> eight_pairs = {1.5,   0.0015, -2.25,    0.25,    10.125, 1.0e-6, 0.5,     3.5e+2,
                                         -0.75, 0.0125, 99.99999, 9.99e-3, -12.5,  0.5,    0.03125, 2.0e-2};

Correction sample(int prn, int nunk) {
    return {prn,     "EBRE", 52304.520833, 12,      35.125, 0.875, 40.5,       6371.0,
            15.3125, 0.25,   0.0625,       1.25e+3, 2,      nunk,  eight_pairs};
}

// Row entries 1..13 of a stored correction.
std::array<double, 13> fixed_entries(const Correction& c, int irec) {
    return {c.tdjm, double(c.konprn), double(irec),      c.sele0,       c.xlon, c.xlat, c.ra, c.stec, c.sstec,
            c.rms,  c.chi2,           double(c.idegree), double(c.nunk)};
}

} // namespace

TEST(CdsLayout, ColumnsOfTheDocumentedLayout) {
    const std::string l = cds_line(sample(7, 3));
    EXPECT_EQ(l.substr(4, 2), " 7");
    EXPECT_EQ(l.substr(33, 4), "EBRE");              // 34-37
    EXPECT_EQ(l.substr(38, 13), " 52304.520833");    // 39-51
    EXPECT_EQ(l.substr(52, 3), " 12");               // 53-55
    EXPECT_EQ(l.substr(141, 1), "2");                // 142
    EXPECT_EQ(l.substr(142, 3), "  3");              // 143-145
    EXPECT_EQ(l.substr(146, 10), "   1.50000");      // 147-156
    EXPECT_EQ(l.substr(157, 10), " 0.150E-02");      // 158-167
    EXPECT_EQ(l.substr(146 + 22, 10), "  -2.25000"); // pair 2
}

TEST(CdsRead, NormalModeOnlyWarns) {
    for (const bool silent : {false, true}) {
        CapturedLog cap;
        cap.log.silent = silent;
        StationRegistry reg;
        CorrectionTable cds;
        handle_cds(cds_line(sample(7, 3)), false, reg, cds, cap.log);
        handle_cds("CDS garbage that would not read", false, reg, cds, cap.log);
        EXPECT_EQ(cap.text(),
                  " WARNING, rejected CDS record (CPF mode)\n WARNING, rejected CDS record (CPF mode)\n");
        EXPECT_EQ(reg.nrec, 0);
        for (const double v : cds.cpfdstec_adj.flat()) ASSERT_EQ(v, -99.0);
    }
}

TEST(CdsRead, RoverModeStoresTheRowForCounts0To8) {
    for (const int n : {0, 3, 8}) {
        CapturedLog cap;
        cap.log.silent = true;
        StationRegistry reg;
        std::int32_t irec = 0;
        indexing_rec("BELL", irec, reg, cap.log); // the receiver gets slot 2
        CorrectionTable cds;
        const Correction c = sample(7, n);
        handle_cds(cds_line(c), true, reg, cds, cap.log);
        EXPECT_EQ(cds.ierrrcds, 0) << n;
        EXPECT_EQ(cap.text(), "") << n;
        EXPECT_EQ(reg.nrec, 2);
        EXPECT_EQ(reg.reclst(2), "EBRE");
        EXPECT_EQ(cds.iprn, 7);
        EXPECT_EQ(cds.irefrec_ds, 2);
        EXPECT_EQ(cds.nunk_cds, n);
        EXPECT_EQ(cds.tdjm_cds, 52304.520833);
        EXPECT_EQ(cds.chi2_cds, 1250.0);
        const auto fixed = fixed_entries(c, 2);
        for (int k = 1; k <= 13; ++k) EXPECT_EQ(cds.cpfdstec_adj(7, k), fixed[k - 1]) << n << " k=" << k;
        for (int i = 1; i <= n; ++i) {
            EXPECT_EQ(cds.cpfdstec_adj(7, 12 + 2 * i), eight_pairs[2 * (i - 1)]) << n << " pair " << i;
            EXPECT_EQ(cds.cpfdstec_adj(7, 13 + 2 * i), eight_pairs[2 * (i - 1) + 1]) << n << " pair " << i;
            EXPECT_EQ(cds.xtmp_ds(i), eight_pairs[2 * (i - 1)]);
            EXPECT_EQ(cds.sxtmp_ds(i), eight_pairs[2 * (i - 1) + 1]);
        }
        // Pairs past the count (present in the line) are not read; other rows are untouched.
        for (int k = 14 + 2 * n; k <= ncpfdstec; ++k)
            EXPECT_EQ(cds.cpfdstec_adj(7, k), -99.0) << n << " k=" << k;
        for (int p = 1; p <= maxsat; ++p) {
            if (p == 7) continue;
            for (int k = 1; k <= ncpfdstec; ++k) ASSERT_EQ(cds.cpfdstec_adj(p, k), -99.0) << p;
        }
    }
}

TEST(CdsRead, FewerPairsLeaveTheLaterEntriesOfTheRow) {
    CapturedLog cap;
    cap.log.silent = true;
    StationRegistry reg;
    CorrectionTable cds;
    handle_cds(cds_line(sample(3, 3)), true, reg, cds, cap.log);
    Correction c = sample(3, 0);
    c.stec = 1.5;
    handle_cds(cds_line(c), true, reg, cds, cap.log);
    EXPECT_EQ(cds.cpfdstec_adj(3, 8), 1.5);
    EXPECT_EQ(cds.cpfdstec_adj(3, 13), 0.0);
    EXPECT_EQ(cds.cpfdstec_adj(3, 14), 1.5);    // pair 1 of the first record
    EXPECT_EQ(cds.cpfdstec_adj(3, 19), 1.0e-6); // sigma of its pair 3
    EXPECT_EQ(cds.cpfdstec_adj(3, 20), -99.0);
    EXPECT_EQ(reg.nrec, 1);
}

TEST(CdsEcho, LineOfAStoredRecordUnlessSilent) {
    CapturedLog cap;
    StationRegistry reg;
    CorrectionTable cds;
    handle_cds(cds_line(sample(12, 2)), true, reg, cds, cap.log);
    handle_cds(cds_line(sample(13, 0)), true, reg, cds, cap.log);
    EXPECT_EQ(cap.text(),
              " \n"
              "  tdjm_cds,irec,iprn,cpfdstec_adj= 52304.520833 1 12 2 52304.520833 12.0 1.0 35.125 0.875 "
              "40.5 6371.0 15.3125 0.25 0.0625 1250.0 2.0 2.0 1.5 0.0015 -2.25 0.25\n"
              " \n"
              "  tdjm_cds,irec,iprn,cpfdstec_adj= 52304.520833 1 13 0 52304.520833 12.0 1.0 35.125 0.875 "
              "40.5 6371.0 15.3125 0.25 0.0625 1250.0 2.0 0.0\n");
}

TEST(CdsRead, ReadingErrorEchoesThenStops) {
    const std::string good = cds_line(sample(12, 2));
    const std::string echo =
        "  tdjm_cds,irec,iprn,cpfdstec_adj= 52304.520833 1 12 2 52304.520833 12.0 1.0 35.125 "
        "0.875 40.5 6371.0 15.3125 0.25 0.0625 1250.0 2.0 2.0 1.5 0.0015 -2.25 0.25";
    const struct {
        const char* name;
        std::string line;
    } cases[] = {
        {"letter in the PRN", with_at(cds_line(sample(14, 2)), 5, "x")},
        {"letter in the header seconds", with_at(cds_line(sample(14, 2)), 30, "s")},
        {"letter in the time tag", with_at(cds_line(sample(14, 2)), 45, "x")},
        {"letter in the count", with_at(cds_line(sample(14, 2)), 145, "x")},
        {"letter in a pair value", with_at(cds_line(sample(14, 2)), 150 + 22, "x")},
        {"letter in a pair sigma", with_at(cds_line(sample(14, 2)), 160, "Q")},
    };
    for (const auto& c : cases) {
        for (const bool silent : {false, true}) {
            CapturedLog cap;
            cap.log.silent = silent;
            StationRegistry reg;
            CorrectionTable cds;
            handle_cds(good, true, reg, cds, cap.log); // PRN 12 stored, receiver in slot 1
            const std::string line = with_at(c.line, 34, "BELL");
            const CorrectionTable before = cds;
            bool stopped = false;
            try {
                handle_cds(line, true, reg, cds, cap.log);
            } catch (const frame::Stop& s) {
                stopped = true;
                EXPECT_EQ(s.message(), "ERROR: reading CDS message");
            }
            EXPECT_TRUE(stopped) << c.name;
            EXPECT_EQ(cds.ierrrcds, 1) << c.name;
            // The echo (values of the last stored record) comes before the stop's error line.
            const std::string expected =
                silent ? " ERROR: reading CDS input record\n ERROR: reading CDS message\n"
                       : " \n" + echo + "\n ERROR: reading CDS input record\n \n" + echo +
                             "\n ERROR: reading CDS message\n";
            EXPECT_EQ(cap.text(), expected) << c.name;
            EXPECT_EQ(reg.nrec, 1) << c.name << ": an unread receiver is not registered";
            EXPECT_EQ(std::memcmp(cds.cpfdstec_adj.flat().data(), before.cpfdstec_adj.flat().data(),
                                  cds.cpfdstec_adj.flat().size_bytes()),
                      0)
                << c.name;
        }
    }
}

TEST(CdsRead, PrnOrCountOutOfRangeIsRefusedAndTheRunGoesOn) {
    auto count = [](int n) {
        Correction c = sample(9, 0);
        c.nunk = n;
        return c;
    };
    const struct {
        const char* name;
        std::string line;
        const char* reason;
    } cases[] = {
        {"count 9", cds_line(count(9)), " ERROR: CDS count of value pairs outside 0..8: nunk_cds= 9"},
        {"count 999", cds_line(count(999)), " ERROR: CDS count of value pairs outside 0..8: nunk_cds= 999"},
        {"count -1", cds_line(count(-1)), " ERROR: CDS count of value pairs outside 0..8: nunk_cds= -1"},
        {"PRN 0", cds_line(sample(0, 2)), " ERROR: CDS PRN outside 1..35: iprn= 0"},
        {"PRN 36", cds_line(sample(36, 2)), " ERROR: CDS PRN outside 1..35: iprn= 36"},
        {"PRN 99 and count 9", cds_line({99, "EBRE", 1.0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, {}}),
         " ERROR: CDS PRN outside 1..35: iprn= 99"},
        {"blank PRN", with_at(cds_line(sample(9, 2)), 5, "  "), " ERROR: CDS PRN outside 1..35: iprn= 0"},
    };
    for (const auto& c : cases) {
        CapturedLog cap; // not silent: a refused record has no echo either way
        StationRegistry reg;
        CorrectionTable cds;
        const CorrectionTable before = cds;
        handle_cds(c.line, true, reg, cds, cap.log);
        EXPECT_EQ(cds.ierrrcds, 2) << c.name;
        EXPECT_EQ(cap.text(), std::string(c.reason) + "\n ERROR, rejected CDS record\n") << c.name;
        EXPECT_EQ(reg.nrec, 0) << c.name;
        EXPECT_EQ(cds.nunk_cds, before.nunk_cds);
        for (const double v : cds.cpfdstec_adj.flat()) ASSERT_EQ(v, -99.0) << c.name;
    }
}

// Damaged lines of both kinds (characters overwritten, lines cut, PRN and count columns garbled): each
// gives one of the statuses, a stop where a stop is due, and never a change outside a stored record.
TEST(EphCdsRobustness, DamagedLinesGiveStatusesAndTouchNothingElse) {
    testing_support::Rng rng(20020130);
    const std::string noise = "0123456789 -+.DEdeQx*\t";
    const std::vector<std::string> eph_bases = {eph_line(brdc_prn1), eph_line(brdc_prn2, 31)};
    const std::vector<std::string> cds_bases = {cds_line(sample(7, 8)), cds_line(sample(35, 0))};
    CapturedLog cap;
    cap.log.silent = true;
    CapturedOut out;
    EphemerisTable eph;
    frame::RunState st;
    StationRegistry reg;
    CorrectionTable cds;
    int stored = 0, unreadable = 0, refused = 0, stops = 0;
    for (int n = 0; n < 4000; ++n) {
        const bool is_eph = rng.chance(0.5);
        std::string line = is_eph ? rng.pick(eph_bases) : rng.pick(cds_bases);
        const int edits = static_cast<int>(rng.range(1, 3));
        for (int e = 0; e < edits; ++e) {
            const auto col =
                static_cast<std::size_t>(rng.range(4, static_cast<std::int64_t>(line.size()) - 1));
            line[col] =
                noise[static_cast<std::size_t>(rng.range(0, static_cast<std::int64_t>(noise.size()) - 1))];
        }
        if (rng.chance(0.2))
            line.resize(static_cast<std::size_t>(rng.range(4, static_cast<std::int64_t>(line.size()))));
        const EphemerisTable eph_before = eph;
        const CorrectionTable cds_before = cds;
        int status = 0;
        try {
            if (is_eph) {
                handle_eph(line, eph, st, cap.log, out.out);
                status = eph.ierrre;
            } else {
                handle_cds(line, true, reg, cds, cap.log);
                status = cds.ierrrcds;
            }
        } catch (const frame::Stop&) {
            ++stops; // a toc date the calendar rejects, a CDS reading error
            continue;
        }
        ASSERT_TRUE(status >= 0 && status <= 2) << line;
        if (status == 0) {
            ++stored;
            continue;
        }
        status == 1 ? ++unreadable : ++refused;
        if (is_eph) {
            EXPECT_TRUE(same_tables(eph, eph_before)) << line;
        } else {
            EXPECT_EQ(std::memcmp(cds.cpfdstec_adj.flat().data(), cds_before.cpfdstec_adj.flat().data(),
                                  cds.cpfdstec_adj.flat().size_bytes()),
                      0)
                << line;
        }
    }
    // Every outcome occurred, so the loop exercised each path.
    EXPECT_GT(stored, 0);
    EXPECT_GT(unreadable, 0);
    EXPECT_GT(refused, 0);
    EXPECT_GT(stops, 0);
    EXPECT_LE(reg.nrec, maxrec);
}
