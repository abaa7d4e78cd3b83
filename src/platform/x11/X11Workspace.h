#pragma once

#include "logging/Logger.h"
#include "platform/Workspace.h"
#include "platform/x11/DesktopEntryNames.h"

#include <QByteArray>
#include <QHash>

#include <cstdint>
#include <memory>
#include <optional>

class QTimer;
struct xcb_connection_t;

namespace sm::x11 {

class WorkspaceEvents;

// The applications and windows of an EWMH desktop, on Qt's own xcb connection.
//
// The frontmost application is the owner of _NET_ACTIVE_WINDOW: its id is _GTK_APPLICATION_ID or
// _KDE_NET_WM_DESKTOP_FILE when set, else the WM_CLASS class; its name the desktop entry's Name, else
// the class; its process _NET_WM_PID. Window titles are whatever other programs put there: every read
// is bounded (kMaxPropertyBytes), undecodable bytes become U+FFFD, control characters become spaces,
// bidirectional controls are dropped and a title keeps at most kMaxTitleCharacters. A window that
// vanishes between two reads simply has no value. X11 lets every client read every title, so the
// title permission is always held.
class X11Workspace final : public Workspace, public std::enable_shared_from_this<X11Workspace> {
public:
    static constexpr std::uint32_t kMaxPropertyBytes = 4096;
    static constexpr std::uint32_t kMaxIdBytes = 512;
    static constexpr qsizetype kMaxTitleCharacters = 256;
    static constexpr std::uint32_t kMaxWindows = 4096;

    // The workspace on the running QGuiApplication, or none with the reason in `error`.
    static std::shared_ptr<X11Workspace> create(Logger logger, QString* error);
    ~X11Workspace() override;
    X11Workspace(const X11Workspace&) = delete;
    X11Workspace& operator=(const X11Workspace&) = delete;

    std::optional<RunningApplication> frontmostApplication() const override;
    QString ownApplicationId() const override;
    std::optional<QList<WindowListEntry>> onScreenWindows() const override;
    bool canReadWindowTitles() const override { return true; }

    // What a window title becomes before anyone sees it.
    static QString sanitizedTitle(const QByteArray& bytes, bool utf8);

private:
    friend class WorkspaceEvents;
    explicit X11Workspace(Logger logger);
    std::uint32_t atom(const char* name) const { return atoms_.value(QByteArray(name)); }
    std::uint32_t activeWindow() const;
    void activeWindowMayHaveChanged();

    Logger logger_;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    QHash<QByteArray, std::uint32_t> atoms_;
    std::unique_ptr<WorkspaceEvents> events_;
    std::unique_ptr<QTimer> activationTimer_;
    mutable DesktopEntryNames names_;
    // The application last reported as activated: id and process.
    std::optional<std::pair<QString, qint64>> lastActive_;
};

} // namespace sm::x11
