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

namespace {
// The word, and the picture left of it if there is one, centred together in the box.
void centreWord(LayerColor* box) {
    Label* word = nullptr;
    Sprite* picture = nullptr;
    for (Node* child : box->getChildren()) {
        if (auto* l = dynamic_cast<Label*>(child)) word = l;
        else if (auto* p = dynamic_cast<Sprite*>(child)) picture = p;
    }
    if (!word) return;
    const Size size = box->getContentSize();
    if (!picture) {
        word->setPosition(size.width / 2, size.height / 2);
        return;
    }
    const float gap = 6, pw = picture->getContentSize().width, lw = word->getContentSize().width;
    const float left = (size.width - pw - gap - lw) / 2;
    picture->setPosition(left + pw / 2, size.height / 2);
    word->setPosition(left + pw + gap + lw / 2, size.height / 2);
}
}  // namespace

LayerColor* wordButton(const std::string& word, const Color4B& fill, const Color4B& text, float w, float h,
                       float size, const std::string& icon) {
    LayerColor* box = LayerColor::create(fill, w, h);
    box->addChild(textLabel(word, size, text));
    if (Sprite* picture = icon.empty() ? nullptr : Sprite::create(icon)) box->addChild(picture);
    centreWord(box);
    return box;
}

void setButtonWord(LayerColor* button, const std::string& word) {
    if (!button) return;
    for (Node* child : button->getChildren())
        if (auto* l = dynamic_cast<Label*>(child)) l->setString(word);
    centreWord(button);
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

void askYesNo(Node* owner, Node* panel, LayerColor* yes, LayerColor* no, std::function<void(bool)> answered) {
    auto undim = [yes, no] {
        yes->setOpacity(255);
        no->setOpacity(255);
    };
    auto pressed = [yes, no](Touch* t) {
        for (LayerColor* b : {yes, no})
            if (hits(b, t->getLocation())) b->setOpacity(theme::kPressedOpacity);
    };
    auto released = [owner, yes, undim, answered](Touch* t) {
        const bool said = hits(yes, t->getLocation());
        undim();
        closeLater(owner, [answered, said] { answered(said); });
    };
    modal(panel, released, pressed, undim);
}

}  // namespace panelkit
