#include <gtest/gtest.h>

#include <cmath>

#include "SceneDriver.h"

using namespace cocos2d;

namespace {

class View : public ::testing::Test {
protected:
    void TearDown() override { scenetest::resetEngine(); }
};

TEST_F(View, ShowAllKeepsTheWholeDesignAreaLetterboxed) {
    // Wider frame: bars left and right.
    OffscreenView* v = scenetest::useOffscreenView(1600, 600);
    EXPECT_FLOAT_EQ(v->getScaleX(), 600.f / 768);
    EXPECT_FLOAT_EQ(v->getScaleY(), v->getScaleX());
    const Rect vp = v->getViewPortRect();
    EXPECT_NEAR(vp.size.width, 800, 1e-3);
    EXPECT_NEAR(vp.origin.x, 400, 1e-3);
    EXPECT_NEAR(vp.origin.y, 0, 1e-3);
    // Frame pixels are top-down; design points bottom-up.
    Vec2 p = v->frameToDesign(400, 600);
    EXPECT_NEAR(p.x, 0, 1e-3);
    EXPECT_NEAR(p.y, 0, 1e-3);
    p = v->frameToDesign(1200, 0);
    EXPECT_NEAR(p.x, 1024, 1e-3);
    EXPECT_NEAR(p.y, 768, 1e-3);
    EXPECT_EQ(Director::getInstance()->getVisibleSize(), Size(1024, 768));
}

TEST_F(View, AWindowTooBigForTheScreenShrinksToItsShapeInsideTheFreeArea) {
    const Size wanted(1024, 768);
    EXPECT_EQ(GLView::fitWindowSize(wanted, Size(1920, 1050)), wanted);
    EXPECT_EQ(GLView::fitWindowSize(wanted, Size(1024, 768)), wanted);
    EXPECT_EQ(GLView::fitWindowSize(wanted, Size()), wanted);  // room unknown
    // Small panels with a desktop bar: never past the room, the shape kept to the pixel.
    for (const Size room : {Size(800, 480), Size(800, 444), Size(1024, 600), Size(1024, 564),
                            Size(1280, 720), Size(333, 999)}) {
        const Size got = GLView::fitWindowSize(wanted, room);
        EXPECT_LE(got.width, room.width);
        EXPECT_LE(got.height, room.height);
        EXPECT_TRUE(got.width == room.width || got.height == room.height) << got.width << "x" << got.height;
        EXPECT_NEAR(got.width / got.height, 4.f / 3, 0.01f);
        EXPECT_EQ(got.width, std::floor(got.width));
    }
    // The whole design area is shown in such a window, scaled, with nothing cut off.
    OffscreenView* v = scenetest::useOffscreenView(600, 450);
    EXPECT_NEAR(v->getViewPortRect().size.width, 600, 1e-3);
    EXPECT_NEAR(v->frameToDesign(600, 0).x, 1024, 1e-3);
    EXPECT_NEAR(v->frameToDesign(600, 0).y, 768, 1e-3);
}

TEST_F(View, StoppedAnimationDrawsAndAdvancesNothing) {
    scenetest::useOffscreenView();
    Layer* root = Layer::create();
    scenetest::runScene(root);
    Director* d = Director::getInstance();
    root->runAction(MoveTo::create(0.1f, Vec2(50, 0)));
    d->stopAnimation();
    const unsigned frames = d->getTotalFrames();
    scenetest::stepFrames(30);
    EXPECT_EQ(d->getTotalFrames(), frames);
    EXPECT_EQ(root->getPositionX(), 0);
    EXPECT_LT(d->secondsToNextFrame(), 0);
    d->startAnimation();
    scenetest::stepFrames(30);
    EXPECT_EQ(root->getPositionX(), 50);
}

// Minimised: the clock goes on (actions, timers), only the drawing stops; shown again, the
// screen is drawn as it is now.
TEST_F(View, AHiddenWindowKeepsTimeGoingAndDrawsNothing) {
    OffscreenView* v = scenetest::useOffscreenView();
    LayerColor* root = LayerColor::create(Color4B(255, 0, 0, 255), 1024, 768);
    scenetest::runScene(root);
    Director* d = Director::getInstance();
    scenetest::stepFrames(1);
    ASSERT_EQ(v->readPixelAtDesignPoint(Vec2(500, 400)).r, 255);

    d->setWindowHidden(true);
    int ticks = 0;
    d->getScheduler()->schedule([&ticks](float) { ++ticks; }, root, 0.1f, false, "tick");
    bool called = false;
    root->runAction(Sequence::create(DelayTime::create(0.3f), CallFunc::create([&called] { called = true; }),
                                     nullptr));
    root->setColor(Color3B(0, 0, 255));
    // Something to draw, but nobody sees it: only the actions and the timer call for frames,
    // a few times a second rather than at the frame rate.
    EXPECT_GT(d->secondsToNextFrame(), 1.0 / 60 + 0.01);
    scenetest::stepSeconds(1.0f, 0.05f);
    EXPECT_GE(ticks, 9);
    EXPECT_TRUE(called);
    EXPECT_EQ(v->readPixelAtDesignPoint(Vec2(500, 400)).r, 255) << "drawn while hidden";
    d->getScheduler()->unschedule("tick", root);
    EXPECT_LT(d->secondsToNextFrame(), 0) << "an idle hidden window wakes for nothing";

    d->setWindowHidden(false);
    EXPECT_GE(d->secondsToNextFrame(), 0);
    scenetest::stepFrames(1);
    EXPECT_EQ(v->readPixelAtDesignPoint(Vec2(500, 400)).b, 255);
}

}  // namespace

