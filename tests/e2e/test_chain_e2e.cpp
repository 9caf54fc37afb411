// The observation chain through the program: small streams built from the example day (BELL and EBRE,
// 2002-01-30) that take observations down each path of the chain, and the example stream itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "e2e/e2e_util.hpp"
#include "textio/format.hpp"

using namespace quelmar::e2e;

namespace {

const fs::path examples = fs::path(QUELMAR_SOURCE_DIR) / "examples";

std::vector<std::string> example_stream() {
    return lines_of(read_file(examples / "messages.txt"));
}

// The metadata and ephemeris lines of the example stream, without those starting with one of `drop`.
std::string metadata(const std::vector<std::string>& drop = {}) {
    std::string text;
    for (const auto& l : example_stream()) {
        if (starts_with(l, "OB1 ")) continue;
        bool dropped = false;
        for (const auto& d : drop) dropped = dropped || starts_with(l, d);
        if (!dropped) text += l + "\n";
    }
    return text;
}

// The example's observation line of `prn` and `rec` at second `sec` of the day.
std::string example_ob1(int prn, const std::string& rec, int sec = 0) {
    char head[128];
    std::snprintf(head, sizeof head, "OB1 %2d  2  1 30  0  %d %2d.0000000 %s", prn, sec / 60, sec % 60,
                  rec.c_str());
    for (const auto& l : example_stream())
        if (starts_with(l, head)) return l;
    ADD_FAILURE() << "no example line " << head;
    return "";
}

// An OB1 line of BELL at 2002-01-30 00:00:00 with the given observables (value indicators 0 0), arc 1
// flagged as a new arc.
std::string ob1_line(int prn, const std::string& ksat, const std::vector<std::string>& codes,
                     const std::vector<double>& values) {
    const int n = static_cast<int>(codes.size());
    std::string fmt = "(a,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6," + std::to_string(n) +
                      "(4x,a2)," + std::to_string(n) +
                      "(f14.3,i1,i1),1x,i5,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,1x,e15.7,1x,l1";
    if (n == 6) fmt += ",1x,e15.7,1x,l1,1x,e15.7,1x,l1";
    fmt += ")";
    std::vector<quelmar::textio::OutItem> items = {"OB1 ", prn, 2, 1, 30, 0, 0, 0.0, "BELL", ksat, 0, 0.0, n};
    for (const auto& c : codes) items.emplace_back(c);
    for (double v : values) {
        items.emplace_back(v);
        items.emplace_back(0);
        items.emplace_back(0);
    }
    for (quelmar::textio::OutItem i :
         {quelmar::textio::OutItem(1), quelmar::textio::OutItem(true), quelmar::textio::OutItem(0.0),
          quelmar::textio::OutItem(false), quelmar::textio::OutItem(0.0), quelmar::textio::OutItem(false),
          quelmar::textio::OutItem(0.0), quelmar::textio::OutItem(0.0), quelmar::textio::OutItem(false)})
        items.push_back(i);
    if (n == 6)
        for (int k = 0; k < 2; ++k) {
            items.emplace_back(0.0);
            items.emplace_back(false);
        }
    std::string line;
    quelmar::textio::Format(fmt).write_items(line, items);
    return line;
}

// PRN 1 seen by BELL at the first epoch: its four observables (L1, L2 cycles; C1, P2 metres).
const std::vector<std::string> gps4 = {"L1", "L2", "C1", "P2"};
const std::vector<double> prn1_values = {-13284821.249, -10192060.755, 21372448.483, 21372454.252};

std::string config(const std::vector<std::pair<std::string, std::string>>& changes = {}) {
    std::string cfg = config_without_antex();
    for (const auto& [from, to] : changes) cfg = replaced(cfg, from, to);
    return cfg;
}

const std::pair<std::string, std::string> undif_on = {"write_undif_dat = .false.",
                                                      "write_undif_dat = .true."};
const std::pair<std::string, std::string> slips_off = {"new_cycle_slip_checking = .true.",
                                                       "new_cycle_slip_checking = .false."};
const std::pair<std::string, std::string> precise_on = {"precise_instead_of_eph_orbits = .false.",
                                                        "precise_instead_of_eph_orbits = .true."};
const std::pair<std::string, std::string> trace2_on = {"trace2     = .false.", "trace2     = .true."};

// Runs `input` with `cfg` in a fresh directory holding the example's files, the reference-satellite file
// of the day and `extra` files.
RunResult run_chain(const std::string& cfg, const std::string& input,
                    const std::vector<std::pair<std::string, std::string>>& extra = {}) {
    Workdir w;
    w.put_example(cfg);
    w.put("refsat.02-01-30", "0 86400 13\n");
    for (const auto& [name, text] : extra) w.put(name, text);
    return w.run(input);
}

// The numbers of a list-directed line after its label.
std::vector<double> numbers_after(const std::string& line, const std::string& label) {
    std::vector<double> v;
    std::istringstream in(line.substr(line.find(label) + label.size()));
    for (double x; in >> x;) v.push_back(x);
    return v;
}

// An S3C record of PRN `prn` at 2002-01-30 0h plus `sec` seconds (constant position, km).
std::string s3c_record(int prn, int sec) {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "S3C %2d 02 01 30 %2d %2d %.4f 12620.751835 8872.022259 21793.758278 10.0 0 0 0 0 0 0", prn,
                  sec / 3600, sec % 3600 / 60, static_cast<double>(sec % 60));
    return buf;
}
std::string s3c_file(int prn, int first_sec, int last_sec) {
    std::string t;
    for (int s = first_sec; s <= last_sec; s += 900) t += s3c_record(prn, s) + "\n";
    return t;
}

