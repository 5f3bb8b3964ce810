// Turning the field into the selected target's program, and the overlay shown while it
// is written to the board.
#include "tr.h"
#include <algorithm>

#include "DeviceManager.h"
#include "FieldScene.h"
#include "PanelKit.h"
#include "Theme.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;
using i18n::tr;
using namespace theme;

SendData* (*FieldScene::makeSendLine)(const std::string&, int32_t) = &SendData::create;

std::string FieldScene::sendFailureText(const std::string& port, int error) {
    using tavrick::SerialError;
    std::string why;
    switch (static_cast<SerialError>(error)) {
        case SerialError::NoPermission:
            why = tr("no permission (add your user to the dialout group)");
            break;
        case SerialError::InUse:
            why = tr("another program is using it");
            break;
        case SerialError::NotConnected:
        case SerialError::InvalidName:
        case SerialError::NotSerialPort:
            why = tr("the board is not connected");
            break;
        case SerialError::StoppedAnswering:
            why = tr("the board stopped answering");
            break;
        default:
            break;
    }
    return why.empty() ? i18n::format(tr("Could not send to {port}"), {{"port", port}})
                      : i18n::format(tr("Could not send to {port}: {why}"), {{"port", port}, {"why", why}});
}

std::vector<ProgramLine> FieldScene::programLines() const {
    FieldKinds field;
    for (const auto& row : slotRows) {
        std::array<CardKind, 2> kinds{-1, -1};
        for (ssize_t i = 0; i < row.size() && i < 2; ++i)
            if (CardSprite* card = row.at(i)->connectors[0].partner) kinds[i] = card->kind;
        field.push_back(kinds);
    }
    return buildProgramLines(field, *DeviceManager::getInstance());
}

static const char* const kNoBoardNotice = i18n::N_("No board found: plug in the board's USB cable");

void FieldScene::buildAndSend() {
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    if (serial->isSending()) return;
    // The list is being rebuilt: this press is kept and acted on when the scan ends.
    if (serial->isScanning() || serial->isRescanPending()) {
        send.playPending = true;
        return;
    }
    send.playPending = false;
    serial->sendQueue.clear();
    // A line that could not be made would vanish from the queue unseen (the queue takes no
    // null), and the board would get a program with a hole in it.
    bool complete = true;
    for (const ProgramLine& line : programLines()) {
        if (SendData* made = makeSendLine(line.text, line.delayMs)) {
            made->closing = line.closing;
            serial->sendQueue.pushBack(made);
        } else
            complete = false;
    }
    if (!complete) {
        serial->sendQueue.clear();
        showNotice(tr("Could not build the program: nothing was sent"));
        return;
    }

    // The program is built either way (it is what the board would get); with no board it goes
    // nowhere, and the child is told why. Built-in ports alone are no board: a send into one
    // would go nowhere and look like success.
    if (!serial->hasChosenPort()) {
        playSound(Sound::SendFailed);
        showNotice(tr(kNoBoardNotice));
        return;
    }
    send.portName = serial->getSelectedPortName();
    if (serial->sendQueued([this](bool sent) { hideSendingOverlay(sent); }, this)) {
        showSendingOverlay();
        // Sent all the same: the cards in slots are the program, and the child is told which are not.
        if (const int loose = looseCardCount()) showNotice(looseCardsText(loose, false), 5);
    } else {
        // Refused (the worker could not start): said, not swallowed.
        playSound(Sound::SendFailed);
        showNotice(sendFailureText(send.portName, static_cast<int>(serial->getLastError())));
    }
}

void FieldScene::stopSending() { TavrickCardSerialManager::getInstance()->stopSend(); }

