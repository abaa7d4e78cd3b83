// The built program on a headless GNOME Shell with Xwayland whose bridge is installed but not enabled,
// as right after an install: it runs on Xwayland, says once how to turn the bridge on, shows that in
// Preferences, and, once the user runs that command, says that a restart puts it to use. Without
// Xwayland either it tells why in a window and ends.
#include "platform/linux/FileDefaults.h"
#include "support/WaitUntil.h"
#include "support/gnome/GnomeTestSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <functional>

#include <gtest/gtest.h>

namespace sm {
namespace {

constexpr char kEnable[] = "gnome-extensions enable spacemarquee@spacemarquee.example";

// The program and the shell are other processes: a long wait that turns this one's loop.
bool waitUntil(const std::function<bool()>& condition) { return test::waitUntil(condition, 20000); }

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The built program as a session starts it, its standard error to `logPath` (a pipe nobody reads while
// the test waits would fill with its lines and stop it).
void start(QProcess& program, const QProcessEnvironment& env, const QString& logPath) {
    program.setProcessEnvironment(env);
    program.setStandardErrorFile(logPath);
    program.start(QStringLiteral(SM_PROGRAM), {});
}

TEST(GnomeWithoutBridge, RunsOnXwaylandSaysHowToTurnTheBridgeOnAndThenThatARestartUsesIt) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xwayland")).isEmpty())
        GTEST_SKIP() << "Xwayland is not installed (scripts/setup installs it)";
    QString why;
    auto session = gnome::test::GnomeTestSession::start(qEnvironmentVariable("SM_GNOME_EXTENSIONS"), &why,
                                                        {.bridgeEnabled = false, .xwayland = true});
    if (!session) GTEST_SKIP() << why.toStdString();
    QProcessEnvironment env = session->environment();
    env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    env.remove(QStringLiteral("SPACEMARQUEE_BACKEND"));
    const QString config = env.value(QStringLiteral("XDG_CONFIG_HOME")) + QStringLiteral("/spacemarquee");
    FileDefaults(config).setValue(QStringLiteral("Spacemarquee.VerboseTracing"), true);
    const QString tracePath =
        env.value(QStringLiteral("XDG_RUNTIME_DIR")) + QStringLiteral("/spacemarquee/spacemarquee-trace.log");
    const auto trace = [&] { return readAll(tracePath); };

    const QString logPath = env.value(QStringLiteral("HOME")) + QStringLiteral("/program.log");
    QProcess program;
    start(program, env, logPath);
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return trace().contains(QLatin1String("session tags=")); }))
        << trace().toStdString() << readAll(logPath).toStdString();
    // Its first desktop found through Xwayland before any switch (mutter tells the current desktop to
    // X11 only on a switch): a label is made for it, and naming the desktop names that one.
    EXPECT_TRUE(waitUntil([&] { return trace().contains(QLatin1String("createPanel id=")); }))
        << trace().toStdString();
    ASSERT_EQ(session->run(QStringLiteral(SM_PROGRAM), {QStringLiteral("name"), QStringLiteral("Mail")}), 0);
    QString listed;
    ASSERT_EQ(session->run(QStringLiteral(SM_PROGRAM), {QStringLiteral("list")}, &listed), 0);
    EXPECT_EQ(listed.trimmed().count(QLatin1Char('\n')), 0) << listed.toStdString();
    EXPECT_TRUE(listed.trimmed().startsWith(QLatin1String("0\t"))) << listed.toStdString();
    EXPECT_TRUE(listed.trimmed().endsWith(QLatin1String("\tMail"))) << listed.toStdString();

    const auto preferencesRow = [&](const QString& start) {
        const qsizetype from = trace().size();
        QString err;
        const int code = session->run(QStringLiteral(SM_PROGRAM), {QStringLiteral("preferences")}, &err);
        EXPECT_EQ(code, 0);
        const QString wanted = QStringLiteral("preferences UNAVAILABLE backend: ") + start;
        QString line; // whole: the file may be read while the line is being written
        EXPECT_TRUE(waitUntil([&] {
            const QString t = trace();
            const qsizetype at = t.indexOf(wanted, from);
            const qsizetype end = at < 0 ? -1 : t.indexOf(QLatin1Char('\n'), at);
            if (end >= 0) line = t.mid(at, end - at);
            return end >= 0;
        })) << trace().toStdString();
        return line;
    };
    const QString missing = preferencesRow(QStringLiteral("GNOME bridge missing"));
    EXPECT_TRUE(missing.contains(QLatin1String(kEnable))) << missing.toStdString();

    ASSERT_EQ(session->run(QStringLiteral("gnome-extensions"),
                           {QStringLiteral("enable"), QStringLiteral("spacemarquee@spacemarquee.example")}),
              0);
    ASSERT_TRUE(waitUntil([&] { return trace().contains(QLatin1String("gnomeBridge PRESENCE on=true")); }))
        << readAll(logPath).toStdString();
    const QString on = preferencesRow(QStringLiteral("The GNOME bridge is on now"));
    EXPECT_TRUE(on.contains(QLatin1String("start it again"))) << on.toStdString();
    EXPECT_EQ(program.state(), QProcess::Running);

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
    // Said once in the log at start (where no journal takes it, it goes to standard error).
    if (!QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket"))) {
        const QString log = readAll(logPath);
        qsizetype told = 0;
        for (const QString& line : log.split(QLatin1Char('\n')))
            if (!line.contains(QLatin1String("TRACE")) && line.contains(QLatin1String(kEnable))) ++told;
        EXPECT_EQ(told, 1) << log.toStdString();
    }
}

// Neither the bridge nor Xwayland (a shell started with --no-x11): nothing can show a label and GNOME
// has no tray, so the program says why, with the command, in a window as well, and ends with 1.
TEST(GnomeWithoutBridge, WithoutXwaylandEitherItSaysWhyInAWindowAndEnds) {
    QString why;
    auto session = gnome::test::GnomeTestSession::start(qEnvironmentVariable("SM_GNOME_EXTENSIONS"), &why,
                                                        {.bridgeEnabled = false, .xwayland = false});
    if (!session) GTEST_SKIP() << why.toStdString();
    QProcessEnvironment env = session->environment();
    env.remove(QStringLiteral("SPACEMARQUEE_BACKEND"));
    env.remove(QStringLiteral("DISPLAY"));
    const QString logPath = env.value(QStringLiteral("HOME")) + QStringLiteral("/program.log");
    QProcess program;
    start(program, env, logPath);
    ASSERT_TRUE(program.waitForStarted());
    EXPECT_TRUE(waitUntil([&] {
        const auto seen = session->introspect();
        return seen && seen->windows.contains(QStringLiteral("Spacemarquee"));
    })) << "no window told why: " << readAll(logPath).toStdString();
    program.terminate(); // as the user's OK would
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(readAll(logPath).contains(QLatin1String(kEnable))) << readAll(logPath).toStdString();
}

} // namespace
} // namespace sm

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
