#include "ops/flash_ops.h"

#include "core/hex.h"
#include "core/main_form.h"
#include "core/safe_file.h"
#include "core/widget_table.h"
#include "jtag/agent_calls.h"
#include "jtag/link.h"
#include "ops/agent_reasons.h"
#include "ops/command_outcome.h"
#include "ops/commands.h"
#include "ops/scan_dump.h"
#include "ops/services.h"
#include "ops/target_session.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace tapster {

namespace {

constexpr uint32_t kBlock = 256; // bytes per link block read
constexpr uint32_t kNoChip = 0xFFFF;
const char kNoPort[] = "the parallel port could not be opened";

// The command's last line: "Done." or its failure line.
void LogOutcome(bool done, const std::string& failureLine) {
    if (done)
        Log("Done.");
    else
        LogFailure(failureLine);
}

// An agent call that ended: ok, or the reason in words shown beyond the log.
OpOutcome AgentCallOutcome(bool released, const std::string& what) {
    OpOutcome out;
    out.ok = released;
    if (!released) out.reason = ShowAgentReason(what);
    return out;
}

// Starts the session's chain (and the agent, for its calls); false with the reason when the
// port could not be claimed.
bool Started(TargetSession& session, OpOutcome& out, bool agent = true) {
    if (!session.Claimed()) {
        out.reason = kNoPort;
        return false;
    }
    session.Start();
    if (agent) PrepareAgent();
    return true;
}

// All ones is the bus with no chip on it: nothing answered at this base. The command failed.
void NoChip(OpOutcome& out, uint32_t flashBase, const std::string& what) {
    ReportCommandFailure();
    out.ok = false;
    out.reason = "no flash chip answers at " + Hex8(flashBase) + " (" + what + ")";
    frmMain->ShowStatus(out.reason);
}

} // namespace

IdentifyOutcome IdentifyFlash(uint32_t flashBase) {
    IdentifyOutcome out;
    TargetSession session(BusyOrder::AfterLinkScan);
    if (!Started(session, out)) return out;
    const FlashId id = ReadFlashId(flashBase);
    if (!id.ok) {
        LogFailure("Failure reading IDCODE !!!");
        out.reason = ShowAgentReason("identify");
        return out;
    }
    const std::string manufacturer = HexMin(id.manufacturer, 4);
    const std::string device = HexMin(id.device, 4);
    Log("Flash DEVICE CODE " + device);
    Log("Flash Manufacturer CODE " + manufacturer);
    frmMain->SetText(w::lblFlashCode, "Flash IDCODE " + manufacturer + "." + device);
    frmMain->SetVisible(w::lblFlashCode, true);
    out.manufacturer = id.manufacturer;
    out.device = id.device;
    // All ones is the bus with no chip on it: nothing answered at this base.
    if (id.manufacturer == kNoChip && id.device == kNoChip) {
        NoChip(out, flashBase, "codes FFFF/FFFF");
        return out;
    }
    out.chip = FindFlashChip(id.manufacturer, id.device);
    out.ok = true;
    frmMain->ShowStatus("Found " + DescribeFlashChip(out.chip, id.manufacturer, id.device));
    return out;
}

OpOutcome EraseChip(uint32_t flashBase) {
    TargetSession session(BusyOrder::BeforeClaim);
    OpOutcome out;
    if (!Started(session, out)) return out;
    const bool released = EraseFlashChip(flashBase);
    LogOutcome(released, "Error clearing flash !!!");
    out = AgentCallOutcome(released, "chip erase");
    // Every call leaves the chip's ID codes in the result words: all ones is no chip at all,
    // and an erase of nothing is no erase.
    if (released && ReadWord(MailboxBase + kMbResult1).value == kNoChip &&
        ReadWord(MailboxBase + kMbResult2).value == kNoChip) {
        NoChip(out, flashBase, "codes FFFF/FFFF");
        return out;
    }
    // Released, but protected or locked sectors kept their data: the log says "Done." as
    // always, the command still counts as failed.
    if (released && (agentState.LastAnswer & kAgentReasonSectorsSkipped) != 0) {
        ReportCommandFailure();
        out.ok = false;
        out.reason = ShowAgentReason("chip erase");
    }
    return out;
}

