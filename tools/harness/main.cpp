// The product with one difference, for tests: its port scan reports the ports given as
// --port PATH[=DESCRIPTION] (in that order; the description defaults to "Test Port").
// Without --port it scans like the product.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "AppDelegate.h"
#include "TavrickCardSerialManager.h"

namespace {
void usage() {
    std::fprintf(stderr, "usage: tavrick-cards-harness [--port PATH[=DESCRIPTION]]...\n");
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<tavrick::PortInfo> ports;
    bool given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        if (arg == "--port" && i + 1 < argc) {
            value = argv[++i];
        } else if (arg.rfind("--port=", 0) == 0) {
            value = arg.substr(7);
        } else {
            std::fprintf(stderr, "tavrick-cards-harness: unknown argument \"%s\"\n", arg.c_str());
            usage();
            return 2;
        }
        const size_t eq = value.find('=');
        tavrick::PortInfo p;
        p.portName = value.substr(0, eq);
        p.description = eq == std::string::npos ? "Test Port" : value.substr(eq + 1);
        if (p.portName.empty()) {
            std::fprintf(stderr, "tavrick-cards-harness: --port needs a path\n");
            return 2;
        }
        ports.push_back(p);
        given = true;
    }
    if (given) TavrickCardSerialManager::getInstance()->setScanFunction([ports] { return ports; });
    AppDelegate::addResourceFolders();
    AppDelegate app;
    return cocos2d::Application::getInstance()->run();
}
