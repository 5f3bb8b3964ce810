#pragma once
// The one screen: the palette of cards on the left, the field of 30 numbered rows with
// two slots each, the target and play buttons, the trash icon and the settings drawer.
//
// Where each concern lives (one file each, all methods of FieldScene):
//   FieldSceneLayout.cpp    building the screen in one pass; the pictures it needs
//   FieldSceneControls.cpp  buttons, the drawer, the target panel, keys, full screen
//   FieldSceneProgram.cpp   the program text, buildAndSend, the sending overlay, notices
//   FieldScenePorts.cpp     the board box, the port list, scans and the chosen port
//   FieldSceneAnswer.cpp    after a send: its sign of success, what the board said, the
//                           mark on the board box when it said nothing
//   FieldSceneDragDrop.cpp  cards taken from the palette, carried, snapped into slots
//   FieldSceneDrop.cpp      where a released card goes: into the slot under it, or back;
//                           the look of a card in no slot, and how many there are
//   FieldSceneRemoval.cpp   the trash and the delete animation
//   FieldSceneView.cpp      the field's view: where it ends, zoom, Home and "to the top",
//                           a restored view brought back to the rows
//   FieldSceneHistory.cpp   undo and redo, the autosave, clearing
//   FieldSceneFiles.cpp     program files: open and save, the chooser, the overwrite question
//   FieldSceneSim.cpp       the board on the screen (SimPanel) and the try button
//   FieldSceneLanguage.cpp  the screen's language: the drawer's button and list, the texts again
//   FieldSceneKeyboard.cpp  the whole screen by keyboard: the focus, its ring, the card the
//                           keys carry; each focus move and action said in a sentence
//   PanelKit.*, Theme.h     the pressed button and modal panel every control uses; the look
//
// The state is grouped by concern below: `drag` (a card being carried), `history` (undo,
// autosave, the file chooser), `panels` (the modal panels), `send` (the sending overlay),
// `answer` (what came back from the board), `notice`, `sim` (the board on the screen) and
// `keys` (the keyboard's focus and the card it carries). The screen's nodes are plain members: the scene graph owns
// them, the scene keeps pointers.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BackgroundWriter.h"
#include "CardSprite.h"
#include "FieldDocument.h"
#include "FieldScrollView.h"
#include "FileChooser.h"
#include "ProgramText.h"
#include "SendData.h"
#include "Settings.h"
#include "cocos2d.h"
#include "tr.h"

namespace boardsim {
struct Event;
}
class SimPanel;

// A card on its way: the translucent ghost over the palette, the new card it becomes on the
// field, or a card picked up from the field.
struct DragState {
    CardSprite* ghostCard = nullptr;
    CardSprite* placingCard = nullptr;
    CardSprite* touchedCard = nullptr;
    // The slot the carried card sits in while it is pulled less than the tear distance.
    CardSprite* snapTarget = nullptr;
    bool isStill = true;
    bool isDragging = false;
    // Counts touches on field cards, so that a delayed pick-up knows its touch still holds.
    std::int32_t touchSerial = 0;
    cocos2d::Vec2 snapPull;
    bool paletteDragDecided = false;
    cocos2d::Vec2 paletteTouchStart;
    // The one touch a palette drag follows (-1: none); other fingers on the palette only scroll it.
    intptr_t paletteTouchId = -1;
    // Where the touch carrying a card is now (world points), for scrolling at the edges.
    cocos2d::Vec2 carryPoint;
    // The point of the carried card that the finger holds, from the card's centre (card
    // points): the card is laid so that this point is under the finger, every step. One for
    // a field card, one for a card taken from the palette (two fingers may carry both).
    cocos2d::Vec2 grab;
    cocos2d::Vec2 paletteGrab;
    // Where the finger would have laid the card when it snapped (field points): the pull that
    // tears it loose is measured from there.
    cocos2d::Vec2 snapFrom;
    // Where a picked-up card was before it was picked up: its slot (or none) and its place.
    // A card released over a filled slot goes back there.
    CardSprite* fromSlot = nullptr;
    cocos2d::Vec2 fromPosition;
};

