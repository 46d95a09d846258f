// The steps of a tapcheck-cli command line: widget settings, button clicks, queued answers,
// timer waits and prints, each checked against the window's widgets before anything runs.
#pragma once

#include "core/widget_store.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tapster::cli {

enum class StepKind {
    Set,    // WIDGET=VALUE
    Click,  // cmdXxx
    Answer, // answer=ok|cancel|yes|no
    File,   // file=PATH ("" cancels the dialog)
    Dialog, // dialog=VALUE|cancel
    Abort,  // abort=yes|no@N
    Wait,   // wait=MS
    Print,  // print=WIDGET
};

struct Step {
    StepKind kind = StepKind::Click;
    std::string widget; // Set, Click, Print
    std::string text;   // Set: the value as written; File: the path
    bool yes = false;   // Answer: ok/yes; Dialog: Send; Abort: the answer to its question
    int64_t number = 0; // Set: position or index; Dialog: value; Abort: N; Wait: milliseconds
    std::string origin; // the argument (or alias) the step came from, for messages
    bool checkedReads = false; // Click: a dump of an alias, each block read twice and compared
    // Click: an alias's typed request, run in place of the button's handler.
    std::function<void()> call;
};

// Turns the arguments (backend options already taken out) into steps, expanding the friendly
// aliases. False with a one-line message on the first argument that is not a valid step.
bool ParseSteps(const std::vector<std::string>& args, const WidgetStore& window,
                std::vector<Step>& steps, std::string& error);

// Parses one contract step (no alias). False with a message.
bool ParseStep(const std::string& arg, const WidgetStore& window, Step& step, std::string& error);

// Whether the widget takes WIDGET=VALUE, and the kind of value it takes ("text", "0 or 1", ...).
bool Settable(WidgetKind kind);
const char* ValueDescription(WidgetKind kind);

} // namespace tapster::cli
