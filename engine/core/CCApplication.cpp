#include "CCApplication.h"

#include <cassert>
#include <cstdlib>

#include "CCDirector.h"
#include "CCGLView.h"

namespace cocos2d {

Application* Application::s_instance = nullptr;

Application::Application() {
    assert(!s_instance && "one application per process");
    s_instance = this;
}

Application::~Application() {
    if (s_instance == this) s_instance = nullptr;
}

Application* Application::getInstance() { return s_instance; }

void Application::setAnimationInterval(float interval) {
    Director::getInstance()->setAnimationInterval(interval);
}

LanguageType Application::getCurrentLanguage() { return LanguageType::ENGLISH; }
const char* Application::getCurrentLanguageCode() { return "en"; }

Application::Platform Application::getTargetPlatform() {
#ifdef _WIN32
    return Platform::OS_WINDOWS;
#else
    return Platform::OS_LINUX;
#endif
}

bool Application::openURL(const std::string&) { return false; }

int Application::run() {
    initGLContextAttrs();
    if (!applicationDidFinishLaunching()) {
        // Let go of what the failed start made (autoreleased nodes, the window), as an
        // ordinary end does.
        Director::getInstance()->reset();
        return 1;
    }
    Director* director = Director::getInstance();
    GLView* view = director->getOpenGLView();
    if (!view) return 1;
    view->retain();
    while (!view->windowShouldClose() && !director->isEndRequested()) {
        const double wait = director->secondsToNextFrame();
        // Sleep in the window system until an event or the next due frame.
        view->waitEvents(wait);
        if (view->windowShouldClose()) break;
        const double left = director->secondsToNextFrame();
        if (left >= 0 && left <= 0.0005) director->mainLoop();
    }
    director->reset();
    view->release();
    return 0;
}

}  // namespace cocos2d
