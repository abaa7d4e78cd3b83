#pragma once

#include "logging/Logger.h"

#include <QHash>
#include <QList>
#include <QProcessEnvironment>
#include <QString>

#include <memory>
#include <optional>

namespace sm::wayland {

// A workspace as ext-workspace-v1 shows it: what a namer has to find it by in the compositor's own IPC.
struct ShownWorkspace {
    QString output;
    int position = 0; // among its group's workspaces on that output, from 0
    QString name;
};

// A workspace as the compositor's IPC lists it.
struct IpcWorkspace {
    QString id;
    int index = -1;              // its place on its output, from 1, where the IPC tells it
    std::optional<QString> name; // none: the compositor names it itself
    QString output;
};

// Publishes names to a compositor's own workspaces through its IPC, so its bars show them. The name a
// workspace had before the first rename is remembered; renaming it back to that restores it as it was
// (a workspace niri named itself becomes unnamed again rather than named like that).
class WorkspaceNamer {
public:
    virtual ~WorkspaceNamer() = default;
    virtual QString compositor() const = 0;
    // Empty when done, else why not.
    QString rename(const ShownWorkspace& workspace, const QString& name);
    // False once the IPC failed: names stay in Spacemarquee from then on.
    bool usable() const { return usable_; }

protected:
    // The compositor's workspaces; none, with the reason, when its socket does not answer.
    virtual std::optional<QList<IpcWorkspace>> list(QString* error) = 0;
    // Empty when the compositor took it.
    virtual QString setName(const IpcWorkspace& workspace, const std::optional<QString>& name) = 0;

private:
    struct Original {
        std::optional<QString> ipcName;
        QString shown;
    };
    QHash<QString, Original> originals_; // by IPC id, for the workspaces renamed so far
    bool usable_ = true;
};

// Hyprland (`renameworkspace` on its request socket) or niri (`SetWorkspaceName` on NIRI_SOCKET), as the
// environment the compositor started us with says; none where neither is there.
std::unique_ptr<WorkspaceNamer> namerFor(const QProcessEnvironment& environment);

// One request on a fresh connection to a Unix socket, and its answer: up to the end of the stream, or
// of the first line with `oneLine`. None, with the reason, when the socket is missing, refuses or is
// silent for a second.
std::optional<QByteArray> askSocket(const QString& path, const QByteArray& request, bool oneLine,
                                    QString* error);

} // namespace sm::wayland
