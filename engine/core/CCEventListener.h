#pragma once
#include <functional>
#include <vector>

#include "CCEvent.h"
#include "CCRef.h"

namespace cocos2d {

class Node;
class Touch;

class EventListener : public Ref {
public:
    enum class Type { TOUCH_ONE_BY_ONE, MOUSE };
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

}  // namespace cocos2d
