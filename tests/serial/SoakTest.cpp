// Many sends in a row: every one arrives byte for byte and leaves no engine object behind.
#include <string>

#include "PtyHelpers.h"
#include "SerialManagerFixture.h"

namespace {

using Soak = SerialManagerFixture;

TEST_F(Soak, TwoHundredSendsArriveWholeAndLeaveNoObjectBehind) {
    ptytest::PtyPair pty;
    manager->setScanFunction([&] { return std::vector<tavrick::PortInfo>{{pty.slavePath(), "Board"}}; });
    ASSERT_TRUE(manager->scanPorts([](bool) {}));
    ASSERT_TRUE(pumpUntil([&] { return !manager->isBusy(); }));
    long live = -1;
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
        CallbackLog log;
        ASSERT_TRUE(manager->sendQueued(log.callback())) << "send " << i;
        const std::string got = ptytest::readFor(pty.master(), expected.size(), std::chrono::seconds(10));
        ASSERT_TRUE(pumpUntil([&] { return log.calls > 0; })) << "send " << i;
        ASSERT_EQ(got, expected) << "send " << i;
        ASSERT_TRUE(log.lastValue);
        ASSERT_EQ(log.calls, 1);
        cocos2d::PoolManager::getInstance()->getCurrentPool()->clear();
        if (live < 0) live = cocos2d::Ref::getLiveCount();
        ASSERT_EQ(cocos2d::Ref::getLiveCount(), live) << "send " << i;
    }
}

}  // namespace
