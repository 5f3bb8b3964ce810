#pragma once
// Owns the running scene, the scheduler, the action manager, the event dispatcher and
// the renderer, and draws a frame when one is due. Frames are drawn only when something
// can have changed: an event, a running action, a due timer, an expose.
#include <chrono>
#include <vector>

#include "CCGeometry.h"
#include "CCRef.h"

namespace cocos2d {

class Scene;
class GLView;
class Scheduler;
class ActionManager;
class EventDispatcher;
class Renderer;

enum class MATRIX_STACK_TYPE { MATRIX_STACK_MODELVIEW, MATRIX_STACK_PROJECTION, MATRIX_STACK_TEXTURE };

class Director : public Ref {
public:
    static Director* getInstance();

    GLView* getOpenGLView() const { return _openGLView; }
    void setOpenGLView(GLView* view);

    void setDisplayStats(bool on) { _displayStats = on; }
    bool isDisplayStats() const { return _displayStats; }
    void setAnimationInterval(float interval) { _animationInterval = interval; }
    float getAnimationInterval() const { return _animationInterval; }
    void setContentScaleFactor(float f);
    float getContentScaleFactor() const { return _contentScaleFactor; }
    Size getWinSize() const;
    Size getVisibleSize() const;
    Vec2 getVisibleOrigin() const { return Vec2::ZERO; }

    void runWithScene(Scene* scene);
    void replaceScene(Scene* scene);
    Scene* getRunningScene() const { return _runningScene; }

    void stopAnimation();
    void startAnimation();
    bool isAnimating() const { return !_invalid; }
    // The window is out of sight (minimised): time goes on, actions and timers run (an autosave,
    // a poll, a send in progress), but nothing is drawn, and no frame runs only to draw. Shown
    // again, the next frame draws.
    void setWindowHidden(bool hidden);
    bool isWindowHidden() const { return _hidden; }
    void end() { _purgeRequested = true; }
    bool isEndRequested() const { return _purgeRequested; }
    // Takes the scene down and forgets the view: the state of a fresh start.
    void reset();

    Scheduler* getScheduler() const { return _scheduler; }
    ActionManager* getActionManager() const { return _actionManager; }
    EventDispatcher* getEventDispatcher() const { return _eventDispatcher; }
    Renderer* getRenderer() const { return _renderer; }

    void pushMatrix(MATRIX_STACK_TYPE type);
    void popMatrix(MATRIX_STACK_TYPE type);
    void loadIdentityMatrix(MATRIX_STACK_TYPE type);
    void loadMatrix(MATRIX_STACK_TYPE type, const Mat4& m);
    void multiplyMatrix(MATRIX_STACK_TYPE type, const Mat4& m);
    const Mat4& getMatrix(MATRIX_STACK_TYPE type) const;

    // One frame, with the time measured since the last one.
    void mainLoop();
    // One frame with a given time step, without sleeping (tests, benchmarks).
    void mainLoop(float dt);

    // Off: frames still run actions and timers but draw nothing (tests that step many
    // frames and look at no pixels).
    void setDrawingEnabled(bool on) { _drawingEnabled = on; }
    bool isDrawingEnabled() const { return _drawingEnabled; }

    void setNeedsRedraw() { _needsRedraw = true; }
    bool needsRedraw() const { return _needsRedraw; }
    // Seconds from now until a frame must be drawn; negative when none is wanted until
    // the next event. Already accounts for the animation interval.
    double secondsToNextFrame() const;
    unsigned getTotalFrames() const { return _totalFrames; }
    float getDeltaTime() const { return _deltaTime; }

private:
    Director();
    void drawScene(float dt);
    void setNextScene();
    std::vector<Mat4>& stack(MATRIX_STACK_TYPE type);

    GLView* _openGLView = nullptr;
    Scene* _runningScene = nullptr;
    Scene* _nextScene = nullptr;
    Scheduler* _scheduler;
    ActionManager* _actionManager;
    EventDispatcher* _eventDispatcher;
    Renderer* _renderer;
    std::vector<Mat4> _modelViewStack, _projectionStack, _textureStack;
    bool _displayStats = false;
    float _animationInterval = 1.0f / 60;
    float _contentScaleFactor = 1.0f;
    bool _invalid = false;
    bool _hidden = false;
    bool _purgeRequested = false;
    bool _needsRedraw = true;
    bool _drawingEnabled = true;
    bool _nextDeltaTimeZero = true;
    float _deltaTime = 0;
    unsigned _totalFrames = 0;
    std::chrono::steady_clock::time_point _lastUpdate;
};

}  // namespace cocos2d
