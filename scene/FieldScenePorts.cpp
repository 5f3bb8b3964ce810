// The list of found ports, opened from the port label; a choice selects the port.
#include "FieldScene.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;

void FieldScene::openPortList() {
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    // The list is rebuilt by a running scan: wait for its result.
    if (serial->ports.empty() || serial->isScanning() || portListPopup) return;
    auto* popup = LayerColor::create(Color4B(127, 127, 127, 127), 1024, 768);
    const float x0 = portLabel->getPositionX();
    float y = portLabel->getPositionY();
    // The label lies in the drawer, which may sit anywhere on its slide.
    const Vec2 origin = portLabel->getParent()->convertToWorldSpace(Vec2::ZERO);
    y += origin.y;
    for (ssize_t i = 0; i < serial->ports.size(); ++i) {
        TavrickCardSerialData* port = serial->ports.at(i);
        Label* entry = Label::createWithSystemFont(port->portName + " [ " + port->description + " ]",
                                                   "Futura-Medium", 20, Size::ZERO,
                                                   TextHAlignment::LEFT, TextVAlignment::TOP);
        entry->setTextColor(Color4B(0, 0, 0, 255));
        entry->setAnchorPoint(Vec2(0, 0.5f));
        entry->setTag(static_cast<int>(i));
        entry->setPosition(x0 + origin.x, y);
        const Size s = entry->getContentSize();
        auto* frame = LayerColor::create(Color4B(0, 0, 0, 255), s.width + 20, s.height + 20);
        frame->setPosition(x0 + origin.x - 10, y - frame->getContentSize().height / 2);
        auto* panel = LayerColor::create(Color4B(255, 255, 255, 255), s.width + 16, s.height + 16);
        panel->setPosition(x0 + origin.x - 8, y - panel->getContentSize().height / 2);
        popup->addChild(frame);
        popup->addChild(panel);
        popup->addChild(entry);
        y += frame->getContentSize().height;

        auto* l = EventListenerTouchOneByOne::create();
        l->setSwallowTouches(true);
        l->onTouchBegan = [](Touch* t, Event* e) {
            Node* label = e->getCurrentTarget();
            if (!hits(label, t->getLocation())) return false;
            label->setOpacity(128);
            return true;
        };
        l->onTouchEnded = [this](Touch* t, Event* e) {
            Node* label = e->getCurrentTarget();
            label->setOpacity(255);
            if (!hits(label, t->getLocation())) return;
            TavrickCardSerialManager::getInstance()->selectedPort = label->getTag();
            updatePortLabel();
            runAction(CallFunc::create([this] { closePortList(); }));
        };
        // A touch the system cancels was no choice.
        l->onTouchCancelled = [](Touch*, Event* e) { e->getCurrentTarget()->setOpacity(255); };
        getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, entry);
        portListListeners.pushBack(l);
    }
    addChild(popup);
    portListPopup = popup;
    auto* l = EventListenerTouchOneByOne::create();
    l->setSwallowTouches(true);
    // Every touch on the screen, wherever it lands: nothing beneath may react while the
    // list is open.
    l->onTouchBegan = [](Touch*, Event*) { return true; };
    l->onTouchEnded = [this](Touch* t, Event*) {
        if (hits(portListPopup, t->getLocation()))
            runAction(CallFunc::create([this] { closePortList(); }));
    };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, popup);
}

void FieldScene::closePortList() {
    if (portListPopup) {
        getEventDispatcher()->removeEventListenersForTarget(portListPopup, false);
        portListPopup->removeFromParent();
    }
    for (EventListener* l : portListListeners) getEventDispatcher()->removeEventListener(l);
    portListListeners.clear();
    portListPopup = nullptr;
}
