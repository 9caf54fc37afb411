#include "auxfiles/pcv.hpp"

#include "frame/config.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "textio/format.hpp"

namespace quelmar::auxfiles {

namespace {

constexpr std::string_view blank_type = "                    "; // 20 blanks
static_assert(blank_type.size() == ant_type_length);

constexpr int header_lines = 11;

bool in_range(int i, int lo, int hi) {
    return i >= lo && i <= hi;
}

} // namespace

std::string_view PcvTable::ant_type_(int iant) const {
    if (!in_range(iant, 1, static_cast<int>(antennas.size()))) return blank_type;
    return antennas[static_cast<std::size_t>(iant - 1)].ant_type;
}

double PcvTable::phase_center_offset_(int ifre, int icomp, int iant) const {
    if (!in_range(ifre, 1, pcv_nfreq) || !in_range(icomp, 1, 3) ||
        !in_range(iant, 1, static_cast<int>(antennas.size())))
        return 0.0;
    return antennas[static_cast<std::size_t>(iant - 1)]
        .offset[static_cast<std::size_t>(ifre - 1)][static_cast<std::size_t>(icomp - 1)];
}

double PcvTable::phase_center_elev_(int ifre, int inode, int iant) const {
    if (!in_range(ifre, 1, pcv_nfreq) || !in_range(inode, 1, pcv_nelev) ||
        !in_range(iant, 1, static_cast<int>(antennas.size())))
        return 0.0;
    return antennas[static_cast<std::size_t>(iant - 1)]
        .elev[static_cast<std::size_t>(ifre - 1)][static_cast<std::size_t>(inode - 1)];
}

int read_pcv(const std::string& igspcvfile, PcvTable& pcv, frame::Log& log) {
    pcv.nant = 0;
    pcv.antennas.clear();

    const std::string name = frame::trimmed(igspcvfile);
    detail::AntennaFileLines file;
    if (!file.open(name)) {
        log.list("ERROR: opening igspcvfile file: ", name);
        return 1;
    }
    auto reading_error = [&log]() {
        log.list("ERROR: reading input igspcvfile");
        return 2;
    };

    std::string line;
    for (int i = 0; i < header_lines; ++i) {
        const detail::AntennaFileLines::Got got = file.next(line);
        if (got == detail::AntennaFileLines::Got::end) return 0;
        if (got == detail::AntennaFileLines::Got::error) return reading_error();
    }

    const textio::Format fmt_name("(a,a)");
    const textio::Format fmt_offset("(3f10.1)");
    const textio::Format fmt_elev_1("(10f6.1)");
    const textio::Format fmt_elev_2("(9f6.1)");
    std::string description(64, ' ');

    // One value line of the current antenna; the file ending here leaves the antenna incomplete,
    // which is a reading error like a value that does not convert.
    auto value_line = [&](const textio::Format& fmt, auto first, auto last) {
        if (file.next(line) != detail::AntennaFileLines::Got::line) return false;
        std::vector<textio::InItem> items(first, last);
        return textio::require_finite(fmt.read_items(line, items), items).ok();
    };

    int k = 1; // the antenna being read
    for (;;) {
        const detail::AntennaFileLines::Got got = file.next(line);
        if (got == detail::AntennaFileLines::Got::end) return 0;
        if (got == detail::AntennaFileLines::Got::error) return reading_error();

        PcvAntenna& a = pcv.antennas.emplace_back();
        // Character fields cannot fail: a short line reads as blank-padded.
        (void)fmt_name.read(line, a.ant_type, description);

        for (std::size_t f = 0; f < pcv_nfreq; ++f) {
            std::vector<textio::InItem> off(a.offset[f].begin(), a.offset[f].end());
            std::vector<textio::InItem> elev(a.elev[f].begin(), a.elev[f].end());
            if (!value_line(fmt_offset, off.begin(), off.end()) ||
                !value_line(fmt_elev_1, elev.begin(), elev.begin() + 10) ||
                !value_line(fmt_elev_2, elev.begin() + 10, elev.end()))
                return reading_error();
        }

        // The slot count runs one ahead of the antennas read, so the last slot is never filled: a
        // table holds at most maxant - 1 antennas.
        ++k;
        if (k > maxant) {
            log.list("ERROR: kant.gt.maxant");
            throw frame::Stop("ERROR: kant.gt.maxant");
        }
        pcv.nant = k - 1;
    }
}

} // namespace quelmar::auxfiles
