// Station metadata messages: the per-receiver tables they fill, their readers, and the handlers that the
// message loop calls for each code.
//
// Receivers are not declared in advance: the first message that names one gives it a slot in the
// station registry. The receiver messages then fill that slot:
//
//   XYZ  approximate position                 "(6x,5(1x,i2),f5.1,1x,a,1x,3F14.4)"
//   ANT  antenna serial number and type       "(6x,5(1x,i2),f5.1,1x,a,1x,2a20)"
//   AND  antenna eccentricity h, e, n         "(6x,5(1x,i2),f5.1,1x,a,1x,3f14.4)"
//   OT2  ocean loading amplitudes and phases  "(6x,5(1x,i2),f5.1,1x,a,66(1x,e12.4))"
//   WLF  wavelength factors                   "(6x,5(1x,i2),f5.1,1x,a,1x,9I6)"
//
// and three run-wide messages carry a count instead of a receiver name in columns 28-33:
//
//   LEA  GPS-UTC leap seconds                 "(6x,5(1x,i2),f5.1,1x,i6)"
//   EXG  receivers kept out of the geodetic filter    header as LEA, then "(32x,00006(1x,a))"
//   EXI  receivers kept out of the ionospheric filter header as LEA, then "(32x,00006(1x,a))"
//
// KLO and DUT are recognised and ignored with a warning.
//
// Every reader looks at the first 1000 characters of the line only. A record that does not convert
// (a letter in a numeric field) is a reading error: the reader logs its own error line and returns 1
// without touching any table, the registry or standard output. A well-read record is copied, without
// its trailing blanks, to standard output (so that the output stream carries the metadata on to the
// next stage), its receiver is registered, its values stored and its time tag converted. A header date
// the calendar rejects stops the run ("ERROR: in cldj"), as does a seventh distinct receiver name.
#pragma once

#include <array>
#include <cassert>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "frame/limits.hpp"
#include "messages/header.hpp"
#include "messages/registry.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
class Log;
class TextSink;
struct RunState;
} // namespace quelmar::frame

namespace quelmar::auxfiles {
class PcvTable;
}

namespace quelmar::messages {

constexpr int ncomp_otl = 3;  // ocean loading components: 1 up, 2 west, 3 south
constexpr int nwave_otl = 11; // constituents M2, S2, N2, K2, K1, O1, P1, Q1, Mf, Mm, Ssa

// Ocean loading coefficients of every receiver, t(irec, k, j) with component k and constituent j,
// stored in column order (receiver fastest) like the other per-receiver tables.
class OtlTable {
  public:
    double& operator()(int irec, int k, int j) { return a_[index(irec, k, j)]; }
    const double& operator()(int irec, int k, int j) const { return a_[index(irec, k, j)]; }
    void fill(double v) { a_.fill(v); }

  private:
    static std::size_t index(int irec, int k, int j) {
        assert(irec >= 1 && irec <= maxrec && k >= 1 && k <= ncomp_otl && j >= 1 && j <= nwave_otl);
        return static_cast<std::size_t>((irec - 1) + maxrec * ((k - 1) + ncomp_otl * (j - 1)));
    }
    std::array<double, static_cast<std::size_t>(maxrec* ncomp_otl* nwave_otl)> a_{};
};

// A list of receivers excluded from one of the filters: the names as the message gave them and their
// registry slots. Only the first `nrec_ex` entries belong to the last list read; a shorter list
// overwrites the first entries and leaves the others as they were.
using NameList = Array1<std::string, maxrec>;
using SlotList = Array1<std::int32_t, maxrec>;

// What the station messages set, per receiver slot and run-wide.
struct StationTables {
    StationTables() {
        recxyz0_.fill(0.0);
        iant_.fill(0);
        ant_delta_hen.fill(0.0);
        tamp_otl.fill(0.0);
        tph_otl.fill(0.0);
        iwlf.fill(0);
        reclst_exg.fill("    ");
        reclst_exi.fill("    ");
        ireclst_exg.fill(0);
        ireclst_exi.fill(0);
    }

    Array2<double, 3, maxrec> recxyz0_;        // XYZ: X, Y, Z (m) per receiver
    Array1<std::int32_t, maxrec> iant_;        // ANT: index into the PCV table, -999 no match
    Array2<double, maxrec, 3> ant_delta_hen;   // AND: height, east, north (m)
    OtlTable tamp_otl, tph_otl;                // OT2: amplitudes (m) and phase lags (deg)
    Array2<std::int32_t, maxfre, maxrec> iwlf; // WLF: wavelength factor per carrier slot
    float128 tdjmxyz = 0, tdjmant = 0, tdjmand = 0, tdjmotl = 0, tdjmwlf = 0; // last time tags

    // LEA: GPS-UTC in whole seconds. Its read flag is RunState::is_lea_read; the time scales read both
    // (and fill them from their own table while no LEA has been applied).
    std::int32_t leapsec = 0;
    float128 tdjmlea = 0;

