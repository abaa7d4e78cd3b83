#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>
#include <optional>

namespace sm::kwin::test {

// A private headless KWin on Wayland (its virtual backend, software rendering) in a private session
// bus, for the tests and tools of the KWin backend. Debian's kwin_wayland carries a file capability
// that some machines refuse to execute; a copy without it, still named kwin_wayland (KWin's platform
// checks its own name), runs instead. Everything ends with the session.
class KWinTestSession {
public:
    // Starts the bus and KWin with `desktops` virtual desktops and points DBUS_SESSION_BUS_ADDRESS,
    // WAYLAND_DISPLAY, XDG_RUNTIME_DIR and QT_QPA_PLATFORM of this process at them. None, with the
    // reason, when KWin is missing or does not come up; the caller skips then.
    static std::unique_ptr<KWinTestSession> start(int desktops, QString* why);
    ~KWinTestSession();

    QString busAddress() const { return bus_; }
    QString waylandDisplay() const { return socket_; }
    // Calls `method` of org.kde.KWin at `path` on the private bus; the reply's arguments, or none with
    // the error in `error`.
    std::optional<QVariantList> call(const QString& path, const QString& interface, const QString& method,
                                     const QVariantList& arguments = {}, QString* error = nullptr) const;
    // The virtual desktops in order: id and name.
    QList<std::pair<QString, QString>> desktops() const;
    bool switchTo(int index) const; // 0-based
    // Loads and runs a one-off KWin script (what a person does with the pointer, done by KWin itself).
    bool runScript(const QString& source) const;
    // Runs a Wayland client program on this KWin; its exit code, -1 when it did not run.
    int run(const QString& program, const QStringList& arguments, QString* output = nullptr) const;
    QProcessEnvironment environment() const;
    // What KWin wrote so far, for a failure's message.
    QString log() const;

private:
    KWinTestSession() = default;

    QTemporaryDir runtime_;
    std::unique_ptr<QProcess> dbus_;
    std::unique_ptr<QProcess> kwin_;
    QString bus_;
    QString socket_;
};

} // namespace sm::kwin::test
