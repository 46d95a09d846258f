#include "ops/target_session.h"

#include "jtag/jtag_init.h"
#include "jtag/tap_engine.h"
#include "ops/services.h"

namespace tapster {

TargetSession::TargetSession(BusyOrder order) : order_(order) {
    if (order_ == BusyOrder::BeforeClaim) {
        Deactivate();
        busy_ = true;
    }
    claimed_ = ClaimPortForCommand();
    if (!claimed_) return;
    if (order_ == BusyOrder::AfterClaim) {
        Deactivate();
        busy_ = true;
    }
}

void TargetSession::Start() {
    InitJtag();
    EnterLinkScan();
    started_ = true;
    if (order_ == BusyOrder::AfterLinkScan) {
        Deactivate();
        busy_ = true;
    }
}

TargetSession::~TargetSession() {
    if (started_) TapReset();
    if (busy_) Activate();
}

} // namespace tapster
