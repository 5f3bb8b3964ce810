// What the screen shows once built: the field and its frame drawn, and the port search's
// end shown when nothing is found.
#include "SceneFixture.h"

using namespace cocos2d;

using Layout = SceneTest;

TEST_F(Layout, TheScreenIsDrawn) {
    start();
    // Field white, palette white, the green frame, and a slot's picture somewhere.
    EXPECT_EQ(scenetest::pixelAt(Vec2(252, 400)), Color4B(39, 172, 56, 255));
    EXPECT_EQ(scenetest::pixelAt(Vec2(900, 300)), Color4B(255, 255, 255, 255));
    const Vec2 slot = worldOf(scene->slotRows[0].at(0));
    EXPECT_NE(scenetest::pixelAt(Vec2(300, slot.y)), Color4B(255, 255, 255, 255));  // the plate
}

TEST_F(Layout, TheFieldsAreaIsWhiteAtEveryZoom) {
    start();
    for (float zoom : {0.5f, 0.75f, 1.0f}) {
        scene->fieldView->setZoom(zoom);
        // Right of the slots, just inside the frame, top to bottom (above the gear).
        for (float y : {150.f, 300.f, 700.f})
            EXPECT_EQ(scenetest::pixelAt(Vec2(1010, y)), Color4B(255, 255, 255, 255)) << "zoom " << zoom << " y " << y;
    }
}
