#include "CCTexture.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>

#include "CCFileUtils.h"
#include "CCSdlBackend.h"

namespace cocos2d {

TextureCache* TextureCache::getInstance() {
    static TextureCache instance;
    return &instance;
}

Texture2D* createTextureFromSurface(SDL_Surface* surface, const std::string& path) {
    if (!surface) return nullptr;
    SDL_Surface* rgba = surface;
    if (surface->format->format != SDL_PIXELFORMAT_RGBA32) {
        rgba = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_RGBA32, 0);
        SDL_FreeSurface(surface);
        if (!rgba) return nullptr;
    }
    return new SdlTexture(rgba, path);
}

Texture2D* TextureCache::addImage(const std::string& filename) {
    auto it = _textures.find(filename);
    if (it != _textures.end()) return it->second;
    const std::string full = FileUtils::getInstance()->fullPathForFilename(filename);
    if (full.empty()) {
        std::fprintf(stderr, "cocos2d: image \"%s\" not found in any resource folder\n",
                     filename.c_str());
        return nullptr;
    }
    SDL_Surface* s = IMG_Load(full.c_str());
    if (!s) {
        std::fprintf(stderr, "cocos2d: image \"%s\" could not be read: %s\n", full.c_str(),
                     IMG_GetError());
        return nullptr;
    }
    Texture2D* t = createTextureFromSurface(s, filename);
    if (!t) {
        std::fprintf(stderr, "cocos2d: image \"%s\" could not be converted: %s\n", full.c_str(),
                     SDL_GetError());
        return nullptr;
    }
    _textures[filename] = t;  // the cache's reference
    return t;
}

Texture2D* TextureCache::getTextureForKey(const std::string& filename) const {
    auto it = _textures.find(filename);
    return it == _textures.end() ? nullptr : it->second;
}

void TextureCache::removeAllTextures() {
    for (auto& t : _textures) t.second->release();
    _textures.clear();
}

}  // namespace cocos2d
