// The commands of the page "Flash Programming" as typed requests, with their buttons' checks,
// boxes, questions and log lines: a button fills the request from its widgets, tapcheck-cli's
// aliases from their arguments. Numbers are the window's hex parse of a field (ParseHex), so the
// checks see what the button would see; `confirmed` stands for the answer OK to the command's
// "Continue ?" question (false: the question is asked); an empty `path` asks the file dialog.
#pragma once

#include <cstdint>
#include <string>

namespace tapster {

// "Check": identify the chip at the flash base.
void IdentifyRequest(uint64_t base);
// "Clear Chip".
void ChipEraseRequest(uint64_t base, bool confirmed);

struct BlockRequest {
    uint64_t block = 0;
    uint64_t base = 0;
    bool confirmed = false; // Clear Sector only
};
// "Clear Sector".
void BlockEraseRequest(const BlockRequest& request);
// "Block Protect Status".
void ProtectStatusRequest(const BlockRequest& request);

struct FileRequest {
    uint64_t from = 0;
    uint64_t length = 0;
    uint64_t base = 0; // Write from File only
    std::string path = {};
    bool confirmed = false; // Write from File only
};
// "Write from File".
void WriteFlashRequest(const FileRequest& request);
// "Read to File".
void ReadToFileRequest(const FileRequest& request);

} // namespace tapster
