// Epoch control: the daily-file readers, the period matching rules, and the per-observation
// bookkeeping (new epoch, new day, solar flux, reference satellite, fixed double differences, rover
// position checks) driven through a run in a scratch working directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "chain/day_files.hpp"
#include "chain/epoch_control.hpp"
#include "frame/run.hpp"
#include "frame/stop.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::chain;
using namespace quelmar::testing_support;
namespace fs = std::filesystem;

namespace {

int count_lines(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

bool has_line_starting(const std::vector<std::string>& lines, const std::string& start) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(start, 0) == 0; });
}

// A line of DDF values: the numbered fields take distinct values so that a field read into the
// wrong member shows.
std::string ddf_line(double t0, double t1, int iprn, const std::string& rec) {
    return std::to_string(t0) + " " + std::to_string(t1) + " " + std::to_string(iprn) + " '" + rec +
           "' 1 2 3 4 13 BELL 11 12 13 14 -2.5 21 22 23 24 0.125 31 32 33 34 7.0 42";
}

TEST(DayFileNames, TwoDigitDateFields) {
    EXPECT_EQ(refsat_file_name(9, 3, 2), "refsat.09-03-02");
    EXPECT_EQ(refsat_file_name(2, 12, 31), "refsat.02-12-31");
    EXPECT_EQ(ddf_file_name(2, 1, 30), "ddf.02-01-30.sum");
    EXPECT_EQ(refsat_file_name(0, 1, 1).size(), 15u);
    EXPECT_EQ(ddf_file_name(99, 1, 1).size(), 16u);
}

class DayFiles : public ScratchFixture {};

TEST_F(DayFiles, ReferencePeriodsGoodAndBad) {
    const struct {
        const char* text;
        int status, nper;
        std::int32_t last0, last1, lastprn;
    } cases[] = {
        {"0 900 5\n900,1800,7\n\n\n", dayfile_status::ok, 2, 900, 1800, 7},
        {"0 900 5 99 extra words\n", dayfile_status::ok, 1, 0, 900, 5}, // rest of a line ignored
        {"0 900\n 5\n", dayfile_status::ok, 1, 0, 900, 5},              // a record may continue
        {"", dayfile_status::ok, 0, 0, 0, 0},
        {"0 900 5\n900 x 7\n", dayfile_status::read_error, 1, 0, 900, 5},
        {"0 900.5 5\n", dayfile_status::read_error, 0, 0, 0, 0},
        {"0 900 5\n900 1800\n", dayfile_status::read_error, 1, 0, 900, 5}, // cut short at the end
        {"0 99999999999 5\n", dayfile_status::read_error, 0, 0, 0, 0},     // beyond 32 bits
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string f = dir_.write("refsat.test", c.text);
        RefsatPeriods p;
        p.nper_refsat = 50; // what a previous day left
        std::string why;
        EXPECT_EQ(read_refsat_file(f, p, why), c.status);
        ASSERT_EQ(p.nper_refsat, c.nper);
        EXPECT_EQ(why.empty(), c.status == dayfile_status::ok);
        if (c.nper > 0) {
            EXPECT_EQ(p.itsec0_refsat(c.nper), c.last0);
            EXPECT_EQ(p.itsec1_refsat(c.nper), c.last1);
            EXPECT_EQ(p.iprn_refsat(c.nper), c.lastprn);
        }
    }
    RefsatPeriods p;
    std::string why;
    EXPECT_EQ(read_refsat_file(dir_.path("absent"), p, why), dayfile_status::cannot_open);
}

