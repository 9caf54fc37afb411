// Precise orbit files: the S3C record reader, the tables it fills, the list of stations whose positions
// come from the rover trajectory file, and the start-up step that loads them.
//
// An S3C file holds one text record per object (satellite PRN, or rover identifier) and epoch, read
// list-directed:
//
//   label iprn iyy imo ida iho imi sec x y z dt orbflag iflag2 x_error y_error z_error dt_error
//
// with the position and its formal errors in kilometres, the clock offset and its formal error in
// microseconds (a clock strictly between 999999 and 1000000 marks a missing clock) and a two-digit year.
// The reader places each record in a slot numbered by whole seconds since the first epoch of the file
// (slot 1 is the first epoch), so that the interpolator addresses any epoch by index arithmetic. The
// table keeps only the slots that hold a record: per object a vector sorted by slot. A slot that holds
// no record reads as empty: components 0, epoch -9999.9, not valid.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "frame/config.hpp"
#include "frame/limits.hpp"
#include "frame/log.hpp"
#include "util/array.hpp"

namespace quelmar::auxfiles {

using float128 = __float128;

// One-second slots of a table: 11 days.
constexpr int maxepochs3c = 950400;
// Components of a slot: 1-3 X, Y, Z (m), 4 clock (s), 5 epoch (MJD, GPS time), 6-8 formal errors of
// X, Y, Z (m), 9 formal error of the clock (s).
constexpr int ncomp_s3c = 9;
constexpr int comp_epoch = 5;
// Epoch component of an empty slot.
inline constexpr float128 empty_slot_epoch = -9999.9Q;
// Records of the file whose object lies outside the table and are reported one by one; further ones
// are only counted.
constexpr int max_reported_skips = 10;

// A slot that holds a record.
struct S3cSlot {
    std::int32_t slot = 0; // 1..maxepochs3c
    bool valid = false;    // usable record (false: its clock is marked missing and clocks are required)
    std::array<float128, ncomp_s3c> c{}; // components 1..9 at c[0..8]

    float128 component(int i) const { return c[static_cast<std::size_t>(i - 1)]; }
};

// A precise-orbit table: objects 1..maxsat, slots 1..maxepochs3c, nine binary128 components per slot.
// It behaves as the dense table of that shape (every slot readable, empty slots 0 / -9999.9 / invalid)
// while storing only the slots that hold a record.
class PreciseOrbitTable {
  public:
    // Number of distinct epochs read, first and last epoch of the file (MJD). For the rover table these
    // are nepochrs3, tdjmrs3_0 and tdjmrs3_1.
    std::int32_t nepochs3c = 0;
    float128 tdjms3c_0 = 0;
    float128 tdjms3c_1 = 0;

    // Empties every slot of every object and sets nepochs3c to 0 (first and last epoch are kept until
    // a read sets them). Storage already allocated is kept for the next load.
    void clear();

    // Stores a record in slot `slot` of object `iobj`; a record already there is replaced (the later
    // record of a slot wins). Returns false, storing nothing, when the object or slot lies outside
    // the table.
    bool store(int iobj, int slot, const std::array<float128, ncomp_s3c>& c, bool valid);

    // The dense view. Out-of-range objects or slots read as empty slots.
    bool valid(int iobj, int slot) const;
    float128 value(int iobj, int slot, int comp) const;

    // The stored slot, or nullptr when the slot is empty (or out of range). The pointer stays valid until
    // the next store or clear; its neighbours in records(iobj) are the neighbouring stored slots.
    const S3cSlot* find(int iobj, int slot) const;
    // All stored slots of an object, in increasing slot order (empty for an out-of-range object).
    std::span<const S3cSlot> records(int iobj) const;
    // Number of stored slots, over all objects.
    std::size_t size() const;

    static constexpr bool in_range(int iobj, int slot) {
        return iobj >= 1 && iobj <= maxsat && slot >= 1 && slot <= maxepochs3c;
    }

    // What the last read of the satellite file met: the file's identity (device, inode, size, change
    // times), whether clocks were required, its status and the log lines it wrote. A refresh of a file
    // that has not changed since gives the same table, so it writes these lines again instead of
    // reading the file (a file that ends before the run does would otherwise be read again for every
    // observation of the refresh margin).
    struct LastRead {
        bool valid = false;
        std::array<long long, 6> id{};
        bool clocks_required = false;
        int status = 0;
        std::string log;
        long reads = 0; // times the file was read in this run
    };
    LastRead last_read;

  private:
    std::array<std::vector<S3cSlot>, maxsat> obj_;
};

// Stations whose positions come from the rover trajectory file.
struct RoverStationList {
    Array1<std::string, maxrec> reclst_rover_sp3_sta; // four-character names, blank when unset
    std::int32_t nrec_rover_sp3_sta = 0;
    RoverStationList() { reclst_rover_sp3_sta.fill("    "); }
};

// Reads an S3C file into `table` after clearing it. Returns ierrs3c: 0 ok, 1 the file cannot be opened,
// 2 read error (or a record that does not fit the table's time base, see below), 3 no record.
//
//   s3cfile       the file name (132 characters, blank padded; trailing blanks are not part of it)
//   iexpected_dtsec_sp3cfiles  nominal record interval (s); the span of the file must be a multiple of it
//   dtsec2tol     squared tolerance (s^2): records whose epochs differ by no more belong to one epoch
//   interpolated_precise_satclocks_instead_of_broadcast, required_sp3_clocks: when both are true, a
//                 record whose clock is marked missing is stored but not valid
//
// A missing file reads as an empty one (status 3). Records of an object outside 1..maxsat are skipped
// with a warning. An epoch earlier than the previous one (epochs not increasing, or records not grouped
// by epoch) or a record more than maxepochs3c - 1 seconds after the first epoch gives status 2 with an
// error line saying which. A span that is not a multiple of the nominal interval (or a nominal interval
// that is not positive) stops the run (frame::Stop). An impossible date stops the run as the date
// conversion of the messages does.
int read_s3e(const std::string& s3cfile, std::int32_t iexpected_dtsec_sp3cfiles, PreciseOrbitTable& table,
             double dtsec2tol, bool interpolated_precise_satclocks_instead_of_broadcast,
             bool required_sp3_clocks, frame::Log& log);

// Reads the rover station list: one four-character name per record. Returns 0 ok, 1 the file cannot be
// opened, 2 read error, 3 more than maxrec names (the first maxrec are kept, each further name is
// reported in a warning line).
int read_rover_sp3_sta(const std::string& sta2roversp3file, RoverStationList& list, frame::Log& log);

// Start-up: the satellite table (when precise orbits are configured; any failure stops the run), the
// rover table when rover_sp3file exists (failures are logged and the file neglected) and then the rover
// station list. `required_sp3_clocks` is set as the steps go (true for the satellite file, false for the
// rover file); `tdjmobs` is only written to the log.
void load_precise_orbits(const frame::Config& cfg, PreciseOrbitTable& sat, PreciseOrbitTable& rover,
                         RoverStationList& stations, bool& required_sp3_clocks, float128 tdjmobs,
                         frame::Log& log);

// The refresh of the satellite table during the run, once the caller has decided that the observation
// epoch nears the end of the table: read_s3e on the same s3cfile with the satellite settings, the
// "AFTER calling read_s3e" line, then on failure the error line and a stop of the run, on success the
// line "WARNING: updated ORBITS and CLOCKS".
void refresh_precise_orbits(const frame::Config& cfg, PreciseOrbitTable& sat, bool required_sp3_clocks,
                            float128 tdjmobs, frame::Log& log);

} // namespace quelmar::auxfiles
