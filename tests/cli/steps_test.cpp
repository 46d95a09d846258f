// The command-line steps: each contract form, the values each widget kind takes, the usage errors,
// and the aliases' expansion.
#include "cli/aliases.h"
#include "cli/steps.h"
#include "cli/terminal_form.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace tapster::cli {
namespace {

class StepsTest : public ::testing::Test {
  protected:
    bool Parse(std::vector<std::string> args) {
        steps.clear();
        error.clear();
        return ParseSteps(args, window, steps, error);
    }
    // The steps written back as contract words, to compare expansions.
    std::vector<std::string> Words() const {
        std::vector<std::string> words;
        for (const Step& s : steps) {
            switch (s.kind) {
            case StepKind::Set:
                words.push_back(s.widget + "=" + s.text);
                break;
            case StepKind::Click:
                words.push_back(s.call ? "call " + s.widget : s.widget);
                break;
            case StepKind::Answer:
                words.push_back(std::string("answer=") + (s.yes ? "ok" : "cancel"));
                break;
            case StepKind::File:
                words.push_back("file=" + s.text);
                break;
            case StepKind::Print:
                words.push_back("print=" + s.widget);
                break;
            default:
                words.push_back("?");
                break;
            }
        }
        return words;
    }

    TerminalForm window{stdout, stderr}; // the widgets only; nothing is written
    std::vector<Step> steps;
    std::string error;
};

TEST_F(StepsTest, EachContractFormParses) {
    ASSERT_TRUE(Parse({"txtRAM=40000000", "chk0=1", "chkHiPri=0", "trkDelay=118", "trkPoll=300",
                       "selBrkCond=2", "lstBatch=1", "lstTrapAddr=80000800", "cmdMemSeek",
                       "answer=ok", "answer=no", "file=img.bin", "file=", "dialog=C8000000",
                       "dialog=cancel", "abort=no@3", "wait=1500", "print=lblSpeed"}))
        << error;
    ASSERT_EQ(steps.size(), 18u);
    EXPECT_EQ(steps[0].kind, StepKind::Set);
    EXPECT_EQ(steps[0].text, "40000000");
    EXPECT_EQ(steps[1].number, 1);
    EXPECT_EQ(steps[2].number, 0);
    EXPECT_EQ(steps[3].number, 118);
    EXPECT_EQ(steps[4].number, 300);
    EXPECT_EQ(steps[5].number, 2);
    EXPECT_EQ(steps[6].number, 1);
    EXPECT_EQ(steps[8].kind, StepKind::Click);
    EXPECT_EQ(steps[8].widget, "cmdMemSeek");
    EXPECT_TRUE(steps[9].yes);
    EXPECT_FALSE(steps[10].yes);
    EXPECT_EQ(steps[11].text, "img.bin");
    EXPECT_EQ(steps[12].kind, StepKind::File);
    EXPECT_EQ(steps[12].text, "");
    EXPECT_TRUE(steps[13].yes);
    EXPECT_EQ(steps[13].number, 0xC8000000);
    EXPECT_FALSE(steps[14].yes);
    EXPECT_EQ(steps[15].kind, StepKind::Abort);
    EXPECT_FALSE(steps[15].yes);
    EXPECT_EQ(steps[15].number, 3);
    EXPECT_EQ(steps[16].number, 1500);
    EXPECT_EQ(steps[17].widget, "lblSpeed");
}

TEST_F(StepsTest, HexFieldsTakeOnlyHexDigitsOtherTextIsVerbatim) {
    // The commands judge a hex field's value themselves (error boxes), but its text must be the
    // number it shows: what the field parse would read as another number is refused.
    ASSERT_TRUE(Parse({"txtFromAddr=7fe00000", "txtFlashLen=", "txtStatus=a=b"})) << error;
    EXPECT_EQ(steps[0].text, "7fe00000");
    EXPECT_EQ(steps[1].text, "");
    EXPECT_EQ(steps[2].text, "a=b");
    for (const char* bad : {"txtFromAddr=0x7FE00000", "txtManAddr=4000_0000",
                            "txtManAddr=40000000 ", "txtBlkBase=107FE10000", "lstFlashBase=-1"}) {
        EXPECT_FALSE(Parse({bad})) << bad;
        EXPECT_NE(error.find("one to eight hex digits"), std::string::npos) << error;
    }
}

TEST_F(StepsTest, FilePathKeepsEverythingAfterTheFirstEquals) {
    ASSERT_TRUE(Parse({"file=dir/a=b.bin"})) << error;
    EXPECT_EQ(steps[0].text, "dir/a=b.bin");
}

TEST_F(StepsTest, UnknownWidgetsAndStepsAreRefused) {
    EXPECT_FALSE(Parse({"cmdFoo"}));
    EXPECT_NE(error.find("cmdFoo"), std::string::npos);
    EXPECT_FALSE(Parse({"txtNothing=1"}));
    EXPECT_NE(error.find("txtNothing"), std::string::npos);
    EXPECT_FALSE(Parse({"print=lblNothing"}));
    EXPECT_FALSE(Parse({"--verbose"}));
    // Names are case-sensitive, as in the window.
    EXPECT_FALSE(Parse({"cmdmemseek"}));
}

TEST_F(StepsTest, WidgetsThatAreNotButtonsCannotBeClickedAndReadOnlyOnesCannotBeSet) {
    EXPECT_FALSE(Parse({"txtRAM"}));
    EXPECT_FALSE(Parse({"lblSpeed=5"}));
    EXPECT_FALSE(Parse({"cmdDelay=1"}));
    EXPECT_FALSE(Parse({"ProgressBar1=3"}));
    EXPECT_FALSE(Parse({"Panel1=0"}));
}

TEST_F(StepsTest, BadValuesAreRefusedPerKind) {
    EXPECT_FALSE(Parse({"chk0=2"}));
    EXPECT_FALSE(Parse({"chk0=yes"}));
    EXPECT_FALSE(Parse({"chk0="}));
    EXPECT_FALSE(Parse({"trkDelay=abc"}));
    EXPECT_FALSE(Parse({"trkDelay=1.5"}));
    EXPECT_FALSE(Parse({"trkDelay="}));
    EXPECT_FALSE(Parse({"selBrkCond=-1"}));
    EXPECT_FALSE(Parse({"lstBatch=-2"}));
    EXPECT_TRUE(Parse({"lstBatch=-1"})) << "no selection";
    EXPECT_FALSE(Parse({"answer=maybe"}));
    EXPECT_FALSE(Parse({"answer="}));
    EXPECT_FALSE(Parse({"dialog=123456789"})) << "nine digits";
    EXPECT_FALSE(Parse({"dialog=XYZ"}));
    EXPECT_FALSE(Parse({"dialog="}));
    EXPECT_FALSE(Parse({"abort=no"}));
    EXPECT_FALSE(Parse({"abort=no@0"}));
    EXPECT_FALSE(Parse({"abort=ok@1"}));
    EXPECT_FALSE(Parse({"abort=no@x"}));
    EXPECT_FALSE(Parse({"wait=-5"}));
    EXPECT_FALSE(Parse({"wait=99999999999"}));
}

TEST_F(StepsTest, ErrorNamesTheOffendingArgumentAndStopsAtIt) {
    EXPECT_FALSE(Parse({"cmdDelay", "chk1=7", "cmdMemSeek"}));
    EXPECT_NE(error.find("chk1"), std::string::npos);
    EXPECT_NE(error.find("7"), std::string::npos);
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
}

TEST_F(StepsTest, FlashAliasesStartTheAgentOnceWhenNoTrapWasTaken) {
    ASSERT_TRUE(Parse({"flash-id", "erase-sector", "7FE00000"})) << error;
    std::vector<std::string> expected = {"cmdDelay",    "cmdLoadTrap",        "cmdInstTrap",
                                         "cmdTakeTrap", "call cmdGetDevCode", "call cmdBlkErase"};
    EXPECT_EQ(Words(), expected);
    EXPECT_EQ(steps.back().origin, "erase-sector (cmdBlkErase)");
}

TEST_F(StepsTest, FlashAliasesDoNotRestartAnAgentTakenEarlier) {
    ASSERT_TRUE(Parse({"cmdTakeTrap", "erase-chip", "--base", "60000000"})) << error;
    std::vector<std::string> expected = {"cmdTakeTrap", "call cmdChipErase"};
    EXPECT_EQ(Words(), expected);
    ASSERT_TRUE(Parse({"start-agent", "--at=80001000", "flash-id"})) << error;
    expected = {"lstTrapAddr=80001000", "cmdLoadTrap", "cmdInstTrap", "cmdTakeTrap",
                "call cmdGetDevCode"};
    EXPECT_EQ(Words(), expected);
}

TEST_F(StepsTest, WriteFlashNeedsItsFileOnlyWithoutLength) {
    auto path = std::filesystem::temp_directory_path() / "tapster_steps_test_image.bin";
    std::ofstream(path, std::ios::binary) << std::string(0x1800, 'x');
    ASSERT_TRUE(Parse({"cmdTakeTrap", "write-flash", "--from", "7FE00000", path.string()}))
        << error;
    std::vector<std::string> expected = {"cmdTakeTrap", "call cmdWriteFlash"};
    EXPECT_EQ(Words(), expected);
    std::filesystem::remove(path);
    ASSERT_TRUE(Parse({"cmdTakeTrap", "write-flash", "--from=7FE00000", "--length=200000",
                       "--base=7FE00000", "not-made-yet.bin", "print=lblAdr"}))
        << error;
    expected = {"cmdTakeTrap", "call cmdWriteFlash", "print=lblAdr"};
    EXPECT_EQ(Words(), expected);
}

TEST_F(StepsTest, MalformedAliasesAreUsageErrors) {
    EXPECT_FALSE(Parse({"write-flash", "image.bin"})) << "no --from";
    EXPECT_FALSE(Parse({"write-flash", "--from", "7FE00000", "missing-file.bin"}))
        << "no length and no file to measure";
    EXPECT_FALSE(Parse({"write-flash", "--from"}));
    EXPECT_FALSE(Parse({"erase-sector"}));
    EXPECT_FALSE(Parse({"read-to-file", "--from", "0", "out.bin"}));
    EXPECT_FALSE(Parse({"flash-id", "--speed", "3"}));
    EXPECT_NE(error.find("--speed"), std::string::npos);
}

TEST_F(StepsTest, MemoryAliasesExpandToTheirFields) {
    ASSERT_TRUE(Parse({"read-to-file", "--from", "7FE00000", "--length", "1000", "out.bin",
                       "read-word", "80000000", "write-word", "80000004", "12345678"}))
        << error;
    std::vector<std::string> expected = {"call cmdReadToFile", "call cmdManRead",
                                         "print=txtManData", "call cmdManWrite"};
    EXPECT_EQ(Words(), expected);
}

TEST_F(StepsTest, EveryAliasIsInTheHelp) {
    std::string help = AliasHelp();
    for (const char* name :
         {"check", "find-free-mem", "check-traps", "start-agent", "verify-agent", "flash-id",
          "protect-status", "erase-sector", "erase-chip", "write-flash", "read-to-file", "read-rom",
          "read-word", "write-word", "run-batch"}) {
        EXPECT_TRUE(IsAlias(name)) << name;
        EXPECT_NE(help.find(std::string("  ") + name), std::string::npos) << name;
    }
    EXPECT_FALSE(IsAlias("cmdDelay"));
}

} // namespace
} // namespace tapster::cli
