// The manager's start and finish protocol, with pseudo-terminals as the ports a scan "finds".
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <future>

#include "PtyHelpers.h"
#include "SerialManagerFixture.h"

using namespace ptytest;
using tavrick::PortInfo;
using tavrick::SerialError;

namespace {

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

}  // namespace

class SerialManager : public SerialManagerFixture {
protected:
    void usePorts(std::vector<PortInfo> list) {
        manager->setScanFunction([list] { return list; });
    }

    // A finished scan with the given ports in the manager's list.
    void scanWith(std::vector<PortInfo> list) {
        usePorts(std::move(list));
        CallbackLog log;
        ASSERT_TRUE(manager->scanPorts(log.callback()));
        ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
        ASSERT_TRUE(log.lastValue);
    }

    void queue(std::initializer_list<std::pair<const char*, int>> lines) {
        manager->sendQueue.clear();
        for (const auto& line : lines) {
            manager->sendQueue.pushBack(SendData::create(line.first, line.second));
        }
    }

    std::vector<std::string> portNames() const {
        std::vector<std::string> names;
        for (TavrickCardSerialData* port : manager->ports) names.push_back(port->portName);
        return names;
    }
};

TEST_F(SerialManager, SendsQueueToChosenPortCountingLinesAndCallsBackOnceWithTrue) {
    PtyPair first, second;
    scanWith({{first.slavePath(), "first"}, {second.slavePath(), "second"}});
    manager->selectedPort = 1;
    queue({{"NEW\r\n", 300}, {"RUN\r\n", 0}});

    CallbackLog log;
    ASSERT_TRUE(manager->sendQueued(log.callback()));
    EXPECT_TRUE(manager->isSending());
    EXPECT_EQ(manager->getLineCount(), 2);
    // The writer has its own copy; the queue is free to change while it runs.
    queue({{"XXXX", 0}});

    ASSERT_EQ(readFor(second.master(), 5, 5s), "NEW\r\n");
    const auto deadline = Clock::now() + 5s;
    while (manager->getLinesWritten() < 1 && Clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(manager->getLinesWritten(), 1);
    EXPECT_EQ(log.calls, 0) << "only a tick may report the end";

    ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
    EXPECT_TRUE(log.lastValue) << manager->getLastErrorDetail();
    EXPECT_EQ(manager->getLastError(), SerialError::None);
    EXPECT_EQ(readFor(second.master(), 5, 2s), "RUN\r\n");
    EXPECT_EQ(readFor(first.master(), 1, 100ms), "");
    EXPECT_EQ(manager->getLinesWritten(), 2);
    EXPECT_FALSE(manager->isBusy());
    EXPECT_FALSE(cocos2d::Director::getInstance()->getScheduler()->isScheduled(
        CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollSend), manager));
    for (int i = 0; i < 5; ++i) tick();
    EXPECT_EQ(log.calls, 1);
}

