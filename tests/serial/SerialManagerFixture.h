// What the Linux and the Windows serial suites share: the manager driven the way the running
// app drives it (the worker is a real thread, and its end reaches us only through scheduler
// ticks), callback logs, the writer on a thread of its own, and the checks every system's
// manager must pass. Each suite gives a port and a way to read what reaches its far side.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "CCDirector.h"
#include "CCScheduler.h"
#include "SerialLink.h"
#include "TavrickCardSerialManager.h"

namespace serialtest {

using namespace std::chrono_literals;

// Up to `count` bytes from the far side of the port, or fewer once the timeout passes.
using ReadFar = std::function<std::string(std::size_t count, std::chrono::milliseconds timeout)>;

struct CallbackLog {
    int calls = 0;
    bool lastValue = false;
    TavrickCardSerialManager::Callback callback() {
        return [this](bool ok) {
            ++calls;
            lastValue = ok;
        };
    }
};

// Runs the writer on its own thread, as the manager does, while the test reads the far end.
struct AsyncWrite {
    AsyncWrite(std::string port, std::vector<tavrick::SerialLine> lines, tavrick::WriteOptions options = {})
        : result(std::async(std::launch::async, [this, port, lines, options] {
              tavrick::SendOutcome outcome = tavrick::writeSerialLines(port, lines, written, options);
              finished = std::chrono::steady_clock::now();
              return outcome;
          })) {}

    tavrick::SendOutcome get(std::chrono::milliseconds timeout = 10s) {
        if (result.wait_for(timeout) != std::future_status::ready) {
            ADD_FAILURE() << "writer did not finish in time";
            return {tavrick::SerialError::WriteFailed, "timed out in test"};
        }
        return result.get();
    }

    std::atomic<int> written{0};
    std::chrono::steady_clock::time_point finished;
    std::future<tavrick::SendOutcome> result;
};

inline tavrick::SendOutcome writeNow(const std::string& port, const std::vector<tavrick::SerialLine>& lines,
                                     tavrick::WriteOptions options = {}) {
    std::atomic<int> written{0};
    return tavrick::writeSerialLines(port, lines, written, options);
}

// Two lines with their pauses: the bytes exactly, and no byte before the pauses ahead of it
// have passed (hard lower bounds, however late the far side looks); the writer closes the
// port only after the last line's pause.
inline void checkExampleProgramArrivesWithItsPauses(const std::string& port, const ReadFar& read) {
    const auto start = std::chrono::steady_clock::now();
    AsyncWrite send(port, {{"NEW\r\n", 200}, {"RUN\r\n", 200}});
    EXPECT_EQ(read(5, 5s), "\x4E\x45\x57\x0D\x0A");
    EXPECT_EQ(read(5, 5s), "\x52\x55\x4E\x0D\x0A");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    const tavrick::SendOutcome outcome = send.get();
    EXPECT_TRUE(outcome.ok()) << outcome.detail;
    EXPECT_EQ(send.written.load(), 2);
    EXPECT_GE(send.finished - start, 400ms) << "the last line's pause must pass before close";
    EXPECT_EQ(read(1, 100ms), "") << "nothing beyond the lines";
}

}  // namespace serialtest

class SerialManagerFixture : public ::testing::Test {
protected:
    using Milliseconds = std::chrono::milliseconds;
    using CallbackLog = serialtest::CallbackLog;
    using ReadFar = serialtest::ReadFar;

    void SetUp() override {
        manager = TavrickCardSerialManager::getInstance();
        manager->resetForTests();
    }

    void TearDown() override {
        manager->resetForTests();
        // Drops what create() left to the pool, so a reference miscounted above shows up here.
        cocos2d::PoolManager::getInstance()->getCurrentPool()->clear();
    }

    // Ticks the scheduler in 0.1 s steps, with real time passing, until `done` holds; false if
    // the deadline passes first.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    void tick() { cocos2d::Director::getInstance()->getScheduler()->update(0.1f); }

    void usePorts(std::vector<tavrick::PortInfo> list) {
        manager->setScanFunction([list] { return list; });
    }

    // A finished scan with the given ports in the manager's list.
    void scanWith(std::vector<tavrick::PortInfo> list) {
        usePorts(std::move(list));
        CallbackLog log;
        ASSERT_TRUE(manager->scanPorts(log.callback()));
        ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
        ASSERT_TRUE(log.lastValue);
    }

    // Chooses a port by its name, as the list does: positions change with every scan.
    void choose(const std::string& name) {
        for (int i = 0; i < manager->ports.size(); ++i)
            if (manager->ports.at(i)->portName == name) manager->choosePort(i);
        ASSERT_EQ(manager->getSelectedPortName(), name);
    }

    void queue(std::initializer_list<std::pair<const char*, int>> lines) {
        manager->sendQueue.clear();
        for (const auto& line : lines) manager->sendQueue.pushBack(SendData::create(line.first, line.second));
    }

