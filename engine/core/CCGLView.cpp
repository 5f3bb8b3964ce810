#include "CCGLView.h"

#include <algorithm>
#include <cmath>

#include "CCDirector.h"
#include "CCEvent.h"
#include "CCEventDispatcher.h"
#include "CCRenderer.h"
#include "CCTouch.h"

namespace cocos2d {

GLContextAttrs GLView::_glContextAttrs;

GLView::~GLView() {
    for (auto& t : _touches) {
        t.second->setLive(false);
        t.second->release();
    }
}

void GLView::setGLContextAttrs(GLContextAttrs& attrs) { _glContextAttrs = attrs; }
GLContextAttrs GLView::getGLContextAttrs() { return _glContextAttrs; }

void GLView::setFrameSize(float width, float height) {
    _frameSize = Size(width, height);
    if (_designResolutionSize.width > 0) updateDesignResolution();
}

void GLView::setDesignResolutionSize(float width, float height, ResolutionPolicy policy) {
    if (width <= 0 || height <= 0) return;
    _designResolutionSize = Size(width, height);
    _resolutionPolicy = policy;
    updateDesignResolution();
}

void GLView::updateDesignResolution() {
    if (_frameSize.width <= 0 || _frameSize.height <= 0) return;
    float sx = _frameSize.width / _designResolutionSize.width;
    float sy = _frameSize.height / _designResolutionSize.height;
    switch (_resolutionPolicy) {
        case ResolutionPolicy::SHOW_ALL:
            sx = sy = std::min(sx, sy);
            break;
        case ResolutionPolicy::NO_BORDER:
            sx = sy = std::max(sx, sy);
            break;
        default:
            break;
    }
    _scaleX = sx;
    _scaleY = sy;
    const float w = _designResolutionSize.width * sx, h = _designResolutionSize.height * sy;
    _viewPortRect = Rect((_frameSize.width - w) / 2, (_frameSize.height - h) / 2, w, h);
}

Size GLView::fitWindowSize(const Size& wanted, const Size& room) {
    if (room.width <= 0 || room.height <= 0 || wanted.width <= 0 || wanted.height <= 0)
        return wanted;
    if (wanted.width <= room.width && wanted.height <= room.height) return wanted;
    const float scale = std::min(room.width / wanted.width, room.height / wanted.height);
    // Down to whole pixels, never past the room (a hair of slack for float rounding).
    return Size(std::max(1.f, std::floor(wanted.width * scale + 1e-3f)),
                std::max(1.f, std::floor(wanted.height * scale + 1e-3f)));
}

Size GLView::getVisibleSize() const { return _designResolutionSize; }
Vec2 GLView::getVisibleOrigin() const { return Vec2::ZERO; }

Vec2 GLView::frameToDesign(float px, float py) const {
    const float yUp = _frameSize.height - py;
    return Vec2((px - _viewPortRect.origin.x) / _scaleX, (yUp - _viewPortRect.origin.y) / _scaleY);
}

void GLView::applyScissor() {
    RenderBackend* backend = getRenderBackend();
    if (!backend) return;
    backend->setClip(_scissorEnabled ? &_scissorRect : nullptr);
}

void GLView::setScissorInPoints(float x, float y, float w, float h) {
    _scissorRect = Rect(x, y, w, h);
    applyScissor();
}

void GLView::enableScissorTest() {
    _scissorEnabled = true;
    applyScissor();
}

void GLView::disableScissorTest() {
    _scissorEnabled = false;
    applyScissor();
}

// --- touches -------------------------------------------------------------------------

void GLView::dispatchTouches(int code, const std::vector<std::pair<intptr_t, Vec2>>& points) {
    const auto c = static_cast<EventTouch::EventCode>(code);
    const Size design = _designResolutionSize;
    std::vector<Touch*> touches;
    for (const auto& p : points) {
        auto it = _touches.find(p.first);
        Touch* t = nullptr;
        if (c == EventTouch::EventCode::BEGAN) {
            if (it != _touches.end()) continue;  // already down: a duplicate press
            // A press in the bars beside a letterboxed screen lands on no design point:
            // nothing there may react (a touch already down may still wander out).
            if (design.width > 0 && design.height > 0 &&
                !Rect(0, 0, design.width, design.height).containsPoint(p.second))
                continue;
            t = new Touch;
            _touches[p.first] = t;
        } else {
            if (it == _touches.end()) continue;  // never began: nothing to continue
            t = it->second;
        }
        t->setTouchInfo(p.first, p.second.x, p.second.y);
        touches.push_back(t);
    }
    if (touches.empty()) return;
    for (Touch* t : touches) t->retain();
    // On the heap, like the touches: a callback may keep the event beyond the dispatch.
    auto* event = new EventTouch;
    event->setEventCode(c);
    event->setTouches(touches);
    Director* d = Director::getInstance();
    d->getEventDispatcher()->dispatchTouchEvent(event);
    d->setNeedsRedraw();
    if (c == EventTouch::EventCode::ENDED || c == EventTouch::EventCode::CANCELLED) {
        for (Touch* t : touches) {
            t->setLive(false);
            auto it = _touches.find(t->getID());
            if (it != _touches.end() && it->second == t) {
                _touches.erase(it);
                t->release();
            }
        }
    }
    event->release();
    for (Touch* t : touches) t->release();
}

void GLView::touchesInDesign(int code, const std::vector<std::pair<intptr_t, Vec2>>& touches) {
    dispatchTouches(code, touches);
}

namespace {
std::vector<std::pair<intptr_t, Vec2>> toDesign(const GLView* v, int num, intptr_t ids[],
                                                float xs[], float ys[]) {
    std::vector<std::pair<intptr_t, Vec2>> out;
    for (int i = 0; i < num; ++i) out.emplace_back(ids[i], v->frameToDesign(xs[i], ys[i]));
    return out;
}
}  // namespace

void GLView::handleTouchesBegin(int num, intptr_t ids[], float xs[], float ys[]) {
    dispatchTouches(0, toDesign(this, num, ids, xs, ys));
}
void GLView::handleTouchesMove(int num, intptr_t ids[], float xs[], float ys[]) {
    dispatchTouches(1, toDesign(this, num, ids, xs, ys));
}
void GLView::handleTouchesEnd(int num, intptr_t ids[], float xs[], float ys[]) {
    dispatchTouches(2, toDesign(this, num, ids, xs, ys));
}
void GLView::handleTouchesCancel(int num, intptr_t ids[], float xs[], float ys[]) {
    dispatchTouches(3, toDesign(this, num, ids, xs, ys));
}

void GLView::cancelAllTouches() {
    std::vector<std::pair<intptr_t, Vec2>> all;
    for (auto& t : _touches) all.emplace_back(t.first, t.second->getLocation());
    dispatchTouches(3, all);
}

void GLView::handleScroll(const Vec2& p, float scrollX, float scrollY, bool controlDown) {
    auto* event = new EventMouse(EventMouse::MouseEventType::MOUSE_SCROLL);
    event->setCursorPosition(p.x, p.y);
    event->setScrollData(scrollX, scrollY);
    event->setControlDown(controlDown);
    Director* d = Director::getInstance();
    d->getEventDispatcher()->dispatchMouseEvent(event);
    d->setNeedsRedraw();
    event->release();
}

// --- window-system pointers -----------------------------------------------------------

void GLView::handleMouseDown(float px, float py) {
    if (_mousePressed) return;
    _mousePressed = true;
    intptr_t id = 0;
    handleTouchesBegin(1, &id, &px, &py);
}

void GLView::handleMouseMove(float px, float py) {
    if (!_mousePressed) return;
    intptr_t id = 0;
    handleTouchesMove(1, &id, &px, &py);
}

void GLView::handleMouseUp(float px, float py) {
    if (!_mousePressed) return;
    _mousePressed = false;
    intptr_t id = 0;
    handleTouchesEnd(1, &id, &px, &py);
}

void GLView::handleFingerDown(long long finger, float px, float py) {
    auto it = _fingers.find(finger);
    if (it != _fingers.end()) {
        // Its lift never came: that touch is over, or it would stay down for ever.
        intptr_t stale = it->second;
        _fingers.erase(it);
        auto t = _touches.find(stale);
        if (t != _touches.end()) {
            const Vec2 at = t->second->getLocation();
            dispatchTouches(3, {{stale, at}});
        }
    }
    intptr_t id = 1;  // 0 is the mouse
    for (;; ++id) {
        bool taken = _touches.count(id) > 0;
        for (auto& f : _fingers)
            if (f.second == id) taken = true;
        if (!taken) break;
    }
    _fingers[finger] = id;
    handleTouchesBegin(1, &id, &px, &py);
}

void GLView::handleFingerMove(long long finger, float px, float py) {
    auto it = _fingers.find(finger);
    if (it == _fingers.end()) return;
    intptr_t id = it->second;
    handleTouchesMove(1, &id, &px, &py);
}

void GLView::handleFingerUp(long long finger, float px, float py) {
    auto it = _fingers.find(finger);
    if (it == _fingers.end()) return;
    intptr_t id = it->second;
    _fingers.erase(it);
    handleTouchesEnd(1, &id, &px, &py);
}

void GLView::handleFocusLost() {
    _mousePressed = false;
    _fingers.clear();
    cancelAllTouches();
}

const char* const GLView::EVENT_DROP_FILE = "glview_drop_file";

void GLView::handleKey(EventKeyboard::KeyCode code, bool pressed, bool controlDown, bool shiftDown) {
    if (code == EventKeyboard::KeyCode::KEY_NONE) return;
    EventKeyboard event(code, pressed);
    event.setModifiers(controlDown, shiftDown);
    Director* d = Director::getInstance();
    d->getEventDispatcher()->dispatchKeyboardEvent(&event);
    d->setNeedsRedraw();
}

void GLView::handleDropFile(const std::string& path) {
    std::string copy = path;
    Director* d = Director::getInstance();
    d->getEventDispatcher()->dispatchCustomEvent(EVENT_DROP_FILE, &copy);
    d->setNeedsRedraw();
}

}  // namespace cocos2d
