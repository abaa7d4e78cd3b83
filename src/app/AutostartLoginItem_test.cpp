#include "app/AutostartLoginItem.h"
#include "support/TestLoggers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace sm {
namespace {

using S = LoginItemStatus;

TEST(AutostartLoginItem, StatusOfAnEntry) {
    const auto exists = [](const QString& program) {
        return program == QLatin1String("/opt/sm/spacemarquee");
    };
    struct Row {
        QString text;
        S expected;
    };
    const QString head = QStringLiteral("[Desktop Entry]\nType=Application\nName=Spacemarquee\n");
    const Row rows[] = {
        {head + "Exec=/opt/sm/spacemarquee --login-item\n", S::enabled},
        {head + "Exec=\"/opt/sm/spacemarquee\" --login-item\n", S::enabled},
        {head + "Exec=/opt/sm/spacemarquee\nX-GNOME-Autostart-enabled=true\n", S::enabled},
        {head + "Exec=/opt/sm/spacemarquee\nHidden=true\n", S::requiresApproval},
        {head + "Exec=/opt/sm/spacemarquee\nHidden=True\n", S::requiresApproval},
        {head + "Exec=/opt/sm/spacemarquee\nX-GNOME-Autostart-enabled=false\n", S::requiresApproval},
        {head + "Exec=/opt/sm/spacemarquee\nHidden=false\n", S::enabled},
        {head + "Exec=/gone/spacemarquee --login-item\n", S::notFound},
        {head, S::notFound},
        {QStringLiteral("garbage"), S::notFound},
        // Keys of other groups do not count.
        {head + "Exec=/opt/sm/spacemarquee\n[Desktop Action x]\nHidden=true\n", S::enabled},
    };
    for (const auto& r : rows)
        EXPECT_EQ(AutostartLoginItem::statusOf(r.text, exists), r.expected) << r.text.toStdString();
}

TEST(AutostartLoginItem, SessionSettingsOfTheKnownDesktops) {
    const std::pair<const char*, QStringList> rows[] = {
        {"XFCE", {"xfce4-session-settings"}},
        {"ubuntu:GNOME", {}}, // GNOME has no such program: the autostart folder opens
        {"X-Cinnamon", {"cinnamon-settings", "startup"}},
        {"foo:kde", {"systemsettings", "kcm_autostart"}},
        {"", {}},
    };
    for (const auto& [desktop, command] : rows)
        EXPECT_EQ(AutostartLoginItem::sessionSettingsCommand(desktop), command) << desktop;
}

TEST(AutostartLoginItem, ExecQuotingRoundTrips) {
    for (const QString& path :
         {QStringLiteral("/usr/bin/spacemarquee"), QStringLiteral("/home/a b/$x \"q\" 50%/back\\slash/sm")}) {
        QString seen;
        AutostartLoginItem::statusOf(AutostartLoginItem::entryText(path), [&](const QString& p) {
            seen = p;
            return true;
        });
        EXPECT_EQ(seen, path);
    }
}

class AutostartFile : public ::testing::Test {
protected:
    AutostartLoginItem make(const QString& executable) {
        return AutostartLoginItem({dir.filePath("autostart"),
                                   executable,
                                   logs.loggers.app,
                                   [this](const QUrl& url) {
                                       opened << url;
                                       return true;
                                   },
                                   {},
                                   {}});
    }
    void write(const QByteArray& text) {
        QFile f(dir.filePath("autostart/spacemarquee.desktop"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QTemporaryDir dir;
    test::TestLoggers logs;
    QList<QUrl> opened;
    const QString self = QStringLiteral("/bin/sh"); // any program that exists
};

TEST_F(AutostartFile, RegisterWritesAValidEntryAndUnregisterRemovesIt) {
    auto item = make(self);
    EXPECT_EQ(item.status(), S::notRegistered);
    EXPECT_EQ(item.registerItem(), LoginItemCallOutcome::succeeded);
    EXPECT_EQ(item.status(), S::enabled);

    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (!validator.isEmpty()) {
        QProcess p;
        p.start(validator, {item.filePath()});
        ASSERT_TRUE(p.waitForFinished());
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardOutput().toStdString();
    }

    EXPECT_EQ(item.unregisterItem(), LoginItemCallOutcome::succeeded);
    EXPECT_EQ(item.status(), S::notRegistered);
    // Nothing to remove is what was asked for.
    EXPECT_EQ(item.unregisterItem(), LoginItemCallOutcome::succeeded);
}

TEST_F(AutostartFile, RegisteringAgainRepairsAnEntryPointingAtAnOldLocation) {
    QDir().mkpath(dir.filePath("autostart"));
    auto item = make(self);
    write(AutostartLoginItem::entryText(dir.filePath("moved-away")).toUtf8());
    EXPECT_EQ(item.status(), S::notFound);
    EXPECT_EQ(item.registerItem(), LoginItemCallOutcome::succeeded);
    EXPECT_EQ(item.status(), S::enabled);
}

TEST_F(AutostartFile, RegisterFailsWhereTheFolderCannotBeMade) {
    QFile blocker(dir.filePath("autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    auto item = make(self);
    EXPECT_EQ(item.registerItem(), LoginItemCallOutcome::failed);
    EXPECT_TRUE(logs.log->traces().last().contains("-> failed"));
}

} // namespace
} // namespace sm
