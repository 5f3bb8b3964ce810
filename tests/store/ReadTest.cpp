// Files that are not program files, read through the one checked reader: refused at once,
// without blocking and without reading them into memory, and left as they were.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "FieldDocument.h"
#include "Settings.h"
#include "files.h"

using tavrick::FieldDocument;
using tavrick::FileRefusal;

namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs `work` in a child process and gives it `seconds`: a read that blocks or eats the memory
// fails the test instead of hanging the suite. The child's exit status, or -1 when it had to be
// killed; `took` is how long it ran.
int inChild(const std::function<int()>& work, double seconds, double& took) {
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        alarm(static_cast<unsigned>(seconds) + 5);  // in case the parent is gone
        _exit(work());
    }
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (done == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (took > seconds) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

class Read : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavrick-read-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = std::string(pattern) + "/";
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }

    // The refusal readSmallFile gives `path` with a limit of 1 MB, read in a child process that
    // must be done within a second.
    FileRefusal refusalOf(const std::string& path, std::string* problem = nullptr) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        double took = 0;
        const int status = inChild(
            [&] {
                close(fds[0]);
                std::string text, why;
                FileRefusal refusal = FileRefusal::None;
                const bool ok = tavrick::readSmallFile(path, tavrick::kMaxProgramFileBytes, text, refusal, why);
                if (ok != (refusal == FileRefusal::None) || (!ok && !text.empty())) return 99;
                (void)!write(fds[1], why.data(), why.size());
                return static_cast<int>(refusal);
            },
            1.0, took);
        close(fds[1]);
        char buf[512];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        close(fds[0]);
        if (problem) *problem = n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
        EXPECT_NE(status, -1) << path << ": the read blocked or took over a second (" << took << " s)";
        EXPECT_NE(status, 99) << path << ": the result and the refusal disagree";
        return static_cast<FileRefusal>(status < 0 || status == 99 ? 0 : status);
    }

    std::string folder;
};

}  // namespace

TEST_F(Read, AFifoIsRefusedWithoutWaitingForAWriter) {
    const std::string fifo = folder + "field.json";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::string problem;
    EXPECT_EQ(refusalOf(fifo, &problem), FileRefusal::NotAFile);
    EXPECT_EQ(problem, "it is a named pipe, not a file");
    struct stat st {};
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "left as it was";
}

TEST_F(Read, AFolderIsRefused) {
    const std::string dir = folder + "lesson.cards";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    writeFile(dir + "/inside", "x");
    std::string problem;
    EXPECT_EQ(refusalOf(dir, &problem), FileRefusal::NotAFile);
    EXPECT_EQ(problem, "it is a folder");
    EXPECT_EQ(readFile(dir + "/inside"), "x");
}

// /dev/zero never ends: read whole, it fills the memory until the program dies. A link to it
// under the file's name is refused the same way.
TEST_F(Read, ADeviceIsRefusedAndNeverRead) {
    std::string problem;
    EXPECT_EQ(refusalOf("/dev/zero", &problem), FileRefusal::NotAFile);
    EXPECT_EQ(problem, "it is a device, not a file");
    const std::string link = folder + "field.json";
    ASSERT_EQ(symlink("/dev/zero", link.c_str()), 0);
    EXPECT_EQ(refusalOf(link), FileRefusal::NotAFile);
    char target[64] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "/dev/zero");
}

TEST_F(Read, AFileOverTheLimitIsRefusedFromItsSize) {
    const std::string big = folder + "film.cards";
    writeFile(big, std::string(2 * 1024 * 1024, 'x'));
    struct stat before {};
    ASSERT_EQ(stat(big.c_str(), &before), 0);
    std::string problem;
    EXPECT_EQ(refusalOf(big, &problem), FileRefusal::TooLarge);
    EXPECT_EQ(problem, "it is larger than 1 MB");
    struct stat after {};
    ASSERT_EQ(stat(big.c_str(), &after), 0);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    // Exactly at the limit it is read; one byte over it is not.
    const std::string edge = folder + "edge.cards";
    writeFile(edge, std::string(tavrick::kMaxProgramFileBytes, 'y'));
    std::string text, why;
    FileRefusal refusal = FileRefusal::None;
    EXPECT_TRUE(tavrick::readSmallFile(edge, tavrick::kMaxProgramFileBytes, text, refusal, why)) << why;
    EXPECT_EQ(text.size(), tavrick::kMaxProgramFileBytes);
    writeFile(edge, std::string(tavrick::kMaxProgramFileBytes + 1, 'y'));
    EXPECT_FALSE(tavrick::readSmallFile(edge, tavrick::kMaxProgramFileBytes, text, refusal, why));
    EXPECT_EQ(refusal, FileRefusal::TooLarge);
    EXPECT_TRUE(text.empty());
}