TEST_F(DayFiles, ReferencePeriodsLimit) {
    std::vector<std::string> lines;
    for (int n = 0; n < maxper_refsat; ++n)
        lines.push_back(std::to_string(n * 900) + " " + std::to_string(n * 900 + 900) + " " +
                        std::to_string(n % 32 + 1));
    RefsatPeriods p;
    std::string why;
    EXPECT_EQ(read_refsat_file(dir_.write_lines("full", lines), p, why), dayfile_status::ok);
    EXPECT_EQ(p.nper_refsat, maxper_refsat);
    EXPECT_EQ(p.itsec1_refsat(maxper_refsat), 86400);
    lines.push_back("86400 87300 1");
    EXPECT_EQ(read_refsat_file(dir_.write_lines("over", lines), p, why), dayfile_status::too_many);
    EXPECT_EQ(p.nper_refsat, maxper_refsat);
    EXPECT_NE(why.find("96"), std::string::npos) << why;
}

TEST_F(DayFiles, DdfRecordFieldsAndEcho) {
    const std::string f = dir_.write(
        "ddf", ddf_line(100, 200, 5, "EBRE") + "\n" +
                   "300.5,400.5,6,MADR,5,6,7,8,9,'ACOR',1,1,1,1,0.5,2,2,2,2,0.25,3,3,3,3,-1e-3,9\n");
    std::vector<DdfRecord> ddf(3); // a previous day's records are replaced
    frame::TextSink echo;
    ASSERT_TRUE(echo.open(dir_.path("echo")));
    std::string why;
    ASSERT_EQ(read_ddf_file(f, ddf, &echo, why), dayfile_status::ok) << why;
    echo.close();
    ASSERT_EQ(ddf.size(), 2u);
    const DdfRecord& d = ddf[0];
    EXPECT_EQ(d.tsec0_ddf, 100.0);
    EXPECT_EQ(d.tsec1_ddf, 200.0);
    EXPECT_EQ(d.iprn_ddf, 5);
    EXPECT_EQ(d.rec_ddf, "EBRE");
    EXPECT_EQ((std::vector<int>{d.narc11, d.narc01, d.narc10, d.narc00, d.irefsat_ddf}),
              (std::vector<int>{1, 2, 3, 4, 13}));
    EXPECT_EQ(d.refrec_ddf, "BELL");
    EXPECT_EQ((std::vector<int>{d.idbw11, d.idbw01, d.idbw10, d.idbw00, d.idbc11, d.idbc01, d.idbc10,
                                d.idbc00, d.idbi11, d.idbi01, d.idbi10, d.idbi00, d.kon_ddf}),
              (std::vector<int>{11, 12, 13, 14, 21, 22, 23, 24, 31, 32, 33, 34, 42}));
    EXPECT_EQ(d.ddbw_fixed_ddf, -2.5);
    EXPECT_EQ(d.ddbc_fixed_ddf, 0.125);
    EXPECT_EQ(d.ddbi_fixed_ddf, 7.0);
    EXPECT_EQ(ddf[1].rec_ddf, "MADR");
    EXPECT_EQ(ddf[1].refrec_ddf, "ACOR");
    EXPECT_EQ(ddf[1].ddbi_fixed_ddf, -1e-3);
    EXPECT_EQ(ddf[1].kon_ddf, 9);
    const auto echoed = lines_of(dir_.read("echo"));
    ASSERT_EQ(echoed.size(), 4u);
    EXPECT_EQ(echoed[0], " nddf=  1");
    EXPECT_EQ(echoed[1],
              " 100.0 200.0 5 EBRE 1 2 3 4 13 BELL 11 12 13 14 -2.5 21 22 23 24 0.125 31 32 33 34 7.0 42");
    EXPECT_EQ(echoed[2], " nddf=  2");
}

