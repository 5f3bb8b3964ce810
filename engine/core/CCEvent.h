#pragma once
#include <vector>

#include "CCGeometry.h"
#include "CCRef.h"

namespace cocos2d {

class Node;
class Touch;

class Event : public Ref {
public:
    enum class Type { TOUCH, MOUSE, CUSTOM };
    explicit Event(Type t) : _type(t) {}
    Type getType() const { return _type; }
    void stopPropagation() { _isStopped = true; }
    bool isStopped() const { return _isStopped; }
    Node* getCurrentTarget() const { return _currentTarget; }
    void setCurrentTarget(Node* n) { _currentTarget = n; }

protected:
    Type _type;
    bool _isStopped = false;
    Node* _currentTarget = nullptr;
};

class EventTouch : public Event {
public:
    enum class EventCode { BEGAN, MOVED, ENDED, CANCELLED };
    EventTouch() : Event(Type::TOUCH) {}
    EventCode getEventCode() const { return _eventCode; }
    const std::vector<Touch*>& getTouches() const { return _touches; }
    void setEventCode(EventCode c) { _eventCode = c; }
    void setTouches(const std::vector<Touch*>& t) { _touches = t; }

private:
    EventCode _eventCode = EventCode::BEGAN;
    std::vector<Touch*> _touches;
};

class EventMouse : public Event {
public:
    enum class MouseEventType { MOUSE_NONE, MOUSE_DOWN, MOUSE_UP, MOUSE_MOVE, MOUSE_SCROLL };
    enum class MouseButton { BUTTON_UNSET = -1, BUTTON_LEFT = 0, BUTTON_RIGHT = 1, BUTTON_MIDDLE = 2 };
    explicit EventMouse(MouseEventType t) : Event(Type::MOUSE), _mouseEventType(t) {}
    MouseEventType getMouseEventType() const { return _mouseEventType; }
    // Positive y scrolls towards the user (wheel turned down), as the engine reports it.
    void setScrollData(float x, float y) { _scrollX = x; _scrollY = y; }
    float getScrollX() const { return _scrollX; }
    float getScrollY() const { return _scrollY; }
    void setCursorPosition(float x, float y) { _x = x; _y = y; }
    float getCursorX() const { return _x; }
    float getCursorY() const { return _y; }
    Vec2 getLocation() const { return Vec2(_x, _y); }
    void setMouseButton(MouseButton b) { _mouseButton = b; }
    MouseButton getMouseButton() const { return _mouseButton; }
    // Desktop addition: Ctrl held while the event happened (Ctrl + wheel zooms).
    void setControlDown(bool down) { _controlDown = down; }
    bool isControlDown() const { return _controlDown; }

private:
    MouseEventType _mouseEventType;
    MouseButton _mouseButton = MouseButton::BUTTON_UNSET;
    float _x = 0, _y = 0, _scrollX = 0, _scrollY = 0;
    bool _controlDown = false;
};

}  // namespace cocos2d
