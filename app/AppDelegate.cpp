#include "AppDelegate.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "FieldScene.h"
#include "tr.h"
#include "SingleInstance.h"
#include "Speech.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;

namespace {
std::string& startFile() {
    static std::string path;
    return path;
}
std::function<void(const char*)>& stageListener() {
    static std::function<void(const char*)> listener;
    return listener;
}
std::string& startProblem() {
    static std::string text;
    return text;
}
void failed(const std::string& text) {
    startProblem() = text;
    std::fprintf(stderr, "tavrick-cards: %s\n", text.c_str());
}
std::unique_ptr<tavrick::SingleInstance>& fieldClaim() {
    static std::unique_ptr<tavrick::SingleInstance> claim;
    return claim;
}
// How long a later start waits for the copy that has the field open (which may be starting).
constexpr std::chrono::seconds kHandOverPatience(5);

// A later start's file, on the main thread: opened as one step, and the window to the front.
void openHandedFile(const std::string& file) {
    if (FieldScene* field = FieldScene::findRunning())
        if (!file.empty()) field->openProgramFile(file);
    if (auto* view = dynamic_cast<GLViewImpl*>(Director::getInstance()->getOpenGLView())) view->raiseWindow();
}

std::string absolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(std::filesystem::u8path(path), error);
    return error ? path : full.u8string();
}

void reached(const char* stage) {
    if (stageListener()) stageListener()(stage);
}
}  // namespace

void AppDelegate::setStageListener(std::function<void(const char*)> listener) {
    stageListener() = std::move(listener);
}

const std::string& AppDelegate::getStartProblem() { return startProblem(); }

void AppDelegate::setStartFile(const std::string& path) { startFile() = path; }

bool AppDelegate::claimField() {
    using Role = tavrick::SingleInstance::Role;
    const std::string folder = FileUtils::getInstance()->getWritablePath();
    if (folder.empty()) return true;
    const std::string file = startFile().empty() ? "" : absolutePath(startFile());
    std::unique_ptr<tavrick::SingleInstance> claim(new tavrick::SingleInstance);
    const Role role = claim->claim(folder, file, kHandOverPatience);
    switch (role) {
        case Role::HandedOver:
            std::fprintf(stderr, "tavrick-cards: %s\n",
                         file.empty() ? "brought the copy already open to the front"
                                      : ("handed " + file + " to the copy already open").c_str());
            return false;
        case Role::NoAnswer:
            std::fprintf(stderr, "tavrick-cards: %s; this copy does not save the field\n", claim->detail().c_str());
            // In English here; the screen shows it in its language.
            FieldScene::fieldHeldElsewhere = i18n::N_(
                "Tavrick Cards is open already but does not answer: this window does not keep your work "
                "by itself (save it with Ctrl+S)");
            break;
        case Role::Unguarded:
            std::fprintf(stderr, "tavrick-cards: %s\n", claim->detail().c_str());
            break;
        case Role::First: {
            if (!claim->detail().empty()) std::fprintf(stderr, "tavrick-cards: %s\n", claim->detail().c_str());
            // Taken here, on the main thread: the listener's thread only queues work on it.
            Scheduler* scheduler = Director::getInstance()->getScheduler();
            scheduler->retain();
            claim->listen(openHandedFile, [scheduler](std::function<void()> work) {
                scheduler->performFunctionInCocosThread(std::move(work));
            });
            break;
        }
    }
    fieldClaim() = std::move(claim);
    return true;
}

void AppDelegate::releaseField() { fieldClaim().reset(); }

AppDelegate::AppDelegate() {}
// The window has closed: a send under way finishes its line and stops as the stop button
// stops it (the board is not left in the middle of a program), within about a second.
AppDelegate::~AppDelegate() { TavrickCardSerialManager::getInstance()->shutdown(); }

void AppDelegate::addResourceFolders() {
    FileUtils* files = FileUtils::getInstance();
    const std::string exe = FileUtils::executableDirectory();
    // Beside the program (the build tree links res/ there), then the install prefix.
    if (!exe.empty()) files->addSearchPath(exe + "/../share/tavrick-cards");
    // Settings are kept where the desktop keeps each user's program data.
    if (files->getWritablePath().empty())
        files->setWritablePath(Device::getPrefPath("", "tavrick-cards"));
}

void AppDelegate::initGLContextAttrs() {
    GLContextAttrs attrs;
    attrs.redBits = attrs.greenBits = attrs.blueBits = attrs.alphaBits = 8;
    attrs.depthBits = 24;
    attrs.stencilBits = 8;
    GLView::setGLContextAttrs(attrs);
}

bool AppDelegate::applicationDidFinishLaunching() {
    // Found and decoded while the window opens.
    Label::preloadSystemFont("Futura-Medium");
    FieldScene::preloadPictures();
    Director* director = Director::getInstance();
    GLView* view = director->getOpenGLView();
    if (!view) {
        view = GLViewImpl::createWithRect("TavrickApps", Rect(0, 0, 1024, 768), 1.0f);
        if (!view) {
            // Never a start without a window: the program ends, and says why.
            std::string why = GLViewImpl::getOpenProblem();
            const char* display = std::getenv("DISPLAY");
            failed("the window could not be opened: " + (why.empty() ? std::string("no display") : why) +
                   (display && *display ? std::string(" (DISPLAY=") + display + ")" : std::string()));
            return false;
        }
        director->setOpenGLView(view);
    }
    reached("window-open");
    director->setDisplayStats(false);
    director->setAnimationInterval(1.0f / 60);
    view->setDesignResolutionSize(1024, 768, ResolutionPolicy::SHOW_ALL);
    director->setContentScaleFactor(2.0f);
    Scene* scene = Scene::create();
    // The platform's voice, reached at its first sentence; speech starts on with the screen reader.
    static std::unique_ptr<Speech> speech = Speech::open();
    FieldScene::voice = [](const std::string& text) { speech->say(text); };
    FieldScene::screenReaderRunning = Speech::screenReaderRunning();
    FieldScene* field = FieldScene::create();
    if (!field) {
        failed("the screen could not be built; are the pictures in res/ installed?");
        return false;
    }
    scene->addChild(field);
    director->runWithScene(scene);
    reached("screen-built");
    // Over the restored field, as one step that undo takes back.
    if (!startFile().empty()) field->openProgramFile(startFile());
    // Boards plugged in or pulled out show up without a tap; where the system cannot tell us,
    // the reload arrow still looks again.
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    if (!serial->startWatching())
        std::fprintf(stderr, "tavrick-cards: %s\n", serial->getLastErrorDetail().c_str());
    return true;
}

// Minimised, the program goes on working (the autosave, the port watch, a send under way);
// only the drawing stops.
void AppDelegate::applicationDidEnterBackground() { Director::getInstance()->setWindowHidden(true); }

void AppDelegate::applicationWillEnterForeground() { Director::getInstance()->setWindowHidden(false); }
