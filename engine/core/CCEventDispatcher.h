#pragma once
// Delivers touches and mouse events to listeners in scene-graph order, topmost drawn
// first. A touch-began callback returning true claims the touch and receives its moves,
// end and cancel; a claiming listener that swallows hides the touch from those after it.
// Listeners added while an event is dispatched take part from the next event; listeners
// removed while dispatching get nothing more.
#include <functional>
#include <string>
#include <vector>

#include "CCEventListener.h"

namespace cocos2d {

class Node;
class EventTouch;
class EventMouse;
class EventKeyboard;
class EventCustom;

class EventDispatcher : public Ref {
public:
    ~EventDispatcher() override;
    void addEventListenerWithSceneGraphPriority(EventListener* listener, Node* node);
    // A custom listener that belongs to no node: it hears its event until removed.
    EventListenerCustom* addCustomEventListener(const std::string& eventName,
                                                const std::function<void(EventCustom*)>& callback);
    void removeCustomEventListeners(const std::string& eventName);
    void removeEventListener(EventListener* listener);
    void removeEventListenersForTarget(Node* target, bool recursive = false);
    void removeAllEventListeners();
    void pauseEventListenersForTarget(Node* target, bool recursive = false);
    void resumeEventListenersForTarget(Node* target, bool recursive = false);
    void setEnabled(bool enabled) { _isEnabled = enabled; }
    bool isEnabled() const { return _isEnabled; }

    void dispatchEvent(Event* event);
    void dispatchTouchEvent(EventTouch* event);
    void dispatchMouseEvent(EventMouse* event);
    void dispatchKeyboardEvent(EventKeyboard* event);
    void dispatchCustomEvent(const std::string& eventName, void* userData = nullptr);

    bool hasEventListener(const EventListener* listener) const;
    size_t getListenerCount() const { return _listeners.size() + _toAdd.size(); }
    // Listeners registered for one node, in registration order.
    std::vector<EventListener*> getListenersForTarget(const Node* target) const;

private:
    struct Entry {
        EventListener* listener;
        unsigned long serial;
    };
    std::vector<EventListener*> orderedListeners(EventListener::Type type);
    void remove(EventListener* listener);
    void flushPending();
    void dispatchCustom(EventCustom* event);
    std::vector<Entry> _listeners;
    std::vector<Entry> _toAdd;
    int _inDispatch = 0;
    unsigned long _serial = 0;
    bool _isEnabled = true;
};

}  // namespace cocos2d
