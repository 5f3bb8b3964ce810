#pragma once
// The languages the program speaks, each named in itself, and which of them the user's system
// asks for.
#include <functional>
#include <string>
#include <vector>

namespace i18n {

struct Language {
    const char* code;  // the catalogue's name: "ja", "pt_BR"
    const char* name;  // in the language itself: "日本語", "Português (Brasil)"
};

// English first, then the others in the order the chooser lists them.
const std::vector<Language>& languages();
// The language named in itself, or "" for a code we do not have.
std::string nativeName(const std::string& code);

// "ja_JP.UTF-8", "pt-BR", "de_DE@euro" -> the code of a language we have ("ja", "pt_BR", "de"),
// or "" when we have none for it.
std::string supportedCode(const std::string& localeName);
// The first of `wanted` (locale names, most wanted first) we have; English when none.
std::string pickLanguage(const std::vector<std::string>& wanted);

// What the environment asks for, most wanted first: LANGUAGE's list, then the first set of
// LC_ALL, LC_MESSAGES, LANG. "C" and "POSIX" ask for English. `get` reads a variable.
std::vector<std::string> languagesFromEnvironment(const std::function<const char*(const char*)>& get);
// The user's languages as the system tells them (language_posix.cpp, language_win32.cpp).
std::vector<std::string> systemLanguages();

}  // namespace i18n
