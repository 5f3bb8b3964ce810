// Cards under the finger: made from the palette, snapped, picked up, torn out of a slot,
// carried and thrown away, at the boundaries that decide each.
#include "EditingFixture.h"

using namespace cocos2d;

namespace {

TEST_F(Editing, PaletteTouchWaitsForTwoUnitsThenJudgesTheDirection) {
    const Vec2 start = worldOf(scene->paletteCards[0]);
    scenetest::touchBegan(start);
    scenetest::touchMoved(start + Vec2(1.5f, 0));
    EXPECT_FALSE(scene->drag.paletteDragDecided);
    scenetest::touchMoved(start + Vec2(1.5f, 1.9f));  // 2.4 from the start: judged now
    EXPECT_TRUE(scene->drag.paletteDragDecided);
    EXPECT_NE(scene->drag.ghostCard, nullptr);  // 38 degrees from straight up: a drag
    scenetest::touchEnded(start);
    EXPECT_EQ(scene->drag.ghostCard, nullptr);
}

TEST_F(Editing, OnlyARightwardFirstStepMakesACard) {
    // At the window's edges (20 and 160 degrees, just outside), left, up and down: all
    // scroll the palette.
    const float r = 10;
    const double rad20 = 19.9 * 3.141592653589793 / 180;
    const std::vector<Vec2> steps = {Vec2(float(r * std::sin(rad20)), float(r * std::cos(rad20))),
                                     Vec2(float(r * std::sin(rad20)), float(-r * std::cos(rad20))),
                                     Vec2(-r, 0), Vec2(0, r), Vec2(0, -r)};
    for (const Vec2& step : steps) {
        const Vec2 start = worldOf(scene->paletteCards[1]);
        scenetest::touchBegan(start);
        scenetest::touchMoved(start + step);
        scenetest::touchMoved(start + step + Vec2(300, 0));  // turning right later changes nothing
        scenetest::touchMoved(start + step + Vec2(400, 0));
        EXPECT_EQ(scene->drag.ghostCard, nullptr) << step.x << "," << step.y;
        scenetest::touchEnded(start + step + Vec2(400, 0));
        scenetest::stepSeconds(1.0f);
    }
    EXPECT_EQ(scene->fieldCards.size(), 0);
    EXPECT_EQ(scene->cardCounts[1], 0);
}

TEST_F(Editing, GhostFollowsUntilItLeavesThePaletteThenTheCardAppearsUnderTheFinger) {
    // Taken off its centre: that point of it stays under the finger all the way.
    const Vec2 grip(60, -25);
    const Vec2 start = worldOf(scene->paletteCards[2]) + grip;
    scenetest::touchBegan(start);
    scenetest::touchMoved(start + Vec2(10, 3));
    ASSERT_NE(scene->drag.ghostCard, nullptr);
    EXPECT_EQ(scene->drag.ghostCard->getOpacity(), 150);
    EXPECT_EQ(scene->drag.ghostCard->getPosition(), start + Vec2(10, 3) - grip);  // no step behind
    const float edge = scene->drag.ghostCard->getContentSize().width / 2 + 250;
    Vec2 at = start + Vec2(10, 3);
    while ((at + Vec2(7, 1) - grip).x < edge) {
        at += Vec2(7, 1);
        scenetest::touchMoved(at);
        EXPECT_EQ(scene->drag.placingCard, nullptr);
        EXPECT_EQ(scene->drag.ghostCard->getPosition(), at - grip);
    }
    // The step that takes the ghost past the palette's edge makes the card, under the finger.
    at += Vec2(7, 1);
    scenetest::touchMoved(at);
    ASSERT_NE(scene->drag.placingCard, nullptr);
    EXPECT_FALSE(scene->drag.ghostCard->isVisible());
    EXPECT_EQ(world(scene->drag.placingCard->getPosition()), at - grip);
    EXPECT_EQ(scene->cardCounts[2], 1);  // counted when it appeared
    EXPECT_EQ(scene->countLabels[2]->getString(), "1");
    // Quick steps, and the finger held still: the card is where the finger is, every time.
    for (const Vec2& step : {Vec2(90, -40), Vec2(140, 10), Vec2(-60, 75), Vec2(0, 0)}) {
        at += step;
        scenetest::touchMoved(at);
        scenetest::stepFrames(1);
        EXPECT_EQ(world(scene->drag.placingCard->getPosition()), at - grip) << step.x << "," << step.y;
    }
    scenetest::touchEnded(at);
    EXPECT_EQ(scene->drag.ghostCard, nullptr);
    ASSERT_EQ(scene->fieldCards.size(), 1);
    EXPECT_EQ(scene->fieldCards.at(0)->getOpacity(), 255);
    EXPECT_EQ(scene->cardCounts[2], 1);
}

TEST_F(Editing, APaletteDropOverTheTrashNeverDeletes) {
    const Vec2 icon = scene->cleanIcon->getPosition();
    CardSprite* card = dragFromPalette(LedOn, container(icon));
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(scene->fieldCards.size(), 1);
    EXPECT_EQ(scene->cardCounts[LedOn], 1);
}

TEST_F(Editing, DroppedNearASlotTheCardLinksAndThePointsMeet) {
    CardSprite* card = dragFromPalette(LedOn, seatOf(0, 0) + Vec2(6, -5));
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(linkedTo(card, 0, 0));
    CardSprite* slot = scene->slotRows[0].at(0);
    EXPECT_EQ(scene->toFieldSpace(card, card->connectors[0].point),
              scene->toFieldSpace(slot, slot->connectors[0].point));
    scene->buildAndSend();
    EXPECT_EQ(queue()[1].first, "10 LED 1\r\n");
}

TEST_F(Editing, SnapRadiusIsExclusive) {
    CardSprite* card = scene->layCard(LedOff, seatOf(3, 1) + Vec2(20, 0));  // exactly 20
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(linkedSlots(card), 0);
    CardSprite* near = scene->layCard(LedOff, seatOf(4, 1) + Vec2(19.5f, 0));
    EXPECT_TRUE(linkedTo(near, 4, 1));
}

TEST_F(Editing, HoldingStillPicksUpMovingAtOnceScrolls) {
    CardSprite* card = scene->layCard(Wait3, Vec2(900, 4000));
    // Moved at once: the field scrolls, the card stays.
    const Vec2 offset = scene->fieldView->getContentOffset();
    Vec2 at = world(card->getPosition());
    scenetest::touchBegan(at);
    for (int i = 0; i < 8; ++i) {
        at += Vec2(0, -10);
        scenetest::touchMoved(at);
        scenetest::stepFrames(1, 0.01f);
    }
    scenetest::stepFrames(10);
    EXPECT_FALSE(scene->drag.isDragging);
    EXPECT_NE(scene->fieldView->getContentOffset(), offset);
    EXPECT_EQ(card->getPosition(), Vec2(900, 4000));
    scenetest::touchEnded(at);
    scenetest::stepSeconds(1.5f);  // let the field settle

    // Held still: picked up, translucent, on top, the trash fading in, the field still.
    at = pickUp(card);
    EXPECT_TRUE(scene->drag.isDragging);
    EXPECT_EQ(card->getOpacity(), 150);
    EXPECT_EQ(card->getLocalZOrder(), 2147483647);
    scenetest::stepSeconds(0.3f);
    EXPECT_EQ(scene->cleanIcon->getOpacity(), 255);
    const Vec2 still = scene->fieldView->getContentOffset();
    moveTo(at, at + Vec2(-60, 30));
    EXPECT_EQ(scene->fieldView->getContentOffset(), still);
    EXPECT_NEAR(card->getPositionX(), 840, 1e-3);
    scenetest::touchEnded(at);
    scenetest::stepSeconds(0.3f);
    EXPECT_EQ(scene->cleanIcon->getOpacity(), 0);
    EXPECT_EQ(card->getOpacity(), 255);
    EXPECT_EQ(scene->drag.touchedCard, nullptr);
}

TEST_F(Editing, ASecondCardIsRefusedWhileOneIsTouched) {
    CardSprite* a = scene->layCard(LedOn, Vec2(850, 4100));
    CardSprite* b = scene->layCard(LedOff, Vec2(850, 3900));
    pickUp(a);
    const Vec2 bAt = world(b->getPosition());
    scenetest::touchBegan(bAt, 1);
    scenetest::touchMoved(bAt + Vec2(-50, 0), 1);
    scenetest::touchEnded(bAt + Vec2(-50, 0), 1);
    EXPECT_EQ(b->getPosition(), Vec2(850, 3900));
    EXPECT_EQ(scene->drag.touchedCard, a);
}

TEST_F(Editing, PullOfTwentyKeepsTheCardBeyondItTearsLoose) {
    CardSprite* card = scene->layCard(LedOn, seatOf(1, 0));
    ASSERT_TRUE(linkedTo(card, 1, 0));
    Vec2 at = pickUp(card);
    const Vec2 seat = card->getPosition();
    moveTo(at, at + Vec2(3, 0), 3);  // moves freely: leaves, then re-links to its own slot
    EXPECT_TRUE(linkedTo(card, 1, 0));
    EXPECT_EQ(card->getPosition(), seat);
    moveTo(at, at + Vec2(15, 0), 15);  // pull 15: held
    moveTo(at, at + Vec2(-15, 0), 15);  // back: cancels out
    moveTo(at, at + Vec2(20, 0), 20);  // pull 20: still held
    EXPECT_EQ(card->getPosition(), seat);
    EXPECT_TRUE(linkedTo(card, 1, 0));
    moveTo(at, at + Vec2(1, 0), 1);  // 21: torn loose, back under the finger, unlinked
    EXPECT_NEAR(card->getPositionX(), seat.x + 3 + 21, 1e-3);
    EXPECT_EQ(linkedSlots(card), 0);
    EXPECT_EQ(card->connectors[0].partner, nullptr);
    scenetest::touchEnded(at);
}

TEST_F(Editing, ACardCarriedAwayInOneLongStepLeavesItsSlot) {
    CardSprite* card = scene->layCard(Wait1, seatOf(0, 0));
    ASSERT_TRUE(linkedTo(card, 0, 0));
    Vec2 at = pickUp(card);
    scenetest::touchMoved(at + Vec2(300, -200));  // never held in the slot this drag
    EXPECT_EQ(linkedSlots(card), 0);
    at += Vec2(300, -200);
    // Carried into another slot it is linked there only.
    const Vec2 to = world(seatOf(5, 1)) + (at - world(card->getPosition()));
    moveTo(at, to);
    EXPECT_TRUE(linkedTo(card, 5, 1));
    EXPECT_EQ(linkedSlots(card), 1);
    scenetest::touchEnded(at);
    scene->buildAndSend();
    const auto q = queue();
    ASSERT_EQ(q.size(), 4u);
    EXPECT_EQ(q[1].first, "60 WAIT 60\r\n");
}

TEST_F(Editing, ReleasedOverTheTrashTheCardIsCountedOutAndAnimatesAway) {
    CardSprite* keepA = scene->layCard(LedOn, Vec2(700, 4300));
    CardSprite* card = scene->layCard(Wait5, seatOf(0, 1));
    CardSprite* keepB = scene->layCard(LedOff, Vec2(700, 4100));
    ASSERT_TRUE(linkedTo(card, 0, 1));
    Vec2 at = pickUp(card);
    const Vec2 icon = scene->cleanIcon->getPosition();
    moveTo(at, icon, 40);
    EXPECT_EQ(card->getColor(), Color3B(0, 30, 70));  // over the icon: tinted
    moveTo(at, icon + Vec2(0, 200), 40);
    EXPECT_EQ(card->getColor(), Color3B::WHITE);  // off again
    moveTo(at, icon, 40);
    card->retain();  // to watch it go
    scenetest::touchEnded(at);
    EXPECT_EQ(scene->cardCounts[Wait5], 0);
    EXPECT_EQ(scene->countLabels[Wait5]->getString(), "0");
    EXPECT_EQ(linkedSlots(card), 0);
    ASSERT_EQ(scene->fieldCards.size(), 2);
    EXPECT_EQ(scene->fieldCards.at(0), keepA);  // order kept
    EXPECT_EQ(scene->fieldCards.at(1), keepB);
    scene->buildAndSend();
    EXPECT_EQ(queue().size(), 3u);  // the slot is free at once

    std::vector<std::string> frames;
    for (int i = 0; i < 30 && card->getParent(); ++i) {
        scenetest::stepFrames(1, 0.02f);
        if (!card->getParent()) break;
        const std::string path = card->getTexture()->getPath();
        if (frames.empty() || frames.back() != path) frames.push_back(path);
        // A touch during the animation does nothing.
        if (i == 5) {
            scenetest::touchBegan(world(card->getPosition()));
            EXPECT_EQ(scene->drag.touchedCard, nullptr);
            scenetest::touchEnded(world(card->getPosition()));
        }
    }
    EXPECT_EQ(frames, (std::vector<std::string>{"res/delete1.png", "res/delete2.png",
                                                "res/delete3.png", "res/delete4.png"}));
    EXPECT_EQ(card->getParent(), nullptr);
    EXPECT_EQ(card->getReferenceCount(), 1u);
    card->release();
}

TEST_F(Editing, ReleasedJustOutsideTheTrashTheCardStays) {
    CardSprite* card = scene->layCard(Wait1, Vec2(700, 4300));
    Vec2 at = pickUp(card);
    const Rect icon = scene->cleanIcon->getBoundingBox();
    moveTo(at, Vec2(icon.getMinX() - 1, icon.getMidY()), 40);
    scenetest::touchEnded(at);
    EXPECT_EQ(scene->fieldCards.size(), 1);
    EXPECT_EQ(scene->cardCounts[Wait1], 1);
}

// --- carrying a card -----------------------------------------------------------------

TEST_F(Editing, ACarriedCardIsDrawnAboveEveryOtherAndTheRestKeepTheirOrder) {
    CardSprite* a = scene->layCard(LedOn, Vec2(700, 4000));
    CardSprite* b = scene->layCard(LedOff, Vec2(720, 4010));
    CardSprite* c = scene->layCard(Wait1, Vec2(740, 4020));
    Node* container = scene->fieldView->getContainer();
    auto order = [container, a, b, c] {
        container->sortAllChildren();
        std::vector<CardSprite*> seen;
        for (Node* n : container->getChildren())
            for (CardSprite* k : {a, b, c})
                if (n == k) seen.push_back(k);
        return seen;
    };
    ASSERT_EQ(order(), (std::vector<CardSprite*>{a, b, c}));
    // Held by its left end, which the later cards do not cover.
    Vec2 at = world(a->getPosition() + Vec2(-a->getContentSize().width / 2 + 5, 0));
    scenetest::touchBegan(at);
    scenetest::stepFrames(6, 0.02f);
    ASSERT_EQ(scene->drag.touchedCard, a);
    ASSERT_TRUE(scene->drag.isDragging);
    EXPECT_EQ(order(), (std::vector<CardSprite*>{b, c, a}));
    scenetest::touchEnded(at);
    scenetest::stepFrames(1);
    EXPECT_EQ(order(), (std::vector<CardSprite*>{b, c, a}));
}

TEST_F(Editing, ACardCarriedLeftStopsAtThePalettesEdgeAtAnyZoom) {
    for (float zoom : {1.0f, 0.5f, 2.0f}) {
        scene->fieldView->setZoom(zoom);
        CardSprite* card = scene->layCard(Wait10, container(Vec2(700, 400)));
        Vec2 at = pickUp(card);
        ASSERT_TRUE(scene->drag.isDragging);
        moveTo(at, Vec2(20, at.y), 40);
        const Rect box = card->getBoundingBox();
        const float left = world(Vec2(box.getMinX(), box.getMidY())).x;
        // Zoomed out, the field itself may begin right of the palette.
        EXPECT_NEAR(left, std::max(250.f, world(Vec2::ZERO).x), 1e-2) << "zoom " << zoom;
        scenetest::touchEnded(at);
        scenetest::stepFrames(1);
        scene->fieldView->setZoom(1.0f);
    }
}

TEST_F(Editing, NoWheelScrollOrZoomWhileACardIsCarried) {
    FieldScrollView* field = scene->fieldView;
    auto still = [&](const char* when) {
        const Vec2 offset = field->getContentOffset();
        const float scale = field->getContainer()->getScale();
        scenetest::wheel(Vec2(600, 400), 2);
        scenetest::wheel(Vec2(600, 400), -1, true);
        scenetest::wheel(Vec2(100, 400), 2);  // over the palette
        EXPECT_EQ(field->getContentOffset(), offset) << when;
        EXPECT_EQ(field->getContainer()->getScale(), scale) << when;
    };
    // A palette drag, over the palette and then on the field.
    Vec2 at = worldOf(scene->paletteCards[LedOn]);
    scenetest::touchBegan(at);
    moveTo(at, at + Vec2(10, 0), 10);
    ASSERT_NE(scene->drag.ghostCard, nullptr);
    const Vec2 list = scene->paletteView->getContentOffset();
    still("with the ghost over the palette");
    EXPECT_EQ(scene->paletteView->getContentOffset(), list);
    moveTo(at, Vec2(500, at.y));
    ASSERT_NE(scene->drag.placingCard, nullptr);
    const Vec2 cardAt = scene->drag.placingCard->getPosition();
    still("with a new card on the field");
    EXPECT_EQ(scene->drag.placingCard->getPosition(), cardAt);
    scenetest::touchEnded(at);
    scenetest::stepFrames(1);

    // A field card picked up.
    CardSprite* card = scene->fieldCards.at(0);
    at = pickUp(card);
    ASSERT_TRUE(scene->drag.isDragging);
    still("with a field card picked up");
    scenetest::touchEnded(at);
    scenetest::stepFrames(1);

    // Put down, the wheel works again.
    const Vec2 before = field->getContentOffset();
    scenetest::wheel(Vec2(600, 400), 2);
    EXPECT_NE(field->getContentOffset(), before);
}

TEST_F(Editing, ACardCarriedToTheEdgeScrollsTheFieldFromRowTenToRowThreeHundred) {
    CardSprite* card = scene->layCard(LedOn, seatOf(0, 0));
    ASSERT_TRUE(linkedTo(card, 0, 0));
    FieldScrollView* field = scene->fieldView;
    Vec2 at = pickUp(card);
    ASSERT_TRUE(scene->drag.isDragging);

    // At the field's top, the top edge has nothing more to show.
    const Vec2 top = field->getContentOffset();
    moveTo(at, Vec2(at.x, 760));
    scenetest::stepFrames(10);
    EXPECT_EQ(field->getContentOffset(), top);

    // Slowly near the bottom edge, faster beyond it; the card stays under the finger.
    auto travel = [&](float y) {
        scenetest::touchMoved(at = Vec2(at.x, y));
        const float before = field->getContentOffset().y;
        scenetest::stepFrames(10);
        return field->getContentOffset().y - before;
    };
    const float near = travel(20), beyond = travel(-40);
    EXPECT_GT(near, 0);
    EXPECT_GT(beyond, near);
    EXPECT_LT(std::fabs(world(card->getPosition()).y - at.y), 45);

    // Until the field's end, a little below row 300; there the scrolling stops, and the
    // finger carries the card into row 300.
    float last = field->getContentOffset().y;
    for (int i = 0; i < 4000; ++i) {
        scenetest::stepFrames(10);
        if (field->getContentOffset().y == last) break;
        last = field->getContentOffset().y;
    }
    EXPECT_EQ(field->getContentOffset().y, field->maxOffset().y);
    const float row300 = world(seatOf(29, 0)).y;
    EXPECT_GT(row300, 60);  // row 300 whole in sight, above the bottom edge
    EXPECT_LT(row300, 140);
    const Vec2 grab = at - world(card->getPosition());
    scenetest::touchMoved(at = Vec2(at.x, 384));
    moveTo(at, world(seatOf(29, 0)) + grab + Vec2(0, 30));
    moveTo(at, world(seatOf(29, 0)) + grab, 3);
    scenetest::touchEnded(at);
    scenetest::stepFrames(1);
    EXPECT_TRUE(linkedTo(card, 29, 0));
    EXPECT_EQ(linkedSlots(card), 1);
    EXPECT_FALSE(scene->isScheduled(CC_SCHEDULE_SELECTOR(FieldScene::edgeScrollStep)));
}

}  // namespace
