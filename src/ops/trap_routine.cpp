// "Load Trap Routine", "Install Traps" and "Take Trap": put the flash agent into target RAM,
// point trap slots at it, and take a trap under one of the DCU's break conditions. The slot
// workspace read back by install and take becomes the agent mailbox (MailboxBase).
#include "core/hex.h"
#include "core/main_form.h"
#include "core/safe_file.h"
#include "core/widget_table.h"
#include "jtag/agent_calls.h"
#include "jtag/jtag_init.h"
#include "jtag/link.h"
#include "jtag/tap_engine.h"
#include "ops/agent_setup.h"
#include "ops/command_outcome.h"
#include "ops/commands.h"
#include "ops/dcu_tables.h"
#include "ops/services.h"
#include "ops/state_reset.h"
#include "ops/target_session.h"

#include <array>
#include <cstdio>
#include <string>

namespace tapster {

namespace {

constexpr size_t kImageSize = 484; // bytes of the image that are loaded
constexpr uint8_t kFirstPoke = 252;
constexpr uint8_t kSecondPoke = kImageSize - kFirstPoke; // 232
constexpr uint32_t kTakeTrapSettleMs = 500;

const char kImageName[] = "fl4_trap.bin";

using Image = std::array<uint8_t, kImageSize>;

// Reads the first 484 bytes of the image; a shorter file leaves the rest zero. False when the
// file cannot be opened or read, or holds nothing: loading a buffer of zeros as the agent would
// be reported as a successful load of a routine that is not there.
bool ReadImage(const std::string& path, Image& image) {
    image.fill(0);
    uint64_t size = 0;
    std::string reason;
    std::FILE* f = OpenRegularFile(path, size, reason);
    if (f == nullptr) return false;
    size_t got = std::fread(image.data(), 1, image.size(), f);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return !failed && got > 0;
}

uint32_t TrapAddressField() {
    return static_cast<uint32_t>(ParseHex(frmMain->Text(w::lstTrapAddr)));
}

void LogWriteError(uint32_t address) {
    LogFailure("Error writing memory at address " + Hex8(address) + "!!!");
}

// The load after the claim: the pokes and their lines, in a chain of its own. Once a trap has
// been installed or taken, an agent may be running where the pokes go: the CPU is moved off it
// first, and when that fails nothing is written. False with the reason when the image was not
// loaded.
bool LoadImage(uint32_t trap, const Image& image, std::string& reason) {
    InitJtag();
    EnterLinkScan();
    Log("Loading trap routine. Memory address " + Hex8(trap));
    Log(std::string(40, '-'));
    if (MailboxBase != 0 && ParkAgent(MailboxBase, reason) == ParkOutcome::Failed) {
        LogFailure("Trap routine NOT loaded: " + reason + " !!!");
        TapReset();
        return false;
    }
    bool loaded = false;
    if (WriteBlock(trap, image.data(), kFirstPoke) == 0) {
        LogWriteError(trap);
    } else if (WriteBlock(trap + kFirstPoke, image.data() + kFirstPoke, kSecondPoke) == 0) {
        LogWriteError(trap + kFirstPoke);
    } else {
        Log("Trap routine loaded successfully.");
        loaded = true;
    }
    TapReset();
    if (!loaded) reason = "the trap routine could not be written to " + Hex8(trap);
    return loaded;
}

} // namespace

bool LoadTrapRoutine(uint32_t trap, const std::string& imagePath, std::string& reason) {
    if (!ClaimPortForCommand()) {
        reason = "the parallel port could not be opened";
        return false;
    }
    Image image;
    if (!ReadImage(imagePath, image)) {
        reason = "the trap routine file " + imagePath + " could not be read";
        return false;
    }
    return LoadImage(trap, image, reason);
}

void cmdLoadTrapClick() {
    if (!ClaimPortForCommand()) return;
    if (!IsPositiveField(ParseHex(frmMain->Text(w::lstTrapAddr)))) {
        frmMain->ErrorBox("Wrong TRAP start address!!! Try to specify another one!");
        return;
    }
    // The image is read before the target is touched, so a missing file writes nothing.
    const std::string path = StartDirectoryFile(kImageName);
    Image image;
    if (!ReadImage(path, image)) {
        frmMain->ErrorBox("The trap routine file " + path +
                          " could not be read !!! Nothing was written to the target.");
        return;
    }
    std::string reason;
    LoadImage(TrapAddressField(), image, reason);
}

void InstallTraps(uint32_t trap, const TrapChoice& choice) {
    TargetSession session(BusyOrder::Never);
    if (!session.Claimed()) return;
    session.Start();
    for (bool high : {true, false}) {
        if (!(high ? choice.high : choice.low)) continue;
        for (size_t g = 0; g < kTrapGroups.size(); ++g) {
            if (!choice.groups[g]) continue;
            const TrapGroup& group = kTrapGroups[g];
            const int k = high ? group.highSlot : group.lowSlot;
            InstallTrapSlot(kTrapSlots[static_cast<size_t>(k)].base, trap, group.enables);
        }
    }
}

void cmdInstTrapClick() {
    TrapChoice choice{.high = frmMain->Checked(w::chkHiPri), .low = frmMain->Checked(w::chkLowPri)};
    for (size_t g = 0; g < kTrapGroups.size(); ++g)
        choice.groups[g] = frmMain->Checked(kTrapGroups[g].checkBox);
    // Not validated: an empty field installs 0, a bad character 0xFFFFFFFF.
    InstallTraps(TrapAddressField(), choice);
}

void InstallTrapSlot(uint32_t slot, uint32_t trap, uint32_t enables) {
    MailboxBase = ReadWord(slot + kSlotWptr).value;
    const uint32_t oldIptr = ReadWord(slot + kSlotIptr).value;
    Log("Old trap Wptr=" + Hex8(MailboxBase) + ", old trap Iptr=" + Hex8(oldIptr));

    WriteWord(slot + kSlotIptr, trap);
    WriteWord(slot + kSlotWptr, trap + kTrapWorkspaceOffset);
    WriteWord(slot + kSlotEnables, enables);

    const uint32_t newIptr = ReadWord(slot + kSlotIptr).value;
    MailboxBase = ReadWord(slot + kSlotWptr).value;
    Log("New Trap Iptr=" + Hex8(newIptr));
    Log("New Trap Wptr=" + Hex8(MailboxBase));
}

void TakeTrap(int condition) {
    const std::vector<std::string> items = frmMain->Items(w::selBrkCond);
    // The radio group always has an item selected; anything else is no request at all.
    if (condition < 0 || static_cast<size_t>(condition) >= kBreakConditions.size() ||
        static_cast<size_t>(condition) >= items.size())
        return;
    const BreakCondition& brk = kBreakConditions[static_cast<size_t>(condition)];

    TargetSession session(BusyOrder::Never);
    if (!session.Claimed()) return;
    session.Start();

    const WordRead slot = ReadWord(brk.slotWord);
    const int failedBefore = FailedDcuReads();
    MailboxBase = slot.value;
    WriteWord(MailboxBase + kOpTempOffset, 0);
    Log("Checking current DCU state ...");
    WriteWord(DCU_JUMPTRACE_CONTROL, kDcuTraceReadEnable);
    WriteWord(DCU_WP_CONTROL, kDcuTraceReadEnable);
    ReportDcuRegisters();
    ReportTrappedStatus();

    Log("Setting " + items[static_cast<size_t>(condition)] + "...");
    WriteWord(brk.armRegister, brk.armValue);
    DelayMs(kTakeTrapSettleMs);

    const uint32_t jumpedTo = ReportDcuRegisters();
    ReportTrappedStatus();
    // The routine lies below its workspace (the mailbox): a CPU that took the trap runs there,
    // and its last jump went there. Otherwise the flash commands would wait for an agent that
    // never answers.
    const uint32_t routine = MailboxBase - kTrapWorkspaceOffset;
    const bool readsFailed = slot.failed || FailedDcuReads() != failedBefore;
    if (readsFailed || MailboxBase < kTrapWorkspaceOffset ||
        jumpedTo - routine >= kTrapWorkspaceOffset) {
        ReportCommandFailure();
        frmMain->ShowStatus(
            readsFailed
                ? "Take Trap: reads of the DCU failed; whether the trap was taken is unknown"
                : "Take Trap: no trap was taken (the CPU's last jump went to " + Hex8(jumpedTo) +
                      ", not into the trap routine at " + Hex8(routine) +
                      "); the flash commands would find no agent");
    }
}

void cmdLoadDCUClick() {
    TakeTrap(frmMain->Position(w::selBrkCond));
}

void ResetTrapState() {
    // The trap commands are the writers of the mailbox base; nothing else of theirs persists.
    MailboxBase = 0;
}

} // namespace tapster
