// The rarer paths of the epoch control through the program, on streams built from the example day
// (BELL and EBRE, 2002-01-30): reference periods and fixed double-difference records on their boundary
// seconds, and a receiver whose positions come from a trajectory file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "e2e/e2e_util.hpp"

using namespace quelmar::e2e;

namespace {

const fs::path examples = fs::path(QUELMAR_SOURCE_DIR) / "examples";

const std::string new_epoch = " NEW EPOCH: Looking for pseudorange solutions";

// The log cut at each new epoch: element i holds the lines of the i-th epoch (element 0 what comes
// before the first one).
std::vector<std::vector<std::string>> epochs_of(const std::string& log) {
    std::vector<std::vector<std::string>> e(1);
    for (const auto& l : lines_of(log)) {
        if (l == new_epoch) e.emplace_back();
        e.back().push_back(l);
    }
    return e;
}

std::vector<std::string> starting(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> v;
    for (const auto& l : lines)
        if (starts_with(l, prefix)) v.push_back(l);
    return v;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string t;
    for (const auto& l : lines) t += l + "\n";
    return t;
}

std::vector<std::string> example_stream() {
    return lines_of(read_file(examples / "messages.txt"));
}

// The example's observation of `prn` by `rec` at 00:00:00, moved to second `sec` of the day (the
// epoch control and the chain take the observables as they come), under the station name `as` if given.
std::string ob1_at(int prn, const std::string& rec, int sec, const std::string& as = "") {
    char head[64];
    std::snprintf(head, sizeof head, "OB1 %2d  2  1 30  0  0  0.0000000 %s", prn, rec.c_str());
    for (auto l : example_stream())
        if (starts_with(l, head)) {
            char when[32];
            std::snprintf(when, sizeof when, "%2d %2d%11.7f", sec / 3600, sec % 3600 / 60,
                          static_cast<double>(sec % 60));
            l.replace(16, 16, when);
            if (!as.empty()) l.replace(33, 4, as);
            return l;
        }
    ADD_FAILURE() << "no example line " << head;
    return "";
}

// The metadata and ephemeris lines of the example stream.
std::string metadata() {
    std::string text;
    for (const auto& l : example_stream())
        if (!starts_with(l, "OB1 ")) text += l + "\n";
    return text;
}

std::string config(const std::vector<std::pair<std::string, std::string>>& changes = {}) {
    std::string cfg = config_without_antex();
    for (const auto& [from, to] : changes) cfg = replaced(cfg, from, to);
    return cfg;
}

RunResult run_with(const std::string& cfg, const std::string& input,
                   const std::vector<std::pair<std::string, std::string>>& files) {
    Workdir w;
    w.put_example(cfg);
    for (const auto& [name, text] : files) w.put(name, text);
    return w.run(input);
}

const std::pair<std::string, std::string> silent_on = {"silent_log = .false.", "silent_log = .true."};

// ---------------------------------------------------------------------------------------------------
// Reference satellites: a period holds its start second and ends before its end second.

TEST(DayFilesRoverE2E, ReferencePeriodsHoldTheirStartAndNotTheirEnd) {
    // PRN 13 from 0 to 30 s, PRN 7 from 30 to 90 s (comma-separated: free form); nothing from 90 s on.
    const std::string refsat = "0 30 13\n30, 90, 7\n";
    std::string input = metadata();
    for (int sec : {0, 30, 60, 90}) input += ob1_at(13, "BELL", sec) + "\n" + ob1_at(7, "BELL", sec) + "\n";
    const std::vector<std::string> per_epoch = {
        " refsat,iper_refsat,idtsec,itsecdayobs=  13 1 0 0",
        " refsat,iper_refsat,idtsec,itsecdayobs=  7 2 30 30",
        " refsat,iper_refsat,idtsec,itsecdayobs=  7 2 30 60",
        " refsat,iper_refsat,idtsec,itsecdayobs=  -99 3 30 90",
    };
    const std::vector<std::string> marks = {
        " iprn,refsat,isrefsat=  13 13 T",  " iprn,refsat,isrefsat=  7 13 F",  // 0 s
        " iprn,refsat,isrefsat=  13 7 F",   " iprn,refsat,isrefsat=  7 7 T",   // 30 s
        " iprn,refsat,isrefsat=  13 7 F",   " iprn,refsat,isrefsat=  7 7 T",   // 60 s
        " iprn,refsat,isrefsat=  13 -99 F", " iprn,refsat,isrefsat=  7 -99 F", // 90 s
    };
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent);
        const RunResult r =
            run_with(silent ? config({silent_on}) : config(), input, {{"refsat.02-01-30", refsat}});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        // The period of each epoch is found once, at the epoch's first observation, whatever silent_log.
        EXPECT_EQ(lines_starting(r.log, " refsat,iper_refsat,idtsec,itsecdayobs="), per_epoch);
        // Each observation is marked as of the reference satellite or not, in the verbose log only.
        EXPECT_EQ(lines_starting(r.log, " iprn,refsat,isrefsat="),
                  silent ? std::vector<std::string>{} : marks);
        EXPECT_EQ(block(r.log, "  READ reference satellites=", 3),
                  (std::vector<std::string>{"  READ reference satellites=", " 1 0 30 13", " 2 30 90 7"}));
        // Outside every period no satellite is the reference, and the observations still go on.
        EXPECT_EQ(lines_starting(r.out, "OB2 ").size(), 8u);
    }
}

