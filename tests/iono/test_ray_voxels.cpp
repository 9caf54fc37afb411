// Ray-voxel tracing on small grids built here: lengths known by hand on vertical rays, random slant rays
// against a brute-force nearest-centre walk, two sectors against the analytic chords, the weighted
// sharing of a step across RA 0/360, the rejections with their log lines, and the stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <vector>

#include "frame/stop.hpp"
#include "iono/ray_voxels.hpp"
#include "support/support.hpp"

using namespace quelmar;
using namespace quelmar::iono;
using namespace quelmar::test;
using models::Vec3;

namespace {

constexpr double d2r = 3.141592653589793 / 180.0;
constexpr double re = 6371.0;

Vec3 cart(double r, double ra, double dec) {
    return {r * std::cos(dec * d2r) * std::cos(ra * d2r), r * std::cos(dec * d2r) * std::sin(ra * d2r),
            r * std::sin(dec * d2r)};
}
double norm(const Vec3& a) {
    return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
}

// Twelve 30-degree columns centred on RA 0, 30, ..., 330; rows at dec -10, 0, 10; layers at 150..450 km.
auxfiles::VoxelGrid band() {
    auxfiles::VoxelGrid g;
    for (int k = 1; k <= 4; ++k)
        for (int j = 1; j <= 3; ++j)
            for (int i = 1; i <= 12; ++i) {
                const int n = ++g.ncenp;
                g.hc(n) = 50 + 100 * k, g.rac(n) = 30 * (i - 1), g.decc(n) = 10 * (j - 2);
                const Vec3 c = cart(re + g.hc(n), g.rac(n), g.decc(n));
                g.xc(n, 1) = c[0], g.xc(n, 2) = c[1], g.xc(n, 3) = c[2];
                g.nc2ijk(n, 1) = i, g.nc2ijk(n, 2) = j, g.nc2ijk(n, 3) = k;
                g.ijk2nc(i, j, k) = n;
            }
    g.ijkmax(1) = 12, g.ijkmax(2) = 3, g.ijkmax(3) = 4;
    return g;
}

frame::Config config(double hmin = 100, double hmax = 500, double dray0 = 10) {
    frame::Config c;
    c.hmin = hmin, c.hmax = hmax, c.dray0 = dray0;
    c.isearch_radius = {1, 1, 1};
    c.dmin_ray2centers = c.dmin_rec2centers = 1e5;
    c.hwiono_r = 100, c.hwiono_ra = 30, c.hwiono_lat = 10;
    return c;
}

// The result of one call, with its log and standard output.
struct Traced {
    int ierr = -1;
    RayVoxels ray;
    std::string log, out, stop;
};

Traced trace(const auxfiles::VoxelGrid& g, const frame::Config& c, const Vec3& a, const Vec3& b,
             const AprioriSetting& ap = {}) {
    const auto sph = [](const Vec3& x, double& r, double& ra, double& dec) {
        r = norm(x) * 1000.0;
        ra = std::atan2(x[1], x[0]) / d2r;
        dec = std::asin(x[2] / norm(x)) / d2r;
    };
    double rr, rar, der, rs, ras, des;
    sph(a, rr, rar, der);
    sph(b, rs, ras, des);
    CapturedLog cap;
    TempDir dir;
    frame::TextSink out;
    EXPECT_TRUE(out.open(dir.path("stdout")));
    Traced t;
    try {
        t.ierr =
            ray_2_iono_voxel_lengths_v30(g, c, rr, rar, der, rs, ras, des, 5, 0.0, ap, t.ray, out, cap.log);
    } catch (const frame::Stop& s) {
        t.stop = s.message();
    }
    out.close();
    t.log = cap.text();
    t.out = dir.read("stdout");
    return t;
}

using Lengths = std::vector<std::pair<int, double>>; // centre, km, in the order of first crossing

Lengths lengths_of(const RayVoxels& r) {
    Lengths l;
    for (int n = 1; n <= r.nilluc; ++n) l.emplace_back(r.illuc(n), r.xlsr(n));
    return l;
}

// Lengths to 1e-5 km: the line's squared distance from the Earth's centre carries an extra 0.01 km^2
// (a line through the centre keeps a real root), which moves the shell's boundaries by 0.01 / (2 l),
// l being the half-chord: under 1e-5 km for half-chords above 500 km, as here.
constexpr double tol = 1e-5;

void expect_lengths(const Lengths& got, const Lengths& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t n = 0; n < got.size(); ++n) {
        EXPECT_EQ(got[n].first, want[n].first) << what << " voxel " << n + 1;
        EXPECT_NEAR(got[n].second, want[n].second, tol) << what << " voxel " << n + 1;
    }
}

