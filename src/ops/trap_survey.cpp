// "Check existing": the trap configuration survey, and the DCU reports the trap and monitor
// commands share. All of them only read, apart from the two trace-enable writes the DCU needs
// before its jump-trace and watchpoint registers can be read.
#include "core/hex.h"
#include "core/main_form.h"
#include "core/widget_table.h"
#include "jtag/agent_calls.h"
#include "jtag/link.h"
#include "ops/command_outcome.h"
#include "ops/commands.h"
#include "ops/dcu_tables.h"
#include "ops/services.h"
#include "ops/target_session.h"

#include <string>

namespace tapster {

namespace {

const std::string kSurveyBanner(46, '-');
const std::string kReportBanner(42, '-');

// Reads that failed since the count was last cleared: their zeros are not the target's.
int failedReads = 0;

// A failed read shows as 0; the report goes on regardless, and the failure is counted.
uint32_t Peek(uint32_t address) {
    const WordRead word = ReadWord(address);
    if (word.failed) ++failedReads;
    return word.value;
}

uint32_t LogValue(const std::string& label, uint32_t address) {
    const uint32_t value = Peek(address);
    Log(label + Hex8(value));
    return value;
}

void EnableTraceReads() {
    WriteWord(DCU_JUMPTRACE_CONTROL, kDcuTraceReadEnable);
    WriteWord(DCU_WP_CONTROL, kDcuTraceReadEnable);
}

} // namespace

void cmdChkTrapsClick() {
    TargetSession session(BusyOrder::Never);
    if (!session.Claimed()) return;
    session.Start();
    const int failedBefore = FailedDcuReads();

    Log(kSurveyBanner);
    Log("Reading DCU state ...");
    Log(kSurveyBanner);
    LogValue("DCU_STATUS ", DCU_STATUS);
    LogValue("DCU_CONTROL ", DCU_CONTROL);

    Log(kSurveyBanner);
    Log("Reading trap configuration ...");
    Log(kSurveyBanner);
    for (const TrapSlot& slot : kTrapSlots)
        for (const SlotWord& word : kSurveyWords)
            LogValue(std::string(slot.name) + "+" + word.name + " ", slot.base + word.offset);

    session.Finish();
    if (const int failed = FailedDcuReads() - failedBefore; failed > 0) {
        // The log shows the zeros the spec's survey shows; they must not pass for the target's.
        ReportCommandFailure();
        frmMain->ShowStatus("Check existing: " + std::to_string(failed) + " of " +
                            std::to_string(2 + kTrapSlots.size() * kSurveyWords.size()) +
                            " reads failed; their values show as 00000000 and are not the "
                            "target's");
    }
}

int FailedDcuReads() {
    return failedReads;
}

uint32_t ReportDcuRegisters() {
    Log("DCU registers states :");
    Log(kReportBanner);
    LogValue("DCU_STATUS ", DCU_STATUS);
    LogValue("DCU_CONTROL ", DCU_CONTROL);
    EnableTraceReads();
    const uint32_t jumpTrace = LogValue("DCU_JUMPTRACE_IPTR ", DCU_JUMPTRACE_IPTR);
    LogValue("DCU_WP_ADDRESS ", DCU_WP_ADDRESS);
    Log(kReportBanner);
    LogValue("Trap workspace register OP_TEMP :", MailboxBase + kOpTempOffset);
    Log(kReportBanner);
    return jumpTrace;
}

void ReportTrappedStatus() {
    Log("Trapped status :");
    Log(kReportBanner);
    for (int k : kTrappedStatusOrder) {
        const TrapSlot& slot = kTrapSlots[static_cast<size_t>(k)];
        LogValue(std::string(slot.name) + " STATUS ", slot.base + kSlotTrappedStatus);
    }
    Log(kReportBanner);
}

void RefreshDcuMonitor() {
    frmMain->SetText(w::txtStatus, Hex8(Peek(DCU_STATUS)));
    frmMain->SetText(w::txtControl, Hex8(Peek(DCU_CONTROL)));
    EnableTraceReads();
    frmMain->SetText(w::txtJTIptr, Hex8(Peek(DCU_JUMPTRACE_IPTR)));
    frmMain->SetText(w::txtJTFrom, Hex8(Peek(DCU_JUMPTRACE_FROM)));
    frmMain->SetText(w::txtWPAdr, Hex8(Peek(DCU_WP_ADDRESS)));
}

} // namespace tapster
