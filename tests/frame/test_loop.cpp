// The pieces of the message loop: marker-file polling, line reading and dispatch.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "frame/run.hpp"
#include "support/test_support.hpp"

using namespace quelmar::frame;
namespace fs = std::filesystem;
using namespace quelmar::testing_support;

namespace {

// Runs a test inside a fresh working directory (the marker and the log live there).
class InTempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        old_ = fs::current_path();
        fs::current_path(dir_.path());
    }
    void TearDown() override { fs::current_path(old_); }
    static void put(const std::string& name, const std::string& text) { std::ofstream(name) << text; }
    static std::string get(const std::string& name) { return read_file(name); }
    TempDir dir_;
    fs::path old_;
};

using MarkerPoll = InTempDir;

TEST_F(MarkerPoll, ReadsTheRequestAsAFreeFormatRecord) {
    struct {
        const char* marker; // nullptr: no marker file at all
        bool flush;
        bool warning; // read error: warning in the log, marker reset to "0"
    } cases[] = {
        {"1\n", true, false},  {" 1\n", true, false},  {"   1 trailing text\n", true, false},
        {"0\n", false, false}, {"10\n", true, false},  {"1,0\n", true, false},
        {"x\n", false, true},  {"", false, true},      {"\n\n", false, true},
        {"2\n", false, true},  {"'1'\n", true, false}, {nullptr, false, true},
    };
    for (const auto& c : cases) {
        fs::remove("quelmar-flush");
        if (c.marker) put("quelmar-flush", c.marker);
        quelmar::frame::Run run;
        ASSERT_TRUE(run.log.open_named("test.log"));
        EXPECT_EQ(poll_marker(run), c.flush) << (c.marker ? c.marker : "(none)");
        run.log.close();
        const std::string log = get("test.log");
        if (c.warning) {
            EXPECT_EQ(log, " WARNING: log flush, read error\n") << (c.marker ? c.marker : "(none)");
            EXPECT_EQ(get("quelmar-flush"), "0\n");
        } else {
            EXPECT_EQ(log, "");
            EXPECT_EQ(get("quelmar-flush"), c.marker); // served requests are reset by the loop, not here
        }
    }
}

using Loop = InTempDir;

TEST_F(Loop, EachRequestIsServedOnceAndRestartsTheLog) {
    quelmar::frame::Run run;
    ASSERT_TRUE(run.log.open_named("run.log"));
    run.log.list("start-up line");
    put("quelmar-flush", "1\n");
    std::FILE* in = std::tmpfile();
    std::fputs("ZZZ one\nZZZ two\n", in);
    std::rewind(in);
    message_loop(run, in);
    std::fclose(in);
    run.log.close();
    EXPECT_EQ(get("quelmar-flush"), "0\n");
    EXPECT_EQ(get("run.log"), ""); // restarted before the first line; nothing logged since
}

TEST(ReadInputLine, CutsLongLinesAndKeepsTheNext) {
    std::FILE* in = std::tmpfile();
    const std::string longline(25000, 'a');
    std::fputs((longline + "\nOB1 next\r\nlast without newline").c_str(), in);
    std::rewind(in);
    std::string line;
    ASSERT_TRUE(read_input_line(in, line));
    EXPECT_EQ(line.size(), 20000u);
    ASSERT_TRUE(read_input_line(in, line));
    EXPECT_EQ(line, "OB1 next"); // a CRLF line end reads like LF
    ASSERT_TRUE(read_input_line(in, line));
    EXPECT_EQ(line, "last without newline");
    EXPECT_FALSE(read_input_line(in, line));
    std::fclose(in);
}

TEST(Classify, ComparesTheCodeAndOneBlankByteForByte) {
    EXPECT_EQ(classify("OB1  5 02 01 30"), MessageCode::OB1);
    EXPECT_EQ(classify("EXG "), MessageCode::EXG);
    EXPECT_EQ(classify("DUT whatever"), MessageCode::DUT);
    EXPECT_EQ(classify("OB1"), MessageCode::none); // no blank in column 4
    EXPECT_EQ(classify("OB12"), MessageCode::none);
    EXPECT_EQ(classify("ob1 "), MessageCode::none);
    EXPECT_EQ(classify(" OB1"), MessageCode::none);
    EXPECT_EQ(classify(std::string("OB1\0", 4)), MessageCode::none);
    EXPECT_EQ(classify(""), MessageCode::none);
}

} // namespace
