// Deriving the GPS constellation status file from the satellite antenna entries of an ANTEX file.
//
// Each GPS satellite antenna of an ANTEX file (antenna type "BLOCK ...") names the PRN it transmits
// ("G01"), the vehicle ("G032", the SVN) and the period ("VALID FROM", optionally "VALID UNTIL"). That
// is one record of the constellation status file:
//
//   iprn  iyear0 imm0 idd0  iyear1 imm1 idd1  iblock  isv
//
// with the block code of the antenna type (BLOCK I 1, II 2, IIA 3, IIR-A 4, IIR-B 5, IIR-M 6, IIF 7),
// the SVN as the vehicle slot, the first day of validity and the last day (inclusive).
//
// The status table keeps one period per vehicle slot, so a vehicle listed more than once (moved to
// another PRN, or listed twice for the same PRN) cannot keep all its periods. The selection below
// resolves that: entries of the vehicle under the chosen PRN are merged into one period, the others
// are dropped (see select_records).
#pragma once

#include <algorithm>
#include <array>
#include <cstdio>
#include <istream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "orbits/timescales.hpp"
#include "textio/format.hpp"

namespace quelmar::tools {

struct Date {
    int y = 0, m = 0, d = 0;
    friend bool operator==(const Date&, const Date&) = default;
};

// Last day the two-digit years of the status file can express (00..62 are 2000..2062).
inline constexpr Date last_expressible_day{2062, 12, 31};
inline constexpr int first_expressible_year = 1963;

inline bool is_leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

inline int days_in_month(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : days[m - 1];
}

inline bool valid_date(const Date& t) {
    return t.m >= 1 && t.m <= 12 && t.d >= 1 && t.d <= days_in_month(t.y, t.m);
}

// MJD of 0h of a valid date.
inline int mjd_of(const Date& t) {
    double djm = 0.0;
    int j = 0;
    orbits::sla_cldj(t.y, t.m, t.d, djm, j);
    return static_cast<int>(djm);
}

inline Date previous_day(Date t) {
    if (--t.d >= 1) return t;
    if (--t.m < 1) {
        t.m = 12;
        --t.y;
    }
    t.d = days_in_month(t.y, t.m);
    return t;
}

inline std::string date_text(const Date& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.y, t.m, t.d);
    return buf;
}

// "YYYY-MM-DD" to a valid date.
inline std::optional<Date> parse_date(const std::string& s) {
    Date t;
    char tail = 0;
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d%c", &t.y, &t.m, &t.d, &tail) != 3 || !valid_date(t)) return {};
    return t;
}

// Block code of a GPS satellite antenna type (its first 11 characters); 0 if not in the table.
inline int gps_block_code(const std::string& type) {
    static const struct {
        const char* type;
        int code;
    } blocks[] = {{"BLOCK I    ", 1}, {"BLOCK II   ", 2}, {"BLOCK IIA  ", 3}, {"BLOCK IIR-A", 4},
                  {"BLOCK IIR-B", 5}, {"BLOCK IIR-M", 6}, {"BLOCK IIF  ", 7}};
    std::string t = type.substr(0, 11);
    t.resize(11, ' ');
    for (const auto& b : blocks)
        if (t == b.type) return b.code;
    return 0;
}

// One GPS satellite antenna entry that can become a status record.
struct GpsAntennaEntry {
    int prn = 0, svn = 0, iblock = 0;
    Date from, until; // first and last day (inclusive)
    bool open_end = false;
    long line = 0; // line number of its TYPE / SERIAL NO record
};

struct AntexScan {
    std::vector<GpsAntennaEntry> entries; // in file order
    std::vector<std::string> notes;       // entries skipped, and why
    int other_satellites = 0;             // satellite antennas of other systems (not GPS), ignored
    int gps_antennas = 0;                 // GPS satellite antenna entries seen, usable or not
    std::string error;                    // not empty: the file is not a readable ANTEX file
};

