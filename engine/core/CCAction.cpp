#include "CCAction.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "CCNode.h"

namespace cocos2d {

namespace {
template <class T>
T* autoreleased(T* a) {
    a->autorelease();
    return a;
}
}  // namespace

void Action::startWithTarget(Node* target) {
    _originalTarget = _target = target;
}

void Action::stop() { _target = nullptr; }

void ActionInstant::startWithTarget(Node* target) {
    FiniteTimeAction::startWithTarget(target);
    _done = false;
}

void ActionInstant::step(float) {
    // Marked done first: the function may stop this very action (RemoveSelf, cleanup).
    _done = true;
    update(1);
}

bool ActionInterval::initWithDuration(float d) {
    _duration = std::max(d, 0.f);
    _elapsed = 0;
    _firstTick = true;
    return true;
}

void ActionInterval::startWithTarget(Node* target) {
    FiniteTimeAction::startWithTarget(target);
    _elapsed = 0;
    _firstTick = true;
}

void ActionInterval::step(float dt) {
    if (_firstTick) {
        _firstTick = false;
        _elapsed = 0;
    } else {
        _elapsed += dt;
    }
    const float t = _duration <= 0 ? 1.f : std::max(0.f, std::min(1.f, _elapsed / _duration));
    if (_duration <= 0) _elapsed = std::max(_elapsed, 0.f);
    update(t);
}

// --- moves -------------------------------------------------------------------------

MoveBy* MoveBy::create(float duration, const Vec2& delta) {
    auto* a = new MoveBy;
    a->initWithDuration(duration);
    a->_positionDelta = delta;
    return autoreleased(a);
}

void MoveBy::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    _previousPosition = _startPosition = target->getPosition();
    _drift = Vec2::ZERO;
}

void MoveBy::update(float t) {
    if (!_target) return;
    const Vec2 diff = _target->getPosition() - _previousPosition;
    _startPosition += diff;
    _drift += diff;
    const Vec2 p = _startPosition + _positionDelta * t;
    _target->setPosition(p);
    _previousPosition = p;
}

MoveTo* MoveTo::create(float duration, const Vec2& position) {
    auto* a = new MoveTo;
    a->initWithDuration(duration);
    a->_endPosition = position;
    return autoreleased(a);
}

void MoveTo::startWithTarget(Node* target) {
    MoveBy::startWithTarget(target);
    _positionDelta = _endPosition - target->getPosition();
}

void MoveTo::update(float t) {
    if (!_target) return;
    if (t < 1) {
        MoveBy::update(t);
        return;
    }
    // The last step lands exactly on the end point (plus what others moved meanwhile),
    // not on start + delta, which float rounding can miss by a hair.
    const Vec2 diff = _target->getPosition() - _previousPosition;
    _drift += diff;
    const Vec2 p = _endPosition + _drift;
    _target->setPosition(p);
    _previousPosition = p;
}

RotateBy* RotateBy::create(float duration, float deltaAngle) {
    auto* a = new RotateBy;
    a->initWithDuration(duration);
    a->_delta = deltaAngle;
    return autoreleased(a);
}

void RotateBy::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    _start = target->getRotation();
}

void RotateBy::update(float t) {
    if (_target) _target->setRotation(_start + _delta * t);
}

ScaleTo* ScaleTo::create(float duration, float scale) {
    auto* a = new ScaleTo;
    a->initWithDuration(duration);
    a->_endX = a->_endY = scale;
    return autoreleased(a);
}

void ScaleTo::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    _startX = target->getScaleX();
    _startY = target->getScaleY();
}

void ScaleTo::update(float t) {
    if (!_target) return;
    _target->setScaleX(_startX + (_endX - _startX) * t);
    _target->setScaleY(_startY + (_endY - _startY) * t);
}

FadeTo* FadeTo::create(float duration, GLubyte opacity) {
    auto* a = new FadeTo;
    a->initWithDuration(duration);
    a->_toOpacity = opacity;
    return autoreleased(a);
}

void FadeTo::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    _fromOpacity = target->getOpacity();
}

void FadeTo::update(float t) {
    if (!_target) return;
    const float v = _fromOpacity + (static_cast<float>(_toOpacity) - _fromOpacity) * t;
    _target->setOpacity(static_cast<GLubyte>(std::lround(std::max(0.f, std::min(255.f, v)))));
}

FadeIn* FadeIn::create(float duration) {
    auto* a = new FadeIn;
    a->initWithDuration(duration);
    a->_toOpacity = 255;
    return autoreleased(a);
}

FadeOut* FadeOut::create(float duration) {
    auto* a = new FadeOut;
    a->initWithDuration(duration);
    a->_toOpacity = 0;
    return autoreleased(a);
}

DelayTime* DelayTime::create(float d) {
    auto* a = new DelayTime;
    a->initWithDuration(d);
    return autoreleased(a);
}

// --- composition -------------------------------------------------------------------

Sequence* Sequence::createWithList(std::initializer_list<FiniteTimeAction*> actions) {
    return createWithVector(std::vector<FiniteTimeAction*>(actions));
}

Sequence* Sequence::createWithVector(const std::vector<FiniteTimeAction*>& actions) {
    auto* s = new Sequence;
    float t = 0;
    for (FiniteTimeAction* a : actions) {
        if (!a) continue;
        a->retain();
        s->_entries.push_back({a, t, t + a->getDuration(), false, false});
        t += a->getDuration();
    }
    s->initWithDuration(t);
    return autoreleased(s);
}

