// The file helpers on Windows: UTF-8 paths become UTF-16 for the wide Win32 calls.
#include "files.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#include <shlobj.h>

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

namespace {
std::string windowsError(DWORD code) {
    return "could not be read (Windows error " + std::to_string(code) + ")";
}
}  // namespace

bool readSmallFile(const std::string& path, std::size_t maxBytes, std::string& text, FileRefusal& refusal,
                   std::string& problem) {
    text.clear();
    refusal = FileRefusal::None;
    problem.clear();
    auto refuse = [&](FileRefusal why, const std::string& words) {
        text.clear();
        refusal = why;
        problem = words;
        return false;
    };
    const std::wstring wide = widen(path);
    // A folder is refused by its attributes; a device name (COM1, \\.\pipe\...) is never
    // opened for reading: what CreateFile opens is read only when it is a file on a disk.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return refuse(FileRefusal::Missing, "there is no such file");
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return refuse(FileRefusal::NotAFile, "it is a folder");
    }
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return refuse(FileRefusal::Missing, "there is no such file");
        return refuse(FileRefusal::Unreadable, windowsError(code));
    }
    struct Closer {
        HANDLE h;
        ~Closer() { CloseHandle(h); }
    } closer{h};
    if (GetFileType(h) != FILE_TYPE_DISK) return refuse(FileRefusal::NotAFile, "it is a device or a pipe, not a file");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) return refuse(FileRefusal::Unreadable, windowsError(GetLastError()));
    if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        return refuse(FileRefusal::TooLarge, files_detail::tooLarge(maxBytes));
    text.reserve(static_cast<std::size_t>(size.QuadPart));
    char buf[65536];
    for (;;) {
        const std::size_t room = maxBytes + 1 - text.size();
        DWORD n = 0;
        if (!ReadFile(h, buf, static_cast<DWORD>(room < sizeof buf ? room : sizeof buf), &n, nullptr))
            return refuse(FileRefusal::Unreadable, windowsError(GetLastError()));
        if (n == 0) break;
        text.append(buf, n);
        if (text.size() > maxBytes) return refuse(FileRefusal::TooLarge, files_detail::tooLarge(maxBytes));
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
bool pathExists(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string documentsFolder() {
    wchar_t folder[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) return "";
    const std::string path = narrow(folder);
    if (path.empty()) return "";
    return path.back() == '\\' ? path : path + "\\";
}

}  // namespace tavrick
