// The screen's language: taken from the settings or the system at start, chosen in the
// drawer from a list where each language is named in itself.
#include "FieldScene.h"
#include "Language.h"
#include "PanelKit.h"
#include "Catalogue.h"
#include "files.h"
#include "Settings.h"
#include "Theme.h"
#include "tr.h"

#include <cstdio>

using namespace cocos2d;
using namespace theme;
using i18n::tr;

namespace {
const float kLanguageButtonWidth = 130;
const float kLanguageRowHeight = 40;

// Every character the screen may show in `code`: its catalogue's texts, and the printable
// ASCII of port names, file names and numbers.
std::string charactersOf(const std::string& code) {
    std::string chars;
    for (char c = ' '; c < 0x7F; ++c) chars += c;
    chars += i18n::nativeName(code);
    std::string bytes, problem;
    tavrick::FileRefusal refusal;
    const std::string path = i18n::cataloguePath(code);
    i18n::Catalogue catalogue;
    if (!path.empty() && tavrick::readSmallFile(path, tavrick::kMaxProgramFileBytes, bytes, refusal, problem) && catalogue.load(bytes, problem))
        catalogue.forEach([&](const std::string&, const std::vector<std::string>& forms) {
            for (const std::string& f : forms) chars += f;
        });
    return chars;
}
}  // namespace

void FieldScene::useLanguage(const std::string& code) {
    if (i18n::catalogueFolders().empty()) {
        // Beside the program (the build tree, the Windows folder), then the install prefix.
        const std::string exe = FileUtils::executableDirectory();
        i18n::setCatalogueFolders({exe + "/locale", exe + "/../share/locale"});
    }
    std::string problem;
    if (!i18n::setLanguage(code, &problem) && !problem.empty())
        std::fprintf(stderr, "tavrick-cards: %s\n", problem.c_str());
    // The chooser names each language in itself, in a face that has its letters.
    for (const i18n::Language& l : i18n::languages())
        Label::setLanguageCharacters(l.code, l.code == i18n::language() ? charactersOf(l.code) : l.name);
    Label::setTextLanguage(i18n::language());
}

void FieldScene::applyStartLanguage() {
    const tavrick::Settings settings = tavrick::Settings::load(FileUtils::getInstance()->getWritablePath());
    const std::string chosen = i18n::nativeName(settings.language).empty() ? "" : settings.language;
    useLanguage(chosen.empty() ? i18n::pickLanguage(i18n::systemLanguages()) : chosen);
}

void FieldScene::buildLanguageButton() {
    languageButton = LayerColor::create(kWhite, kLanguageButtonWidth, 40);
    // The upper row's right end, after the port.
    languageButton->setPosition(1010 - kLanguageButtonWidth, kDrawerUpperRow - 20);
    Label* name = Label::createWithSystemFont("", kFont, 18);
    name->setTextColor(kDarkText);
    name->setPosition(kLanguageButtonWidth / 2, 20);
    name->setName("name");
    languageButton->addChild(name);
    settingsLayer->addChild(languageButton);
    buttonListener(languageButton, &FieldScene::openLanguageList);
    retranslate();
}

void FieldScene::retranslate() {
    if (languageButton) {
        auto* name = static_cast<Label*>(languageButton->getChildByName("name"));
        fitLabelText(name, i18n::nativeName(i18n::language()), kLanguageButtonWidth - 12);
    }
    if (portTitle && portLabel) {
        const float left = portTitle->getPositionX() - portTitle->getContentSize().width / 2;
        portTitle->setString(tr("Port : "));
        portTitle->setPositionX(left + portTitle->getContentSize().width / 2);
        const float titleRight = left + portTitle->getContentSize().width;
        portLabel->setPositionX(titleRight + 20);
        portLabelBackground->setPositionX(titleRight + 10);
    }
    if (creditsLabel) creditsLabel->setString(tr("Pictures drawn for Tavrick Cards by its makers"));
    if (versionLabel) versionLabel->setString(i18n::format(tr("Ver {version}"), {{"version", "0.1.0"}}));
    if (clearButton)
        if (auto* word = dynamic_cast<Label*>(clearButton->getChildren().at(0))) word->setString(tr("Clear field"));
    panelkit::setButtonWord(openButton, tr("Open"));
    panelkit::setButtonWord(saveButton, tr("Save"));
    refreshVoiceSwitches();
    if (portLabel) updatePortLabel();
}

void FieldScene::chooseLanguage(const std::string& code) {
    if (i18n::nativeName(code).empty()) return;
    useLanguage(code);
    retranslate();
    saveSettings([code](tavrick::Settings& s) { s.language = code; });
}

void FieldScene::openLanguageList() {
    if (panels.languageList || !languageButton) return;
    const auto& list = i18n::languages();
    panels.languageList = LayerColor::create(kPanelShade, kDesignWidth, kDesignHeight);
    const float width = 260, height = list.size() * kLanguageRowHeight + 8;
    auto* box = LayerColor::create(kWhite, width, height);
    const Vec2 at = languageButton->getParent()->convertToWorldSpace(languageButton->getPosition());
    box->setPosition(std::min(at.x, kDesignWidth - width - 4), std::max(4.f, std::min(at.y + 44, kDesignHeight - height - 4)));
    panels.languageList->addChild(box);
    for (size_t i = 0; i < list.size(); ++i) {
        Label* l = Label::createWithSystemFont("", kFont, 20);
        l->setLanguage(list[i].code);
        l->setString(list[i].name);
        l->setTextColor(list[i].code == i18n::language() ? kGreyText : kDarkText);
        l->setAnchorPoint(Vec2(0, 0.5f));
        l->setPosition(16, height - 4 - (i + 0.5f) * kLanguageRowHeight);
        l->setTag(static_cast<int>(i));
        box->addChild(l);
    }
    addChild(panels.languageList, 3000);
    panelkit::modal(panels.languageList, [this, box](Touch* t) {
        const Vec2 p = box->convertToNodeSpace(t->getLocation());
        const auto& langs = i18n::languages();
        std::string code;
        if (p.x >= 0 && p.x <= box->getContentSize().width && p.y >= 4 && p.y < box->getContentSize().height - 4) {
            const size_t row = static_cast<size_t>((box->getContentSize().height - 4 - p.y) / kLanguageRowHeight);
            if (row < langs.size()) code = langs[row].code;
        }
        panelkit::closeLater(this, [this, code] {
            closeLanguageList();
            if (!code.empty() && code != i18n::language()) chooseLanguage(code);
        });
    });
}

void FieldScene::closeLanguageList() {
    if (!panels.languageList) return;
    panels.languageList->removeFromParent();
    panels.languageList = nullptr;
}
