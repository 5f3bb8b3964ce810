// After a send: a sign that it went well ("Sent to <board>" with a tick, for two seconds), the
// view of what the board said back during the send and the second after it (from the drawer
// and from the list the board box opens), and a mark on the board box when the last send
// heard nothing back. Not every board answers over the cable: silence is shown, not told as
// a failure, and the success sign stays as it is.
#include <algorithm>

#include "FieldScene.h"
#include "PanelKit.h"
#include "TavrickCardSerialManager.h"
#include "Theme.h"
#include "tr.h"

using namespace cocos2d;
using namespace theme;
using i18n::tr;

namespace {
const float kViewWidth = 640;
const float kViewHeight = 560;
const float kLineSize = 16;
const float kLineGap = 6;
const float kSentSeconds = 2.0f;
const float kButtonWidth = 200;
const float kButtonHeight = 44;
// The mark on the board box: amber, as a thing to look at, not an error.
const Color4B kMarkColour(235, 150, 20, 255);
const Color4B kNoteText(110, 110, 110, 255);
}  // namespace

LayerColor* FieldScene::addBoardSaidButton(Node* parent, const Vec2& position) {
    LayerColor* button = panelkit::wordButton(tr(kBoardSaidTitle), kWhite, kDarkText, kButtonWidth, kButtonHeight, 16);
    button->setCornerRadius(8);
    if (auto* word = dynamic_cast<Label*>(button->getChildren().at(0)))
        fitLabelText(word, word->getString(), kButtonWidth - 12);
    button->setPosition(position);
    parent->addChild(button);
    return button;
}

void FieldScene::buildAnswerControls() {
    // In the drawer's lower row, a speech bubble after the file buttons. Closed, the drawer hides
    // it below the screen's edge, where a window's letterbox bar may still take touches.
    answer.drawerButton = Sprite::create("res/r_board_said.png");
    if (answer.drawerButton) {
        answer.drawerButton->setPosition(620, kDrawerLowerRow);
        settingsLayer->addChild(answer.drawerButton);
        panelkit::pressable(answer.drawerButton, [this] { openBoardSaid(); }, [this] {
            return !settingsOpen || panels.targetPanel || panels.portListPopup || send.overlay || answer.view;
        });
    }

    // A small amber dot on the board box's top right corner, as a badge: clear of its text.
    if (boardBox) {
        auto* mark = LayerColor::create(kMarkColour, 14, 14);
        mark->setCornerRadius(7);
        const Size box = boardBox->getContentSize();
        mark->setPosition(box.width - 9, box.height - 7);
        mark->setVisible(false);
        boardBox->addChild(mark);
        answer.silentMark = mark;
    }
}

void FieldScene::answerEnded(bool heard) {
    if (answer.silentMark) answer.silentMark->setVisible(!heard);
    refreshBoardSaid();
}

void FieldScene::openBoardSaid() {
    if (answer.view) return;
    closePortList();
    auto* shade = LayerColor::create(kPanelShade, kDesignWidth, kDesignHeight);
    auto* plate = LayerColor::create(kWhite, kViewWidth, kViewHeight);
    plate->setCornerRadius(14);
    plate->setPosition((kDesignWidth - kViewWidth) / 2, (kDesignHeight - kViewHeight) / 2);
    shade->addChild(plate);

    Label* title = panelkit::textLabel(tr(kBoardSaidTitle), 26, kDarkText);
    title->setPosition(kViewWidth / 2, kViewHeight - 36);
    plate->addChild(title);

    answer.list = FieldScrollView::create(Size(kViewWidth - 48, kViewHeight - 150));
    answer.list->setDirection(FieldScrollView::Direction::VERTICAL);
    answer.list->setBounceable(false);
    answer.list->setPosition(24, 84);
    plate->addChild(answer.list);

    answer.closeButton = panelkit::wordButton(tr("Close"), kGreen, kWhite, 150, 48, 22);
    answer.closeButton->setCornerRadius(10);
    answer.closeButton->setPosition((kViewWidth - 150) / 2, 20);
    plate->addChild(answer.closeButton);

    addChild(shade);
    answer.view = shade;
    answer.shown.clear();
    refreshBoardSaid();
    // The lines of a send still heard come in as the view stays open; then it rests.
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    if (serial->isSending() || serial->isListening()) {
        shade->schedule(
            [this, shade, serial](float) {
                refreshBoardSaid();
                if (!serial->isSending() && !serial->isListening()) shade->unschedule("follow");
            },
            0.25f, "follow");
    }

    panelkit::pressable(answer.closeButton, [this] { panelkit::closeLater(this, [this] { closeBoardSaid(); }); });
    // A tap beside the plate closes the view; on it, the list scrolls.
    panelkit::modal(shade, [this, plate](Touch* t) {
        if (!hits(plate, t->getLocation())) panelkit::closeLater(this, [this] { closeBoardSaid(); });
    });
}

