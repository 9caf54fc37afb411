// Damaged and garbage lines of every message type through the dispatcher of a started run, in both
// modes: each line is applied, rejected, or stops the run with a one-line message; nothing crashes or
// reads out of bounds (the sanitizer build runs this too). After a stop the message state starts afresh.
#include <gtest/gtest.h>

#include <memory>

#include "frame/run.hpp"
#include "frame/stop.hpp"
#include "support/support.hpp"

using namespace quelmar;
using namespace quelmar::test;

TEST(DispatchRobustness, DamagedLinesNeverCrashAndStopWithOneLine) {
    Workdir w;
    w.put_example(replaced(Workdir::example("quelmar_v2.2.0.nml"), "silent_log = .false.", "silent_log = .true."));
    struct Cwd {
        fs::path old = fs::current_path();
        ~Cwd() { fs::current_path(old); }
    } cwd;
    fs::current_path(w.path());
    std::vector<std::string> templates = lines_of(Workdir::example("messages.txt"));
    for (const char* code : {"OT2 ", "CDS ", "EXG ", "EXI "}) // the codes the example stream lacks
        templates.push_back(code + templates[0].substr(4));
    static const std::string alphabet = "0123456789 +-.EDedTFx*/,'\"!&\t\r";
    Rng g(20261206);
    long lines = 0, stops = 0;
    for (const char* mode : {"", "rover"}) {
        char prog[] = "quelmar", arg[8] = {};
        std::snprintf(arg, sizeof arg, "%s", mode);
        char* argv[] = {prog, arg, nullptr};
        auto run = std::make_unique<frame::Run>();
        frame::startup(*run, *mode ? 2 : 1, argv);
        ASSERT_TRUE(run->out.open("out.txt"));
        for (int i = 0; i < 20000; ++i, ++lines) {
            std::string s = templates[static_cast<std::size_t>(g.range(0, templates.size() - 1))];
            for (auto k = g.range(1, 4); k > 0; --k) {
                const auto at = s.empty() ? 0 : static_cast<std::size_t>(g.range(0, s.size() - 1));
                switch (g.range(0, 3)) {
                case 0: if (!s.empty()) s[at] = alphabet[g.range(0, alphabet.size() - 1)]; break;
                case 1: if (!s.empty()) s[at] = static_cast<char>(g.range(0, 255)); break;
                case 2: s.resize(at); break;
                default: s.insert(at, s.substr(at, static_cast<std::size_t>(g.range(1, 20))));
                }
            }
            try {
                frame::dispatch(*run, s);
            } catch (const frame::Stop& stop) {
                ++stops;
                ASSERT_TRUE(!stop.has_message() || !stop.message().empty()) << s;
                ASSERT_EQ(stop.message().find('\n'), std::string::npos) << s;
                run->st = {}, run->reg = {}, run->irec = 0, run->sta = {}, run->eph = {}, run->cds = {};
                run->obs = {}, run->epoch = {}, run->chain = {};
            }
        }
    }
    std::printf("dispatch robustness: %ld lines, %ld stops\n", lines, stops);
    EXPECT_GT(stops, 0);
    EXPECT_LT(stops, lines / 2);
}
