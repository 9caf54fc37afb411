#include "textio/format.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "textio/numconv.hpp"

extern "C" {
#include <quadmath.h>
}

namespace quelmar::textio {

namespace detail {
struct Op {
    enum class Code : std::uint8_t { A, I, F, E, D, L, X, Lit };
    Code code = Code::X;
    int w = -1; // field width; -1 for A without width
    int d = 0;  // decimals (F, E, D)
    int m = -1; // minimum digits (Iw.m)
    int e = -1; // exponent digits (Ew.dEe)
    std::string lit;

    bool is_data() const { return code != Code::X && code != Code::Lit; }
};
} // namespace detail

using detail::Op;

namespace {

constexpr std::size_t max_ops = 200000; // a flattened format larger than this is surely a mistake
constexpr int max_width = 100000;

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// ---------------------------------------------------------------------------------------------------
// Parsing a format text into a flat list of operations. Groups are expanded with their repeat
// counts, so that writing and reading are a single walk over the list.

class Parser {
  public:
    explicit Parser(std::string_view text) : t_(text) {}

    void parse(std::vector<Op>& ops, std::size_t& reversion) {
        skip_blanks();
        expect('(');
        list(ops, 0, reversion);
        expect(')');
        skip_blanks();
        if (i_ != t_.size()) fail("text after the closing parenthesis");
    }

  private:
    std::string_view t_;
    std::size_t i_ = 0;

    [[noreturn]] void fail(const std::string& what) const {
        throw FormatError("malformed format \"" + std::string(t_) + "\" at character " +
                          std::to_string(i_ + 1) + ": " + what);
    }
    void skip_blanks() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t')) ++i_;
    }
    char peek() {
        skip_blanks();
        return i_ < t_.size() ? t_[i_] : '\0';
    }
    void expect(char c) {
        if (peek() != c) fail(std::string("expected '") + c + "'");
        ++i_;
    }
    // An unsigned number; blanks between its digits are ignored as everywhere in a format.
    bool number(int& v) {
        if (!is_digit(peek())) return false;
        long long x = 0;
        while (is_digit(peek())) {
            x = x * 10 + (t_[i_] - '0');
            if (x > max_width) fail("number too large");
            ++i_;
        }
        v = static_cast<int>(x);
        return true;
    }

    static void append(std::vector<Op>& ops, const Op& op, int) {
        ops.push_back(op);
        if (ops.size() > max_ops) throw FormatError("format expands to too many edit operations");
    }

    // list := item { [','] item } ; depth 0 is the outermost parenthesis.
    void list(std::vector<Op>& ops, int depth, std::size_t& reversion) {
        if (peek() == ')') return; // "()" is a format without items
        for (;;) {
            item(ops, depth, reversion);
            const char c = peek();
            if (c == ',') {
                ++i_;
                continue;
            }
            if (c == ')') return;
            if (c == '\0') fail("missing ')'");
            // Fortran lets a comma be left out after a literal and in a few other places; we accept
            // any item that starts unambiguously.
        }
    }

