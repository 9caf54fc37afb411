// make_role_lists: writes the station role lists of a run from the station names of RINEX observation
// files (or names given directly), one file per list, in the layout the program reads at start-up.
//
//   make_role_lists [-o DIR] [--ref NAME | --no-ref] [--estimate NAMES] [--rover-like NAMES]
//                   [--rover-rt NAMES] [--fixing-amb NAMES] [--rover-sp3 NAMES]
//                   [--leo NAME,ALONG,CROSS,RADIAL]... [--station NAME]... [OBSFILE]...
//
// A station is named as the converter names the receiver: the first four characters of the marker
// name, upper-cased. Every station of the run gets exactly one role, because the program stops on a
// receiver in two roles and treats one in none as an unsupported kind: the reference receiver is the
// first station unless --ref or --no-ref says otherwise, and every station given no other role is put
// in the list of receivers whose coordinates are estimated. NAMES is a comma-separated list (so a name
// given here cannot hold a comma); options may be repeated.
//
// Files written in DIR (default "."), with the names of the example configuration; a list without
// names is written as an empty file:
//   sta2refrec.txt     the reference receiver         sta2estpos.txt     coordinates estimated
//   sta2roverlike.txt  rover-like receivers           sta2roverrt.txt    real-time rovers
//   sta2fixingamb.txt  receivers fixing ambiguities   sta2roversp3.txt   receivers with a trajectory file
//   leocm2pc.txt       antenna offsets of low-orbit rovers (name and three offsets, m)
// One name per line: plain when free-format input reads it back unchanged, else quoted.
// Standard output gets the configuration lines that name the files.
//
// Status: 0 written, 1 an observation file cannot be read or a file cannot be written, 2 usage errors
// (unknown option, a role for a station not in the run, a station in two roles, more than six
// stations, a trajectory-file rover whose name carries no object number).
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "lib/rinex.hpp"

