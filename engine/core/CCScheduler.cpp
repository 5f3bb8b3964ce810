#include "CCScheduler.h"

#include <algorithm>
#include <mutex>

namespace cocos2d {

struct Scheduler::FunctionLock {
    std::mutex mutex;
};

Scheduler::Scheduler() : _lock(new FunctionLock) {}
Scheduler::~Scheduler() {}

std::shared_ptr<Scheduler::Timer> Scheduler::find(void* target, SEL_SCHEDULE selector,
                                                  const std::string& key) const {
    for (const auto& t : _timers) {
        if (t->target == target && t->selector == selector && t->key == key) return t;
    }
    return nullptr;
}

void Scheduler::add(std::shared_ptr<Timer> timer) {
    timer->paused = timer->paused || isTargetPaused(timer->target);
    _timers.push_back(std::move(timer));
}

void Scheduler::schedule(SEL_SCHEDULE selector, Ref* target, float interval, bool paused) {
    if (!selector || !target) return;
    if (auto existing = find(target, selector, std::string())) {
        existing->interval = interval;  // rescheduling only changes the interval
        return;
    }
    auto t = std::make_shared<Timer>();
    t->target = target;
    t->selector = selector;
    t->callback = [target, selector](float dt) { (target->*selector)(dt); };
    t->interval = interval;
    t->paused = paused;
    add(std::move(t));
}

void Scheduler::schedule(const ccSchedulerFunc& callback, void* target, float interval,
                         bool paused, const std::string& key) {
    if (!callback || !target || key.empty()) return;
    if (auto existing = find(target, nullptr, key)) {
        existing->interval = interval;
        existing->callback = callback;
        return;
    }
    auto t = std::make_shared<Timer>();
    t->target = target;
    t->key = key;
    t->callback = callback;
    t->interval = interval;
    t->paused = paused;
    add(std::move(t));
}

void Scheduler::unschedule(SEL_SCHEDULE selector, Ref* target) {
    for (auto it = _timers.begin(); it != _timers.end(); ++it) {
        if ((*it)->target == target && (*it)->selector == selector && (*it)->key.empty()) {
            (*it)->cancelled = true;
            _timers.erase(it);
            return;
        }
    }
}

void Scheduler::unschedule(const std::string& key, void* target) {
    for (auto it = _timers.begin(); it != _timers.end(); ++it) {
        if ((*it)->target == target && !(*it)->selector && (*it)->key == key) {
            (*it)->cancelled = true;
            _timers.erase(it);
            return;
        }
    }
}

void Scheduler::unscheduleAllForTarget(void* target) {
    _timers.erase(std::remove_if(_timers.begin(), _timers.end(),
                                 [target](const std::shared_ptr<Timer>& t) {
                                     if (t->target != target) return false;
                                     t->cancelled = true;
                                     return true;
                                 }),
                  _timers.end());
}

void Scheduler::unscheduleAll() {
    for (auto& t : _timers) t->cancelled = true;
    _timers.clear();
}

bool Scheduler::isScheduled(SEL_SCHEDULE selector, const Ref* target) const {
    return find(const_cast<Ref*>(target), selector, std::string()) != nullptr;
}

bool Scheduler::isScheduled(const std::string& key, const void* target) const {
    return find(const_cast<void*>(target), nullptr, key) != nullptr;
}

void Scheduler::pauseTarget(void* target) {
    _pausedTargets.insert(target);
    for (auto& t : _timers)
        if (t->target == target) t->paused = true;
}

void Scheduler::resumeTarget(void* target) {
    _pausedTargets.erase(target);
    for (auto& t : _timers)
        if (t->target == target) t->paused = false;
}

bool Scheduler::isTargetPaused(void* target) const {
    return _pausedTargets.count(target) != 0;
}

void Scheduler::forgetTarget(void* target) {
    unscheduleAllForTarget(target);
    _pausedTargets.erase(target);
}

namespace {
std::mutex s_wakeMutex;
std::function<void()> s_wake;
}  // namespace

void Scheduler::setWakeFunction(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(s_wakeMutex);
    s_wake = std::move(wake);
}

void Scheduler::performFunctionInCocosThread(std::function<void()> function) {
    {
        std::lock_guard<std::mutex> lock(_lock->mutex);
        _functions.push_back(std::move(function));
    }
    std::lock_guard<std::mutex> lock(s_wakeMutex);
    if (s_wake) s_wake();
}

void Scheduler::update(float dt) {
    dt *= _timeScale;
    // A snapshot, so that callbacks may schedule and unschedule freely.
    std::vector<std::shared_ptr<Timer>> timers = _timers;
    for (auto& t : timers) {
        if (t->cancelled || t->paused) continue;
        if (t->interval <= 0) {
            ccSchedulerFunc callback = t->callback;  // the timer may be rescheduled inside
            callback(dt);
            continue;
        }
        t->elapsed += dt;
        // A tiny tolerance: ten steps of 0.01 s must make one 0.1 s tick, float or not.
        if (t->elapsed + t->interval * 1e-4f >= t->interval) {
            const float fired = t->elapsed;
            t->elapsed -= t->interval;
            if (t->elapsed < 0 || t->elapsed >= t->interval) t->elapsed = 0;  // no bursts
            ccSchedulerFunc callback = t->callback;  // the timer may be rescheduled inside
            callback(fired);
        }
    }
    std::vector<std::function<void()>> functions;
    {
        std::lock_guard<std::mutex> lock(_lock->mutex);
        functions.swap(_functions);
    }
    for (auto& f : functions) f();
}

float Scheduler::timeToNextTimer() const {
    float best = -1;
    for (const auto& t : _timers) {
        if (t->paused) continue;
        const float due = t->interval <= 0 ? 0.f : std::max(0.f, t->interval - t->elapsed);
        if (best < 0 || due < best) best = due;
    }
    {
        std::lock_guard<std::mutex> lock(_lock->mutex);
        if (!_functions.empty()) best = 0;
    }
    return best;
}

}  // namespace cocos2d
