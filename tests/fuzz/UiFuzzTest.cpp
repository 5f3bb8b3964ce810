// The UI fuzzer. Runs of seeded random events on the real screen, each in a child
// process, so that a crash or a sanitizer report is caught like a broken invariant. A
// failing run is reported with its seed and its last events.
//
// Environment: TAVRICK_FUZZ_EVENTS (all shards together; the build sets the default),
// TAVRICK_FUZZ_SEED, TAVRICK_FUZZ_RUN (events per run, each on a fresh screen).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <thread>

#include "UiFuzzer.h"

namespace {

constexpr int kShards = 4;
constexpr int kCapacity = 1 << 16;

struct Shared {
    std::atomic<int> count;     // events recorded so far
    std::atomic<int> failedAt;  // index of the event after which a check failed
    char message[1024];
    fuzz::Event events[kCapacity];
};

long envNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v) return fallback;
    char* end = nullptr;
    const long n = std::strtol(v, &end, 10);
    return end && *end == '\0' && n >= 0 ? n : fallback;
}

struct Outcome {
    std::string what;  // empty: the run passed
    int at = -1;       // last event that ran
};

// In the child: runs events from `source` (null when it has none left), checking after
// each, and leaves through _exit so that nothing of the parent's test runs twice.
[[noreturn]] void childMain(Shared* sh, const std::function<bool(fuzz::Screen&, fuzz::Event&)>& source) {
    int code = 0;
    auto fail = [&](const std::string& what, int at) {
        std::snprintf(sh->message, sizeof sh->message, "%s", what.c_str());
        sh->failedAt = at;
        code = 3;
    };
    // A screen built and taken down first, so that what lives on by design (singletons,
    // the picture cache) is counted before the run.
    { fuzz::Screen warm; }
    const long live = cocos2d::Ref::getLiveCount();
    {
        fuzz::Screen screen;
        if (!screen.ready()) {
            fail("setup: the screen could not be built", -1);
        } else {
            fuzz::Event e;
            while (code == 0 && sh->count < kCapacity && source(screen, e)) {
                const int i = sh->count;
                sh->events[i] = e;
                sh->count = i + 1;
                screen.apply(e);
                const std::string broken = screen.check();
                if (!broken.empty()) fail(broken, sh->count - 1);
            }
        }
    }
    if (code == 0 && cocos2d::Ref::getLiveCount() != live) {
        fail("leak: " + std::to_string(cocos2d::Ref::getLiveCount() - live) +
                 " engine objects outlive the screen",
             sh->count - 1);
    }
    std::fflush(nullptr);
    _exit(code);
}

Outcome runChild(Shared* sh, const std::function<bool(fuzz::Screen&, fuzz::Event&)>& source) {
    sh->count = 0;
    sh->failedAt = -1;
    sh->message[0] = '\0';
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) childMain(sh, source);
    if (pid < 0) return {"fork failed"};
    // A child that records nothing for two minutes hangs.
    int status = 0, seen = -1;
    auto lastProgress = std::chrono::steady_clock::now();
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (sh->count != seen) {
            seen = sh->count;
            lastProgress = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - lastProgress > std::chrono::minutes(2)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return {"hang: no event finished for two minutes", sh->count - 1};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {"", sh->count - 1};
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) return {sh->message, sh->failedAt};
    if (WIFSIGNALED(status))
        return {std::string("crash: signal ") + strsignal(WTERMSIG(status)), sh->count - 1};
    return {"crash: exit status " + std::to_string(WEXITSTATUS(status)) + " (a sanitizer report?)", sh->count - 1};
}

// A generated run: the generator's events, with the end of a worker recorded where the
// scene saw it, and a wait for a long send now and then so that it does not swallow the
// whole run. Ends with every finger lifted and the screen settled.
Outcome runGenerated(Shared* sh, std::uint64_t seed, int events) {
    return runChild(sh, [events, gen = fuzz::Generator(seed), busyFor = 0, waitAfter = 0,
                                tail = std::vector<fuzz::Event>(), tailStarted = false,
                                sh](fuzz::Screen& s, fuzz::Event& e) mutable {
        if (sh->count > 0 && !tailStarted) {
            const fuzz::Event& last = sh->events[sh->count - 1];
            // The worker's end, seen on a frame, goes in the run as a settle where it came.
            if (last.kind == fuzz::Event::Frames && s.pollWorker()) {
                e = fuzz::Event();
                e.kind = fuzz::Event::Settle;
                busyFor = 0;
                return true;
            }
        }
        if (s.busy()) {
            if (busyFor == 0) waitAfter = 20 + (sh->count * 37) % 181;
            if (++busyFor > waitAfter) {
                busyFor = 0;
                e = fuzz::Event();
                e.kind = fuzz::Event::Settle;
                return true;
            }
        } else {
            busyFor = 0;
        }
        if (sh->count < events) {
            e = gen.next(s);
            return true;
        }
        if (!tailStarted) {
            tailStarted = true;
            fuzz::Event settle;
            settle.kind = fuzz::Event::Settle;
            tail.push_back(settle);
            for (int f = 0; f < 3; ++f)
                if (s.fingerDown(f)) tail.push_back(fuzz::touch(fuzz::Event::Release, f, s.fingerAt(f)));
            tail.push_back(fuzz::frames(30, 0.05f));
            tail.push_back(settle);
        }
        if (tail.empty()) return false;
        e = tail.front();
        tail.erase(tail.begin());
        return true;
    });
}

// What failed, after which event, and the events that led there.
std::string report(Shared* sh, const std::string& origin, const Outcome& seen) {
    if (seen.at < 0) return origin + ": " + seen.what + " before any event";
    const int n = std::min(sh->count.load(), seen.at + 1);
    std::ostringstream out;
    out << origin << ": " << seen.what << " (after event " << seen.at << ")\nThe last events:\n";
    for (int i = std::max(0, n - 20); i < n; ++i) out << fuzz::format(sh->events[i]) << "\n";
    return out.str();
}

class UiFuzz : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        void* mem = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(mem, MAP_FAILED);
        sh = new (mem) Shared();
    }
    void TearDown() override {
        if (sh) munmap(sh, sizeof(Shared));
    }
    Shared* sh = nullptr;
};

TEST_P(UiFuzz, EveryEventKeepsTheScreenConsistent) {
    const long total = envNumber("TAVRICK_FUZZ_EVENTS", TAVRICK_FUZZ_DEFAULT_EVENTS);
    const long mine = total / kShards + (GetParam() < total % kShards ? 1 : 0);
    const long perRun = std::max(1L, std::min<long>(envNumber("TAVRICK_FUZZ_RUN", 2500), kCapacity / 2));
    const std::uint64_t base = static_cast<std::uint64_t>(envNumber("TAVRICK_FUZZ_SEED", 20240611));
    long done = 0;
    for (int n = 0; done < mine; ++n) {
        const int events = static_cast<int>(std::min(perRun, mine - done));
        const std::uint64_t seed = base + static_cast<std::uint64_t>(GetParam()) * 100000 + static_cast<std::uint64_t>(n);
        const Outcome o = runGenerated(sh, seed, events);
        done += events;
        if (!o.what.empty()) {
            FAIL() << report(sh, "seed " + std::to_string(seed) + " (TAVRICK_FUZZ_SEED=" + std::to_string(base) +
                                     ", shard " + std::to_string(GetParam()) + ", run " + std::to_string(n) + ")",
                             o);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shards, UiFuzz, ::testing::Range(0, kShards));

}  // namespace
