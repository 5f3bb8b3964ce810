#pragma once
// The two views: a resizable SDL window, and an offscreen surface drawn by SDL's
// software renderer whose pixels can be read back (tests, benchmarks, screenshots).
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "CCGLView.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Surface;

namespace cocos2d {

class SdlBackend;

class GLViewImpl : public GLView {
public:
    bool setFullscreen(bool on) override;
    static GLViewImpl* create(const std::string& viewName);
    static GLViewImpl* createWithRect(const std::string& viewName, const Rect& rect,
                                      float frameZoomFactor = 1.0f, bool resizable = true);
    ~GLViewImpl() override;

    void end() override { _shouldClose = true; }
    bool isOpenGLReady() override { return _renderer != nullptr; }
    void swapBuffers() override;
    bool windowShouldClose() override { return _shouldClose; }
    bool waitEvents(double timeoutSeconds) override;
    RenderBackend* getRenderBackend() override;
    SDL_Window* getWindow() const { return _window; }
    const char* getWindowSystem() const override;
    std::uintptr_t getNativeWindowId() const override;
    // Saves the next frame drawn as a PNG, then calls done with whether that worked.
    void requestScreenshot(const std::string& path, std::function<void(bool)> done);
    // Called after every frame has been presented (benchmarks time the first one).
    void setPresentedCallback(std::function<void()> cb) { _presented = std::move(cb); }

    // Brings the window to the front (restored if it was minimised), as far as the desktop lets it.
    void raiseWindow();

    // How long a display that cannot be opened is tried again before create gives up. Unless
    // SDL_VIDEODRIVER names one, only video drivers that show a window are used.
    static constexpr unsigned kDisplayPatienceMs = 2000;
    // Why the last create returned null ("" after one that worked).
    static const std::string& getOpenProblem();

private:
    GLViewImpl() = default;
    std::string _shotPath;
    std::function<void(bool)> _shotDone;
    std::function<void()> _presented;
    bool initWithRect(const std::string& viewName, const Rect& rect, float zoom, bool resizable);
    bool handle(const void* sdlEvent);
    void updateFrameSize();
    SDL_Window* _window = nullptr;
    SDL_Renderer* _renderer = nullptr;
    std::unique_ptr<SdlBackend> _backend;
    bool _shouldClose = false;
    bool _minimised = false;
    float _pixelRatio = 1;
};

class OffscreenView : public GLView {
public:
    static OffscreenView* create(int widthPixels, int heightPixels);
    ~OffscreenView() override;
    void end() override { _ended = true; }
    bool isOpenGLReady() override { return _renderer != nullptr; }
    void swapBuffers() override {}
    bool windowShouldClose() override { return _ended; }
    RenderBackend* getRenderBackend() override;
    // Pixel at frame pixel (x, y), origin at the lower left.
    Color4B readPixel(int x, int y) const;
    // Pixel under a design point.
    Color4B readPixelAtDesignPoint(const Vec2& p) const;
    bool savePNG(const std::string& path) const;
    SDL_Surface* getSurface() const { return _surface; }

private:
    OffscreenView() = default;
    SDL_Surface* _surface = nullptr;
    SDL_Renderer* _renderer = nullptr;
    std::unique_ptr<SdlBackend> _backend;
    bool _ended = false;
};

}  // namespace cocos2d