// ---------------------------------------------------------------------------------------------------
// Fixed double differences: a record holds both of its end seconds, and the first record of a key wins.

// A DDF record of PRN 7 at EBRE against PRN 13 at BELL, with ambiguity identifiers base+1..base+4 and
// fixed values base + 0.5 (wide lane), + 0.25 (ionosphere-free), + 0.75 (geometry-free).
std::string ddf_record(const char* from, const char* to, int base, const char* rec = "EBRE") {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "%s %s 7 '%s' 1 2 3 4 13 'BELL' %d %d %d %d %d.5 %d %d %d %d %d.25 %d %d %d %d %d.75 5",
                  from, to, rec, base + 1, base + 2, base + 3, base + 4, base, base + 11, base + 12,
                  base + 13, base + 14, base, base + 21, base + 22, base + 23, base + 24, base);
    return buf;
}

// The six log lines of a matched record made by ddf_record(.., base).
std::vector<std::string> matched_lines(int base) {
    const auto b = std::to_string(base);
    auto ids = [&](int off) {
        std::string s;
        for (int k = 1; k <= 4; ++k) {
            s += ' ';
            s += std::to_string(base + off + k);
        }
        return s;
    };
    return {" idBw= " + ids(0),           " ddBw_fixed=  " + b + ".5", " idBc= " + ids(10),
            " ddBc_fixed=  " + b + ".25", " idBi= " + ids(20),         " ddBi_fixed=  " + b + ".75"};
}

// Per epoch (0, 30, 60, 90 s) with EBRE observing PRN 7 after the reference receiver BELL.
std::string ddf_stream() {
    std::string input = metadata();
    for (int sec : {0, 30, 60, 90}) input += ob1_at(7, "BELL", sec) + "\n" + ob1_at(7, "EBRE", sec) + "\n";
    return input;
}

std::vector<std::string> ddf_lines(const std::vector<std::string>& epoch) {
    std::vector<std::string> v;
    for (const char* p : {" idBw=", " ddBw_fixed=", " idBc=", " ddBc_fixed=", " idBi=", " ddBi_fixed="})
        for (const auto& l : starting(epoch, p)) v.push_back(l);
    return v;
}

