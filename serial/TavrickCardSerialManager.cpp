#include "TavrickCardSerialManager.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "CCDirector.h"
#include "CCScheduler.h"


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
    watch_.stop();
    stop_.stop();
    joinWorker();
    ports.clear();
    sendQueue.clear();
}

bool TavrickCardSerialManager::init() {
    selectedPort = -1;
    ports.clear();
    return true;
}

void TavrickCardSerialManager::setScanFunction(ScanFunction scan) {
    scanFunction_ = std::move(scan);
}

bool TavrickCardSerialManager::startWorker(Worker kind, WorkerBody body, const Callback& callback) {
    endListening();
    std::atomic<bool>& running = kind == Worker::Scan ? scanRunning_ : sendRunning_;
    workerOutcome_ = {};
    running.store(true, std::memory_order_release);
    std::string error;
    const bool refused = failNextLaunch_;
    failNextLaunch_ = false;
    const bool started = !refused && launchWorker(
        [body = std::move(body), &running] {
            // Last touch of shared data; on the desktop the body calls it as it returns.
            body([&running] { running.store(false, std::memory_order_release); });
        },
        error);
    if (refused) error = "refused";
    if (!started) {
        running.store(false);
        lastError_ = kind == Worker::Scan ? SerialError::ScanFailed : SerialError::WriteFailed;
        lastErrorDetail_ = "cannot start worker: " + error;
        return false;
    }
    worker_ = kind;
    completionCallback_ = callback;
    completionOwner_ = nullptr;
    if (kind == Worker::Scan) {
        scheduler()->schedule(CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollScan), this, 0.1f,
                              false);
    } else {
        scheduler()->schedule(CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollSend), this, 0.1f,
                              false);
    }
    return true;
}

bool TavrickCardSerialManager::scanPorts(const Callback& callback, const void* owner) {
    if (isBusy()) return false;
    rescanPending_ = false;
    scheduler()->unschedule("rescan", this);
    scanResult_.clear();
    // The worker gets its own copy of the scan, so a later setScanFunction cannot race it.
    ScanFunction scan = scanFunction_ ? scanFunction_ : ScanFunction(&tavrick::listSerialPorts);
    const bool started = startWorker(
        Worker::Scan,
        [this, scan](const std::function<void()>& finished) {
            try {
                scanResult_ = tavrick::usablePorts(scan());
            } catch (const std::exception& e) {
                scanResult_.clear();
                workerOutcome_ = {SerialError::ScanFailed, e.what()};
            } catch (...) {
                scanResult_.clear();
                workerOutcome_ = {SerialError::ScanFailed, "port scan failed"};
            }
            finished();
        },
        callback);
    if (!started) {
        // Nobody would hear of this scan's end otherwise: the screen would search for ever.
        for (auto& l : std::vector<std::pair<const void*, Listener>>(listeners_))
            if (l.second.scanEnded) l.second.scanEnded(false);
        return false;
    }
    completionOwner_ = owner;
    for (auto& l : std::vector<std::pair<const void*, Listener>>(listeners_))
        if (l.second.scanStarted) l.second.scanStarted();
    return true;
}

bool TavrickCardSerialManager::sendQueued(const Callback& callback, const void* owner) {
    if (isBusy()) return false;
    if (!hasChosenPort()) {
        lastError_ = SerialError::NoPort;
        lastErrorDetail_ = "no serial port chosen";
        return false;
    }
    // Copies, taken here on the main thread: the writer touches no engine object, and the queue
    // may be rebuilt while the send is under way without harm.
    std::string portName = ports.at(selectedPort)->portName;
    std::vector<SerialLine> lines;
    lines.reserve(static_cast<std::size_t>(sendQueue.size()));
    for (SendData* data : sendQueue) lines.push_back({data->text, data->delayMs, data->closing});

    // The answer of an earlier send is over before this one is heard.
    endListening();
    replies_.clear();
    linesDone_.store(false);
    linesWritten_.store(0);
    lineCount_ = static_cast<int>(lines.size());
    tavrick::WriteOptions options = writeOptions_;
    stop_.reset();
    const bool started = startWorker(
        Worker::Send,
        [this, portName = std::move(portName), lines = std::move(lines), options](
            const std::function<void()>& finished) {
            // Once linesDone_ is set the outcome belongs to the main thread: not written again.
            auto sent = [this](const SendOutcome& outcome) {
                workerOutcome_ = outcome;
                linesDone_.store(true, std::memory_order_release);
            };
            auto ended = [this, finished](const SendOutcome& outcome) {
                if (!linesDone_.load(std::memory_order_relaxed)) workerOutcome_ = outcome;
                finished();
            };
            // The outcome has gone to `ended` already (in the page, after this has returned).
            auto reported = std::make_shared<bool>(false);
            try {
                tavrick::sendSerialLines(portName, lines, linesWritten_, options, &stop_, &replies_, sent,
                                         [reported, ended](const SendOutcome& outcome) {
                                             *reported = true;
                                             ended(outcome);
                                         });
            } catch (const std::exception& e) {
                if (!*reported) ended({SerialError::WriteFailed, e.what()});
            } catch (...) {
                if (!*reported) ended({SerialError::WriteFailed, "send failed"});
            }
        },
        callback);
    if (started) completionOwner_ = owner;
    return started;
}

