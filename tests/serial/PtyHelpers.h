// Pseudo-terminal pairs stand in for the board: the writer opens the slave side by its path, the
// test reads what arrives on the master side.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ptytest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class PtyPair {
public:
    // keepSlave: hold our own slave descriptor. It keeps the line settings readable after the
    // writer has closed, but hides that close from the master side.
    explicit PtyPair(bool keepSlave = true);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }
    int slave() const { return slave_; }
    void closeMaster();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// Reads up to `count` bytes from the master side, giving up at the timeout; returns what came.
std::string readFor(int master, std::size_t count, std::chrono::milliseconds timeout);

// The far side as an interpreter, on a thread of its own: every byte echoed as it comes, "OK"
// after each line. What came and when each line ended are kept, so that the pauses can be
// checked; an answer the sender does not read waits, and never blocks the board.
class EchoBoard {
public:
    explicit EchoBoard(int master);
    ~EchoBoard();
    EchoBoard(const EchoBoard&) = delete;
    EchoBoard& operator=(const EchoBoard&) = delete;

    std::vector<Clock::time_point> lineTimes();
    std::string received();

private:
    void run();

    int master_;
    std::atomic<bool> done_{false};
    std::mutex mutex_;
    std::string received_;
    std::vector<Clock::time_point> times_;
    std::thread thread_;
};

}  // namespace ptytest
