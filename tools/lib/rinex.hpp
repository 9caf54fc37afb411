// Reading RINEX observation files (versions 2.x and 3.x) and GPS navigation files (2.x and 3.x), plain
// or gzip-compressed, for the converters that turn public data into the program's message stream.
//
// Observation files are read as a stream: `ObsReader::open` reads the header, each `next` call returns
// one epoch. Navigation files likewise: `NavReader::next` returns the next GPS record (records of other
// systems in a mixed file are passed over). Every problem throws `rinex::Error`, whose message is
// "path:line: reason".
//
// Column layout of the records used (1-based columns):
//   header lines    contents in 1-60, label in 61-80
//   version 2 epoch year (2-3), month (5-6), day (8-9), hour (11-12), minute (14-15), seconds (16-26),
//                   flag (29), number of satellites or of special records (30-32), up to 12 satellites
//                   (33-68, letter and 2-digit number each; more on continuation lines in the same
//                   columns), receiver clock offset (69-80)
//   version 2 data  5 values a line, 16 columns each: value (14 columns, 3 decimals), LLI, strength;
//                   a satellite with more than 5 types continues on the next lines
//   version 3 epoch ">" (1), year (3-6), month (8-9), day (11-12), hour (14-15), minute (17-18),
//                   seconds (19-29), flag (32), number of satellites or special records (33-35),
//                   receiver clock offset (42-56)
//   version 3 data  satellite (1-3), then 16 columns per value from column 4, one line per satellite
//   nav version 2   PRN (1-2), year (4-5) month day hour minute (7-8, 10-11, 13-14, 16-17), seconds
//                   (18-22), 3 values of 19 columns from 23; orbit lines: 4 values of 19 from column 4
//   nav version 3   "G" and PRN (1-3), year (5-8), month day hour minute second (10-11, ..., 22-23),
//                   3 values of 19 columns from 24; orbit lines: 4 values of 19 from column 5
#pragma once

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "gzlines.hpp"
#include "orbits/timescales.hpp"

namespace quelmar::tools::rinex {

// A problem in a file; the message names the file and the line.
class Error : public std::runtime_error {
  public:
    Error(const std::string& path, long line, const std::string& reason)
        : std::runtime_error(path + ":" + std::to_string(line) + ": " + reason), path_(path), line_(line) {}
    const std::string& path() const { return path_; }
    long line() const { return line_; }

