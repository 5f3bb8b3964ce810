#pragma once
// The scene graph node. Children draw in order of local z-order, then insertion; a
// position is the anchor point's, in the parent's space; rotation is in degrees,
// clockwise positive. Opacity and colour are the node's own (they do not cascade).
#include <cstdint>
#include <functional>
#include <string>

#include "CCAction.h"
#include "CCGeometry.h"
#include "CCRef.h"
#include "CCScheduler.h"
#include "CCVector.h"

namespace cocos2d {

class Renderer;
class EventDispatcher;
class ActionManager;
class Touch;
class Scene;

class Node : public Ref {
public:
    enum { INVALID_TAG = -1 };
    enum { FLAGS_TRANSFORM_DIRTY = 1, FLAGS_CONTENT_SIZE_DIRTY = 2, FLAGS_DIRTY_MASK = 3 };

    static Node* create();
    ~Node() override;
    virtual bool init();

    // children
    virtual void addChild(Node* child);
    virtual void addChild(Node* child, int localZOrder);
    virtual void addChild(Node* child, int localZOrder, int tag);
    virtual void addChild(Node* child, int localZOrder, const std::string& name);
    virtual void removeChild(Node* child, bool cleanup = true);
    virtual void removeAllChildren();
    virtual void removeAllChildrenWithCleanup(bool cleanup);
    virtual void removeFromParent();
    virtual void removeFromParentAndCleanup(bool cleanup);
    void removeChildByTag(int tag, bool cleanup = true);
    Node* getChildByTag(int tag) const;
    Node* getChildByName(const std::string& name) const;
    const Vector<Node*>& getChildren() const { return _children; }
    ssize_t getChildrenCount() const { return _children.size(); }
    Node* getParent() const { return _parent; }
    void setParent(Node* parent) { _parent = parent; }
    virtual void reorderChild(Node* child, int localZOrder);
    virtual void sortAllChildren();

    virtual void setLocalZOrder(int z);
    int getLocalZOrder() const { return _localZOrder; }
    void setGlobalZOrder(float z) { _globalZOrder = z; }
    float getGlobalZOrder() const { return _globalZOrder; }
    void setTag(int tag) { _tag = tag; }
    int getTag() const { return _tag; }
    void setName(const std::string& name) { _name = name; }
    const std::string& getName() const { return _name; }
    void setUserData(void* d) { _userData = d; }
    void* getUserData() const { return _userData; }

    // geometry
    virtual void setPosition(const Vec2& p);
    void setPosition(float x, float y) { setPosition(Vec2(x, y)); }
    const Vec2& getPosition() const { return _position; }
    void getPosition(float* x, float* y) const { *x = _position.x; *y = _position.y; }
    void setPositionX(float x) { setPosition(Vec2(x, _position.y)); }
    void setPositionY(float y) { setPosition(Vec2(_position.x, y)); }
    float getPositionX() const { return _position.x; }
    float getPositionY() const { return _position.y; }
    virtual void setAnchorPoint(const Vec2& a);
    const Vec2& getAnchorPoint() const { return _anchorPoint; }
    const Vec2& getAnchorPointInPoints() const { return _anchorPointInPoints; }
    virtual void setIgnoreAnchorPointForPosition(bool ignore);
    bool isIgnoreAnchorPointForPosition() const { return _ignoreAnchorPointForPosition; }
    virtual void setContentSize(const Size& size);
    virtual const Size& getContentSize() const { return _contentSize; }
    virtual void setScale(float s);
    void setScale(float sx, float sy);
    virtual void setScaleX(float sx);
    virtual void setScaleY(float sy);
    float getScale() const { return _scaleX; }
    float getScaleX() const { return _scaleX; }
    float getScaleY() const { return _scaleY; }
    virtual void setRotation(float degrees);
    float getRotation() const { return _rotation; }
    virtual void setVisible(bool v) { _visible = v; markDirty(); }
    bool isVisible() const { return _visible; }

