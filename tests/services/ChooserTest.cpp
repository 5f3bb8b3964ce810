// The desktop's file chooser as the program asks it: the portal over a D-Bus of the test's
// own (a stand-in portal answers), zenity when no portal runs, and a clear word when there is
// no chooser at all.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#ifdef TAVRICK_HAVE_DBUS
#include <dbus/dbus.h>
#endif

#include <functional>
#include <mutex>
#include <vector>

#include "FileChooser.h"

namespace {

class Chooser : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/tavrick-chooser-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        folder = dir;
        for (const char* name : {"PATH", "DBUS_SESSION_BUS_ADDRESS", "HOME"}) {
            const char* v = std::getenv(name);
            saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        // No session bus unless a test starts one.
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        setenv("HOME", folder.c_str(), 1);
    }
    void TearDown() override {
        for (auto& s : saved) {
            if (s.second)
                setenv(s.first.c_str(), s.second->c_str(), 1);
            else
                unsetenv(s.first.c_str());
        }
        if (busPid > 0) kill(busPid, SIGTERM);
        std::system(("rm -rf '" + folder + "'").c_str());
    }

    // Asks the real chooser, as the program's window `parent`, and runs what it hands to the
    // main thread until its answer has come.
    std::pair<std::string, std::string> ask(FileChooserMode mode, services::ParentWindow parent = {}) {
        bool answered = false;
        std::pair<std::string, std::string> got;
        std::mutex mutex;
        std::vector<std::function<void()>> posted;
        auto chooser = services::desktopFileChooser([parent] { return parent; },
                                                    [&](std::function<void()> f) {
                                                        std::lock_guard<std::mutex> lock(mutex);
                                                        posted.push_back(std::move(f));
                                                    });
        chooser(mode, "program.cards", [&](const std::string& p, const std::string& why) {
            answered = true;
            got = {p, why};
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!answered && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::vector<std::function<void()>> now;
            {
                std::lock_guard<std::mutex> lock(mutex);
                now.swap(posted);
            }
            for (auto& f : now) f();
        }
        EXPECT_TRUE(answered) << "the chooser never answered";
        return got;
    }

    // A program on PATH under `name` that logs its arguments and prints `answer`.
    void fakeProgram(const std::string& name, const std::string& answer, int status = 0) {
        const std::string path = folder + "/" + name;
        std::ofstream(path) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << folder << "/args'\nprintf '%s\\n' '"
                            << answer << "'\nexit " << status << "\n";
        chmod(path.c_str(), 0755);
        setenv("PATH", folder.c_str(), 1);
    }

    std::string args() const {
        std::ifstream in(folder + "/args");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string folder;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    pid_t busPid = -1;
};

TEST_F(Chooser, ZenityWhenNoPortalRuns) {
    fakeProgram("zenity", "/home/teacher/lesson 1.cards");
    auto got = ask(FileChooserMode::Save);
    EXPECT_EQ(got.first, "/home/teacher/lesson 1.cards");
    EXPECT_NE(args().find("--save"), std::string::npos) << args();
    EXPECT_NE(args().find("*.cards"), std::string::npos) << args();
    got = ask(FileChooserMode::Open);
    EXPECT_EQ(got.first, "/home/teacher/lesson 1.cards");
    EXPECT_EQ(args().find("--save"), std::string::npos) << args();
    // Opened above the program's window.
    ask(FileChooserMode::Open, {"x11", 0x1c00007});
    EXPECT_NE(args().find("--attach=29360135"), std::string::npos) << args();
    // Cancelled: no path, and nothing to tell.
    fakeProgram("zenity", "", 1);
    EXPECT_EQ(ask(FileChooserMode::Open), std::make_pair(std::string(), std::string()));
}

TEST_F(Chooser, KdialogWhenThereIsNoZenity) {
    fakeProgram("kdialog", "/srv/lessons/leds.cards");
    EXPECT_EQ(ask(FileChooserMode::Save).first, "/srv/lessons/leds.cards");
    EXPECT_NE(args().find("--getsavefilename"), std::string::npos) << args();
}

TEST_F(Chooser, NoChooserAtAllIsSaid) {
    setenv("PATH", folder.c_str(), 1);
    const auto got = ask(FileChooserMode::Save);
    EXPECT_EQ(got.first, "");
    EXPECT_NE(got.second.find("No file chooser"), std::string::npos) << got.second;
}

#ifdef TAVRICK_HAVE_DBUS

// A stand-in for the desktop portal: answers one SaveFile or OpenFile with `uri`.
void servePortal(const std::string& address, std::string uri, std::string* method, std::atomic<bool>* ready) {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_connection_open_private(address.c_str(), &error);
    ASSERT_NE(bus, nullptr) << error.message;
    ASSERT_TRUE(dbus_bus_register(bus, &error)) << error.message;
    ASSERT_EQ(dbus_bus_request_name(bus, "org.freedesktop.portal.Desktop", 0, &error),
              DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER);
    *ready = true;
    bool done = false;
    while (!done && dbus_connection_read_write(bus, 20000)) {
        while (DBusMessage* m = dbus_connection_pop_message(bus)) {
            if (dbus_message_has_interface(m, "org.freedesktop.portal.FileChooser")) {
                *method = dbus_message_get_member(m);
                // The handle token among the options gives the request's path.
                std::string token;
                DBusMessageIter it, dict;
                dbus_message_iter_init(m, &it);
                dbus_message_iter_next(&it);
                dbus_message_iter_next(&it);
                dbus_message_iter_recurse(&it, &dict);
                while (dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY) {
                    DBusMessageIter entry, variant;
                    dbus_message_iter_recurse(&dict, &entry);
                    const char* key;
                    dbus_message_iter_get_basic(&entry, &key);
                    dbus_message_iter_next(&entry);
                    dbus_message_iter_recurse(&entry, &variant);
                    if (std::strcmp(key, "handle_token") == 0) {
                        const char* v;
                        dbus_message_iter_get_basic(&variant, &v);
                        token = v;
                    }
                    dbus_message_iter_next(&dict);
                }
                std::string sender = dbus_message_get_sender(m) + 1;
                for (char& c : sender)
                    if (c == '.') c = '_';
                const std::string path = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
                DBusMessage* reply = dbus_message_new_method_return(m);
                const char* p = path.c_str();
                dbus_message_append_args(reply, DBUS_TYPE_OBJECT_PATH, &p, DBUS_TYPE_INVALID);
                dbus_connection_send(bus, reply, nullptr);
                dbus_message_unref(reply);

                DBusMessage* signal = dbus_message_new_signal(p, "org.freedesktop.portal.Request", "Response");
                DBusMessageIter out, results, entry, variant, uris;
                dbus_message_iter_init_append(signal, &out);
                const dbus_uint32_t ok = 0;
                dbus_message_iter_append_basic(&out, DBUS_TYPE_UINT32, &ok);
                dbus_message_iter_open_container(&out, DBUS_TYPE_ARRAY, "{sv}", &results);
                dbus_message_iter_open_container(&results, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
                const char* key = "uris";
                dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
                dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "as", &variant);
                dbus_message_iter_open_container(&variant, DBUS_TYPE_ARRAY, "s", &uris);
                const char* u = uri.c_str();
                dbus_message_iter_append_basic(&uris, DBUS_TYPE_STRING, &u);
                dbus_message_iter_close_container(&variant, &uris);
                dbus_message_iter_close_container(&entry, &variant);
                dbus_message_iter_close_container(&results, &entry);
                dbus_message_iter_close_container(&out, &results);
                dbus_connection_send(bus, signal, nullptr);
                dbus_connection_flush(bus);
                dbus_message_unref(signal);
                done = true;
            }
            dbus_message_unref(m);
        }
    }
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
}

TEST_F(Chooser, ThePortalIsAskedWhereOneRuns) {
    if (access("/usr/bin/dbus-daemon", X_OK) != 0) GTEST_SKIP() << "dbus-daemon is not installed";
    // A bus of our own: the machine's session bus (if any) is left alone.
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    busPid = fork();
    ASSERT_GE(busPid, 0);
    if (busPid == 0) {
        dup2(out[1], 1);
        execl("/usr/bin/dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1", nullptr);
        _exit(127);
    }
    close(out[1]);
    std::string address;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') address += c;
    close(out[0]);
    ASSERT_FALSE(address.empty());
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    // A zenity that must not be asked while the portal runs.
    fakeProgram("zenity", "/wrong/answer.cards");

    std::string method;
    std::atomic<bool> ready{false};
    std::thread portal(servePortal, address, "file:///home/teacher/my%20lesson.cards", &method, &ready);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!ready && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto got = ask(FileChooserMode::Save);
    portal.join();
    EXPECT_EQ(method, "SaveFile");
    EXPECT_EQ(got.first, "/home/teacher/my lesson.cards");
    EXPECT_EQ(args(), "");
}

#endif

}  // namespace
