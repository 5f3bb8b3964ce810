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
        dropScaled();
        _backend->_textures.erase(this);
    }
    SDL_FreeSurface(_surface);
}

void SdlTexture::dropScaled() {
    for (Scaled& s : _scaled)
        if (s.texture) SDL_DestroyTexture(s.texture);
    _scaled.clear();
}

SdlBackend::SdlBackend(SDL_Renderer* renderer, GLView* view) : _renderer(renderer), _view(view) {
    SDL_SetRenderDrawBlendMode(_renderer, SDL_BLENDMODE_BLEND);
}

SdlBackend::~SdlBackend() { forgetTextures(); }

void SdlBackend::forgetTextures() {
    // The renderer frees its textures itself; only the pointers go.
    for (SdlTexture* t : _textures) {
        t->_texture = nullptr;
        t->_scaled.clear();
        t->_backend = nullptr;
    }
    _textures.clear();
}

void SdlBackend::adopt(SdlTexture* t) {
    if (t->_backend == this) return;
    // Textures belong to one renderer: what another one made for this picture goes.
    if (t->_backend) {
        if (t->_texture) SDL_DestroyTexture(t->_texture);
        t->_texture = nullptr;
        t->dropScaled();
        t->_backend->_textures.erase(t);
    }
    t->_backend = this;
    _textures.insert(t);
}

SDL_Texture* SdlBackend::textureFor(SdlTexture* t) {
    adopt(t);
    if (t->_texture) return t->_texture;
    t->_texture = SDL_CreateTextureFromSurface(_renderer, t->_surface);
    if (t->_texture) SDL_SetTextureBlendMode(t->_texture, SDL_BLENDMODE_BLEND);
    return t->_texture;
}

SDL_Texture* SdlBackend::scaledFor(SdlTexture* t, const SDL_Rect& src, int w, int h) {
    adopt(t);
    for (auto& s : t->_scaled) {
        if (s.x == src.x && s.y == src.y && s.w == src.w && s.h == src.h && s.dw == w && s.dh == h) {
            s.lastUse = _frame;
            return s.texture;
        }
    }
    // A few sizes per picture part; a zoom in progress makes new ones, the oldest go.
    const size_t kKeep = 3;
    if (t->_scaled.size() >= kKeep) {
        auto oldest = t->_scaled.begin();
        for (auto it = t->_scaled.begin(); it != t->_scaled.end(); ++it)
            if (it->lastUse < oldest->lastUse) oldest = it;
        if (oldest->lastUse == _frame) return nullptr;  // all in use this frame: scale on the fly
        SDL_DestroyTexture(oldest->texture);
        t->_scaled.erase(oldest);
    }
    SDL_Surface* out = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGBA32);
    if (!out) return nullptr;
    SDL_Rect from = src;
    if (SDL_SoftStretchLinear(t->_surface, &from, out, nullptr) != 0) {
        SDL_FreeSurface(out);
        return nullptr;
    }
    SDL_Texture* tex = SDL_CreateTextureFromSurface(_renderer, out);
    SDL_FreeSurface(out);
    if (!tex) return nullptr;
    SDL_SetTextureBlendMode(tex, SDL_BLENDMODE_BLEND);
    t->_scaled.push_back({src.x, src.y, src.w, src.h, w, h, tex, _frame});
    return tex;
}

void SdlBackend::clear(const Color4B& c) {
    ++_frame;
    SDL_RenderSetClipRect(_renderer, nullptr);
    SDL_SetRenderDrawColor(_renderer, c.r, c.g, c.b, c.a);
    SDL_RenderClear(_renderer);
    setClip(nullptr);
}

namespace {
// A quad as the renderer queues it: top-left, top-right, bottom-left, bottom-right.
bool isQuadRun(const int* idx, int n, int ni) {
    if (n % 4 != 0 || ni != n / 4 * 6) return false;
    for (int q = 0, b = 0; q < ni; q += 6, b += 4) {
        if (idx[q] != b || idx[q + 1] != b + 1 || idx[q + 2] != b + 2 || idx[q + 3] != b + 2 ||
            idx[q + 4] != b + 1 || idx[q + 5] != b + 3)
            return false;
    }
    return true;
}

bool sameColour(const RenderVertex* v) {
    for (int i = 1; i < 4; ++i)
        if (v[i].r != v[0].r || v[i].g != v[0].g || v[i].b != v[0].b || v[i].a != v[0].a) return false;
    return true;
}
}  // namespace

