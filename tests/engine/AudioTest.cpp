// Short sounds: queued on SDL's silent device; nothing heard and nothing said without a device.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "cocos2d.h"

using cocos2d::AudioEngine;

namespace {
struct Driver {
    explicit Driver(const char* name) {
        AudioEngine::getInstance()->close();
        setenv("SDL_AUDIODRIVER", name, 1);
        cocos2d::FileUtils::getInstance()->addSearchPath(TAVRICK_SOURCE_DIR);
    }
    ~Driver() {
        AudioEngine::getInstance()->close();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
};
}  // namespace

TEST(Audio, EachSoundIsQueuedWholeAndANewOneCutsTheOldOff) {
    Driver dummy("dummy");
    AudioEngine* audio = AudioEngine::getInstance();
    ASSERT_TRUE(audio->play("res/failed.wav"));
    const unsigned failed = audio->queuedBytes();
    EXPECT_GT(failed, 0u);
    ASSERT_TRUE(audio->play("res/snap.wav"));
    EXPECT_EQ(audio->lastPlayed(), "res/snap.wav");
    EXPECT_LT(audio->queuedBytes(), failed) << "the long sound is cut off, not queued before the short one";
    EXPECT_FALSE(audio->play("res/no-such-sound.wav"));
    EXPECT_FALSE(audio->play("res/r_play.png")) << "a picture is no sound";
    EXPECT_EQ(audio->lastPlayed(), "res/snap.wav");
}

TEST(Audio, WithoutADeviceNothingIsPlayedAndNothingIsSaid) {
    Driver none("no-such-driver");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(AudioEngine::getInstance()->play("res/snap.wav"));
    EXPECT_FALSE(AudioEngine::getInstance()->play("res/snap.wav"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
