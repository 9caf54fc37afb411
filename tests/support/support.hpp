// What every test shares: a scratch directory per test, files and lines, a reproducible random
// generator, the MJD of a date from the standard library, and running the built program, a tool, a
// gfortran oracle or a Python reference script as a user would from a shell.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "frame/log.hpp"

namespace quelmar::test {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
}

inline bool has_line(const std::string& text, const std::string& line) {
    for (const auto& l : lines_of(text))
        if (l == line) return true;
    return false;
}

// `text` with its first `from` replaced by `to`; the test fails when `from` is absent.
inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto p = text.find(from);
    EXPECT_NE(p, std::string::npos) << "not in the text: " << from;
    if (p != std::string::npos) text.replace(p, from.size(), to);
    return text;
}

inline std::string shq(const fs::path& p) {
    return "'" + p.string() + "'";
}

// The public real GNSS data; realdata tests skip with a message when a file of it is absent.
inline fs::path shared_data(const std::string& rel = "") {
    return fs::path(QUELMAR_SHARED_DATA) / rel;
}

#define QUELMAR_NEED_DATA(...)                                                                               \
    for (const char* rel_ : {__VA_ARGS__})                                                                   \
        if (!std::filesystem::exists(::quelmar::test::shared_data(rel_)))                                    \
    GTEST_SKIP() << "real data absent: " << ::quelmar::test::shared_data(rel_)

// A fresh directory under the temporary directory, named after the running test, removed at the end.
class TempDir {
  public:
    TempDir() {
        static std::atomic<int> serial{0};
        std::string test = "none";
        if (const auto* i = ::testing::UnitTest::GetInstance()->current_test_info())
            test = std::string(i->test_suite_name()) + "." + i->name();
        if (test.size() > 120) test.resize(120);
        for (char& c : test)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
        dir_ = fs::temp_directory_path() /
               ("quelmar-" + test + "-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return dir_; }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }
    std::string read(const std::string& name) const { return read_file(dir_ / name); }
    bool has(const std::string& name) const { return fs::exists(dir_ / name); }

  private:
    fs::path dir_;
};

// A log writing to a file of a scratch directory, whose text can be read back.
class CapturedLog {
  public:
    CapturedLog() { EXPECT_TRUE(log.open_named(dir_.path("test.log"))); }
    std::string text() {
        log.flush();
        return dir_.read("test.log");
    }
    frame::Log log;

  private:
    TempDir dir_;
};

// splitmix64: identical on every platform, so that a generated case is regenerated from its seed.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::int64_t range(std::int64_t lo, std::int64_t hi) {
        return lo + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }
    bool chance(double p) { return unit() < p; }

  private:
    std::uint64_t s_;
};

// MJD of 0h of a Gregorian date, from the standard library's calendar (not the program's).
inline long mjd_of(int y, int m, int d) {
    using namespace std::chrono;
    const sys_days sd{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}};
    return static_cast<long>(sd.time_since_epoch().count()) + 40587;
}

struct Ran {
    int status = -1;
    std::string out, err;
};

// Runs a shell command in `dir` with standard output and error captured.
inline Ran shell(const TempDir& dir, const std::string& cmd) {
    const std::string full = "cd " + shq(dir.path()) + " && " + cmd + " > run.out 2> run.err";
    const int rc = std::system(full.c_str());
    Ran r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = dir.read("run.out");
    r.err = dir.read("run.err");
    return r;
}

// A built tool of the repository with its arguments, in `dir`.
inline Ran tool(const TempDir& dir, const std::string& name, const std::string& args) {
    return shell(dir, shq(fs::path(QUELMAR_TOOLS_DIR) / name) + " " + args);
}

// Debian's interpreter (python3-erfa belongs to it; a user-level python3 in PATH may lack it).
inline std::string python() {
    if (const char* p = std::getenv("QUELMAR_PYTHON"); p != nullptr && *p != '\0') return p;
    return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

// Runs a Python reference script of the tests (`script in out`, exit status 3 when its module is
// missing). Empty on success; "SKIP: why" when the reference is not available here; else why it failed.
inline std::string run_python_reference(const TempDir& dir, const fs::path& script, const std::string& in,
                                        const std::string& out) {
    const Ran r = shell(dir, shq(python()) + " " + shq(script) + " " + in + " " + out);
    if (r.status == 127 || r.status == 3) return "SKIP: " + python() + " or its module is missing: " + r.err;
    return r.status == 0 ? "" : "script failed (" + std::to_string(r.status) + "): " + r.err;
}

// A working directory with the embedded example's configuration and auxiliary files, in which the
// program runs as a user runs it.
class Workdir : public TempDir {
  public:
    static std::string example(const std::string& name) {
        return read_file(fs::path(QUELMAR_SOURCE_DIR) / "examples" / name);
    }
    // Every file of examples/ but the stream, the script and its README, and the configuration `cfg`.
    void put_example(const std::string& cfg) const {
        for (const auto& e : fs::directory_iterator(fs::path(QUELMAR_SOURCE_DIR) / "examples")) {
            const std::string n = e.path().filename().string();
            if (n != "messages.txt" && n != "run.sh" && n != "README.md")
                fs::copy_file(e.path(), path() / n, fs::copy_options::overwrite_existing);
        }
        write("quelmar_v2.2.0.nml", cfg);
    }
    struct Result {
        int status = -1;
        std::string out, err, log;
    };
    Result run(const std::string& input, const std::string& args = "") const {
        write("stdin.txt", input);
        // QUELMAR_PROGRAM runs another build of the program on the same cases (an older one, to see
        // that a case fails without a fix).
        const char* other = std::getenv("QUELMAR_PROGRAM");
        const Ran r = shell(*this, shq(other != nullptr && *other != '\0' ? other : QUELMAR_BINARY) + " " + args +
                                       " < stdin.txt");
        const bool rover = args == "rover" || args == "ROVER";
        return {r.status, r.out, r.err, read(rover ? "quelmar_v2.2.0.rover.log" : "quelmar_v2.2.0.log")};
    }
};

} // namespace quelmar::test
