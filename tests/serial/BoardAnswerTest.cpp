// What the board says back, heard while the program goes out and a moment after; and a stop (or
// the program's end) that leaves the board ready for the next send. Over pseudo-terminals.
#include <unistd.h>

#include <future>
#include <thread>

#include "PtyHelpers.h"
#include "SerialManagerFixture.h"

using namespace ptytest;
using tavrick::BoardReplies;
using tavrick::PortInfo;
using tavrick::PortKind;
using tavrick::SerialError;
using tavrick::SerialLine;

namespace {

class BoardAnswer : public SerialManagerFixture {
protected:
    void SetUp() override {
        SerialManagerFixture::SetUp();
        TavrickCardSerialManager::Listener listener;
        listener.answerEnded = [this](bool heard) { answers.push_back(heard); };
        manager->setListener(this, listener);
    }

    std::vector<std::string> said() const { return manager->getBoardReplies().lines(); }

    std::vector<bool> answers;
};

}  // namespace

TEST_F(BoardAnswer, TheEchoComesBackWholeAndThePausesAreKept) {
    PtyPair pty;
    EchoBoard board(pty.master());
    scanWith({{pty.slavePath(), "board", PortKind::Usb}});
    queue({{"NEW\r\n", 200}, {"10 LED 1\r\n", 200}, {"RUN\r\n", 0}});
    CallbackLog send;
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 0; }));
    EXPECT_TRUE(send.lastValue) << manager->getLastErrorDetail();
    // The send is over for the screen at once, while the board is still heard: the answer's
    // second does not hold up the send.
    EXPECT_TRUE(manager->isListening());
    EXPECT_FALSE(manager->isBusy());
    EXPECT_TRUE(answers.empty());
    ASSERT_TRUE(pumpUntil([&] { return !manager->isListening(); }));
    EXPECT_EQ(answers, std::vector<bool>{true});

    EXPECT_EQ(said(), (std::vector<std::string>{"NEW", "OK", "10 LED 1", "OK", "RUN", "OK"}));
    EXPECT_EQ(manager->getBoardReplies().endedLines(), 6u);
    const std::vector<Clock::time_point> times = board.lineTimes();
    ASSERT_EQ(times.size(), 3u);
    EXPECT_GE(times[1] - times[0], 195ms);
    EXPECT_GE(times[2] - times[1], 195ms);
}

TEST_F(BoardAnswer, AnEchoLargerThanEveryBufferDoesNotStallTheSend) {
    // Unread, the echo would fill the terminal's input, the board would stop taking bytes and
    // the send would end as "stopped answering".
    PtyPair pty;
    EchoBoard board(pty.master());
    std::string longLine(256 * 1024, 'x');
    longLine += "\r\n";
    scanWith({{pty.slavePath(), "board", PortKind::Usb}});
    queue({{longLine.c_str(), 0}, {"RUN\r\n", 0}});
    manager->setWriteOptions(tavrick::WriteOptions{1000ms, 300ms});
    CallbackLog send;
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 0; }, 20s));
    EXPECT_TRUE(send.lastValue) << manager->getLastErrorDetail();
    ASSERT_TRUE(pumpUntil([&] { return !manager->isListening(); }));
    EXPECT_EQ(board.received(), longLine + "RUN\r\n");
    const std::vector<std::string> lines = said();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], std::string(BoardReplies::kMaxLineBytes, 'x') + "...");
    EXPECT_EQ(lines[1], "OK");
    EXPECT_EQ(lines[2], "RUN");
}

TEST_F(BoardAnswer, ASilentBoardIsToldAsNothingHeardAndALateAnswerWithinTheSecondIsHeard) {
    PtyPair pty;
    scanWith({{pty.slavePath(), "board", PortKind::Usb}});
    queue({{"RUN\r\n", 0}});
    CallbackLog send;
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    ASSERT_TRUE(pumpUntil([&] { return !manager->isListening() && send.calls > 0; }));
    EXPECT_TRUE(send.lastValue);
    EXPECT_EQ(answers, std::vector<bool>{false});
    EXPECT_TRUE(said().empty());
    EXPECT_FALSE(manager->getBoardReplies().heardAnything());
    EXPECT_EQ(readFor(pty.master(), 5, 1s), "RUN\r\n");

    // An answer half a second after the send still counts; one after the second does not.
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 1; }));
    EXPECT_EQ(readFor(pty.master(), 5, 1s), "RUN\r\n");
    std::this_thread::sleep_for(400ms);
    ASSERT_EQ(::write(pty.master(), "Ready\r\n", 7), 7);
    ASSERT_TRUE(pumpUntil([&] { return !manager->isListening(); }));
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(::write(pty.master(), "Late\r\n", 6), 6);
    for (int i = 0; i < 3; ++i) tick();
    EXPECT_EQ(said(), std::vector<std::string>{"Ready"});
    EXPECT_EQ(answers, (std::vector<bool>{false, true}));
}

