#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "DeviceManager.h"

// Shows every byte, so that a stray terminator or a missing 0x04 is visible in a failure.
void PrintTo(const CodeLine& line, std::ostream* os) {
    *os << "{\"";
    for (unsigned char c : line.text) {
        if (c >= 0x20 && c < 0x7f)
            *os << c;
        else
            *os << "\\x" << std::hex << static_cast<int>(c) << std::dec;
    }
    *os << "\", " << line.delayMs << ", " << (line.appendTerminator ? "terminator" : "bare") << "}";
}

namespace {

struct TargetFormat {
    Target target;
    std::vector<CodeLine> code;  // by kind
    std::vector<CodeLine> header;
    std::vector<CodeLine> trailer;
    std::string terminator;
    std::string separator;
    bool numbered;
    int msPerCharacter;
};

const TargetFormat kExpected[] = {
    {Dov,
     {CodeLine("LED 1"), CodeLine("LED 0"), CodeLine("WAIT 60"), CodeLine("WAIT 180"),
      CodeLine("WAIT 300"), CodeLine("WAIT 600")},
     {CodeLine("NEW", -1, true)},
     {CodeLine("SAVE 0", 1000, true), CodeLine("RUN", -1, true)},
     "\x0d\x0a",
     ":",
     true,
     40},
    {Velto,
     {CodeLine("led(1);"), CodeLine("led(0);"), CodeLine("sleep(1000);"),
      CodeLine("sleep(3000);"), CodeLine("sleep(5000);"), CodeLine("sleep(10000);")},
     {CodeLine("cat uart > .", -1, true)},
     {CodeLine(std::string(1, '\x04'), 2000, false), CodeLine("ms .", -1, true)},
     "\x0a",
     "",
     false,
     0},
};

class CardCatalogue : public ::testing::Test {
protected:
    void TearDown() override { manager->target = Dov; }
    DeviceManager* manager = DeviceManager::getInstance();
};

TEST(CodeLineTest, TheThreeConstructions) {
    EXPECT_EQ(CodeLine("RUN"), CodeLine("RUN", -1, true));
    EXPECT_EQ(CodeLine("SAVE 0", 1000), CodeLine("SAVE 0", 1000, true));
    const CodeLine bare(std::string(1, '\x04'), 2000, false);
    EXPECT_EQ(bare.text.size(), 1u);
    EXPECT_EQ(bare.delayMs, 2000);
    EXPECT_FALSE(bare.appendTerminator);
    EXPECT_EQ(CodeLine(), CodeLine("", -1, true));
}

TEST_F(CardCatalogue, EveryLookupOnBothTargetsByteForByte) {
    for (const TargetFormat& expected : kExpected) {
        SCOPED_TRACE(expected.target == Dov ? "Dov" : "Velto");
        manager->target = expected.target;
        for (CardKind kind = 0; kind < kCardKindCount; ++kind) {
            SCOPED_TRACE(kind);
            EXPECT_EQ(manager->getCodeLine(kind), expected.code[kind]);
        }
        EXPECT_EQ(manager->getHeaderLines(), expected.header);
        EXPECT_EQ(manager->getTrailerLines(), expected.trailer);
        EXPECT_EQ(manager->getLineTerminator(), expected.terminator);
        EXPECT_EQ(manager->getStatementSeparator(), expected.separator);
        EXPECT_EQ(manager->usesLineNumbers(), expected.numbered);
        EXPECT_EQ(manager->getMsPerCharacter(), expected.msPerCharacter);
    }
}

TEST_F(CardCatalogue, CardImagesAreFixedPerKindAndEmptyOutsideTheRange) {
    const char* images[] = {"res/r_led1.png",  "res/r_led0.png",  "res/r_wait1.png",
                            "res/r_wait3.png", "res/r_wait5.png", "res/r_wait10.png"};
    for (Target target : {Target(Dov), Target(Velto), Target(7)}) {  // the target plays no part, even a bad one
        manager->target = target;
        for (CardKind kind = 0; kind < kCardKindCount; ++kind)
            EXPECT_EQ(manager->getCardImage(kind), images[kind]);
        EXPECT_EQ(manager->getCardImage(-1), "");
        EXPECT_EQ(manager->getCardImage(kCardKindCount), "");
    }
    EXPECT_STREQ(kTargetImages[Dov], "res/r_to_dov.png");
    EXPECT_STREQ(kTargetImages[Velto], "res/r_to_velto.png");
}

TEST_F(CardCatalogue, KindOutsideTheRangeGivesTheEmptyLine) {
    for (Target target : {Dov, Velto}) {
        manager->target = target;
        for (CardKind kind : {-1, 6, 1000, INT32_MIN, INT32_MAX}) {
            const CodeLine line = manager->getCodeLine(kind);
            EXPECT_EQ(line.text, "") << kind;
            EXPECT_EQ(line.delayMs, -1) << kind;
            EXPECT_TRUE(line.appendTerminator) << kind;
        }
    }
}

TEST_F(CardCatalogue, TargetOutsideTheRangeFailsEveryPerTargetLookup) {
    for (Target target : {-1, 2, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(target);
        manager->target = target;
        EXPECT_THROW(manager->getCodeLine(LedOn), std::out_of_range);
        EXPECT_THROW(manager->getCodeLine(6), std::out_of_range);
        EXPECT_THROW(manager->getHeaderLines(), std::out_of_range);
        EXPECT_THROW(manager->getTrailerLines(), std::out_of_range);
        EXPECT_THROW(manager->getLineTerminator(), std::out_of_range);
        EXPECT_THROW(manager->getStatementSeparator(), std::out_of_range);
        EXPECT_THROW(manager->usesLineNumbers(), std::out_of_range);
        EXPECT_THROW(manager->getMsPerCharacter(), std::out_of_range);
    }
}

TEST_F(CardCatalogue, InitSelectsDov) {
    manager->target = Velto;
    EXPECT_TRUE(manager->init());
    EXPECT_EQ(manager->target, Dov);
    EXPECT_EQ(manager->getHeaderLines().at(0).text, "NEW");
}

// Run in a fresh process, so no other test can have touched the singleton first. Under
// emulation a re-exec is impossible; a fork does as well there, since death tests run first.
TEST(CardCatalogueDeathTest, FreshStartIsDov) {
    if (!std::getenv("TAVRICK_EMULATED")) GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            DeviceManager* manager = DeviceManager::getInstance();
            const bool fresh = manager == DeviceManager::getInstance() && manager->target == Dov &&
                               manager->getHeaderLines().at(0).text == "NEW";
            std::exit(fresh ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
