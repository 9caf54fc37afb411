// Formatted writing and reading. Expected texts are what gfortran 12 writes for the same format and
// values (checked by hand against it); the randomized comparison lives in the differential tests.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "textio/format.hpp"

using namespace quelmar::textio;

namespace {

struct WriteCase {
    const char* fmt;
    double value;
    const char* expected;
};

TEST(FormatWrite, RealEditsMatchGfortran) {
    const WriteCase cases[] = {
        {"(f5.0)", 2.5, "   2."},             // ties go to even, as the C library rounds
        {"(f5.0)", 3.5, "   4."},             //
        {"(f5.2)", 0.125, " 0.12"},           // 0.125 is exact: a true tie
        {"(f5.2)", 0.375, " 0.38"},           //
        {"(f5.2)", -0.001, "-0.00"},          // a negative value rounding to zero keeps its sign
        {"(f5.2)", -0.0, "-0.00"},            // so does negative zero
        {"(f4.2)", 0.5, "0.50"},              // the leading zero fits
        {"(f4.2)", -0.5, "-.50"},             // ... and is dropped when it does not
        {"(f3.2)", -0.5, "***"},              // too narrow even without it
        {"(f7.2)", 9.996, "  10.00"},         // rounding carries into a new digit
        {"(e9.3)", 1.0, "0.100E+01"},         //
        {"(e8.3)", 1.0, ".100E+01"},          // optional zero dropped in E as well
        {"(e8.3)", -1.0, "********"},         //
        {"(e12.3)", 1.0e200, "   0.100+201"}, // three-digit exponents lose the letter
        {"(e12.3)", 1.0e-200, "   0.100-199"},
        {"(e10.4)", 1.0e-100, "0.1000E-99"},
        {"(e12.3)", 0.0, "   0.000E+00"},
        {"(e12.3)", -0.0, "  -0.000E+00"},
        {"(d12.3)", 0.0, "   0.000D+00"},
        {"(e12.4e3)", 1.0, " 0.1000E+001"},
        {"(e23.15)", 0.1, "  0.100000000000000E+00"},
        {"(e9.2)", 9.96, " 0.10E+02"}, // rounding up to the next power of ten shifts the exponent
        {"(e12.3)", std::numeric_limits<double>::infinity(), "    Infinity"},
        {"(f6.1)", -std::numeric_limits<double>::infinity(), "  -Inf"},
        {"(f6.1)", std::numeric_limits<double>::quiet_NaN(), "   NaN"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Format(c.fmt).write(c.value), c.expected) << c.fmt << " " << c.value;
}

TEST(FormatWrite, IntegerLogicalAndTextEdits) {
    EXPECT_EQ(Format("(i5.3,'|',i3.0,'|',i3.0)").write(7, 0, 5), "  007|   |  5");
    EXPECT_EQ(Format("(i2)").write(-10), "**");
    EXPECT_EQ(Format("(i20)").write(std::numeric_limits<long long>::min()), "-9223372036854775808");
    EXPECT_EQ(Format("(I2.2)").write(9), "09");
    EXPECT_EQ(Format("(l3,'|',a5,'|',a2,'|',a)").write(true, "ab", "abcd", "xyz"), "  T|   ab|ab|xyz");
}

TEST(FormatWrite, PositioningTerminationAndReversion) {
    EXPECT_EQ(Format("(i3,5x)").write(1), "  1"); // trailing X writes nothing
    EXPECT_EQ(Format("(a,i3,5x,\"|\")").write("q", 1), "q  1     |");
    EXPECT_EQ(Format("(i3,5x,i2)").write(1), "  1"); // stops at the data edit without item
    EXPECT_EQ(Format("(i3,\"lit\",i2,\"l2\")").write(1), "  1lit");
    EXPECT_EQ(Format("(i3,2(1x,i2))").write(1, 2, 3, 4, 5, 6, 7), "  1  2  3\n  4  5\n  6  7");
    EXPECT_EQ(Format("(i3,2(1x,i2),i4)").write(1, 2, 3, 4, 5, 6, 7), "  1  2  3   4\n  5  6   7");
    EXPECT_EQ(Format("(2i3)").write(1, 2, 3), "  1  2\n  3"); // no group: reversion to the start
    EXPECT_EQ(Format("('it''s',a)").write("x"), "it'sx");
    EXPECT_EQ(Format("()").write(), "");
    const std::vector<double> v{1.5, 2.5};
    EXPECT_EQ(Format(" ( 2 F 5 . 1 ) ").write(v), "  1.5  2.5"); // blanks anywhere
}

TEST(FormatWrite, Binary128AndSingle) {
    const __float128 third = __float128(1) / 3;
    EXPECT_EQ(Format("(f40.35)").write(third), "   0.33333333333333333333333333333333332");
    EXPECT_EQ(Format("(f15.8)").write(__float128(54614.5)), " 54614.50000000");
    EXPECT_EQ(Format("(f12.9)").write(0.1f), " 0.100000001"); // the exact single-precision value
}

TEST(FormatWrite, PrintsTheSystemRecordLayouts) {
    // The WUS layout: two texts, the second of day, the station, the satellite and a unit vector.
    const Format wus("(2a,i6,1x,a,i4,3e23.15)");
    EXPECT_EQ(
        wus.write("WUS ", "SAT_COEF", -1, "BELL", 5, 0.5, -0.25, 1.0),
        "WUS SAT_COEF    -1 BELL   5  0.500000000000000E+00 -0.250000000000000E+00  0.100000000000000E+01");
    // A PR6 row's run-time format is itself written with a format.
    EXPECT_EQ(Format("(4a,i5.5,a)").write("(a,", "i2,", "f8.1,", "2i3,", 3, "(i8,2e23.15),a)"),
              "(a,i2,f8.1,2i3,00003(i8,2e23.15),a)");
}

TEST(FormatParse, MalformedFormatsThrowWithTheirText) {
    const char* bad[] = {"i3",     "(i3",    "(i3))", "(q3)",   "(i)",        "(f5)", "(0(i2))",
                         "('abc)", "(3(i2)", "(f5.)", "(i3.4)", "(i3,(1x))x", "(L)",  ""};
    for (const char* f : bad) {
        try {
            Format x(f);
            ADD_FAILURE() << "accepted: " << f;
        } catch (const FormatError& e) {
            EXPECT_NE(std::string(e.what()).find("format"), std::string::npos);
        }
    }
    // Leading zeros in repeat counts and case do not matter.
    EXPECT_EQ(Format("(00003(1X,I1))").write(1, 2, 3), " 1 2 3");
    EXPECT_THROW(Format("(i3)").write(1.5), FormatError); // a real under an I edit
    EXPECT_THROW(Format("(f5.1)").write(1), FormatError);
    // Ew.0 is a valid input edit (gfortran reads with it) but cannot be written.
    EXPECT_THROW(Format("(e5.0)").write(1.0), FormatError);
    EXPECT_THROW(Format("('x')").write(1), FormatError); // items but no data edit
}

TEST(FormatRead, NumericFieldsFollowFortranInput) {
    double x = -7;
    struct {
        const char* line;
        const char* fmt;
        double expected;
    } cases[] = {
        {"  12.5e1  ", "(f10.3)", 125.0}, // explicit point wins over d
        {"  125  ", "(f7.2)", 1.25},      // blanks ignored, implied decimals
        {"1.5+3", "(f10.3)", 1500.0},     // exponent with a bare sign
        {"1 2 5", "(f10.3)", 0.125},      //
        {"1.5d-2", "(f10.3)", 0.015},     //
        {"1.5q2", "(f10.3)", 150.0},      //
        {"1.5 E 2", "(f10.3)", 150.0},    //
        {"          ", "(f10.3)", 0.0},   // all blank reads zero
        {"", "(f10.3)", 0.0},             // past the end of the line: blanks
        {"125E1", "(f10.2)", 12.5},       // implied decimals also with an exponent
        {"xx  2.5", "(2x,f5.1)", 2.5},
    };
    for (const auto& c : cases) {
        x = -7;
        const ReadStatus st = Format(c.fmt).read(c.line, x);
        EXPECT_TRUE(st.ok()) << c.line << " " << st.message;
        EXPECT_DOUBLE_EQ(x, c.expected) << c.line;
    }
    const char* bad[] = {"1.5E", "1.5e+", "1.5+", "1..2", "0x10", "12-", "1,5", "abc"};
    for (const char* b : bad) {
        x = -7;
        const ReadStatus st = Format("(f10.2)").read(b, x);
        EXPECT_EQ(st.iostat, IoStat::bad_value) << b;
        EXPECT_EQ(x, -7) << b;
    }
}

TEST(FormatRead, IntegersLogicalsTextAndPartialResults) {
    std::int32_t i = 0, j = 0;
    EXPECT_TRUE(Format("(i8)").read("  -  5", i).ok());
    EXPECT_EQ(i, -5);
    EXPECT_EQ(Format("(i10)").read("9999999999", i).iostat, IoStat::overflow);
    std::int64_t big = 0;
    EXPECT_TRUE(Format("(i10)").read("9999999999", big).ok());
    EXPECT_EQ(big, 9999999999LL);
    EXPECT_EQ(Format("(i3)").read("  -", i).iostat, IoStat::bad_value);

    bool l = false;
    EXPECT_TRUE(Format("(l5)").read(" .tx", l).ok());
    EXPECT_TRUE(l);
    EXPECT_EQ(Format("(l5)").read("     ", l).iostat, IoStat::bad_value); // a blank L field is an error
    EXPECT_EQ(Format("(l5)").read("  q", l).iostat, IoStat::bad_value);

    std::string rec(4, ' '), code(2, ' ');
    EXPECT_TRUE(Format("(a,1x,a)").read("BELL L1", rec, code).ok());
    EXPECT_EQ(rec, "BELL");
    EXPECT_EQ(code, "L1");
    EXPECT_TRUE(Format("(a6)").read("ABCDEF", rec).ok()); // wider field: rightmost characters
    EXPECT_EQ(rec, "CDEF");
    EXPECT_TRUE(Format("(a2)").read("XY", rec).ok()); // narrower field: blank padded
    EXPECT_EQ(rec, "XY  ");

    // Values read before the error are kept; later items are untouched.
    i = 11, j = 22;
    double x = 33;
    const ReadStatus st = Format("(i2,i2,f5.1)").read(" 1 x  2.5", i, j, x);
    EXPECT_EQ(st.iostat, IoStat::bad_value);
    EXPECT_EQ(st.items_done, 1);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(j, 22);
    EXPECT_EQ(x, 33);
    EXPECT_NE(st.message.find("item 2"), std::string::npos);
}

TEST(FormatRead, ReversionNeedsAnotherRecord) {
    std::vector<std::int32_t> v(3, 0);
    const ReadStatus st = Format("(2i2)").read(" 1 2 3", v);
    EXPECT_EQ(st.iostat, IoStat::end_of_file);
    EXPECT_EQ(st.items_done, 2);

    struct Lines : RecordSource {
        std::vector<std::string> l{" 1 2", " 3 4"};
        std::size_t k = 0;
        bool next(std::string_view& r) override {
            if (k == l.size()) return false;
            r = l[k++];
            return true;
        }
    } src;
    std::vector<std::int32_t> w(3, 0);
    std::vector<InItem> items(w.begin(), w.end());
    EXPECT_TRUE(Format("(2i2)").read_items(src, items).ok());
    EXPECT_EQ(w, (std::vector<std::int32_t>{1, 2, 3}));
}

TEST(FormatRead, RealPrecisionsAreCorrectlyRounded) {
    float f = 0;
    double d = 0;
    __float128 q = 0;
    const Format fmt("(f40.0)");
    EXPECT_TRUE(fmt.read("0.1", f).ok());
    EXPECT_EQ(f, 0.1f);
    EXPECT_TRUE(fmt.read("0.1", d).ok());
    EXPECT_EQ(d, 0.1);
    EXPECT_TRUE(fmt.read("0.1", q).ok());
    EXPECT_TRUE(q == __float128(1) / 10);
    EXPECT_TRUE(fmt.read("1e400", d).ok()); // overflow to infinity as strtod does
    EXPECT_TRUE(std::isinf(d));
}

} // namespace
