#include "CCDevice.h"

#include <SDL.h>

#include <cmath>

namespace cocos2d {

int Device::getDPI() {
    static int dpi = 0;
    if (dpi > 0) return dpi;
    float d = 0;
    if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDisplayDPI(0, &d, nullptr, nullptr) == 0 && d >= 1) {
        dpi = static_cast<int>(std::lround(d));
        return dpi;
    }
    return 96;  // not cached: the display may come up later
}

std::string Device::getPrefPath(const std::string& organisation, const std::string& program) {
    char* path = SDL_GetPrefPath(organisation.c_str(), program.c_str());
    if (!path) return "";
    std::string result = path;
    SDL_free(path);
    return result;
}

}  // namespace cocos2d
