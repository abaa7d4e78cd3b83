#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QRect>
#include <QString>

#include <optional>

namespace sm::sway {

// The i3-compatible IPC: "i3-ipc", the payload's length and the message type as 32-bit integers in the
// host's byte order, then a JSON payload. Events carry the high bit in their type.
namespace ipc {
inline constexpr char kMagic[] = "i3-ipc";
inline constexpr qsizetype kMagicSize = 6;
inline constexpr qsizetype kHeaderSize = kMagicSize + 8;
inline constexpr quint32 kEventBit = 0x80000000u;
// A whole tree of a busy session is a few hundred kilobytes; anything near this is not sway talking.
inline constexpr qsizetype kMaxPayload = 16 * 1024 * 1024;

enum Message : quint32 {
    RunCommand = 0,
    GetWorkspaces = 1,
    Subscribe = 2,
    GetOutputs = 3,
    GetTree = 4,
    GetVersion = 7,
    GetConfig = 9
};
enum Event : quint32 {
    WorkspaceEvent = kEventBit | 0,
    OutputEvent = kEventBit | 1,
    WindowEvent = kEventBit | 3,
    ShutdownEvent = kEventBit | 6,
};

QByteArray encode(quint32 type, const QByteArray& payload = {});

struct Frame {
    quint32 type = 0;
    QByteArray payload;
    bool isEvent() const { return (type & kEventBit) != 0; }
};

struct Taken {
    enum class Status { incomplete, frame, malformed, oversized };
    Status status = Status::incomplete;
    Frame frame;
};

// Takes the first whole message off the front of `buffer`. A malformed or oversized header leaves the
// buffer as it was: the stream cannot be trusted past it.
Taken take(QByteArray& buffer, qsizetype maxPayload = kMaxPayload);
} // namespace ipc

struct OutputInfo {
    QString name;
    QString make;
    QString model;
    QString serial;
    QRect rect; // layout coordinates: top left, y down, logical pixels
    double scale = 1.0;
    QString transform{};
    // Only what says where the output is and how it shows: the reply also names the output's current
    // workspace and focus, which change at every switch and are no change of the display.
    bool operator==(const OutputInfo&) const = default;
};

struct WorkspaceInfo {
    qint64 id = 0; // stays while the workspace lives, also through a rename
    QString name;
    QString output;
    bool visible = false;
    bool focused = false;
    bool operator==(const WorkspaceInfo&) const = default;
};

struct WindowInfo {
    qint64 id = 0; // con_id
    qint64 pid = 0;
    QString title;
    qint64 workspaceId = 0;
    QString workspace;
    QRect rect;
    bool visible = false;
    bool focused = false;
    bool operator==(const WindowInfo&) const = default;
};

// A view as the auto-namer sees it: a Wayland toplevel names itself with app_id, an Xwayland window
// with its WM_CLASS (window_properties).
struct ViewInfo {
    qint64 id = 0; // con_id
    qint64 pid = 0;
    QString title;
    QString appId;    // Wayland only
    QString instance; // Xwayland only: WM_CLASS instance
    QString wmClass;  // Xwayland only: WM_CLASS class
    bool operator==(const ViewInfo&) const = default;
};

struct EventInfo {
    QString change;
    // The container a window event is about; the current workspace of a workspace event.
    qint64 containerId = 0;
    qint64 containerPid = 0;
    QString containerName;
};

// Readers of sway's replies. Each answers none, with the reason in `error`, for a reply that is not
// what sway sends; fields of unexpected types are read as absent.
std::optional<QList<OutputInfo>> parseOutputs(const QByteArray& json, QString* error); // active outputs only
std::optional<QList<WorkspaceInfo>> parseWorkspaces(const QByteArray& json, QString* error);
// The windows of process `pid` in the tree, each with the workspace it sits in.
// `viewsOn`, when given, counts the views of every client (this one's too) per workspace id.
std::optional<QList<WindowInfo>> parseWindows(const QByteArray& json, qint64 pid, QString* error,
                                              QHash<qint64, int>* viewsOn = nullptr);
std::optional<EventInfo> parseEvent(const QByteArray& json, QString* error);
// The view that holds the focus in a tree, or none when the focus is on a workspace or output.
std::optional<ViewInfo> parseFocusedView(const QByteArray& tree, QString* error);
// The view a window event is about ("focus", "title", "close", ...), with the change in `change`.
std::optional<ViewInfo> parseWindowEvent(const QByteArray& json, QString* change, QString* error);
// The first failure in a command reply, or an empty string when every command succeeded.
QString commandFailure(const QByteArray& json);

// What names a monitor wherever it is plugged in: make, model and serial, with the output's name added
// when they cannot tell it from another one (no serial worth the name, or an identical twin attached).
QString screenKey(const OutputInfo& output, const QList<OutputInfo>& attached);

// A command argument in quotes, as sway reads it back (a name with both kinds of quote cannot be said).
QString quoted(const QString& text);

} // namespace sm::sway
