#pragma once
// The two touch behaviours every control of the screen shares: a button that dims while
// pressed and acts on a release inside it, and a modal panel that takes every touch on the
// screen while it is open. A panel closed by one of its own touches is closed through an
// action on the next step, never inside the touch callback that the dispatcher is running.
#include <functional>
#include <string>

#include "Theme.h"
#include "cocos2d.h"

namespace panelkit {

// The hit test of every control: the node's box, its origin taken to world space through the
// parent, against the touch location.
bool hits(cocos2d::Node* node, const cocos2d::Vec2& location);

// `button` dims to `pressedOpacity` while a touch that began on it is held; a release inside
// calls `action` unless `refused()` says that something else now has the screen. Swallows.
cocos2d::EventListenerTouchOneByOne* pressable(cocos2d::Node* button, std::function<void()> action,
                                               std::function<bool()> refused = {},
                                               uint8_t pressedOpacity = theme::kPressedOpacity);

// Every touch on the screen goes to `panel` while it is open, wherever it lands: nothing
// beneath may react. `began` and `ended` (each optional) see the touches.
cocos2d::EventListenerTouchOneByOne* modal(cocos2d::Node* panel,
                                           std::function<void(cocos2d::Touch*)> ended = {},
                                           std::function<void(cocos2d::Touch*)> began = {},
                                           std::function<void()> cancelled = {});

// A label in the screen's font.
cocos2d::Label* textLabel(const std::string& text, float size, const cocos2d::Color4B& colour);
// A coloured box of w x h with a centred word (the drawer's buttons, a question's answers);
// with `icon`, the picture stands left of the word and the two are centred together.
cocos2d::LayerColor* wordButton(const std::string& word, const cocos2d::Color4B& fill, const cocos2d::Color4B& text,
                                float w, float h, float size, const std::string& icon = "");
// A new word on such a button (another language), centred again with its picture.
void setButtonWord(cocos2d::LayerColor* button, const std::string& word);

// Takes a modal panel off the screen: its own listener, and those its entries were given
// (they belong to nodes inside it, which the dispatcher would otherwise keep). `entryListeners`
// is emptied; `panel` may be null when only the entries are left.
void closeModal(cocos2d::Node* panel, cocos2d::Vector<cocos2d::EventListener*>& entryListeners);

// Runs `close` on `owner`'s next step (the dispatcher may still be walking the panel's listeners).
void closeLater(cocos2d::Node* owner, std::function<void()> close);
// A question with two answers in a modal panel: an answer is pressed by a touch and acts on a
// release inside it; a release anywhere else is "no". `answered` runs after the touch is done.
void askYesNo(cocos2d::Node* owner, cocos2d::Node* panel, cocos2d::LayerColor* yes, cocos2d::LayerColor* no,
              std::function<void(bool)> answered);

}  // namespace panelkit
