// Every stop the input can reach, end to end (the scenarios hold the others): the program run on the
// example's files with one file damaged or one limit passed. Each stop must give its message alone on
// standard error, exit status 0, and leave standard output and the log ending with a whole record.
// Guards that no input can reach (a Sun/Moon object code, the interpolation degree, a transmit-time
// status, the Fortran interpolator's coincident abscissae) are not listed, nor the epoch range of the
// solar-flux table, which only the a priori ionosphere consults.
#include <gtest/gtest.h>

#include "support/support.hpp"

namespace {

using namespace quelmar::test;

struct Row {
    const char* file; // a file of the example (or a new one); "cfg" is the configuration
    const char* from; // replaced by `to`; empty: `to` is the whole file
    const char* to;   // nullptr: the file is removed
    bool observe;     // feed the example's metadata and one observation
    const char* stop;
};

const Row rows[] = {
    {"antennas.atx", "A                                                           PCV",
     "R                                                           PCV", false, "ERROR: Non Absolute type of PCV in ANTEX file"},
    {"antennas.atx", "           G01                 G032", "           G40                 G032", false, "ERROR: iprn.gt.maxprn"},
    {"antennas.atx", "           G01                 G032", "           G00                 G032", false, "ERROR: iprn.lt.1"},
    {"antennas.atx", "BLOCK IIA           G01", "BLOCK IIZ           G01", false, "ERROR: Unsupported GPS block"},
    {"antennas.atx", "BLOCK IIA           G01", "GLONASS-Z           R01", false, "ERROR: Unsupported GLONASS block"},
    {"antennas.atx", "     1.4            G", "     1.4            X", false,
     "ERROR: unsuppor. ANTEX sat. sys. (!= ,G,R,E,C,J,S,M)"},
    {"antennas.atx", "     0.0  17.0   1.0", "     0.0  17.0   0.1", false, "ERROR: nzen.gt.maxzen"},
    {"antennas.atx", "     0.0  17.0   1.0", "    17.0   0.0   1.0", false, "ERROR: nzen.lt.1"},
    {"antennas.atx", "     0.0                                                    DAZI",
     "     1.0                                                    DAZI", false, "ERROR: n_azi.gt.maxazi"},
    {"antennas.atx", "     2                                                      # OF",
     "    10                                                      # OF", false,
     "ERROR: nfreq.gt.maxfreq"},
    {"antennas.atx", "   G01                                                      START OF FREQ",
     "   G10                                                      START OF FREQ", false, "ERROR: ifreq.gt.maxfreq"},
    {"antennas.atx", "   G01                                                      START OF FREQ",
     "   G00                                                      START OF FREQ", false, "ERROR: ifreq.lt.1"},
    {"antennas.atx", "   G01                                                      START OF FREQ",
     "   X01                                                      START OF FREQ", false, "ERROR: unknown kconst"},
    {"antennas.atx", "     0.0  17.0   1.0                                        ZEN1 / ZEN2 / DZEN  \n", "", false,
     "ERROR: NORTH / EAST / UP before ZEN1 / ZEN2 / DZEN"},
    {"antennas.atx", "   G01                                                      START OF FREQUENCY  \n", "", false,
     "ERROR: NORTH / EAST / UP outside an antenna frequency block"},
    {"antennas.atx", "    279.00", "    2x9.00", false, "ERROR reading ANTEX file"},
    {"voxel_centers.txt", "", nullptr, false, "ERROR: opening centersfile file "},
    {"voxel_centers.txt", "", "450.0 10.0 40.0 1 1 1 0.0 0.0\n450.0 x 40.0 1 1 1 0.0 0.0\n", false,
     "ERROR: reading input centersfile file"},
    {"voxel_centers.txt", "", "450.0 10.0 40.0 141 1 1 0.0 0.0\n", false, "ERROR: increase maxi"},
    {"voxel_centers.txt", "", "450.0 10.0 40.0 1 92 1 0.0 0.0\n", false, "ERROR: increase maxj"},
    {"voxel_centers.txt", "", "450.0 10.0 40.0 1 1 5 0.0 0.0\n", false, "ERROR: increase maxk"},
    {"voxel_centers.txt", "", "450.0 10.0 40.0 0 1 1 0.0 0.0\n", false,
     "ERROR: voxel centre grid index below 1 in centersfile file"},
    {"voxel_centers.txt", "", "\n", false, "ERROR: no voxel centres in centersfile file"},
    {"solar_flux.txt", "", "2002 30 x 190.0\n", false, "ERROR: reading sfluxfile"},
    {"orbits.s3c", "", "S3C 1 02 01 30 0 0 0.0 1 2 3 4 0 0 0 0 0 0\nS3C 1 02 01 30 0 10 0.0 1 2 3 4 0 0 0 0 0 0\n", false,
     " ERROR: sp3 time interval inconsistency"},
    {"refsat.02-01-30", "", "0 10800 x\n", true, "ERROR reading file_refsat"},
    {"ddf.02-01-30.sum", "", "0 100 1 BELL x\n", true, "ERROR reading file_ddf"},
    {"sta2roversp3.txt", "", "BELL\n", true, "ERROR @ read_s3c: reading irover_sp3_leo_id"},
};

// The ANTEX file with the antenna whose TYPE line holds `type` given n times more (a table limit).
std::string antex_with_more(const std::string& atx, int n, const std::string& type) {
    const std::string start = "                                                            START OF ANTENNA    \n";
    const auto a = atx.rfind(start, atx.find(type));
    const auto b = atx.find("END OF ANTENNA      \n", a) + 21;
    std::string more;
    for (int i = 0; i < n; ++i) more += atx.substr(a, b - a);
    return atx.substr(0, b) + more + atx.substr(b);
}

void expect_stop(const Workdir& w, const std::string& input, const std::string& stop, const std::string& what) {
    const Workdir::Result r = w.run(input);
    EXPECT_EQ(r.status, 0) << what;
    EXPECT_EQ(r.err, stop + "\n") << what;
    for (const std::string* t : {&r.out, &r.log}) EXPECT_TRUE(t->empty() || t->back() == '\n') << what;
}

TEST(Stops, EveryReachableStopEndsTheRunCleanly) {
    std::string metadata, ob1;
    for (const auto& l : lines_of(Workdir::example("messages.txt")))
        if (l.rfind("OB1 ", 0) != 0) metadata += l + "\n";
        else if (ob1.empty()) ob1 = l + "\n";
    // Precise orbits and the voxel model on: their files are read too. The solar flux is read at start-up
    // for the a priori ionosphere.
    std::string cfg = Workdir::example("quelmar_v2.2.0.nml");
    cfg = replaced(cfg, "precise_instead_of_eph_orbits = .false.", "precise_instead_of_eph_orbits = .true.");
    cfg = replaced(cfg, "estimate_iono_model = .false.", "estimate_iono_model = .true.");
    cfg = replaced(cfg, "antexusage     = .false.", "antexusage     = .true.");
    const std::string cfg_iono = replaced(cfg, "model_apriori_iono = .false.", "model_apriori_iono = .true.");
    const auto prepare = [&](const Workdir& w, const std::string& config) {
        w.put_example(config);
        w.write("orbits.s3c", "S3C 1 02 01 30 0 0 0.0 1 2 3 4 0 0 0 0 0 0\n");
        w.write("rover.s3c", "S3C 1 02 01 30 0 0 0.0 1 2 3 4 0 0 0 0 0 0\n");
        w.write("solar_flux.txt", "2002 30 110.0 190.0\n");
        w.write("voxel_centers.txt", "450.0 10.0 40.0 1 1 1 0.0 0.0\n");
    };
    for (const Row& row : rows) {
        Workdir w;
        prepare(w, std::string(row.file) == "solar_flux.txt" ? cfg_iono : cfg);
        if (row.to == nullptr)
            fs::remove(w.path() / row.file);
        else
            w.write(row.file, *row.from != '\0' ? replaced(w.read(row.file), row.from, row.to) : row.to);
        expect_stop(w, row.observe ? metadata + ob1 : "", row.stop, std::string(row.file) + " " + row.stop);
    }
    // Limits of the antenna tables: more antennas than the table holds, more vehicles for one PRN.
    for (const auto& [n, type, stop] : {std::tuple{900, "TRM29659.00", "ERROR: kant.gt.maxant"},
                                        std::tuple{20, "G01", "ERROR: ksv(iconst,iprn).gt.maxksv_per_prn"}}) {
        Workdir w;
        prepare(w, cfg);
        w.write("antennas.atx", antex_with_more(w.read("antennas.atx"), n, type));
        expect_stop(w, "", stop, stop);
    }
    // A model this version does not hold, the files of the one it holds missing; the marker file
    // turned into a directory.
    Workdir w;
    prepare(w, replaced(cfg_iono, "apriori_iono_model_name = 'N'", "apriori_iono_model_name = 'i'"));
    expect_stop(w, metadata + ob1,
                "ERROR: apriori_iono_model_name = 'i' needs the IRI-2007 model, which is not available in this "
                "version: use 'n' (NeQuick)",
                "iri");
    prepare(w, replaced(cfg_iono, "apriori_iono_model_name = 'N'", "apriori_iono_model_name = 'n'"));
    expect_stop(w, metadata + ob1, "ERROR: NeQuick: cannot open iono_data/DIPLATS.ASC (nor iono_data/diplats.asc)",
                "nequick");
    prepare(w, cfg);
    fs::create_directory(w.path() / "quelmar_v2.2.0.rover.log");
    EXPECT_EQ(w.run("", "rover").err, "ERROR: opening log file quelmar_v2.2.0.rover.log\n");
    w.write("feed.sh", "echo KLO; sleep 0.5; rm -f quelmar-flush; mkdir quelmar-flush; echo KLO\n");
    const Ran r = shell(w, "sh feed.sh | " + shq(QUELMAR_BINARY));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "ERROR: cannot write the marker file quelmar-flush\n");
}

} // namespace
