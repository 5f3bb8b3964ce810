#include "CCFileUtils.h"

#include <sys/stat.h>

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace cocos2d {

FileUtils* FileUtils::getInstance() {
    static FileUtils instance;
    return &instance;
}

FileUtils::FileUtils() {
    _searchPaths.push_back("");
    const std::string exe = executableDirectory();
    if (!exe.empty()) _searchPaths.push_back(exe);
}

#ifdef _WIN32
std::wstring FileUtils::widen(const std::string& s) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring w(static_cast<size_t>(n - 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
    return w;
}

std::string FileUtils::narrow(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string s(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
}
#endif

std::string FileUtils::executableDirectory() {
#ifdef _WIN32
    wchar_t buf[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buf, 32768);
    if (n == 0 || n >= 32768) return "";
    const std::string p = narrow(std::wstring(buf, n));
    const size_t slash = p.find_last_of("\\/");
#else
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string p(buf, static_cast<size_t>(n));
    const size_t slash = p.rfind('/');
#endif
    return slash == std::string::npos ? "" : p.substr(0, slash);
}

void FileUtils::addSearchPath(const std::string& path, bool front) {
    if (std::find(_searchPaths.begin(), _searchPaths.end(), path) != _searchPaths.end()) return;
    if (front)
        _searchPaths.insert(_searchPaths.begin(), path);
    else
        _searchPaths.push_back(path);
}

bool FileUtils::isFileExist(const std::string& path) const {
#ifdef _WIN32
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

std::string FileUtils::fullPathForFilename(const std::string& filename) const {
    if (filename.empty()) return "";
    const bool absolute = filename[0] == '/'
#ifdef _WIN32
                          || (filename.size() > 1 && filename[1] == ':')
#endif
        ;
    if (absolute) return isFileExist(filename) ? filename : "";
    for (const std::string& dir : _searchPaths) {
        const std::string p = dir.empty() ? filename : dir + "/" + filename;
        if (isFileExist(p)) return p;
    }
    return "";
}

}  // namespace cocos2d