  private:
    std::string path_;
    long line_ = 0;
};

// A calendar epoch as written in the file, with its MJD and seconds of day for comparisons.
struct Time {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double sec = 0;
    int mjd = 0;
    double sod = 0;
    double seconds_after(const Time& o) const { return (mjd - o.mjd) * 86400.0 + (sod - o.sod); }
};

// The calendar date of a Modified Julian Date (Fliegel and Van Flandern, Comm. ACM 11, 657, 1968).
inline void calendar_of_mjd(int mjd, int& year, int& month, int& day) {
    long l = static_cast<long>(mjd) + 2400001L + 68569L; // Julian day number (noon) + 68569
    const long n = 4 * l / 146097;
    l -= (146097 * n + 3) / 4;
    const long i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    const long j = 80 * l / 2447;
    day = static_cast<int>(l - 2447 * j / 80);
    l = j / 11;
    month = static_cast<int>(j + 2 - 12 * l);
    year = static_cast<int>(100 * (n - 49) + i + l);
}

// `t` moved by a whole number of seconds, the calendar fields carried over minutes, hours, days, months
// and years; the fraction of the second is kept as it was.
inline Time add_seconds(const Time& t, int seconds) {
    Time r = t;
    const double whole = std::floor(t.sec);
    const double frac = t.sec - whole;
    long s = t.hour * 3600L + t.minute * 60L + static_cast<long>(whole) + seconds;
    long days = s >= 0 ? s / 86400 : -((-s + 86399) / 86400);
    s -= days * 86400;
    r.mjd = t.mjd + static_cast<int>(days);
    calendar_of_mjd(r.mjd, r.year, r.month, r.day);
    r.hour = static_cast<int>(s / 3600);
    r.minute = static_cast<int>(s % 3600 / 60);
    r.sec = static_cast<double>(s % 60) + frac;
    r.sod = r.hour * 3600.0 + r.minute * 60.0 + r.sec;
    return r;
}

struct ObsHeader {
    double version = 0;
    char file_type = ' ';               // 'O'
    char system = ' ';                  // G, R, E, M ... (blank in version 2 means G)
    std::string marker;                 // first 4 characters of the marker name, upper-cased
    std::string marker_name;            // the marker name as written (trailing blanks removed)
    std::string receiver_type;          // columns 21-40 of REC # / TYPE / VERS, trailing blanks removed
    std::string antenna_serial;         // columns 1-20 of ANT # / TYPE, trailing blanks removed
    std::string antenna_type;           // columns 21-40 of ANT # / TYPE, 20 characters as written
    std::string antenna_model;          // characters 1-16 of the antenna type, trailing blanks removed
    std::string radome;                 // characters 17-20 of the antenna type; "NONE" when blank
    std::array<double, 3> approx_xyz{}; // m
    std::array<double, 3> delta_hen{};  // antenna height, east, north eccentricity (m)
    std::array<int, 2> wavelength_factor{1, 1};                // default L1, L2 factors (version 2)
    std::map<std::string, std::array<int, 2>> wavelength_sats; // per-satellite factors ("G05")
    bool has_leap_seconds = false;
    int leap_seconds = 0;
    double interval = 0; // s; 0 when absent
    bool has_first_obs = false;
    Time first_obs;
    // Time system of the epochs: from TIME OF FIRST OBS; when blank or absent, the file's system decides
    // as RINEX does: GLO for GLONASS-only files, GAL, BDT, QZS, IRN for Galileo-, BeiDou-, QZSS- and
    // IRNSS-only files, else (GPS and mixed files) GPS.
    std::string time_system;
    long time_system_line = 0; // line of TIME OF FIRST OBS (0 when absent)
    // Observation types per system letter; version 2 files have one list under '*' for all systems.
    std::map<char, std::vector<std::string>> obs_types;

