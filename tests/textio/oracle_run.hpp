// Running a gfortran oracle program from a differential test: the cases go to an input file, the
// oracle (built from tests/oracle/<name>.f90 into QUELMAR_ORACLE_DIR) runs once on the whole batch
// and writes an output file, whose lines come back to the test.
//
//     QUELMAR_REQUIRE_ORACLE("listread_oracle");   // skips the test, with a message, if not built
//     std::vector<std::string> lines = oracle::run("listread_oracle", input_text);
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "support/test_support.hpp"

#ifndef QUELMAR_ORACLE_DIR
#define QUELMAR_ORACLE_DIR ""
#endif

namespace quelmar::oracle {

inline std::filesystem::path path_of(const std::string& name) {
    return std::filesystem::path(QUELMAR_ORACLE_DIR) / name;
}

inline bool available(const std::string& name) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path_of(name), ec);
}

// Writes `input` to a temporary file, runs `name INPUT OUTPUT` and returns the lines of OUTPUT.
// A failure to run (the oracle crashed or exited non-zero) is a test failure and gives no lines.
inline std::vector<std::string> run(const std::string& name, const std::string& input) {
    const testing_support::TempDir dir;
    const std::string in = dir.write("cases.txt", input);
    const std::string out = dir.path("results.txt");
    std::vector<std::string> lines;
    const std::string exe = path_of(name).string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // In a sanitizer build the oracle is instrumented too; leaks inside the Fortran runtime are
        // not what the test is about.
        ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        ::execl(exe.c_str(), exe.c_str(), in.c_str(), out.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "oracle " << exe << " failed (status " << status << ")";
    } else {
        std::ifstream f(out, std::ios::binary);
        for (std::string line; std::getline(f, line);) lines.push_back(line);
    }
    return lines;
}

} // namespace quelmar::oracle

// Skips the current test, visibly, when the oracle program was not built (no gfortran).
#define QUELMAR_REQUIRE_ORACLE(name)                                                                         \
    do {                                                                                                     \
        if (!::quelmar::oracle::available(name))                                                             \
            GTEST_SKIP() << "gfortran oracle " << ::quelmar::oracle::path_of(name)                           \
                         << " not built: differential test skipped";                                         \
    } while (0)
