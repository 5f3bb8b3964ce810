// Keeping the child's work: the field saved and brought back at the next start, bad files
// kept aside, undo and redo, clearing, program files through the chooser, the command line
// and a drop.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>

#include "EditingFixture.h"
#include "Settings.h"
#include "files.h"

using namespace cocos2d;
using tavrick::FieldDocument;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

class History : public Editing {
protected:
    void SetUp() override {
        useOwnFolder();
        savedChooser = FieldScene::fileChooser;
        start();
    }
    void TearDown() override {
        FieldScene::fileChooser = savedChooser;
        Editing::TearDown();
    }

    std::string fieldFile() const { return folder + FieldDocument::kAutosaveName; }

    // The process ends (whatever is pending is written) and starts again.
    void restart() {
        scene->flushAutosave();
        SceneTest::TearDown();
        start();
    }

    std::vector<std::string> badFiles() const {
        std::vector<std::string> out;
        if (DIR* d = opendir(folder.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name).rfind("field.json.bad-", 0) == 0) out.push_back(e->d_name);
            closedir(d);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    // The program text the field makes now, header to trailer.
    std::vector<std::pair<std::string, int>> program() {
        scene->buildAndSend();  // no board: built, not sent
        return queue();
    }

    // Picks the target through its panel, as a tap does.
    void chooseTarget(int target) {
        scenetest::tap(worldOf(scene->targetButton));
        scenetest::stepFrames(1);
        ASSERT_NE(scene->panels.targetPanel, nullptr);
        for (Node* option : scene->panels.targetPanel->getChildren())
            if (option->getTag() == target) scenetest::tap(worldOf(option));
        scenetest::stepFrames(2);
    }

    // Carries a card onto the trash and lets go.
    void deleteCard(CardSprite* card) {
        Vec2 at = pickUp(card);
        moveTo(at, worldOf(scene->cleanIcon), 40);
        scenetest::touchEnded(at);
        scenetest::stepFrames(30, 0.02f);
    }

    CardSprite* inSlot(int row, int side) const { return scene->slotRows[row].at(side)->connectors[0].partner; }

    FileChooser savedChooser;
};

// --- save and restore ----------------------------------------------------------------

TEST_F(History, EachKindOfBadFileGivesAnEmptyFieldAndIsKept) {
    auto doc = [](const std::string& cards, const std::string& target = "Dov", int version = 1) {
        return R"({"format":"tavrick-cards","version":)" + std::to_string(version) + R"(,"target":")" + target +
               R"(","cards":[)" + cards + "]}";
    };
    const std::string card = R"({"kind":"led-on","x":1,"y":1)";
    const std::string good = doc(card + "}");
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"cut short", good.substr(0, good.size() / 2)},
        {"empty", ""},
        {"not JSON", "LED 1\r\nWAIT 60\r\n"},
        {"newer format", doc("", "Dov", 99)},
        {"unknown kind", doc(R"({"kind":"beep","x":1,"y":1})")},
        {"unknown row", doc(card + R"(,"row":310,"side":"left"})")},
        {"unknown slot", doc(card + R"(,"row":10,"side":"middle"})")},
        {"two in one slot", doc(card + R"(,"row":10,"side":"left"},)" + card + R"(,"row":10,"side":"left"})")},
        {"unknown board", doc("", "Uno")},
    };
    dragFromPalette(0, seatOf(0, 0));
    scene->flushAutosave();
    size_t kept = 0;
    for (const auto& b : bad) {
        SCOPED_TRACE(b.first);
        scene->flushAutosave();
        SceneTest::TearDown();
        writeFile(fieldFile(), b.second);
        start();
        EXPECT_TRUE(scene->fieldCards.empty());
        EXPECT_NE(notice().find("could not be read"), std::string::npos) << notice();
        const auto files = badFiles();
        ASSERT_EQ(files.size(), ++kept) << "an earlier bad file was replaced";
        // The newest is the one just written, and its name is in the notice.
        bool found = false;
        const std::string told = notice();
        for (const std::string& f : files)
            if (told.size() >= f.size() && told.compare(told.size() - f.size(), f.size(), f) == 0) {
                found = true;
                EXPECT_EQ(readFile(folder + f), b.second);
            }
        EXPECT_TRUE(found) << notice();
        // Work after a bad start is kept as usual.
        dragFromPalette(1, seatOf(2, 1));
        scene->flushAutosave();
        FieldDocument doc;
        std::string problem;
        ASSERT_TRUE(FieldDocument::fromJson(readFile(fieldFile()), doc, problem)) << problem;
        EXPECT_EQ(doc.cards.size(), 1u);
    }
    // A folder where the file should be cannot be read either; it is moved aside the same way.
    std::remove(fieldFile().c_str());
    ASSERT_EQ(mkdir(fieldFile().c_str(), 0755), 0);
    SceneTest::TearDown();
    start();
    EXPECT_TRUE(scene->fieldCards.empty());
    EXPECT_NE(notice().find("could not be read"), std::string::npos);
    EXPECT_EQ(badFiles().size(), kept + 1);
}

