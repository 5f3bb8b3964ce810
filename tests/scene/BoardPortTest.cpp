// Which board the screen sends to, and that the child can see it: the board box beside play,
// no silent play without a board, a press kept through a scan, the choice kept across starts,
// devices coming and going, and a send stopped from the overlay.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <future>

#include "SceneFixture.h"
#include "Settings.h"

using namespace cocos2d;
using tavrick::PortInfo;
using tavrick::PortKind;

namespace {

class BoardPort : public SceneTest {
protected:
    void SetUp() override { useOwnFolder(); }

    int indexOf(const std::string& name) const {
        TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
        for (int i = 0; i < serial->ports.size(); ++i)
            if (serial->ports.at(i)->portName == name) return i;
        return -1;
    }

    // Tears the screen down as the process would at its end, and builds a new one.
    void restart(std::vector<PortInfo> ports) {
        SceneTest::TearDown();
        fds.clear();
        start(std::move(ports));
    }
};

TEST_F(BoardPort, PlayWithNoBoardSaysSoAndOpensNothing) {
    start();
    EXPECT_EQ(scene->boardLabel->getString(), "No board");
    EXPECT_EQ(scene->portLabel->getString(), "Not Found ...");
    scenetest::tap(worldOf(scene->playButton));
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->send.overlay, nullptr);
    EXPECT_EQ(scene->panels.portListPopup, nullptr);
    ASSERT_NE(scene->sendNotice, nullptr);
    EXPECT_EQ(scene->sendNotice->getString(), "No board found: plug in the board's USB cable");
    EXPECT_FALSE(TavrickCardSerialManager::getInstance()->isBusy());
}

TEST_F(BoardPort, TheUsbBoardIsChosenShownBesidePlayAndItsBoxOpensTheList) {
    int builtInFar = -1, usbFar = -1;
    const std::string builtIn = openPort(&builtInFar);
    const std::string usb = openPort(&usbFar);
    start({{builtIn, "ttyS0", PortKind::BuiltIn}, {usb, "CP2102 USB to UART Bridge", PortKind::Usb}});
    EXPECT_EQ(scene->boardLabel->getString(), "CP2102 USB to UART Bridge");
    EXPECT_EQ(scene->boardPortLabel->getString(), usb);
    // The drawer was never opened: play goes to the USB board.
    put(0, 0, LedOn);
    scenetest::tap(worldOf(scene->playButton));
    waitIdle();
    EXPECT_EQ(drain(usbFar), "NEW\r\n10 LED 1\r\nSAVE 0\r\nRUN\r\n");
    EXPECT_EQ(drain(builtInFar), "");

    // The box opens the list with every entry on the screen, the drawer shut.
    const Rect box = scene->boardBox->getBoundingBox();
    scenetest::tap(Vec2(box.getMidX(), box.getMidY()));
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    ASSERT_EQ(scene->panels.portListRows.size(), 2u);
    for (LayerColor* row : scene->panels.portListRows) {
        const Vec2 low = row->convertToWorldSpace(Vec2::ZERO);
        const Vec2 high = row->convertToWorldSpace(Vec2(row->getContentSize().width, row->getContentSize().height));
        EXPECT_GE(low.y, 0);
        EXPECT_LE(high.y, 768);
        EXPECT_GE(low.x, 0);
        EXPECT_LE(high.x, 1024);
    }
}

TEST_F(BoardPort, PlayDuringAScanIsKeptAndSendsWhenTheScanEnds) {
    int far = -1;
    const std::string port = openPort(&far);
    start({{port, "Board", PortKind::Usb}});
    put(0, 0, LedOff);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    serial->setScanFunction([released, port] {
        released.wait();
        return std::vector<PortInfo>{{port, "Board", PortKind::Usb}};
    });
    openDrawer();
    scenetest::tap(worldOf(scene->reloadButton));
    ASSERT_TRUE(serial->isScanning());
    EXPECT_GT(scene->reloadButton->getNumberOfRunningActions(), 0);  // the arrow turns
    scenetest::tap(worldOf(scene->playButton));
    scenetest::stepFrames(3);
    EXPECT_EQ(scene->send.overlay, nullptr);
    EXPECT_TRUE(scene->send.playPending);
    release.set_value();
    waitIdle();  // the scan ends, and the kept press starts the send
    waitIdle();
    EXPECT_EQ(drain(far), "NEW\r\n10 LED 0\r\nSAVE 0\r\nRUN\r\n");
    EXPECT_FALSE(scene->send.playPending);
}

