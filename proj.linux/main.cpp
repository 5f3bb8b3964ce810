// The product: no command line, one window, runs until the window is closed.
#include "AppDelegate.h"

int main() {
    AppDelegate::addResourceFolders();
    AppDelegate app;
    return cocos2d::Application::getInstance()->run();
}
