#include "core/safe_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tapster {

namespace {

std::string ErrnoText(int err) {
    return err == ENOENT ? "no such file" : std::strerror(err);
}

} // namespace

#ifdef _WIN32

std::FILE* OpenRegularFile(const std::string& path, uint64_t& size, std::string& reason) {
    // Windows opens no FIFO by name and a plain open never blocks.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        reason = ErrnoText(errno);
        return nullptr;
    }
    struct _stat64 info {};
    if (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
        std::fclose(file);
        reason = "not a regular file";
        return nullptr;
    }
    size = static_cast<uint64_t>(info.st_size);
    return file;
}

std::FILE* CreateFreshFile(const std::string& path, std::string& reason) {
    if (_unlink(path.c_str()) != 0 && errno != ENOENT) {
        reason = ErrnoText(errno);
        return nullptr;
    }
    const int fd =
        _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        reason = ErrnoText(errno);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
        reason = ErrnoText(errno);
        _close(fd);
    }
    return file;
}

#else

std::FILE* OpenRegularFile(const std::string& path, uint64_t& size, std::string& reason) {
    // O_NONBLOCK: opening a FIFO with no writer, or a device, returns at once.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = ErrnoText(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        reason = S_ISDIR(info.st_mode) ? "a directory, not a file" : "not a regular file";
        return nullptr;
    }
    // Reads of a regular file never block; the flag goes back to the usual blocking reads.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        reason = ErrnoText(errno);
        ::close(fd);
        return nullptr;
    }
    size = static_cast<uint64_t>(info.st_size);
    return file;
}

std::FILE* CreateFreshFile(const std::string& path, std::string& reason) {
    // Only a regular file or a symbolic link is deleted (unlink removes the link itself, never
    // its target); a device, FIFO or directory of that name is left alone and refused.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
            reason = S_ISDIR(info.st_mode) ? "a directory of that name exists"
                                           : "it exists and is not a regular file";
            return nullptr;
        }
        if (::unlink(path.c_str()) != 0) {
            reason = ErrnoText(errno);
            return nullptr;
        }
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        reason = ErrnoText(errno);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        reason = ErrnoText(errno);
        ::close(fd);
    }
    return file;
}

#endif

} // namespace tapster
