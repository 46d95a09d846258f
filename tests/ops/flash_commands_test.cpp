// The flash commands on the simulated board, through the agent taken into BRK_TRAP_HIGH.
#include "board_session.h"
#include "core/hex.h"
#include "port/platform.h"

#include <functional>
#include <utility>

namespace tapster::test {
namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kBase = 0x7FE00000;
const std::string kBanner1 = "******** Canceled by user or timeout exceeded *********";
const std::string kBanner2 = "******** Operation terminated !!! *********";

// The host's reads of the agent's command word (every poll of an agent wait, the first one
// included), and how many of them came while the window was in busy mode.
class PollWatch : public board::LinkObserver {
  public:
    PollWatch(uint32_t word, std::function<bool()> busy) : word_(word), busy_(std::move(busy)) {}
    void BeforeRead(uint32_t address, uint32_t length) override {
        if (address > word_ || uint64_t{address} + length < uint64_t{word_} + 4) return;
        ++polls;
        busyPolls += busy_() ? 1 : 0;
    }
    int polls = 0;
    int busyPolls = 0;

  private:
    uint32_t word_;
    std::function<bool()> busy_;
};

class FlashTest : public BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        form.SetVisible("ProgressBar1", false); // as the window's start-up leaves it
    }

    bool Busy() { return !form.Enabled("Panel5") && form.Visible("cmdCancel"); }
    PollWatch watch{kMailbox, [this] { return Busy(); }}; // outlives the board (TearDown)

    void StartWithAgent(board::BoardConfig config = {}) {
        Start(std::move(config));
        ASSERT_TRUE(TakeAgent());
        link->Clear();
    }

    bool Idle() {
        return form.Enabled("Panel5") && form.Enabled("Panel1") && !form.Visible("cmdCancel") &&
               !form.Visible("ProgressBar1") && !form.Visible("lblAdr");
    }

    // The lines logged from the first line equal to `first` on.
    Lines LogFromLine(const std::string& first) const {
        const auto& all = form.LogLines();
        auto it = std::find(all.begin(), all.end(), first);
        return Lines(it, all.end());
    }

    size_t RamCopies(uint32_t mailbox) const {
        return link->WritesWithin(mailbox + 28, mailbox + 28 + 4096);
    }

    // Presses "Abort !" with `answer` once, at the first wait of the chunk at `address`.
    void AbortDuringChunk(uint32_t address, bool answer) {
        form.yesNoAnswers.push_back(answer);
        form.onEvent = [this, address, pressed = false](int) mutable {
            if (pressed || !form.Logged("Writing flash addr " + Hex8(address)) ||
                form.LastLogLine().rfind("Waiting for release ...", 0) != 0)
                return;
            pressed = true;
            EXPECT_TRUE(form.Visible("cmdCancel"));
            cmdCancelClick();
        };
    }
};

// --- Field tests ----------------------------------------------------------------------------

TEST_F(FlashTest, CheckAndClearChipRefuseOnlyABaseWhoseLow32BitsAreZero) {
    StartWithAgent();
    for (const char* text : {"", "0", "100000000"}) {
        form.SetText("lstFlashBase", text);
        form.errorBoxes.clear();
        cmdGetDevCodeClick();
        cmdChipEraseClick();
        EXPECT_EQ(form.errorBoxes,
                  (Lines{"Wrong Flash address value !!!", "Wrong Flash address value !!!"}))
            << text;
    }
    EXPECT_TRUE(link->writes.empty());

    // A bad character reads as FFFFFFFF and passes.
    form.SetText("lstFlashBase", "7FE0000G");
    form.errorBoxes.clear();
    form.warningAnswers.push_back(false);
    cmdChipEraseClick();
    EXPECT_EQ(form.questions, (Lines{"Now ALL flash data will be erased !!!\n\rContinue ?"}));
    cmdGetDevCodeClick();
    EXPECT_TRUE(form.errorBoxes.empty());
    EXPECT_EQ(link->WordsTo(kMailbox + 16), (std::vector<uint32_t>{0xFFFFFFFF}));
    EXPECT_TRUE(Idle());
}

