#include "chain/day_files.hpp"

#include <fstream>

#include "frame/files.hpp"
#include "frame/log.hpp"
#include "textio/format.hpp"
#include "textio/listread.hpp"
#include "textio/listwrite.hpp"

namespace quelmar::chain {

namespace {

using textio::IoStat;

// What went wrong in a record, for the caller's log.
std::string record_message(const textio::ListReader& r, const textio::ReadStatus& s) {
    std::string m = "record " + std::to_string(r.record_number());
    if (s.iostat == IoStat::end_of_file)
        m += ": the file ends inside the record";
    else if (!s.message.empty())
        m += ": " + s.message;
    return m;
}

// Outcome of one free-form READ statement: a record, a clean end of the file, or an error. End of
// file before the first value of a record is the end of the data; after it, the record is cut short.
enum class Outcome { record, end, error };

Outcome outcome_of(const textio::ReadStatus& s) {
    if (s.ok()) return Outcome::record;
    if (s.iostat == IoStat::end_of_file && s.items_done == 0) return Outcome::end;
    return Outcome::error;
}

} // namespace

std::string ddf_values(const DdfRecord& d) {
    return textio::list_line(d.tsec0_ddf, d.tsec1_ddf, d.iprn_ddf, d.rec_ddf, d.narc11, d.narc01, d.narc10,
                             d.narc00, d.irefsat_ddf, d.refrec_ddf, d.idbw11, d.idbw01, d.idbw10, d.idbw00,
                             d.ddbw_fixed_ddf, d.idbc11, d.idbc01, d.idbc10, d.idbc00, d.ddbc_fixed_ddf,
                             d.idbi11, d.idbi01, d.idbi10, d.idbi00, d.ddbi_fixed_ddf, d.kon_ddf);
}

std::string refsat_file_name(std::int32_t iyy, std::int32_t imo, std::int32_t ida) {
    static const textio::Format name_format("(a,i2.2,a,i2.2,a,i2.2)");
    return name_format.write("refsat.", iyy, "-", imo, "-", ida);
}

std::string ddf_file_name(std::int32_t iyy, std::int32_t imo, std::int32_t ida) {
    static const textio::Format name_format("(a,i2.2,a,i2.2,a,i2.2,a)");
    return name_format.write("ddf.", iyy, "-", imo, "-", ida, ".sum");
}

int read_refsat_file(const std::string& file_refsat, RefsatPeriods& p, std::string& message) {
    message.clear();
    p.nper_refsat = 0;
    std::ifstream f;
    if (!frame::open_existing_file(file_refsat, f)) return dayfile_status::cannot_open;
    textio::ListReader r(f);
    for (;;) {
        std::int32_t itsec0 = 0, itsec1 = 0, iprn = 0;
        const textio::ReadStatus s = r.read(itsec0, itsec1, iprn);
        switch (outcome_of(s)) {
        case Outcome::end:
            return dayfile_status::ok;
        case Outcome::error:
            message = record_message(r, s);
            return dayfile_status::read_error;
        case Outcome::record:
            break;
        }
        if (p.nper_refsat == maxper_refsat) {
            message = "more than " + std::to_string(maxper_refsat) + " periods";
            return dayfile_status::too_many;
        }
        ++p.nper_refsat;
        p.itsec0_refsat(p.nper_refsat) = itsec0;
        p.itsec1_refsat(p.nper_refsat) = itsec1;
        p.iprn_refsat(p.nper_refsat) = iprn;
    }
}

int read_ddf_file(const std::string& file_ddf, std::vector<DdfRecord>& ddf, frame::TextSink* echo,
                  std::string& message) {
    message.clear();
    ddf.clear();
    std::ifstream f;
    if (!frame::open_existing_file(file_ddf, f)) return dayfile_status::cannot_open;
    textio::ListReader r(f);
    for (;;) {
        DdfRecord d;
        const textio::ReadStatus s =
            r.read_numbers(d.tsec0_ddf, d.tsec1_ddf, d.iprn_ddf, d.rec_ddf, d.narc11, d.narc01, d.narc10, d.narc00,
                   d.irefsat_ddf, d.refrec_ddf, d.idbw11, d.idbw01, d.idbw10, d.idbw00, d.ddbw_fixed_ddf,
                   d.idbc11, d.idbc01, d.idbc10, d.idbc00, d.ddbc_fixed_ddf, d.idbi11, d.idbi01, d.idbi10,
                   d.idbi00, d.ddbi_fixed_ddf, d.kon_ddf);
        switch (outcome_of(s)) {
        case Outcome::end:
            return dayfile_status::ok;
        case Outcome::error:
            message = record_message(r, s);
            return dayfile_status::read_error;
        case Outcome::record:
            break;
        }
        if (static_cast<int>(ddf.size()) == maxddf) {
            message = "more than " + std::to_string(maxddf) + " records";
            return dayfile_status::too_many;
        }
        ddf.push_back(d);
        if (echo != nullptr) {
            echo->list("nddf= ", static_cast<int>(ddf.size()));
            echo->line(ddf_values(d));
        }
    }
}

const DdfRecord* find_ddf(const std::vector<DdfRecord>& ddf, double tsecdayobs, std::int32_t iprn,
                          const std::string& rec) {
    for (const DdfRecord& d : ddf)
        if (d.tsec0_ddf <= tsecdayobs && tsecdayobs <= d.tsec1_ddf && d.iprn_ddf == iprn &&
            d.rec_ddf.compare(0, 4, rec, 0, 4) == 0)
            return &d;
    return nullptr;
}

void find_refsat(const RefsatPeriods& p, std::int32_t itsecdayobs, std::int32_t& refsat,
                 std::int32_t& iper_refsat) {
    refsat = -99;
    for (iper_refsat = 1; iper_refsat <= p.nper_refsat; ++iper_refsat) {
        if (p.itsec0_refsat(iper_refsat) <= itsecdayobs && itsecdayobs < p.itsec1_refsat(iper_refsat)) {
            refsat = p.iprn_refsat(iper_refsat);
            return;
        }
    }
}

} // namespace quelmar::chain
