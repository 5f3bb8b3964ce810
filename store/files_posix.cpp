// The file helpers on Linux (and any POSIX system): UTF-8 paths are the system's own.
#include "files.h"

#include <cerrno>
#include <cstring>

#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrick {
namespace {
void (*beforeRename)() = nullptr;
}

void setBeforeRenameHook(void (*hook)()) { beforeRename = hook; }

FILE* openFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool writeFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    const std::string temp = files_detail::temporaryName(path);
    // O_EXCL: a leftover of a crashed process with the same number is never written through.
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = temp + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = temp + ": " + std::strerror(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        error = temp + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (beforeRename) beforeRename();
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

namespace {
const char* whatItIs(mode_t mode) {
    if (S_ISDIR(mode)) return "it is a folder";
    if (S_ISFIFO(mode)) return "it is a named pipe, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a file";
    if (S_ISSOCK(mode)) return "it is a socket, not a file";
    return "it is not a file";
}
}  // namespace

bool readSmallFile(const std::string& path, std::size_t maxBytes, std::string& text, FileRefusal& refusal,
                   std::string& problem) {
    text.clear();
    refusal = FileRefusal::None;
    problem.clear();
    auto refuse = [&](FileRefusal why, const std::string& words) {
        text.clear();
        refusal = why;
        problem = words;
        return false;
    };
    // A look at the name first: a device or a pipe is never opened (opening a serial port
    // resets many boards; opening a pipe with no writer would wait for one).
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return refuse(FileRefusal::Missing, "there is no such file");
        return refuse(FileRefusal::Unreadable, std::string("could not be read: ") + std::strerror(errno));
    }
    if (!S_ISREG(st.st_mode)) return refuse(FileRefusal::NotAFile, whatItIs(st.st_mode));
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) return refuse(FileRefusal::TooLarge, files_detail::tooLarge(maxBytes));
    // The name may have been given to something else since: the open does not wait, and what
    // was opened is looked at again.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return refuse(FileRefusal::Missing, "there is no such file");
        return refuse(FileRefusal::Unreadable, std::string("could not be read: ") + std::strerror(errno));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0) return refuse(FileRefusal::Unreadable, std::string("could not be read: ") + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return refuse(FileRefusal::NotAFile, whatItIs(st.st_mode));
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) return refuse(FileRefusal::TooLarge, files_detail::tooLarge(maxBytes));
    // One byte past the limit is asked for: a file that grew since its size was read is
    // still refused, never read on without end.
    text.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const std::size_t room = maxBytes + 1 - text.size();
        const ssize_t n = ::read(fd, buf, room < sizeof buf ? room : sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return refuse(FileRefusal::Unreadable, std::string("could not be read: ") + std::strerror(errno));
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > maxBytes) return refuse(FileRefusal::TooLarge, files_detail::tooLarge(maxBytes));
    }
    return true;
}

namespace files_detail {

MoveAside moveAside(const std::string& path, const std::string& name) {
    // link() refuses an existing name, so a kept file is never replaced, not even by a race.
    if (::link(path.c_str(), name.c_str()) == 0) {
        ::unlink(path.c_str());
        return MoveAside::Moved;
    }
    if (errno == EEXIST) return MoveAside::NameTaken;
    // Where hard links are refused (some file systems, a folder named like the file).
    if (::access(name.c_str(), F_OK) == 0) return MoveAside::NameTaken;
    return ::rename(path.c_str(), name.c_str()) == 0 ? MoveAside::Moved : MoveAside::Failed;
}

}  // namespace files_detail

bool pathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

namespace {
bool isFolder(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
std::string withSlash(const std::string& folder) { return folder.back() == '/' ? folder : folder + "/"; }
}  // namespace

std::string documentsFolder() {
    const char* homeVar = std::getenv("HOME");
    const std::string home = homeVar ? homeVar : "";
    const char* configVar = std::getenv("XDG_CONFIG_HOME");
    const std::string config = configVar && *configVar ? configVar : (home.empty() ? "" : home + "/.config");
    std::string text, problem;
    FileRefusal refusal = FileRefusal::None;
    if (!config.empty() && readSmallFile(config + "/user-dirs.dirs", 64 * 1024, text, refusal, problem)) {
        const std::string dir = files_detail::documentsDirFromUserDirs(text, home);
        if (isFolder(dir)) return withSlash(dir);
    }
    if (isFolder(home + "/Documents")) return home + "/Documents/";
    if (isFolder(home)) return withSlash(home);
    return "";
}

}  // namespace tavrick
