// Building the screen: one pass, in drawing order.
#include "tr.h"
#include "DeviceManager.h"
#include "FieldScene.h"
#include "Theme.h"
#include "Settings.h"
#include "TavrickCardSerialManager.h"

#include <algorithm>
#include <cstdio>

using namespace cocos2d;
using i18n::tr;
using namespace theme;

namespace {
// The drawer's port label runs from its left edge to here at most (the language button follows).
const float kPortTextRight = 864;
// Room left below row 300 when the field is scrolled to its end.
const float kBelowLastRow = 40;
// The board box below the play button, between the slots and the right edge.
const float kBoardBoxWidth = 228;
const char* kCredits = i18n::N_("Pictures drawn for Tavrick Cards by its makers");
// Every picture of the screen, also those first needed later (the sending spinner, the
// delete frames): a missing one is found at start, not in the middle of a send or a delete.
const char* const kScreenImages[] = {
    "res/r_play.png",   "res/r_card_clean.png",   "res/menuup.png",    "res/menudown.png",
    "res/r_reload.png", "res/r_setting_back.png", "res/r_setting.png", "res/r_field_no.png",
    "res/r_field.png",  "res/r_field_num.png",    "res/r_loading.png", "res/delete1.png",
    "res/delete2.png",  "res/delete3.png",        "res/delete4.png",   "res/r_fullscreen.png",
    "res/r_undo.png",   "res/r_sent.png",     "res/r_board_said.png", "res/r_to_top.png",
    "res/r_open.png",   "res/r_save.png",     "res/r_check.png"};

std::vector<std::string> screenImages() {
    std::vector<std::string> files;
    for (const char* file : kScreenImages) files.push_back(file);
    for (const char* file : kCardImages) files.push_back(file);
    for (const char* file : kTargetImages) files.push_back(file);
    return files;
}

// Loads every picture once (the cache keeps them); the engine names each one that fails.
bool allImagesLoad() { return TextureCache::getInstance()->addImages(screenImages()); }

Label* makeLabel(const std::string& text, float size) {
    return Label::createWithSystemFont(text, kFont, size, Size::ZERO, TextHAlignment::LEFT,
                                       TextVAlignment::TOP);
}
}  // namespace


FieldScene* FieldScene::findRunning() {
    Scene* running = Director::getInstance()->getRunningScene();
    if (!running) return nullptr;
    for (Node* child : running->getChildren())
        if (auto* field = dynamic_cast<FieldScene*>(child)) return field;
    return nullptr;
}

FieldScene* FieldScene::create() {
    auto* s = new FieldScene;
    if (s->init()) {
        s->autorelease();
        return s;
    }
    delete s;
    return nullptr;
}

FieldScene::~FieldScene() {
    finishHistory();
    // A worker may outlive the screen: it must not call back into it.
    TavrickCardSerialManager::getInstance()->forgetCallbacksOf(this);
    // Cards still on the field must not leave slots pointing at them.
    for (CardSprite* card : fieldCards) unlinkCard(card);
    // Nor may any card in the container (one linked from outside the editing code) keep
    // naming a slot freed before it: the children go in the order they were added.
    if (fieldView)
        for (Node* n : fieldView->getContainer()->getChildren())
            if (auto* c = dynamic_cast<CardSprite*>(n)) {
                CardSprite::unlinkConnector(c->connectors[0]);
                CardSprite::unlinkConnector(c->connectors[1]);
            }
    slotRows.clear();
    for (EventListener* l : panels.portListListeners) getEventDispatcher()->removeEventListener(l);
    for (EventListener* l : panels.targetPanelListeners) getEventDispatcher()->removeEventListener(l);
    panels.portListListeners.clear();
    panels.targetPanelListeners.clear();
    fieldCards.clear();
    for (CardSprite* c : paletteCards) CC_SAFE_RELEASE(c);
    for (Label* l : countLabels) CC_SAFE_RELEASE(l);
}

void FieldScene::preloadPictures() {
    std::vector<std::string> files = screenImages();
    for (const std::string& file : boardPanelImages()) files.push_back(file);
    TextureCache::getInstance()->preloadImages(files);
}

