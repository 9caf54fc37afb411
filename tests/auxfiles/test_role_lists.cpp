// Station role lists, reference receiver, low-orbit offsets and the start-up step that loads them with
// the flux table and the voxel centres.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "auxfiles/role_lists.hpp"
#include "frame/config.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;
namespace fs = std::filesystem;
using namespace quelmar::testing_support;

namespace {

// Each test works in its own directory with its own log.
class RoleLists : public ScratchFixture {
  protected:
    // The configuration's form of a file name: 132 characters, blank-padded.
    std::string name(const std::string& file) const { return config_name(dir_.path(file)); }
    std::string put(const std::string& file, const std::string& text) const {
        return config_name(dir_.write(file, text));
    }
};

using ListReaderFn = void (*)(StationNames&, int&, const std::string&, int&, frame::Log&);

struct ListKind {
    const char* what;
    ListReaderFn read;
    const char* open_line; // the log line of a file that cannot be opened (the name appended when `named`)
    bool named;
    const char* read_line;
};

const ListKind list_kinds[] = {
    {"to_estimate_xyz", read_to_estimate_xyz, " ERROR: opening to_estimate_position.sta file ", false,
     " ERROR: reading input to_estimate_position.sta file"},
    {"rover_like", read_rover_like, " ERROR: opening rover_like.sta file: ", false,
     " ERROR: reading rover_like.sta file"},
    {"rover_rt", read_rover_rt, " ERROR: opening rover_like.rt file: ", false,
     " ERROR: reading rover_like.rt file"},
    {"fixing_amb", read_fixing_ambiguities, " ERROR: opening file: ", true,
     " ERROR: reading fixing_ambiguities.sta file"},
};

TEST_F(RoleLists, EveryListReadsOneNamePerRecordInFreeForm) {
    const struct {
        const char* text;
        std::vector<std::string> names;
    } cases[] = {
        {"", {}},
        {"ACOR\nMADR\n", {"ACOR", "MADR"}},
        {"  acor  \n\n\nMADR", {"acor", "MADR"}},     // blank records skipped, no final newline
        {"ACORXX\nAB\n", {"ACOR", "AB  "}},           // four characters kept, short names padded
        {"ACOR MADR\nSCOA,SFER\n", {"ACOR", "SCOA"}}, // the rest of a record is not read
        {"'A C'\n\"EB\"\n", {"A C ", "EB  "}},        // quoted names
        {"ACOR\r\nMADR\r\n", {"ACOR", "MADR"}},       // CRLF line ends
        {"S1\nS2\nS3\nS4\nS5\nS6\n", {"S1  ", "S2  ", "S3  ", "S4  ", "S5  ", "S6  "}}, // exactly maxrec
    };
    for (const auto& kind : list_kinds) {
        for (const auto& c : cases) {
            const std::string f = put("list.sta", c.text);
            StationNames l;
            int n = -1, ierr = -1;
            kind.read(l, n, f, ierr, log_);
            SCOPED_TRACE(std::string(kind.what) + " on [" + c.text + "]");
            EXPECT_EQ(ierr, 0);
            ASSERT_EQ(n, static_cast<int>(c.names.size()));
            for (int i = 1; i <= n; ++i) EXPECT_EQ(l(i), c.names[static_cast<std::size_t>(i - 1)]);
            for (int i = n + 1; i <= maxrec; ++i) EXPECT_EQ(l(i), "    ");
        }
    }
    EXPECT_EQ(captured_.text(), "");
}

TEST_F(RoleLists, OpenAndReadFailuresGiveTheirStatusAndLine) {
    for (const auto& kind : list_kinds) {
        SCOPED_TRACE(kind.what);
        // Missing file, a directory and a blank name cannot be opened.
        for (const std::string& f : {name("missing.sta"), name(""), std::string(132, ' ')}) {
            StationNames l;
            int n = -1, ierr = -1;
            kind.read(l, n, f, ierr, log_);
            EXPECT_EQ(ierr, 1);
            EXPECT_EQ(n, 0);
            std::string expected = kind.open_line;
            if (kind.named) expected += " " + frame::trimmed(f);
            const auto lines = captured_.lines();
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), expected);
        }
        // A bad record: the names before it stay, the count says how many.
        const std::string f = put("bad.sta", "ACOR\nMADR\n0*SCOA\nSFER\n");
        StationNames l;
        int n = -1, ierr = -1;
        kind.read(l, n, f, ierr, log_);
        EXPECT_EQ(ierr, 2);
        EXPECT_EQ(n, 2);
        EXPECT_EQ(l(2), "MADR");
        EXPECT_EQ(captured_.lines().back(), kind.read_line);
    }
}

