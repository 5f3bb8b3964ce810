// Speech where no speech service runs: the program goes on, and says why once.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "Speech.h"

namespace {
// A runtime folder of the test's own: no speech-dispatcher socket in it, whatever the machine runs.
struct NoService {
    NoService() {
        char dir[] = "/tmp/tavrick-speech-XXXXXX";
        folder = mkdtemp(dir) ? dir : "";
        const char* was = getenv("XDG_RUNTIME_DIR");
        if (was) saved = was;
        hadOne = was != nullptr;
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        unsetenv("SPEECHD_ADDRESS");
    }
    ~NoService() {
        if (hadOne)
            setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        if (!folder.empty()) rmdir(folder.c_str());
    }
    std::string folder, saved;
    bool hadOne = false;
};
}  // namespace

TEST(Speech, WithoutTheServiceNothingIsSaidAndWhyIsToldOnce) {
    NoService none;
    std::unique_ptr<Speech> speech = Speech::open();
    ASSERT_NE(speech, nullptr);
    testing::internal::CaptureStderr();
    speech->say("Palette: LED on");
    speech->say("Row 10, left slot, empty");
    speech->say("");
    const std::string told = testing::internal::GetCapturedStderr();
    size_t lines = 0;
    for (char c : told) lines += c == '\n';
    EXPECT_EQ(lines, 1u) << told;
    EXPECT_NE(told.find("nothing is said aloud"), std::string::npos) << told;
}

TEST(Speech, TheScreenReaderSettingIsReadWithoutTheDesktop) {
    // No desktop session here: the answer is off, and asking does not abort or hang.
    EXPECT_FALSE(Speech::screenReaderRunning());
}
