// The program the field makes and its send: the lines and pauses of both boards, the
// sending overlay, and failures told in plain words.
#include "SceneFixture.h"
#include <cmath>

using namespace cocos2d;

namespace {
using Lines = std::vector<std::pair<std::string, int>>;
}

using Program = SceneTest;

TEST_F(Program, WorkedExampleOnBothTargets) {
    start();  // no port: the lines are built and stay queued
    scene->buildAndSend();  // an empty field: header and trailer only
    EXPECT_EQ(queue(), (Lines{{"NEW\r\n", 200}, {"SAVE 0\r\n", 1000}, {"RUN\r\n", 200}}));
    put(0, 0, LedOn);
    put(0, 1, Wait1);
    put(2, 0, LedOff);
    scene->buildAndSend();
    EXPECT_EQ(queue(), (Lines{{"NEW\r\n", 200},
                              {"10 LED 1:WAIT 60\r\n", 720},
                              {"30 LED 0\r\n", 400},
                              {"SAVE 0\r\n", 1000},
                              {"RUN\r\n", 200}}));
    EXPECT_EQ(scene->send.overlay, nullptr);  // nothing to send to: no overlay

    DeviceManager::getInstance()->target = Velto;  // changes the next build only
    EXPECT_EQ(queue().size(), 5u);
    scene->buildAndSend();
    EXPECT_EQ(queue(), (Lines{{"cat uart > .\n", 0},
                              {"led(1);sleep(1000);\n", 0},
                              {"led(0);\n", 0},
                              {std::string(1, '\x04'), 2000},
                              {"ms .\n", 0}}));
    // The Ctrl-D closes what "cat uart > ." opened: the one line a stop still sends.
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    for (ssize_t i = 0; i < serial->sendQueue.size(); ++i)
        EXPECT_EQ(serial->sendQueue.at(i)->closing, i == 3) << i;
    DeviceManager::getInstance()->target = Dov;
    scene->buildAndSend();
    for (SendData* line : serial->sendQueue) EXPECT_FALSE(line->closing) << line->text;
}

TEST_F(Program, OverlaySwallowsEveryTouchAndShowsProgress) {
    int far = -1;
    const std::string path = openPort(&far);
    start({{path, "Test Port"}});
    scene->buildAndSend();
    ASSERT_NE(scene->send.overlay, nullptr);
    ASSERT_NE(scene->send.progress, nullptr);
    EXPECT_EQ(scene->send.progress->getString().rfind("Sending ", 0), 0u);
    EXPECT_NE(scene->send.progress->getString().find(" / 3"), std::string::npos);
    // Neither the target button nor the gear reacts while the overlay is up.
    scenetest::tap(worldOf(scene->targetButton));
    scenetest::stepFrames(2);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
    EXPECT_EQ(scene->targetButton->getOpacity(), 255);
    waitIdle();
    EXPECT_EQ(scene->send.overlay, nullptr);
    EXPECT_EQ(scene->sendNotice, nullptr);  // it went through: no notice
    // But a sign that it did, which no failure ever shows.
    ASSERT_NE(scene->answer.sentSign, nullptr);
    EXPECT_EQ(scene->answer.sentText->getString(), "Sent to Test Port");
    scenetest::stepSeconds(1.5f);
    EXPECT_NE(scene->answer.sentSign, nullptr);
    scenetest::stepSeconds(0.7f);
    EXPECT_EQ(scene->answer.sentSign, nullptr);
    scenetest::tap(worldOf(scene->targetButton));
    scenetest::stepFrames(2);
    EXPECT_NE(scene->panels.targetPanel, nullptr);
    drain(far);
}

