#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace sm::wayland {

// The workspace states and capabilities of ext-workspace-v1, as bits.
inline constexpr quint32 kActiveState = 1;
inline constexpr quint32 kHiddenState = 4;
inline constexpr quint32 kCanActivate = 1;

struct WorkspaceRecord {
    quint64 handle = 0; // the connection's name for the protocol object
    QString id;         // the compositor's lasting id; empty where it sends none
    QString name;
    QList<quint32> coordinates;
    quint32 state = 0;
    quint32 capabilities = 0;
    quint64 group = 0; // 0: in no group

    bool isActive() const { return (state & kActiveState) != 0; }
    bool operator==(const WorkspaceRecord&) const = default;
};

struct GroupRecord {
    quint64 handle = 0;
    QStringList outputs; // output names, in the order they entered
    bool operator==(const GroupRecord&) const = default;
};

// What the compositor said at its last `done`.
struct Snapshot {
    QList<GroupRecord> groups;         // in the order they were announced
    QList<WorkspaceRecord> workspaces; // likewise

    const WorkspaceRecord* workspace(quint64 handle) const;
    const GroupRecord* group(quint64 handle) const;
    // A group's workspaces as a pager orders them: by coordinates, the ones without after, else in the
    // order they were announced. Hidden ones are left out.
    QList<const WorkspaceRecord*> workspacesOf(quint64 group) const;
    // The first group that shows on `output`, and its position among the groups that do.
    const GroupRecord* groupOn(const QString& output) const;
    // The workspace active on `output`: the active one of its group.
    const WorkspaceRecord* activeOn(const QString& output) const;
    // The output a group shows on first; empty when it shows on none.
    QString outputOf(const WorkspaceRecord& workspace) const;

    bool operator==(const Snapshot&) const = default;
};

// One event of the protocol as the connection hears it; none counts before the `done` that follows.
struct WorkspaceEvent {
    enum class Kind {
        groupCreated,
        groupOutputEnter,    // text: the output's name
        groupOutputLeave,    // text: the output's name
        groupWorkspaceEnter, // other: the workspace
        groupWorkspaceLeave, // other: the workspace
        groupRemoved,
        workspaceCreated,
        workspaceId,           // text
        workspaceName,         // text
        workspaceCoordinates,  // numbers
        workspaceState,        // bits
        workspaceCapabilities, // bits
        workspaceRemoved,
    };
    Kind kind;
    quint64 object = 0; // the group or the workspace
    quint64 other = 0;
    QString text;
    QList<quint32> numbers;
    quint32 bits = 0;
};

// What a `done` changed, for whom it concerns.
struct WorkspaceChanges {
    bool active = false; // some output shows another workspace
    bool names = false;  // some workspace has another name
    bool layout = false; // workspaces or groups came or went, moved, or groups changed outputs

    bool any() const { return active || names || layout; }
    bool operator==(const WorkspaceChanges&) const = default;
};

// The state after a batch of events: all of it or, for events about objects it does not know, the rest
// of it. Events are applied in order.
Snapshot applied(const Snapshot& state, const QList<WorkspaceEvent>& batch);
WorkspaceChanges compare(const Snapshot& before, const Snapshot& after);

// What a name given to a workspace is kept under: the compositor's id where it sends one; else the
// output with the group's position there and the workspace's coordinates, or its name where it has
// none. Empty for a workspace that shows on no output, which nothing can find again.
QString workspaceKey(const Snapshot& state, const WorkspaceRecord& workspace);

} // namespace sm::wayland
