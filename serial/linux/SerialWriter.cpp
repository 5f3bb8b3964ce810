// Writer over termios. The descriptor is non-blocking and every wait goes through poll() with a
// deadline, so a board that stops taking bytes ends the send instead of freezing it. The same
// descriptor is read whenever the board has sent something, so its answer is heard without a
// second thread and without a write ever waiting for a read.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "SerialLink.h"

namespace tavrick {
namespace {

using Clock = std::chrono::steady_clock;

SendOutcome failure(SerialError error, const std::string& what, int err) {
    return {error, what + ": " + std::strerror(err)};
}

// A name beginning with '/' is a path; any other is a device under /dev. Names that could climb
// out of /dev, or that a C string would cut short, name no device.
bool devicePath(const std::string& name, std::string& path) {
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    if (name[0] == '/') {
        path = name;
        return true;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    path = "/dev/" + name;
    return true;
}

SerialError openError(int err) {
    switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case ENOTDIR:
            return SerialError::NotConnected;
        case EACCES:
        case EPERM:
        case EROFS:
            return SerialError::NoPermission;
        case EBUSY:
        case EWOULDBLOCK:
            return SerialError::InUse;
        case EISDIR:
            return SerialError::NotSerialPort;
        default:
            return SerialError::WriteFailed;
    }
}

SerialError writeError(int err) {
    switch (err) {
        case EIO:
        case ENXIO:
        case ENODEV:
        case EPIPE:
        case EBADF:
            return SerialError::NotConnected;
        default:
            return SerialError::WriteFailed;
    }
}

int msUntil(Clock::time_point limit) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(limit - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

SendOutcome configure(int fd, const std::string& path) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return failure(SerialError::NotSerialPort, path, errno);
    // Raw: the bytes on the wire are the line's bytes, no CR/LF games, no echo back to the board.
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    // No software flow control either: a stray XOFF from the board must not stall the send.
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, B115200) != 0 || cfsetospeed(&tio, B115200) != 0 ||
        tcsetattr(fd, TCSANOW, &tio) != 0) {
        return failure(SerialError::ConfigFailed, path, errno);
    }
    // tcsetattr succeeds if any one setting applied; make sure the speed did.
    termios now{};
    if (tcgetattr(fd, &now) != 0 || cfgetospeed(&now) != B115200) {
        return {SerialError::ConfigFailed, path + ": 115200 baud not accepted"};
    }
    return {};
}

// Takes whatever the board has sent so far, without waiting. A read error (the device gone) is
// left to the next write to find.
void hear(int fd, BoardReplies* replies) {
    if (!replies) return;
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            replies->add(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}

// Waits until `until`, hearing the board meanwhile; true if a stop came first.
bool pause(int fd, Clock::time_point until, StopSignal* stop, BoardReplies* replies) {
    bool hearing = replies != nullptr;
    while (Clock::now() < until) {
        if (stop && stop->stopped()) return true;
        if (!hearing) {
            // Nothing to hear, or the device hung up: only the clock and a stop count.
            if (stop)
                stop->waitFor(std::chrono::milliseconds(msUntil(until)));
            else
                std::this_thread::sleep_until(until);
            continue;
        }
        // In slices, so that a stop is seen at once although poll() cannot wait on it.
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, std::min(msUntil(until), static_cast<int>(kWriterSlice.count())));
        if (r < 0 && errno != EINTR) hearing = false;
        if (r > 0 && (p.revents & POLLIN)) hear(fd, replies);
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) hearing = false;
    }
    return stop && stop->stopped();
}

// Writes all of `bytes` or fails. Gives up at `deadline`, or when `margin` passes without a
// single byte taken.
SendOutcome writeAll(int fd, const std::string& path, const std::string& bytes,
                     Clock::time_point deadline, std::chrono::milliseconds margin,
                     BoardReplies* replies) {
    std::size_t done = 0;
    Clock::time_point lastProgress = Clock::now();
    bool hungUp = false;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            lastProgress = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return failure(writeError(errno), "write " + path, errno);
        }
        if (hungUp) return {SerialError::NotConnected, "write " + path + ": device hung up"};
        Clock::time_point limit = std::min(deadline, lastProgress + margin);
        if (Clock::now() >= limit) {
            return {SerialError::StoppedAnswering, "write " + path + ": device takes no bytes"};
        }
        // A board that echoes fills our input while we wait to write: hear it as it comes.
        pollfd p{fd, static_cast<short>(replies ? POLLOUT | POLLIN : POLLOUT), 0};
        int r = ::poll(&p, 1, msUntil(limit));
        if (r < 0 && errno != EINTR) return failure(SerialError::WriteFailed, "poll " + path, errno);
        if (r > 0 && (p.revents & POLLIN)) hear(fd, replies);
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) hungUp = true;
    }
    hear(fd, replies);
    return {};
}

