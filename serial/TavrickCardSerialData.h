#pragma once

#include <string>

// Core engine headers only: this library links the engine core, without the SDL half that
// the umbrella cocos2d.h also pulls in.
#include "CCRef.h"
#include "SerialLink.h"

// One serial port found by a scan.
class TavrickCardSerialData : public cocos2d::Ref {
public:
    static TavrickCardSerialData* create();
    static TavrickCardSerialData* create(const std::string& portName,
                                         const std::string& description);

    ~TavrickCardSerialData() override;
    virtual bool init();

    std::string portName;     // e.g. /dev/ttyUSB0, or COM3 on Windows
    std::string description;  // e.g. the USB product name
    // How the port is attached, as the scan found it. A built-in port (ttyS0, ttyAMA0, a COM
    // port that is not USB) is listed but never chosen unless the user picks it.
    tavrick::PortKind kind = tavrick::PortKind::Other;
    bool isBuiltIn() const { return kind == tavrick::PortKind::BuiltIn; }
};