// Independent walk: the pieces [s0, s1] of the line a + s u are cut into round(L/dray0) equal steps, and
// each step goes to the centre nearest its middle over the whole grid.
Lengths brute_force(const auxfiles::VoxelGrid& g, const Vec3& a, const Vec3& u,
                    const std::vector<std::pair<double, double>>& pieces, double dray0) {
    Lengths l;
    for (const auto& [s0, s1] : pieces) {
        const int steps = static_cast<int>(std::floor((s1 - s0) / dray0 + 0.5));
        for (int m = 0; m < steps; ++m) {
            const double s = s0 + (m + 0.5) * (s1 - s0) / steps;
            int best = 0;
            double dbest = 1e300;
            for (int n = 1; n <= g.ncenp; ++n) {
                const Vec3 d{g.xc(n, 1) - a[0] - u[0] * s, g.xc(n, 2) - a[1] - u[1] * s,
                             g.xc(n, 3) - a[2] - u[2] * s};
                if (norm(d) < dbest) dbest = norm(d), best = n;
            }
            auto it = std::find_if(l.begin(), l.end(), [&](const auto& e) { return e.first == best; });
            if (it == l.end()) l.emplace_back(best, 0.0), it = l.end() - 1;
            it->second += (s1 - s0) / steps;
        }
    }
    return l;
}

} // namespace

// Vertical rays above RA 0, dec 0 (column i = 1, row j = 2): each step goes to the nearest layer centre.
// The rounding of the step count (2.5 steps become 3, halves away from zero) and a shell thinner than
// half a step are visible in the cells.
TEST(RayVoxels, VerticalRaysKnownLengths) {
    const auxfiles::VoxelGrid g = band();
    const int k1 = g.ijk2nc(1, 2, 1), k2 = g.ijk2nc(1, 2, 2), k3 = g.ijk2nc(1, 2, 3), k4 = g.ijk2nc(1, 2, 4);
    struct Case {
        double hmin, hmax, dray0;
        Lengths want;
    } cases[] = {
        {100, 500, 10, {{k1, 100}, {k2, 100}, {k3, 100}, {k4, 100}}}, // boundaries half-way between centres
        {190, 205, 10, {{k1, 7.5}, {k2, 7.5}}},           // 1.5 steps -> 2: midpoints 193.75, 201.25
        {190, 215, 10, {{k1, 25.0 / 3}, {k2, 50.0 / 3}}}, // 2.5 steps -> 3
        {100, 104, 10, {}},                               // 0.4 steps -> none
    };
    for (const Case& c : cases) {
        const Traced t = trace(g, config(c.hmin, c.hmax, c.dray0), {re, 0, 0}, {26560, 0, 0});
        const std::string what = "shell top " + std::to_string(c.hmax);
        ASSERT_EQ(t.ierr, 0) << what << t.stop;
        expect_lengths(lengths_of(t.ray), c.want, what);
        EXPECT_NEAR(t.ray.xlen_all_sectors, c.hmax - c.hmin, tol) << what;
        EXPECT_NEAR(t.ray.xlen_line_of_sight, 26560 - re, 1e-9) << what;
    }
}

