#pragma once
// The platform's own speech: a sentence said aloud, cutting off the one being said. One file
// per backend: speech-dispatcher on Linux (what the Linux screen reader speaks through), SAPI
// on Windows, silence elsewhere. A service that cannot be reached says why once on standard
// error and is silent from then on; nothing waits for it.
#include <memory>
#include <string>

class Speech {
public:
    virtual ~Speech() = default;
    // Says `text` (UTF-8), stopping what is being said. Never blocks for long.
    virtual void say(const std::string& text) = 0;
    // The platform's backend; it reaches the service at its first sentence, not here.
    static std::unique_ptr<Speech> open();
    // The system's screen reader runs (speech is then on unless the user turned it off):
    // the desktop's accessibility setting on Linux, SPI_GETSCREENREADER on Windows.
    static bool screenReaderRunning();
};
