// Opening the auxiliary files that are read in free form (role lists, flux table, voxel centres,
// constellation status).
#pragma once

#include <fstream>
#include <string>

namespace quelmar::auxfiles {

// Opens `name` (a blank-padded file name) for reading when it names an existing regular file; a blank
// name, a missing file or a directory cannot be opened.
bool open_existing_file(const std::string& name, std::ifstream& in);

} // namespace quelmar::auxfiles
