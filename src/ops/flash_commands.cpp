// The page "Flash Programming": identify, erase, protection status and programming through the
// flash agent's mailbox, the dump of target memory to a file, and the "Abort !" button.
#include "core/hex.h"
#include "core/main_form.h"
#include "core/safe_file.h"
#include "core/widget_table.h"
#include "jtag/agent_calls.h"
#include "jtag/jtag_init.h"
#include "jtag/tap_engine.h"
#include "ops/command_outcome.h"
#include "ops/commands.h"
#include "ops/scan_dump.h"
#include "ops/services.h"

#include <cstdio>
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
    return true;
}

// Enters busy mode and claims the port; on a failed claim leaves busy mode again.
bool BusyAndClaimed() {
    Deactivate();
    if (ClaimPortForCommand()) return true;
    Activate();
    return false;
}

void StartAgentSession() {
    InitJtag();
    EnterLinkScan();
    PrepareAgent();
}

// The command's last line: "Done." or its failure line.
void LogOutcome(bool done, const std::string& failureLine) {
    if (done)
        Log("Done.");
    else
        LogFailure(failureLine);
}

std::string ContinueQuestion(const std::string& first) {
    return first + "\n\rContinue ?";
}

// The first `length` bytes of the file, padded with zeros to whole agent chunks. False, after an
// error box naming the file, when it cannot be read or is shorter than `length`: programming
// bytes the file does not hold would put undefined data into flash.
bool ReadProgramFile(const std::string& path, uint32_t length, std::vector<uint8_t>& data) {
    const uint32_t chunks = (length + kAgentBufferSize - 1) / kAgentBufferSize;
    data.assign(static_cast<size_t>(chunks) * kAgentBufferSize, 0);
    uint64_t size = 0;
    std::string reason;
    std::FILE* f = OpenRegularFile(path, size, reason);
    if (f == nullptr) {
        frmMain->ErrorBox("The file " + path + " could not be opened (" + reason +
                          ") !!! Nothing was written.");
        return false;
    }
    const size_t got = std::fread(data.data(), 1, data.size(), f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        frmMain->ErrorBox("The file " + path + " could not be read !!! Nothing was written.");
        return false;
    }
    if (got < length) {
        frmMain->ErrorBox("The file " + path + " holds " + std::to_string(got) +
                          " bytes, fewer than the data length " + Hex8(length) +
                          " !!! Nothing was written.");
        return false;
    }
    return true;
}

} // namespace

void cmdGetDevCodeClick() {
    const uint32_t base = Low32(Field(w::lstFlashBase));
    if (base == 0) {
        frmMain->ErrorBox("Wrong Flash address value !!!");
        return;
    }
    if (!AgentMailboxSet() || !ClaimPortForCommand()) return;
    InitJtag();
    EnterLinkScan();
    Deactivate();
    PrepareAgent();
    const FlashId id = ReadFlashId(base);
    if (id.ok) {
        const std::string manufacturer = HexMin(id.manufacturer, 4);
        const std::string device = HexMin(id.device, 4);
        Log("Flash DEVICE CODE " + device);
        Log("Flash Manufacturer CODE " + manufacturer);
        frmMain->SetText(w::lblFlashCode, "Flash IDCODE " + manufacturer + "." + device);
        frmMain->SetVisible(w::lblFlashCode, true);
    } else {
        LogFailure("Failure reading IDCODE !!!");
    }
    TapReset();
    Activate();
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
    if (!BusyAndClaimed()) return;
    StartAgentSession();
    LogOutcome(EraseFlashChip(base), "Error clearing flash !!!");
    TapReset();
    Activate();
}

void cmdBlkEraseClick() {
    uint32_t block = 0, base = 0;
    if (!BlockFieldsOk(block, base) || !AgentMailboxSet()) return;
    if (!frmMain->WarningQuestion(ContinueQuestion("Now Block data will be erased !!!"))) return;
    if (!BusyAndClaimed()) return;
    StartAgentSession();
    LogOutcome(EraseFlashBlock(block, base), "Error clearing sector !!!");
    TapReset();
    Activate();
}

void cmdProtectClick() {
    uint32_t block = 0, base = 0;
    if (!BlockFieldsOk(block, base) || !AgentMailboxSet() || !ClaimPortForCommand()) return;
    Deactivate();
    StartAgentSession();
    const ProtectionStatus st = ReadBlockProtection(base, block);
    if (st.ok)
        Log("Block " + HexMin(block, 1) + " protection status = " + HexMin(st.status, 1));
    else
        LogFailure("Failure reading block protection status !!!");
    TapReset();
    Activate();
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
    if (!AgentMailboxSet()) return;
    std::string path;
    if (!frmMain->ChooseFile(path)) return;
    std::vector<uint8_t> data;
    if (!ReadProgramFile(path, length, data)) return;
    if (!frmMain->WarningQuestion(ContinueQuestion("Now Flash will be rewrited!!!"))) return;
    if (!BusyAndClaimed()) return;
    StartAgentSession();
    ProgressBegin(length);

    const uint32_t buffer = MailboxBase + kMbBuffer;
    uint32_t address = from;
    uint32_t remaining = length;
    for (size_t offset = 0; remaining > 0; offset += kAgentBufferSize) {
        const uint32_t chunk = remaining < kAgentBufferSize ? remaining : kAgentBufferSize;
        // The whole chunk buffer goes to the agent; only `chunk` bytes are programmed.
        if (!SendToTargetRam(data.data() + offset, kAgentBufferSize, buffer)) break;
        if (!WriteFlashBlock(buffer, address, base, chunk)) {
            Log("Error writing flash at address " + Hex8(address));
            break;
        }
        remaining -= chunk;
        address += kAgentBufferSize;
    }
    // A failed copy to target RAM ends the loop with no line of its own (WriteBlock has logged
    // its message); either way the write is not done.
    if (remaining == 0)
        Log("Done.");
    else
        ReportCommandFailure();

    TapReset();
    frmMain->SetPosition(w::ProgressBar1, 0);
    ProgressEnd();
    Activate();
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
    if (!frmMain->ChooseSaveFile(path)) return;
    if (!BusyAndClaimed()) return;
    // Created before the target is touched: a dump that cannot be kept is not started.
    if (!OpenScanDumpFile(path)) {
        Activate();
        frmMain->ErrorBox("The file " + path + " could not be created !!! Nothing was read.");
        return;
    }
    ScanDumpMode = true;
    InitJtag();
    EnterLinkScan();
    const bool scanned = ScanTargetMemory(Low32(fromField), Low32(lengthField));
    const bool writeFailed = ScanDumpWriteFailed;
    const bool closed = CloseScanDumpFile();
    if (!scanned && !writeFailed) LogFailure("Error reading memory!!!");
    const bool fileBad = writeFailed || !closed;
    if (fileBad) LogFailure("Error writing file " + path + " !!!");
    TapReset();
    Activate();
    if (fileBad)
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
