// The field's view: it ends a little below the last row, zooms in steps between sizes at
// which every row and its number stay in sight, and can always be brought back to row 10
// (Home, or the button over the field's top while row 10 is out of sight). A view kept from
// an earlier run that shows no slot is brought back to the rows at start.
#include <algorithm>
#include <cmath>

#include "FieldScene.h"
#include "PanelKit.h"
#include "Theme.h"

using namespace cocos2d;
using namespace theme;

namespace {
// The "to the top" button: under the field's green top edge, right of the rows (left of the
// board button), where it covers no card in a slot.
const float kTopButtonGap = 10;
const float kFieldTop = kDesignHeight - 5;
const float kHomeTime = 0.2f;
}  // namespace

void FieldScene::buildTopButton() {
    topButton = Sprite::create("res/r_to_top.png");
    if (!topButton) return;
    const Size size = topButton->getContentSize();
    const float rowsRight = fieldView->getContainer()->convertToWorldSpace(Vec2(rowsArea.getMaxX(), 0)).x;
    topButton->setPosition(rowsRight + kTopButtonGap + size.width / 2, kFieldTop - kTopButtonGap - size.height / 2);
    topButton->setVisible(false);
    addChild(topButton);
    // A button only while it shows: hidden, it takes no touch from the field beneath.
    auto* l = EventListenerTouchOneByOne::create();
    l->setSwallowTouches(true);
    l->onTouchBegan = [this](Touch* t, Event*) {
        if (!topButton->isVisible() || !hits(topButton, t->getLocation())) return false;
        if (panels.targetPanel || panels.portListPopup || send.overlay || isCarrying()) return false;
        topButton->setOpacity(kPressedOpacity);
        return true;
    };
    l->onTouchEnded = [this](Touch* t, Event*) {
        topButton->setOpacity(255);
        if (hits(topButton, t->getLocation())) goHome();
    };
    l->onTouchCancelled = [this](Touch*, Event*) { topButton->setOpacity(255); };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, topButton);
}

void FieldScene::goHome(bool animated) {
    if (!fieldView || isCarrying()) return;
    fieldView->stopScrolling();
    const Vec2 top(fieldView->getContentOffset().x, fieldView->minOffset().y);
    if (animated)
        fieldView->animateContentOffset(top, kHomeTime);
    else
        fieldView->setContentOffset(top, false);
}

void FieldScene::zoomStep(int steps) {
    if (!fieldView || isCarrying()) return;
    fieldView->stopScrolling();
    fieldView->stepZoom(steps);
}

void FieldScene::resetZoom() {
    if (!fieldView || isCarrying()) return;
    fieldView->stopScrolling();
    fieldView->resetZoom();
}

void FieldScene::refreshTopButton() {
    if (!topButton || slotRows.empty()) return;
    // Row 10 is out of sight once its lower edge has gone above the field's top.
    const Rect first = slotRows[0].at(0)->getBoundingBox();
    const float lower = fieldView->getContainer()->convertToWorldSpace(Vec2(0, first.getMinY())).y;
    topButton->setVisible(lower > kFieldTop);
}

void FieldScene::bringViewToRows() {
    Node* container = fieldView->getContainer();
    const Size view = fieldView->getViewSize();
    const float s = container->getScale();
    const Vec2 o = fieldView->getContentOffset();
    // The field points at the view's bottom and top edges.
    const float bottom = (0 - o.y) / s, top = (view.height - o.y) / s;
    Vec2 to = o;
    if (top < rowsArea.getMinY() || bottom > rowsArea.getMaxY()) {
        // No slot in sight: the row with cards nearest to where the view was, in its middle.
        const float middle = (bottom + top) / 2;
        float best = -1, bestY = 0;
        for (auto& row : slotRows) {
            const bool used = row.at(0)->connectors[0].partner || row.at(1)->connectors[0].partner;
            const float y = row.at(0)->getPositionY();
            if (used && (best < 0 || std::fabs(y - middle) < best)) {
                best = std::fabs(y - middle);
                bestY = y;
            }
        }
        if (best >= 0) to.y = view.height / 2 - bestY * s;
    }
    // And never beyond the rows' limits (an older version scrolled further).
    const float lo = fieldView->minOffset().y, hi = fieldView->maxOffset().y;
    to.y = lo > hi ? lo : std::max(lo, std::min(hi, to.y));
    if (to != o) fieldView->setContentOffset(to, false);
}
