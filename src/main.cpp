// quelmar: one stage of a GNSS processing pipeline. Reads the message stream on standard input and
// writes the measurement records on standard output.
#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    // The run frame (configuration, constants, message loop) is not in place yet: for now the
    // program reports the mode it was started in and counts the lines of its input stream.
    const std::string arg1 = argc > 1 ? argv[1] : "";
    const bool rover = arg1 == "rover" || arg1 == "ROVER";
    std::string line;
    long n = 0;
    while (std::getline(std::cin, line)) ++n;
    std::cout << " quelmar: mode " << (rover ? "rover" : "normal") << ", " << n << " input lines read\n";
    return 0;
}
