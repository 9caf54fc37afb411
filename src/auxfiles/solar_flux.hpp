// The daily solar-flux and sunspot table used by the a priori ionosphere.
//
// The file holds records of four values in free (list-directed) form: year (four digits), day of
// year, sunspot number and solar flux (10.7 cm, in solar flux units). The table covers the years
// 1962..2020 and days 1..366; a day without a record keeps -999.0. A later record for the same day
// overwrites the earlier one. Day 366 is accepted for every year (it is simply stored).
#pragma once

#include <cassert>
#include <cstddef>
#include <string>
#include <vector>

namespace quelmar::frame {
class Log;
}

namespace quelmar::auxfiles {

constexpr int iyearmin_sflux = 1962;
constexpr int iyearmax_sflux = 2020;
constexpr int ndoy_sflux = 366;
constexpr double sflux_no_data = -999.0;

// ssn(year, day) and sflux(year, day), both -999.0 until a record sets them. The storage is on the
// heap (two 59 x 366 tables) so that the owner stays small.
class SolarFluxTable {
  public:
    SolarFluxTable();

    // Every day of both tables back to -999.0.
    void clear();

    static bool contains(int iyear, int idoy) {
        return iyear >= iyearmin_sflux && iyear <= iyearmax_sflux && idoy >= 1 && idoy <= ndoy_sflux;
    }

    // The caller checks contains() first.
    double& ssn(int iyear, int idoy) { return ssn_[index(iyear, idoy)]; }
    double ssn(int iyear, int idoy) const { return ssn_[index(iyear, idoy)]; }
    double& sflux(int iyear, int idoy) { return sflux_[index(iyear, idoy)]; }
    double sflux(int iyear, int idoy) const { return sflux_[index(iyear, idoy)]; }

  private:
    static std::size_t index(int iyear, int idoy) {
        assert(contains(iyear, idoy));
        return static_cast<std::size_t>(iyear - iyearmin_sflux) * ndoy_sflux +
               static_cast<std::size_t>(idoy - 1);
    }
    std::vector<double> ssn_, sflux_;
};

// Clears the table to -999.0 and reads `sfluxfile` into it. Status ierrrsf: 0 ok. Every failure stops
// the run (frame::Stop) after logging its message: a file that cannot be opened ("ERROR: opening
// sfluxfile ", status 1), a record that cannot be read ("ERROR: reading sfluxfile", status 2), and a
// year outside 1962..2020 or a day outside 1..366 ("ERROR: iyear or idoy out or range in sfluxfile",
// logged with the two values).
void read_sfluxfile_v2(const std::string& sfluxfile, SolarFluxTable& table, int& ierrrsf, frame::Log& log);

} // namespace quelmar::auxfiles
