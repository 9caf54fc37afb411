// The auxiliary-file readers: each on a small well-formed file whose every value is known (small.pcv
// and small.atx beside this file, the others written here), then one table of damaged and missing
// files for all of them with the status, stop and log line each must give.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <cstring>
#include <functional>
#include <map>
#include <optional>

#include "auxfiles/antex.hpp"
#include "auxfiles/constellation_status.hpp"
#include "auxfiles/pcv.hpp"
#include "auxfiles/precise_orbits.hpp"
#include "auxfiles/role_lists.hpp"
#include "frame/stop.hpp"
#include "support/support.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;
using namespace quelmar::test;

namespace {

std::string here(const std::string& name) {
    return (fs::path(QUELMAR_SOURCE_DIR) / "tests/auxfiles" / name).string();
}

// Records of PRN 3 every 15 min over 2008-05-27: x = 15000 + k km, y = -k/1000 km, z = 20000.000001 km,
// clock k + 0.25 microseconds; the formal errors 0.01 .. 0.04 (km, microseconds).
std::string s3c_day() {
    std::string s;
    for (int k = 0; k < 96; ++k) {
        char b[160];
        std::snprintf(b, sizeof b, "S3C  3 08  5 27 %2d %2d %7.4f %d.000000 %.6f 20000.000001 %d.250000 0 0 0.01 0.02 0.03 0.04\n",
                      k / 4, k % 4 * 15, 0.0, 15000 + k, -k / 1000.0, k);
        s += b;
    }
    return s;
}

} // namespace

// Names with the radome in columns 17-20; offsets (north, east, up) read as three 10-column fields; the
// 19 nodes of each frequency in file order.
TEST(AuxFiles, PhaseCentreTable) {
    CapturedLog cap;
    PcvTable pcv;
    ASSERT_EQ(read_pcv(here("small.pcv"), pcv, cap.log), 0);
    ASSERT_EQ(pcv.nant, 2);
    EXPECT_EQ(pcv.ant_type_(2), "TRM29659.00     NONE");
    EXPECT_DOUBLE_EQ(pcv.phase_center_offset_(1, 1, 1), 1.1);
    EXPECT_DOUBLE_EQ(pcv.phase_center_offset_(2, 2, 1), -2.2);
    EXPECT_DOUBLE_EQ(pcv.phase_center_offset_(2, 3, 2), 250.3);
    for (int n = 1; n <= 19; ++n) EXPECT_NEAR(pcv.phase_center_elev_(2, n, 2), 7 + 0.1 * n, 1e-12) << n;
    EXPECT_EQ(pcv.phase_center_offset_(3, 1, 1), 0.0);
}

// A GPS and a GLONASS satellite antenna and a receiver antenna with GPS L1, L2 and Galileo E1 patterns
// on a 0..10 deg zenith grid in 5 deg steps (three nodes) and 180 deg in azimuth (rows 0, 180, 360).
TEST(AuxFiles, Antex) {
    CapturedLog cap;
    AntexTables atx;
    frame::TextSink out;
    ASSERT_EQ(read_antex_v2b(here("small.atx"), atx, cap.log, out), 0);
    // Satellites: PRN -> vehicle and block, validity (MJD), the pattern under the vehicle number.
    ASSERT_EQ(atx.iatx_ksv(1, 1), 1);
    EXPECT_EQ(atx.iatx_prn2svblock(1, 1, 1, 1), 32);
    EXPECT_EQ(atx.iatx_prn2svblock(1, 1, 1, 2), iblock_gps_iia);
    EXPECT_EQ(atx.atx_tdjm(1, 1, 1, 1), mjd_of(1992, 11, 22));
    EXPECT_NEAR(atx.atx_tdjm(1, 1, 1, 2), mjd_of(2008, 10, 17), 1e-9);
    EXPECT_EQ(atx.atx_pco_neu(1, 1, 1, 32, 3), 2319.5);
    EXPECT_EQ(atx.atx_pcv_noazi(1, 1, 1, 32, 3), 0.3);
    ASSERT_EQ(atx.iatx_ksv(2, 7), 1);
    EXPECT_EQ(atx.iatx_prn2svblock(2, 7, 1, 2), iblock_glonass_m);
    EXPECT_EQ(atx.atx_pco_neu(1, 2, 1, 712, 1), -545.0);
    EXPECT_EQ(atx.atx_pcv_noazi(1, 2, 1, 712, 2), 2.5);
    // Receiver antenna 1: each constellation and frequency in its place.
    ASSERT_EQ(atx.iatx_nant(), 1);
    EXPECT_EQ(atx.receiver_antenna_index("TRM29659.00     NONE"), 1);
    EXPECT_EQ(atx.atx_pco_neu(2, 1, 2, 1, 3), 120.73);
    EXPECT_EQ(atx.atx_pco_neu(2, 3, 1, 1, 1), 0.81);
    EXPECT_EQ(atx.atx_pcv_noazi(2, 1, 1, 1, 3), -2.22);
    EXPECT_EQ(atx.atx_pcv_azi(2, 1, 2, 1, 3, 2), 8.0);
    EXPECT_EQ(atx.atx_pcv_azi(2, 3, 1, 1, 2, 3), 9.0);
    EXPECT_EQ(atx.atx_azi(2, 3, 1, 1, 2), 180.0);
    EXPECT_EQ(atx.atx_pcv_noazi(2, 2, 1, 1, 1), 0.0); // no GLONASS pattern for it
    EXPECT_EQ(atx.atx_pc__info(2, 3, 1, 3), 5.0);
    EXPECT_EQ(atx.iatx_pc__info(2, 3, 1, 2), 3);
}

