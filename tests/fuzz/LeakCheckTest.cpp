// The sanitizer build's leak check, checked itself: it hides only what libraries keep from
// their start-up, so memory SDL allocated for us and we lost is still reported. (Objects of
// our own engine are counted by every scene test and every fuzzer run instead.)
#if defined(__SANITIZE_ADDRESS__)
#define TAVRICK_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRICK_LSAN 1
#endif
#endif
#ifdef TAVRICK_LSAN
#include <dlfcn.h>
#include <fcntl.h>
#include <sanitizer/lsan_interface.h>
#include <sys/wait.h>

#include "SceneFixture.h"

namespace {

// Surfaces made by SDL for our code and then lost; SDL's own entry point, reached without
// its headers (only the engine includes them).
__attribute__((noinline)) void loseSurfaces() {
    using CreateSurface = void* (*)(unsigned, int, int, int, unsigned, unsigned, unsigned, unsigned);
    auto create = reinterpret_cast<CreateSurface>(dlsym(RTLD_DEFAULT, "SDL_CreateRGBSurface"));
    if (!create) return;
    for (int i = 0; i < 8; ++i) {
        void* volatile lost = create(0, 32, 32, 32, 0, 0, 0, 0);
        lost = nullptr;
        (void)lost;
    }
}

__attribute__((noinline)) void scrubStack() {
    volatile char junk[16384];
    for (size_t i = 0; i < sizeof junk; ++i) junk[i] = 0;
}

// In a child process: the leak check's answer after `lose` has run.
int leaksFoundAfter(void (*lose)()) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 2);  // the report of the expected leak
        lose();
        scrubStack();
        _exit(__lsan_do_recoverable_leak_check() != 0 ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using LeakCheck = SceneTest;

TEST_F(LeakCheck, ReportsSdlMemoryWeLost) {
    start();
    SceneTest::TearDown();
    ASSERT_NE(dlsym(RTLD_DEFAULT, "SDL_CreateRGBSurface"), nullptr);
    EXPECT_EQ(leaksFoundAfter([] {}), 0) << "start-up alone must not count as a leak";
    EXPECT_EQ(leaksFoundAfter(loseSurfaces), 1) << "lost SDL surfaces went unreported";
}

}  // namespace
#endif
