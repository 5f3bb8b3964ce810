#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
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

    // Starts a scan; false (and the callback dropped) if a worker exists. The callback gets
    // true if the ports could be listed (possibly none), false if the system could not be asked.
    bool scanPorts(const Callback& callback);
    // Starts sending sendQueue to ports[selectedPort]; false if a worker exists or no port is
    // chosen. The callback gets true only if every line was written completely.
    bool sendQueued(const Callback& callback);

    void pollScan(float dt);
    void pollSend(float dt);

    bool isBusy() const { return worker_ != Worker::None; }
    bool isScanning() const { return worker_ == Worker::Scan; }
    bool isSending() const { return worker_ == Worker::Send; }

    // Progress of the current (or last) send: whole lines written so far, of how many.
    int getLinesWritten() const { return linesWritten_.load(std::memory_order_acquire); }
    int getLineCount() const { return lineCount_; }

    // Why the last finished operation (or a refused send for want of a port) failed.
    tavrick::SerialError getLastError() const { return lastError_; }
    const std::string& getLastErrorDetail() const { return lastErrorDetail_; }

    // Replaces the platform scan (tests, the harness: ports no scan can see). Empty restores it.
    void setScanFunction(ScanFunction scan);
    void setWriteOptions(const tavrick::WriteOptions& options) { writeOptions_ = options; }

    // Back to the state of a fresh start, for tests and the harness. Waits for a running worker.
    void resetForTests();

    cocos2d::Vector<TavrickCardSerialData*> ports;  // last scan, in the scan's order
    cocos2d::Vector<SendData*> sendQueue;           // the program being or last sent
    int32_t selectedPort = 0;                       // index into ports

private:
    enum class Worker { None, Scan, Send };

    TavrickCardSerialManager() = default;
    bool startWorker(Worker kind, std::function<void()> body, const Callback& callback);
    bool launchWorker(std::function<void()> run, std::string& error);
    void finish();
    void joinWorker();

    Worker worker_ = Worker::None;
#ifdef _WIN32
    void* workerHandle_ = nullptr;  // from _beginthreadex; a HANDLE, kept windows.h-free here
#else
    std::thread workerThread_;
#endif
    std::atomic<bool> scanRunning_{false};
    std::atomic<bool> sendRunning_{false};
    Callback completionCallback_;

    ScanFunction scanFunction_;
    tavrick::WriteOptions writeOptions_;

    // Written by the worker before it clears its flag; read by the poll after the join.
    std::vector<tavrick::PortInfo> scanResult_;
    tavrick::SendOutcome workerOutcome_;

    std::atomic<int> linesWritten_{0};
    int lineCount_ = 0;
    tavrick::SerialError lastError_ = tavrick::SerialError::None;
    std::string lastErrorDetail_;
};
