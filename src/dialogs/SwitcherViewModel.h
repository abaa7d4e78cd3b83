#pragma once

#include <QList>
#include <QString>

namespace sm {

// The quick switcher's list: the named desktops narrowed by what is typed, and the row Enter goes to.
// Rows that `go` would take for the typed text come first, in its order of preference (the exact
// name, then any case, then a beginning), then names that merely contain it; desktop order within
// each. The selection starts on the first row again whenever the text changes.
class SwitcherViewModel {
public:
    struct Entry {
        QString title;
        int desktopNumber = 0; // as the user counts them, from 1
    };

    explicit SwitcherViewModel(QList<Entry> entries);

    void setFilter(const QString& text);
    const QString& filter() const { return filter_; }
    const QList<Entry>& entries() const { return entries_; }
    // Positions in entries(), in the order shown.
    const QList<int>& shown() const { return shown_; }
    // Row in shown(); -1 when nothing is shown.
    int selectedRow() const { return selected_; }
    // Moves the selection by `delta` rows, stopping at the first and last.
    void moveSelection(int delta);
    // The entry Enter goes to: its position in entries(), or -1.
    int chosen() const;

private:
    QList<Entry> entries_;
    QString filter_;
    QList<int> shown_;
    int selected_ = -1;
};

} // namespace sm
