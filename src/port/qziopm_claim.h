// The port claim through the qziopm permission driver: connect to the service manager, install
// and start the driver, open its device, permit both three-port ranges and activate the map. The
// way port instructions become legal on the NT family.
#pragma once

#include "port/lpt.h"

namespace tapster {

class QziopmClaim : public PortPermissionDriver {
  public:
    // Only a backend that executes port instructions itself (or none: the instructions are
    // executed in place) needs the driver; the simulated board and a remote server do not.
    bool Needed(const PortBackend* backend) const override;
    // Every step runs even after one has failed; the hint names the first failing step with its
    // result text, or the device's own account of a port it could not make usable.
    bool Claim(uint16_t first, uint16_t second, std::string& hint) override;
    // Revokes second then first, activates the map, closes the device, stops and removes the
    // driver and disconnects. Every step runs.
    bool Release(uint16_t first, uint16_t second) override;
};

} // namespace tapster
