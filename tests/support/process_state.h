// One reset of every process-wide value a test can leave behind: the commands' and the layers'
// values under them, the port backend, the permission map and the stand-in permission driver.
#pragma once

namespace tapster::test {

void ResetProcessState();

} // namespace tapster::test
