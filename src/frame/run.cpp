#include "frame/run.hpp"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "frame/stop.hpp"
#include "textio/format.hpp"
#include "textio/listread.hpp"

namespace quelmar::frame {

namespace {

constexpr const char* codes[] = {"EXG ", "EXI ", "LEA ", "KLO ", "XYZ ", "ANT ", "AND ",
                                 "OT2 ", "DUT ", "WLF ", "EPH ", "CDS ", "OB1 "};

// Writes the one record "0" into the marker file: each restart request is served once.
void reset_marker() {
    TextSink m;
    if (!m.open(marker_file_name))
        throw Stop("ERROR: cannot write the marker file " + std::string(marker_file_name));
    m.line("0");
}

} // namespace

bool read_input_line(std::FILE* in, std::string& line) {
    line.clear();
    bool any = false;
    bool cut = false;
    int c;
    while ((c = getc_unlocked(in)) != EOF) {
        any = true;
        if (c == '\n') {
            if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (line.size() < static_cast<std::size_t>(line1_length))
            line.push_back(static_cast<char>(c));
        else
            cut = true;
    }
    return any; // a last line without a newline is still a line
}

MessageCode classify(std::string_view line) {
    // The line stands in a blank-padded buffer: "KLO" alone is "KLO " there.
    char head[4] = {' ', ' ', ' ', ' '};
    std::memcpy(head, line.data(), std::min<std::size_t>(line.size(), 4));
    for (int i = 0; i < static_cast<int>(MessageCode::none); ++i)
        if (std::memcmp(head, codes[i], 4) == 0) return static_cast<MessageCode>(i);
    return MessageCode::none;
}

void startup(Run& run, int argc, char** argv) {
    // 1. The mode: "rover" or "ROVER" (trailing blanks ignored); anything else is normal mode.
    // A 40-character field, blank-padded: its echo in the log has that width.
    run.arg1 = argc > 1 ? std::string(argv[1]).substr(0, 40) : std::string();
    run.arg1.resize(40, ' ');
    const std::string a = trimmed(run.arg1);
    run.modus_operandi_rover = a == "rover" || a == "ROVER";
    // 2. The log of the mode, rewritten from its start.
    if (!run.log.open_named(run.modus_operandi_rover ? log_file_rover : log_file_normal))
        throw Stop(std::string("ERROR: opening log file ") + run.log.name());
    // 3-4. Configuration, echoed group by group.
    read_configuration(run.cfg, run.log, run.arg1, run.modus_operandi_rover);
    // 5. Constants and signal tables.
    set_constants(run.cfg, run.k, run.sig, run.log);
    // 6. Per-run state.
    run.st = RunState();
    // 7. Auxiliary files: precise orbits and the rover trajectory file with its station list, the
    //    antenna calibrations, the role lists and tables, the constellation status.
    auxfiles::load_precise_orbits(run.cfg, run.s3c, run.rs3, run.rover_sp3, run.required_sp3_clocks,
                                  run.obs.ob.tdjmobs, run.log);
    auxfiles::load_antenna_calibrations(run.cfg, run.pcv, run.atx, run.log, run.out);
    auxfiles::load_role_lists_and_tables(run.cfg, run.rover_sp3.reclst_rover_sp3_sta.flat(),
                                         run.rover_sp3.nrec_rover_sp3_sta, run.aux, run.log);
    auxfiles::load_constellation_status(run.cfg, run.gcs, run.log);
    // The a priori ionosphere: NeQuick ("n") with its dip-latitude grid read now; IRI-2007 ("i") is not
    // in this version, and a run never goes on without a term it was asked for. Any other name stops
    // at the first ray, as defined.
    if (run.cfg.model_apriori_iono) {
        const std::string name = run.cfg.apriori_iono_model_name;
        if (name == "i") {
            const std::string msg = "ERROR: apriori_iono_model_name = 'i' needs the IRI-2007 model, which is not "
                                    "available in this version: use 'n' (NeQuick)";
            run.log.list(msg);
            throw Stop(msg);
        }
        if (name == "n") {
            try {
                run.nequick = std::make_unique<iono::NeQuick>(trimmed(run.cfg.basedir_auxdata_apriori_iono));
            } catch (const iono::NeQuickError& e) {
                run.log.list(std::string("ERROR: ") + e.what());
                throw Stop(std::string("ERROR: ") + e.what());
            }
        }
    }
    // 8. The marker file holds 1: the first pass restarts the log, discarding the start-up log.
    run.st.idoyobs0 = -999;
    TextSink m;
    if (!m.open(marker_file_name))
        throw Stop(std::string("ERROR: cannot create the marker file ") + marker_file_name);
    m.list(1);
}

bool poll_marker(Run& run) {
    // A free-format read of one character item from the marker file.
    std::ifstream f(marker_file_name);
    bool ok = false;
    if (f) {
        textio::ListReader r(f);
        run.line3.assign(1024, ' ');
        ok = r.read(run.line3).ok();
    }
    f.close();
    if (ok && run.line3[0] == '0') return false;
    if (ok && run.line3[0] == '1') return true;
    reset_marker();
    run.log.list("WARNING: log flush, read error");
    return false;
}

void dispatch(Run& run, std::string_view line1) {
    namespace m = messages;
    switch (classify(line1)) {
    case MessageCode::EXG:
        m::handle_exg(line1, run.sta, run.reg, run.log, run.out);
        break;
    case MessageCode::EXI:
        m::handle_exi(line1, run.sta, run.reg, run.log, run.out);
        break;
    case MessageCode::LEA:
        m::handle_lea(line1, run.sta, run.st, run.log, run.out);
        break;
    case MessageCode::KLO:
        m::handle_klo(run.log);
        break;
    case MessageCode::XYZ:
        m::handle_xyz(line1, run.sta, run.reg, run.st, run.irec, run.log, run.out);
        break;
    case MessageCode::ANT:
        m::handle_ant(line1, run.pcv, run.sta, run.reg, run.st, run.irec, run.log, run.out);
        break;
    case MessageCode::AND:
        m::handle_and(line1, run.sta, run.reg, run.st, run.irec, run.log, run.out);
        break;
    case MessageCode::OT2:
        m::handle_ot2(line1, run.sta, run.reg, run.st, run.irec, run.log, run.out);
        break;
    case MessageCode::DUT:
        m::handle_dut(run.log);
        break;
    case MessageCode::WLF:
        m::handle_wlf(line1, run.sta, run.reg, run.st, run.irec, run.log, run.out);
        break;
    case MessageCode::EPH:
        m::handle_eph(line1, run.eph, run.st, run.log, run.out);
        break;
    case MessageCode::CDS:
        m::handle_cds(line1, run.modus_operandi_rover, run.reg, run.cds, run.log);
        break;
    case MessageCode::OB1: {
        const auto roles = m::role_lists_of(run.aux, run.rover_sp3);
        m::handle_ob1(line1, run.obs, run.reg, run.st, roles, run.cfg, run.log, run.out);
        // Every observation passes the epoch control; the chain rejects it at its gate when the reader
        // reported a problem.
        chain::epoch_control(run);
        chain::process_observation(run);
        if (run.chain.accepted) {
#ifdef QUELMAR_STEP_PROFILE
            const auto t0 = std::chrono::steady_clock::now();
            measurement::model_observation(run);
            const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
            run.chain.profile.seconds[chain::nchain_steps - 1] += d.count();
            ++run.chain.profile.calls[chain::nchain_steps - 1];
#else
            measurement::model_observation(run);
#endif
        }
        break;
    }
    case MessageCode::none:
        break; // not a message: skipped silently
    }
}

void message_loop(Run& run, std::FILE* in) {
    std::string line1;
    line1.reserve(line1_length);
    for (;;) {
        if (poll_marker(run)) {
            run.log.list("WARNING: flushing quelmar log... ");
            reset_marker();
            run.log.restart();
        }
        if (!read_input_line(in, line1)) break;
        if (run.cfg.trace) {
            std::string first4 = line1.substr(0, 4);
            first4.resize(4, ' ');
            run.out.list("TRACE: line1(1:4)= ", first4);
        }
        dispatch(run, line1);
    }
}

} // namespace quelmar::frame
