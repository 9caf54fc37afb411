// ANTEX antenna calibrations: phase-centre offsets and zenith/azimuth-dependent variations of
// receiver antennas and of GPS and GLONASS satellite antennas, and the PRN -> space vehicle and block
// mapping of the satellite antennas over time.
//
// Addressing. A calibration pattern is found by
//   iantrole  1 satellite antenna, 2 receiver antenna;
//   iconst    1 GPS, 2 GLONASS, 3 Galileo (the system letter G, R, E of the frequency block);
//   ifreq     the number of the frequency code (G01 -> 1, G02 -> 2, G05 -> 5);
//   isa       the space-vehicle number for a satellite antenna, the running receiver-antenna number
//             `kant` (file order, from 1) for a receiver antenna.
// Classification by the antenna type: a type beginning with "BLOCK" is a GPS satellite antenna, one
// beginning with "GLONASS" a GLONASS satellite antenna, every other type (Galileo, BeiDou, QZSS
// satellites included) a receiver antenna.
//
// Storage. As defined, the tables are dense (role x constellation x frequency x 900 antennas x 51
// zenith nodes x 73 azimuth rows, about 1.4 GB). Only the patterns that the file holds are stored;
// each keeps the dense layout of its own nodes (51 per row), so that writing a pattern a second time
// for the same address overwrites value by value exactly as the dense tables would. Values never
// written read as 0.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "auxfiles/pcv.hpp"
#include "frame/limits.hpp"

namespace quelmar::frame {
class Log;
class TextSink;
struct Config;
} // namespace quelmar::frame

namespace quelmar::auxfiles {

// Table maxima of the ANTEX tables (maxant, 900 antennas, is shared with the phase-centre table).
constexpr int maxantrole = 2;      // satellite, receiver
constexpr int maxconst = 3;        // GPS, GLONASS, Galileo
constexpr int maxfreq = 9;         // frequency numbers 1..9
constexpr int maxzen = 51;         // zenith (or nadir) nodes of a row
constexpr int maxazi = 73;         // azimuth rows (5-degree steps, 0 and 360 both given)
constexpr int maxprn = 39;         // PRN slots of the satellite mapping
constexpr int maxksv_per_prn = 20; // satellite antennas listed for one PRN

// Validity of an antenna without VALID FROM / VALID UNTIL (MJD).
constexpr double atx_valid_from_default = 11111.0;
constexpr double atx_valid_until_default = 99999.0;

// Block codes of the satellite antenna types.
constexpr int iblock_gps_i = 1, iblock_gps_ii = 2, iblock_gps_iia = 3, iblock_gps_iir_a = 4,
              iblock_gps_iir_b = 5, iblock_gps_iir_m = 6, iblock_gps_iif = 7, iblock_glonass = 11,
              iblock_glonass_m = 12, iblock_glonass_k1 = 13;

// The calibration of one (iantrole, iconst, ifreq, isa): the "NORTH / EAST / UP" line and the rows
// after it.
struct AntexPattern {
    std::array<double, 3> pco_neu{}; // north, east, up (mm)
    bool read_pco_neu = false;
    std::array<double, maxzen> pcv_noazi{};          // NOAZI row, node izen at [izen-1] (mm)
    std::vector<double> azi;                         // azimuth of row iazi at [iazi-1] (degrees)
    std::vector<std::array<double, maxzen>> pcv_azi; // row iazi, node izen at [iazi-1][izen-1] (mm)
};

// The grid and validity of one antenna, as stored at its "END OF ANTENNA".
struct AntexPcInfo {
    double zen1 = 0, zen2 = 0, dzen = 0, dazi = 0; // degrees
    double tdjm_from = 0, tdjm_until = 0;          // validity (MJD)
    int idazi_ddeg = 0;                            // round(10 * dazi)
    int n_azi = 0;                                 // azimuth rows
    bool set = false;
};

// One satellite antenna listed for a PRN.
struct AntexSatelliteEntry {
    int isv = 0;    // space-vehicle number
    int iblock = 0; // block code
    // Validity (MJD), stored at the antenna's END OF ANTENNA; 0 until then, so an antenna cut off by
    // the end of the file is valid at no epoch.
    double tdjm_from = 0, tdjm_until = 0;
};

class AntexTables {
  public:
    AntexTables();
    void clear();

