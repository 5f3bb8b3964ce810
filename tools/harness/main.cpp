// The product with one difference, for tests: its port scan reports the ports given as
// --port PATH[=DESCRIPTION][,usb] (the description defaults to "Test Port"; ",usb" marks a USB
// port, the others are built-in ones). Without --port it scans like the product. A line
// "ports SPEC..." on stdin (each SPEC as for --port, in double quotes if it holds spaces;
// "ports" alone: none) replaces what the scan finds and raises the notice a device event raises.
//
// For tests that drive the real window from outside, two more options, each writing one
// line per report on stdout as a word and a JSON object:
//   --print-layout  "layout {...}": where everything is on the screen, in design points
//                   (y up), with the state a test needs to know what it sees. Printed once
//                   the first port scan has reported, and again for each line on stdin;
//                   the line "quit", or the end of stdin, closes the program.
//   --print-events  "event {...}": a port scan or a send started or ended, with its outcome;
//                   each line the board said back ("board-said", with its text; a last line
//                   without its end has "partial"), and the end of the second the board has
//                   to answer ("answer-ended", with "heard": whether anything came back);
//                   the sign of a send that went well ("sent-sign", with its text);
//                   the chosen port ("port", with its name); each notice shown ("notice");
//                   and each step of a run on the screen's board as it happens (sim-start,
//                   sim-line, sim-led, sim-error, sim-end, sim-stop), with the time in ms
//                   from the run's start as the simulator counts it; each autosave of the
//                   field that reached the disk ("saved"); each sentence said ("say").
// One more argument that is no option is a program file to open, as in the product.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AppDelegate.h"
#include "DeviceManager.h"
#include "FieldScene.h"
#include "SimPanel.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: tavrick-cards-harness [--port PATH[=DESCRIPTION][,usb]]... [--print-layout] "
                 "[--print-events] [PROGRAM.cards]\n");
}

// --- JSON -----------------------------------------------------------------------------

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

std::string point(const Vec2& p) { return "[" + num(p.x) + "," + num(p.y) + "]"; }

// A node's box in world space, from two corners, so that a zoomed field comes out right.
Rect worldBox(Node* node) {
    const Rect box = node->getBoundingBox();
    Node* parent = node->getParent();
    if (!parent) return box;
    const Vec2 a = parent->convertToWorldSpace(box.origin);
    const Vec2 b = parent->convertToWorldSpace(box.origin + Vec2(box.size.width, box.size.height));
    return Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y));
}

std::string box(Node* node) {
    if (!node) return "null";
    const Rect r = worldBox(node);
    return "[" + num(r.origin.x) + "," + num(r.origin.y) + "," + num(r.size.width) + "," +
           num(r.size.height) + "]";
}

std::string rect(const Rect& r) {
    return "[" + num(r.origin.x) + "," + num(r.origin.y) + "," + num(r.size.width) + "," +
           num(r.size.height) + "]";
}

void emit(const std::string& word, const std::string& json) {
    std::fprintf(stdout, "%s %s\n", word.c_str(), json.c_str());
    std::fflush(stdout);
}

// --- what the screen shows --------------------------------------------------------------

int cardIndex(FieldScene* s, CardSprite* card) {
    if (!card) return -1;
    for (ssize_t i = 0; i < s->fieldCards.size(); ++i)
        if (s->fieldCards.at(i) == card) return static_cast<int>(i);
    return -1;
}

