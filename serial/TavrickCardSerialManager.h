#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>
#ifndef _WIN32
#include <thread>
#endif

#include "CCRef.h"
#include "CCVector.h"
#include "SendData.h"
#include "SerialLink.h"
#include "TavrickCardSerialData.h"

// The one way to the board. Owns the port list, the chosen port and the send queue, and runs at
// most one worker thread (a port scan or a send). The end of a worker reaches the main thread
// through a 0.1 s scheduler poll, which then calls the callback given when it started.
//
// Everything here is for the main thread only. The workers get private copies of what they
// need, so the lists may be read at any time; they change only on the main thread.
class TavrickCardSerialManager : public cocos2d::Ref {
public:
    using Callback = std::function<void(bool)>;
    using ScanFunction = std::function<std::vector<tavrick::PortInfo>()>;

    static TavrickCardSerialManager* getInstance();

    ~TavrickCardSerialManager() override;
    virtual bool init();

    // Starts a scan; false (and the callback dropped) if a worker exists or cannot be started.
    // The callback gets true if the ports could be listed (possibly none), false if the system
    // could not be asked. `owner` names who the callback belongs to (see forgetCallbacksOf).
    bool scanPorts(const Callback& callback, const void* owner = nullptr);
    // Starts sending sendQueue to the chosen port; false if a worker exists or no port is
    // chosen. The callback gets true only if every line was written completely; it comes as
    // soon as the last line is out, while the board's answer is still heard a moment longer
    // (isListening). A send or a scan started meanwhile ends that moment early.
    bool sendQueued(const Callback& callback, const void* owner = nullptr);
    // Ends the running send at the next line boundary, or at once during a pause; its callback
    // then gets false and getLastError() says Stopped. A line marked closing still follows
    // once the first line has gone out, so the board is not left in the middle of a program.
    void stopSend();
    // The program is ending: a send stops as stopSend() stops it, the answer is no longer
    // heard, the hot-plug watch ends; waits up to `patience` for the worker to let the port go.
    // No callback is called any more.
    void shutdown(std::chrono::milliseconds patience = std::chrono::seconds(1));

    void pollScan(float dt);
    void pollSend(float dt);
    void pollListen(float dt);

    // The choice of port is kept by name: a rescan that finds the chosen port again keeps it
    // wherever it sorts. A port chosen by hand is preferred whenever it is present, also after
    // it has been gone for a while, whatever its kind; otherwise a newly plugged USB port is
    // taken, and when the chosen port has gone, the first port that may be a default. A
    // built-in port is never a default: with only such ports, no port is chosen.
    void choosePort(int index);
    // The chosen port's name; "" when there is none.
    std::string getSelectedPortName() const;
    bool hasChosenPort() const { return selectedPort >= 0 && selectedPort < ports.size(); }
    const std::string& getPreferredPort() const { return preferredName_; }
    // A hand choice from an earlier run; chosen again by the next scan that finds it.
    void setPreferredPort(const std::string& name) { preferredName_ = name; }

    // Who hears of scans: the screen spins its arrow on `scanStarted` and shows the result on
    // `scanEnded`, for every scan (a tap, a plugged cable, a hot-plug event). One per owner.
    // `answerEnded` follows every send that ended well, once the board has had its moment to
    // answer: `heard` says whether any byte at all came back (getBoardReplies() has the lines).
    struct Listener {
        std::function<void()> scanStarted;
        std::function<void(bool ok)> scanEnded;
        std::function<void(bool heard)> answerEnded;
    };
    void setListener(const void* owner, Listener listener);
    // Drops the listener and any pending completion callback of `owner` (an object going away
    // while a worker runs must not be called back).
    void forgetCallbacksOf(const void* owner);

    // Devices came or went: a rescan follows shortly (a burst of events makes one scan), and
    // waits for a running send. Main thread; the watch calls it through the scheduler.
    void devicesChanged();
    // Watches the system for serial devices coming and going; false where it cannot.
    bool startWatching();
    void stopWatching();
    bool isWatching() const { return watch_.running(); }
    bool isRescanPending() const { return rescanPending_; }

