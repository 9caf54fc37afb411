// Physical constants, carrier frequencies and the per-combination signal tables of a run.
#pragma once

#include <array>

#include "frame/limits.hpp"
#include "util/array.hpp"

namespace quelmar::frame {

// The block of constants shared with the model routines (all 64-bit, in the block's order).
struct Constants {
    double pi = 3.141592653589793;
    double c = 299792458.0; // speed of light, m/s
    double re = 6371000.0;  // mean Earth radius, m
    double f1 = 0, f2 = 0;  // GPS L1 and L2 carriers, Hz
    double f1f1 = 0, f2f2 = 0;
    double hionokm1 = 0; // height of the single ionospheric layer, km
    double f7f7 = 0, f5f5 = 0, f1f7 = 0, f5f7 = 0;
    double f7 = 0, f5 = 0; // third carriers (bands 7 and 5), Hz
};

} // namespace quelmar::frame
