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

TEST_F(Offsets, ZoomClampsAboutTheMiddleAndSkipsTheCurrentScale) {
    for (float parentScale : {1.f, 2.f}) {  // scaled: view points are not world points
        Node* parent = Node::create();
        parent->setScale(parentScale);
        root->addChild(parent);
        ProbeView* v = addView(parent, Vec2(100, 50), Size(200, 200), Size(400, 400), Vec2(-100, -60));
        v->setMinScale(0.5f);
        v->setMaxScale(2.0f);
        LogDelegate log;
        v->setDelegate(&log);
        expectKeepsPoint(v, v->convertToWorldSpace(Vec2(100, 100)), [v] { v->setZoom(3.0f); });
        EXPECT_EQ(v->getContainer()->getScale(), 2.0f);
        const Vec2 at = v->getContentOffset();
        v->setZoom(2.0f);
        EXPECT_EQ(log.log, "zs");  // once: scale, then the compensating move
        EXPECT_EQ(v->getContentOffset(), at);
        parent->removeFromParent();
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

TEST_F(Offsets, ChildrenLandInTheContainerAndScrollWithIt) {
    ProbeView* v = view(Size(200, 600));
    Node *a = Node::create(), *b = Node::create(), *c = Node::create();
    v->addChild(a);
    v->addChild(b, 3, 7);
    v->addChild(c, 1, std::string("c"));
    EXPECT_EQ(v->getChildrenCount(), 1);
    EXPECT_EQ(b->getParent(), v->getContainer());
    EXPECT_EQ(v->getContainer()->getChildByName("c"), c);
    a->setPosition(Vec2(10, 20));
    v->setContentOffset(Vec2(0, -50));
    EXPECT_EQ(a->convertToWorldSpace(Vec2::ZERO), Vec2(110, 70));
    v->removeChild(a);
    EXPECT_EQ(v->getContainer()->getChildrenCount(), 2);
    v->removeAllChildren();
    EXPECT_EQ(v->getContainer()->getChildrenCount(), 0);
    EXPECT_EQ(v->getContainer()->getParent(), v);
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

TEST_F(Clipping, NestedViewsClipToTheOverlapAndRestoreTheOuterClip) {
    ProbeView* outer = view(Size(200, 200));
    fill(outer, kRed, Rect(0, 0, 200, 200));
    // World (250, 150): overlaps the outer view on x 250..300.
    fill(addView(outer, Vec2(150, 50), Size(200, 200), Size(200, 200)), kBlue, Rect(-500, -500, 1000, 1000));
    // Clear of the outer view, with content reaching back into it.
    fill(addView(outer, Vec2(300, -50), Size(100, 100), Size(100, 100)), kBlue, Rect(-250, 0, 350, 100));
    fill(outer, kGreen, Rect(-100, 0, 600, 20));  // after both: the outer clip again
    expectPixels({{Vec2(275, 200), kBlue}, {Vec2(320, 200), kBlack}, {Vec2(200, 200), kRed},
                  {Vec2(200, 130), kRed}, {Vec2(150, 110), kGreen}, {Vec2(350, 110), kBlack},
                  {Vec2(80, 110), kBlack}});
}

TEST_F(Clipping, MirroredAncestorStillGivesAPositiveRectangle) {
    Node* mirror = Node::create();
    mirror->setPosition(Vec2(600, 0));
    mirror->setScaleX(-1);
    root->addChild(mirror);
    ProbeView* v = addView(mirror, Vec2(100, 100), Size(200, 200), Size(200, 200));
    fill(v, kRed, Rect(-300, -300, 1000, 1000));
    EXPECT_EQ(v->getViewRectInWorld().origin, Vec2(300, 100));
    EXPECT_EQ(v->getViewRectInWorld().size, Size(200, 200));
    expectPixels({{Vec2(400, 200), kRed}, {Vec2(250, 200), kBlack}, {Vec2(550, 200), kBlack}});
}

}  // namespace
