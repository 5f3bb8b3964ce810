// The Win32 writer over COM ports that wine maps to pseudo-terminals: bytes, pauses, the line
// settings it leaves behind, and the ways a port can fail.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "SerialLink.h"
#include "SerialManagerFixture.h"
#include "WinPorts.h"

using namespace wintest;
using tavrick::SendOutcome;
using tavrick::SerialError;
using tavrick::SerialLine;

using serialtest::AsyncWrite;
using serialtest::writeNow;

namespace {

class SerialWriterWin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(in.isOpen()) << "cannot open " << wireIn();
        in.drain();
    }
    Reader in{wireIn()};
};

}  // namespace

TEST_F(SerialWriterWin, ExampleProgramArrivesExactlyWithItsPauses) {
    serialtest::checkExampleProgramArrivesWithItsPauses(
        wireOut(), [this](std::size_t n, std::chrono::milliseconds t) { return in.read(n, t); });
}

TEST_F(SerialWriterWin, EveryByteValuePassesUntranslatedAndLinesWithoutPauseAllArrive) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    // NUL first: a writer that measured the line as a C string would send nothing of it.
    const DWORD handlesBefore = openHandles();
    SendOutcome outcome = writeNow(wireOut(), {{all, 0}, {"\n", -5}, {"\r", 0}});
    EXPECT_TRUE(outcome.ok()) << outcome.detail;
    EXPECT_EQ(openHandles(), handlesBefore) << "the port must be closed at the end";
    EXPECT_EQ(in.read(258, 5s), all + "\n\r");
}

// Whatever another program left in the driver, the line is set as the Linux writer sets it:
// 115200 8N1, no CTS, DSR or XON/XOFF flow control, no abort on error, the usual ^Q and ^S.
TEST_F(SerialWriterWin, SetsEveryLineSettingAsOnLinuxWhateverWasLeftBefore) {
    {
        Port port(wireOut());
        ASSERT_TRUE(port.isOpen());
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(port.handle(), &dcb));
        dcb.BaudRate = 9600;
        dcb.ByteSize = 7;
        dcb.Parity = EVENPARITY;
        dcb.StopBits = TWOSTOPBITS;
        dcb.fOutxCtsFlow = TRUE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.fOutX = TRUE;
        dcb.fInX = TRUE;
        dcb.fAbortOnError = TRUE;
        dcb.XonChar = 0x01;
        dcb.XoffChar = 0x02;
        ASSERT_TRUE(SetCommState(port.handle(), &dcb));
    }
    SendOutcome outcome = writeNow(wireOut(), {{"RUN\r\n", 0}});
    ASSERT_TRUE(outcome.ok()) << outcome.detail;
    EXPECT_EQ(in.read(5, 5s), "RUN\r\n");

    Port port(wireOut());
    ASSERT_TRUE(port.isOpen());
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port.handle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_FALSE(dcb.fOutxCtsFlow);
    EXPECT_FALSE(dcb.fOutxDsrFlow);
    EXPECT_NE(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_FALSE(dcb.fOutX);
    EXPECT_FALSE(dcb.fInX);
    EXPECT_FALSE(dcb.fAbortOnError);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
}

// The board's answer comes back over the same port while the program goes out and in the
// second after; the pause is kept all the same.
TEST_F(SerialWriterWin, HearsTheBoardDuringTheSendAndTheSecondAfter) {
    tavrick::BoardReplies replies;
    tavrick::StopSignal stop;
    std::atomic<int> written{0};
    std::atomic<bool> sent{false};
    const auto start = Clock::now();
    auto send = std::async(std::launch::async, [&] {
        return tavrick::writeSerialLines(wireOut(), {{"NEW\r\n", 400}, {"RUN\r\n", 0}}, written, {}, &stop,
                                         &replies, [&sent](const SendOutcome&) { sent = true; });
    });
    ASSERT_EQ(in.read(5, 5s), "NEW\r\n");
    ASSERT_TRUE(in.write("NEW\r\nOK\r\n"));
    ASSERT_EQ(in.read(5, 5s), "RUN\r\n");
    EXPECT_GE(Clock::now() - start, 400ms);
    const auto deadline = Clock::now() + 5s;
    while (!sent && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(sent);
    ASSERT_TRUE(in.write("RUN\r\nOK\r\n"));
    ASSERT_EQ(send.wait_for(10s), std::future_status::ready);
    const SendOutcome outcome = send.get();
    EXPECT_TRUE(outcome.ok()) << outcome.detail;
    EXPECT_EQ(replies.lines(), (std::vector<std::string>{"NEW", "OK", "RUN", "OK"}));
}

TEST(SerialWriterWinFailure, PortsThatCannotBeUsedFailWithTheReasonAndWriteNothing) {
    Reader in(wireIn());
    ASSERT_TRUE(in.isOpen());
    in.drain();

    const DWORD handlesBefore = openHandles();
    EXPECT_EQ(writeNow(absentPort(), {{"NEW\r\n", 0}}).error, SerialError::NotConnected);
    // A device that opens but is no serial port: its settings cannot be read.
    EXPECT_EQ(writeNow("NUL", {{"NEW\r\n", 0}}).error, SerialError::NotSerialPort);
    // Names the conversion would cut short could open some other device.
    for (const std::string& name : {std::string(), std::string(200, 'C'),
                                    std::string("COM1\0x", 6)}) {
        EXPECT_EQ(writeNow(name, {{"NEW\r\n", 0}}).error, SerialError::InvalidName) << name.size();
    }
    EXPECT_EQ(openHandles(), handlesBefore) << "NUL was opened; it must be closed again";
    EXPECT_EQ(in.read(1, 200ms), "");
}

TEST(SerialWriterWinFailure, BoardThatTakesNoBytesEndsTheSendByTheDeadlineAndLetsThePortGo) {
    // Far more than a pseudo-terminal buffers, so the writer must stall.
    const std::string flood(512 * 1024, 'x');
    const DWORD handlesBefore = openHandles();
    std::atomic<int> written{0};
    SendOutcome outcome = tavrick::writeSerialLines(silentPort(), {{flood, 0}, {"RUN\r\n", 0}},
                                                    written, tavrick::WriteOptions{300ms});
    EXPECT_EQ(outcome.error, SerialError::StoppedAnswering) << outcome.detail;
    EXPECT_EQ(written.load(), 0);
    EXPECT_EQ(openHandles(), handlesBefore);
}