    // Listening after a send does not count as busy: whatever comes next ends it.
    bool isBusy() const { return worker_ == Worker::Scan || worker_ == Worker::Send; }
    bool isScanning() const { return worker_ == Worker::Scan; }
    bool isSending() const { return worker_ == Worker::Send; }
    bool isListening() const { return worker_ == Worker::Listen; }

    // What the board sent back during the current (or last) send and the moment after it.
    const tavrick::BoardReplies& getBoardReplies() const { return replies_; }

    // Progress of the current (or last) send: whole lines written so far, of how many.
    int getLinesWritten() const { return linesWritten_.load(std::memory_order_acquire); }
    int getLineCount() const { return lineCount_; }

    // Why the last finished operation (or a refused send for want of a port) failed.
    tavrick::SerialError getLastError() const { return lastError_; }
    const std::string& getLastErrorDetail() const { return lastErrorDetail_; }

    // Replaces the platform scan (tests, the harness: ports no scan can see). Empty restores it.
    void setScanFunction(ScanFunction scan);
    void setWriteOptions(const tavrick::WriteOptions& options) { writeOptions_ = options; }
    // The next worker fails to start, as when the system refuses a thread (tests).
    void failNextLaunchForTests() { failNextLaunch_ = true; }

    // Back to the state of a fresh start, for tests and the harness. Waits for a running worker.
    void resetForTests();

    cocos2d::Vector<TavrickCardSerialData*> ports;  // last scan, in the scan's order
    cocos2d::Vector<SendData*> sendQueue;           // the program being or last sent
    int32_t selectedPort = -1;                      // index into ports; -1 when none is chosen

private:
    // Listen: the lines are out and the callback has been called; the writer still holds the
    // port for a moment to hear the board.
    enum class Worker { None, Scan, Send, Listen };

    TavrickCardSerialManager() = default;
    // A worker's work: calls `finished` once it has ended (as it returns on the desktop; later,
    // from the browser's event loop, for a send in the page).
    using WorkerBody = std::function<void(const std::function<void()>& finished)>;
    bool startWorker(Worker kind, WorkerBody body, const Callback& callback);
    // One file per platform (serial/*/Worker.cpp): a thread on the desktop; in the page the work
    // runs on the main thread and whatever waits goes through the browser's promises.
    bool launchWorker(std::function<void()> run, std::string& error);
    void finish();
    void joinWorker();
    // Lets a worker that does not end within the patience go: the process is ending.
    void abandonWorker();
    void endListening();
    void workerGone();
    void announceAnswer();
    void publishPorts(std::vector<tavrick::PortInfo> found);
    void rescanNow(float dt);
    int indexOf(const std::string& name) const;

    Worker worker_ = Worker::None;
#ifdef _WIN32
    void* workerHandle_ = nullptr;  // from _beginthreadex; a HANDLE, kept windows.h-free here
#else
    std::thread workerThread_;
#endif
    std::atomic<bool> scanRunning_{false};
    std::atomic<bool> sendRunning_{false};
    // Set by the writer once every line is out and workerOutcome_ holds the send's outcome.
    std::atomic<bool> linesDone_{false};
    Callback completionCallback_;
    const void* completionOwner_ = nullptr;
    std::vector<std::pair<const void*, Listener>> listeners_;
    std::string preferredName_;
    bool scannedOnce_ = false;
    bool rescanPending_ = false;
    bool failNextLaunch_ = false;
    tavrick::StopSignal stop_;
    tavrick::PortWatch watch_;

    ScanFunction scanFunction_;
    tavrick::WriteOptions writeOptions_;

    // Written by the worker before it clears its flag; read by the poll after the join.
    std::vector<tavrick::PortInfo> scanResult_;
    tavrick::SendOutcome workerOutcome_;

    tavrick::BoardReplies replies_;
    std::atomic<int> linesWritten_{0};
    int lineCount_ = 0;
    tavrick::SerialError lastError_ = tavrick::SerialError::None;
    std::string lastErrorDetail_;
};
