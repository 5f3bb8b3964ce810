// The board on the screen against the cards: the text the send carries, run by the
// simulator of each target, must do what the cards say, and a text it cannot run must
// name its line.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "BoardSim.h"
#include "DeviceManager.h"
#include "ProgramText.h"

using boardsim::Event;
using Kind = boardsim::Event::Kind;

namespace {

struct Timeline {
    std::vector<std::pair<bool, double>> leds;  // (on, ms)
    std::vector<int> lineRows;                   // the field row of each line run
    double endMs = -1;
    bool operator==(const Timeline& o) const {
        return leds == o.leds && lineRows == o.lineRows && endMs == o.endMs;
    }
};

void PrintTo(const Timeline& t, std::ostream* os) {
    *os << "leds:";
    for (auto& l : t.leds) *os << " " << (l.first ? "on@" : "off@") << l.second;
    *os << " rows:";
    for (int r : t.lineRows) *os << " " << r;
    *os << " end@" << t.endMs;
}

// What the cards mean, read straight from the kinds: the LED switches, each wait card
// waits its seconds; the LED starts dark and only changes are told.
Timeline fromCards(const FieldKinds& field) {
    static const double seconds[] = {0, 0, 1, 3, 5, 10};
    Timeline t;
    bool led = false;
    double now = 0;
    for (size_t r = 0; r < field.size(); ++r) {
        if (field[r][0] < 0 && field[r][1] < 0) continue;
        t.lineRows.push_back(static_cast<int>(r));
        for (CardKind k : field[r]) {
            if (k == LedOn || k == LedOff) {
                if ((k == LedOn) != led) t.leds.emplace_back(k == LedOn, now);
                led = k == LedOn;
            } else if (k >= 0) {
                now += seconds[k] * 1000;
            }
        }
    }
    t.endMs = now;
    return t;
}

boardsim::Language languageOf(Target t) { return t == Velto ? boardsim::Language::Velto : boardsim::Language::Dov; }

std::vector<std::string> texts(const std::vector<ProgramLine>& lines) {
    std::vector<std::string> out;
    for (const ProgramLine& l : lines) out.push_back(l.text);
    return out;
}

// The board's run of the field's program text, as a timeline of the field's rows.
Timeline fromText(const FieldKinds& field, Target target) {
    DeviceManager* devices = DeviceManager::getInstance();
    devices->target = target;
    const std::vector<ProgramLine> lines = buildProgramLines(field, *devices);
    devices->target = Dov;
    const std::vector<Event> events = boardsim::run(languageOf(target), texts(lines));
    Timeline t;
    for (const Event& e : events) {
        if (e.kind == Kind::Led) t.leds.emplace_back(e.on, e.ms);
        if (e.kind == Kind::Line) t.lineRows.push_back(lines.at(e.sendLine).row);
        if (e.kind == Kind::End) t.endMs = e.ms;
        if (e.kind == Kind::Error) ADD_FAILURE() << "line \"" << e.text << "\": " << e.why;
    }
    return t;
}

const Target kTargets[] = {Dov, Velto};

}  // namespace

TEST(BoardSim, RandomFieldsRunAsTheCardsSayOnBothTargets) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 300; ++round) {
        // Sparse to full: empty rows, lone right-slot cards and full rows all come up.
        const double fill = std::uniform_real_distribution<double>(0.05, 1.0)(rng);
        std::bernoulli_distribution held(fill);
        std::uniform_int_distribution<int> kind(0, kCardKindCount - 1);
        FieldKinds field(30, {-1, -1});
        for (auto& row : field)
            for (CardKind& slot : row) slot = held(rng) ? kind(rng) : -1;
        const Timeline want = fromCards(field);
        for (Target target : kTargets) EXPECT_EQ(fromText(field, target), want) << "round " << round << ", target " << target;
    }
}

