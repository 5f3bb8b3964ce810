// Device events from udev's monitor on the tty subsystem. A thread sleeps in poll() on the
// monitor and on a pipe that stop() writes to, so an idle machine costs no CPU here.
//
// The monitor is a netlink socket, and a socket can fail: a burst larger than its buffer
// (ENOBUFS), an error from the kernel. Then the watch says so once on standard error, tells of
// a change (events may have been missed) and opens a new monitor; if that cannot be done, it
// looks again every few seconds instead, and keeps trying to get a monitor back.
#include <libudev.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>

#include "SerialLink.h"

namespace tavrick {
namespace {

// How often the ports are looked at while no monitor can be had.
constexpr int kRescanMs = 3000;

// What stop() and the tests write to the wake pipe.
constexpr char kWakeStop = 1;
constexpr char kWakeBreak = 2;

}  // namespace

struct PortWatch::Impl {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    int wake[2] = {-1, -1};
    std::thread thread;
    std::function<void()> changed;
    bool told = false;            // the failure has been said on standard error
    std::atomic<bool> refuseReopen{false};  // tests: the next reopen fails, as when udev is gone

    ~Impl() {
        if (wake[0] >= 0) ::close(wake[0]);
        if (wake[1] >= 0) ::close(wake[1]);
        closeMonitor();
        if (context) udev_unref(context);
    }

    void closeMonitor() {
        if (monitor) udev_monitor_unref(monitor);
        monitor = nullptr;
    }

    // A monitor on the tty subsystem whose socket does not block: a burst is read until it is
    // empty. "" on success, else why not.
    std::string openMonitor() {
        closeMonitor();
        if (refuseReopen.exchange(false)) return "udev monitor refused";
        monitor = udev_monitor_new_from_netlink(context, "udev");
        if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor) < 0) {
            closeMonitor();
            return "udev monitor refused";
        }
        const int fd = udev_monitor_get_fd(monitor);
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
            const std::string why = std::string("udev monitor: ") + std::strerror(errno);
            closeMonitor();
            return why;
        }
        return {};
    }

    // The monitor failed: said once, told as a change (what it missed is looked for), and
    // replaced if possible; otherwise the loop falls back to looking every few seconds.
    void monitorFailed(const std::string& why) {
        const std::string again = openMonitor();
        if (!told) {
            told = true;
            if (again.empty())
                std::fprintf(stderr, "tavrick-cards: the watch for boards plugged in failed (%s); "
                                     "it was started again\n", why.c_str());
            else
                std::fprintf(stderr, "tavrick-cards: the watch for boards plugged in failed (%s) and "
                                     "cannot start again (%s); looking for boards every %d seconds\n",
                             why.c_str(), again.c_str(), kRescanMs / 1000);
        }
        if (changed) changed();
    }

    // Reads the monitor until it is empty; false if its socket failed.
    bool receive(bool& any, std::string& why) {
        for (;;) {
            errno = 0;
            udev_device* device = udev_monitor_receive_device(monitor);
            if (!device) {
                // Empty (EAGAIN), or a message that was not for us: both leave it usable.
                if (errno == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
                why = std::strerror(errno);
                return false;
            }
            const char* action = udev_device_get_action(device);
            // "change" and "bind" say nothing about which ports exist.
            if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
                any = true;
            udev_device_unref(device);
        }
    }

    void run() {
        for (;;) {
            const int fd = monitor ? udev_monitor_get_fd(monitor) : -1;
            pollfd fds[2] = {{wake[0], POLLIN, 0}, {fd, POLLIN, 0}};
            const int r = ::poll(fds, monitor ? 2 : 1, monitor ? -1 : kRescanMs);
            if (r < 0) {
                if (errno == EINTR) continue;
                monitorFailed(std::string("poll: ") + std::strerror(errno));
                continue;
            }
            if (fds[0].revents) {
                char byte = kWakeStop;
                if (::read(wake[0], &byte, 1) != 1 || byte != kWakeBreak) return;
                monitorFailed("broken on purpose");
                continue;
            }
            if (!monitor) {
                // No monitor: look anyway, and try for one again.
                if (openMonitor().empty()) told = false;
                if (changed) changed();
                continue;
            }
            if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
                monitorFailed("socket error");
                continue;
            }
            if (!(fds[1].revents & POLLIN)) continue;
            bool any = false;
            std::string why;
            const bool usable = receive(any, why);
            if (any && changed) changed();
            if (!usable) monitorFailed(why);
        }
    }
};

bool PortWatch::start(std::function<void()> changed, std::string& error) {
    stop();
    auto* impl = new Impl;
    impl->changed = std::move(changed);
    impl->context = udev_new();
    if (!impl->context) {
        error = "udev is not available";
        delete impl;
        return false;
    }
    error = impl->openMonitor();
    if (!error.empty()) {
        delete impl;
        return false;
    }
    if (pipe2(impl->wake, O_CLOEXEC) != 0) {
        error = std::string("udev monitor: ") + std::strerror(errno);
        delete impl;
        return false;
    }
    try {
        impl->thread = std::thread([impl] { impl->run(); });
    } catch (const std::exception& e) {
        error = e.what();
        delete impl;
        return false;
    }
    impl_ = impl;
    return true;
}

void PortWatch::stop() {
    if (!impl_) return;
    while (::write(impl_->wake[1], &kWakeStop, 1) < 0 && errno == EINTR) {
    }
    if (impl_->thread.joinable()) impl_->thread.join();
    delete impl_;
    impl_ = nullptr;
}

void PortWatch::breakForTests(bool reopenFails) {
    if (!impl_) return;
    impl_->refuseReopen = reopenFails;
    while (::write(impl_->wake[1], &kWakeBreak, 1) < 0 && errno == EINTR) {
    }
}

}  // namespace tavrick