namespace {

namespace fs = std::filesystem;
namespace rnx = quelmar::tools::rinex;

constexpr std::size_t max_stations = 6; // receivers of one run

struct UsageError {
    std::string what;
};

// A station name as the receiver tables hold it: four characters, blank-padded.
std::string station_name(const std::string& s) {
    std::string n = s.substr(0, 4);
    n.resize(4, ' ');
    return n;
}

// The name of a receiver read from a RINEX file, as the converter names it: upper-cased.
std::string marker_station_name(const std::string& marker) {
    std::string n = station_name(marker);
    for (char& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return n;
}

std::vector<std::string> split_commas(const std::string& s) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = s.find(',', start);
        out.push_back(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

// The name as one record of a free-format list: plain when a free-format read of a 4-character item
// gives it back (no separators, quotes or a leading blank, and not a repeat count like "2*AB"), else
// between apostrophes with inner apostrophes doubled. Trailing blanks need no quotes: the read pads.
std::string list_item(const std::string& name) {
    std::string trimmed = name;
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
    bool plain = !trimmed.empty();
    for (char c : trimmed)
        if (c == ' ' || c == ',' || c == '/' || c == '\'' || c == '"' || c == '\t' || c == ';' ||
            static_cast<unsigned char>(c) < 32)
            plain = false;
    const std::size_t star = trimmed.find('*');
    if (star != std::string::npos && star > 0 &&
        std::all_of(trimmed.begin(), trimmed.begin() + static_cast<std::ptrdiff_t>(star),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
        plain = false;
    if (plain) return trimmed;
    std::string q = "'";
    for (char c : name) {
        q += c;
        if (c == '\'') q += '\'';
    }
    return q + "'";
}

struct Leo {
    std::string name;
    double offset[3] = {0, 0, 0};
};

struct Options {
    std::string dir = ".";
    std::string ref;
    bool ref_given = false, no_ref = false;
    std::map<std::string, std::vector<std::string>> roles; // option name -> station names
    std::vector<Leo> leo;
    std::vector<std::string> stations_given; // --station
    std::vector<std::string> files;
};

// The role options and the file each list goes to, in the order they are written.
struct ListFile {
    const char* option;
    const char* file;
    const char* key;
};
constexpr ListFile list_files[] = {
    {"--estimate", "sta2estpos.txt", "sta2estposfile"},
    {"--rover-like", "sta2roverlike.txt", "sta2roverlikefile"},
    {"--rover-rt", "sta2roverrt.txt", "sta2roverrtfile"},
    {"--fixing-amb", "sta2fixingamb.txt", "sta2fixingambfile"},
    {"--rover-sp3", "sta2roversp3.txt", "sta2roversp3file"},
};

double parse_offset(const std::string& s, const std::string& arg) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || errno != 0 || !std::isfinite(v))
        throw UsageError{"--leo: offset \"" + s + "\" is not a number in " + arg};
    return v;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw UsageError{a + " needs a value"};
            return argv[++i];
        };
        bool is_role = false;
        for (const ListFile& l : list_files)
            if (a == l.option) {
                for (const std::string& n : split_commas(value())) o.roles[l.option].push_back(n);
                is_role = true;
            }
        if (is_role) continue;
        if (a == "-o") {
            o.dir = value();
        } else if (a == "--ref") {
            o.ref = value();
            o.ref_given = true;
        } else if (a == "--no-ref") {
            o.no_ref = true;
        } else if (a == "--station") {
            for (const std::string& n : split_commas(value())) o.stations_given.push_back(n);
        } else if (a == "--leo") {
            const std::string arg = value();
            const std::vector<std::string> parts = split_commas(arg);
            if (parts.size() != 4) throw UsageError{"--leo wants NAME,ALONG,CROSS,RADIAL, got " + arg};
            Leo l;
            l.name = parts[0];
            for (int k = 0; k < 3; ++k)
                l.offset[k] = parse_offset(parts[static_cast<std::size_t>(k) + 1], arg);
            o.leo.push_back(l);
        } else if (!a.empty() && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else {
            o.files.push_back(a);
        }
    }
    if (o.ref_given && o.no_ref) throw UsageError{"--ref and --no-ref exclude each other"};
    return o;
}

bool write_file(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

int run(int argc, char** argv) {
    Options o;
    try {
        o = parse(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "make_role_lists: %s\n", e.what.c_str());
        return 2;
    }
    // The stations of the run, in the order given: observation files first, then --station names.
    std::vector<std::string> stations;
    std::map<std::string, std::string> origin;
    auto add_station = [&](const std::string& name, const std::string& from) {
        const auto it = origin.find(name);
        if (it != origin.end())
            throw UsageError{"station " + name + " of " + from + " already given by " + it->second};
        origin[name] = from;
        stations.push_back(name);
    };
    try {
        for (const std::string& f : o.files) {
            rnx::ObsReader r;
            r.open(f); // reads the header only
            add_station(marker_station_name(r.header().marker), f);
        }
        for (const std::string& s : o.stations_given) add_station(station_name(s), "--station");
    } catch (const UsageError& e) {
        std::fprintf(stderr, "make_role_lists: %s\n", e.what.c_str());
        return 2;
    }
    if (stations.empty()) {
        std::fprintf(stderr,
                     "usage: make_role_lists [-o DIR] [--ref NAME | --no-ref] [--estimate NAMES] "
                     "[--rover-like NAMES] [--rover-rt NAMES] [--fixing-amb NAMES] [--rover-sp3 NAMES] "
                     "[--leo NAME,ALONG,CROSS,RADIAL]... [--station NAME]... [OBSFILE]...\n");
        return 2;
    }
    try {
        if (stations.size() > max_stations)
            throw UsageError{std::to_string(stations.size()) + " stations: a run holds at most " +
                             std::to_string(max_stations)};
        // Role of each station; a second role is refused.
        std::map<std::string, std::string> role;
        // A name on the command line is taken as written; when no station has it, its upper-case form
        // (the converter's form of a marker name) is tried.
        auto known = [&](const std::string& given) {
            const std::string n = station_name(given);
            return origin.count(n) ? n : marker_station_name(given);
        };
        auto assign = [&](const std::string& given, const std::string& r) {
            const std::string n = known(given);
            if (origin.find(n) == origin.end())
                throw UsageError{r + ": station " + n + " is not among the stations of the run"};
            const auto it = role.find(n);
            if (it != role.end() && it->second != r)
                throw UsageError{"station " + n + " given two roles: " + it->second + " and " + r};
            role[n] = r;
        };
        std::string ref;
        if (!o.no_ref) {
            ref = o.ref_given ? known(o.ref) : stations.front();
            assign(ref, "--ref");
        }
        for (const ListFile& l : list_files)
            for (const std::string& n : o.roles[l.option]) assign(n, l.option);
        // The object number of a trajectory-file rover is read from its name: two digits, after an "l"
        // for low-orbit rovers.
        for (const std::string& n : stations)
            if (role.count(n) && role[n] == "--rover-sp3") {
                const std::size_t at = n[0] == 'l' ? 1 : 0;
                const bool digits = (std::isdigit(static_cast<unsigned char>(n[at])) || n[at] == ' ') &&
                                    std::isdigit(static_cast<unsigned char>(n[at + 1]));
                if (!digits)
                    throw UsageError{"--rover-sp3: station " + n +
                                     " carries no object number (two digits, after an \"l\" for a low-orbit "
                                     "rover)"};
            }
        for (const Leo& l : o.leo) {
            const std::string n = known(l.name);
            if (!role.count(n) || role[n] != "--rover-sp3")
                throw UsageError{"--leo: station " + n + " is not a trajectory-file rover (--rover-sp3)"};
        }
        // Every station without a role has its coordinates estimated.
        for (const std::string& n : stations)
            if (!role.count(n)) {
                role[n] = "--estimate";
                o.roles["--estimate"].push_back(n);
            }

        std::error_code ec;
        fs::create_directories(o.dir, ec);
        const fs::path dir(o.dir);
        auto put = [&](const char* file, const std::string& text) {
            if (!write_file(dir / file, text)) {
                std::fprintf(stderr, "make_role_lists: cannot write %s\n", (dir / file).string().c_str());
                return false;
            }
            return true;
        };
        // The configuration line naming a file, with what it holds as a comment.
        auto key_line = [](const char* key, const char* file, const std::string& what) {
            std::string k = key;
            k.resize(17, ' ');
            std::string quoted = std::string("'") + file + "'";
            quoted.resize(20, ' ');
            std::printf("  %s = %s ! %s\n", k.c_str(), quoted.c_str(),
                        what.empty() ? "(none)" : what.c_str());
        };
        if (!put("sta2refrec.txt", ref.empty() ? std::string() : list_item(ref) + "\n")) return 1;
        key_line("sta2refrecfile", "sta2refrec.txt", ref);
        for (const ListFile& l : list_files) {
            std::string text, names;
            for (const std::string& n : stations) // station order, each once
                if (role[n] == l.option) {
                    text += list_item(n) + "\n";
                    names += (names.empty() ? "" : " ") + n;
                }
            if (!put(l.file, text)) return 1;
            key_line(l.key, l.file, names);
        }
        std::string leo_text;
        for (const Leo& l : o.leo) {
            char buf[128];
            std::snprintf(buf, sizeof buf, " %.6f %.6f %.6f\n", l.offset[0], l.offset[1], l.offset[2]);
            leo_text += list_item(known(l.name)) + buf;
        }
        if (!put("leocm2pc.txt", leo_text)) return 1;
        key_line("leocm2pcfile", "leocm2pc.txt", std::to_string(o.leo.size()) + " low-orbit rover(s)");
    } catch (const UsageError& e) {
        std::fprintf(stderr, "make_role_lists: %s\n", e.what.c_str());
        return 2;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_role_lists: %s\n", e.what());
        return 1;
    }
}
