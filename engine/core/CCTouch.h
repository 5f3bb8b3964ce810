#pragma once
#include <cstdint>

#include "CCGeometry.h"
#include "CCRef.h"

namespace cocos2d {

// One finger (or the left mouse button, id 0). Locations are design points, y up.
// The id keeps the window system's full width wherever it is stored or compared.
class Touch : public Ref {
public:
    Touch() = default;
    intptr_t getID() const { return _id; }
    Vec2 getLocation() const { return _point; }
    Vec2 getPreviousLocation() const { return _prevPoint; }
    Vec2 getStartLocation() const { return _startPoint; }
    Vec2 getDelta() const { return _point - _prevPoint; }
    void setTouchInfo(intptr_t id, float x, float y) {
        _id = id;
        _prevPoint = _point;
        _point = Vec2(x, y);
        if (!_startPointCaptured) {
            _startPoint = _point;
            _prevPoint = _point;
            _startPointCaptured = true;
        }
    }
    // Desktop addition: false once the touch has ended or been cancelled, so that a holder
    // that retained it can tell a touch whose end it never heard.
    bool isLive() const { return _live; }
    void setLive(bool live) { _live = live; }

private:
    intptr_t _id = 0;
    bool _startPointCaptured = false;
    bool _live = true;
    Vec2 _startPoint, _point, _prevPoint;
};

}  // namespace cocos2d