TEST_F(RoleLists, ASeventhNameStopsTheRun) {
    for (const auto& kind : list_kinds) {
        SCOPED_TRACE(kind.what);
        const std::string f = put("long.sta", "S1\nS2\nS3\nS4\nS5\nS6\nS7\n");
        StationNames l;
        int n = 0, ierr = 0;
        try {
            kind.read(l, n, f, ierr, log_);
            ADD_FAILURE() << "no stop";
        } catch (const frame::Stop& s) {
            EXPECT_EQ(s.message(), "ERROR: more than 6 station names in file: " + dir_.path("long.sta"));
        }
        EXPECT_EQ(n, 6);
        EXPECT_EQ(captured_.lines().back(),
                  " ERROR: more than 6 station names in file:  " + dir_.path("long.sta"));
    }
}

TEST_F(RoleLists, ReferenceReceiver) {
    const struct {
        const char* text; // nullptr: no file
        int status;
        std::string refrec;
        const char* line; // last log line, nullptr for none
    } cases[] = {
        {"ACOR\n", 0, "ACOR", nullptr},
        {"ACOR\nMADR\n", 0, "ACOR", nullptr},
        {"\n  EBRE99 trailing\n", 0, "EBRE", nullptr},
        {"", -1, "    ", " WARNING: no ref. rec. at reference_receiver.sta file"},
        {"\n\n   \n", -1, "    ", " WARNING: no ref. rec. at reference_receiver.sta file"},
        {"0*ACOR\n", 2, "    ", " ERROR: reading input reference_receiver.sta file"},
        {nullptr, 1, "    ", " ERROR: opening reference_receiver.sta file: "},
    };
    for (const auto& c : cases) {
        fs::remove(dir_.path("ref.sta"));
        const std::string f = c.text ? put("ref.sta", c.text) : name("ref.sta");
        std::string refrec = "XXXX";
        int ierr = 99;
        read_reference_rec(refrec, f, ierr, log_);
        SCOPED_TRACE(c.text ? c.text : "(no file)");
        EXPECT_EQ(ierr, c.status);
        EXPECT_EQ(refrec, c.refrec);
        const auto lines = captured_.lines();
        if (c.line) {
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), c.line);
        }
    }
    EXPECT_EQ(captured_.lines().size(), 4u); // one line for each failing case
}

TEST_F(RoleLists, LowOrbitOffsetsKeepOnlyRoverStations) {
    const std::vector<std::string> rovers = {"GRCA", "GRCB", "CHMP", "GRCA"};
    const std::string f = put("leo.txt", "GRCA 0.1 -0.2 0.3\n"
                                         "ACOR 1.0 2.0 3.0\n"
                                         "CHMP, -1.5, 0, 2.25\n"
                                         "GRCB\n 4.0 5.0\n 6.0\n" // one record may span several lines
                                         "JSN1 0 0 0\n");
    StationNames names;
    LeoOffsets x;
    x.fill(7.0);
    int n = -1, ierr = -1;
    read_leocm2pc(f, rovers, 4, names, n, x, ierr, log_);
    EXPECT_EQ(ierr, 0);
    ASSERT_EQ(n, 3);
    const struct {
        const char* name;
        double x, y, z;
    } expect[] = {{"GRCA", 0.1, -0.2, 0.3}, {"CHMP", -1.5, 0.0, 2.25}, {"GRCB", 4.0, 5.0, 6.0}};
    for (int i = 1; i <= 3; ++i) {
        const auto& e = expect[i - 1];
        EXPECT_EQ(names(i), e.name);
        EXPECT_EQ(x(i, 1), e.x);
        EXPECT_EQ(x(i, 2), e.y);
        EXPECT_EQ(x(i, 3), e.z);
    }
    for (int i = 4; i <= maxrec; ++i) {
        EXPECT_EQ(names(i), "    ");
        for (int k = 1; k <= 3; ++k) EXPECT_EQ(x(i, k), 0.0); // cleared, not left as they were
    }
    EXPECT_EQ(captured_.lines(),
              (std::vector<std::string>{" WARNING: LEO  ACOR  (cm2pc) NOT found in rover_sp3.sta",
                                        " WARNING: LEO  JSN1  (cm2pc) NOT found in rover_sp3.sta"}));
}