// A file whose size says nothing of what it holds (the kernel's files say 0) is still read no
// further than the limit.
TEST_F(Read, AFileLongerThanItsSizeStopsAtTheLimit) {
    std::string text, why;
    FileRefusal refusal = FileRefusal::None;
    EXPECT_FALSE(tavrick::readSmallFile("/proc/self/mem", 16, text, refusal, why));
    EXPECT_EQ(refusal, FileRefusal::Unreadable) << why;  // offset 0 is never mapped: a read error
    EXPECT_EQ(why.rfind("could not be read: ", 0), 0u) << why;
    EXPECT_TRUE(tavrick::readSmallFile("/proc/self/status", 1 << 20, text, refusal, why)) << why;
    EXPECT_NE(text.find("Pid:"), std::string::npos);
    EXPECT_FALSE(tavrick::readSmallFile("/proc/self/status", 16, text, refusal, why));
    EXPECT_EQ(refusal, FileRefusal::TooLarge);
}

TEST_F(Read, AMissingFileIsToldApart) {
    EXPECT_EQ(refusalOf(folder + "none.cards"), FileRefusal::Missing);
    EXPECT_EQ(refusalOf(folder + "no-folder/none.cards"), FileRefusal::Missing);
}

TEST_F(Read, AFieldFileSaysWhichKindOfRefusalItIs) {
    auto fieldOf = [](int cards) {
        FieldDocument d;
        for (int i = 0; i < cards; ++i) d.cards.push_back({i % 6, float(700 + i % 1000), float(200 + i % 3000), -1, 0});
        return d;
    };
    FieldDocument out;
    std::string problem;
    using R = FieldDocument::ReadResult;

    // As many cards as a field may hold: read, and well under the size limit as the program
    // writes it.
    const std::string most = folder + "most.cards";
    writeFile(most, fieldOf(FieldDocument::kMaxCards).toJson());
    EXPECT_LT(readFile(most).size(), tavrick::kMaxProgramFileBytes);
    EXPECT_EQ(FieldDocument::readFile(most, out, problem), R::Read) << problem;
    EXPECT_EQ(out.cards.size(), static_cast<size_t>(FieldDocument::kMaxCards));

    // One more is no program a child made.
    const std::string more = folder + "more.cards";
    const std::string text = fieldOf(FieldDocument::kMaxCards + 1).toJson();
    writeFile(more, text);
    FieldDocument untouched;
    untouched.target = 1;
    EXPECT_EQ(FieldDocument::readFile(more, untouched, problem), R::NotAProgramFile);
    EXPECT_EQ(problem, "it holds more than 10,000 cards");
    EXPECT_EQ(untouched.target, 1);
    EXPECT_TRUE(untouched.cards.empty());
    EXPECT_EQ(readFile(more), text);

    const std::string other = folder + "notes.cards";
    writeFile(other, R"({"format":"something-else"})");
    EXPECT_EQ(FieldDocument::readFile(other, out, problem), R::NotAProgramFile);
    writeFile(other, R"({"format":"tavrick-cards","version":1,)");
    EXPECT_EQ(FieldDocument::readFile(other, out, problem), R::Damaged);
    EXPECT_EQ(FieldDocument::readFile(folder, out, problem), R::NotAProgramFile);
    EXPECT_EQ(FieldDocument::readFile(folder + "none.cards", out, problem), R::Missing);
    EXPECT_EQ(FieldDocument::readFile("/proc/self/mem", out, problem), R::Unreadable) << problem;
}

// The settings file is read at the start too: a pipe in its place is told, not waited for.
TEST_F(Read, ASettingsFileThatIsAPipeIsToldNotWaitedFor) {
    ASSERT_EQ(mkfifo((folder + tavrick::Settings::kFileName).c_str(), 0644), 0);
    double took = 0;
    const int status = inChild(
        [&] {
            std::string problem;
            tavrick::Settings s = tavrick::Settings::load(folder, &problem);
            return s.port.empty() && problem.find("it is a named pipe") != std::string::npos ? 0 : 1;
        },
        1.0, took);
    EXPECT_EQ(status, 0) << "took " << took << " s";
}