    void item(std::vector<Op>& ops, int depth, std::size_t& reversion) {
        const char c0 = peek();
        if (c0 == '\'' || c0 == '"') {
            Op op;
            op.code = Op::Code::Lit;
            op.lit = literal();
            append(ops, op, depth);
            return;
        }
        int r = 1;
        const bool has_r = number(r);
        if (has_r && r == 0) {
            // "0x" is a zero-width skip in some dialects; a zero repeat count is an error.
            fail("zero repeat count");
        }
        const char c = upper(peek());
        if (c == '(') {
            ++i_;
            const std::size_t start = ops.size();
            std::vector<Op> body;
            std::size_t inner_rev = 0;
            list(body, depth + 1, inner_rev);
            expect(')');
            if (depth == 0) reversion = start; // the last top-level group is where reversion goes
            for (int k = 0; k < r; ++k)
                for (const Op& op : body) append(ops, op, depth);
            return;
        }
        if (c == '\0') fail("missing edit descriptor");
        ++i_;
        Op op;
        switch (c) {
        case 'X':
            op.code = Op::Code::X;
            op.w = has_r ? r : 1;
            append(ops, op, depth);
            return;
        case 'A':
            op.code = Op::Code::A;
            if (!number(op.w))
                op.w = -1;
            else if (op.w == 0)
                fail("zero width");
            break;
        case 'I':
            op.code = Op::Code::I;
            if (!number(op.w) || op.w == 0) fail("I needs a positive width");
            if (peek() == '.') {
                ++i_;
                if (!number(op.m)) fail("I w.m needs m");
                if (op.m > op.w) fail("I w.m with m > w");
            }
            break;
        case 'F':
        case 'E':
        case 'D':
            op.code = c == 'F' ? Op::Code::F : (c == 'E' ? Op::Code::E : Op::Code::D);
            if (!number(op.w) || op.w == 0) fail(std::string(1, c) + " needs a positive width");
            if (peek() != '.') fail(std::string(1, c) + " needs w.d");
            ++i_;
            if (!number(op.d)) fail(std::string(1, c) + " needs d");
            // Ew.0 and Dw.0 are valid for reading (the field's point or exponent decides); writing
            // with them is refused when it is attempted.
            if (op.code == Op::Code::E && upper(peek()) == 'E') {
                ++i_;
                if (!number(op.e) || op.e == 0) fail("E w.dEe needs e > 0");
            }
            break;
        case 'L':
            op.code = Op::Code::L;
            if (!number(op.w) || op.w == 0) fail("L needs a positive width");
            break;
        default:
            --i_;
            fail(std::string("unsupported edit descriptor '") + t_[i_] + "'");
        }
        for (int k = 0; k < r; ++k) append(ops, op, depth);
    }

    std::string literal() {
        const char q = t_[i_++];
        std::string s;
        for (;;) {
            if (i_ >= t_.size()) fail("unterminated literal");
            const char c = t_[i_++];
            if (c == q) {
                if (i_ < t_.size() && t_[i_] == q) {
                    s.push_back(q);
                    ++i_;
                    continue;
                }
                return s;
            }
            s.push_back(c);
        }
    }
};

// ---------------------------------------------------------------------------------------------------
// Output editing.

void stars(std::string& out, int w) {
    out.append(static_cast<std::size_t>(w), '*');
}

void right_justify(std::string& out, int w, std::string_view body) {
    if (static_cast<int>(body.size()) > w) {
        stars(out, w);
        return;
    }
    out.append(static_cast<std::size_t>(w) - body.size(), ' ');
    out.append(body);
}

void edit_integer(std::string& out, std::int64_t v, int w, int m) {
    if (m == 0 && v == 0) {
        out.append(static_cast<std::size_t>(w), ' ');
        return;
    }
    const bool neg = v < 0;
    const std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, mag);
    const int nd = static_cast<int>(r.ptr - digits);
    const int zeros = m > nd ? m - nd : 0;
    const int len = (neg ? 1 : 0) + zeros + nd;
    if (len > w) {
        stars(out, w);
        return;
    }
    out.append(static_cast<std::size_t>(w - len), ' ');
    if (neg) out.push_back('-');
    out.append(static_cast<std::size_t>(zeros), '0');
    out.append(digits, static_cast<std::size_t>(nd));
}

// Infinity and NaN as gfortran writes them under F, E and D editing.
void edit_nonfinite(std::string& out, bool nan, bool neg, int w) {
    if (nan) {
        right_justify(out, w, w >= 3 ? "NaN" : "****");
        return;
    }
    if (neg) {
        if (w < 4)
            stars(out, w);
        else
            right_justify(out, w, w >= 9 ? "-Infinity" : "-Inf");
    } else {
        if (w < 3)
            stars(out, w);
        else
            right_justify(out, w, w >= 8 ? "Infinity" : "Inf");
    }
}

