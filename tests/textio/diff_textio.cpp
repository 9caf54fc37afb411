// The text I/O engine against gfortran 12's runtime: many generated cases (fixed seeds) go in one batch
// to the oracle program (tests/oracle/textio_oracle.f90, protocol at its head) and through our engine.
// Records written must agree byte for byte, values read bit for bit (targets an error leaves alone
// included), the sign of IOSTAT must agree. A failure shows the first few differing cases.
#include <quadmath.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <variant>

#include "support/support.hpp"
#include "textio/format.hpp"
#include "textio/listread.hpp"
#include "textio/namelist.hpp"

namespace quelmar::textio {
namespace {
using test::Rng;
int rnd(Rng& r, std::size_t lo, std::size_t hi) {
    return static_cast<int>(r.range(static_cast<std::int64_t>(lo), static_cast<std::int64_t>(hi)));
}
std::string word(Rng& r, std::string_view words) { // one of the '|'-separated words ("a||b" has an empty one)
    std::size_t from = 0;
    for (int k = rnd(r, 0, static_cast<std::size_t>(std::count(words.begin(), words.end(), '|'))); k > 0; --k)
        from = words.find('|', from) + 1;
    return std::string(words.substr(from, words.find('|', from) - from));
}
const std::string ascii =
    " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
std::string digits(Rng& r, int n, std::string_view chars = "0123456789") {
    std::string s;
    while (n-- > 0) s += chars[static_cast<std::size_t>(rnd(r, 0, chars.size() - 1))];
    return s;
}
std::string sign(Rng& r) {
    return word(r, "||||-|-|+");
}

// Items: int32, int64, real(4), real(8), real(16), logical, text (of its variable's length): "ijrdqlc".
using Val = std::variant<std::int32_t, std::int64_t, float, double, float128, bool, std::string>;
template <class F>
std::string bits(const F& v) { // the bit pattern in hexadecimal, most significant first, as Z writes it
    unsigned char b[sizeof(F)];
    std::memcpy(b, &v, sizeof b);
    std::string s;
    for (std::size_t k = sizeof b; k-- > 0;)
        s += {"0123456789ABCDEF"[b[k] >> 4], "0123456789ABCDEF"[b[k] & 15]};
    return s;
}
// An item as the oracle prints it (and, texts apart, as it takes a value to write).
std::string shown(const Val& v) {
    return std::visit(
        [](const auto& x) -> std::string {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::string>) return "[" + x + "]";
            if constexpr (std::is_same_v<T, bool>) return x ? "T" : "F";
            if constexpr (std::is_integral_v<T>) return std::to_string(x);
            if constexpr (std::is_floating_point_v<T> || std::is_same_v<T, float128>) return bits(x);
        },
        v);
}
std::string item_line(const Val& v, bool with_value) {
    char head[16];
    std::snprintf(head, sizeof head, "c%05zu ", v.index() == 6 ? std::get<6>(v).size() : 0);
    if (v.index() == 6) return head + (with_value ? std::get<6>(v) : "");
    return std::string(1, "ijrdqlc"[v.index()]) + (with_value ? " " + shown(v) : "");
}
// Items of each type with the oracle's starting values (a text is all '?' of its length).
const Val start[] = {std::int32_t{-777}, std::int64_t{-888}, -1535.0f, -999.25, float128(-555.125), true, ""};
Val of(char t) {
    return start[std::string_view("ijrdqlc").find(t)];
}
InItem target(Val& v) {
    if (v.index() < 6) v = start[v.index()];
    return std::visit([](auto& x) { return InItem(x); }, v);
}
struct Case {
    char mode; // W, R, L, N as for the oracle
    std::string fmt;
    std::vector<Val> items;
    std::vector<std::string> lines;
};
using Lines = std::vector<std::string>;
const std::string any = "\x1a"; // a line of ours that need not agree

// The sign of IOSTAT; for a namelist failure or not (gfortran calls some value errors end of file there).
std::string status(IoStat ios, char mode) {
    const int v = static_cast<int>(ios);
    return "=" + std::to_string(mode == 'N' ? v != 0 : (v > 0) - (v < 0));
}
Lines namelist_answer(const std::string& text) {
    bool flag = false;
    std::array<bool, 30> process{};
    std::array<double, 30> weight{};
    for (int k = 0, i = 1, j = 1; k < 30; ++k, i = k % 2 + 1, j = k / 2 + 1)
        process[k] = (i + j) % 3 == 0, weight[k] = -1000.25 * (i + 2 * j);
    std::array<std::int32_t, 3> ivec{-71, -72, -73};
    std::int32_t n_aux = -7777;
    float128 q = -7777.5;
    std::string title = "ZZZZ" + std::string(128, ' '), code = "YYYY";
    NamelistGroup cfg("cfg"), aux("aux");
    cfg.add("flag", flag)
        .add("process", std::span(process), {2, 15})
        .add("weight", std::span(weight), {2, 15});
    cfg.add("ivec", std::span(ivec)).add("q", q).add("title", title).add("code", code),
        aux.add("n_aux", n_aux);
    std::istringstream in(text);
    NamelistReader reader(in);
    ReadStatus st = reader.read(cfg);
    Lines a{status(st.iostat, 'N')};
    const auto add = [&](const Val& v) { a.push_back(st.ok() ? shown(v) : any); };
    add(flag), std::for_each(process.begin(), process.end(), add),
        std::for_each(weight.begin(), weight.end(), add);
    std::for_each(ivec.begin(), ivec.end(), add), add(q), add(title), add(code);
    if (!st.ok()) return a;
    st = reader.read(aux);
    a.push_back(status(st.iostat, 'N')), add(n_aux);
    return a;
}
Lines answer(const Case& c) {
    Lines a;
    std::string text;
    for (const auto& l : c.lines) text += l + "\n";
    if (c.mode == 'N') return namelist_answer(text);
    if (c.mode == 'W') {
        std::vector<OutItem> items;
        for (const Val& v : c.items) items.push_back(std::visit([](const auto& x) { return OutItem(x); }, v));
        Format(c.fmt).write_items(text, items); // a FormatError fails the test with the engine's message
        return test::lines_of(text + "\n");
    }
    ListReader list(text);
    for (int statement = 0; statement < (c.mode == 'L' ? 2 : 1); ++statement) {
        std::vector<Val> t = c.items;
        std::vector<InItem> in;
        for (Val& v : t) in.push_back(target(v));
        const ReadStatus st = c.mode == 'R' ? Format(c.fmt).read_items(c.lines[0], in) : list.read_items(in);
        a.push_back(status(st.iostat, c.mode));
        // A failed list-directed read is compared up to its failing item (gfortran may store part of it).
        for (std::size_t k = 0; k < t.size(); ++k)
            a.push_back(c.mode == 'R' || st.ok() || k < static_cast<std::size_t>(st.items_done) ? shown(t[k])
                                                                                                : any);
        if (!st.ok()) break;
    }
    return a;
}

// A case as the oracle takes it, and as a failure shows it.
std::string case_text(const Case& c) {
    std::string s = c.mode + (" " + std::to_string(c.items.size())) + " " + std::to_string(c.lines.size());
    s += c.mode == 'W' || c.mode == 'R' ? "\n" + c.fmt : "";
    for (const Val& v : c.items) s += "\n" + item_line(v, c.mode == 'W');
    for (const auto& l : c.lines) s += "\n" + l;
    return s + "\n";
}

// Runs n cases of the generator (from the seed) through the oracle and through our engine.
template <class Gen>
void compare(const std::string& what, std::uint64_t seed, int n, Gen gen) {
    const std::string exe = std::string(QUELMAR_ORACLE_DIR) + "/textio_oracle";
    if (!std::filesystem::exists(exe)) GTEST_SKIP() << "gfortran oracle " << exe << " not built: skipped";
    Rng r(seed);
    std::vector<Case> cases;
    std::string in, report, line;
    while (n-- > 0) in += case_text(cases.emplace_back(gen(r)));
    const test::TempDir dir;
    dir.write("cases.txt", in);
    const test::Ran ran = test::shell(dir, test::shq(exe) + " < cases.txt");
    ASSERT_EQ(ran.status, 0) << ran.err;
    std::istringstream out(ran.out);
    std::size_t bad = 0;
    for (const Case& c : cases) {
        const Lines ours = answer(c);
        std::string diff;
        std::size_t j = 0;
        for (; std::getline(out, line) && line != "\x1f"; ++j) {
            if (j >= ours.size() || (ours[j] != any && line != ours[j]))
                diff += "line " + std::to_string(j + 1) + ": gfortran [" + line + "] ours [" +
                        (j < ours.size() ? ours[j] : "") + "]\n";
        }
        if (j < ours.size()) diff += "gfortran answers only " + std::to_string(j) + " lines\n";
        if (!diff.empty() && ++bad <= 5) report += "\n" + case_text(c) + diff;
    }
    EXPECT_EQ(bad, 0u) << bad << " of " << cases.size() << " " << what
                       << " cases differ from gfortran:" << report;
}

// An edit of an expanded format: a data edit (upper-case letter, width, decimals), nX ('X', n), a literal.
struct Edit {
    char c;
    int w = 0, d = 0;
};

// Expands s[p] up to its ')'; `again` gets where the last top-level group starts: reversion goes there.
std::vector<Edit> expand(std::string_view s, std::size_t& p, std::size_t* again) {
    std::vector<Edit> out;
    const auto number = [&] {
        int v = 0;
        for (; std::isdigit(static_cast<unsigned char>(s[p])); ++p) v = v * 10 + (s[p] - '0');
        return v;
    };
    for (;;) {
        while (s[p] == ',' || s[p] == ' ') ++p;
        if (s[p] == ')') return out;
        const int rep = std::max(1, number());
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[p++])));
        std::vector<Edit> one{{c, c == 'X' ? rep : 0}};
        if (c == '(') {
            if (again != nullptr) *again = out.size();
            one = expand(s, p, nullptr);
            ++p;
        } else if (c == '\'' || c == '"') {
            while (s[p] != c || s[++p] == c) ++p; // to the closing quote; a doubled quote stands for itself
            one[0].c = '\'';
        } else if (c != 'X') {
            one[0].w = number();
            if (s[p] == '.') one[0].d = (++p, number());
            if (std::toupper(static_cast<unsigned char>(s[p])) == 'E') ++p, number();
        }
        for (int k = 0; k < (c == 'X' ? 1 : rep); ++k) out.insert(out.end(), one.begin(), one.end());
    }
}

