#include "auxfiles/files.hpp"

#include <filesystem>
#include <system_error>

#include "frame/config.hpp"

namespace quelmar::auxfiles {

bool open_existing_file(const std::string& name, std::ifstream& in) {
    const std::string path = frame::trimmed(name);
    if (path.empty()) return false;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    in.open(path);
    return in.is_open();
}

} // namespace quelmar::auxfiles
