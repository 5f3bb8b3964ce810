// The manager's worker on Windows: a thread of the C runtime (_beginthreadex).
#include <windows.h>
#include <process.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "TavrickCardSerialManager.h"

namespace {

unsigned __stdcall workerMain(void* arg) {
    std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(arg));
    (*run)();
    return 1;
}

}  // namespace

bool TavrickCardSerialManager::launchWorker(std::function<void()> run, std::string& error) {
    auto* owned = new (std::nothrow) std::function<void()>(std::move(run));
    if (!owned) {
        error = "out of memory";
        return false;
    }
    const uintptr_t handle = _beginthreadex(nullptr, 0, &workerMain, owned, 0, nullptr);
    if (handle == 0) {
        error = std::strerror(errno);
        delete owned;
        return false;
    }
    workerHandle_ = reinterpret_cast<void*>(handle);
    return true;
}

void TavrickCardSerialManager::joinWorker() {
    if (!workerHandle_) return;
    HANDLE handle = workerHandle_;
    // The polls come here only after the worker has cleared its flag: no wait on the serial line.
    // The handle is ours to close whatever the wait says.
    WaitForMultipleObjects(1, &handle, TRUE, INFINITE);
    CloseHandle(handle);
    workerHandle_ = nullptr;
}

void TavrickCardSerialManager::abandonWorker() {
    if (!workerHandle_) return;
    CloseHandle(workerHandle_);
    workerHandle_ = nullptr;
}
