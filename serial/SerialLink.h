// The platform side of the board link: what a writer and a port scan need, free of the engine,
// so each platform supplies the same two functions and the manager stays the same everywhere.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tavrick {

// How a port is attached. A board on a USB cable is what a child plugs in; a built-in UART
// (ttyS0, ttyAMA0, COM1) is almost never the board: it is there on most desktops, virtual
// machines and every Raspberry Pi whether a board is or not, and a send into it goes nowhere
// without a word. So it is offered last and never chosen unless the user picks it by hand.
enum class PortKind { Usb, Bluetooth, Other, BuiltIn };

// One port as a scan reports it, before it becomes a TavrickCardSerialData on the main thread.
struct PortInfo {
    std::string portName;
    std::string description;
    PortKind kind = PortKind::Other;
};

// A port that may be chosen without the user picking it: anything but a built-in UART.
inline bool mayBeDefault(PortKind kind) { return kind != PortKind::BuiltIn; }

// Compares names as people read them: "ttyUSB2" before "ttyUSB10", "COM2" before "COM10".
bool naturalLess(const std::string& a, const std::string& b);

// USB ports first, then Bluetooth and other ports, built-in UARTs last; within a group, natural
// order of the names. The first port of the result is the default choice.
void orderPorts(std::vector<PortInfo>& ports);

// Lets the main thread end a send early: the writer checks it between lines and waits on it
// during pauses, so a stop never cuts a line in half and never waits out a long pause.
class StopSignal {
public:
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        wake_.notify_all();
    }
    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = false;
    }
    bool stopped() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return stopped_;
    }
    // Waits `ms` or until stopped; true if stopped.
    bool waitFor(std::chrono::milliseconds ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return wake_.wait_for(lock, ms, [this] { return stopped_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopped_ = false;
};

// One line as the writer sends it: a private copy, so the worker never touches engine objects.
struct SerialLine {
    std::string bytes;
    int32_t delayMs = 0;
    // Closes what the first line opened (Velto's Ctrl-D ends the upload "cat uart > ." began):
    // after a stop it is still sent, once the first line has gone out, so that the board is
    // not left half way through taking a program.
    bool closing = false;
};

// What the board sends back during a send and a moment after it: an interpreter echoes what it
// takes and answers with "OK" or an error. Kept as text lines, the newest last, at most
// kMaxLines of at most kMaxLineBytes each (a longer line is cut and ends in "..."). The writer
// adds to it on its thread; the screen reads it on the main thread.
class BoardReplies {
public:
    static constexpr std::size_t kMaxLines = 200;
    static constexpr std::size_t kMaxLineBytes = 160;

    // All of it at one moment.
    struct Snapshot {
        std::vector<std::string> lines;  // the kept lines that have ended
        std::string partial;             // the line still coming ("" if none)
        // Lines ended since the last clear(), counting those no longer kept: a reader that
        // remembers the count sees which lines are new.
        std::size_t ended = 0;
        bool heard = false;  // any byte at all, even one that shows as nothing
    };

    void clear();
    // Bytes as they came: CR, LF or CR LF ends a line; other control bytes are dropped.
    void add(const char* data, std::size_t size);
    Snapshot snapshot() const;
    // The kept lines, and the line still coming (if any) last; at most kMaxLines.
    std::vector<std::string> lines() const;
    std::size_t endedLines() const;
    bool heardAnything() const;

private:
    void endLine();

    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::string partial_;
    bool cut_ = false;
    bool lastWasCr_ = false;
    bool heard_ = false;
    std::size_t ended_ = 0;
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
    Stopped,         // the user stopped the send; whole lines only went out
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
    // How long the port stays open after the last line to hear the board's answer, when
    // someone listens (a stop ends it at once).
    std::chrono::milliseconds listenAfter{1000};
};

// How often a wait in the writer looks at a stop and at what the board sent; short enough that
// a stop feels immediate, long enough to cost nothing.
constexpr std::chrono::milliseconds kWriterSlice{20};

// Time 115200 baud 8N1 (ten bits a byte) needs for `bytes`, rounded up.
std::chrono::milliseconds wireTime(std::size_t bytes);

// Ports worth offering: both strings non-empty. Order is kept.
std::vector<PortInfo> usablePorts(std::vector<PortInfo> ports);

// Opens `portName`, sets 115200 8N1 raw, writes every line completely and waits its delayMs,
// then closes. `linesWritten` counts whole lines as they go out. A `stop` ends the send at the
// next line boundary (or at once during a pause) with SerialError::Stopped; the closing lines
// still follow then (see SerialLine). Blocks; run it on a worker.
//
// With `replies`, what the board sends back is read as it comes, between and during the writes
// and the pauses, without holding up a single byte; and once every line is out and drained,
// `sent` (if any) is told the outcome and the port stays open options.listenAfter longer to hear
// the rest. `sent` is not called for a send that fails; the returned outcome is the send's.
SendOutcome writeSerialLines(const std::string& portName, const std::vector<SerialLine>& lines,
                             std::atomic<int>& linesWritten, const WriteOptions& options = {},
                             StopSignal* stop = nullptr, BoardReplies* replies = nullptr,
                             const std::function<void(const SendOutcome&)>& sent = {});

// The lines that go out of `lines` when a stop comes after `written` of them: none but the
// closing ones, and those only once the first line has gone out. Shared by every writer.
bool sendAfterStop(const SerialLine& line, int written);

// The ports present on this machine with their descriptions and kinds, in orderPorts order.
// Throws std::runtime_error when the system cannot be asked at all.
std::vector<PortInfo> listSerialPorts();

// Tells when serial devices come or go, without polling: `changed` is called on the watch's own
// thread after each device event. Where the system offers no such notice, start() is false.
class PortWatch {
public:
    PortWatch() = default;
    ~PortWatch() { stop(); }
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    bool start(std::function<void()> changed, std::string& error);
    void stop();
    bool running() const { return impl_ != nullptr; }
    // Tests: the system's notice fails as a broken socket would (with `reopenFails`, getting
    // it back fails once too). The watch mends itself as it does then. Linux only.
    void breakForTests(bool reopenFails = false);

private:
    struct Impl;
    Impl* impl_ = nullptr;
};

}  // namespace tavrick
