#include "SerialLink.h"

#include <algorithm>
#include <cctype>

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
        case SerialError::Stopped: return "stopped";
    }
    return "unknown";
}

std::chrono::milliseconds wireTime(std::size_t bytes) {
    constexpr std::uint64_t kBitsPerByte = 10;  // start, 8 data, stop
    constexpr std::uint64_t kBaud = 115200;
    const std::uint64_t bits = static_cast<std::uint64_t>(bytes) * kBitsPerByte * 1000;
    return std::chrono::milliseconds((bits + kBaud - 1) / kBaud);
}

bool sendAfterStop(const SerialLine& line, int written) { return line.closing && written > 0; }

std::vector<PortInfo> usablePorts(std::vector<PortInfo> ports) {
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [](const PortInfo& p) {
                                   return p.portName.empty() || p.description.empty();
                               }),
                ports.end());
    return ports;
}

}  // namespace tavrick

namespace tavrick {

bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            // Whole runs of digits compare as numbers: leading zeros aside, the longer is larger.
            std::size_t i0 = i, j0 = j;
            while (i0 < a.size() && a[i0] == '0') ++i0;
            while (j0 < b.size() && b[j0] == '0') ++j0;
            std::size_t i1 = i0, j1 = j0;
            while (i1 < a.size() && digit(a[i1])) ++i1;
            while (j1 < b.size() && digit(b[j1])) ++j1;
            if (i1 - i0 != j1 - j0) return i1 - i0 < j1 - j0;
            const int c = a.compare(i0, i1 - i0, b, j0, j1 - j0);
            if (c != 0) return c < 0;
            // Equal numbers: fewer leading zeros first, so that the order stays total.
            if (i1 - i != j1 - j) return i1 - i < j1 - j;
            i = i1;
            j = j1;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

void orderPorts(std::vector<PortInfo>& ports) {
    auto group = [](const PortInfo& p) {
        switch (p.kind) {
            case PortKind::Usb: return 0;
            case PortKind::Bluetooth:
            case PortKind::Other: return 1;
            case PortKind::BuiltIn: return 2;
        }
        return 1;
    };
    std::stable_sort(ports.begin(), ports.end(), [&](const PortInfo& a, const PortInfo& b) {
        const int ga = group(a), gb = group(b);
        if (ga != gb) return ga < gb;
        return naturalLess(a.portName, b.portName);
    });
}

}  // namespace tavrick

namespace tavrick {
namespace {

// A line cut at its byte limit must not end in half a UTF-8 character, which no font can show.
std::string cutLine(std::string text) {
    std::size_t lead = text.size();
    while (lead > 0 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) --lead;
    if (lead > 0) {
        const unsigned char c = static_cast<unsigned char>(text[lead - 1]);
        const std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (text.size() - (lead - 1) < need) text.resize(lead - 1);
    }
    return text + "...";
}

}  // namespace

void BoardReplies::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
    partial_.clear();
    cut_ = lastWasCr_ = heard_ = false;
    ended_ = 0;
}

void BoardReplies::endLine() {
    lines_.push_back(cut_ ? cutLine(std::move(partial_)) : std::move(partial_));
    partial_.clear();
    cut_ = false;
    ++ended_;
    if (lines_.size() > kMaxLines) lines_.erase(lines_.begin(), lines_.begin() + (lines_.size() - kMaxLines));
}

void BoardReplies::add(const char* data, std::size_t size) {
    if (size == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    heard_ = true;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        const bool cr = c == '\r';
        // CR LF is one end of line, not two.
        if (c == '\n' && lastWasCr_) {
            lastWasCr_ = false;
            continue;
        }
        lastWasCr_ = cr;
        if (cr || c == '\n') {
            endLine();
        } else if (c == '\t' || c >= 0x20) {
            if (c == 0x7f) continue;
            if (partial_.size() < kMaxLineBytes)
                partial_ += c == '\t' ? ' ' : static_cast<char>(c);
            else
                cut_ = true;
        }
    }
}

BoardReplies::Snapshot BoardReplies::snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return {lines_, cut_ ? cutLine(partial_) : partial_, ended_, heard_};
}

std::vector<std::string> BoardReplies::lines() const {
    Snapshot now = snapshot();
    if (!now.partial.empty()) now.lines.push_back(std::move(now.partial));
    if (now.lines.size() > kMaxLines) now.lines.erase(now.lines.begin());
    return now.lines;
}

std::size_t BoardReplies::endedLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
}

bool BoardReplies::heardAnything() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return heard_;
}

}  // namespace tavrick
