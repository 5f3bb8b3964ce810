#include "UiFuzzer.h"

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>

#include "DeviceManager.h"
#include "FieldInvariants.h"
#include "SceneDriver.h"
#include "SimPanel.h"
#include "Theme.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;

namespace fuzz {

namespace {

const char* const kKindNames[] = {"press",  "move",   "release", "cancel", "wheel", "frames",
                                  "settle", "resize", "focus",   "bar",    "key"};
static_assert(sizeof kKindNames / sizeof kKindNames[0] == fuzz::Event::KindCount, "a name per kind");

TavrickCardSerialManager* serial() { return TavrickCardSerialManager::getInstance(); }

// A point inside a node's box, given as fractions of its width and height, on screen.
Vec2 pointIn(Node* n, float fx, float fy) {
    const Rect b = n->getBoundingBox();
    const Vec2 local(b.getMinX() + fx * b.size.width, b.getMinY() + fy * b.size.height);
    return n->getParent() ? n->getParent()->convertToWorldSpace(local) : local;
}

size_t touchListeners(Node* n) {
    size_t count = 0;
    for (EventListener* l : Director::getInstance()->getEventDispatcher()->getListenersForTarget(n))
        count += l->getType() == EventListener::Type::TOUCH_ONE_BY_ONE;
    return count;
}

}  // namespace

// --- events --------------------------------------------------------------------------

Event touch(Event::Kind kind, int finger, Vec2 p) {
    Event e;
    e.kind = kind;
    e.finger = static_cast<std::int8_t>(finger);
    e.x = p.x;
    e.y = p.y;
    return e;
}

Event frames(int n, float dt) {
    Event e;
    e.kind = Event::Frames;
    e.count = static_cast<std::int16_t>(n);
    e.amount = dt;
    return e;
}

// Every field on one line, whatever the kind.
std::string format(const Event& e) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s %d %.9g %.9g %.9g %d %d", kKindNames[e.kind], e.finger, e.x, e.y, e.amount,
                  e.count, e.ctrl);
    return buf;
}

// --- the screen ------------------------------------------------------------------------

Screen::Screen() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    // The board side: read everything, so every send can complete.
    drainer_ = std::thread([this] {
        char buf[4096];
        while (!stop_.load()) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) > 0 && read(master_, buf, sizeof buf) <= 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const std::vector<tavrick::PortInfo> ports = {{"/nonexistent/tavrick-fuzz", "Unplugged Board"},
                                                  {name, "Fuzz Board"}};
    scenetest::useOffscreenView();
    serial()->resetForTests();
    serial()->setScanFunction([ports] { return ports; });
    DeviceManager::getInstance()->target = Dov;
    FieldScene* scene = FieldScene::create();
    if (!scene) return;
    scenetest::runScene(scene);
    scene_ = scene;
    if (!settle()) {
        scene_ = nullptr;
        return;
    }
    Director::getInstance()->getScheduler()->pauseTarget(serial());
    baseListeners_ = Director::getInstance()->getEventDispatcher()->getListenerCount();
}

Screen::~Screen() {
    Director::getInstance()->getScheduler()->resumeTarget(serial());
    serial()->resetForTests();
    DeviceManager::getInstance()->target = Dov;
    scene_ = nullptr;
    scenetest::resetEngine();
    stop_ = true;
    if (drainer_.joinable()) drainer_.join();
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
}

bool Screen::busy() const { return serial()->isBusy(); }

bool Screen::pollWorker() {
    if (!serial()->isBusy()) return false;
    serial()->pollScan(0);
    serial()->pollSend(0);
    return !serial()->isBusy();
}

