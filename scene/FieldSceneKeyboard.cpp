// The whole screen by keyboard, and what is said.
//
// Three regions take the focus in turn (Tab, Shift+Tab): the palette, the field and the
// buttons. Each keeps its place while the focus is elsewhere. A card taken from the palette
// (Enter or Space) shows translucent over the first empty slot and is carried with the arrows;
// Enter puts it, Escape gives it back. Enter on a filled slot picks its card up; Delete takes
// it away as the trash does. Buttons and the entries of an open panel are pressed through the
// same touch handlers a finger goes through, so that a key can do nothing a finger cannot.
//
// Every focus move and every action is said in one short sentence; `speaker` hears them.
#include <algorithm>
#include <climits>

#include "DeviceManager.h"
#include "FieldScene.h"
#include "PanelKit.h"
#include "Settings.h"
#include "TavrickCardSerialManager.h"
#include "Theme.h"
#include "tr.h"

using namespace cocos2d;
using namespace theme;
using i18n::tr;
using K = EventKeyboard::KeyCode;

namespace {
const int kOnTop = 2147483647;
const GLubyte kCarried = 150;
// The ring: a dark band outside a bright one, readable on white, green and the grey shade.
const float kRingBand = 4;
const Color4B kRingOuter(0, 0, 0, 255);
const Color4B kRingInner(255, 214, 0, 255);
// Room kept between what has the focus and the edge of the view scrolled to show it.
const float kScrollMargin = 12;
// A touch id no finger or mouse gives.
const intptr_t kKeyTouchId = INTPTR_MAX - 7;

Rect worldBox(Node* node) {
    if (!node || !node->getParent()) return Rect::ZERO;
    const Rect b = node->getBoundingBox();
    const Vec2 a = node->getParent()->convertToWorldSpace(b.origin);
    const Vec2 c = node->getParent()->convertToWorldSpace(Vec2(b.getMaxX(), b.getMaxY()));
    return Rect(std::min(a.x, c.x), std::min(a.y, c.y), std::abs(c.x - a.x), std::abs(c.y - a.y));
}

// Moves `view` the least that brings `box` (world points) inside its visible part.
void scrollToShow(FieldScrollView* view, const Rect& box) {
    if (!view) return;
    const Rect seen = view->getViewRectInWorld();
    float dy = 0;
    if (box.getMaxY() > seen.getMaxY() - kScrollMargin)
        dy = -(box.getMaxY() - (seen.getMaxY() - kScrollMargin));
    else if (box.getMinY() < seen.getMinY() + kScrollMargin)
        dy = (seen.getMinY() + kScrollMargin) - box.getMinY();
    if (dy == 0) return;
    const Vec2 o = view->getContentOffset();
    float y = o.y + dy;
    y = std::max(view->minOffset().y, std::min(view->maxOffset().y, y));
    view->stopScrolling();
    view->setContentOffset(Vec2(o.x, y), false);
}
}  // namespace

std::function<void(const std::string&)> FieldScene::speaker;
std::function<void(const std::string&)> FieldScene::voice;
bool FieldScene::screenReaderRunning = false;
std::function<void(FieldScene::Sound)> FieldScene::soundObserver;

void FieldScene::say(const std::string& text) {
    if (text.empty()) return;
    if (speaker) speaker(text);
    if (speakOn && voice) voice(text);
}

void FieldScene::playSound(Sound sound) {
    if (!soundOn) return;
    static const char* const files[] = {"res/snap.wav", "res/delete.wav", "res/sent.wav", "res/failed.wav",
                                        "res/refused.wav"};
    if (soundObserver) soundObserver(sound);
    AudioEngine::getInstance()->play(files[static_cast<int>(sound)]);
}

// --- the drawer's switches -----------------------------------------------------------------

