// quelmar: one stage of a GNSS pipeline. Reads the message stream on standard input and writes the
// measurement records on standard output; the log goes to a file of the working directory.
#include <cstdio>

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
    }
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
