// The catalogue reader and the plural rules: what msgfmt writes is read back in both byte
// orders, damaged files are refused with a reason, and hostile plural headers cannot crash
// or hang the reader.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Catalogue.h"
#include "tr.h"

using i18n::Catalogue;
using i18n::PluralRule;

namespace {

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

unsigned long formOf(const char* forms, unsigned long n) {
    PluralRule rule;
    std::string error;
    EXPECT_TRUE(rule.parse(forms, error)) << error;
    return rule.index(n);
}

const char* kPolish = "nplurals=3; plural=(n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);";

}  // namespace

TEST(PluralRule, TheRulesOfOurLanguagesPickTheirForms) {
    // Polish: 1 karta, 2-4 karty (but not 12-14), 5+ kart, 22 karty, 112 kart.
    const std::pair<unsigned long, unsigned long> polish[] = {{1, 0}, {2, 1}, {4, 1}, {5, 2}, {12, 2}, {14, 2},
                                                             {21, 2}, {22, 1}, {0, 2}, {112, 2}, {1001, 2}};
    for (auto [n, form] : polish) EXPECT_EQ(formOf(kPolish, n), form) << n;
    // French and Brazilian Portuguese: 0 and 1 are singular; English: only 1.
    EXPECT_EQ(formOf("nplurals=2; plural=(n > 1);", 0), 0u);
    EXPECT_EQ(formOf("nplurals=2; plural=(n > 1);", 2), 1u);
    EXPECT_EQ(formOf("nplurals=2; plural=(n != 1);", 0), 1u);
    EXPECT_EQ(formOf("nplurals=1; plural=0;", 7), 0u);
    // Precedence and the operators a header may use.
    EXPECT_EQ(formOf("n + 2 * 3", 1), 7u);
    EXPECT_EQ(formOf("!(n <= 3) && n >= 5 || n == 0", 0), 1u);
    EXPECT_EQ(formOf("!(n <= 3) && n >= 5 || n == 0", 4), 0u);
    EXPECT_EQ(formOf("n < 2 ? n > 0 ? 1 : 0 : 2", 1), 1u);
    EXPECT_EQ(formOf("n - 1 / 0 + n % 0", 5), 5u);  // division by zero is 0, not a crash
}

TEST(PluralRule, BadHeadersAreRefusedWithAReason) {
    PluralRule rule;
    std::string error;
    for (const char* bad : {"n ?", "(n", "n +", "n ! 1", "x", "", "nplurals=0; plural=0;", "nplurals=2;",
                            "nplurals=2; plural=n ==;", "99999999999999 == n"}) {
        error.clear();
        EXPECT_FALSE(rule.parse(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    // Nesting deep enough to overflow a naive reader's stack.
    EXPECT_FALSE(rule.parse(std::string(100000, '(') + "n" + std::string(100000, ')'), error));
    EXPECT_FALSE(rule.parse(std::string(100000, '!') + "n", error));
    // The rule is left as it was: English's.
    EXPECT_EQ(rule.count(), 2);
    EXPECT_EQ(rule.index(1), 0u);
    EXPECT_EQ(rule.index(3), 1u);
}

TEST(Catalogue, ReadsWhatMsgfmtWritesInEitherByteOrder) {
    for (const char* order : {"little", "big"}) {
        Catalogue c;
        std::string error;
        ASSERT_TRUE(c.load(fileBytes(std::string(TEST_CATALOGUES) + "/sample-" + order + ".mo"), error)) << error;
        ASSERT_NE(c.find("Stop"), nullptr);
        EXPECT_EQ(*c.find("Stop"), "Zatrzymaj");
        EXPECT_EQ(*c.find(std::string("door\x04Stop")), "Stój");
        EXPECT_EQ(c.find("Not yet translated"), nullptr);
        EXPECT_EQ(c.find("Something else"), nullptr);
        EXPECT_EQ(*c.findPlural("{n} card", 1), "{n} karta");
        EXPECT_EQ(*c.findPlural("{n} card", 3), "{n} karty");
        EXPECT_EQ(*c.findPlural("{n} card", 25), "{n} kart");
        EXPECT_EQ(c.header("Language"), "pl");
        EXPECT_EQ(c.plural().count(), 3);
    }
}

TEST(Catalogue, DamagedFilesAreRefusedNotRead) {
    const std::string good = fileBytes(std::string(TEST_CATALOGUES) + "/sample-little.mo");
    ASSERT_GT(good.size(), 64u);
    std::string error;
    Catalogue c;
    // Every cut of the file: refused or read, never past its end (ASan watches).
    for (size_t n = 0; n < good.size(); ++n) {
        if (!c.load(good.substr(0, n), error)) {
            EXPECT_FALSE(error.empty());
        }
    }
    EXPECT_FALSE(c.load("", error));
    EXPECT_FALSE(c.load("Project-Id-Version: not compiled\n", error));
    EXPECT_EQ(error, "not a compiled message catalogue");
    // An entry pointing far outside the file.
    std::string bad = good;
    bad[12 + 0] = '\xff';
    bad[12 + 1] = '\xff';
    bad[12 + 2] = '\xff';
    EXPECT_FALSE(c.load(bad, error));
    EXPECT_EQ(c.find("Stop"), nullptr);  // nothing half read is kept
}

TEST(Translate, ShippedCataloguesAndFallingBackToEnglish) {
    i18n::setCatalogueFolders({"/nonexistent", std::string(TAVRICK_BINARY_DIR) + "/locale"});
    std::string problem;
    ASSERT_TRUE(i18n::setLanguage("pl", &problem)) << problem;
    EXPECT_EQ(i18n::language(), "pl");
    EXPECT_EQ(i18n::tr("No board"), "Brak płytki");
    EXPECT_EQ(i18n::format(i18n::trn("Waiting {n} s", "Waiting {n} s", 22), {{"n", "22"}}), "Jeszcze 22 sekundy");
    EXPECT_EQ(i18n::format(i18n::trn("Waiting {n} s", "Waiting {n} s", 5), {{"n", "5"}}), "Jeszcze 5 sekund");
    // A text no catalogue has stays as the code wrote it.
    EXPECT_EQ(i18n::tr("A text nobody translated"), "A text nobody translated");
    EXPECT_EQ(i18n::trn("{n} apple", "{n} apples", 2), "{n} apples");

    // Unknown or missing languages leave English, and say why.
    EXPECT_FALSE(i18n::setLanguage("xx", &problem));
    EXPECT_EQ(i18n::language(), "en");
    EXPECT_NE(problem.find("xx"), std::string::npos);
    i18n::setCatalogueFolders({"/nonexistent"});
    EXPECT_FALSE(i18n::setLanguage("ja", &problem));
    EXPECT_EQ(i18n::language(), "en");
    EXPECT_EQ(i18n::tr("No board"), "No board");
    EXPECT_TRUE(i18n::setLanguage("en", &problem));
}

TEST(Translate, FormatPutsValuesInPlaceOnce) {
    EXPECT_EQ(i18n::format("{done} / {all}", {{"done", "3"}, {"all", "12"}}), "3 / 12");
    EXPECT_EQ(i18n::format("{all} von {done}", {{"done", "3"}, {"all", "12"}}), "12 von 3");
    // A value holding a placeholder (a file named "{why}.cards") is not filled in again.
    EXPECT_EQ(i18n::format("Saved as {file}: {why}", {{"file", "{why}{file}"}, {"why", "x"}}), "Saved as {why}{file}: x");
    EXPECT_EQ(i18n::format("no places", {{"n", "1"}}), "no places");
}
