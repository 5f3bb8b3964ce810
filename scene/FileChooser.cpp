// The desktop's own file chooser for program files. On Linux: the desktop portal's chooser
// over D-Bus where a portal runs, else zenity or kdialog; asked on a thread of its own so that
// the window keeps drawing, the answer comes back on the main thread. On Windows: the common
// file dialog.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#include <cerrno>

#include "FieldScene.h"

#ifdef _WIN32
#include <windows.h>
#include <commdlg.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#ifdef TAVRICK_HAVE_DBUS
#include <dbus/dbus.h>
#endif
#endif

using namespace cocos2d;

namespace {

const char* const kNoChooser = "No file chooser found: install zenity or kdialog";

#ifdef _WIN32

// The dialog is modal and runs its own message loop, so it is called on the main thread.
std::string chooseWindows(FileChooserMode mode, const std::string& suggested) {
    wchar_t file[MAX_PATH * 4] = L"";
    const std::wstring name = cocos2d::FileUtils::widen(suggested);
    if (name.size() < MAX_PATH) wcscpy_s(file, name.c_str());
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = L"Card programs (*.cards)\0*.cards\0All files\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file / sizeof file[0];
    ofn.lpstrDefExt = L"cards";
    BOOL ok;
    if (mode == FileChooserMode::Save) {
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        ok = GetSaveFileNameW(&ofn);
    } else {
        ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        ok = GetOpenFileNameW(&ofn);
    }
    return ok ? cocos2d::FileUtils::narrow(file) : std::string();
}

#else

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return false;
}

// Runs the program with its arguments (no shell) and returns the first line it prints.
std::string runForLine(const std::vector<std::string>& args) {
    int out[2];
    if (::pipe(out) != 0) return std::string();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(out[0]);
        ::close(out[1]);
        return std::string();
    }
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // A cancelled dialog exits non-zero.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::string();
    const size_t nl = text.find('\n');
    return nl == std::string::npos ? text : text.substr(0, nl);
}

#ifdef TAVRICK_HAVE_DBUS

// The portal answers with file URIs; the program wants a path.
std::string pathOfUri(const std::string& uri) {
    const std::string scheme = "file://";
    if (uri.compare(0, scheme.size(), scheme) != 0) return std::string();
    std::string path;
    for (size_t i = scheme.size(); i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size()) {
            path += static_cast<char>(std::strtol(uri.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    return path;
}

void appendStringEntry(DBusMessageIter* dict, const char* key, const char* value) {
    DBusMessageIter entry, variant;
    dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "s", &variant);
    dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &value);
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(dict, &entry);
}

// filters: a(sa(us)) with the one pattern "*.cards".
void appendFilters(DBusMessageIter* dict) {
    const char* key = "filters";
    const char* name = "Card programs";
    const char* glob = "*.cards";
    const dbus_uint32_t kind = 0;  // a glob pattern
    DBusMessageIter entry, variant, filters, filter, patterns, pattern;
    dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "a(sa(us))", &variant);
    dbus_message_iter_open_container(&variant, DBUS_TYPE_ARRAY, "(sa(us))", &filters);
    dbus_message_iter_open_container(&filters, DBUS_TYPE_STRUCT, nullptr, &filter);
    dbus_message_iter_append_basic(&filter, DBUS_TYPE_STRING, &name);
    dbus_message_iter_open_container(&filter, DBUS_TYPE_ARRAY, "(us)", &patterns);
    dbus_message_iter_open_container(&patterns, DBUS_TYPE_STRUCT, nullptr, &pattern);
    dbus_message_iter_append_basic(&pattern, DBUS_TYPE_UINT32, &kind);
    dbus_message_iter_append_basic(&pattern, DBUS_TYPE_STRING, &glob);
    dbus_message_iter_close_container(&patterns, &pattern);
    dbus_message_iter_close_container(&filter, &patterns);
    dbus_message_iter_close_container(&filters, &filter);
    dbus_message_iter_close_container(&variant, &filters);
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(dict, &entry);
}

// The first of the "uris" in the Response's results.
std::string firstUri(DBusMessageIter* results) {
    if (dbus_message_iter_get_arg_type(results) != DBUS_TYPE_ARRAY) return std::string();
    DBusMessageIter dict;
    dbus_message_iter_recurse(results, &dict);
    while (dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY) {
        DBusMessageIter entry, variant, uris;
        dbus_message_iter_recurse(&dict, &entry);
        const char* key = nullptr;
        if (dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_STRING) dbus_message_iter_get_basic(&entry, &key);
        dbus_message_iter_next(&entry);
        if (key && std::strcmp(key, "uris") == 0 && dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_VARIANT) {
            dbus_message_iter_recurse(&entry, &variant);
            if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_ARRAY) return std::string();
            dbus_message_iter_recurse(&variant, &uris);
            if (dbus_message_iter_get_arg_type(&uris) != DBUS_TYPE_STRING) return std::string();
            const char* uri = nullptr;
            dbus_message_iter_get_basic(&uris, &uri);
            return uri ? uri : "";
        }
        dbus_message_iter_next(&dict);
    }
    return std::string();
}

