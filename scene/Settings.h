#pragma once
// What the program keeps between runs: a small JSON file in the user's folder for the program.
#include <cstdio>
#include <string>

namespace tavrick {

// fopen for a UTF-8 path, as SDL gives them (the folder for the program's files). On Windows
// the narrow fopen would read it in the code page and miss a folder such as C:\Users\Zoë.
FILE* openFile(const std::string& path, const char* mode);

// Writes `text` to `path` so that a crash or a power cut leaves either the old file or the new
// one whole: a temporary file beside it, flushed to disk, then renamed over it.
bool writeFileAtomically(const std::string& path, const std::string& text, std::string& error);
// For tests: called once the temporary file is whole on disk, just before the rename.
void setBeforeRenameHook(void (*hook)());

struct Settings {
    static constexpr const char* kFileName = "settings.json";

    std::string port;         // the port last chosen by hand, by name; "" for none
    bool fullscreen = false;  // the window filled the screen when last left

    // From `folder` (ending in a separator). A missing, unreadable or malformed file gives the
    // defaults, with `problem` saying why when the file was there but could not be used.
    static Settings load(const std::string& folder, std::string* problem = nullptr);
    // Keeps what other versions wrote beside our keys. False (with `error`) when it could not.
    bool save(const std::string& folder, std::string& error) const;
};

}  // namespace tavrick
