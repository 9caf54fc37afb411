// Unit tests of the namelist reader: each row was checked against gfortran 12 by hand.
#include "textio/namelist.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quelmar::textio {
namespace {

struct Cfg {
    bool flag = false;
    std::array<bool, 30> process{};  // logical process(2,15)
    std::array<double, 30> weight{}; // real(8) weight(2,15)
    std::array<std::int32_t, 3> ivec{};
    std::int32_t count = -1;
    std::int64_t big = -1;
    float r4 = -1;
    double r8 = -1;
    float128 q = -1;
    std::string title = std::string(132, ' ');
    std::string code = "????";

    NamelistGroup group() {
        NamelistGroup g("cfg");
        g.add("flag", flag)
            .add("process", std::span(process), {2, 15})
            .add("weight", std::span(weight), {2, 15})
            .add("ivec", std::span(ivec))
            .add("count", count)
            .add("big", big)
            .add("r4", r4)
            .add("r8", r8)
            .add("q", q)
            .add("title", title)
            .add("code", code);
        return g;
    }
};

ReadStatus read_cfg(const std::string& text, Cfg& c) {
    std::istringstream in(text);
    NamelistReader r(in);
    NamelistGroup g = c.group();
    return r.read(g);
}

TEST(Namelist, ScalarsOfEveryType) {
    Cfg c;
    const ReadStatus st = read_cfg("&CFG count=5, BIG = -9223372036854775808 r4=1.5 r8=2.5D+03\n"
                                   "  q=1q0, flag=.true. title = \"it's\" code='ab''c' /\n",
                                   c);
    ASSERT_TRUE(st.ok()) << st.message;
    EXPECT_EQ(c.count, 5);
    EXPECT_EQ(c.big, INT64_MIN);
    EXPECT_EQ(c.r4, 1.5f);
    EXPECT_EQ(c.r8, 2500.0);
    EXPECT_TRUE(c.q == float128(1));
    EXPECT_TRUE(c.flag);
    EXPECT_EQ(c.title.substr(0, 5), "it's ");
    EXPECT_EQ(c.title.size(), 132u);
    EXPECT_EQ(c.code, "ab'c");
}

TEST(Namelist, ArraysElementsSectionsRepeatsNulls) {
    struct Case {
        const char* text;
        std::vector<int> set; // 1-based column-order positions of process() that end up true
    };
    const std::vector<Case> cases = {
        {"&cfg process=t f t /", {1, 3}},
        {"&cfg process=30*.true. /", {}}, // checked below: all 30
        {"&cfg process(1,3)=.true. /", {5}},
        {"&cfg process( 1 , 3 )=t /", {5}},
        {"&cfg process(1,3)=t f t /", {5, 7}}, // an element continues in column order
        {"&cfg process(1,:)=15*t /", {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29}},
        {"&cfg process(:,2)=t t /", {3, 4}},
        {"&cfg process(1,1:15:7)=3*t /", {1, 15, 29}},
        {"&cfg process=t,,t /", {1, 3}},
        {"&cfg process=2*,t /", {3}},
        {"&cfg process=.t.\n .true. ! comment\n T /", {1, 2, 3}},
    };
    for (const auto& cs : cases) {
        Cfg c;
        const ReadStatus st = read_cfg(cs.text, c);
        ASSERT_TRUE(st.ok()) << cs.text << ": " << st.message;
        std::vector<int> got;
        for (int i = 0; i < 30; ++i)
            if (c.process[static_cast<std::size_t>(i)]) got.push_back(i + 1);
        if (std::string(cs.text).find("30*") != std::string::npos)
            EXPECT_EQ(got.size(), 30u);
        else
            EXPECT_EQ(got, cs.set) << cs.text;
    }
    Cfg c;
    ASSERT_TRUE(read_cfg("&cfg ivec = 1 , 2 /", c).ok());
    EXPECT_EQ(c.ivec, (std::array<std::int32_t, 3>{1, 2, 0})); // fewer values: the rest unchanged
    ASSERT_TRUE(read_cfg("&cfg weight(2,15)=1.5d0 ivec(3:1:-1)=7 8 9 /", c).ok());
    EXPECT_EQ(c.weight[29], 1.5);
    EXPECT_EQ(c.ivec, (std::array<std::int32_t, 3>{9, 8, 7}));
}

TEST(Namelist, GroupSearchOrderAndTerminators) {
    std::istringstream in("text before\n&other x=1 /\n&cfg count=1 &end\n"
                          "$CFG count=2 $END\n &cfg count=3 / &cfg count=99 /\n&cfg\n count=4\n/\n");
    NamelistReader r(in);
    Cfg c;
    NamelistGroup g = c.group();
    for (int want : {1, 2, 3, 4}) {
        const ReadStatus st = r.read(g);
        ASSERT_TRUE(st.ok()) << st.message;
        EXPECT_EQ(c.count, want); // the rest of the record after a group's end is skipped
    }
    const ReadStatus st = r.read(g);
    EXPECT_EQ(st.iostat, IoStat::end_of_file);
    EXPECT_NE(st.message.find("not found"), std::string::npos);
}

TEST(Namelist, MissingKeysAreReported) {
    Cfg c;
    std::istringstream in("&cfg count=1 flag= /\n");
    NamelistReader r(in);
    NamelistGroup g = c.group();
    ASSERT_TRUE(r.read(g).ok());
    const std::vector<std::string> missing = g.missing_keys();
    EXPECT_EQ(missing.size(), 9u); // count and flag were named (flag with a null value)
    EXPECT_EQ(missing.front(), "process");
}

TEST(Namelist, ErrorsNameTheVariable) {
    struct Case {
        const char* text;
        IoStat status;
        const char* in_message;
    };
    const std::vector<Case> cases = {
        {"&cfg nosuch=1 /", IoStat::bad_value, "nosuch"},
        {"&cfg count=1.5 /", IoStat::bad_value, "count"},
        {"&cfg count=2147483648 /", IoStat::overflow, "count"},
        {"&cfg ivec(4)=1 /", IoStat::bad_value, "ivec"},
        {"&cfg ivec(0)=1 /", IoStat::bad_value, "ivec"},
        {"&cfg process(3,1)=t /", IoStat::bad_value, "process"},
        {"&cfg process(1)=t /", IoStat::bad_value, "process"},
        {"&cfg count(1)=1 /", IoStat::bad_value, "count"},
        {"&cfg ivec=1 2 3 4 /", IoStat::bad_value, "ivec"},
        {"&cfg ivec=4*7 /", IoStat::bad_value, "ivec"},
        {"&cfg count=1 2 /", IoStat::bad_value, "count"},
        {"&cfg title=hello /", IoStat::bad_value, "title"}, // character values must be quoted
        {"&cfg flag=1 /", IoStat::bad_value, "flag"},
        {"&cfg process (1,3)=t /", IoStat::bad_value, "process"},
        {"&cfg count 1 /", IoStat::bad_value, "count"},
        {"&cfg count= !c\n 5 /", IoStat::bad_value, "count"}, // the comment is a null: 5 is one too many
        {"&cfg ivec(2:1)=5 /", IoStat::bad_value, "ivec"},
        {"&cfg count=1", IoStat::end_of_file, "end of file"},
        {"& cfg count=1 /", IoStat::end_of_file, "not found"},
        {"&cfg title='open", IoStat::end_of_file, "end of file"},
        {"&cfg count=1 &aux /", IoStat::bad_value, "&"},
        {"&cfg 1x=1 /", IoStat::bad_value, "name"},
    };
    for (const auto& cs : cases) {
        Cfg c;
        const ReadStatus st = read_cfg(cs.text, c);
        EXPECT_EQ(st.iostat, cs.status) << cs.text << ": " << st.message;
        EXPECT_NE(st.message.find(cs.in_message), std::string::npos) << cs.text << ": " << st.message;
    }
}

TEST(Namelist, AcceptedOddities) {
    Cfg c;
    EXPECT_TRUE(read_cfg("&cfg count= , big=4 /", c).ok()); // an empty value is a null
    EXPECT_EQ(c.count, -1);
    EXPECT_EQ(c.big, 4);
    EXPECT_TRUE(read_cfg("&cfg count=1 count=2 /", c).ok()); // the last one wins
    EXPECT_EQ(c.count, 2);
    EXPECT_TRUE(read_cfg("&cfg count\n= 3 /", c).ok());
    EXPECT_EQ(c.count, 3);
    EXPECT_TRUE(read_cfg("&cfg flag=true\n/", c).ok());
    EXPECT_TRUE(c.flag);
    EXPECT_TRUE(read_cfg("&cfg flag=f, count=1;big=2 /", c).ok());
    EXPECT_FALSE(c.flag);
    EXPECT_EQ(c.big, 2);
    EXPECT_TRUE(read_cfg("&cfg title='a/b!c' ! note / here\n /", c).ok());
    EXPECT_EQ(c.title.substr(0, 6), "a/b!c ");
}

TEST(Namelist, BadGroupDefinitionsThrow) {
    bool b = false;
    std::array<double, 6> a{};
    EXPECT_THROW(NamelistGroup("1bad"), std::invalid_argument);
    EXPECT_THROW(NamelistGroup("g").add("x", b).add("X", b), std::invalid_argument);
    EXPECT_THROW(NamelistGroup("g").add("a", std::span(a), {4, 2}), std::invalid_argument);
}

TEST(Namelist, GarbageGivesStatusesNeverCrashes) {
    const std::string alphabet = "&$cfg=(),:;/!'\" \n\t0123456789.TFtfe+-*processivec";
    std::uint64_t s = 99;
    for (int round = 0; round < 300; ++round) {
        std::string text = "&cfg ";
        for (int n = 0; n < 200; ++n) {
            s = s * 6364136223846793005ULL + 1442695040888963407ULL;
            text.push_back(alphabet[(s >> 33) % alphabet.size()]);
        }
        Cfg c;
        const ReadStatus st = read_cfg(text, c);
        if (!st.ok()) {
            EXPECT_FALSE(st.message.empty());
        }
    }
}

} // namespace
} // namespace quelmar::textio
