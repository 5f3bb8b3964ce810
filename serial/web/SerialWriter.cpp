// The page's send: serial_web.js writes the lines through Web Serial with promises and timers,
// and calls back here for each line written, each byte heard, and at the end. The manager sees
// the same progress, stop and outcome as from a desktop writer thread.
#include <emscripten.h>

#include <memory>

#include "SerialLink.h"
#include "WebSerial.h"

namespace tavrick {

// The numbers serial_web.js reports errors by.
static_assert(static_cast<int>(SerialError::NotConnected) == 3 && static_cast<int>(SerialError::InUse) == 5 &&
                  static_cast<int>(SerialError::StoppedAnswering) == 8 &&
                  static_cast<int>(SerialError::AccessRefused) == 9 &&
                  static_cast<int>(SerialError::WriteFailed) == 10 && static_cast<int>(SerialError::Stopped) == 12,
              "serial_web.js names these errors by number");

namespace {

struct WebSend {
    int id = 0;
    std::atomic<int>* linesWritten = nullptr;
    StopSignal* stop = nullptr;
    BoardReplies* replies = nullptr;
    std::function<void(const SendOutcome&)> sent, ended;
};

std::unique_ptr<WebSend> s_send;
int s_lastId = 0;

WebSend* sendFor(int id) { return s_send && s_send->id == id ? s_send.get() : nullptr; }

}  // namespace

void sendSerialLines(const std::string& portName, const std::vector<SerialLine>& lines,
                     std::atomic<int>& linesWritten, const WriteOptions& options, StopSignal* stop,
                     BoardReplies* replies, const std::function<void(const SendOutcome&)>& sent,
                     const std::function<void(const SendOutcome&)>& ended) {
    if (!serialLinkAvailable()) {
        ended({SerialError::NoPort, "this browser has no Web Serial"});
        return;
    }
    webSerialDetach();
    auto send = std::make_unique<WebSend>();
    send->id = ++s_lastId;
    send->linesWritten = &linesWritten;
    send->stop = stop;
    send->replies = replies;
    send->sent = sent;
    send->ended = ended;
    s_send = std::move(send);
    EM_ASM({ Module.tavrickSerialLines = []; });
    for (const SerialLine& line : lines) {
        EM_ASM({ Module.tavrickSerialLines.push({bytes: HEAPU8.slice($0, $0 + $1), delayMs: $2, closing: !!$3}); },
               line.bytes.data(), line.bytes.size(), line.delayMs, line.closing ? 1 : 0);
    }
    EM_ASM(
        {
            const lines = Module.tavrickSerialLines;
            Module.tavrickSerialLines = null;
            Module.tavrickSerial.send($0, UTF8ToString($1), lines, $2, $3);
        },
        s_lastId, portName.c_str(), static_cast<int>(options.margin.count()),
        static_cast<int>(options.listenAfter.count()));
}

// The send under way is no longer waited for (the manager has moved on): it ends now for the
// manager, and the script lets the port go by itself.
void webSerialDetach() {
    if (!s_send) return;
    std::unique_ptr<WebSend> send = std::move(s_send);
    EM_ASM({ Module.tavrickSerial.detach(); });
    if (send->ended) send->ended({SerialError::Stopped, "sending stopped"});
}

}  // namespace tavrick

using tavrick::sendFor;

extern "C" {

EMSCRIPTEN_KEEPALIVE int tavrick_serial_stopped(int id) {
    tavrick::WebSend* send = sendFor(id);
    return !send || (send->stop && send->stop->stopped());
}

EMSCRIPTEN_KEEPALIVE void tavrick_serial_wrote(int id) {
    if (tavrick::WebSend* send = sendFor(id)) send->linesWritten->fetch_add(1, std::memory_order_release);
}

EMSCRIPTEN_KEEPALIVE void tavrick_serial_heard(int id, const char* bytes, int size) {
    tavrick::WebSend* send = sendFor(id);
    if (send && send->replies && size > 0) send->replies->add(bytes, static_cast<std::size_t>(size));
}

EMSCRIPTEN_KEEPALIVE void tavrick_serial_sent(int id) {
    if (tavrick::WebSend* send = sendFor(id))
        if (send->sent) send->sent({});
}

EMSCRIPTEN_KEEPALIVE void tavrick_serial_ended(int id, int error, const char* detail) {
    if (!sendFor(id)) return;
    std::unique_ptr<tavrick::WebSend> send = std::move(tavrick::s_send);
    if (send->ended) send->ended({static_cast<tavrick::SerialError>(error), detail ? detail : ""});
}

}  // extern "C"