void FieldScene::buildVoiceSwitches() {
    // The drawer's lower row, between what the board said and full screen. A switch is yellow
    // while on and grey while off: both stand out from the drawer's green.
    const float h = 40, w = 80, y = kDrawerLowerRow - h / 2, left = 648;
    speakButton = panelkit::wordButton(tr("Speak"), kWhite, kDarkText, w, h, 16);
    speakButton->setPosition(left, y);
    settingsLayer->addChild(speakButton);
    buttonListener(speakButton, &FieldScene::toggleSpeak);
    soundButton = panelkit::wordButton(tr("Sound"), kWhite, kDarkText, w, h, 16);
    soundButton->setPosition(left + w + 6, y);
    settingsLayer->addChild(soundButton);
    buttonListener(soundButton, &FieldScene::toggleSound);
}

void FieldScene::refreshVoiceSwitches() {
    auto show = [](LayerColor* button, const std::string& word, bool on) {
        if (!button) return;
        panelkit::setButtonWord(button, word);
        button->setColor(on ? Color3B(255, 214, 0) : Color3B(190, 190, 190));
        for (Node* child : button->getChildren())
            if (auto* label = dynamic_cast<Label*>(child)) label->setTextColor(on ? kDarkText : Color4B(70, 70, 70, 255));
    };
    show(speakButton, tr("Speak"), speakOn);
    show(soundButton, tr("Sound"), soundOn);
}

void FieldScene::toggleSpeak() {
    if (!settingsOpen) return;  // shut, the drawer hides it below the screen's edge
    speakOn = !speakOn;
    refreshVoiceSwitches();
    const bool on = speakOn;
    saveSettings([on](tavrick::Settings& s) { s.speak = on ? 1 : 0; });
    // Said even when turned off: the child hears that it is off now.
    const std::string text = on ? tr("Speak: on") : tr("Speak: off");
    if (speaker) speaker(text);
    if (voice) voice(text);
}

void FieldScene::toggleSound() {
    if (!settingsOpen) return;
    soundOn = !soundOn;
    refreshVoiceSwitches();
    const bool on = soundOn;
    saveSettings([on](tavrick::Settings& s) { s.sound = on; });
    say(on ? tr("Sound: on") : tr("Sound: off"));
    playSound(Sound::Snap);
}

std::string FieldScene::cardName(int kind) {
    auto wait = [](unsigned long n) {
        return i18n::format(i18n::trn("Wait {n} second", "Wait {n} seconds", n), {{"n", std::to_string(n)}});
    };
    switch (kind) {
        case LedOn: return tr("LED on");
        case LedOff: return tr("LED off");
        case Wait1: return wait(1);
        case Wait3: return wait(3);
        case Wait5: return wait(5);
        case Wait10: return wait(10);
        default: return "";
    }
}

std::string FieldScene::slotSentence(int row, int side) const {
    if (row < 0 || row >= static_cast<int>(slotRows.size()) || side < 0 || side > 1) return "";
    CardSprite* holder = slotRows[row].at(side)->connectors[0].partner;
    // The card the keys carry has left its slot, to the eye.
    if (holder == keys.carried) holder = nullptr;
    const std::string number = std::to_string(10 * (row + 1));
    if (!holder)
        return i18n::format(side == 0 ? tr("Row {row}, left slot, empty") : tr("Row {row}, right slot, empty"),
                            {{"row", number}});
    return i18n::format(side == 0 ? tr("Row {row}, left slot: {card}") : tr("Row {row}, right slot: {card}"),
                        {{"row", number}, {"card", cardName(holder->kind)}});
}

// --- what the focus can be on --------------------------------------------------------------

Node* FieldScene::topPanel() const {
    // In the order Escape closes them: the one on top first.
    if (panels.replaceQuestion) return panels.replaceQuestion;
    if (panels.languageList) return panels.languageList;
    if (panels.clearQuestion) return panels.clearQuestion;
    if (answer.view) return answer.view;
    if (panels.portListPopup) return panels.portListPopup;
    if (panels.targetPanel) return panels.targetPanel;
    if (send.overlay) return send.overlay;
    return nullptr;
}

