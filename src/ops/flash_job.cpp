#include "ops/flash_job.h"

#include "core/hex.h"
#include "core/main_form.h"
#include "core/safe_file.h"
#include "jtag/agent_calls.h"
#include "ops/agent_setup.h"
#include "ops/command_outcome.h"
#include "ops/commands.h"
#include "ops/flash_ops.h"
#include "ops/flash_window.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace tapster {

namespace {

using Clock = std::chrono::steady_clock;

// One run of the job: the request, what it found, and how to report.
class Job {
  public:
    Job(const FlashJobRequest& request, const FlashJobProgressFn& progress)
        : req_(request), progress_(progress), start_(Clock::now()) {}

    FlashJobOutcome Run();

  private:
    bool Fail(const std::string& verdict) {
        out_.verdict = verdict;
        return false;
    }
    void Progress(FlashJobPhase phase, uint32_t done, uint32_t total) {
        if (progress_) progress_({.phase = phase, .done = done, .total = total});
    }
    bool ReadImage();
    std::string FindAgent(const std::string& name) const;
    bool CheckCable();
    bool StartAgent(const std::string& image);
    bool Identify();
    bool SwitchAgentForChip();
    bool SwitchAgent(const std::string& name, const std::string& path);
    bool Erase();
    bool EraseAuto();
    bool Program();
    std::string ProtectedSector(uint32_t chunk, const std::string& reason);
    bool Verify();
    bool Dump();
    std::string Rate(const std::string& what) const;

    const FlashJobRequest& req_;
    const FlashJobProgressFn& progress_;
    Clock::time_point start_;
    FlashJobOutcome out_;
    std::vector<uint8_t> image_;
    std::string agentLoaded_;
    std::string agentImage_ = IdentifyImage(); // the family image running (its file name)
};

bool Job::ReadImage() {
    uint64_t size = 0;
    std::string reason;
    std::FILE* f = OpenRegularFile(req_.imagePath, size, reason);
    if (f == nullptr) return Fail("cannot use '" + req_.imagePath + "': " + reason);
    std::fclose(f);
    if (size == 0) return Fail("'" + req_.imagePath + "' is empty: nothing to program");
    if (size > 0x200000u)
        return Fail("'" + req_.imagePath + "' holds " + SizeText(size) +
                    ", more than the 2 MiB a flash command moves");
    if (const std::optional<std::string> hidden =
            InternalRomFault(req_.at, static_cast<uint32_t>(size)))
        return Fail(*hidden);
    if (!ReadImageFile(req_.imagePath, static_cast<uint32_t>(size), image_, reason))
        return Fail("cannot read '" + req_.imagePath + "': " + reason);
    return true;
}

std::string Job::FindAgent(const std::string& name) const {
    if (!req_.agentPath.empty()) return req_.agentPath;
    for (const std::string& folder : req_.agentFolders) {
        const std::filesystem::path path = std::filesystem::path(folder) / name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) return path.string();
    }
    return "";
}

bool Job::CheckCable() {
    Progress(FlashJobPhase::Check, 0, 0);
    ClearCommandOutcome();
    cmdDelayClick();
    if (CommandFailed()) return Fail("the hardware check failed: no cable or no target answers");
    return true;
}

bool Job::StartAgent(const std::string& image) {
    Progress(FlashJobPhase::Agent, 0, 0);
    std::string reason;
    if (!LoadTrapRoutine(req_.trapAddress, image, reason))
        return Fail("the agent could not be loaded: " + reason);
    ClearCommandOutcome();
    InstallTraps(req_.trapAddress, TrapChoice{});
    TakeTrap(kTakeOnInterrupt);
    if (MailboxBase == 0) return Fail("the trap was not taken: the agent has no mailbox");
    if (CommandFailed()) return Fail("the trap was not taken: the CPU does not run the agent");
    agentLoaded_ = image;
    return true;
}

