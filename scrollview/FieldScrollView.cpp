#include "FieldScrollView.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>

using namespace cocos2d;

namespace {

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

