// The names a port known only by its USB ids is given (the page's ports).
#include <gtest/gtest.h>

#include "UsbNames.h"

using tavrick::usbIdText;
using tavrick::usbSerialChipName;

TEST(UsbNames, TheCommonChipsByTheirIdsAndTheirVendorsOtherChipsByFamily) {
    EXPECT_EQ(usbSerialChipName(0x1a86, 0x7523), "CH340");
    EXPECT_EQ(usbSerialChipName(0x10c4, 0xea60), "CP210x");
    EXPECT_EQ(usbSerialChipName(0x0403, 0x6001), "FT232");
    // A product of a known vendor that the table does not list: the family, never another chip.
    EXPECT_EQ(usbSerialChipName(0x1a86, 0x1234), "CH34x");
    EXPECT_EQ(usbSerialChipName(0x0403, 0xffff), "FTDI");
    EXPECT_EQ(usbSerialChipName(0x2341, 0x0043), "");
    EXPECT_EQ(usbSerialChipName(0, 0), "");
}

TEST(UsbNames, IdsAreWrittenAsLsusbWritesThem) {
    EXPECT_EQ(usbIdText(0x1a86, 0x7523), "1a86:7523");
    EXPECT_EQ(usbIdText(0x0403, 0x0001), "0403:0001");
    EXPECT_EQ(usbIdText(0xffff, 0xffff), "ffff:ffff");
}
