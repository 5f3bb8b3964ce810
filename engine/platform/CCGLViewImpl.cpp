#include "CCGLViewImpl.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_syswm.h>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "CCApplication.h"
#include "CCDirector.h"
#include "CCScheduler.h"
#include "CCSdlBackend.h"

namespace cocos2d {

namespace {
// SDL's drivers that open no window (offscreen, dummy, and evdev, which only reads input).
// SDL falls back to them by itself when no display can be opened; a program started by a
// double click would then run for ever with nothing to see. Whoever wants one names it in
// SDL_VIDEODRIVER, as the tests and the headless first run do.
bool showsNoWindow(const char* driver) {
    for (const char* none : {"offscreen", "dummy", "evdev"})
        if (SDL_strcasecmp(driver, none) == 0) return true;
    return false;
}

std::string windowDrivers() {
    std::string list;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* d = SDL_GetVideoDriver(i);
        if (!d || showsNoWindow(d)) continue;
        if (!list.empty()) list += ',';
        list += d;
    }
    return list;
}

int initVideoOnce() {
    // X11's input method parses the locale's whole Compose table when the display opens (a
    // fifth of the start-up's work); nothing here takes composed text, so it is given none.
    // Programs started later get the user's own setting back.
#ifdef _WIN32
    return SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
#else
    const bool composeSet = std::getenv("XCOMPOSEFILE") != nullptr;
    if (!composeSet) setenv("XCOMPOSEFILE", "/dev/null", 1);
    const int initialised = SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    if (!composeSet) unsetenv("XCOMPOSEFILE");
    return initialised;
#endif
}

std::string& openProblem() {
    static std::string text;
    return text;
}

bool initVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");  // downscaled 2x art stays smooth
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
    const char* named = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    const bool chosen = named && *named;
    const std::string drivers = chosen ? std::string() : windowDrivers();
    if (!chosen && drivers.empty()) {
        openProblem() = "this SDL has no video driver that opens a window";
        std::fprintf(stderr, "cocos2d: no display: %s\n", openProblem().c_str());
        return false;
    }
    // A display that cannot be opened this moment (an X server that is resetting refuses the
    // first connections) is tried again for a moment before the start gives up.
    const Uint64 deadline = SDL_GetTicks64() + GLViewImpl::kDisplayPatienceMs;
    for (;;) {
        if (!chosen) SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
        const int initialised = initVideoOnce();
        if (!chosen) SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        if (initialised == 0) break;
        openProblem() = std::string("no display could be opened (") + SDL_GetError() + ")";
        if (SDL_GetTicks64() >= deadline) {
            std::fprintf(stderr, "cocos2d: %s\n", openProblem().c_str());
            return false;
        }
        SDL_Delay(200);
    }
    openProblem().clear();
    // Work queued for the main thread by another thread wakes a loop asleep in SDL_WaitEvent.
    static const Uint32 wakeEvent = SDL_RegisterEvents(1);
    if (wakeEvent != static_cast<Uint32>(-1)) {
        Scheduler::setWakeFunction([] {
            SDL_Event e{};
            e.type = wakeEvent;
            SDL_PushEvent(&e);
        });
    }
    return true;
}
}  // namespace

// --- window ----------------------------------------------------------------------------

const std::string& GLViewImpl::getOpenProblem() { return openProblem(); }

GLViewImpl* GLViewImpl::create(const std::string& viewName) {
    return createWithRect(viewName, Rect(0, 0, 960, 640));
}

GLViewImpl* GLViewImpl::createWithRect(const std::string& viewName, const Rect& rect,
                                       float frameZoomFactor, bool resizable) {
    auto* v = new GLViewImpl;
    if (!v->initWithRect(viewName, rect, frameZoomFactor, resizable)) {
        delete v;
        return nullptr;
    }
    v->autorelease();
    return v;
}

