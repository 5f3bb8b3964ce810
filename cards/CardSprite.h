#pragma once
// The sprite of the card editor: palette cards, field cards, field slots, row plates and
// the play button. A field slot holds a card when their connectors are linked.
#include <cstdint>
#include <string>

#include "cocos2d.h"

class CardSprite;

// A link point of a card, in the card's own node space (origin at its lower-left corner).
// The vector from `point` to `toward` is the direction it faces; a zero-length facing can
// never be linked.
struct CardConnector {
    cocos2d::Vec2 point;
    cocos2d::Vec2 toward;
    CardSprite* owner = nullptr;    // the enclosing card; never changes
    CardSprite* partner = nullptr;  // the linked card, not owned; the link is kept on both sides
};

class CardSprite : public cocos2d::Sprite {
public:
    // Autoreleased, or null when the image cannot be loaded. Kind and connector geometry
    // are the caller's to set.
    static CardSprite* create(const std::string& file);
    // Drops the card's links and its listener.
    ~CardSprite() override;

    // Takes a reference on the new listener before dropping the old one, so handing in the
    // listener already held keeps it. Null drops the held listener.
    void setListener(cocos2d::EventListenerTouchOneByOne* newListener);

    // Dissolves the connector's link on both sides: the partner's connector 0 is cleared if
    // it points back at the owner, else its connector 1 if that does. Does nothing without
    // a partner. Static, since the connector knows its owner.
    static void unlinkConnector(CardConnector& connector);
    static void unlinkConnector(CardConnector* connector);

    cocos2d::EventListenerTouchOneByOne* listener = nullptr;  // one reference; palette cards only
    std::int32_t kind = -1;  // a CardKind; -1 (no card) on sprites that stand for no command
    CardConnector connectors[2];

protected:
    CardSprite();
};
