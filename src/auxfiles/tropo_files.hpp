// The troposphere files, opened by name in the working directory:
//
//  - "gpt2_1wA.grd", the GPT2w 1-degree grid (models 2 to 4): a header line, then 64800 grid points of
//    44 free-form values each. Read once per run, at the first observation that needs it.
//  - "VMFG_yyyydddhh", the five VMF1 grids of a day at 0, 6, 12, 18 and 24 h (model 3). Lines of 80
//    characters; "!" starts a comment, and the comment "! Range/resolution:" gives the grid limits and
//    spacings in its columns 23-41.
//  - "yyyyddd.vmf1", the VMF1 coefficients of the stations for a day (model 4): per line a site and ten
//    numbers (MJD, ah, aw, zenith delays, meteorology, height), four lines per site for 0, 6, 12, 18 h.
//
// A file that cannot be opened or read stops the run ("ERROR opening vfile", "ERROR reading vfile"),
// with the file named in the log.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "models/troposphere.hpp"

namespace quelmar::frame {
class Log;
}

namespace quelmar::auxfiles {

// The VMF1 site lines of one day's file.
struct VmfSiteFile {
    std::vector<std::string> rec_vmfg; // four-character site names
    std::vector<double> ah_vmfg_igs_site, aw_vmfg_igs_site;
    int kon() const { return static_cast<int>(rec_vmfg.size()); }
};

// What the troposphere keeps over a run: the grids and site files of the day, and the model 4
// coefficients chosen for the receiver of the last observation.
struct TropoTables {
    models::Gpt2wGrid gpt2w;
    models::VmfGrid vmf;
    VmfSiteFile sites, sites_fd; // the day and the next day
    bool sites_loaded = false;
    std::set<std::string> sites_missing; // receivers of the day not in the site file, warned once
    double ah_6hs_epoch = 0, aw_6hs_epoch = 0, ah_6hs_fe = 0, aw_6hs_fe = 0;
};

inline constexpr const char* gpt2w_grid_file_name = "gpt2_1wA.grd";

// "VMFG_" + year (4 digits) + day of year (3) + hour (2); "yyyyddd.vmf1".
std::string vmf_grid_file_name(std::int32_t iyear, std::int32_t idoy, std::int32_t hour);
std::string vmf_site_file_name(std::int32_t iyear, std::int32_t idoy);

// Readers; each stops the run when its file cannot be opened or read.
void read_tuv_tropo_grid(const std::string& vfile, models::Gpt2wGrid& grid, frame::Log& log);
void read_tuv_tropo_files(std::int32_t iyearobs, std::int32_t idoyobs, models::VmfGrid& grid, frame::Log& log);
void read_tuv_tropo_files_igs_sites(std::int32_t iyearobs, std::int32_t idoyobs, VmfSiteFile& s,
                                    frame::Log& log);

// The files of a new day for itropo_model 2, 3 or 4: the GPT2w grid (once per run), the five grids of
// the day (3), the site files of the day and the next day (4; the day after the last day of a year is
// the first day of the next year).
void load_troposphere_day(std::int32_t itropo_model, std::int32_t iyearobs, std::int32_t idoyobs,
                          TropoTables& t, frame::Log& log);

// Model 4: the coefficients of the site `rec` at the two 6-hour epochs around the time of day. A site
// absent from the files keeps the coefficients chosen before (a warning says so, once a day per site).
void select_site_coefficients(TropoTables& t, const std::string& rec, double tsecdayobs, frame::Log& log);

} // namespace quelmar::auxfiles
