#include "orbits/broadcast.hpp"

#include <cmath>

namespace quelmar::orbits {

namespace {

// Adds or subtracts 2*pi once, which brings an angle from (-2*pi, 4*pi) into [0, 2*pi).
double once_into_0_2pi(double a) {
    constexpr double twopi = 2.0 * broadcast::pi;
    if (a < 0.0) return a + twopi;
    if (a >= twopi) return a - twopi;
    return a;
}

} // namespace

bool kepler_eccentric_anomaly(double m, double e, double& ecc_anomaly, int& iterations) {
    double e0 = m;
    double e1 = m;
    int iter = 0;
    for (;;) {
        if (iter >= broadcast::max_kepler_iterations) {
            iterations = iter;
            ecc_anomaly = e1;
            return false;
        }
        e1 = m + e * std::sin(e0);
        ++iter;
        if (std::fabs(e1 - e0) <= broadcast::kepler_rel_tol * std::fabs(e1)) break;
        e0 = e1;
    }
    iterations = iter;
    ecc_anomaly = once_into_0_2pi(e1);
    return true;
}

bool posat4(double t, double trec, double omec, double incc, double omesmc, double sqrta, double ecc,
            double m0c, int toe, double omedoc, double incdoc, double dnc, double cic, double cis, double cuc,
            double cus, double crc, double crs, std::array<double, 3>& ctx, double& dtrel_m,
            std::array<double, 3>& v, frame::TextSink& out) {
    using namespace broadcast;
    const double ome = omec * pi;
    const double inc = incc * pi;
    const double omes = omesmc * pi;
    const double m0 = m0c * pi;
    const double omedot = omedoc * pi;
    const double incdot = incdoc * pi;
    const double dn = dnc * pi;

    const double tk = t - toe;
    const double tkrec = trec - toe;

    const double n = sqrt_gm / (sqrta * sqrta * sqrta) + dn;
    const double m = m0 + n * tk;

    double ea = 0.0;
    int iterations = 0;
    if (!kepler_eccentric_anomaly(m, ecc, ea, iterations)) {
        out.list("        ERROR SOLVING THE KEPLER'EQUATION     ");
        out.list(" ! ! ! SATELLITE POSITION CALCULATION FAILED ! ! ! ");
        return false;
    }

    const double sin_e = std::sin(ea);
    const double f = once_into_0_2pi(std::atan2(std::sqrt(1.0 - ecc * ecc) * sin_e, std::cos(ea) - ecc));
    const double u0 = omes + f;
    const double c2u = std::cos(2.0 * u0);
    const double s2u = std::sin(2.0 * u0);

    const double a = sqrta * sqrta;
    const double u = u0 + cuc * c2u + cus * s2u;
    const double r = a * (1.0 - ecc * std::cos(ea)) + crc * c2u + crs * s2u;
    const double i = inc + incdot * tk + cic * c2u + cis * s2u;

    dtrel_m = -2.0 * sqrt_gm * sqrta * ecc * sin_e / c;
    v = {0.0, 0.0, 0.0};

    // The node longitude in the Earth-fixed frame of the reception time.
    const double omega = ome + omedot * tk - omega_e * (toe + tkrec);

    const double cu = std::cos(u), su = std::sin(u);
    const double co = std::cos(omega), so = std::sin(omega);
    const double ci = std::cos(i), si = std::sin(i);
    ctx[0] = r * (cu * co - su * ci * so);
    ctx[1] = r * (cu * so + su * ci * co);
    ctx[2] = r * su * si;
    return true;
}

} // namespace quelmar::orbits
