#include "auxfiles/role_lists.hpp"

#include <algorithm>
#include <fstream>
#include <string_view>

#include "frame/files.hpp"
#include "frame/config.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "textio/listread.hpp"

namespace quelmar::auxfiles {

namespace {

using textio::IoStat;

constexpr const char* blank_name = "    ";

// The messages of one role list. `open_with_name`: the open message is followed by the file name.
struct ListMessages {
    const char* open;
    bool open_with_name;
    const char* read;
};

// A station name as the tables hold it: exactly four characters, blank-padded.
std::string four(std::string_view s) {
    std::string n(s.substr(0, 4));
    n.resize(4, ' ');
    return n;
}

// A list cannot hold more names than a run has receivers. The extra names would be roles that the
// run silently ignores, so the run stops and the user shortens the list.
[[noreturn]] void too_many_names(const std::string& file, frame::Log& log) {
    const std::string text = "ERROR: more than " + std::to_string(maxrec) + " station names in file: ";
    log.list(text, frame::trimmed(file));
    throw frame::Stop(text + frame::trimmed(file));
}

void read_station_list(StationNames& reclst, int& nrec, const std::string& file, int& ierr, frame::Log& log,
                       const ListMessages& m) {
    ierr = 0;
    nrec = 0;
    reclst.fill(blank_name);
    std::ifstream in;
    if (!frame::open_existing_file(file, in)) {
        ierr = 1;
        if (m.open_with_name)
            log.list(m.open, frame::trimmed(file));
        else
            log.list(m.open);
        return;
    }
    textio::ListReader r(in);
    for (;;) {
        std::string name(4, ' ');
        const textio::ReadStatus st = r.read(name);
        if (st.iostat == IoStat::end_of_file) return;
        if (!st.ok()) {
            ierr = 2;
            log.list(m.read);
            return;
        }
        if (nrec == maxrec) too_many_names(file, log);
        reclst(++nrec) = name;
    }
}

// The informative block of one role list: an empty line, the title with the count, one name a line.
void log_station_list(frame::Log& log, const char* title, const StationNames& reclst, int nrec) {
    if (log.silent) return;
    log.list();
    log.list(title, nrec);
    for (int i = 1; i <= nrec; ++i) log.list(reclst(i));
}

} // namespace

void read_to_estimate_xyz(StationNames& reclst_to_estimate_xyz, int& nrec_to_estimate_xyz,
                          const std::string& sta2estposfile, int& ierr, frame::Log& log) {
    read_station_list(reclst_to_estimate_xyz, nrec_to_estimate_xyz, sta2estposfile, ierr, log,
                      {"ERROR: opening to_estimate_position.sta file ", false,
                       "ERROR: reading input to_estimate_position.sta file"});
}

void read_rover_like(StationNames& reclst_rover_like, int& nrec_rover_like,
                     const std::string& sta2roverlikefile, int& ierr, frame::Log& log) {
    read_station_list(reclst_rover_like, nrec_rover_like, sta2roverlikefile, ierr, log,
                      {"ERROR: opening rover_like.sta file: ", false, "ERROR: reading rover_like.sta file"});
}

void read_rover_rt(StationNames& reclst_rover_rt, int& nrec_rover_rt, const std::string& sta2roverrtfile,
                   int& ierr, frame::Log& log) {
    read_station_list(reclst_rover_rt, nrec_rover_rt, sta2roverrtfile, ierr, log,
                      {"ERROR: opening rover_like.rt file: ", false, "ERROR: reading rover_like.rt file"});
}

void read_fixing_ambiguities(StationNames& reclst_fixing_amb, int& nrec_fixing_amb,
                             const std::string& sta2fixingambfile, int& ierr, frame::Log& log) {
    read_station_list(reclst_fixing_amb, nrec_fixing_amb, sta2fixingambfile, ierr, log,
                      {"ERROR: opening file: ", true, "ERROR: reading fixing_ambiguities.sta file"});
}

void read_reference_rec(std::string& refrec, const std::string& sta2refrecfile, int& ierrrrr,
                        frame::Log& log) {
    ierrrrr = 0;
    refrec = blank_name;
    std::ifstream in;
    if (!frame::open_existing_file(sta2refrecfile, in)) {
        ierrrrr = 1;
        log.list("ERROR: opening reference_receiver.sta file: ");
        return;
    }
    textio::ListReader r(in);
    std::string name(4, ' ');
    const textio::ReadStatus st = r.read(name);
    if (st.iostat == IoStat::end_of_file) {
        ierrrrr = -1;
        log.list("WARNING: no ref. rec. at reference_receiver.sta file");
    } else if (!st.ok()) {
        ierrrrr = 2;
        log.list("ERROR: reading input reference_receiver.sta file");
    } else {
        refrec = name;
    }
}

void read_leocm2pc(const std::string& leocm2pcfile, std::span<const std::string> reclst_rover_sp3_sta,
                   int nrec_rover_sp3_sta, StationNames& reclst_rover_sp3_leo_sta,
                   int& nrec_rover_sp3_leo_sta, LeoOffsets& xleocm2pc_offset_, int& ierrlc2p,
                   frame::Log& log) {
    ierrlc2p = 0;
    nrec_rover_sp3_leo_sta = 0;
    reclst_rover_sp3_leo_sta.fill(blank_name);
    xleocm2pc_offset_.fill(0.0);
    std::ifstream in;
    if (!frame::open_existing_file(leocm2pcfile, in)) {
        ierrlc2p = 1;
        log.list("ERROR: opening leocm2pcfile file: ", frame::trimmed(leocm2pcfile));
        return;
    }
    // A count larger than the list handed in is read as the whole list.
    const std::size_t nrover =
        std::min(reclst_rover_sp3_sta.size(), static_cast<std::size_t>(std::max(nrec_rover_sp3_sta, 0)));
    textio::ListReader r(in);
    for (;;) {
        std::string name(4, ' ');
        double x[3] = {0.0, 0.0, 0.0};
        const textio::ReadStatus st = r.read_numbers(name, x[0], x[1], x[2]);
        if (st.iostat == IoStat::end_of_file) return;
        if (!st.ok()) {
            ierrlc2p = 2;
            log.list("ERROR: reading input leocm2pcfile: ", frame::trimmed(leocm2pcfile));
            return;
        }
        bool found = false;
        for (std::size_t i = 0; i < nrover && !found; ++i) found = four(reclst_rover_sp3_sta[i]) == name;
        if (!found) {
            log.list("WARNING: LEO ", name, " (cm2pc) NOT found in rover_sp3.sta");
            continue;
        }
        if (nrec_rover_sp3_leo_sta == maxrec) too_many_names(leocm2pcfile, log);
        const int n = ++nrec_rover_sp3_leo_sta;
        reclst_rover_sp3_leo_sta(n) = name;
        for (int k = 1; k <= 3; ++k) xleocm2pc_offset_(n, k) = x[k - 1];
    }
}

AuxTables::AuxTables() {
    for (StationNames* l : {&reclst_to_estimate_xyz, &reclst_rover_like, &reclst_rover_rt, &reclst_fixing_amb,
                            &reclst_rover_sp3_leo_sta})
        l->fill(blank_name);
    xleocm2pc_offset_.fill(0.0);
}

void load_role_lists_and_tables(const frame::Config& cfg, std::span<const std::string> reclst_rover_sp3_sta,
                                int nrec_rover_sp3_sta, AuxTables& aux, frame::Log& log) {
    // 1. Low-orbit antenna offsets.
    int ierrlc2p = 0;
    read_leocm2pc(cfg.leocm2pcfile, reclst_rover_sp3_sta, nrec_rover_sp3_sta, aux.reclst_rover_sp3_leo_sta,
                  aux.nrec_rover_sp3_leo_sta, aux.xleocm2pc_offset_, ierrlc2p, log);
    if (!log.silent) {
        log.list("nrec_rover_sp3_leo_sta= ", aux.nrec_rover_sp3_leo_sta);
        log.list();
        for (int i = 1; i <= aux.nrec_rover_sp3_leo_sta; ++i)
            log.list("Lc:ilc2p,reclst_rover_sp3_leo_sta,xleocm2pc_offset_=", i,
                     aux.reclst_rover_sp3_leo_sta(i), aux.xleocm2pc_offset_(i, 1),
                     aux.xleocm2pc_offset_(i, 2), aux.xleocm2pc_offset_(i, 3));
        log.list();
    }
    if (ierrlc2p != 0) {
        log.list();
        log.list("WARNING: ierrlc2p=", ierrlc2p, ".ne.0");
    }

    // 2-5. The role lists; their statuses are not acted upon (the reader has logged the reason).
    int ierr = 0;
    read_to_estimate_xyz(aux.reclst_to_estimate_xyz, aux.nrec_to_estimate_xyz, cfg.sta2estposfile, ierr, log);
    log_station_list(log, " READ list of stations to estimate XYZ, #=", aux.reclst_to_estimate_xyz,
                     aux.nrec_to_estimate_xyz);
    read_rover_like(aux.reclst_rover_like, aux.nrec_rover_like, cfg.sta2roverlikefile, ierr, log);
    log_station_list(log, " READ list of stations rover-like #=", aux.reclst_rover_like, aux.nrec_rover_like);
    read_rover_rt(aux.reclst_rover_rt, aux.nrec_rover_rt, cfg.sta2roverrtfile, ierr, log);
    log_station_list(log, " READ list of stations rover-rt #=", aux.reclst_rover_rt, aux.nrec_rover_rt);
    read_fixing_ambiguities(aux.reclst_fixing_amb, aux.nrec_fixing_amb, cfg.sta2fixingambfile, ierr, log);
    log_station_list(log, " READ list of stations to fixing ambiguities #=", aux.reclst_fixing_amb,
                     aux.nrec_fixing_amb);

    // 6. Voxel centres, only when the ionospheric model is estimated.
    if (cfg.estimate_iono_model) {
        int ierrrvc = 0;
        read_iono_voxel_centers(cfg.centersfile, cfg.hmin, cfg.hmax, aux.voxels, ierrrvc, log);
    } else {
        aux.voxels.ncenp = 0;
    }

    // 7. Solar flux, only for the a priori ionosphere; the table is echoed either way.
    if (cfg.model_apriori_iono) {
        int ierrrsf = 0;
        read_sfluxfile_v2(cfg.sfluxfile, aux.sflux, ierrrsf, log);
    }
    if (!log.silent) {
        log.list();
        log.list(" READ sfluxfile=", frame::trimmed(cfg.sfluxfile));
        log.list();
        for (int i = iyearmin_sflux; i <= iyearmax_sflux; ++i)
            for (int j = 1; j <= ndoy_sflux; ++j)
                log.list("i,j,ssn(i,j),sflux(i,j)=", i, j, aux.sflux.ssn(i, j), aux.sflux.sflux(i, j));
    }

    // 8. Reference receiver.
    read_reference_rec(aux.refrec, cfg.sta2refrecfile, ierr, log);
    if (!log.silent) {
        log.list();
        log.list(" READ reference receiver=", aux.refrec);
        log.list();
    }
}

} // namespace quelmar::auxfiles
