#pragma once
// What the Linux backends of the chooser offer each other.
#include "FileChooser.h"

namespace services {

// True when a portal took the question (`path` then holds the answer, "" if cancelled);
// false when none runs, so that another chooser is tried.
bool choosePortal(FileChooserMode mode, const std::string& suggested, const ParentWindow& parent,
                  std::string& path);
// zenity, else kdialog. False when neither is installed.
bool chooseWithDialog(FileChooserMode mode, const std::string& suggested, const ParentWindow& parent,
                      std::string& path);

}  // namespace services
