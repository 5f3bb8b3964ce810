#include "SceneFixture.h"

using namespace cocos2d;

TEST_F(SceneTest, FieldOpensAtItsTopWithRowsEdgeToEdge) {
    start();
    // The plate of row 10 begins 50 points below the top edge of the screen.
    CardSprite* left = scene->slotRows[0].at(0);
    CardSprite* right = scene->slotRows[0].at(1);
    const Rect leftBox = left->getBoundingBox();
    const float top = scene->fieldView->getContainer()->convertToWorldSpace(Vec2(0, leftBox.getMaxY())).y;
    EXPECT_NEAR(top, 768 - 50, 1e-3);
    EXPECT_EQ(left->getPositionY(), right->getPositionY());
    EXPECT_NEAR(leftBox.getMaxX() - right->getBoundingBox().getMinX(), 2, 1e-3);
    // Rows stack downwards, one plate height apart; row 300 lies below the screen.
    const float step = scene->slotRows[0].at(0)->getPositionY() - scene->slotRows[1].at(0)->getPositionY();
    EXPECT_NEAR(step, 120, 1e-3);
    EXPECT_LT(worldOf(scene->slotRows[29].at(0)).y, 0);
    EXPECT_EQ(scene->slotRows.size(), 30u);
}

TEST_F(SceneTest, PaletteStartsAtKindZeroWithZeroCounts) {
    start();
    CardSprite* first = scene->paletteCards[0];
    const Rect view = scene->paletteView->getViewRectInWorld();
    const float cardTop = worldOf(first).y + first->getContentSize().height / 2;
    EXPECT_NEAR(cardTop, view.getMaxY() - 20, 1e-3);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(scene->countLabels[k]->getString(), "0");
        EXPECT_EQ(scene->paletteCards[k]->kind, k);
    }
    EXPECT_EQ(scene->settingsLayer->getPosition(), Vec2(0, -75));
    EXPECT_EQ(scene->cleanIcon->getOpacity(), 0);
}

TEST_F(SceneTest, PortLabelShowsTheFirstScan) {
    start(kTwoPorts);
    EXPECT_EQ(scene->portLabel->getString(), "COM3 [ USB Serial Device ]");
    const Size s = scene->portLabel->getContentSize();
    EXPECT_EQ(scene->portLabelBackground->getContentSize(), Size(s.width + 20, s.height + 20));
    EXPECT_EQ(scene->reloadButton->getNumberOfRunningActions(), 0);
}

TEST_F(SceneTest, NoPortFoundSaysSoAndStopsTheArrow) {
    start();
    EXPECT_EQ(scene->portLabel->getString(), "Not Found ...");
    EXPECT_EQ(scene->reloadButton->getNumberOfRunningActions(), 0);
    const float r = scene->reloadButton->getRotation();
    scenetest::stepFrames(10);
    EXPECT_EQ(scene->reloadButton->getRotation(), r);
}

TEST_F(SceneTest, TheScreenIsDrawn) {
    start();
    // Field white, palette white, the green frame, and a slot's picture somewhere.
    EXPECT_EQ(scenetest::pixelAt(Vec2(252, 400)), Color4B(39, 172, 56, 255));
    EXPECT_EQ(scenetest::pixelAt(Vec2(900, 300)), Color4B(255, 255, 255, 255));
    const Vec2 slot = worldOf(scene->slotRows[0].at(0));
    EXPECT_NE(scenetest::pixelAt(Vec2(300, slot.y)), Color4B(255, 255, 255, 255));  // the plate
}

TEST_F(SceneTest, TheFieldsAreaIsWhiteAtEveryZoom) {
    start();
    for (float zoom : {0.5f, 0.75f, 1.0f}) {
        scene->fieldView->setZoom(zoom);
        // Right of the slots, just inside the frame, top to bottom (above the gear).
        for (float y : {150.f, 300.f, 700.f})
            EXPECT_EQ(scenetest::pixelAt(Vec2(1010, y)), Color4B(255, 255, 255, 255)) << "zoom " << zoom << " y " << y;
    }
}
