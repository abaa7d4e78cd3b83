#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace sm::gnome::test {

// A private headless GNOME Shell (a 1280 × 800 virtual monitor, no Xwayland unless asked) in private system and
// session buses, with the program's bridge loaded from the build tree and enabled in a settings file
// of its own, for the tests and tools of the GNOME backend. It ends with the session.
class GnomeTestSession {
public:
    struct Options {
        bool bridgeEnabled = true; // off: the bridge is installed but not enabled, as after an install
        bool xwayland = false;     // the shell also runs Xwayland, as a GNOME session does
    };
    // Starts the buses and the shell, waits for the bridge (or, with it off, for the shell), and points
    // this process's session bus, Wayland display, toolkit platform and settings at them. None, with the
    // reason, when the shell is missing or does not come up; the caller skips then. `extensions`: the
    // folder holding the bridge.
    static std::unique_ptr<GnomeTestSession> start(const QString& extensions, QString* why, Options options);
    static std::unique_ptr<GnomeTestSession> start(const QString& extensions, QString* why) {
        return start(extensions, why, Options{});
    }
    ~GnomeTestSession();

    // Makes the workspace at `index` the active one, through the bridge (the shell's Eval is off).
    bool activate(int index, QString* error = nullptr) const;
    // A pointer and keyboard of the shell's own (its remote-desktop interface: the headless shell has no
    // input devices). Each returns whether the shell took it.
    bool pointAt(QPoint layout);      // the pointer to a point of the layout (top left, y down)
    bool button(bool pressed);        // the left button
    bool key(quint32 keysym, bool pressed);
    bool type(const QString& latin1); // presses and releases each character's key

    // What the shell's introspection lists: the running apps and their windows, read as the dash and
    // the app switcher read them. The shell answers it to the desktop portal only (outside unsafe
    // mode), so this process takes the portal's name on the private bus. None when the shell refused.
    struct Introspected {
        QSet<QString> apps;
        QMap<QString, QString> windows; // title -> app id
    };
    std::optional<Introspected> introspect() const;

    // Runs `program` with the session's environment; its exit code, -1 when it did not run.
    int run(const QString& program, const QStringList& arguments, QString* output = nullptr) const;
    // The session's environment; with Xwayland it holds its DISPLAY and XAUTHORITY.
    QProcessEnvironment environment() const { return env_; }

private:
    GnomeTestSession() = default;
    bool startRemote();
    QDBusConnection bus() const;
    bool startDaemon(std::unique_ptr<QProcess>& process, const QStringList& arguments, const QString& socket,
                     QString* why);

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> systemBus_;
    std::unique_ptr<QProcess> sessionBus_;
    std::unique_ptr<QProcess> shell_;
    QString remote_; // the remote-desktop session's object, once made
    QProcessEnvironment env_;
};

} // namespace sm::gnome::test
