#include "CCEventDispatcher.h"
#include "CCLayer.h"

#include <algorithm>
#include <cassert>
#include <unordered_map>

#include "CCDirector.h"
#include "CCNode.h"
#include "CCTouch.h"

namespace cocos2d {


EventListenerTouchOneByOne* EventListenerTouchOneByOne::create() {
    auto* l = new EventListenerTouchOneByOne;
    l->autorelease();
    return l;
}

EventListenerTouchOneByOne* EventListenerTouchOneByOne::clone() {
    auto* l = new EventListenerTouchOneByOne;
    l->onTouchBegan = onTouchBegan;
    l->onTouchMoved = onTouchMoved;
    l->onTouchEnded = onTouchEnded;
    l->onTouchCancelled = onTouchCancelled;
    l->_needSwallow = _needSwallow;
    l->autorelease();
    return l;
}

EventListenerMouse* EventListenerMouse::create() {
    auto* l = new EventListenerMouse;
    l->autorelease();
    return l;
}

EventListenerMouse* EventListenerMouse::clone() {
    auto* l = new EventListenerMouse;
    l->onMouseDown = onMouseDown;
    l->onMouseUp = onMouseUp;
    l->onMouseMove = onMouseMove;
    l->onMouseScroll = onMouseScroll;
    l->autorelease();
    return l;
}

EventListenerKeyboard* EventListenerKeyboard::create() {
    auto* l = new EventListenerKeyboard;
    l->autorelease();
    return l;
}

EventListenerKeyboard* EventListenerKeyboard::clone() {
    auto* l = new EventListenerKeyboard;
    l->onKeyPressed = onKeyPressed;
    l->onKeyReleased = onKeyReleased;
    l->autorelease();
    return l;
}

EventListenerCustom* EventListenerCustom::create(const std::string& eventName,
                                                 const std::function<void(EventCustom*)>& callback) {
    auto* l = new EventListenerCustom;
    l->_eventName = eventName;
    l->_onCustomEvent = callback;
    l->autorelease();
    return l;
}

EventListenerCustom* EventListenerCustom::clone() { return create(_eventName, _onCustomEvent); }

EventDispatcher::~EventDispatcher() { removeAllEventListeners(); }

void EventDispatcher::addEventListenerWithSceneGraphPriority(EventListener* listener, Node* node) {
    assert(listener && node);
    if (!listener || !node) return;
    assert(!listener->_isRegistered && "listener registered twice");
    if (listener->_isRegistered || !listener->checkAvailable()) return;
    listener->retain();
    listener->_isRegistered = true;
    listener->_node = node;
    listener->_paused = !node->isRunning();
    Entry e{listener, ++_serial};
    if (_inDispatch)
        _toAdd.push_back(e);
    else
        _listeners.push_back(e);
}

EventListenerCustom* EventDispatcher::addCustomEventListener(
    const std::string& eventName, const std::function<void(EventCustom*)>& callback) {
    EventListenerCustom* listener = EventListenerCustom::create(eventName, callback);
    if (!listener->checkAvailable()) return nullptr;
    listener->retain();
    listener->_isRegistered = true;
    listener->_node = nullptr;
    listener->_paused = false;
    Entry e{listener, ++_serial};
    if (_inDispatch)
        _toAdd.push_back(e);
    else
        _listeners.push_back(e);
    return listener;
}

void EventDispatcher::removeCustomEventListeners(const std::string& eventName) {
    std::vector<EventListener*> found;
    for (auto* list : {&_listeners, &_toAdd})
        for (const Entry& e : *list)
            if (e.listener->_isRegistered && e.listener->getType() == EventListener::Type::CUSTOM &&
                static_cast<EventListenerCustom*>(e.listener)->getEventName() == eventName)
                found.push_back(e.listener);
    for (EventListener* l : found) remove(l);
}

void EventDispatcher::remove(EventListener* listener) {
    listener->_isRegistered = false;
    listener->_node = nullptr;
    if (listener->getType() == EventListener::Type::TOUCH_ONE_BY_ONE)
        static_cast<EventListenerTouchOneByOne*>(listener)->_claimedTouches.clear();
    auto pred = [listener](const Entry& e) { return e.listener == listener; };
    auto it = std::find_if(_toAdd.begin(), _toAdd.end(), pred);
    if (it != _toAdd.end()) {
        _toAdd.erase(it);
        listener->release();
        return;
    }
    if (_inDispatch) return;  // swept out by flushPending
    it = std::find_if(_listeners.begin(), _listeners.end(), pred);
    if (it != _listeners.end()) {
        _listeners.erase(it);
        listener->release();
    }
}

void EventDispatcher::removeEventListener(EventListener* listener) {
    if (!listener || !listener->_isRegistered) return;
    remove(listener);
}

void EventDispatcher::removeEventListenersForTarget(Node* target, bool recursive) {
    for (EventListener* l : getListenersForTarget(target)) remove(l);
    if (recursive) {
        for (Node* child : target->getChildren()) removeEventListenersForTarget(child, true);
    }
}

void EventDispatcher::removeAllEventListeners() {
    std::vector<Entry> all;
    all.swap(_listeners);
    all.insert(all.end(), _toAdd.begin(), _toAdd.end());
    _toAdd.clear();
    for (auto& e : all) {
        if (e.listener->_isRegistered) {
            e.listener->_isRegistered = false;
            e.listener->_node = nullptr;
        }
        e.listener->release();
    }
}

void EventDispatcher::pauseEventListenersForTarget(Node* target, bool recursive) {
    for (EventListener* l : getListenersForTarget(target)) l->_paused = true;
    if (recursive)
        for (Node* child : target->getChildren()) pauseEventListenersForTarget(child, true);
}

void EventDispatcher::resumeEventListenersForTarget(Node* target, bool recursive) {
    for (EventListener* l : getListenersForTarget(target)) l->_paused = false;
    if (recursive)
        for (Node* child : target->getChildren()) resumeEventListenersForTarget(child, true);
}

bool EventDispatcher::hasEventListener(const EventListener* listener) const {
    return listener && listener->_isRegistered;
}

std::vector<EventListener*> EventDispatcher::getListenersForTarget(const Node* target) const {
    std::vector<EventListener*> out;
    for (auto* list : {&_listeners, &_toAdd})
        for (const Entry& e : *list)
            if (e.listener->_isRegistered && e.listener->_node == target) out.push_back(e.listener);
    return out;
}

void EventDispatcher::flushPending() {
    if (_inDispatch) return;
    for (auto it = _listeners.begin(); it != _listeners.end();) {
        if (!it->listener->_isRegistered) {
            it->listener->release();
            it = _listeners.erase(it);
        } else {
            ++it;
        }
    }
    _listeners.insert(_listeners.end(), _toAdd.begin(), _toAdd.end());
    _toAdd.clear();
}

namespace {
// Draw order of every node of the running scene: children below zero, the node, the rest.
void numberInDrawOrder(Node* node, std::unordered_map<const Node*, int>& order, int& next) {
    node->sortAllChildren();
    const auto& children = node->getChildren();
    size_t i = 0;
    for (; i < static_cast<size_t>(children.size()); ++i) {
        Node* c = children.at(i);
        if (c->getLocalZOrder() >= 0) break;
        numberInDrawOrder(c, order, next);
    }
    order[node] = next++;
    for (; i < static_cast<size_t>(children.size()); ++i)
        numberInDrawOrder(children.at(i), order, next);
}
}  // namespace

std::vector<EventListener*> EventDispatcher::orderedListeners(EventListener::Type type) {
    std::unordered_map<const Node*, int> order;
    int next = 0;
    if (Scene* scene = Director::getInstance()->getRunningScene()) numberInDrawOrder(scene, order, next);
    struct Item {
        EventListener* l;
        int order;
        unsigned long serial;
    };
    std::vector<Item> items;
    for (const Entry& e : _listeners) {
        EventListener* l = e.listener;
        if (l->getType() != type || !l->_isRegistered || !l->_node) continue;
        auto it = order.find(l->_node);
        if (it == order.end()) continue;  // not in the running scene
        items.push_back({l, it->second, e.serial});
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.order != b.order ? a.order > b.order : a.serial < b.serial;
    });
    std::vector<EventListener*> out;
    out.reserve(items.size());
    for (auto& i : items) out.push_back(i.l);
    return out;
}

