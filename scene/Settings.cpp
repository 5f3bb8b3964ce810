#include "Settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "CCFileUtils.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tavrick {

FILE* openFile(const std::string& path, const char* mode) {
#ifdef _WIN32
    return _wfopen(cocos2d::FileUtils::widen(path).c_str(), cocos2d::FileUtils::widen(mode).c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

namespace {

using nlohmann::json;

json readObject(const std::string& path, std::string* problem) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) return json::object();  // none yet: nothing to say
    std::stringstream text;
    text << in.rdbuf();
    json value = json::parse(text.str(), nullptr, false);
    if (value.is_discarded() || !value.is_object()) {
        if (problem) *problem = path + " is not a settings file";
        return json::object();
    }
    return value;
}

void (*beforeRename)() = nullptr;

}  // namespace

void setBeforeRenameHook(void (*hook)()) { beforeRename = hook; }

bool writeFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    const std::string temp = path + ".tmp";
#ifdef _WIN32
    FILE* f = openFile(temp, "wb");
    if (!f) {
        error = temp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size() &&
                         std::fflush(f) == 0 && _commit(_fileno(f)) == 0;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        error = temp + ": could not be written";
        _wremove(cocos2d::FileUtils::widen(temp).c_str());
        return false;
    }
    if (!MoveFileExW(cocos2d::FileUtils::widen(temp).c_str(), cocos2d::FileUtils::widen(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = path + ": could not be replaced (Windows error " + std::to_string(GetLastError()) + ")";
        _wremove(cocos2d::FileUtils::widen(temp).c_str());
        return false;
    }
    return true;
#else
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = temp + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = temp + ": " + std::strerror(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        error = temp + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (beforeRename) beforeRename();
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
#endif
}

Settings Settings::load(const std::string& folder, std::string* problem) {
    Settings settings;
    if (folder.empty()) return settings;
    const json value = readObject(folder + kFileName, problem);
    auto port = value.find("port");
    if (port != value.end() && port->is_string()) settings.port = port->get<std::string>();
    auto fullscreen = value.find("fullscreen");
    if (fullscreen != value.end() && fullscreen->is_boolean()) settings.fullscreen = fullscreen->get<bool>();
    return settings;
}

bool Settings::save(const std::string& folder, std::string& error) const {
    if (folder.empty()) {
        error = "no folder for settings";
        return false;
    }
    const std::string path = folder + kFileName;
    json value = readObject(path, nullptr);
    value["version"] = 1;
    value["port"] = port;
    value["fullscreen"] = fullscreen;
    // Port names may be any bytes; JSON wants UTF-8, so anything else is replaced, not thrown.
    return writeFileAtomically(path, value.dump(2, ' ', false, json::error_handler_t::replace) + "\n",
                               error);
}

}  // namespace tavrick
