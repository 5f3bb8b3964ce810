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
    if (_pending) collect();
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

// One decoding run: the files, a shared cursor and the threads that take from it.
struct TextureCache::Batch {
    struct Job {
        std::string name, full;
        SDL_Surface* surface = nullptr;
        std::string error;
    };
    std::vector<Job> jobs;
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    bool ok = true;  // false when a file was not found

    void work() {
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
    }

    // Up to one thread a core (four at most); fewer if the system gives fewer.
    void start(unsigned threadCount) {
        for (unsigned i = 0; i < threadCount && i < jobs.size(); ++i) {
            try {
                // SDL keeps its error text per thread; a thread it did not start must free it itself.
                threads.emplace_back([this] {
                    work();
                    SDL_TLSCleanup();
                });
            } catch (const std::system_error&) {
                break;  // fewer threads, same result
            }
        }
    }

    void join() {
        work();  // whatever no thread has taken yet
        for (std::thread& t : threads) t.join();
        threads.clear();
    }
};

namespace {
unsigned coreCount() {
#ifdef TAVRICK_NO_THREADS
    return 0;  // decoded on the calling thread, as the batch is collected
#else
    return std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
#endif
}
}  // namespace

TextureCache::~TextureCache() {
    collect();
    removeAllTextures();
}

void TextureCache::preloadImages(const std::vector<std::string>& filenames) {
    collect();  // one batch at a time
    auto batch = std::make_unique<Batch>();
    for (const std::string& name : filenames) {
        if (_textures.count(name)) continue;
        if (_failed.count(name)) {
            batch->ok = false;
            continue;
        }
        bool queued = false;
        for (const Batch::Job& j : batch->jobs) queued = queued || j.name == name;
        if (queued) continue;
        Batch::Job job;
        job.name = name;
        job.full = FileUtils::getInstance()->fullPathForFilename(name);
        if (job.full.empty()) {
            std::fprintf(stderr, "cocos2d: image \"%s\" not found in any resource folder\n", name.c_str());
            _failed.insert(name);
            batch->ok = false;
            continue;
        }
        batch->jobs.push_back(std::move(job));
    }
    if (batch->jobs.empty() && batch->ok) return;
    // The PNG loader initialises itself on first use; done here, before the threads race to it.
    if (!batch->jobs.empty()) IMG_Init(IMG_INIT_PNG);
    batch->start(coreCount());
    _pending = std::move(batch);
}

bool TextureCache::collect() {
    if (!_pending) return true;
    std::unique_ptr<Batch> batch = std::move(_pending);
    batch->join();
    bool ok = batch->ok;
    for (Batch::Job& job : batch->jobs) {
        if (!job.surface) {
            std::fprintf(stderr, "cocos2d: image \"%s\" %s\n", job.full.c_str(), job.error.c_str());
            _failed.insert(job.name);
            ok = false;
            continue;
        }
        if (_textures.count(job.name)) {  // loaded one by one meanwhile
            SDL_FreeSurface(job.surface);
            continue;
        }
        Texture2D* t = createTextureFromSurface(job.surface, job.name);
        if (!t) {
            _failed.insert(job.name);
            ok = false;
            continue;
        }
        _textures[job.name] = t;
    }
    return ok;
}

bool TextureCache::addImages(const std::vector<std::string>& filenames) {
    // Takes in a preload first (preloadImages does), then decodes what is still missing.
    preloadImages(filenames);
    const bool ok = collect();
    // Every name asked for must be in the cache now.
    bool all = true;
    for (const std::string& name : filenames) all = all && _textures.count(name);
    return ok && all;
}

Texture2D* TextureCache::getTextureForKey(const std::string& filename) const {
    auto it = _textures.find(filename);
    return it == _textures.end() ? nullptr : it->second;
}

void TextureCache::removeAllTextures() {
    for (auto& t : _textures) t.second->release();
    _textures.clear();
    _failed.clear();
}

}  // namespace cocos2d
