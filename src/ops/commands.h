// The commands behind the main window's buttons, and the window's start-up. Each is a free
// function working on frmMain; names are the window's handler names.
#pragma once

#include <cstdint>

namespace tapster {

// Hardware check and clock calibration.
extern uint32_t CpuSpeedMHz;
extern uint32_t TapClockMHz;
uint32_t MeasureCpuSpeed();
uint32_t NominalCpuSpeed(int32_t measuredMHz);
void FormCreate();
void trkDelayChange();
void cmdDelayClick();

// Free-memory search and the block scan.
extern bool ScanDumpMode;
void cmdMemSeekClick();
bool ScanTargetMemory(uint32_t start, uint32_t length);

// Trap survey and DCU reports.
void cmdChkTrapsClick();
void ReportDcuRegisters();
void ReportTrappedStatus();
void RefreshDcuMonitor();

// Trap routine load, install and take.
void cmdLoadTrapClick();
void cmdInstTrapClick();
void InstallTrapSlot(uint32_t slot, uint32_t trap, uint32_t enables);
void cmdLoadDCUClick();

// Memory commands and verification.
void cmdReadRomClick();
void cmdManReadClick();
void cmdManWriteClick();
void cmdVrfRAMClick();
void cmdVrfTrapClick();
int CompareBlock(uint32_t address, const uint8_t* source);

// Flash commands.
void cmdGetDevCodeClick();
void cmdChipEraseClick();
void cmdBlkEraseClick();
void cmdProtectClick();
void cmdWriteFlashClick();
void cmdReadToFileClick();
void cmdCancelClick();

// DCU monitor, control register and batch.
void cmdStartDCUClick();
void trkPollClick();
void Timer1Timer();
void cmdChangeCtrlClick();
void cmdAddRecClick();
void cmdEditRecClick();
void cmdDelRecClick();
void cmdRunBatchClick();

// Puts every process-wide value of the commands back to its start value (tests).
void ResetCommandState();

} // namespace tapster
