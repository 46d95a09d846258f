@echo off
rem Starts the Tapster window on the built-in simulated board, with this folder as the start
rem directory (where fl4_trap.bin is read and intRom.bin written). No cable needed.
cd /d "%~dp0"
start "" tapcheck.exe --simulate
