// Precise orbit and clock interpolation: Neville's algorithm against polynomials, the anchor slot and
// the window at the edges of a table, every status and stop, and positions, velocities and relativistic
// terms on synthetic orbits against their closed forms.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "auxfiles/precise_orbits.hpp"
#include "frame/config.hpp"
#include "frame/constants.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "orbits/precise.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::orbits;
using namespace quelmar::testing_support;
using auxfiles::PreciseOrbitTable;

namespace {

constexpr long mjd0 = 54612; // 2008-05-26
const float128 t0 = mjd0;

// A log and a standard output, both readable back.
class Sinks : public ScratchFixture {
  protected:
    Sinks() { EXPECT_TRUE(out_.open(dir_.path("out.txt"))); }
    std::vector<std::string> out_lines() {
        out_.flush();
        return lines_of(dir_.read("out.txt"));
    }
    std::vector<std::string> log_lines() { return captured_.lines(); }
    frame::TextSink out_;
    frame::Constants k_;
    PolintWork work_;
};

// The epoch of a record `sec` seconds after the first, as the reader computes it (64-bit, widened).
float128 record_epoch(long sec) {
    return float128(static_cast<double>(mjd0) + static_cast<double>(sec) / 86400.0);
}

using Components = std::array<float128, auxfiles::ncomp_s3c>;
// A model: the components (the epoch component is filled in) at a time in seconds since the first epoch.
using Model = std::function<Components(float128)>;

// Records of object iobj every `step` seconds from 0 to `last` seconds.
void fill(PreciseOrbitTable& t, int iobj, long step, long last, const Model& m) {
    t.tdjms3c_0 = t0;
    for (long s = 0; s <= last; s += step) {
        const float128 e = record_epoch(s);
        Components c = m((e - t0) * 86400);
        c[4] = e;
        ASSERT_TRUE(t.store(iobj, static_cast<int>(s + 1), c, true));
        ++t.nepochs3c;
    }
    t.tdjms3c_1 = record_epoch(last);
}

// A circular orbit of radius r, mean motion n (rad/s) and inclination incl, in the frame of the table,
// with a quadratic clock and linear formal errors.
struct Circular {
    float128 r = 26560e3Q, n = 2 * M_PIq / 43082, incl = 55 * M_PIq / 180, phase = 0.3Q;
    Components operator()(float128 ts) const {
        const float128 th = phase + n * ts;
        Components c{};
        c[0] = r * cosq(th);
        c[1] = r * sinq(th) * cosq(incl);
        c[2] = r * sinq(th) * sinq(incl);
        c[3] = 1.5e-4Q + 2e-11Q * ts - 3e-17Q * ts * ts;
        for (int i = 5; i < 9; ++i) c[static_cast<std::size_t>(i)] = 0.01Q * i + 1e-9Q * ts;
        return c;
    }
    std::array<double, 3> pos(float128 ts) const {
        const Components c = (*this)(ts);
        return {static_cast<double>(c[0]), static_cast<double>(c[1]), static_cast<double>(c[2])};
    }
    std::array<double, 3> vel(float128 ts) const {
        const float128 th = phase + n * ts;
        return {static_cast<double>(-r * n * sinq(th)), static_cast<double>(r * n * cosq(th) * cosq(incl)),
                static_cast<double>(r * n * cosq(th) * sinq(incl))};
    }
};

// ---------------------------------------------------------------------------------------------------
// Neville's algorithm

class PreciseNeville : public Sinks {};

TEST_F(PreciseNeville, PolynomialsAreExactUpToDegreeNMinusOne) {
    Rng rng(20080526);
    for (int n = 1; n <= maxpolint; ++n) {
        for (int deg = 0; deg <= n; ++deg) {
            // Irregular abscissae in days around an MJD, a polynomial in hours since the first one.
            PolintArray xa, ya;
            std::vector<float128> coef(static_cast<std::size_t>(deg + 1));
            for (auto& a : coef) a = float128(rng.unit() * 2 - 1);
            auto poly = [&](float128 x) {
                const float128 u = (x - t0) * 24;
                float128 s = 0;
                for (int j = deg; j >= 0; --j) s = s * u + coef[static_cast<std::size_t>(j)];
                return s;
            };
            float128 x = t0;
            for (int i = 1; i <= n; ++i) {
                x += float128(0.005 + 0.01 * rng.unit());
                xa(i) = x;
                ya(i) = poly(x);
            }
            for (int trial = 0; trial < 5; ++trial) {
                const float128 xx = xa(1) + (xa(n) - xa(1) + 0.02Q) * float128(rng.unit()) - 0.01Q;
                float128 y = 0, dy = 0;
                qpolint(xa, ya, n, xx, y, dy, out_, log_);
                const float128 scale = 1 + fabsq(poly(xx));
                const float128 err = fabsq(y - poly(xx)) / scale;
                if (deg <= n - 1) {
                    EXPECT_LT(static_cast<double>(err), 1e-28) << "n=" << n << " degree " << deg;
                    if (deg < n - 1) {
                        EXPECT_LT(static_cast<double>(fabsq(dy) / scale), 1e-28) << n << " " << deg;
                    }
                } else if (n > 1) {
                    // One degree too many: not reproduced, and the error estimate says so.
                    EXPECT_GT(static_cast<double>(err), 1e-20) << "n=" << n << " degree " << deg;
                    EXPECT_GT(static_cast<double>(fabsq(dy)), 0.0);
                }
            }
            // At a node the polynomial goes through the ordinate.
            for (int i = 1; i <= n; ++i) {
                float128 y = 0, dy = 0;
                qpolint(xa, ya, n, xa(i), y, dy, out_, log_);
                EXPECT_LT(static_cast<double>(fabsq(y - ya(i)) / (1 + fabsq(ya(i)))), 1e-30) << n << " " << i;
            }
        }
    }
}

TEST_F(PreciseNeville, LinearInterpolationBetweenTwoPoints) {
    PolintArray xa, ya;
    xa(1) = 1;
    xa(2) = 3;
    ya(1) = 10;
    ya(2) = 20;
    float128 y = 0, dy = 0;
    qpolint(xa, ya, 2, 1.5Q, y, dy, out_, log_); // nearest point 1: y = 10, then +2.5
    EXPECT_TRUE(y == 12.5Q);
    EXPECT_TRUE(dy == 2.5Q);
    qpolint(xa, ya, 2, 2.5Q, y, dy, out_, log_); // nearest point 2: y = 20, then -2.5
    EXPECT_TRUE(y == 17.5Q);
    EXPECT_TRUE(dy == -2.5Q);
}

struct DupCase {
    double gap; // days between the 3rd and 4th abscissa
    bool stops;
};
class PreciseNevilleDuplicates : public Sinks, public ::testing::WithParamInterface<DupCase> {};

TEST_P(PreciseNevilleDuplicates, CloseAbscissaeStopTheRun) {
    PolintArray xa, ya;
    for (int i = 1; i <= 6; ++i) {
        xa(i) = t0 + float128(i) / 96;
        ya(i) = i * i;
    }
    xa(4) = xa(3) + float128(GetParam().gap);
    float128 y = 0, dy = 0;
    const float128 x = xa(1) + 0.001Q;
    if (!GetParam().stops) {
        EXPECT_NO_THROW(qpolint(xa, ya, 6, x, y, dy, out_, log_));
        EXPECT_TRUE(out_lines().empty());
        return;
    }
    try {
        qpolint(xa, ya, 6, x, y, dy, out_, log_);
        FAIL() << "no stop";
    } catch (const frame::Stop& s) {
        EXPECT_EQ(s.message(), "failure in polint");
    }
    const auto out = out_lines();
    const auto log = log_lines();
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[0], "");
    EXPECT_EQ(out[1].rfind(" x=  ", 0), 0u) << out[1];
    // The first pair to meet is (3, 4), at m = 1.
    EXPECT_EQ(out[2].rfind(" i,xa(i)=  3 ", 0), 0u) << out[2];
    EXPECT_EQ(out[3].rfind(" i+m,xa(i+m)=  4 ", 0), 0u) << out[3];
    EXPECT_EQ(out[4].rfind(" i,m,xa(i),xa(i+m),ya(i+1),ya(i),ho,hp,den,tol=  3 1 ", 0), 0u) << out[4];
    // The log gets the same lines without the one with x.
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "");
    EXPECT_EQ(log[1], out[2]);
    EXPECT_EQ(log[2], out[3]);
    EXPECT_EQ(log[3], out[4]);
}