std::vector<Node*> FieldScene::panelEntries() const {
    std::vector<Node*> out;
    Node* top = topPanel();
    if (!top) return out;
    if (top == panels.replaceQuestion) return {panels.replaceYesButton, panels.replaceNoButton};
    if (top == panels.clearQuestion) return {panels.clearYesButton, panels.clearNoButton};
    if (top == send.overlay) return {send.stopButton};
    if (top == answer.view) return {answer.closeButton};
    if (top == panels.portListPopup) {
        for (LayerColor* row : panels.portListRows) out.push_back(row);
        if (answer.listButton) out.push_back(answer.listButton);
        return out;
    }
    if (top == panels.languageList) {
        // The names in the list's box.
        if (!top->getChildren().empty())
            for (Node* child : top->getChildren().at(0)->getChildren())
                if (dynamic_cast<Label*>(child)) out.push_back(child);
        return out;
    }
    for (Node* child : top->getChildren()) out.push_back(child);  // the target panel's boards
    return out;
}

std::vector<Node*> FieldScene::focusButtons() const {
    std::vector<Node*> out;
    for (Node* n : std::initializer_list<Node*>{targetButton, playButton, boardBox, tryButton, undoButton,
                                                settingsButton})
        if (n) out.push_back(n);
    if (settingsOpen)
        for (Node* n : std::initializer_list<Node*>{portLabel, reloadButton, languageButton, openButton, saveButton,
                                                    answer.drawerButton, speakButton, soundButton, fullscreenButton,
                                                    clearButton})
            if (n) out.push_back(n);
    return out;
}

std::string FieldScene::spokenName(Node* node) const {
    if (!node) return "";
    const std::string board = DeviceManager::getInstance()->target == Velto ? "Velto" : "Dov";
    if (node == targetButton) return i18n::format(tr("Board choice: {board}"), {{"board", board}});
    if (node == playButton) return tr("Play: send to the board");
    if (node == tryButton) return tr("Try on the screen");
    if (node == undoButton) return tr("Undo");
    if (node == settingsButton) return settingsOpen ? tr("Close the settings") : tr("Settings");
    if (node == reloadButton) return tr("Look for boards again");
    if (node == fullscreenButton) return tr("Full screen");
    if (node == speakButton) return speakOn ? tr("Speak: on") : tr("Speak: off");
    if (node == soundButton) return soundOn ? tr("Sound: on") : tr("Sound: off");
    if (node == answer.drawerButton) return tr(kBoardSaidTitle);
    if (node == portLabel) return i18n::format(tr("Port: {port}"), {{"port", portLabel->getString()}});
    if (node == boardBox) {
        TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
        if (!serial->hasChosenPort()) return tr("No board");
        TavrickCardSerialData* port = serial->ports.at(serial->selectedPort);
        return i18n::format(tr("Board: {name}"), {{"name", port->description + ", " + port->portName}});
    }
    if (panels.targetPanel && node->getParent() == panels.targetPanel)
        return node->getTag() == Velto ? "Velto" : "Dov";
    if (auto* label = dynamic_cast<Label*>(node)) return label->getString();
    // A word button or a list entry: its words, in order.
    std::string words;
    for (Node* child : node->getChildren())
        if (auto* label = dynamic_cast<Label*>(child))
            if (!label->getString().empty()) words += (words.empty() ? "" : ", ") + label->getString();
    if (node == languageButton) return i18n::format(tr("Language: {name}"), {{"name", words}});
    return words;
}

// --- the ring ------------------------------------------------------------------------------

Rect FieldScene::focusBox() {
    if (Node* top = topPanel()) {
        const std::vector<Node*> entries = panelEntries();
        if (keys.panel != top || keys.panelItem >= static_cast<int>(entries.size())) return Rect::ZERO;
        return worldBox(entries[keys.panelItem]);
    }
    switch (keys.region) {
        case KeyFocus::Region::Palette:
            return paletteCards[keys.paletteKind] ? worldBox(paletteCards[keys.paletteKind]) : Rect::ZERO;
        case KeyFocus::Region::Field: {
            if (keys.row >= static_cast<int>(slotRows.size())) return Rect::ZERO;
            Rect box = worldBox(slotRows[keys.row].at(keys.side));
            // Only the part in the field's view: the rest is hidden under the palette or the edges.
            const Rect seen = fieldView->getViewRectInWorld();
            const float x0 = std::max(box.getMinX(), seen.getMinX()), x1 = std::min(box.getMaxX(), seen.getMaxX());
            const float y0 = std::max(box.getMinY(), seen.getMinY()), y1 = std::min(box.getMaxY(), seen.getMaxY());
            return x1 > x0 && y1 > y0 ? Rect(x0, y0, x1 - x0, y1 - y0) : Rect::ZERO;
        }
        case KeyFocus::Region::Buttons: {
            const std::vector<Node*> buttons = focusButtons();
            if (keys.button >= static_cast<int>(buttons.size())) return Rect::ZERO;
            return worldBox(buttons[keys.button]);
        }
        default: return Rect::ZERO;
    }
}

