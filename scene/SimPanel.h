#pragma once
// The board on the screen: a panel over the palette with a picture of the board whose LED
// follows the program, the countdown of a running wait, the lines a send would carry with
// the running one marked, and how the run went. It runs the program's own text through
// the board simulator, driven by the scheduler: one timer to the next change, so that a
// long wait draws only its countdown steps.
#include <string>
#include <vector>

#include "BoardSim.h"
#include "ProgramText.h"
#include "cocos2d.h"

class FieldScene;

class SimPanel : public cocos2d::LayerColor {
public:
    static SimPanel* create(FieldScene* scene);

    // Runs these lines as the target's board would, from now; a run in progress ends first.
    void start(const std::vector<ProgramLine>& lines, Target target);
    // Ends a run in progress (nothing if none) and says why.
    void stop(const std::string& why);
    bool isRunning() const { return running; }

    // What the panel shows, for the scene, the harness and tests.
    bool ledOn() const { return led; }
    const std::string& countdownText() const { return countdown->getString(); }
    const std::string& statusText() const { return status->getString(); }
    // The sent lines as shown, one a line, and the one marked (-1: none).
    std::vector<std::string> textLines() const;
    int markedLine() const { return marked; }
    // The running program's lines, as started.
    const std::vector<ProgramLine>& lines() const { return program; }

    cocos2d::Sprite* stopButton = nullptr;
    cocos2d::Sprite* board = nullptr;
    cocos2d::Sprite* ledLight = nullptr;
    cocos2d::Label* title = nullptr;
    cocos2d::Label* countdown = nullptr;
    cocos2d::Label* status = nullptr;
    std::vector<cocos2d::Label*> rows;  // the text view's labels, first shown line first

    static constexpr float kWidth = 250;

protected:
    SimPanel() = default;
    bool initWithScene(FieldScene* scene);

private:
    void advance(double dueMs);
    // Stops the run if the field's program text is no longer the one running.
    bool stopIfChanged();
    void apply(const boardsim::Event& e);
    void scheduleNext();
    void refreshCountdown();
    void showText();
    void mark(int sentLine, bool error);
    void tell(const char* what, const boardsim::Event& e);
    void setStatus(const std::string& text, const cocos2d::Color4B& colour);

    FieldScene* scene = nullptr;
    boardsim::Language language = boardsim::Language::Dov;
    std::vector<ProgramLine> program;
    std::vector<std::string> shown;
    std::vector<boardsim::Event> events;
    size_t next = 0;
    double now = 0;          // ms since the run started, as the simulator counts it
    double waitEnd = -1;     // the end of the running wait, or -1
    bool running = false;
    bool begun = false;      // sim-start told
    bool led = false;
    int marked = -1;
    bool markedError = false;
    size_t firstShown = 0;   // the text view's first line
    cocos2d::LayerColor* textBack = nullptr;
    cocos2d::LayerColor* markBar = nullptr;
};
