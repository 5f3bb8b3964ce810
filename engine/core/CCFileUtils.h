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

private:
    FileUtils();
    std::vector<std::string> _searchPaths;
};

}  // namespace cocos2d