// Positions km -> m and clocks microseconds -> s; each record in the slot of its whole second since the
// first epoch, although the record epochs (formed in 64 bits) fall a little below or above it.
TEST(AuxFiles, PreciseOrbits) {
    TempDir dir;
    CapturedLog cap;
    PreciseOrbitTable t;
    ASSERT_EQ(read_s3e(dir.write("day.s3c", s3c_day()), 900, t, 1.0, true, true, cap.log), 0);
    EXPECT_EQ(t.nepochs3c, 96);
    EXPECT_TRUE(t.tdjms3c_0 == float128(mjd_of(2008, 5, 27)));
    EXPECT_EQ(t.size(), 96u);
    for (int k = 0; k < 96; ++k) {
        const int slot = 900 * k + 1;
        ASSERT_TRUE(t.valid(3, slot)) << k;
        EXPECT_TRUE(t.value(3, slot, 1) == float128(15000 + k) * 1000) << k;
        EXPECT_NEAR(static_cast<double>(t.value(3, slot, 2)), -k, 1e-9);
        EXPECT_NEAR(static_cast<double>(t.value(3, slot, 3)), 20000000.001, 1e-9);
        EXPECT_NEAR(static_cast<double>(t.value(3, slot, 4)), (k + 0.25) * 1e-6, 1e-18) << k;
        EXPECT_NEAR(static_cast<double>(t.value(3, slot, 9)), 0.04e-6, 1e-20);
        EXPECT_NEAR(static_cast<double>((t.value(3, slot, comp_epoch) - t.tdjms3c_0) * 86400), 900.0 * k, 1e-6);
    }
}

// Role lists one name per record, the reference receiver, and the antenna offsets (along-track,
// cross-track, radial) of the low-orbit rovers that have a trajectory file.
// A refresh of an orbit file unchanged since its last read gives the same table and the same log lines
// without reading it again; a changed file is read again.
TEST(AuxFiles, RefreshReadsOnlyAChangedOrbitFile) {
    TempDir dir;
    CapturedLog cap;
    frame::Config cfg;
    cfg.precise_instead_of_eph_orbits = cfg.interpolated_precise_satclocks_instead_of_broadcast = true;
    cfg.s3cfile = dir.write("day.s3c", s3c_day());
    cfg.iexpected_dtsec_sp3cfiles = 900;
    cfg.dtsec2tol_s3c = 1.0;
    PreciseOrbitTable sat, rover;
    RoverStationList stations;
    bool clocks = false;
    load_precise_orbits(cfg, sat, rover, stations, clocks, 54613.9Q, cap.log);
    const std::string first = cap.text();
    for (int i = 0; i < 3; ++i) refresh_precise_orbits(cfg, sat, true, 54613.9Q, cap.log);
    EXPECT_EQ(sat.last_read.reads, 1);
    EXPECT_EQ(sat.size(), 96u);
    const std::string all = cap.text();
    const std::string one = all.substr(first.size(), (all.size() - first.size()) / 3);
    EXPECT_EQ(all.substr(first.size()), one + one + one);
    std::ofstream(cfg.s3cfile, std::ios::app) << "S3C  3 08  5 28  0  0  0.0 1 2 3 4 0 0 0 0 0 0\n";
    refresh_precise_orbits(cfg, sat, true, 54613.9Q, cap.log);
    EXPECT_EQ(sat.last_read.reads, 2);
    EXPECT_EQ(sat.size(), 97u);
}