bool Job::Identify() {
    Progress(FlashJobPhase::Identify, 0, 0);
    IdentifyOutcome id = IdentifyFlash(req_.flashBase);
    // No known chip answered the identifying image: it may be an SST part, which ignores the AMD
    // unlock cycles; the SST image, which every family answers, asks again.
    const std::string sst = FamilyImage(FlashFamily::Sst);
    if ((!id.ok || id.chip == nullptr) && req_.agentPath.empty() && agentImage_ != sst) {
        const std::string path = FindAgent(sst);
        if (!path.empty()) {
            frmMain->ShowStatus("no chip of the table answered " + agentImage_ +
                                ": asking again with " + sst + " (SST parts take only its unlock)");
            if (!SwitchAgent(sst, path)) return false;
            id = IdentifyFlash(req_.flashBase);
        }
    }
    if (!id.ok) return Fail("the flash chip could not be identified: " + id.reason);
    out_.chip = id.chip;
    out_.chipLine = "Found " + DescribeFlashChip(id.chip, id.manufacturer, id.device);
    if (id.chip != nullptr) {
        const uint64_t end = static_cast<uint64_t>(req_.at - req_.flashBase) + image_.size();
        if (end > id.chip->Size())
            return Fail("the image ends " + SizeText(end) + " into the chip, which holds " +
                        SizeText(id.chip->Size()));
    }
    return true;
}

// The image that identified the chip serves one family; a chip of another family gets its own
// image, loaded (the load moves the CPU off the running one first), installed and taken the same
// way.
bool Job::SwitchAgentForChip() {
    if (out_.chip == nullptr || !req_.agentPath.empty()) return true;
    const std::string name = FamilyImage(out_.chip->family);
    if (name == agentImage_) return true;
    const std::string path = FindAgent(name);
    if (path.empty()) return Fail("no agent image " + std::string(name) + " for the chip found");
    return SwitchAgent(name, path);
}

bool Job::SwitchAgent(const std::string& name, const std::string& path) {
    agentImage_ = name;
    return StartAgent(path);
}

bool Job::EraseAuto() {
    if (out_.chip == nullptr)
        return Fail("the chip is not in the chip table, so its sectors are unknown: give "
                    "--erase chip or --erase none");
    const uint32_t first = req_.at - req_.flashBase;
    const uint32_t last = first + static_cast<uint32_t>(image_.size()) - 1;
    const uint32_t total = last - first + 1;
    for (uint32_t offset = first; offset <= last;) {
        const auto sector = out_.chip->SectorAt(offset);
        if (!sector) return Fail("no sector of the chip holds offset " + Hex8(offset));
        const uint32_t address = req_.flashBase + sector->offset;
        // A sector that already reads blank needs no erase.
        const ReadOutcome now = ReadTargetMemory(
            {.from = address, .length = sector->size, .readTwice = false, .progress = {}});
        if (!now.ok) return Fail("the sector at " + Hex8(address) + " could not be read");
        const bool blank =
            std::all_of(now.bytes.begin(), now.bytes.end(), [](uint8_t b) { return b == 0xFF; });
        if (!blank) {
            const OpOutcome erased = EraseSector(address, req_.flashBase);
            if (!erased.ok)
                return Fail("erasing the sector at " + Hex8(address) + " failed: " + erased.reason);
        }
        const uint32_t next = sector->offset + sector->size;
        Progress(FlashJobPhase::Erase, std::min(next - first, total), total);
        if (next <= offset) break;
        offset = next;
    }
    return true;
}

bool Job::Erase() {
    switch (req_.erase) {
    case EraseMode::None:
        return true;
    case EraseMode::Chip: {
        Progress(FlashJobPhase::Erase, 0, 0);
        const OpOutcome erased = EraseChip(req_.flashBase);
        return erased.ok || Fail("the chip erase failed: " + erased.reason);
    }
    case EraseMode::Auto:
        break;
    }
    return EraseAuto();
}

bool Job::Program() {
    const uint32_t total = static_cast<uint32_t>(image_.size());
    Progress(FlashJobPhase::Program, 0, total);
    const ProgramOutcome written = ProgramFlash(
        {.flashBase = req_.flashBase,
         .from = req_.at,
         .data = image_,
         .progress = [&](uint32_t done) { Progress(FlashJobPhase::Program, done, total); }});
    if (!written.ok)
        return Fail("programming failed: " + ProtectedSector(written.failedAt, written.reason));
    out_.bytes = total;
    return true;
}

// A program into a protected sector takes nothing and reads back as it was, which the agent
// can only call a failure: the sectors of the failed chunk are asked for their protection.
std::string Job::ProtectedSector(uint32_t chunk, const std::string& reason) {
    if (out_.chip == nullptr) return reason;
    for (uint32_t offset = chunk - req_.flashBase; offset < chunk - req_.flashBase + 4096;) {
        const auto sector = out_.chip->SectorAt(offset);
        if (!sector) break;
        const uint32_t address = req_.flashBase + sector->offset;
        const ProtectOutcome st = ReadProtection(address, req_.flashBase);
        if (st.ok && (st.status & 1) != 0)
            return "the sector at " + Hex8(address) + " is locked or protected";
        offset = sector->offset + sector->size;
    }
    return reason;
}