// A notice is said in plain words on a plate of its own; a long one stays until it is tapped
// (a tap elsewhere reaches the screen as before), a short one goes by itself.
TEST_F(Program, AFailedSendIsToldInPlainWordsUntilTappedAndAShortNoticeGoesByItself) {
    start({{"/nonexistent/ttyNothing", "Gone"}});
    scene->buildAndSend();
    waitIdle();
    EXPECT_EQ(scene->send.overlay, nullptr);
    EXPECT_EQ(scene->answer.sentSign, nullptr) << "a failed send never looks like success";
    ASSERT_NE(scene->sendNotice, nullptr);
    EXPECT_EQ(scene->sendNotice->getString(), "The board is not connected. Check the cable.");
    ASSERT_NE(scene->notice.plate, nullptr);
    EXPECT_EQ(scene->sendNotice->getParent(), scene->notice.plate);
    const Rect plate = scene->notice.plate->getBoundingBox();
    EXPECT_GE(plate.size.width, scene->sendNotice->getContentSize().width + 40);
    EXPECT_GE(scene->sendNotice->getSystemFontSize(), 22);
    EXPECT_GE(plate.getMinX(), 250);  // clear of the palette and the buttons
    EXPECT_LE(plate.getMaxX(), 860);
    scenetest::stepSeconds(10.0f);
    ASSERT_NE(scene->sendNotice, nullptr) << "a long notice stays until it is tapped";
    scenetest::tap(worldOf(scene->targetButton));
    scenetest::stepFrames(2);
    EXPECT_NE(scene->panels.targetPanel, nullptr);
    scene->closeTargetPanel();
    EXPECT_NE(scene->sendNotice, nullptr);
    scenetest::tap(Vec2(plate.getMidX(), plate.getMidY()));
    scenetest::stepFrames(2);
    EXPECT_EQ(scene->sendNotice, nullptr);
    EXPECT_EQ(scene->notice.plate, nullptr);

    scene->showNotice("Sending stopped");
    scenetest::stepSeconds(2.5f);
    EXPECT_NE(scene->sendNotice, nullptr);
    scenetest::stepSeconds(1.0f);
    EXPECT_EQ(scene->sendNotice, nullptr);
}

// A line that cannot be made (no memory for it) must not leave a hole in the program.
TEST_F(Program, ASendWhoseQueueCannotBeBuiltWhollyDoesNotStartAndSaysSo) {
    int far = -1;
    const std::string path = openPort(&far);
    start({{path, "Test Port"}});
    put(0, 0, LedOn);
    put(1, 0, LedOff);
    put(2, 0, Wait1);
    static int made;
    made = 0;
    struct Restore {
        ~Restore() { FieldScene::makeSendLine = &SendData::create; }
    } restore;
    // Each line in turn is the one that cannot be made: header, a card line, trailer.
    for (int failing : {0, 2, 4}) {
        made = 0;
        static int fail;
        fail = failing;
        FieldScene::makeSendLine = [](const std::string& text, int32_t delay) -> SendData* {
            return made++ == fail ? nullptr : SendData::create(text, delay);
        };
        scene->buildAndSend();
        EXPECT_FALSE(TavrickCardSerialManager::getInstance()->isSending()) << failing;
        EXPECT_EQ(scene->send.overlay, nullptr) << failing;
        EXPECT_TRUE(queue().empty()) << failing;
        ASSERT_NE(scene->sendNotice, nullptr) << failing;
        EXPECT_EQ(scene->sendNotice->getString(), "Could not build the program: nothing was sent");
    }
    EXPECT_EQ(drain(far), "");

    // With every line made, the whole program goes.
    FieldScene::makeSendLine = &SendData::create;
    scene->buildAndSend();
    EXPECT_EQ(queue().size(), 6u);
    waitIdle();
    EXPECT_EQ(drain(far), "NEW\r\n10 LED 1\r\n20 LED 0\r\n30 WAIT 60\r\nSAVE 0\r\nRUN\r\n");
}

