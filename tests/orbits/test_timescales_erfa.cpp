// The time-scale routines against an independent implementation: ERFA (the Essential Routines for
// Fundamental Astronomy) through Debian's python3-erfa. The test writes a sweep of dates and epochs to a
// temporary file, runs Python once to compute ERFA's values for all of them, and compares:
//   - calendar to MJD (eraCal2jd): exact, for both of our calendar routines;
//   - TAI-UTC (eraDat): to 1e-9 s up to 2008-12-31 (our table ends with the leap second of 2006 and
//     keeps 33 s after it, which is checked on its own);
//   - the GPS-UTC table and its two-pass lookup against ERFA's TAI-UTC at the corresponding UTC, up to
//     2016-12-31 (our table ends with the leap second of 2015);
//   - sidereal time against eraGmst82, which evaluates the same IAU 1982 expression in a different
//     order (the largest difference is printed).
// Without python3 or its erfa module the tests are skipped with a message saying so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "orbits/timescales.hpp"
#include "support/test_support.hpp"

using namespace quelmar::orbits;
using namespace quelmar::testing_support;

namespace {

std::chrono::sys_days day_of(int y, unsigned m, unsigned d) {
    using namespace std::chrono;
    return sys_days{year{y} / month{m} / day{d}};
}

// The script ERFA is driven by. Each input line is a kind letter and its arguments; each output line
// holds the values for the input line of the same number.
//   C y m d     -> djm0 djm              (cal2jd)
//   D y m d fd  -> TAI-UTC               (dat)
//   G mjd       -> GMST in radians       (gmst82 of UT1 = MJD)
//   U mjd       -> TAI-UTC at UTC MJD    (jd2cal + dat)
//   L mjd       -> GPS-UTC at GPS MJD    (taiutc of GPS+19 s, jd2cal, dat, minus 19)
constexpr const char* erfa_script = R"PY(
import sys, warnings
try:
    import numpy as np
    import erfa
except ImportError as e:
    print("cannot import erfa:", e, file=sys.stderr)
    sys.exit(3)
warnings.simplefilter("ignore")  # status +1 (dubious year) is reported as a warning
recs = [l.split() for l in open(sys.argv[1]) if l.strip()]
out = [""] * len(recs)
def rows(kind):
    return [i for i, r in enumerate(recs) if r[0] == kind]
i = rows("C")
if i:
    a = np.array([[int(x) for x in recs[j][1:4]] for j in i], dtype=np.int32)
    d0, d = erfa.cal2jd(a[:, 0], a[:, 1], a[:, 2])
    for n, j in enumerate(i): out[j] = "%r %r" % (float(d0[n]), float(d[n]))
i = rows("D")
if i:
    a = np.array([[int(x) for x in recs[j][1:4]] for j in i], dtype=np.int32)
    fd = np.array([float(recs[j][4]) for j in i])
    v = erfa.dat(a[:, 0], a[:, 1], a[:, 2], fd)
    for n, j in enumerate(i): out[j] = repr(float(v[n]))
i = rows("G")
if i:
    mjd = np.array([float(recs[j][1]) for j in i])
    v = erfa.gmst82(np.full(len(i), 2400000.5), mjd)
    for n, j in enumerate(i): out[j] = repr(float(v[n]))
i = rows("U")
if i:
    mjd = np.array([float(recs[j][1]) for j in i])
    iy, im, id, fd = erfa.jd2cal(np.full(len(i), 2400000.5), mjd)
    v = erfa.dat(iy, im, id, fd)
    for n, j in enumerate(i): out[j] = repr(float(v[n]))
i = rows("L")
if i:
    mjd = np.array([float(recs[j][1]) for j in i])
    u1, u2 = erfa.taiutc(np.full(len(i), 2400000.5), mjd + 19.0 / 86400.0)
    iy, im, id, fd = erfa.jd2cal(u1, u2)
    v = erfa.dat(iy, im, id, fd)
    for n, j in enumerate(i): out[j] = "%d" % (int(round(float(v[n]))) - 19)
with open(sys.argv[2], "w") as f:
    f.write("\n".join(out) + "\n")
)PY";

