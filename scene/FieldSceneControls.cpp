// The buttons and panels: press dims, release inside acts; panels close through an
// action, never inside their own touch callback.
#include "DeviceManager.h"
#include "FieldScene.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;

bool FieldScene::hits(Node* node, const Vec2& location) {
    if (!node || !node->getParent()) return false;
    Rect box = node->getBoundingBox();
    box.origin = node->getParent()->convertToWorldSpace(box.origin);
    return box.containsPoint(location);
}

EventListenerTouchOneByOne* FieldScene::buttonListener(Node* button, void (FieldScene::*action)()) {
    auto* l = EventListenerTouchOneByOne::create();
    l->setSwallowTouches(true);
    l->onTouchBegan = [button](Touch* t, Event*) {
        if (!hits(button, t->getLocation())) return false;
        button->setOpacity(192);
        return true;
    };
    l->onTouchEnded = [this, button, action](Touch* t, Event*) {
        button->setOpacity(255);
        // Another finger may have opened a panel or started a send while this one held
        // the button: they take every touch, this release included.
        if (targetPanel || portListPopup || sendingOverlay) return;
        if (hits(button, t->getLocation())) (this->*action)();
    };
    // A touch the system cancels was no release: undimmed, nothing done.
    l->onTouchCancelled = [button](Touch*, Event*) { button->setOpacity(255); };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, button);
    return l;
}

void FieldScene::registerListeners() {
    buttonListener(reloadButton, &FieldScene::reloadPorts);
    buttonListener(portLabel, &FieldScene::openPortList);
    if (boardBox) buttonListener(boardBox, &FieldScene::openPortList);
    if (fullscreenButton) buttonListener(fullscreenButton, &FieldScene::toggleFullscreen);
    if (settingsButton) buttonListener(settingsButton, &FieldScene::slideDrawer);
    buttonListener(playButton, &FieldScene::buildAndSend);
    buttonListener(targetButton, &FieldScene::openTargetPanel);

    // The arrows act on the press; each step is limited to the list's ends.
    auto arrow = [this](Sprite* button, float step) {
        if (!button) return;
        auto* l = EventListenerTouchOneByOne::create();
        l->setSwallowTouches(true);
        l->onTouchBegan = [this, button, step](Touch* t, Event*) {
            if (!hits(button, t->getLocation())) return false;
            const Vec2 o = paletteView->getContentOffset();
            float y = o.y + step;
            if (step < 0) {
                const float lower =
                    -(paletteView->getContentSize().height - paletteView->getViewSize().height);
                if (y < lower) y = lower;
            } else if (y > 0) {
                y = 0;
            }
            paletteView->animateContentOffset(Vec2(o.x, y), 0.5f);
            return true;
        };
        getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, button);
    };
    arrow(menuUpButton, -300);
    arrow(menuDownButton, 300);

    // Keeps touches on the palette away from the field beneath it.
    auto* guard = EventListenerTouchOneByOne::create();
    guard->setSwallowTouches(true);
    guard->onTouchBegan = [this](Touch* t, Event*) { return hits(paletteView, t->getLocation()); };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(guard, paletteView);

    auto* palette = EventListenerTouchOneByOne::create();
    palette->setSwallowTouches(false);
    palette->onTouchBegan = [this](Touch* t, Event* e) { return onPaletteTouchBegan(t, e); };
    palette->onTouchMoved = [this](Touch* t, Event* e) { onPaletteTouchMoved(t, e); };
    palette->onTouchEnded = [this](Touch* t, Event* e) { onPaletteTouchEnded(t, e); };
    // A cancelled drag ends like a release: no ghost or half-placed card may stay behind.
    palette->onTouchCancelled = [this](Touch* t, Event* e) { onPaletteTouchEnded(t, e); };
    for (CardSprite* card : paletteCards) {
        if (!card) continue;
        auto* mine = palette->clone();
        getEventDispatcher()->addEventListenerWithSceneGraphPriority(mine, card);
        card->setListener(mine);
    }
}

void FieldScene::reloadPorts() {
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    if (serial->isBusy()) return;  // the running scan's end shows the list
    portLabel->setString("Search ...");
    const Size s = portLabel->getContentSize();
    portLabelBackground->setContentSize(Size(s.width + 20, s.height + 20));
    // A scan that cannot start tells the listener, which shows what is known and stops the arrow.
    serial->scanPorts(nullptr, this);
}

void FieldScene::slideDrawer() {
    settingsLayer->stopAllActions();
    if (settingsOpen) {
        settingsLayer->runAction(MoveTo::create(0.2f, Vec2(0, -75)));
        settingsOpen = false;
    } else {
        settingsLayer->runAction(MoveTo::create(0.2f, Vec2(0, 0)));
        settingsOpen = true;
    }
}

void FieldScene::openTargetPanel() {
    if (targetPanel) return;  // one panel at a time
    targetPanel = LayerColor::create(Color4B(127, 127, 127, 127), 1024, 768);
    targetPanel->setPosition(0, 0);
    float x = targetButton->getPositionX();
    const float y = targetButton->getPositionY();
    for (int k = 0; k < kTargetCount; ++k) {
        Sprite* option = Sprite::create(kTargetImages[k]);
        if (!option) continue;
        const float w = option->getContentSize().width;
        if (k > 0) x = x - w / 2 - 10;
        option->setPosition(x, y);
        x = x - w / 2;
        option->setTag(k);
        targetPanel->addChild(option);
        auto* l = EventListenerTouchOneByOne::create();
        l->setSwallowTouches(true);
        l->onTouchBegan = [](Touch* t, Event* e) {
            Node* o = e->getCurrentTarget();
            if (!hits(o, t->getLocation())) return false;
            o->setOpacity(128);
            return true;
        };
        l->onTouchEnded = [this](Touch* t, Event* e) {
            Node* o = e->getCurrentTarget();
            o->setOpacity(255);
            if (!hits(o, t->getLocation())) return;
            DeviceManager::getInstance()->target = o->getTag();
            applyTargetImage();
            fieldEdited();
            runAction(CallFunc::create([this] { closeTargetPanel(); }));
        };
        // A touch the system cancels was no choice.
        l->onTouchCancelled = [](Touch*, Event* e) { e->getCurrentTarget()->setOpacity(255); };
        getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, option);
        targetPanelListeners.pushBack(l);
    }
    addChild(targetPanel);
    auto* l = EventListenerTouchOneByOne::create();
    l->setSwallowTouches(true);
    // Every touch on the screen, wherever it lands: nothing beneath may react while the
    // panel is open.
    l->onTouchBegan = [](Touch*, Event*) { return true; };
    l->onTouchEnded = [this](Touch* t, Event*) {
        if (hits(targetPanel, t->getLocation()))
            runAction(CallFunc::create([this] { closeTargetPanel(); }));
    };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, targetPanel);
}

void FieldScene::closeTargetPanel() {
    if (targetPanel) {
        getEventDispatcher()->removeEventListenersForTarget(targetPanel, false);
        targetPanel->removeFromParent();
    }
    for (EventListener* l : targetPanelListeners) getEventDispatcher()->removeEventListener(l);
    targetPanelListeners.clear();
    targetPanel = nullptr;
}

void FieldScene::applyTargetImage() {
    if (!targetButton) return;
    const Target t = DeviceManager::getInstance()->target;
    if (t == Dov || t == Velto) targetButton->setTexture(kTargetImages[t]);
}