TEST(DayFilesRoverE2E, DdfRecordsHoldBothEndsAndTheFirstOfAKeyWins) {
    const std::string first = ddf_record("30.0", "60.0", 100);
    const std::string later = ddf_record("0.0", "90.0", 200);         // same satellite and receiver, wider
    const std::string other = ddf_record("0.0", "90.0", 300, "EBRX"); // another receiver
    const auto a = matched_lines(100), b = matched_lines(200);
    const std::vector<std::string> none;
    struct {
        const char* name;
        std::string file;
        std::vector<std::vector<std::string>> per_epoch; // lines at 0, 30, 60, 90 s
    } cases[] = {
        {"one record", first + "\n" + other + "\n", {none, a, a, none}},
        {"a later record of the same key", first + "\n" + later + "\n", {b, a, a, b}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = run_with(config(), ddf_stream(),
                                     {{"refsat.02-01-30", "0 86400 13\n"}, {"ddf.02-01-30.sum", c.file}});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        const auto epochs = epochs_of(r.log);
        ASSERT_EQ(epochs.size(), 5u);
        for (std::size_t i = 0; i < 4; ++i) {
            SCOPED_TRACE(30 * i);
            EXPECT_EQ(ddf_lines(epochs[i + 1]), c.per_epoch[i]);
        }
        // The file is named on standard output, its records echoed there as they are read, and counted
        // in the log.
        const auto out = lines_of(r.out);
        ASSERT_GE(out.size(), 5u);
        EXPECT_EQ(count_lines(r.out, " ddf.02-01-30.sum"), 1u);
        const auto echo = block(r.out, " nddf=  1", 4);
        ASSERT_EQ(echo.size(), 4u);
        EXPECT_EQ(echo[2], " nddf=  2");
        EXPECT_TRUE(starts_with(echo[1], " 30.0 60.0 7 EBRE 1 2 3 4 13 BELL 101 102 103 104 100.5 "))
            << echo[1];
        EXPECT_EQ(count_lines(r.log, " nddf=  2"), 1u);
        const auto listed = block(r.log, "  READ DD amb. fixed (DDF records): ", 3);
        ASSERT_EQ(listed.size(), 3u);
        EXPECT_EQ(listed[1], " iddf =  1" + echo[1]);
        EXPECT_EQ(listed[2], " iddf =  2" + echo[3]);
    }
}

TEST(DayFilesRoverE2E, MalformedDdfFileStopsTheRun) {
    const std::string good = ddf_record("30.0", "60.0", 100);
    std::string letter = ddf_record("0.0", "90.0", 200);
    letter.replace(letter.find(" 201 "), 5, " 2x1 ");
    const std::string cut = ddf_record("0.0", "90.0", 200).substr(0, 40); // ends inside the record
    for (const auto& bad : {letter, cut}) {
        SCOPED_TRACE(bad);
        const RunResult r =
            run_with(config(), ddf_stream(),
                     {{"refsat.02-01-30", "0 86400 13\n"}, {"ddf.02-01-30.sum", good + "\n" + bad + "\n"}});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "ERROR reading file_ddf\n");
        EXPECT_EQ(count_lines(r.log, " ERROR reading file_ddf=  ddf.02-01-30.sum"), 1u);
        // The record read before the bad one was echoed and is not lost by the stop; nothing was
        // processed.
        EXPECT_EQ(count_lines(r.out, " nddf=  1"), 1u);
        EXPECT_EQ(count_lines(r.out, " nddf=  2"), 0u);
        EXPECT_TRUE(lines_starting(r.out, "OB2 ").empty());
        EXPECT_EQ(count_lines(r.log, new_epoch), 1u);
    }
}

// ---------------------------------------------------------------------------------------------------
// A trajectory rover: receiver "05BL" (object 5 of the rover file) with BELL's antenna metadata and no
// XYZ message of its own; its position is interpolated from its trajectory at each observation.

// Straight-line trajectory starting at BELL's position: x + 1 m/s, y - 2 m/s, z + 0.5 m/s, records
// every 60 s from 00:00 to 00:20.
std::string rover_file() {
    std::string t;
    for (int s = 0; s <= 1200; s += 60) {
        char buf[200];
        std::snprintf(buf, sizeof buf, "S3C  5 02 01 30  0 %2d %.8f %.6f %.6f %.6f 0.0 0 0 0 0 0 0\n", s / 60,
                      0.0, 4775.849620 + 0.001 * s, 116.814100 - 0.002 * s, 4213.018710 + 0.0005 * s);
        t += buf;
    }
    return t;
}

std::string rover_metadata() {
    std::string text;
    for (const auto& l : example_stream()) {
        if (starts_with(l, "OB1 ") || l.find("EBRE") != std::string::npos || starts_with(l, "XYZ ")) continue;
        const auto p = l.find(" BELL");
        text += (p == std::string::npos ? l : std::string(l).replace(p, 5, " 05BL")) + "\n";
    }
    return text;
}

