// The product: one window, runs until the window is closed. One optional argument: a program
// file (.cards) to open, as a file manager passes it.
#include <cstdio>

#include "AppDelegate.h"

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fprintf(stderr, "usage: tavrick-cards [PROGRAM.cards]\n");
        return 2;
    }
    if (argc == 2) AppDelegate::setStartFile(argv[1]);
    AppDelegate::addResourceFolders();
    // A second start with the same field hands its file to the copy already open.
    if (!AppDelegate::claimField()) return 0;
    AppDelegate app;
    const int status = cocos2d::Application::getInstance()->run();
    AppDelegate::releaseField();
    return status;
}