bool FieldScene::init() {
    if (!Layer::init()) return false;
    // Without one of its pictures the screen would come up with parts missing (no slots,
    // no palette card) and still run: refuse instead.
    if (!allImagesLoad()) return false;
    applyStartLanguage();
    drag.ghostCard = drag.placingCard = drag.touchedCard = drag.snapTarget = nullptr;
    drag.isStill = true;
    drag.isDragging = false;
    fieldCards.clear();
    cardCounts.fill(0);
    drag.touchSerial = 0;
    drag.snapPull = Vec2::ZERO;
    panels.portListPopup = nullptr;

    const Size visible = Director::getInstance()->getVisibleSize();
    const float W = visible.width, H = visible.height;
    Layer* frameLayer = Layer::create();
    settingsLayer = Layer::create();

    targetButton = Sprite::create(kTargetImages[Dov]);
    playButton = CardSprite::create("res/r_play.png");
    if (!targetButton || !playButton) return false;
    const Size tb = targetButton->getContentSize(), pb = playButton->getContentSize();
    targetButton->setPosition(W - tb.width / 2 - 20, H - tb.height / 2 - 20);
    playButton->setPosition(W - pb.width / 2 - 20, H - tb.height - pb.height / 2 - 60);

    buildFrame(frameLayer, W, H);
    buildSettings(W);
    settingsLayer->setPosition(0, kDrawerPeek - kDrawerHeight);
    buildField(W, H);
    if (!cleanIcon || !paletteView || !fieldView || !reloadButton) return false;

    // The field's content is as wide as the screen only at zoom 1: behind the view, the
    // field's area is white at every zoom.
    fieldBackground = LayerColor::create(kWhite, W, H);
    addChild(fieldBackground);
    addChild(fieldView);
    addChild(frameLayer);
    addChild(settingsLayer);
    addChild(playButton);
    addChild(targetButton);
    buildBoardBox();

    registerListeners();
    if (!buildTryButton()) return false;
    buildHistoryControls();
    buildLanguageButton();
    buildFileButtons();
    buildVoiceSwitches();
    buildAnswerControls();
    buildTopButton();
    restoreAutosave();
    refreshTopButton();
    send.playPending = false;
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    loadSettings();
    TavrickCardSerialManager::Listener listener;
    listener.scanStarted = [this] { spinReloadArrow(); };
    listener.scanEnded = [this](bool) { onScanEnded(); };
    listener.answerEnded = [this](bool heard) { answerEnded(heard); };
    serial->setListener(this, listener);
    if (!serial->isBusy()) serial->scanPorts(nullptr, this);
    return true;
}

void FieldScene::buildBoardBox() {
    const float x = playButton->getPositionX();
    const float top = playButton->getPositionY() - playButton->getContentSize().height / 2 - 12;
    boardBox = LayerColor::create(Color4B(240, 246, 240, 255), kBoardBoxWidth, 56);
    boardBox->setPosition(std::min(x - kBoardBoxWidth / 2, 1014 - kBoardBoxWidth), top - 56);
    addChild(boardBox);
    boardLabel = makeLabel("", 16);
    boardLabel->setAnchorPoint(Vec2(0.5f, 0.5f));
    boardLabel->setPosition(kBoardBoxWidth / 2, 38);
    boardBox->addChild(boardLabel);
    boardPortLabel = makeLabel("", 14);
    boardPortLabel->setAnchorPoint(Vec2(0.5f, 0.5f));
    boardPortLabel->setPosition(kBoardBoxWidth / 2, 16);
    boardPortLabel->setTextColor(Color4B(90, 90, 90, 255));
    boardBox->addChild(boardPortLabel);
    fitLabelText(boardLabel, tr("Search ..."), kBoardBoxWidth - 16);
    boardLabel->setTextColor(kGreyText);
}

void FieldScene::spinReloadArrow() {
    if (!reloadButton) return;
    reloadButton->stopAllActions();
    reloadButton->runAction(RepeatForever::create(RotateBy::create(0.5f, 45)));
}

void FieldScene::onScanEnded() {
    updatePortLabel();
    // An open list follows the ports: built again where it was, or closed when none is left.
    if (panels.portListPopup) {
        Node* opener = panels.portListOpener;
        closePortList();
        openPortListFrom(opener);
    }
    if (!send.playPending) return;
    send.playPending = false;
    buildAndSend();
}

void FieldScene::choosePort(int index) {
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    serial->choosePort(index);
    updatePortLabel();
    const std::string port = serial->getPreferredPort();
    saveSettings([port](tavrick::Settings& s) { s.port = port; });
}

void FieldScene::toggleFullscreen() {
    GLView* view = Director::getInstance()->getOpenGLView();
    if (!view) return;
    const bool on = !view->isFullscreen();
    if (!view->setFullscreen(on)) {
        showNotice(on ? tr("This screen cannot be filled") : tr("The window cannot be restored"));
        return;
    }
    saveSettings([on](tavrick::Settings& s) { s.fullscreen = on; });
}

