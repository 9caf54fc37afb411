#include "textio/numconv.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

extern "C" {
#include <quadmath.h>
}

namespace quelmar::textio {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// The decomposed text of a real: sign, mantissa digits without the point, and the power of ten that
// the last mantissa digit stands for. Special values are flagged separately.
struct RealText {
    bool negative = false;
    bool infinity = false;
    bool nan = false;
    std::string digits; // mantissa digits, leading zeros stripped
    long long exponent = 0;
};

// Parses `s` into `rt`. Returns false on a malformed text.
bool decompose(std::string_view s, int implied_decimals, bool list_directed, RealText& rt) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        rt.negative = s[i] == '-';
        ++i;
    }
    // Infinity and NaN, spelled as words.
    if (i < n && (lower(s[i]) == 'i' || lower(s[i]) == 'n')) {
        std::string_view word = s.substr(i);
        if (iequals(word, "inf") || iequals(word, "infinity")) {
            rt.infinity = true;
            return true;
        }
        if (word.size() >= 3 && iequals(word.substr(0, 3), "nan")) {
            std::string_view rest = word.substr(3);
            if (rest.empty() || (rest.front() == '(' && rest.back() == ')')) {
                rt.nan = true;
                return true;
            }
        }
        return false;
    }
    bool point = false;
    long long frac_digits = 0;
    std::size_t mantissa_digits = 0;
    for (; i < n; ++i) {
        const char c = s[i];
        if (is_digit(c)) {
            ++mantissa_digits;
            if (point) ++frac_digits;
            // Leading zeros are dropped; after the point they still count in frac_digits.
            if (!(rt.digits.empty() && c == '0')) rt.digits.push_back(c);
        } else if (c == '.') {
            if (point) return false;
            point = true;
        } else {
            break;
        }
    }
    if (list_directed && mantissa_digits == 0) return false;
    long long exponent = 0;
    if (i < n) {
        const char c = lower(s[i]);
        if (c == 'e' || c == 'd' || c == 'q') {
            ++i;
        } else if (c != '+' && c != '-') {
            return false;
        }
        bool eneg = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            eneg = s[i] == '-';
            ++i;
        }
        if (i >= n) return false;
        for (; i < n; ++i) {
            if (!is_digit(s[i])) return false;
            if (exponent < 100000000) exponent = exponent * 10 + (s[i] - '0');
        }
        if (eneg) exponent = -exponent;
    }
    // A formatted field's exponent, less the implied decimals when there is no point, must stay
    // within four digits: gfortran rejects "1e10000" (and "1e-9999" under F20.5) rather than
    // reading infinity or zero, while "1e9999" overflows quietly to infinity.
    if (!list_directed) {
        const long long e = exponent - (point ? 0 : implied_decimals);
        if (e > 9999 || e < -9999) return false;
    }
    // Scale: the value is digits * 10^(exponent - fractional digits); the stripped leading zeros do
    // not change that. Without a point, the field's implied decimals play the part of the fraction.
    const long long scale = point ? frac_digits : (list_directed ? 0 : implied_decimals);
    rt.exponent = exponent - scale;
    return true;
}

template <class T>
T special_value(const RealText& rt) {
    T v;
    if (rt.nan)
        v = std::numeric_limits<T>::quiet_NaN();
    else
        v = std::numeric_limits<T>::infinity();
    return rt.negative ? -v : v;
}

// Builds "d...de<exp>" for the library converters.
std::string normalized(const RealText& rt) {
    std::string t;
    t.reserve(rt.digits.size() + 24);
    if (rt.negative) t.push_back('-');
    t += rt.digits;
    t.push_back('e');
    t += std::to_string(rt.exponent);
    return t;
}

template <class T>
Conv convert_binary(std::string_view s, int implied_decimals, T& out, bool list_directed) {
    RealText rt;
    if (!decompose(s, implied_decimals, list_directed, rt)) return Conv::bad;
    if (rt.infinity || rt.nan) {
        out = special_value<T>(rt);
        return Conv::ok;
    }
    if (rt.digits.empty()) {
        // A field with no significant digit is zero, signed when a point or digits followed the
        // sign; a bare sign reads as plus zero.
        const bool signed_zero = rt.negative && s.size() > 1;
        out = signed_zero ? -T(0) : T(0);
        return Conv::ok;
    }
    const std::string t = normalized(rt);
    T v{};
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec == std::errc()) {
        out = v;
        return Conv::ok;
    }
    // Out of range: strtod/strtof give the overflowed infinity or the underflowed denormal or zero,
    // as the Fortran runtime does.
    errno = 0;
    if constexpr (std::is_same_v<T, float>)
        out = std::strtof(t.c_str(), nullptr);
    else
        out = std::strtod(t.c_str(), nullptr);
    return Conv::ok;
}

} // namespace

Conv parse_integer(std::string_view s, std::int64_t lo, std::int64_t hi, std::int64_t& out) {
    std::size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        neg = s[i] == '-';
        ++i;
    }
    if (i >= s.size()) return s.empty() ? (out = 0, Conv::ok) : Conv::bad;
    // Accumulate the magnitude in unsigned arithmetic so that the most negative value fits.
    const std::uint64_t limit =
        neg ? static_cast<std::uint64_t>(-(lo + 1)) + 1 : static_cast<std::uint64_t>(hi);
    std::uint64_t mag = 0;
    bool over = false;
    for (; i < s.size(); ++i) {
        if (!is_digit(s[i])) return Conv::bad;
        const std::uint64_t digit = static_cast<std::uint64_t>(s[i] - '0');
        if (!over && (mag > (limit - digit) / 10)) over = true;
        if (!over) mag = mag * 10 + digit;
    }
    if (over) return Conv::overflow;
    out = neg ? static_cast<std::int64_t>(0 - mag) : static_cast<std::int64_t>(mag);
    return Conv::ok;
}

Conv parse_real(std::string_view s, int implied_decimals, float& out, bool list_directed) {
    return convert_binary(s, implied_decimals, out, list_directed);
}

Conv parse_real(std::string_view s, int implied_decimals, double& out, bool list_directed) {
    return convert_binary(s, implied_decimals, out, list_directed);
}

Conv parse_real(std::string_view s, int implied_decimals, float128& out, bool list_directed) {
    RealText rt;
    if (!decompose(s, implied_decimals, list_directed, rt)) return Conv::bad;
    if (rt.infinity || rt.nan) {
        float128 v = rt.nan ? nanq("") : float128(std::numeric_limits<double>::infinity());
        out = rt.negative ? -v : v;
        return Conv::ok;
    }
    if (rt.digits.empty()) {
        const bool signed_zero = rt.negative && s.size() > 1;
        out = signed_zero ? -float128(0) : float128(0);
        return Conv::ok;
    }
    const std::string t = normalized(rt);
    out = strtoflt128(t.c_str(), nullptr);
    return Conv::ok;
}

} // namespace quelmar::textio