TEST_F(RoleLists, LowOrbitOffsetsUseOnlyTheCountedRovers) {
    const std::vector<std::string> rovers = {"GRCA", "GRCB"};
    const std::string f = put("leo.txt", "GRCA 1 2 3\nGRCB 4 5 6\n");
    StationNames names;
    LeoOffsets x;
    int n = -1, ierr = -1;
    read_leocm2pc(f, rovers, 1, names, n, x, ierr, log_); // only GRCA is a rover
    EXPECT_EQ(n, 1);
    EXPECT_EQ(captured_.lines().back(), " WARNING: LEO  GRCB  (cm2pc) NOT found in rover_sp3.sta");
    read_leocm2pc(f, rovers, 99, names, n, x, ierr, log_); // a count beyond the list is the whole list
    EXPECT_EQ(n, 2);
    read_leocm2pc(f, {}, 0, names, n, x, ierr, log_);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(ierr, 0);
}

TEST_F(RoleLists, LowOrbitOffsetFailures) {
    const std::vector<std::string> rovers = {"GRCA", "GRCB"};
    StationNames names;
    LeoOffsets x;
    int n = -1, ierr = -1;

    read_leocm2pc(name("none.txt"), rovers, 2, names, n, x, ierr, log_);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(captured_.lines().back(), " ERROR: opening leocm2pcfile file:  " + dir_.path("none.txt"));

    std::string f = put("bad.txt", "GRCA 1 2 3\nGRCB 1 x 3\nGRCB 1 2 3\n");
    read_leocm2pc(f, rovers, 2, names, n, x, ierr, log_);
    EXPECT_EQ(ierr, 2);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(captured_.lines().back(), " ERROR: reading input leocm2pcfile:  " + dir_.path("bad.txt"));

    // A record cut short by the end of the file is not a record.
    f = put("short.txt", "GRCA 1 2 3\nGRCB 1 2\n");
    read_leocm2pc(f, rovers, 2, names, n, x, ierr, log_);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(n, 1);

    // Seven accepted records cannot be held.
    f = put("many.txt",
            "GRCA 1 2 3\nGRCA 1 2 3\nGRCA 1 2 3\nGRCA 1 2 3\nGRCA 1 2 3\nGRCA 1 2 3\nGRCA 1 2 3\n");
    EXPECT_THROW(read_leocm2pc(f, rovers, 2, names, n, x, ierr, log_), frame::Stop);
    EXPECT_EQ(n, 6);
}