std::string layoutJson(FieldScene* s) {
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    GLView* view = Director::getInstance()->getOpenGLView();
    std::string j = "{";
    if (view) {
        const Rect vp = view->getViewPortRect();
        const Size frame = view->getFrameSize();
        j += "\"viewport\":{\"frame\":[" + num(frame.width) + "," + num(frame.height) +
             "],\"origin\":" + point(vp.origin) + ",\"scale\":[" + num(view->getScaleX()) + "," +
             num(view->getScaleY()) + "],\"fullscreen\":" +
             std::string(view->isFullscreen() ? "true" : "false") + ",\"hidden\":" +
             std::string(Director::getInstance()->isWindowHidden() ? "true" : "false") + "},";
    }
    j += "\"frames\":" + std::to_string(Director::getInstance()->getTotalFrames()) + ",";

    j += "\"palette\":[";
    for (int k = 0; k < 6; ++k) {
        CardSprite* c = s->paletteCards[k];
        if (k) j += ",";
        j += "{\"kind\":" + std::to_string(k) + ",\"box\":" + box(c) +
             ",\"count\":" + std::to_string(s->cardCounts[k]) + ",\"countText\":" +
             quote(s->countLabels[k] ? s->countLabels[k]->getString() : "") + "}";
    }
    j += "],\"paletteView\":" + rect(s->paletteView->getViewRectInWorld()) +
         ",\"paletteEdge\":" + num(s->palettePanel->getContentSize().width) + ",";

    Node* container = s->fieldView->getContainer();
    j += "\"field\":{\"view\":" + rect(s->fieldView->getViewRectInWorld()) +
         ",\"offset\":" + point(s->fieldView->getContentOffset()) +
         ",\"scale\":" + num(container->getScale()) +
         ",\"limits\":[" + num(s->fieldView->minOffset().y) + "," + num(s->fieldView->maxOffset().y) + "]" +
         ",\"content\":[" + num(s->fieldView->getContentSize().width) + "," +
         num(s->fieldView->getContentSize().height) + "]},";

    j += "\"rows\":[";
    for (size_t r = 0; r < s->slotRows.size(); ++r) {
        if (r) j += ",";
        j += "{\"number\":" + std::to_string(10 * (r + 1)) + ",\"slots\":[";
        for (ssize_t i = 0; i < s->slotRows[r].size(); ++i) {
            CardSprite* slot = s->slotRows[r].at(i);
            if (i) j += ",";
            j += "{\"box\":" + box(slot) +
                 ",\"connector\":" + point(slot->convertToWorldSpace(slot->connectors[0].point)) +
                 ",\"card\":" + std::to_string(cardIndex(s, slot->connectors[0].partner)) + "}";
        }
        j += "]}";
    }
    j += "],";

    j += "\"cards\":[";
    for (ssize_t i = 0; i < s->fieldCards.size(); ++i) {
        CardSprite* c = s->fieldCards.at(i);
        if (i) j += ",";
        j += "{\"kind\":" + std::to_string(c->kind) + ",\"box\":" + box(c) +
             ",\"connector\":" + point(c->convertToWorldSpace(c->connectors[0].point)) +
             ",\"opacity\":" + std::to_string(c->getOpacity()) + ",\"rotation\":" + num(c->getRotation()) +
             ",\"inSlot\":" + std::string(s->isInSlot(c) ? "true" : "false") + ",\"color\":[" +
             std::to_string(c->getColor().r) + "," + std::to_string(c->getColor().g) + "," +
             std::to_string(c->getColor().b) + "]}";
    }
    j += "],\"touched\":" + std::to_string(cardIndex(s, s->drag.touchedCard)) +
         ",\"dragging\":" + std::string(s->drag.isDragging ? "true" : "false") +
         ",\"placing\":" + std::string(s->drag.placingCard ? "true" : "false") + ",";

    j += "\"controls\":{\"play\":" + box(s->playButton) + ",\"target\":" + box(s->targetButton) +
         ",\"settings\":" + box(s->settingsButton) + ",\"reload\":" + box(s->reloadButton) +
         ",\"menuUp\":" + box(s->menuUpButton) + ",\"menuDown\":" + box(s->menuDownButton) +
         ",\"cleanIcon\":" + box(s->cleanIcon) +
         ",\"cleanIconOpacity\":" + std::to_string(s->cleanIcon->getOpacity()) +
         ",\"portLabel\":" + box(s->portLabel) + ",\"portLabelText\":" +
         quote(s->portLabel->getString()) + ",\"board\":" + box(s->boardBox) +
         ",\"boardText\":" + quote(s->boardLabel->getString()) +
         ",\"boardPortText\":" + quote(s->boardPortLabel->getString()) +
         ",\"stop\":" + box(s->send.stopButton) + ",\"try\":" + box(s->tryButton) + ",\"fullscreen\":" + box(s->fullscreenButton) +
         ",\"undo\":" + box(s->undoButton) + ",\"clear\":" + box(s->clearButton) +
         ",\"boardSaid\":" + box(s->answer.drawerButton) +
         ",\"boardMark\":" + std::string(s->answer.silentMark && s->answer.silentMark->isVisible() ? "true" : "false") +
         ",\"open\":" + box(s->openButton) + ",\"save\":" + box(s->saveButton) +
         ",\"toTop\":" + (s->topButton && s->topButton->isVisible() ? box(s->topButton) : std::string("null")) +
         "},";

    j += "\"boardSaidView\":";
    if (s->answer.view) {
        j += "{\"lines\":[";
        for (size_t i = 0; i < s->answer.shown.size(); ++i) j += (i ? "," : "") + quote(s->answer.shown[i]);
        j += "],\"list\":" + rect(s->answer.list->getViewRectInWorld()) + ",\"close\":" + box(s->answer.closeButton) + "},";
    } else {
        j += "null,";
    }
    j += "\"sentSign\":";
    if (s->answer.sentSign)
        j += "{\"text\":" + quote(s->answer.sentText->getString()) + ",\"box\":" + box(s->answer.sentSign) + "},";
    else
        j += "null,";

    j += "\"simPanel\":" + box(s->sim.panel) + ",\"sim\":";
    if (SimPanel* p = s->sim.panel) {
        j += "{\"running\":" + std::string(p->isRunning() ? "true" : "false") +
             ",\"led\":" + std::string(p->ledOn() ? "true" : "false") +
             ",\"countdown\":" + quote(p->countdownText()) + ",\"status\":" + quote(p->statusText()) +
             ",\"marked\":" + std::to_string(p->markedLine()) + ",\"stop\":" + box(p->stopButton) +
             ",\"ledAt\":" + point(p->board->convertToWorldSpace(p->ledLight->getPosition())) +
             ",\"lines\":[";
        const std::vector<std::string> lines = p->textLines();
        for (size_t i = 0; i < lines.size(); ++i) j += (i ? "," : "") + quote(lines[i]);
        j += "]},";
    } else {
        j += "null,";
    }
    j += "\"clearQuestion\":";
    if (s->panels.clearQuestion)
        j += "{\"yes\":" + box(s->panels.clearYesButton) + ",\"no\":" + box(s->panels.clearNoButton) + "},";
    else
        j += "null,";
    j += "\"history\":{\"undo\":" + std::to_string(s->history.undoSteps.size()) +
         ",\"redo\":" + std::to_string(s->history.redoSteps.size()) + "},";

    j += "\"drawer\":{\"y\":" + num(s->settingsLayer->getPositionY()) +
         ",\"open\":" + std::string(s->settingsOpen ? "true" : "false") +
         ",\"moving\":" +
         std::string(s->settingsLayer->getNumberOfRunningActions() > 0 ? "true" : "false") + "},";

    j += "\"target\":" + std::to_string(DeviceManager::getInstance()->target) + ",";
    j += "\"targetPanel\":";
    if (s->panels.targetPanel) {
        j += "[";
        bool first = true;
        for (Node* option : s->panels.targetPanel->getChildren()) {
            if (!first) j += ",";
            first = false;
            j += "{\"target\":" + std::to_string(option->getTag()) + ",\"box\":" + box(option) + "}";
        }
        j += "]";
    } else {
        j += "null";
    }
    j += ",\"portList\":";
    if (s->panels.portListPopup) {
        // Each entry: the port it names, the two lines it shows (the board, then the port),
        // and whether it is marked as the one in use.
        j += "[";
        for (size_t i = 0; i < s->panels.portListRows.size(); ++i) {
            LayerColor* row = s->panels.portListRows[i];
            std::vector<std::pair<float, std::string>> lines;
            bool marked = false;
            for (Node* child : row->getChildren()) {
                if (auto* label = dynamic_cast<Label*>(child)) lines.emplace_back(-label->getPositionY(), label->getString());
                else if (dynamic_cast<Sprite*>(child)) marked = true;
            }
            std::sort(lines.begin(), lines.end());
            if (i) j += ",";
            j += "{\"index\":" + std::to_string(row->getTag()) + ",\"name\":" + quote(s->panels.portListNames[i]) +
                 ",\"text\":" + quote(lines.size() > 0 ? lines[0].second : "") +
                 ",\"port\":" + quote(lines.size() > 1 ? lines[1].second : "") +
                 ",\"chosen\":" + std::string(marked ? "true" : "false") + ",\"box\":" + box(row) + "}";
        }
        j += "]";
    } else {
        j += "null";
    }
    j += ",\"portListView\":" +
         (s->panels.portListView ? rect(s->panels.portListView->getViewRectInWorld()) : std::string("null"));
    const Rect focus = s->focusBox();
    j += ",\"focus\":" + (focus.size.width > 0 ? rect(focus) : std::string("null"));
    j += ",\"portListBoardSaid\":" + box(s->answer.listButton);
    j += ",\"notice\":";
    if (s->sendNotice && s->sendNotice->getParent())
        j += "{\"text\":" + quote(s->sendNotice->getString()) + ",\"box\":" + box(s->notice.plate) +
             ",\"staysUntilTapped\":" + std::string(s->notice.staysUntilTapped ? "true" : "false") + "}";
    else
        j += "null";

    j += ",\"overlay\":" + std::string(s->send.overlay ? "true" : "false") +
         ",\"sending\":" + std::string(serial->isSending() ? "true" : "false") +
         ",\"listening\":" + std::string(serial->isListening() ? "true" : "false") +
         ",\"scanning\":" + std::string(serial->isScanning() ? "true" : "false") + ",\"ports\":[";
    for (ssize_t i = 0; i < serial->ports.size(); ++i) {
        if (i) j += ",";
        j += "{\"name\":" + quote(serial->ports.at(i)->portName) +
             ",\"description\":" + quote(serial->ports.at(i)->description) + "}";
    }
    j += "],\"selectedPort\":" + std::to_string(serial->selectedPort) + "}";
    return j;
}

