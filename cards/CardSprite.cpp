#include "CardSprite.h"

#include <new>

using cocos2d::EventListenerTouchOneByOne;

CardSprite* CardSprite::create(const std::string& file) {
    auto* card = new (std::nothrow) CardSprite;
    if (card && card->initWithFile(file)) {
        card->autorelease();
        return card;
    }
    delete card;
    return nullptr;
}

CardSprite::CardSprite() {
    connectors[0].owner = this;
    connectors[1].owner = this;
}

CardSprite::~CardSprite() {
    // A link never keeps a card alive: a partner left pointing here would read freed memory
    // the next time the program is read or a slot is searched.
    unlinkConnector(connectors[0]);
    unlinkConnector(connectors[1]);
    CC_SAFE_RELEASE_NULL(listener);
}

void CardSprite::setListener(EventListenerTouchOneByOne* newListener) {
    CC_SAFE_RETAIN(newListener);
    CC_SAFE_RELEASE(listener);
    listener = newListener;
}

void CardSprite::unlinkConnector(CardConnector& connector) {
    CardSprite* partner = connector.partner;
    if (!partner) return;
    if (partner->connectors[0].partner == connector.owner)
        partner->connectors[0].partner = nullptr;
    else if (partner->connectors[1].partner == connector.owner)
        partner->connectors[1].partner = nullptr;
    connector.partner = nullptr;
}

void CardSprite::unlinkConnector(CardConnector* connector) {
    if (connector) unlinkConnector(*connector);
}
