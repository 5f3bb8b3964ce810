// The file helpers on Windows: UTF-8 paths become UTF-16 for the wide Win32 calls.
#include "files.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace tavrick {
namespace {
void (*beforeRename)() = nullptr;
}

void setBeforeRenameHook(void (*hook)()) { beforeRename = hook; }

std::wstring widen(const std::string& s) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring w(static_cast<size_t>(n - 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
    return w;
}

std::string narrow(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string s(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
}

FILE* openFile(const std::string& path, const char* mode) {
    return _wfopen(widen(path).c_str(), widen(mode).c_str());
}

bool writeFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    const std::string temp = files_detail::temporaryName(path);
    // _O_EXCL: a leftover of a crashed process with the same number is never written through.
    const int fd = _wopen(widen(temp).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    FILE* f = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (!f) {
        if (fd >= 0) _close(fd);
        error = temp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size() &&
                         std::fflush(f) == 0 && _commit(_fileno(f)) == 0;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        error = temp + ": could not be written";
        _wremove(widen(temp).c_str());
        return false;
    }
    if (beforeRename) beforeRename();
    if (!MoveFileExW(widen(temp).c_str(), widen(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = path + ": could not be replaced (Windows error " + std::to_string(GetLastError()) + ")";
        _wremove(widen(temp).c_str());
        return false;
    }
    return true;
}

namespace files_detail {

MoveAside moveAside(const std::string& path, const std::string& name) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails rather than replace a kept file.
    if (MoveFileExW(widen(path).c_str(), widen(name).c_str(), MOVEFILE_WRITE_THROUGH)) return MoveAside::Moved;
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? MoveAside::NameTaken : MoveAside::Failed;
}

}  // namespace files_detail

}  // namespace tavrick
