#include "orbits/precise.hpp"

#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "frame/stop.hpp"
#include "textio/format.hpp"

namespace quelmar::orbits {

namespace {

constexpr const char* polint_failure = "failure in polint";
constexpr const char* inconsistent_epochs = "ERROR: S3C inconsistent epochs @ tdjmprn2xyzdt_s3c";
constexpr const char* uncovered = "WARNING: Observation uncovered by precise SP3C orbits";
constexpr const char* window_problem = "WARNING: Initial problems in S3C record (skipped)";

// Anchor slots are clamped to this many intervals either side of the first epoch, far outside the
// table, so that absurd epochs (or NaN) give an integer slot without overflow.
inline constexpr float128 max_intervals = 1e12Q;

// Bounds of the anchor consistency tolerance (s^2): the 64-bit resolution of stored epochs (about a
// microsecond at present MJDs) below, the half second of the slot rounding above.
constexpr double anchor_tol2_min = 1e-6;
constexpr double anchor_tol2_max = 0.25;

// The node nearest to x (the first of equally near ones): where the tableau's path starts.
int nearest_node(const PolintArray& xa, int n, float128 x) {
    int ns = 1;
    float128 dif = fabsq(x - xa(1));
    for (int i = 1; i <= n; ++i) {
        const float128 dift = fabsq(x - xa(i));
        if (dift < dif) {
            ns = i;
            dif = dift;
        }
    }
    return ns;
}

long double to_extended(float128 v) {
    // The sign, the exponent (both formats bias it by 16383) and the leading 64 bits of the significand,
    // the rest cut off: within 2^-63 of v, which is all the error bound below assumes. Zeros, subnormals,
    // infinities and NaNs take the library's conversion.
    unsigned __int128 b;
    std::memcpy(&b, &v, sizeof b);
    const auto top = static_cast<std::uint64_t>(b >> 64);
    const auto exp = static_cast<std::uint16_t>((top >> 48) & 0x7fff);
    if (exp == 0 || exp == 0x7fff) return static_cast<long double>(v);
    const std::uint64_t frac63 = static_cast<std::uint64_t>(b >> 49) & ((std::uint64_t(1) << 63) - 1);
    const std::uint64_t sig = (std::uint64_t(1) << 63) | frac63;
    const auto se = static_cast<std::uint16_t>(exp | ((top >> 48) & 0x8000));
    long double r = 0;
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &sig, 8);
    std::memcpy(bytes + 8, &se, 2);
    std::memcpy(&r, bytes, sizeof r);
    return r;
}

} // namespace

void qpolint(const PolintArray& xa, const PolintArray& ya, int n, float128 x, float128& y, float128& dy,
             frame::TextSink& out, frame::Log& log) {
    if (n < 1 || n > maxpolint) {
        out.list("ERROR: qpolint called with n=", n, "points; accepted: 1 ..", maxpolint);
        log.list("ERROR: qpolint called with n=", n, "points; accepted: 1 ..", maxpolint);
        throw frame::Stop(polint_failure);
    }
    // c and d are the upward and downward corrections of the tableau column being built.
    PolintArray c, d;
    int ns = nearest_node(xa, n, x);
    for (int i = 1; i <= n; ++i) {
        c(i) = ya(i);
        d(i) = ya(i);
    }
    y = ya(ns);
    --ns;
    dy = 0;
    for (int m = 1; m <= n - 1; ++m) {
        for (int i = 1; i <= n - m; ++i) {
            const float128 ho = xa(i) - x;
            const float128 hp = xa(i + m) - x;
            const float128 w = c(i + 1) - d(i);
            float128 den = ho - hp;
            if (den * den < polint_den2_min) {
                // Two abscissae (nearly) coincide: the polynomial is not defined. Standard output gets
                // x as well; the log only the pair and the tableau values.
                auto pair_lines = [&](frame::TextSink& s) {
                    s.list("i,xa(i)= ", i, xa(i));
                    s.list("i+m,xa(i+m)= ", i + m, xa(i + m));
                    s.list("i,m,xa(i),xa(i+m),ya(i+1),ya(i),ho,hp,den,tol= ", i, m, xa(i), xa(i + m),
                           ya(i + 1), ya(i), ho, hp, den, polint_den2_min);
                };
                out.line("");
                out.list("x= ", x);
                pair_lines(out);
                log.line("");
                pair_lines(log);
                throw frame::Stop(polint_failure);
            }
            den = w / den;
            d(i) = hp * den;
            c(i) = ho * den;
        }
        // Follow the path through the tableau that stays closest to the starting point.
        if (2 * ns < n - m) {
            dy = c(ns + 1);
        } else {
            dy = d(ns);
            --ns;
        }
        y += dy;
    }
}

