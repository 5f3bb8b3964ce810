// The whole screen by keyboard: the regions and their remembered places, taking, putting,
// refusing, picking up, carrying, putting back and deleting (each one undo step, counted as
// the mouse counts), the buttons and panels, and what is said at every step.
#include "EditingFixture.h"
#include "tr.h"

using K = cocos2d::EventKeyboard::KeyCode;

class Keyboard : public Editing {
protected:
    void SetUp() override {
        Editing::SetUp();
        FieldScene::speaker = [this](const std::string& text) { said.push_back(text); };
    }
    void TearDown() override {
        FieldScene::speaker = nullptr;
        Editing::TearDown();
    }
    // A key alone (no Ctrl), then a frame.
    void press(K code, bool shift = false) { key(code, false, shift); }
    void press(std::initializer_list<K> codes) {
        for (K c : codes) press(c);
    }
    std::string last() const { return said.empty() ? "" : said.back(); }
    CardSprite* inSlot(int row, int side) const { return scene->slotRows[row].at(side)->connectors[0].partner; }
    // A card in a slot, on the field and counted, as a restore leaves it.
    CardSprite* lay(int row, int side, int kind) {
        CardSprite* c = put(row, side, kind);
        c->setPosition(seatOf(row, side));
        scene->fieldCards.pushBack(c);
        scene->cardCounts[kind] += 1;
        scene->updateCountLabel(kind);
        return c;
    }
    size_t undoSteps() const { return scene->history.undoSteps.size(); }

    std::vector<std::string> said;
};

TEST_F(Keyboard, TabWalksTheRegionsAndEachRemembersItsPlace) {
    press(K::KEY_TAB);
    EXPECT_EQ(last(), "Palette: LED on");
    press({K::KEY_DOWN_ARROW, K::KEY_DOWN_ARROW});
    EXPECT_EQ(last(), "Palette: Wait 1 second");
    press(K::KEY_UP_ARROW);
    EXPECT_EQ(last(), "Palette: LED off");
    press(K::KEY_DOWN_ARROW);
    press(K::KEY_TAB);
    EXPECT_EQ(last(), "Row 10, left slot, empty");
    press({K::KEY_DOWN_ARROW, K::KEY_RIGHT_ARROW});
    EXPECT_EQ(last(), "Row 20, right slot, empty");
    press(K::KEY_TAB);
    EXPECT_EQ(last(), "Board choice: Dov");
    press(K::KEY_RIGHT_ARROW);
    EXPECT_EQ(last(), "Play: send to the board");
    press(K::KEY_TAB);
    EXPECT_EQ(last(), "Palette: Wait 1 second") << "the palette kept its card";
    press(K::KEY_TAB, true);
    EXPECT_EQ(last(), "Play: send to the board") << "Shift+Tab goes back, to the button last focused";
    press(K::KEY_TAB, true);
    EXPECT_EQ(last(), "Row 20, right slot, empty");
    // The palette's ends hold.
    press(K::KEY_TAB, true);
    for (int i = 0; i < 8; ++i) press(K::KEY_DOWN_ARROW);
    EXPECT_EQ(last(), "Palette: Wait 10 seconds");
    EXPECT_TRUE(scene->paletteView->getViewRectInWorld().containsPoint(worldOf(scene->paletteCards[5])))
        << "the palette scrolled to show the focused card";
}

