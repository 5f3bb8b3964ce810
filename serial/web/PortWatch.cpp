// The page's hot-plug watch: serial_web.js hears the browser's connect and disconnect events
// (and the first list of granted ports, which comes a moment after the start) and calls here.
#include <emscripten.h>

#include "SerialLink.h"
#include "TavrickCardSerialManager.h"

namespace tavrick {

namespace {
std::function<void()>& changedCallback() {
    static std::function<void()> changed;
    return changed;
}
}  // namespace

struct PortWatch::Impl {};

bool PortWatch::start(std::function<void()> changed, std::string& error) {
    if (!serialLinkAvailable()) {
        error = "this browser has no Web Serial";
        return false;
    }
    stop();
    changedCallback() = std::move(changed);
    impl_ = new Impl;
    EM_ASM({ Module.tavrickSerial.watch(true); });
    return true;
}

void PortWatch::stop() {
    if (!impl_) return;
    changedCallback() = nullptr;
    EM_ASM({ Module.tavrickSerial.watch(false); });
    delete impl_;
    impl_ = nullptr;
}

void PortWatch::breakForTests(bool) {}

}  // namespace tavrick

extern "C" {

EMSCRIPTEN_KEEPALIVE void tavrick_serial_devices_changed() {
    if (tavrick::changedCallback()) tavrick::changedCallback()();
}

// A port the user has just granted from the browser's chooser: the choice, as a port picked by
// hand from the list is.
EMSCRIPTEN_KEEPALIVE void tavrick_serial_granted(const char* name) {
    TavrickCardSerialManager::getInstance()->setPreferredPort(name ? name : "");
    TavrickCardSerialManager::getInstance()->devicesChanged();
}

}  // extern "C"
