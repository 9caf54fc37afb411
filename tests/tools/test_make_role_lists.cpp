// The role-list writer, run as a user runs it on small RINEX headers written by the tests; every file it
// writes is read back with the program's own start-up readers, which must see each station in exactly
// the role asked for.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "auxfiles/precise_orbits.hpp"
#include "auxfiles/role_lists.hpp"
#include "support/test_support.hpp"
#include "tools/tool_run.hpp"

using namespace quelmar;
using quelmar::testing_support::CapturedLog;
using quelmar::testing_support::TempDir;
using testing_support::expect_tool_failures;
using testing_support::run_tool;
using testing_support::ToolFailure;
using testing_support::ToolRun;

namespace {

std::string hl(std::string content, const std::string& label) {
    content.resize(60, ' ');
    return content + label + "\n";
}

// A RINEX 2 observation header of the marker `marker` (the tool reads no further than the header).
std::string obs_header(const std::string& marker) {
    return hl("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE") +
           hl(marker, "MARKER NAME") + hl("123                 TRM29659.00     NONE", "ANT # / TYPE") +
           hl("  4775849.6200   116814.1000  4213018.7100", "APPROX POSITION XYZ") +
           hl("        0.0540        0.1000       -0.2000", "ANTENNA: DELTA H/E/N") +
           hl("     4    L1    L2    C1    P2", "# / TYPES OF OBSERV") + hl("", "END OF HEADER");
}

// What the program's readers make of the files in a directory.
struct Roles {
    std::string refrec;
    int ierr_ref = 0;
    std::vector<std::string> estimate, rover_like, rover_rt, fixing_amb, rover_sp3, leo;
    std::vector<std::vector<double>> leo_offsets;
    int ierr_lists = 0; // sum of the list statuses
};

std::vector<std::string> names_of(const auxfiles::StationNames& t, int n) {
    std::vector<std::string> v;
    for (int i = 1; i <= n; ++i) v.push_back(t(i));
    return v;
}

class MakeRoleLists : public ::testing::Test {
  protected:
    // Writes one header per marker into the scratch directory, named after the marker's position.
    std::string obs_files(const std::vector<std::string>& markers) const {
        std::string args;
        for (std::size_t i = 0; i < markers.size(); ++i) {
            std::string name = "f"; // built in steps: g++ 12 warns falsely on "f" + to_string(i)
            name += std::to_string(i);
            name += ".08o";
            dir_.write(name, obs_header(markers[i]));
            args += " " + name;
        }
        return args;
    }
    ToolRun run(const std::string& args) const { return run_tool(dir_, "make_role_lists", args); }
    Roles read_back(const std::string& sub = ".") const {
        CapturedLog cl;
        Roles r;
        auto f = [&](const char* name) { return dir_.path(sub + "/" + name); };
        auxfiles::read_reference_rec(r.refrec, f("sta2refrec.txt"), r.ierr_ref, cl.log);
        auxfiles::StationNames t;
        int n = 0, ierr = 0;
        auxfiles::read_to_estimate_xyz(t, n, f("sta2estpos.txt"), ierr, cl.log);
        r.estimate = names_of(t, n);
        r.ierr_lists += ierr;
        auxfiles::read_rover_like(t, n, f("sta2roverlike.txt"), ierr, cl.log);
        r.rover_like = names_of(t, n);
        r.ierr_lists += ierr;
        auxfiles::read_rover_rt(t, n, f("sta2roverrt.txt"), ierr, cl.log);
        r.rover_rt = names_of(t, n);
        r.ierr_lists += ierr;
        auxfiles::read_fixing_ambiguities(t, n, f("sta2fixingamb.txt"), ierr, cl.log);
        r.fixing_amb = names_of(t, n);
        r.ierr_lists += ierr;
        auxfiles::RoverStationList sp3;
        r.ierr_lists += auxfiles::read_rover_sp3_sta(f("sta2roversp3.txt"), sp3, cl.log);
        r.rover_sp3 = names_of(sp3.reclst_rover_sp3_sta, sp3.nrec_rover_sp3_sta);
        auxfiles::LeoOffsets off;
        std::vector<std::string> sp3names(sp3.reclst_rover_sp3_sta.flat().begin(),
                                          sp3.reclst_rover_sp3_sta.flat().end());
        auxfiles::read_leocm2pc(f("leocm2pc.txt"), sp3names, sp3.nrec_rover_sp3_sta, t, n, off, ierr, cl.log);
        r.ierr_lists += ierr;
        r.leo = names_of(t, n);
        for (int i = 1; i <= n; ++i) r.leo_offsets.push_back({off(i, 1), off(i, 2), off(i, 3)});
        return r;
    }

