#include "ops/memory_requests.h"

#include "core/hex.h"
#include "core/main_form.h"
#include "core/widget_table.h"
#include "jtag/link.h"
#include "ops/target_session.h"

namespace tapster {

void ManualReadRequest(uint64_t field) {
    const auto address = static_cast<uint32_t>(field);
    if (address == 0) {
        frmMain->ErrorBox("Wrong address value !!!");
        return;
    }
    TargetSession session(BusyOrder::Never);
    if (!session.Claimed()) return;
    session.Start();
    const WordRead word = ReadWord(address);
    if (word.failed)
        frmMain->ErrorBox("Error reading data !!!\n\rCheck hardware and address !!!");
    else
        frmMain->SetText(w::txtManData, Hex8(word.value));
}

void ManualWriteRequest(uint64_t address, uint64_t data) {
    if (static_cast<int64_t>(data) < 0 || !IsPositiveField(address)) {
        frmMain->ErrorBox("Wrong address or data value !!!");
        return;
    }
    TargetSession session(BusyOrder::Never);
    if (!session.Claimed()) return;
    session.Start();
    Log("Writing word ...");
    const auto target = static_cast<uint32_t>(address);
    if (!WriteWord(target, static_cast<uint32_t>(data))) {
        frmMain->ErrorBox("Error writing data !!!\n\rCheck hardware and destination address !!!");
        return;
    }
    const uint32_t readBack = ReadWord(target).value; // 0 when the read failed
    Log("Verifying word ..." + Hex8(readBack));
    frmMain->SetText(w::txtManData, Hex8(readBack));
}

} // namespace tapster