    // The observation types of system `sys`, or null when the file has none for it.
    const std::vector<std::string>* types_for(char sys) const {
        auto it = obs_types.find(sys);
        if (it == obs_types.end()) it = obs_types.find('*');
        return it == obs_types.end() ? nullptr : &it->second;
    }
};

struct ObsValue {
    double value = 0;
    bool present = false; // false for a blank field
    int lli = 0;          // loss-of-lock indicator, 0 when blank
    int ssi = 0;          // signal strength, 0 when blank
};

struct SatObs {
    char system = 'G';
    int prn = 0;
    std::vector<ObsValue> values; // in the order of header.types_for(system)
};

struct ObsEpoch {
    Time time;
    int flag = 0; // 0 ok, 1 power failure before this epoch, 6 cycle-slip records
    bool has_clock = false;
    double clock_offset = 0; // s
    std::vector<SatObs> sats;
    long line = 0; // line of the epoch record
};

namespace detail {

inline std::string_view field(std::string_view line, std::size_t col, std::size_t width) {
    if (col - 1 >= line.size()) return {};
    return line.substr(col - 1, width);
}

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

inline std::string rtrim(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return std::string(s);
}

// A real field (F, E or D notation); false when it does not read. `present` is false for blanks.
inline bool real_field(std::string_view line, std::size_t col, std::size_t width, double& out,
                       bool* present = nullptr) {
    const std::string_view f = trim(field(line, col, width));
    if (present != nullptr) *present = !f.empty();
    out = 0;
    if (f.empty()) return true;
    char buf[40];
    if (f.size() >= sizeof buf) return false;
    for (std::size_t i = 0; i < f.size(); ++i) buf[i] = (f[i] == 'D' || f[i] == 'd') ? 'E' : f[i];
    buf[f.size()] = '\0';
    if (!(buf[0] == '-' || buf[0] == '+' || buf[0] == '.' ||
          std::isdigit(static_cast<unsigned char>(buf[0]))))
        return false;
    char* end = nullptr;
    out = std::strtod(buf, &end);
    return end == buf + f.size();
}

// An integer field; blanks give `fallback` (and true when blank_ok).
inline bool int_field(std::string_view line, std::size_t col, std::size_t width, int& out,
                      bool blank_ok = false, int fallback = 0) {
    std::string_view f = trim(field(line, col, width));
    out = fallback;
    if (f.empty()) return blank_ok;
    bool neg = false;
    if (f.front() == '-' || f.front() == '+') {
        neg = f.front() == '-';
        f.remove_prefix(1);
    }
    if (f.empty() || f.size() > 9) return false;
    int v = 0;
    for (char c : f) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + (c - '0');
    }
    out = neg ? -v : v;
    return true;
}

// The reason of a read error without the file name(s) that precede it (the Error adds its own).
inline std::string without_path(std::string why, const std::string& path) {
    const std::string prefix = path + ": ";
    while (why.rfind(prefix, 0) == 0) why.erase(0, prefix.size());
    return "read error: " + why;
}

inline std::string_view label(std::string_view line) {
    return trim(field(line, 61, 20));
}

// Years of two digits: 80-99 are 1980-1999, 00-79 are 2000-2079.
inline int full_year(int y) {
    return y >= 100 ? y : (y >= 80 ? 1900 + y : 2000 + y);
}

inline bool make_time(Time& t) {
    double djm = 0;
    int j = 0;
    orbits::sla_cldj(t.year, t.month, t.day, djm, j);
    if (j != 0 || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || !(t.sec >= 0 && t.sec < 61))
        return false;
    t.mjd = static_cast<int>(djm);
    t.sod = t.hour * 3600.0 + t.minute * 60.0 + t.sec;
    return true;
}

// Observation type codes: version 2 two characters (L1, C2, P1, D5, S7 ...), version 3 three
// (C1C, L2W, D5Q, S1C, also ionosphere X1 and channel-number X1 codes).
inline bool known_type(std::string_view t, bool v3) {
    if (v3) {
        if (t.size() != 3 || std::string_view("CLDSIX").find(t[0]) == std::string_view::npos) return false;
        return t[1] >= '1' && t[1] <= '9' && (std::isupper(static_cast<unsigned char>(t[2])) || t[2] == 'X');
    }
    if (t.size() != 2 || std::string_view("CLDSP").find(t[0]) == std::string_view::npos) return false;
    return std::string_view("125678").find(t[1]) != std::string_view::npos;
}

inline bool sat_id(std::string_view s, char default_system, char& sys, int& prn) {
    if (s.size() < 3) return false;
    sys = s[0] == ' ' ? default_system : s[0];
    if (!std::isupper(static_cast<unsigned char>(sys))) return false;
    return int_field(s, 2, 2, prn) && prn >= 0;
}

// The file under a reader: its lines, its name and the current line, with the errors of reading
// (a damaged compressed stream, a truncated file) naming the file and the line.
class RinexFile {
  public:
    const std::string& path() const { return path_; }
    long line_number() const { return src_.line_number(); }

  protected:
    void open_file(const std::string& path) {
        path_ = path;
        std::string err;
        if (!src_.open(path, err)) throw Error(path, 0, err);
    }
    bool get(std::string& line) {
        if (src_.next(line)) return true;
        std::string why;
        if (src_.failed(why)) throw Error(path_, src_.line_number(), without_path(why, path_));
        return false;
    }
    void need(std::string& line, const char* what) {
        if (!get(line))
            throw Error(path_, src_.line_number(), std::string("file truncated: end of file inside ") + what);
    }

    LineSource src_;
    std::string path_;
    std::string line_;
};

} // namespace detail

// ---------------------------------------------------------------------------------------------------
// Observation files.

