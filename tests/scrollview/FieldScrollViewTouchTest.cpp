// Dragging, pinching, inertia and the mouse wheel, driven by injected input.
#include "ScrollViewFixture.h"

using namespace cocos2d;
using namespace scenetest;

namespace {

using Touches = ScrollViewTest;
using Dir = FieldScrollView::Direction;

ProbeView* vertical(ProbeView* v) {
    v->setDirection(Dir::VERTICAL);
    return v;
}

// Presses at the first point and moves through the others, without releasing.
void press(std::initializer_list<Vec2> points, int id = 0) {
    touchBegan(*points.begin(), id);
    for (auto it = points.begin() + 1; it != points.end(); ++it) touchMoved(*it, id);
}

// Frames until the coast ends (at most `limit`).
void coastOut(ProbeView* v, int limit = 60) {
    for (int i = 0; i < limit && v->coasting(); ++i) stepFrames(1);
}

TEST(Threshold, DragStartsAtExactlyTheThresholdAndItsFirstStepOnlyRebases) {
    // A frame scale at which some float travel is exactly 0.04375 inch.
    const float y0 = 150;
    ProbeView* v = nullptr;
    float atY = 0;
    for (int w : {600, 612, 536, 548}) {
        useOffscreenView(w, w * 3 / 4);
        v = vertical(addView(runScene(Layer::create()), Vec2(100, 100), Size(200, 200), Size(200, 1000)));
        float y = y0 + 0.04375f * Device::getDPI() * 1024 / w;
        for (int i = 0; i < 400; ++i) y = std::nextafter(y, 0.f);
        for (int i = 0; i < 800 && !atY; ++i, y = std::nextafter(y, 1e9f))
            if (v->pointsToInches(y - y0) == 0.04375f) atY = y;
        if (atY) break;
    }
    // Content travel after a first move to `firstY` and a second one 10 points further.
    auto travel = [&](float firstY) {
        v->setContentOffset(Vec2(0, -400));
        press({Vec2(200, y0), Vec2(200, firstY)});
        EXPECT_EQ(v->getContentOffset().y, -400) << "the first step never moves the content";
        touchMoved(Vec2(200, firstY + 10));
        touchCancelled(Vec2(200, firstY + 10));
        return v->getContentOffset().y + 400;
    };
    EXPECT_FLOAT_EQ(travel(y0 + 30), 10);
    if (!atY) {
        resetEngine();
        GTEST_SKIP() << "no float travel of exactly 0.04375 inch at this DPI";
    }
    EXPECT_EQ(travel(std::nextafter(atY, 0.f)), 0);  // its second move only crossed it
    EXPECT_FLOAT_EQ(travel(atY), 10);
    resetEngine();
}

TEST_F(Touches, AViewPulledPastItsEndFollowsLessThanTheFingerAndComesBackInside) {
    ProbeView* v = vertical(view(Size(200, 600)));
    press({Vec2(200, 150), Vec2(200, 160), Vec2(200, 170), Vec2(200, 180), Vec2(200, 190)});
    EXPECT_GT(v->getContentOffset().y, 10);
    EXPECT_LT(v->getContentOffset().y, 30);  // the finger went 30 points from the top
    touchEnded(Vec2(200, 190));
    stepSeconds(2);
    EXPECT_FALSE(v->coasting());
    EXPECT_EQ(v->getContentOffset().y, 0);
}

TEST_F(Touches, NonBouncingViewNeverLeavesItsLimits) {
    ProbeView* v = vertical(view(Size(200, 600)));
    v->setBounceable(false);
    auto inside = [v] { return v->getContentOffset().y <= 0 && v->getContentOffset().y >= -400; };
    touchBegan(Vec2(200, 250));
    for (float y : {270.f, 290.f, 350.f, 200.f, 0.f, -300.f, -600.f}) {
        touchMoved(Vec2(200, y));
        EXPECT_TRUE(inside()) << y;
    }
    EXPECT_EQ(v->getContentOffset().y, -400);
    touchEnded(Vec2(200, -600));
    for (int i = 0; i < 30; ++i) {
        stepFrames(1);
        EXPECT_TRUE(inside());
    }
}

TEST_F(Touches, AFlickCoastsOnSlowingDownAndComesToRest) {
    ProbeView* v = vertical(view(Size(400, 2000), Vec2(-100, -1000)));
    press({Vec2(200, 150), Vec2(200, 160), Vec2(200, 170)});
    touchEnded(Vec2(200, 170));
    float last = 1e9f;
    for (int i = 0; i < 120 && v->coasting(); ++i) {
        const float y = v->getContentOffset().y;
        stepFrames(1);
        const float step = v->getContentOffset().y - y;
        EXPECT_GE(step, 0) << "frame " << i;
        EXPECT_LE(step, last) << "frame " << i;
        last = step;
    }
    EXPECT_FALSE(v->coasting());
    EXPECT_GT(v->getContentOffset().y, -990);  // it went on after the finger
    const Vec2 stopped = v->getContentOffset();
    stepFrames(30);
    EXPECT_EQ(v->getContentOffset(), stopped);  // in bounds: no settle

    // A press during a coast stops it at the next frame; a cancelled drag never coasts.
    v->setDirection(Dir::BOTH);
    press({Vec2(200, 150), Vec2(220, 150), Vec2(260, 150)});
    touchEnded(Vec2(260, 150));
    stepFrames(1);
    touchBegan(Vec2(200, 150));
    const Vec2 pressed = v->getContentOffset();
    stepFrames(1);
    EXPECT_FALSE(v->coasting());
    EXPECT_EQ(v->getContentOffset(), pressed);
    touchMoved(Vec2(200, 170));
    touchMoved(Vec2(200, 200));
    touchCancelled(Vec2(200, 200));
    EXPECT_FALSE(v->coasting());
}

TEST_F(Touches, ReleaseOnAHiddenViewIsForgotten) {
    ProbeView* v = vertical(view(Size(200, 1000)));
    for (float travel : {0.f, 20.f}) {  // a plain press, and a drag
        coastOut(v);
        v->setContentOffset(Vec2(0, -400));
        press({Vec2(200, 150), Vec2(200, 150 + travel)});
        v->setVisible(false);
        touchEnded(Vec2(200, 150 + travel));
        v->setVisible(true);
        EXPECT_FALSE(v->coasting());
        // The next press drags again: neither blocked nor a pinch with the freed touch.
        press({Vec2(200, 150), Vec2(200, 170), Vec2(200, 180)});
        touchEnded(Vec2(200, 180));
        EXPECT_FLOAT_EQ(v->getContentOffset().y, -390) << travel;
    }
}

TEST_F(Touches, CoastEndsEvenAfterLongFrames) {
    // Frames of 0.3 s throw the spring back inside the limit, still moving inwards.
    ProbeView* v = view(Size(400, 200));
    v->setDirection(Dir::HORIZONTAL);
    press({Vec2(200, 150), Vec2(210, 150), Vec2(220, 150), Vec2(230, 150)});
    touchEnded(Vec2(230, 150));
    stepFrames(60, 0.3f);
    EXPECT_FALSE(v->coasting());
}

TEST_F(Touches, PinchZoomsAboutTheFingersWithinLimitsAndSettlesOnLift) {
    ProbeView* v = view(Size(400, 400), Vec2(-100, -100));
    v->setMinScale(0.5f);
    v->setMaxScale(2.0f);
    Node* c = v->getContainer();
    press({Vec2(150, 200)}, 0);
    expectKeepsPoint(v, Vec2(200, 200), [] { press({Vec2(250, 200), Vec2(350, 200)}, 1); });
    EXPECT_FLOAT_EQ(c->getScale(), 2.0f);  // twice as far apart
    touchMoved(Vec2(450, 200), 1);
    EXPECT_FLOAT_EQ(c->getScale(), 2.0f);
    touchMoved(Vec2(155, 200), 1);
    EXPECT_FLOAT_EQ(c->getScale(), 0.5f);
    touchEnded(Vec2(155, 200), 1);  // zero velocity: the next tick ends and settles
    stepFrames(1);
    EXPECT_FALSE(v->coasting());
    stepFrames(20);
    EXPECT_EQ(v->getContentOffset(), Vec2(0, 0));  // 200 x 200 now: fills the view
    // The finger left on the view does not drag, and its release does not coast.
    touchMoved(Vec2(150, 260), 0);
    touchMoved(Vec2(150, 300), 0);
    touchEnded(Vec2(150, 300), 0);
    EXPECT_EQ(v->getContentOffset(), Vec2(0, 0));
    EXPECT_FALSE(v->coasting());
}

TEST_F(Touches, ThirdFingerFreezesThePinchUntilLifted) {
    ProbeView* v = view(Size(400, 400), Vec2(-100, -100));
    v->setMinScale(0.5f);
    v->setMaxScale(2.0f);
    press({Vec2(150, 200)}, 0);
    press({Vec2(250, 200)}, 1);
    press({Vec2(200, 250), Vec2(200, 150)}, 2);
    touchMoved(Vec2(280, 200), 1);
    EXPECT_EQ(v->getContainer()->getScale(), 1.0f);
    EXPECT_EQ(v->getContentOffset(), Vec2(-100, -100));
    touchEnded(Vec2(200, 150), 2);
    touchMoved(Vec2(275, 200), 1);  // 125 apart, against 100 at the start
    EXPECT_FLOAT_EQ(v->getContainer()->getScale(), 1.25f);
    touchEnded(Vec2(275, 200), 1);
    touchEnded(Vec2(150, 200), 0);

    // Two fingers down on one point give nothing to zoom by.
    press({Vec2(200, 200)}, 0);
    press({Vec2(200, 200), Vec2(260, 200)}, 1);
    EXPECT_FLOAT_EQ(v->getContainer()->getScale(), 1.25f);
    touchEnded(Vec2(260, 200), 1);
    touchEnded(Vec2(200, 200), 0);
}

TEST_F(Touches, WheelScrollsFortyPointsANotchWithinTheLimits) {
    ProbeView* v = vertical(view(Size(200, 600), Vec2(0, -200)));
    const std::pair<float, float> notches[] = {{1, -160}, {-2, -240}, {20, 0}, {-50, -400}};
    for (const auto& n : notches) {
        wheel(Vec2(200, 200), n.first);  // towards the user: the content moves up
        EXPECT_EQ(v->getContentOffset(), Vec2(0, n.second)) << n.first;
    }
    wheel(Vec2(400, 200), 1);  // not over the view
    v->setContentOffset(Vec2(0, 60));  // bouncing and out of bounds: the notch lands inside
    wheel(Vec2(200, 200), -1);
    EXPECT_EQ(v->getContentOffset(), Vec2(0, 0));
    v->setTouchEnabled(false);  // a card is being carried
    wheel(Vec2(200, 200), -1);
    v->setTouchEnabled(true);
    v->setDirection(Dir::HORIZONTAL);  // the vertical wheel is not its axis
    wheel(Vec2(200, 200), -1);
    EXPECT_EQ(v->getContentOffset(), Vec2(0, 0));
}

TEST_F(Touches, CtrlWheelZoomsAboutThePointerWithinTheLimits) {
    ProbeView* v = view(Size(400, 400), Vec2(-100, -100));
    Node* c = v->getContainer();
    const Vec2 pointer(150, 250);
    wheel(pointer, -1, true);  // zoom range 1..1: nothing
    EXPECT_EQ(c->getScale(), 1.0f);
    EXPECT_EQ(v->getContentOffset(), Vec2(-100, -100));
    v->setMinScale(0.5f);
    v->setMaxScale(2.0f);
    expectKeepsPoint(v, pointer, [&] {
        wheel(pointer, -1, true);  // away from the user: closer
        EXPECT_FLOAT_EQ(c->getScale(), 1.1f);
        wheel(pointer, 2, true);
    });
    EXPECT_FLOAT_EQ(c->getScale(), 0.9f);
    wheel(pointer, -30, true);
    EXPECT_FLOAT_EQ(c->getScale(), 2.0f);
    wheel(pointer, 30, true);
    EXPECT_FLOAT_EQ(c->getScale(), 0.5f);
    EXPECT_EQ(v->getContentOffset(), Vec2(0, 0));  // the view's size now: in bounds
    // A touchpad's part notches add up to whole steps.
    for (int i = 0; i < 3; ++i) wheel(pointer, -0.4f, true);
    EXPECT_FLOAT_EQ(c->getScale(), 0.6f);
}

// From any scale, at any limits, stepping passes through 1: out from the top and back
// in, after a pinch left the scale between steps, and a reset.
TEST_F(Touches, ZoomStepsAlwaysPassThroughOne) {
    ProbeView* v = view(Size(2000, 2000), Vec2(-500, -500));
    Node* c = v->getContainer();
    const std::pair<float, float> limits[] = {{0.5f, 2.0f}, {0.55f, 1.8f}, {0.7f, 1.0f}, {0.35f, 3.3f}};
    for (const auto& l : limits) {
        v->setMinScale(l.first);
        v->setMaxScale(l.second);
        for (int steps = 1; steps <= 20; ++steps) {
            v->stepZoom(30);
            EXPECT_FLOAT_EQ(c->getScale(), l.second);
            v->stepZoom(-steps);
            EXPECT_GE(c->getScale(), l.first);
            float s = c->getScale();
            while (s < 1 - 1e-6f) {  // back up, one step at a time, never jumping over 1
                v->stepZoom(1);
                EXPECT_GT(c->getScale(), s);
                s = c->getScale();
                EXPECT_LE(s, 1.0f) << l.first << ".." << l.second << " from " << steps;
            }
            while (s > 1 + 1e-6f) {
                v->stepZoom(-1);
                s = c->getScale();
                EXPECT_GE(s, 1.0f);
            }
            EXPECT_EQ(s, 1.0f);
        }
    }
    v->setMinScale(0.5f);
    v->setMaxScale(2.0f);
    v->setZoom(1.03f);  // as a pinch may leave it
    EXPECT_FLOAT_EQ(v->steppedScale(1.03f, 1), 1.1f);
    EXPECT_FLOAT_EQ(v->steppedScale(1.03f, -1), 1.0f);
    EXPECT_FLOAT_EQ(v->steppedScale(1.0000001f, -1), 0.9f);  // a hair off a step is on it
    v->resetZoom();
    EXPECT_EQ(c->getScale(), 1.0f);
    v->setMaxScale(0.8f);
    v->resetZoom();
    EXPECT_EQ(c->getScale(), 0.8f);
}

// A vertical list zoomed about the pointer, wherever it is, stays where it was sideways:
// only its anchor decides, and back at 1 the list is exactly where it started.
TEST_F(Touches, AVerticalViewZoomsSidewaysAboutItsAnchorOnly) {
    ProbeView* v = vertical(view(Size(200, 2000), Vec2(0, -1000)));
    Node* c = v->getContainer();
    v->setMinScale(0.5f);
    v->setMaxScale(2.0f);
    v->setZoomAnchor(Vec2(40, 0));
    const float worldX = 140;  // the view is at x 100
    const float contentX = c->convertToNodeSpace(Vec2(worldX, 200)).x;
    const float pointers[] = {110, 290, 150, 250, 105};
    for (float x : pointers) {
        wheel(Vec2(x, 200), x < 200 ? 1.f : -1.f, true);
        EXPECT_NEAR(c->convertToWorldSpace(Vec2(contentX, 0)).x, worldX, 1e-3) << x;
    }
    // A pinch far to the right does not push the list aside either.
    press({Vec2(250, 150)}, 0);
    press({Vec2(290, 150), Vec2(295, 150)}, 1);
    EXPECT_NEAR(c->convertToWorldSpace(Vec2(contentX, 0)).x, worldX, 1e-3);
    touchEnded(Vec2(295, 150), 1);
    touchEnded(Vec2(250, 150), 0);
    v->resetZoom();
    EXPECT_EQ(c->getScale(), 1.0f);
    EXPECT_NEAR(v->getContentOffset().x, 0, 1e-4);
}

// One notch is a fixed share of the content at any zoom (a row of the field); notches of a
// quick turn go further and further, up to a limit; a pause or a turn back starts over.
TEST_F(Touches, TheWheelGoesAStepANotchAndFurtherWhenTurnedQuickly) {
    ProbeView* v = vertical(view(Size(200, 100000), Vec2(0, -99800)));
    v->setWheelStep(120);
    v->clock = 10;
    auto notch = [v](float notches, double after) {
        v->clock += after;
        const float y = v->getContentOffset().y;
        wheel(Vec2(200, 200), notches);
        return v->getContentOffset().y - y;
    };
    EXPECT_FLOAT_EQ(notch(1, 1), 120);
    EXPECT_FLOAT_EQ(notch(1, 0.5), 120);  // slow: a step each
    std::vector<float> quick;
    for (int i = 0; i < 10; ++i) quick.push_back(notch(1, 0.03));
    EXPECT_FLOAT_EQ(quick.front(), 180);
    for (size_t i = 1; i < quick.size(); ++i) EXPECT_GE(quick[i], quick[i - 1]);
    EXPECT_FLOAT_EQ(quick.back(), 480);
    float ten = 0;
    for (float q : quick) ten += q;
    EXPECT_GT(ten, 25 * 120);  // ten quick notches go 25 rows and more, against 10 slow ones
    EXPECT_FLOAT_EQ(notch(-1, 0.03), -120);  // turned back: one step
    EXPECT_FLOAT_EQ(notch(1, 0.3), 120);      // after a pause: one step
    for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(notch(0.25f, 0.01), 30);  // a touchpad: as it goes

    v->setMinScale(0.5f);
    v->setZoom(0.5f);
    EXPECT_FLOAT_EQ(notch(1, 1), 60);  // the same row, half the size on the screen
}

// Only part of the content may scroll into view (the field's rows, not the blank below
// them): the wheel, a drag and a flick all end at its edge, a bounce past it comes back.
TEST_F(Touches, ScrollingEndsAtTheScrollAreaAndABounceComesBack) {
    ProbeView* v = vertical(view(Size(200, 3000), Vec2(0, -2800)));
    v->setScrollArea(Rect(0, 1000, 200, 2000));
    EXPECT_EQ(v->minOffset().y, -2800);  // top of the content at the top of the view
    EXPECT_EQ(v->maxOffset().y, -1000);  // the area's bottom at the bottom of the view
    for (int i = 0; i < 100; ++i) wheel(Vec2(200, 200), 3);
    EXPECT_EQ(v->getContentOffset().y, -1000);

    // A flick past the end goes a little further and comes back to it.
    float furthest = -1000;
    for (int i = 0; i < 3; ++i) {
        press({Vec2(200, 100), Vec2(200, 130), Vec2(200, 180), Vec2(200, 250)});
        touchEnded(Vec2(200, 250));
        for (int f = 0; f < 120; ++f) {
            stepFrames(1);
            furthest = std::max(furthest, v->getContentOffset().y);
        }
        EXPECT_EQ(v->getContentOffset().y, -1000) << i;
    }
    EXPECT_GT(furthest, -1000);

    // Zoomed out, the end is where it was in the content.
    v->setMinScale(0.5f);
    v->setZoom(0.5f);
    EXPECT_EQ(v->maxOffset().y, -500);
    for (int i = 0; i < 40; ++i) wheel(Vec2(200, 200), 3);
    EXPECT_EQ(v->getContentOffset().y, -500);
    EXPECT_FLOAT_EQ(v->getContainer()->convertToNodeSpace(v->convertToWorldSpace(Vec2::ZERO)).y, 1000);
    // And the top stays the top.
    for (int i = 0; i < 100; ++i) wheel(Vec2(200, 200), -3);
    EXPECT_FLOAT_EQ(v->getContentOffset().y, 200 - 3000 * 0.5f);
}


TEST_F(Touches, DragsAndFlicksNeverMoveAVerticalViewSideways) {
    ProbeView* v = vertical(view(Size(200, 4000), Vec2(0, -2000)));
    for (int i = 0; i < 20; ++i) {
        const float y = i % 2 ? 170.f : 130.f;
        const float x = i % 3 ? 200.f + 5 * i : 200.f - 5 * i;  // fingers are never straight
        press({Vec2(200, 150), Vec2((200 + x) / 2, y), Vec2(x, y + (y - 150))});
        EXPECT_EQ(v->getContentOffset().x, 0) << "dragging, " << i;
        touchEnded(Vec2(x, y + (y - 150)));
        coastOut(v);
        stepSeconds(0.5f);
    }
    EXPECT_EQ(v->getContentOffset().x, 0);

    // Zoomed out, the content is narrower than the view and outside its x limits: a flick
    // still coasts out, leaving x where the zoom put it.
    v->setMinScale(0.5f);
    v->setZoom(0.5f);
    const float x = v->getContentOffset().x;
    press({Vec2(200, 150), Vec2(200, 170), Vec2(200, 190)});
    touchEnded(Vec2(200, 190));
    coastOut(v);
    EXPECT_FALSE(v->coasting());
    EXPECT_EQ(v->getContentOffset().x, x);
}

// A listener drawn above the view starts swallowing mid-touch, so the view hears neither
// the rest of the touch nor its end; the engine is done with the touch after the release.
TEST_F(Touches, ATouchWhoseEndTheViewNeverHeardDoesNotStayHeld) {
    ProbeView* v = vertical(view(Size(200, 1000), Vec2(0, -400)));
    Node* above = Node::create();
    root->addChild(above);
    auto* l = EventListenerTouchOneByOne::create();
    l->onTouchBegan = [](Touch*, Event*) { return true; };
    l->onTouchMoved = [l](Touch*, Event*) { l->setSwallowTouches(true); };
    root->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, above);
    press({Vec2(200, 150), Vec2(200, 200)});
    touchEnded(Vec2(200, 200));
    EXPECT_EQ(v->heldTouchCount(), 1u);  // kept, and still safe to look at

    // The next press is a new drag, not a pinch with the touch that has gone.
    root->getEventDispatcher()->removeEventListener(l);
    press({Vec2(200, 150), Vec2(200, 180), Vec2(200, 200)});
    EXPECT_EQ(v->heldTouchCount(), 1u);
    EXPECT_FLOAT_EQ(v->getContentOffset().y, -380);
    touchEnded(Vec2(200, 200));
    EXPECT_EQ(v->heldTouchCount(), 0u);
}

}  // namespace