void FieldScene::loadSettings() {
    std::string problem, kept;
    const tavrick::Settings settings =
        tavrick::Settings::load(FileUtils::getInstance()->getWritablePath(), &problem, &kept);
    if (!problem.empty()) {
        // Moved aside, as the field's bad file is: told this once, never again.
        std::fprintf(stderr, "tavrick-cards: %s; kept as %s\n", problem.c_str(),
                     kept.empty() ? "(could not be moved)" : kept.c_str());
        const size_t slash = kept.find_last_of("/\\");
        showNotice(kept.empty() ? tr("Your settings could not be read, so the usual ones are used")
                                : i18n::format(tr("Your settings could not be read, so the usual ones are used; "
                                                  "the old file was kept as {file}"),
                                               {{"file", kept.substr(slash == std::string::npos ? 0 : slash + 1)}}));
    }
    // The port chosen by hand in an earlier run is taken again when it is present.
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    if (!settings.port.empty() && serial->getPreferredPort().empty()) serial->setPreferredPort(settings.port);
    speakOn = settings.speak < 0 ? screenReaderRunning : settings.speak == 1;
    soundOn = settings.sound;
    refreshVoiceSwitches();
    if (settings.fullscreen) {
        if (GLView* view = Director::getInstance()->getOpenGLView()) view->setFullscreen(true);
    }
}

void FieldScene::saveSettings(const std::function<void(tavrick::Settings&)>& change) {
    const std::string folder = FileUtils::getInstance()->getWritablePath();
    if (folder.empty()) return;
    tavrick::Settings settings = tavrick::Settings::load(folder);
    change(settings);
    std::string error;
    if (settings.save(folder, error)) {
        settingsFailureTold = false;
        return;
    }
    std::fprintf(stderr, "tavrick-cards: %s\n", error.c_str());
    // The choice holds for now; what is lost is the next start's memory of it. Told once,
    // not at every tap, until a save works again.
    if (settingsFailureTold) return;
    settingsFailureTold = true;
    showNotice(tr("Your settings could not be saved: the next start will not remember this choice"));
}

void FieldScene::fitLabelText(Label* label, const std::string& text, float width) {
    label->setString(text);
    if (label->getContentSize().width <= width) return;
    // The longest start of the text, cut between characters (never inside a UTF-8 sequence),
    // that fits with the dots after it.
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i <= text.size(); ++i)
        if (i == text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) cuts.push_back(i);
    std::size_t lo = 0, hi = cuts.size();  // cuts[lo - 1] fits (or none), cuts[hi - 1] does not
    while (lo + 1 < hi) {
        const std::size_t mid = (lo + hi) / 2;
        label->setString(text.substr(0, cuts[mid - 1]) + "...");
        if (label->getContentSize().width <= width)
            lo = mid;
        else
            hi = mid;
    }
    label->setString((lo == 0 ? std::string() : text.substr(0, cuts[lo - 1])) + "...");
}

void FieldScene::buildFrame(Layer* frameLayer, float W, float H) {
    (void)W;
    cleanIcon = Sprite::create("res/r_card_clean.png");
    if (cleanIcon) {
        cleanIcon->setPosition(playButton->getPositionX(), cleanIcon->getContentSize().height / 2 + 150);
        cleanIcon->setOpacity(0);
        frameLayer->addChild(cleanIcon);
    }
    palettePanel = LayerColor::create(kWhite, kPaletteWidth, kDesignHeight);
    palettePanel->setPosition(0, 0);
    frameLayer->addChild(palettePanel);
    auto* divider = LayerColor::create(kGreen, 5, kDesignHeight);
    divider->setPosition(250, 0);
    frameLayer->addChild(divider);
    auto* top = LayerColor::create(kGreen, 769, 5);
    top->setPosition(255, 763);
    frameLayer->addChild(top);
    auto* right = LayerColor::create(kGreen, 5, kDesignHeight);
    right->setPosition(1019, 0);
    frameLayer->addChild(right);
    buildPalette(H);
}