struct DateCase {
    int y, m, d;
};
struct DatCase {
    int y, m, d;
    double fd;
};

// The sweep and ERFA's values for it.
struct ErfaReference {
    bool available = false;
    std::string why_not; // when unavailable: what is missing
    std::vector<DateCase> cal;
    std::vector<double> cal_djm0, cal_djm;
    std::vector<DatCase> dat;
    std::vector<double> dat_value;
    std::vector<double> gmst_ut;
    std::vector<double> gmst_value;
    std::vector<double> utc_mjd;
    std::vector<double> utc_tai_utc;
    std::vector<double> gps_mjd;
    std::vector<int> gps_utc;
};

std::string fmt17(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

ErfaReference build_reference() {
    using namespace std::chrono;
    ErfaReference ref;

    // Calendar: every day of 1900..2100, and four days of every seventh year over ERFA's whole range.
    for (sys_days sd = day_of(1900, 1, 1); sd <= day_of(2100, 12, 31); sd += days{1}) {
        const year_month_day ymd{sd};
        ref.cal.push_back({int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day()))});
    }
    for (int y = -4799; y <= 10000; y += 7) {
        for (const auto& md : {DateCase{0, 1, 1}, DateCase{0, 2, 28}, DateCase{0, 3, 1}, DateCase{0, 12, 31}})
            ref.cal.push_back({y, md.m, md.d});
        if (year{y}.is_leap()) ref.cal.push_back({y, 2, 29});
    }

    // TAI-UTC: every day of 1955..2008 at a fraction of day that cycles through the day.
    const double fractions[] = {0.0, 0.25, 0.5, 0.75, 0.999999};
    int n = 0;
    for (sys_days sd = day_of(1955, 1, 1); sd <= day_of(2008, 12, 31); sd += days{1}, ++n) {
        const year_month_day ymd{sd};
        ref.dat.push_back(
            {int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())), fractions[n % 5]});
    }

    // Sidereal time: 1900..2100 at pseudo-random times of day, plus whole and half days.
    std::mt19937_64 rng(20240601);
    std::uniform_real_distribution<double> frac(0.0, 1.0);
    for (int k = 0; k < 20000; ++k) ref.gmst_ut.push_back(15020.0 + k * 3.6524 + frac(rng));
    for (int k = 0; k < 2000; ++k) ref.gmst_ut.push_back(15020.0 + k * 36.5 + (k % 2) * 0.5);

    // The GPS-UTC table alone, at UTC: every day of 1972-07-01..2016-12-31, at 0h and at noon.
    for (long mjd = mjd_of(1972, 7, 1); mjd <= mjd_of(2016, 12, 31); ++mjd) {
        ref.utc_mjd.push_back(static_cast<double>(mjd));
        ref.utc_mjd.push_back(static_cast<double>(mjd) + 0.5);
    }

    // GPS-UTC through both passes, at GPS epochs: daily from 1980-01-06 to 2016-12-31 at a time of day
    // that wanders, and every second (on the half second) around each leap second since 1981.
    int s = 0;
    for (long mjd = 44244; mjd <= mjd_of(2016, 12, 31); ++mjd, s = (s + 7919) % 86400)
        ref.gps_mjd.push_back(static_cast<double>(mjd) + (s + 0.5) / 86400.0);
    const DateCase steps[] = {{1981, 7, 1}, {1982, 7, 1}, {1983, 7, 1},  {1985, 7, 1}, {1988, 1, 1},
                              {1990, 1, 1}, {1991, 1, 1}, {1992, 7, 1},  {1993, 7, 1}, {1994, 7, 1},
                              {1996, 1, 1}, {1997, 7, 1}, {1999, 1, 1},  {2006, 1, 1}, {2009, 1, 1},
                              {2012, 7, 1}, {2015, 7, 1}, {2016, 12, 31}};
    for (const auto& st : steps) {
        const long d = mjd_of(st.y, st.m, st.d);
        for (int k = -30; k <= 30; ++k) ref.gps_mjd.push_back(static_cast<double>(d) + (k + 0.5) / 86400.0);
    }

    // Inputs, one per line.
    const TempDir scratch;
    const std::filesystem::path& dir = scratch.path();
    {
        std::ofstream in(dir / "in.txt");
        for (const auto& c : ref.cal) in << "C " << c.y << ' ' << c.m << ' ' << c.d << '\n';
        for (const auto& c : ref.dat)
            in << "D " << c.y << ' ' << c.m << ' ' << c.d << ' ' << fmt17(c.fd) << '\n';
        for (double t : ref.gmst_ut) in << "G " << fmt17(t) << '\n';
        for (double t : ref.utc_mjd) in << "U " << fmt17(t) << '\n';
        for (double t : ref.gps_mjd) in << "L " << fmt17(t) << '\n';
        std::ofstream(dir / "erfa_reference.py") << erfa_script;
    }

    // The one run of Python.
    ref.why_not = run_erfa_reference(dir / "erfa_reference.py", dir / "in.txt", dir / "out.txt");
    if (ref.why_not.empty()) {
        std::ifstream out(dir / "out.txt");
        auto next = [&](auto& v) {
            if (!(out >> v)) throw std::runtime_error("short reference output");
        };
        try {
            for (std::size_t i = 0; i < ref.cal.size(); ++i) {
                double a = 0, b = 0;
                next(a), next(b);
                ref.cal_djm0.push_back(a), ref.cal_djm.push_back(b);
            }
            auto fill = [&](std::size_t count, auto& into) {
                for (std::size_t i = 0; i < count; ++i) {
                    typename std::decay_t<decltype(into)>::value_type v{};
                    next(v);
                    into.push_back(v);
                }
            };
            fill(ref.dat.size(), ref.dat_value);
            fill(ref.gmst_ut.size(), ref.gmst_value);
            fill(ref.utc_mjd.size(), ref.utc_tai_utc);
            fill(ref.gps_mjd.size(), ref.gps_utc);
            ref.available = true;
        } catch (const std::exception& e) {
            ref.why_not = std::string("FAILED: reading the ERFA reference values: ") + e.what();
        }
    }
    return ref;
}

