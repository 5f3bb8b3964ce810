// Where a released card goes, and how a card that is in no slot looks.
//
// What the child sees is what is sent. A card let go over an empty slot is in the program,
// however fast the hand moved: the slot under the card's centre (the one the card covers
// most), else the one its connector is in, takes it. Over a slot that holds another card
// it goes back where it came from, with a short slide that shows it, so that two cards never
// lie on one place. Anywhere else it stays where it was let go, in no slot: grey and tilted,
// so that it does not look placed, and counted when play or try runs.
#include "DeviceManager.h"
#include "FieldScene.h"
#include "Theme.h"
#include "tr.h"

using namespace cocos2d;
using namespace theme;

namespace {
const int kOnTop = 2147483647;
// The light on the slot a carried card would go into: above the slots and their numbers,
// below every card (and the row mark of the board on the screen).
const Color4B kSlotLight(39, 172, 56, 90);
const int kSlotLightZ = 500;
const float kSlotLightInset = 4;
// The slide of a card going back, and of a new card going away to the palette.
const float kBackTime = 0.2f;
const float kAwayTime = 0.3f;
}  // namespace

CardSprite* FieldScene::slotUnder(CardSprite* card) const {
    if (!card) return nullptr;
    const Vec2 centre = card->getPosition();
    for (auto& row : slotRows)
        for (CardSprite* slot : row)
            if (slot->getBoundingBox().containsPoint(centre)) return slot;
    const Vec2 connector = toFieldSpace(card, card->connectors[0].point);
    for (auto& row : slotRows)
        for (CardSprite* slot : row)
            if (slot->getBoundingBox().containsPoint(connector)) return slot;
    return nullptr;
}

bool FieldScene::isInSlot(CardSprite* card) const {
    for (auto& row : slotRows)
        for (CardSprite* slot : row)
            if (slot->connectors[0].partner == card) return true;
    return false;
}

int FieldScene::looseCardCount() const {
    int n = 0;
    // A card the keys took from the palette is not on the field yet.
    for (CardSprite* card : fieldCards) n += isInSlot(card) || (card == keys.carried && keys.carriedIsNew) ? 0 : 1;
    return n;
}

std::string FieldScene::looseCardsText(int count, bool forTry) {
    if (count <= 0) return "";
    const unsigned long n = static_cast<unsigned long>(count);
    const std::string text =
        forTry ? i18n::trn("{n} card is not in a slot and will not run", "{n} cards are not in a slot and will not run", n)
               : i18n::trn("{n} card is not in a slot and will not be sent",
                           "{n} cards are not in a slot and will not be sent", n);
    return i18n::format(text, {{"n", std::to_string(count)}});
}

void FieldScene::showLooseness(CardSprite* card) {
    if (!card) return;
    if (isInSlot(card)) {
        card->setRotation(0);
        card->setColor(Color3B::WHITE);
        return;
    }
    card->setRotation(kLooseTilt);
    card->setColor(kLooseCard);
    // Tilted, its corners reach a little further: still inside the field.
    placeCardClamped(card, card->getPosition());
}

void FieldScene::lightSlotFor(CardSprite* card) {
    CardSprite* slot = nullptr;
    if (card) {
        slot = drag.snapTarget && drag.snapTarget->connectors[0].partner == card ? drag.snapTarget : slotUnder(card);
        if (slot && slot->connectors[0].partner && slot->connectors[0].partner != card) slot = nullptr;
    }
    if (!slot) {
        if (slotLight) slotLight->setVisible(false);
        return;
    }
    const Rect box = slot->getBoundingBox();
    const Size size(box.size.width - 2 * kSlotLightInset, box.size.height - 2 * kSlotLightInset);
    if (!slotLight) {
        slotLight = LayerColor::create(kSlotLight, size.width, size.height);
        slotLight->setCornerRadius(14);
        fieldView->addChild(slotLight, kSlotLightZ);
    }
    slotLight->setContentSize(size);
    slotLight->setPosition(box.origin + Vec2(kSlotLightInset, kSlotLightInset));
    slotLight->setVisible(true);
}

Vec2 FieldScene::seatPosition(CardSprite* card, CardSprite* slot) const {
    return card->getPosition() + toFieldSpace(slot, slot->connectors[0].point) -
           toFieldSpace(card, card->connectors[0].point);
}

void FieldScene::seatCard(CardSprite* card, CardSprite* slot) {
    card->connectors[0].partner = slot;
    slot->connectors[0].partner = card;
    // As a snap seats it: the two connector points meet.
    const Vec2 D = toFieldSpace(slot, slot->connectors[0].point) - toFieldSpace(card, card->connectors[0].point);
    placeCardClamped(card, card->getPosition() + D);
}

bool FieldScene::settleReleasedCard(CardSprite* card, bool isNew) {
    card->setOpacity(255);
    lightSlotFor(nullptr);
    if (isInSlot(card)) {  // snapped while carried
        showLooseness(card);
        playSound(Sound::Snap);
        return true;
    }
    CardSprite* slot = slotUnder(card);
    CardSprite* holder = slot ? slot->connectors[0].partner : nullptr;
    if (slot && (!holder || holder == card)) {
        seatCard(card, slot);
        showLooseness(card);
        playSound(Sound::Snap);
        return true;
    }
    if (!slot) {
        showLooseness(card);
        return true;
    }

    // Over a filled slot.
    playSound(Sound::Refused);
    const Vec2 letGo = card->getPosition();
    if (isNew) {
        // Never made: out of the counts at once, then away to the palette it came from.
        if (card->kind >= 0 && card->kind < 6) {
            cardCounts[card->kind] -= 1;
            updateCountLabel(card->kind);
        }
        unlinkCard(card);
        getEventDispatcher()->removeEventListenersForTarget(card, false);
        Vec2 to = letGo;
        if (CardSprite* palette = card->kind >= 0 && card->kind < 6 ? paletteCards[card->kind] : nullptr)
            to = fieldView->getContainer()->convertToNodeSpace(
                palette->getParent()->convertToWorldSpace(palette->getPosition()));
        card->runAction(Sequence::create(
            Spawn::create(EaseExponentialOut::create(MoveTo::create(kAwayTime, to)), FadeOut::create(kAwayTime)),
            RemoveSelf::create(true), nullptr));
        fieldCards.eraseObject(card);  // the container holds it until it has gone
        return false;
    }
    CardSprite* home = drag.fromSlot;
    card->setPosition(drag.fromPosition);
    if (home && (!home->connectors[0].partner || home->connectors[0].partner == card))
        seatCard(card, home);
    else
        placeCardClamped(card, drag.fromPosition);
    showLooseness(card);
    slideBack(card, letGo);
    return true;
}

void FieldScene::slideBack(CardSprite* card, const Vec2& from) {
    // The card is where it belongs at once (undo, the autosave and a send see that); a copy
    // of it makes the way back, and the card shows again when the copy arrives.
    CardSprite* copy = CardSprite::create(DeviceManager::getInstance()->getCardImage(card->kind));
    if (!copy) return;
    copy->setPosition(from);
    copy->setRotation(card->getRotation());
    copy->setColor(card->getColor());
    fieldView->addChild(copy, kOnTop);
    card->setVisible(false);
    copy->runAction(Sequence::create(EaseExponentialOut::create(MoveTo::create(kBackTime, card->getPosition())),
                                     RemoveSelf::create(true), nullptr));
    card->runAction(Sequence::create(DelayTime::create(kBackTime), CallFunc::create([card] { card->setVisible(true); }),
                                     nullptr));
}
