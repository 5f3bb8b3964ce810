#pragma once
// One program, one field: the first start in a folder holds it for as long as it runs; a
// later start with the same folder hands its file (if any) to that copy and ends, so that two
// copies never save over each other's field. One file per platform: instance_linux.cpp (a
// lock file in the folder and a local socket), instance_win32.cpp (a named mutex and a window
// message). No engine: the caller says how to reach its main thread.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tavrick {

class SingleInstance {
public:
    enum class Role {
        First,       // this process holds the folder: listen() for the later starts
        HandedOver,  // the copy that holds it took the file (and came to the front): end
        NoAnswer,    // a copy holds it but did not answer in time (hung): never write its files
        Unguarded,   // the folder could not be locked (not writable...): as without this
    };

    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Claims `folder` (the program's own, ending with a separator). When another copy holds it,
    // hands it `file` (an absolute path, "" for none) and waits up to `patience` for its answer;
    // a copy that is still starting is waited for the same way.
    Role claim(const std::string& folder, const std::string& file, std::chrono::milliseconds patience);
    // Why the role is what it is, for standard error ("" for First).
    const std::string& detail() const { return detail_; }

    // Once First: a later start's file ("" for none) is given to `open`, which runs on the main
    // thread through `post` (a function that queues work for it and wakes it). The later start is
    // answered once `open` has run; one not run within the patience is dropped, never run late.
    // On Windows the message arrives on the thread that calls listen, which must be the main one.
    void listen(std::function<void(const std::string& file)> open,
                std::function<void(std::function<void()>)> post);

    // For tests: the name the lock and the socket (or mutex and window) are made from.
    static std::string keyFor(const std::string& folder);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string detail_;
};

}  // namespace tavrick
