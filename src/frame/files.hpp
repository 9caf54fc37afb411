// Opening input files by name. Every input of the run (configuration, auxiliary and daily files) is a
// regular file: a directory, a device such as /dev/zero or a pipe in its place is refused as if the
// file were missing, so that a wrong name gives the missing-file message instead of an endless read
// or a silently empty table.
#pragma once

#include <fstream>
#include <string>

namespace quelmar::frame {

// True when `path` (used as given) names an existing regular file, symbolic links followed, that this
// process may read.
bool is_readable_regular_file(const std::string& path);

// Opens `name` (blank-padded as the configuration holds it) for reading when it names a readable
// regular file.
bool open_existing_file(const std::string& name, std::ifstream& in);

} // namespace quelmar::frame
