// Which real port stands for "the first parallel port" on this system (inside src/app only).
#pragma once

namespace tapster {

// "ppdev:/dev/parport0" on Linux, "direct" on Windows, "" where no real port backend exists.
const char* DefaultPortName();

} // namespace tapster