TEST_F(DayFiles, DdfMalformedAndLimits) {
    const std::string good = ddf_line(0, 10, 1, "EBRE");
    const struct {
        std::string text;
        int status;
        std::size_t nddf;
    } cases[] = {
        {good + "\n" + "0 10 1 EBRE 1 2 3 4 13 BELL x 12 13 14 -2.5 21 22 23 24 0.125 31 32 33 34 7.0 42\n",
         dayfile_status::read_error, 1},
        {"0 10 1 EBRE 1 2 3 4\n", dayfile_status::read_error, 0},     // file ends inside the record
        {"0 10 1 'EBRE 1 2 3 4 13\n", dayfile_status::read_error, 0}, // unclosed quote
        {good + "\n\n  \n", dayfile_status::ok, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<DdfRecord> ddf;
        std::string why;
        EXPECT_EQ(read_ddf_file(dir_.write("ddf", c.text), ddf, nullptr, why), c.status);
        EXPECT_EQ(ddf.size(), c.nddf);
    }
    std::string big;
    for (int i = 0; i <= maxddf; ++i) (big += good) += '\n';
    std::vector<DdfRecord> ddf;
    std::string why;
    EXPECT_EQ(read_ddf_file(dir_.write("big", big), ddf, nullptr, why), dayfile_status::too_many);
    EXPECT_EQ(ddf.size(), static_cast<std::size_t>(maxddf));
    EXPECT_EQ(read_ddf_file(dir_.path("absent"), ddf, nullptr, why), dayfile_status::cannot_open);
    EXPECT_TRUE(ddf.empty());
}

TEST(PeriodMatching, ReferencePeriodStartIncludedEndExcluded) {
    RefsatPeriods p;
    p.nper_refsat = 4;
    const std::int32_t per[4][3] = {{0, 900, 5}, {900, 1800, 7}, {3600, 4500, 9}, {3600, 5400, 11}};
    for (int n = 1; n <= 4; ++n)
        p.itsec0_refsat(n) = per[n - 1][0], p.itsec1_refsat(n) = per[n - 1][1],
        p.iprn_refsat(n) = per[n - 1][2];
    const struct {
        std::int32_t itsec, refsat, iper;
    } cases[] = {{0, 5, 1},    {899, 5, 1},  {900, 7, 2},   {1799, 7, 2},   {1800, -99, 5}, {3599, -99, 5},
                 {3600, 9, 3}, {4499, 9, 3}, {4500, 11, 4}, {5400, -99, 5}, {-1, -99, 5},   {86400, -99, 5}};
    for (const auto& c : cases) {
        std::int32_t refsat = 0, iper = 0;
        find_refsat(p, c.itsec, refsat, iper);
        EXPECT_EQ(refsat, c.refsat) << c.itsec;
        EXPECT_EQ(iper, c.iper) << c.itsec;
    }
}

TEST(PeriodMatching, DdfBothEndsIncludedFirstRecordWins) {
    std::vector<DdfRecord> ddf(3);
    ddf[0].tsec0_ddf = 100, ddf[0].tsec1_ddf = 200, ddf[0].iprn_ddf = 5, ddf[0].rec_ddf = "EBRE";
    ddf[1].tsec0_ddf = 200, ddf[1].tsec1_ddf = 300, ddf[1].iprn_ddf = 5, ddf[1].rec_ddf = "EBRE";
    ddf[2].tsec0_ddf = 0, ddf[2].tsec1_ddf = 86400, ddf[2].iprn_ddf = 6, ddf[2].rec_ddf = "BELL";
    const struct {
        double t;
        int iprn;
        const char* rec;
        int which; // index of the record found, -1 none
    } cases[] = {{100, 5, "EBRE", 0},  {200, 5, "EBRE", 0},      {200.5, 5, "EBRE", 1},
                 {300, 5, "EBRE", 1},  {300.001, 5, "EBRE", -1}, {99.999, 5, "EBRE", -1},
                 {150, 6, "EBRE", -1}, {150, 5, "BELL", -1},     {150, 6, "BELL", 2},
                 {150, 5, "EBR ", -1}};
    for (const auto& c : cases) {
        const DdfRecord* d = find_ddf(ddf, c.t, c.iprn, c.rec);
        EXPECT_EQ(d == nullptr ? -1 : static_cast<int>(d - ddf.data()), c.which) << c.t << " " << c.rec;
    }
}

// A run with its log and output in a scratch directory that is also the working directory, where the
// daily files are looked for.
class EpochControl : public ::testing::Test {
  protected:
    EpochControl() : old_cwd_(fs::current_path()) {
        fs::current_path(dir_.path());
        run_ = std::make_unique<frame::Run>();
        EXPECT_TRUE(run_->log.open_named(dir_.path("test.log")));
        EXPECT_TRUE(run_->out.open(dir_.path("stdout")));
        frame::Config& cfg = run_->cfg;
        cfg.idtsec_pre = 30;
        cfg.hionokm = 450;
        cfg.hionokm_rover_sp3 = 700;
        cfg.external_sflux_if_positive = -1;
        cfg.dtsec_xyzmax = 60;
        cfg.dtdjmxyz_max = 60.0 / 86400;
        cfg.dtdjmxyz_max2 = cfg.dtdjmxyz_max * cfg.dtdjmxyz_max;
        run_->k.hionokm1 = cfg.hionokm;
        dir_.write("refsat.02-01-30", "0 10800 13\n10800 21600 10\n");
        dir_.write("refsat.02-01-31", "0 86400 4\n");
    }
    ~EpochControl() override {
        run_.reset();
        fs::current_path(old_cwd_);
    }

    // Sets the observation of `rec` (slot irec) to PRN iprn at second tsec of 2002-01-`day`, runs the
    // epoch control and counts the observation in as the chain does.
    void observe(int iprn, double tsec, int irec = 1, int day = 30, std::int32_t ierr = 0) {
        messages::Observation& ob = run_->obs.ob;
        run_->obs.itsecdayobs9_preceding = run_->obs.itsecdayobs9;
        ob.iprn = iprn;
        ob.iyy = 2, ob.imo = 1, ob.ida = day;
        ob.iyearobs = 2002, ob.idoyobs = day;
        ob.tsecdayobs = tsec;
        ob.itsecdayobs = static_cast<std::int32_t>(tsec + 0.5);
        run_->obs.itsecdayobs9 = ob.itsecdayobs;
        ob.tdjmobs = static_cast<__float128>(mjd_of(2002, 1, day)) + static_cast<__float128>(tsec / 86400.0);
        ob.irec = irec;
        ob.rec = irec == 1 ? "BELL" : "EBRE";
        ob.ierr = ierr;
        chain::epoch_control(*run_);
        ++run_->st.konobs;
    }
    std::vector<std::string> log_lines() {
        run_->log.flush();
        return lines_of(dir_.read("test.log"));
    }
    std::vector<std::string> out_lines() {
        run_->out.flush();
        return lines_of(dir_.read("stdout"));
    }

    TempDir dir_;
    fs::path old_cwd_;
    std::unique_ptr<frame::Run> run_;
};

TEST_F(EpochControl, SameEpochOpensItOnceAndFollowsTheDay) {
    run_->st.narch(1, 13) = 3;
    observe(13, 0.0, 1);
    observe(4, 0.0000004, 2); // same epoch: the receivers' tags differ by less than half a second
    EXPECT_TRUE(!run_->epoch.new_epoch && !run_->epoch.new_day);
    EXPECT_FALSE(run_->st.isrefsat);
    auto log = log_lines();
    EXPECT_EQ(count_lines(log, " NEW EPOCH: Looking for pseudorange solutions"), 1);
    EXPECT_EQ(count_lines(log, "  READ reference satellites="), 1);
    EXPECT_EQ(count_lines(log, " 1 0 10800 13"), 1);
    EXPECT_EQ(count_lines(log, " refsat,iper_refsat,idtsec,itsecdayobs=  13 1 0 0"), 1);
    EXPECT_EQ(count_lines(log, " iprn,refsat,isrefsat=  13 13 T"), 1);
    EXPECT_EQ(count_lines(log, " iprn,refsat,isrefsat=  4 13 F"), 1);
    EXPECT_EQ(count_lines(log, " WARNING: error opening file_ddf=  ddf.02-01-30.sum"), 1);
    EXPECT_EQ(count_lines(out_lines(), " ddf.02-01-30.sum"), 1);
    EXPECT_EQ(run_->st.narch0(1, 13), -99); // no snapshot without a change of epoch

    run_->st.narch(1, 13) = 4;
    observe(13, 10800.0, 1); // new epoch, same day, next period
    EXPECT_TRUE(run_->epoch.new_epoch);
    EXPECT_FALSE(run_->epoch.new_day);
    EXPECT_EQ(run_->epoch.idtsec, 10800);
    EXPECT_EQ(run_->epoch.refsat, 10);
    EXPECT_EQ(run_->st.narch0(1, 13), 4); // the preceding message was on the 30 s grid
    log = log_lines();
    EXPECT_EQ(count_lines(log, " NEW EPOCH: Looking for pseudorange solutions"), 2);
    EXPECT_EQ(count_lines(log, "  READ reference satellites="), 1);
    EXPECT_EQ(count_lines(log, " refsat,iper_refsat,idtsec,itsecdayobs=  10 2 10800 10800"), 1);

    observe(13, 21600.0, 1); // outside every period
    EXPECT_EQ(run_->epoch.refsat, -99);
    EXPECT_EQ(run_->epoch.iper_refsat, 3);

    observe(4, 0.0, 1, 31); // next day: its own files
    EXPECT_TRUE(run_->epoch.new_day);
    EXPECT_EQ(run_->epoch.refsat, 4);
    EXPECT_TRUE(run_->st.isrefsat);
    EXPECT_EQ(run_->epoch.iddoy, 1);
    EXPECT_EQ(run_->st.idoyobs0, 31);
    EXPECT_EQ(count_lines(out_lines(), " ddf.02-01-31.sum"), 1);
}

TEST_F(EpochControl, ArcSnapshotNeedsThePrecedingMessageOnTheGrid) {
    observe(13, 0.0);
    run_->st.narch(2, 7) = 9;
    run_->obs.itsecdayobs9 = 15; // the preceding message was off the grid
    observe(13, 30.0);
    EXPECT_EQ(run_->st.narch0(2, 7), -99);
    observe(13, 60.0); // the preceding one (30 s) was on it
    EXPECT_EQ(run_->st.narch0(2, 7), 9);
}

TEST_F(EpochControl, MissingReferenceFileStops) {
    fs::remove(dir_.path("refsat.02-01-30"));
    try {
        observe(13, 0.0);
        FAIL() << "no stop";
    } catch (const frame::Stop& s) {
        EXPECT_EQ(s.message(), "ERROR opening file_refsat");
    }
    EXPECT_EQ(count_lines(log_lines(), " ERROR opening file_refsat =  refsat.02-01-30"), 1);
}

TEST_F(EpochControl, UnreadableOrOverfullDailyFilesStop) {
    const struct {
        const char* file;
        std::string text;
        const char* stop;
    } cases[] = {
        {"refsat.02-01-30", "0 900 x\n", "ERROR reading file_refsat"},
        {"ddf.02-01-30.sum", "0 900 5 BELL 1 2\n", "ERROR reading file_ddf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        dir_.write("refsat.02-01-30", "0 10800 13\n");
        dir_.write(c.file, c.text);
        run_->st.konobs = 0;
        try {
            observe(13, 0.0);
            FAIL() << "no stop";
        } catch (const frame::Stop& s) {
            EXPECT_EQ(s.message(), c.stop);
        }
        fs::remove(dir_.path("ddf.02-01-30.sum"));
    }
    std::string many;
    for (int i = 0; i <= maxper_refsat; ++i) many += "0 1 1\n";
    dir_.write("refsat.02-01-30", many);
    run_->st.konobs = 0;
    try {
        observe(13, 0.0);
        FAIL() << "no stop";
    } catch (const frame::Stop& s) {
        EXPECT_EQ(s.message(), "ERROR reading file_refsat: more than 96 periods");
    }
}

TEST_F(EpochControl, DdfMatchForTheReferenceNetwork) {
    dir_.write("ddf.02-01-30.sum", ddf_line(0, 30, 13, "BELL") + "\n");
    observe(13, 0.0); // no reference receiver yet: no match attempted
    EXPECT_FALSE(run_->epoch.is_there_ddf);
    EXPECT_EQ(run_->epoch.nddf, 1);
    run_->st.irefrec = 2;
    observe(13, 30.0);
    EXPECT_TRUE(run_->epoch.is_there_ddf);
    EXPECT_EQ(run_->epoch.idbw(1), 11);
    EXPECT_EQ(run_->epoch.idbw(4), 14);
    EXPECT_EQ(run_->epoch.idbc(2), 22);
    EXPECT_EQ(run_->epoch.idbi(3), 33);
    EXPECT_EQ(run_->epoch.ddbw_fixed, -2.5);
    EXPECT_EQ(run_->epoch.ddbc_fixed, 0.125);
    EXPECT_EQ(run_->epoch.ddbi_fixed, 7.0);
    const auto log = log_lines();
    for (const char* l : {" idBw=  11 12 13 14", " ddBw_fixed=  -2.5", " idBc=  21 22 23 24",
                          " ddBc_fixed=  0.125", " idBi=  31 32 33 34", " ddBi_fixed=  7.0", " nddf=  1"})
        EXPECT_EQ(count_lines(log, l), 1) << l;
    EXPECT_TRUE(has_line_starting(log, " iddf =  1 0.0 30.0 13 BELL 1 2 3 4 13 BELL 11"));
    observe(13, 60.0); // past the record's end
    EXPECT_FALSE(run_->epoch.is_there_ddf);
    EXPECT_EQ(count_lines(out_lines(), " nddf=  1"), 1);
}

TEST_F(EpochControl, SolarFluxOfTheDay) {
    run_->aux.sflux.sflux(2002, 30) = 231.5;
    run_->aux.sflux.ssn(2002, 30) = 160;
    const struct {
        bool model;
        double external;
        double sflux1, ssn1;
    } cases[] = {
        {false, 100.0, -99.9, -99.9}, {true, 0.001, 231.5, 160}, // not positive enough: the table
        {true, 0.0011, 0.0011, 160},                             // the sunspot number stays
        {true, -1.0, 231.5, 160},     {true, 88.0, 88.0, 160},
    };
    for (const auto& c : cases) {
        run_->cfg.model_apriori_iono = c.model;
        run_->cfg.external_sflux_if_positive = c.external;
        observe(13, 0.0);
        EXPECT_EQ(run_->epoch.sflux1, c.sflux1) << c.model << " " << c.external;
        EXPECT_EQ(run_->epoch.ssn1, c.ssn1) << c.model << " " << c.external;
    }
}

TEST_F(EpochControl, SolarFluxYearOutsideTheTableStops) {
    run_->cfg.model_apriori_iono = true;
    run_->cfg.external_sflux_if_positive = 0;
    for (int year : {1961, 2021, 0}) {
        run_->obs.ob.iyearobs = year;
        try {
            // A line refused before its date was read keeps the year it had.
            run_->obs.ob.idoyobs = 30;
            chain::epoch_control(*run_);
            FAIL() << year;
        } catch (const frame::Stop& s) {
            EXPECT_EQ(s.message(), "ERROR: epoch out of range of sfluxfile");
        }
    }
    EXPECT_EQ(count_lines(log_lines(), " ERROR: epoch out of range of sfluxfile"), 3);
    run_->aux.sflux.sflux(1962, 1) = 70;
    run_->obs.ob.iyearobs = 1962;
    run_->obs.ob.idoyobs = 1;
    run_->obs.ob.iyy = 62; // its own day file
    run_->obs.ob.imo = run_->obs.ob.ida = 1;
    dir_.write("refsat.62-01-01", "");
    chain::epoch_control(*run_);
    EXPECT_EQ(run_->epoch.sflux1, 70);
}

TEST_F(EpochControl, RealTimeRoverPositionAge) {
    run_->obs.ob.rover_rt = true;
    const struct {
        bool is_xyz_read;
        double age;
        bool stops;
    } cases[] = {// ages in seconds; the limit itself is compared in days, so it is left alone
                 {true, 59.0, false},
                 {true, 0.0, false},
                 {true, 60.01, true},
                 {true, -61.0, true},
                 {false, 0.0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.age);
        run_->st.is_xyz_read(1) = c.is_xyz_read;
        run_->st.tdjmxyz_reclst(1) =
            static_cast<__float128>(mjd_of(2002, 1, 30)) + static_cast<__float128>((300.0 - c.age) / 86400.0);
        const int before = run_->st.konobs_epoch_rover_rt;
        bool stopped = false;
        try {
            observe(13, 300.0);
        } catch (const frame::Stop& s) {
            stopped = true;
            EXPECT_EQ(s.message(), "ERROR: Non exist. or too old pseud. coord. estimate");
        }
        EXPECT_EQ(stopped, c.stops);
        EXPECT_EQ(run_->st.konobs_epoch_rover_rt, before + 1);
        EXPECT_NEAR(run_->epoch.dtdjmxyz * 86400, c.age, 1e-5);
    }
    const auto log = log_lines();
    EXPECT_EQ(count_lines(log, " ERROR: Non exist. or too old pseud. coord. estimate"), 3);
    EXPECT_EQ(count_lines(log, " is_xyz_read(irec)= F"), 1);
    EXPECT_TRUE(
        has_line_starting(log, " rec,irec,tdjmobs,tdjmxyz_reclst(irec),dtdjmxyz= BELL 1 52304.00347"));
}

TEST_F(EpochControl, RefusedLinesAreBookedAndRejected) {
    observe(13, 15.0, 1, 30, 2);
    // A PRN outside the tables and no receiver registered yet: nothing per pair is touched.
    run_->obs.ob.rover_rt = true;
    observe(40, 30.0, 0, 30, 4);
    EXPECT_EQ(run_->st.konobs_epoch_rover_rt, 0);
    EXPECT_FALSE(run_->st.isrefsat);
    const auto log = log_lines();
    EXPECT_EQ(count_lines(log, "WARNING: ierrro=  2 Rejected OB1 at iyy,imo,ida,itsecdayobs=  2  1 30    15"),
              1);
    EXPECT_EQ(count_lines(log, "WARNING: ierrro=  4 Rejected OB1 at iyy,imo,ida,itsecdayobs=  2  1 30    30"),
              1);
    EXPECT_EQ(count_lines(log, " NO es un ROVER_SP3.."), 0);
    EXPECT_EQ(count_lines(log, " hionokm1=  450.0"), 2);
    EXPECT_EQ(run_->epoch.idtsec, 15); // the epoch memory followed the refused line
}

TEST_F(EpochControl, RoverWithoutUsableOrbitIsLeftWithoutPosition) {
    run_->obs.ob.rover_sp3 = true;
    run_->obs.ob.irover_sp3_leo_id = 1;
    run_->st.is_xyz_read(1) = true;
    observe(13, 0.0); // empty rover table: the interpolation fails
    EXPECT_FALSE(run_->st.is_xyz_read(1));
    EXPECT_NE(run_->epoch.ierrps3c, 0);
    EXPECT_EQ(run_->epoch.hionokm1, 700);
    EXPECT_EQ(run_->k.hionokm1, 700);
    const auto log = log_lines();
    EXPECT_EQ(count_lines(log, "  Computing ROVER_LIKE position from given SP3 file"), 1);
    EXPECT_EQ(count_lines(log, " WARNING: Error in posat_s3c for ROVER_SP3"), 1);
    EXPECT_TRUE(has_line_starting(
        log, "WARNING: ierrps3c=  3 Rejected OB1 at iyy,imo,ida,itsecdayobs=  2  1 30     0"));
    run_->obs.ob.rover_sp3 = false;
    observe(13, 30.0);
    EXPECT_EQ(run_->epoch.hionokm1, 450);
}

TEST_F(EpochControl, RoverPositionFromItsOrbitFile) {
    // Object 7 of the rover file moves on a straight line, one record every 30 s for an hour: the
    // interpolation gives the line back, and its slope as the velocity.
    run_->cfg.iexpected_dtsec_rover_sp3file = 30;
    run_->cfg.dtsec2tol_rs3 = 0.01;
    auxfiles::PreciseOrbitTable& t = run_->rs3;
    const double mjd0 = mjd_of(2002, 1, 30);
    t.tdjms3c_0 = static_cast<__float128>(mjd0);
    const auto at = [](double s) {
        return std::array<double, 3>{7e6 + 100 * s, -2e6 + 50 * s, 1e6 - 20 * s};
    };
    for (int s = 0; s <= 3600; s += 30) {
        std::array<__float128, auxfiles::ncomp_s3c> c{};
        const auto p = at(s);
        for (int i = 0; i < 3; ++i) c[static_cast<std::size_t>(i)] = p[static_cast<std::size_t>(i)];
        c[4] = static_cast<__float128>(mjd0 + s / 86400.0);
        ASSERT_TRUE(t.store(7, s + 1, c, true));
        ++t.nepochs3c;
    }
    run_->obs.ob.rover_sp3 = true;
    run_->obs.ob.irover_sp3_leo_id = 7;
    observe(13, 1800.0, 2);
    EXPECT_EQ(run_->epoch.ierrps3c, 0);
    EXPECT_TRUE(run_->st.is_xyz_read(2));
    const auto p = at(1800);
    const std::array<double, 3> v{100, 50, -20};
    for (int iz = 1; iz <= 3; ++iz) {
        EXPECT_NEAR(run_->sta.recxyz0_(iz, 2), p[static_cast<std::size_t>(iz - 1)], 1e-4) << iz;
        EXPECT_NEAR(run_->epoch.vrover_sp3[static_cast<std::size_t>(iz - 1)],
                    v[static_cast<std::size_t>(iz - 1)], 1e-6)
            << iz;
    }
    const auto log = log_lines();
    EXPECT_TRUE(has_line_starting(log, " ROVER_SP3: iz,irec,recxyz0_(iz,irec)= 1 2 71799"));
    EXPECT_TRUE(has_line_starting(log, " ROVER_SP3: iz,irec,recxyz0_(iz,irec)= 3 2 96"));
    EXPECT_EQ(count_lines(log, " hionokm1=  700.0"), 1);
}

TEST_F(EpochControl, TraceShowsTheSolarFlux) {
    run_->cfg.trace = true;
    observe(13, 0.0);
    const auto out = out_lines();
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], " ");
    EXPECT_EQ(out[1], " TRACE_ sflux1,ssn1=  -99.9 -99.9");
    EXPECT_EQ(out[2], " ");
}

TEST_F(EpochControl, SilentLogKeepsOnlyTheDailyAndErrorLines) {
    run_->log.silent = true;
    observe(13, 15.0, 1, 30, 2);
    const auto log = log_lines();
    EXPECT_EQ(count_lines(log, " NEW EPOCH: Looking for pseudorange solutions"), 0);
    EXPECT_FALSE(has_line_starting(log, "WARNING: ierrro="));
    EXPECT_FALSE(has_line_starting(log, " hionokm1="));
    EXPECT_FALSE(has_line_starting(log, " iprn,refsat,isrefsat="));
    EXPECT_EQ(count_lines(log, " WARNING: error opening file_ddf=  ddf.02-01-30.sum"), 1);
}

} // namespace