// Waits in real time for the worker to end and lets its end reach the scene.
bool Screen::settle() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (serial()->isBusy()) {
        if (pollWorker()) break;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void Screen::apply(const Event& e) {
    const Vec2 p(e.x, e.y);
    const int f = e.finger;
    // The view ignores a second press of a finger that is down and anything else of a
    // finger that is up; so does the bookkeeping here.
    switch (e.kind) {
        case Event::Press:
            if (!down_[f]) {
                down_[f] = true;
                at_[f] = p;
            }
            scenetest::touchBegan(p, f);
            break;
        case Event::Move:
            if (down_[f]) at_[f] = p;
            scenetest::touchMoved(p, f);
            break;
        case Event::Release:
            down_[f] = false;
            scenetest::touchEnded(p, f);
            break;
        case Event::Cancel:
            down_[f] = false;
            scenetest::touchCancelled(p, f);
            break;
        case Event::Wheel:
            scenetest::wheel(p, e.amount, e.ctrl);
            break;
        case Event::Frames: {
            // Drawing is most of a frame's cost; every eighth is drawn, so the drawing code
            // still meets every state of the screen now and then.
            Director* d = Director::getInstance();
            for (int i = 0; i < e.count; ++i) {
                d->setDrawingEnabled(++framesRun_ % 8 == 0);
                d->mainLoop(e.amount);
            }
            d->setDrawingEnabled(true);
            break;
        }
        case Event::Settle:
            if (!settle()) stuck_ = true;
            break;
        case Event::Resize:
            // The frame's pixels change, the design area is letterboxed anew.
            if (GLView* v = Director::getInstance()->getOpenGLView()) v->setFrameSize(e.x, e.y);
            break;
        case Event::FocusLost:
            // No lift comes for anything held: the window ends every touch itself.
            if (GLView* v = Director::getInstance()->getOpenGLView()) v->handleFocusLost();
            down_.fill(false);
            break;
        case Event::BarClick:
            // The mouse is touch 0: clicked only while finger 0 is up.
            if (!down_[0]) {
                if (GLView* v = Director::getInstance()->getOpenGLView()) {
                    v->handleMouseDown(e.x, e.y);
                    v->handleMouseUp(e.x, e.y);
                }
            }
            break;
        case Event::Key: {
            // Undo and redo, and the keys that work the whole screen, whatever the hands are
            // doing meanwhile.
            using K = EventKeyboard::KeyCode;
            static const K kFocusKeys[] = {K::KEY_TAB,        K::KEY_TAB,       K::KEY_UP_ARROW, K::KEY_DOWN_ARROW,
                                           K::KEY_LEFT_ARROW, K::KEY_RIGHT_ARROW, K::KEY_ENTER,  K::KEY_SPACE,
                                           K::KEY_DELETE,     K::KEY_BACKSPACE, K::KEY_ESCAPE,  K::KEY_F5};
            GLView* view = Director::getInstance()->getOpenGLView();
            if (e.count < 3) {
                const K code = e.count == 2 ? K::KEY_Y : K::KEY_Z;
                view->handleKey(code, true, true, e.count == 1);
                view->handleKey(code, false, true, e.count == 1);
            } else {
                const int i = (e.count - 3) % 12;
                view->handleKey(kFocusKeys[i], true, false, i == 1);  // the second Tab with Shift
                view->handleKey(kFocusKeys[i], false, false, i == 1);
            }
            break;
        }
        case Event::KindCount:
            break;
    }
}

std::string Screen::check() const {
    FieldScene* s = scene_;
    if (stuck_) return "worker: a send or scan did not finish within a minute";

    const std::string broken = fieldProblem(s);
    if (!broken.empty()) return broken;

    if (s->panels.targetPanel && s->panels.portListPopup) return "popups: the target panel and the port list are both open";
    for (Node* popup : {static_cast<Node*>(s->panels.targetPanel), static_cast<Node*>(s->panels.portListPopup)})
        if (popup && popup->getParent() != s) return "popups: an open popup is not on the screen";
    if ((s->send.overlay != nullptr) != serial()->isSending()) {
        return serial()->isSending() ? "overlay: a send runs without the sending overlay"
                                     : "overlay: the sending overlay is up with no send running";
    }
    if (s->send.overlay && s->send.overlay->getParent() != s) return "overlay: not on the screen";

    if (touchListeners(s->fieldView) != (s->drag.isDragging ? 0u : 1u))
        return "field: it listens to touches while a card is carried, or not when none is";

    if (anyFingerDown()) return "";
    // No finger down: nothing may stay carried, and no listener may be left behind.
    if (s->drag.touchedCard || s->drag.isDragging) return "rest: a card is still touched with no finger down";
    if (s->drag.ghostCard || s->drag.placingCard) return "rest: a palette drag is still under way with no finger down";
    for (CardSprite* c : s->fieldCards) {
        // The card the keys carry shows, translucent, where Enter would put it: no finger holds it.
        if (c == s->keys.carried) continue;
        if (c->getOpacity() != 255) return "rest: a field card stays translucent";
        // What the child sees is what is sent: straight and in its colours exactly in a slot.
        const bool inSlot = s->isInSlot(c);
        if (c->getColor() != (inSlot ? Color3B::WHITE : theme::kLooseCard))
            return inSlot ? "rest: a card in a slot stays tinted" : "rest: a card in no slot looks placed";
        if (c->getRotation() != (inSlot ? 0.f : theme::kLooseTilt))
            return inSlot ? "rest: a card in a slot lies tilted" : "rest: a card in no slot lies straight";
    }
    for (CardSprite* p : s->paletteCards)
        if (p && p->listener && p->listener->isSwallowTouches())
            return "rest: a palette card still swallows touches";
    std::vector<Node*> controls = {s->reloadButton, s->portLabel,  s->settingsButton, s->playButton,
                                   s->targetButton, s->tryButton,  s->undoButton,     s->clearButton,
                                   s->panels.clearYesButton, s->panels.clearNoButton, s->boardBox,
                                   s->answer.drawerButton, s->answer.listButton, s->answer.closeButton,
                                   s->openButton, s->saveButton, s->topButton, s->panels.replaceYesButton,
                                   s->panels.replaceNoButton};
    if (s->sim.panel) controls.push_back(s->sim.panel->stopButton);
    for (Node* popup : {static_cast<Node*>(s->panels.targetPanel), static_cast<Node*>(s->panels.portListPopup)})
        if (popup)
            for (Node* c : popup->getChildren())
                if (c->getTag() >= 0) controls.push_back(c);
    for (Node* c : controls)
        if (c && c->getOpacity() != 255) return "rest: a control stays dimmed as if pressed";
    if (!s->panels.targetPanel && !s->panels.portListPopup && !s->send.overlay && !s->panels.clearQuestion &&
        !s->answer.view && !s->panels.replaceQuestion) {
        const size_t n = Director::getInstance()->getEventDispatcher()->getListenerCount();
        const size_t panel = s->sim.panel ? 2 : 0;  // the board panel's own and its edit watch
        const size_t notice = s->notice.plate ? 1 : 0;  // a tap closes it
        if (n != baseListeners_ + s->fieldCards.size() + panel + notice)
            return "listeners: some are left behind or missing";
    }
    return "";
}

// --- the generator -----------------------------------------------------------------------

std::uint64_t Generator::bits() {
    // splitmix64: the same sequence on every platform and library.
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

float Generator::uniform(float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>(static_cast<double>(bits() >> 11) / 9007199254740992.0);
}

bool Generator::chance(double p) { return static_cast<double>(bits() >> 11) / 9007199254740992.0 < p; }

Vec2 Generator::anywhere() { return Vec2(uniform(-40, 1064), uniform(-40, 808)); }

int Generator::freeFinger(const Screen& s) {
    std::vector<int> free;
    for (int f = 0; f < 3; ++f)
        if (!(busyFingers_ & (1u << f)) && !s.fingerDown(f)) free.push_back(f);
    return free.empty() ? -1 : free[below(static_cast<int>(free.size()))];
}

void Generator::addFrames(Script& sc, int n, float dt) { sc.events.push_back(frames(n, dt)); }

void Generator::path(Script& sc, int f, Vec2 from, Vec2 to, float step) {
    const float length = from.distance(to);
    // The last stretch in small steps, so that a carried card comes to rest where aimed
    // (within the snap radius) rather than one long step short of it.
    if (length > 60 && step > 8) {
        const Vec2 near = to + (from - to) * (30 / length);
        steps(sc, f, from, near, step);
        from = near;
        step = uniform(3, 8);
    }
    steps(sc, f, from, to, step);
}

void Generator::steps(Script& sc, int f, Vec2 from, Vec2 to, float step) {
    const int n = std::max(1, static_cast<int>(std::ceil(from.distance(to) / step)));
    for (int i = 1; i <= n; ++i) {
        sc.events.push_back(touch(Event::Move, f, from + (to - from) * (static_cast<float>(i) / n)));
        if (chance(0.3)) addFrames(sc);
    }
}

void Generator::end(Script& sc, int f, Vec2 at) {
    sc.events.push_back(touch(chance(0.1) ? Event::Cancel : Event::Release, f, at));
}

// Where a carried card's centre sits in a slot, on screen; false when off the screen.
bool Generator::seat(const Screen& s, int row, int slot, Vec2& world) const {
    FieldScene* scene = s.scene();
    if (row < 0 || static_cast<size_t>(row) >= scene->slotRows.size() || !scene->paletteCards[0]) return false;
    const Rect b = scene->slotRows[static_cast<size_t>(row)].at(slot)->getBoundingBox();
    const float half = scene->paletteCards[0]->getContentSize().width / 2;
    world = scene->fieldView->getContainer()->convertToWorldSpace(Vec2(b.getMinX() + 8 + half, b.getMidY()));
    return world.y > 30 && world.y < 750;
}

// Where a carried card should end: mostly in a slot on screen (so that it snaps), else
// anywhere.
bool Generator::dropPoint(const Screen& s, Script& sc, Vec2& point) {
    const int pick = below(100);
    if (pick < 60) {
        std::vector<std::pair<int, int>> shown;
        Vec2 w;
        for (int r = 0; r < static_cast<int>(s.scene()->slotRows.size()); ++r)
            for (int i = 0; i < 2; ++i)
                if (seat(s, r, i, w)) shown.emplace_back(r, i);
        if (!shown.empty()) {
            const auto& chosen = shown[static_cast<size_t>(below(static_cast<int>(shown.size())))];
            sc.aiming = true;
            sc.row = chosen.first;
            sc.slot = chosen.second;
            return false;
        }
    }
    point = pick < 85 ? Vec2(uniform(260, 1010), uniform(0, 768)) : anywhere();
    return true;
}

// The next step of a carry towards its slot: long steps, the last 30 points in short ones.
Event Generator::aim(const Screen& s, Script& sc) {
    const Vec2 at = s.fingerAt(sc.finger);
    Vec2 target;
    if (!seat(s, sc.row, sc.slot, target)) target = at;  // scrolled away: put it down here
    target += sc.grab;
    const float left = at.distance(target);
    // A touch that scrolls the field chases its slot: give up after a while.
    if (left < 0.01f || !s.fingerDown(sc.finger) || ++sc.aimSteps > 60) {
        sc.aiming = false;
        end(sc, sc.finger, at);
        const Event e = sc.events.front();
        sc.events.pop_front();
        return e;
    }
    const float step = left > 30 ? std::min(sc.step, left - 30 + 1) : std::min(left, uniform(3, 8));
    if (chance(0.3)) addFrames(sc);
    return touch(Event::Move, sc.finger, at + (target - at) * (step / left));
}

bool Generator::startScript(const Screen& s, int f) {
    FieldScene* scene = s.scene();
    Script sc;
    sc.fingers = 1u << f;
    auto press = [&](int finger, Vec2 p) { sc.events.push_back(touch(Event::Press, finger, p)); };
    const float step = chance(0.1) ? uniform(60, 200) : (chance(0.15) ? uniform(3, 8) : uniform(25, 90));
    const int what = below(100);
    if (what < 35) {
        // A palette drag: a first step judged for its direction, then out onto the field.
        CardSprite* card = scene->paletteCards[below(6)];
        if (!card) return false;
        const Vec2 start = pointIn(card, uniform(0.2f, 0.8f), uniform(0.2f, 0.8f));
        const Vec2 centre = pointIn(card, 0.5f, 0.5f);
        press(f, start);
        addFrames(sc);
        const double degrees = chance(0.85) ? uniform(25, 155) : uniform(-180, 180);
        const float r = uniform(2.5f, 12);
        const Vec2 first = start + Vec2(r * static_cast<float>(std::sin(degrees * M_PI / 180)),
                                        r * static_cast<float>(std::cos(degrees * M_PI / 180)));
        steps(sc, f, start, first, 100);
        // The card appears one step behind the touch once the ghost is past the palette's
        // edge; small steps there keep that lag small, so that aimed drops land.
        const float cross = start.x + card->getContentSize().width / 2 + 250 - centre.x;
        const float y = first.y + uniform(-60, 60);
        path(sc, f, first, Vec2(cross - 12, y), step);
        steps(sc, f, Vec2(cross - 12, y), Vec2(cross + 12, y), uniform(4, 8));
        Vec2 drop;
        sc.finger = f;
        sc.grab = start - centre;
        sc.step = step;
        if (dropPoint(s, sc, drop)) {
            path(sc, f, Vec2(cross + 12, y), drop, step);
            end(sc, f, drop);
        }
    } else if (what < 65) {
        // A field card: held still to be picked up (or moved at once, which scrolls),
        // carried towards a slot, anywhere, or the trash.
        if (scene->fieldCards.empty()) return false;
        CardSprite* card = scene->fieldCards.at(below(static_cast<int>(scene->fieldCards.size())));
        const Vec2 start = pointIn(card, uniform(0.15f, 0.85f), uniform(0.15f, 0.85f));
        press(f, start);
        if (chance(0.85))
            addFrames(sc, 4, 0.02f);
        else
            addFrames(sc);
        Vec2 to;
        sc.finger = f;
        sc.grab = start - pointIn(card, 0.5f, 0.5f);
        sc.step = step;
        const bool trash = chance(0.3) && scene->cleanIcon;
        if (trash) to = pointIn(scene->cleanIcon, uniform(0.1f, 0.9f), uniform(0.1f, 0.9f));
        if (trash || dropPoint(s, sc, to)) {
            path(sc, f, start, to, step);
            if (chance(0.3)) addFrames(sc, 3, 0.05f);
            end(sc, f, to);
        }
    } else if (what < 86) {
        // A tap on a control or panel, sometimes sliding off before the release.
        std::vector<Node*> nodes;
        auto add = [&nodes](Node* n) {
            if (n && n->getParent()) nodes.push_back(n);
        };
        Node* popup = scene->panels.targetPanel ? static_cast<Node*>(scene->panels.targetPanel)
                                         : static_cast<Node*>(scene->panels.portListPopup);
        if (popup && chance(0.7)) {
            for (Node* c : popup->getChildren()) add(c);
            add(popup);
        } else if (scene->send.overlay && chance(0.5)) {
            add(scene->send.overlay);
        } else if (scene->answer.view && chance(0.7)) {
            add(scene->answer.closeButton);
            add(scene->answer.view);
        } else if (scene->panels.clearQuestion && chance(0.7)) {
            add(scene->panels.clearYesButton);
            add(scene->panels.clearNoButton);
            add(scene->panels.clearQuestion);
        } else {
            // The buttons that do most are listed twice.
            for (Node* n : std::initializer_list<Node*>{
                     scene->reloadButton, scene->portLabel, scene->settingsButton, scene->targetButton,
                     scene->menuUpButton, scene->menuDownButton, scene->cleanIcon, scene->sendNotice,
                     scene->portLabelBackground, scene->playButton, scene->playButton, scene->tryButton,
                     scene->undoButton, scene->undoButton, scene->clearButton, scene->sim.panel,
                     scene->sim.panel ? scene->sim.panel->stopButton : nullptr, scene->boardBox,
                     scene->answer.drawerButton, scene->notice.plate})
                add(n);
            for (int k = 0; k < 6; ++k) {
                add(scene->paletteCards[k]);
                add(scene->countLabels[k]);
            }
            if (!scene->fieldCards.empty())
                add(scene->fieldCards.at(below(static_cast<int>(scene->fieldCards.size()))));
        }
        if (nodes.empty()) return false;
        Node* n = nodes[below(static_cast<int>(nodes.size()))];
        const bool edge = chance(0.1);
        const Vec2 p = pointIn(n, edge ? uniform(-0.2f, 1.2f) : uniform(0.1f, 0.9f),
                               edge ? uniform(-0.2f, 1.2f) : uniform(0.1f, 0.9f));
        press(f, p);
        if (chance(0.5)) addFrames(sc, 1 + below(3));
        Vec2 off = p;
        if (chance(0.15)) {
            off = p + Vec2(uniform(-200, 200), uniform(-200, 200));
            path(sc, f, p, off, 30);
        }
        end(sc, f, off);
    } else if (what < 95) {
        // A scroll of the field or the palette, released in motion for the inertia.
        const Vec2 start = chance(0.75) ? Vec2(uniform(260, 1010), uniform(20, 760)) : Vec2(uniform(5, 245), uniform(60, 700));
        const Vec2 to = start + Vec2(uniform(-30, 30), uniform(-400, 400));
        press(f, start);
        path(sc, f, start, to, step);
        end(sc, f, to);
    } else {
        // A pinch with a second finger.
        int g = -1;
        for (int k = 0; k < 3; ++k)
            if (k != f && !(busyFingers_ & (1u << k)) && !s.fingerDown(k)) g = k;
        if (g < 0) return false;
        sc.fingers |= 1u << g;
        const Vec2 c(uniform(300, 980), uniform(60, 700));
        const float d0 = uniform(10, 150), d1 = uniform(10, 300);
        const float a = uniform(0, 3.14159f);
        const Vec2 dir(std::cos(a), std::sin(a));
        press(f, c - dir * d0);
        press(g, c + dir * d0);
        const int n = 2 + below(10);
        for (int i = 1; i <= n; ++i) {
            const float d = d0 + (d1 - d0) * i / n;
            for (int k : {f, g}) sc.events.push_back(touch(Event::Move, k, c + dir * (k == f ? -d : d)));
            addFrames(sc);
        }
        const bool fFirst = chance(0.5);
        end(sc, fFirst ? f : g, c + dir * (fFirst ? -d1 : d1));
        end(sc, fFirst ? g : f, c + dir * (fFirst ? d1 : -d1));
    }
    busyFingers_ |= sc.fingers;
    scripts_.push_back(std::move(sc));
    return true;
}

Event Generator::raw(const Screen& s) {
    std::vector<int> free;
    for (int f = 0; f < 3; ++f)
        if (!(busyFingers_ & (1u << f))) free.push_back(f);
    if (free.empty()) return frames(1, 1.0f / 60);
    const int f = free[below(static_cast<int>(free.size()))];
    const int r = below(100);
    // A finger that is up mostly presses; now and then it does what only one that is down should.
    if (!s.fingerDown(f))
        return touch(r < 85 ? Event::Press : r < 93 ? Event::Move : r < 97 ? Event::Release : Event::Cancel, f, anywhere());
    const Vec2 at = s.fingerAt(f);
    if (r < 35) return touch(Event::Move, f, at + Vec2(uniform(-20, 20), uniform(-20, 20)));
    if (r < 50) return touch(Event::Move, f, at + Vec2(uniform(-300, 300), uniform(-300, 300)));
    if (r < 60) return touch(Event::Move, f, anywhere());
    if (r < 72) return touch(Event::Release, f, at);
    if (r < 82) return touch(Event::Release, f, anywhere());
    return touch(r < 92 ? Event::Cancel : Event::Press, f, anywhere());  // Press: a second one while down
}

Event Generator::window(const Screen& s) {
    (void)s;
    Event e;
    const int r = below(100);
    GLView* v = Director::getInstance()->getOpenGLView();
    if (r < 30 || !v) {
        e.kind = Event::Resize;
        static const float kSizes[][2] = {{1024, 768}, {1024, 968}, {1300, 768}, {800, 800},
                                          {640, 480}, {2048, 1536}, {500, 900}, {1920, 1080}};
        const auto& size = kSizes[below(8)];
        e.x = size[0];
        e.y = size[1];
    } else if (r < 50) {
        e.kind = Event::FocusLost;
    } else {
        // A click in a bar beside the screen (frame pixels, origin top left), or just off
        // the design area when the frame has none.
        e.kind = Event::BarClick;
        const Size frame = v->getFrameSize();
        const Rect port = v->getViewPortRect();
        const float top = frame.height - port.getMaxY(), left = port.getMinX();
        if (top >= 1 && (left < 1 || chance(0.5))) {
            e.x = uniform(0, frame.width);
            e.y = chance(0.5) ? uniform(0, top) : frame.height - uniform(0, top);
        } else if (left >= 1) {
            e.x = chance(0.5) ? uniform(0, left) : frame.width - uniform(0, left);
            e.y = uniform(0, frame.height);
        } else {
            e.x = uniform(0, frame.width);
            e.y = chance(0.5) ? uniform(-5, 0) : frame.height + uniform(0, 5);
        }
    }
    return e;
}

Event Generator::next(const Screen& s) {
    for (;;) {
        if (!scripts_.empty() && chance(0.65)) {
            const int i = below(static_cast<int>(scripts_.size()));
            Script& sc = scripts_[static_cast<size_t>(i)];
            Event e;
            if (sc.events.empty()) {
                e = aim(s, sc);
            } else {
                e = sc.events.front();
                sc.events.pop_front();
            }
            if (sc.events.empty() && !sc.aiming) {
                busyFingers_ &= ~sc.fingers;
                scripts_.erase(scripts_.begin() + i);
            }
            return e;
        }
        // Calm runs build up programs; wild ones press and wheel about much more.
        static const int kRaw[] = {6, 25, 45}, kWheel[] = {2, 6, 14};
        const int r = below(100);
        if (r < 22) {
            // Mostly one gesture at a time, now and then two or three at once.
            static const double kAnother[] = {1.0, 0.12, 0.04};
            const int f = freeFinger(s);
            if (f >= 0 && chance(kAnother[std::min<size_t>(scripts_.size(), 2)])) startScript(s, f);
            continue;
        }
        if (r < 22 + kRaw[mood_]) return raw(s);
        // Now and then the window itself: resized, left for another, clicked beside the screen.
        if (chance(0.02)) return window(s);
        if (r < 100 - kWheel[mood_]) {
            const int k = below(10);
            if (k < 7) return frames(1 + below(3), 1.0f / 60);
            return k < 9 ? frames(2 + below(9), 0.05f) : frames(1, 0);  // 0: as the first after a pause
        }
        Event e;
        if (chance(0.3)) {
            e.kind = Event::Key;
            e.count = static_cast<std::int16_t>(chance(0.3) ? below(3) : 3 + below(12));
            return e;
        }
        e.kind = Event::Wheel;
        const Vec2 p = chance(0.7) ? Vec2(uniform(255, 1019), uniform(0, 768)) : anywhere();
        e.x = p.x;
        e.y = p.y;
        static const float kNotches[] = {-3, -1, -0.5f, 0.25f, 1, 2, 6};
        e.amount = chance(0.7) ? kNotches[below(7)] : uniform(-4, 4);
        e.ctrl = chance(0.35);
        return e;
    }
}

}  // namespace fuzz
