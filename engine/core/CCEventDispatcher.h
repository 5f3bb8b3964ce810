#pragma once
// Delivers touches and mouse events to listeners in scene-graph order, topmost drawn
// first. A touch-began callback returning true claims the touch and receives its moves,
// end and cancel; a claiming listener that swallows hides the touch from those after it.
// Listeners added while an event is dispatched take part from the next event; listeners
// removed while dispatching get nothing more.
//
// The listeners are kept in registration order and, beside that, by node: adding, removing,
// pausing or resuming the listeners of one node costs about the same with ten thousand cards
// on the field as with ten (Node::onEnter and onExit ask for every node).
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
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
    size_t getListenerCount() const { return _listeners.size() + _removedInDispatch.size(); }
    // Listeners registered for one node, in registration order.
    std::vector<EventListener*> getListenersForTarget(const Node* target) const;

private:
    std::vector<EventListener*> orderedListeners(EventListener::Type type);
    void add(EventListener* listener, Node* node);
    void remove(EventListener* listener);
    // Around the callbacks of one dispatch; the end of the outermost releases what was removed.
    void beginDispatch();
    void endDispatch();
    // Registered, and not added during the dispatch under way.
    bool hears(const EventListener* listener) const;
    void flushPending();
    void dispatchCustom(EventCustom* event);
    // Every registered listener, retained, by its serial (registration order).
    std::map<unsigned long, EventListener*> _listeners;
    // The registered listeners of each node, in registration order.
    std::unordered_map<const Node*, std::vector<EventListener*>> _byNode;
    // Removed during a dispatch: still retained, released when it ends.
    std::vector<EventListener*> _removedInDispatch;
    int _inDispatch = 0;
    unsigned long _serial = 0;
    // The last serial given before the outermost dispatch under way began: later ones wait.
    unsigned long _serialAtDispatch = 0;
    bool _isEnabled = true;
};

}  // namespace cocos2d
