// The FTDI backend on the MPSSE model, with a recorder of register accesses on the model's pins.
#include "port/ftdi_backend.h"

#ifdef TAPSTER_HAVE_FTDI

#include "mpsse_model.h"

#include <chrono>
#include <gtest/gtest.h>
#include <vector>

namespace tapster::test {
namespace {

// What the target sees: every data-register write; the status reads answer TDO from `tdo`.
class PinRecorder final : public PortBackend {
  public:
    void WriteRegister(uint16_t, uint8_t value) override { writes.push_back(value); }
    uint8_t ReadRegister(uint16_t) override {
        const bool high = next < tdo.size() && tdo[next] == '1';
        ++next;
        return high ? 0x7F : 0x6F;
    }
    std::string Name() const override { return "pins"; }

    std::vector<uint8_t> writes;
    std::string tdo;
    size_t next = 0;
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
         {Row{"", true, 0x6010, 0, 4, -1}, Row{":0403:6014", true, 0x6014, 0, 4, -1},
          Row{",interface=B,ctl=5,oe=4", true, 0x6010, 1, 5, 4},
          Row{":0403:6010,serial=FT1X", true, 0x6010, 0, 4, -1}, Row{":0403", false},
          Row{":zz:6010", false}, Row{",ctl=3", false}, Row{",oe=4,ctl=4", false},
          Row{",interface=C", false}, Row{",speed=1", false}, Row{"x", false}}) {
        FtdiOptions options;
        std::string error;
        ASSERT_EQ(ParseFtdiOptions(row.text, options, error), row.ok) << row.text;
        if (!row.ok) {
            EXPECT_EQ(error.rfind("--port=ftdi", 0), 0u) << error;
            continue;
        }
        EXPECT_EQ(options.ids.size(), row.text[0] == ':' ? 1u : 2u) << row.text;
        EXPECT_EQ(options.ids[0].second, row.pid) << row.text;
        EXPECT_EQ(options.channel, row.channel) << row.text;
        EXPECT_EQ(options.ctlPin, row.ctl) << row.text;
        EXPECT_EQ(options.oePin, row.oe) << row.text;
    }
}

// Each line of the data register reaches its pin and back; the ADBUS byte moves ctl and oe.
TEST(FtdiBackend, PinsReachTheTargetAndTdoComesBackInQueueOrder) {
    FtdiOptions options;
    std::string error;
    ASSERT_TRUE(ParseFtdiOptions(",ctl=6,oe=7", options, error));
    Rig rig(options, 1024);
    ASSERT_TRUE(rig.backend->Acquire(error)) << error;
    rig.pins.tdo = "0110";
    const uint8_t levels[] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x0F, 0xF0};
    for (uint8_t level : levels)
        rig.backend->WriteRegister(0x378, level);
    for (int i = 0; i < 3; ++i)
        rig.backend->QueueSample(0x379);
    rig.backend->WriteRegister(0x37A, 0xFF); // not the data register: nothing
    EXPECT_EQ(rig.backend->ReadRegister(0x379), 0x6F) << "the fourth read, after the queued";
    EXPECT_EQ(rig.backend->ReadSample(), 0x6F);
    EXPECT_EQ(rig.backend->ReadSample(), 0x7F);
    EXPECT_EQ(rig.backend->ReadSample(), 0x7F);
    EXPECT_EQ(rig.backend->RoundTrips(), 1u);
    EXPECT_EQ(rig.pins.writes, std::vector<uint8_t>({0x00, 0x01, 0x02, 0x04, 0x08, 0x0F, 0x00}));
    EXPECT_EQ(rig.model->Refusals(), std::vector<std::string>{});
    EXPECT_NE(rig.backend->Name().find("0403:6010 FT232H interface A"), std::string::npos);
}

// Long runs go out in pieces the chip can take, and the answers no more than it holds.
TEST(FtdiBackend, LongRunsStayWithinTheChipsBuffers) {
    Rig rig({}, 1024);
    std::string error;
    ASSERT_TRUE(rig.backend->Acquire(error)) << error;
    for (size_t i = 0; i < 10 * FtdiBackend::kOutstanding; ++i) {
        if (i >= FtdiBackend::kOutstanding) rig.backend->ReadSample();
        rig.backend->QueueSample(0x379);
        rig.backend->WriteRegister(0x378, 0x02);
        rig.backend->WriteRegister(0x378, 0x00);
    }
    rig.backend->Flush();
    EXPECT_EQ(rig.pins.writes.size(), 20 * FtdiBackend::kOutstanding);
    EXPECT_EQ(rig.model->Refusals(), std::vector<std::string>{});
    EXPECT_FALSE(rig.backend->Lost());
}

// No chip, a chip that never answers, a chip pulled out: a message, a bounded wait, TDO high.
TEST(FtdiBackend, MissingSilentOrUnpluggedChipsEndBoundedWithAMessage) {
    std::string error;
    Rig absent;
    absent.model->SetPresent(false);
    EXPECT_FALSE(absent.backend->Acquire(error));
    for (const char* part : {"0403:6010 and 0403:6014", "udev", "plugdev", "device not found"})
        EXPECT_NE(error.find(part), std::string::npos) << part << " in " << error;

    Rig silent;
    silent.model->UnplugAfter(1);
    EXPECT_FALSE(silent.backend->Acquire(error));
    EXPECT_NE(error.find("did not answer the MPSSE check"), std::string::npos) << error;

    Rig pulled;
    ASSERT_TRUE(pulled.backend->Acquire(error)) << error;
    pulled.model->UnplugAfter(30);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) {
        pulled.backend->QueueSample(0x379);
        pulled.backend->WriteRegister(0x378, 0x02);
    }
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(pulled.backend->ReadSample(), 0x7F);
    EXPECT_TRUE(pulled.backend->Lost());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(pulled.backend->LostMessage().find("stopped answering"), std::string::npos);
    EXPECT_FALSE(pulled.backend->Acquire(error)) << "an unplugged chip cannot be opened again";
}

// The model refuses what a real chip would not take.
TEST(MpsseModel, RefusesWhatARealChipWouldNotTake) {
    PinRecorder pins;
    MpsseModel model(pins, 4, 0x0403, 0x6014, 1024);
    FtdiDevice device;
    ASSERT_TRUE(model.Open({0x0403, 0x6014, "", 0}, device));
    const std::vector<uint8_t> drivesTdo = {0x80, 0x00, 0x0F};
    const std::vector<uint8_t> tooLong(1025, 0x85);
    const std::vector<uint8_t> notPushed = {0x81};
    uint8_t answer[4];
    model.Write(drivesTdo.data(), drivesTdo.size());
    model.Write(tooLong.data(), tooLong.size());
    model.Write(notPushed.data(), notPushed.size());
    EXPECT_EQ(model.Read(answer, 1), 0) << "no 0x87 yet";
    const std::vector<uint8_t> bad = {0x87, 0xAB, 0x87};
    model.Write(bad.data(), bad.size());
    ASSERT_EQ(model.Read(answer, 3), 3);
    EXPECT_EQ(answer[1], 0xFA);
    EXPECT_EQ(answer[2], 0xAB);
    ASSERT_EQ(model.Refusals().size(), 3u);
    EXPECT_NE(model.Refusals()[0].find("drives TDO"), std::string::npos);
    EXPECT_NE(model.Refusals()[1].find("more than the chip's buffer"), std::string::npos);
    EXPECT_NE(model.Refusals()[2].find("0x87 sent 0"), std::string::npos);
}

} // namespace
} // namespace tapster::test

#endif