TEST_F(Keyboard, TakePutAndUndoEachAreOneStepCountedAsTheMouseCounts) {
    press({K::KEY_TAB, K::KEY_ENTER});
    CardSprite* card = scene->keys.carried;
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(last(), "LED on taken: Row 10, left slot, empty");
    EXPECT_LT(card->getOpacity(), 255) << "a taken card shows translucent";
    EXPECT_EQ(scene->cardCounts[LedOn], 1);
    EXPECT_EQ(inSlot(0, 0), nullptr) << "not in the program until it is put";
    EXPECT_EQ(scene->snapshot().cards.size(), 0u);
    press(K::KEY_SPACE);
    EXPECT_EQ(last(), "LED on put into row 10, left slot");
    EXPECT_TRUE(linkedTo(card, 0, 0));
    EXPECT_EQ(card->getOpacity(), 255);
    EXPECT_EQ(undoSteps(), 1u);
    checkInvariants("after a put");

    // The next card goes to the first empty slot in reading order: row 10, right.
    press({K::KEY_TAB, K::KEY_TAB, K::KEY_DOWN_ARROW, K::KEY_ENTER});
    EXPECT_EQ(last(), "LED off taken: Row 10, right slot, empty");
    press(K::KEY_ENTER);
    EXPECT_EQ(last(), "LED off put into row 10, right slot");
    EXPECT_EQ(undoSteps(), 2u);

    key(K::KEY_Z);
    EXPECT_EQ(inSlot(0, 1), nullptr);
    EXPECT_EQ(scene->cardCounts[LedOff], 0);
    EXPECT_EQ(scene->fieldCards.size(), 1);
    key(K::KEY_Y);
    ASSERT_NE(inSlot(0, 1), nullptr);
    EXPECT_EQ(inSlot(0, 1)->kind, LedOff);
    EXPECT_EQ(scene->cardCounts[LedOff], 1);
}

TEST_F(Keyboard, APutIntoAFilledSlotIsRefusedAndEscapeGivesTheCardBack) {
    lay(0, 0, Wait3);
    scene->fieldEdited();
    press({K::KEY_TAB, K::KEY_ENTER});
    ASSERT_NE(scene->keys.carried, nullptr);
    EXPECT_EQ(scene->keys.side, 1);
    press(K::KEY_LEFT_ARROW);
    EXPECT_EQ(last(), "Row 10, left slot: Wait 3 seconds");
    const size_t steps = undoSteps();
    press(K::KEY_ENTER);
    EXPECT_EQ(last(), "This slot is taken");
    EXPECT_NE(scene->keys.carried, nullptr) << "still carried after a refusal";
    EXPECT_EQ(inSlot(0, 0)->kind, Wait3);
    press(K::KEY_ESCAPE);
    EXPECT_EQ(last(), "Card given back");
    EXPECT_EQ(scene->keys.carried, nullptr);
    EXPECT_EQ(scene->cardCounts[LedOn], 0);
    EXPECT_EQ(scene->fieldCards.size(), 1);
    EXPECT_EQ(undoSteps(), steps) << "a card given back changed nothing";
    checkInvariants("after a card was given back");
}

TEST_F(Keyboard, PickUpCarryPutAndPutBack) {
    CardSprite* card = lay(0, 0, Wait5);
    scene->fieldEdited();
    const size_t steps = undoSteps();
    press({K::KEY_TAB, K::KEY_TAB, K::KEY_ENTER});
    EXPECT_EQ(last(), "Wait 5 seconds picked up");
    EXPECT_EQ(scene->keys.carried, card);
    press({K::KEY_DOWN_ARROW, K::KEY_DOWN_ARROW});
    EXPECT_EQ(last(), "Row 30, left slot, empty");
    EXPECT_TRUE(linkedTo(card, 0, 0)) << "the program has it where it was until it is put";
    EXPECT_EQ(scene->snapshot().cards.at(0).row, 0);
    press(K::KEY_ESCAPE);
    EXPECT_EQ(last(), "Card put back");
    EXPECT_EQ(scene->keys.row, 0) << "the focus goes back with the card";
    EXPECT_TRUE(linkedTo(card, 0, 0));
    EXPECT_EQ(undoSteps(), steps);

    press({K::KEY_ENTER, K::KEY_RIGHT_ARROW});
    EXPECT_EQ(last(), "Row 10, right slot, empty");
    press(K::KEY_ENTER);
    EXPECT_EQ(last(), "Wait 5 seconds put into row 10, right slot");
    EXPECT_TRUE(linkedTo(card, 0, 1));
    EXPECT_EQ(linkedSlots(card), 1);
    EXPECT_EQ(undoSteps(), steps + 1);
    EXPECT_EQ(scene->cardCounts[Wait5], 1);
    checkInvariants("after a carry");
    key(K::KEY_Z);
    ASSERT_NE(inSlot(0, 0), nullptr);
    EXPECT_EQ(inSlot(0, 0)->kind, Wait5);
    EXPECT_EQ(inSlot(0, 1), nullptr);
}

