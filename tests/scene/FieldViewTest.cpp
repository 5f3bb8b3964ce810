// The field can never be lost: it ends a little below row 300, a view kept beyond the rows
// comes back to them, Home and the "to the top" button go back to row 10; the wheel goes a
// row a notch; the zoom keeps every row and its number in sight and passes through 1.
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "EditingFixture.h"

using namespace cocos2d;
using K = EventKeyboard::KeyCode;

namespace {

class FieldView : public Editing {
protected:
    void SetUp() override {
        useOwnFolder();
        start();
    }
    FieldScrollView* field() const { return scene->fieldView; }
    float offsetY() const { return field()->getContentOffset().y; }
    // A slot's box on the screen.
    Rect onScreen(int row, int side) const {
        const Rect b = scene->slotRows[row].at(side)->getBoundingBox();
        const Vec2 low = world(b.origin), high = world(Vec2(b.getMaxX(), b.getMaxY()));
        return Rect(low.x, low.y, high.x - low.x, high.y - low.y);
    }
    bool rowInSight(int row) const {
        const Rect r = onScreen(row, 0);
        return r.getMinY() >= 5 && r.getMaxY() <= 763;
    }
    // The slot rows with any part on the screen.
    int rowsShown() const {
        int n = 0;
        for (int r = 0; r < 30; ++r) n += onScreen(r, 0).getMaxY() > 5 && onScreen(r, 0).getMinY() < 763;
        return n;
    }
    void restart() {
        scene->flushAutosave();
        SceneTest::TearDown();
        start();
    }
};

TEST_F(FieldView, ScrollingEndsBelowRowThreeHundredAndABouncePastItComesBack) {
    for (int i = 0; i < 60; ++i) scenetest::wheel(Vec2(600, 400), 5);
    EXPECT_EQ(offsetY(), field()->maxOffset().y);
    EXPECT_TRUE(rowInSight(29));
    EXPECT_LT(onScreen(29, 0).getMinY(), 100);  // no blank screen below it: just a margin
    // Pulled past the end, the field follows less and comes back when let go.
    Vec2 at(840, 150);
    scenetest::touchBegan(at);
    moveTo(at, Vec2(840, 450), 10);
    EXPECT_GT(offsetY(), field()->maxOffset().y);
    EXPECT_LT(offsetY(), field()->maxOffset().y + 300);
    scenetest::touchEnded(at);
    scenetest::stepSeconds(2);
    EXPECT_EQ(offsetY(), field()->maxOffset().y);
    // A flick past it too.
    at = Vec2(840, 150);
    scenetest::touchBegan(at);
    moveTo(at, Vec2(840, 300), 50);
    scenetest::touchEnded(at);
    scenetest::stepSeconds(2);
    EXPECT_NEAR(offsetY(), field()->maxOffset().y, 0.5f);
    EXPECT_TRUE(rowInSight(29));
    // No card can be laid where it could not be seen.
    CardSprite* card = scene->layCard(LedOn, Vec2(600, 10));
    EXPECT_GE(card->getBoundingBox().getMinY() + 1e-3f, field()->getScrollArea().getMinY());
    checkInvariants("a card laid below the end");
}

TEST_F(FieldView, TheWheelGoesARowANotchAndFurtherWhenTurnedQuickly) {
    const float row = onScreen(0, 0).getMaxY() - onScreen(1, 0).getMaxY();
    float y = offsetY();
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // a slow hand
        scenetest::wheel(Vec2(600, 400), 1);
        EXPECT_FLOAT_EQ(offsetY() - y, row);
        y = offsetY();
    }
    // Ten quick notches go further than ten rows: row 300 is near.
    for (int i = 0; i < 10; ++i) scenetest::wheel(Vec2(600, 400), 1);
    EXPECT_GT(offsetY() - y, 20 * row);
    // At a smaller zoom a notch is still a row.
    key(K::KEY_MINUS);
    key(K::KEY_MINUS);
    const float smaller = onScreen(0, 0).getMaxY() - onScreen(1, 0).getMaxY();
    EXPECT_LT(smaller, row);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    y = offsetY();
    scenetest::wheel(Vec2(600, 400), -1);
    EXPECT_FLOAT_EQ(y - offsetY(), smaller);
}

