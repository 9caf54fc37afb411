// Differential test of the list-directed reader against gfortran's own list-directed READ.
//
// Thousands of generated inputs (fixed seeds, so a failure reproduces) are read by the oracle
// (tests/oracle/listread_oracle.f90) in one run and by ListReader, each into the same item lists
// ("schemas"), twice per case: a second READ statement follows a successful first one. Both sides
// print the status sign and every item (reals as bit patterns). Successful reads must agree on every
// item; failed reads must agree on the status sign and on the items stored before the failure.
#include "textio/listread.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.hpp"
#include "textio/oracle_run.hpp"

namespace quelmar::textio {
namespace {

using testing_support::Rng;

using K = InItem::Kind;

struct Slot {
    K kind;
    std::size_t len = 0; // character length
};

// The item lists of the oracle, in the same order.
const std::vector<std::vector<Slot>>& schemas() {
    static const std::vector<std::vector<Slot>> s = {
        {},
        {{K::Int32}, {K::Int32}, {K::Int32}, {K::Real64}, {K::Real64}},
        {{K::Text, 4}, {K::Real64}, {K::Real64}, {K::Real64}},
        {{K::Int64}, {K::Real32}, {K::Real128}, {K::Logical}, {K::Logical}, {K::Text, 20}, {K::Int32}},
        {{K::Real64}, {K::Real64}, {K::Real64}, {K::Int32}, {K::Int32}, {K::Int32}, {K::Real32}, {K::Real32}},
        {{K::Text, 20}, {K::Text, 4}, {K::Logical}, {K::Int32}, {K::Int32}, {K::Real64}},
        {{K::Text, 20}},
        std::vector<Slot>(9, Slot{K::Int32}),
    };
    return s;
}

// Storage for one schema's items, with the oracle's sentinel values.
struct Values {
    std::vector<std::int32_t> i4;
    std::vector<std::int64_t> i8;
    std::vector<float> r4;
    std::vector<double> r8;
    std::vector<float128> r16;
    std::vector<char> lg; // bool storage without vector<bool>
    std::vector<bool*> lp;
    std::vector<std::string> tx;
    std::vector<InItem> items;

    explicit Values(const std::vector<Slot>& schema) {
        i4.reserve(16), i8.reserve(16), r4.reserve(16), r8.reserve(16), r16.reserve(16), tx.reserve(16);
        bool first_logical = true;
        for (const Slot& s : schema) {
            switch (s.kind) {
            case K::Int32:
                items.emplace_back(i4.emplace_back(-7777));
                break;
            case K::Int64:
                items.emplace_back(i8.emplace_back(-7777));
                break;
            case K::Real32:
                items.emplace_back(r4.emplace_back(-7777.5f));
                break;
            case K::Real64:
                items.emplace_back(r8.emplace_back(-7777.5));
                break;
            case K::Real128:
                items.emplace_back(r16.emplace_back(float128(-7777.5)));
                break;
            case K::Logical:
                bools_.push_back(std::make_unique<bool>(first_logical));
                first_logical = false;
                items.emplace_back(*bools_.back());
                break;
            case K::Text:
                items.emplace_back(tx.emplace_back(std::string(s.len, 'Z')));
                break;
            }
        }
    }

    // One printed token per item, as the oracle prints them.
    std::vector<std::string> tokens() const {
        std::vector<std::string> out;
        char buf[64];
        for (const InItem& it : items) {
            switch (it.kind()) {
            case K::Int32:
                out.push_back(std::to_string(it.as<std::int32_t>()));
                break;
            case K::Int64:
                out.push_back(std::to_string(it.as<std::int64_t>()));
                break;
            case K::Real32: {
                std::uint32_t b;
                std::memcpy(&b, &it.as<float>(), 4);
                std::snprintf(buf, sizeof buf, "%08X", b);
                out.push_back(buf);
                break;
            }
            case K::Real64: {
                std::uint64_t b;
                std::memcpy(&b, &it.as<double>(), 8);
                std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(b));
                out.push_back(buf);
                break;
            }
            case K::Real128: {
                std::uint64_t b[2];
                std::memcpy(b, &it.as<float128>(), 16);
                std::snprintf(buf, sizeof buf, "%016llX%016llX", static_cast<unsigned long long>(b[1]),
                              static_cast<unsigned long long>(b[0]));
                out.push_back(buf);
                break;
            }
            case K::Logical:
                out.push_back(it.as<bool>() ? "T" : "F");
                break;
            case K::Text:
                out.push_back("[" + it.as<std::string>() + "]");
                break;
            }
        }
        return out;
    }

