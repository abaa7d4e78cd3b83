#pragma once

#include "support/x11/X11TestSession.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace sm::x11::test {

// The built program on one private Xvfb with openbox per suite, in a home of its own per test: its
// settings, runtime folder (owner-only, as a real one is) and trace never touch the user's.
class ProgramFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QString why;
        session = X11TestSession::start(QStringLiteral("openbox"), &why).release();
        if (!session) skipReason = why;
    }
    static void TearDownTestSuite() {
        delete session;
        session = nullptr;
    }
    void SetUp() override {
        if (!session) GTEST_SKIP() << skipReason.toStdString();
        for (const char* dir : {"home", "config", "run"})
            QDir(home.path()).mkpath(QLatin1String(dir));
        QFile::setPermissions(path(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString path(const QString& relative) const { return home.filePath(relative); }
    QProcessEnvironment environment() const {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("run")));
        env.insert(QStringLiteral("DISPLAY"), session->display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("XDG_SESSION_TYPE"));
        return env;
    }
    QString trace() const {
        QFile f(path(QStringLiteral("run/spacemarquee/spacemarquee-trace.log")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    // A client tool's output (xprop, xdotool, xwininfo) on the session's display.
    QString tool(const QString& name, const QStringList& arguments) const {
        QString out;
        session->run(name, arguments, &out);
        return out;
    }

    static inline X11TestSession* session = nullptr;
    static inline QString skipReason;
    QTemporaryDir home;
};

} // namespace sm::x11::test
