// A run: everything the program keeps from start-up to the end of its input, and the driver that
// builds it and runs the message loop.
#pragma once

#include <cstdio>
#include <string>

#include "auxfiles/antex.hpp"
#include "auxfiles/constellation_status.hpp"
#include "auxfiles/pcv.hpp"
#include "auxfiles/precise_orbits.hpp"
#include "auxfiles/role_lists.hpp"
#include "auxfiles/tropo_files.hpp"
#include <memory>

#include "iono/nequick.hpp"
#include "chain/chain.hpp"
#include "chain/epoch_control.hpp"
#include "frame/config.hpp"
#include "frame/constants.hpp"
#include "frame/log.hpp"
#include "frame/signals.hpp"
#include "frame/state.hpp"
#include "messages/ephemeris.hpp"
#include "messages/observation.hpp"
#include "messages/registry.hpp"
#include "measurement/measurement.hpp"
#include "messages/station.hpp"
#include "models/geometry.hpp"
#include "orbits/precise.hpp"

namespace quelmar::frame {

inline constexpr const char* log_file_normal = "quelmar_v2.2.0.log";
inline constexpr const char* log_file_rover = "quelmar_v2.2.0.rover.log";
inline constexpr const char* marker_file_name = "quelmar-flush";

struct Run {
    std::string arg1;                  // first command-line argument, blank if absent
    bool modus_operandi_rover = false; // rover mode: only the log name and the CDS handling differ
    Config cfg;
    Constants k;
    SignalTables sig;
    RunState st;
    messages::StationRegistry reg;  // receivers by slot
    std::int32_t irec = 0;          // slot of the receiver of the last message that named one
    messages::StationTables sta;    // per-receiver metadata, leap seconds, exclusion lists
    messages::EphemerisTable eph;   // broadcast ephemerides by PRN
    messages::CorrectionTable cds;  // ionospheric corrections by PRN (rover mode)
    messages::ObservationState obs; // the observation in processing and the per-receiver band tables
    models::AntennaPhaseTable antenna_phase_{}; // unwrapped wind-up angles per receiver and satellite
    orbits::PolintWork polint;                  // work space of the precise-orbit interpolation
    // Auxiliary files, loaded at start-up in this order.
    auxfiles::PreciseOrbitTable s3c;      // satellite precise orbits and clocks (refreshed in the run)
    auxfiles::PreciseOrbitTable rs3;      // rover trajectories
    auxfiles::RoverStationList rover_sp3; // stations whose positions come from the rover file
    bool required_sp3_clocks = false;     // clocks required of the last precise-orbit file read
    auxfiles::PcvTable pcv;               // phase-centre table of receiver antennas
    auxfiles::AntexTables atx;            // ANTEX calibrations of satellites and receivers
    auxfiles::AuxTables aux;              // role lists, reference receiver, offsets, flux, voxels
    auxfiles::ConstellationStatus gcs;    // PRN to space vehicle and block over time
    auxfiles::TropoTables tropo;          // troposphere grids and site files, read by day
    std::unique_ptr<iono::NeQuick> nequick; // the a priori ionosphere "n" and its coefficient files
    chain::EpochState epoch; // epoch control: memory of the previous observation, tables of the day
    chain::ChainState chain; // working values of the observation in processing
    measurement::MeasurementState meas; // its model terms, rows, residuals
    Log log;
    TextSink out{stdout}; // the output record stream
    std::string line3;    // the last line read from the marker file (1024 characters)
};

// The message codes, in the order in which a line's first four characters are tested.
enum class MessageCode { EXG, EXI, LEA, KLO, XYZ, ANT, AND, OT2, DUT, WLF, EPH, CDS, OB1, none };

// Classifies a line by its first four characters: the code and one blank, byte for byte.
MessageCode classify(std::string_view line);

// Start-up: mode, log, configuration, constants, per-run state, auxiliary files, marker file.
void startup(Run& run, int argc, char** argv);

// Hands one input line to the handler of its code; lines without a known code are skipped.
void dispatch(Run& run, std::string_view line1);

// The loop over the input lines until end of input.
void message_loop(Run& run, std::FILE* in);

// One input line as a Fortran "(a)" read into the 20000-character line buffer: a longer line is cut
// and the rest of it skipped; a carriage return before the newline is dropped. False at end of input.
bool read_input_line(std::FILE* in, std::string& line);

// Reads the marker file and answers whether a log restart is requested (resetting a marker that
// cannot be read).
bool poll_marker(Run& run);

} // namespace quelmar::frame
