#include <cstdlib>

#include "Language.h"

namespace i18n {

std::vector<std::string> systemLanguages() {
    return languagesFromEnvironment([](const char* name) { return std::getenv(name); });
}

}  // namespace i18n
