#include "cli/steps.h"

#include "cli/aliases.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>

namespace tapster::cli {

namespace {

bool ParseDecimal(std::string_view text, int64_t minimum, int64_t maximum, int64_t& value) {
    if (text.empty() || text.size() > 12) return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= minimum && value <= maximum;
}

// One to eight hex digits, no prefix: the control values are written as the window shows them.
bool ParseHexWord(std::string_view text, int64_t& value) {
    if (text.empty() || text.size() > 8) return false;
    uint32_t word = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), word, 16);
    if (ec != std::errc() || ptr != text.data() + text.size()) return false;
    value = word;
    return true;
}

bool ParseAnswer(std::string_view text, bool& yes) {
    if (text == "ok" || text == "yes") {
        yes = true;
        return true;
    }
    if (text == "cancel" || text == "no") {
        yes = false;
        return true;
    }
    return false;
}

bool ParseSet(const std::string& name, const std::string& value, const WidgetStore& window,
              Step& step, std::string& error) {
    WidgetKind kind = window.KindOf(name);
    if (!Settable(kind)) {
        error = name + " cannot be set (only read with print=" + name + ")";
        return false;
    }
    step.kind = StepKind::Set;
    step.widget = name;
    step.text = value;
    bool ok = true;
    const WidgetRow* row = FindWidgetRow(name);
    std::string expected = ValueDescription(kind);
    switch (kind) {
    case WidgetKind::Edit:
    case WidgetKind::Combo:
        // A hex field takes only what the window shows: a prefix, a blank, a separator or a
        // ninth digit would be read as another number than the one written.
        if (row != nullptr && row->hex && !value.empty()) {
            int64_t ignored = 0;
            ok = ParseHexWord(value, ignored);
            expected = "one to eight hex digits, without 0x, blanks or separators";
        }
        break;
    case WidgetKind::Check:
        ok = value == "0" || value == "1";
        step.number = value == "1" ? 1 : 0;
        break;
    case WidgetKind::Slider:
    case WidgetKind::UpDown:
        // The range is the window's at the step's time (the check sets the delay slider's).
        ok = ParseDecimal(value, -1000000000, 1000000000, step.number);
        break;
    case WidgetKind::Radio:
        ok = ParseDecimal(value, 0, 1000000, step.number);
        break;
    case WidgetKind::List:
        ok = ParseDecimal(value, -1, 1000000, step.number);
        break;
    default:
        ok = false;
        break;
    }
    if (!ok) error = "bad value for " + name + ": '" + value + "' (expected " + expected + ")";
    return ok;
}

// An abort= written before an alias is meant for the alias's own command (write-flash's
// cmdWriteFlash), not for the clicks it runs first to start the agent: it moves to just before
// the last click of the expansion.
void MoveAbortToMainClick(std::vector<Step>& steps, std::vector<Step>& expanded) {
    auto isClick = [](const Step& s) { return s.kind == StepKind::Click; };
    const auto lastClick = std::find_if(expanded.rbegin(), expanded.rend(), isClick);
    if (lastClick == expanded.rend() ||
        std::count_if(expanded.begin(), expanded.end(), isClick) < 2)
        return;
    // The abort still waiting for a click: one after the last click so far.
    for (auto it = steps.rbegin(); it != steps.rend() && !isClick(*it); ++it) {
        if (it->kind != StepKind::Abort) continue;
        Step abort = std::move(*it);
        steps.erase(std::next(it).base());
        expanded.insert(std::prev(lastClick.base()), std::move(abort));
        return;
    }
}

} // namespace

bool Settable(WidgetKind kind) {
    switch (kind) {
    case WidgetKind::Edit:
    case WidgetKind::Combo:
    case WidgetKind::Check:
    case WidgetKind::Slider:
    case WidgetKind::UpDown:
    case WidgetKind::Radio:
    case WidgetKind::List:
        return true;
    default:
        return false;
    }
}

const char* ValueDescription(WidgetKind kind) {
    switch (kind) {
    case WidgetKind::Edit:
    case WidgetKind::Combo:
        return "text";
    case WidgetKind::Check:
        return "0 or 1";
    case WidgetKind::Slider:
    case WidgetKind::UpDown:
        return "a position";
    case WidgetKind::Radio:
        return "an item index";
    case WidgetKind::List:
        return "an item index, -1 for none";
    default:
        return "nothing";
    }
}

