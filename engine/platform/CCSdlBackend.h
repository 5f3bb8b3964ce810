#pragma once
// Draws the renderer's triangles with SDL_RenderGeometry, mapping design points to the
// frame's pixels (letterboxed), with clip rectangles for the scissor.
#include <unordered_set>
#include <vector>

#include "CCRenderer.h"

struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Surface;
struct SDL_Rect;

namespace cocos2d {

class GLView;
class SdlTexture;

class SdlBackend : public RenderBackend {
public:
    SdlBackend(SDL_Renderer* renderer, GLView* view);
    ~SdlBackend() override;
    void clear(const Color4B& color) override;
    void drawTriangles(Texture2D* texture, const RenderVertex* vertices, int vertexCount,
                       const int* indices, int indexCount) override;
    void setClip(const Rect* designRect) override;
    SDL_Renderer* getSDLRenderer() const { return _renderer; }
    // The device lost its textures: they are made again on their next use.
    void forgetTextures();

private:
    friend class SdlTexture;
    // Makes this renderer the owner of the picture's textures (another one's are dropped).
    void adopt(SdlTexture* t);
    SDL_Texture* textureFor(SdlTexture* t);
    SDL_Texture* scaledFor(SdlTexture* t, const SDL_Rect& src, int w, int h);
    unsigned _frame = 0;
    SDL_Renderer* _renderer;
    GLView* _view;
    std::vector<float> _xy;
    std::vector<int> _colors;
    std::vector<float> _uv;
    std::unordered_set<SdlTexture*> _textures;
};

class SdlTexture : public Texture2D {
public:
    SdlTexture(SDL_Surface* rgbaSurface, const std::string& path);
    ~SdlTexture() override;
    SDL_Surface* getSurface() const { return _surface; }

private:
    friend class SdlBackend;
    // A part of the picture made ahead at the size it is shown, so that drawing it is a
    // plain copy rather than a scaling blit on every frame.
    struct Scaled {
        int x, y, w, h, dw, dh;
        SDL_Texture* texture;
        unsigned lastUse;
    };
    void dropScaled();
    SDL_Surface* _surface;
    SDL_Texture* _texture = nullptr;
    SdlBackend* _backend = nullptr;
    std::vector<Scaled> _scaled;
};

}  // namespace cocos2d
