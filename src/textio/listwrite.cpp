#include "textio/listwrite.hpp"

#include <charconv>
#include <cmath>

extern "C" {
#include <quadmath.h>
}

namespace quelmar::textio {

namespace {

// Puts the shortest round-trip text of a real into the Fortran-flavoured shape: upper-case exponent,
// and a decimal point in every finite value.
void tidy_real(std::string& out, std::string_view s) {
    if (s == "inf" || s == "+inf") {
        out += "Infinity";
        return;
    }
    if (s == "-inf") {
        out += "-Infinity";
        return;
    }
    if (s == "nan" || s == "-nan") {
        out += "NaN";
        return;
    }
    const auto epos = s.find_first_of("eE");
    std::string_view mant = s.substr(0, epos);
    out += mant;
    if (mant.find('.') == std::string_view::npos) out += ".0";
    if (epos != std::string_view::npos) {
        out += 'E';
        std::string_view ex = s.substr(epos + 1);
        if (!ex.empty() && ex.front() != '+' && ex.front() != '-') out += '+';
        out += ex;
    }
}

template <class T>
void shortest(std::string& out, T v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    tidy_real(out, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
}

// binary128 has no shortest conversion in the library: try increasing precisions until the text
// reads back to the same value (at most 36 significant digits are ever needed).
void shortest128(std::string& out, float128 v) {
    char buf[80];
    if (isinfq(v) || isnanq(v)) {
        tidy_real(out, isnanq(v) ? "nan" : (signbitq(v) ? "-inf" : "inf"));
        return;
    }
    int n = 0;
    for (int prec = 1; prec <= 36; ++prec) {
        n = quadmath_snprintf(buf, sizeof buf, "%.*Qg", prec, v);
        if (strtoflt128(buf, nullptr) == v) break;
    }
    tidy_real(out, std::string_view(buf, static_cast<std::size_t>(n)));
}

} // namespace

void append_list_item(std::string& out, const OutItem& item) {
    switch (item.kind()) {
    case OutItem::Kind::Int: {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, item.as_int());
        out.append(buf, static_cast<std::size_t>(r.ptr - buf));
        break;
    }
    case OutItem::Kind::Real32:
        shortest(out, item.as_float());
        break;
    case OutItem::Kind::Real64:
        shortest(out, item.as_double());
        break;
    case OutItem::Kind::Real128:
        shortest128(out, item.as_float128());
        break;
    case OutItem::Kind::Logical:
        out.push_back(item.as_bool() ? 'T' : 'F');
        break;
    case OutItem::Kind::Text:
        out.append(item.as_text());
        break;
    }
}

std::string list_directed(std::span<const OutItem> items) {
    std::string out;
    for (const OutItem& it : items) {
        out.push_back(' ');
        append_list_item(out, it);
    }
    // No items: an empty record, as gfortran writes for a list-directed WRITE without items.
    return out;
}

} // namespace quelmar::textio
