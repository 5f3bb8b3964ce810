// Every text of every shipped catalogue, and each language's own name, has a glyph for each of
// its characters in the face the labels choose for that language: no boxes in place of
// letters. Asks the font itself (its character map), not a picture of the text.
#include <gtest/gtest.h>

#include "Catalogue.h"
#include "Language.h"
#include "cocos2d.h"
#include "files.h"
#include "tr.h"

using cocos2d::Label;

namespace {
const char* kFont = "Futura-Medium";

i18n::Catalogue shipped(const std::string& code) {
    i18n::Catalogue c;
    std::string bytes, problem;
    tavrick::FileRefusal refusal;
    const std::string path = std::string(TAVRICK_BINARY_DIR) + "/locale/" + code + "/LC_MESSAGES/tavrick-cards.mo";
    EXPECT_TRUE(tavrick::readSmallFile(path, tavrick::kMaxProgramFileBytes, bytes, refusal, problem)) << problem;
    EXPECT_TRUE(c.load(bytes, problem)) << path << ": " << problem;
    return c;
}
}  // namespace

TEST(Glyphs, EveryCatalogueTextIsDrawnWithRealGlyphs) {
    for (const i18n::Language& lang : i18n::languages()) {
        const i18n::Catalogue c = shipped(lang.code);
        EXPECT_GT(c.size(), 30u) << lang.code;
        std::string all = lang.name;
        c.forEach([&](const std::string&, const std::vector<std::string>& forms) {
            for (const std::string& f : forms) all += f;
        });
        Label::setLanguageCharacters(lang.code, all);
        SCOPED_TRACE(std::string(lang.code) + " in " + Label::getTextLanguage());
        c.forEach([&](const std::string& key, const std::vector<std::string>& forms) {
            for (const std::string& f : forms)
                EXPECT_EQ(Label::missingGlyphs(kFont, f, lang.code), "") << lang.code << ": " << key << " -> " << f;
        });
        EXPECT_EQ(Label::missingGlyphs(kFont, lang.name, lang.code), "") << lang.code;
    }
}

TEST(Glyphs, TheDesignFaceStaysWhereItHasTheLetters) {
    // Latin texts keep the design's face; only the scripts it lacks take another.
    Label::setLanguageCharacters("de", "Alle Karten wegnehmen? äöüß");
    Label::setLanguageCharacters("ja", "カードを ぜんぶ けしますか？");
    Label::setTextLanguage("de");
    const std::string latin = Label::resolveFontFile(kFont);
    Label::setTextLanguage("ja");
    const std::string japanese = Label::resolveFontFile(kFont);
    Label::setTextLanguage("");
    EXPECT_EQ(Label::resolveFontFile(kFont), latin);
    EXPECT_NE(latin, japanese);
    EXPECT_EQ(Label::missingGlyphs(kFont, "ぜんぶ", "ja"), "");
    // The Latin face has no kana: what it lacks is named, character by character.
    EXPECT_EQ(Label::missingGlyphs(kFont, "aぜb", "de"), "ぜ");
}