// Every edit of the first pass; the data edits of a pass, and those that reversion repeats.
struct Layout {
    std::vector<Edit> all, first, again;
};
Layout layout(std::string_view fmt) {
    Layout l;
    std::size_t p = fmt.find('(') + 1, from = 0;
    l.all = expand(fmt, p, &from);
    for (std::size_t k = 0; k < l.all.size(); ++k)
        if (l.all[k].c != 'X' && l.all[k].c != '\'') (k >= from ? l.again : l.first).push_back(l.all[k]);
    l.first.insert(l.first.end(), l.again.begin(), l.again.end());
    return l;
}

// A data edit descriptor of class `c`, with a repeat count now and then, letters in either case.
std::string gen_desc(Rng& r, char c, bool reading) {
    const int w = rnd(r, 1, c == 'I' ? 25 : c == 'L' ? 10 : c == 'A' ? 30 : c == 'F' ? 40 : 45);
    std::string s = c == 'A' && r.chance(0.3) ? "A" : c + std::to_string(w);
    if (c == 'I' && r.chance(0.4)) s += "." + std::to_string(rnd(r, 0, w));
    if (c == 'F') s += "." + std::to_string(rnd(r, 0, r.chance(0.85) ? std::min(20, w - 1) : 20));
    if (c == 'E' || c == 'D')
        s += "." + std::to_string(reading ? rnd(r, 0, 12)
                                          : rnd(r, 1, r.chance(0.85) ? std::clamp(w - 5, 1, 25) : 25));
    if (c == 'E' && r.chance(0.3)) s += "E" + std::to_string(rnd(r, 1, 5));
    if (r.chance(0.2)) s = std::to_string(rnd(r, 2, 3)) + s;
    for (char& ch : s)
        ch = r.chance(0.5) ? static_cast<char>(std::tolower(static_cast<unsigned char>(ch))) : ch;
    return s;
}

