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

std::string tooLarge(std::size_t maxBytes) {
    if (maxBytes >= 1024 * 1024 && maxBytes % (1024 * 1024) == 0)
        return "it is larger than " + std::to_string(maxBytes / (1024 * 1024)) + " MB";
    return "it is larger than " + std::to_string(maxBytes) + " bytes";
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