// UNDIF_DAT columns (0-based): elevation, azimuth and distance; receiver position.
constexpr std::size_t undif_geometry = 34, undif_geometry_len = 30, undif_recxyz = 64, undif_len = 154;

TEST(ChainE2E, Ob2RepeatsTheMessageAndAddsSlipLawsAndGeometry) {
    const std::string ob1 = example_ob1(1, "BELL");
    struct {
        bool laws;
        const char* arc;        // narch2 and cycleslip2
        const char* thresholds; // d2li_max (exact) and dbw_max (checked below)
    } cases[] = {
        {false, "     1 T", "   0.9999000E+02   0.9999000E+02"},
        {true, "     2 T", "   0.5000000E-01"}, // the message's own slip starts arc 2; dtsec_ob1 = 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.laws);
        std::vector<std::pair<std::string, std::string>> ch = {undif_on};
        if (!c.laws) ch.push_back(slips_off);
        const RunResult r = run_chain(config(ch), metadata() + ob1 + "\n");
        EXPECT_EQ(r.err, "");
        const auto ob2 = lines_starting(r.out, "OB2 ");
        const auto undif = lines_starting(r.log, "UNDIF_DAT ");
        ASSERT_EQ(ob2.size(), 1u);
        ASSERT_EQ(undif.size(), 1u);
        ASSERT_EQ(undif[0].size(), undif_len);
        // The message's fields come out in the message's own columns; the arc fields follow the laws.
        const std::size_t arc = ob1.find("     1 T");
        ASSERT_NE(arc, std::string::npos);
        std::string expected = "OB2 " + ob1.substr(4, arc - 4) + c.arc + ob1.substr(arc + 8) +
                               undif[0].substr(undif_geometry, undif_geometry_len) + c.thresholds;
        EXPECT_EQ(ob2[0].substr(0, expected.size()), expected);
        EXPECT_EQ(ob2[0].size(), ob1.size() + 62);
        if (c.laws) {
            // dbw_max = 6 exp(-eele0/10) + 2 with the example's law, at the printed elevation.
            const double eele0 = std::stod(undif[0].substr(undif_geometry, 8));
            const double dbw_max = std::stod(ob2[0].substr(ob2[0].size() - 15));
            EXPECT_NEAR(dbw_max, 6.0 * std::exp(-eele0 / 10.0) + 2.0, 1e-5);
        }
        // UNDIF_DAT: code, station, 0, epoch, PRN; the receiver position of the XYZ message.
        EXPECT_EQ(undif[0].substr(0, 34), "UNDIF_DAT  BELL 0 52304.0000000  1");
        EXPECT_EQ(undif[0].substr(undif_recxyz, 45), "    4775849.620     116814.100    4213018.710");
    }
}