// Keeping the work: the undo steps, the autosave, and the file chooser asked for a file.
struct HistoryState {
    static constexpr size_t kSteps = 200;
    // The field as the last finished action left it, and the steps back and forward from it.
    tavrick::FieldDocument committedField;
    std::deque<tavrick::FieldDocument> undoSteps;
    std::vector<tavrick::FieldDocument> redoSteps;
    // Where the field is kept between runs ("" when the program has no folder of its own).
    std::string autosavePath;
    unsigned long autosavesQueued = 0;
    std::unique_ptr<tavrick::BackgroundWriter> autosaveWriter;
    bool autosaveScheduled = false;
    std::string autosaveErrorTold;
    int choosersOpen = 0;
    std::chrono::steady_clock::time_point chooserAskedAt;
};

// The modal panels; each takes every touch while it is open, and one is open at a time.
struct PanelState {
    cocos2d::LayerColor* targetPanel = nullptr;
    cocos2d::Vector<cocos2d::EventListener*> targetPanelListeners;
    cocos2d::Layer* portListPopup = nullptr;
    // The list's scrolling view when the entries do not fit on the screen; else null.
    FieldScrollView* portListView = nullptr;
    cocos2d::Vector<cocos2d::EventListener*> portListListeners;
    // The entries, in the list's order (tag: the index), and the port each one names: a tap
    // chooses that port by name, wherever a later scan has put it.
    std::vector<cocos2d::LayerColor*> portListRows;
    std::vector<std::string> portListNames;
    cocos2d::LayerColor* clearQuestion = nullptr;
    cocos2d::LayerColor* clearYesButton = nullptr;
    cocos2d::LayerColor* clearNoButton = nullptr;
    cocos2d::LayerColor* languageList = nullptr;
    // What opened the port list (the board box or the drawer's label): it opens beside it,
    // and a scan that ends while it is open builds it again there.
    cocos2d::Node* portListOpener = nullptr;
    // "<name> is already there. Replace it?" before a save that would replace a file.
    cocos2d::LayerColor* replaceQuestion = nullptr;
    cocos2d::LayerColor* replaceYesButton = nullptr;
    cocos2d::LayerColor* replaceNoButton = nullptr;
};

// A send in progress: the grey overlay with its progress line and stop button.
struct SendState {
    cocos2d::Layer* overlay = nullptr;
    cocos2d::Label* progress = nullptr;
    cocos2d::LayerColor* progressPlate = nullptr;
    cocos2d::LayerColor* stopButton = nullptr;
    // The port of the send in progress, for the notice if it fails.
    std::string portName;
    // Play was pressed while a scan ran: the send starts when the scan has ended.
    bool playPending = false;
};

// The keyboard's focus: the region it is in, the place it last had in each region (coming
// back finds it there), and the card the keys carry. A carried card picked up from a slot
// stays linked to that slot until it is put elsewhere: the program, undo and the autosave
// see it where it was.
struct KeyFocus {
    enum class Region { None, Palette, Field, Buttons };
    Region region = Region::None;
    int paletteKind = 0;
    int row = 0, side = 0;
    int button = 0;
    // The entry of the open panel, and the panel it belongs to (a new panel starts at its first).
    int panelItem = 0;
    cocos2d::Node* panel = nullptr;
    CardSprite* carried = nullptr;
    bool carriedIsNew = false;
    cocos2d::Vec2 fromPosition;
    // The ring around what has the focus, above everything.
    cocos2d::Node* ring = nullptr;
};

// After a send: the sign that it went well, the view of what the board said, and the mark on
// the board box when the board said nothing.
struct AnswerState {
    // The view, while it is open: its list of lines and what it shows now.
    cocos2d::LayerColor* view = nullptr;
    FieldScrollView* list = nullptr;
    cocos2d::LayerColor* closeButton = nullptr;
    std::vector<std::string> shown;
    // The ways to it: in the drawer, and in the list the board box opens.
    cocos2d::Sprite* drawerButton = nullptr;
    cocos2d::LayerColor* listButton = nullptr;
    // On the board box: the last send that went well heard nothing back.
    cocos2d::Node* silentMark = nullptr;
    // "Sent to <board>" with its tick, for two seconds after a send that went well.
    cocos2d::Node* sentSign = nullptr;
    cocos2d::Label* sentText = nullptr;
    // The board of the send in progress, as the box names it.
    std::string boardName;
    bool anySent = false;  // a send has started in this run
};

