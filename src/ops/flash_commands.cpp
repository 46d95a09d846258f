// The page "Flash Programming": identify, erase, protection status and programming through the
// flash agent's mailbox, the dump of target memory to a file, and the "Abort !" button.
#include "core/hex.h"
#include "core/main_form.h"
#include "core/safe_file.h"
#include "core/widget_table.h"
#include "jtag/agent_calls.h"
#include "ops/command_outcome.h"
#include "ops/commands.h"
#include "ops/flash_ops.h"
#include "ops/flash_requests.h"
#include "ops/flash_window.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tapster {

namespace {

constexpr uint32_t kMaxFlashLength = 0x200000;

uint64_t Field(WidgetId name) {
    return ParseHex(frmMain->Text(name));
}
uint32_t Low32(uint64_t value) {
    return static_cast<uint32_t>(value);
}

// The agent calls wait until the agent answers; with no mailbox address they would wait for an
// agent that was never taken, so refuse instead.
bool AgentMailboxSet() {
    if (MailboxBase != 0) return true;
    frmMain->ErrorBox("The flash agent is not ready: no trap has been installed or taken, so its "
                      "mailbox address is unknown.\nLoad Trap Routine, Install Traps and Take Trap "
                      "first !!!");
    return false;
}

// A length whose low 32 bits are 0 (a nine-digit text like 100000000) moves nothing; taking it
// would report a write "Done." with nothing written.
bool LengthFieldOk(uint64_t length) {
    if (IsPositiveField(length) && Low32(length) != 0 && Low32(length) <= kMaxFlashLength)
        return true;
    frmMain->ErrorBox("Wrong Data length value !!!");
    return false;
}

// Flash addresses past the window the base names (video RAM, the agent's own RAM) are refused
// with the command's box; why goes to the status line.
bool InFlashWindow(uint32_t base, uint32_t address, uint32_t length, const std::string& box) {
    const std::optional<std::string> fault = FlashWindowFault(base, address, length);
    if (!fault) return true;
    frmMain->ErrorBox(box);
    frmMain->ShowStatus(*fault);
    return false;
}

// "Clear Sector" and "Block Protect Status": block and base both set, block not below the base.
bool BlockFieldsOk(const BlockRequest& request, uint32_t& block, uint32_t& base) {
    block = Low32(request.block);
    base = Low32(request.base);
    for (bool ok : {IsPositiveField(request.block), IsPositiveField(request.base), base <= block}) {
        if (!ok) {
            frmMain->ErrorBox("Wrong Flash or Block address value !!!");
            return false;
        }
    }
    return InFlashWindow(base, block, 0, "Wrong Flash or Block address value !!!");
}

// The question of a command, unless its answer came with the request.
bool Confirmed(bool confirmed, const std::string& first) {
    return confirmed || frmMain->WarningQuestion(first + "\n\rContinue ?");
}

// The file of a request, or the one the dialog gives.
bool RequestFile(const std::string& given, std::string& path, bool save) {
    path = given;
    if (!path.empty()) return true;
    return save ? frmMain->ChooseSaveFile(path) : frmMain->ChooseFile(path);
}

BlockRequest BlockFields() {
    return {.block = Field(w::txtBlkBase), .base = Field(w::lstFlashBase)};
}

FileRequest FileFields() {
    return {.from = Field(w::txtFromAddr),
            .length = Field(w::txtFlashLen),
            .base = Field(w::lstFlashBase)};
}

} // namespace

void IdentifyRequest(uint64_t baseField) {
    const uint32_t base = Low32(baseField);
    if (base == 0) {
        frmMain->ErrorBox("Wrong Flash address value !!!");
        return;
    }
    if (!AgentMailboxSet()) return;
    const IdentifyOutcome id = IdentifyFlash(base);
    if (id.ok)
        frmMain->SetToolTip(w::lblFlashCode,
                            DescribeFlashChip(id.chip, id.manufacturer, id.device));
}

void ChipEraseRequest(uint64_t baseField, bool confirmed) {
    const uint32_t base = Low32(baseField);
    if (base == 0) {
        frmMain->ErrorBox("Wrong Flash address value !!!");
        return;
    }
    if (!AgentMailboxSet()) return;
    if (!Confirmed(confirmed, "Now ALL flash data will be erased !!!")) return;
    EraseChip(base);
}

void BlockEraseRequest(const BlockRequest& request) {
    uint32_t block = 0, base = 0;
    if (!BlockFieldsOk(request, block, base) || !AgentMailboxSet()) return;
    if (!Confirmed(request.confirmed, "Now Block data will be erased !!!")) return;
    EraseSector(block, base);
}

void ProtectStatusRequest(const BlockRequest& request) {
    uint32_t block = 0, base = 0;
    if (!BlockFieldsOk(request, block, base) || !AgentMailboxSet()) return;
    ReadProtection(block, base);
}

void WriteFlashRequest(const FileRequest& request) {
    if (!LengthFieldOk(request.length)) return;
    const uint32_t length = Low32(request.length);
    const uint32_t from = Low32(request.from);
    const uint32_t base = Low32(request.base);
    if (!IsPositiveField(request.from) || !IsPositiveField(request.base) || base > from) {
        frmMain->ErrorBox("Wrong Flash or From address value !!!");
        return;
    }
    if (!InFlashWindow(base, from, length, "Wrong Flash or From address value !!!")) return;
    if (!AgentMailboxSet()) return;
    std::string path;
    if (!RequestFile(request.path, path, false)) return;
    std::vector<uint8_t> data;
    std::string reason;
    // Programming bytes the file does not hold would put undefined data into flash.
    if (!ReadImageFile(path, length, data, reason)) {
        frmMain->ErrorBox("The file " + path + " could not be used (" + reason +
                          ") !!! Nothing was written.");
        return;
    }
    if (!Confirmed(request.confirmed, "Now Flash will be rewrited!!!")) return;
    ProgramFlash({.flashBase = base, .from = from, .data = data, .progress = {}});
}

void ReadToFileRequest(const FileRequest& request) {
    if (!LengthFieldOk(request.length)) return;
    if (!IsPositiveField(request.from)) {
        frmMain->ErrorBox("Wrong From address value !!!");
        return;
    }
    std::string path;
    if (!RequestFile(request.path, path, true)) return;
    const DumpOutcome out =
        DumpToFile({.from = Low32(request.from), .length = Low32(request.length), .path = path});
    if (out.notCreated)
        frmMain->ErrorBox("The file " + path + " could not be created !!! Nothing was read.");
    else if (out.writeFailed)
        frmMain->ErrorBox("The file " + path + " could not be written !!! The dump is incomplete.");
}

void cmdGetDevCodeClick() {
    IdentifyRequest(Field(w::lstFlashBase));
}

void cmdChipEraseClick() {
    ChipEraseRequest(Field(w::lstFlashBase), false);
}

void cmdBlkEraseClick() {
    BlockEraseRequest(BlockFields());
}

void cmdProtectClick() {
    ProtectStatusRequest(BlockFields());
}

void cmdWriteFlashClick() {
    WriteFlashRequest(FileFields());
}

void cmdReadToFileClick() {
    ReadToFileRequest(FileFields());
}

void cmdCancelClick() {
    StopRequest = true;
    if (!frmMain->YesNoQuestion("Wait for normal termination ?")) AbortFlag = true;
}

void RequestStop() {
    StopRequest = true;
    AbortFlag = true;
}

} // namespace tapster