OpOutcome EraseSector(uint32_t blockAddress, uint32_t flashBase) {
    TargetSession session(BusyOrder::BeforeClaim);
    OpOutcome out;
    if (!Started(session, out)) return out;
    const bool released = EraseFlashBlock(blockAddress, flashBase);
    LogOutcome(released, "Error clearing sector !!!");
    return AgentCallOutcome(released, "sector erase");
}

ProtectOutcome ReadProtection(uint32_t blockAddress, uint32_t flashBase) {
    ProtectOutcome out;
    TargetSession session(BusyOrder::AfterClaim);
    if (!Started(session, out)) return out;
    const ProtectionStatus st = ReadBlockProtection(flashBase, blockAddress);
    if (!st.ok) {
        LogFailure("Failure reading block protection status !!!");
        out.reason = ShowAgentReason("protection status");
        return out;
    }
    Log("Block " + HexMin(blockAddress, 1) + " protection status = " + HexMin(st.status, 1));
    out.status = st.status;
    out.ok = true;
    if (st.status == kNoChip) NoChip(out, flashBase, "status FFFF");
    return out;
}

ProgramOutcome ProgramFlash(const ProgramRequest& request) {
    const uint32_t length = static_cast<uint32_t>(request.data.size());
    std::vector<uint8_t> chunkBuffer(kAgentBufferSize, 0);
    TargetSession session(BusyOrder::BeforeClaim);
    ProgramOutcome out;
    if (!Started(session, out)) return out;
    ProgressBegin(length);

    const uint32_t buffer = MailboxBase + kMbBuffer;
    uint32_t address = request.from;
    uint32_t remaining = length;
    out.failedAt = address;
    for (size_t offset = 0; remaining > 0; offset += kAgentBufferSize) {
        const uint32_t chunk = remaining < kAgentBufferSize ? remaining : kAgentBufferSize;
        // The whole chunk buffer goes to the agent; only `chunk` bytes are programmed.
        std::fill(chunkBuffer.begin(), chunkBuffer.end(), 0);
        std::memcpy(chunkBuffer.data(), request.data.data() + offset, chunk);
        if (!SendToTargetRam(chunkBuffer.data(), kAgentBufferSize, buffer)) {
            out.reason = "the agent's buffer in target RAM could not be written";
            break;
        }
        if (!WriteFlashBlock(buffer, address, request.flashBase, chunk)) {
            Log("Error writing flash at address " + Hex8(address));
            out.reason = ShowAgentReason("programming at " + Hex8(address));
            break;
        }
        remaining -= chunk;
        address += kAgentBufferSize;
        out.failedAt = address;
        if (request.progress) request.progress(length - remaining);
    }
    // A failed copy to target RAM ends the loop with no line of its own (WriteBlock has logged
    // its message); either way the write is not done.
    out.ok = remaining == 0;
    if (out.ok)
        Log("Done.");
    else
        ReportCommandFailure();
    frmMain->SetPosition(w::ProgressBar1, 0);
    ProgressEnd();
    return out;
}

bool ConfirmBlock(uint32_t address, uint8_t* block) {
    std::array<uint8_t, kBlock> second{}, third{};
    bool agreed = false;
    if (ReadBlock(address, second.data()) != 0) {
        agreed = std::memcmp(block, second.data(), kBlock) == 0;
        if (!agreed && ReadBlock(address, third.data()) != 0) {
            agreed = std::memcmp(block, third.data(), kBlock) == 0 ||
                     std::memcmp(second.data(), third.data(), kBlock) == 0;
            if (agreed) std::memcpy(block, third.data(), kBlock);
        }
    }
    if (!agreed && frmMain != nullptr)
        frmMain->ShowStatus("the block at " + Hex8(address) +
                            " read differently each time: the cable is not reliable");
    return agreed;
}

