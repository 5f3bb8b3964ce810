#pragma once
// Shared set-up of the scroll view suites: a running scene on the offscreen view and a
// view subclass that shows the working state.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "FieldScrollView.h"
#include "SceneDriver.h"

struct ProbeView : FieldScrollView {
    using FieldScrollView::velocity;
    bool coasting() const { return isScheduled(CC_SCHEDULE_SELECTOR(FieldScrollView::stepInertia)); }
    // The wheel's clock, when set (seconds); else the real one.
    double clock = -1;
    double wheelClock() const override { return clock < 0 ? FieldScrollView::wheelClock() : clock; }
};

// Logs "s" for each onScrolled and "z" for each onZoomed.
struct LogDelegate : FieldScrollViewDelegate {
    void onScrolled(FieldScrollView*) override { log += "s"; }
    void onZoomed(FieldScrollView*) override { log += "z"; }
    std::string log;
};

// A view of `view` points at `pos` in `parent` over content of `content`.
inline ProbeView* addView(cocos2d::Node* parent, cocos2d::Vec2 pos, cocos2d::Size view,
                          cocos2d::Size content, cocos2d::Vec2 offset = cocos2d::Vec2::ZERO) {
    auto* v = new ProbeView;
    v->initWithViewSize(view);
    v->autorelease();
    v->setPosition(pos);
    v->setContentSize(content);
    v->setContentOffset(offset);
    parent->addChild(v);
    return v;
}

// The content point under `world` is still under it after `change`.
inline void expectKeepsPoint(FieldScrollView* v, cocos2d::Vec2 world, const std::function<void()>& change) {
    const cocos2d::Vec2 content = v->getContainer()->convertToNodeSpace(world);
    change();
    const cocos2d::Vec2 now = v->getContainer()->convertToWorldSpace(content);
    EXPECT_NEAR(now.x, world.x, 1e-3);
    EXPECT_NEAR(now.y, world.y, 1e-3);
}

class ScrollViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        scenetest::useOffscreenView();
        root = cocos2d::Layer::create();
        scenetest::runScene(root);
    }
    void TearDown() override { scenetest::resetEngine(); }
    // Most cases: 200 x 200 at (100, 100), so view and world points differ.
    ProbeView* view(cocos2d::Size content, cocos2d::Vec2 offset = cocos2d::Vec2::ZERO) {
        return addView(root, cocos2d::Vec2(100, 100), cocos2d::Size(200, 200), content, offset);
    }
    cocos2d::Layer* root = nullptr;
};
