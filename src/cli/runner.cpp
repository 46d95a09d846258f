#include "cli/runner.h"

#include "ops/command_outcome.h"
#include "ops/command_table.h"
#include "ops/commands.h"
#include "ops/dcu_ctrl.h"
#include "ops/scan_dump.h"
#include "port/port_backend.h"

#include <cstdio>

namespace tapster::cli {

namespace {

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i)
        text += (i ? "," : "") + items[i];
    return text;
}

} // namespace

Handler ButtonHandler(const std::string& name) {
    const CommandRow* row = FindCommand(name, CommandTrigger::Click);
    return row ? row->handler : nullptr;
}

void StartWindow(TerminalForm& form) {
    form.onTimer = [] { Timer1Timer(); };
    form.onAbortClick = [] { cmdCancelClick(); };
    form.onDialogSend = [](uint32_t value) {
        // The boxes as the value ticks them (bits 17-31), then "Send".
        frmControl.FillBits(value);
        frmControl.cmdSendCtrlClick();
    };
    FormCreate();
}

Runner::Runner(TerminalForm& form) : form_(form) {}

bool Runner::Refuse(const Step& step, const std::string& why) {
    std::fprintf(stderr, "tapcheck-cli: %s: %s\n", step.origin.c_str(), why.c_str());
    return false;
}

bool Runner::Set(const Step& step) {
    const std::string& name = step.widget;
    if (!form_.Usable(name))
        return Refuse(step, name + " cannot be changed now (disabled or hidden)");
    int position = static_cast<int>(step.number);
    switch (form_.KindOf(name)) {
    case WidgetKind::Edit:
    case WidgetKind::Combo:
        form_.SetText(name, step.text);
        break;
    case WidgetKind::Check:
        form_.SetChecked(name, step.number != 0);
        break;
    case WidgetKind::Slider:
    case WidgetKind::UpDown:
        // Refused as the list's index is: the control would clamp it out of sight.
        if (position < form_.Minimum(name) || position > form_.Maximum(name))
            return Refuse(step, name + " takes " + std::to_string(form_.Minimum(name)) + " to " +
                                    std::to_string(form_.Maximum(name)));
        form_.SetPosition(name, position);
        if (const CommandRow* row = FindCommand(name, CommandTrigger::Change)) row->handler();
        break;
    case WidgetKind::Radio:
    case WidgetKind::List: {
        int count = static_cast<int>(form_.Items(name).size());
        if (position >= count)
            return Refuse(step, name + " has " + std::to_string(count) + " items (0 to " +
                                    std::to_string(count - 1) + ")");
        form_.SetPosition(name, position);
        break;
    }
    default:
        return Refuse(step, name + " cannot be set");
    }
    return true;
}

bool Runner::Click(const Step& step) {
    Handler handler = ButtonHandler(step.widget);
    if (handler == nullptr) return Refuse(step, step.widget + " has no handler");
    if (!form_.Usable(step.widget))
        return Refuse(step, step.widget + " cannot be clicked now (disabled or hidden)");
    form_.BeginCommand();
    ClearCommandOutcome();
    ScanDumpCheckedReads = step.checkedReads;
    if (step.call)
        step.call();
    else
        handler();
    ScanDumpCheckedReads = false;
    // What the log says failed decides the exit code; the error box has said it already.
    if (CommandFailed() && !form_.Failed()) {
        ++failedCommands_;
        std::fprintf(stderr, "tapcheck-cli: %s: the command failed (see the log)\n",
                     step.origin.c_str());
    }
    // A cable that can no longer be reached ended the command; say so, the log cannot.
    if (const PortBackend* backend = GetPortBackend(); backend != nullptr && backend->Lost()) {
        std::fprintf(stderr, "tapcheck-cli: %s\n", backend->LostMessage().c_str());
        cableLost_ = true;
    }
    if (!form_.EndCommand()) {
        ++missedAborts_;
        std::fprintf(stderr,
                     "tapcheck-cli: %s: the armed abort was not reached (%d keep-alive "
                     "points)\n",
                     step.origin.c_str(), form_.KeepAlivePoints());
    }
    return true;
}

void Runner::Print(const Step& step) {
    const std::string& name = step.widget;
    std::string value;
    switch (form_.KindOf(name)) {
    case WidgetKind::Combo:
    case WidgetKind::List:
        value = Joined(form_.Items(name));
        break;
    case WidgetKind::Check:
        value = form_.Checked(name) ? "1" : "0";
        break;
    case WidgetKind::Slider:
    case WidgetKind::UpDown:
    case WidgetKind::Progress:
    case WidgetKind::Radio:
        value = std::to_string(form_.Position(name));
        break;
    case WidgetKind::Container:
        value = form_.Usable(name) ? "1" : "0";
        break;
    default:
        value = form_.Text(name);
        break;
    }
    form_.PrintLine(name + "=" + value);
}

int Runner::Run(const std::vector<Step>& steps) {
    const int code = RunSteps(steps);
    form_.Finish();
    // The log and the print= values are the run's result: lost, the run failed (a signal or the
    // deadline keeps its own code).
    if (form_.OutputLost() && code < kExitDeadline) return kExitErrorBox;
    return code;
}

int Runner::RunSteps(const std::vector<Step>& steps) {
    const Step* lastAbort = nullptr;
    for (const Step& step : steps) {
        if (int code = form_.StopCode(); code != 0) return code;
        switch (step.kind) {
        case StepKind::Set:
            if (!Set(step)) return kExitUsage;
            break;
        case StepKind::Click:
            if (!Click(step)) return kExitUsage;
            break;
        case StepKind::Answer:
            form_.QueueAnswer(step.yes);
            break;
        case StepKind::File:
            form_.QueueFile(step.text);
            break;
        case StepKind::Dialog:
            form_.QueueDialog(step.yes ? std::optional<uint32_t>(static_cast<uint32_t>(step.number))
                                       : std::nullopt);
            break;
        case StepKind::Abort:
            if (form_.AbortArmed() && lastAbort != nullptr) {
                ++missedAborts_;
                std::fprintf(stderr, "tapcheck-cli: %s: replaced by %s before any click\n",
                             lastAbort->origin.c_str(), step.origin.c_str());
            }
            form_.ArmAbort(step.yes, step.number);
            lastAbort = &step;
            break;
        case StepKind::Wait:
            form_.RunTimers(static_cast<uint32_t>(step.number));
            break;
        case StepKind::Print:
            Print(step);
            break;
        }
        if (int code = form_.StopCode(); code != 0) return code;
        if (form_.Failed() || cableLost_) return kExitErrorBox;
    }
    if (form_.AbortArmed() && lastAbort != nullptr) {
        ++missedAborts_;
        std::fprintf(stderr, "tapcheck-cli: %s: no click follows it; nothing was aborted\n",
                     lastAbort->origin.c_str());
    }
    if (failedCommands_ > 0) return kExitCommandFailed;
    return missedAborts_ > 0 ? kExitAbortMissed : kExitOk;
}

} // namespace tapster::cli
