// The page's file chooser. Open: the browser's open picker (the File System Access API where
// there is one, a file input otherwise); the chosen file is copied into the page's file system
// and its path handed back. Save: the browser's save picker where there is one; the path
// handed back is a place in the page's file system, and the file written there goes out to
// the picked file, or as a download where no picker exists (chooser_web.js).
#include <emscripten.h>

#include <cstdio>
#include <map>

#include "FileChooser.h"

namespace services {

const char* const kNoChooser = "The browser could not show a file chooser";

std::string ParentWindow::portalHandle() const { return std::string(); }

std::string chooseFile(FileChooserMode, const std::string&, const ParentWindow&, std::string& problem) {
    problem = kNoChooser;  // a page cannot wait for the user: only the asynchronous chooser
    return std::string();
}

namespace {
struct Pending {
    FileChooserDone done;
    std::function<void(std::function<void()>)> toMainThread;
};
std::map<int, Pending>& pending() {
    static std::map<int, Pending> asked;
    return asked;
}
int s_nextId = 1;
}  // namespace

FileChooser desktopFileChooser(std::function<ParentWindow()>, std::function<void(std::function<void()>)> toMainThread) {
    return [toMainThread](FileChooserMode mode, const std::string& suggested, FileChooserDone done) {
        const int id = s_nextId++;
        pending()[id] = {std::move(done), toMainThread};
        EM_ASM({ Module.tavrickChooser.ask($0, $1, UTF8ToString($2)); }, id, mode == FileChooserMode::Save ? 1 : 0,
               suggested.c_str());
    };
}

}  // namespace services

// The browser's answer: a path in the page's file system, or "" with why not ("" when the
// user cancelled).
extern "C" EMSCRIPTEN_KEEPALIVE void tavrick_chooser_answer(int id, const char* path, const char* problem) {
    auto it = services::pending().find(id);
    if (it == services::pending().end()) return;
    services::Pending asked = std::move(it->second);
    services::pending().erase(it);
    std::string chosen = path ? path : "", why = problem ? problem : "";
    if (!asked.done) return;
    auto done = std::move(asked.done);
    if (asked.toMainThread)
        asked.toMainThread([done, chosen, why] { done(chosen, why); });
    else
        done(chosen, why);
}
