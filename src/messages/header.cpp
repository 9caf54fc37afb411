#include "messages/header.hpp"

#include "frame/stop.hpp"
#include "orbits/timescales.hpp"

namespace quelmar::messages {

std::string message_format(std::string_view header_descriptors, std::string_view payload_descriptors) {
    std::string f = "(";
    f += header_descriptors;
    if (!payload_descriptors.empty()) {
        f += ',';
        f += payload_descriptors;
    }
    f += ')';
    return f;
}

int four_digit_year(int iyy) {
    return iyy < 63 ? iyy + 2000 : iyy + 1900;
}

void yymmdd2yeardoydjm(int iyy, int mm, int idd, int& iyear, int& idoy, int& idjobs, frame::Log& log) {
    iyear = four_digit_year(iyy);

    // The calendar routine leaves the MJD untouched for a bad month: the log line then shows 0.
    double djobs = 0.0;
    int j = 0;
    orbits::sla_cldj(iyear, mm, idd, djobs, j);
    if (j != 0) {
        // The header cannot be placed in time; the values in the log say why.
        log.list("ERROR: in cldj");
        log.list("iyear,mm,idd,djobs,j=", iyear, mm, idd, djobs, j);
        throw frame::Stop::silent();
    }

    double dj1jan = 0.0;
    orbits::sla_cldj(iyear, 1, 1, dj1jan, j);
    if (j != 0) {
        log.list("ERROR: in cldj");
        log.list("iyear,1,1,dj1jan,j=", iyear, 1, 1, dj1jan, j);
        throw frame::Stop("ERROR: in cldj");
    }

    // Both MJDs are of 0h, hence whole numbers.
    idjobs = static_cast<int>(djobs);
    idoy = idjobs - static_cast<int>(dj1jan) + 1;
}

float128 header_tdjm(int idjm, int iho, int imi, double sec) {
    const double t = idjm + (iho + imi / 60.0 + sec / 3600.0) / 24.0;
    return float128(t);
}

void derive_header_times(MessageHeader& h, frame::Log& log) {
    yymmdd2yeardoydjm(h.iyy, h.imo, h.ida, h.iyear, h.idoy, h.idjm, log);
    h.tdjm = header_tdjm(h.idjm, h.iho, h.imi, h.sec);
}

} // namespace quelmar::messages
