// The auxiliary readers on public IGS/NGS files of 2008-05-27 (GPS week 1481, day 2), with checks a
// geodesist would make: every satellite of the day's final orbits has its vehicle and antenna, the
// orbits lie on the GPS shell with sub-millisecond clocks, and the antenna offsets have their usual size.
#include <gtest/gtest.h>

#include <cmath>

#include "auxfiles/antex.hpp"
#include "auxfiles/constellation_status.hpp"
#include "auxfiles/pcv.hpp"
#include "auxfiles/precise_orbits.hpp"
#include "orbits/transmit.hpp"
#include "support/support.hpp"

using namespace quelmar;
using namespace quelmar::auxfiles;
using namespace quelmar::test;

TEST(RealAuxFiles, OrbitsVehiclesAndAntennasOf2008_05_27) {
    QUELMAR_NEED_DATA("orbits/2008-148/igs14812.sp3", "antenna/igs05_1480.atx", "antenna/ngs_abs.pcv");
    TempDir dir;
    CapturedLog cap;
    const std::string atx = shared_data("antenna/igs05_1480.atx").string();
    const std::string sp3 = shared_data("orbits/2008-148/igs14812.sp3").string();
    ASSERT_EQ(tool(dir, "sp3_to_s3c", std::string("-q -o day.s3c '").append(sp3).append("'")).status, 0);
    ASSERT_EQ(tool(dir, "antex_to_gcs", std::string("--date 2008-05-27 '").append(atx).append("' gcs.lst")).status, 0);
    PreciseOrbitTable s3c;
    ASSERT_EQ(read_s3e(dir.path("day.s3c"), 900, s3c, 1.0, true, true, cap.log), 0);
    ConstellationStatus gcs;
    int ierr = -1;
    read_gcs(dir.path("gcs.lst"), gcs, ierr, cap.log);
    ASSERT_EQ(ierr, 0);
    AntexTables antex;
    frame::TextSink out;
    ASSERT_EQ(read_antex_v2b(atx, antex, cap.log, out), 0);
    EXPECT_EQ(s3c.nepochs3c, 96);
    const double day = mjd_of(2008, 5, 27) + 0.5;
    int satellites = 0;
    for (int prn = 1; prn <= maxsat; ++prn) {
        if (s3c.records(prn).empty()) continue;
        ++satellites;
        for (const S3cSlot& r : s3c.records(prn)) {
            const double radius = std::hypot(double(r.component(1)), double(r.component(2)), double(r.component(3)));
            EXPECT_NEAR(radius, 26.56e6, 0.6e6) << prn; // semi-major axis 26560 km, e < 0.02
            EXPECT_TRUE(!r.valid || std::fabs(double(r.component(4))) < 1e-3) << prn; // clocks within 1 ms
        }
        // The vehicle flying under the PRN that day, and its antenna: block IIA offsets ~2.6 m along the
        // nadir axis (up in the body frame), IIR ~1.0-1.6 m, both with a phase-centre variation of a few mm.
        int iblock = 0, isv = 0, st = -1;
        orbits::prn_and_transmit_time_2_sat_block_id1(prn, day, gcs, iblock, isv, st, cap.log);
        ASSERT_EQ(st, 0) << prn;
        ASSERT_TRUE(antex.atx_read_pco_neu(1, 1, 1, isv)) << prn << " SVN " << isv;
        const double up = antex.atx_pco_neu(1, 1, 1, isv, 3);
        EXPECT_TRUE(iblock == iblock_gps_iia ? up > 2000 && up < 3000 : up > 500 && up < 1700)
            << prn << " block " << iblock << " up " << up;
        EXPECT_LT(std::fabs(antex.atx_pcv_noazi(1, 1, 1, isv, 2)), 15.0) << prn;
    }
    EXPECT_GE(satellites, 30);
    // GLONASS satellite antennas (R01/R02 blocks) sit under the GLONASS constellation.
    int glonass = 0;
    for (int prn = 1; prn <= maxprn; ++prn)
        for (const AntexSatelliteEntry& e : antex.satellite_entries(2, prn))
            glonass += e.tdjm_from <= day && day <= e.tdjm_until && antex.atx_pco_neu(1, 2, 1, e.isv, 3) > 1000;
    EXPECT_GE(glonass, 14);
    // Receiver antennas of the day's stations: the L1 phase centre tens of millimetres above the
    // reference point, the same in both calibration files to a few millimetres (the NGS table leaves the
    // radome NONE blank).
    PcvTable pcv;
    ASSERT_EQ(read_pcv(shared_data("antenna/ngs_abs.pcv").string(), pcv, cap.log), 0);
    for (const std::string type : {"TRM29659.00     NONE", "LEIAT504        LEIS", "AOAD/M_T        NONE"}) {
        int iant = 0;
        for (int i = 1; i <= pcv.nant && !iant; ++i)
            iant = pcv.ant_type_(i) == (type.ends_with("NONE") ? type.substr(0, 16) + "    " : type) ? i : 0;
        const int kant = antex.receiver_antenna_index(type);
        ASSERT_TRUE(iant > 0 && kant > 0) << type;
        const double up = pcv.phase_center_offset_(1, 3, iant);
        EXPECT_GT(up, 50.0) << type;
        EXPECT_LT(up, 130.0) << type;
        EXPECT_NEAR(antex.atx_pco_neu(2, 1, 1, kant, 3), up, 5.0) << type;
        EXPECT_NEAR(antex.atx_pco_neu(2, 1, 2, kant, 3), pcv.phase_center_offset_(2, 3, iant), 5.0) << type;
    }
}
