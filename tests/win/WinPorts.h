// The COM ports run_under_wine.py sets up, and a reader for the far end of the null-modem pair.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <chrono>
#include <string>

namespace wintest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Port named by an environment variable the driver sets; fails the test when it is missing.
std::string portFromEnv(const char* variable);

// What is written to wireOut() comes out of wireIn(); silentPort() is read by nobody;
// absentPort() has no device behind it.
inline std::string wireOut() { return portFromEnv("TAVRICK_WIRE_OUT"); }
inline std::string wireIn() { return portFromEnv("TAVRICK_WIRE_IN"); }
inline std::string silentPort() { return portFromEnv("TAVRICK_SILENT_PORT"); }
inline std::string absentPort() { return portFromEnv("TAVRICK_ABSENT_PORT"); }

// Handles this process holds. Wine does not refuse a second open of a COM port as Windows
// does, so a port left open shows here rather than as a failed reopen.
DWORD openHandles();

// \\.\COMn opened like the writer opens it (no sharing); INVALID_HANDLE_VALUE on failure.
HANDLE openPort(const std::string& name);

class Port {
public:
    explicit Port(const std::string& name) : handle_(openPort(name)) {}
    ~Port() {
        if (isOpen()) CloseHandle(handle_);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE handle() const { return handle_; }

private:
    HANDLE handle_;
};

// The receiving end: reads return at once with what has arrived, so waits are ours.
class Reader {
public:
    explicit Reader(const std::string& name);
    bool isOpen() const { return port_.isOpen(); }

    // Up to `count` bytes, or fewer if the timeout passes first.
    std::string read(std::size_t count, std::chrono::milliseconds timeout);
    // Throws away whatever is waiting (bytes an earlier test left on the wire).
    void drain();
    // Sends bytes back the other way, as the board answers; false if they did not all go.
    bool write(const std::string& bytes);

private:
    Port port_;
};

// COM port devices registered in the device-setup database as a driver install would, so the
// real scan has something to find (wine has none). The prefix outlives a run, so leftovers of
// an interrupted one are removed on construction; everything added is removed on destruction.
class FakeComPorts {
public:
    FakeComPorts() { removeAll(); }
    ~FakeComPorts() { removeAll(); }
    FakeComPorts(const FakeComPorts&) = delete;
    FakeComPorts& operator=(const FakeComPorts&) = delete;

    // A null portName or description leaves that value out altogether.
    void add(const wchar_t* portName, const wchar_t* description);
    static void removeAll();

private:
    int next_ = 0;
};

}  // namespace wintest