TEST_F(FlashTest, SectorCommandsNeedBlockAndBaseWithTheBlockNotBelowTheBase) {
    StartWithAgent();
    const std::string box = "Wrong Flash or Block address value !!!";
    struct Case {
        const char* block;
        const char* base;
    } refused[] = {{"", "7FE00000"},
                   {"7FE1000G", "7FE00000"},
                   {"7FE10000", ""},
                   {"7FE10000", "7FE0000G"},
                   {"7FDFFFFF", "7FE00000"}};
    for (const Case& c : refused) {
        form.SetText("txtBlkBase", c.block);
        form.SetText("lstFlashBase", c.base);
        form.errorBoxes.clear();
        cmdProtectClick();
        cmdBlkEraseClick();
        EXPECT_EQ(form.errorBoxes, (Lines{box, box})) << c.block << " " << c.base;
    }
    EXPECT_TRUE(form.questions.empty());
    EXPECT_TRUE(link->writes.empty());

    form.SetText("txtBlkBase", "7FE00000"); // equal to the base
    form.SetText("lstFlashBase", "7FE00000");
    form.errorBoxes.clear();
    cmdProtectClick();
    EXPECT_TRUE(form.errorBoxes.empty());
    EXPECT_TRUE(form.Logged("Block 7FE00000 protection status = 0"));
    EXPECT_TRUE(Idle());
}

TEST_F(FlashTest, LengthAndFromAddressTests) {
    StartWithAgent();
    form.SetText("txtFromAddr", "7FE00000");
    for (const char* len : {"", "0", "20000G", "200001"}) {
        form.SetText("txtFlashLen", len);
        form.errorBoxes.clear();
        cmdWriteFlashClick();
        cmdReadToFileClick();
        EXPECT_EQ(form.errorBoxes,
                  (Lines{"Wrong Data length value !!!", "Wrong Data length value !!!"}))
            << len;
    }
    form.SetText("txtFlashLen", "200000"); // the largest length: goes on to the file dialog
    for (const char* from : {"", "7FE0000G"}) {
        form.SetText("txtFromAddr", from);
        form.errorBoxes.clear();
        cmdWriteFlashClick();
        cmdReadToFileClick();
        EXPECT_EQ(form.errorBoxes,
                  (Lines{"Wrong Flash or From address value !!!", "Wrong From address value !!!"}))
            << from;
    }
    form.SetText("txtFromAddr", "7FDFFFFF"); // below the flash base: only the write refuses
    form.errorBoxes.clear();
    form.files.push_back("");
    cmdWriteFlashClick();
    cmdReadToFileClick();
    EXPECT_EQ(form.errorBoxes, (Lines{"Wrong Flash or From address value !!!"}));
    EXPECT_TRUE(form.files.empty());

    form.SetText("txtFromAddr", "7FE00000"); // equal to the base; the dialog is cancelled
    form.errorBoxes.clear();
    form.files.push_back("");
    cmdWriteFlashClick();
    EXPECT_TRUE(form.errorBoxes.empty());
    EXPECT_TRUE(form.files.empty());
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(link->reads.empty());
    EXPECT_TRUE(Idle());
}

TEST_F(FlashTest, WithNoMailboxTheAgentCommandsRefuseInsteadOfWaiting) {
    Start();
    form.SetText("txtBlkBase", "7FE00000");
    form.SetText("txtFromAddr", "7FE00000");
    form.SetText("txtFlashLen", "100");
    cmdGetDevCodeClick();
    cmdChipEraseClick();
    cmdBlkEraseClick();
    cmdProtectClick();
    cmdWriteFlashClick();
    ASSERT_EQ(form.errorBoxes.size(), 5u);
    for (const std::string& box : form.errorBoxes)
        EXPECT_NE(box.find("Take Trap"), std::string::npos) << box;
    EXPECT_TRUE(form.questions.empty());
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(link->reads.empty());
    EXPECT_TRUE(Idle());
}

// --- Busy mode and the claim ----------------------------------------------------------------

// A window that notes, at each error box, whether it was in busy mode.
struct BusyAtBoxForm : TestForm {
    void ErrorBox(const std::string& text) override {
        busyAtBox.push_back(!Enabled("Panel5") && Visible("cmdCancel"));
        TestForm::ErrorBox(text);
    }
    std::vector<bool> busyAtBox;
};

