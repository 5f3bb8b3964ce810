// Many sends in a row: every one arrives byte for byte and the process does not grow.
#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "PtyHelpers.h"
#include "SerialManagerFixture.h"

namespace {

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// What the program holds from the allocator: the same whether or not it runs under emulation,
// where the resident size is the emulator's (it keeps some memory per thread ever started).
long heapInUseKb() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long>((m.uordblks + m.hblkhd) / 1024);
}

class Soak : public SerialManagerFixture {};

TEST_F(Soak, TwoHundredSendsArriveWholeAndMemoryStaysFlat) {
    ptytest::PtyPair pty;
    manager->setScanFunction([&] { return std::vector<tavrick::PortInfo>{{pty.slavePath(), "Board"}}; });
    ASSERT_TRUE(manager->scanPorts([](bool) {}));
    ASSERT_TRUE(pumpUntil([&] { return !manager->isBusy(); }));
    [[maybe_unused]] long after10 = 0, heapAfter10 = 0;  // measured in the plain build only
    for (int i = 0; i < 200; ++i) {
        // A Velto program with its pauses left out: the writer's work, not the board's.
        const std::string lines[] = {"cat uart > .\n", "led(1);sleep(1000);\n",
                                     "led(0);sleep(" + std::to_string(i) + ");\n", "\x04", "ms .\n"};
        std::string expected;
        manager->sendQueue.clear();
        for (const std::string& l : lines) {
            manager->sendQueue.pushBack(SendData::create(l, 0));
            expected += l;
        }
        int calls = 0;
        bool ok = false;
        ASSERT_TRUE(manager->sendQueued([&](bool sent) {
            ++calls;
            ok = sent;
        })) << "send " << i;
        const std::string got = ptytest::readFor(pty.master(), expected.size(), std::chrono::seconds(10));
        ASSERT_TRUE(pumpUntil([&] { return calls > 0; })) << "send " << i;
        ASSERT_EQ(got, expected) << "send " << i;
        ASSERT_TRUE(ok);
        ASSERT_EQ(calls, 1);
        cocos2d::PoolManager::getInstance()->getCurrentPool()->clear();
        if (i == 9) {
            after10 = residentKb();
            heapAfter10 = heapInUseKb();
        }
    }
#if !defined(__SANITIZE_ADDRESS__)
    // The sanitizer keeps freed memory aside on purpose; only the plain build is measured.
    EXPECT_LT(heapInUseKb() - heapAfter10, 256);
    if (!std::getenv("TAVRICK_EMULATED")) {
        EXPECT_LT(residentKb() - after10, 1024);
    }
#endif
}

}  // namespace
