// The scan dump file shared by the dump commands and the block scan.
#include "ops/scan_dump.h"

#include "core/safe_file.h"

namespace tapster {

std::FILE* ScanDumpFile = nullptr;
bool ScanDumpWriteFailed = false;
bool ScanDumpCheckedReads = false;

namespace {
SafeFileWriter scanDumpWriter;
} // namespace

bool OpenScanDumpFile(const std::string& path) {
    CloseScanDumpFile();
    ScanDumpWriteFailed = false;
    // A new file takes the old dump's place when it is closed, never appended to; a symbolic
    // link of that name is replaced, never written through.
    std::string reason;
    if (!scanDumpWriter.Open(path, Existing::kReplaceFileOrLink, reason)) return false;
    ScanDumpFile = scanDumpWriter.File();
    return true;
}

bool CloseScanDumpFile() {
    if (ScanDumpFile == nullptr) return true;
    ScanDumpFile = nullptr;
    // A dump whose blocks could not all be written is no file at all: the old one stays.
    if (ScanDumpWriteFailed) {
        scanDumpWriter.Discard();
        return false;
    }
    std::string reason;
    return scanDumpWriter.Commit(reason);
}

} // namespace tapster
