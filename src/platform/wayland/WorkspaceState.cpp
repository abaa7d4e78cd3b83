#include "platform/wayland/WorkspaceState.h"

#include <algorithm>

namespace sm::wayland {

namespace {
template <class T> T* find(QList<T>& list, quint64 handle) {
    for (auto& item : list)
        if (item.handle == handle) return &item;
    return nullptr;
}

QString coordinateText(const QList<quint32>& coordinates) {
    QStringList parts;
    for (const quint32 c : coordinates)
        parts << QString::number(c);
    return parts.join(u',');
}
} // namespace

const WorkspaceRecord* Snapshot::workspace(quint64 handle) const {
    for (const auto& w : workspaces)
        if (w.handle == handle) return &w;
    return nullptr;
}

const GroupRecord* Snapshot::group(quint64 handle) const {
    for (const auto& g : groups)
        if (g.handle == handle) return &g;
    return nullptr;
}

QList<const WorkspaceRecord*> Snapshot::workspacesOf(quint64 group) const {
    QList<const WorkspaceRecord*> list;
    for (const auto& w : workspaces)
        if (w.group == group && group != 0 && !(w.state & kHiddenState)) list << &w;
    std::stable_sort(list.begin(), list.end(), [](const WorkspaceRecord* a, const WorkspaceRecord* b) {
        if (a->coordinates.isEmpty() || b->coordinates.isEmpty())
            return !a->coordinates.isEmpty() && b->coordinates.isEmpty();
        // Rows before columns: the last dimension is the slowest, as a pager reads a grid.
        auto ra = a->coordinates, rb = b->coordinates;
        std::reverse(ra.begin(), ra.end());
        std::reverse(rb.begin(), rb.end());
        return ra < rb;
    });
    return list;
}

const GroupRecord* Snapshot::groupOn(const QString& output) const {
    for (const auto& g : groups)
        if (g.outputs.contains(output)) return &g;
    return nullptr;
}

const WorkspaceRecord* Snapshot::activeOn(const QString& output) const {
    const GroupRecord* g = groupOn(output);
    if (!g) return nullptr;
    for (const auto& w : workspaces)
        if (w.group == g->handle && w.isActive()) return &w;
    return nullptr;
}

QString Snapshot::outputOf(const WorkspaceRecord& workspace) const {
    const GroupRecord* g = group(workspace.group);
    return g && !g->outputs.isEmpty() ? g->outputs.first() : QString();
}

Snapshot applied(const Snapshot& state, const QList<WorkspaceEvent>& batch) {
    using Kind = WorkspaceEvent::Kind;
    Snapshot next = state;
    for (const auto& e : batch) {
        switch (e.kind) {
        case Kind::groupCreated:
            if (!find(next.groups, e.object)) next.groups.append(GroupRecord{e.object, {}});
            break;
        case Kind::workspaceCreated:
            if (!find(next.workspaces, e.object)) {
                WorkspaceRecord record;
                record.handle = e.object;
                next.workspaces.append(record);
            }
            break;
        case Kind::groupRemoved:
            next.groups.removeIf([&](const GroupRecord& g) { return g.handle == e.object; });
            for (auto& w : next.workspaces)
                if (w.group == e.object) w.group = 0;
            break;
        case Kind::workspaceRemoved:
            next.workspaces.removeIf([&](const WorkspaceRecord& w) { return w.handle == e.object; });
            break;
        case Kind::groupOutputEnter:
            if (auto* g = find(next.groups, e.object); g && !g->outputs.contains(e.text))
                g->outputs << e.text;
            break;
        case Kind::groupOutputLeave:
            if (auto* g = find(next.groups, e.object)) g->outputs.removeAll(e.text);
            break;
        case Kind::groupWorkspaceEnter:
            if (auto* w = find(next.workspaces, e.other); w && find(next.groups, e.object))
                w->group = e.object;
            break;
        case Kind::groupWorkspaceLeave:
            if (auto* w = find(next.workspaces, e.other); w && w->group == e.object) w->group = 0;
            break;
        case Kind::workspaceId:
            if (auto* w = find(next.workspaces, e.object)) w->id = e.text;
            break;
        case Kind::workspaceName:
            if (auto* w = find(next.workspaces, e.object)) w->name = e.text;
            break;
        case Kind::workspaceCoordinates:
            if (auto* w = find(next.workspaces, e.object)) w->coordinates = e.numbers;
            break;
        case Kind::workspaceState:
            if (auto* w = find(next.workspaces, e.object)) w->state = e.bits;
            break;
        case Kind::workspaceCapabilities:
            if (auto* w = find(next.workspaces, e.object)) w->capabilities = e.bits;
            break;
        }
    }
    return next;
}

WorkspaceChanges compare(const Snapshot& before, const Snapshot& after) {
    WorkspaceChanges c;
    c.layout = before.groups != after.groups || before.workspaces.size() != after.workspaces.size();
    for (const auto& w : after.workspaces) {
        const WorkspaceRecord* old = before.workspace(w.handle);
        if (!old) {
            c.layout = true;
            c.active = c.active || w.isActive();
            continue;
        }
        c.names = c.names || old->name != w.name;
        c.active = c.active || old->isActive() != w.isActive() || (w.isActive() && old->group != w.group);
        c.layout = c.layout || old->group != w.group || old->coordinates != w.coordinates ||
                   (old->state & kHiddenState) != (w.state & kHiddenState);
    }
    for (const auto& w : before.workspaces)
        if (w.isActive() && !after.workspace(w.handle)) c.active = true;
    return c;
}

QString workspaceKey(const Snapshot& state, const WorkspaceRecord& workspace) {
    if (!workspace.id.isEmpty()) return QStringLiteral("id:") + workspace.id;
    const QString output = state.outputOf(workspace);
    if (output.isEmpty()) return {};
    // The group's position among those on its output: most compositors have one group per output.
    int position = 0;
    for (const auto& g : state.groups) {
        if (g.handle == workspace.group) break;
        if (g.outputs.contains(output)) ++position;
    }
    const QString where = QStringLiteral("%1/%2/").arg(output).arg(position);
    if (!workspace.coordinates.isEmpty())
        return where + QStringLiteral("at:") + coordinateText(workspace.coordinates);
    return where + QStringLiteral("named:") + workspace.name;
}

} // namespace sm::wayland
