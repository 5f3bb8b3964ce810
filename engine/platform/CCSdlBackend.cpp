#include "CCSdlBackend.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>

#include "CCGLView.h"

namespace cocos2d {

SdlTexture::SdlTexture(SDL_Surface* s, const std::string& path) : _surface(s) {
    _pixelsWide = s->w;
    _pixelsHigh = s->h;
    _path = path;
}

SdlTexture::~SdlTexture() {
    if (_backend) {
        if (_texture) SDL_DestroyTexture(_texture);
        _backend->_textures.erase(this);
    }
    SDL_FreeSurface(_surface);
}

SdlBackend::SdlBackend(SDL_Renderer* renderer, GLView* view) : _renderer(renderer), _view(view) {
    SDL_SetRenderDrawBlendMode(_renderer, SDL_BLENDMODE_BLEND);
}

SdlBackend::~SdlBackend() { forgetTextures(); }

void SdlBackend::forgetTextures() {
    // The renderer frees its textures itself; only the pointers go.
    for (SdlTexture* t : _textures) {
        t->_texture = nullptr;
        t->_backend = nullptr;
    }
    _textures.clear();
}

SDL_Texture* SdlBackend::textureFor(SdlTexture* t) {
    if (t->_backend == this && t->_texture) return t->_texture;
    if (t->_backend && t->_backend != this) {
        if (t->_texture) SDL_DestroyTexture(t->_texture);
        t->_backend->_textures.erase(t);
    }
    t->_texture = SDL_CreateTextureFromSurface(_renderer, t->_surface);
    t->_backend = this;
    _textures.insert(t);
    if (t->_texture) SDL_SetTextureBlendMode(t->_texture, SDL_BLENDMODE_BLEND);
    return t->_texture;
}

void SdlBackend::clear(const Color4B& c) {
    SDL_RenderSetClipRect(_renderer, nullptr);
    SDL_SetRenderDrawColor(_renderer, c.r, c.g, c.b, c.a);
    SDL_RenderClear(_renderer);
    setClip(nullptr);
}

void SdlBackend::drawTriangles(Texture2D* texture, const RenderVertex* v, int n, const int* idx,
                               int ni) {
    if (n <= 0 || ni <= 0) return;
    const Rect& vp = _view->getViewPortRect();
    const float sx = _view->getScaleX(), sy = _view->getScaleY();
    const float fh = _view->getFrameSize().height;
    _xy.resize(static_cast<size_t>(n) * 2);
    for (int i = 0; i < n; ++i) {
        _xy[2 * i] = vp.origin.x + v[i].x * sx;
        _xy[2 * i + 1] = fh - (vp.origin.y + v[i].y * sy);
    }
    SDL_Texture* tex = texture ? textureFor(static_cast<SdlTexture*>(texture)) : nullptr;
    if (texture && !tex) return;
    // The vertex record has SDL_Color and texture coordinates at fixed offsets.
    const int stride = sizeof(RenderVertex);
    SDL_RenderGeometryRaw(_renderer, tex, _xy.data(), 2 * sizeof(float),
                          reinterpret_cast<const SDL_Color*>(&v[0].r), stride,
                          tex ? &v[0].u : nullptr, tex ? stride : 0, n, idx, ni, sizeof(int));
}

void SdlBackend::setClip(const Rect* r) {
    const Rect& vp = _view->getViewPortRect();
    const float sx = _view->getScaleX(), sy = _view->getScaleY();
    const float fh = _view->getFrameSize().height;
    float x0 = vp.getMinX(), y0 = vp.getMinY(), x1 = vp.getMaxX(), y1 = vp.getMaxY();
    if (r) {
        x0 = std::max(x0, vp.origin.x + r->getMinX() * sx);
        x1 = std::min(x1, vp.origin.x + r->getMaxX() * sx);
        y0 = std::max(y0, vp.origin.y + r->getMinY() * sy);
        y1 = std::min(y1, vp.origin.y + r->getMaxY() * sy);
    }
    SDL_Rect c;
    c.x = static_cast<int>(std::lround(x0));
    c.w = std::max(0, static_cast<int>(std::lround(x1)) - c.x);
    const int top = static_cast<int>(std::lround(fh - y1));
    c.y = top;
    c.h = std::max(0, static_cast<int>(std::lround(fh - y0)) - top);
    if (c.w == 0 || c.h == 0) {
        // SDL treats an empty rectangle as "no clip"; clip to one pixel off-screen instead.
        c = SDL_Rect{-2, -2, 1, 1};
    }
    SDL_RenderSetClipRect(_renderer, &c);
}

}  // namespace cocos2d