bool plan_polint(const PolintArray& xa, int n, float128 x, PolintPlan& plan) {
    plan.n = 0;
    if (n < 1 || n > maxpolint) return false;
    // The same starting point and the same offset expressions as qpolint: the same bits.
    int ns = nearest_node(xa, n, x);
    for (int i = 1; i <= n; ++i) {
        plan.h(i) = xa(i) - x;
        plan.hl[static_cast<std::size_t>(i)] = to_extended(plan.h(i));
    }
    plan.ns = ns;
    --ns;
    for (int m = 1; m <= n - 1; ++m) {
        auto& den = plan.den[static_cast<std::size_t>(m)];
        for (int i = 1; i <= n - m; ++i) {
            const float128 ho = plan.h(i);
            const float128 hp = plan.h(i + m);
            const float128 dn = ho - hp;
            // |dn| of 2e-8 or more squares to more than the 1e-16 limit: only smaller ones need the
            // binary128 square (the same decision as squaring every one).
            if (!(std::fabs(static_cast<double>(dn)) >= 2e-8) && dn * dn < polint_den2_min) return false;
            den[static_cast<std::size_t>(i - 1)] = dn;
            plan.denl[static_cast<std::size_t>(m)][static_cast<std::size_t>(i - 1)] = to_extended(dn);
        }
        const auto um = static_cast<std::size_t>(m);
        if (2 * ns < n - m) {
            plan.from_c[um] = true;
            plan.k[um] = ns + 1;
        } else {
            plan.from_c[um] = false;
            plan.k[um] = ns;
            --ns;
        }
    }
    plan.n = n;
    return true;
}

void qpolint_planned(const PolintPlan& plan, const PolintArray& ya, float128& y, float128& dy) {
    const int n = plan.n;
    if (n < 1 || n > maxpolint) {
        y = dy = nanq("");
        return;
    }
    PolintArray c = ya;
    PolintArray d = ya;
    y = ya(plan.ns);
    dy = 0;
    for (int m = 1; m <= n - 1; ++m) {
        const auto um = static_cast<std::size_t>(m);
        const auto& den = plan.den[um];
        const int last = n - m;
        const bool take_c = plan.from_c[um];
        const int k = plan.k[um];
        // The next column reads c(2..last) and d(1..last-1) of this one; c(1) and d(last) are read
        // only when the path takes them as the correction, so they are computed only then.
        const bool need_c1 = take_c && k == 1;
        const bool need_dlast = !take_c && k == last;
        for (int i = 1; i <= last; ++i) {
            const float128 w = c(i + 1) - d(i);
            const float128 q = w / den[static_cast<std::size_t>(i - 1)];
            if (i < last || need_dlast) d(i) = plan.h(i + m) * q;
            if (i > 1 || need_c1) c(i) = plan.h(i) * q;
        }
        dy = take_c ? c(k) : d(k);
        y += dy;
    }
}