bool Job::Verify() {
    const uint32_t total = static_cast<uint32_t>(image_.size());
    Progress(FlashJobPhase::Verify, 0, total);
    const ReadOutcome read = ReadTargetMemory(
        {.from = req_.at, .length = total, .readTwice = false, .progress = [&](uint32_t done) {
             Progress(FlashJobPhase::Verify, done, total);
         }});
    if (!read.ok) return Fail("the read-back failed: " + read.reason);
    const auto diff = std::mismatch(image_.begin(), image_.end(), read.bytes.begin());
    if (diff.first != image_.end()) {
        const uint32_t at = req_.at + static_cast<uint32_t>(diff.first - image_.begin());
        return Fail("Verification FAILED at " + Hex8(at) + ": wrote " + HexMin(*diff.first, 2) +
                    ", read " + HexMin(*diff.second, 2));
    }
    out_.bytes = total;
    return true;
}

bool Job::Dump() {
    Progress(FlashJobPhase::Dump, 0, req_.length);
    const ReadOutcome read = ReadTargetMemory(
        {.from = req_.at, .length = req_.length, .readTwice = true, .progress = [&](uint32_t done) {
             Progress(FlashJobPhase::Dump, done, req_.length);
         }});
    if (!read.ok) return Fail("the dump failed: " + read.reason);
    std::string reason;
    if (!WriteWholeFile(req_.dumpPath, read.bytes, reason))
        return Fail("'" + req_.dumpPath + "' could not be written: " + reason);
    out_.bytes = req_.length;
    return true;
}

std::string Job::Rate(const std::string& what) const {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const double kib = out_.bytes / 1024.0;
    char tail[64];
    std::snprintf(tail, sizeof tail, " in %.0f s, %.0f KiB/s", seconds,
                  seconds > 0 ? kib / seconds : kib);
    return what + tail;
}

FlashJobOutcome Job::Run() {
    const bool image = req_.kind != FlashJobKind::Dump;
    const std::string identifier = FindAgent(IdentifyImage());
    if (image && !ReadImage()) return out_;
    if (image && identifier.empty()) {
        Fail("no agent image " + std::string(IdentifyImage()) + " found");
        return out_;
    }
    out_.reachedTarget = true;
    bool ok = CheckCable();
    if (ok && req_.kind == FlashJobKind::Dump) {
        ok = Dump();
        if (ok)
            out_.verdict = Rate("Dumped " + SizeText(req_.length) + " from " + Hex8(req_.at) +
                                " to " + req_.dumpPath);
    } else if (ok) {
        ok = StartAgent(identifier) && Identify() && SwitchAgentForChip();
        if (ok && req_.kind == FlashJobKind::Program) ok = Erase() && Program();
        if (ok && (req_.kind == FlashJobKind::Verify || req_.verify)) ok = Verify();
        if (ok) {
            const std::string what = SizeText(image_.size()) + " at " + Hex8(req_.at);
            out_.verdict = Rate(req_.kind == FlashJobKind::Program && !req_.verify
                                    ? "PROGRAMMED (not verified): " + what
                                    : "VERIFIED: " + what);
        }
    }
    out_.ok = ok;
    out_.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    return out_;
}

} // namespace

FlashJobOutcome RunFlashJob(const FlashJobRequest& request, const FlashJobProgressFn& progress) {
    return Job(request, progress).Run();
}

std::vector<std::string> AgentFolders(const std::string& programFolder,
                                      const std::string& startFolder) {
    const std::filesystem::path program(programFolder);
    return {(program / ".." / "share" / "tapster").string(), programFolder, startFolder};
}

std::optional<PhaseRate> RateOfPhase(uint32_t done, uint32_t total, double seconds) {
    if (done == 0 || seconds < 0.5) return std::nullopt;
    const double perSecond = done / seconds;
    return PhaseRate{.kibPerSecond = perSecond / 1024,
                     .secondsLeft = total > done ? (total - done) / perSecond : 0};
}

const char* PhaseName(FlashJobPhase phase) {
    switch (phase) {
    case FlashJobPhase::Check:
        return "check";
    case FlashJobPhase::Agent:
        return "agent";
    case FlashJobPhase::Identify:
        return "identify";
    case FlashJobPhase::Erase:
        return "erase";
    case FlashJobPhase::Program:
        return "program";
    case FlashJobPhase::Verify:
        return "verify";
    case FlashJobPhase::Dump:
        return "dump";
    }
    return "";
}

} // namespace tapster
