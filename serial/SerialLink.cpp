#include "SerialLink.h"

#include <algorithm>

namespace tavrick {

const char* serialErrorName(SerialError error) {
    switch (error) {
        case SerialError::None: return "none";
        case SerialError::NoPort: return "no port";
        case SerialError::InvalidName: return "invalid port name";
        case SerialError::NotConnected: return "not connected";
        case SerialError::NoPermission: return "no permission";
        case SerialError::InUse: return "in use";
        case SerialError::NotSerialPort: return "not a serial port";
        case SerialError::ConfigFailed: return "line settings refused";
        case SerialError::StoppedAnswering: return "stopped answering";
        case SerialError::WriteFailed: return "write failed";
        case SerialError::ScanFailed: return "scan failed";
    }
    return "unknown";
}

std::chrono::milliseconds wireTime(std::size_t bytes) {
    constexpr std::uint64_t kBitsPerByte = 10;  // start, 8 data, stop
    constexpr std::uint64_t kBaud = 115200;
    const std::uint64_t bits = static_cast<std::uint64_t>(bytes) * kBitsPerByte * 1000;
    return std::chrono::milliseconds((bits + kBaud - 1) / kBaud);
}

std::vector<PortInfo> usablePorts(std::vector<PortInfo> ports) {
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [](const PortInfo& p) {
                                   return p.portName.empty() || p.description.empty();
                               }),
                ports.end());
    return ports;
}

}  // namespace tavrick
