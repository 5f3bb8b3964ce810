#pragma once
// The screen's words in the chosen language. Texts are written in English in the code, marked
// for xgettext (`make pot`) by these calls; a text the catalogue lacks stays English.
// Main thread only.
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace i18n {

// Where <folder>/<code>/LC_MESSAGES/tavrick-cards.mo is looked for, in order.
void setCatalogueFolders(std::vector<std::string> folders);
const std::vector<std::string>& catalogueFolders();
// The catalogue's path for `code` in the first folder that has one, or "".
std::string cataloguePath(const std::string& code);

// Switches every later tr() to `code` ("en" or a code of languages()). A language whose
// catalogue is missing or broken leaves English, with `problem` saying why; false then.
bool setLanguage(const std::string& code, std::string* problem = nullptr);
// The language in use ("en" when English).
const std::string& language();

std::string tr(const char* text);
// A text that differs by number: "1 card" / "3 cards", in the language's own plural forms.
std::string trn(const char* singular, const char* plural, unsigned long n);
// A text for one place on the screen where the same English word means something else
// elsewhere; xgettext writes the context beside it for the translator.
std::string trc(const char* context, const char* text);

// Marks a text for the catalogue where it is kept before tr() is called on it.
constexpr const char* N_(const char* text) { return text; }

// Puts each value in place of "{name}" in `text`: the translator may move them.
std::string format(std::string text, std::initializer_list<std::pair<const char*, std::string>> values);

}  // namespace i18n