// Random slant rays (elevations above 6 degrees) from the ground across the whole band, RA 0/360
// included, and a grazing ray in two sectors: the local search around the previous cell must find the
// same voxels, in the same order, as a search of the whole grid, and the shell's length must be the
// chord between the two spheres.
TEST(RayVoxels, SlantRaysMatchWholeGridSearch) {
    const auxfiles::VoxelGrid g = band();
    const frame::Config c = config();
    Rng rng(20240511);
    for (int ray = 0; ray < 300; ++ray) {
        const Vec3 a = cart(re + 0.2, rng.uniform(0, 360), rng.uniform(-8, 8));
        const Vec3 b = cart(26560, rng.uniform(0, 360), rng.uniform(-60, 60));
        const double dist = norm({b[0] - a[0], b[1] - a[1], b[2] - a[2]}), r = norm(a);
        const Vec3 u{(b[0] - a[0]) / dist, (b[1] - a[1]) / dist, (b[2] - a[2]) / dist};
        const double sin_el = (u[0] * a[0] + u[1] * a[1] + u[2] * a[2]) / r;
        if (sin_el < 0.1) continue; // below the horizon or nearly so
        const auto chord = [&](double big_r) {
            return std::sqrt(big_r * big_r - r * r * (1 - sin_el * sin_el)) - r * sin_el;
        };
        const Traced t = trace(g, c, a, b);
        const std::string what = "ray " + std::to_string(ray);
        ASSERT_EQ(t.ierr, 0) << what << t.stop;
        EXPECT_NEAR(t.ray.xlen_all_sectors, chord(re + 500) - chord(re + 100), 1e-5) << what;
        expect_lengths(lengths_of(t.ray), brute_force(g, a, u, {{chord(re + 100), chord(re + 500)}}, 10),
                       what);
    }
    // A receiver 800 km up looking past the Earth with the line 50 km above the ground: the ray crosses
    // the shell twice, each time along sqrt(R1^2 - p^2) - sqrt(R0^2 - p^2); the far piece is stepped first.
    const double p = re + 50, r0 = re + 100, r1 = re + 500, xa = std::sqrt((re + 800) * (re + 800) - p * p);
    const Traced t = trace(g, c, {xa, p, 0}, {-20000, p, 0});
    ASSERT_EQ(t.ierr, 0) << t.stop;
    const double in0 = std::sqrt(r0 * r0 - p * p), in1 = std::sqrt(r1 * r1 - p * p);
    EXPECT_NEAR(t.ray.xlen_all_sectors, 2 * (in1 - in0), 1e-4);
    expect_lengths(lengths_of(t.ray),
                   brute_force(g, {xa, p, 0}, {-1, 0, 0}, {{xa + in0, xa + in1}, {xa - in1, xa - in0}}, 10), "grazing");
}

// Weighted mode, one step of 360 km whose middle is 280 km above RA 359, dec 1: the cross through the
// nearest cell (RA 0, dec 0, 250 km) in its layer is five voxels, RA 330 and RA 30 among them across the
// wrap; each gets its Gaussian weight's share of the step.
TEST(RayVoxels, WeightedStepSharedAcrossRaZero) {
    const auxfiles::VoxelGrid g = band();
    frame::Config c = config(100, 460, 360);
    c.weighted_iono_ray_tracing = true;
    const Traced t = trace(g, c, cart(re, 359, 1), cart(26560, 359, 1));
    ASSERT_EQ(t.ierr, 0) << t.stop;
    std::map<int, double> w;
    double sum = 0;
    for (const auto& [i, j] : std::vector<std::pair<int, int>>{{12, 2}, {1, 1}, {1, 2}, {1, 3}, {2, 2}}) {
        const int n = g.ijk2nc(i, j, 2);
        double dra = g.rac(n) - 359;
        if (dra < -180) dra += 360;
        const double x = (250 - 280) / 100.0, y = std::cos(d2r) * dra / 30, z = (g.decc(n) - 1) / 10;
        sum += w[n] = std::exp(-x * x - y * y - z * z);
    }
    ASSERT_EQ(t.ray.nilluc, 5);
    double total = 0;
    for (int l = 1; l <= 5; ++l) {
        ASSERT_TRUE(w.count(t.ray.illuc(l))) << "voxel " << t.ray.illuc(l);
        EXPECT_NEAR(t.ray.xlsr(l), 360 * w[t.ray.illuc(l)] / sum, tol) << "voxel " << t.ray.illuc(l);
        total += t.ray.xlsr(l);
        // The centre at RA 0 is 1 degree from the point, not 359: the largest share.
        if (t.ray.illuc(l) == g.ijk2nc(1, 2, 2)) {
            EXPECT_GT(t.ray.xlsr(l), 100);
        }
    }
    EXPECT_NEAR(total, 360, tol);
}