// Every reader of this family on malformed files: a status or a stop, never a crash or a read beyond
// the tables (the sanitizer build checks the latter).
TEST_F(RoleLists, MalformedFilesGiveAStatusOrAStop) {
    std::string binary;
    for (int i = 0; i < 4000; ++i) binary.push_back(static_cast<char>((i * 7919 + 13) % 256));
    const std::string inputs[] = {
        binary,
        std::string(100000, 'A') + "\n",
        std::string("ACOR\0MADR\n", 10),
        "'unterminated\n",
        "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20\n",
        ",,,,,,,,,\n/\n",
        "-1 -1 -1 -1 -1 -1 -1 -1 -1\n",
        "2147483647 2147483647 1e308 -1e308 2147483647 2147483647 2147483647 1 1\n",
        "3*1 2*\n",
    };
    const std::vector<std::string> rovers = {"ACOR", "1   ", "-1  "};
    int stops = 0;
    for (const std::string& text : inputs) {
        const std::string f = put("bad.txt", text);
        StationNames l, leo;
        LeoOffsets x;
        std::string refrec;
        int n = 0, ierr = 0;
        // Every reader ends with a status, or with a stop for a file longer than its table.
        auto guarded = [&](auto&& read) {
            try {
                read();
            } catch (const frame::Stop&) {
                ++stops;
            }
        };
        for (const auto& kind : list_kinds) {
            guarded([&] { kind.read(l, n, f, ierr, log_); });
            EXPECT_TRUE(ierr == 0 || ierr == 2);
            EXPECT_LE(n, maxrec);
        }
        read_reference_rec(refrec, f, ierr, log_);
        EXPECT_EQ(refrec.size(), 4u);
        guarded([&] { read_leocm2pc(f, rovers, 3, leo, n, x, ierr, log_); });
        EXPECT_LE(n, maxrec);
        SolarFluxTable flux;
        VoxelGrid grid;
        guarded([&] { read_sfluxfile_v2(f, flux, ierr, log_); });
        guarded([&] { read_iono_voxel_centers(f, 100, 500, grid, ierr, log_); });
        EXPECT_LE(grid.ncenp, maxcen);
    }
    EXPECT_GT(stops, 0);
}

// The whole start-up step on a complete set of files.
class AuxStartUp : public RoleLists {
  protected:
    frame::Config cfg() {
        frame::Config c;
        c.leocm2pcfile = put("leo.txt", "GRCA 0.5 0 -1.25\n");
        c.sta2estposfile = put("est.sta", "ACOR\nMADR\n");
        c.sta2roverlikefile = put("like.sta", "SCOA\n");
        c.sta2roverrtfile = put("rt.sta", "");
        c.sta2fixingambfile = put("fix.sta", "SFER\nACOR\n");
        c.centersfile = put("centers.txt", "300 10 20 1 1 1 0 0\n400 10 20 1 1 2 0 0\n");
        c.sfluxfile = put("flux.txt", "2008 148 12.0 67.9\n");
        c.sta2refrecfile = put("ref.sta", "MADR\n");
        c.hmin = 200;
        c.hmax = 600;
        c.estimate_iono_model = true;
        c.model_apriori_iono = true;
        return c;
    }
    const std::vector<std::string> rovers = {"GRCA"};
};

