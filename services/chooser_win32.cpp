// On Windows: the common file dialog.
#include <windows.h>
#include <commdlg.h>

#include <cwchar>

#include "FileChooser.h"
#include "files.h"

namespace services {

// Owned by the program's window, so that it opens above it even when that fills the screen.
std::string chooseFile(FileChooserMode mode, const std::string& suggested, const ParentWindow& parent,
                       std::string& problem) {
    (void)problem;
    wchar_t file[MAX_PATH * 4] = L"";
    const std::wstring name = tavrick::widen(suggested);
    if (name.size() < MAX_PATH) wcscpy_s(file, name.c_str());
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    if (parent.system == "windows") ofn.hwndOwner = reinterpret_cast<HWND>(parent.id);
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
    return ok ? tavrick::narrow(file) : std::string();
}


}  // namespace services