// Waits for the output queue to empty, but not past the deadline: a plain close() on a stalled
// port can wait for the driver's closing time (30 s by default) before it returns.
bool drain(int fd, std::chrono::milliseconds margin) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0) return true;  // the driver cannot tell; close decides
    const Clock::time_point deadline =
        Clock::now() + wireTime(static_cast<std::size_t>(queued < 0 ? 0 : queued)) + margin;
    while (queued > 0) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (ioctl(fd, TIOCOUTQ, &queued) != 0) return true;
    }
    return true;
}

class Port {
public:
    explicit Port(int fd) : fd_(fd) {}
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;
    ~Port() { discard(); }

    int fd() const { return fd_; }

    // Lets the queue go out within the deadline; false if bytes had to be thrown away (and
    // the port is then closed).
    bool drained(std::chrono::milliseconds margin) {
        if (drain(fd_, margin)) return true;
        discard();
        return false;
    }

    // No flush here: on a pseudo-terminal it would also throw away what the far side has not
    // read yet.
    void release() {
        if (fd_ < 0) return;
        ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }

private:
    // For a send that has failed: whatever is still queued would only hold up close().
    void discard() {
        if (fd_ < 0) return;
        tcflush(fd_, TCOFLUSH);
        release();
    }

    int fd_;
};

}  // namespace

SendOutcome writeSerialLines(const std::string& portName, const std::vector<SerialLine>& lines,
                             std::atomic<int>& linesWritten, const WriteOptions& options,
                             StopSignal* stop, BoardReplies* replies,
                             const std::function<void(const SendOutcome&)>& sent) {
    std::string path;
    if (!devicePath(portName, path)) {
        return {SerialError::InvalidName, "\"" + portName + "\" names no device"};
    }
    // O_NONBLOCK: neither the open (waiting for carrier) nor a write may hang us.
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return failure(openError(errno), "open " + path, errno);
    Port port(fd);

    if (!isatty(fd)) {
        return {SerialError::NotSerialPort, path + ": not a serial port"};
    }
    // Programs that lock the port (flock) or open it exclusively (TIOCEXCL) hold it; so do we.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return failure(errno == EWOULDBLOCK ? SerialError::InUse : openError(errno), "lock " + path,
                       errno);
    }
    // Keeps other programs from opening the port while we write. A driver that has no exclusive
    // mode still gets the send; anything else means the port is not what it claims to be.
    if (ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
        return failure(openError(errno), "exclusive " + path, errno);
    }

    SendOutcome outcome = configure(fd, path);
    if (!outcome.ok()) return outcome;

    bool stopped = false;
    int written = 0;
    for (const SerialLine& line : lines) {
        stopped = stopped || (stop && stop->stopped());
        if (stopped && !sendAfterStop(line, written)) continue;
        const Clock::time_point deadline =
            Clock::now() + wireTime(line.bytes.size()) + options.margin;
        outcome = writeAll(fd, path, line.bytes, deadline, options.margin, replies);
        if (!outcome.ok()) return outcome;
        ++written;
        linesWritten.fetch_add(1, std::memory_order_release);
        if (!stopped && line.delayMs > 0)
            stopped = pause(fd, Clock::now() + std::chrono::milliseconds(line.delayMs), stop, replies);
    }

    // What was written goes out whole: a stopped send still lets its last line drain.
    if (!port.drained(options.margin)) {
        return {SerialError::StoppedAnswering, "close " + path + ": output did not drain"};
    }
    if (replies && !stopped) {
        if (sent) sent(outcome);
        pause(fd, Clock::now() + options.listenAfter, stop, replies);
        hear(fd, replies);
    }
    // Released, not discarded: whatever the far side has not read yet is still the program.
    port.release();
    if (stopped && written < static_cast<int>(lines.size()))
        return {SerialError::Stopped, "sending stopped"};
    return outcome;
}

}  // namespace tavrick