    std::vector<std::string> portNames() const {
        std::vector<std::string> names;
        for (TavrickCardSerialData* port : manager->ports) names.push_back(port->portName);
        return names;
    }

    std::string descriptionOf(const std::string& name) const {
        for (TavrickCardSerialData* p : manager->ports)
            if (p->portName == name) return p->description;
        return "(not listed)";
    }

    bool pollScheduled() const {
        auto* scheduler = cocos2d::Director::getInstance()->getScheduler();
        return scheduler->isScheduled(CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollSend), manager) ||
               scheduler->isScheduled(CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollScan), manager);
    }

    // The send goes to the port chosen by name (not the first one), line by line as counted,
    // byte for byte; the writer works on its own copy of the queue; only a tick reports the
    // end, once, with true; then no poll is left scheduled.
    void checkSendToTheChosenPort(const std::string& port, const ReadFar& read) {
        // The other port sorts first, so the default choice is not the one the send must take.
        scanWith({{"/dev/0-tavrick-absent", "first"}, {port, "board"}});
        choose(port);
        queue({{"NEW\r\n", 300}, {"RUN\r\n", 0}});

        CallbackLog log;
        ASSERT_TRUE(manager->sendQueued(log.callback()));
        EXPECT_TRUE(manager->isSending());
        EXPECT_EQ(manager->getLineCount(), 2);
        queue({{"XXXX", 0}});

        ASSERT_EQ(read(5, std::chrono::seconds(5)), "NEW\r\n");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (manager->getLinesWritten() < 1 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(Milliseconds(1));
        EXPECT_GE(manager->getLinesWritten(), 1);
        EXPECT_EQ(log.calls, 0) << "only a tick may report the end";

        ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
        EXPECT_TRUE(log.lastValue) << manager->getLastErrorDetail();
        EXPECT_EQ(manager->getLastError(), tavrick::SerialError::None);
        EXPECT_EQ(read(5, std::chrono::seconds(2)), "RUN\r\n");
        EXPECT_EQ(manager->getLinesWritten(), 2);
        EXPECT_FALSE(manager->isBusy());
        EXPECT_FALSE(pollScheduled());
        for (int i = 0; i < 5; ++i) tick();
        EXPECT_EQ(log.calls, 1);
        EXPECT_EQ(read(1, Milliseconds(100)), "") << "nothing beyond the queue";
    }

    // A scan and a send never run at once; a scan's list is published by the poll alone; the
    // worker is joined and forgotten before its callback, which may start the next one.
    void checkOneWorkerAtATime(const std::string& port, const ReadFar& read) {
        scanWith({{port, "old"}});
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        manager->setScanFunction([released, port] {
            released.wait();
            return std::vector<tavrick::PortInfo>{{port, "new"}, {"/dev/ttyUSB9", "another"}};
        });
        queue({{"RUN\r\n", 0}});
        CallbackLog refused, send;
        int scans = 0;
        bool sendStarted = false;
        ASSERT_TRUE(manager->scanPorts([&](bool ok) {
            ++scans;
            EXPECT_TRUE(ok);
            sendStarted = manager->sendQueued(send.callback());
        }));
        EXPECT_FALSE(manager->sendQueued(refused.callback()));
        EXPECT_FALSE(manager->scanPorts(refused.callback()));
        for (int i = 0; i < 3; ++i) tick();
        EXPECT_EQ(scans, 0) << "the scan has not ended yet";
        ASSERT_EQ(manager->ports.size(), 1);
        EXPECT_EQ(manager->ports.at(0)->description, "old");

        release.set_value();
        ASSERT_TRUE(pumpUntil([&] { return send.calls > 0; }));
        EXPECT_TRUE(sendStarted);
        EXPECT_EQ(descriptionOf(port), "new");
        EXPECT_TRUE(send.lastValue) << manager->getLastErrorDetail();
        EXPECT_EQ(read(5, std::chrono::seconds(2)), "RUN\r\n");

        // And the other way round: no scan while a send runs.
        queue({{"NEW\r\n", 300}});
        ASSERT_TRUE(manager->sendQueued(send.callback()));
        EXPECT_FALSE(manager->scanPorts(refused.callback()));
        EXPECT_FALSE(manager->sendQueued(refused.callback()));
        EXPECT_EQ(read(5, std::chrono::seconds(5)), "NEW\r\n");
        ASSERT_TRUE(pumpUntil([&] { return send.calls > 1; }));
        for (int i = 0; i < 5; ++i) tick();
        EXPECT_EQ(scans, 1);
        EXPECT_EQ(send.calls, 2);
        EXPECT_EQ(refused.calls, 0);
    }

    TavrickCardSerialManager* manager = nullptr;
};
