// The text of tapcheck-cli --help.
#pragma once

#include "core/widget_store.h"

#include <string>

namespace tapster::cli {

// backendName: the backend the options chose ("simulated board", "ppdev:/dev/parport0"), or
// why none could be made.
std::string HelpText(const WidgetStore& window, const std::string& backendName);

} // namespace tapster::cli