void FieldScene::showSendingOverlay() {
    auto* overlay = LayerColor::create(Color4B(64, 64, 64, 64), kDesignWidth, kDesignHeight);
    addChild(overlay);
    const Size s = overlay->getContentSize();
    if (Sprite* spinner = Sprite::create("res/r_loading.png")) {
        spinner->setPosition(s.width / 2, s.height / 2);
        overlay->addChild(spinner);
        spinner->runAction(RepeatForever::create(RotateBy::create(0.2f, 45)));
    }
    // How far the send has got, so that a long program is seen to move: white on a dark
    // plate of its own, readable whatever the field beneath shows.
    send.progressPlate = LayerColor::create(Color4B(30, 30, 30, 230), 10, 10);
    send.progressPlate->setCornerRadius(14);
    overlay->addChild(send.progressPlate);
    send.progress = Label::createWithSystemFont("", kFont, 28);
    send.progress->setTextColor(Color4B(255, 255, 255, 255));
    send.progress->setPosition(s.width / 2, s.height / 2 - 90);
    overlay->addChild(send.progress);
    refreshSendProgress();
    overlay->schedule([this](float) { refreshSendProgress(); }, 0.1f, "progress");
    send.overlay = overlay;

    // Stop: the line on the wire is finished, the rest is not sent.
    send.stopButton = LayerColor::create(Color4B(200, 40, 40, 255), 140, 50);
    send.stopButton->setCornerRadius(12);
    send.stopButton->setPosition(s.width / 2 - 70, s.height / 2 - 190);
    Label* stopText = Label::createWithSystemFont(tr("Stop"), kFont, 24);
    stopText->setTextColor(Color4B(255, 255, 255, 255));
    stopText->setPosition(70, 25);
    send.stopButton->addChild(stopText);
    overlay->addChild(send.stopButton);
    panelkit::pressable(send.stopButton, [this] { stopSending(); });
    panelkit::modal(overlay);
}

void FieldScene::refreshSendProgress() {
    if (!send.progress) return;
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    const std::string text = i18n::format(tr("Sending {done} / {all}"),
                                          {{"done", std::to_string(serial->getLinesWritten())},
                                           {"all", std::to_string(serial->sendQueue.size())}});
    if (text == send.progress->getString() && send.progressPlate->getContentSize().width > 10) return;
    send.progress->setString(text);
    // Said with the board's name, which the overlay does not show.
    TavrickCardSerialData* port = serial->hasChosenPort() ? serial->ports.at(serial->selectedPort) : nullptr;
    const std::string board = port && !port->description.empty() ? port->description : send.portName;
    say(i18n::format(tr("Sending to {board}: {done} of {all}"),
                     {{"board", board},
                      {"done", std::to_string(serial->getLinesWritten())},
                      {"all", std::to_string(serial->sendQueue.size())}}));
    const Size t = send.progress->getContentSize();
    send.progressPlate->setContentSize(Size(t.width + 48, t.height + 24));
    send.progressPlate->setPosition(send.progress->getPositionX() - (t.width + 48) / 2,
                                   send.progress->getPositionY() - (t.height + 24) / 2);
}

void FieldScene::hideSendingOverlay(bool sent) {
    if (send.overlay) {
        getEventDispatcher()->removeEventListenersForTarget(send.overlay, true);
        send.overlay->removeFromParent();
        send.overlay = nullptr;
        send.progress = nullptr;
        send.progressPlate = nullptr;
        send.stopButton = nullptr;
    }
    if (sent) {
        playSound(Sound::Sent);
        say(tr("Sent"));
        return;
    }
    const tavrick::SerialError error = TavrickCardSerialManager::getInstance()->getLastError();
    if (error == tavrick::SerialError::Stopped) {
        showNotice(tr("Sending stopped"));
    } else {
        playSound(Sound::SendFailed);
        showNotice(sendFailureText(send.portName, static_cast<int>(error)));
    }
}

void FieldScene::showNotice(const std::string& text, float seconds) {
    if (sendNotice) sendNotice->removeFromParent();
    sendNotice = Label::createWithSystemFont(text, kFont, 22);
    // Over the field, clear of the palette on the left and the buttons on the right: a long
    // notice (many languages take more words than English) goes on more lines rather than
    // shrinking below what a child reads easily; only one that still does not fit (a long port
    // name has no spaces to break at) is made smaller.
    const float room = 580, lineHeight = sendNotice->getContentSize().height;
    if (sendNotice->getContentSize().width > room) {
        sendNotice->setDimensions(room, 0);
        const Size s = sendNotice->getContentSize();
        const float scale = std::min(room / s.width, 3 * lineHeight / s.height);
        if (scale < 1) sendNotice->setScale(scale);
    }
    sendNotice->setTextColor(Color4B(200, 30, 30, 255));
    const Size visible = Director::getInstance()->getVisibleSize();
    sendNotice->setAnchorPoint(Vec2(0.5f, 1));
    sendNotice->setPosition((255 + 860) / 2.f, visible.height - 40 + lineHeight / 2);
    addChild(sendNotice);
    say(text);
    Label* notice = sendNotice;
    sendNotice->runAction(Sequence::create(DelayTime::create(seconds), CallFunc::create([this, notice] {
                                               if (sendNotice == notice) sendNotice = nullptr;
                                           }),
                                           RemoveSelf::create(), nullptr));
}