TEST_F(BoardPort, AHandChoiceIsRememberedForTheNextStartAndABadFileIsIgnored) {
    const std::vector<PortInfo> ports{{"/dev/ttyUSB0", "Board A", PortKind::Usb},
                                      {"/dev/ttyUSB1", "Board B", PortKind::Usb}};
    start(ports);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), "/dev/ttyUSB0");
    scene->openPortList();
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    Node* entry = portEntry(indexOf("/dev/ttyUSB1"));
    ASSERT_NE(entry, nullptr);
    scenetest::tap(middleOf(entry));
    scenetest::stepFrames(1);
    EXPECT_EQ(tavrick::Settings::load(folder).port, "/dev/ttyUSB1");

    restart(ports);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), "/dev/ttyUSB1");
    EXPECT_EQ(scene->boardLabel->getString(), "Board B");

    // A file that is not settings: the default rule, and no harm.
    std::ofstream(folder + "settings.json") << "{\"port\": [1, 2";
    restart(ports);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), "/dev/ttyUSB0");
}

TEST_F(BoardPort, PluggingAndPullingUpdatesTheChoiceAndTheBoxWithoutATap) {
    start({{"/dev/ttyS0", "ttyS0", PortKind::BuiltIn}});
    EXPECT_EQ(scene->boardLabel->getString(), "No board");
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    serial->setScanFunction([] {
        return std::vector<PortInfo>{{"/dev/ttyS0", "ttyS0", PortKind::BuiltIn},
                                     {"/dev/ttyACM0", "Board", PortKind::Usb}};
    });
    serial->devicesChanged();
    scenetest::stepSeconds(0.5f);  // the events settle, the rescan starts
    waitIdle();
    EXPECT_EQ(serial->getSelectedPortName(), "/dev/ttyACM0");
    EXPECT_EQ(scene->boardLabel->getString(), "Board");
    EXPECT_EQ(scene->reloadButton->getNumberOfRunningActions(), 0);

    // Pulled: the built-in port left behind is no board either.
    serial->setScanFunction([] { return std::vector<PortInfo>{{"/dev/ttyS0", "ttyS0", PortKind::BuiltIn}}; });
    serial->devicesChanged();
    scenetest::stepSeconds(0.5f);
    waitIdle();
    EXPECT_EQ(scene->boardLabel->getString(), "No board");
    EXPECT_EQ(serial->getSelectedPortName(), "");

    serial->setScanFunction([] { return std::vector<PortInfo>{}; });
    serial->devicesChanged();
    scenetest::stepSeconds(0.5f);
    waitIdle();
    EXPECT_EQ(scene->boardLabel->getString(), "No board");
}

TEST_F(BoardPort, WithOnlyBuiltInPortsPlaySendsNothingAndSaysNoBoardUntilOneIsChosenByHand) {
    int far = -1;
    const std::string port = openPort(&far);
    start({{port, "ttyS0", PortKind::BuiltIn}, {"/dev/ttyAMA0", "ttyAMA0", PortKind::BuiltIn}});
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    EXPECT_EQ(serial->ports.size(), 2);
    EXPECT_EQ(scene->boardLabel->getString(), "No board");
    EXPECT_EQ(scene->boardPortLabel->getString(), "");
    put(0, 0, LedOn);
    scenetest::tap(worldOf(scene->playButton));
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->send.overlay, nullptr);
    ASSERT_NE(scene->sendNotice, nullptr);
    EXPECT_EQ(scene->sendNotice->getString(), "No board found: plug in the board's USB cable");
    EXPECT_FALSE(serial->isBusy());
    EXPECT_EQ(drain(far), "");

    // Some boards do hang on a real serial port: one chosen by hand is used, and kept.
    scene->choosePort(indexOf(port));
    EXPECT_EQ(scene->boardLabel->getString(), "ttyS0");
    scenetest::tap(worldOf(scene->playButton));
    waitIdle();
    EXPECT_EQ(drain(far), "NEW\r\n10 LED 1\r\nSAVE 0\r\nRUN\r\n");
    EXPECT_EQ(tavrick::Settings::load(folder).port, port);
    restart({{port, "ttyS0", PortKind::BuiltIn}});
    EXPECT_EQ(serial->getSelectedPortName(), port);
    EXPECT_EQ(scene->boardLabel->getString(), "ttyS0");
}

