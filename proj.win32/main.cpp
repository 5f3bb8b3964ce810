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
    AppDelegate app;
    return cocos2d::Application::getInstance()->run();
}
