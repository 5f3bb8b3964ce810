// Taking cards from the palette, picking up cards on the field, carrying them and
// snapping them into free slots.
#include <algorithm>
#include <climits>
#include <cmath>

#include "DeviceManager.h"
#include "FieldScene.h"
#include "Theme.h"

using namespace cocos2d;
using namespace theme;

namespace {
const int kOnTop = 2147483647;
const GLubyte kCarried = 150;
const float kSnapRadius = 20;
// Scrolling the field under a carried card: within this band inside the top or bottom
// edge of the field's view the speed grows from nothing to kEdgeSpeed; past the edge it
// grows further with the distance, up to kFastestSpeed (points a second).
const float kEdgeBand = 40;
const float kEdgeSpeed = 400;
const float kSpeedPerPointBeyond = 25;
const float kFastestSpeed = 2400;

// Refreshes the carry state when an editing handler returns, whichever way it returns.
struct CarryWatch {
    explicit CarryWatch(FieldScene* s) : scene(s) {}
    ~CarryWatch() { scene->refreshCarry(); }
    FieldScene* scene;
};
}  // namespace

Vec2 FieldScene::toFieldSpace(Node* node, const Vec2& p) const {
    return fieldView->getContainer()->convertToNodeSpace(node->convertToWorldSpace(p));
}

void FieldScene::placeCardClamped(CardSprite* card, const Vec2& p) {
    const Size box = card->getBoundingBox().size;
    const float hw = box.width / 2, hh = box.height / 2;
    const Size field = fieldView->getContentSize();
    // Under the palette a card is out of reach but still counted and sent: its left edge
    // stays right of the palette's, as the field lies now (scrolled and zoomed).
    float left = hw;
    const float right = std::max(field.width - hw, hw);
    if (palettePanel && palettePanel->getParent()) {
        const Vec2 edge = palettePanel->getParent()->convertToWorldSpace(
            Vec2(palettePanel->getPositionX() + palettePanel->getContentSize().width, 0));
        left = std::max(left, fieldView->getContainer()->convertToNodeSpace(edge).x + hw);
    }
    // Below the last row the field cannot be scrolled to: no card may lie there, out of sight.
    const Rect& area = fieldView->getScrollArea();
    const float bottom = area.size.equals(Size::ZERO) ? 0 : area.getMinY();
    Vec2 q = p;
    if (q.x < left) q.x = left;
    if (q.x > right) q.x = right;
    if (q.y < bottom + hh)
        q.y = bottom + hh;
    else if (q.y > field.height - hh)
        q.y = field.height - hh;
    card->setPosition(q);
}

int FieldScene::connectorAngle(const CardConnector& a, const CardConnector& b) const {
    const Vec2 va = toFieldSpace(a.owner, a.toward) - toFieldSpace(a.owner, a.point);
    const Vec2 vb = toFieldSpace(b.owner, b.toward) - toFieldSpace(b.owner, b.point);
    const double n = std::sqrt(double(va.x) * va.x + double(va.y) * va.y) *
                     std::sqrt(double(vb.x) * vb.x + double(vb.y) * vb.y);
    if (n == 0) return INT_MIN;  // a facing of zero length has no angle
    double c = (double(va.x) * vb.x + double(va.y) * vb.y) / n;
    if (c < -1) c = -1;
    if (c > 1) return INT_MIN;
    const long A = std::lround(std::acos(c) * 180 / 3.141592653589793);
    const long S = std::lround((double(va.x) * vb.y - double(va.y) * vb.x) / n);
    return static_cast<int>(S < 0 ? -A : A);
}

void FieldScene::unlinkCard(CardSprite* card) {
    CardSprite::unlinkConnector(card->connectors[0]);
    CardSprite::unlinkConnector(card->connectors[1]);
    // No slot may go on naming the card, whatever the card itself records.
    for (auto& row : slotRows)
        for (CardSprite* slot : row)
            for (CardConnector& c : slot->connectors)
                if (c.partner == card) c.partner = nullptr;
}

