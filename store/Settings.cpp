#include "Settings.h"

#include <nlohmann/json.hpp>

#include "files.h"

namespace tavrick {

namespace {

using nlohmann::json;

// The file's object, or none when it cannot be used (malformed, or a pipe, a folder, a huge file
// in its place). With `keptAs`, such a file is kept aside as the field's is, its new path there.
json readObject(const std::string& path, std::string* problem, std::string* keptAs) {
    // Looked at before it is read, as the field is: a pipe in its place never holds the start.
    std::string text, why;
    FileRefusal refusal = FileRefusal::None;
    json value;
    if (readSmallFile(path, kMaxProgramFileBytes, text, refusal, why)) {
        value = json::parse(text, nullptr, false);
        if (!value.is_discarded() && value.is_object()) return value;
        why.clear();
    } else if (refusal == FileRefusal::Missing) {
        return json::object();  // none yet: nothing to say
    }
    if (problem) *problem = path + " is not a settings file" + (why.empty() ? "" : " (" + why + ")");
    if (keptAs) *keptAs = keepBadFile(path);
    return json::object();
}

}  // namespace

Settings Settings::load(const std::string& folder, std::string* problem, std::string* keptAs) {
    Settings settings;
    if (folder.empty()) return settings;
    const json value = readObject(folder + kFileName, problem, keptAs);
    auto port = value.find("port");
    if (port != value.end() && port->is_string()) settings.port = port->get<std::string>();
    auto fullscreen = value.find("fullscreen");
    if (fullscreen != value.end() && fullscreen->is_boolean()) settings.fullscreen = fullscreen->get<bool>();
    auto language = value.find("language");
    if (language != value.end() && language->is_string()) settings.language = language->get<std::string>();
    auto speak = value.find("speak");
    if (speak != value.end() && speak->is_boolean()) settings.speak = speak->get<bool>() ? 1 : 0;
    auto sound = value.find("sound");
    if (sound != value.end() && sound->is_boolean()) settings.sound = sound->get<bool>();
    return settings;
}

bool Settings::save(const std::string& folder, std::string& error) const {
    if (folder.empty()) {
        error = "no folder for settings";
        return false;
    }
    const std::string path = folder + kFileName;
    std::string kept;  // never written over: what it held stays beside it
    json value = readObject(path, nullptr, &kept);
    value["version"] = 1;
    value["port"] = port;
    value["fullscreen"] = fullscreen;
    if (speak < 0)
        value.erase("speak");
    else
        value["speak"] = speak == 1;
    value["sound"] = sound;
    if (language.empty())
        value.erase("language");
    else
        value["language"] = language;
    // Port names may be any bytes; JSON wants UTF-8, so anything else is replaced, not thrown.
    return writeFileAtomically(path, value.dump(2, ' ', false, json::error_handler_t::replace) + "\n",
                               error);
}

}  // namespace tavrick