TEST_F(History, ACardOffTheFieldIsClampedOntoIt) {
    writeFile(fieldFile(), R"({"format":"tavrick-cards","version":1,"target":"Velto","cards":[
        {"kind":"wait-10","x":-4000,"y":99999},{"kind":"wait-1","x":3,"y":3,"row":30,"side":"right"}]})");
    restart();
    ASSERT_EQ(scene->fieldCards.size(), 2);
    checkInvariants("clamped");
    // A card in a slot takes its seat there, wherever the file says it lies.
    EXPECT_EQ(inSlot(2, 1), scene->fieldCards.at(1));
    EXPECT_TRUE(notice().empty());
}

// --- undo and redo -------------------------------------------------------------------

// A seeded editing run: each undo gives the field as it was before that action, each redo
// as after it; and the field it ends with comes back whole at the next start.
TEST_F(History, ASeededEditingRunUndoesRedoesAndComesBackWholeAtTheNextStart) {
    std::mt19937 rng(4242);
    auto uniform = [&rng](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    auto below = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    std::vector<FieldDocument> states{scene->snapshot()};
    for (int step = 0; step < 80; ++step) {
        const int what = below(10);
        if (what < 4 || scene->fieldCards.empty()) {
            // Most near a slot (and snapped), some far from any.
            const Vec2 at = below(4) ? seatOf(below(5), below(2)) + Vec2(uniform(-25, 25), 0)
                                     : Vec2(uniform(850, 1000), uniform(3900, 4500));
            dragFromPalette(below(6), at);
        } else if (what == 9) {
            chooseTarget(DeviceManager::getInstance()->target == Dov ? Velto : Dov);
        } else {
            CardSprite* card = scene->fieldCards.at(below(int(scene->fieldCards.size())));
            if (what == 8) {
                deleteCard(card);
            } else {
                Vec2 at = pickUp(card);
                moveTo(at, at + Vec2(uniform(-150, 150), uniform(-150, 150)));
                scenetest::touchEnded(at);
                scenetest::stepFrames(2);
            }
        }
        checkInvariants("step " + std::to_string(step));
        if (!scene->snapshot().sameField(states.back())) states.push_back(scene->snapshot());
    }
    ASSERT_GT(states.size(), 30u);
    for (size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(scene->undo()) << "undo to state " << i - 1;
        scenetest::stepFrames(1);
        checkInvariants("undone to state " + std::to_string(i - 1));
        ASSERT_TRUE(scene->snapshot().sameField(states[i - 1])) << "state " << i - 1;
    }
    EXPECT_FALSE(scene->undo());
    for (size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(scene->redo());
        checkInvariants("redone to state " + std::to_string(i));
        ASSERT_TRUE(scene->snapshot().sameField(states[i])) << "state " << i;
    }
    EXPECT_FALSE(scene->redo());
    // A new action after an undo drops what could have been redone.
    ASSERT_TRUE(scene->undo());
    int freeRow = 0;
    while (scene->slotRows[freeRow].at(1)->connectors[0].partner) ++freeRow;
    dragFromPalette(0, seatOf(freeRow, 1));
    EXPECT_FALSE(scene->redo());

    // Scrolled and zoomed a little: that comes back too.
    scenetest::wheel(Vec2(700, 400), 3);
    scenetest::stepSeconds(1);
    const FieldDocument before = scene->snapshot();
    const auto sent = program();
    const auto counts = scene->cardCounts;
    const int target = DeviceManager::getInstance()->target;
    int linked = 0;
    for (const auto& c : before.cards) linked += c.row >= 0;
    ASSERT_GT(linked, 0);
    ASSERT_LT(linked, static_cast<int>(before.cards.size())) << "no loose card";
    restart();
    EXPECT_TRUE(scene->snapshot().sameField(before));
    EXPECT_EQ(scene->cardCounts, counts);
    EXPECT_EQ(DeviceManager::getInstance()->target, target);
    EXPECT_EQ(scene->fieldView->getContentOffset(), Vec2(before.offsetX, before.offsetY));
    EXPECT_EQ(program(), sent);
    checkInvariants("restored");
    EXPECT_EQ(notice().find("could not be read"), std::string::npos);
}

TEST_F(History, AnUndoneDeletionPutsTheCardBackIntoItsSlot) {
    dragFromPalette(2, seatOf(3, 1));
    CardSprite* card = inSlot(3, 1);
    ASSERT_NE(card, nullptr);
    deleteCard(card);
    ASSERT_EQ(inSlot(3, 1), nullptr);
    EXPECT_EQ(scene->cardCounts[2], 0);
    // The on-screen button.
    scenetest::tap(worldOf(scene->undoButton));
    scenetest::stepFrames(1);
    ASSERT_NE(inSlot(3, 1), nullptr);
    EXPECT_EQ(inSlot(3, 1)->kind, 2);
    EXPECT_EQ(scene->countLabels[2]->getString(), "1");
    // The card back is a live one: it can be deleted again.
    deleteCard(inSlot(3, 1));
    EXPECT_EQ(inSlot(3, 1), nullptr);
}

TEST_F(History, ShortcutsUndoAndRedo) {
    dragFromPalette(0, seatOf(0, 0));
    dragFromPalette(1, seatOf(0, 1));
    using K = EventKeyboard::KeyCode;
    key(K::KEY_Z, false);  // a plain Z is no shortcut
    EXPECT_EQ(scene->fieldCards.size(), 2);
    key(K::KEY_Z);
    EXPECT_EQ(scene->fieldCards.size(), 1);
    key(K::KEY_Z);
    EXPECT_EQ(scene->fieldCards.size(), 0);
    key(K::KEY_Z, true, true);
    EXPECT_EQ(scene->fieldCards.size(), 1);
    key(K::KEY_Y);
    EXPECT_EQ(scene->fieldCards.size(), 2);
    EXPECT_NE(inSlot(0, 1), nullptr);
}

TEST_F(History, KeepsAtLeastAHundredSteps) {
    for (int i = 0; i < 120; ++i) {
        scene->layCard(i % 6, Vec2(800, 3000 + i));
        scene->fieldEdited();
    }
    int undone = 0;
    while (scene->undo()) ++undone;
    EXPECT_GE(undone, 100);
    EXPECT_EQ(scene->fieldCards.size(), 120 - undone);
    checkInvariants("after the oldest steps");
}

TEST_F(History, NoUndoWhileASendRuns) {
    int far = -1;
    const std::string port = openPort(&far);
    SceneTest::TearDown();
    start({{port, "Board"}});
    dragFromPalette(0, seatOf(0, 0));
    for (int i = 1; i < 8; ++i) dragFromPalette(2, seatOf(i % 6, i / 6));  // long enough to watch
    scene->buildAndSend();
    ASSERT_TRUE(TavrickCardSerialManager::getInstance()->isSending());
    EXPECT_FALSE(scene->undo());
    key(EventKeyboard::KeyCode::KEY_Z);
    EXPECT_EQ(scene->fieldCards.size(), 8);
    scene->stopSending();
    waitIdle();
    EXPECT_TRUE(scene->undo());
    EXPECT_EQ(scene->fieldCards.size(), 7);
}

// --- clearing ------------------------------------------------------------------------

TEST_F(History, ClearAsksOnceAndCanBeUndone) {
    dragFromPalette(0, seatOf(0, 0));
    dragFromPalette(3, Vec2(900, 4200));
    const FieldDocument before = scene->snapshot();
    // The button lives in the drawer.
    openDrawer();
    scenetest::tap(worldOf(scene->clearButton) + Vec2(70, 20));
    scenetest::stepFrames(1);
    ASSERT_NE(scene->panels.clearQuestion, nullptr);
    // Nothing under the question answers meanwhile.
    scenetest::tap(worldOf(scene->targetButton));
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->panels.targetPanel, nullptr);
    EXPECT_EQ(scene->panels.clearQuestion, nullptr);  // a tap beside the answers is a "no"
    EXPECT_EQ(scene->fieldCards.size(), 2);

    scene->askClearField();
    scenetest::tap(worldOf(scene->panels.clearNoButton) + Vec2(75, 30));
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->panels.clearQuestion, nullptr);
    EXPECT_EQ(scene->fieldCards.size(), 2);

    scene->askClearField();
    scenetest::tap(worldOf(scene->panels.clearYesButton) + Vec2(75, 30));
    scenetest::stepFrames(1);
    EXPECT_EQ(scene->panels.clearQuestion, nullptr);
    EXPECT_TRUE(scene->fieldCards.empty());
    EXPECT_EQ(inSlot(0, 0), nullptr);
    checkInvariants("cleared");
    ASSERT_TRUE(scene->undo());
    EXPECT_TRUE(scene->snapshot().sameField(before));
}

