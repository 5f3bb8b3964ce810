#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SceneDriver.h"

using namespace cocos2d;

namespace {

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        scenetest::useOffscreenView();
        root = Layer::create();
        scenetest::runScene(root);
    }
    void TearDown() override { scenetest::resetEngine(); }

    // A listener that logs its name; claims when `claim` is set.
    EventListenerTouchOneByOne* listen(Node* node, const std::string& name, bool claim = true,
                                       bool swallow = false) {
        auto* l = EventListenerTouchOneByOne::create();
        l->setSwallowTouches(swallow);
        l->onTouchBegan = [this, name, claim](Touch*, Event*) {
            log += name + "b ";
            return claim;
        };
        l->onTouchMoved = [this, name](Touch*, Event*) { log += name + "m "; };
        l->onTouchEnded = [this, name](Touch*, Event*) { log += name + "e "; };
        l->onTouchCancelled = [this, name](Touch*, Event*) { log += name + "c "; };
        root->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, node);
        return l;
    }
    Node* child(Node* parent, int z = 0) {
        Node* n = Node::create();
        parent->addChild(n, z);
        return n;
    }

    Layer* root = nullptr;
    std::string log;
};

TEST_F(Dispatch, TopmostDrawnFirstByZOrderInsertionAndNesting) {
    Node* a = child(root);        // drawn first
    Node* b = child(root);        // above a
    Node* below = child(root, -1);  // below everything, though added last
    Node* inA = child(a);         // above a, below b
    listen(a, "a", false);
    listen(a, "A", false);  // a second one of the same node: in registration order
    listen(b, "b", false);
    listen(below, "z", false);
    listen(inA, "i", false);
    scenetest::tap(Vec2(1, 1));
    EXPECT_EQ(log, "bb ib ab Ab zb ");
    log.clear();
    b->setLocalZOrder(-2);  // now under everything
    scenetest::tap(Vec2(1, 1));
    EXPECT_EQ(log, "ib ab Ab zb bb ");
}

TEST_F(Dispatch, ClaimingGetsTheRestOfTheTouchAndSwallowingHidesIt) {
    Node* low = child(root);
    Node* mid = child(root);
    Node* top = child(root);
    listen(low, "l");
    listen(mid, "m", true, true);  // claims and swallows
    listen(top, "t", false);       // does not claim: gets only the began
    scenetest::touchBegan(Vec2(5, 5));
    scenetest::touchMoved(Vec2(6, 6));
    scenetest::touchEnded(Vec2(6, 6));
    EXPECT_EQ(log, "tb mb mm me ");
}

TEST_F(Dispatch, NonSwallowingClaimsAreSharedUntilSwallowingIsTurnedOnMidTouch) {
    Node* low = child(root);
    Node* top = child(root);
    listen(low, "l");
    auto* t = listen(top, "t");
    scenetest::touchBegan(Vec2(5, 5));
    scenetest::touchCancelled(Vec2(5, 5));
    EXPECT_EQ(log, "tb lb tc lc ");
    log.clear();
    scenetest::touchBegan(Vec2(5, 5));
    t->setSwallowTouches(true);  // hides the following moves from the listener below
    scenetest::touchMoved(Vec2(6, 6));
    scenetest::touchEnded(Vec2(6, 6));
    EXPECT_EQ(log, "tb lb tm te ");
}

TEST_F(Dispatch, ATouchHiddenFromAListenerAtItsEndIsForgottenThere) {
    // The low listener claims the first touch only; the top one starts swallowing midway,
    // so the low one never hears that touch end. The next touch, which it refuses, must not
    // reach it, wherever the view happens to put the new touch.
    Node* low = child(root);
    Node* top = child(root);
    int touches = 0;
    auto* l = EventListenerTouchOneByOne::create();
    l->onTouchBegan = [&](Touch*, Event*) { return ++touches == 1; };
    l->onTouchMoved = [this](Touch*, Event*) { log += "lm "; };
    l->onTouchEnded = [this](Touch*, Event*) { log += "le "; };
    root->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, low);
    auto* t = listen(top, "t");
    for (int i = 0; i < 3; ++i) {
        scenetest::touchBegan(Vec2(5, 5));
        t->setSwallowTouches(i == 0);
        scenetest::touchMoved(Vec2(6, 6));
        scenetest::touchEnded(Vec2(6, 6));
    }
    EXPECT_EQ(log, "tb tm te tb tm te tb tm te ");
}

TEST_F(Dispatch, ListenersAddedDuringDispatchWaitForTheNextEvent) {
    Node* a = child(root);
    Node* b = child(root);
    auto* l = EventListenerTouchOneByOne::create();
    l->onTouchBegan = [&](Touch*, Event*) {
        log += "ab ";
        listen(b, "new", false);  // b is above a: it would be asked first next time
        return false;
    };
    root->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, a);
    scenetest::tap(Vec2(1, 1));
    EXPECT_EQ(log, "ab ");
    log.clear();
    scenetest::tap(Vec2(1, 1));
    EXPECT_EQ(log, "newb ab ");
}

TEST_F(Dispatch, ListenersRemovedDuringDispatchGetNothingMore) {
    Node* a = child(root);
    Node* b = child(root);
    auto* la = listen(a, "a");
    auto* lb = EventListenerTouchOneByOne::create();
    lb->onTouchBegan = [&](Touch*, Event*) {
        log += "bb ";
        root->getEventDispatcher()->removeEventListener(la);
        return true;
    };
    lb->onTouchEnded = [&](Touch*, Event*) {
        log += "be ";
        root->getEventDispatcher()->removeEventListener(lb);  // itself, mid-dispatch
    };
    root->getEventDispatcher()->addEventListenerWithSceneGraphPriority(lb, b);
    scenetest::tap(Vec2(1, 1));
    scenetest::tap(Vec2(1, 1));
    EXPECT_EQ(log, "bb be ");
    EXPECT_FALSE(root->getEventDispatcher()->hasEventListener(la));
}

