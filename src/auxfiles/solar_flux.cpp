#include "auxfiles/solar_flux.hpp"

#include <fstream>

#include "frame/files.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "textio/listread.hpp"

namespace quelmar::auxfiles {

namespace {

constexpr std::size_t table_size =
    static_cast<std::size_t>(iyearmax_sflux - iyearmin_sflux + 1) * static_cast<std::size_t>(ndoy_sflux);

[[noreturn]] void stop_with(const char* text, frame::Log& log) {
    log.list(text);
    throw frame::Stop(text);
}

} // namespace

SolarFluxTable::SolarFluxTable() : ssn_(table_size, sflux_no_data), sflux_(table_size, sflux_no_data) {}

void SolarFluxTable::clear() {
    ssn_.assign(table_size, sflux_no_data);
    sflux_.assign(table_size, sflux_no_data);
}

void read_sfluxfile_v2(const std::string& sfluxfile, SolarFluxTable& table, int& ierrrsf, frame::Log& log) {
    table.clear();
    ierrrsf = 0;
    std::ifstream in;
    if (!frame::open_existing_file(sfluxfile, in)) {
        ierrrsf = 1;
        stop_with("ERROR: opening sfluxfile ", log);
    }
    textio::ListReader r(in);
    for (;;) {
        int iyear1 = 0, idoy1 = 0;
        double ssn1 = 0.0, sflux1 = 0.0;
        const textio::ReadStatus st = r.read_numbers(iyear1, idoy1, ssn1, sflux1);
        if (st.iostat == textio::IoStat::end_of_file) return;
        if (!st.ok()) {
            ierrrsf = 2;
            stop_with("ERROR: reading sfluxfile", log);
        }
        if (!SolarFluxTable::contains(iyear1, idoy1)) {
            const char* text = "ERROR: iyear or idoy out or range in sfluxfile";
            log.list(text);
            log.list("iyear1,idoy1=", iyear1, idoy1);
            throw frame::Stop(text);
        }
        table.ssn(iyear1, idoy1) = ssn1;
        table.sflux(iyear1, idoy1) = sflux1;
    }
}

} // namespace quelmar::auxfiles