bool planned_double(const PolintPlan& plan, const std::array<long double, maxpolint + 1>& yin, double& y) {
    // Running error analysis: every quantity X of the tableau carries e, a bound on |X - X*|, X* being
    // the same quantity in exact arithmetic over the binary128 inputs. Converting an input to the
    // extended format and every operation in it err by at most u relative (u = 2^-63, twice the unit
    // roundoff of the 64-bit significand); a sum's bound is the sum of the operands' bounds, a product's
    // |a| eb + |b| ea, a quotient's (ew + |q| eden) / (|den| - eden). The bounds are carried in 64-bit
    // arithmetic (their own rounding is a relative 2^-50 at most); second-order terms and that rounding
    // are covered by the factor 4 on the final bound. The binary128 evaluation of the same tableau errs
    // by 2^-49 of that at most, which the factor covers too.
    using L = long double;
    constexpr double u = 0x1p-63;
    const int n = plan.n;
    if (n < 1 || n > maxpolint) return false;
    std::array<L, maxpolint + 1> c{}, d{};
    std::array<double, maxpolint + 1> ec{}, ed{}, ah{};
    for (int i = 1; i <= n; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        c[ui] = d[ui] = yin[ui];
        ec[ui] = ed[ui] = u * std::fabs(static_cast<double>(yin[ui]));
        ah[ui] = std::fabs(static_cast<double>(plan.hl[ui]));
    }
    L yl = c[static_cast<std::size_t>(plan.ns)];
    double ey = ec[static_cast<std::size_t>(plan.ns)];
    for (int m = 1; m <= n - 1; ++m) {
        const auto um = static_cast<std::size_t>(m);
        const auto& denl = plan.denl[um];
        for (int i = 1; i <= n - m; ++i) {
            const auto ui = static_cast<std::size_t>(i);
            const L den = denl[ui - 1];
            const double aden = std::fabs(static_cast<double>(den));
            const L w = c[ui + 1] - d[ui];
            const L q = w / den;
            const double aq = std::fabs(static_cast<double>(q));
            const double ew = ec[ui + 1] + ed[ui] + u * std::fabs(static_cast<double>(w));
            const double eq = (ew + aq * u * aden) / (aden * (1 - u)) + u * aq;
            d[ui] = plan.hl[ui + um] * q;
            ed[ui] = ah[ui + um] * eq + aq * u * ah[ui + um] + u * std::fabs(static_cast<double>(d[ui]));
            c[ui] = plan.hl[ui] * q;
            ec[ui] = ah[ui] * eq + aq * u * ah[ui] + u * std::fabs(static_cast<double>(c[ui]));
        }
        const auto k = static_cast<std::size_t>(plan.k[um]);
        const bool take_c = plan.from_c[um];
        yl += take_c ? c[k] : d[k];
        ey += (take_c ? ec[k] : ed[k]) + u * std::fabs(static_cast<double>(yl));
    }
    // The binary128 value lies within the bound of yl; it rounds to the double nearest yl when no
    // midpoint between that double and a neighbour falls inside the bound (the midpoints are exact in
    // 80 bits).
    const L bound = 4 * static_cast<L>(ey);
    const double y0 = static_cast<double>(yl);
    if (!std::isfinite(y0) || !std::isfinite(ey)) return false;
    const L lo = (static_cast<L>(y0) + static_cast<L>(std::nextafter(y0, -HUGE_VAL))) / 2;
    const L hi = (static_cast<L>(y0) + static_cast<L>(std::nextafter(y0, HUGE_VAL))) / 2;
    if (!(yl - bound > lo && yl + bound < hi)) return false;
    y = y0;
    return true;
}

int qpolint_batch_double(const PolintArray& xa, std::span<const PolintArray> ya, int n, float128 x,
                         std::span<double> y, frame::TextSink& out, frame::Log& log) {
    const std::size_t nset = std::min(ya.size(), y.size());
    if (nset == 0) return 0;
    PolintPlan plan;
    if (!plan_polint(xa, n, x, plan)) {
        float128 y0 = 0, dy0 = 0;
        qpolint(xa, ya[0], n, x, y0, dy0, out, log); // writes its lines and stops
        return 0;
    }
    int slow = 0;
    for (std::size_t s = 0; s < nset; ++s) {
        std::array<long double, maxpolint + 1> yl{};
        for (int i = 1; i <= n; ++i) yl[static_cast<std::size_t>(i)] = to_extended(ya[s](i));
        if (planned_double(plan, yl, y[s])) continue;
        float128 yq = 0, dyq = 0;
        qpolint_planned(plan, ya[s], yq, dyq);
        y[s] = static_cast<double>(yq);
        ++slow;
    }
    return slow;
}