TEST_F(BoardPort, AScanThatCannotStartEndsTheSearch) {
    start();
    openDrawer();
    TavrickCardSerialManager::getInstance()->failNextLaunchForTests();
    scenetest::tap(worldOf(scene->reloadButton));
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->portLabel->getString(), "Not Found ...");
    EXPECT_EQ(scene->reloadButton->getNumberOfRunningActions(), 0);
    // And the arrow tries again.
    scenetest::tap(worldOf(scene->reloadButton));
    EXPECT_TRUE(TavrickCardSerialManager::getInstance()->isScanning());
    waitIdle();
}

TEST_F(BoardPort, StopOnTheOverlayEndsTheSendBetweenLines) {
    int far = -1;
    const std::string port = openPort(&far);
    start({{port, "Board", PortKind::Usb}});
    for (int r = 0; r < 30; ++r) put(r, 0, LedOn);  // some twelve seconds of pauses
    scenetest::tap(worldOf(scene->playButton));
    ASSERT_NE(scene->send.overlay, nullptr);
    ASSERT_NE(scene->send.stopButton, nullptr);
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (serial->getLinesWritten() < 2 && std::chrono::steady_clock::now() < deadline)
        scenetest::stepFrames(1, 0.05f);
    ASSERT_GE(serial->getLinesWritten(), 2);
    const Rect stop = scene->send.stopButton->getBoundingBox();
    scenetest::tap(scene->send.stopButton->getParent()->convertToWorldSpace(
        Vec2(stop.getMidX(), stop.getMidY())));
    waitIdle();
    EXPECT_EQ(scene->send.overlay, nullptr);
    ASSERT_NE(scene->sendNotice, nullptr);
    EXPECT_EQ(scene->sendNotice->getString(), "Sending stopped");
    const std::string partial = drain(far);
    EXPECT_EQ(partial.rfind("NEW\r\n10 LED 1\r\n", 0), 0u);
    EXPECT_EQ(partial.substr(partial.size() - 2), "\r\n");  // whole lines only
    EXPECT_EQ(partial.find("RUN"), std::string::npos);
}

// (Velto's card lines have no pause: the stop comes in the Ctrl-D's. A stop before the Ctrl-D
// is the serial suite's.)
TEST_F(BoardPort, AVeltoSendStoppedFromTheOverlayEndsWithItsCtrlDAndIsNotRun) {
    int far = -1;
    const std::string port = openPort(&far);
    start({{port, "Board", PortKind::Usb}});
    DeviceManager::getInstance()->target = Velto;
    put(0, 0, LedOn);
    put(1, 0, LedOff);
    scene->buildAndSend();
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    ASSERT_TRUE(serial->isSending());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (serial->getLinesWritten() < 2 && std::chrono::steady_clock::now() < deadline)
        scenetest::stepFrames(1, 0.05f);
    scene->stopSending();
    waitIdle();
    const std::string got = drain(far);
    ASSERT_GE(got.size(), 1u);
    EXPECT_EQ(got.rfind("cat uart > .\n", 0), 0u);
    EXPECT_EQ(got.back(), '\x04') << "the board's capture is closed";
    EXPECT_EQ(got.find("ms ."), std::string::npos) << "a stopped program is not run";
    DeviceManager::getInstance()->target = Dov;
}

TEST_F(BoardPort, AScreenDestroyedDuringASendIsNotCalledBack) {
    int far = -1;
    const std::string port = openPort(&far);
    start({{port, "Board", PortKind::Usb}});
    put(0, 0, LedOn);
    scene->buildAndSend();
    ASSERT_TRUE(TavrickCardSerialManager::getInstance()->isSending());
    // The screen goes while the worker still writes; its end must find no screen to call.
    scenetest::resetEngine();
    scene = nullptr;
    EXPECT_EQ(drain(far).rfind("NEW\r\n", 0), 0u);
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (serial->isBusy() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        serial->pollSend(0.1f);
    }
    EXPECT_FALSE(serial->isBusy());
}


Rect worldBox(Node* node) {
    const Vec2 low = node->convertToWorldSpace(Vec2::ZERO);
    const Size s = node->getContentSize();
    const Vec2 high = node->convertToWorldSpace(Vec2(s.width, s.height));
    return Rect(low.x, low.y, high.x - low.x, high.y - low.y);
}

