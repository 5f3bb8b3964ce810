// Which language the environment asks for, as gettext reads it, and how locale names map to
// the catalogues we have.
#include <gtest/gtest.h>

#include <map>

#include "Language.h"

namespace {

std::string pick(const std::map<std::string, std::string>& env) {
    return i18n::pickLanguage(i18n::languagesFromEnvironment([&](const char* name) -> const char* {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    }));
}

}  // namespace

TEST(Language, FromTheEnvironment) {
    EXPECT_EQ(pick({{"LANG", "ja_JP.UTF-8"}}), "ja");
    EXPECT_EQ(pick({{"LANG", "pt_BR.UTF-8"}}), "pt_BR");
    EXPECT_EQ(pick({{"LANG", "de_AT.UTF-8@euro"}}), "de");
    EXPECT_EQ(pick({{"LANG", "zh_CN.GB18030"}}), "zh_CN");
    EXPECT_EQ(pick({{"LANG", "ko_KR.UTF-8"}}), "ko");
    // LC_ALL before LC_MESSAGES before LANG; an empty one does not count.
    EXPECT_EQ(pick({{"LANG", "fr_FR.UTF-8"}, {"LC_MESSAGES", "it_IT.UTF-8"}}), "it");
    EXPECT_EQ(pick({{"LANG", "fr_FR.UTF-8"}, {"LC_MESSAGES", "it_IT.UTF-8"}, {"LC_ALL", "nl_NL.UTF-8"}}), "nl");
    EXPECT_EQ(pick({{"LANG", "fr_FR.UTF-8"}, {"LC_ALL", ""}}), "fr");
    // LANGUAGE's list first, its first language we have wins; but not over a C locale.
    EXPECT_EQ(pick({{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "sv:tr:de"}}), "tr");
    EXPECT_EQ(pick({{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "sv::"}}), "ja");
    EXPECT_EQ(pick({{"LANG", "C.UTF-8"}, {"LANGUAGE", "fr"}}), "en");
    EXPECT_EQ(pick({{"LANGUAGE", "es"}}), "es");
    // Nothing we have, or nothing set: English.
    EXPECT_EQ(pick({{"LANG", "sv_SE.UTF-8"}}), "en");
    EXPECT_EQ(pick({}), "en");
    EXPECT_EQ(pick({{"LANG", "POSIX"}}), "en");
}

TEST(Language, LocaleNamesAndScripts) {
    // Windows and browsers write "pt-BR"; case varies.
    EXPECT_EQ(i18n::supportedCode("pt-BR"), "pt_BR");
    EXPECT_EQ(i18n::supportedCode("PL-pl"), "pl");
    EXPECT_EQ(i18n::supportedCode("zh-Hans-CN"), "zh_CN");
    EXPECT_EQ(i18n::supportedCode("zh"), "zh_CN");
    // Traditional Chinese and European Portuguese readers are not given the other variant.
    EXPECT_EQ(i18n::supportedCode("zh_TW.UTF-8"), "");
    EXPECT_EQ(i18n::supportedCode("zh-Hant-HK"), "");
    EXPECT_EQ(i18n::supportedCode("pt_PT"), "");
    EXPECT_EQ(i18n::pickLanguage({"zh_TW", "pt_PT", "ko"}), "ko");
    EXPECT_EQ(i18n::supportedCode(""), "");
    EXPECT_EQ(i18n::supportedCode("@.-_"), "");
}

TEST(Language, EachNamedInItself) {
    EXPECT_GE(i18n::languages().size(), 12u);
    EXPECT_EQ(i18n::languages().front().code, std::string("en"));
    EXPECT_EQ(i18n::nativeName("ja"), "日本語");
    EXPECT_EQ(i18n::nativeName("es"), "Español");
    EXPECT_EQ(i18n::nativeName("xx"), "");
    for (const i18n::Language& l : i18n::languages()) EXPECT_EQ(i18n::supportedCode(l.code), l.code);
}
