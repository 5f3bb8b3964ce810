// The device-setup scan under wine: with no COM port device it must end normally with nothing;
// with devices registered as a driver install would, it must list those with a port name and a
// description, in enumeration order.
#include <gtest/gtest.h>

#include "SerialLink.h"
#include "WinPorts.h"

using tavrick::PortInfo;

namespace {

std::vector<PortInfo> scan() {
    std::vector<PortInfo> ports;
    EXPECT_NO_THROW(ports = tavrick::listSerialPorts());
    return ports;
}

}  // namespace

TEST(PortScanWin, EndsNormallyWithNoPortWhereNoDeviceIsRegistered) {
    wintest::FakeComPorts none;
    // The pseudo-terminals behind COM20 and up are links, not devices: the scan does not see them.
    const std::vector<PortInfo> ports = scan();
    EXPECT_TRUE(ports.empty()) << ports.front().portName;
}

TEST(PortScanWin, ListsDevicesWithPortNameAndDescriptionInEnumerationOrder) {
    wintest::FakeComPorts devices;
    // Longer than the 256 characters the port name gets: the description buffer is sized by
    // what the system says it needs.
    const std::wstring longDescription(300, L'd');
    devices.add(L"COM7", L"USB Serial Device");
    devices.add(L"COM8", L"");                 // no description: not offered
    devices.add(L"COM9", nullptr);             // description missing altogether
    devices.add(L"", L"Nameless");             // empty port name
    devices.add(nullptr, L"No PortName value");
    devices.add(L"COM10", longDescription.c_str());
    devices.add(L"COM11", L"\u041F\u043B\u0430\u0442\u0430 Dov");  // Cyrillic "board"

    const std::vector<PortInfo> ports = scan();
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].portName, "COM7");
    EXPECT_EQ(ports[0].description, "USB Serial Device");
    EXPECT_EQ(ports[1].portName, "COM10");
    EXPECT_EQ(ports[1].description, std::string(300, 'd'));
    EXPECT_EQ(ports[2].portName, "COM11");
    EXPECT_EQ(ports[2].description, "\xD0\x9F\xD0\xBB\xD0\xB0\xD1\x82\xD0\xB0 Dov") << "as UTF-8";
}
