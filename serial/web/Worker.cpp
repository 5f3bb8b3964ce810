// The manager's worker in the page: no threads. The work starts on the main thread; a scan
// ends there at once, a send goes on through the browser's promises (SerialWriter.cpp) and
// says when it has ended, which the manager's poll picks up as from a thread.
#include "TavrickCardSerialManager.h"
#include "WebSerial.h"

bool TavrickCardSerialManager::launchWorker(std::function<void()> run, std::string&) {
    run();
    return true;
}

// Only reached with a worker that has ended, or one the manager no longer waits for (the
// answer after a send, cut short by the next send or a scan).
void TavrickCardSerialManager::joinWorker() { tavrick::webSerialDetach(); }

void TavrickCardSerialManager::abandonWorker() { tavrick::webSerialDetach(); }
