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

using SerialManager = SerialManagerFixture;

namespace {

serialtest::ReadFar farSide(const PtyPair& pty) {
    return [&pty](std::size_t count, std::chrono::milliseconds timeout) { return readFor(pty.master(), count, timeout); };
}

}  // namespace

TEST_F(SerialManager, SendsQueueToTheChosenPortCountingLinesAndCallsBackOnceWithTrue) {
    PtyPair pty;
    checkSendToTheChosenPort(pty.slavePath(), farSide(pty));
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
        queue({{c.line.c_str(), 0}});
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

TEST_F(SerialManager, OneWorkerAtATimeAndItsCallbackMayStartTheNext) {
    PtyPair pty;
    checkOneWorkerAtATime(pty.slavePath(), farSide(pty));
}

// The system's own scan, whatever ports this machine has: it ends, once, with success.
TEST_F(SerialManager, TheSystemScanEnds) {
    CallbackLog log;
    ASSERT_TRUE(manager->scanPorts(log.callback()));
    ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
    for (int i = 0; i < 3; ++i) tick();
    EXPECT_EQ(log.calls, 1);
    EXPECT_TRUE(log.lastValue) << manager->getLastErrorDetail();
}

TEST(PortOrder, UsbFirstThenOtherThenBuiltInEachInNaturalOrder) {
    using tavrick::PortKind;
    std::vector<PortInfo> ports{{"/dev/ttyS0", "ttyS0", PortKind::BuiltIn},
                                {"/dev/ttyUSB10", "b", PortKind::Usb},
                                {"/dev/rfcomm0", "phone", PortKind::Bluetooth},
                                {"/dev/ttyS10", "ttyS10", PortKind::BuiltIn},
                                {"/dev/ttyUSB2", "a", PortKind::Usb},
                                {"/dev/ttyS2", "ttyS2", PortKind::BuiltIn},
                                {"/dev/ttyACM0", "c", PortKind::Usb}};
    tavrick::orderPorts(ports);
    std::vector<std::string> names;
    for (const PortInfo& p : ports) names.push_back(p.portName);
    EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10",
                                               "/dev/rfcomm0", "/dev/ttyS0", "/dev/ttyS2",
                                               "/dev/ttyS10"}));
    // Windows names, and numbers that are not at the end.
    EXPECT_TRUE(tavrick::naturalLess("COM2", "COM10"));
    EXPECT_FALSE(tavrick::naturalLess("COM10", "COM2"));
    EXPECT_TRUE(tavrick::naturalLess("COM9", "COM10"));
    EXPECT_TRUE(tavrick::naturalLess("usb2-port", "usb10-port"));
    EXPECT_FALSE(tavrick::naturalLess("COM3", "COM3"));
}

TEST_F(SerialManager, TheDefaultIsTheFirstUsbPortAndEmptyDescriptionsAreLeftOut) {
    using tavrick::PortKind;
    scanWith({{"/dev/ttyS0", "ttyS0", PortKind::BuiltIn},
              {"/dev/ttyUSB1", "CP2102 USB to UART Bridge", PortKind::Usb},
              {"/dev/ttyS1", "", PortKind::BuiltIn},
              {"", "Nameless", PortKind::Usb}});
    EXPECT_EQ(portNames(), (std::vector<std::string>{"/dev/ttyUSB1", "/dev/ttyS0"}));
    EXPECT_EQ(manager->getSelectedPortName(), "/dev/ttyUSB1");
}

TEST_F(SerialManager, AHandChoiceIsKeptByNameWhereverItSortsAndWhenItComesBack) {
    using tavrick::PortKind;
    const PortInfo usb5{"/dev/ttyUSB5", "Board A", PortKind::Usb};
    const PortInfo usb7{"/dev/ttyUSB7", "Board B", PortKind::Usb};
    const PortInfo usb2{"/dev/ttyUSB2", "Board C", PortKind::Usb};
    scanWith({usb5, usb7});
    choose("/dev/ttyUSB7");
    // A board plugged in that sorts first: the send must still go to the chosen one.
    scanWith({usb5, usb7, usb2});
    EXPECT_EQ(manager->getSelectedPortName(), "/dev/ttyUSB7");
    // Gone: the first port stands in. Back: the hand choice is taken again.
    scanWith({usb5, usb2});
    EXPECT_EQ(manager->getSelectedPortName(), "/dev/ttyUSB2");
    scanWith({usb5, usb2, usb7});
    EXPECT_EQ(manager->getSelectedPortName(), "/dev/ttyUSB7");
    // Nothing left: no choice.
    scanWith({});
    EXPECT_EQ(manager->getSelectedPortName(), "");
}

