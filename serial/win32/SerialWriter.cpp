// Writer over the Win32 serial API: \\.\COMn opened exclusively, 115200 8N1, one synchronous
// WriteFile per line repeated until every byte is out, Sleep for the pause.
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "SerialLink.h"

namespace tavrick {
namespace {

using Clock = std::chrono::steady_clock;

// Longer lines go out in pieces of this size; every line of a real program fits in one.
constexpr std::size_t kChunkBytes = 4096;

SendOutcome failure(SerialError error, const std::string& what) {
    const DWORD err = GetLastError();  // before any allocation below can change it
    return {error, what + ": Windows error " + std::to_string(err)};
}

SerialError openError(DWORD err) {
    switch (err) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return SerialError::NotConnected;
        case ERROR_ACCESS_DENIED:  // what a COM port opened elsewhere answers
        case ERROR_SHARING_VIOLATION:
            return SerialError::InUse;
        default:
            return SerialError::WriteFailed;
    }
}

SerialError writeError(DWORD err) {
    switch (err) {
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_OPERATION_ABORTED:
        case ERROR_INVALID_HANDLE:
            return SerialError::NotConnected;
        case ERROR_TIMEOUT:
        case WAIT_TIMEOUT:
        case ERROR_SEM_TIMEOUT:
            return SerialError::StoppedAnswering;
        default:
            return SerialError::WriteFailed;
    }
}

}  // namespace

SendOutcome writeSerialLines(const std::string& portName, const std::vector<SerialLine>& lines,
                             std::atomic<int>& linesWritten, const WriteOptions& options,
                             StopSignal* stop) {
    // \\.\ reaches COM10 and above too. Longer names would be cut short by the conversion and
    // could open some other device, so they are refused.
    const std::string device = "\\\\.\\" + portName;
    if (portName.empty() || device.size() > 126 || portName.find('\0') != std::string::npos) {
        return {SerialError::InvalidName, "\"" + portName + "\" names no device"};
    }
    wchar_t wide[255] = {};
    size_t converted = 0;
    if (mbstowcs_s(&converted, wide, 255, device.c_str(), 126) != 0) {
        return {SerialError::InvalidName, "\"" + portName + "\" names no device"};
    }

    HANDLE port = CreateFileW(wide, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        return {openError(err), "open " + portName + ": Windows error " + std::to_string(err)};
    }

    SendOutcome outcome;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) {
        outcome = failure(SerialError::NotSerialPort, portName);
    } else {
        dcb.BaudRate = 115200;
        dcb.fParity = 0;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        if (!SetCommState(port, &dcb)) outcome = failure(SerialError::ConfigFailed, portName);
    }

    // A synchronous WriteFile with no timeouts waits for ever on a board that takes nothing.
    // The multiplier counts whole milliseconds a byte, twelve times the wire's pace, so a long
    // line would get minutes; instead each write is one chunk with a fixed allowance.
    if (outcome.ok()) {
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;  // we never read; return at once if we did
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant =
            static_cast<DWORD>((wireTime(kChunkBytes) + options.margin).count());
        if (!SetCommTimeouts(port, &timeouts)) outcome = failure(SerialError::ConfigFailed, portName);
    }

    bool stopped = false;
    for (std::size_t i = 0; outcome.ok() && i < lines.size(); ++i) {
        if (stop && stop->stopped()) {
            stopped = true;
            break;
        }
        const SerialLine& line = lines[i];
        const Clock::time_point deadline =
            Clock::now() + wireTime(line.bytes.size()) + options.margin;
        std::size_t done = 0;
        while (done < line.bytes.size()) {
            const DWORD chunk =
                static_cast<DWORD>(std::min(line.bytes.size() - done, kChunkBytes));
            DWORD written = 0;
            if (!WriteFile(port, line.bytes.data() + done, chunk, &written, nullptr)) {
                DWORD err = GetLastError();
                outcome = {writeError(err),
                           "write " + portName + ": Windows error " + std::to_string(err)};
                break;
            }
            done += written;
            if (written == 0 || (done < line.bytes.size() && Clock::now() >= deadline)) {
                outcome = {SerialError::StoppedAnswering,
                           "write " + portName + ": device takes no bytes"};
                break;
            }
        }
        if (!outcome.ok()) break;
        linesWritten.fetch_add(1, std::memory_order_release);
        if (line.delayMs > 0) {
            const std::chrono::milliseconds pause(line.delayMs);
            if (stop ? stop->waitFor(pause) : (Sleep(static_cast<DWORD>(line.delayMs)), false)) {
                stopped = i + 1 < lines.size();
                break;
            }
        }
    }

    // After a failure, drop what is queued so that closing does not wait on a stalled line.
    if (!outcome.ok()) PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR);
    CloseHandle(port);
    if (outcome.ok() && stopped) return {SerialError::Stopped, "sending stopped"};
    return outcome;
}

}  // namespace tavrick
