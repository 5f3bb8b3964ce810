#pragma once
// The view the Director draws into: design resolution and its mapping to the frame,
// touches in frame pixels turned into design points, and the scissor state.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "CCEvent.h"
#include "CCGeometry.h"
#include "CCRef.h"

namespace cocos2d {

class RenderBackend;
class Touch;

enum class ResolutionPolicy { EXACT_FIT, NO_BORDER, SHOW_ALL, FIXED_HEIGHT, FIXED_WIDTH, UNKNOWN };

struct GLContextAttrs {
    int redBits = 8, greenBits = 8, blueBits = 8, alphaBits = 8, depthBits = 24, stencilBits = 8;
    int multisamplingCount = 0;
};

class GLView : public Ref {
public:
    ~GLView() override;
    static void setGLContextAttrs(GLContextAttrs& attrs);
    static GLContextAttrs getGLContextAttrs();
    // The window size to open for a wanted one on a screen whose free area is `room`: the
    // wanted size where it fits, else the largest of the same shape that does (whole pixels).
    // A room of no size (unknown) leaves the wanted size.
    static Size fitWindowSize(const Size& wanted, const Size& room);

    virtual void end() = 0;
    virtual bool isOpenGLReady() = 0;
    virtual void swapBuffers() = 0;
    virtual bool windowShouldClose() { return false; }
    // Handles pending window events, waiting up to timeoutSeconds (negative: for ever)
    // for the first one. Returns true when any event was handled.
    virtual bool waitEvents(double timeoutSeconds) { (void)timeoutSeconds; return false; }
    void pollEvents() { waitEvents(0); }
    virtual RenderBackend* getRenderBackend() = 0;
    // The window as the window system knows it, so that a desktop dialog can be opened above
    // it: "x11" with the X window id, "windows" with the HWND, "wayland" (no id), or "" with 0
    // when there is no window.
    virtual const char* getWindowSystem() const { return ""; }
    virtual std::uintptr_t getNativeWindowId() const { return 0; }

    virtual void setFrameSize(float width, float height);
    // Fills the desktop's screen (true) or goes back to a window; false when the view cannot.
    // The design area stays shown whole: the new frame size letterboxes it again.
    virtual bool setFullscreen(bool on) {
        _fullscreen = on;
        return true;
    }
    bool isFullscreen() const { return _fullscreen; }
    Size getFrameSize() const { return _frameSize; }
    virtual void setDesignResolutionSize(float width, float height, ResolutionPolicy policy);
    const Size& getDesignResolutionSize() const { return _designResolutionSize; }
    ResolutionPolicy getResolutionPolicy() const { return _resolutionPolicy; }
    Size getVisibleSize() const;
    Vec2 getVisibleOrigin() const;
    // Frame pixels per design point.
    float getScaleX() const { return _scaleX; }
    float getScaleY() const { return _scaleY; }
    // Where the design area lies in the frame, in pixels from the lower left.
    const Rect& getViewPortRect() const { return _viewPortRect; }
    // Frame pixel (origin top left, y down, as window systems give them) to design point.
    Vec2 frameToDesign(float px, float py) const;

    bool isScissorEnabled() const { return _scissorEnabled; }
    Rect getScissorRect() const { return _scissorRect; }
    void setScissorInPoints(float x, float y, float w, float h);
    // The scissor test itself (what glEnable/glDisable of GL_SCISSOR_TEST are elsewhere).
    void enableScissorTest();
    void disableScissorTest();

    // Touches from the window system, in frame pixels.
    void handleTouchesBegin(int num, intptr_t ids[], float xs[], float ys[]);
    void handleTouchesMove(int num, intptr_t ids[], float xs[], float ys[]);
    void handleTouchesEnd(int num, intptr_t ids[], float xs[], float ys[]);
    void handleTouchesCancel(int num, intptr_t ids[], float xs[], float ys[]);
    // The same in design points, for tests and the harness.
    void touchesInDesign(int code, const std::vector<std::pair<intptr_t, Vec2>>& touches);
    size_t activeTouchCount() const { return _touches.size(); }
    // Ends every touch still down with a cancel (the window lost the pointer).
    void cancelAllTouches();
    // The window system's pointers, in frame pixels: the left mouse button is touch 0,
    // fingers take the lowest free number from 1. A finger that goes down again without
    // its lift having come ends its earlier touch first (cancelled).
    void handleMouseDown(float px, float py);
    void handleMouseMove(float px, float py);
    void handleMouseUp(float px, float py);
    void handleFingerDown(long long finger, float px, float py);
    void handleFingerMove(long long finger, float px, float py);
    void handleFingerUp(long long finger, float px, float py);
    // The window lost the focus: no lift will come for anything held, mouse or finger.
    void handleFocusLost();
    bool isMousePressed() const { return _mousePressed; }
    size_t fingerCount() const { return _fingers.size(); }
    // A wheel notch (y > 0: content moves up, as a wheel turned towards the user) at a
    // design point.
    void handleScroll(const Vec2& designPoint, float scrollX, float scrollY, bool controlDown);
    // A key went down or up; dispatched to the keyboard listeners.
    void handleKey(EventKeyboard::KeyCode code, bool pressed, bool controlDown, bool shiftDown);
    // A file dropped onto the window: the custom event EVENT_DROP_FILE, its user data a
    // pointer to the path (a std::string, valid during the dispatch only).
    static const char* const EVENT_DROP_FILE;
    void handleDropFile(const std::string& path);

    void setViewName(const std::string& n) { _viewName = n; }
    const std::string& getViewName() const { return _viewName; }

protected:
    GLView() = default;
    void updateDesignResolution();
    void applyScissor();
    void dispatchTouches(int code, const std::vector<std::pair<intptr_t, Vec2>>& touches);

    Size _frameSize;
    bool _fullscreen = false;
    Size _designResolutionSize;
    ResolutionPolicy _resolutionPolicy = ResolutionPolicy::UNKNOWN;
    Rect _viewPortRect;
    float _scaleX = 1, _scaleY = 1;
    bool _scissorEnabled = false;
    Rect _scissorRect;
    std::map<intptr_t, Touch*> _touches;
    bool _mousePressed = false;
    std::map<long long, intptr_t> _fingers;
    std::string _viewName;
    static GLContextAttrs _glContextAttrs;
};

}  // namespace cocos2d
