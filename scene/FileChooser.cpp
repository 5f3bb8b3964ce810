// The desktop's own file chooser for program files. On Linux it is a separate program
// (zenity, else kdialog), run on a thread of its own so that the window keeps drawing; the
// answer comes back on the main thread. On Windows it is the common file dialog.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
#include <cerrno>

#include "FieldScene.h"

#ifdef _WIN32
#include <windows.h>
#include <commdlg.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace cocos2d;

namespace {

const char* const kNoChooser = "No file chooser found: install zenity or kdialog";

#ifdef _WIN32

std::wstring widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string narrow(const wchar_t* w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string s(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    return s;
}

// The dialog is modal and runs its own message loop, so it is called on the main thread.
std::string chooseWindows(FileChooserMode mode, const std::string& suggested) {
    wchar_t file[MAX_PATH * 4] = L"";
    const std::wstring name = widen(suggested);
    if (name.size() < MAX_PATH) wcscpy_s(file, name.c_str());
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = L"Card programs (*.cards)\0*.cards\0All files\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file / sizeof file[0];
    ofn.lpstrDefExt = L"cards";
    BOOL ok;
    if (mode == FileChooserMode::Save) {
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        ok = GetSaveFileNameW(&ofn);
    } else {
        ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        ok = GetOpenFileNameW(&ofn);
    }
    return ok ? narrow(file) : std::string();
}

#else

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

// "" with `problem` set when there is no chooser at all.
std::string chooseLinux(FileChooserMode mode, const std::string& suggested, std::string& problem) {
    const char* home = std::getenv("HOME");
    const std::string start = std::string(home ? home : ".") + "/" + suggested;
    const bool save = mode == FileChooserMode::Save;
    if (onPath("zenity")) {
        std::vector<std::string> args = {"zenity", "--file-selection", "--title",
                                         save ? "Save the cards as" : "Open cards",
                                         "--file-filter", "Card programs | *.cards", "--file-filter", "All files | *"};
        if (save) {
            args.push_back("--save");
            args.push_back("--confirm-overwrite");
            args.push_back("--filename=" + start);
        }
        return runForLine(args);
    }
    if (onPath("kdialog")) {
        if (save) return runForLine({"kdialog", "--getsavefilename", start, "*.cards|Card programs"});
        return runForLine({"kdialog", "--getopenfilename", home ? home : ".", "*.cards|Card programs"});
    }
    problem = kNoChooser;
    return std::string();
}

#endif

}  // namespace

FileChooser FieldScene::defaultFileChooser() {
    return [](FileChooserMode mode, const std::string& suggested,
              std::function<void(const std::string&, const std::string&)> done) {
#ifdef _WIN32
        done(chooseWindows(mode, suggested), std::string());
#else
        std::thread([mode, suggested, done] {
            std::string problem;
            const std::string path = chooseLinux(mode, suggested, problem);
            Director::getInstance()->getScheduler()->performFunctionInCocosThread(
                [done, path, problem] { done(path, problem); });
        }).detach();
#endif
    };
}
