// The try button and the board on the screen: the panel runs the field's program text,
// exactly as a send would carry it, through the simulator of the selected target's board.
#include "tr.h"
#include <algorithm>
#include <cmath>

#include "DeviceManager.h"
#include "FieldScene.h"
#include "PanelKit.h"
#include "Theme.h"
#include "SimPanel.h"

using namespace cocos2d;
using i18n::tr;
using namespace theme;

namespace {
const Color4B kEndText(20, 120, 40, 255);
const Color4B kControlText(47, 107, 216, 255);
const Color3B kMarkRun(255, 214, 90);
const Color3B kMarkError(255, 170, 170);
const char* const kSimImages[] = {"res/r_try.png", "res/r_sim_board.png", "res/r_sim_led.png",
                                  "res/r_sim_stop.png"};

// The text view: lines of the program, as many as fit; it scrolls to the running one.
const int kRows = 18;
const float kRowHeight = 22;
const float kTextTop = 510, kTextBottom = 110;
const float kTextLeft = 8, kTextWidth = SimPanel::kWidth - 16;
// Where the field is not under the top bar or the drawer's edge: a marked row is
// scrolled into this band.
const float kFieldTop = 758, kFieldBottom = 90;
// The LED on the board picture, in the picture's points (y up).
const Vec2 kLedOnBoard(150, 68);

Label* makeLabel(const std::string& text, float size, const Color4B& colour) {
    Label* l = Label::createWithSystemFont(text, kFont, size);
    l->setTextColor(colour);
    return l;
}

void setText(Label* label, const std::string& text) {
    if (label->getString() != text) label->setString(text);
}
}  // namespace

// --- the panel ---------------------------------------------------------------------------

SimPanel* SimPanel::create(FieldScene* scene) {
    auto* p = new SimPanel;
    if (p->initWithScene(scene)) {
        p->autorelease();
        return p;
    }
    delete p;
    return nullptr;
}

bool SimPanel::initWithScene(FieldScene* owner) {
    const float H = kDesignHeight;
    if (!LayerColor::initWithColor(kWhite, kWidth, H)) return false;
    scene = owner;

    auto* bar = LayerColor::create(kGreen, kWidth, 50);
    bar->setPosition(0, H - 50);
    addChild(bar);
    title = makeLabel("", 22, kWhite);
    title->setAnchorPoint(Vec2(0, 0.5f));
    title->setPosition(12, H - 25);
    addChild(title);
    stopButton = Sprite::create("res/r_sim_stop.png");
    board = Sprite::create("res/r_sim_board.png");
    ledLight = Sprite::create("res/r_sim_led.png");
    if (!stopButton || !board || !ledLight) return false;
    stopButton->setPosition(kWidth - 28, H - 25);
    addChild(stopButton);
    board->setPosition(kWidth / 2, H - 62 - board->getContentSize().height / 2);
    addChild(board);
    ledLight->setPosition(kLedOnBoard);
    ledLight->setVisible(false);
    board->addChild(ledLight);

    countdown = makeLabel("", 26, kDarkText);
    countdown->setPosition(kWidth / 2, 552);
    addChild(countdown);
    Label* caption = makeLabel(tr("What play sends"), 14, Color4B(110, 110, 110, 255));
    caption->setAnchorPoint(Vec2(0, 0.5f));
    caption->setPosition(kTextLeft + 2, kTextTop + 12);
    addChild(caption);

    textBack = LayerColor::create(Color4B(238, 241, 246, 255), kTextWidth, kTextTop - kTextBottom);
    textBack->setPosition(kTextLeft, kTextBottom);
    addChild(textBack);
    markBar = LayerColor::create(Color4B(kMarkRun.r, kMarkRun.g, kMarkRun.b, 255), kTextWidth, kRowHeight);
    markBar->setVisible(false);
    addChild(markBar);
    for (int i = 0; i < kRows; ++i) {
        Label* row = makeLabel("", 17, kDarkText);
        row->setAnchorPoint(Vec2(0, 0.5f));
        row->setPosition(kTextLeft + 6, kTextTop - 6 - (i + 0.5f) * kRowHeight);
        addChild(row);
        rows.push_back(row);
    }

    status = Label::createWithSystemFont("", kFont, 17, Size(kWidth - 20, 90), TextHAlignment::CENTER,
                                         TextVAlignment::CENTER);
    status->setTextColor(kDarkText);
    status->setPosition(kWidth / 2, 58);
    addChild(status);

    // The panel's own touches: none reaches the palette beneath; the stop button acts on
    // release inside, closing the panel through an action.
    auto* own = EventListenerTouchOneByOne::create();
    own->setSwallowTouches(true);
    own->onTouchBegan = [this](Touch* t, Event*) {
        if (!FieldScene::hits(this, t->getLocation())) return false;
        if (FieldScene::hits(stopButton, t->getLocation())) stopButton->setOpacity(kPressedOpacity);
        return true;
    };
    own->onTouchEnded = [this](Touch* t, Event*) {
        stopButton->setOpacity(255);
        if (!FieldScene::hits(stopButton, t->getLocation())) return;
        FieldScene* s = scene;
        panelkit::closeLater(s, [s] { s->closeSim(); });
    };
    own->onTouchCancelled = [this](Touch*, Event*) { stopButton->setOpacity(255); };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(own, this);

    // Every other touch may edit the field: once it has been handled, a run whose program
    // text is no longer the field's stops.
    auto* watch = EventListenerTouchOneByOne::create();
    watch->setSwallowTouches(false);
    watch->onTouchBegan = [](Touch*, Event*) { return true; };
    auto check = [this](Touch*, Event*) {
        scheduleOnce([this](float) { stopIfChanged(); }, 0, "sim-check");
    };
    watch->onTouchMoved = check;
    watch->onTouchEnded = check;
    watch->onTouchCancelled = check;
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(watch, this);
    return true;
}

