// The manager on Windows: its worker is a _beginthreadex thread joined with
// WaitForMultipleObjects, its scan the device-setup one, its ports COM ports. The checks are
// the Linux suite's own; only the ports and the far side differ.
#include "SerialManagerFixture.h"
#include "WinPorts.h"

using namespace wintest;

namespace {

class SerialManagerWin : public SerialManagerFixture {
protected:
    void SetUp() override {
        SerialManagerFixture::SetUp();
        ASSERT_TRUE(in.isOpen()) << "cannot open " << wireIn();
        in.drain();
    }
    ReadFar farSide() {
        return [this](std::size_t count, std::chrono::milliseconds timeout) { return in.read(count, timeout); };
    }
    Reader in{wireIn()};
};

TEST_F(SerialManagerWin, TheSystemScanOfAMachineWithoutPortsEndsWithAnEmptyList) {
    FakeComPorts none;
    scanWith({{"COM3", "A"}, {"COM4", "B"}});
    choose("COM4");
    manager->setScanFunction(nullptr);  // the system's own

    CallbackLog log;
    ASSERT_TRUE(manager->scanPorts(log.callback()));
    ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
    for (int i = 0; i < 5; ++i) tick();
    EXPECT_EQ(log.calls, 1);
    EXPECT_TRUE(log.lastValue) << manager->getLastErrorDetail();
    EXPECT_TRUE(manager->ports.empty());
    EXPECT_EQ(manager->getSelectedPortName(), "");
    EXPECT_FALSE(manager->isBusy());
    EXPECT_FALSE(pollScheduled());
}

TEST_F(SerialManagerWin, SendsQueueToTheChosenPortCountingLinesAndCallsBackOnceWithTrue) {
    checkSendToTheChosenPort(wireOut(), farSide());
}

TEST_F(SerialManagerWin, OneWorkerAtATimeAndItsCallbackMayStartTheNext) {
    checkOneWorkerAtATime(wireOut(), farSide());
}

}  // namespace
