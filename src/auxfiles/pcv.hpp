// The IGS phase-centre table: elevation-dependent L1/L2 corrections per receiver antenna type.
//
// The file has 11 header lines, then one block of seven lines per antenna:
//
//   name line     "(a,a)"     antenna type (20 characters: model in 1-16, radome in 17-20) and a
//                             64-character description
//   L1 offset     "(3f10.1)"  north, east, up (mm)
//   L1 pattern    "(10f6.1)"  elevation nodes 1-10, then "(9f6.1)" nodes 11-19 on the next line (mm)
//   L2 offset and L2 pattern on three more lines, laid out as for L1.
//
// The 19 nodes are kept in the file's order (zenith angle 0, 5, ..., 90 degrees). The table is read
// in full at start-up and then only looked up, by the antenna index that the ANT message resolves.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "frame/files.hpp"
#include "frame/limits.hpp"

namespace quelmar::frame {
class Log;
}

namespace quelmar::auxfiles {

constexpr int ant_type_length = 20; // antenna type names, in both calibration files
constexpr int pcv_nelev = 19;       // elevation nodes of one frequency
constexpr int pcv_nfreq = 2;        // frequencies the table gives: 1 = L1, 2 = L2

// One antenna of the table.
struct PcvAntenna {
    std::string ant_type = std::string(ant_type_length, ' ');
    std::array<std::array<double, 3>, pcv_nfreq> offset{};       // [freq][north, east, up], mm
    std::array<std::array<double, pcv_nelev>, pcv_nfreq> elev{}; // [freq][node], mm
};

// The table as the rest of the program sees it: `nant` antennas, addressed from 1. The accessors
// keep the shapes of the full tables (9 frequencies x 3 components x `maxant` antennas and
// 9 x 19 x `maxant`): frequencies 3..9, which the file never gives, and indices outside the stored
// antennas read as 0 (blank names), so a lookup never leaves the table.
class PcvTable {
  public:
    // Number of antennas read completely.
    int nant = 0;
    // The antennas in file order. After a reading error the entry being read when it happened is
    // kept after the first `nant` ones, with the values that were read.
    std::vector<PcvAntenna> antennas;

    std::string_view ant_type_(int iant) const;
    // ifre 1..9, icomp 1 north, 2 east, 3 up; mm.
    double phase_center_offset_(int ifre, int icomp, int iant) const;
    // ifre 1..9, inode 1..19; mm.
    double phase_center_elev_(int ifre, int inode, int iant) const;
};

// Reads the table from the file named by `igspcvfile` (a 132-character name, trailing blanks ignored).
// Returns the status `ierripc`:
//   0  read to its end (`nant` antennas);
//   1  the file cannot be opened: logs "ERROR: opening igspcvfile file: " with the name;
//   2  a line cannot be read (a value that does not convert, or the file ending inside an antenna):
//      logs "ERROR: reading input igspcvfile"; `nant` counts the antennas read before it.
// A file ending inside its 11 header lines gives an empty table with status 0.
// A table holds at most maxant - 1 = 899 antennas: a 900th stops the run (frame::Stop) after the log
// line "ERROR: kant.gt.maxant", with the same text.
int read_pcv(const std::string& igspcvfile, PcvTable& pcv, frame::Log& log);

namespace detail {

// A text file read line by line, for the two calibration readers. A carriage return before the
// newline is dropped, so that files written with CRLF line ends read as the others do; a last line
// without a newline is still a line; a line longer than `max_length` is cut there. A read failure
// (a directory opened as a file, an I/O error) is told apart from the end of the file.
class AntennaFileLines {
  public:
    enum class Got { line, end, error };

    AntennaFileLines() = default;
    AntennaFileLines(const AntennaFileLines&) = delete;
    AntennaFileLines& operator=(const AntennaFileLines&) = delete;
    ~AntennaFileLines() {
        if (f_ != nullptr) std::fclose(f_);
        std::free(buf_);
    }

    bool open(const std::string& name) {
        if (!frame::is_readable_regular_file(name)) return false;
        f_ = std::fopen(name.c_str(), "r");
        return f_ != nullptr;
    }

    Got next(std::string& line, std::size_t max_length = std::string::npos) {
        const ssize_t n = ::getline(&buf_, &cap_, f_);
        if (n < 0) return std::ferror(f_) ? Got::error : Got::end;
        std::size_t len = static_cast<std::size_t>(n);
        if (len > 0 && buf_[len - 1] == '\n') --len;
        if (len > 0 && buf_[len - 1] == '\r') --len;
        line.assign(buf_, len < max_length ? len : max_length);
        return Got::line;
    }

  private:
    std::FILE* f_ = nullptr;
    char* buf_ = nullptr;
    std::size_t cap_ = 0;
};

} // namespace detail

} // namespace quelmar::auxfiles
