// The seam between the FTDI cable backend and the USB library: the few calls the backend makes
// to reach an FTDI chip's MPSSE. Production binds it to libftdi1 (ftdi_libftdi.cpp); the tests
// bind it to a model of the chip with the simulated board behind its pins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tapster {

// Which chip to open: a USB vendor and product id, optionally a serial number, and the channel
// of a two-channel chip (0 = A, 1 = B).
struct FtdiTarget {
    uint16_t vid = 0;
    uint16_t pid = 0;
    std::string serial;
    int channel = 0;
};

// What an open found.
struct FtdiDevice {
    std::string description;  // the chip's kind, e.g. "FT2232H"
    size_t bufferSize = 1024; // bytes the chip buffers per direction (the smaller of the two)
};

class FtdiLink {
  public:
    virtual ~FtdiLink() = default;
    // Opens the chip and puts it in MPSSE mode with its buffers empty. False when no such chip
    // can be opened; ErrorText says why.
    virtual bool Open(const FtdiTarget& target, FtdiDevice& device) = 0;
    // Sends `size` bytes of MPSSE commands; the count sent, or negative on failure.
    virtual int Write(const uint8_t* data, size_t size) = 0;
    // Takes up to `size` answer bytes that have arrived; 0 when none has yet, negative on failure.
    virtual int Read(uint8_t* data, size_t size) = 0;
    // Drops whatever either direction still buffers.
    virtual void Flush() = 0;
    virtual void Close() = 0;
    // The library's account of the last failure.
    virtual std::string ErrorText() const = 0;
};

// The binding the program is linked with: libftdi1 (ftdi_libftdi.cpp), or where the build did
// not find it a link whose Open says so (ftdi_no_libftdi.cpp). Each sits alone in the
// tapster_ftdi_link library, so a test program that defines its own is linked with that one.
std::unique_ptr<FtdiLink> MakeFtdiLink();

} // namespace tapster
