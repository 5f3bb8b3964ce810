// Program files: opened and saved through the desktop's chooser (Ctrl+O, Ctrl+S, the drawer's
// buttons), opened from a path (the command line, a file dropped on the window).
//
// Saving never replaces a file silently. The chooser asks about the name it hands back; when
// ".cards" has to be added to that name and a file of the longer name is there, the program
// asks itself. With no chooser at all, the work is still saved: into the documents folder,
// under a name nothing has yet, and the notice says where.
#include "FieldScene.h"
#include "PanelKit.h"
#include "Theme.h"
#include "files.h"
#include "tr.h"

using namespace cocos2d;
using namespace theme;
using i18n::tr;
using tavrick::FieldDocument;

namespace {
const char* const kSuggestedName = "program";

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "Documents" for ".../Documents/".
std::string folderNameOf(const std::string& folder) {
    std::string f = folder;
    while (!f.empty() && (f.back() == '/' || f.back() == '\\')) f.pop_back();
    return fileNameOf(f);
}
}  // namespace

FileChooser FieldScene::defaultFileChooser() {
    auto parent = [] {
        services::ParentWindow window;
        if (GLView* view = Director::getInstance()->getOpenGLView()) {
            window.system = view->getWindowSystem();
            window.id = view->getNativeWindowId();
        }
        return window;
    };
    auto toMainThread = [](std::function<void()> f) {
        Director::getInstance()->getScheduler()->performFunctionInCocosThread(std::move(f));
    };
    return services::desktopFileChooser(parent, toMainThread);
}

FileChooser FieldScene::fileChooser = FieldScene::defaultFileChooser();
std::chrono::milliseconds FieldScene::chooserPatience = std::chrono::seconds(5);
std::function<std::string()> FieldScene::documentsFolder = [] { return tavrick::documentsFolder(); };

void FieldScene::buildFileButtons() {
    // The drawer's lower row, from its left end.
    const float h = 40, w = 150, y = kDrawerLowerRow - h / 2;
    openButton = panelkit::wordButton(tr("Open"), kWhite, kDarkText, w, h, 18, "res/r_open.png");
    openButton->setPosition(265, y);
    settingsLayer->addChild(openButton);
    buttonListener(openButton, &FieldScene::openProgram);
    saveButton = panelkit::wordButton(tr("Save"), kWhite, kDarkText, w, h, 18, "res/r_save.png");
    saveButton->setPosition(265 + w + 8, y);
    settingsLayer->addChild(saveButton);
    buttonListener(saveButton, &FieldScene::saveProgram);
}

bool FieldScene::saveProgramFile(const std::string& chosen, bool askedAlready) {
    const std::string path = FieldDocument::withProgramExtension(chosen);
    // A name the chooser asked about is the user's answer; a longer one it never saw is not.
    if ((path != chosen || !askedAlready) && tavrick::pathExists(path)) {
        askReplace(path);
        return false;
    }
    std::string error;
    if (!tavrick::writeFileAtomically(path, snapshot().toJson(), error)) {
        showNotice(i18n::format(tr("Could not save {file}: {why}"), {{"file", fileNameOf(path)}, {"why", error}}));
        return false;
    }
    showNotice(i18n::format(tr("Saved as {file}"), {{"file", fileNameOf(path)}}));
    return true;
}

void FieldScene::saveWithoutChooser() {
    const std::string folder = documentsFolder ? documentsFolder() : "";
    const std::string path = folder.empty() ? "" : tavrick::unusedFileName(folder, kSuggestedName,
                                                                            FieldDocument::kProgramExtension);
    if (path.empty()) {
        showNotice(tr("Could not save: there is no folder to save in"), 10);
        return;
    }
    std::string error;
    if (!tavrick::writeFileAtomically(path, snapshot().toJson(), error)) {
        showNotice(i18n::format(tr("Could not save {file}: {why}"), {{"file", fileNameOf(path)}, {"why", error}}), 10);
        return;
    }
    showNotice(i18n::format(tr("Saved in {folder} as {file}"), {{"folder", folderNameOf(folder)}, {"file", fileNameOf(path)}}),
               10);
}

