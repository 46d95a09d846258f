#include "core/safe_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
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

#endif

namespace {

enum class Kind { kNone, kRegular, kLink, kFolder, kOther };

#ifdef _WIN32

Kind KindOf(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::kNone;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Kind::kLink;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Kind::kFolder;
    return Kind::kRegular;
}

int CreateExclusive(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

std::FILE* AsFile(int fd) {
    return _fdopen(fd, "wb");
}

void CloseFd(int fd) {
    _close(fd);
}

bool MoveInto(const std::string& from, const std::string& to, bool replace, std::string& reason) {
    if (MoveFileExA(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) return true;
    reason =
        GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS
            ? "it exists already"
            : "cannot be renamed into place (Windows error " + std::to_string(GetLastError()) + ")";
    return false;
}

#else

Kind KindOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return Kind::kNone;
    if (S_ISLNK(info.st_mode)) return Kind::kLink;
    if (S_ISDIR(info.st_mode)) return Kind::kFolder;
    return S_ISREG(info.st_mode) ? Kind::kRegular : Kind::kOther;
}

int CreateExclusive(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

std::FILE* AsFile(int fd) {
    return ::fdopen(fd, "wb");
}

void CloseFd(int fd) {
    ::close(fd);
}

bool MoveInto(const std::string& from, const std::string& to, bool replace, std::string& reason) {
    // Without replacing: a hard link fails when the name exists, so no check can go stale.
    const bool moved =
        replace ? ::rename(from.c_str(), to.c_str()) == 0 : ::link(from.c_str(), to.c_str()) == 0;
    if (!moved) {
        reason = errno == EEXIST ? "it exists already" : ErrnoText(errno);
        return false;
    }
    if (!replace) ::unlink(from.c_str());
    return true;
}

#endif

// A name no other program can guess, beside the target so that the rename stays in its folder.
std::string TemporaryName(const std::string& path) {
    static std::random_device device;
    static std::mt19937_64 numbers(
        (static_cast<uint64_t>(device()) << 32) ^ device() ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, ".%016llx", static_cast<unsigned long long>(numbers()));
    const std::filesystem::path target(path);
    return (target.parent_path() / ("." + target.filename().string() + suffix + ".part")).string();
}

} // namespace

std::string RefusedTarget(const std::string& path, Existing existing) {
    if (path.empty()) return "no file name";
    switch (KindOf(path)) {
    case Kind::kNone:
        return {};
    case Kind::kRegular:
        return existing == Existing::kRefuse ? "it exists already" : "";
    case Kind::kLink:
        return existing == Existing::kReplaceFileOrLink ? ""
                                                        : "a symbolic link (never written through)";
    case Kind::kFolder:
        return "a directory of that name exists";
    case Kind::kOther:
        break;
    }
    return "it exists and is not a regular file";
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ignored;
    return std::filesystem::equivalent(a, b, ignored);
}

SafeFileWriter::~SafeFileWriter() {
    Discard();
}

bool SafeFileWriter::Open(const std::string& path, Existing existing, std::string& reason) {
    Discard();
    reason = RefusedTarget(path, existing);
    if (!reason.empty()) return false;
    for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
        const std::string temporary = TemporaryName(path);
        const int fd = CreateExclusive(temporary);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            reason = ErrnoText(errno);
            return false;
        }
        file_ = AsFile(fd);
        if (file_ == nullptr) {
            reason = ErrnoText(errno);
            CloseFd(fd);
            std::remove(temporary.c_str());
            return false;
        }
        temporary_ = temporary;
    }
    if (file_ == nullptr) {
        reason = "no temporary file could be created";
        return false;
    }
    path_ = path;
    existing_ = existing;
    published_ = false;
    return true;
}

bool SafeFileWriter::Publish(std::string& reason) {
    if (file_ == nullptr) {
        reason = "not open";
        return false;
    }
    if (std::fflush(file_) != 0 || std::ferror(file_)) {
        reason = ErrnoText(errno);
        Discard();
        return false;
    }
    if (published_) return true;
#ifdef _WIN32
    // Windows renames no file that is open: close it, move it, and go on appending to it.
    std::fclose(file_);
    file_ = nullptr;
#endif
    // Checked again: something may have taken the name while the file was written.
    reason = RefusedTarget(path_, existing_);
    if (!reason.empty() || !MoveInto(temporary_, path_, existing_ != Existing::kRefuse, reason)) {
        Discard();
        return false;
    }
    published_ = true;
#ifdef _WIN32
    file_ = std::fopen(path_.c_str(), "ab");
    if (file_ == nullptr) {
        reason = ErrnoText(errno);
        return false;
    }
#endif
    return true;
}

bool SafeFileWriter::Commit(std::string& reason) {
    if (published_) {
        const bool closed = file_ != nullptr && std::fclose(file_) == 0;
        file_ = nullptr;
        if (!closed) reason = ErrnoText(errno);
        return closed;
    }
    if (file_ == nullptr) {
        reason = "not open";
        return false;
    }
    // Everything on the disk before the old file gives way.
    const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed) {
        reason = ErrnoText(errno);
        Discard();
        return false;
    }
    reason = RefusedTarget(path_, existing_);
    if (!reason.empty() || !MoveInto(temporary_, path_, existing_ != Existing::kRefuse, reason)) {
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void SafeFileWriter::Discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!published_ && !temporary_.empty()) std::remove(temporary_.c_str());
    temporary_.clear();
    published_ = false;
}

bool WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes, std::string& reason) {
    SafeFileWriter writer;
    if (!writer.Open(path, Existing::kReplaceFileOrLink, reason)) return false;
    if (!bytes.empty() &&
        std::fwrite(bytes.data(), 1, bytes.size(), writer.File()) != bytes.size()) {
        reason = "the disk refused the data";
        return false;
    }
    return writer.Commit(reason);
}

} // namespace tapster
