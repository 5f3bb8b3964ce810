// Sends a full Dov field (60 cards, 30 lines) to a port and prints how long the send took
// against the sum of the pauses of its lines, as JSON.
#include <chrono>
#include <cstdio>
#include <thread>

#include "FieldScene.h"
#include "SceneDriver.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavrick_send_bench PORT\n");
        return 2;
    }
    const std::string port = argv[1];
    scenetest::useOffscreenView();
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    serial->setScanFunction([port] { return std::vector<tavrick::PortInfo>{{port, "Board"}}; });
    FieldScene* scene = FieldScene::create();
    scenetest::runScene(scene);
    while (serial->isBusy()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        scenetest::stepFrames(1, 0.005f);
    }
    for (size_t r = 0; r < scene->slotRows.size(); ++r)
        for (int k = 0; k < 2; ++k) {
            const Rect b = scene->slotRows[r].at(k)->getBoundingBox();
            scene->layCard(static_cast<int>((r * 2 + k) % 6), Vec2(b.getMinX() + 8 + 95, b.getMidY()));
        }
    bool done = false, ok = false;
    const auto t0 = std::chrono::steady_clock::now();
    scene->buildAndSend();
    long pauses = 0;
    for (SendData* d : serial->sendQueue) pauses += d->delayMs > 0 ? d->delayMs : 0;
    const int lines = static_cast<int>(serial->sendQueue.size());
    // Frames are stepped with the real time that passed, so the manager's 0.1 s poll runs
    // on time and reports the end as the product would.
    auto t1 = t0, last = t0;
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto now = std::chrono::steady_clock::now();
        scenetest::stepFrames(1, std::chrono::duration<float>(now - last).count());
        last = now;
        if (!serial->isSending()) {
            done = true;
            t1 = std::chrono::steady_clock::now();
            ok = scene->sendNotice == nullptr;
        }
    }
    const double seconds = std::chrono::duration<double>(t1 - t0).count();
    std::printf("{\"lines\": %d, \"seconds\": %.4f, \"pause_seconds\": %.4f, \"ok\": %s}\n", lines,
                seconds, pauses / 1000.0, ok ? "true" : "false");
    serial->resetForTests();
    scenetest::resetEngine();
    return ok ? 0 : 1;
}
