// Common set-up of the JTAG unit's tests: a test window with its virtual clock, every port
// permitted (these tests sit below the port claim), every process-wide value back at its start
// value, and a backend installed behind the port registers.
#pragma once

#include "jtag/agent_calls.h"
#include "jtag/tap_engine.h"
#include "port/port_backend.h"
#include "process_state.h"
#include "standin/port_permission.h"
#include "test_form.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tapster::test {

class JtagTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProcessState();
        PermitAllPorts(true);
    }
    void TearDown() override { ResetProcessState(); }
    void Use(PortBackend& backend) { SetPortBackend(&backend); }
    // How many TAP resets the log shows.
    int ResetLines() const {
        return static_cast<int>(
            std::count(form.LogLines().begin(), form.LogLines().end(), "Reseting TAP ... Done."));
    }

    TestForm form;
};

} // namespace tapster::test