INSTANTIATE_TEST_SUITE_P(Gaps, PreciseNevilleDuplicates,
                         ::testing::Values(DupCase{0.0, true}, DupCase{0.5e-8, true}, DupCase{0.99e-8, true},
                                           DupCase{-0.99e-8, true}, DupCase{1.01e-8, false},
                                           DupCase{1e-6, false}));

TEST_F(PreciseNeville, PointCountOutsideOneToTenStops) {
    PolintArray xa, ya;
    float128 y = 0, dy = 0;
    for (int n : {0, -1, 11}) EXPECT_THROW(qpolint(xa, ya, n, 0, y, dy, out_, log_), frame::Stop) << n;
}

// ---------------------------------------------------------------------------------------------------
// Anchor slot

class PreciseAnchor : public Sinks {
  protected:
    PreciseAnchor() {
        fill(t_, 5, 900, 86400 * 11 - 900, [](float128) { return Components{}; });
    }
    PreciseOrbitTable t_;
};

struct AnchorCase {
    double offset; // seconds after the first epoch
    int status;
    long long iepoch;
};
class PreciseAnchorSlots : public PreciseAnchor, public ::testing::WithParamInterface<AnchorCase> {};

TEST_P(PreciseAnchorSlots, NominalRecordAtOrBeforeTheRoundedEpoch) {
    const AnchorCase& c = GetParam();
    std::array<double, 5> xyzdt{};
    std::int64_t iepoch = 0;
    const float128 tdjm = t0 + float128(c.offset) / 86400;
    const int st = tdjmprn2xyzdt_s3c_v4(tdjm, t0, 900, 5, t_, xyzdt, iepoch, 1e-4, true, out_, log_);
    EXPECT_EQ(st, c.status) << c.offset;
    EXPECT_EQ(iepoch, c.iepoch) << c.offset;
    if (st == 0) {
        EXPECT_EQ(xyzdt[4], static_cast<double>(record_epoch(c.iepoch - 1)));
    }
    if (st == 2) {
        EXPECT_EQ(log_lines().size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Offsets, PreciseAnchorSlots,
                         ::testing::Values(AnchorCase{0, 0, 1}, AnchorCase{1000, 0, 901},
                                           AnchorCase{899.6, 0, 901}, AnchorCase{899.4, 0, 1},
                                           AnchorCase{1799.4, 0, 901}, AnchorCase{-0.4, 0, 1},
                                           AnchorCase{-0.6, 0, 1}, AnchorCase{-899.6, 0, 1},
                                           AnchorCase{-900.6, 2, -899}, AnchorCase{950399.4, 0, 949501},
                                           AnchorCase{950399.6, 2, 950401},
                                           AnchorCase{1e30, 2, 900'000'000'000'001LL}));

TEST_F(PreciseAnchor, OutsideTheTableWritesTheFormattedWarning) {
    std::array<double, 5> xyzdt{};
    std::int64_t iepoch = 0;
    t_.nepochs3c = 97;
    EXPECT_EQ(tdjmprn2xyzdt_s3c_v4(t0 - 1, t0, 900, 5, t_, xyzdt, iepoch, 1e-4, true, out_, log_), 2);
    EXPECT_EQ(iepoch, -85499);
    ASSERT_EQ(log_lines().size(), 1u);
    EXPECT_EQ(log_lines()[0], "WARNING: OB1 time not covered by S3C records: "
                              "iprn,tdjm,tdjms3c_0,iexpected_dtsec_sp3cfiles,iepoch,nepochs3c="
                              "  5  0.54611000E+05  0.54612000E+05   900-85499    97");
    EXPECT_TRUE(out_lines().empty());
}

TEST_F(PreciseAnchor, NotANumberAndNonPositiveIntervalAreOutside) {
    std::array<double, 5> xyzdt{};
    std::int64_t iepoch = 0;
    EXPECT_EQ(tdjmprn2xyzdt_s3c_v4(nanq(""), t0, 900, 5, t_, xyzdt, iepoch, 1e-4, true, out_, log_), 2);
    for (int idt : {0, -900})
        EXPECT_EQ(tdjmprn2xyzdt_s3c_v4(t0 + 1, t0, idt, 5, t_, xyzdt, iepoch, 1e-4, true, out_, log_), 2);
}

TEST_F(PreciseAnchor, InvalidOrEmptySlotOrUnknownObject) {
    std::array<double, 5> xyzdt{};
    std::int64_t iepoch = 0;
    Components c{};
    c[4] = record_epoch(1800);
    t_.store(5, 1801, c, false); // a record with a marked missing clock
    const float128 e = t0 + 1800.0Q / 86400;
    EXPECT_EQ(tdjmprn2xyzdt_s3c_v4(e, t0, 900, 5, t_, xyzdt, iepoch, 1e-4, true, out_, log_), 1);
    EXPECT_EQ(tdjmprn2xyzdt_s3c_v4(e, t0, 900, 6, t_, xyzdt, iepoch, 1e-4, true, out_, log_), 1);
    EXPECT_EQ(tdjmprn2xyzdt_s3c_v4(e, t0, 900, 0, t_, xyzdt, iepoch, 1e-4, true, out_, log_), 1);
    EXPECT_EQ(tdjmprn2xyzdt_s3c_v4(e, t0, 900, 99, t_, xyzdt, iepoch, 1e-4, true, out_, log_), 1);
    const auto log = log_lines();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], " WARNING: non valid SP3C record for PRN,IEPOCH= 5 1801");
    EXPECT_EQ(log[3], " WARNING: non valid SP3C record for PRN,IEPOCH= 99 1801");
}

