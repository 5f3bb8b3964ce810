#pragma once
// The application: opens the one window and shows the field scene.
#include <functional>
#include <string>

#include "cocos2d.h"

class AppDelegate : private cocos2d::Application {
public:
    AppDelegate();
    ~AppDelegate() override;

    bool applicationDidFinishLaunching() override;
    void applicationDidEnterBackground() override;
    void applicationWillEnterForeground() override;
    void initGLContextAttrs() override;

    // Where the pictures are looked for: beside the program, then in the install
    // prefix's share folder.
    static void addResourceFolders();
    // A program file to open once the screen is up (the command line's one argument).
    static void setStartFile(const std::string& path);
    // One program per field (services/SingleInstance), after addResourceFolders and before the
    // application runs. False: another copy has this field open and took the start file (and
    // came to the front), so this start ends. When that copy does not answer, this one starts
    // without ever writing the field, and says so. Otherwise this copy holds the field and
    // takes the files of later starts, each opened as one step that undo takes back.
    static bool claimField();
    // Lets go of the field once the application has run (the entry points).
    static void releaseField();
    // Why the start ended before showing its window, in words for the user ("" when it did
    // not). Already on standard error; the Windows entry also shows it in a message box.
    static const std::string& getStartProblem();
    // Told "window-open" and "screen-built" as the start passes them (for timing the start).
    static void setStageListener(std::function<void(const char*)> listener);
};
