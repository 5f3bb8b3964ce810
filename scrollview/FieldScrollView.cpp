#include "FieldScrollView.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>

using namespace cocos2d;

namespace {

const size_t kMaxTouches = 3;          // a third finger is held but changes nothing
const float kMoveInches = 0.04375f;    // 7/160 inch before a press becomes a drag
const float kOutsideFactor = 0.35f;    // rubber band past the limits
const float kReleaseShare = 0.5f;      // of the last drag step, as release velocity
const float kMinSpeed = 0.01f;         // points per tick: release nudge and stop speed
const float kFreeDecay = 0.93f;
const float kSpringTime = 0.15f;
const float kReturnTime = 0.1f;
const float kInsideDecay = 0.55f;
// A notch that follows the last one within this many seconds, the same way, is part of a
// quick turn and counts this much more than the one before, up to the limit.
const double kWheelQuickGap = 0.12;
const float kWheelBoostStep = 0.5f;
const float kWheelMaxBoost = 4.f;
// The zoom steps (keys, Ctrl+wheel): 1 is one of them, so stepping in and out always comes
// back to it, whatever the limits and a pinch did in between.
const float kZoomLadder[] = {0.25f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f,
                             1.1f,  1.25f, 1.5f, 1.75f, 2.0f, 2.5f, 3.0f, 4.0f};
// Scales this close (relative) to a step count as that step.
const float kZoomSame = 1e-3f;

// The non-bouncing limit of one axis; with the minimum above the maximum (content
// smaller than the view) the minimum wins.
float clampAxis(float value, float lo, float hi) {
    const float m = std::min(hi, value);
    if (m <= lo) return lo;
    if (value >= hi) return hi;
    return value;
}

}  // namespace

FieldScrollView* FieldScrollView::create(const Size& viewSize) {
    auto* v = new FieldScrollView;
    if (v->initWithViewSize(viewSize)) {
        v->autorelease();
        return v;
    }
    delete v;
    return nullptr;
}

// The listeners and the container go with the node's own clean-up.
FieldScrollView::~FieldScrollView() { releaseAllTouches(); }

bool FieldScrollView::init() { return initWithViewSize(Size(200, 200)); }

bool FieldScrollView::initWithViewSize(const Size& size) {
    if (!Layer::init()) return false;
    container = Layer::create();
    container->setIgnoreAnchorPointForPosition(false);
    container->setAnchorPoint(Vec2::ZERO);
    viewSize = size;
    Node::setContentSize(size);  // the view's own size; the override reaches the container
    setTouchEnabled(true);
    if (touches.capacity() < 15) touches.reserve(15);
    delegate = nullptr;
    bounceable = true;
    clippingToBounds = true;
    direction = Direction::BOTH;
    container->setPosition(Vec2::ZERO);
    touchLength = 0;
    addChild(container);
    maxScale = minScale = 1.0f;
    velocity = Vec2::ZERO;
    bounceSideX = bounceSideY = 0;

    if (!wheelListener) {
        wheelListener = EventListenerMouse::create();
        wheelListener->onMouseScroll = [this](EventMouse* e) { onMouseScroll(e); };
        getEventDispatcher()->addEventListenerWithSceneGraphPriority(wheelListener, this);
    }
    return true;
}

// --- children and sizes --------------------------------------------------------------

void FieldScrollView::setContentSize(const Size& size) {
    if (container) container->setContentSize(size);
}

const Size& FieldScrollView::getContentSize() const {
    return container ? container->getContentSize() : _contentSize;
}

void FieldScrollView::addChild(Node* child, int localZOrder, const std::string& name) {
    if (child == container || !container)
        Layer::addChild(child, localZOrder, name);
    else
        container->addChild(child, localZOrder, name);
}

void FieldScrollView::addChild(Node* child, int localZOrder, int tag) {
    if (child == container || !container)
        Layer::addChild(child, localZOrder, tag);
    else
        container->addChild(child, localZOrder, tag);
}

