// sp3_to_s3c: precise orbit products in SP3 format (versions a, b, c, d; plain or gzip) to the S3C
// records the program reads as its precise-orbit and rover trajectory files.
//
// One S3C record per satellite and epoch, one line each, written with the format
//
//   (a3,i3,1x,i2.2,4i3,f12.8,4f16.6,2i3,4e23.15)
//
// label "S3C", object number, two-digit year, month, day, hour, minute, seconds, X, Y, Z (km) and clock
// (microseconds) with the six decimals of the SP3 file (so the values read back are those of the file),
// orbit flag, clock flag, formal errors of X, Y, Z (km) and of the clock (microseconds). Every field is
// separated from the previous one by at least one blank, so the line reads list-directed.
//
// Several files given in time order are joined into one: a file takes over from its first epoch on (the
// epochs of the earlier files at or after it are dropped). See docs/precise_orbits.md.
#include <quadmath.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "frame/limits.hpp"
#include "lib/sp3.hpp"
#include "textio/format.hpp"

namespace {

using quelmar::tools::sp3::Epoch;
using quelmar::tools::sp3::File;
using quelmar::tools::sp3::PositionRecord;
using float128 = __float128;

constexpr const char* program = "sp3_to_s3c";

// Exit statuses.
constexpr int exit_ok = 0;
constexpr int exit_usage = 1;   // bad command line
constexpr int exit_input = 2;   // an input file cannot be read, is not SP3, or has a malformed line
constexpr int exit_output = 3;  // the output cannot be written
constexpr int exit_nothing = 4; // nothing to write, files that cannot be joined, span too long

// The program's tables: objects 1..maxsat, slots of one second over 11 days.
constexpr int max_object = quelmar::maxsat;
constexpr double max_span_sec = 950399;

// Per input file, warnings of one kind beyond this count are only counted.
constexpr int max_warnings = 10;

constexpr const char* usage_text =
    R"(Usage: sp3_to_s3c [options] SP3FILE [SP3FILE ...]

Converts precise orbit products in SP3 format (versions a, b, c and d, plain or
gzip-compressed; compress .Z files must be uncompressed first) into the S3C
records read as precise-orbit (s3cfile) and rover trajectory (rover_sp3file)
files. Several files given in time order are joined into one: each file takes
over from its first epoch on.

Options:
  -o, --output FILE     write the records to FILE (default: standard output)
  -s, --system L        constellation letter to convert (default G, GPS). The
                        satellite numbers of that constellation become the
                        objects 1..35 (L05 -> 5); higher numbers are skipped
                        with a warning. L for low-orbit (rover) products.
      --zero-errors     write 0 as every formal error instead of deriving the
                        errors from the accuracy exponents of the file
      --any-time-system accept files whose time system is not GPS (the epochs
                        are written as they are, with a warning)
  -q, --quiet           no summary on standard error (warnings still written)
  -h, --help            this text

Exit status: 0 converted, 1 bad usage, 2 an input file cannot be read or is
not valid SP3, 3 the output cannot be written, 4 nothing to convert, files not
in time order, or a span longer than the 11 days the program holds.
)";

struct Options {
    std::string output;
    char system = 'G';
    bool zero_errors = false;
    bool any_time_system = false;
    bool quiet = false;
    std::vector<std::string> inputs;
};

void say(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", program, text.c_str());
}

int usage_error(const std::string& text) {
    say(text);
    std::fprintf(stderr, "Try '%s --help'.\n", program);
    return exit_usage;
}

// Parses the command line. Returns -1 to go on, else the exit status.
int parse_options(int argc, char** argv, Options& o) {
    bool only_files = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (only_files || a.empty() || a[0] != '-' || a == "-") {
            o.inputs.push_back(a);
            continue;
        }
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        if (a == "--") {
            only_files = true;
        } else if (a == "-h" || a == "--help") {
            std::fputs(usage_text, stdout);
            return exit_ok;
        } else if (a == "-o" || a == "--output") {
            if (!value(o.output) || o.output.empty())
                return usage_error("option " + a + " needs a file name");
        } else if (a.rfind("--output=", 0) == 0) {
            o.output = a.substr(9);
        } else if (a == "-s" || a == "--system" || a.rfind("--system=", 0) == 0) {
            std::string v = a.rfind("--system=", 0) == 0 ? a.substr(9) : std::string();
            if (v.empty() && !value(v)) return usage_error("option " + a + " needs a constellation letter");
            if (v.size() != 1 || v[0] < 'A' || v[0] > 'Z')
                return usage_error("constellation must be one upper-case letter (G, R, E, C, J, ...), not '" +
                                   v + "'");
            o.system = v[0];
        } else if (a == "--zero-errors") {
            o.zero_errors = true;
        } else if (a == "--any-time-system") {
            o.any_time_system = true;
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else {
            return usage_error("unknown option " + a);
        }
    }
    if (o.inputs.empty()) return usage_error("no SP3 file given");
    return -1;
}

