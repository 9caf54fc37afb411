// The epoch control through the program on the example case: epochs opened once, the daily files of
// the reference satellites (required) and of the fixed double differences (optional, absent from the
// example), and the age check of a real-time rover's position.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/e2e_util.hpp"

using namespace quelmar::e2e;

namespace {

// The example stream's lines, by their first characters.
std::string example_line(const std::string& start) {
    for (const auto& l : lines_of(read_file(fs::path(QUELMAR_SOURCE_DIR) / "examples" / "messages.txt")))
        if (l.rfind(start, 0) == 0) return l;
    ADD_FAILURE() << "no example line starts with " << start;
    return "";
}

int count(const std::string& text, const std::string& line) {
    const auto lines = lines_of(text);
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// Station metadata of both receivers, the leap seconds and the ephemeris of PRN 13.
std::string metadata() {
    std::string s;
    for (const char* m : {"XYZ", "ANT", "AND", "WLF"})
        for (const char* rec : {"BELL", "EBRE"})
            s += example_line(std::string(m) + "     2  1 30  0  0  0.0 " + rec) + "\n";
    return s + example_line("LEA") + "\n" + example_line("EPH 13") + "\n";
}

const char* const new_epoch = " NEW EPOCH: Looking for pseudorange solutions";

TEST(EpochControlE2E, OneEpochOfTwoReceiversIsOpenedOnce) {
    Workdir w;
    w.put_example(config_without_antex());
    const std::string bell = example_line("OB1 13  2  1 30  0  0  0.0000000 BELL");
    const std::string ebre = example_line("OB1 13  2  1 30  0  0  0.0000000 EBRE");
    const RunResult r = w.run(metadata() + bell + "\n" + ebre + "\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(count(r.log, new_epoch), 1);
    EXPECT_EQ(count(r.log, "  READ reference satellites="), 1);
    EXPECT_EQ(count(r.log, " 8 75600 86400 1"), 1); // the example's last period
    EXPECT_EQ(count(r.log, " refsat,iper_refsat,idtsec,itsecdayobs=  13 1 0 0"), 1);
    EXPECT_EQ(count(r.log, " iprn,refsat,isrefsat=  13 13 T"), 2);
    EXPECT_EQ(count(r.log, " NO es un ROVER_SP3.."), 2);
    EXPECT_EQ(count(r.log, " hionokm1=  450.0"), 2);
    // The example has no DDF file: a warning, and the run goes on.
    EXPECT_EQ(count(r.log, " WARNING: error opening file_ddf=  ddf.02-01-30.sum"), 1);
    EXPECT_EQ(count(r.out, " ddf.02-01-30.sum"), 1);
}

TEST(EpochControlE2E, MissingReferenceSatelliteFileStops) {
    Workdir w;
    w.put_example(config_without_antex());
    fs::remove(w.path() / "refsat.02-01-30");
    const RunResult r = w.run(metadata() + example_line("OB1 13") + "\n" + example_line("OB1  1") + "\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "ERROR opening file_refsat\n");
    EXPECT_EQ(count(r.log, " ERROR opening file_refsat =  refsat.02-01-30"), 1);
    EXPECT_EQ(count(r.log, new_epoch), 1); // stopped at the first observation
}

TEST(EpochControlE2E, StaleRealTimeRoverPositionStops) {
    Workdir w;
    // EBRE becomes a real-time rover whose position may be at most 45 s old.
    w.put_example(replaced(config_without_antex(), "dtsec_xyzmax  = 60.0", "dtsec_xyzmax  = 45.0"));
    w.put("sta2estpos.txt", "");
    w.put("sta2roverrt.txt", "EBRE\n");
    const std::string at0 = example_line("OB1 13  2  1 30  0  0  0.0000000 EBRE");
    const std::string at30 = example_line("OB1 13  2  1 30  0  0 30.0000000 EBRE");
    const std::string at60 = example_line("OB1 13  2  1 30  0  1  0.0000000 EBRE");
    const RunResult r = w.run(metadata() + at0 + "\n" + at30 + "\n" + at60 + "\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "ERROR: Non exist. or too old pseud. coord. estimate\n");
    EXPECT_EQ(count(r.log, " ERROR: Non exist. or too old pseud. coord. estimate"), 1);
    EXPECT_EQ(count(r.log, " is_xyz_read(irec)= T"), 1);
    EXPECT_EQ(count(r.log, new_epoch), 3); // the third epoch is the one that stops
}

} // namespace
