// The buttons and panels: press dims, release inside acts; panels close through an
// action, never inside their own touch callback.
#include "tr.h"
#include "DeviceManager.h"
#include "FieldScene.h"
#include "PanelKit.h"
#include "Theme.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;
using i18n::tr;
using namespace theme;

bool FieldScene::hits(Node* node, const Vec2& location) { return panelkit::hits(node, location); }

EventListenerTouchOneByOne* FieldScene::buttonListener(Node* button, void (FieldScene::*action)()) {
    // Another finger may have opened a panel or started a send while this one held the
    // button: they take every touch, this release included.
    return panelkit::pressable(
        button, [this, action] { (this->*action)(); },
        [this] { return panels.targetPanel || panels.portListPopup || send.overlay || answer.view; });
}

void FieldScene::registerListeners() {
    buttonListener(reloadButton, &FieldScene::reloadPorts);
    buttonListener(portLabel, &FieldScene::openPortList);
    if (boardBox)
        panelkit::pressable(
            boardBox, [this] { openPortListFrom(boardBox); },
            [this] { return panels.targetPanel || panels.portListPopup || send.overlay; });
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
    portLabel->setString(tr("Search ..."));
    const Size s = portLabel->getContentSize();
    portLabelBackground->setContentSize(Size(s.width + 20, s.height + 20));
    // A scan that cannot start tells the listener, which shows what is known and stops the arrow.
    serial->scanPorts(nullptr, this);
}

void FieldScene::slideDrawer() {
    settingsLayer->stopAllActions();
    if (settingsOpen) {
        settingsLayer->runAction(MoveTo::create(0.2f, Vec2(0, kDrawerPeek - kDrawerHeight)));
        settingsOpen = false;
    } else {
        settingsLayer->runAction(MoveTo::create(0.2f, Vec2(0, 0)));
        settingsOpen = true;
    }
}

void FieldScene::openTargetPanel() {
    if (panels.targetPanel) return;  // one panel at a time
    panels.targetPanel = LayerColor::create(kPanelShade, kDesignWidth, kDesignHeight);
    panels.targetPanel->setPosition(0, 0);
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
        panels.targetPanel->addChild(option);
        auto choose = [this, k] {
            DeviceManager::getInstance()->target = k;
            applyTargetImage();
            fieldEdited();
            panelkit::closeLater(this, [this] { closeTargetPanel(); });
        };
        panels.targetPanelListeners.pushBack(panelkit::pressable(option, choose, {}, 128));
    }
    addChild(panels.targetPanel);
    panelkit::modal(panels.targetPanel, [this](Touch* t) {
        if (hits(panels.targetPanel, t->getLocation())) panelkit::closeLater(this, [this] { closeTargetPanel(); });
    });
}

void FieldScene::closeTargetPanel() {
    panelkit::closeModal(panels.targetPanel, panels.targetPanelListeners);
    panels.targetPanel = nullptr;
}

void FieldScene::applyTargetImage() {
    if (!targetButton) return;
    const Target t = DeviceManager::getInstance()->target;
    if (t == Dov || t == Velto) targetButton->setTexture(kTargetImages[t]);
}