TEST_F(BoardAnswer, ASendOrAScanMeanwhileEndsTheListeningAndTheNextSendIsHeardAlone) {
    PtyPair pty;
    EchoBoard board(pty.master());
    scanWith({{pty.slavePath(), "board", PortKind::Usb}});
    queue({{"NEW\r\n", 0}});
    CallbackLog send;
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 0; }));
    ASSERT_TRUE(manager->isListening());
    queue({{"RUN\r\n", 0}});
    const auto asked = Clock::now();
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    EXPECT_LT(Clock::now() - asked, 200ms) << "ending the listening must not block the screen";
    EXPECT_EQ(answers.size(), 1u);
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 1 && !manager->isListening(); }));
    EXPECT_EQ(said(), (std::vector<std::string>{"RUN", "OK"}));

    ASSERT_TRUE(manager->sendQueued(send.callback()));
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 2; }));
    ASSERT_TRUE(manager->isListening());
    CallbackLog scan;
    ASSERT_TRUE(manager->scanPorts(scan.callback()));
    EXPECT_FALSE(manager->isListening());
    ASSERT_TRUE(pumpUntil([&] { return scan.calls > 0; }));
    EXPECT_EQ(answers.size(), 3u);
}

// A Velto send opens the board's capture with its first line and closes it with Ctrl-D: a stop
// in between still sends the Ctrl-D (the board is not left taking a script), never "ms .".
TEST_F(BoardAnswer, AVeltoSendStoppedBeforeItsCtrlDEndsWithTheCtrlDAndDoesNotRun) {
    PtyPair pty;
    scanWith({{pty.slavePath(), "board", PortKind::Usb}});
    auto veltoQueue = [this](int pauseAfterCard) {
        manager->sendQueue.clear();
        manager->sendQueue.pushBack(SendData::create("cat uart > .\n", 0));
        manager->sendQueue.pushBack(SendData::create("led(1);\n", pauseAfterCard));
        manager->sendQueue.pushBack(SendData::create("led(0);\n", 0));
        SendData* end = SendData::create("\x04", 2000);
        end->closing = true;
        manager->sendQueue.pushBack(end);
        manager->sendQueue.pushBack(SendData::create("ms .\n", 0));
    };
    // Stopped in the pause after a card line.
    veltoQueue(600000);
    CallbackLog send;
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    ASSERT_EQ(readFor(pty.master(), 21, 5s), "cat uart > .\nled(1);\n");
    ASSERT_TRUE(pumpUntil([&] { return manager->getLinesWritten() == 2; }));
    manager->stopSend();
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 0; }));
    EXPECT_FALSE(send.lastValue);
    EXPECT_EQ(manager->getLastError(), SerialError::Stopped);
    EXPECT_EQ(readFor(pty.master(), 10, 500ms), "\x04") << "the Ctrl-D, and nothing after it";
    EXPECT_EQ(manager->getLinesWritten(), 3);

    // Stopped in the Ctrl-D's own pause: it is out already; "ms ." does not follow.
    veltoQueue(0);
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    ASSERT_EQ(readFor(pty.master(), 30, 5s), "cat uart > .\nled(1);\nled(0);\n\x04");
    ASSERT_TRUE(pumpUntil([&] { return manager->getLinesWritten() == 4; }));
    manager->stopSend();
    ASSERT_TRUE(pumpUntil([&] { return send.calls > 1; }));
    EXPECT_EQ(manager->getLastError(), SerialError::Stopped);
    EXPECT_EQ(readFor(pty.master(), 10, 500ms), "");
}