void FieldScrollView::removeChild(Node* child, bool cleanup) {
    if (child == container || !container)
        Layer::removeChild(child, cleanup);
    else
        container->removeChild(child, cleanup);
}

void FieldScrollView::removeAllChildren() { removeAllChildrenWithCleanup(true); }

void FieldScrollView::removeAllChildrenWithCleanup(bool cleanup) {
    if (container) container->removeAllChildrenWithCleanup(cleanup);
}

// --- touch listener ------------------------------------------------------------------

void FieldScrollView::setTouchEnabled(bool enabled) {
    getEventDispatcher()->removeEventListener(touchListener);
    touchListener = nullptr;
    if (enabled) {
        auto* l = EventListenerTouchOneByOne::create();
        // Not swallowing: cards inside the container take the same touches.
        l->onTouchBegan = [this](Touch* t, Event* e) { return onTouchBegan(t, e); };
        l->onTouchMoved = [this](Touch* t, Event* e) { onTouchMoved(t, e); };
        l->onTouchEnded = [this](Touch* t, Event* e) { onTouchEnded(t, e); };
        l->onTouchCancelled = [this](Touch* t, Event* e) { onTouchCancelled(t, e); };
        getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, this);
        touchListener = l;
    } else {
        dragging = false;
        touchMoved = false;
        releaseAllTouches();
    }
}

// --- offsets -------------------------------------------------------------------------

// A content point c shows at offset + (c - anchor) * scale: the maximum offset puts the
// scroll area's lower-left corner on the view's, the minimum its upper-right on the view's.
Vec2 FieldScrollView::maxOffset() const {
    const Vec2 a = container->isIgnoreAnchorPointForPosition() ? Vec2::ZERO : container->getAnchorPoint();
    const Size& s = container->getContentSize();
    const Vec2 lowest = scrollArea.size.equals(Size::ZERO) ? Vec2::ZERO : scrollArea.origin;
    return Vec2((a.x * s.width - lowest.x) * container->getScaleX(),
                (a.y * s.height - lowest.y) * container->getScaleY());
}

Vec2 FieldScrollView::minOffset() const {
    const Vec2 a = container->isIgnoreAnchorPointForPosition() ? Vec2::ZERO : container->getAnchorPoint();
    const Size& s = container->getContentSize();
    const bool whole = scrollArea.size.equals(Size::ZERO);
    const Vec2 highest = whole ? Vec2(s.width, s.height) : Vec2(scrollArea.getMaxX(), scrollArea.getMaxY());
    return Vec2(viewSize.width - (highest.x - a.x * s.width) * container->getScaleX(),
                viewSize.height - (highest.y - a.y * s.height) * container->getScaleY());
}

void FieldScrollView::setContentOffset(Vec2 offset, bool animated) {
    if (animated) {
        animateContentOffset(offset, 0.15f);
        return;
    }
    if (!bounceable) {
        const Vec2 lo = minOffset(), hi = maxOffset();
        offset.x = clampAxis(offset.x, lo.x, hi.x);
        offset.y = clampAxis(offset.y, lo.y, hi.y);
    }
    container->setPosition(offset);
    if (delegate) delegate->onScrolled(this);
}

void FieldScrollView::animateContentOffset(Vec2 offset, float duration) {
    auto* move = EaseExponentialOut::create(MoveTo::create(duration * 2, offset));
    // Reached through the container's parent, so a container that outlives its view
    // calls nobody.
    auto* done = CallFuncN::create([](Node* node) {
        auto* view = dynamic_cast<FieldScrollView*>(node->getParent());
        if (view && view->container == node) view->onOffsetAnimationDone(node);
    });
    container->runAction(Sequence::create(move, done, nullptr));
    schedule(CC_SCHEDULE_SELECTOR(FieldScrollView::onOffsetAnimationStep));
}

