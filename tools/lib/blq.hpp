// Reading ocean-loading coefficient files in the BLQ layout (the layout of the ocean-loading service at
// Onsala and of the IGS station lists), plain or gzip-compressed.
//
// A file is a sequence of station blocks. Lines starting with "$$" (after optional blanks) are comments
// and blank lines are passed over. A block is the station's name line (its first word is the name)
// followed by six rows of eleven numbers:
//   amplitudes (m)      up, west, south
//   phase lags (deg)    up, west, south
// each row in the constituent order M2 S2 N2 K2 K1 O1 P1 Q1 Mf Mm Ssa. Displacements are positive up,
// west and south, phases are lags relative to Greenwich (positive lagging). Numbers are separated by
// blanks; carriage returns at line ends (files written on other systems) are dropped.
//
// Every problem throws `blq::Error`, whose message is "path:line: reason".
#pragma once

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "gzlines.hpp"

namespace quelmar::tools::blq {

constexpr int ncomp = 3;  // up, west, south
constexpr int nwave = 11; // M2 S2 N2 K2 K1 O1 P1 Q1 Mf Mm Ssa

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

struct Station {
    std::string name;                                         // first word of the name line, as written
    std::array<std::array<double, nwave>, ncomp> amplitude{}; // m; [component][constituent]
    std::array<std::array<double, nwave>, ncomp> phase{};     // degrees, lags
    long line = 0;                                            // line of the name
};

namespace detail {

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The blank-separated words of a line.
inline std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        const std::size_t b = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
        if (i > b) out.push_back(s.substr(b, i - b));
    }
    return out;
}

// A plain decimal number (no exponent letters other than E, no inf/nan); false when it does not read.
inline bool number(std::string_view w, double& out) {
    char buf[32];
    if (w.empty() || w.size() >= sizeof buf) return false;
    for (char c : w)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'E' ||
              c == 'e'))
            return false;
    w.copy(buf, w.size());
    buf[w.size()] = '\0';
    char* end = nullptr;
    out = std::strtod(buf, &end);
    return end == buf + w.size() && std::isfinite(out);
}

inline std::string upper4(std::string_view s) {
    std::string u(s.substr(0, 4));
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

} // namespace detail

// All station blocks of the file at `path`, in file order (a name may occur more than once).
inline std::vector<Station> read_file(const std::string& path) {
    static const char* const row_names[6] = {"up amplitudes", "west amplitudes", "south amplitudes",
                                             "up phases",     "west phases",     "south phases"};
    LineSource src;
    std::string err;
    if (!src.open(path, err)) throw Error(path, 0, err);
    std::vector<Station> out;
    int rows = 6; // rows of the current block read so far; 6: the next line names a station
    std::string line;
    while (src.next(line)) {
        const long n = src.line_number();
        const std::string_view t = detail::trim(line);
        if (t.empty() || t.substr(0, 2) == "$$") continue;
        if (rows == 6) {
            Station s;
            s.name = std::string(detail::words(t).front());
            s.line = n;
            out.push_back(std::move(s));
            rows = 0;
            continue;
        }
        Station& s = out.back();
        const std::vector<std::string_view> w = detail::words(t);
        if (w.size() != nwave)
            throw Error(path, n,
                        "station " + s.name + ": " + row_names[rows] + ": " + std::to_string(w.size()) +
                            " values instead of 11");
        auto& row = rows < 3 ? s.amplitude[static_cast<std::size_t>(rows)]
                             : s.phase[static_cast<std::size_t>(rows - 3)];
        for (std::size_t j = 0; j < w.size(); ++j) {
            double v = 0;
            if (!detail::number(w[j], v))
                throw Error(path, n,
                            "station " + s.name + ": " + row_names[rows] + ": cannot read \"" +
                                std::string(w[j]) + "\"");
            if (rows < 3 ? !(v >= 0.0 && v < 1.0) : !(v >= -360.0 && v <= 360.0))
                throw Error(path, n,
                            "station " + s.name + ": " + row_names[rows] + ": value out of range \"" +
                                std::string(w[j]) + "\"");
            row[j] = v;
        }
        ++rows;
    }
    if (src.failed(err)) {
        if (err.rfind(path + ": ", 0) == 0) err.erase(0, path.size() + 2);
        throw Error(path, src.line_number(), "read error: " + err);
    }
    if (rows != 6)
        throw Error(path, src.line_number(),
                    "file truncated: station " + out.back().name + " has " + std::to_string(rows) +
                        " of its 6 rows");
    return out;
}

// The first station of `stations` named `name` (4 characters, compared without regard to case); null
// when none. Longer names (VLBI telescopes such as ONSALA60) never match a receiver: they are other
// points, often at the same site as a receiver whose name they begin with.
inline const Station* find(const std::vector<Station>& stations, std::string_view name) {
    const std::string want = detail::upper4(name);
    if (want.size() != 4) return nullptr;
    for (const Station& s : stations)
        if (s.name.size() == 4 && detail::upper4(s.name) == want) return &s;
    return nullptr;
}

} // namespace quelmar::tools::blq
