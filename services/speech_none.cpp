// No speech service on this platform build: nothing is said, and the program says so once.
#include <cstdio>

#include "Speech.h"

namespace {
class Silence : public Speech {
public:
    void say(const std::string& text) override {
        if (told || text.empty()) return;
        told = true;
        std::fprintf(stderr, "tavrick-cards: nothing is said aloud: this build has no speech service\n");
    }

private:
    bool told = false;
};
}  // namespace

std::unique_ptr<Speech> Speech::open() { return std::make_unique<Silence>(); }

bool Speech::screenReaderRunning() { return false; }
