// Reading precise orbit products in SP3 format (versions a, b, c and d), plain or gzip-compressed.
//
// What is kept of a file: its version, the time system, the bases of the accuracy exponents and the
// epoch interval of the header, then every epoch ('*' line) with its position records ('P' lines).
// Velocity records ('V'), correlation records ('EP', 'EV') and comments are passed over.
//
// Column layout of the lines used (1-based columns):
//   line 1     "#", version a-d (2), P/V (3), year month day hour minute second (4-31),
//              number of epochs (33-39)
//   line 2     "##", GPS week (4-7), seconds of week (9-23), epoch interval in s (25-38)
//   "%c"       first such line: file type (4-5), time system (10-12) (versions c and d)
//   "%f"       first such line: base for position/velocity (4-13), base for clock/rate (15-26)
//   "*"        epoch: year (4-7), month (9-10), day (12-13), hour (15-16), minute (18-19),
//              seconds (21-31)
//   "P"        vehicle: system letter (2; blank in version a and for GPS), number (3-4); X, Y, Z in km
//              (5-18, 19-32, 33-46), clock in microseconds (47-60, 999999.999999 when bad or absent);
//              versions c and d: accuracy exponents of X, Y, Z (62-63, 65-66, 68-69) and clock (71-73),
//              clock event flag E (75), clock prediction flag P (76), manoeuvre flag M (79),
//              orbit prediction flag P (80)
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "gzlines.hpp"
#include "orbits/timescales.hpp"
#include "textio/numconv.hpp"

namespace quelmar::tools::sp3 {

using float128 = __float128;

// Lines of the file: plain or gzip-compressed (gzlines.hpp).
using LineSource = quelmar::tools::LineSource;

// ---------------------------------------------------------------------------------------------------
// The contents of an SP3 file.

struct PositionRecord {
    char system = 'G';              // constellation letter; blank in the file stands for G
    int number = 0;                 // satellite number within the constellation
    float128 x = 0, y = 0, z = 0;   // km, as written (6 decimals)
    float128 clock = 0;             // microseconds, 999999.999999 when bad or absent
    bool clock_blank = false;       // the clock field was blank (taken as absent)
    int sdev[4] = {-1, -1, -1, -1}; // accuracy exponents of X, Y, Z, clock; -1 when blank
    char clock_event = ' ', clock_predicted = ' ', maneuver = ' ', orbit_predicted = ' ';
    long line = 0; // line number in the file
};

struct Epoch {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double sec = 0;
    int mjd = 0;    // MJD of the date
    double sod = 0; // seconds of day: hour*3600 + minute*60 + sec
    long line = 0;  // line number of the '*' line
    std::vector<PositionRecord> records;

