// One program per field on Windows: a named mutex (one per folder, in the user's session)
// says who holds the field, and a message-only window of that copy takes a later start's file
// as WM_COPYDATA. SendMessageTimeout gives up on a copy whose window no longer answers.
#include "SingleInstance.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "files.h"  // widen, narrow

namespace tavrick {

namespace {

// The COPYDATA this program sends ("TCF1"): 8 bytes, GetTickCount64() when the later start
// stops waiting (the same clock in every process), then the file as UTF-8. A message taken
// after that (the copy was hung, and the later start went on alone) is dropped, not opened.
constexpr ULONG_PTR kOpenFile = 0x54434631;
constexpr ULONGLONG kMarginMs = 150;

using Clock = std::chrono::steady_clock;

std::wstring mutexName(const std::string& key) { return L"Local\\" + widen(key); }
std::wstring className(const std::string& key) { return widen(key) + L"-instance"; }

}  // namespace

struct SingleInstance::Impl {
    HANDLE mutex = nullptr;
    HWND window = nullptr;
    std::wstring windowClass;
    std::function<void(const std::string&)> open;
    std::function<void(std::function<void()>)> post;

    ~Impl() {
        if (window) DestroyWindow(window);
        if (!windowClass.empty()) UnregisterClassW(windowClass.c_str(), GetModuleHandleW(nullptr));
        if (mutex) CloseHandle(mutex);
    }

    // On the main thread, while it takes its messages: a hung one never gets here, and the
    // later start's SendMessageTimeout gives up.
    static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_COPYDATA) {
            auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
            if (!self || !data || data->dwData != kOpenFile || !self->open || !self->post) return FALSE;
            if (!data->lpData || data->cbData < sizeof(ULONGLONG)) return FALSE;
            ULONGLONG until = 0;
            std::memcpy(&until, data->lpData, sizeof until);
            if (GetTickCount64() + kMarginMs >= until) return FALSE;
            const std::string file(static_cast<const char*>(data->lpData) + sizeof until,
                                   data->cbData - sizeof until);
            auto open = self->open;
            // Opened at the next update, not inside the window system's message dispatch.
            self->post([open, file] { open(file); });
            return TRUE;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
};

SingleInstance::SingleInstance() : impl_(new Impl) {}
SingleInstance::~SingleInstance() = default;

std::string SingleInstance::keyFor(const std::string& folder) {
    // One name for one folder however it is written: full path, one case.
    std::wstring full(MAX_PATH * 4, L'\0');
    const DWORD n = GetFullPathNameW(widen(folder).c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    full.resize(n > 0 && n < full.size() ? n : 0);
    if (full.empty()) full = widen(folder);
    CharLowerBuffW(&full[0], static_cast<DWORD>(full.size()));
    unsigned long long h = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : narrow(full)) h = (h ^ c) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", h);
    return std::string("tavrick-cards-") + hex;
}

SingleInstance::Role SingleInstance::claim(const std::string& folder, const std::string& file,
                                           std::chrono::milliseconds patience) {
    Impl& m = *impl_;
    detail_.clear();
    const std::string key = keyFor(folder);
    m.windowClass.clear();
    const Clock::time_point deadline = Clock::now() + patience;
    for (;;) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName(key).c_str());
        if (!mutex) {
            detail_ = "no lock for the field (Windows error " + std::to_string(GetLastError()) +
                      "); a second copy is not kept from this field";
            return Role::Unguarded;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            m.mutex = mutex;  // held until the process ends
            m.windowClass = className(key);
            return Role::First;
        }
        CloseHandle(mutex);
        HWND other = FindWindowExW(HWND_MESSAGE, nullptr, className(key).c_str(), nullptr);
        if (other) {
            DWORD pid = 0;
            GetWindowThreadProcessId(other, &pid);
            // The copy that holds the field may come to the front: this start was the user's.
            if (pid) AllowSetForegroundWindow(pid);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(left > 0 ? left : 0);
            std::string payload(sizeof until, '\0');
            std::memcpy(&payload[0], &until, sizeof until);
            payload += file;
            COPYDATASTRUCT data{};
            data.dwData = kOpenFile;
            data.cbData = static_cast<DWORD>(payload.size());
            data.lpData = &payload[0];
            DWORD_PTR answer = 0;
            const LRESULT sent = SendMessageTimeoutW(other, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                                     SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                                     static_cast<UINT>(left > 0 ? left : 1), &answer);
            if (sent && answer == TRUE) return Role::HandedOver;
            detail_ = "the copy of the program that has this field open did not answer within " +
                      std::to_string(patience.count() / 1000) + " s";
            return Role::NoAnswer;
        }
        // Its window is not made yet (it is starting), or it has just ended: look again.
        if (Clock::now() >= deadline) {
            detail_ = "the copy of the program that has this field open cannot be reached";
            return Role::NoAnswer;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void SingleInstance::listen(std::function<void(const std::string& file)> open,
                            std::function<void(std::function<void()>)> post) {
    Impl& m = *impl_;
    if (!m.mutex || m.window || m.windowClass.empty()) return;
    m.open = std::move(open);
    m.post = std::move(post);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Impl::proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = m.windowClass.c_str();
    if (!RegisterClassExW(&wc)) {
        m.windowClass.clear();
        return;
    }
    m.window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (m.window) SetWindowLongPtrW(m.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m));
}

}  // namespace tavrick
