#include "UsbNames.h"

#include <cstdio>

namespace tavrick {

namespace {
struct Chip {
    std::uint16_t vendor;
    std::int32_t product;  // -1: any product of the vendor
    const char* name;
};
// The chips on the boards children plug in; a vendor's other products fall to its family name.
constexpr Chip kChips[] = {
    {0x1a86, 0x7523, "CH340"},  {0x1a86, 0x5523, "CH341"},  {0x1a86, 0x55d4, "CH9102"},
    {0x1a86, -1, "CH34x"},      {0x10c4, -1, "CP210x"},     {0x0403, 0x6001, "FT232"},
    {0x0403, 0x6015, "FT231X"}, {0x0403, 0x6010, "FT2232"}, {0x0403, 0x6014, "FT232H"},
    {0x0403, -1, "FTDI"},       {0x067b, -1, "PL2303"},
};
}  // namespace

std::string usbSerialChipName(std::uint16_t vendor, std::uint16_t product) {
    for (const Chip& chip : kChips)
        if (chip.vendor == vendor && chip.product == product) return chip.name;
    for (const Chip& chip : kChips)
        if (chip.vendor == vendor && chip.product < 0) return chip.name;
    return std::string();
}

std::string usbIdText(std::uint16_t vendor, std::uint16_t product) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", vendor, product);
    return text;
}

}  // namespace tavrick