// The notice over the field (its text is FieldScene::sendNotice): on a plate of its own; a
// long one stays until it is tapped.
struct NoticeState {
    cocos2d::LayerColor* plate = nullptr;
    bool staysUntilTapped = false;
};

// The board on the screen.
struct SimState {
    SimPanel* panel = nullptr;
    // The frame around the field row a running line comes from.
    cocos2d::Node* rowMark = nullptr;
    // Told each step of a run as it happens: "sim-start", "sim-line", "sim-led",
    // "sim-error", "sim-end", "sim-stop" (the harness prints them).
    std::function<void(const char* what, const boardsim::Event& e)> observer;
};

class FieldScene : public cocos2d::Layer, public FieldScrollViewDelegate {
public:
    static FieldScene* create();
    // The screen the director runs now, or null (tools and benchmarks drive it from outside).
    static FieldScene* findRunning();
    // Starts decoding every picture of the screen in the background (before the window
    // opens); the screen's building takes them when it comes to them.
    static void preloadPictures();
    static std::vector<std::string> boardPanelImages();
    ~FieldScene() override;
    bool init() override;

    // Field view notifications: the "to the top" button follows them, the autosave keeps
    // the scroll position.
    void onScrolled(FieldScrollView* view) override;
    void onZoomed(FieldScrollView* view) override;

    // The hit test of every control: the node's box, its origin taken to world space
    // through the parent, against the touch location.
    static bool hits(cocos2d::Node* node, const cocos2d::Vec2& location);
    // Sets `label` to `text`, shortened with "..." at the end to fit `width` points.
    static void fitLabelText(cocos2d::Label* label, const std::string& text, float width);

    // --- controls (FieldSceneControls.cpp) --------------------------------------------------
    void openTargetPanel();
    void closeTargetPanel();
    void applyTargetImage();
    // Fills the screen or goes back to the window; remembered for the next start.
    void toggleFullscreen();
    // Escape: closes the panel on top (the clear question, the port list, the target panel,
    // the board panel), as a tap outside it would.
    void closeTopPanel();

    // --- the screen's language (FieldSceneLanguage.cpp) ------------------------------------
    // The texts from then on in `code` ("en", "ja"), their labels' face chosen to draw them.
    static void useLanguage(const std::string& code);
    // Chosen by hand in the drawer: applied at once to what the screen shows, remembered.
    void chooseLanguage(const std::string& code);
    void openLanguageList();
    void closeLanguageList();

    // --- the field's view (FieldSceneView.cpp) ----------------------------------------------
    // The zoom limits: the rows' numbers stay readable (they are 11 points high at 1), and
    // no slot's card reaches under the buttons on the right (they leave no more room than
    // the rows take at 1).
    static constexpr float kMinZoom = 0.7f;
    static constexpr float kMaxZoom = 1.0f;
    // Back to row 10 (Home, the "to the top" button).
    void goHome(bool animated = true);
    // Ctrl+plus and Ctrl+minus: a zoom step closer (+1) or further (-1); Ctrl+0: size 1.
    void zoomStep(int steps);
    void resetZoom();
    // Shows the "to the top" button exactly while row 10 is out of sight.
    void refreshTopButton();
    // A view that shows no slot (kept by an older version, or beyond the rows) brought back:
    // to the row with cards nearest to where it was, or into the rows' limits.
    void bringViewToRows();
    // The rows with their number plates, in field points: the part of the field that matters.
    cocos2d::Rect rowsArea;
    // --- the program and the send (FieldSceneProgram.cpp) -----------------------------------
    void buildAndSend();
    void showSendingOverlay();
    void hideSendingOverlay(bool sent);
    // Ends the send in progress after the line being written ("Sending stopped").
    void stopSending();
    // The program text of the field for the selected target: what a send carries and what
    // the board on the screen runs.
    std::vector<ProgramLine> programLines() const;
    // A notice over the field, in plain words: a failed send, no board, a stop, a file. A short
    // one goes after `seconds`; a longer one stays until it is tapped (or the next replaces it).
    void showNotice(const std::string& text, float seconds = 3.0f);
    void closeNotice();
    // A notice longer than this many characters stays until it is tapped.
    static constexpr size_t kShortNoticeCharacters = 32;
    // The notice of a failed send, in plain words: what to do, not the device's name.
    static std::string sendFailureText(int serialError);
    // Says on the screen why the last send failed (and on standard error, with the device).
    void tellSendFailure();
    // Makes one line of the send queue (the serial data's own create; replaceable so that
    // a line that cannot be made can be tried).
    static SendData* (*makeSendLine)(const std::string& text, std::int32_t delayMs);

