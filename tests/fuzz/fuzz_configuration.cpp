// The configuration file (namelist input of nine groups) as the program reads it at start-up.
#include <cstdint>

#include "frame/config.hpp"
#include "frame/log.hpp"
#include "frame/stop.hpp"
#include "fuzz/fuzz_support.hpp"

using namespace quelmar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::enter_scratch_directory();
    fuzz::write_file(frame::config_file_name, data, size);
    frame::Config cfg;
    frame::Log log;
    log.open_named("/dev/null");
    try {
        frame::read_configuration(cfg, log, std::string(40, ' '), false);
    } catch (const frame::Stop&) {
    }
    return 0;
}
