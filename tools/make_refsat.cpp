// make_refsat: writes the daily reference-satellite files "refsat.yy-mm-dd" of a message stream.
//
//   make_refsat [-o DIR] [--ref NAME] [--period SECONDS] [STREAM]
//
// The stream (a file, or standard input when absent or "-") is read for its OB1 lines. For every day
// that has OB1 lines one file is written, named from the date of the lines (two-digit year, month and
// day), because the program opens the file of every day it sees an observation of and stops when it is
// missing. The day is cut into periods of SECONDS (default 3600; it must divide into at most 96 periods,
// the size of the program's table, so at least 900 s); the last period ends at 86400. For each period
// the line "start end PRN" names the satellite that the reference receiver observed at the most epochs
// of the period (seconds of day rounded to the nearest integer, as the program rounds them); a tie goes
// to the lowest PRN. A period without any observation of the reference receiver gets no line, so the
// program has no reference satellite then. A day with observations of other receivers only gets an
// empty file.
//
// The reference receiver is NAME (four characters as in the OB1 lines), else the first name of the
// file given by --ref-file (the reference-receiver list of the run), else the receiver of the first
// OB1 line of the stream.
//
// Lines that are not OB1 lines are passed over; an OB1 line whose header (PRN, date, time, receiver)
// does not read, or whose PRN is outside 1..35, is counted and passed over with a warning on standard
// error. Status: 0 files written, 1 the stream or the reference list cannot be read, a file cannot be
// written, or the reference receiver has no observation in the stream; 2 usage errors.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "textio/format.hpp"
#include "textio/listread.hpp"

namespace {

namespace fs = std::filesystem;
using namespace quelmar;

constexpr int max_periods = 96; // periods the program holds per day
constexpr int seconds_per_day = 86400;
constexpr int max_prn = 35;

struct Day {
    int yy = 0, mo = 0, da = 0;
    auto operator<=>(const Day&) const = default;
};

std::string file_name(const Day& d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "refsat.%02d-%02d-%02d", d.yy, d.mo, d.da);
    return buf;
}

// Per day and period, per PRN, the seconds of day at which the reference receiver observed it.
using PeriodEpochs = std::array<std::set<int>, max_prn + 1>;

struct DayData {
    std::map<int, PeriodEpochs> periods; // by period index
};

int usage() {
    std::fprintf(stderr,
                 "usage: make_refsat [-o DIR] [--ref NAME | --ref-file FILE] [--period SECONDS] [STREAM]\n");
    return 2;
}