TEST_F(Keyboard, DeleteAndBackspaceDeleteAsTheTrashDoes) {
    press({K::KEY_TAB, K::KEY_ENTER, K::KEY_ENTER, K::KEY_TAB, K::KEY_TAB, K::KEY_ENTER, K::KEY_ENTER});
    ASSERT_NE(inSlot(0, 1), nullptr);
    CardSprite* card = inSlot(0, 0);
    ASSERT_NE(card, nullptr);
    const size_t steps = undoSteps();
    press(K::KEY_LEFT_ARROW);
    press(K::KEY_DELETE);
    EXPECT_EQ(last(), "Deleted");
    EXPECT_EQ(inSlot(0, 0), nullptr);
    EXPECT_EQ(scene->cardCounts[LedOn], 1);
    EXPECT_EQ(scene->fieldCards.size(), 1);
    EXPECT_EQ(card->getParent(), scene->fieldView->getContainer()) << "still there, playing its animation";
    EXPECT_EQ(undoSteps(), steps + 1);
    press(K::KEY_DELETE);
    EXPECT_EQ(last(), "Row 10, left slot, empty") << "nothing to delete: the slot is said";
    press({K::KEY_RIGHT_ARROW, K::KEY_BACKSPACE});
    EXPECT_EQ(scene->fieldCards.size(), 0);
    EXPECT_EQ(scene->cardCounts[LedOn], 0);
    EXPECT_EQ(undoSteps(), steps + 2);
    scenetest::stepSeconds(0.6f);
    key(K::KEY_Z);
    key(K::KEY_Z);
    EXPECT_EQ(scene->fieldCards.size(), 2);
    EXPECT_EQ(scene->cardCounts[LedOn], 2);
    checkInvariants("after deletes undone");
}

TEST_F(Keyboard, TheFieldScrollsToKeepTheFocusInViewDownToRow300) {
    press({K::KEY_TAB, K::KEY_TAB});
    for (int i = 0; i < 40; ++i) press(K::KEY_DOWN_ARROW);
    EXPECT_EQ(last(), "Row 300, left slot, empty");
    const cocos2d::Rect seen = scene->fieldView->getViewRectInWorld();
    const cocos2d::Rect slot = scene->slotRows[29].at(0)->getBoundingBox();
    const cocos2d::Vec2 low = world(cocos2d::Vec2(slot.getMidX(), slot.getMinY()));
    const cocos2d::Vec2 high = world(cocos2d::Vec2(slot.getMidX(), slot.getMaxY()));
    EXPECT_TRUE(seen.containsPoint(low) && seen.containsPoint(high));
    EXPECT_GT(scene->focusBox().size.height, 0);
    // A card carried there and put lands in row 300.
    press({K::KEY_TAB, K::KEY_TAB, K::KEY_DOWN_ARROW, K::KEY_DOWN_ARROW, K::KEY_DOWN_ARROW, K::KEY_ENTER});
    for (int i = 0; i < 40; ++i) press(K::KEY_DOWN_ARROW);
    press(K::KEY_ENTER);
    EXPECT_EQ(last(), "Wait 3 seconds put into row 300, left slot");
    for (int i = 0; i < 40; ++i) press(K::KEY_UP_ARROW);
    EXPECT_EQ(last(), "Row 10, left slot, empty");
    EXPECT_TRUE(scene->fieldView->getViewRectInWorld().containsPoint(world(scene->slotRows[0].at(0)->getPosition())));
}

