// On Linux: the desktop portal where one runs, else zenity or kdialog.
#include "chooser_backends.h"

namespace services {

std::string chooseFile(FileChooserMode mode, const std::string& suggested, const ParentWindow& parent,
                       std::string& problem) {
    std::string path;
#ifdef TAVRICK_HAVE_DBUS
    if (choosePortal(mode, suggested, parent, path)) return path;
#endif
    if (chooseWithDialog(mode, suggested, parent, path)) return path;
    problem = kNoChooser;
    return std::string();
}

}  // namespace services
