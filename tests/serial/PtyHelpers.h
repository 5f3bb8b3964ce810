// Pseudo-terminal pairs stand in for the board: the writer opens the slave side by its path, the
// test reads what arrives on the master side.
#pragma once

#include <chrono>
#include <string>

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

}  // namespace ptytest
