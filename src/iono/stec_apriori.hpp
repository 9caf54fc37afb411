// The a priori slant electron content of a ray: an empirical electron-density model integrated along
// the straight line from the receiver to the satellite, expressed as the delay of the geometry-free
// carrier combination (m).
//
// The integral is a sum of point densities times step lengths: the first sample lies half a
// bottom-side step from the receiver, each later one a bottom-side step further while the last sample
// was at or below the separating height, a top-side step further above it; only samples whose height
// above the 6371 km sphere lies strictly between the two window heights count. With equal steps the
// samples fall at odd multiples of half a step (the midpoint rule).
#pragma once

#include <functional>

#include "models/vectors.hpp"

namespace quelmar::frame {
class Log;
}

namespace quelmar::iono {

class NeQuick;

// The NeQuick density (electrons/m^3) at a height (km), latitude and longitude (degrees), month, solar
// flux and Universal Time (hours); a coefficient file that cannot be read stops the run, its name and
// the reason in the log.
double nequick(NeQuick& model, double h_km, double lat_deg, double lon_deg, int month, double flux, double ut,
               frame::Log& log);

struct StecSampling {
    char model = 'n';                 // 'n' NeQuick, 'i' IRI
    double sflux1 = 0;                // solar flux of the day (NeQuick needs it above 0.001)
    double hmin = 0, hmax = 0;        // km: the window of the integrand
    double htopbottom = 0;            // km: bottom-side steps at or below, top-side steps above
    double dsr_bottomside = 0, dsr_topside = 0; // km
};

// Density (electrons/m^3) at a height above the sphere (km), latitude and longitude (degrees), for the
// epoch and model the caller has bound.
using DensityAt = std::function<double(double h_km, double lat_deg, double lon_deg)>;

// The content of the ray from recxyz to satxyz (Earth-fixed, m) as geometry-free delay (m):
// 1.05058e-17 m per electron/m^2. A model name other than 'n' or 'i' and NeQuick with a flux at or
// below 0.001 stop the run with their log lines. Writes "recxyz_km,satxyz_km=" to the log unless silent.
double stec_apriori(const StecSampling& s, const models::Vec3& recxyz, const models::Vec3& satxyz,
                    const DensityAt& density, frame::Log& log);

} // namespace quelmar::iono
