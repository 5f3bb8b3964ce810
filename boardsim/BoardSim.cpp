#include "BoardSim.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace boardsim {

namespace {

const long kMaxLineNumber = 32767;  // Dov's integers are 16-bit
const long kMaxDovWait = 32767;
const long kMaxVeltoSleep = 3600000;  // an hour; more is a mistake, not a program

std::string caret(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x20) {
            out += "[Ctrl-";
            out += static_cast<char>(c ^ 0x40);
            out += ']';
        } else if (c == 0x7f) {
            out += "[Del]";
        } else if (c >= 0x80) {
            static const char* hex = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return s.substr(a, b - a);
}

std::vector<std::string> words(const std::string& s) {
    std::vector<std::string> out;
    std::string w;
    for (char c : s) {
        if (c == ' ' || c == '\t') {
            if (!w.empty()) out.push_back(w);
            w.clear();
        } else {
            w += c;
        }
    }
    if (!w.empty()) out.push_back(w);
    return out;
}

bool allDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

// The value of a run of digits, capped so that a long one cannot overflow.
long number(const std::string& digits) {
    long v = 0;
    for (char c : digits) {
        v = v * 10 + (c - '0');
        if (v > 1000000000L) return 1000000000L;
    }
    return v;
}

// The first byte a board line may not hold, or -1.
int badByte(const std::string& line) {
    for (unsigned char c : line)
        if (c < 0x20 || c >= 0x7f) return c;
    return -1;
}

// The sent lines as the one byte stream the board receives, and which sent line each
// byte came in with.
struct Stream {
    std::string bytes;
    std::vector<size_t> starts;
    std::vector<std::string> shown;

    Stream(Language language, const std::vector<std::string>& lines) {
        for (const std::string& l : lines) {
            starts.push_back(bytes.size());
            bytes += l;
            shown.push_back(displayLine(language, l));
        }
    }
    int lineAt(size_t offset) const {
        auto it = std::upper_bound(starts.begin(), starts.end(), offset);
        return it == starts.begin() ? 0 : static_cast<int>(it - starts.begin()) - 1;
    }
    int last() const { return static_cast<int>(starts.size()) - 1; }
};

// What the board does, in time order; `stopped` once it has failed.
struct Board {
    std::vector<Event> events;
    double now = 0;
    bool led = false;
    bool stopped = false;

