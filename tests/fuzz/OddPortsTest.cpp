// Ports as odd as systems report them: 200 characters long, not ASCII, not even UTF-8, or
// empty. Empty ones are not offered; the others are shown (a long one shortened to fit the
// screen) and can be chosen.
#include <algorithm>

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
        LayerColor* entry = portEntry(index);
        ASSERT_NE(entry, nullptr);
        scenetest::tap(entry->convertToWorldSpace(Vec2(5, 5)));  // its left end is on the screen
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
    // Each entry: the board's description over its port, each line within the screen.
    auto lines = [this](int index) {
        std::vector<Label*> found;
        if (LayerColor* row = portEntry(index))
            for (Node* c : row->getChildren())
                if (auto* l = dynamic_cast<Label*>(c)) found.push_back(l);
        std::sort(found.begin(), found.end(),
                  [](Label* a, Label* b) { return a->getPositionY() > b->getPositionY(); });
        return found;
    };
    const auto longEntry = lines(0);
    ASSERT_EQ(longEntry.size(), 2u);
    EXPECT_EQ(longEntry[0]->getString().substr(0, 5), "DDDDD");
    EXPECT_EQ(longEntry[1]->getString().substr(0, 10), "ttyLONGxxx");
    for (Label* l : longEntry) EXPECT_TRUE(insideScreen(l));
    const auto entry = lines(2);
    ASSERT_EQ(entry.size(), 2u);
    EXPECT_EQ(entry[0]->getString(), kUtf8Description);
    EXPECT_EQ(entry[1]->getString(), kUtf8Name);
    EXPECT_GT(entry[0]->getContentSize().width, 0);
    const auto raw = lines(1);
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0]->getString(), kNotUtf8);
    EXPECT_EQ(raw[1]->getString(), "ttyRAW");
    scenetest::stepFrames(2);
    choose(2);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), kUtf8Name);
    // The drawer's label has less room than the list: the same text, cut between characters.
    const std::string label = scene->portLabel->getString();
    const std::string whole = shown(kUtf8Name, kUtf8Description);
    ASSERT_GT(label.size(), 3u);
    EXPECT_EQ(whole.compare(0, label.size() - 3, label, 0, label.size() - 3), 0) << label;
    EXPECT_TRUE(insideScreen(scene->portLabel));
}

}  // namespace
