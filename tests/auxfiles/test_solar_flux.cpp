// The daily solar-flux and sunspot table.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "auxfiles/solar_flux.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "support/test_support.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;
namespace fs = std::filesystem;
using namespace quelmar::testing_support;

namespace {

class SolarFlux : public ScratchFixture {
  protected:
    std::string put(const std::string& text) const { return config_name(dir_.write("flux.txt", text)); }
    // Days holding data.
    static int days_with_data(const SolarFluxTable& t) {
        int n = 0;
        for (int y = iyearmin_sflux; y <= iyearmax_sflux; ++y)
            for (int d = 1; d <= ndoy_sflux; ++d) n += t.sflux(y, d) != -999.0 || t.ssn(y, d) != -999.0;
        return n;
    }
};

TEST_F(SolarFlux, StoresEachRecordOnItsDay) {
    SolarFluxTable t;
    int ierr = -1;
    read_sfluxfile_v2(put("1962 1 29 91.2\n"
                          "2008 148 0 67.9\n"
                          "2019 366 1.5 70.25\n" // day 366 of a year without one: stored as given
                          "2020,366,3,71\n"
                          "2005 10 20 80\n"
                          "2005 10 21 81\n"                   // later record for the same day wins
                          "2000 60 5.5 150.0 2000 61 6 151\n" // the rest of a record is not read
                          "2001 32\n 7.5\n 160.5\n"),         // one record may span several lines
                      t, ierr, log_);
    EXPECT_EQ(ierr, 0);
    const struct {
        int y, d;
        double ssn, flux;
    } expect[] = {{1962, 1, 29, 91.2},    {2008, 148, 0, 67.9},   {2019, 366, 1.5, 70.25},
                  {2020, 366, 3, 71},     {2005, 10, 21, 81},     {2000, 60, 5.5, 150},
                  {2001, 32, 7.5, 160.5}, {2000, 61, -999, -999}, {2020, 1, -999, -999},
                  {2008, 147, -999, -999}};
    for (const auto& e : expect) {
        EXPECT_EQ(t.ssn(e.y, e.d), e.ssn) << e.y << " " << e.d;
        EXPECT_EQ(t.sflux(e.y, e.d), e.flux) << e.y << " " << e.d;
    }
    EXPECT_EQ(days_with_data(t), 7);
    EXPECT_TRUE(captured_.lines().empty());
}

TEST_F(SolarFlux, EachReadClearsTheTableFirst) {
    SolarFluxTable t;
    int ierr = -1;
    read_sfluxfile_v2(put("2008 148 0 67.9\n"), t, ierr, log_);
    read_sfluxfile_v2(put("2008 149 1 68.9\n"), t, ierr, log_);
    EXPECT_EQ(t.sflux(2008, 148), -999.0);
    EXPECT_EQ(t.sflux(2008, 149), 68.9);
    read_sfluxfile_v2(put(""), t, ierr, log_);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(days_with_data(t), 0);
}

TEST_F(SolarFlux, RangeReadAndOpenFailuresStopTheRun) {
    const struct {
        const char* text; // nullptr: no file
        int status;
        std::string stop;
        std::vector<std::string> lines;
    } cases[] = {
        {"2008 148 0 67.9\n2021 1 10 70\n",
         0,
         "ERROR: iyear or idoy out or range in sfluxfile",
         {" ERROR: iyear or idoy out or range in sfluxfile", " iyear1,idoy1= 2021 1"}},
        {"1961 365 10 70\n",
         0,
         "ERROR: iyear or idoy out or range in sfluxfile",
         {" ERROR: iyear or idoy out or range in sfluxfile", " iyear1,idoy1= 1961 365"}},
        {"2000 0 10 70\n",
         0,
         "ERROR: iyear or idoy out or range in sfluxfile",
         {" ERROR: iyear or idoy out or range in sfluxfile", " iyear1,idoy1= 2000 0"}},
        {"2000 367 10 70\n",
         0,
         "ERROR: iyear or idoy out or range in sfluxfile",
         {" ERROR: iyear or idoy out or range in sfluxfile", " iyear1,idoy1= 2000 367"}},
        {"08 148 10 70\n",
         0,
         "ERROR: iyear or idoy out or range in sfluxfile", // years have four digits
         {" ERROR: iyear or idoy out or range in sfluxfile", " iyear1,idoy1= 8 148"}},
        {"2008 148 0 67.9\n2008 149 x 70\n", 2, "ERROR: reading sfluxfile", {" ERROR: reading sfluxfile"}},
        {"2008 148.5 0 67.9\n", 2, "ERROR: reading sfluxfile", {" ERROR: reading sfluxfile"}},
        {"99999999999 1 0 0\n", 2, "ERROR: reading sfluxfile", {" ERROR: reading sfluxfile"}},
        {nullptr, 1, "ERROR: opening sfluxfile ", {" ERROR: opening sfluxfile "}},
    };
    for (const auto& c : cases) {
        log_.restart();
        fs::remove(dir_.path("flux.txt"));
        const std::string f = c.text ? put(c.text) : dir_.path("flux.txt");
        SolarFluxTable t;
        int ierr = -1;
        SCOPED_TRACE(c.text ? c.text : "(no file)");
        try {
            read_sfluxfile_v2(f, t, ierr, log_);
            ADD_FAILURE() << "no stop";
        } catch (const frame::Stop& s) {
            EXPECT_EQ(s.message(), c.stop);
        }
        EXPECT_EQ(ierr, c.status);
        EXPECT_EQ(captured_.lines(), c.lines);
    }
}

TEST_F(SolarFlux, TableLimits) {
    EXPECT_TRUE(SolarFluxTable::contains(1962, 1));
    EXPECT_TRUE(SolarFluxTable::contains(2020, 366));
    EXPECT_FALSE(SolarFluxTable::contains(1961, 366));
    EXPECT_FALSE(SolarFluxTable::contains(2021, 1));
    EXPECT_FALSE(SolarFluxTable::contains(2000, 0));
    EXPECT_FALSE(SolarFluxTable::contains(2000, 367));
    // The corners are distinct cells.
    SolarFluxTable t;
    t.ssn(1962, 1) = 1;
    t.ssn(1962, 366) = 2;
    t.ssn(1963, 1) = 3;
    t.ssn(2020, 366) = 4;
    EXPECT_EQ(t.ssn(1962, 1) + t.ssn(1962, 366) + t.ssn(1963, 1) + t.ssn(2020, 366), 10.0);
    EXPECT_EQ(t.sflux(2020, 366), -999.0);
}

} // namespace
