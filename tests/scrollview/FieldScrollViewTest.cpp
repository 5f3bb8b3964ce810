// Offsets, limits, zoom, animated moves, children and clipping.
#include "ScrollViewFixture.h"

using namespace cocos2d;

namespace {

using Offsets = ScrollViewTest;
using Dir = FieldScrollView::Direction;

TEST_F(Offsets, LimitsAndTheNonBouncingClamp) {
    ProbeView* v = view(Size(200, 600));
    EXPECT_EQ(v->maxOffset(), Vec2(0, 0));
    EXPECT_EQ(v->minOffset(), Vec2(0, -400));
    v->getContainer()->setScale(2);
    EXPECT_EQ(v->minOffset(), Vec2(-200, -1000));
    v->getContainer()->setScale(1);
    v->setContentOffset(Vec2(0, 999));  // bouncing: anything goes
    EXPECT_EQ(v->getContentOffset(), Vec2(0, 999));
    v->setBounceable(false);
    for (float y : {50.f, -1000.f, -123.f}) {
        v->setContentOffset(Vec2(0, y));
        EXPECT_EQ(v->getContentOffset().y, std::max(-400.f, std::min(0.f, y)));
    }

    // Shorter and narrower than the view: the content hangs from the top edge.
    v->setContentSize(Size(100, 50));
    EXPECT_EQ(v->minOffset(), Vec2(100, 150));
    EXPECT_EQ(v->getBoundingBox().size, Size(200, 200));  // the view keeps its own size
    for (float y : {-300.f, 500.f}) {
        v->setContentOffset(Vec2(30, y));
        EXPECT_EQ(v->getContentOffset(), Vec2(100, 150));
    }
}

TEST_F(Offsets, SettleCorrectsOnlyTheAxesOfTheDirection) {
    const std::pair<Dir, Vec2> cases[] = {
        {Dir::VERTICAL, Vec2(50, 150)}, {Dir::HORIZONTAL, Vec2(0, 50)}, {Dir::BOTH, Vec2(0, 150)}};
    for (const auto& c : cases) {
        ProbeView* v = view(Size(100, 50), Vec2(50, 50));
        v->setDirection(c.first);
        v->settleIntoBounds();
        EXPECT_EQ(v->getContentOffset(), Vec2(50, 50));  // eased, not instant
        scenetest::stepSeconds(2);
        EXPECT_EQ(v->getContentOffset(), c.second);
        v->removeFromParent();
    }
}

TEST_F(Offsets, AnimatedMoveNeverTurnsBackEndsOnItsTargetAndIsToldUntilThen) {
    ProbeView* v = view(Size(200, 1000));
    LogDelegate log;
    v->setDelegate(&log);
    v->animateContentOffset(Vec2(0, -320), 0.5f);
    float last = 0;
    for (int i = 0; i < 90; ++i) {
        scenetest::stepFrames(1);
        EXPECT_LE(v->getContentOffset().y, last) << "frame " << i;
        EXPECT_GE(v->getContentOffset().y, -320);
        last = v->getContentOffset().y;
    }
    EXPECT_EQ(v->getContentOffset(), Vec2(0, -320));
    const size_t told = log.log.size();
    EXPECT_GT(told, 1u);
    scenetest::stepFrames(5);
    EXPECT_EQ(log.log.size(), told);

    // A press stops the notifications at the next frame, but not the move.
    v->animateContentOffset(Vec2(0, -20), 0.5f);
    scenetest::stepFrames(5);
    scenetest::touchBegan(Vec2(200, 200));
    const size_t pressed = log.log.size();
    scenetest::stepSeconds(2);
    EXPECT_EQ(v->getContentOffset(), Vec2(0, -20));
    EXPECT_EQ(log.log.size(), pressed + 1);  // only the end is still told
    scenetest::touchEnded(Vec2(200, 200));
}

// --- clipping, read back from the offscreen frame ---------------------------------------

using Clipping = ScrollViewTest;
const Color4B kRed(255, 0, 0, 255), kGreen(0, 255, 0, 255), kBlue(0, 0, 255, 255), kBlack(0, 0, 0, 255);

void fill(Node* into, const Color4B& c, Rect r) {
    LayerColor* l = LayerColor::create(c, r.size.width, r.size.height);
    l->setPosition(r.origin);
    into->addChild(l);
}

void expectPixels(std::initializer_list<std::pair<Vec2, Color4B>> expected) {
    for (const auto& e : expected)
        EXPECT_EQ(scenetest::pixelAt(e.first), e.second) << e.first.x << "," << e.first.y;
}

TEST_F(Clipping, ContentShowsOnlyInsideTheViewAndTheScissorIsOffAfterwards) {
    fill(view(Size(200, 200)), kRed, Rect(-300, -300, 1000, 1000));
    fill(root, kGreen, Rect(400, 400, 100, 100));  // drawn after the view
    expectPixels({{Vec2(150, 150), kRed}, {Vec2(298, 298), kRed}, {Vec2(50, 150), kBlack},
                  {Vec2(302, 150), kBlack}, {Vec2(450, 450), kGreen}});
    EXPECT_FALSE(Director::getInstance()->getOpenGLView()->isScissorEnabled());
}

}  // namespace
