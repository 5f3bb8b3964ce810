// What the desktop backends (Linux, Win32) share: a send that blocks its worker thread, and a
// system that always has serial ports to list.
#include "SerialLink.h"

namespace tavrick {

void sendSerialLines(const std::string& portName, const std::vector<SerialLine>& lines,
                     std::atomic<int>& linesWritten, const WriteOptions& options, StopSignal* stop,
                     BoardReplies* replies, const std::function<void(const SendOutcome&)>& sent,
                     const std::function<void(const SendOutcome&)>& ended) {
    ended(writeSerialLines(portName, lines, linesWritten, options, stop, replies, sent));
}

bool serialLinkAvailable() { return true; }

bool canAskForPort() { return false; }

void askForPort() {}

}  // namespace tavrick
