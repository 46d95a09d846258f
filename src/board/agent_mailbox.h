// The flash agent's mailbox as the board side sees it: word offsets from the trap workspace and
// the command and answer codes. The host keeps its own copy (jtag/agent_calls.h); the two are
// kept apart on purpose, so a test written against this one checks the host's independently.
#pragma once

#include <cstdint>

namespace tapster::board {

inline constexpr uint32_t kMailboxCommand = 0;
inline constexpr uint32_t kMailboxFlashAddress = 4;
inline constexpr uint32_t kMailboxSource = 8;
inline constexpr uint32_t kMailboxLength = 12;
inline constexpr uint32_t kMailboxFlashBase = 16;
inline constexpr uint32_t kMailboxResult1 = 20; // also the trap workspace word OP_TEMP
inline constexpr uint32_t kMailboxResult2 = 24;

inline constexpr uint32_t kAgentCmdReadId = 0x0010;
inline constexpr uint32_t kAgentCmdProtectStatus = 0x0020;
inline constexpr uint32_t kAgentCmdProgram = 0x0100;
inline constexpr uint32_t kAgentCmdEraseBlock = 0x0200;
inline constexpr uint32_t kAgentCmdEraseChip = 0x0400;
inline constexpr uint32_t kAgentCmdStop = 0x0004;
inline constexpr uint32_t kAgentStReleased = 0x0001;
inline constexpr uint32_t kAgentStAborted = 0x0008;

// The agent's buffer, right after the result words, holds one programming chunk.
inline constexpr uint32_t kAgentBufferSize = 4096;

} // namespace tapster::board