struct EpochCase {
    double off_sec; // stored epoch minus nominal epoch
    double dtsec2tol;
    bool stops;
};
class PreciseAnchorConsistency : public PreciseAnchor, public ::testing::WithParamInterface<EpochCase> {};

TEST_P(PreciseAnchorConsistency, StoredEpochFarFromNominalStops) {
    const EpochCase& p = GetParam();
    Components c{};
    c[4] = t0 + (900 + float128(p.off_sec)) / 86400;
    t_.store(5, 901, c, true);
    std::array<double, 5> xyzdt{};
    std::int64_t iepoch = 0;
    const float128 e = t0 + 1000.0Q / 86400;
    if (!p.stops) {
        EXPECT_EQ(tdjmprn2xyzdt_s3c_v4(e, t0, 900, 5, t_, xyzdt, iepoch, p.dtsec2tol, true, out_, log_), 0);
        return;
    }
    try {
        tdjmprn2xyzdt_s3c_v4(e, t0, 900, 5, t_, xyzdt, iepoch, p.dtsec2tol, true, out_, log_);
        FAIL() << "no stop";
    } catch (const frame::Stop& s) {
        EXPECT_EQ(s.message(), "ERROR: S3C inconsistent epochs @ tdjmprn2xyzdt_s3c");
    }
    for (const auto& lines : {out_lines(), log_lines()}) {
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0], " ERROR: S3C inconsistent epochs @ tdjmprn2xyzdt_s3c");
        EXPECT_EQ(lines[1].rfind(" iepoch,iexpected_dtsec_sp3cfiles,tdjms3c_0= 901 900 54612.0", 0), 0u)
            << lines[1];
        EXPECT_EQ(lines[2].rfind(" dt,tdjm1,iprn,satxyzdt_s3c_= ", 0), 0u);
        EXPECT_EQ(lines[3].rfind(" dt,dtsec2tol_s3c= ", 0), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Offsets, PreciseAnchorConsistency,
                         ::testing::Values(EpochCase{0.0, 1e-4, false}, EpochCase{0.005, 1e-4, false},
                                           EpochCase{0.02, 1e-4, true}, EpochCase{-0.02, 1e-4, true},
                                           EpochCase{0.3, 1.0, false}, EpochCase{0.6, 1.0, true},
                                           EpochCase{0.0005, 0.0, false}, EpochCase{0.002, 0.0, true}));