// Lays out an F field from the correctly rounded digits "I.F" (or "I" when d = 0) of |v|.
void layout_fixed(std::string& out, bool neg, std::string_view digits, int w, int d) {
    // body: the digits, with the point added for d = 0; the leading zero of "0.xxx" is optional.
    char buf[8];
    std::string_view tail;
    if (d == 0) {
        buf[0] = '.';
        tail = std::string_view(buf, 1);
    }
    std::size_t len = (neg ? 1 : 0) + digits.size() + tail.size();
    std::size_t skip = 0;
    if (len > static_cast<std::size_t>(w) && digits.size() > 1 && digits[0] == '0' && digits[1] == '.') {
        skip = 1; // drop the optional leading zero
        --len;
    }
    if (len > static_cast<std::size_t>(w)) {
        stars(out, w);
        return;
    }
    out.append(static_cast<std::size_t>(w) - len, ' ');
    if (neg) out.push_back('-');
    out.append(digits.substr(skip));
    out.append(tail);
}

// Lays out an E or D field from d significant digits (no point) and the decimal exponent of the
// form 0.ddd x 10^exp.
void layout_exponent(std::string& out, bool neg, std::string_view digits, long exp, char letter, int w,
                     int e) {
    if (!digits.empty() && digits[0] != '0') { // not for zero
        // gfortran converts the value into a text "+d.ddde+xx" of at most w + d + 1 characters and
        // reads the exponent back from it. When the exponent's digits (at least two) do not all fit,
        // which happens for narrow fields with exponents of three or four digits, the last ones are
        // lost and the shorter exponent is what gets written: 0.3e1001 under E6.1 gives ".3+101",
        // 0.2e-100 under E5.1E1 gives ".2E-9".
        long cexp = exp - 1; // the exponent of the d.ddd form
        const long acexp = cexp < 0 ? -cexp : cexp;
        int nd = 2;
        for (long t = acexp; t >= 100; t /= 10) ++nd;
        for (int keep = std::max(w - 3, 0); nd > keep; --nd) cexp /= 10;
        exp = cexp + 1;
    }
    char ebuf[16];
    int elen = 0;
    const long aexp = exp < 0 ? -exp : exp;
    const char esign = exp < 0 ? '-' : '+';
    if (e < 0) {
        if (aexp <= 99) {
            ebuf[elen++] = letter;
            ebuf[elen++] = esign;
            ebuf[elen++] = static_cast<char>('0' + aexp / 10);
            ebuf[elen++] = static_cast<char>('0' + aexp % 10);
        } else if (aexp <= 999) {
            ebuf[elen++] = esign;
            ebuf[elen++] = static_cast<char>('0' + aexp / 100);
            ebuf[elen++] = static_cast<char>('0' + aexp / 10 % 10);
            ebuf[elen++] = static_cast<char>('0' + aexp % 10);
        } else {
            stars(out, w);
            return;
        }
    } else {
        char tmp[24];
        const auto r = std::to_chars(tmp, tmp + sizeof tmp, aexp);
        const int nd = static_cast<int>(r.ptr - tmp);
        if (nd > e || e > 10) {
            stars(out, w);
            return;
        }
        ebuf[elen++] = letter;
        ebuf[elen++] = esign;
        for (int k = nd; k < e; ++k) ebuf[elen++] = '0';
        std::memcpy(ebuf + elen, tmp, static_cast<std::size_t>(nd));
        elen += nd;
    }
    std::size_t len = (neg ? 1 : 0) + 2 + digits.size() + static_cast<std::size_t>(elen);
    bool zero = true;
    if (len > static_cast<std::size_t>(w)) {
        zero = false;
        --len;
    }
    if (len > static_cast<std::size_t>(w)) {
        stars(out, w);
        return;
    }
    out.append(static_cast<std::size_t>(w) - len, ' ');
    if (neg) out.push_back('-');
    if (zero) out.push_back('0');
    out.push_back('.');
    out.append(digits);
    out.append(ebuf, static_cast<std::size_t>(elen));
}

// Decimal digits of |v| for F (fixed, d decimals) and E (d significant digits) editing. Both are
// correctly rounded, ties to even, as the C library's conversions that gfortran relies on.
void fixed_digits(double a, int d, std::string& s) {
    // |a| < 2^1024 has at most 309 integer digits.
    s.resize(static_cast<std::size_t>(d) + 330);
    const auto r = std::to_chars(s.data(), s.data() + s.size(), a, std::chars_format::fixed, d);
    s.resize(static_cast<std::size_t>(r.ptr - s.data()));
}

