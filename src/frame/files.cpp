#include "frame/files.hpp"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "frame/config.hpp"

namespace quelmar::frame {

bool is_readable_regular_file(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), R_OK) == 0;
}

bool open_existing_file(const std::string& name, std::ifstream& in) {
    const std::string path = trimmed(name);
    if (!is_readable_regular_file(path)) return false;
    in.open(path);
    return in.is_open();
}

} // namespace quelmar::frame
