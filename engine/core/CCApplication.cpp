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
    if (!start()) return 1;
    while (!finished()) {
        // Sleep in the window system until an event or the next due frame.
        GLView* view = Director::getInstance()->getOpenGLView();
        view->waitEvents(Director::getInstance()->secondsToNextFrame());
        if (view->windowShouldClose()) break;
        const double left = Director::getInstance()->secondsToNextFrame();
        if (left >= 0 && left <= 0.0005) Director::getInstance()->mainLoop();
    }
    finish();
    return 0;
}

bool Application::start() {
    initGLContextAttrs();
    if (!applicationDidFinishLaunching()) {
        // Let go of what the failed start made (autoreleased nodes, the window), as an
        // ordinary end does.
        Director::getInstance()->reset();
        return false;
    }
    GLView* view = Director::getInstance()->getOpenGLView();
    if (!view) return false;
    view->retain();
    return true;
}

double Application::runOnce() {
    Director* director = Director::getInstance();
    GLView* view = director->getOpenGLView();
    view->waitEvents(0);
    if (finished()) return -1;
    const double left = director->secondsToNextFrame();
    if (left >= 0 && left <= 0.0005) director->mainLoop();
    return director->secondsToNextFrame();
}

bool Application::finished() {
    Director* director = Director::getInstance();
    GLView* view = director->getOpenGLView();
    return !view || view->windowShouldClose() || director->isEndRequested();
}

void Application::finish() {
    Director* director = Director::getInstance();
    GLView* view = director->getOpenGLView();
    director->reset();
    if (view) view->release();
}

}  // namespace cocos2d