// --- program files -------------------------------------------------------------------

TEST_F(History, ProgramFilesSaveAndOpenThroughTheChooser) {
    std::vector<FileChooserMode> asked;
    std::string answer = folder + "lesson";  // the extension is added
    FieldScene::fileChooser = [&](FileChooserMode mode, const std::string&,
                                  std::function<void(const std::string&, const std::string&)> done) {
        asked.push_back(mode);
        done(answer, "");
    };
    dragFromPalette(0, seatOf(0, 0));
    dragFromPalette(4, seatOf(1, 1));
    chooseTarget(Velto);
    const FieldDocument lesson = scene->snapshot();
    key(EventKeyboard::KeyCode::KEY_S);
    ASSERT_EQ(asked, std::vector<FileChooserMode>{FileChooserMode::Save});
    FieldDocument saved;
    std::string problem;
    ASSERT_TRUE(FieldDocument::fromJson(readFile(folder + "lesson.cards"), saved, problem)) << problem;
    EXPECT_TRUE(saved.sameField(lesson));

    scene->clearField();
    chooseTarget(Dov);
    dragFromPalette(1, seatOf(5, 0));
    const FieldDocument other = scene->snapshot();
    answer = folder + "lesson.cards";
    key(EventKeyboard::KeyCode::KEY_O);
    EXPECT_TRUE(scene->snapshot().sameField(lesson));
    EXPECT_EQ(DeviceManager::getInstance()->target, Velto);
    checkInvariants("opened");
    // Opening was one step.
    ASSERT_TRUE(scene->undo());
    EXPECT_TRUE(scene->snapshot().sameField(other));

    // Cancelled: nothing happens; no chooser at all: the child is told.
    answer = "";
    key(EventKeyboard::KeyCode::KEY_O);
    EXPECT_TRUE(scene->snapshot().sameField(other));
    FieldScene::fileChooser = [](FileChooserMode, const std::string&,
                                 std::function<void(const std::string&, const std::string&)> done) {
        done("", "No file chooser found");
    };
    key(EventKeyboard::KeyCode::KEY_S);
    EXPECT_EQ(notice(), "No file chooser found");
}

