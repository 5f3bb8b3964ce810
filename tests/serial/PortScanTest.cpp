// The real system scan, once: a build machine may have no serial port at all, so only the shape
// of the answer is checked.
#include <algorithm>

#include "SerialManagerFixture.h"

using SerialScan = SerialManagerFixture;

TEST_F(SerialScan, SystemScanReturnsCompleteEntriesInNameOrder) {
    int calls = 0;
    bool result = false;
    ASSERT_TRUE(manager->scanPorts([&](bool ok) {
        ++calls;
        result = ok;
    }));
    ASSERT_TRUE(pumpUntil([&] { return calls > 0; }));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(result) << manager->getLastErrorDetail();
    for (TavrickCardSerialData* port : manager->ports) {
        EXPECT_FALSE(port->portName.empty());
        EXPECT_FALSE(port->description.empty()) << port->portName;
    }
    EXPECT_TRUE(std::is_sorted(manager->ports.begin(), manager->ports.end(),
                               [](TavrickCardSerialData* a, TavrickCardSerialData* b) {
                                   return a->portName < b->portName;
                               }));
    EXPECT_EQ(manager->selectedPort, 0);
}
