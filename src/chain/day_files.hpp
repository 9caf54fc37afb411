// The two daily files of the epoch control, read at the first observation of each new day from the
// working directory:
//
//  - the reference satellites, "refsat.yy-mm-dd": one period per line, in free (list-directed) form,
//    start second of day, end second of day and PRN. A period covers its start second and ends before
//    its end second.
//  - the fixed double-difference ambiguities (DDF records), "ddf.yy-mm-dd.sum": one record of 26 free-
//    form values per line (see DdfRecord). A record covers both of its end seconds.
//
// Each line is read as one free-form READ statement, so a line with too few values continues on the
// next one, as such input always does, and the rest of a line after the last value is ignored. Blank
// lines at the end are harmless; a file that ends inside a record is a read error, so that a truncated
// file is never taken for a complete one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/array.hpp"

namespace quelmar::frame {
class TextSink;
}

namespace quelmar::chain {

// Most reference periods of a day (a quarter of an hour each) and most DDF records of a day.
constexpr int maxper_refsat = 96;
constexpr int maxddf = 38400;

// Status of the daily-file readers.
namespace dayfile_status {
constexpr int ok = 0;
constexpr int cannot_open = 1;
constexpr int read_error = 2;
constexpr int too_many = 3; // more lines than the table holds
} // namespace dayfile_status

// The reference periods of the day: itsec0_refsat(n) <= second of day < itsec1_refsat(n) has the
// reference satellite iprn_refsat(n); nper_refsat periods in use.
struct RefsatPeriods {
    Array1<std::int32_t, maxper_refsat> itsec0_refsat, itsec1_refsat, iprn_refsat;
    std::int32_t nper_refsat = 0;
};

// One fixed double-difference record: the period, satellite and receiver it applies to, the arc
// numbers of the four undifferenced ambiguities (receiver/reference receiver x satellite/reference
// satellite), and for each of the wide-lane (bw), ionosphere-free (bc) and geometry-free (bi) terms the
// four ambiguity identifiers and the fixed double difference.
struct DdfRecord {
    double tsec0_ddf = 0, tsec1_ddf = 0; // seconds of day, both included
    std::int32_t iprn_ddf = 0;
    std::string rec_ddf = std::string(4, ' ');
    std::int32_t narc11 = 0, narc01 = 0, narc10 = 0, narc00 = 0;
    std::int32_t irefsat_ddf = 0;
    std::string refrec_ddf = std::string(4, ' ');
    std::int32_t idbw11 = 0, idbw01 = 0, idbw10 = 0, idbw00 = 0;
    double ddbw_fixed_ddf = 0;
    std::int32_t idbc11 = 0, idbc01 = 0, idbc10 = 0, idbc00 = 0;
    double ddbc_fixed_ddf = 0;
    std::int32_t idbi11 = 0, idbi01 = 0, idbi10 = 0, idbi00 = 0;
    double ddbi_fixed_ddf = 0;
    std::int32_t kon_ddf = 0;
};

// The 26 values of a record as one list-directed line (leading blank, values separated by blanks), as
// the record is echoed.
std::string ddf_values(const DdfRecord& d);

// The name of a daily file: prefix, the two-digit year, month and day joined by "-", and the suffix
// ("refsat.09-03-02", "ddf.09-03-02.sum").
std::string refsat_file_name(std::int32_t iyy, std::int32_t imo, std::int32_t ida);
std::string ddf_file_name(std::int32_t iyy, std::int32_t imo, std::int32_t ida);

// Reads the reference periods of `file_refsat` into `p` (nper_refsat = count read). Returns a
// dayfile_status; on read_error or too_many the periods read before stay in `p`, and `message`
// says which line failed and why.
int read_refsat_file(const std::string& file_refsat, RefsatPeriods& p, std::string& message);

// Reads the DDF records of `file_ddf` into `ddf` (cleared first). Each record is echoed on `echo`
// (when not null) as it is read: "nddf= " with its number, then a line with its 26 values. Returns a
// dayfile_status as read_refsat_file does.
int read_ddf_file(const std::string& file_ddf, std::vector<DdfRecord>& ddf, frame::TextSink* echo,
                  std::string& message);

// The first record with tsec0_ddf <= tsecdayobs <= tsec1_ddf for the satellite and receiver, or
// nullptr.
const DdfRecord* find_ddf(const std::vector<DdfRecord>& ddf, double tsecdayobs, std::int32_t iprn,
                          const std::string& rec);

// The first period with itsec0_refsat <= itsecdayobs < itsec1_refsat: its PRN and number
// (iper_refsat); without one, refsat = -99 and iper_refsat = nper_refsat + 1.
void find_refsat(const RefsatPeriods& p, std::int32_t itsecdayobs, std::int32_t& refsat,
                 std::int32_t& iper_refsat);

} // namespace quelmar::chain
