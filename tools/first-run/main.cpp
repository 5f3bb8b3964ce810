// The product, started for one picture: once the first port scan has reported, the next
// frame is saved as a PNG and the program ends. Used by `make run` on a machine without a
// display, and to make the README's screenshot (--cards lays a small program first).
#include <cstdio>
#include <cstring>
#include <string>

#include "AppDelegate.h"
#include "FieldScene.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;

namespace {
struct Watch {
    std::string path;
    bool cards = false;
    bool requested = false;
    int result = 1;
} watch;

void layExample(FieldScene* scene) {
    // LED on, wait 1 s, LED off, wait 1 s: a blinking light.
    const int kinds[][2] = {{0, 2}, {1, 2}};
    for (int r = 0; r < 2; ++r)
        for (int k = 0; k < 2; ++k) {
            const Rect b = scene->slotRows[r].at(k)->getBoundingBox();
            scene->layCard(kinds[r][k], Vec2(b.getMinX() + 8 + 95, b.getMidY()));
        }
}

void check(float) {
    if (watch.requested) return;
    FieldScene* scene = FieldScene::findRunning();
    if (!scene || TavrickCardSerialManager::getInstance()->isBusy()) return;
    watch.requested = true;
    if (watch.cards) layExample(scene);
    auto* view = dynamic_cast<GLViewImpl*>(Director::getInstance()->getOpenGLView());
    if (!view) {
        Director::getInstance()->end();
        return;
    }
    view->requestScreenshot(watch.path, [](bool ok) {
        if (!ok) std::fprintf(stderr, "tavrick-cards: could not save %s\n", watch.path.c_str());
        watch.result = ok ? 0 : 1;
        Director::getInstance()->end();
    });
}
}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cards") == 0)
            watch.cards = true;
        else
            watch.path = argv[i];
    }
    if (watch.path.empty()) {
        std::fprintf(stderr, "usage: tavrick-cards-first-run [--cards] OUTPUT.png\n");
        return 2;
    }
    AppDelegate::addResourceFolders();
    AppDelegate app;
    static int target;
    Director::getInstance()->getScheduler()->schedule(check, &target, 0.1f, false, "first-run");
    const int rc = Application::getInstance()->run();
    return rc != 0 ? rc : watch.result;
}
