// The GPS constellation status table: which space vehicle transmitted each PRN on which days, and
// its block type.
//
// The file holds one record per vehicle assignment, nine integers in free (list-directed) form:
//
//   iprn  iyear0 imm0 idd0  iyear1 imm1 idd1  iblock  isv
//
// PRN 1..35; start and end dates (end inclusive; only the last two digits of a year count, 63..99
// being 1963..1999 and 00..62 2000..2062); the block type code; the space-vehicle slot 1..99 (the
// vehicle number). The table is kept per slot: a later record for the same slot replaces its dates,
// PRN and block, and is also listed a second time under its PRN.
#pragma once

#include <array>
#include <string>

#include "frame/limits.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
class Log;
struct Config;
} // namespace quelmar::frame

namespace quelmar::auxfiles {

constexpr int maxsv = 99;          // space-vehicle slots
constexpr int maxnsv_per_prn = 20; // vehicles listed for one PRN

// One vehicle listed for a PRN, with the current values of its slot.
struct SvCandidate {
    int isv = 0;
    int idjm0 = 0; // first MJD; 0 for an unused slot
    int idjm1 = 0; // last MJD (inclusive); 0 for an unused slot
    int iblock = 0;
};

// The vehicles listed for one PRN, in file order.
struct SvCandidates {
    std::array<SvCandidate, maxnsv_per_prn> entry{};
    int n = 0;
    const SvCandidate* begin() const { return entry.data(); }
    const SvCandidate* end() const { return entry.data() + n; }
};

struct ConstellationStatus {
    ConstellationStatus() { clear(); }

    Array1<int, maxsv> idjm0_sv;                 // first MJD of each slot; 0 = slot empty
    Array1<int, maxsv> idjm1_sv;                 // last MJD (inclusive); 0 = slot empty
    Array1<int, maxsv> iprn_sv;                  // PRN of each slot
    Array1<int, maxsv> iblock_sv;                // block type code of each slot
    Array1<int, maxsat> ksv_prn;                 // vehicles listed for each PRN
    Array2<int, maxsat, maxnsv_per_prn> iprn2sv; // iprn2sv(p, 1..ksv_prn(p)): slots of PRN p, file order
    int isvmax = -99;                            // largest slot read; -99 if none

    // Empty table: every slot and list cleared, isvmax -99.
    void clear();

    // The vehicles listed for `iprn` in file order, each with its slot's dates and block, for the
    // lookup of the vehicle behind a PRN on a given day. None for a PRN outside 1..maxsat.
    SvCandidates candidates(int iprn) const;
};

// Clears the table and reads `gpscstatusfile` into it. Status ierrgcs: 0 ok; 1 the file cannot be
// opened ("ERROR: opening gpsconsstatus.lst "); 2 a record cannot be read ("ERROR: reading
// gpsconsstatus.lst "; the records before it stay loaded); 3 the file was read but records that do
// not fit the table were skipped, each with a warning line: a PRN outside 1..35, a slot outside
// 1..99, a 21st vehicle for one PRN, or a date the calendar refuses (month outside 1..12, day outside
// its month, negative year).
void read_gcs(const std::string& gpscstatusfile, ConstellationStatus& gcs, int& ierrgcs, frame::Log& log);

// Start-up, after the reference receiver: reads the file named by gpscstatusfile (its status is not
// acted upon) and, unless the log is silent, lists the table in the log.
void load_constellation_status(const frame::Config& cfg, ConstellationStatus& gcs, frame::Log& log);

} // namespace quelmar::auxfiles
