#pragma once
#include <functional>
#include <string>
#include <vector>

#include "CCEvent.h"
#include "CCRef.h"

namespace cocos2d {

class Node;
class Touch;

class EventListener : public Ref {
public:
    enum class Type { TOUCH_ONE_BY_ONE, MOUSE, KEYBOARD, CUSTOM };
    Type getType() const { return _type; }
    virtual EventListener* clone() = 0;
    virtual bool checkAvailable() { return true; }
    void setEnabled(bool e) { _isEnabled = e; }
    bool isEnabled() const { return _isEnabled; }
    Node* getAssociatedNode() const { return _node; }

protected:
    explicit EventListener(Type t) : _type(t) {}
    friend class EventDispatcher;
    Type _type;
    bool _isEnabled = true;
    bool _isRegistered = false;
    bool _paused = false;
    unsigned long _serial = 0;  // registration order, the dispatcher's key
    Node* _node = nullptr;
};

class EventListenerTouchOneByOne : public EventListener {
public:
    typedef std::function<bool(Touch*, Event*)> ccTouchBeganCallback;
    typedef std::function<void(Touch*, Event*)> ccTouchCallback;

    static EventListenerTouchOneByOne* create();
    EventListenerTouchOneByOne* clone() override;
    bool checkAvailable() override { return static_cast<bool>(onTouchBegan); }
    void setSwallowTouches(bool s) { _needSwallow = s; }
    bool isSwallowTouches() const { return _needSwallow; }

    ccTouchBeganCallback onTouchBegan;
    ccTouchCallback onTouchMoved;
    ccTouchCallback onTouchEnded;
    ccTouchCallback onTouchCancelled;

protected:
    EventListenerTouchOneByOne() : EventListener(Type::TOUCH_ONE_BY_ONE) {}
    friend class EventDispatcher;
    std::vector<Touch*> _claimedTouches;
    bool _needSwallow = false;
};

class EventListenerMouse : public EventListener {
public:
    static EventListenerMouse* create();
    EventListenerMouse* clone() override;

    std::function<void(EventMouse*)> onMouseDown;
    std::function<void(EventMouse*)> onMouseUp;
    std::function<void(EventMouse*)> onMouseMove;
    std::function<void(EventMouse*)> onMouseScroll;

protected:
    EventListenerMouse() : EventListener(Type::MOUSE) {}
};

class EventListenerKeyboard : public EventListener {
public:
    static EventListenerKeyboard* create();
    EventListenerKeyboard* clone() override;

    std::function<void(EventKeyboard::KeyCode, Event*)> onKeyPressed;
    std::function<void(EventKeyboard::KeyCode, Event*)> onKeyReleased;

protected:
    EventListenerKeyboard() : EventListener(Type::KEYBOARD) {}
};

// Listens for custom events of one name. Added through EventDispatcher::addCustomEventListener
// it belongs to no node and hears the event whatever scene runs.
class EventListenerCustom : public EventListener {
public:
    static EventListenerCustom* create(const std::string& eventName,
                                       const std::function<void(EventCustom*)>& callback);
    EventListenerCustom* clone() override;
    bool checkAvailable() override { return static_cast<bool>(_onCustomEvent); }
    const std::string& getEventName() const { return _eventName; }

protected:
    EventListenerCustom() : EventListener(Type::CUSTOM) {}
    friend class EventDispatcher;
    std::string _eventName;
    std::function<void(EventCustom*)> _onCustomEvent;
};

}  // namespace cocos2d
