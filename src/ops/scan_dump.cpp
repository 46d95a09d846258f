// The scan dump file shared by the dump commands and the block scan.
#include "ops/scan_dump.h"

#include "core/safe_file.h"

namespace tapster {

std::FILE* ScanDumpFile = nullptr;
bool ScanDumpWriteFailed = false;
bool ScanDumpCheckedReads = false;

bool OpenScanDumpFile(const std::string& path) {
    CloseScanDumpFile();
    ScanDumpWriteFailed = false;
    // An old dump is deleted and a new file created in its place, never appended to; a
    // symbolic link of that name is replaced, never written through.
    std::string reason;
    ScanDumpFile = CreateFreshFile(path, reason);
    return ScanDumpFile != nullptr;
}

bool CloseScanDumpFile() {
    if (ScanDumpFile == nullptr) return true;
    const bool flushed = std::fflush(ScanDumpFile) == 0;
    const bool closed = std::fclose(ScanDumpFile) == 0;
    ScanDumpFile = nullptr;
    return flushed && closed;
}

} // namespace tapster
