// Precise orbit files: the S3C reader and its sparse table, the rover station list and the start-up and
// refresh steps, on small files written by the tests.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "auxfiles/precise_orbits.hpp"
#include "frame/config.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "support/test_support.hpp"
#include "textio/listwrite.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;
namespace fs = std::filesystem;
using namespace quelmar::testing_support;

namespace {

float128 q(const char* text) {
    return strtoflt128(text, nullptr);
}

std::string qtext(float128 v) {
    char buf[64];
    quadmath_snprintf(buf, sizeof buf, "%.36Qg", v);
    return buf;
}

// One S3C record at 2008-05-27 0h plus `sec_after` seconds, with the given texts for the numbers.
std::string record(int iprn, double sec_after, const std::string& x = "15202.734861",
                   const std::string& y = "1913.732043", const std::string& z = "-21514.720553",
                   const std::string& dt = "2.747556",
                   const std::string& errors = "0.1E-04 0.2E-04 0.3E-04 0.5E-04") {
    long whole = static_cast<long>(sec_after);
    const double frac = sec_after - static_cast<double>(whole);
    using namespace std::chrono;
    const year_month_day ymd{sys_days{year{2008} / May / 27} + days{whole / 86400}};
    whole %= 86400;
    char buf[256];
    std::snprintf(buf, sizeof buf, "S3C %2d %02d %2u %2u %2ld %2ld %.4f %s %s %s %s 0 0 %s", iprn,
                  static_cast<int>(ymd.year()) % 100, static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()), whole / 3600, whole % 3600 / 60,
                  static_cast<double>(whole % 60) + frac, x.c_str(), y.c_str(), z.c_str(), dt.c_str(),
                  errors.c_str());
    return buf;
}

class PreciseOrbits : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return dir_.path(name); }
    std::string put(const std::string& name, const std::vector<std::string>& lines) const {
        return dir_.write_lines(name, lines);
    }
    int read(const std::string& file, PreciseOrbitTable& t, int interval = 900, double tol = 1.0,
             bool interpolated = true, bool required = true) {
        return read_s3e(config_name(file), interval, t, tol, interpolated, required, log);
    }

    TempDir dir_;
    CapturedLog captured_{dir_.path() / "test.log"};
    frame::Log& log = captured_.log;
};

// ---------------------------------------------------------------------------------------------------
// The table on its own

TEST(PreciseOrbitTable, BehavesAsTheDenseTableWithEmptySlotsAndRanges) {
    PreciseOrbitTable t;
    std::array<float128, ncomp_s3c> c{};
    for (int i = 0; i < ncomp_s3c; ++i) c[static_cast<std::size_t>(i)] = i + 1;
    // Stored out of order and overwritten: the later record of a slot wins, order is by slot.
    EXPECT_TRUE(t.store(7, 1801, c, true));
    EXPECT_TRUE(t.store(7, 1, c, false));
    EXPECT_TRUE(t.store(7, 901, c, true));
    c[0] = 42;
    EXPECT_TRUE(t.store(7, 1801, c, false));
    EXPECT_FALSE(t.store(0, 1, c, true));
    EXPECT_FALSE(t.store(maxsat + 1, 1, c, true));
    EXPECT_FALSE(t.store(7, 0, c, true));
    EXPECT_FALSE(t.store(7, maxepochs3c + 1, c, true));
    EXPECT_TRUE(t.store(maxsat, maxepochs3c, c, true));

    ASSERT_EQ(t.records(7).size(), 3u);
    EXPECT_EQ(t.records(7)[0].slot, 1);
    EXPECT_EQ(t.records(7)[1].slot, 901);
    EXPECT_EQ(t.records(7)[2].slot, 1801);
    EXPECT_EQ(t.size(), 4u);
    EXPECT_TRUE(t.value(7, 1801, 1) == 42);
    EXPECT_FALSE(t.valid(7, 1801));
    EXPECT_FALSE(t.valid(7, 1));
    EXPECT_TRUE(t.valid(7, 901));
    // Neighbouring stored slots are neighbours in memory.
    EXPECT_EQ(t.find(7, 901) + 1, t.find(7, 1801));

    struct Probe {
        int iobj, slot, comp;
        float128 expected;
    } probes[] = {{7, 2, 1, 0},
                  {7, 2, comp_epoch, q("-9999.9")},
                  {7, 2, 9, 0},
                  {0, 1, 1, 0},
                  {36, 1, comp_epoch, q("-9999.9")},
                  {7, -5, 4, 0},
                  {7, 901, 0, 0},
                  {7, 901, 10, 0},
                  {7, 901, 9, 9},
                  {maxsat, maxepochs3c, comp_epoch, 5}};
    for (const auto& p : probes) {
        EXPECT_TRUE(t.value(p.iobj, p.slot, p.comp) == p.expected)
            << p.iobj << " " << p.slot << " " << p.comp;
        if (p.iobj != 7 || p.slot != 901) {
            EXPECT_EQ(t.find(p.iobj, p.slot) != nullptr, p.slot == maxepochs3c);
        }
    }
    EXPECT_TRUE(t.records(0).empty());
    EXPECT_TRUE(t.records(36).empty());

    t.nepochs3c = 5;
    t.clear();
    EXPECT_EQ(t.size(), 0u);
    EXPECT_EQ(t.nepochs3c, 0);
    EXPECT_FALSE(t.valid(7, 901));
}

