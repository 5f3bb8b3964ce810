#pragma once
// A small board on the screen: takes in the lines a send carries, byte for byte, as the
// chosen board would, and tells what the board does and when (the LED, the lines it runs,
// the waits, the end), or which line it could not run and why. No engine, no cards: only
// the text.
//
// Dov: a BASIC prompt. Numbered lines are stored (a number alone deletes its line), NEW
// clears, SAVE n keeps, RUN runs the stored lines in number order. Statements are
// `LED 0|1` and `WAIT n` (sixtieths of a second), separated by ":"; lines end in CR LF.
// Velto: a shell. `cat uart > .` stores every byte up to a Ctrl-D (0x04) as the script
// ".", `ms .` runs it: `led(0|1);` and `sleep(ms);` statements, lines ending in LF.
//
// The program is taken in whole before anything runs, so a line that cannot be taken in
// (no number, not ended, an unknown command, a script with no Ctrl-D) stops the board
// before the LED moves; a statement that cannot be run stops it when it is reached.
#include <string>
#include <vector>

namespace boardsim {

enum class Language { Dov, Velto };

struct Event {
    enum class Kind {
        Line,   // a program line starts running
        Led,    // the LED changes (only changes are told)
        Wait,   // a wait of `waitMs` starts
        Error,  // the board stops: `why`, on the line `text`
        End,    // the program has run to its end
    };
    Kind kind = Kind::End;
    double ms = 0;        // from the start of the run
    int sendLine = -1;    // the index of the sent line this comes from (Line, Wait, Error)
    std::string text;     // the program line as shown (Line, Error)
    bool on = false;      // Led
    double waitMs = 0;    // Wait
    std::string why;      // Error
};

// The whole run, in time order. It ends with exactly one End or one Error.
std::vector<Event> run(Language language, const std::vector<std::string>& sentLines);

// A sent line as the text view shows it: without its terminator, control bytes named in
// brackets (the Ctrl-D as "[Ctrl-D]"), so that nothing sent is invisible.
std::string displayLine(Language language, const std::string& bytes);

}  // namespace boardsim