TEST(DayFilesRoverE2E, TrajectoryRoverTakesItsPositionFromItsFile) {
    const std::string cfg =
        config({{"iexpected_dtsec_rover_sp3file = 30", "iexpected_dtsec_rover_sp3file = 60"},
                {"hionokm_rover_sp3 = 450.0", "hionokm_rover_sp3 = 350.0"},
                {"write_undif_dat = .false.", "write_undif_dat = .true."}});
    // 00:01:00 is too close to the first record for a full window, 00:10:30 lies between two records,
    // 00:25:00 after the last one.
    std::string input = rover_metadata();
    for (int sec : {60, 630, 1500}) input += ob1_at(13, "BELL", sec, "05BL") + "\n";
    const RunResult r = run_with(cfg, input,
                                 {{"refsat.02-01-30", "0 86400 13\n"},
                                  {"rover.s3c", rover_file()},
                                  {"sta2roversp3.txt", "05BL\n"},
                                  {"sta2refrec.txt", "EBRE\n"}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto epochs = epochs_of(r.log);
    ASSERT_EQ(epochs.size(), 4u);

    // Inside the trajectory: the position at 630 s of the straight line, on the record and in the log.
    const auto& in = epochs[2];
    EXPECT_EQ(starting(in, "  Computing ROVER_LIKE position from given SP3 file").size(), 1u);
    EXPECT_TRUE(starting(in, " NO es un ROVER_SP3..").empty());
    // The log lines carry every digit: the record epochs and the observation epoch are 64-bit MJDs
    // (about 0.6 us apart at this date), which moves the interpolated line by well under a micrometre.
    const auto rover_sp3 = starting(in, " ROVER_SP3: iz,irec,recxyz0_(iz,irec)=");
    ASSERT_EQ(rover_sp3.size(), 3u);
    const double expected[3] = {4776479.62, 115554.1, 4213333.71};
    for (int iz = 1; iz <= 3; ++iz) {
        std::istringstream values(rover_sp3[static_cast<std::size_t>(iz - 1)].substr(38));
        int z = 0, irec = 0;
        double xyz = 0;
        ASSERT_TRUE(values >> z >> irec >> xyz) << rover_sp3[static_cast<std::size_t>(iz - 1)];
        EXPECT_EQ(z, iz);
        EXPECT_EQ(irec, 1);
        EXPECT_NEAR(xyz, expected[iz - 1], 1e-6);
    }
    EXPECT_EQ(starting(in, " hionokm1="), std::vector<std::string>{" hionokm1=  350.0"});
    const auto undif = starting(in, "UNDIF_DAT ");
    ASSERT_EQ(undif.size(), 1u);
    EXPECT_EQ(undif[0].substr(0, 34), "UNDIF_DAT  05BL 0 52304.0072917 13");
    EXPECT_EQ(undif[0].substr(64, 45), "    4776479.620     115554.100    4213333.710");
    EXPECT_TRUE(starting(in, " WARNING: Error").empty());
    EXPECT_TRUE(starting(in, " WARNING: rejec.").empty());

    // Outside the trajectory: no position, so the gate rejects the observation, also after a receiver
    // that had one.
    const struct {
        std::size_t epoch;
        const char* why;    // the interpolator's warning
        const char* status; // the rejection line
    } outside[] = {
        {1, " WARNING: Observation uncovered by precise SP3C orbits",
         "WARNING: ierrps3c=  1 Rejected OB1 at iyy,imo,ida,itsecdayobs=  2  1 30    60"},
        {3, " WARNING: non valid SP3C record for PRN,IEPOCH= 5 1501",
         "WARNING: ierrps3c=  3 Rejected OB1 at iyy,imo,ida,itsecdayobs=  2  1 30  1500"},
    };
    for (const auto& c : outside) {
        SCOPED_TRACE(c.status);
        const auto& e = epochs[c.epoch];
        EXPECT_EQ(starting(e, "  Computing ROVER_LIKE position from given SP3 file").size(), 1u);
        EXPECT_EQ(starting(e, c.why).size(), 1u);
        EXPECT_TRUE(starting(e, " ROVER_SP3:").empty());
        const std::vector<std::string> expected = {" WARNING: Error in posat_s3c for ROVER_SP3", c.status,
                                                   " "};
        EXPECT_EQ(block(joined(e), expected[0], 3), expected);
        EXPECT_EQ(starting(e, " WARNING: rejec. OBS: lack of EPH or OBS or XYZ data").size(), 1u);
        EXPECT_EQ(starting(e, " irec,is_xyz_read(irec)= 1 F").size(), 1u);
        EXPECT_TRUE(starting(e, "UNDIF_DAT ").empty());
    }
    EXPECT_EQ(lines_starting(r.out, "OB2 ").size(), 1u);
}

} // namespace
