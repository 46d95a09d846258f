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

// Makes a new empty file, which replaces `path` when it is closed, the scan dump file (a
// symbolic link of that name is replaced rather than followed; a folder, device or FIFO refused).
// False when it cannot be created; ScanDumpFile stays null then.
bool OpenScanDumpFile(const std::string& path);
// Closes the scan dump file and puts it in place (nothing to do when none is open). False when a
// block could not be written (the new file is then deleted and the old one kept), which makes the
// dump a failed one as well.
bool CloseScanDumpFile();

} // namespace tapster
