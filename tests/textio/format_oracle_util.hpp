// Shared pieces of the differential tests of formatted writing and reading: a small deterministic
// generator, typed write and read cases, the exchange with the gfortran oracle program
// (tests/oracle/format_oracle.f90) and readable descriptions of cases for failure messages.
#pragma once

#include "support/test_support.hpp"
#include "textio/format.hpp"

#include <gtest/gtest.h>

#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace quelmar::textio::difftest {

using testing_support::Rng;

enum class T : std::uint8_t { I4, I8, R4, R8, R16, L, C };

// One write item with its exact value.
struct WItem {
    T t = T::I4;
    std::int64_t i = 0;
    float f = 0;
    double d = 0;
    float128 q = 0;
    bool b = false;
    std::string s;

    static WItem i4(std::int32_t v) {
        WItem w;
        w.i = v;
        return w;
    }
    static WItem i8(std::int64_t v) {
        WItem w;
        w.t = T::I8;
        w.i = v;
        return w;
    }
    static WItem r4(float v) {
        WItem w;
        w.t = T::R4;
        w.f = v;
        return w;
    }
    static WItem r8(double v) {
        WItem w;
        w.t = T::R8;
        w.d = v;
        return w;
    }
    static WItem r16(float128 v) {
        WItem w;
        w.t = T::R16;
        w.q = v;
        return w;
    }
    static WItem l(bool v) {
        WItem w;
        w.t = T::L;
        w.b = v;
        return w;
    }
    static WItem c(std::string v) {
        WItem w;
        w.t = T::C;
        w.s = std::move(v);
        return w;
    }
};

struct WriteCase {
    std::string fmt;
    std::vector<WItem> items;
};

// One read target: its type, and for a character target its length.
struct RItem {
    T t = T::I4;
    int len = 0;
};

struct ReadCase {
    std::string fmt;
    std::string line;
    std::vector<RItem> items;
};

inline std::string hex_bits(const void* p, std::size_t n) {
    // Little-endian memory to a big-endian hexadecimal text, as Fortran's Z edit writes the bits.
    static constexpr char digits[] = "0123456789ABCDEF";
    const auto* b = static_cast<const unsigned char*>(p);
    std::string s;
    for (std::size_t k = n; k-- > 0;) {
        s += digits[b[k] >> 4];
        s += digits[b[k] & 15];
    }
    return s;
}
inline std::string hex(float v) {
    return hex_bits(&v, sizeof v);
}
inline std::string hex(double v) {
    return hex_bits(&v, sizeof v);
}
inline std::string hex(float128 v) {
    return hex_bits(&v, sizeof v);
}

inline std::string q_text(float128 v) {
    char buf[80];
    quadmath_snprintf(buf, sizeof buf, "%.36Qg", v);
    return buf;
}

inline std::string describe(const WItem& w) {
    char buf[96];
    switch (w.t) {
    case T::I4:
        return "int32 " + std::to_string(w.i);
    case T::I8:
        return "int64 " + std::to_string(w.i);
    case T::R4:
        std::snprintf(buf, sizeof buf, "real4 %.9g [%s]", static_cast<double>(w.f), hex(w.f).c_str());
        return buf;
    case T::R8:
        std::snprintf(buf, sizeof buf, "real8 %.17g [%s]", w.d, hex(w.d).c_str());
        return buf;
    case T::R16:
        return "real16 " + q_text(w.q) + " [" + hex(w.q) + "]";
    case T::L:
        return w.b ? "logical T" : "logical F";
    case T::C:
        return "char '" + w.s + "'";
    }
    return "?";
}

inline std::string describe(const WriteCase& c) {
    std::string s = "format " + c.fmt + "\n  items:";
    for (const auto& w : c.items) s += "\n    " + describe(w);
    return s;
}

inline const char* type_name(T t) {
    switch (t) {
    case T::I4:
        return "int32";
    case T::I8:
        return "int64";
    case T::R4:
        return "real4";
    case T::R8:
        return "real8";
    case T::R16:
        return "real16";
    case T::L:
        return "logical";
    case T::C:
        return "char";
    }
    return "?";
}

inline std::string describe(const ReadCase& c) {
    std::string s = "format " + c.fmt + "\n  line  [" + c.line + "]\n  items:";
    for (const auto& r : c.items) {
        s += ' ';
        s += type_name(r.t);
        if (r.t == T::C) s += "*" + std::to_string(r.len);
    }
    return s;
}

// ---- the oracle protocol (see the head of format_oracle.f90) ----