void SdlBackend::drawTriangles(Texture2D* texture, const RenderVertex* v, int n, const int* idx,
                               int ni) {
    if (n <= 0 || ni <= 0) return;
    const Rect& vp = _view->getViewPortRect();
    const float sx = _view->getScaleX(), sy = _view->getScaleY();
    const float fh = _view->getFrameSize().height;
    SdlTexture* picture = static_cast<SdlTexture*>(texture);
    // The full-size texture is made only where it is drawn from: a picture always shown
    // scaled (the 2x art on a smaller window) never needs one, and a first frame is spared
    // converting every picture at four times the pixels it shows.
    SDL_Texture* full = nullptr;
    auto fullTexture = [&]() -> SDL_Texture* {
        if (!full && picture) full = textureFor(picture);
        return full;
    };
    _xy.resize(static_cast<size_t>(n) * 2);
    for (int i = 0; i < n; ++i) {
        _xy[2 * i] = vp.origin.x + v[i].x * sx;
        _xy[2 * i + 1] = fh - (vp.origin.y + v[i].y * sy);
    }
    const int stride = sizeof(RenderVertex);
    if (!isQuadRun(idx, n, ni)) {
        SDL_Texture* tex = fullTexture();
        if (texture && !tex) return;
        SDL_RenderGeometryRaw(_renderer, tex, _xy.data(), 2 * sizeof(float),
                              reinterpret_cast<const SDL_Color*>(&v[0].r), stride,
                              tex ? &v[0].u : nullptr, tex ? stride : 0, n, idx, ni, sizeof(int));
        return;
    }
    // Upright quads go through the blitters, which are far quicker than triangles on the
    // software renderer; turned or mirrored ones are drawn as triangles.
    const int tw = texture ? texture->getPixelsWide() : 0, th = texture ? texture->getPixelsHigh() : 0;
    for (int q = 0; q < n; q += 4) {
        const RenderVertex* qv = v + q;
        const float* p = &_xy[2 * q];
        const bool upright = p[0] == p[4] && p[2] == p[6] && p[1] == p[3] && p[5] == p[7] &&
                             p[2] > p[0] && p[5] > p[1] && sameColour(qv) &&
                             (!texture || (qv[0].u < qv[1].u && qv[0].v < qv[2].v));
        if (!upright) {
            static const int kQuad[6] = {0, 1, 2, 2, 1, 3};
            SDL_Texture* tex = fullTexture();
            if (texture && !tex) return;
            SDL_RenderGeometryRaw(_renderer, tex, p, 2 * sizeof(float),
                                  reinterpret_cast<const SDL_Color*>(&qv[0].r), stride,
                                  tex ? &qv[0].u : nullptr, tex ? stride : 0, 4, kQuad, 6, sizeof(int));
            continue;
        }
        const SDL_FRect dst{p[0], p[1], p[2] - p[0], p[5] - p[1]};
        if (!texture) {
            SDL_SetRenderDrawColor(_renderer, qv[0].r, qv[0].g, qv[0].b, qv[0].a);
            // Opaque fills need no blending, which the software renderer does per pixel.
            SDL_SetRenderDrawBlendMode(_renderer, qv[0].a == 255 ? SDL_BLENDMODE_NONE : SDL_BLENDMODE_BLEND);
            SDL_RenderFillRectF(_renderer, &dst);
            SDL_SetRenderDrawBlendMode(_renderer, SDL_BLENDMODE_BLEND);
            continue;
        }
        const SDL_Rect src{static_cast<int>(std::lround(qv[0].u * tw)),
                           static_cast<int>(std::lround(qv[0].v * th)),
                           static_cast<int>(std::lround((qv[1].u - qv[0].u) * tw)),
                           static_cast<int>(std::lround((qv[2].v - qv[0].v) * th))};
        // Whole pixels: a picture made ahead at its shown size is then copied 1:1.
        const SDL_Rect at{static_cast<int>(std::lround(dst.x)), static_cast<int>(std::lround(dst.y)),
                          static_cast<int>(std::lround(dst.x + dst.w)) - static_cast<int>(std::lround(dst.x)),
                          static_cast<int>(std::lround(dst.y + dst.h)) - static_cast<int>(std::lround(dst.y))};
        if (at.w <= 0 || at.h <= 0) continue;
        SDL_Texture* use = nullptr;
        SDL_Rect from = src;
        if ((at.w != src.w || at.h != src.h) && src.w > 0 && src.h > 0) {
            if (SDL_Texture* scaled = scaledFor(picture, src, at.w, at.h)) {
                use = scaled;
                from = SDL_Rect{0, 0, at.w, at.h};
            }
        }
        if (!use && !(use = fullTexture())) return;
        SDL_SetTextureColorMod(use, qv[0].r, qv[0].g, qv[0].b);
        SDL_SetTextureAlphaMod(use, qv[0].a);
        SDL_RenderCopy(_renderer, use, &from, &at);
    }
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
