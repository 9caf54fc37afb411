#include "messages/registry.hpp"

#include "frame/log.hpp"
#include "frame/stop.hpp"

namespace quelmar::messages {

void indexing_rec(std::string_view rec, std::int32_t& irec, StationRegistry& reg, frame::Log& log) {
    for (std::int32_t i = 1; i <= reg.nrec; ++i) {
        if (reg.reclst(i) == rec) {
            irec = i;
            return;
        }
    }
    const std::int32_t n = reg.nrec + 1;
    if (n > maxrec) {
        log.list("ERROR: nrec= ", n, " > maxrec=", maxrec);
        log.list("ERROR: please increase maxrec accordingly");
        throw frame::Stop("ERROR: please increase maxrec accordingly");
    }
    reg.nrec = n;
    reg.reclst(n) = std::string(rec);
    irec = n;
}

} // namespace quelmar::messages
