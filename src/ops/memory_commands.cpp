// Memory commands: the internal ROM dump, the manual word read and write, and the verification
// of a RAM load and of the trap routine in target memory against their files.
#include "core/hex.h"
#include "core/main_form.h"
#include "core/safe_file.h"
#include "core/widget_table.h"
#include "jtag/link.h"
#include "ops/command_outcome.h"
#include "ops/commands.h"
#include "ops/flash_window.h"
#include "ops/memory_requests.h"
#include "ops/scan_dump.h"
#include "ops/services.h"
#include "ops/target_session.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>

namespace tapster {

namespace {

constexpr uint32_t kVerifyBlock = 252; // the block size of WriteBlock
constexpr uint64_t kAddressSpace = uint64_t{1} << 32;
const char* const kTestFails = "************ Test fails !!! ************ ";

using VerifyBuffer = std::array<uint8_t, kVerifyBlock>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a verification file (a regular file only) and measures it; null with an error box
// naming it. A file of 4 GiB or more is refused: its length would wrap in the 32-bit fields.
File OpenForReading(const std::string& path, uint64_t& size) {
    std::string reason;
    File file(OpenRegularFile(path, size, reason));
    if (!file) {
        frmMain->ErrorBox("Could not open the file " + path + " (" + reason + ") !!!");
        return nullptr;
    }
    if (size > kLargestFileSize) {
        frmMain->ErrorBox("The file " + path + " is 4 GiB or larger !!! Nothing was verified.");
        return nullptr;
    }
    return file;
}

// A verified range must lie below the top of the 32-bit address space; otherwise the block
// loop's end would wrap below its start and nothing would be checked.
bool FitsAddressSpace(uint32_t base, uint64_t size, const std::string& path) {
    if (base + size <= kAddressSpace) return true;
    frmMain->ErrorBox("The file " + path + " does not fit in target memory from address " +
                      Hex8(base) + " !!!");
    return false;
}

void BlockDisplayStart(uint32_t address) {
    frmMain->SetText(w::lblAdr, "Addr " + Hex8(address));
    frmMain->Repaint(w::lblAdr);
}

void BlockDisplayEnd(uint32_t address) {
    ProgressAdvance(kVerifyBlock, "Addr " + Hex8(address));
    frmMain->HandleOneEvent();
}

// Reads the next `count` bytes of the file into the front of the buffer.
bool ReadChunk(std::FILE* file, VerifyBuffer& buffer, uint32_t count, const std::string& path) {
    if (std::fread(buffer.data(), 1, count, file) == count) return true;
    frmMain->ErrorBox("Could not read the file " + path + " !!!");
    return false;
}

// Writes the first `count` bytes of the buffer to the target at `address` and nothing else.
// The link writes whole words, so a count that is not a multiple of four is completed with the
// target's own bytes behind the range, read just before: the write leaves them as they were.
bool WriteFileBytes(uint32_t address, VerifyBuffer& buffer, uint32_t count) {
    const uint32_t words = (count + 3) & ~uint32_t{3};
    if (words != count) {
        const uint32_t lastWord = count & ~uint32_t{3};
        const WordRead current = ReadWord(address + lastWord);
        if (current.failed) return false;
        for (uint32_t i = count; i < words; ++i)
            buffer[i] = static_cast<uint8_t>(current.value >> (8 * (i - lastWord)));
    }
    return WriteBlock(address, buffer.data(), static_cast<uint8_t>(words)) != 0;
}

// Like CompareBlock, over the first `count` bytes only.
int CompareBytes(uint32_t address, const uint8_t* source, uint32_t count) {
    std::array<uint8_t, 256> target{};
    ReadBlock(address, target.data()); // a failed read leaves zeros, compared as such
    for (uint32_t i = 0; i < count && i < kVerifyBlock; ++i)
        if (target[i] != source[i]) return static_cast<int>(i);
    return -1;
}

void ReportDifference(uint32_t address) {
    Log("Difference found at address " + Hex8(address) + "!!!");
    LogFailure(kTestFails);
}

// The write pass of "Verify RAM Load"; false when a block could not be written.
bool WritePass(std::FILE* file, uint32_t base, uint64_t size, const std::string& path) {
    VerifyBuffer buffer{};
    for (uint64_t offset = 0; offset < size; offset += kVerifyBlock) {
        const auto current = static_cast<uint32_t>(base + offset);
        BlockDisplayStart(current);
        const auto chunk = static_cast<uint32_t>(std::min<uint64_t>(kVerifyBlock, size - offset));
        if (!ReadChunk(file, buffer, chunk, path)) return false;
        if (!WriteFileBytes(current, buffer, chunk)) {
            Log("Error writing memory at address " + Hex8(current) + "!!!");
            LogFailure(kTestFails);
            return false;
        }
        BlockDisplayEnd(current);
    }
    return true;
}

// The compare pass of "Verify RAM Load": each block is written once more, then read back.
bool ComparePass(std::FILE* file, uint32_t base, uint64_t size, const std::string& path) {
    VerifyBuffer buffer{};
    for (uint64_t offset = 0; offset < size; offset += kVerifyBlock) {
        const auto current = static_cast<uint32_t>(base + offset);
        BlockDisplayStart(current);
        const auto chunk = static_cast<uint32_t>(std::min<uint64_t>(kVerifyBlock, size - offset));
        if (!ReadChunk(file, buffer, chunk, path)) return false;
        WriteFileBytes(current, buffer, chunk); // its result is not looked at
        const int difference = CompareBytes(current, buffer.data(), chunk);
        if (difference >= 0) {
            ReportDifference(current + static_cast<uint32_t>(difference));
            return false;
        }
        BlockDisplayEnd(current);
    }
    return true;
}

// The opening both verifications share once their file is open: the progress display over the
// file's length, busy mode and the link, and the two header lines.
void BeginVerification(TargetSession& session, const std::string& header, uint32_t base,
                       uint64_t size) {
    ProgressBegin(static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX)));
    session.Start();
    Log(header + Hex8(base));
    Log("---------------------- Data length " + Hex8(static_cast<uint32_t>(size)));
}