// ---------------------------------------------------------------------------------------------------
// posat_s3e: statuses at the edges of the table

class PrecisePosat : public Sinks {
  protected:
    // One day of a circular orbit at 900 s for object 7: slots 1, 901, ..., 85501.
    PrecisePosat() { fill(t_, 7, 900, 85500, orbit_); }
    int call(double offset_sec, double tau = 0, int iprn = 7) {
        return posat_s3e(t0 + float128(offset_sec) / 86400, tau, iprn, 900, t_, true, t0, fix_, work_, 9,
                         1e-4, k_, out_, log_);
    }
    Circular orbit_;
    PreciseOrbitTable t_;
    PreciseFix fix_;
};

struct EdgeCase {
    double offset;
    int status;
};
class PrecisePosatEdges : public PrecisePosat, public ::testing::WithParamInterface<EdgeCase> {};

TEST_P(PrecisePosatEdges, StatusesAtTheStartAndEnd) {
    fix_.satclockerror = 123;
    fix_.update_orbits = true;
    const int st = call(GetParam().offset);
    EXPECT_EQ(st, GetParam().status) << GetParam().offset;
    EXPECT_EQ(fix_.update_orbits, st == 1);
    const auto out = out_lines();
    switch (st) {
    case 0:
        EXPECT_TRUE(out.empty());
        EXPECT_NE(fix_.satclockerror, 123.0);
        break;
    case 1:
        EXPECT_EQ(fix_.ctx, (std::array<double, 3>{-999.9, -999.9, -999.9}));
        EXPECT_EQ(fix_.satclockerror, -99.99);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0], " WARNING: Observation uncovered by precise SP3C orbits");
        EXPECT_EQ(log_lines(), out);
        break;
    case 2:
        EXPECT_EQ(fix_.satclockerror, 123.0);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0], " WARNING: Initial problems in S3C record (skipped)");
        EXPECT_EQ(log_lines(), out);
        break;
    default:
        EXPECT_EQ(fix_.satclockerror, 123.0);
        EXPECT_TRUE(out.empty());
    }
}

