#pragma once
#include "CCNode.h"

namespace cocos2d {

class Touch;
class Event;

class Layer : public Node {
public:
    static Layer* create();
    bool init() override;
    // Overridden by layers that bind their own touch listener to these.
    virtual bool onTouchBegan(Touch*, Event*) { return false; }
    virtual void onTouchMoved(Touch*, Event*) {}
    virtual void onTouchEnded(Touch*, Event*) {}
    virtual void onTouchCancelled(Touch*, Event*) {}
};

// A rectangle of one colour; its opacity is the colour's alpha.
class LayerColor : public Layer {
public:
    static LayerColor* create();
    static LayerColor* create(const Color4B& color);
    static LayerColor* create(const Color4B& color, float width, float height);
    bool initWithColor(const Color4B& color, float width, float height);
    bool initWithColor(const Color4B& color);
    void changeWidthAndHeight(float w, float h) { setContentSize(Size(w, h)); }
    // Rounds the corners (in points; 0, the default, is a plain rectangle).
    void setCornerRadius(float radius) { _cornerRadius = radius < 0 ? 0 : radius; }
    float getCornerRadius() const { return _cornerRadius; }
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;

private:
    float _cornerRadius = 0;
};

class Scene : public Node {
public:
    static Scene* create();
    bool init() override;
};

}  // namespace cocos2d
