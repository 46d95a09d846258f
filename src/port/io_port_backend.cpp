#include "port/io_port_backend.h"

#include "core/hex.h"

namespace tapster {

std::string IoPortBackend::Name() const {
    return base_ == kLptDataPort ? kind_ : std::string(kind_) + ":0x" + HexMin(base_, 3);
}

} // namespace tapster