// Data edits of the classes `letters`, nX or literals between them (chance `plain`), groups to `depth`.
std::string gen_list(Rng& r, const std::string& letters, double plain, int depth, bool reading) {
    std::string s;
    const auto gen_plain = [&] {
        if (reading || r.chance(0.5))
            return (r.chance(0.2) ? "" : std::to_string(rnd(r, 1, 5))) + word(r, "x,|X,");
        std::string lit = word(r, "'|\"");
        for (char c : digits(r, rnd(r, 0, 6), ascii))
            (lit += c) += c == lit[0] ? lit.substr(0, 1) : ""; // doubled
        return lit + lit[0] + ",";
    };
    for (int k = rnd(r, 1, 4); k > 0; --k) {
        if (r.chance(plain)) s += gen_plain();
        if (depth > 0 && r.chance(0.3))
            s += (r.chance(0.5) ? std::to_string(rnd(r, 2, 3)) : "") + "(" +
                 gen_list(r, letters, plain, depth - 1, reading) + "),";
        else
            s += gen_desc(r, letters[static_cast<std::size_t>(rnd(r, 0, letters.size() - 1))], reading) + ",";
    }
    s += r.chance(plain) ? gen_plain() : "";
    return s.substr(0, s.size() - 1);
}
Val real(char t, const std::string& text) {
    const char* p = text.c_str();
    return t == 'r'   ? Val(std::strtof(p, nullptr))
           : t == 'd' ? Val(std::strtod(p, nullptr))
                      : Val(strtoflt128(p, nullptr));
}

