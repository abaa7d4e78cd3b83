#pragma once

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <optional>
#include <unistd.h>

namespace sm::test {

// A test binary started again as `--window TITLE` plays another program: one window with that title,
// whose next titles come as lines on standard input until that ends, under `applicationId` (its WM_CLASS on X11, its
// app id on Wayland). Its exit code then; none when this run is the test itself.
inline std::optional<int> runAsOtherWindow(int argc, char** argv, const QString& applicationId) {
    if (argc != 3 || QByteArray(argv[1]) != "--window") return std::nullopt;
    QCoreApplication::setApplicationName(applicationId);
    QGuiApplication::setDesktopFileName(applicationId);
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QString::fromUtf8(argv[2]));
    window.resize(400, 300);
    window.show();
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) return QCoreApplication::quit(); // it ends with its input
        pending.append(buffer, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
            window.setWindowTitle(QString::fromUtf8(pending.left(end)));
    });
    return app.exec();
}

} // namespace sm::test