// Rays refused (status, nothing crossed, the log lines word for word) and grids or settings that stop
// the run (the message, its line on standard output if any, a line of the log).
TEST(RayVoxels, RejectionsAndStops) {
    using Spoil = std::function<void(auxfiles::VoxelGrid&, frame::Config&, AprioriSetting&)>;
    const Spoil none = [](auto&, auto&, auto&) {};
    const Vec3 ground{re, 0, 0}, gps{26560, 0, 0}, far_rec = cart(re, 0, 60), far_sat = cart(26560, 0, 60);
    struct Case {
        Spoil spoil;
        Vec3 a, b;
        int ierr;
        const char* stop;
        const char* out;
        std::vector<std::string> log;
    } cases[] = {
        // clang-format off
        {[](auto&, auto& c, auto&) { c.dmin_rec2centers = 500; }, far_rec, far_sat, 1, "", "",
         {" Rejected ray for distance, kon= 5"}},
        {[](auto&, auto& c, auto&) { c.dmin_ray2centers = 1000; }, far_rec, far_sat, 1, "", "",
         {" Rejected ray for distance, kon= 5"}},
        {none, {20000, 8000, 0}, {-20000, 8000, 0}, 2, "", "",
         {" 1A-Rejected observation: ray NO-CROSSING the region", " (distant/max point too close to the Earth center",
          "  compared with the ray geometry)                "}},
        {none, {re + 800, 0, 0}, gps, 3, "", "",
         {" 2C-Rejected observation for xl1p<0", " (distant/max point in the oposite LOS direction)"}},
        {[](auto& g, auto&, auto&) { g.clear_cells(); }, ground, gps, -1, "ERROR: nnc.eq.0", " ERROR: nnc.eq.0\n",
         {" ERROR: nnc.eq.0 for kon= 5", " ERROR: nnc.eq.0"}},
        {[](auto& g, auto&, auto&) { g.ijk2nc(1, 2, 1) = 0; }, ground, gps, -1, "ERROR: inc1.eq.0",
         " ERROR: inc1.eq.0\n", {" ERROR: inc1.eq.0"}},
        {[](auto&, auto& c, auto&) { c.dray0 = 0; }, ground, gps, -1,
         "ERROR: dray0 gives too many steps along the ray", "", {" ERROR: dray0 gives too many steps along the ray"}},
        {[](auto&, auto&, auto& a) { a.model_apriori_iono = true, a.apriori_iono_model_name = "x"; }, ground, gps, -1,
         "ERROR: unsupported apriori_iono_model_name", "", {" apriori_iono_model_name= x"}},
        // clang-format on
    };
    int row = 0;
    for (const Case& c : cases) {
        auxfiles::VoxelGrid g = band();
        frame::Config cfg = config();
        AprioriSetting ap;
        c.spoil(g, cfg, ap);
        const Traced t = trace(g, cfg, c.a, c.b, ap);
        ++row;
        EXPECT_EQ(t.ierr, c.ierr) << "row " << row;
        EXPECT_EQ(t.stop, c.stop) << "row " << row;
        EXPECT_EQ(t.out, c.out) << "row " << row;
        EXPECT_TRUE(c.ierr <= 0 || t.ray.nilluc == 0) << "row " << row;
        for (const std::string& l : c.log)
            EXPECT_TRUE(has_line(t.log, l)) << "row " << row << ": " << l << "\n" << t.log;
    }
}

// Thirty centres stacked 10 km apart above RA 0 with consecutive i: a vertical ray in 10 km steps
// enters a new voxel at every step. 21 voxels fit (the first step, searched twice, counts once); the
// 22nd stops the run.
TEST(RayVoxels, CrossedListHoldsTwentyOne) {
    auxfiles::VoxelGrid g;
    for (int n = 1; n <= 30; ++n) {
        g.hc(n) = 100 + (n - 0.5) * 10;
        g.xc(n, 1) = re + g.hc(n);
        g.nc2ijk(n, 1) = n, g.nc2ijk(n, 2) = 1, g.nc2ijk(n, 3) = 1;
        g.ijk2nc(n, 1, 1) = n;
    }
    g.ncenp = 30;
    g.ijkmax(1) = 30, g.ijkmax(2) = 1, g.ijkmax(3) = 1;
    Traced t = trace(g, config(100, 310), {re, 0, 0}, {26560, 0, 0});
    ASSERT_EQ(t.ierr, 0) << t.stop;
    ASSERT_EQ(t.ray.nilluc, 21);
    for (int l = 1; l <= 21; ++l) {
        EXPECT_EQ(t.ray.illuc(l), l);
        EXPECT_NEAR(t.ray.xlsr(l), 10, tol);
    }
    t = trace(g, config(100, 320), {re, 0, 0}, {26560, 0, 0});
    EXPECT_EQ(t.stop, "ERROR: increase maxillu");
    EXPECT_TRUE(has_line(t.log, " ERROR: increase maxillu")) << t.log;
}
