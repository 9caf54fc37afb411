// Unit tests of the list-directed reader: each row was checked against gfortran 12 by hand.
#include "textio/listread.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace quelmar::textio {
namespace {

struct IntCase {
    const char* text;
    IoStat status;
    std::vector<std::int32_t> want; // three integers, -1 = untouched
};

// Separators, nulls, repeats, slashes, continuation and end of file with three integer items.
TEST(ListReader, SeparatorsNullsRepeatsAndRecords) {
    const std::vector<IntCase> cases = {
        {"1 2 3\n", IoStat::ok, {1, 2, 3}},
        {"1,2,3\n", IoStat::ok, {1, 2, 3}},
        {"1 , 2 ,3\n", IoStat::ok, {1, 2, 3}},
        {"1,,3\n", IoStat::ok, {1, -1, 3}},
        {",2,3\n", IoStat::ok, {-1, 2, 3}},
        {"  ,2,3\n", IoStat::ok, {-1, 2, 3}},
        {"1, ,3\n", IoStat::ok, {1, -1, 3}},
        {"1;2;3\n", IoStat::ok, {1, 2, 3}}, // gfortran 12 takes a semicolon as a comma
        {"3*7\n", IoStat::ok, {7, 7, 7}},
        {"2*,3\n", IoStat::ok, {-1, -1, 3}},
        {"1 2*\n", IoStat::ok, {1, -1, -1}},
        {"5*4\n", IoStat::ok, {4, 4, 4}}, // copies left over at the end are dropped
        {"1 2 / 3\n", IoStat::ok, {1, 2, -1}},
        {"1/3\n", IoStat::ok, {1, -1, -1}},
        {"/\n", IoStat::ok, {-1, -1, -1}},
        {"1\n2\n3\n", IoStat::ok, {1, 2, 3}},
        {"1\n\n\n2 3\n", IoStat::ok, {1, 2, 3}},
        {"1\n,2,3\n", IoStat::ok, {1, 2, 3}},          // record end and a comma: one separator
        {"1,\n,3\n", IoStat::ok, {1, -1, 3}},          // comma, record end, comma: a null
        {"\n,2,3\n", IoStat::end_of_file, {2, 3, -1}}, // the comma after an empty first record is absorbed
        {"1 2 3 4 5\n", IoStat::ok, {1, 2, 3}},
        {"1\t2\t3\r\n", IoStat::ok, {1, 2, 3}},
        {"", IoStat::end_of_file, {-1, -1, -1}},
        {"1 2\n", IoStat::end_of_file, {1, 2, -1}},
        {"1 2,\n", IoStat::end_of_file, {1, 2, -1}},
        {"1.5 2 3\n", IoStat::bad_value, {-1, -1, -1}},
        {"1 x 3\n", IoStat::bad_value, {1, -1, -1}},
        {"0*1\n", IoStat::bad_value, {-1, -1, -1}},
        {"'1' 2 3\n", IoStat::bad_value, {-1, -1, -1}},
        {"2147483648 1 1\n", IoStat::overflow, {-1, -1, -1}},
        {"-2147483648 2147483647 +0\n",
         IoStat::ok,
         {std::numeric_limits<std::int32_t>::min(), 2147483647, 0}},
    };
    for (const auto& c : cases) {
        ListReader r{std::string(c.text)};
        std::int32_t a = -1, b = -1, d = -1;
        const ReadStatus st = r.read(a, b, d);
        EXPECT_EQ(st.iostat, c.status) << "input \"" << c.text << "\": " << st.message;
        EXPECT_EQ((std::vector<std::int32_t>{a, b, d}), c.want) << "input \"" << c.text << "\"";
        if (!st.ok()) {
            EXPECT_FALSE(st.message.empty());
        }
    }
}

TEST(ListReader, StatementsStartOnNewRecordsAndCountRecords) {
    ListReader r{std::string("1 2 3 4\n5 6\n7\n")};
    std::int32_t a = 0, b = 0;
    ASSERT_TRUE(r.read(a, b).ok());
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2); // 3 and 4 are skipped with the rest of the record
    EXPECT_EQ(r.record_number(), 1);
    ASSERT_TRUE(r.read(a).ok());
    EXPECT_EQ(a, 5);
    ASSERT_TRUE(r.read(a, b).ok() == false); // 7, then end of file
    EXPECT_EQ(a, 7);
    EXPECT_EQ(r.record_number(), 3);
    EXPECT_EQ(r.read(a).iostat, IoStat::end_of_file);
}

TEST(ListReader, CharacterItems) {
    struct Case {
        const char* text;
        IoStat status;
        const char* a; // character(len=6)
        const char* b; // character(len=3)
    };
    const std::vector<Case> cases = {
        {"abc def\n", IoStat::ok, "abc   ", "def"},
        {"'a b' \"c,d\"\n", IoStat::ok, "a b   ", "c,d"},
        {"'it''s' \"x\"\"y\"\n", IoStat::ok, "it's  ", "x\"y"},
        {"abcdefgh,xyzw\n", IoStat::ok, "abcdef", "xyz"},
        {"ab/cd\n", IoStat::ok, "ab    ", "???"},
        {"ab'cd e\n", IoStat::ok, "ab'cd ", "e  "},
        {"'ab\ncd' e\n", IoStat::ok, "abcd  ", "e  "}, // a quoted string continues, the record end dropped
        {"2*xy\n", IoStat::ok, "xy    ", "xy "},
        {"-3*a b\n", IoStat::ok, "-3*a  ", "b  "},
        {"'' ''\n", IoStat::ok, "      ", "   "},
        {"'ab'cd e\n", IoStat::bad_value, "??????", "???"},
        {"x 'open\n", IoStat::ok, "x     ", "ope"}, // the end of the file closes the string
        {"'open\n", IoStat::end_of_file, "open  ", "???"},
    };
    for (const auto& c : cases) {
        ListReader r{std::string(c.text)};
        std::string a(6, '?'), b(3, '?');
        const ReadStatus st = r.read(a, b);
        EXPECT_EQ(st.iostat, c.status) << c.text << ": " << st.message;
        EXPECT_EQ(a, c.a) << c.text;
        EXPECT_EQ(b, c.b) << c.text;
    }
}

