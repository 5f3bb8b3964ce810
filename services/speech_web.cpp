// The page's speech: each sentence goes into a live region beside the canvas, which the
// visitor's own screen reader says (a browser has no speech service of its own that a
// screen-reader user would want on top of theirs).
#include <emscripten.h>

#include "Speech.h"

namespace {
// Made on first use: off the screen but not hidden from assistive technology. Emptied first,
// so that the same sentence twice is said twice.
EM_JS(void, tavrick_live_region_say, (const char* text), {
    var region = document.getElementById("tavrick-said");
    if (!region) {
        region = document.createElement("div");
        region.id = "tavrick-said";
        region.setAttribute("aria-live", "assertive");
        region.setAttribute("role", "status");
        region.style.cssText = "position:absolute;left:-10000px;width:1px;height:1px;overflow:hidden";
        document.body.appendChild(region);
    }
    region.textContent = "";
    region.textContent = UTF8ToString(text);
});

class LiveRegion : public Speech {
public:
    void say(const std::string& text) override { tavrick_live_region_say(text.c_str()); }
};
}  // namespace

std::unique_ptr<Speech> Speech::open() { return std::make_unique<LiveRegion>(); }

// Only a screen reader reads the region: it may as well always be written.
bool Speech::screenReaderRunning() { return true; }
