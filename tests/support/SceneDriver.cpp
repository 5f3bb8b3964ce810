#include "SceneDriver.h"

#include <cstdlib>

#include "tr.h"

using namespace cocos2d;

namespace scenetest {

namespace {
OffscreenView* g_view = nullptr;

void send(int code, const Vec2& p, int id) {
    if (!g_view) return;
    g_view->touchesInDesign(code, {{static_cast<intptr_t>(id), p}});
}
}  // namespace

OffscreenView* useOffscreenView(int w, int h, Size design, float contentScale) {
    resetEngine();
    FileUtils::getInstance()->addSearchPath(TAVRICK_SOURCE_DIR);
    // The screen in English whatever the machine's language: the suites read its words. The
    // catalogues are the build's own.
#ifdef _WIN32
    _putenv("LC_ALL=C");
    _putenv("LANGUAGE=");
#else
    setenv("LC_ALL", "C.UTF-8", 1);
    unsetenv("LANGUAGE");
#endif
    i18n::setCatalogueFolders({TAVRICK_BINARY_DIR "/locale"});
    // The screen's sounds go to SDL's silent device: heard by nobody, the same code played.
#ifdef _WIN32
    _putenv("SDL_AUDIODRIVER=dummy");
#else
    setenv("SDL_AUDIODRIVER", "dummy", 1);
#endif
    Director* d = Director::getInstance();
    d->setContentScaleFactor(contentScale);
    g_view = OffscreenView::create(w, h);
    d->setOpenGLView(g_view);
    g_view->setDesignResolutionSize(design.width, design.height, ResolutionPolicy::SHOW_ALL);
    return g_view;
}

void resetEngine() {
    Director* d = Director::getInstance();
    d->reset();
    d->getActionManager()->removeAllActions();
    d->getScheduler()->unscheduleAll();
    d->getEventDispatcher()->removeAllEventListeners();
    PoolManager::getInstance()->getCurrentPool()->clear();
    g_view = nullptr;
}

Scene* runScene(Node* root) {
    Scene* scene = dynamic_cast<Scene*>(root);
    if (!scene) {
        scene = Scene::create();
        scene->addChild(root);
    }
    Director::getInstance()->runWithScene(scene);
    stepFrames(1);
    return scene;
}

void stepFrames(int n, float dt) {
    for (int i = 0; i < n; ++i) Director::getInstance()->mainLoop(dt);
}

void stepSeconds(float seconds, float dt) {
    const int n = static_cast<int>(seconds / dt + 0.5f);
    stepFrames(n, dt);
}

void touchBegan(const Vec2& p, int id) { send(0, p, id); }
void touchMoved(const Vec2& p, int id) { send(1, p, id); }
void touchEnded(const Vec2& p, int id) { send(2, p, id); }
void touchCancelled(const Vec2& p, int id) { send(3, p, id); }

void tap(const Vec2& p, int id) {
    touchBegan(p, id);
    touchEnded(p, id);
}

void drag(const Vec2& a, const Vec2& b, int steps, int id) {
    touchBegan(a, id);
    for (int i = 1; i <= steps; ++i) {
        touchMoved(a + (b - a) * (static_cast<float>(i) / steps), id);
        stepFrames(1);
    }
    touchEnded(b, id);
}

void wheel(const Vec2& p, float notchesY, bool control) {
    if (g_view) g_view->handleScroll(p, 0, notchesY, control);
}

Color4B pixelAt(const Vec2& p) {
    Director::getInstance()->mainLoop(0);
    return g_view ? g_view->readPixelAtDesignPoint(p) : Color4B();
}

}  // namespace scenetest
