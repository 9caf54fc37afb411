// The observation message OB1: one satellite seen by one receiver at one epoch.
//
// An OB1 line carries 4 or 6 observables (a code such as "L1" or "P2" and a value each) with the
// upstream cycle-slip screening of the arc. Reading it fixes the observation's time values, finds which
// observable carries which signal on which band, registers the receiver, stores its band tables and
// arc number, and gives the receiver its role from the role lists loaded at start-up. There is one
// observation in processing at a time: it lives in ObservationState, which the processing chain owns
// and which persists from one line to the next, because a line rejected early leaves the values of
// the previous observation in place (see read_ob1_v4b).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "frame/limits.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
class Log;
class TextSink;
struct Config;
struct RunState;
} // namespace quelmar::frame

namespace quelmar::auxfiles {
struct AuxTables;
struct RoverStationList;
} // namespace quelmar::auxfiles

namespace quelmar::messages {

struct StationRegistry;

using float128 = __float128;

// Status codes of read_ob1_v4b (ierr).
namespace ob1_status {
constexpr std::int32_t ok = 0;
constexpr std::int32_t reading_error = 1;        // a field (or the count of observables) cannot be read
constexpr std::int32_t off_grid_or_bad_code = 2; // epoch off the downdating grid, or an unreadable code
constexpr std::int32_t bad_band = 3;             // a band digit outside 1..9
constexpr std::int32_t prn_out_of_range = 4;     // PRN outside 1..maxsat: the line is rejected unapplied
} // namespace ob1_status

// Band tables of one observation: for each band 1..9 the position (1..nobs) of its observable in the
// record, 0 when the record has none.
using BandTable = Array1<std::int32_t, maxfre>;

// The current observation: the fields of the record and the values derived from them.
struct Observation {
    // Header.
    std::int32_t iprn = 0;
    std::int32_t iyy = 0, imo = 0, ida = 0, iho = 0, imi = 0;
    double sec = 0.0;
    std::string rec = std::string(4, ' '); // receiver name, four characters
    // Payload.
    std::string ksat = std::string(1, ' '); // satellite system letter
    std::int32_t iepochflag = 0;
    double recclock = 0.0;
    std::int32_t nobs = 0;                   // 4 or 6
    Array1<std::string, max_type_obs> kobs_; // observable codes, two characters each
    Array1<double, max_type_obs> xdata_;     // observable values
    Array1<std::int32_t, max_type_obs> ias_; // first one-digit indicator of each value
    Array1<std::int32_t, max_type_obs> isn_; // second one-digit indicator of each value
    std::int32_t narch1 = 0;                 // arc number of the upstream screening
    bool cycleslip_ = false;                 // slip flagged upstream
    double dtsec_ob1 = 0.0;                  // time since the previous observation of the arc, s
    bool cycleslip_dt = false;               // slip by data gap
    double d2li = 0.0;                       // second difference of the geometry-free combination
    bool cycleslip_d2li = false;
    double xli_lir = 0.0; // geometry-free combination relative to its arc reference
    double dbw = 0.0;     // wide-lane jump
    bool cycleslip_dbw = false;
    double dbew = 0.0; // extra-wide-lane jump (6 observables only)
    bool cycleslip_dbew = false;
    double dlew_w = 0.0; // extra-wide minus wide lane (6 observables only)
    bool cycleslip_dlew_w = false;

    // Time values derived from the header.
    std::int32_t iyearobs = 0, idoyobs = 0;
    std::int32_t idjobs = 0;      // MJD of 0h of the date
    double tsecdayobs = 0.0;      // seconds of day
    float128 tdjmobs = -9999.0;   // epoch, MJD (GPS time), formed in double and widened; -9999 before any
    std::int32_t itsecdayobs = 0; // nearest integer of tsecdayobs (see nint_seconds)
    std::int32_t iyyobs = 0, imoobs = 0, idaobs = 0, ihoobs = 0, imiobs = 0;
    double secobs = 0.0;

    // Receiver slot and the observables of this record by band.
    std::int32_t irec = 0; // 0 until a first observation has been registered
    BandTable icp, icc, ica;
    std::int32_t ifreqmax = -99; // highest band named by a code, -99 when none

    // Role of the receiver.
    bool estimate_xyz = false;
    bool rover_sp3 = false;
    bool rover_sp3_leo = false;
    std::int32_t irec_rover_sp3_leo = 0; // position in the low-orbit rover list
    std::int32_t irover_sp3_leo_id = 0;  // object number of the rover in its trajectory file
    bool rover_like = false;
    bool rover_rt = false;
    bool rec_fixing_amb = false;
    bool isrefrec = false;

    std::int32_t ierr = 0; // ob1_status

    Observation() {
        kobs_.fill("  ");
        xdata_.fill(0.0);
        ias_.fill(0);
        isn_.fill(0);
        icp.fill(0);
        icc.fill(0);
        ica.fill(0);
    }

    // True when (irec, iprn) addresses the per-receiver and per-satellite tables. After an early
    // rejection it may not: irec is still 0 before the first registered observation, and iprn holds
    // whatever the rejected line carried.
    bool pair_in_range() const { return irec >= 1 && irec <= maxrec && iprn >= 1 && iprn <= maxsat; }
};

// The observation in processing and what the observation messages keep per receiver. Owned by the
// processing chain; persists across lines.
struct ObservationState {
    Observation ob;

    // Per receiver (band, irec): position of the P code, C code and carrier phase of each band in the
    // receiver's last record, 0 when absent; and the receiver's count of observables.
    Array2<std::int32_t, maxfre, maxrec> icode_p_, icode_c_, icarrier_l_;
    Array1<std::int32_t, maxrec> ntdata_;

