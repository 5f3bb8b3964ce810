#pragma once
// What holds on the field after any edit, whoever made it: every listed card has a kind, lies
// on the field and is counted (and its count shown); each slot and its card name each other
// through connector 0, one slot per card. Shared by the editing tests and the UI fuzzer.
#include <array>
#include <map>
#include <set>
#include <string>

#include "FieldScene.h"

// Empty while all of it holds, else what broke.
inline std::string fieldProblem(FieldScene* s) {
    std::array<int, 6> perKind{};
    std::set<CardSprite*> live;
    const cocos2d::Size field = s->fieldView->getContentSize();
    const float e = 1e-3f;
    for (CardSprite* c : s->fieldCards) {
        if (c->kind < 0 || c->kind > 5) return "cards: a field card has no kind";
        if (!live.insert(c).second) return "cards: a card is listed twice";
        ++perKind[c->kind];
        if (c->getParent() != s->fieldView->getContainer()) return "cards: a listed card is not in the field";
        const cocos2d::Rect b = c->getBoundingBox();
        if (b.getMinX() < -e || b.getMinY() < -e || b.getMaxX() > field.width + e || b.getMaxY() > field.height + e)
            return "cards: a card lies outside the field content";
        if (c->connectors[1].partner) return "links: a card is linked through its connector 1";
    }
    for (int k = 0; k < 6; ++k) {
        if (s->cardCounts[k] != perKind[k]) return "counts: kind " + std::to_string(k) + " is miscounted";
        if (s->countLabels[k] && s->countLabels[k]->getString() != std::to_string(perKind[k]))
            return "counts: the label of kind " + std::to_string(k) + " is wrong";
    }
    std::set<CardSprite*> slots;
    std::map<CardSprite*, int> uses;
    for (auto& row : s->slotRows) {
        for (CardSprite* slot : row) {
            slots.insert(slot);
            if (slot->connectors[1].partner) return "links: a slot is linked through its connector 1";
            CardSprite* c = slot->connectors[0].partner;
            if (!c) continue;
            if (!live.count(c)) return "links: a slot holds a card that is not on the field";
            if (c->connectors[0].partner != slot) return "links: a slot's card does not point back";
            if (++uses[c] > 1) return "links: a card is in two slots";
        }
    }
    for (CardSprite* c : live) {
        CardSprite* slot = c->connectors[0].partner;
        if (slot && (!slots.count(slot) || slot->connectors[0].partner != c))
            return "links: a card points at a slot that does not hold it";
    }
    // The card the keys carry is one of the field's, and a picked-up one still has its slot.
    if (CardSprite* carried = s->keys.carried) {
        if (!live.count(carried)) return "keys: the carried card is not on the field";
        if (!s->keys.carriedIsNew && !carried->connectors[0].partner) return "keys: a picked-up card lost its slot";
    }
    return "";
}
