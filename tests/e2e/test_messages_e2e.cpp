// The message readers through the program: a stream with a well-formed line of each type and its
// malformed twins; what reaches standard output and the log.
#include <gtest/gtest.h>

#include "e2e/e2e_util.hpp"

using namespace quelmar::e2e;

namespace {

// The example stream's lines, by their first characters.
std::string example_line(const std::string& start) {
    for (const auto& l : lines_of(read_file(fs::path(QUELMAR_SOURCE_DIR) / "examples" / "messages.txt")))
        if (l.rfind(start, 0) == 0) return l;
    ADD_FAILURE() << "no example line starts with " << start;
    return "";
}

std::string with(std::string line, std::size_t col, const std::string& text) {
    return line.replace(col - 1, text.size(), text); // columns from 1
}

TEST(MessagesE2E, GoodLinesAreCopiedBadTwinsRejected) {
    const std::string xyz = example_line("XYZ     2  1 30  0  0  0.0 BELL");
    const std::string ant = example_line("ANT     2  1 30  0  0  0.0 BELL");
    const std::string wlf = example_line("WLF     2  1 30  0  0  0.0 BELL");
    const std::string eph = example_line("EPH  1");
    const std::string ob1 = example_line("OB1  1");
    struct {
        std::string line;
        bool copied;
        const char* log; // a line the log must hold, or ""
    } cases[] = {
        {xyz, true, "  READ approx. rec. XYZ: recxyz0="},
        {ant, true, "    Recognized antenna type: ant_type_= TRM29659.00     NONE"},
        {with(ant, 69, "BLUE"), true, " WARNING: No radome matching is finally required"}, // second pass
        {with(ant, 53, "XXX"), true, " ERROR, no matching antenna type for receiver: BELL"},
        {with(ant, 9, "x"), false, " ERROR, rejected ANT: reading error"}, // a letter in the year
        {wlf, true, "  READ WaveLength Factors: irec,nrec,reclst="},
        {wlf.substr(0, 40), true,
         "                         : iwlf= 1 0 0 0 0 0 0 0 0"}, // missing trailing fields
        {with(wlf, 40, "a"), false, " ERROR, rejected WLF: reading error"},
        {"LEA     2  1 30  0  0  0.0     1x", false, " ERROR, rejected LEA: reading error"},
        {"lea     2  1 30  0  0  0.0     13", false, ""}, // lower case: not a message
        {eph, true, "  READ EPHemeris info: "},
        {with(eph, 30, "Q"), false, " ERROR, rejected EPH: reading error"},
        {"KLO     2  1 30", false, " WARNING: message KLO NOT CONSIDERED for now"},
        {"CDS  5  2  1 30  0  0  0.0000000 BELL", false, " WARNING, rejected CDS record (CPF mode)"},
        {ob1, true, ""}, // the reference receiver's observations are copied
        {with(ob1, 24, "5"), false,
         "WARNING: Observation rejected not fitting in     30 sec. downdating interval"},
        {with(ob1, 45, "x"), false, " ERROR: reading OBS input record"}, // a letter in the clock
    };
    std::string input;
    for (const auto& c : cases) input += c.line + "\n";
    Workdir w;
    w.put_example(config_without_antex());
    const RunResult r = w.run(input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const auto& c : cases) {
        const std::string copy = c.line.substr(0, c.line.find_last_not_of(' ') + 1);
        EXPECT_EQ(contains_line(r.out, copy), c.copied) << c.line;
        if (*c.log) {
            EXPECT_NE(r.log.find(c.log), std::string::npos) << c.log;
        }
    }
}

TEST(MessagesE2E, RunStoppingLines) {
    const std::string xyz = example_line("XYZ     2  1 30  0  0  0.0 BELL");
    const std::string ob1 = example_line("OB1  1");
    struct {
        std::string input;
        const char* args;
        const char* stop;
    } cases[] = {
        {with(xyz, 40, "z") + "\n", "", "ERROR, rejected XYZ: reading error"},
        {with(xyz, 11, "13") + "\n", "", ""}, // month 13: the log says why, no message
        {"EXG     2  1 30  0  0  0.0      6 AAAA BBBB CCCC DDDD EEEE FFFF\n" + xyz + "\n", "",
         "ERROR: please increase maxrec accordingly"},
        {with(ob1, 59, "5") + "\n", "", "ERROR: nobs.ne.4 .and. nobs.ne.6 [UNSUPPORTED]"},
        {"CDS  5  2  1 30  0  0  0.0000000 BELL  52304.00000x\n", "rover", "ERROR: reading CDS message"},
    };
    for (const auto& c : cases) {
        Workdir w;
        w.put_example(config_without_antex());
        const RunResult r = w.run(c.input, c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, *c.stop ? std::string(c.stop) + "\n" : std::string()) << c.input;
        if (!*c.stop) {
            EXPECT_NE(r.log.find("ERROR: in cldj"), std::string::npos) << r.log;
        }
    }
}

} // namespace
