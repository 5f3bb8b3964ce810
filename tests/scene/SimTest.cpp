// The board on the screen, driven as the main loop drives it: each frame at the moment the
// director asks for one, with the time step it would see, stepped rather than slept.
#include "BoardSim.h"
#include "SceneFixture.h"
#include "SimPanel.h"

using namespace cocos2d;

namespace {

struct Told {
    std::string what;
    double ms;       // as the simulator counts it
    double stepped;  // the engine's time when it was told
    bool on;
    std::string text;
};

class TryOnScreen : public SceneTest {
protected:
    void startWatching(std::vector<tavrick::PortInfo> ports = {}) {
        start(std::move(ports));
        scene->sim.observer = [this](const char* what, const boardsim::Event& e) {
            told.push_back({what, e.ms, clock * 1000, e.on, e.text});
        };
    }

    // One frame when the main loop would draw one, on the stepped clock: the director's
    // rule for it without the wall clock (drawing a frame takes real time here too).
    bool nextFrame() {
        Director* d = Director::getInstance();
        double s = 1.0 / 60;
        if (!d->needsRedraw() && !d->getActionManager()->hasActiveActions()) {
            const float timer = d->getScheduler()->timeToNextTimer();
            if (timer < 0) return false;
            s = std::max<double>(timer, 1e-4);
        }
        clock += s;
        d->mainLoop(static_cast<float>(s));
        return true;
    }

    // Frames until the run is over; the frames drawn.
    int runToEnd(int most = 2000) {
        int frames = 0;
        while (scene->sim.panel && scene->sim.panel->isRunning() && frames < most && nextFrame()) ++frames;
        EXPECT_FALSE(scene->sim.panel && scene->sim.panel->isRunning()) << "the run did not end";
        return frames;
    }

    void pressTry() { scenetest::tap(worldOf(scene->tryButton)); }

    std::vector<std::string> whats() const {
        std::vector<std::string> out;
        for (const Told& t : told) out.push_back(t.what);
        return out;
    }

    const Told* first(const std::string& what, bool on = true) const {
        for (const Told& t : told)
            if (t.what == what && (what != "sim-led" || t.on == on)) return &t;
        return nullptr;
    }

    std::vector<Told> told;
    double clock = 0;  // seconds stepped since the screen was built
};

}  // namespace

TEST_F(TryOnScreen, TryRunsTheFieldInTimeWithNoPortAndSaysItEnded) {
    startWatching();  // no port at all
    put(0, 0, LedOn);
    put(0, 1, Wait1);
    put(2, 1, LedOff);  // alone in the right slot, two rows down
    scenetest::stepFrames(1);
    pressTry();
    ASSERT_NE(scene->sim.panel, nullptr);
    const double pressed = clock * 1000;
    // The frame right after the press, the window having been idle: its time step reaches
    // back to before the press, and the run must not count it.
    Director::getInstance()->mainLoop(0.5f);
    runToEnd();
    EXPECT_EQ(whats(), (std::vector<std::string>{"sim-start", "sim-line", "sim-led", "sim-line", "sim-led",
                                                 "sim-end"}));
    EXPECT_EQ(told[1].text, "10 LED 1:WAIT 60");
    EXPECT_EQ(told[3].text, "30 LED 0");
    // Each change comes at its program time after the start, on the engine's clock.
    for (const Told& t : told) EXPECT_NEAR(t.stepped - told[0].stepped, t.ms, 1.0) << t.what;
    EXPECT_EQ(told[0].stepped, pressed);  // in the frame after the press
    EXPECT_EQ(first("sim-led", false)->ms, 1000);
    EXPECT_EQ(told.back().ms, 1000);

    SimPanel* panel = scene->sim.panel;
    EXPECT_FALSE(panel->ledOn());
    EXPECT_FALSE(panel->ledLight->isVisible());
    EXPECT_EQ(panel->statusText(), "The program has ended.");
    EXPECT_EQ(panel->markedLine(), -1);
    EXPECT_EQ(scene->sim.rowMark, nullptr);

    // Pressed after the end, try runs the program again; during a run it closes the panel.
    told.clear();
    pressTry();
    nextFrame();
    ASSERT_EQ(scene->sim.panel, panel);
    EXPECT_TRUE(panel->isRunning());
    EXPECT_TRUE(panel->ledOn());
    pressTry();
    EXPECT_EQ(scene->sim.panel, nullptr);
    EXPECT_EQ(whats().back(), "sim-stop");
    EXPECT_EQ(scene->sim.rowMark, nullptr);
}

TEST_F(TryOnScreen, AWaitDrawsOnlyItsCountdownStepsOncePerSecond) {
    startWatching();
    put(0, 0, LedOn);
    put(0, 1, Wait3);
    put(1, 0, LedOff);
    pressTry();
    nextFrame();
    ASSERT_TRUE(scene->sim.panel->ledOn());
    // From here to the end every frame drawn shows a new countdown step, and nothing else
    // is drawn: no frame between two steps.
    std::vector<std::string> shown = {scene->sim.panel->countdownText()};
    while (scene->sim.panel->isRunning() && nextFrame()) shown.push_back(scene->sim.panel->countdownText());
    EXPECT_EQ(shown, (std::vector<std::string>{"Waiting 3 s", "Waiting 2 s", "Waiting 1 s", ""}));
    EXPECT_NEAR(clock * 1000 - told[0].stepped, 3000, 1.0);
    EXPECT_FALSE(scene->sim.panel->ledOn());
}

