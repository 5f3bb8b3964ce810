// The manager's worker on a system with threads (std::thread).
#include <system_error>

#include "TavrickCardSerialManager.h"

bool TavrickCardSerialManager::launchWorker(std::function<void()> run, std::string& error) {
    try {
        workerThread_ = std::thread(std::move(run));
        return true;
    } catch (const std::system_error& e) {
        error = e.what();
        return false;
    }
}

void TavrickCardSerialManager::joinWorker() {
    if (workerThread_.joinable()) workerThread_.join();
}

void TavrickCardSerialManager::abandonWorker() {
    if (workerThread_.joinable()) workerThread_.detach();
}
