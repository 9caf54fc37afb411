// The program as a user runs it: start-up, configuration errors, the loop and its log restarts.
#include <gtest/gtest.h>

#include "e2e/e2e_util.hpp"
#include "textio/format.hpp"

using namespace quelmar::e2e;

namespace {

const std::string config_stop_general = "ERROR reading general: quelmar_v2.2.0.nml";

TEST(RunFrameE2E, ModeSelectsTheLogFile) {
    struct {
        const char* args;
        const char* log;
        const char* other;
    } cases[] = {{"", "quelmar_v2.2.0.log", "quelmar_v2.2.0.rover.log"},
                 {"rover", "quelmar_v2.2.0.rover.log", "quelmar_v2.2.0.log"},
                 {"ROVER", "quelmar_v2.2.0.rover.log", "quelmar_v2.2.0.log"},
                 {"Rover", "quelmar_v2.2.0.log", "quelmar_v2.2.0.rover.log"}};
    for (const auto& c : cases) {
        Workdir w;
        w.put_example(config_without_antex());
        const RunResult r = w.run("", c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(w.has(c.log)) << c.args;
        EXPECT_FALSE(w.has(c.other)) << c.args;
    }
}

TEST(RunFrameE2E, EmptyInputRunsStartUpAndRestartsTheLogOnce) {
    Workdir w;
    w.put_example(config_without_antex());
    const RunResult r = w.run("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    // The marker was created holding 1, served before the first read, and set back to 0; the log
    // restarted then, so the start-up echo is gone.
    EXPECT_EQ(w.get("quelmar-flush"), "0\n");
    EXPECT_EQ(r.log, "");
}

TEST(RunFrameE2E, StartUpEchoIsDiscardedByTheFirstRestart) {
    Workdir w;
    w.put_example(config_without_antex());
    const RunResult r = w.run("KLO   first line\n");
    EXPECT_EQ(r.log.find("Namelist inputs"), std::string::npos);
    EXPECT_EQ(r.log.find("flushing"), std::string::npos); // it went into the discarded log
}

TEST(RunFrameE2E, StartUpLogHasTheEchoInOrder) {
    // A run that stops at the marker file (a directory of that name) keeps its start-up log.
    Workdir w;
    w.put_example(config_without_antex());
    std::filesystem::create_directory(w.path() / "quelmar-flush");
    const RunResult r = w.run("", "rover");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("marker file"), std::string::npos);
    const auto lines = lines_of(r.log);
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines[0], " arg1= rover");
    EXPECT_EQ(lines[1], " modus_operandi_rover= T");
    EXPECT_EQ(lines[2], " ======= Namelist inputs =======");
    EXPECT_EQ(lines[3], " ======= general         =======");
    EXPECT_EQ(lines[4], " silent_log= F");
    EXPECT_TRUE(contains_line(r.log, "  idtsec_pre= 30"));
    EXPECT_TRUE(contains_line(r.log, " s2_dXYZ_m2_per_hour_rover_like= 3600.0"));
    EXPECT_TRUE(contains_line(r.log, " hmin_apriori_iono,hmax_apriori_iono= 60.0 20000.0"));
    EXPECT_TRUE(contains_line(r.log, " dray0,isearch_radius= 10.0 2 2 2"));
    EXPECT_TRUE(contains_line(r.log, " write_TICLASSIC= T"));
    EXPECT_TRUE(contains_line(r.log, " ==============================="));
    EXPECT_TRUE(contains_line(r.log, "f1=  0.157542000000000E+10"));
    EXPECT_TRUE(contains_line(r.log, "kind_obs,comb_obs,xion_LI_2_Lx=  1  6 -0.999000000000000E+02"));
    EXPECT_TRUE(contains_line(r.log, " i,j,s2_apriori_prefit_gps= 2 4 2.5E-05"));
    EXPECT_TRUE(contains_line(r.log, " ic,wavelength_= 4 0.05391654062620338"));
    EXPECT_EQ(r.log.find("apriori_iono_model_name"), std::string::npos); // never echoed
}

TEST(RunFrameE2E, SilentLogWritesNoEcho) {
    Workdir w;
    w.put_example(replaced(config_without_antex(), "silent_log = .false.", "silent_log = .true."));
    std::filesystem::create_directory(w.path() / "quelmar-flush");
    const RunResult r = w.run("");
    // No echo and no informative lines; warnings are still written.
    EXPECT_EQ(r.log.find("Namelist"), std::string::npos);
    EXPECT_EQ(r.log.find("f1="), std::string::npos);
    EXPECT_EQ(r.log.find("READ"), std::string::npos);
    EXPECT_NE(r.log.find("WARNING: Not used ANTEX file"), std::string::npos);
}

TEST(RunFrameE2E, ConfigurationErrorsStopWithTheGroupMessage) {
    struct {
        const char* from;
        const char* to;
        const char* stop;
    } cases[] = {
        {"trace      = .false.", "tracer = .false.", "ERROR reading general: quelmar_v2.2.0.nml"},
        {"idtsec_pre = 30", "idtsec_pre = 3x0", "ERROR read. updating: quelmar_v2.2.0.nml"},
        {"antexusage     = .false.", "antexusage = 12", "ERROR reading names: quelmar_v2.2.0.nml"},
        {"d2li_max_0 = 0.05", "d2li_max_0 = abc", "ERROR reading cycle_slip_checking in quelmar*2.2.0.nml"},
        {"process(1,3) = .true.", "process(3,1) = .true.", "ERROR reading model: quelmar_v2.2.0.nml"},
        {"istep_iri = 1", "istep_iri = 1.5", "ERROR reading model_apriori_iono: quelmar*2.2.0.nml"},
        {"itropo_model = 1", "itropo_modl = 1", "ERROR reading model_apriori_iono: quelmar*2.2.0.nml"},
        {"isearch_radius = 2 2 2", "isearch_radius(4) = 2", "ERROR reading ray_tracing: quelmar*2.2.0.nml"},
        {"write_i2i = .false.", "write_i2j = .false.", "ERROR reading writing_outputs: quelmar*2.2.0.nml"},
        // A key left out stops the run too.
        {"  write_i2i = .false.\n", "", "ERROR reading writing_outputs: quelmar*2.2.0.nml"},
    };
    for (const auto& c : cases) {
        Workdir w;
        w.put_example(replaced(config_without_antex(), c.from, c.to));
        const RunResult r = w.run("OB1 line that must not be read\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, std::string(c.stop) + "\n") << c.to;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.log.find("ERROR"), std::string::npos) << "the log says what was wrong: " << c.to;
        EXPECT_FALSE(w.has("quelmar-flush"));
    }
}

TEST(RunFrameE2E, MissingFileAndMissingOrMisplacedGroups) {
    {
        Workdir w;
        const RunResult r = w.run("");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "ERROR: opening quelmar_v2.2.0.nml file\n");
    }
    {
        // The ray_tracing group removed: the reader runs to the end of the file looking for it.
        std::string cfg = config_without_antex();
        const auto a = cfg.find("&ray_tracing");
        const auto b = cfg.find("&writing_outputs");
        cfg.erase(a, b - a);
        Workdir w;
        w.put_example(cfg);
        const RunResult r = w.run("");
        EXPECT_NE(r.err.find("&ray_tracing not found"), std::string::npos) << r.err;
    }
    {
        // updating placed before general: general is found, updating is not (it was passed over).
        std::string cfg = config_without_antex();
        const auto a = cfg.find("&updating");
        const auto b = cfg.find("&names");
        const std::string upd = cfg.substr(a, b - a);
        cfg.erase(a, b - a);
        cfg.insert(cfg.find("&general"), upd);
        Workdir w;
        w.put_example(cfg);
        const RunResult r = w.run("");
        EXPECT_NE(r.err.find("&updating not found"), std::string::npos) << r.err;
    }
}

TEST(RunFrameE2E, TropoModelIsCheckedEvenWhenSilent) {
    for (const char* silent : {".false.", ".true."}) {
        for (int m : {0, 1, 2, 3, 4, 5}) {
            Workdir w;
            std::string cfg = replaced(config_without_antex(), "silent_log = .false.",
                                       std::string("silent_log = ") + silent);
            cfg = replaced(cfg, "itropo_model = 1", "itropo_model = " + std::to_string(m));
            std::filesystem::create_directory(w.path() / "quelmar-flush"); // keep the start-up log
            w.put_example(cfg);
            const RunResult r = w.run("");
            const bool bad = m < 1 || m > 4;
            if (bad) {
                EXPECT_EQ(r.err, "ERROR: itropo_model .ne. ( 1 or 3 or 4)\n") << m;
                EXPECT_TRUE(contains_line(r.log, " ERROR: itropo_model =  " + std::to_string(m) +
                                                     "  .ne. ( 1 or                     3 or 4)"))
                    << r.log;
                EXPECT_EQ(r.log.find("ray_tracing"), std::string::npos); // stopped before the next group
            } else {
                EXPECT_EQ(r.err.find("itropo"), std::string::npos) << m;
            }
        }
    }
}

TEST(RunFrameE2E, DispatchSkipsWhatIsNotACode) {
    Workdir w;
    w.put_example(replaced(config_without_antex(), "trace      = .false.", "trace      = .true."));
    const std::string input = "KLO   2  1 30\n"   // a code: accepted
                              "ob1  lower case\n" // skipped
                              " OB1 blank first\n"
                              "OB12 digit in column 4\n"
                              "\n"
                              "EP\n";
    const RunResult r = w.run(input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // One TRACE line per input line, with the first four characters (blank padded).
    const auto lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], " TRACE: line1(1:4)=  KLO ");
    EXPECT_EQ(lines[1], " TRACE: line1(1:4)=  ob1 ");
    EXPECT_EQ(lines[4], " TRACE: line1(1:4)=      ");
    EXPECT_EQ(lines[5], " TRACE: line1(1:4)=  EP  ");
    EXPECT_EQ(r.log, " WARNING: message KLO NOT CONSIDERED for now\n"); // only the recognised code
}

