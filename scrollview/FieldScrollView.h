#pragma once
// A clipped view onto a larger content node (the container) that the user drags,
// pinches and wheels, and that other code moves instantly or with an eased animation.
#include <cstdint>
#include <string>
#include <vector>

#include "cocos2d.h"

class FieldScrollView;

// Told about every move and every zoom of a view's container.
class FieldScrollViewDelegate {
public:
    virtual ~FieldScrollViewDelegate() {}
    virtual void onScrolled(FieldScrollView* view) { (void)view; }
    virtual void onZoomed(FieldScrollView* view) { (void)view; }
};

class FieldScrollView : public cocos2d::Layer, public cocos2d::ActionTweenDelegate {
public:
    enum class Direction : int32_t { HORIZONTAL = 0, VERTICAL = 1, BOTH = 2 };

    // Two-phase: create(), or new and initWithViewSize() (autorelease it yourself).
    FieldScrollView() = default;
    static FieldScrollView* create(const cocos2d::Size& viewSize);

    ~FieldScrollView() override;
    // The view's own size stays the view size; these reach the container.
    void setContentSize(const cocos2d::Size& size) override;
    const cocos2d::Size& getContentSize() const override;
    // Everything but the container itself is added to (and removed from) the container.
    using cocos2d::Layer::addChild;
    void addChild(cocos2d::Node* child, int localZOrder, const std::string& name) override;
    void addChild(cocos2d::Node* child, int localZOrder, int tag) override;
    void removeChild(cocos2d::Node* child, bool cleanup = true) override;
    void removeAllChildren() override;
    void removeAllChildrenWithCleanup(bool cleanup) override;
    void visit(cocos2d::Renderer* renderer, const cocos2d::Mat4& parentTransform,
               uint32_t parentFlags) override;
    bool init() override;
    bool onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) override;
    void onTouchMoved(cocos2d::Touch* touch, cocos2d::Event* event) override;
    void onTouchEnded(cocos2d::Touch* touch, cocos2d::Event* event) override;
    void onTouchCancelled(cocos2d::Touch* touch, cocos2d::Event* event) override;
    virtual void setDirection(Direction d) { direction = d; }

    // Zoom tweens (ActionTween on this view) drive setZoom; the key is ignored.
    void updateTweenAction(float value, const std::string& key) override;

    bool initWithViewSize(const cocos2d::Size& viewSize);
    const cocos2d::Size& getViewSize() const { return viewSize; }
    cocos2d::Node* getContainer() const { return container; }
    void setDelegate(FieldScrollViewDelegate* d) { delegate = d; }
    void setBounceable(bool b) { bounceable = b; }
    void setMinScale(float s) { minScale = s; }
    void setMaxScale(float s) { maxScale = s; }
    void setTouchEnabled(bool enabled);

    void setContentOffset(cocos2d::Vec2 offset, bool animated = false);
    cocos2d::Vec2 getContentOffset() const { return container->getPosition(); }
    // Moves in twice `duration` seconds, easing out.
    void animateContentOffset(cocos2d::Vec2 offset, float duration);
    void setZoom(float scale);
    cocos2d::Vec2 maxOffset() const;
    cocos2d::Vec2 minOffset() const;
    void settleIntoBounds();
    cocos2d::Rect getViewRectInWorld() const;
    bool allParentsVisible() const;

    // The part of the content (container points, unscaled) that scrolling may bring into
    // view: the offset limits keep this rectangle, not the whole content, filling the view.
    // A bounce past its edge comes back to it. An empty rectangle (the default) is the
    // whole content.
    void setScrollArea(const cocos2d::Rect& area) { scrollArea = area; }
    const cocos2d::Rect& getScrollArea() const { return scrollArea; }

    // On an axis the view does not scroll, a zoom keeps the content under this point of
    // the view (its own space) where it is, wherever the pinch or the pointer is: a
    // vertical list stays where it was sideways through any number of zooms. Default: the
    // view's middle.
    void setZoomAnchor(const cocos2d::Vec2& viewPoint) { zoomAnchor = viewPoint; hasZoomAnchor = true; }
    // The scale `steps` zoom steps from `scale` (positive: closer), on the ladder of steps
    // that passes through 1 (... 0.8, 0.9, 1, 1.1, 1.25 ...) and within the limits. A
    // scale between two steps (after a pinch) goes to the next one in that direction.
    float steppedScale(float scale, int steps) const;
    // Zooms `steps` steps about a world point (or, without one, about the view's middle).
    void stepZoom(int steps);
    void stepZoom(int steps, const cocos2d::Vec2& worldCentre);
    // Zooms to `scale` (within the limits) about a world point; content that the zoom
    // took past the scroll limits comes back inside them at once.
    void zoomTo(float scale, const cocos2d::Vec2& worldCentre);
    // Back to scale 1 (within the limits), about the view's middle.
    void resetZoom() { zoomTo(1.0f, viewMiddleInWorld()); }
    // Stops a coast or an eased move where the content is now.
    void stopScrolling();

    void stepInertia(float dt);
    float pointsToInches(float points) const;
    // Mouse wheel: scrolls `wheelStep` content points a notch (so the same share of the
    // content at any zoom), more a notch while the wheel is turned quickly; with Ctrl,
    // one zoom step a notch.
    void onMouseScroll(cocos2d::EventMouse* event);
    void setWheelStep(float contentPoints) { wheelStep = contentPoints; }
    float getWheelStep() const { return wheelStep; }
    // The wheel can be held off on its own (while a card is carried over the view).
    void setWheelEnabled(bool enabled) { wheelEnabled = enabled; }
    bool isWheelEnabled() const { return wheelEnabled; }
    // Touches held now (claimed and not yet ended), first claimed first.
    size_t heldTouchCount() const { return touches.size(); }