void FieldScrollView::onOffsetAnimationStep(float) {
    if (dragging) {
        unschedule(CC_SCHEDULE_SELECTOR(FieldScrollView::onOffsetAnimationStep));
        return;
    }
    if (delegate) delegate->onScrolled(this);
}

void FieldScrollView::onOffsetAnimationDone(Node*) {
    unschedule(CC_SCHEDULE_SELECTOR(FieldScrollView::onOffsetAnimationStep));
    if (delegate) delegate->onScrolled(this);
}

Vec2 FieldScrollView::offsetInBounds(Vec2 p) const {
    const Vec2 lo = minOffset(), hi = maxOffset();
    if (direction != Direction::VERTICAL) {
        p.x = std::max(p.x, lo.x);
        p.x = std::min(p.x, hi.x);
    }
    if (direction != Direction::HORIZONTAL) {
        p.y = std::min(p.y, hi.y);
        p.y = std::max(p.y, lo.y);
    }
    return p;
}

void FieldScrollView::settleIntoBounds() {
    const Vec2 pos = container->getPosition();
    const Vec2 settled = offsetInBounds(pos);
    if (settled != pos) setContentOffset(settled, true);
}

// --- zoom ----------------------------------------------------------------------------

void FieldScrollView::updateTweenAction(float value, const std::string&) { setZoom(value); }

Vec2 FieldScrollView::viewMiddleInWorld() const {
    return convertToWorldSpace(Vec2(viewSize.width * 0.5f, viewSize.height * 0.5f));
}

void FieldScrollView::setZoom(float scale) {
    if (container->getScale() == scale) return;
    // The pinch centre is kept in the view's own space; zooming works in world points.
    const Vec2 centre = touchLength == 0 ? viewMiddleInWorld() : convertToWorldSpace(touchPoint);
    zoomAbout(centre, scale);
}

float FieldScrollView::steppedScale(float scale, int steps) const {
    const float lo = std::min(minScale, maxScale), hi = maxScale;
    float s = scale;
    for (; steps > 0; --steps) {
        float next = hi;
        for (float step : kZoomLadder)
            if (step > s * (1 + kZoomSame)) {
                next = std::min(step, hi);
                break;
            }
        s = std::max(lo, next);
    }
    for (; steps < 0; ++steps) {
        float next = lo;
        for (auto it = std::rbegin(kZoomLadder); it != std::rend(kZoomLadder); ++it)
            if (*it < s * (1 - kZoomSame)) {
                next = std::max(*it, lo);
                break;
            }
        s = std::min(hi, next);
    }
    return std::max(minScale, std::min(maxScale, s));
}

void FieldScrollView::stepZoom(int steps) { stepZoom(steps, viewMiddleInWorld()); }

void FieldScrollView::stepZoom(int steps, const Vec2& worldCentre) {
    zoomTo(steppedScale(container->getScale(), steps), worldCentre);
}

void FieldScrollView::stopScrolling() {
    unschedule(CC_SCHEDULE_SELECTOR(FieldScrollView::stepInertia));
    unschedule(CC_SCHEDULE_SELECTOR(FieldScrollView::onOffsetAnimationStep));
    container->stopAllActions();
    velocity = Vec2::ZERO;
    bounceSideX = bounceSideY = 0;
}

void FieldScrollView::zoomTo(float target, const Vec2& worldCentre) {
    const float current = container->getScale();
    const float scale = std::max(minScale, std::min(maxScale, target));
    if (scale == current) return;
    zoomAbout(worldCentre, scale);
    if (bounceable) {
        // Zoomed out past the end of the content: back inside at once, not by a bounce.
        const Vec2 pos = container->getPosition();
        const Vec2 settled = offsetInBounds(pos);
        if (settled != pos) setContentOffset(settled, false);
    }
}

