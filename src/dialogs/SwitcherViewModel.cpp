#include "dialogs/SwitcherViewModel.h"

#include <algorithm>
#include <utility>

namespace sm {

namespace {

// Lower is better; -1 leaves the name out.
int rank(const QString& title, const QString& typed) {
    if (title.isEmpty()) return -1;
    if (typed.isEmpty()) return 0;
    if (title == typed) return 0;
    if (title.compare(typed, Qt::CaseInsensitive) == 0) return 1;
    if (title.startsWith(typed, Qt::CaseInsensitive)) return 2;
    if (title.contains(typed, Qt::CaseInsensitive)) return 3;
    return -1;
}

} // namespace

SwitcherViewModel::SwitcherViewModel(QList<Entry> entries) : entries_(std::move(entries)) {
    setFilter({});
}

void SwitcherViewModel::setFilter(const QString& text) {
    filter_ = text;
    // Typed the way `go` takes a name: the surrounding space means nothing.
    const QString typed = text.trimmed();
    QList<std::pair<int, int>> ranked; // rank, position
    for (int i = 0; i < entries_.size(); ++i)
        if (const int r = rank(entries_[i].title, typed); r >= 0) ranked.append({r, i});
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    shown_.clear();
    for (const auto& [r, i] : ranked)
        shown_.append(i);
    selected_ = shown_.isEmpty() ? -1 : 0;
}

void SwitcherViewModel::moveSelection(int delta) {
    if (shown_.isEmpty()) return;
    selected_ = std::clamp(selected_ + delta, 0, static_cast<int>(shown_.size()) - 1);
}

int SwitcherViewModel::chosen() const {
    return selected_ < 0 ? -1 : shown_[selected_];
}

} // namespace sm