// --- the watcher ------------------------------------------------------------------------

// Lines from stdin, read on their own thread and handed to the main thread.
struct Commands {
    std::mutex mutex;
    std::deque<std::string> lines;
};

// The ports the scan "finds": read by the scan worker, replaced by the main thread.
struct GivenPorts {
    std::mutex mutex;
    std::vector<tavrick::PortInfo> ports;
};
GivenPorts* givenPorts() {
    static GivenPorts* ports = new GivenPorts;  // never destroyed: a worker may still read it
    return ports;
}

// PATH[=DESCRIPTION][,usb]; false for a spec with no path.
bool parsePortSpec(const std::string& spec, tavrick::PortInfo& p) {
    std::string value = spec;
    p.kind = tavrick::PortKind::BuiltIn;
    const std::string usb = ",usb";
    if (value.size() > usb.size() && value.compare(value.size() - usb.size(), usb.size(), usb) == 0) {
        p.kind = tavrick::PortKind::Usb;
        value.resize(value.size() - usb.size());
    }
    const size_t eq = value.find('=');
    p.portName = value.substr(0, eq);
    p.description = eq == std::string::npos ? "Test Port" : value.substr(eq + 1);
    return !p.portName.empty();
}

// Words separated by blanks; double quotes keep blanks inside one word.
std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

