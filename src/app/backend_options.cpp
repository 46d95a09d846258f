// The command-line options that choose the port backend, shared by the window and the CLI.
#include "app/port_choice.h"
#include "app/startup.h"

namespace tapster {

bool ParseBackendOptions(std::vector<std::string>& args, BackendOptions& options,
                         std::string& error) {
    std::vector<std::string> rest;
    bool seenSimulate = false;
    bool seenPort = false;
    for (const std::string& arg : args) {
        if (arg == "--simulate" || arg.rfind("--simulate=", 0) == 0) {
            if (seenSimulate) {
                error = "--simulate given twice";
                return false;
            }
            seenSimulate = true;
            options.simulate = true;
            if (arg.size() > 10) {
                options.preset = arg.substr(11);
                if (options.preset.empty()) {
                    error = "--simulate= needs a preset file (or use --simulate alone)";
                    return false;
                }
            }
        } else if (arg == "--port" || arg.rfind("--port=", 0) == 0) {
            if (seenPort) {
                error = "--port given twice";
                return false;
            }
            seenPort = true;
            options.port = arg.size() > 7 ? arg.substr(7) : std::string();
            if (options.port.empty()) {
                error = "--port needs a value: --port=ppdev:/dev/parportN, --port=direct, "
                        "--port=remote:HOST:PORT or --port=ftdi";
                return false;
            }
        } else {
            rest.push_back(arg);
        }
    }
    if (seenSimulate && seenPort) {
        error = "--simulate and --port exclude each other: choose the simulated board or a port";
        return false;
    }
    args = std::move(rest);
    return true;
}

std::string BackendOptionsHelp() {
    return "Port backend (one of):\n"
           "  --simulate                  the built-in simulated board (no hardware needed)\n"
           "  --simulate=PRESET.json      the simulated board configured by a preset file\n"
           "  --port=ppdev:/dev/parportN  a parallel port through Linux's ppdev driver\n"
           "  --port=direct               x86 port instructions at 0x378 (Linux: root or\n"
           "                              CAP_SYS_RAWIO; Windows: the permission driver)\n"
           "  --port=remote:HOST:PORT     a remote_bitbang JTAG server (e.g. tapcheck-board)\n"
#ifdef TAPSTER_HAVE_FTDI
           "  --port=ftdi[:VID:PID][,serial=S][,interface=A|B][,ctl=N][,oe=N]\n"
           "                              an FTDI FT2232H/FT232H cable in MPSSE mode (default\n"
           "                              0403:6010 then 0403:6014, interface A; TCK TDI TDO TMS\n"
           "                              on ADBUS0-3, the control line on ADBUS4 or ctl=4..7,\n"
           "                              oe=4..7 an output enable driven low)\n"
#else
           "  --port=ftdi                 (the FTDI cable is left out of Windows builds)\n"
#endif
           "  (none)                      the first real parallel port: " +
           std::string(DefaultPortName()) +
           "\n"
           "  The program never falls back to the simulated board on its own.\n";
}

} // namespace tapster
