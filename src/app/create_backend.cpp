// Creates the port backend that the options name and puts it behind ReadPortByte/WritePortByte.
#include "app/ftdi_port.h"
#include "app/native_port.h"
#include "app/port_choice.h"
#include "app/simulated_port.h"
#include "app/startup.h"
#include "port/direct_backend.h"
#include "port/ppdev_backend.h"
#include "port/remote_bitbang_backend.h"

namespace tapster {

namespace {

std::unique_ptr<PortBackend> CreateRealPort(const std::string& option, std::string& error) {
    if (option == "ppdev" || option.rfind("ppdev:", 0) == 0) {
#ifdef __linux__
        std::string device = option.size() > 6 ? option.substr(6) : std::string(kDefaultParport);
        if (device.empty()) {
            error = "--port=ppdev: needs a device, e.g. --port=ppdev:/dev/parport0";
            return nullptr;
        }
        return std::make_unique<PpdevBackend>(device);
#else
        error = "the ppdev port backend exists only on Linux";
        return nullptr;
#endif
    }
    if (option == "direct") {
#if defined(TAPSTER_HAVE_DIRECT_BACKEND)
        return std::make_unique<DirectBackend>();
#elif defined(TAPSTER_HAVE_NATIVE_PORT)
        return std::make_unique<NativePortBackend>();
#else
        error = "port instructions are not available on this system: the direct port backend "
                "needs an x86 processor under Linux or Windows";
        return nullptr;
#endif
    }
    if (option.rfind("remote:", 0) == 0) {
#ifdef TAPSTER_HAVE_REMOTE_BACKEND
        std::string host;
        uint16_t port = 0;
        if (!ParseRemoteAddress(option.substr(7), host, port, error)) {
            error = "--port=" + option + ": " + error;
            return nullptr;
        }
        return std::make_unique<RemoteBitbangBackend>(host, port);
#else
        error = "the remote_bitbang port backend is not available on this system";
        return nullptr;
#endif
    }
    if (IsFtdiOption(option)) return CreateFtdiPort(option, error);
    error = "unknown port '" + option +
            "' (expected ppdev:/dev/parportN, direct, remote:HOST:PORT or ftdi[:VID:PID])";
    return nullptr;
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
