// Satellite messages: EPH, one GPS broadcast navigation record flattened onto one line, and CDS, an
// ionospheric correction for one satellite as seen from one receiver (rover mode only).
//
// The program keeps the latest broadcast record per PRN (the broadcast orbit and clock and the
// transmit-time step read it) and the latest correction row per PRN (kept and logged only).
//
// EPH layout (columns from 1): code "EPH " in 1-4, PRN i2 in 5-6 (read on its own first), toc year,
// month, day, hour, minute (i2 each after a blank, 8-21), toc seconds f5.1 (22-26), clock bias, drift
// and drift rate (3 x d19.12, 27-83), then seven groups of three blanks and four d19.12 fields (the
// broadcast orbits 1..7 in the order of the navigation message, starting at 87, 166, 245, 324, 403,
// 482, 561). Only the first two fields of orbit 7 (transmission time 561-579, fit interval 580-598) are
// read. Exponents may be written with D or E.
//
// CDS layout: the observation header (PRN 5-6, date and time 8-32 (not converted), receiver 34-37),
// then the correction time tag as an MJD (f13.6, 39-51), the PRN count konprn (i3, 53-55), elevation
// (f8.3, 56-63), pierce-point longitude, latitude and radius (3 x f12.6, 64-99), STEC and its sigma,
// rms (f8.4, 101-108; f9.5, 110-118; f9.5, 120-128), chi2 (e11.3, 130-140), degree (i1, 142), the count
// of value pairs (i3, 143-145) and the pairs (f10.5 value and e10.3 sigma, after one blank each, from
// column 146, 22 columns per pair).
#pragma once

#include <cstdint>
#include <string_view>

#include "frame/limits.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
class Log;
class TextSink;
struct RunState;
} // namespace quelmar::frame

namespace quelmar::messages {

struct StationRegistry;

using float128 = __float128;

// The 29 broadcast values of a record after its toc: 3 clock values and the broadcast orbits 1..7
// (four values each, two of orbit 7).
constexpr int neph_values = 29;

// Per-PRN broadcast records, slot iprn = 1..maxsat. Every slot starts at zero; a slot is meaningful
// only once frame::RunState::is_eph_read(iprn) is set.
struct EphemerisTable {
    // Epoch of the clock (toc) as written in the record: two-digit year, month, day, hour, minute,
    // seconds.
    Array1<std::int32_t, maxsat> iyytoc_, imotoc_, idaytoc_, ihotoc_, imitoc_;
    Array1<double, maxsat> sectoc_;
    // Clock: bias (s), drift (s/s), drift rate (s/s^2).
    Array1<double, maxsat> clockbias_, clockdrift_, clockdriftrate_;
    // Orbit 1: IODE, Crs (m), Delta n (rad/s), M0 (rad).
    Array1<double, maxsat> xiode_, crs_, deltan_, xm0_;
    // Orbit 2: Cuc (rad), e, Cus (rad), sqrt(A) (sqrt(m)).
    Array1<double, maxsat> cuc_, e_, cus_, sqrta_;
    // Orbit 3: Toe (s of GPS week), Cic (rad), OMEGA (rad), Cis (rad).
    Array1<double, maxsat> toe_, cic_, omega_upper_, cis_;
    // Orbit 4: i0 (rad), Crc (m), omega (rad), OMEGA DOT (rad/s).
    Array1<double, maxsat> xi0_, crc_, omega_lower_, omega_upper_dot_;
    // Orbit 5: IDOT (rad/s), codes on L2, GPS week of Toe, L2 P data flag.
    Array1<double, maxsat> xidot_, codes_on_l2_, gpsweektoe_, xl2pdataflag_;
    // Orbit 6: SV accuracy (m), SV health, TGD (s), IODC.
    Array1<double, maxsat> svaccuracy_, svhealth_, tgd_, xiodc_;
    // Orbit 7: transmission time of the message (s of GPS week), fit interval (h; 0 when absent).
    Array1<double, maxsat> trans_time_mess_, xfit_interval_;

    // Derived from the toc: seconds of day (ihotoc*3600 + imitoc*60 + sectoc) and the MJD in GPS time,
    // formed in double precision and widened.
    Array1<double, maxsat> tsecdaytoc_;
    Array1<float128, maxsat> tdjmtoc_;
    // Issue of data: nearest integer of IODE*10000 plus nearest integer of IODC.
    Array1<std::int32_t, maxsat> iodec_;

