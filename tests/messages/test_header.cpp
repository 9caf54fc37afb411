// The message header: its two column layouts, the two-digit-year rule, the date conversion with its
// stop on a bad date, and the time tag.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "messages/header.hpp"
#include "support/test_support.hpp"
#include "textio/format.hpp"

using namespace quelmar;
using namespace quelmar::messages;
using namespace quelmar::testing_support;

namespace {

// Day of year of a proleptic Gregorian date, from the standard library's calendar.
int doy_of(int y, int m, int d) {
    return static_cast<int>(mjd_of(y, m, d) - mjd_of(y, 1, 1) + 1);
}

} // namespace

TEST(HeaderDate, TwoDigitYears) {
    const struct {
        int iyy, iyear;
    } cases[] = {{0, 2000}, {15, 2015}, {62, 2062}, {63, 1963}, {80, 1980}, {99, 1999}};
    for (const auto& c : cases) EXPECT_EQ(four_digit_year(c.iyy), c.iyear) << c.iyy;
}

TEST(HeaderDate, YearDayOfYearAndMjd) {
    const struct {
        int yy, mm, dd, iyear;
    } cases[] = {
        {0, 1, 1, 2000},    {0, 2, 29, 2000},   {0, 12, 31, 2000}, {1, 3, 1, 2001},  {15, 7, 1, 2015},
        {16, 12, 31, 2016}, {62, 12, 31, 2062}, {63, 1, 1, 1963},  {80, 1, 6, 1980}, {99, 12, 31, 1999},
    };
    for (const auto& c : cases) {
        CapturedLog cap;
        int iyear = 0, idoy = 0, idjm = 0;
        yymmdd2yeardoydjm(c.yy, c.mm, c.dd, iyear, idoy, idjm, cap.log);
        EXPECT_EQ(iyear, c.iyear);
        EXPECT_EQ(idjm, mjd_of(c.iyear, c.mm, c.dd)) << c.yy << "-" << c.mm << "-" << c.dd;
        EXPECT_EQ(idoy, doy_of(c.iyear, c.mm, c.dd)) << c.yy << "-" << c.mm << "-" << c.dd;
        EXPECT_EQ(cap.text(), "");
    }
    // And every day of the hundred years the two-digit rule covers.
    int failures = 0;
    for (int yy = 0; yy <= 99; ++yy) {
        const int y = yy < 63 ? 2000 + yy : 1900 + yy;
        for (long mjd = mjd_of(y, 1, 1); mjd < mjd_of(y + 1, 1, 1); ++mjd) {
            using namespace std::chrono;
            const year_month_day ymd{sys_days{days{mjd - 40587}}};
            const int mm = int(unsigned(ymd.month())), dd = int(unsigned(ymd.day()));
            frame::Log log; // not opened: nothing may be written for a valid date anyway
            int iyear = 0, idoy = 0, idjm = 0;
            yymmdd2yeardoydjm(yy, mm, dd, iyear, idoy, idjm, log);
            if ((iyear != y || idjm != mjd || idoy != int(mjd - mjd_of(y, 1, 1) + 1)) && ++failures <= 10)
                ADD_FAILURE() << yy << "-" << mm << "-" << dd << ": " << iyear << " " << idoy << " " << idjm;
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(HeaderDate, RejectedDateLogsAndStopsSilently) {
    const struct {
        int yy, mm, dd;
        const char* values; // the second log line
    } cases[] = {
        {15, 13, 1, " iyear,mm,idd,djobs,j= 2015 13 1 0.0 2"}, // bad month: no MJD computed
        {15, 0, 10, " iyear,mm,idd,djobs,j= 2015 0 10 0.0 2"},
        {15, 1, 32, " iyear,mm,idd,djobs,j= 2015 1 32 57054.0 3"}, // bad day: the MJD it would be
        {1, 2, 29, " iyear,mm,idd,djobs,j= 2001 2 29 51969.0 3"},
        {62, 4, 0, " iyear,mm,idd,djobs,j= 2062 4 0 74279.0 3"},
    };
    for (const auto& c : cases) {
        CapturedLog cap;
        cap.log.silent = true; // error lines are written regardless
        int iyear = 0, idoy = -5, idjm = -5;
        bool stopped = false;
        try {
            yymmdd2yeardoydjm(c.yy, c.mm, c.dd, iyear, idoy, idjm, cap.log);
        } catch (const frame::Stop& s) {
            stopped = true;
            EXPECT_FALSE(s.has_message()) << "the reason is in the log only";
        }
        EXPECT_TRUE(stopped) << c.values;
        EXPECT_EQ(cap.text(), std::string(" ERROR: in cldj\n") + c.values + "\n");
        EXPECT_EQ(idoy, -5);
        EXPECT_EQ(idjm, -5);
    }
    EXPECT_EQ(mjd_of(2062, 3, 31), 74279); // the value in the last case's line
}

TEST(HeaderTimeTag, FormedInDoubleThenWidened) {
    const struct {
        int iho, imi;
        double sec;
        double frac; // expected fraction of day
    } cases[] = {
        {0, 0, 0.0, 0.0},
        {12, 0, 0.0, 0.5},
        {6, 0, 0.0, 0.25},
        {0, 0, 10.0, 10.0 / 86400},
        {23, 59, 59.9, 0.99999884259259259}, // stays on its day
        {13, 27, 33.1234567, (13 * 3600 + 27 * 60 + 33.1234567) / 86400},
    };
    for (const int idjm : {44244, 51544, 57204, 58849}) {
        for (const auto& c : cases) {
            const float128 tdjm = header_tdjm(idjm, c.iho, c.imi, c.sec);
            // Exactly a double: nothing beyond the 53-bit sum.
            EXPECT_EQ(float128(static_cast<double>(tdjm)), tdjm);
            EXPECT_EQ(std::floor(static_cast<double>(tdjm)), idjm) << c.iho << ":" << c.imi << ":" << c.sec;
            // Within a rounding of the day count (1.5e-11 d at these MJDs) of the exact value.
            EXPECT_NEAR(static_cast<double>(tdjm - idjm), c.frac, 1.5e-11)
                << c.iho << ":" << c.imi << ":" << c.sec;
        }
    }
    // A whole-second time of day would carry more digits if the sum were made in binary128.
    const float128 t = header_tdjm(57204, 0, 0, 10.0);
    EXPECT_NE(t, float128(57204) + float128(10) / 86400);
}

TEST(HeaderLayout, StationLayoutColumns) {
    EXPECT_EQ(message_format(HeaderLayout::s, "a4"), "(6x,5(1x,i2),f5.1,1x,a4)");
    EXPECT_EQ(message_format(HeaderLayout::s, ""), "(6x,5(1x,i2),f5.1,1x)");
    const textio::Format f(message_format(HeaderLayout::s, "a4"));
    struct Case {
        const char* line;
        bool ok;
        int iyy, imo, ida, iho, imi;
        double sec;
        const char* rec;
    } cases[] = {
        // code, blank, two ignored columns; yy mo dd hh mi from column 8; seconds in 22-26; name 28-31.
        {"XYZ    15 07 01 12 34 56.7 ALGO   1.0 2.0 3.0", true, 15, 7, 1, 12, 34, 56.7, "ALGO"},
        {"ANT xx 62 12 31 23 59 59.9 WTZR", true, 62, 12, 31, 23, 59, 59.9, "WTZR"},
        {"LEA    16 01 01 00 00  0.0     17", true, 16, 1, 1, 0, 0, 0.0, "    "},  // i6 count read as a4
        {"XYZ    15 07 01 12 34 56.7     ", true, 15, 7, 1, 12, 34, 56.7, "    "}, // blank name: four blanks
        {"XYZ    15 07 01", true, 15, 7, 1, 0, 0, 0.0, "    "},                    // short line: blanks
        {"XYZ    15 07 01 12 34   57 ALGO", true, 15, 7, 1, 12, 34, 5.7, "ALGO"},  // no point: one decimal
        {"XYZ    1a 07 01 12 34 56.7 ALGO", false, 0, 0, 0, 0, 0, 0, ""},          // letter in the year
    };
    for (const auto& c : cases) {
        MessageHeader h;
        const auto st = f.read(c.line, h.iyy, h.imo, h.ida, h.iho, h.imi, h.sec, h.rec);
        EXPECT_EQ(st.ok(), c.ok) << c.line << " " << st.message;
        if (!c.ok) continue;
        EXPECT_EQ(h.iyy, c.iyy) << c.line;
        EXPECT_EQ(h.imo, c.imo) << c.line;
        EXPECT_EQ(h.ida, c.ida) << c.line;
        EXPECT_EQ(h.iho, c.iho) << c.line;
        EXPECT_EQ(h.imi, c.imi) << c.line;
        EXPECT_DOUBLE_EQ(h.sec, c.sec) << c.line;
        EXPECT_EQ(h.rec, c.rec) << c.line;
    }
}

TEST(HeaderLayout, ObservationLayoutColumns) {
    EXPECT_EQ(message_format(HeaderLayout::o, ""), "(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a)");
    const textio::Format f(message_format(HeaderLayout::o, ""));
    struct Case {
        const char* line;
        int iprn, iyy, imo, ida, iho, imi;
        double sec;
        const char* rec;
    } cases[] = {
        // PRN 5-6; yy 8-9; mo dd hh mi after one blank each; seconds 22-32; name 34-37.
        {"OB1 05 15 07 01 12 34 56.1234567 ALGO 1 2 3", 5, 15, 7, 1, 12, 34, 56.1234567, "ALGO"},
        {"CDS 32 99 12 31 23 59 59.9999999 ZIMM", 32, 99, 12, 31, 23, 59, 59.9999999, "ZIMM"},
        {"OB1  1 00 01 01 00 00  0.0000000 ", 1, 0, 1, 1, 0, 0, 0.0, "    "},
    };
    for (const auto& c : cases) {
        MessageHeader h;
        const auto st = f.read(c.line, h.iprn, h.iyy, h.imo, h.ida, h.iho, h.imi, h.sec, h.rec);
        ASSERT_TRUE(st.ok()) << c.line << " " << st.message;
        EXPECT_EQ(h.iprn, c.iprn);
        EXPECT_EQ(h.iyy, c.iyy);
        EXPECT_EQ(h.imo, c.imo);
        EXPECT_EQ(h.ida, c.ida);
        EXPECT_EQ(h.iho, c.iho);
        EXPECT_EQ(h.imi, c.imi);
        EXPECT_DOUBLE_EQ(h.sec, c.sec);
        EXPECT_EQ(h.rec, c.rec);
    }
}

TEST(HeaderTimeTag, DerivedFromADecodedHeader) {
    CapturedLog cap;
    MessageHeader h;
    h.iyy = 15, h.imo = 7, h.ida = 1, h.iho = 0, h.imi = 0, h.sec = 17.0;
    derive_header_times(h, cap.log);
    EXPECT_EQ(h.iyear, 2015);
    EXPECT_EQ(h.idoy, 182);
    EXPECT_EQ(h.idjm, 57204);
    EXPECT_EQ(h.tdjm, float128(57204.0 + (0 + 0 / 60.0 + 17.0 / 3600.0) / 24.0));
    EXPECT_EQ(cap.text(), "");

    h.imo = 13;
    EXPECT_THROW(derive_header_times(h, cap.log), frame::Stop);
    EXPECT_EQ(cap.text(), " ERROR: in cldj\n iyear,mm,idd,djobs,j= 2015 13 1 0.0 2\n");
}