// A chooser hidden or hung never answers: Ctrl+S and Ctrl+O are not locked by it for good, and
// its answer, if it comes after all, is still taken.
TEST_F(History, AChooserThatNeverAnswersDoesNotLockTheKeys) {
    std::vector<std::function<void(const std::string&, const std::string&)>> asked;
    FieldScene::fileChooser = [&](FileChooserMode, const std::string&,
                                  std::function<void(const std::string&, const std::string&)> done) {
        asked.push_back(done);
    };
    key(EventKeyboard::KeyCode::KEY_S);
    key(EventKeyboard::KeyCode::KEY_O);
    EXPECT_EQ(asked.size(), 1u) << "a second chooser over the first one";
    FieldScene::chooserPatience = std::chrono::milliseconds(0);
    key(EventKeyboard::KeyCode::KEY_S);
    ASSERT_EQ(asked.size(), 2u) << "the keys stay locked by a chooser that never answered";
    FieldScene::chooserPatience = std::chrono::seconds(5);
    dragFromPalette(0, seatOf(0, 0));
    asked[0](folder + "late.cards", "");
    FieldDocument late;
    std::string problem;
    EXPECT_EQ(FieldDocument::readFile(folder + "late.cards", late, problem), FieldDocument::ReadResult::Read)
        << problem;
}

TEST_F(History, AFileDroppedOnTheWindowOpensABadOneIsRefused) {
    const std::string path = folder + "dropped.cards";
    writeFile(path, R"({"format":"tavrick-cards","version":1,"target":"Dov","cards":[
        {"kind":"led-off","x":0,"y":0,"row":40,"side":"left"}]})");
    Director::getInstance()->getOpenGLView()->handleDropFile(path);
    ASSERT_NE(inSlot(3, 0), nullptr);
    EXPECT_EQ(inSlot(3, 0)->kind, 1);

    const std::string bad = folder + "bad.cards";
    writeFile(bad, "{\"format\":\"tavrick-cards\",\"version\":1,");
    Director::getInstance()->getOpenGLView()->handleDropFile(bad);
    EXPECT_NE(inSlot(3, 0), nullptr);  // the field stays as it was
    EXPECT_NE(notice().find("Could not open bad.cards"), std::string::npos) << notice();
    EXPECT_EQ(readFile(bad), "{\"format\":\"tavrick-cards\",\"version\":1,");  // a teacher's file is left alone
}

