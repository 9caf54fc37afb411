#include "iono/stec_apriori.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "iono/nequick.hpp"

namespace quelmar::iono {

double nequick(NeQuick& model, double h_km, double lat_deg, double lon_deg, int month, double flux, double ut,
               frame::Log& log) {
    try {
        return model.density(h_km, lat_deg, lon_deg, month, flux, ut);
    } catch (const NeQuickError& e) {
        log.list(std::string("ERROR: ") + e.what());
        throw frame::Stop(std::string("ERROR: ") + e.what());
    }
}

double stec_apriori(const StecSampling& s, const models::Vec3& recxyz, const models::Vec3& satxyz,
                    const DensityAt& density, frame::Log& log) {
    constexpr double rekm = 6371.0;
    constexpr double delay_per_electron = 1.05058 / 1e17; // m of geometry-free delay per electron/m^2
    const models::Vec3 r{recxyz[0] / 1000, recxyz[1] / 1000, recxyz[2] / 1000};
    const models::Vec3 t{satxyz[0] / 1000, satxyz[1] / 1000, satxyz[2] / 1000};
    if (!log.silent) log.list("recxyz_km,satxyz_km=", r[0], r[1], r[2], t[0], t[1], t[2]);
    if (s.model != 'n' && s.model != 'i') {
        log.list("ERROR: unknown value of apriori_iono_model_name");
        log.list("apriori_iono_model_name= ", std::string(1, s.model));
        throw frame::Stop("ERROR: unknown value of apriori_iono_model_name");
    }
    models::Vec3 v{t[0] - r[0], t[1] - r[1], t[2] - r[2]};
    const double dist = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (double& c : v) c /= dist;
    const double q = dist / std::min(s.dsr_bottomside, s.dsr_topside);
    if (!(q >= 0 && q < 1e8)) return 0.0; // no finite sampling of the ray (steps of zero or not numbers)
    const long nsrmax = std::lround(q);
    constexpr double deg = 180.0 / M_PI;
    double content = 0, sr = s.dsr_bottomside / 2, weight = s.dsr_bottomside;
    for (long n = 0; n < nsrmax && sr <= dist; ++n) {
        const models::Vec3 x{r[0] + v[0] * sr, r[1] + v[1] * sr, r[2] + v[2] * sr};
        const double rx = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
        const double h = rx - rekm;
        if (s.hmin < h && h < s.hmax) {
            if (s.model == 'n' && !(s.sflux1 > 0.001)) {
                log.list("Non valid value of Solar Flux");
                log.list("sflux1=", s.sflux1);
                throw frame::Stop("Non valid value of Solar Flux");
            }
            // electrons/m^3 over a step in km: electrons/m^2
            content += density(h, std::asin(x[2] / rx) * deg, std::atan2(x[1], x[0]) * deg) * weight * 1000.0;
        }
        weight = h <= s.htopbottom ? s.dsr_bottomside : s.dsr_topside;
        sr += weight;
    }
    return content * delay_per_electron;
}

} // namespace quelmar::iono
