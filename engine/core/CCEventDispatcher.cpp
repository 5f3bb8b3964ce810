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

void EventDispatcher::add(EventListener* listener, Node* node) {
    listener->retain();
    listener->_isRegistered = true;
    listener->_node = node;
    listener->_serial = ++_serial;
    _listeners.emplace_hint(_listeners.end(), listener->_serial, listener);
    if (node) _byNode[node].push_back(listener);
}

bool EventDispatcher::hears(const EventListener* listener) const {
    return listener->_isRegistered && !(_inDispatch && listener->_serial > _serialAtDispatch);
}

void EventDispatcher::beginDispatch() {
    if (_inDispatch++ == 0) _serialAtDispatch = _serial;
}

void EventDispatcher::endDispatch() {
    --_inDispatch;
    flushPending();
}

void EventDispatcher::addEventListenerWithSceneGraphPriority(EventListener* listener, Node* node) {
    assert(listener && node);
    if (!listener || !node) return;
    assert(!listener->_isRegistered && "listener registered twice");
    if (listener->_isRegistered || !listener->checkAvailable()) return;
    listener->_paused = !node->isRunning();
    add(listener, node);
}

EventListenerCustom* EventDispatcher::addCustomEventListener(
    const std::string& eventName, const std::function<void(EventCustom*)>& callback) {
    EventListenerCustom* listener = EventListenerCustom::create(eventName, callback);
    if (!listener->checkAvailable()) return nullptr;
    listener->_paused = false;
    add(listener, nullptr);
    return listener;
}

void EventDispatcher::removeCustomEventListeners(const std::string& eventName) {
    std::vector<EventListener*> found;
    for (const auto& e : _listeners)
        if (e.second->getType() == EventListener::Type::CUSTOM &&
            static_cast<EventListenerCustom*>(e.second)->getEventName() == eventName)
            found.push_back(e.second);
    for (EventListener* l : found) remove(l);
}

void EventDispatcher::remove(EventListener* listener) {
    const bool waiting = _inDispatch && listener->_serial > _serialAtDispatch;
    if (Node* node = listener->_node) {
        auto mine = _byNode.find(node);
        if (mine != _byNode.end()) {
            auto& list = mine->second;
            list.erase(std::find(list.begin(), list.end(), listener));
            if (list.empty()) _byNode.erase(mine);
        }
    }
    listener->_isRegistered = false;
    listener->_node = nullptr;
    if (listener->getType() == EventListener::Type::TOUCH_ONE_BY_ONE)
        static_cast<EventListenerTouchOneByOne*>(listener)->_claimedTouches.clear();
    _listeners.erase(listener->_serial);
    // One the dispatch under way may still hold (and call no more) is let go after it; one
    // added during it was never seen by it.
    if (_inDispatch && !waiting)
        _removedInDispatch.push_back(listener);
    else
        listener->release();
}

void EventDispatcher::removeEventListener(EventListener* listener) {
    if (!listener || !listener->_isRegistered) return;
    remove(listener);
}

void EventDispatcher::removeEventListenersForTarget(Node* target, bool recursive) {
    auto mine = _byNode.find(target);
    if (mine != _byNode.end()) {
        const std::vector<EventListener*> listeners = mine->second;
        for (EventListener* l : listeners) remove(l);
    }
    if (recursive) {
        for (Node* child : target->getChildren()) removeEventListenersForTarget(child, true);
    }
}

void EventDispatcher::removeAllEventListeners() {
    std::map<unsigned long, EventListener*> all;
    all.swap(_listeners);
    _byNode.clear();
    std::vector<EventListener*> removed;
    removed.swap(_removedInDispatch);
    for (auto& e : all) {
        e.second->_isRegistered = false;
        e.second->_node = nullptr;
        e.second->release();
    }
    for (EventListener* l : removed) l->release();
}

void EventDispatcher::pauseEventListenersForTarget(Node* target, bool recursive) {
    auto mine = _byNode.find(target);
    if (mine != _byNode.end())
        for (EventListener* l : mine->second) l->_paused = true;
    if (recursive)
        for (Node* child : target->getChildren()) pauseEventListenersForTarget(child, true);
}

void EventDispatcher::resumeEventListenersForTarget(Node* target, bool recursive) {
    auto mine = _byNode.find(target);
    if (mine != _byNode.end())
        for (EventListener* l : mine->second) l->_paused = false;
    if (recursive)
        for (Node* child : target->getChildren()) resumeEventListenersForTarget(child, true);
}

