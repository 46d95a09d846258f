// The dialog of "Program and verify…": what its fields make of the request, and its progress
// line. Its run on the simulated board is in board_test.cpp.
#include "gui_support.h"

#include "ui/job_dialog.h"
#include "ui/main_window.h"

#include <QComboBox>
#include <QLineEdit>

namespace tapster::test {
namespace {

TEST(JobDialogProgress, NamesThePhaseRateAndTimeLeft) {
    const struct {
        uint32_t done, total;
        qint64 ms;
        const char* text;
    } rows[] = {
        {0, 0, 9000, "Program\u2026"},           // no size known
        {0x1000, 0x200000, 100, "Program: 0 %"}, // too early for a rate
        {0, 0x200000, 9000, "Program: 0 %"},     // no block done yet
        {0x80000, 0x200000, 20000, "Program: 25 % at 26 KiB/s, 60 s left"},
        {0x10000, 0x200000, 10000, "Program: 3 % at 6 KiB/s, 6 min left"},
        {0x200000, 0x200000, 70000, "Program: 100 % at 29 KiB/s, 0 s left"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ui::JobDialog::ProgressText(FlashJobPhase::Program, r.done, r.total, r.ms),
                  r.text);
}

class JobDialogTest : public GuiTest {};

TEST_F(JobDialogTest, FieldsMakeTheRequestOrSayWhatIsWrong) {
    ui::TfrmMain window;
    ui::JobDialog dialog(window);
    const struct {
        const char *image, *base, *at;
        const char* error; // the start of the message, or null for a good request
        uint32_t wantAt;
    } rows[] = {
        {"", "7FE00000", "", "Choose the image file", 0},
        {"a.bin", "0x7FE0000G", "", "The flash start address", 0},
        {"a.bin", "7FE00000", "7FDFFFFF", "The address to program at", 0},
        {"a.bin", "0x7FE00000", "", nullptr, 0x7FE00000},
        {"a.bin", "7fe00000", "0x7FE20000", nullptr, 0x7FE20000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.base) + " " + r.at);
        dialog.findChild<QLineEdit*>("txtJobImage")->setText(r.image);
        dialog.findChild<QComboBox*>("lstJobBase")->setEditText(r.base);
        dialog.findChild<QLineEdit*>("txtJobAt")->setText(r.at);
        FlashJobRequest request;
        QString error;
        EXPECT_EQ(dialog.ReadRequest(request, error), r.error == nullptr);
        if (r.error != nullptr) {
            EXPECT_TRUE(error.startsWith(r.error)) << error.toStdString();
            continue;
        }
        EXPECT_EQ(request.kind, FlashJobKind::Program);
        EXPECT_EQ(request.imagePath, "a.bin");
        EXPECT_EQ(request.flashBase, 0x7FE00000u);
        EXPECT_EQ(request.at, r.wantAt);
        EXPECT_EQ(request.trapAddress, 0x80000800u); // the page's trap routine address
        EXPECT_EQ(request.erase, EraseMode::Auto);
        EXPECT_TRUE(request.verify);
        EXPECT_FALSE(request.agentFolders.empty());
    }
}

} // namespace
} // namespace tapster::test
