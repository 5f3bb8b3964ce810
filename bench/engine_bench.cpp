// Frame time with a full field on the offscreen software renderer, and one snap search.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "BackgroundWriter.h"
#include "FieldScene.h"
#include "SceneDriver.h"
#include "TavrickCardSerialManager.h"

using namespace cocos2d;

namespace {

FieldScene* fullField(int w = 1024, int h = 768) {
    scenetest::useOffscreenView(w, h);
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    serial->resetForTests();
    serial->setScanFunction([] { return std::vector<tavrick::PortInfo>{}; });
    FieldScene* scene = FieldScene::create();
    scenetest::runScene(scene);
    for (size_t r = 0; r < scene->slotRows.size(); ++r)
        for (int k = 0; k < 2; ++k) {
            const Rect b = scene->slotRows[r].at(k)->getBoundingBox();
            scene->layCard(static_cast<int>((r * 2 + k) % 6), Vec2(b.getMinX() + 8 + 95, b.getMidY()));
        }
    scenetest::stepFrames(5);
    return scene;
}

void percentiles(benchmark::State& state, std::vector<double>& ms) {
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    state.counters["p50_ms"] = ms[ms.size() / 2];
    state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
}

void frames(benchmark::State& state, int w, int h) {
    fullField(w, h);
    std::vector<double> ms;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        Director::getInstance()->mainLoop(1.0f / 60);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    percentiles(state, ms);
    TavrickCardSerialManager::getInstance()->resetForTests();
    scenetest::resetEngine();
}

void FullFieldFrame(benchmark::State& state) { frames(state, 1024, 768); }
BENCHMARK(FullFieldFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The window a Raspberry Pi's panel gets: 640x480 on 800x480, 800x600 on 1024x600.
void SmallScreenFrame(benchmark::State& state) {
    frames(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
}
BENCHMARK(SmallScreenFrame)->Args({640, 480})->Args({800, 600})->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A drag step of a loose card over the full grid: every slot is searched, none is free.
void SnapSearch(benchmark::State& state) {
    FieldScene* scene = fullField();
    CardSprite* loose = scene->layCard(0, Vec2(900, 2000));
    float step = 1;
    for (auto _ : state) {
        scene->moveCard(loose, Vec2(step, 0));
        step = -step;
    }
    TavrickCardSerialManager::getInstance()->resetForTests();
    scenetest::resetEngine();
}
BENCHMARK(SnapSearch)->Unit(benchmark::kMicrosecond);

// What an autosave costs the frame with a full field: the field as text, handed to the writer
// (the disk work runs on the writer's thread, which this does not wait for).
void AutosaveOnTheMainThread(benchmark::State& state) {
    FieldScene* scene = fullField();
    char dir[] = "/tmp/tavrick-bench-XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string path = std::string(dir) + "/field.json";
    {
        tavrick::BackgroundWriter writer;
        std::vector<double> ms;
        for (auto _ : state) {
            const auto t0 = std::chrono::steady_clock::now();
            writer.write(path, scene->snapshot().toJson());
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        }
        percentiles(state, ms);
    }
    std::remove(path.c_str());
    rmdir(dir);
    TavrickCardSerialManager::getInstance()->resetForTests();
    scenetest::resetEngine();
}
BENCHMARK(AutosaveOnTheMainThread)->Unit(benchmark::kMicrosecond);

// One undo and one redo of a full field: every card taken off and laid again.
void UndoRedoFullField(benchmark::State& state) {
    FieldScene* scene = fullField();
    scene->fieldEdited();
    for (auto _ : state) {
        scene->undo();
        scene->redo();
    }
    TavrickCardSerialManager::getInstance()->resetForTests();
    scenetest::resetEngine();
}
BENCHMARK(UndoRedoFullField)->Unit(benchmark::kMillisecond);

// A field of n loose cards laid as a saved field is (each card a node with its own touch
// listener, entering the running scene) and taken off again: about linear in n.
void CardsAddedAndRemoved(benchmark::State& state) {
    scenetest::useOffscreenView(1024, 768);
    TavrickCardSerialManager* serial = TavrickCardSerialManager::getInstance();
    serial->resetForTests();
    serial->setScanFunction([] { return std::vector<tavrick::PortInfo>{}; });
    FieldScene* scene = FieldScene::create();
    scenetest::runScene(scene);
    tavrick::FieldDocument many, none;
    for (int i = 0; i < state.range(0); ++i)
        many.cards.push_back({i % 6, 700.f + (i * 37) % 1300, 200.f + (i * 53) % 3800, -1, 0});
    for (auto _ : state) {
        scene->restore(many, false);
        scene->restore(none, false);
    }
    state.counters["us_per_card"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * state.range(0),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    serial->resetForTests();
    scenetest::resetEngine();
}
BENCHMARK(CardsAddedAndRemoved)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
