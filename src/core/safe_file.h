// Opening the files the programs read and write without surprises: a file to be read is opened
// without blocking (a FIFO or a device never hangs the command) and accepted only when it is a
// regular file; a file to be written goes to a fresh temporary file of an unpredictable name in
// the target's directory and is renamed into place only when it is complete, so that nothing is
// ever written through a symbolic link, a device or a FIFO, and a failure leaves neither a
// half-written file nor a lost old one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace tapster {

// The lengths the commands take from a file's size are 32-bit: a file this large or larger
// would wrap round to a small length.
constexpr uint64_t kLargestFileSize = (uint64_t{1} << 32) - 1;

// Opens `path` for reading in binary mode. Null with a short reason ("not a regular file", "no
// such file", ...) when it cannot be opened or is not a regular file; size is its length.
std::FILE* OpenRegularFile(const std::string& path, uint64_t& size, std::string& reason);

// What a writer does with something that already has the target's name.
enum class Existing {
    kReplaceFile,       // a regular file is replaced; a link, folder, device or FIFO is refused
    kReplaceFileOrLink, // the same, and a symbolic link itself is replaced (never followed)
    kRefuse,            // nothing of that name may exist
};

// One file written safely. Open creates the temporary file beside the target; Commit renames
// it over the target; destroyed (or Discarded) before that, it deletes the temporary file.
class SafeFileWriter {
  public:
    SafeFileWriter() = default;
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // False with a reason when the target is refused or no temporary file can be created.
    bool Open(const std::string& path, Existing existing, std::string& reason);
    std::FILE* File() const { return file_; }
    // Flushes the file and puts it in place of the target; it stays open for further writes
    // (a growing trace). False with a reason (the temporary file is then deleted).
    bool Publish(std::string& reason);
    // Publish, then close. False with a reason when any write failed; nothing is left then.
    bool Commit(std::string& reason);
    void Discard();

  private:
    std::string path_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    Existing existing_ = Existing::kReplaceFile;
    bool published_ = false;
};

// Writes `bytes` to `path` with a SafeFileWriter (kReplaceFileOrLink): a fresh temporary file
// renamed into place only when complete. False with a reason; nothing is left behind then.
bool WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes, std::string& reason);

// Why `path` may not be written under `existing` (a folder, a link, a device, ...); empty when it
// may. For checks made before any work starts.
std::string RefusedTarget(const std::string& path, Existing existing);

// True when the two names reach the same existing file (through links or other spellings).
bool SameFile(const std::string& a, const std::string& b);

} // namespace tapster
