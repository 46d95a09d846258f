#include "app/ftdi_port.h"

#ifdef TAPSTER_HAVE_FTDI
#include "port/ftdi_backend.h"
#endif

namespace tapster {

bool IsFtdiOption(const std::string& option) {
    return option.rfind("ftdi", 0) == 0 &&
           (option.size() == 4 || option[4] == ':' || option[4] == ',');
}

std::unique_ptr<PortBackend> CreateFtdiPort(const std::string& option, std::string& error) {
#ifdef TAPSTER_HAVE_FTDI
    FtdiOptions options;
    if (!ParseFtdiOptions(option.substr(4), options, error)) return nullptr;
    return std::make_unique<FtdiBackend>(std::move(options), MakeFtdiLink());
#else
    (void)option;
    error = "the FTDI cable is not available in this build (Windows builds leave it out)";
    return nullptr;
#endif
}

} // namespace tapster
