#include "TavrickCardSerialManager.h"

#include <exception>
#include <new>
#include <system_error>

#include "CCDirector.h"
#include "CCScheduler.h"

#ifdef _WIN32
#include <windows.h>
#include <process.h>

#include <cerrno>
#include <cstring>
#include <memory>
#endif

using tavrick::PortInfo;
using tavrick::SendOutcome;
using tavrick::SerialError;
using tavrick::SerialLine;

namespace {

TavrickCardSerialManager* s_instance = nullptr;

cocos2d::Scheduler* scheduler() { return cocos2d::Director::getInstance()->getScheduler(); }

}  // namespace

TavrickCardSerialManager* TavrickCardSerialManager::getInstance() {
    if (!s_instance) {
        s_instance = new TavrickCardSerialManager();
        s_instance->init();
    }
    return s_instance;
}

TavrickCardSerialManager::~TavrickCardSerialManager() {
    joinWorker();
    ports.clear();
    sendQueue.clear();
}

bool TavrickCardSerialManager::init() {
    selectedPort = 0;
    ports.clear();
    return true;
}

void TavrickCardSerialManager::setScanFunction(ScanFunction scan) {
    scanFunction_ = std::move(scan);
}

bool TavrickCardSerialManager::startWorker(Worker kind, std::function<void()> body,
                                           const Callback& callback) {
    std::atomic<bool>& running = kind == Worker::Scan ? scanRunning_ : sendRunning_;
    workerOutcome_ = {};
    running.store(true, std::memory_order_release);
    std::string error;
    const bool started = launchWorker(
        [body = std::move(body), &running] {
            body();
            running.store(false, std::memory_order_release);  // last touch of shared data
        },
        error);
    if (!started) {
        running.store(false);
        lastError_ = kind == Worker::Scan ? SerialError::ScanFailed : SerialError::WriteFailed;
        lastErrorDetail_ = "cannot start worker: " + error;
        return false;
    }
    worker_ = kind;
    completionCallback_ = callback;
    if (kind == Worker::Scan) {
        scheduler()->schedule(CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollScan), this, 0.1f,
                              false);
    } else {
        scheduler()->schedule(CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollSend), this, 0.1f,
                              false);
    }
    return true;
}

bool TavrickCardSerialManager::scanPorts(const Callback& callback) {
    if (isBusy()) return false;
    scanResult_.clear();
    // The worker gets its own copy of the scan, so a later setScanFunction cannot race it.
    ScanFunction scan = scanFunction_ ? scanFunction_ : ScanFunction(&tavrick::listSerialPorts);
    return startWorker(
        Worker::Scan,
        [this, scan] {
            try {
                scanResult_ = tavrick::usablePorts(scan());
            } catch (const std::exception& e) {
                scanResult_.clear();
                workerOutcome_ = {SerialError::ScanFailed, e.what()};
            } catch (...) {
                scanResult_.clear();
                workerOutcome_ = {SerialError::ScanFailed, "port scan failed"};
            }
        },
        callback);
}

bool TavrickCardSerialManager::sendQueued(const Callback& callback) {
    if (isBusy()) return false;
    if (ports.empty() || selectedPort < 0 || selectedPort >= ports.size()) {
        lastError_ = SerialError::NoPort;
        lastErrorDetail_ = "no serial port chosen";
        return false;
    }
    // Copies, taken here on the main thread: the writer touches no engine object, and the queue
    // may be rebuilt while the send is under way without harm.
    std::string portName = ports.at(selectedPort)->portName;
    std::vector<SerialLine> lines;
    lines.reserve(static_cast<std::size_t>(sendQueue.size()));
    for (SendData* data : sendQueue) lines.push_back({data->text, data->delayMs});

    linesWritten_.store(0);
    lineCount_ = static_cast<int>(lines.size());
    tavrick::WriteOptions options = writeOptions_;
    return startWorker(
        Worker::Send,
        [this, portName = std::move(portName), lines = std::move(lines), options] {
            try {
                workerOutcome_ =
                    tavrick::writeSerialLines(portName, lines, linesWritten_, options);
            } catch (const std::exception& e) {
                workerOutcome_ = {SerialError::WriteFailed, e.what()};
            } catch (...) {
                workerOutcome_ = {SerialError::WriteFailed, "send failed"};
            }
        },
        callback);
}

void TavrickCardSerialManager::pollScan(float) {
    if (worker_ != Worker::Scan || scanRunning_.load(std::memory_order_acquire)) return;
    joinWorker();
    scheduler()->unscheduleAllForTarget(this);
    worker_ = Worker::None;

    ports.clear();
    for (const PortInfo& info : scanResult_) {
        ports.pushBack(TavrickCardSerialData::create(info.portName, info.description));
    }
    scanResult_.clear();
    // The choice survives a rescan by position; if that position is gone, the first port.
    if (selectedPort < 0 || selectedPort >= ports.size()) selectedPort = 0;
    finish();
}

void TavrickCardSerialManager::pollSend(float) {
    if (worker_ != Worker::Send || sendRunning_.load(std::memory_order_acquire)) return;
    joinWorker();
    scheduler()->unscheduleAllForTarget(this);
    worker_ = Worker::None;
    finish();
}

void TavrickCardSerialManager::finish() {
    const bool ok = workerOutcome_.ok();
    lastError_ = workerOutcome_.error;
    lastErrorDetail_ = workerOutcome_.detail;
    // Moved out first: the callback may well start the next worker and store a new one.
    Callback callback = std::move(completionCallback_);
    completionCallback_ = nullptr;
    if (callback) callback(ok);
}

void TavrickCardSerialManager::resetForTests() {
    joinWorker();
    scheduler()->unscheduleAllForTarget(this);
    worker_ = Worker::None;
    scanRunning_ = false;
    sendRunning_ = false;
    completionCallback_ = nullptr;
    scanFunction_ = nullptr;
    writeOptions_ = {};
    scanResult_.clear();
    workerOutcome_ = {};
    linesWritten_ = 0;
    lineCount_ = 0;
    lastError_ = SerialError::None;
    lastErrorDetail_.clear();
    ports.clear();
    sendQueue.clear();
    selectedPort = 0;
}

#ifdef _WIN32

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
    if (WaitForMultipleObjects(1, &handle, TRUE, INFINITE) != WAIT_FAILED) CloseHandle(handle);
    workerHandle_ = nullptr;
}

#else

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

#endif