// A real of type t of decimal exponent in [lo, hi], or one that makes formatted output hard: exact binary
// ties, nines rounding up across a power of ten, tiny values (negative zero), Inf, NaN, extremes, any bits.
Val gen_real(Rng& r, char t, int lo, int hi) {
    const std::string s = r.chance(0.3) ? "-" : "", e = "e" + std::to_string(r.range(lo, hi));
    const int maxdig = t == 'r' ? 9 : t == 'd' ? 17 : 36, c = rnd(r, 0, 9);
    char hex[64];
    std::snprintf(hex, sizeof hex, "%a", std::ldexp(rnd(r, 0, 1 << 24), -rnd(r, 0, 30))); // k / 2^n: ties
    if (c < 3) return real(t, s + "0." + digits(r, rnd(r, 1, maxdig + 2)) + e);
    if (c < 4) return real(t, s + "0." + std::string(rnd(r, 1, maxdig), '9') + digits(r, rnd(r, 0, 2)) + e);
    if (c < 6) return real(t, s + hex);
    if (c < 7) return real(t, s + "0." + digits(r, 6) + "e" + std::to_string(lo - rnd(r, 1, 6)));
    if (c < 8)
        return real(t, s + word(r, "0|inf|nan|1|3.4028235e38|1.17549435e-38|1.4e-45|1.7976931348623157e308|"
                                   "2.2250738585072014e-308|4.9e-324|1.1897314953572e4932|6.5e-4966"));
    if (c < 9) return real(t, s + digits(r, rnd(r, 1, 10)));
    const std::uint64_t b = r.next(); // any bits: every value of a binary exponent equally likely
    const double d = std::bit_cast<double>(b);
    return t == 'r'   ? Val(std::bit_cast<float>(static_cast<std::uint32_t>(b)))
           : t == 'd' ? Val(d)
                      : Val(d * (1 + float128(r.next()) / 0x1p64));
}
Val gen_item(Rng& r, const Edit& e) {
    const char t = digits(r, 1, "dddrq")[0];
    const int wide = t == 'r' ? 45 : t == 'd' ? 320 : 4940; // exponents of three and four digits
    if (e.c == 'F') return gen_real(r, t, -e.d - 2, std::max(1, e.w - e.d));
    if (e.c == 'E' || e.c == 'D')
        return r.chance(0.7) ? gen_real(r, t, -40, 40) : gen_real(r, t, -wide, wide);
    if (e.c == 'L') return r.chance(0.5);
    if (e.c == 'A') return digits(r, rnd(r, 0, e.w > 0 ? e.w + 3 : 12), ascii);
    const std::int64_t i =
        r.chance(0.05)
            ? std::stoll(word(r, "-9223372036854775808|9223372036854775807|0|-1|-2147483648|2147483647"))
            : std::stoll(sign(r) + digits(r, rnd(r, 1, std::min(r.chance(0.8) ? e.w : 19, 18))));
    return r.chance(0.5) ? Val(i) : Val(static_cast<std::int32_t>(i));
}

// A write case: `extra` items more than one pass of the format takes (negative: fewer).
Case write_case(Rng& r, const std::string& fmt, int extra) {
    const Layout l = layout(fmt);
    Case c{'W', fmt, {}, {}};
    for (std::size_t k = 0; static_cast<int>(k) < static_cast<int>(l.first.size()) + extra; ++k)
        c.items.push_back(
            gen_item(r, k < l.first.size() ? l.first[k] : l.again[(k - l.first.size()) % l.again.size()]));
    return c;
}
void damage(Rng& r, std::string& s) { // blanks inside a field are ignored; other characters are not
    if (r.chance(0.15)) s.insert(static_cast<std::size_t>(rnd(r, 0, s.size())), 1, ' ');
    const auto at = static_cast<std::size_t>(rnd(r, 0, s.size()));
    if (r.chance(0.1)) s.insert(at, word(r, "x|,|;|/|*|a|Z|+|-|.|e|D|q|\t|'|("));
    if (r.chance(0.1) && at < s.size()) s.erase(at, 1);
}
std::string int_text(Rng& r, bool list) {
    if (list) return sign(r) + (r.chance(0.1) ? "000" : "") + digits(r, rnd(r, 1, r.chance(0.1) ? 20 : 9));
    if (r.chance(0.1))
        return word(r, "|-|+|-0|2147483647|2147483648|-2147483649|9223372036854775807|9223372036854775808|"
                       "-9223372036854775808|-9223372036854775809");
    std::string s = sign(r) + digits(r, rnd(r, 1, r.chance(0.1) ? 21 : 10));
    damage(r, s);
    return s;
}

