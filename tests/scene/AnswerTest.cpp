// After a send, on the screen: what the board said back, reached from the drawer and from the
// list the board box opens; the mark on the board box when it said nothing; and the settings
// file that cannot be read or written, told on the screen.
#include <fstream>

#include "PtyHelpers.h"
#include "SceneFixture.h"
#include "Settings.h"

using namespace cocos2d;
using tavrick::PortKind;

namespace {

class Answer : public SceneTest {
protected:
    void SetUp() override { useOwnFolder(); }

    Vec2 centreOf(Node* n) const {
        const Rect box = n->getBoundingBox();
        return n->getParent()->convertToWorldSpace(Vec2(box.getMidX(), box.getMidY()));
    }

    // Steps frames in real time until the board's second to answer is over.
    void waitForTheAnswer() {
        waitIdle();
        TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (serial->isListening() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            scenetest::stepFrames(1, 0.05f);
        }
        ASSERT_FALSE(serial->isListening());
        scenetest::stepFrames(1);
    }
};

}  // namespace

TEST_F(Answer, WhatTheBoardSaidIsShownNewestLastFromTheDrawerAndFromTheBoardBox) {
    int far = -1;
    const std::string port = openPort(&far);
    ptytest::EchoBoard board(far);
    start({{port, "Board", PortKind::Usb}});
    // Before any send, the view says so.
    openDrawer();
    scenetest::tap(centreOf(scene->answer.drawerButton));
    scenetest::stepFrames(1);
    ASSERT_NE(scene->answer.view, nullptr);
    EXPECT_EQ(scene->answer.shown, std::vector<std::string>{"Nothing has been sent to the board yet"});
    scenetest::tap(centreOf(scene->answer.closeButton));
    scenetest::stepFrames(2);
    EXPECT_EQ(scene->answer.view, nullptr);
    openDrawer();  // shut again

    put(0, 0, LedOn);
    scene->buildAndSend();
    waitForTheAnswer();
    EXPECT_FALSE(scene->answer.silentMark->isVisible());
    const std::vector<std::string> said{"NEW", "OK", "10 LED 1", "OK", "SAVE 0", "OK", "RUN", "OK"};

    // From the board box: its list has the way in.
    scenetest::tap(centreOf(scene->boardBox));
    scenetest::stepFrames(1);
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    ASSERT_NE(scene->answer.listButton, nullptr);
    scenetest::tap(centreOf(scene->answer.listButton));
    scenetest::stepFrames(2);
    EXPECT_EQ(scene->panels.portListPopup, nullptr);
    ASSERT_NE(scene->answer.view, nullptr);
    EXPECT_EQ(scene->answer.shown, said);
    // Newest last, and in sight: the last line's label is the lowest, inside the list's view.
    Node* container = scene->answer.list->getContainer();
    Label* newest = nullptr;
    for (Node* child : container->getChildren())
        if (!newest || child->getPositionY() < newest->getPositionY()) newest = dynamic_cast<Label*>(child);
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->getString(), "OK");
    EXPECT_TRUE(scene->answer.list->getViewRectInWorld().containsPoint(centreOf(newest)));
    // Nothing beneath reacts; a tap beside the plate closes it.
    scenetest::tap(worldOf(scene->targetButton));
    scenetest::stepFrames(2);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
    EXPECT_EQ(scene->answer.view, nullptr);

    // Escape closes it too.
    scene->openBoardSaid();
    ASSERT_NE(scene->answer.view, nullptr);
    scene->closeTopPanel();
    EXPECT_EQ(scene->answer.view, nullptr);
}

TEST_F(Answer, ASilentBoardIsMarkedOnTheBoxAndTheViewSaysItSentNothingBack) {
    int far = -1;
    const std::string port = openPort(&far);
    start({{port, "Board", PortKind::Usb}});
    EXPECT_FALSE(scene->answer.silentMark->isVisible());
    put(0, 0, LedOn);
    scene->buildAndSend();
    waitIdle();
    // The send went well: its sign shows, silence or not.
    ASSERT_NE(scene->answer.sentSign, nullptr);
    EXPECT_EQ(scene->answer.sentText->getString(), "Sent to Board");
    waitForTheAnswer();
    EXPECT_TRUE(scene->answer.silentMark->isVisible());
    EXPECT_EQ(scene->sendNotice, nullptr) << "silence is no failure";
    scene->openBoardSaid();
    EXPECT_EQ(scene->answer.shown, std::vector<std::string>{FieldScene::kNothingBack});
    scene->closeBoardSaid();
    drain(far);

    // The next send that hears an answer takes the mark away.
    {
        ptytest::EchoBoard board(far);
        scene->buildAndSend();
        EXPECT_FALSE(scene->answer.silentMark->isVisible());
        waitForTheAnswer();
        EXPECT_FALSE(scene->answer.silentMark->isVisible());
    }
}

TEST_F(Answer, AMalformedSettingsFileIsToldOnceAndKeptAside) {
    std::ofstream(folder + "settings.json") << "{\"port\": [1, 2";
    start({{"/dev/ttyUSB0", "Board A", PortKind::Usb}});
    ASSERT_NE(scene->sendNotice, nullptr);
    EXPECT_EQ(scene->sendNotice->getString().rfind("Your settings could not be read", 0), 0u)
        << scene->sendNotice->getString();
    EXPECT_NE(scene->sendNotice->getString().find("settings.json.bad-"), std::string::npos);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), "/dev/ttyUSB0");

    // Kept aside: the next start finds no bad file and says nothing.
    SceneTest::TearDown();
    fds.clear();
    start({{"/dev/ttyUSB0", "Board A", PortKind::Usb}});
    EXPECT_EQ(scene->sendNotice, nullptr);
}

TEST_F(Answer, ASettingsFileThatCannotBeWrittenIsToldOnTheScreenOnce) {
    // The folder is a file: nothing can be written in it.
    std::ofstream(folder + "not-a-folder") << "x";
    FileUtils::getInstance()->setWritablePath(folder + "not-a-folder/");
    start({{"/dev/ttyUSB0", "Board A", PortKind::Usb}, {"/dev/ttyUSB1", "Board B", PortKind::Usb}});
    scene->closeNotice();  // whatever the field's keeping had to say about such a folder
    choosePort("/dev/ttyUSB1");
    scene->choosePort(TavrickCardSerialManager::getInstance()->selectedPort);
    ASSERT_NE(scene->sendNotice, nullptr);
    EXPECT_EQ(scene->sendNotice->getString().rfind("Your settings could not be saved", 0), 0u);
    scene->closeNotice();
    scene->choosePort(TavrickCardSerialManager::getInstance()->selectedPort);
    EXPECT_EQ(scene->sendNotice, nullptr) << "the same failure is told once";
    // The choice holds all the same.
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), "/dev/ttyUSB1");
    FileUtils::getInstance()->setWritablePath(folder);
}