TEST(ChainE2E, SixObservablesGiveNoOb2ButRunTheChain) {
    // GPS with L5: L1, L2, L5 carriers and C1, P2, C5 codes; PRN 4 with the example's four observables.
    const std::string six =
        ob1_line(1, "G", {"L1", "L2", "L5", "C1", "P2", "C5"},
                 {-13284821.249, -10192060.755, -9000000.0, 21372448.483, 21372454.252, 21372451.0});
    const RunResult r =
        run_chain(config({undif_on}), metadata() + six + "\n" + example_ob1(4, "BELL") + "\n");
    EXPECT_EQ(r.err, "");
    const auto ob2 = lines_starting(r.out, "OB2 ");
    ASSERT_EQ(ob2.size(), 1u);
    EXPECT_EQ(ob2[0].substr(0, 7), "OB2  4 ");
    const auto undif = lines_starting(r.log, "UNDIF_DAT ");
    ASSERT_EQ(undif.size(), 2u);
    EXPECT_EQ(undif[0].substr(0, 34), "UNDIF_DAT  BELL 0 52304.0000000  1");
}

TEST(ChainE2E, ObservationsWithoutTwoUsableFrequenciesAreRejected) {
    struct {
        const char* ksat;
        std::vector<std::string> codes;
        std::vector<double> values;
        const char* why;
    } cases[] = {
        {"G", {"L1", "L2", "C1", "C2"}, prn1_values, " WARNING: No pseudorange/phase available at L2"},
        {"R", gps4, prn1_values, " WARNING: non-GPS nor Galileo observation excluded"},
        {"G",
         gps4,
         {-13284821.249, -10192060.755, 0.0, 21372454.252},
         " Zero value of pseudorange1. Obs. to be skipped"},
        {"G",
         {"L1", "L2", "L5", "C1", "C2", "C5"},
         {1, 2, 3, 4, 5, 6},
         " WARNING: nobs = 6 and NO L1, L5 && (L7 or L2) data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const RunResult r =
            run_chain(config({undif_on}), metadata() + ob1_line(1, c.ksat, c.codes, c.values) + "\n");
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.log.find(c.why), std::string::npos);
        EXPECT_EQ(count_lines(r.log, " WARNING rejected OBS: lack of useful 2 or 3 freq data"), 1u);
        EXPECT_TRUE(lines_starting(r.out, "OB2 ").empty());
        EXPECT_TRUE(lines_starting(r.log, "UNDIF_DAT ").empty());
        EXPECT_FALSE(contains_line(r.log, " WARNING: rejec. OBS: lack of EPH or OBS or XYZ data"));
    }
}

TEST(ChainE2E, IncompleteDataIsRejectedAtTheGateWithItsDiagnostics) {
    struct {
        const char* missing; // the metadata line left out
        const char *eph, *xyz, *ant;
    } cases[] = {
        {"XYZ     2  1 30  0  0  0.0 BELL", "T", "F", "T"},
        {"ANT     2  1 30  0  0  0.0 BELL", "T", "T", "F"},
        {"AND     2  1 30  0  0  0.0 BELL", "T", "T", "T"},
        {"WLF     2  1 30  0  0  0.0 BELL", "T", "T", "T"},
        {"EPH  1 ", "F", "T", "T"},
    };
    const std::string input = example_ob1(1, "BELL") + "\n" + example_ob1(1, "BELL", 30) + "\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing);
        const RunResult r = run_chain(config({undif_on}), metadata({c.missing}) + input);
        EXPECT_EQ(r.err, "");
        const std::string warning = " WARNING: rejec. OBS: lack of EPH or OBS or XYZ data";
        EXPECT_EQ(count_lines(r.log, warning), 2u); // every observation of the receiver
        const std::vector<std::string> expected = {
            warning,
            "iprn,iyy,imo,ida,iho,imi,sec,rec=   1  2  1 30  0  0 0.000BELL",
            std::string(" iprn,is_eph_read(iprn)= 1 ") + c.eph,
            " irec,iprn,is_obs_read(irec,iprn)= 1 1 T",
            std::string(" irec,is_xyz_read(irec)= 1 ") + c.xyz,
            " ierrre,ierrro,ierrcho= 0 0 0",
            std::string(" irec,is_ant_read(irec)= 1 ") + c.ant,
        };
        EXPECT_EQ(block(r.log, warning, 7), expected);
        EXPECT_TRUE(lines_starting(r.out, "OB2 ").empty());
        EXPECT_TRUE(lines_starting(r.log, "UNDIF_DAT ").empty());
    }
}