bool GLViewImpl::initWithRect(const std::string& viewName, const Rect& rect, float zoom,
                              bool resizable) {
    if (!initVideo()) return false;
    setViewName(viewName);
    const GLContextAttrs a = getGLContextAttrs();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, a.redBits);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, a.greenBits);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, a.blueBits);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, a.alphaBits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, a.depthBits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, a.stencilBits);
    // Frames here are few and cheap: SDL's software renderer draws them in a couple of
    // milliseconds without loading a GL stack (tens of MB, and slow to start). Whoever
    // wants another one names it in SDL_RENDER_DRIVER.
    if (!SDL_GetHint(SDL_HINT_RENDER_DRIVER)) {
        SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
        // ...and its frames reach the window through X shared memory, not a GL texture.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    }
    Uint32 flags = SDL_WINDOW_ALLOW_HIGHDPI;
    if (resizable) flags |= SDL_WINDOW_RESIZABLE;
    // A small screen (a Raspberry Pi's 800x480 or 1024x600 panel) gets a smaller window of the
    // same shape, inside the area the desktop's panels leave free; the design area is scaled to it.
    const Size wanted(std::round(rect.size.width * zoom), std::round(rect.size.height * zoom));
    SDL_Rect usable{};
    Size room;
    if (SDL_GetDisplayUsableBounds(0, &usable) == 0) room = Size(usable.w, usable.h);
    Size size = fitWindowSize(wanted, room);
    _window = SDL_CreateWindow(viewName.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               static_cast<int>(size.width), static_cast<int>(size.height), flags);
    if (!_window) {
        openProblem() = std::string("the window could not be created: ") + SDL_GetError();
        std::fprintf(stderr, "cocos2d: %s\n", openProblem().c_str());
        return false;
    }
    // The title bar and borders are known only once the window is up; they count too.
    int top = 0, left = 0, bottom = 0, right = 0;
    if (room.width > 0 && SDL_GetWindowBordersSize(_window, &top, &left, &bottom, &right) == 0 &&
        (top + bottom > 0 || left + right > 0)) {
        const Size framed = fitWindowSize(wanted, Size(room.width - left - right, room.height - top - bottom));
        if (framed.width < size.width || framed.height < size.height) {
            size = framed;
            SDL_SetWindowSize(_window, static_cast<int>(size.width), static_cast<int>(size.height));
            SDL_SetWindowPosition(_window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        }
    }
    _renderer = SDL_CreateRenderer(_window, -1, 0);
    if (!_renderer) _renderer = SDL_CreateRenderer(_window, -1, SDL_RENDERER_SOFTWARE);
    if (!_renderer) {
        openProblem() = std::string("no renderer for the window: ") + SDL_GetError();
        std::fprintf(stderr, "cocos2d: %s\n", openProblem().c_str());
        return false;
    }
    _backend.reset(new SdlBackend(_renderer, this));
    updateFrameSize();
    return true;
}

GLViewImpl::~GLViewImpl() {
    _backend.reset();
    if (_renderer) SDL_DestroyRenderer(_renderer);
    if (_window) SDL_DestroyWindow(_window);
}

void GLViewImpl::raiseWindow() {
    if (!_window) return;
    if (SDL_GetWindowFlags(_window) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(_window);
    SDL_RaiseWindow(_window);
}

bool GLViewImpl::setFullscreen(bool on) {
    if (!_window) return false;
    // The desktop's own mode: no video mode switch, the window just covers the screen.
    if (SDL_SetWindowFullscreen(_window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) {
        std::fprintf(stderr, "cocos2d: full screen refused: %s\n", SDL_GetError());
        return false;
    }
    _fullscreen = on;
    updateFrameSize();
    Director::getInstance()->setNeedsRedraw();
    return true;
}

void GLViewImpl::updateFrameSize() {
    int pw = 0, ph = 0, ww = 0, wh = 0;
    SDL_GetWindowSize(_window, &ww, &wh);
    if (SDL_GetRendererOutputSize(_renderer, &pw, &ph) != 0 || pw <= 0 || ph <= 0) {
        // Without the pixel size, take the window's own (no HiDPI scaling) rather than a
        // zero frame that would map every touch to infinity; keep the last good one if
        // the window says nothing either.
        std::fprintf(stderr, "cocos2d: renderer output size unknown: %s\n", SDL_GetError());
        if (ww <= 0 || wh <= 0) return;
        pw = ww;
        ph = wh;
    }
    _pixelRatio = ww > 0 ? static_cast<float>(pw) / ww : 1.f;
    setFrameSize(static_cast<float>(pw), static_cast<float>(ph));
}

RenderBackend* GLViewImpl::getRenderBackend() { return _backend.get(); }

void GLViewImpl::requestScreenshot(const std::string& path, std::function<void(bool)> done) {
    _shotPath = path;
    _shotDone = std::move(done);
    Director::getInstance()->setNeedsRedraw();
}

void GLViewImpl::swapBuffers() {
    if (!_shotPath.empty()) {
        // Read before presenting: the back buffer is undefined afterwards.
        bool ok = false;
        int w = 0, h = 0;
        if (SDL_GetRendererOutputSize(_renderer, &w, &h) != 0 || w <= 0 || h <= 0) {
            std::fprintf(stderr, "cocos2d: no screenshot, output size unknown: %s\n", SDL_GetError());
        } else if (SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGBA32)) {
            ok = SDL_RenderReadPixels(_renderer, nullptr, SDL_PIXELFORMAT_RGBA32, s->pixels, s->pitch) == 0 &&
                 IMG_SavePNG(s, _shotPath.c_str()) == 0;
            SDL_FreeSurface(s);
        }
        _shotPath.clear();
        auto done = std::move(_shotDone);
        _shotDone = nullptr;
        if (done) done(ok);
    }
    SDL_RenderPresent(_renderer);
    if (_presented) {
        auto cb = _presented;  // the callback may replace itself
        cb();
    }
}

bool GLViewImpl::waitEvents(double timeout) {
    SDL_Event e;
    int got;
    if (timeout < 0)
        got = SDL_WaitEvent(&e);
    else if (timeout == 0)
        got = SDL_PollEvent(&e);
    else
        got = SDL_WaitEventTimeout(&e, static_cast<int>(std::ceil(timeout * 1000)));
    bool any = false;
    while (got) {
        any = handle(&e) || any;
        got = SDL_PollEvent(&e);
    }
    return any;
}

namespace {
EventKeyboard::KeyCode keyCodeOf(SDL_Keycode k) {
    using K = EventKeyboard::KeyCode;
    if (k >= SDLK_a && k <= SDLK_z) return static_cast<K>(static_cast<int>(K::KEY_A) + (k - SDLK_a));
    if (k >= SDLK_0 && k <= SDLK_9) return static_cast<K>(static_cast<int>(K::KEY_0) + (k - SDLK_0));
    switch (k) {
        case SDLK_ESCAPE: return K::KEY_ESCAPE;
        case SDLK_BACKSPACE: return K::KEY_BACKSPACE;
        case SDLK_TAB: return K::KEY_TAB;
        case SDLK_RETURN: case SDLK_KP_ENTER: return K::KEY_ENTER;
        case SDLK_SPACE: return K::KEY_SPACE;
        case SDLK_DELETE: return K::KEY_DELETE;
        case SDLK_LEFT: return K::KEY_LEFT_ARROW;
        case SDLK_RIGHT: return K::KEY_RIGHT_ARROW;
        case SDLK_UP: return K::KEY_UP_ARROW;
        case SDLK_DOWN: return K::KEY_DOWN_ARROW;
        case SDLK_LSHIFT: return K::KEY_LEFT_SHIFT;
        case SDLK_RSHIFT: return K::KEY_RIGHT_SHIFT;
        case SDLK_LCTRL: return K::KEY_LEFT_CTRL;
        case SDLK_RCTRL: return K::KEY_RIGHT_CTRL;
        case SDLK_LALT: return K::KEY_LEFT_ALT;
        case SDLK_RALT: return K::KEY_RIGHT_ALT;
        case SDLK_F5: return K::KEY_F5;
        case SDLK_F11: return K::KEY_F11;
        case SDLK_HOME: return K::KEY_HOME;
        case SDLK_PLUS: case SDLK_KP_PLUS: return K::KEY_PLUS;
        case SDLK_MINUS: case SDLK_KP_MINUS: return K::KEY_MINUS;
        case SDLK_EQUALS: case SDLK_KP_EQUALS: return K::KEY_EQUAL;
        case SDLK_KP_0: return K::KEY_0;
        default: return K::KEY_NONE;
    }
}
}  // namespace

bool GLViewImpl::handle(const void* p) {
    const SDL_Event& e = *static_cast<const SDL_Event*>(p);
    Director* director = Director::getInstance();
    switch (e.type) {
        case SDL_QUIT:
            _shouldClose = true;
            return true;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    updateFrameSize();
                    director->setNeedsRedraw();
                    return true;
                case SDL_WINDOWEVENT_EXPOSED:
                    director->setNeedsRedraw();
                    return true;
                case SDL_WINDOWEVENT_MINIMIZED:
                    if (!_minimised) {
                        _minimised = true;
                        if (Application* app = Application::getInstance())
                            app->applicationDidEnterBackground();
                    }
                    return true;
                case SDL_WINDOWEVENT_RESTORED:
                case SDL_WINDOWEVENT_MAXIMIZED:
                case SDL_WINDOWEVENT_SHOWN:
                    if (_minimised) {
                        _minimised = false;
                        if (Application* app = Application::getInstance())
                            app->applicationWillEnterForeground();
                    }
                    director->setNeedsRedraw();
                    return true;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    // The pointer went elsewhere: no lift will come for anything held.
                    handleFocusLost();
                    return true;
                default:
                    return false;
            }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
        case SDL_MOUSEMOTION: {
            if ((e.type == SDL_MOUSEMOTION ? e.motion.which : e.button.which) == SDL_TOUCH_MOUSEID)
                return false;  // the finger events already carry it
            const float x = (e.type == SDL_MOUSEMOTION ? e.motion.x : e.button.x) * _pixelRatio;
            const float y = (e.type == SDL_MOUSEMOTION ? e.motion.y : e.button.y) * _pixelRatio;
            if (e.type == SDL_MOUSEBUTTONDOWN && e.button.button == SDL_BUTTON_LEFT) {
                if (isMousePressed()) return false;
                handleMouseDown(x, y);
                return true;
            }
            if (e.type == SDL_MOUSEBUTTONUP && e.button.button == SDL_BUTTON_LEFT) {
                if (!isMousePressed()) return false;
                handleMouseUp(x, y);
                return true;
            }
            if (e.type == SDL_MOUSEMOTION && isMousePressed()) {
                handleMouseMove(x, y);
                return true;
            }
            return false;
        }
        case SDL_MOUSEWHEEL: {
            if (e.wheel.which == SDL_TOUCH_MOUSEID) return false;
            int mx = 0, my = 0;
            SDL_GetMouseState(&mx, &my);
            const float flip = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1.f : 1.f;
            const Vec2 at = frameToDesign(mx * _pixelRatio, my * _pixelRatio);
            handleScroll(at, e.wheel.preciseX * flip, -e.wheel.preciseY * flip,
                         (SDL_GetModState() & KMOD_CTRL) != 0);
            return true;
        }
        case SDL_FINGERDOWN:
        case SDL_FINGERMOTION:
        case SDL_FINGERUP: {
            const long long key = static_cast<long long>(e.tfinger.fingerId);
            const float x = e.tfinger.x * _frameSize.width;
            const float y = e.tfinger.y * _frameSize.height;
            if (e.type == SDL_FINGERDOWN)
                handleFingerDown(key, x, y);
            else if (e.type == SDL_FINGERMOTION)
                handleFingerMove(key, x, y);
            else
                handleFingerUp(key, x, y);
            return true;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            const EventKeyboard::KeyCode code = keyCodeOf(e.key.keysym.sym);
            if (code == EventKeyboard::KeyCode::KEY_NONE) return false;
            const Uint16 mod = e.key.keysym.mod;
            handleKey(code, e.type == SDL_KEYDOWN, (mod & KMOD_CTRL) != 0, (mod & KMOD_SHIFT) != 0);
            return true;
        }
        case SDL_DROPTEXT:
            // Text dragged in is not a file; SDL still hands over a copy to free.
            SDL_free(e.drop.file);
            return false;
        case SDL_DROPFILE: {
            if (!e.drop.file) return false;
            const std::string path = e.drop.file;
            SDL_free(e.drop.file);
            handleDropFile(path);
            return true;
        }
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            _backend->forgetTextures();
            director->setNeedsRedraw();
            return true;
        default:
            return false;
    }
}

// --- offscreen -------------------------------------------------------------------------

OffscreenView* OffscreenView::create(int w, int h) {
    auto* v = new OffscreenView;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");
    v->_surface = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGBA32);
    if (v->_surface) v->_renderer = SDL_CreateSoftwareRenderer(v->_surface);
    if (!v->_renderer) {
        std::fprintf(stderr, "cocos2d: offscreen view failed: %s\n", SDL_GetError());
        delete v;
        return nullptr;
    }
    v->_backend.reset(new SdlBackend(v->_renderer, v));
    v->setFrameSize(static_cast<float>(w), static_cast<float>(h));
    v->autorelease();
    return v;
}