// A real as text: point or not, E, D, Q or bare-sign exponents, words; in fields lone signs and damage.
std::string real_text(Rng& r, bool list) {
    if (r.chance(0.05))
        return list ? word(r, "inf|-Infinity|+INF|NaN|+nan|nan()|-0.0|1.E-400|9e99999|1.4e-45")
                    : word(r, "|-|+|.|-.|e|E5|.e5|-e-3|d|inf|Infinity|-INF|+inf|nan|-nan|nan()|nan(1)|infin|"
                              "infinityx|nanx|inf x|i n f|inf !");
    const int before = rnd(r, 0, r.chance(0.1) ? 40 : 10);
    std::string s = sign(r) + digits(r, before);
    if (before == 0 || r.chance(0.7)) s += "." + digits(r, rnd(r, before == 0, r.chance(0.1) ? 40 : 10));
    if (r.chance(0.5)) {
        const std::string letter = word(r, "E|e|D|d|Q|q|");
        s += letter + (letter.empty() ? word(r, "-|+") : sign(r)) +
             digits(r, r.chance(0.1) && !list ? 0 : rnd(r, 1, r.chance(0.1) ? 6 : 3));
    }
    if (!list) damage(r, s);
    return s;
}

// `s` in a field of width w: right-justified mostly, anywhere otherwise; cut when too long.
std::string fit(Rng& r, std::string s, int w) {
    const auto room = static_cast<std::size_t>(std::max(0, w - static_cast<int>(s.size())));
    const auto left = r.chance(0.6) ? room : static_cast<std::size_t>(rnd(r, 0, room));
    return (std::string(left, ' ') + s + std::string(room - left, ' '))
        .substr(0, static_cast<std::size_t>(w));
}

// A field for every edit, with chance `clean` as a writer lays it out; a line cut short now and then, or
// more items than the format has (reversion wants a second record, which a one-line read lacks).
Case read_case(Rng& r, const std::string& fmt, double clean) {
    Case c{'R', fmt, {}, {""}};
    std::string& line = c.lines[0];
    const Layout l = layout(fmt);
    for (const Edit& e : l.all) {
        const bool ok = r.chance(clean);
        const char t = e.c == 'I'   ? digits(r, 1, "ij")[0]
                       : e.c == 'L' ? 'l'
                       : e.c == 'A' ? 'c'
                                    : digits(r, 1, "dddrq")[0];
        char num[96];
        std::snprintf(num, sizeof num,
                      e.c == 'D'   ? "%.*e"
                      : e.c == 'E' ? "%.*E"
                                   : "%.*f",
                      e.d, (r.unit() - 0.3) * std::pow(10.0, rnd(r, 0, 10) - 3));
        const std::string f =
            e.c == 'I'   ? (ok ? sign(r) + std::to_string(rnd(r, 0, 99999)) : int_text(r, false))
            : e.c == 'L' ? word(r, ok ? "T|F" : "t|.F|.true.|.False.|tru|Tx|F7|.|x||1|. T|-T|.T.")
            : ok         ? num
                         : real_text(r, false);
        if (e.c != 'X') c.items.push_back(t == 'c' ? Val(std::string(rnd(r, 0, 16), '?')) : of(t));
        const int w = e.c == 'A' && e.w == 0 ? static_cast<int>(std::get<6>(c.items.back()).size()) : e.w;
        line += e.c == 'X' || e.c == 'A' ? digits(r, w, ascii) : fit(r, f, w);
    }
    if (r.chance(0.1)) line.resize(static_cast<std::size_t>(rnd(r, 0, line.size())));
    if (r.chance(0.05)) line += digits(r, rnd(r, 1, 10), ascii);
    if (r.chance(0.03)) {
        const std::vector<Val> again(c.items.end() - static_cast<std::ptrdiff_t>(l.again.size()),
                                     c.items.end());
        c.items.insert(c.items.end(), again.begin(), again.end());
    }
    line.resize(std::min<std::size_t>(line.size(), 1000));
    return c;
}

// A quoted text of n characters, the quote doubled inside, continued on the next record now and then.
std::string quoted(Rng& r, int n, std::string_view chars) {
    std::string s = word(r, "'|\"");
    for (const char ch : digits(r, n, chars)) {
        if (ch >= 'a' && ch <= 'z' && r.chance(0.05)) s += "\n"; // never a slash first on the next record
        (s += ch) += ch == s[0] ? s.substr(0, 1) : "";
    }
    return s + s[0];
}

