// Puts the port layer back to program start around each test: the stand-in service manager and
// device, the driver object, no port permitted, no backend, and port faults recorded instead of
// aborting.
#pragma once

#include "port/platform.h"
#include "port/port_backend.h"
#include "port/qziopm.h"
#include "port/qzportio.h"
#include "standin/port_permission.h"
#include "standin/win_standin.h"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tapster::test {

struct PortFault {
    uint16_t port;
    bool write;
};

inline std::vector<PortFault>& PortFaults() {
    static std::vector<PortFault> faults;
    return faults;
}

// A backend that records what reaches it and can refuse to be acquired.
class RecordingBackend : public PortBackend {
  public:
    void WriteRegister(uint16_t port, uint8_t value) override { writes.push_back({port, value}); }
    uint8_t ReadRegister(uint16_t port) override {
        reads.push_back(port);
        return status;
    }
    bool Acquire(std::string& error) override {
        ++acquired;
        if (!acquireOk) error = acquireError;
        return acquireOk;
    }
    void Relinquish() override { ++relinquished; }
    std::string Name() const override { return "recording"; }

    struct Write {
        uint16_t port;
        uint8_t value;
    };
    std::vector<Write> writes;
    std::vector<uint16_t> reads;
    uint8_t status = 0x5A;
    bool acquireOk = true;
    std::string acquireError;
    int acquired = 0;
    int relinquished = 0;
};

class PortLayerTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetPortLayer(); }
    void TearDown() override { ResetPortLayer(); }

    static void ResetPortLayer() {
        win::standin::Reset();
        QZIOPMDriver() = TQZIOPM_Driver();
        SetPortBackend(nullptr);
        platform::SetPlatformIdQuery(nullptr);
        PortFaults().clear();
        SetPortFaultHandler([](uint16_t port, bool write) {
            PortFaults().push_back({port, write});
        });
    }

    // The DeviceIoControl calls logged so far, as (code, word0, word1).
    static std::vector<win::standin::Call> IoControls() {
        std::vector<win::standin::Call> out;
        for (const auto& c : win::standin::Calls())
            if (c.name == "DeviceIoControl") out.push_back(c);
        return out;
    }
    // The same as {code, word0, word1} rows, compared whole (a map-byte read carries the byte it
    // is read into as word1).
    using Request = std::array<uint32_t, 3>;
    static std::vector<Request> Requests() {
        std::vector<Request> out;
        for (const auto& c : IoControls())
            out.push_back({c.code, c.word0, c.word1});
        return out;
    }
};

} // namespace tapster::test
