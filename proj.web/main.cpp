// The page: the same program, with the browser owning the loop. Nothing here may block: a
// turn of the loop runs when an input event or the next due frame calls for it, and the page
// sleeps in between (no animation loop while nothing changes).
#include <emscripten.h>

#include <cmath>
#include <string>

#include "AppDelegate.h"
#include "CCApplication.h"
#include "CCDirector.h"
#include "CCGLView.h"
#include "CCGLViewImpl.h"
#include "CCScheduler.h"

namespace {

AppDelegate* s_app = nullptr;
bool s_turnQueued = false;
double s_turnAt = -1;  // when the queued turn runs (ms, emscripten_get_now)

void turn(void*);

// Queues a turn in `seconds` unless one is queued that comes sooner.
void queueTurn(double seconds) {
    const double at = emscripten_get_now() + seconds * 1000;
    if (s_turnQueued && s_turnAt <= at) return;
    s_turnQueued = true;
    s_turnAt = at;
    emscripten_async_call(turn, reinterpret_cast<void*>(static_cast<intptr_t>(std::lround(at))),
                          static_cast<int>(std::ceil(seconds * 1000)));
}

void turn(void* tag) {
    // A turn overtaken by a sooner one has nothing left to do.
    if (static_cast<intptr_t>(std::lround(s_turnAt)) != reinterpret_cast<intptr_t>(tag)) return;
    s_turnQueued = false;
    cocos2d::Application* app = cocos2d::Application::getInstance();
    if (!app || app->finished()) return;
    const double next = app->runOnce();
    if (next >= 0) queueTurn(next);
}

}  // namespace

extern "C" {

// An input event reached the page (its listeners call this after SDL has queued it), or a
// browser callback queued work for the main loop.
EMSCRIPTEN_KEEPALIVE void tavrick_wake() { queueTurn(0); }

// A .cards file the page has put into its file system (dropped on the page): opened as a
// file dropped on the window is.
EMSCRIPTEN_KEEPALIVE void tavrick_open_dropped(const char* path) {
    if (cocos2d::GLView* view = cocos2d::Director::getInstance()->getOpenGLView())
        view->handleDropFile(path);
    queueTurn(0);
}

}  // extern "C"

int main() {
    AppDelegate::addResourceFolders();
    s_app = new AppDelegate;
    if (!cocos2d::Application::getInstance()->start()) {
        EM_ASM({ Module.failed && Module.failed(); });
        return 1;
    }
    // The first frame on the screen: the page's start as its tests and benchmarks time it.
    if (auto* view = dynamic_cast<cocos2d::GLViewImpl*>(cocos2d::Director::getInstance()->getOpenGLView())) {
        view->setPresentedCallback([view] {
            EM_ASM({ Module.firstFrameAt = Module.firstFrameAt || performance.now(); });
            view->setPresentedCallback(nullptr);
        });
    }
    // Work queued from browser callbacks (the serial link, the file chooser) wakes the loop.
    cocos2d::Scheduler::setWakeFunction([] { queueTurn(0); });
    EM_ASM({ Module.started && Module.started(); });
    queueTurn(0);
    // The runtime stays: the loop goes on through the browser's callbacks.
    emscripten_exit_with_live_runtime();
    return 0;
}
