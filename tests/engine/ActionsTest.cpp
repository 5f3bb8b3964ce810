#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "SceneDriver.h"

using namespace cocos2d;

namespace {

class Actions : public ::testing::Test {
protected:
    void SetUp() override {
        scenetest::useOffscreenView();
        root = Layer::create();
        scenetest::runScene(root);
        node = Node::create();
        root->addChild(node);
    }
    void TearDown() override { scenetest::resetEngine(); }
    Layer* root = nullptr;
    Node* node = nullptr;
};

// Plain and eased, a move stays between its start and its target, never turns back, and
// ends exactly on the target.
TEST_F(Actions, AMoveStaysOnItsWayAndEndsExactlyOnItsTarget) {
    for (bool eased : {false, true}) {
        node->setPosition(0.1f, 0.7f);
        ActionInterval* move = MoveTo::create(0.2f, Vec2(1000.3f, 123.456f));
        node->runAction(eased ? EaseExponentialOut::create(move) : move);
        float last = node->getPositionX();
        for (int i = 0; i < 30; ++i) {
            scenetest::stepFrames(1, 0.01f);
            const Vec2 p = node->getPosition();
            EXPECT_GE(p.x, last) << eased << " frame " << i;
            EXPECT_LE(p.x, 1000.3f);
            EXPECT_GE(p.y, 0.7f);
            EXPECT_LE(p.y, 123.456f);
            last = p.x;
        }
        EXPECT_EQ(node->getPosition(), Vec2(1000.3f, 123.456f)) << eased;
        EXPECT_EQ(node->getNumberOfRunningActions(), 0);
    }
}

TEST_F(Actions, SequenceOfDelayAndCallFuncRunsInOrderAndOnTime) {
    std::vector<float> when;
    float clock = 0;
    node->runAction(Sequence::create(CallFunc::create([&] { when.push_back(clock); }),
                                     DelayTime::create(0.1f),
                                     CallFunc::create([&] { when.push_back(clock); }),
                                     DelayTime::create(0.1f),
                                     CallFuncN::create([&](Node* n) {
                                         EXPECT_EQ(n, node);
                                         when.push_back(clock);
                                     }),
                                     nullptr));
    for (int i = 0; i < 30; ++i) {
        scenetest::stepFrames(1, 0.01f);
        clock += 0.01f;
    }
    ASSERT_EQ(when.size(), 3u);
    // The first frame runs the first call; each wait holds back the next by 0.1 s
    // (give or take the frame that float rounding may add).
    EXPECT_EQ(when[0], 0);
    EXPECT_NEAR(when[1], 0.10f, 0.0101);
    EXPECT_NEAR(when[2], 0.20f, 0.0101);
}

TEST_F(Actions, RemoveSelfWithCleanupStopsEverythingAndFreesTheNode) {
    struct Watched : Node {
        bool* gone;
        ~Watched() override { *gone = true; }
    };
    bool gone = false;
    auto* w = new Watched;
    w->gone = &gone;
    w->autorelease();
    root->addChild(w);
    int ticks = 0, after = 0;
    w->schedule([&](float) { ++ticks; }, 0, "tick");
    w->runAction(RepeatForever::create(RotateBy::create(1, 90)));
    w->runAction(Sequence::create(DelayTime::create(0.05f), RemoveSelf::create(),
                                  CallFunc::create([&] { ++after; }), nullptr));
    scenetest::stepFrames(10);
    EXPECT_TRUE(gone);
    EXPECT_EQ(after, 0);  // nothing of the sequence runs after its node is gone
    EXPECT_GT(ticks, 0);
    EXPECT_LT(Director::getInstance()->getScheduler()->timeToNextTimer(), 0);
}

TEST_F(Actions, ActionsOfARemovedButKeptNodeWaitUntilItIsBack) {
    node->retain();
    node->removeFromParentAndCleanup(false);
    node->runAction(MoveTo::create(0.1f, Vec2(10, 0)));
    scenetest::stepFrames(20);
    EXPECT_EQ(node->getPositionX(), 0);
    root->addChild(node);
    node->release();
    scenetest::stepFrames(20);
    EXPECT_EQ(node->getPositionX(), 10);
}

TEST_F(Actions, TheLoopWantsFramesOnlyWhileSomethingMoves) {
    Director* d = Director::getInstance();
    scenetest::stepFrames(1);
    EXPECT_LT(d->secondsToNextFrame(), 0);  // idle: sleep until an event
    node->runAction(MoveTo::create(0.1f, Vec2(10, 0)));
    EXPECT_GE(d->secondsToNextFrame(), 0);
    EXPECT_LE(d->secondsToNextFrame(), d->getAnimationInterval());
    scenetest::stepFrames(20);
    EXPECT_LT(d->secondsToNextFrame(), 0);
    node->schedule([](float) {}, 5.0f, "slow");
    const double wait = d->secondsToNextFrame();
    EXPECT_GT(wait, 4.0);
    EXPECT_LE(wait, 5.0);
}

TEST_F(Actions, ASleepUntilASlowTimerIsNotTakenForAStall) {
    // The loop sleeps until the one timer is due and then draws a frame on the wall
    // clock: that frame's step is the whole sleep, and the timer fires in it.
    Director* d = Director::getInstance();
    int fired = 0;
    node->schedule([&fired](float) { ++fired; }, 1.0f, "second");
    d->mainLoop(0.f);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    d->mainLoop();
    EXPECT_EQ(fired, 1);
    EXPECT_GE(d->getDeltaTime(), 1.0f);
}

}  // namespace