void SimPanel::start(const std::vector<ProgramLine>& lines, Target target) {
    unschedule("sim-step");
    program = lines;
    language = target == Velto ? boardsim::Language::Velto : boardsim::Language::Dov;
    std::vector<std::string> sent;
    shown.clear();
    for (const ProgramLine& l : program) {
        sent.push_back(l.text);
        shown.push_back(boardsim::displayLine(language, l.text));
    }
    events = boardsim::run(language, sent);
    next = 0;
    now = 0;
    waitEnd = -1;
    running = true;
    begun = false;
    led = false;
    ledLight->setVisible(false);
    firstShown = 0;
    marked = -1;
    setText(title, i18n::format(tr("Try on {board}"), {{"board", target == Velto ? "Velto" : "Dov"}}));
    setStatus(tr("Running"), kDarkText);
    showText();
    mark(-1, false);
    // Begun in the next update, not here in a touch handler: that update's time step may
    // reach back to the frame before the touch, and the run would start ahead of itself.
    // Timers set in an update count from that frame on.
    scheduleOnce(
        [this](float) {
            begun = true;
            tell("sim-start", boardsim::Event());
            advance(0);
        },
        0, "sim-step");
}

void SimPanel::stop(const std::string& why) {
    if (!running) return;
    running = false;
    unschedule("sim-step");
    waitEnd = -1;
    refreshCountdown();
    mark(-1, false);
    scene->markSimRow(-1, false);
    setStatus(why, kDarkText);
    if (!begun) return;  // stopped before its first step: nothing was told of it
    boardsim::Event e;
    e.ms = now;
    tell("sim-stop", e);
}

std::vector<std::string> SimPanel::textLines() const { return shown; }

bool SimPanel::stopIfChanged() {
    if (!running) return false;
    const std::vector<ProgramLine> field = scene->programLines();
    const bool same = std::equal(field.begin(), field.end(), program.begin(), program.end(),
                                 [](const ProgramLine& a, const ProgramLine& b) { return a.text == b.text; });
    if (same) return false;
    stop(tr("The program changed, so the run stopped. Press try to run it again."));
    return true;
}

void SimPanel::advance(double dueMs) {
    now = std::max(now, dueMs);
    // Half a millisecond of slack: the timer's float seconds must not leave a change a
    // hair short of its moment for another round.
    while (running && next < events.size() && events[next].ms <= now + 0.5) apply(events[next++]);
    refreshCountdown();
    if (running) scheduleNext();
}