TEST_F(SerialManager, FailedSendsCallBackOnceWithFalseAndTheReason) {
    PtyPair held;
    int other = ::open(held.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    PtyPair silent;  // nobody reads it
    manager->setWriteOptions(tavrick::WriteOptions{300ms});

    const std::string flood(512 * 1024, 'x');
    struct Case {
        std::string port;
        std::string line;
        SerialError expected;
    };
    for (const Case& c : {Case{"/dev/tavrick-absent-port", "NEW\r\n", SerialError::NotConnected},
                          Case{held.slavePath(), "NEW\r\n", SerialError::InUse},
                          Case{silent.slavePath(), flood, SerialError::StoppedAnswering}}) {
        SCOPED_TRACE(c.port);
        scanWith({{c.port, "board"}});
        manager->sendQueue.clear();
        manager->sendQueue.pushBack(SendData::create(c.line, 0));
        CallbackLog log;
        ASSERT_TRUE(manager->sendQueued(log.callback()));
        ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
        for (int i = 0; i < 5; ++i) tick();
        EXPECT_EQ(log.calls, 1);
        EXPECT_FALSE(log.lastValue);
        EXPECT_EQ(manager->getLastError(), c.expected) << manager->getLastErrorDetail();
        EXPECT_EQ(manager->getLinesWritten(), 0);
        EXPECT_FALSE(manager->isBusy());
    }
    ::close(other);
}

TEST_F(SerialManager, SendIsRefusedWithoutAChosenPort) {
    queue({{"NEW\r\n", 0}});
    CallbackLog log;
    EXPECT_FALSE(manager->sendQueued(log.callback()));
    EXPECT_EQ(manager->getLastError(), SerialError::NoPort);

    PtyPair pty;
    scanWith({{pty.slavePath(), "pty"}});
    for (int index : {1, -1}) {
        manager->selectedPort = index;
        EXPECT_FALSE(manager->sendQueued(log.callback())) << index;
    }
    EXPECT_FALSE(manager->isBusy());
    for (int i = 0; i < 3; ++i) tick();
    EXPECT_EQ(log.calls, 0);
    EXPECT_EQ(readFor(pty.master(), 1, 100ms), "");
}

TEST_F(SerialManager, OneWorkerAtATimeAndTheFirstCallbackIsKept) {
    PtyPair pty;
    scanWith({{pty.slavePath(), "old"}});

    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    manager->setScanFunction([released, path = pty.slavePath()] {
        released.wait();
        return std::vector<PortInfo>{{path, "new"}, {"/dev/ttyUSB9", "another"}};
    });
    CallbackLog scan, send, rescan;
    ASSERT_TRUE(manager->scanPorts(scan.callback()));
    queue({{"NEW\r\n", 0}});
    EXPECT_FALSE(manager->sendQueued(send.callback()));
    EXPECT_FALSE(manager->scanPorts(rescan.callback()));
    // The worker builds its list privately; until the poll publishes it, the old one stands.
    for (int i = 0; i < 3; ++i) tick();
    ASSERT_EQ(manager->ports.size(), 1);
    EXPECT_EQ(manager->ports.at(0)->description, "old");

    release.set_value();
    ASSERT_TRUE(pumpUntil([&] { return scan.calls > 0; }));
    EXPECT_TRUE(scan.lastValue);
    EXPECT_EQ(portNames(), (std::vector<std::string>{pty.slavePath(), "/dev/ttyUSB9"}));
    EXPECT_EQ(manager->ports.at(0)->description, "new");

    // And the other way round: no scan while a send runs.
    queue({{"NEW\r\n", 300}});
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    EXPECT_FALSE(manager->scanPorts(rescan.callback()));
    EXPECT_FALSE(manager->sendQueued(rescan.callback()));
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 0; }));
    EXPECT_TRUE(send.lastValue);
    EXPECT_EQ(scan.calls, 1);
    EXPECT_EQ(send.calls, 1);
    EXPECT_EQ(rescan.calls, 0);
}

TEST_F(SerialManager, ChoiceSurvivesRescanByPositionWhileItExists) {
    const std::vector<PortInfo> three{{"/dev/ttyACM0", "Board A"},
                                      {"/dev/ttyACM1", "Board B"},
                                      {"/dev/ttyUSB0", "Board C"}};
    scanWith(three);
    manager->selectedPort = 2;
    scanWith(three);
    EXPECT_EQ(manager->selectedPort, 2);
    scanWith({three[0], three[1]});
    EXPECT_EQ(manager->selectedPort, 0);
    EXPECT_EQ(manager->ports.size(), 2);
}

TEST_F(SerialManager, ScanListsOnlyPortsWithNameAndDescriptionInScanOrder) {
    scanWith({{"/dev/ttyUSB1", "USB Serial"},
              {"/dev/ttyS0", ""},
              {"", "Nameless"},
              {"/dev/ttyACM0", "Board"}});
    EXPECT_EQ(portNames(), (std::vector<std::string>{"/dev/ttyUSB1", "/dev/ttyACM0"}));
}

TEST_F(SerialManager, ScanThatCannotAskTheSystemReportsFalseAndNoPorts) {
    scanWith({{"/dev/ttyUSB0", "Board"}});
    manager->selectedPort = 0;
    manager->setScanFunction([]() -> std::vector<PortInfo> {
        throw std::runtime_error("udev unavailable");
    });
    CallbackLog log;
    ASSERT_TRUE(manager->scanPorts(log.callback()));
    ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
    EXPECT_FALSE(log.lastValue);
    EXPECT_TRUE(manager->ports.empty());
    EXPECT_EQ(manager->selectedPort, 0);
    EXPECT_EQ(manager->getLastError(), SerialError::ScanFailed);
    EXPECT_NE(manager->getLastErrorDetail().find("udev unavailable"), std::string::npos);
}

TEST_F(SerialManager, CallbackMayStartTheNextWorker) {
    PtyPair pty;
    usePorts({{pty.slavePath(), "pty"}});
    queue({{"RUN\r\n", 0}});
    CallbackLog send;
    bool started = false;
    ASSERT_TRUE(manager->scanPorts([&](bool) { started = manager->sendQueued(send.callback()); }));
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 0; }));
    EXPECT_TRUE(started);
    EXPECT_TRUE(send.lastValue);
    EXPECT_EQ(readFor(pty.master(), 5, 2s), "RUN\r\n");
}