TEST_F(AuxStartUp, LogsEveryStepInOrder) {
    AuxTables aux;
    load_role_lists_and_tables(cfg(), rovers, 1, aux, log_);
    const auto lines = captured_.lines();
    const std::size_t nflux = static_cast<std::size_t>(iyearmax_sflux - iyearmin_sflux + 1) * ndoy_sflux;
    ASSERT_EQ(lines.size(), 23 + nflux);
    const std::vector<std::string> head = {
        " nrec_rover_sp3_leo_sta=  1",
        " ",
        " Lc:ilc2p,reclst_rover_sp3_leo_sta,xleocm2pc_offset_= 1 GRCA 0.5 0.0 -1.25",
        " ",
        " ",
        "  READ list of stations to estimate XYZ, #= 2",
        " ACOR",
        " MADR",
        " ",
        "  READ list of stations rover-like #= 1",
        " SCOA",
        " ",
        "  READ list of stations rover-rt #= 0",
        " ",
        "  READ list of stations to fixing ambiguities #= 2",
        " SFER",
        " ACOR",
        " ",
        "  READ sfluxfile= " + dir_.path("flux.txt"),
        " ",
        " i,j,ssn(i,j),sflux(i,j)= 1962 1 -999.0 -999.0",
    };
    for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(lines[i], head[i]) << "line " << i + 1;
    // The flux lines: year by year, day by day.
    const std::size_t f0 = head.size() - 1;
    EXPECT_EQ(lines[f0 + 365], " i,j,ssn(i,j),sflux(i,j)= 1962 366 -999.0 -999.0");
    EXPECT_EQ(lines[f0 + 366], " i,j,ssn(i,j),sflux(i,j)= 1963 1 -999.0 -999.0");
    EXPECT_EQ(lines[f0 + (2008 - 1962) * 366 + 147], " i,j,ssn(i,j),sflux(i,j)= 2008 148 12.0 67.9");
    EXPECT_EQ(lines[f0 + nflux - 1], " i,j,ssn(i,j),sflux(i,j)= 2020 366 -999.0 -999.0");
    const std::vector<std::string> tail = {" ", "  READ reference receiver= MADR", " "};
    for (std::size_t i = 0; i < tail.size(); ++i) EXPECT_EQ(lines[f0 + nflux + i], tail[i]);

    EXPECT_EQ(aux.refrec, "MADR");
    EXPECT_EQ(aux.nrec_to_estimate_xyz, 2);
    EXPECT_EQ(aux.nrec_rover_like, 1);
    EXPECT_EQ(aux.nrec_rover_rt, 0);
    EXPECT_EQ(aux.nrec_fixing_amb, 2);
    EXPECT_EQ(aux.reclst_fixing_amb(1), "SFER");
    EXPECT_EQ(aux.nrec_rover_sp3_leo_sta, 1);
    EXPECT_EQ(aux.voxels.ncenp, 2);
    EXPECT_EQ(aux.voxels.xlayer_width, 200.0);
    EXPECT_EQ(aux.sflux.sflux(2008, 148), 67.9);
}

TEST_F(AuxStartUp, SilentLogKeepsOnlyWarningsAndErrors) {
    frame::Config c = cfg();
    c.leocm2pcfile = name("no-leo.txt");
    c.sta2roverlikefile = name("no-like.sta");
    c.sta2refrecfile = put("ref.sta", "");
    log_.silent = true;
    AuxTables aux;
    load_role_lists_and_tables(c, rovers, 1, aux, log_);
    EXPECT_EQ(captured_.lines(), (std::vector<std::string>{
                                     " ERROR: opening leocm2pcfile file:  " + dir_.path("no-leo.txt"),
                                     " ",
                                     " WARNING: ierrlc2p= 1 .ne.0",
                                     " ERROR: opening rover_like.sta file: ",
                                     " WARNING: no ref. rec. at reference_receiver.sta file",
                                 }));
    EXPECT_EQ(aux.refrec, "    ");
}

TEST_F(AuxStartUp, SkipsVoxelsAndFluxWhenTheModelsAreOff) {
    frame::Config c = cfg();
    c.estimate_iono_model = false;
    c.model_apriori_iono = false;
    c.centersfile = name("absent-centers.txt"); // would stop the run if read
    c.sfluxfile = name("absent-flux.txt");
    log_.silent = true;
    AuxTables aux;
    aux.voxels.ncenp = 5;
    load_role_lists_and_tables(c, rovers, 1, aux, log_);
    EXPECT_EQ(aux.voxels.ncenp, 0);
    EXPECT_EQ(aux.sflux.sflux(2008, 148), -999.0);
    EXPECT_EQ(aux.sflux.ssn(1962, 1), -999.0);
    EXPECT_EQ(captured_.text(), "");
}

TEST_F(AuxStartUp, AStopInsideTheStepLeavesTheLogUpToIt) {
    frame::Config c = cfg();
    c.sfluxfile = put("flux.txt", "2021 1 10 70\n");
    log_.silent = true;
    AuxTables aux;
    EXPECT_THROW(load_role_lists_and_tables(c, rovers, 1, aux, log_), frame::Stop);
    EXPECT_EQ(captured_.lines(), (std::vector<std::string>{" ERROR: iyear or idoy out or range in sfluxfile",
                                                           " iyear1,idoy1= 2021 1"}));
}

} // namespace