    // --- ports (FieldScenePorts.cpp) --------------------------------------------------------
    // Shows the chosen port, or that none was found, in the drawer and beside the play button;
    // stops the reload arrow.
    void updatePortLabel();
    // A port chosen by hand in the port list: kept by name, also for the next start.
    void choosePort(int index);
    // The list of ports, opened beside what opened it: left of the board box, or above the
    // drawer's port label (the default). Each entry shows the board's description over its
    // port, built-in ports marked as such, and the port in use marked. A scan that ends while
    // it is open builds it again; it closes when no port is left.
    void openPortList();
    void openPortListFrom(cocos2d::Node* opener);
    void closePortList();

    // --- after a send (FieldSceneAnswer.cpp) ------------------------------------------------
    // The view of what the board said during the last send and the second after it, newest
    // last; "The board sent nothing back" when nothing came. Follows the lines as they come.
    void openBoardSaid();
    void closeBoardSaid();
    // "Sent to <board>" with a tick, for two seconds.
    void showSentSign(const std::string& board);
    static constexpr const char* kBoardSaidTitle = i18n::N_("What the board said");
    static constexpr const char* kNothingBack = i18n::N_("The board sent nothing back");

    // --- card editing (FieldSceneDragDrop.cpp, FieldSceneRemoval.cpp) -----------------------
    cocos2d::Vec2 toFieldSpace(cocos2d::Node* node, const cocos2d::Vec2& p) const;
    void placeCardClamped(CardSprite* card, const cocos2d::Vec2& p);
    void moveCard(CardSprite* card, const cocos2d::Vec2& delta);
    int connectorAngle(const CardConnector& a, const CardConnector& b) const;
    void updateCountLabel(int kind);
    void tintForCleanIcon(CardSprite* card, const cocos2d::Vec2& location);
    bool dropCard(CardSprite* card, const cocos2d::Vec2& location);
    // Lays a new card of a kind on the field at a field point, through the same steps a
    // palette drop takes (count, listener, snap search). For the harness and benchmarks.
    CardSprite* layCard(int kind, const cocos2d::Vec2& fieldPoint);
    // Field scroll speed, in view points a second, for a carried card's touch at a world
    // point: 0 away from the top and bottom edges of the field's visible area, slow near
    // one, faster beyond it. Positive shows lower rows.
    float edgeScrollSpeed(const cocos2d::Vec2& location) const;
    // A card is being carried (a ghost, a new card or a picked-up one).
    bool isCarrying() const;
    // After every editing step: no wheel while a card is carried, and the edge scroll runs
    // exactly while a card on the field is carried.
    void refreshCarry();
    // Per frame while a card on the field is carried: scrolls at the edges.
    void edgeScrollStep(float dt);