void EndVerification(TargetSession& session) {
    session.Finish();
    ProgressEnd();
}

} // namespace

int CompareBlock(uint32_t address, const uint8_t* source) {
    return CompareBytes(address, source, kVerifyBlock);
}

void cmdReadRomClick() {
    ScanDumpMode = true;
    TargetSession session(BusyOrder::AtStart);
    if (!session.Claimed()) return;
    const std::string path = StartDirectoryFile("intRom.bin");
    if (!OpenScanDumpFile(path)) {
        frmMain->ErrorBox("Could not create the file " + path + " !!!");
        return;
    }
    session.Start();
    Log("----------------------------------------------");
    Log("Reading internal ROM ...");

    const bool scanned = ScanTargetMemory(kInternalRomStart, kInternalRomLength);
    const bool written = CloseScanDumpFile() && !ScanDumpWriteFailed;
    if (scanned && written) {
        Log("Done. See file intRom.bin at current directory.");
    } else {
        LogFailure("Read memory Error !!!");
        if (!written) frmMain->ErrorBox("Could not write the file " + path + " !!!");
    }
}

void cmdManReadClick() {
    ManualReadRequest(ParseHex(frmMain->Text(w::txtManAddr)));
}

void cmdManWriteClick() {
    ManualWriteRequest(ParseHex(frmMain->Text(w::txtManAddr)),
                       ParseHex(frmMain->Text(w::txtManData)));
}

void cmdVrfRAMClick() {
    const uint64_t field = ParseHex(frmMain->Text(w::txtVrfRAM));
    if (!IsPositiveField(field)) {
        frmMain->ErrorBox("Wrong RAM Address value !!!");
        return;
    }
    std::string path;
    if (!frmMain->ChooseFile(path)) return;
    const auto base = static_cast<uint32_t>(field);
    TargetSession session(BusyOrder::AtStart);
    if (!session.Claimed()) return;
    uint64_t size = 0;
    File file = OpenForReading(path, size);
    if (!file || !FitsAddressSpace(base, size, path)) return;

    BeginVerification(session, "Trying write into the RAM. Memory address ", base, size);

    if (WritePass(file.get(), base, size, path)) {
        Log("Comparing RAM with source file ...");
        std::rewind(file.get());
        frmMain->SetPosition(w::ProgressBar1, 0);
        if (ComparePass(file.get(), base, size, path))
            Log("Memory downloaded and verified successfully.");
    }

    file.reset();
    EndVerification(session);
}

void cmdVrfTrapClick() {
    const auto base = static_cast<uint32_t>(ParseHex(frmMain->Text(w::lstTrapAddr)));
    TargetSession session(BusyOrder::AtStart);
    if (!session.Claimed()) return;
    const std::string path = StartDirectoryFile("fl4_trap.bin");
    uint64_t size = 0;
    File file = OpenForReading(path, size);
    if (!file || !FitsAddressSpace(base, size, path)) return;

    BeginVerification(session, "Checking trap handler routine. Memory address ", base, size);

    // Only the image's own bytes are compared: what lies in target memory behind the image (in
    // the last block, whatever its length) is not part of the routine.
    VerifyBuffer buffer{};
    bool verified = true;
    for (uint64_t offset = 0; offset < size; offset += kVerifyBlock) {
        const auto current = static_cast<uint32_t>(base + offset);
        BlockDisplayStart(current);
        const auto chunk = static_cast<uint32_t>(std::min<uint64_t>(kVerifyBlock, size - offset));
        if (!ReadChunk(file.get(), buffer, chunk, path)) {
            verified = false;
            break;
        }
        const int difference = CompareBytes(current, buffer.data(), chunk);
        if (difference >= 0) {
            ReportDifference(current + static_cast<uint32_t>(difference));
            verified = false;
            break;
        }
        BlockDisplayEnd(current);
    }
    if (verified) Log("Trap handler routine verified successfully.");

    file.reset();
    EndVerification(session);
}

} // namespace tapster
