#include "ops/target_session.h"

#include "jtag/jtag_init.h"
#include "jtag/tap_engine.h"
#include "ops/services.h"

namespace tapster {

TargetSession::TargetSession(BusyOrder order) : order_(order) {
    if (order_ == BusyOrder::BeforeClaim) EnterBusy();
    claimed_ = ClaimPortForCommand();
    if (!claimed_) return;
    if (order_ == BusyOrder::AfterClaim) EnterBusy();
}

void TargetSession::EnterBusy() {
    Deactivate();
    busy_ = true;
}

void TargetSession::Start(Chain chain) {
    if (order_ == BusyOrder::AtStart) EnterBusy();
    InitJtag();
    if (chain == Chain::InitOnly) return;
    EnterLinkScan();
    started_ = true;
    if (order_ == BusyOrder::AfterLinkScan) EnterBusy();
}

void TargetSession::Finish() {
    if (started_) TapReset();
    if (busy_) Activate();
    started_ = busy_ = false;
}

} // namespace tapster