TEST_F(SerialManager, ANewlyPluggedUsbPortIsTakenUnlessAPresentPortWasChosenByHand) {
    using tavrick::PortKind;
    const PortInfo builtIn{"/dev/ttyS0", "ttyS0", PortKind::BuiltIn};
    const PortInfo usb9{"/dev/ttyUSB9", "Board", PortKind::Usb};
    const PortInfo acm0{"/dev/ttyACM0", "Other board", PortKind::Usb};
    scanWith({builtIn});
    EXPECT_EQ(manager->getSelectedPortName(), "") << "a built-in port is no board";
    scanWith({builtIn, usb9});
    EXPECT_EQ(manager->getSelectedPortName(), "/dev/ttyUSB9");
    // The same list again: nothing new, the choice stays even though it does not sort first.
    choose("/dev/ttyS0");  // the built-in port, by hand
    scanWith({builtIn, usb9, acm0});
    EXPECT_EQ(manager->getSelectedPortName(), "/dev/ttyS0");
}

TEST_F(SerialManager, BuiltInPortsAreListedButNeverTheDefault) {
    using tavrick::PortKind;
    const PortInfo ttyS0{"/dev/ttyS0", "ttyS0", PortKind::BuiltIn};
    const PortInfo ama0{"/dev/ttyAMA0", "ttyAMA0", PortKind::BuiltIn};
    // A desktop, a virtual machine, a Raspberry Pi with no board plugged in.
    scanWith({ttyS0, ama0});
    EXPECT_EQ(portNames(), (std::vector<std::string>{"/dev/ttyAMA0", "/dev/ttyS0"}));
    for (TavrickCardSerialData* p : manager->ports) EXPECT_TRUE(p->isBuiltIn()) << p->portName;
    EXPECT_FALSE(manager->hasChosenPort());
    EXPECT_EQ(manager->getSelectedPortName(), "");
    queue({{"NEW\r\n", 0}});
    CallbackLog log;
    EXPECT_FALSE(manager->sendQueued(log.callback()));
    EXPECT_EQ(manager->getLastError(), SerialError::NoPort);

    // Any other port is a board before them: USB, Bluetooth, one the scan cannot place.
    for (PortKind kind : {PortKind::Usb, PortKind::Bluetooth, PortKind::Other}) {
        scanWith({ttyS0, {"/dev/zz-board", "Board", kind}, ama0});
        EXPECT_EQ(manager->getSelectedPortName(), "/dev/zz-board");
        EXPECT_FALSE(manager->ports.at(manager->selectedPort)->isBuiltIn());
    }
    // The board pulled: what is left is no board, not the next port down the list.
    scanWith({ttyS0, ama0});
    EXPECT_EQ(manager->getSelectedPortName(), "");
}

TEST_F(SerialManager, ABuiltInPortChosenByHandIsUsedAndRemembered) {
    PtyPair pty;
    const PortInfo uart{pty.slavePath(), "ttyS0", tavrick::PortKind::BuiltIn};
    const PortInfo usb{"/dev/ttyUSB0", "Board", tavrick::PortKind::Usb};
    scanWith({uart, usb});
    EXPECT_EQ(manager->getSelectedPortName(), "/dev/ttyUSB0");
    choose(pty.slavePath());
    EXPECT_EQ(manager->getPreferredPort(), pty.slavePath());
    queue({{"RUN\r\n", 0}});
    CallbackLog log;
    ASSERT_TRUE(manager->sendQueued(log.callback()));
    EXPECT_EQ(readFor(pty.master(), 5, 5s), "RUN\r\n");
    ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
    EXPECT_TRUE(log.lastValue);
    // Kept through a rescan, and by the next start, which is given the name again.
    scanWith({usb, uart});
    EXPECT_EQ(manager->getSelectedPortName(), pty.slavePath());
    manager->resetForTests();
    manager->setPreferredPort(pty.slavePath());
    scanWith({usb, uart});
    EXPECT_EQ(manager->getSelectedPortName(), pty.slavePath());
}

TEST_F(SerialManager, ADeviceEventDuringASendRescansAfterIt) {
    PtyPair pty;
    std::atomic<int> scans{0};
    const std::string path = pty.slavePath();
    manager->setScanFunction([&scans, path] {
        ++scans;
        return std::vector<PortInfo>{{path, "pty", tavrick::PortKind::Usb}};
    });
    CallbackLog scan, send;
    ASSERT_TRUE(manager->scanPorts(scan.callback()));
    ASSERT_TRUE(pumpUntil([&] { return scan.calls > 0; }));
    ASSERT_EQ(scans.load(), 1);
    // Far more than a pseudo-terminal buffers: the send cannot end before the far side reads,
    // however the threads are scheduled. No scan may start meanwhile.
    const std::string longLine(1 << 20, 'x');
    queue({{longLine.c_str(), 0}, {"RUN\r\n", 0}});
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    manager->devicesChanged();
    EXPECT_TRUE(manager->isRescanPending());
    for (int i = 0; i < 5; ++i) tick();
    EXPECT_EQ(scans.load(), 1);
    EXPECT_TRUE(manager->isSending());
    EXPECT_EQ(readFor(pty.master(), longLine.size() + 5, 30s), longLine + "RUN\r\n");
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 0 && !manager->isBusy(); }));
    EXPECT_TRUE(send.lastValue);
    // The board's moment to answer comes first; then the scan.
    ASSERT_TRUE(pumpUntil([&] { return !manager->isListening() && !manager->isBusy(); }));
    EXPECT_EQ(scans.load(), 2);
    EXPECT_FALSE(manager->isRescanPending());
}