struct Watcher {
    bool printLayout = false;
    bool printEvents = false;
    bool speakerTaken = false;
    bool ready = false;
    bool wasScanning = false;
    bool wasSending = false;
    bool wasListening = false;
    std::size_t saidEnded = 0;
    Node* lastSentSign = nullptr;
    bool portReported = false;
    std::string lastPort;
    Label* lastNotice = nullptr;
    std::string lastNoticeText;
    std::string sendPort;
    Commands* commands = nullptr;

    void tick() {
        FieldScene* scene = FieldScene::findRunning();
        if (!scene) return;
        if (printEvents && !scene->sim.observer) scene->sim.observer = simEvent;
        if (printEvents && !speakerTaken) {
            // Every sentence the child would hear, and still to the speech service.
            speakerTaken = true;
            auto inner = FieldScene::speaker;
            FieldScene::speaker = [inner](const std::string& text) {
                emit("event", "{\"event\":\"say\",\"text\":" + quote(text) + "}");
                if (inner) inner(text);
            };
        }
        TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
        const bool scanning = serial->isScanning(), sending = serial->isSending();
        const bool listening = serial->isListening();
        if (printEvents) {
            report(serial, scanning, sending);
            reportBoardSaid(scene, serial, sending, listening);
            reportChoiceAndNotice(scene, serial);
        }
        wasScanning = scanning;
        wasSending = sending;
        wasListening = listening;
        takeCommands(scene);
    }

