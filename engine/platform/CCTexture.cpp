#include "CCTexture.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <system_error>
#include <thread>

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

bool TextureCache::addImages(const std::vector<std::string>& filenames) {
    struct Job {
        std::string name, full;
        SDL_Surface* surface = nullptr;
        std::string error;
    };
    std::vector<Job> jobs;
    bool ok = true;
    for (const std::string& name : filenames) {
        if (_textures.count(name)) continue;
        bool queued = false;
        for (const Job& j : jobs) queued = queued || j.name == name;
        if (queued) continue;
        Job job;
        job.name = name;
        job.full = FileUtils::getInstance()->fullPathForFilename(name);
        if (job.full.empty()) {
            std::fprintf(stderr, "cocos2d: image \"%s\" not found in any resource folder\n", name.c_str());
            ok = false;
            continue;
        }
        jobs.push_back(std::move(job));
    }
    if (jobs.empty()) return ok;
    // The PNG loader initialises itself on first use; done here, before the threads race to it.
    IMG_Init(IMG_INIT_PNG);
    std::atomic<size_t> next{0};
    auto work = [&jobs, &next] {
        for (size_t i = next++; i < jobs.size(); i = next++) {
            Job& job = jobs[i];
            SDL_Surface* s = IMG_Load(job.full.c_str());
            if (!s) {
                job.error = std::string("could not be read: ") + IMG_GetError();
                continue;
            }
            if (s->format->format != SDL_PIXELFORMAT_RGBA32) {
                SDL_Surface* rgba = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGBA32, 0);
                SDL_FreeSurface(s);
                s = rgba;
                if (!s) {
                    job.error = std::string("could not be converted: ") + SDL_GetError();
                    continue;
                }
            }
            job.surface = s;
        }
    };
    const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < cores && i < jobs.size(); ++i) {
        try {
            // SDL keeps its error text per thread; a thread it did not start must free it itself.
            helpers.emplace_back([&work] {
                work();
                SDL_TLSCleanup();
            });
        } catch (const std::system_error&) {
            break;  // fewer threads, same result
        }
    }
    work();
    for (std::thread& t : helpers) t.join();
    for (Job& job : jobs) {
        if (!job.surface) {
            std::fprintf(stderr, "cocos2d: image \"%s\" %s\n", job.full.c_str(), job.error.c_str());
            ok = false;
            continue;
        }
        Texture2D* t = createTextureFromSurface(job.surface, job.name);
        if (!t) {
            ok = false;
            continue;
        }
        _textures[job.name] = t;
    }
    return ok;
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
