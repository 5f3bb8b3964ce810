// The catalogue outside its tables: a kind or a board it does not know. (The tables' own
// bytes are proved by the worked examples of the program and the board simulator.)
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "DeviceManager.h"

namespace {

class CardCatalogue : public ::testing::Test {
protected:
    void TearDown() override { manager->target = Dov; }
    DeviceManager* manager = DeviceManager::getInstance();
};

TEST_F(CardCatalogue, KindOutsideTheRangeGivesTheEmptyLineAndNoImage) {
    for (Target target : {Dov, Velto}) {
        manager->target = target;
        for (CardKind kind : {-1, 6, 1000, INT32_MIN, INT32_MAX}) {
            const CodeLine line = manager->getCodeLine(kind);
            EXPECT_EQ(line.text, "") << kind;
            EXPECT_EQ(line.delayMs, -1) << kind;
            EXPECT_TRUE(line.appendTerminator) << kind;
            EXPECT_EQ(manager->getCardImage(kind), "") << kind;
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
        // The pictures are the same for every board, even one it does not know.
        EXPECT_EQ(manager->getCardImage(LedOn), kCardImages[LedOn]);
    }
}

}  // namespace
