// The commands behind the main window's buttons, and the window's start-up. Each is a free
// function working on frmMain; names are the window's handler names.
#pragma once

#include <cstdint>

namespace tapster {

// Hardware check and clock calibration.
// The hardware check's process-wide values; a reset is one assignment of HardwareCheckState{}.
struct HardwareCheckState {
    uint32_t CpuSpeedMHz = 0;
    uint32_t TapClockMHz = 0;
};
extern HardwareCheckState hardwareCheckState;
inline uint32_t& CpuSpeedMHz = hardwareCheckState.CpuSpeedMHz;
inline uint32_t& TapClockMHz = hardwareCheckState.TapClockMHz;
uint32_t MeasureCpuSpeed();
uint32_t NominalCpuSpeed(int32_t measuredMHz);
void FormCreate();
void trkDelayChange();
void cmdDelayClick();

// Free-memory search and the block scan.
// The free-memory search's process-wide value; a reset is one assignment of MemorySearchState{}.
struct MemorySearchState {
    bool ScanDumpMode = false;
};
extern MemorySearchState memorySearchState;
inline bool& ScanDumpMode = memorySearchState.ScanDumpMode;
void cmdMemSeekClick();
bool ScanTargetMemory(uint32_t start, uint32_t length);

// Trap survey and DCU reports.
void cmdChkTrapsClick();
// Returns the jump-trace IPTR it read (where the CPU's last jump went).
uint32_t ReportDcuRegisters();
// The DCU reads of the survey and the reports that failed, counted over the process's life: the
// difference across a command is its count.
int FailedDcuReads();
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
// Stops the running command at its next wait or block, as "Abort !" answered No does, without
// asking (the window's close).
void RequestStop();

// DCU monitor, control register and batch.
void cmdStartDCUClick();
void trkPollClick();
void Timer1Timer();
void cmdChangeCtrlClick();
void cmdAddRecClick();
void cmdEditRecClick();
void cmdDelRecClick();
void cmdRunBatchClick();

// Puts every process-wide value of the commands and of the layers under them back to its start
// value (tests; ResetProcessState in tests/support adds the port's own values).
void ResetCommandState();

} // namespace tapster
