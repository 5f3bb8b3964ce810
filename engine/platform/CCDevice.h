#pragma once

#include <string>

namespace cocos2d {

class Device {
public:
    // Dots per inch of the main display; 96 where the display gives none (never 0).
    static int getDPI();
    // The user's folder for this program's own files (created if needed), ending in a
    // separator: under XDG_DATA_HOME on Linux, %APPDATA% on Windows. "" when there is none.
    static std::string getPrefPath(const std::string& organisation, const std::string& program);
};

}  // namespace cocos2d
