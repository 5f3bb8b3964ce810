#pragma once
// The card catalogue: the six card kinds, the two target boards, the text each card
// becomes on each target, the lines that frame every program, and the singleton that
// remembers the selected target and answers every lookup for it.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "CCRef.h"

// Plain 32-bit indices rather than enum types: cards store the kind as an int, the target
// panel writes 0 or 1, and every table is indexed by them directly.
typedef std::int32_t CardKind;
enum : CardKind { LedOn = 0, LedOff = 1, Wait1 = 2, Wait3 = 3, Wait5 = 4, Wait10 = 5 };
constexpr CardKind kCardKindCount = 6;

typedef std::int32_t Target;
enum : Target { Dov = 0, Velto = 1 };
constexpr Target kTargetCount = 2;

// One line of a program: its bytes without terminator, the pause after it (-1: derived
// from the line's length by the target's pacing factor) and whether the target's line
// terminator follows it.
struct CodeLine {
    std::string text;
    std::int32_t delayMs = -1;
    bool appendTerminator = true;

    CodeLine() = default;
    explicit CodeLine(std::string text) : text(std::move(text)) {}
    CodeLine(std::string text, std::int32_t delayMs) : text(std::move(text)), delayMs(delayMs) {}
    CodeLine(std::string text, std::int32_t delayMs, bool appendTerminator)
        : text(std::move(text)), delayMs(delayMs), appendTerminator(appendTerminator) {}

    bool operator==(const CodeLine& o) const {
        return text == o.text && delayMs == o.delayMs && appendTerminator == o.appendTerminator;
    }
    bool operator!=(const CodeLine& o) const { return !(*this == o); }
};

// Indexed by CardKind.
inline constexpr std::array<const char*, kCardKindCount> kCardImages = {
    "res/r_led1.png", "res/r_led0.png",  "res/r_wait1.png",
    "res/r_wait3.png", "res/r_wait5.png", "res/r_wait10.png"};
// Indexed by Target.
inline constexpr std::array<const char*, kTargetCount> kTargetImages = {"res/r_to_dov.png",
                                                                        "res/r_to_velto.png"};
// The per-target tables below are indexed [target] (and kCardCode [target][kind]).
extern const std::array<std::array<CodeLine, kCardKindCount>, kTargetCount> kCardCode;
extern const std::array<std::vector<CodeLine>, kTargetCount> kHeaderLines;
extern const std::array<std::vector<CodeLine>, kTargetCount> kTrailerLines;
inline constexpr std::array<const char*, kTargetCount> kLineTerminators = {"\r\n", "\n"};
// Put between two cards of one line.
inline constexpr std::array<const char*, kTargetCount> kStatementSeparators = {":", ""};
// Whether a line begins with its number and one space.
inline constexpr std::array<bool, kTargetCount> kLineNumbering = {true, false};
// Milliseconds of pause per byte sent, for lines whose pause is derived.
inline constexpr std::array<std::int32_t, kTargetCount> kMsPerCharacter = {40, 0};
// How many trailer lines, from the first, close what the header opened. A stopped send still
// sends them once the header has gone out: Velto's Ctrl-D ends the upload that
// "cat uart > ." began, so the board does not keep a half-received script open. Dov's
// header opens nothing (and "SAVE 0", "RUN" must not follow a stop).
inline constexpr std::array<int, kTargetCount> kClosingTrailerLines = {0, 1};

// Created on first use, never destroyed; main thread only. Every per-target lookup reads
// the current `target` and throws std::out_of_range when it is not 0 or 1.
class DeviceManager : public cocos2d::Ref {
public:
    static DeviceManager* getInstance();

    ~DeviceManager() override;
    // Selects Dov: nothing survives between runs.
    virtual bool init();

    // Empty for a kind outside 0..5; does not depend on the target.
    std::string getCardImage(CardKind kind) const;
    // The empty line (no text, derived pause, terminator) for a kind outside 0..5.
    CodeLine getCodeLine(CardKind kind) const;
    std::vector<CodeLine> getHeaderLines() const;
    std::vector<CodeLine> getTrailerLines() const;
    std::string getLineTerminator() const;
    std::string getStatementSeparator() const;
    bool usesLineNumbers() const;
    std::int32_t getMsPerCharacter() const;
    int getClosingTrailerLines() const;

    Target target = Dov;

protected:
    DeviceManager() = default;
};
