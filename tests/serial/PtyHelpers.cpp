#include "PtyHelpers.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace ptytest {

PtyPair::PtyPair(bool keepSlave) {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath_ = name;
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    if (!keepSlave) {
        ::close(slave_);
        slave_ = -1;
    }
}

PtyPair::~PtyPair() {
    if (slave_ >= 0) ::close(slave_);
    closeMaster();
}

void PtyPair::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

std::string readFor(int master, std::size_t count, std::chrono::milliseconds timeout) {
    std::string out;
    const Clock::time_point deadline = Clock::now() + timeout;
    char buffer[4096];
    while (out.size() < count && Clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        ssize_t n = (p.revents & POLLIN) ? ::read(master, buffer,
                                                  std::min(sizeof buffer, count - out.size()))
                                         : 0;
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
        } else {
            // No slave open (not yet, or no more): poll would return at once, so don't spin.
            std::this_thread::sleep_for(2ms);
        }
    }
    return out;
}

EchoBoard::EchoBoard(int master) : master_(master), thread_([this] { run(); }) {}

EchoBoard::~EchoBoard() {
    done_ = true;
    thread_.join();
}

std::vector<Clock::time_point> EchoBoard::lineTimes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return times_;
}

std::string EchoBoard::received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

void EchoBoard::run() {
    std::string out;
    char buffer[4096];
    while (!done_) {
        pollfd p{master_, static_cast<short>(POLLIN | (out.empty() ? 0 : POLLOUT)), 0};
        if (::poll(&p, 1, 5) <= 0) continue;
        if (p.revents & POLLOUT) {
            const ssize_t n = ::write(master_, out.data(), out.size());
            if (n > 0) out.erase(0, static_cast<std::size_t>(n));
        }
        if (!(p.revents & POLLIN)) continue;
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        for (ssize_t i = 0; i < n; ++i) {
            out += buffer[i];
            received_ += buffer[i];
            if (buffer[i] == '\n') {
                out += "OK\r\n";
                times_.push_back(Clock::now());
            }
        }
    }
}

}  // namespace ptytest
