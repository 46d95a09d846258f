// "Check existing": the trap configuration survey, and the DCU reports the trap and monitor
// commands share. All of them only read, apart from the two trace-enable writes the DCU needs
// before its jump-trace and watchpoint registers can be read.
#include "core/hex.h"
#include "core/main_form.h"
#include "core/widget_table.h"
#include "jtag/agent_calls.h"
#include "jtag/jtag_init.h"
#include "jtag/link.h"
#include "jtag/tap_engine.h"
#include "ops/commands.h"
#include "ops/dcu_tables.h"
#include "ops/services.h"

#include <string>

namespace tapster {

namespace {

const std::string kSurveyBanner(46, '-');
const std::string kReportBanner(42, '-');

// A failed read shows as 0; the report goes on regardless.
uint32_t Peek(uint32_t address) {
    return ReadWord(address).value;
}

void LogValue(const std::string& label, uint32_t address) {
    Log(label + Hex8(Peek(address)));
}

void EnableTraceReads() {
    WriteWord(DCU_JUMPTRACE_CONTROL, kDcuTraceReadEnable);
    WriteWord(DCU_WP_CONTROL, kDcuTraceReadEnable);
}

} // namespace

void cmdChkTrapsClick() {
    if (!ClaimPortForCommand()) return;
    InitJtag();
    EnterLinkScan();

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

    TapReset();
}

void ReportDcuRegisters() {
    Log("DCU registers states :");
    Log(kReportBanner);
    LogValue("DCU_STATUS ", DCU_STATUS);
    LogValue("DCU_CONTROL ", DCU_CONTROL);
    EnableTraceReads();
    LogValue("DCU_JUMPTRACE_IPTR ", DCU_JUMPTRACE_IPTR);
    LogValue("DCU_WP_ADDRESS ", DCU_WP_ADDRESS);
    Log(kReportBanner);
    LogValue("Trap workspace register OP_TEMP :", MailboxBase + kOpTempOffset);
    Log(kReportBanner);
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