void fixed_digits(float128 a, int d, std::string& s) {
    s.resize(static_cast<std::size_t>(d) + 4960);
    const int n = quadmath_snprintf(s.data(), s.size(), "%.*Qf", d, a);
    s.resize(static_cast<std::size_t>(std::max(n, 0)));
}

// Returns the exponent of 0.ddd form and leaves the d digits in s.
long scientific_digits(double a, int d, std::string& s) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, d - 1);
    const char* p = buf;
    s.clear();
    s.push_back(*p++);
    if (*p == '.') ++p;
    while (*p != 'e') s.push_back(*p++);
    ++p; // 'e'
    long exp = 0;
    std::from_chars(*p == '+' ? p + 1 : p, r.ptr, exp);
    return exp + 1;
}

long scientific_digits(float128 a, int d, std::string& s) {
    std::string buf(static_cast<std::size_t>(d) + 32, '\0');
    const int n = quadmath_snprintf(buf.data(), buf.size(), "%.*Qe", d - 1, a);
    buf.resize(static_cast<std::size_t>(std::max(n, 0)));
    s.clear();
    std::size_t i = 0;
    for (; i < buf.size() && buf[i] != 'e'; ++i)
        if (buf[i] != '.') s.push_back(buf[i]);
    long exp = 0;
    if (i + 1 < buf.size()) {
        const char* p = buf.data() + i + 1;
        std::from_chars(*p == '+' ? p + 1 : p, buf.data() + buf.size(), exp);
    }
    return exp + 1;
}

// True when a value of binary exponent e2 (2^e2 <= |v|) has more integer digits than an F field of
// width w holds, so that the field is asterisks whatever the digits: this spares converting the
// thousands of digits of a huge binary128 value only to throw them away.
bool surely_too_wide(int e2, int w) {
    // |v| >= 2^e2 has at least floor(e2 log10 2) + 1 integer digits; the factor is rounded down.
    return static_cast<long>(e2 * 0.30102) + 1 > w;
}

// What a real edit needs to know of a value before its digits, for both kinds of value (the C++
// library's classification functions do not take binary128, libquadmath's do).
struct RealClass {
    bool neg, finite, nan;
};
RealClass classify(double v) {
    return {std::signbit(v), std::isfinite(v), std::isnan(v)};
}
RealClass classify(float128 v) {
    return {signbitq(v) != 0, finiteq(v) != 0, isnanq(v) != 0};
}
int binary_exponent(double v) {
    return std::ilogb(v);
}
int binary_exponent(float128 v) {
    return ilogbq(v);
}

// F, E and D editing of a double or a binary128 value; the digits come from fixed_digits and
// scientific_digits of the value's own type.
template <class T>
void edit_real(std::string& out, const Op& op, T v, std::string& scratch) {
    const auto [neg, finite, nan] = classify(v);
    if (!finite) {
        edit_nonfinite(out, nan, neg, op.w);
        return;
    }
    const T a = neg ? -v : v;
    if (op.code == Op::Code::F) {
        if (a >= 1 && surely_too_wide(binary_exponent(a), op.w)) {
            stars(out, op.w);
            return;
        }
        fixed_digits(a, op.d, scratch);
        layout_fixed(out, neg, scratch, op.w, op.d);
        return;
    }
    long exp = 0;
    if (a == 0) {
        scratch.assign(static_cast<std::size_t>(op.d), '0');
    } else {
        exp = scientific_digits(a, op.d, scratch);
    }
    layout_exponent(out, neg, scratch, exp, op.code == Op::Code::D ? 'D' : 'E', op.w, op.e);
}

const char* code_name(Op::Code c) {
    switch (c) {
    case Op::Code::A:
        return "A";
    case Op::Code::I:
        return "I";
    case Op::Code::F:
        return "F";
    case Op::Code::E:
        return "E";
    case Op::Code::D:
        return "D";
    case Op::Code::L:
        return "L";
    default:
        return "?";
    }
}

[[noreturn]] void mismatch(const std::string& fmt, const Op& op, std::size_t item, const char* got) {
    throw FormatError("format \"" + fmt + "\": item " + std::to_string(item + 1) + " is " + got +
                      " but its edit is " + code_name(op.code));
}

