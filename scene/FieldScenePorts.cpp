// The list of found ports, opened from the board box or the drawer's port label, beside what
// opened it; a choice selects the port by its name. A list taller than the screen scrolls.
#include "FieldScene.h"
#include "PanelKit.h"
#include "Theme.h"
#include "TavrickCardSerialManager.h"
#include "tr.h"

#include <algorithm>

using namespace cocos2d;
using namespace theme;
using i18n::tr;

namespace {
// The list: a white panel with a title and one entry a port.
const float kListWidth = 380;
const float kTitleHeight = 40;
const float kRowHeight = 60;
const float kPad = 8;
// Kept this far from the screen's edges, and from what opened it.
const float kMargin = 10;
const float kGap = 12;
const Color4B kRowPlain(255, 255, 255, 255);
const Color4B kRowChosen(222, 243, 226, 255);
const Color3B kRowPressed(205, 205, 205);
const Color4B kRule(225, 225, 225, 255);
const Color4B kPortText(100, 100, 100, 255);
// Further than this between press and release is a drag of the list, not a choice.
const float kTapSlop = 10;

Rect worldBoxOf(Node* node) {
    Rect box = node->getBoundingBox();
    box.origin = node->getParent()->convertToWorldSpace(box.origin);
    return box;
}
}  // namespace

void FieldScene::openPortList() { openPortListFrom(portLabel); }