void FieldScrollView::zoomAbout(const Vec2& worldCentre, float scale) {
    // On an axis the user cannot scroll, nothing could bring content back that a zoom
    // about the pointer had pushed aside: that axis always zooms about the anchor.
    Vec2 centre = worldCentre;
    if (direction != Direction::BOTH) {
        const Vec2 anchor = hasZoomAnchor ? convertToWorldSpace(zoomAnchor) : viewMiddleInWorld();
        if (direction == Direction::VERTICAL)
            centre.x = anchor.x;
        else
            centre.y = anchor.y;
    }
    const Vec2 before = container->convertToNodeSpace(centre);
    container->setScale(std::max(minScale, std::min(maxScale, scale)));
    const Vec2 after = container->convertToWorldSpace(before);
    // The offset lives in the view's space, which need not be world-sized.
    const Vec2 shift = convertToNodeSpace(centre) - convertToNodeSpace(after);
    if (delegate) delegate->onZoomed(this);
    setContentOffset(container->getPosition() + shift, false);
}

// --- geometry ------------------------------------------------------------------------

Rect FieldScrollView::getViewRectInWorld() const {
    Vec2 origin = convertToWorldSpace(Vec2::ZERO);
    float sx = getScaleX(), sy = getScaleY();
    for (const Node* p = getParent(); p; p = p->getParent()) {
        sx *= p->getScaleX();
        sy *= p->getScaleY();
    }
    // A mirrored ancestor puts the origin on the far side.
    if (sx < 0) {
        origin.x += viewSize.width * sx;
        sx = -sx;
    }
    if (sy < 0) {
        origin.y += viewSize.height * sy;
        sy = -sy;
    }
    return Rect(origin.x, origin.y, viewSize.width * sx, viewSize.height * sy);
}

bool FieldScrollView::allParentsVisible() const {
    for (const Node* p = getParent(); p; p = p->getParent())
        if (!p->isVisible()) return false;
    return true;
}

float FieldScrollView::pointsToInches(float points) const {
    const GLView* glview = Director::getInstance()->getOpenGLView();
    const float sx = glview ? glview->getScaleX() : 1.f, sy = glview ? glview->getScaleY() : 1.f;
    return points * (sx + sy) * 0.5f / Device::getDPI();
}

// --- drawing -------------------------------------------------------------------------

void FieldScrollView::visit(Renderer*, const Mat4& parentTransform, uint32_t parentFlags) {
    if (!isVisible()) return;
    const uint32_t flags = processParentFlags(parentTransform, parentFlags);
    Director* director = Director::getInstance();
    Renderer* renderer = director->getRenderer();
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW, _modelViewTransform);

    // The clip runs as commands around the children's, so it holds exactly while the
    // content is drawn.
    beginClipCommand.init(getGlobalZOrder());
    beginClipCommand.func = [this] { beginClip(); };
    renderer->addCommand(&beginClipCommand);

    const bool visitable = isVisitableByVisitingCamera();
    size_t i = 0;
    const size_t n = static_cast<size_t>(_children.size());
    for (; i < n; ++i) {
        Node* child = _children.at(i);
        if (child->getLocalZOrder() >= 0) break;
        child->visit(renderer, _modelViewTransform, flags);
    }
    if (visitable) draw(renderer, _modelViewTransform, flags);
    for (; i < n; ++i) _children.at(i)->visit(renderer, _modelViewTransform, flags);

    endClipCommand.init(getGlobalZOrder());
    endClipCommand.func = [this] { endClip(); };
    renderer->addCommand(&endClipCommand);

    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
}