const char* out_kind_name(OutItem::Kind k) {
    switch (k) {
    case OutItem::Kind::Int:
        return "an integer";
    case OutItem::Kind::Real32:
    case OutItem::Kind::Real64:
    case OutItem::Kind::Real128:
        return "a real";
    case OutItem::Kind::Logical:
        return "a logical";
    case OutItem::Kind::Text:
        return "text";
    }
    return "?";
}

// ---------------------------------------------------------------------------------------------------
// Input editing.

// The characters of the field of width w at pos. gfortran's internal read takes the record to end at
// its last non-blank character (`rec` is the line cut there): a field reaching past that end holds
// only the characters before it, and a field entirely past it is empty. Reading on past the end is
// reading blanks, except where the shortness shows (a sign that ends a field, the A edit below).
std::string_view field_at(std::string_view rec, std::size_t pos, int w) {
    if (pos >= rec.size()) return {};
    return rec.substr(pos, std::min(static_cast<std::size_t>(w), rec.size() - pos));
}

bool is_sign(char c) {
    return c == '+' || c == '-';
}

// Copies the field's characters without blanks, which numeric input ignores. A sign that ends the
// characters but has blanks after it in the field stands for a zero (an integer "-  ", a bare exponent
// sign "1.5+  "), so a zero digit is added for it; when the sign is the field's last character (the
// record ends there) it stays alone and is rejected by the parsers. A lone sign before a real's
// mantissa is the exception: it reads as +0 either way and is left alone. `buf` holds w + 1 characters.
std::string_view squeeze(std::string_view field, char* buf, bool real) {
    std::size_t n = 0;
    for (const char c : field)
        if (c != ' ') buf[n++] = c;
    if (n > 0 && is_sign(buf[n - 1]) && field.back() == ' ' && !(real && n == 1)) buf[n++] = '0';
    return std::string_view(buf, n);
}

bool is_alnum(char c) {
    return is_digit(c) || (upper(c) >= 'A' && upper(c) <= 'Z');
}

// Infinity and NaN in a real field, as gfortran spells them: after blanks and a sign, "inf" or
// "infinity", or "nan" optionally followed by "(letters and digits)", in any case. The word ends the
// field or is followed by a blank (or comes with its parentheses); the rest of the field may then hold
// only letters, digits and blanks, which are ignored. Returns false when the text is no such word;
// `bad` tells a word that went wrong.
bool special_word(std::string_view f, bool& nan, bool& negative, bool& bad) {
    std::size_t i = f.find_first_not_of(' ');
    if (i == std::string_view::npos) return false;
    negative = f[i] == '-';
    if (is_sign(f[i])) ++i;
    if (i >= f.size()) return false;
    const char c0 = upper(f[i]);
    if (c0 != 'I' && c0 != 'N') return false;
    auto match = [&](std::string_view word) {
        if (f.size() - i < word.size()) return false;
        for (std::size_t k = 0; k < word.size(); ++k)
            if (upper(f[i + k]) != word[k]) return false;
        i += word.size();
        return true;
    };
    auto rest_ok = [&] {
        for (; i < f.size(); ++i)
            if (f[i] != ' ' && !is_alnum(f[i])) return false;
        return true;
    };
    auto ends = [&] { return i == f.size() || f[i] == ' '; };
    bad = true;
    if (match("INF")) {
        nan = false;
        if (ends() || (match("INITY") && ends())) bad = !rest_ok();
    } else if (match("NAN")) {
        nan = true;
        if (ends()) {
            bad = !rest_ok();
        } else if (f[i] == '(') {
            for (++i; i < f.size() && is_alnum(f[i]);) ++i;
            if (i < f.size() && f[i] == ')') {
                ++i;
                bad = !rest_ok();
            }
        }
    }
    return true;
}

// gfortran keeps the sign of "-nan" in single and double precision but not in quadruple precision.
template <class T>
T special_value(bool nan, bool negative) {
    if constexpr (std::is_same_v<T, float128>) {
        if (nan) return nanq("");
        const float128 inf = std::numeric_limits<double>::infinity(); // HUGE_VALQ, which clang lacks
        return negative ? -inf : inf;
    } else {
        const T v = nan ? std::numeric_limits<T>::quiet_NaN() : std::numeric_limits<T>::infinity();
        return negative ? -v : v;
    }
}