    // appearance
    virtual void setOpacity(GLubyte o);
    GLubyte getOpacity() const { return _opacity; }
    GLubyte getDisplayedOpacity() const { return _opacity; }
    virtual void setColor(const Color3B& c);
    const Color3B& getColor() const { return _color; }
    const Color3B& getDisplayedColor() const { return _color; }

    // transforms
    virtual const Mat4& getNodeToParentTransform() const;
    Mat4 getParentToNodeTransform() const { return getNodeToParentTransform().getInversed(); }
    Mat4 getNodeToWorldTransform() const;
    Mat4 getWorldToNodeTransform() const { return getNodeToWorldTransform().getInversed(); }
    Rect getBoundingBox() const;
    Vec2 convertToWorldSpace(const Vec2& nodePoint) const;
    Vec2 convertToNodeSpace(const Vec2& worldPoint) const;
    Vec2 convertToWorldSpaceAR(const Vec2& nodePoint) const;
    Vec2 convertToNodeSpaceAR(const Vec2& worldPoint) const;
    Vec2 convertTouchToNodeSpace(Touch* touch) const;
    Vec2 convertTouchToNodeSpaceAR(Touch* touch) const;

    // drawing
    virtual void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags);
    virtual void draw(Renderer* renderer, const Mat4& transform, uint32_t flags);
    uint32_t processParentFlags(const Mat4& parentTransform, uint32_t parentFlags);
    bool isVisitableByVisitingCamera() const { return true; }
    const Mat4& getModelViewTransform() const { return _modelViewTransform; }

    // life cycle
    virtual void onEnter();
    virtual void onEnterTransitionDidFinish() {}
    virtual void onExit();
    virtual void cleanup();
    bool isRunning() const { return _running; }
    Scene* getScene() const;

    // actions
    Action* runAction(Action* action);
    void stopAllActions();
    void stopAction(Action* action);
    void stopActionByTag(int tag);
    Action* getActionByTag(int tag);
    ssize_t getNumberOfRunningActions() const;
    ActionManager* getActionManager() const { return _actionManager; }

    // scheduling
    void schedule(SEL_SCHEDULE selector);
    void schedule(SEL_SCHEDULE selector, float interval);
    void unschedule(SEL_SCHEDULE selector);
    void schedule(const std::function<void(float)>& callback, float interval, const std::string& key);
    void scheduleOnce(const std::function<void(float)>& callback, float delay, const std::string& key);
    void unschedule(const std::string& key);
    void unscheduleAllCallbacks();
    bool isScheduled(SEL_SCHEDULE selector) const;
    bool isScheduled(const std::string& key) const;
    Scheduler* getScheduler() const { return _scheduler; }
    void resume();
    void pause();

    EventDispatcher* getEventDispatcher() const { return _eventDispatcher; }

protected:
    Node();
    void markDirty();
    void insertChild(Node* child, int z);
    void detachChild(Node* child, ssize_t index, bool cleanup);

    Vec2 _position;
    Vec2 _anchorPoint;
    Vec2 _anchorPointInPoints;
    Size _contentSize;
    float _scaleX = 1, _scaleY = 1;
    float _rotation = 0;
    bool _ignoreAnchorPointForPosition = false;
    bool _visible = true;
    bool _running = false;
    GLubyte _opacity = 255;
    Color3B _color;
    int _localZOrder = 0;
    float _globalZOrder = 0;
    unsigned _orderOfArrival = 0;
    bool _reorderChildDirty = false;
    int _tag = INVALID_TAG;
    std::string _name;
    void* _userData = nullptr;
    Node* _parent = nullptr;
    Vector<Node*> _children;
    mutable Mat4 _transform;
    mutable bool _transformDirty = true;
    Mat4 _modelViewTransform;
    Scheduler* _scheduler;
    ActionManager* _actionManager;
    EventDispatcher* _eventDispatcher;
};

}  // namespace cocos2d
