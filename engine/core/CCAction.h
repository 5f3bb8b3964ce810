#pragma once
// Actions: timed changes of a node, advanced once per frame by the ActionManager.
// Interval actions start on their first step with no time elapsed, as the engine always
// has; instant actions run on their first step, never inside runAction.
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "CCGeometry.h"
#include "CCRef.h"

namespace cocos2d {

class Node;

class Action : public Ref {
public:
    enum { INVALID_TAG = -1 };
    virtual bool isDone() const { return true; }
    virtual void startWithTarget(Node* target);
    virtual void stop();
    virtual void step(float dt) { (void)dt; }
    virtual void update(float time) { (void)time; }
    Node* getTarget() const { return _target; }
    Node* getOriginalTarget() const { return _originalTarget; }
    int getTag() const { return _tag; }
    void setTag(int tag) { _tag = tag; }

protected:
    Node* _target = nullptr;
    Node* _originalTarget = nullptr;
    int _tag = INVALID_TAG;
};

class FiniteTimeAction : public Action {
public:
    float getDuration() const { return _duration; }
    void setDuration(float d) { _duration = d; }

protected:
    float _duration = 0;
};

class ActionInstant : public FiniteTimeAction {
public:
    bool isDone() const override { return _done; }
    void startWithTarget(Node* target) override;
    void step(float dt) override;

protected:
    bool _done = false;
};

class ActionInterval : public FiniteTimeAction {
public:
    bool initWithDuration(float d);
    float getElapsed() const { return _elapsed; }
    bool isDone() const override { return _elapsed >= _duration; }
    void startWithTarget(Node* target) override;
    void step(float dt) override;

protected:
    float _elapsed = 0;
    bool _firstTick = true;
};

class MoveBy : public ActionInterval {
public:
    static MoveBy* create(float duration, const Vec2& delta);
    void startWithTarget(Node* target) override;
    void update(float t) override;

protected:
    Vec2 _positionDelta, _startPosition, _previousPosition, _drift;
};

// Stackable like MoveBy: a move made by someone else during the action is kept on top.
class MoveTo : public MoveBy {
public:
    static MoveTo* create(float duration, const Vec2& position);
    void startWithTarget(Node* target) override;
    void update(float t) override;

protected:
    Vec2 _endPosition;
};

class RotateBy : public ActionInterval {
public:
    static RotateBy* create(float duration, float deltaAngle);
    void startWithTarget(Node* target) override;
    void update(float t) override;

protected:
    float _delta = 0, _start = 0;
};

class ScaleTo : public ActionInterval {
public:
    static ScaleTo* create(float duration, float scale);
    void startWithTarget(Node* target) override;
    void update(float t) override;

protected:
    float _endX = 1, _endY = 1, _startX = 1, _startY = 1;
};

class FadeTo : public ActionInterval {
public:
    static FadeTo* create(float duration, GLubyte opacity);
    void startWithTarget(Node* target) override;
    void update(float t) override;

protected:
    GLubyte _toOpacity = 255, _fromOpacity = 255;
};

class FadeIn : public FadeTo {
public:
    static FadeIn* create(float duration);
};

class FadeOut : public FadeTo {
public:
    static FadeOut* create(float duration);
};

class DelayTime : public ActionInterval {
public:
    static DelayTime* create(float d);
};

class Sequence : public ActionInterval {
public:
    template <typename... Args>
    static Sequence* create(Args... actions) {
        return createWithList({static_cast<FiniteTimeAction*>(actions)...});
    }
    static Sequence* createWithList(std::initializer_list<FiniteTimeAction*> actions);
    static Sequence* createWithVector(const std::vector<FiniteTimeAction*>& actions);
    ~Sequence() override;
    void startWithTarget(Node* target) override;
    void stop() override;
    void update(float t) override;

protected:
    struct Entry {
        FiniteTimeAction* action;
        float start, end;
        bool started, done;
    };
    std::vector<Entry> _entries;
    bool _stopped = false;
};

class Spawn : public ActionInterval {
public:
    template <typename... Args>
    static Spawn* create(Args... actions) {
        return createWithList({static_cast<FiniteTimeAction*>(actions)...});
    }
    static Spawn* createWithList(std::initializer_list<FiniteTimeAction*> actions);
    ~Spawn() override;
    void startWithTarget(Node* target) override;
    void stop() override;
    void update(float t) override;

protected:
    std::vector<FiniteTimeAction*> _actions;
    std::vector<bool> _finished;
};

class RepeatForever : public ActionInterval {
public:
    static RepeatForever* create(ActionInterval* action);
    ~RepeatForever() override;
    bool isDone() const override { return false; }
    void startWithTarget(Node* target) override;
    void stop() override;
    void step(float dt) override;

protected:
    ActionInterval* _inner = nullptr;
};

class ActionEase : public ActionInterval {
public:
    ~ActionEase() override;
    void startWithTarget(Node* target) override;
    void stop() override;
    void update(float t) override;
    ActionInterval* getInnerAction() const { return _inner; }

protected:
    bool initWithAction(ActionInterval* action);
    virtual float ease(float t) const { return t; }
    ActionInterval* _inner = nullptr;
};

class EaseExponentialOut : public ActionEase {
public:
    static EaseExponentialOut* create(ActionInterval* action);

protected:
    float ease(float t) const override;
};

class CallFunc : public ActionInstant {
public:
    static CallFunc* create(const std::function<void()>& func);
    void update(float t) override;

protected:
    std::function<void()> _function;
};

class CallFuncN : public ActionInstant {
public:
    static CallFuncN* create(const std::function<void(Node*)>& func);
    void update(float t) override;

protected:
    std::function<void(Node*)> _function;
};

class RemoveSelf : public ActionInstant {
public:
    static RemoveSelf* create(bool isNeedCleanUp = true);
    void update(float t) override;

protected:
    bool _cleanup = true;
};

class ActionTweenDelegate {
public:
    virtual ~ActionTweenDelegate() {}
    virtual void updateTweenAction(float value, const std::string& key) = 0;
};

// Tweens a float from one value to another on a target that is an ActionTweenDelegate.
class ActionTween : public ActionInterval {
public:
    static ActionTween* create(float duration, const std::string& key, float from, float to);
    void startWithTarget(Node* target) override;
    void update(float t) override;

protected:
    std::string _key;
    float _from = 0, _to = 0, _delta = 0;
};

}  // namespace cocos2d
