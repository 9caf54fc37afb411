#include "auxfiles/precise_orbits.hpp"

#include <quadmath.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "frame/files.hpp"
#include "frame/stop.hpp"
#include "messages/header.hpp"
#include "textio/format.hpp"
#include "textio/listread.hpp"

namespace quelmar::auxfiles {

namespace {

constexpr const char* interval_inconsistency = " ERROR: sp3 time interval inconsistency";

std::vector<S3cSlot>::const_iterator lower_slot(const std::vector<S3cSlot>& v, int slot) {
    return std::lower_bound(v.begin(), v.end(), slot, [](const S3cSlot& s, int k) { return s.slot < k; });
}

// What opening a named file for reading gives: a readable regular file, no file at all, or something
// that exists and cannot be read (a directory, no permission). A blank name cannot be opened.
enum class FileState { readable, missing, unreadable };

FileState file_state(const std::string& name) {
    if (name.empty()) return FileState::unreadable;
    std::error_code ec;
    if (std::filesystem::status(name, ec).type() == std::filesystem::file_type::not_found)
        return FileState::missing;
    return frame::is_readable_regular_file(name) ? FileState::readable : FileState::unreadable;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// PreciseOrbitTable

void PreciseOrbitTable::clear() {
    for (auto& v : obj_) v.clear();
    nepochs3c = 0;
}

bool PreciseOrbitTable::store(int iobj, int slot, const std::array<float128, ncomp_s3c>& c, bool valid) {
    if (!in_range(iobj, slot)) return false;
    auto& v = obj_[static_cast<std::size_t>(iobj - 1)];
    // Records come in increasing epoch order, so the new slot is nearly always past the last one.
    if (v.empty() || v.back().slot < slot) {
        v.push_back(S3cSlot{slot, valid, c});
        return true;
    }
    auto it = std::lower_bound(v.begin(), v.end(), slot, [](const S3cSlot& s, int k) { return s.slot < k; });
    if (it != v.end() && it->slot == slot) {
        it->valid = valid;
        it->c = c;
    } else {
        v.insert(it, S3cSlot{slot, valid, c});
    }
    return true;
}

const S3cSlot* PreciseOrbitTable::find(int iobj, int slot) const {
    if (!in_range(iobj, slot)) return nullptr;
    const auto& v = obj_[static_cast<std::size_t>(iobj - 1)];
    const auto it = lower_slot(v, slot);
    return it != v.end() && it->slot == slot ? &*it : nullptr;
}

bool PreciseOrbitTable::valid(int iobj, int slot) const {
    const S3cSlot* s = find(iobj, slot);
    return s != nullptr && s->valid;
}

float128 PreciseOrbitTable::value(int iobj, int slot, int comp) const {
    if (comp < 1 || comp > ncomp_s3c) return 0;
    const S3cSlot* s = find(iobj, slot);
    if (s == nullptr) return comp == comp_epoch ? empty_slot_epoch : float128(0);
    return s->component(comp);
}

std::span<const S3cSlot> PreciseOrbitTable::records(int iobj) const {
    if (iobj < 1 || iobj > maxsat) return {};
    return obj_[static_cast<std::size_t>(iobj - 1)];
}

std::size_t PreciseOrbitTable::size() const {
    std::size_t n = 0;
    for (const auto& v : obj_) n += v.size();
    return n;
}

// ---------------------------------------------------------------------------------------------------
// read_s3e

int read_s3e(const std::string& s3cfile, std::int32_t iexpected_dtsec_sp3cfiles, PreciseOrbitTable& table,
             double dtsec2tol, bool interpolated_precise_satclocks_instead_of_broadcast,
             bool required_sp3_clocks, frame::Log& log) {
    table.clear();
    const std::string name = frame::trimmed(s3cfile);

    log.list("BEFORE opening s3cfile");
    // The file is opened without an existence test: a file that is not there reads as an empty one.
    const FileState state = file_state(name);
    if (state == FileState::unreadable) {
        log.list("ERROR: opening sp3file file: ", name);
        return 1;
    }
    std::ifstream in;
    if (state == FileState::readable) in.open(name, std::ios::binary);
    log.list("BEFORE reading s3cfile...");

    const std::string objects = "1.." + std::to_string(maxsat);
    const std::string slots = std::to_string(maxepochs3c - 1);
    const bool clocks_required = interpolated_precise_satclocks_instead_of_broadcast && required_sp3_clocks;
    const float128 tol = dtsec2tol;

    float128 previous = -99999.9Q; // epoch of the previous record
    long skipped = 0;              // records of objects outside the table

    std::unique_ptr<textio::ListReader> reader;
    if (in.is_open()) reader = std::make_unique<textio::ListReader>(in);

    while (reader) {
        std::string label(3, ' ');
        std::int32_t iprn = 0, iyy = 0, imo = 0, ida = 0, iho = 0, imi = 0, orbflag = 0, iflag2 = 0;
        double sec = 0;
        float128 x = 0, y = 0, z = 0, dt = 0, x_error = 0, y_error = 0, z_error = 0, dt_error = 0;
        const textio::ReadStatus st = reader->read_numbers(label, iprn, iyy, imo, ida, iho, imi, sec, x, y, z, dt,
                                                   orbflag, iflag2, x_error, y_error, z_error, dt_error);
        if (st.iostat == textio::IoStat::end_of_file) {
            // A last record cut short (a file still being written) is not part of the file yet.
            if (st.items_done > 0)
                log.list("WARNING: incomplete last S3C record ignored, record", reader->record_number());
            break;
        }
        if (!st.ok()) {
            log.list("ERROR: reading input sp3file");
            return 2;
        }

        // An object the table has no room for: the record is left out, the rest of the file is usable.
        if (iprn < 1 || iprn > maxsat) {
            if (++skipped <= max_reported_skips)
                log.list("WARNING: S3C record skipped, object outside " + objects +
                             ": iprn,iyy,imo,ida,iho,imi,sec=",
                         iprn, iyy, imo, ida, iho, imi, sec);
            continue;
        }

        int iyear = 0, idoy = 0, idjm = 0;
        messages::yymmdd2yeardoydjm(iyy, imo, ida, iyear, idoy, idjm, log);
        const float128 epoch = messages::header_tdjm(idjm, iho, imi, sec);

        const float128 dsec = (epoch - previous) * 86400;
        const bool new_epoch = dsec * dsec > tol;
        // Going back in time beyond the tolerance means the records are not in increasing epoch order
        // (or not grouped by epoch): the first and last epochs and the epoch count would be wrong.
        if (table.nepochs3c > 0 && dsec < 0 && new_epoch) {
            log.list("ERROR: S3C epochs not increasing (records not grouped by epoch): "
                     "iprn,iyy,imo,ida,iho,imi,sec=",
                     iprn, iyy, imo, ida, iho, imi, sec);
            log.list("ERROR: reading input sp3file");
            return 2;
        }
        if (new_epoch) {
            ++table.nepochs3c;
            if (table.nepochs3c == 1) table.tdjms3c_0 = epoch;
        }

        const float128 k = roundq((epoch - table.tdjms3c_0) * 86400);
        if (!(k >= 0 && k <= float128(maxepochs3c - 1))) {
            if (k < 0)
                log.list("ERROR: S3C epochs not increasing (record before the first epoch): "
                         "iprn,iyy,imo,ida,iho,imi,sec=",
                         iprn, iyy, imo, ida, iho, imi, sec);
            else
                log.list("ERROR: S3C record more than " + slots +
                             " s after the first epoch, beyond the table: iprn,iyy,imo,ida,iho,imi,sec=",
                         iprn, iyy, imo, ida, iho, imi, sec);
            log.list("ERROR: reading input sp3file");
            return 2;
        }
        const int iepochs3c = static_cast<int>(k) + 1;

        bool valid = true;
        if (dt > 999999 && dt < 1000000 && clocks_required) {
            log.list("WARNING: NO dt_prn in S3C record (marked)");
            log.list(iprn, iyy, imo, ida, iho, imi, sec, x, y, z, dt);
            valid = false;
        }
        const std::array<float128, ncomp_s3c> c = {x * 1000,       y * 1000,       z * 1000,
                                                   dt * 1e-6Q,     epoch,          x_error * 1000,
                                                   y_error * 1000, z_error * 1000, dt_error * 1e-6Q};
        table.store(iprn, iepochs3c, c, valid);
        previous = epoch;
    }
    if (skipped > max_reported_skips)
        log.list("WARNING: S3C records skipped, object outside " + objects + ", in all:", skipped);

    if (table.nepochs3c == 0) {
        log.list("WARNING: void sp3file ", name);
        return 3;
    }
    table.tdjms3c_1 = previous;
    const float128 span = roundq((table.tdjms3c_1 - table.tdjms3c_0) * 86400);
    if (iexpected_dtsec_sp3cfiles <= 0 || fmodq(span, float128(iexpected_dtsec_sp3cfiles)) != 0) {
        log.list(interval_inconsistency);
        throw frame::Stop(interval_inconsistency);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------------
// read_rover_sp3_sta

int read_rover_sp3_sta(const std::string& sta2roversp3file, RoverStationList& list, frame::Log& log) {
    list = RoverStationList();
    const std::string name = frame::trimmed(sta2roversp3file);
    if (file_state(name) != FileState::readable) {
        log.list("WARNING: opening error with read_rover_sp3_sta file ");
        return 1;
    }
    std::ifstream in(name, std::ios::binary);
    textio::ListReader reader(in);
    int status = 0;
    for (;;) {
        std::string extra(4, ' ');
        const bool room = list.nrec_rover_sp3_sta < maxrec;
        std::string& target = room ? list.reclst_rover_sp3_sta(list.nrec_rover_sp3_sta + 1) : extra;
        const textio::ReadStatus st = reader.read(target);
        if (st.iostat == textio::IoStat::end_of_file) break;
        if (!st.ok()) {
            log.list("ERROR: reading input from read_rover_sp3_sta file");
            return 2;
        }
        if (room) {
            ++list.nrec_rover_sp3_sta;
        } else {
            // The list holds maxrec stations; a further name is reported and left out.
            log.list("WARNING: more than " + std::to_string(maxrec) +
                         " stations in read_rover_sp3_sta file, station ignored:",
                     extra);
            status = 3;
        }
    }
    return status;
}

// ---------------------------------------------------------------------------------------------------
// Start-up and refresh

namespace {

const textio::Format& after_read_format() {
    static const textio::Format f("(a,3f13.6)");
    return f;
}

constexpr const char* after_read_label = "AFTER calling read_s3e: tdjms3c_0,tdjms3c_1,tdjmobs= ";

[[noreturn]] void stop_reading_orbits(int ierrs3c, frame::Log& log) {
    log.list("ERROR: reading orbits, ierrs3c=", ierrs3c);
    throw frame::Stop("ERROR: reading orbits, ierrs3c.ne.0");
}

// The identity of a file as the file system keeps it; nullopt when it cannot be examined.
std::optional<std::array<long long, 6>> file_identity(const std::string& name) {
    struct stat st {};
    if (name.empty() || ::stat(name.c_str(), &st) != 0) return std::nullopt;
    return std::array<long long, 6>{static_cast<long long>(st.st_dev),
                                    static_cast<long long>(st.st_ino),
                                    static_cast<long long>(st.st_size),
                                    static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
                                    static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec,
                                    static_cast<long long>(st.st_mode)};
}

int read_satellite_file(const frame::Config& cfg, PreciseOrbitTable& sat, bool required_sp3_clocks,
                        frame::Log& log) {
    const auto id = file_identity(frame::trimmed(cfg.s3cfile));
    PreciseOrbitTable::LastRead& last = sat.last_read;
    if (id && last.valid && last.id == *id && last.clocks_required == required_sp3_clocks) {
        log.raw(last.log);
        return last.status;
    }
    std::string lines;
    log.capture(&lines);
    const int status = read_s3e(cfg.s3cfile, cfg.iexpected_dtsec_sp3cfiles, sat, cfg.dtsec2tol_s3c,
                                cfg.interpolated_precise_satclocks_instead_of_broadcast, required_sp3_clocks, log);
    log.capture(nullptr);
    last = {id.has_value(), id.value_or(std::array<long long, 6>{}), required_sp3_clocks, status, std::move(lines),
            last.reads + 1};
    return status;
}

} // namespace

void load_precise_orbits(const frame::Config& cfg, PreciseOrbitTable& sat, PreciseOrbitTable& rover,
                         RoverStationList& stations, bool& required_sp3_clocks, float128 tdjmobs,
                         frame::Log& log) {
    // 1. Satellite orbits and clocks: the run cannot go on without them.
    if (cfg.precise_instead_of_eph_orbits) {
        required_sp3_clocks = true;
        const int ierrs3c = read_satellite_file(cfg, sat, required_sp3_clocks, log);
        log.list();
        log.formatted(after_read_format(), after_read_label, sat.tdjms3c_0, sat.tdjms3c_1, tdjmobs);
        if (ierrs3c != 0) stop_reading_orbits(ierrs3c, log);
    }

    // 2. The rover trajectory file, when there is one; its clocks are not needed.
    const std::string rover_name = frame::trimmed(cfg.rover_sp3file);
    if (file_state(rover_name) != FileState::readable) return;
    required_sp3_clocks = false;
    const int ierrs3c =
        read_s3e(cfg.rover_sp3file, cfg.iexpected_dtsec_rover_sp3file, rover, cfg.dtsec2tol_rs3,
                 cfg.interpolated_precise_satclocks_instead_of_broadcast, required_sp3_clocks, log);

    // 3. A rover file that cannot be used is neglected: no receiver takes its positions from it.
    if (ierrs3c != 0) {
        log.list("WARNING: reading rover_sp3file, ierrs3c=", ierrs3c);
        log.list("         (neglected  void file ", rover_name, ")");
        return;
    }
    if (!log.silent) {
        log.list("nepochrs3=", rover.nepochs3c);
        log.list("tdjmrs3_0,tdjmrs3_1=", rover.tdjms3c_0, rover.tdjms3c_1);
    }

    // 4. The stations that take their positions from the rover file.
    read_rover_sp3_sta(cfg.sta2roversp3file, stations, log);
    if (!log.silent) {
        log.list();
        log.list(" READ list of stations rover_sp3 #=", stations.nrec_rover_sp3_sta);
        for (int i = 1; i <= stations.nrec_rover_sp3_sta; ++i) log.list(stations.reclst_rover_sp3_sta(i));
    }
}

void refresh_precise_orbits(const frame::Config& cfg, PreciseOrbitTable& sat, bool required_sp3_clocks,
                            float128 tdjmobs, frame::Log& log) {
    const int ierrs3c = read_satellite_file(cfg, sat, required_sp3_clocks, log);
    log.formatted(after_read_format(), after_read_label, sat.tdjms3c_0, sat.tdjms3c_1, tdjmobs);
    if (ierrs3c != 0) stop_reading_orbits(ierrs3c, log);
    log.list("WARNING: updated ORBITS and CLOCKS");
}

} // namespace quelmar::auxfiles
