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

namespace tapster::test {

class JtagTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProcessState();
        PermitAllPorts(true);
    }
    void TearDown() override { ResetProcessState(); }
    void Use(PortBackend& backend) { SetPortBackend(&backend); }

    TestForm form;
};

} // namespace tapster::test
