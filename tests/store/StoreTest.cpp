// What the program keeps on disk, without a screen: atomic writes under kills and under a
// second copy of the program, bad files kept aside, the field's format.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "FieldDocument.h"
#include "Settings.h"
#include "files.h"

using tavrick::FieldDocument;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Store : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavrick-store-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = std::string(pattern) + "/";
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }
    std::string folder;
};

}  // namespace

// A writer killed between writing the new file and renaming it leaves the old file whole.
TEST_F(Store, AKilledWriterLeavesAWholeFile) {
    const std::string path = folder + "atomic.json";
    FieldDocument a, b;
    a.cards.push_back({0, 100, 100, 0, 0});
    b.target = 1;
    for (int i = 0; i < 60; ++i) b.cards.push_back({i % 6, float(300 + i), float(200 + i), -1, 0});
    std::string error;
    ASSERT_TRUE(tavrick::writeFileAtomically(path, a.toJson(), error)) << error;

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        tavrick::setBeforeRenameHook([] { raise(SIGKILL); });
        std::string e;
        tavrick::writeFileAtomically(path, b.toJson(), e);
        _exit(0);  // not reached
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(readFile(path), a.toJson());
    // The next write goes through over whatever temporary file the kill left.
    ASSERT_TRUE(tavrick::writeFileAtomically(path, b.toJson(), error)) << error;
    EXPECT_EQ(readFile(path), b.toJson());
}

// Two copies of the program saving the same file at once: every read in between finds one
// whole document, and no temporary file is left behind.
TEST_F(Store, TwoProcessesWritingOneFileNeverMixTheirText) {
    const std::string path = folder + "field.json";
    auto documentOf = [](int who) {
        FieldDocument d;
        d.target = who;
        for (int i = 0; i < 200; ++i) d.cards.push_back({(i + who) % 6, float(10 * i), float(who), -1, 0});
        return d.toJson();
    };
    const std::string texts[2] = {documentOf(0), documentOf(1)};
    std::string error;
    ASSERT_TRUE(tavrick::writeFileAtomically(path, texts[0], error)) << error;
    pid_t children[2];
    for (int who = 0; who < 2; ++who) {
        children[who] = fork();
        ASSERT_GE(children[who], 0);
        if (children[who] == 0) {
            std::string e;
            for (int i = 0; i < 150; ++i)
                if (!tavrick::writeFileAtomically(path, texts[who], e)) _exit(1);
            _exit(0);
        }
    }
    for (int i = 0; i < 300; ++i) {
        const std::string now = readFile(path);
        ASSERT_TRUE(now == texts[0] || now == texts[1]) << "a mixed file after " << i << " reads";
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a copy was told its write failed";
    }
    EXPECT_EQ(std::system(("test -z \"$(ls '" + folder + "' | grep -v '^field.json$')\"").c_str()), 0)
        << "a temporary file was left behind";
}

// A settings file that is not one is kept aside, as the field's is, and said once: the next
// load finds no file and says nothing; a save never writes over it.
TEST_F(Store, AMalformedSettingsFileIsKeptAsideAndToldOnce) {
    const std::string path = folder + tavrick::Settings::kFileName;
    std::ofstream(path) << "{\"port\": [1, 2";
    std::string problem, kept;
    const tavrick::Settings first = tavrick::Settings::load(folder, &problem, &kept);
    EXPECT_EQ(first.port, "");
    EXPECT_FALSE(problem.empty());
    ASSERT_EQ(kept.rfind(path + ".bad-", 0), 0u) << kept;
    EXPECT_EQ(readFile(kept), "{\"port\": [1, 2");
    problem.clear();
    tavrick::Settings::load(folder, &problem);
    EXPECT_EQ(problem, "");

    std::ofstream(path) << "not json";
    tavrick::Settings settings;
    settings.port = "/dev/ttyUSB0";
    std::string error;
    ASSERT_TRUE(settings.save(folder, error)) << error;
    EXPECT_EQ(tavrick::Settings::load(folder).port, "/dev/ttyUSB0");
    int keptFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind("settings.json.bad-", 0) == 0) {
            ++keptFiles;
            const std::string text = readFile(entry.path().string());
            EXPECT_TRUE(text == "not json" || text == "{\"port\": [1, 2") << text;
        }
    EXPECT_EQ(keptFiles, 2);
}
