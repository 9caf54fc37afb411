#include "messages/observation.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "auxfiles/precise_orbits.hpp"
#include "auxfiles/role_lists.hpp"
#include "frame/config.hpp"
#include "frame/log.hpp"
#include "frame/state.hpp"
#include "frame/stop.hpp"
#include "messages/header.hpp"
#include "messages/registry.hpp"
#include "textio/format.hpp"

namespace quelmar::messages {

namespace {

constexpr const char* msg_reading = "ERROR: reading OBS input record";
constexpr const char* msg_nobs = "ERROR: nobs.ne.4 .and. nobs.ne.6 [UNSUPPORTED]";
constexpr const char* msg_kind = "ERROR @ readob1: n_kind_rec.ne.1";
constexpr const char* msg_leo_id = "ERROR @ read_s3c: reading irover_sp3_leo_id";
constexpr const char* msg_header = "ERROR: input conversion error in the OB1 header";
constexpr const char* msg_header_at = "ERROR: input conversion error in the OB1 header:";

// The first n names of a list; a count outside 0..size is held to it.
std::span<const std::string> first_names(std::span<const std::string> names, int n) {
    const auto k = static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(names.size())));
    return names.first(k);
}

// Station names are compared as four bytes, blanks and case included.
bool same_name(std::string_view a, std::string_view b) {
    for (std::size_t i = 0; i < 4; ++i) {
        const char ca = i < a.size() ? a[i] : ' ';
        const char cb = i < b.size() ? b[i] : ' ';
        if (ca != cb) return false;
    }
    return true;
}

// 1-based position of rec in names, 0 when absent.
int position_in(std::string_view rec, std::span<const std::string> names) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (same_name(rec, names[i])) return static_cast<int>(i) + 1;
    return 0;
}

// The line without its trailing blanks.
std::string_view without_trailing_blanks(std::string_view s) {
    const std::size_t end = s.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

// The compiled read format of a record with nobs observables (4 or 6), built once per run.
const textio::Format& record_format(std::int32_t nobs) {
    static const textio::Format f4(ob1_format(4));
    static const textio::Format f6(ob1_format(6));
    return nobs == 6 ? f6 : f4;
}

// Role of the receiver of the current observation (step 9 of the reader).
void set_role(Observation& ob, frame::RunState& st, const RoleLists& roles, frame::Log& log) {
    int n_kind_rec = 0;

    ob.estimate_xyz = position_in(ob.rec, roles.reclst_to_estimate_xyz) > 0;
    n_kind_rec += ob.estimate_xyz;

    ob.rover_sp3 = position_in(ob.rec, roles.reclst_rover_sp3_sta) > 0;
    n_kind_rec += ob.rover_sp3;
    if (ob.rover_sp3) {
        // The object number of a rover in its trajectory file is the number in its name: characters
        // 2-3 of a low-orbit name ("l" followed by the number), characters 1-2 otherwise.
        static const textio::Format f_leo("(1x,i2)");
        static const textio::Format f_sta("(i2)");
        const textio::Format& f = ob.rec[0] == 'l' ? f_leo : f_sta;
        if (!f.read(ob.rec, ob.irover_sp3_leo_id).ok()) {
            log.list(msg_leo_id);
            throw frame::Stop(msg_leo_id);
        }
        const int pos = position_in(ob.rec, roles.reclst_rover_sp3_leo_sta);
        ob.rover_sp3_leo = pos > 0;
        ob.irec_rover_sp3_leo = pos > 0 ? pos : static_cast<int>(roles.reclst_rover_sp3_leo_sta.size()) + 1;
    }

    ob.rover_like = position_in(ob.rec, roles.reclst_rover_like) > 0;
    n_kind_rec += ob.rover_like;
    ob.rover_rt = position_in(ob.rec, roles.reclst_rover_rt) > 0;
    n_kind_rec += ob.rover_rt;
    ob.rec_fixing_amb = position_in(ob.rec, roles.reclst_fixing_amb) > 0;
    n_kind_rec += ob.rec_fixing_amb;

    ob.isrefrec = same_name(ob.rec, roles.refrec);
    n_kind_rec += ob.isrefrec;
    if (ob.isrefrec) st.irefrec = ob.irec;

    // Each role asks for different processing: a receiver cannot be in two of them.
    if (n_kind_rec > 1) {
        log.list("ERROR @ readob1: n_kind_rec.ne.1, n_kind_rec=", n_kind_rec);
        log.list("ERROR @ readob1: irec_,rec=", ob.irec, ob.rec);
        throw frame::Stop(msg_kind);
    }
}

} // namespace