// ---------------------------------------------------------------------------------------------------
// Statuses

TEST_F(PreciseOrbits, FileThatCannotBeOpenedGivesStatus1) {
    fs::create_directories(path("adir"));
    PreciseOrbitTable t;
    EXPECT_EQ(read(path("adir"), t), 1);
    EXPECT_EQ(captured_.text(),
              " BEFORE opening s3cfile\n ERROR: opening sp3file file:  " + path("adir") + "\n");
    EXPECT_EQ(read("", t), 1); // a blank name
}

TEST_F(PreciseOrbits, MissingOrEmptyFileGivesStatus3) {
    PreciseOrbitTable t;
    EXPECT_EQ(read(path("none.s3c"), t), 3);
    EXPECT_FALSE(fs::exists(path("none.s3c"))); // read as empty, not created
    EXPECT_EQ(captured_.text(),
              " BEFORE opening s3cfile\n BEFORE reading s3cfile...\n WARNING: void sp3file  " +
                  path("none.s3c") + "\n");
    for (const auto& lines : std::vector<std::vector<std::string>>{{}, {"", "   ", ""}}) {
        EXPECT_EQ(read(put("empty.s3c", lines), t), 3);
        EXPECT_EQ(t.nepochs3c, 0);
    }
}

TEST_F(PreciseOrbits, MalformedRecordsGiveStatus2AndKeepWhatCameBefore) {
    const std::string good = record(5, 0);
    const std::vector<std::string> bad = {
        "S3C xx 08 05 27 0 0 0.0 1 2 3 4 0 0 0 0 0 0",          // letter in the object number
        "S3C 5 08 05 27 0 0 0.0 1.0.0 2 3 4 0 0 0 0 0 0",       // malformed real
        "S3C 5 08 05 27 0 0 0.0 1 2 3 4 0.5 0 0 0 0 0",         // real for an integer flag
        "S3C 5 08 05 27 0 0 0.0 1 2 3 4 0 0 0 0 0 abc",         // text for the last error
        "S3C 5 08 05 27 0 0 0.0 1 2 3",                         // short record running into the next
        "S3C 99999999999 08 05 27 0 0 0.0 1 2 3 4 0 0 0 0 0 0", // integer overflow
    };
    for (const auto& b : bad) {
        PreciseOrbitTable t;
        EXPECT_EQ(read(put("bad.s3c", {good, b, record(6, 900)}), t), 2) << b;
        EXPECT_EQ(captured_.lines().back(), " ERROR: reading input sp3file") << b;
        EXPECT_TRUE(t.valid(5, 1)) << b;
    }
}

TEST_F(PreciseOrbits, RecordCutShortAtTheEndIsIgnored) {
    std::ofstream(path("cut.s3c"), std::ios::binary) << record(5, 0) << "\n"
                                                     << record(5, 900) << "\nS3C  6 08 05 27";
    PreciseOrbitTable t;
    EXPECT_EQ(read(path("cut.s3c"), t), 0);
    EXPECT_EQ(t.nepochs3c, 2);
    EXPECT_EQ(t.size(), 2u);
    EXPECT_EQ(captured_.lines().back(), " WARNING: incomplete last S3C record ignored, record 3");
}