void FieldScene::refreshFocusRing() {
    const Rect box = focusBox();
    if (box.size.width <= 0 || box.size.height <= 0) {
        if (keys.ring) keys.ring->setVisible(false);
        return;
    }
    if (!keys.ring) {
        keys.ring = Node::create();
        // Two bands of four bars each: outer dark, inner bright.
        for (int i = 0; i < 8; ++i) keys.ring->addChild(LayerColor::create(i < 4 ? kRingOuter : kRingInner, 1, 1));
        addChild(keys.ring, kOnTop);
    }
    // Drawn after every other child of the screen, panels and carried cards included.
    reorderChild(keys.ring, kOnTop);
    const Rect r(convertToNodeSpace(box.origin), box.size);
    auto bars = keys.ring->getChildren();
    for (int band = 0; band < 2; ++band) {
        const float out = (2 - band) * kRingBand, w = kRingBand;
        const Rect o(r.origin.x - out, r.origin.y - out, r.size.width + 2 * out, r.size.height + 2 * out);
        Node* b[4] = {bars.at(band * 4), bars.at(band * 4 + 1), bars.at(band * 4 + 2), bars.at(band * 4 + 3)};
        b[0]->setContentSize(Size(o.size.width, w));
        b[0]->setPosition(o.origin);
        b[1]->setContentSize(Size(o.size.width, w));
        b[1]->setPosition(o.origin.x, o.getMaxY() - w);
        b[2]->setContentSize(Size(w, o.size.height));
        b[2]->setPosition(o.origin);
        b[3]->setContentSize(Size(w, o.size.height));
        b[3]->setPosition(o.getMaxX() - w, o.origin.y);
    }
    keys.ring->setVisible(true);
}

// --- pressing ------------------------------------------------------------------------------

void FieldScene::pressNode(Node* node) {
    if (!node) return;
    const Rect box = worldBox(node);
    const Vec2 at(box.getMidX(), box.getMidY());
    auto* touch = new Touch;  // reference counted: never on the stack
    touch->setTouchInfo(kKeyTouchId, at.x, at.y);
    EventTouch event;
    event.setTouches({touch});
    event.setEventCode(EventTouch::EventCode::BEGAN);
    getEventDispatcher()->dispatchTouchEvent(&event);
    touch->setTouchInfo(kKeyTouchId, at.x, at.y);
    touch->setLive(false);
    event.setEventCode(EventTouch::EventCode::ENDED);
    getEventDispatcher()->dispatchTouchEvent(&event);
    touch->release();
}

// --- the card the keys carry ---------------------------------------------------------------

void FieldScene::dropKeyCarry() {
    CardSprite* card = keys.carried;
    if (!card) return;
    keys.carried = nullptr;
    card->setOpacity(255);
    if (keys.carriedIsNew) {
        if (card->kind >= 0 && card->kind < 6) {
            cardCounts[card->kind] -= 1;
            updateCountLabel(card->kind);
        }
        unlinkCard(card);
        getEventDispatcher()->removeEventListenersForTarget(card, false);
        fieldCards.eraseObject(card);
        card->removeFromParentAndCleanup(true);
        return;
    }
    card->setPosition(keys.fromPosition);
    showLooseness(card);
}

