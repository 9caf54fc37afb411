// The time-tag header shared by the one-line input messages, and the time values derived from it.
//
// Every message starts with its three-letter code and a blank, followed by a date and time with a
// two-digit year. Station and service messages (XYZ, ANT, AND, OT2, WLF, LEA, EXG, EXI) use layout S;
// observation and correction messages (OB1, CDS) use layout O, which also carries the PRN and the
// receiver name. Each reader builds its format from the layout's leading descriptors and its own
// payload descriptors, and reads header and payload in one pass.
#pragma once

#include <string>
#include <string_view>

#include "frame/log.hpp"

namespace quelmar::messages {

using float128 = __float128;

// Leading edit descriptors of every read format of the two header layouts.
struct HeaderLayout {
    // Layout S, columns 1-27: code and columns 5-6 skipped, then yy mo dd hh mi (i2 each after a
    // blank, columns 8-21), seconds f5.1 (columns 22-26) and a blank. The payload starts in column 28
    // (a4 receiver name, or i6 count/value for LEA, EXG, EXI).
    static constexpr std::string_view s = "6x,5(1x,i2),f5.1,1x";
    // Layout O, columns 1-37: code skipped, PRN i2 (columns 5-6), yy mo dd hh mi (i2 each after a
    // blank, columns 8-21), seconds F11.7 (columns 22-32), a blank, receiver name a (columns 34-37
    // when read into four characters).
    static constexpr std::string_view o = "4x,i2,1X,I2,4(1X,I2),F11.7,1X,a";
};

// A complete read format: "(" + header descriptors + "," + payload descriptors + ")", or just the
// header in parentheses when the payload is empty.
std::string message_format(std::string_view header_descriptors, std::string_view payload_descriptors);

// The decoded header of one message and the time values derived from it.
struct MessageHeader {
    int iprn = 0; // layout O only
    int iyy = 0;  // two-digit year
    int imo = 0;
    int ida = 0;
    int iho = 0;
    int imi = 0;
    double sec = 0.0;
    std::string rec = std::string(4, ' '); // receiver name (four characters)
    // Derived by derive_header_times.
    int iyear = 0;
    int idoy = 0;
    int idjm = 0;      // MJD of 0h of the date
    float128 tdjm = 0; // time tag, MJD on the time scale of the message
};

// Four-digit year of a two-digit year: 00..62 are 2000..2062, 63..99 are 1963..1999.
int four_digit_year(int iyy);

// Two-digit year, month and day to four-digit year, day of year and integer MJD. A date the calendar
// conversion rejects (month 13, day 32, ...) writes "ERROR: in cldj" and the values to the log and
// stops the run (frame::Stop).
void yymmdd2yeardoydjm(int iyy, int mm, int idd, int& iyear, int& idoy, int& idjobs, frame::Log& log);

// The time tag of a header: idjm + (iho + imi/60 + sec/3600)/24, formed in double and then widened to
// binary128 (so the tag carries exactly the double's value).
float128 header_tdjm(int idjm, int iho, int imi, double sec);

// Fills iyear, idoy, idjm and tdjm of a decoded header; stops the run like yymmdd2yeardoydjm.
void derive_header_times(MessageHeader& h, frame::Log& log);

} // namespace quelmar::messages