bool EventDispatcher::hasEventListener(const EventListener* listener) const {
    return listener && listener->_isRegistered;
}

std::vector<EventListener*> EventDispatcher::getListenersForTarget(const Node* target) const {
    auto mine = _byNode.find(target);
    return mine == _byNode.end() ? std::vector<EventListener*>() : mine->second;
}

void EventDispatcher::flushPending() {
    if (_inDispatch) return;
    std::vector<EventListener*> removed;
    removed.swap(_removedInDispatch);
    for (EventListener* l : removed) l->release();
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
    for (const auto& e : _listeners) {
        EventListener* l = e.second;
        if (l->getType() != type || !hears(l) || !l->_node) continue;
        auto it = order.find(l->_node);
        if (it == order.end()) continue;  // not in the running scene
        items.push_back({l, it->second, e.first});
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
    beginDispatch();
    const auto code = event->getEventCode();
    for (Touch* touch : event->getTouches()) {
        for (EventListener* base : listeners) {
            auto* l = static_cast<EventListenerTouchOneByOne*>(base);
            if (!hears(l) || l->_paused || !usable(l)) continue;
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
    // An ended touch is forgotten everywhere, also where a listener that started swallowing
    // midway hid its end: the view frees it, and a later touch at the same address must not
    // reach a listener that never claimed it.
    if (code == EventTouch::EventCode::ENDED || code == EventTouch::EventCode::CANCELLED) {
        for (auto& e : _listeners) {
            if (e.second->getType() != EventListener::Type::TOUCH_ONE_BY_ONE) continue;
            auto& mine = static_cast<EventListenerTouchOneByOne*>(e.second)->_claimedTouches;
            for (Touch* touch : event->getTouches())
                mine.erase(std::remove(mine.begin(), mine.end(), touch), mine.end());
        }
    }
    for (EventListener* l : listeners) l->release();
    endDispatch();
}

void EventDispatcher::dispatchMouseEvent(EventMouse* event) {
    if (!_isEnabled) return;
    std::vector<EventListener*> listeners = orderedListeners(EventListener::Type::MOUSE);
    for (EventListener* l : listeners) l->retain();
    beginDispatch();
    for (EventListener* base : listeners) {
        auto* l = static_cast<EventListenerMouse*>(base);
        if (!hears(l) || l->_paused || !usable(l)) continue;
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
    for (EventListener* l : listeners) l->release();
    endDispatch();
}

void EventDispatcher::dispatchKeyboardEvent(EventKeyboard* event) {
    if (!_isEnabled) return;
    std::vector<EventListener*> listeners = orderedListeners(EventListener::Type::KEYBOARD);
    for (EventListener* l : listeners) l->retain();
    beginDispatch();
    for (EventListener* base : listeners) {
        auto* l = static_cast<EventListenerKeyboard*>(base);
        if (!hears(l) || l->_paused || !usable(l)) continue;
        event->setCurrentTarget(l->_node);
        if (event->isPressed()) {
            if (l->onKeyPressed) l->onKeyPressed(event->getKeyCode(), event);
        } else if (l->onKeyReleased) {
            l->onKeyReleased(event->getKeyCode(), event);
        }
        if (event->isStopped()) break;
    }
    for (EventListener* l : listeners) l->release();
    endDispatch();
}

void EventDispatcher::dispatchCustomEvent(const std::string& eventName, void* userData) {
    EventCustom event(eventName);
    event.setUserData(userData);
    dispatchCustom(&event);
}

void EventDispatcher::dispatchCustom(EventCustom* event) {
    if (!_isEnabled) return;
    std::vector<EventListener*> listeners;
    for (const auto& e : _listeners) {
        EventListener* l = e.second;
        if (l->getType() != EventListener::Type::CUSTOM || !hears(l)) continue;
        if (static_cast<EventListenerCustom*>(l)->getEventName() != event->getEventName()) continue;
        listeners.push_back(l);
    }
    for (EventListener* l : listeners) l->retain();
    beginDispatch();
    for (EventListener* base : listeners) {
        auto* l = static_cast<EventListenerCustom*>(base);
        // One bound to a node hears only while the node is on the running scene.
        if (!hears(l) || l->_paused || !l->isEnabled()) continue;
        if (l->_node && !l->_node->isRunning()) continue;
        event->setCurrentTarget(l->_node);
        l->_onCustomEvent(event);
        if (event->isStopped()) break;
    }
    for (EventListener* l : listeners) l->release();
    endDispatch();
}

}  // namespace cocos2d