    // Seconds from `o` to this epoch.
    double seconds_after(const Epoch& o) const { return (mjd - o.mjd) * 86400.0 + (sod - o.sod); }
};

struct File {
    std::string path;
    char version = ' ';              // a, b, c or d
    std::string time_system = "GPS"; // as written in the first %c line ("GPS" for versions a and b)
    float128 base_pos = 0;           // base of the position accuracy exponents (mm)
    float128 base_clk = 0;           // base of the clock accuracy exponents (ps)
    double interval = 0;             // epoch interval of the header (s)
    int declared_epochs = 0;         // number of epochs of the header
    std::vector<Epoch> epochs;
};

namespace detail {

inline std::string field(const std::string& line, std::size_t col, std::size_t width) {
    std::string f;
    for (std::size_t i = col - 1; i < col - 1 + width; ++i) f.push_back(i < line.size() ? line[i] : ' ');
    return f;
}

inline std::string without_blanks(const std::string& s) {
    std::string r;
    for (char c : s)
        if (c != ' ') r.push_back(c);
    return r;
}

inline bool blank(const std::string& s) {
    return without_blanks(s).empty();
}

// An integer field of a fixed-column line; blanks around it allowed, an all-blank field is `fallback`
// when one is given and an error otherwise.
inline bool int_field(const std::string& line, std::size_t col, std::size_t width, int& out,
                      bool blank_ok = false, int fallback = 0) {
    const std::string f = without_blanks(field(line, col, width));
    if (f.empty()) {
        out = fallback;
        return blank_ok;
    }
    std::int64_t v = 0;
    if (textio::parse_integer(f, -999999999, 999999999, v) != textio::Conv::ok) return false;
    out = static_cast<int>(v);
    return true;
}

// A real field read as a Fortran F edit with `decimals` implied decimals; all blank reads as 0.
template <class T>
bool real_field(const std::string& line, std::size_t col, std::size_t width, int decimals, T& out) {
    return textio::parse_real(without_blanks(field(line, col, width)), decimals, out) == textio::Conv::ok;
}

inline std::string where(const File& f, long line) {
    return f.path + ":" + std::to_string(line) + ": ";
}

inline bool read_epoch_line(const std::string& line, Epoch& e) {
    if (!int_field(line, 4, 4, e.year) || !int_field(line, 9, 2, e.month) || !int_field(line, 12, 2, e.day) ||
        !int_field(line, 15, 2, e.hour) || !int_field(line, 18, 2, e.minute) ||
        !real_field(line, 21, 11, 8, e.sec))
        return false;
    double djm = 0;
    int j = 0;
    orbits::sla_cldj(e.year, e.month, e.day, djm, j);
    if (j != 0 || e.hour < 0 || e.hour > 23 || e.minute < 0 || e.minute > 59 || !(e.sec >= 0 && e.sec < 61))
        return false;
    e.mjd = static_cast<int>(djm);
    e.sod = e.hour * 3600.0 + e.minute * 60.0 + e.sec;
    return true;
}

inline bool read_position_line(const std::string& line, char version, PositionRecord& r) {
    const char letter = line.size() > 1 ? line[1] : ' ';
    r.system = letter == ' ' ? 'G' : letter;
    if (!int_field(line, 3, 2, r.number)) return false;
    if (!real_field(line, 5, 14, 6, r.x) || !real_field(line, 19, 14, 6, r.y) ||
        !real_field(line, 33, 14, 6, r.z))
        return false;
    const std::string clk = field(line, 47, 14);
    r.clock_blank = blank(clk);
    if (r.clock_blank)
        textio::parse_real("999999.999999", 6, r.clock); // a blank clock is an absent one
    else if (!real_field(line, 47, 14, 6, r.clock))
        return false;
    if (version == 'a') return true;
    // Accuracy exponents and flags (versions b, c, d; b has none, its columns are blank).
    const std::size_t cols[4] = {62, 65, 68, 71};
    const std::size_t widths[4] = {2, 2, 2, 3};
    for (int i = 0; i < 4; ++i)
        if (!int_field(line, cols[i], widths[i], r.sdev[i], true, -1)) return false;
    r.clock_event = field(line, 75, 1)[0];
    r.clock_predicted = field(line, 76, 1)[0];
    r.maneuver = field(line, 79, 1)[0];
    r.orbit_predicted = field(line, 80, 1)[0];
    return true;
}

} // namespace detail

// Reads a whole SP3 file. On failure returns false with "path:line: reason" in `error`.
inline bool read_file(const std::string& path, File& f, std::string& error) {
    using namespace detail;
    f = File();
    f.path = path;
    LineSource src;
    if (!src.open(path, error)) return false;

    std::string line;
    if (!src.next(line) || line.size() < 2 || line[0] != '#' ||
        std::string_view("abcd").find(line[1]) == std::string_view::npos) {
        std::string why;
        if (src.failed(why)) {
            error = why;
            return false;
        }
        error = path + ": not an SP3 file (its first line does not start with #a, #b, #c or #d)";
        return false;
    }
    f.version = line[1];
    int_field(line, 33, 7, f.declared_epochs, true, 0);

    bool seen_c = false, seen_f = false, in_body = false;
    while (src.next(line)) {
        const long n = src.line_number();
        if (!in_body) {
            if (line.rfind("##", 0) == 0) {
                if (!real_field(line, 25, 14, 8, f.interval)) {
                    error = where(f, n) + "cannot read the epoch interval of the header";
                    return false;
                }
                continue;
            }
            if (line.rfind("%c", 0) == 0) {
                if (!seen_c && (f.version == 'c' || f.version == 'd')) {
                    const std::string ts = without_blanks(field(line, 10, 3));
                    f.time_system = (ts.empty() || ts == "ccc") ? "GPS" : ts;
                }
                seen_c = true;
                continue;
            }
            if (line.rfind("%f", 0) == 0) {
                if (!seen_f &&
                    (!real_field(line, 4, 10, 7, f.base_pos) || !real_field(line, 15, 12, 9, f.base_clk))) {
                    error = where(f, n) + "cannot read the bases of the accuracy exponents";
                    return false;
                }
                seen_f = true;
                continue;
            }
            if (line.empty() || line[0] != '*') continue; // other header lines: +, ++, %i, /*
            in_body = true;
        }
        if (line.empty() || line.rfind("/*", 0) == 0) continue;
        if (line.rfind("EOF", 0) == 0) break;
        switch (line[0]) {
        case '*': {
            Epoch e;
            e.line = n;
            if (!read_epoch_line(line, e)) {
                error = where(f, n) + "cannot read the epoch line \"" + line + "\"";
                return false;
            }
            if (!f.epochs.empty() && !(e.seconds_after(f.epochs.back()) > 1e-6)) {
                error = where(f, n) + "epoch not later than the previous one (line " +
                        std::to_string(f.epochs.back().line) + ")";
                return false;
            }
            f.epochs.push_back(std::move(e));
            break;
        }
        case 'P': {
            PositionRecord r;
            r.line = n;
            if (!read_position_line(line, f.version, r)) {
                error = where(f, n) + "cannot read the position record \"" + line + "\"";
                return false;
            }
            f.epochs.back().records.push_back(r);
            break;
        }
        case 'V':
            break;
        case 'E':
            if (line.rfind("EP", 0) == 0 || line.rfind("EV", 0) == 0) break;
            [[fallthrough]];
        default:
            error = where(f, n) + "unexpected line \"" + line + "\"";
            return false;
        }
    }
    std::string why;
    if (src.failed(why)) {
        error = why;
        return false;
    }
    if (f.epochs.empty()) {
        error = path + ": no epoch in the file";
        return false;
    }
    return true;
}

} // namespace quelmar::tools::sp3