TEST(BoardSim, DovRunsItsStoredLinesInNumberOrder) {
    // Stored out of order, one replaced, one deleted, all after a NEW that clears a stale line.
    const std::vector<std::string> lines = {"5 LED 1\r\n",       "NEW\r\n",  "30 LED 0\r\n",
                                            "10 LED 1:WAIT 30\r\n", "20 WAIT 9\r\n", "20 WAIT 120\r\n",
                                            "40 LED 1\r\n",       "40\r\n",   "SAVE 0\r\n",
                                            "RUN\r\n"};
    const auto events = boardsim::run(boardsim::Language::Dov, lines);
    std::vector<std::pair<int, double>> ran;
    std::vector<std::pair<bool, double>> leds;
    for (const Event& e : events) {
        if (e.kind == Kind::Line) ran.emplace_back(e.sendLine, e.ms);
        if (e.kind == Kind::Led) leds.emplace_back(e.on, e.ms);
    }
    EXPECT_EQ(ran, (std::vector<std::pair<int, double>>{{3, 0}, {5, 500}, {2, 2500}}));
    EXPECT_EQ(leds, (std::vector<std::pair<bool, double>>{{true, 0}, {false, 2500}}));
    EXPECT_EQ(events.back().kind, Kind::End);
    EXPECT_EQ(events.back().ms, 2500);
}

TEST(BoardSim, ATextTheBoardCannotRunNamesItsLine) {
    using L = boardsim::Language;
    struct Case {
        L language;
        std::vector<std::string> lines;
        int line;             // the sent line named
        std::string shown;    // as the error shows it
        std::string why;      // part of the reason
        bool ledFirst;        // the lines before it ran
    };
    const std::vector<Case> cases = {
        {L::Dov, {"NEW\r\n", "10 LED 1:BLINK 3\r\n", "SAVE 0\r\n", "RUN\r\n"}, 1, "10 LED 1:BLINK 3",
         "unknown statement \"BLINK 3\"", true},
        {L::Dov, {"NEW\r\n", "10 LED 1\r\n", "20 WAIT\r\n", "SAVE 0\r\n", "RUN\r\n"}, 2, "20 WAIT",
         "WAIT needs a number", true},
        {L::Dov, {"NEW\r\n", "10 WAIT 6O\r\n", "RUN\r\n"}, 1, "10 WAIT 6O", "not \"6O\"", false},
        {L::Dov, {"NEW\r\n", "LED 1\r\n", "SAVE 0\r\n", "RUN\r\n"}, 1, "LED 1", "no line number", false},
        {L::Dov, {"NEW\r\n", "10 LED 2\r\n", "RUN\r\n"}, 1, "10 LED 2", "0 or 1", false},
        {L::Dov, {"NEW\r\n", "10 LED 1\r\n", "SAVE 0\r\n"}, 2, "SAVE 0", "no RUN", false},
        {L::Dov, {"NEW\r\n", "10 LED 1\r\n", "RUN"}, 2, "RUN", "not ended", false},
        {L::Dov, {"NEW\r\n", "10 LED 1\r\n", "\x04", "RUN\r\n"}, 2, "[Ctrl-D]RUN", "[Ctrl-D]", false},
        {L::Velto, {"cat uart > .\n", "led(1);sleep(1000);\n", "ms .\n"}, 2, "ms .", "Ctrl-D", false},
        {L::Velto, {"cat uart > .\n", "led(1);\n", "blink(1);\n", "\x04", "ms .\n"}, 2, "blink(1);",
         "unknown statement \"blink\"", true},
        {L::Velto, {"cat uart > .\n", "led(1)\n", "\x04", "ms .\n"}, 1, "led(1)", "\";\" missing", false},
        {L::Velto, {"cat uart > .\n", "sleep();\n", "\x04", "ms .\n"}, 1, "sleep();", "milliseconds", false},
        {L::Velto, {"cat uart > .\n", "led(1);\n", "\x04", "ms x\n"}, 3, "ms x", "no script \"x\"", false},
        {L::Velto, {"cat uart .\n", "led(1);\n", "\x04", "ms .\n"}, 0, "cat uart .", "unknown command", false},
        {L::Velto, {"cat uart > .\n", "led(1);\n", "\x04"}, 2, "[Ctrl-D]", "never run", false},
    };
    for (const Case& c : cases) {
        const auto events = boardsim::run(c.language, c.lines);
        ASSERT_FALSE(events.empty());
        const Event& last = events.back();
        ASSERT_EQ(last.kind, Kind::Error) << c.shown;
        EXPECT_EQ(last.sendLine, c.line) << c.shown;
        EXPECT_EQ(last.text, c.shown);
        EXPECT_NE(last.why.find(c.why), std::string::npos) << c.shown << ": " << last.why;
        const bool lit = events.size() > 1 && std::any_of(events.begin(), events.end(), [](const Event& e) {
                             return e.kind == Kind::Led;
                         });
        EXPECT_EQ(lit, c.ledFirst) << c.shown;
        EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const Event& e) {
                      return e.kind == Kind::Error || e.kind == Kind::End;
                  }),
                  1);
    }
}
