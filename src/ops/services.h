// The window services every command uses, on top of the MainForm seam.
#pragma once

#include "port/lpt_registers.h"

#include <cstdint>
#include <string>

namespace tapster {

// Busy mode: panels disabled and "Abort !" shown, and back.
void Deactivate();
void Activate();

// Progress display: ProgressBar1 and lblAdr.
void ProgressBegin(uint32_t total);
void ProgressAdvance(uint32_t step, const std::string& addressText);
void ProgressEnd();

// The two port bases every claim and release passes: the port's registers and its
// extended-capability block.
constexpr uint16_t kLptFirstBase = kLptDataPort;
constexpr uint16_t kLptSecondBase = kLptEcpBase;

// The claim at the start of a command: true when the command may go on; otherwise the error box
// "The parallel port could not be opened" has been shown.
bool ClaimPortForCommand();

// The process's current directory at start-up, where fl4_trap.bin is read and intRom.bin written.
extern std::string StartDirectory;
// StartDirectory joined with a file name.
std::string StartDirectoryFile(const std::string& name);

} // namespace tapster
