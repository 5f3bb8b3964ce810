// Keeping the child's work: the field saved shortly after every change and restored at
// start, undo and redo, clearing the field. Program files are in FieldSceneFiles.cpp.
#include "tr.h"
#include <cstdio>

#include <chrono>

#include "BackgroundWriter.h"
#include "DeviceManager.h"
#include "FieldScene.h"
#include "PanelKit.h"
#include "Theme.h"
#include "Settings.h"
#include "files.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;
using i18n::tr;
using namespace theme;
using tavrick::CardRecord;
using tavrick::FieldDocument;
using panelkit::textLabel;
using panelkit::wordButton;

namespace {
// Long enough to gather the steps of one action into one write, well inside a second.
const float kAutosaveDelay = 0.25f;
const float kAutosaveCheckDelay = 1.0f;

using panelkit::textLabel;
using panelkit::wordButton;

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

std::string FieldScene::fieldHeldElsewhere;

// --- the field as data ---------------------------------------------------------------

FieldDocument FieldScene::snapshot() const {
    FieldDocument doc;
    const Target t = DeviceManager::getInstance()->target;
    doc.target = t == Velto ? 1 : 0;
    for (CardSprite* card : fieldCards) {
        if (card->kind < 0 || card->kind >= 6) continue;
        // The card the keys carry is where it came from until it is put: not yet on the
        // field when it came from the palette.
        if (card == keys.carried && keys.carriedIsNew) continue;
        CardRecord r;
        r.kind = card->kind;
        const Vec2 at = card == keys.carried ? keys.fromPosition : card->getPosition();
        r.x = at.x;
        r.y = at.y;
        // The slots are the program: a card is in the slot that names it.
        for (size_t row = 0; row < slotRows.size() && r.row < 0; ++row)
            for (ssize_t side = 0; side < slotRows[row].size(); ++side)
                if (slotRows[row].at(side)->connectors[0].partner == card) {
                    r.row = static_cast<int>(row);
                    r.side = static_cast<int>(side);
                    break;
                }
        doc.cards.push_back(r);
    }
    doc.hasView = true;
    doc.offsetX = fieldView->getContentOffset().x;
    doc.offsetY = fieldView->getContentOffset().y;
    doc.zoom = fieldView->getContainer()->getScale();
    return doc;
}

void FieldScene::restore(const FieldDocument& doc, bool withView) {
    dropKeyCarry();
    // Last laid first: each comes off the end of its parent's children.
    for (ssize_t i = fieldCards.size() - 1; i >= 0; --i) {
        CardSprite* card = fieldCards.at(i);
        unlinkCard(card);
        getEventDispatcher()->removeEventListenersForTarget(card, false);
        card->stopAllActions();
        card->removeFromParentAndCleanup(true);
    }
    fieldCards.clear();
    cardCounts.fill(0);
    DeviceManager::getInstance()->target = doc.target == 1 ? Velto : Dov;
    applyTargetImage();
    for (const CardRecord& r : doc.cards) {
        CardSprite* card = newFieldCard(r.kind, Vec2(r.x, r.y), false);  // counted once, below
        if (!card) continue;
        card->setOpacity(255);
        if (r.row < 0 || r.row >= static_cast<int>(slotRows.size()) || r.side < 0 ||
            r.side >= slotRows[r.row].size())
            continue;
        CardSprite* slot = slotRows[r.row].at(r.side);
        if (slot->connectors[0].partner) continue;  // taken: the card stays loose where it lies
        card->connectors[0].partner = slot;
        slot->connectors[0].partner = card;
        // Seated as a snap seats it: the two connector points meet.
        const Vec2 D = toFieldSpace(slot, slot->connectors[0].point) - toFieldSpace(card, card->connectors[0].point);
        placeCardClamped(card, card->getPosition() + D);
    }
    for (int k = 0; k < 6; ++k) updateCountLabel(k);
    for (CardSprite* card : fieldCards) showLooseness(card);
    if (withView && doc.hasView) {
        // The zoom from size 1 with the field straight (x follows from the zoom alone), then
        // the scroll position as it was, then back to the rows if that shows none.
        fieldView->stopScrolling();
        fieldView->resetZoom();
        fieldView->setContentOffset(Vec2(0, fieldView->getContentOffset().y));
        fieldView->zoomTo(std::max(kMinZoom, std::min(kMaxZoom, doc.zoom)), fieldView->viewMiddleInWorld());
        fieldView->setContentOffset(Vec2(fieldView->getContentOffset().x, doc.offsetY));
        bringViewToRows();
    }
}

// --- history -------------------------------------------------------------------------

bool FieldScene::canEdit() const {
    return !TavrickCardSerialManager::getInstance()->isSending() && !send.overlay && !drag.touchedCard && !keys.carried &&
           !drag.placingCard && !drag.ghostCard;
}

void FieldScene::fieldEdited() {
    FieldDocument now = snapshot();
    if (!now.sameField(history.committedField)) {
        history.undoSteps.push_back(std::move(history.committedField));
        if (history.undoSteps.size() > HistoryState::kSteps) history.undoSteps.pop_front();
        history.redoSteps.clear();
        history.committedField = std::move(now);
    }
    scheduleAutosave();
}

bool FieldScene::undo() {
    if (!canEdit()) return false;
    fieldEdited();  // anything laid outside an action (the harness) becomes a step first
    if (history.undoSteps.empty()) return false;
    history.redoSteps.push_back(std::move(history.committedField));
    history.committedField = std::move(history.undoSteps.back());
    history.undoSteps.pop_back();
    restore(history.committedField, false);
    scheduleAutosave();
    return true;
}

bool FieldScene::redo() {
    if (!canEdit() || history.redoSteps.empty()) return false;
    history.undoSteps.push_back(std::move(history.committedField));
    history.committedField = std::move(history.redoSteps.back());
    history.redoSteps.pop_back();
    restore(history.committedField, false);
    scheduleAutosave();
    return true;
}

// --- autosave ------------------------------------------------------------------------

void FieldScene::scheduleAutosave() {
    if (history.autosavePath.empty() || history.autosaveScheduled) return;
    history.autosaveScheduled = true;
    scheduleOnce([this](float) { autosaveNow(); }, kAutosaveDelay, "autosave");
}

void FieldScene::autosaveNow() {
    unschedule("autosave");
    history.autosaveScheduled = false;
    if (history.autosavePath.empty()) return;
    if (!history.autosaveWriter) history.autosaveWriter.reset(new tavrick::BackgroundWriter);
    // The text is made here (a few dozen records); the disk work is the writer's.
    history.autosaveWriter->write(history.autosavePath, snapshot().toJson());
    ++history.autosavesQueued;
    // The writer's failures would only reach stderr, which a desktop program's user never
    // sees: a look a moment later puts them on the screen.
    unschedule("autosave-check");
    scheduleOnce([this](float) { checkAutosave(); }, kAutosaveCheckDelay, "autosave-check");
}

void FieldScene::checkAutosave() {
    if (!history.autosaveWriter) return;
    const std::string error = history.autosaveWriter->lastError();
    if (!error.empty() && error != history.autosaveErrorTold)
        showNotice(i18n::format(tr("Your work could not be saved: {why}"), {{"why", error}}), 10);
    history.autosaveErrorTold = error;
}

void FieldScene::flushAutosave() {
    if (history.autosaveScheduled) autosaveNow();
    if (history.autosaveWriter) history.autosaveWriter->flush();
}

void FieldScene::onZoomed(FieldScrollView*) {
    refreshTopButton();
    if (keys.ring) refreshFocusRing();
}

void FieldScene::onScrolled(FieldScrollView*) {
    refreshTopButton();
    // The ring stays on its slot or card as the wheel or a finger moves the view.
    if (keys.ring) refreshFocusRing();
    // The scroll position comes back at the next start too.
    if (!history.autosavePath.empty() && history.committedField.hasView) scheduleAutosave();
}

void FieldScene::restoreAutosave() {
    const std::string folder = FileUtils::getInstance()->getWritablePath();
    history.autosavePath = folder.empty() ? "" : folder + FieldDocument::kAutosaveName;
    if (!history.autosavePath.empty()) {
        std::string problem;
        FieldDocument doc;
        // Looked at before it is read: a pipe, a folder, a device or a huge file in its place is
        // never read (it would hold the start for ever, or fill the memory), only kept aside.
        const FieldDocument::ReadResult read = FieldDocument::readFile(history.autosavePath, doc, problem);
        if (read == FieldDocument::ReadResult::Read) {
            restore(doc, true);
        } else if (!fieldHeldElsewhere.empty()) {
            // Another copy's file: not ours to move aside.
        } else if (read != FieldDocument::ReadResult::Missing) {
            // Never lost: moved aside, and the field starts empty over it.
            const std::string kept = tavrick::keepBadFile(history.autosavePath);
            std::fprintf(stderr, "tavrick-cards: %s: %s; kept as %s\n", history.autosavePath.c_str(), problem.c_str(),
                         kept.empty() ? "(could not be moved)" : kept.c_str());
            if (kept.empty()) {
                showNotice(i18n::format(tr("Your last work could not be read ({why})"), {{"why", problem}}), 10);
                // Left in place rather than written over.
                history.autosavePath.clear();
            } else {
                showNotice(i18n::format(tr("Your last work could not be read; it was kept beside it as {file}"), {{"file", fileNameOf(kept)}}), 10);
            }
        }
    }
    if (!fieldHeldElsewhere.empty() && !history.autosavePath.empty()) {
        // The other copy keeps this field: shown here, never written from here.
        history.autosavePath.clear();
        showNotice(tr(fieldHeldElsewhere.c_str()), 10);
    }
    history.committedField = snapshot();
    history.undoSteps.clear();
    history.redoSteps.clear();
}

void FieldScene::finishHistory() {
    *alive = false;
    if (dropListener) getEventDispatcher()->removeEventListener(dropListener);
    dropListener = nullptr;
    // Closed within the autosave delay of a change: written now.
    if (history.autosaveScheduled && fieldView) autosaveNow();
    history.autosaveWriter.reset();  // waits for the write in progress
}

// --- controls ------------------------------------------------------------------------

void FieldScene::buildHistoryControls() {
    undoButton = Sprite::create("res/r_undo.png");
    if (undoButton) {
        // In the right column under the board box, beside the try button (clear of the trash).
        const Size s = undoButton->getContentSize();
        if (tryButton) {
            const float left = boardBox ? boardBox->getPositionX() : 786;
            tryButton->setPositionX(left + 12 + tryButton->getContentSize().width / 2);
            undoButton->setPosition(tryButton->getPositionX() + tryButton->getContentSize().width / 2 + 24 +
                                        s.width / 2,
                                    tryButton->getPositionY());
        } else {
            const float top = boardBox ? boardBox->getPositionY() - 24 : playButton->getPositionY() - 140;
            undoButton->setPosition(playButton->getPositionX(), top - s.height / 2);
        }
        addChild(undoButton);
        buttonListener(undoButton, &FieldScene::undoPressed);
    }

    clearButton = wordButton(tr("Clear field"), Color4B(255, 255, 255, 255), Color4B(190, 40, 40, 255), 140, 40, 18);
    clearButton->setPosition(870, kDrawerLowerRow - 20);
    settingsLayer->addChild(clearButton);
    buttonListener(clearButton, &FieldScene::clearPressed);

    auto* keys = EventListenerKeyboard::create();
    keys->onKeyPressed = [this](EventKeyboard::KeyCode code, Event* e) { handleKey(code, e); };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(keys, this);

    dropListener = getEventDispatcher()->addCustomEventListener(GLView::EVENT_DROP_FILE, [this](EventCustom* e) {
        if (auto* path = static_cast<const std::string*>(e->getUserData())) openProgramFile(*path);
    });
}

void FieldScene::undoPressed() { undo(); }

// Closed, the drawer hides the button below the screen's edge, where a window's letterbox
// bar may still take touches.
void FieldScene::clearPressed() {
    if (settingsOpen) askClearField();
}

void FieldScene::handleKey(EventKeyboard::KeyCode code, Event* event) {
    auto* key = static_cast<EventKeyboard*>(event);
    using K = EventKeyboard::KeyCode;
    // The focus ring follows whatever the key did, and again once a panel or the drawer has
    // come or gone.
    struct RingAfter {
        FieldScene* scene;
        ~RingAfter() {
            scene->refreshFocusRing();
            scene->scheduleOnce([s = scene](float) { s->refreshFocusRing(); }, 0.3f, "focus-ring");
        }
    } ringAfter{this};
    if (code == K::KEY_ESCAPE) {
        if (keys.carried) {
            const bool isNew = keys.carriedIsNew;
            // The focus goes back with a card put back, to the slot it is in again.
            for (size_t r = 0; r < slotRows.size() && !isNew; ++r)
                for (ssize_t s = 0; s < slotRows[r].size(); ++s)
                    if (slotRows[r].at(s)->connectors[0].partner == keys.carried) {
                        keys.row = static_cast<int>(r);
                        keys.side = static_cast<int>(s);
                    }
            dropKeyCarry();
            if (keys.region == KeyFocus::Region::Field) showFieldFocus();
            say(isNew ? tr("Card given back") : tr("Card put back"));
            return;
        }
        const bool panelOpen = topPanel() != nullptr || sim.panel != nullptr;
        closeTopPanel();
        if (panelOpen) {
            keys.panel = nullptr;
            say(tr("Closed"));
        }
        return;
    }
    if (code == K::KEY_F5) {
        dropKeyCarry();
        buildAndSend();
        return;
    }
    if (!key->isControlDown() && handleFocusKey(code, key->isShiftDown())) return;
    if (code == K::KEY_F11) {
        toggleFullscreen();
        return;
    }
    if (code == K::KEY_HOME && !key->isControlDown()) {
        goHome();
        return;
    }
    if (!key->isControlDown()) return;
    if (code == K::KEY_0) {
        resetZoom();
        return;
    }
    if (code == K::KEY_PLUS || code == K::KEY_EQUAL || code == K::KEY_MINUS) {
        zoomStep(code == K::KEY_MINUS ? -1 : 1);
        return;
    }
    if (code == K::KEY_Z && !key->isShiftDown())
        undo();
    else if (code == K::KEY_Z || code == K::KEY_Y)
        redo();
    else if (code == K::KEY_S)
        saveProgram();
    else if (code == K::KEY_O)
        openProgram();
}

void FieldScene::closeTopPanel() {
    // The one on top, as a tap outside it would close it (the question's outside means No).
    if (panels.replaceQuestion)
        closeReplaceQuestion();
    else if (panels.languageList)
        closeLanguageList();
    else if (panels.clearQuestion)
        closeClearQuestion();
    else if (answer.view)
        closeBoardSaid();
    else if (panels.portListPopup)
        closePortList();
    else if (panels.targetPanel)
        closeTargetPanel();
    else if (sim.panel)
        closeSim();
}

void FieldScene::askClearField() {
    if (panels.clearQuestion || !canEdit()) return;
    panels.clearQuestion = LayerColor::create(Color4B(0, 0, 0, 110), kDesignWidth, kDesignHeight);
    LayerColor* box = LayerColor::create(Color4B(255, 255, 255, 255), 440, 200);
    box->setPosition(292, 284);
    panels.clearQuestion->addChild(box);
    Label* question = textLabel(tr("Clear all the cards?"), 30, kDarkText);
    question->setPosition(220, 140);
    box->addChild(question);
    panels.clearYesButton = wordButton(tr("Yes"), Color4B(200, 40, 40, 255), kWhite, 150, 60, 26);
    panels.clearYesButton->setPosition(50, 30);
    box->addChild(panels.clearYesButton);
    panels.clearNoButton = wordButton(tr("No"), Color4B(39, 172, 56, 255), kWhite, 150, 60, 26);
    panels.clearNoButton->setPosition(240, 30);
    box->addChild(panels.clearNoButton);
    addChild(panels.clearQuestion);

    // Anything but "Yes" closes the question; nothing beneath reacts while it is open.
    panelkit::askYesNo(this, panels.clearQuestion, panels.clearYesButton, panels.clearNoButton, [this](bool yes) {
        closeClearQuestion();
        if (yes) clearField();
    });
}

void FieldScene::closeClearQuestion() {
    if (!panels.clearQuestion) return;
    getEventDispatcher()->removeEventListenersForTarget(panels.clearQuestion, true);
    panels.clearQuestion->removeFromParent();
    panels.clearQuestion = panels.clearYesButton = panels.clearNoButton = nullptr;
}

void FieldScene::clearField() {
    if (!canEdit()) return;
    fieldEdited();
    FieldDocument empty;
    empty.target = history.committedField.target;
    restore(empty, false);
    fieldEdited();
}

