// Creates the port backend that the options name and puts it behind ReadPortByte/WritePortByte.
#include "app/backend_table.h"
#include "app/port_choice.h"
#include "app/simulated_port.h"
#include "app/startup.h"

namespace tapster {

namespace {

std::unique_ptr<PortBackend> CreateRealPort(const std::string& option, std::string& error) {
    const PortBackendRow* row = FindPortBackendRow(option);
    if (row == nullptr) {
        error = "unknown port '" + option + "' (expected " + PortUsages(false) + ")";
        return nullptr;
    }
    if (row->create == nullptr) {
        error = "--port=" + option + ": the " + std::string(row->prefix) +
                " port backend is not in this build (it exists on " + std::string(row->platforms) +
                ")";
        return nullptr;
    }
    const std::string argument =
        option.size() > row->prefix.size() ? option.substr(row->prefix.size() + 1) : "";
    if (option.size() > row->prefix.size() && argument.empty()) {
        error = "--port=" + option +
                " needs a value after the colon, e.g. --port=" + std::string(row->usage);
        return nullptr;
    }
    std::unique_ptr<PortBackend> backend = row->create(argument, error);
    if (!backend) error = "--port=" + option + ": " + error;
    return backend;
}

} // namespace

const char* DefaultPortName() {
#if defined(__linux__)
    return "ppdev:/dev/parport0";
#elif defined(TAPSTER_HAVE_NATIVE_PORT)
    return "direct";
#else
    return "";
#endif
}

std::unique_ptr<PortBackend> CreateBackend(const BackendOptions& options, std::string& error) {
    std::unique_ptr<PortBackend> backend;
    if (options.simulate) {
        backend = CreateSimulatedPort(options.preset, error);
    } else if (!options.port.empty()) {
        backend = CreateRealPort(options.port, error);
    } else if (*DefaultPortName() != '\0') {
        backend = CreateRealPort(DefaultPortName(), error);
    } else {
        error = "no parallel port backend on this system: use --simulate or "
                "--port=remote:HOST:PORT";
    }
    if (backend) SetPortBackend(backend.get());
    return backend;
}

} // namespace tapster
