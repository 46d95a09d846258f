// tapcheck-cli-mpsse: tapcheck-cli linked with this FTDI binding in place of libftdi1, so that
// --port=ftdi runs the whole program on the MPSSE model with the simulated board on its pins.
// Whatever the model refuses is printed on stderr as it happens.
//   TAPSTER_MPSSE_UNPLUG_AFTER=N  the cable is pulled out after N command bytes
#include "board/board.h"
#include "jtag/tap_engine.h"
#include "mpsse_model.h"
#include "port/ftdi_link.h"

#include <cstdlib>

namespace tapster {

namespace {

// The board told the host's delay before every write, as the simulated port does.
struct BoardOnPins {
    class Pins final : public PortBackend {
      public:
        void WriteRegister(uint16_t port, uint8_t value) override {
            board_.NoteHostDelay(JtagDelay);
            board_.WriteRegister(port, value);
        }
        uint8_t ReadRegister(uint16_t port) override { return board_.ReadRegister(port); }
        std::string Name() const override { return board_.Name(); }

      private:
        board::Board board_{board::BoardConfig{}};
    } pins;
};

// The board comes first, so that it outlives the model on its pins.
class ModelOnBoard final : private BoardOnPins, public test::MpsseModel {
  public:
    ModelOnBoard() : MpsseModel(pins) {
        ReportTo(stderr);
        if (const char* after = std::getenv("TAPSTER_MPSSE_UNPLUG_AFTER"))
            UnplugAfter(std::strtoull(after, nullptr, 10));
    }
};

} // namespace

std::unique_ptr<FtdiLink> MakeFtdiLink() {
    return std::make_unique<ModelOnBoard>();
}

} // namespace tapster
