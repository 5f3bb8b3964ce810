// The product started beside a picture folder that lacks one picture, or holds one that
// is not a picture: it must stop at once, name the file, and exit with a failure status,
// not come up with parts of the screen missing, and not crash.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    bool stopped = false;  // ended by itself
    bool exited = false;
    int status = 0;
    int signal = 0;
    std::string output;
};

// A copy of the product in dir/bin, with its pictures in dir/bin/res, run from dir itself
// (neither the working folder nor an install prefix has pictures).
class BadPictures : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tavrick-bad-pictures-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "bin" / "res");
        fs::copy_file(TAVRICK_PRODUCT, dir / "bin" / "tavrick-cards");
        for (const auto& f : fs::directory_iterator(TAVRICK_RES_DIR))
            if (f.path().extension() == ".png") pictures.push_back(f.path().filename().string());
        std::sort(pictures.begin(), pictures.end());
        restore();
    }
    void TearDown() override { fs::remove_all(dir); }

    void restore() {
        for (const std::string& p : pictures)
            fs::copy_file(fs::path(TAVRICK_RES_DIR) / p, dir / "bin" / "res" / p, fs::copy_options::overwrite_existing);
    }

    Outcome launch() {
        const fs::path out = dir / "output.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.c_str()) != 0) _exit(126);
            if (!std::freopen(out.c_str(), "w", stdout) || dup2(fileno(stdout), 2) < 0) _exit(126);
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            const std::string exe = (dir / "bin" / "tavrick-cards").string();
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        Outcome r;
        int status = 0;
        // A screen that came up anyway runs until it is closed: wait a generous while.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                r.output = slurp(out);
                return r;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        r.stopped = true;
        r.exited = WIFEXITED(status);
        r.status = r.exited ? WEXITSTATUS(status) : 0;
        r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        r.output = slurp(out);
        return r;
    }

    static std::string slurp(const fs::path& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // The pictures the output calls missing or unreadable.
    static std::set<std::string> named(const std::string& output) {
        std::set<std::string> out;
        static const std::regex picture("res/([A-Za-z0-9_]+\\.png)\"? (not found|could not)");
        for (std::sregex_iterator it(output.begin(), output.end(), picture), end; it != end; ++it)
            out.insert((*it)[1]);
        return out;
    }

    void expectStopsNaming(const std::string& picture, const Outcome& r) {
        SCOPED_TRACE(picture);
        ASSERT_TRUE(r.stopped) << "still running with the picture gone; output:\n" << r.output;
        EXPECT_TRUE(r.exited) << "ended by signal " << r.signal << "; output:\n" << r.output;
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(named(r.output), std::set<std::string>{picture}) << r.output;
        EXPECT_EQ(r.output.find("Sanitizer"), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("runtime error"), std::string::npos) << r.output;
    }

    fs::path dir;
    std::vector<std::string> pictures;
};

TEST_F(BadPictures, EachMissingPictureStopsTheProgramNamingIt) {
    ASSERT_FALSE(pictures.empty());
    for (const std::string& p : pictures) {
        fs::remove(dir / "bin" / "res" / p);
        expectStopsNaming(p, launch());
        restore();
    }
}

TEST_F(BadPictures, APictureThatIsNotOneStopsTheProgramNamingIt) {
    for (const std::string p : {"r_play.png", "r_wait5.png", "delete3.png"}) {
        std::ofstream(dir / "bin" / "res" / p, std::ios::trunc) << "not a picture";
        expectStopsNaming(p, launch());
        restore();
    }
}

}  // namespace
