#include "DeviceManager.h"

#include <stdexcept>

namespace {

// Checked once here so that every per-target lookup fails the same way.
std::size_t targetIndex(Target target) {
    if (target < 0 || target >= kTargetCount)
        throw std::out_of_range("DeviceManager: target out of range");
    return static_cast<std::size_t>(target);
}

bool isCardKind(CardKind kind) { return kind >= 0 && kind < kCardKindCount; }

}  // namespace

// Dov waits in sixtieths of a second, Velto in milliseconds.
const std::array<std::array<CodeLine, kCardKindCount>, kTargetCount> kCardCode = {{
    {{CodeLine("LED 1"), CodeLine("LED 0"), CodeLine("WAIT 60"), CodeLine("WAIT 180"),
      CodeLine("WAIT 300"), CodeLine("WAIT 600")}},
    {{CodeLine("led(1);"), CodeLine("led(0);"), CodeLine("sleep(1000);"), CodeLine("sleep(3000);"),
      CodeLine("sleep(5000);"), CodeLine("sleep(10000);")}},
}};

const std::array<std::vector<CodeLine>, kTargetCount> kHeaderLines = {{
    {CodeLine("NEW")},
    {CodeLine("cat uart > .")},
}};

// Storing the program takes Dov longer than the length of "SAVE 0" suggests, so it gets a
// fixed pause. Velto's Ctrl-D ends the `cat` upload and goes bare, with a fixed pause
// before the next command.
const std::array<std::vector<CodeLine>, kTargetCount> kTrailerLines = {{
    {CodeLine("SAVE 0", 1000), CodeLine("RUN")},
    {CodeLine(std::string(1, '\x04'), 2000, false), CodeLine("ms .")},
}};

DeviceManager* DeviceManager::getInstance() {
    static DeviceManager* const instance = [] {
        auto* manager = new DeviceManager;
        manager->init();
        return manager;
    }();
    return instance;
}

DeviceManager::~DeviceManager() {}

bool DeviceManager::init() {
    target = Dov;
    return true;
}

std::string DeviceManager::getCardImage(CardKind kind) const {
    return isCardKind(kind) ? kCardImages[static_cast<std::size_t>(kind)] : "";
}

CodeLine DeviceManager::getCodeLine(CardKind kind) const {
    const auto& code = kCardCode[targetIndex(target)];
    return isCardKind(kind) ? code[static_cast<std::size_t>(kind)] : CodeLine();
}

std::vector<CodeLine> DeviceManager::getHeaderLines() const {
    return kHeaderLines[targetIndex(target)];
}

std::vector<CodeLine> DeviceManager::getTrailerLines() const {
    return kTrailerLines[targetIndex(target)];
}

std::string DeviceManager::getLineTerminator() const {
    return kLineTerminators[targetIndex(target)];
}

std::string DeviceManager::getStatementSeparator() const {
    return kStatementSeparators[targetIndex(target)];
}

bool DeviceManager::usesLineNumbers() const { return kLineNumbering[targetIndex(target)]; }

std::int32_t DeviceManager::getMsPerCharacter() const {
    return kMsPerCharacter[targetIndex(target)];
}

int DeviceManager::getClosingTrailerLines() const { return kClosingTrailerLines[targetIndex(target)]; }
