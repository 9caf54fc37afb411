// Output records read back field by field through the text I/O engine, for the tests that check
// what the records carry.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "textio/format.hpp"

namespace quelmar::test {

using textio::Format;
using textio::InItem;
using textio::OutItem;

// One record read back: each field as a number (integers and logicals too) or a text.
struct Field {
    double x = 0;
    std::string t;
    char kind = 'r';
    std::int32_t i = 0;
    bool l = false;
};
using Record = std::vector<Field>;

// Field kinds: "i" integer, "r" real, "l" logical, "aN" text of N characters, each with an optional
// repeat count in front ("6r").
inline std::vector<Field> fields_of(const std::string& kinds) {
    std::vector<Field> f;
    std::istringstream in(kinds);
    for (std::string tok; in >> tok;) {
        std::size_t p = 0;
        const int n = std::isdigit(static_cast<unsigned char>(tok[0])) ? std::stoi(tok, &p) : 1;
        Field x;
        x.kind = tok[p];
        if (x.kind == 'a') x.t.assign(static_cast<std::size_t>(std::stoi(tok.substr(p + 1))), ' ');
        f.insert(f.end(), static_cast<std::size_t>(n), x);
    }
    return f;
}

// Reads `line` with `fmt` into fields of `kinds`.
inline Record read_fields(const Format& fmt, const std::string& kinds, const std::string& line) {
    Record r = fields_of(kinds);
    std::vector<InItem> in;
    for (Field& f : r) {
        if (f.kind == 'i') in.emplace_back(f.i);
        if (f.kind == 'r') in.emplace_back(f.x);
        if (f.kind == 'l') in.emplace_back(f.l);
        if (f.kind == 'a') in.emplace_back(f.t);
    }
    const auto st = fmt.read_items(line, in);
    EXPECT_TRUE(st.ok()) << line;
    for (Field& f : r) {
        if (f.kind == 'i') f.x = f.i;
        if (f.kind == 'l') f.x = f.l;
    }
    return r;
}

// Reads `line` with `fmt` and writes the fields back: the record must come out the same, byte for
// byte (every field in its columns, none too narrow).
inline Record read_back(const Format& fmt, const std::string& kinds, const std::string& line) {
    Record r = read_fields(fmt, kinds, line);
    std::vector<OutItem> out;
    for (Field& f : r) {
        if (f.kind == 'i') out.emplace_back(f.i);
        if (f.kind == 'r') out.emplace_back(f.x);
        if (f.kind == 'l') out.emplace_back(f.l);
        if (f.kind == 'a') out.emplace_back(f.t);
    }
    std::string again;
    fmt.write_items(again, out);
    EXPECT_EQ(again, line);
    return r;
}

inline const std::string pr6_head = "(a,i2,1X,I2.2,4(1X,I2),F11.7,1X,a,i4,i3,i3,6f14.3,2e11.3,f9.3,2(f9.3,f13.3),3f9.3,"
                             "f8.1,e18.10,6f9.3,2i3,1x,e23.15,e15.7,1x,l1,2i6";
inline const std::string pr6_kinds_head = "a4 6i r a4 3i 6r 2r r 4r 3r r r 6r 2i 2r l 2i";


// A PR6 row read back: its fixed fields, then the count n (field 42, from 0) and n triples (identifier,
// partial, a priori value) from field 43, then satellite number and kind, the double-difference
// switches, reference satellite, reference receiver index and name.
inline Record read_pr6(const std::string& line, bool round_trip = true) {
    static const Format head(pr6_head + ")");
    const int n = read_fields(head, pr6_kinds_head, line)[42].i;
    char group[32];
    std::snprintf(group, sizeof group, ",%05d(i8,2e23.15)", n);
    std::string kinds = pr6_kinds_head;
    for (int u = 0; u < n; ++u) kinds += " i 2r";
    const Format f(pr6_head + (n > 0 ? group : "") + ",i5,i3,2(1x,l1),2i5,1x,a)");
    return round_trip ? read_back(f, kinds + " 2i 2l 2i a4", line) : read_fields(f, kinds + " 2i 2l 2i a4", line);
}

} // namespace quelmar::test
