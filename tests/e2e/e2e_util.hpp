// Running the built program in a temporary working directory, as a user does.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace quelmar::e2e {

namespace fs = std::filesystem;

using testing_support::lines_of;
using testing_support::read_file;

inline bool contains_line(const std::string& text, const std::string& line) {
    for (const auto& l : lines_of(text))
        if (l == line) return true;
    return false;
}

inline bool starts_with(const std::string& s, const std::string& p) {
    return s.rfind(p, 0) == 0;
}

// The lines of `text` that start with `prefix`.
inline std::vector<std::string> lines_starting(const std::string& text, const std::string& prefix) {
    std::vector<std::string> v;
    for (const auto& l : lines_of(text))
        if (starts_with(l, prefix)) v.push_back(l);
    return v;
}

// How many lines of `text` equal `line`.
inline std::size_t count_lines(const std::string& text, const std::string& line) {
    std::size_t n = 0;
    for (const auto& l : lines_of(text)) n += l == line;
    return n;
}

// The lines of `text` from the first one equal to `first`, `count` of them (fewer at the end).
inline std::vector<std::string> block(const std::string& text, const std::string& first, std::size_t count) {
    const auto all = lines_of(text);
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i] == first)
            return {all.begin() + static_cast<long>(i),
                    all.begin() + static_cast<long>(std::min(all.size(), i + count))};
    return {};
}

// The example configuration of the repository, the embedded default.
inline std::string example_config() {
    return read_file(fs::path(QUELMAR_SOURCE_DIR) / "examples" / "quelmar_v2.2.0.nml");
}

// The example configuration without the ANTEX file, whose diagnostic echo would fill standard output.
inline std::string config_without_antex() {
    std::string cfg = example_config();
    const std::string from = "antexusage     = .true.";
    const auto p = cfg.find(from);
    EXPECT_NE(p, std::string::npos);
    if (p != std::string::npos) cfg.replace(p, from.size(), "antexusage     = .false.");
    return cfg;
}

// Replaces the first occurrence of `from` in `text` (the test fails if it is absent).
inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto p = text.find(from);
    EXPECT_NE(p, std::string::npos) << "not in the text: " << from;
    if (p != std::string::npos) text.replace(p, from.size(), to);
    return text;
}

struct RunResult {
    std::string out, err, log;
    int status = -1;
};

// A fresh working directory per test, removed at the end.
class Workdir {
  public:
    const fs::path& path() const { return dir_.path(); }
    void put(const std::string& name, const std::string& text) const { dir_.write(name, text); }
    // The auxiliary files of the embedded example (everything in examples/ but the stream, the script
    // and its README), and the configuration `config`.
    void put_example(const std::string& config) const {
        for (const auto& e : fs::directory_iterator(fs::path(QUELMAR_SOURCE_DIR) / "examples")) {
            const std::string name = e.path().filename().string();
            if (name == "messages.txt" || name == "run.sh" || name == "README.md") continue;
            fs::copy_file(e.path(), path() / name, fs::copy_options::overwrite_existing);
        }
        put("quelmar_v2.2.0.nml", config);
    }
    std::string get(const std::string& name) const { return dir_.read(name); }
    bool has(const std::string& name) const { return fs::exists(path() / name); }

    // Runs the program with `args` on `input`; the log read is that of the mode.
    RunResult run(const std::string& input, const std::string& args = "") const {
        put("stdin.txt", input);
        const std::string cmd = "cd '" + path().string() + "' && '" + std::string(QUELMAR_BINARY) + "' " +
                                args + " < stdin.txt > stdout.txt 2> stderr.txt";
        RunResult r;
        const int rc = std::system(cmd.c_str());
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        r.out = get("stdout.txt");
        r.err = get("stderr.txt");
        const bool rover = args == "rover" || args == "ROVER";
        r.log = get(rover ? "quelmar_v2.2.0.rover.log" : "quelmar_v2.2.0.log");
        return r;
    }

  private:
    testing_support::TempDir dir_;
};

} // namespace quelmar::e2e
