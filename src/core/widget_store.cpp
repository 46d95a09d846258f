#include "core/widget_store.h"

#include <cstdio>
#include <cstdlib>

namespace tapster {

WidgetStore::WidgetStore() {
    for (const WidgetRow& row : kWidgetTable) {
        WidgetState w;
        w.kind = row.kind;
        w.parent = row.parent;
        w.text = row.caption;
        w.checked = row.checked;
        w.visible = !row.hidden;
        w.minimum = row.minimum;
        w.maximum = row.maximum;
        w.position = row.position;
        w.tickInterval = row.tick;
        w.items.assign(row.items.begin(), row.items.end());
        Add(std::string(row.name), std::move(w));
    }
}

void WidgetStore::Add(const std::string& name, WidgetState state) {
    widgets_.emplace(name, std::move(state));
    order_.push_back(name);
}

bool WidgetStore::Has(std::string_view name) const {
    return widgets_.find(name) != widgets_.end();
}

WidgetKind WidgetStore::KindOf(std::string_view name) const {
    return At(name).kind;
}

bool WidgetStore::Usable(std::string_view name) const {
    for (const WidgetState* w = &At(name);; w = &At(w->parent)) {
        if (!w->enabled || !w->visible) return false;
        if (w->parent.empty()) return true;
    }
}

WidgetState& WidgetStore::At(std::string_view name) {
    return const_cast<WidgetState&>(static_cast<const WidgetStore*>(this)->At(name));
}

const WidgetState& WidgetStore::At(std::string_view name) const {
    auto it = widgets_.find(name);
    if (it == widgets_.end()) {
        // A command naming a widget the window does not have is a programming error.
        std::fprintf(stderr, "internal error: no widget named '%.*s'\n",
                     static_cast<int>(name.size()), name.data());
        std::abort();
    }
    return it->second;
}

std::string WidgetStore::Text(std::string_view name) {
    return At(name).text;
}
void WidgetStore::SetText(std::string_view name, const std::string& text) {
    At(name).text = text;
}
bool WidgetStore::Checked(std::string_view name) {
    return At(name).checked;
}
void WidgetStore::SetChecked(std::string_view name, bool checked) {
    At(name).checked = checked;
}
int WidgetStore::Position(std::string_view name) {
    return At(name).position;
}

void WidgetStore::SetPosition(std::string_view name, int position) {
    WidgetState& w = At(name);
    if (w.kind == WidgetKind::Slider || w.kind == WidgetKind::UpDown ||
        w.kind == WidgetKind::Progress) {
        // Sliders and up-downs keep their position inside their range, as the real controls do.
        if (w.kind != WidgetKind::Progress) {
            if (position < w.minimum) position = w.minimum;
            if (position > w.maximum) position = w.maximum;
        }
    } else if (w.kind == WidgetKind::List || w.kind == WidgetKind::Combo ||
               w.kind == WidgetKind::Radio) {
        if (position < -1 || position >= static_cast<int>(w.items.size())) position = -1;
        if (w.kind == WidgetKind::Combo && position >= 0)
            w.text = w.items[static_cast<size_t>(position)];
    }
    w.position = position;
    if (w.kind == WidgetKind::UpDown && name == w::trkPoll.Name())
        At(w::txtPoll).text = std::to_string(position);
}

int WidgetStore::Minimum(std::string_view name) {
    return At(name).minimum;
}
int WidgetStore::Maximum(std::string_view name) {
    return At(name).maximum;
}

void WidgetStore::SetRange(std::string_view name, int minimum, int maximum) {
    WidgetState& w = At(name);
    w.minimum = minimum;
    w.maximum = maximum;
    if (w.kind != WidgetKind::Progress && w.position > maximum) w.position = maximum;
}

int WidgetStore::TickInterval(std::string_view name) {
    return At(name).tickInterval;
}
void WidgetStore::SetTickInterval(std::string_view name, int interval) {
    At(name).tickInterval = interval;
}

std::vector<std::string> WidgetStore::Items(std::string_view name) {
    return At(name).items;
}
void WidgetStore::AddItem(std::string_view name, const std::string& text) {
    At(name).items.push_back(text);
}

void WidgetStore::SetItem(std::string_view name, int index, const std::string& text) {
    WidgetState& w = At(name);
    if (index >= 0 && index < static_cast<int>(w.items.size()))
        w.items[static_cast<size_t>(index)] = text;
}

void WidgetStore::DeleteItem(std::string_view name, int index) {
    WidgetState& w = At(name);
    if (index < 0 || index >= static_cast<int>(w.items.size())) return;
    w.items.erase(w.items.begin() + index);
    // Like a list box: the selection goes away with the deleted item.
    w.position = -1;
}

bool WidgetStore::Visible(std::string_view name) {
    return At(name).visible;
}
void WidgetStore::SetVisible(std::string_view name, bool visible) {
    At(name).visible = visible;
}
bool WidgetStore::Enabled(std::string_view name) {
    return At(name).enabled;
}
void WidgetStore::SetEnabled(std::string_view name, bool enabled) {
    At(name).enabled = enabled;
}

void WidgetStore::LogLine(const std::string& line) {
    log_.push_back(line);
}

std::string WidgetStore::LastLogLine() {
    return log_.empty() ? std::string() : log_.back();
}

void WidgetStore::ReplaceLastLogLine(const std::string& line) {
    if (log_.empty())
        log_.push_back(line);
    else
        log_.back() = line;
}

} // namespace tapster