TEST_F(Keyboard, ButtonsAndPanelsAreWorkedWithArrowsEnterAndEscape) {
    press({K::KEY_TAB, K::KEY_TAB, K::KEY_TAB, K::KEY_ENTER});
    scenetest::stepFrames(2);
    ASSERT_NE(scene->panels.targetPanel, nullptr);
    press(K::KEY_RIGHT_ARROW);
    EXPECT_EQ(last(), "Velto");
    press(K::KEY_ENTER);
    scenetest::stepFrames(2);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
    EXPECT_EQ(DeviceManager::getInstance()->target, Velto);
    EXPECT_EQ(undoSteps(), 1u) << "a board chosen by key is one step, as by hand";

    press(K::KEY_ENTER);
    scenetest::stepFrames(2);
    ASSERT_NE(scene->panels.targetPanel, nullptr);
    press(K::KEY_ESCAPE);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
    EXPECT_EQ(last(), "Closed");

    // The drawer: the gear, then its buttons in the row.
    for (int i = 0; i < 5; ++i) press(K::KEY_RIGHT_ARROW);
    EXPECT_EQ(last(), "Settings");
    press(K::KEY_ENTER);
    scenetest::stepSeconds(0.4f);
    EXPECT_TRUE(scene->settingsOpen);
    EXPECT_EQ(last(), "Close the settings");
    for (int i = 0; i < 10; ++i) press(K::KEY_RIGHT_ARROW);
    EXPECT_EQ(last(), "Clear field");
    // The clear question, answered No by key, then Yes.
    lay(3, 0, LedOn);
    scene->fieldEdited();
    press(K::KEY_ENTER);
    scenetest::stepFrames(2);
    ASSERT_NE(scene->panels.clearQuestion, nullptr);
    press(K::KEY_DOWN_ARROW);
    EXPECT_EQ(last(), "No");
    press(K::KEY_SPACE);
    scenetest::stepFrames(2);
    EXPECT_EQ(scene->panels.clearQuestion, nullptr);
    EXPECT_EQ(scene->fieldCards.size(), 1);
    press(K::KEY_ENTER);
    scenetest::stepFrames(2);
    press(K::KEY_ENTER);
    scenetest::stepFrames(2);
    EXPECT_EQ(scene->fieldCards.size(), 0);
    // Closing the drawer by key leaves the focus on the gear.
    for (int i = 0; i < 16; ++i) press(K::KEY_LEFT_ARROW);
    EXPECT_EQ(last(), "Board choice: Velto");
    for (int i = 0; i < 5; ++i) press(K::KEY_RIGHT_ARROW);
    press(K::KEY_ENTER);
    scenetest::stepSeconds(0.4f);
    EXPECT_FALSE(scene->settingsOpen);
    EXPECT_EQ(last(), "Settings");
}

TEST_F(Keyboard, ThePortListAndTheLanguageListAreChosenFromByKeys) {
    takeDown();
    start(kTwoPorts);
    press({K::KEY_TAB, K::KEY_TAB, K::KEY_TAB, K::KEY_RIGHT_ARROW, K::KEY_RIGHT_ARROW});
    EXPECT_EQ(last(), "Board: USB Serial Device, COM3");
    press(K::KEY_ENTER);
    scenetest::stepFrames(2);
    ASSERT_NE(scene->panels.portListPopup, nullptr);
    press(K::KEY_DOWN_ARROW);
    EXPECT_NE(last().find("COM5"), std::string::npos) << last();
    press(K::KEY_ENTER);
    scenetest::stepFrames(2);
    EXPECT_EQ(scene->panels.portListPopup, nullptr);
    EXPECT_EQ(TavrickCardSerialManager::getInstance()->getSelectedPortName(), "COM5");
    // The language list, from the drawer: the second language in the list is taken.
    for (int i = 0; i < 3; ++i) press(K::KEY_RIGHT_ARROW);
    press(K::KEY_ENTER);
    scenetest::stepSeconds(0.4f);
    ASSERT_TRUE(scene->settingsOpen);
    for (int i = 0; i < 3; ++i) press(K::KEY_RIGHT_ARROW);
    EXPECT_EQ(last(), "Language: English");
    press(K::KEY_ENTER);
    scenetest::stepFrames(2);
    ASSERT_NE(scene->panels.languageList, nullptr);
    press(K::KEY_ESCAPE);
    EXPECT_EQ(scene->panels.languageList, nullptr);
    EXPECT_EQ(i18n::language(), "en");
}

