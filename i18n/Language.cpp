#include "Language.h"

#include <cctype>

namespace i18n {

const std::vector<Language>& languages() {
    static const std::vector<Language> list = {
        {"en", "English"},   {"de", "Deutsch"},  {"es", "Español"},    {"fr", "Français"},
        {"it", "Italiano"},  {"nl", "Nederlands"}, {"pl", "Polski"},   {"pt_BR", "Português (Brasil)"},
        {"tr", "Türkçe"},    {"ja", "日本語"},   {"ko", "한국어"},     {"zh_CN", "简体中文"},
    };
    return list;
}

std::string nativeName(const std::string& code) {
    for (const Language& l : languages())
        if (code == l.code) return l.name;
    return std::string();
}

std::string supportedCode(const std::string& localeName) {
    // Drop ".UTF-8" and "@modifier"; "pt-BR" as Windows and browsers write it is "pt_BR".
    std::string name = localeName.substr(0, localeName.find_first_of(".@"));
    for (char& c : name)
        if (c == '-') c = '_';
    const size_t us = name.find('_');
    std::string lang = name.substr(0, us), region = us == std::string::npos ? "" : name.substr(us + 1);
    for (char& c : lang) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : region) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (lang == "c" || lang == "posix") return "en";
    if (lang == "zh") {
        // Simplified script only: a reader of traditional characters is not given the other.
        if (region.empty() || region == "CN" || region == "SG" || region.rfind("HANS", 0) == 0) return "zh_CN";
        return std::string();
    }
    if (lang == "pt") return region.empty() || region == "BR" ? "pt_BR" : std::string();
    for (const Language& l : languages())
        if (lang == l.code) return lang;
    return std::string();
}

std::string pickLanguage(const std::vector<std::string>& wanted) {
    for (const std::string& w : wanted) {
        const std::string code = supportedCode(w);
        if (!code.empty()) return code;
    }
    return "en";
}

std::vector<std::string> languagesFromEnvironment(const std::function<const char*(const char*)>& get) {
    std::vector<std::string> wanted;
    std::string locale;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = get(var);
        if (v && *v) {
            locale = v;
            break;
        }
    }
    // As gettext does: LANGUAGE's list counts only when the locale is not plain C.
    const char* list = get("LANGUAGE");
    const std::string base = locale.substr(0, locale.find('.'));
    if (list && *list && base != "C" && base != "POSIX") {
        std::string s = list;
        size_t start = 0;
        while (start <= s.size()) {
            size_t end = s.find(':', start);
            if (end == std::string::npos) end = s.size();
            if (end > start) wanted.push_back(s.substr(start, end - start));
            start = end + 1;
        }
    }
    if (!locale.empty()) wanted.push_back(locale);
    return wanted;
}

}  // namespace i18n