    // Status of the last EPH line read (0 stored, 1 unreadable, 2 PRN outside 1..maxsat).
    std::int32_t ierrre = 0;
};

// Reads an EPH line (only its first 1000 characters are looked at). The PRN is read first with
// "(4x,I2)", then the whole record. Status ierr:
//   0  the line is copied (without trailing blanks) to `out` and every slot of the PRN is replaced,
//      whatever the epoch or issue of data of the record it held;
//   1  a field cannot be read: "ERROR: reading EPH input record" is logged;
//   2  the PRN is outside 1..maxsat: "ERROR: EPH PRN outside 1..35: iprn=" and the PRN are logged.
// On a non-zero status nothing is copied or stored. A toc date that the calendar rejects stops the run
// (after the copy). `iprn_` receives the PRN as read (unchanged when it cannot be read).
void read_eph(std::string_view line1, std::int32_t& iprn_, EphemerisTable& eph, std::int32_t& ierr,
              frame::Log& log, frame::TextSink& out);

// The driver side of an EPH line: read it (status kept in eph.ierrre); when stored, set
// st.is_eph_read(iprn) and, unless the log is silent, echo the slots of the PRN; otherwise log
// "ERROR, rejected EPH: reading error" (status 1) or "ERROR, rejected EPH: PRN outside 1..35"
// (status 2) and leave is_eph_read as it was.
void handle_eph(std::string_view line1, EphemerisTable& eph, frame::RunState& st, frame::Log& log,
                frame::TextSink& out);

// Entries of a correction row: 13 fixed values and up to maxunk_ds (value, sigma) pairs.
constexpr int ncpfdstec = 2 * maxunk_ds + 13;

// The ionospheric corrections of CDS lines.
struct CorrectionTable {
    CorrectionTable() {
        cpfdstec_adj.fill(-99.0);
        xtmp_ds.fill(0.0);
        sxtmp_ds.fill(0.0);
    }

    // Row iprn: 1 tdjm_cds, 2 konprn_cds, 3 receiver slot, 4 sele0_cds, 5 xlonion_cds, 6 xlation_cds,
    // 7 raion_cds, 8 stec_cds, 9 sigma_stec_cds, 10 rms_cds, 11 chi2_cds, 12 idegree_cds, 13 nunk_cds,
    // then value and sigma of pair i at 12+2i and 13+2i. -99.0 where nothing was stored; a record
    // with fewer pairs than an earlier one of the PRN leaves the later entries as they were.
    Array2<double, maxsat, ncpfdstec> cpfdstec_adj;

    // The values of the last record stored.
    double tdjm_cds = 0.0; // MJD of the correction, as given in the record
    std::int32_t konprn_cds = 0;
    double sele0_cds = 0.0, xlonion_cds = 0.0, xlation_cds = 0.0, raion_cds = 0.0;
    double stec_cds = 0.0, sigma_stec_cds = 0.0, rms_cds = 0.0, chi2_cds = 0.0;
    std::int32_t idegree_cds = 0;
    std::int32_t nunk_cds = 0; // count of value pairs, 0..maxunk_ds
    Array1<double, maxunk_ds> xtmp_ds, sxtmp_ds;
    std::int32_t iprn = 0;       // PRN of the record
    std::int32_t irefrec_ds = 0; // receiver slot of the record

    // Status of the last CDS line read (0 stored, 1 unreadable, 2 PRN or count out of range).
    std::int32_t ierrrcds = 0;
};

// Reads a CDS line (first 1000 characters): the fixed part, then, built at run time from the count,
// the value pairs with "(145x,NNN(1x,f10.5,1x,e10.3))"; registers the receiver (which may stop the run
// on a seventh receiver) and stores the row of the PRN. Status ierrrc:
//   0  stored, in the table's last-record values and in row iprn;
//   1  a field cannot be read: "ERROR: reading CDS input record" is logged;
//   2  the PRN is outside 1..maxsat or the count outside 0..maxunk_ds: a line naming the value is
//      logged ("ERROR: CDS PRN outside 1..35: iprn=", "ERROR: CDS count of value pairs outside
//      0..8: nunk_cds=").
// On a non-zero status nothing in the table changes and no receiver is registered. A CDS line is
// never copied to standard output.
void read_cds(std::string_view line1, StationRegistry& reg, CorrectionTable& cds, std::int32_t& ierrrc,
              frame::Log& log);

// The driver side of a CDS line. Normal mode: "WARNING, rejected CDS record (CPF mode)" only, the line
// is not read. Rover mode: read it (status in cds.ierrrcds); unless the log is silent, echo the time
// tag, receiver slot, PRN, count and row (also before a reading error is acted upon); a reading error
// logs "ERROR: reading CDS message" and stops the run with that message; a record refused for its
// PRN or count logs "ERROR, rejected CDS record" and the run goes on.
void handle_cds(std::string_view line1, bool modus_operandi_rover, StationRegistry& reg, CorrectionTable& cds,
                frame::Log& log);

} // namespace quelmar::messages
