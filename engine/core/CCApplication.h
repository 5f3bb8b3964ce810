#pragma once
// The process's application: the delegate the engine calls at start-up and when the
// window goes to the background or comes back. run() is the main loop.
#include <string>

namespace cocos2d {

enum class LanguageType { ENGLISH = 0, CHINESE, FRENCH, ITALIAN, GERMAN, SPANISH, DUTCH, RUSSIAN, KOREAN, JAPANESE, OTHER };

class Application {
public:
    enum class Platform { OS_WINDOWS, OS_LINUX, OS_MAC, OS_ANDROID, OS_IPHONE, OS_IPAD };

    Application();
    virtual ~Application();
    static Application* getInstance();

    virtual bool applicationDidFinishLaunching() = 0;
    virtual void applicationDidEnterBackground() = 0;
    virtual void applicationWillEnterForeground() = 0;
    virtual void setAnimationInterval(float interval);
    virtual void initGLContextAttrs() {}
    virtual LanguageType getCurrentLanguage();
    virtual const char* getCurrentLanguageCode();
    virtual Platform getTargetPlatform();
    virtual std::string getVersion() { return ""; }
    virtual bool openURL(const std::string& url);

    // Runs until the window closes; returns the process's exit code.
    int run();

    // For a host that owns the loop (a web page, where nothing may block): start() opens the
    // window and builds the first scene (false when it could not); runOnce() handles the
    // waiting events and draws a frame if one is due, and returns the seconds until the next
    // is due, negative when only an event can bring one. finish() lets the window go.
    bool start();
    double runOnce();
    bool finished();
    void finish();

private:
    static Application* s_instance;
};

}  // namespace cocos2d
