// tapcheck-cli-mpsse: tapcheck-cli linked with this FTDI binding in place of libftdi1, so that
// --port=ftdi runs the whole program on the MPSSE model with the simulated board on its pins.
// Whatever the model refuses is printed on stderr as it happens.
//   TAPSTER_MPSSE_UNPLUG_AFTER=N  the cable is pulled out after N command bytes
#include "board/board.h"
#include "jtag/tap_engine.h"
#include "mpsse_model.h"
#include "port/ftdi_link.h"

#include <cstdio>
#include <cstdlib>

namespace tapster {

namespace {

// The board told the host's delay before every write, as the simulated port does.
class BoardOnPins final : public PortBackend {
  public:
    void WriteRegister(uint16_t port, uint8_t value) override {
        board_.NoteHostDelay(JtagDelay);
        board_.WriteRegister(port, value);
    }
    uint8_t ReadRegister(uint16_t port) override { return board_.ReadRegister(port); }
    std::string Name() const override { return board_.Name(); }

  private:
    board::Board board_{board::BoardConfig{}};
};

class ModelLink final : public FtdiLink {
  public:
    ModelLink() {
        if (const char* after = std::getenv("TAPSTER_MPSSE_UNPLUG_AFTER"))
            model_.UnplugAfter(std::strtoull(after, nullptr, 10));
    }
    bool Open(const FtdiTarget& target, FtdiDevice& device) override {
        return Report(model_.Open(target, device));
    }
    int Write(const uint8_t* data, size_t size) override {
        return Report(model_.Write(data, size));
    }
    int Read(uint8_t* data, size_t size) override { return Report(model_.Read(data, size)); }
    void Flush() override { model_.Flush(); }
    void Close() override { model_.Close(); }
    std::string ErrorText() const override { return model_.ErrorText(); }

  private:
    template <typename T> T Report(T result) {
        for (; reported_ < model_.Refusals().size(); ++reported_)
            std::fprintf(stderr, "mpsse model refuses: %s\n", model_.Refusals()[reported_].c_str());
        return result;
    }

    BoardOnPins pins_;
    test::MpsseModel model_{pins_};
    size_t reported_ = 0;
};

} // namespace

std::unique_ptr<FtdiLink> MakeFtdiLink() {
    return std::make_unique<ModelLink>();
}

} // namespace tapster