void FieldScene::takeFromPalette() {
    dropKeyCarry();
    if (!canEdit()) return;
    // The first empty slot in reading order.
    int row = -1, side = 0;
    for (int r = 0; r < static_cast<int>(slotRows.size()) && row < 0; ++r)
        for (int s = 0; s < 2; ++s)
            if (!slotRows[r].at(s)->connectors[0].partner) {
                row = r;
                side = s;
                break;
            }
    if (row < 0) {
        playSound(Sound::Refused);
        say(tr("Every slot is taken"));
        return;
    }
    CardSprite* card = newFieldCard(keys.paletteKind, slotRows[row].at(side)->getPosition());
    if (!card) return;
    keys.carried = card;
    keys.carriedIsNew = true;
    keys.row = row;
    keys.side = side;
    keys.region = KeyFocus::Region::Field;
    showFieldFocus();
    say(i18n::format(tr("{card} taken: {slot}"), {{"card", cardName(card->kind)}, {"slot", slotSentence(row, side)}}));
}

void FieldScene::showFieldFocus() {
    if (keys.row >= static_cast<int>(slotRows.size())) return;
    CardSprite* slot = slotRows[keys.row].at(keys.side);
    if (CardSprite* card = keys.carried) {
        card->setRotation(0);
        card->setColor(Color3B::WHITE);
        card->setOpacity(kCarried);
        card->setPosition(seatPosition(card, slot));
        if (Node* parent = card->getParent()) parent->reorderChild(card, kOnTop);
    }
    scrollToShow(fieldView, worldBox(slot));
}

void FieldScene::moveFieldFocus(int drow, int dside) {
    const int rows = static_cast<int>(slotRows.size());
    if (rows == 0) return;
    keys.row = std::max(0, std::min(rows - 1, keys.row + drow));
    keys.side = std::max(0, std::min(1, keys.side + dside));
    showFieldFocus();
    say(slotSentence(keys.row, keys.side));
}

void FieldScene::fieldEnter() {
    if (keys.row >= static_cast<int>(slotRows.size())) return;
    CardSprite* slot = slotRows[keys.row].at(keys.side);
    CardSprite* holder = slot->connectors[0].partner;
    const std::string number = std::to_string(10 * (keys.row + 1));
    if (CardSprite* card = keys.carried) {
        if (holder && holder != card) {
            playSound(Sound::Refused);
            say(tr("This slot is taken"));
            return;
        }
        keys.carried = nullptr;
        unlinkCard(card);
        card->setPosition(seatPosition(card, slot));
        seatCard(card, slot);
        card->setOpacity(255);
        showLooseness(card);
        playSound(Sound::Snap);
        fieldEdited();
        say(i18n::format(keys.side == 0 ? tr("{card} put into row {row}, left slot")
                                        : tr("{card} put into row {row}, right slot"),
                         {{"card", cardName(card->kind)}, {"row", number}}));
        return;
    }
    if (!holder) {
        say(slotSentence(keys.row, keys.side));
        return;
    }
    if (!canEdit()) return;
    keys.carried = holder;
    keys.carriedIsNew = false;
    keys.fromPosition = holder->getPosition();
    showFieldFocus();
    say(i18n::format(tr("{card} picked up"), {{"card", cardName(holder->kind)}}));
}

void FieldScene::deleteFocused() {
    if (keys.row >= static_cast<int>(slotRows.size())) return;
    CardSprite* card = keys.carried ? keys.carried : slotRows[keys.row].at(keys.side)->connectors[0].partner;
    if (!card) {
        say(slotSentence(keys.row, keys.side));
        return;
    }
    if (card != keys.carried && !canEdit()) return;
    keys.carried = nullptr;
    card->setOpacity(255);
    deleteCard(card);
    fieldEdited();
    say(tr("Deleted"));
}

// --- keys ----------------------------------------------------------------------------------

void FieldScene::sayFocus() {
    if (topPanel()) {
        const std::vector<Node*> entries = panelEntries();
        if (keys.panelItem < static_cast<int>(entries.size())) say(spokenName(entries[keys.panelItem]));
        return;
    }
    switch (keys.region) {
        case KeyFocus::Region::Palette:
            say(i18n::format(tr("Palette: {card}"), {{"card", cardName(keys.paletteKind)}}));
            break;
        case KeyFocus::Region::Field: say(slotSentence(keys.row, keys.side)); break;
        case KeyFocus::Region::Buttons: {
            const std::vector<Node*> buttons = focusButtons();
            if (keys.button < static_cast<int>(buttons.size())) say(spokenName(buttons[keys.button]));
            break;
        }
        default: break;
    }
}