TEST(AuxFiles, RoleListsAndLowOrbitOffsets) {
    TempDir dir;
    CapturedLog cap;
    StationNames names;
    int n = 0, ierr = -9;
    read_to_estimate_xyz(names, n, dir.write("est.sta", "ACOR\n\n'MADR'\nSCOAX\n"), ierr, cap.log);
    EXPECT_EQ(ierr, 0);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(names(2), "MADR");
    EXPECT_EQ(names(3), "SCOA");
    std::string refrec;
    read_reference_rec(refrec, dir.write("ref.sta", "EBRE BELL\n"), ierr, cap.log);
    EXPECT_EQ(refrec, "EBRE");
    const std::vector<std::string> rovers = {"GRCA", "CHMP"};
    LeoOffsets off;
    read_leocm2pc(dir.write("leo.txt", "CHMP 0.1 -0.2 0.3\nACOR 1 2 3\nGRCA -1.5 2.5 -3.5\n"), rovers, 2, names, n,
                  off, ierr, cap.log);
    EXPECT_EQ(ierr, 0);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(names(1), "CHMP");
    EXPECT_EQ(off(1, 1), 0.1);
    EXPECT_EQ(off(1, 3), 0.3);
    EXPECT_EQ(off(2, 2), 2.5);
    EXPECT_TRUE(cap.text().find("ACOR  (cm2pc) NOT found") != std::string::npos) << cap.text();
}

// Flux and sunspot number per year and day (day 366 of one year and day 1 of the next are two days);
// voxel centres with their cell, Cartesian position on the sphere of 6371 km, and the layer width.
TEST(AuxFiles, SolarFluxAndVoxelCentres) {
    TempDir dir;
    CapturedLog cap;
    SolarFluxTable flux;
    int ierr = -9;
    read_sfluxfile_v2(dir.write("flux.txt", "1999 366 120.0 150.5\n2000 1 130 160.5\n2000 1 131 161.5\n"), flux, ierr,
                      cap.log);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(flux.sflux(1999, 366), 150.5);
    EXPECT_EQ(flux.ssn(2000, 1), 131.0); // the later record of a day wins
    EXPECT_EQ(flux.sflux(2000, 2), -999.0);
    VoxelGrid grid;
    read_iono_voxel_centers(dir.write("voxels.txt", "100 0 90 1 1 1 0 0\n500 90 0 2 3 4 5.5 6.5\n"), 100, 900, grid,
                            ierr, cap.log);
    ASSERT_EQ(grid.ncenp, 2);
    EXPECT_EQ(grid.ijk2nc(2, 3, 4), 2);
    EXPECT_EQ(grid.ijk2nc(1, 1, 2), no_centre);
    EXPECT_NEAR(grid.xc(1, 3), 6471.0, 1e-9);
    EXPECT_NEAR(grid.xc(2, 2), 6871.0, 1e-9);
    EXPECT_EQ(grid.snep(2), 6.5);
    EXPECT_EQ(grid.xlayer_width, 200.0);
}

using Reader = std::function<int(const std::string&, frame::Log&)>;

