#include "auxfiles/constellation_status.hpp"

#include <algorithm>
#include <fstream>

#include "frame/files.hpp"
#include "frame/config.hpp"
#include "frame/log.hpp"
#include "messages/header.hpp"
#include "orbits/timescales.hpp"
#include "textio/listread.hpp"

namespace quelmar::auxfiles {

namespace {

// MJD of 0h of a date whose year counts by its last two digits. False for a date the calendar
// refuses: the table would otherwise hold a day that no observation can match, or a wrong one.
bool status_date_mjd(int iyear, int imm, int idd, int& idjm) {
    const int iyy = iyear % 100;
    if (iyy < 0) return false;
    double djm = 0.0;
    int j = 0;
    orbits::sla_cldj(messages::four_digit_year(iyy), imm, idd, djm, j);
    if (j != 0) return false;
    idjm = static_cast<int>(djm);
    return true;
}

} // namespace

void ConstellationStatus::clear() {
    idjm0_sv.fill(0);
    idjm1_sv.fill(0);
    iprn_sv.fill(0);
    iblock_sv.fill(0);
    ksv_prn.fill(0);
    iprn2sv.fill(0);
    isvmax = -99;
}

SvCandidates ConstellationStatus::candidates(int iprn) const {
    SvCandidates c;
    if (iprn < 1 || iprn > maxsat) return c;
    for (int k = 1; k <= ksv_prn(iprn) && k <= maxnsv_per_prn; ++k) {
        const int isv = iprn2sv(iprn, k);
        if (isv < 1 || isv > maxsv) continue; // cannot happen for a table filled by read_gcs
        c.entry[static_cast<std::size_t>(c.n++)] = {isv, idjm0_sv(isv), idjm1_sv(isv), iblock_sv(isv)};
    }
    return c;
}

void read_gcs(const std::string& gpscstatusfile, ConstellationStatus& gcs, int& ierrgcs, frame::Log& log) {
    ierrgcs = 0;
    gcs.clear();
    std::ifstream in;
    if (!frame::open_existing_file(gpscstatusfile, in)) {
        ierrgcs = 1;
        log.list("ERROR: opening gpsconsstatus.lst ");
        return;
    }
    textio::ListReader r(in);
    for (;;) {
        int iprn = 0, iyear0 = 0, imm0 = 0, idd0 = 0, iyear1 = 0, imm1 = 0, idd1 = 0, iblock = 0, isv = 0;
        const textio::ReadStatus st = r.read(iprn, iyear0, imm0, idd0, iyear1, imm1, idd1, iblock, isv);
        if (st.iostat == textio::IoStat::end_of_file) return;
        if (!st.ok()) {
            ierrgcs = 2;
            log.list("ERROR: reading gpsconsstatus.lst ");
            return;
        }
        // A record that does not fit the table is skipped whole, before any slot is touched.
        const char* reason = nullptr;
        int idjm0 = 0, idjm1 = 0;
        if (iprn < 1 || iprn > maxsat)
            reason = "WARNING: gpsconsstatus.lst record skipped (iprn outside 1..35):";
        else if (isv < 1 || isv > maxsv)
            reason = "WARNING: gpsconsstatus.lst record skipped (isv outside 1..99):";
        else if (gcs.ksv_prn(iprn) == maxnsv_per_prn)
            reason = "WARNING: gpsconsstatus.lst record skipped (more than 20 vehicles for the PRN):";
        else if (!status_date_mjd(iyear0, imm0, idd0, idjm0) || !status_date_mjd(iyear1, imm1, idd1, idjm1))
            reason = "WARNING: gpsconsstatus.lst record skipped (invalid date):";
        if (reason != nullptr) {
            ierrgcs = 3;
            log.list(reason, iprn, iyear0, imm0, idd0, iyear1, imm1, idd1, iblock, isv);
            continue;
        }
        gcs.isvmax = std::max(gcs.isvmax, isv);
        gcs.idjm0_sv(isv) = idjm0;
        gcs.idjm1_sv(isv) = idjm1;
        gcs.iprn_sv(isv) = iprn;
        gcs.iprn2sv(iprn, ++gcs.ksv_prn(iprn)) = isv;
        gcs.iblock_sv(isv) = iblock;
    }
}

void load_constellation_status(const frame::Config& cfg, ConstellationStatus& gcs, frame::Log& log) {
    int ierrgcs = 0;
    read_gcs(cfg.gpscstatusfile, gcs, ierrgcs, log);
    if (log.silent) return;
    log.list("GPS Constellation Status: ");
    for (int i = 1; i <= gcs.isvmax; ++i) {
        log.list("i,idjm0_sv(i),idjm1_sv(i)=", i, gcs.idjm0_sv(i), gcs.idjm1_sv(i));
        log.list("i,iprn_sv(i),iblock_sv(i)=", i, gcs.iprn_sv(i), gcs.iblock_sv(i));
    }
    for (int j = 1; j <= maxsat; ++j)
        for (int k = 1; k <= gcs.ksv_prn(j); ++k) log.list("j,k,iprn2sv(j,k)=", j, k, gcs.iprn2sv(j, k));
}

} // namespace quelmar::auxfiles
