#pragma once
// What the program keeps between runs: a small JSON file in the user's folder for the program.
#include <string>

namespace tavrick {

struct Settings {
    static constexpr const char* kFileName = "settings.json";

    std::string port;         // the port last chosen by hand, by name; "" for none
    bool fullscreen = false;  // the window filled the screen when last left
    std::string language;     // the screen's language chosen by hand ("ja"); "" follows the system
    // Speech turned on or off by hand: -1 never (it then follows the system's screen reader).
    int speak = -1;
    bool sound = true;        // the short sounds of the field and the send

    // From `folder` (ending in a separator). A missing, unreadable or malformed file gives the
    // defaults, with `problem` saying why when the file was there but could not be used. Asked
    // for `keptAs`, such a file is moved aside as the field's is ("settings.json.bad-<date-time>",
    // its path there; "" if it could not be moved), so that it is told once and never lost.
    static Settings load(const std::string& folder, std::string* problem = nullptr,
                         std::string* keptAs = nullptr);
    // Keeps what other versions wrote beside our keys (an unusable file is moved aside first,
    // not written over). False (with `error`) when it could not.
    bool save(const std::string& folder, std::string& error) const;
};

}  // namespace tavrick
