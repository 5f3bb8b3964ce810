#pragma once
// The real screen driven as a hand drives it: palette drags, pick-ups, moves; and the
// invariants every edit keeps.
#include <cmath>

#include "FieldInvariants.h"
#include "SceneFixture.h"

class Editing : public SceneTest {
protected:
    using Vec2 = cocos2d::Vec2;
    using Rect = cocos2d::Rect;

    void SetUp() override { start(); }

    cocos2d::Vec2 container(const cocos2d::Vec2& world) const {
        return scene->fieldView->getContainer()->convertToNodeSpace(world);
    }
    cocos2d::Vec2 world(const cocos2d::Vec2& fieldPoint) const {
        return scene->fieldView->getContainer()->convertToWorldSpace(fieldPoint);
    }
    // Where a card's centre lies when it sits in a slot.
    cocos2d::Vec2 seatOf(int row, int slot) const {
        CardSprite* s = scene->slotRows[row].at(slot);
        const cocos2d::Rect b = s->getBoundingBox();
        return Vec2(b.getMinX() + 8 + 95, b.getMidY());
    }
    // Press, then move in steps of at most `step` points to `to`, one frame per step.
    void moveTo(cocos2d::Vec2& at, const cocos2d::Vec2& to, float step = 6) {
        const Vec2 d = to - at;
        const int n = std::max(1, static_cast<int>(std::ceil(d.length() / step)));
        const Vec2 start = at;
        for (int i = 1; i <= n; ++i) {
            at = start + d * (static_cast<float>(i) / n);
            scenetest::touchMoved(at);
            scenetest::stepFrames(1);
        }
    }
    // A palette drag of a kind, released where the new card's centre is `fieldPoint`.
    CardSprite* dragFromPalette(int kind, const cocos2d::Vec2& fieldPoint) {
        cocos2d::Vec2 at = worldOf(scene->paletteCards[kind]);
        scenetest::touchBegan(at);
        moveTo(at, at + Vec2(10, 0), 10);  // decides: to the right
        moveTo(at, Vec2(400, at.y));       // the ghost leaves the palette
        CardSprite* card = scene->drag.placingCard;
        if (card) {
            // The card lags the touch by the step that made it.
            cocos2d::Vec2 target = world(fieldPoint) + (at - world(card->getPosition()));
            moveTo(at, target);
        }
        scenetest::touchEnded(at);
        scenetest::stepFrames(1);
        return card;
    }
    // Holds a field card still long enough to be picked up.
    cocos2d::Vec2 pickUp(CardSprite* card) {
        cocos2d::Vec2 at = world(card->getPosition());
        scenetest::touchBegan(at);
        scenetest::stepFrames(6, 0.02f);
        return at;
    }
    bool linkedTo(CardSprite* card, int row, int slot) const {
        CardSprite* s = scene->slotRows[row].at(slot);
        return s->connectors[0].partner == card && card->connectors[0].partner == s;
    }
    int linkedSlots(CardSprite* card) const {
        int n = 0;
        for (auto& row : scene->slotRows)
            for (CardSprite* s : row)
                for (auto& c : s->connectors) n += c.partner == card;
        return n;
    }
    void checkInvariants(const std::string& when) { ASSERT_EQ(fieldProblem(scene), "") << when; }
    // A key pressed and let go (with Ctrl, unless told otherwise).
    void key(cocos2d::EventKeyboard::KeyCode code, bool control = true, bool shift = false) {
        cocos2d::Director::getInstance()->getOpenGLView()->handleKey(code, true, control, shift);
        cocos2d::Director::getInstance()->getOpenGLView()->handleKey(code, false, control, shift);
        scenetest::stepFrames(1);
    }
    // The notice on the screen now, or "".
    std::string notice() const {
        return scene->sendNotice && scene->sendNotice->getParent() ? scene->sendNotice->getString() : "";
    }
};
