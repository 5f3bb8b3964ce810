#include "CCLayer.h"

#include "CCDirector.h"
#include "CCRenderer.h"

namespace cocos2d {

namespace {
template <class T>
T* finish(T* n, bool ok) {
    if (ok) {
        n->autorelease();
        return n;
    }
    delete n;
    return nullptr;
}
}  // namespace

Layer* Layer::create() {
    auto* l = new Layer;
    return finish(l, l->init());
}

bool Layer::init() {
    setIgnoreAnchorPointForPosition(true);
    setAnchorPoint(Vec2(0.5f, 0.5f));
    setContentSize(Director::getInstance()->getWinSize());
    return true;
}

LayerColor* LayerColor::create() {
    auto* l = new LayerColor;
    return finish(l, l->initWithColor(Color4B(0, 0, 0, 0)));
}

LayerColor* LayerColor::create(const Color4B& color) {
    auto* l = new LayerColor;
    return finish(l, l->initWithColor(color));
}

LayerColor* LayerColor::create(const Color4B& color, float width, float height) {
    auto* l = new LayerColor;
    return finish(l, l->initWithColor(color, width, height));
}

bool LayerColor::initWithColor(const Color4B& color) {
    const Size s = Director::getInstance()->getWinSize();
    return initWithColor(color, s.width, s.height);
}

bool LayerColor::initWithColor(const Color4B& color, float width, float height) {
    if (!Layer::init()) return false;
    _color = Color3B(color.r, color.g, color.b);
    _opacity = color.a;
    setContentSize(Size(width, height));
    return true;
}

void LayerColor::draw(Renderer* renderer, const Mat4& t, uint32_t) {
    if (_opacity == 0) return;
    const float w = _contentSize.width, h = _contentSize.height;
    const Vec2 p[4] = {t.transformPoint(Vec2(0, h)), t.transformPoint(Vec2(w, h)),
                       t.transformPoint(Vec2(0, 0)), t.transformPoint(Vec2(w, 0))};
    RenderVertex q[4];
    for (int i = 0; i < 4; ++i) q[i] = {p[i].x, p[i].y, _color.r, _color.g, _color.b, _opacity, 0, 0};
    renderer->addQuad(nullptr, q);
}

Scene* Scene::create() {
    auto* s = new Scene;
    return finish(s, s->init());
}

bool Scene::init() {
    setIgnoreAnchorPointForPosition(true);
    setAnchorPoint(Vec2(0.5f, 0.5f));
    setContentSize(Director::getInstance()->getWinSize());
    return true;
}

}  // namespace cocos2d