void FieldScrollView::beginClip() {
    if (!clippingToBounds) return;
    scissorRestored = false;
    const Rect frame = getViewRectInWorld();
    GLView* glview = Director::getInstance()->getOpenGLView();
    if (!glview) return;
    if (glview->isScissorEnabled()) {
        // Inside an enclosing clip: draw only where both rectangles overlap.
        scissorRestored = true;
        parentScissorRect = glview->getScissorRect();
        const Rect& outer = parentScissorRect;
        if (frame.intersectsRect(outer)) {
            const float x = std::max(frame.getMinX(), outer.getMinX());
            const float y = std::max(frame.getMinY(), outer.getMinY());
            const float w = std::min(frame.getMaxX(), outer.getMaxX()) - x;
            const float h = std::min(frame.getMaxY(), outer.getMaxY()) - y;
            glview->setScissorInPoints(x, y, w, h);
        } else {
            // No overlap: none of this view may show, not even content that reaches
            // into the enclosing rectangle from outside this view's frame.
            glview->setScissorInPoints(frame.getMinX(), frame.getMinY(), 0, 0);
        }
    } else {
        glview->enableScissorTest();
        glview->setScissorInPoints(frame.origin.x, frame.origin.y, frame.size.width,
                                   frame.size.height);
    }
}

void FieldScrollView::endClip() {
    if (!clippingToBounds) return;
    GLView* glview = Director::getInstance()->getOpenGLView();
    if (!glview) return;
    if (scissorRestored) {
        const Rect& r = parentScissorRect;
        glview->setScissorInPoints(r.origin.x, r.origin.y, r.size.width, r.size.height);
    } else {
        glview->disableScissorTest();
    }
}

// --- touches -------------------------------------------------------------------------

bool FieldScrollView::holds(Touch* touch) const {
    return std::find(touches.begin(), touches.end(), touch) != touches.end();
}

void FieldScrollView::forget(Touch* touch) {
    auto it = std::find(touches.begin(), touches.end(), touch);
    if (it != touches.end()) {
        touches.erase(it);
        touch->release();
    }
}

void FieldScrollView::releaseAllTouches() {
    std::vector<Touch*> held;
    held.swap(touches);
    for (Touch* t : held) t->release();
}

void FieldScrollView::forgetEndedTouches() {
    const size_t before = touches.size();
    for (size_t i = 0; i < touches.size();) {
        if (touches[i]->isLive()) {
            ++i;
            continue;
        }
        Touch* t = touches[i];
        touches.erase(touches.begin() + static_cast<std::ptrdiff_t>(i));
        t->release();
    }
    if (touches.size() != before && touches.empty()) {
        dragging = false;
        touchMoved = false;
    }
}

bool FieldScrollView::onTouchBegan(Touch* touch, Event*) {
    forgetEndedTouches();
    if (!isVisible() || !allParentsVisible()) return false;
    const Rect frame = getViewRectInWorld();
    if (touches.size() >= kMaxTouches || touchMoved || !frame.containsPoint(touch->getLocation()))
        return false;
    if (!holds(touch)) {
        touch->retain();
        touches.push_back(touch);
    }
    if (touches.size() == 1) {
        touchPoint = convertTouchToNodeSpace(touch);
        touchMoved = false;
        dragging = true;
        lastMoveDelta = Vec2::ZERO;
        touchLength = 0;
        velocity = Vec2::ZERO;
        bounceSideX = bounceSideY = 0;
    } else if (touches.size() == 2) {
        touchPoint = (convertTouchToNodeSpace(touches[0]) + convertTouchToNodeSpace(touches[1])) * 0.5f;
        touchLength = container->convertTouchToNodeSpace(touches[0])
                          .distance(container->convertTouchToNodeSpace(touches[1]));
        dragging = false;
    }
    return true;
}

