// Reading a text file into lines, for the benchmarks' inputs.
#pragma once

#include <fstream>
#include <string>
#include <vector>

namespace quelmar::bench_support {

inline std::vector<std::string> lines_of_file(const std::string& name) {
    std::vector<std::string> v;
    std::ifstream in(name);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
}

} // namespace quelmar::bench_support