// A value of type t. A logical word ("true") comes with its comma: gfortran loses track of the separators
// after one (docs/textio.md). Namelists get no such words, no Infinity or NaN, and quoted texts only.
std::string list_value(Rng& r, char t, bool nml) {
    if (t == 'i' || t == 'j') return int_text(r, true);
    if (t == 'l')
        return word(r,
                    r.chance(nml ? 0 : 0.2) ? "true,|False,|tx,|T1," : "T|F|t|f|.true.|.false.|.F.|.t|.fxyz");
    if (t == 'c' && (nml || r.chance(0.5)))
        return quoted(r, r.chance(0.1) ? rnd(r, 20, nml ? 150 : 30) : rnd(r, 0, 12),
                      "abcXYZ019 ,/;*!&=()'\"-.");
    if (t == 'c')
        return word(r, "a|x|A|Z|_|.|-|+|!|&|$|#|@|*") +
               digits(r, rnd(r, 0, r.chance(0.15) ? 30 : 8), "abcXYZ0189_.-+*!&'\"");
    std::string s = r.chance(0.1) ? int_text(r, true) : real_text(r, true);
    return nml && s.find_first_of("nN") != std::string::npos ? "1.5-3" : s;
}

// Values for two READs: separators (semicolons too), nulls, r* repeats across types, slashes, bad values.
Case list_case(Rng& r) {
    Case c{'L', "", {}, {}};
    for (int k = rnd(r, 1, 8); k > 0; --k) {
        const char t = digits(r, 1, "ijrdqlcc")[0];
        c.items.push_back(t == 'c' ? Val(std::string(rnd(r, 1, 20), '?')) : of(t));
    }
    const std::size_t n = c.items.size(),
                      total = 2 * n + static_cast<std::size_t>(rnd(r, 0, 2)) - (r.chance(0.1) ? n : 0);
    std::string t = r.chance(0.1) ? word(r, "\n|  | ,|,|\n ,|\n\n") : "";
    bool after_word = false;
    for (std::size_t k = 0; k < total;) {
        const char type = "ijrdqlc"[c.items[k % n].index()];
        const std::string sep = word(r, " | |  |,|, | , |\t|\n| \n |,\n|\n,|\n, | ,\n |;| ; |,\n\n|\n\n");
        if (k > 0) t += after_word ? " " : k % n == 0 && r.chance(0.7) ? "\n" : sep;
        const double p = r.unit();
        const int rep = rnd(r, 1, 4);
        const std::string v =
            p < 0.06   ? "," // a null value
            : p < 0.12 ? std::to_string(rep) + "*" + (r.chance(0.3) ? "" : list_value(r, type, false))
            : p < 0.14 ? (r.chance(0.5) ? "/" : "/ " + list_value(r, type, false)) // ends the statement
            : p < 0.16 ? word(r, "1.5|1e2|abc|'7'|--1|+|0*1|1+1|.|1.5e|e5|1.2.3|-|infin|0x10|nan(|1.0_8|.x|'"
                                 "ab'cd|\"x\"y|0*ab")
                       : list_value(r, type, false);
        k += p >= 0.06 && p < 0.12 ? static_cast<std::size_t>(rep) : p >= 0.12 && p < 0.14 ? n - k % n : 1;
        after_word = v.back() == ',' && v != "," && v[0] != '/';
        t += v;
    }
    c.lines = test::lines_of(t + (r.chance(0.2) ? word(r, ",| |\n| /|\n\n") : "") + "\n");
    return c;
}

// Group &cfg of the oracle: name, type (d: any real), extents; and a name not in it.
struct NmlVar {
    const char* name;
    char t;
    int d1, d2;
};
const NmlVar nml_vars[] = {{"flag", 'l', 0, 0}, {"process", 'l', 2, 15}, {"weight", 'd', 2, 15},
                           {"ivec", 'i', 3, 0}, {"q", 'd', 0, 0},        {"title", 'c', 0, 0},
                           {"code", 'c', 0, 0}, {"nosuch", 'i', 0, 0}};
std::string subscript(Rng& r, int extent) { // mostly an index (now and then outside), or a section
    const auto idx = [&] {
        return std::to_string(r.chance(0.05) ? rnd(r, 0, extent + 2) - 1 : rnd(r, 1, extent));
    };
    const int k = rnd(r, 0, 9);
    return k < 7 ? idx() : k < 8 ? ":" : k < 9 ? idx() + ":" + idx() : "1:" + std::to_string(extent) + ":2";
}