TEST_F(BoardAnswer, AStopBeforeTheFirstLineSendsNothingAtAll) {
    PtyPair pty;
    tavrick::StopSignal stop;
    stop.stop();
    std::atomic<int> written{0};
    std::vector<SerialLine> lines{{"cat uart > .\n", 0}, {"\x04", 0, true}, {"ms .\n", 0}};
    const tavrick::SendOutcome outcome =
        tavrick::writeSerialLines(pty.slavePath(), lines, written, {}, &stop);
    EXPECT_EQ(outcome.error, SerialError::Stopped);
    EXPECT_EQ(written.load(), 0);
    EXPECT_EQ(readFor(pty.master(), 1, 200ms), "");
}

// Closing the window during a send: the line on the wire is finished, the Ctrl-D follows, and
// the program waits no longer than about a second for it.
TEST_F(BoardAnswer, ShutdownDuringASendFinishesTheLineSendsTheCtrlDAndReturnsWithinASecond) {
    PtyPair pty;
    scanWith({{pty.slavePath(), "board", PortKind::Usb}});
    const std::string longLine(64 * 1024, 'x');
    manager->sendQueue.clear();
    manager->sendQueue.pushBack(SendData::create("cat uart > .\n", 0));
    manager->sendQueue.pushBack(SendData::create(longLine + "\n", 0));
    manager->sendQueue.pushBack(SendData::create("led(0);\n", 0));
    SendData* end = SendData::create("\x04", 2000);
    end->closing = true;
    manager->sendQueue.pushBack(end);
    manager->sendQueue.pushBack(SendData::create("ms .\n", 0));
    CallbackLog send;
    ASSERT_TRUE(manager->sendQueued(send.callback()));
    ASSERT_EQ(readFor(pty.master(), 13 + 1024, 5s).size(), 13u + 1024);
    // The far side goes on reading while the window closes.
    const std::size_t left = longLine.size() - 1024 + 2;  // the rest of the line, its LF, Ctrl-D
    auto rest = std::async(std::launch::async, [&] { return readFor(pty.master(), left + 1, 3s); });
    const auto asked = Clock::now();
    manager->shutdown();
    EXPECT_LT(Clock::now() - asked, 1500ms);
    EXPECT_FALSE(manager->isBusy());
    EXPECT_EQ(rest.get(), std::string(longLine.size() - 1024, 'x') + "\n\x04");
    EXPECT_EQ(send.calls, 0) << "nobody is called back at the end";
}

TEST(BoardRepliesLines, LinesEndAtCrLfOrEitherAloneAndAreKeptWithinTheirLimits) {
    BoardReplies r;
    EXPECT_FALSE(r.heardAnything());
    const char bytes[] = "OK\r\n> \x04\x1b" "led(1);\rERROR: syntax\nhalf";
    r.add(bytes, sizeof bytes - 1);
    EXPECT_TRUE(r.heardAnything());
    EXPECT_EQ(r.lines(), (std::vector<std::string>{"OK", "> led(1);", "ERROR: syntax", "half"}));
    EXPECT_EQ(r.endedLines(), 3u);
    r.add("\r", 1);
    r.add("\n", 1);  // the LF of a CR LF split over two reads ends nothing more
    EXPECT_EQ(r.endedLines(), 4u);

    // Long lines are cut, and never in the middle of a character.
    r.clear();
    std::string line(BoardReplies::kMaxLineBytes - 1, 'a');
    line += "\xc3\xa9\xc3\xa9 and more\n";
    r.add(line.data(), line.size());
    EXPECT_EQ(r.lines(), std::vector<std::string>{std::string(BoardReplies::kMaxLineBytes - 1, 'a') + "..."});

    // Only the newest lines are kept, though all are counted.
    r.clear();
    for (int i = 0; i < 250; ++i) {
        const std::string l = std::to_string(i) + "\n";
        r.add(l.data(), l.size());
    }
    const std::vector<std::string> kept = r.lines();
    ASSERT_EQ(kept.size(), BoardReplies::kMaxLines);
    EXPECT_EQ(kept.front(), "50");
    EXPECT_EQ(kept.back(), "249");
    EXPECT_EQ(r.endedLines(), 250u);
    // A byte that shows as nothing is still an answer.
    r.clear();
    r.add("\x04", 1);
    EXPECT_TRUE(r.heardAnything());
    EXPECT_TRUE(r.lines().empty());
}