int tdjmprn2xyzdt_s3c_v4(float128 tdjm, float128 tdjms3c_0, std::int32_t iexpected_dtsec_sp3cfiles, int iprn,
                         const auxfiles::PreciseOrbitTable& table, std::array<double, 5>& xyzdt,
                         std::int64_t& iepoch, double dtsec2tol_s3c, bool /*required_sp3_clocks*/,
                         frame::TextSink& out, frame::Log& log) {
    const std::int32_t idt = iexpected_dtsec_sp3cfiles;
    // Whole intervals since the first epoch, after rounding the epoch to the nearest second.
    float128 k = -max_intervals;
    if (idt > 0) k = truncq(((tdjm - tdjms3c_0) * 86400 + 0.5Q) / idt);
    if (!(k >= -max_intervals)) k = -max_intervals; // also NaN
    if (k > max_intervals) k = max_intervals;
    iepoch = static_cast<std::int64_t>(k) * (idt > 0 ? idt : 1) + 1;

    if (iepoch <= 0 || iepoch > auxfiles::maxepochs3c) {
        const textio::Format fmt("(2a,i3,2e16.8,3i6)");
        log.formatted(fmt, "WARNING: OB1 time not covered by S3C records: ",
                      "iprn,tdjm,tdjms3c_0,iexpected_dtsec_sp3cfiles,iepoch,nepochs3c=", iprn, tdjm,
                      tdjms3c_0, idt, static_cast<long long>(iepoch), table.nepochs3c);
        return 2;
    }
    const int slot = static_cast<int>(iepoch);
    const auxfiles::S3cSlot* rec = table.find(iprn, slot);
    if (rec == nullptr || !rec->valid) {
        log.list("WARNING: non valid SP3C record for PRN,IEPOCH=", iprn, slot);
        return 1;
    }

    // The stored epoch must be the slot's nominal epoch up to the slot rounding; anything else means the
    // table and its first epoch do not belong together.
    const float128 tdjm1 = tdjms3c_0 + float128(iepoch - 1) / 86400;
    const float128 stored = rec->component(auxfiles::comp_epoch);
    const float128 dt = stored - tdjm1;
    const float128 dtsec = dt * 86400;
    double tol2 = dtsec2tol_s3c;
    if (!(tol2 >= anchor_tol2_min)) tol2 = anchor_tol2_min;
    if (tol2 > anchor_tol2_max) tol2 = anchor_tol2_max;
    if (!(dtsec * dtsec <= tol2)) {
        auto error_lines = [&](frame::TextSink& s) {
            s.list(inconsistent_epochs);
            s.list("iepoch,iexpected_dtsec_sp3cfiles,tdjms3c_0=", slot, idt, tdjms3c_0);
            s.list("dt,tdjm1,iprn,satxyzdt_s3c_=", dt, tdjm1, iprn, stored);
            s.list("dt,dtsec2tol_s3c=", dt, tol2); // dt in days, as on the line before
        };
        error_lines(log);
        error_lines(out);
        throw frame::Stop(inconsistent_epochs);
    }
    for (int i = 1; i <= 5; ++i)
        xyzdt[static_cast<std::size_t>(i - 1)] = static_cast<double>(rec->component(i));
    return 0;
}