// Records 0 .. 85500 s every 900 s: the window needs four records before the anchor and five after.
// (Exactly 3599.5 s lies on the rounding edge of the anchor, where the last bit of the sum decides.)
INSTANTIATE_TEST_SUITE_P(Offsets, PrecisePosatEdges,
                         ::testing::Values(EdgeCase{1000, 1}, EdgeCase{0, 1}, EdgeCase{3599.49, 1},
                                           EdgeCase{3599.51, 0}, EdgeCase{40000, 0}, EdgeCase{81899.49, 0},
                                           EdgeCase{81899.51, 2}, EdgeCase{85500, 2}, EdgeCase{86399.4, 2},
                                           EdgeCase{86399.6, 3}, EdgeCase{-1000, 3}, EdgeCase{1e7, 3}));

TEST_F(PrecisePosat, WindowRunningPastTheLastSlotIsStatusOne) {
    PreciseOrbitTable t;
    fill(t, 3, 900, 949500, orbit_); // up to slot 949501, the last multiple of 900 s in the table
    auto run = [&](double off) {
        return posat_s3e(t0 + float128(off) / 86400, 0, 3, 900, t, true, t0, fix_, work_, 9, 1e-4, k_, out_,
                         log_);
    };
    EXPECT_EQ(run(945000), 0); // anchor 945001, window 941401 .. 949501
    EXPECT_FALSE(fix_.update_orbits);
    EXPECT_EQ(run(945900), 1); // anchor 945901 (a valid record), window would end at slot 950401
    EXPECT_TRUE(fix_.update_orbits);
}

TEST_F(PrecisePosat, InvalidOrMissingRecordInsideTheWindow) {
    const double at = 40000; // anchor 39601, window 36001 .. 44101
    struct Case {
        int slot;
        bool remove; // no record (a gap) instead of an invalid one
        int status;
    };
    for (const Case& c : {Case{36001, false, 2}, Case{44101, false, 2}, Case{39601 + 900, true, 2},
                          Case{35101, false, 0}, Case{45001, false, 0}}) {
        PreciseOrbitTable t;
        fill(t, 7, 900, 85500, orbit_);
        if (c.remove) {
            PreciseOrbitTable u;
            for (const auto& r : t.records(7))
                if (r.slot != c.slot) u.store(7, r.slot, r.c, true);
            u.tdjms3c_0 = t0;
            t = u;
        } else {
            Components comp = t.find(7, c.slot)->c;
            t.store(7, c.slot, comp, false); // the clock of this record is marked missing
        }
        EXPECT_EQ(posat_s3e(t0 + float128(at) / 86400, 0, 7, 900, t, true, t0, fix_, work_, 9, 1e-4, k_, out_,
                            log_),
                  c.status)
            << c.slot;
    }
}

TEST_F(PrecisePosat, UnusableAnchorIsStatusThree) {
    Components comp = t_.find(7, 39601)->c;
    t_.store(7, 39601, comp, false);
    fix_.dtrel_m = 77;
    EXPECT_EQ(call(40000), 3);
    EXPECT_EQ(call(40000, 0, 8), 3); // an object without records
    EXPECT_EQ(fix_.dtrel_m, 77.0);
    EXPECT_FALSE(fix_.update_orbits);
    EXPECT_TRUE(out_lines().empty());
}

