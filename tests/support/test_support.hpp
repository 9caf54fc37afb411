// Scaffolding shared by the tests: a private scratch directory per test, a log whose text can be read
// back, a reproducible random generator, and the MJD of a calendar date computed independently of the
// program's own calendar routines.
#pragma once

#include <sys/wait.h>

#include <cstdlib>

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "frame/log.hpp"

namespace quelmar::testing_support {

// The whole content of a file; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The lines of a text, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
}

// A file name as the configuration holds it: 132 characters, blank-padded.
inline std::string config_name(const std::string& path) {
    std::string s = path;
    s.resize(132, ' ');
    return s;
}

// A name no other test, and no other test process, uses at the same time: "quelmar-", the running
// test's suite and name (characters that do not belong in a file name replaced), the process id and a
// serial number for the several scratch places one test may hold at once.
inline std::string scratch_name() {
    static std::atomic<int> serial{0};
    std::string test = "no-test";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
        test = std::string(info->test_suite_name()) + "." + info->name();
    if (test.size() > 160) test.resize(160); // long parameterised names: stay far below NAME_MAX
    for (char& c : test)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
    return "quelmar-" + test + "-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
}

// A fresh directory under the system's temporary directory, removed with everything in it at the end.
class TempDir {
  public:
    TempDir() : dir_(std::filesystem::temp_directory_path() / scratch_name()) {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return dir_; }
    // The path of a file in the directory.
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // Writes `text` byte for byte to the file `name`; returns its path.
    std::string write(const std::string& name, const std::string& text) const {
        const std::string p = path(name);
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    // Writes the lines, each followed by a newline, to the file `name`; returns its path.
    std::string write_lines(const std::string& name, const std::vector<std::string>& lines) const {
        std::string text;
        for (const auto& l : lines) (text += l) += '\n';
        return write(name, text);
    }
    // The content of the file `name`; empty when it cannot be read.
    std::string read(const std::string& name) const { return read_file(dir_ / name); }

  private:
    std::filesystem::path dir_;
};

// A log writing to a file whose text can be read back; the file is removed at the end. Without a file
// name it gets one of its own in the temporary directory.
class CapturedLog {
  public:
    CapturedLog() : CapturedLog(std::filesystem::temp_directory_path() / (scratch_name() + ".log")) {}
    explicit CapturedLog(std::filesystem::path file) : path_(std::move(file)) {
        EXPECT_TRUE(log.open_named(path_.string())) << path_;
    }
    ~CapturedLog() {
        log.close();
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    // Everything written so far.
    std::string text() {
        log.flush();
        return read_file(path_);
    }
    std::vector<std::string> lines() { return lines_of(text()); }

    frame::Log log;

  private:
    std::filesystem::path path_;
};

// A test fixture that works in its own scratch directory, with a captured log (test.log) in it.
class ScratchFixture : public ::testing::Test {
  protected:
    TempDir dir_;
    CapturedLog captured_{dir_.path() / "test.log"};
    frame::Log& log_ = captured_.log;
};

// splitmix64: tiny, fast and identical on every platform, so that a generated case can be regenerated
// from the seed alone (the standard distributions are not portable across libraries).
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi] (inclusive); the bias of the modulo is irrelevant here.
    std::int64_t range(std::int64_t lo, std::int64_t hi) {
        return lo + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    // Uniform in [0, 1), from the 53 high bits.
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    template <class T>
    const T& pick(const std::vector<T>& v) {
        return v[static_cast<std::size_t>(range(0, static_cast<std::int64_t>(v.size()) - 1))];
    }

  private:
    std::uint64_t s_;
};

// MJD of 0h of a proleptic Gregorian date, from the standard library's calendar (days since 1970-01-01
// are MJD - 40587). For a valid month and a day 1..31 past the month's end it counts on into the next
// month, as the calendar routines do.
inline long mjd_of(int y, int m, int d) {
    using namespace std::chrono;
    const sys_days sd{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}};
    return static_cast<long>(sd.time_since_epoch().count()) + 40587;
}

// The Python interpreter for reference computations: $QUELMAR_PYTHON, else Debian's system
// interpreter (python3-erfa belongs to it; a user-level python3 earlier in PATH would not see it).
inline std::string python_interpreter() {
    if (const char* p = std::getenv("QUELMAR_PYTHON"); p != nullptr && *p != '\0') return p;
    if (std::filesystem::exists("/usr/bin/python3")) return "/usr/bin/python3";
    return "python3";
}

// Runs an ERFA reference script once: `script in out`, the script exiting with 3 when its module is
// missing. Returns "" on success; otherwise why the comparison cannot be made — a text starting with
// "FAILED" when the script itself failed (the test must fail), else the reason to skip.
inline std::string run_erfa_reference(const std::filesystem::path& script, const std::filesystem::path& in,
                                      const std::filesystem::path& out) {
    const std::string py = python_interpreter();
    const std::filesystem::path errf = out.string() + ".err";
    const std::string cmd = "'" + py + "' '" + script.string() + "' '" + in.string() + "' '" + out.string() +
                            "' 2>'" + errf.string() + "'";
    const int status = std::system(cmd.c_str());
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::string err = read_file(errf);
    while (!err.empty() && std::isspace(static_cast<unsigned char>(err.back()))) err.pop_back();
    if (code == 127) return "python3 (" + py + ") not found: the comparison with ERFA is skipped";
    if (code == 3)
        return "python3 has no usable erfa module (install Debian's python3-erfa): the comparison with ERFA "
               "is skipped (" +
               err + ")";
    if (code != 0)
        return "FAILED: the ERFA reference script exited with status " + std::to_string(code) + ": " + err;
    return "";
}

} // namespace quelmar::testing_support