    unsigned long saved = 0;

    // Each line the board said, once: the count of ended lines tells the new ones.
    void reportBoardSaid(FieldScene* scene, TavrickCardSerialManager* serial, bool sending, bool listening) {
        const tavrick::BoardReplies::Snapshot said = serial->getBoardReplies().snapshot();
        if (sending && !wasSending) saidEnded = 0;  // a new send: its lines count from the first
        if (said.ended < saidEnded) saidEnded = 0;
        const std::size_t fresh = std::min(said.ended - saidEnded, said.lines.size());
        for (std::size_t i = said.lines.size() - fresh; i < said.lines.size(); ++i)
            emit("event", "{\"event\":\"board-said\",\"text\":" + quote(said.lines[i]) + "}");
        saidEnded = said.ended;
        if (wasListening && !listening) {
            if (!said.partial.empty())
                emit("event", "{\"event\":\"board-said\",\"text\":" + quote(said.partial) + ",\"partial\":true}");
            emit("event", "{\"event\":\"answer-ended\",\"heard\":" + std::string(said.heard ? "true" : "false") +
                              "}");
        }
        if (scene->answer.sentSign && scene->answer.sentSign != lastSentSign)
            emit("event", "{\"event\":\"sent-sign\",\"text\":" + quote(scene->answer.sentText->getString()) + "}");
        lastSentSign = scene->answer.sentSign;
    }

    void reportChoiceAndNotice(FieldScene* scene, TavrickCardSerialManager* serial) {
        if (scene->autosavesWritten() != saved) {
            saved = scene->autosavesWritten();
            emit("event", "{\"event\":\"saved\",\"count\":" + std::to_string(saved) + "}");
        }
        if (!serial->isScanning() && (!portReported || serial->getSelectedPortName() != lastPort)) {
            portReported = true;
            lastPort = serial->getSelectedPortName();
            emit("event", "{\"event\":\"port\",\"name\":" + quote(lastPort) + "}");
        }
        Label* notice = scene->sendNotice && scene->sendNotice->getParent() ? scene->sendNotice : nullptr;
        if (notice && (notice != lastNotice || notice->getString() != lastNoticeText))
            emit("event", "{\"event\":\"notice\",\"text\":" + quote(notice->getString()) + "}");
        lastNotice = notice;
        lastNoticeText = notice ? notice->getString() : "";
    }

    void takeCommands(FieldScene* scene) {
        if (!commands) return;
        TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
        const bool scanning = serial->isScanning();
        // Ready once the first scan has reported: the port label has its final text.
        if (!ready && !scanning) {
            ready = true;
            if (printLayout) emit("layout", layoutJson(scene));
        }
        if (!ready) return;
        std::deque<std::string> lines;
        {
            std::lock_guard<std::mutex> lock(commands->mutex);
            lines.swap(commands->lines);
        }
        for (const std::string& line : lines) {
            if (line == "quit") {
                Director::getInstance()->end();
                return;
            }
            const std::vector<std::string> words = splitWords(line);
            if (!words.empty() && words[0] == "ports") {
                std::vector<tavrick::PortInfo> ports;
                for (size_t i = 1; i < words.size(); ++i) {
                    tavrick::PortInfo p;
                    if (parsePortSpec(words[i], p)) ports.push_back(p);
                    else std::fprintf(stderr, "tavrick-cards-harness: bad port \"%s\"\n", words[i].c_str());
                }
                {
                    std::lock_guard<std::mutex> lock(givenPorts()->mutex);
                    givenPorts()->ports = ports;
                }
                serial->setScanFunction([] {
                    std::lock_guard<std::mutex> lock(givenPorts()->mutex);
                    return givenPorts()->ports;
                });
                serial->devicesChanged();
                continue;
            }
            if (printLayout) emit("layout", layoutJson(scene));
        }
    }