// name = values: arrays, elements, sections, repeats, nulls, too few or too many values.
std::string nml_assignment(Rng& r) {
    const NmlVar& v = nml_vars[r.chance(0.02) ? 7 : rnd(r, 0, 6)];
    std::string s;
    for (const char* p = v.name; *p != '\0'; ++p)
        s += r.chance(0.3) ? static_cast<char>(std::toupper(*p)) : *p;
    std::size_t n = static_cast<std::size_t>(std::max(1, v.d1) * std::max(1, v.d2));
    const bool sub = v.d1 > 0 && r.chance(0.5);
    if (sub) // in two dimensions an element has first subscript 1 (gfortran restarts it: docs/textio.md)
        s += "(" + (v.d2 > 0 ? word(r, "1|:|1:2|2:2|3|0") + "," + subscript(r, v.d2) : subscript(r, v.d1)) +
             ")",
            n = 3;
    s += word(r, "=| = |= | =|\n= ");
    const std::size_t values =
        r.chance(0.1) ? n + static_cast<std::size_t>(rnd(r, 0, 2)) : static_cast<std::size_t>(rnd(r, 0, n));
    for (std::size_t k = 0; k < values; ++k) {
        if (k > 0) s += word(r, " |, |,| ,|\n |\t");
        // nulls only among the elements: gfortran takes surplus ones or not by what follows (docs/textio.md)
        const int kind = k < n && !sub ? rnd(r, 0, 19) : 19, rep = rnd(r, 1, 4);
        const std::string value =
            r.chance(0.03) ? word(r, "abc|1.5.5|'x'y|1x|1e|0*1") : list_value(r, v.t, true);
        if (kind == 0) s += ",";
        if (kind == 1 || kind == 2)
            s += std::to_string(rep) + "*" + (r.chance(0.7) ? value : ""), k += rep - 1;
        if (kind > 2) s += value;
    }
    return s;
}

// Group &cfg after other text, its assignments, its end (/, &end, $end, or none), then perhaps &aux.
Case nml_case(Rng& r) {
    std::string t =
        r.chance(0.2) ? word(r, "! configuration\n|junk text\n|&other a=1 /\n|&aux n_aux=5 /\n") : "";
    t += word(r, "&cfg|&CFG|$cfg| &Cfg|&cfg\n");
    for (int k = rnd(r, 0, 8); k > 0; --k) {
        std::string sep = word(r, " | |\n|\n  |\t| ! note\n");
        // a comment right after a null assignment ("x = ! note") is one more quirk left alone
        if (sep.find('!') != std::string::npos && std::string_view("= ,").find(t.back()) != std::string::npos)
            sep = "\n";
        t += sep + nml_assignment(r);
    }
    if (!r.chance(0.03)) t += word(r, " |\n|, | ! end\n") + word(r, "/|/|/|&end|$end|&END");
    if (r.chance(0.8))
        t += (r.chance(0.2) ? "\n\n&aux n_aux = " : "\n&aux n_aux = ") + int_text(r, true) + " /";
    return Case{'N', "", {}, test::lines_of(t + "\n")};
}
constexpr int kCases = 20000;