void FieldScene::buildPalette(float H) {
    const float panelW = palettePanel->getContentSize().width;
    paletteView = FieldScrollView::create(Size(panelW, H - 100));
    if (!paletteView) return;
    paletteView->setPosition(0, 50);
    paletteView->setDirection(FieldScrollView::Direction::VERTICAL);
    paletteView->setBounceable(false);
    palettePanel->addChild(paletteView);
    auto* topBar = LayerColor::create(kGreen, panelW, 50);
    topBar->setPosition(0, H - 50);
    palettePanel->addChild(topBar);
    auto* bottomBar = LayerColor::create(kGreen, panelW, 50);
    bottomBar->setPosition(0, 0);
    palettePanel->addChild(bottomBar);
    menuUpButton = Sprite::create("res/menuup.png");
    menuDownButton = Sprite::create("res/menudown.png");
    if (menuUpButton) {
        menuUpButton->setPosition(panelW / 2, H - menuUpButton->getContentSize().height / 2 - 10);
        palettePanel->addChild(menuUpButton);
    }
    if (menuDownButton) {
        menuDownButton->setPosition(panelW / 2, menuDownButton->getContentSize().height / 2 + 10);
        palettePanel->addChild(menuDownButton);
    }

    // Stacked from the bottom up, kind 5 first, so that kind 0 ends at the top.
    DeviceManager* devices = DeviceManager::getInstance();
    float T = 0;
    for (int k = 5; k >= 0; --k) {
        CardSprite* card = CardSprite::create(devices->getCardImage(k));
        if (!card) continue;
        card->kind = k;
        const Size s = card->getContentSize();
        const float y = T + s.height / 2 + 20;
        card->setPosition(s.width / 2 + 10, y);
        T = y + s.height / 2;
        paletteCards[k] = card;
        card->retain();
        paletteView->addChild(card);
        Label* count = makeLabel(std::to_string(cardCounts[k]), 30);
        count->setTextColor(kDarkText);
        count->setPosition(card->getPositionX() + s.width / 2 + 15, card->getPositionY());
        countLabels[k] = count;
        count->retain();
        paletteView->addChild(count);
    }
    T += 20;
    paletteView->setContentSize(Size(panelW, T));
    paletteView->setContentOffset(Vec2(0, -T));
}

void FieldScene::buildSettings(float W) {
    (void)W;
    auto* bar = LayerColor::create(kGreen, 769, kDrawerHeight);
    bar->setPosition(255, 0);
    settingsLayer->addChild(bar);
    const float barH = bar->getContentSize().height;
    reloadButton = Sprite::create("res/r_reload.png");
    if (!reloadButton) return;
    reloadButton->setPosition(bar->getPositionX() + reloadButton->getContentSize().width / 2 + 10, kDrawerUpperRow);
    reloadButton->runAction(RepeatForever::create(RotateBy::create(0.5f, 45)));
    settingsLayer->addChild(reloadButton);

    Label* title = portTitle = makeLabel(tr("Port : "), 20);
    title->setPosition(reloadButton->getPositionX() + reloadButton->getContentSize().width / 2 +
                           title->getContentSize().width / 2 + 10,
                       kDrawerUpperRow);
    settingsLayer->addChild(title);
    const float titleRight = title->getPositionX() + title->getContentSize().width / 2;

    portLabel = makeLabel(tr("Search ..."), 20);
    portLabel->setAnchorPoint(Vec2(0, 0.5f));
    portLabel->setTextColor(kDarkText);
    portLabel->setPosition(titleRight + 20, kDrawerUpperRow);
    const Size ls = portLabel->getContentSize();
    portLabelBackground = LayerColor::create(kWhite, ls.width + 20, ls.height + 20);
    portLabelBackground->setPosition(titleRight + 10, kDrawerUpperRow - (ls.height + 20) / 2);
    settingsLayer->addChild(portLabelBackground);
    settingsLayer->addChild(portLabel);

    fullscreenButton = Sprite::create("res/r_fullscreen.png");
    if (fullscreenButton) {
        // Left of the drawer's clear button.
        fullscreenButton->setPosition(840, kDrawerLowerRow);
        settingsLayer->addChild(fullscreenButton);
    }

    Label* credits = creditsLabel = makeLabel(tr(kCredits), 12);
    credits->setAnchorPoint(Vec2(1, 0));
    credits->setTextColor(kLightText);
    credits->setPosition(1021, 3);
    settingsLayer->addChild(credits);
    Label* version = versionLabel = makeLabel(i18n::format(tr("Ver {version}"), {{"version", "0.1.0"}}), 12);
    version->setAnchorPoint(Vec2(0, 0));
    version->setTextColor(kLightText);
    version->setPosition(258, 3);
    settingsLayer->addChild(version);

    if (Sprite* back = Sprite::create("res/r_setting_back.png")) {
        const Size s = back->getContentSize();
        back->setPosition(kDesignWidth - s.width / 2, barH + s.height / 2);
        settingsLayer->addChild(back);
    }
    settingsButton = Sprite::create("res/r_setting.png");
    if (settingsButton) {
        const Size s = settingsButton->getContentSize();
        settingsButton->setPosition(kDesignWidth - s.width / 2 - 10, barH + s.height / 2 + 10);
        settingsLayer->addChild(settingsButton);
    }
}