// Reads the satellite antenna entries of an ANTEX file.
inline AntexScan scan_antex(std::istream& in) {
    static const textio::Format type_fmt("(2a20,2a10)");
    static const textio::Format valid_fmt("(5I6,F13.7)");
    static const textio::Format prn_fmt("(1x,i2)");
    static const textio::Format svn_fmt("(1x,i3)");

    AntexScan scan;
    bool have_version = false, in_antenna = false;
    std::string type, serial, svncode;
    long type_line = 0;
    std::optional<std::array<double, 6>> from, until;
    bool valid_ok = true;

    auto where = [&](long line) { return "line " + std::to_string(line) + ": "; };
    auto finish = [&]() {
        if (type.rfind("BLOCK", 0) != 0) {
            if (svncode.find_first_not_of(' ') != std::string::npos) ++scan.other_satellites;
            return;
        }
        ++scan.gps_antennas;
        const std::string what = where(type_line) + "\"" + type.substr(0, type.find_last_not_of(' ') + 1) +
                                 "\" " + serial.substr(0, 3) + " " + svncode.substr(0, 4) + ": ";
        GpsAntennaEntry e;
        e.line = type_line;
        e.iblock = gps_block_code(type);
        if (e.iblock == 0) {
            scan.notes.push_back(what + "block type not in the block table, skipped");
            return;
        }
        if (serial[0] != 'G' || !prn_fmt.read(serial, e.prn) || e.prn < 1 || e.prn > 35) {
            scan.notes.push_back(what + "PRN code is not G01..G35, skipped");
            return;
        }
        if (svncode[0] != 'G' || !svn_fmt.read(svncode, e.svn) || e.svn < 1 || e.svn > 99) {
            scan.notes.push_back(what + "vehicle code is not G001..G099, skipped");
            return;
        }
        if (!valid_ok) {
            scan.notes.push_back(what + "unreadable VALID FROM / VALID UNTIL, skipped");
            return;
        }
        if (!from) {
            scan.notes.push_back(what + "no VALID FROM, skipped");
            return;
        }
        auto day_of = [](const std::array<double, 6>& v) {
            return Date{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2])};
        };
        e.from = day_of(*from);
        if (!valid_date(e.from) || e.from.y < first_expressible_year || e.from.y > last_expressible_day.y) {
            scan.notes.push_back(what + "VALID FROM is not a date of 1963..2062, skipped");
            return;
        }
        if (!until) {
            e.open_end = true;
            e.until = last_expressible_day;
        } else {
            e.until = day_of(*until);
            if (!valid_date(e.until)) {
                scan.notes.push_back(what + "VALID UNTIL is not a date, skipped");
                return;
            }
            // Validity ending exactly at 0h ends with the day before.
            if ((*until)[3] == 0 && (*until)[4] == 0 && (*until)[5] == 0) e.until = previous_day(e.until);
            if (e.until.y > last_expressible_day.y) {
                scan.notes.push_back(what + "VALID UNTIL after 2062 written as " +
                                     date_text(last_expressible_day));
                e.until = last_expressible_day;
            }
            if (e.until.y < first_expressible_year || mjd_of(e.until) < mjd_of(e.from)) {
                scan.notes.push_back(what + "validity ends before it starts, skipped");
                return;
            }
        }
        scan.entries.push_back(e);
    };

    std::string line;
    long lineno = 0;
    while (std::getline(in, line)) {
        ++lineno;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() <= 60) continue;
        std::string label = line.substr(60, 20);
        label.erase(label.find_last_not_of(' ') + 1);
        if (label == "ANTEX VERSION / SYST") {
            have_version = true;
        } else if (label == "START OF ANTENNA") {
            if (in_antenna) scan.notes.push_back(where(lineno) + "START OF ANTENNA inside an antenna entry");
            in_antenna = true;
            type.assign(20, ' ');
            serial.assign(20, ' ');
            svncode.assign(10, ' ');
            type_line = lineno;
            from.reset();
            until.reset();
            valid_ok = true;
        } else if (!in_antenna) {
            continue;
        } else if (label == "TYPE / SERIAL NO") {
            std::string cospar(10, ' ');
            type_line = lineno;
            type_fmt.read(line, type, serial, svncode, cospar); // A fields always read
        } else if (label == "VALID FROM" || label == "VALID UNTIL") {
            std::array<int, 5> v{};
            double sec = 0.0;
            if (!valid_fmt.read(line, v[0], v[1], v[2], v[3], v[4], sec)) {
                valid_ok = false;
                continue;
            }
            const std::array<double, 6> t{double(v[0]), double(v[1]), double(v[2]),
                                          double(v[3]), double(v[4]), sec};
            (label == "VALID FROM" ? from : until) = t;
        } else if (label == "END OF ANTENNA") {
            finish();
            in_antenna = false;
        }
    }
    if (in_antenna) scan.notes.push_back(where(lineno) + "file ends inside an antenna entry, entry ignored");
    if (!have_version) scan.error = "not an ANTEX file (no ANTEX VERSION / SYST record)";
    return scan;
}

