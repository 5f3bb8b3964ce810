#include "CCAudio.h"

#include <SDL.h>

#include "CCFileUtils.h"

#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>
#endif

namespace cocos2d {

namespace {
// ALSA's library prints its failures to standard error itself when a machine has no sound card;
// no sound is no fault here, so it is silenced for as long as the device is being opened.
class QuietStderr {
public:
#ifdef __linux__
    QuietStderr() {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0) return;
        saved_ = ::dup(2);
        if (saved_ >= 0) ::dup2(null, 2);
        ::close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        ::dup2(saved_, 2);
        ::close(saved_);
    }

private:
    int saved_ = -1;
#endif
};
}  // namespace

AudioEngine* AudioEngine::getInstance() {
    static AudioEngine engine;
    return &engine;
}

bool AudioEngine::open() {
    if (device) return true;
    if (unavailable) return false;
    QuietStderr quiet;
    if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        unavailable = true;
        return false;
    }
    SDL_AudioSpec want{}, have{};
    want.freq = 22050;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = 1024;
    // No callback: sounds are queued. The device's own format is taken, the sounds converted to it.
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_ANY_CHANGE);
    if (!device) {
        unavailable = true;
        return false;
    }
    rate = have.freq;
    channels = have.channels;
    format = have.format;
    SDL_PauseAudioDevice(device, 0);
    return true;
}

const std::vector<unsigned char>* AudioEngine::load(const std::string& file) {
    auto found = sounds.find(file);
    if (found != sounds.end()) return found->second.empty() ? nullptr : &found->second;
    std::vector<unsigned char>& pcm = sounds[file];  // an unreadable file is tried once
    SDL_AudioSpec spec;
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV(FileUtils::getInstance()->fullPathForFilename(file).c_str(), &spec, &buffer, &length))
        return nullptr;
    SDL_AudioCVT cvt;
    const int needed = SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, format,
                                         static_cast<Uint8>(channels), rate);
    if (needed < 0) {
        SDL_FreeWAV(buffer);
        return nullptr;
    }
    pcm.assign(buffer, buffer + length);
    SDL_FreeWAV(buffer);
    if (needed == 1) {
        cvt.len = static_cast<int>(pcm.size());
        pcm.resize(pcm.size() * static_cast<size_t>(cvt.len_mult));
        cvt.buf = pcm.data();
        if (SDL_ConvertAudio(&cvt) != 0) {
            pcm.clear();
            return nullptr;
        }
        pcm.resize(static_cast<size_t>(cvt.len_cvt));
    }
    return pcm.empty() ? nullptr : &pcm;
}

bool AudioEngine::play(const std::string& file) {
    if (!open()) return false;
    const std::vector<unsigned char>* pcm = load(file);
    if (!pcm) return false;
    SDL_ClearQueuedAudio(device);
    if (SDL_QueueAudio(device, pcm->data(), static_cast<Uint32>(pcm->size())) != 0) return false;
    last = file;
    return true;
}

unsigned AudioEngine::queuedBytes() const { return device ? SDL_GetQueuedAudioSize(device) : 0; }

void AudioEngine::close() {
    if (device) SDL_CloseAudioDevice(device);
    // The next sound starts the audio driver again (tests change it between sounds).
    if (SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    device = 0;
    unavailable = false;
    sounds.clear();
    last.clear();
}

}  // namespace cocos2d
