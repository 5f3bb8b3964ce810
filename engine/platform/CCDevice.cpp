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

}  // namespace cocos2d
