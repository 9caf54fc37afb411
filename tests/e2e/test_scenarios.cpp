// End-to-end scenarios: the program run as a user runs it, in a scratch directory holding the embedded
// example's files, on a message stream, with standard output, standard error and the log checked
// against what the scenario expects. The scenarios are data: tests/e2e/scenarios/*.txt.
//
// A file holds cases; lines before the first case apply to every case of the file.
//   == name                 a new case
//   config FROM => TO       the first FROM of the example configuration becomes TO
//   file NAME               the "| " lines that follow are the file's content ("|" alone: empty line)
//   file NAME *N            ... with its last line written N times (a grid of identical points)
//   rm NAME / mkdir NAME    remove an example file / create a directory
//   args ARGS               command-line arguments
//   in                      the "| " lines that follow are standard input ("in crlf": each ends in CR LF)
//   example PREFIX          the lines of examples/messages.txt starting with PREFIX go to standard input
//                           (all of them without PREFIX), in the order of the steps
//   feed NAME               standard input comes from "sh NAME" (a file of the case) through a pipe
//   err TEXT                standard error is exactly TEXT and a newline ("err" alone: empty)
//   out has / log has       the "| " lines that follow appear there, consecutively and in this order
//   out is / log is         the "| " lines that follow are the whole text
//   out lacks TEXT / log lacks TEXT        no line contains TEXT
//   out count N TEXT / log count N TEXT    exactly N lines contain TEXT
//   exists NAME / absent NAME               a file of the working directory after the run, or none
//   content NAME            the "| " lines that follow are the whole content of that file
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/support.hpp"

namespace {

using namespace quelmar::test;

struct Step {
    std::string op, arg;            // "config", "file", "out has", ...; the rest of the line
    std::vector<std::string> block; // the "| " lines after it
};

struct Scenario {
    std::string name, file;
    std::vector<Step> steps;
};

std::vector<Scenario> load_scenarios() {
    std::vector<Scenario> all;
    const fs::path dir = fs::path(QUELMAR_SOURCE_DIR) / "tests" / "e2e" / "scenarios";
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".txt") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    static const char* ops[] = {"config",    "file",      "rm",        "mkdir",     "args",    "in",
                                "example",   "feed",      "err",       "out has",   "log has", "out is",
                                "log is",    "out lacks", "log lacks", "out count", "log count",
                                "exists",    "absent",    "content"};
    for (const auto& f : files) {
        std::vector<Step> common;
        std::vector<Step>* steps = &common;
        for (const std::string& line : lines_of(read_file(f))) {
            if (line.empty() || line[0] == '#') continue;
            if (line == "|" || line.rfind("| ", 0) == 0) {
                if (steps->empty()) throw std::runtime_error(f.string() + ": text before any step: " + line);
                steps->back().block.push_back(line.size() > 1 ? line.substr(2) : "");
                continue;
            }
            if (line.rfind("== ", 0) == 0) {
                all.push_back({line.substr(3), f.stem().string(), common});
                steps = &all.back().steps;
                continue;
            }
            Step s;
            for (const char* op : ops) {
                const std::string o = op;
                if (line == o || line.rfind(o + " ", 0) == 0) {
                    s.op = o;
                    s.arg = line.size() > o.size() ? line.substr(o.size() + 1) : "";
                }
            }
            if (s.op.empty()) throw std::runtime_error(f.string() + ": unknown step: " + line);
            steps->push_back(s);
        }
    }
    return all;
}

const std::vector<Scenario>& scenarios() {
    static const std::vector<Scenario> all = load_scenarios();
    return all;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) (s += l) += '\n';
    return s;
}

// True when `want` appears as consecutive lines of `text`.
bool has_block(const std::string& text, const std::vector<std::string>& want) {
    const auto lines = lines_of(text);
    return std::search(lines.begin(), lines.end(), want.begin(), want.end()) != lines.end();
}

long count_containing(const std::string& text, const std::string& piece) {
    const auto lines = lines_of(text);
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(piece) != std::string::npos; });
}

