// The list of found ports, opened from the port label or the board box; a choice selects the
// port. A list taller than the room above its start scrolls instead of leaving the screen.
#include "FieldScene.h"
#include "PanelKit.h"
#include "Theme.h"
#include "TavrickCardSerialManager.h"

#include <algorithm>

using namespace cocos2d;
using namespace theme;

namespace {
// The list never reaches past these: the screen's top edge, and the right edge for long names.
const float kListTop = 758;
const float kListRight = 1010;
// Further than this between press and release is a drag of the list, not a choice.
const float kTapSlop = 10;
}  // namespace

void FieldScene::openPortList() {
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    // The list is rebuilt by a running scan: wait for its result.
    if (serial->ports.empty() || serial->isScanning() || panels.portListPopup) return;
    auto* popup = LayerColor::create(kPanelShade, kDesignWidth, kDesignHeight);
    // The label lies in the drawer, which may sit anywhere on its slide; with the drawer shut
    // (the list opened from the board box) the list starts at the bottom of the screen.
    const Vec2 origin = portLabel->getParent()->convertToWorldSpace(Vec2::ZERO);
    const float x0 = portLabel->getPositionX() + origin.x;
    const float y0 = std::max(portLabel->getPositionY() + origin.y, 40.f);

    // Entries first, stacked upward from 0; where they go depends on whether they fit.
    struct Entry {
        Label* label;
        LayerColor* frame;
        LayerColor* panel;
    };
    std::vector<Entry> entries;
    float y = 0, width = 0;
    for (ssize_t i = 0; i < serial->ports.size(); ++i) {
        TavrickCardSerialData* port = serial->ports.at(i);
        Label* entry = Label::createWithSystemFont("", kFont, 20, Size::ZERO,
                                                   TextHAlignment::LEFT, TextVAlignment::TOP);
        fitLabelText(entry, port->portName + " [ " + port->description + " ]", kListRight - x0);
        entry->setTextColor(Color4B(0, 0, 0, 255));
        entry->setAnchorPoint(Vec2(0, 0.5f));
        entry->setTag(static_cast<int>(i));
        const Size s = entry->getContentSize();
        auto* frame = LayerColor::create(Color4B(0, 0, 0, 255), s.width + 20, s.height + 20);
        auto* panel = LayerColor::create(Color4B(255, 255, 255, 255), s.width + 16, s.height + 16);
        const float h = frame->getContentSize().height;
        if (i == 0) y = h / 2;  // the first entry is centred on the label's line
        entry->setPosition(10, y);
        frame->setPosition(0, y - h / 2);
        panel->setPosition(2, y - panel->getContentSize().height / 2);
        y += h;
        width = std::max(width, frame->getContentSize().width);
        entries.push_back({entry, frame, panel});
    }
    // The entries span from the first frame's foot (0) to the last frame's top.
    const float firstHalf = entries.empty() ? 0 : entries[0].frame->getContentSize().height / 2;
    const float height = y - firstHalf;
    const float bottom = y0 - firstHalf;
    const float room = kListTop - bottom;

    Node* holder = popup;
    FieldScrollView* list = nullptr;
    if (height > room) {
        list = FieldScrollView::create(Size(width, room));
        list->setDirection(FieldScrollView::Direction::VERTICAL);
        list->setBounceable(false);
        list->setPosition(x0 - 10, bottom);
        list->setContentSize(Size(width, height));
        popup->addChild(list);
        holder = list;
    }
    for (const Entry& e : entries) {
        holder->addChild(e.frame);
        holder->addChild(e.panel);
        holder->addChild(e.label);
        if (!list) {
            for (Node* n : {static_cast<Node*>(e.frame), static_cast<Node*>(e.panel), static_cast<Node*>(e.label)})
                n->setPosition(n->getPosition() + Vec2(x0 - 10, bottom));
        }
    }
    if (list) {
        // The chosen port in sight: its entry as low in the view as the list allows.
        const int chosen = std::max(0, std::min<int>(serial->selectedPort, static_cast<int>(entries.size()) - 1));
        const float entryBottom = entries[chosen].frame->getPositionY();
        list->setContentOffset(Vec2(0, std::max(room - height, std::min(0.f, -entryBottom))));
    }

    for (const Entry& e : entries) {
        auto* l = EventListenerTouchOneByOne::create();
        // A list that scrolls must see the drag too; a tap is told from a drag at release.
        l->setSwallowTouches(list == nullptr);
        l->onTouchBegan = [list](Touch* t, Event* ev) {
            Node* label = ev->getCurrentTarget();
            if (!hits(label, t->getLocation())) return false;
            if (list && !list->getViewRectInWorld().containsPoint(t->getLocation())) return false;
            label->setOpacity(128);
            return true;
        };
        l->onTouchMoved = [](Touch* t, Event* ev) {
            if (t->getLocation().distance(t->getStartLocation()) > kTapSlop)
                ev->getCurrentTarget()->setOpacity(255);
        };
        l->onTouchEnded = [this](Touch* t, Event* ev) {
            Node* label = ev->getCurrentTarget();
            label->setOpacity(255);
            if (!hits(label, t->getLocation())) return;
            if (t->getLocation().distance(t->getStartLocation()) > kTapSlop) return;
            choosePort(label->getTag());
            panelkit::closeLater(this, [this] { closePortList(); });
        };
        // A touch the system cancels was no choice.
        l->onTouchCancelled = [](Touch*, Event* ev) { ev->getCurrentTarget()->setOpacity(255); };
        getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, e.label);
        panels.portListListeners.pushBack(l);
    }
    // What the board said, at the foot of the palette's side, where no entry ever lies.
    answer.listButton = addBoardSaidButton(popup, Vec2(25, 20));
    panelkit::pressable(answer.listButton, [this] { panelkit::closeLater(this, [this] { openBoardSaid(); }); });
    addChild(popup);
    panels.portListPopup = popup;
    panels.portListView = list;
    panelkit::modal(popup, [this](Touch* t) {
        if (panels.portListView && panels.portListView->getViewRectInWorld().containsPoint(t->getLocation())) return;
        if (hits(panels.portListPopup, t->getLocation())) panelkit::closeLater(this, [this] { closePortList(); });
    });
}

void FieldScene::closePortList() {
    panelkit::closeModal(panels.portListPopup, panels.portListListeners);
    panels.portListPopup = nullptr;
    panels.portListView = nullptr;
    answer.listButton = nullptr;
}
