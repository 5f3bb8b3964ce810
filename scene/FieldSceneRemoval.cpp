// Deleting a card: carried over the trash icon it is tinted; released there it leaves
// the program and the counts at once, then plays its four-frame animation.
#include "FieldScene.h"
#include "Theme.h"

using namespace cocos2d;
using namespace theme;

void FieldScene::tintForCleanIcon(CardSprite* card, const Vec2& location) {
    card->setColor(cleanIcon->getBoundingBox().containsPoint(location) ? Color3B(0, 30, 70)
                                                                       : Color3B::WHITE);
}

bool FieldScene::dropCard(CardSprite* card, const Vec2& location) {
    if (!cleanIcon->getBoundingBox().containsPoint(location)) return false;
    deleteCard(card);
    return true;
}

void FieldScene::deleteCard(CardSprite* card) {
    playSound(Sound::Delete);
    if (card->kind >= 0 && card->kind < 6) {
        cardCounts[card->kind] -= 1;
        updateCountLabel(card->kind);
    }
    fieldCards.eraseObject(card);  // the container still holds it until the animation ends
    unlinkCard(card);
    card->setColor(Color3B::WHITE);
    getEventDispatcher()->removeEventListenersForTarget(card, false);
    auto frame = [card](const char* file) { return CallFunc::create([card, file] { card->setTexture(file); }); };
    card->runAction(Sequence::create(frame("res/delete1.png"), DelayTime::create(0.1f),
                                     frame("res/delete2.png"), DelayTime::create(0.1f),
                                     frame("res/delete3.png"), DelayTime::create(0.1f),
                                     frame("res/delete4.png"), DelayTime::create(0.1f),
                                     RemoveSelf::create(true), nullptr));
}