void FieldScene::moveCard(CardSprite* card, const Vec2& delta) {
    // From where the finger would lay the card: a snapped card is held away from there.
    const Vec2 from = drag.snapTarget ? drag.snapFrom + drag.snapPull : card->getPosition();
    carryCard(card, from + delta);
}

void FieldScene::carryTo(CardSprite* card, const Vec2& touchWorld, bool search) {
    // A palette drag and a field card may be carried at once, by two fingers.
    const Vec2 grab = card == drag.placingCard ? drag.paletteGrab : drag.grab;
    carryCard(card, fieldView->getContainer()->convertToNodeSpace(touchWorld) - grab, search);
}

// The card follows the finger exactly (nothing accumulates from step to step, so no step
// of a quick hand is lost), except that near a free slot it jumps in and stays until the
// finger has pulled it more than the snap radius away.
void FieldScene::carryCard(CardSprite* card, const Vec2& desired, bool search) {
    if (drag.snapTarget) {
        drag.snapPull = desired - drag.snapFrom;
        if (drag.snapPull.length() > kSnapRadius) {
            unlinkCard(card);
            placeCardClamped(card, desired);
            drag.snapTarget = nullptr;
            drag.snapPull = Vec2::ZERO;
        }
        lightSlotFor(card);
        return;
    }
    // A card that moves freely leaves the slot it lay in; the search may give it back.
    if (card->connectors[0].partner || card->connectors[1].partner) unlinkCard(card);
    placeCardClamped(card, desired);
    if (search) {
        float best = 3.4028235e38f;
        CardConnector* bestCard = nullptr;
        CardConnector* bestSlot = nullptr;
        for (CardConnector& mine : card->connectors) {
            const Vec2 m = toFieldSpace(card, mine.point);
            for (auto& row : slotRows) {
                for (CardSprite* slot : row) {
                    for (CardConnector& theirs : slot->connectors) {
                        if (theirs.partner && theirs.partner != card) continue;
                        const float d = toFieldSpace(slot, theirs.point).distance(m);
                        if (d < kSnapRadius && d < best) {
                            best = d;
                            bestCard = &mine;
                            bestSlot = &theirs;
                        }
                    }
                }
            }
        }
        if (bestCard && connectorAngle(*bestCard, *bestSlot) == 180) {
            bestCard->partner = bestSlot->owner;
            bestSlot->partner = card;
            drag.snapTarget = bestSlot->owner;
            drag.snapFrom = desired;
            drag.snapPull = Vec2::ZERO;
            const Vec2 D = toFieldSpace(bestSlot->owner, bestSlot->point) - toFieldSpace(card, bestCard->point);
            placeCardClamped(card, card->getPosition() + D);
        }
    }
    lightSlotFor(card);
}

void FieldScene::updateCountLabel(int kind) {
    if (kind < 0 || kind >= 6 || !countLabels[kind]) return;
    countLabels[kind]->setString(std::to_string(cardCounts[kind]));
}

CardSprite* FieldScene::newFieldCard(int kind, const Vec2& position, bool showCount) {
    CardSprite* card = CardSprite::create(DeviceManager::getInstance()->getCardImage(kind));
    if (!card) return nullptr;
    // Made under a touch at the screen's edge, the card would otherwise stick out of the field.
    placeCardClamped(card, position);
    card->setOpacity(kCarried);
    card->setLocalZOrder(kOnTop);
    fieldView->addChild(card);
    card->kind = kind;
    fieldCards.pushBack(card);
    cardCounts[kind] += 1;
    if (showCount) updateCountLabel(kind);
    card->connectors[0].point = Vec2(0, card->getContentSize().height * 0.5f);
    card->connectors[0].toward = card->connectors[0].point + Vec2(1, 0);
    auto* l = EventListenerTouchOneByOne::create();
    l->setSwallowTouches(false);
    l->onTouchBegan = [this](Touch* t, Event* e) { return onCardTouchBegan(t, e); };
    l->onTouchMoved = [this](Touch* t, Event* e) { onCardTouchMoved(t, e); };
    l->onTouchEnded = [this](Touch* t, Event* e) { onCardTouchEnded(t, e); };
    // A cancelled touch ends like a release that deletes nothing: nothing stays carried.
    l->onTouchCancelled = [this](Touch* t, Event* e) {
        if (drag.touchedCard == e->getCurrentTarget()) {
            const Vec2 away(-1e6f, -1e6f);
            auto* moved = new Touch;  // reference counted: never on the stack
            moved->setTouchInfo(t->getID(), away.x, away.y);
            moved->setLive(false);
            onCardTouchEnded(moved, e);
            moved->release();
        }
    };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, card);
    return card;
}

