#include "messages/station.hpp"

#include <vector>

#include "auxfiles/pcv.hpp"
#include "frame/log.hpp"
#include "frame/state.hpp"
#include "frame/stop.hpp"
#include "textio/format.hpp"

namespace quelmar::messages {

namespace {

using textio::Format;

// The read formats, compiled on first use: layout S header, then the payload of each message.
const Format& xyz_format() {
    static const Format f(message_format(HeaderLayout::s, "a,1x,3F14.4"));
    return f;
}
const Format& ant_format() {
    static const Format f(message_format(HeaderLayout::s, "a,1x,2a20"));
    return f;
}
const Format& and_format() {
    static const Format f(message_format(HeaderLayout::s, "a,1x,3f14.4"));
    return f;
}
const Format& ot2_format() {
    static const Format f(message_format(HeaderLayout::s, "a,66(1x,e12.4)"));
    return f;
}
const Format& wlf_format() {
    static const Format f(message_format(HeaderLayout::s, "a,1x,9I6"));
    return f;
}
// LEA, EXG and EXI: a count or value in columns 28-33 instead of a receiver name.
const Format& count_format() {
    static const Format f(message_format(HeaderLayout::s, "i6"));
    return f;
}
// The names of an EXG/EXI list, one blank before each, from column 34: "(32x,00006(1x,a))", its
// repeat count being the size of the list table.
const Format& names_format() {
    static const Format f(Format("(a,i5.5,a)").write("(32x,", maxrec, "(1x,a))"));
    return f;
}
const Format& lea_echo_format() {
    static const Format f("(a,i6,f18.10,i2)");
    return f;
}

// The columns the readers look at.
std::string_view reader_part(std::string_view line1) {
    return line1.substr(0, static_cast<std::size_t>(reader_columns));
}

std::string_view without_trailing_blanks(std::string_view s) {
    const auto last = s.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

// Reads the header fields and then `payload` from the first 1000 columns of the line.
template <class... T>
bool read_record(const Format& fmt, std::string_view line1, MessageHeader& h, T&... payload) {
    return fmt.read_numbers(reader_part(line1), h.iyy, h.imo, h.ida, h.iho, h.imi, h.sec, payload...).ok();
}

// A well-read line travels on to the next stage unchanged (trailing blanks dropped).
void copy_to_output(std::string_view line1, frame::TextSink& out) {
    out.line(without_trailing_blanks(line1));
}

std::string padded(std::string_view s, std::size_t n) {
    std::string t(s.substr(0, n));
    t.resize(n, ' ');
    return t;
}

// Index of the antenna type in the PCV table, 0 when none matches. The type is model (characters
// 1-16) and radome (17-20); a blank radome means "NONE".
//   First pass: the whole type is equal, or the model is equal and the message's radome (blank taken
//   as NONE) is the entry's radome as written.
//   Second pass, only when the first found nothing: an entry of the same model whose radome is NONE
//   (or blank) stands in for a radome the table does not know; the log is warned.
int match_antenna(const std::string& rec, const std::string& ant_num, const std::string& ant_type,
                  const auxfiles::PcvTable& pcv, frame::Log& log) {
    const std::string_view model = std::string_view(ant_type).substr(0, 16);
    std::string radome = ant_type.substr(16, 4);
    if (radome == "    ") radome = "NONE";

    for (int i = 1; i <= pcv.nant; ++i) {
        const std::string t = padded(pcv.ant_type_(i), auxfiles::ant_type_length);
        if (t == ant_type || (t.compare(0, 16, model) == 0 && t.compare(16, 4, radome) == 0)) return i;
    }
    for (int i = 1; i <= pcv.nant; ++i) {
        const std::string t = padded(pcv.ant_type_(i), auxfiles::ant_type_length);
        std::string entry_radome = t.substr(16, 4);
        if (entry_radome == "    ") entry_radome = "NONE";
        if (t.compare(0, 16, model) == 0 && entry_radome == "NONE") {
            log.list("WARNING: No radome matching is finally required");
            log.list("                  receiver: ", rec);
            log.list("                  antenna type: ", ant_type);
            log.list("               (antenna number: ", ant_num, " )");
            return i;
        }
    }
    log.list("ERROR, no matching antenna type for receiver:", rec);
    log.list("                  antenna type: ", ant_type);
    log.list("               (antenna number: ", ant_num, " )");
    return 0;
}

// The common body of EXG and EXI; `code` names the message in the error line.
int read_exclusion_list(std::string_view code, std::string_view line1, SlotList& ireclst_ex,
                        std::int32_t& nrec_ex, StationRegistry& reg, float128& tdjmex, NameList& reclst_ex,
                        frame::Log& log, frame::TextSink& out) {
    MessageHeader h;
    std::int32_t count = 0;
    bool ok = read_record(count_format(), line1, h, count);
    // The list table holds maxrec names: a longer (or negative) count cannot describe a list.
    ok = ok && count >= 0 && count <= maxrec;
    std::vector<std::string> names;
    if (ok && count > 0) {
        names.assign(static_cast<std::size_t>(count), std::string(4, ' '));
        ok = names_format().read(reader_part(line1), names).ok();
    }
    if (!ok) {
        log.list("ERROR: reading " + std::string(code) + " input record");
        return 1;
    }
    copy_to_output(line1, out);
    derive_header_times(h, log);
    nrec_ex = count;
    tdjmex = h.tdjm;
    for (int i = 1; i <= count; ++i) {
        reclst_ex(i) = names[static_cast<std::size_t>(i - 1)];
        indexing_rec(reclst_ex(i), ireclst_ex(i), reg, log);
    }
    return 0;
}

void echo_exclusion_list(std::string_view first, const SlotList& ireclst_ex, std::string_view counts,
                         std::int32_t nrec_ex, const StationRegistry& reg, std::string_view times,
                         float128 tdjmex, int ierr, frame::Log& log) {
    if (log.silent) return;
    log.list(first, ireclst_ex.flat());
    log.list(counts, nrec_ex, reg.nrec);
    log.list("                               : reclst=", reg.reclst.flat());
    log.list(times, tdjmex, ierr);
}

} // namespace

// ---- Readers -------------------------------------------------------------------------------------

int read_xyz(std::string_view line1, Array2<double, 3, maxrec>& recxyz0_, std::int32_t& irec,
             StationRegistry& reg, float128& tdjmxyz, frame::Log& log, frame::TextSink& out) {
    MessageHeader h;
    std::array<double, 3> xyz{};
    if (!read_record(xyz_format(), line1, h, h.rec, xyz)) {
        log.list("ERROR: reading XYZ input record");
        irec = 0; // the line names no receiver that could be read: no slot, rather than the last one's
        return 1;
    }
    copy_to_output(line1, out);
    indexing_rec(h.rec, irec, reg, log);
    for (int i = 1; i <= 3; ++i) recxyz0_(i, irec) = xyz[static_cast<std::size_t>(i - 1)];
    derive_header_times(h, log);
    tdjmxyz = h.tdjm;
    return 0;
}

int read_ant(std::string_view line1, const auxfiles::PcvTable& pcv, std::int32_t& irec, StationRegistry& reg,
             Array1<std::int32_t, maxrec>& iant_, float128& tdjmant, frame::Log& log, frame::TextSink& out) {
    MessageHeader h;
    std::string ant_num(20, ' '), ant_type(20, ' ');
    if (!read_record(ant_format(), line1, h, h.rec, ant_num, ant_type)) {
        log.list("ERROR: reading ANT input record");
        return 1;
    }
    copy_to_output(line1, out);
    indexing_rec(h.rec, irec, reg, log);
    const int iant = match_antenna(h.rec, ant_num, ant_type, pcv, log);
    iant_(irec) = iant > 0 ? iant : -999;
    derive_header_times(h, log);
    tdjmant = h.tdjm;
    return iant > 0 ? 0 : 2;
}

int read_and(std::string_view line1, std::int32_t& irec, StationRegistry& reg,
             Array2<double, maxrec, 3>& ant_delta_hen, float128& tdjmand, frame::Log& log,
             frame::TextSink& out) {
    MessageHeader h;
    std::array<double, 3> hen{};
    if (!read_record(and_format(), line1, h, h.rec, hen)) {
        log.list("ERROR: reading AND input record");
        return 1;
    }
    copy_to_output(line1, out);
    indexing_rec(h.rec, irec, reg, log);
    for (int i = 1; i <= 3; ++i) ant_delta_hen(irec, i) = hen[static_cast<std::size_t>(i - 1)];
    derive_header_times(h, log);
    tdjmand = h.tdjm;
    return 0;
}

int read_ot2(std::string_view line1, std::int32_t& irec, StationRegistry& reg, OtlTable& tamp_otl,
             OtlTable& tph_otl, float128& tdjmotl, frame::Log& log, frame::TextSink& out) {
    MessageHeader h;
    // In message order: the 33 amplitudes (component 1 constituents 1..11, then components 2 and 3),
    // then the 33 phases in the same order.
    std::array<double, 2 * ncomp_otl * nwave_otl> v{};
    if (!read_record(ot2_format(), line1, h, h.rec, v)) {
        log.list("ERROR: reading OTL input record");
        return 1;
    }
    copy_to_output(line1, out);
    indexing_rec(h.rec, irec, reg, log);
    std::size_t n = 0;
    for (OtlTable* t : {&tamp_otl, &tph_otl})
        for (int k = 1; k <= ncomp_otl; ++k)
            for (int j = 1; j <= nwave_otl; ++j) (*t)(irec, k, j) = v[n++];
    derive_header_times(h, log);
    tdjmotl = h.tdjm;
    return 0;
}

int read_wlf(std::string_view line1, std::int32_t& irec, StationRegistry& reg,
             Array2<std::int32_t, maxfre, maxrec>& iwlf, float128& tdjmwlf, frame::Log& log,
             frame::TextSink& out) {
    MessageHeader h;
    std::array<std::int32_t, maxfre> iwlf1{}; // zero: factors missing at the end of the line
    if (!read_record(wlf_format(), line1, h, h.rec, iwlf1)) {
        log.list("ERROR: reading WLF input record");
        return 1;
    }
    copy_to_output(line1, out);
    indexing_rec(h.rec, irec, reg, log);
    for (int i = 1; i <= maxfre; ++i) iwlf(i, irec) = iwlf1[static_cast<std::size_t>(i - 1)];
    derive_header_times(h, log);
    tdjmwlf = h.tdjm;
    return 0;
}

int read_lea(std::string_view line1, std::int32_t& leapsec, float128& tdjmlea, frame::Log& log,
             frame::TextSink& out) {
    MessageHeader h;
    std::int32_t value = 0;
    if (!read_record(count_format(), line1, h, value)) {
        log.list("ERROR: reading LEA input record");
        return 1;
    }
    copy_to_output(line1, out);
    leapsec = value;
    derive_header_times(h, log);
    tdjmlea = h.tdjm;
    return 0;
}

int read_exg(std::string_view line1, SlotList& ireclst_exg, std::int32_t& nrec_exg, StationRegistry& reg,
             float128& tdjmexg, NameList& reclst_exg, frame::Log& log, frame::TextSink& out) {
    return read_exclusion_list("EXG", line1, ireclst_exg, nrec_exg, reg, tdjmexg, reclst_exg, log, out);
}

int read_exi(std::string_view line1, SlotList& ireclst_exi, std::int32_t& nrec_exi, StationRegistry& reg,
             float128& tdjmexi, NameList& reclst_exi, frame::Log& log, frame::TextSink& out) {
    return read_exclusion_list("EXI", line1, ireclst_exi, nrec_exi, reg, tdjmexi, reclst_exi, log, out);
}

// ---- Handlers ------------------------------------------------------------------------------------

int handle_xyz(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::RunState& st,
               std::int32_t& irec, frame::Log& log, frame::TextSink& out) {
    const int ierrxyz = read_xyz(line1, sta.recxyz0_, irec, reg, sta.tdjmxyz, log, out);
    if (ierrxyz != 0) {
        // Without an approximate position no observation of any receiver can be modelled reliably:
        // the run stops, leaving in the log what it knew.
        log.list("ERROR, rejected XYZ: reading error");
        log.list("ierrxyz,tdjmxyz=", ierrxyz, sta.tdjmxyz);
        log.list("line1= ", without_trailing_blanks(line1));
        log.list("irec,nrec,maxrec=", irec, reg.nrec, maxrec);
        log.list("recxyz0_=", sta.recxyz0_.flat());
        log.list("reclst=", reg.reclst.flat());
        throw frame::Stop("ERROR, rejected XYZ: reading error");
    }
    st.is_xyz_read(irec) = true;
    st.tdjmxyz_reclst(irec) = sta.tdjmxyz;
    if (!log.silent) {
        log.list(" READ approx. rec. XYZ: recxyz0=", sta.recxyz0_.flat());
        log.list("                      :irec,nrec,reclst=", irec, reg.nrec, reg.reclst(irec));
        log.list("                      :tdjmxyz,ierrxyz=", sta.tdjmxyz, ierrxyz);
    }
    return 0;
}

int handle_ant(std::string_view line1, const auxfiles::PcvTable& pcv, StationTables& sta,
               StationRegistry& reg, frame::RunState& st, std::int32_t& irec, frame::Log& log,
               frame::TextSink& out) {
    const int ierrant = read_ant(line1, pcv, irec, reg, sta.iant_, sta.tdjmant, log, out);
    if (ierrant != 0) {
        // An unreadable record names no receiver; an unknown antenna type is known to be wrong for
        // its own receiver.
        if (ierrant == 2) st.is_ant_read(irec) = false;
        log.list("ERROR, rejected ANT: reading error");
        return ierrant;
    }
    st.is_ant_read(irec) = true;
    if (!log.silent) {
        const int iant = sta.iant_(irec);
        std::array<double, 3> offset{};
        for (int i = 1; i <= 3; ++i)
            offset[static_cast<std::size_t>(i - 1)] = pcv.phase_center_offset_(1, i, iant);
        std::array<double, auxfiles::pcv_nelev> elev{};
        for (int i = 1; i <= auxfiles::pcv_nelev; ++i)
            elev[static_cast<std::size_t>(i - 1)] = pcv.phase_center_elev_(1, i, iant);
        log.list(" READ ANtenna Type (ANT): irec=", irec);
        log.list("                      :tdjmant,ierrant=", sta.tdjmant, ierrant);
        log.list("    Recognized antenna type: ant_type_=", pcv.ant_type_(iant));
        log.list("                        L1 :phase_center_offset_=", offset);
        log.list("                        L1 :phase_center_elev_=", elev);
    }
    return 0;
}

int handle_and(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::RunState& st,
               std::int32_t& irec, frame::Log& log, frame::TextSink& out) {
    const int ierrand = read_and(line1, irec, reg, sta.ant_delta_hen, sta.tdjmand, log, out);
    if (ierrand != 0) {
        log.list("ERROR, rejected AND: reading error");
        return ierrand;
    }
    st.is_and_read(irec) = true;
    if (!log.silent) {
        log.list(" READ ANtenna Delta (AND): irec,ant_delta_HEN=", irec, sta.ant_delta_hen(irec, 1),
                 sta.ant_delta_hen(irec, 2), sta.ant_delta_hen(irec, 3));
        log.list("                      :tdjmand,ierrand=", sta.tdjmand, ierrand);
    }
    return 0;
}

int handle_ot2(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::RunState& st,
               std::int32_t& irec, frame::Log& log, frame::TextSink& out) {
    const int ierrotl = read_ot2(line1, irec, reg, sta.tamp_otl, sta.tph_otl, sta.tdjmotl, log, out);
    if (ierrotl != 0) {
        log.list("ERROR, rejected OT2: reading error");
        return ierrotl;
    }
    st.is_otl_read(irec) = true;
    if (!log.silent) {
        // The receiver's section of each table in storage order: the three components of
        // constituent 1, then of constituent 2, and so on.
        std::vector<double> v;
        v.reserve(2 * ncomp_otl * nwave_otl);
        for (const OtlTable* t : {&sta.tamp_otl, &sta.tph_otl})
            for (int j = 1; j <= nwave_otl; ++j)
                for (int k = 1; k <= ncomp_otl; ++k) v.push_back((*t)(irec, k, j));
        log.list(" READ Ocean Tidal Load. (OT2): irec,tamp_otl,tph_otl=", irec, v);
        log.list("                      :tdjmotl,ierrotl=", sta.tdjmotl, ierrotl);
    }
    return 0;
}

int handle_wlf(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::RunState& st,
               std::int32_t& irec, frame::Log& log, frame::TextSink& out) {
    const int ierr = read_wlf(line1, irec, reg, sta.iwlf, sta.tdjmwlf, log, out);
    if (ierr != 0) {
        log.list("ERROR, rejected WLF: reading error");
        return ierr;
    }
    st.is_wlf_read(irec) = true;
    if (!log.silent) {
        log.list(" READ WaveLength Factors: irec,nrec,reclst=", irec, reg.nrec, reg.reclst.flat());
        log.list("                        : iwlf=", sta.iwlf.flat());
        log.list("                        : tdjmwlf,ierr=", sta.tdjmwlf, ierr);
    }
    return 0;
}

int handle_lea(std::string_view line1, StationTables& sta, frame::RunState& st, frame::Log& log,
               frame::TextSink& out) {
    const int ierr = read_lea(line1, sta.leapsec, sta.tdjmlea, log, out);
    if (ierr != 0) {
        // The time scales then fall back on their own table.
        st.is_lea_read = false;
        log.list("ERROR, rejected LEA: reading error");
        return ierr;
    }
    st.is_lea_read = true;
    if (!log.silent)
        log.formatted(lea_echo_format(), " READ LEAp second: leapsec,tdjmlea,ierr=", sta.leapsec, sta.tdjmlea,
                      ierr);
    return 0;
}

int handle_exg(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::Log& log,
               frame::TextSink& out) {
    const int ierrexg =
        read_exg(line1, sta.ireclst_exg, sta.nrec_exg, reg, sta.tdjmexg, sta.reclst_exg, log, out);
    echo_exclusion_list(" READ EXcluded stat. in Geodesy: ireclst_exg=", sta.ireclst_exg,
                        "                               : nrec_exg,nrec=", sta.nrec_exg, reg,
                        "                               : tdjmexg,ierrexg=", sta.tdjmexg, ierrexg, log);
    return ierrexg;
}

int handle_exi(std::string_view line1, StationTables& sta, StationRegistry& reg, frame::Log& log,
               frame::TextSink& out) {
    const int ierrexi =
        read_exi(line1, sta.ireclst_exi, sta.nrec_exi, reg, sta.tdjmexi, sta.reclst_exi, log, out);
    echo_exclusion_list(" READ EXcluded stat. in Ionosphere: ireclst_exi=", sta.ireclst_exi,
                        "                               : nrec_exi,nrec=", sta.nrec_exi, reg,
                        "                               : tdjmexi,ierrexi=", sta.tdjmexi, ierrexi, log);
    return ierrexi;
}

void handle_klo(frame::Log& log) {
    log.list("WARNING: message KLO NOT CONSIDERED for now");
}

void handle_dut(frame::Log& log) {
    log.list("WARNING: message DUT NOT CONSIDERED for now");
}

} // namespace quelmar::messages