protected:
    void onOffsetAnimationStep(float dt);
    void onOffsetAnimationDone(cocos2d::Node* node);
    void beginClip();
    void endClip();
    // Scales the container to `scale` (within the limits) keeping the content under
    // `worldCentre` where it is on screen.
    void zoomAbout(const cocos2d::Vec2& worldCentre, float scale);
    // `offset` brought inside the limits on the axes of `direction`, as a settle ends.
    cocos2d::Vec2 offsetInBounds(cocos2d::Vec2 offset) const;
public:
    cocos2d::Vec2 viewMiddleInWorld() const;

protected:
    // Seconds on a steady clock: the gaps between wheel notches.
    virtual double wheelClock() const;
    bool holds(cocos2d::Touch* touch) const;
    void forget(cocos2d::Touch* touch);
    // Drops held touches that ended where this view did not hear it (a listener above
    // began swallowing them).
    void forgetEndedTouches();
    void releaseAllTouches();

    FieldScrollViewDelegate* delegate = nullptr;
    Direction direction = Direction::BOTH;
    bool dragging = false;
    cocos2d::Node* container = nullptr;
    bool touchMoved = false;
    bool bounceable = false;
    bool clippingToBounds = false;
    cocos2d::Vec2 lastMoveDelta;
    cocos2d::Vec2 touchPoint;
    float touchLength = 0;
    // Each retained: a touch whose end this view never hears stays valid to look at.
    std::vector<cocos2d::Touch*> touches;
    cocos2d::Size viewSize;
    float minScale = 0;
    float maxScale = 0;
    cocos2d::Rect parentScissorRect;
    bool scissorRestored = false;
    cocos2d::EventListenerTouchOneByOne* touchListener = nullptr;
    cocos2d::CustomCommand beginClipCommand;
    cocos2d::CustomCommand endClipCommand;
    cocos2d::Vec2 velocity;
    int8_t bounceSideX = 0, bounceSideY = 0;
    float bounceTargetX = 0, bounceTargetY = 0;
    cocos2d::EventListenerMouse* wheelListener = nullptr;
    bool wheelEnabled = true;
    cocos2d::Rect scrollArea;
    cocos2d::Vec2 zoomAnchor;
    bool hasZoomAnchor = false;
    float wheelStep = 40.f;
    // Notches of a quick turn count more (1, 1.5, 2, ... up to a limit); a pause or a
    // turn the other way starts again at 1.
    float wheelBoost = 1.f;
    double lastWheelTime = -1e9;
    float lastWheelSign = 0;
    // Part notches of a Ctrl+wheel (a touchpad's) not yet a whole zoom step.
    float zoomNotchRest = 0;
};