// Only the anchor's epoch is checked against its slot: a window record carrying its neighbour's epoch
// makes two abscissae coincide, and the interpolation stops the run.
TEST_F(PrecisePosat, WindowRecordsWithTheSameEpochStop) {
    Components comp = t_.find(7, 41401)->c;
    comp[4] = t_.find(7, 40501)->c[4];
    t_.store(7, 41401, comp, true);
    try {
        call(40000);
        FAIL() << "no stop";
    } catch (const frame::Stop& s) {
        EXPECT_EQ(s.message(), "failure in polint");
    }
    EXPECT_EQ(out_lines().size(), 5u);
    EXPECT_EQ(log_lines().size(), 4u);
}

TEST_F(PrecisePosat, DegreeOutsideTheWorkSpaceStops) {
    for (int deg : {-1, 10})
        EXPECT_THROW(posat_s3e(t0 + 0.5Q, 0, 7, 900, t_, true, t0, fix_, work_, deg, 1e-4, k_, out_, log_),
                     frame::Stop);
}

// ---------------------------------------------------------------------------------------------------
// posat_s3e: values on synthetic orbits

TEST_F(PrecisePosat, CircularOrbitPositionVelocityClockAndRotation) {
    const double omega = 7.2921151467e-5;
    double max_dp = 0, max_dv_cd = 0, max_dv = 0, max_rel = 0;
    for (double off : {3600.0, 10000.0, 22500.0, 40000.3, 54321.9, 81899.0}) {
        for (double tau : {0.0, 0.067, 0.0861, 0.3}) {
            ASSERT_EQ(call(off, tau), 0) << off;
            const float128 ts = float128(off);
            const auto p = orbit_.pos(ts);
            const double a = omega * tau;
            const std::array<double, 3> rot = {std::cos(a) * p[0] + std::sin(a) * p[1],
                                               -std::sin(a) * p[0] + std::cos(a) * p[1], p[2]};
            for (int i = 0; i < 3; ++i) max_dp = std::max(max_dp, std::abs(fix_.ctx[i] - rot[i]));
            // The central difference of a circle is the velocity scaled by sin(n)/n.
            const auto v = orbit_.vel(ts);
            const double n = static_cast<double>(orbit_.n);
            for (int i = 0; i < 3; ++i) {
                max_dv_cd = std::max(max_dv_cd, std::abs(fix_.v[i] - v[i] * std::sin(n) / n));
                max_dv = std::max(max_dv, std::abs(fix_.v[i] - v[i]));
            }
            max_rel = std::max(max_rel, std::abs(fix_.dtrel_m));
            const Components c = orbit_(ts);
            EXPECT_NEAR(fix_.satclockerror, static_cast<double>(c[3]), 1e-19);
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(fix_.sctx[i], static_cast<double>(c[5 + i]), 1e-14);
            EXPECT_NEAR(fix_.ssatclockerror, static_cast<double>(c[8]), 1e-14);
        }
    }
    EXPECT_LT(max_dp, 1e-4);    // m
    EXPECT_LT(max_dv_cd, 1e-6); // m/s
    EXPECT_LT(max_dv, 2e-5);    // m/s: the central difference itself
    EXPECT_LT(max_rel, 1e-6);   // m: position and velocity are perpendicular
}

TEST_F(PrecisePosat, RotationDirectionAndMagnitude) {
    ASSERT_EQ(call(40000, 0), 0);
    const auto p = fix_.ctx;
    ASSERT_EQ(call(40000, 0.075), 0);
    // A frame turning eastward: a point on the +x axis moves to negative y in the new frame.
    const double a = 7.2921151467e-5 * 0.075;
    EXPECT_NEAR(fix_.ctx[1] - p[1], -a * p[0], 1e-3 * std::abs(a * p[0]));
    EXPECT_NEAR(std::hypot(fix_.ctx[0], fix_.ctx[1]), std::hypot(p[0], p[1]), 1e-8);
    EXPECT_EQ(fix_.ctx[2], p[2]);
}

TEST_F(PrecisePosat, OnARecordReturnsTheRecord) {
    for (long s : {3600L, 36000L, 81900L - 900}) {
        ASSERT_EQ(posat_s3e(record_epoch(s), 0, 7, 900, t_, true, t0, fix_, work_, 9, 1e-4, k_, out_, log_),
                  0);
        const auxfiles::S3cSlot* r = t_.find(7, static_cast<int>(s + 1));
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(fix_.ctx[i], static_cast<double>(r->c[i]), 1e-8) << s;
        EXPECT_NEAR(fix_.satclockerror, static_cast<double>(r->c[3]), 1e-20);
    }
}

