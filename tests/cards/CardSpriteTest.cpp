// A card's links to slots, dissolved from both sides and at its end, and a card whose
// picture cannot be had.
#include <gtest/gtest.h>

#include <vector>

#include "CardSprite.h"
#include "SceneDriver.h"

using namespace cocos2d;

namespace {

class CardSpriteLinks : public ::testing::Test {
protected:
    void SetUp() override { scenetest::useOffscreenView(); }
    void TearDown() override {
        for (CardSprite* c : cards) {
            for (CardConnector& k : c->connectors) k.partner = nullptr;
            c->release();
        }
        scenetest::resetEngine();
    }

    static void drainPool() { PoolManager::getInstance()->getCurrentPool()->clear(); }

    // A card kept alive by the test, as the scene keeps its cards.
    CardSprite* heldCard() {
        CardSprite* card = CardSprite::create("res/r_led1.png");
        card->retain();
        cards.push_back(card);
        return card;
    }

    std::vector<CardSprite*> cards;
};

TEST_F(CardSpriteLinks, CreateWithAnUnloadableImageGivesNullAndPoolsNothing) {
    const size_t pooled = PoolManager::getInstance()->getCurrentPool()->size();
    EXPECT_EQ(CardSprite::create("res/no_such_card.png"), nullptr);
    EXPECT_EQ(CardSprite::create(""), nullptr);
    // A half-made card neither pooled nor deleted is caught by the sanitizer build's leak check.
    EXPECT_EQ(PoolManager::getInstance()->getCurrentPool()->size(), pooled);
}

TEST_F(CardSpriteLinks, UnlinkDissolvesBothSidesClearingOnlyThePartnersConnectorThatPointsBack) {
    CardSprite* x = heldCard();
    CardSprite* p = heldCard();
    CardSprite* other = heldCard();

    // Both of P's connectors point back: connector 0 goes, connector 1 stays.
    x->connectors[0].partner = p;
    p->connectors[0].partner = x;
    p->connectors[1].partner = x;
    CardSprite::unlinkConnector(x->connectors[0]);
    EXPECT_EQ(p->connectors[0].partner, nullptr);
    EXPECT_EQ(p->connectors[1].partner, x);

    // P's connector 0 belongs to another link: only connector 1 is cleared.
    x->connectors[1].partner = p;
    p->connectors[0].partner = other;
    CardSprite::unlinkConnector(x->connectors[1]);
    EXPECT_EQ(x->connectors[1].partner, nullptr);
    EXPECT_EQ(p->connectors[0].partner, other);
    EXPECT_EQ(p->connectors[1].partner, nullptr);

    // Neither points back: P is left alone, the connector is still freed.
    x->connectors[0].partner = p;
    CardSprite::unlinkConnector(x->connectors[0]);
    EXPECT_EQ(x->connectors[0].partner, nullptr);
    EXPECT_EQ(p->connectors[0].partner, other);

    // Without a partner nothing changes, not even a one-sided record pointing at the card.
    p->connectors[1].partner = x;
    CardSprite::unlinkConnector(&x->connectors[1]);
    EXPECT_EQ(p->connectors[1].partner, x);
    CardSprite::unlinkConnector(nullptr);
}

TEST_F(CardSpriteLinks, DestroyedCardLeavesNoSlotPointingAtIt) {
    CardSprite* slot = heldCard();
    CardSprite* card = CardSprite::create("res/r_led1.png");
    card->connectors[0].partner = slot;
    slot->connectors[0].partner = card;
    drainPool();  // the card's last reference
    EXPECT_EQ(slot->connectors[0].partner, nullptr);
}

}  // namespace
