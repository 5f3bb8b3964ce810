#pragma once
// Finds resource files such as "res/x.png" in a list of search folders.
#include <string>
#include <vector>

namespace cocos2d {

class FileUtils {
public:
    static FileUtils* getInstance();
    // Folders are tried in order; the working folder and the executable's folder come first.
    void addSearchPath(const std::string& path, bool front = false);
    void setSearchPaths(const std::vector<std::string>& paths) { _searchPaths = paths; }
    const std::vector<std::string>& getSearchPaths() const { return _searchPaths; }
    // The path of an existing file, or "" when none of the folders has it.
    std::string fullPathForFilename(const std::string& filename) const;
    bool isFileExist(const std::string& path) const;
    static std::string executableDirectory();
#ifdef _WIN32
    // Paths are UTF-8 here as they are for SDL; Windows takes them as UTF-16 (the narrow "A"
    // calls would use the code page, and lose a user name such as "Zoë" on the way).
    static std::wstring widen(const std::string& s);
    static std::string narrow(const std::wstring& w);
#endif
    // Where the program keeps what it writes (settings, work), ending in a separator; "" when
    // nothing is to be written. The application sets it at start; tests point it elsewhere.
    const std::string& getWritablePath() const { return _writablePath; }
    void setWritablePath(const std::string& path) { _writablePath = path; }

private:
    FileUtils();
    std::vector<std::string> _searchPaths;
    std::string _writablePath;
};

}  // namespace cocos2d