TEST(ChainE2E, ReaderFailuresAreRejectedAtTheGate) {
    // A PRN beyond 35 before any receiver is registered, and again once BELL is: the reader refuses the
    // line (status 4) and the gate reports it without touching the per-pair tables. An epoch off the
    // 30 s grid (status 2) of a registered pair goes through the steps before the gate and stops there.
    std::string bad = example_ob1(1, "BELL");
    bad.replace(4, 2, "36");
    std::string off_grid = example_ob1(4, "BELL");
    off_grid[23] = '5'; // 5 s
    const RunResult r = run_chain(config(), bad + "\n" + metadata() + example_ob1(1, "BELL") + "\n" + bad +
                                                "\n" + off_grid + "\n");
    EXPECT_EQ(r.err, "");
    const std::string warning = " WARNING: rejec. OBS: lack of EPH or OBS or XYZ data";
    EXPECT_EQ(count_lines(r.log, warning), 3u);
    const auto b = block(r.log, warning, 7);
    ASSERT_EQ(b.size(), 7u);
    EXPECT_EQ(b[2], " iprn,is_eph_read(iprn)= 36 F");
    EXPECT_EQ(b[3], " irec,iprn,is_obs_read(irec,iprn)= 0 36 F");
    EXPECT_EQ(b[4], " irec,is_xyz_read(irec)= 0 F");
    EXPECT_EQ(b[5], " ierrre,ierrro,ierrcho= 0 4 0");
    EXPECT_TRUE(contains_line(r.log, " irec,iprn,is_obs_read(irec,iprn)= 1 36 F"));
    EXPECT_TRUE(contains_line(r.log, " irec,iprn,is_obs_read(irec,iprn)= 1 4 T"));
    EXPECT_TRUE(contains_line(r.log, " ierrre,ierrro,ierrcho= 0 2 0"));
    EXPECT_EQ(lines_starting(r.out, "OB2 ").size(), 1u); // the good line still goes through
}