void FieldScene::openPortListFrom(Node* opener) {
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    // The list is rebuilt by a running scan: wait for its result (its end opens it again).
    if (serial->ports.empty() || serial->isScanning() || panels.portListPopup) return;
    if (!opener || !opener->getParent()) opener = portLabel;
    auto* popup = LayerColor::create(kPanelShade, kDesignWidth, kDesignHeight);

    // Where: left of the board box, its top at the box's top; or above the drawer's label.
    const int n = static_cast<int>(serial->ports.size());
    const float wanted = kTitleHeight + n * kRowHeight + kPad;
    const Rect at = worldBoxOf(opener);
    float x, bottom, height;
    if (opener == boardBox) {
        x = at.getMinX() - kGap - kListWidth;
        height = std::min(wanted, kDesignHeight - 2 * kMargin);
        const float top = std::min(kDesignHeight - kMargin, std::max(at.getMaxY(), kMargin + height));
        bottom = top - height;
    } else {
        x = std::min(at.getMinX() - kPad, kDesignWidth - kMargin - kListWidth);
        bottom = std::max(kMargin, at.getMaxY() + kGap);
        height = std::min(wanted, kDesignHeight - kMargin - bottom);
    }
    x = std::max(kMargin, x);
    auto* panel = LayerColor::create(kWhite, kListWidth, height);
    panel->setCornerRadius(12);
    panel->setPosition(x, bottom);
    popup->addChild(panel);
    Label* title = panelkit::textLabel(tr("Which board?"), 18, kPortText);
    title->setAnchorPoint(Vec2(0, 0.5f));
    title->setPosition(16, height - kTitleHeight / 2);
    panel->addChild(title);

    // The entries, top down, in a scrolling view when they do not all fit.
    const float rowsHeight = n * kRowHeight;
    const float room = height - kTitleHeight - kPad;
    Node* holder = panel;
    float rowsTop = height - kTitleHeight;
    FieldScrollView* list = nullptr;
    if (rowsHeight > room) {
        list = FieldScrollView::create(Size(kListWidth, room));
        list->setDirection(FieldScrollView::Direction::VERTICAL);
        list->setBounceable(false);
        list->setPosition(0, kPad);
        list->setContentSize(Size(kListWidth, rowsHeight));
        panel->addChild(list);
        holder = list;
        rowsTop = rowsHeight;
    }
    const std::string chosenName = serial->getSelectedPortName();
    panels.portListRows.clear();
    panels.portListNames.clear();
    for (int i = 0; i < n; ++i) {
        TavrickCardSerialData* port = serial->ports.at(i);
        const bool chosen = port->portName == chosenName;
        auto* row = LayerColor::create(chosen ? kRowChosen : kRowPlain, kListWidth - 2 * kPad, kRowHeight - 2);
        row->setPosition(kPad, rowsTop - (i + 1) * kRowHeight + 1);
        row->setTag(i);
        const float textWidth = row->getContentSize().width - 60;
        // The board as the system names it, its port under it; a port with no description
        // is named by its port alone.
        const bool builtIn = port->isBuiltIn();
        const std::string mark = builtIn ? tr("built-in port") : "";
        const bool described = !port->description.empty();
        Label* what = panelkit::textLabel("", 20, kDarkText);
        fitLabelText(what, described ? port->description : port->portName, textWidth);
        what->setAnchorPoint(Vec2(0, 0.5f));
        what->setPosition(12, kRowHeight * 0.64f);
        row->addChild(what);
        Label* where = panelkit::textLabel("", 14, kPortText);
        fitLabelText(where, described ? port->portName + (builtIn ? "  (" + mark + ")" : "") : mark, textWidth);
        where->setAnchorPoint(Vec2(0, 0.5f));
        where->setPosition(12, kRowHeight * 0.27f);
        row->addChild(where);
        if (chosen) {
            auto* bar = LayerColor::create(kGreen, 5, kRowHeight - 2);
            row->addChild(bar);
            if (Sprite* mark = Sprite::create("res/r_check.png")) {
                mark->setPosition(row->getContentSize().width - 26, (kRowHeight - 2) / 2);
                row->addChild(mark);
            }
        }
        if (i + 1 < n) {
            auto* rule = LayerColor::create(kRule, kListWidth - 2 * kPad - 24, 1);
            rule->setPosition(kPad + 12, rowsTop - (i + 1) * kRowHeight);
            holder->addChild(rule);
        }
        holder->addChild(row);
        panels.portListRows.push_back(row);
        panels.portListNames.push_back(port->portName);
    }
    if (list) {
        // The chosen port in sight, as near the top of the view as the list allows.
        const int chosen = std::max(0, std::min(static_cast<int>(serial->selectedPort), n - 1));
        const float entryTop = rowsTop - chosen * kRowHeight;
        list->setContentOffset(Vec2(0, std::max(room - rowsHeight, std::min(0.f, room - entryTop))));
    }

    for (LayerColor* row : panels.portListRows) {
        auto* l = EventListenerTouchOneByOne::create();
        // A list that scrolls must see the drag too; a tap is told from a drag at release.
        l->setSwallowTouches(list == nullptr);
        auto restore = [this](Node* node) {
            const int i = node->getTag();
            const bool chosen = i >= 0 && i < static_cast<int>(panels.portListNames.size()) &&
                                panels.portListNames[i] == TavrickCardSerialManager::getInstance()->getSelectedPortName();
            const Color4B c = chosen ? kRowChosen : kRowPlain;
            node->setColor(Color3B(c.r, c.g, c.b));
        };
        l->onTouchBegan = [list](Touch* t, Event* ev) {
            Node* row = ev->getCurrentTarget();
            if (!hits(row, t->getLocation())) return false;
            if (list && !list->getViewRectInWorld().containsPoint(t->getLocation())) return false;
            row->setColor(kRowPressed);
            return true;
        };
        l->onTouchMoved = [restore](Touch* t, Event* ev) {
            if (t->getLocation().distance(t->getStartLocation()) > kTapSlop) restore(ev->getCurrentTarget());
        };
        l->onTouchEnded = [this, restore](Touch* t, Event* ev) {
            Node* row = ev->getCurrentTarget();
            restore(row);
            if (!hits(row, t->getLocation())) return;
            if (t->getLocation().distance(t->getStartLocation()) > kTapSlop) return;
            // By name: the port this entry shows, never another that a scan put at its place.
            const int i = row->getTag();
            if (i < 0 || i >= static_cast<int>(panels.portListNames.size())) return;
            const std::string name = panels.portListNames[i];
            TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
            for (int k = 0; k < static_cast<int>(serial->ports.size()); ++k)
                if (serial->ports.at(k)->portName == name) choosePort(k);
            panelkit::closeLater(this, [this] { closePortList(); });
        };
        // A touch the system cancels was no choice.
        l->onTouchCancelled = [restore](Touch*, Event* ev) { restore(ev->getCurrentTarget()); };
        getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, row);
        panels.portListListeners.pushBack(l);
    }
    // What the board said, at the foot of the palette's side, where no entry ever lies.
    answer.listButton = addBoardSaidButton(popup, Vec2(25, 20));
    panelkit::pressable(answer.listButton, [this] { panelkit::closeLater(this, [this] { openBoardSaid(); }); });
    addChild(popup);
    panels.portListPopup = popup;
    panels.portListView = list;
    panels.portListOpener = opener;
    // A tap outside the entries closes the list (a tap on its title or its edge does not).
    panelkit::modal(popup, [this, panel](Touch* t) {
        if (hits(panel, t->getLocation())) return;
        panelkit::closeLater(this, [this] { closePortList(); });
    });
}

void FieldScene::closePortList() {
    panelkit::closeModal(panels.portListPopup, panels.portListListeners);
    panels.portListPopup = nullptr;
    panels.portListView = nullptr;
    answer.listButton = nullptr;
    panels.portListRows.clear();
    panels.portListNames.clear();
}