// The record layouts of the program and its tools: OB1 (six and four observables), EPH, CDS, station
// messages, OB2, UNDIF_DAT, ORBIT, TI-CLASSIC4, MODEL, WUS, I2I, PR6, trace and log lines, S3C, ANTEX, PCV.
std::string system_format(Rng& r) {
    return word(
        r,
        "(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,06(4x,a2),6(f14.3,i1,i1),1x,i5,1x,l1,1x,e15.7,"
        "1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1)|"
        "(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,04(4x,a2),4(f14.3,i1,i1),1x,i5,1x,l1,1x,e15.7,"
        "1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1)|(4x,2x,1X,I2.2,4(1X,I2),F5.1,3D19.12,7(3x,4d19.12))|"
        "(a,i2,1x,i2.2,4(1x,i2),f5.1,3d19.12,7(3x,4d19.12))|"
        "(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,f13.6,1x,i3,                   f8.3,3f12.6,1x,f8.4,2(1x,f9.5),"
        "1x,e11.3,1x,i1,i3)|(145x,3(1x,f10.5,1x,e10.3))|(a,5(1x,i2),f5.1,1x,a,1x,3f14.4)|"
        "(a,5(1x,i2),f5.1,1x,a,66(1x,e12.4))|(a,5(1x,i2),f5.1,1x,a,1x,9i6)|(a,5(1x,i2),f5.1,1x,a,1x,a20,a20)|"
        "(6x,5(1x,i2),f5.1,1x,i6)|"
        "(a,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,06(4x,a2),6(f14.3,i1,i1),1x,i5,1x,l1,1x,e15.7,"
        "1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1,2(1x,f7.3),f14.3,2(1x,e15.7))|"
        "(2(a,1x),i1,1x,f13.7,(1x,i2),2(1x,f7.3),f14.3,6(f15.3))|(f12.6,1x,i4,2i3,3f16.5,f16.12,1x,l1,a)|"
        "(i2,i4,f16.12,1x,a,i3,f11.6,2(f14.7,2f14.8),e23.15,1x,a,i6,2e23.15,2f14.3,1x,l1,4(1x,e15.7),1x,"
        "f12.2,3f10.4,f15.5,i7,2f15.5,2f8.2,6(f15.3),f15.8,f8.1,e18.10,6f9.3,3e16.8)|"
        "(2i4,f9.2,1x,f8.3,1x,f13.6,i4,1x,a,i3,4(1x,f14.4),2(f11.4,1x),5(f8.4,1x),e20.12,1x,2(f9.5,1x),"
        "8(e20.12,1x),2(f9.5,1x),i4,a,1x,f10.5,1x,f13.5,1x,f7.4)|(2a,i6,1x,a,i4,3e23.15)|"
        "(a,i2,1X,I2.2,4(1X,I2),F11.7,1X,a,i4,i3,6f14.3,f9.3,2(f9.3,f13.3),3f9.3,f8.1,e18.10,6f9.3,i5,i4,i6,"
        "4(2i3,e23.15))|"
        "(a,i2,1X,I2.2,4(1X,I2),F11.7,1X,a,i4,i3,i3,6f14.3,2e11.3,f9.3,2(f9.3,f13.3),3f9.3,f8.1,e18.10,6f9.3,"
        "2i3,1x,e23.15,e15.7,1x,l1,2i6,00020(i8,2e23.15),i5,i3,2(1x,l1),2i5,1x,a)|"
        "(3a,5i3,f5.1,i4,1x,a,i3,f11.6,2e15.3,1x,l1)|(a,1x,f13.7,1x,a,i3,5f10.5,1x,f10.3,1x,l1)|"
        "(a,6i3,f6.3,a)|(a,i6,3a,i3,a,i2.2,2i3,i6,a)|(2a,i3,2e16.8,3i6)|(a,2i3,e23.15)|(a,i6,f18.10,i2)|"
        "(a,i2.2,a,i1,3a)|(a3,i3,1x,i2.2,4i3,f12.8,4f16.6,2i3,4e23.15)|(F8.1,12X,A1,39X)|(A1,19X,A20,A20)|"
        "(2a20,i6,4x,a10)|(5I6,F13.7)|(2X,3F6.1)|(3X,A1,I2)|(3F10.2)|(3x,a5,19(f8.2))|(f8.1,19(f8.2))|"
        "(10f6.1)|(3f10.1)|(i3,2(2x,i4,2i3),2x,i3,2x,i3)");
}

// Formatted WRITE: each descriptor class alone (every width and precision, values that fit or not, round
// across a power of ten, tie); all mixed with nX, literals, nested groups, fewer items than edits (output
// stops at the first data edit without one) and more (reversion); the system's layouts.
TEST(FormatWriteDiff, GeneratedAndSystemFormats) {
    std::uint64_t seed = 10;
    for (const std::string letters : {"I", "F", "ED", "LA", "IFEDLA", "system"})
        compare("write " + letters, ++seed, kCases, [&](Rng& r) {
            if (letters == "system") return write_case(r, system_format(r), 0);
            const bool mixed = letters.size() > 2;
            const std::string fmt =
                "(" + gen_list(r, letters, mixed ? 0.6 : 0, mixed ? rnd(r, 0, 2) : 0, false) + ")";
            const int n = static_cast<int>(layout(fmt).first.size());
            return write_case(r, fmt, mixed ? rnd(r, 0, 4 * n + 2) - n : 0);
        });
}

// Formatted READ: fields with blanks inside, all blank, lone signs, implied decimals, E/D/Q and bare-sign
// exponents, Inf/NaN words, overflow, junk, A wider or narrower than its target; mixed with nX and groups,
// short lines; the system's layouts with mostly clean fields.
TEST(FormatReadDiff, GeneratedAndSystemFormats) {
    std::uint64_t seed = 20;
    for (const std::string letters : {"I", "F", "ED", "LA", "IFEDLA", "system"})
        compare("read " + letters, ++seed, kCases, [&](Rng& r) {
            const bool mixed = letters.size() > 2;
            if (letters == "system") return read_case(r, system_format(r), 0.9);
            return read_case(r, "(" + gen_list(r, letters, mixed ? 0.5 : 0, mixed, true) + ")", 0.25);
        });
}

TEST(ListAndNamelistReadDiff, GeneratedInput) {
    compare("list-directed", 70, kCases / 2, list_case);
    compare("namelist", 80, kCases / 2, nml_case);
}

} // namespace
} // namespace quelmar::textio
