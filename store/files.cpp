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

std::string unusedFileName(const std::string& folder, const std::string& stem, const std::string& ext) {
    for (int i = 1; i <= 1000; ++i) {
        const std::string name = folder + stem + (i == 1 ? "" : "-" + std::to_string(i)) + ext;
        if (!pathExists(name)) return name;
    }
    return "";
}

namespace files_detail {

std::string documentsDirFromUserDirs(const std::string& text, const std::string& home) {
    // Lines like XDG_DOCUMENTS_DIR="$HOME/Documents"; the value is quoted and may begin with
    // $HOME/ or be absolute (the format the xdg-user-dirs tools write).
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        line = line.substr(first);
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string value = line.substr(key.size());
        const std::size_t close = value.size() > 1 && value[0] == '"' ? value.find('"', 1) : std::string::npos;
        if (close == std::string::npos) return "";
        value = value.substr(1, close - 1);
        if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
        if (value.empty() || value[0] != '/') return "";
        return value;
    }
    return "";
}

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
