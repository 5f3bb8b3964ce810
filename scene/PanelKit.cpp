#include "PanelKit.h"

using namespace cocos2d;

namespace panelkit {

bool hits(Node* node, const Vec2& location) {
    if (!node || !node->getParent()) return false;
    Rect box = node->getBoundingBox();
    box.origin = node->getParent()->convertToWorldSpace(box.origin);
    return box.containsPoint(location);
}

EventListenerTouchOneByOne* pressable(Node* button, std::function<void()> action, std::function<bool()> refused,
                                      uint8_t pressedOpacity) {
    auto* l = EventListenerTouchOneByOne::create();
    l->setSwallowTouches(true);
    l->onTouchBegan = [button, pressedOpacity](Touch* t, Event*) {
        if (!hits(button, t->getLocation())) return false;
        button->setOpacity(pressedOpacity);
        return true;
    };
    l->onTouchEnded = [button, action, refused](Touch* t, Event*) {
        button->setOpacity(255);
        if (refused && refused()) return;
        if (hits(button, t->getLocation())) action();
    };
    // A touch the system cancels was no release: undimmed, nothing done.
    l->onTouchCancelled = [button](Touch*, Event*) { button->setOpacity(255); };
    button->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, button);
    return l;
}

EventListenerTouchOneByOne* modal(Node* panel, std::function<void(Touch*)> ended, std::function<void(Touch*)> began,
                                  std::function<void()> cancelled) {
    auto* l = EventListenerTouchOneByOne::create();
    l->setSwallowTouches(true);
    l->onTouchBegan = [began](Touch* t, Event*) {
        if (began) began(t);
        return true;
    };
    if (ended) l->onTouchEnded = [ended](Touch* t, Event*) { ended(t); };
    if (cancelled) l->onTouchCancelled = [cancelled](Touch*, Event*) { cancelled(); };
    panel->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, panel);
    return l;
}

Label* textLabel(const std::string& text, float size, const Color4B& colour) {
    Label* l = Label::createWithSystemFont(text, theme::kFont, size);
    l->setTextColor(colour);
    return l;
}

LayerColor* wordButton(const std::string& word, const Color4B& fill, const Color4B& text, float w, float h,
                       float size) {
    LayerColor* box = LayerColor::create(fill, w, h);
    Label* l = textLabel(word, size, text);
    l->setPosition(w / 2, h / 2);
    box->addChild(l);
    return box;
}

void closeModal(Node* panel, Vector<EventListener*>& entryListeners) {
    EventDispatcher* dispatcher = Director::getInstance()->getEventDispatcher();
    if (panel) {
        dispatcher->removeEventListenersForTarget(panel, false);
        panel->removeFromParent();
    }
    for (EventListener* l : entryListeners) dispatcher->removeEventListener(l);
    entryListeners.clear();
}

void closeLater(Node* owner, std::function<void()> close) { owner->runAction(CallFunc::create(std::move(close))); }

}  // namespace panelkit