class ObsReader : public detail::RinexFile {
  public:
    // Opens `path` and reads its header; throws Error.
    void open(const std::string& path) {
        header_ = ObsHeader();
        have_prev_ = false;
        open_file(path);
        read_header();
    }

    const ObsHeader& header() const { return header_; }

    // The next observation epoch (flags 0, 1 and 6); false at the end of the file. Event records
    // (flags 2 to 5) and the header or comment lines that follow them are passed over.
    bool next(ObsEpoch& e) {
        for (;;) {
            if (!get(line_)) return false;
            if (detail::trim(line_).empty()) continue;
            const long n = src_.line_number();
            const bool done = v3_ ? epoch_v3(e, n) : epoch_v2(e, n);
            if (!done) continue; // an event record, passed over
            if (e.flag != 6) {
                if (have_prev_ && !(e.time.seconds_after(prev_) > 0))
                    throw Error(path_, n,
                                "epoch out of order: not later than the epoch of line " +
                                    std::to_string(prev_line_));
                prev_ = e.time;
                prev_line_ = n;
                have_prev_ = true;
            }
            return true;
        }
    }

  private:
    void read_header() {
        using namespace detail;
        ObsHeader& h = header_;
        if (!get(line_) || label(line_) != "RINEX VERSION / TYPE")
            throw Error(path_, src_.line_number(),
                        "missing header record \"RINEX VERSION / TYPE\" on the first line");
        if (!real_field(line_, 1, 9, h.version) || h.version < 2 || h.version >= 4)
            throw Error(path_, 1, "unsupported RINEX version \"" + rtrim(field(line_, 1, 9)) + "\"");
        h.file_type = field(line_, 21, 1).empty() ? ' ' : line_[20];
        h.system = field(line_, 41, 1).empty() ? ' ' : line_[40];
        if (h.file_type != 'O') throw Error(path_, 1, "not an observation file (file type is not O)");
        v3_ = h.version >= 3;
        const char default_sys = h.system == ' ' || h.system == 'M' ? 'G' : h.system;
        default_sys_ = default_sys;
        bool seen_marker = false, seen_ant = false, seen_pos = false, seen_delta = false, seen_types = false;
        int pending = 0; // observation types still to come on continuation lines
        char pending_sys = '*';
        for (;;) {
            need(line_, "the header");
            const long n = src_.line_number();
            const std::string_view lab = label(line_);
            if (lab == "END OF HEADER") break;
            if (lab == "MARKER NAME") {
                h.marker_name = rtrim(field(line_, 1, 60));
                std::string m = rtrim(field(h.marker_name, 1, 4));
                for (char& c : m) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                h.marker = m;
                seen_marker = true;
            } else if (lab == "REC # / TYPE / VERS") {
                h.receiver_type = rtrim(field(line_, 21, 20));
            } else if (lab == "ANT # / TYPE") {
                h.antenna_serial = rtrim(field(line_, 1, 20));
                h.antenna_type = std::string(field(line_, 21, 20));
                h.antenna_type.resize(20, ' ');
                h.antenna_model = rtrim(std::string_view(h.antenna_type).substr(0, 16));
                h.radome = std::string(trim(std::string_view(h.antenna_type).substr(16, 4)));
                if (h.radome.empty()) h.radome = "NONE";
                seen_ant = true;
            } else if (lab == "APPROX POSITION XYZ") {
                for (int i = 0; i < 3; ++i)
                    if (!real_field(line_, 1 + 14 * i, 14, h.approx_xyz[i]))
                        throw Error(path_, n, "cannot read the approximate position");
                seen_pos = true;
            } else if (lab == "ANTENNA: DELTA H/E/N") {
                for (int i = 0; i < 3; ++i)
                    if (!real_field(line_, 1 + 14 * i, 14, h.delta_hen[i]))
                        throw Error(path_, n, "cannot read the antenna eccentricities");
                seen_delta = true;
            } else if (lab == "WAVELENGTH FACT L1/2") {
                int f1 = 0, f2 = 0, ns = 0;
                if (!int_field(line_, 1, 6, f1) || !int_field(line_, 7, 6, f2, true, 0) ||
                    !int_field(line_, 13, 6, ns, true, 0) || ns < 0 || ns > 7)
                    throw Error(path_, n, "cannot read the wavelength factors");
                if (ns == 0) h.wavelength_factor = {f1, f2};
                for (int k = 0; k < ns; ++k) {
                    char sys = 'G';
                    int prn = 0;
                    if (!sat_id(field(line_, 22 + 6 * k, 3), default_sys, sys, prn))
                        throw Error(path_, n, "cannot read the satellites of the wavelength factors");
                    char id[16];
                    std::snprintf(id, sizeof id, "%c%02d", sys, prn % 100);
                    h.wavelength_sats[id] = {f1, f2};
                }
            } else if (lab == "LEAP SECONDS") {
                if (!int_field(line_, 1, 6, h.leap_seconds))
                    throw Error(path_, n, "cannot read the leap seconds");
                h.has_leap_seconds = true;
            } else if (lab == "INTERVAL") {
                if (!real_field(line_, 1, 10, h.interval)) throw Error(path_, n, "cannot read the interval");
            } else if (lab == "TIME OF FIRST OBS") {
                Time& t = h.first_obs;
                if (!int_field(line_, 1, 6, t.year) || !int_field(line_, 7, 6, t.month) ||
                    !int_field(line_, 13, 6, t.day) || !int_field(line_, 19, 6, t.hour) ||
                    !int_field(line_, 25, 6, t.minute) || !real_field(line_, 31, 13, t.sec) || !make_time(t))
                    throw Error(path_, n, "cannot read the time of the first observation");
                h.time_system = std::string(trim(field(line_, 49, 3)));
                h.time_system_line = n;
                h.has_first_obs = true;
            } else if (!v3_ && lab == "# / TYPES OF OBSERV") {
                auto& list = h.obs_types['*'];
                if (pending == 0) {
                    int count = 0;
                    if (!int_field(line_, 1, 6, count) || count < 1 || count > 99)
                        throw Error(path_, n, "cannot read the number of observation types");
                    list.clear();
                    pending = count;
                }
                for (int k = 0; k < 9 && pending > 0; ++k, --pending)
                    add_type(list, trim(field(line_, 7 + 6 * k, 6)), n);
                seen_types = true;
            } else if (v3_ && lab == "SYS / # / OBS TYPES") {
                if (pending == 0) {
                    pending_sys = field(line_, 1, 1).empty() ? ' ' : line_[0];
                    int count = 0;
                    if (pending_sys == ' ' || !int_field(line_, 4, 3, count) || count < 1 || count > 999)
                        throw Error(path_, n, "cannot read the system and number of observation types");
                    h.obs_types[pending_sys].clear();
                    pending = count;
                }
                auto& list = h.obs_types[pending_sys];
                for (int k = 0; k < 13 && pending > 0; ++k, --pending)
                    add_type(list, trim(field(line_, 8 + 4 * k, 3)), n);
                seen_types = true;
            }
            if (pending > 0 && lab != "# / TYPES OF OBSERV" && lab != "SYS / # / OBS TYPES")
                throw Error(path_, n, "observation types missing: the list ends before its count");
        }
        if (h.time_system.empty()) {
            static const std::map<char, const char*> single = {
                {'R', "GLO"}, {'E', "GAL"}, {'C', "BDT"}, {'J', "QZS"}, {'I', "IRN"}};
            const auto it = single.find(h.system);
            h.time_system = it == single.end() ? "GPS" : it->second;
        }
        const long n = src_.line_number();
        if (pending > 0) throw Error(path_, n, "observation types missing: the list ends before its count");
        const char* missing = !seen_marker  ? "MARKER NAME"
                              : !seen_ant   ? "ANT # / TYPE"
                              : !seen_pos   ? "APPROX POSITION XYZ"
                              : !seen_delta ? "ANTENNA: DELTA H/E/N"
                              : !seen_types ? (v3_ ? "SYS / # / OBS TYPES" : "# / TYPES OF OBSERV")
                                            : nullptr;
        if (missing != nullptr)
            throw Error(path_, n, std::string("missing header record \"") + missing + "\"");
    }