TEST(RunFrameE2E, GarbageInputNeverCrashes) {
    Workdir w;
    w.put_example(config_without_antex());
    std::string input;
    for (int i = 0; i < 300; ++i) {
        static const char* codes[] = {"OB1 ", "EPH ", "XYZ ", "CDS ", "zzz", ""};
        input += codes[i % 6];
        for (int k = 0; k < (i * 37) % 400; ++k)
            input.push_back(static_cast<char>(1 + (i * 7 + k * 13) % 255));
        input += i % 5 == 0 ? "\r\n" : "\n";
    }
    input += std::string(50000, 'x'); // a last, long line without a newline
    const RunResult r = w.run(input);
    EXPECT_EQ(r.status, 0);
    // Garbage under a code may stop the run (an unreadable XYZ does); then with one message line.
    EXPECT_TRUE(r.err.empty() || lines_of(r.err).size() == 1) << r.err;
}

} // namespace

namespace {

// The position of `text` in `log`, failing the test when it is absent.
std::size_t at(const std::string& log, const std::string& text) {
    const auto p = log.find(text);
    EXPECT_NE(p, std::string::npos) << "not in the log: " << text;
    return p;
}

TEST(StartUpE2E, AuxiliaryFilesLoadInOrder) {
    // Precise orbits configured, with a two-epoch file; a directory named like the marker file stops
    // the run right after start-up, keeping its log.
    Workdir w;
    std::string cfg = replaced(example_config(), "precise_instead_of_eph_orbits = .false.",
                               "precise_instead_of_eph_orbits = .true.");
    w.put_example(cfg);
    const quelmar::textio::Format s3c("(a3,i3,1x,i2.2,4i3,f12.8,4f16.6,2i3,4e23.15)");
    std::string orbits;
    for (int k = 0; k < 2; ++k)
        orbits += s3c.write("S3C", 1, 2, 1, 30, 0, 15 * k, 0.0, 14000.0 + k, -21000.0, 8000.0, 213.5, 0, 0,
                            0.0, 0.0, 0.0, 0.0) +
                  "\n";
    w.put("orbits.s3c", orbits);
    std::filesystem::create_directory(w.path() / "quelmar-flush");
    const RunResult r = w.run("");
    EXPECT_NE(r.err.find("marker file"), std::string::npos) << r.err;
    const std::size_t p0 =
        at(r.log,
           "AFTER calling read_s3e: tdjms3c_0,tdjms3c_1,tdjmobs=  52304.000000 52304.010417 -9999.000000");
    const std::size_t p1 = at(r.log, "  READ Phase Center values /mm: nant= 1\n");
    const std::size_t p2 = at(r.log, "  READ ANTEX PC values /mm: iatx_nant= 1\n");
    const std::size_t p3 = at(r.log, "  READ list of stations to estimate XYZ, #= 1\n EBRE\n");
    const std::size_t p4 = at(r.log, "  READ reference receiver= BELL\n");
    const std::size_t p5 = at(r.log, "GPS Constellation Status");
    EXPECT_LT(p0, p1);
    EXPECT_LT(p1, p2);
    EXPECT_LT(p2, p3);
    EXPECT_LT(p3, p4);
    EXPECT_LT(p4, p5);
    // The ANTEX diagnostic echo goes to standard output.
    EXPECT_EQ(r.out.rfind("   80 ANTEX VERSION / SYST\n", 0), 0u);
}

TEST(StartUpE2E, AuxiliaryFileStops) {
    struct {
        const char* file; // removed from the example, or replaced by `text`
        const char* text;
        const char* config_from;
        const char* config_to;
        const char* stop;
    } cases[] = {
        {"antennas.atx", nullptr, "", "", "ERROR opening ANTEX file"},
        {"antennas.atx", "    1.41            G                                       ANTEX VERSION / SYST\n",
         "", "", "ERROR: unsupported ANTEX format version (>=1.4)"},
        {"orbits.s3c", nullptr, "precise_instead_of_eph_orbits = .false.",
         "precise_instead_of_eph_orbits = .true.", "ERROR: reading orbits, ierrs3c.ne.0"},
        {"solar_flux.txt", nullptr, "model_apriori_iono = .false.", "model_apriori_iono = .true.",
         "ERROR: opening sfluxfile "},
        {"solar_flux.txt", "2021 1 10 80.0\n", "model_apriori_iono = .false.", "model_apriori_iono = .true.",
         "ERROR: iyear or idoy out or range in sfluxfile"},
    };
    for (const auto& c : cases) {
        Workdir w;
        std::string cfg = example_config();
        if (*c.config_from) cfg = replaced(cfg, c.config_from, c.config_to);
        w.put_example(cfg);
        std::filesystem::remove(w.path() / c.file);
        if (c.text) w.put(c.file, c.text);
        const RunResult r = w.run("OB1 never read\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, std::string(c.stop) + "\n") << c.file;
        EXPECT_FALSE(w.has("quelmar-flush")) << "stopped before the marker file: " << c.file;
    }
}

} // namespace