void FieldScrollView::onTouchMoved(Touch* touch, Event*) {
    forgetEndedTouches();
    if (!isVisible() || !holds(touch)) return;
    if (touches.size() == 1 && dragging) {
        const Vec2 newPoint = convertTouchToNodeSpace(touches[0]);
        Vec2 d = newPoint - touchPoint;
        const Vec2 pos = container->getPosition();
        const Vec2 lo = minOffset(), hi = maxOffset();
        const bool outsideX = pos.x < lo.x || pos.x > hi.x;
        const bool outsideY = pos.y < lo.y || pos.y > hi.y;
        float dis = 0;
        switch (direction) {
            case Direction::VERTICAL:
                dis = d.y;
                if (outsideY) d.y *= kOutsideFactor;
                break;
            case Direction::HORIZONTAL:
                dis = d.x;
                if (outsideX) d.x *= kOutsideFactor;
                break;
            case Direction::BOTH:
                dis = std::sqrt(d.x * d.x + d.y * d.y);
                if (outsideY) d.y *= kOutsideFactor;
                if (outsideX) d.x *= kOutsideFactor;
                break;
        }
        if (!touchMoved) {
            if (std::fabs(pointsToInches(dis)) < kMoveInches) return;
            d = Vec2::ZERO;  // crossing the threshold only re-bases the drag
        }
        touchPoint = newPoint;
        touchMoved = true;
        if (direction == Direction::HORIZONTAL) d.y = 0;
        if (direction == Direction::VERTICAL) d.x = 0;
        lastMoveDelta = d;
        setContentOffset(container->getPosition() + d, false);
    } else if (touches.size() == 2 && !dragging) {
        const float len = container->convertTouchToNodeSpace(touches[0])
                              .distance(container->convertTouchToNodeSpace(touches[1]));
        // Two fingers that began on one point give no ratio to zoom by.
        if (touchLength > 0) setZoom(container->getScale() * len / touchLength);
    }
}

void FieldScrollView::onTouchEnded(Touch* touch, Event*) {
    // A hidden view still forgets the touch: a stale one would block every later press,
    // or pair with the next one as a pinch after the engine has freed it.
    if (isVisible() && holds(touch)) {
        if (touches.size() == 1 && touchMoved) {
            schedule(CC_SCHEDULE_SELECTOR(FieldScrollView::stepInertia));
            velocity = lastMoveDelta * kReleaseShare;
            velocity.x += velocity.x > 0 ? kMinSpeed : -kMinSpeed;
            velocity.y += velocity.y > 0 ? kMinSpeed : -kMinSpeed;
        } else if (touches.size() == 2) {
            // Zero velocity: the next tick ends at once and settles the zoomed content.
            schedule(CC_SCHEDULE_SELECTOR(FieldScrollView::stepInertia));
        }
    }
    forget(touch);
    if (touches.empty()) {
        dragging = false;
        touchMoved = false;
    }
}

void FieldScrollView::onTouchCancelled(Touch* touch, Event*) {
    forget(touch);
    if (touches.empty()) {
        dragging = false;
        touchMoved = false;
    }
}

// --- inertia -------------------------------------------------------------------------

namespace {

// One axis of the inertia: v velocity, s bounce side, t bounce target, c coordinate.
void stepAxis(float& v, int8_t& s, float& t, float c, float hi, float lo, bool bounceable, float dt) {
    const float q = c + v;
    if (s != 0) {
        if (t * s > c * s) {
            if (v * s < 0) {
                v = v + (t - q) / (kSpringTime / dt);
            } else {
                v = (t - q) / (kReturnTime / dt);
                if (std::fabs(v) < kMinSpeed) {
                    s = 0;
                    v = 0;
                }
            }
        } else {
            v = v * kInsideDecay;
            // Decay alone never reaches exactly 0 (it sticks at the smallest float), and
            // a long frame can leave the axis inside while still moving inwards.
            if (std::fabs(v) < kMinSpeed) {
                s = 0;
                v = 0;
            }
        }
    } else if (std::fabs(v) < kMinSpeed) {
        v = 0;
    } else if (bounceable) {
        if (q > hi) {
            t = hi;
            s = -1;
        } else if (q < lo) {
            t = lo;
            s = 1;
        }
        v = v * kFreeDecay;
    } else {
        if (q > hi || q < lo) v = 0;
        v = v * kFreeDecay;
    }
}

void fadeAxis(float& v, int8_t& s) {
    s = 0;
    v = std::fabs(v) < kMinSpeed ? 0 : v * kFreeDecay;
}

}  // namespace