    void add_type(std::vector<std::string>& list, std::string_view t, long n) {
        if (!detail::known_type(t, v3_))
            throw Error(path_, n, "unknown observation type \"" + std::string(t) + "\"");
        list.emplace_back(t);
    }

    // Passes over the `count` special records of an event epoch.
    void skip_special(int count) {
        for (int i = 0; i < count; ++i) need(line_, "the special records of an event");
    }

    // One value of 16 columns at `col`.
    void value_at(std::string_view line, std::size_t col, ObsValue& v, long n) {
        using namespace detail;
        if (!real_field(line, col, 14, v.value, &v.present))
            throw Error(path_, n,
                        "cannot read the observation \"" + std::string(field(line, col, 14)) + "\"");
        const std::string_view ls = field(line, col + 14, 1), ss = field(line, col + 15, 1);
        v.lli = 0;
        v.ssi = 0;
        if (!ls.empty() && ls[0] != ' ') {
            if (!std::isdigit(static_cast<unsigned char>(ls[0])))
                throw Error(path_, n, "bad loss-of-lock indicator");
            v.lli = ls[0] - '0';
        }
        if (!ss.empty() && ss[0] != ' ') {
            if (!std::isdigit(static_cast<unsigned char>(ss[0])))
                throw Error(path_, n, "bad signal strength");
            v.ssi = ss[0] - '0';
        }
    }

