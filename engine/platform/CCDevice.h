#pragma once

namespace cocos2d {

class Device {
public:
    // Dots per inch of the main display; 96 where the display gives none (never 0).
    static int getDPI();
};

}  // namespace cocos2d
