#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace sm::sway::test {

// A private headless sway (software rendering, no input devices, no Xwayland) with `outputs` outputs
// side by side (the first 1280 × 720, the others 1920 × 1080), for the tests and tools of the sway
// backend. As root it runs sway as
// "nobody": sway refuses to keep root. It ends with the session, and with the process if that dies.
class SwayTestSession {
public:
    // Starts sway and points SWAYSOCK, WAYLAND_DISPLAY and QT_QPA_PLATFORM of this process at it. None,
    // with the reason, when sway is missing or does not come up; the caller skips then.
    static std::unique_ptr<SwayTestSession> start(int outputs, QString* why);
    ~SwayTestSession();

    QString socketPath() const { return socket_; }
    QString waylandDisplay() const { return wayland_; }
    // Runs swaymsg with `arguments` on this sway; its exit code, -1 when it did not run.
    int swaymsg(const QStringList& arguments, QString* output = nullptr) const;
    // Runs a Wayland client tool (grim) on this sway.
    int run(const QString& program, const QStringList& arguments, QString* output = nullptr) const;

    // The environment of a client of this sway, for programs that must run while the caller's loop turns.
    QProcessEnvironment environment() const;

private:
    SwayTestSession() = default;

    QTemporaryDir runtime_;
    std::unique_ptr<QProcess> sway_;
    QString socket_;
    QString wayland_;
};

} // namespace sm::sway::test
