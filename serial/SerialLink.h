// The platform side of the board link: what a writer and a port scan need, free of the engine,
// so each platform supplies the same two functions and the manager stays the same everywhere.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrick {

// One port as a scan reports it, before it becomes a TavrickCardSerialData on the main thread.
struct PortInfo {
    std::string portName;
    std::string description;
};

// One line as the writer sends it: a private copy, so the worker never touches engine objects.
struct SerialLine {
    std::string bytes;
    int32_t delayMs = 0;
};

// Why the last operation failed; kept so the screen can later say it in words.
enum class SerialError {
    None,
    NoPort,          // no port known, or the chosen index is not in the list
    InvalidName,     // the port name cannot name a device
    NotConnected,    // the device is absent, or vanished while we wrote
    NoPermission,    // the device exists but we may not open it
    InUse,           // another program holds the device
    NotSerialPort,   // the name leads to something that is not a terminal
    ConfigFailed,    // the line settings (115200 8N1, raw) were refused
    StoppedAnswering,// the device took no bytes before the deadline
    WriteFailed,     // any other error while writing
    ScanFailed,      // the list of ports could not be read
};

const char* serialErrorName(SerialError error);

struct SendOutcome {
    SerialError error = SerialError::None;
    std::string detail;  // the system's own words, e.g. "open /dev/ttyUSB0: Permission denied"
    bool ok() const { return error == SerialError::None; }
};

struct WriteOptions {
    // Slack beyond a line's time on the wire before a write or the close gives up; also the
    // longest stretch without a single byte accepted.
    std::chrono::milliseconds margin{3000};
};

// Time 115200 baud 8N1 (ten bits a byte) needs for `bytes`, rounded up.
std::chrono::milliseconds wireTime(std::size_t bytes);

// Ports worth offering: both strings non-empty. Order is kept.
std::vector<PortInfo> usablePorts(std::vector<PortInfo> ports);

// Opens `portName`, sets 115200 8N1 raw, writes every line completely and sleeps its delayMs,
// then closes. `linesWritten` counts whole lines as they go out. Blocks; run it on a worker.
SendOutcome writeSerialLines(const std::string& portName, const std::vector<SerialLine>& lines,
                             std::atomic<int>& linesWritten, const WriteOptions& options = {});

// The ports present on this machine with their descriptions. Throws std::runtime_error when
// the system cannot be asked at all.
std::vector<PortInfo> listSerialPorts();

}  // namespace tavrick