RoleLists role_lists_of(const auxfiles::AuxTables& aux, const auxfiles::RoverStationList& rover_sp3) {
    RoleLists r;
    r.reclst_to_estimate_xyz = first_names(aux.reclst_to_estimate_xyz.flat(), aux.nrec_to_estimate_xyz);
    r.reclst_rover_sp3_sta = first_names(rover_sp3.reclst_rover_sp3_sta.flat(), rover_sp3.nrec_rover_sp3_sta);
    r.reclst_rover_sp3_leo_sta = first_names(aux.reclst_rover_sp3_leo_sta.flat(), aux.nrec_rover_sp3_leo_sta);
    r.reclst_rover_like = first_names(aux.reclst_rover_like.flat(), aux.nrec_rover_like);
    r.reclst_rover_rt = first_names(aux.reclst_rover_rt.flat(), aux.nrec_rover_rt);
    r.reclst_fixing_amb = first_names(aux.reclst_fixing_amb.flat(), aux.nrec_fixing_amb);
    r.refrec = aux.refrec;
    return r;
}

std::string ob1_format(std::int32_t nobs) {
    // The count goes into the repeat of the code group (two digits) and of the value group (one
    // digit); six observables add the extra-wide-lane tests at the end.
    static constexpr const char* head = "(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,";
    static constexpr const char* codes = "(4x,a2),";
    static constexpr const char* values = "(f14.3,i1,i1),1x,i5,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,"
                                          "1x,e15.7,1x,l1";
    if (nobs == 6) {
        static const textio::Format build("(a,i2.2,a,i1,3a)");
        return build.write(head, nobs, codes, nobs, values, ",1x,e15.7,1x,l1,1x,e15.7,1x,l1", ")");
    }
    static const textio::Format build("(a,i2.2,a,i1,2a)");
    return build.write(head, nobs, codes, nobs, values, ")");
}

std::int32_t nint_seconds(double t, bool& representable) {
    const double r = std::round(t); // halves away from zero
    representable =
        std::isfinite(r) && r >= static_cast<double>(INT32_MIN) && r <= static_cast<double>(INT32_MAX);
    return representable ? static_cast<std::int32_t>(r) : INT32_MIN;
}

void recognizing_kobs(const Array1<std::string, max_type_obs>& kobs_, std::int32_t nobs, BandTable& icp,
                      BandTable& icc, BandTable& ica, std::int32_t& ifreqmax, std::int32_t& ierr,
                      frame::Log& log) {
    static const textio::Format f("(a1,i1)");
    icp.fill(0);
    icc.fill(0);
    ica.fill(0);
    ifreqmax = -99;
    const int n = std::min<int>(nobs, max_type_obs);
    for (int i = 1; i <= n; ++i) {
        std::string letter(1, ' ');
        std::int32_t band = 0;
        if (!f.read(kobs_(i), letter, band).ok()) {
            log.list("ERROR: reading str to identify the target observables");
            ierr = ob1_status::off_grid_or_bad_code;
            return;
        }
        if (band < 1 || band > maxfre) {
            log.list("ERROR: frequency number .lt.1.or.gt.9");
            ierr = ob1_status::bad_band;
            return;
        }
        ifreqmax = std::max(ifreqmax, band);
        switch (letter[0]) {
        case 'L':
            ica(band) = i;
            break;
        case 'P':
            icp(band) = i;
            break;
        case 'C':
            icc(band) = i;
            break;
        default:
            break; // other observables (signal strength, Doppler, ...) are not used
        }
    }
}

