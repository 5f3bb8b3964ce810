#pragma once
// Names for the USB serial chips that boards carry, by their USB vendor and product ids, for
// systems that tell a port by its ids alone (the browser's Web Serial).
#include <cstdint>
#include <string>

namespace tavrick {

// "CH340", "CP210x", "FT232"...; "" for a chip not in the table.
std::string usbSerialChipName(std::uint16_t vendor, std::uint16_t product);
// "1a86:7523": the ids as lsusb writes them.
std::string usbIdText(std::uint16_t vendor, std::uint16_t product);

}  // namespace tavrick