// Each flash command enters busy mode at its own point: "Check" and "Block Protect Status" only
// after a successful claim, the others before claiming (and they leave it again on a failure).
TEST_F(FlashTest, AFailedClaimEndsEachCommandInItsOwnBusyState) {
    StartWithAgent();
    const std::string image = WriteFile("image.bin", 0x1000);
    win::standin::FailCall("OpenSCManagerA", 5);
    {
        BusyAtBoxForm probe; // the window the commands now talk to
        probe.SetVisible("ProgressBar1", false);
        probe.SetText("txtBlkBase", "7FE00000");
        probe.SetText("txtFromAddr", "7FE00000");
        probe.SetText("txtFlashLen", "1000");
        probe.warningAnswers = {true, true, true};
        probe.files = {image, (dir / "dump.bin").string()};
        for (void (*command)() : {&cmdGetDevCodeClick, &cmdChipEraseClick, &cmdBlkEraseClick,
                                  &cmdProtectClick, &cmdWriteFlashClick, &cmdReadToFileClick}) {
            command();
            EXPECT_TRUE(probe.Enabled("Panel5") && !probe.Visible("cmdCancel"));
        }
        EXPECT_EQ(probe.errorBoxes, Lines(6, "The parallel port could not be opened"));
        EXPECT_EQ(probe.busyAtBox, (std::vector<bool>{false, true, true, false, true, true}));
        EXPECT_EQ(probe.questions.size(), 3u);
        EXPECT_TRUE(probe.files.empty());
        for (const std::string& line : probe.LogLines())
            EXPECT_NE(line, "Initializing JTAG ...");
    }
    frmMain = &form;
    platform::SetClock(&form.clock);
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(link->reads.empty());
}

