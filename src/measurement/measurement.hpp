// The measurement model of one accepted observation, after the chain: the non-dispersive a priori range
// and the adopted model terms, the design-matrix rows of the processed combinations with their unknowns,
// the prefit residuals, and the output records.
//
// The model steps run in a fixed order for an observation that the chain accepted:
//    1 a priori slant electron content (the chain's hand-over)   7 gravitational delay
//    2 troposphere (after the geodetic-filter check)              8 non-dispersive range dist1
//    3 solid earth tide                                           9 wind-up, 10 satellite phase centre
//    4 ocean tide loading                                        11 Galileo DCB warning
//    5 satellite clock, 6 relativistic clock                     12 rows, stec0, residuals, records
// A step that fails writes its three log lines and drops the observation; no record is written then.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "frame/config.hpp"
#include "frame/limits.hpp"
#include "iono/ray_voxels.hpp"
#include "models/troposphere.hpp"
#include "models/vectors.hpp"
#include "textio/format.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
struct Run;
}

namespace quelmar::measurement {

using frame::Flags2x15;
using frame::Table2x15;

// Unknowns a row can hold. The largest row is an ionospheric phase row: three double-difference
// unknowns, the receiver and the satellite DCB, and a voxel for each of the 21 cells a ray may cross,
// 26 in all. Every row fits, so no row is ever cut.
constexpr int maxunk_pobs_geo = 26;

// The unknowns of every row (k, j): count, identifiers, partials and a priori values.
struct Rows {
    Array2<std::int32_t, 2, 15> nunk_pobs_geo{};
    std::array<std::array<std::array<std::int32_t, maxunk_pobs_geo>, 15>, 2> id{};
    std::array<std::array<std::array<double, maxunk_pobs_geo>, 15>, 2> a{};
    std::array<std::array<std::array<double, maxunk_pobs_geo>, 15>, 2> xref{};
    // 1-based access as the rows are defined: (k, j, l).
    std::int32_t& id_pobs(int k, int j, int l) { return id[k - 1][j - 1][l - 1]; }
    double& a_pobs(int k, int j, int l) { return a[k - 1][j - 1][l - 1]; }
    double& xref_pobs(int k, int j, int l) { return xref[k - 1][j - 1][l - 1]; }
    std::int32_t id_pobs(int k, int j, int l) const { return id[k - 1][j - 1][l - 1]; }
    double a_pobs(int k, int j, int l) const { return a[k - 1][j - 1][l - 1]; }
    double xref_pobs(int k, int j, int l) const { return xref[k - 1][j - 1][l - 1]; }
};

// The last displacement of the simpler solid tide with the receiver and epoch it was computed for, and
// the last loading synthesis of each receiver with its epoch (whole second) and coefficients: reused
// only when every input is the same to the bit.
struct EarthTide1Memo {
    bool valid = false;
    models::Vec3 recxyz{};
    std::int32_t iyear = 0, idoy = 0;
    double tsecdayobs = 0;
    models::Vec3 dx{};
    int ierret1 = 0;
};
struct LoadingMemo {
    bool valid = false;
    std::int32_t iyear = 0, idoy = 0, ihr = 0, imin = 0;
    long iseobs = 0;
    std::array<std::array<float, 11>, 3> tamp{}, tph{};
    std::array<double, 3> denu{};
};

// The working values of the measurement model of the observation in processing, under the names of
// their definition. Overwritten by each observation that reaches the model.
struct MeasurementState {
    // Model terms (m unless stated).
    double satclockerror_adopted = 0; // s
    double dtrel_m = 0, rgrav_m = 0;
    models::TroposphereTerms tropo; // zenith delays, mapping factors, slant delays
    double earth_tide = 0, earth_tide_old = 0, ocean_tide_loading = 0;
    models::Vec3 dxtide{}, denu_ocean_tide_loading{};
    EarthTide1Memo earth_tide1_memo;
    std::array<LoadingMemo, maxrec> loading_memo{};
    std::array<bool, maxrec> otl_missing_warned{}; // receivers warned of a missing OT2 message
    double dist1 = 0;
    double windup = 0, satphacen = 0; // rad, m: adopted
    double stec0 = 0;                 // a priori geometry-free delay adopted for the residuals

    // Rows of the design matrix and what travels with them.
    Rows rows;
    double tgd_m_p1 = 0, xion_dcb14 = 0;
    double stec0_ray_tracing = 0, xlength_ray_tracing = 0; // m, km
    iono::RayVoxels ray;                                   // the ray through the voxel grid
    std::int32_t ierrivl = 0;

    // Prefit residuals: observed values, present rows, residuals (xion_dcb and windup_m are tables
    // of the run state).
    Table2x15 gps_obs{}, prefit_gps{};
    Flags2x15 presentcomb{};

    // Records: kind of receiver (0 reference .. 5 real-time rover) and of satellite (0 reference).
    std::int32_t kind_rec = 1, kind_sat = 1;
    double xinitial_sigma2_xyz_rec_m2 = 0, sigma2_dxyz_m2_per_hour = 0;
};

// The model steps, the rows, the residuals and the records of the observation the chain has just
// accepted (run.chain.accepted). Returns false when a step dropped the observation.
bool model_observation(frame::Run& run);

// Gravitational (Shapiro) delay of the signal between geocentric distances rrec and rsat (m) over the
// range dist0 (m).
double gravitational_delay(double rrec, double rsat, double dist0);

// The non-dispersive a priori range.
double nondispersive_apriori_pseudorange1(double dist0, double satclockerror, double dtrel_m, double rgrav_m,
                                          double slant_trop, double earth_tide, double ocean_tide_loading,
                                          double c);

// The rows of every processed combination. Returns the
// status ierrjapnglc (0).
int jacobian_and_process_noise_geo_lc_v8(frame::Run& run);

// Receiver kind of the observation's receiver (0 reference, 1 estimated coordinates, 2 rover-like,
// 3 trajectory rover, 4 fixing ambiguities, 5 real-time rover), first role that applies; a receiver
// without a role gets the warnings and counts as estimated (estimate_xyz set for the observation).
int kind_of_receiver(frame::Run& run);

// The a priori standard deviation of the residual of row (k, j) (m), and the initial variance (m^2) and
// random-walk variance per hour (m^2/h) of the receiver coordinates by role.
double sigma_pre1(const frame::Run& run, int k, int j);
void receiver_process_noise(const frame::Run& run, double& xinitial_sigma2_xyz_rec_m2,
                            double& sigma2_dxyz_m2_per_hour);

// Observed values, a priori dispersive terms and prefit residuals of every row. Returns ierropr (0).
int prefit_residuals_v5(frame::Run& run);

// The records of the observation: TI-CLASSIC4, MODEL, WUS, I2I, PR6 rows and WUI, each under its
// switch, in this order (the residuals are formed between TI-CLASSIC4 and MODEL).
void write_ticlassic4(frame::Run& run);
void write_model(frame::Run& run);
void write_wus(frame::Run& run);
void write_i2i(frame::Run& run);
void write_pr6_rows(frame::Run& run);
void write_wui(frame::Run& run);

} // namespace quelmar::measurement