// The texts an entry shows, top first.
std::vector<std::string> textsOf(Node* row) {
    std::vector<std::pair<float, std::string>> found;
    for (Node* child : row->getChildren())
        if (auto* label = dynamic_cast<Label*>(child)) found.emplace_back(-label->getPositionY(), label->getString());
    std::sort(found.begin(), found.end());
    std::vector<std::string> texts;
    for (auto& f : found) texts.push_back(f.second);
    return texts;
}

// The entry carries the mark of the port in use (a picture beside its texts).
bool marked(Node* row) {
    for (Node* child : row->getChildren())
        if (dynamic_cast<Sprite*>(child)) return true;
    return false;
}

class PortList : public BoardPort {
protected:
    bool inSight(int index) {
        LayerColor* entry = portEntry(index);
        if (!entry) return false;
        const Rect box = worldBox(entry);
        const Rect screen(0, 0, 1024, 768);
        const Rect view = scene->panels.portListView ? scene->panels.portListView->getViewRectInWorld() : screen;
        return view.containsPoint(Vec2(box.getMidX(), box.getMinY() + 1)) &&
               view.containsPoint(Vec2(box.getMidX(), box.getMaxY() - 1)) &&
               screen.containsPoint(Vec2(box.getMaxX(), box.getMidY())) &&
               screen.containsPoint(Vec2(box.getMinX(), box.getMidY()));
    }

    // Turns the wheel over the list until the entry is in sight; false if it never comes.
    bool scrollTo(int index) {
        for (float notch : {1.f, -1.f}) {
            for (int i = 0; i < 120 && !inSight(index); ++i) {
                const Rect view = scene->panels.portListView->getViewRectInWorld();
                scenetest::wheel(Vec2(view.getMidX(), view.getMidY()), notch);
                scenetest::stepFrames(1);
            }
        }
        return inSight(index);
    }
};

TEST_F(PortList, AnyLengthStaysOnTheScreenOpensOnTheChoiceAndEveryEntryCanBeChosen) {
    for (int n : {3, 12, 40}) {
        std::vector<PortInfo> ports;
        for (int i = 0; i < n; ++i)
            ports.push_back({"/dev/ttyUSB" + std::to_string(i), "Board " + std::to_string(i), PortKind::Usb});
        if (scene) restart(ports);
        else start(ports);
        TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
        choosePort(ports.back().portName);  // the top of the list, the farthest from where it opens
        scene->openPortList();
        ASSERT_NE(scene->panels.portListPopup, nullptr);
        if (n == 3) { EXPECT_EQ(scene->panels.portListView, nullptr); }
        if (n == 40) { EXPECT_NE(scene->panels.portListView, nullptr); }
        if (scene->panels.portListView) {
            const Rect view = scene->panels.portListView->getViewRectInWorld();
            EXPECT_GE(view.getMinY(), 0);
            EXPECT_LE(view.getMaxY(), 768);
        }
        EXPECT_TRUE(inSight(n - 1)) << n << " ports: the chosen entry is out of sight";
        for (int target : {0, n / 2}) {
            if (!scene->panels.portListPopup) scene->openPortList();
            if (scene->panels.portListView) { ASSERT_TRUE(scrollTo(target)) << n << " ports, entry " << target; }
            ASSERT_TRUE(inSight(target));
            const Rect box = worldBox(portEntry(target));
            scenetest::tap(Vec2(box.getMinX() + 10, box.getMidY()));
            scenetest::stepFrames(1);
            EXPECT_EQ(scene->panels.portListPopup, nullptr);
            EXPECT_EQ(serial->getSelectedPortName(), ports[target].portName) << n << " ports";
        }
    }
}

