// Satellite position and clock for one observation: broadcast Kepler orbit or precise-orbit table, in
// the Earth-fixed frame of the reception epoch, with the Sun and Moon and the ray geometry of the
// receiver-satellite pair.
//
// Light time is handled by two passes: the first with zero travel time (the Earth-fixed position at
// transmission), the second with the travel time the first pass's range implies (the position rotated
// by the Earth's rotation over that time). Sun, Moon and the geometry are computed in both passes; the
// second pass's values are returned.
#pragma once

#include <array>

#include "auxfiles/precise_orbits.hpp"
#include "frame/config.hpp"
#include "frame/constants.hpp"
#include "frame/log.hpp"
#include "messages/ephemeris.hpp"
#include "models/geometry.hpp"
#include "models/vectors.hpp"
#include "orbits/precise.hpp"

namespace quelmar::chain {

using orbits::float128;
using orbits::PolintWork;

// Everything the step hands back to the processing chain.
struct SatellitePosition {
    models::Vec3 satxyz{};        // satellite, Earth-fixed frame of the reception epoch (m)
    double dtrel_m = 0;           // relativistic clock correction (m)
    double gmst = 0, gmstrt = 0;  // sidereal angle at transmit and at reception UTC (deg)
    models::RayGeometry geometry; // receiver and ray quantities, wind-up, satellite phase centre
    models::Vec3 ctxsun{}, ctxmoon{};
    double rasun = 0, xlonsun = 0, decsun = 0, distsun = 0;
    double ramoon = 0, xlonmoon = 0, decmoon = 0, distmoon = 0;
    double satclockerror = 0;          // satellite clock offset (s)
    models::Vec3 v{};                  // satellite velocity (m/s); zero for broadcast orbits
    double rhodot = 0;                 // range rate (m/s)
    models::Vec3 sctx{};               // formal position errors (m), precise orbits only
    double ssatclockerror = 0;         // formal clock error (s), precise orbits only
    bool update_orbits = false;        // the precise-orbit window ran past the table
    float128 tdjmut = 0, tdjmutrt = 0; // UTC epochs of transmission and reception
    int kdist = 0;                     // passes made
};

// The satellite-position step. Inputs: is_eph_read1 (the PRN has a broadcast record), the run's
// configuration (precise_instead_of_eph_orbits, write_orbit and the precise-orbit settings), the
// leap-second state (filled from the built-in table on first use), the PRN, its broadcast record,
// the transmit and reception epochs, the receiver, the block code of the vehicle (for the satellite
// phase centre), the broadcast clock offset satclockerror0 at the transmit epoch (used as the clock in
// broadcast mode; no group delay is applied), the precise-orbit table and its work space.
//
// Returns ierrsatpos:
//    0    ok;
//  -99    broadcast mode without an ephemeris for the PRN (or a PRN outside 1..maxsat): logs
//         "WARNING: NO EPH available for satellite " with the PRN; nothing else is computed;
//    1    precise orbit unavailable (its status non-zero or newer orbits needed; update_orbits tells);
//    2    Kepler's equation did not converge (posat4 has written its two lines to standard output);
//    3    irec is not a receiver slot: nothing is computed;
//  +10    per pass whose ray geometry reported a failure (accumulated).
// With write_orbit set, a successful step writes the record
// "(f12.6,1x,i4,2i3,3f16.5,f16.12,1x,l1,a)": transmit epoch, receiver, PRN, passes (2), position,
// clock, the precise-orbit switch and " ORBIT".
int satellite_position_and_clock_from_navigation_msg_v5b(
    bool is_eph_read1, const frame::Config& cfg, bool& is_lea_read, int& leapsec, int iprn,
    const messages::EphemerisTable& eph, float128 tdjmobstt, float128 tdjmobs, int irec,
    const Array2<double, 3, maxrec>& recxyz0_, models::AntennaPhaseTable& antenna_phase_, int iblock,
    double satclockerror0, const auxfiles::PreciseOrbitTable& s3c, PolintWork& work, bool rover_sp3_leo,
    SatellitePosition& res, const frame::Constants& constants, frame::TextSink& out, frame::Log& log);

} // namespace quelmar::chain
