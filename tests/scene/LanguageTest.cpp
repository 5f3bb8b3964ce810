// The screen in each of its languages: every word inside its box and on the screen, none cut
// short; the language chosen in the drawer applied at once and kept for the next start.
#include <fstream>
#include <sstream>

#include "Language.h"
#include "SceneFixture.h"
#include "SimPanel.h"
#include "tr.h"

using namespace cocos2d;

namespace {

Rect worldBox(Node* n) {
    const Vec2 lo = n->convertToWorldSpace(Vec2::ZERO);
    const Vec2 hi = n->convertToWorldSpace(Vec2(n->getContentSize().width, n->getContentSize().height));
    return Rect(std::min(lo.x, hi.x), std::min(lo.y, hi.y), std::abs(hi.x - lo.x), std::abs(hi.y - lo.y));
}

bool inside(const Rect& inner, const Rect& outer) {
    const float slack = 0.5f;
    return inner.getMinX() >= outer.getMinX() - slack && inner.getMaxX() <= outer.getMaxX() + slack &&
           inner.getMinY() >= outer.getMinY() - slack && inner.getMaxY() <= outer.getMaxY() + slack;
}

bool shown(Node* n) {
    for (; n; n = n->getParent())
        if (!n->isVisible()) return false;
    return true;
}

// Every label with words: within the screen, and within the coloured box it is written on.
// `away` (the shut drawer, below the screen's edge) is left out.
void expectLabelsInTheirBoxes(Node* root, const std::string& where, Node* away = nullptr) {
    const Rect screen(0, 0, 1024, 768);
    std::function<void(Node*)> walk = [&](Node* n) {
        auto* label = dynamic_cast<Label*>(n);
        if (label && !label->getString().empty() && shown(label)) {
            const Rect box = worldBox(label);
            EXPECT_TRUE(inside(box, screen)) << where << ": \"" << label->getString() << "\" leaves the screen";
            auto* plate = dynamic_cast<LayerColor*>(label->getParent());
            if (plate && plate->getContentSize().width < 1000) {  // a box, not a shade over the screen
                EXPECT_TRUE(inside(box, worldBox(plate))) << where << ": \"" << label->getString() << "\" leaves its box";
            }
        }
        for (Node* child : n->getChildren())
            if (child != away) walk(child);
    };
    walk(root);
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

using Languages = SceneTest;

TEST_F(Languages, EveryTextFitsItsBoxInEveryLanguage) {
    useOwnFolder();
    start();
    for (const i18n::Language& lang : i18n::languages()) {
        SCOPED_TRACE(lang.code);
        scene->chooseLanguage(lang.code);
        ASSERT_EQ(i18n::language(), lang.code);
        // The board box and the drawer's words whole, never cut to "...".
        EXPECT_EQ(scene->boardLabel->getString(), i18n::tr("No board"));
        openDrawer();
        expectLabelsInTheirBoxes(scene, std::string(lang.code) + " drawer");
        // The drawer's port text starts after its title, and the language button does not
        // cover the port text's plate.
        EXPECT_LE(worldBox(scene->portLabelBackground).getMaxX(), worldBox(scene->languageButton).getMinX());
        scenetest::tap(worldOf(scene->settingsButton));
        scenetest::stepSeconds(0.5f);

        // The longest notices: on the screen, over the field, in type a child reads.
        for (const char* notice : {"No board found: plug in the board's USB cable",
                                   "Could not open {file} while a card is moved or a program sent",
                                   "Tavrick Cards is open already but does not answer: this window does not keep "
                                   "your work by itself (save it with Ctrl+S)"}) {
            scene->showNotice(i18n::format(i18n::tr(notice), {{"file", "lesson-3.cards"}}));
            expectLabelsInTheirBoxes(scene, std::string(lang.code) + " notice", scene->settingsLayer);
            const Rect box = worldBox(scene->sendNotice);
            EXPECT_GE(scene->sendNotice->getScale(), 0.99f) << scene->sendNotice->getString();
            EXPECT_GE(box.getMinX(), 255.f) << scene->sendNotice->getString();
            EXPECT_LE(box.getMaxX(), 860.f) << scene->sendNotice->getString();
        }
        scene->showSendingOverlay();
        scenetest::stepSeconds(0.2f);
        expectLabelsInTheirBoxes(scene, std::string(lang.code) + " sending", scene->settingsLayer);
        scene->hideSendingOverlay(true);
        scene->askClearField();
        scenetest::stepFrames(2);
        expectLabelsInTheirBoxes(scene, std::string(lang.code) + " clear question", scene->settingsLayer);
        scene->closeTopPanel();
        scenetest::stepFrames(2);
        scene->openSim();
        scenetest::stepSeconds(0.2f);
        ASSERT_NE(scene->sim.panel, nullptr);
        expectLabelsInTheirBoxes(scene, std::string(lang.code) + " board panel", scene->settingsLayer);
        scene->closeSim();
        scenetest::stepFrames(2);
        scene->openLanguageList();
        scenetest::stepFrames(1);
        expectLabelsInTheirBoxes(scene, std::string(lang.code) + " language list", scene->settingsLayer);
        scene->closeLanguageList();
        // The question before a file is replaced, and the notices that count loose cards.
        std::ofstream(folder + "lesson.cards") << "{}";
        scene->saveProgramFile(folder + "lesson");
        ASSERT_NE(scene->panels.replaceQuestion, nullptr);
        scenetest::stepFrames(1);
        expectLabelsInTheirBoxes(scene, std::string(lang.code) + " replace question", scene->settingsLayer);
        scene->closeTopPanel();
        for (bool forTry : {false, true}) {
            scene->showNotice(FieldScene::looseCardsText(12, forTry));
            expectLabelsInTheirBoxes(scene, std::string(lang.code) + " loose cards", scene->settingsLayer);
        }
    }
    scene->chooseLanguage("en");
}

TEST_F(Languages, ChosenInTheDrawerAppliedAtOnceAndKeptForTheNextStart) {
    useOwnFolder();
    start();
    ASSERT_EQ(i18n::language(), "en");
    openDrawer();
    scenetest::tap(worldOf(scene->languageButton) + Vec2(20, 20));
    scenetest::stepFrames(2);
    ASSERT_NE(scene->panels.languageList, nullptr);
    // Each language named in itself; tap Japanese's line.
    Label* japanese = nullptr;
    std::vector<std::string> names;
    std::function<void(Node*)> find = [&](Node* n) {
        if (auto* l = dynamic_cast<Label*>(n)) {
            names.push_back(l->getString());
            if (l->getString() == "日本語") japanese = l;
        }
        for (Node* c : n->getChildren()) find(c);
    };
    find(scene->panels.languageList);
    EXPECT_NE(std::find(names.begin(), names.end(), "Español"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "한국어"), names.end());
    ASSERT_NE(japanese, nullptr);
    // In a face with kana even while the screen is in English.
    EXPECT_EQ(Label::missingGlyphs("Futura-Medium", "日本語", "ja"), "");
    scenetest::tap(worldOf(japanese) + Vec2(10, 0));
    scenetest::stepFrames(3);
    EXPECT_EQ(scene->panels.languageList, nullptr);
    EXPECT_EQ(i18n::language(), "ja");
    EXPECT_EQ(scene->boardLabel->getString(), "ボードが ありません");
    EXPECT_NE(fileText(folder + "settings.json").find("\"language\": \"ja\""), std::string::npos);

    // The next start, whatever the system says.
    takeDown();
    build({});
    EXPECT_EQ(i18n::language(), "ja");
    EXPECT_EQ(scene->boardLabel->getString(), "ボードが ありません");
    // A tap outside the list closes it and changes nothing.
    openDrawer();
    scene->openLanguageList();
    scenetest::stepFrames(1);
    scenetest::tap(Vec2(30, 740));
    scenetest::stepFrames(3);
    EXPECT_EQ(scene->panels.languageList, nullptr);
    EXPECT_EQ(i18n::language(), "ja");
    scene->chooseLanguage("en");
    EXPECT_EQ(scene->boardLabel->getString(), "No board");
}
