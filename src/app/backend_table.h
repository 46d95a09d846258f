// The kinds of port backend --port= can name: one row each. The factory, the --help lines, the
// error texts and the README's port table all come from these rows.
#pragma once

#include "port/port_backend.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tapster {

// Creates a backend from the text after "PREFIX:" ("" when the option is the prefix alone; never
// empty after a colon). Null with a message for the user when the text is not one it takes.
using PortFactory = std::unique_ptr<PortBackend> (*)(const std::string& argument,
                                                     std::string& error);

struct PortBackendRow {
    std::string_view prefix;    // what --port= starts with: "ppdev"
    std::string_view usage;     // the option as --help shows it: "ppdev:/dev/parportN"
    std::string_view help;      // what it is, in one sentence
    std::string_view platforms; // where the backend exists: "Linux"
    PortFactory create;         // null where this build has no such backend
};

// Every row, in the order --help lists them; rows this build lacks have no factory.
std::span<const PortBackendRow> PortBackendRows();

// The row whose prefix begins `option` (the prefix alone or followed by ':'); null for none.
const PortBackendRow* FindPortBackendRow(const std::string& option);

// "ppdev:/dev/parportN, direct or remote:HOST:PORT" (with "--port=" before each when asked).
std::string PortUsages(bool withOption);

} // namespace tapster
