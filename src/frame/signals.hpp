// Carrier frequencies, wavelengths and the per-combination tables fixed at start-up.
#pragma once

#include "frame/config.hpp"
#include "frame/constants.hpp"
#include "frame/limits.hpp"
#include "util/array.hpp"

namespace quelmar::frame {

class Log;

struct SignalTables {
    double f0 = 10.23e6;                                    // fundamental frequency of the GPS signals, Hz
    int if1f0 = 154, if2f0 = 120, if5f0 = 115, if7f0 = 118; // carrier multipliers of f0
    double f1f2 = 0;
    double rekm = 0;                       // Earth radius, km
    Array1<double, maxfre> freq;           // carrier of each band number, Hz (negative: none)
    Array1<double, ncomb_obs> wavelength_; // wavelength of each combination, m
    Table2x15 xion_li_2_lx;                // ionospheric factor from the geometry-free combination
    Table2x15 s2_apriori_prefit_gps;       // squared a priori sigmas
    Array1<bool, 30> jf;                   // option flags handed to the empirical ionosphere model
};

// Sets the constants block and the signal tables from the configuration, in the start-up order, and
// logs them unless silent_log.
void set_constants(Config& cfg, Constants& k, SignalTables& s, Log& log);

} // namespace quelmar::frame