std::int32_t read_ob1_v4b(std::string_view line, ObservationState& obs, StationRegistry& reg,
                          frame::RunState& st, const RoleLists& roles, std::int32_t idtsec_pre,
                          frame::Log& log, frame::TextSink& out) {
    static const textio::Format f_nobs("(53x,i6)");
    static const textio::Format f_warn("(a,i6,3a,i3,a,i2.2,2i3,i6,a)");
    Observation& ob = obs.ob;
    line = line.substr(0, std::min<std::size_t>(line.size(), reader_columns));

    // 1-2. The count of observables chooses the layout of the record.
    ob.ierr = ob1_status::ok;
    if (!f_nobs.read(line, ob.nobs).ok()) {
        log.list(msg_reading);
        ob.ierr = ob1_status::reading_error;
        return ob.ierr;
    }
    if (ob.nobs != 4 && ob.nobs != 6) {
        log.list(msg_nobs);
        throw frame::Stop(msg_nobs);
    }

    // 3. The record, read straight into the observation: a conversion error leaves the fields before
    //    the bad one with their new values and the rest with the previous observation's.
    {
        std::vector<textio::InItem> items;
        items.reserve(16 + 5 * max_type_obs + 14);
        for (auto* p : {&ob.iprn, &ob.iyy, &ob.imo, &ob.ida, &ob.iho, &ob.imi}) items.emplace_back(*p);
        items.emplace_back(ob.sec);
        items.emplace_back(ob.rec);
        items.emplace_back(ob.ksat);
        items.emplace_back(ob.iepochflag);
        items.emplace_back(ob.recclock);
        items.emplace_back(ob.nobs);
        for (int i = 1; i <= ob.nobs; ++i) items.emplace_back(ob.kobs_(i));
        for (int i = 1; i <= ob.nobs; ++i) {
            items.emplace_back(ob.xdata_(i));
            items.emplace_back(ob.ias_(i));
            items.emplace_back(ob.isn_(i));
        }
        items.emplace_back(ob.narch1);
        items.emplace_back(ob.cycleslip_);
        items.emplace_back(ob.dtsec_ob1);
        items.emplace_back(ob.cycleslip_dt);
        items.emplace_back(ob.d2li);
        items.emplace_back(ob.cycleslip_d2li);
        items.emplace_back(ob.xli_lir);
        items.emplace_back(ob.dbw);
        items.emplace_back(ob.cycleslip_dbw);
        if (ob.nobs == 6) {
            items.emplace_back(ob.dbew);
            items.emplace_back(ob.cycleslip_dbew);
            items.emplace_back(ob.dlew_w);
            items.emplace_back(ob.cycleslip_dlew_w);
        }
        // The count is read again with the record; it cannot change, since the same columns were
        // just read.
        const std::int32_t nobs = ob.nobs;
        if (!textio::require_finite(record_format(nobs).read_items(line, items), items).ok()) {
            log.list(msg_reading);
            ob.ierr = ob1_status::reading_error;
            return ob.ierr;
        }
    }

    // 4. Time values of the epoch.
    yymmdd2yeardoydjm(ob.iyy, ob.imo, ob.ida, ob.iyearobs, ob.idoyobs, ob.idjobs, log);
    ob.tsecdayobs = ob.imi * 60 + ob.iho * 3600 + ob.sec;
    ob.tdjmobs = float128(static_cast<double>(ob.idjobs) + ob.tsecdayobs / 86400.0);
    bool representable = true;
    ob.itsecdayobs = nint_seconds(ob.tsecdayobs, representable);
    ob.iyyobs = ob.iyy;
    ob.imoobs = ob.imo;
    ob.idaobs = ob.ida;
    ob.ihoobs = ob.iho;
    ob.imiobs = ob.imi;
    ob.secobs = ob.sec;

    // The satellite slot addresses every per-satellite table: a PRN outside them cannot be applied.
    if (ob.iprn < 1 || ob.iprn > maxsat) {
        log.list("ERROR: rejected OBS, PRN outside 1..35: iprn=", ob.iprn);
        ob.ierr = ob1_status::prn_out_of_range;
        return ob.ierr;
    }

    // 5. Only epochs on the downdating grid of the day are processed.
    if (idtsec_pre < 1) {
        log.list("ERROR: idtsec_pre must be positive, idtsec_pre=", idtsec_pre);
        throw frame::Stop("ERROR: idtsec_pre must be positive");
    }
    if (!representable || ob.itsecdayobs % idtsec_pre != 0) {
        if (!log.silent)
            log.formatted(f_warn, "WARNING: Observation rejected not fitting in ", idtsec_pre,
                          " sec. downdating interval", "( rec,prn= ", ob.rec, ob.iprn,
                          "( epoch iyy,imo,ida,itsecdayobs= ", ob.iyy, ob.imo, ob.ida, ob.itsecdayobs, " )");
        ob.ierr = ob1_status::off_grid_or_bad_code;
        return ob.ierr;
    }

    // 6. Which observable carries which signal (its errors are kept, the receiver is still set up).
    recognizing_kobs(ob.kobs_, ob.nobs, ob.icp, ob.icc, ob.ica, ob.ifreqmax, ob.ierr, log);

    // 7. Receiver slot and arc number.
    indexing_rec(ob.rec, ob.irec, reg, log);
    st.narch(ob.irec, ob.iprn) = ob.narch1;

    // 8. The receiver's band tables.
    for (int b = 1; b <= maxfre; ++b) {
        const bool named = b <= ob.ifreqmax;
        obs.icode_p_(b, ob.irec) = named ? ob.icp(b) : 0;
        obs.icode_c_(b, ob.irec) = named ? ob.icc(b) : 0;
        obs.icarrier_l_(b, ob.irec) = named ? ob.ica(b) : 0;
    }
    obs.ntdata_(ob.irec) = ob.nobs;

    // 9. Role of the receiver.
    set_role(ob, st, roles, log);

    // 10. The reference receiver's and rover-like receivers' observations travel on to the next stage.
    if (ob.isrefrec || ob.rover_like) out.line(without_trailing_blanks(line));
    return ob.ierr;
}