// Reads a real field into `out`.
template <class T>
Conv read_real(std::string_view field, int d, T& out, char* buf) {
    bool nan = false, negative = false, bad = false;
    if (special_word(field, nan, negative, bad)) {
        if (bad) return Conv::bad;
        out = special_value<T>(nan, negative);
        return Conv::ok;
    }
    const std::string_view s = squeeze(field, buf, true);
    // A word broken by blanks ("i n f") is no number.
    const std::size_t first = !s.empty() && is_sign(s[0]) ? 1 : 0;
    if (first < s.size() && (upper(s[first]) == 'I' || upper(s[first]) == 'N')) return Conv::bad;
    return parse_real(s, d, out);
}

// The record as gfortran's internal read sees it: the line up to its last non-blank character.
std::string_view trim_record(std::string_view line) {
    std::size_t n = line.size();
    while (n > 0 && line[n - 1] == ' ') --n;
    return line.substr(0, n);
}

class SingleLine : public RecordSource {
  public:
    explicit SingleLine(std::string_view l) : line_(l) {}
    bool next(std::string_view& record) override {
        if (used_) return false;
        used_ = true;
        record = line_;
        return true;
    }

  private:
    std::string_view line_;
    bool used_ = false;
};

} // namespace

// ---------------------------------------------------------------------------------------------------

Format::Format(std::string_view text) : text_(text) {
    Parser(text).parse(ops_, reversion_);
    has_data_ = std::any_of(ops_.begin(), ops_.end(), [](const Op& op) { return op.is_data(); });
    if (has_data_ && std::none_of(ops_.begin() + static_cast<std::ptrdiff_t>(reversion_), ops_.end(),
                                  [](const Op& op) { return op.is_data(); }))
        throw FormatError("format \"" + text_ +
                          "\": the group that format reversion repeats has no data edit");
}

Format::~Format() = default;
Format::Format(const Format&) = default;
Format& Format::operator=(const Format&) = default;
Format::Format(Format&&) noexcept = default;
Format& Format::operator=(Format&&) noexcept = default;

void Format::write_items(std::string& out, std::span<const OutItem> items, std::size_t* overflowed) const {
    std::string scratch;
    std::size_t rec_start = out.size();
    std::size_t pending = 0; // blanks owed by X editing, written only if something follows
    std::size_t item = 0;
    std::size_t k = 0;
    const std::size_t n = items.size();
    for (;;) {
        if (k == ops_.size()) {
            if (item == n) break;
            if (!has_data_) throw FormatError("format \"" + text_ + "\" has no data edit for its items");
            out.push_back('\n'); // reversion starts a new record
            rec_start = out.size();
            pending = 0;
            k = reversion_;
        }
        const Op& op = ops_[k++];
        if (op.code == Op::Code::X) {
            pending += static_cast<std::size_t>(op.w);
            continue;
        }
        if (op.is_data() && item == n) break; // items exhausted: the record ends here
        out.append(pending, ' ');
        pending = 0;
        if (op.code == Op::Code::Lit) {
            out.append(op.lit);
            continue;
        }
        const OutItem& it = items[item];
        const std::size_t field = out.size();
        switch (op.code) {
        case Op::Code::I:
            if (it.kind() != OutItem::Kind::Int) mismatch(text_, op, item, out_kind_name(it.kind()));
            edit_integer(out, it.as_int(), op.w, op.m);
            break;
        case Op::Code::F:
        case Op::Code::E:
        case Op::Code::D:
            if (op.code != Op::Code::F && op.d == 0)
                throw FormatError("format \"" + text_ + "\": " + code_name(op.code) +
                                  " with d = 0 cannot be written");
            switch (it.kind()) {
            case OutItem::Kind::Real32:
                edit_real(out, op, static_cast<double>(it.as_float()), scratch);
                break;
            case OutItem::Kind::Real64:
                edit_real(out, op, it.as_double(), scratch);
                break;
            case OutItem::Kind::Real128:
                edit_real(out, op, it.as_float128(), scratch);
                break;
            default:
                mismatch(text_, op, item, out_kind_name(it.kind()));
            }
            break;
        case Op::Code::L:
            if (it.kind() != OutItem::Kind::Logical) mismatch(text_, op, item, out_kind_name(it.kind()));
            out.append(static_cast<std::size_t>(op.w - 1), ' ');
            out.push_back(it.as_bool() ? 'T' : 'F');
            break;
        case Op::Code::A: {
            if (it.kind() != OutItem::Kind::Text) mismatch(text_, op, item, out_kind_name(it.kind()));
            const std::string_view s = it.as_text();
            if (op.w < 0)
                out.append(s);
            else if (s.size() >= static_cast<std::size_t>(op.w))
                out.append(s.substr(0, static_cast<std::size_t>(op.w)));
            else {
                out.append(static_cast<std::size_t>(op.w) - s.size(), ' ');
                out.append(s);
            }
            break;
        }
        default:
            break;
        }
        // A numeric field never holds only asterisks unless its value did not fit.
        const bool numeric = op.code == Op::Code::I || op.code == Op::Code::F || op.code == Op::Code::E ||
                             op.code == Op::Code::D;
        if (overflowed != nullptr && numeric && out.size() > field &&
            out.find_first_not_of('*', field) == std::string::npos)
            ++*overflowed;
        ++item;
    }
    (void)rec_start;
}