// With the claim made: busy from the JTAG initialisation on, except "Check", which initialises
// the chain first; busy through every agent wait, at each of its polls (the executed agent often
// answers an identify or a protection status at the first, so such a wait lets no event in);
// idle afterwards.
TEST_F(FlashTest, BusyModeBracketsTheWorkOfEachCommand) {
    StartWithAgent();
    board->AddObserver(&watch);
    const std::string image = WriteFile("image.bin", 0x1000);
    form.SetText("txtBlkBase", "7FE10000");
    form.SetText("txtFromAddr", "7FE10000");
    form.SetText("txtFlashLen", "1000");
    struct Case {
        const char* name;
        void (*command)();
        bool busyInInit;
        bool callsAgent;
    } cases[] = {{"Check", &cmdGetDevCodeClick, false, true},
                 {"Clear Chip", &cmdChipEraseClick, true, true},
                 {"Clear Sector", &cmdBlkEraseClick, true, true},
                 {"Block Protect Status", &cmdProtectClick, true, true},
                 {"Write from File", &cmdWriteFlashClick, true, true},
                 {"Read to File", &cmdReadToFileClick, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.warningAnswers = {true};
        form.files = {c.command == &cmdReadToFileClick ? (dir / "dump.bin").string() : image};
        int initEvents = 0, busyInitEvents = 0, laterEvents = 0, busyLaterEvents = 0;
        bool initDone = false;
        const size_t mark = Mark();
        watch.polls = watch.busyPolls = 0;
        form.onEvent = [&](int) {
            const bool busy = Busy();
            const std::vector<std::string> log = form.LogFrom(mark);
            initDone = initDone || std::count(log.begin(), log.end(), kTapReset) >= 2;
            (initDone ? laterEvents : initEvents)++;
            (initDone ? busyLaterEvents : busyInitEvents) += busy ? 1 : 0;
        };
        c.command();
        form.onEvent = nullptr;
        EXPECT_GT(initEvents, 0);
        EXPECT_EQ(busyInitEvents, c.busyInInit ? initEvents : 0);
        EXPECT_EQ(busyLaterEvents, laterEvents);
        EXPECT_GT(c.callsAgent ? watch.polls : laterEvents, 0);
        EXPECT_EQ(watch.busyPolls, watch.polls);
        EXPECT_TRUE(Idle());
        EXPECT_EQ(form.LogLines().back(), kTapReset);
    }
    EXPECT_TRUE(form.errorBoxes.empty());
}

// --- Identify, protection, erase ------------------------------------------------------------

// (Busy mode while the agent is waited for: BusyModeBracketsTheWorkOfEachCommand.)
TEST_F(FlashTest, CheckShowsTheCodesWithFourDigits) {
    StartWithAgent();
    const size_t mark = Mark();
    cmdGetDevCodeClick();
    const Lines log = form.LogFrom(mark);
    ASSERT_GE(log.size(), 9u);
    EXPECT_EQ(Lines(log.begin(), log.begin() + 5), kInitLines);
    EXPECT_EQ(log[5].rfind("Waiting for release ...", 0), 0u);
    EXPECT_EQ(Lines(log.end() - 3, log.end()),
              (Lines{"Flash DEVICE CODE 2249", "Flash Manufacturer CODE 0001", kTapReset}));
    EXPECT_EQ(form.Text("lblFlashCode"), "Flash IDCODE 0001.2249");
    EXPECT_TRUE(form.Visible("lblFlashCode"));
    // The agent was prepared: command word and control register cleared before the call.
    EXPECT_EQ(link->writes.at(0).address, kMailbox);
    EXPECT_EQ(link->writes.at(1).address, 0x3004u);
    EXPECT_TRUE(Idle());
}

TEST_F(FlashTest, ProtectionStatusOfAProtectedSector) {
    board::BoardConfig config;
    config.flash.protectedSectors = {0x10000};
    StartWithAgent(config);
    form.SetText("txtBlkBase", "7FE10000");
    cmdProtectClick();
    EXPECT_TRUE(form.Logged("Block 7FE10000 protection status = 1"));
}

TEST_F(FlashTest, WriteReadBackAndEraseChip) {
    // At this base the internal ROM hides the chip's last 128 KiB; the agent's chip erase is the
    // chip's own, which clears them too.
    StartWithAgent();
    for (uint32_t length : {0x1800u, 0x3000u, 0x1235u}) {
        SCOPED_TRACE(length);
        const uint32_t from =
            kBase + 0x20000 + (length == 0x3000 ? 0x10000 : 0) + (length == 0x1235 ? 0x20000 : 0);
        const std::string file =
            WriteFile("image.bin", length + 0x300, static_cast<uint8_t>(length));
        const Bytes source = ReadFileBytes(file);
        const size_t mark = Mark();
        WriteFlashAt(file, from, length);

        Lines chunkLines;
        for (const std::string& line : form.LogFrom(mark))
            if (line.rfind("Writing flash addr ", 0) == 0) chunkLines.push_back(line);
        Lines expectedChunks;
        for (uint32_t o = 0; o < length; o += 0x1000)
            expectedChunks.push_back("Writing flash addr " + Hex8(from + o));
        EXPECT_EQ(chunkLines, expectedChunks);
        EXPECT_EQ(form.LogLines()[form.LogLines().size() - 2], "Done.");
        EXPECT_EQ(form.Maximum("ProgressBar1"), static_cast<int>(length));
        EXPECT_EQ(form.Position("ProgressBar1"), 0);
        EXPECT_TRUE(Idle());

        const Bytes back = ReadToFile(from, length);
        ASSERT_GE(back.size(), length);
        EXPECT_EQ(Bytes(back.begin(), back.begin() + length),
                  Bytes(source.begin(), source.begin() + length));
        // Nothing past the length was programmed.
        for (size_t i = length; i < back.size(); ++i)
            ASSERT_EQ(back[i], 0xFF) << i;
    }
    EXPECT_TRUE(form.errorBoxes.empty());

    form.warningAnswers.push_back(true);
    cmdChipEraseClick();
    EXPECT_EQ(LogFromLine("Erasing flash, start addr 7FE00000").back(), kTapReset);
    EXPECT_EQ(form.LogLines()[form.LogLines().size() - 2], "Done.");
    // The internal ROM at 0x7FFE0000 hides the chip's last 128 KiB from the bus.
    for (uint32_t a = 0; a < 0x1E0000; ++a)
        ASSERT_EQ(board->Bus().Read8(kBase + a), 0xFF) << std::hex << a;
    EXPECT_EQ(ReadToFile(kBase + 0x30000, 0x3000), Bytes(0x3000, 0xFF));
}

TEST_F(FlashTest, ClearSectorErasesOnlyItsSector) {
    StartWithAgent();
    const std::string file = WriteFile("image.bin", 0x2000);
    WriteFlashAt(file, kBase + 0x1F000, 0x2000); // across the 64 KiB sectors at 0x10000/0x20000
    form.SetText("txtBlkBase", "7FE20000");
    form.warningAnswers.push_back(true);
    cmdBlkEraseClick();
    EXPECT_EQ(form.questions.back(), "Now Block data will be erased !!!\n\rContinue ?");
    EXPECT_TRUE(form.Logged("Erasing block, addr 7FE20000"));
    EXPECT_EQ(form.LogLines()[form.LogLines().size() - 2], "Done.");
    EXPECT_EQ(board->Bus().Read8(kBase + 0x1F000), Pattern(0, 0x11));
    EXPECT_EQ(board->Bus().Read8(kBase + 0x20000), 0xFF);
    EXPECT_TRUE(Idle());
}

TEST_F(FlashTest, AnswersOfCancelChangeNothing) {
    StartWithAgent();
    const std::string file = WriteFile("image.bin", 0x1000);
    form.SetText("txtFromAddr", "7FE00000");
    form.SetText("txtFlashLen", "1000");
    form.SetText("txtBlkBase", "7FE00000");
    form.files.push_back("");
    cmdWriteFlashClick();
    form.files.push_back(file);
    form.warningAnswers = {false, false, false};
    cmdWriteFlashClick();
    cmdChipEraseClick();
    cmdBlkEraseClick();
    EXPECT_EQ(form.questions.size(), 3u);
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(Idle());
}

// --- Files ----------------------------------------------------------------------------------

TEST_F(FlashTest, WriteRefusesAFileItCannotReadOrThatIsTooShort) {
    StartWithAgent();
    const std::string missing = (dir / "missing.bin").string();
    const std::string shortFile = WriteFile("short.bin", 0x17FF);
    for (const std::string& file : {missing, shortFile}) {
        form.errorBoxes.clear();
        form.SetText("txtFromAddr", "7FE00000");
        form.SetText("txtFlashLen", "1800");
        form.files.push_back(file);
        cmdWriteFlashClick();
        ASSERT_EQ(form.errorBoxes.size(), 1u);
        EXPECT_NE(form.errorBoxes[0].find(file), std::string::npos) << form.errorBoxes[0];
    }
    EXPECT_TRUE(form.questions.empty());
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(Idle());
}

TEST_F(FlashTest, ReadToFileWritesTheLengthAskedForAndReplacesTheFile) {
    Start();                                              // no agent needed
    const std::string path = WriteFile("dump.bin", 9000); // an older, longer file
    EXPECT_EQ(ReadToFile(0x40000000, 0x1000).size(), 4096u);
    EXPECT_EQ(ReadToFile(0x40000000, 0x105).size(), 0x105u);
    EXPECT_EQ(ReadToFile(0x40000000, 4).size(), 4u);
    EXPECT_EQ(ReadFileBytes(path).size(), 4u);
    EXPECT_FALSE(form.Logged("Done."));
    EXPECT_FALSE(form.Logged("Error reading memory!!!"));
    EXPECT_TRUE(Idle());
}

TEST_F(FlashTest, ReadToFileThatCannotBeCreatedIsRefusedBeforeTheTarget) {
    Start();
    const std::string path = (dir / "no-such-dir" / "dump.bin").string();
    form.SetText("txtFromAddr", "40000000");
    form.SetText("txtFlashLen", "1000");
    form.files.push_back(path);
    const size_t mark = Mark();
    cmdReadToFileClick();
    ASSERT_EQ(form.errorBoxes.size(), 1u);
    EXPECT_NE(form.errorBoxes[0].find(path), std::string::npos);
    EXPECT_EQ(Mark(), mark);
    EXPECT_TRUE(link->reads.empty());
    EXPECT_TRUE(Idle());
}

TEST_F(FlashTest, ReadToFileReportsAFailedRead) {
    board::BoardConfig config;
    config.faults.noTarget = true;
    Start(config);
    ReadToFile(0x40000000, 0x200);
    EXPECT_TRUE(form.Logged("Error reading memory!!!"));
    EXPECT_EQ(form.LogLines().back(), kTapReset);
    EXPECT_TRUE(Idle());
}

// --- Abort ----------------------------------------------------------------------------------

TEST_F(FlashTest, AbortAnsweredNoEndsTheWriteAtTheCurrentChunk) {
    board::BoardConfig config;
    config.flash.busyPercent = 100; // a 4 KiB chunk lasts several polls
    StartWithAgent(config);
    const std::string file = WriteFile("image.bin", 0x3000);
    AbortDuringChunk(kBase + 0x1000, false);
    WriteFlashAt(file, kBase, 0x3000);

    EXPECT_EQ(form.questions.back(), "Wait for normal termination ?");
    Lines tail = LogFromLine(kBanner1);
    EXPECT_EQ(tail, (Lines{kBanner1, kBanner2, "Flash programming NOT complete !!!",
                           "Error writing flash at address 7FE01000", kTapReset}));
    EXPECT_FALSE(form.Logged("Writing flash addr 7FE02000"));
    EXPECT_FALSE(form.Logged("Done."));
    EXPECT_EQ(RamCopies(kMailbox), 2u * 17u) << "no later chunk is sent";
    EXPECT_EQ(ReadToFile(kBase + 0x2000, 0x1000), Bytes(0x1000, 0xFF));
    EXPECT_TRUE(Idle());
}

TEST_F(FlashTest, AbortAnsweredYesWaitsForTheAgentWhichFinishesTheChunk) {
    board::BoardConfig config;
    config.flash.busyPercent = 0; // the chunk is done by the poll right after the question
    StartWithAgent(config);
    const std::string file = WriteFile("image.bin", 0x2000);
    AbortDuringChunk(kBase, true);
    WriteFlashAt(file, kBase, 0x2000);
    EXPECT_EQ(form.questions.back(), "Wait for normal termination ?");
    EXPECT_FALSE(form.Logged(kBanner1));
    EXPECT_TRUE(form.Logged("Writing flash addr 7FE01000"));
    EXPECT_EQ(form.LogLines()[form.LogLines().size() - 2], "Done.");
    EXPECT_EQ(ReadToFile(kBase, 0x2000), ReadFileBytes(file));
}

TEST_F(FlashTest, AbortAnsweredYesWithTheAgentStoppingEndsTheWrite) {
    board::BoardConfig config;
    config.flash.busyPercent = 100; // a 4 KiB chunk lasts several polls
    StartWithAgent(config);
    const std::string file = WriteFile("image.bin", 0x2000);
    AbortDuringChunk(kBase, true);
    WriteFlashAt(file, kBase, 0x2000);
    EXPECT_EQ(LogFromLine(kBanner1),
              (Lines{kBanner1, kBanner2, "Flash programming NOT complete !!!",
                     "Error writing flash at address 7FE00000", kTapReset}));
    EXPECT_FALSE(form.Logged("Writing flash addr 7FE01000"));
    EXPECT_TRUE(Idle());
}

// A chip that never finishes and gives up only after 45 s: the agent's own block-erase limit
// (2^25 us, 34 s; the CPU runs fast so that is a few polls) ends the wait first.
TEST_F(FlashTest, TheAgentsOwnTimeLimitEndsAnErase) {
    board::BoardConfig config;
    config.flash.faults.neverFinishes = true;
    config.flash.busyPercent = 300;
    config.core.cyclesPerTck = 100000;
    StartWithAgent(config);
    form.SetText("txtBlkBase", "7FE10000");
    form.warningAnswers.push_back(true);
    cmdBlkEraseClick();
    EXPECT_EQ(board->Bus().Read32(kMailbox), 0x00020008u) << "aborted: the agent's time limit";
    EXPECT_EQ(LogFromLine(kBanner1), (Lines{kBanner1, kBanner2, "Flash erasing NOT complete !!!",
                                            "Error clearing sector !!!", kTapReset}));
    EXPECT_TRUE(form.questions.size() == 1u) << "no Abort question was asked";
    EXPECT_TRUE(Idle());
}

} // namespace
} // namespace tapster::test
