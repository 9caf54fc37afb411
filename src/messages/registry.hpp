// The station registry: receivers are not declared in advance; the first message that names one gives
// it the next free slot, and the slot identifies the receiver everywhere else.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/limits.hpp"
#include "util/array.hpp"

namespace quelmar::frame {
class Log;
}

namespace quelmar::messages {

struct StationRegistry {
    std::int32_t nrec = 0;              // slots in use, 0..maxrec
    Array1<std::string, maxrec> reclst; // four-character names in order of first appearance

    StationRegistry() { reclst.fill("    "); }
};

// Slot of `rec` (compared as four exact bytes, case and blanks included); a new name takes the next
// slot. A seventh distinct name stops the run ("ERROR: please increase maxrec accordingly").
void indexing_rec(std::string_view rec, std::int32_t& irec, StationRegistry& reg, frame::Log& log);

} // namespace quelmar::messages
