// "Find Free Mem" and the block scan behind it, the ROM dump and "Read to File".
#include "core/hex.h"
#include "core/main_form.h"
#include "core/widget_table.h"
#include "jtag/agent_calls.h"
#include "jtag/link.h"
#include "jtag/tap_engine.h"
#include "ops/command_outcome.h"
#include "ops/commands.h"
#include "ops/flash_ops.h"
#include "ops/scan_dump.h"
#include "ops/services.h"
#include "ops/target_session.h"

#include <array>

namespace tapster {

MemorySearchState memorySearchState;

namespace {

constexpr uint32_t kSearchLength = 0x200000;
constexpr uint32_t kMinimumRun = 5120;
constexpr uint32_t kBlockSize = 256;
const char* const kDashes46 = "----------------------------------------------";

// Whether a byte counts as free under the "Free Memory Condition" boxes, read afresh each time.
bool IsFree(uint8_t value) {
    return (value == 0xFF && frmMain->Checked(w::chk1)) ||
           (value == 0x00 && frmMain->Checked(w::chk0));
}

void ReportRun(uint32_t runStart, uint32_t runLength) {
    frmMain->AddItem(w::lstTrapAddr, Hex8(runStart));
    Log("Free memory found : Start address - " + Hex8(runStart) + ";");
    Log("******************** Length : " + Hex8(runLength) + ";");
}

// Appends a whole block to the scan dump file; false when it did not all get there.
bool DumpBlock(const std::array<uint8_t, kBlockSize>& block) {
    if (ScanDumpFile == nullptr ||
        std::fwrite(block.data(), 1, block.size(), ScanDumpFile) != block.size()) {
        ScanDumpWriteFailed = true;
        return false;
    }
    return true;
}

} // namespace

bool ScanTargetMemory(uint32_t start, uint32_t length) {
    // Wraps like the address arithmetic of the target, except that a range shorter than a word
    // must not wrap its end round to the top of memory (from 1, length 1 would dump 4 GiB).
    const uint32_t end = length < 4 ? start : start + length - 4;
    uint32_t current = start;
    ProgressBegin(length);

    uint32_t runStart = 0;
    uint32_t runLength = 0;
    bool found = false;
    AbortFlag = false;
    std::array<uint8_t, kBlockSize> block{};

    while (current < end) {
        if (AbortFlag) {
            ProgressEnd();
            return false;
        }
        frmMain->HandleOneEvent();
        frmMain->SetText(w::lblAdr, "Addr " + Hex8(current));

        const uint32_t received = ReadBlock(current, block.data());
        if (received != 0 && ScanDumpMode && ScanDumpCheckedReads &&
            !ConfirmBlock(current, block.data())) {
            ProgressEnd();
            return false;
        }
        if (received == 0) {
            ProgressEnd();
            frmMain->ErrorBox("START not received from DCU!!! Check Your hardware !!!");
            return false;
        }

        if (ScanDumpMode) {
            // Always the whole buffer, whatever the target sent.
            if (!DumpBlock(block)) {
                ProgressEnd();
                return false;
            }
        } else {
            for (uint32_t k = 0; k < received && k < kBlockSize; ++k) {
                if (IsFree(block[k])) {
                    if (runLength == 0) runStart = current + k;
                    ++runLength;
                } else {
                    if (runLength >= kMinimumRun) {
                        ReportRun(runStart, runLength);
                        found = true;
                    }
                    runStart = 0;
                    runLength = 0;
                }
            }
        }

        ProgressAdvance(kBlockSize, "Addr " + Hex8(current));
        // A range that reaches the top of the address space ends there instead of wrapping
        // round to address 0 and scanning all of memory.
        if (current > UINT32_MAX - kBlockSize) break;
        current += kBlockSize;
    }

    if (!ScanDumpMode) {
        if (runLength >= kMinimumRun) {
            ReportRun(runStart, runLength);
            found = true;
        }
        if (!found) Log("NO Free memory found at Start address - " + Hex8(start) + ";");
    }
    ProgressEnd();
    return true;
}

void cmdMemSeekClick() {
    ScanDumpMode = false;
    const auto ram = static_cast<uint32_t>(ParseHex(frmMain->Text(w::txtRAM)));
    const auto vram = static_cast<uint32_t>(ParseHex(frmMain->Text(w::txtVRAM)));
    TargetSession session(BusyOrder::AfterClaim);
    if (!session.Claimed()) return;
    session.Start();

    Log("Trying to find 5kB free memory space...");
    Log("Please be patient ! This will take a some time !");
    Log(kDashes46);
    Log("RAM_START:" + Hex8(ram));
    Log("Searching RAM ...");
    if (!ScanTargetMemory(ram, kSearchLength)) {
        LogFailure("Read memory Error !!!");
    } else {
        Log(kDashes46);
        Log("VRAM_START:" + Hex8(vram));
        Log("Searching Video RAM ...");
        // The video RAM pass logs no line of its own when it fails (its box or the abort has
        // said it), but the search is not complete.
        if (!ScanTargetMemory(vram, kSearchLength)) ReportCommandFailure();
    }
}

} // namespace tapster
