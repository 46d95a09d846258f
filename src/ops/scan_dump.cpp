// The scan dump file shared by the dump commands and the block scan.
#include "ops/scan_dump.h"

namespace tapster {

std::FILE* ScanDumpFile = nullptr;
bool ScanDumpWriteFailed = false;

bool OpenScanDumpFile(const std::string& path) {
    CloseScanDumpFile();
    ScanDumpWriteFailed = false;
    // "wb" truncates an existing file, so an old dump is replaced, never appended to.
    ScanDumpFile = std::fopen(path.c_str(), "wb");
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