void TavrickCardSerialManager::stopSend() {
    if (isSending()) stop_.stop();
}

void TavrickCardSerialManager::shutdown(std::chrono::milliseconds patience) {
    watch_.stop();
    listeners_.clear();
    completionCallback_ = nullptr;
    completionOwner_ = nullptr;
    stop_.stop();
    if (worker_ != Worker::None) {
        const std::atomic<bool>& running = worker_ == Worker::Scan ? scanRunning_ : sendRunning_;
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (running.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (running.load(std::memory_order_acquire))
            abandonWorker();
        else
            joinWorker();
    }
    scheduler()->unscheduleAllForTarget(this);
    worker_ = Worker::None;
    rescanPending_ = false;
}

void TavrickCardSerialManager::workerGone() {
    joinWorker();
    scheduler()->unscheduleAllForTarget(this);
    worker_ = Worker::None;
}

void TavrickCardSerialManager::pollScan(float) {
    if (worker_ != Worker::Scan || scanRunning_.load(std::memory_order_acquire)) return;
    workerGone();

    publishPorts(std::move(scanResult_));
    scanResult_.clear();
    finish();
    for (auto& l : std::vector<std::pair<const void*, Listener>>(listeners_))
        if (l.second.scanEnded) l.second.scanEnded(lastError_ == SerialError::None);
    if (rescanPending_ && !isBusy()) rescanNow(0);
}

int TavrickCardSerialManager::indexOf(const std::string& name) const {
    if (name.empty()) return -1;
    for (ssize_t i = 0; i < ports.size(); ++i)
        if (ports.at(i)->portName == name) return static_cast<int>(i);
    return -1;
}

std::string TavrickCardSerialManager::getSelectedPortName() const {
    if (selectedPort < 0 || selectedPort >= ports.size()) return {};
    return ports.at(selectedPort)->portName;
}

void TavrickCardSerialManager::publishPorts(std::vector<PortInfo> found) {
    tavrick::orderPorts(found);
    const std::string selectedName = getSelectedPortName();
    std::vector<std::string> before;
    for (TavrickCardSerialData* p : ports) before.push_back(p->portName);
    ports.clear();
    for (const PortInfo& info : found) {
        if (TavrickCardSerialData* data = TavrickCardSerialData::create(info.portName, info.description)) {
            data->kind = info.kind;
            ports.pushBack(data);
        }
    }
    // A USB port that was not there at the last scan: the board just plugged in.
    int plugged = -1;
    if (scannedOnce_) {
        for (std::size_t i = 0; i < found.size() && plugged < 0; ++i) {
            if (found[i].kind != tavrick::PortKind::Usb) continue;
            bool known = false;
            for (const std::string& name : before) known = known || name == found[i].portName;
            if (!known) plugged = indexOf(found[i].portName);
        }
    }
    scannedOnce_ = true;
    int chosen = indexOf(preferredName_);
    if (chosen < 0) chosen = plugged;
    if (chosen < 0) {
        chosen = indexOf(selectedName);
        if (chosen >= 0 && !tavrick::mayBeDefault(ports.at(chosen)->kind)) chosen = -1;
    }
    for (ssize_t i = 0; chosen < 0 && i < ports.size(); ++i)
        if (tavrick::mayBeDefault(ports.at(i)->kind)) chosen = static_cast<int>(i);
    selectedPort = chosen;
}

void TavrickCardSerialManager::choosePort(int index) {
    if (index < 0 || index >= ports.size()) return;
    selectedPort = index;
    preferredName_ = ports.at(index)->portName;
}

void TavrickCardSerialManager::setListener(const void* owner, Listener listener) {
    for (auto& l : listeners_) {
        if (l.first == owner) {
            l.second = std::move(listener);
            return;
        }
    }
    listeners_.emplace_back(owner, std::move(listener));
}

void TavrickCardSerialManager::forgetCallbacksOf(const void* owner) {
    listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                    [owner](const auto& l) { return l.first == owner; }),
                     listeners_.end());
    if (owner && completionOwner_ == owner) {
        completionCallback_ = nullptr;
        completionOwner_ = nullptr;
    }
}