TEST_F(Keyboard, TheRingIsDrawnAboveEverythingAroundTheFocus) {
    EXPECT_EQ(scene->focusBox().size.width, 0) << "no ring before the first key";
    press({K::KEY_TAB, K::KEY_ENTER});
    ASSERT_NE(scene->keys.ring, nullptr);
    EXPECT_TRUE(scene->keys.ring->isVisible());
    EXPECT_EQ(scene->getChildren().back(), scene->keys.ring) << "drawn after the carried card's field";
    const cocos2d::Rect ring = scene->focusBox();
    const cocos2d::Vec2 card = world(scene->keys.carried->getPosition());
    EXPECT_TRUE(ring.containsPoint(card));
    press(K::KEY_ESCAPE);
    press(K::KEY_TAB);
    press(K::KEY_ENTER);  // the board choice
    scenetest::stepFrames(2);
    ASSERT_NE(scene->panels.targetPanel, nullptr);
    press(K::KEY_DOWN_ARROW);
    EXPECT_EQ(scene->getChildren().back(), scene->keys.ring) << "above the panel";
    EXPECT_TRUE(scene->keys.ring->isVisible());
    const cocos2d::Rect option = scene->focusBox();
    EXPECT_GT(option.size.width, 0);
    press(K::KEY_ESCAPE);
    EXPECT_TRUE(scene->focusBox().containsPoint(worldOf(scene->targetButton))) << "back on the button";
}

TEST_F(Keyboard, F5PlaysAndTheSendIsSaidToItsEnd) {
    int far = -1;
    const std::string path = openPort(&far);
    takeDown();
    start({{path, "CH340"}});
    press({K::KEY_TAB, K::KEY_ENTER, K::KEY_ENTER});
    press(K::KEY_F5);
    EXPECT_NE(scene->send.overlay, nullptr);
    EXPECT_NE(std::find_if(said.begin(), said.end(),
                           [](const std::string& s) { return s.rfind("Sending to CH340: ", 0) == 0; }),
              said.end());
    // Enter on the overlay's stop is the only key it takes; the send runs to its end here.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (scene->send.overlay && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        scenetest::stepFrames(1, 0.05f);
    }
    EXPECT_EQ(last(), "Sent");
    EXPECT_FALSE(drain(far).empty());
}

TEST_F(Keyboard, MouseAndKeysMix) {
    press({K::KEY_TAB, K::KEY_ENTER});
    CardSprite* carried = scene->keys.carried;
    ASSERT_NE(carried, nullptr);
    // The mouse cannot take the card the keys carry...
    pickUp(carried);
    EXPECT_FALSE(scene->drag.isDragging);
    scenetest::touchEnded(world(carried->getPosition()));
    scenetest::stepFrames(1);
    // ...and what it lays meanwhile is one step of its own, without the carried card.
    CardSprite* laid = dragFromPalette(LedOff, seatOf(4, 0));
    ASSERT_NE(laid, nullptr);
    EXPECT_TRUE(linkedTo(laid, 4, 0));
    EXPECT_EQ(scene->history.committedField.cards.size(), 1u);
    press(K::KEY_ENTER);
    EXPECT_TRUE(linkedTo(carried, 0, 0));
    EXPECT_EQ(scene->history.committedField.cards.size(), 2u);
    // Undo by key takes the key's card back, then the mouse's.
    key(K::KEY_Z);
    EXPECT_EQ(scene->fieldCards.size(), 1);
    key(K::KEY_Z);
    EXPECT_EQ(scene->fieldCards.size(), 0);
    checkInvariants("after mixing");
}

