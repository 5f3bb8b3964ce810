// What the child sees is what is sent: a card let go with the finger on a slot is in that
// slot, at any zoom and any speed of the hand; a card let go over a filled slot goes back and
// leaves both cards whole; a card in no slot looks it, and play and try say how many.
#include "EditingFixture.h"
#include "Theme.h"

using namespace cocos2d;

namespace {

class Drops : public Editing {
protected:
    // A palette card of `kind` taken at `grip` from its centre (points of the card), carried
    // in `steps` equal steps (0: small steps of a slow hand, a frame each) and let go with the
    // finger at `to` (world). The card it made, or null.
    CardSprite* drop(int kind, const Vec2& grip, const Vec2& to, int steps) {
        Vec2 at = worldOf(scene->paletteCards[kind]) + grip;
        scenetest::touchBegan(at);
        at += Vec2(10, 1);  // the first step decides: to the right
        scenetest::touchMoved(at);
        if (steps == 0) {
            moveTo(at, to, 6);
        } else {
            const Vec2 from = at;
            for (int i = 1; i <= steps; ++i) {
                at = from + (to - from) * (static_cast<float>(i) / steps);
                scenetest::touchMoved(at);
                if (i % 2) scenetest::stepFrames(1);  // some steps come within one frame
            }
        }
        CardSprite* card = scene->drag.placingCard;
        scenetest::touchEnded(at);
        scenetest::stepFrames(1);
        return card;
    }

    Vec2 middleOfSlot(int row, int side) const {
        const Rect b = scene->slotRows[row].at(side)->getBoundingBox();
        return world(Vec2(b.getMidX(), b.getMidY()));
    }

    // Wholly on the screen's field: right of the palette, between its top and the drawer's
    // edge, left of the buttons.
    bool wholeInSight(int row, int side) const {
        const Rect b = scene->slotRows[row].at(side)->getBoundingBox();
        const Vec2 low = world(b.origin), high = world(Vec2(b.getMaxX(), b.getMaxY()));
        return low.x >= 255 && low.y >= 5 && high.y <= 763 && high.x <= scene->boardBox->getPositionX();
    }

