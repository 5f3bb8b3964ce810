// Writer over the Win32 serial API: \\.\COMn opened exclusively, every line setting made as the
// Linux writer makes it, one synchronous WriteFile per line repeated until every byte is out,
// the pause waited on the stop signal. The board's answer is read on the same thread with reads
// that return at once (a second thread's ReadFile would hold up our writes on a synchronous
// handle): after every write and every few milliseconds of a pause.
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

// 115200 8N1 and nothing else, whatever another program left in the driver: no CTS, DSR or
// XON/XOFF flow control (a board that never raises CTS or sends a stray XOFF must not stall the
// send), no abort on error, no byte replaced or dropped, DTR and RTS raised as a Linux open
// raises them. Every field is set, so the line is the same on every machine.
void setLine(DCB& dcb) {
    const DWORD length = dcb.DCBlength;
    dcb = DCB{};
    dcb.DCBlength = length;
    dcb.BaudRate = 115200;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = 2048;  // unused without XON/XOFF; the usual driver values
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;  // ^Q and ^S, as a Linux terminal's VSTART and VSTOP
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
}

// Takes whatever the board has sent so far; the read timeouts make ReadFile return at once.
void hear(HANDLE port, BoardReplies* replies) {
    if (!replies) return;
    char buffer[1024];
    DWORD got = 0;
    while (ReadFile(port, buffer, sizeof buffer, &got, nullptr) && got > 0)
        replies->add(buffer, got);
}

// Waits until `until`, hearing the board meanwhile; true if a stop came first.
bool pause(HANDLE port, Clock::time_point until, StopSignal* stop, BoardReplies* replies) {
    while (Clock::now() < until) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (replies) left = std::min(left, kWriterSlice);
        if (stop ? stop->waitFor(left) : (Sleep(static_cast<DWORD>(left.count())), false)) return true;
        hear(port, replies);
    }
    return stop && stop->stopped();
}

}  // namespace

SendOutcome writeSerialLines(const std::string& portName, const std::vector<SerialLine>& lines,
                             std::atomic<int>& linesWritten, const WriteOptions& options,
                             StopSignal* stop, BoardReplies* replies,
                             const std::function<void(const SendOutcome&)>& sent) {
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
        setLine(dcb);
        if (!SetCommState(port, &dcb)) outcome = failure(SerialError::ConfigFailed, portName);
        // Room for an echo of a long line between two reads; a driver may keep its own size.
        SetupComm(port, 16384, 4096);
        ClearCommError(port, nullptr, nullptr);
    }

    // A synchronous WriteFile with no timeouts waits for ever on a board that takes nothing.
    // The multiplier counts whole milliseconds a byte, twelve times the wire's pace, so a long
    // line would get minutes; instead each write is one chunk with a fixed allowance.
    if (outcome.ok()) {
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;  // with both read totals 0: return at once
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant =
            static_cast<DWORD>((wireTime(kChunkBytes) + options.margin).count());
        if (!SetCommTimeouts(port, &timeouts)) outcome = failure(SerialError::ConfigFailed, portName);
    }

    bool stopped = false;
    int written = 0;
    for (std::size_t i = 0; outcome.ok() && i < lines.size(); ++i) {
        const SerialLine& line = lines[i];
        stopped = stopped || (stop && stop->stopped());
        if (stopped && !sendAfterStop(line, written)) continue;
        const Clock::time_point deadline =
            Clock::now() + wireTime(line.bytes.size()) + options.margin;
        std::size_t done = 0;
        while (done < line.bytes.size()) {
            const DWORD chunk =
                static_cast<DWORD>(std::min(line.bytes.size() - done, kChunkBytes));
            DWORD sentBytes = 0;
            if (!WriteFile(port, line.bytes.data() + done, chunk, &sentBytes, nullptr)) {
                DWORD err = GetLastError();
                outcome = {writeError(err),
                           "write " + portName + ": Windows error " + std::to_string(err)};
                break;
            }
            done += sentBytes;
            hear(port, replies);
            if (sentBytes == 0 || (done < line.bytes.size() && Clock::now() >= deadline)) {
                outcome = {SerialError::StoppedAnswering,
                           "write " + portName + ": device takes no bytes"};
                break;
            }
        }
        if (!outcome.ok()) break;
        ++written;
        linesWritten.fetch_add(1, std::memory_order_release);
        if (!stopped && line.delayMs > 0)
            stopped = pause(port, Clock::now() + std::chrono::milliseconds(line.delayMs), stop, replies);
    }

    if (outcome.ok()) {
        // Every byte on the wire before the send counts as done (and before the port closes).
        FlushFileBuffers(port);
        if (replies && !stopped) {
            if (sent) sent(outcome);
            pause(port, Clock::now() + options.listenAfter, stop, replies);
            hear(port, replies);
        }
    } else {
        // After a failure, drop what is queued so that closing does not wait on a stalled line.
        PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR);
    }
    CloseHandle(port);
    if (outcome.ok() && stopped && written < static_cast<int>(lines.size()))
        return {SerialError::Stopped, "sending stopped"};
    return outcome;
}

}  // namespace tavrick
