// Turning the field into the selected target's program, and the overlay shown while it
// is written to the board.
#include "DeviceManager.h"
#include "FieldScene.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;

std::string FieldScene::sendFailureText(const std::string& port, int error) {
    using tavrick::SerialError;
    std::string why;
    switch (static_cast<SerialError>(error)) {
        case SerialError::NoPermission:
            why = ": no permission (add your user to the dialout group)";
            break;
        case SerialError::InUse:
            why = ": another program is using it";
            break;
        case SerialError::NotConnected:
        case SerialError::InvalidName:
        case SerialError::NotSerialPort:
            why = ": the board is not connected";
            break;
        case SerialError::StoppedAnswering:
            why = ": the board stopped answering";
            break;
        default:
            break;
    }
    return "Could not send to " + port + why;
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

void FieldScene::buildAndSend() {
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    if (serial->isSending()) return;
    serial->sendQueue.clear();
    for (const ProgramLine& line : programLines())
        serial->sendQueue.pushBack(SendData::create(line.text, line.delayMs));

    const bool known = !serial->ports.empty() && serial->selectedPort >= 0 &&
                       serial->selectedPort < serial->ports.size();
    sendingPortName = known ? serial->ports.at(serial->selectedPort)->portName : std::string();
    if (serial->sendQueued([this](bool sent) { hideSendingOverlay(sent); })) showSendingOverlay();
}

void FieldScene::showSendingOverlay() {
    auto* overlay = LayerColor::create(Color4B(64, 64, 64, 64), 1024, 768);
    addChild(overlay);
    const Size s = overlay->getContentSize();
    if (Sprite* spinner = Sprite::create("res/r_loading.png")) {
        spinner->setPosition(s.width / 2, s.height / 2);
        overlay->addChild(spinner);
        spinner->runAction(RepeatForever::create(RotateBy::create(0.2f, 45)));
    }
    // How far the send has got, so that a long program is seen to move.
    sendProgress = Label::createWithSystemFont("", "Futura-Medium", 24);
    sendProgress->setTextColor(Color4B(255, 255, 255, 255));
    sendProgress->setPosition(s.width / 2, s.height / 2 - 90);
    overlay->addChild(sendProgress);
    refreshSendProgress();
    overlay->schedule([this](float) { refreshSendProgress(); }, 0.1f, "progress");
    sendingOverlay = overlay;

    auto* l = EventListenerTouchOneByOne::create();
    l->setSwallowTouches(true);
    l->onTouchBegan = [](Touch*, Event*) { return true; };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, overlay);
}

void FieldScene::refreshSendProgress() {
    if (!sendProgress) return;
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    sendProgress->setString("Sending " + std::to_string(serial->getLinesWritten()) + " / " +
                            std::to_string(serial->sendQueue.size()));
}

void FieldScene::hideSendingOverlay(bool sent) {
    if (sendingOverlay) {
        getEventDispatcher()->removeEventListenersForTarget(sendingOverlay, false);
        sendingOverlay->removeFromParent();
        sendingOverlay = nullptr;
        sendProgress = nullptr;
    }
    if (!sent)
        showSendNotice(sendFailureText(
            sendingPortName, static_cast<int>(TavrickCardSerialManager::getInstance()->getLastError())));
}

void FieldScene::showSendNotice(const std::string& text) {
    if (sendNotice) sendNotice->removeFromParent();
    sendNotice = Label::createWithSystemFont(text, "Futura-Medium", 22);
    // A long port name must not run under the palette or the buttons.
    const float room = 580;
    if (sendNotice->getContentSize().width > room) sendNotice->setScale(room / sendNotice->getContentSize().width);
    sendNotice->setTextColor(Color4B(200, 30, 30, 255));
    const Size visible = Director::getInstance()->getVisibleSize();
    // Over the field, clear of the palette on the left and the buttons on the right.
    sendNotice->setPosition((255 + 860) / 2.f, visible.height - 40);
    addChild(sendNotice);
    Label* notice = sendNotice;
    sendNotice->runAction(Sequence::create(DelayTime::create(3.0f), CallFunc::create([this, notice] {
                                               if (sendNotice == notice) sendNotice = nullptr;
                                           }),
                                           RemoveSelf::create(), nullptr));
}
