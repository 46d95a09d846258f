// The parallel port through InpOut32, the port driver that hobbyist port tools on Windows use: its
// DLL (inpout32.dll for 32-bit programs, inpoutx64.dll for 64-bit ones) installs and opens a
// kernel driver and moves single bytes with Inp32/Out32. Not shipped: the user installs it beside
// the program or on the system path. The DLL is loaded when the port is claimed, so a program
// without it starts and says what is missing only when a command needs the port.
#pragma once

#ifdef _WIN32
#define TAPSTER_HAVE_INPOUT_BACKEND 1

#include "port/io_port_backend.h"

namespace tapster {

// The DLL this program's architecture loads: "inpoutx64.dll" or "inpout32.dll".
const char* InpOutDllName();

class InpOutBackend final : public IoPortBackend {
  public:
    // base: the data register's I/O address (0x378 for the first port; a PCI card's elsewhere).
    explicit InpOutBackend(uint16_t base = kLptDataPort) : IoPortBackend("inpout", base) {}
    ~InpOutBackend() override;
    InpOutBackend(const InpOutBackend&) = delete;
    InpOutBackend& operator=(const InpOutBackend&) = delete;

    // Loads the DLL (the program's folder first, then the system's search path), finds Inp32,
    // Out32 and IsInpOutDriverOpen and asks whether the driver is open. False with what to
    // install and where when any of it fails.
    bool Acquire(std::string& error) override;
    // The DLL stays loaded (its driver open) until the backend goes.
    void Relinquish() override { acquired_ = false; }

  protected:
    bool Usable() const override { return acquired_; }
    void OutByte(uint16_t address, uint8_t value) override;
    uint8_t InByte(uint16_t address) override;

  private:
    // The exports' types: the DLL's calls are __stdcall (the same as any call on x64).
    using InpCall = short(__stdcall*)(short address);
    using OutCall = void(__stdcall*)(short address, short value);
    using DriverOpenCall = int(__stdcall*)();

    bool Load(std::string& error);

    void* module_ = nullptr; // HMODULE
    InpCall inp32_ = nullptr;
    OutCall out32_ = nullptr;
    bool acquired_ = false;
};

} // namespace tapster

#endif
