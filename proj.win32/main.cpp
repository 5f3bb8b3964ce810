// The Windows entry point. One optional argument: a program file (.cards) to open, as
// Explorer passes it when the file type is associated with the program.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "AppDelegate.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv && argc == 2) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, nullptr, 0, nullptr, nullptr);
        if (n > 1) {
            std::string path(static_cast<size_t>(n - 1), '\0');
            WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, &path[0], n, nullptr, nullptr);
            AppDelegate::setStartFile(path);
        }
    }
    if (argv) LocalFree(argv);
    AppDelegate::addResourceFolders();
    // A second start with the same field hands its file to the copy already open.
    if (!AppDelegate::claimField()) return 0;
    AppDelegate app;
    const int status = cocos2d::Application::getInstance()->run();
    AppDelegate::releaseField();
    // A program started from Explorer has no console: a start that ended without its window
    // says why in a box.
    const std::string& problem = AppDelegate::getStartProblem();
    if (status != 0 && !problem.empty()) {
        const int n = MultiByteToWideChar(CP_UTF8, 0, problem.c_str(), -1, nullptr, 0);
        if (n > 1) {
            std::wstring text(static_cast<size_t>(n - 1), L'\0');
            MultiByteToWideChar(CP_UTF8, 0, problem.c_str(), -1, &text[0], n);
            MessageBoxW(nullptr, (L"Tavrick Cards could not start: " + text).c_str(), L"Tavrick Cards",
                        MB_OK | MB_ICONERROR);
        }
    }
    return status;
}