    // Printed as they happen, not at the next tick: a test times the LED by them.
    static void simEvent(const char* what, const boardsim::Event& e) {
        const std::string ms = std::to_string(std::llround(e.ms));
        const std::string name = what;
        std::string j = "{\"event\":" + quote(name);
        if (name == "sim-line") j += ",\"text\":" + quote(e.text);
        if (name == "sim-led") j += std::string(",\"on\":") + (e.on ? "true" : "false");
        if (name == "sim-error") j += ",\"line\":" + quote(e.text) + ",\"why\":" + quote(e.why);
        if (name != "sim-start") j += ",\"ms\":" + ms;
        emit("event", j + "}");
    }

    void report(TavrickCardSerialManager* serial, bool scanning, bool sending) {
        if (scanning && !wasScanning) emit("event", "{\"event\":\"scan-started\"}");
        if (!scanning && wasScanning)
            emit("event", "{\"event\":\"scan-done\",\"ports\":" + std::to_string(serial->ports.size()) + "}");
        if (sending && !wasSending) {
            sendPort = serial->getSelectedPortName();
            emit("event", "{\"event\":\"send-started\",\"port\":" + quote(sendPort) +
                              ",\"lines\":" + std::to_string(serial->getLineCount()) + "}");
        }
        if (!sending && wasSending) {
            const bool ok = serial->getLastError() == tavrick::SerialError::None;
            emit("event", "{\"event\":\"send-done\",\"ok\":" + std::string(ok ? "true" : "false") +
                              ",\"port\":" + quote(sendPort) +
                              ",\"written\":" + std::to_string(serial->getLinesWritten()) +
                              ",\"lines\":" + std::to_string(serial->getLineCount()) +
                              ",\"error\":" + quote(tavrick::serialErrorName(serial->getLastError())) +
                              ",\"detail\":" + quote(serial->getLastErrorDetail()) + "}");
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<tavrick::PortInfo> ports;
    bool given = false;
    bool startFile = false;
    Watcher watcher;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        if (arg == "--print-layout") {
            watcher.printLayout = true;
            continue;
        }
        if (arg == "--print-events") {
            watcher.printEvents = true;
            continue;
        }
        if (arg == "--port" && i + 1 < argc) {
            value = argv[++i];
        } else if (arg.rfind("--port=", 0) == 0) {
            value = arg.substr(7);
        } else if (arg[0] != '-' && !startFile) {
            startFile = true;
            AppDelegate::setStartFile(arg);
            continue;
        } else {
            std::fprintf(stderr, "tavrick-cards-harness: unknown argument \"%s\"\n", arg.c_str());
            usage();
            return 2;
        }
        tavrick::PortInfo p;
        if (!parsePortSpec(value, p)) {
            std::fprintf(stderr, "tavrick-cards-harness: --port needs a path\n");
            return 2;
        }
        ports.push_back(p);
        given = true;
    }
    givenPorts()->ports = ports;
    if (given) {
        TavrickCardSerialManager::getInstance()->setScanFunction([] {
            std::lock_guard<std::mutex> lock(givenPorts()->mutex);
            return givenPorts()->ports;
        });
    }

    // Never destroyed: the reader thread may still be blocked on stdin when main returns.
    static Commands* commands = new Commands;
    if (watcher.printLayout || watcher.printEvents) {
        watcher.commands = commands;
        const bool quitAtEnd = watcher.printLayout;
        std::thread([quitAtEnd] {
            std::string line;
            while (std::getline(std::cin, line)) {
                std::lock_guard<std::mutex> lock(commands->mutex);
                commands->lines.push_back(line);
            }
            // Whoever drove us has gone: close rather than linger without a driver.
            std::lock_guard<std::mutex> lock(commands->mutex);
            if (quitAtEnd) commands->lines.push_back("quit");
        }).detach();
        // The main loop sleeps until its next timer, so the watcher's timer is also what
        // wakes it for commands. Scheduled first: in each update it looks before the serial
        // manager's poll can finish a worker, so no start or end goes unseen.
        Director::getInstance()->getScheduler()->schedule(
            [&watcher](float) { watcher.tick(); }, commands, 0.05f, false, "harness-watcher");
    }

    AppDelegate::addResourceFolders();
    // As the product: a second start with the same field hands its file over and ends.
    if (!AppDelegate::claimField()) return 0;
    AppDelegate app;
    const int status = cocos2d::Application::getInstance()->run();
    AppDelegate::releaseField();
    return status;
}