// ---------------------------------------------------------------------------------------------------
// Slots, epochs and values

TEST_F(PreciseOrbits, OneDayOf33SatellitesAt900s) {
    std::vector<std::string> lines;
    for (int k = 0; k < 96; ++k)
        for (int prn = 1; prn <= 33; ++prn)
            lines.push_back(record(prn, 900.0 * k, std::to_string(1000 + prn) + ".123456", "-2.5", "3.000001",
                                   std::to_string(k) + ".000001"));
    PreciseOrbitTable t;
    ASSERT_EQ(read(put("day.s3c", lines), t), 0);
    EXPECT_EQ(t.nepochs3c, 96);
    EXPECT_TRUE(t.tdjms3c_0 == float128(mjd_of(2008, 5, 27)));
    EXPECT_EQ(static_cast<long>(roundq((t.tdjms3c_1 - t.tdjms3c_0) * 86400)), 85500);
    EXPECT_EQ(t.size(), 33u * 96u);
    for (int prn : {1, 17, 33}) {
        for (int k : {0, 1, 50, 95}) {
            const int slot = 900 * k + 1;
            ASSERT_TRUE(t.valid(prn, slot)) << prn << " " << slot;
            EXPECT_TRUE(t.value(prn, slot, 1) == q((std::to_string(1000 + prn) + ".123456").c_str()) * 1000);
            EXPECT_TRUE(t.value(prn, slot, 2) == -2500);
            EXPECT_TRUE(t.value(prn, slot, 3) == q("3.000001") * 1000);
            EXPECT_TRUE(t.value(prn, slot, 4) == q((std::to_string(k) + ".000001").c_str()) * q("1e-6"));
            // The record epoch carries the double resolution of its computation.
            const double expected = mjd_of(2008, 5, 27) + (900.0 * k / 3600.0) / 24.0;
            EXPECT_TRUE(t.value(prn, slot, comp_epoch) == float128(expected));
            EXPECT_TRUE(t.value(prn, slot, 6) == q("0.1E-04") * 1000);
            EXPECT_TRUE(t.value(prn, slot, 9) == q("0.5E-04") * q("1e-6"));
        }
        EXPECT_FALSE(t.valid(prn, 902));
        EXPECT_TRUE(t.value(prn, 902, comp_epoch) == q("-9999.9"));
        EXPECT_FALSE(t.valid(prn, 85502));
    }
    EXPECT_FALSE(t.valid(34, 1));
    EXPECT_EQ(captured_.text(), " BEFORE opening s3cfile\n BEFORE reading s3cfile...\n");
}

TEST_F(PreciseOrbits, SpanNotAMultipleOfTheIntervalStopsTheRun) {
    struct Case {
        double last;
        int interval;
        bool stops;
    } cases[] = {{86399, 900, true},  {86400, 900, false}, {85500, 900, false}, {85500, 0, true},
                 {85500, -900, true}, {30, 30, false},     {0, 900, false},     {899.6, 900, false}};
    for (const auto& c : cases) {
        PreciseOrbitTable t;
        const std::string f = put("span.s3c", {record(1, 0), record(1, c.last)});
        if (c.stops) {
            try {
                read(f, t, c.interval);
                ADD_FAILURE() << c.last << " " << c.interval << ": no stop";
            } catch (const frame::Stop& s) {
                EXPECT_EQ(s.message(), " ERROR: sp3 time interval inconsistency");
                EXPECT_EQ(captured_.lines().back(), "  ERROR: sp3 time interval inconsistency");
            }
        } else {
            EXPECT_EQ(read(f, t, c.interval), 0) << c.last << " " << c.interval;
        }
    }
}