uint32_t ReadBlockChecked(uint32_t address, uint8_t* block, bool twice) {
    const uint32_t got = ReadBlock(address, block);
    if (!twice || got == 0) return got;
    return ConfirmBlock(address, block) ? got : 0;
}

ReadOutcome ReadTargetMemory(const ReadRequest& request) {
    ReadOutcome out;
    TargetSession session(BusyOrder::BeforeClaim);
    if (!Started(session, out, false)) return out;
    AbortFlag = false;
    out.bytes.resize(request.length);
    std::array<uint8_t, kBlock> block{};
    for (uint32_t done = 0; done < request.length; done += kBlock) {
        frmMain->HandleOneEvent();
        if (AbortFlag) {
            out.reason = "stopped by the user";
            return out;
        }
        const uint32_t address = request.from + done;
        if (ReadBlockChecked(address, block.data(), request.readTwice) == 0) {
            LogFailure("Error reading memory!!!");
            out.reason = request.readTwice
                             ? "the block at " + Hex8(address) + " read differently each time"
                             : "the block at " + Hex8(address) + " could not be read";
            return out;
        }
        const uint32_t n = std::min(kBlock, request.length - done);
        std::memcpy(out.bytes.data() + done, block.data(), n);
        if (request.progress) request.progress(done + n);
    }
    out.ok = true;
    return out;
}

DumpOutcome DumpToFile(const DumpRequest& request) {
    DumpOutcome out;
    TargetSession session(BusyOrder::BeforeClaim);
    if (!session.Claimed()) {
        out.reason = kNoPort;
        return out;
    }
    // Created before the target is touched: a dump that cannot be kept is not started.
    if (!OpenScanDumpFile(request.path)) {
        out.notCreated = true;
        out.reason = "the file " + request.path + " could not be created";
        return out;
    }
    ScanDumpMode = true;
    session.Start();
    // The scan reads whole 256-byte blocks while a block start lies below its end less 4: a
    // length rounded up to whole blocks covers every byte asked for; the file is then cut to
    // the length itself.
    const uint32_t blocks = (request.length + kBlock - 1) / kBlock;
    const bool scanned = ScanTargetMemory(request.from, blocks * kBlock);
    const bool writeFailed = ScanDumpWriteFailed;
    bool fileBad = writeFailed || !CloseScanDumpFile();
    // A dump cut short keeps the whole blocks it read; a complete one is cut to the length.
    if (!fileBad && scanned) {
        std::error_code ec;
        std::filesystem::resize_file(request.path, request.length, ec);
        fileBad = static_cast<bool>(ec);
    }
    if (!scanned && !writeFailed) LogFailure("Error reading memory!!!");
    if (fileBad) LogFailure("Error writing file " + request.path + " !!!");
    out.ok = scanned && !fileBad;
    out.writeFailed = fileBad;
    if (fileBad)
        out.reason = "the file " + request.path + " could not be written";
    else if (!scanned)
        out.reason = "the memory could not be read";
    return out;
}

bool ReadImageFile(const std::string& path, uint32_t length, std::vector<uint8_t>& data,
                   std::string& reason) {
    data.assign(length, 0);
    uint64_t size = 0;
    std::FILE* f = OpenRegularFile(path, size, reason);
    if (f == nullptr) return false;
    const size_t got = length == 0 ? 0 : std::fread(data.data(), 1, data.size(), f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        reason = "it could not be read";
        return false;
    }
    if (got < length) {
        reason = "it holds " + std::to_string(got) + " bytes, fewer than the data length " +
                 Hex8(length);
        return false;
    }
    return true;
}

} // namespace tapster