    void fail(int sendLine, const std::string& text, const std::string& why) {
        Event e;
        e.kind = Event::Kind::Error;
        e.ms = now;
        e.sendLine = sendLine;
        e.text = text;
        e.why = why;
        events.push_back(e);
        stopped = true;
    }
    void line(int sendLine, const std::string& text) {
        Event e;
        e.kind = Event::Kind::Line;
        e.ms = now;
        e.sendLine = sendLine;
        e.text = text;
        events.push_back(e);
    }
    void setLed(bool on) {
        if (on == led) return;
        led = on;
        Event e;
        e.kind = Event::Kind::Led;
        e.ms = now;
        e.on = on;
        events.push_back(e);
    }
    void wait(int sendLine, double ms) {
        if (ms <= 0) return;
        Event e;
        e.kind = Event::Kind::Wait;
        e.ms = now;
        e.sendLine = sendLine;
        e.waitMs = ms;
        events.push_back(e);
        now += ms;
    }
    void end() {
        Event e;
        e.kind = Event::Kind::End;
        e.ms = now;
        events.push_back(e);
    }
};

// --- Dov --------------------------------------------------------------------------------

struct DovLine {
    std::string text;  // as received, for the screen
    std::string body;  // the statements after the number
    int sendLine;
};

struct DovCommand {
    enum Kind { Store, Delete, New, Run } kind;
    long number;
    DovLine line;
};

// One statement; false (and the board stopped) if it cannot be run.
bool runDovStatement(Board& board, const DovLine& line, const std::string& statement) {
    const std::string s = trim(statement);
    if (s.empty()) {
        board.fail(line.sendLine, line.text, "an empty statement");
        return false;
    }
    size_t k = 0;
    while (k < s.size() && std::isalpha(static_cast<unsigned char>(s[k]))) ++k;
    const std::string keyword = s.substr(0, k), arg = trim(s.substr(k));
    if (keyword == "LED") {
        if (arg == "0" || arg == "1") {
            board.setLed(arg == "1");
            return true;
        }
        board.fail(line.sendLine, line.text,
                   arg.empty() ? "LED needs 0 or 1" : "LED takes 0 or 1, not \"" + arg + "\"");
        return false;
    }
    if (keyword == "WAIT") {
        if (!allDigits(arg)) {
            board.fail(line.sendLine, line.text,
                       arg.empty() ? "WAIT needs a number (sixtieths of a second)"
                                   : "WAIT needs a number (sixtieths of a second), not \"" + arg + "\"");
            return false;
        }
        const long n = number(arg);
        if (n > kMaxDovWait) {
            board.fail(line.sendLine, line.text,
                       "WAIT " + arg + " is more than " + std::to_string(kMaxDovWait));
            return false;
        }
        board.wait(line.sendLine, n * 1000.0 / 60.0);
        return true;
    }
    board.fail(line.sendLine, line.text, "unknown statement \"" + s + "\"");
    return false;
}

// The next line that arrived, without its ending, and the send line it began on; false, with
// the board failed, when the line is not ended or holds a byte no line may hold.
bool takeLine(Board& board, const Stream& in, const std::string& ending, const char* endingName,
              size_t& pos, int& sent, std::string& raw) {
    sent = in.lineAt(pos);
    const size_t eol = in.bytes.find(ending, pos);
    if (eol == std::string::npos) {
        board.fail(sent, caret(in.bytes.substr(pos)), std::string("the line is not ended (no ") + endingName + ")");
        return false;
    }
    raw = in.bytes.substr(pos, eol - pos);
    pos = eol + ending.size();
    if (const int c = badByte(raw); c >= 0) {
        board.fail(sent, caret(raw), "a byte no line may hold: " + caret(std::string(1, char(c))));
        return false;
    }
    return true;
}

void runDov(Board& board, const Stream& in) {
    // Taken in whole first: a line the prompt refuses stops the board before anything runs.
    std::vector<DovCommand> commands;
    size_t pos = 0;
    bool runs = false;
    while (pos < in.bytes.size()) {
        int sent;
        std::string raw;
        if (!takeLine(board, in, "\r\n", "CR LF", pos, sent, raw)) return;
        const std::string text = trim(raw);
        if (text.empty()) continue;
        if (std::isdigit(static_cast<unsigned char>(text[0]))) {
            size_t k = 0;
            while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) ++k;
            const long n = number(text.substr(0, k));
            if (n < 1 || n > kMaxLineNumber) {
                board.fail(sent, text, "line number out of range (1 to " + std::to_string(kMaxLineNumber) + ")");
                return;
            }
            const std::string body = trim(text.substr(k));
            commands.push_back({body.empty() ? DovCommand::Delete : DovCommand::Store, n,
                                DovLine{text, body, sent}});
            continue;
        }
        const std::vector<std::string> w = words(text);
        if (text == "NEW") {
            commands.push_back({DovCommand::New, 0, DovLine{text, "", sent}});
        } else if (text == "RUN") {
            commands.push_back({DovCommand::Run, 0, DovLine{text, "", sent}});
            runs = true;
        } else if (w[0] == "SAVE") {
            if (w.size() != 2 || !allDigits(w[1])) {
                board.fail(sent, text, "SAVE needs a slot number");
                return;
            }
        } else if (w[0].rfind("LED", 0) == 0 || w[0].rfind("WAIT", 0) == 0) {
            board.fail(sent, text, "no line number");
            return;
        } else {
            board.fail(sent, text, "unknown command \"" + w[0] + "\"");
            return;
        }
    }
    if (!runs) {
        board.fail(in.last(), in.last() >= 0 ? in.shown[in.last()] : "", "the program is never run (no RUN)");
        return;
    }

    std::map<long, DovLine> program;
    for (const DovCommand& c : commands) {
        switch (c.kind) {
            case DovCommand::Store: program[c.number] = c.line; break;
            case DovCommand::Delete: program.erase(c.number); break;
            case DovCommand::New: program.clear(); break;
            case DovCommand::Run:
                for (const auto& entry : program) {
                    const DovLine& line = entry.second;
                    board.line(line.sendLine, line.text);
                    size_t start = 0;
                    for (;;) {
                        const size_t colon = line.body.find(':', start);
                        if (!runDovStatement(board, line, line.body.substr(start, colon - start))) return;
                        if (colon == std::string::npos) break;
                        start = colon + 1;
                    }
                }
                break;
        }
    }
    board.end();
}

// --- Velto ------------------------------------------------------------------------------

struct ScriptLine {
    std::string text;
    int sendLine;
};

