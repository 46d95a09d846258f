// The manual word read and write of the page "Memory" as typed requests, with their buttons'
// checks, boxes and log lines: the buttons fill them from txtManAddr and txtManData, tapcheck-cli's
// read-word and write-word from their arguments. Numbers are the window's hex parse of a field
// (ParseHex). Each shows its result in txtManData, as the window does.
#pragma once

#include <cstdint>

namespace tapster {

// "Read": the word at `address`.
void ManualReadRequest(uint64_t address);
// "Write": `data` to the word at `address`, then read back.
void ManualWriteRequest(uint64_t address, uint64_t data);

} // namespace tapster