// The listeners are also kept by node: what a node has is found, paused and dropped with it,
// also when a listener is taken off and put back in the middle of a dispatch.
TEST_F(Dispatch, ANodesListenersFollowItThroughRemovalAndReAdding) {
    EventDispatcher* d = root->getEventDispatcher();
    const size_t before = d->getListenerCount();
    Node* a = child(root);
    Node* b = child(root);
    auto* a1 = listen(a, "a", false);
    auto* a2 = listen(a, "A", false);
    listen(b, "b", false);
    EXPECT_EQ(d->getListenersForTarget(a), (std::vector<EventListener*>{a1, a2}));
    a->removeFromParent();  // paused with it...
    scenetest::tap(Vec2(1, 1));
    EXPECT_EQ(log, "bb ");
    log.clear();
    root->addChild(a);  // ...and back, above b now
    scenetest::tap(Vec2(1, 1));
    EXPECT_EQ(log, "ab Ab bb ");
    log.clear();

    // a1 off and on again by a listener above it while a touch is dispatched: it hears from
    // the next touch on, after a2.
    auto* swap = EventListenerTouchOneByOne::create();
    swap->onTouchBegan = [&](Touch*, Event*) {
        d->removeEventListener(a1);
        d->addEventListenerWithSceneGraphPriority(a1, a);
        d->removeEventListener(swap);
        return false;
    };
    d->addEventListenerWithSceneGraphPriority(swap, child(root));
    scenetest::tap(Vec2(1, 1));
    EXPECT_EQ(log, "Ab bb ");
    log.clear();
    scenetest::tap(Vec2(1, 1));
    EXPECT_EQ(log, "Ab ab bb ");
    EXPECT_EQ(d->getListenersForTarget(a), (std::vector<EventListener*>{a2, a1}));

    d->removeEventListenersForTarget(root, true);
    EXPECT_TRUE(d->getListenersForTarget(a).empty());
    EXPECT_EQ(d->getListenerCount(), before);
    log.clear();
    scenetest::tap(Vec2(1, 1));
    EXPECT_EQ(log, "");
}

TEST_F(Dispatch, KeysReachKeyboardListenersTopmostFirstWithTheirModifiers) {
    Node* below = child(root);
    Node* above = child(root, 1);
    auto keys = [&](Node* n, const std::string& name, bool stop) {
        auto* k = EventListenerKeyboard::create();
        k->onKeyPressed = [this, name, stop](EventKeyboard::KeyCode code, Event* e) {
            auto* key = static_cast<EventKeyboard*>(e);
            log += name + (code == EventKeyboard::KeyCode::KEY_Z ? "z" : "?") +
                   (key->isControlDown() ? "^" : "") + (key->isShiftDown() ? "+" : "") + " ";
            if (stop) e->stopPropagation();
        };
        k->onKeyReleased = [this, name](EventKeyboard::KeyCode, Event*) { log += name + "up "; };
        root->getEventDispatcher()->addEventListenerWithSceneGraphPriority(k, n);
    };
    keys(below, "b", false);
    keys(above, "a", false);
    GLView* view = Director::getInstance()->getOpenGLView();
    view->handleKey(EventKeyboard::KeyCode::KEY_Z, true, true, true);
    view->handleKey(EventKeyboard::KeyCode::KEY_Z, false, false, false);
    EXPECT_EQ(log, "az^+ bz^+ aup bup ");
    log.clear();
    keys(above, "s", true);  // registered later on the same node: after "a", and it stops
    view->handleKey(EventKeyboard::KeyCode::KEY_Z, true, false, false);
    EXPECT_EQ(log, "az sz ");
    // A node off the running scene hears nothing.
    log.clear();
    above->removeFromParent();
    view->handleKey(EventKeyboard::KeyCode::KEY_Z, true, false, false);
    EXPECT_EQ(log, "bz ");
}

TEST_F(Dispatch, CustomEventsByNameWithOrWithoutANode) {
    EventDispatcher* d = root->getEventDispatcher();
    std::string got;
    EventListenerCustom* loose = d->addCustomEventListener(GLView::EVENT_DROP_FILE, [&](EventCustom* e) {
        got += *static_cast<std::string*>(e->getUserData()) + " ";
    });
    ASSERT_NE(loose, nullptr);
    Node* n = child(root);
    auto* bound = EventListenerCustom::create(GLView::EVENT_DROP_FILE, [&](EventCustom*) { got += "node "; });
    d->addEventListenerWithSceneGraphPriority(bound, n);
    d->addCustomEventListener("other", [&](EventCustom*) { got += "other "; });
    Director::getInstance()->getOpenGLView()->handleDropFile("/tmp/a.cards");
    EXPECT_EQ(got, "/tmp/a.cards node ");
    got.clear();
    n->removeFromParent();  // a node-bound listener hears only while its node runs
    d->removeEventListener(loose);
    d->dispatchCustomEvent("other");
    Director::getInstance()->getOpenGLView()->handleDropFile("/tmp/b.cards");
    EXPECT_EQ(got, "other ");
    // One that removes itself while it is called is not called again.
    got.clear();
    EventListenerCustom* once = nullptr;
    once = d->addCustomEventListener("once", [&](EventCustom*) {
        got += "once ";
        d->removeEventListener(once);
    });
    d->dispatchCustomEvent("once");
    d->dispatchCustomEvent("once");
    EXPECT_EQ(got, "once ");
}

}  // namespace