// What stands where the saved field should be may be no file at all, or far too big: the start
// never reads it (a pipe would hold it for ever, /dev/zero would fill the memory), keeps it
// aside as it is, says so, and the work after it is kept as usual.
TEST_F(History, ASavedFieldThatIsNoFieldFileIsKeptAsideUnread) {
    FieldDocument many;
    for (int i = 0; i < FieldDocument::kMaxCards + 1; ++i) many.cards.push_back({i % 6, 700.f, 900.f, -1, 0});
    const std::string manyText = many.toJson();
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        std::function<bool(const std::string&)> keptAsItWas;
    };
    const std::vector<Case> cases = {
        {"a named pipe", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
         [](const std::string& p) {
             struct stat st {};
             return lstat(p.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
         }},
        {"a link to /dev/zero", [](const std::string& p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); },
         [](const std::string& p) {
             char target[32] = {};
             return readlink(p.c_str(), target, sizeof target - 1) > 0 && std::string(target) == "/dev/zero";
         }},
        {"2 MB", [](const std::string& p) { writeFile(p, std::string(2 * 1024 * 1024, ' ')); },
         [](const std::string& p) {
             struct stat st {};
             return stat(p.c_str(), &st) == 0 && st.st_size == 2 * 1024 * 1024;
         }},
        {"more than 10,000 cards", [&](const std::string& p) { writeFile(p, manyText); },
         [&](const std::string& p) { return readFile(p) == manyText; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        scene->flushAutosave();
        SceneTest::TearDown();
        std::remove(fieldFile().c_str());
        c.make(fieldFile());
        const size_t before = badFiles().size();
        const auto t0 = std::chrono::steady_clock::now();
        start();
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
        EXPECT_TRUE(scene->fieldCards.empty());
        EXPECT_NE(notice().find("Your last work could not be read; it was kept beside it as field.json.bad-"),
                  std::string::npos)
            << notice();
        const auto kept = badFiles();
        ASSERT_EQ(kept.size(), before + 1);
        EXPECT_TRUE(c.keptAsItWas(folder + kept.back())) << kept.back();
        dragFromPalette(1, seatOf(2, 1));
        scene->flushAutosave();
        FieldDocument doc;
        std::string problem;
        EXPECT_EQ(FieldDocument::readFile(fieldFile(), doc, problem), FieldDocument::ReadResult::Read) << problem;
        EXPECT_EQ(doc.cards.size(), 1u);
    }
}

// A program file opened, dropped or given on the command line (all three take this road) that
// is no program file: refused at once with the reason, the field as it was, the file untouched.
TEST_F(History, AFileThatIsNoProgramFileIsRefusedWhenOpenedOrDropped) {
    dragFromPalette(0, seatOf(0, 0));
    const FieldDocument before = scene->snapshot();
    const size_t steps = scene->history.undoSteps.size();
    const std::string pipe = folder + "pipe.cards", dir = folder + "folder.cards", big = folder + "film.cards";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    {
        std::ofstream out(big, std::ios::binary);
    }
    ASSERT_EQ(truncate(big.c_str(), 50L * 1024 * 1024), 0);  // 50 MB, sparse
    const std::vector<std::pair<std::string, std::string>> refused = {
        {pipe, "This is not a program file: pipe.cards (it is a named pipe, not a file)"},
        {dir, "This is not a program file: folder.cards (it is a folder)"},
        {"/dev/zero", "This is not a program file: zero (it is a device, not a file)"},
        {big, "This is not a program file: film.cards (it is larger than 1 MB)"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.first);
        Director::getInstance()->getOpenGLView()->handleDropFile(r.first);
        EXPECT_EQ(notice(), r.second);
        EXPECT_FALSE(scene->openProgramFile(r.first));
        EXPECT_EQ(notice(), r.second);
        EXPECT_TRUE(scene->snapshot().sameField(before));
        EXPECT_EQ(scene->history.undoSteps.size(), steps);
    }
    struct stat st {};
    ASSERT_EQ(lstat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(stat(big.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 50L * 1024 * 1024);
}

// A save that fails is told on the screen, not only on stderr where nobody looks.
TEST_F(History, AFailedAutosaveIsToldOnTheScreen) {
    // A full folder where the file goes: the last step of the save, the rename, fails.
    ASSERT_EQ(mkdir(fieldFile().c_str(), 0755), 0);
    writeFile(fieldFile() + "/in-the-way", "x");
    dragFromPalette(1, seatOf(2, 1));
    scene->flushAutosave();
    scenetest::stepFrames(40, 0.05f);
    EXPECT_NE(notice().find("could not be saved"), std::string::npos) << notice();
}

}  // namespace