// The list reads for people: each entry the board's description over its port, built-in
// ports said to be such, the port in use marked; it opens beside the box that opened it and
// looks like a list even with one port.
TEST_F(PortList, OneThreeAndFortyPortsOpenBesideTheBoxWithTheBoardOverItsPortAndTheChoiceMarked) {
    for (int n : {1, 3, 40}) {
        std::vector<PortInfo> ports;
        for (int i = 0; i < n; ++i)
            ports.push_back({"/dev/ttyUSB" + std::to_string(i), "Board " + std::to_string(i), PortKind::Usb});
        if (n > 1) ports[1] = {"/dev/ttyS0", "ttyS0", PortKind::BuiltIn};
        if (scene) restart(ports);
        else start(ports);
        const std::string chosen = ports[n / 2 == 1 ? 0 : n / 2].portName;
        choosePort(chosen);
        scene->updatePortLabel();
        const Rect box = worldBox(scene->boardBox);
        scenetest::tap(Vec2(box.getMidX(), box.getMidY()));
        ASSERT_NE(scene->panels.portListPopup, nullptr) << n;
        ASSERT_EQ(scene->panels.portListRows.size(), static_cast<size_t>(n));
        EXPECT_EQ(scene->panels.portListOpener, scene->boardBox);
        // A list with a title, also for one port.
        bool titled = false;
        std::function<void(Node*)> look = [&](Node* node) {
            for (Node* c : node->getChildren()) {
                if (auto* l = dynamic_cast<Label*>(c)) titled = titled || l->getString() == "Which board?";
                look(c);
            }
        };
        look(scene->panels.portListPopup);
        EXPECT_TRUE(titled) << n;
        TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
        for (int i = 0; i < n; ++i) {
            if (scene->panels.portListView) { ASSERT_TRUE(scrollTo(i)) << n << " ports, entry " << i; }
            ASSERT_TRUE(inSight(i)) << n << " ports, entry " << i;
            LayerColor* entry = portEntry(i);
            TavrickCardSerialData* port = serial->ports.at(i);
            const bool builtIn = port->portName == "/dev/ttyS0";
            EXPECT_EQ(textsOf(entry), (std::vector<std::string>{port->description,
                                                                port->portName + (builtIn ? "  (built-in port)" : "")}));
            EXPECT_EQ(marked(entry), port->portName == chosen) << n << " ports, entry " << i;
            // Beside the box: left of it, never over it.
            EXPECT_LE(worldBox(entry).getMaxX(), box.getMinX()) << n;
        }
        // Its top at the box's top when it fits below it; else as high as it must be.
        const Rect first = worldBox(portEntry(0));
        if (!scene->panels.portListView) {
            EXPECT_GE(first.getMaxY(), box.getMinY());
            EXPECT_LE(first.getMaxY(), box.getMaxY());
        }
        scenetest::tap(Vec2(100, 100));  // the grey area closes it
        scenetest::stepFrames(1);
        EXPECT_EQ(scene->panels.portListPopup, nullptr);
        EXPECT_EQ(serial->getSelectedPortName(), chosen);
    }
}

// A scan that ends while the list is open builds it again from the ports now present; an
// entry chooses the port whose name it shows, never another that came to its place.
TEST_F(PortList, AScanWhileTheListIsOpenRebuildsItAndAnEntryChoosesThePortItShows) {
    const std::vector<PortInfo> three{{"/dev/ttyUSB0", "Board A", PortKind::Usb},
                                      {"/dev/ttyUSB1", "Board B", PortKind::Usb},
                                      {"/dev/ttyS0", "ttyS0", PortKind::BuiltIn}};
    start(three);
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    auto rescan = [&](std::vector<PortInfo> now) {
        serial->setScanFunction([now] { return now; });
        serial->scanPorts(nullptr);
        waitIdle();
    };
    const Rect box = worldBox(scene->boardBox);
    scenetest::tap(Vec2(box.getMidX(), box.getMidY()));
    ASSERT_EQ(scene->panels.portListRows.size(), 3u);

    // Board A is pulled while a finger is on its entry: the list follows, and the release
    // (where Board B's entry now lies) chooses nothing.
    const Vec2 first = middleOf(portEntry(0));
    scenetest::touchBegan(first);
    rescan({three[1], three[2]});
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    ASSERT_EQ(scene->panels.portListRows.size(), 2u);
    EXPECT_EQ(textsOf(portEntry(0))[0], "Board B");
    EXPECT_EQ(textsOf(portEntry(1))[1], "/dev/ttyS0  (built-in port)");
    scenetest::touchEnded(first);
    scenetest::stepFrames(1);
    EXPECT_EQ(serial->getPreferredPort(), "");

    // The entry that shows ttyS0 chooses ttyS0, even when the list of ports has changed
    // under it (here by hand, in the moment a scan's end and the rebuild could leave).
    const Vec2 at = middleOf(portEntry(1));
    cocos2d::Vector<TavrickCardSerialData*> reordered;
    for (ssize_t i = serial->ports.size() - 1; i >= 0; --i) reordered.pushBack(serial->ports.at(i));
    serial->ports.clear();
    for (TavrickCardSerialData* p : reordered) serial->ports.pushBack(p);
    ASSERT_EQ(serial->ports.at(1)->portName, "/dev/ttyUSB1");
    scenetest::tap(at);
    scenetest::stepFrames(1);
    EXPECT_EQ(serial->getSelectedPortName(), "/dev/ttyS0");
    EXPECT_EQ(serial->getPreferredPort(), "/dev/ttyS0");

    // Every port gone: the list closes.
    scenetest::tap(Vec2(box.getMidX(), box.getMidY()));
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    rescan({});
    EXPECT_EQ(scene->panels.portListPopup, nullptr);
}

