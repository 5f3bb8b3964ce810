#include <windows.h>

#include <cstdlib>

#include "Language.h"
#include "files.h"

namespace i18n {

// The variables first (a teacher's shortcut, the tests under wine), then the languages the
// user put in order in the system's settings ("ja-JP", "en-US").
std::vector<std::string> systemLanguages() {
    std::vector<std::string> wanted =
        languagesFromEnvironment([](const char* name) { return std::getenv(name); });
    ULONG count = 0, chars = 0;
    if (GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &chars) && chars > 0) {
        std::wstring buffer(chars, L'\0');
        if (GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, buffer.data(), &chars)) {
            for (const wchar_t* p = buffer.c_str(); *p; p += wcslen(p) + 1)
                wanted.push_back(tavrick::narrow(p));
        }
    }
    wchar_t name[LOCALE_NAME_MAX_LENGTH];
    if (wanted.empty() && GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0)
        wanted.push_back(tavrick::narrow(name));
    return wanted;
}

}  // namespace i18n
