#pragma once
// Random hands on the real field scene: the events, the screen they run on, the checks
// that must hold after every one of them, and the generator that makes them up.
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "FieldScene.h"

namespace fuzz {

// One step of a run. Plain data, so that a run can record it in shared memory.
struct Event {
    enum Kind : std::uint8_t { Press, Move, Release, Cancel, Wheel, Frames, Settle, Resize, FocusLost, BarClick, Key, KindCount };
    Kind kind = Frames;
    std::int8_t finger = 0;   // 0..2
    bool ctrl = false;        // wheel with Ctrl held: zoom
    std::int16_t count = 1;   // frames to step; for a key: 0 Ctrl+Z, 1 Ctrl+Shift+Z, 2 Ctrl+Y, 3.. a key of the focus
    float x = 0, y = 0;       // design point; a new frame size (resize); a frame pixel (bar click)
    float amount = 0;         // wheel notches, or the length of one frame in seconds
};

// One line per event, for the report of a failing run.
std::string format(const Event& e);
// A touch event of one finger; n frames of dt seconds each.
Event touch(Event::Kind kind, int finger, cocos2d::Vec2 p);
Event frames(int n, float dt);

// The screen with two ports: first a device that is not there (chosen at start, so a
// send fails at once), then a pseudo-terminal whose far side a thread keeps reading.
// The serial manager's polls are held: a worker's end reaches the scene only through a
// Settle event (or pollWorker while generating), so a run's events say where each send ended.
class Screen {
public:
    Screen();
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    bool ready() const { return scene_ != nullptr; }
    void apply(const Event& e);
    // Empty while every invariant holds, else what broke.
    std::string check() const;
    // Finishes a worker that has already ended, without waiting; true if one did.
    bool pollWorker();
    bool busy() const;

    FieldScene* scene() const { return scene_; }
    bool fingerDown(int f) const { return down_[f]; }
    cocos2d::Vec2 fingerAt(int f) const { return at_[f]; }
    bool anyFingerDown() const { return down_[0] || down_[1] || down_[2]; }

private:
    bool settle();

    unsigned long framesRun_ = 0;
    int master_ = -1, slave_ = -1;
    std::atomic<bool> stop_{false};
    std::thread drainer_;
    FieldScene* scene_ = nullptr;
    std::array<bool, 3> down_{};
    std::array<cocos2d::Vec2, 3> at_{};
    size_t baseListeners_ = 0;
    bool stuck_ = false;
};

// Makes up events for the screen as it is: raw presses, moves, lifts and cancels of one
// to three fingers anywhere, wheel notches (with and without Ctrl), frames, window
// resizes, losses of the focus, mouse clicks in the bars beside the screen, and whole
// gestures (palette drags, pick-ups, drops on the trash, taps on every control and panel,
// scrolls, pinches), interleaved with each other.
class Generator {
public:
    explicit Generator(std::uint64_t seed) : state_(seed) { mood_ = below(3); }
    Event next(const Screen& s);

private:
    struct Script {
        std::deque<Event> events;  // still to come
        unsigned fingers = 0;      // bit per finger
        // Then, if aiming, a carry to a slot whose place on screen is looked up at every
        // step (other fingers may scroll or zoom the field meanwhile), and the lift.
        bool aiming = false;
        int finger = 0, row = 0, slot = 0;
        cocos2d::Vec2 grab;  // touch point minus card centre
        float step = 10;
        int aimSteps = 0;
    };
    std::uint64_t bits();
    int below(int n) { return static_cast<int>(bits() % static_cast<std::uint64_t>(n)); }
    float uniform(float lo, float hi);
    bool chance(double p);
    cocos2d::Vec2 anywhere();
    int freeFinger(const Screen& s);
    void addFrames(Script& sc, int n = 1, float dt = 1.0f / 60);
    void path(Script& sc, int f, cocos2d::Vec2 from, cocos2d::Vec2 to, float step);
    void steps(Script& sc, int f, cocos2d::Vec2 from, cocos2d::Vec2 to, float step);
    void end(Script& sc, int f, cocos2d::Vec2 at);
    // A point to carry a card to; false with a slot chosen to aim at instead.
    bool dropPoint(const Screen& s, Script& sc, cocos2d::Vec2& point);
    bool seat(const Screen& s, int row, int slot, cocos2d::Vec2& world) const;
    Event aim(const Screen& s, Script& sc);
    bool startScript(const Screen& s, int f);
    Event raw(const Screen& s);
    // A window event: a resize, a focus loss or a click in a bar.
    Event window(const Screen& s);

    std::uint64_t state_;
    std::vector<Script> scripts_;
    unsigned busyFingers_ = 0;
    int mood_ = 1;  // 0 calm, 1 busy, 2 wild
};

}  // namespace fuzz