TEST_F(PortList, DraggingTheListScrollsItAndChoosesNothing) {
    std::vector<PortInfo> ports;
    for (int i = 0; i < 40; ++i) ports.push_back({"/dev/ttyUSB" + std::to_string(i), "Board", PortKind::Usb});
    start(ports);
    scene->openPortList();
    ASSERT_NE(scene->panels.portListView, nullptr);
    const Vec2 before = scene->panels.portListView->getContentOffset();
    const Rect view = scene->panels.portListView->getViewRectInWorld();
    scenetest::drag(Vec2(view.getMinX() + 20, view.getMidY() - 100), Vec2(view.getMinX() + 20, view.getMidY() + 100));
    scenetest::stepFrames(30);
    EXPECT_NE(scene->panels.portListView->getContentOffset(), before);
    EXPECT_NE(scene->panels.portListPopup, nullptr);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), "/dev/ttyUSB0");
    // A tap on the grey area beside the list still closes it.
    scenetest::tap(Vec2(1000, 384));
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->panels.portListPopup, nullptr);
}


TEST_F(BoardPort, FullScreenIsToggledFromTheDrawerAndTakenAgainAtTheNextStart) {
    start();
    GLView* view = Director::getInstance()->getOpenGLView();
    ASSERT_FALSE(view->isFullscreen());
    openDrawer();
    ASSERT_NE(scene->fullscreenButton, nullptr);
    scenetest::tap(worldOf(scene->fullscreenButton));
    EXPECT_TRUE(view->isFullscreen());
    EXPECT_TRUE(tavrick::Settings::load(folder).fullscreen);
    restart({});
    EXPECT_TRUE(Director::getInstance()->getOpenGLView()->isFullscreen());
    openDrawer();
    scenetest::tap(worldOf(scene->fullscreenButton));
    EXPECT_FALSE(Director::getInstance()->getOpenGLView()->isFullscreen());
    EXPECT_FALSE(tavrick::Settings::load(folder).fullscreen);
}


void press(EventKeyboard::KeyCode key) {
    GLView* view = Director::getInstance()->getOpenGLView();
    view->handleKey(key, true, false, false);
    view->handleKey(key, false, false, false);
    scenetest::stepFrames(1);
}

TEST_F(BoardPort, EscapeClosesThePanelOnTopAndF11FillsTheScreen) {
    start(kTwoPorts);
    using K = EventKeyboard::KeyCode;
    scene->openTargetPanel();
    ASSERT_NE(scene->panels.targetPanel, nullptr);
    press(K::KEY_ESCAPE);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
    EXPECT_EQ(DeviceManager::getInstance()->target, Dov);  // closed, nothing chosen

    scene->openPortList();
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    const std::string chosen = TavrickCardSerialManager::getInstance()->getSelectedPortName();
    press(K::KEY_ESCAPE);
    EXPECT_EQ(scene->panels.portListPopup, nullptr);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), chosen);

    // The question over the open drawer: Escape is No, and the cards stay.
    put(0, 0, LedOn);
    scene->askClearField();
    ASSERT_NE(scene->panels.clearQuestion, nullptr);
    press(K::KEY_ESCAPE);
    EXPECT_EQ(scene->panels.clearQuestion, nullptr);
    EXPECT_NE(scene->slotRows[0].at(0)->connectors[0].partner, nullptr);

    press(K::KEY_ESCAPE);  // nothing open: nothing happens
    EXPECT_EQ(scene->panels.targetPanel, nullptr);

    GLView* view = Director::getInstance()->getOpenGLView();
    press(K::KEY_F11);
    EXPECT_TRUE(view->isFullscreen());
    press(K::KEY_F11);
    EXPECT_FALSE(view->isFullscreen());
}

}  // namespace
