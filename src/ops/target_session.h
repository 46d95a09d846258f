// The target work of one command, as a guard: the claim at the command's start, busy mode where
// the command enters it, JTAG initialisation and the link entry; on every way out the TAP is
// reset (once the link scan was entered) and busy mode left (once entered).
#pragma once

namespace tapster {

enum class BusyOrder {
    Never,         // no busy mode (the trap commands, the manual reads, the survey)
    BeforeClaim,   // busy mode, then the claim (the erases, the file commands)
    AfterClaim,    // the claim, then busy mode (Block Protect Status, the memory search)
    AtStart,       // the claim, then busy mode as the chain starts (the ROM dump, the
                   // verifications: once their file is open)
    AfterLinkScan, // the claim, the chain, then busy mode ("Check")
};

// How far Start takes the chain.
enum class Chain {
    LinkScan, // InitJtag and EnterLinkScan; the way out resets the TAP
    InitOnly, // InitJtag alone; the command's own steps leave the TAP (the hardware check)
};

class TargetSession {
  public:
    // Claims the port (entering busy mode first or after, as `order` says). On a failed claim
    // the error box has been shown, busy mode is left again and Claimed() is false.
    explicit TargetSession(BusyOrder order);
    ~TargetSession() { Finish(); }
    TargetSession(const TargetSession&) = delete;
    TargetSession& operator=(const TargetSession&) = delete;

    bool Claimed() const { return claimed_; }
    // Starts the chain (and busy mode for AtStart and AfterLinkScan).
    void Start(Chain chain = Chain::LinkScan);
    // The way out, now, for a command whose last lines follow the TAP reset; once only.
    void Finish();
    // The work goes on after this command (the DCU monitor on its timer): the way out leaves
    // the TAP and busy mode as they are.
    void Keep() { started_ = busy_ = false; }
    // Takes over the work a command kept (the monitor's stop): the way out resets the TAP and
    // leaves busy mode.
    void Resume() { started_ = busy_ = true; }

  private:
    void EnterBusy();

    BusyOrder order_;
    bool claimed_ = false;
    bool busy_ = false;
    bool started_ = false;
};

} // namespace tapster
