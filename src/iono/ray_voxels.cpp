// Ray-voxel tracing: the receiver-to-satellite line is cut by the two spheres that bound the
// ionospheric shell, the pieces inside the shell (one, or two for a ray that dips below the bottom) are
// walked in equal steps, and each step is given to the voxel whose centre is nearest to the step's
// middle point (or, in the weighted mode, shared among the voxels around the previous one).
#include "iono/ray_voxels.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "iono/stec_apriori.hpp"

namespace quelmar::iono {

namespace {

using auxfiles::rekm;
using models::Vec3;

// More steps than this in one sector can only come from a step length that is zero, negative zero,
// not a number or absurdly small for a shell a few thousand kilometres long at most.
constexpr double max_steps_per_sector = 1.0e6;

// Squared distance that no centre of a grid around the Earth can exceed: the "nothing found yet" value.
constexpr double far_away2 = (99.99 * rekm) * (99.99 * rekm);

[[noreturn]] void stop_with(const char* text, frame::Log& log) {
    log.list(text);
    throw frame::Stop(text);
}

// Fortran NINT: the nearest integer, halves away from zero. The caller keeps |x| well inside int.
int nint(double x) {
    return static_cast<int>(std::lround(x));
}

// An angle difference brought into -180..180 degrees, so that centres just across RA 0/360 from the
// point count as near.
double wrap180(double d) {
    d = std::fmod(d, 360.0);
    if (d > 180.0) d -= 360.0;
    if (d < -180.0) d += 360.0;
    return d;
}

// An angle brought into 0..360 degrees.
double wrap360(double a) {
    a = std::fmod(a, 360.0);
    if (a < 0.0) a += 360.0;
    return a;
}

// Grid index i is periodic in right ascension: any integer maps to 1..m.
int wrap_i(int i, int m) {
    const int r = (i - 1) % m;
    return (r < 0 ? r + m : r) + 1;
}

// One piece of the ray inside the shell, as distances from the receiver along the ray (km).
struct Sector {
    double start = 0, end = 0;
};

// The walk of one ray: the grid, the settings, the result being filled and the cell of the previous step.
class Tracer {
  public:
    Tracer(const auxfiles::VoxelGrid& grid, const frame::Config& cfg, std::int32_t kon, double gmstrt,
           const AprioriSetting& apriori, RayVoxels& ray, frame::TextSink& out, frame::Log& log)
        : g_(grid), cfg_(cfg), kon_(kon), gmstrt_(gmstrt), apriori_(apriori), ray_(ray), out_(out),
          log_(log) {}

    void walk_sector(const Vec3& v, const Sector& sec);

  private:
    struct Found {
        int nnc = 0, in = 0, jn = 0, kn = 0;
    };
    // The voxels weighted in one step and their weights.
    struct StepCells {
        int n = 0;
        Array1<int, maxillu> illu{}; // position in the ray's list
        Array1<double, maxillu> w{};
        // Each voxel once (a cell map that names one centre in two cells would otherwise list it twice).
        void add(int l, double wl) {
            for (int c = 1; c <= n; ++c)
                if (illu(c) == l) {
                    w(c) += wl;
                    return;
                }
            ++n;
            illu(n) = l;
            w(n) = wl;
        }
    };

    Found search(const Vec3& x, double r_subray, double ra_subray, double xlat_subray, bool weigh,
                 StepCells& cells);
    int add_cell(int nc);
    void add_apriori(int l, int nnc, double r_subray, double ra_subray, double xlat_subray, double dray_m);

