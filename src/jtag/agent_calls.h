// The host side of the flash agent: a mailbox in target RAM at MailboxBase.
#pragma once

#include <cstdint>

namespace tapster {

// Mailbox offsets.
constexpr uint32_t kMbCommand = 0;
constexpr uint32_t kMbFlashAddr = 4;
constexpr uint32_t kMbSource = 8;
constexpr uint32_t kMbLength = 12;
constexpr uint32_t kMbFlashBase = 16;
constexpr uint32_t kMbResult1 = 20;
constexpr uint32_t kMbResult2 = 24;
constexpr uint32_t kMbBuffer = 28;
constexpr uint32_t kAgentBufferSize = 4096;

constexpr uint32_t AGENT_CMD_READ_ID = 0x0010;
constexpr uint32_t AGENT_CMD_PROTECT_STATUS = 0x0020;
constexpr uint32_t AGENT_CMD_PROGRAM = 0x0100;
constexpr uint32_t AGENT_CMD_ERASE_BLOCK = 0x0200;
constexpr uint32_t AGENT_CMD_ERASE_CHIP = 0x0400;
constexpr uint32_t AGENT_CMD_STOP = 0x0004;
constexpr uint32_t AGENT_ST_RELEASED = 0x0001;
constexpr uint32_t AGENT_ST_ABORTED = 0x0008;
// The agent's own reason bits above the status bits (why it aborted; one also comes released).
constexpr uint32_t kAgentReasonFailed = 0x00010000;
constexpr uint32_t kAgentReasonTimeout = 0x00020000;
constexpr uint32_t kAgentReasonLocked = 0x00040000;
constexpr uint32_t kAgentReasonOtherFamily = 0x00080000;
constexpr uint32_t kAgentReasonBadCall = 0x00100000;
constexpr uint32_t kAgentReasonSectorsSkipped = 0x00200000; // chip erase left protected sectors
// Polls of the wait after which an unchanged command word means no agent is answering (3 s).
constexpr int kNoAnswerPolls = 30;

// The agent calls' process-wide values; a reset is one assignment of AgentState{}.
struct AgentState {
    // Workspace pointer of the trap slot last installed or taken: the agent mailbox.
    uint32_t MailboxBase = 0;
    // Abort flags: set by the "Abort !" button, read by the agent wait and the block scan.
    bool AbortFlag = false;
    bool StopRequest = false;
    // The status word that ended the last wait (0 when it was abandoned before any answer).
    uint32_t LastAnswer = 0;
};
extern AgentState agentState;
inline uint32_t& MailboxBase = agentState.MailboxBase;
inline bool& AbortFlag = agentState.AbortFlag;
inline bool& StopRequest = agentState.StopRequest;

// Said beside the dots when the agent has not touched its command word for kNoAnswerPolls.
inline constexpr const char* kNoAgentHint =
    "no answer from the agent yet: were the trap routine loaded, installed and taken?";

void PrepareAgent();
bool SendToTargetRam(const uint8_t* buffer, uint32_t count, uint32_t target);
bool WriteFlashBlock(uint32_t source, uint32_t flashAddress, uint32_t flashBase, uint32_t length);
bool EraseFlashChip(uint32_t flashBase);
bool EraseFlashBlock(uint32_t blockAddress, uint32_t flashBase);

struct FlashId {
    bool ok = false;
    uint32_t manufacturer = 0;
    uint32_t device = 0;
};
FlashId ReadFlashId(uint32_t flashBase);

struct ProtectionStatus {
    bool ok = false;
    uint32_t status = 0;
};
ProtectionStatus ReadBlockProtection(uint32_t flashBase, uint32_t blockAddress);

bool WaitForRelease();

// Puts MailboxBase and the abort flags back to their start values (tests).
void ResetAgentState();

} // namespace tapster
