#pragma once
// Writes a file off the main thread, atomically, newest text wins: the frame hands over a
// string and goes on, however slow the disk is.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tavrick {

class BackgroundWriter {
public:
    BackgroundWriter() = default;
    // Writes what is still pending before it goes.
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // Queues `text` for `path`, replacing any text not yet taken up. Cheap: no disk work.
    void write(const std::string& path, std::string text);
    // Blocks until everything queued so far is on disk (or failed). For exit and tests.
    void flush();
    // How many writes finished, and the last failure ("" when the last write succeeded).
    unsigned long completed() const;
    std::string lastError() const;

private:
    void run();
    // Without a thread: writes what is pending on the caller's thread.
    void writePendingHere();

    mutable std::mutex _mutex;
    std::condition_variable _wake, _done;
    std::thread _thread;
    bool _pending = false, _busy = false, _stop = false;
#ifdef TAVRICK_NO_THREADS
    bool _noThread = true;
#else
    bool _noThread = false;
#endif
    std::string _path, _text, _error;
    unsigned long _completed = 0;
};

}  // namespace tavrick
