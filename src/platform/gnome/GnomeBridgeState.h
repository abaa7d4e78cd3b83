#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

namespace sm::gnome {

// The bridge extension's well-known name, object and interface on the session bus.
inline constexpr char kBridgeService[] = "org.spacemarquee.GnomeBridge";
inline constexpr char kBridgePath[] = "/org/spacemarquee/GnomeBridge";
inline constexpr char kBridgeInterface[] = "org.spacemarquee.GnomeBridge";
inline constexpr char kExtensionUuid[] = "spacemarquee@spacemarquee.example";

struct MonitorInfo {
    int index = 0;
    QRect rect; // layout coordinates: top left, y down, logical pixels
    bool primary = false;
    bool operator==(const MonitorInfo&) const = default;
};

// One of this program's windows as the shell has it.
struct OwnWindow {
    QString marker; // its title
    qint64 pid = 0;
    quint64 workspace = 0; // the workspace's id; 0: on every workspace (or none yet)
    QRect rect;
    bool showing = false;
    bool operator==(const OwnWindow&) const = default;
};

struct FocusedWindow {
    QString title;
    QString appId;
    QString appName;
    qint64 pid = 0;
};

// Another program's window on the active workspace, front to back.
struct StackEntry {
    qint64 pid = 0;
    QString title;
    bool normal = false;
};

// Everything the bridge reports, in one message: the workspaces by ids that survive the removal of
// their neighbours, in order, the active one's index, the monitors, the focus and this program's windows.
struct BridgeState {
    QString version;
    QList<quint64> workspaces;
    int active = -1;
    bool overview = false; // the shell's overview is up: windows show only as thumbnails there
    QStringList names;     // GNOME's workspace names, in order; there may be fewer than workspaces
    QList<MonitorInfo> monitors;
    std::optional<FocusedWindow> focus;
    QList<OwnWindow> windows;
    QList<StackEntry> stack;

    quint64 activeWorkspace() const {
        return active >= 0 && active < workspaces.size() ? workspaces.at(active) : 0;
    }
    int indexOf(quint64 workspace) const { return workspace ? int(workspaces.indexOf(workspace)) : -1; }
};

// The state out of the bridge's JSON; none, with the reason, when it is not what the bridge sends.
// Titles are untrusted: they are bounded here.
std::optional<BridgeState> parseState(const QByteArray& json, QString* error);

// Why a bridge of `bridgeVersion` cannot serve this program of `programVersion`, or empty when it can.
QString versionProblem(const QString& bridgeVersion, const QString& programVersion);

// The one command that turns the bridge on.
QString enableCommand();

// What the user is told while the program runs on GNOME's Wayland session through Xwayland because the
// bridge did not answer at start: how to turn it on, or, once it has come (`bridgeOn`), that a restart
// puts the labels on it.
QString xwaylandFallbackProblem(bool bridgeOn);

} // namespace sm::gnome