TEST_F(SerialManager, StopEndsAPauseAtOnceAndTheNextSendArrivesWhole) {
    PtyPair pty;
    scanWith({{pty.slavePath(), "pty"}});
    CallbackLog send;
    // A pause no test would sit through: only a stop that wakes the writer ends it.
    queue({{"NEW\r\n", 600000}, {"RUN\r\n", 0}});
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    ASSERT_EQ(readFor(pty.master(), 5, 5s), "NEW\r\n");
    ASSERT_TRUE(pumpUntil([&] { return manager->getLinesWritten() == 1; }));
    manager->stopSend();
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 0; }));
    EXPECT_FALSE(send.lastValue);
    EXPECT_EQ(manager->getLastError(), SerialError::Stopped);
    EXPECT_EQ(manager->getLinesWritten(), 1);
    EXPECT_EQ(readFor(pty.master(), 1, 200ms), "");

    queue({{"NEW\r\n", 0}, {"RUN\r\n", 0}});
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    EXPECT_EQ(readFor(pty.master(), 10, 5s), "NEW\r\nRUN\r\n");
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 1; }));
    EXPECT_TRUE(send.lastValue);
}

TEST_F(SerialManager, StopDuringALongLineFinishesThatLineAndSendsNoMore) {
    PtyPair pty;
    scanWith({{pty.slavePath(), "pty"}});
    CallbackLog send;
    // Far more than a pseudo-terminal buffers: the writer is inside this line when we stop.
    const std::string longLine(64 * 1024, 'x');
    queue({{longLine.c_str(), 0}, {"RUN\r\n", 0}});
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    std::string got = readFor(pty.master(), 1024, 5s);
    ASSERT_EQ(got.size(), 1024u);
    manager->stopSend();
    got += readFor(pty.master(), longLine.size() - got.size(), 10s);
    EXPECT_EQ(got, longLine);
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 0; }));
    EXPECT_FALSE(send.lastValue);
    EXPECT_EQ(manager->getLastError(), SerialError::Stopped);
    EXPECT_EQ(readFor(pty.master(), 1, 200ms), "");
}

TEST_F(SerialManager, ScanThatCannotAskTheSystemReportsFalseAndNoPorts) {
    scanWith({{"/dev/ttyUSB0", "Board"}});
    manager->setScanFunction([]() -> std::vector<PortInfo> {
        throw std::runtime_error("udev unavailable");
    });
    CallbackLog log;
    ASSERT_TRUE(manager->scanPorts(log.callback()));
    ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; }));
    EXPECT_FALSE(log.lastValue);
    EXPECT_TRUE(manager->ports.empty());
    EXPECT_EQ(manager->getSelectedPortName(), "");
    EXPECT_EQ(manager->getLastError(), SerialError::ScanFailed);
    EXPECT_NE(manager->getLastErrorDetail().find("udev unavailable"), std::string::npos);
}

// A broken monitor socket does not end the watch in silence: it is said once, what it may have
// missed is looked for, and the watch goes on (with a new monitor, or by looking every few
// seconds until it has one again).
TEST_F(SerialManager, TheHotPlugWatchMendsABrokenSocketAndSaysSoOnce) {
    tavrick::PortWatch watch;
    std::string error;
    std::atomic<int> changes{0};
    testing::internal::CaptureStderr();
    if (!watch.start([&changes] { ++changes; }, error)) {
        testing::internal::GetCapturedStderr();
        GTEST_SKIP() << "no udev here: " << error;
    }
    auto waitFor = [&changes](int n, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (changes.load() < n && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
        return changes.load() >= n;
    };
    watch.breakForTests();
    EXPECT_TRUE(waitFor(1, 2s));
    watch.breakForTests();
    EXPECT_TRUE(waitFor(2, 2s));
    // The new monitor cannot be had: a look every few seconds stands in, and gets it back.
    watch.breakForTests(true);
    EXPECT_TRUE(waitFor(3, 2s));
    EXPECT_TRUE(waitFor(4, 6s)) << "no look while the monitor was gone";
    EXPECT_TRUE(watch.running());
    watch.stop();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("the watch for boards plugged in failed"), std::string::npos) << said;
    EXPECT_EQ(said.find("failed"), said.rfind("failed")) << "said more than once: " << said;
}

TEST_F(SerialManager, TheHotPlugWatchStartsAndStopsCleanly) {
    // Where the system has no device events (a container without udev), start says so.
    tavrick::PortWatch watch;
    std::string error;
    if (watch.start([] {}, error)) {
        EXPECT_TRUE(watch.running());
        watch.stop();
        EXPECT_FALSE(watch.running());
        watch.stop();  // twice is harmless
    } else {
        EXPECT_FALSE(error.empty());
    }
}