CardSprite* FieldScene::layCard(int kind, const Vec2& fieldPoint) {
    CardSprite* card = newFieldCard(kind, fieldPoint);
    if (!card) return nullptr;
    drag.snapTarget = nullptr;
    drag.snapPull = Vec2::ZERO;
    moveCard(card, Vec2::ZERO);
    drag.snapTarget = nullptr;
    drag.snapPull = Vec2::ZERO;
    lightSlotFor(nullptr);
    card->setOpacity(255);
    showLooseness(card);
    return card;
}

// --- palette -------------------------------------------------------------------------

bool FieldScene::onPaletteTouchBegan(Touch* touch, Event* event) {
    CarryWatch watch(this);
    auto* card = static_cast<CardSprite*>(event->getCurrentTarget());
    const Vec2 at = touch->getLocation();
    // A card scrolled out of the list's window is hidden: it cannot be taken.
    if (!hits(card, at) || !paletteView->getViewRectInWorld().containsPoint(at)) return false;
    // The drag state below is the scene's, so it can follow one finger only.
    if (drag.paletteTouchId >= 0) return false;
    drag.paletteTouchId = touch->getID();
    drag.paletteDragDecided = false;
    drag.paletteTouchStart = at;
    // The list is not zoomed: world points are card points.
    drag.paletteGrab = at - card->getParent()->convertToWorldSpace(card->getPosition());
    return true;
}

void FieldScene::onPaletteTouchMoved(Touch* touch, Event* event) {
    CarryWatch watch(this);
    auto* card = static_cast<CardSprite*>(event->getCurrentTarget());
    if (touch->getID() != drag.paletteTouchId) return;
    drag.carryPoint = touch->getLocation();
    if (!drag.paletteDragDecided) {
        const Vec2 at = touch->getLocation();
        if (drag.paletteTouchStart.distance(at) < 2) return;
        const Vec2 d = at - drag.paletteTouchStart;
        // Degrees from straight up towards the right; the radians are single precision.
        const float radians = std::atan2(d.x, d.y);
        const double angle = radians * 180 / 3.141592653589793;
        if (angle > 20 && angle < 160 && !drag.ghostCard) {
            CardSprite* ghost = CardSprite::create(DeviceManager::getInstance()->getCardImage(card->kind));
            if (ghost) {
                ghost->kind = card->kind;
                ghost->setOpacity(kCarried);
                ghost->setPosition(card->getParent()->convertToWorldSpace(card->getPosition()));
                addChild(ghost);
                if (card->listener) card->listener->setSwallowTouches(true);
                // The list no longer sees this touch: let it forget it now, or it would
                // hold it for ever.
                paletteView->onTouchCancelled(touch, event);
                drag.ghostCard = ghost;
            }
        }
        drag.paletteDragDecided = true;
    }
    if (!drag.ghostCard) return;
    // The ghost, and after it the new card, keep the point the finger took under the finger.
    if (drag.placingCard) {
        carryTo(drag.placingCard, touch->getLocation());
        return;
    }
    drag.ghostCard->setPosition(touch->getLocation() - drag.paletteGrab);
    const float edge = drag.ghostCard->getContentSize().width * 0.5f + palettePanel->getContentSize().width;
    if (drag.ghostCard->getPositionX() < edge) return;
    // Past the palette's edge: the card is on the field, where the ghost was, at once.
    drag.ghostCard->setVisible(false);
    const Vec2 desired = fieldView->getContainer()->convertToNodeSpace(touch->getLocation()) - drag.paletteGrab;
    drag.placingCard = newFieldCard(drag.ghostCard->kind, desired);
    if (drag.placingCard) carryCard(drag.placingCard, desired);
}

