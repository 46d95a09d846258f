#include "process_state.h"

#include "ops/commands.h"
#include "port/port_backend.h"
#include "port/port_permission.h"
#include "port/win_standin.h"

namespace tapster::test {

void ResetProcessState() {
    SetPortBackend(nullptr);
    win::standin::Reset();
    PermitAllPorts(false);
    ResetCommandState();
}

} // namespace tapster::test