// One record of the constellation status file.
struct GcsRecord {
    int iprn = 0;
    Date d0, d1;
    int iblock = 0, isv = 0;
    bool open_end = false;
};

struct Selection {
    std::vector<GcsRecord> records; // in file order
    std::vector<std::string> notes; // merges and drops
    int merged = 0;                 // entries merged into another entry's record
    int dropped = 0;                // entries left out
};

// The records to write. With keep_all, one record per entry in file order. Otherwise, for a vehicle
// listed more than once, one PRN is chosen: that of the entry whose period contains `at` (the latest
// starting one if several do), or without `at` or without such an entry, that of the latest starting
// entry. The vehicle's entries under that PRN (and block) become one record spanning from the
// earliest start to the latest end, placed where the last of them stands in the file; its entries
// under other PRNs are dropped. Placing the merged record last keeps the lookup right inside a gap:
// the PRN's other vehicles, listed earlier, are found first for the days they cover.
inline Selection select_records(const std::vector<GpsAntennaEntry>& entries, std::optional<Date> at,
                                bool keep_all) {
    Selection sel;
    const std::size_t n = entries.size();
    std::vector<bool> write(n, true);
    std::vector<GcsRecord> rec(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto& e = entries[i];
        rec[i] = {e.prn, e.from, e.until, e.iblock, e.svn, e.open_end};
    }
    auto describe = [&](std::size_t i) {
        const auto& e = entries[i];
        char buf[96];
        std::snprintf(buf, sizeof buf, "SVN %02d as PRN %02d (%s..%s, line %ld)", e.svn, e.prn,
                      date_text(e.from).c_str(), e.open_end ? "open" : date_text(e.until).c_str(), e.line);
        return std::string(buf);
    };
    if (!keep_all) {
        std::map<int, std::vector<std::size_t>> by_svn;
        for (std::size_t i = 0; i < n; ++i) by_svn[entries[i].svn].push_back(i);
        for (const auto& [svn, idx] : by_svn) {
            if (idx.size() < 2) continue;
            auto later_start = [&](std::size_t a, std::size_t b) {
                return mjd_of(entries[a].from) >= mjd_of(entries[b].from);
            };
            std::optional<std::size_t> chosen;
            if (at) {
                const int d = mjd_of(*at);
                for (std::size_t i : idx)
                    if (mjd_of(entries[i].from) <= d && d <= mjd_of(entries[i].until) &&
                        (!chosen || later_start(i, *chosen)))
                        chosen = i;
            }
            if (!chosen)
                for (std::size_t i : idx)
                    if (!chosen || later_start(i, *chosen)) chosen = i;
            const auto& c = entries[*chosen];
            std::vector<std::size_t> kept;
            for (std::size_t i : idx) {
                if (entries[i].prn == c.prn && entries[i].iblock == c.iblock) {
                    kept.push_back(i);
                } else {
                    write[i] = false;
                    ++sel.dropped;
                    sel.notes.push_back(describe(i) + " dropped: the vehicle is kept as PRN " +
                                        (c.prn < 10 ? "0" : "") + std::to_string(c.prn));
                }
            }
            if (kept.size() > 1) {
                const std::size_t last = kept.back(); // idx is in file order
                GcsRecord& r = rec[last];
                for (std::size_t i : kept) {
                    if (mjd_of(entries[i].from) < mjd_of(r.d0)) r.d0 = entries[i].from;
                    if (mjd_of(entries[i].until) > mjd_of(r.d1)) r.d1 = entries[i].until;
                    r.open_end = r.open_end || entries[i].open_end;
                    if (i == last) continue;
                    write[i] = false;
                    ++sel.merged;
                    sel.notes.push_back(describe(i) + " merged into the record of line " +
                                        std::to_string(entries[last].line));
                }
            }
        }
    }
    for (std::size_t i = 0; i < n; ++i)
        if (write[i]) sel.records.push_back(rec[i]);
    return sel;
}

// One line of the status file, written with a fixed format that the free-format reader takes.
inline std::string gcs_line(const GcsRecord& r) {
    static const textio::Format fmt("(i3,2(2x,i4,2i3),2x,i3,2x,i3)");
    return fmt.write(r.iprn, r.d0.y, r.d0.m, r.d0.d, r.d1.y, r.d1.m, r.d1.d, r.iblock, r.isv);
}

} // namespace quelmar::tools
