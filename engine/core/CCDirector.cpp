#include "CCDirector.h"

#include <algorithm>

#include "CCActionManager.h"
#include "CCEventDispatcher.h"
#include "CCGLView.h"
#include "CCLayer.h"
#include "CCRenderer.h"
#include "CCScheduler.h"

namespace cocos2d {

namespace {
// Seconds between frames that only advance actions, while the window is out of sight.
constexpr double kHiddenActionStep = 0.1;
}  // namespace

Director* Director::getInstance() {
    static Director* instance = new Director;  // lives for the whole process
    return instance;
}

Director::Director()
    : _scheduler(new Scheduler),
      _actionManager(new ActionManager),
      _eventDispatcher(new EventDispatcher),
      _renderer(new Renderer) {
    _modelViewStack.push_back(Mat4::IDENTITY);
    _projectionStack.push_back(Mat4::IDENTITY);
    _textureStack.push_back(Mat4::IDENTITY);
    _lastUpdate = std::chrono::steady_clock::now();
}

void Director::setOpenGLView(GLView* view) {
    if (view == _openGLView) return;
    CC_SAFE_RETAIN(view);
    CC_SAFE_RELEASE(_openGLView);
    _openGLView = view;
    _needsRedraw = true;
}

void Director::setContentScaleFactor(float f) {
    if (f > 0) _contentScaleFactor = f;
}

Size Director::getWinSize() const {
    return _openGLView ? _openGLView->getDesignResolutionSize() : Size::ZERO;
}

Size Director::getVisibleSize() const {
    return _openGLView ? _openGLView->getVisibleSize() : Size::ZERO;
}

void Director::runWithScene(Scene* scene) {
    if (!scene) return;
    replaceScene(scene);
}

void Director::replaceScene(Scene* scene) {
    if (!scene || scene == _nextScene) return;
    scene->retain();
    CC_SAFE_RELEASE(_nextScene);
    _nextScene = scene;
    _needsRedraw = true;
    // The first scene starts at once, so that its listeners take the very first event.
    if (!_runningScene) setNextScene();
}

void Director::setNextScene() {
    Scene* next = _nextScene;
    _nextScene = nullptr;
    if (_runningScene) {
        _runningScene->onExit();
        _runningScene->cleanup();
        _runningScene->release();
    }
    _runningScene = next;  // keeps the reference taken in replaceScene
    if (_runningScene) {
        _runningScene->onEnter();
        _runningScene->onEnterTransitionDidFinish();
    }
}

void Director::stopAnimation() { _invalid = true; }

void Director::startAnimation() {
    _invalid = false;
    _nextDeltaTimeZero = true;  // no jump for the time spent stopped
    _needsRedraw = true;
}

void Director::setWindowHidden(bool hidden) {
    _hidden = hidden;
    if (!hidden) _needsRedraw = true;
}

void Director::reset() {
    CC_SAFE_RELEASE_NULL(_nextScene);
    if (_runningScene) {
        _runningScene->onExit();
        _runningScene->cleanup();
        _runningScene->release();
        _runningScene = nullptr;
    }
    PoolManager::getInstance()->getCurrentPool()->clear();
    setOpenGLView(nullptr);
    _invalid = false;
    _hidden = false;
    _purgeRequested = false;
    _needsRedraw = true;
    _drawingEnabled = true;
    _nextDeltaTimeZero = true;
    _modelViewStack.assign(1, Mat4::IDENTITY);
}

std::vector<Mat4>& Director::stack(MATRIX_STACK_TYPE type) {
    switch (type) {
        case MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION:
            return _projectionStack;
        case MATRIX_STACK_TYPE::MATRIX_STACK_TEXTURE:
            return _textureStack;
        default:
            return _modelViewStack;
    }
}

void Director::pushMatrix(MATRIX_STACK_TYPE type) {
    auto& s = stack(type);
    s.push_back(s.back());
}

void Director::popMatrix(MATRIX_STACK_TYPE type) {
    auto& s = stack(type);
    if (s.size() > 1) s.pop_back();
}

void Director::loadIdentityMatrix(MATRIX_STACK_TYPE type) { stack(type).back() = Mat4::IDENTITY; }
void Director::loadMatrix(MATRIX_STACK_TYPE type, const Mat4& m) { stack(type).back() = m; }
void Director::multiplyMatrix(MATRIX_STACK_TYPE type, const Mat4& m) {
    stack(type).back() = stack(type).back() * m;
}
const Mat4& Director::getMatrix(MATRIX_STACK_TYPE type) const {
    return const_cast<Director*>(this)->stack(type).back();
}

void Director::mainLoop() {
    const auto now = std::chrono::steady_clock::now();
    float dt = std::chrono::duration<float>(now - _lastUpdate).count();
    if (_nextDeltaTimeZero) {
        dt = 0;
        _nextDeltaTimeZero = false;
    }
    // A stall (debugger, suspend) is not a leap. But a loop that slept until a timer came
    // due has not stalled: the sleep it planned counts in full, or a timer of more than
    // half a second would take two frames and come late.
    const float timer = _scheduler->timeToNextTimer();
    const float cap = std::max(0.5f, timer + 0.5f);
    dt = std::max(0.f, std::min(dt, cap));
    _lastUpdate = now;
    drawScene(dt);
}

void Director::mainLoop(float dt) {
    _lastUpdate = std::chrono::steady_clock::now();
    _nextDeltaTimeZero = false;
    drawScene(dt);
}

void Director::drawScene(float dt) {
    _deltaTime = dt;
    if (!_invalid) {
        _actionManager->update(dt);
        _scheduler->update(dt);
        if (_nextScene) setNextScene();
        if (_openGLView && _drawingEnabled && !_hidden) {
            if (_runningScene) _runningScene->visit(_renderer, Mat4::IDENTITY, 0);
            _renderer->render(_openGLView->getRenderBackend());
            _openGLView->swapBuffers();
        }
        ++_totalFrames;
        _needsRedraw = false;
    }
    PoolManager::getInstance()->getCurrentPool()->clear();
    if (_purgeRequested && _openGLView) _openGLView->end();
}

double Director::secondsToNextFrame() const {
    if (_invalid) return -1;
    const double since =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - _lastUpdate).count();
    const double pace = std::max(0.0, _animationInterval - since);
    if (_nextScene) return pace;
    double due = -1;
    if (!_hidden) {
        if (_needsRedraw || _actionManager->hasActiveActions()) return pace;
    } else if (_actionManager->hasActiveActions()) {
        // Nobody sees them move: stepped often enough that a delayed call comes on time.
        due = std::max(pace, kHiddenActionStep - since);
    }
    const float timer = _scheduler->timeToNextTimer();
    if (timer >= 0) {
        const double t = std::max(pace, timer - since);
        due = due < 0 ? t : std::min(due, t);
    }
    return due;
}

}  // namespace cocos2d