    // --- where a released card goes (FieldSceneDrop.cpp) ------------------------------------
    // The slot a card lies over: the one under its centre (the slot it covers most), else the
    // one its connector is in; null over no slot.
    CardSprite* slotUnder(CardSprite* card) const;
    // The card is in a slot: a slot's connector names it. Only these are sent.
    bool isInSlot(CardSprite* card) const;
    // Cards on the field in no slot: shown as such, told by play and try, never sent.
    int looseCardCount() const;
    // "2 cards are not in a slot and will not be sent" ("... will not run" for try); "" for 0.
    static std::string looseCardsText(int count, bool forTry);
    // A card in a slot lies straight in its own colours; one in no slot is grey and tilted.
    void showLooseness(CardSprite* card);
    // A carried card released (not on the trash): it stays in the slot it snapped into, goes
    // into the free slot under it, or back where it came from when the slot under it is
    // taken. False when it went away (a new card over a filled slot).
    bool settleReleasedCard(CardSprite* card, bool isNew);
    // Lights the free slot the carried card would go into; hides the light without one.
    void lightSlotFor(CardSprite* card);
    // --- keeping the work (FieldSceneHistory.cpp) -------------------------------------------
    // The field as data, and back: `restore` replaces every card and the target (and the
    // scroll position when `withView`).
    tavrick::FieldDocument snapshot() const;
    void restore(const tavrick::FieldDocument& doc, bool withView);
    // Called once a user action has ended: one undo step when the field changed; the
    // autosave follows shortly.
    void fieldEdited();
    bool undo();
    bool redo();
    // Not while a send runs or a card is being carried.
    bool canEdit() const;
    void askClearField();
    void closeClearQuestion();
    void clearField();
    // Program files (FieldSceneFiles.cpp): through the chooser (Ctrl+S, Ctrl+O, the drawer's
    // buttons) or a path (command line, drop). Without any chooser, saving goes into the
    // documents folder under a name not yet taken, and opening says what to install.
    void saveProgram();
    void openProgram();
    // Saves to `path`, with ".cards" added unless it ends so (in any case). When that changed
    // the name and the file is there, asks before replacing it (the chooser asked about the
    // name it gave, not this one); `askedAlready` says the name given was asked about.
    bool saveProgramFile(const std::string& path, bool askedAlready = true);
    bool openProgramFile(const std::string& path);
    void closeReplaceQuestion();
    // Where saving goes without a chooser; replaceable for tests ("" for none).
    static std::function<std::string()> documentsFolder;
    // Writes a pending autosave now and waits for the disk (exit, tests).
    void flushAutosave();
    // Autosaves that have reached the disk (or failed) so far.
    unsigned long autosavesWritten() const {
        return history.autosaveWriter ? history.autosaveWriter->completed() : 0;
    }
    // The chooser every scene uses; tests and platforms replace it.
    static FileChooser fileChooser;
    static FileChooser defaultFileChooser();
    // How long a chooser that has not answered keeps another from being asked for.
    static std::chrono::milliseconds chooserPatience;
    // Set before create when another copy of the program has this folder's field open and did
    // not answer (app/, one program per field): the saved field is shown but never written
    // from here, nor moved aside; the text is the notice that says so.
    static std::string fieldHeldElsewhere;

    // --- the board on the screen (FieldSceneSim.cpp) ----------------------------------------
    // The try button opens the panel and runs the program; pressed during a run, it ends the
    // run and closes the panel; pressed after one, it runs the program again.
    bool buildTryButton();
    void toggleSim();
    void openSim();
    void closeSim();
    // Runs the field's program on the board on the screen (the panel open).
    void runSim();
    // Marks the field row a running line comes from and scrolls it into view; -1 clears.
    void markSimRow(int row, bool error);

    // --- the keyboard and what is said (FieldSceneKeyboard.cpp) ----------------------------
    // Tab and Shift+Tab between the regions, the arrows, Enter and Space, Delete, Escape, F5.
    // False when the key is not the keyboard's (the shortcuts then look at it).
    bool handleFocusKey(cocos2d::EventKeyboard::KeyCode code, bool shift);
    // Hears every sentence the screen says (the harness, tests); may be empty.
    static std::function<void(const std::string&)> speaker;
    // The platform's voice (set by the app): says each sentence while speech is on.
    static std::function<void(const std::string&)> voice;
    // Set by the app before the screen is built: speech starts on when the system's screen
    // reader runs, unless the child turned it off before.
    static bool screenReaderRunning;
    void say(const std::string& text);
    // The short sounds, while sound is on; `soundObserver` hears each one played.
    enum class Sound { Snap, Delete, Sent, SendFailed, Refused };
    void playSound(Sound sound);
    static std::function<void(Sound)> soundObserver;
    // The drawer's "Speak" and "Sound" switches; each choice is remembered.
    void toggleSpeak();
    void toggleSound();
    bool speakOn = false;
    bool soundOn = true;
    // "LED on", "Wait 3 seconds".
    static std::string cardName(int kind);
    // "Row 30, left slot: Wait 3 seconds", "Row 30, right slot, empty".
    std::string slotSentence(int row, int side) const;
    // The ring follows what has the focus (after a key, a scroll, a panel that came or went).
    void refreshFocusRing();
    // The focused thing's box on the screen (world points); empty when nothing has the focus.
    cocos2d::Rect focusBox();
    // Gives back or puts back the card the keys carry (the mouse took over, a send began).
    void dropKeyCarry();
    // The keyboard's presses go through the same touch handlers as a finger's.
    void pressNode(cocos2d::Node* node);