void FieldScene::onPaletteTouchEnded(Touch* touch, Event* event) {
    CarryWatch watch(this);
    auto* card = static_cast<CardSprite*>(event->getCurrentTarget());
    if (touch->getID() != drag.paletteTouchId) return;
    drag.paletteTouchId = -1;
    CardSprite* placed = drag.placingCard;
    // Cleared first: the card is no longer carried while it finds its place.
    drag.placingCard = nullptr;
    if (placed) settleReleasedCard(placed, true);
    drag.snapTarget = nullptr;
    drag.snapPull = Vec2::ZERO;
    if (drag.ghostCard) {
        drag.ghostCard->removeFromParentAndCleanup(true);
        drag.ghostCard = nullptr;
    }
    if (card->listener) card->listener->setSwallowTouches(false);
    fieldEdited();
}

// --- field cards ---------------------------------------------------------------------

bool FieldScene::onCardTouchBegan(Touch* touch, Event* event) {
    CarryWatch watch(this);
    auto* card = static_cast<CardSprite*>(event->getCurrentTarget());
    Node* container = fieldView->getContainer();
    const Vec2 p = (touch->getLocation() - fieldView->getContentOffset()) / container->getScale();
    if (!card->getBoundingBox().containsPoint(p) || drag.touchedCard) return false;
    // Still carried by the palette touch that made it: a second finger could delete it
    // under that touch.
    if (card == drag.placingCard) return false;
    // Carried by the keys: Enter or Escape ends that carry first.
    if (card == keys.carried) return false;
    drag.touchedCard = card;
    drag.carryPoint = touch->getLocation();
    drag.grab = p - card->getPosition();
    const int32_t serial = drag.touchSerial;
    runAction(Sequence::create(DelayTime::create(0.05f),
                               CallFunc::create([this, serial] { pickUp(serial); }), nullptr));
    return true;
}

void FieldScene::pickUp(int32_t serial) {
    CarryWatch watch(this);
    if (!drag.touchedCard || !drag.isStill || drag.touchSerial != serial) return;
    CardSprite* card = drag.touchedCard;
    drag.fromPosition = card->getPosition();
    drag.fromSlot = nullptr;
    for (auto& row : slotRows)
        for (CardSprite* slot : row)
            if (slot->connectors[0].partner == card) drag.fromSlot = slot;
    // Carried straight, whatever it looked like lying loose.
    card->setRotation(0);
    card->setColor(Color3B::WHITE);
    drag.touchedCard->setOpacity(kCarried);
    // Every field card already has this z-order, so setting it would change nothing:
    // reordering also makes it the latest, drawn over all the others (theirs kept).
    if (Node* parent = drag.touchedCard->getParent())
        parent->reorderChild(drag.touchedCard, kOnTop);
    else
        drag.touchedCard->setLocalZOrder(kOnTop);
    drag.isDragging = true;
    fieldView->setTouchEnabled(false);
    cleanIcon->runAction(FadeIn::create(0.2f));
}

void FieldScene::onCardTouchMoved(Touch* touch, Event* event) {
    CarryWatch watch(this);
    if (event->getCurrentTarget() != drag.touchedCard) return;
    drag.carryPoint = touch->getLocation();
    const Vec2 delta = touch->getDelta() / fieldView->getContainer()->getScale();
    if (delta.length() == 0) return;
    if (drag.isDragging) {
        carryTo(drag.touchedCard, touch->getLocation());
        tintForCleanIcon(drag.touchedCard, touch->getLocation());
    }
    drag.isStill = false;
}