TEST(ListReader, LogicalItems) {
    struct Case {
        const char* text;
        IoStat status;
        bool value;
    };
    const std::vector<Case> cases = {
        {"T", IoStat::ok, true},        {"f", IoStat::ok, false},         {".true.", IoStat::ok, true},
        {".F.", IoStat::ok, false},     {".t", IoStat::ok, true},         {"trash", IoStat::ok, true},
        {"false/", IoStat::ok, false},  {"t*", IoStat::ok, true},         {".x", IoStat::bad_value, true},
        {"1", IoStat::bad_value, true}, {"'T'", IoStat::bad_value, true}, {".", IoStat::bad_value, true},
    };
    for (const auto& c : cases) {
        ListReader r{std::string(c.text) + "\n"};
        bool v = !c.value;
        if (c.status != IoStat::ok) v = c.value;
        const ReadStatus st = r.read(v);
        EXPECT_EQ(st.iostat, c.status) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
}

TEST(ListReader, RealItemsOfEveryKind) {
    ListReader r{std::string("1.5 -2.5d3 1q2 1.5-2 inf 1e400 .5E+1 7\n")};
    float f = 0, g = 0;
    double d = 0, e = 0, h = 0, i = 0;
    float128 q = 0;
    std::int64_t k = 0;
    ASSERT_TRUE(r.read(f, d, q, e, g, h, i, k).ok());
    EXPECT_EQ(f, 1.5f);
    EXPECT_EQ(d, -2500.0);
    EXPECT_TRUE(q == float128(100));
    EXPECT_EQ(e, 0.015);
    EXPECT_TRUE(std::isinf(g));
    EXPECT_TRUE(std::isinf(h)); // gfortran stores the overflow as infinity, without an error
    EXPECT_EQ(i, 5.0);
    EXPECT_EQ(k, 7);
    for (const char* bad : {".", "1.5e", "1x", "e5", "1.2.3", "infin", "nan("}) {
        ListReader rb{std::string(bad) + "\n"};
        double v = 3.0;
        EXPECT_EQ(rb.read(v).iostat, IoStat::bad_value) << bad;
        EXPECT_EQ(v, 3.0) << bad;
    }
    ListReader rk{std::string("9223372036854775807 -9223372036854775809\n")};
    std::int64_t a = 0, b = 5;
    const ReadStatus st = rk.read(a, b);
    EXPECT_EQ(st.iostat, IoStat::overflow);
    EXPECT_EQ(a, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(b, 5);
    EXPECT_EQ(st.items_done, 1);
}

TEST(ListReader, RepeatedValueKeepsItsType) {
    struct Case {
        const char* text;
        IoStat status;
        int done;
    };
    // Items: integer(4), integer(4), real(8), integer(8).
    const std::vector<Case> cases = {
        {"2*1 2.5 3\n", IoStat::ok, 4},
        {"3*1 3\n", IoStat::bad_value, 2},   // an integer(4) value reaching a real(8) item
        {"1 1 2*3\n", IoStat::bad_value, 3}, // a real(8) value reaching an integer(8) item
        {"4*\n", IoStat::ok, 4},             // nulls go anywhere
    };
    for (const auto& c : cases) {
        ListReader r{std::string(c.text)};
        std::int32_t a = 0, b = 0;
        double d = 0;
        std::int64_t k = 0;
        const ReadStatus st = r.read(a, b, d, k);
        EXPECT_EQ(st.iostat, c.status) << c.text;
        EXPECT_EQ(st.items_done, c.done) << c.text;
    }
}

TEST(ListReader, RangesAndStreams) {
    std::istringstream in("1 2 3 4 5 6 7 8 9\nSTA1 1.0 2.0 3.0\n");
    ListReader r(in);
    std::vector<std::int32_t> table(9);
    ASSERT_TRUE(r.read(table).ok());
    EXPECT_EQ(table.back(), 9);
    std::string name(4, ' ');
    std::array<double, 3> xyz{};
    ASSERT_TRUE(r.read(name, xyz).ok());
    EXPECT_EQ(name, "STA1");
    EXPECT_EQ(xyz[2], 3.0);
}

// Malformed and hostile input never crashes and always ends with a status.
TEST(ListReader, GarbageGivesStatusesNeverCrashes) {
    std::string junk;
    std::uint64_t s = 12345;
    const std::string alphabet = "0123456789.,;/*'\" \n\tTFabcdeq+-!&$()=\r";
    for (int n = 0; n < 3000; ++n) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        junk.push_back(alphabet[(s >> 33) % alphabet.size()]);
    }
    ListReader r(junk);
    for (int i = 0; i < 2000; ++i) {
        std::int32_t a = 0;
        double d = 0;
        bool l = false;
        std::string c(5, ' ');
        float128 q = 0;
        const ReadStatus st = r.read(a, d, l, c, q);
        if (st.iostat == IoStat::end_of_file && st.items_done == 0) break;
    }
    SUCCEED();
}

} // namespace
} // namespace quelmar::textio
