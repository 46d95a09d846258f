// The FTDI backend on the MPSSE model, with a recorder of register accesses on the model's pins.
#include "port/ftdi_backend.h"

#include "mpsse_model.h"

#include <gtest/gtest.h>
#include <vector>

namespace tapster::test {
namespace {

// What the target sees: every data-register write; TDO reads low.
class PinRecorder final : public PortBackend {
  public:
    void WriteRegister(uint16_t, uint8_t value) override { writes.push_back(value); }
    uint8_t ReadRegister(uint16_t) override { return 0x6F; }
    std::string Name() const override { return "pins"; }

    std::vector<uint8_t> writes;
};

struct Rig {
    explicit Rig(FtdiOptions options = {}, size_t buffer = 4096) {
        auto owned = std::make_unique<MpsseModel>(pins, options.ctlPin, 0x0403,
                                                  options.ids[0].second, buffer);
        model = owned.get();
        backend = std::make_unique<FtdiBackend>(options, std::move(owned), 50);
    }
    PinRecorder pins;
    MpsseModel* model;
    std::unique_ptr<FtdiBackend> backend;
};

TEST(FtdiOptions, ParsesEachFieldAndRefusesTheRest) {
    struct Row {
        const char* text;
        bool ok;
        uint16_t pid = 0;
        int channel = 0, ctl = 0, oe = 0;
    };
    for (const Row& row :
         {Row{"", true, 0x6010, 0, 4, -1}, Row{"0403:6014", true, 0x6014, 0, 4, -1},
          Row{"interface=B,ctl=5,oe=4", true, 0x6010, 1, 5, 4},
          Row{"0403:6010,serial=FT1X", true, 0x6010, 0, 4, -1}, Row{"0403", false},
          Row{"zz:6010", false}, Row{"ctl=3", false}, Row{"oe=4,ctl=4", false},
          Row{"interface=C", false}, Row{"speed=1", false}, Row{"0403:6010,", false}}) {
        FtdiOptions options;
        std::string error;
        ASSERT_EQ(ParseFtdiOptions(row.text, options, error), row.ok) << row.text;
        if (!row.ok) continue;
        EXPECT_EQ(options.ids.size(), row.text[0] == '0' ? 1u : 2u) << row.text;
        EXPECT_EQ(options.ids[0].second, row.pid) << row.text;
        EXPECT_EQ(options.channel, row.channel) << row.text;
        EXPECT_EQ(options.ctlPin, row.ctl) << row.text;
        EXPECT_EQ(options.oePin, row.oe) << row.text;
    }
}

// ctl= moves the control line (the model reads it there); the data register's other bits stay
// off the pins.
TEST(FtdiBackend, CtlMovesTheControlLine) {
    FtdiOptions options;
    std::string error;
    ASSERT_TRUE(ParseFtdiOptions("ctl=6,oe=7", options, error));
    Rig rig(options, 1024);
    ASSERT_TRUE(rig.backend->Acquire(error)) << error;
    rig.backend->WriteRegister(0x378, 0x08);
    rig.backend->WriteRegister(0x378, 0xF7);
    rig.backend->Flush();
    EXPECT_EQ(rig.pins.writes, std::vector<uint8_t>({0x08, 0x07}));
    EXPECT_EQ(rig.model->Refusals(), std::vector<std::string>{});
    EXPECT_NE(rig.backend->Name().find("0403:6010 FT232H interface A"), std::string::npos);
}

// A chip that never answers the MPSSE check (the CLI's tests cover no chip and one pulled out).
TEST(FtdiBackend, ASilentChipFailsTheClaimWithinTheTimeLimit) {
    Rig silent;
    silent.model->UnplugAfter(1);
    std::string error;
    EXPECT_FALSE(silent.backend->Acquire(error));
    EXPECT_NE(error.find("did not answer the MPSSE check"), std::string::npos) << error;
}

// The model refuses what a real chip would not take.
TEST(MpsseModel, RefusesWhatARealChipWouldNotTake) {
    PinRecorder pins;
    MpsseModel model(pins, 4, 0x0403, 0x6014, 1024);
    FtdiDevice device;
    ASSERT_TRUE(model.Open({0x0403, 0x6014, "", 0}, device));
    std::vector<uint8_t> bytes(1025, 0x85);                // too long
    bytes.insert(bytes.begin(), {0x80, 0x00, 0x0F, 0x81}); // drives TDO; a read not pushed
    uint8_t answer[4];
    model.Write(bytes.data(), bytes.size());
    EXPECT_EQ(model.Read(answer, 1), 0) << "no 0x87 yet";
    bytes = {0x87, 0xAB, 0x87};
    model.Write(bytes.data(), bytes.size());
    ASSERT_EQ(model.Read(answer, 3), 3);
    EXPECT_EQ(answer[1], 0xFA);
    EXPECT_EQ(answer[2], 0xAB);
    ASSERT_EQ(model.Refusals().size(), 3u);
    EXPECT_NE(model.Refusals()[0].find("more than the chip's buffer"), std::string::npos);
    EXPECT_NE(model.Refusals()[1].find("drives TDO"), std::string::npos);
    EXPECT_NE(model.Refusals()[2].find("0x87 sent 0"), std::string::npos);
}

} // namespace
} // namespace tapster::test