    // --- state, by concern ------------------------------------------------------------------
    DragState drag;
    HistoryState history;
    PanelState panels;
    SendState send;
    AnswerState answer;
    NoticeState notice;
    SimState sim;
    KeyFocus keys;
    bool settingsOpen = false;  // the drawer is up

    // --- the screen's nodes -----------------------------------------------------------------
    FieldScrollView* fieldView = nullptr;
    FieldScrollView* paletteView = nullptr;
    cocos2d::LayerColor* palettePanel = nullptr;
    // White behind the field's view: the field's area stays white however far it is zoomed out.
    cocos2d::LayerColor* fieldBackground = nullptr;
    cocos2d::Sprite* cleanIcon = nullptr;
    CardSprite* playButton = nullptr;
    cocos2d::Sprite* targetButton = nullptr;
    cocos2d::Sprite* tryButton = nullptr;
    cocos2d::Sprite* undoButton = nullptr;
    // The drawer: the gear, the port label with its reload arrow, full screen, clear.
    cocos2d::Layer* settingsLayer = nullptr;
    cocos2d::Sprite* settingsButton = nullptr;
    cocos2d::Sprite* reloadButton = nullptr;
    cocos2d::Label* portLabel = nullptr;
    cocos2d::LayerColor* portLabelBackground = nullptr;
    cocos2d::Sprite* fullscreenButton = nullptr;
    cocos2d::LayerColor* clearButton = nullptr;
    // Shows the language in use, named in itself; a tap opens the list of languages.
    cocos2d::LayerColor* languageButton = nullptr;
    cocos2d::LayerColor* openButton = nullptr;
    cocos2d::LayerColor* saveButton = nullptr;
    cocos2d::LayerColor* speakButton = nullptr;
    cocos2d::LayerColor* soundButton = nullptr;
    // Over the field's top while row 10 is out of sight: back to it.
    cocos2d::Sprite* topButton = nullptr;
    // The light on the free slot a carried card would go into (in the field's container).
    cocos2d::LayerColor* slotLight = nullptr;
    // The palette's arrows.
    cocos2d::Sprite* menuUpButton = nullptr;
    cocos2d::Sprite* menuDownButton = nullptr;
    // The chosen board, always in sight below the play button; a tap opens the port list.
    cocos2d::LayerColor* boardBox = nullptr;
    cocos2d::Label* boardLabel = nullptr;
    cocos2d::Label* boardPortLabel = nullptr;
    // The notice over the field (showNotice).
    cocos2d::Label* sendNotice = nullptr;
    // The cards: the palette's six with their counts, the field's, and the slot grid.
    std::array<CardSprite*, 6> paletteCards{};
    std::array<cocos2d::Label*, 6> countLabels{};
    std::array<std::int32_t, 6> cardCounts{};
    cocos2d::Vector<CardSprite*> fieldCards;
    std::vector<cocos2d::Vector<CardSprite*>> slotRows;

protected:
    FieldScene() = default;

private:
    void buildFrame(cocos2d::Layer* frameLayer, float W, float H);
    void buildPalette(float H);
    void buildSettings(float W);
    // The language: the one chosen by hand before, else the system's.
    void applyStartLanguage();
    void buildLanguageButton();
    // Puts the drawer's fixed words in the language now in use.
    void retranslate();
    cocos2d::Label* portTitle = nullptr;
    cocos2d::Label* creditsLabel = nullptr;
    cocos2d::Label* versionLabel = nullptr;
    void buildBoardBox();
    void buildField(float W, float H);
    void registerListeners();
    cocos2d::EventListenerTouchOneByOne* buttonListener(cocos2d::Node* button,
                                                        void (FieldScene::*action)());
    void slideDrawer();
    void reloadPorts();
    void refreshSendProgress();
    void spinReloadArrow();
    void saveSettings(const std::function<void(tavrick::Settings&)>& change);
    // The settings of an earlier run: the port chosen by hand, full screen; a file that could
    // not be read is told once.
    void loadSettings();
    // A failed save of the settings has been told; told again only after one has worked.
    bool settingsFailureTold = false;
    void onScanEnded();
    // After a send: the board box's mark and the view follow what the board said.
    void buildAnswerControls();
    void answerEnded(bool heard);
    void refreshBoardSaid();
    // The view's way in, in words, placed on `parent` at `position` (the port list).
    cocos2d::LayerColor* addBoardSaidButton(cocos2d::Node* parent, const cocos2d::Vec2& position);
    void handleKey(cocos2d::EventKeyboard::KeyCode code, cocos2d::Event* event);