// True when a portal took the question (`path` then holds the answer, "" if cancelled);
// false when none runs, so that another chooser is tried.
bool choosePortal(FileChooserMode mode, const std::string& suggested, std::string& path) {
    // The address is looked up here each time (libdbus would keep the first it saw for the
    // whole process, and with none it would try to launch a bus).
    std::string address;
    if (const char* a = std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        address = a;
    } else if (const char* run = std::getenv("XDG_RUNTIME_DIR")) {
        const std::string socket = std::string(run) + "/bus";
        if (::access(socket.c_str(), F_OK) == 0) address = "unix:path=" + socket;
    }
    if (address.empty()) return false;
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_connection_open_private(address.c_str(), &error);
    if (!bus) {
        dbus_error_free(&error);
        return false;
    }
    if (!dbus_bus_register(bus, &error)) {
        dbus_error_free(&error);
        dbus_connection_close(bus);
        dbus_connection_unref(bus);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    struct Closer {
        DBusConnection* bus;
        ~Closer() {
            dbus_connection_close(bus);
            dbus_connection_unref(bus);
        }
    } closer{bus};
    const char* portal = "org.freedesktop.portal.Desktop";
    if (!dbus_bus_name_has_owner(bus, portal, &error)) {
        dbus_error_free(&error);
        return false;
    }
    // The request object's path is known before the call, so that its answer cannot be missed.
    std::string sender = dbus_bus_get_unique_name(bus) + 1;  // without the leading ':'
    for (char& c : sender)
        if (c == '.') c = '_';
    const std::string token = "tavrick" + std::to_string(::getpid());
    const std::string request = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
    const std::string rule = "type='signal',interface='org.freedesktop.portal.Request',member='Response',path='" +
                             request + "'";
    dbus_bus_add_match(bus, rule.c_str(), &error);
    if (dbus_error_is_set(&error)) {
        dbus_error_free(&error);
        return false;
    }
    const bool save = mode == FileChooserMode::Save;
    DBusMessage* call = dbus_message_new_method_call(portal, "/org/freedesktop/portal/desktop",
                                                     "org.freedesktop.portal.FileChooser",
                                                     save ? "SaveFile" : "OpenFile");
    DBusMessageIter args, dict;
    dbus_message_iter_init_append(call, &args);
    const char* parent = "";
    const char* title = save ? "Save the cards as" : "Open cards";
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &parent);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &title);
    dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &dict);
    appendStringEntry(&dict, "handle_token", token.c_str());
    if (save) appendStringEntry(&dict, "current_name", suggested.c_str());
    appendFilters(&dict);
    dbus_message_iter_close_container(&args, &dict);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, call, DBUS_TIMEOUT_USE_DEFAULT, &error);
    dbus_message_unref(call);
    if (!reply) {
        dbus_error_free(&error);
        return false;
    }
    dbus_message_unref(reply);
    // The user may take as long as they like; a bus that goes away ends the wait.
    path.clear();
    // The answer may already have come in with the call's reply: look before waiting.
    do {
        while (DBusMessage* m = dbus_connection_pop_message(bus)) {
            const bool answer = dbus_message_is_signal(m, "org.freedesktop.portal.Request", "Response") &&
                                request == (dbus_message_get_path(m) ? dbus_message_get_path(m) : "");
            if (answer) {
                DBusMessageIter it;
                dbus_uint32_t response = 2;
                if (dbus_message_iter_init(m, &it) && dbus_message_iter_get_arg_type(&it) == DBUS_TYPE_UINT32) {
                    dbus_message_iter_get_basic(&it, &response);
                    dbus_message_iter_next(&it);
                    if (response == 0) path = pathOfUri(firstUri(&it));
                }
                dbus_message_unref(m);
                return true;
            }
            dbus_message_unref(m);
        }
    } while (dbus_connection_read_write(bus, -1));
    return true;
}

#endif

// "" with `problem` set when there is no chooser at all.
std::string chooseLinux(FileChooserMode mode, const std::string& suggested, std::string& problem) {
    const char* home = std::getenv("HOME");
    const std::string start = std::string(home ? home : ".") + "/" + suggested;
    const bool save = mode == FileChooserMode::Save;
#ifdef TAVRICK_HAVE_DBUS
    std::string chosen;
    if (choosePortal(mode, suggested, chosen)) return chosen;
#endif
    if (onPath("zenity")) {
        std::vector<std::string> args = {"zenity", "--file-selection", "--title",
                                         save ? "Save the cards as" : "Open cards",
                                         "--file-filter", "Card programs | *.cards", "--file-filter", "All files | *"};
        if (save) {
            args.push_back("--save");
            args.push_back("--confirm-overwrite");
            args.push_back("--filename=" + start);
        }
        return runForLine(args);
    }
    if (onPath("kdialog")) {
        if (save) return runForLine({"kdialog", "--getsavefilename", start, "*.cards|Card programs"});
        return runForLine({"kdialog", "--getopenfilename", home ? home : ".", "*.cards|Card programs"});
    }
    problem = kNoChooser;
    return std::string();
}

#endif

}  // namespace

FileChooser FieldScene::defaultFileChooser() {
    return [](FileChooserMode mode, const std::string& suggested,
              std::function<void(const std::string&, const std::string&)> done) {
#ifdef _WIN32
        done(chooseWindows(mode, suggested), std::string());
#else
        std::thread([mode, suggested, done] {
            std::string problem;
            const std::string path = chooseLinux(mode, suggested, problem);
            Director::getInstance()->getScheduler()->performFunctionInCocosThread(
                [done, path, problem] { done(path, problem); });
        }).detach();
#endif
    };
}
