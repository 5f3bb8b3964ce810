// Speech through speech-dispatcher, the service Orca speaks through. The connection is made
// at the first sentence, so that a machine without the service starts as fast as any.
#include <libspeechd.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Speech.h"

#ifdef TAVRICK_HAVE_GIO
#include <gio/gio.h>
#endif

namespace {
// Where the service listens when no address is given (the library's own default): with nothing
// there it is not running, and the library is not asked (a failed open keeps some of its memory).
bool serviceSocketMissing() {
    if (std::getenv("SPEECHD_ADDRESS")) return false;
    std::string folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        folder = runtime;
    else if (const char* home = std::getenv("HOME"); home && *home)
        folder = std::string(home) + "/.cache";
    else
        return false;
    struct stat st {};
    return ::stat((folder + "/speech-dispatcher/speechd.sock").c_str(), &st) != 0;
}

class SpeechDispatcher : public Speech {
public:
    ~SpeechDispatcher() override {
        if (connection) spd_close(connection);
    }

    void say(const std::string& text) override {
        if (failed || text.empty()) return;
        if (!connection && serviceSocketMissing()) {
            failed = true;
            std::fprintf(stderr, "tavrick-cards: nothing is said aloud: speech-dispatcher is not running\n");
            return;
        }
        if (!connection) {
            char* error = nullptr;
            // No autospawn: a missing service is reported, not started behind the user's back.
            connection = spd_open2("tavrick-cards", "main", nullptr, SPD_MODE_SINGLE, nullptr, 0, &error);
            if (!connection) {
                failed = true;
                std::fprintf(stderr, "tavrick-cards: nothing is said aloud: speech-dispatcher cannot be reached (%s)\n",
                             error ? error : "no reason given");
                std::free(error);
                return;
            }
        }
        spd_cancel(connection);
        if (spd_say(connection, SPD_TEXT, text.c_str()) < 0) {
            failed = true;
            std::fprintf(stderr, "tavrick-cards: nothing is said aloud: speech-dispatcher refused a sentence\n");
        }
    }

private:
    SPDConnection* connection = nullptr;
    bool failed = false;
};
}  // namespace

std::unique_ptr<Speech> Speech::open() { return std::make_unique<SpeechDispatcher>(); }

bool Speech::screenReaderRunning() {
#ifdef TAVRICK_HAVE_GIO
    // Looked up first: GSettings aborts the program for a schema that is not installed.
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return false;
    const char* id = "org.gnome.desktop.a11y.applications";
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, id, TRUE);
    if (!schema) return false;
    bool on = false;
    if (g_settings_schema_has_key(schema, "screen-reader-enabled")) {
        GSettings* settings = g_settings_new(id);
        on = g_settings_get_boolean(settings, "screen-reader-enabled");
        g_object_unref(settings);
    }
    g_settings_schema_unref(schema);
    return on;
#else
    return false;
#endif
}
