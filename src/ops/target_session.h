// The target work of one command, as a guard: the claim at the command's start, busy mode where
// the command enters it, JTAG initialisation and the link entry; on every way out the TAP is
// reset (once the chain was initialised) and busy mode left (once entered).
#pragma once

namespace tapster {

enum class BusyOrder {
    Never,         // no busy mode (the trap commands, the manual reads)
    BeforeClaim,   // busy mode, then the claim (the erases, the file commands)
    AfterClaim,    // the claim, then busy mode (Block Protect Status)
    AfterLinkScan, // the claim, the chain, then busy mode ("Check")
};

class TargetSession {
  public:
    // Claims the port (entering busy mode first or after, as `order` says). On a failed claim
    // the error box has been shown, busy mode is left again and Claimed() is false.
    explicit TargetSession(BusyOrder order);
    ~TargetSession();
    TargetSession(const TargetSession&) = delete;
    TargetSession& operator=(const TargetSession&) = delete;

    bool Claimed() const { return claimed_; }
    // InitJtag and EnterLinkScan (and busy mode for AfterLinkScan); from now on the way out
    // resets the TAP.
    void Start();

  private:
    BusyOrder order_;
    bool claimed_ = false;
    bool busy_ = false;
    bool started_ = false;
};

} // namespace tapster
