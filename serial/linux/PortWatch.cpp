// Device events from udev's monitor on the tty subsystem. A thread sleeps in poll() on the
// monitor and on a pipe that stop() writes to, so an idle machine costs no CPU here.
#include <libudev.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <thread>

#include "SerialLink.h"

namespace tavrick {

struct PortWatch::Impl {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    int wake[2] = {-1, -1};
    std::thread thread;
    std::function<void()> changed;

    ~Impl() {
        if (wake[0] >= 0) ::close(wake[0]);
        if (wake[1] >= 0) ::close(wake[1]);
        if (monitor) udev_monitor_unref(monitor);
        if (context) udev_unref(context);
    }

    void run() {
        const int fd = udev_monitor_get_fd(monitor);
        for (;;) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
            const int r = ::poll(fds, 2, -1);
            if (r < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
            if (!(fds[0].revents & POLLIN)) continue;
            bool any = false;
            while (udev_device* device = udev_monitor_receive_device(monitor)) {
                const char* action = udev_device_get_action(device);
                // "change" and "bind" say nothing about which ports exist.
                if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
                    any = true;
                udev_device_unref(device);
            }
            if (any && changed) changed();
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
    impl->monitor = udev_monitor_new_from_netlink(impl->context, "udev");
    if (!impl->monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(impl->monitor, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(impl->monitor) < 0) {
        error = "udev monitor refused";
        delete impl;
        return false;
    }
    // The monitor's socket must not block: a burst is read until it is empty.
    const int fd = udev_monitor_get_fd(impl->monitor);
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 || pipe2(impl->wake, O_CLOEXEC) != 0) {
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
    const char byte = 1;
    while (::write(impl_->wake[1], &byte, 1) < 0 && errno == EINTR) {
    }
    if (impl_->thread.joinable()) impl_->thread.join();
    delete impl_;
    impl_ = nullptr;
}

}  // namespace tavrick