// Kept scrolled beyond the rows (an older version let the field go 1,000 points past row
// 300) and zoomed to 2: the next start shows the rows with the cards, at a size that fits.
TEST_F(FieldView, AViewKeptBeyondTheRowsComesBackToTheRowsWithCards) {
    const std::string path = folder + tavrick::FieldDocument::kAutosaveName;
    auto keep = [&](float offsetY, float zoom) {
        scene->flushAutosave();
        SceneTest::TearDown();
        std::ofstream(path) << R"({"format":"tavrick-cards","version":1,"target":"Dov","cards":[)"
                                R"({"kind":"led-on","x":0,"y":0,"row":50,"side":"left"},)"
                                R"({"kind":"wait-1","x":0,"y":0,"row":70,"side":"right"}],)"
                                R"("view":{"x":0,"y":)" + std::to_string(offsetY) + R"(,"zoom":)" +
                                    std::to_string(zoom) + "}}";
        start();
    };
    keep(0, 2.0f);  // the bottom of the old content: white below row 300
    ASSERT_EQ(scene->fieldCards.size(), 2) << notice();
    EXPECT_EQ(field()->getContainer()->getScale(), FieldScene::kMaxZoom);
    EXPECT_TRUE(rowInSight(4) || rowInSight(6));
    EXPECT_GE(offsetY(), field()->minOffset().y);
    EXPECT_LE(offsetY(), field()->maxOffset().y);
    // Far above the top, and smaller than the rows' numbers can be read: the same.
    keep(-99999, 0.2f);
    EXPECT_EQ(field()->getContainer()->getScale(), FieldScene::kMinZoom);
    EXPECT_TRUE(rowInSight(4) && rowInSight(6));
    EXPECT_GE(offsetY(), field()->minOffset().y);
    // A view among the rows stays as it was.
    scenetest::wheel(Vec2(600, 400), 4);
    const float kept = offsetY();
    restart();
    EXPECT_EQ(offsetY(), kept);
}

TEST_F(FieldView, HomeAndTheTopButtonGoBackToRowTen) {
    const float top = offsetY();
    EXPECT_FALSE(scene->topButton->isVisible());
    for (int i = 0; i < 12; ++i) scenetest::wheel(Vec2(600, 400), 1);
    ASSERT_FALSE(rowInSight(0));
    EXPECT_TRUE(scene->topButton->isVisible());
    key(K::KEY_HOME, false);
    scenetest::stepSeconds(1);
    EXPECT_EQ(offsetY(), top);
    EXPECT_TRUE(rowInSight(0));
    EXPECT_FALSE(scene->topButton->isVisible());
    // A hidden button takes no touch: the field beneath scrolls.
    const Vec2 button = worldOf(scene->topButton);
    scenetest::drag(button, button + Vec2(0, 200));
    scenetest::stepSeconds(1);
    EXPECT_GT(offsetY(), top);
    ASSERT_TRUE(scene->topButton->isVisible());
    // It shows over the field, right of the rows, where it covers no slot.
    EXPECT_GT(button.x - scene->topButton->getContentSize().width / 2, onScreen(0, 1).getMaxX());
    scenetest::tap(button);
    scenetest::stepSeconds(1);
    EXPECT_EQ(offsetY(), top);
}

// Every zoom step keeps the rows, their numbers and any card in a slot between the palette
// and the buttons; the steps pass through 1, and Ctrl+0 comes back to it.
TEST_F(FieldView, ZoomStaysWhereRowsShowPassesThroughOneAndCtrlZeroResetsIt) {
    scene->layCard(Wait10, seatOf(0, 1));
    auto rowsFit = [this](const char* when) {
        const Rect right = onScreen(0, 1);
        const Rect plate(onScreen(0, 0).getMinX() - 90 * field()->getContainer()->getScale(), 0, 0, 0);
        EXPECT_GE(plate.getMinX(), 250) << when;
        EXPECT_LE(right.getMaxX(), scene->boardBox->getPositionX()) << when;
        EXPECT_LE(world(scene->fieldCards.at(0)->getBoundingBox().origin +
                        Vec2(scene->fieldCards.at(0)->getBoundingBox().size.width, 0)).x,
                  scene->boardBox->getPositionX())
            << when;
    };
    std::vector<float> scales;
    for (int i = 0; i < 12; ++i) {
        key(K::KEY_MINUS);
        scales.push_back(field()->getContainer()->getScale());
        rowsFit("smaller");
    }
    EXPECT_EQ(scales.back(), FieldScene::kMinZoom);
    EXPECT_GE(rowsShown(), 9);
    for (int i = 0; i < 12; ++i) {
        key(K::KEY_PLUS);
        scales.push_back(field()->getContainer()->getScale());
        rowsFit("larger");
    }
    EXPECT_EQ(scales.back(), FieldScene::kMaxZoom);
    EXPECT_NE(std::find(scales.begin(), scales.end(), 1.0f), scales.end());
    // The wheel with Ctrl keeps to the same limits; Ctrl+= is Ctrl+plus; Ctrl+0 is 1.
    for (int i = 0; i < 20; ++i) scenetest::wheel(Vec2(600, 400), 1, true);
    EXPECT_EQ(field()->getContainer()->getScale(), FieldScene::kMinZoom);
    rowsFit("wheel");
    key(K::KEY_EQUAL);
    EXPECT_GT(field()->getContainer()->getScale(), FieldScene::kMinZoom);
    key(K::KEY_0);
    EXPECT_EQ(field()->getContainer()->getScale(), 1.0f);
    EXPECT_NEAR(field()->getContentOffset().x, 0, 0.01f);  // straight where it began
    // Without Ctrl, 0 and minus are no zoom.
    key(K::KEY_MINUS, false);
    EXPECT_EQ(field()->getContainer()->getScale(), 1.0f);
}

}  // namespace
