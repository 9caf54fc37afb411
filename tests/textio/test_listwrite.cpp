// List-directed output: the layout of log and trace lines.
#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "textio/listwrite.hpp"

using namespace quelmar::textio;

TEST(ListWrite, LayoutOfItems) {
    EXPECT_EQ(list_line("arg1=", "rover"), " arg1= rover");
    EXPECT_EQ(list_line("silent_log=", false), " silent_log= F");
    EXPECT_EQ(list_line("n=", 6, -7LL), " n= 6 -7");
    EXPECT_EQ(list_line(), " "); // an empty list still writes its record
    const std::array<bool, 4> flags{true, false, false, true};
    EXPECT_EQ(list_line("process=", flags), " process= T F F T");
}

TEST(ListWrite, RealsAreShortestRoundTrip) {
    struct {
        double v;
        const char* text;
    } cases[] = {{2.0, "2.0"},
                 {0.1, "0.1"},
                 {-0.25, "-0.25"},
                 {1e20, "1.0E+20"},
                 {1.5e-9, "1.5E-09"},
                 {-0.0, "-0.0"},
                 {299792458.0, "299792458.0"},
                 {std::numeric_limits<double>::infinity(), "Infinity"},
                 {std::numeric_limits<double>::quiet_NaN(), "NaN"}};
    for (const auto& c : cases) EXPECT_EQ(list_line(c.v), std::string(" ") + c.text) << c.v;
    EXPECT_EQ(list_line(0.1f), " 0.1"); // single precision: shortest for that precision
    // binary128: the shortest text that reads back exactly.
    EXPECT_EQ(list_line(__float128(54614.5)), " 54614.5");
    const __float128 third = __float128(1) / 3;
    EXPECT_EQ(list_line(third), " 0.3333333333333333333333333333333333");
}