  private:
    std::vector<std::unique_ptr<bool>> bools_;
};

// Splits an oracle line into the status and the item tokens (a character token has a known width).
bool split_line(const std::string& line, const std::vector<Slot>& schema, std::string& status,
                std::vector<std::string>& toks) {
    std::size_t p = line.find(' ');
    status = line.substr(0, p);
    toks.clear();
    for (const Slot& s : schema) {
        if (p == std::string::npos || p + 1 > line.size()) return false;
        ++p;
        if (s.kind == K::Text) {
            toks.push_back(line.substr(p, s.len + 2));
            p += s.len + 2;
            if (p < line.size() && line[p] != ' ') return false;
            if (p >= line.size()) p = std::string::npos;
        } else {
            const std::size_t q = line.find(' ', p);
            toks.push_back(line.substr(p, q == std::string::npos ? std::string::npos : q - p));
            p = q;
        }
    }
    return true;
}

// ---- the generator ----

std::string gen_digits(Rng& g, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + g.range(0, 9)));
    return s;
}

std::string gen_integer(Rng& g, bool wide) {
    static const std::vector<std::string> edges32 = {"2147483647", "-2147483648", "0", "-0", "+0", "1"};
    static const std::vector<std::string> edges64 = {"9223372036854775807", "-9223372036854775808",
                                                     "2147483648", "-2147483649"};
    if (g.chance(0.1)) return g.pick(edges32);
    if (wide && g.chance(0.15)) return g.pick(edges64);
    std::string s = g.chance(0.3) ? (g.chance(0.5) ? "-" : "+") : "";
    if (g.chance(0.1)) s += "000";
    s += gen_digits(g, g.range(1, wide ? 18 : 9));
    return s;
}

std::string gen_real(Rng& g) {
    // No "-nan": gfortran gives it the sign bit for real(8) but not for real(16), and the sign of a
    // NaN carries no meaning for the program.
    static const std::vector<std::string> special = {"inf",
                                                     "-Infinity",
                                                     "+INF",
                                                     "NaN",
                                                     "+nan",
                                                     "nan()",
                                                     "0",
                                                     "-0.0",
                                                     "1.E-400",
                                                     "9e99999",
                                                     "3.4028235e38",
                                                     "1.4e-45",
                                                     "2.2250738585072014d-308"};
    if (g.chance(0.06)) return g.pick(special);
    std::string s = g.chance(0.3) ? (g.chance(0.5) ? "-" : "+") : "";
    const int before = g.range(0, 12), after = g.range(0, 25);
    s += gen_digits(g, before);
    if (before == 0 || g.chance(0.8)) {
        s += ".";
        s += gen_digits(g, before == 0 && after == 0 ? 1 : after);
    }
    if (g.chance(0.5)) {
        const bool bare = g.chance(0.15);
        if (!bare) s += g.pick(std::vector<std::string>{"e", "E", "d", "D", "q", "Q"});
        const std::string sign = bare ? g.pick(std::vector<std::string>{"+", "-"})
                                      : g.pick(std::vector<std::string>{"", "+", "-"});
        s += sign + gen_digits(g, g.range(1, 3));
    }
    return s;
}

// A logical written as a word of two or more characters starting with a letter ("true", "tx") is
// followed directly by a comma and then a blank: after such a word gfortran 12 forgets the separator
// state (blanks then a comma become two separators, a comma then a record end then a comma become
// one), a silent misreading that we deliberately do not copy.
std::string gen_logical(Rng& g) {
    static const std::vector<std::string> v = {"T",       "F",      "t",   "f",  ".true.",
                                               ".false.", ".TRUE.", ".F.", ".t", ".fxyz"};
    static const std::vector<std::string> words = {"true", "False", "tx", "T1"};
    if (g.chance(0.25)) return g.pick(words) + ",";
    return g.pick(v);
}

std::string gen_word(Rng& g) {
    static const std::string first = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_.-+!&$#@*";
    static const std::string rest =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.-+*!&'\"";
    std::string s(1, first[static_cast<std::size_t>(g.range(0, static_cast<int>(first.size()) - 1))]);
    const int n = g.chance(0.15) ? g.range(18, 30) : g.range(0, 8);
    for (int i = 0; i < n; ++i)
        s.push_back(rest[static_cast<std::size_t>(g.range(0, static_cast<int>(rest.size()) - 1))]);
    return s;
}