TEST_F(PreciseOrbits, MissingClockMarksTheSlotOnlyWhenClocksAreRequired) {
    struct Case {
        const char* dt;
        bool interpolated, required, marked;
    } cases[] = {
        {"999999.999999", true, true, true},   {"999999.999999", false, true, false},
        {"999999.999999", true, false, false}, {"999999.5", true, true, true},
        {"999999.0", true, true, false},       {"1000000.0", true, true, false},
        {"-999999.999999", true, true, false},
    };
    for (const auto& c : cases) {
        PreciseOrbitTable t;
        log.restart();
        const std::string f = put("clk.s3c", {record(4, 0, "1.5", "2.5", "3.5", c.dt)});
        ASSERT_EQ(read(f, t, 900, 1.0, c.interpolated, c.required), 0) << c.dt;
        EXPECT_EQ(t.valid(4, 1), !c.marked) << c.dt;
        EXPECT_TRUE(t.value(4, 1, 4) == q(c.dt) * q("1e-6")) << c.dt;
        EXPECT_TRUE(t.value(4, 1, 1) == 1500); // stored whether valid or not
        const auto lines = captured_.lines();
        if (c.marked) {
            ASSERT_EQ(lines.size(), 4u);
            EXPECT_EQ(lines[2], " WARNING: NO dt_prn in S3C record (marked)");
            EXPECT_EQ(lines[3], std::string(" 4 8 5 27 0 0 0.0 1.5 2.5 3.5 ") + c.dt) << c.dt;
        } else {
            EXPECT_EQ(lines.size(), 2u) << c.dt;
        }
    }
    // The rover case: a clock of 999999.999999 us is a valid 0.999999999999 s.
    PreciseOrbitTable t;
    ASSERT_EQ(read(put("rov.s3c", {record(1, 0, "1", "2", "3", "999999.999999")}), t, 900, 1.0, true, false),
              0);
    EXPECT_TRUE(t.valid(1, 1));
    EXPECT_LT(fabsq(t.value(1, 1, 4) - q("0.999999999999")), q("1e-32")) << qtext(t.value(1, 1, 4));
}

TEST_F(PreciseOrbits, LaterRecordOfASlotWinsAndEpochsAreCounted) {
    struct Case {
        std::vector<double> epochs; // seconds after the first epoch, one record of PRN 3 each
        double tol;
        int nepochs;
        std::vector<int> slots; // stored slots
    } cases[] = {
        {{0, 0}, 1.0, 1, {1}},                // same epoch twice: one epoch, one slot
        {{0, 30, 60}, 1.0, 3, {1, 31, 61}},   // ordinary spacing
        {{0, 30, 60}, 901.0, 1, {1, 31, 61}}, // just above 30^2: merged in the count, slots kept
        {{0, 30, 60}, 899.0, 3, {1, 31, 61}}, // just below 30^2: three epochs
        {{0, 0.4, 1000.4, 1000.6}, 0.01, 4, {1, 1001, 1002}}, // whole-second rounding of the slot
        {{0, 0.3}, 1.0, 1, {1}},                              // within the tolerance: same epoch, same slot
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < c.epochs.size(); ++i)
            lines.push_back(record(3, c.epochs[i], std::to_string(i + 1) + ".0"));
        PreciseOrbitTable t;
        ASSERT_EQ(read(put("dup.s3c", lines), t, 1, c.tol), 0);
        EXPECT_EQ(t.nepochs3c, c.nepochs) << c.epochs.size() << " " << c.tol;
        ASSERT_EQ(t.records(3).size(), c.slots.size());
        for (std::size_t i = 0; i < c.slots.size(); ++i) EXPECT_EQ(t.records(3)[i].slot, c.slots[i]);
        // The slot of the first epoch holds the last record that fell into it.
        int last_in_slot1 = 0;
        for (std::size_t i = 0; i < c.epochs.size(); ++i)
            if (c.epochs[i] < 0.5) last_in_slot1 = static_cast<int>(i + 1);
        EXPECT_TRUE(t.value(3, 1, 1) == last_in_slot1 * 1000);
    }
}

// ---------------------------------------------------------------------------------------------------
// Records outside the table

