#pragma once

#include "support/Processes.h"
#include "support/WaitUntil.h"

#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace sm::x11::test {

// A private X server (Xvfb on a display it picks itself) and a window manager, for the tests of the
// real backend. Both are ended when the session goes, and die with the test process if it crashes.
class X11TestSession {
public:
    // Starts the server, `windowManager` and, when named, a compositing manager, and points DISPLAY at
    // them. None, with the reason, when a program is missing or does not come up; the caller skips then.
    static std::unique_ptr<X11TestSession> start(const QString& windowManager, QString* why,
                                                 const QString& compositor = {});
    ~X11TestSession();

    QString display() const { return display_; }
    QString windowManager() const { return windowManager_; }
    // Runs a client tool (wmctrl, xdotool, xrandr) on this display; its exit code, -1 when it did not run.
    int run(const QString& program, const QStringList& arguments, QString* output = nullptr) const;
    // The desktop names on the root window as any pager reads them (_NET_DESKTOP_NAMES).
    QStringList desktopNames() const;

private:
    X11TestSession() = default;
    bool waitForWindowManager(int milliseconds) const;
    bool waitForSelection(const char* name, int milliseconds) const;

    QTemporaryDir home_; // the window manager's settings go here, not into the user's home
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> wmProcess_;
    std::unique_ptr<QProcess> compositor_;
    QString display_;
    QString windowManager_;
};

using sm::test::waitUntil;

// Where a click lands on a label's text (window coordinates): the pixel nearest the text's middle that
// the window's shape leaves out (`onGlyph` false: a hole between or inside glyphs) or covers, with a
// margin of 2 px. The middle when there is none (with a compositor nothing is cut).
QPoint pointOnText(const QRegion& shape, const QRect& text, bool onGlyph);

// An X round trip on the toolkit's own connection: whatever the server sent it before is in its queue.
void roundTrip();

using sm::test::ProcessOutput;
using sm::test::runProcess;

} // namespace sm::x11::test