    const auxfiles::VoxelGrid& g_;
    const frame::Config& cfg_;
    std::int32_t kon_;
    double gmstrt_;
    const AprioriSetting& apriori_;
    RayVoxels& ray_;
    frame::TextSink& out_;
    frame::Log& log_;
    int i0_ = 0, j0_ = 0, k0_ = 0;         // cell of the previous step
    std::array<std::int32_t, 3> radius_{}; // search half-widths around it
};

// Position of centre nc in the list of voxels crossed, adding it at the end when new.
int Tracer::add_cell(int nc) {
    for (int l = 1; l <= ray_.nilluc; ++l)
        if (ray_.illuc(l) == nc) return l;
    if (ray_.nilluc >= maxillu) {
        log_.list("kon,nilluc,maxillu=", kon_, ray_.nilluc, maxillu);
        stop_with("ERROR: increase maxillu", log_);
    }
    ++ray_.nilluc;
    ray_.illuc(ray_.nilluc) = nc;
    return ray_.nilluc;
}

// The nearest centre to x inside the search box around the previous cell. With `weigh`, the centres
// of the box that lie on the cross through the previous cell in its layer (same i or same j) are
// weighted by a Gaussian of their offset from x in height, right ascension and latitude, and entered in
// the list of voxels crossed.
Tracer::Found Tracer::search(const Vec3& x, double r_subray, double ra_subray, double xlat_subray, bool weigh,
                             StepCells& cells) {
    int imin = 0, imax = 0, jmin = 0, jmax = 0, kmin = 0, kmax = 0;
    ijklimits3(i0_, j0_, k0_, radius_, g_.ijkmax, imin, imax, jmin, jmax, kmin, kmax);
    const int m = g_.ijkmax(1);
    // With an even number of columns a half-width of m/2 reaches the column opposite the start from both
    // sides: visit each column once.
    if (imax - imin + 1 > m) imax = imin + m - 1;
    jmin = std::max(jmin, 1);
    kmin = std::max(kmin, 1);
    jmax = std::min(jmax, auxfiles::maxj);
    kmax = std::min(kmax, auxfiles::maxk);
    const double coslat = std::cos(xlat_subray * 3.141592653589793 / 180.0);
    Found f;
    double d2min = far_away2;
    for (int ii = imin; ii <= imax && m >= 1; ++ii) {
        const int i = std::min(wrap_i(ii, m), auxfiles::maxi);
        for (int j = jmin; j <= jmax; ++j)
            for (int k = kmin; k <= kmax; ++k) {
                const int n = g_.ijk2nc(i, j, k);
                if (n == auxfiles::no_centre) continue;
                if (n < 1 || n > g_.ncenp) {
                    // A cell pointing at no centre at all: the cell map and the centre table disagree.
                    log_.list("ERROR: inc1.eq.0");
                    log_.list("kon,i,j,k,inc1=", kon_, i, j, k, n);
                    out_.list("ERROR: inc1.eq.0");
                    throw frame::Stop("ERROR: inc1.eq.0");
                }
                const double dx = g_.xc(n, 1) - x[0], dy = g_.xc(n, 2) - x[1], dz = g_.xc(n, 3) - x[2];
                const double d2 = dx * dx + dy * dy + dz * dz;
                if (d2 < d2min) {
                    d2min = d2;
                    f = {n, i, j, k};
                }
                if (weigh && k == k0_ && (i == i0_ || j == j0_)) {
                    const double dr = (rekm + g_.hc(n) - r_subray) / cfg_.hwiono_r;
                    const double dra = coslat * wrap180(g_.rac(n) - ra_subray) / cfg_.hwiono_ra;
                    const double dlat = (g_.decc(n) - xlat_subray) / cfg_.hwiono_lat;
                    cells.add(add_cell(n), std::exp(-dr * dr - dra * dra - dlat * dlat));
                }
            }
    }
    return f;
}

// The a priori electron content of a step and the density at the centre of its voxel. The models take
// Earth-fixed longitudes: right ascension less the Greenwich sidereal angle.
void Tracer::add_apriori(int l, int nnc, double r_subray, double ra_subray, double xlat_subray,
                         double dray_m) {
    const double ne_point =
        apriori_density(apriori_, r_subray - rekm, xlat_subray, wrap360(ra_subray - gmstrt_), log_);
    const double ne_centre =
        apriori_density(apriori_, g_.hc(nnc), g_.decc(nnc), wrap360(g_.rac(nnc) - gmstrt_), log_);
    ray_.xnecell(l) = ne_centre;
    ray_.stecsr(l) += ne_point * dray_m;
}

void Tracer::walk_sector(const Vec3& v, const Sector& sec) {
    const double len = sec.end - sec.start;
    const double q = len / cfg_.dray0;
    if (!(std::fabs(q) <= max_steps_per_sector)) {
        log_.list("kon,xlsector,dray0=", kon_, len, cfg_.dray0);
        stop_with("ERROR: dray0 gives too many steps along the ray", log_);
    }
    const int ndray = nint(q);
    if (ndray <= 0) return; // shorter than half a step: nothing to share out
    const double dray = len / ndray;
    const double dray_m = 1000.0 * dray;

    // The first point is looked for over the whole grid (the half-width in i covers the circle), later
    // points only around the previous step's cell.
    i0_ = g_.nc2ijk(1, 1);
    j0_ = g_.nc2ijk(1, 2);
    k0_ = g_.nc2ijk(1, 3);
    radius_ = {(g_.ijkmax(1) + 1) / 2, g_.ijkmax(2), g_.ijkmax(3)};
    bool initial = true;

    for (int l = 1; l <= ndray; ++l) {
        const double s = sec.start + (l - 0.5) * dray;
        const Vec3 x{ray_.xr[0] + v[0] * s, ray_.xr[1] + v[1] * s, ray_.xr[2] + v[2] * s};
        double r_subray = 0, ra_subray = 0, xlat_subray = 0;
        auxfiles::xyz2rradec(x[0], x[1], x[2], r_subray, ra_subray, xlat_subray);
        for (;;) {
            const bool weigh = cfg_.weighted_iono_ray_tracing && !initial;
            StepCells cells;
            const Found f = search(x, r_subray, ra_subray, xlat_subray, weigh, cells);
            if (f.nnc == 0) {
                log_.list("ERROR: nnc.eq.0 for kon=", kon_);
                log_.list("ERROR: nnc.eq.0");
                out_.list("ERROR: nnc.eq.0");
                throw frame::Stop("ERROR: nnc.eq.0");
            }
            if (initial) {
                // Now that the neighbourhood is known, look again around it: the step counts once.
                i0_ = f.in;
                j0_ = f.jn;
                k0_ = f.kn;
                radius_ = cfg_.isearch_radius;
                initial = false;
                continue;
            }
            if (!cfg_.weighted_iono_ray_tracing) {
                const int lp = add_cell(f.nnc);
                ray_.xlsr(lp) += dray;
                if (apriori_.model_apriori_iono)
                    add_apriori(lp, f.nnc, r_subray, ra_subray, xlat_subray, dray_m);
            } else {
                double wsum = 0;
                for (int c = 1; c <= cells.n; ++c) wsum += cells.w(c);
                // Weights that all underflow leave nothing to share the step by; it is dropped.
                if (wsum > 0)
                    for (int c = 1; c <= cells.n; ++c) ray_.xlsr(cells.illu(c)) += cells.w(c) * dray / wsum;
            }
            i0_ = f.in;
            j0_ = f.jn;
            k0_ = f.kn;
            radius_ = cfg_.isearch_radius;
            break;
        }
    }
}

} // namespace

double apriori_density(const AprioriSetting& s, double height_km, double lat, double lon, frame::Log& log) {
    if (s.apriori_iono_model_name == "n" && s.nequick != nullptr) {
        if (!(s.sflux1 > 0.001)) {
            log.list("Non valid value of Solar Flux");
            log.list("sflux1=", s.sflux1);
            throw frame::Stop("Non valid value of Solar Flux");
        }
        return nequick(*s.nequick, height_km, lat, lon, s.imo, s.sflux1, s.xut, log);
    }
    log.list("ERROR: unsupported apriori_iono_model_name");
    log.list("apriori_iono_model_name=", s.apriori_iono_model_name);
    throw frame::Stop("ERROR: unsupported apriori_iono_model_name");
}

void ijklimits3(int i0, int j0, int k0, const std::array<std::int32_t, 3>& iradius,
                const Array1<int, 3>& ijkmax, int& imin, int& imax, int& jmin, int& jmax, int& kmin,
                int& kmax) {
    jmin = std::max(1, j0 - iradius[1]);
    jmax = std::min(ijkmax(2), j0 + iradius[1]);
    kmin = std::max(1, k0 - iradius[2]);
    kmax = std::min(ijkmax(3), k0 + iradius[2]);
    // Right ascension closes on itself: never more than the whole circle around i0.
    const int r = 2 * iradius[0] + 1 <= ijkmax(1) ? iradius[0] : ijkmax(1) / 2;
    imin = i0 - r;
    imax = i0 + r;
}

int ray_2_iono_voxel_lengths_v30(const auxfiles::VoxelGrid& grid, const frame::Config& cfg, double rrec,
                                 double rarec, double xlatrec, double rsat, double rasat, double xlatsat,
                                 std::int32_t kon, double gmstrt, const AprioriSetting& apriori,
                                 RayVoxels& ray, frame::TextSink& out, frame::Log& log) {
    ray = RayVoxels{};
    Vec3& xr = ray.xr;
    Vec3& xt = ray.xt;
    auxfiles::rradec2xyz(rrec / 1000.0, rarec, xlatrec, xr[0], xr[1], xr[2]);
    auxfiles::rradec2xyz(rsat / 1000.0, rasat, xlatsat, xt[0], xt[1], xt[2]);
    Vec3 v = models::vecsub(xt, xr);
    ray.xlen_line_of_sight = std::sqrt(models::scapro(v, v));
    models::veccoe1(v, 1.0 / ray.xlen_line_of_sight);
    const double xrv = models::scapro(v, xr); // the receiver's abscissa along the ray direction

    // Is the ray anywhere near the grid, and does it start near it? The perpendicular distance of a
    // centre c to the line is what is left of |c - xr| after its component along the ray.
    double dmin2 = far_away2, dminrec2 = far_away2;
    for (int n = 1; n <= grid.ncenp; ++n) {
        const Vec3 c{grid.xc(n, 1), grid.xc(n, 2), grid.xc(n, 3)};
        const Vec3 cr = models::vecsub(c, xr);
        const double along = models::scapro(c, v) - xrv;
        const double rec2 = models::scapro(cr, cr);
        dmin2 = std::min(dmin2, rec2 - along * along);
        dminrec2 = std::min(dminrec2, rec2);
    }
    const double dmin = std::sqrt(std::max(dmin2, 0.0));
    const double dminrec = std::sqrt(dminrec2);
    // Written so that a position that is not a number (or a receiver on the satellite, whose direction
    // is undefined) is rejected here too.
    if (!(dmin <= cfg.dmin_ray2centers) || !(dminrec <= cfg.dmin_rec2centers) ||
        !(ray.xlen_line_of_sight > 0)) {
        log.list("Rejected ray for distance, kon=", kon);
        log.list("dmin,dmin_ray2centers,dminrec,dmin_rec2centers=", dmin, cfg.dmin_ray2centers, dminrec,
                 cfg.dmin_rec2centers);
        return 1;
    }

    // Where the line meets the spheres of radius R: at s = -xrv +- sqrt(R^2 - p^2) from the receiver,
    // p being the distance of the line from the Earth's centre (0.01 km^2 keeps the root real for a
    // line through the centre).
    const double rrec_km = rrec / 1000.0;
    const double p = std::sqrt(rrec_km * rrec_km - xrv * xrv + 0.01);
    const double r0 = cfg.hmin + rekm, r1 = cfg.hmax + rekm;
    const double d0 = r0 * r0 - p * p, d1 = r1 * r1 - p * p;
    if (d1 <= 0) {
        log.list("1A-Rejected observation: ray NO-CROSSING the region");
        log.list("(distant/max point too close to the Earth center");
        log.list(" compared with the ray geometry)                ");
        return 2;
    }
    const double xl1p = std::sqrt(d1) - xrv; // leaving the shell through its top
    if (xl1p < 0) {
        log.list("2C-Rejected observation for xl1p<0");
        log.list("(distant/max point in the oposite LOS direction)");
        return 3;
    }
    const double xl1m = -xrv - std::sqrt(d1); // entering through the top
    Sector sectors[2];
    int nsec = 0;
    if (d0 > 0) {
        // The line crosses the bottom sphere: from leaving it up to the top, and (when the line enters
        // the bottom sphere ahead of the receiver) from the top down to the bottom.
        const double xl0p = std::sqrt(d0) - xrv;
        const double xl0m = -xrv - std::sqrt(d0);
        sectors[nsec++] = {std::max(0.0, xl0p), xl1p};
        if (xl0m > 0) sectors[nsec++] = {std::max(0.0, xl1m), xl0m};
    } else {
        sectors[nsec++] = {std::max(0.0, xl1m), xl1p};
    }
    for (int s = 0; s < nsec; ++s) ray.xlen_all_sectors += sectors[s].end - sectors[s].start;

    Tracer t(grid, cfg, kon, gmstrt, apriori, ray, out, log);
    for (int s = 0; s < nsec; ++s) t.walk_sector(v, sectors[s]);
    return 0;
}

} // namespace quelmar::iono
