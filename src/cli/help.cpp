#include "cli/help.h"

#include "app/startup.h"
#include "cli/aliases.h"
#include "cli/job_command.h"
#include "cli/steps.h"

namespace tapster::cli {

namespace {

const char* KindPlural(WidgetKind kind) {
    switch (kind) {
    case WidgetKind::Label:
        return "labels";
    case WidgetKind::Button:
        return "buttons";
    case WidgetKind::Edit:
        return "edits";
    case WidgetKind::Combo:
        return "combo boxes";
    case WidgetKind::Check:
        return "check boxes";
    case WidgetKind::Slider:
        return "sliders";
    case WidgetKind::UpDown:
        return "up-downs";
    case WidgetKind::Progress:
        return "progress bars";
    case WidgetKind::Radio:
        return "radio groups";
    case WidgetKind::List:
        return "list boxes";
    case WidgetKind::Container:
        return "containers";
    }
    return "";
}

// Widget names grouped by kind, wrapped at 100 columns: the kind, then the names from column 18
// on every line of the group (help2man, which makes the manual page from this text, takes the
// kind as the entry's tag and the lines indented as far as the names as its continuation).
std::string WidgetList(const WidgetStore& window) {
    constexpr size_t kColumn = 18;
    const WidgetKind order[] = {WidgetKind::Button,   WidgetKind::Edit,     WidgetKind::Combo,
                                WidgetKind::Check,    WidgetKind::Slider,   WidgetKind::UpDown,
                                WidgetKind::Radio,    WidgetKind::List,     WidgetKind::Label,
                                WidgetKind::Progress, WidgetKind::Container};
    std::string text;
    for (WidgetKind kind : order) {
        std::string line = std::string("  ") + KindPlural(kind) + ":";
        line.resize(kColumn - 1, ' ');
        std::string body = line;
        bool any = false;
        for (const std::string& name : window.Names()) {
            if (window.KindOf(name) != kind) continue;
            if (any && line.size() + name.size() + 1 > 98) {
                body += "\n";
                line = std::string(kColumn - 1, ' ');
                body += line;
            }
            any = true;
            line += " " + name;
            body += " " + name;
        }
        if (any) text += body + "\n";
    }
    return text;
}

} // namespace

std::string HelpText(const WidgetStore& window, const std::string& backendName) {
    std::string text =
        "tapcheck-cli: the window's commands without a display.\n"
        "\n"
        "Usage: tapcheck-cli [--simulate[=PRESET.json] | --port=PORT] [--deadline SECONDS] "
        "JOB\n"
        "  or:  tapcheck-cli [--simulate[=PRESET.json] | --port=PORT] [--deadline SECONDS] "
        "STEP...\n"
        "  or:  tapcheck-cli --help | --version\n"
        "\n"
        "Backend used with these options: " +
        backendName +
        "\n"
        "\n" +
        JobHelp() + "\n" + BackendOptionsHelp() +
        "\n"
        "Steps run left to right in one process; the window starts as it always does (the CPU\n"
        "speed is measured first). Widget names are the window's.\n"
        "  WIDGET=VALUE           set a widget: edit/combo text, check box 0|1, slider or "
        "up-down\n"
        "                         position, radio item index, list selected index (-1: none)\n"
        "  cmdXxx                 click that button (refused while it is disabled or hidden)\n"
        "  answer=ok|cancel|yes|no  queue the answer to the next question box\n"
        "  file=PATH              queue the next file dialog's choice (file= cancels it)\n"
        "  dialog=VALUE|cancel    queue the DCU Control register dialog's outcome: Send with "
        "the\n"
        "                         hex VALUE's bits 17-31 ticked, or Cancel\n"
        "  abort=yes|no@N         press \"Abort !\" at the Nth keep-alive point of the next "
        "click\n"
        "                         and answer its question (on the simulated board each 100 ms\n"
        "                         pause of a wait and each block of a scan is one point)\n"
        "  wait=MS                let Timer1 (the DCU monitor) run for MS milliseconds\n"
        "  print=WIDGET           write WIDGET=TEXT to stdout (lists and combo boxes: their\n"
        "                         items joined by commas; check boxes 0|1; sliders, up-downs,\n"
        "                         radio groups: the position; containers: 1 when usable)\n"
        "\n" +
        AliasHelp() +
        "\n"
        "Output: the log on stdout as it is written (the wait's dots appended in place); each\n"
        "error box on stderr as 'error: TEXT'. The run stops after the step that shows an error\n"
        "box or meets a question, file dialog or control dialog with nothing queued.\n"
        "Exit code: 0 every command did its job; 1 an error box (or nothing queued for a\n"
        "question), or stdout could not be written; 2 a usage error (unknown widget or step, bad\n"
        "value, a widget that cannot be used now, a bad preset); 3 a command reported its failure\n"
        "in the log or its result cannot be trusted (the run goes on); 4 an abort= step that\n"
        "never pressed \"Abort !\"; 124 --deadline passed; 129 SIGHUP; 130 Ctrl+C; 141 SIGPIPE;\n"
        "143 SIGTERM; 153 SIGXFSZ (a file reached ulimit -f).\n"
        "Each of these signals presses \"Abort !\" answered No at the next keep-alive point, then\n"
        "the run stops; a second Ctrl+C, SIGTERM or SIGHUP ends it at once. --deadline SECONDS\n"
        "does the same when the run is still going after that many seconds.\n"
        "Load Trap Routine reads fl4_trap.bin from the current directory (the start directory).\n"
        "\n"
        "Widgets:\n" +
        WidgetList(window);
    return text;
}

} // namespace tapster::cli