    // Card editing handlers.
    bool onPaletteTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event);
    void onPaletteTouchMoved(cocos2d::Touch* touch, cocos2d::Event* event);
    void onPaletteTouchEnded(cocos2d::Touch* touch, cocos2d::Event* event);
    bool onCardTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event);
    void onCardTouchMoved(cocos2d::Touch* touch, cocos2d::Event* event);
    void onCardTouchEnded(cocos2d::Touch* touch, cocos2d::Event* event);
    void pickUp(std::int32_t serial);
    // showCount false: the kind's count label is left for the caller (a restore shows all six once).
    CardSprite* newFieldCard(int kind, const cocos2d::Vec2& position, bool showCount = true);
    // Lays the carried card with its held point under the finger (world point), snapping
    // as the drag does; `search` false only moves it (the field scrolling under it).
    void carryTo(CardSprite* card, const cocos2d::Vec2& touchWorld, bool search = true);
    void carryCard(CardSprite* card, const cocos2d::Vec2& desired, bool search = true);
    void seatCard(CardSprite* card, CardSprite* slot);
    // A card that goes back shows it: a copy slides from where it was let go to where it lies.
    void slideBack(CardSprite* card, const cocos2d::Vec2& from);
    void unlinkCard(CardSprite* card);
    // Takes a card off the field as the trash does: out of the program and the counts at
    // once, then its animation.
    void deleteCard(CardSprite* card);
    // Where a card lies when it sits in `slot` (field points).
    cocos2d::Vec2 seatPosition(CardSprite* card, CardSprite* slot) const;
    // The keyboard's parts (FieldSceneKeyboard.cpp).
    std::vector<cocos2d::Node*> focusButtons() const;
    std::vector<cocos2d::Node*> panelEntries() const;
    cocos2d::Node* topPanel() const;
    std::string spokenName(cocos2d::Node* node) const;
    void sayFocus();
    void moveFieldFocus(int drow, int dside);
    void showFieldFocus();
    void fieldEnter();
    void takeFromPalette();
    void deleteFocused();
    void buildVoiceSwitches();
    void refreshVoiceSwitches();

    // Keeping the work.
    void buildHistoryControls();
    void buildFileButtons();
    void buildTopButton();
    void undoPressed();
    void clearPressed();
    void restoreAutosave();
    // The save that found no chooser: into the documents folder, under a new name.
    void saveWithoutChooser();
    void askReplace(const std::string& path);
    void scheduleAutosave();
    void autosaveNow();
    // Tells on the screen when the last autosave failed (once for each new failure).
    void checkAutosave();
    void finishHistory();
    // One chooser at a time, unless the last one has not answered for a while.
    // `none` runs when no chooser could be shown at all.
    void askChooser(FileChooserMode mode, const std::string& suggested, std::function<void(const std::string&)> chosen,
                    std::function<void()> none);

    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    cocos2d::EventListenerCustom* dropListener = nullptr;
};