TEST_F(PreciseOrbits, ObjectsOutsideTheTableAreSkippedWithAWarning) {
    PreciseOrbitTable t;
    ASSERT_EQ(
        read(put("obj.s3c", {record(0, 0), record(1, 0), record(36, 0), record(35, 900), record(-2, 900)}),
             t),
        0);
    EXPECT_EQ(t.size(), 2u);
    EXPECT_TRUE(t.valid(1, 1));
    EXPECT_TRUE(t.valid(35, 901));
    EXPECT_EQ(t.nepochs3c, 2);
    const auto lines = captured_.lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(
        lines[2],
        " WARNING: S3C record skipped, object outside 1..35: iprn,iyy,imo,ida,iho,imi,sec= 0 8 5 27 0 0 0.0");
    EXPECT_EQ(lines[4], " WARNING: S3C record skipped, object outside 1..35: iprn,iyy,imo,ida,iho,imi,sec= "
                        "-2 8 5 27 0 15 0.0");

    // A skipped first record does not set the first epoch; many skips end in a count.
    std::vector<std::string> many;
    for (int k = 0; k < 12; ++k) many.push_back(record(40 + k, 0));
    many.push_back(record(2, 900));
    log.restart();
    ASSERT_EQ(read(put("many.s3c", many), t), 0);
    EXPECT_TRUE(t.valid(2, 1));
    EXPECT_TRUE(t.tdjms3c_0 == float128(mjd_of(2008, 5, 27) + (900.0 / 3600.0) / 24.0));
    const auto l2 = captured_.lines();
    ASSERT_EQ(l2.size(), 2u + max_reported_skips + 1u);
    EXPECT_EQ(l2.back(), " WARNING: S3C records skipped, object outside 1..35, in all: 12");
}

TEST_F(PreciseOrbits, EpochsOutOfOrderOrBeyondTheTableGiveStatus2) {
    struct Case {
        std::vector<double> epochs;
        double tol;
        int status;
        const char* error; // start of the error line before " ERROR: reading input sp3file"
    } cases[] = {
        {{0, 900, 0}, 1.0, 2, " ERROR: S3C epochs not increasing (records not grouped by epoch)"},
        {{900, 0}, 1.0, 2, " ERROR: S3C epochs not increasing (records not grouped by epoch)"},
        {{0, 900, 899.5}, 1.0, 0, nullptr}, // back by less than the tolerance: same epoch
        {{10, 9.4}, 1.0, 2, " ERROR: S3C epochs not increasing (record before the first epoch)"},
        {{0, 950399}, 1.0, 0, nullptr}, // the last slot of the table
        {{0, 950399.6},
         1.0,
         2,
         " ERROR: S3C record more than 950399 s after the first epoch, beyond the table"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        for (double e : c.epochs) lines.push_back(record(9, e));
        PreciseOrbitTable t;
        log.restart();
        EXPECT_EQ(read(put("order.s3c", lines), t, 1, c.tol), c.status) << c.epochs.back();
        if (c.error != nullptr) {
            const auto l = captured_.lines();
            ASSERT_GE(l.size(), 2u);
            EXPECT_EQ(l.back(), " ERROR: reading input sp3file");
            EXPECT_EQ(l[l.size() - 2].rfind(c.error, 0), 0u) << l[l.size() - 2];
        }
    }
    PreciseOrbitTable t;
    ASSERT_EQ(read(put("last.s3c", {record(9, 0), record(9, 950399)}), t, 1), 0);
    EXPECT_TRUE(t.valid(9, maxepochs3c));
}

TEST_F(PreciseOrbits, ImpossibleDateStopsTheRunAsForMessages) {
    PreciseOrbitTable t;
    EXPECT_THROW(read(put("date.s3c", {record(1, 0), "S3C 1 08 13 27 0 15 0.0 1 2 3 4 0 0 0 0 0 0"}), t),
                 frame::Stop);
    const auto l = captured_.lines();
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[2], " ERROR: in cldj");
}

// ---------------------------------------------------------------------------------------------------
// Reload

TEST_F(PreciseOrbits, ReloadClearsTheTableAndRefills) {
    PreciseOrbitTable t;
    ASSERT_EQ(read(put("a.s3c", {record(1, 0), record(2, 0), record(1, 900), record(2, 900)}), t), 0);
    ASSERT_EQ(t.size(), 4u);
    // The refreshed file starts later and holds another satellite.
    ASSERT_EQ(read(put("b.s3c", {record(3, 1800), record(3, 2700), record(3, 3600)}), t), 0);
    EXPECT_EQ(t.size(), 3u);
    EXPECT_EQ(t.nepochs3c, 3);
    EXPECT_FALSE(t.valid(1, 1));
    EXPECT_TRUE(t.valid(3, 1));
    EXPECT_TRUE(t.valid(3, 1801));
    EXPECT_TRUE(t.tdjms3c_0 == float128(mjd_of(2008, 5, 27) + (1800.0 / 3600.0) / 24.0));
    // A failed reload leaves what was read before the failure.
    EXPECT_EQ(read(put("c.s3c", {record(4, 0), "S3C 4 x"}), t), 2);
    EXPECT_EQ(t.size(), 1u);
    EXPECT_TRUE(t.valid(4, 1));
}

