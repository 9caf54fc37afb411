#include "messages/ephemeris.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "frame/log.hpp"
#include "frame/state.hpp"
#include "frame/stop.hpp"
#include "messages/header.hpp"
#include "messages/registry.hpp"
#include "textio/format.hpp"

namespace quelmar::messages {

namespace {

using Slots = Array1<double, maxsat>;

// The slot table of each broadcast value, in record order.
// clang-format off
constexpr Slots EphemerisTable::*value_fields[neph_values] = {
    &EphemerisTable::clockbias_, &EphemerisTable::clockdrift_, &EphemerisTable::clockdriftrate_,
    &EphemerisTable::xiode_, &EphemerisTable::crs_, &EphemerisTable::deltan_, &EphemerisTable::xm0_,
    &EphemerisTable::cuc_, &EphemerisTable::e_, &EphemerisTable::cus_, &EphemerisTable::sqrta_,
    &EphemerisTable::toe_, &EphemerisTable::cic_, &EphemerisTable::omega_upper_, &EphemerisTable::cis_,
    &EphemerisTable::xi0_, &EphemerisTable::crc_, &EphemerisTable::omega_lower_,
    &EphemerisTable::omega_upper_dot_,
    &EphemerisTable::xidot_, &EphemerisTable::codes_on_l2_, &EphemerisTable::gpsweektoe_,
    &EphemerisTable::xl2pdataflag_,
    &EphemerisTable::svaccuracy_, &EphemerisTable::svhealth_, &EphemerisTable::tgd_, &EphemerisTable::xiodc_,
    &EphemerisTable::trans_time_mess_, &EphemerisTable::xfit_interval_};
// clang-format on

// The echo lines of the broadcast values: a label and how many consecutive values follow it.
struct EchoGroup {
    const char* label;
    int count;
};
constexpr EchoGroup echo_groups[] = {
    {"clockbias,clockdrift,clockdriftrate=", 3},
    {"xiode,crs,deltan,xm0=", 4},
    {"cuc,e,cus,sqrta=", 4},
    {"toe,cic,omega_upper,cis=", 4},
    {"xi0,crc,omega_lower,omega_upper_dot=", 4},
    {"xidot,codes_on_l2,gpsweektoe,xl2pdataflag=", 4},
    {"svaccuracy,svhealth,tgd,xiodc=", 4},
    {"trans_time_mess,xfit_interval=", 2},
};

bool valid_prn(std::int32_t iprn) {
    return iprn >= 1 && iprn <= maxsat;
}

// What a reader looks at: the first 1000 characters of the line.
std::string_view reader_view(std::string_view line1) {
    return line1.substr(0, static_cast<std::size_t>(reader_columns));
}

// The line without its trailing blanks.
std::string_view without_trailing_blanks(std::string_view line1) {
    const auto end = line1.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : line1.substr(0, end + 1);
}

// Nearest integer, halves away from zero; a value beyond the 32-bit range (only a nonsense record
// holds one) is clamped to it and NaN gives 0, so that no conversion overflows.
std::int64_t nint_clamped(double x) {
    if (std::isnan(x)) return 0;
    const double r = std::round(x);
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    if (r <= lo) return std::numeric_limits<std::int32_t>::min();
    if (r >= hi) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int64_t>(r);
}

std::int32_t clamp_int32(std::int64_t v) {
    if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

void echo_eph(std::int32_t iprn, const EphemerisTable& eph, frame::Log& log) {
    log.list();
    log.list(" READ EPHemeris info: ");
    log.list("iprn,iyytoc,imotoc,idaytoc=", iprn, eph.iyytoc_(iprn), eph.imotoc_(iprn), eph.idaytoc_(iprn));
    log.list("ihotoc,imitoc,sectoc=", eph.ihotoc_(iprn), eph.imitoc_(iprn), eph.sectoc_(iprn));
    int k = 0;
    for (const EchoGroup& g : echo_groups) {
        std::vector<double> v;
        for (int i = 0; i < g.count; ++i, ++k) v.push_back((eph.*value_fields[k])(iprn));
        log.list(g.label, v);
    }
    log.list("tdjmtoc_,ierrre=", eph.tdjmtoc_(iprn), eph.ierrre);
    log.list();
}

} // namespace

void read_eph(std::string_view line1, std::int32_t& iprn_, EphemerisTable& eph, std::int32_t& ierr,
              frame::Log& log, frame::TextSink& out) {
    static const textio::Format prn_format("(4x,I2)");
    static const textio::Format record_format("(4x,2x,1X,I2.2,4(1X,I2),F5.1,3D19.12,7(3x,4d19.12))");
    ierr = 0;
    const std::string_view line = reader_view(line1);

    // The record goes into temporaries first: a line that cannot be read leaves the slots as they are.
    std::int32_t iprn = 0;
    std::int32_t iyy = 0, imo = 0, ida = 0, iho = 0, imi = 0;
    double sec = 0.0;
    std::array<double, neph_values> v{};
    const textio::ReadStatus prn_status = prn_format.read(line, iprn);
    if (prn_status.ok()) iprn_ = iprn;
    if (!prn_status.ok() || !record_format.read_numbers(line, iyy, imo, ida, iho, imi, sec, v).ok()) {
        log.list("ERROR: reading EPH input record");
        ierr = 1;
        return;
    }
    // The slots hold 35 PRNs; a record of any other PRN has nowhere to go.
    if (!valid_prn(iprn)) {
        log.list("ERROR: EPH PRN outside 1..35: iprn=", iprn);
        ierr = 2;
        return;
    }

    out.line(without_trailing_blanks(line1));

    // The toc as seconds of day and as MJD; a date the calendar rejects stops the run here.
    int iyear = 0, idoy = 0, idjm = 0;
    yymmdd2yeardoydjm(iyy, imo, ida, iyear, idoy, idjm, log);
    const double tsecdaytoc = (iho * 3600 + imi * 60) + sec;
    const double tdjmtoc = idjm + tsecdaytoc / 86400.0;

    // The last record of a PRN in the input is the one in force, whatever its toc or issue of data.
    eph.iyytoc_(iprn) = iyy;
    eph.imotoc_(iprn) = imo;
    eph.idaytoc_(iprn) = ida;
    eph.ihotoc_(iprn) = iho;
    eph.imitoc_(iprn) = imi;
    eph.sectoc_(iprn) = sec;
    for (int k = 0; k < neph_values; ++k) (eph.*value_fields[k])(iprn) = v[static_cast<std::size_t>(k)];
    eph.iodec_(iprn) = clamp_int32(nint_clamped(eph.xiode_(iprn) * 10000.0) + nint_clamped(eph.xiodc_(iprn)));
    eph.tsecdaytoc_(iprn) = tsecdaytoc;
    eph.tdjmtoc_(iprn) = float128(tdjmtoc);
}

void handle_eph(std::string_view line1, EphemerisTable& eph, frame::RunState& st, frame::Log& log,
                frame::TextSink& out) {
    std::int32_t iprn = 0;
    read_eph(line1, iprn, eph, eph.ierrre, log, out);
    switch (eph.ierrre) {
    case 0:
        st.is_eph_read(iprn) = true;
        if (!log.silent) echo_eph(iprn, eph, log);
        break;
    case 1:
        log.list("ERROR, rejected EPH: reading error");
        break;
    default:
        log.list("ERROR, rejected EPH: PRN outside 1..35");
        break;
    }
}

void read_cds(std::string_view line1, StationRegistry& reg, CorrectionTable& cds, std::int32_t& ierrrc,
              frame::Log& log) {
    static const textio::Format fixed_format(
        message_format(HeaderLayout::o, "1x,f13.6,1x,i3,                   f8.3,3f12.6,1x,f8.4,2(1x,f9.5),"
                                        "1x,e11.3,1x,i1,i3"));
    static const textio::Format pair_format_builder("(a,i3.3,a)");
    ierrrc = 0;
    const std::string_view line = reader_view(line1);

    // Fixed part. The date and time of the header are read (a bad character in them is a reading
    // error) but not used: the correction carries its own time tag.
    std::int32_t iprn = 0, iyy = 0, imo = 0, ida = 0, iho = 0, imi = 0;
    double sec = 0.0;
    std::string rec(4, ' ');
    double tdjm = 0.0, sele0 = 0.0, xlonion = 0.0, xlation = 0.0, raion = 0.0;
    double stec = 0.0, sigma_stec = 0.0, rms = 0.0, chi2 = 0.0;
    std::int32_t konprn = 0, idegree = 0, nunk = 0;
    if (!fixed_format
             .read_numbers(line, iprn, iyy, imo, ida, iho, imi, sec, rec, tdjm, konprn, sele0, xlonion, xlation,
                   raion, stec, sigma_stec, rms, chi2, idegree, nunk)
             .ok()) {
        log.list("ERROR: reading CDS input record");
        ierrrc = 1;
        return;
    }
    // The rows hold 35 PRNs and 8 pairs: a record beyond them is refused rather than cut.
    if (!valid_prn(iprn)) {
        log.list("ERROR: CDS PRN outside 1..35: iprn=", iprn);
        ierrrc = 2;
        return;
    }
    if (nunk < 0 || nunk > maxunk_ds) {
        log.list("ERROR: CDS count of value pairs outside 0..8: nunk_cds=", nunk);
        ierrrc = 2;
        return;
    }

    // The pairs, with a format built for the count. A count of 0 has no pairs to read.
    std::array<double, maxunk_ds> x{}, sx{};
    if (nunk > 0) {
        const textio::Format pair_format(pair_format_builder.write("(145x,", nunk, "(1x,f10.5,1x,e10.3))"));
        std::vector<textio::InItem> items;
        for (std::size_t i = 0; i < static_cast<std::size_t>(nunk); ++i) {
            items.emplace_back(x[i]);
            items.emplace_back(sx[i]);
        }
        if (!textio::require_finite(pair_format.read_items(line, items), items).ok()) {
            log.list("ERROR: reading CDS input record");
            ierrrc = 1;
            return;
        }
    }

    std::int32_t irec = 0;
    indexing_rec(rec, irec, reg, log);

    cds.iprn = iprn;
    cds.irefrec_ds = irec;
    cds.tdjm_cds = tdjm;
    cds.konprn_cds = konprn;
    cds.sele0_cds = sele0;
    cds.xlonion_cds = xlonion;
    cds.xlation_cds = xlation;
    cds.raion_cds = raion;
    cds.stec_cds = stec;
    cds.sigma_stec_cds = sigma_stec;
    cds.rms_cds = rms;
    cds.chi2_cds = chi2;
    cds.idegree_cds = idegree;
    cds.nunk_cds = nunk;
    for (int i = 1; i <= nunk; ++i) {
        cds.xtmp_ds(i) = x[static_cast<std::size_t>(i - 1)];
        cds.sxtmp_ds(i) = sx[static_cast<std::size_t>(i - 1)];
    }

    auto& a = cds.cpfdstec_adj;
    const double fixed[13] = {tdjm, double(konprn), double(irec), sele0, xlonion,         xlation,     raion,
                              stec, sigma_stec,     rms,          chi2,  double(idegree), double(nunk)};
    for (int k = 1; k <= 13; ++k) a(iprn, k) = fixed[k - 1];
    for (int i = 1; i <= nunk; ++i) {
        a(iprn, 12 + 2 * i) = cds.xtmp_ds(i);
        a(iprn, 13 + 2 * i) = cds.sxtmp_ds(i);
    }
}

void handle_cds(std::string_view line1, bool modus_operandi_rover, StationRegistry& reg, CorrectionTable& cds,
                frame::Log& log) {
    if (!modus_operandi_rover) {
        log.list("WARNING, rejected CDS record (CPF mode)");
        return;
    }
    read_cds(line1, reg, cds, cds.ierrrcds, log);
    if (cds.ierrrcds == 2) {
        // Refused for its PRN or count (the reader said which): nothing was stored, nothing to echo.
        log.list("ERROR, rejected CDS record");
        return;
    }
    if (!log.silent) {
        // After a reading error the values are those of the last record stored.
        log.list();
        std::vector<double> row;
        if (valid_prn(cds.iprn) && cds.nunk_cds >= 0 && cds.nunk_cds <= maxunk_ds)
            for (int k = 1; k <= 2 * cds.nunk_cds + 13; ++k) row.push_back(cds.cpfdstec_adj(cds.iprn, k));
        log.list(" tdjm_cds,irec,iprn,cpfdstec_adj=", cds.tdjm_cds, cds.irefrec_ds, cds.iprn, cds.nunk_cds,
                 row);
    }
    if (cds.ierrrcds != 0) {
        log.list("ERROR: reading CDS message");
        throw frame::Stop("ERROR: reading CDS message");
    }
}

} // namespace quelmar::messages