void SimPanel::scheduleNext() {
    double due = next < events.size() ? events[next].ms : -1;
    // The countdown steps at each whole second left of the running wait.
    if (waitEnd > now + 0.5) {
        const double left = std::ceil((waitEnd - now) / 1000.0 - 1e-9);
        const double step = waitEnd - (left - 1) * 1000.0;
        if (step > now + 0.5 && (due < 0 || step < due)) due = step;
    }
    if (due < 0) return;
    const double base = now;
    // One timer to the next change and no frame before it: the step is never early, so
    // the clock takes the later of the due moment and the time that has passed.
    // Each step also looks at the program: a change no touch made (the target) ends the run.
    scheduleOnce(
        [this, base, due](float dt) {
            if (!stopIfChanged()) advance(std::max(base + dt * 1000.0, due));
        },
        static_cast<float>((due - now) / 1000.0), "sim-step");
}

void SimPanel::apply(const boardsim::Event& e) {
    using Kind = boardsim::Event::Kind;
    const int row = e.sendLine >= 0 && e.sendLine < static_cast<int>(program.size()) ? program[e.sendLine].row : -1;
    switch (e.kind) {
        case Kind::Line:
            mark(e.sendLine, false);
            scene->markSimRow(row, false);
            tell("sim-line", e);
            break;
        case Kind::Led:
            led = e.on;
            ledLight->setVisible(led);
            // What the board does is said as well as shown.
            scene->say(e.on ? tr("LED on") : tr("LED off"));
            tell("sim-led", e);
            break;
        case Kind::Wait:
            waitEnd = e.ms + e.waitMs;
            if (e.waitMs >= 1000) {
                const unsigned long n = static_cast<unsigned long>(e.waitMs / 1000 + 0.5);
                scene->say(i18n::format(i18n::trn("waiting {n} second", "waiting {n} seconds", n),
                                        {{"n", std::to_string(n)}}));
            }
            break;
        case Kind::Error:
            running = false;
            waitEnd = -1;
            mark(e.sendLine, true);
            scene->markSimRow(row, true);
            setStatus(i18n::format(tr("The board cannot run line \"{line}\": {why}"), {{"line", e.text}, {"why", e.why}}), kErrorText);
            scene->say(status->getString());
            tell("sim-error", e);
            break;
        case Kind::End:
            running = false;
            waitEnd = -1;
            mark(-1, false);
            scene->markSimRow(-1, false);
            setStatus(tr("The program has ended."), kEndText);
            scene->say(tr("The program has ended."));
            tell("sim-end", e);
            break;
    }
}

void SimPanel::refreshCountdown() {
    std::string text;
    if (running && waitEnd > now + 0.5) {
        const long left = static_cast<long>(std::ceil((waitEnd - now) / 1000.0 - 1e-9));
        text = i18n::format(i18n::trn("Waiting {n} s", "Waiting {n} s", static_cast<unsigned long>(left)), {{"n", std::to_string(left)}});
    }
    setText(countdown, text);
}

void SimPanel::showText() {
    for (int i = 0; i < kRows; ++i) {
        const size_t at = firstShown + i;
        Label* row = rows[i];
        setText(row, at < shown.size() ? shown[at] : std::string());
        // A control byte sent as a line of its own (Velto's Ctrl-D) stands out.
        row->setTextColor(row->getString().find("[Ctrl-") != std::string::npos ? kControlText : kDarkText);
        // A long line is drawn smaller rather than cut.
        const float w = row->getContentSize().width;
        row->setScale(w > kTextWidth - 12 ? (kTextWidth - 12) / w : 1.0f);
    }
}

void SimPanel::mark(int sentLine, bool error) {
    marked = sentLine;
    markedError = error;
    if (sentLine < 0) {
        markBar->setVisible(false);
        return;
    }
    const size_t line = static_cast<size_t>(sentLine);
    const size_t before = firstShown;
    if (line < firstShown) firstShown = line;
    if (line >= firstShown + kRows) firstShown = line - kRows + 1;
    if (firstShown != before) showText();
    const int slot = static_cast<int>(line - firstShown);
    const Color3B c = error ? kMarkError : kMarkRun;
    markBar->setColor(c);
    markBar->setPosition(kTextLeft, kTextTop - 6 - (slot + 1) * kRowHeight);
    markBar->setVisible(true);
}

void SimPanel::setStatus(const std::string& text, const Color4B& colour) {
    status->setTextColor(colour);
    setText(status, text);
}

