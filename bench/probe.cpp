// The product with instruments, for the benchmark script. Prints "key value" lines: the
// stages of the start and the first frame (CLOCK_MONOTONIC seconds;
// on Windows the wall clock, seconds since 1970), whether the hot-plug
// watch runs, and when the first port scan reported. Optionally fills all 60 slots through
// the path a drop takes, as one edit that the autosave writes (--fill), or lays two rows of
// LED and ten-second wait cards and runs them on the screen's board as the try button does
// (--try). Runs until it is stopped (SIGTERM), then prints the frames drawn.
#include <time.h>

#include <cstdio>
#include <cstring>

#include "AppDelegate.h"
#include "FieldScene.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;

namespace {
bool fill = false, tryRun = false, scanSeen = false;
unsigned presented = 0;  // frames shown in the window
int self;  // the probe's scheduler target

double now() {
    timespec ts;
#ifdef _WIN32
    // The Windows build runs under wine here: its monotonic clock has another origin than
    // the host's, the wall clock is shared (seconds since 1970).
    clock_gettime(CLOCK_REALTIME, &ts);
#else
    clock_gettime(CLOCK_MONOTONIC, &ts);
#endif
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void watch(float) {
    if (scanSeen) return;
    FieldScene* scene = FieldScene::findRunning();
    if (!scene || TavrickCardSerialManager::getInstance()->isBusy()) return;
    scanSeen = true;
    if (fill) {
        for (size_t r = 0; r < scene->slotRows.size(); ++r)
            for (int k = 0; k < 2; ++k) {
                const Rect b = scene->slotRows[r].at(k)->getBoundingBox();
                scene->layCard(static_cast<int>((r * 2 + k) % 6), Vec2(b.getMinX() + 8 + 95, b.getMidY()));
            }
        scene->fieldEdited();
        Director::getInstance()->setNeedsRedraw();
    }
    if (tryRun) {
        const int kinds[2][2] = {{0, 5}, {1, 5}};  // LED on, wait 10 s; LED off, wait 10 s
        for (int r = 0; r < 2; ++r)
            for (int k = 0; k < 2; ++k) {
                const Rect b = scene->slotRows[r].at(k)->getBoundingBox();
                scene->layCard(kinds[r][k], Vec2(b.getMinX() + 8 + 95, b.getMidY()));
            }
        scene->toggleSim();
        Director::getInstance()->setNeedsRedraw();
    }
    std::printf("watching %d\n", TavrickCardSerialManager::getInstance()->isWatching() ? 1 : 0);
    std::printf("frames-then %u\n", presented);
    std::printf("scan-reported %.6f\n", now());
    std::fflush(stdout);
    Director::getInstance()->getScheduler()->unschedule("probe", &self);
}

class ProbeApp : public AppDelegate {
public:
    bool applicationDidFinishLaunching() override {
        setStageListener([](const char* stage) { std::printf("%s %.6f\n", stage, now()); });
        if (!AppDelegate::applicationDidFinishLaunching()) return false;
        if (auto* view = dynamic_cast<GLViewImpl*>(Director::getInstance()->getOpenGLView())) {
            view->setPresentedCallback([] {
                if (presented++ > 0) return;
                std::printf("first-frame %.6f\n", now());
                std::fflush(stdout);
            });
        }
        return true;
    }
};
}  // namespace

int main(int argc, char** argv) {
    std::printf("main %.6f\n", now());
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--fill") == 0) fill = true;
        else if (std::strcmp(argv[i], "--try") == 0) tryRun = true;
    AppDelegate::addResourceFolders();
    ProbeApp app;
    Director::getInstance()->getScheduler()->schedule(watch, &self, 0.1f, false, "probe");
    // SDL turns SIGTERM into a quit; the loop ends and the count is told.
    const int status = Application::getInstance()->run();
    std::printf("frames-end %u\nend %.6f\n", presented, now());
    std::fflush(stdout);
    return status;
}
