// Precise orbit and clock interpolation: the position, velocity, clock, formal errors and relativistic
// clock term of one object of a precise-orbit table (satellites, or rover trajectories) at any epoch.
//
// The table is addressed by slot (whole seconds since its first epoch, plus one). An epoch is anchored
// on the nominal record slot at or before it (after rounding to the nearest second); a window of
// idegree_polint_s3c + 1 records (four before the anchor, five after it, for the usual degree 9) is
// interpolated with Neville's algorithm in binary128, with the record epochs (MJD) as abscissae. The
// epoch arithmetic and the interpolation are binary128 throughout; the results are rounded to 64-bit.
// Most values are found without the (software) binary128 arithmetic: the tableau is evaluated in the
// processor's 80-bit format with a certified error bound, and that result is taken whenever the bound
// proves it rounds to the same 64-bit value as the binary128 one (qpolint_batch_double).
//
// The routines follow the convention of the orbit code: inputs by value, outputs by reference, an
// integer status (0 success) as return value. Duplicate abscissae in a window and a table whose stored
// epochs contradict the slot arithmetic stop the run (frame::Stop).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "auxfiles/precise_orbits.hpp"
#include "frame/config.hpp"
#include "frame/constants.hpp"
#include "frame/log.hpp"
#include "util/array.hpp"

