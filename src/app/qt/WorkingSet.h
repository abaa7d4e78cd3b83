#pragma once

#include <QObject>
#include <QTimer>

namespace sm {

// Gives back memory the program has finished with: freed heap to the system, and the pages of
// library code and read-only data it touched once (at start-up, while a window was open) that sit
// in its resident set for nothing. Those pages stay in the page cache, shared with every other
// program; one that is needed again comes back at its next use. Returns the kilobytes let go.
long releaseUnusedMemory();

// Calls releaseUnusedMemory() each time a window (Preferences, the problem report, the welcome
// window) has been closed for a moment and no other has been opened meanwhile.
class WorkingSetTrimmer final : public QObject {
public:
    static constexpr int kAfterCloseMs = 500;

    WorkingSetTrimmer();
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTimer timer_;
};

} // namespace sm
