#pragma once

#include <cstdint>
#include <string>

// Core engine headers only: this library links the engine core, without the SDL half that
// the umbrella cocos2d.h also pulls in.
#include "CCRef.h"

// One line for the board: its bytes (terminator included) and the pause that follows it.
class SendData : public cocos2d::Ref {
public:
    static SendData* create(const std::string& text, int32_t delayMs);

    ~SendData() override;
    virtual bool init();

    std::string text;
    int32_t delayMs = 0;  // milliseconds; 0 or less: no pause
    // Closes what the program's first line opened: still sent after a stop (see SerialLine).
    bool closing = false;
};
