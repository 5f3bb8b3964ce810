// A whole session on the screen, as a child might have it: cards dragged out, snapped,
// moved and thrown away, both panels and the drawer used, and three programs sent to a
// pseudo-terminal. Once the screen is taken down, as many engine objects exist as before
// it was built; and in the sanitizer build LeakSanitizer finds nothing unreachable. (It
// alone would miss a lost card: stale copies of its address linger in live memory.)
#include <poll.h>

#include "SceneFixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define TAVRICK_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRICK_LSAN 1
#endif
#endif
#ifdef TAVRICK_LSAN
#include <dlfcn.h>
#include <fcntl.h>
#include <sanitizer/lsan_interface.h>
#include <sys/wait.h>
#endif

using namespace cocos2d;

namespace {

class LeakSession : public SceneTest {
protected:
    Vec2 world(const Vec2& fieldPoint) const {
        return scene->fieldView->getContainer()->convertToWorldSpace(fieldPoint);
    }
    Vec2 seatOf(int row, int slot) const {
        const Rect b = scene->slotRows[row].at(slot)->getBoundingBox();
        return Vec2(b.getMinX() + 8 + scene->paletteCards[0]->getContentSize().width / 2, b.getMidY());
    }
    void moveTo(Vec2& at, const Vec2& to, float step = 8) {
        const Vec2 d = to - at;
        const int n = std::max(1, static_cast<int>(std::ceil(d.length() / step)));
        const Vec2 from = at;
        for (int i = 1; i <= n; ++i) {
            at = from + d * (static_cast<float>(i) / n);
            scenetest::touchMoved(at);
            scenetest::stepFrames(1);
        }
    }
    // A palette drag that ends with the new card in a slot.
    void dragInto(int kind, int row, int slot) {
        Vec2 at = worldOf(scene->paletteCards[kind]);
        scenetest::touchBegan(at);
        moveTo(at, at + Vec2(10, 0), 10);
        moveTo(at, Vec2(360, at.y), 4);
        ASSERT_NE(scene->placingCard, nullptr);
        CardSprite* card = scene->placingCard;
        moveTo(at, world(seatOf(row, slot)) + (at - world(card->getPosition())), 4);
        scenetest::touchEnded(at);
        scenetest::stepFrames(1);
        ASSERT_EQ(scene->slotRows[row].at(slot)->connectors[0].partner, card);
    }
    // Picks up the card in a slot and drops it over `to` (screen point).
    void carry(int row, int slot, const Vec2& to) {
        CardSprite* card = scene->slotRows[row].at(slot)->connectors[0].partner;
        ASSERT_NE(card, nullptr);
        Vec2 at = world(card->getPosition());
        scenetest::touchBegan(at);
        scenetest::stepFrames(6, 0.02f);
        ASSERT_TRUE(scene->isDragging);
        moveTo(at, to, 30);
        scenetest::touchEnded(at);
        scenetest::stepSeconds(0.5f);
    }
    // Sends, waits for the end, and returns what reached the far side.
    std::string send(int far) {
        scenetest::tap(worldOf(scene->playButton));
        EXPECT_NE(scene->sendingOverlay, nullptr);
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while ((TavrickCardSerialManager::getInstance()->isBusy() || !drain(far).empty()) &&
               std::chrono::steady_clock::now() < deadline) {
            got += drain(far);
            scenetest::stepFrames(1, 0.05f);
        }
        got += drain(far);
        scenetest::stepFrames(1);
        EXPECT_EQ(scene->sendingOverlay, nullptr);
        return got;
    }