// ---------------------------------------------------------------------------------------------------
// Rover station list

TEST_F(PreciseOrbits, RoverStationList) {
    struct Case {
        std::vector<std::string> lines;
        int status;
        std::vector<std::string> names;
        std::vector<std::string> log; // log lines
    } cases[] = {
        {{"ACOR", "", "MADR extra words", "'L09 '"}, 0, {"ACOR", "MADR", "L09 "}, {}},
        {{"SCOA", "0*ABCD", "SFER"}, 2, {"SCOA"}, {" ERROR: reading input from read_rover_sp3_sta file"}},
        {{"LONGNAME"}, 0, {"LONG"}, {}},
        {{"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8"},
         3,
         {"A1  ", "A2  ", "A3  ", "A4  ", "A5  ", "A6  "},
         {" WARNING: more than 6 stations in read_rover_sp3_sta file, station ignored: A7  ",
          " WARNING: more than 6 stations in read_rover_sp3_sta file, station ignored: A8  "}},
    };
    for (const auto& c : cases) {
        RoverStationList list;
        log.restart();
        EXPECT_EQ(read_rover_sp3_sta(config_name(put("sta.txt", c.lines)), list, log), c.status);
        ASSERT_EQ(list.nrec_rover_sp3_sta, static_cast<int>(c.names.size()));
        for (std::size_t i = 0; i < c.names.size(); ++i)
            EXPECT_EQ(list.reclst_rover_sp3_sta(static_cast<int>(i + 1)), c.names[i]);
        EXPECT_EQ(captured_.lines(), c.log);
    }
    RoverStationList list;
    list.nrec_rover_sp3_sta = 2;
    log.restart();
    EXPECT_EQ(read_rover_sp3_sta(config_name(path("absent.txt")), list, log), 1);
    EXPECT_EQ(list.nrec_rover_sp3_sta, 0);
    EXPECT_EQ(captured_.text(), " WARNING: opening error with read_rover_sp3_sta file \n");
}

// ---------------------------------------------------------------------------------------------------
// Start-up and refresh

class PreciseOrbitStartup : public PreciseOrbits {
  protected:
    void SetUp() override {
        PreciseOrbits::SetUp();
        cfg.precise_instead_of_eph_orbits = true;
        cfg.interpolated_precise_satclocks_instead_of_broadcast = true;
        cfg.iexpected_dtsec_sp3cfiles = 900;
        cfg.iexpected_dtsec_rover_sp3file = 10;
        cfg.dtsec2tol_s3c = 1;
        cfg.dtsec2tol_rs3 = 1;
        cfg.s3cfile = config_name(path("orbits.s3c"));
        cfg.rover_sp3file = config_name(path("rover.s3c"));
        cfg.sta2roversp3file = config_name(path("rover_stations.txt"));
    }
    void load(float128 tdjmobs = -9999) {
        load_precise_orbits(cfg, sat, rover, stations, required, tdjmobs, log);
    }
    frame::Config cfg;
    PreciseOrbitTable sat, rover;
    RoverStationList stations;
    bool required = false;
};

TEST_F(PreciseOrbitStartup, SatelliteFileWithoutRoverFile) {
    put("orbits.s3c", {record(1, 0), record(1, 900), record(1, 86400 + 900)});
    load();
    EXPECT_TRUE(required);
    EXPECT_EQ(sat.nepochs3c, 3);
    EXPECT_EQ(rover.size(), 0u);
    EXPECT_EQ(
        captured_.text(),
        " BEFORE opening s3cfile\n BEFORE reading s3cfile...\n \n"
        "AFTER calling read_s3e: tdjms3c_0,tdjms3c_1,tdjmobs=  54613.000000 54614.010417 -9999.000000\n");
}

