// Turning the field into the selected target's program, and the overlay shown while it
// is written to the board.
#include <algorithm>
#include <cstdio>

#include "tr.h"
#include "DeviceManager.h"
#include "FieldScene.h"
#include "PanelKit.h"
#include "Theme.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;
using i18n::tr;
using namespace theme;

SendData* (*FieldScene::makeSendLine)(const std::string&, int32_t) = &SendData::create;

// What the child (or the teacher beside them) can do about it, in plain words; the device's
// own name and the system's words go to standard error, not onto the screen.
std::string FieldScene::sendFailureText(int error) {
    using tavrick::SerialError;
    switch (static_cast<SerialError>(error)) {
        case SerialError::NoPort:
        case SerialError::NotConnected:
        case SerialError::InvalidName:
        case SerialError::NotSerialPort:
            return tr("The board is not connected. Check the cable.");
        case SerialError::NoPermission:
            return tr("This computer does not let the program use the board. Ask a grown-up to add "
                      "your user to the \"dialout\" group.");
        case SerialError::InUse:
            return tr("Another program is using the board. Close it and try again.");
        case SerialError::StoppedAnswering:
            return tr("The board stopped answering. Unplug it, plug it in again and try again.");
        case SerialError::ConfigFailed:
            return tr("This port cannot talk to the board. Choose another port.");
        case SerialError::AccessRefused:
            return tr("The browser did not let the page use the board. Allow it and try again.");
        case SerialError::Stopped:
            return tr("Sending stopped");
        default:
            return tr("Sending to the board did not work. Try again.");
    }
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
    if (!tavrick::serialLinkAvailable()) {
        showNotice(tr("Sending to a board needs a browser with Web Serial, such as Chrome or Edge"), 5);
        return;
    }
    if (!serial->hasChosenPort()) {
        playSound(Sound::SendFailed);
        showNotice(tr(kNoBoardNotice));
        return;
    }
    send.portName = serial->getSelectedPortName();
    TavrickCardSerialData* board = serial->ports.at(serial->selectedPort);
    answer.boardName = board->description.empty() ? board->portName : board->description;
    if (serial->sendQueued([this](bool sent) { hideSendingOverlay(sent); }, this)) {
        answer.anySent = true;
        if (answer.silentMark) answer.silentMark->setVisible(false);
        showSendingOverlay();
        // Sent all the same: the cards in slots are the program, and the child is told which are not.
        if (const int loose = looseCardCount()) showNotice(looseCardsText(loose, false), 5);
    } else {
        // Refused (the worker could not start): said, not swallowed.
        tellSendFailure();
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
        showSentSign(answer.boardName);
    } else {
        tellSendFailure();
    }
}

void FieldScene::tellSendFailure() {
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    const tavrick::SerialError error = serial->getLastError();
    if (error != tavrick::SerialError::Stopped) {
        std::fprintf(stderr, "tavrick-cards: could not send to %s: %s\n", send.portName.c_str(),
                     serial->getLastErrorDetail().c_str());
        playSound(Sound::SendFailed);
    }
    showNotice(sendFailureText(static_cast<int>(error)));
}

void FieldScene::showNotice(const std::string& text, float seconds) {
    closeNotice();
    // White on a dark plate of its own, large, readable whatever the field beneath shows;
    // over the field, clear of the palette on the left and the buttons on the right.
    const float room = 540;
    sendNotice = Label::createWithSystemFont(text, kFont, 24, Size(room, 0), TextHAlignment::CENTER);
    sendNotice->setTextColor(kWhite);
    // Counted in characters, not bytes: a short notice in Japanese is as short as in English.
    size_t characters = 0;
    for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
    notice.staysUntilTapped = characters > kShortNoticeCharacters;
    Label* hint = nullptr;
    if (notice.staysUntilTapped) {
        hint = Label::createWithSystemFont(tr("Tap to close"), kFont, 15);
        hint->setTextColor(Color4B(200, 200, 200, 255));
    }
    // The plate fits the text. A long notice (many languages take more words than English)
    // goes on more lines rather than shrinking below what a child reads easily; only a word
    // that still does not fit (a long file name has no spaces to break at) makes it smaller.
    float textWidth = 0;
    {
        Label* probe = Label::createWithSystemFont(text, kFont, 24);
        textWidth = std::min(room, probe->getContentSize().width);
    }
    float scale = 1;
    if (sendNotice->getContentSize().width > room) {
        scale = room / sendNotice->getContentSize().width;
        sendNotice->setScale(scale);
    }
    const Size t(textWidth, sendNotice->getContentSize().height * scale);
    const float hintHeight = hint ? hint->getContentSize().height + 6 : 0;
    const Size size(std::max(t.width, hint ? hint->getContentSize().width : 0.f) + 48, t.height + hintHeight + 28);
    notice.plate = LayerColor::create(Color4B(40, 40, 40, 235), size.width, size.height);
    notice.plate->setCornerRadius(14);
    notice.plate->setPosition((kPaletteWidth + 860) / 2 - size.width / 2, kDesignHeight - 24 - size.height);
    sendNotice->setPosition(size.width / 2, size.height - 14 - t.height / 2);
    notice.plate->addChild(sendNotice);
    if (hint) {
        hint->setPosition(size.width / 2, 12 + hint->getContentSize().height / 2);
        notice.plate->addChild(hint);
    }
    addChild(notice.plate);
    say(text);
    // A tap on the plate closes it; elsewhere, touches go on to the screen.
    LayerColor* plate = notice.plate;
    auto* tap = EventListenerTouchOneByOne::create();
    tap->setSwallowTouches(true);
    tap->onTouchBegan = [plate](Touch* touch, Event*) { return hits(plate, touch->getLocation()); };
    tap->onTouchEnded = [this, plate](Touch*, Event*) {
        panelkit::closeLater(this, [this, plate] {
            if (notice.plate == plate) closeNotice();
        });
    };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(tap, plate);
    if (notice.staysUntilTapped) return;
    plate->runAction(Sequence::create(DelayTime::create(seconds), CallFunc::create([this, plate] {
                                          if (notice.plate == plate) closeNotice();
                                      }),
                                      nullptr));
}

void FieldScene::closeNotice() {
    if (!notice.plate) return;
    getEventDispatcher()->removeEventListenersForTarget(notice.plate, true);
    // Not removed from inside its own action: the plate goes on the next step.
    LayerColor* plate = notice.plate;
    plate->setVisible(false);
    plate->runAction(RemoveSelf::create());
    notice.plate = nullptr;
    notice.staysUntilTapped = false;
    sendNotice = nullptr;
}