void compare_calendar(const ErfaReference& ref) {
    int failures = 0, compared_cldj = 0;
    for (std::size_t i = 0; i < ref.cal.size(); ++i) {
        const auto& c = ref.cal[i];
        double djm0 = 0, djm = 0, djm2 = 0;
        int j = 9, j2 = 9;
        iau_cal2jd(c.y, c.m, c.d, djm0, djm, j);
        bool ok = j == 0 && djm0 == ref.cal_djm0[i] && djm == ref.cal_djm[i];
        if (c.y >= -4699) {
            sla_cldj(c.y, c.m, c.d, djm2, j2);
            ok = ok && j2 == 0 && djm2 == ref.cal_djm[i];
            ++compared_cldj;
        }
        if (!ok && ++failures <= 10)
            ADD_FAILURE() << c.y << "-" << c.m << "-" << c.d << ": cal2jd " << djm0 << " + " << djm << " ("
                          << j << "), cldj " << djm2 << " (" << j2 << "); ERFA " << ref.cal_djm0[i] << " + "
                          << ref.cal_djm[i];
    }
    EXPECT_EQ(failures, 0);
    std::printf("[ ERFA     ] cal2jd: %zu dates exact; sla_cldj: %d dates exact\n", ref.cal.size(),
                compared_cldj);
}

void compare_tai_utc(const ErfaReference& ref) {
    double maxdiff = 0;
    int failures = 0;
    for (std::size_t i = 0; i < ref.dat.size(); ++i) {
        const auto& c = ref.dat[i];
        double deltat = -1;
        int j = 9;
        iau_dat(c.y, c.m, c.d, c.fd, deltat, j);
        const double diff = std::fabs(deltat - ref.dat_value[i]);
        maxdiff = std::max(maxdiff, diff);
        if ((diff > 1e-9 || j != (c.y < 1960 ? 1 : 0)) && ++failures <= 10)
            ADD_FAILURE() << c.y << "-" << c.m << "-" << c.d << " fd " << c.fd << ": " << deltat << " (" << j
                          << "), ERFA " << ref.dat_value[i];
    }
    EXPECT_EQ(failures, 0);
    std::printf("[ ERFA     ] iau_dat: %zu dates 1955..2008, max |difference| %.3g s\n", ref.dat.size(),
                maxdiff);
}

