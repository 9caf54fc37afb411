// What gfortran cannot answer for the text I/O engine (the differential tests compare the rest with it):
// our list-directed output layout, the formats we refuse, where we deliberately differ (docs/textio.md).
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <sstream>

#include "textio/listread.hpp"
#include "textio/listwrite.hpp"
#include "textio/namelist.hpp"

namespace quelmar::textio {
namespace {

// Log lines: a leading blank, items separated by one blank, reals in the shortest text that reads back to
// the same value of their own precision, always with a point, "E+20" when shorter (docs/decisions.md).
TEST(ListWrite, LayoutOfLogLines) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(list_line("arg1=", "rover", false, 6, -7LL, std::array<bool, 2>{true, false}),
              " arg1= rover F 6 -7 T F");
    EXPECT_EQ(list_line(), ""); // an empty record, as gfortran writes for no items
    EXPECT_EQ(list_line(2.0, 0.1, -0.25, 1e20, 1.5e-9, -0.0, 299792458.0, inf, -inf,
                        std::numeric_limits<double>::quiet_NaN()),
              " 2.0 0.1 -0.25 1.0E+20 1.5E-09 -0.0 299792458.0 Infinity -Infinity NaN");
    EXPECT_EQ(list_line(0.1f, 3e38f, float128(54614.5), float128(1) / 3),
              " 0.1 3.0E+38 54614.5 0.3333333333333333333333333333333333");
}

// A format outside the supported set, or not fitting its items, is a programming error.
TEST(FormatError, RefusedFormatsAndMismatchedItems) {
    for (const char* f : {"i3", "(i3", "(i3))", "(q3)", "(i)", "(f5)", "(0(i2))", "('abc)", "(f5.)", "(i3.4)",
                          "(i3,(1x))x", "(L)", "", "(t5,i2)", "(g10.3)", "(bz,i3)", "(i3/i3)", "(e10.3e0)"})
        EXPECT_THROW(Format{f}, FormatError) << f;
    double d = 0;
    EXPECT_THROW(Format("(i3)").write(1.5), FormatError);
    EXPECT_THROW(Format("(f5.1)").write(1), FormatError);
    EXPECT_THROW(Format("(e5.0)").write(1.0), FormatError); // Ew.0 reads, but cannot be written
    EXPECT_THROW(Format("('x')").write(1), FormatError);    // items without a data edit
    EXPECT_THROW((void)Format("('x',f2.0)").read(" 1", d), FormatError);
}

// List-directed input where gfortran 12 misreads: a logical word, blanks and a comma (gfortran: a null
// value more), a carriage return (gfortran ends the record there), a slash before text (gfortran: error).
TEST(ListReaderUnlikeGfortran, WordsCarriageReturnsAndSlashes) {
    bool l = false;
    std::int32_t a = -1, b = -1, c = -1;
    ASSERT_TRUE(ListReader(std::string("true  ,5 6\n")).read(l, a, b).ok());
    EXPECT_TRUE(l && a == 5 && b == 6);
    ASSERT_TRUE(ListReader(std::string("1\r2 3\r\n")).read(a, b, c).ok());
    EXPECT_EQ(c, 3);
    ASSERT_TRUE(ListReader(std::string("4\n/x\n")).read(a, c = -1).ok());
    EXPECT_TRUE(a == 4 && c == -1);
}

// Namelist input where gfortran 12 misreads, crashes or depends on what follows (docs/textio.md).
TEST(NamelistUnlikeGfortran, DocumentedRules) {
    bool flag = false;
    std::array<double, 30> w{};
    std::array<std::int32_t, 3> iv{};
    std::int32_t n = 0;
    NamelistGroup cfg("cfg"), aux("aux");
    cfg.add("flag", flag).add("weight", std::span(w), {2, 15}).add("ivec", std::span(iv)), aux.add("n", n);
    const auto read = [&](const std::string& text) {
        std::istringstream in(text);
        NamelistReader r(in);
        const ReadStatus st = r.read(cfg);
        return st.ok() && text.find("&aux") != std::string::npos ? r.read(aux).iostat : st.iostat;
    };
    // a logical word before the slash ends the group (gfortran then misses the group on the next record)
    EXPECT_EQ(read("&cfg flag = true /\n&aux n = 3 /\n"), IoStat::ok);
    EXPECT_TRUE(flag && n == 3);
    // an element goes on in plain column order: weight(2,5), then weight(1,6) (gfortran: weight(2,6))
    EXPECT_EQ(read("&cfg weight(2,5) = 1.5, 2.5 /"), IoStat::ok);
    EXPECT_TRUE(w[9] == 1.5 && w[10] == 2.5);
    EXPECT_EQ(read("&cfg ivec(::2) = 7 8 /"), IoStat::ok); // gfortran: an error
    EXPECT_TRUE(iv[0] == 7 && iv[2] == 8);
    // two surplus nulls pass, a third fails (gfortran: by what follows); a key without "=" fails (gfortran
    // ignores it), and subscripts across records (gfortran crashes)
    EXPECT_EQ(read("&cfg flag = t,,, /"), IoStat::ok);
    EXPECT_EQ(read("&cfg flag = t,,,, /"), IoStat::bad_value);
    EXPECT_EQ(read("&cfg flag /"), IoStat::bad_value);
    EXPECT_EQ(read("&cfg ivec(1\n) = 5 /"), IoStat::bad_value);
    // the keys a read did not name, for the configuration's rule that every key is given
    EXPECT_EQ(read("&cfg ivec = 1 flag = /"), IoStat::ok);
    EXPECT_EQ(cfg.missing_keys(), std::vector<std::string>{"weight"});
}

} // namespace
} // namespace quelmar::textio
