#include "CCNode.h"

#include <algorithm>
#include <cassert>

#include "CCActionManager.h"
#include "CCDirector.h"
#include "CCEventDispatcher.h"
#include "CCLayer.h"
#include "CCRenderer.h"
#include "CCTouch.h"

namespace cocos2d {

namespace {
unsigned s_globalOrderOfArrival = 1;
}

Node::Node() {
    Director* d = Director::getInstance();
    _scheduler = d->getScheduler();
    _actionManager = d->getActionManager();
    _eventDispatcher = d->getEventDispatcher();
    _scheduler->retain();
    _actionManager->retain();
    _eventDispatcher->retain();
}

Node::~Node() {
    // Children outlive nothing: detach them so none keeps a dangling parent pointer.
    for (Node* child : _children) child->_parent = nullptr;
    _children.clear();
    _actionManager->removeAllActionsFromTarget(this);
    _scheduler->forgetTarget(this);
    _eventDispatcher->removeEventListenersForTarget(this);
    _scheduler->release();
    _actionManager->release();
    _eventDispatcher->release();
}

Node* Node::create() {
    Node* n = new Node;
    if (n->init()) {
        n->autorelease();
        return n;
    }
    delete n;
    return nullptr;
}

bool Node::init() { return true; }

void Node::markDirty() { _transformDirty = true; }

// --- children ------------------------------------------------------------------------

void Node::addChild(Node* child) { addChild(child, child ? child->_localZOrder : 0, child ? child->_tag : INVALID_TAG); }
void Node::addChild(Node* child, int z) { addChild(child, z, child ? child->_tag : INVALID_TAG); }

void Node::addChild(Node* child, int z, int tag) {
    assert(child && "addChild with null child");
    assert(!child->_parent && "child already has a parent");
    if (!child || child->_parent) return;
    child->_tag = tag;
    insertChild(child, z);
}

void Node::addChild(Node* child, int z, const std::string& name) {
    assert(child && "addChild with null child");
    assert(!child->_parent && "child already has a parent");
    if (!child || child->_parent) return;
    child->_name = name;
    insertChild(child, z);
}

void Node::insertChild(Node* child, int z) {
    _reorderChildDirty = true;
    _children.pushBack(child);
    child->_localZOrder = z;
    child->_orderOfArrival = s_globalOrderOfArrival++;
    child->_parent = this;
    if (_running) {
        child->onEnter();
        child->onEnterTransitionDidFinish();
    }
}

void Node::detachChild(Node* child, ssize_t index, bool cleanup) {
    if (_running) child->onExit();
    if (cleanup) child->cleanup();
    child->_parent = nullptr;
    _children.erase(index);
}

void Node::removeChild(Node* child, bool cleanup) {
    if (!child) return;
    // Looked for from the end: the children added last go first, and taking all of them
    // off in that order costs about one step each (a field of ten thousand cards).
    const auto& children = _children.data();
    for (ssize_t i = static_cast<ssize_t>(children.size()) - 1; i >= 0; --i) {
        if (children[static_cast<size_t>(i)] == child) {
            detachChild(child, i, cleanup);
            return;
        }
    }
}

void Node::removeAllChildren() { removeAllChildrenWithCleanup(true); }

void Node::removeAllChildrenWithCleanup(bool cleanup) {
    while (!_children.empty()) detachChild(_children.back(), _children.size() - 1, cleanup);
}

void Node::removeFromParent() { removeFromParentAndCleanup(true); }

void Node::removeFromParentAndCleanup(bool cleanup) {
    if (_parent) _parent->removeChild(this, cleanup);
}

void Node::removeChildByTag(int tag, bool cleanup) {
    if (Node* c = getChildByTag(tag)) removeChild(c, cleanup);
}

Node* Node::getChildByTag(int tag) const {
    for (Node* c : _children)
        if (c->_tag == tag) return c;
    return nullptr;
}

Node* Node::getChildByName(const std::string& name) const {
    for (Node* c : _children)
        if (c->_name == name) return c;
    return nullptr;
}

void Node::reorderChild(Node* child, int z) {
    if (!child) return;
    _reorderChildDirty = true;
    child->_orderOfArrival = s_globalOrderOfArrival++;
    child->_localZOrder = z;
}

void Node::setLocalZOrder(int z) {
    if (_localZOrder == z) return;
    if (_parent) {
        _parent->reorderChild(this, z);
    } else {
        _localZOrder = z;
    }
}

void Node::sortAllChildren() {
    if (!_reorderChildDirty) return;
    std::vector<Node*> v(_children.begin(), _children.end());
    std::stable_sort(v.begin(), v.end(), [](const Node* a, const Node* b) {
        return a->_localZOrder < b->_localZOrder ||
               (a->_localZOrder == b->_localZOrder && a->_orderOfArrival < b->_orderOfArrival);
    });
    // Same elements, new order: the references stay as they are.
    Vector<Node*> sorted;
    sorted.reserve(v.size());
    for (Node* n : v) sorted.pushBack(n);
    _children = std::move(sorted);
    _reorderChildDirty = false;
}

// --- geometry ------------------------------------------------------------------------

void Node::setPosition(const Vec2& p) {
    _position = p;
    markDirty();
}

void Node::setAnchorPoint(const Vec2& a) {
    _anchorPoint = a;
    _anchorPointInPoints = Vec2(_contentSize.width * a.x, _contentSize.height * a.y);
    markDirty();
}

void Node::setIgnoreAnchorPointForPosition(bool ignore) {
    _ignoreAnchorPointForPosition = ignore;
    markDirty();
}

void Node::setContentSize(const Size& size) {
    _contentSize = size;
    _anchorPointInPoints = Vec2(size.width * _anchorPoint.x, size.height * _anchorPoint.y);
    markDirty();
}

void Node::setScale(float s) { setScale(s, s); }
void Node::setScale(float sx, float sy) {
    _scaleX = sx;
    _scaleY = sy;
    markDirty();
}
void Node::setScaleX(float sx) { setScale(sx, _scaleY); }
void Node::setScaleY(float sy) { setScale(_scaleX, sy); }

void Node::setRotation(float degrees) {
    _rotation = degrees;
    markDirty();
}

void Node::setOpacity(GLubyte o) { _opacity = o; }
void Node::setColor(const Color3B& c) { _color = c; }

const Mat4& Node::getNodeToParentTransform() const {
    if (_transformDirty) {
        // parent <- translate(position [+ anchor]) * rotate * scale * translate(-anchor)
        const float rad = -CC_DEGREES_TO_RADIANS(_rotation);
        const float c = std::cos(rad), s = std::sin(rad);
        Vec2 t = _position;
        if (_ignoreAnchorPointForPosition) t += _anchorPointInPoints;
        const float a = c * _scaleX, b = s * _scaleX, cc = -s * _scaleY, d = c * _scaleY;
        const Vec2 ap = _anchorPointInPoints;
        _transform.setIdentity();
        _transform.m[0] = a;
        _transform.m[1] = b;
        _transform.m[4] = cc;
        _transform.m[5] = d;
        _transform.m[12] = t.x - (a * ap.x + cc * ap.y);
        _transform.m[13] = t.y - (b * ap.x + d * ap.y);
        _transformDirty = false;
    }
    return _transform;
}

Mat4 Node::getNodeToWorldTransform() const {
    Mat4 t = getNodeToParentTransform();
    for (const Node* p = _parent; p; p = p->_parent) t = p->getNodeToParentTransform() * t;
    return t;
}

Rect Node::getBoundingBox() const {
    return RectApplyTransform(Rect(0, 0, _contentSize.width, _contentSize.height),
                              getNodeToParentTransform());
}

Vec2 Node::convertToWorldSpace(const Vec2& p) const {
    return getNodeToWorldTransform().transformPoint(p);
}

Vec2 Node::convertToNodeSpace(const Vec2& p) const {
    return getWorldToNodeTransform().transformPoint(p);
}

Vec2 Node::convertToWorldSpaceAR(const Vec2& p) const {
    return convertToWorldSpace(p + _anchorPointInPoints);
}

Vec2 Node::convertToNodeSpaceAR(const Vec2& p) const {
    return convertToNodeSpace(p) - _anchorPointInPoints;
}

Vec2 Node::convertTouchToNodeSpace(Touch* touch) const {
    return convertToNodeSpace(touch->getLocation());
}

Vec2 Node::convertTouchToNodeSpaceAR(Touch* touch) const {
    return convertToNodeSpaceAR(touch->getLocation());
}

// --- drawing -------------------------------------------------------------------------

uint32_t Node::processParentFlags(const Mat4& parentTransform, uint32_t parentFlags) {
    _modelViewTransform = parentTransform * getNodeToParentTransform();
    return parentFlags;
}

void Node::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    if (!_visible) return;
    const uint32_t flags = processParentFlags(parentTransform, parentFlags);
    Director* director = Director::getInstance();
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW, _modelViewTransform);
    sortAllChildren();
    size_t i = 0;
    const size_t n = _children.size();
    for (; i < n; ++i) {
        Node* c = _children.at(i);
        if (c->_localZOrder >= 0) break;
        c->visit(renderer, _modelViewTransform, flags);
    }
    if (isVisitableByVisitingCamera()) draw(renderer, _modelViewTransform, flags);
    for (; i < n; ++i) _children.at(i)->visit(renderer, _modelViewTransform, flags);
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
}

