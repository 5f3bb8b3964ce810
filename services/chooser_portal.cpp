// The desktop portal's file chooser over D-Bus (org.freedesktop.portal.FileChooser): the
// desktop's own dialog, also inside a sandbox.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <dbus/dbus.h>

#include "chooser_backends.h"

namespace services {
namespace {

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

}  // namespace

bool choosePortal(FileChooserMode mode, const std::string& suggested, const ParentWindow& parent,
                  std::string& path) {
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
    const std::string handle = parent.portalHandle();
    const char* parentHandle = handle.c_str();
    const char* title = save ? "Save the cards as" : "Open cards";
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &parentHandle);
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


}  // namespace services
