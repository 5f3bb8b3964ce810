#pragma once
// Drives the engine without a display: an offscreen view, frames stepped with a fixed
// time step and no sleeping, touches injected at design points, pixels read back.
#include "cocos2d.h"

namespace scenetest {

// Installs a fresh offscreen view (frame pixels w x h) with the given design size and
// content scale factor; pictures are found in the source tree.
cocos2d::OffscreenView* useOffscreenView(int w = 1024, int h = 768,
                                         cocos2d::Size design = cocos2d::Size(1024, 768),
                                         float contentScale = 2.0f);
// Takes the scene down, drops the view and every listener, action and timer.
void resetEngine();
// Runs a scene (wrapping a layer in a scene when given a plain node) and draws one frame.
cocos2d::Scene* runScene(cocos2d::Node* rootOrLayer);
void stepFrames(int n, float dt = 1.0f / 60);
void stepSeconds(float seconds, float dt = 1.0f / 60);

void touchBegan(const cocos2d::Vec2& p, int id = 0);
void touchMoved(const cocos2d::Vec2& p, int id = 0);
void touchEnded(const cocos2d::Vec2& p, int id = 0);
void touchCancelled(const cocos2d::Vec2& p, int id = 0);
// Press and release at one point.
void tap(const cocos2d::Vec2& p, int id = 0);
// Press at a, move in `steps` equal steps to b, release at b.
void drag(const cocos2d::Vec2& a, const cocos2d::Vec2& b, int steps = 10, int id = 0);
void wheel(const cocos2d::Vec2& p, float notchesY, bool control = false);

cocos2d::Color4B pixelAt(const cocos2d::Vec2& designPoint);

}  // namespace scenetest