void FieldScene::closeBoardSaid() {
    if (!answer.view) return;
    getEventDispatcher()->removeEventListenersForTarget(answer.view, true);
    answer.view->removeFromParent();
    answer.view = nullptr;
    answer.list = nullptr;
    answer.closeButton = nullptr;
    answer.shown.clear();
}

void FieldScene::refreshBoardSaid() {
    if (!answer.view) return;
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    std::vector<std::string> lines = serial->getBoardReplies().lines();
    bool note = false;
    if (lines.empty()) {
        note = true;
        if (!answer.anySent)
            lines = {tr("Nothing has been sent to the board yet")};
        else if (serial->isSending() || serial->isListening())
            lines = {tr("Listening to the board ...")};
        else
            lines = {tr(kNothingBack)};
    }
    if (lines == answer.shown) return;
    answer.shown = lines;

    // Oldest at the top, newest at the foot, where the list opens.
    Node* container = answer.list->getContainer();
    container->removeAllChildren();
    const float width = answer.list->getViewSize().width;
    float y = 0;
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        Label* label = panelkit::textLabel("", kLineSize, note ? kNoteText : kDarkText);
        fitLabelText(label, line->empty() ? " " : *line, width - 8);
        label->setAnchorPoint(Vec2(0, 0));
        label->setPosition(4, y + kLineGap / 2);
        container->addChild(label);
        y += label->getContentSize().height + kLineGap;
    }
    const float height = std::max(y, answer.list->getViewSize().height);
    answer.list->setContentSize(Size(width, height));
    // Short lists sit at the top of the view; long ones show their newest lines.
    if (y < height)
        for (Node* child : container->getChildren()) child->setPositionY(child->getPositionY() + height - y);
    answer.list->setContentOffset(Vec2(0, 0));
}

void FieldScene::showSentSign(const std::string& board) {
    if (answer.sentSign) answer.sentSign->removeFromParent();
    auto* sign = LayerColor::create(kGreen, 10, 10);
    sign->setCornerRadius(16);
    Label* text = panelkit::textLabel("", 28, kWhite);
    fitLabelText(text, i18n::format(tr("Sent to {board}"), {{"board", board}}), 460);
    Sprite* tick = Sprite::create("res/r_sent.png");
    const float tickWidth = tick ? tick->getContentSize().width + 12 : 0;
    const Size t = text->getContentSize();
    const Size size(t.width + tickWidth + 56, std::max(t.height, 40.f) + 32);
    sign->setContentSize(size);
    if (tick) {
        tick->setPosition(28 + tick->getContentSize().width / 2, size.height / 2);
        sign->addChild(tick);
    }
    text->setAnchorPoint(Vec2(0, 0.5f));
    text->setPosition(28 + tickWidth, size.height / 2);
    sign->addChild(text);
    // Over the middle of the field, where the child looks after pressing play.
    sign->setPosition((kPaletteWidth + 860) / 2 - size.width / 2, kDesignHeight / 2 - size.height / 2);
    addChild(sign);
    answer.sentSign = sign;
    answer.sentText = text;
    sign->runAction(Sequence::create(DelayTime::create(kSentSeconds), CallFunc::create([this, sign] {
                                         if (answer.sentSign == sign) {
                                             answer.sentSign = nullptr;
                                             answer.sentText = nullptr;
                                         }
                                     }),
                                     RemoveSelf::create(), nullptr));
}
