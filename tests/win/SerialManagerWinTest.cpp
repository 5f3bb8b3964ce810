// The manager on Windows: its worker is a _beginthreadex thread joined with
// WaitForMultipleObjects, its scan is the device-setup one, its port a COM port.
#include <future>

#include "DeviceManager.h"
#include "SerialManagerFixture.h"
#include "WinPorts.h"

using namespace wintest;
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

class SerialManagerWin : public SerialManagerFixture {
protected:
    void SetUp() override {
        SerialManagerFixture::SetUp();
        DeviceManager::getInstance()->init();
    }

    void finishedScan(std::vector<PortInfo> list) {
        manager->setScanFunction([list] { return list; });
        CallbackLog log;
        ASSERT_TRUE(manager->scanPorts(log.callback()));
        ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
        manager->setScanFunction(nullptr);
    }

    // Each line as the program generator frames it: text, then the target's terminator.
    void queueFraming() {
        DeviceManager* cards = DeviceManager::getInstance();
        manager->sendQueue.clear();
        expected.clear();
        std::vector<CodeLine> lines = cards->getHeaderLines();
        for (const CodeLine& line : cards->getTrailerLines()) lines.push_back(line);
        for (const CodeLine& line : lines) {
            std::string bytes = line.text;
            if (line.appendTerminator) bytes += cards->getLineTerminator();
            expected += bytes;
            manager->sendQueue.pushBack(SendData::create(bytes, 50));
        }
    }

    bool pollScheduled() const {
        auto* scheduler = cocos2d::Director::getInstance()->getScheduler();
        return scheduler->isScheduled(CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollSend),
                                      manager) ||
               scheduler->isScheduled(CC_SCHEDULE_SELECTOR(TavrickCardSerialManager::pollScan),
                                      manager);
    }

    std::string expected;
};

TEST_F(SerialManagerWin, ScanOfAMachineWithoutPortsEndsNormallyWithAnEmptyListAndFirstChoice) {
    FakeComPorts none;
    finishedScan({{"COM3", "A"}, {"COM4", "B"}, {"COM5", "C"}});
    manager->selectedPort = 2;

    CallbackLog log;
    ASSERT_TRUE(manager->scanPorts(log.callback()));
    EXPECT_TRUE(manager->isScanning());
    ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
    for (int i = 0; i < 5; ++i) tick();
    EXPECT_EQ(log.calls, 1);
    EXPECT_TRUE(log.lastValue) << manager->getLastErrorDetail();
    EXPECT_EQ(manager->getLastError(), SerialError::None);
    EXPECT_TRUE(manager->ports.empty());
    EXPECT_EQ(manager->selectedPort, 0);
    EXPECT_FALSE(manager->isBusy());
    EXPECT_FALSE(pollScheduled());
}

TEST_F(SerialManagerWin, SendsTheCatalogueFramingOfBothTargetsByteForByteAndCallsBackOnce) {
    Reader in(wireIn());
    ASSERT_TRUE(in.isOpen());
    finishedScan({{absentPort(), "gone"}, {wireOut(), "board"}});
    for (int i = 0; i < manager->ports.size(); ++i)
        if (manager->ports.at(i)->portName == wireOut()) manager->choosePort(i);
    ASSERT_EQ(manager->getSelectedPortName(), wireOut());

    // Dov ends its lines in CR LF, Velto in a lone LF, which no text-mode layer may touch.
    for (Target target : {Dov, Velto}) {
        SCOPED_TRACE(target);
        in.drain();
        DeviceManager::getInstance()->target = target;
        queueFraming();
        ASSERT_FALSE(expected.empty());

        CallbackLog log;
        ASSERT_TRUE(manager->sendQueued(log.callback()));
        EXPECT_TRUE(manager->isSending());
        EXPECT_EQ(in.read(expected.size(), 5s), expected);
        ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
        for (int i = 0; i < 5; ++i) tick();
        EXPECT_EQ(log.calls, 1);
        EXPECT_TRUE(log.lastValue) << manager->getLastErrorDetail();
        EXPECT_EQ(manager->getLinesWritten(), static_cast<int>(manager->sendQueue.size()));
        EXPECT_FALSE(manager->isBusy());
        EXPECT_FALSE(pollScheduled());
    }
}

TEST_F(SerialManagerWin, ComPortThatDoesNotExistGivesFalseToTheCallbackExactlyOnce) {
    finishedScan({{absentPort(), "gone"}});
    manager->sendQueue.pushBack(SendData::create("NEW\r\n", 0));

    CallbackLog log;
    ASSERT_TRUE(manager->sendQueued(log.callback()));
    ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
    for (int i = 0; i < 5; ++i) tick();
    EXPECT_EQ(log.calls, 1);
    EXPECT_FALSE(log.lastValue);
    EXPECT_EQ(manager->getLastError(), SerialError::NotConnected)
        << manager->getLastErrorDetail();
    EXPECT_EQ(manager->getLinesWritten(), 0);
    EXPECT_FALSE(manager->isBusy());
}

TEST_F(SerialManagerWin, OneWorkerAtATimeAndItsCallbackMayStartTheNext) {
    Reader in(wireIn());
    ASSERT_TRUE(in.isOpen());
    in.drain();
    finishedScan({{wireOut(), "board"}});

    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    const std::string port = wireOut();
    manager->setScanFunction([released, port] {
        released.wait();
        return std::vector<PortInfo>{{port, "board"}};
    });
    manager->sendQueue.pushBack(SendData::create("RUN\r\n", 0));

    CallbackLog refused, send;
    bool sendStarted = false;
    int scanCalls = 0;
    ASSERT_TRUE(manager->scanPorts([&](bool ok) {
        ++scanCalls;
        EXPECT_TRUE(ok);
        // The worker is joined and forgotten before the callback, so this is not refused.
        sendStarted = manager->sendQueued(send.callback());
    }));
    EXPECT_FALSE(manager->sendQueued(refused.callback()));
    EXPECT_FALSE(manager->scanPorts(refused.callback()));
    for (int i = 0; i < 3; ++i) tick();
    EXPECT_EQ(scanCalls, 0) << "the scan has not ended yet";

    release.set_value();
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 0; }));
    EXPECT_TRUE(sendStarted);
    EXPECT_TRUE(send.lastValue) << manager->getLastErrorDetail();
    EXPECT_EQ(in.read(5, 2s), "RUN\r\n");
    for (int i = 0; i < 5; ++i) tick();
    EXPECT_EQ(scanCalls, 1);
    EXPECT_EQ(send.calls, 1);
    EXPECT_EQ(refused.calls, 0);
}
