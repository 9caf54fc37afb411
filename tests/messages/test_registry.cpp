// The station registry: slots in order of first appearance, exact four-byte names, the seventh stop.
#include <gtest/gtest.h>

#include "frame/stop.hpp"
#include "messages/registry.hpp"
#include "support/test_support.hpp"

using namespace quelmar;

TEST(Registry, SlotsInOrderOfFirstAppearanceAndTheSeventhStops) {
    testing_support::CapturedLog cap;
    messages::StationRegistry reg;
    std::int32_t irec = 0;
    const char* names[] = {"BELL", "EBRE", "bell", "BELL", "    ", "EBR ", "EBRE", "MADR"};
    const int slots[] = {1, 2, 3, 1, 4, 5, 2, 6};
    for (int k = 0; k < 8; ++k) {
        messages::indexing_rec(names[k], irec, reg, cap.log);
        EXPECT_EQ(irec, slots[k]) << names[k];
    }
    EXPECT_EQ(reg.nrec, 6);
    try {
        messages::indexing_rec("SCOA", irec, reg, cap.log);
        ADD_FAILURE() << "a seventh receiver was accepted";
    } catch (const frame::Stop& s) {
        EXPECT_EQ(s.message(), "ERROR: please increase maxrec accordingly");
    }
    EXPECT_EQ(reg.nrec, 6); // nothing stored past the table
    EXPECT_EQ(cap.text(), " ERROR: nrec=  7  > maxrec= 6\n ERROR: please increase maxrec accordingly\n");
}