TEST_F(TryOnScreen, StopAndAnEditEndTheRun) {
    startWatching();
    put(0, 0, LedOn);
    put(0, 1, Wait10);
    pressTry();
    nextFrame();
    ASSERT_TRUE(scene->sim.panel->isRunning());
    // The panel's stop closes it through an action, after the touch.
    scenetest::tap(worldOf(scene->sim.panel->stopButton));
    EXPECT_NE(scene->sim.panel, nullptr);
    nextFrame();
    EXPECT_EQ(scene->sim.panel, nullptr);
    EXPECT_EQ(whats().back(), "sim-stop");
    scenetest::stepSeconds(11);
    EXPECT_EQ(whats().back(), "sim-stop");  // nothing of the closed run comes later

    // A card taken out of its slot with the finger, mid-run, stops the run; the panel
    // stays and says why.
    const Rect seat = scene->slotRows[1].at(0)->getBoundingBox();
    CardSprite* card = scene->layCard(LedOff, Vec2(seat.getMinX() + 8 + 95, seat.getMidY()));
    ASSERT_EQ(scene->slotRows[1].at(0)->connectors[0].partner, card);
    told.clear();
    pressTry();
    nextFrame();
    ASSERT_TRUE(scene->sim.panel->isRunning());
    Vec2 at = worldOf(card);
    scenetest::touchBegan(at);
    scenetest::stepFrames(6, 0.02f);  // held still: the card is picked up
    for (int i = 0; i < 15; ++i) {
        at += Vec2(0, -6);
        scenetest::touchMoved(at);
        scenetest::stepFrames(1);
    }
    scenetest::touchEnded(at);
    nextFrame();
    ASSERT_NE(scene->sim.panel, nullptr);
    EXPECT_FALSE(scene->sim.panel->isRunning());
    EXPECT_EQ(whats().back(), "sim-stop");
    EXPECT_NE(scene->sim.panel->statusText().find("program changed"), std::string::npos);

    // Scrolling the field changes no card: a run goes on.
    pressTry();
    nextFrame();
    scenetest::drag(Vec2(900, 300), Vec2(900, 360), 4);
    nextFrame();
    EXPECT_TRUE(scene->sim.panel->isRunning());
    // Another target is another program: the run ends at its next step.
    DeviceManager::getInstance()->target = Velto;
    while (scene->sim.panel->isRunning() && nextFrame()) {}
    EXPECT_EQ(whats().back(), "sim-stop");
    EXPECT_NE(scene->sim.panel->statusText().find("program changed"), std::string::npos);
}

TEST_F(TryOnScreen, TheRunningRowIsMarkedAndScrolledIntoView) {
    startWatching();
    put(29, 1, Wait1);  // line 300, far below the screen
    pressTry();
    nextFrame();
    ASSERT_NE(scene->sim.rowMark, nullptr);
    EXPECT_EQ(scene->sim.panel->markedLine(), 1);
    scenetest::stepSeconds(0.5f);  // the scroll's animation
    CardSprite* slot = scene->slotRows[29].at(1);
    const float y = worldOf(slot).y;
    EXPECT_GT(y, 90);
    EXPECT_LT(y, 758);
}

TEST_F(TryOnScreen, TheTextViewIsWhatTheSendCarriesOnBothTargets) {
    for (Target target : {Dov, Velto}) {
        int far = -1;
        const std::string path = openPort(&far);
        startWatching({{path, "Test Port"}});
        DeviceManager::getInstance()->target = target;
        put(0, 0, LedOn);
        put(0, 1, Wait1);
        put(4, 1, LedOff);
        put(29, 0, Wait3);
        pressTry();
        nextFrame();
        ASSERT_TRUE(scene->sim.panel->isRunning());
        // Sending to the board while the panel is open.
        scenetest::tap(worldOf(scene->playButton));
        ASSERT_NE(scene->send.overlay, nullptr);
        waitIdle();
        const std::string sent = drain(far);
        ASSERT_FALSE(sent.empty());
        // The view's lines, with the visible Ctrl-D made a byte again and each line's
        // terminator back, are the bytes on the line.
        const std::string terminator = target == Dov ? "\r\n" : "\n";
        std::string fromView;
        for (std::string line : scene->sim.panel->textLines()) {
            if (line == "[Ctrl-D]")
                fromView += '\x04';
            else
                fromView += line + terminator;
        }
        EXPECT_EQ(fromView, sent) << "target " << target;
        std::vector<std::string> labels;
        for (size_t i = 0; i < scene->sim.panel->textLines().size(); ++i)
            labels.push_back(scene->sim.panel->rows.at(i)->getString());
        EXPECT_EQ(labels, scene->sim.panel->textLines());
        TearDown();
        fds.clear();
    }
}

TEST_F(TryOnScreen, ALineTheBoardCannotRunIsShownWithItsLine) {
    startWatching();
    pressTry();
    nextFrame();
    SimPanel* panel = scene->sim.panel;
    panel->start({{"NEW\r\n", 200, -1}, {"10 LED 1:WAIT 6O\r\n", 0, 0}, {"RUN\r\n", 200, -1}}, Dov);
    nextFrame();
    EXPECT_FALSE(panel->isRunning());
    EXPECT_EQ(whats().back(), "sim-error");
    EXPECT_EQ(told.back().text, "10 LED 1:WAIT 6O");
    EXPECT_NE(panel->statusText().find("10 LED 1:WAIT 6O"), std::string::npos);
    EXPECT_EQ(panel->markedLine(), 1);
    EXPECT_NE(scene->sim.rowMark, nullptr);  // the row too
    EXPECT_TRUE(panel->ledOn());            // what ran before it
}
