// The tools' readers of public formats: RINEX observation and navigation files, SP3 orbits, BLQ
// ocean-loading files. The first byte chooses the reader, the rest is the file; a file that is not of
// its format must give the reader's error, nothing else.
#include <cstdint>
#include <exception>
#include <string>

#include "../../tools/lib/blq.hpp"
#include "../../tools/lib/rinex.hpp"
#include "../../tools/lib/sp3.hpp"
#include "fuzz/fuzz_support.hpp"

using namespace quelmar::tools;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    quelmar::fuzz::enter_scratch_directory();
    const std::string f = "input.txt";
    quelmar::fuzz::write_file(f, data + 1, size - 1);
    try {
        switch (data[0] % 4) {
        case 0: { rinex::ObsReader r; r.open(f); rinex::ObsEpoch e; while (r.next(e)) {} break; }
        case 1: { rinex::NavReader r; r.open(f); rinex::GpsNavRecord g; while (r.next(g)) {} break; }
        case 2: { sp3::File s; std::string why; sp3::read_file(f, s, why); break; }
        default: blq::read_file(f);
        }
    } catch (const std::exception&) {
    }
    return 0;
}