void FieldScrollView::stepInertia(float dt) {
    if (dragging) {
        unschedule(CC_SCHEDULE_SELECTOR(FieldScrollView::stepInertia));
        return;
    }
    const Vec2 pos = container->getPosition();
    const Vec2 hi = maxOffset(), lo = minOffset();
    // An axis the view does not scroll has no limits to bounce from: its nudge just dies
    // out (a zoom may have left it outside them, where a bounce would never end).
    if (direction == Direction::VERTICAL)
        fadeAxis(velocity.x, bounceSideX);
    else
        stepAxis(velocity.x, bounceSideX, bounceTargetX, pos.x, hi.x, lo.x, bounceable, dt);
    if (direction == Direction::HORIZONTAL)
        fadeAxis(velocity.y, bounceSideY);
    else
        stepAxis(velocity.y, bounceSideY, bounceTargetY, pos.y, hi.y, lo.y, bounceable, dt);
    // The velocity of an axis the view does not scroll only times the coast's end (its
    // nudge): moving by it would drift the content sideways a little with every flick.
    Vec2 step = velocity;
    if (direction == Direction::VERTICAL) step.x = 0;
    if (direction == Direction::HORIZONTAL) step.y = 0;
    container->setPosition(container->getPosition() + step);
    setContentOffset(container->getPosition(), false);
    // Only x ends the coast, by design: on a vertical view its nudge dies within a tick
    // or two and the settle eases the rest.
    if (velocity.x == 0) {
        unschedule(CC_SCHEDULE_SELECTOR(FieldScrollView::stepInertia));
        settleIntoBounds();
    }
}

// --- mouse wheel ---------------------------------------------------------------------

double FieldScrollView::wheelClock() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void FieldScrollView::onMouseScroll(EventMouse* event) {
    // Follows touch handling: off while a card is carried.
    if (!wheelEnabled || !touchListener || !isVisible() || !allParentsVisible()) return;
    if (!getViewRectInWorld().containsPoint(event->getLocation())) return;
    const float notches = event->getScrollY();

    if (event->isControlDown()) {
        if (!(maxScale > minScale) || notches == 0) return;
        event->stopPropagation();  // an enclosing view must not zoom as well
        // Away from the user: closer. A touchpad's part notches add up to whole steps.
        if ((zoomNotchRest > 0) != (-notches > 0)) zoomNotchRest = 0;
        zoomNotchRest -= notches;
        const int steps = static_cast<int>(zoomNotchRest);
        zoomNotchRest -= static_cast<float>(steps);
        if (steps != 0) stepZoom(steps, event->getLocation());
        return;
    }

    // Wheel towards the user shows what lies further down: the content moves up.
    const float across = -event->getScrollX();
    Vec2 step;
    if (direction != Direction::HORIZONTAL) step.y = notches;
    if (direction != Direction::VERTICAL) step.x = across;
    if (step == Vec2::ZERO) return;
    event->stopPropagation();
    // A quick turn goes further with each notch; whole notches only, so a touchpad's
    // stream of small ones keeps following the fingers one to one.
    const float turn = step.y != 0 ? step.y : step.x;
    const float sign = turn > 0 ? 1.f : -1.f;
    const double now = wheelClock();
    if (now - lastWheelTime > kWheelQuickGap || sign != lastWheelSign || std::fabs(turn) < 1)
        wheelBoost = 1;
    else
        wheelBoost = std::min(kWheelMaxBoost, wheelBoost + kWheelBoostStep * std::fabs(turn));
    lastWheelTime = now;
    lastWheelSign = sign;
    step.x *= wheelStep * container->getScaleX() * wheelBoost;
    step.y *= wheelStep * container->getScaleY() * wheelBoost;
    // The wheel takes over from any coasting.
    unschedule(CC_SCHEDULE_SELECTOR(FieldScrollView::stepInertia));
    velocity = Vec2::ZERO;
    bounceSideX = bounceSideY = 0;
    setContentOffset(offsetInBounds(container->getPosition() + step), false);
}