std::string gen_quoted(Rng& g) {
    const char q = g.chance(0.5) ? '\'' : '"';
    static const std::string chars = "abcXYZ019 ,/;*!&'\"-.";
    std::string s(1, q);
    const int n = g.chance(0.15) ? g.range(18, 30) : g.range(0, 10);
    for (int i = 0; i < n; ++i) {
        const char c = chars[static_cast<std::size_t>(g.range(0, static_cast<int>(chars.size()) - 1))];
        // The string continues on the next record now and then (never with a slash first on it, where
        // a statement beginning there would see gfortran's "/x" error).
        if (c >= 'a' && c <= 'z' && g.chance(0.05)) s += "\n";
        s.push_back(c);
        if (c == q) s.push_back(q);
    }
    s.push_back(q);
    return s;
}

std::string gen_bad(Rng& g, K kind) {
    switch (kind) {
    case K::Int32:
    case K::Int64:
        return g.pick(std::vector<std::string>{"1.5", "1e2", "abc", "'7'", "T", "99999999999999999999", "--1",
                                               "+", "3.0*2", "0*1", "1+1"});
    case K::Real32:
    case K::Real64:
    case K::Real128:
        return g.pick(std::vector<std::string>{".", "1.5e", "1x", "e5", "'1.0'", "T", "1.2.3", "-", "infin",
                                               "1.5e+", "0x10", "nan(", "1.0_8"});
    case K::Logical:
        return g.pick(std::vector<std::string>{"1", "x", ".x", "'T'", "."});
    case K::Text:
        return g.pick(std::vector<std::string>{"'ab'cd", "\"x\"y", "0*ab"});
    }
    return "?";
}

std::string gen_value(Rng& g, const Slot& s) {
    switch (s.kind) {
    case K::Int32:
        return gen_integer(g, false);
    case K::Int64:
        return gen_integer(g, true);
    case K::Real32:
    case K::Real64:
        return g.chance(0.1) ? gen_integer(g, false) : gen_real(g);
    case K::Real128:
        return g.chance(0.1) ? gen_integer(g, false) : gen_real(g);
    case K::Logical:
        return gen_logical(g);
    case K::Text:
        return g.chance(0.5) ? gen_quoted(g) : gen_word(g);
    }
    return "";
}

std::string gen_separator(Rng& g) {
    static const std::vector<std::string> seps = {" ",    " ",     " ",  "  ",  ",",     ",",   ", ",
                                                  " , ",  "\t",    "\n", "\n",  " \n ",  ",\n", "\n,",
                                                  "\n, ", " ,\n ", ";",  " ; ", ",\n\n", "\n\n"};
    return g.pick(seps);
}

