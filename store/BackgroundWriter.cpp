#include "BackgroundWriter.h"

#include <cstdio>
#include <system_error>

#include "files.h"

namespace tavrick {

BackgroundWriter::~BackgroundWriter() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stop = true;
    }
    _wake.notify_all();
    if (_thread.joinable()) _thread.join();
}

void BackgroundWriter::write(const std::string& path, std::string text) {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _path = path;
        _text = std::move(text);
        _pending = true;
        // Started on first use: a run that changes nothing never makes the thread.
        if (!_thread.joinable() && !_noThread) {
            try {
                _thread = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                _noThread = true;  // a system without threads (the page): written here instead
            }
        }
    }
    if (_noThread) {
        writePendingHere();
        return;
    }
    _wake.notify_one();
}

void BackgroundWriter::writePendingHere() {
    std::string path, text;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (!_pending) return;
        path = _path;
        text = std::move(_text);
        _pending = false;
    }
    std::string error;
    if (!writeFileAtomically(path, text, error)) std::fprintf(stderr, "tavrick-cards: %s\n", error.c_str());
    std::lock_guard<std::mutex> lock(_mutex);
    _error = error;
    ++_completed;
}

void BackgroundWriter::flush() {
    std::unique_lock<std::mutex> lock(_mutex);
    _done.wait(lock, [this] { return !_pending && !_busy; });
}

unsigned long BackgroundWriter::completed() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _completed;
}

std::string BackgroundWriter::lastError() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _error;
}

void BackgroundWriter::run() {
    std::unique_lock<std::mutex> lock(_mutex);
    for (;;) {
        _wake.wait(lock, [this] { return _pending || _stop; });
        if (!_pending) return;  // stopping with nothing left to write
        const std::string path = _path;
        const std::string text = std::move(_text);
        _pending = false;
        _busy = true;
        lock.unlock();
        std::string error;
        if (!writeFileAtomically(path, text, error)) std::fprintf(stderr, "tavrick-cards: %s\n", error.c_str());
        lock.lock();
        _busy = false;
        _error = error;
        ++_completed;
        _done.notify_all();
    }
}

}  // namespace tavrick
