#pragma once
#include "CCGeometry.h"
#include "CCRef.h"

namespace cocos2d {

// One finger (or the left mouse button, id 0). Locations are design points, y up.
class Touch : public Ref {
public:
    Touch() = default;
    int getID() const { return _id; }
    Vec2 getLocation() const { return _point; }
    Vec2 getPreviousLocation() const { return _prevPoint; }
    Vec2 getStartLocation() const { return _startPoint; }
    Vec2 getDelta() const { return _point - _prevPoint; }
    void setTouchInfo(int id, float x, float y) {
        _id = id;
        _prevPoint = _point;
        _point = Vec2(x, y);
        if (!_startPointCaptured) {
            _startPoint = _point;
            _prevPoint = _point;
            _startPointCaptured = true;
        }
    }

private:
    int _id = 0;
    bool _startPointCaptured = false;
    Vec2 _startPoint, _point, _prevPoint;
};

}  // namespace cocos2d
