// The I/O limit of a run: the program's own input reader takes the day's message stream from standard
// input and its own output sink writes the records of a real run of that day (loaded beforehand from
// the file named on the command line) to standard output, the records spread over the input lines in
// proportion, so that the same number of lines and bytes leave as in the real run. Nothing is computed.
// The time of that loop (reading and writing only) is printed on standard error in seconds, with the
// line and byte counts: the pace no model could beat on this machine.
//
// Usage: io_limit RECORDED_OUTPUT < stream.txt > out.txt
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "frame/log.hpp"
#include "frame/run.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: io_limit RECORDED_OUTPUT < stream > out\n");
        return 2;
    }
    std::ifstream rec(argv[1], std::ios::binary);
    if (!rec) {
        std::fprintf(stderr, "io_limit: cannot open %s\n", argv[1]);
        return 2;
    }
    std::stringstream buf;
    buf << rec.rdbuf();
    const std::string text = buf.str();
    std::vector<std::string_view> lines;
    for (std::size_t p = 0; p < text.size();) {
        std::size_t e = text.find('\n', p);
        if (e == std::string::npos) e = text.size();
        lines.emplace_back(text.data() + p, e - p);
        p = e + 1;
    }
    // The number of input lines is known only at the end: the records are spread by the stream's size
    // in bytes instead, which the file system tells beforehand (a pipe gives no size: all at the end).
    std::fseek(stdin, 0, SEEK_END);
    const long in_bytes = std::ftell(stdin);
    std::fseek(stdin, 0, SEEK_SET);

    const auto t0 = std::chrono::steady_clock::now();
    quelmar::frame::TextSink out(stdout);
    std::string line;
    long long nin = 0, consumed = 0;
    std::size_t next = 0;
    while (quelmar::frame::read_input_line(stdin, line)) {
        ++nin;
        consumed += static_cast<long long>(line.size()) + 1;
        const std::size_t due =
            in_bytes > 0 ? static_cast<std::size_t>(static_cast<double>(lines.size()) * consumed / in_bytes) : 0;
        for (; next < due && next < lines.size(); ++next) out.line(lines[next]);
    }
    for (; next < lines.size(); ++next) out.line(lines[next]);
    out.flush();
    const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
    std::fprintf(stderr, "%.3f s, %lld input lines, %zu output lines, %zu output bytes\n", dt.count(), nin,
                 lines.size(), text.size() + (text.empty() || text.back() == '\n' ? 0 : 1));
    return 0;
}