TEST_F(Program, AbsentAndBusyPortsAreToldApart) {
    int far = -1;
    const std::string busy = openPort(&far);
    const int holder = open(busy.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    fds.push_back(holder);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);  // another program holds it
    start({{"/dev/tavrick-no-such-port", "Gone"}, {busy, "Busy"}});
    choosePort("/dev/tavrick-no-such-port");
    scene->buildAndSend();
    waitIdle();
    ASSERT_NE(scene->sendNotice, nullptr);
    EXPECT_EQ(scene->sendNotice->getString(), "The board is not connected. Check the cable.");
    choosePort(busy);
    scene->buildAndSend();
    waitIdle();
    ASSERT_NE(scene->sendNotice, nullptr);
    EXPECT_EQ(scene->sendNotice->getString(), "Another program is using the board. Close it and try again.");
    EXPECT_EQ(drain(far), "");  // nothing reached the board
}

TEST_F(Program, PullingTheCableMidSendIsToldAndTheNextPortWorks) {
    int far1 = -1, far2 = -1;
    const std::string first = openPort(&far1);
    const std::string second = openPort(&far2);
    start({{first, "Board"}, {second, "Spare"}});
    for (int r = 0; r < 6; ++r) put(r, 0, LedOn);  // lines of 400 ms each: time to pull it out
    scene->buildAndSend();
    ASSERT_NE(scene->send.overlay, nullptr);
    char buf[64];
    ASSERT_GT(read(far1, buf, sizeof buf), 0);  // the first line is out
    close(far1);                                // the cable goes
    fds.erase(std::find(fds.begin(), fds.end(), far1));
    waitIdle();
    EXPECT_EQ(scene->send.overlay, nullptr);
    ASSERT_NE(scene->sendNotice, nullptr);
    EXPECT_EQ(scene->sendNotice->getString(), "The board is not connected. Check the cable.");
    // The screen answers.
    scenetest::tap(worldOf(scene->targetButton));
    scenetest::stepFrames(2);
    ASSERT_NE(scene->panels.targetPanel, nullptr);
    scenetest::tap(Vec2(500, 300));
    scenetest::stepFrames(2);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
    // The other port takes the whole program.
    choosePort(second);
    scene->buildAndSend();
    waitIdle();
    const std::string got = drain(far2);
    EXPECT_EQ(got.rfind("NEW\r\n10 LED 1\r\n20 LED 1\r\n", 0), 0u);
    EXPECT_NE(got.find("60 LED 1\r\nSAVE 0\r\nRUN\r\n"), std::string::npos);
}

TEST_F(Program, TheSendCountReadsClearlyOverAFullField) {
    int far = -1;
    start({{openPort(&far), "Board"}});
    for (int r = 0; r < 30; ++r) {
        put(r, 0, LedOn);
        put(r, 1, Wait1);
    }
    scene->buildAndSend();
    ASSERT_NE(scene->send.progress, nullptr);
    scenetest::stepFrames(2);
    // The brightest pixel of the text against its plate, by the WCAG contrast ratio.
    auto luminance = [](Color4B c) {
        auto lin = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b);
    };
    Rect text = scene->send.progress->getBoundingBox();
    text.origin = scene->send.progress->getParent()->convertToWorldSpace(text.origin);
    const Rect plate = scene->send.progressPlate->getBoundingBox();
    const Vec2 plateCorner =
        scene->send.progressPlate->getParent()->convertToWorldSpace(plate.origin) + Vec2(plate.size.width / 2, 4);
    const double background = luminance(scenetest::pixelAt(plateCorner));
    double brightest = 0;
    for (float x = text.getMinX(); x < text.getMaxX(); x += 1)
        brightest = std::max(brightest, luminance(scenetest::pixelAt(Vec2(x, text.getMidY()))));
    EXPECT_GE((brightest + 0.05) / (background + 0.05), 7.0);
    EXPECT_GE(scene->send.progress->getSystemFontSize(), 24);
    TavrickCardSerialManager::getInstance()->stopSend();
    waitIdle();
}
