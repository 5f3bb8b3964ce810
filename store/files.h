#pragma once
// The file helpers every stored file goes through, one implementation per platform
// (files_posix.cpp, files_win32.cpp): UTF-8 paths everywhere, writes that a crash cannot
// leave half done, and unusable files kept aside rather than lost.
#include <cstddef>
#include <cstdio>
#include <string>

namespace tavrick {

// fopen for a UTF-8 path, as SDL gives them (the folder for the program's files). On Windows
// the narrow fopen would read it in the code page and miss a folder such as C:\Users\Zoë.
FILE* openFile(const std::string& path, const char* mode);

// Writes `text` to `path` so that a crash or a power cut leaves either the old file or the new
// one whole: a temporary file beside it, flushed to disk, then renamed over it. The temporary
// name is unique to the process and the call, so two copies of the program writing the same
// file never write into each other's temporary file.
bool writeFileAtomically(const std::string& path, const std::string& text, std::string& error);
// For tests: called once the temporary file is whole on disk, just before the rename.
void setBeforeRenameHook(void (*hook)());

// What readSmallFile found wrong with a file.
enum class FileRefusal {
    None,
    Missing,     // there is nothing by that name
    NotAFile,    // a folder, a named pipe, a device, a socket: never opened for reading
    TooLarge,    // more bytes than the caller takes
    Unreadable,  // no permission, or the read failed
};

// The most a field or program file may hold: a full field is a few kilobytes.
constexpr std::size_t kMaxProgramFileBytes = 1024 * 1024;

// Reads a file that must be a regular file of at most `maxBytes`, and looks before it reads:
// anything but a regular file is refused without being opened (a device's open can act, a
// named pipe's can wait for ever), the open itself never waits (O_NONBLOCK; on Windows only a
// disk file is read), and a file over the limit is refused from its size, never read into
// memory. False with `refusal` and `problem`, a few words for people ("it is a folder", "it
// is larger than 1 MB", "could not be read: ..."); `text` is then empty.
bool readSmallFile(const std::string& path, std::size_t maxBytes, std::string& text, FileRefusal& refusal,
                   std::string& problem);

// Moves an unusable file aside as "<path>.bad-<date-time>" (with "-2", "-3"... when that name is
// taken: an earlier bad file is never replaced). Returns the new path, or "" when it could not.
std::string keepBadFile(const std::string& path);

// The user's documents folder, ending in a separator: where a save goes when no file chooser
// can ask. On Linux the desktop's XDG_DOCUMENTS_DIR (user-dirs.dirs), else ~/Documents, else
// the home folder; on Windows the known Documents folder. "" when there is none.
std::string documentsFolder();

// Something (a file, a folder...) is at `path`.
bool pathExists(const std::string& path);

// The first of "<folder><stem><ext>", "<folder><stem>-2<ext>", "<folder><stem>-3<ext>"... that
// nothing is at yet; "" when a thousand are taken.
std::string unusedFileName(const std::string& folder, const std::string& stem, const std::string& ext);

namespace files_detail {
// XDG_DOCUMENTS_DIR from the text of a user-dirs.dirs file, with $HOME expanded; "" without.
std::string documentsDirFromUserDirs(const std::string& text, const std::string& home);
// "<path>.bad-2026-12-08-071044": the first name keepBadFile tries.
std::string badFileBase(const std::string& path);
// Moves `path` to `name` unless `name` is already taken (never replacing it).
enum class MoveAside { Moved, NameTaken, Failed };
MoveAside moveAside(const std::string& path, const std::string& name);
// "<path>.tmp-<process>-<n>": a temporary name no other write of this or another process uses.
std::string temporaryName(const std::string& path);
// "it is larger than 1 MB": the words for a file over `maxBytes`.
std::string tooLarge(std::size_t maxBytes);
}  // namespace files_detail

#ifdef _WIN32
// UTF-8 and the UTF-16 that Win32 names take.
std::wstring widen(const std::string& s);
std::string narrow(const std::wstring& w);
#endif

}  // namespace tavrick
