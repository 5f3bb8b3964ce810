#include <gtest/gtest.h>

#include "SceneDriver.h"

using namespace cocos2d;

namespace {

struct Counted : Ref {
    static int alive;
    Counted() { ++alive; }
    ~Counted() override { --alive; }
    static Counted* create() { return static_cast<Counted*>((new Counted)->autorelease()); }
};
int Counted::alive = 0;

void drainPool() { PoolManager::getInstance()->getCurrentPool()->clear(); }

class Objects : public ::testing::Test {
protected:
    void SetUp() override { scenetest::useOffscreenView(); }
    void TearDown() override { scenetest::resetEngine(); }
};

TEST_F(Objects, CreateResultLivesToTheEndOfTheFrameUnlessRetained) {
    Counted* kept = Counted::create();
    Counted* dropped = Counted::create();
    kept->retain();
    (void)dropped;
    EXPECT_EQ(Counted::alive, 2);
    scenetest::stepFrames(1);
    EXPECT_EQ(Counted::alive, 1);
    EXPECT_EQ(kept->getReferenceCount(), 1u);
    kept->release();
    EXPECT_EQ(Counted::alive, 0);
}

TEST_F(Objects, TheLiveCountFollowsEveryObjectAndCopy) {
    struct Plain : Ref {};
    const long before = Ref::getLiveCount();
    Plain* a = static_cast<Plain*>((new Plain)->autorelease());
    Plain* b = new Plain(*a);  // a copy is an object of its own, with one reference
    EXPECT_EQ(Ref::getLiveCount(), before + 2);
    EXPECT_EQ(b->getReferenceCount(), 1u);
    b->release();
    drainPool();
    EXPECT_EQ(Ref::getLiveCount(), before);
}

TEST_F(Objects, SchedulingAndUnschedulingInsideACallback) {
    Node* n = Node::create();
    scenetest::runScene(n);
    Scheduler* s = Director::getInstance()->getScheduler();
    int a = 0, b = 0, c = 0;
    s->schedule(
        [&](float) {
            ++a;
            s->unschedule("a", n);  // itself
            s->unschedule("b", n);  // a later one, in the same update
            s->schedule([&](float) { ++c; }, n, 0, false, "c");
        },
        n, 0, false, "a");
    s->schedule([&](float) { ++b; }, n, 0, false, "b");
    scenetest::stepFrames(1);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(c, 0);  // added during the update: runs from the next one
    scenetest::stepFrames(2);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(c, 2);
    s->unscheduleAllForTarget(n);
    scenetest::stepFrames(1);
    EXPECT_EQ(c, 2);
    EXPECT_LT(Director::getInstance()->getScheduler()->timeToNextTimer(), 0);
}

}  // namespace