    const std::vector<std::string>& types(char sys, long n) {
        const auto* t = header_.types_for(sys);
        if (t == nullptr) throw Error(path_, n, std::string("no observation types for system ") + sys);
        return *t;
    }

    // Returns false for an event record (passed over).
    bool epoch_v2(ObsEpoch& e, long n) {
        using namespace detail;
        int flag = 0, count = 0;
        if (!int_field(line_, 29, 1, flag, true, 0) || !int_field(line_, 30, 3, count) || flag < 0 ||
            flag > 6 || count < 0)
            throw Error(path_, n, "cannot read the epoch record \"" + line_ + "\"");
        if (flag >= 2 && flag <= 5) {
            skip_special(count);
            return false;
        }
        e = ObsEpoch{std::move(e.time), flag, false, 0, std::move(e.sats), n};
        Time& t = e.time;
        int yy = 0;
        if (!int_field(line_, 2, 2, yy) || !int_field(line_, 5, 2, t.month) ||
            !int_field(line_, 8, 2, t.day) || !int_field(line_, 11, 2, t.hour) ||
            !int_field(line_, 14, 2, t.minute) || !real_field(line_, 16, 11, t.sec) ||
            (t.year = full_year(yy), !make_time(t)))
            throw Error(path_, n, "cannot read the epoch record \"" + line_ + "\"");
        if (!real_field(line_, 69, 12, e.clock_offset, &e.has_clock))
            throw Error(path_, n, "cannot read the receiver clock offset");
        e.sats.resize(static_cast<std::size_t>(count));
        std::string cont;
        const std::string* src = &line_;
        long srcline = n;
        for (int i = 0; i < count; ++i) {
            if (i > 0 && i % 12 == 0) {
                need(cont, "the satellite list of an epoch");
                src = &cont;
                srcline = src_.line_number();
            }
            SatObs& s = e.sats[static_cast<std::size_t>(i)];
            if (!sat_id(field(*src, 33 + 3 * (i % 12), 3), default_sys_, s.system, s.prn))
                throw Error(path_, srcline,
                            "cannot read satellite " + std::to_string(i + 1) + " of the epoch");
        }
        for (SatObs& s : e.sats) {
            const auto& tl = types(s.system, n);
            s.values.resize(tl.size());
            for (std::size_t k = 0; k < tl.size(); ++k) {
                if (k % 5 == 0) need(line_, "the observations of an epoch");
                value_at(line_, 1 + 16 * (k % 5), s.values[k], src_.line_number());
            }
        }
        return true;
    }