std::int32_t handle_ob1(std::string_view line1, ObservationState& obs, StationRegistry& reg,
                        frame::RunState& st, const RoleLists& roles, const frame::Config& cfg,
                        frame::Log& log, frame::TextSink& out) {
    static const textio::Format f_head("(4x,i2,1X,I2,4(1X,I2),F11.7)");

    // The driver's own copy of the header.
    obs.itsecdayobs9_preceding = obs.itsecdayobs9;
    if (!f_head.read(line1, obs.iprn9, obs.iyy9, obs.imo9, obs.ida9, obs.iho9, obs.imi9, obs.sec9).ok()) {
        // Without a readable epoch nothing downstream can place the line in time: the run ends.
        log.list(msg_header_at,
                 without_trailing_blanks(line1.substr(0, std::min<std::size_t>(line1.size(), 32))));
        throw frame::Stop(msg_header);
    }
    obs.tsecdayobs9 = obs.iho9 * 3600 + obs.imi9 * 60 + obs.sec9;
    bool representable = true;
    obs.itsecdayobs9 = nint_seconds(obs.tsecdayobs9, representable);

    const std::int32_t ierr = read_ob1_v4b(line1, obs, reg, st, roles, cfg.idtsec_pre, log, out);

    if (cfg.trace) {
        const Observation& ob = obs.ob;
        // After an early rejection the pair may lie outside the tables (no receiver registered yet,
        // or the PRN of a rejected line): its arc number is then shown as -99.
        const std::int32_t narch = ob.pair_in_range() ? st.narch(ob.irec, ob.iprn) : -99;
        out.list("TRACE: READ_OB1 tsec,irec,iprn,cycleslip,narch=", ob.tsecdayobs, ob.irec, ob.iprn,
                 ob.cycleslip_, narch);
        out.list("TRACE: READ_OB1 d2li,cycleslip_d2Li,xli_lir=", ob.d2li, ob.cycleslip_d2li, ob.xli_lir);
        out.list("TRACE: READ_OB1 dBw,cycleslip_dBw=", ob.dbw, ob.cycleslip_dbw);
        if (ob.nobs == 6) {
            out.list("TRACE: READ_OB1 dBew,cycleslip_dBew=", ob.dbew, ob.cycleslip_dbew);
            out.list("TRACE: READ_OB1 dlew_w,cycleslip_dlew_w=", ob.dlew_w, ob.cycleslip_dlew_w);
        }
        out.list("TRACE: READ_OB1 isrefrec,estimate_xyz,rover_like,rec_fixing_amb,rover_sp3,rover_rt=",
                 ob.isrefrec, ob.estimate_xyz, ob.rover_like, ob.rec_fixing_amb, ob.rover_sp3, ob.rover_rt);
        out.list("TRACE: rover_sp3,irover_sp3_leo_id=", ob.rover_sp3, ob.irover_sp3_leo_id);
        out.list("TRACE: rover_sp3_leo,irec_rover_sp3_leo=", ob.rover_sp3_leo, ob.irec_rover_sp3_leo);
    }
    return ierr;
}

} // namespace quelmar::messages
