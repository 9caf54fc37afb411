// The message dispatcher of a started run (both modes, the example's configuration and files): every
// line of the input goes through it. A stop ends the run's message state, which then starts afresh.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "frame/run.hpp"
#include "frame/stop.hpp"
#include "fuzz/fuzz_support.hpp"

using namespace quelmar;

namespace {

std::unique_ptr<frame::Run> started(bool rover) {
    char prog[] = "quelmar", arg[] = "rover";
    char* argv[] = {prog, arg, nullptr};
    auto run = std::make_unique<frame::Run>();
    frame::startup(*run, rover ? 2 : 1, argv);
    run->log.silent = true;
    run->log.open_named("/dev/null"); // warnings of damaged lines would fill a long run's disk
    run->out.open("/dev/null");
    return run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::unique_ptr<frame::Run> runs[2];
    if (!runs[0]) {
        fuzz::enter_scratch_directory();
        namespace fs = std::filesystem;
        for (const auto& e : fs::directory_iterator(fs::path(QUELMAR_SOURCE_DIR) / "examples"))
            fs::copy_file(e.path(), e.path().filename(), fs::copy_options::overwrite_existing);
        runs[0] = started(false);
        runs[1] = started(true);
    }
    if (size == 0) return 0;
    frame::Run& run = *runs[data[0] & 1];
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        try {
            frame::dispatch(run, line);
        } catch (const frame::Stop&) {
            run.st = {}, run.reg = {}, run.irec = 0, run.sta = {}, run.eph = {}, run.cds = {};
            run.obs = {}, run.epoch = {}, run.chain = {};
        }
        at = end + 1;
    }
    return 0;
}
