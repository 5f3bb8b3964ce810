#pragma once
// The program text of a field for the selected target: the lines a send carries, each
// with its bytes and the pause after it. One builder for the send and the on-screen board,
// so that what is tried is exactly what is sent.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "DeviceManager.h"

struct ProgramLine {
    std::string text;       // the bytes, terminator included where one is due
    std::int32_t delayMs;   // pause after the line; 0 = none
    int row;                // the field row (0 = line 10) a card line comes from; -1 for header and trailer
    bool closing = false;   // closes what the header opened: sent even after a stop
};

// The field as kinds: 30 rows of two slots, left first; -1 marks an empty slot.
typedef std::vector<std::array<CardKind, 2>> FieldKinds;

// Header, one line per row that holds a card (numbered by its position on line-numbered
// targets), trailer.
std::vector<ProgramLine> buildProgramLines(const FieldKinds& field, const DeviceManager& devices);
