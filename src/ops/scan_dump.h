// The file the block scan writes to in its dump mode (the internal ROM dump, "Read to File").
// A dump command opens it before the scan and closes it after; the scan only appends to it.
#pragma once

#include <cstdio>
#include <string>

namespace tapster {

// Open while a dump runs, null otherwise.
extern std::FILE* ScanDumpFile;
// Set by the scan when a block could not be written to ScanDumpFile (disk full, I/O error): the
// scan then stops and returns false, so the dump counts as failed. Cleared by OpenScanDumpFile.
extern bool ScanDumpWriteFailed;
// Set by tapcheck-cli for its own dumps: the scan reads each block twice, and a third time when
// the two differ; blocks whose reads never agree fail the dump.
extern bool ScanDumpCheckedReads;

// Replaces `path` by a new empty file and makes it the scan dump file (an existing file is
// deleted first, a symbolic link replaced rather than followed). False when it cannot be created;
// ScanDumpFile stays null then.
bool OpenScanDumpFile(const std::string& path);
// Flushes and closes the scan dump file (nothing to do when none is open). False when the last
// blocks could not be written out, which makes the dump a failed one as well.
bool CloseScanDumpFile();

} // namespace tapster