TEST(ChainE2E, DeselectionsGoToStandardOutputAndTheLog) {
    // No vehicle: the constellation list without PRN 1. Orbit problems: precise orbits that start the
    // next day (and no broadcast ephemeris at all: with precise orbits the gate lets it pass).
    std::string gcs;
    for (const auto& l : lines_of(read_file(examples / "gps_constellation.txt")))
        if (!starts_with(l, "  1 ")) gcs += l + "\n";
    const int next_day = 86400;
    struct {
        std::string cfg, input;
        std::vector<std::pair<std::string, std::string>> files;
        std::vector<std::string> lines;
    } cases[] = {
        {config(),
         metadata() + example_ob1(1, "BELL") + "\n",
         {{"gps_constellation.txt", gcs}},
         {" WARNING: deselecting OBS: non valid SV for PRN", " tdjmobs,irec,rec,iprn=  52304.0 1 BELL 1",
          " tsecdayobs=  0.0"}},
        {config({precise_on}),
         metadata({"EPH "}) + example_ob1(1, "BELL") + "\n",
         {{"orbits.s3c", s3c_file(1, next_day, next_day + 7200)}},
         {" WARNING: deselecting OBS due to orbit problems", " tdjmobs,irec,rec,iprn=  52304.0 1 BELL 1",
          " tsecdayobs=  0.0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines[0]);
        const RunResult r = run_chain(c.cfg, c.input, c.files);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(block(r.out, c.lines[0], 3), c.lines);
        EXPECT_EQ(block(r.log, c.lines[0], 3), c.lines);
        EXPECT_FALSE(contains_line(r.log, " WARNING: rejec. OBS: lack of EPH or OBS or XYZ data"));
        EXPECT_TRUE(lines_starting(r.out, "OB2 ").empty());
    }
}

TEST(ChainE2E, ElevationMaskIsTestedOnTheSphericalElevation) {
    // First the elevations of the example's first epoch at BELL; then a mask between the spherical and
    // the ellipsoidal elevation of a satellite whose ellipsoidal elevation is the higher one.
    std::string input = metadata();
    for (int prn : {1, 4, 7, 13, 20, 24, 27}) input += example_ob1(prn, "BELL") + "\n";
    const RunResult r1 = run_chain(config({trace2_on}), input);
    const auto geo = lines_starting(r1.out, " TRACE: sele0,eele0,eazi0,dist0=");
    const auto who = lines_starting(r1.out, " TRACE: SATELLITE_POS... tsec,irec,iprn=");
    ASSERT_EQ(geo.size(), 7u);
    ASSERT_EQ(who.size(), 7u);
    // The lowest such satellite, so that few others fall below the mask with it.
    int prn = 0;
    double sele0 = 0, eele0 = 0;
    std::vector<double> all_sele0;
    for (std::size_t i = 0; i < geo.size(); ++i) {
        const auto g = numbers_after(geo[i], "=");
        ASSERT_EQ(g.size(), 4u) << geo[i];
        all_sele0.push_back(g[0]);
        if (g[1] - g[0] > 0.01 && (prn == 0 || g[1] < eele0)) {
            prn = static_cast<int>(numbers_after(who[i], "=").at(2));
            sele0 = g[0];
            eele0 = g[1];
        }
    }
    ASSERT_NE(prn, 0) << "no satellite with a higher ellipsoidal elevation";
    const double elemask = 0.5 * (sele0 + eele0);
    std::size_t above = 0;
    for (double s : all_sele0) above += s >= elemask;
    char mask[64];
    std::snprintf(mask, sizeof mask, "elemask = %.6f", elemask);
    const RunResult r2 = run_chain(config({{"elemask = 10.0", mask}}), input);
    EXPECT_EQ(r2.err, "");
    const std::string label = " tdjmobs,irec,rec,iprn,ele=  52304.0 1 BELL";
    for (const std::string* text : {&r2.out, &r2.log}) {
        EXPECT_EQ(count_lines(*text, " WARNING: deselecting OBS due to ele < elemask"), 7 - above);
        bool found = false;
        for (const auto& l : lines_starting(*text, label)) {
            const auto v = numbers_after(l, label);
            ASSERT_EQ(v.size(), 3u) << l;
            EXPECT_LT(v[1], v[2]); // spherical elevation below the mask
            if (static_cast<int>(v[0]) == prn) {
                found = true;
                EXPECT_GE(eele0, v[2]); // while the ellipsoidal one is not
            }
        }
        EXPECT_TRUE(found) << prn;
    }
    EXPECT_EQ(lines_starting(r2.out, "OB2 ").size(), above);
}

TEST(ChainE2E, PreciseOrbitsAreRereadNearTheirEnd) {
    // The observation at 01:00; the orbits in memory end at 01:30 (inside the one-hour alert span of the
    // example) or at 03:00 (outside it).
    std::string ob1 = example_ob1(1, "BELL");
    ob1.replace(16, 2, " 1"); // the hour
    struct {
        int last_sec;
        bool refresh;
    } cases[] = {{5400, true}, {10800, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last_sec);
        const RunResult r = run_chain(config({precise_on}), metadata() + ob1 + "\n",
                                      {{"orbits.s3c", s3c_file(1, 0, c.last_sec)}});
        EXPECT_EQ(r.err, "");
        const std::string after = c.last_sec == 5400
                                      ? "AFTER calling read_s3e: tdjms3c_0,tdjms3c_1,tdjmobs=  52304.000000 "
                                        "52304.062500 52304.041667"
                                      : "";
        EXPECT_EQ(contains_line(r.log, after), c.refresh);
        EXPECT_EQ(contains_line(r.log, " WARNING: updated ORBITS and CLOCKS"), c.refresh);
        EXPECT_EQ(lines_starting(r.log, "AFTER calling read_s3e").empty(), !c.refresh);
    }
}

TEST(ChainE2E, TwoReceiversOfOneEpochKeepTheirOwnPositions) {
    std::string input = metadata();
    for (const char* rec : {"BELL", "EBRE"})
        for (int prn : {1, 4, 7, 13, 20, 24, 27}) input += example_ob1(prn, rec) + "\n";
    const RunResult r = run_chain(config({undif_on}), input);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(lines_starting(r.out, "OB2 ").size(), 14u);
    const auto undif = lines_starting(r.log, "UNDIF_DAT ");
    ASSERT_EQ(undif.size(), 14u);
    for (std::size_t i = 0; i < undif.size(); ++i) {
        const bool bell = i < 7;
        EXPECT_EQ(undif[i].substr(11, 4), bell ? "BELL" : "EBRE");
        EXPECT_EQ(undif[i].substr(undif_recxyz, 45), bell ? "    4775849.620     116814.100    4213018.710"
                                                          : "    4833520.380      41536.830    4147461.280");
    }
    // The same satellite seen from both stations: transmit times a fraction of a millisecond apart.
    for (std::size_t i = 0; i < 7; ++i)
        for (std::size_t k = 0; k < 3; ++k) {
            const double a = std::stod(undif[i].substr(undif_recxyz + 45 + 15 * k, 15));
            const double b = std::stod(undif[i + 7].substr(undif_recxyz + 45 + 15 * k, 15));
            EXPECT_LT(std::fabs(a - b), 10.0) << i << " " << k;
        }
}

TEST(ChainE2E, TracesNameEveryStep) {
    const RunResult r = run_chain(config({trace2_on, {"trace      = .false.", "trace      = .true."}}),
                                  metadata() + example_ob1(1, "BELL") + "\n");
    EXPECT_EQ(r.err, "");
    for (const char* label :
         {" TRACE   ======  tsec,irec,iprn=", " TRACE: READ_OBS tsec,irec,iprn=",
          " TRACE: CHECK_OBS tsec,irec,iprn=", " carrier1,carrier2,carrier3=",
          " pseudorange1,pseudorange2,pseudorange3=", " f1ef,f2ef,f3ef=",
          " TRACE: iyyobs,imoobs,idaobs,ihoobs,imiobs,secobs=", " TRACE: TRANSMIT_TIME1 tsec,irec,iprn,",
          " TRACE:            tdjmobstt,tsecdaytt,satclockerror0=",
          " TRACE: PRN_AND_TRANSMIT... tsec,irec,iprn=", " TRACE: iblock,isv=",
          " TRACE: SATELLITE_POS... tsec,irec,iprn=", " TRACE: satxyz=", " TRACE: sele0,eele0,eazi0,dist0=",
          " TRACE: ap: ", " TRACE: GPS_COMB... tsec,irec,iprn=", " TRACE: p1,xl1=", " TRACE: pew,xlew="})
        EXPECT_EQ(lines_starting(r.out, label).size(), 1u) << label;
    EXPECT_EQ(lines_starting(r.out, " TRACE: iblock,isv=")[0], " TRACE: iblock,isv= 3 32");
    const std::vector<std::string> stations = {" TRACE: irec,reclst(irec1)= 1 BELL",
                                               " TRACE: irec,reclst(irec1)= 2 EBRE"};
    EXPECT_EQ(lines_starting(r.out, " TRACE: irec,reclst(irec1)="), stations);
}

TEST(ChainE2E, ExampleStreamRunsThroughTheChain) {
    Workdir w;
    w.put_example(config_without_antex());
    if (!w.has("refsat.02-01-30")) w.put("refsat.02-01-30", "0 86400 13\n");
    const std::string stream = read_file(examples / "messages.txt");
    const RunResult r = w.run(stream);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(lines_starting(r.out, "OB2 ").size(), lines_starting(stream, "OB1 ").size());
    EXPECT_TRUE(lines_starting(r.log, "UNDIF_DAT").empty()); // off in the example
    for (const char* bad : {" WARNING: rejec. OBS", " WARNING: deselecting", " WARNING rejected OBS"})
        EXPECT_TRUE(lines_starting(r.log, bad).empty()) << bad;
}

} // namespace
