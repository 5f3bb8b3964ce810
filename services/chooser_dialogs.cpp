// zenity or kdialog, whichever is installed, run without a shell; the first line each
// prints is the chosen path.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "chooser_backends.h"

namespace services {
namespace {

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return false;
}

// Runs the program with its arguments (no shell) and returns the first line it prints.
std::string runForLine(const std::vector<std::string>& args) {
    int out[2];
    if (::pipe(out) != 0) return std::string();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(out[0]);
        ::close(out[1]);
        return std::string();
    }
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // A cancelled dialog exits non-zero.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::string();
    const size_t nl = text.find('\n');
    return nl == std::string::npos ? text : text.substr(0, nl);
}

}  // namespace

bool chooseWithDialog(FileChooserMode mode, const std::string& suggested, const ParentWindow& parent,
                      std::string& path) {
    const char* home = std::getenv("HOME");
    const std::string start = std::string(home ? home : ".") + "/" + suggested;
    const bool save = mode == FileChooserMode::Save;
    const std::string owner = parent.system == "x11" && parent.id ? std::to_string(parent.id) : std::string();
    if (onPath("zenity")) {
        std::vector<std::string> args = {"zenity", "--file-selection", "--title",
                                         save ? "Save the cards as" : "Open cards",
                                         "--file-filter", "Card programs | *.cards", "--file-filter", "All files | *"};
        if (!owner.empty()) args.push_back("--attach=" + owner);
        if (save) {
            args.push_back("--save");
            args.push_back("--confirm-overwrite");
            args.push_back("--filename=" + start);
        }
        path = runForLine(args);
        return true;
    }
    if (onPath("kdialog")) {
        std::vector<std::string> args = {"kdialog"};
        if (!owner.empty()) args.insert(args.end(), {"--attach", owner});
        if (save)
            args.insert(args.end(), {"--getsavefilename", start, "*.cards|Card programs"});
        else
            args.insert(args.end(), {"--getopenfilename", home ? home : ".", "*.cards|Card programs"});
        path = runForLine(args);
        return true;
    }
    return false;
}

}  // namespace services