    bool epoch_v3(ObsEpoch& e, long n) {
        using namespace detail;
        if (line_[0] != '>')
            throw Error(path_, n, "expected an epoch record (\">\"), found \"" + line_ + "\"");
        int flag = 0, count = 0;
        if (!int_field(line_, 32, 1, flag, true, 0) || !int_field(line_, 33, 3, count) || flag < 0 ||
            flag > 6 || count < 0)
            throw Error(path_, n, "cannot read the epoch record \"" + line_ + "\"");
        if (flag >= 2 && flag <= 5) {
            skip_special(count);
            return false;
        }
        e = ObsEpoch{std::move(e.time), flag, false, 0, std::move(e.sats), n};
        Time& t = e.time;
        if (!int_field(line_, 3, 4, t.year) || !int_field(line_, 8, 2, t.month) ||
            !int_field(line_, 11, 2, t.day) || !int_field(line_, 14, 2, t.hour) ||
            !int_field(line_, 17, 2, t.minute) || !real_field(line_, 19, 11, t.sec) || !make_time(t))
            throw Error(path_, n, "cannot read the epoch record \"" + line_ + "\"");
        if (!real_field(line_, 42, 15, e.clock_offset, &e.has_clock))
            throw Error(path_, n, "cannot read the receiver clock offset");
        e.sats.resize(static_cast<std::size_t>(count));
        for (SatObs& s : e.sats) {
            need(line_, "the observations of an epoch");
            const long m = src_.line_number();
            if (!sat_id(field(line_, 1, 3), default_sys_, s.system, s.prn))
                throw Error(path_, m, "cannot read the satellite of \"" + line_ + "\"");
            const auto& tl = types(s.system, m);
            s.values.resize(tl.size());
            for (std::size_t k = 0; k < tl.size(); ++k) value_at(line_, 4 + 16 * k, s.values[k], m);
        }
        return true;
    }

    ObsHeader header_;
    bool v3_ = false;
    char default_sys_ = 'G';
    bool have_prev_ = false;
    Time prev_;
    long prev_line_ = 0;
};

// ---------------------------------------------------------------------------------------------------
// GPS navigation files.

struct GpsNavRecord {
    int prn = 0;
    Time toc;                                     // time of clock
    std::array<double, 3> clock{};                // bias (s), drift (s/s), drift rate (s/s2)
    std::array<std::array<double, 4>, 7> orbit{}; // the 7 broadcast orbit lines, 4 values each
    std::array<std::array<bool, 4>, 7> present{}; // false for a blank or missing field
    long line = 0;
};

struct NavHeader {
    double version = 0;
    char system = 'G'; // G for GPS files, M for mixed
    bool has_leap_seconds = false;
    int leap_seconds = 0;
};

class NavReader : public detail::RinexFile {
  public:
    void open(const std::string& path) {
        header_ = NavHeader();
        pending_ = false;
        open_file(path);
        read_header();
    }

    const NavHeader& header() const { return header_; }

    // The next GPS record; false at the end of the file.
    bool next(GpsNavRecord& r) {
        using namespace detail;
        for (;;) {
            if (!pending_ && !get(line_)) return false;
            pending_ = false;
            if (trim(line_).empty()) continue;
            const long n = src_.line_number();
            if (v3_) {
                if (line_[0] == ' ')
                    throw Error(path_, n, "expected the first line of a record, found \"" + line_ + "\"");
                if (line_[0] != 'G') { // another system: pass over its continuation lines
                    while (get(line_)) {
                        if (!line_.empty() && line_[0] != ' ') {
                            pending_ = true;
                            break;
                        }
                    }
                    if (!pending_) return false;
                    continue;
                }
            }
            read_record(r, n);
            return true;
        }
    }