Sequence::~Sequence() {
    for (auto& e : _entries) e.action->release();
}

void Sequence::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    _stopped = false;
    for (auto& e : _entries) e.started = e.done = false;
}

void Sequence::stop() {
    _stopped = true;
    for (auto& e : _entries) {
        if (e.started && !e.done) {
            e.action->stop();
            e.done = true;
        }
    }
    ActionInterval::stop();
}

void Sequence::update(float t) {
    Node* target = _target;
    const float e = t * _duration;
    retain();  // a step may remove the target and with it this action
    for (auto& entry : _entries) {
        if (_stopped) break;
        if (entry.done) continue;
        const bool finishes = t >= 1 || e >= entry.end;
        if (!finishes && e < entry.start) break;
        if (!entry.started) {
            entry.started = true;
            entry.action->startWithTarget(target);
        }
        if (finishes) {
            entry.done = true;
            entry.action->update(1);
            entry.action->stop();
        } else {
            const float d = entry.end - entry.start;
            entry.action->update(d > 0 ? (e - entry.start) / d : 1.f);
            break;
        }
    }
    release();
}

Spawn* Spawn::createWithList(std::initializer_list<FiniteTimeAction*> actions) {
    auto* s = new Spawn;
    float d = 0;
    for (FiniteTimeAction* a : actions) {
        if (!a) continue;
        a->retain();
        s->_actions.push_back(a);
        d = std::max(d, a->getDuration());
    }
    s->_finished.assign(s->_actions.size(), false);
    s->initWithDuration(d);
    return autoreleased(s);
}

Spawn::~Spawn() {
    for (auto* a : _actions) a->release();
}

void Spawn::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    _finished.assign(_actions.size(), false);
    for (auto* a : _actions) a->startWithTarget(target);
}

void Spawn::stop() {
    for (size_t i = 0; i < _actions.size(); ++i)
        if (!_finished[i]) _actions[i]->stop();
    ActionInterval::stop();
}

void Spawn::update(float t) {
    const float e = t * _duration;
    for (size_t i = 0; i < _actions.size(); ++i) {
        if (_finished[i]) continue;
        const float d = _actions[i]->getDuration();
        const float local = d > 0 ? std::min(1.f, e / d) : 1.f;
        _actions[i]->update(local);
        if (local >= 1) {
            _finished[i] = true;
            _actions[i]->stop();
        }
    }
}

RepeatForever* RepeatForever::create(ActionInterval* action) {
    if (!action) return nullptr;
    auto* r = new RepeatForever;
    r->_inner = action;
    action->retain();
    r->initWithDuration(action->getDuration());
    return autoreleased(r);
}

RepeatForever::~RepeatForever() { CC_SAFE_RELEASE(_inner); }

void RepeatForever::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    _inner->startWithTarget(target);
}

void RepeatForever::stop() {
    _inner->stop();
    ActionInterval::stop();
}

void RepeatForever::step(float dt) {
    _inner->step(dt);
    if (_inner->isDone() && _inner->getDuration() > 0) {
        // Carry the overshoot into the next round so the pace stays steady.
        float diff = _inner->getElapsed() - _inner->getDuration();
        if (diff > _inner->getDuration()) diff = std::fmod(diff, _inner->getDuration());
        _inner->startWithTarget(_target);
        _inner->step(0.0f);
        _inner->step(diff);
    }
}

ActionEase::~ActionEase() { CC_SAFE_RELEASE(_inner); }

bool ActionEase::initWithAction(ActionInterval* action) {
    if (!action) return false;
    _inner = action;
    action->retain();
    return initWithDuration(action->getDuration());
}

void ActionEase::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    _inner->startWithTarget(target);
}

void ActionEase::stop() {
    _inner->stop();
    ActionInterval::stop();
}

void ActionEase::update(float t) { _inner->update(ease(t)); }

EaseExponentialOut* EaseExponentialOut::create(ActionInterval* action) {
    auto* e = new EaseExponentialOut;
    if (!e->initWithAction(action)) {
        delete e;
        return nullptr;
    }
    return autoreleased(e);
}

float EaseExponentialOut::ease(float t) const {
    return t == 1 ? 1.f : -std::pow(2.f, -10.f * t) + 1.f;
}

CallFunc* CallFunc::create(const std::function<void()>& func) {
    auto* a = new CallFunc;
    a->_function = func;
    return autoreleased(a);
}

void CallFunc::update(float) {
    if (_function) _function();
}

CallFuncN* CallFuncN::create(const std::function<void(Node*)>& func) {
    auto* a = new CallFuncN;
    a->_function = func;
    return autoreleased(a);
}

void CallFuncN::update(float) {
    if (_function) _function(_target);
}

RemoveSelf* RemoveSelf::create(bool isNeedCleanUp) {
    auto* a = new RemoveSelf;
    a->_cleanup = isNeedCleanUp;
    return autoreleased(a);
}

void RemoveSelf::update(float) {
    if (_target) _target->removeFromParentAndCleanup(_cleanup);
}

ActionTween* ActionTween::create(float duration, const std::string& key, float from, float to) {
    auto* a = new ActionTween;
    a->initWithDuration(duration);
    a->_key = key;
    a->_from = from;
    a->_to = to;
    return autoreleased(a);
}

void ActionTween::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    _delta = _to - _from;
}

void ActionTween::update(float t) {
    if (auto* d = dynamic_cast<ActionTweenDelegate*>(_target)) {
        d->updateTweenAction(_to - _delta * (1 - t), _key);
    }
}

}  // namespace cocos2d
