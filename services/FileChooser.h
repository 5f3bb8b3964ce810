#pragma once
// The desktop's own file chooser for program files, one backend a file: the desktop portal
// over D-Bus (chooser_portal.cpp), zenity or kdialog (chooser_dialogs.cpp), the common
// file dialog on Windows (chooser_win32.cpp). Knows nothing of the engine.
#include <cstdint>
#include <functional>
#include <string>

enum class FileChooserMode { Open, Save };
// Called with the path, or with "" and why not (`problem` empty when the user just cancelled).
using FileChooserDone = std::function<void(const std::string& path, const std::string& problem)>;
// Asks the user for a program file to open or to save as; `done` comes on the main thread.
using FileChooser = std::function<void(FileChooserMode mode, const std::string& suggestedName, FileChooserDone done)>;

namespace services {

// The program's window, so that a dialog opens above it and never hidden behind a window
// that fills the screen: "x11" with its window id, "windows" with its HWND, or nothing known.
struct ParentWindow {
    std::string system;
    std::uintptr_t id = 0;
    // The portal's "parent_window": "x11:<hex id>", or "" when there is none to give.
    std::string portalHandle() const;
};

extern const char* const kNoChooser;

// Asks on the calling thread and returns when the user has answered: the chosen path, or ""
// (with `problem` set when no chooser could be shown at all).
std::string chooseFile(FileChooserMode mode, const std::string& suggestedName, const ParentWindow& parent,
                       std::string& problem);

// The chooser the program uses: asks where the desktop wants it asked (a thread of its own on
// Linux, so that the window keeps drawing; the modal dialog on the main thread on Windows)
// and hands the answer to `toMainThread`.
FileChooser desktopFileChooser(std::function<ParentWindow()> parent,
                               std::function<void(std::function<void()>)> toMainThread);

}  // namespace services
