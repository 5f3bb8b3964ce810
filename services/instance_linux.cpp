// One program per field on Linux: flock() on "instance.lock" in the program's folder says who
// holds the field (the kernel lets go when the process ends, however it ends), and an abstract
// local socket named after the folder carries a later start's file to it. Only the same user's
// processes are heard.
#include "SingleInstance.h"

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tavrick {

namespace {

// "tavrick-cards 1 <until>\n<file>": until is when the later start stops waiting, in ms of the
// system's monotonic clock (the same for every process), so that a message read late (the
// copy was stopped) is dropped rather than opened behind the back of a start that went on.
constexpr const char* kHello = "tavrick-cards 1 ";
constexpr size_t kMaxMessage = 64 * 1024;

using Clock = std::chrono::steady_clock;

// Rounded up: a wait never ends before its deadline.
int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// What the copy that holds the field keeps of a later start's wait: its answer must be on the
// way before the later start gives up, or the file would be open in both.
constexpr std::chrono::milliseconds kMargin(150);

sockaddr_un addressFor(const std::string& key, socklen_t& length) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    // Abstract (a leading NUL): no file to leave behind, gone with the process.
    const std::string name = key + "-" + std::to_string(static_cast<unsigned long>(getuid()));
    std::memcpy(a.sun_path + 1, name.data(), name.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return a;
}

// Reads until the far end shuts its side, at most kMaxMessage bytes, until the deadline.
bool readAll(int fd, std::string& out, Clock::time_point deadline) {
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, msLeft(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > kMaxMessage) return false;
    }
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

struct SingleInstance::Impl {
    int lockFd = -1;
    int listenFd = -1;
    int wakeFds[2] = {-1, -1};  // closes the listener's thread
    std::thread listener;
    std::chrono::milliseconds patience{5000};

    ~Impl() {
        if (listener.joinable()) {
            if (wakeFds[1] >= 0) (void)!::write(wakeFds[1], "x", 1);
            listener.join();
        }
        for (int fd : {listenFd, wakeFds[0], wakeFds[1], lockFd})
            if (fd >= 0) ::close(fd);
    }

    bool tryLock() { return ::flock(lockFd, LOCK_EX | LOCK_NB) == 0; }

    // A later start: its message, taken on the main thread, then answered.
    void serve(int fd, const std::function<void(const std::string&)>& open,
               const std::function<void(std::function<void()>)>& post) {
        ucred who{};
        socklen_t len = sizeof who;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &who, &len) != 0 || who.uid != ::getuid()) return;
        Clock::time_point deadline = Clock::now() + patience;
        std::string message;
        if (!readAll(fd, message, deadline) || message.compare(0, std::strlen(kHello), kHello) != 0) return;
        const size_t eol = message.find('\n');
        if (eol == std::string::npos) return;
        const Clock::time_point until{std::chrono::milliseconds(
            std::strtoll(message.c_str() + std::strlen(kHello), nullptr, 10))};
        if (until - kMargin < deadline) deadline = until - kMargin;
        if (Clock::now() >= deadline) return;  // the later start has given up already
        const std::string file = message.substr(eol + 1);
        struct Taken {
            std::mutex mutex;
            std::condition_variable done;
            bool ran = false, dropped = false;
        };
        auto taken = std::make_shared<Taken>();
        post([taken, open, file] {
            {
                std::lock_guard<std::mutex> lock(taken->mutex);
                if (taken->dropped) return;  // the later start has given up on us
            }
            open(file);
            std::lock_guard<std::mutex> lock(taken->mutex);
            taken->ran = true;
            taken->done.notify_all();
        });
        std::unique_lock<std::mutex> lock(taken->mutex);
        if (!taken->done.wait_until(lock, deadline, [&] { return taken->ran; })) {
            taken->dropped = true;
            return;
        }
        lock.unlock();
        writeAll(fd, "ok\n");
    }
};

SingleInstance::SingleInstance() : impl_(new Impl) {}
SingleInstance::~SingleInstance() = default;

std::string SingleInstance::keyFor(const std::string& folder) {
    char real[PATH_MAX];
    const std::string path = ::realpath(folder.c_str(), real) ? std::string(real) : folder;
    unsigned long long h = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : path) h = (h ^ c) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", h);
    return std::string("tavrick-cards-") + hex;
}

SingleInstance::Role SingleInstance::claim(const std::string& folder, const std::string& file,
                                           std::chrono::milliseconds patience) {
    Impl& m = *impl_;
    m.patience = patience;
    detail_.clear();
    m.lockFd = ::open((folder + "instance.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m.lockFd < 0) {
        detail_ = folder + "instance.lock: " + std::strerror(errno) + "; a second copy is not kept from this field";
        return Role::Unguarded;
    }
    socklen_t length = 0;
    const sockaddr_un address = addressFor(keyFor(folder), length);
    const Clock::time_point deadline = Clock::now() + patience;
    for (;;) {
        if (m.tryLock()) {
            // Ours: open the door for later starts at once (they wait for it while we start).
            m.listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (m.listenFd < 0 || ::bind(m.listenFd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
                ::listen(m.listenFd, 8) != 0) {
                // The field is still ours; later starts will find no one to hand over to and
                // keep off it (NoAnswer).
                detail_ = std::string("no socket for later starts: ") + std::strerror(errno);
                if (m.listenFd >= 0) ::close(m.listenFd);
                m.listenFd = -1;
            }
            return Role::First;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            detail_ = folder + "instance.lock: " + std::strerror(errno) + "; a second copy is not kept from this field";
            return Role::Unguarded;
        }
        // Held by another copy: hand the file over.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
            std::string answer;
            const long long until =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline.time_since_epoch()).count();
            const bool told = writeAll(fd, kHello + std::to_string(until) + "\n" + file) &&
                              ::shutdown(fd, SHUT_WR) == 0 &&
                              readAll(fd, answer, deadline) && answer == "ok\n";
            ::close(fd);
            if (told) return Role::HandedOver;
            detail_ = "the copy of the program that has this field open did not answer within " +
                      std::to_string(patience.count() / 1000) + " s";
            return Role::NoAnswer;
        }
        if (fd >= 0) ::close(fd);
        // Not listening yet (it is starting), or it has just ended: look again.
        if (Clock::now() >= deadline) {
            detail_ = "the copy of the program that has this field open cannot be reached";
            return Role::NoAnswer;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void SingleInstance::listen(std::function<void(const std::string& file)> open,
                            std::function<void(std::function<void()>)> post) {
    Impl& m = *impl_;
    if (m.listenFd < 0 || m.listener.joinable() || ::pipe2(m.wakeFds, O_CLOEXEC) != 0) return;
    m.listener = std::thread([&m, open, post] {
        for (;;) {
            pollfd p[2] = {{m.listenFd, POLLIN, 0}, {m.wakeFds[0], POLLIN, 0}};
            if (::poll(p, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (p[1].revents) return;
            const int fd = ::accept4(m.listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            m.serve(fd, open, post);
            ::close(fd);
        }
    });
}

}  // namespace tavrick