bool FieldScene::openProgramFile(const std::string& path) {
    std::string problem;
    FieldDocument doc;
    const FieldDocument::ReadResult read = FieldDocument::readFile(path, doc, problem);
    if (read == FieldDocument::ReadResult::NotAProgramFile) {
        showNotice(i18n::format(tr("This is not a program file: {file} ({why})"),
                                {{"file", fileNameOf(path)}, {"why", problem}}));
        return false;
    }
    if (read != FieldDocument::ReadResult::Read) {
        showNotice(i18n::format(tr("Could not open {file}: {why}"), {{"file", fileNameOf(path)}, {"why", problem}}));
        return false;
    }
    if (!canEdit()) {
        showNotice(i18n::format(tr("Could not open {file} while a card is moved or a program sent"), {{"file", fileNameOf(path)}}));
        return false;
    }
    fieldEdited();
    restore(doc, false);
    fieldEdited();
    return true;
}

void FieldScene::saveProgram() {
    askChooser(
        FileChooserMode::Save, std::string(kSuggestedName) + FieldDocument::kProgramExtension,
        [this](const std::string& path) { saveProgramFile(path, true); }, [this] { saveWithoutChooser(); });
}

void FieldScene::openProgram() {
    askChooser(
        FileChooserMode::Open, "", [this](const std::string& path) { openProgramFile(path); },
        [this] { showNotice(tr("To open a program file, install zenity or kdialog"), 10); });
}

// One chooser at a time, but a chooser that never answers (hidden, or its program hung) does
// not keep Ctrl+S and Ctrl+O from working: after a few seconds a new one may be asked for.
// An answer that still comes from the old one is taken as given.
void FieldScene::askChooser(FileChooserMode mode, const std::string& suggested,
                            std::function<void(const std::string&)> chosen, std::function<void()> none) {
    using Clock = std::chrono::steady_clock;
    if (!fileChooser) {
        none();
        return;
    }
    if (history.choosersOpen > 0 && Clock::now() - history.chooserAskedAt < chooserPatience) return;
    ++history.choosersOpen;
    history.chooserAskedAt = Clock::now();
    std::shared_ptr<bool> living = alive;
    fileChooser(mode, suggested, [this, living, chosen, none](const std::string& path, const std::string& problem) {
        if (!*living) return;
        if (history.choosersOpen > 0) --history.choosersOpen;
        if (!path.empty())
            chosen(path);
        else if (problem == services::kNoChooser)
            none();
        else if (!problem.empty())
            showNotice(problem);
    });
}

// --- the question before a file is replaced ------------------------------------------

void FieldScene::askReplace(const std::string& path) {
    if (panels.replaceQuestion) return;
    auto* shade = LayerColor::create(Color4B(0, 0, 0, 110), kDesignWidth, kDesignHeight);
    LayerColor* box = LayerColor::create(kWhite, 520, 220);
    box->setPosition((kDesignWidth - 520) / 2, (kDesignHeight - 220) / 2);
    shade->addChild(box);
    Label* name = panelkit::textLabel("", 26, kDarkText);
    fitLabelText(name, fileNameOf(path), 480);
    name->setPosition(260, 170);
    box->addChild(name);
    Label* question = panelkit::textLabel(tr("is already there. Replace it?"), 24, kDarkText);
    question->setPosition(260, 128);
    box->addChild(question);
    panels.replaceYesButton = panelkit::wordButton(tr("Replace"), Color4B(200, 40, 40, 255), kWhite, 200, 60, 24);
    panels.replaceYesButton->setPosition(50, 30);
    box->addChild(panels.replaceYesButton);
    panels.replaceNoButton = panelkit::wordButton(tr("Keep it"), kGreen, kWhite, 200, 60, 24);
    panels.replaceNoButton->setPosition(270, 30);
    box->addChild(panels.replaceNoButton);
    addChild(shade);
    panels.replaceQuestion = shade;

    // As the clear question: anything but "Replace" is "Keep it".
    panelkit::askYesNo(this, panels.replaceQuestion, panels.replaceYesButton, panels.replaceNoButton,
                       [this, path](bool yes) {
                           closeReplaceQuestion();
                           if (yes) saveProgramFile(path, true);
                       });
}

void FieldScene::closeReplaceQuestion() {
    if (!panels.replaceQuestion) return;
    getEventDispatcher()->removeEventListenersForTarget(panels.replaceQuestion, true);
    panels.replaceQuestion->removeFromParent();
    panels.replaceQuestion = panels.replaceYesButton = panels.replaceNoButton = nullptr;
}
