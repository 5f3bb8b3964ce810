// The platform-neutral half of the file helpers.
#include "files.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace tavrick {

bool readWholeFile(const std::string& path, std::string& text, std::string& problem, bool* missing) {
    if (missing) *missing = false;
    FILE* f = openFile(path, "rb");
    if (!f) {
        if (missing) *missing = errno == ENOENT;
        problem = std::strerror(errno);
        return false;
    }
    text.clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        problem = std::string("could not be read: ") + std::strerror(err);
        return false;
    }
    return true;
}

namespace files_detail {

std::string badFileBase(const std::string& path) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    return path + ".bad-" + stamp;
}

std::string temporaryName(const std::string& path) {
    static std::atomic<unsigned long> serial{0};
    return path + ".tmp-" + std::to_string(static_cast<long>(getpid())) + "-" + std::to_string(++serial);
}

}  // namespace files_detail

std::string keepBadFile(const std::string& path) {
    const std::string base = files_detail::badFileBase(path);
    for (int i = 1; i < 1000; ++i) {
        const std::string name = i == 1 ? base : base + "-" + std::to_string(i);
        switch (files_detail::moveAside(path, name)) {
        case files_detail::MoveAside::Moved: return name;
        case files_detail::MoveAside::NameTaken: continue;
        case files_detail::MoveAside::Failed: return "";
        }
    }
    return "";
}

}  // namespace tavrick