void Node::draw(Renderer*, const Mat4&, uint32_t) {}

// --- life cycle ----------------------------------------------------------------------

void Node::onEnter() {
    _running = true;
    // Children may be added or removed by their own onEnter: walk a copy.
    Vector<Node*> children = _children;
    for (Node* c : children)
        if (c->_parent == this) c->onEnter();
    resume();
}

void Node::onExit() {
    pause();
    _running = false;
    Vector<Node*> children = _children;
    for (Node* c : children)
        if (c->_parent == this) c->onExit();
}

void Node::cleanup() {
    stopAllActions();
    unscheduleAllCallbacks();
    Vector<Node*> children = _children;
    for (Node* c : children) c->cleanup();
}

Scene* Node::getScene() const {
    const Node* n = this;
    while (n->_parent) n = n->_parent;
    return const_cast<Scene*>(dynamic_cast<const Scene*>(n));
}

void Node::resume() {
    _scheduler->resumeTarget(this);
    _actionManager->resumeTarget(this);
    _eventDispatcher->resumeEventListenersForTarget(this);
}

void Node::pause() {
    _scheduler->pauseTarget(this);
    _actionManager->pauseTarget(this);
    _eventDispatcher->pauseEventListenersForTarget(this);
}

// --- actions and scheduling ----------------------------------------------------------

