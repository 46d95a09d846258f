#include "ops/agent_reasons.h"

#include "core/main_form.h"
#include "jtag/agent_calls.h"

namespace tapster {

namespace {

struct ReasonRow {
    uint32_t bit = 0;
    const char* words = "";
};
// clang-format off
constexpr ReasonRow kReasons[] = {
    {.bit = kAgentReasonFailed,         .words = "the chip reported a failure, or a word read back differs from what was written"},
    {.bit = kAgentReasonTimeout,        .words = "the agent's time limit ran out"},
    {.bit = kAgentReasonLocked,         .words = "the block is locked or protected"},
    {.bit = kAgentReasonOtherFamily,    .words = "the chip is of the other family: another agent image drives it"},
    {.bit = kAgentReasonBadCall,        .words = "bad call: the agent does not know the command, or the length is above 4096"},
    {.bit = kAgentReasonSectorsSkipped, .words = "sectors skipped: protected or locked"},
};
// clang-format on

} // namespace

std::string AgentReasonWords(uint32_t answer) {
    std::string text;
    for (const ReasonRow& row : kReasons)
        if ((answer & row.bit) != 0) text += (text.empty() ? "" : "; ") + std::string(row.words);
    return text;
}

std::string LastAgentCallReason() {
    const uint32_t answer = agentState.LastAnswer;
    const std::string words = AgentReasonWords(answer);
    if ((answer & AGENT_ST_RELEASED) != 0) return words;
    if (!words.empty()) return words;
    if ((answer & AGENT_ST_ABORTED) != 0) return "the agent stopped without a reason";
    return "the wait was given up before the agent answered";
}

std::string ShowAgentReason(const std::string& what) {
    const std::string reason = LastAgentCallReason();
    if (!reason.empty() && frmMain != nullptr) frmMain->ShowStatus(what + ": " + reason);
    return reason;
}

} // namespace tapster
