// Conversion of numeric input text to values, shared by the formatted and list-directed readers.
//
// The rules are those of gfortran 12's formatted input: an optional sign, digits with at most one
// decimal point, an optional exponent written with E, D or Q (either case) followed by an optional
// sign and digits, or with a bare sign ("1.5-2" is 0.015). Without a decimal point, a formatted field
// has `implied_decimals` digits after an implied point. Infinity and NaN are read as words. Values are
// correctly rounded to the target precision.
#pragma once

#include <cstdint>
#include <string_view>

namespace quelmar::textio {

using float128 = __float128;

enum class Conv { ok, bad, overflow };

// Integer text: optional sign then at least one digit, nothing else. Blanks must already be removed
// (formatted fields) or never be present (list-directed tokens). Values outside [lo, hi] overflow.
Conv parse_integer(std::string_view s, std::int64_t lo, std::int64_t hi, std::int64_t& out);

// Real text as above. An empty text (an all-blank formatted field) is zero; so is a text with no
// mantissa digits, such as "-" or ".E5", as gfortran reads them in formatted input.
// `list_directed` applies the stricter rules of free-format input: no implied decimals, and a text
// without mantissa digits is an error.
Conv parse_real(std::string_view s, int implied_decimals, float& out, bool list_directed = false);
Conv parse_real(std::string_view s, int implied_decimals, double& out, bool list_directed = false);
Conv parse_real(std::string_view s, int implied_decimals, float128& out, bool list_directed = false);

} // namespace quelmar::textio
