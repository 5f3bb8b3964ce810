#pragma once
#include <string>
#include <vector>

#include "CCGeometry.h"
#include "CCRef.h"

namespace cocos2d {

class Node;
class Touch;

class Event : public Ref {
public:
    enum class Type { TOUCH, MOUSE, KEYBOARD, CUSTOM };
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

class EventKeyboard : public Event {
public:
    // The keys the desktop build reports; the rest arrive as KEY_NONE and are not dispatched.
    enum class KeyCode {
        KEY_NONE,
        KEY_ESCAPE,
        KEY_BACKSPACE,
        KEY_TAB,
        KEY_ENTER,
        KEY_SPACE,
        KEY_DELETE,
        KEY_LEFT_ARROW,
        KEY_RIGHT_ARROW,
        KEY_UP_ARROW,
        KEY_DOWN_ARROW,
        KEY_LEFT_SHIFT,
        KEY_RIGHT_SHIFT,
        KEY_LEFT_CTRL,
        KEY_RIGHT_CTRL,
        KEY_LEFT_ALT,
        KEY_RIGHT_ALT,
        KEY_F5,
        KEY_F11,
        KEY_0, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5, KEY_6, KEY_7, KEY_8, KEY_9,
        KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I, KEY_J, KEY_K, KEY_L, KEY_M,
        KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R, KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z,
        KEY_HOME,
        // "+" and "=" share a key on many layouts; the keypad's are reported as these too
        // (and its 0 as KEY_0).
        KEY_PLUS, KEY_MINUS, KEY_EQUAL,
    };
    EventKeyboard(KeyCode code, bool pressed) : Event(Type::KEYBOARD), _keyCode(code), _isPressed(pressed) {}
    KeyCode getKeyCode() const { return _keyCode; }
    bool isPressed() const { return _isPressed; }
    // Desktop addition: the modifiers held when the key went down, so that a shortcut does not
    // depend on having seen the modifier's own press (it may have gone down in another window).
    void setModifiers(bool control, bool shift) { _control = control; _shift = shift; }
    bool isControlDown() const { return _control; }
    bool isShiftDown() const { return _shift; }

private:
    KeyCode _keyCode;
    bool _isPressed;
    bool _control = false, _shift = false;
};

// An application-defined event, delivered by name; the user data belongs to the sender.
class EventCustom : public Event {
public:
    explicit EventCustom(const std::string& name) : Event(Type::CUSTOM), _eventName(name) {}
    const std::string& getEventName() const { return _eventName; }
    void setUserData(void* data) { _userData = data; }
    void* getUserData() const { return _userData; }

private:
    std::string _eventName;
    void* _userData = nullptr;
};

}  // namespace cocos2d
