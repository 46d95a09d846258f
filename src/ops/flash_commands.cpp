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
bool BlockFieldsOk(uint32_t& block, uint32_t& base) {
    const uint64_t blockField = Field(w::txtBlkBase);
    const uint64_t baseField = Field(w::lstFlashBase);
    block = Low32(blockField);
    base = Low32(baseField);
    for (bool ok : {IsPositiveField(blockField), IsPositiveField(baseField), base <= block}) {
        if (!ok) {
            frmMain->ErrorBox("Wrong Flash or Block address value !!!");
            return false;
        }
    }
    return InFlashWindow(base, block, 0, "Wrong Flash or Block address value !!!");
}

std::string ContinueQuestion(const std::string& first) {
    return first + "\n\rContinue ?";
}

} // namespace

void cmdGetDevCodeClick() {
    const uint32_t base = Low32(Field(w::lstFlashBase));
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

void cmdChipEraseClick() {
    const uint32_t base = Low32(Field(w::lstFlashBase));
    if (base == 0) {
        frmMain->ErrorBox("Wrong Flash address value !!!");
        return;
    }
    if (!AgentMailboxSet()) return;
    if (!frmMain->WarningQuestion(ContinueQuestion("Now ALL flash data will be erased !!!")))
        return;
    EraseChip(base);
}

void cmdBlkEraseClick() {
    uint32_t block = 0, base = 0;
    if (!BlockFieldsOk(block, base) || !AgentMailboxSet()) return;
    if (!frmMain->WarningQuestion(ContinueQuestion("Now Block data will be erased !!!"))) return;
    EraseSector(block, base);
}

void cmdProtectClick() {
    uint32_t block = 0, base = 0;
    if (!BlockFieldsOk(block, base) || !AgentMailboxSet()) return;
    ReadProtection(block, base);
}

void cmdWriteFlashClick() {
    const uint64_t lengthField = Field(w::txtFlashLen);
    if (!LengthFieldOk(lengthField)) return;
    const uint64_t fromField = Field(w::txtFromAddr);
    const uint64_t baseField = Field(w::lstFlashBase);
    const uint32_t length = Low32(lengthField);
    const uint32_t from = Low32(fromField);
    const uint32_t base = Low32(baseField);
    if (!IsPositiveField(fromField) || !IsPositiveField(baseField) || base > from) {
        frmMain->ErrorBox("Wrong Flash or From address value !!!");
        return;
    }
    if (!InFlashWindow(base, from, length, "Wrong Flash or From address value !!!")) return;
    if (!AgentMailboxSet()) return;
    std::string path;
    if (!frmMain->ChooseFile(path)) return;
    std::vector<uint8_t> data;
    std::string reason;
    // Programming bytes the file does not hold would put undefined data into flash.
    if (!ReadImageFile(path, length, data, reason)) {
        frmMain->ErrorBox("The file " + path + " could not be used (" + reason +
                          ") !!! Nothing was written.");
        return;
    }
    if (!frmMain->WarningQuestion(ContinueQuestion("Now Flash will be rewrited!!!"))) return;
    ProgramFlash({.flashBase = base, .from = from, .data = data, .progress = {}});
}

void cmdReadToFileClick() {
    const uint64_t lengthField = Field(w::txtFlashLen);
    if (!LengthFieldOk(lengthField)) return;
    const uint64_t fromField = Field(w::txtFromAddr);
    if (!IsPositiveField(fromField)) {
        frmMain->ErrorBox("Wrong From address value !!!");
        return;
    }
    std::string path;
    if (!frmMain->ChooseFile(path)) return;
    const DumpOutcome out =
        DumpToFile({.from = Low32(fromField), .length = Low32(lengthField), .path = path});
    if (out.notCreated)
        frmMain->ErrorBox("The file " + path + " could not be created !!! Nothing was read.");
    else if (out.writeFailed)
        frmMain->ErrorBox("The file " + path + " could not be written !!! The dump is incomplete.");
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
