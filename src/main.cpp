// quelmar: one stage of a GNSS processing pipeline. Reads the message stream on standard input and
// writes the measurement records on standard output; the log goes to a file of the working directory.
#include <cstdio>

#include "frame/run.hpp"
#include "frame/stop.hpp"

int main(int argc, char** argv) {
    using namespace quelmar::frame;
    Run run;
    try {
        startup(run, argc, argv);
        message_loop(run, stdin);
    } catch (const Stop& stop) {
        // Everything written so far stays written; the message goes to standard error.
        run.out.flush();
        run.log.flush();
        if (stop.has_message()) std::fprintf(stderr, "%s\n", stop.message().c_str());
    }
    run.out.flush();
    run.log.close();
    return 0;
}
