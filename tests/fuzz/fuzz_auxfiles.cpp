// Every auxiliary and daily file reader: the first byte chooses the reader, the rest is the file.
#include <cstdint>
#include <string>
#include <vector>

#include "auxfiles/antex.hpp"
#include "auxfiles/constellation_status.hpp"
#include "auxfiles/pcv.hpp"
#include "auxfiles/precise_orbits.hpp"
#include "auxfiles/role_lists.hpp"
#include "auxfiles/solar_flux.hpp"
#include "auxfiles/voxel_centers.hpp"
#include "chain/day_files.hpp"
#include "frame/stop.hpp"
#include "fuzz/fuzz_support.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzz::enter_scratch_directory();
    const std::string f = "input.txt";
    fuzz::write_file(f, data + 1, size - 1);
    frame::Log log;
    log.open_named("/dev/null");
    frame::TextSink out;
    int ierr = 0;
    try {
        switch (data[0] % 10) {
        case 0: { PcvTable t; read_pcv(f, t, log); break; }
        case 1: { AntexTables t; read_antex_v2b(f, t, log, out); break; }
        case 2: { PreciseOrbitTable t; read_s3e(f, 900, t, 1e-4, true, true, log); break; }
        case 3: { StationNames n; int k = 0; read_to_estimate_xyz(n, k, f, ierr, log); std::string r; read_reference_rec(r, f, ierr, log); break; }
        case 4: { StationNames n; int k = 0; LeoOffsets o; const std::string rovers[] = {"l12a", "05ab"};
                  read_leocm2pc(f, rovers, 2, n, k, o, ierr, log); break; }
        case 5: { SolarFluxTable t; read_sfluxfile_v2(f, t, ierr, log); break; }
        case 6: { VoxelGrid g; read_iono_voxel_centers(f, 60.0, 1000.0, g, ierr, log); break; }
        case 7: { ConstellationStatus g; read_gcs(f, g, ierr, log); break; }
        case 8: { chain::RefsatPeriods p; std::string why; chain::read_refsat_file(f, p, why); break; }
        default: { std::vector<chain::DdfRecord> d; std::string why; chain::read_ddf_file(f, d, nullptr, why); break; }
        }
    } catch (const frame::Stop&) {
    }
    return 0;
}