    // The driver's own read of the header of the current OB1 line (before the reader runs), for the
    // epoch control and the output records.
    std::int32_t iprn9 = 0, iyy9 = 0, imo9 = 0, ida9 = 0, iho9 = 0, imi9 = 0;
    double sec9 = 0.0;
    double tsecdayobs9 = 0.0;
    std::int32_t itsecdayobs9 = 0;
    // itsecdayobs9 of the OB1 line before the current one (0 before the second OB1 line): the epoch
    // control takes its arc snapshot on the second of day of the preceding message.
    std::int32_t itsecdayobs9_preceding = 0;

    ObservationState() {
        icode_p_.fill(0);
        icode_c_.fill(0);
        icarrier_l_.fill(0);
        ntdata_.fill(0);
    }
};

// The role lists the reader consults, each holding just the names in use (four characters each).
struct RoleLists {
    std::span<const std::string> reclst_to_estimate_xyz;
    std::span<const std::string> reclst_rover_sp3_sta;     // receivers with their own trajectory file
    std::span<const std::string> reclst_rover_sp3_leo_sta; // low-orbit rovers among them
    std::span<const std::string> reclst_rover_like;
    std::span<const std::string> reclst_rover_rt;
    std::span<const std::string> reclst_fixing_amb;
    std::string_view refrec = "    "; // the reference receiver, four blanks when there is none
};

// The role lists of the run's auxiliary tables (views: the tables must outlive the result).
RoleLists role_lists_of(const auxfiles::AuxTables& aux, const auxfiles::RoverStationList& rover_sp3);

// The read format of an OB1 record with nobs (4 or 6) observables, built at run time as the layout of
// the record is defined: the repeat counts of the code and value groups are written into it.
std::string ob1_format(std::int32_t nobs);

// Nearest integer of a seconds value, halves away from zero. A value that has none in 32 bits (not a
// number, infinite, or beyond +-2^31) gives INT32_MIN, with `representable` false.
std::int32_t nint_seconds(double t, bool& representable);

// Identifies the observables kobs_(1..nobs) (at most max_type_obs): each is read as a letter and a band
// digit ("(a1,i1)"). Clears icp, icc, ica and sets ifreqmax = -99, then for each code in turn raises
// ifreqmax to its band and records its position under its band: "L" in ica, "P" in icp, "C" in icc
// (upper case only; other letters only raise ifreqmax; a later code of the same letter and band
// replaces an earlier one). An unreadable code logs "ERROR: reading str to identify the target
// observables" and sets ierr = 2; a band outside 1..9 logs "ERROR: frequency number .lt.1.or.gt.9"
// and sets ierr = 3; either ends the identification. ierr is not touched otherwise.
void recognizing_kobs(const Array1<std::string, max_type_obs>& kobs_, std::int32_t nobs, BandTable& icp,
                      BandTable& icc, BandTable& ica, std::int32_t& ifreqmax, std::int32_t& ierr,
                      frame::Log& log);

// Reads one OB1 line (only its first reader_columns characters are looked at) into obs.ob and returns
// obs.ob.ierr:
//   1. nobs from columns 54-59; unreadable: "ERROR: reading OBS input record", ierr 1.
//   2. nobs other than 4 or 6 stops the run ("ERROR: nobs.ne.4 .and. nobs.ne.6 [UNSUPPORTED]").
//   3. The record with the format of its nobs; unreadable: the same error line, ierr 1. The fields
//      before the bad one keep their new values, the others their previous ones.
//   4. Date and time values (an impossible date stops the run as every message header does).
//      A PRN outside 1..maxsat: "ERROR: rejected OBS, PRN outside 1..35: iprn=", ierr 4.
//   5. An epoch off the idtsec_pre grid of the day (or without a representable second of day): the
//      warning line (unless log.silent), ierr 2. idtsec_pre below 1 stops the run.
//   On 1, 4 and 5 the reader returns here: nothing is registered, and irec, the band tables, narch,
//   the role flags and the identified observables keep the values of the previous observation.
//   6. recognizing_kobs (its errors 2 and 3 do not stop the steps below).
//   7. Registration of rec (indexing_rec, may stop on a seventh receiver); st.narch(irec, iprn) = narch1.
//   8. The receiver's band tables (bands above ifreqmax cleared) and ntdata_(irec) = nobs.
//   9. The role flags from the lists; st.irefrec = irec for the reference receiver. A receiver in two
//      or more roles, and a trajectory-file receiver whose name gives no object number, stop the run.
//  10. The line of the reference receiver or of a rover-like receiver is copied to `out` without its
//      trailing blanks.
std::int32_t read_ob1_v4b(std::string_view line, ObservationState& obs, StationRegistry& reg,
                          frame::RunState& st, const RoleLists& roles, std::int32_t idtsec_pre,
                          frame::Log& log, frame::TextSink& out);

// The driver's handling of an OB1 line, up to the hand-over to the epoch control:
//   - the header pre-read "(4x,i2,1X,I2,4(1X,I2),F11.7)" into iprn9 .. sec9, with tsecdayobs9 and
//     itsecdayobs9 (itsecdayobs9_preceding keeps the previous line's value). A header that cannot be
//     read stops the run: "ERROR: input conversion error in the OB1 header" (the log also gets the
//     header columns);
//   - read_ob1_v4b with cfg.idtsec_pre;
//   - with cfg.trace, the "TRACE: READ_OB1 ..." lines on `out`.
// Returns the reader's status; the observation is obs.ob. The caller passes it on to the epoch control
// and the processing chain, which reject it when the status is not 0.
std::int32_t handle_ob1(std::string_view line1, ObservationState& obs, StationRegistry& reg,
                        frame::RunState& st, const RoleLists& roles, const frame::Config& cfg,
                        frame::Log& log, frame::TextSink& out);

} // namespace quelmar::messages
