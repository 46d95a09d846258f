// The FTDI seam where the build found no libftdi1: every open says so.
#include "port/ftdi_link.h"

namespace tapster {

namespace {

class MissingLibftdi final : public FtdiLink {
  public:
    bool Open(const FtdiTarget&, FtdiDevice&) override { return false; }
    int Write(const uint8_t*, size_t) override { return -1; }
    int Read(uint8_t*, size_t) override { return -1; }
    void Flush() override {}
    void Close() override {}
    std::string ErrorText() const override {
        return "this tapster was built without libftdi1 (install libftdi1-dev and build again)";
    }
};

} // namespace

std::unique_ptr<FtdiLink> MakeFtdiLink() {
    return std::make_unique<MissingLibftdi>();
}

} // namespace tapster
