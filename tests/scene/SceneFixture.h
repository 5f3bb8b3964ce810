#pragma once
// The real field scene on the offscreen view, with ports of the test's choosing. Every
// test is also a leak check: once the screen is taken down, as many engine objects live
// as before it was built (the picture cache aside, which keeps what it loaded).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "DeviceManager.h"
#include "FieldScene.h"
#include "SceneDriver.h"
#include "TavrickCardSerialManager.h"

class SceneTest : public ::testing::Test {
protected:
    void TearDown() override {
        takeDown();
        for (int fd : fds) close(fd);
        fds.clear();
        // A failed test may have left its objects held on purpose; its own failure says enough.
        if (liveBefore >= 0 && !HasFailure()) {
            EXPECT_EQ(liveOutsideCaches(), liveBefore) << "engine objects outlive the screen";
        }
        liveBefore = -1;
    }

    // After the last tear-down: tests restart the screen over the same folder.
    ~SceneTest() override {
        if (folder.empty()) return;
        cocos2d::FileUtils::getInstance()->setWritablePath("");
        std::system(("rm -rf '" + folder + "'").c_str());
    }

    // A folder of the test's own for what the program keeps (field, settings), removed after.
    void useOwnFolder() {
        char dir[] = "/tmp/tavrick-scene-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        folder = std::string(dir) + "/";
        cocos2d::FileUtils::getInstance()->setWritablePath(folder);
    }

    void takeDown() {
        TavrickCardSerialManager::getInstance()->resetForTests();
        DeviceManager::getInstance()->target = Dov;
        scene = nullptr;
        scenetest::resetEngine();
    }

    static long liveOutsideCaches() {
        return cocos2d::Ref::getLiveCount() - static_cast<long>(cocos2d::TextureCache::getInstance()->size());
    }

    // Builds the screen with the given ports and waits for the first scan to report.
    void start(std::vector<tavrick::PortInfo> ports = {}) {
        if (liveBefore < 0) {
            // A screen built and taken down once in the process first (in a folder of its own,
            // so that the test's files stay as it laid them), so that what lives on by design,
            // the engine's singletons, is there before the count.
            static const bool warm = [this] {
                cocos2d::FileUtils* files = cocos2d::FileUtils::getInstance();
                const std::string kept = files->getWritablePath();
                char dir[] = "/tmp/tavrick-warm-XXXXXX";
                if (mkdtemp(dir)) files->setWritablePath(std::string(dir) + "/");
                build({});
                takeDown();
                files->setWritablePath(kept);
                std::system(("rm -rf '" + std::string(dir) + "'").c_str());
                return true;
            }();
            (void)warm;
            liveBefore = liveOutsideCaches();
        }
        build(std::move(ports));
    }

    void build(std::vector<tavrick::PortInfo> ports) {
        scenetest::useOffscreenView();
        TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
        serial->resetForTests();
        serial->setScanFunction([ports] { return ports; });
        DeviceManager::getInstance()->target = Dov;
        scene = FieldScene::create();
        ASSERT_NE(scene, nullptr);
        scenetest::runScene(scene);
        waitIdle();
    }

    // Steps frames in real time until the serial manager has no worker (or 20 s pass).
    void waitIdle() {
        TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (serial->isBusy() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            scenetest::stepFrames(1, 0.05f);
        }
        ASSERT_FALSE(serial->isBusy()) << "the serial worker did not finish";
        scenetest::stepFrames(1);
    }

    // A pseudo-terminal: the path to give the scene and the far side to read from.
    std::string openPort(int* far) {
        int master = -1, slave = -1;
        char name[256];
        EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        fds.push_back(master);
        fds.push_back(slave);  // held open so the line stays up between sends
        *far = master;
        return name;
    }

    static std::string drain(int fd) {
        std::string out;
        char buf[4096];
        for (;;) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(fd, &set);
            timeval tv{0, 100000};
            if (select(fd + 1, &set, nullptr, nullptr, &tv) <= 0) break;
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }

    // Puts a card of a kind straight into a slot, linked as a drop links it.
    CardSprite* put(int row, int slot, int kind) {
        CardSprite* s = scene->slotRows[row].at(slot);
        CardSprite* c = CardSprite::create(DeviceManager::getInstance()->getCardImage(kind));
        c->kind = kind;
        scene->fieldView->addChild(c);
        c->connectors[0].partner = s;
        s->connectors[0].partner = c;
        return c;
    }

    // Chooses a port by its name, as the list does: positions change with every scan.
    static void choosePort(const std::string& name) {
        TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
        for (int i = 0; i < serial->ports.size(); ++i)
            if (serial->ports.at(i)->portName == name) serial->choosePort(i);
        ASSERT_EQ(serial->getSelectedPortName(), name);
    }

    std::vector<std::pair<std::string, int>> queue() const {
        std::vector<std::pair<std::string, int>> out;
        for (SendData* d : TavrickCardSerialManager::getInstance()->sendQueue)
            out.emplace_back(d->text, d->delayMs);
        return out;
    }

    cocos2d::Vec2 worldOf(cocos2d::Node* n) const {
        return n->getParent()->convertToWorldSpace(n->getPosition());
    }

    // The port list's entry for the port at `index` of the list, and its middle on the screen.
    cocos2d::LayerColor* portEntry(int index) const {
        const auto& rows = scene->panels.portListRows;
        return index >= 0 && index < static_cast<int>(rows.size()) ? rows[index] : nullptr;
    }
    cocos2d::Vec2 middleOf(cocos2d::Node* n) const {
        const cocos2d::Size s = n->getContentSize();
        return n->convertToWorldSpace(cocos2d::Vec2(s.width / 2, s.height / 2));
    }

    // The gear tapped and the drawer given time to open.
    void openDrawer() {
        scenetest::tap(worldOf(scene->settingsButton));
        scenetest::stepSeconds(0.5f);
    }

    FieldScene* scene = nullptr;
    std::vector<int> fds;
    std::string folder;  // with a slash at the end; empty unless useOwnFolder() was called
    long liveBefore = -1;  // taken when the first screen of a test is built
};

inline const std::vector<tavrick::PortInfo> kTwoPorts = {{"COM3", "USB Serial Device"},
                                                        {"COM5", "Bluetooth Link"}};