void compare_gps_utc(const ErfaReference& ref) {
    int failures = 0;
    for (std::size_t i = 0; i < ref.utc_mjd.size(); ++i) {
        double x = 0;
        leapsecs_v2(ref.utc_mjd[i] + 2400000.5, x);
        if (-x != ref.utc_tai_utc[i] && ++failures <= 10)
            ADD_FAILURE() << "UTC MJD " << ref.utc_mjd[i] << ": " << x << ", ERFA TAI-UTC "
                          << ref.utc_tai_utc[i];
    }
    EXPECT_EQ(failures, 0);
    for (std::size_t i = 0; i < ref.gps_mjd.size(); ++i) {
        int leapsec = -99;
        tdjm2lsec_v2(float128(ref.gps_mjd[i]), leapsec);
        if (leapsec != ref.gps_utc[i] && ++failures <= 10)
            ADD_FAILURE() << "GPS MJD " << fmt17(ref.gps_mjd[i]) << ": " << leapsec << ", ERFA "
                          << ref.gps_utc[i];
    }
    EXPECT_EQ(failures, 0);
    std::printf("[ ERFA     ] leapsecs_v2: %zu UTC epochs 1972-07..2016 exact; tdjm2lsec_v2: %zu GPS epochs "
                "1980..2016 exact\n",
                ref.utc_mjd.size(), ref.gps_mjd.size());
}

void compare_sidereal(const ErfaReference& ref) {
    const double twopi = 6.283185307179586476925286766559;
    double maxdiff = 0, at = 0;
    for (std::size_t i = 0; i < ref.gmst_ut.size(); ++i) {
        const double d = std::fabs(std::remainder(sla_gmst(ref.gmst_ut[i]) - ref.gmst_value[i], twopi));
        if (d > maxdiff) maxdiff = d, at = ref.gmst_ut[i];
    }
    // The two evaluate the same expression; what differs is the rounding of the operation order, a
    // few units in the last place of the ~100 rad angle before reduction.
    EXPECT_LT(maxdiff, 1e-12) << "at UT MJD " << fmt17(at);
    std::printf("[ ERFA     ] sla_gmst: %zu epochs 1900..2100, max |difference| %.3g rad (at MJD %.6f)\n",
                ref.gmst_ut.size(), maxdiff, at);
}

} // namespace

// One run of Python for all comparisons.
TEST(TimeScalesErfa, AgreesWithErfa) {
    const ErfaReference ref = build_reference();
    if (!ref.available) {
        if (ref.why_not.rfind("FAILED", 0) == 0) FAIL() << ref.why_not;
        GTEST_SKIP() << ref.why_not;
    }
    {
        SCOPED_TRACE("calendar to MJD");
        compare_calendar(ref);
    }
    {
        SCOPED_TRACE("TAI-UTC");
        compare_tai_utc(ref);
    }
    {
        SCOPED_TRACE("GPS-UTC");
        compare_gps_utc(ref);
    }
    {
        SCOPED_TRACE("sidereal time");
        compare_sidereal(ref);
    }
}

TEST(TimeScalesErfa, TaiMinusUtcPlateauAfter2006) {
    // Our table ends with 2006-01-01: 33 s from then on, with the dubious-year status after 2010.
    int failures = 0;
    using namespace std::chrono;
    for (sys_days sd = day_of(2006, 1, 1); sd <= day_of(2062, 12, 31); sd += days{1}) {
        const year_month_day ymd{sd};
        const int y = int(ymd.year());
        double deltat = 0;
        int j = 9;
        iau_dat(y, int(unsigned(ymd.month())), int(unsigned(ymd.day())), 0.5, deltat, j);
        if ((deltat != 33.0 || j != (y > 2010 ? 1 : 0)) && ++failures <= 10)
            ADD_FAILURE() << y << "-" << unsigned(ymd.month()) << "-" << unsigned(ymd.day()) << ": " << deltat
                          << " (" << j << ")";
    }
    EXPECT_EQ(failures, 0);
}
