#pragma once
// Short sounds: a WAV file played at once, cutting off the one still playing. The audio device
// is opened at the first sound, not at start; a machine without one hears nothing, and is not
// told (a sound is never the only way something is shown).
#include <map>
#include <string>
#include <vector>

namespace cocos2d {

class AudioEngine {
public:
    static AudioEngine* getInstance();
    // Plays `file` (found as FileUtils finds pictures). False when nothing could be played.
    bool play(const std::string& file);
    // The file last handed to the device, and the bytes it still has to play (tests).
    const std::string& lastPlayed() const { return last; }
    unsigned queuedBytes() const;
    // Closes the device and the audio driver (the next sound opens them again).
    void close();

private:
    bool open();
    const std::vector<unsigned char>* load(const std::string& file);

    unsigned device = 0;
    bool unavailable = false;
    int rate = 0, channels = 0;
    unsigned short format = 0;
    std::map<std::string, std::vector<unsigned char>> sounds;
    std::string last;
};

}  // namespace cocos2d