Action* Node::runAction(Action* action) {
    if (!action) return nullptr;
    _actionManager->addAction(action, this, !_running);
    return action;
}

void Node::stopAllActions() { _actionManager->removeAllActionsFromTarget(this); }

void Node::stopAction(Action* action) { _actionManager->removeAction(action); }

void Node::stopActionByTag(int tag) { _actionManager->removeActionByTag(tag, this); }

Action* Node::getActionByTag(int tag) { return _actionManager->getActionByTag(tag, this); }

ssize_t Node::getNumberOfRunningActions() const {
    return _actionManager->getNumberOfRunningActionsInTarget(this);
}

void Node::schedule(SEL_SCHEDULE selector) { schedule(selector, 0); }

void Node::schedule(SEL_SCHEDULE selector, float interval) {
    _scheduler->schedule(selector, this, interval, !_running);
}

void Node::unschedule(SEL_SCHEDULE selector) { _scheduler->unschedule(selector, this); }

void Node::schedule(const std::function<void(float)>& callback, float interval,
                    const std::string& key) {
    _scheduler->schedule(callback, this, interval, !_running, key);
}

void Node::scheduleOnce(const std::function<void(float)>& callback, float delay,
                        const std::string& key) {
    Scheduler* s = _scheduler;
    _scheduler->schedule(
        [s, this, callback, key](float dt) {
            s->unschedule(key, this);
            callback(dt);
        },
        this, delay, !_running, key);
}

void Node::unschedule(const std::string& key) { _scheduler->unschedule(key, this); }

void Node::unscheduleAllCallbacks() { _scheduler->unscheduleAllForTarget(this); }

bool Node::isScheduled(SEL_SCHEDULE selector) const { return _scheduler->isScheduled(selector, this); }

bool Node::isScheduled(const std::string& key) const { return _scheduler->isScheduled(key, this); }

}  // namespace cocos2d
