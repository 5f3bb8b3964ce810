#include "ProgramText.h"

namespace {

// Header and trailer lines: the text, its terminator if due, and its fixed or derived pause.
ProgramLine fixedLine(const CodeLine& line, const DeviceManager& devices) {
    std::string text = line.text;
    if (line.appendTerminator) text += devices.getLineTerminator();
    const std::int32_t pause = line.delayMs >= 0
                                   ? line.delayMs
                                   : static_cast<std::int32_t>(text.size()) * devices.getMsPerCharacter();
    return ProgramLine{text, pause, -1};
}

}  // namespace

std::vector<ProgramLine> buildProgramLines(const FieldKinds& field, const DeviceManager& devices) {
    std::vector<ProgramLine> lines;
    for (const CodeLine& h : devices.getHeaderLines()) lines.push_back(fixedLine(h, devices));

    int lineNumber = 10;
    for (size_t r = 0; r < field.size(); ++r) {
        std::string buffer;
        bool started = false, lastTerminator = true;
        std::int32_t sum = 0;
        for (CardKind kind : field[r]) {
            if (kind < 0) continue;
            const CodeLine c = devices.getCodeLine(kind);
            std::string piece;
            if (started) {
                piece = devices.getStatementSeparator() + c.text;
            } else if (devices.usesLineNumbers()) {
                piece = std::to_string(lineNumber) + " " + c.text;
                started = true;
            } else {
                piece = c.text;
                started = true;
            }
            sum += c.delayMs < 0 ? static_cast<std::int32_t>(piece.size()) * devices.getMsPerCharacter()
                                 : c.delayMs;
            lastTerminator = c.appendTerminator;
            buffer += piece;
        }
        if (!buffer.empty()) {
            if (lastTerminator) {
                const std::string t = devices.getLineTerminator();
                buffer += t;
                sum += static_cast<std::int32_t>(t.size()) * devices.getMsPerCharacter();
            }
            lines.push_back(ProgramLine{buffer, sum, static_cast<int>(r)});
        }
        lineNumber += 10;  // positional: an empty row keeps its number
    }

    const std::vector<CodeLine> trailer = devices.getTrailerLines();
    for (size_t i = 0; i < trailer.size(); ++i) {
        lines.push_back(fixedLine(trailer[i], devices));
        lines.back().closing = static_cast<int>(i) < devices.getClosingTrailerLines();
    }
    return lines;
}
