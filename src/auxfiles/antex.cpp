#include "auxfiles/antex.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "frame/config.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "messages/header.hpp"
#include "textio/format.hpp"

namespace quelmar::auxfiles {

namespace {

constexpr std::string_view blank_type = "                    "; // 20 blanks
constexpr std::size_t max_line_length = 5000;

bool in_range(int i, int lo, int hi) {
    return i >= lo && i <= hi;
}

std::size_t pattern_address(int iantrole, int iconst, int ifreq, int isa) {
    return static_cast<std::size_t>(((iantrole - 1) * maxconst + (iconst - 1)) * maxfreq + (ifreq - 1)) *
               maxant +
           static_cast<std::size_t>(isa - 1);
}

bool pattern_indices_ok(int iantrole, int iconst, int ifreq, int isa) {
    return in_range(iantrole, 1, maxantrole) && in_range(iconst, 1, maxconst) &&
           in_range(ifreq, 1, maxfreq) && in_range(isa, 1, maxant);
}

std::size_t pc_info_address(int iantrole, int iconst, int isa) {
    return static_cast<std::size_t>((iantrole - 1) * maxconst + (iconst - 1)) * maxant +
           static_cast<std::size_t>(isa - 1);
}

std::string_view trim_right(std::string_view s) {
    const auto end = s.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

// Nearest integer, halves away from zero, held to +-1e9 so that an absurd value (an exponent in a
// field, an infinity) still gives an integer that fails the table checks instead of overflowing. NaN
// gives the lower bound.
int nint_held(double x) {
    constexpr double bound = 1e9;
    if (std::isnan(x) || x <= -bound) return -static_cast<int>(bound);
    if (x >= bound) return static_cast<int>(bound);
    return static_cast<int>(std::lround(x));
}

struct BlockType {
    std::string_view type; // first 11 characters of the antenna type
    int iblock;
};
constexpr BlockType gps_blocks[] = {
    {"BLOCK I    ", iblock_gps_i},     {"BLOCK II   ", iblock_gps_ii},    {"BLOCK IIA  ", iblock_gps_iia},
    {"BLOCK IIR-A", iblock_gps_iir_a}, {"BLOCK IIR-B", iblock_gps_iir_b}, {"BLOCK IIR-M", iblock_gps_iir_m},
    {"BLOCK IIF  ", iblock_gps_iif},
};
constexpr BlockType glonass_blocks[] = {
    {"GLONASS    ", iblock_glonass},
    {"GLONASS-M  ", iblock_glonass_m},
    {"GLONASS-K1 ", iblock_glonass_k1},
};

template <std::size_t N>
int find_block(const BlockType (&table)[N], std::string_view type11) {
    for (const BlockType& b : table)
        if (b.type == type11) return b.iblock;
    return 0;
}

[[noreturn]] void stop(frame::Log& log, const char* message) {
    log.list(message);
    throw frame::Stop(message);
}

// The reader's running state: what the labels met so far have set. Nothing is reset between
// antennas except the validity, as the file's own order is not enforced.
struct ReaderState {
    int kant = 0;     // receiver antennas so far
    int iantrole = 0; // of the last TYPE / SERIAL NO: 1 satellite, 2 receiver
    int sat_iconst = 0, sat_iprn = 0, isv = 0, iblock = 0;
    int iconst = 0, ifreq = 0;   // last frequency block that the tables hold
    bool skipping_block = false; // a frequency block of a constellation the tables do not hold
    bool in_rms_block = false;   // between START OF FREQ RMS and END OF FREQ RMS
    double zen1 = 0, zen2 = 0, dzen = 0, dazi = 0;
    int nzen = 0, idazi_ddeg = 0, n_azi = 0;
    std::optional<textio::Format> fmt_noazi, fmt_azi;
    double tdjm_from = atx_valid_from_default;
    double tdjm_until = atx_valid_until_default;
};

class AntexReader {
  public:
    AntexReader(std::string name, AntexTables& atx, frame::Log& log, frame::TextSink& out)
        : name_(std::move(name)), atx_(atx), log_(log), out_(out) {}

    void run();

  private:
    // The next line of the file; false at its end. A read failure stops the run.
    bool next_line(std::string& line);
    [[noreturn]] void reading_error() {
        log_.list("ERROR reading ANTEX file: antexfile= ", name_);
        throw frame::Stop("ERROR reading ANTEX file");
    }
    template <class... A>
    void read_or_stop(const textio::Format& fmt, std::string_view text, A&... items) {
        if (!fmt.read_numbers(text, items...).ok()) reading_error();
    }

    void version(const std::string& line);
    void pcv_type(const std::string& line);
    void type_serial(const std::string& line);
    void method(const std::string& line);
    double validity(const std::string& line);
    void grid_azimuth(const std::string& line);
    void grid_zenith(const std::string& line);
    void frequencies(const std::string& line);
    void frequency_block(const std::string& line);
    // Returns false when the file ends inside the rows.
    bool offsets_and_rows(const std::string& line);
    void end_of_antenna();
    int antenna_slot(); // isa of the current antenna, checked against the tables

    // The layouts of the labelled lines, compiled once per file.
    struct Formats {
        textio::Format echo{"(i5,1x,a)"};
        textio::Format version{"(F8.1,12X,A1,39X)"};
        textio::Format pcv_type{"(A1,19X,A20,A20)"};
        textio::Format type_serial{"(2a20,2a10)"};
        textio::Format prn{"(1x,i2)"};
        textio::Format svn{"(1x,i3)"};
        textio::Format method{"(2a20,i6,4x,a10)"};
        textio::Format validity{"(5I6,F13.7)"};
        textio::Format dazi{"(2x,f6.1)"};
        textio::Format zen{"(2X,3F6.1)"};
        textio::Format nfreq{"(I6)"};
        textio::Format frequency{"(3X,A1,I2)"};
        textio::Format neu{"(3F10.2)"};
    };

    std::string name_;
    AntexTables& atx_;
    frame::Log& log_;
    frame::TextSink& out_;
    detail::AntennaFileLines file_;
    Formats fmt_;
    ReaderState s_;
    std::string row_; // a pattern row being read
};

bool AntexReader::next_line(std::string& line) {
    const auto got = file_.next(line, max_line_length);
    if (got == detail::AntennaFileLines::Got::error) reading_error();
    return got == detail::AntennaFileLines::Got::line;
}

void AntexReader::run() {
    if (!file_.open(name_)) {
        log_.list("ERROR opening ANTEX file: antexfile= ", name_);
        throw frame::Stop("ERROR opening ANTEX file");
    }
    std::string line;
    while (next_line(line)) {
        std::string label(20, ' ');
        if (line.size() > 60) label.replace(0, std::min<std::size_t>(20, line.size() - 60), line, 60, 20);
        out_.formatted(fmt_.echo, static_cast<int>(trim_right(line).size()), label);

        const std::string_view lab = trim_right(label);
        if (lab == "ANTEX VERSION / SYST") {
            version(line);
        } else if (lab == "PCV TYPE / REFANT") {
            pcv_type(line);
        } else if (lab == "END OF HEADER" || lab == "START OF ANTENNA") {
            // Nothing to read; an accuracy block never runs across them.
            s_.in_rms_block = false;
        } else if (lab == "START OF FREQ RMS" || lab == "END OF FREQ RMS") {
            // The accuracies of a calibration have the layout of the calibration itself: their offset
            // line and rows are read past, so that they do not take the place of the values.
            s_.in_rms_block = lab == "START OF FREQ RMS";
        } else if (lab == "TYPE / SERIAL NO") {
            type_serial(line);
        } else if (lab == "METH / BY / # / DATE") {
            method(line);
        } else if (lab == "VALID FROM") {
            s_.tdjm_from = validity(line);
            out_.list("tdjm_valid_from=");
            out_.list(s_.tdjm_from);
        } else if (lab == "VALID UNTIL") {
            s_.tdjm_until = validity(line);
            out_.list("tdjm_valid_until=");
            out_.list(s_.tdjm_until);
        } else if (lab == "DAZI") {
            grid_azimuth(line);
        } else if (lab == "ZEN1 / ZEN2 / DZEN") {
            grid_zenith(line);
        } else if (lab == "# OF FREQUENCIES") {
            frequencies(line);
        } else if (lab == "START OF FREQUENCY") {
            frequency_block(line);
        } else if (lab == "NORTH / EAST / UP") {
            if (!offsets_and_rows(line)) return;
        } else if (lab == "END OF ANTENNA") {
            end_of_antenna();
        }
        // Every other label (END OF FREQUENCY, SINEX CODE, COMMENT, the RMS blocks ...) is ignored.
    }
}

void AntexReader::version(const std::string& line) {
    double antex_fv = 0;
    std::string antex_ss(1, ' ');
    read_or_stop(fmt_.version, line, antex_fv, antex_ss);
    out_.list("antex_fv,antex_ss=");
    out_.list(antex_fv, antex_ss);
    if (!(antex_fv <= 1.4 + 1e-7)) {
        log_.list("ERROR: unsupported ANTEX format version (>1.4)");
        throw frame::Stop("ERROR: unsupported ANTEX format version (>=1.4)");
    }
    if (std::string_view(" GRECJSM").find(antex_ss[0]) == std::string_view::npos) {
        log_.list("ERROR: unsupport. ANTEX sat. sys. (!= ,G,R,E,C,J,S,M)");
        throw frame::Stop("ERROR: unsuppor. ANTEX sat. sys. (!= ,G,R,E,C,J,S,M)");
    }
}

void AntexReader::pcv_type(const std::string& line) {
    std::string pcvtype(1, ' '), refant(20, ' '), refant_sn(20, ' ');
    read_or_stop(fmt_.pcv_type, line, pcvtype, refant, refant_sn);
    out_.list("pcvtype,refant,refant_sn=");
    out_.list(pcvtype, refant, refant_sn);
    if (pcvtype != "A") stop(log_, "ERROR: Non Absolute type of PCV in ANTEX file");
}

void AntexReader::type_serial(const std::string& line) {
    std::string type(20, ' '), sn(20, ' '), svn(10, ' '), cospar(10, ' ');
    read_or_stop(fmt_.type_serial, line, type, sn, svn, cospar);
    out_.list("ant_type,ant_sn,ant_svn,ant_cospar=");
    out_.list(type, sn, svn, cospar);

    const std::string_view type11 = std::string_view(type).substr(0, 11);
    int iconst = 1;
    if (type.starts_with("BLOCK")) {
        s_.iantrole = 1;
        s_.iblock = find_block(gps_blocks, type11);
        if (s_.iblock == 0) {
            log_.list("ERROR: Unsupported GPS block:", type);
            throw frame::Stop("ERROR: Unsupported GPS block");
        }
    } else if (type.starts_with("GLONASS")) {
        s_.iantrole = 1;
        iconst = 2;
        s_.iblock = find_block(glonass_blocks, type11);
        if (s_.iblock == 0) {
            log_.list("ERROR: Unsupported GLONASS block:", type);
            throw frame::Stop("ERROR: Unsupported GLONASS block");
        }
    } else {
        s_.iantrole = 2;
        s_.iblock = 0;
    }

    if (s_.iantrole == 1) {
        int iprn = 0, isv = 0;
        read_or_stop(fmt_.prn, sn, iprn);
        read_or_stop(fmt_.svn, svn, isv);
        if (iprn > maxprn) stop(log_, "ERROR: iprn.gt.maxprn");
        if (iprn < 1) stop(log_, "ERROR: iprn.lt.1");
        std::vector<AntexSatelliteEntry>& entries = atx_.satellite_slot(iconst, iprn);
        if (static_cast<int>(entries.size()) + 1 > maxksv_per_prn)
            stop(log_, "ERROR: ksv(iconst,iprn).gt.maxksv_per_prn");
        entries.push_back({isv, s_.iblock, 0.0, 0.0});
        s_.sat_iconst = iconst;
        s_.sat_iprn = iprn;
        s_.isv = isv;
        out_.list("iantrole,iconst,iprn,ksv,isv,iblock=");
        out_.list(s_.iantrole, iconst, iprn, static_cast<int>(entries.size()), isv, s_.iblock);
    } else {
        if (s_.kant + 1 > maxant) stop(log_, "ERROR: kant.gt.maxant");
        s_.kant = atx_.add_receiver_antenna(type);
        s_.sat_iconst = s_.sat_iprn = s_.isv = 0;
        out_.list("iantrole,kant=");
        out_.list(s_.iantrole, s_.kant);
    }
}

void AntexReader::method(const std::string& line) {
    std::string meth(20, ' '), by(20, ' '), date(10, ' ');
    int ncal = 0;
    read_or_stop(fmt_.method, line, meth, by, ncal, date);
    out_.list("meth,by,ncal,date=");
    out_.list(meth, by, ncal, date);
}

double AntexReader::validity(const std::string& line) {
    int iy = 0, imo = 0, ida = 0, iho = 0, imi = 0;
    double sec = 0;
    read_or_stop(fmt_.validity, line, iy, imo, ida, iho, imi, sec);
    out_.list("iy,imo,ida,iho,imi,sec=");
    out_.list(iy, imo, ida, iho, imi, sec);
    // The date goes through the two-digit-year conversion of the message headers.
    int iyear = 0, idoy = 0, idjm = 0;
    messages::yymmdd2yeardoydjm(iy % 100, imo, ida, iyear, idoy, idjm, log_);
    return idjm + (iho + imi / 60.0 + sec / 3600.0) / 24.0;
}

void AntexReader::grid_azimuth(const std::string& line) {
    read_or_stop(fmt_.dazi, line, s_.dazi);
    s_.idazi_ddeg = nint_held(10.0 * s_.dazi);
    s_.n_azi = 0;
    if (s_.idazi_ddeg > 0) {
        s_.n_azi = nint_held(360.0 / s_.dazi) + 1;
        if (s_.n_azi > maxazi) stop(log_, "ERROR: n_azi.gt.maxazi");
    }
    out_.list("dazi,idazi_ddeg,n_azi=");
    out_.list(s_.dazi, s_.idazi_ddeg, s_.n_azi);
}

void AntexReader::grid_zenith(const std::string& line) {
    read_or_stop(fmt_.zen, line, s_.zen1, s_.zen2, s_.dzen);
    // A zero step or reversed bounds give no usable count: like a count above the tables, that stops.
    s_.nzen = nint_held((s_.zen2 - s_.zen1) / s_.dzen) + 1;
    if (s_.nzen > maxzen) stop(log_, "ERROR: nzen.gt.maxzen");
    if (s_.nzen < 1) stop(log_, "ERROR: nzen.lt.1");
    char count[4];
    std::snprintf(count, sizeof count, "%03d", s_.nzen);
    s_.fmt_noazi.emplace(std::string("(3x,a5,") + count + "(f8.2))");
    s_.fmt_azi.emplace(std::string("(f8.1,") + count + "(f8.2))");
    out_.list("zen1,zen2,dzen,nzen=");
    out_.list(s_.zen1, s_.zen2, s_.dzen, s_.nzen);
}

void AntexReader::frequencies(const std::string& line) {
    int nfreq = 0;
    read_or_stop(fmt_.nfreq, line, nfreq);
    out_.list("nfreq=");
    out_.list(nfreq);
    if (nfreq > maxfreq) stop(log_, "ERROR: nfreq.gt.maxfreq");
}

void AntexReader::frequency_block(const std::string& line) {
    std::string letter(1, ' ');
    int ifreq = 0;
    read_or_stop(fmt_.frequency, line, letter, ifreq);
    out_.list("ksys,ifreq=");
    out_.list(letter, ifreq);
    const std::size_t pos = std::string_view("GRECJS").find(letter[0]);
    if (pos == std::string_view::npos) {
        log_.list("ERROR: unknown kconst= ", letter);
        throw frame::Stop("ERROR: unknown kconst");
    }
    const int kconst = static_cast<int>(pos) + 1;
    if (ifreq > maxfreq) stop(log_, "ERROR: ifreq.gt.maxfreq");
    if (ifreq < 1) stop(log_, "ERROR: ifreq.lt.1");
    s_.in_rms_block = false;
    // The tables hold GPS, GLONASS and Galileo; a BeiDou, QZSS or SBAS block is read past.
    s_.skipping_block = kconst > maxconst;
    if (s_.skipping_block) {
        out_.list("frequency block skipped: kconst,ifreq=", kconst, ifreq);
        return;
    }
    s_.iconst = kconst;
    s_.ifreq = ifreq;
}

int AntexReader::antenna_slot() {
    const int isa = s_.iantrole == 1 ? s_.isv : s_.kant;
    if (isa > maxant) stop(log_, "ERROR: isa.gt.maxant");
    if (isa < 1) stop(log_, "ERROR: isa.lt.1");
    return isa;
}

bool AntexReader::offsets_and_rows(const std::string& line) {
    std::array<double, 3> neu{};
    read_or_stop(fmt_.neu, line, neu);
    out_.list("xnorth,east,up=");
    out_.list(neu);

    const bool skip = s_.skipping_block || s_.in_rms_block;
    AntexPattern* p = nullptr;
    int isa = 0;
    if (!skip) {
        if (s_.iantrole < 1 || s_.iconst < 1 || s_.ifreq < 1)
            stop(log_, "ERROR: NORTH / EAST / UP outside an antenna frequency block");
        isa = antenna_slot();
    }
    if (!s_.fmt_noazi) stop(log_, "ERROR: NORTH / EAST / UP before ZEN1 / ZEN2 / DZEN");
    if (!skip) {
        p = &atx_.pattern_slot(s_.iantrole, s_.iconst, s_.ifreq, isa);
        p->pco_neu = neu;
        p->read_pco_neu = true;
    }

    const auto nzen = static_cast<std::size_t>(s_.nzen);
    std::vector<double> values(nzen);
    std::string noazi(5, ' ');
    if (!next_line(row_)) return false;
    read_or_stop(*s_.fmt_noazi, row_, noazi, values);
    if (p != nullptr) {
        std::copy(values.begin(), values.end(), p->pcv_noazi.begin());
    }
    // The node lines are the bulk of the echo: not even formatted when it goes nowhere.
    if (p != nullptr && out_.is_open()) {
        out_.list("AFTER: iantrole,iconst,ifreq,isa,izen,pcv_noazi=");
        for (std::size_t iz = 0; iz < nzen; ++iz)
            out_.list(s_.iantrole, s_.iconst, s_.ifreq, isa, static_cast<int>(iz + 1), values[iz]);
    }

    const auto n_azi = static_cast<std::size_t>(s_.n_azi);
    if (p != nullptr && p->pcv_azi.size() < n_azi) {
        p->pcv_azi.resize(n_azi);
        p->azi.resize(n_azi);
    }
    for (std::size_t ia = 0; ia < n_azi; ++ia) {
        double azi = 0;
        if (!next_line(row_)) return false;
        read_or_stop(*s_.fmt_azi, row_, azi, values);
        if (p == nullptr) continue;
        p->azi[ia] = azi;
        std::copy(values.begin(), values.end(), p->pcv_azi[ia].begin());
        if (!out_.is_open()) continue;
        out_.list("iantrole,iconst,ifreq,isa,izen,iazi,azi,pcv_azi=");
        for (std::size_t iz = 0; iz < nzen; ++iz)
            out_.list(s_.iantrole, s_.iconst, s_.ifreq, isa, static_cast<int>(iz + 1),
                      static_cast<int>(ia + 1), azi, values[iz]);
    }
    return true;
}

void AntexReader::end_of_antenna() {
    if (s_.iantrole == 1 && s_.sat_iprn >= 1) {
        std::vector<AntexSatelliteEntry>& entries = atx_.satellite_slot(s_.sat_iconst, s_.sat_iprn);
        if (!entries.empty()) {
            entries.back().tdjm_from = s_.tdjm_from;
            entries.back().tdjm_until = s_.tdjm_until;
        }
    }
    if (s_.iantrole >= 1 && s_.iconst >= 1) {
        const int isa = antenna_slot();
        AntexPcInfo& info = atx_.pc_info_slot(s_.iantrole, s_.iconst, isa);
        info = {s_.zen1,       s_.zen2,       s_.dzen,  s_.dazi, s_.tdjm_from,
                s_.tdjm_until, s_.idazi_ddeg, s_.n_azi, true};
        out_.list("iantrole,iconst,isa,zen1,zen2,dzen,dazi,tdjm_from,tdjm_until,idazi_ddeg,n_azi=");
        out_.list(s_.iantrole, s_.iconst, isa, s_.zen1, s_.zen2, s_.dzen, s_.dazi, s_.tdjm_from,
                  s_.tdjm_until, s_.idazi_ddeg, s_.n_azi);
    }
    s_.tdjm_from = atx_valid_from_default;
    s_.tdjm_until = atx_valid_until_default;
}

} // namespace

AntexTables::AntexTables() {
    clear();
}

void AntexTables::clear() {
    pattern_index_.assign(static_cast<std::size_t>(maxantrole) * maxconst * maxfreq * maxant, 0);
    patterns_.clear();
    pc_info_.assign(static_cast<std::size_t>(maxantrole) * maxconst * maxant, AntexPcInfo{});
    satellites_.assign(static_cast<std::size_t>(maxconst) * maxprn, {});
    ant_type_.clear();
}

std::string_view AntexTables::atx_ant_type_(int kant) const {
    if (!in_range(kant, 1, iatx_nant())) return blank_type;
    return ant_type_[static_cast<std::size_t>(kant - 1)];
}

int AntexTables::receiver_antenna_index(std::string_view type) const {
    std::string key(type.substr(0, std::min<std::size_t>(type.size(), ant_type_length)));
    key.resize(ant_type_length, ' ');
    for (std::size_t k = 0; k < ant_type_.size(); ++k)
        if (ant_type_[k] == key) return static_cast<int>(k) + 1;
    return 0;
}

const AntexPattern* AntexTables::pattern(int iantrole, int iconst, int ifreq, int isa) const {
    if (!pattern_indices_ok(iantrole, iconst, ifreq, isa)) return nullptr;
    const std::int32_t pos = pattern_index_[pattern_address(iantrole, iconst, ifreq, isa)];
    return pos == 0 ? nullptr : &patterns_[static_cast<std::size_t>(pos - 1)];
}

bool AntexTables::atx_read_pco_neu(int iantrole, int iconst, int ifreq, int isa) const {
    const AntexPattern* p = pattern(iantrole, iconst, ifreq, isa);
    return p != nullptr && p->read_pco_neu;
}

double AntexTables::atx_pco_neu(int iantrole, int iconst, int ifreq, int isa, int i) const {
    const AntexPattern* p = pattern(iantrole, iconst, ifreq, isa);
    if (p == nullptr || !in_range(i, 1, 3)) return 0.0;
    return p->pco_neu[static_cast<std::size_t>(i - 1)];
}

double AntexTables::atx_pcv_noazi(int iantrole, int iconst, int ifreq, int isa, int izen) const {
    const AntexPattern* p = pattern(iantrole, iconst, ifreq, isa);
    if (p == nullptr || !in_range(izen, 1, maxzen)) return 0.0;
    return p->pcv_noazi[static_cast<std::size_t>(izen - 1)];
}

double AntexTables::atx_pcv_azi(int iantrole, int iconst, int ifreq, int isa, int izen, int iazi) const {
    const AntexPattern* p = pattern(iantrole, iconst, ifreq, isa);
    if (p == nullptr || !in_range(izen, 1, maxzen) || !in_range(iazi, 1, static_cast<int>(p->pcv_azi.size())))
        return 0.0;
    return p->pcv_azi[static_cast<std::size_t>(iazi - 1)][static_cast<std::size_t>(izen - 1)];
}

double AntexTables::atx_azi(int iantrole, int iconst, int ifreq, int isa, int iazi) const {
    const AntexPattern* p = pattern(iantrole, iconst, ifreq, isa);
    if (p == nullptr || !in_range(iazi, 1, static_cast<int>(p->azi.size()))) return 0.0;
    return p->azi[static_cast<std::size_t>(iazi - 1)];
}

const AntexPcInfo* AntexTables::pc_info(int iantrole, int iconst, int isa) const {
    if (!in_range(iantrole, 1, maxantrole) || !in_range(iconst, 1, maxconst) || !in_range(isa, 1, maxant))
        return nullptr;
    const AntexPcInfo& info = pc_info_[pc_info_address(iantrole, iconst, isa)];
    return info.set ? &info : nullptr;
}

double AntexTables::atx_pc__info(int iantrole, int iconst, int isa, int k) const {
    const AntexPcInfo* info = pc_info(iantrole, iconst, isa);
    if (info == nullptr) return 0.0;
    switch (k) {
    case 1:
        return info->zen1;
    case 2:
        return info->zen2;
    case 3:
        return info->dzen;
    case 4:
        return info->dazi;
    case 5:
        return info->tdjm_from;
    case 6:
        return info->tdjm_until;
    default:
        return 0.0;
    }
}

int AntexTables::iatx_pc__info(int iantrole, int iconst, int isa, int k) const {
    const AntexPcInfo* info = pc_info(iantrole, iconst, isa);
    if (info == nullptr) return 0;
    return k == 1 ? info->idazi_ddeg : k == 2 ? info->n_azi : 0;
}

int AntexTables::iatx_ksv(int iconst, int iprn) const {
    return static_cast<int>(satellite_entries(iconst, iprn).size());
}

std::span<const AntexSatelliteEntry> AntexTables::satellite_entries(int iconst, int iprn) const {
    if (!in_range(iconst, 1, maxconst) || !in_range(iprn, 1, maxprn)) return {};
    return satellites_[static_cast<std::size_t>((iconst - 1) * maxprn + (iprn - 1))];
}

int AntexTables::iatx_prn2svblock(int iconst, int iprn, int ksv, int k) const {
    const auto entries = satellite_entries(iconst, iprn);
    if (!in_range(ksv, 1, static_cast<int>(entries.size()))) return 0;
    const AntexSatelliteEntry& e = entries[static_cast<std::size_t>(ksv - 1)];
    return k == 1 ? e.isv : k == 2 ? e.iblock : 0;
}

double AntexTables::atx_tdjm(int iconst, int iprn, int ksv, int k) const {
    const auto entries = satellite_entries(iconst, iprn);
    if (!in_range(ksv, 1, static_cast<int>(entries.size()))) return 0.0;
    const AntexSatelliteEntry& e = entries[static_cast<std::size_t>(ksv - 1)];
    return k == 1 ? e.tdjm_from : k == 2 ? e.tdjm_until : 0.0;
}

AntexPattern& AntexTables::pattern_slot(int iantrole, int iconst, int ifreq, int isa) {
    std::int32_t& pos = pattern_index_[pattern_address(iantrole, iconst, ifreq, isa)];
    if (pos == 0) {
        patterns_.emplace_back();
        pos = static_cast<std::int32_t>(patterns_.size());
    }
    return patterns_[static_cast<std::size_t>(pos - 1)];
}

AntexPcInfo& AntexTables::pc_info_slot(int iantrole, int iconst, int isa) {
    return pc_info_[pc_info_address(iantrole, iconst, isa)];
}

std::vector<AntexSatelliteEntry>& AntexTables::satellite_slot(int iconst, int iprn) {
    return satellites_[static_cast<std::size_t>((iconst - 1) * maxprn + (iprn - 1))];
}

int AntexTables::add_receiver_antenna(std::string_view type) {
    std::string t(type.substr(0, std::min<std::size_t>(type.size(), ant_type_length)));
    t.resize(ant_type_length, ' ');
    ant_type_.push_back(std::move(t));
    return iatx_nant();
}

int read_antex_v2b(const std::string& antexfile, AntexTables& atx, frame::Log& log, frame::TextSink& out) {
    atx.clear();
    AntexReader reader(frame::trimmed(antexfile), atx, log, out);
    reader.run();
    return 0;
}

void load_antenna_calibrations(const frame::Config& cfg, PcvTable& pcv, AntexTables& atx, frame::Log& log,
                               frame::TextSink& out) {
    // 1. The phase-centre table. Its status is not acted upon: an unreadable table has already said
    //    so in the log, and the antennas read before the error stay usable.
    (void)read_pcv(cfg.igspcvfile, pcv, log);
    if (!log.silent) {
        log.list();
        log.list(" READ Phase Center values /mm: nant=", pcv.nant);
        for (int iant = 1; iant <= pcv.nant; ++iant) {
            const PcvAntenna& a = pcv.antennas[static_cast<std::size_t>(iant - 1)];
            log.list(" L1: iant,ant_type,ph_c_offset=", iant, a.ant_type, a.offset[0]);
            log.list("   : ph_c_elev=", a.elev[0]);
            log.list(" L2: iant,ant_type,ph_c_offset=", iant, a.ant_type, a.offset[1]);
            log.list("   : ph_c_elev=", a.elev[1]);
            log.list();
        }
    }

    // 3. Without ANTEX only the receiver table is there.
    if (!cfg.antexusage) {
        log.list();
        log.list("WARNING: Not used ANTEX file (antex_usage= ", cfg.antexusage, ")");
        return;
    }

    // 2. The ANTEX file and its summary.
    const int ierrrantex = read_antex_v2b(cfg.antexfile, atx, log, out);
    log.list();
    log.list(" READ ANTEX PC values /mm: iatx_nant=", atx.iatx_nant());
    log.list("ierrrantex=", ierrrantex);
    for (int iconst = 1; iconst <= maxconst; ++iconst) {
        for (int iprn = 1; iprn <= maxprn; ++iprn) {
            const auto entries = atx.satellite_entries(iconst, iprn);
            log.list("iconst,iprn,iatx_ksv(iconst,iprn)=", iconst, iprn, static_cast<int>(entries.size()));
            for (std::size_t k = 0; k < entries.size(); ++k)
                log.list(static_cast<int>(k + 1), entries[k].isv, entries[k].iblock);
        }
    }
    for (int iant = 1; iant <= atx.iatx_nant(); ++iant)
        log.list("iant,ant_type_(iant)=", iant, atx.atx_ant_type_(iant));
    // Offsets of GPS and GLONASS entries.
    for (int iantrole = 1; iantrole <= maxantrole; ++iantrole)
        for (int iconst = 1; iconst <= 2; ++iconst)
            for (int ifre = 1; ifre <= maxfreq; ++ifre)
                for (int isa = 1; isa <= maxant; ++isa) {
                    const AntexPattern* p = atx.pattern(iantrole, iconst, ifre, isa);
                    if (p == nullptr || !p->read_pco_neu) continue;
                    for (int i = 1; i <= 3; ++i)
                        log.list("iantrole,iconst,ifre,isa,i,atx_pco_neu=", iantrole, iconst, ifre, isa, i,
                                 p->pco_neu[static_cast<std::size_t>(i - 1)]);
                }
}

} // namespace quelmar::auxfiles