ReadStatus require_finite(ReadStatus st, std::span<const InItem> items) {
    if (!st.ok()) return st;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const InItem& it = items[i];
        bool finite = true;
        if (it.kind() == InItem::Kind::Real32) finite = std::isfinite(it.as<float>());
        if (it.kind() == InItem::Kind::Real64) finite = std::isfinite(it.as<double>());
        if (it.kind() == InItem::Kind::Real128) finite = finiteq(it.as<float128>()) != 0;
        if (!finite) {
            st.iostat = IoStat::bad_value;
            st.items_done = static_cast<int>(i);
            st.message = "item " + std::to_string(i + 1) + " is not a finite number";
            return st;
        }
    }
    return st;
}

ReadStatus Format::read_items(std::string_view line, std::span<const InItem> items) const {
    SingleLine src(line);
    return read_items(src, items);
}

ReadStatus Format::read_items(RecordSource& src, std::span<const InItem> items) const {
    ReadStatus st;
    std::string_view line;
    if (!src.next(line)) {
        st.iostat = IoStat::end_of_file;
        st.message = "end of file";
        return st;
    }
    std::string_view rec = trim_record(line);
    bool past_end = false; // format reversion went past the last record
    std::size_t pos = 0;
    std::size_t item = 0;
    std::size_t k = 0;
    const std::size_t n = items.size();
    std::string wide; // for fields wider than the stack buffer
    char buf[256];
    auto field_buffer = [&](const Op& op) {
        if (op.w < static_cast<int>(sizeof buf)) return buf;
        wide.resize(static_cast<std::size_t>(op.w) + 1);
        return wide.data();
    };
    auto fail = [&](IoStat code, const Op& op, std::size_t start, const char* what) {
        st.iostat = code;
        st.items_done = static_cast<int>(item);
        const std::size_t end = std::min(line.size(), start + static_cast<std::size_t>(op.w));
        const std::string_view field =
            start < line.size() ? line.substr(start, end - start) : std::string_view();
        st.message = std::string(what) + " in item " + std::to_string(item + 1) + " (" + code_name(op.code) +
                     std::to_string(op.w) + " at columns " + std::to_string(start + 1) + "-" +
                     std::to_string(start + static_cast<std::size_t>(op.w)) + "): \"" + std::string(field) +
                     "\"";
        return st;
    };
    for (;;) {
        if (k == ops_.size()) {
            if (item == n) break;
            if (!has_data_) throw FormatError("format \"" + text_ + "\" has no data edit for its items");
            if (src.next(line)) {
                rec = trim_record(line);
            } else if (!rec.empty()) {
                // No record left. As gfortran does, the end of file shows only when an edit reads at
                // least one character there; an all-blank last record never gives it: reading goes on
                // as from blanks.
                past_end = true;
                rec = {};
            }
            pos = 0;
            k = reversion_;
        }
        const Op& op = ops_[k++];
        if (op.code == Op::Code::X) {
            pos += static_cast<std::size_t>(op.w);
            continue;
        }
        if (op.code == Op::Code::Lit) throw FormatError("format \"" + text_ + "\": a literal cannot be read");
        if (item == n) break;
        const InItem& it = items[item];
        if (past_end &&
            (op.code != Op::Code::A ||
             (op.w < 0 ? it.kind() != InItem::Kind::Text || !it.as<std::string>().empty() : op.w > 0))) {
            st.iostat = IoStat::end_of_file;
            st.items_done = static_cast<int>(item);
            st.message = "end of file after item " + std::to_string(item);
            return st;
        }
        const std::size_t start = pos;
        switch (op.code) {
        case Op::Code::I: {
            const std::string_view s = squeeze(field_at(rec, pos, op.w), field_buffer(op), false);
            std::int64_t v = 0;
            Conv c;
            if (it.kind() == InItem::Kind::Int32)
                c = parse_integer(s, INT32_MIN, INT32_MAX, v);
            else if (it.kind() == InItem::Kind::Int64)
                c = parse_integer(s, INT64_MIN, INT64_MAX, v);
            else
                mismatch(text_, op, item, "not an integer");
            if (c == Conv::bad) return fail(IoStat::bad_value, op, start, "bad integer");
            if (c == Conv::overflow) return fail(IoStat::overflow, op, start, "integer overflow");
            if (it.kind() == InItem::Kind::Int32)
                it.as<std::int32_t>() = static_cast<std::int32_t>(v);
            else
                it.as<std::int64_t>() = v;
            break;
        }
        case Op::Code::F:
        case Op::Code::E:
        case Op::Code::D: {
            const std::string_view f = field_at(rec, pos, op.w);
            char* b = field_buffer(op);
            Conv c = Conv::bad;
            switch (it.kind()) {
            case InItem::Kind::Real32:
                c = read_real(f, op.d, it.as<float>(), b);
                break;
            case InItem::Kind::Real64:
                c = read_real(f, op.d, it.as<double>(), b);
                break;
            case InItem::Kind::Real128:
                c = read_real(f, op.d, it.as<float128>(), b);
                break;
            default:
                mismatch(text_, op, item, "not a real");
            }
            if (c == Conv::bad) return fail(IoStat::bad_value, op, start, "bad real");
            if (c == Conv::overflow) return fail(IoStat::overflow, op, start, "real overflow");
            break;
        }
        case Op::Code::L: {
            if (it.kind() != InItem::Kind::Logical) mismatch(text_, op, item, "not a logical");
            // Optional blanks, an optional point, then T or F; the rest of the field is ignored.
            const std::string_view f = field_at(rec, pos, op.w);
            std::size_t q = 0;
            while (q < f.size() && f[q] == ' ') ++q;
            if (q < f.size() && f[q] == '.') ++q;
            const char c = q < f.size() ? upper(f[q]) : ' ';
            if (c != 'T' && c != 'F') return fail(IoStat::bad_value, op, start, "bad logical");
            it.as<bool>() = c == 'T';
            break;
        }
        case Op::Code::A: {
            if (it.kind() != InItem::Kind::Text) mismatch(text_, op, item, "not text");
            std::string& s = it.as<std::string>();
            const std::size_t len = s.size();
            const std::size_t w = op.w < 0 ? len : static_cast<std::size_t>(op.w);
            // The rightmost characters of a field longer than the target, else the field's characters
            // padded with blanks. A field cut by the end of the record holds only the characters
            // before that end, so its rightmost characters are those, not blanks.
            const std::string_view f = field_at(rec, pos, static_cast<int>(w));
            if (f.size() >= len) {
                s.assign(f.substr(f.size() - len));
            } else {
                s.assign(f);
                s.append(len - f.size(), ' ');
            }
            pos += w;
            ++item;
            continue;
        }
        default:
            break;
        }
        pos += static_cast<std::size_t>(op.w);
        ++item;
    }
    st.items_done = static_cast<int>(item);
    return st;
}

} // namespace quelmar::textio
