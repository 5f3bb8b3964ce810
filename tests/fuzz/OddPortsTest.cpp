// Ports as odd as systems report them: 200 characters long, not ASCII, not even UTF-8, or
// empty. Empty ones are not offered; the others are shown (a long one shortened to fit the
// screen) and can be chosen.
#include "SceneFixture.h"

using namespace cocos2d;

namespace {

const std::string kLongName = "ttyLONG" + std::string(193, 'x');               // 200
const std::string kLongDescription = std::string(150, 'D') + std::string(50, '-');  // 200
const std::string kUtf8Name = "ttyÜSB0";
const std::string kUtf8Description = "Späť-Board ✓ ボード";
const std::string kNotUtf8 = "Board \xff\xfe\xc3";

class OddPorts : public SceneTest {
protected:
    void SetUp() override {
        start({{"", "Nameless Board"},
               {kLongName, kLongDescription},
               {"ttyNODESC", ""},
               {kUtf8Name, kUtf8Description},
               {"", ""},
               {"ttyRAW", kNotUtf8}});
        openDrawer();
    }

    static std::string shown(const std::string& name, const std::string& description) {
        return name + " [ " + description + " ]";
    }

    // Opens the list with a tap on the left end of the port label.
    void openList() {
        const Rect box = scene->portLabel->getBoundingBox();
        const Vec2 at = scene->portLabel->getParent()->convertToWorldSpace(Vec2(box.getMinX() + 5, box.getMidY()));
        scenetest::tap(at);
        ASSERT_NE(scene->panels.portListPopup, nullptr);
    }

    void choose(int index) {
        Node* entry = scene->panels.portListPopup->getChildByTag(index);
        ASSERT_NE(entry, nullptr);
        const Vec2 at = entry->getPosition() + Vec2(5, 0);  // its left end is on the screen
        scenetest::tap(at);
        scenetest::stepFrames(1);
        EXPECT_EQ(scene->panels.portListPopup, nullptr);
    }
};

TEST_F(OddPorts, LongTextIsShortenedToTheScreenAndForeignTextIsShownWhole) {
    auto insideScreen = [](Node* node) {
        const Rect box = node->getBoundingBox();
        return node->getParent()->convertToWorldSpace(Vec2(box.getMaxX(), 0)).x <= 1024;
    };
    const std::string& text = scene->portLabel->getString();
    EXPECT_EQ(text.rfind("ttyLONGxxx", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 3), "...");
    EXPECT_TRUE(insideScreen(scene->portLabel));
    // The board box beside play shows the description the same way.
    EXPECT_EQ(scene->boardLabel->getString().substr(0, 5), "DDDDD");
    EXPECT_TRUE(insideScreen(scene->boardLabel));
    scenetest::stepFrames(2);  // drawn

    openList();
    auto* longEntry = dynamic_cast<Label*>(scene->panels.portListPopup->getChildByTag(0));
    ASSERT_NE(longEntry, nullptr);
    EXPECT_TRUE(insideScreen(longEntry));
    auto* entry = dynamic_cast<Label*>(scene->panels.portListPopup->getChildByTag(2));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->getString(), shown(kUtf8Name, kUtf8Description));
    EXPECT_GT(entry->getContentSize().width, 0);
    auto* raw = dynamic_cast<Label*>(scene->panels.portListPopup->getChildByTag(1));
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->getString(), shown("ttyRAW", kNotUtf8));
    scenetest::stepFrames(2);
    choose(2);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), kUtf8Name);
    EXPECT_EQ(scene->portLabel->getString(), shown(kUtf8Name, kUtf8Description));
}

}  // namespace