namespace quelmar::orbits {

using float128 = __float128;

// Degree of the interpolating polynomial; the window holds one record more.
constexpr int idegree_polint_s3c = 9;
// Most points qpolint accepts.
constexpr int maxpolint = 10;
// Earth rotation rate (rad/s) used for the rotation over the signal travel time.
constexpr double omega_earth_precise = 7.2921151467e-5;
// Neville stops when two abscissae of a window are closer than this, squared (1e-8 days = 0.864 ms).
inline constexpr float128 polint_den2_min = 1e-16Q;

using PolintArray = Array1<float128, maxpolint>;

// The values posat_s3e interpolated from one window, with every input they depend on: the n records of
// the window (all components) and the epoch. The second light-time pass of an observation interpolates
// the same window at the same epoch (only the rotation changes) and takes them from here; the key holds
// every input bit, so a reloaded table or another object is never served stale values.
struct PolintMemo {
    bool valid = false;
    int n = 0;
    float128 tdjm = 0;
    std::array<std::array<float128, auxfiles::ncomp_s3c>, maxpolint> window{};
    // p[j][i]: component i + 1 at t, t - 1 s, t + 1 s (j = 0, 1, 2); only j = 0 past the position.
    std::array<std::array<double, auxfiles::ncomp_s3c>, 3> p{};
};

// Work space of the interpolation, owned by the caller: abscissae and ordinates of one window, and the
// last window's values.
struct PolintWork {
    PolintArray xa;
    PolintArray ya;
    PolintMemo memo;
};

// Neville's algorithm: value y and error estimate dy (the last correction) at x of the polynomial through
// the n points (xa(i), ya(i)), i = 1..n, 1 <= n <= maxpolint. Starts from the point nearest to x (the
// first one on a tie). Two abscissae closer than 1e-8 (in the units of xa) write diagnostic lines to
// `out` and `log` and stop the run with "failure in polint"; so does an n outside 1..maxpolint.
void qpolint(const PolintArray& xa, const PolintArray& ya, int n, float128 x, float128& y, float128& dy,
             frame::TextSink& out, frame::Log& log);

// The part of Neville's tableau that depends only on the abscissae and the point x, shared by every
// ordinate set interpolated over those abscissae at x: the offsets h(i) = xa(i) - x (ho = h(i) and
// hp = h(i + m) in column m), the denominators ho - hp, the starting point and the path of corrections.
// Interpolating with a plan performs the ordinate-dependent operations of qpolint in the same order on
// the same operands, so every value and error estimate has the same bits as qpolint's.
struct PolintPlan {
    int n = 0;
    int ns = 0;                                                   // starting point (nearest abscissa)
    PolintArray h;                                                // xa(i) - x
    std::array<std::array<float128, maxpolint>, maxpolint> den{}; // den[m][i - 1] = h(i) - h(i + m)
    std::array<bool, maxpolint> from_c{}; // column m adds c(k[m]) (true) or d(k[m]) (false)
    std::array<int, maxpolint> k{};
    // h and den in the processor's 80-bit format, for the evaluation that certifies its rounding.
    std::array<long double, maxpolint + 1> hl{};
    std::array<std::array<long double, maxpolint>, maxpolint> denl{};
};

// Builds the plan of the n points xa(1..n) at x. Returns false, leaving the plan unusable, when n lies
// outside 1..maxpolint or two abscissae are closer than qpolint accepts; qpolint then writes its
// diagnostic lines and stops the run.
bool plan_polint(const PolintArray& xa, int n, float128 x, PolintPlan& plan);

// Value y and error estimate dy of one ordinate set ya(1..plan.n) with a plan that plan_polint accepted:
// the bits of qpolint. An unusable plan gives not-a-number for both.
void qpolint_planned(const PolintPlan& plan, const PolintArray& ya, float128& y, float128& dy);

// Batched Neville rounded to 64-bit: y[s] = double(y of qpolint(xa, ya[s], n, x, ...)) for the ordinate
// sets ya[s] over the same abscissae, sharing the abscissa-only part of the tableau. Each set is
// evaluated over the same plan in the 80-bit extended format of the processor with a running bound on its
// distance from the exact tableau over the same binary128 inputs (h, den, ya). When no 64-bit rounding
// boundary lies within the bound of the value (the binary128 result then lies within it too and rounds
// to the same double), that double is the result; otherwise the set is evaluated in binary128 as
// qpolint_planned does. The results are those of qpolint, bit for bit. On a point count outside
// 1..maxpolint or coincident abscissae it writes the lines of qpolint for the first set and stops.
// Returns how many sets needed binary128.
int qpolint_batch_double(const PolintArray& xa, std::span<const PolintArray> ya, int n, float128 x,
                         std::span<double> y, frame::TextSink& out, frame::Log& log);

// The extended-precision evaluation of one set: false when its bound does not settle the rounding.
// yl holds the set's ordinates already in the 80-bit format (yl[1..plan.n]).
bool planned_double(const PolintPlan& plan, const std::array<long double, maxpolint + 1>& yl, double& y);

// The anchor slot of an epoch for object iprn:
//   iepoch = trunc(((tdjm - tdjms3c_0)*86400 + 0.5) / D) * D + 1, D = iexpected_dtsec_sp3cfiles.
// Returns ierrtdp2xs: 0 ok (xyzdt = components 1..5 of the slot, rounded to 64-bit), 1 the slot holds
// no valid record, 2 the slot lies outside 1..maxepochs3c (also for a nominal interval that is not
// positive, or an epoch that is not a number; iepoch is then clamped far outside the table). Statuses 1
// and 2 write a warning line to the log. A stored epoch more than the tolerance away from the slot's
// nominal epoch tdjms3c_0 + (iepoch - 1)/86400 writes error lines to `out` and `log` and stops the run.
// The tolerance, in s^2, is dtsec2tol_s3c bounded to [1e-6, 0.25]: never looser than the half second
// the slot rounding allows, never tighter than the 64-bit resolution of stored epochs.
// required_sp3_clocks is not consulted: a record whose clock is missing was already marked invalid when
// the table was loaded with clocks required.
int tdjmprn2xyzdt_s3c_v4(float128 tdjm, float128 tdjms3c_0, std::int32_t iexpected_dtsec_sp3cfiles, int iprn,
                         const auxfiles::PreciseOrbitTable& table, std::array<double, 5>& xyzdt,
                         std::int64_t& iepoch, double dtsec2tol_s3c, bool required_sp3_clocks,
                         frame::TextSink& out, frame::Log& log);

// Results of one interpolation (64-bit).
struct PreciseFix {
    std::array<double, 3> ctx{};  // position (m), Earth-fixed frame of tdjm + travel time
    double satclockerror = 0;     // clock offset (s)
    std::array<double, 3> sctx{}; // formal errors of the position (m)
    double ssatclockerror = 0;    // formal error of the clock (s)
    double dtrel_m = 0;           // relativistic clock correction -2 p.v / c (m)
    std::array<double, 3> v{};    // velocity (m/s), Earth-fixed frame of tdjm
    bool update_orbits = false;   // the window runs past the table: newer orbits are needed
};

// Position, clock, formal errors, velocity and relativistic term of object iprn at epoch tdjm (binary128
// MJD), the position rotated about z by the Earth's rotation over travel_time_sec (the frame of the
// reception epoch). Returns ierrps3c:
//   0 ok, every field of `fix` set;
//   1 the window runs outside the table's slots: ctx = -999.9 m, satclockerror = -99.99 s,
//     update_orbits = true, "WARNING: Observation uncovered by precise SP3C orbits" to out and log;
//   2 a record of the window is empty or invalid: "WARNING: Initial problems in S3C record (skipped)"
//     to out and log, `fix` otherwise untouched;
//   3 the anchor slot is unusable (see tdjmprn2xyzdt_s3c_v4), `fix` otherwise untouched.
// update_orbits is reset to false on entry. For the rover table pass iexpected_dtsec_rover_sp3file,
// tdjmrs3_0 and dtsec2tol_rs3 in the places of the satellite values, travel time 0 and clocks not
// required (posat_s3e_rover does so). idegree_polint_s3c outside 0..maxpolint-1 stops the run.
// The values interpolated from a window are kept in work.memo; a call with the same window records and
// the same epoch (the next light-time pass) takes them from there instead of interpolating again.
int posat_s3e(float128 tdjm, double travel_time_sec, int iprn, std::int32_t iexpected_dtsec_sp3cfiles,
              const auxfiles::PreciseOrbitTable& table, bool required_sp3_clocks, float128 tdjms3c_0,
              PreciseFix& fix, PolintWork& work, int idegree_polint_s3c, double dtsec2tol_s3c,
              const frame::Constants& constants, frame::TextSink& out, frame::Log& log);

// The satellite call: the satellite table with the satellite settings of the configuration, clocks
// required, the transmit epoch and the travel time of the current light-time pass.
int posat_s3e_satellite(float128 tdjmobstt, double travel_time_sec, int iprn, const frame::Config& cfg,
                        const auxfiles::PreciseOrbitTable& s3c, PreciseFix& fix, PolintWork& work,
                        const frame::Constants& constants, frame::TextSink& out, frame::Log& log);

// The rover call: the rover table with the rover settings, clocks not required, the reception epoch and
// travel time 0. irover_sp3_leo_id is the object number of the receiver in the rover file.
int posat_s3e_rover(float128 tdjmobs, int irover_sp3_leo_id, const frame::Config& cfg,
                    const auxfiles::PreciseOrbitTable& rs3, PreciseFix& fix, PolintWork& work,
                    const frame::Constants& constants, frame::TextSink& out, frame::Log& log);

} // namespace quelmar::orbits