bool FieldScene::handleFocusKey(K code, bool shift) {
    const bool enter = code == K::KEY_ENTER || code == K::KEY_SPACE;
    const bool back = code == K::KEY_UP_ARROW || code == K::KEY_LEFT_ARROW;
    const bool forth = code == K::KEY_DOWN_ARROW || code == K::KEY_RIGHT_ARROW;

    // An open panel (or the sending overlay) has the keys: its entries in turn.
    if (Node* top = topPanel()) {
        const std::vector<Node*> entries = panelEntries();
        if (keys.panel != top) {
            keys.panel = top;
            keys.panelItem = 0;
        }
        const int n = static_cast<int>(entries.size());
        if (n == 0) return false;
        keys.panelItem = std::min(keys.panelItem, n - 1);
        if (back || forth || code == K::KEY_TAB) {
            const bool previous = back || (code == K::KEY_TAB && shift);
            keys.panelItem = (keys.panelItem + (previous ? n - 1 : 1)) % n;
            sayFocus();
            return true;
        }
        if (enter) {
            pressNode(entries[keys.panelItem]);
            return true;
        }
        return false;
    }
    keys.panel = nullptr;

    if (code == K::KEY_TAB) {
        using R = KeyFocus::Region;
        // The field's carried card stays carried: Tab only looks elsewhere.
        static const R order[] = {R::Palette, R::Field, R::Buttons};
        int i = 0;
        while (i < 3 && order[i] != keys.region) ++i;
        if (i == 3)
            keys.region = shift ? R::Buttons : R::Palette;
        else
            keys.region = order[(i + (shift ? 2 : 1)) % 3];
        if (keys.region == R::Palette) scrollToShow(paletteView, worldBox(paletteCards[keys.paletteKind]));
        if (keys.region == R::Field) showFieldFocus();
        sayFocus();
        return true;
    }

    switch (keys.region) {
        case KeyFocus::Region::Palette:
            if (code == K::KEY_UP_ARROW || code == K::KEY_DOWN_ARROW) {
                keys.paletteKind = std::max(0, std::min(5, keys.paletteKind + (code == K::KEY_UP_ARROW ? -1 : 1)));
                scrollToShow(paletteView, worldBox(paletteCards[keys.paletteKind]));
                sayFocus();
                return true;
            }
            if (enter) {
                takeFromPalette();
                return true;
            }
            return false;
        case KeyFocus::Region::Field:
            if (code == K::KEY_UP_ARROW || code == K::KEY_DOWN_ARROW) {
                moveFieldFocus(code == K::KEY_UP_ARROW ? -1 : 1, 0);
                return true;
            }
            if (code == K::KEY_LEFT_ARROW || code == K::KEY_RIGHT_ARROW) {
                moveFieldFocus(0, code == K::KEY_LEFT_ARROW ? -1 : 1);
                return true;
            }
            if (enter) {
                fieldEnter();
                return true;
            }
            if (code == K::KEY_DELETE || code == K::KEY_BACKSPACE) {
                deleteFocused();
                return true;
            }
            return false;
        case KeyFocus::Region::Buttons: {
            const std::vector<Node*> buttons = focusButtons();
            const int n = static_cast<int>(buttons.size());
            if (n == 0) return false;
            if (back || forth) {
                keys.button = std::max(0, std::min(n - 1, keys.button + (back ? -1 : 1)));
                sayFocus();
                return true;
            }
            if (enter) {
                keys.button = std::min(keys.button, n - 1);
                Node* pressed = buttons[keys.button];
                pressNode(pressed);
                // Closing the drawer takes its buttons away: the focus stays on the gear.
                const std::vector<Node*> now = focusButtons();
                if (keys.button >= static_cast<int>(now.size())) keys.button = static_cast<int>(now.size()) - 1;
                if (pressed == settingsButton || pressed == undoButton) sayFocus();
                return true;
            }
            return false;
        }
        default: return false;
    }
}
