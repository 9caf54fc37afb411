// Log restarts requested while the program runs: another process writes the marker file between two
// input lines, as an operator does in a pipeline.
#include <gtest/gtest.h>

#include "e2e/e2e_util.hpp"

using namespace quelmar::e2e;

namespace {

TEST(MarkerE2E, RequestsWrittenDuringTheRunAreServedOnce) {
    Workdir w;
    w.put_example(config_without_antex());
    // The input comes from a shell that writes the marker before each later line. The program polls
    // the marker after reading a line and before the next one, so the pauses order the writes
    // between two polls.
    const std::string script = "printf 'ZZZ 1\\n'; sleep 0.5;"
                               "printf 'x\\n' > quelmar-flush; printf 'ZZZ 2\\n'; sleep 0.5;"
                               "printf '   1\\n' > quelmar-flush; printf 'ZZZ 3\\n'; sleep 0.5;"
                               "printf '' > quelmar-flush; printf 'ZZZ 4\\n'; sleep 0.5;";
    w.put("feed.sh", script);
    const std::string cmd = "cd '" + w.path().string() + "' && sh feed.sh | '" + std::string(QUELMAR_BINARY) +
                            "' > stdout.txt 2> stderr.txt";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(w.get("stderr.txt"), "");
    // "x": a read error, warned and reset; "   1": a restart, which discards that warning; the empty
    // marker: a read error again, warned in the new log and reset.
    EXPECT_EQ(w.get("quelmar_v2.2.0.log"), " WARNING: log flush, read error\n");
    EXPECT_EQ(w.get("quelmar-flush"), "0\n");
}

} // namespace
