// The file helpers on Linux (and any POSIX system): UTF-8 paths are the system's own.
#include "files.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
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

}  // namespace tavrick
