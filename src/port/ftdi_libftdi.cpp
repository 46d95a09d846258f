// The FTDI seam bound to libftdi1: one context per backend, opened on the channel asked for and
// switched to MPSSE mode with its buffers purged.
#include "port/ftdi_link.h"

#include <ftdi.h>

namespace tapster {

namespace {

class LibftdiLink final : public FtdiLink {
  public:
    ~LibftdiLink() override {
        Close();
        if (context_ != nullptr) ftdi_free(context_);
    }

    bool Open(const FtdiTarget& target, FtdiDevice& device) override {
        Close();
        if (context_ == nullptr) context_ = ftdi_new();
        if (context_ == nullptr) {
            error_ = "libftdi could not start (no USB access on this system?)";
            return false;
        }
        error_.clear();
        const auto channel = target.channel == 0 ? INTERFACE_A : INTERFACE_B;
        const char* serial = target.serial.empty() ? nullptr : target.serial.c_str();
        if (!Ok(ftdi_set_interface(context_, channel)) ||
            !Ok(ftdi_usb_open_desc_index(context_, target.vid, target.pid, nullptr, serial, 0)))
            return false;
        open_ = true;
        // Latency and the purge only matter until the first 0x87: each flush sends one.
        if (!Ok(ftdi_usb_reset(context_)) || !Ok(ftdi_set_latency_timer(context_, 1)) ||
            !Ok(ftdi_set_bitmode(context_, 0, BITMODE_RESET)) ||
            !Ok(ftdi_set_bitmode(context_, 0, BITMODE_MPSSE)) || !Ok(ftdi_tcioflush(context_))) {
            Close();
            return false;
        }
        device.description = context_->type == TYPE_232H    ? "FT232H"
                             : context_->type == TYPE_2232H ? "FT2232H"
                             : context_->type == TYPE_4232H ? "FT4232H"
                                                            : "FTDI chip";
        // The FT232H buffers 1 KiB each way, the FT2232H and FT4232H 4 KiB per channel.
        device.bufferSize = context_->type == TYPE_232H ? 1024 : 4096;
        return true;
    }

    int Write(const uint8_t* data, size_t size) override {
        if (!open_) return -1;
        const int n = ftdi_write_data(context_, data, static_cast<int>(size));
        if (n < 0) error_ = ftdi_get_error_string(context_);
        return n;
    }

    int Read(uint8_t* data, size_t size) override {
        if (!open_) return -1;
        const int n = ftdi_read_data(context_, data, static_cast<int>(size));
        if (n < 0) error_ = ftdi_get_error_string(context_);
        return n;
    }

    void Flush() override {
        if (open_) ftdi_tcioflush(context_);
    }

    void Close() override {
        if (!open_) return;
        ftdi_set_bitmode(context_, 0, BITMODE_RESET); // the pins go back to inputs
        ftdi_usb_close(context_);
        open_ = false;
    }

    std::string ErrorText() const override { return error_; }

  private:
    bool Ok(int rc) {
        if (rc < 0) error_ = ftdi_get_error_string(context_);
        return rc >= 0;
    }

    ftdi_context* context_ = nullptr;
    bool open_ = false;
    std::string error_;
};

} // namespace

std::unique_ptr<FtdiLink> MakeFtdiLink() {
    return std::make_unique<LibftdiLink>();
}

} // namespace tapster
