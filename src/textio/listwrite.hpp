// List-directed (free-format) output for log and trace lines.
//
// A line starts with one blank and its items follow separated by single blanks. Texts are written as
// they are, logicals as T or F, integers in decimal. Reals are written in the shortest form that reads
// back to the same value (so a log line loses nothing and stays short): plain decimal when that is
// shorter, otherwise mantissa and exponent with an upper-case E ("1.5E+20"); a point is always
// present so that a real never looks like an integer ("2.0"); infinities and NaN as "Infinity",
// "-Infinity" and "NaN". Ranges (vectors, arrays) are written element by element.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "textio/format.hpp"

namespace quelmar::textio {

// Appends one item in the list-directed layout, without separator.
void append_list_item(std::string& out, const OutItem& item);

// The whole line: a leading blank, then the items separated by blanks.
std::string list_directed(std::span<const OutItem> items);

template <class... A>
std::string list_line(const A&... args) {
    std::vector<OutItem> items;
    items.reserve(sizeof...(A) * 2);
    (detail::push_out(items, args), ...);
    return list_directed(items);
}

} // namespace quelmar::textio
