#pragma once
// The field as data: what the autosave file and program files hold, and what one undo step
// restores. Knows nothing of sprites, so it reads and writes without a screen.
#include <string>
#include <vector>

namespace tavrick {

struct CardRecord {
    int kind = 0;
    float x = 0, y = 0;  // centre, in field content points
    int row = -1;        // slot row from the top, 0..29; -1: the card lies loose
    int side = 0;        // 0 left slot, 1 right slot

    bool operator==(const CardRecord& o) const {
        return kind == o.kind && x == o.x && y == o.y && row == o.row && side == o.side;
    }
};

struct FieldDocument {
    static constexpr int kVersion = 1;
    static constexpr int kRows = 30;
    static constexpr const char* kAutosaveName = "field.json";
    static constexpr const char* kProgramExtension = ".cards";
    // More than a child lays in reason (a full field is 60): a file with more is not a program.
    static constexpr int kMaxCards = 10000;

    int target = 0;
    std::vector<CardRecord> cards;  // in the order they were laid
    // Where the field was scrolled to; not part of the program, so not compared.
    bool hasView = false;
    float offsetX = 0, offsetY = 0, zoom = 1;

    // Same cards in the same places and slots, same target.
    bool sameField(const FieldDocument& o) const { return target == o.target && cards == o.cards; }

    // `path` as a program file is saved: with ".cards" added unless it already ends so, in
    // any mix of capitals ("lesson.CARDS" stays as it is).
    static std::string withProgramExtension(const std::string& path);

    std::string toJson() const;
    // False with `problem` for anything this version cannot take whole: not JSON, a newer
    // format, an unknown kind, a row or side that does not exist, two cards in one slot, more
    // than kMaxCards cards. `notAProgram` is set when the text is no card program at all (not
    // the format, or more cards than a program holds), left false when it is a damaged one.
    static bool fromJson(const std::string& text, FieldDocument& out, std::string& problem,
                         bool* notAProgram = nullptr);

    enum class ReadResult {
        Read,
        Missing,          // no file by that name
        NotAProgramFile,  // a folder, a pipe, a device, over kMaxProgramFileBytes, another format
        Unreadable,       // no permission, a read error
        Damaged,          // a card program this version cannot take (cut short, a newer format...)
    };
    // The one way a field or program file is read: looked at before it is read (files.h,
    // readSmallFile), at most kMaxProgramFileBytes, then taken whole or not at all. Anything but
    // Read leaves `out` as it was and says why in `problem`.
    static ReadResult readFile(const std::string& path, FieldDocument& out, std::string& problem);
};

}  // namespace tavrick