  private:
    void read_header() {
        using namespace detail;
        if (!get(line_) || label(line_) != "RINEX VERSION / TYPE")
            throw Error(path_, src_.line_number(),
                        "missing header record \"RINEX VERSION / TYPE\" on the first line");
        NavHeader& h = header_;
        if (!real_field(line_, 1, 9, h.version) || h.version < 2 || h.version >= 4)
            throw Error(path_, 1, "unsupported RINEX version \"" + rtrim(field(line_, 1, 9)) + "\"");
        v3_ = h.version >= 3;
        const char type = field(line_, 21, 1).empty() ? ' ' : line_[20];
        const char sys = field(line_, 41, 1).empty() ? ' ' : line_[40];
        if (type != 'N' || (v3_ && sys != 'G' && sys != 'M'))
            throw Error(path_, 1, "not a GPS or mixed navigation file");
        h.system = v3_ ? sys : 'G';
        for (;;) {
            if (!get(line_))
                throw Error(path_, src_.line_number(), "file truncated: end of file inside the header");
            const std::string_view lab = label(line_);
            if (lab == "END OF HEADER") break;
            if (lab == "LEAP SECONDS") {
                if (!int_field(line_, 1, 6, h.leap_seconds))
                    throw Error(path_, src_.line_number(), "cannot read the leap seconds");
                h.has_leap_seconds = true;
            }
        }
    }

    void read_record(GpsNavRecord& r, long n) {
        using namespace detail;
        r = GpsNavRecord();
        r.line = n;
        Time& t = r.toc;
        std::size_t c0 = 0;
        bool ok = false;
        if (v3_) {
            ok = int_field(line_, 2, 2, r.prn) && int_field(line_, 5, 4, t.year) &&
                 int_field(line_, 10, 2, t.month) && int_field(line_, 13, 2, t.day) &&
                 int_field(line_, 16, 2, t.hour) && int_field(line_, 19, 2, t.minute) &&
                 real_field(line_, 22, 2, t.sec);
            c0 = 24;
        } else {
            int yy = 0;
            ok = int_field(line_, 1, 2, r.prn) && int_field(line_, 4, 2, yy) &&
                 int_field(line_, 7, 2, t.month) && int_field(line_, 10, 2, t.day) &&
                 int_field(line_, 13, 2, t.hour) && int_field(line_, 16, 2, t.minute) &&
                 real_field(line_, 18, 5, t.sec);
            t.year = full_year(yy);
            c0 = 23;
        }
        if (!ok || r.prn < 1 || !make_time(t))
            throw Error(path_, n, "cannot read the first line of a navigation record \"" + line_ + "\"");
        for (int k = 0; k < 3; ++k)
            if (!real_field(line_, c0 + 19 * static_cast<std::size_t>(k), 19,
                            r.clock[static_cast<std::size_t>(k)]))
                throw Error(path_, n, "cannot read the clock values");
        for (std::size_t i = 0; i < 7; ++i) {
            if (!get(line_))
                throw Error(path_, src_.line_number(),
                            "file truncated: end of file inside the record of line " + std::to_string(n));
            const long m = src_.line_number();
            if (v3_ && !line_.empty() && line_[0] != ' ')
                throw Error(path_, m,
                            "record of line " + std::to_string(n) + " cut short: a new record starts");
            for (std::size_t k = 0; k < 4; ++k) {
                bool present = false;
                if (!real_field(line_, c0 - 19 + 19 * k, 19, r.orbit[i][k], &present))
                    throw Error(path_, m,
                                "cannot read the broadcast orbit value \"" +
                                    std::string(field(line_, c0 - 19 + 19 * k, 19)) + "\"");
                r.present[i][k] = present;
            }
        }
    }

    NavHeader header_;
    bool v3_ = false;
    bool pending_ = false; // line_ already holds the next record's first line
};

} // namespace quelmar::tools::rinex
