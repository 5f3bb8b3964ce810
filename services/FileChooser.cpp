#include "FileChooser.h"

#include <cstdio>
#include <thread>

namespace services {

const char* const kNoChooser = "No file chooser found: install zenity or kdialog";

std::string ParentWindow::portalHandle() const {
    if (system != "x11" || id == 0) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "x11:%lx", static_cast<unsigned long>(id));
    return text;
}

FileChooser desktopFileChooser(std::function<ParentWindow()> parent,
                               std::function<void(std::function<void()>)> toMainThread) {
    return [parent, toMainThread](FileChooserMode mode, const std::string& suggested, FileChooserDone done) {
        const ParentWindow owner = parent ? parent() : ParentWindow{};
#ifdef _WIN32
        // The dialog is modal and runs its own message loop: it belongs on the main thread.
        (void)toMainThread;
        std::string problem;
        const std::string path = chooseFile(mode, suggested, owner, problem);
        done(path, problem);
#else
        std::thread([mode, suggested, owner, done, toMainThread] {
            std::string problem;
            const std::string path = chooseFile(mode, suggested, owner, problem);
            toMainThread([done, path, problem] { done(path, problem); });
        }).detach();
#endif
    };
}

}  // namespace services
