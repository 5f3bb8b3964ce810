// The scroll view's touches, inertia and mouse wheel: what moves the content by hand.
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
}  // namespace

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
