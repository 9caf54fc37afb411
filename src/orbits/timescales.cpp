#include "orbits/timescales.hpp"

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>

namespace quelmar::orbits {

namespace {

// The day number of an epoch: truncation toward zero. An epoch outside the int range (only a corrupt
// value can be) saturates instead of overflowing; NaN gives day 0.
int truncate_day(float128 t) {
    if (!(t == t)) return 0;
    if (t >= float128(INT_MAX)) return INT_MAX;
    if (t <= float128(INT_MIN)) return INT_MIN;
    return static_cast<int>(t);
}

// Nearest integer, halves away from zero.
int nint(double x) {
    return static_cast<int>(std::lround(x));
}

int days_in_month(std::int64_t iy, int im) {
    static constexpr std::array<int, 12> mtab{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return mtab[static_cast<std::size_t>(im - 1)] + ((im == 2 && is_gregorian_leap(iy)) ? 1 : 0);
}

// Steps of the GPS-UTC table: the Julian date of 0h UTC of the day a leap second took effect and the
// value -(TAI-UTC) from then on. Dates and values transcribed from the IERS leap-second table
// (IERS Bulletin C, history of TAI-UTC since 1972). The initial 1972-01-01 offset of 10 s is left out
// on purpose: before 1972-07-01 the table gives 0.
struct LeapStep {
    double jd;
    double value;
};
constexpr std::array<LeapStep, 26> leap_steps{{
    {2441499.5, -11.0}, // 1972-07-01
    {2441683.5, -12.0}, // 1973-01-01
    {2442048.5, -13.0}, // 1974-01-01
    {2442413.5, -14.0}, // 1975-01-01
    {2442778.5, -15.0}, // 1976-01-01
    {2443144.5, -16.0}, // 1977-01-01
    {2443509.5, -17.0}, // 1978-01-01
    {2443874.5, -18.0}, // 1979-01-01
    {2444239.5, -19.0}, // 1980-01-01
    {2444786.5, -20.0}, // 1981-07-01
    {2445151.5, -21.0}, // 1982-07-01
    {2445516.5, -22.0}, // 1983-07-01
    {2446247.5, -23.0}, // 1985-07-01
    {2447161.5, -24.0}, // 1988-01-01
    {2447892.5, -25.0}, // 1990-01-01
    {2448257.5, -26.0}, // 1991-01-01
    {2448804.5, -27.0}, // 1992-07-01
    {2449169.5, -28.0}, // 1993-07-01
    {2449534.5, -29.0}, // 1994-07-01
    {2450083.5, -30.0}, // 1996-01-01
    {2450630.5, -31.0}, // 1997-07-01
    {2451179.5, -32.0}, // 1999-01-01
    {2453736.5, -33.0}, // 2006-01-01
    {2454832.5, -34.0}, // 2009-01-01
    {2456109.5, -35.0}, // 2012-07-01
    {2457204.5, -36.0}, // 2015-07-01
}};

// TAI-UTC for the tide model: the month an offset took effect, the offset, and for the early rubber-
// second years (1960-01 to 1968-02) the drift term offset + (MJD - reference MJD) * rate. Values
// transcribed from the TAI-UTC table published by the U.S. Naval Observatory (tai-utc.dat) and the
// IERS, as tabulated in the IAU SOFA documentation of its TAI-UTC routine; the table ends with the
// leap second of 2006-01-01.
struct DatEntry {
    int iyear;
    int month;
    double delat;
};
constexpr std::array<DatEntry, 38> dat_entries{{
    {1960, 1, 1.4178180},  {1961, 1, 1.4228180}, {1961, 8, 1.3728180}, {1962, 1, 1.8458580},
    {1963, 11, 1.9458580}, {1964, 1, 3.2401300}, {1964, 4, 3.3401300}, {1964, 9, 3.4401300},
    {1965, 1, 3.5401300},  {1965, 3, 3.6401300}, {1965, 7, 3.7401300}, {1965, 9, 3.8401300},
    {1966, 1, 4.3131700},  {1968, 2, 4.2131700}, {1972, 1, 10.0},      {1972, 7, 11.0},
    {1973, 1, 12.0},       {1974, 1, 13.0},      {1975, 1, 14.0},      {1976, 1, 15.0},
    {1977, 1, 16.0},       {1978, 1, 17.0},      {1979, 1, 18.0},      {1980, 1, 19.0},
    {1981, 7, 20.0},       {1982, 7, 21.0},      {1983, 7, 22.0},      {1985, 7, 23.0},
    {1988, 1, 24.0},       {1990, 1, 25.0},      {1991, 1, 26.0},      {1992, 7, 27.0},
    {1993, 7, 28.0},       {1994, 7, 29.0},      {1996, 1, 30.0},      {1997, 7, 31.0},
    {1999, 1, 32.0},       {2006, 1, 33.0},
}};
// Reference MJD and rate (s/day) of the drift of the first entries.
struct DatDrift {
    double mjd_ref;
    double rate;
};
constexpr std::array<DatDrift, 14> dat_drift{{
    {37300.0, 0.0012960},
    {37300.0, 0.0012960},
    {37300.0, 0.0012960},
    {37665.0, 0.0011232},
    {37665.0, 0.0011232},
    {38761.0, 0.0012960},
    {38761.0, 0.0012960},
    {38761.0, 0.0012960},
    {38761.0, 0.0012960},
    {38761.0, 0.0012960},
    {38761.0, 0.0012960},
    {38761.0, 0.0012960},
    {39126.0, 0.0025920},
    {39126.0, 0.0025920},
}};
// Years after this one get the dubious-year status: the table may miss later leap seconds.
constexpr int dat_last_trusted_year = 2010;

} // namespace

bool is_gregorian_leap(std::int64_t iy) {
    return iy % 4 == 0 && (iy % 100 != 0 || iy % 400 == 0);
}

double hours_of_day(float128 tdjm) {
    return static_cast<double>((tdjm - static_cast<float128>(static_cast<long long>(tdjm))) * 24);
}

void tdjmgps_2_tdjmut(float128 tdjm, int& leapsec, bool& is_lea_read, int& ngpsweek, int& idays_of_gpsweek,
                      double& tsecgps_in_week, float128& tdjmut, double& gmst, int& ierrgps2ut,
                      const frame::Constants& constants, frame::Log& log) {
    ierrgps2ut = 0;
    const int idjm = truncate_day(tdjm);

    // Whole weeks since the start of GPS time, counted without any modulo. The division truncates
    // toward zero; the week arithmetic runs in 64 bits so that no day number can overflow it.
    const std::int64_t days = static_cast<std::int64_t>(idjm) - mjd_gps_week0;
    const std::int64_t week = days / 7;
    ngpsweek = static_cast<int>(week);
    idays_of_gpsweek = static_cast<int>(days - 7 * week);

    // Seconds of the week: the fraction of the day is taken from the binary128 epoch, and the sum is
    // rounded to 64 bits once.
    const float128 tsec = float128(idays_of_gpsweek * 3600 * 24) + (tdjm - float128(idjm)) * 86400;
    tsecgps_in_week = static_cast<double>(tsec);

    if (!is_lea_read) {
        tdjm2lsec_v2(tdjm, leapsec);
        is_lea_read = true;
        // The table is a fallback for a stream without LEA messages: say so, once.
        log.list("WARNING: leap second computed internally");
        log.list("        (non available external LEA msg.)");
        log.list(" tdjm,leapsec= ", leapsec);
        log.list("flag is_lea_read  set to .TRUE.");
    }

    tdjmut = tdjm - float128(leapsec) / 86400;
    // UT1 is taken equal to UTC (they differ by less than 0.9 s).
    gmst = sla_gmst(static_cast<double>(tdjmut)) * 180.0 / constants.pi;
}

void tdjm2lsec_v2(float128 tdjm, int& leapsec) {
    const float128 mjd_to_jd = 2400000.5;
    double xlsec = 0.0;

    // First pass: the GPS epoch as if it were UTC. Off by at most the offset itself.
    leapsecs_v2(static_cast<double>(tdjm + mjd_to_jd), xlsec);
    const int leapsec0 = -19 - nint(xlsec);

    // Second pass at the UTC epoch implied by the first offset.
    const float128 tdjmut0 = tdjm - float128(leapsec0) / 86400;
    leapsecs_v2(static_cast<double>(tdjmut0 + mjd_to_jd), xlsec);
    leapsec = -19 - nint(xlsec);
}

void leapsecs_v2(double xjd, double& xleapsec) {
    xleapsec = 0.0;
    // The last step whose date has been reached (a NaN date reaches none).
    for (auto it = leap_steps.rbegin(); it != leap_steps.rend(); ++it) {
        if (xjd >= it->jd) {
            xleapsec = it->value;
            return;
        }
    }
}

void iau_cal2jd(int iy, int im, int id, double& djm0, double& djm, int& j) {
    if (iy < -4799) {
        j = -1;
        return;
    }
    if (im < 1 || im > 12) {
        j = -2;
        return;
    }
    j = (id < 1 || id > days_in_month(iy, im)) ? -3 : 0;

    // Fliegel & Van Flandern's integer expression for the Julian day number, in the form given by the
    // Explanatory Supplement to the Astronomical Almanac: January and February count as months 13 and
    // 14 of the previous year (my = -1 for them, 0 otherwise). All divisions truncate, on operands
    // kept non-negative by the year limit; 64-bit integers keep any int year in range.
    const std::int64_t my = (im - 14) / 12;
    const std::int64_t y = static_cast<std::int64_t>(iy) + my;
    const std::int64_t jdn_minus_2400001 = (1461 * (y + 4800)) / 4 + (367 * (im - 2 - 12 * my)) / 12 -
                                           (3 * ((y + 4900) / 100)) / 4 + id - 2432076;
    djm0 = 2400000.5;
    djm = static_cast<double>(jdn_minus_2400001);
}

void iau_dat(int iy, int im, int id, double fd, double& deltat, int& j) {
    deltat = 0.0;
    // Written so that a NaN fraction is refused as well.
    if (!(fd >= 0.0 && fd < 1.0)) {
        j = -4;
        return;
    }
    double djm0 = 0.0;
    double djm = 0.0;
    iau_cal2jd(iy, im, id, djm0, djm, j);
    if (j < 0) return;

    // Before the first entry there is no UTC in the modern sense.
    if (iy < dat_entries.front().iyear) {
        j = 1;
        return;
    }
    j = (iy > dat_last_trusted_year) ? 1 : 0;

    // The last entry whose month has been reached.
    const std::int64_t m = 12 * static_cast<std::int64_t>(iy) + im;
    std::size_t i = dat_entries.size() - 1;
    while (i > 0 && 12 * static_cast<std::int64_t>(dat_entries[i].iyear) + dat_entries[i].month > m) --i;

    double da = dat_entries[i].delat;
    if (i < dat_drift.size()) da += (djm + fd - dat_drift[i].mjd_ref) * dat_drift[i].rate;
    deltat = da;
}

void sla_cldj(int iy, int im, int id, double& djm, int& j) {
    if (iy < -4699) {
        j = 1;
        return;
    }
    if (im < 1 || im > 12) {
        j = 2;
        return;
    }
    j = (id < 1 || id > days_in_month(iy, im)) ? 3 : 0;

    // Hatcher's algorithm (QJRAS 25, 1984), as published with SLALIB: the year is taken to start on
    // 1 March, so that the leap day falls at its end; ys is that year, mar the month counted from
    // March (0) to February (11), and (306*mar + 5)/10 the days from 1 March to the month's start.
    const std::int64_t ys = static_cast<std::int64_t>(iy) - (12 - im) / 10;
    const std::int64_t mar = (im + 9) % 12;
    const std::int64_t mjd =
        (1461 * (ys + 4712)) / 4 + (306 * mar + 5) / 10 - (3 * ((ys + 4900) / 100)) / 4 + id - 2399904;
    djm = static_cast<double>(mjd);
}

void yydoy2mjd(int iy, int idoy, double fr, double& xmjd) {
    // Julian day of 0h of day idoy of year iy, January being month 13 of year iy-1:
    // floor(365.25*(iy-1)) + floor(30.6001*(13+1)) + idoy + 1720981.5, with floor(30.6001*14) = 428.
    // Without the Gregorian century term this is right only from 1901 to 2099.
    xmjd = std::floor(365.25 * (static_cast<double>(iy) - 1.0)) + 428.0 + static_cast<double>(idoy) +
           1720981.5 - 2400000.5 + fr;
}

double sla_gmst(double ut1) {
    constexpr double d2pi = 6.283185307179586476925286766559;
    constexpr double s2r = 7.27220521664304e-5; // radians of rotation per second of time, 2*pi/86400
    // Julian centuries of UT1 since J2000.0.
    const double tu = (ut1 - 51544.5) / 36525.0;
    // Sidereal time at 0h UT (seconds, IAU 1982) in radians, plus the rotation since 0h.
    const double angle = s2r * (24110.54841 + tu * (8640184.812866 + tu * (0.093104 - 6.2e-6 * tu))) +
                         d2pi * std::fmod(ut1, 1.0);
    double w = std::fmod(angle, d2pi);
    if (w < 0.0) w += d2pi;
    return w;
}

} // namespace quelmar::orbits
