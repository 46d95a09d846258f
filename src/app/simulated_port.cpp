#include "app/simulated_port.h"

#include "board/board.h"
#include "board/preset.h"
#include "board/trace_file.h"
#include "jtag/tap_engine.h"

namespace tapster {

namespace {

// The board cannot see how long TCK stays high, so it is told the delay the host runs with
// (the slider's position, JtagDelay) before every register write: every way the slider moves
// (the user, the hardware check's search) reaches it.
class SimulatedPort final : public PortBackend {
  public:
    SimulatedPort(board::BoardConfig config, std::string preset)
        : board(std::move(config)), preset(std::move(preset)) {}

    void WriteRegister(uint16_t port, uint8_t value) override {
        board.NoteHostDelay(JtagDelay);
        board.WriteRegister(port, value);
    }
    uint8_t ReadRegister(uint16_t port) override { return board.ReadRegister(port); }
    std::string Name() const override {
        return preset.empty() ? board.Name() : board.Name() + " (" + preset + ")";
    }

  private:
    board::Board board;
    std::string preset;
};

} // namespace

std::unique_ptr<PortBackend> CreateSimulatedPort(const std::string& preset, std::string& error) {
    board::BoardConfig config;
    if (!preset.empty() && !board::LoadPreset(preset, config, error)) {
        error = "cannot use the preset: " + error;
        return nullptr;
    }
    if (const std::string refused = board::TraceFile::Refused(config.core); !refused.empty()) {
        error = "cannot use the preset: " + preset + ": " + refused;
        return nullptr;
    }
    return std::make_unique<SimulatedPort>(std::move(config), preset);
}

} // namespace tapster