std::string epoch_text(const Epoch& e) {
    char buf[64];
    if (e.sec == static_cast<int>(e.sec))
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", e.year, e.month, e.day, e.hour,
                      e.minute, static_cast<int>(e.sec));
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%011.8f", e.year, e.month, e.day, e.hour,
                      e.minute, e.sec);
    return buf;
}

// Seconds from milliseconds, without trailing zeros ("900", "0.5").
std::string seconds_text(long long ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", ms / 1000.0);
    return buf;
}

std::string sat_text(char system, int number) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%c%02d", system, number);
    return buf;
}

// A formal error from an accuracy exponent: base^n (mm or ps) times 1e-6 (km or microseconds); 0 when
// the exponent is blank or the base is not given.
float128 formal_error(float128 base, int exponent, bool zero_errors) {
    if (zero_errors || exponent < 0 || !(base > 0)) return 0;
    return powq(base, exponent) * 1e-6Q;
}

// An epoch of the joined output and the file it comes from.
struct OutEpoch {
    const Epoch* epoch;
    const File* file;
};

} // namespace

int main(int argc, char** argv) {
    Options opt;
    if (const int rc = parse_options(argc, argv, opt); rc >= 0) return rc;

    // Read every file first: nothing is written unless all of them are usable.
    std::vector<File> files(opt.inputs.size());
    for (std::size_t k = 0; k < files.size(); ++k) {
        std::string error;
        if (!quelmar::tools::sp3::read_file(opt.inputs[k], files[k], error)) {
            say("error: " + error);
            return exit_input;
        }
        const File& f = files[k];
        if (f.time_system != "GPS") {
            if (!opt.any_time_system) {
                say("error: " + f.path + ": time system " + f.time_system +
                    ", not GPS; the program takes precise-orbit epochs as GPS time (use --any-time-system to "
                    "convert anyway)");
                return exit_input;
            }
            say("warning: " + f.path + ": time system " + f.time_system + " written as if it were GPS time");
        }
    }
    if (opt.system != 'G')
        say("constellation " + std::string(1, opt.system) + ": satellite " + sat_text(opt.system, 1) + ".." +
            sat_text(opt.system, max_object) + " is written as object 1.." + std::to_string(max_object) +
            " (the same number); higher numbers are skipped");

    // Join: each file takes over from its first epoch on.
    std::vector<OutEpoch> joined;
    for (const File& f : files) {
        const Epoch& first = f.epochs.front();
        if (!joined.empty()) {
            if (!(first.seconds_after(*joined.front().epoch) > 1e-6)) {
                say("error: " + f.path + " starts at " + epoch_text(first) + ", not after the start of " +
                    joined.front().file->path + " (" + epoch_text(*joined.front().epoch) +
                    "): give the files in time order");
                return exit_nothing;
            }
            std::size_t dropped = 0;
            while (!joined.empty() && joined.back().epoch->seconds_after(first) > -1e-6) {
                joined.pop_back();
                ++dropped;
            }
            if (dropped > 0)
                say("note: " + f.path + " starts at " + epoch_text(first) + ": " + std::to_string(dropped) +
                    " epoch(s) of the earlier file(s) from that epoch on are replaced by it");
        }
        for (const Epoch& e : f.epochs) joined.push_back(OutEpoch{&e, &f});
    }

    static const quelmar::textio::Format record_format("(a3,i3,1x,i2.2,4i3,f12.8,4f16.6,2i3,4e23.15)");
    std::string out;
    out.reserve(joined.size() * 40 * 180);

    std::map<const File*, int> absent_position; // per file: records skipped for an absent position
    std::set<std::string> out_of_range;         // satellites whose number exceeds the table
    long records = 0, no_clock = 0, epochs_written = 0;
    std::set<int> objects;
    const Epoch* first_written = nullptr;
    const Epoch* last_written = nullptr;
    std::set<long long> intervals; // spacing of the written epochs, in milliseconds

    for (const OutEpoch& oe : joined) {
        const Epoch& e = *oe.epoch;
        if (e.year < 1963 || e.year > 2062) {
            say("error: " + oe.file->path + ":" + std::to_string(e.line) + ": year " +
                std::to_string(e.year) + " cannot be written with a two-digit year (1963..2062)");
            return exit_nothing;
        }
        bool any = false;
        for (const PositionRecord& r : e.records) {
            if (r.system != opt.system) continue;
            if (r.number < 1 || r.number > max_object) {
                out_of_range.insert(sat_text(r.system, r.number));
                continue;
            }
            // Bad or absent positions are written as 0.000000 in SP3.
            if (r.x == 0 || r.y == 0 || r.z == 0) {
                if (++absent_position[oe.file] <= max_warnings)
                    say("warning: " + oe.file->path + ":" + std::to_string(r.line) + ": " +
                        sat_text(r.system, r.number) + " at " + epoch_text(e) +
                        ": absent position (0.000000), record skipped");
                continue;
            }
            if (r.clock > 999999 && r.clock < 1000000) ++no_clock;
            const int orbflag = (r.orbit_predicted == 'P' ? 1 : 0) + (r.maneuver == 'M' ? 2 : 0);
            const int iflag2 = (r.clock_predicted == 'P' ? 1 : 0) + (r.clock_event == 'E' ? 2 : 0);
            const File& f = *oe.file;
            out += record_format.write("S3C", r.number, e.year % 100, e.month, e.day, e.hour, e.minute, e.sec,
                                       r.x, r.y, r.z, r.clock, orbflag, iflag2,
                                       formal_error(f.base_pos, r.sdev[0], opt.zero_errors),
                                       formal_error(f.base_pos, r.sdev[1], opt.zero_errors),
                                       formal_error(f.base_pos, r.sdev[2], opt.zero_errors),
                                       formal_error(f.base_clk, r.sdev[3], opt.zero_errors));
            out += '\n';
            ++records;
            objects.insert(r.number);
            any = true;
        }
        if (!any) continue;
        if (last_written != nullptr) intervals.insert(std::llround(e.seconds_after(*last_written) * 1000));
        if (first_written == nullptr) first_written = &e;
        last_written = &e;
        ++epochs_written;
    }

    for (const auto& [file, n] : absent_position)
        if (n > max_warnings)
            say("warning: " + file->path + ": " + std::to_string(n) +
                " records with an absent position skipped in all");
    if (!out_of_range.empty()) {
        std::string list;
        for (const auto& s : out_of_range) list += (list.empty() ? "" : " ") + s;
        say("warning: satellites numbered beyond " + std::to_string(max_object) +
            " do not fit the program's tables, skipped: " + list);
    }
    if (records == 0) {
        say("error: no position record of constellation " + std::string(1, opt.system) + " to convert");
        return exit_nothing;
    }
    const double span = last_written->seconds_after(*first_written);
    if (span > max_span_sec + 0.5) {
        say("error: the records span " + std::to_string(std::llround(span)) + " s, more than the " +
            std::to_string(static_cast<long>(max_span_sec)) + " s (11 days) the program's tables hold");
        return exit_nothing;
    }
    if (intervals.size() > 1) {
        std::string list;
        for (long long ms : intervals) list += (list.empty() ? "" : ", ") + seconds_text(ms) + " s";
        say("warning: the epochs are not evenly spaced (intervals " + list +
            "); the program requires the span to be a multiple of its nominal interval");
    }

    // Write.
    std::FILE* dst = stdout;
    if (!opt.output.empty()) {
        dst = std::fopen(opt.output.c_str(), "wb");
        if (dst == nullptr) {
            say("error: cannot write " + opt.output + ": " + std::strerror(errno));
            return exit_output;
        }
    }
    const bool written = std::fwrite(out.data(), 1, out.size(), dst) == out.size();
    const bool closed = dst == stdout ? std::fflush(dst) == 0 : std::fclose(dst) == 0;
    if (!written || !closed) {
        say("error: cannot write " + (opt.output.empty() ? std::string("standard output") : opt.output));
        return exit_output;
    }

    if (!opt.quiet) {
        std::string interval = intervals.empty() ? std::string("single epoch")
                                                 : "interval " + seconds_text(*intervals.begin()) + " s";
        say(std::to_string(records) + " records of " + std::to_string(objects.size()) + " objects at " +
            std::to_string(epochs_written) + " epochs, " + epoch_text(*first_written) + " to " +
            epoch_text(*last_written) + " (" + interval + ", span " + std::to_string(std::llround(span)) +
            " s)" + (no_clock > 0 ? ", " + std::to_string(no_clock) + " without clock (999999.999999)" : "") +
            " -> " + (opt.output.empty() ? std::string("standard output") : opt.output));
    }
    return exit_ok;
}
