// Device events on Windows: a message-only window on its own thread, registered for COM port
// interface arrivals and removals. The thread sleeps in GetMessage, so idle costs nothing.
#include <windows.h>
#include <dbt.h>

#include <thread>

#include "SerialLink.h"

namespace tavrick {
namespace {

const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0,
                                {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
const wchar_t* kClassName = L"TavrickPortWatch";

LRESULT CALLBACK watchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        auto* changed = reinterpret_cast<std::function<void()>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (changed && *changed) (*changed)();
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

struct PortWatch::Impl {
    std::function<void()> changed;
    std::thread thread;
    DWORD threadId = 0;
};

bool PortWatch::start(std::function<void()> changed, std::string& error) {
    stop();
    auto* impl = new Impl;
    impl->changed = std::move(changed);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ready) {
        error = "cannot create an event: Windows error " + std::to_string(GetLastError());
        delete impl;
        return false;
    }
    // What the thread says before it sets `ready`: start() reads it only after the wait, and
    // the thread touches it only before the set. After that the thread keeps to its own
    // copies, since start() may have returned and its frame be gone.
    struct Started {
        bool ok = false;
        std::string error;
    } started;
    try {
        impl->thread = std::thread([impl, ready, &started] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = watchProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = kClassName;
            RegisterClassW(&wc);  // fails harmlessly when a previous watch registered it
            HWND window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          wc.hInstance, nullptr);
            HDEVNOTIFY note = nullptr;
            if (window) {
                SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&impl->changed));
                DEV_BROADCAST_DEVICEINTERFACE_W filter{};
                filter.dbcc_size = sizeof filter;
                filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
                filter.dbcc_classguid = kComPortInterface;
                note = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
            }
            impl->threadId = GetCurrentThreadId();
            const bool watching = window && note;
            started.ok = watching;
            if (!watching)
                started.error = "device notifications refused: Windows error " + std::to_string(GetLastError());
            SetEvent(ready);  // the last touch of `started` and of `ready`
            if (watching) {
                MSG msg;
                while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
            }
            if (note) UnregisterDeviceNotification(note);
            if (window) DestroyWindow(window);
        });
    } catch (const std::exception& e) {
        CloseHandle(ready);
        error = e.what();
        delete impl;
        return false;
    }
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    if (!started.ok) {
        error = started.error;
        impl->thread.join();
        delete impl;
        return false;
    }
    impl_ = impl;
    return true;
}

// A window's device notices do not break the way a socket does: nothing to try here.
void PortWatch::breakForTests(bool) {}

void PortWatch::stop() {
    if (!impl_) return;
    PostThreadMessageW(impl_->threadId, WM_QUIT, 0, 0);
    if (impl_->thread.joinable()) impl_->thread.join();
    delete impl_;
    impl_ = nullptr;
}

}  // namespace tavrick
