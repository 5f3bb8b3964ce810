// The screen's buttons and panels under the finger: dimming, the drawer, the target panel,
// the port list, the search arrow and the palette arrows.
#include "SceneFixture.h"

using namespace cocos2d;

using Controls = SceneTest;

TEST_F(Controls, ButtonReleasedOutsideOnlyRestoresItsOpacity) {
    start();
    const Vec2 at = worldOf(scene->targetButton);
    scenetest::touchBegan(at);
    EXPECT_EQ(scene->targetButton->getOpacity(), 192);
    scenetest::touchEnded(at + Vec2(0, -200));
    scenetest::stepFrames(2);
    EXPECT_EQ(scene->targetButton->getOpacity(), 255);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
}

TEST_F(Controls, GearTwiceQuicklyReversesTheDrawer) {
    start();
    const Vec2 shut = scene->settingsLayer->getPosition();
    scenetest::tap(worldOf(scene->settingsButton));
    scenetest::stepFrames(6, 0.02f);  // on its way up
    const float mid = scene->settingsLayer->getPositionY();
    EXPECT_GT(mid, shut.y);
    EXPECT_TRUE(scene->settingsOpen);
    scenetest::tap(worldOf(scene->settingsButton));
    EXPECT_FALSE(scene->settingsOpen);
    scenetest::stepFrames(3, 0.02f);
    EXPECT_LT(scene->settingsLayer->getPositionY(), mid);  // turned back at once
    scenetest::stepSeconds(1);
    EXPECT_EQ(scene->settingsLayer->getPosition(), shut);
}

TEST_F(Controls, TargetPanelChoosesVeltoAndTheGreyAreaCloses) {
    start();
    scenetest::tap(worldOf(scene->targetButton));
    ASSERT_NE(scene->panels.targetPanel, nullptr);
    EXPECT_EQ(scene->panels.targetPanelListeners.size(), 2);
    Node* velto = scene->panels.targetPanel->getChildByTag(Velto);
    Node* dov = scene->panels.targetPanel->getChildByTag(Dov);
    ASSERT_TRUE(velto && dov);
    scenetest::touchBegan(worldOf(velto));
    EXPECT_EQ(velto->getOpacity(), 128);
    scenetest::touchEnded(worldOf(velto));
    EXPECT_EQ(DeviceManager::getInstance()->target, Velto);
    EXPECT_NE(scene->panels.targetPanel, nullptr);  // closes on the next step, not in the callback
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
    EXPECT_EQ(scene->panels.targetPanelListeners.size(), 0);
    EXPECT_EQ(scene->targetButton->getTexture()->getPath(), "res/r_to_velto.png");

    scenetest::tap(worldOf(scene->targetButton));
    ASSERT_NE(scene->panels.targetPanel, nullptr);
    scenetest::tap(Vec2(500, 300));  // grey, beside the options
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
    EXPECT_EQ(DeviceManager::getInstance()->target, Velto);
}

TEST_F(Controls, OnlyTheLabelOpensThePortListAboveItAndOnlyAReleaseOnAnEntryChooses) {
    start(kTwoPorts);
    openDrawer();
    // Only the label itself opens it: not the white box, left of the text.
    scenetest::tap(worldOf(scene->portLabelBackground) + Vec2(4, 4));
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->panels.portListPopup, nullptr);
    const Vec2 label = worldOf(scene->portLabel);
    scenetest::tap(label + Vec2(5, 0));
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    ASSERT_EQ(scene->panels.portListListeners.size(), 2);
    LayerColor* com3 = portEntry(0);
    LayerColor* com5 = portEntry(1);
    ASSERT_TRUE(com3 && com5);
    // Above the label, in the list's order from the top, wholly on the screen.
    EXPECT_GT(middleOf(com3).y, middleOf(com5).y);
    const Rect labelBox = scene->portLabel->getBoundingBox();
    const float labelTop = scene->portLabel->getParent()->convertToWorldSpace(Vec2(0, labelBox.getMaxY())).y;
    EXPECT_GT(com5->convertToWorldSpace(Vec2::ZERO).y, labelTop);
    EXPECT_LT(com3->convertToWorldSpace(Vec2(0, com3->getContentSize().height)).y, 768);
    scenetest::tap(middleOf(com5));
    scenetest::stepFrames(1);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), "COM5");
    EXPECT_EQ(scene->portLabel->getString(), "COM5 [ Bluetooth Link ]");
    EXPECT_EQ(scene->panels.portListPopup, nullptr);

    // Pressing an entry and sliding off keeps the list open and the choice as it was.
    scenetest::tap(label + Vec2(5, 0));
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    com3 = portEntry(0);
    const Color3B plain = com3->getColor();
    scenetest::touchBegan(middleOf(com3));
    scenetest::touchEnded(Vec2(600, 600));
    scenetest::stepFrames(1);
    EXPECT_EQ(com3->getColor(), plain);
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    scenetest::tap(Vec2(600, 600));  // the grey area
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->panels.portListPopup, nullptr);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), "COM5");
}

TEST_F(Controls, ReloadSaysSearchingAtOnceAndFitsTheBox) {
    start(kTwoPorts);
    openDrawer();
    const float wide = scene->portLabelBackground->getContentSize().width;
    scenetest::tap(worldOf(scene->reloadButton));
    EXPECT_EQ(scene->portLabel->getString(), "Search ...");
    EXPECT_LT(scene->portLabelBackground->getContentSize().width, wide);  // the box shrinks to the word
    waitIdle();
    EXPECT_EQ(scene->portLabel->getString(), "COM3 [ USB Serial Device ]");
}

TEST_F(Controls, PaletteArrowsStopAtTheEnds) {
    start();
    FieldScrollView* list = scene->paletteView;
    const float top = list->getContentOffset().y;  // the list starts at kind 0
    const float bottomEnd = 0;
    scenetest::tap(worldOf(scene->menuUpButton));
    scenetest::stepSeconds(1.2f);
    EXPECT_NEAR(list->getContentOffset().y, top, 1e-3);  // already at the top end
    for (int i = 0; i < 5; ++i) {
        scenetest::tap(worldOf(scene->menuDownButton));
        scenetest::stepSeconds(1.2f);
    }
    EXPECT_NEAR(list->getContentOffset().y, bottomEnd, 1e-3);
    scenetest::tap(worldOf(scene->menuUpButton));
    scenetest::stepSeconds(1.2f);
    EXPECT_NEAR(list->getContentOffset().y, std::max(top, bottomEnd - 300), 1e-3);
}
