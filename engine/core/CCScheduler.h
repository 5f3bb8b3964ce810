#pragma once
// Timers keyed by (target, selector) or (target, key). Scheduling and unscheduling are safe
// from inside a callback: a timer added during an update first runs on the next update,
// a timer removed during an update does not run again.
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "CCRef.h"

namespace cocos2d {

typedef std::function<void(float)> ccSchedulerFunc;

class Scheduler : public Ref {
public:
    Scheduler();
    ~Scheduler() override;

    void schedule(SEL_SCHEDULE selector, Ref* target, float interval, bool paused);
    void schedule(const ccSchedulerFunc& callback, void* target, float interval, bool paused,
                  const std::string& key);
    void unschedule(SEL_SCHEDULE selector, Ref* target);
    void unschedule(const std::string& key, void* target);
    void unscheduleAllForTarget(void* target);
    void unscheduleAll();
    bool isScheduled(SEL_SCHEDULE selector, const Ref* target) const;
    bool isScheduled(const std::string& key, const void* target) const;
    void pauseTarget(void* target);
    void resumeTarget(void* target);
    bool isTargetPaused(void* target) const;
    // Forgets a target that is going away (paused or not): a later one at its address starts afresh.
    void forgetTarget(void* target);

    // Runs a function on the main thread at the next update (safe from any thread).
    void performFunctionInCocosThread(std::function<void()> function);
    // Called (on the caller's thread) after a function is queued, so that a main loop asleep
    // in the window system wakes for it. The window sets it; it must be safe from any thread.
    static void setWakeFunction(std::function<void()> wake);

    void update(float dt);

    // Seconds until the earliest active timer is due: 0 when one runs every frame, a
    // negative value when nothing is scheduled. The main loop sleeps that long.
    float timeToNextTimer() const;
    size_t timerCount() const { return _timers.size(); }

    float getTimeScale() const { return _timeScale; }
    void setTimeScale(float s) { _timeScale = s; }

private:
    struct Timer {
        void* target = nullptr;
        SEL_SCHEDULE selector = nullptr;
        std::string key;
        ccSchedulerFunc callback;
        float interval = 0;
        float elapsed = 0;
        bool paused = false;
        bool cancelled = false;
    };
    std::shared_ptr<Timer> find(void* target, SEL_SCHEDULE selector, const std::string& key) const;
    void add(std::shared_ptr<Timer> timer);
    std::vector<std::shared_ptr<Timer>> _timers;
    // A set: every node of the scene is paused as the scene ends, ten thousand cards with it.
    std::unordered_set<void*> _pausedTargets;
    std::vector<std::function<void()>> _functions;
    struct FunctionLock;
    std::unique_ptr<FunctionLock> _lock;
    float _timeScale = 1.0f;
};

}  // namespace cocos2d