void EventDispatcher::dispatchEvent(Event* event) {
    if (event->getType() == Event::Type::TOUCH)
        dispatchTouchEvent(static_cast<EventTouch*>(event));
    else if (event->getType() == Event::Type::MOUSE)
        dispatchMouseEvent(static_cast<EventMouse*>(event));
    else if (event->getType() == Event::Type::KEYBOARD)
        dispatchKeyboardEvent(static_cast<EventKeyboard*>(event));
    else if (event->getType() == Event::Type::CUSTOM)
        dispatchCustom(static_cast<EventCustom*>(event));
}

namespace {
bool usable(EventListener* l) {
    return l->isEnabled() && l->getAssociatedNode() && l->getAssociatedNode()->isRunning();
}
}  // namespace

void EventDispatcher::dispatchTouchEvent(EventTouch* event) {
    if (!_isEnabled) return;
    std::vector<EventListener*> listeners = orderedListeners(EventListener::Type::TOUCH_ONE_BY_ONE);
    for (EventListener* l : listeners) l->retain();
    ++_inDispatch;
    const auto code = event->getEventCode();
    for (Touch* touch : event->getTouches()) {
        for (EventListener* base : listeners) {
            auto* l = static_cast<EventListenerTouchOneByOne*>(base);
            if (!l->_isRegistered || l->_paused || !usable(l)) continue;
            event->setCurrentTarget(l->_node);
            bool claimed = false;
            auto& mine = l->_claimedTouches;
            if (code == EventTouch::EventCode::BEGAN) {
                if (l->onTouchBegan) {
                    claimed = l->onTouchBegan(touch, event);
                    if (claimed && l->_isRegistered) mine.push_back(touch);
                }
            } else {
                auto it = std::find(mine.begin(), mine.end(), touch);
                if (it != mine.end()) {
                    claimed = true;
                    if (code == EventTouch::EventCode::MOVED) {
                        if (l->onTouchMoved) l->onTouchMoved(touch, event);
                    } else {
                        mine.erase(it);
                        if (code == EventTouch::EventCode::ENDED) {
                            if (l->onTouchEnded) l->onTouchEnded(touch, event);
                        } else if (l->onTouchCancelled) {
                            l->onTouchCancelled(touch, event);
                        }
                    }
                }
            }
            if (event->isStopped()) break;
            if (claimed && l->_isRegistered && l->_needSwallow) break;
        }
        if (event->isStopped()) break;
    }
    --_inDispatch;
    // An ended touch is forgotten everywhere, also where a listener that started swallowing
    // midway hid its end: the view frees it, and a later touch at the same address must not
    // reach a listener that never claimed it.
    if (code == EventTouch::EventCode::ENDED || code == EventTouch::EventCode::CANCELLED) {
        for (auto* list : {&_listeners, &_toAdd}) {
            for (Entry& e : *list) {
                if (e.listener->getType() != EventListener::Type::TOUCH_ONE_BY_ONE) continue;
                auto& mine = static_cast<EventListenerTouchOneByOne*>(e.listener)->_claimedTouches;
                for (Touch* touch : event->getTouches())
                    mine.erase(std::remove(mine.begin(), mine.end(), touch), mine.end());
            }
        }
    }
    for (EventListener* l : listeners) l->release();
    flushPending();
}

