// Station role lists, the reference receiver, the low-orbit antenna offsets, and the start-up step
// that loads them together with the solar-flux table and the ionospheric voxel centres.
//
// The role lists are small text files of four-character station names, one per record, read in free
// (list-directed) form: they tell which receivers of the run have their coordinates estimated, which
// behave like rovers, which are real-time rovers and which get their ambiguities fixed. A list holds
// at most maxrec (6) names, the size of the receiver tables of a run.
//
// Readers return a status: 0 ok, 1 the file cannot be opened, 2 a record cannot be read (the list then
// holds the names read before it); the reference receiver adds -1 for an empty file. Their error and
// warning lines go to the log whatever silent_log says. A list with more than maxrec names stops the
// run: the extra names could not be honoured, and a role silently dropped would change the results.
#pragma once

#include <span>
#include <string>

#include "auxfiles/solar_flux.hpp"
#include "auxfiles/voxel_centers.hpp"
#include "frame/limits.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
class Log;
struct Config;
} // namespace quelmar::frame

namespace quelmar::auxfiles {

// Up to maxrec station names of four characters each; entries past the count are four blanks.
using StationNames = Array1<std::string, maxrec>;

// Offsets of the antenna from the centre of mass of each low-orbit rover (along-track, cross-track,
// radial, metres), by position in reclst_rover_sp3_leo_sta.
using LeoOffsets = Array2<double, maxrec, 3>;

// The four role lists. Each reads one name per record; blank records are passed over as free-format
// input does, a longer name keeps its first four characters.
void read_to_estimate_xyz(StationNames& reclst_to_estimate_xyz, int& nrec_to_estimate_xyz,
                          const std::string& sta2estposfile, int& ierr, frame::Log& log);
void read_rover_like(StationNames& reclst_rover_like, int& nrec_rover_like,
                     const std::string& sta2roverlikefile, int& ierr, frame::Log& log);
void read_rover_rt(StationNames& reclst_rover_rt, int& nrec_rover_rt, const std::string& sta2roverrtfile,
                   int& ierr, frame::Log& log);
void read_fixing_ambiguities(StationNames& reclst_fixing_amb, int& nrec_fixing_amb,
                             const std::string& sta2fixingambfile, int& ierr, frame::Log& log);

// The reference receiver: the first name of the file. Four blanks when the file cannot be opened or
// read or is empty (status -1, with a warning).
void read_reference_rec(std::string& refrec, const std::string& sta2refrecfile, int& ierrrrr,
                        frame::Log& log);

// The antenna offsets of low-orbit rovers: records of a name and three offsets. Only stations of the
// rover station list (the receivers with their own trajectory file) are kept, in file order; a record
// for any other station is logged as a warning and passed over.
void read_leocm2pc(const std::string& leocm2pcfile, std::span<const std::string> reclst_rover_sp3_sta,
                   int nrec_rover_sp3_sta, StationNames& reclst_rover_sp3_leo_sta,
                   int& nrec_rover_sp3_leo_sta, LeoOffsets& xleocm2pc_offset_, int& ierrlc2p,
                   frame::Log& log);

// The auxiliary tables loaded at start-up, owned by the run.
struct AuxTables {
    AuxTables();

    std::string refrec = "    ";
    StationNames reclst_to_estimate_xyz, reclst_rover_like, reclst_rover_rt, reclst_fixing_amb;
    int nrec_to_estimate_xyz = 0, nrec_rover_like = 0, nrec_rover_rt = 0, nrec_fixing_amb = 0;

    StationNames reclst_rover_sp3_leo_sta;
    int nrec_rover_sp3_leo_sta = 0;
    LeoOffsets xleocm2pc_offset_;

    SolarFluxTable sflux;
    VoxelGrid voxels;
};

// Start-up, after the antenna calibrations: the low-orbit offsets, the four role lists, the voxel
// centres (when estimate_iono_model), the solar-flux table (when model_apriori_iono) and the reference
// receiver, each followed by its log lines (informative ones only when !log.silent). The rover station
// list of the precise-orbit files must be loaded before. Stops the run (frame::Stop) on the conditions
// of the flux and voxel readers and on an overfull list.
void load_role_lists_and_tables(const frame::Config& cfg, std::span<const std::string> reclst_rover_sp3_sta,
                                int nrec_rover_sp3_sta, AuxTables& aux, frame::Log& log);

} // namespace quelmar::auxfiles