// Every reader on a malformed line, a file cut short, a value outside its table and a missing file.
TEST(AuxFiles, DamagedAndMissingFiles) {
    const std::map<std::string, Reader> readers = {
        {"pcv", [](const std::string& f, frame::Log& l) { PcvTable t; return read_pcv(f, t, l); }},
        {"antex", [](const std::string& f, frame::Log& l) { AntexTables t; frame::TextSink o; return read_antex_v2b(f, t, l, o); }},
        {"s3c", [](const std::string& f, frame::Log& l) { PreciseOrbitTable t; return read_s3e(f, 900, t, 1.0, true, true, l); }},
        {"gcs", [](const std::string& f, frame::Log& l) { ConstellationStatus t; int e = 0; read_gcs(f, t, e, l); return e; }},
        {"list", [](const std::string& f, frame::Log& l) { StationNames s; int n = 0, e = 0; read_rover_like(s, n, f, e, l); return e; }},
        {"refrec", [](const std::string& f, frame::Log& l) { std::string r; int e = 0; read_reference_rec(r, f, e, l); return e; }},
        {"leo", [](const std::string& f, frame::Log& l) {
             StationNames s; LeoOffsets o; int n = 0, e = 0;
             read_leocm2pc(f, std::vector<std::string>{"GRCA"}, 1, s, n, o, e, l); return e; }},
        {"flux", [](const std::string& f, frame::Log& l) { SolarFluxTable t; int e = 0; read_sfluxfile_v2(f, t, e, l); return e; }},
        {"voxel", [](const std::string& f, frame::Log& l) { VoxelGrid g; int e = 0; read_iono_voxel_centers(f, 0, 1, g, e, l); return e; }},
    };
    const std::string pcv = read_file(here("small.pcv")), atx = read_file(here("small.atx")), s3c = s3c_day();
    const std::string atx_zen = "     0.0  10.0   5.0";
    struct Case {
        const char* reader;
        std::optional<std::string> text; // none: the file does not exist
        int status;                      // -99: the run stops
        const char* stop;
        const char* log; // a line the log must hold
    } cases[] = {
        {"pcv", replaced(pcv, "      51.1", "      5x.1"), 2, "", " ERROR: reading input igspcvfile"},
        {"pcv", pcv.substr(0, pcv.rfind("      52.1")), 2, "", " ERROR: reading input igspcvfile"},
        {"pcv", std::nullopt, 1, "", " ERROR: opening igspcvfile file: "},
        {"antex", replaced(atx, "    279.00", "    279.0x"), -99, "ERROR reading ANTEX file", ""},
        {"antex", atx.substr(0, atx.find("   G02")), 0, "", ""},
        {"antex", replaced(atx, atx_zen, "     0.0  90.0   1.0"), -99, "ERROR: nzen.gt.maxzen", " ERROR: nzen.gt.maxzen"},
        {"antex", std::nullopt, -99, "ERROR opening ANTEX file", ""},
        {"s3c", replaced(s3c, "15001.000000", "15001.0x0000"), 2, "", " ERROR: reading input sp3file"},
        {"s3c", s3c.substr(0, s3c.size() - 30), 0, "", ""},
        {"s3c", s3c + "S3C  3 08  5 27 12  0  0.0000 1 2 3 4 0 0 0 0 0 0\n", 2, "", " ERROR: reading input sp3file"},
        {"s3c", std::nullopt, 3, "", ""},
        {"gcs", " 1 89 11 26 10 05 07 2 x32\n", 2, "", " ERROR: reading gpsconsstatus.lst "},
        {"gcs", " 1 89 11 26 10 05 07 2", 0, "", ""}, // a record cut short by the end reads as the end
        {"gcs", " 36 89 11 26 10 05 07 2 32\n 1 89 13 26 10 05 07 2 32\n", 3, "", ""},
        {"gcs", std::nullopt, 1, "", " ERROR: opening gpsconsstatus.lst "},
        {"list", "A1\nA2\nA3\nA4\nA5\nA6\nA7\n", -99, "", ""},
        {"list", std::nullopt, 1, "", ""},
        {"refrec", "", -1, "", " WARNING: no ref. rec. at reference_receiver.sta file"},
        {"refrec", std::nullopt, 1, "", " ERROR: opening reference_receiver.sta file: "},
        {"leo", "GRCA 1 x 3\n", 2, "", ""},
        {"leo", "GRCA 1 2", 0, "", ""},
        {"leo", std::nullopt, 1, "", ""},
        {"flux", "2000 1 x 3\n", -99, "ERROR: reading sfluxfile", " ERROR: reading sfluxfile"},
        {"flux", "1961 365 1 2\n", -99, "ERROR: iyear or idoy out or range in sfluxfile", ""},
        {"flux", "2000 367 1 2\n", -99, "ERROR: iyear or idoy out or range in sfluxfile", ""},
        {"flux", std::nullopt, -99, "ERROR: opening sfluxfile ", ""},
        {"voxel", "100 0 90 1 1 5 0 0\n", -99, "ERROR: increase maxk", ""},
        {"voxel", "100 0 90 1 1", -99, "ERROR: no voxel centres in centersfile file", ""},
        {"voxel", "", -99, "ERROR: no voxel centres in centersfile file", ""},
        {"voxel", std::nullopt, -99, "ERROR: opening centersfile file ", ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        CapturedLog cap;
        const std::string file = c.text ? dir.write("file", *c.text) : dir.path("missing");
        int status = -99;
        std::string stop;
        try {
            status = readers.at(c.reader)(file, cap.log);
        } catch (const frame::Stop& s) {
            stop = s.message();
        }
        const std::string what = std::string(c.reader) + ": " + (c.text ? c.text->substr(0, 40) : "missing");
        EXPECT_EQ(status, c.status) << what;
        if (c.status == -99) {
            EXPECT_EQ(stop.substr(0, std::strlen(c.stop)), c.stop) << what;
        }
        if (*c.log) {
            EXPECT_NE(cap.text().find(c.log), std::string::npos) << what << "\n" << cap.text();
        }
    }
}
