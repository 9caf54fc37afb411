// Shared by the fuzz harnesses: a private working directory and the bytes of an input as a file.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace quelmar::fuzz {

// Enters a fresh directory under the temporary directory, once per process.
inline void enter_scratch_directory() {
    static bool done = false;
    if (done) return;
    std::string dir = (std::filesystem::temp_directory_path() / "quelmar-fuzz-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr || ::chdir(dir.c_str()) != 0) std::abort();
    done = true;
}

inline void write_file(const std::string& name, const std::uint8_t* data, std::size_t size) {
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

} // namespace quelmar::fuzz
