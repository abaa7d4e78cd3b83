#pragma once

#include <QSet>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>

namespace sm::x11 {

class X11WindowServer;
struct PanelState;

// A label on i3 as the backend sees it in one refresh.
struct I3LabelSight {
    bool orderedIn = false;           // the logic has it shown
    std::optional<QString> parkedOn;  // withdrawn from this workspace, until it is back on it
    bool withdrawn = false;           // hidden by the backend (the logic may still have it shown)
    std::optional<QString> workspace; // where i3 has it (its _NET_WM_DESKTOP); none while unmanaged
    bool unviewable = false;          // mapped inside a hidden frame: its workspace is not shown
};

enum class I3LabelStep {
    none,
    withdrawIfAlone, // left on a hidden workspace: withdrawn unless other windows keep that one anyway
    bringBack,       // its workspace is focused again
    settle,          // i3 has it back on its workspace
    withdraw,        // shown again, but i3 put it on the workspace the user went to meanwhile
};

I3LabelStep i3LabelStep(const I3LabelSight& label, const QString& focused);
// Whether the label counts as neither on the active desktop nor visible, whatever its window says.
bool i3LabelHidden(const I3LabelSight& label, const QString& focused);

// i3 keeps a workspace while a window is on it, and a label is a window: every workspace ever named
// would stay. A label left alone on a workspace that is no longer shown is withdrawn, so that i3
// drops the workspace as it would without it, and the workspace's name is kept; when a workspace of
// that name is focused again, the label is mapped in the same refresh that announces the switch (i3
// puts a new window on the focused workspace), so the tracker finds it present as on any switch.
// The logic never sees the difference: a withdrawn label is simply not on the active desktop.
class I3WorkspaceLabels {
public:
    explicit I3WorkspaceLabels(X11WindowServer& server);

    // Before a refresh reads the facts: labels whose workspace is focused are shown on it again.
    void bringBack();
    // In a refresh, with what the server said of the label (`desktop`: none until i3 has set one).
    // Settles or withdraws a label coming back, notes labels left on hidden workspaces, and returns
    // whether the label counts as hidden.
    bool review(PanelState& state, std::optional<std::uint32_t> desktop, bool unviewable);
    // After a refresh: labels left on hidden workspaces are looked at once the loop has drained.
    void reviewed();
    // The window manager's list of clients changed: a workspace may hold only labels now.
    void clientsChanged() { ++clientsGeneration_; }

private:
    I3LabelSight sight(const PanelState& state, std::optional<std::uint32_t> desktop, bool unviewable) const;
    QString focusedName() const;
    void withdrawLonely();
    void withdraw(PanelState& state, const QString& workspace);

    X11WindowServer& server_;
    QTimer lonelyCheck_;
    QSet<quint64> candidates_; // serials of labels left on hidden workspaces, as of the last refresh
    QSet<quint64> checked_;
    quint64 clientsGeneration_ = 0;
    quint64 checkedGeneration_ = 0;
};

} // namespace sm::x11
