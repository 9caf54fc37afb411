// The observation message: its two record layouts, the identification of the observables, the
// downdating grid, what an early rejection leaves in place, the receiver roles with their stops, the
// copy of selected lines to the output stream, and the driver's header read and trace lines.
//
// Test records are written with our own format engine in the layout of the record (columns checked
// against the layout table first), with values of a real day: the first epoch of BELL, 2002-01-30.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "auxfiles/precise_orbits.hpp"
#include "auxfiles/role_lists.hpp"
#include "frame/config.hpp"
#include "frame/log.hpp"
#include "frame/state.hpp"
#include "frame/stop.hpp"
#include "messages/observation.hpp"
#include "messages/registry.hpp"
#include "support/test_support.hpp"
#include "textio/format.hpp"

using namespace quelmar;
using namespace quelmar::messages;
using quelmar::testing_support::CapturedLog;
using quelmar::testing_support::lines_of;
using quelmar::testing_support::mjd_of;
using quelmar::testing_support::TempDir;

namespace {

// Write layouts of the record, column for column: "OB1 " then the fields of the read layout.
constexpr const char* write4 =
    "(a4,i2,1x,i2,4(1x,i2),f11.7,1x,a4,1x,a1,1x,i1,f12.9,i6,4(4x,a2),4(f14.3,i1,i1),1x,i5,1x,l1,1x,e15.7,"
    "1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1)";
constexpr const char* write6 =
    "(a4,i2,1x,i2,4(1x,i2),f11.7,1x,a4,1x,a1,1x,i1,f12.9,i6,6(4x,a2),6(f14.3,i1,i1),1x,i5,1x,l1,1x,e15.7,"
    "1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1)";

// The fields of one record. Default: BELL, PRN 7, 2002-01-30 00:00:00, L1 L2 C1 P2 as in the
// station's observation file for that epoch.
struct Ob1 {
    int iprn = 7;
    int yy = 2, mo = 1, da = 30, ho = 0, mi = 0;
    double sec = 0.0;
    std::string rec = "BELL";
    std::string ksat = "G";
    int epochflag = 0;
    double recclock = 0.000123456;
    std::vector<std::string> kobs{"L1", "L2", "C1", "P2"};
    std::vector<double> x{8313863.354, 5566499.270, 24111321.349, 24111332.823};
    std::vector<int> ias{0, 4, 0, 0}, isn{5, 5, 0, 4};
    int narch = 3;
    bool cs = false;
    double dt = 30.0;
    bool cs_dt = false;
    double d2li = 0.25;
    bool cs_d2li = false;
    double xli_lir = -1.5;
    double dbw = 0.5;
    bool cs_dbw = false;
    double dbew = 0.125;
    bool cs_dbew = true;
    double dlew_w = -2.0;
    bool cs_dlew_w = false;

    // With two more observables (band 5), for the six-observable layout.
    Ob1& six() {
        kobs = {"L1", "L2", "L5", "C1", "P2", "C5"};
        x = {8313863.354, 5566499.270, 6212345.678, 24111321.349, 24111332.823, 24111340.125};
        ias = {0, 4, 0, 0, 0, 1};
        isn = {5, 5, 6, 0, 4, 7};
        return *this;
    }

    std::string line() const {
        const bool six_obs = kobs.size() == 6;
        const textio::Format f(six_obs ? write6 : write4);
        std::vector<textio::OutItem> it{"OB1 ",
                                        iprn,
                                        yy,
                                        mo,
                                        da,
                                        ho,
                                        mi,
                                        sec,
                                        std::string_view(rec),
                                        std::string_view(ksat),
                                        epochflag,
                                        recclock,
                                        static_cast<int>(kobs.size())};
        for (const auto& k : kobs) it.emplace_back(std::string_view(k));
        for (std::size_t i = 0; i < kobs.size(); ++i) {
            it.emplace_back(x[i]);
            it.emplace_back(ias[i]);
            it.emplace_back(isn[i]);
        }
        for (const textio::OutItem& v :
             {textio::OutItem(narch), textio::OutItem(cs), textio::OutItem(dt), textio::OutItem(cs_dt),
              textio::OutItem(d2li), textio::OutItem(cs_d2li), textio::OutItem(xli_lir), textio::OutItem(dbw),
              textio::OutItem(cs_dbw)})
            it.push_back(v);
        if (six_obs)
            for (const textio::OutItem& v : {textio::OutItem(dbew), textio::OutItem(cs_dbew),
                                             textio::OutItem(dlew_w), textio::OutItem(cs_dlew_w)})
                it.push_back(v);
        std::string s;
        f.write_items(s, it);
        return s;
    }
};

// Replaces the character at a 1-based column.
std::string with_char(std::string line, std::size_t column, char c) {
    line.at(column - 1) = c;
    return line;
}

// The message of a stop, "<silent>" for a stop without one, "<no stop>" when nothing stopped.
std::string stop_message(const std::function<void()>& f) {
    try {
        f();
    } catch (const frame::Stop& s) {
        return s.has_message() ? s.message() : "<silent>";
    }
    return "<no stop>";
}

// Everything one reader call touches, fresh for each case.
class ObservationTest : public ::testing::Test {
  protected:
    ObservationTest() {
        out_path = tmp.path("out.txt");
        EXPECT_TRUE(out.open(out_path));
        cfg.idtsec_pre = 30;
    }

    RoleLists roles() const {
        RoleLists r;
        r.reclst_to_estimate_xyz = est;
        r.reclst_rover_sp3_sta = sp3;
        r.reclst_rover_sp3_leo_sta = leo;
        r.reclst_rover_like = like;
        r.reclst_rover_rt = rt;
        r.reclst_fixing_amb = fix;
        r.refrec = ref;
        return r;
    }

    std::int32_t read(const std::string& line, int idtsec_pre = 30) {
        return read_ob1_v4b(line, obs, reg, st, roles(), idtsec_pre, cap.log, out);
    }
    std::int32_t handle(const std::string& line) {
        return handle_ob1(line, obs, reg, st, roles(), cfg, cap.log, out);
    }
    std::string out_text() {
        out.flush();
        return tmp.read("out.txt");
    }