// The statements of one script line; false (and the board stopped) if one cannot be run.
bool runVeltoLine(Board& board, const ScriptLine& line) {
    const std::string& s = line.text;
    size_t i = 0;
    auto skip = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    };
    auto failWith = [&](const std::string& why) {
        board.fail(line.sendLine, line.text, why);
        return false;
    };
    for (;;) {
        skip();
        if (i >= s.size()) return true;
        size_t k = i;
        while (k < s.size() && (std::isalnum(static_cast<unsigned char>(s[k])) || s[k] == '_')) ++k;
        if (k == i) return failWith("unexpected \"" + s.substr(i, 1) + "\"");
        const std::string name = s.substr(i, k - i);
        i = k;
        if (name != "led" && name != "sleep") return failWith("unknown statement \"" + name + "\"");
        skip();
        if (i >= s.size() || s[i] != '(') return failWith("\"(\" missing after " + name);
        ++i;
        skip();
        k = i;
        while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) ++k;
        const std::string arg = s.substr(i, k - i);
        i = k;
        skip();
        if (i >= s.size() || s[i] != ')') return failWith("\")\" missing after " + name + "(" + arg);
        ++i;
        skip();
        if (i >= s.size() || s[i] != ';') return failWith("\";\" missing after " + name + "(" + arg + ")");
        ++i;
        if (name == "led") {
            if (arg != "0" && arg != "1") return failWith("led takes 0 or 1");
            board.setLed(arg == "1");
        } else {
            if (arg.empty() || number(arg) > kMaxVeltoSleep)
                return failWith("sleep takes 0 to " + std::to_string(kMaxVeltoSleep) + " milliseconds");
            board.wait(line.sendLine, static_cast<double>(number(arg)));
        }
    }
}

struct VeltoCommand {
    enum Kind { Store, Run } kind;
    std::string file;
    std::vector<ScriptLine> script;
    int sendLine;
    std::string text;
};

void runVelto(Board& board, const Stream& in) {
    std::vector<VeltoCommand> commands;
    size_t pos = 0;
    bool runs = false;
    while (pos < in.bytes.size()) {
        int sent;
        std::string raw;
        if (!takeLine(board, in, "\n", "LF", pos, sent, raw)) return;
        const std::string text = trim(raw);
        const std::vector<std::string> w = words(text);
        if (w.empty()) continue;
        if (w.size() == 4 && w[0] == "cat" && w[1] == "uart" && w[2] == ">") {
            // Everything up to the Ctrl-D is the file, whatever it holds.
            const size_t eot = in.bytes.find('\x04', pos);
            if (eot == std::string::npos) {
                board.fail(in.last(), in.shown[in.last()],
                           "the script is cut off: no Ctrl-D ends \"" + text + "\"");
                return;
            }
            VeltoCommand store{VeltoCommand::Store, w[3], {}, sent, text};
            size_t at = pos;
            while (at < eot) {
                size_t end = in.bytes.find('\n', at);
                if (end == std::string::npos || end > eot) end = eot;
                const std::string scriptRaw = in.bytes.substr(at, end - at);
                if (const int c = badByte(scriptRaw); c >= 0) {
                    board.fail(in.lineAt(at), caret(scriptRaw),
                               "a byte no script may hold: " + caret(std::string(1, char(c))));
                    return;
                }
                store.script.push_back(ScriptLine{trim(scriptRaw), in.lineAt(at)});
                at = end + 1;
            }
            commands.push_back(store);
            pos = eot + 1;
        } else if (w.size() == 2 && w[0] == "ms") {
            commands.push_back(VeltoCommand{VeltoCommand::Run, w[1], {}, sent, text});
            runs = true;
        } else {
            board.fail(sent, text, "unknown command \"" + w[0] + "\"");
            return;
        }
    }
    if (!runs) {
        board.fail(in.last(), in.last() >= 0 ? in.shown[in.last()] : "", "the script is never run (no \"ms .\")");
        return;
    }

    std::map<std::string, std::vector<ScriptLine>> files;
    for (const VeltoCommand& c : commands) {
        if (c.kind == VeltoCommand::Store) {
            files[c.file] = c.script;
            continue;
        }
        auto it = files.find(c.file);
        if (it == files.end()) {
            board.fail(c.sendLine, c.text, "no script \"" + c.file + "\" has been stored");
            return;
        }
        for (const ScriptLine& line : it->second) {
            if (line.text.empty()) continue;
            board.line(line.sendLine, line.text);
            if (!runVeltoLine(board, line)) return;
        }
    }
    board.end();
}

}  // namespace

std::vector<Event> run(Language language, const std::vector<std::string>& sentLines) {
    Board board;
    const Stream in(language, sentLines);
    if (language == Language::Dov)
        runDov(board, in);
    else
        runVelto(board, in);
    return board.events;
}

std::string displayLine(Language language, const std::string& bytes) {
    const std::string terminator = language == Language::Dov ? "\r\n" : "\n";
    std::string body = bytes;
    if (body.size() >= terminator.size() &&
        body.compare(body.size() - terminator.size(), terminator.size(), terminator) == 0)
        body.resize(body.size() - terminator.size());
    return caret(body);
}

}  // namespace boardsim