OffscreenView::~OffscreenView() {
    _backend.reset();
    if (_renderer) SDL_DestroyRenderer(_renderer);
    if (_surface) SDL_FreeSurface(_surface);
}

RenderBackend* OffscreenView::getRenderBackend() { return _backend.get(); }

Color4B OffscreenView::readPixel(int x, int y) const {
    if (!_surface || x < 0 || y < 0 || x >= _surface->w || y >= _surface->h) return Color4B();
    const int row = _surface->h - 1 - y;
    const Uint8* px = static_cast<const Uint8*>(_surface->pixels) + row * _surface->pitch + x * 4;
    return Color4B(px[0], px[1], px[2], px[3]);
}

Color4B OffscreenView::readPixelAtDesignPoint(const Vec2& p) const {
    const float x = _viewPortRect.origin.x + p.x * _scaleX;
    const float y = _viewPortRect.origin.y + p.y * _scaleY;
    return readPixel(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
}

bool OffscreenView::savePNG(const std::string& path) const {
    return _surface && IMG_SavePNG(_surface, path.c_str()) == 0;
}

}  // namespace cocos2d

namespace cocos2d {

const char* GLViewImpl::getWindowSystem() const {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!_window || !SDL_GetWindowWMInfo(_window, &info)) return "";
    switch (info.subsystem) {
    case SDL_SYSWM_X11: return "x11";
    case SDL_SYSWM_WINDOWS: return "windows";
    case SDL_SYSWM_WAYLAND: return "wayland";
    default: return "";
    }
}

std::uintptr_t GLViewImpl::getNativeWindowId() const {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!_window || !SDL_GetWindowWMInfo(_window, &info)) return 0;
#if defined(SDL_VIDEO_DRIVER_X11)
    if (info.subsystem == SDL_SYSWM_X11) return static_cast<std::uintptr_t>(info.info.x11.window);
#endif
#if defined(SDL_VIDEO_DRIVER_WINDOWS)
    if (info.subsystem == SDL_SYSWM_WINDOWS) return reinterpret_cast<std::uintptr_t>(info.info.win.window);
#endif
    return 0;
}

}  // namespace cocos2d
