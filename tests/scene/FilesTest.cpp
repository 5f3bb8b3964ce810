// Program files from the screen: the drawer's open and save buttons, saving with no file
// chooser at all, and saving that never replaces a file without asking.
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "EditingFixture.h"
#include "FileChooser.h"
#include "files.h"

using namespace cocos2d;
using tavrick::FieldDocument;
using K = EventKeyboard::KeyCode;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Files : public Editing {
protected:
    void SetUp() override {
        useOwnFolder();
        savedChooser = FieldScene::fileChooser;
        savedDocuments = FieldScene::documentsFolder;
        documents = folder + "Documents/";
        mkdir(documents.c_str(), 0755);
        FieldScene::documentsFolder = [this] { return documents; };
        start();
    }
    void TearDown() override {
        FieldScene::fileChooser = savedChooser;
        FieldScene::documentsFolder = savedDocuments;
        Editing::TearDown();
    }
    // A chooser that answers `answer` (with `problem`), and counts the questions.
    void answerWith(const std::string* answer, const std::string* problem = nullptr) {
        FieldScene::fileChooser = [this, answer, problem](FileChooserMode mode, const std::string&, FileChooserDone done) {
            asked.push_back(mode);
            done(*answer, problem ? *problem : std::string());
        };
    }
    bool sameFieldAs(const std::string& path) {
        FieldDocument doc;
        std::string problem;
        return FieldDocument::fromJson(readFile(path), doc, problem) && doc.sameField(scene->snapshot());
    }
    void tapAnswer(LayerColor* button) {
        ASSERT_NE(button, nullptr);
        scenetest::tap(middleOf(button));
        scenetest::stepFrames(1);
    }

    FileChooser savedChooser;
    std::function<std::string()> savedDocuments;
    std::string documents;
    std::vector<FileChooserMode> asked;
};

TEST_F(Files, TheDrawersButtonsOpenAndSave) {
    std::string answer = folder + "drawer";
    answerWith(&answer);
    dragFromPalette(LedOn, seatOf(0, 0));
    openDrawer();
    scenetest::tap(middleOf(scene->saveButton));
    scenetest::stepFrames(1);
    ASSERT_EQ(asked, std::vector<FileChooserMode>{FileChooserMode::Save});
    EXPECT_TRUE(sameFieldAs(folder + "drawer.cards"));
    EXPECT_EQ(notice(), "Saved as drawer.cards");
    scene->clearField();
    answer = folder + "drawer.cards";
    scenetest::tap(middleOf(scene->openButton));
    scenetest::stepFrames(1);
    EXPECT_EQ(asked.back(), FileChooserMode::Open);
    EXPECT_EQ(scene->fieldCards.size(), 1);
}

// With no chooser on the desktop, the work still goes into the documents folder, under a name
// that is not taken; opening says what to install.
TEST_F(Files, WithNoChooserSavingGoesIntoDocumentsUnderANewNameAndOpeningSaysWhatToInstall) {
    std::string none;
    std::string problem = services::kNoChooser;
    answerWith(&none, &problem);
    dragFromPalette(Wait3, seatOf(2, 1));
    key(K::KEY_S);
    EXPECT_TRUE(sameFieldAs(documents + "program.cards"));
    EXPECT_EQ(notice(), "Saved in Documents as program.cards");
    dragFromPalette(LedOff, seatOf(3, 0));
    key(K::KEY_S);  // the first is kept, the second goes beside it
    EXPECT_TRUE(sameFieldAs(documents + "program-2.cards"));
    EXPECT_FALSE(sameFieldAs(documents + "program.cards"));
    EXPECT_EQ(notice(), "Saved in Documents as program-2.cards");
    // No chooser installed in the program at all: the same.
    FieldScene::fileChooser = nullptr;
    key(K::KEY_S);
    EXPECT_TRUE(sameFieldAs(documents + "program-3.cards"));

    answerWith(&none, &problem);
    const size_t cards = scene->fieldCards.size();
    key(K::KEY_O);
    EXPECT_EQ(notice(), "To open a program file, install zenity or kdialog");
    EXPECT_EQ(scene->fieldCards.size(), cards);
    // No documents folder either: said, nothing written.
    FieldScene::documentsFolder = [] { return std::string(); };
    key(K::KEY_S);
    EXPECT_EQ(notice(), "Could not save: there is no folder to save in");
}

// The chooser asked about the name it gave; ".cards" added to that name makes another, which
// the program asks about itself when it is there. "lesson.CARDS" is a program file as it is.
TEST_F(Files, SavingNeverReplacesAFileWithoutAsking) {
    std::string answer = folder + "lesson";
    answerWith(&answer);
    dragFromPalette(LedOn, seatOf(0, 0));
    key(K::KEY_S);
    ASSERT_TRUE(sameFieldAs(folder + "lesson.cards"));
    EXPECT_EQ(scene->panels.replaceQuestion, nullptr);  // nothing was there

    // Again as "lesson": lesson.cards is there, and the chooser never saw that name.
    dragFromPalette(Wait1, seatOf(0, 1));
    const std::string before = readFile(folder + "lesson.cards");
    key(K::KEY_S);
    ASSERT_NE(scene->panels.replaceQuestion, nullptr);
    EXPECT_EQ(readFile(folder + "lesson.cards"), before);
    tapAnswer(scene->panels.replaceNoButton);  // keep it
    EXPECT_EQ(scene->panels.replaceQuestion, nullptr);
    EXPECT_EQ(readFile(folder + "lesson.cards"), before);
    key(K::KEY_S);
    ASSERT_NE(scene->panels.replaceQuestion, nullptr);
    key(K::KEY_ESCAPE, false);  // Escape is "keep it" too
    EXPECT_EQ(scene->panels.replaceQuestion, nullptr);
    EXPECT_EQ(readFile(folder + "lesson.cards"), before);
    key(K::KEY_S);
    tapAnswer(scene->panels.replaceYesButton);
    EXPECT_TRUE(sameFieldAs(folder + "lesson.cards"));

    // The whole name, as the chooser asked about it: saved at once, in any case of letters.
    answer = folder + "lesson.cards";
    dragFromPalette(Wait5, seatOf(1, 0));
    key(K::KEY_S);
    EXPECT_EQ(scene->panels.replaceQuestion, nullptr);
    EXPECT_TRUE(sameFieldAs(folder + "lesson.cards"));
    answer = folder + "Lesson.CARDS";
    key(K::KEY_S);
    EXPECT_TRUE(sameFieldAs(folder + "Lesson.CARDS"));
    EXPECT_FALSE(tavrick::pathExists(folder + "Lesson.CARDS.cards"));
    EXPECT_EQ(FieldDocument::withProgramExtension("a.Cards"), "a.Cards");
    EXPECT_EQ(FieldDocument::withProgramExtension("a.card"), "a.card.cards");
    EXPECT_EQ(FieldDocument::withProgramExtension("cards"), "cards.cards");
}

}  // namespace