inline void put_case(std::string& out, const WriteCase& c) {
    out += 'W';
    out += c.fmt;
    out += '\n';
    char buf[16];
    for (const auto& w : c.items) {
        switch (w.t) {
        case T::I4:
            (out += 'i') += std::to_string(w.i) + ' ';
            break;
        case T::I8:
            (out += 'j') += std::to_string(w.i) + ' ';
            break;
        case T::R4:
            (out += 'r') += hex(w.f);
            break;
        case T::R8:
            (out += 'd') += hex(w.d);
            break;
        case T::R16:
            (out += 'q') += hex(w.q);
            break;
        case T::L:
            out += w.b ? "lT" : "lF";
            break;
        case T::C:
            std::snprintf(buf, sizeof buf, "c%05zu:", w.s.size());
            out += buf;
            out += w.s;
            break;
        }
    }
    out += '\n';
}

inline void put_case(std::string& out, const ReadCase& c) {
    out += 'R';
    out += c.fmt;
    out += "\n>";
    out += c.line;
    out += '\n';
    char buf[16];
    for (const auto& r : c.items) {
        switch (r.t) {
        case T::I4:
            out += 'i';
            break;
        case T::I8:
            out += 'j';
            break;
        case T::R4:
            out += 'r';
            break;
        case T::R8:
            out += 'd';
            break;
        case T::R16:
            out += 'q';
            break;
        case T::L:
            out += 'l';
            break;
        case T::C:
            std::snprintf(buf, sizeof buf, "c%05d", r.len);
            out += buf;
            break;
        }
    }
    out += '\n';
}

// The answer to one case: the status, and the lines that followed it (records of a write, item
// values of a read).
struct Answer {
    int iostat = 0;
    std::vector<std::string> lines;
};

inline std::string oracle_path() {
    return std::string(QUELMAR_ORACLE_DIR) + "/format_oracle";
}

inline bool oracle_available() {
    return ::access(oracle_path().c_str(), X_OK) == 0;
}

#define QUELMAR_REQUIRE_FORMAT_ORACLE()                                                                      \
    do {                                                                                                     \
        if (!::quelmar::textio::difftest::oracle_available())                                                \
            GTEST_SKIP() << "gfortran oracle not built (" << ::quelmar::textio::difftest::oracle_path()      \
                         << "): install gfortran and reconfigure to run the differential tests";             \
    } while (0)

namespace detail {

// Runs one oracle process on `input` (whole cases) and returns its standard output.
inline std::string run_one(const std::string& input) {
    const testing_support::TempDir dir;
    const std::string in = dir.write("cases.txt", input);
    const std::string cmd = "'" + oracle_path() + "' '" + in + "' > '" + dir.path("answers.txt") + "'";
    return std::system(cmd.c_str()) == 0 ? dir.read("answers.txt") : std::string();
}

inline void parse_answers(const std::string& text, std::vector<Answer>& answers) {
    std::size_t pos = 0;
    Answer cur;
    bool open = false;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string_view line(text.data() + pos, eol - pos);
        pos = eol + 1;
        if (line == "\x1f") {
            answers.push_back(std::move(cur));
            cur = Answer{};
            open = false;
        } else if (!open) {
            cur.iostat =
                line.size() > 1 && line[0] == '=' ? std::atoi(std::string(line.substr(1)).c_str()) : 999;
            open = true;
        } else if (line.size() > 2 && line[0] == '\x1e' && line[1] == '=') {
            // A failed write reports its status after the partial record.
            cur.iostat = std::atoi(std::string(line.substr(2)).c_str());
        } else {
            cur.lines.emplace_back(line);
        }
    }
}

} // namespace detail

// Runs the oracle on all cases, split over two processes that run at the same time.
template <class Case>
std::vector<Answer> ask_oracle(const std::vector<Case>& cases) {
    const std::size_t half = cases.size() / 2;
    std::string in1, in2;
    for (std::size_t k = 0; k < cases.size(); ++k) put_case(k < half ? in1 : in2, cases[k]);
    auto first = std::async(std::launch::async, [&in1] { return detail::run_one(in1); });
    const std::string out2 = detail::run_one(in2);
    const std::string out1 = first.get();
    std::vector<Answer> answers;
    answers.reserve(cases.size());
    detail::parse_answers(out1, answers);
    if (answers.size() != half) answers.resize(half, Answer{999, {"<no answer from the oracle>"}});
    detail::parse_answers(out2, answers);
    if (answers.size() != cases.size())
        answers.resize(cases.size(), Answer{999, {"<no answer from the oracle>"}});
    return answers;
}

// Collects mismatches of one class of cases; the test fails with the first few described in full.
class Mismatches {
  public:
    explicit Mismatches(std::string what) : what_(std::move(what)) {}
    void add(std::string text) {
        if (shown_.size() < 12) shown_.push_back(std::move(text));
        ++count_;
    }
    std::size_t count() const { return count_; }
    void report(std::size_t cases) const {
        std::string msg;
        for (const auto& s : shown_) msg += s + "\n";
        EXPECT_EQ(count_, 0u) << count_ << " of " << cases << " " << what_ << " cases differ from gfortran\n"
                              << msg;
    }

  private:
    std::string what_;
    std::vector<std::string> shown_;
    std::size_t count_ = 0;
};

} // namespace quelmar::textio::difftest