void FieldScene::buildField(float W, float H) {
    fieldView = FieldScrollView::create(Size(W, H));
    if (!fieldView) return;
    fieldView->setDelegate(this);
    fieldView->setContentSize(Size(W, 6 * H));
    fieldView->setContentOffset(Vec2(0, -5 * H));
    fieldView->setZoom(1.0f);
    fieldView->setMinScale(kMinZoom);
    fieldView->setMaxScale(kMaxZoom);
    fieldView->setDirection(FieldScrollView::Direction::VERTICAL);
    fieldView->addChild(LayerColor::create(kWhite, W, 6 * H));

    slotRows.clear();
    for (int r = 0; r < 30; ++r) {
        const int n = 10 * (r + 1);
        CardSprite* plate = CardSprite::create("res/r_field_no.png");
        CardSprite* left = CardSprite::create("res/r_field.png");
        CardSprite* right = CardSprite::create("res/r_field.png");
        if (!plate || !left || !right) continue;
        const Size ps = plate->getContentSize(), ss = left->getContentSize();
        const float y = static_cast<float>(6.0 * H - 50.0 - (r + 0.5) * ps.height);
        plate->setPosition(320, y);
        fieldView->addChild(plate);
        left->setPosition(plate->getPositionX() + ps.width / 2 + ss.width / 2 - 2, y);
        right->setPosition(left->getPositionX() + ss.width / 2 + ss.width / 2 - 2, y);
        for (CardSprite* slot : {left, right}) {
            slot->connectors[0].point = Vec2(8, ss.height / 2);
            slot->connectors[0].toward = slot->connectors[0].point + Vec2(-1, 0);
            fieldView->addChild(slot);
        }
        if (LabelAtlas* number =
                LabelAtlas::create(std::to_string(n), "res/r_field_num.png", 11, 11, 48)) {
            number->setAnchorPoint(Vec2(1, 0.5f));
            number->setPosition(plate->getPositionX() + ps.width / 2 - 5, y);
            fieldView->addChild(number);
        }
        slotRows.push_back(cocos2d::Vector<CardSprite*>{left, right});
        // Rows 10 to 300 from the plates' left edge to the right slots' right edge.
        const float rowTop = y + ps.height / 2, rowBottom = y - ps.height / 2;
        const float top = r == 0 ? rowTop : rowsArea.getMaxY();
        rowsArea = Rect(plate->getBoundingBox().getMinX(), rowBottom,
                        right->getBoundingBox().getMaxX() - plate->getBoundingBox().getMinX(), top - rowBottom);
    }
    // The field ends a little below the last row: no scrolling into blank white beyond it,
    // and no card laid where it could not be seen.
    const float end = std::max(0.f, rowsArea.getMinY() - kBelowLastRow);
    fieldView->setScrollArea(Rect(0, end, W, 6 * H - end));
    // A wheel notch is a row, at any zoom; a zoom keeps the rows' middle where it is.
    fieldView->setWheelStep(rowsArea.size.height / std::max<size_t>(1, slotRows.size()));
    fieldView->setZoomAnchor(Vec2(rowsArea.getMidX(), 0));
}

void FieldScene::updatePortLabel() {
    if (reloadButton) reloadButton->stopAllActions();
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    const float room = kPortTextRight - portLabel->getPositionX();
    if (serial->hasChosenPort()) {
        TavrickCardSerialData* port = serial->ports.at(serial->selectedPort);
        fitLabelText(portLabel, port->portName + " [ " + port->description + " ]", room);
        if (boardLabel) {
            fitLabelText(boardLabel, port->description, kBoardBoxWidth - 16);
            boardLabel->setTextColor(kDarkText);
            fitLabelText(boardPortLabel, port->portName, kBoardBoxWidth - 16);
        }
    } else {
        fitLabelText(portLabel, tr("Not Found ..."), room);
        if (boardLabel) {
            fitLabelText(boardLabel, tr("No board"), kBoardBoxWidth - 16);
            boardLabel->setTextColor(kGreyText);
            boardPortLabel->setString("");
        }
    }
    const Size s = portLabel->getContentSize();
    portLabelBackground->setContentSize(Size(s.width + 20, s.height + 20));
}
