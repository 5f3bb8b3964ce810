#include "tr.h"

#include <memory>

#include "Catalogue.h"
#include "Language.h"
#include "files.h"

namespace i18n {

namespace {

struct State {
    std::vector<std::string> folders;
    std::string code = "en";
    std::unique_ptr<Catalogue> catalogue;  // null for English
};

State& state() {
    static State s;
    return s;
}

}  // namespace

void setCatalogueFolders(std::vector<std::string> folders) { state().folders = std::move(folders); }

const std::vector<std::string>& catalogueFolders() { return state().folders; }

std::string cataloguePath(const std::string& code) {
    for (const std::string& folder : state().folders) {
        const std::string path = folder + "/" + code + "/LC_MESSAGES/tavrick-cards.mo";
        if (FILE* f = tavrick::openFile(path, "rb")) {
            std::fclose(f);
            return path;
        }
    }
    return std::string();
}

bool setLanguage(const std::string& code, std::string* problem) {
    State& s = state();
    auto english = [&](const std::string& why) {
        s.code = "en";
        s.catalogue.reset();
        if (problem) *problem = why;
        return code == "en";
    };
    if (code == "en") return english("");
    if (nativeName(code).empty()) return english("no language \"" + code + "\"");
    const std::string path = cataloguePath(code);
    if (path.empty()) return english("the words for " + nativeName(code) + " are not installed");
    std::string bytes, why;
    tavrick::FileRefusal refusal;
    // A catalogue is a few kilobytes; anything else in its place is not read.
    if (!tavrick::readSmallFile(path, tavrick::kMaxProgramFileBytes, bytes, refusal, why)) return english(why);
    auto catalogue = std::make_unique<Catalogue>();
    if (!catalogue->load(bytes, why)) return english(path + ": " + why);
    s.code = code;
    s.catalogue = std::move(catalogue);
    return true;
}

const std::string& language() { return state().code; }

std::string tr(const char* text) {
    const Catalogue* c = state().catalogue.get();
    const std::string* t = c ? c->find(text) : nullptr;
    return t ? *t : std::string(text);
}

std::string trn(const char* singular, const char* plural, unsigned long n) {
    const Catalogue* c = state().catalogue.get();
    const std::string* t = c ? c->findPlural(singular, n) : nullptr;
    return t ? *t : std::string(n == 1 ? singular : plural);
}

std::string trc(const char* context, const char* text) {
    const Catalogue* c = state().catalogue.get();
    const std::string* t = c ? c->find(std::string(context) + '\x04' + text) : nullptr;
    return t ? *t : std::string(text);
}

std::string format(std::string text, std::initializer_list<std::pair<const char*, std::string>> values) {
    // One pass left to right: a value that itself holds "{name}" (a file so named) is left as is.
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find('{', at);
        const size_t close = open == std::string::npos ? std::string::npos : text.find('}', open);
        if (close == std::string::npos) break;
        out.append(text, at, open - at);
        const std::string name = text.substr(open + 1, close - open - 1);
        const std::string* value = nullptr;
        for (const auto& v : values)
            if (name == v.first) value = &v.second;
        if (value) {
            out += *value;
            at = close + 1;
        } else {
            out += '{';
            at = open + 1;
        }
    }
    out.append(text, at, std::string::npos);
    return out;
}

}  // namespace i18n