    TempDir dir_;
};

using V = std::vector<std::string>;

TEST_F(MakeRoleLists, RolesAsTheProgramReadsThem) {
    struct Case {
        const char* what;
        V markers;
        std::string options;
        std::string refrec;
        int ierr_ref;
        V estimate, rover_like, rover_rt, fixing_amb, rover_sp3;
    };
    const Case cases[] = {
        {"default: first file is the reference, the others estimated",
         {"ACOR", "madr 13407M001", "SCOA", "SFER"},
         "",
         "ACOR",
         0,
         {"MADR", "SCOA", "SFER"},
         {},
         {},
         {},
         {}},
        {"one station only", {"EBRE"}, "", "EBRE", 0, {}, {}, {}, {}, {}},
        {"explicit roles; names in lower case find the upper-cased markers",
         {"ACOR", "MADR", "SCOA", "SFER", "BELL", "EBRE"},
         "--ref madr --rover-like SCOA,SFER --rover-rt BELL --fixing-amb EBRE",
         "MADR",
         0,
         {"ACOR"},
         {"SCOA", "SFER"},
         {"BELL"},
         {"EBRE"},
         {}},
        {"no reference receiver: an empty file",
         {"BELL", "EBRE"},
         "--no-ref",
         "    ",
         -1,
         {"BELL", "EBRE"},
         {},
         {},
         {},
         {}},
        {"a short marker is padded with blanks; trajectory-file rover given by name",
         {"AB", "CDEF"},
         "--station 05ab --rover-sp3 05ab",
         "AB  ",
         0,
         {"CDEF"},
         {},
         {},
         {},
         {"05ab"}},
        {"repeated role options add up, the list keeps station order",
         {"AAAA", "BBBB", "CCCC", "DDDD"},
         "--rover-like DDDD --rover-like BBBB",
         "AAAA",
         0,
         {"CCCC"},
         {"BBBB", "DDDD"},
         {},
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun r = run(c.options + obs_files(c.markers));
        ASSERT_EQ(r.status, 0) << r.err;
        const Roles got = read_back();
        EXPECT_EQ(got.refrec, c.refrec);
        EXPECT_EQ(got.ierr_ref, c.ierr_ref);
        EXPECT_EQ(got.ierr_lists, 0);
        EXPECT_EQ(got.estimate, c.estimate);
        EXPECT_EQ(got.rover_like, c.rover_like);
        EXPECT_EQ(got.rover_rt, c.rover_rt);
        EXPECT_EQ(got.fixing_amb, c.fixing_amb);
        EXPECT_EQ(got.rover_sp3, c.rover_sp3);
        EXPECT_TRUE(got.leo.empty());
        // Every station in exactly one role: the program stops on two and warns on none.
        std::map<std::string, int> count;
        if (got.refrec != "    ") ++count[got.refrec];
        for (const V* l : {&got.estimate, &got.rover_like, &got.rover_rt, &got.fixing_amb, &got.rover_sp3})
            for (const std::string& n : *l) ++count[n];
        for (const auto& [n, k] : count) EXPECT_EQ(k, 1) << n;
        // Empty lists are empty files.
        for (const char* f : {"sta2roverrt.txt", "sta2fixingamb.txt", "leocm2pc.txt"}) {
            const std::string text = dir_.read(f);
            if (text.empty()) continue;
            EXPECT_EQ(text.back(), '\n') << f;
        }
        EXPECT_NE(r.out.find("sta2refrecfile    = 'sta2refrec.txt'"), std::string::npos) << r.out;
    }
}

// Names that free-format input would split or misread are quoted, and come back unchanged.
TEST_F(MakeRoleLists, AwkwardNamesSurviveTheFreeFormatRead) {
    const ToolRun r =
        run("--station 'A B' --station 'AB;C' --station '2*AB' --station \"O'K\" --station 'S/T'");
    ASSERT_EQ(r.status, 0) << r.err;
    const Roles got = read_back();
    EXPECT_EQ(got.refrec, "A B ");
    EXPECT_EQ(got.estimate, (V{"AB;C", "2*AB", "O'K ", "S/T "}));
    EXPECT_EQ(dir_.read("sta2refrec.txt"), "'A B '\n");
}

TEST_F(MakeRoleLists, LowOrbitOffsetsAndOutputDirectory) {
    const ToolRun r =
        run("-o lists --station l12a --station l07b --rover-sp3 l12a,l07b --leo l07b,0.25,-1e-3,-0.5" +
            obs_files({"BELL"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const Roles got = read_back("lists");
    EXPECT_EQ(got.refrec, "BELL");
    EXPECT_EQ(got.rover_sp3, (V{"l12a", "l07b"}));
    ASSERT_EQ(got.leo, V{"l07b"});
    EXPECT_DOUBLE_EQ(got.leo_offsets[0][0], 0.25);
    EXPECT_DOUBLE_EQ(got.leo_offsets[0][1], -0.001);
    EXPECT_DOUBLE_EQ(got.leo_offsets[0][2], -0.5);
    EXPECT_EQ(got.ierr_lists, 0);
}

TEST_F(MakeRoleLists, RefusesWhatTheProgramWouldStopOn) {
    const std::string two = obs_files({"BELL", "EBRE"});
    const ToolFailure cases[] = {
        {"no station", "", 2, "usage"},
        {"unknown option", "--refx BELL" + two, 2, "unknown option --refx"},
        {"a role for a station not in the run", "--rover-like MADR" + two, 2, "MADR is not among"},
        {"two roles", "--estimate EBRE --rover-rt EBRE" + two, 2, "given two roles"},
        {"the reference in a second role", "--rover-like BELL" + two, 2, "given two roles"},
        {"seven stations", "--station A1 --station A2 --station A3 --station A4 --station A5" + two, 2,
         "7 stations"},
        {"the same station twice", "--station BELL" + two, 2, "already given"},
        {"trajectory rover without an object number", "--station ROVR --rover-sp3 ROVR" + two, 2,
         "no object number"},
        {"offsets for a station that is no trajectory rover", "--leo EBRE,1,2,3" + two, 2,
         "not a trajectory"},
        {"offsets that are not numbers", "--leo EBRE,1,x,3" + two, 2, "not a number"},
        {"--ref and --no-ref", "--ref BELL --no-ref" + two, 2, "exclude"},
        {"missing observation file", "nothere.08o", 1, "nothere.08o"},
        {"a file that is not RINEX", "--station BELL tool.out", 1, "tool.out"},
    };
    expect_tool_failures(dir_, "make_role_lists", cases);
}

} // namespace