// An eccentric Kepler orbit: the relativistic term -2 p.v/c equals -2 sqrt(GM a) e sin(E) / c.
TEST_F(PrecisePosat, RelativisticTermOnAnEccentricOrbit) {
    const float128 gm = 3.986004418e14Q, a = 26560e3Q, e = 0.02Q, incl = 0.96Q;
    const float128 n = sqrtq(gm / (a * a * a));
    auto ecc_anomaly = [&](float128 ts) {
        const float128 m = 0.7Q + n * ts;
        float128 E = m;
        for (int i = 0; i < 50; ++i) E -= (E - e * sinq(E) - m) / (1 - e * cosq(E));
        return E;
    };
    auto model = [&](float128 ts) {
        const float128 E = ecc_anomaly(ts);
        const float128 x = a * (cosq(E) - e), y = a * sqrtq(1 - e * e) * sinq(E);
        Components c{};
        c[0] = x;
        c[1] = y * cosq(incl);
        c[2] = y * sinq(incl);
        return c;
    };
    PreciseOrbitTable t;
    fill(t, 12, 900, 85500, model);
    for (double off : {4000.0, 20000.0, 33333.3, 50000.0, 70000.0}) {
        ASSERT_EQ(posat_s3e(t0 + float128(off) / 86400, 0, 12, 900, t, true, t0, fix_, work_, 9, 1e-4, k_,
                            out_, log_),
                  0);
        const double expected =
            static_cast<double>(-2 * sqrtq(gm * a) * e * sinq(ecc_anomaly(float128(off)))) / k_.c;
        EXPECT_NEAR(fix_.dtrel_m, expected, 1e-5) << off;
        EXPECT_GT(std::abs(expected), 0.5);
    }
}

// The rover call: the rover table with its own interval and tolerance, travel time 0.
TEST_F(PrecisePosat, RoverAndSatelliteWrappersUseTheirOwnSettings) {
    frame::Config cfg;
    cfg.iexpected_dtsec_sp3cfiles = 900;
    cfg.dtsec2tol_s3c = 1e-4;
    cfg.iexpected_dtsec_rover_sp3file = 30;
    cfg.dtsec2tol_rs3 = 1e-4;
    Circular leo;
    leo.r = 6.8e6Q;
    leo.n = 2 * M_PIq / 5400;
    leo.incl = 1.5Q;
    PreciseOrbitTable rs3;
    fill(rs3, 2, 30, 7200, leo);
    const float128 e = t0 + 3000.5Q / 86400;
    ASSERT_EQ(posat_s3e_rover(e, 2, cfg, rs3, fix_, work_, k_, out_, log_), 0);
    const auto p = leo.pos(3000.5Q);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(fix_.ctx[i], p[i], 1e-6);
    const auto v = leo.vel(3000.5Q);
    const double n = static_cast<double>(leo.n);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(fix_.v[i], v[i] * std::sin(n) / n, 1e-6);
    // The first 119.5 s (four intervals of 30 s) are not covered by the rover window.
    EXPECT_EQ(posat_s3e_rover(t0 + 119.0Q / 86400, 2, cfg, rs3, fix_, work_, k_, out_, log_), 1);
    EXPECT_EQ(posat_s3e_rover(t0 + 120.0Q / 86400, 2, cfg, rs3, fix_, work_, k_, out_, log_), 0);

    // The satellite call with travel time: the rotated position of the satellite table.
    ASSERT_EQ(posat_s3e_satellite(t0 + 40000.0Q / 86400, 0.07, 7, cfg, t_, fix_, work_, k_, out_, log_), 0);
    const auto q = orbit_.pos(40000.0Q);
    const double ang = 7.2921151467e-5 * 0.07;
    EXPECT_NEAR(fix_.ctx[0], std::cos(ang) * q[0] + std::sin(ang) * q[1], 1e-4);
    // The rover table read with the satellite interval: the 30 s records are not on the 900 s grid.
    EXPECT_EQ(posat_s3e_satellite(t0 + 3000.5Q / 86400, 0, 2, cfg, rs3, fix_, work_, k_, out_, log_), 1);
}

} // namespace
