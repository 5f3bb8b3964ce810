#include "CCSprite.h"

#include "CCDirector.h"
#include "CCRenderer.h"
#include "CCTexture.h"

namespace cocos2d {

Sprite* Sprite::create() {
    auto* s = new Sprite;
    if (s->init()) return static_cast<Sprite*>(s->autorelease());
    delete s;
    return nullptr;
}

Sprite* Sprite::create(const std::string& filename) {
    auto* s = new Sprite;
    if (s->initWithFile(filename)) return static_cast<Sprite*>(s->autorelease());
    delete s;
    return nullptr;
}

Sprite* Sprite::createWithTexture(Texture2D* texture) {
    auto* s = new Sprite;
    if (s->initWithTexture(texture)) return static_cast<Sprite*>(s->autorelease());
    delete s;
    return nullptr;
}

Sprite::~Sprite() { CC_SAFE_RELEASE(_texture); }

bool Sprite::init() { return initWithTexture(nullptr, Rect::ZERO); }

bool Sprite::initWithFile(const std::string& filename) {
    if (filename.empty()) return false;
    Texture2D* t = TextureCache::getInstance()->addImage(filename);
    return t && initWithTexture(t);
}

bool Sprite::initWithTexture(Texture2D* texture) {
    if (!texture) return false;
    return initWithTexture(texture, Rect(Vec2::ZERO, texture->getContentSize()));
}

bool Sprite::initWithTexture(Texture2D* texture, const Rect& rect) {
    if (!Node::init()) return false;
    setAnchorPoint(Vec2(0.5f, 0.5f));
    CC_SAFE_RETAIN(texture);
    CC_SAFE_RELEASE(_texture);
    _texture = texture;
    setTextureRect(rect);
    return true;
}

void Sprite::setTexture(const std::string& filename) {
    if (Texture2D* t = TextureCache::getInstance()->addImage(filename)) setTexture(t);
}

void Sprite::setTexture(Texture2D* texture) {
    if (texture == _texture) return;
    CC_SAFE_RETAIN(texture);
    CC_SAFE_RELEASE(_texture);
    _texture = texture;
    setTextureRect(texture ? Rect(Vec2::ZERO, texture->getContentSize()) : Rect::ZERO);
}

void Sprite::setTextureRect(const Rect& r) {
    _rect = r;
    setContentSize(r.size);
}

void Sprite::draw(Renderer* renderer, const Mat4& t, uint32_t) {
    if (!_texture || _opacity == 0) return;
    const float w = _contentSize.width, h = _contentSize.height;
    const Size ts = _texture->getContentSize();
    float u0 = _rect.getMinX() / ts.width, u1 = _rect.getMaxX() / ts.width;
    // Texture rows run top down; node y runs bottom up.
    float v0 = _rect.getMinY() / ts.height, v1 = _rect.getMaxY() / ts.height;
    if (_flippedX) std::swap(u0, u1);
    if (_flippedY) std::swap(v0, v1);
    const Vec2 p[4] = {t.transformPoint(Vec2(0, h)), t.transformPoint(Vec2(w, h)),
                       t.transformPoint(Vec2(0, 0)), t.transformPoint(Vec2(w, 0))};
    const float uv[4][2] = {{u0, v0}, {u1, v0}, {u0, v1}, {u1, v1}};
    RenderVertex q[4];
    for (int i = 0; i < 4; ++i)
        q[i] = {p[i].x, p[i].y, _color.r, _color.g, _color.b, _opacity, uv[i][0], uv[i][1]};
    renderer->addQuad(_texture, q);
}

}  // namespace cocos2d