bool ParseStep(const std::string& arg, const WidgetStore& window, Step& step, std::string& error) {
    step = Step{};
    step.origin = arg;
    size_t eq = arg.find('=');
    if (eq == std::string::npos) {
        if (!window.Has(arg)) {
            error = "unknown step or widget: '" + arg + "'";
            return false;
        }
        if (window.KindOf(arg) != WidgetKind::Button) {
            error = arg + " is not a button (set it with " + arg + "=VALUE)";
            return false;
        }
        step.kind = StepKind::Click;
        step.widget = arg;
        return true;
    }
    std::string key = arg.substr(0, eq);
    std::string value = arg.substr(eq + 1);
    if (key == "answer") {
        step.kind = StepKind::Answer;
        if (!ParseAnswer(value, step.yes)) {
            error = "bad answer: '" + value + "' (expected ok, cancel, yes or no)";
            return false;
        }
        return true;
    }
    if (key == "file") {
        step.kind = StepKind::File;
        step.text = value;
        return true;
    }
    if (key == "dialog") {
        step.kind = StepKind::Dialog;
        step.yes = value != "cancel";
        if (step.yes && !ParseHexWord(value, step.number)) {
            error = "bad dialog outcome: '" + value + "' (expected a hex value or cancel)";
            return false;
        }
        return true;
    }
    if (key == "abort") {
        step.kind = StepKind::Abort;
        size_t at = value.find('@');
        if (at == std::string::npos || !ParseAnswer(value.substr(0, at), step.yes) ||
            value.substr(0, at) == "ok" || value.substr(0, at) == "cancel" ||
            !ParseDecimal(std::string_view(value).substr(at + 1), 1, 1000000000, step.number)) {
            error = "bad abort: '" + value + "' (expected yes@N or no@N, N from 1)";
            return false;
        }
        return true;
    }
    if (key == "wait") {
        step.kind = StepKind::Wait;
        if (!ParseDecimal(value, 0, 86400000, step.number)) {
            error = "bad wait: '" + value + "' (expected milliseconds, at most one day)";
            return false;
        }
        return true;
    }
    if (key == "print") {
        step.kind = StepKind::Print;
        step.widget = value;
        if (!window.Has(value)) {
            error = "unknown widget: '" + value + "'";
            return false;
        }
        return true;
    }
    if (!window.Has(key)) {
        error = "unknown step or widget: '" + key + "'";
        return false;
    }
    return ParseSet(key, value, window, step, error);
}

bool ParseSteps(const std::vector<std::string>& args, const WidgetStore& window,
                std::vector<Step>& steps, std::string& error) {
    AliasState aliases;
    for (size_t i = 0; i < args.size();) {
        Expansion alias;
        std::vector<std::string>& words = alias.words;
        std::string origin = args[i];
        if (IsAlias(args[i])) {
            if (!ExpandAlias(args, i, aliases, alias, error)) return false;
        } else {
            words.push_back(args[i]);
            ++i;
        }
        for (const std::string& check : alias.checks) {
            Step ignored;
            if (!ParseStep(check, window, ignored, error)) return false;
        }
        std::vector<Step> expanded;
        for (const std::string& word : words) {
            Step step;
            if (!ParseStep(word, window, step, error)) return false;
            if (words.size() > 1 || alias.call) step.origin = origin + " (" + word + ")";
            step.checkedReads = step.kind == StepKind::Click && AliasChecksReads(origin);
            if (step.kind == StepKind::Click &&
                (step.widget == w::cmdTakeTrap.Name() || step.widget == w::cmdLoadDCU.Name()))
                aliases.agentStarted = true;
            expanded.push_back(std::move(step));
        }
        if (alias.call) {
            const auto button = std::find_if(expanded.rbegin(), expanded.rend(), [](const Step& s) {
                return s.kind == StepKind::Click;
            });
            button->call = std::move(alias.call);
        }
        MoveAbortToMainClick(steps, expanded);
        for (Step& step : expanded)
            steps.push_back(std::move(step));
    }
    return true;
}

} // namespace tapster::cli