void SimPanel::tell(const char* what, const boardsim::Event& e) {
    if (scene->sim.observer) scene->sim.observer(what, e);
}

// --- the scene's side ----------------------------------------------------------------------

std::vector<std::string> FieldScene::boardPanelImages() {
    return std::vector<std::string>(std::begin(kSimImages), std::end(kSimImages));
}

bool FieldScene::buildTryButton() {
    // Loaded at start, as every picture of the screen: a missing one is found now.
    if (!TextureCache::getInstance()->addImages(boardPanelImages())) return false;
    tryButton = Sprite::create("res/r_try.png");
    if (!tryButton || !playButton) return false;
    // Under play, and under the box that names the board beside it.
    const float gap = 15;
    float above = playButton->getPositionY() - playButton->getContentSize().height / 2;
    if (boardBox) above = std::min(above, boardBox->getBoundingBox().getMinY());
    tryButton->setPosition(playButton->getPositionX(), above - gap - tryButton->getContentSize().height / 2);
    addChild(tryButton);
    buttonListener(tryButton, &FieldScene::toggleSim);
    sim.panel = nullptr;
    sim.rowMark = nullptr;
    return true;
}

void FieldScene::toggleSim() {
    if (!sim.panel)
        openSim();
    else if (sim.panel->isRunning())
        closeSim();
    else
        runSim();
}

void FieldScene::runSim() {
    if (!sim.panel) return;
    sim.panel->start(programLines(), DeviceManager::getInstance()->target);
    // The run goes on: the cards in slots are the program, and the child is told which are not.
    if (const int loose = looseCardCount()) showNotice(looseCardsText(loose, true), 5);
}

void FieldScene::openSim() {
    if (sim.panel) return;
    sim.panel = SimPanel::create(this);
    if (!sim.panel) return;
    addChild(sim.panel);
    runSim();
}

void FieldScene::closeSim() {
    if (!sim.panel) return;
    sim.panel->stop("");
    markSimRow(-1, false);
    sim.panel->removeFromParent();
    sim.panel = nullptr;
}

void FieldScene::markSimRow(int row, bool error) {
    if (sim.rowMark) {
        sim.rowMark->removeFromParent();
        sim.rowMark = nullptr;
    }
    if (row < 0 || row >= static_cast<int>(slotRows.size()) || slotRows[row].size() < 2) return;
    // A frame round the row: its number plate (left of the left slot) and both slots.
    const Rect left = slotRows[row].at(0)->getBoundingBox();
    const Rect right = slotRows[row].at(1)->getBoundingBox();
    Sprite* plate = Sprite::create("res/r_field_no.png");
    const float plateW = plate ? plate->getContentSize().width : 0;
    const float x0 = left.getMinX() - plateW - 2, x1 = right.getMaxX() + 4;
    const float y0 = left.getMinY() - 3, y1 = left.getMaxY() + 3, t = 5;
    const Color4B c = error ? Color4B(220, 40, 40, 255) : Color4B(255, 154, 31, 255);
    Node* frame = Node::create();
    auto edge = [&](float x, float y, float w, float h) {
        auto* e = LayerColor::create(c, w, h);
        e->setPosition(x, y);
        frame->addChild(e);
    };
    edge(x0, y0, x1 - x0, t);
    edge(x0, y1 - t, x1 - x0, t);
    edge(x0, y0, t, y1 - y0);
    edge(x1 - t, y0, t, y1 - y0);
    fieldView->addChild(frame, 1000, "simRowMark");
    sim.rowMark = frame;

    // Into view if it is not: centred in the band the bars leave free.
    Node* container = fieldView->getContainer();
    const float bottom = container->convertToWorldSpace(Vec2(x0, y0)).y;
    const float top = container->convertToWorldSpace(Vec2(x0, y1)).y;
    if (bottom >= kFieldBottom && top <= kFieldTop) return;
    Vec2 offset = fieldView->getContentOffset();
    offset.y += (kFieldTop + kFieldBottom) / 2 - (top + bottom) / 2;
    const Vec2 lo = fieldView->minOffset(), hi = fieldView->maxOffset();
    offset.y = std::max(lo.y, std::min(hi.y, offset.y));
    fieldView->animateContentOffset(offset, 0.25f);
}
