// Hands that do what nobody plans for: several fingers at once, cancelled touches, drags
// to the very edge of the screen. Each case here once broke the screen.
#include "FieldInvariants.h"
#include "SceneFixture.h"

using namespace cocos2d;

namespace {

class RoughHandling : public SceneTest {
protected:
    void SetUp() override { start(kTwoPorts); }

    // A palette card pressed and moved right in steps of 10 (stopping once its field card
    // exists, if asked); where the finger is now.
    Vec2 dragOut(int kind, int finger = 0, int steps = 40, bool untilPlaced = false) {
        Vec2 at = worldOf(scene->paletteCards[kind]);
        scenetest::touchBegan(at, finger);
        for (int i = 0; i < steps && !(untilPlaced && scene->drag.placingCard); ++i)
            scenetest::touchMoved(at += Vec2(10, 0), finger);
        return at;
    }

    // A field card held until picked up by `finger`, and released over the trash.
    void trash(CardSprite* card, int finger) {
        scenetest::touchBegan(world(card), finger);
        scenetest::stepFrames(6, 0.02f);
        scenetest::touchMoved(worldOf(scene->cleanIcon), finger);
        scenetest::touchEnded(worldOf(scene->cleanIcon), finger);
        scenetest::stepSeconds(1.0f);  // the delete animation ends and the card is freed
    }