// The short sounds, one for each event, and the drawer's two switches, remembered.
class Heard : public Keyboard {
protected:
    void SetUp() override {
        useOwnFolder();
        Keyboard::SetUp();
        FieldScene::soundObserver = [this](FieldScene::Sound s) { sounds.push_back(s); };
        FieldScene::voice = [this](const std::string& text) { voiced.push_back(text); };
    }
    void TearDown() override {
        FieldScene::soundObserver = nullptr;
        FieldScene::voice = nullptr;
        FieldScene::screenReaderRunning = false;
        Keyboard::TearDown();
    }
    void pressInDrawer(cocos2d::Node* button) {
        if (!scene->settingsOpen) openDrawer();
        scenetest::tap(middleOf(button));
        scenetest::stepFrames(1);
    }
    using S = FieldScene::Sound;
    std::vector<S> sounds;
    std::vector<std::string> voiced;
};

TEST_F(Heard, EachEventHasItsSound) {
    press({K::KEY_TAB, K::KEY_ENTER, K::KEY_ENTER});
    EXPECT_EQ(sounds, std::vector<S>{S::Snap});
    EXPECT_EQ(cocos2d::AudioEngine::getInstance()->lastPlayed(), "res/snap.wav");
    EXPECT_GT(cocos2d::AudioEngine::getInstance()->queuedBytes(), 0u) << "queued on the silent device";
    press({K::KEY_TAB, K::KEY_TAB, K::KEY_ENTER, K::KEY_LEFT_ARROW, K::KEY_ENTER});
    EXPECT_EQ(sounds.back(), S::Refused);
    press({K::KEY_ESCAPE, K::KEY_DELETE});
    EXPECT_EQ(sounds.back(), S::Delete);
    EXPECT_EQ(cocos2d::AudioEngine::getInstance()->lastPlayed(), "res/delete.wav");
    // The mouse's drop makes the same snap, and a drop on a filled slot the refusal.
    dragFromPalette(LedOff, seatOf(2, 0));
    EXPECT_EQ(sounds.back(), S::Snap);
    dragFromPalette(LedOn, seatOf(2, 0));
    EXPECT_EQ(sounds.back(), S::Refused);
    // Play with no board.
    press(K::KEY_F5);
    EXPECT_EQ(sounds.back(), S::SendFailed);
    EXPECT_EQ(cocos2d::AudioEngine::getInstance()->lastPlayed(), "res/failed.wav");
}

TEST_F(Heard, TheSwitchesTurnSoundAndSpeechOffAndOnAndAreRemembered) {
    EXPECT_FALSE(scene->speakOn) << "off without a screen reader";
    press(K::KEY_TAB);
    EXPECT_TRUE(voiced.empty());
    pressInDrawer(scene->speakButton);
    EXPECT_TRUE(scene->speakOn);
    press(K::KEY_TAB);
    EXPECT_EQ(voiced.back(), said.back()) << "each sentence goes to the voice while speech is on";
    pressInDrawer(scene->soundButton);
    EXPECT_FALSE(scene->soundOn);
    sounds.clear();
    press({K::KEY_TAB, K::KEY_TAB, K::KEY_ENTER, K::KEY_ENTER});
    EXPECT_TRUE(sounds.empty());

    takeDown();
    start();
    EXPECT_TRUE(scene->speakOn);
    EXPECT_FALSE(scene->soundOn);
    pressInDrawer(scene->speakButton);
    EXPECT_FALSE(scene->speakOn);
    // Turned off by hand, speech stays off even where the screen reader runs.
    FieldScene::screenReaderRunning = true;
    takeDown();
    start();
    EXPECT_FALSE(scene->speakOn);
}

TEST_F(Heard, SpeechStartsOnWhereTheScreenReaderRuns) {
    FieldScene::screenReaderRunning = true;
    takeDown();
    start();
    EXPECT_TRUE(scene->speakOn);
    press(K::KEY_TAB);
    ASSERT_FALSE(voiced.empty());
    EXPECT_EQ(voiced.back(), "Palette: LED on");
}