void FieldScene::onCardTouchEnded(Touch* touch, Event* event) {
    CarryWatch watch(this);
    if (drag.touchedCard != event->getCurrentTarget()) return;
    if (drag.isDragging) {
        fieldView->setTouchEnabled(true);
        cleanIcon->runAction(FadeOut::create(0.2f));
        CardSprite* card = drag.touchedCard;
        card->setOpacity(255);
        card->setColor(Color3B::WHITE);
        // Cleared first: the card is no longer carried while it finds its place.
        drag.touchedCard = nullptr;
        if (!dropCard(card, touch->getLocation())) settleReleasedCard(card, false);
    }
    drag.touchedCard = nullptr;
    drag.fromSlot = nullptr;
    drag.isStill = true;
    drag.isDragging = false;
    drag.touchSerial = (drag.touchSerial + 1) % 10;
    drag.snapTarget = nullptr;
    drag.snapPull = Vec2::ZERO;
    fieldEdited();
}

// --- while a card is carried ---------------------------------------------------------

bool FieldScene::isCarrying() const { return drag.ghostCard || drag.placingCard || (drag.touchedCard && drag.isDragging); }

void FieldScene::refreshCarry() {
    // The wheel would slide the field (or the list) away under the carried card.
    const bool carrying = isCarrying();
    if (fieldView) fieldView->setWheelEnabled(!carrying);
    if (paletteView) paletteView->setWheelEnabled(!carrying);
    const bool onField = drag.placingCard || (drag.touchedCard && drag.isDragging);
    const auto step = CC_SCHEDULE_SELECTOR(FieldScene::edgeScrollStep);
    if (onField && !isScheduled(step))
        schedule(step);
    else if (!onField && isScheduled(step))
        unschedule(step);
}

float FieldScene::edgeScrollSpeed(const Vec2& at) const {
    const Rect view = fieldView->getViewRectInWorld();
    float depth = 0;  // into the band, then beyond the edge; negative at the top
    if (at.y > view.getMaxY() - kEdgeBand)
        depth = -(at.y - (view.getMaxY() - kEdgeBand));
    else if (at.y < view.getMinY() + kEdgeBand)
        depth = (view.getMinY() + kEdgeBand) - at.y;
    if (depth == 0) return 0;
    const float d = std::fabs(depth);
    const float speed = d <= kEdgeBand
                            ? kEdgeSpeed * d / kEdgeBand
                            : std::min(kFastestSpeed, kEdgeSpeed + (d - kEdgeBand) * kSpeedPerPointBeyond);
    return depth < 0 ? -speed : speed;
}

void FieldScene::edgeScrollStep(float dt) {
    CardSprite* card = drag.placingCard ? drag.placingCard : (drag.touchedCard && drag.isDragging ? drag.touchedCard : nullptr);
    if (!card || dt <= 0) return;
    const float speed = edgeScrollSpeed(drag.carryPoint);
    if (speed == 0) return;
    // Up to the field's limits, never past them (and never back from beyond them).
    const Vec2 o = fieldView->getContentOffset();
    const float lo = fieldView->minOffset().y, hi = fieldView->maxOffset().y;
    float y = o.y + speed * dt;
    if (speed > 0)
        y = std::min(y, std::max(o.y, hi));
    else
        y = std::max(y, std::min(o.y, lo));
    const float moved = y - o.y;
    if (moved == 0) return;
    fieldView->setContentOffset(Vec2(o.x, y), false);
    // The card stays under the finger as the rows pass beneath it. A snapped card is
    // pulled as if the finger had moved; a loose one is not snapped on the way (it would
    // catch in every row that passes): it snaps once the finger moves again.
    carryTo(card, drag.carryPoint, false);
    if (card == drag.touchedCard) tintForCleanIcon(card, drag.carryPoint);
}