    void takeDown() {
        TavrickCardSerialManager::getInstance()->resetForTests();
        DeviceManager::getInstance()->target = Dov;
        scene = nullptr;
        scenetest::resetEngine();
    }
};

TEST_F(LeakSession, AScriptedSessionLeavesNothingBehind) {
    // A screen built and taken down first, so that what lives on by design (singletons,
    // the picture cache) is there before the count.
    int far = -1;
    const std::string port = openPort(&far);
    start({{port, "Leak Board"}});
    takeDown();
    const long before = Ref::getLiveCount();

    start({{port, "Leak Board"}});
    ASSERT_FALSE(testing::Test::HasFatalFailure());

    dragInto(LedOn, 0, 0);
    dragInto(Wait1, 0, 1);
    dragInto(LedOff, 1, 0);
    dragInto(Wait5, 2, 1);
    // One moved to another slot, one thrown away.
    carry(2, 1, world(seatOf(3, 0)) + Vec2(0, 0));
    carry(1, 0, scene->cleanIcon->getPosition());
    EXPECT_EQ(scene->fieldCards.size(), 3);

    // Panels and the drawer: the target panel twice (a choice, then the grey area), the
    // port list twice (a choice, then the grey area).
    scenetest::tap(worldOf(scene->targetButton));
    scenetest::tap(worldOf(scene->targetButton));  // the dov option lies on the button
    scenetest::stepFrames(1);
    scenetest::tap(worldOf(scene->targetButton));
    scenetest::tap(Vec2(500, 300));
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->targetPanel, nullptr);
    scenetest::tap(worldOf(scene->settingsButton));
    scenetest::stepSeconds(0.5f);
    for (int i = 0; i < 2; ++i) {
        const Rect box = scene->portLabel->getBoundingBox();
        scenetest::tap(scene->portLabel->getParent()->convertToWorldSpace(Vec2(box.getMinX() + 5, box.getMidY())));
        ASSERT_NE(scene->portListPopup, nullptr);
        scenetest::tap(i == 0 ? scene->portListPopup->getChildByTag(0)->getPosition() + Vec2(5, 0) : Vec2(600, 600));
        scenetest::stepFrames(1);
        EXPECT_EQ(scene->portListPopup, nullptr);
    }
    scenetest::tap(worldOf(scene->settingsButton));
    scenetest::stepSeconds(0.5f);

    // Three sends: as laid, after one more card, and to the other target.
    const std::string first = send(far);
    EXPECT_EQ(first, "NEW\r\n10 LED 1:WAIT 60\r\n40 WAIT 300\r\nSAVE 0\r\nRUN\r\n");
    dragInto(Wait3, 5, 0);
    const std::string second = send(far);
    EXPECT_EQ(second, "NEW\r\n10 LED 1:WAIT 60\r\n40 WAIT 300\r\n60 WAIT 180\r\nSAVE 0\r\nRUN\r\n");
    DeviceManager::getInstance()->target = Velto;
    scene->applyTargetImage();
    const std::string third = send(far);
    EXPECT_EQ(third.substr(0, 13), "cat uart > .\n");
    EXPECT_EQ(third.substr(third.size() - 5), "ms .\n");

    takeDown();
    EXPECT_EQ(Ref::getLiveCount(), before);
#ifdef TAVRICK_LSAN
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found leaks: see its report above";
#endif
}

#ifdef TAVRICK_LSAN
// Surfaces made by SDL for our code and then lost; SDL's own entry point, reached without
// its headers (only the engine includes them).
__attribute__((noinline)) void loseSurfaces() {
    using CreateSurface = void* (*)(unsigned, int, int, int, unsigned, unsigned, unsigned, unsigned);
    auto create = reinterpret_cast<CreateSurface>(dlsym(RTLD_DEFAULT, "SDL_CreateRGBSurface"));
    if (!create) return;
    for (int i = 0; i < 8; ++i) {
        void* volatile lost = create(0, 32, 32, 32, 0, 0, 0, 0);
        lost = nullptr;
        (void)lost;
    }
}

__attribute__((noinline)) void scrubStack() {
    volatile char junk[16384];
    for (size_t i = 0; i < sizeof junk; ++i) junk[i] = 0;
}

// In a child process: the leak check's answer after `lose` has run.
int leaksFoundAfter(void (*lose)()) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 2);  // the report of the expected leak
        lose();
        scrubStack();
        _exit(__lsan_do_recoverable_leak_check() != 0 ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The leak check hides only what libraries keep from their start-up: memory that SDL
// allocated for us and we lost is still reported.
TEST_F(LeakSession, WhatSdlAllocatedForUsAndWeLostIsReported) {
    start();
    takeDown();
    ASSERT_NE(dlsym(RTLD_DEFAULT, "SDL_CreateRGBSurface"), nullptr);
    EXPECT_EQ(leaksFoundAfter([] {}), 0) << "start-up alone must not count as a leak";
    EXPECT_EQ(leaksFoundAfter(loseSurfaces), 1) << "lost SDL surfaces went unreported";
}
#endif

}  // namespace
