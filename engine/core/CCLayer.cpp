#include "CCLayer.h"

#include <algorithm>
#include <cmath>
#include <vector>

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
    const float r = std::min(_cornerRadius, std::min(w, h) / 2);
    if (r > 0) {
        // A fan from the centre around the outline: straight edges with quarter circles at
        // the corners.
        constexpr int kSteps = 8;
        constexpr double kPi = 3.14159265358979323846;
        std::vector<RenderVertex> v;
        std::vector<int> idx;
        auto add = [&](float x, float y) {
            const Vec2 p = t.transformPoint(Vec2(x, y));
            v.push_back({p.x, p.y, _color.r, _color.g, _color.b, _opacity, 0, 0});
        };
        add(w / 2, h / 2);
        const Vec2 centres[4] = {Vec2(w - r, h - r), Vec2(r, h - r), Vec2(r, r), Vec2(w - r, r)};
        for (int c = 0; c < 4; ++c) {
            for (int i = 0; i <= kSteps; ++i) {
                const float a = static_cast<float>((c * 90 + i * 90.0 / kSteps) * kPi / 180.0);
                add(centres[c].x + r * std::cos(a), centres[c].y + r * std::sin(a));
            }
        }
        const int n = static_cast<int>(v.size()) - 1;
        for (int i = 1; i <= n; ++i) {
            idx.push_back(0);
            idx.push_back(i);
            idx.push_back(i == n ? 1 : i + 1);
        }
        renderer->addTriangles(nullptr, v.data(), static_cast<int>(v.size()), idx.data(),
                               static_cast<int>(idx.size()));
        return;
    }
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
