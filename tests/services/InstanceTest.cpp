// One program per field, between real processes and without a screen: the first copy holds the
// folder, a later start hands its file over, a stopped copy is not waited for beyond the
// patience and never opens the file late, and a copy that ends lets the next start hold it.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "SingleInstance.h"

using tavrick::SingleInstance;
using Role = SingleInstance::Role;
using namespace std::chrono;

namespace {

// What arrives on `fd` within `ms` ("" for nothing).
std::string readWithin(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return "";
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

// Waits until `pid` is stopped: a signal takes a moment to land.
bool stopped(pid_t pid) {
    for (int i = 0; i < 500; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        if (close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'T') return true;
        usleep(2000);
    }
    return false;
}

class Instance : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavrick-instance-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = std::string(pattern) + "/";
    }
    void TearDown() override {
        if (holder > 0) {
            kill(holder, SIGCONT);
            kill(holder, SIGKILL);
            waitpid(holder, nullptr, 0);
        }
        std::system(("rm -rf '" + folder + "'").c_str());
    }

    // A copy of the program in a process of its own that holds `folder` and writes every file
    // handed to it on `opened`, each followed by a newline. With `busyMs`, its main thread
    // takes each handed file only that long after it was queued (a main thread that hangs).
    void startHolder(int busyMs = 0) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        ASSERT_EQ(pipe(opened), 0);
        holder = fork();
        ASSERT_GE(holder, 0);
        if (holder == 0) {
            SingleInstance me;
            if (me.claim(folder, "", milliseconds(2000)) != Role::First) _exit(1);
            const int out = opened[1];
            // The main thread's queue, here run on the listener's thread: at once, or later.
            me.listen([out](const std::string& file) { (void)!write(out, (file + "\n").data(), file.size() + 1); },
                      [busyMs](std::function<void()> work) {
                          if (busyMs == 0) return work();
                          std::thread([busyMs, work] {
                              std::this_thread::sleep_for(milliseconds(busyMs));
                              work();
                          }).detach();
                      });
            (void)!write(ready[1], "r", 1);
            for (;;) pause();
        }
        close(ready[1]);
        close(opened[1]);
        ASSERT_EQ(readWithin(ready[0], 5000), "r") << "the first copy did not take the folder";
        close(ready[0]);
    }

    std::string folder;
    pid_t holder = -1;
    int opened[2] = {-1, -1};
};

}  // namespace

TEST_F(Instance, ALaterStartHandsItsFileToTheCopyThatHoldsTheField) {
    startHolder();
    SingleInstance later;
    EXPECT_EQ(later.claim(folder, "/home/pupil/lesson one.cards", milliseconds(3000)), Role::HandedOver)
        << later.detail();
    EXPECT_EQ(readWithin(opened[0], 3000), "/home/pupil/lesson one.cards\n");
    // Without a file: the copy is only brought to the front.
    SingleInstance bare;
    EXPECT_EQ(bare.claim(folder, "", milliseconds(3000)), Role::HandedOver);
    EXPECT_EQ(readWithin(opened[0], 3000), "\n");
    // Another folder is another field.
    SingleInstance elsewhere;
    EXPECT_EQ(elsewhere.claim(folder + "../", "", milliseconds(3000)), Role::First);
}

TEST_F(Instance, AStoppedCopyIsGivenUpOnAndNeverOpensTheFileLate) {
    startHolder();
    ASSERT_EQ(kill(holder, SIGSTOP), 0);
    ASSERT_TRUE(stopped(holder));
    SingleInstance later;
    const auto t0 = steady_clock::now();
    EXPECT_EQ(later.claim(folder, "/tmp/late.cards", milliseconds(600)), Role::NoAnswer);
    const auto took = duration_cast<milliseconds>(steady_clock::now() - t0).count();
    EXPECT_GE(took, 550);
    EXPECT_LT(took, 3000);
    EXPECT_NE(later.detail().find("did not answer"), std::string::npos) << later.detail();
    // Going on, the first copy drops what it was told while it was stopped.
    ASSERT_EQ(kill(holder, SIGCONT), 0);
    EXPECT_EQ(readWithin(opened[0], 1000), "");
    // ...and still answers the next start.
    SingleInstance next;
    EXPECT_EQ(next.claim(folder, "/tmp/next.cards", milliseconds(3000)), Role::HandedOver);
    EXPECT_EQ(readWithin(opened[0], 3000), "/tmp/next.cards\n");
}

// The copy's process runs, its listener hears, but its main thread does not take the file in
// time: the later start goes on alone, and the file is not opened when the main thread wakes.
TEST_F(Instance, ACopyWhoseMainThreadHangsIsGivenUpOnToo) {
    startHolder(1500);
    SingleInstance later;
    EXPECT_EQ(later.claim(folder, "/tmp/late.cards", milliseconds(600)), Role::NoAnswer);
    EXPECT_EQ(readWithin(opened[0], 2500), "");
}

TEST_F(Instance, ACopyThatEndsLetsTheNextStartHoldTheField) {
    startHolder();
    kill(holder, SIGKILL);  // however it ends, the lock goes with it
    waitpid(holder, nullptr, 0);
    holder = -1;
    SingleInstance next;
    EXPECT_EQ(next.claim(folder, "/tmp/a.cards", milliseconds(3000)), Role::First) << next.detail();
}

TEST_F(Instance, AFolderThatCannotHoldALockIsUnguarded) {
    SingleInstance me;
    EXPECT_EQ(me.claim(folder + "no-such-folder/", "", milliseconds(500)), Role::Unguarded);
    EXPECT_NE(me.detail().find("instance.lock"), std::string::npos) << me.detail();
}