TEST_F(PreciseOrbitStartup, SatelliteFileFailureStopsTheRun) {
    // No satellite file: read as empty, status 3.
    try {
        load(54613.5Q);
        FAIL() << "no stop";
    } catch (const frame::Stop& s) {
        EXPECT_EQ(s.message(), "ERROR: reading orbits, ierrs3c.ne.0");
    }
    const auto lines = captured_.lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], " ");
    EXPECT_EQ(lines[4],
              "AFTER calling read_s3e: tdjms3c_0,tdjms3c_1,tdjmobs=      0.000000     0.000000 54613.500000");
    EXPECT_EQ(lines[5], " ERROR: reading orbits, ierrs3c= 3");
}

TEST_F(PreciseOrbitStartup, RoverFileAndStationList) {
    cfg.precise_instead_of_eph_orbits = false;
    put("rover.s3c", {record(1, 0, "7000.1", "0.5", "0.25", "999999.999999"), record(1, 10), record(1, 20)});
    put("rover_stations.txt", {"L01", "ACOR"});
    for (bool silent : {false, true}) {
        log.restart();
        log.silent = silent;
        load();
        EXPECT_FALSE(required);
        EXPECT_EQ(sat.size(), 0u);
        EXPECT_EQ(rover.nepochs3c, 3);
        EXPECT_TRUE(rover.valid(1, 1)); // clocks are not required of the rover file
        EXPECT_EQ(stations.nrec_rover_sp3_sta, 2);
        EXPECT_EQ(stations.reclst_rover_sp3_sta(1), "L01 ");
        std::string expected = " BEFORE opening s3cfile\n BEFORE reading s3cfile...\n";
        if (!silent)
            expected += " nepochrs3= 3\n tdjmrs3_0,tdjmrs3_1= 54613.0 " +
                        std::string(textio::list_line(rover.tdjms3c_1)).substr(1) +
                        "\n \n  READ list of stations rover_sp3 #= 2\n L01 \n ACOR\n";
        EXPECT_EQ(captured_.text(), expected);
    }
}

TEST_F(PreciseOrbitStartup, RoverFileMissingOrUnusable) {
    cfg.precise_instead_of_eph_orbits = false;
    put("rover_stations.txt", {"L01"});
    load(); // no rover file: nothing read, nothing logged
    EXPECT_EQ(captured_.text(), "");
    EXPECT_EQ(stations.nrec_rover_sp3_sta, 0);

    put("rover.s3c", {});
    load();
    EXPECT_EQ(captured_.text(),
              " BEFORE opening s3cfile\n BEFORE reading s3cfile...\n WARNING: void sp3file  " +
                  path("rover.s3c") +
                  "\n WARNING: reading rover_sp3file, ierrs3c= 3\n          (neglected  void file  " +
                  path("rover.s3c") + " )\n");
    EXPECT_EQ(stations.nrec_rover_sp3_sta, 0); // the station list is not read

    log.restart();
    put("rover.s3c", {record(1, 0), "S3C 1 garbage"});
    load();
    EXPECT_EQ(captured_.lines().at(3), " WARNING: reading rover_sp3file, ierrs3c= 2");
}

TEST_F(PreciseOrbitStartup, RefreshReadsTheFileAgain) {
    put("orbits.s3c", {record(1, 0), record(1, 900)});
    load();
    put("orbits.s3c", {record(1, 900), record(1, 1800), record(2, 2700)});
    log.restart();
    refresh_precise_orbits(cfg, sat, true, 54613.03Q, log);
    EXPECT_EQ(sat.nepochs3c, 3);
    EXPECT_TRUE(sat.valid(2, 1801));
    EXPECT_FALSE(sat.valid(1, 1801));
    EXPECT_EQ(captured_.text(),
              " BEFORE opening s3cfile\n BEFORE reading s3cfile...\n"
              "AFTER calling read_s3e: tdjms3c_0,tdjms3c_1,tdjmobs=  54613.010417 54613.031250 54613.030000\n"
              " WARNING: updated ORBITS and CLOCKS\n");
    fs::remove(path("orbits.s3c"));
    EXPECT_THROW(refresh_precise_orbits(cfg, sat, true, 54613.03Q, log), frame::Stop);
    EXPECT_EQ(captured_.lines().back(), " ERROR: reading orbits, ierrs3c= 3");
}

} // namespace
