// Fixture for tests that drive the manager the way the running app does: the worker is a real
// thread, and its end reaches us only through scheduler ticks.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "TavrickCardSerialManager.h"
#include "CCDirector.h"
#include "CCScheduler.h"

class SerialManagerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        manager = TavrickCardSerialManager::getInstance();
        manager->resetForTests();
    }

    void TearDown() override {
        manager->resetForTests();
        // Drops what create() left to the pool, so a reference miscounted above shows up here.
        cocos2d::PoolManager::getInstance()->getCurrentPool()->clear();
    }

    // Ticks the scheduler in 0.1 s steps, with real time passing, until `done` holds; false if
    // the deadline passes first.
    bool pumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    void tick() { cocos2d::Director::getInstance()->getScheduler()->update(0.1f); }

    TavrickCardSerialManager* manager = nullptr;
};