    // Receiver antennas, in file order (kant = 1..iatx_nant).
    int iatx_nant() const { return static_cast<int>(ant_type_.size()); }
    std::string_view atx_ant_type_(int kant) const;
    // The first receiver antenna whose 20-character type equals `type` (blank-padded), 0 if none.
    int receiver_antenna_index(std::string_view type) const;

    // Patterns. Indices outside the tables, or an address the file did not fill, read as 0 / false /
    // nullptr.
    const AntexPattern* pattern(int iantrole, int iconst, int ifreq, int isa) const;
    bool atx_read_pco_neu(int iantrole, int iconst, int ifreq, int isa) const;
    double atx_pco_neu(int iantrole, int iconst, int ifreq, int isa, int i) const;              // i 1..3
    double atx_pcv_noazi(int iantrole, int iconst, int ifreq, int isa, int izen) const;         // 1..51
    double atx_pcv_azi(int iantrole, int iconst, int ifreq, int isa, int izen, int iazi) const; // iazi 1..73
    double atx_azi(int iantrole, int iconst, int ifreq, int isa, int iazi) const;
    std::size_t pattern_count() const { return patterns_.size(); }

    // Grid and validity of an antenna (iconst: the constellation of its last frequency block).
    const AntexPcInfo* pc_info(int iantrole, int iconst, int isa) const;
    // k = 1 zen1, 2 zen2, 3 dzen, 4 dazi, 5 validity start, 6 validity end.
    double atx_pc__info(int iantrole, int iconst, int isa, int k) const;
    // k = 1 idazi_ddeg, 2 number of azimuth rows.
    int iatx_pc__info(int iantrole, int iconst, int isa, int k) const;

    // Satellite antennas of a PRN (iconst 1..3, iprn 1..39), in file order.
    int iatx_ksv(int iconst, int iprn) const;
    std::span<const AntexSatelliteEntry> satellite_entries(int iconst, int iprn) const;
    // k = 1 space-vehicle number, 2 block code.
    int iatx_prn2svblock(int iconst, int iprn, int ksv, int k) const;
    // k = 1 validity start, 2 validity end (MJD).
    double atx_tdjm(int iconst, int iprn, int ksv, int k) const;

    // Filling, for the reader. Indices must be inside the tables.
    AntexPattern& pattern_slot(int iantrole, int iconst, int ifreq, int isa);
    AntexPcInfo& pc_info_slot(int iantrole, int iconst, int isa);
    std::vector<AntexSatelliteEntry>& satellite_slot(int iconst, int iprn);
    int add_receiver_antenna(std::string_view type); // returns kant

  private:
    std::vector<std::int32_t> pattern_index_; // dense address -> position in patterns_ + 1, 0 none
    std::vector<AntexPattern> patterns_;
    std::vector<AntexPcInfo> pc_info_;                         // dense: role x constellation x antenna
    std::vector<std::vector<AntexSatelliteEntry>> satellites_; // constellation x PRN
    std::vector<std::string> ant_type_;
};

// Reads the ANTEX file named by `antexfile` (132 characters, trailing blanks ignored) into `atx`.
//
// Labels (columns 61-80) are recognised wherever they occur; the order of the file is not checked.
// Frequency blocks of BeiDou, QZSS and SBAS (C, J, S), which no table holds, and the accuracy blocks
// (START OF FREQ RMS .. END OF FREQ RMS) are read past: their offset line and rows are consumed and not
// stored. The end of the file ends the reading wherever it comes, keeping what was read.
//
// Diagnostic echo on `out`: every line read by label, as "(i5,1x,a)" with its trimmed length and its
// label, and every field group recognised, as a list-directed line naming the fields followed by the
// values (one line per node for the pattern rows). When `out` is not open nothing is formatted.
//
// Returns the status `ierrrantex`, 0: every error stops the run (frame::Stop) with its message, which
// is written to the log as well.
int read_antex_v2b(const std::string& antexfile, AntexTables& atx, frame::Log& log, frame::TextSink& out);

// Start-up: reads the phase-centre table (`igspcvfile`; its status is not acted upon) and, when
// `antexusage` is set, the ANTEX file (`antexfile`), with their log lines.
void load_antenna_calibrations(const frame::Config& cfg, PcvTable& pcv, AntexTables& atx, frame::Log& log,
                               frame::TextSink& out);

} // namespace quelmar::auxfiles