    TempDir tmp;
    std::string out_path;
    frame::TextSink out;
    CapturedLog cap;
    ObservationState obs;
    StationRegistry reg;
    frame::RunState st;
    frame::Config cfg;
    std::vector<std::string> est, sp3, leo, like, rt, fix;
    std::string ref = "    ";
};

// Band table as a compact text "band:position ..." of its non-zero entries.
void append_entry(std::string& s, int band, int position) {
    if (!s.empty()) s += ' ';
    s += std::to_string(band);
    s += ':';
    s += std::to_string(position);
}
std::string bands(const BandTable& t) {
    std::string s;
    for (int b = 1; b <= maxfre; ++b)
        if (t(b) != 0) append_entry(s, b, t(b));
    return s;
}
std::string receiver_bands(const Array2<std::int32_t, maxfre, maxrec>& t, int irec) {
    std::string s;
    for (int b = 1; b <= maxfre; ++b)
        if (t(b, irec) != 0) append_entry(s, b, t(b, irec));
    return s;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Layouts

TEST(Ob1Layout, RunTimeFormatsAreTheRecordLayouts) {
    EXPECT_EQ(ob1_format(4),
              "(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,04(4x,a2),4(f14.3,i1,i1),1x,"
              "i5,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1)");
    EXPECT_EQ(ob1_format(6),
              "(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,06(4x,a2),6(f14.3,i1,i1),1x,"
              "i5,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1,1x,e15.7,1x,l1,1x,e15.7,"
              "1x,l1)");
}

// The test records put each field in the columns of the layout table (so the reader is tested
// against the table, not against a copy of its own format).
TEST(Ob1Layout, TestRecordsFollowTheColumnTable) {
    auto col = [](const std::string& l, int a, int b) { return l.substr(a - 1, b - a + 1); };
    const std::string l4 = Ob1{}.line();
    ASSERT_EQ(l4.size(), 220u);
    EXPECT_EQ(col(l4, 1, 4), "OB1 ");
    EXPECT_EQ(col(l4, 5, 6), " 7");
    EXPECT_EQ(col(l4, 8, 21), " 2  1 30  0  0");
    EXPECT_EQ(col(l4, 22, 32), "  0.0000000");
    EXPECT_EQ(col(l4, 34, 37), "BELL");
    EXPECT_EQ(col(l4, 39, 39), "G");
    EXPECT_EQ(col(l4, 41, 41), "0");
    EXPECT_EQ(col(l4, 42, 53), " 0.000123456");
    EXPECT_EQ(col(l4, 54, 59), "     4");
    EXPECT_EQ(col(l4, 64, 65) + col(l4, 70, 71) + col(l4, 76, 77) + col(l4, 82, 83), "L1L2C1P2");
    EXPECT_EQ(col(l4, 84, 99), "   8313863.35405");
    EXPECT_EQ(col(l4, 132, 147), "  24111332.82304");
    EXPECT_EQ(col(l4, 149, 153), "    3");
    EXPECT_EQ(col(l4, 155, 155), "F");
    EXPECT_EQ(col(l4, 157, 171), "  0.3000000E+02");
    EXPECT_EQ(col(l4, 175, 189), "  0.2500000E+00");
    EXPECT_EQ(col(l4, 192, 202), "    -1.5000");
    EXPECT_EQ(col(l4, 204, 218), "  0.5000000E+00");
    EXPECT_EQ(col(l4, 220, 220), "F");

    const std::string l6 = Ob1{}.six().line();
    ASSERT_EQ(l6.size(), 300u);
    EXPECT_EQ(col(l6, 88, 89) + col(l6, 94, 95), "P2C5");
    EXPECT_EQ(col(l6, 96, 111), "   8313863.35405");
    EXPECT_EQ(col(l6, 193, 197), "    3");
    EXPECT_EQ(col(l6, 199, 199), "F");
    EXPECT_EQ(col(l6, 266, 280), "  0.1250000E+00");
    EXPECT_EQ(col(l6, 282, 282), "T");
    EXPECT_EQ(col(l6, 284, 298), " -0.2000000E+01");
    EXPECT_EQ(col(l6, 300, 300), "F");
}

// ---------------------------------------------------------------------------------------------------
// Reading well-formed records

TEST_F(ObservationTest, FourObservablesOfARealEpoch) {
    Ob1 r;
    r.sec = 30.0;
    ASSERT_EQ(read(r.line()), 0);
    const Observation& ob = obs.ob;
    EXPECT_EQ(ob.iprn, 7);
    EXPECT_EQ(ob.iyy, 2);
    EXPECT_EQ(ob.imo, 1);
    EXPECT_EQ(ob.ida, 30);
    EXPECT_EQ(ob.sec, 30.0);
    EXPECT_EQ(ob.rec, "BELL");
    EXPECT_EQ(ob.ksat, "G");
    EXPECT_EQ(ob.iepochflag, 0);
    EXPECT_DOUBLE_EQ(ob.recclock, 0.000123456);
    EXPECT_EQ(ob.nobs, 4);
    EXPECT_EQ(ob.kobs_(1) + ob.kobs_(2) + ob.kobs_(3) + ob.kobs_(4), "L1L2C1P2");
    EXPECT_DOUBLE_EQ(ob.xdata_(1), 8313863.354);
    EXPECT_DOUBLE_EQ(ob.xdata_(4), 24111332.823);
    EXPECT_EQ(ob.ias_(2), 4);
    EXPECT_EQ(ob.isn_(4), 4);
    EXPECT_EQ(ob.narch1, 3);
    EXPECT_EQ(ob.dtsec_ob1, 30.0);
    EXPECT_EQ(ob.d2li, 0.25);
    EXPECT_EQ(ob.xli_lir, -1.5);
    EXPECT_EQ(ob.dbw, 0.5);

    // Time values: 2002-01-30 is day 30, MJD 52304.
    EXPECT_EQ(ob.iyearobs, 2002);
    EXPECT_EQ(ob.idoyobs, 30);
    EXPECT_EQ(ob.idjobs, mjd_of(2002, 1, 30));
    EXPECT_EQ(ob.tsecdayobs, 30.0);
    EXPECT_EQ(ob.itsecdayobs, 30);
    // The epoch is a double widened to binary128, within a double's rounding of the exact value.
    EXPECT_EQ(ob.tdjmobs, float128(static_cast<double>(ob.tdjmobs)));
    const float128 exact = float128(52304) + float128(30) / float128(86400);
    EXPECT_LT(static_cast<double>(ob.tdjmobs > exact ? ob.tdjmobs - exact : exact - ob.tdjmobs), 1e-11);
    EXPECT_EQ(ob.iyyobs, 2);
    EXPECT_EQ(ob.imoobs, 1);
    EXPECT_EQ(ob.idaobs, 30);
    EXPECT_EQ(ob.secobs, 30.0);

    // L1 L2 C1 P2: carriers of bands 1 and 2 at positions 1 and 2, C code of band 1 at 3, P code of
    // band 2 at 4, nothing else.
    EXPECT_EQ(bands(ob.ica), "1:1 2:2");
    EXPECT_EQ(bands(ob.icc), "1:3");
    EXPECT_EQ(bands(ob.icp), "2:4");
    EXPECT_EQ(ob.ifreqmax, 2);

    EXPECT_EQ(ob.irec, 1);
    EXPECT_EQ(reg.nrec, 1);
    EXPECT_EQ(reg.reclst(1), "BELL");
    EXPECT_EQ(st.narch(1, 7), 3);
    EXPECT_EQ(receiver_bands(obs.icarrier_l_, 1), "1:1 2:2");
    EXPECT_EQ(receiver_bands(obs.icode_c_, 1), "1:3");
    EXPECT_EQ(receiver_bands(obs.icode_p_, 1), "2:4");
    EXPECT_EQ(obs.ntdata_(1), 4);

    // A plain static station: no role, nothing on the output stream, nothing in the log.
    EXPECT_FALSE(ob.estimate_xyz || ob.rover_sp3 || ob.rover_like || ob.rover_rt || ob.rec_fixing_amb ||
                 ob.isrefrec);
    EXPECT_EQ(out_text(), "");
    EXPECT_EQ(cap.text(), "");
}

TEST_F(ObservationTest, SixObservables) {
    Ob1 r;
    r.six();
    r.ksat = "E";
    r.epochflag = 1;
    r.cs_dt = true;
    ASSERT_EQ(read(r.line()), 0);
    const Observation& ob = obs.ob;
    EXPECT_EQ(ob.nobs, 6);
    EXPECT_EQ(ob.ksat, "E");
    EXPECT_EQ(ob.iepochflag, 1);
    EXPECT_EQ(ob.kobs_(5) + ob.kobs_(6), "P2C5");
    EXPECT_DOUBLE_EQ(ob.xdata_(6), 24111340.125);
    EXPECT_EQ(ob.ias_(6), 1);
    EXPECT_EQ(ob.isn_(6), 7);
    EXPECT_TRUE(ob.cycleslip_dt);
    EXPECT_EQ(ob.dbew, 0.125);
    EXPECT_TRUE(ob.cycleslip_dbew);
    EXPECT_EQ(ob.dlew_w, -2.0);
    EXPECT_FALSE(ob.cycleslip_dlew_w);
    EXPECT_EQ(bands(ob.ica), "1:1 2:2 5:3");
    EXPECT_EQ(bands(ob.icc), "1:4 5:6");
    EXPECT_EQ(bands(ob.icp), "2:5");
    EXPECT_EQ(ob.ifreqmax, 5);
    EXPECT_EQ(receiver_bands(obs.icode_c_, 1), "1:4 5:6");
    EXPECT_EQ(obs.ntdata_(1), 6);
}

// Logical fields with a leading point, as the L edit allows, and blank numeric fields reading as zero.
TEST_F(ObservationTest, PointedLogicalsAndBlankNumbers) {
    std::string l = Ob1{}.line();
    l.replace(153, 2, ".T");                  // cycleslip_ at column 155 -> ".T" in 154-155 (154 is the 1x)
    l.replace(156, 15, std::string(15, ' ')); // dtsec_ob1 blank
    l.replace(191, 11, std::string(11, ' ')); // xli_lir blank
    ASSERT_EQ(read(l), 0) << cap.text();
    EXPECT_TRUE(obs.ob.cycleslip_);
    EXPECT_EQ(obs.ob.dtsec_ob1, 0.0);
    EXPECT_EQ(obs.ob.xli_lir, 0.0);
}

// ---------------------------------------------------------------------------------------------------
// Observable identification

TEST(RecognizingKobs, CodesToBands) {
    const struct {
        std::vector<std::string> codes;
        const char *ica, *icc, *icp;
        int ifreqmax, ierr;
        const char* log;
    } cases[] = {
        {{"L1", "L2", "C1", "P2"}, "1:1 2:2", "1:3", "2:4", 2, 0, ""},
        {{"C1", "L1", "L2", "P2", "P1", "S1"}, "1:2 2:3", "1:1", "1:5 2:4", 2, 0, ""},
        // Other letters are passed over but still count as a band named.
        {{"L1", "L2", "C1", "S7"}, "1:1 2:2", "1:3", "", 7, 0, ""},
        {{"S1", "D1", "L1", "C1"}, "1:3", "1:4", "", 1, 0, ""},
        // Only upper-case letters name a signal.
        {{"l1", "l2", "c1", "p2"}, "", "", "", 2, 0, ""},
        // A later code of the same letter and band replaces the earlier one.
        {{"L1", "L1", "C1", "P2"}, "1:2", "1:3", "2:4", 2, 0, ""},
        {{"L1", "L2", "L5", "C1", "P2", "C5"}, "1:1 2:2 5:3", "1:4 5:6", "2:5", 5, 0, ""},
        {{"L9", "C9", "L8", "P8"}, "8:3 9:1", "9:2", "8:4", 9, 0, ""},
        // Band outside 1..9: what was identified before stays, the rest is not looked at.
        {{"L1", "L0", "C1", "P2"}, "1:1", "", "", 1, 3, " ERROR: frequency number .lt.1.or.gt.9\n"},
        {{"L0", "L2", "C1", "P2"}, "", "", "", -99, 3, " ERROR: frequency number .lt.1.or.gt.9\n"},
        {{"L1", "L2", "  ", "P2"}, "1:1 2:2", "", "", 2, 3, " ERROR: frequency number .lt.1.or.gt.9\n"},
        {{"L1", "L ", "C1", "P2"}, "1:1", "", "", 1, 3, " ERROR: frequency number .lt.1.or.gt.9\n"},
        // A band that is not a digit cannot be read.
        {{"L1", "LX", "C1", "P2"},
         "1:1",
         "",
         "",
         1,
         2,
         " ERROR: reading str to identify the target observables\n"},
        {{"1L", "L2", "C1", "P2"},
         "",
         "",
         "",
         -99,
         2,
         " ERROR: reading str to identify the target observables\n"},
        {{"L1", "L-", "C1", "P2"},
         "1:1",
         "",
         "",
         1,
         2,
         " ERROR: reading str to identify the target observables\n"},
    };
    for (const auto& c : cases) {
        CapturedLog cap;
        Array1<std::string, max_type_obs> kobs;
        kobs.fill("P7"); // beyond nobs: must not be looked at
        for (std::size_t i = 0; i < c.codes.size(); ++i) kobs(static_cast<int>(i) + 1) = c.codes[i];
        BandTable icp, icc, ica;
        icp.fill(9); // stale values from a previous record are cleared
        icc.fill(9);
        ica.fill(9);
        std::int32_t ifreqmax = 0, ierr = 0;
        recognizing_kobs(kobs, static_cast<int>(c.codes.size()), icp, icc, ica, ifreqmax, ierr, cap.log);
        const std::string what = c.codes[0] + c.codes[1] + c.codes[2] + c.codes[3];
        EXPECT_EQ(bands(ica), c.ica) << what;
        EXPECT_EQ(bands(icc), c.icc) << what;
        EXPECT_EQ(bands(icp), c.icp) << what;
        EXPECT_EQ(ifreqmax, c.ifreqmax) << what;
        EXPECT_EQ(ierr, c.ierr) << what;
        EXPECT_EQ(cap.text(), c.log) << what;
    }
}

// An identification error does not stop the reader: the receiver is registered, its bands up to the
// highest named one stored, its role set and its line copied.
TEST_F(ObservationTest, BandZeroStillRegistersTheReceiver) {
    like = {"BELL"};
    Ob1 r;
    r.kobs = {"L1", "L2", "L0", "P2"};
    const std::string line = r.line();
    EXPECT_EQ(read(line), 3);
    EXPECT_EQ(cap.text(), " ERROR: frequency number .lt.1.or.gt.9\n");
    EXPECT_EQ(obs.ob.irec, 1);
    EXPECT_EQ(reg.nrec, 1);
    EXPECT_EQ(st.narch(1, 7), 3);
    EXPECT_EQ(receiver_bands(obs.icarrier_l_, 1), "1:1 2:2");
    EXPECT_EQ(obs.ntdata_(1), 4);
    EXPECT_TRUE(obs.ob.rover_like);
    EXPECT_EQ(out_text(), line + "\n");
}

// Bands above the highest named one are cleared in the receiver's tables, all of them when no band
// was named; a code above them is left from no earlier record.
TEST_F(ObservationTest, ReceiverBandsAboveTheHighestAreCleared) {
    Ob1 r;
    r.six(); // bands 1, 2 and 5
    ASSERT_EQ(read(r.line()), 0);
    EXPECT_EQ(receiver_bands(obs.icode_c_, 1), "1:4 5:6");
    Ob1 r2;
    r2.sec = 30.0; // L1 L2 C1 P2: band 5 goes
    ASSERT_EQ(read(r2.line()), 0);
    EXPECT_EQ(receiver_bands(obs.icode_c_, 1), "1:3");
    EXPECT_EQ(receiver_bands(obs.icarrier_l_, 1), "1:1 2:2");
    Ob1 r3;
    r3.sec = 60.0;
    r3.kobs = {"L0", "L2", "C1", "P2"}; // nothing named
    obs.icode_p_(9, 1) = 5;             // even a stale entry is cleared
    ASSERT_EQ(read(r3.line()), 3);
    EXPECT_EQ(obs.ob.ifreqmax, -99);
    EXPECT_EQ(receiver_bands(obs.icarrier_l_, 1) + receiver_bands(obs.icode_c_, 1) +
                  receiver_bands(obs.icode_p_, 1),
              "");
}

// ---------------------------------------------------------------------------------------------------
// Downdating grid

TEST_F(ObservationTest, DowndatingGrid) {
    const struct {
        int ho, mi;
        double sec;
        int idtsec_pre;
        int ierr;
        const char* warning; // empty when accepted
    } cases[] = {
        {0, 0, 30.0, 30, 0, ""},
        {0, 0, 29.9999999, 30, 0, ""},
        {0, 0, 0.0, 30, 0, ""},
        {23, 59, 30.0, 30, 0, ""},
        {0, 0, 15.0, 30, 2,
         "WARNING: Observation rejected not fitting in     30 sec. downdating interval( rec,prn= BELL  7( "
         "epoch "
         "iyy,imo,ida,itsecdayobs= 02  1 30    15 )"},
        {0, 0, 29.4999999, 30, 2,
         "WARNING: Observation rejected not fitting in     30 sec. downdating interval( rec,prn= BELL  7( "
         "epoch "
         "iyy,imo,ida,itsecdayobs= 02  1 30    29 )"},
        {0, 0, 30.5, 30, 2, // halves round away from zero
         "WARNING: Observation rejected not fitting in     30 sec. downdating interval( rec,prn= BELL  7( "
         "epoch "
         "iyy,imo,ida,itsecdayobs= 02  1 30    31 )"},
        {12, 34, 56.0, 1, 0, ""},
        {1, 0, 0.0, 3600, 0, ""},
        {1, 0, 30.0, 3600, 2,
         "WARNING: Observation rejected not fitting in   3600 sec. downdating interval( rec,prn= BELL  7( "
         "epoch "
         "iyy,imo,ida,itsecdayobs= 02  1 30  3630 )"},
    };
    for (const bool silent : {false, true}) {
        for (const auto& c : cases) {
            ObservationState fresh;
            obs = fresh;
            reg = StationRegistry();
            CapturedLog log;
            log.log.silent = silent;
            Ob1 r;
            r.ho = c.ho;
            r.mi = c.mi;
            r.sec = c.sec;
            const std::int32_t ierr =
                read_ob1_v4b(r.line(), obs, reg, st, roles(), c.idtsec_pre, log.log, out);
            const std::string what = std::to_string(c.ho) + ":" + std::to_string(c.mi) + ":" +
                                     std::to_string(c.sec) + " / " + std::to_string(c.idtsec_pre);
            EXPECT_EQ(ierr, c.ierr) << what;
            const std::string expected = (silent || c.ierr == 0) ? "" : std::string(c.warning) + "\n";
            EXPECT_EQ(log.text(), expected) << what;
            // A rejected epoch registers nothing.
            EXPECT_EQ(reg.nrec, c.ierr == 0 ? 1 : 0) << what;
        }
    }
}

TEST_F(ObservationTest, SecondsWithoutAnIntegerAreOffTheGrid) {
    Ob1 r;
    std::string l = r.line();
    l.replace(21, 11, "   1.0E+300"); // seconds, columns 22-32
    EXPECT_EQ(read(l, 1), 2);
    EXPECT_EQ(obs.ob.itsecdayobs, INT32_MIN);
    EXPECT_EQ(cap.text(),
              "WARNING: Observation rejected not fitting in      1 sec. downdating interval( rec,prn= "
              "BELL  7( epoch iyy,imo,ida,itsecdayobs= 02  1 30****** )\n");
    bool ok = true;
    EXPECT_EQ(nint_seconds(2147483647.4, ok), INT32_MAX);
    EXPECT_TRUE(ok);
    EXPECT_EQ(nint_seconds(-2.5, ok), -3);
    EXPECT_EQ(nint_seconds(2147483647.5, ok), INT32_MIN);
    EXPECT_FALSE(ok);
    EXPECT_EQ(nint_seconds(std::nan(""), ok), INT32_MIN);
    EXPECT_FALSE(ok);
}

TEST_F(ObservationTest, NonPositiveDowndatingIntervalStops) {
    for (const int idt : {0, -30}) {
        CapturedLog log;
        const std::string m =
            stop_message([&] { read_ob1_v4b(Ob1{}.line(), obs, reg, st, roles(), idt, log.log, out); });
        EXPECT_EQ(m, "ERROR: idtsec_pre must be positive");
        EXPECT_EQ(log.text(),
                  " ERROR: idtsec_pre must be positive, idtsec_pre= " + std::to_string(idt) + "\n");
    }
}

// ---------------------------------------------------------------------------------------------------
// Rejected and stopping records

TEST_F(ObservationTest, CountOfObservablesOtherThanFourOrSixStops) {
    const std::string good = Ob1{}.line();
    const struct {
        std::string line;
    } cases[] = {
        {good.substr(0, 53) + "     5" + good.substr(59)},
        {good.substr(0, 53) + "     7" + good.substr(59)},
        {good.substr(0, 53) + "    -4" + good.substr(59)},
        {good.substr(0, 53) + "      " + good.substr(59)}, // blank: zero
        {good.substr(0, 53)},                              // the line ends before the count
        {"OB1 "},
    };
    for (const auto& c : cases) {
        CapturedLog log;
        const std::string m =
            stop_message([&] { read_ob1_v4b(c.line, obs, reg, st, roles(), 30, log.log, out); });
        EXPECT_EQ(m, "ERROR: nobs.ne.4 .and. nobs.ne.6 [UNSUPPORTED]") << c.line;
        EXPECT_EQ(log.text(), " ERROR: nobs.ne.4 .and. nobs.ne.6 [UNSUPPORTED]\n") << c.line;
        EXPECT_EQ(reg.nrec, 0);
    }
}

// A record that cannot be read leaves everything but the fields already read as the previous
// observation set it: the fields before the bad one hold the new values, the bad one and all after it
// the previous ones; nothing derived, registered or copied changes.
TEST_F(ObservationTest, ReadingErrorKeepsThePreviousObservation) {
    // Previous observation: BELL, a rover-like receiver. New one: EBRE (not in any list), every field
    // different.
    like = {"BELL"};
    Ob1 a;
    Ob1 b;
    b.iprn = 12;
    b.yy = 3, b.mo = 2, b.da = 11, b.ho = 1, b.mi = 2, b.sec = 30.0;
    b.rec = "EBRE";
    b.ksat = "E";
    b.epochflag = 1;
    b.recclock = -0.000654321;
    b.kobs = {"C1", "P2", "L1", "L2"};
    b.x = {20990842.688, 20990847.903, -24616122.248, -10318261.734};
    b.ias = {1, 2, 3, 4};
    b.isn = {6, 7, 8, 9};
    b.narch = 17;
    b.cs = true, b.dt = 60.0, b.cs_dt = true, b.d2li = -0.75, b.cs_d2li = true, b.xli_lir = 2.25,
    b.dbw = -3.5, b.cs_dbw = true;

    // The observations each record gives on its own.
    Observation oa, obn;
    {
        ObservationState s;
        StationRegistry g;
        frame::RunState t;
        ASSERT_EQ(read_ob1_v4b(a.line(), s, g, t, roles(), 30, cap.log, out), 0);
        oa = s.ob;
        ObservationState s2;
        ASSERT_EQ(read_ob1_v4b(b.line(), s2, g, t, roles(), 30, cap.log, out), 0);
        obn = s2.ob;
    }

    // The fields in reading order, each with a column of its field in the 4-observable layout where a
    // letter makes it unreadable (0 for text fields, which any character fits).
    using Obs = const Observation&;
    const struct Field {
        const char* name;
        std::size_t column;
        std::function<bool(Obs, Obs)> same;
    } fields[] = {
        {"iprn", 6, [](Obs x, Obs y) { return x.iprn == y.iprn; }},
        {"iyy", 9, [](Obs x, Obs y) { return x.iyy == y.iyy; }},
        {"imo", 12, [](Obs x, Obs y) { return x.imo == y.imo; }},
        {"ida", 15, [](Obs x, Obs y) { return x.ida == y.ida; }},
        {"iho", 18, [](Obs x, Obs y) { return x.iho == y.iho; }},
        {"imi", 21, [](Obs x, Obs y) { return x.imi == y.imi; }},
        {"sec", 32, [](Obs x, Obs y) { return x.sec == y.sec; }},
        {"rec", 0, [](Obs x, Obs y) { return x.rec == y.rec; }},
        {"ksat", 0, [](Obs x, Obs y) { return x.ksat == y.ksat; }},
        {"iepochflag", 41, [](Obs x, Obs y) { return x.iepochflag == y.iepochflag; }},
        {"recclock", 53, [](Obs x, Obs y) { return x.recclock == y.recclock; }},
        {"kobs_", 0,
         [](Obs x, Obs y) {
             for (int i = 1; i <= 4; ++i)
                 if (x.kobs_(i) != y.kobs_(i)) return false;
             return true;
         }},
        {"xdata_(1)", 97, [](Obs x, Obs y) { return x.xdata_(1) == y.xdata_(1); }},
        {"ias_(1)", 98, [](Obs x, Obs y) { return x.ias_(1) == y.ias_(1); }},
        {"isn_(1)", 99, [](Obs x, Obs y) { return x.isn_(1) == y.isn_(1); }},
        {"xdata_(2)", 113, [](Obs x, Obs y) { return x.xdata_(2) == y.xdata_(2); }},
        {"ias_(2)", 114, [](Obs x, Obs y) { return x.ias_(2) == y.ias_(2); }},
        {"isn_(2)", 115, [](Obs x, Obs y) { return x.isn_(2) == y.isn_(2); }},
        {"xdata_(4)", 145, [](Obs x, Obs y) { return x.xdata_(4) == y.xdata_(4); }},
        {"isn_(4)", 147, [](Obs x, Obs y) { return x.isn_(4) == y.isn_(4); }},
        {"narch1", 153, [](Obs x, Obs y) { return x.narch1 == y.narch1; }},
        {"cycleslip_", 155, [](Obs x, Obs y) { return x.cycleslip_ == y.cycleslip_; }},
        {"dtsec_ob1", 171, [](Obs x, Obs y) { return x.dtsec_ob1 == y.dtsec_ob1; }},
        {"cycleslip_dt", 173, [](Obs x, Obs y) { return x.cycleslip_dt == y.cycleslip_dt; }},
        {"d2li", 189, [](Obs x, Obs y) { return x.d2li == y.d2li; }},
        {"cycleslip_d2li", 191, [](Obs x, Obs y) { return x.cycleslip_d2li == y.cycleslip_d2li; }},
        {"xli_lir", 202, [](Obs x, Obs y) { return x.xli_lir == y.xli_lir; }},
        {"dbw", 218, [](Obs x, Obs y) { return x.dbw == y.dbw; }},
        {"cycleslip_dbw", 220, [](Obs x, Obs y) { return x.cycleslip_dbw == y.cycleslip_dbw; }},
    };
    // Every field differs between the two records, so that each check below can fail.
    for (const Field& f : fields) ASSERT_FALSE(f.same(oa, obn)) << f.name;

    // What a read that fails keeps from the previous observation, whatever the bad field.
    auto expect_previous_state = [&](const ObservationState& s, const StationRegistry& g,
                                     const frame::RunState& t, const std::string& what) {
        EXPECT_EQ(s.ob.irec, 1) << what;
        EXPECT_EQ(g.nrec, 1) << what;
        EXPECT_EQ(t.narch(1, 7), 3) << what;
        EXPECT_EQ(t.narch(1, 12), 1) << what; // the initial arc number: nothing stored for the new pair
        EXPECT_TRUE(s.ob.rover_like) << what;
        EXPECT_EQ(bands(s.ob.ica), "1:1 2:2") << what;
        EXPECT_EQ(s.ob.ifreqmax, 2) << what;
        EXPECT_EQ(receiver_bands(s.icarrier_l_, 1), "1:1 2:2") << what;
        EXPECT_EQ(s.ob.iyearobs, 2002) << what;
        EXPECT_EQ(s.ob.idoyobs, 30) << what;
        EXPECT_EQ(s.ob.tsecdayobs, 0.0) << what;
        EXPECT_EQ(s.ob.tdjmobs, oa.tdjmobs) << what;
        EXPECT_EQ(s.ob.itsecdayobs, 0) << what;
        EXPECT_EQ(s.ob.iyyobs, 2) << what;
        EXPECT_EQ(s.ob.secobs, 0.0) << what;
    };

    for (std::size_t k = 0; k < std::size(fields); ++k) {
        if (fields[k].column == 0) continue;
        ObservationState s;
        StationRegistry g;
        frame::RunState t;
        CapturedLog log;
        frame::TextSink o;
        ASSERT_TRUE(o.open(tmp.path("o.txt")));
        ASSERT_EQ(read_ob1_v4b(a.line(), s, g, t, roles(), 30, log.log, o), 0);
        const std::string bad = with_char(b.line(), fields[k].column, 'x');
        EXPECT_EQ(read_ob1_v4b(bad, s, g, t, roles(), 30, log.log, o), 1) << fields[k].name;
        for (std::size_t j = 0; j < std::size(fields); ++j)
            EXPECT_TRUE(fields[j].same(s.ob, j < k ? obn : oa))
                << "bad " << fields[k].name << ": " << fields[j].name << " should hold the "
                << (j < k ? "new" : "previous") << " value";
        EXPECT_EQ(s.ob.nobs, 4);
        EXPECT_EQ(s.ob.ierr, 1);
        expect_previous_state(s, g, t, fields[k].name);
        EXPECT_EQ(log.text(), " ERROR: reading OBS input record\n") << fields[k].name;
        o.flush();
        EXPECT_EQ(tmp.read("o.txt"), a.line() + "\n") << fields[k].name; // only the first line copied
    }

    // An unreadable count: nothing of the new line is taken, not even the header.
    {
        ObservationState s;
        StationRegistry g;
        frame::RunState t;
        CapturedLog log;
        ASSERT_EQ(read_ob1_v4b(a.line(), s, g, t, roles(), 30, log.log, out), 0);
        EXPECT_EQ(read_ob1_v4b(with_char(b.line(), 58, 'x'), s, g, t, roles(), 30, log.log, out), 1);
        for (const Field& f : fields) EXPECT_TRUE(f.same(s.ob, oa)) << "bad nobs: " << f.name;
        expect_previous_state(s, g, t, "nobs");
    }
}

// A line that ends early: numeric fields past its end read as zero, but a logical field cannot be
// blank, so a record cut anywhere before its last column is unreadable from its first missing
// logical on.
TEST_F(ObservationTest, CutRecordsAreUnreadableFromTheFirstMissingLogical) {
    ASSERT_EQ(read(Ob1{}.line()), 0);
    Ob1 b;
    b.sec = 30.0;
    b.narch = 9;
    b.cs = true;
    b.dt = 45.0;
    const std::string full = b.line();
    const struct {
        std::size_t length;
        int narch1;
        bool cycleslip;
        double dt;
    } cases[] = {
        {153, 9, false, 30.0}, // up to the arc number
        {150, 0, false, 30.0}, // arc number cut: its digits are gone (right-justified)
        {147, 0, false, 30.0}, // up to the last observable
        {171, 9, true, 45.0},  // up to dtsec_ob1: cycleslip_dt missing
        {219, 9, true, 45.0},  // all but the last logical
    };
    for (const auto& c : cases) {
        ObservationState s = obs;
        CapturedLog log;
        EXPECT_EQ(read_ob1_v4b(full.substr(0, c.length), s, reg, st, roles(), 30, log.log, out), 1)
            << c.length;
        EXPECT_EQ(s.ob.narch1, c.narch1) << c.length;
        EXPECT_EQ(s.ob.cycleslip_, c.cycleslip) << c.length;
        EXPECT_EQ(s.ob.dtsec_ob1, c.dt) << c.length;
        EXPECT_EQ(s.ob.sec, 30.0) << c.length;       // header read anew
        EXPECT_EQ(s.ob.tsecdayobs, 0.0) << c.length; // but not derived
        EXPECT_EQ(log.text(), " ERROR: reading OBS input record\n");
    }
    // The complete record, and the same record with trailing blanks, read.
    ObservationState s = obs;
    EXPECT_EQ(read_ob1_v4b(full + "      ", s, reg, st, roles(), 30, cap.log, out), 0);
    EXPECT_EQ(s.ob.narch1, 9);
}

TEST_F(ObservationTest, PrnOutsideTheTablesIsRejected) {
    const struct { int iprn, ierr; } cases[] = {{1, 0}, {35, 0}, {0, 4}, {36, 4}, {99, 4}, {-5, 4}};
    for (const auto& c : cases) {
        ObservationState s;
        StationRegistry g;
        frame::RunState t;
        CapturedLog log;
        Ob1 r;
        r.iprn = c.iprn;
        EXPECT_EQ(read_ob1_v4b(r.line(), s, g, t, roles(), 30, log.log, out), c.ierr) << c.iprn;
        EXPECT_EQ(s.ob.iprn, c.iprn);
        EXPECT_EQ(g.nrec, c.ierr == 0 ? 1 : 0) << c.iprn;
        EXPECT_EQ(log.text(),
                  c.ierr == 0
                      ? ""
                      : " ERROR: rejected OBS, PRN outside 1..35: iprn= " + std::to_string(c.iprn) + "\n");
        if (c.ierr == 0) {
            EXPECT_EQ(t.narch(1, c.iprn), 3);
        }
    }
}

TEST_F(ObservationTest, ImpossibleDateStops) {
    Ob1 r;
    r.mo = 13;
    EXPECT_EQ(stop_message([&] { read(r.line()); }), "<silent>");
    EXPECT_EQ(cap.lines().at(0), " ERROR: in cldj");
}

TEST_F(ObservationTest, BlankReceiverNameIsAReceiver) {
    ref = "REFR";
    Ob1 r;
    r.rec = "    ";
    ASSERT_EQ(read(r.line()), 0);
    EXPECT_EQ(reg.nrec, 1);
    EXPECT_EQ(reg.reclst(1), "    ");
    EXPECT_FALSE(obs.ob.isrefrec);
    EXPECT_EQ(out_text(), "");
    // Names compare as four bytes: with no reference receiver named (a blank name), a receiver named
    // by four blanks is taken for it.
    ref = "    ";
    ObservationState s;
    StationRegistry g;
    EXPECT_EQ(read_ob1_v4b(r.line(), s, g, st, roles(), 30, cap.log, out), 0);
    EXPECT_TRUE(s.ob.isrefrec);
}

TEST_F(ObservationTest, SeventhReceiverStops) {
    const char* names[] = {"AAAA", "BBBB", "CCCC", "DDDD", "EEEE", "FFFF"};
    for (const char* n : names) {
        Ob1 r;
        r.rec = n;
        ASSERT_EQ(read(r.line()), 0);
    }
    EXPECT_EQ(reg.nrec, 6);
    Ob1 r;
    r.rec = "GGGG";
    EXPECT_EQ(stop_message([&] { read(r.line()); }), "ERROR: please increase maxrec accordingly");
}

// ---------------------------------------------------------------------------------------------------
// Roles

TEST_F(ObservationTest, RolesFromTheLists) {
    est = {"EST1", "EST2"};
    sp3 = {"05ab", "l12a", "l07b"};
    leo = {"l07b", "l12a"};
    like = {"LIKE"};
    rt = {"RTRT"};
    fix = {"FIXA"};
    ref = "REFR";
    const struct {
        const char* rec;
        bool estimate_xyz, rover_sp3, rover_like, rover_rt, rec_fixing_amb, isrefrec;
        int irover_sp3_leo_id;
        bool rover_sp3_leo;
        int irec_rover_sp3_leo;
        bool copied;
    } cases[] = {
        {"PLAI", false, false, false, false, false, false, 0, false, 0, false},
        {"EST2", true, false, false, false, false, false, 0, false, 0, false},
        {"05ab", false, true, false, false, false, false, 5, false, 3, false}, // not low-orbit: one past
        {"l12a", false, true, false, false, false, false, 12, true, 2, false},
        {"l07b", false, true, false, false, false, false, 7, true, 1, false},
        {"LIKE", false, false, true, false, false, false, 0, false, 0, true},
        {"RTRT", false, false, false, true, false, false, 0, false, 0, false},
        {"FIXA", false, false, false, false, true, false, 0, false, 0, false},
        {"REFR", false, false, false, false, false, true, 0, false, 0, true},
        {"est2", false, false, false, false, false, false, 0, false, 0, false}, // case counts
        {"LIK ", false, false, false, false, false, false, 0, false, 0, false},
    };
    for (const auto& c : cases) {
        ObservationState s;
        StationRegistry g;
        g.nrec = 2; // the receiver takes slot 3
        frame::RunState t;
        CapturedLog log;
        frame::TextSink o;
        ASSERT_TRUE(o.open(tmp.path("roles.txt")));
        Ob1 r;
        r.rec = c.rec;
        const std::string line = r.line();
        ASSERT_EQ(read_ob1_v4b(line, s, g, t, roles(), 30, log.log, o), 0) << c.rec;
        const Observation& ob = s.ob;
        EXPECT_EQ(ob.irec, 3);
        EXPECT_EQ(ob.estimate_xyz, c.estimate_xyz) << c.rec;
        EXPECT_EQ(ob.rover_sp3, c.rover_sp3) << c.rec;
        EXPECT_EQ(ob.rover_like, c.rover_like) << c.rec;
        EXPECT_EQ(ob.rover_rt, c.rover_rt) << c.rec;
        EXPECT_EQ(ob.rec_fixing_amb, c.rec_fixing_amb) << c.rec;
        EXPECT_EQ(ob.isrefrec, c.isrefrec) << c.rec;
        EXPECT_EQ(ob.irover_sp3_leo_id, c.irover_sp3_leo_id) << c.rec;
        EXPECT_EQ(ob.rover_sp3_leo, c.rover_sp3_leo) << c.rec;
        EXPECT_EQ(ob.irec_rover_sp3_leo, c.irec_rover_sp3_leo) << c.rec;
        EXPECT_EQ(t.irefrec, c.isrefrec ? 3 : -99) << c.rec;
        o.flush();
        EXPECT_EQ(tmp.read("roles.txt"), c.copied ? line + "\n" : "") << c.rec;
        EXPECT_EQ(log.text(), "") << c.rec;
    }
}

// The trajectory-file values are set only for receivers with a trajectory file: another receiver's
// observation leaves them as they were.
TEST_F(ObservationTest, TrajectoryValuesStayForOtherReceivers) {
    sp3 = {"l12a"};
    leo = {"l12a"};
    Ob1 r;
    r.rec = "l12a";
    ASSERT_EQ(read(r.line()), 0);
    EXPECT_TRUE(obs.ob.rover_sp3);
    Ob1 r2;
    r2.rec = "BELL";
    ASSERT_EQ(read(r2.line()), 0);
    EXPECT_FALSE(obs.ob.rover_sp3);
    EXPECT_TRUE(obs.ob.rover_sp3_leo);
    EXPECT_EQ(obs.ob.irec_rover_sp3_leo, 1);
    EXPECT_EQ(obs.ob.irover_sp3_leo_id, 12);
}

TEST_F(ObservationTest, ReferenceReceiverSlotFollowsRegistration) {
    ref = "EBRE";
    Ob1 a;
    ASSERT_EQ(read(a.line()), 0);
    EXPECT_EQ(st.irefrec, -99);
    Ob1 b;
    b.rec = "EBRE";
    ASSERT_EQ(read(b.line()), 0);
    EXPECT_EQ(st.irefrec, 2);
    ASSERT_EQ(read(a.line()), 0); // another receiver leaves it
    EXPECT_EQ(st.irefrec, 2);
}

TEST_F(ObservationTest, ReceiverInTwoRolesStops) {
    const struct {
        std::vector<std::string> est, sp3, like, rt, fix;
        const char* ref;
        int count;
    } cases[] = {
        {{"BELL"}, {}, {}, {}, {"BELL"}, "    ", 2},
        {{}, {}, {"BELL"}, {}, {}, "BELL", 2},
        {{"BELL"}, {}, {"BELL"}, {"BELL"}, {"BELL"}, "BELL", 5},
        {{}, {"12AB"}, {"12AB"}, {}, {}, "    ", 2},
    };
    for (const auto& c : cases) {
        est = c.est, sp3 = c.sp3, like = c.like, rt = c.rt, fix = c.fix, ref = c.ref;
        ObservationState s;
        StationRegistry g;
        g.nrec = 1;
        frame::RunState t;
        CapturedLog log;
        Ob1 r;
        r.rec = c.sp3.empty() ? "BELL" : c.sp3[0];
        const std::string m =
            stop_message([&] { read_ob1_v4b(r.line(), s, g, t, roles(), 30, log.log, out); });
        EXPECT_EQ(m, "ERROR @ readob1: n_kind_rec.ne.1") << c.count;
        EXPECT_EQ(log.text(), " ERROR @ readob1: n_kind_rec.ne.1, n_kind_rec= " + std::to_string(c.count) +
                                  "\n ERROR @ readob1: irec_,rec= 2 " + r.rec + "\n");
    }
    EXPECT_EQ(out_text(), ""); // the stop comes before the copy
}

TEST_F(ObservationTest, TrajectoryReceiverWithoutNumberStops) {
    sp3 = {"grac", "lgra", "L12a", "1 ab", "l 9b"};
    const struct {
        const char* rec;
        int id; // -1: stops
    } cases[] = {{"grac", -1}, {"lgra", -1}, {"L12a", -1}, {"1 ab", 1}, {"l 9b", 9}};
    for (const auto& c : cases) {
        ObservationState s;
        StationRegistry g;
        CapturedLog log;
        Ob1 r;
        r.rec = c.rec;
        const std::string m =
            stop_message([&] { read_ob1_v4b(r.line(), s, g, st, roles(), 30, log.log, out); });
        if (c.id < 0) {
            EXPECT_EQ(m, "ERROR @ read_s3c: reading irover_sp3_leo_id") << c.rec;
            EXPECT_EQ(log.text(), " ERROR @ read_s3c: reading irover_sp3_leo_id\n") << c.rec;
        } else {
            EXPECT_EQ(m, "<no stop>") << c.rec;
            EXPECT_EQ(s.ob.irover_sp3_leo_id, c.id) << c.rec;
        }
    }
}

TEST_F(ObservationTest, CopiesOnlyReferenceAndRoverLikeLinesWithoutTrailingBlanks) {
    like = {"LIKE"};
    ref = "REFR";
    est = {"ESTI"};
    std::string expected;
    const struct {
        const char* rec;
        double sec;
        bool copied;
    } cases[] = {
        {"REFR", 0.0, true},  {"LIKE", 0.0, true},   {"ESTI", 0.0, false},
        {"BELL", 0.0, false}, {"LIKE", 15.0, false}, // off the grid: not copied
        {"REFR", 30.0, true},
    };
    for (const auto& c : cases) {
        Ob1 r;
        r.rec = c.rec;
        r.sec = c.sec;
        const std::string line = r.line();
        read(line + "      ");
        if (c.copied) expected += line + "\n";
    }
    // A line longer than the reader looks at: only its first 1000 columns count, and are copied.
    Ob1 r;
    r.rec = "LIKE";
    r.sec = 60.0;
    std::string long_line =
        r.line() + std::string(1000 - 220 - 3, ' ') + "END" + std::string(50, ' ') + "JUNK";
    ASSERT_EQ(read(long_line), 0);
    expected += r.line() + std::string(1000 - 223, ' ') + "END\n";
    EXPECT_EQ(out_text(), expected);
}

TEST(RoleListsOf, TakesTheNamesInUse) {
    auto aux = std::make_unique<auxfiles::AuxTables>();
    auxfiles::RoverStationList rs;
    aux->reclst_to_estimate_xyz(1) = "EST1";
    aux->reclst_to_estimate_xyz(2) = "EST2";
    aux->nrec_to_estimate_xyz = 1; // EST2 is past the count
    aux->reclst_rover_like(1) = "LIKE";
    aux->nrec_rover_like = 1;
    aux->refrec = "REFR";
    rs.reclst_rover_sp3_sta(1) = "l12a";
    rs.nrec_rover_sp3_sta = 1;
    aux->nrec_fixing_amb = 99; // a count past the table is held to it
    const RoleLists r = role_lists_of(*aux, rs);
    ASSERT_EQ(r.reclst_to_estimate_xyz.size(), 1u);
    EXPECT_EQ(r.reclst_to_estimate_xyz[0], "EST1");
    EXPECT_EQ(r.reclst_rover_like.size(), 1u);
    EXPECT_EQ(r.reclst_rover_rt.size(), 0u);
    EXPECT_EQ(r.reclst_fixing_amb.size(), 6u);
    EXPECT_EQ(r.reclst_rover_sp3_sta.size(), 1u);
    EXPECT_EQ(r.reclst_rover_sp3_leo_sta.size(), 0u);
    EXPECT_EQ(r.refrec, "REFR");
}

// ---------------------------------------------------------------------------------------------------
// Driver side

TEST_F(ObservationTest, HeaderPreRead) {
    Ob1 r;
    r.iprn = 20;
    r.ho = 13;
    r.mi = 45;
    r.sec = 29.9999999;
    ASSERT_EQ(handle(r.line()), 0);
    EXPECT_EQ(obs.iprn9, 20);
    EXPECT_EQ(obs.iyy9, 2);
    EXPECT_EQ(obs.imo9, 1);
    EXPECT_EQ(obs.ida9, 30);
    EXPECT_EQ(obs.iho9, 13);
    EXPECT_EQ(obs.imi9, 45);
    EXPECT_EQ(obs.sec9, 29.9999999);
    EXPECT_EQ(obs.tsecdayobs9, 13 * 3600 + 45 * 60 + 29.9999999);
    EXPECT_EQ(obs.itsecdayobs9, 49530);
    EXPECT_EQ(obs.itsecdayobs9_preceding, 0);
    EXPECT_EQ(obs.ob.itsecdayobs, 49530);
    // The next line moves the current value to the preceding one, even when the reader rejects it.
    r.sec = 15.0;
    EXPECT_EQ(handle(r.line()), 2);
    EXPECT_EQ(obs.itsecdayobs9, 49515);
    EXPECT_EQ(obs.itsecdayobs9_preceding, 49530);
    EXPECT_EQ(out_text(), ""); // trace off
}

TEST_F(ObservationTest, UnreadableHeaderStopsTheRun) {
    const std::string good = Ob1{}.line();
    for (const std::size_t column : {6, 9, 12, 15, 18, 21, 32}) {
        CapturedLog log;
        const std::string bad = with_char(good, column, 'x');
        const std::string m =
            stop_message([&] { handle_ob1(bad, obs, reg, st, roles(), cfg, log.log, out); });
        EXPECT_EQ(m, "ERROR: input conversion error in the OB1 header") << column;
        EXPECT_EQ(log.text(),
                  " ERROR: input conversion error in the OB1 header: " + bad.substr(0, 32) + "\n");
        EXPECT_EQ(reg.nrec, 0);
    }
    // A letter in the receiver's columns is a name, not an error.
    EXPECT_EQ(handle(with_char(good, 36, 'x')), 0);
}

TEST_F(ObservationTest, TraceLines) {
    cfg.trace = true;
    like = {"BELL"};
    Ob1 r;
    r.sec = 30.0;
    r.cs = true;
    const std::string line4 = r.line();
    ASSERT_EQ(handle(line4), 0);
    Ob1 r6;
    r6.six();
    r6.sec = 60.0;
    r6.iprn = 9;
    r6.narch = 4;
    const std::string line6 = r6.line();
    ASSERT_EQ(handle(line6), 0);
    const std::vector<std::string> expected{
        line4,
        " TRACE: READ_OB1 tsec,irec,iprn,cycleslip,narch= 30.0 1 7 T 3",
        " TRACE: READ_OB1 d2li,cycleslip_d2Li,xli_lir= 0.25 F -1.5",
        " TRACE: READ_OB1 dBw,cycleslip_dBw= 0.5 F",
        " TRACE: READ_OB1 isrefrec,estimate_xyz,rover_like,rec_fixing_amb,rover_sp3,rover_rt= F F T F F F",
        " TRACE: rover_sp3,irover_sp3_leo_id= F 0",
        " TRACE: rover_sp3_leo,irec_rover_sp3_leo= F 0",
        line6,
        " TRACE: READ_OB1 tsec,irec,iprn,cycleslip,narch= 60.0 1 9 F 4",
        " TRACE: READ_OB1 d2li,cycleslip_d2Li,xli_lir= 0.25 F -1.5",
        " TRACE: READ_OB1 dBw,cycleslip_dBw= 0.5 F",
        " TRACE: READ_OB1 dBew,cycleslip_dBew= 0.125 T",
        " TRACE: READ_OB1 dlew_w,cycleslip_dlew_w= -2.0 F",
        " TRACE: READ_OB1 isrefrec,estimate_xyz,rover_like,rec_fixing_amb,rover_sp3,rover_rt= F F T F F F",
        " TRACE: rover_sp3,irover_sp3_leo_id= F 0",
        " TRACE: rover_sp3_leo,irec_rover_sp3_leo= F 0",
    };
    EXPECT_EQ(lines_of(out_text()), expected);
}

// Trace lines after a first record that could not be read: no receiver yet, so no arc number to show.
TEST_F(ObservationTest, TraceAfterAnUnreadableFirstRecord) {
    cfg.trace = true;
    ASSERT_EQ(handle(with_char(Ob1{}.line(), 153, 'x')), 1);
    const auto lines = lines_of(out_text());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], " TRACE: READ_OB1 tsec,irec,iprn,cycleslip,narch= 0.0 0 7 F -99");
    EXPECT_EQ(cap.text(), " ERROR: reading OBS input record\n");
}