    // EXG / EXI: receivers kept out of the geodetic / ionospheric filter.
    std::int32_t nrec_exg = 0, nrec_exi = 0;
    NameList reclst_exg, reclst_exi;
    SlotList ireclst_exg, ireclst_exi;
    float128 tdjmexg = 0, tdjmexi = 0;
};

// ---- Readers -------------------------------------------------------------------------------------
// Each returns 0 on success and 1 on a reading error (logged as "ERROR: reading <code> input record";
// OT2 logs "ERROR: reading OTL input record"). On success `irec` is the slot of the message's receiver;
// on an error it is left as it was. `out` receives the copy of a well-read line.

int read_xyz(std::string_view line1, Array2<double, 3, maxrec>& recxyz0_, std::int32_t& irec,
             StationRegistry& reg, float128& tdjmxyz, frame::Log& log, frame::TextSink& out);

// Matches the antenna type of the message against the PCV table (see station.cpp for the two passes).
// Returns 2 when no type matches: the record was read (copied to standard output, receiver registered,
// time tag converted), iant_(irec) = -999, and the log holds "ERROR, no matching antenna type for
// receiver:" with the receiver, antenna type and antenna number lines.
int read_ant(std::string_view line1, const auxfiles::PcvTable& pcv, std::int32_t& irec, StationRegistry& reg,
             Array1<std::int32_t, maxrec>& iant_, float128& tdjmant, frame::Log& log, frame::TextSink& out);

int read_and(std::string_view line1, std::int32_t& irec, StationRegistry& reg,
             Array2<double, maxrec, 3>& ant_delta_hen, float128& tdjmand, frame::Log& log,
             frame::TextSink& out);

int read_ot2(std::string_view line1, std::int32_t& irec, StationRegistry& reg, OtlTable& tamp_otl,
             OtlTable& tph_otl, float128& tdjmotl, frame::Log& log, frame::TextSink& out);

// Factors missing at the end of the line read as 0.
int read_wlf(std::string_view line1, std::int32_t& irec, StationRegistry& reg,
             Array2<std::int32_t, maxfre, maxrec>& iwlf, float128& tdjmwlf, frame::Log& log,
             frame::TextSink& out);

int read_lea(std::string_view line1, std::int32_t& leapsec, float128& tdjmlea, frame::Log& log,
             frame::TextSink& out);

// The count and then that many names are read; a count outside 0..maxrec is a reading error. A failed
// record leaves the list, its count and its time tag as they were. On success the first `nrec_ex`
// entries are replaced, the line copied, the time tag converted and every listed name registered
// (an unknown name takes a registry slot; a seventh distinct name stops the run).
int read_exg(std::string_view line1, SlotList& ireclst_exg, std::int32_t& nrec_exg, StationRegistry& reg,
             float128& tdjmexg, NameList& reclst_exg, frame::Log& log, frame::TextSink& out);
int read_exi(std::string_view line1, SlotList& ireclst_exi, std::int32_t& nrec_exi, StationRegistry& reg,
             float128& tdjmexi, NameList& reclst_exi, frame::Log& log, frame::TextSink& out);

// ---- Handlers: the reader and what the loop does with its outcome ----------------------------------
// `irec` is the run's current receiver slot (shared with the observation message). Each handler
// returns the reader's status. Echo lines are written only when !log.silent; error and warning lines
// always.

// Sets is_xyz_read(irec) and tdjmxyz_reclst(irec). A reading error stops the run (frame::Stop
// "ERROR, rejected XYZ: reading error") after six log lines describing the state.
int handle_xyz(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::RunState& st,
               std::int32_t& irec, frame::Log& log, frame::TextSink& out);

// Sets is_ant_read(irec); status 2 (no matching type) clears it, status 1 leaves every flag alone.
int handle_ant(std::string_view line1, const auxfiles::PcvTable& pcv, StationTables& sta,
               StationRegistry& reg, frame::RunState& st, std::int32_t& irec, frame::Log& log,
               frame::TextSink& out);

// Set is_and_read / is_otl_read / is_wlf_read of the receiver; a reading error leaves every flag alone.
int handle_and(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::RunState& st,
               std::int32_t& irec, frame::Log& log, frame::TextSink& out);
int handle_ot2(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::RunState& st,
               std::int32_t& irec, frame::Log& log, frame::TextSink& out);
int handle_wlf(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::RunState& st,
               std::int32_t& irec, frame::Log& log, frame::TextSink& out);

// Sets sta.leapsec, sta.tdjmlea and st.is_lea_read; a reading error clears is_lea_read.
int handle_lea(std::string_view line1, StationTables& sta, frame::RunState& st, frame::Log& log,
               frame::TextSink& out);

// The lists and their echo (written whatever the status, unless silent).
int handle_exg(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::Log& log,
               frame::TextSink& out);
int handle_exi(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::Log& log,
               frame::TextSink& out);

// Recognised and ignored: a warning, also when the log is silent; nothing goes to standard output.
void handle_klo(frame::Log& log);
void handle_dut(frame::Log& log);

} // namespace quelmar::messages