void TavrickCardSerialManager::devicesChanged() {
    rescanPending_ = true;
    if (worker_ != Worker::None) return;  // the end of the running worker starts it
    // A plug makes several events in a row; they settle into one scan.
    scheduler()->schedule([this](float dt) { rescanNow(dt); }, this, 0.3f, false, "rescan");
}

void TavrickCardSerialManager::rescanNow(float) {
    scheduler()->unschedule("rescan", this);
    if (!rescanPending_) return;
    if (worker_ != Worker::None) return;
    scanPorts(nullptr);
}

bool TavrickCardSerialManager::startWatching() {
    if (watch_.running()) return true;
    std::string error;
    // The watch's thread only queues work for the main thread, which the scheduler wakes for.
    const bool ok = watch_.start(
        [] {
            cocos2d::Director::getInstance()->getScheduler()->performFunctionInCocosThread(
                [] { TavrickCardSerialManager::getInstance()->devicesChanged(); });
        },
        error);
    if (!ok) {
        lastErrorDetail_ = "hot-plug watch: " + error;
    }
    return ok;
}

void TavrickCardSerialManager::stopWatching() { watch_.stop(); }

void TavrickCardSerialManager::pollSend(float) {
    if (worker_ != Worker::Send) return;
    if (sendRunning_.load(std::memory_order_acquire)) {
        if (!linesDone_.load(std::memory_order_acquire)) return;
        // Every line is out: the send has ended for everyone, and the writer hears the board
        // a moment longer. State first: the callback may well start the next worker.
        scheduler()->unschedule(CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollSend), this);
        worker_ = Worker::Listen;
        scheduler()->schedule(CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollListen), this, 0.1f,
                              false);
        finish();
        return;
    }
    workerGone();
    const bool ok = workerOutcome_.ok();
    finish();
    if (ok && linesDone_.load(std::memory_order_acquire)) announceAnswer();
    // A device event during the send: its rescan runs now, unless the callback sent again.
    if (rescanPending_ && worker_ == Worker::None) rescanNow(0);
}

void TavrickCardSerialManager::pollListen(float) {
    if (worker_ != Worker::Listen || sendRunning_.load(std::memory_order_acquire)) return;
    workerGone();
    announceAnswer();
    if (rescanPending_ && worker_ == Worker::None) rescanNow(0);
}

void TavrickCardSerialManager::endListening() {
    if (worker_ != Worker::Listen) return;
    // The writer looks at the stop every few milliseconds while it listens: a short wait.
    stop_.stop();
    joinWorker();
    scheduler()->unschedule(CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollListen), this);
    worker_ = Worker::None;
    announceAnswer();
}

void TavrickCardSerialManager::announceAnswer() {
    const bool heard = replies_.heardAnything();
    for (auto& l : std::vector<std::pair<const void*, Listener>>(listeners_))
        if (l.second.answerEnded) l.second.answerEnded(heard);
}

void TavrickCardSerialManager::finish() {
    const bool ok = workerOutcome_.ok();
    lastError_ = workerOutcome_.error;
    lastErrorDetail_ = workerOutcome_.detail;
    // Moved out first: the callback may well start the next worker and store a new one.
    Callback callback = std::move(completionCallback_);
    completionCallback_ = nullptr;
    completionOwner_ = nullptr;
    if (callback) callback(ok);
}

void TavrickCardSerialManager::resetForTests() {
    watch_.stop();
    stop_.stop();
    joinWorker();
    scheduler()->unscheduleAllForTarget(this);
    worker_ = Worker::None;
    scanRunning_ = false;
    sendRunning_ = false;
    linesDone_ = false;
    replies_.clear();
    completionCallback_ = nullptr;
    completionOwner_ = nullptr;
    listeners_.clear();
    preferredName_.clear();
    scannedOnce_ = false;
    rescanPending_ = false;
    failNextLaunch_ = false;
    stop_.reset();
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
    selectedPort = -1;
}
