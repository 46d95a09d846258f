#include "port/port_backend.h"

namespace tapster {

namespace {
PortBackend* activeBackend = nullptr;
}

void SetPortBackend(PortBackend* backend) {
    activeBackend = backend;
}
PortBackend* GetPortBackend() {
    return activeBackend;
}

} // namespace tapster
