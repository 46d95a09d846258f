// The agent's reason bits in plain words, said beyond the log (stderr, the status bar).
#pragma once

#include <cstdint>
#include <string>

namespace tapster {

// The reasons set in an answer of the agent, joined with "; " ("" when none is set).
std::string AgentReasonWords(uint32_t answer);

// After an agent call: why it ended as it did, in words, from the answer that ended its wait.
// "" for a call that was released with no reason bit. A wait abandoned by the user, or an
// aborted answer without a reason bit, is said as such.
std::string LastAgentCallReason();

// Shows LastAgentCallReason() through MainForm::ShowStatus when there is one, with `what`
// ("programming", "chip erase", ...) in front; returns it.
std::string ShowAgentReason(const std::string& what);

} // namespace tapster
