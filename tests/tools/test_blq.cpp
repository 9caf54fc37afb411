// The BLQ ocean-loading reader on small texts: blocks, comments, line ends, look-up rules, and a clear
// error naming file and line for each kind of damage.
#include <gtest/gtest.h>

#include <string>

#include "../../tools/lib/blq.hpp"
#include "support/test_support.hpp"

namespace blq = quelmar::tools::blq;
namespace testing_support = quelmar::testing_support;

namespace {

// The six rows of one station: amplitude rows a, a+1, a+2 (in 0.01 mm steps by constituent), phase rows
// with distinct signs, so that a swapped row or column shows.
std::string rows(int a) {
    std::string s;
    for (int k = 0; k < 3; ++k) {
        s += " ";
        for (int j = 0; j < 11; ++j) {
            char b[16];
            std::snprintf(b, sizeof b, " .%05d", (a + k) * 100 + j);
            s += b;
        }
        s += "\n";
    }
    for (int k = 0; k < 3; ++k) {
        s += " ";
        for (int j = 0; j < 11; ++j) {
            char b[16];
            std::snprintf(b, sizeof b, " %6.1f", (k == 1 ? -1 : 1) * (10.0 * k + j + 0.5));
            s += b;
        }
        s += "\n";
    }
    return s;
}

const std::string header = "$$ Ocean loading displacement\n"
                           "$$ COLUMN ORDER:  M2  S2  N2  K2  K1  O1  P1  Q1  MF  MM SSA\n"
                           "$$ END HEADER\n"
                           "$$\n";

} // namespace

TEST(Blq, BlocksCommentsAndLookUp) {
    testing_support::TempDir dir;
    // CRLF line ends, a blank line, a long (VLBI) name, the same station twice (the first block counts),
    // a lower-case name.
    std::string text = header + "  ONSALA60\n$$ ONSALA60, RADI TANG lon/lat: 11.9 57.4\n" + rows(1) + "$$\n" +
                       "  acor      \n$$ acor,  RADI TANG\n" + rows(4) + "\n$$\n" + "  ACOR\n" + rows(7) +
                       "$$\n" + "  ONSA\n" + rows(9);
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const auto stations = blq::read_file(dir.write("t.blq", crlf));
    ASSERT_EQ(stations.size(), 4u);
    EXPECT_EQ(stations[0].name, "ONSALA60");
    EXPECT_EQ(stations[1].name, "acor");
    EXPECT_EQ(stations[1].line, 14);

    const blq::Station* acor = blq::find(stations, "ACOR");
    ASSERT_NE(acor, nullptr);
    EXPECT_EQ(acor, &stations[1]);
    // Rows and columns where they belong: up/west/south amplitudes, then phases; M2 first, Ssa last.
    EXPECT_DOUBLE_EQ(acor->amplitude[0][0], 0.004);
    EXPECT_DOUBLE_EQ(acor->amplitude[1][0], 0.005);
    EXPECT_DOUBLE_EQ(acor->amplitude[2][10], 0.0061);
    EXPECT_DOUBLE_EQ(acor->phase[0][0], 0.5);
    EXPECT_DOUBLE_EQ(acor->phase[1][3], -13.5);
    EXPECT_DOUBLE_EQ(acor->phase[2][10], 30.5);

    // ONSA is its own block; ONSALA60 is another point and never answers for ONSA or ONSL.
    const blq::Station* onsa = blq::find(stations, "onsa");
    ASSERT_NE(onsa, nullptr);
    EXPECT_EQ(onsa->name, "ONSA");
    EXPECT_EQ(blq::find(stations, "ONSL"), nullptr);
    EXPECT_EQ(blq::find(stations, "MADR"), nullptr);
    EXPECT_EQ(blq::find(stations, ""), nullptr);
}

TEST(Blq, DamageGivesFileLineAndReason) {
    struct Case {
        const char* what;
        std::string text;
        long line;
        const char* reason;
    };
    const std::string good = rows(1);
    auto replace_row = [&](int row, const std::string& with) {
        std::string s;
        int n = 0;
        for (std::size_t p = 0; p < good.size();) {
            const std::size_t e = good.find('\n', p);
            s += (n++ == row ? with : good.substr(p, e - p)) + "\n";
            p = e + 1;
        }
        return s;
    };
    const Case cases[] = {
        {"ten values", "  ACOR\n" + replace_row(1, "  .1 .1 .1 .1 .1 .1 .1 .1 .1 .1"), 3,
         "station ACOR: west amplitudes: 10 values instead of 11"},
        {"twelve values", "  ACOR\n" + replace_row(4, " 1 2 3 4 5 6 7 8 9 10 11 12"), 6,
         "west phases: 12 values"},
        {"letter in a value", "  ACOR\n" + replace_row(2, " .1 .1 .1 .1 .1 .1 .1 .1 .1 .1 .1x"), 4,
         "south amplitudes: cannot read \".1x\""},
        {"not a number", "  ACOR\n" + replace_row(3, " 1 2 3 4 5 nan 7 8 9 10 11"), 5,
         "up phases: cannot read \"nan\""},
        {"negative amplitude", "  ACOR\n" + replace_row(0, " .1 .1 .1 .1 .1 .1 .1 .1 .1 .1 -.1"), 2,
         "value out of range \"-.1\""},
        {"phase beyond a turn", "  ACOR\n" + replace_row(5, " 1 2 3 4 5 6 7 8 9 10 400.0"), 7,
         "south phases: value out of range \"400.0\""},
        {"next name inside a block", "  ACOR\n" + good.substr(0, good.size() / 2) + "  MADR\n", 5,
         "station ACOR: up phases: 1 values instead of 11"},
        {"file ends inside a block", header + "  ACOR\n" + good.substr(0, good.size() / 2), 8,
         "file truncated: station ACOR has 3 of its 6 rows"},
    };
    for (const Case& c : cases) {
        testing_support::TempDir dir;
        const std::string path = dir.write("bad.blq", c.text);
        try {
            blq::read_file(path);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const blq::Error& e) {
            EXPECT_EQ(e.path(), path) << c.what;
            EXPECT_EQ(e.line(), c.line) << c.what << ": " << e.what();
            const std::string msg = e.what();
            EXPECT_EQ(msg.rfind(path + ":" + std::to_string(c.line) + ": ", 0), 0u) << c.what << ": " << msg;
            EXPECT_NE(msg.find(c.reason), std::string::npos) << c.what << ": " << msg;
        }
    }
    EXPECT_THROW(blq::read_file("/nonexistent/none.blq"), blq::Error);
}