// The text of one case: values for the schema's items (and sometimes more, or fewer), with random
// separators, nulls, repeat counts, slashes and occasional malformed values.
std::string gen_case(Rng& g, const std::vector<Slot>& schema) {
    std::string t;
    if (g.chance(0.1)) t += g.pick(std::vector<std::string>{"\n", "  ", " ,", ",", "\n ,", "\n\n"});
    const std::size_t n = schema.size();
    // Enough values for two statements, sometimes fewer (end of file) or more.
    const std::size_t total = 2 * n + static_cast<std::size_t>(g.range(0, 2)) - (g.chance(0.1) ? n : 0);
    bool after_word = false; // the last value was a logical word ("true,")
    for (std::size_t v = 0; v < total;) {
        const Slot& s = schema[v % n];
        if (v > 0) t += after_word ? " " : (v % n == 0 && g.chance(0.7)) ? "\n" : gen_separator(g);
        after_word = false;
        const double p = g.unit();
        if (p < 0.06) {
            t += ","; // a null value; the separator after it follows
            ++v;
            continue;
        }
        if (p < 0.12) {
            // r copies of one value, often crossing into items of another type.
            const int r = g.range(1, 4);
            t += std::to_string(r) + "*";
            if (g.chance(0.3)) {
                v += static_cast<std::size_t>(r); // r null values
                continue;
            }
            const std::string val = gen_value(g, s);
            after_word = val.back() == ',';
            t += val;
            v += static_cast<std::size_t>(r);
            continue;
        }
        if (p < 0.14) {
            t += "/";
            if (g.chance(0.5)) {
                t += ' ';
                t += gen_value(g, s);
            }
            v += n - v % n; // the statement is over
            continue;
        }
        if (p < 0.16) {
            t += gen_bad(g, s.kind);
            ++v;
            continue;
        }
        const std::string val = gen_value(g, s);
        after_word = val.back() == ',';
        t += val;
        ++v;
    }
    if (g.chance(0.2)) t += g.pick(std::vector<std::string>{",", " ", "\n", " /", "\n\n"});
    return t;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t nl = text.find('\n', start);
        lines.push_back(text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

// Our reader on one case: one or two result lines (status and tokens), as the oracle writes them.
struct Result {
    int status;
    int items_done;
    std::vector<std::string> tokens;
};

std::vector<Result> ours(int schema_no, const std::string& text) {
    const auto& schema = schemas()[static_cast<std::size_t>(schema_no)];
    std::string stream_text;
    for (const std::string& l : split_lines(text)) stream_text += l + "\n";
    ListReader reader(stream_text);
    std::vector<Result> out;
    for (int pass = 0; pass < 2; ++pass) {
        Values vals(schema);
        const ReadStatus st = reader.read_items(vals.items);
        const int sign = st.iostat == IoStat::ok ? 0 : (static_cast<int>(st.iostat) < 0 ? -1 : 1);
        out.push_back({sign, st.items_done, vals.tokens()});
        if (sign != 0) break;
    }
    return out;
}

std::string show(const std::string& text) {
    std::string s;
    for (char c : text) {
        if (c == '\n')
            s += "\\n";
        else if (c == '\t')
            s += "\\t";
        else
            s.push_back(c);
    }
    return s;
}

struct Stats {
    int cases = 0, statements = 0, errors = 0, mismatches = 0;
};

void run_batch(std::uint64_t seed, int count, Stats& stats) {
    Rng g(seed);
    std::vector<std::pair<int, std::string>> cases;
    std::string input;
    for (int i = 0; i < count; ++i) {
        const int schema = 1 + static_cast<int>(g.next() % 7);
        std::string text = gen_case(g, schemas()[static_cast<std::size_t>(schema)]);
        const auto lines = split_lines(text);
        input += std::to_string(schema) + " " + std::to_string(lines.size()) + "\n";
        for (const auto& l : lines) input += l + "\n";
        cases.emplace_back(schema, std::move(text));
    }
    const std::vector<std::string> lines = oracle::run("listread_oracle", input);
    ASSERT_FALSE(lines.empty());
    std::size_t li = 0;
    for (const auto& [schema_no, text] : cases) {
        const auto& schema = schemas()[static_cast<std::size_t>(schema_no)];
        const std::vector<Result> mine = ours(schema_no, text);
        ++stats.cases;
        // The oracle writes a second line only after a successful first statement.
        ASSERT_LT(li, lines.size()) << "oracle output ends early";
        const std::size_t oracle_lines = lines[li].rfind("0 ", 0) == 0 ? 2 : 1;
        for (std::size_t k = 0; k < mine.size() && k < oracle_lines; ++k) {
            const Result& r = mine[k];
            ASSERT_LT(li + k, lines.size()) << "oracle output ends early";
            const std::string& line = lines[li + k];
            std::string status;
            std::vector<std::string> toks;
            ASSERT_TRUE(split_line(line, schema, status, toks)) << line;
            const int theirs = std::stoi(status);
            ++stats.statements;
            if (r.status != 0) ++stats.errors;
            bool same = theirs == r.status;
            if (same) {
                const std::size_t upto = r.status == 0 ? toks.size() : static_cast<std::size_t>(r.items_done);
                for (std::size_t j = 0; j < upto && same; ++j) same = toks[j] == r.tokens[j];
            }
            if (!same) {
                ++stats.mismatches;
                std::string ours_line = std::to_string(r.status);
                for (const auto& t : r.tokens) ours_line += " " + t;
                ADD_FAILURE() << "schema " << schema_no << " statement " << k + 1 << " input \"" << show(text)
                              << "\"\n  gfortran: " << line << "\n  ours:     " << ours_line
                              << " (items done " << r.items_done << ")";
                break;
            }
        }
        li += oracle_lines;
        if (stats.mismatches > 20) FAIL() << "too many mismatches, stopping";
    }
}

TEST(ListReadDiff, GeneratedCasesAgreeWithGfortran) {
    QUELMAR_REQUIRE_ORACLE("listread_oracle");
    Stats stats;
    run_batch(20240601, 6000, stats);
    std::printf("list-directed differential: %d cases, %d statements (%d failing reads), %d mismatches\n",
                stats.cases, stats.statements, stats.errors, stats.mismatches);
    EXPECT_EQ(stats.mismatches, 0);
}

} // namespace
} // namespace quelmar::textio
