#include "jtag/agent_calls.h"

#include "core/hex.h"
#include "core/main_form.h"
#include "jtag/link.h"
#include "jtag/tap_engine.h"
#include "port/qzportio.h"

#include <algorithm>

namespace tapster {

AgentState agentState;

namespace {

constexpr uint32_t kDcuControl = 0x3004;
constexpr uint32_t kRamBlock = 252; // bytes per WriteBlock of the RAM copy
// Log lines written by the wait stay at most this long plus the dot that passes it.
constexpr size_t kDotLineLimit = 100;

bool WriteMailbox(uint32_t offset, uint32_t value) {
    return WriteWord(MailboxBase + offset, value);
}

// A failed read counts as 0: to the wait it looks like a busy agent.
uint32_t ReadMailbox(uint32_t offset) {
    return ReadWord(MailboxBase + offset).value;
}

void LogAgentGaveUp() {
    Log("******** Canceled by user or timeout exceeded *********");
    Log("******** Operation terminated !!! *********");
}

// One dot per poll on the last log line; a line that passes 100 characters is followed by a
// new line holding "." on which the next dots go.
void AppendDot() {
    if (frmMain == nullptr) return;
    const std::string line = frmMain->LastLogLine() + ".";
    frmMain->ReplaceLastLogLine(line);
    if (line.size() > kDotLineLimit) frmMain->LogLine(".");
}

} // namespace

void PrepareAgent() {
    WriteMailbox(kMbCommand, 0);
    WriteWord(kDcuControl, 0);
}

bool SendToTargetRam(const uint8_t* buffer, uint32_t count, uint32_t target) {
    for (uint32_t o = 0; o < count; o += kRamBlock) {
        const uint8_t n = static_cast<uint8_t>(std::min(kRamBlock, count - o));
        if (WriteBlock(target + o, buffer + o, n) == 0) return false; // WriteBlock has logged why
    }
    return true;
}

bool WriteFlashBlock(uint32_t source, uint32_t flashAddress, uint32_t flashBase, uint32_t length) {
    Log("Writing flash addr " + Hex8(flashAddress));
    if (frmMain != nullptr) frmMain->SetText("lblAdr", Hex8(flashAddress));
    WriteMailbox(kMbFlashAddr, flashAddress);
    WriteMailbox(kMbSource, source);
    WriteMailbox(kMbLength, length);
    WriteMailbox(kMbFlashBase, flashBase);
    WriteMailbox(kMbCommand, AGENT_CMD_PROGRAM);
    if (WaitForRelease()) {
        if (frmMain != nullptr)
            frmMain->SetPosition("ProgressBar1",
                                 frmMain->Position("ProgressBar1") + static_cast<int>(length));
        return true;
    }
    Log("Flash programming NOT complete !!!");
    return false;
}

bool EraseFlashChip(uint32_t flashBase) {
    Log("Erasing flash, start addr " + Hex8(flashBase));
    if (!WriteMailbox(kMbFlashBase, flashBase)) {
        Log("Error writing data !!! Check hardware and destination address !!!");
        return false;
    }
    WriteMailbox(kMbCommand, AGENT_CMD_ERASE_CHIP);
    if (!WaitForRelease()) {
        Log("Flash erasing NOT complete !!!");
        return false;
    }
    return true;
}

bool EraseFlashBlock(uint32_t blockAddress, uint32_t flashBase) {
    Log("Erasing block, addr " + Hex8(blockAddress));
    WriteMailbox(kMbFlashAddr, blockAddress);
    WriteMailbox(kMbFlashBase, flashBase);
    WriteMailbox(kMbCommand, AGENT_CMD_ERASE_BLOCK);
    if (!WaitForRelease()) {
        Log("Flash erasing NOT complete !!!");
        return false;
    }
    return true;
}

FlashId ReadFlashId(uint32_t flashBase) {
    FlashId id;
    WriteMailbox(kMbFlashBase, flashBase);
    WriteMailbox(kMbCommand, AGENT_CMD_READ_ID);
    if (!WaitForRelease()) return id;
    id.device = ReadMailbox(kMbResult2);
    id.manufacturer = ReadMailbox(kMbResult1);
    id.ok = true;
    return id;
}

ProtectionStatus ReadBlockProtection(uint32_t flashBase, uint32_t blockAddress) {
    ProtectionStatus st;
    WriteMailbox(kMbFlashBase, flashBase);
    WriteMailbox(kMbFlashAddr, blockAddress);
    WriteMailbox(kMbCommand, AGENT_CMD_PROTECT_STATUS);
    if (!WaitForRelease()) return st;
    st.status = ReadMailbox(kMbResult1);
    st.ok = true;
    return st;
}

bool WaitForRelease() {
    AbortFlag = false;
    StopRequest = false;
    agentState.LastAnswer = 0;
    uint32_t status = ReadMailbox(kMbCommand);
    const uint32_t first = status;
    Log("Waiting for release ...");
    // No time limit of the host's own: only the agent's status bits or AbortFlag end the wait,
    // or a cable that can no longer be reached (its reads fail for good, which would look like
    // an agent busy for ever): that ends it as an abort answered No.
    int polls = 0;
    for (;;) {
        // First: what a lost cable reads is no status (all ones look released).
        if (PortLost()) {
            LogAgentGaveUp();
            return false;
        }
        agentState.LastAnswer = status;
        if ((status & AGENT_ST_RELEASED) != 0) return true;
        if ((status & AGENT_ST_ABORTED) != 0 || AbortFlag) {
            LogAgentGaveUp();
            if (AbortFlag) WriteMailbox(kMbCommand, AGENT_CMD_STOP);
            return false;
        }
        if (StopRequest) WriteMailbox(kMbCommand, AGENT_CMD_STOP);
        AppendDot();
        if (++polls == kNoAnswerPolls && status == first && frmMain != nullptr)
            frmMain->ShowStatus(kNoAgentHint);
        DelayMs(100);
        status = ReadMailbox(kMbCommand);
    }
}

void ResetAgentState() {
    agentState = {};
}

} // namespace tapster