int posat_s3e(float128 tdjm, double travel_time_sec, int iprn, std::int32_t iexpected_dtsec_sp3cfiles,
              const auxfiles::PreciseOrbitTable& table, bool required_sp3_clocks, float128 tdjms3c_0,
              PreciseFix& fix, PolintWork& work, int idegree_polint_s3c, double dtsec2tol_s3c,
              const frame::Constants& constants, frame::TextSink& out, frame::Log& log) {
    fix.update_orbits = false;
    if (idegree_polint_s3c < 0 || idegree_polint_s3c >= maxpolint) {
        log.list("ERROR: idegree_polint_s3c outside 0 ..", maxpolint - 1, ":", idegree_polint_s3c);
        throw frame::Stop("ERROR: idegree_polint_s3c outside 0..9");
    }

    std::array<double, 5> xyzdt{};
    std::int64_t iepoch = 0;
    if (tdjmprn2xyzdt_s3c_v4(tdjm, tdjms3c_0, iexpected_dtsec_sp3cfiles, iprn, table, xyzdt, iepoch,
                             dtsec2tol_s3c, required_sp3_clocks, out, log) != 0)
        return 3;

    // Window of idegree + 1 records: idegree/2 intervals before the anchor, the rest after it.
    const std::int64_t idt = iexpected_dtsec_sp3cfiles; // positive: the anchor was found
    const std::int64_t iepoch0 = iepoch - (idegree_polint_s3c / 2) * idt;
    const std::int64_t iepoch1 = iepoch0 + idegree_polint_s3c * idt;
    if (iepoch0 <= 0 || iepoch1 > auxfiles::maxepochs3c) {
        fix.ctx = {-999.9, -999.9, -999.9};
        fix.satclockerror = -99.99;
        out.list(uncovered);
        log.list(uncovered);
        fix.update_orbits = true;
        return 1;
    }

    const int n = idegree_polint_s3c + 1;
    std::array<const auxfiles::S3cSlot*, maxpolint> win{};
    for (int k = 0; k < n; ++k) {
        const auxfiles::S3cSlot* rec = table.find(iprn, static_cast<int>(iepoch0 + k * idt));
        if (rec == nullptr || !rec->valid) {
            out.list(window_problem);
            log.list(window_problem);
            return 2;
        }
        win[static_cast<std::size_t>(k)] = rec;
    }

    // Evaluation epochs: t, t - 1 s, t + 1 s.
    const float128 one_second = 1.0Q / 86400;
    const std::array<float128, 3> t = {tdjm, tdjm - one_second, tdjm + one_second};
    for (int k = 1; k <= n; ++k)
        work.xa(k) = win[static_cast<std::size_t>(k - 1)]->component(auxfiles::comp_epoch);
    // The second light-time pass of an observation asks for the same window at the same epoch.
    PolintMemo& memo = work.memo;
    std::array<std::array<float128, auxfiles::ncomp_s3c>, maxpolint> window{};
    for (int k = 0; k < n; ++k) window[static_cast<std::size_t>(k)] = win[static_cast<std::size_t>(k)]->c;
    const bool reuse =
        memo.valid && memo.n == n && std::memcmp(&memo.tdjm, &tdjm, sizeof tdjm) == 0 &&
        std::memcmp(memo.window.data(), window.data(), static_cast<std::size_t>(n) * sizeof window[0]) == 0;
    // Ordinates: the components in order, skipping the epoch; the position first, as only the
    // position is also needed at t - 1 s and t + 1 s.
    constexpr int nset = auxfiles::ncomp_s3c - 1;
    static_assert(auxfiles::comp_epoch > 3, "the position components come first");
    std::array<PolintArray, nset> ya{};
    std::array<int, nset> comps{};
    {
        std::size_t s = 0;
        for (int comp = 1; comp <= auxfiles::ncomp_s3c; ++comp) {
            if (comp == auxfiles::comp_epoch) continue;
            comps[s] = comp;
            for (int k = 1; k <= n; ++k)
                ya[s](k) = window[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(comp - 1)];
            ++s;
        }
    }
    work.ya = ya[nset - 1];
    if (!reuse) {
        // p[j][i]: component i + 1 at epoch t[j]; only j = 0 for the components past the position.
        // One call per epoch shares the abscissa-only part of the tableau among the components. The
        // values are those of one qpolint call per component and epoch, and a failure (coincident
        // abscissae) stops at the same call with the same lines: the first component at the first
        // failing epoch.
        memo.valid = false;
        memo.p = {};
        std::array<double, nset> y{};
        for (std::size_t j = 0; j < t.size(); ++j) {
            const std::size_t ns = j == 0 ? nset : 3;
            qpolint_batch_double(work.xa, std::span<const PolintArray>(ya.data(), ns), n, t[j],
                                 std::span<double>(y.data(), ns), out, log);
            for (std::size_t s = 0; s < ns; ++s) memo.p[j][static_cast<std::size_t>(comps[s] - 1)] = y[s];
        }
        memo.n = n;
        memo.tdjm = tdjm;
        memo.window = window;
        memo.valid = true;
    }
    const auto& p = memo.p;
    const auto& p1 = p[0];
    const auto& p2 = p[1];
    const auto& p3 = p[2];

    fix.sctx = {p1[5], p1[6], p1[7]};
    fix.ssatclockerror = p1[8];
    fix.satclockerror = p1[3];

    // The Earth turns by omega*tau while the signal travels: express the transmit position in the frame
    // of the reception epoch.
    const double a = omega_earth_precise * travel_time_sec;
    const double ca = std::cos(a), sa = std::sin(a);
    fix.ctx = {ca * p1[0] + sa * p1[1], -sa * p1[0] + ca * p1[1], p1[2]};

    // Central difference over +-1 s, in the frame of the transmit epoch.
    for (std::size_t i = 0; i < 3; ++i) fix.v[i] = (p3[i] - p2[i]) / 2;
    const double pv = p1[0] * fix.v[0] + p1[1] * fix.v[1] + p1[2] * fix.v[2];
    fix.dtrel_m = -2 * pv / constants.c;
    return 0;
}

int posat_s3e_satellite(float128 tdjmobstt, double travel_time_sec, int iprn, const frame::Config& cfg,
                        const auxfiles::PreciseOrbitTable& s3c, PreciseFix& fix, PolintWork& work,
                        const frame::Constants& constants, frame::TextSink& out, frame::Log& log) {
    return posat_s3e(tdjmobstt, travel_time_sec, iprn, cfg.iexpected_dtsec_sp3cfiles, s3c, true,
                     s3c.tdjms3c_0, fix, work, idegree_polint_s3c, cfg.dtsec2tol_s3c, constants, out, log);
}

int posat_s3e_rover(float128 tdjmobs, int irover_sp3_leo_id, const frame::Config& cfg,
                    const auxfiles::PreciseOrbitTable& rs3, PreciseFix& fix, PolintWork& work,
                    const frame::Constants& constants, frame::TextSink& out, frame::Log& log) {
    return posat_s3e(tdjmobs, 0.0, irover_sp3_leo_id, cfg.iexpected_dtsec_rover_sp3file, rs3, false,
                     rs3.tdjms3c_0, fix, work, idegree_polint_s3c, cfg.dtsec2tol_rs3, constants, out, log);
}

} // namespace quelmar::orbits
