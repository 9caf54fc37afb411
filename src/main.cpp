// quelmar: one stage of a GNSS pipeline. Reads the message stream on standard input and writes the
// measurement records on standard output; the log goes to a file of the working directory.
#include <cstdio>
#include <exception>

#include "frame/run.hpp"
#include "frame/stop.hpp"

#ifdef QUELMAR_STEP_PROFILE
#include <chrono>
#include <optional>
#endif

int main(int argc, char** argv) {
    using namespace quelmar::frame;
    Run run;
#ifdef QUELMAR_STEP_PROFILE
    std::optional<std::chrono::steady_clock::time_point> loop_start;
#endif
    try {
        startup(run, argc, argv);
#ifdef QUELMAR_STEP_PROFILE
        loop_start = std::chrono::steady_clock::now();
#endif
        message_loop(run, stdin);
    } catch (const Stop& stop) {
        // Everything written so far stays written; the message goes to standard error.
        run.out.flush();
        run.log.flush();
        if (stop.has_message()) std::fprintf(stderr, "%s\n", stop.message().c_str());
    } catch (const std::exception& e) {
        // Not a condition of the data (those stop with their own message): a failure of the machine,
        // such as memory running out. It ends the run the same way, keeping what was written.
        run.out.flush();
        run.log.flush();
        std::fprintf(stderr, "ERROR: run ended by an internal failure: %s\n", e.what());
    }
    // A downstream reader of fixed columns finds asterisks where a value did not fit its field: the
    // log says how many records hold such a field, so that they can be looked for.
    if (const std::size_t n = run.out.overflowed_records() + run.log.overflowed_records(); n > 0)
        run.log.list("WARNING: records with a field too narrow for its value (written as asterisks):"
                     " standard output", static_cast<long long>(run.out.overflowed_records()), "log",
                     static_cast<long long>(run.log.overflowed_records()));
    run.out.flush();
    run.log.close();
#ifdef QUELMAR_STEP_PROFILE
    if (loop_start) {
        const std::chrono::duration<double> loop = std::chrono::steady_clock::now() - *loop_start;
        std::fputs(quelmar::chain::step_profile_table(run.chain.profile, loop.count()).c_str(), stderr);
    }
#endif
    return 0;
}