    Vec2 world(CardSprite* card) const {
        return scene->fieldView->getContainer()->convertToWorldSpace(card->getPosition());
    }
};

TEST_F(RoughHandling, ACardTakenOutAlongTheTopEdgeStartsInsideTheField) {
    // The field opens at its top: a card made under a touch near the screen's top edge
    // would stick out above the content if it were made where the ghost is.
    Vec2 at = worldOf(scene->paletteCards[LedOn]);
    scenetest::touchBegan(at);
    at += Vec2(10, 0);
    scenetest::touchMoved(at);
    at = Vec2(at.x, 765);
    for (int i = 0; i < 100 && !scene->drag.placingCard; ++i) {
        at += Vec2(30, 0);
        scenetest::touchMoved(at);
    }
    ASSERT_NE(scene->drag.placingCard, nullptr);
    scenetest::touchEnded(at);
    EXPECT_EQ(fieldProblem(scene), "");  // among others: the card lies inside the field
}

TEST_F(RoughHandling, ACancelledPaletteDragLeavesNothingBehind) {
    const Vec2 at = dragOut(Wait3, 0, 30);
    CardSprite* card = scene->drag.placingCard;
    ASSERT_NE(card, nullptr);
    scenetest::touchCancelled(at);
    EXPECT_EQ(scene->drag.ghostCard, nullptr);
    EXPECT_EQ(scene->drag.placingCard, nullptr);
    EXPECT_EQ(card->getOpacity(), 255);
    EXPECT_FALSE(scene->paletteCards[Wait3]->listener->isSwallowTouches());
    // The card stays, as after a release, and is counted once.
    EXPECT_EQ(scene->fieldCards.size(), 1);
    EXPECT_EQ(scene->cardCounts[Wait3], 1);
}

TEST_F(RoughHandling, AfterACancelledPaletteDragCardsAreDeletedAndMadeAsUsual) {
    // A cancelled drag once left its card as the one being placed: the next palette drag
    // moved that card (even after it had been deleted and freed) instead of making one.
    Vec2 at = dragOut(LedOn);
    CardSprite* card = scene->drag.placingCard;
    ASSERT_NE(card, nullptr);
    scenetest::touchCancelled(at);
    trash(card, 1);
    EXPECT_EQ(scene->fieldCards.size(), 0);
    scenetest::touchEnded(dragOut(LedOff));
    ASSERT_EQ(scene->fieldCards.size(), 1);
    EXPECT_EQ(scene->fieldCards.at(0)->kind, LedOff);
}

TEST_F(RoughHandling, OnePaletteDragAtATime) {
    const Vec2 a = worldOf(scene->paletteCards[LedOn]);
    const Vec2 b = worldOf(scene->paletteCards[Wait1]);
    scenetest::touchBegan(a, 0);
    scenetest::touchMoved(a + Vec2(10, 0), 0);
    ASSERT_NE(scene->drag.ghostCard, nullptr);
    // A second finger on the palette neither restarts nor steers the first one's drag.
    scenetest::touchBegan(b, 1);
    scenetest::touchMoved(b + Vec2(0, 40), 1);
    scenetest::touchMoved(b + Vec2(0, 80), 1);
    EXPECT_EQ(scene->drag.ghostCard->getPosition(), a + Vec2(10, 0));
    scenetest::touchEnded(b + Vec2(0, 80), 1);
    EXPECT_NE(scene->drag.ghostCard, nullptr);  // still carried by the first finger
    Vec2 at = a + Vec2(10, 0);
    for (int i = 0; i < 40; ++i) {
        at += Vec2(10, 0);
        scenetest::touchMoved(at, 0);
    }
    scenetest::touchEnded(at, 0);
    EXPECT_EQ(scene->drag.ghostCard, nullptr);
    ASSERT_EQ(scene->fieldCards.size(), 1);
    EXPECT_EQ(scene->fieldCards.at(0)->kind, LedOn);
    for (CardSprite* p : scene->paletteCards) EXPECT_FALSE(p->listener->isSwallowTouches());
}

TEST_F(RoughHandling, ACardStillComingFromThePaletteCannotBeTakenByAnotherFinger) {
    // Taken and dropped on the trash by a second finger, it was freed while the first
    // finger still moved it.
    const Vec2 at = dragOut(Wait5, 2, 40, true);
    CardSprite* card = scene->drag.placingCard;
    ASSERT_NE(card, nullptr);
    trash(card, 0);
    scenetest::touchMoved(at + Vec2(30, 20), 2);
    scenetest::touchEnded(at + Vec2(30, 20), 2);
    ASSERT_EQ(scene->fieldCards.size(), 1);
    EXPECT_EQ(scene->fieldCards.at(0), card);
    EXPECT_EQ(scene->cardCounts[Wait5], 1);
}

// A window taller or wider than the design area has bars beside it, where touches land
// outside the screen.
TEST_F(RoughHandling, AClickInTheBarsIsNoClickOnAPanelsGreyArea) {
    // A window taller than the screen: bars above and below it.
    scene = nullptr;
    scenetest::resetEngine();
    scenetest::useOffscreenView(1024, 968);
    scene = FieldScene::create();
    scenetest::runScene(scene);
    waitIdle();
    // An open panel stays open: a click beside the screen is no click on its grey area.
    scenetest::tap(worldOf(scene->targetButton));
    ASSERT_NE(scene->panels.targetPanel, nullptr);
    scenetest::tap(Vec2(500, -40));
    scenetest::stepFrames(1);
    EXPECT_NE(scene->panels.targetPanel, nullptr);
    scenetest::tap(Vec2(500, 300));
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
}

TEST_F(RoughHandling, ACancelledPressLeavesNoControlDimmed) {
    // The system cancels touches, for one when the window loses the focus mid-press.
    openDrawer();  // the reload arrow comes up on the screen
    ASSERT_TRUE(scene->settingsOpen);
    for (Node* button : {static_cast<Node*>(scene->playButton), static_cast<Node*>(scene->targetButton),
                         static_cast<Node*>(scene->settingsButton), static_cast<Node*>(scene->reloadButton)}) {
        scenetest::touchBegan(worldOf(button));
        ASSERT_EQ(button->getOpacity(), 192);
        scenetest::touchCancelled(worldOf(button));
        EXPECT_EQ(button->getOpacity(), 255);
    }
    EXPECT_EQ(scene->send.overlay, nullptr);  // a cancel is no release: nothing was done
    EXPECT_TRUE(scene->settingsOpen);
    scenetest::tap(worldOf(scene->targetButton));
    ASSERT_NE(scene->panels.targetPanel, nullptr);
    Node* velto = scene->panels.targetPanel->getChildByTag(Velto);
    scenetest::touchBegan(worldOf(velto));
    scenetest::touchCancelled(worldOf(velto));
    EXPECT_EQ(velto->getOpacity(), 255);
    EXPECT_EQ(DeviceManager::getInstance()->target, Dov);
    scenetest::tap(Vec2(500, 300));
    scenetest::stepFrames(1);
    const std::string chosen = TavrickCardSerialManager::getInstance()->getSelectedPortName();
    scenetest::tap(worldOf(scene->portLabel) + Vec2(5, 0));
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    LayerColor* entry = portEntry(1);
    ASSERT_NE(entry, nullptr);
    const Color3B plain = entry->getColor();
    scenetest::touchBegan(middleOf(entry));
    EXPECT_NE(entry->getColor(), plain);  // pressed
    scenetest::touchCancelled(middleOf(entry));
    EXPECT_EQ(entry->getColor(), plain);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), chosen);
}

TEST_F(RoughHandling, AButtonHeldWhileAPanelOpensDoesNothingOnRelease) {
    openDrawer();
    const Vec2 target = worldOf(scene->targetButton);
    scenetest::touchBegan(target, 0);
    scenetest::tap(worldOf(scene->portLabel) + Vec2(5, 0), 1);
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    scenetest::touchEnded(target, 0);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
    EXPECT_EQ(scene->targetButton->getOpacity(), 255);
    scenetest::tap(Vec2(600, 600));
    scenetest::stepFrames(1);
    ASSERT_EQ(scene->panels.portListPopup, nullptr);

    // Nor while a send runs under its overlay.
    scenetest::touchBegan(target, 0);
    scenetest::tap(worldOf(scene->playButton), 1);
    ASSERT_NE(scene->send.overlay, nullptr);
    scenetest::touchEnded(target, 0);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
    waitIdle();
    EXPECT_EQ(scene->send.overlay, nullptr);
}

}  // namespace