class Scenarios : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Scenarios, Run) {
    const Scenario& sc = scenarios()[GetParam()];
    Workdir w;
    std::string cfg = Workdir::example("quelmar_v2.2.0.nml");
    std::string args, input, feed;
    for (const Step& s : sc.steps)
        if (s.op == "config") {
            const auto arrow = s.arg.find(" => ");
            ASSERT_NE(arrow, std::string::npos) << s.arg;
            cfg = replaced(cfg, s.arg.substr(0, arrow), s.arg.substr(arrow + 4));
        }
    w.put_example(cfg);
    for (const Step& s : sc.steps) {
        if (s.op == "file") {
            const auto star = s.arg.find(" *");
            std::string text = joined(s.block);
            if (star != std::string::npos)
                for (long n = std::stol(s.arg.substr(star + 2)); n > 1; --n) text += s.block.back() + "\n";
            w.write(s.arg.substr(0, star), text);
        }
        if (s.op == "rm") fs::remove(w.path() / s.arg);
        if (s.op == "mkdir") fs::create_directories(w.path() / s.arg);
        if (s.op == "args") args = s.arg;
        if (s.op == "in")
            for (const auto& l : s.block) (input += l) += s.arg == "crlf" ? "\r\n" : "\n";
        if (s.op == "example")
            for (const auto& l : lines_of(Workdir::example("messages.txt")))
                if (l.rfind(s.arg, 0) == 0) (input += l) += '\n';
        if (s.op == "feed") feed = s.arg;
    }
    Workdir::Result r;
    if (feed.empty()) {
        r = w.run(input, args);
    } else {
        const Ran f = shell(w, "sh " + feed + " | " + shq(QUELMAR_BINARY) + " " + args);
        const bool rover = args == "rover" || args == "ROVER";
        r = {f.status, f.out, f.err, w.read(rover ? "quelmar_v2.2.0.rover.log" : "quelmar_v2.2.0.log")};
    }
    // Every end of the process, a stop included: status 0, and what was written ends with a whole record.
    EXPECT_EQ(r.status, 0);
    for (const std::string* t : {&r.out, &r.log, &r.err}) EXPECT_TRUE(t->empty() || t->back() == '\n');
    bool err_checked = false;
    for (const Step& s : sc.steps) {
        const bool on_out = s.op.rfind("out", 0) == 0;
        const std::string& text = on_out ? r.out : r.log;
        const char* where = on_out ? "standard output" : "the log";
        if (s.op == "exists" || s.op == "absent") {
            EXPECT_EQ(w.has(s.arg), s.op == "exists") << s.arg;
        } else if (s.op == "content") {
            EXPECT_EQ(w.read(s.arg), joined(s.block)) << s.arg;
        } else if (s.op == "err") {
            err_checked = true;
            EXPECT_EQ(r.err, s.arg.empty() ? "" : s.arg + "\n");
        } else if (s.op == "out has" || s.op == "log has") {
            EXPECT_TRUE(has_block(text, s.block)) << "not in " << where << ":\n" << joined(s.block);
        } else if (s.op == "out is" || s.op == "log is") {
            EXPECT_EQ(text, joined(s.block)) << where;
        } else if (s.op == "out lacks" || s.op == "log lacks") {
            EXPECT_EQ(count_containing(text, s.arg), 0) << where << " has: " << s.arg;
        } else if (s.op == "out count" || s.op == "log count") {
            const auto sp = s.arg.find(' ');
            EXPECT_EQ(count_containing(text, s.arg.substr(sp + 1)), std::stol(s.arg.substr(0, sp)))
                << where << ": " << s.arg;
        }
    }
    // A scenario that does not say otherwise runs to the end of its input.
    if (!err_checked) {
        EXPECT_EQ(r.err, "");
    }
    if (HasFailure()) {
        std::cout << "---- stdout\n" << r.out.substr(0, 6000) << "---- log\n" << r.log.substr(0, 6000)
                  << "---- stderr\n" << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(E2E, Scenarios, ::testing::Range<std::size_t>(0, scenarios().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& i) {
                             const Scenario& s = scenarios()[i.param];
                             std::string n = s.file + "_" + s.name;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

} // namespace
