// The termios writer against real pseudo-terminals: bytes, pauses, line settings and the ways a
// port can fail.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <future>
#include <iterator>

#include "PtyHelpers.h"
#include "SerialLink.h"
#include "SerialManagerFixture.h"

using namespace ptytest;
using tavrick::SerialError;
using tavrick::SerialLine;
using tavrick::SendOutcome;

using serialtest::AsyncWrite;
using serialtest::writeNow;

TEST(SerialWriter, ExampleProgramArrivesExactlyWithItsPauses) {
    PtyPair pty;
    serialtest::checkExampleProgramArrivesWithItsPauses(
        pty.slavePath(), [&pty](std::size_t n, std::chrono::milliseconds t) { return readFor(pty.master(), n, t); });
}

// No pause, or a negative one, is no pause (how short the send is, the benchmark measures);
// a name without a slash is a device under /dev.
TEST(SerialWriter, LinesWithNoOrANegativePauseAllArriveAtADeviceNamedWithoutDev) {
    PtyPair pty;
    ASSERT_EQ(pty.slavePath().rfind("/dev/", 0), 0u);
    SendOutcome outcome = writeNow(pty.slavePath().substr(5), {{"A\r\n", 0}, {"B\r\n", -5}, {"C\r\n", 0}});
    EXPECT_TRUE(outcome.ok()) << outcome.detail;
    EXPECT_EQ(readFor(pty.master(), 9, 2s), "A\r\nB\r\nC\r\n");
}

TEST(SerialWriter, BytesPassUntranslatedAndLineIsSetTo115200Raw) {
    PtyPair pty;
    // Lone LF and CR, tab, NUL, XON/XOFF, DEL and a high byte: a cooked terminal would change or
    // eat every one of them.
    const char raw[] = "LED 1\nWAIT 5\r\t\x00\x11\x13\x7f\xff end";
    const std::string awkward(raw, sizeof raw - 1);
    SendOutcome outcome = writeNow(pty.slavePath(), {{awkward, 0}, {"\n", 0}});
    EXPECT_TRUE(outcome.ok()) << outcome.detail;
    EXPECT_EQ(readFor(pty.master(), awkward.size() + 1, 2s), awkward + "\n");

    termios tio{};
    ASSERT_EQ(tcgetattr(pty.slave(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
}

TEST(SerialWriter, LineLargerThanTheKernelBufferArrivesWhole) {
    // The pty takes a few dozen kilobytes per write, so this line needs many partial writes.
    std::string big(300 * 1024, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
    PtyPair pty;
    AsyncWrite send(pty.slavePath(), {{big, 0}, {"END\r\n", 0}});
    EXPECT_TRUE(readFor(pty.master(), big.size() + 5, 10s) == big + "END\r\n")
        << "bytes lost or reordered";
    SendOutcome outcome = send.get();
    EXPECT_TRUE(outcome.ok()) << outcome.detail;
}

TEST(SerialWriter, RefusesWhatIsNotAPortAndWritesNothing) {
    for (const std::string& name : {std::string(), std::string("../tmp/x"),
                                    std::string("pts/../../etc/hostname"),
                                    std::string("pts/0\0/x", 9)}) {
        EXPECT_EQ(writeNow(name, {{"X", 0}}).error, SerialError::InvalidName) << name;
    }

    SendOutcome absent = writeNow("/dev/tavrick-no-such-port", {{"X\r\n", 0}});
    EXPECT_EQ(absent.error, SerialError::NotConnected);
    EXPECT_NE(absent.detail.find("/dev/tavrick-no-such-port"), std::string::npos);

    char path[] = "/tmp/tavrick-serial-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "keep", 4), 4);
    ::close(fd);
    EXPECT_EQ(writeNow(path, {{"NEW\r\n", 0}}).error, SerialError::NotSerialPort);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
    std::remove(path);
}

TEST(SerialWriter, PortIsHeldExclusively) {
    PtyPair pty;
    {
        // Another program holds it: refused, and nothing reaches the board.
        int other = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(other, 0);
        ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
        ASSERT_EQ(ioctl(other, TIOCEXCL), 0);
        EXPECT_EQ(writeNow(pty.slavePath(), {{"NEW\r\n", 0}}).error, SerialError::InUse);
        EXPECT_EQ(readFor(pty.master(), 1, 100ms), "");
        ioctl(other, TIOCNXCL);
        ::close(other);
    }
    // And while we send, nobody else gets it.
    AsyncWrite send(pty.slavePath(), {{"A\r\n", 400}});
    ASSERT_EQ(readFor(pty.master(), 3, 5s), "A\r\n");
    int other = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
    EXPECT_TRUE(send.get().ok());
}

TEST(SerialWriter, FarSideClosedMidSendFails) {
    PtyPair pty;
    AsyncWrite send(pty.slavePath(), {{"A\r\n", 300}, {"B\r\n", 0}, {"C\r\n", 0}});
    ASSERT_EQ(readFor(pty.master(), 3, 5s), "A\r\n");
    pty.closeMaster();
    SendOutcome outcome = send.get();
    EXPECT_EQ(outcome.error, SerialError::NotConnected) << outcome.detail;
    EXPECT_EQ(send.written.load(), 1);
}