    // A field point in row `row` over its number plate: in no slot.
    Vec2 overPlate(int row) const {
        const Rect b = scene->slotRows[row].at(0)->getBoundingBox();
        return Vec2(b.getMinX() - 45, b.getMidY());
    }
};

// Every slot of the screen, in both columns, at the smallest zoom, between, and at 1: the
// finger let go on the slot puts the card in it, whatever point of the card it holds and
// however few steps the hand took.
TEST_F(Drops, LetGoOnASlotTheCardIsInThatSlotAtEveryZoomAndSpeed) {
    const Vec2 grips[] = {Vec2::ZERO, Vec2(80, 40), Vec2(-80, -40), Vec2(80, -40), Vec2(-80, 40), Vec2(30, -10)};
    const int speeds[] = {5, 0, 7, 10, 6, 0, 8, 9};
    int n = 0;
    for (float zoom : {FieldScene::kMinZoom, 0.85f, FieldScene::kMaxZoom}) {
        scene->fieldView->resetZoom();
        scene->fieldView->zoomTo(zoom, scene->fieldView->viewMiddleInWorld());
        scene->goHome(false);
        int dropped = 0;
        for (int row = 0; row < 30; ++row) {
            for (int side : {0, 1}) {
                if (!wholeInSight(row, side)) continue;
                const Vec2 grip = grips[n % 6];
                const int steps = speeds[n % 8];
                ++n;
                CardSprite* card = drop(n % 5, grip, middleOfSlot(row, side), steps);
                ASSERT_NE(card, nullptr) << "zoom " << zoom << ", row " << (row + 1) * 10 << ", side " << side;
                EXPECT_TRUE(linkedTo(card, row, side))
                    << "zoom " << zoom << ", row " << (row + 1) * 10 << ", side " << side << ", grip " << grip.x
                    << "," << grip.y << ", " << steps << " steps";
                // Seated: its connector on the slot's, straight, in its own colours.
                CardSprite* slot = scene->slotRows[row].at(side);
                EXPECT_LT(scene->toFieldSpace(card, card->connectors[0].point)
                              .distance(scene->toFieldSpace(slot, slot->connectors[0].point)),
                          1e-3);
                EXPECT_EQ(card->getRotation(), 0);
                EXPECT_EQ(card->getColor(), Color3B::WHITE);
                ++dropped;
            }
        }
        EXPECT_GE(dropped, 10) << "zoom " << zoom;  // five rows at 1, more when smaller
        checkInvariants("zoom " + std::to_string(zoom));
        EXPECT_EQ(scene->looseCardCount(), 0);
        scene->clearField();
    }
}

// Quick hands: five to ten big steps from the palette, some within one frame, with the
// finger still at the end; the card lands where the finger is, not a step behind.
TEST_F(Drops, QuickDragsOfFiveToTenStepsLandInTheSlot) {
    const int targets[][2] = {{0, 0}, {0, 1}, {2, 1}, {4, 0}, {3, 1}, {5, 0}};
    int steps = 5;
    for (const auto& t : targets) {
        CardSprite* card = drop(t[0] % 5, Vec2(20, 15), middleOfSlot(t[0], t[1]), steps);
        ASSERT_NE(card, nullptr);
        EXPECT_TRUE(linkedTo(card, t[0], t[1])) << "row " << (t[0] + 1) * 10 << " side " << t[1] << ", " << steps
                                                << " steps";
        steps = steps == 10 ? 5 : steps + 1;
    }
}

// Over a filled slot: a new card goes away (never made, not counted), a card taken from a
// slot goes back to it, a loose one back to where it lay; both cards stay whole and apart.
TEST_F(Drops, LetGoOverAFilledSlotACardGoesBackAndBothStayWholeAndApart) {
    CardSprite* first = drop(LedOn, Vec2::ZERO, middleOfSlot(0, 0), 0);
    ASSERT_TRUE(first && linkedTo(first, 0, 0));
    const Vec2 firstAt = first->getPosition();

    // A new card: away to the palette, out of the counts and the field.
    CardSprite* extra = drop(Wait1, Vec2(10, 5), middleOfSlot(0, 0), 6);
    ASSERT_NE(extra, nullptr);
    extra->retain();
    EXPECT_EQ(scene->fieldCards.size(), 1);
    EXPECT_EQ(scene->cardCounts[Wait1], 0);
    EXPECT_EQ(scene->countLabels[Wait1]->getString(), "0");
    EXPECT_TRUE(linkedTo(first, 0, 0));
    EXPECT_EQ(first->getPosition(), firstAt);
    EXPECT_EQ(scene->history.undoSteps.size(), 1u);  // nothing happened to undo
    scenetest::stepSeconds(1);
    EXPECT_EQ(extra->getParent(), nullptr);  // it has gone, and will be freed
    EXPECT_EQ(extra->getReferenceCount(), 1u);
    extra->release();

    // A card from row 20: back into row 20, with a slide that shows it.
    CardSprite* second = scene->layCard(Wait3, seatOf(1, 0));
    ASSERT_TRUE(linkedTo(second, 1, 0));
    const Vec2 secondAt = second->getPosition();
    Vec2 at = pickUp(second);
    moveTo(at, middleOfSlot(0, 0), 12);
    scenetest::touchEnded(at);
    EXPECT_TRUE(linkedTo(second, 1, 0));
    EXPECT_EQ(second->getPosition(), secondAt);
    EXPECT_FALSE(second->isVisible());  // its copy is on the way
    scenetest::stepSeconds(0.4f);
    EXPECT_TRUE(second->isVisible());
    EXPECT_TRUE(linkedTo(first, 0, 0));
    EXPECT_EQ(first->getPosition(), firstAt);

    // A loose card: back to where it lay, loose.
    CardSprite* loose = scene->layCard(LedOff, overPlate(3));
    ASSERT_FALSE(scene->isInSlot(loose));
    const Vec2 looseAt = loose->getPosition();
    at = pickUp(loose);
    moveTo(at, middleOfSlot(1, 0), 12);
    scenetest::touchEnded(at);
    EXPECT_FALSE(scene->isInSlot(loose));
    EXPECT_EQ(loose->getPosition(), looseAt);
    scenetest::stepSeconds(0.4f);

    // No two cards at one place, in the field or in what is kept of it.
    checkInvariants("after the returns");
    const tavrick::FieldDocument doc = scene->snapshot();
    ASSERT_EQ(doc.cards.size(), 3u);
    for (size_t i = 0; i < doc.cards.size(); ++i)
        for (size_t j = i + 1; j < doc.cards.size(); ++j) {
            EXPECT_FALSE(doc.cards[i].x == doc.cards[j].x && doc.cards[i].y == doc.cards[j].y);
            if (doc.cards[i].row >= 0) {
                EXPECT_FALSE(doc.cards[i].row == doc.cards[j].row && doc.cards[i].side == doc.cards[j].side);
            }
        }
}

// While a card is carried, the free slot it would go into is lit, and only that one.
TEST_F(Drops, TheFreeSlotACarriedCardWouldGoIntoIsLit) {
    scene->layCard(LedOn, seatOf(1, 1));
    Vec2 at = worldOf(scene->paletteCards[Wait5]);
    scenetest::touchBegan(at);
    moveTo(at, at + Vec2(10, 0), 10);
    moveTo(at, Vec2(420, at.y), 20);
    ASSERT_NE(scene->drag.placingCard, nullptr);
    auto lit = [this]() -> Rect {
        LayerColor* light = scene->slotLight;
        if (!light || !light->isVisible()) return Rect::ZERO;
        return Rect(light->getPosition(), light->getContentSize());
    };
    moveTo(at, middleOfSlot(3, 1), 20);
    Rect slot = scene->slotRows[3].at(1)->getBoundingBox();
    EXPECT_TRUE(slot.containsPoint(lit().origin) && slot.containsPoint(Vec2(lit().getMaxX(), lit().getMaxY())));
    moveTo(at, middleOfSlot(1, 1), 20);  // filled: not lit
    EXPECT_EQ(lit().size, Size::ZERO);
    moveTo(at, world(overPlate(4)), 20);  // over no slot
    EXPECT_EQ(lit().size, Size::ZERO);
    moveTo(at, middleOfSlot(2, 0), 20);
    slot = scene->slotRows[2].at(0)->getBoundingBox();
    EXPECT_TRUE(slot.containsPoint(lit().origin));
    scenetest::touchEnded(at);
    EXPECT_EQ(lit().size, Size::ZERO);
}

class LooseCards : public Editing {
protected:
    void SetUp() override {
        start({{openPort(&far), "Board", tavrick::PortKind::Usb}});
    }
    Vec2 overPlate(int row) const {
        const Rect b = scene->slotRows[row].at(0)->getBoundingBox();
        return Vec2(b.getMinX() - 45, b.getMidY());
    }
    int far = -1;
};

// A card in no slot is grey and tilted, in a slot straight and in its colours; play and try
// say how many are left out and run the rest.
TEST_F(LooseCards, LookNotPlacedAndAreCountedByPlayAndTry) {
    CardSprite* in = dragFromPalette(Wait1, seatOf(0, 1));
    CardSprite* a = dragFromPalette(LedOn, overPlate(2));
    CardSprite* b = dragFromPalette(LedOff, overPlate(4));
    ASSERT_TRUE(in && a && b);
    ASSERT_TRUE(linkedTo(in, 0, 1));
    EXPECT_EQ(in->getColor(), Color3B::WHITE);
    EXPECT_EQ(in->getRotation(), 0);
    for (CardSprite* loose : {a, b}) {
        EXPECT_FALSE(scene->isInSlot(loose));
        EXPECT_EQ(loose->getColor(), theme::kLooseCard);
        EXPECT_EQ(loose->getRotation(), theme::kLooseTilt);
    }
    EXPECT_EQ(scene->looseCardCount(), 2);

    scenetest::tap(worldOf(scene->playButton));
    EXPECT_EQ(notice(), "2 cards are not in a slot and will not be sent");
    EXPECT_NE(scene->send.overlay, nullptr);  // sent all the same
    waitIdle();
    EXPECT_EQ(drain(far), "NEW\r\n10 WAIT 60\r\nSAVE 0\r\nRUN\r\n");

    scenetest::tap(worldOf(scene->tryButton));
    EXPECT_EQ(notice(), "2 cards are not in a slot and will not run");
    ASSERT_NE(scene->sim.panel, nullptr);
    scene->closeSim();

    // Carried, a loose card is straight; put into a slot, it is one of the program.
    Vec2 at = pickUp(a);
    EXPECT_EQ(a->getRotation(), 0);
    EXPECT_EQ(a->getColor(), Color3B::WHITE);
    moveTo(at, world(seatOf(5, 0)) + (at - world(a->getPosition())));
    scenetest::touchEnded(at);
    EXPECT_TRUE(linkedTo(a, 5, 0));
    EXPECT_EQ(a->getRotation(), 0);
    EXPECT_EQ(scene->looseCardCount(), 1);
    scenetest::tap(worldOf(scene->playButton));
    EXPECT_EQ(notice(), "1 card is not in a slot and will not be sent");
    waitIdle();
    EXPECT_EQ(drain(far), "NEW\r\n10 WAIT 60\r\n60 LED 1\r\nSAVE 0\r\nRUN\r\n");

    // Undone and restored, the look follows the slots.
    ASSERT_TRUE(scene->undo());
    for (CardSprite* c : scene->fieldCards)
        EXPECT_EQ(c->getRotation(), scene->isInSlot(c) ? 0.f : theme::kLooseTilt);
    EXPECT_EQ(scene->looseCardCount(), 2);
    checkInvariants("undone");
}

}  // namespace
