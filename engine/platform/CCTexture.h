#pragma once
// Images loaded from files (PNG through SDL_image) or made from text, cached by path.
#include <memory>
#include <string>
#include <vector>
#include <unordered_map>
#include <unordered_set>

#include "CCRenderer.h"

struct SDL_Surface;

namespace cocos2d {

class TextureCache {
public:
    static TextureCache* getInstance();
    // Loads once per path. A missing or unreadable file gives a message on stderr that
    // names it, and null.
    Texture2D* addImage(const std::string& filename);
    // Loads many at once, decoding on every core (pictures are decoded and converted on worker
    // threads, the textures made here). False if any could not be loaded; each is named.
    bool addImages(const std::vector<std::string>& filenames);
    // Starts decoding in the background and returns at once, so that the pictures decode
    // while the window opens; the next addImages or addImage takes the results (and waits
    // for any still decoding). Needs no window or video.
    void preloadImages(const std::vector<std::string>& filenames);
    Texture2D* getTextureForKey(const std::string& filename) const;
    void removeAllTextures();
    size_t size() const { return _textures.size(); }
    ~TextureCache();

private:
    struct Batch;
    // Waits for the background decoding and keeps what it made; false if any failed.
    bool collect();
    std::unordered_map<std::string, Texture2D*> _textures;
    // Names that could not be loaded, each said once: a preload's failure is not decoded and
    // told again by the load that takes the preload in (until removeAllTextures).
    std::unordered_set<std::string> _failed;
    std::unique_ptr<Batch> _pending;
};

// Takes ownership of the surface (any format; converted to RGBA).
Texture2D* createTextureFromSurface(SDL_Surface* surface, const std::string& path);

}  // namespace cocos2d
