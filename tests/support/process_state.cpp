#include "process_state.h"

#include "ops/commands.h"
#include "port/port_backend.h"
#include "standin/port_permission.h"
#include "standin/win_standin.h"

namespace tapster::test {

void ResetProcessState() {
    SetPortBackend(nullptr);
#ifndef _WIN32
    win::standin::Reset(); // the stand-in driver exists only outside Windows
#endif
    PermitAllPorts(false);
    ResetCommandState();
}

} // namespace tapster::test