bool parse_int(const std::string& s, int& v) {
    try {
        std::size_t used = 0;
        const long x = std::stol(s, &used);
        if (used != s.size() || x < -1000000000L || x > 1000000000L) return false;
        v = static_cast<int>(x);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

int run(int argc, char** argv) {
    std::string dir = ".", ref, ref_file, stream = "-";
    bool ref_given = false, stream_given = false;
    int period = 3600;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "-o" && has_value) {
            dir = argv[++i];
        } else if (a == "--ref" && has_value) {
            ref = argv[++i];
            ref_given = true;
        } else if (a == "--ref-file" && has_value) {
            ref_file = argv[++i];
        } else if (a == "--period" && has_value) {
            if (!parse_int(argv[++i], period)) {
                std::fprintf(stderr, "make_refsat: --period wants whole seconds, got %s\n", argv[i]);
                return 2;
            }
        } else if (a != "-" && !a.empty() && a[0] == '-') {
            return usage();
        } else if (!stream_given) {
            stream = a;
            stream_given = true;
        } else {
            return usage();
        }
    }
    if (period <= 0 || (seconds_per_day + period - 1) / period > max_periods) {
        std::fprintf(stderr,
                     "make_refsat: --period %d: the day must fall into 1 to %d periods (900 to 86400 s)\n",
                     period, max_periods);
        return 2;
    }
    if (ref_given && !ref_file.empty()) return usage();
    if (!ref_file.empty()) {
        // Read as the program reads it: the first free-format item of the file.
        std::ifstream in(ref_file);
        if (!in) {
            std::fprintf(stderr, "make_refsat: cannot open %s\n", ref_file.c_str());
            return 1;
        }
        textio::ListReader lr(in);
        std::string name(4, ' ');
        if (!lr.read(name).ok()) {
            std::fprintf(stderr, "make_refsat: %s: no reference receiver name\n", ref_file.c_str());
            return 1;
        }
        ref = name;
        ref_given = true;
    }
    if (ref_given) ref.resize(4, ' ');

    std::ifstream file;
    std::istream* in = &std::cin;
    if (stream != "-") {
        file.open(stream);
        if (!file) {
            std::fprintf(stderr, "make_refsat: cannot open %s\n", stream.c_str());
            return 1;
        }
        in = &file;
    }

    // The epoch header of an OB1 line, as the program's driver reads it, and the receiver name.
    const textio::Format head("(4x,i2,1X,I2,4(1X,I2),F11.7,1x,a)");
    std::vector<Day> days; // in the order of the stream
    std::map<Day, DayData> data;
    long lineno = 0, bad = 0, first_bad = 0, ref_obs = 0;
    std::string line;
    while (std::getline(*in, line)) {
        ++lineno;
        if (line.compare(0, 4, "OB1 ") != 0) continue;
        int iprn = 0, yy = 0, mo = 0, da = 0, ho = 0, mi = 0;
        double sec = 0;
        std::string rec(4, ' ');
        const textio::ReadStatus st = head.read(line, iprn, yy, mo, da, ho, mi, sec, rec);
        const double tsec = ho * 3600.0 + mi * 60.0 + sec;
        if (!st.ok() || iprn < 1 || iprn > max_prn || yy < 0 || yy > 99 || mo < 1 || mo > 12 || da < 1 ||
            da > 31 || !(tsec >= -0.5 && tsec < seconds_per_day + 0.5)) {
            if (bad++ == 0) first_bad = lineno;
            continue;
        }
        if (!ref_given) {
            ref = rec;
            ref_given = true;
            std::fprintf(stderr, "make_refsat: reference receiver %s (first OB1 line)\n", ref.c_str());
        }
        const Day d{yy, mo, da};
        auto [it, fresh] = data.try_emplace(d);
        if (fresh) days.push_back(d);
        if (rec != ref) continue;
        ++ref_obs;
        // The program's second of day: the nearest integer, halves away from zero.
        const int itsec = static_cast<int>(std::lround(tsec));
        const int iper = std::min(itsec / period, (seconds_per_day - 1) / period);
        it->second.periods[std::max(iper, 0)][static_cast<std::size_t>(iprn)].insert(itsec);
    }
    if (bad > 0)
        std::fprintf(stderr,
                     "make_refsat: warning: %ld OB1 line(s) with an unreadable header or a PRN outside "
                     "1..35 passed over (first: line %ld)\n",
                     bad, first_bad);
    if (days.empty()) {
        std::fprintf(stderr, "make_refsat: no OB1 line in the stream\n");
        return 1;
    }
    if (ref_obs == 0) {
        std::fprintf(stderr, "make_refsat: the reference receiver %s has no observation in the stream\n",
                     ref.c_str());
        return 1;
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    for (const Day& d : days) {
        std::string text;
        int lines = 0;
        for (const auto& [iper, sats] : data[d].periods) {
            int best = 0;
            std::size_t most = 0;
            for (int prn = 1; prn <= max_prn; ++prn)
                if (sats[static_cast<std::size_t>(prn)].size() > most) {
                    most = sats[static_cast<std::size_t>(prn)].size();
                    best = prn;
                }
            if (best == 0) continue;
            const int t0 = iper * period;
            const int t1 = std::min(t0 + period, seconds_per_day);
            text += std::to_string(t0) + " " + std::to_string(t1) + " " + std::to_string(best) + "\n";
            ++lines;
        }
        const fs::path p = dir == "." ? fs::path(file_name(d)) : fs::path(dir) / file_name(d);
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::fprintf(stderr, "make_refsat: cannot write %s\n", p.string().c_str());
            return 1;
        }
        std::printf("%s: %d period(s), reference receiver %s\n", p.string().c_str(), lines, ref.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_refsat: %s\n", e.what());
        return 1;
    }
}