// --- the window's pointers -------------------------------------------------------------

class Pointers : public ::testing::Test {
protected:
    void SetUp() override {
        view = scenetest::useOffscreenView(1024, 968);  // bars of 100 pixels above and below
        root = Layer::create();
        scenetest::runScene(root);
        auto* l = EventListenerTouchOneByOne::create();
        l->onTouchBegan = [this](Touch* t, Event*) {
            log += "b" + std::to_string(t->getID()) + " ";
            return true;
        };
        l->onTouchMoved = [this](Touch* t, Event*) { log += "m" + std::to_string(t->getID()) + " "; };
        l->onTouchEnded = [this](Touch* t, Event*) { log += "e" + std::to_string(t->getID()) + " "; };
        l->onTouchCancelled = [this](Touch* t, Event*) { log += "c" + std::to_string(t->getID()) + " "; };
        root->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, root);
    }
    void TearDown() override { scenetest::resetEngine(); }
    OffscreenView* view = nullptr;
    Layer* root = nullptr;
    std::string log;
};

TEST_F(Pointers, IdsBeyondIntRangeEndAndCanPressAgain) {
    const intptr_t big = (intptr_t(1) << 40) + 3;
    for (int round = 0; round < 2; ++round) {
        view->touchesInDesign(0, {{big, Vec2(100, 100)}});
        view->touchesInDesign(2, {{big, Vec2(100, 100)}});
    }
    EXPECT_EQ(log, "b" + std::to_string(big) + " e" + std::to_string(big) + " b" + std::to_string(big) +
                       " e" + std::to_string(big) + " ");
    EXPECT_EQ(view->activeTouchCount(), 0u);
}

TEST_F(Pointers, FocusLossCancelsEveryLiveTouchNotOnlyTheMouse) {
    view->handleMouseDown(100, 400);
    view->handleFingerDown(71, 200, 400);
    view->handleFingerDown(72, 300, 400);
    ASSERT_EQ(view->activeTouchCount(), 3u);
    log.clear();
    view->handleFocusLost();
    EXPECT_EQ(log, "c0 c1 c2 ");
    EXPECT_EQ(view->activeTouchCount(), 0u);
    EXPECT_FALSE(view->isMousePressed());
    // The lifts that come late are nobody's; the next presses start afresh.
    view->handleFingerUp(71, 200, 400);
    view->handleMouseUp(100, 400);
    log.clear();
    view->handleFingerDown(73, 200, 400);
    EXPECT_EQ(log, "b1 ");
}

TEST_F(Pointers, AFingerDownAgainEndsItsEarlierTouch) {
    view->handleFingerDown(5, 200, 400);
    view->handleFingerDown(5, 250, 400);  // its lift was lost
    EXPECT_EQ(log, "b1 c1 b1 ");
    EXPECT_EQ(view->activeTouchCount(), 1u);
    view->handleFingerUp(5, 250, 400);
    EXPECT_EQ(view->activeTouchCount(), 0u);
    EXPECT_EQ(view->fingerCount(), 0u);
}

TEST_F(Pointers, PressesInTheBarsReachNoListener) {
    view->handleFingerDown(8, 500, 500);  // held on the screen meanwhile
    view->handleMouseDown(500, 50);       // the bar above
    view->handleMouseUp(500, 50);
    view->handleFingerDown(9, 500, 930);  // the bar below
    view->handleFingerMove(9, 500, 500);  // a touch that never began moves no other one
    view->handleFingerUp(9, 500, 500);
    EXPECT_EQ(log, "b1 ");
    EXPECT_EQ(view->activeTouchCount(), 1u);
    view->handleFingerUp(8, 500, 500);
    log.clear();
    // A touch that began on the screen may wander into a bar and end there.
    view->handleMouseDown(500, 500);
    view->handleMouseMove(500, 950);
    view->handleMouseUp(500, 950);
    EXPECT_EQ(log, "b0 m0 e0 ");
}

