// The Windows entry point: the four arguments are not used.
#include <windows.h>

#include "AppDelegate.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    AppDelegate::addResourceFolders();
    AppDelegate app;
    return cocos2d::Application::getInstance()->run();
}
