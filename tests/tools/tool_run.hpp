// Runs a built tool in a scratch directory as a user would from a shell, and collects its exit status,
// standard output and standard error.
#pragma once

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <span>
#include <string>

#include "support/test_support.hpp"

namespace quelmar::testing_support {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

// `tool` of the build's tool folder with `args`, in `dir`; standard input from the file `input` of
// `dir` when given.
inline ToolRun run_tool(const TempDir& dir, const std::string& tool, const std::string& args,
                        const std::string& input = "") {
    const std::string cmd = "cd '" + dir.path().string() + "' && '" + std::string(QUELMAR_TOOLS_DIR) + "/" +
                            tool + "' " + args + (input.empty() ? "" : " < " + input) +
                            " > tool.out 2> tool.err";
    ToolRun r;
    const int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = dir.read("tool.out");
    r.err = dir.read("tool.err");
    return r;
}

// A command line that must fail: its exit status and a piece of its message on standard error.
struct ToolFailure {
    const char* what;
    std::string args;
    int status;
    const char* message;
};

inline void expect_tool_failures(const TempDir& dir, const std::string& tool,
                                 std::span<const ToolFailure> cases) {
    for (const ToolFailure& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun r = run_tool(dir, tool, c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

} // namespace quelmar::testing_support