void EventDispatcher::dispatchMouseEvent(EventMouse* event) {
    if (!_isEnabled) return;
    std::vector<EventListener*> listeners = orderedListeners(EventListener::Type::MOUSE);
    for (EventListener* l : listeners) l->retain();
    ++_inDispatch;
    for (EventListener* base : listeners) {
        auto* l = static_cast<EventListenerMouse*>(base);
        if (!l->_isRegistered || l->_paused || !usable(l)) continue;
        event->setCurrentTarget(l->_node);
        switch (event->getMouseEventType()) {
            case EventMouse::MouseEventType::MOUSE_DOWN:
                if (l->onMouseDown) l->onMouseDown(event);
                break;
            case EventMouse::MouseEventType::MOUSE_UP:
                if (l->onMouseUp) l->onMouseUp(event);
                break;
            case EventMouse::MouseEventType::MOUSE_MOVE:
                if (l->onMouseMove) l->onMouseMove(event);
                break;
            case EventMouse::MouseEventType::MOUSE_SCROLL:
                if (l->onMouseScroll) l->onMouseScroll(event);
                break;
            default:
                break;
        }
        if (event->isStopped()) break;
    }
    --_inDispatch;
    for (EventListener* l : listeners) l->release();
    flushPending();
}

void EventDispatcher::dispatchKeyboardEvent(EventKeyboard* event) {
    if (!_isEnabled) return;
    std::vector<EventListener*> listeners = orderedListeners(EventListener::Type::KEYBOARD);
    for (EventListener* l : listeners) l->retain();
    ++_inDispatch;
    for (EventListener* base : listeners) {
        auto* l = static_cast<EventListenerKeyboard*>(base);
        if (!l->_isRegistered || l->_paused || !usable(l)) continue;
        event->setCurrentTarget(l->_node);
        if (event->isPressed()) {
            if (l->onKeyPressed) l->onKeyPressed(event->getKeyCode(), event);
        } else if (l->onKeyReleased) {
            l->onKeyReleased(event->getKeyCode(), event);
        }
        if (event->isStopped()) break;
    }
    --_inDispatch;
    for (EventListener* l : listeners) l->release();
    flushPending();
}

void EventDispatcher::dispatchCustomEvent(const std::string& eventName, void* userData) {
    EventCustom event(eventName);
    event.setUserData(userData);
    dispatchCustom(&event);
}

void EventDispatcher::dispatchCustom(EventCustom* event) {
    if (!_isEnabled) return;
    std::vector<EventListener*> listeners;
    for (const Entry& e : _listeners) {
        EventListener* l = e.listener;
        if (l->getType() != EventListener::Type::CUSTOM || !l->_isRegistered) continue;
        if (static_cast<EventListenerCustom*>(l)->getEventName() != event->getEventName()) continue;
        listeners.push_back(l);
    }
    for (EventListener* l : listeners) l->retain();
    ++_inDispatch;
    for (EventListener* base : listeners) {
        auto* l = static_cast<EventListenerCustom*>(base);
        // One bound to a node hears only while the node is on the running scene.
        if (!l->_isRegistered || l->_paused || !l->isEnabled()) continue;
        if (l->_node && !l->_node->isRunning()) continue;
        event->setCurrentTarget(l->_node);
        l->_onCustomEvent(event);
        if (event->isStopped()) break;
    }
    --_inDispatch;
    for (EventListener* l : listeners) l->release();
    flushPending();
}

}  // namespace cocos2d
